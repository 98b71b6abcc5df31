// The grid input set-up run in-process through the production set-up phases:
// the strip fixture, cell numbering, the grid-size and outlet checks, the
// surface maps, the starting depths and the place of the readers of
// processes this version does not have.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "grid_setup_fixture.h"
#include "input/read_grid_inputs.h"

namespace {

using test_support::run_program;

// Cards of a grid of rows x cols cells of size metres with its mask and
// elevation in mask.asc and elevation.asc.
std::string grid_cards(int rows, int cols, double size, int outrow, int outcol) {
  return "WATERSHED_MASK mask.asc\nELEVATION elevation.asc\nGRIDSIZE " + std::to_string(size) +
         "\nROWS " + std::to_string(rows) + "\nCOLS " + std::to_string(cols) +
         "\nTIMESTEP 10\nTOT_TIME 60\nOUTROW " + std::to_string(outrow) + "\nOUTCOL " +
         std::to_string(outcol) +
         "\nOUTSLOPE 0.01\nMANNING_N 0.05\nPRECIP_UNIF\nRAIN_INTENSITY 10\nRAIN_DURATION 30\n"
         "START_DATE 2000 1 1\nSTART_TIME 0 0\nHYD_FREQ 1\nMAP_FREQ 60\nSUMMARY summary.out\n"
         "OUTLET_HYDRO outlet.hyd\n";
}

// The cards with every line of the given card word left out.
std::string without(const std::string& cards, const std::string& word) {
  std::string kept;
  std::size_t at = 0;
  while (at < cards.size()) {
    std::size_t end = cards.find('\n', at);
    if (end == std::string::npos) end = cards.size();
    const std::string line = cards.substr(at, end - at);
    if (line.compare(0, word.size() + 1, word + " ") != 0 && line != word) kept += line + "\n";
    at = end + 1;
  }
  return kept;
}

const char* const strip_notices =
    "reading watershed mask from file: mask.asc\n"
    "number of grid cells in watershed: 10\n"
    "reading elevation map from file: elevation.asc\n"
    "outlet is in grid cell: 10\n";

const char* const outlet_outside =
    "\nThe outlet row and column you specified in the project file are not\n"
    "inside the watershed mask.  Check the outlet row and column again, and\n"
    "make sure they are correctly specified in the project file using the\n"
    "OUTROW and OUTCOL project file cards.  VALTO terminating.\n\n";

using grid_inputs = grid_setup_test;

TEST_F(grid_inputs, the_strip_passes_set_up_with_its_cells_numbered_and_its_maps_in_the_state) {
  const std::string out = run_setup(strip_cards());
  ASSERT_FALSE(stopped()) << out;
  EXPECT_TRUE(has(out, strip_notices)) << out;
  EXPECT_TRUE(has(file_text("summary.out"), strip_notices));
  EXPECT_TRUE(std::filesystem::exists(dir_.file("outlet.hyd")));
  EXPECT_EQ(file_text("maskmap"),
            "north:     10.00\nsouth:      0.00\neast:    100.00\nwest:      0.00\n"
            "rows:     1\ncols:    10\n1 2 3 4 5 6 7 8 9 10 \n");

  const grid_state& grid = state_->grid;
  const surface_state& surface = state_->surface;
  EXPECT_EQ(grid.cells, 10);
  EXPECT_DOUBLE_EQ(grid.area, 1000.0);
  EXPECT_EQ(grid.outlet_cell, 10);
  // The border of the numbered mask stays 0.
  for (int c = 0; c <= 11; ++c) {
    EXPECT_EQ(grid.mask[0][c], 0);
    EXPECT_EQ(grid.mask[2][c], 0);
    if (c >= 1 && c <= 10) {
      EXPECT_EQ(grid.mask[1][c], c);
    }
  }
  EXPECT_EQ(grid.mask[1][0], 0);
  EXPECT_EQ(grid.mask[1][11], 0);
  for (const std::vector<double>* v : {&grid.elevation, &surface.depth, &surface.prev_depth,
                                       &surface.retent_dep, &surface.dist_rough}) {
    ASSERT_EQ(v->size(), 11u);
    EXPECT_EQ((*v)[0], 0.0);
  }
  ASSERT_EQ(grid.rightcon.size(), 11u);
  for (int i = 1; i <= 10; ++i) {
    EXPECT_DOUBLE_EQ(grid.elevation[i], 100.9 - 0.1 * (i - 1)) << i;
    EXPECT_EQ(surface.dist_rough[i], 0.05);
    EXPECT_EQ(surface.retent_dep[i], 0.0);
    EXPECT_EQ(surface.depth[i], 0.0);
  }
}

TEST_F(grid_inputs, the_program_reads_the_strip_and_writes_its_mask_map) {
  strip_cards();
  const std::filesystem::path from = std::filesystem::path(VALTO_FIXTURES_DIR) / "strip";
  dir_.write("strip.prj", test_support::read_file((from / "strip.prj").string()));
  const test_support::program_result run = run_program("strip.prj", dir_.path());
  EXPECT_TRUE(has(run.output, strip_notices)) << run.output;
  EXPECT_TRUE(has(file_text("maskmap"), "1 2 3 4 5 6 7 8 9 10 \n"));
}

TEST_F(grid_inputs, cells_are_numbered_row_by_row_from_the_top) {
  struct numbering_case {
    const char* label;
    std::string mask;
    std::vector<int> numbers;  // the numbered grid, row by row
    int cells;
  };
  const std::vector<numbering_case> cases = {
      {"plus", "0 1 0\n1 1 1\n0 1 0\n", {0, 1, 0, 2, 3, 4, 0, 5, 0}, 5},
      {"corner before centre; any nonzero value is a cell",
       "0 0 7\n0 -1 0\n0 0 0\n",
       {0, 0, 1, 0, 2, 0, 0, 0, 0},
       2},
  };
  for (const numbering_case& c : cases) {
    SCOPED_TRACE(c.label);
    state_ = std::make_unique<model_state>();
    write_map("mask.asc", 3, 3, 10, c.mask);
    write_map("elevation.asc", 3, 3, 10, "1 1 1\n1 1 1\n1 1 1\n");
    const std::string out = run_setup(grid_cards(3, 3, 10, 2, 2));
    EXPECT_FALSE(stopped()) << out;
    EXPECT_EQ(state_->grid.cells, c.cells);
    for (int r = 1; r <= 3; ++r)
      for (int k = 1; k <= 3; ++k)
        EXPECT_EQ(state_->grid.mask[r][k], c.numbers[(r - 1) * 3 + k - 1]);
    clear_errors();
  }
}

TEST_F(grid_inputs, the_cell_size_must_agree_with_the_mask_header_to_a_tenth_of_a_metre) {
  struct size_case {
    const char* label;
    double north;  // of a 1 x 2 grid whose south and west are 0
    double east;
    const char* message;  // empty when the check passes
  };
  const std::vector<size_case> cases = {
      {"30.04 m truncates like 30 m", 30.04, 60.08, ""},
      {"30.1 m north-south", 30.1, 60.0,
       "\nThe grid size specified in the project file: 30.0000 m differs from\n"
       "the north-south dimension of the raster grid cells 30.1000 m as calculated\n"
       "from the WATERSHED_MASK header.  Check your data to make sure they agree.\n"
       "VALTO terminating.\n\n"},
      {"30.1 m east-west", 30.0, 60.2,
       "\nThe grid size specified in the project file: 30.0000 m differs from\n"
       "the east-west dimension of the raster grid cells 30.1000 m as calculated\n"
       "from the WATERSHED_MASK header.  Check your data to make sure they agree.\n"
       "VALTO terminating.\n\n"},
  };
  for (const size_case& c : cases) {
    SCOPED_TRACE(c.label);
    state_ = std::make_unique<model_state>();
    const std::string head = "north: " + std::to_string(c.north) +
                             "\nsouth: 0\neast: " + std::to_string(c.east) +
                             "\nwest: 0\nrows: 1\ncols: 2\n";
    dir_.write("mask.asc", head + "1 1\n");
    dir_.write("elevation.asc", head + "5 4\n");
    std::filesystem::remove(dir_.file("maskmap"));
    const std::string out = run_setup(grid_cards(1, 2, 30, 1, 2));
    const bool fails = c.message[0] != '\0';
    EXPECT_EQ(stopped(), fails) << out;
    if (fails) {
      EXPECT_TRUE(has(out, std::string(c.message) +
                               "\nnumber of grid cells in watershed: 2\n"
                               "reading elevation map from file: elevation.asc\n"))
          << out;
      EXPECT_TRUE(has(file_text("summary.out"), c.message));
    }
    // The mask is numbered, written and the elevation read either way.
    EXPECT_EQ(file_text("maskmap").substr(file_text("maskmap").rfind("cols")),
              "cols:     2\n1 2 \n");
    ASSERT_EQ(state_->grid.elevation.size(), 3u);
    EXPECT_EQ(state_->grid.elevation[2], 4.0);
    clear_errors();
  }
}

TEST_F(grid_inputs, an_outlet_off_the_watershed_stops_the_run_unless_channels_take_it) {
  struct outlet_case {
    const char* label;
    int row;
    int col;
  };
  for (const outlet_case& c : std::vector<outlet_case>{
           {"inactive corner", 1, 1}, {"row below the grid", 4, 2}, {"column 0", 2, 0}}) {
    SCOPED_TRACE(c.label);
    state_ = std::make_unique<model_state>();
    write_map("mask.asc", 3, 3, 10, "0 1 0\n1 1 1\n0 1 0\n");
    write_map("elevation.asc", 3, 3, 10, "1 1 1\n1 1 1\n1 1 1\n");
    const std::string out = run_setup(grid_cards(3, 3, 10, c.row, c.col));
    EXPECT_TRUE(stopped());
    EXPECT_TRUE(
        has(out, "reading elevation map from file: elevation.asc\n" + std::string(outlet_outside)))
        << out;
    EXPECT_EQ(state_->grid.outlet_cell, 0);
    clear_errors();
  }

  state_ = std::make_unique<model_state>();
  const std::string out =
      run_setup(grid_cards(3, 3, 10, 1, 1), "read_grid_inputs", "read_grid_inputs",
                [](model_state& s) { s.input.channel_routing = 1; });
  EXPECT_TRUE(has(out, "outlet is in grid cell: 0\n")) << out;
  EXPECT_FALSE(has(out, "The outlet row and column"));
  EXPECT_EQ(state_->grid.outlet_cell, 0);
  EXPECT_FALSE(stopped()) << out;
}

TEST_F(grid_inputs, roughness_and_retention_fill_every_cell) {
  struct surface_case {
    const char* label;
    std::string cards;           // added to the strip's, MANNING_N left out
    std::string message;         // printed, or empty
    std::vector<double> rough;   // per cell when the set-up passes
    std::vector<double> retain;  // m
  };
  const std::vector<double> uniform_n(10, 0.05);
  const std::vector<double> dry(10, 0.0);
  std::vector<double> map_n;
  std::vector<double> map_retention;
  for (int i = 1; i <= 10; ++i) {
    map_n.push_back(0.01 * i);
    map_retention.push_back(0.001 * i);
  }
  write_map("rough.asc", 1, 10, 10, "0.01 0.02 0.03 0.04 0.05 0.06 0.07 0.08 0.09 0.1\n");
  write_map("rough0.asc", 1, 10, 10, "0.05 0.05 0.05 0.05 0.05 0.05 0 0.05 0.05 0.05\n");
  write_map("reten.asc", 1, 10, 10, "1 2 3 4 5 6 7 8 9 10\n");
  const std::vector<surface_case> cases = {
      {"uniform n, no retention", "MANNING_N 0.05\n", "", uniform_n, dry},
      {"RETENTION is in millimetres", "MANNING_N 0.05\nRETENTION 5\n", "", uniform_n,
       std::vector<double>(10, 0.005)},
      {"retention map in millimetres", "MANNING_N 0.05\nRETEN_DEPTH reten.asc\n",
       "reading retention storage map from file: reten.asc\n", uniform_n, map_retention},
      {"roughness map", "ROUGHNESS rough.asc\n", "reading roughness map from file: rough.asc\n",
       map_n, dry},
      {"a cell without roughness",
       "ROUGHNESS rough0.asc\n",
       "Overland Manning n=0 at grid cell 7.  Program terminating.\n",
       {},
       {}},
      {"uniform n too small",
       "MANNING_N 0.000001\n",
       "\nInvalid spatially uniform overland flow Manning n value=0.000001\nVALTO exiting.\n",
       {},
       {}},
      {"no roughness at all",
       "",
       "\nInvalid spatially uniform overland flow Manning n value=0.000000\nVALTO exiting.\n",
       {},
       {}},
  };
  for (const surface_case& c : cases) {
    SCOPED_TRACE(c.label);
    state_ = std::make_unique<model_state>();
    const std::string out = run_setup(without(strip_cards(), "MANNING_N") + c.cards);
    if (!c.message.empty()) {
      EXPECT_TRUE(has(out, c.message)) << out;
    }
    EXPECT_EQ(stopped(), c.rough.empty()) << out;
    const surface_state& s = state_->surface;
    for (std::size_t i = 0; i < c.rough.size(); ++i) {
      EXPECT_DOUBLE_EQ(s.dist_rough[i + 1], c.rough[i]) << i + 1;
      EXPECT_DOUBLE_EQ(s.retent_dep[i + 1], c.retain[i]) << i + 1;
    }
    clear_errors();
  }
}

TEST_F(grid_inputs, starting_depths_come_from_the_hot_start_and_the_initial_head) {
  write_map("depths.asc", 1, 10, 10, "0.01 0.01 0.01 0.01 0.01 0.01 0.01 0.01 0.01 0.01\n");
  struct depth_case {
    const char* label;
    std::string cards;
    std::vector<double> depth;
  };
  std::vector<double> flooded;
  // Ground falls from 100.9 m in cell 1 to 100.0 m in cell 10; a head of
  // 100.45 m covers cells 6 to 10.
  for (int i = 1; i <= 10; ++i) {
    const double ground = 100.9 - 0.1 * (i - 1);
    flooded.push_back(ground < 100.45 ? 100.45 - ground : 0.01);
  }
  const std::vector<depth_case> cases = {
      {"hot start", "OV_INIT_DEPTH depths.asc\n", std::vector<double>(10, 0.01)},
      {"map of initial depths", "INITIAL_DEPTH depths.asc\n", std::vector<double>(10, 0.01)},
      {"hot start under a head", "READ_OV_HOTSTART depths.asc\nINIT_ELEV_HEAD 100.45\n", flooded},
      {"head below the ground", "OV_INIT_DEPTH depths.asc\nINIT_ELEV_HEAD 50\n",
       std::vector<double>(10, 0.01)},
  };
  for (const depth_case& c : cases) {
    SCOPED_TRACE(c.label);
    state_ = std::make_unique<model_state>();
    const std::string out = run_setup(strip_cards(c.cards));
    ASSERT_FALSE(stopped()) << out;
    EXPECT_TRUE(has(out, "reading overland hotstart map from file: depths.asc\n"));
    for (int i = 1; i <= 10; ++i) {
      EXPECT_NEAR(state_->surface.depth[i], c.depth[i - 1], 1e-12) << i;
      EXPECT_EQ(state_->surface.prev_depth[i], state_->surface.depth[i]) << i;
    }
  }
}

TEST_F(grid_inputs, readers_of_processes_not_built_keep_their_place_in_the_order) {
  // Refused by the card gate, the pump inputs are never read.
  std::string out = run_setup(strip_cards("OV_PUMP pumps.txt\n"));
  EXPECT_TRUE(has(out, "needs pumps")) << out;
  EXPECT_FALSE(has(out, "reading watershed mask"));
  clear_errors();

  // The dike map is read in its place (an index map of side bits), with its
  // low spots.
  state_ = std::make_unique<model_state>();
  write_map("dikes.asc", 1, 10, 10, "0 2 8 0 0 2 8 0 0 0\n");
  dir_.write("lowspots.txt", "LOWSPOT\nSPOT 1 2 2 0.5 101.5\n");
  out = run_setup(strip_cards(), "read_grid_inputs", "read_grid_inputs", [](model_state& s) {
    s.input.settings.dike_map_given = 1;
    s.input.settings.dike_map = "dikes.asc";
    s.input.settings.lowspot_file_given = 1;
    s.input.settings.lowspot_file = "lowspots.txt";
  });
  ASSERT_FALSE(stopped()) << out;
  EXPECT_TRUE(has(out,
                  "reading overland flow dike map from file: dikes.asc\n"
                  "In map dikes.asc category 2 has 2 values\n"
                  "In map dikes.asc category 8 has 2 values\n"))
      << out;
  EXPECT_EQ(state_->surface.dike_mask, (std::vector<int>{0, 0, 2, 8, 0, 0, 2, 8, 0, 0, 0}));
  ASSERT_EQ(state_->surface.lowspot_count, 1);
  EXPECT_EQ(state_->surface.low_spots[1].column, 2);
  EXPECT_EQ(state_->surface.low_spots[1].crest, 101.5);
  clear_errors();
}

TEST_F(grid_inputs, a_cell_location_list_gives_cell_numbers_and_refuses_cells_off_the_grid) {
  const auto listed = [](model_state& s) {
    s.input.settings.in_theta_location_given = 1;
    s.input.settings.in_theta_location = "theta.txt";
    s.input.settings.out_theta_location = "theta.out";
  };
  struct list_case {
    const char* label;
    std::string list;
    std::string message;
    std::vector<int> cells;
  };
  const std::vector<list_case> cases = {
      {"inside the grid", "3\n1 3\n1 10\n1 1\n", "", {0, 3, 10, 1, 0}},
      {"column off the grid",
       "2\n1 3\n1 11\n",
       "Error: location 2 of the cell location list theta.txt is row 1, column 11, outside the "
       "grid of 1 rows and 10 columns.\n",
       {}},
      {"row 0",
       "1\n0 3\n",
       "Error: location 1 of the cell location list theta.txt is row 0, column 3, outside the grid "
       "of 1 rows and 10 columns.\n",
       {}},
      {"fewer locations than counted",
       "3\n1 3\n1 4\n",
       "End of file reached in file theta.txt, exiting\n",
       {}},
      {"a word for a number",
       "2\n1 3\none 4\n",
       "Error: location 2 of the cell location list theta.txt holds a value that is not a whole "
       "number.\n",
       {}},
  };
  for (const list_case& c : cases) {
    SCOPED_TRACE(c.label);
    state_ = std::make_unique<model_state>();
    dir_.write("theta.txt", c.list);
    const std::string out =
        run_setup(strip_cards(), "read_grid_inputs", "open_project_files", listed);
    EXPECT_EQ(stopped(), !c.message.empty()) << out;
    if (!c.message.empty()) {
      EXPECT_TRUE(has(out, c.message)) << out;
    }
    if (!c.cells.empty()) {
      EXPECT_EQ(state_->output.theta_cell, c.cells);
    }
    EXPECT_TRUE(state_->output.theta_location.is_open());
    clear_errors();
  }

  // Richards runs list the layers written at each location.
  dir_.write("theta.txt", "2 3\n1 2 2 5 6\n1 4 3 1 2 3\n");
  ASSERT_TRUE(state_->input.files.theta_location.open(dir_.file("theta.txt").c_str(), "r"));
  state_->input.inf_richards = 1;
  read_cell_location_list(*state_);
  EXPECT_FALSE(stopped());
  const output_state& o = state_->output;
  EXPECT_EQ(o.theta_cell[1], 2);
  EXPECT_EQ(o.theta_cell[2], 4);
  EXPECT_EQ(o.theta_count[1], 2);
  EXPECT_EQ(o.theta_count[2], 3);
  EXPECT_EQ(o.theta_ids[1][1], 5);
  EXPECT_EQ(o.theta_ids[1][2], 6);
  EXPECT_EQ(o.theta_ids[2][3], 3);
  EXPECT_FALSE(state_->input.files.theta_location.is_open());
}

}  // namespace
