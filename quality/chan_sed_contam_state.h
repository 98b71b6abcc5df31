#pragma once
// Constituents attached to the fine suspended sediment of the channels and
// channel lakes (SEDIMENT_CONTAM with CHAN_CON_TRANS). A node's total is the
// mass of its water and its fines together: the partition gives the water's
// share to the dissolved routing as a pending release, the rest stays on
// the fines and moves with the channel sediment's face volumes. Masses are
// in grams, sediment volumes in m3, totals in kilograms.
//
// Per-class rows follow the channel sediment's fine rows: node address a,
// fine position m (class sed_class[m]) at a x (fine + 1) + m, lake L at
// L x (fine + 1) + m, position 0 holding the sums.

#include <cstddef>
#include <vector>

// The split of one node (or lake) over the fine classes 1..fines, with the
// channel's partition coefficient kd (L/kg): per class the suspended
// concentration (g/m3 of water) and the share of the total attached to it,
// index 0 their sums, and the share left dissolved.
struct sed_partition {
  std::vector<double> sed_conc;  // [0..fines]
  std::vector<double> attached;  // [0..fines]
  double dissolved = 1.0;
};

// Attached-mass totals of one constituent, kg.
struct chan_sed_contam_totals {
  double lateral = 0.0;         // brought into the nodes by the cells' fines
  double outlet = 0.0;          // carried out through the outlet on the fines
  double ov_lake = 0.0;         // brought into the lakes by the cells' fines
  double chan_lake = 0.0;       // brought into the lakes by the channels' fines (net)
  double lake_release = 0.0;    // released by the lakes' fines to the lake water
  double lake_settled = 0.0;    // settled with the lakes' fines
  double initial = 0.0;         // held by the channel fines at the start
};

struct chan_sed_contam_state {
  int on = 0;            // constituents ride on the channel fines
  int constituents = 0;  // rows of every per-constituent array
  int fine = 0;          // fine classes, F
  int lakes = 0;         // channel lakes with rows

  std::vector<double> chan_soil_water_partition;  // per constituent, Kd of the channels, L/kg

  // Per constituent and node address
  std::vector<std::vector<double>> chan_tot_node_mass;            // water and fines, g
  std::vector<std::vector<double>> chan_node_fraction_dissolved;  // share in the water
  std::vector<std::vector<double>> attached_chan_flux;  // attached mass passed on, g/s
  // Per constituent, node address and fine position
  std::vector<std::vector<double>> chan_qlat_sed_mass;         // from the cells' fines, pending, g
  std::vector<std::vector<double>> chan_sed_contam_node_conc;  // per m3 of sediment, g/m3
  std::vector<std::vector<double>> chan_sed_fract_attached;    // share of the node's total

  // Per constituent and lake
  std::vector<std::vector<double>> lake_tot_mass;            // water and fines, g
  std::vector<std::vector<double>> lake_fraction_dissolved;  // share in the water
  std::vector<std::vector<double>> lake_sed_contam_source;   // released to the water, pending, g
  std::vector<std::vector<double>> ov_lake_sed_source;       // from the cells' fines, g
  std::vector<std::vector<double>> chan_lake_sed_source;     // from the channels' fines, g
  std::vector<std::vector<double>> lake_settled_sed_mass;    // settled with the fines, run, g
  // Per constituent, lake and fine position
  std::vector<std::vector<double>> lake_sed_contam_conc;     // per m3 of sediment, g/m3
  std::vector<std::vector<double>> lake_sed_fract_attached;  // share of the lake's total

  // Work of one constituent, per node address: the attached mass each node
  // passes through its downstream face in the step (signed, downstream +),
  // what its cells brought, and what it still holds to give.
  std::vector<double> out;
  std::vector<double> lat;
  std::vector<double> held;
  std::vector<double> lake_held;  // per lake
  std::vector<double> face;         // per fine row, attached mass across the face, g
  std::vector<double> demand;       // per node address, asked of the node by its faces, g
  std::vector<double> lake_demand;  // per lake, the same, g
  std::vector<double> density;      // per fine position, particle density, g/m3
  std::vector<double> volume;       // per fine position, the store's suspended volume, m3
  sed_partition split;              // the store in hand

  std::vector<chan_sed_contam_totals> run;    // per constituent [1..n]
  std::vector<chan_sed_contam_totals> event;  // per constituent [1..n]

  std::size_t fin(int a, int m) const { return std::size_t(a) * std::size_t(fine + 1) + m; }
};
