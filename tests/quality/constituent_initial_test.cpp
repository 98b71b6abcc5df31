// The constituents' state before the loop: the layer geometry, the surface
// water's mass and a layer's mass from its concentration.

#include "quality/constituent_initial.h"

#include <gtest/gtest.h>

#include "quality/soil_layer_contam.h"

namespace {

TEST(constituent_initial, redistribution_layers_reach_the_mixing_top_and_moisture_depths) {
  double t[4] = {}, b[4] = {};
  redistribution_soil_geometry(3, 10.0, 30.0, 40.0, t, b);
  EXPECT_DOUBLE_EQ(t[1], 0.1);
  EXPECT_DOUBLE_EQ(t[2], 0.2);
  EXPECT_DOUBLE_EQ(t[3], 0.1);
  EXPECT_DOUBLE_EQ(b[1], 0.1);
  EXPECT_DOUBLE_EQ(b[2], 0.3);
  EXPECT_DOUBLE_EQ(b[3], 0.4);
  double t2[4] = {}, b2[4] = {};
  redistribution_soil_geometry(2, 10.0, 10.0, 40.0, t2, b2);
  EXPECT_DOUBLE_EQ(t2[2], 0.3);
  EXPECT_DOUBLE_EQ(b2[2], 0.4);
}

TEST(constituent_initial, surface_and_layer_masses) {
  double conc = 5.0;
  EXPECT_DOUBLE_EQ(initial_surface_mass(0.05, conc, 100.0), 2500.0);
  EXPECT_EQ(conc, 5.0);
  EXPECT_EQ(initial_surface_mass(1e-17, conc, 100.0), 0.0);
  EXPECT_EQ(conc, 0.0);
  // 6.28931 mg/kg in 0.1 m of porosity 0.4 under a 10 m cell is 100 g, and
  // the layer's concentration reads it back.
  const double m = initial_layer_mass(6.289308176, 0.1, 0.4, 10.0);
  EXPECT_NEAR(m, 100.0, 1e-7);
  EXPECT_NEAR(soil_layer_concentration(m, 0.4, 0.1, 10.0), 6.289308176, 1e-12);
}

}  // namespace
