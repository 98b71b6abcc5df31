// Rain on the cells: the canopy store and coefficient, the depths and rain
// volumes of a step, the checks after the rain, and uniform rain switched
// on at the first step and off after its duration.

#include "surface/apply_rainfall.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "surface_run_fixture.h"

namespace {

using namespace surface_fixture;
using test_support::stdout_capture;

TEST(rain_interception, the_seasonal_divisor_follows_month_and_latitude) {
  const double south[13] = {1, 4, 4, 4, 2.5, 1, 1, 1, 1, 1, 2.5, 4, 4};
  const double north[13] = {1, 4, 4, 4, 4, 3, 2, 1, 1, 1, 2.5, 4, 4};
  for (int month = 1; month <= 12; ++month) {
    EXPECT_EQ(interception_divisor(month, 36.9), south[month]) << month;
    EXPECT_EQ(interception_divisor(month, 37.0), north[month]) << month;
  }
  EXPECT_EQ(interception_divisor(13, 40.0), 1.0);
}

TEST(rain_interception, the_store_fills_first_then_the_coefficient_holds_its_share) {
  // Steps of one hour, so that a rate of e mm/h is e mm of rain.
  struct canopy_case {
    const char* label;
    double store, coef, held_before, rate;
    int month;
    bool seasonal;
    double latitude;
    double net;   // mm/h
    double held;  // mm held this step
  };
  const canopy_case cases[] = {
      {"room for all the rain", 5, 0.3, 0, 2, 6, false, 40, 0, 2},
      {"room for exactly the rain", 5, 0.3, 3, 2, 6, false, 40, 0, 2},
      {"the store fills, then 0.3 of the rest", 5, 0.3, 4, 3, 6, false, 40, 1.4, 1.6},
      {"a full store, 0.3 of all", 5, 0.3, 6, 3, 6, false, 40, 2.1, 0.9},
      {"coefficient 0: only the store holds", 1, 0, 0, 3, 6, false, 40, 2, 1},
      {"a negative rate passes nothing", 5, 0.3, 0, -1, 6, false, 40, 0, 0},
      {"April at 36.9 degrees divides by 2.5", 5, 0.5, 0, 3, 4, true, 36.9, 0.8, 2.2},
      {"April at 37 degrees divides by 4", 5, 0.5, 0, 3, 4, true, 37.0, 1.53125, 1.46875},
  };
  for (const canopy_case& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<double> store = {0, c.store}, coef = {0, c.coef}, gross = {0, c.rate};
    std::vector<double> net = {0, -7}, held = {0, c.held_before}, partials(2, 0.0);
    const double volume = rain_interception(1, 3600.0, store.data(), coef.data(), gross.data(),
                                            net.data(), held.data(), 10.0, c.month, c.seasonal,
                                            c.latitude, partials.data());
    EXPECT_NEAR(net[1], c.net, 1e-12);
    EXPECT_NEAR(held[1], c.held_before + c.held, 1e-12);
    EXPECT_NEAR(volume, c.held * 100.0 / 1000.0, 1e-12);  // mm over 100 m2
    if (c.rate >= 0.0) {
      EXPECT_NEAR(net[1] + c.held, c.rate, 1e-12);  // rain in = rain through + rain held
    }
  }
}

// A record at an overland time of dt seconds, three 10 m cells.
void three_cells(model_state& s, double dt) {
  build_grid(s, 1, 3, 10.0, {2.0, 1.0, 0.0}, {0.05}, 1, 3, 0.01);
  s.run.overland.set_interval(dt);
  s.run.current_time = 1.0;
  s.run.overland.next = 1.0;
  s.run.overland.last = 1.0 - dt / 86400.0;
  s.run.elapsed_minutes = 12.5;
  s.run.event_data_flag = 1;
}

TEST(apply_rainfall, cells_take_the_rain_past_the_canopy_and_the_volumes_agree) {
  clear_errors();
  model_state s;
  three_cells(s, 3600.0);
  s.input.interception = 1;
  s.surface.icep_stor = {0, 5, 1, 0};
  s.surface.icep_coef = {0, 0.3, 0, 0};
  s.surface.icep_dep = {0, 0, 0, 0};
  s.surface.ri_eff = {0, 0, 0, 0};
  s.surface.rain_rate = {0, 2, 3, 4};
  s.surface.depth = {0, 0.001, 0, 0};
  apply_rainfall(s);
  ASSERT_EQ(error_state.stop_flag, 0);
  // Net rates 0, 2 and 4 mm/h over an hour; 2 mm and 1 mm held.
  const double dt_s = (s.run.current_time - s.run.overland.last) * 86400.0;
  EXPECT_NEAR(s.surface.depth[1], 0.001, 1e-15);
  EXPECT_NEAR(s.surface.depth[2], 2.0 * dt_s / 3.6e6, 1e-15);
  EXPECT_NEAR(s.surface.depth[3], 4.0 * dt_s / 3.6e6, 1e-15);
  EXPECT_NEAR(s.surface.rain_volume, 6.0 * dt_s / 3.6e6 * 100.0, 1e-12);
  EXPECT_EQ(s.surface.event_rain_volume, s.surface.rain_volume);
  EXPECT_NEAR(s.surface.interception_volume, 3.0 / 1000.0 * 100.0, 1e-9);
  EXPECT_EQ(s.surface.rain_steps, 1);
  EXPECT_EQ(s.surface.rain_started, 1);
  EXPECT_EQ(s.surface.rain_start_minutes, 12.5);

  // A step without rain is no rain step; one off the overland time does nothing.
  s.surface.rain_rate = {0, 0, 0, 0};
  s.run.overland.last = s.run.current_time;
  s.run.current_time += 1.0 / 24.0;
  s.run.overland.next = s.run.current_time;
  s.run.elapsed_minutes = 72.5;
  apply_rainfall(s);
  EXPECT_EQ(s.surface.rain_steps, 1);
  EXPECT_EQ(s.surface.rain_start_minutes, 12.5);
  const double before = s.surface.depth[3];
  s.surface.rain_rate = {0, 9, 9, 9};
  s.run.current_time += 0.5 / 24.0;
  apply_rainfall(s);
  EXPECT_EQ(s.surface.depth[3], before);
}

TEST(apply_rainfall, a_bad_depth_after_the_rain_stops_the_run_at_the_first_such_cell) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct bad_case {
    const char* label;
    std::vector<double> depth;
    std::string message;
  };
  const std::vector<bad_case> cases = {
      {"not a number", {0, 0, nan, -1},
       "A non-real number for water depth has been detected for overland cell 2 after applying "
       "rainfall\n"},
      {"negative", {0, 0, 0, -1},
       "A negative depth has been detected for overland cell 3 after applying rainfall, check "
       "your rainfall input for negative values\n"},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.label);
    clear_errors();
    model_state s;
    three_cells(s, 30.0);
    s.surface.rain_rate = {0, 1, 1, 1};
    s.surface.depth = c.depth;
    test_support::temp_dir dir;
    test_support::scoped_cwd cwd(dir.path());
    stdout_capture capture;
    apply_rainfall(s);
    const bool not_real = std::isnan(c.depth[2]);
    EXPECT_EQ(capture.stop(),
              c.message + "\n" +
                  (not_real ? "The overland depths at the stop are written to nan_depth.out, and "
                              "the cells holding a non-real value are marked 1 in nan_cells.out.\n"
                            : ""));
    // A negative depth is a number the user can read in the message.
    EXPECT_EQ(std::filesystem::exists(dir.path() / "nan_cells.out"), not_real);
    if (not_real) {
      const std::vector<std::string> lines = test_support::lines_of(
          test_support::read_file(dir.file("nan_cells.out")));
      ASSERT_EQ(lines.size(), 7u);
      EXPECT_EQ(lines[6], "0.000000 1.000000 0.000000 ");
    }
    EXPECT_EQ(error_state.stop_flag, 1);
  }
  clear_errors();
}

TEST(apply_rainfall, rain_on_a_lake_cell_goes_to_its_lake_once) {
  // Three 10 m cells under 36 mm/h for an hour (0.036 m, 3.6 m3 a cell),
  // cell 2 a lake cell; the canopy would hold 1 mm and then half the rest.
  struct lake_case {
    const char* label;
    bool channel;      // else an overland lake
    bool interception;
    double lake_rain;  // m3 to the lake
    double overland;   // m3 in the rain to the overland
  };
  const double net = (36.0 - 1.0) * 0.5 / 1000.0 * 100.0;  // m3 past the canopy
  const lake_case cases[] = {
      {"channel lake", true, false, 3.6, 7.2},
      {"channel lake under a canopy: the lake has none", true, true, 3.6, 2.0 * net},
      {"overland lake", false, false, 3.6, 10.8},
      {"overland lake under a canopy: what passes it", false, true, net, 3.0 * net},
  };
  for (const lake_case& c : cases) {
    SCOPED_TRACE(c.label);
    clear_errors();
    model_state s;
    three_cells(s, 3600.0);
    s.surface.rain_rate = {0, 36, 36, 36};
    s.surface.depth = {0, 0.0, 0.25, 0.0};
    if (c.interception) {
      s.input.interception = 1;
      s.surface.icep_stor = {0, 1, 1, 1};
      s.surface.icep_coef = {0, 0.5, 0.5, 0.5};
      s.surface.icep_dep = {0, 0, 0, 0};
      s.surface.ri_eff = {0, 0, 0, 0};
    }
    if (c.channel) {
      channel_state& chan = s.channel;
      chan.channel_lakes = 1;
      chan.lake_count = 1;
      chan.lake_mask = {0, 0, 1, 0};
      chan.lake_volume = {0.0, 50.0};
    } else {
      surface_state& sf = s.surface;
      sf.overland_lakes = 1;
      sf.olake_count = 1;
      sf.olakes.resize(2);
      sf.olakes[1].dv = 1.0;
      sf.olakes[1].rain = 99.0;  // the last step's
      sf.oland_lake_new = {0, 0, 1, 0};
    }
    apply_rainfall(s);
    ASSERT_EQ(error_state.stop_flag, 0);
    const surface_state& sf = s.surface;
    // The lake cell's depth is not the lake's: it stays as it was.
    EXPECT_EQ(sf.depth[2], 0.25);
    EXPECT_NEAR(sf.depth[1], c.overland / (c.channel ? 2.0 : 3.0) / 100.0, 1e-15);
    EXPECT_NEAR(sf.rain_volume, c.overland, 1e-12);
    EXPECT_EQ(sf.event_rain_volume, sf.rain_volume);
    if (c.channel) {
      EXPECT_NEAR(s.channel.lake_volume[1], 50.0 + c.lake_rain, 1e-12);
      EXPECT_NEAR(sf.chan_lake_rain_volume, c.lake_rain, 1e-12);
      EXPECT_EQ(sf.event_chan_lake_rain_volume, sf.chan_lake_rain_volume);
      EXPECT_EQ(sf.olake_rain_volume, 0.0);
    } else {
      EXPECT_NEAR(sf.olakes[1].dv, 1.0 + c.lake_rain, 1e-12);
      EXPECT_NEAR(sf.olakes[1].rain, c.lake_rain, 1e-12);
      EXPECT_NEAR(sf.olake_rain_volume, c.lake_rain, 1e-12);
      EXPECT_EQ(sf.event_olake_rain_volume, sf.olake_rain_volume);
      EXPECT_EQ(sf.olake_rain, 1);
      EXPECT_EQ(sf.chan_lake_rain_volume, 0.0);
    }
    // All the rain is somewhere once: on the overland (an overland lake's
    // among it), in a channel lake, or in the canopy.
    EXPECT_NEAR(sf.rain_volume + sf.chan_lake_rain_volume + sf.interception_volume, 10.8, 1e-9);
  }
  clear_errors();
}

TEST(update_rain_rates, uniform_rain_falls_for_its_steps_from_the_first_step) {
  // 36 mm/h for 3 steps of 60 s, in the order of the time loop: the rates
  // are set in the first pass, the rain falls in the passes after it.
  clear_errors();
  model_state s;
  three_cells(s, 60.0);
  s.input.uniform_rain = 1;
  s.input.rain_intensity = 36.0;
  s.run.rain_periods = 3;
  s.run.uniform_rain_steps = 1;
  const double dt = 60.0 / 86400.0;
  std::vector<int> active;
  for (int pass = 1; pass <= 7; ++pass) {
    s.run.step = pass - 1;
    s.run.current_time = 1.0 + (pass - 1) * dt;
    update_rain_rates(s);
    active.push_back(s.run.rain_active);
    if (pass > 1) {
      s.run.overland.next = s.run.current_time;
      s.run.overland.last = s.run.current_time - dt;
      apply_rainfall(s);
    }
  }
  ASSERT_EQ(error_state.stop_flag, 0);
  EXPECT_EQ(active, (std::vector<int>{1, 1, 1, 1, 0, 0, 0}));
  EXPECT_EQ(s.run.event_data_flag, 3);
  EXPECT_EQ(s.run.rain_on, 0);
  EXPECT_EQ(s.surface.rain_rate, (std::vector<double>(4, 0.0)));
  EXPECT_EQ(s.surface.rain_steps, 3);
  // 36 mm/h for 3 minutes on 300 m2 = 0.54 m3.
  EXPECT_NEAR(s.surface.rain_volume, 0.54, 1e-9);
}

}  // namespace
