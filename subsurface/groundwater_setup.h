#pragma once
// The aquifer's share of the cell set-up before the time loop.

struct model_state;

// Clears the exchange volumes, starts the depth each cell's table is booked
// at from its depth below the ground, and sums the saturated storage the
// groundwater balance starts from.
void init_groundwater_cells(model_state& state);
