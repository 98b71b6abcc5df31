// The constituent transport sweeps: a hand-worked advection step between
// two cells, the source rate taken whole over the two passes, mass kept to
// rounding on a grid of uneven depths, flows and concentrations, and the
// shore faces of a channel lake.

#include "quality/cell_contam_flux.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "constituent_fixture.h"

namespace {

using constituent_fixture::flux_grid;

TEST(cell_contam_flux, advection_between_two_cells_by_predictor_and_corrector) {
  // 0.1 m3/s from cell 1 (1 g/m3 in 10 m3) to cell 2 (clean) for 10 s. The
  // predictor moves 0.1 x 1 x 10 = 1 g (cell 1 at 0.9 g/m3); the corrector's
  // flux 0.1 x 0.9 averaged with it moves 0.95 g.
  for (int order : {1, 2}) {
    SCOPED_TRACE(order);
    flux_grid g(1, 2);
    g.qx[1] = 0.1;
    g.work.mass[1] = 10.0;
    g.work.conc[1] = 1.0;
    double negative = 0.0;
    ov_contam_cell_flux(g.work, g.grid(), 10.0, order, negative);
    EXPECT_NEAR(g.work.mass[1], 9.05, 1e-12);
    EXPECT_NEAR(g.work.mass[2], 0.95, 1e-12);
    EXPECT_NEAR(g.work.conc[2], 0.095, 1e-12);
    EXPECT_EQ(negative, 0.0);
  }
}

TEST(cell_contam_flux, still_water_takes_the_whole_source_rate_once) {
  flux_grid g(2, 2);
  g.depth[4] = 0.0;
  for (int j = 1; j <= 4; ++j) g.work.rate[j] = 0.5 * j;
  double negative = 0.0;
  ov_contam_cell_flux(g.work, g.grid(), 10.0, 1, negative);
  for (int j = 1; j <= 4; ++j) EXPECT_NEAR(g.work.mass[j], 5.0 * j, 1e-12) << j;
  EXPECT_NEAR(g.work.conc[1], 5.0 / 10.0, 1e-12);
  EXPECT_EQ(g.work.conc[4], 0.0);  // a dry cell holds mass but no concentration
}

TEST(cell_contam_flux, the_sweeps_keep_the_grids_mass) {
  // A 4 x 5 grid with uneven depths, discharges both ways, dispersion and
  // concentrations; faces at the grid's edge carry nothing.
  flux_grid g(4, 5);
  for (int j = 1; j <= g.cells; ++j) {
    g.depth[j] = 0.05 + 0.01 * (j % 7);
    g.qx[j] = g.right[j] ? 0.02 * std::sin(j) : 0.0;
    g.qy[j] = g.below[j] ? 0.015 * std::cos(3.0 * j) : 0.0;
    g.work.disp[j] = 0.5 + 0.1 * (j % 3);
    g.work.conc[j] = 1.0 + (j * 37 % 11);
    g.work.mass[j] = g.work.conc[j] * g.depth[j] * 100.0;
  }
  const double before = g.total();
  double negative = 0.0;
  for (int step = 0; step < 20; ++step)
    ov_contam_cell_flux(g.work, g.grid(), 5.0, 1 + step % 2, negative);
  EXPECT_EQ(negative, 0.0);
  EXPECT_NEAR(g.total(), before, 1e-12 * before);
  for (int j = 1; j <= g.cells; ++j) {
    EXPECT_GE(g.work.mass[j], 0.0);
    EXPECT_NEAR(g.work.conc[j], g.work.mass[j] / (g.depth[j] * 100.0), 1e-12);
  }
}

TEST(cell_contam_flux, dispersion_evens_out_a_step_in_concentration) {
  // Dispersion alone between equal cells: the richer loses what the poorer
  // gains, and neither passes the other.
  flux_grid g(1, 2);
  g.work.disp[1] = g.work.disp[2] = 1.0;
  g.work.conc[1] = 10.0;
  g.work.mass[1] = 100.0;
  double negative = 0.0;
  ov_contam_cell_flux(g.work, g.grid(), 10.0, 2, negative);
  // Predictor: 0.1 x 10 x 10 s = 10 g; corrector from 9 and 1 g/m3: 8 g;
  // their mean, 9 g, moves.
  EXPECT_NEAR(g.work.mass[2], 9.0, 1e-12);
  EXPECT_NEAR(g.work.mass[1], 91.0, 1e-12);
}

TEST(cell_contam_flux, a_lake_cell_passes_its_shore_fluxes_to_its_lake) {
  // Cell 1 (1 g/m3 in 10 m3) drains 0.1 m3/s into lake cell 2, whose lake
  // (3 g/m3) spills 0.1 m3/s into clean cell 3, for 10 s. Into the lake: the
  // predictor's 1 g and the corrector's 0.9 g averaged, 0.95 g; out of it
  // 0.1 x 3 x 10 = 3 g both times. No dispersion crosses the shore, and the
  // lake cell's own 5 g stay where they are.
  flux_grid g(1, 3);
  g.qx[1] = g.qx[2] = 0.1;
  for (int j = 1; j <= 3; ++j) g.work.disp[j] = 1.0;
  g.work.conc[1] = 1.0;
  g.work.mass[1] = 10.0;
  g.work.mass[2] = 5.0;
  const std::vector<int> lake = {0, 0, 1, 0};
  const std::vector<double> lake_conc = {0.0, 3.0};
  std::vector<double> inflow = {0.0, 0.0};
  contam_grid grid = g.grid();
  grid.lake = lake.data();
  grid.lake_conc = lake_conc.data();
  grid.lake_inflow = inflow.data();
  g.work.to_lakes = 0.0;
  double negative = 0.0;
  ov_contam_cell_flux(g.work, grid, 10.0, 1, negative);
  EXPECT_NEAR(g.work.mass[1], 9.05, 1e-12);
  EXPECT_NEAR(g.work.mass[3], 3.0, 1e-12);
  EXPECT_EQ(g.work.mass[2], 5.0);
  EXPECT_NEAR(inflow[1], 0.95 - 3.0, 1e-12);
  EXPECT_NEAR(g.work.to_lakes, inflow[1], 1e-15);
  EXPECT_NEAR(g.work.mass[1] + g.work.mass[3] + inflow[1], 10.0, 1e-12);
}

}  // namespace
