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

// With constituents on the fines, the mass of constituent k attached to the
// suspended sediment (kg), read between passes when each cell's total spans
// its water and sediment; 0 without.
double constituent_attached_mass(const model_state& state, int k);
// Mass of constituent k between the soil layers and the surface (kg): what
// exfiltration brought up that the cells have not taken yet, and what the
// surface handed the soil (less what it took from it) and the soil change
// the sediment made, that the layers have not taken yet.
double constituent_in_transit(const model_state& state, int k);
