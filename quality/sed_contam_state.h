#pragma once
// Constituents attached to the fine suspended sediment of the overland water
// (SEDIMENT_CONTAM). Each cell's total constituent mass on the water and its
// sediment is split between the two by a linear partition; the attached part
// moves with the sediment the erosion step carried, leaves the soil with
// detached soil and returns to it with settled sediment. Masses are in grams,
// sediment volumes in m3.
//
// Per cell and class tables are flat like the erosion's records: cell c,
// class j at c x (classes + 1) + j, class 0 holding the sums over the fine
// classes.

#include <vector>

#include "quality/constituent_state.h"

// The channel lakes beside the grid, for one constituent: per lake and
// fine position (lake x stride + position) the attached concentration of the
// lake's suspended fines, g per m3 of sediment; per sediment class its fine
// position in those rows (the lakes keep their fines in the table's fine
// order, whatever the class numbers); and per lake the attached mass the
// cells gave it since the lake last took it, g (negative where the lake gave
// the cells).
struct sed_lake_rows {
  const double* conc = nullptr;
  std::size_t stride = 0;
  double* given = nullptr;
  const int* position = nullptr;
};

struct sed_contam_state {
  int on = 0;       // constituents ride on the fines
  int classes = 0;  // sediment classes

  std::vector<double> ov_sed_vol_susp;  // per cell and class, suspended after the last step, m3
  std::vector<double> ov_vol_sed_susp;  // per cell and class, working suspended volume, m3
  std::vector<double> susp_now;         // per cell and class, suspended after this pass's erosion, m3
  std::vector<double> ov_sed_conc;      // per cell and class, sediment per m3 of water, g/m3
  std::vector<double> outlet_seen;      // per class, the outlet's discharged volume when last taken, m3
  std::vector<double> outlet_step;      // per class, discharged through the outlet since, m3

  // Per constituent [1..n] and cell
  constituent_cells ov_tot_cell_mass;            // on the water and its sediment, g
  constituent_cells ov_cell_fraction_dissolved;  // share of that total in the water
  constituent_cells ov_sed_release_mass;         // handed to the water, waiting for the cell step, g
  // Per constituent [1..n], per cell and class
  std::vector<std::vector<double>> ov_sed_contam_conc;     // attached per m3 of sediment, g/m3
  std::vector<std::vector<double>> ov_sed_fract_attached;  // share of the cell's total on the class

  // Per constituent [1..n], g, emptied once booked
  std::vector<double> outlet_dmt;   // attached mass through the outlet
  std::vector<double> release_dmt;  // released to the water (negative: sorbed), taken by the cell step

  // Per constituent [1..n], set once both the grid's and the channel lakes'
  // attached rows exist; empty while the lakes carry none.
  std::vector<sed_lake_rows> lakes;
  std::vector<int> lake_position;  // per class its fine position in the lake rows, 0 sand

  std::size_t at(int cell, int j) const { return std::size_t(cell) * (classes + 1) + j; }
};
