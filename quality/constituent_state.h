#pragma once
// Dissolved constituents on the grid and in the soil layers: per constituent
// (numbered from 1) and active cell (from 1) the soil-layer masses and the
// overland masses, the accumulators the processes fill between the steps
// that take them, and the per-step totals those steps book. Masses are in
// grams and concentrations in g/m3 inside the loop; the run totals that
// reach the summaries are kept in kilograms by the steps that book them.

#include <string>
#include <vector>


// The largest number of soil layers a constituent is carried in.
constexpr int max_soil_layers = 3;

// One value per active cell and soil layer, both from 1; row 0 and column 0
// stay unused so that the numbering reads as it is written.
struct cell_layer_table {
  int cells = 0;
  int layers = 0;
  std::vector<double> values;  // (cells + 1) x (layers + 1)

  void assign(int cell_count, int layer_count, double value = 0.0) {
    cells = cell_count;
    layers = layer_count;
    values.assign(std::size_t(cells + 1) * std::size_t(layers + 1), value);
  }
  double& at(int cell, int layer) { return values[std::size_t(cell) * (layers + 1) + layer]; }
  double at(int cell, int layer) const {
    return values[std::size_t(cell) * (layers + 1) + layer];
  }
};

// Per constituent [0..constituents], per cell [0..cells].
using constituent_cells = std::vector<std::vector<double>>;

struct constituent_state {
  int constituents = 0;                // entries of the list
  std::vector<int> constituent_type;   // per constituent: 1 contaminant, 2 nutrient species, 3 soil-only pool
  int soil_layers = 0;                 // layers a constituent is carried in, 1 to 3
  double soil_layer_thickness[max_soil_layers + 1] = {};  // layers 1..3, m
  double moisture_depth = 0.0;         // soil-moisture depth, cm
  double top_depth = 0.0;              // top-layer depth, cm
  double mixing_depth = 0.0;           // mixing-layer depth, cm
  int static_conc = 0;                 // soil concentrations held (SOIL_STATIC_CONC)

  constituent_cells cell_partition_coef;  // soil-water partition coefficient, L/kg
  constituent_cells soil_decay_coef;      // first-order loss in the soil, 1/s
  constituent_cells ov_contam_decay;      // first-order decay in the surface water, 1/s
  constituent_cells gw_contam_conc;       // concentration in groundwater, g/m3
  constituent_cells ov_contam_disp;       // dispersion coefficient on the overland, m2/s
  constituent_cells ov_contam_uptake;     // exchange rate between land surface and water, 1/s
  constituent_cells ov_contam_maxconc;    // concentration the land-surface release drives to, g/m3
  std::vector<double> precip_conc;        // per constituent: concentration in rain, g/m3
  // Per constituent: the soil entry its infiltrated mass joins, -1 for none;
  // empty when every constituent is its own (nutrient species have a pool).
  std::vector<int> soil_entry;

  // Soil layers per constituent [1..constituents]
  std::vector<cell_layer_table> soil_mass;                // g
  std::vector<cell_layer_table> soil_conc;                // per mass of soil solids, mg/kg
  std::vector<cell_layer_table> soil_fraction_dissolved;  // share of the layer's mass in its water
  cell_layer_table theta;                                 // water content per layer, m3/m3

  // Overland water per constituent and cell
  constituent_cells ov_contam_mass;    // dissolved mass on the cell, g
  constituent_cells ov_contam_conc;    // dissolved concentration, g/m3
  constituent_cells land_surface_mass; // undissolved mass on the land surface, g

  // Accumulators: mass moved by a process since the step that takes it, g
  constituent_cells soil_top_mass;      // handed to the top soil layer
  constituent_cells soil_exchange_mass; // released by the top layer to the water (negative: taken up)
  constituent_cells ov_sed_soil_mass;   // soil change by detached and settled sediment
  constituent_cells soil_exfil_mass;    // carried up to the surface by exfiltrating water
  constituent_cells cell_exfil_mass;    // exfiltrated, waiting for the cell mass step
  constituent_cells cell_decay_mass;    // decayed in the surface water
  constituent_cells cell_infil_mass;    // carried into the soil by infiltrating water
  constituent_cells cell_uptake_mass;   // released from the land surface (negative: taken up)
  constituent_cells cell_precip_mass;   // brought by rain

  // Per-step totals per constituent, g; emptied once booked
  std::vector<double> soil_decay_dmt;    // first-order loss in the soil layers
  std::vector<double> soil_leach_dmt;    // left the bottom of the soil column
  std::vector<double> soil_gw_gain_dmt;  // entered the soil column from below
  std::vector<double> ov_decay_dmt;      // decayed in the surface water
  std::vector<double> ov_infil_dmt;      // carried into the soil
  std::vector<double> ov_uptake_dmt;     // exchanged with the land surface
  std::vector<double> ov_out_dmt;        // left through the outlet cell
  std::vector<double> ov_precip_dmt;     // brought by rain
  std::vector<double> ov_exit_mass;      // reached the outlet's outflow, waiting for the cell step
  std::vector<double> ov_exfil_dmt;      // brought to the surface by exfiltrating water
};

// The soil entry constituent k's infiltrated mass joins; -1 for none.
inline int soil_entry_of(const constituent_state& c, int k) {
  return std::size_t(k) < c.soil_entry.size() ? c.soil_entry[std::size_t(k)] : k;
}

// Run totals of one constituent, kg. The owning steps add to them once per
// step; the summaries only read them.
struct constituent_totals {
  double ov_mass_init = 0.0;     // dissolved on the surface at the start
  double ov_mass_out = 0.0;      // through the outlet cell
  double ov_mass_decay = 0.0;    // decayed in the surface water
  double ov_precip_mass = 0.0;   // brought by rain
  double ov_infil_mass = 0.0;    // carried into the soil (or the land surface) by the water
  double ov_uptake_mass = 0.0;   // released from the land surface (negative: taken up)
  double ov_land_mass_init = 0.0;  // undissolved on the land surface at the start
  double ov_neg_mass = 0.0;      // made up where the sweeps drove a mass below zero
  double ov_qlat_mass = 0.0;     // passed from the cells to the channels
  double ov_lake_mass = 0.0;     // passed from the cells to the channel lakes
  double soil_mass_init = 0.0;   // in the soil layers at the start
  double soil_mass_decay = 0.0;  // first-order loss in the soil layers
  double soil_mass_leached = 0.0;  // out of the bottom of the soil column
  double soil_gw_mass_in = 0.0;  // into the soil column from below
  double soil_exfil_mass = 0.0;  // carried up to the surface by exfiltrating water
  double soil_infil_mass = 0.0;  // handed to the top layer by the surface
  double soil_exchange_mass = 0.0;  // released by the top layer to the water, with its sign
  double global_mass_init = 0.0;   // everywhere at the start
  double global_mass_decay = 0.0;  // decayed anywhere
  double global_mass_out = 0.0;    // left the system
  double global_precip = 0.0;      // brought by rain
  double ov_nsm_gain = 0.0;        // gained by nutrient kinetics on the surface
  double ov_nsm_loss = 0.0;        // lost to nutrient kinetics on the surface
  double ov_exfil_mass = 0.0;      // brought to the surface water by exfiltration
  double ov_sed_source = 0.0;      // released by the sediment to the water (negative: sorbed)
  double ov_sed_out = 0.0;         // attached to the sediment through the outlet
  double ov_sed_to_chan = 0.0;     // attached to the sediment into the channel nodes
  double ov_sed_to_lake = 0.0;     // attached to the sediment into the channel lakes (net)
  double soil_sed_mass = 0.0;      // soil change by settled (+) and detached (-) sediment
  double global_point_source = 0.0;  // brought by point sources
  double global_gw_mass = 0.0;     // exchanged with the aquifer, into the water +
};

// The same for the event in hand; cleared at every event start.
struct constituent_event_totals {
  double ov_mass_init = 0.0;
  double ov_land_init = 0.0;
  double ov_decay_mass = 0.0;
  double ov_uptake_mass = 0.0;
  double ov_infil_mass = 0.0;
  double ov_mass_out = 0.0;
  double ov_precip_mass = 0.0;
  double ov_qlat_mass = 0.0;
  double ov_lake_mass = 0.0;
  double ov_neg_mass = 0.0;
  double soil_mass_init = 0.0;
  double soil_decay_mass = 0.0;
  double soil_leached_mass = 0.0;
  double soil_gw_mass_in = 0.0;
  double soil_infil_mass = 0.0;
  double soil_release_mass = 0.0;
  double soil_uptake_mass = 0.0;
  double soil_exfil_mass = 0.0;
  double ov_exfil_mass = 0.0;
  double ov_sed_source = 0.0;
  double ov_sed_out = 0.0;
  double ov_sed_to_chan = 0.0;
  double ov_sed_to_lake = 0.0;
  double soil_sed_mass = 0.0;
};
