// Whole runs leave their results on disk: the outlet hydrograph, the event
// summary and the end-of-run summary, whose global mass balance closes on
// overland-only runs; a run stopped by an error keeps its rows but writes no
// end-of-run summary.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "run/run_simulation.h"
#include "core/error_state.h"
#include "run/model_state.h"
#include "run/run_loop.h"
#include "test_support.h"

namespace {

using test_support::lines_of;

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::temp_dir;

// A copy of a fixture project in a fresh directory, its project file
// optionally edited, run by the program.
struct fixture_run {
  temp_dir dir;
  fs::path project;
  test_support::program_result result{};

  fixture_run(const std::string& fixture, const std::string& prj, const std::string& from = "",
              const std::string& to = "") {
    fs::copy(fs::path(VALTO_FIXTURES_DIR) / fixture, dir.path(), fs::copy_options::recursive);
    project = dir.path() / prj;
    if (!from.empty()) {
      std::string text = read_file(project.string());
      const size_t at = text.find(from);
      EXPECT_NE(at, std::string::npos) << from;
      if (at != std::string::npos) text.replace(at, from.size(), to);
      dir.write(prj, text);
    }
  }
  void run() { result = test_support::run_program(project.filename().string(), dir.path()); }
  std::string file(const std::string& name) const { return read_file(dir.file(name)); }
};

// The number after label on the first line that starts with it.
double value_after(const std::string& text, const std::string& label) {
  const size_t at = text.find(label);
  if (at == std::string::npos) return NAN;
  return std::strtod(text.c_str() + at + label.size(), nullptr);
}

// Each part found after the one before it.
void expect_in_order(const std::string& text, const std::vector<std::string>& parts) {
  size_t from = 0;
  for (const std::string& part : parts) {
    const size_t at = text.find(part, from);
    ASSERT_NE(at, std::string::npos) << "missing or out of order: " << part;
    from = at + part.size();
  }
}

const std::vector<std::string> event_summary_lines = {
    "         VALTO EVENT RUNOFF SIMULATION SUMMARY\n",
    "            Event began on 06/01/2000 at 00:00\n",
    "   With uniform rainfall of ",
    "elevation and gridsize are in meters\n",
    "timestep                                   ",
    "number of timesteps with rain:             ",
    "elapsed time when rain began:              ",
    "peak occured on strict Julian date:       ",
    "date/time of peak discharge:              ",
    "Event peak discharge (cubic meters per second):  ",
    "Note: all volumes in cubic meters.\n",
    "initial volume of overland flow:      ",
    "initial liquid-equiv. volume of snow: ",
    "volume of rainfall to overland:      ",
    "volume of interception:              ",
    "volume of direct evaporation:        ",
    "volume of infiltrated water:         ",
    "volume of water exfiltrated:         ",
    "volume of discharge:                 ",
    "volume from overland point sources:  ",
    "volume remaining on surface:         ",
    "final volume of snow (cu. m):        ",
    "mass conservation error:                         ",
    "Note: positive mass conservation error indicates mass was created.\n",
    "Mass input + original mass:           ",
    "Mass output + final mass:             ",
    "mass cleanup error from overland:     ",
    "THE FOLLOWING WARNINGS ARE GIVEN:\n",
    "\n THE FOLLOWING INPUTS WERE READ:\n",
    "A TPG Project File was used.\n",
    "\n THE FOLLOWING PROCESSES WERE SIMULATED:\n",
    "Uniform overland roughness.\n",
    "\n THE FOLLOWING OUTPUT MAPS WERE WRITTEN EVERY ",
    "\n THE FOLLOWING ASCII OUTPUT FILES WERE WRITTEN TO EVERY ",
    "     hydrograph at the catchment outlet.\n",
};

const std::vector<std::string> run_summary_lines = {
    "SIMULATION TOTALS\n",
    "GLOBAL MASS BALANCE CALCULATIONS \n",
    "All volumes are in cubic meters \n \n",
    "Initial volume on surface=                      ",
    "Initial volume in channels=                     ",
    "Initial volume in soils=                        ",
    "Initial volume in groundwater=                  ",
    "Final volume on surface=                        ",
    "Final volume in channels=                       ",
    "Final volume in soils=                          ",
    "Final volume in groundwater=                    ",
    "Final volume of snow=                           ",
    "Total amount of precip=                         ",
    "Total amount of interception=                   ",
    "Total amount of infiltration=                   ",
    "Total amount of evaporation=                    ",
    "Total direct evaporation=                       ",
    "Total amount of exfiltration=                   ",
    "Total downward flux from unsaturated zone=      ",
    "Total flux of gw across bounds=                 ",
    "Total overland point sources=                   ",
    "Total channel point sources=                    ",
    "Volume lost to specified slope boundary:        ",
    "Volume lost to specified head boundary:         ",
    "Volume gained from specified head boundary:     ",
    "Volume gained from specified discharge boundary:",
    "Total lateral inflow into channels=             ",
    "Total amount of discharge=                      ",
    "Mass balance error of surface components =              ",
    "Overall mass balance error =                        ",
};

// Rain of 36 mm/h for 240 minutes on 20 cells of 100 m: 28800 m3.
TEST(run_outputs, plane20_leaves_its_hydrograph_and_both_summaries) {
  fixture_run r("plane20", "plane20.prj");
  r.run();
  ASSERT_EQ(r.result.status, 0) << r.result.output;

  const std::vector<std::string> rows = lines_of(r.file("outlet.hyd"));
  ASSERT_EQ(rows.size(), 361u);
  EXPECT_EQ(rows.front().substr(0, 9), "    0.00 ");
  EXPECT_EQ(rows.back().substr(0, 9), "  360.00 ");
  for (const std::string& row : rows) EXPECT_EQ(row.size(), 18u) << row;

  const std::string summary = r.file("summary.out");
  expect_in_order(summary, event_summary_lines);
  expect_in_order(summary, run_summary_lines);
  EXPECT_LT(summary.find("VALTO EVENT RUNOFF"), summary.find("SIMULATION TOTALS"));
  EXPECT_NE(summary.find("   With uniform rainfall of   36.0 mm/h for  240.0 minutes.\n"),
            std::string::npos);
  EXPECT_NE(summary.find("number of timesteps with rain:             480\n"), std::string::npos);
  EXPECT_NEAR(value_after(summary, "volume of rainfall to overland:"), 28800.0, 0.05);
  EXPECT_NEAR(value_after(summary, "Total amount of precip="), 28800.0, 0.005);

  const double precip = value_after(summary, "Total amount of precip=");
  const double discharge = value_after(summary, "Total amount of discharge=");
  const double left = value_after(summary, "Final volume on surface=");
  EXPECT_GT(discharge, 0.5 * precip);
  EXPECT_NEAR(precip, discharge + left, 1e-4 * precip);
  EXPECT_LT(std::fabs(value_after(summary, "Overall mass balance error =")), 0.01);
  EXPECT_LT(std::fabs(value_after(summary, "Mass balance error of surface components =")), 0.01);
  EXPECT_LT(std::fabs(value_after(summary, "mass conservation error:")), 0.01);

  // The file is named as it will stand, not by the name it is written under.
  EXPECT_NE(summary.find("writing output for optimization to file plane_optim.out\n"),
            std::string::npos);
  EXPECT_EQ(summary.find(".partial"), std::string::npos);

  // The optimiser's closing line: event counter + 1 and the run's outflow.
  const std::vector<std::string> optim = lines_of(r.file("plane_optim.out"));
  ASSERT_FALSE(optim.empty());
  EXPECT_EQ(optim.back().substr(0, 2), "2 ");
  EXPECT_NEAR(std::strtod(optim.back().c_str() + 2, nullptr), discharge, 0.01);
}

// Uniform rain falls for the minutes the user gave, whether or not they fill
// whole steps of 120 s: 36 mm/h on 200000 m2 gives 120 m3 a minute, the
// last step rained on for its share.
TEST(run_outputs, uniform_rain_falls_for_its_whole_duration_on_any_step) {
  struct rain_case {
    const char* duration;  // minutes
    double precip;         // m3
    const char* steps;     // steps with rain
  };
  for (const rain_case& c : {rain_case{"1", 120.0, "1"}, rain_case{"5", 600.0, "3"},
                             rain_case{"7", 840.0, "4"}, rain_case{"240", 28800.0, "120"}}) {
    fixture_run r("plane20", "plane20.prj", "TIMESTEP         30\n", "TIMESTEP         120\n");
    std::string text = read_file(r.project.string());
    text.replace(text.find("RAIN_DURATION    240"), 20, std::string("RAIN_DURATION ") + c.duration);
    r.dir.write("plane20.prj", text);
    r.run();
    ASSERT_EQ(r.result.status, 0) << r.result.output;
    const std::string summary = r.file("summary.out");
    EXPECT_NEAR(value_after(summary, "Total amount of precip="), c.precip, 0.005) << c.duration;
    EXPECT_NEAR(value_after(summary, "volume of rainfall to overland:"), c.precip, 0.05)
        << c.duration;
    EXPECT_NE(summary.find(std::string("number of timesteps with rain:             ") + c.steps +
                           "\n"),
              std::string::npos)
        << c.duration;
    EXPECT_LT(std::fabs(value_after(summary, "Overall mass balance error =")), 1e-4)
        << c.duration;
  }
}

// Rain of 10.8 mm/h for 90 minutes on 4050 cells of 20 m: 26244 m3.
TEST(run_outputs, tilted_v_balance_closes) {
  fixture_run r("outputs/tilted_v", "tilted_v.prj");
  r.run();
  ASSERT_EQ(r.result.status, 0) << r.result.output;
  const std::string summary = r.file("summary.out");
  expect_in_order(summary, event_summary_lines);
  expect_in_order(summary, run_summary_lines);
  EXPECT_NEAR(value_after(summary, "Total amount of precip="), 26244.0, 0.005);
  EXPECT_LT(std::fabs(value_after(summary, "Overall mass balance error =")), 0.01);
  EXPECT_LT(std::fabs(value_after(summary, "Mass balance error of surface components =")), 0.01);
  EXPECT_GT(value_after(summary, "Total amount of discharge="), 0.0);

  const std::vector<std::string> rows = lines_of(r.file("outlet.hyd"));
  const std::vector<std::string> twin = lines_of(r.file("outlet6.hyd"));
  ASSERT_EQ(rows.size(), 181u);
  ASSERT_EQ(twin.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    // Same time; the twin's six digits round to the hydrograph's three.
    EXPECT_EQ(rows[i].substr(0, 8), twin[i].substr(0, 8));
    EXPECT_NEAR(std::strtod(rows[i].c_str() + 8, nullptr), std::strtod(twin[i].c_str() + 8, nullptr),
                0.0005);
  }
}

// No rain, no inflow, a dry surface: the balances print 0, not nan. The
// project's rain (which may not be 0 on its card) is taken away after set-up.
TEST(run_outputs, a_run_without_water_prints_errors_of_zero) {
  fixture_run r("plane20", "plane20.prj");
  std::vector<run_phase> setup(production_setup_phases().begin(), production_setup_phases().end());
  setup.push_back({"no_rain", +[](model_state& s) { s.input.rain_intensity = 0.0; }});
  run_lists lists = production_lists();
  lists.setup = setup;
  {
    test_support::scoped_cwd cwd(r.dir.path());
    test_support::stdout_capture capture;
    EXPECT_EQ(run_model("plane20.prj", nullptr, lists), 0);
    capture.stop();
  }
  const std::string summary = r.file("summary.out");
  EXPECT_EQ(summary.find("nan"), std::string::npos) << summary;
  EXPECT_NE(summary.find("Total amount of precip=                                   0.00\n"),
            std::string::npos);
  EXPECT_NE(summary.find("Mass balance error of surface components =                0.000000 percent\n"),
            std::string::npos);
  EXPECT_NE(summary.find("Overall mass balance error =                              0.000000 percent\n"),
            std::string::npos);
  EXPECT_NE(summary.find("Note: no rainfall was input.\n"), std::string::npos);
}

// A step that stops the run at step 10: the rows so far are on disk, the
// summary has no totals and the optimiser no closing line.
TEST(run_outputs, a_stopped_run_keeps_its_rows_and_writes_no_end_of_run_summary) {
  fixture_run r("plane20", "plane20.prj");
  std::vector<run_phase> steps(production_steps().begin(), production_steps().end());
  steps.push_back({"stop_at_step_10", +[](model_state& s) {
                     if (s.run.step == 10) raise_message("Error: stopped by the test.\n");
                   }});
  run_lists lists = production_lists();
  lists.steps = steps;
  {
    test_support::scoped_cwd cwd(r.dir.path());
    test_support::stdout_capture capture;
    EXPECT_EQ(run_model("plane20.prj", nullptr, lists), 1);
    capture.stop();
  }
  error_state = error_record{};
  // The stopped run's files keep their temporary names.
  const std::vector<std::string> rows = lines_of(r.file("outlet.hyd.partial"));
  ASSERT_EQ(rows.size(), 6u);  // steps 0, 2, .., 10
  EXPECT_EQ(rows.back().substr(0, 8), "    5.00");
  const std::string summary = r.file("summary.out.partial");
  EXPECT_NE(summary.find("Error: stopped by the test.\n"), std::string::npos);
  EXPECT_EQ(summary.find("SIMULATION TOTALS"), std::string::npos);
  EXPECT_EQ(summary.find("VALTO EVENT RUNOFF"), std::string::npos);
  for (const std::string& line : lines_of(r.file("plane_optim.out"))) {
    EXPECT_NE(line.substr(0, 2), "2 ");
  }
}

}  // namespace
