// Snow melt: the energy melt, the energy-balance hour and the temperature
// index worked by hand; the seasonal day; the hour bookkeeping and the
// rain-on-snow rule; what reaches the surface; the retention; the snow
// correction factor; and a season of hours whose water balance closes and
// whose results do not change with the thread count.

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "core/error_state.h"
#include "soil/snow_melt.h"
#include "test_support.h"

namespace {

constexpr double hour = 3600.0;
constexpr double energy_melt_5c = 0.756046355e-3;  // m: 5 deg C, 80 %, 1000 mb, 2 m/s, an hour
constexpr double index_melt_1_march = 0.305932775e-3;  // m: 4 deg C x 0.0764832 mm/deg C/h

void clear_errors() { error_state = error_record{}; }

// n cells, each under swe0 m of snow, in the air of 1 March at 5 deg C,
// 80 %, 1000 mb and 2 m/s; 10 m cells.
struct snow_cells {
  int n;
  snow_state s;
  std::vector<double> depth, rain, temp;
  std::vector<int> oland, chan;
  snow_options o;
  snow_weather w;
  snow_call c;

  explicit snow_cells(int cells, double swe0 = 0.1)
      : n(cells), depth(n + 1, 0.0), rain(n + 1, 0.0), temp(n + 1, 5.0), oland(n + 1, 0),
        chan(n + 1, 0) {
    EXPECT_TRUE(alloc_snow_cells(s, n));
    for (int i = 1; i <= n; ++i) s.swe[i] = swe0;
    w.month = 3;
    w.day = 1;
    w.air_temp = 5.0;
    w.rel_humidity = 80.0;
    w.pressure = 1000.0;
    w.wind_speed = 2.0;
    c.cells = n;
    c.dx = 10.0;
    c.rain_rate = rain.data();
    c.depth = depth.data();
  }
  // Each cell at its own temperature.
  void own_temperatures() { w.cell_air_temp = temp.data(); }
  int hourly() {
    c.dt_s = hour;
    c.from_hourly = true;
    c.event_on = c.rain_step = false;
    return nwsrfs_snow_melt(o, w, c, s);
  }
  // A rain step of dt_s seconds within an event.
  int rain_step(double dt_s) {
    c.dt_s = dt_s;
    c.from_hourly = false;
    c.event_on = c.rain_step = true;
    return nwsrfs_snow_melt(o, w, c, s);
  }
};

TEST(nwsrfs_snow_melt, energy_melt_of_an_hour_reaches_the_surface_above_freezing_only) {
  // E = 4.956e-9 (278.15)^4 - 27 + (0.8 es - 6.11) f 600 + 1000 x 0.00061 x
  // 600 f 5 with es = 8.71961 mb and f = 0.00144: 6.04837; E / 80 / 100 m.
  snow_cells sc(1);
  EXPECT_EQ(sc.hourly(), 1);
  EXPECT_NEAR(0.1 - sc.s.swe[1], energy_melt_5c, 1e-12);
  EXPECT_EQ(sc.depth[1], sc.s.released[1]);
  EXPECT_NEAR(sc.depth[1], 0.1 - sc.s.swe[1], 1e-17);
  EXPECT_NEAR(sc.s.melt_volume, sc.depth[1] * 100.0, 1e-15);

  // At 0 deg C the melt formula still gives energy (27.59 - 27 > 0): it
  // leaves no pack, so none of it may reach the surface.
  struct ccase {
    double temp;
    bool index, balance;
  } cold[] = {{0.0, false, false}, {-3.0, false, false}, {0.0, true, false}, {0.0, false, true},
              {-3.0, false, true}};
  for (const auto& k : cold) {
    snow_cells c(1);
    c.w.air_temp = k.temp;
    c.w.rel_humidity = 100.0;
    c.o.temperature_index = k.index;
    c.o.energy_balance = k.balance;
    c.o.retention = true;
    for (int h = 0; h < 3; ++h) c.hourly();
    EXPECT_EQ(c.s.swe[1], 0.1) << k.temp;
    EXPECT_EQ(c.depth[1], 0.0) << k.temp;
    EXPECT_EQ(c.s.melt_volume, 0.0) << k.temp;
  }
}

TEST(nwsrfs_snow_melt, energy_balance_hour_pays_the_heat_deficit_first) {
  struct dcase {
    double deficit, out, left;  // mm
  } cases[] = {{0.0, 0.756046355, 0.0}, {0.5, 0.256046355, 0.0}, {1.0, 0.0, 0.243953645}};
  for (const auto& k : cases) {
    snow_cells sc(1);
    sc.o.energy_balance = true;
    sc.s.heat_deficit[1] = k.deficit;
    sc.hourly();
    EXPECT_NEAR(sc.depth[1] * 1000.0, k.out, 1e-8) << k.deficit;
    EXPECT_NEAR(sc.s.heat_deficit[1], k.left, 1e-8) << k.deficit;
  }
  // Retention of the hour's outflow X = 0.756046 mm on the base 0.8 x 100
  // mm: F = 1 / (5 exp(-500 (X/25.4) / (80/25.4)^1.3) + 1) = 0.850667.
  snow_cells sc(1);
  sc.o.energy_balance = sc.o.retention = true;
  sc.hourly();
  EXPECT_NEAR(sc.depth[1] * 1000.0, 0.643143767, 1e-8);
  EXPECT_NEAR(sc.s.retained[1], 0.756046355 - 0.643143767, 1e-8);
}

TEST(nwsrfs_snow_melt, temperature_index_of_1_march_against_a_ripe_and_an_empty_pack) {
  // Seasonal day 345: MF = (0.8 (0.5 sin(2 pi 345/366) + 0.5) + 0.2) / 6 =
  // 0.0764832 mm/deg C/h, and 4 deg C melt 0.305933 mm. A pack of 0.1 m
  // holds 0.2 x 0.8 x 100 = 16 mm of liquid water.
  snow_cells sc(4);
  sc.o.temperature_index = true;
  for (int i = 1; i <= 4; ++i) {
    sc.s.mf_max[i] = 1.0;
    sc.s.mf_min[i] = 0.2;
  }
  sc.own_temperatures();
  sc.temp = {0.0, 4.0, 4.0, -4.0, 4.0};
  sc.s.liquid[1] = 16.0;
  sc.s.liquid[4] = 16.0;
  sc.s.heat_deficit[4] = 0.1;  // paid before anything leaves: 0.305933 - 1.2 x 0.1
  EXPECT_EQ(sc.hourly(), 1);

  EXPECT_NEAR(sc.s.swe[1], 0.099694067, 1e-9);
  EXPECT_NEAR(sc.depth[1], index_melt_1_march, 1e-12);
  EXPECT_NEAR(sc.s.liquid[1], 16.0, 1e-12);

  EXPECT_EQ(sc.s.swe[2], 0.1);
  EXPECT_EQ(sc.depth[2], 0.0);
  EXPECT_NEAR(sc.s.liquid[2], 0.305932775, 1e-9);

  // A cold hour: the index moves (-4)(1 - 0.8^(1/6)) and the pack stores
  // MF/MF_max x (0.2/6) x 4 mm of cold.
  EXPECT_NEAR(sc.s.ati[3], -0.146030064, 1e-9);
  EXPECT_NEAR(sc.s.heat_deficit[3], 0.010197759, 1e-9);
  EXPECT_EQ(sc.depth[3], 0.0);

  EXPECT_NEAR(sc.depth[4] * 1000.0, 0.305932775 - 1.2 * 0.1, 1e-9);
  EXPECT_EQ(sc.s.heat_deficit[4], 0.0);

  // With retention the ripe pack's 0.305933 mm are let go at F = 0.436800
  // on the base 80 mm.
  snow_cells r(1);
  r.o.temperature_index = r.o.retention = true;
  r.s.mf_max[1] = 1.0;
  r.s.mf_min[1] = 0.2;
  r.w.air_temp = 4.0;
  r.s.liquid[1] = 16.0;
  r.hourly();
  EXPECT_NEAR(r.depth[1] * 1000.0, 0.133631573, 1e-9);
  EXPECT_NEAR(r.s.retained[1], 0.172301202, 1e-9);
}

TEST(nwsrfs_snow_melt, seasonal_day_counts_from_the_equinox) {
  struct dcase {
    int month, day, expected;
  } cases[] = {{3, 1, 345},  {3, 20, 364}, {3, 21, 21},  {3, 31, 31}, {4, 1, 11},
               {1, 1, 286},  {12, 31, 285}, {6, 21, 92}, {0, 5, -1},  {13, 1, -1}};
  for (const auto& k : cases)
    EXPECT_EQ(seasonal_day(k.month, k.day), k.expected) << k.month << "/" << k.day;
}

TEST(nwsrfs_snow_melt, a_record_without_a_month_stops_the_temperature_index) {
  clear_errors();
  snow_cells sc(1);
  sc.o.temperature_index = true;
  sc.w.month = 13;
  test_support::stdout_capture cap;
  EXPECT_EQ(sc.hourly(), -1);
  const std::string out = cap.stop();
  EXPECT_NE(out.find("WE HAVE A PROBLEM WITH THE DATES!!!"), std::string::npos);
  EXPECT_NE(out.find("the record gives 13"), std::string::npos);
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_EQ(sc.s.swe[1], 0.1);
  EXPECT_EQ(sc.s.history[1][0], 0.0);
  clear_errors();
  // The energy balance has no use for the month.
  sc.o.energy_balance = true;
  EXPECT_EQ(sc.hourly(), 1);
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST(nwsrfs_snow_melt, rain_on_snow_at_the_hour_mark_of_rain_steps_only) {
  // Ten-minute rain steps: 2 mm/h for five hours, then 1 mm/h in cell 1 and
  // 0.2 mm/h in cell 2. The event's first step counts twice, so the hours
  // close at steps 5, 11, ..., 35; the sixth closes at its last rate.
  snow_cells sc(2, 0.05);
  sc.w.air_temp = -5.0;
  std::vector<int> flags1, flags2;
  for (int k = 0; k < 35; ++k) {
    sc.rain[1] = k < 30 ? 2.0 : 1.0;
    sc.rain[2] = k < 30 ? 2.0 : 0.2;
    sc.rain_step(600.0);
    flags1.push_back(sc.s.rain_on_snow[1]);
    flags2.push_back(sc.s.rain_on_snow[2]);
  }
  EXPECT_EQ(sc.s.history[1][0], 1.0);
  EXPECT_NEAR(sc.s.history[1][5], 2.0, 1e-12);
  EXPECT_NEAR(sc.s.cum_precip[1], 11.0, 1e-12);
  // Only an hour mark decides; five hours of 2 mm already average 10/6.
  for (int k = 0; k < 35; ++k) {
    const bool mark = k % 6 == 4;
    EXPECT_EQ(flags1[k], mark && k >= 28) << k;
    EXPECT_EQ(flags2[k], mark && k == 28) << k;
  }
  // The sixth mark: mean 11/6 > 1.5 with the last hour 1 > 0.25 sets it;
  // mean 10.2/6 with the last hour 0.2 does not.

  // The same hours from the hourly step never set it.
  snow_cells hs(1, 0.05);
  hs.w.air_temp = -5.0;
  for (int h = 0; h < 6; ++h) {
    hs.rain[1] = h < 5 ? 2.0 : 1.0;
    hs.hourly();
    EXPECT_EQ(hs.s.rain_on_snow[1], 0) << h;
  }
  EXPECT_EQ(hs.s.history[1][0], 1.0);
  EXPECT_EQ(hs.s.history[1][5], 2.0);
}

TEST(nwsrfs_snow_melt, hourly_calls_take_the_hour_at_the_gauge) {
  snow_cells sc(1, 0.0);
  sc.w.air_temp = -5.0;
  sc.s.scf[1] = 1.5;
  sc.rain[1] = 3.0;
  sc.hourly();
  EXPECT_EQ(sc.s.history[1][0], 2.0);  // 3 mm/h x 1 h / 1.5
  EXPECT_EQ(sc.s.cum_precip[1], 2.0);
  // An hourly call into an hour that rain steps have begun closes it empty.
  sc.rain_step(600.0);
  sc.rain_step(600.0);
  sc.hourly();
  EXPECT_EQ(sc.s.history[1][0], 0.0);
  EXPECT_EQ(sc.s.history[1][1], 2.0);
  EXPECT_EQ(sc.s.hour_precip[1], 0.0);
  EXPECT_EQ(sc.s.hour_clock[1], 0.0);
  EXPECT_EQ(sc.s.rain_steps[1], 0);

  clear_snow_history(sc.s, 1);
  EXPECT_EQ(sc.s.history[1][1], 0.0);
}

TEST(nwsrfs_snow_melt, an_event_that_starts_on_snow_books_its_first_step_once) {
  // The rainfall step puts each cold step's precipitation in the pack; the
  // melt routine's first-step bookkeeping must not put it there again.
  snow_cells sc(1, 0.05);
  sc.w.air_temp = -2.0;
  sc.o.temperature_index = true;
  sc.rain[1] = 6.0;  // 1 mm per ten-minute step
  for (int k = 0; k < 13; ++k) {
    add_snowfall(sc.s, 1, sc.rain[1], 600.0, sc.c.dx);
    sc.rain_step(600.0);
    if (k == 0) {
      EXPECT_NEAR(sc.s.swe[1], 0.051, 1e-15);
      EXPECT_NEAR(sc.s.hour_clock[1], 2.0 / 6.0, 1e-15);  // the step before it counted too
    }
  }
  EXPECT_NEAR(sc.s.swe[1], 0.063, 1e-14);
  EXPECT_NEAR(sc.s.snowfall_volume, (sc.s.swe[1] - 0.05) * 100.0 + sc.s.melt_volume, 1e-12);
}

TEST(nwsrfs_snow_melt, snow_correction_factor_adds_water_booked_as_input) {
  snow_state s;
  ASSERT_TRUE(alloc_snow_cells(s, 2));
  s.scf[2] = 1.2;
  add_snowfall(s, 1, 6.0, 600.0, 10.0);  // 1 mm at the gauge
  add_snowfall(s, 2, 6.0, 600.0, 10.0);
  EXPECT_NEAR(s.swe[1], 0.001, 1e-15);
  EXPECT_NEAR(s.swe[2], 0.0012, 1e-15);
  EXPECT_NEAR(s.snowfall_volume, 0.0022 * 100.0, 1e-12);
  EXPECT_NEAR(s.scf_volume, 0.0002 * 100.0, 1e-12);
}

TEST(nwsrfs_snow_melt, melt_beyond_the_pack_empties_it_exactly) {
  snow_cells sc(1, 1e-4);
  sc.w.air_temp = 20.0;
  sc.s.liquid[1] = 16.0;  // more than the pack, as after sub-hourly melt
  sc.s.heat_deficit[1] = 0.3;
  EXPECT_EQ(sc.hourly(), 0);
  EXPECT_EQ(sc.s.swe[1], 0.0);
  EXPECT_EQ(sc.depth[1], 1e-4);
  // Nothing of the old pack is left to melt the next snowfall at once.
  EXPECT_EQ(sc.s.liquid[1], 0.0);
  EXPECT_EQ(sc.s.heat_deficit[1], 0.0);
  EXPECT_NEAR(sc.s.melt_volume, 1e-2, 1e-17);
}

TEST(nwsrfs_snow_melt, lake_cells_and_cells_without_weather_keep_their_packs) {
  snow_cells sc(3);
  sc.w.air_temp = 15.0;
  sc.oland[1] = 2;
  sc.chan[2] = 1;
  sc.c.oland_lake = sc.oland.data();
  sc.c.chan_lake = sc.chan.data();
  sc.own_temperatures();
  sc.temp = {0.0, 15.0, 15.0, 15.0};
  EXPECT_EQ(sc.hourly(), 1);
  EXPECT_EQ(sc.s.swe[1], 0.1);
  EXPECT_EQ(sc.s.swe[2], 0.1);
  EXPECT_LT(sc.s.swe[3], 0.1);
  // Only lake cells holding snow: no snow left that counts.
  sc.s.swe[3] = 0.0;
  EXPECT_EQ(sc.hourly(), 0);

  // A gridded hour without the cell's humidity leaves its pack alone, yet it
  // still holds snow.
  snow_cells g(2);
  std::vector<double> rh = {0.0, 80.0, -9999.0}, pa(3, 1000.0), wind(3, 2.0);
  g.own_temperatures();
  g.w.cell_rel_humidity = rh.data();
  g.w.cell_pressure = pa.data();
  g.w.cell_wind_speed = wind.data();
  EXPECT_EQ(g.hourly(), 1);
  EXPECT_NEAR(0.1 - g.s.swe[1], energy_melt_5c, 1e-12);
  EXPECT_EQ(g.s.swe[2], 0.1);
  EXPECT_EQ(g.depth[2], 0.0);
}

TEST(nwsrfs_snow_melt, a_pack_without_melt_factors_stores_no_cold_and_no_nan) {
  snow_cells sc(1);
  sc.o.temperature_index = true;
  sc.s.mf_max[1] = sc.s.mf_min[1] = 0.0;
  sc.w.air_temp = -6.0;
  sc.hourly();
  EXPECT_EQ(sc.s.heat_deficit[1], 0.0);
  sc.w.air_temp = 6.0;
  sc.hourly();
  EXPECT_EQ(sc.s.swe[1], 0.1);
  EXPECT_TRUE(std::isfinite(sc.s.liquid[1]));
}

TEST(nwsrfs_snow_melt, retention_fraction_hand_worked) {
  struct fcase {
    double x, rb, expected;
  } cases[] = {
      {0.0, 0.0, 1.0},         // no base: nothing is held (not 0 / 0)
      {0.0, -1.0, 1.0},
      {0.0, 80.0, 1.0 / 6.0},  // no outflow: a sixth of the held water an hour
      {0.305932775, 80.0, 0.436800448},
      {1e6, 80.0, 1.0},
  };
  for (const auto& k : cases)
    EXPECT_NEAR(retention_fraction(k.x, k.rb, 1.0), k.expected, 1e-9) << k.x << " " << k.rb;
}

// A month of hours over seven cells of different parameters and
// temperatures: cold and warm days, showers as ten-minute rain steps of an
// event, dry hours from the hourly step.
struct season {
  std::vector<double> swe, depth, liquid, deficit, retained;
  double snowfall = 0.0, scf_added = 0.0, melt = 0.0;
  double stored_change = 0.0;  // m3
};

season run_season(const snow_options& o, int threads) {
  const int saved = omp_get_max_threads();
  omp_set_num_threads(threads);
  snow_cells sc(7, 0.0);
  sc.o = o;
  sc.w.rel_humidity = 70.0;
  sc.w.pressure = 900.0;
  sc.w.wind_speed = 3.0;
  sc.own_temperatures();
  for (int i = 1; i <= 7; ++i) {
    sc.s.swe[i] = 0.01 * (i % 3);
    sc.s.scf[i] = 1.0 + 0.05 * i;
    sc.s.mf_max[i] = 0.8 + 0.1 * i;
    sc.s.mf_min[i] = 0.1;
    sc.s.fr_use[i] = 0.1 * (i % 2);
  }
  double start = 0.0;
  for (int i = 1; i <= 7; ++i) start += sc.s.swe[i];
  for (int h = 0; h < 720; ++h) {
    sc.w.day = 1 + h / 24;
    const double base = 1.0 + 7.0 * std::sin(2.0 * std::numbers::pi * h / 24.0) - h / 120.0;
    for (int i = 1; i <= 7; ++i) sc.temp[i] = base + (i - 4) * 1.5;
    const bool shower = h % 37 < 6;
    for (int i = 1; i <= 7; ++i) sc.rain[i] = shower ? 2.5 + 0.3 * i : 0.0;
    const int steps = shower ? 6 : 1;
    const double dt = hour / steps;
    for (int k = 0; k < steps; ++k) {
      for (int i = 1; i <= 7; ++i)
        if (sc.temp[i] <= 5.0) add_snowfall(sc.s, i, sc.rain[i], dt, sc.c.dx);
      if (shower)
        sc.rain_step(dt);
      else
        sc.hourly();
    }
  }
  omp_set_num_threads(saved);
  season r{sc.s.swe, sc.depth, sc.s.liquid, sc.s.heat_deficit, sc.s.retained};
  r.snowfall = sc.s.snowfall_volume;
  r.scf_added = sc.s.scf_volume;
  r.melt = sc.s.melt_volume;
  double end = 0.0;
  for (int i = 1; i <= 7; ++i) end += sc.s.swe[i];
  r.stored_change = (end - start) * 100.0;
  return r;
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

TEST(nwsrfs_snow_melt, a_month_of_hours_closes_its_balance_on_any_thread_count) {
  struct fcase {
    const char* form;
    bool index, balance, retention;
  } forms[] = {{"energy melt", false, false, false},
               {"temperature index", true, false, false},
               {"temperature index with retention", true, false, true},
               {"energy balance with retention", false, true, true}};
  for (const auto& f : forms) {
    snow_options o;
    o.temperature_index = f.index;
    o.energy_balance = f.balance;
    o.retention = f.retention;
    const season one = run_season(o, 1);
    // Something fell, something melted and something is left.
    EXPECT_GT(one.snowfall, 1.0) << f.form;
    EXPECT_GT(one.scf_added, 0.0) << f.form;
    EXPECT_GT(one.melt, 0.1) << f.form;
    EXPECT_GT(one.stored_change, 0.0) << f.form;
    // snowfall (gauge x correction) = change of the packs + melt water.
    EXPECT_NEAR(one.snowfall, one.stored_change + one.melt, 1e-9 * one.snowfall) << f.form;
    double surface = 0.0;
    for (int i = 1; i <= 7; ++i) {
      surface += one.depth[i] * 100.0;
      EXPECT_GE(one.swe[i], 0.0) << f.form;
      EXPECT_TRUE(std::isfinite(one.liquid[i]) && std::isfinite(one.deficit[i])) << f.form;
    }
    EXPECT_NEAR(surface, one.melt, 1e-9 * one.melt) << f.form;

    const season four = run_season(o, 4);
    EXPECT_TRUE(same_bits(one.swe, four.swe) && same_bits(one.depth, four.depth) &&
                same_bits(one.liquid, four.liquid) && same_bits(one.retained, four.retained))
        << f.form;
    EXPECT_EQ(one.melt, four.melt) << f.form;
  }
}

}  // namespace
