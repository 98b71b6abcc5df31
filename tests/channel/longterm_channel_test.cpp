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

}  // namespace
