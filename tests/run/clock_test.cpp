// The main step, write intervals, process clocks and the clock's move.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "run/model_state.h"
#include "run/sim_clock.h"
#include "run_fixture.h"
#include "test_support.h"

namespace {

using test_support::stdout_capture;

struct time_step_case {
  const char* what;
  double timestep, st_time_step, hyd_freq;
  int map_freq;
  double outslope;
  int long_term;
  double latitude, longitude;
  int gmt_given, super_quiet;
  // expected
  int code;  // pending code after the phase (0 also after a reported warning)
  int stop;
  double dt;
  int hyd_interval, map_interval;
  const char* screen;
};

const char* const warn55 = "\nWarning: Write hydrograph time step not specified, defaulting to 1 hour.\n";
const char* const warn_map = "Warning: Write solution time step not specified, defaulting to 6 hours.\n";

const time_step_case time_step_cases[] = {
    {"plain", 30, 0, 1, 60, 0.01, 0, 0, 0, 0, 0, 0, 0, 30, 2, 120, ""},
    {"channel step smaller", 120, 30, 1, 60, 0.01, 0, 0, 0, 0, 0, 0, 0, 30, 2, 120, ""},
    {"channel step larger", 30, 120, 1, 60, 0.01, 0, 0, 0, 0, 0, 0, 0, 30, 2, 120, ""},
    {"channel step below 0.01 s", 30, 0.005, 1, 60, 0.01, 0, 0, 0, 0, 0, 0, 0, 30, 2, 120, ""},
    {"TIMESTEP 0", 0, 0, 1, 60, 0.01, 0, 0, 0, 0, 0, 52, 1, 0, 0, 0, ""},
    {"TIMESTEP 0 under a channel step", 0, 30, 1, 60, 0.01, 0, 0, 0, 0, 0, 52, 1, 0, 0, 0, ""},
    {"negative TIMESTEP", -30, 0, 1, 60, 0.01, 0, 0, 0, 0, 0, 52, 1, 0, 0, 0, ""},
    {"HYD_FREQ 0 warns and writes hourly", 30, 0, 0, 60, 0.01, 0, 0, 0, 0, 0, 0, 0, 30, 120, 120, warn55},
    {"negative HYD_FREQ warns", 30, 0, -5, 60, 0.01, 0, 0, 0, 0, 0, 0, 0, 30, 120, 120, warn55},
    {"MAP_FREQ 0 writes every six hours", 30, 0, 1, 0, 0.01, 0, 0, 0, 0, 0, 0, 0, 30, 2, 720, warn_map},
    {"MAP_FREQ 0 under SUPER_QUIET", 30, 0, 1, 0, 0.01, 0, 0, 0, 0, 1, 0, 0, 30, 2, 720, ""},
    {"write interval never below one step", 120, 0, 1, 1, 0.01, 0, 0, 0, 0, 0, 0, 0, 120, 1, 1, ""},
    {"OUTSLOPE 0", 30, 0, 1, 60, 0, 0, 0, 0, 0, 0, 56, 1, 30, 2, 120, ""},
    {"long-term without LONGITUDE", 30, 0, 1, 60, 0.01, 1, 40, 0, 1, 0, 57, 1, 30, 2, 120, ""},
    {"long-term without LATITUDE", 30, 0, 1, 60, 0.01, 1, 0, 105, 1, 0, 57, 1, 30, 2, 120, ""},
    {"long-term without GMT", 30, 0, 1, 60, 0.01, 1, 40, 105, 0, 0, 58, 1, 30, 2, 120, ""},
    {"long-term with all", 30, 0, 1, 60, 0.01, 1, 40, 105, 1, 0, 0, 0, 30, 2, 120, ""},
    {"single event needs no site", 30, 0, 1, 60, 0.01, 0, 0, 0, 0, 0, 0, 0, 30, 2, 120, ""},
};

TEST(setup_time_steps, main_step_write_intervals_and_refusals) {
  for (const time_step_case& c : time_step_cases) {
    SCOPED_TRACE(c.what);
    run_fixture::clear_errors();
    model_state s;
    run_parameters& p = s.input.params;
    p.timestep = c.timestep;
    p.st_time_step = c.st_time_step;
    p.hyd_freq = c.hyd_freq;
    p.map_freq = c.map_freq;
    p.outslope = c.outslope;
    p.latitude = c.latitude;
    p.longitude = c.longitude;
    p.gmt_given = c.gmt_given;
    s.input.long_term = c.long_term;
    s.input.super_quiet = c.super_quiet;
    stdout_capture capture;
    setup_time_steps(s);
    EXPECT_EQ(capture.stop(), c.screen);
    EXPECT_EQ(error_state.code, c.code);
    EXPECT_EQ(error_state.stop_flag, c.stop);
    if (c.code == 52) continue;
    EXPECT_DOUBLE_EQ(s.run.dt, c.dt);
    EXPECT_DOUBLE_EQ(s.run.dt_days, c.dt / 86400.0);
    EXPECT_EQ(s.run.hyd_interval, c.hyd_interval);
    EXPECT_EQ(s.run.map_interval, c.map_interval);
  }
  run_fixture::clear_errors();
}

TEST(calendar, day_of_year_and_the_gregorian_leap_rule) {
  EXPECT_EQ(day_of_year(1996, 3, 1), 61);
  EXPECT_EQ(day_of_year(1997, 3, 1), 60);
  EXPECT_EQ(day_of_year(2000, 3, 1), 61);
  EXPECT_EQ(day_of_year(1900, 3, 1), 60);
  EXPECT_EQ(day_of_year(2100, 3, 1), 60);
  EXPECT_EQ(day_of_year(2001, 1, 17), 17);
  EXPECT_EQ(day_of_year(2004, 12, 31), 366);
  EXPECT_EQ(day_of_year(2003, 12, 31), 365);
}

// A configured single event after set-up.
void set_up_single_event(model_state& s, double timestep, double st, int tot_time) {
  run_fixture::set_single_event(s, timestep, st, tot_time);
  setup_time_steps(s);
  init_process_clocks(s);
}

TEST(clock, the_current_time_is_steps_times_dt_never_a_running_sum) {
  run_fixture::clear_errors();
  model_state s;
  // 0.1 s has no exact binary form: a running sum drifts, a product does not.
  set_up_single_event(s, 0.1, 0, 60);
  ASSERT_EQ(error_state.stop_flag, 0);
  const double start = run_fixture::jan_1_2000();
  advance_clock(s);
  EXPECT_EQ(s.run.current_time, start);
  EXPECT_EQ(s.run.pass, 1);
  EXPECT_EQ(s.run.step, 0);
  for (int i = 2; i <= 10; ++i) advance_clock(s);
  EXPECT_EQ(s.run.current_time, 9 * (0.1 / 86400.0) + start);
  for (int i = 11; i <= 36001; ++i) advance_clock(s);
  EXPECT_EQ(s.run.step, 36000);
  EXPECT_EQ(s.run.pass, 36001);
  EXPECT_EQ(s.run.current_time, 36000 * (0.1 / 86400.0) + start);
  EXPECT_DOUBLE_EQ(s.run.elapsed_minutes, 60.0);
  // One hour on: the calendar reads 01:00:00 exactly.
  EXPECT_EQ(s.run.hour, 1);
  EXPECT_EQ(s.run.minute, 0);
  EXPECT_EQ(s.run.whole_seconds, 0);
  EXPECT_EQ(s.run.day_of_year, 1);
}

TEST(clock, process_clocks_start_at_the_start_time) {
  run_fixture::clear_errors();
  model_state s;
  s.input.channel_routing = 1;
  s.input.green_ampt = 1;
  set_up_single_event(s, 120, 30, 60);
  const double start = run_fixture::jan_1_2000();
  EXPECT_EQ(s.run.run_flag, 1);
  EXPECT_EQ(s.run.start_time, start);
  EXPECT_EQ(s.run.origin, start);
  EXPECT_DOUBLE_EQ(s.run.overland.interval_s, 120.0);
  EXPECT_EQ(s.run.overland.next, start);
  EXPECT_DOUBLE_EQ(s.run.overland.last, start - 120.0 / 86400.0);
  EXPECT_DOUBLE_EQ(s.run.channel.interval_s, 30.0);
  EXPECT_EQ(s.run.channel.last, start);
  EXPECT_DOUBLE_EQ(s.run.channel.next, start + 30.0 / 86400.0);
  EXPECT_EQ(s.run.infiltration.last, start);
  EXPECT_DOUBLE_EQ(s.run.infiltration.next, start + 120.0 / 86400.0);
  EXPECT_EQ(s.run.next_rain_time, start);
  EXPECT_DOUBLE_EQ(s.run.single_event_end, start + 60.0 / 1440.0);
  EXPECT_EQ(s.run.tolerance, 1.1574074074074074e-7);
}

TEST(clock, uniform_rain_starts_its_event_at_the_start_date) {
  run_fixture::clear_errors();
  model_state s;
  run_fixture::set_single_event(s, 30, 0, 60);
  s.run.num_events = 0;
  s.run.event_starts.clear();
  s.input.uniform_rain = 1;
  s.input.rain_duration = 30;
  s.input.params.start_date_year = 2001;
  s.input.start_time = julian_date(2001, 6, 2, 6, 30, 0.0);
  setup_time_steps(s);
  init_process_clocks(s);
  ASSERT_EQ(error_state.stop_flag, 0);
  EXPECT_EQ(s.run.current_time, s.input.start_time);
  EXPECT_EQ(s.run.event_start_time, s.input.start_time);
  EXPECT_EQ(s.run.num_events, 1);
  EXPECT_EQ(s.run.event_index, 1);
  EXPECT_EQ(s.run.event_data_flag, 1);
  EXPECT_EQ(s.run.rain_on, 1);
  EXPECT_EQ(s.run.rain_periods, 60);
  EXPECT_EQ(s.run.uniform_rain_steps, 1);
}

TEST(clock, uniform_rain_without_a_start_date_stops_with_four_lines) {
  run_fixture::clear_errors();
  model_state s;
  run_fixture::set_single_event(s, 30, 0, 60);
  s.input.uniform_rain = 1;
  s.input.rain_duration = 30;
  setup_time_steps(s);
  stdout_capture capture;
  init_process_clocks(s);
  EXPECT_EQ(capture.stop(),
            "You did not specify the starting date and time in the\n"
            "project file.  You must do this for simulations with\n"
            "uniform precipitation using the START_DATE and START_TIME\n"
            "cards.  Edit the project file.   Program terminated.\n\n");
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_EQ(s.run.run_flag, 0);
  run_fixture::clear_errors();
}

TEST(clock, a_run_without_events_is_refused) {
  run_fixture::clear_errors();
  model_state s;
  run_fixture::set_single_event(s, 30, 0, 60);
  s.run.num_events = 0;
  s.run.event_starts.clear();
  setup_time_steps(s);
  stdout_capture capture;
  init_process_clocks(s);
  EXPECT_NE(capture.stop().find("holds no event"), std::string::npos);
  EXPECT_EQ(error_state.stop_flag, 1);
  run_fixture::clear_errors();
}

// A long-term run over three events, with its meteorology from 1 May 2000.
void set_long_term(model_state& s) {
  run_fixture::set_single_event(s, 60, 0, 60);
  s.input.long_term = 1;
  s.input.params.latitude = 40;
  s.input.params.longitude = 105;
  s.input.params.gmt_given = 1;
  s.soil.hmet_start_year = 2000;
  s.soil.hmet_start_month = 5;
  s.soil.hmet_start_day = 1;
  s.soil.hmet_end_year = 2000;
  s.soil.hmet_end_month = 6;
  s.soil.hmet_end_day = 30;
  s.soil.hmet_end_hour = 23;
  s.run.num_events = 3;
  s.run.event_starts = {0.0, julian_date(2000, 5, 3, 12, 0, 0.0),
                        julian_date(2000, 5, 10, 0, 0, 0.0), julian_date(2000, 5, 20, 6, 0, 0.0)};
  setup_time_steps(s);
}

TEST(clock, a_long_term_run_waits_for_its_first_event) {
  run_fixture::clear_errors();
  model_state s;
  set_long_term(s);
  init_process_clocks(s);
  ASSERT_EQ(error_state.stop_flag, 0);
  const double may_1 = julian_date(2000, 5, 1, 0, 0, 0.0);
  EXPECT_EQ(s.run.origin, may_1);
  EXPECT_EQ(s.run.current_time, may_1);
  EXPECT_EQ(s.run.start_yyyymmdd, 20000501);
  EXPECT_EQ(s.run.overland.next, s.run.event_starts[1]);
  EXPECT_EQ(s.run.hmet.next, may_1);
  EXPECT_DOUBLE_EQ(s.run.hmet.interval_s, 3600.0);
  EXPECT_EQ(s.soil.hmet_end_time, julian_date(2000, 6, 30, 23, 0, 0.0));
}

TEST(clock, a_long_term_start_date_picks_the_first_event_at_or_after_it) {
  run_fixture::clear_errors();
  model_state s;
  set_long_term(s);
  s.input.params.start_date_year = 2000;
  s.input.params.start_date_month = 5;
  s.input.params.start_date_day = 10;
  init_process_clocks(s);
  ASSERT_EQ(error_state.stop_flag, 0);
  EXPECT_EQ(s.run.given_start, 1);
  EXPECT_EQ(s.run.first_event_after_start, 2);  // starts exactly then
  EXPECT_EQ(s.run.event_index, 1);
  EXPECT_EQ(s.run.overland.last, s.run.event_starts[2]);
  EXPECT_EQ(s.run.next_rain_time, s.run.event_starts[2]);
  EXPECT_EQ(s.run.start_yyyymmdd, 20000510);
}

TEST(clock, a_long_term_start_after_the_last_event_is_refused) {
  run_fixture::clear_errors();
  model_state s;
  set_long_term(s);
  s.input.params.start_date_year = 2000;
  s.input.params.start_date_month = 6;
  s.input.params.start_date_day = 1;
  stdout_capture capture;
  init_process_clocks(s);
  EXPECT_NE(capture.stop().find("lies after the start of the last precipitation event"),
            std::string::npos);
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_EQ(s.run.run_flag, 0);
  run_fixture::clear_errors();
}

}  // namespace
