// Evapotranspiration: a flat grass cell worked by hand through the hour's
// sun, energy balance and both rate forms; the albedo, cloud, calm-air,
// seasonal and area-reduction rules; gridded air; the faults it reports; and
// results that do not change with the thread count.

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/error_state.h"
#include "core/parallel_team.h"
#include "soil/evapo_trans.h"
#include "test_support.h"

namespace {

constexpr double nan_value = std::numeric_limits<double>::quiet_NaN();
constexpr double per_hour = 3600.0;  // cm/s to cm/h

// n cells of short grass on flat dry ground: albedo 0.23, 0.12 m high,
// transmission 1, canopy resistance 70 s/m.
struct et_grid {
  int n;
  std::vector<double> albedo, veg_height, trans, canopy, sx, sy, depth, swe, factor;
  std::vector<double> ts, residual, pet, aet;
  std::vector<et_slope> slope;  // empty: the hour works the slope terms out itself
  explicit et_grid(int cells)
      : n(cells), albedo(n + 1, 0.23), veg_height(n + 1, 0.12), trans(n + 1, 1.0),
        canopy(n + 1, 70.0), sx(n + 1, 0.0), sy(n + 1, 0.0), depth(n + 1, 0.0),
        swe(n + 1, 0.0), factor(n + 1, 1.0), ts(n + 1, 0.0), residual(n + 1, 0.0),
        pet(n + 1, -1.0), aet(n + 1, -1.0) {}
  et_cells view() {
    et_cells c;
    c.count = n;
    c.albedo = albedo.data();
    c.veg_height = veg_height.data();
    c.trans_coeff = trans.data();
    c.canopy_resist = canopy.data();
    c.slope_x = sx.data();
    c.slope_y = sy.data();
    c.slope = slope.empty() ? nullptr : slope.data();
    c.depth = depth.data();
    c.snow_we = swe.data();
    c.area_factor = factor.data();
    c.surface_temp = ts.data();
    c.energy_residual = residual.data();
    c.pet = pet.data();
    c.aet = aet.data();
    return c;
  }
  double run(const et_options& o, const et_weather& w, bool first = true) {
    et_cells c = view();
    return evapo_trans(o, w, c, first);
  }
};

// 21 June 1999 at latitude 40: 1013 mb, 25 C, 50 %, clear, 2 m/s.
et_weather june_day(int hour) {
  et_weather w;
  w.year = 1999;
  w.month = 6;
  w.day = 21;
  w.hour = hour;
  w.pressure = 1013.0;
  w.temperature = 25.0;
  w.humidity = 50.0;
  w.cloud = 0.0;
  w.wind = 2.0;
  w.radiation = 0.0;
  return w;
}

et_options penman() {
  et_options o;
  o.latitude = 40.0;
  o.penman = true;
  return o;
}

et_options deardorff() {
  et_options o = penman();
  o.penman = false;
  return o;
}

struct captured {
  double result;
  std::string output;
};

captured run_captured(et_grid& g, const et_options& o, const et_weather& w, bool first = true) {
  test_support::stdout_capture cap;
  const double t = g.run(o, w, first);
  return {t, cap.stop()};
}

int count_of(const std::string& text, const std::string& part) {
  int k = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++k;
  return k;
}

// Worked by hand for noon: declination 23.45 deg on day 172, the sun at
// 73.45 deg, air mass 1.0425, extinction 0.12702, eccentricity 0.96744, a
// beam of 1004.39 W/m2 giving 962.78 on the flat cell and 741.34 absorbed
// under albedo 0.23; air of 1.17711 kg/m3 holding 1.58389 kPa of vapour. The
// balance settles at 310.5656 K in five steps, and the rates follow with
// Delta 0.18868 and gamma 0.065982 kPa/K, ra 106.01 s/m and noon's canopy
// factor 1. At 09:00 the sun stands at 48.83 deg.
TEST(evapo_trans, grass_cell_on_a_june_day_matches_the_hand_calculation) {
  struct hcase {
    const char* name;
    int hour;
    bool penman;
    double pet, aet;  // cm/h
    double ts;        // K, 0: not checked
  };
  const hcase cases[] = {
      {"noon, Penman-Monteith", 12, true, 0.086666, 0.074005, 310.5656},
      {"noon, Deardorff", 12, false, 0.064821, 0.064821, 310.5656},
      {"nine o'clock, Penman-Monteith", 9, true, 0.061557, 0.052601, 0.0},
      {"midnight, Penman-Monteith", 0, true, 0.0, 0.0, 0.0},
  };
  for (const hcase& c : cases) {
    SCOPED_TRACE(c.name);
    et_grid g(1);
    const double t = g.run(c.penman ? penman() : deardorff(), june_day(c.hour));
    EXPECT_EQ(t, 25.0);
    EXPECT_NEAR(g.pet[1] * per_hour, c.pet, 1e-5 * c.pet + 1e-12);
    EXPECT_NEAR(g.aet[1] * per_hour, c.aet, 1e-5 * c.aet + 1e-12);
    if (c.ts > 0.0) {
      EXPECT_NEAR(g.ts[1], c.ts, 1e-5 * c.ts);
    }
  }
  et_grid g(1);
  g.run(penman(), june_day(12));
  EXPECT_NEAR(g.pet[1], 2.40739e-5, 2.40739e-10);
}

// With no sun the surface radiates to a clear sky and cools below the air;
// the Penman-Monteith demand turns to dew, which is floored at 0, and the
// slope of the cell plays no part.
TEST(evapo_trans, night_cools_the_surface_by_longwave_alone) {
  et_grid g(2);
  g.sx[2] = 0.3;
  g.sy[2] = -0.2;
  g.run(penman(), june_day(0));
  EXPECT_NEAR(g.ts[1], 288.6807, 1e-4);
  EXPECT_LT(g.ts[1], 298.15 - 5.0);
  EXPECT_EQ(g.ts[2], g.ts[1]);
  EXPECT_EQ(g.pet[1], 0.0);
  EXPECT_EQ(g.aet[1], 0.0);
  // The bulk form still evaporates: the cold surface is wetter than the air.
  et_grid d(1);
  d.run(deardorff(), june_day(0));
  EXPECT_NEAR(d.pet[1] * per_hour, 0.0023797, 1e-7);
}

// Four slopes of 0.3 facing north, east, south and west (slope x falls to
// the east, slope y to the south) beside a flat cell. At noon the sun stands
// south: the south face, nearly square to it (sin(73.45 + 16.70 deg) ~ 1),
// takes more than the flat cell (0.9586), the north face less (0.8363), and
// east and west alike. Three hours either side of noon the hour angles are
// mirror images, and so are the east and west faces.
TEST(evapo_trans, slopes_facing_the_four_quarters_see_the_sun_from_its_side) {
  enum { flat = 1, north, east, south, west };
  auto hour = [](int h) {
    et_grid g(5);
    g.sy[north] = -0.3;
    g.sx[east] = 0.3;
    g.sy[south] = 0.3;
    g.sx[west] = -0.3;
    g.run(deardorff(), june_day(h));
    return g.pet;
  };
  const std::vector<double> noon = hour(12);
  EXPECT_GT(noon[south], noon[flat]);
  EXPECT_GT(noon[flat], noon[north]);
  EXPECT_NEAR(noon[east], noon[west], 1e-9 * noon[east]);
  const std::vector<double> morning = hour(9), afternoon = hour(15);
  EXPECT_GT(morning[east], morning[west]);
  EXPECT_GT(afternoon[west], afternoon[east]);
  EXPECT_NEAR(morning[east], afternoon[west], 1e-9 * morning[east]);
  EXPECT_NEAR(morning[west], afternoon[east], 1e-9 * morning[west]);
  EXPECT_NEAR(morning[south], afternoon[south], 1e-9 * morning[south]);
}

// What the settled balance leaves over is the heat passed into the ground, a
// third of the sensible heat: (310.5656 - 298.15) K x 1.17711 kg/m3 x 1.013
// kJ/kg/K x 0.0025 x 2 m/s / 3 = 0.02467 kW/m2.
TEST(evapo_trans, energy_residual_is_the_ground_heat_flux) {
  et_grid g(1);
  g.run(penman(), june_day(12));
  EXPECT_NEAR(g.residual[1], 0.02467, 2e-5);
}

// Each rule of the surface as an equivalence with the plain cell: ponding over
// the reference height reflects like water, snow over it like snow (winning
// over water), a transmission of 0 is read as 1, and the bulk form ignores
// vegetation, transmission and canopy.
TEST(evapo_trans, surface_rules_equal_their_plain_equivalents) {
  struct scase {
    const char* name;
    bool pen;
    bool snow;
    void (*rule)(et_grid&);  // the condition
    void (*same)(et_grid&);  // a plain cell that must give the same hour
  };
  const scase cases[] = {
      {"ponded deeper than the grass", true, false, [](et_grid& g) { g.depth[1] = 0.2; },
       [](et_grid& g) { g.albedo[1] = 0.08; }},
      {"ponding shallower than the grass", true, false, [](et_grid& g) { g.depth[1] = 0.1; },
       [](et_grid&) {}},
      {"snow over ponding", true, true,
       [](et_grid& g) {
         g.depth[1] = 0.2;
         g.swe[1] = 0.15;
       },
       [](et_grid& g) { g.albedo[1] = 0.5; }},
      {"snow below the grass", true, true, [](et_grid& g) { g.swe[1] = 0.05; },
       [](et_grid&) {}},
      {"snow off keeps the grass albedo", true, false, [](et_grid& g) { g.swe[1] = 0.15; },
       [](et_grid&) {}},
      {"transmission 0 is read as 1", true, false, [](et_grid& g) { g.trans[1] = 0.0; },
       [](et_grid&) {}},
      {"bulk form: 1 mm of water covers its reference height", false, false,
       [](et_grid& g) { g.depth[1] = 0.001; }, [](et_grid& g) { g.albedo[1] = 0.08; }},
      {"bulk form ignores the canopy", false, false,
       [](et_grid& g) {
         g.veg_height[1] = 3.0;
         g.trans[1] = 0.2;
         g.canopy[1] = 400.0;
       },
       [](et_grid&) {}},
  };
  for (const scase& c : cases) {
    SCOPED_TRACE(c.name);
    et_options o = c.pen ? penman() : deardorff();
    o.snow = c.snow;
    et_grid a(1), b(1);
    c.rule(a);
    c.same(b);
    a.run(o, june_day(12));
    b.run(o, june_day(12));
    EXPECT_EQ(a.ts[1], b.ts[1]);
    EXPECT_EQ(a.pet[1], b.pet[1]);
    EXPECT_EQ(a.aet[1], b.aet[1]);
  }
  // Partial transmission shades the beam: a cooler surface, less demand.
  et_grid shaded(1), open(1);
  shaded.trans[1] = 0.5;
  shaded.run(penman(), june_day(12));
  open.run(penman(), june_day(12));
  EXPECT_LT(shaded.ts[1], open.ts[1]);
  EXPECT_LT(shaded.pet[1], open.pet[1]);
}

// Bare ground under Penman-Monteith is taken at 1 mm of vegetation from the
// first hour on, so it is not mistaken for ponded ground in that hour only.
TEST(evapo_trans, bare_ground_is_raised_to_a_millimetre_before_the_albedo_test) {
  et_grid bare(1), mm(1);
  bare.veg_height[1] = 0.0;
  mm.veg_height[1] = 0.001;
  bare.run(penman(), june_day(12));
  mm.run(penman(), june_day(12));
  EXPECT_EQ(bare.veg_height[1], 0.001);
  EXPECT_EQ(bare.pet[1], mm.pet[1]);
  EXPECT_EQ(bare.aet[1], mm.aet[1]);
  // The grass albedo, not the water albedo: the ground heats as the grass does.
  et_grid water(1);
  water.veg_height[1] = 0.001;
  water.albedo[1] = 0.08;
  water.run(penman(), june_day(12));
  EXPECT_LT(mm.ts[1], water.ts[1]);
}

TEST(evapo_trans, cloud_over_ten_tenths_is_clipped_with_one_warning) {
  et_grid over(1), full(1);
  et_weather w = june_day(12);
  w.cloud = 12.0;
  const captured c = run_captured(over, penman(), w);
  w.cloud = 10.0;
  const captured f = run_captured(full, penman(), w);
  EXPECT_EQ(count_of(c.output, "WARNING: Cloud cover > 1.0 in evapo_trans.c"), 1);
  EXPECT_EQ(f.output.find("WARNING"), std::string::npos);
  EXPECT_EQ(over.pet[1], full.pet[1]);
  EXPECT_EQ(over.ts[1], full.ts[1]);
  // Full cloud takes most of the beam and warms the sky: less demand than clear.
  et_grid clear(1);
  clear.run(penman(), june_day(12));
  EXPECT_LT(full.pet[1], clear.pet[1]);
}

// In calm air the rates are the radiation term alone and the canopy plays no
// part, so AET equals PET.
TEST(evapo_trans, calm_air_uses_the_radiation_term_alone) {
  for (double wind : {0.0, -1.0, 1e-4}) {
    SCOPED_TRACE(wind);
    et_grid g(1);
    et_weather w = june_day(12);
    w.wind = wind;
    g.run(penman(), w);
    EXPECT_GT(g.pet[1], 0.0);
    EXPECT_EQ(g.aet[1], g.pet[1]);
  }
}

// The seasonal multiplier scales the canopy resistance, so a run with it
// equals a run without it on a canopy resistance scaled by hand.
TEST(evapo_trans, seasonal_resistance_follows_month_and_latitude) {
  struct mcase {
    int month;
    double latitude;
    double multiplier;
  };
  const mcase cases[] = {{1, 40.0, 4.0},  {4, 40.0, 4.0},  {4, 30.0, 2.5}, {5, 37.0, 3.0},
                         {5, 36.9, 1.0},  {6, 40.0, 2.0},  {6, 30.0, 1.0}, {8, 45.0, 1.0},
                         {10, 30.0, 2.5}, {11, 30.0, 4.0}, {12, 50.0, 4.0}};
  for (const mcase& c : cases) {
    SCOPED_TRACE(testing::Message() << "month " << c.month << " latitude " << c.latitude);
    et_weather w = june_day(12);
    w.month = c.month;
    et_options seasonal = penman();
    seasonal.latitude = c.latitude;
    seasonal.seasonal = true;
    et_options plain = seasonal;
    plain.seasonal = false;
    et_grid a(1), b(1);
    b.canopy[1] = 70.0 * c.multiplier;
    a.run(seasonal, w);
    b.run(plain, w);
    EXPECT_DOUBLE_EQ(a.aet[1], b.aet[1]);
    EXPECT_EQ(a.pet[1], b.pet[1]);
  }
}

// The day of the year counts 29 February in years divisible by four: 20 June
// 2000 is the 172nd day, as 21 June 1999 is, and February is unaffected.
TEST(evapo_trans, leap_years_shift_the_days_from_march_on) {
  struct dcase {
    int y1, m1, d1, y2, m2, d2;
    bool same;
  };
  const dcase cases[] = {{2000, 6, 20, 1999, 6, 21, true},
                         {2000, 6, 21, 1999, 6, 21, false},
                         {2000, 2, 10, 1999, 2, 10, true}};
  for (const dcase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.y1 << "-" << c.m1 << "-" << c.d1);
    et_weather a = june_day(12), b = june_day(12);
    a.year = c.y1, a.month = c.m1, a.day = c.d1;
    b.year = c.y2, b.month = c.m2, b.day = c.d2;
    et_grid ga(1), gb(1);
    ga.run(penman(), a);
    gb.run(penman(), b);
    EXPECT_EQ(ga.pet[1] == gb.pet[1], c.same);
  }
}

TEST(evapo_trans, area_reduction_scales_the_actual_rate_only) {
  et_options o = penman();
  o.area_reduction = true;
  et_grid g(3);
  g.factor = {0.0, 1.0, 0.4, 0.0};
  g.run(o, june_day(12));
  EXPECT_EQ(g.pet[2], g.pet[1]);
  EXPECT_EQ(g.pet[3], g.pet[1]);
  EXPECT_DOUBLE_EQ(g.aet[2], 0.4 * g.aet[1]);
  EXPECT_EQ(g.aet[3], 0.0);
  EXPECT_LE(g.aet[2], 0.4 * g.pet[2]);
}

// The stored temperature carries the surface from hour to hour: a later call
// starts from it, not from the air, and still settles to the same balance.
TEST(evapo_trans, surface_temperature_is_kept_between_hours) {
  et_grid g(1);
  g.run(penman(), june_day(12));
  const double noon = g.ts[1];
  const double pet = g.pet[1];
  g.ts[1] = 260.0;
  g.run(penman(), june_day(12), false);
  EXPECT_NEAR(g.ts[1], noon, 1e-3);
  EXPECT_NEAR(g.pet[1], pet, 1e-4 * pet);
  // A first call resets it from the air whatever it held.
  g.ts[1] = 500.0;
  g.run(penman(), june_day(12), true);
  EXPECT_EQ(g.ts[1], noon);
}

// Gridded hours: every cell its own air and net radiation. Under saturated
// air with no radiation a cell's balance holds only at its own air
// temperature, with nothing to evaporate; radiation into the surface warms
// it and drives evaporation. The hour's temperature is the mean of the cells
// the grid holds values for.
struct gridded_air {
  std::vector<double> p, t, u, h, cloud, rad;
  explicit gridded_air(int n)
      : p(n + 1, 1013.0), t(n + 1, 20.0), u(n + 1, 2.0), h(n + 1, 100.0), cloud(n + 1, 0.0),
        rad(n + 1, 0.0) {}
  et_weather hour(int clock) {
    et_weather w = june_day(clock);
    w.temperature = 99.0;
    w.gridded = true;
    w.grid_pressure = p.data();
    w.grid_temperature = t.data();
    w.grid_wind = u.data();
    w.grid_humidity = h.data();
    w.grid_cloud = cloud.data();
    w.grid_radiation = rad.data();
    return w;
  }
};

TEST(evapo_trans, gridded_cells_take_their_own_air) {
  et_grid g(3);
  gridded_air air(3);
  air.t = {0.0, 10.0, 20.0, 30.0};
  air.rad[3] = 500.0;
  g.ts.assign(4, 300.0);
  const double mean = g.run(deardorff(), air.hour(12), false);
  EXPECT_NEAR(g.ts[1], 283.15, 1e-3);
  EXPECT_NEAR(g.ts[2], 293.15, 1e-3);
  EXPECT_LT(g.pet[1] * per_hour, 1e-6);
  EXPECT_GT(g.ts[3], 303.15 + 1.0);
  EXPECT_GT(g.pet[3] * per_hour, 0.05);
  EXPECT_DOUBLE_EQ(mean, 20.0);
  // Under Penman-Monteith the same radiation gives the same kind of demand.
  et_grid pm(3);
  pm.run(penman(), air.hour(12), true);
  EXPECT_GT(pm.pet[3], pm.pet[2]);
}

// A cell whose grids hold the missing value does not evaporate and keeps its
// surface temperature; it takes the air again from the first hour that has
// it. Its temperature is left out of the hour's mean, and clipped cloud is
// warned of once for the hour.
TEST(evapo_trans, gridded_cells_without_air_rest) {
  et_grid g(4);
  gridded_air air(4);
  air.t = {0.0, 10.0, -9999.0, 30.0, 5.0};
  air.h[4] = -9999.0;
  air.cloud[1] = 15.0;
  air.cloud[4] = 11.0;
  air.rad[2] = air.rad[3] = 400.0;
  const captured c = run_captured(g, penman(), air.hour(12));
  EXPECT_DOUBLE_EQ(c.result, 15.0);
  EXPECT_EQ(count_of(c.output, "WARNING: Cloud cover > 1.0 in evapo_trans.c"), 1);
  EXPECT_EQ(g.ts[2], 0.0);
  EXPECT_EQ(g.ts[4], 278.15);
  for (int i : {2, 4}) {
    EXPECT_EQ(g.pet[i], 0.0);
    EXPECT_EQ(g.aet[i], 0.0);
    EXPECT_EQ(g.residual[i], 0.0);
  }
  EXPECT_GT(g.pet[3], 0.0);
  // The next hour has the air of cell 2 again.
  air.t[2] = 20.0;
  air.h[4] = 100.0;
  air.cloud[1] = air.cloud[4] = 10.0;
  g.run(penman(), air.hour(13), false);
  EXPECT_GT(g.ts[2], 273.15);
  EXPECT_GT(g.pet[2], 0.0);
  air.t = {0.0, 10.0, -9999.0, -9999.5, -9990.0};
  EXPECT_DOUBLE_EQ(g.run(penman(), air.hour(14), false), 10.0);
  // An hour without any cell's temperature keeps the record's, not 0 / 0.
  air.t[1] = -9999.0;
  EXPECT_EQ(g.run(penman(), air.hour(15), false), 99.0);
  EXPECT_EQ(error_state.stop_flag, 0);
}

// A temperature that does not settle stops the run naming the first such cell
// and the loop's last two values; the other cells keep their hour.
TEST(evapo_trans, unsettled_surface_temperature_stops_the_run) {
  struct ucase {
    const char* name;
    double temperature, humidity, wind;  // deg C, percent, m/s
    double albedo;                       // of cells 2 and 3
    const char* message;
  };
  const ucase cases[] = {
      // Frozen, dry, calm air under the noon sun: the surface climbs towards
      // boiling, where the balance has no root, a few hundredths of a degree
      // a step.
      {"calm frozen air", -20.0, 30.0, 0.1, 0.23,
       "Error: the surface temperature of grid cell 2 did not converge after 100 iterations; "
       "its last two values were 402.58"},
      {"albedo not a number", 25.0, 50.0, 2.0, nan_value,
       "Error: the surface temperature of grid cell 2 did not converge after 1 iterations; "
       "its last two values were 298.150000 K and "},
  };
  for (const ucase& c : cases) {
    SCOPED_TRACE(c.name);
    et_grid g(3);
    g.albedo = {0.0, 0.5, c.albedo, c.albedo};
    et_weather w = june_day(12);
    w.temperature = c.temperature;
    w.humidity = c.humidity;
    w.wind = c.wind;
    error_state = error_record{};
    const captured out = run_captured(g, penman(), w);
    EXPECT_EQ(error_state.stop_flag, 1);  // code 4000, reported at once
    EXPECT_NE(out.output.find(c.message), std::string::npos) << out.output;
    EXPECT_EQ(out.output.find("grid cell 3"), std::string::npos);
    EXPECT_EQ(g.ts[2], c.temperature + 273.15);
    EXPECT_EQ(g.pet[2], 0.0);
    EXPECT_EQ(g.aet[2], 0.0);
    EXPECT_GT(g.pet[1], 0.0);
    EXPECT_NE(g.ts[1], c.temperature + 273.15);
    error_state = error_record{};
  }
}

TEST(evapo_trans, rates_that_are_not_numbers_are_reported_and_zeroed) {
  et_grid g(4);
  g.canopy[2] = nan_value;      // AET only
  g.veg_height[3] = nan_value;  // both, through the aerodynamic resistance
  error_state = error_record{};
  const captured c = run_captured(g, penman(), june_day(12));
  EXPECT_EQ(error_state.stop_flag, 0);
  EXPECT_NE(c.output.find("Warning: the evapotranspiration of grid cell 2 is not a number and "
                          "is set to 0 (2 cells this hour)."),
            std::string::npos)
      << c.output;
  EXPECT_EQ(count_of(c.output, "Ra is not a number in evapo-trans.c"), 1);
  EXPECT_EQ(g.pet[2], g.pet[1]);
  EXPECT_EQ(g.aet[2], 0.0);
  EXPECT_EQ(g.pet[3], 0.0);
  EXPECT_EQ(g.aet[3], 0.0);
  EXPECT_EQ(g.aet[4], g.aet[1]);
}

// Enough cells of every kind for the loop to run on threads: slopes,
// ponding, snow, canopies, area factors, and gridded air; one thread and
// eight give the same bits.
struct varied_run {
  std::vector<double> ts, residual, pet, aet, veg;
  double mean;
};

varied_run run_varied(int threads, bool pen, bool gridded, int hour, bool slope_terms = false) {
  const int n = 2 * cells_per_thread + 200;  // enough for a second thread
  et_grid g(n);
  gridded_air air(n);
  for (int i = 1; i <= n; ++i) {
    g.albedo[i] = 0.1 + 0.001 * (i % 97);
    g.veg_height[i] = 0.0005 * (i % 41) * (i % 7);
    g.trans[i] = 0.1 * (i % 11);
    g.canopy[i] = 30.0 + i % 150;
    g.sx[i] = 0.01 * ((i % 13) - 6);
    g.sy[i] = 0.015 * ((i % 9) - 4);
    g.depth[i] = i % 5 == 0 ? 0.002 * (i % 17) : 0.0;
    g.swe[i] = i % 23 == 0 ? 0.3 : 0.0;
    g.factor[i] = 0.5 + 0.005 * (i % 100);
    air.p[i] = 950.0 + i % 80;
    air.t[i] = i % 61 == 0 ? -9999.0 : 5.0 + 0.05 * (i % 500);
    air.u[i] = 0.5 + 0.5 * (i % 9);  // calm air has no balance under gridded radiation
    air.h[i] = 20.0 + i % 75;
    air.cloud[i] = i % 12;
    air.rad[i] = 3.0 * (i % 200);
  }
  if (slope_terms) {
    g.slope.resize(n + 1);
    find_et_slopes(n, g.sx.data(), g.sy.data(), g.slope.data());
  }
  et_options o;
  o.latitude = 33.0;
  o.penman = pen;
  o.seasonal = true;
  o.snow = true;
  o.area_reduction = true;
  et_weather w = gridded ? air.hour(hour) : june_day(hour);
  w.month = 5;
  const int saved = omp_get_max_threads();
  omp_set_num_threads(threads);
  test_support::stdout_capture cap;
  double mean = g.run(o, w, true);
  // A second hour from the kept temperatures.
  w.hour = (hour + 1) % 24;
  mean += g.run(o, w, false);
  cap.stop();
  omp_set_num_threads(saved);
  return {g.ts, g.residual, g.pet, g.aet, g.veg_height, mean};
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

void expect_same_hours(const varied_run& a, const varied_run& b) {
  EXPECT_TRUE(same_bits(a.ts, b.ts));
  EXPECT_TRUE(same_bits(a.residual, b.residual));
  EXPECT_TRUE(same_bits(a.pet, b.pet));
  EXPECT_TRUE(same_bits(a.aet, b.aet));
  EXPECT_TRUE(same_bits(a.veg, b.veg));
  EXPECT_EQ(std::memcmp(&a.mean, &b.mean, sizeof(double)), 0);
}

// A run finds its slope terms once, at its first hour; its hours must be
// those that work the terms out from the slopes every hour, to the bit.
TEST(evapo_trans, hours_are_identical_at_any_thread_count_and_with_slope_terms_found_once) {
  struct vcase {
    bool pen, gridded;
    int hour;
  };
  for (const vcase& c : {vcase{true, false, 11}, vcase{false, false, 15},
                         vcase{true, true, 10}, vcase{true, false, 2}}) {
    SCOPED_TRACE(testing::Message() << "penman " << c.pen << " gridded " << c.gridded
                                    << " hour " << c.hour);
    error_state = error_record{};
    const varied_run one = run_varied(1, c.pen, c.gridded, c.hour);
    const varied_run eight = run_varied(8, c.pen, c.gridded, c.hour);
    const varied_run once = run_varied(8, c.pen, c.gridded, c.hour, true);
    EXPECT_EQ(error_state.stop_flag, 0);
    expect_same_hours(one, eight);
    expect_same_hours(one, once);
    // The cells are not all alike: the test sees varied work.
    int positive = 0;
    for (std::size_t i = 1; i < one.pet.size(); ++i) positive += one.pet[i] > 0.0;
    if (c.hour != 2) {
      EXPECT_GT(positive, 100);
    }
  }
}

}  // namespace
