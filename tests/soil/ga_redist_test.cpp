// Green and Ampt with redistribution: the ponded capacity, the front's
// content through supply, redistribution and a second ponding.

#include <gtest/gtest.h>

#include "soil/infiltration_methods.h"
#include "soil_fixture.h"

namespace {

constexpr double loam_ks = 0.34 / 360000.0;
constexpr double loam_m = (0.463 - 0.2) * 0.0889;

TEST(ga_redist, capacity_of_the_loam) {
  EXPECT_NEAR(redist_capacity(60.0, loam_ks, 0.263, 0.0889, 0.0) * 360000.0, 9.938426, 1e-5);
  EXPECT_NEAR(redist_capacity(60.0, loam_ks, 0.263, 0.0889, 0.01) * 360000.0, 1.127544, 1e-5);
  (void)loam_m;
}

// Calls of one cell with the given ponded depths (m) before each call.
void run_cell(model_state& s, const std::vector<double>& depths, double dt) {
  soil_fixture::build_loam(s, 1);
  for (double h : depths) {
    s.surface.depth[1] = h;
    ga_redist_parallel(s, dt);
    ++s.soil.redist_calls;
  }
}

TEST(ga_redist, front_cases) {
  const double dt = 60.0;
  const double below_k = 0.5 * loam_ks * dt;  // supply at half the conductivity, m
  {
    SCOPED_TRACE("the first two calls keep the initial content");
    model_state s;
    run_cell(s, {0.01, 0.01}, dt);
    EXPECT_EQ(s.soil.theta_out[1], 0.463);  // ponded: the front saturates
    model_state d;
    run_cell(d, {0.0}, dt);
    EXPECT_EQ(d.soil.front_theta[1], 0.2);
    EXPECT_EQ(d.soil.theta_out[1], 0.2);
  }
  {
    SCOPED_TRACE("supply below Ke goes in whole without a front");
    model_state s;
    run_cell(s, {below_k, below_k, below_k, below_k}, dt);
    EXPECT_NEAR(s.soil.cum_inf[1], 4 * below_k, 1e-18);
    EXPECT_EQ(s.surface.depth[1], 0.0);
    EXPECT_EQ(s.soil.iter_i_less_k[1], 3);
    EXPECT_EQ(s.soil.iter_pond_1[1], 0);
    EXPECT_EQ(s.soil.theta_out[1], 0.2);
  }
  {
    SCOPED_TRACE("ponding, redistribution, ponding again and merging stay within [thi, phi]");
    std::vector<double> depths(20, 0.01);
    depths.insert(depths.end(), 30, 0.0);
    depths.insert(depths.end(), 5, 0.01);
    depths.insert(depths.end(), 30, 0.0);
    model_state s;
    soil_fixture::build_loam(s, 1);
    double volume_in = 0.0, f_before = 0.0;
    int saw_two_fronts = 0;
    for (double h : depths) {
      s.surface.depth[1] = h;
      ga_redist_parallel(s, dt);
      ++s.soil.redist_calls;
      volume_in += h - s.surface.depth[1];
      saw_two_fronts |= s.soil.no_wat_prof[1] == 2;
      EXPECT_GE(s.soil.front_theta[1], 0.2);
      EXPECT_LE(s.soil.front_theta[1], 0.463);
      EXPECT_GE(s.soil.cum_inf[1], f_before);
      f_before = s.soil.cum_inf[1];
    }
    EXPECT_EQ(saw_two_fronts, 1);
    EXPECT_EQ(s.soil.no_wat_prof[1], 0);  // merged once the supply stopped
    EXPECT_NEAR(s.soil.cum_inf[1], volume_in, 1e-15);
    EXPECT_LT(s.soil.front_theta[1], 0.463);  // relaxed after the last ponding
  }
}

}  // namespace
