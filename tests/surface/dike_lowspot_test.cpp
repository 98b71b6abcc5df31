// Dikes and their low spots: a dike holds the water of the cells behind it,
// a low spot lets it over its crest once the pond is high enough, the dike
// sides close the faces of both routers, and every bad low-spot file or
// low spot stops the set-up with its message.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "surface/face_fluxes.h"
#include "surface/lowspots.h"
#include "surface_run_fixture.h"
#include "test_support.h"

namespace {

using namespace surface_fixture;
using test_support::temp_dir;

const std::vector<std::string> dike_files = {"mask.asc", "elevation.asc", "dikes.asc",
                                             "lowspots.txt"};

class dike_run : public testing::Test {
 protected:
  void SetUp() override {
    for (const std::string& name : dike_files) dir_.write(name, fixture_text("dikes", name));
  }
  void write_project(const std::vector<std::string>& drop, const std::string& extra) {
    dir_.write("dikes.prj", edit_cards(fixture_text("dikes", "dikes.prj"), drop, extra));
  }
  // Runs the fixture in-process, keeping the water held in cells 1 and 2
  // after every pass (m3).
  run_output run(const std::vector<std::string>& drop, const std::string& extra) {
    write_project(drop, extra);
    behind_.clear();
    return run_in_process(dir_.path(), "dikes.prj", [this](model_state& s) {
      const std::vector<double>& h = s.surface.depth;
      behind_.push_back((h[1] + h[2]) * 1e4);
      pond_.push_back(h[2] * 1e4);
      rain_ = s.surface.rain_volume;
      balance_ = s.surface.outflow_volume + surface_volume(s);
    });
  }
  temp_dir dir_;
  std::vector<double> behind_;  // by pass
  std::vector<double> pond_;    // cell 2, by pass
  double rain_ = 0.0;
  double balance_ = 0.0;
};

// 36 mm/h on 10000 m2 cells: 0.1 m3/s a cell.
TEST_F(dike_run, the_dike_holds_back_the_rain_of_the_cells_behind_it) {
  for (const char* scheme : {"explicit", "ade"}) {
    SCOPED_TRACE(scheme);
    pond_.clear();
    const run_output out = run({"OVERTYPE"}, std::string("OVERTYPE ") + scheme + "\n");
    ASSERT_EQ(out.status, 0) << out.text;
    const std::vector<progress_row> rows = progress_rows(out.text);
    ASSERT_EQ(rows.size(), 961u);
    for (const progress_row& r : rows) {
      if (r.minutes >= 120.0) {
        EXPECT_EQ(r.q, 0.20) << r.minutes;  // cells 3 and 4
      }
      EXPECT_LE(r.q, 0.20) << r.minutes;
    }
    // All the rain of cells 1 and 2 is still there, ponded in cell 2.
    EXPECT_NEAR(behind_.back(), 0.2 * 480 * 60, 1e-9 * 5760.0);
    EXPECT_GT(pond_.back(), 0.95 * behind_.back());
    EXPECT_NEAR(balance_, rain_, 1e-9 * rain_);
  }
}

TEST_F(dike_run, a_low_spot_passes_the_pond_over_its_crest_once_it_is_high_enough) {
  for (const char* scheme : {"explicit", "ade"}) {
    SCOPED_TRACE(scheme);
    pond_.clear();
    const run_output out = run({"OVERTYPE"}, std::string("OVERTYPE ") + scheme +
                                                 "\nLOWSPOT_FILE lowspots.txt\n");
    ASSERT_EQ(out.status, 0) << out.text;
    // The crest lies 0.2 m above cell 2's ground: 2000 m3 of pond, which
    // the 0.2 m3/s of cells 1 and 2 fill in 2.8 h.
    std::size_t full = 0;
    while (full < pond_.size() && pond_[full] < 2000.0) ++full;
    const double full_minutes = 0.5 * full;
    EXPECT_GT(full_minutes, 2.7 * 60) << full_minutes;
    EXPECT_LT(full_minutes, 3.0 * 60) << full_minutes;
    const std::vector<progress_row> rows = progress_rows(out.text);
    ASSERT_EQ(rows.size(), 961u);
    for (const progress_row& r : rows) {
      if (r.minutes < full_minutes) {
        EXPECT_LE(r.q, 0.20) << r.minutes;
      }
      if (r.minutes >= 420.0) {
        EXPECT_EQ(r.q, 0.40) << r.minutes;  // all four cells
      }
    }
    // The pond stays a little above the crest: the weir head that passes
    // 0.2 m3/s over a 50 m crest is 1.48 x 50 x H^1.5 = 0.2, H = 1.9 cm.
    EXPECT_NEAR(pond_.back() / 1e4 - 0.2, std::pow(0.2 / 74.0, 2.0 / 3.0), 0.005);
    EXPECT_NEAR(balance_, rain_, 1e-9 * rain_);
  }
}

// Two 10 m cells side by side on ground z1, z2, with one low spot on the
// right side of cell 1 (crest 0.5 m, as wide as the cell).
struct weir_pair {
  model_state s;
  low_spot spots[2];
  weir_pair(double z1, double z2, double h1, double h2) {
    build_grid(s, 1, 2, 10.0, {z1, z2}, {0.05}, 1, 2, 0.01);
    s.surface.depth[1] = h1;
    s.surface.depth[2] = h2;
    spots[1] = {1, 1, 2, 1.0, 0.5};
  }
  void flow(double dt) {
    embankment_weir_flow(dt, 10.0, s.grid.mask.table(), s.grid.elevation.data(),
                         s.surface.depth.data(), 1, spots);
  }
};

TEST(embankment_weir, moves_weir_flow_from_the_higher_stage_and_never_more_than_the_water) {
  struct weir_case {
    const char* label;
    double z1, z2, h1, h2, dt;
    double after1, after2;
  };
  // Head 0.1 m: Q = 1.48 x 10 x 0.1^1.5 = 0.468 m3/s, 0.00468 m a second.
  const double d = 1.48 * 10.0 * std::pow(0.1, 1.5) / 100.0;
  const weir_case cases[] = {
      {"cell 1 higher", 0.0, 0.0, 0.6, 0.0, 1.0, 0.6 - d, d},
      {"cell 2 higher", 0.0, 0.0, 0.0, 0.6, 1.0, d, 0.6 - d},
      {"stages 0.5 mm apart", 0.0, 0.0, 0.6, 0.5995, 1.0, 0.6, 0.5995},
      {"both at or below the crest", 0.0, 0.0, 0.5, 0.2, 1.0, 0.5, 0.2},
      // 1 mm over the crest for a day would move 4.0 m: cell 2 gives the
      // 1 mm it holds and no more.
      {"more than the losing cell holds", 0.0, 0.5, 0.0, 0.001, 86400.0, 0.001, 0.0},
  };
  for (const weir_case& c : cases) {
    SCOPED_TRACE(c.label);
    weir_pair w(c.z1, c.z2, c.h1, c.h2);
    w.flow(c.dt);
    EXPECT_NEAR(w.s.surface.depth[1], c.after1, 1e-15);
    EXPECT_NEAR(w.s.surface.depth[2], c.after2, 1e-15);
    EXPECT_GE(w.s.surface.depth[1], 0.0);
    EXPECT_GE(w.s.surface.depth[2], 0.0);
  }
}

TEST(embankment_weir, an_overland_lake_cell_stands_at_its_level_and_trades_with_its_lake) {
  // Cell 2 belongs to overland lake 1 (volume V, dv 0): its stage is the
  // lake's level and its water the lake's. Head 0.1 m over the 0.5 m crest
  // for 1 s moves 1.48 x 10 x 0.1^1.5 = 0.468 m3.
  const double v = 1.48 * 10.0 * std::pow(0.1, 1.5);  // m3
  struct lake_case {
    const char* label;
    double h1;       // depth of free cell 1 on ground 0, m
    double level;    // lake level, m
    double volume;   // lake volume, m3
    double after1;   // m
    double dv;       // m3
  };
  const lake_case cases[] = {
      {"the lake above the crest spills into the cell", 0.0, 0.6, 100.0, v / 100.0, -v},
      {"the cell above the crest spills into the lake", 0.6, 0.2, 100.0, 0.6 - v / 100.0, v},
      {"a lake of 0.1 m3 gives no more than that", 0.0, 0.6, 0.1, 0.1 / 100.0, -0.1},
      {"the cell's own depth does not count for the lake", 0.0, 0.45, 100.0, 0.0, 0.0},
  };
  for (const lake_case& c : cases) {
    SCOPED_TRACE(c.label);
    weir_pair w(0.0, 0.0, c.h1, 0.55);
    surface_state& sf = w.s.surface;
    const std::vector<int> lake = {0, 0, 1};
    std::vector<olake_record> lakes(2);
    lakes[1].level = c.level;
    lakes[1].volume = c.volume;
    embankment_weir_flow(1.0, 10.0, w.s.grid.mask.table(), w.s.grid.elevation.data(),
                         sf.depth.data(), 1, w.spots, lake.data(), lakes.data());
    EXPECT_NEAR(sf.depth[1], c.after1, 1e-15);
    EXPECT_NEAR(lakes[1].dv, c.dv, 1e-12);
    EXPECT_EQ(sf.depth[2], 0.55);  // the lake cell's depth is not the lake's water
  }
}

// A column of two 10 m cells: the dike bits close the face between them
// for both routers, as far as the upper cell's bit 4 says.
TEST(dike_faces, the_upper_cells_bottom_bit_closes_the_face_both_ways_the_lower_cells_top_bit_not) {
  struct face_case {
    const char* label;
    int upper_bits, lower_bits;
    bool upper_higher;
    bool flows;
  };
  const face_case cases[] = {
      {"bit 4 above, water above", 4, 0, true, false},
      {"bit 4 above, water below", 4, 0, false, false},
      {"bits 4 and 1, water below", 4, 1, false, false},
      {"bit 1 below alone, water above", 0, 1, true, true},
      {"bit 1 below alone, water below", 0, 1, false, true},
      {"bit 2 above, a side the face does not have", 2, 8, true, true},
  };
  for (const face_case& c : cases) {
    for (int scheme : {1, 2}) {
      SCOPED_TRACE(std::string(c.label) + (scheme == 1 ? ", explicit" : ", ADE"));
      clear_errors();
      model_state s;
      build_grid(s, 2, 1, 10.0, {0.0, 0.0}, {0.05}, 1, 1, 0.01);
      s.grid.slope_x.assign(3, 0.0);
      s.grid.slope_y.assign(3, 0.0);
      s.input.channel_routing = 1;  // the outlet keeps its water
      s.input.settings.dike_map_given = 1;
      s.surface.dike_mask = {0, c.upper_bits, c.lower_bits};
      const int wet = c.upper_higher ? 1 : 2;
      s.surface.depth[wet] = 0.05;

      // The sweep of the ADE router alone.
      face_inputs in;
      in.cells = 2;
      in.dx = 10.0;
      in.elevation = s.grid.elevation.data();
      in.retent_dep = s.surface.retent_dep.data();
      in.dist_rough = s.surface.dist_rough.data();
      in.dike_mask = s.surface.dike_mask.data();
      std::vector<double> flux(3, 1.0);
      ov_flux_sweep_y(in, s.surface.depth.data(), s.grid.belowcon.data(), flux.data());
      EXPECT_EQ(flux[1] != 0.0, c.flows);

      step_driver drive(s, 5.0, scheme);
      ASSERT_TRUE(drive.step(0.0));
      EXPECT_EQ(s.surface.depth[3 - wet] > 0.0, c.flows);
      EXPECT_NEAR(s.surface.depth[1] + s.surface.depth[2], 0.05, 1e-15);
    }
  }
  clear_errors();
}

TEST(lowspot_file, is_spot_card_takes_the_word_spot_off_the_line) {
  struct spot_case {
    const char* line;
    int result;
    const char* rest;
  };
  const spot_case cases[] = {
      {"SPOT 1 2 2 0.5 2.2", 0, " 1 2 2 0.5 2.2"}, {"  spot\t3", 0, "\t3"},
      {"Spot", 0, ""},        {"SPOTS 1", 1, " 1"}, {"# SPOT 1", 1, " SPOT 1"},
      {"", 1, ""},            {"LOWSPOT", 1, ""},
  };
  for (const spot_case& c : cases) {
    std::string line = c.line;
    EXPECT_EQ(is_spot_card(line), c.result) << c.line;
    EXPECT_EQ(line, c.rest) << c.line;
  }
}

// The dike fixture's grid and dike map, with low spots checked by hand.
struct checked_grid {
  model_state s;
  checked_grid(std::vector<int> dikes) {
    build_grid(s, 1, 4, 100.0, {3.0, 2.0, 1.0, 0.0}, {0.05}, 1, 4, 0.01);
    s.surface.dike_mask = std::move(dikes);
  }
  bool check(const low_spot& spot, std::string& printed) {
    const std::vector<low_spot> spots = {low_spot{}, spot};
    test_support::stdout_capture out;
    const bool ok = check_low_spots(s.grid, s.surface.dike_mask, 1, spots, "lowspots.txt");
    printed = out.stop();
    return ok;
  }
};

TEST(low_spot_checks, the_limits_of_the_rules_are_accepted) {
  const low_spot accepted[] = {
      {1, 2, 2, 0.0, 2.2},  // no width
      {1, 2, 2, 1.5, 2.2},  // the widest
      {1, 2, 2, 0.5, 2.0},  // crest on cell 2's ground
      {1, 3, 8, 0.5, 2.0},  // the same dike from cell 3, crest on cell 2's ground
  };
  for (const low_spot& spot : accepted) {
    clear_errors();
    checked_grid g({0, 0, 2, 8, 0});
    std::string printed;
    EXPECT_TRUE(g.check(spot, printed)) << printed;
    EXPECT_EQ(printed, "");
    EXPECT_EQ(error_state.stop_flag, 0);
  }
  clear_errors();
}

class lowspot_input : public dike_run {};

// Each bad low-spot file, low spot or card stops the program at set-up with
// its message.
TEST_F(lowspot_input, every_bad_low_spot_stops_the_set_up_with_its_message) {
  struct bad_case {
    const char* label;
    std::string lowspots;
    std::string dikes;  // a dike map in place of the fixture's, when given
    std::string message;
  };
  const std::string spot = "LOWSPOT\nSPOT ";
  const std::vector<bad_case> cases = {
      {"no LOWSPOT line", "0\nSPOT 1 2 2 0.5 2.2\n", "",
       "The lowspot input file: lowspots.txt does not start with the LOWSPOT card.\n"
       "The file format is invalid.  Program terminated.\n"},
      {"a longer first word", "LOWSPOTS\nSPOT 1 2 2 0.5 2.2\n", "",
       "does not start with the LOWSPOT card.\n"},
      {"no SPOT line", "LOW\n# nothing here\n", "",
       "Premature end-of-file in the lowspot input file.\n"
       "No SPOT cards encountered before end of file.\n"
       "Program terminated.\n"},
      {"nothing after the first line", "lowspot\n", "",
       "Premature end-of-file in the lowspot input file.\n"},
      {"a value that is not a number", spot + "1 2 right 0.5 2.2\n", "",
       "Error: line 2 of the lowspot input file lowspots.txt does not hold a SPOT card's row, "
       "column, side, width fraction and crest elevation.\n"},
      {"a line too long", "LOWSPOT\n#" + std::string(20000, 'x') + "\nSPOT 1 2 2 0.5 2.2\n", "",
       "Error: line 2 of the lowspot input file lowspots.txt is longer than 20000 characters.\n"},
      {"fraction 1.5000001", spot + "1 2 2 1.5000001 2.2\n", "",
       "\nThe fraction of the grid-size specified for the lowspot in the grid at\n"
       "row 1 col 2 is unreasonable, with a value of 1.500000.  Acceptable\n"
       " values range from 0.0 to 1.5.  Change the value.  Program terminated.\n"},
      {"side 3", spot + "1 2 3 0.5 2.2\n", "",
       "\nThe low spot flow direction specified in row 1 col 2 in the file lowspots.txt\n"
       "is not valid.  The only possible directions are: 1- top boundary, 2- right\n"
       "boundary, 4- bottom boundary, or 8- left boundary.\n"
       "Edit your lowspot file and try again.  Program terminated.\n"},
      {"no dike on the cell", spot + "1 1 2 0.5 3.5\n", "",
       "\nYou have specified an overland flow dike in row 1 col 1\n"
       "There is no dike adjacent to this grid cell.  Program stopped.\n"},
      {"across the grid's edge", spot + "1 4 2 0.5 0.5\n", "0 2 8 2\n",
       "\nYou have specified a low spot on the right boundary of the grid\n"
       "cell at row 1 col 4.  Either the side you have specified is not on\n"
       "an overland flow dike, or the cell on the other side is out of the\n"
       "watershed.  Check your low spot file.  Program terminated.\n"},
      {"crest below the cell", spot + "1 2 2 0.5 1.9\n", "",
       "\nThe elevation of the overland flow dike low spot you specified in the grid\n"
       "cell located at row 1 col 2 is 1.900000 m.  This elevation is lower than the\n"
       "elevation of the grid cell, which is 2.000000 m.  This situation is impossible.\n"
       "Please raise the low spot elevation to be greater than the grid cell elevation.\n"
       "Dike / low spot on right side of cell\n"
       "Program terminated\n"},
      {"crest below the cell across", spot + "1 3 8 0.5 1.5\n", "",
       "\nThe elevation of the overland flow dike low spot you specified in the grid\n"
       "cell located at row 1 col 3 is 1.500000 m.  This elevation is lower than the\n"
       "elevation of the grid cell on the other side of the dike, which is 2.000000 m.\n"
       "This situation is impossible.  Please raise the low spot elevation to be\n"
       "greater than the grid cell elevation.\n"
       "Dike / low spot on left side of cell\n"
       "Program terminated\n"},
      {"along the dike", spot + "1 2 2 0.5 2.2\n", "0 2 4 0\n",
       "\nThe low spot you have specified in the grid at row 1  col 2 does not\n"
       "cross the dike.  Rather, it runs _along_ the dike.  You specified flow\n"
       "at this low spot across the right boundary of the cell, while the dike\n"
       "is running in a different direction than along the right side of the cell.\n"
       "Program terminated.\n"},
      {"outside the grid", spot + "2 2 2 0.5 2.2\n", "",
       "\nThe low spot in row 2 col 2 of the lowspot file lowspots.txt lies outside the grid\n"
       "of 1 rows and 4 columns.  Edit your lowspot file and try again.  Program terminated.\n"},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.label);
    SetUp();
    dir_.write("lowspots.txt", c.lowspots);
    if (!c.dikes.empty()) {
      dir_.write("dikes.asc",
                 "north: 100\nsouth: 0\neast: 400\nwest: 0\nrows: 1\ncols: 4\n" + c.dikes);
    }
    write_project({}, "LOWSPOT_FILE lowspots.txt\n");
    const test_support::program_result r = test_support::run_program("dikes.prj", dir_.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("Running...."), std::string::npos);
  }
}

TEST_F(lowspot_input, a_low_spot_file_without_a_dike_map_is_refused) {
  write_project({"DIKE_MAP"}, "LOWSPOT_FILE lowspots.txt\n");
  const run_output out = run_in_process(dir_.path(), "dikes.prj");
  EXPECT_EQ(out.status, 1);
  EXPECT_NE(out.text.find("Error: the low-spot file lowspots.txt needs the DIKE_MAP card: a low "
                          "spot crosses an overland flow dike of the dike map.\n"),
            std::string::npos)
      << out.text;
}

}  // namespace
