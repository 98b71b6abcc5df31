// Overland boundary conditions: each type against a hand calculation, the
// XY depth points, the volumes booked for the summaries, and the balances
// closing on a watershed with a cell of every type.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "input/series.h"
#include "input/xy_inputs.h"
#include "surface/ov_boundary.h"
#include "surface_run_fixture.h"
#include "test_support.h"

namespace {

using namespace surface_fixture;
using test_support::temp_dir;

// A 3 x 3 grid of 10 m cells, n 0.05, the outlet in the centre, with
// boundary cells set as the table would set them and the series of the
// mapping table's index: 1 a level of 5.25 m, 2 an inflow of 1, 3 of -5.
struct boundary_grid {
  model_state s;
  explicit boundary_grid(double z = 0.0) {
    build_grid(s, 3, 3, 10.0, std::vector<double>(9, z), {0.05}, 2, 2, 0.01);
    s.input.settings.ov_boundary = 1;
    s.surface.ov_bdy_type.assign(10, 0);
    s.surface.ov_bdy_param.assign(10, 0.0);
    s.surface.ov_bdy_value.assign(10, 0.0);
    add_series(1, 5.25);
    add_series(2, 1.0);
    add_series(3, -5.0);
    s.input.ts_index.built = 1;
  }
  void add_series(int id, double value) {
    time_series* series = ts_new(s.input.settings.ts_list);
    series->name = "series " + std::to_string(id);
    series->time = {0.0, 10.0};
    series->value = {value, value};
    s.input.ts_index.entries.push_back({id, series});
  }
  void set(int cell, int type, double parameter, double depth) {
    s.surface.ov_bdy_type[cell] = type;
    s.surface.ov_bdy_param[cell] = parameter;
    s.surface.depth[cell] = depth;
  }
  void step(double dt) {
    ASSERT_TRUE(setup_ov_boundary_cells(s));
    set_ov_boundary_values(s);
    apply_ov_boundary_flux(s, dt);
  }
};

TEST(ov_boundary, each_type_moves_the_water_of_its_hand_calculation) {
  // Outflow depth over one open side of a free-outflow cell in 10 s:
  // 0.1^1.666667 x sqrt(0.01) x 10 / 0.05 x 10 / 100.
  const double one_side = std::pow(0.1, 1.666667) * 0.1 * 10.0 / 0.05 * 10.0 / 100.0;
  ASSERT_NEAR(one_side, 0.0430887, 1e-7);
  struct type_case {
    const char* label;
    int cell;  // 1 corner (two open sides), 2 edge (one), 5 centre (none)
    int type;
    double parameter;
    double ground;  // m
    double depth;   // m, before
    double dt;      // s
    double after;   // m
    double free_out, head_in, head_out, specified_in;  // m3
  };
  const type_case cases[] = {
      {"free outflow, corner", 1, 1, 0.01, 0.0, 0.1, 10.0, 0.1 - 2 * one_side,
       200.0 * one_side, 0, 0, 0},
      {"free outflow, edge", 2, 1, 0.01, 0.0, 0.1, 10.0, 0.1 - one_side, 100.0 * one_side, 0, 0,
       0},
      {"free outflow, inside the grid", 5, 1, 0.01, 0.0, 0.1, 10.0, 0.1, 0, 0, 0, 0},
      {"free outflow larger than the water", 1, 1, 0.01, 0.0, 0.1, 30.0, 0.0, 10.0, 0, 0, 0},
      {"fixed level below the ground", 1, 2, 4.5, 5.0, 0.2, 10.0, 0.0, 0, 0, 20.0, 0},
      {"fixed level above the ground", 1, 2, 5.3, 5.0, 0.1, 10.0, 0.3, 0, 20.0, 0, 0},
      {"level from a series", 1, 3, 1, 5.0, 0.0, 10.0, 0.25, 0, 25.0, 0, 0},
      {"1 ft3/s for 10 s", 1, 4, 2, 0.0, 0.1, 10.0, 0.1 + 0.00283168466, 0, 0, 0, 0.283168466},
      {"1 m3/s for 10 s", 1, 5, 2, 0.0, 0.1, 10.0, 0.2, 0, 0, 0, 10.0},
      {"-5 ft3/s for 10 s", 1, 4, 3, 0.0, 0.2, 10.0, 0.2 - 0.0141584233, 0, 0, 0, -1.41584233},
      // -50 m3 asked of a cell holding 20 m3: it gives what it holds.
      {"-5 m3/s for 10 s", 1, 5, 3, 0.0, 0.2, 10.0, 0.0, 0, 0, 0, -20.0},
  };
  for (const type_case& c : cases) {
    SCOPED_TRACE(c.label);
    clear_errors();
    boundary_grid g(c.ground);
    g.set(c.cell, c.type, c.parameter, c.depth);
    g.step(c.dt);
    ASSERT_EQ(error_state.stop_flag, 0);
    const surface_state& sf = g.s.surface;
    EXPECT_NEAR(sf.depth[c.cell], c.after, 1e-12);
    EXPECT_NEAR(sf.bdy_free_outflow, c.free_out, 1e-10);
    EXPECT_NEAR(sf.bdy_head_inflow, c.head_in, 1e-10);
    EXPECT_NEAR(sf.bdy_head_outflow, c.head_out, 1e-10);
    EXPECT_NEAR(sf.bdy_specified_inflow, c.specified_in, 1e-10);
    // What was booked is what the cell gained.
    const double gained = (sf.depth[c.cell] - c.depth) * 100.0;
    EXPECT_NEAR(gained, sf.bdy_head_inflow - sf.bdy_head_outflow - sf.bdy_free_outflow +
                            sf.bdy_specified_inflow,
                1e-10);
  }
  clear_errors();
}

TEST(ov_boundary, xy_depth_points_count_with_the_fixed_levels_and_act_only_with_the_card) {
  for (int card : {1, 0}) {
    SCOPED_TRACE(card);
    clear_errors();
    boundary_grid g;
    g.s.input.settings.ov_boundary = card;
    time_series* level = ts_new(g.s.input.settings.ts_list);
    level->name = "XY_OV_DEPTH_0000";
    level->time = {0.0, 10.0};
    level->value = {0.3, 0.3};
    auto xy = std::make_unique<xy_input>();
    xy->ovpts.grow(2);
    xy->ovpts[1] = {4, level};  // dry: filled to 0.3 m
    xy->ovpts[2] = {6, level};  // 0.5 m: drawn down to 0.3 m
    g.s.input.settings.xy_inputs = std::move(xy);
    g.s.surface.depth[6] = 0.5;
    g.step(10.0);
    const surface_state& sf = g.s.surface;
    EXPECT_EQ(sf.depth[4], card ? 0.3 : 0.0);
    EXPECT_EQ(sf.depth[6], card ? 0.3 : 0.5);
    EXPECT_NEAR(sf.bdy_head_inflow, card ? 30.0 : 0.0, 1e-12);
    EXPECT_NEAR(sf.bdy_head_outflow, card ? 20.0 : 0.0, 1e-12);
  }
  clear_errors();
}

// The boundaries fixture: a cell of every type and an XY depth point on a
// 3 x 4 grid under an hour of rain, copied into a temporary folder.
class boundary_run : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"mask.asc", "elevation.asc", "bdy.idx", "tables.cmt", "series.ts",
                             "xy_depth.txt", "boundaries.prj"}) {
      dir_.write(name, fixture_text("boundaries", name));
    }
  }
  void write_project(const std::vector<std::string>& drop, const std::string& extra) {
    dir_.write("boundaries.prj",
               edit_cards(fixture_text("boundaries", "boundaries.prj"), drop, extra));
  }
  // The percentage printed after label in the summary file.
  double summary_value(const std::string& label) {
    const std::string text = test_support::read_file(dir_.file("summary.out"));
    const std::size_t at = text.find(label);
    if (at == std::string::npos) {
      ADD_FAILURE() << "no line " << label << " in\n" << text;
      return 1e30;
    }
    return std::stod(text.substr(at + label.size()));
  }
  temp_dir dir_;
};

TEST_F(boundary_run, the_overall_and_surface_balances_close_with_every_boundary_type) {
  for (const char* scheme : {"explicit", "ade"}) {
    SCOPED_TRACE(scheme);
    write_project({"OVERTYPE"}, std::string("OVERTYPE ") + scheme + "\n");
    const test_support::program_result r = test_support::run_program("boundaries.prj", dir_.path());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(summary_value("Mass balance error of surface components ="), 0.0);
    EXPECT_EQ(summary_value("Overall mass balance error ="), 0.0);
    EXPECT_NEAR(summary_value("mass conservation error:"), 0.0, 1e-6);
    // Every kind of boundary moved water.
    EXPECT_GT(summary_value("Volume lost to specified slope boundary:"), 0.5);
    EXPECT_GT(summary_value("Volume lost to specified head boundary:"), 100.0);
    EXPECT_GT(summary_value("Volume gained from specified head boundary:"), 1000.0);
    // 0.5 ft3/s for an hour, 0.01 m3/s for 45 minutes, then -0.05 m3/s
    // while the cell has water.
    const double specified = summary_value("Volume gained from specified discharge boundary:");
    EXPECT_GT(specified, 0.0);
    EXPECT_LT(specified, 0.5 * cubic_feet_to_m3 * 3600.0 + 0.01 * 2700.0);
  }
}

TEST_F(boundary_run, water_in_and_out_balances_after_every_step) {
  double worst = 0.0, specified = 0.0, free_out = 0.0;
  const run_output out = run_in_process(dir_.path(), "boundaries.prj", [&](model_state& s) {
    const surface_state& sf = s.surface;
    const double in = sf.initial_volume + sf.rain_volume + sf.bdy_head_inflow +
                      sf.bdy_specified_inflow + sf.cleanup_volume;
    const double out = sf.outflow_volume + sf.bdy_head_outflow + sf.bdy_free_outflow +
                       surface_volume(s);
    worst = std::max(worst, std::fabs(in - out) / in);
    specified = sf.bdy_specified_inflow;
    free_out = sf.bdy_free_outflow;
    for (int i = 1; i <= s.grid.cells; ++i) ASSERT_GE(s.surface.depth[i], 0.0) << i;
  });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_LT(worst, 1e-12);
  EXPECT_GT(specified, 0.0);
  EXPECT_GT(free_out, 0.0);
}

TEST_F(boundary_run, xy_depth_points_without_the_card_are_named_and_left_alone) {
  write_project({"OV_BOUNDARY"}, "");
  double moved = 1.0;
  const run_output out = run_in_process(dir_.path(), "boundaries.prj", [&](model_state& s) {
    moved = s.surface.bdy_head_inflow + s.surface.bdy_head_outflow;
  });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_NE(out.text.find("Warning: the overland XY boundary depths act only with the "
                          "OV_BOUNDARY card; without it they are not applied.\n"),
            std::string::npos)
      << out.text;
  EXPECT_EQ(moved, 0.0);
}

TEST_F(boundary_run, bad_boundary_input_stops_the_set_up_with_its_message) {
  struct bad_case {
    const char* label;
    std::vector<std::string> drop;
    std::string file, from, to;  // a change to one of the fixture's files
    std::string message;
  };
  const std::vector<bad_case> cases = {
      {"no mapping table", {"MAPPING_TABLE"}, "tables.cmt", "", "",
       "Error: The OV_BOUNDARY card has been specified in the project file but the \n"
       "       OVERLAND_BOUNDARY table was not found...\n"},
      {"an XY depth point off the grid", {}, "xy_depth.txt", "numbers 6", "numbers 99",
       "Error: overland xy boundary point 1 names cell 99, but the watershed's cells are "
       "numbered 1 to 12.\n"},
      {"a series the index does not list", {}, "tables.cmt", "3  1\n", "3  9\n",
       "Error: overland boundary cell 11 (row 3 col 3) has the boundary type 3 and names time "
       "series 9, which the TIME_SERIES_INDEX table of the mapping table file tables.cmt does "
       "not give a series that was read.\n"},
      {"a negative friction slope", {}, "tables.cmt", "1  0.01\n", "1  -0.01\n",
       "Error: overland boundary cell 1 (row 1 col 1) has the free-outflow type 1 with the "
       "friction slope -0.010000 in the OVERLAND_BOUNDARY table; the slope must not be "
       "negative.\n"},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.label);
    SetUp();
    write_project(c.drop, "");
    std::string text = fixture_text("boundaries", c.file);
    if (!c.from.empty()) {
      const std::size_t at = text.find(c.from);
      ASSERT_NE(at, std::string::npos);
      text.replace(at, c.from.size(), c.to);
    }
    dir_.write(c.file, text);
    const run_output out = run_in_process(dir_.path(), "boundaries.prj");
    EXPECT_EQ(out.status, 1);
    EXPECT_NE(out.text.find(c.message), std::string::npos) << out.text;
    EXPECT_EQ(out.text.find("Running...."), std::string::npos);
  }
}

}  // namespace
