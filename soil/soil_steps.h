#pragma once
// Soil water, evapotranspiration, snow and meteorology: the set-up phase and
// time-loop steps of the soil subsystem, as the run driver calls them.

struct model_state;

// Set-up phase.
void init_cell_states(model_state& state);

// Time-loop steps.
void check_inf_redist_init(model_state& state);
void longterm_hmet_step(model_state& state);
void update_soil_evap(model_state& state);
void infiltration_step(model_state& state);
void sacramento_step(model_state& state);

// Services the core's event routines call: the redistribution state reset
// and the Richards columns' starting water at the start of an event; the
// event's infiltrated volume and the Richards column balance at its end.
void soil_event_start(model_state& state);
void soil_event_end(model_state& state);

// A later event of a long-term Richards run: the columns solved over the time
// since the infiltration last acted, so that the event starts from them, and
// the run's evaporation so far in the summary file.
void richards_event_start(model_state& state);

// Run totals kept partly per cell (cm) until an event start moves them into
// the volumes, m3: the direct evaporation of ponded water, and the water
// drained below the soil-moisture store.
double soil_direct_evaporation(const model_state& state);
double soil_downward_flux(const model_state& state);

// Water content of the upper layer of cell i's redistribution store, as an
// event start re-derives it in a long-term run (porosity for a store of no
// depth).
double store_top_content(const model_state& state, int i);

// A redistribution cell's starting content thi kept within its residual and
// porosity (0.01 inside), with the notice of the restart that moved it.
double restart_content_in_range(int cell, double thi, double thr, double phi);

// Mean relative saturation of the soil over the cells outside the lakes, at
// an event's start or its end; a cell whose value is not a number is named
// and left out.
double mean_relative_saturation(const model_state& state, bool at_start);

// The redistribution reset of an event's first pass: fronts, counts and
// cumulative depths cleared, the front content back at the initial content
// (re-derived from the store in long-term runs).
void reset_redist_state(model_state& state);

// The exchange with a water table at the surface over dt seconds, in the
// redistribution (layered = false) or layered form; adds to the surface
// water and the exfiltration totals.
void water_table_exchange(model_state& state, bool layered, double dt);
