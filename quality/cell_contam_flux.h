#pragma once
// Moving one constituent's dissolved mass between neighbouring cells over a
// cell mass step: advection with the overland face discharges and dispersion
// down the concentration difference, one direction at a time, each as a
// predictor and a corrector, with half the cells' net source rate in each.

#include <vector>

// The grid as the transport sees it, per cell [0..cells]; entry 0 of every
// array is 0, so that a missing neighbour reads nothing.
struct contam_grid {
  int cells = 0;
  double dx = 0.0;                 // m
  const int* leftcon = nullptr;
  const int* rightcon = nullptr;
  const int* abovecon = nullptr;
  const int* belowcon = nullptr;
  const double* depth = nullptr;   // now, m
  const double* flux_x = nullptr;  // discharge through the right face, m3/s, to the right
  const double* flux_y = nullptr;  // discharge through the lower face, m3/s, downwards
  // Channel lakes (null for none): per cell its lake, 0 none; per lake the
  // constituent's concentration and the mass the cells gave it, pending.
  const int* lake = nullptr;
  const double* lake_conc = nullptr;  // g/m3
  double* lake_inflow = nullptr;      // g, added to
};

// What one cell mass step takes from a cell's accumulators, g.
struct cell_terms {
  double exchange = 0.0;       // from the land surface (or the soil pool)
  double decay = 0.0;
  double exfiltrated = 0.0;    // brought up by exfiltrating water
  double released = 0.0;       // given up by the sediment-bound mass
  double infiltration = 0.0;
  double outflow = 0.0;        // to the outlet or the channel beside the cell
  bool exfiltration_taken = false;  // the exfiltration accumulator held mass
};

// The working vectors of one constituent, sized once for the grid.
struct contam_flux_work {
  std::vector<double> conc;       // g/m3
  std::vector<double> mass;       // g
  std::vector<double> disp;       // dispersion coefficient, m2/s
  std::vector<double> rate;       // net source, g/s
  std::vector<double> conc_pred;  // the predictor's concentration, g/m3
  std::vector<double> mass_swept; // after the first of the two sweeps, g
  std::vector<double> conc_swept; // g/m3
  // What the sweeps cut where they drove a mass below zero, kg, and what
  // dried cells handed on, g: zero but where a sweep wrote, and cleared by
  // whoever reads them.
  std::vector<double> cut;
  std::vector<double> dried;
  std::vector<double> shore_flux; // g/s, the mean advective flux through a lake's shore face
                                  // into the cell, in a sweep in one pass
  std::vector<double> exit_taken; // given to the channels in the step, g
  int exit_cell = 0;              // the one cell exit_taken holds, without outflows per cell
  double to_lakes = 0.0;          // given to the channel lakes in the step, g
  // For the sweeps in one pass over cells numbered in grid order (see
  // size_sweeps): how far a face's two cells lie apart at most along rows
  // and along columns (0: a sweep takes two passes), and each thread's ring
  // of the faces a pass holds in flight, ring_slots of each kind.
  int reach_rows = 0;
  int reach_columns = 0;
  int ring_slots = 0;
  int ring_threads = 0;
  std::vector<double> ring;
  // Each cell's shares of the step, g, kept for the totals.
  struct taken {
    std::vector<double> exchange, decay, exfiltrated, released, infiltration, outflow;
    std::vector<unsigned char> exfiltration_taken;
  } took;

  void size(int cells);
  // Sets the sweeps up for the neighbour tables of grid, once before the
  // time loop; without it, or on a grid whose cells are not in grid order,
  // each sweep takes two passes, to the same results.
  void size_sweeps(const contam_grid& grid);
};

// The two passes over step a (s): column pass then row pass when order is
// 1, the other way round when 2. The masses and concentrations of work are
// brought up to date; a mass the sweeps drive below zero is set to 0 with its
// concentration and added (kg) to negative_mass. With lakes, a lake cell's
// own mass stays as it is: what crosses a face between it and a free cell
// is its lake's (the lake's concentration leaves it), added to the lake's
// inflow and to to_lakes.
void ov_contam_cell_flux(contam_flux_work& work, const contam_grid& grid, double a, int order,
                         double& negative_mass);
