#pragma once
// Constituent mass attached to the fine suspended sediment of the channels:
// the linear partition that splits a node's total mass between its water
// and its fine classes, and the upwind concentration the attached mass moves
// with across a node's face.

#include <vector>

struct channel_state;

// Particle density of a class of specific gravity sg, g/m3 of sediment.
inline double particle_density(double sg) { return sg * 998.2 * 1000.0; }

// The split of one node (or lake) over the fine classes 1..fines, with the
// channel's partition coefficient kd (L/kg): per class the suspended
// concentration (g/m3 of water) and the share of the total attached to it,
// index 0 their sums, and the share left dissolved.
struct sed_partition {
  std::vector<double> sed_conc;  // [0..fines]
  std::vector<double> attached;  // [0..fines]
  double dissolved = 1.0;
};

// Splits for suspended volumes volume[1..fines] (m3) of densities
// density[1..fines] (g/m3) in water m3 of water. False, the split left as
// it was, when the node holds no water (not above 1e-16 m3).
bool partition_node(double kd, const double* density, const double* volume, int fines,
                    double water, sed_partition& split);

// The attached concentration (g per m3 of sediment) that crosses the face
// below node `node` of `link` with sediment flux w (m3/s, downstream +):
// the upwind node's, or the lake's on a lake's side. node_conc is per node
// address, lake_conc per lake.
double attached_upwind(const channel_state& chan, const std::vector<double>& node_conc,
                       const std::vector<double>& lake_conc, int link, int node, double w);
