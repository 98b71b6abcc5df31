#pragma once
// The constituents' state before the time loop: the soil layers' geometry
// under redistribution, the dissolved mass the initial surface water holds,
// and the mass of a layer of soil at a given concentration.

// Thickness and bottom (m, layers 1..layers) of the redistribution soil from
// its mixing, top-layer and soil-moisture depths (cm): layer 1 to the mixing
// depth; with two layers the second on to the soil-moisture depth, with three
// to the top-layer depth and the third on to the soil-moisture depth.
void redistribution_soil_geometry(int layers, double mixing, double top, double moisture,
                                  double* thickness, double* bottom);

// Dissolved mass (g) of depth (m) of water at conc (g/m3) on a cell of size
// dx (m); a dry cell (depth not above 1e-16) holds none and its concentration
// is cleared.
double initial_surface_mass(double depth, double& conc, double dx);

// Mass (g) of a soil layer of thickness (m) and porosity under a cell of size
// dx (m) at conc (mg per kg of solids), the inverse of
// soil_layer_concentration.
double initial_layer_mass(double conc, double thickness, double porosity, double dx);
