// The dry time of a long-term run: once an event's rain is over and its
// surface has stopped flowing, the overland clock waits for the next event's
// start, and the infiltration either waits with it or, under continuous
// redistribution with water still ponded, soaks that water in hour by hour.

#include <gtest/gtest.h>

#include "surface_run_fixture.h"

namespace {

using namespace surface_fixture;

constexpr double day = 1.0;         // start of event 2, Julian days
constexpr double hour_next = 0.25;  // the meteorology's next hour

// plane20 in event k of a long-term run of two events, after its rain, with
// depth m of water on every cell held back up to retention m, soaking in
// under redistribution (continuous or not) every 30 s; the meteorology's
// next hour is hour_next.
void plane_after_rain(model_state& s, double depth, double retention, int k, bool continuous) {
  build_plane20(s);
  const int n = s.grid.cells;
  s.surface.rain_rate.assign(n + 1, 0.0);
  s.surface.depth.assign(n + 1, depth);
  s.surface.retent_dep.assign(n + 1, retention);
  s.input.long_term = 1;
  s.input.inf_redist = 1;
  s.input.cont_redist = continuous;
  s.soil.inf_rate.assign(n + 1, 1.5);
  run_control& run = s.run;
  run.num_events = 2;
  run.event_starts = {0.0, 0.0, day};
  run.event_index = k;
  run.hmet.set_interval(3600.0);
  run.hmet.next = hour_next;
  run.infiltration.set_interval(30.0);
  run.infiltration.last = 0.0;
  run.infiltration.next = 30.0 / 86400.0;
  run.evap = run.infiltration;
}

TEST(dry_time, a_surface_that_stops_flowing_waits_for_the_next_event) {
  struct dry_case {
    const char* label;
    double depth, retention;  // m, on every cell
    int event;                // the current event of two
    bool continuous;          // redistribution without NO_CONT_INF_REDIST
    bool waits;               // the overland clock moves to event 2
    bool hourly;              // the infiltration takes the meteorology's clock
  };
  const dry_case cases[] = {
      {"dry, first event", 0.0, 0.0, 1, true, true, false},
      {"dry, last event: the clocks go on", 0.0, 0.0, 2, true, false, false},
      {"ponded below its retention, continuous redistribution", 0.002, 0.01, 1, true, true, true},
      {"ponded below its retention, redistribution only in events", 0.002, 0.01, 1, false, true,
       false},
      {"ponded and flowing", 0.05, 0.0, 1, true, false, false},
  };
  for (const dry_case& c : cases) {
    SCOPED_TRACE(c.label);
    clear_errors();
    model_state s;
    plane_after_rain(s, c.depth, c.retention, c.event, c.continuous);
    run_control& run = s.run;

    step_driver drive(s, 30.0, 2);
    ASSERT_TRUE(drive.step(0.0));
    const double now = run.current_time;
    EXPECT_DOUBLE_EQ(run.overland.next, c.waits ? day : now + 30.0 / 86400.0);
    if (c.waits) {
      EXPECT_DOUBLE_EQ(run.overland.last, day - 30.0 / 86400.0);
      EXPECT_EQ(run.q_out, 0.0);
    }
    if (c.hourly) {
      EXPECT_EQ(run.infiltration.interval_s, 3600.0);
      EXPECT_EQ(run.infiltration.next, hour_next);
      EXPECT_EQ(run.evap.interval_s, 3600.0);
      EXPECT_EQ(run.evap.next, hour_next);
      EXPECT_EQ(s.soil.inf_rate[1], 1.5);
    } else if (c.waits) {
      // Nothing soaks in until event 2, so no cell shows a rate.
      EXPECT_EQ(run.infiltration.next, day);
      EXPECT_EQ(run.infiltration.last, run.overland.last);
      EXPECT_EQ(run.evap.interval_s, 30.0);
      EXPECT_EQ(s.soil.inf_rate[1], 0.0);
    } else {
      EXPECT_EQ(run.infiltration.next, 30.0 / 86400.0);
      EXPECT_EQ(s.soil.inf_rate[1], 1.5);
    }
  }
  clear_errors();
}

// With the groundwater model the infiltration keeps to the groundwater's
// step while water stands on the surface, so the two go on exchanging it.
TEST(dry_time, the_groundwater_step_bounds_the_hourly_infiltration) {
  struct gw_case {
    const char* label;
    double gw_step;   // s
    int fixed;        // the groundwater set-up fixed its clock
    double gw_interval, inf_interval;  // s, after the step
  };
  const gw_case cases[] = {
      {"a step shorter than the hour cuts the infiltration to it", 600.0, 0, 600.0, 600.0},
      {"a fixed groundwater clock keeps its own interval", 600.0, 1, 900.0, 900.0},
      {"a step longer than the hour leaves the hour", 7200.0, 0, 7200.0, 3600.0},
  };
  for (const gw_case& c : cases) {
    SCOPED_TRACE(c.label);
    clear_errors();
    model_state s;
    plane_after_rain(s, 0.002, 0.01, 1, true);
    s.input.gw_simulation = 1;
    s.input.settings.gw_timestep = c.gw_step;
    s.subsurface.gw_clock_fixed = c.fixed;
    run_control& run = s.run;
    run.groundwater.set_interval(900.0);
    run.groundwater.next = 0.5;

    step_driver drive(s, 30.0, 2);
    ASSERT_TRUE(drive.step(0.0));
    const double now = run.current_time;
    EXPECT_EQ(run.groundwater.interval_s, c.gw_interval);
    EXPECT_EQ(run.groundwater.next, c.fixed ? 0.5 : now);
    EXPECT_EQ(run.infiltration.interval_s, c.inf_interval);
    if (c.inf_interval < 3600.0) {
      EXPECT_DOUBLE_EQ(run.infiltration.next, now + c.inf_interval / 86400.0);
    } else {
      EXPECT_EQ(run.infiltration.next, hour_next);
    }
  }
  clear_errors();
}

}  // namespace
