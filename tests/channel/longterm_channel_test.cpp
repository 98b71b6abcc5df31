// Long-term runs with a channel: lt10chan is lt10 (ten 100 m cells in a row,
// three July days of hourly meteorology, storms on the 14th and the 16th)
// with one trapezoid link along the row. Between the storms the empty
// channel sleeps instead of routing every minute of the dry time, wakes with
// the next storm, and the volumes still close in the end-of-run summary.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "../surface/surface_run_fixture.h"
#include "channel/channel_state.h"
#include "run/model_state.h"
#include "subsurface/gw_channel_exchange.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace surface_fixture;
using test_support::read_file;
using test_support::temp_dir;

// lt10chan copied into a folder of its own; the second storm made 40 mm/h
// so that it runs off into the channel as well.
struct lt10chan {
  temp_dir dir;

  explicit lt10chan(const std::string& extra_cards) {
    for (const auto& entry : fs::directory_iterator(fs::path(VALTO_FIXTURES_DIR) / "lt10chan"))
      fs::copy_file(entry.path(), dir.path() / entry.path().filename());
    std::string rain = text("rain.gag");
    const std::string second = "RATES 2001 7 16 10 0 10";
    rain.replace(rain.find(second), second.size(), "RATES 2001 7 16 10 0 40");
    dir.write("rain.gag", rain);
    dir.write("lt10chan.prj", edit_cards(text("lt10chan.prj"), {}, extra_cards));
  }
  std::string text(const std::string& name) const { return read_file(dir.file(name)); }
  run_output run(const std::function<void(model_state&)>& after_pass = nullptr) const {
    return run_in_process(dir.path(), "lt10chan.prj", after_pass);
  }
};

// Channel steps taken in each hour of the run, from 14 July 00:00.
std::vector<int> channel_steps_per_hour(const lt10chan& project, run_output& out) {
  std::vector<int> per_hour(72, 0);
  int last_steps = 0;
  out = project.run([&](model_state& state) {
    const int steps = state.channel.steps;
    const int hour = (state.run.day - 14) * 24 + state.run.hour;
    if (steps != last_steps && hour >= 0 && hour < 72) per_hour[std::size_t(hour)] += steps - last_steps;
    last_steps = steps;
  });
  return per_hour;
}

TEST(longterm_channel, the_channel_sleeps_between_storms_and_the_volumes_close) {
  const lt10chan project("NUM_THREADS 1\n");
  run_output out;
  const std::vector<int> steps = channel_steps_per_hour(project, out);
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_NE(out.text.find("simulation ended normally; "), std::string::npos);

  // Every minute is routed from the first storm (13:00 on the 14th) while
  // the outlet still carries 1e-6 m3/s, which the recession passes at 04:18
  // on the 16th; from then on the channel sleeps until the second storm wakes
  // it with the overland flow at 10:00 on the 16th.
  for (int h = 14; h < 52; ++h) EXPECT_EQ(steps[std::size_t(h)], 60) << "hour " << h;
  for (int h = 53; h < 58; ++h) EXPECT_EQ(steps[std::size_t(h)], 0) << "hour " << h;
  EXPECT_GT(steps[58], 50);

  const std::string summary = project.text("summary.out");
  EXPECT_LT(std::fabs(summary_value(summary, "Overall mass balance error =")), 1e-4) << summary;
  EXPECT_LT(std::fabs(summary_value(summary, "Mass balance error of surface components =")), 1e-4);
  // The channel's own balance: all that came over the banks left at the
  // outlet or is still in the channel.
  const double lateral = summary_value(summary, "Total lateral inflow into channels=");
  const double discharge = summary_value(summary, "Total amount of discharge=");
  const double initial = summary_value(summary, "Initial volume in channels=");
  const double final_volume = summary_value(summary, "Final volume in channels=");
  EXPECT_GT(lateral, 1000.0);
  EXPECT_NEAR(initial + lateral, discharge + final_volume, 0.02);
  // Both storms ran off into the channel and out at the outlet.
  EXPECT_GT(summary_value(summary, "Event peak discharge (cubic meters per second):"), 0.01);
  const std::string peak = "Event peak discharge (cubic meters per second):";
  const std::string second_event = summary.substr(summary.find(peak) + peak.size());
  EXPECT_GT(summary_value(second_event, peak), 0.1);
}

TEST(longterm_channel, output_does_not_change_with_the_thread_count) {
  std::vector<std::string> hydrographs, summaries;
  for (const char* threads : {"NUM_THREADS 1\n", "NUM_THREADS 8\n"}) {
    const lt10chan project(threads);
    const run_output out = project.run();
    ASSERT_EQ(out.status, 0) << out.text;
    hydrographs.push_back(project.text("outlet.hyd"));
    summaries.push_back(project.text("summary.out"));
  }
  EXPECT_EQ(hydrographs[0], hydrographs[1]);
  EXPECT_EQ(summaries[0], summaries[1]);
}

// lt10chan over an aquifer, its channel lowered by 1 m so that each node's
// bed lies 2 m under its cell's ground, the table 1.5 m under the ground and
// every stream cell trading with its node. Before the first storm (13:00 on
// the 14th) the channel clock has not started, yet the aquifer feeds the dry
// channel at once: each node gains P k (h - S) per metre, with the seepage
// width P = 2 + 2 x 0.5 x 1 = 3 m, k = 0.036 m/h / 3600 / 1 m = 1e-5 /s and
// h - S = 0.5 m less the flow depth, so at most 1.5e-5 m2/s x 1000 m =
// 0.015 m3/s; the shallow base flow (2 cm deep) and the table's fall take a
// few percent off that.
std::string aquifer_cards(const lt10chan& project, double gw_step, double table_depth = 1.5) {
  std::string chan = project.text("lt10chan.chan");
  for (std::size_t at = chan.find("ELEV "); at != std::string::npos; at = chan.find("ELEV ", at + 1)) {
    const std::size_t end = chan.find('\n', at);
    const double elev = std::stod(chan.substr(at + 5, end - at - 5));
    chan.replace(at, end - at, "ELEV " + std::to_string(elev - 1.0));
  }
  project.dir.write("lt10chan.chan", chan);
  const std::vector<double> ground{9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
  std::vector<double> table, bottom;
  for (double g : ground) {
    table.push_back(g - table_depth);
    bottom.push_back(g - 20.0);
  }
  project.dir.write("table.asc", ascii_grid(1, 10, 100.0, table));
  project.dir.write("bottom.asc", ascii_grid(1, 10, 100.0, bottom));
  project.dir.write("bound.asc", ascii_grid(1, 10, 100.0, std::vector<double>(10, 4.0)));
  return "WATER_TABLE table.asc\nGW_SIMULATION\nAQUIFER_BOTTOM bottom.asc\n"
         "GW_BOUNDFILE bound.asc\nGW_UNIF_HYCOND 0.036\nGW_UNIF_POROSITY 0.3\n"
         "GW_TIMESTEP " + std::to_string(gw_step) + "\nGW_RELAX_COEFF 1\nGW_LSOR_CON 0.0000001\n"
         "SINGLE_UNSAT_SAT 0\nK_RIVER 0.036\nM_RIVER 1\nNUM_THREADS 1\n"
         "START_DATE 2001 7 14\nSTART_TIME 0 0\n";
}

TEST(longterm_channel, the_aquifer_feeds_the_channel_before_the_first_storm) {
  const lt10chan project("");
  project.dir.write("lt10chan.prj",
                    edit_cards(project.text("lt10chan.prj"), {}, aquifer_cards(project, 9600)));
  double first_interval = 0.0, noon = -1.0;
  const run_output out = project.run([&](model_state& state) {
    if (first_interval == 0.0 && state.run.channel.last <= state.run.current_time &&
        state.channel.steps == 0)
      first_interval = state.run.channel.interval_s;
    if (state.run.day == 14 && state.run.hour == 12) noon = state.channel.q_outlet;  // m3/s
  });
  ASSERT_EQ(out.status, 0) << out.text;
  // The groundwater step of 9600 s starts the routing at 9600 / 4 s.
  EXPECT_DOUBLE_EQ(first_interval, 2400.0);

  // The outlet at noon of the 14th, an hour before the storm.
  EXPECT_GT(noon, 0.9 * 0.015);
  EXPECT_LT(noon, 0.015);

  const std::string summary = project.text("summary.out");
  EXPECT_LT(std::fabs(summary_value(summary, "Overall mass balance error =")), 1e-4) << summary;
  EXPECT_LT(std::fabs(summary_value(summary, "Mass balance error of surface components =")), 1e-4);
  EXPECT_LT(std::fabs(summary_value(summary, "Mass Balance error =")), 0.01);
  EXPECT_GT(summary_value(summary, "Total flux from gw to river="), 0.9 * 0.015 * 13 * 3600);
}

// The same channel 0.3 m deep at the start (a hot start), over a table 5 m
// under the ground, below every bed: the still channel loses through its
// bed before the first storm, each node by P k d per metre at each
// groundwater step of 9600 s, P = 2 + 2d and k = 1e-5 /s. By noon four
// such steps have taken their water straight from the node areas (0.69 m2
// down to 0.4388 m2), and what the channel lost the aquifer holds.
TEST(longterm_channel, a_still_channel_loses_to_the_aquifer_before_the_first_storm) {
  const lt10chan project("");
  std::string nodes;
  for (int j = 1; j <= 10; ++j) nodes += std::to_string(j) + " 1 0.3 0\n";
  project.dir.write("start.dht", nodes);
  project.dir.write("lt10chan.prj",
                    edit_cards(project.text("lt10chan.prj"), {},
                               aquifer_cards(project, 9600, 5.0) +
                                   "READ_CHAN_HOTSTART start.dht\nHOTSTART_IS_DEPTH\n"));
  double area = (2.0 + 0.3) * 0.3;  // m2, the trapezoid of bottom 2 m and side slope 1
  for (int step = 0; step < 4; ++step) {
    const double d = -1.0 + std::sqrt(1.0 + area);
    area -= 9600.0 * (2.0 + 2.0 * d) * 1e-5 * d;
  }
  const double initial = 10 * 100.0 * 0.69;  // m3 in the ten 100 m nodes
  double noon_volume = -1.0, noon_area = -1.0, noon_lost = -1.0;
  const run_output out = project.run([&](model_state& state) {
    const channel_state& chan = state.channel;
    if (state.run.day == 14 && state.run.hour == 12 && noon_area < 0.0) {
      noon_area = chan.area[std::size_t(chan.node_address(1, 5))];
      noon_volume = chan.water_volume();
      const pending_exchange p = pending_stream_exchange(state);
      noon_lost = state.subsurface.gw.run.stream_to_gw + p.into - p.out;
    }
  });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_NEAR(noon_area, area, 1e-9);
  EXPECT_LT(noon_area, 0.65 * 0.69);  // a third of the water gone
  // What the nodes lost is what the aquifer took or is about to take.
  EXPECT_NEAR(noon_volume + noon_lost, initial, 1e-6);

  const std::string summary = project.text("summary.out");
  EXPECT_LT(std::fabs(summary_value(summary, "Overall mass balance error =")), 1e-4) << summary;
  EXPECT_LT(std::fabs(summary_value(summary, "Mass balance error of surface components =")), 1e-4);
  EXPECT_LT(std::fabs(summary_value(summary, "Mass Balance error =")), 0.01);
  EXPECT_GT(summary_value(summary, "Total flux from river to gw="), 1000.0 * (0.69 - area));
}

}  // namespace
