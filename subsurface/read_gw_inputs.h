#pragma once
// Set-up readers of the aquifer: the water table and its bottom, then the
// boundary types, the wells or static fluxes, the conductivity and porosity
// and the observation wells, into the run's groundwater_state.

struct model_state;

// With a WATER_TABLE card: the water table map, and with the groundwater
// model the AQUIFER_BOTTOM map (without it, Richards columns stand on an
// aquifer 0.1 m thick under the table). A bottom at or above the ground is
// set to the ground with two lines of notice. Sizes the groundwater arrays.
void read_water_table_maps(model_state& state);

// With the groundwater model on: the solver's settings, the boundary types
// (GW_BOUNDFILE, else the GROUNDWATER_BOUNDARY table; neither is error 4
// "groundwater boundary"), the wells of the WELL_TABLE table or else the
// static-flux file, the conductivity (GW_HYCOND_MAP, the GROUNDWATER table,
// GW_UNIF_HYCOND, or the deepest node of the Richards columns; none is
// error 126) and porosity from the same sources, the derived per-cell
// values, and the observation wells of OUT_WELL_LOCATION when GW_WELL_LEVEL
// is given. Every failure is reported and leaves the stop flag set.
void read_gw_inputs(model_state& state);
