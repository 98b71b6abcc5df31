#pragma once
// Constituents attached to the overland fines: set-up and the share of the
// top soil layer's sorbed mass that each m3 of detached fine soil carries.

struct model_state;

// Sorbed mass per m3 of fine soil solids (g/m3) in a top layer holding mass
// (g) of which fraction is dissolved, thickness (m) and porosity under a
// cell of size dx (m), fine_share being the parent soil's share of fine
// classes. 0 where the layer holds no fine solids or the mass is negative.
double sed_soil_pickup_conc(double mass, double fraction, double fine_share, double thickness,
                            double porosity, double dx);

// Sizes the attached-constituent tables and the erosion's face volumes, and
// starts every cell's total from its dissolved mass. After the constituents'
// initial state.
void init_sed_contam(model_state& state);
