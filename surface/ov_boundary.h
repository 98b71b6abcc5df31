#pragma once
// Overland boundary conditions (card OV_BOUNDARY, table OVERLAND_BOUNDARY):
// per cell a type and a parameter.
//   1 free outflow over the cell's open sides (those on the grid edge or
//     beside a cell outside the watershed), by Manning's law on the friction
//     slope the parameter gives;
//   2 a fixed water-surface elevation, the parameter in m;
//   3 a water-surface elevation from the time series the parameter numbers;
//   4 an inflow from the time series the parameter numbers, in ft3/s;
//   5 the same in m3/s.
// Other types are no boundary. The overland XY depth points act with them.

struct model_state;

// Cubic metres in a cubic foot.
constexpr double cubic_feet_to_m3 = 0.0283168466;

// Grid set-up: checks the cells of the XY boundary points and, with
// OV_BOUNDARY, reads the OVERLAND_BOUNDARY table into the per-cell types and
// parameters (code 84 without the table) and lists the boundary cells.
void read_ov_boundary_types(model_state& state);

// Lists the cells of types 1 to 5 and sizes the step's scratch. Every type-3
// to 5 cell must name a series the run has read and every type-1 slope must
// be 0 or more; otherwise a message naming the cell stops the run. False
// then.
bool setup_ov_boundary_cells(model_state& state);

// Each listed cell's value at the current time: the slope or elevation of
// types 1 and 2, the series' value of types 3 to 5.
void set_ov_boundary_values(model_state& state);

// Applies the XY depth points and the boundary of every listed cell to the
// depths over a step of dt seconds, and adds the volumes that crossed the
// boundary to the run totals. Nothing without OV_BOUNDARY.
void apply_ov_boundary_flux(model_state& state, double dt);
