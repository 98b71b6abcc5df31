#pragma once
// The channel sediment part of the quality record: sand stores and bed
// change of the erodible links, suspended fines at every node and in the
// channel lakes, and the totals the summaries read. Volumes are m3 of
// sediment, rates m3/s.
//
// Node rows are flat like the network's node arrays: node address a =
// link x stride + node, then a row of slots per address:
//   class rows     [a x (classes + 1) + class]   by sediment class, 0 the total
//   fine rows      [a x (fine + 1) + m]          by fine position m (class sed_class[m])
//   sand rows      [a x (sand + 2) + slot]       slots 1..sand the land's sand
//                                                classes, sand + 1 the bed
//                                                material, 0 the total
//   flux rows      [a x (classes + 2) + slot]    fines 1..fine, then the sand
//                                                slots at fine + slot
// Lake rows are [lake x (classes + 1) + m] (fine position m, or class where
// the name says class).

#include <cstddef>
#include <vector>

#include "core/safe_file.h"

struct chan_sediment_state {
  int on = 0;       // the network has erodible links and sediment runs in mode 1
  int classes = 0;  // sediment classes
  int fine = 0;     // fine classes, F
  int sand = 0;     // sand classes, A
  int stride = 0;   // node address stride of the network
  int lakes = 0;    // channel lakes with sediment rows

  std::vector<double> new_bel;           // per node address, bed elevation after the sand moved, m
  std::vector<double> org_bel;           // per node address, bed elevation at the start, m
  std::vector<double> sand_init;         // per node address, the initial bed-material store, m3
  std::vector<double> ch_wash_vol;       // fine rows, suspended volume, m3
  std::vector<double> ch_sand_vol;       // sand rows, sand store, m3
  std::vector<double> qlat_sed;          // class rows, lateral sediment of the step, m3
  std::vector<double> qlat_tot_sed;      // class rows, lateral sediment of the run, m3
  std::vector<double> SS_node_conc_vol;  // fine rows, volumetric concentration
  std::vector<double> chan_sed_conc;     // class rows, mass concentration, g/m3
  std::vector<double> qsmax;  // flux rows, moved sediment per slot, m3/s (slot 0 a volume, m3)
  std::vector<double> qsmax_total;       // per node address, all slots, m3/s
  std::vector<double> outlet_wash_rate;  // [0..fine] fines leaving the outlet, m3/s, 0 the total
  std::vector<double> outlet_sand_rate;  // [0..sand + 1] sand leaving the outlet per slot, m3/s

  // Lakes
  std::vector<double> lake_depo_vol;     // [lake x (sand + 2) + slot] sand settled in the lake, m3
  std::vector<double> SS_vol_lake;       // lake fine rows, suspended volume, m3
  std::vector<double> SS_conc_vol_lake;  // lake fine rows, volumetric concentration
  std::vector<double> SS_conc_lake;      // lake fine rows, mass concentration, g/m3
  std::vector<double> SS_vol_lake_settled;       // lake fine rows, settled in the last step, m3
  std::vector<double> SS_vol_chan_to_lake;       // lake fine rows, run total, m3
  std::vector<double> SS_vol_lake_to_chan;       // lake fine rows, run total, m3
  std::vector<double> SS_vol_lake_to_overland;   // lake fine rows, handed to the grid this step, m3
  std::vector<double> sed_vol_overland_to_lake;  // lake class rows, from the grid this step, m3
  std::vector<double> lake_settled_total;        // lake fine rows, run total settled, m3
  std::vector<double> lake_overland_total;       // lake class rows, run total net from the grid, m3
  std::vector<double> lake_bank_sand;            // lake class rows, overland sand on lake cells, m3
  std::vector<int> num_lake_cells;               // per lake

  // Run totals, m3
  double sand_initial = 0.0;          // bed material at the start
  std::vector<double> sand_to_chan;   // [0..sand] per sand class, from the land
  double sand_outlet = 0.0;           // sand gone through the outlet
  double sand_to_lakes = 0.0;         // sand delivered into lakes
  double wash_to_chan = 0.0;          // fines from the land
  double wash_outlet = 0.0;           // fines gone through the outlet
  double wash_to_lakes = 0.0;         // fines carried into lakes
  double wash_from_lakes = 0.0;       // fines carried out of lakes
  std::vector<double> class_to_chan;  // [0..classes] every class from the land
  double peak_wash_rate = 0.0;        // largest outlet fines rate of the run, m3/s
  // What the last event summary saw, so the next one shows its event alone.
  double event_mark_sand_initial = 0.0;
  std::vector<double> event_mark_class;  // [0..classes]
  double event_mark_sand_to_chan = 0.0, event_mark_sand_outlet = 0.0,
         event_mark_sand_to_lakes = 0.0, event_mark_wash_initial = 0.0,
         event_mark_wash_to_chan = 0.0, event_mark_wash_outlet = 0.0,
         event_mark_wash_to_lakes = 0.0, event_mark_wash_from_lakes = 0.0;
  double event_peak_wash_rate = 0.0;  // largest outlet fines rate of the event, m3/s

  // Sediment locations (IN_SED_LOC) and their series
  int locations = 0;
  std::vector<int> loc_link, loc_node;  // [1..locations]
  safe_file loc_file;                   // OUT_SED_LOC: fluxes at the locations
  safe_file loc_tss_file;               // OUT_TSS_LOC: suspended solids at the locations

  // Work of the two transport routines, sized with the arrays.
  std::vector<double> rate;          // per node address, sand transport rate, m3/s, signed
  std::vector<double> advect_flux;   // fine rows, averaged face volume, m3
  std::vector<double> temp_conc;     // fine rows, predicted concentration
  std::vector<double> temp_flux;     // fine rows, predictor face volume, m3
  std::vector<double> temp_mass;     // fine rows, predicted volume, m3
  std::vector<double> linknode_sum;  // per node address, CHAN_SED_FLUX values
  std::vector<double> bed_sand;      // per node address, sand a break-point section takes, m3/m
  std::vector<double> min_bel;       // per node address, lowest bed a section may scour to, m

  std::size_t cls(int a, int j) const { return std::size_t(a) * std::size_t(classes + 1) + j; }
  std::size_t fin(int a, int m) const { return std::size_t(a) * std::size_t(fine + 1) + m; }
  std::size_t snd(int a, int s) const { return std::size_t(a) * std::size_t(sand + 2) + s; }
  std::size_t flx(int a, int s) const { return std::size_t(a) * std::size_t(classes + 2) + s; }
  std::size_t lake_fin(int k, int m) const { return std::size_t(k) * std::size_t(classes + 1) + m; }
  std::size_t lake_snd(int k, int s) const { return std::size_t(k) * std::size_t(sand + 2) + s; }

  // Sand in the stores, m3, in link and node order.
  double sand_in_channels() const {
    double v = 0.0;
    for (std::size_t a = 0; a * std::size_t(sand + 2) < ch_sand_vol.size(); ++a)
      for (int s = 1; s <= sand + 1; ++s) v += ch_sand_vol[snd(int(a), s)];
    return v;
  }
  // Fines in suspension at the nodes, m3.
  double wash_in_channels() const {
    double v = 0.0;
    for (std::size_t a = 0; a * std::size_t(fine + 1) < ch_wash_vol.size(); ++a)
      for (int m = 1; m <= fine; ++m) v += ch_wash_vol[fin(int(a), m)];
    return v;
  }
};
