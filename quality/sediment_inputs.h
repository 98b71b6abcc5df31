#pragma once
// Set-up of overland erosion: the sediment cards, the particle classes and
// the per-cell erosion parameters of the mapping table file, the sediment
// arrays, and the sediment output files.

struct model_state;

// Nothing without SOIL_EROSION. Failures go through the error record: 92
// without a SEDIMENTS table, 93 without a SOIL_EROSION_PROPS table (both
// reported at once), 91 from the erosion table reader, 4 for an output file
// that cannot be opened (left for the driver).
void read_sediment_inputs(model_state& state);
// Opens the sediment output files; called by read_sediment_inputs.
void open_sediment_outputs(model_state& state);
// Sizes every sediment array of the run (cells and classes known), zeroed.
// False after an allocation failure (code 4000).
bool alloc_sediment_arrays(model_state& state);
