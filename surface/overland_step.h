#pragma once
// The overland step's helpers beside the step itself (declared with the
// other surface steps in surface/surface_steps.h).

struct model_state;

// Sizes the per-cell work arrays of the overland routers and the rain, and
// the scratch of the fixed-order sums, once for the run (zeroed). False, with
// the allocation message and code 4000, when memory is short.
bool alloc_overland_work(model_state& state);

// True when the record's overland arrays fit its cell count, as the set-up
// leaves them.
bool overland_arrays_ready(const model_state& state);

// maxima[i] = max(maxima[i], values[i]) for i = 1..n.
void array_running_max(const double* values, double* maxima, int n);

// Water on the cells (depth x cell area, m3), summed in a fixed order. The
// cells of the overland lakes are left out when there are any, else those of
// the channel lakes: their water is counted in their lakes.
double surface_volume(model_state& state);

// Per cell [0..cells] the channel lake that holds it (0 none), or null for a
// run without channel lakes.
const int* chan_lake_cells(const model_state& state);
