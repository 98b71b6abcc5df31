#pragma once
// Rainfall and overland flow: the set-up phases and time-loop steps of the
// surface subsystem, as the run driver calls them.

struct model_state;

// Set-up phases.
void build_cell_connectivity(model_state& state);
void compute_cell_slopes(model_state& state);
void setup_precip_and_hmet(model_state& state);
void check_overland_step(model_state& state);
void sum_initial_surface_volume(model_state& state);

// Time-loop steps.
void read_precip_step(model_state& state);
void update_rain_rates(model_state& state);
void apply_rainfall(model_state& state);
void overland_step(model_state& state);
