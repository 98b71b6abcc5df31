// The infiltration step around its methods: its clock, the water-table
// exchange and the bookkeeping of the infiltrated volume.

#include <gtest/gtest.h>

#include "soil/soil_steps.h"
#include "soil_fixture.h"

namespace {

TEST(infiltration_step, acts_only_at_its_time_and_books_the_change) {
  model_state s;
  soil_fixture::build_loam(s, 2);
  s.input.green_ampt = 1;
  s.surface.depth = {0.0, 0.01, 0.0};
  s.run.current_time = 1.0;
  s.run.infiltration.set_interval(60.0);
  s.run.infiltration.last = 1.0 - 60.0 / 86400.0;
  s.run.infiltration.next = 1.0 + 1.0 / 86400.0;  // not yet
  infiltration_step(s);
  EXPECT_EQ(s.surface.depth[1], 0.01);
  EXPECT_EQ(s.run.infiltration.next, 1.0 + 1.0 / 86400.0);

  s.run.infiltration.next = 1.0;
  infiltration_step(s);
  const double taken = 0.01 - s.surface.depth[1];
  EXPECT_GT(taken, 0.0);
  EXPECT_NEAR(s.soil.infiltrated_volume, taken * 100.0, 1e-15);
  EXPECT_EQ(s.soil.event_inf[1], s.soil.cum_inf[1]);
  EXPECT_EQ(s.run.infiltration.last, 1.0);
  EXPECT_NEAR(s.run.infiltration.next, 1.0 + 60.0 / 86400.0, 1e-15);
  soil_event_end(s);
  EXPECT_NEAR(s.soil.event_infiltrated, taken * 100.0, 1e-15);
  EXPECT_EQ(s.soil.event_inf[1], 0.0);
}

// After the last event of a long-term run there is no next event start to
// move the clock to: it keeps its own next time.
TEST(infiltration_step, the_last_event_keeps_the_clock) {
  model_state s;
  soil_fixture::build_loam(s, 1);
  s.input.inf_redist = 1;
  s.input.long_term = 1;
  s.run.num_events = 1;
  s.run.event_index = 1;
  s.run.event_starts = {0.0, 0.5};
  s.run.current_time = 1.0;
  s.run.infiltration.set_interval(60.0);
  s.run.infiltration.last = 1.0 - 60.0 / 86400.0;
  s.run.infiltration.next = 1.0;
  s.soil.redist_first_pass = 1;
  infiltration_step(s);
  EXPECT_NEAR(s.run.infiltration.next, 1.0 + 60.0 / 86400.0, 1e-15);
  EXPECT_EQ(s.soil.redist_first_pass, 1);
  // With a next event the clock waits for it and the next event resets.
  s.run.num_events = 2;
  s.run.event_starts = {0.0, 0.5, 3.0};
  s.run.overland.set_interval(30.0);
  s.run.infiltration.next = s.run.current_time = 1.0 + 60.0 / 86400.0;
  infiltration_step(s);
  EXPECT_NEAR(s.run.infiltration.next, 3.0 + 30.0 / 86400.0, 1e-15);
  EXPECT_EQ(s.soil.redist_first_pass, 0);
}

TEST(water_table_exchange, draws_surface_water_down_to_zero_at_most) {
  struct wcase {
    const char* name;
    int gw_simulation;
    double table;   // water-table elevation, m (ground at 0)
    double depth;   // m
    double depth_after;
    double booked;  // m
  };
  // Ks 1e-6 m/s over a 0.4 m store for 100 s: 2.5e-4 per metre of head.
  const wcase cases[] = {
      {"flooded surface loses at the loss rate, never below 0", 1, 0.0, 0.02, 0.0, -0.02},
      {"water table above the water surface adds water", 0, 1.02, 0.02, 0.02 + 2.5e-4, 2.5e-4},
      {"below the surface without groundwater: no exchange", 0, -1.0, 0.02, 0.02, 0.0},
  };
  for (const wcase& c : cases) {
    SCOPED_TRACE(c.name);
    model_state s;
    soil_fixture::build_cells(s, 1, 1e-6, 0.1, 0.45, 0.15, 10.0);
    s.input.inf_redist = 1;
    s.input.gw_simulation = c.gw_simulation;
    s.input.soil_moist_depth = 40.0;
    s.soil.gw_loss_rate = 0.05 * 360000.0 / 100.0;  // 0.05 m over 100 s
    s.soil.yes_exfil[1] = 1;
    s.subsurface.gw.elevgw = {0.0, c.table};
    s.surface.depth[1] = c.depth;
    water_table_exchange(s, false, 100.0);
    EXPECT_NEAR(s.surface.depth[1], c.depth_after, 1e-15);
    EXPECT_NEAR(s.soil.cum_exfil[1], c.booked, 1e-15);
    EXPECT_NEAR(s.soil.exfiltrated_volume, c.booked * 100.0, 1e-12);
  }
}

TEST(reset_redist_state, long_term_contents_outside_the_pore_range_move_inside) {
  model_state s;
  soil_fixture::build_cells(s, 2, 1e-6, 0.1, 0.45, 0.15, 10.0);
  s.input.inf_redist = 1;
  s.input.long_term = 1;
  s.input.top_layer_depth = 10.0;
  s.soil.store_depth = {0.0, 40.0, 40.0};
  s.soil.m1 = {0.0, 0.2, 5.0};  // thi 0.02 below thr 0.04; 0.5 above phi
  s.soil.cum_inf[1] = 0.3;
  test_support::stdout_capture capture;
  reset_redist_state(s);
  const std::string text = capture.stop();
  EXPECT_EQ(s.soil.front_theta[1], 0.04 + 0.01);
  EXPECT_EQ(s.soil.front_theta[2], 0.45 - 0.01);
  EXPECT_EQ(s.soil.cum_inf[1], 0.0);
  EXPECT_EQ(s.soil.redist_first_pass, 1);
  EXPECT_NE(text.find("cell: 1  thi: 0.020000  thr: 0.040000   phi: 0.450000\nProblem "
                      "initializing inf_redist in main loop, thi<thr at grid cell 1, increasing "
                      "it to 0.050000\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("thi>phi at grid cell 2, decreasing it to 0.440000\n"), std::string::npos);
}

}  // namespace
