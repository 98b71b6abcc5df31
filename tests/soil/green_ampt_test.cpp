// Green and Ampt: a ponded column against the implicit cumulative equation,
// the per-cell cases of the interval, and the Newton loop's limit.

#include <gtest/gtest.h>

#include <cmath>

#include "soil/infiltration_methods.h"
#include "soil_fixture.h"
#include "test_support.h"

namespace {

// F (m) with Ks t = F - M ln(1 + F/M), by bisection.
double implicit_cumulative(double ks, double m, double t) {
  double lo = 0.0, hi = 1.0;
  for (int k = 0; k < 200; ++k) {
    const double f = 0.5 * (lo + hi);
    (f - m * std::log(1.0 + f / m) < ks * t ? lo : hi) = f;
  }
  return 0.5 * (lo + hi);
}

// F (cm) and the last rate (cm/h) after calls intervals of dt on 1 m of water.
std::pair<double, double> ponded_loam(int calls, double dt) {
  model_state s;
  soil_fixture::build_loam(s, 1);
  s.surface.depth[1] = 1.0;
  for (int k = 0; k < calls; ++k) {
    const double f0 = s.soil.cum_inf[1];
    green_ampt_parallel(s, dt);
    // The cumulative moves by the water actually taken, dt x r.
    EXPECT_NEAR(s.soil.cum_inf[1] - f0, dt * s.soil.inf_rate[1] / 360000.0, 1e-15);
  }
  return {s.soil.cum_inf[1] * 100.0, s.soil.inf_rate[1]};
}

TEST(green_ampt, ponded_loam_follows_the_implicit_equation) {
  const double ks = 0.34 / 360000.0, m = (0.463 - 0.2) * 0.0889;
  EXPECT_NEAR(m * 100.0, 2.33807, 1e-5);
  const double exact = implicit_cumulative(ks, m, 3600.0) * 100.0;
  EXPECT_NEAR(exact, 1.4971, 1e-4);

  const auto [f10, r10] = ponded_loam(360, 10.0);
  EXPECT_NEAR(f10, 1.4910, 0.0010);
  EXPECT_NEAR(r10, 0.8732, 0.0005);
  EXPECT_LT(std::fabs(f10 - exact) / exact, 0.005);

  const auto [f1, r1] = ponded_loam(3600, 1.0);
  EXPECT_NEAR(f1, 1.4962, 0.0005);
  EXPECT_LT(std::fabs(f1 - exact) / exact, 0.001);
  (void)r1;
}

TEST(green_ampt, interval_cases) {
  struct gcase {
    const char* name;
    double depth;         // m
    double reduction;     // area-reduction map value, < 0 none
    double depth_after;   // m, < 0: the full-rate case's
    double rate_share;    // of the rate without reduction
  };
  // The unreduced rate of the first interval on a deep ponding.
  model_state ref;
  soil_fixture::build_loam(ref, 1);
  ref.surface.depth[1] = 1.0;
  green_ampt_parallel(ref, 60.0);
  const double full = ref.soil.inf_rate[1];

  const gcase cases[] = {
      {"dry cell", 1e-17, -1.0, 0.0, 0.0},
      {"shallow ponding enters whole", 1e-6, -1.0, 0.0, 1e-6 / 60.0 * 360000.0 / full},
      {"reduction 0.75", 1.0, 0.75, -1.0, 0.25},
      {"reduction 0.3", 1.0, 0.3, -1.0, 0.7},
  };
  for (const gcase& c : cases) {
    SCOPED_TRACE(c.name);
    model_state s;
    soil_fixture::build_loam(s, 1);
    s.surface.depth[1] = c.depth;
    if (c.reduction >= 0.0) {
      s.soil.area_reduction = 1;
      s.soil.area_factor.assign(2, 1.0 - c.reduction);
    }
    green_ampt_parallel(s, 60.0);
    EXPECT_NEAR(s.soil.inf_rate[1], c.rate_share * full, 1e-12);
    if (c.depth_after >= 0.0) {
      EXPECT_EQ(s.surface.depth[1], c.depth_after);
    } else {
      EXPECT_NEAR(s.surface.depth[1], 1.0 - 60.0 * c.rate_share * full / 360000.0, 1e-15);
    }
  }
}

// M is taken once per run: a later change of the parameters does not reach it.
TEST(green_ampt, m_is_fixed_at_the_first_interval_of_a_record) {
  model_state s;
  soil_fixture::build_loam(s, 1);
  s.surface.depth[1] = 1.0;
  green_ampt_parallel(s, 60.0);
  s.soil.capillary[1] = 0.5;
  green_ampt_parallel(s, 60.0);
  EXPECT_NEAR(s.soil.ga_m[1], (0.463 - 0.2) * 0.0889, 1e-15);
}

TEST(green_ampt, a_cell_whose_newton_loop_does_not_converge_stops_the_run) {
  model_state s;
  soil_fixture::build_loam(s, 3);
  for (int i = 1; i <= 3; ++i) s.surface.depth[i] = 0.1;
  s.soil.ksat[2] = NAN;
  s.soil.ksat[3] = NAN;
  error_state = error_record{};
  test_support::stdout_capture capture;
  green_ampt_parallel(s, 60.0);
  const std::string text = capture.stop();
  EXPECT_NE(text.find("Green and Ampt infiltration of grid cell 2 did not converge in 100 "
                      "iterations"),
            std::string::npos)
      << text;
  EXPECT_EQ(error_state.stop_flag, 1);  // code 4000, reported at once
  error_state = error_record{};
}

}  // namespace
