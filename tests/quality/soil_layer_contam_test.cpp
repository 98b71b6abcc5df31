// The soil layers of the dissolved constituents: the dissolved share, the
// first-order loss and the concentration per mass of solids, worked by hand,
// and the water content of each layer from the soil water of redistribution
// and layered soils.

#include "quality/soil_layer_contam.h"

#include <gtest/gtest.h>

#include <cmath>

#include "constituent_fixture.h"

namespace {

TEST(soil_layer_contam, the_dissolved_share_stays_between_0_and_1) {
  struct share_case {
    double theta, partition, fraction;
  };
  // 0.3 / (0.7 x 0.5 x 2.65 + 0.3) = 0.3 / 1.2275
  const share_case cases[] = {
      {0.3, 0.5, 0.24439919}, {0.3, 0.0, 1.0}, {1.0, 7.0, 1.0}, {0.0, 0.5, 0.0},
      {0.0, 0.0, 1.0},  // a dry layer that sorbs nothing
      {0.1, 0.01, 0.1 / (0.9 * 0.01 * 2.65 + 0.1)},
  };
  for (const share_case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.theta << " " << c.partition);
    const double f = soil_dissolved_fraction(c.theta, c.partition);
    EXPECT_NEAR(f, c.fraction, 1e-8);
    EXPECT_GE(f, 0.0);
    EXPECT_LE(f, 1.0);
  }
}

TEST(soil_layer_contam, the_loss_takes_the_dissolved_share_at_most) {
  const double f = soil_dissolved_fraction(0.3, 0.5);
  // One hour at 1e-5 /s from 100 g: 0.24439919 x 100 x 0.036 = 0.87984.
  double mass = 100.0;
  EXPECT_NEAR(soil_layer_contam_loss(mass, f, 1e-5, 3600.0, false), 0.879837, 1e-6);
  EXPECT_NEAR(mass, 100.0 - 0.879837, 1e-6);
  // A rate that would take more than the water holds takes exactly that.
  mass = 100.0;
  EXPECT_EQ(soil_layer_contam_loss(mass, f, 1.0, 3600.0, false), f * 100.0);
  EXPECT_EQ(mass, 100.0 - f * 100.0);
  // Held concentrations keep the mass but the loss is counted.
  mass = 100.0;
  EXPECT_NEAR(soil_layer_contam_loss(mass, f, 1e-5, 3600.0, true), 0.879837, 1e-6);
  EXPECT_EQ(mass, 100.0);
}

TEST(soil_layer_contam, concentration_per_mass_of_solids) {
  // 100 g in 0.1 m of porosity 0.4 under a 10 m cell: 6 m3 of solids weigh
  // 15900 kg: 100 g / 15900 kg = 6.28931 mg/kg.
  EXPECT_NEAR(soil_layer_concentration(100.0, 0.4, 0.1, 10.0), 6.289308, 1e-6);
  EXPECT_EQ(soil_layer_concentration(0.0, 0.4, 0.1, 10.0), 0.0);
}

TEST(soil_layer_contam, redistribution_layers_take_their_water_from_the_upper_and_lower_soil) {
  // Layers to 10, 30 and 100 cm; 6 cm of water above 30 cm, 14 below.
  const redistribution_depths depths{10.0, 30.0, 100.0};
  const double thickness[] = {0.0, 0.1, 0.2, 0.7};
  struct water_case {
    const char* label;
    bool groundwater;
    double table;  // m below the ground
    double theta[3];
  };
  const water_case cases[] = {
      {"no aquifer", false, 0.0, {0.2, 0.2, 0.2}},
      {"a table below the soil", true, 2.0, {0.2, 0.2, 0.2}},
      // Below 0.65 m layer 3 is saturated: (0.14 + 0.35 x 0.4) / 0.7.
      {"a table inside layer 3", true, 0.65, {0.2, 0.2, 0.4}},
      // Layer 2 (0.1 to 0.3 m, 0.04 m of water): (0.04 + 0.1 x 0.4) / 0.2.
      {"a table inside layer 2", true, 0.2, {0.2, 0.4, 0.4}},
      {"a table at the ground", true, 0.0, {0.4, 0.4, 0.4}},
  };
  for (const water_case& c : cases) {
    SCOPED_TRACE(c.label);
    for (int l = 1; l <= 3; ++l) {
      EXPECT_NEAR(soil_layer_water_fraction(l, 3, 6.0, 14.0, depths, 0.4, thickness,
                                            c.groundwater, c.table),
                  c.theta[l - 1], 1e-12)
          << l;
    }
  }
  // Two layers: the second lies below the top layer when the mixing layer
  // is the top layer, and above it when the soil ends at the top layer.
  const double two[] = {0.0, 0.3, 0.7};
  EXPECT_NEAR(soil_layer_water_fraction(2, 2, 6.0, 14.0, {30.0, 30.0, 100.0}, 0.4, two, false, 0.0),
              0.2, 1e-12);
  EXPECT_NEAR(soil_layer_water_fraction(2, 2, 6.0, 14.0, {10.0, 30.0, 30.0}, 0.4, two, false, 0.0),
              0.2, 1e-12);
}

TEST(soil_layer_contam, layered_soils_split_at_the_mixing_depth_and_the_water_table) {
  double t[4] = {};
  // A mixing depth inside soil layer 1 (30 cm) makes three layers.
  ASSERT_EQ(layered_soil_layers(10.0, 30.0, 50.0, t), 3);
  EXPECT_DOUBLE_EQ(t[1], 0.1);
  EXPECT_DOUBLE_EQ(t[2], 0.2);
  EXPECT_DOUBLE_EQ(t[3], 0.5);
  double two[4] = {};
  for (double mixing : {0.0, 30.0, 40.0}) ASSERT_EQ(layered_soil_layers(mixing, 30.0, 50.0, two), 2);
  EXPECT_DOUBLE_EQ(two[1], 0.3);
  EXPECT_DOUBLE_EQ(two[2], 0.5);

  struct split_case {
    const char* label;
    int layers;
    double table;  // cm below the ground
    double theta[3];
  };
  // Soil layer 1 holds 6 cm at porosity 0.4, layer 2 10 cm at 0.3.
  const split_case cases[] = {
      {"three, the table below the soil: layers 1 and 2 alike", 3, 81.0, {0.2, 0.2, 0.2}},
      {"three, the table at the ground", 3, 0.0, {0.4, 0.4, 0.3}},
      // 6 cm over the 20 cm above the table; layer 2: (10 x 0.4 + 10 / 20 x 6) / 20.
      {"three, the table inside layer 2", 3, 20.0, {0.3, 0.35, 0.3}},
      // Layer 2 of 50 cm below 50 cm: (10 + 30 x 0.3) / 50.
      {"two, the table inside layer 2", 2, 50.0, {0.2, 0.38, 0.0}},
      {"two, the table below the soil", 2, 81.0, {0.2, 0.2, 0.0}},
  };
  for (const split_case& c : cases) {
    SCOPED_TRACE(c.label);
    double theta[4] = {};
    split_soil_layers(c.layers, 6.0, 10.0, 0.4, 0.3, c.layers == 3 ? t : two, c.table, theta);
    for (int l = 1; l <= c.layers; ++l) EXPECT_NEAR(theta[l], c.theta[l - 1], 1e-12) << l;
  }
}

TEST(soil_layer_contam, a_contaminant_loses_its_dissolved_share_and_a_nutrient_nothing) {
  constituent_state c;
  constituent_fixture::size_state(c, 2, 1, 2);
  c.constituent_type[2] = 2;
  const double thickness[] = {0.0, 0.1, 0.3};
  const soil_layer_geometry geometry = constituent_fixture::uniform_geometry(1, 2, thickness, 0.4);
  c.theta.at(1, 1) = 0.3;
  c.theta.at(1, 2) = 0.2;
  for (int k : {1, 2}) {
    c.cell_partition_coef[k][1] = 0.5;
    c.soil_decay_coef[k][1] = 1e-5;
    c.soil_mass[k].at(1, 1) = 100.0;
    c.soil_mass[k].at(1, 2) = 50.0;
  }
  soil_layer_contam_decay(c, 1, geometry, 10.0, 3600.0);
  soil_layer_contam_decay(c, 2, geometry, 10.0, 3600.0);

  const double f2 = 0.2 / (0.8 * 0.5 * 2.65 + 0.2);
  EXPECT_NEAR(c.soil_fraction_dissolved[1].at(1, 1), 0.24439919, 1e-8);
  EXPECT_NEAR(c.soil_fraction_dissolved[1].at(1, 2), f2, 1e-12);
  const double loss = 0.24439919 * 100.0 * 0.036 + f2 * 50.0 * 0.036;
  EXPECT_NEAR(c.soil_decay_dmt[1], loss, 1e-6);
  EXPECT_NEAR(c.soil_mass[1].at(1, 1) + c.soil_mass[1].at(1, 2), 150.0 - loss, 1e-6);
  EXPECT_NEAR(c.soil_conc[1].at(1, 1),
              soil_layer_concentration(c.soil_mass[1].at(1, 1), 0.4, 0.1, 10.0), 1e-12);

  EXPECT_EQ(c.soil_fraction_dissolved[2].at(1, 1), 1.0);
  EXPECT_EQ(c.soil_mass[2].at(1, 1), 100.0);
  EXPECT_EQ(c.soil_decay_dmt[2], 0.0);
}

}  // namespace
