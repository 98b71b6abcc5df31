#pragma once
// A run stopped by an overland depth (or face discharge) that is not a real
// number leaves two grids to show where: "nan_depth.out", the surface water
// depths as they stood, and "nan_cells.out", 1 at each cell whose depth or
// face discharge is not finite, 0 elsewhere. A file that does not open is
// named and skipped; nothing here changes the run's error state.

struct model_state;

void write_nan_maps(const model_state& state);
