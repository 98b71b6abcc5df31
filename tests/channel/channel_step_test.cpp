// The channel step around the routing: it acts only on the channel clock,
// drains wet cells into the channel and books what it moved so that the
// water balance closes, clears the lateral inflow, and stops a run whose
// channel processes this version does not have.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>

#include "channel/channel_steps.h"
#include "network_fixture.h"
#include "test_support.h"

namespace {

using namespace network_fixture;
using test_support::stdout_capture;

// The cell over the channel at its first channel step of 60 s.
std::unique_ptr<model_state> wet_cell_over_link() {
  auto s = cell_over_channel(1);
  s->surface.wet = 1;
  start_channel_clock(*s, 60.0);
  return s;
}

// An event starts its nodes from their stages; a stage that is not a number
// stops the run naming the node, its link and the link's type.
TEST(channel_step, an_event_start_stage_that_is_not_a_number_stops_the_run) {
  auto s = std::make_unique<model_state>();
  build_junction(s->channel);
  start_channel_clock(*s, 60.0);
  clear_errors();
  s->channel.yp[std::size_t(s->channel.node_address(3, 2))] = std::nan("");
  stdout_capture capture;
  channel_event_start(*s);
  EXPECT_NE(capture.stop().find("Negative Area Computed At Startup for [Node][Link]: [2][3] "
                                "ltype: 4\n"),
            std::string::npos);
  EXPECT_EQ(error_state.stop_flag, 1);
  clear_errors();
}

TEST(channel_step, off_the_channel_clock_nothing_moves) {
  clear_errors();
  auto s = wet_cell_over_link();
  s->run.current_time += 1.0 / 86400.0;  // one second past the channel's time
  const process_clock clock = s->run.channel;
  channel_step(*s);
  EXPECT_EQ(s->surface.depth[1], 0.1);
  EXPECT_EQ(s->channel.steps, 0);
  EXPECT_EQ(s->channel.active, 0);
  EXPECT_EQ(s->run.channel.last, clock.last);
  EXPECT_EQ(s->run.channel.next, clock.next);
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST(channel_step, a_wet_cell_drains_into_the_routed_channel_and_the_volumes_close) {
  clear_errors();
  auto s = wet_cell_over_link();
  channel_state& c = s->channel;
  channel_step(*s);
  ASSERT_EQ(error_state.stop_flag, 0);
  // 10.782702 m3/s over the bank for 60 s.
  EXPECT_NEAR(s->surface.depth[1], 0.035304, 1e-6);
  EXPECT_NEAR(c.lateral_volume, 646.96212, 1e-4);
  EXPECT_EQ(c.active, 1);
  EXPECT_EQ(c.route_calls, 1);
  EXPECT_GT(c.substeps, 1);  // the first pulse is fast on a dry bed
  EXPECT_NEAR(c.lateral_volume - c.outlet_volume, channel_volume(c), 1e-9 * c.lateral_volume);
  EXPECT_TRUE(std::all_of(c.qlat.begin(), c.qlat.end(), [](double q) { return q == 0.0; }));
  EXPECT_EQ(s->run.channel.last, s->run.current_time);
  EXPECT_EQ(s->run.channel.next, s->run.current_time + 60.0 / 86400.0);

  // The surface has dried: no more lateral inflow, the channel still routes.
  s->surface.wet = 0;
  advance_to_channel_time(*s);
  channel_step(*s);
  EXPECT_EQ(c.route_calls, 2);
  EXPECT_NEAR(c.lateral_volume - c.outlet_volume, channel_volume(c), 1e-9 * c.lateral_volume);
  EXPECT_EQ(c.steps, 2);
}

TEST(channel_step, a_channel_process_this_version_lacks_stops_the_run) {
  const struct {
    const char* name;
    std::function<void(model_state&)> setup;
  } cases[] = {
      {"gw_stream_exchange", [](model_state& s) { s.channel.lake_loss = 1; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    clear_errors();
    auto s = wet_cell_over_link();
    c.setup(*s);
    stdout_capture capture;
    channel_step(*s);
    EXPECT_EQ(capture.stop(),
              std::string("Error: ") + c.name + " is not available in this version.\n\n");
    EXPECT_EQ(error_state.stop_flag, 1);
    EXPECT_EQ(s->surface.depth[1], 0.1);
  }
}

// Long-term runs between storms: a dry surface over a channel that has run
// empty and is not routed (its outlet discharge is kept from the last
// routing). The overland clock waits for the next storm two days on.
TEST(channel_step, a_drained_long_term_channel_sleeps_until_the_overland_flow_wakes) {
  const double day = 1.0;  // days
  const struct {
    const char* name;
    std::function<void(model_state&)> setup;
    bool sleeps;
  } cases[] = {
      {"dry and drained", [](model_state&) {}, true},
      {"rain under way", [](model_state& s) { s.run.rain_on = 1; }, false},
      {"water standing on the surface", [](model_state& s) { s.surface.wet = 1; }, false},
      {"saturated surface", [](model_state& s) { s.soil.saturated_surface = 1; }, false},
      {"outlet still at 1e-6 m3/s", [](model_state& s) { s.channel.q_outlet = 1e-6; }, false},
      {"channel above 1 % of its starting water",
       [](model_state& s) {
         s.channel.area[std::size_t(s.channel.node_address(1, 2))] = 0.01;
         s.channel.initial_volume = 50.0 * s.channel.water_volume();
       },
       false},
      {"channel below 1 % of its starting water",
       [](model_state& s) {
         s.channel.area[std::size_t(s.channel.node_address(1, 2))] = 0.01;
         s.channel.initial_volume = 101.0 * s.channel.water_volume();
       },
       true},
      {"overland flow due before the channel",
       [](model_state& s) { s.run.overland.next = s.run.current_time; }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    clear_errors();
    auto s = cell_over_channel(1);
    s->surface.depth[1] = 0.0;
    start_channel_clock(*s, 60.0);
    s->input.long_term = 1;
    s->channel.q_outlet = 0.9e-6;
    s->run.overland.next = s->run.current_time + 2.0 * day;
    c.setup(*s);
    channel_step(*s);
    ASSERT_EQ(error_state.stop_flag, 0);
    EXPECT_EQ(s->channel.steps, 1);
    EXPECT_EQ(s->run.channel.interval_s, 60.0);
    if (c.sleeps) {
      EXPECT_EQ(s->run.channel.next, s->run.overland.next);
      EXPECT_EQ(s->channel.dry_steps, 1);
    } else {
      EXPECT_EQ(s->run.channel.next, s->run.current_time + 60.0 / 86400.0);
    }
  }
}

}  // namespace
