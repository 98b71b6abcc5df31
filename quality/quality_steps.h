#pragma once
// Sediment, constituents and nutrients: the set-up phases and time-loop
// steps of the quality subsystem, as the run driver calls them.

struct model_state;

// Set-up phases.
void convert_nsm_soil_units(model_state& state);
void init_constituent_state(model_state& state);

// Time-loop steps.
void soil_layer_contam_step(model_state& state);
void sed_contam_source_step(model_state& state);
void overland_contam_step(model_state& state);
void cell_contam_mass_step(model_state& state);
void chan_sed_contam_step(model_state& state);
void contam_decay_step(model_state& state);
void channel_contam_step(model_state& state);
