#pragma once
// The files a finished run leaves after its water summary: the closing
// records of the flood grid and the map datasets, the channel hot start, the
// interface hydrograph file and the overland and soil-moisture hot starts. A
// stopped run does not get here, so its datasets stay without end records.

struct model_state;

void write_end_of_run_files(model_state& state);
