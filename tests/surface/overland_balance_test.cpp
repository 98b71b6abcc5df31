// Routing on grids built in memory: the water balance closes after every
// step, the tilted V reaches its equilibrium outflow (rain rate x area), a
// symmetric valley stays symmetric to the last bit, and the depths do not
// depend on the thread count.

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "surface_run_fixture.h"

namespace {

using namespace surface_fixture;

struct balance_case {
  const char* label;
  void (*build)(model_state&);
  int scheme;
  double rain;        // mm/h
  int rain_steps;
  int steps;
};

TEST(overland_balance, rain_equals_outflow_plus_storage_after_every_step) {
  const balance_case cases[] = {
      {"plane20, ADE", build_plane20, 2, 36.0, 240 * 12, 300 * 12},
      {"plane20, ADE predictor-corrector", build_plane20, 3, 36.0, 240 * 12, 300 * 12},
      {"tilted V, ADE", build_tilted_v, 2, 10.8, 90 * 12, 120 * 12},
      {"tilted V, ADE predictor-corrector", build_tilted_v, 3, 10.8, 90 * 12, 120 * 12},
  };
  for (const balance_case& c : cases) {
    SCOPED_TRACE(c.label);
    clear_errors();
    model_state s;
    c.build(s);
    step_driver drive(s, 5.0, c.scheme);
    double worst = 0.0;
    for (int k = 1; k <= c.steps; ++k) {
      ASSERT_TRUE(drive.step(k <= c.rain_steps ? c.rain : 0.0)) << k;
      const double residual = std::fabs(balance_residual(s)) / s.surface.rain_volume;
      if (residual > worst) worst = residual;
      ASSERT_LE(residual, 1e-9) << "step " << k;
    }
    // The rain itself: rate x duration x area.
    EXPECT_NEAR(s.surface.rain_volume, c.rain / 3.6e6 * c.rain_steps * 5.0 * s.grid.area,
                1e-9 * s.surface.rain_volume);
    EXPECT_GT(s.surface.outflow_volume, 0.5 * s.surface.rain_volume);
    RecordProperty("worst_residual", std::to_string(worst));
  }
  clear_errors();
}

TEST(overland_balance, the_tilted_v_drains_rain_rate_times_area_at_equilibrium) {
  clear_errors();
  model_state s;
  build_tilted_v(s);
  step_driver drive(s, 10.0, 2);
  const double equilibrium = 10.8 / 3.6e6 * s.grid.area;  // 4.86 m3/s
  ASSERT_NEAR(equilibrium, 4.86, 1e-12);
  for (int k = 1; k <= 9 * 60; ++k) {
    ASSERT_TRUE(drive.step(10.8)) << k;
    if (drive.minutes() >= 60.0) {
      EXPECT_NEAR(s.run.q_out, equilibrium, 0.01 * equilibrium) << drive.minutes();
    }
  }
  clear_errors();
}

// Depths of the tilted V after an hour of rain, on n threads.
std::vector<double> v_depths(int threads, int scheme, double* outflow) {
  const int saved = omp_get_max_threads();
  omp_set_num_threads(threads);
  model_state s;
  build_tilted_v(s);
  step_driver drive(s, 5.0, scheme);
  for (int k = 1; k <= 720; ++k) drive.step(10.8);
  omp_set_num_threads(saved);
  *outflow = s.surface.outflow_volume;
  return s.surface.depth;
}

TEST(overland_balance, depths_are_bitwise_the_same_on_one_and_eight_threads) {
  for (int scheme : {2, 3}) {
    SCOPED_TRACE(scheme);
    clear_errors();
    double out1 = 0.0, out8 = 0.0;
    const std::vector<double> one = v_depths(1, scheme, &out1);
    const std::vector<double> eight = v_depths(8, scheme, &out8);
    ASSERT_EQ(error_state.stop_flag, 0);
    ASSERT_EQ(one.size(), eight.size());
    EXPECT_EQ(std::memcmp(one.data(), eight.data(), one.size() * sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(&out1, &out8, sizeof out1), 0);
  }
  clear_errors();
}

TEST(overland_balance, a_symmetric_valley_stays_symmetric_bit_for_bit) {
  // The tilted V is its own mirror image about column 41: water on the
  // left plane flows right, on the right plane left, with the same numbers.
  for (int scheme : {2, 3}) {
    SCOPED_TRACE(scheme);
    clear_errors();
    model_state s;
    build_tilted_v(s);
    step_driver drive(s, 5.0, scheme);
    for (int k = 1; k <= 360; ++k) ASSERT_TRUE(drive.step(10.8));
    const std::vector<double>& h = s.surface.depth;
    for (int r = 1; r <= 50; ++r) {
      for (int k = 1; k <= 40; ++k) {
        const int left = s.grid.mask[r][41 - k];
        const int right = s.grid.mask[r][41 + k];
        ASSERT_EQ(h[left], h[right]) << "row " << r << " offset " << k;
      }
    }
    EXPECT_GT(h[s.grid.mask[25][20]], 0.0);
  }
  clear_errors();
}

}  // namespace
