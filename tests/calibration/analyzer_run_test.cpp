// Analyzers in whole runs of the channel junction fixture (3 x 8 cells,
// three links, 30 s steps, 120 minutes): when they report, what they report
// at a crash, and that each run builds, writes and closes its own.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../surface/surface_run_fixture.h"
#include "core/error_state.h"
#include "core/safe_file.h"
#include "test_support.h"

namespace {

using namespace surface_fixture;
using test_support::temp_dir;

class analyzer_run : public testing::Test {
 protected:
  run_output run(const std::string& analyzers, const std::string& extra = "",
                 const std::function<void(model_state&)>& after_pass = nullptr) {
    for (const char* name : {"mask.asc", "elevation.asc", "junction.chan", "junction.gst"})
      dir_.write(name, fixture_text("junction", name));
    dir_.write("an.txt", analyzers);
    dir_.write("junction.prj", edit_cards(fixture_text("junction", "junction.prj"), {},
                                          "NUM_THREADS 1\nANALYZERS an.txt\n" + extra));
    return run_in_process(dir_.path(), "junction.prj", after_pass);
  }

  // The moment texts of the report headers in a file, in order.
  std::vector<std::string> moments(const std::string& name) {
    std::vector<std::string> found;
    const std::string text = test_support::read_file(dir_.file(name));
    const std::string lead = "Results for logic test of the 2D stream array flow at ";
    for (std::size_t at = text.find(lead); at != std::string::npos; at = text.find(lead, at + 1)) {
      const std::size_t from = at + lead.size();
      found.push_back(text.substr(from, text.find(".  Nodes", from) - from));
    }
    return found;
  }

  temp_dir dir_;
};

std::string at_minute(int minute) {
  return "06-01-2000, " + std::to_string(minute / 60) + ":" + std::to_string(minute % 60) + ": 0";
}

TEST_F(analyzer_run, timed_reports_come_every_ten_minutes_between_start_and_event_end) {
  const run_output out = run("2DS flow tSec > 0.0 fc 600 flow.txt\n");
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_NE(out.text.find("Set up 1 analyzers...\n"), std::string::npos);
  std::vector<std::string> expected = {"the beginning of the simulation at " + at_minute(0)};
  for (int minute = 0; minute <= 110; minute += 10) expected.push_back(at_minute(minute));
  // The last pass ends the event before its step end is told.
  expected.push_back("the end of an event at " + at_minute(120));
  expected.push_back(at_minute(120));
  EXPECT_EQ(moments("flow.txt"), expected);
}

// A run stopped by an error calls its analyzers no more, so no crash point
// reaches their files.
TEST_F(analyzer_run, a_run_stopped_after_set_up_calls_its_analyzers_no_more) {
  const run_output out = run("2DS flow tSec > 0.0 fc 600 flow.txt\n", "", [](model_state& s) {
    if (s.run.step == 10) raise_message("stopped by the test\n");
  });
  EXPECT_EQ(out.status, 1);
  const std::vector<std::string> expected = {"the beginning of the simulation at " + at_minute(0),
                                             at_minute(0)};
  // A run stopped in its loop leaves its files under their temporary names.
  EXPECT_EQ(moments("flow.txt.partial"), expected);
}

int open_files() {
  int n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

// Batch runs write under their run number; every run's analyzer file is
// closed with its run.
TEST_F(analyzer_run, each_batch_run_owns_its_analyzers_and_their_files) {
  const int saved_flag = run_prefix_flag, saved_number = run_prefix_number;
  run_prefix_flag = 1;
  run_prefix_number = 0;
  run("2DS flow Ses > 0.0 fc flow.txt\n", "TOT_TIME 1\n");
  const int before = open_files();
  for (int i = 1; i <= 300; ++i) {
    run_prefix_number = i;
    const run_output out = run("2DS flow Ses > 0.0 fc flow.txt\n", "TOT_TIME 1\n");
    ASSERT_EQ(out.status, 0) << out.text;
  }
  EXPECT_EQ(open_files(), before);
  run_prefix_flag = saved_flag;
  run_prefix_number = saved_number;
  // Each run's file holds its own three reports, complete.
  for (const char* name : {"0001_flow.txt", "0300_flow.txt"}) {
    const std::vector<std::string> found = moments(name);
    ASSERT_EQ(found.size(), 3u) << name;
    EXPECT_EQ(found[2], "the end of simulation at " + at_minute(1)) << name;
  }
}

}  // namespace
