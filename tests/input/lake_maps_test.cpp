// The overland lake map and the wetland cells in the grid set-up: lakes
// counted up to the largest number of the map, cell counts and volumes from
// the cells and the lake file's levels, the stop for a cell above its lake,
// and the wetland table switching wetlands on.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "grid_setup_fixture.h"
#include "map_table_fixture.h"

namespace {

// The strip's cells 1..10 stand at 100.9 down to 100.0 m, 10 m square.
class lake_map_setup : public grid_setup_test {
 protected:
  std::string run_lakes(const std::string& map, const std::string& lake_file,
                        const std::string& last = "read_grid_inputs") {
    const std::string cards =
        strip_cards("OVERLAND_LAKE_MAP lakes.asc\nOVERLAND_LAKE_FILE lakes.txt\n");
    write_map("lakes.asc", 1, 10, 10.0, map);
    dir_.write("lakes.txt", lake_file);
    return run_setup(cards, last);
  }
  const surface_state& surface() const { return state_->surface; }
};

// Lake 3 over cells 7 (100.3 m) and 8 (100.2 m); lake 1 over cells 9
// (100.1 m, at its level) and 10 (100.0 m); lake 2 has no cell.
TEST_F(lake_map_setup, lakes_up_to_the_largest_number_with_their_cells_and_volumes) {
  const std::string out = run_lakes("0 0 0 0 0 0 3 3 1 1\n",
                                    "VALTO_OVERLAND_LAKE_FILE\nLAKE 1 100.1 999\n"
                                    "LAKE 2 50.0 5\nLAKE 3 100.5 0\n");
  ASSERT_FALSE(stopped()) << out;
  EXPECT_TRUE(has(out, "reading overland lake map from file: lakes.asc\n")) << out;
  EXPECT_TRUE(has(out, "1   Elev: 100.10   Volume: 999.00\n")) << out;
  const surface_state& s = surface();
  EXPECT_EQ(s.overland_lakes, 1);
  ASSERT_EQ(s.olake_count, 3);
  ASSERT_EQ(s.olakes.size(), 4u);
  const std::vector<int> lakes = {0, 0, 0, 0, 0, 0, 0, 3, 3, 1, 1};
  EXPECT_EQ(s.oland_lake_new, lakes);
  EXPECT_EQ(s.oland_lake_mask, lakes);
  EXPECT_EQ(s.olakes[1].cells, 2);
  EXPECT_EQ(s.olakes[2].cells, 0);
  EXPECT_EQ(s.olakes[3].cells, 2);
  // The file's volumes give way to the cells': the cell at its lake's level
  // holds nothing.
  EXPECT_NEAR(s.olakes[1].volume, 0.1 * 100.0, 1e-9);
  EXPECT_EQ(s.olakes[2].volume, 0.0);
  EXPECT_NEAR(s.olakes[3].volume, (0.2 + 0.3) * 100.0, 1e-9);
  EXPECT_EQ(s.olakes[1].floor, 100.1);
  EXPECT_EQ(s.olakes[2].level, 50.0);
  EXPECT_EQ(s.olake_init_level, (std::vector<double>{0.0, 100.1, 50.0, 100.5}));
  EXPECT_NEAR(s.olake_initial_volume, 60.0, 1e-9);
}

// The initial cell states count the lakes' storage once more from the same
// cells: it must not be added to the map reader's sum.
TEST_F(lake_map_setup, the_initial_lake_storage_is_counted_once) {
  const std::string out =
      run_lakes("0 0 0 0 0 0 3 3 1 1\n", "VALTO\nLAKE 1 100.1 0\nLAKE 2 50 0\nLAKE 3 100.5 0\n",
                "init_cell_states");
  ASSERT_FALSE(stopped()) << out;
  EXPECT_NEAR(surface().olake_initial_volume, 60.0, 1e-9);
}

TEST_F(lake_map_setup, bad_lake_maps_stop_the_set_up) {
  struct bad_case {
    const char* label;
    std::string map;
    std::string lake_file;
    std::string message;
  };
  const std::vector<bad_case> cases = {
      {"a cell above its lake", "0 0 0 0 0 0 3 3 1 1\n",
       "VALTO\nLAKE 1 100.1 0\nLAKE 2 50 0\nLAKE 3 100.25 0\n",
       "There is a lake cell in lake 3 that is above the initial lake water surface\n"
       "elevation in that lake, which is specified as 100.250000.  This situation is not\n"
       "physically realistic.  Check your lake map.  Program terminated.\n"},
      {"a negative lake number", "0 0 0 0 0 -1 0 0 1 1\n", "VALTO\nLAKE 1 100.1 0\n",
       "Error: grid cell 6 of the overland lake map lakes.asc holds lake number -1; a cell holds "
       "0 (no lake) or the number of its lake, from 1.\n"},
      {"a lake file line for a lake the map lacks", "0 0 0 0 0 0 0 0 1 1\n",
       "VALTO\nLAKE 2 100.1 0\n",
       "Error: line 2 of the overland lake input data file lakes.txt is for lake 2; the overland "
       "lake map numbers its lakes 1 to 1.\n"},
      {"a map that is not a map", "0 0 x\n", "VALTO\nLAKE 1 100.1 0\n",
       "a whole number"},
      {"a stray large lake number", "0 0 0 0 0 0 0 0 1 2000000000\n", "VALTO\nLAKE 1 100.1 0\n",
       "Incorrect number of LAKE cards in the overland lake input data file.\n"
       "Expected 2000000000 LAKE cards, read 1\n"},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.label);
    state_ = std::make_unique<model_state>();
    clear_errors();
    stderr_capture err;
    std::string out = run_lakes(c.map, c.lake_file);
    out += err.stop();
    EXPECT_TRUE(stopped());
    EXPECT_TRUE(has(out, c.message)) << out;
    EXPECT_EQ(surface().overland_lakes, 0);
    EXPECT_TRUE(surface().olakes.empty());
    EXPECT_FALSE(state_->input.files.overland_lake_map.is_open());
    EXPECT_FALSE(state_->input.files.overland_lake_file.is_open());
  }
  clear_errors();
}

// Wetland ids 4 and 9 over the strip; a WETLAND_PROPERTIES table switches
// the wetlands on.
TEST_F(grid_setup_test, a_wetland_table_switches_wetlands_on) {
  write_map("wet.idx", 1, 10, 10.0, "0 0 4 4 9 0 0 0 0 0\n");
  dir_.write("tables.cmt", std::string(grid_table_marker) +
                               "\nINDEX_MAP wet.idx wet\nWETLAND_PROPERTIES wet\nNUM_IDS 2\n" +
                               table_header() + table_row(4, "Marsh", "10 20 864 30 8640 0.2 40") +
                               table_row(9, "Fen", "1 2 86.4 3 864 0.5 4"));
  const std::string out = run_setup(strip_cards("MAPPING_TABLE tables.cmt\n"));
  ASSERT_FALSE(stopped()) << out;
  EXPECT_TRUE(has(out, "Simulating wetlands\n")) << out;
  const surface_state& s = state_->surface;
  EXPECT_EQ(s.wetlands, 2);
  EXPECT_EQ(s.wetland_mask, (std::vector<int>{0, 0, 0, 1, 1, 2, 0, 0, 0, 0, 0}));
  ASSERT_EQ(s.wetland_types.size(), 3u);
  EXPECT_NEAR(s.wetland_types[1].value[2], 0.01, 1e-15);
  EXPECT_NEAR(s.wetland_types[2].value[6], 0.5, 1e-15);
}

TEST_F(grid_setup_test, without_a_wetland_table_there_are_no_wetlands) {
  const std::string out = run_setup(strip_cards());
  ASSERT_FALSE(stopped()) << out;
  EXPECT_FALSE(has(out, "Simulating wetlands"));
  EXPECT_EQ(state_->surface.wetlands, 0);
  EXPECT_TRUE(state_->surface.wetland_mask.empty());
}

}  // namespace
