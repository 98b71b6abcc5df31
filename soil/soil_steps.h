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
