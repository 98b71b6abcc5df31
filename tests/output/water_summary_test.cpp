// The end-of-run water summary: the global and surface balances worked by
// hand, the guard that gives 0 rather than 0/0, the totals block line by line
// and its optional lines, and the optimiser's closing line.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "run/model_state.h"
#include "output/output_steps.h"
#include "output/summary_totals.h"
#include "output/water_summary.h"
#include "test_support.h"

namespace {

using test_support::read_file;
using test_support::temp_dir;

std::string printed(const run_water_totals& t, const summary_gates& g, const water_balance& b) {
  temp_dir dir;
  const std::string path = dir.file("summary.txt");
  std::FILE* f = std::fopen(path.c_str(), "w");
  print_water_summary(f, t, g, b);
  std::fclose(f);
  return read_file(path);
}

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(water_balance, overland_run_worked_by_hand) {
  run_water_totals t;
  t.initial_surface = 500.0;
  t.precipitation = 1000.0;
  t.interception = 25.0;  // held by the canopy: in no balance
  t.discharge = 900.0;
  summary_gates g;
  water_balance b;
  b.final_surface = 599.9;
  close_water_balance(t, g, b);
  EXPECT_DOUBLE_EQ(b.initial_storage, 500.0);
  EXPECT_DOUBLE_EQ(b.final_storage, 599.9);
  // (500 + 1000 - (599.9 + 900)) x 100 / 1500
  EXPECT_NEAR(b.overall_error, 0.1 * 100.0 / 1500.0, 1e-9);
  // (500 + 1000 - (900 + 599.9)) x 100 / (599.9 + 1000)
  EXPECT_NEAR(b.surface_error, 0.1 * 100.0 / 1599.9, 1e-9);
}

TEST(water_balance, losses_by_infiltration_method_and_groundwater) {
  run_water_totals t;
  t.precipitation = 1000.0;
  t.discharge = 600.0;
  t.infiltration = 300.0;
  t.downward_flux = 250.0;
  t.recharge = 40.0;
  t.deep_leakage = 5.0;
  t.pumping = 2.0;
  t.river_to_gw = 10.0;
  t.gw_to_river = 4.0;
  water_balance b;
  b.final_surface = 100.0;

  summary_gates green_ampt;
  green_ampt.green_ampt = true;
  close_water_balance(t, green_ampt, b);
  // in 1000 + 4 from the river; out 100 + 600 + 300 + 10
  EXPECT_NEAR(b.overall_error, (1004.0 - 1010.0) * 100.0 / 1004.0, 1e-9);

  summary_gates redistribution;
  close_water_balance(t, redistribution, b);
  // the downward flux leaves the surface and soil instead of the infiltration
  EXPECT_NEAR(b.overall_error, (1004.0 - 960.0) * 100.0 / 1004.0, 1e-9);

  summary_gates groundwater;
  groundwater.gw_simulation = true;
  t.initial_groundwater = 1e6;
  b.final_groundwater = 1e6 + 40.0;
  close_water_balance(t, groundwater, b);
  // storage 1e6 + 1000 in; 1e6 + 40 + 100 + 250 - 40 + 600 + 5 + 2 out
  EXPECT_NEAR(b.overall_error, (1e6 + 1000.0 - (1e6 + 957.0)) * 100.0 / (1e6 + 1000.0), 1e-9);
}

// The pipes start with the film of their depth floor: it is in the drains'
// books and in the overall storage, so a network that only passes water on
// closes both.
TEST(water_balance, the_drains_books_start_from_the_pipes_first_film) {
  run_water_totals t;
  t.head_boundary_gain = 729.0;
  t.overland_to_drains = 720.0;
  t.drains_to_overland = 687.5;
  t.discharge = 683.5;
  t.initial_drains = 0.0004;
  t.drain_volume = 32.5004;
  summary_gates g;
  g.drains = true;
  g.ov_boundary = true;
  water_balance b;
  b.final_surface = 13.0;
  close_water_balance(t, g, b);
  EXPECT_NEAR(b.drain_error, 0.0, 1e-12);
  // 729 + 0.0004 in; 13 + 32.5004 + 683.5 out
  EXPECT_NEAR(b.overall_error, 0.0, 1e-12);
  EXPECT_DOUBLE_EQ(b.initial_storage, 0.0004);
}

// A run whose wells were cut books what they delivered and what they asked;
// one whose wells gave all they asked prints the one line.
TEST(water_summary, cut_wells_book_what_they_asked_beside_what_they_gave) {
  summary_gates g;
  g.gw_simulation = true;
  run_water_totals t;
  t.initial_groundwater = 1e6;
  t.pumping = 615.6;
  t.pumping_asked = 720.0;
  water_balance b;
  b.final_groundwater = 1e6;
  EXPECT_TRUE(has(printed(t, g, b), "Pumping                                  615.60 \n"
                                    "Pumping asked of the wells               720.00 \n"));
  t.pumping_asked = t.pumping;
  EXPECT_FALSE(has(printed(t, g, b), "Pumping asked"));
}

// Nothing in, nothing stored: both errors are 0, never 0/0.
TEST(water_balance, no_inputs_and_no_storage_give_errors_of_zero) {
  const double tiny[] = {0.0, 1e-12, 1e-10};
  for (double v : tiny) {
    run_water_totals t;
    t.precipitation = v;
    summary_gates g;
    water_balance b;
    close_water_balance(t, g, b);
    EXPECT_EQ(b.overall_error, 0.0) << v;
    EXPECT_EQ(b.surface_error, 0.0) << v;
    EXPECT_FALSE(std::isnan(b.overall_error));
  }
  run_water_totals t;
  water_balance b;
  close_water_balance(t, summary_gates{}, b);
  const std::string text = printed(t, summary_gates{}, b);
  EXPECT_TRUE(has(text, "Mass balance error of surface components =                0.000000 percent\n"))
      << text;
  EXPECT_TRUE(has(text, "Overall mass balance error =                              0.000000 percent\n"))
      << text;
  EXPECT_FALSE(has(text, "nan"));
}

// An overland run: every line of the totals block in order, none of the
// optional ones, the plain soil labels and the overall error in its wide form.
TEST(water_summary, an_overland_run_prints_the_totals_block_in_order) {
  run_water_totals t;
  t.initial_surface = 12.5;
  t.precipitation = 1000.0;
  t.interception = 25.25;
  t.discharge = 900.0;
  water_balance b;
  b.final_surface = 112.4;
  close_water_balance(t, summary_gates{}, b);
  const std::string expected =
      "\n \n"
      "SIMULATION TOTALS\n"
      "GLOBAL MASS BALANCE CALCULATIONS \n"
      "All volumes are in cubic meters \n \n"
      "Initial volume on surface=                               12.50 \n"
      "Initial volume in channels=                               0.00 \n"
      "Initial volume in soils=                                  0.00 \n"
      "Initial volume in groundwater=                            0.00 \n"
      "\n"
      "Final volume on surface=                                112.40\n"
      "Final volume in channels=                                 0.00\n"
      "Final volume in soils=                                    0.00\n"
      "Final volume in groundwater=                              0.00\n"
      "Final volume of snow=                                     0.00\n"
      "\n"
      "Total amount of precip=                                1000.00\n"
      "Total amount of interception=                            25.25\n"
      "Total amount of infiltration=                             0.00\n"
      "Total amount of evaporation=                              0.00\n"
      "Total direct evaporation=                                 0.00\n"
      "Total amount of exfiltration=                             0.00\n"
      "\n"
      "Total downward flux from unsaturated zone=                0.00\n"
      "Total flux of gw across bounds=                           0.00\n"
      "Total overland point sources=                             0.00\n"
      "Total channel point sources=                              0.00\n\n"
      "Volume lost to specified slope boundary:                  0.00\n"
      "Volume lost to specified head boundary:                   0.00\n"
      "Volume gained from specified head boundary:               0.00\n"
      "Volume gained from specified discharge boundary:          0.00\n"
      "\n"
      "Total lateral inflow into channels=                       0.00\n"
      "Total amount of discharge=                              900.00\n"
      "\n"
      "Mass balance error of surface components =                0.008990 percent\n\n"
      "Overall mass balance error =                              0.009877 percent\n \n";
  EXPECT_EQ(printed(t, summary_gates{}, b), expected);
}

TEST(water_summary, option_lines_and_labels) {
  run_water_totals t;
  water_balance b;
  summary_gates simple;
  simple.simple_soil = true;
  const std::string s1 = printed(t, simple, b);
  EXPECT_TRUE(has(s1, "Initial volume in soil over simple soil depth             0.00 \n"));
  EXPECT_TRUE(has(s1, "Final volume in soil over simple soil depth               0.00\n"));
  EXPECT_TRUE(has(s1, "Simple soil moisture mass balance =                        0.000000 percent \n\n"));

  summary_gates groundwater = simple;
  groundwater.gw_simulation = true;
  t.initial_groundwater = 100.0;
  b.final_groundwater = 100.0;
  close_water_balance(t, groundwater, b);
  const std::string s2 = printed(t, groundwater, b);
  EXPECT_TRUE(has(s2, "Initial volume in soils=                                  0.00 \n"));
  EXPECT_TRUE(has(s2, "GROUNDWATER CALCULATIONS \n\n"));
  EXPECT_TRUE(has(s2, "Mass Balance error =                       0.00 %  \n"));
  EXPECT_TRUE(has(s2, "Total recharge inputs to groundwater=                     0.00\n"));
  EXPECT_LT(s2.find("Which is not exactly calculated \n"), s2.find("SIMULATION TOTALS"));

  summary_gates sacramento;
  sacramento.sacramento = true;
  const std::string s3 = printed(t, sacramento, b);
  EXPECT_FALSE(has(s3, "Total amount of exfiltration="));
  EXPECT_FALSE(has(s3, "Total downward flux from unsaturated zone="));
  EXPECT_TRUE(has(s3, "Total recharge to deep g.w.=                              0.00\n"));
  EXPECT_TRUE(has(s3, "simulations of very short events (only a few hours long).\n \n"));

  summary_gates everything;
  everything.channel_lakes = true;
  everything.overland_lakes = true;
  everything.drains = true;
  everything.stream_exchange = true;
  everything.water_table = true;
  everything.lake_seepage = true;
  everything.xy_boundaries = true;
  const std::string s4 = printed(t, everything, b);
  for (const char* line :
       {"Initial volume in perennial lakes", "Final volume in overland lakes=", "Final volume in drains=",
        "Final volume in perennial lakes", "Total flux from river to gw=", "Total flux from gw to river=",
        "Volume precip to lakes=", "Total flux from lakes to gw=", "Volume of overland to subsurface drains",
        "Volume gained from XY boundaries", "Overland lake mass bal error m^3:",
        "Perennial lake mass bal error m^3=", "Subsurface drain mass bal error m^3="}) {
    EXPECT_TRUE(has(s4, line)) << line;
  }
  for (const char* line : {"Initial volume of snow=", "Total snow melt released=",
                           "Channel routing sub-steps="})
    EXPECT_FALSE(has(s4, line)) << line;

  // A snow pack's start joins the initial volumes, its melt the totals; the
  // channels count their sub-steps.
  summary_gates snow;
  snow.snow = true;
  snow.channel_routing = true;
  t.initial_snow = 500.0;
  t.snow_melt = 123.45;
  t.channel_substeps = 4321;
  const std::string s5 = printed(t, snow, b);
  EXPECT_TRUE(has(s5,
                  "Initial volume in groundwater=                          100.00 \n"
                  "Initial volume of snow=                                 500.00 \n\n"))
      << s5;
  EXPECT_TRUE(has(s5,
                  "Total amount of exfiltration=                             0.00\n"
                  "Total snow melt released=                               123.45\n\n"));
  EXPECT_TRUE(has(s5,
                  "Total amount of discharge=                                0.00\n"
                  "Channel routing sub-steps=                                4321\n"));
  EXPECT_FALSE(has(s5, "Overland steps cut=")) << s5;

  // Overland steps cut twice to a third and twice to a ninth of 2 s, the
  // sub-steps that failed routed again.
  t.overland_cuts.add(2.0 / 3.0);
  t.overland_cuts.add(2.0 / 9.0);
  t.overland_cuts.add(2.0 / 3.0);
  t.overland_cuts.add(2.0 / 9.0 * (1.0 + 2e-5));  // a clock's step is not exact
  t.overland_retried = 3;
  const std::string s6 = printed(t, snow, b);
  EXPECT_TRUE(has(s6,
                  "Channel routing sub-steps=                                4321\n"
                  "Overland steps cut=                                          4\n"
                  "  to a sub-step of 0.6667 s=                                 2\n"
                  "  to a sub-step of 0.2222 s=                                 2\n"
                  "Overland sub-steps routed again after a cut=                 3\n"))
      << s6;
}

// The optimiser gets the run's outlet volume on one line, and its file is
// closed.
TEST(write_summary, writes_the_calibration_total_and_closes_its_file) {
  struct calib_case {
    int cfs;
    const char* expected;
  };
  const calib_case cases[] = {
      {0, "2    959.500000\n"},
      {1, "2  33889.540000\n"},  // 959.5 x 35.32
  };
  for (const calib_case& c : cases) {
    temp_dir dir;
    model_state s;
    s.input.optimize = 1;
    s.run.event_index = 1;
    s.run.qout_cfs = c.cfs;
    s.surface.outflow_volume = 959.5;
    ASSERT_TRUE(s.calib.optim_out.open(dir.file("optim.out").c_str(), "w"));
    ASSERT_TRUE(s.output.summary.open(dir.file("summary.out").c_str(), "w"));
    write_summary(s);
    EXPECT_FALSE(s.calib.optim_out.is_open());
    EXPECT_EQ(read_file(dir.file("optim.out")), c.expected);
    s.output.summary.close();
    EXPECT_TRUE(has(read_file(dir.file("summary.out")), "SIMULATION TOTALS"));
  }
}

// The final storages come from the cells; the balance stays in the record.
TEST(write_summary, sums_the_surface_left_on_the_cells_and_keeps_the_balance) {
  temp_dir dir;
  model_state s;
  s.grid.cells = 3;
  s.grid.dx = 10.0;
  s.surface.depth = {0.0, 0.01, 0.02, 0.0};
  s.surface.rain_volume = 33.0;
  s.surface.outflow_volume = 3.0;
  ASSERT_TRUE(s.output.summary.open(dir.file("summary.out").c_str(), "w"));
  write_summary(s);
  s.output.summary.close();
  EXPECT_NEAR(s.output.water.final_surface, 3.0, 1e-12);
  EXPECT_NEAR(s.output.water.overall_error, 27.0 * 100.0 / 33.0, 1e-9);
  EXPECT_TRUE(has(read_file(dir.file("summary.out")),
                  "Final volume on surface=                                  3.00\n"));
}

}  // namespace
