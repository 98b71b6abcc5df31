// The first runnable simulation: uniform rain on the plane20 fixture (a
// 2000 m plane of twenty 100 m cells at 1 % slope, n 0.05, 36 mm/h for four
// hours) routed to its outlet. The outlet discharges are checked against the
// kinematic-wave solution of the plane: the rising limb Q = W alpha (i t)^m,
// the equilibrium Q = i x area = 2.00 m3/s, and the recession at the outlet,
// with alpha = sqrt(S) / n = 2 and m = 5/3.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "surface_run_fixture.h"
#include "test_support.h"

namespace {

using namespace surface_fixture;
using test_support::temp_dir;

const std::vector<std::string> plane_files = {"mask.asc", "elevation.asc"};

class plane_run : public testing::Test {
 protected:
  // Copies plane20 into the folder, with its cards edited, and runs it.
  run_output run(const std::vector<std::string>& drop = {}, const std::string& extra = "",
                 const std::function<void(model_state&)>& after_pass = nullptr) {
    for (const std::string& name : plane_files) dir_.write(name, fixture_text("plane20", name));
    dir_.write("plane20.prj", edit_cards(fixture_text("plane20", "plane20.prj"), drop, extra));
    return run_in_process(dir_.path(), "plane20.prj", after_pass);
  }

  // The same plane laid out as one column of twenty cells, draining south,
  // or as the row mirrored, draining west.
  void write_layout(bool column, bool mirrored) {
    std::vector<double> z(20);
    for (int k = 0; k < 20; ++k) z[k] = mirrored ? k : 19 - k;
    const std::vector<double> ones(20, 1.0);
    const int rows = column ? 20 : 1;
    const int cols = column ? 1 : 20;
    dir_.write("mask.asc", ascii_grid(rows, cols, 100, ones));
    dir_.write("elevation.asc", ascii_grid(rows, cols, 100, z));
    const int out_row = column ? 20 : 1;
    const int out_col = column ? 1 : (mirrored ? 1 : 20);
    std::string cards = edit_cards(fixture_text("plane20", "plane20.prj"),
                                   {"ROWS", "COLS", "OUTROW", "OUTCOL"});
    cards += "ROWS " + std::to_string(rows) + "\nCOLS " + std::to_string(cols) + "\nOUTROW " +
             std::to_string(out_row) + "\nOUTCOL " + std::to_string(out_col) + "\n";
    dir_.write("plane20.prj", cards);
  }

  std::string file(const std::string& name) { return test_support::read_file(dir_.file(name)); }

  temp_dir dir_;
};

double q_at(const std::vector<progress_row>& rows, double minutes) {
  for (const progress_row& r : rows)
    if (std::fabs(r.minutes - minutes) < 1e-6) return r.q;
  ADD_FAILURE() << "no progress line at " << minutes;
  return -1.0;
}

TEST_F(plane_run, rises_reaches_equilibrium_and_recedes_as_the_kinematic_wave) {
  double rain = 0.0, outflow = 0.0, storage = 0.0;
  int rain_steps = 0;
  const run_output out = run({}, "", [&](model_state& s) {
    rain = s.surface.rain_volume;
    outflow = s.surface.outflow_volume;
    storage = surface_volume(s);
    rain_steps = s.surface.rain_steps;
  });
  ASSERT_EQ(out.status, 0) << out.text;
  // 36 mm/h for 240 minutes on 200000 m2, in 480 steps; none of it lost.
  EXPECT_NEAR(rain, 28800.0, 1e-6 * 28800.0);  // to the clock's rounding of the step
  EXPECT_EQ(rain_steps, 480);
  EXPECT_NEAR(outflow + storage, rain, 1e-9 * rain);
  const std::vector<progress_row> rows = progress_rows(out.text);
  ASSERT_EQ(rows.size(), 721u) << out.text;  // 0 to 360 minutes every 30 s
  EXPECT_EQ(rows.front().minutes, 0.0);

  // Rising limb: the kinematic wave gives 0.62 m3/s over the step ending at
  // 52.5 minutes and 0.638 m3/s at 53 minutes.
  const double rising = q_at(rows, 52.5);
  EXPECT_GT(rising, 0.61);
  EXPECT_LT(rising, 0.67);

  // Equilibrium: rain rate x area = 1e-5 m/s x 200000 m2.
  for (const progress_row& r : rows) {
    if (r.minutes >= 180.0 - 1e-9 && r.minutes <= 239.5 + 1e-9) {
      EXPECT_EQ(r.q, 2.00) << r.minutes;
    }
  }

  // Recession: the first line below 1.00 m3/s after the rain, kinematic 281.1
  // to 281.6 minutes.
  double first_below = -1.0;
  for (const progress_row& r : rows) {
    if (r.minutes > 240.0 && r.q < 1.0) {
      first_below = r.minutes;
      break;
    }
  }
  EXPECT_GE(first_below, 278.0);
  EXPECT_LE(first_below, 285.0);

  // The event's row: peak 2.000 m3/s, volume within 0.5 % of 26920 m3.
  const std::string optim = file("plane_optim.out");
  int event = 0;
  double peak = 0.0, volume = 0.0;
  ASSERT_EQ(std::sscanf(optim.c_str(), "%d %lf %lf", &event, &peak, &volume), 3) << optim;
  EXPECT_EQ(event, 1);
  EXPECT_NEAR(peak, 2.000, 0.0005);
  EXPECT_NEAR(volume, 26920.0, 0.005 * 26920.0);
}

TEST_F(plane_run, the_same_plane_as_a_column_and_mirrored_west_prints_the_same_discharges) {
  const run_output row = run();
  ASSERT_EQ(row.status, 0) << row.text;
  const std::string row_optim = file("plane_optim.out");
  struct layout_case {
    const char* label;
    bool column;
    bool mirrored;
  };
  for (const layout_case& c : {layout_case{"20 x 1 column draining south", true, false},
                               layout_case{"row mirrored, draining west", false, true}}) {
    SCOPED_TRACE(c.label);
    write_layout(c.column, c.mirrored);
    const run_output other = run_in_process(dir_.path(), "plane20.prj");
    ASSERT_EQ(other.status, 0) << other.text;
    EXPECT_EQ(progress_lines(other.text), progress_lines(row.text));
    EXPECT_EQ(file("plane_optim.out"), row_optim);
  }
}

TEST_F(plane_run, the_predictor_corrector_outlet_drains_in_the_y_pass) {
  // In the column the flow runs in y, so the outlet is drained after each
  // corrector: equilibrium at 2.00.
  write_layout(true, false);
  dir_.write("plane20.prj", test_support::read_file(dir_.file("plane20.prj")) + "OVERTYPE ade-pc\n");
  const run_output column = run_in_process(dir_.path(), "plane20.prj");
  ASSERT_EQ(column.status, 0) << column.text;
  for (const progress_row& r : progress_rows(column.text)) {
    if (r.minutes >= 180.0 - 1e-9 && r.minutes <= 239.5 + 1e-9) {
      EXPECT_EQ(r.q, 2.00) << r.minutes;
    }
  }

  // In the row the y pass comes before or after the x pass by turns, so
  // consecutive steps drain the outlet before and after its inflow: the
  // lines alternate about 1.89 and 2.10 around the equilibrium.
  const run_output row = run({}, "OVERTYPE ade-pc\n");
  ASSERT_EQ(row.status, 0) << row.text;
  std::vector<double> q;
  for (const progress_row& r : progress_rows(row.text)) {
    if (r.minutes >= 180.0 - 1e-9 && r.minutes <= 239.5 + 1e-9) q.push_back(r.q);
  }
  ASSERT_EQ(q.size(), 120u);
  double sum = 0.0;
  for (std::size_t k = 0; k < q.size(); ++k) {
    sum += q[k];
    if (k > 0) {
      EXPECT_GT(std::fabs(q[k] - q[k - 1]), 0.15) << k;
    }
    EXPECT_NEAR(q[k], q[k] < 2.0 ? 1.89 : 2.10, 0.02) << k;
  }
  EXPECT_NEAR(sum / q.size(), 2.00, 0.006);
}

TEST_F(plane_run, one_and_eight_threads_print_the_same_lines_and_row) {
  const run_output one = run({}, "NUM_THREADS 1\n");
  ASSERT_EQ(one.status, 0) << one.text;
  const std::string optim_one = file("plane_optim.out");
  const run_output eight = run({}, "NUM_THREADS 8\n");
  ASSERT_EQ(eight.status, 0) << eight.text;
  EXPECT_EQ(progress_lines(one.text), progress_lines(eight.text));
  EXPECT_EQ(file("plane_optim.out"), optim_one);
  EXPECT_FALSE(optim_one.empty());
}

TEST_F(plane_run, the_canopy_holds_its_store_and_its_share_of_the_rest) {
  // A store of 2 mm and a coefficient of 0.1 on every cell: of the 144 mm of
  // rain, 2 mm + 0.1 x 142 mm = 16.2 mm stay on the canopy.
  const std::vector<double> store(20, 2.0), coef(20, 0.1);
  dir_.write("store.asc", ascii_grid(1, 20, 100, store));
  dir_.write("coef.asc", ascii_grid(1, 20, 100, coef));
  double rain = 0.0, held = 0.0, outflow = 0.0, storage = 0.0;
  const run_output out = run({}, "INTERCEPTION\nSTORAGE_CAPACITY store.asc\nINTERCEPTION_COEFF coef.asc\n",
                             [&](model_state& s) {
                               rain = s.surface.rain_volume;
                               held = s.surface.interception_volume;
                               outflow = s.surface.outflow_volume;
                               storage = surface_volume(s);
                             });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_NE(out.text.find("reading interception storage from file: store.asc\n"), std::string::npos);
  EXPECT_NEAR(held, 0.0162 * 200000.0, 1e-6 * 3240.0);
  EXPECT_NEAR(rain, (0.144 - 0.0162) * 200000.0, 1e-6 * 25560.0);
  EXPECT_NEAR(outflow + storage, rain, 1e-9 * rain);
}

TEST_F(plane_run, an_optimize_card_without_a_name_writes_valto_optim_out) {
  const run_output out = run({"OPTIMIZE"}, "OPTIMIZE\n");
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_EQ(file("valto_optim.out").substr(0, 11), "1     2.000");
}

TEST_F(plane_run, an_optimisation_file_that_cannot_be_opened_stops_the_set_up) {
  for (const std::string& name : plane_files) dir_.write(name, fixture_text("plane20", name));
  dir_.write("plane20.prj", edit_cards(fixture_text("plane20", "plane20.prj"), {"OPTIMIZE"},
                                       "OPTIMIZE no_such_folder/plane_optim.out\n"));
  const test_support::program_result r = test_support::run_program("plane20.prj", dir_.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("Problem opening optimization output file named:"
                          "no_such_folder/plane_optim.out for writing\n"),
            std::string::npos)
      << r.output;
  EXPECT_EQ(r.output.find("Running...."), std::string::npos);
}

TEST_F(plane_run, bad_input_stops_the_run_with_its_message) {
  struct bad_case {
    const char* label;
    std::vector<std::string> drop;
    std::string extra;
    std::string message;
  };
  const std::vector<bad_case> cases = {
      {"negative rain", {"RAIN_INTENSITY"}, "RAIN_INTENSITY -5\n",
       "Error: line 24 of the project file plane20.prj: the value -5 of card RAIN_INTENSITY is "
       "outside its range; it must be from 0 to 10000.\n"},
      {"no outlet slope", {"OUTSLOPE"}, "", "Error: Outlet slope not specified.\n"},
      {"outlet outside the mask", {"OUTCOL"}, "OUTCOL 21\n",
       "The outlet row and column you specified in the project file are not\n"},
      {"scheme out of range", {}, "OVERTYPE 7\n",
       "Error: the project card OVERTYPE has the value 7; the overland routing scheme must be 1 "
       "(explicit), 2 (ade) or 3 (ade-pc).\n"},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.label);
    const run_output out = run(c.drop, c.extra);
    EXPECT_EQ(out.status, 1);
    EXPECT_NE(out.text.find(c.message), std::string::npos) << out.text;
    EXPECT_EQ(out.text.find("finished event"), std::string::npos);
  }
}

}  // namespace
