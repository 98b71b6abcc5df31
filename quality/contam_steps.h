#pragma once
// The dissolved constituents' event work and the masses the summaries read.

struct model_state;

// Clears the event totals and takes the event's starting masses.
void constituent_event_start(model_state& state);
// Nothing is left to close at an event end: the summaries read the masses.
void constituent_event_end(model_state& state);

// Mass of constituent k now (kg): dissolved on the surface, undissolved on
// the land surface, and in the soil layers.
double constituent_surface_mass(const model_state& state, int k);
double constituent_land_mass(const model_state& state, int k);
double constituent_soil_mass(const model_state& state, int k);
