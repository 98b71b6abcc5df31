// One erosion step on small hand-built rows of cells: suspended sediment
// passes down the row to the outlet in a single step (cells are worked in
// order), and rain on still water only splashes soil that settles again
// where it was lifted.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "quality/sediment_erosion_transport.h"
#include "quality/sediment_inputs.h"
#include "quality/sediment_kernels.h"
#include "surface/surface_run_fixture.h"

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
