// The sediment kernels against numbers worked out by hand: the water's
// viscosity and the classes' settling, the six transport-capacity formulas,
// the median diameter of a mix, and detachment by splash and by flow.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "quality/sediment_kernels.h"

namespace {

using namespace sed_element;

// One cell (and cell 0 beyond the outlet) of classes with the given
// diameters (mm), specific gravity 2.65 and parent-soil fractions, with the
// default erosion parameters and sed_K 1.
sediment_state one_cell(const std::vector<double>& diam, const std::vector<double>& soil) {
  sediment_state sed;
  const int n = int(diam.size());
  sed.classes = n;
  sed.spec_grav.assign(n + 1, 2.65);
  sed.part_diam.assign(n + 1, 0.0);
  for (int i = 1; i <= n; ++i) sed.part_diam[i] = diam[i - 1];
  sed.sand_size = 0.0625;
  sed.water_temp = 20.0;
  for (auto* v : {&sed.splash_K, &sed.detach_coef, &sed.detach_exp, &sed.detach_crit, &sed.sed_K})
    v->assign(2, 0.0);
  sed.splash_K[1] = 60.0;
  sed.detach_coef[1] = 2e-5;
  sed.detach_exp[1] = 1.0;
  sed.sed_K[1] = 1.0;
  sed.channel_cells.assign(2, 0);
  sed.vol_sed.assign(2 * (n + 1), sed_volume{});
  sed.sed_fract.assign(2 * (n + 1), sed_fraction{});
  sed.step_eroded.assign(2 * (n + 1), 0.0);
  for (int i = 1; i <= n; ++i) sed.fract(1, i)[parent] = soil[i - 1];
  setup_sediment_classes(sed);
  return sed;
}

double store_total(const sediment_state& sed, int element) {
  double t = 0.0;
  for (int i = 1; i <= sed.classes; ++i) t += sed.vol(1, i)[element];
  return t;
}

void expect_relative(double actual, double expected, double tolerance, const char* label) {
  EXPECT_NEAR(actual, expected, std::fabs(expected) * tolerance) << label;
}

}  // namespace

TEST(sediment_classes, viscosity_settling_sand_flags_and_density_of_the_three_classes) {
  expect_relative(water_viscosity(20.0), 9.98821e-7, 5e-6, "20 C");
  expect_relative(water_viscosity(0.0), 1.78470e-6, 5e-6, "0 C");
  expect_relative(water_viscosity(-5.0), 1.78470e-6, 5e-6, "-5 C reads as 0 C");

  // 0.0625 mm is exactly SAND_SIZE: sand, and listed after the fine classes.
  sediment_state sed = one_cell({0.002, 0.03, 0.5, 0.0625}, {0.25, 0.25, 0.25, 0.25});
  expect_relative(sed.viscosity, 9.98821e-7, 5e-6, "viscosity");
  const double w[] = {3.60125e-6, 8.10280e-4, 7.03620e-2};
  for (int i = 1; i <= 3; ++i) {
    expect_relative(sed.fall_velocity[i], w[i - 1], 5e-6, "fall velocity");
    EXPECT_DOUBLE_EQ(sed.density[i], 2645230.0);
  }
  EXPECT_EQ(sed.sand, (std::vector<int>{0, 0, 0, 1, 1}));
  EXPECT_EQ(sed.sed_class, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(sed.fine_count, 2);
  EXPECT_EQ(sed.sand_count, 2);

  sediment_state mixed = one_cell({0.5, 0.002, 0.1}, {0.3, 0.3, 0.4});
  EXPECT_EQ(mixed.sed_class, (std::vector<int>{0, 2, 1, 3}));
  // Just below 0.1 mm Stokes' law holds; the two laws meet closely there.
  const double stokes = fall_velocity(0.1, 2.65, mixed.viscosity);
  expect_relative(stokes, 1.65 * 9.81 * 1e-8 / (18.0 * mixed.viscosity), 1e-12, "Stokes");
}

TEST(sediment_transport_capacity, the_six_formulas_against_hand_worked_volumes) {
  // h 0.01 m, S 0.01, q 0.002 m2/s (V 0.2 m/s), dt 10 s, dx 30 m, sed_K 1.
  struct capacity_case {
    int formula;
    double d50;  // um: the cell's one class
    double expected;
  };
  const capacity_case cases[] = {
      {1, 500, 1.40727e-4},  {2, 500, 2.87941e-2},
      {3, 20, 3.46602e-5},   {4, 20, 3.64501e-4},  {5, 20, 2.99082e-4},  {6, 20, 1.93112e-3},
      {3, 100, 8.95825e-5},  {4, 100, 7.86694e-4}, {5, 100, 6.50881e-3}, {6, 100, 2.30003e-3},
      {3, 122, 8.52403e-6},  {4, 122, 3.67566e-4}, {5, 122, 6.03814e-4}, {6, 122, 1.81840e-3},
      {3, 300, 6.00134e-6},  {4, 300, 2.22080e-4}, {5, 300, 5.99585e-3}, {6, 300, 4.45234e-4},
  };
  for (const capacity_case& c : cases) {
    sediment_state sed = one_cell({c.d50 / 1000.0}, {1.0});
    const double k = sediment_transport_capacity(c.formula, 1, 0.01, 0.01, 0.002, 10, 30, sed);
    EXPECT_NEAR(k, c.expected, c.expected * 1e-5) << "formula " << c.formula << " D50 " << c.d50;
  }
  // Deep fast flow, formula 6 in three bands.
  const double deep[][2] = {{20, 0.836817}, {100, 6.72683}, {300, 62.4943}};
  for (const auto& d : deep) {
    sediment_state sed = one_cell({d[0] / 1000.0}, {1.0});
    EXPECT_NEAR(sediment_transport_capacity(6, 1, 0.05, 0.05, 0.002, 10, 30, sed), d[1],
                d[1] * 1e-5)
        << d[0];
  }
}

TEST(sediment_transport_capacity, thresholds_dry_faces_and_formulas_without_a_law) {
  sediment_state sed = one_cell({0.02}, {1.0});
  // Shear velocity sqrt(9792.342 h S / 998.2) x 100 cm/s exactly at the
  // band's threshold 1.4 cm/s, and a hair below it.
  const double hs = 1.4 * 1.4 / 1e4 * 998.2 / 9792.342;
  EXPECT_EQ(sediment_transport_capacity(6, 1, hs / 0.01 * (1 - 1e-12), 0.01, 0.002, 10, 30, sed),
            0.0);
  EXPECT_GT(sediment_transport_capacity(6, 1, hs / 0.01 * (1 + 1e-9), 0.01, 0.002, 10, 30, sed),
            0.0);
  for (int formula = 1; formula <= 6; ++formula) {
    EXPECT_EQ(sediment_transport_capacity(formula, 1, 0.01, 0.0, 0.002, 10, 30, sed), 0.0);
    EXPECT_EQ(sediment_transport_capacity(formula, 1, 0.01, 0.01, 5e-17, 10, 30, sed), 0.0);
  }
  for (int formula : {0, 7, 8, 9})
    EXPECT_EQ(sediment_transport_capacity(formula, 1, 0.01, 0.01, 0.002, 10, 30, sed), 0.002);

  // Formula 1 on a mix of half 0.5 mm and half 0.02 mm, first from the
  // parent soil (fraction records untouched), then from the suspended load.
  sediment_state mix = one_cell({0.5, 0.02}, {0.5, 0.5});
  mix.fract(1, 1)[suspended] = mix.fract(1, 1)[deposited] = -1.0;
  EXPECT_NEAR(sediment_transport_capacity(1, 1, 0.01, 0.01, 0.002, 10, 30, mix), 1.82946e-3,
              1.82946e-8);
  EXPECT_EQ(mix.fract(1, 1)[suspended], -1.0);
  EXPECT_EQ(mix.fract(1, 1)[deposited], -1.0);
  mix.vol(1, 1)[suspended] = 3.0;  // all of the load 0.5 mm
  mix.vol(1, 2)[deposited] = 9.0;  // ignored while something is suspended
  EXPECT_NEAR(sediment_transport_capacity(1, 1, 0.01, 0.01, 0.002, 10, 30, mix), 1.40727e-4,
              1.40727e-9);
  EXPECT_EQ(mix.fract(1, 1)[suspended], 1.0);
  EXPECT_EQ(mix.vol(1, 0)[suspended], 3.0);
}

TEST(sediment_d50, median_of_the_mix_from_its_current_source) {
  struct d50_case {
    double f1, f2, f3;
    double expected;  // um
  };
  const d50_case cases[] = {
      {0.3, 0.3, 0.4, 195.743}, {0.4, 0.3, 0.3, 76.631}, {0.6, 0.2, 0.2, 10.866},
      // The coarsest class holds half the mix or more: it is the median.
      {0.2, 0.2, 0.6, 500.0},   {0.0, 0.0, 1.0, 500.0},
  };
  for (const d50_case& c : cases) {
    sediment_state sed = one_cell({0.002, 0.03, 0.5}, {c.f1, c.f2, c.f3});
    EXPECT_NEAR(sediment_d50(1, sed), c.expected, 5e-4) << c.f1 << "/" << c.f2 << "/" << c.f3;
  }
  // A suspended load outranks the deposit, which outranks the parent soil.
  sediment_state sed = one_cell({0.002, 0.03, 0.5}, {0.0, 0.0, 1.0});
  sed.vol(1, 1)[deposited] = 6.0;
  sed.vol(1, 2)[deposited] = 2.0;
  sed.vol(1, 3)[deposited] = 2.0;
  EXPECT_NEAR(sediment_d50(1, sed), 10.866, 5e-4);
  EXPECT_DOUBLE_EQ(sed.fract(1, 1)[deposited], 0.6);
  sed.vol(1, 3)[suspended] = 1e-3;
  EXPECT_DOUBLE_EQ(sediment_d50(1, sed), 500.0);
  EXPECT_DOUBLE_EQ(sed.fract(1, 3)[suspended], 1.0);
  // One class: its own diameter.
  sediment_state single = one_cell({0.03}, {1.0});
  EXPECT_DOUBLE_EQ(sediment_d50(1, single), 30.0);
}

TEST(splash_detachment, rain_lifts_parent_soil_damped_by_ponded_water) {
  struct splash_case {
    double rain;   // mm/h
    double depth;  // m
    double expected;
  };
  const splash_case cases[] = {
      {50, 0.0, 3.28363e-3},
      {50, 0.01, 1.70666e-4},
      {25, 0.001, 1.14041e-3},
      {120, 0.0, 1.11093e-2},
  };
  for (const splash_case& c : cases) {
    sediment_state sed = one_cell({0.002, 0.03, 0.5}, {0.3, 0.4, 0.3});
    splash_detachment(1, rain_splash(c.rain), c.depth, 10, 30, sed);
    const double lifted = store_total(sed, suspended);
    EXPECT_NEAR(lifted, c.expected, c.expected * 1e-5) << c.rain << " " << c.depth;
    // Parent soil lost = load gained, class by class in the soil's mix.
    EXPECT_NEAR(store_total(sed, eroded), -lifted, lifted * 1e-14);
    EXPECT_NEAR(sed.vol(1, 2)[suspended], 0.4 * lifted, lifted * 1e-14);
    EXPECT_NEAR(sed.step_eroded[sed.at(1, 0)], lifted, lifted * 1e-14);
  }
  // No rain, no splash.
  sediment_state dry = one_cell({0.03}, {1.0});
  splash_detachment(1, rain_splash(0.0), 0.0, 10, 30, dry);
  EXPECT_EQ(dry.vol(1, 1)[suspended], 0.0);
}

TEST(splash_detachment, loose_deposit_goes_first_and_a_channel_keeps_its_parent_soil) {
  const splash_rain rain = rain_splash(50);
  // What 50 mm/h lifts from bare soil in 10 s on a 30 m cell (3.28363e-3).
  sediment_state bare = one_cell({0.002, 0.5}, {0.5, 0.5});
  splash_detachment(1, rain, 0.0, 10, 30, bare);
  const double lifted = store_total(bare, suspended);
  // More deposit than the rain can lift: only deposit moves, by its own mix.
  sediment_state sed = one_cell({0.002, 0.5}, {0.5, 0.5});
  sed.vol(1, 1)[deposited] = 0.03;
  sed.vol(1, 2)[deposited] = 0.01;
  splash_detachment(1, rain, 0.0, 10, 30, sed);
  EXPECT_NEAR(sed.vol(1, 1)[suspended], 0.75 * lifted, 1e-16);
  EXPECT_NEAR(sed.vol(1, 2)[suspended], 0.25 * lifted, 1e-16);
  EXPECT_EQ(store_total(sed, eroded), 0.0);
  EXPECT_NEAR(store_total(sed, deposited), 0.04 - lifted, 1e-15);

  // Less deposit than that: all of it, and the rest from the parent soil.
  for (int channel : {0, 1}) {
    sediment_state s = one_cell({0.002, 0.5}, {0.5, 0.5});
    s.channel_cells[1] = channel;
    s.vol(1, 1)[deposited] = 1e-3;
    splash_detachment(1, rain, 0.0, 10, 30, s);
    if (channel) {
      // A channel bed gives up nothing once its loose deposit is short.
      EXPECT_EQ(store_total(s, suspended), 0.0);
      EXPECT_EQ(s.vol(1, 1)[deposited], 1e-3);
      continue;
    }
    EXPECT_NEAR(store_total(s, suspended), lifted, lifted * 1e-12);
    EXPECT_NEAR(store_total(s, eroded), -(lifted - 1e-3), 1e-16);
    EXPECT_EQ(store_total(s, deposited), 0.0);
  }
}

TEST(flow_detachment, shear_lifts_soil_as_far_as_the_load_falls_short_of_capacity) {
  // h = S = 0.01: tau 0.979234 N/m2; an empty store, capacity 1 m3.
  sediment_state sed = one_cell({0.002, 0.03, 0.5}, {0.3, 0.4, 0.3});
  flow_detachment(1, 0.01, 0.01, 10, 30, 1.0, sed);
  EXPECT_NEAR(store_total(sed, suspended), 6.66340e-5, 6.66340e-10);
  EXPECT_NEAR(store_total(sed, eroded), -6.66340e-5, 6.66340e-10);
  EXPECT_NEAR(6.66340e-5 / (2e-5 * 10 * 900 / 2645.23), 0.979234, 1e-6);

  // Critical shear 0.5, a store half the capacity: half of the excess.
  sediment_state crit = one_cell({0.002, 0.03, 0.5}, {0.3, 0.4, 0.3});
  crit.detach_crit[1] = 0.5;
  crit.vol(1, 2)[suspended] = 0.5;
  flow_detachment(1, 0.01, 0.01, 10, 30, 1.0, crit);
  EXPECT_NEAR(-store_total(crit, eroded), 1.63052e-5, 1.63052e-10);
  EXPECT_NEAR(store_total(crit, suspended), 0.5 + 1.63052e-5, 1e-9);

  // A load already at capacity, a still or dry cell: nothing.
  sediment_state full = one_cell({0.03}, {1.0});
  full.vol(1, 1)[suspended] = 1.0;
  flow_detachment(1, 0.01, 0.01, 10, 30, 1.0, full);
  EXPECT_EQ(full.vol(1, 1)[suspended], 1.0);
  sediment_state still = one_cell({0.03}, {1.0});
  flow_detachment(1, 0.0, 0.01, 10, 30, 1.0, still);
  flow_detachment(1, 0.01, 0.0, 10, 30, 1.0, still);
  EXPECT_EQ(still.vol(1, 1)[suspended], 0.0);

  // A soil that gives nothing to the shear, with nothing loose on it: no
  // 0 / 0 share reaches the stores.
  sediment_state firm = one_cell({0.03}, {1.0});
  firm.detach_coef[1] = 0.0;
  flow_detachment(1, 0.01, 0.01, 10, 30, 1.0, firm);
  EXPECT_EQ(firm.vol(1, 1)[suspended], 0.0);
  EXPECT_EQ(firm.vol(1, 1)[eroded], 0.0);

  // Loose deposit beyond the full detachment: only deposit moves.
  sediment_state loose = one_cell({0.03}, {1.0});
  loose.vol(1, 1)[deposited] = 1.0;
  flow_detachment(1, 0.01, 0.01, 10, 30, 1.0, loose);
  EXPECT_NEAR(loose.vol(1, 1)[suspended], 6.66340e-5, 6.66340e-10);
  EXPECT_EQ(loose.vol(1, 1)[eroded], 0.0);

  // Some deposit, a channel cell: it keeps its parent soil and its deposit.
  sediment_state channel = one_cell({0.03}, {1.0});
  channel.channel_cells[1] = 1;
  channel.vol(1, 1)[deposited] = 1e-5;
  flow_detachment(1, 0.01, 0.01, 10, 30, 1.0, channel);
  EXPECT_EQ(channel.vol(1, 1)[suspended], 0.0);
  EXPECT_EQ(channel.vol(1, 1)[deposited], 1e-5);
}
