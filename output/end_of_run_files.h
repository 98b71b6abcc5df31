#pragma once
// The files a finished run leaves after its water summary: the closing
// records of the flood grid and the map datasets, the channel and groundwater
// hot starts, the adjusted elevation and saturated-source maps, the
// interface hydrograph file, the overland and soil-moisture hot starts and
// the channel sediment listing. A stopped run does not get here, so its
// datasets stay without end records; nor does a run whose groundwater hot
// start, adjusted elevation or saturated-source map would not open get past
// that file.

struct model_state;

void write_end_of_run_files(model_state& state);
