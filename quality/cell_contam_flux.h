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
  std::vector<double> disp_flux;  // g/s through the face from the upper or left neighbour
  std::vector<double> adv_flux;   // g/s, the same face
  std::vector<double> disp_pred;  // predictor fluxes, kept for the average
  std::vector<double> adv_pred;
  std::vector<double> mass_pred;  // predictor mass, g
  std::vector<double> conc_pred;  // predictor concentration, g/m3
  std::vector<double> exit_taken; // given to the channels in the step, g
  double to_lakes = 0.0;          // given to the channel lakes in the step, g
  // Each cell's shares of the step, g, kept for the totals.
  struct taken {
    std::vector<double> exchange, decay, exfiltrated, released, infiltration, outflow;
    std::vector<unsigned char> exfiltration_taken;
  } took;

  void size(int cells);
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
