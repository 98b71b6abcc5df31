// The end of a single event's rain with channels: once the surface is dry
// and the channels hold next to nothing of the rain, the event and the run
// end; while the channels still hold water they go on.

#include <gtest/gtest.h>

#include <string>

#include "surface_run_fixture.h"
#include "test_support.h"

namespace {

using namespace surface_fixture;

// Two 100 m cells under one step of rain, then a dry step with the surface
// emptied by hand (as the channels would have taken it), the channels
// holding the given volume in one node.
std::string dry_step_with_channel_water(model_state& s, double channel_volume) {
  build_grid(s, 1, 2, 100.0, {1.0, 0.0}, {0.05}, 1, 2, 0.01);
  s.input.channel_routing = 1;
  channel_state& c = s.channel;
  c.links = 1;
  c.max_nodes = 1;
  c.ltype = {0, link_bit::trapezoid};
  c.nx = {0, 1};
  c.dx = {0.0, 100.0};
  c.area.assign(c.node_slots(), 0.0);
  c.area[c.node_address(1, 1)] = channel_volume / 100.0;
  s.surface.rain_rate.assign(3, 0.0);

  step_driver drive(s, 30.0, 2);
  EXPECT_TRUE(drive.step(36.0));  // 0.3 mm on 20000 m2: 6 m3 of rain
  s.surface.depth.assign(3, 0.0);
  s.run.run_flag = 1;
  s.run.rain_on = 1;
  test_support::stdout_capture out;
  EXPECT_TRUE(drive.step(0.0));
  return out.stop();
}

TEST(rain_end, a_dry_surface_over_nearly_empty_channels_ends_the_event_and_the_run) {
  clear_errors();
  model_state s;
  const std::string out = dry_step_with_channel_water(s, 0.0005);  // below 1e-4 x 6 m3
  EXPECT_NE(out.find("Rainfall for this event has ended.\n"), std::string::npos) << out;
  EXPECT_EQ(s.run.rain_on, 0);
  EXPECT_EQ(s.run.event_end, 1);
  EXPECT_EQ(s.run.exchange_pending, 1);
  EXPECT_EQ(s.run.run_flag, 0);
}

TEST(rain_end, water_left_in_the_channels_keeps_the_event_going) {
  clear_errors();
  model_state s;
  const std::string out = dry_step_with_channel_water(s, 0.001);  // above 1e-4 x 6 m3
  EXPECT_EQ(out.find("Rainfall for this event has ended."), std::string::npos) << out;
  EXPECT_EQ(s.run.rain_on, 1);
  EXPECT_EQ(s.run.event_end, 0);
  EXPECT_EQ(s.run.run_flag, 1);
}

}  // namespace
