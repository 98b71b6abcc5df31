#pragma once
// The soil layers of the dissolved constituents: the water content of each
// layer from the infiltration model's soil water, the share of a layer's mass
// that is dissolved in that water, its first-order loss, and its
// concentration per mass of soil solids.

#include "quality/constituent_state.h"

// Particle density of the soil solids, g/cm3.
constexpr double soil_particle_density = 2.65;

// Share of a layer's mass dissolved in its water, with theta the water
// content and partition the soil-water partition coefficient (L/kg): the
// water holds theta x C, the solids (1 - theta) x 2.65 x partition x C.
double soil_dissolved_fraction(double theta, double partition);

// Concentration of mass (g) in a layer of thickness (m) and porosity on a
// cell of size dx (m), per mass of soil solids: g/kg x 1000 (mg/kg).
double soil_layer_concentration(double mass, double porosity, double thickness, double dx);

// First-order loss of the dissolved share fraction x mass (g) at rate (1/s)
// over dt (s), never more than that share. The mass falls by it unless the
// soil concentrations are held; the loss (g) is returned either way.
double soil_layer_contam_loss(double& mass, double fraction, double rate, double dt,
                              bool static_conc);

// Depths of the redistribution soil, cm: the layers run from the surface to
// the mixing depth, from there to the top-layer depth, and from there to the
// soil-moisture depth.
struct redistribution_depths {
  double mixing;
  double top;
  double moisture;
};

// Water content of layer (1..layers) of a redistribution soil holding
// upper_water above the top-layer depth and lower_water below it (cm of
// water). water_table is the depth of the water table below the ground (m)
// when the aquifer is simulated (groundwater true) and is ignored otherwise;
// at or above the ground every layer is saturated at the cell's porosity.
// thickness[k] is layer k's thickness, m.
double soil_layer_water_fraction(int layer, int layers, double upper_water, double lower_water,
                                 const redistribution_depths& depth, double porosity,
                                 const double* thickness, bool groundwater, double water_table);

// Layer geometry of a layered-infiltration soil type whose two soil layers are
// depth1 and depth2 cm thick: three constituent layers when the mixing depth
// (cm) lies inside its first soil layer, else its own two. Fills thickness
// [1..layers] (m) and returns the layer count.
int layered_soil_layers(double mixing, double depth1, double depth2, double* thickness);

// Water contents theta[1..layers] of a layered-infiltration soil holding
// water1 and water2 (cm) in soil layers of porosity1 and porosity2, with the
// constituent layers' thickness (m) and the water table water_table cm below
// the ground (below the soil when the aquifer is not simulated). With three
// layers the first two share soil layer 1, its water spread evenly over its
// unsaturated depth.
void split_soil_layers(int layers, double water1, double water2, double porosity1,
                       double porosity2, const double* thickness, double water_table,
                       double* theta);

// The soil layers of every cell as one pass of the soil-layer step sees
// them: per cell its layer count, each layer's thickness (m) and porosity.
struct soil_layer_geometry {
  std::vector<int> layers;       // per cell [1..cells]
  cell_layer_table thickness;    // m
  cell_layer_table porosity;     // m3/m3
};

// Dissolved fractions and first-order loss of constituent k over dt (s) on
// every cell: a contaminant's layers split by theta and the cell's partition
// coefficient and lose their dissolved share at soil_decay_coef, their
// concentrations following the mass; nutrient entries are wholly dissolved
// and lose nothing. The losses are added to soil_decay_dmt[k].
void soil_layer_contam_decay(constituent_state& c, int k, const soil_layer_geometry& geometry,
                             double dx, double dt);
