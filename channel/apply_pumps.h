#pragma once
// Pumps of the channel input file (PUMPTO): each draws water off the surface
// of its grid cell once per overland step.

struct model_state;

// Lowers each pump's cell by its withdrawal over dt seconds, newest pump
// first, never below a dry cell; adds the water removed to the surface's
// pump_volume and event_pump_volume, m3.
void apply_pumps(model_state& state, double dt);

// Set-up check: every pump draws from an active cell 1..cells; one that does
// not stops the run naming the channel input file, the pump and its cell.
void check_pump_cells(const model_state& state);
