// Start-of-run soil states: the store of each method, the top-layer default
// and the overland-lake stop.

#include <gtest/gtest.h>

#include "soil/soil_steps.h"
#include "soil_fixture.h"
#include "test_support.h"

namespace {

TEST(init_cell_states, layered_store_between_the_layer_depths) {
  model_state s;
  soil_fixture::build_cells(s, 1, 1e-6, 0.1, 0.4, 0.2, 100.0);
  s.input.inf_layered_soil = 1;
  soil_type_record t;
  t.d1 = 20.0;
  t.d2 = 30.0;
  s.soil.soil_types = {soil_type_record{}, t};
  s.soil.soiltype = {0, 1};
  s.soil.theta_ml = {{}, {0.0, 0.25, 0.15, 0.1}};
  // A water table 0.35 m down cuts the store to 35 cm, inside layer 2.
  s.subsurface.gw.elevgw = {0.0, -0.35};
  init_cell_states(s);
  EXPECT_NEAR(s.soil.store_depth[1], 35.0, 1e-12);
  EXPECT_NEAR(s.soil.total_water[1], 20.0 * 0.25 + 15.0 * 0.15, 1e-12);
  EXPECT_NEAR(s.soil.initial_soil_volume, (20.0 * 0.25 + 15.0 * 0.15) / 100.0 * 1e4, 1e-9);
  EXPECT_EQ(s.soil.yes_exfil[1], 0);
}

TEST(init_cell_states, redistribution_store_and_its_top_layer) {
  model_state s;
  soil_fixture::build_cells(s, 2, 1e-6, 0.1, 0.45, 0.15, 100.0);
  s.input.inf_redist = 1;
  s.input.soil_moist_depth = 40.0;
  s.input.top_layer_depth = 0.0;
  // The second cell's water table stands at its surface.
  s.subsurface.gw.elevgw = {0.0, -5.0, 0.0};
  init_cell_states(s);
  EXPECT_EQ(s.input.top_layer_depth, 40.0);
  EXPECT_EQ(s.input.mixing_layer_depth, 40.0);
  EXPECT_NEAR(s.soil.m1[1], 6.0, 1e-12);
  EXPECT_EQ(s.soil.m2[1], 0.0);
  EXPECT_EQ(s.soil.store_depth[2], 0.0);
  EXPECT_EQ(s.soil.initial_theta[2], 0.45);
  EXPECT_EQ(s.soil.yes_exfil[2], 1);
  EXPECT_EQ(s.subsurface.gw_coupling, 1);
  EXPECT_NEAR(s.soil.initial_soil_volume, 0.06 * 1e4, 1e-9);
}

TEST(init_cell_states, an_overland_lake_below_its_ground_stops_the_run) {
  model_state s;
  soil_fixture::build_cells(s, 2, 1e-6, 0.1, 0.45, 0.15, 100.0);
  s.input.green_ampt = 1;
  s.surface.overland_lakes = 1;
  s.surface.oland_lake_mask = {0, 1, 1};
  s.surface.olake_init_level = {0.0, 10.0};
  s.grid.elevation = {0.0, 9.0, 10.5};
  error_state = error_record{};
  test_support::stdout_capture capture;
  init_cell_states(s);
  const std::string text = capture.stop();
  EXPECT_NE(text.find("\nWARNING: initial water surface elevation in lake 1 is 10.000000 which "
                      "is\nless than the land surface elevation in grid cell 2, 10.500000.\nYou "
                      "should either raise your initial lake elevation or lower that grid\ncell "
                      "elevation.  Program stopped.\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(error_state.stop_flag, 1);  // code 4000, reported at once
  error_state = error_record{};
}

}  // namespace
