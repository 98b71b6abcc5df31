// Calibrating against sediment: with OPTIMIZE_SED the event rows and the
// scored record hold the event's peak outlet sediment discharge and outlet
// sediment volume, then the same at every sediment location, and the last
// line of the calibration file the wash load that left the outlet. The
// fixture is the bank plane draining into its erodible trapezoid channel
// (36 mm/h for four hours, three sediment classes), with the locations at
// channel nodes 5 and 10.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "../surface/surface_run_fixture.h"
#include "calib_test_support.h"
#include "calibration/calib_objective.h"
#include "calibration/run_cost_callback.h"
#include "calibration/run_results.h"
#include "test_support.h"
#include "quality/sediment_tables.h"

namespace {

using test_support::padded;

using namespace surface_fixture;

constexpr double step = 30.0;  // s, the channel step of the bank project

std::string sediment_tables() { return sediment_fixture::three_class_loam_tables(); }

// The bank project with eroding soil, an erodible channel, the two
// sediment locations and sediment calibration rows; `manning` stands for
// the plane's roughness (a number or a replaced name).
void write_project(const calib_test::work_folder& dir, const std::string& manning) {
  for (const char* name : {"mask.asc", "elevation.asc", "bank.gst"})
    dir.write(name, fixture_text("bank", name));
  dir.write("bank.chan", sediment_fixture::erodible_channel(fixture_text("bank", "bank.chan")));
  dir.write("soils.idx", ascii_grid(3, 10, 100, std::vector<double>(30, 1.0)));
  dir.write("tables.cmt", sediment_tables());
  dir.write("sed.loc", "2\n1 5\n1 10\n");
  dir.write("bank.prj",
            edit_cards(fixture_text("bank", "bank.prj"), {"HYD_FREQ", "MANNING_N"},
                       "NUM_THREADS 1\nSOIL_EROSION 2\nSAND_SIZE 0.5\nWATER_TEMP 20\n"
                       "SED_POROSITY 0.4\nMAPPING_TABLE tables.cmt\nHYD_FREQ 0.5\n"
                       "OUTLET_SED_FLUX outlet.sed\nIN_SED_LOC sed.loc\nOUT_SED_LOC sed_loc.out\n"
                       "OPTIMIZE optim.out\nOPTIMIZE_SED\nQUIET\nMANNING_N " +
                           manning + "\n"));
}

// Peak (m3/s) and volume (m3) of a series of channel-step rates.
struct peak_volume {
  double peak = 0.0, volume = 0.0;
  void add(double rate) {
    peak = std::max(peak, rate);
    volume += rate * step;
  }
};

std::vector<double> numbers_of(const std::string& line) {
  std::istringstream in(line);
  std::vector<double> v;
  double x = 0;
  while (in >> x) v.push_back(x);
  return v;
}

// The event row is the outlet's and the locations' peak and volume summed
// from their rates step by step; the closing line is the wash load the
// summary reports through the outlet.
TEST(sediment_calibration, event_rows_hold_sediment_peaks_and_volumes) {
  calib_test::work_folder dir;
  write_project(dir, "0.05");
  peak_volume outlet, node5, node10;
  const run_output out = run_in_process(dir.path(), "bank.prj", [&](model_state& s) {
    const chan_sediment_state& cs = s.quality.chan_sediment;
    outlet.add(cs.outlet_wash_rate[0] + cs.outlet_sand_rate[0]);
    node5.add(cs.qsmax_total[s.channel.node_address(1, 5)]);
    node10.add(cs.qsmax_total[s.channel.node_address(1, 10)]);
  });
  ASSERT_EQ(out.status, 0) << out.text;
  ASSERT_GT(outlet.volume, 0.0);
  ASSERT_GT(node5.volume, 0.0);

  const std::vector<std::string> rows = test_support::lines_of(dir.read("optim.out"));
  ASSERT_EQ(rows.size(), 2u);
  const std::vector<double> row = numbers_of(rows[0]);
  ASSERT_EQ(row.size(), 7u) << rows[0];
  EXPECT_EQ(row[0], 1.0);
  const peak_volume* expect[] = {&outlet, &node5, &node10};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(row[std::size_t(1 + 2 * i)], expect[i]->peak, 5e-7);
    EXPECT_NEAR(row[std::size_t(2 + 2 * i)], expect[i]->volume, 5e-4);
  }
  const std::vector<double> last = numbers_of(rows[1]);
  ASSERT_EQ(last.size(), 2u) << rows[1];
  EXPECT_EQ(last[0], 2.0);
  const std::string summary = dir.read("summary.out");
  const double wash = summary_value(summary.substr(summary.rfind("Total wash-load outlet")),
                                    "Total wash-load outlet discharge:");
  EXPECT_GT(wash, 0.0);
  EXPECT_NEAR(last[1], wash, 1e-6 * wash);
}

// A trial scores the sediment record: three scored places (the outlet and
// the two locations) of the one event, each against its own observation.
// Observed at twice the simulated peak and half the simulated volume with
// weights 1 and 0.5, every place adds 1/2 + 0.5 x 1 = 1: the cost is 3.
TEST(sediment_calibration, a_trial_is_scored_on_the_sediment_record) {
  calib_test::work_folder dir;
  write_project(dir, "[MANN]");
  dir.write("bank.lst", "1\n[MANN] \"%10.6lf\"\n");
  const double params[] = {0.0, 0.05};

  // The simulated values, from the run of the same roughness.
  {
    calib_objective first;
    dir.write("probe.obs", "1\n1 1 1 1\n");
    ASSERT_EQ(first.read_observations("probe.obs"), 1);
    test_support::stdout_capture quiet;
    run_cost_callback("bank.lst", "bank.prj", params, first, 1);
  }
  const std::vector<double> row = numbers_of(test_support::lines_of(dir.read("0000_optim.out"))[0]);
  ASSERT_EQ(row.size(), 7u);
  std::string obs = "3\n";
  for (int i = 0; i < 3; ++i) {
    char line[128];
    std::snprintf(line, sizeof line, "%.9g 1 %.9g 0.5\n", 2.0 * row[std::size_t(1 + 2 * i)],
                  0.5 * row[std::size_t(2 + 2 * i)]);
    obs += line;
  }
  dir.write("bank.obs", obs);
  calib_objective objective;
  ASSERT_EQ(objective.read_observations("bank.obs"), 1);
  double cost = 0.0;
  {
    test_support::stdout_capture quiet;
    cost = run_cost_callback("bank.lst", "bank.prj", params, objective, 1);
  }
  // The row rounds peaks to 1e-6 and volumes to 1e-3.
  EXPECT_NEAR(cost, 3.0, 1e-3);
}

}  // namespace

namespace {

// Two storms of a long-term run (the lt10chan row of ten cells with its
// channel made erodible, its storms made heavier so that both carry
// sediment out): every event row holds its own event. The second storm is
// the smaller (40 mm/h for an hour against 80 mm/h for two), so its peak
// lies below the first's, and the two events' volumes together are no more
// than all the sediment that left the outlet in the run.
TEST(sediment_calibration, every_event_row_starts_from_nothing) {
  calib_test::work_folder dir;
  const std::filesystem::path from = std::filesystem::path(VALTO_FIXTURES_DIR) / "lt10chan";
  for (const auto& entry : std::filesystem::directory_iterator(from))
    std::filesystem::copy_file(entry.path(), dir.path() / entry.path().filename());
  std::string rain = dir.read("rain.gag");
  rain.replace(rain.find("13 0 20\n"), 8, "13 0 80\n");
  rain.replace(rain.find("10 0 10\n"), 8, "10 0 40\n");
  dir.write("rain.gag", rain);
  std::string chan = dir.read("lt10chan.chan");
  chan.replace(chan.find("\nTRAPEZOID\n"), 11, "\nTRAPEZOID_ERODE\n");
  chan.replace(chan.find("SIDE_SLOPE 1\n"), 13, "SIDE_SLOPE 1\nMAX_EROSION 0.5\n");
  dir.write("lt10chan.chan", chan);
  dir.write("soils.idx", ascii_grid(1, 10, 100, std::vector<double>(10, 1.0)));
  dir.write("tables.cmt", sediment_tables());
  dir.write("lt10chan.prj",
            edit_cards(dir.read("lt10chan.prj"), {"NUM_THREADS"},
                       "NUM_THREADS 1\nSOIL_EROSION 2\nSAND_SIZE 0.5\nWATER_TEMP 20\n"
                       "SED_POROSITY 0.4\nMAPPING_TABLE tables.cmt\nOUTLET_SED_FLUX outlet.sed\n"
                       "OPTIMIZE optim.out\nOPTIMIZE_SED\nQUIET\n"));
  double run_total = 0.0;
  const run_output out = run_in_process(dir.path(), "lt10chan.prj", [&](model_state& s) {
    const chan_sediment_state& cs = s.quality.chan_sediment;
    run_total = cs.sand_outlet + cs.wash_outlet;
  });
  ASSERT_EQ(out.status, 0) << out.text;
  const std::vector<std::string> rows = test_support::lines_of(dir.read("optim.out"));
  ASSERT_EQ(rows.size(), 3u);
  const std::vector<double> first = numbers_of(rows[0]), second = numbers_of(rows[1]);
  ASSERT_EQ(first.size(), 3u) << rows[0];
  ASSERT_EQ(second.size(), 3u) << rows[1];
  EXPECT_EQ(first[0], 1.0);
  EXPECT_EQ(second[0], 2.0);
  EXPECT_GT(second[1], 0.0);
  EXPECT_LT(second[1], first[1]);
  EXPECT_GT(second[2], 0.0);
  EXPECT_LE(first[2] + second[2], run_total + 2e-3);
}

}  // namespace
