// One erosion step on small hand-built rows of cells: suspended sediment
// passes down the row to the outlet in a single step (cells are worked in
// order), and rain on still water only splashes soil that settles again
// where it was lifted. On a ragged watershed whose flows run every way the
// sediment lifted from the soil is all found again, and every thread count
// leaves the same bits.

#include <gtest/gtest.h>

#include <omp.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "core/parallel_team.h"
#include "quality/sediment_erosion_transport.h"
#include "quality/sediment_inputs.h"
#include "quality/sediment_kernels.h"
#include "surface/cell_connectivity.h"
#include "surface/surface_run_fixture.h"
#include "test_support.h"

namespace {

using namespace sed_element;

// A row of three 10 m cells falling to the outlet in the east, one class of
// 0.03 mm whose parent-soil fraction is given.
void short_row(model_state& s, int formula, double parent_fraction) {
  surface_fixture::build_grid(s, 1, 3, 10.0, {0.3, 0.2, 0.1}, {0.05}, 1, 3, 0.01);
  sediment_state& sed = s.quality.sediment;
  sed.on = 1;
  sed.formula = formula;
  sed.classes = 1;
  sed.water_temp = 20.0;
  sed.sand_size = 0.0625;
  sed.spec_grav = {0.0, 2.65};
  sed.part_diam = {0.0, 0.03};
  ASSERT_TRUE(alloc_sediment_arrays(s));
  setup_sediment_classes(sed);
  for (int c = 1; c <= 3; ++c) {
    sed.splash_K[c] = 60.0;
    sed.detach_coef[c] = 2e-5;
    sed.detach_exp[c] = 1.0;
    sed.sed_K[c] = 1.0;
    sed.fract(c, 1)[parent] = parent_fraction;
  }
}

// A watershed of 36 x 40 cells of 10 m with holes in its mask, falling to
// its outlet in the south-east corner, three classes, the flux and
// concentration outputs on. Depths, face flows (of both signs) and rain
// differ from cell to cell; some cells are dry, some carry a channel.
std::unique_ptr<model_state> ragged_watershed(int rows = 36, int cols = 40) {
  auto s = std::make_unique<model_state>();
  std::vector<int> pattern;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) {
      const bool hole = (r * 7 + c * 3) % 13 == 0 || (r < 6 && c > 30);
      pattern.push_back(!hole || (r == rows && c == cols));
    }
  surface_fixture::mask_record(*s, rows, cols, pattern, {});
  grid_state& g = s->grid;
  const int n = g.cells;
  g.outlet_row = rows;
  g.outlet_col = cols;
  g.outlet_cell = g.mask[rows][cols];
  g.outlet_slope = 0.01;
  g.elevation.assign(n + 1, 0.0);
  for (std::vector<int>* table : {&g.rightcon, &g.belowcon, &g.leftcon, &g.abovecon})
    table->assign(n + 1, 0);
  build_neighbor_tables(rows, cols, g.rightcon, g.belowcon, g.abovecon, g.leftcon, g.mask.table());
  surface_state& sf = s->surface;
  sf.depth.assign(n + 1, 0.0);
  sf.flux_x.assign(n + 1, 0.0);
  sf.flux_y.assign(n + 1, 0.0);
  sf.rain_rate.assign(n + 1, 0.0);
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) {
      const int k = g.mask[r][c];
      if (k == 0) continue;
      g.elevation[k] = 0.2 * (rows - r) + 0.1 * (cols - c) + 0.05 * ((k * 17) % 7);
      sf.depth[k] = k % 9 == 0 ? 0.0 : 0.005 * (1 + k % 8);
      sf.flux_x[k] = 0.02 * ((k * 37) % 11 - 4);  // m3/s, -0.08..0.12
      sf.flux_y[k] = 0.02 * ((k * 29) % 13 - 5);
      sf.rain_rate[k] = k % 2 ? 30.0 : 80.0;
      if (r == rows) sf.flux_x[k] = 0.1;  // the bottom row drains to the outlet
    }
  sf.depth[g.outlet_cell] = 0.03;
  s->run.q_out = 0.2;
  sediment_state& sed = s->quality.sediment;
  sed.on = 1;
  sed.formula = 1;
  sed.classes = 3;
  sed.sand_size = 0.0625;
  sed.water_temp = 20.0;
  sed.spec_grav = {0.0, 2.65, 2.65, 2.65};
  sed.part_diam = {0.0, 0.002, 0.03, 0.5};
  sed.max_sed_flux = 1;
  sed.vol_sed_susp = 1;
  EXPECT_TRUE(alloc_sediment_arrays(*s));
  setup_sediment_classes(sed);
  for (int c = 1; c <= n; ++c) {
    sed.splash_K[c] = 60.0;
    sed.detach_coef[c] = 2e-5;
    sed.detach_exp[c] = 1.0 + 0.1 * (c % 5);
    sed.detach_crit[c] = 0.1 * (c % 3);
    sed.sed_K[c] = 1.0;
    sed.channel_cells[c] = c % 23 == 0;
    sed.fract(c, 1)[parent] = 0.3;
    sed.fract(c, 2)[parent] = 0.4;
    sed.fract(c, 3)[parent] = 0.3;
  }
  return s;
}

template <class T>
bool same_bits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

}  // namespace

TEST(sediment_erosion_transport, suspended_sediment_runs_down_the_row_to_the_outlet_in_one_step) {
  model_state s;
  // Formula 9 has no law: the capacity is the unit discharge, 10 m2/s here,
  // far beyond the load. No parent soil to detach, no rain.
  short_row(s, 9, 0.0);
  for (int c = 1; c <= 3; ++c) {
    s.surface.depth[c] = 0.5;
    s.surface.flux_x[c] = c < 3 ? 100.0 : 0.0;  // m3/s to the right
  }
  s.run.q_out = 100.0;  // through the outlet face
  sediment_state& sed = s.quality.sediment;
  sed.vol(1, 1)[suspended] = 1.0;
  sed.vol(1, 1)[eroded] = -1.0;
  sediment_erosion_transport(s, 10.0);
  EXPECT_DOUBLE_EQ(sed.vol(3, 1)[discharged], 1.0);
  EXPECT_DOUBLE_EQ(sed.outlet_step_volume, 1.0);
  for (int c = 0; c <= 3; ++c) {
    EXPECT_EQ(sed.vol(c, 1)[suspended], 0.0) << c;
    EXPECT_EQ(sed.vol(c, 1)[deposited], 0.0) << c;
  }
  EXPECT_DOUBLE_EQ(sed.totals[1].routed, 1.0);
  EXPECT_DOUBLE_EQ(sed.totals[1].eroded, -1.0);
  // The last capacity of each cell's right face is kept, m3.
  EXPECT_DOUBLE_EQ(sed.qsx[1], 10.0);
}

TEST(sediment_erosion_transport, rain_on_still_water_splashes_soil_that_settles_in_place) {
  model_state s;
  short_row(s, 1, 1.0);
  for (int c = 1; c <= 3; ++c) s.surface.rain_rate[c] = 50.0;
  sediment_state& sed = s.quality.sediment;
  sed.adjust_elev = 1;
  sediment_erosion_transport(s, 10.0);
  // 50 mm/h on bare soil for 10 s on a 10 m cell.
  const double lifted = 60 * 6.12e-8 * std::pow(50.0, 1.4242) * 10 * 100 / 2645.23;
  for (int c = 1; c <= 3; ++c) {
    EXPECT_NEAR(sed.vol(c, 1)[eroded], -lifted, lifted * 1e-12) << c;
    EXPECT_NEAR(sed.vol(c, 1)[deposited], lifted, lifted * 1e-12) << c;
    EXPECT_EQ(sed.vol(c, 1)[suspended], 0.0) << c;
    EXPECT_NEAR(sed.step_eroded[sed.at(c, 0)], lifted, lifted * 1e-12);
    EXPECT_NEAR(sed.step_deposited[sed.at(c, 0)], lifted, lifted * 1e-12);
  }
  EXPECT_EQ(sed.outlet_step_volume, 0.0);
  // What was lifted came down on the same cell: the ground has not moved,
  // and the step's tallies are cleared for the next step.
  const std::vector<double> before = s.grid.elevation;
  book_sediment_step(s);
  for (int c = 1; c <= 3; ++c) {
    EXPECT_NEAR(s.grid.elevation[c], before[c], 1e-15);
    EXPECT_EQ(sed.step_eroded[sed.at(c, 1)], 0.0);
    EXPECT_NEAR(sed.ov_qsvol[sed.at(c, 0)], 0.0, 1e-18);
  }
}

TEST(sediment_erosion_transport, a_ragged_watershed_keeps_its_sediment_and_its_bits_on_any_team) {
  // Large enough that 2, 3 and 8 threads each make a team of that many.
  auto erode = [](int threads) {
    std::unique_ptr<model_state> s = ragged_watershed(280, 270);
    const int saved = omp_get_max_threads();
    omp_set_num_threads(threads);
    for (int step = 0; step < 3; ++step) {
      sediment_erosion_transport(*s, 10.0);
      book_sediment_step(*s);
    }
    omp_set_num_threads(saved);
    return s;
  };
  const std::unique_ptr<model_state> one = erode(1);
  const sediment_state& sed = one->quality.sediment;
  ASSERT_GE(one->grid.cells, 8 * cells_per_thread);  // a team of eight is taken

  // What left the parent soil is suspended, lies loose or went out.
  double lifted = 0.0, found = 0.0, flux = 0.0;
  for (int c = 1; c <= one->grid.cells; ++c)
    for (int i = 1; i <= 3; ++i) {
      const sed_volume& v = sed.vol(c, i);
      lifted -= v[eroded];
      found += v[suspended] + v[deposited] + v[discharged];
      flux += sed.ov_qsmax[sed.at(c, i)];
    }
  ASSERT_GT(lifted, 0.0);
  EXPECT_GT(sed.vol(one->grid.outlet_cell, 0)[discharged], 0.0);
  EXPECT_GT(flux, 0.0);
  EXPECT_NEAR(found, lifted, lifted * 1e-12);
  double total = 0.0;
  for (int i = 1; i <= 3; ++i) total -= sed.totals[i].eroded;
  EXPECT_NEAR(total, lifted, lifted * 1e-12);

  for (int threads : {2, 3, 8}) {
    const std::unique_ptr<model_state> many = erode(threads);
    const sediment_state& m = many->quality.sediment;
    EXPECT_TRUE(same_bits(m.vol_sed, sed.vol_sed)) << threads;
    EXPECT_TRUE(same_bits(m.sed_fract, sed.sed_fract)) << threads;
    EXPECT_TRUE(same_bits(m.ov_qsvol, sed.ov_qsvol)) << threads;
    EXPECT_TRUE(same_bits(m.ov_qsmax, sed.ov_qsmax)) << threads;
    EXPECT_TRUE(same_bits(m.ov_qsconc, sed.ov_qsconc)) << threads;
    EXPECT_TRUE(same_bits(m.qsx, sed.qsx) && same_bits(m.qsy, sed.qsy)) << threads;
    EXPECT_EQ(std::memcmp(m.totals.data(), sed.totals.data(),
                          sed.totals.size() * sizeof(sed_class_total)),
              0)
        << threads;
  }
}

namespace {

// The wavefront's waits on a machine with more runnable threads than
// processors: busy threads of the test's own hold every processor while a
// watershed large enough for a team of eight is eroded round after round at
// 2 to 8 threads, each row's thread waiting on the row above's progress. A
// lost wake-up hangs the sweep (the watchdog then fails the test); every
// round must leave one thread's volumes and totals to the bit.
TEST(sediment_erosion_transport, the_row_wavefront_never_hangs_and_keeps_its_bits_on_a_busy_machine) {
  auto erode = [](int threads) {
    std::unique_ptr<model_state> s = ragged_watershed(280, 270);
    const int saved = omp_get_max_threads();
    omp_set_num_threads(threads);
    sediment_erosion_transport(*s, 10.0);
    book_sediment_step(*s);
    omp_set_num_threads(saved);
    return s;
  };
  const std::unique_ptr<model_state> one = erode(1);
  const sediment_state& sed = one->quality.sediment;
  ASSERT_GE(one->grid.cells, 8 * cells_per_thread);  // a team of eight is taken
  test_support::watchdog watch("the erosion wavefront", 280);
  test_support::busy_machine busy(200);
  int differ = 0;
  for (int round = 0; round < 2; ++round)
    for (int threads = 2; threads <= 8; ++threads) {
      const std::unique_ptr<model_state> many = erode(threads);
      const sediment_state& m = many->quality.sediment;
      const bool same =
          same_bits(m.vol_sed, sed.vol_sed) && same_bits(m.sed_fract, sed.sed_fract) &&
          same_bits(m.ov_qsvol, sed.ov_qsvol) && same_bits(m.qsx, sed.qsx) &&
          same_bits(m.qsy, sed.qsy) &&
          std::memcmp(m.totals.data(), sed.totals.data(),
                      sed.totals.size() * sizeof(sed_class_total)) == 0;
      if (!same) ++differ;
      EXPECT_TRUE(same) << threads << " threads, round " << round;
    }
  EXPECT_EQ(differ, 0);
}

}  // namespace
