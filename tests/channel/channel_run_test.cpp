// Whole runs with channels, in-process through the production set-up and
// time loop: point inflows routed to Manning normal depth through the
// junction, a head boundary at the outlet, and rain on the bank fixture
// reaching the channel over its banks and leaving at the outlet at rain
// rate times area. Balances are read back from the end-of-run summary.

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "../surface/surface_run_fixture.h"
#include "channel/channel_state.h"
#include "test_support.h"

namespace {

using namespace surface_fixture;
using test_support::temp_dir;

// Manning normal depth of 5 m3/s in the junction's trapezoid (b 2, z 1,
// n 0.035) at bed slope 0.01, and of 2.5 m3/s.
constexpr double normal_depth_5 = 0.88526;
constexpr double normal_depth_2_5 = 0.598975;

// The number after label on the summary line that holds it.
double summary_value(const std::string& text, const std::string& label) {
  const std::size_t at = text.find(label);
  if (at == std::string::npos) return NAN;
  return std::stod(text.substr(at + label.size()));
}

class channel_run : public testing::Test {
 protected:
  // Copies a fixture folder into the run folder, the project's cards edited.
  run_output run(const std::string& folder, const std::string& extra = "",
                 const std::function<void(model_state&)>& after_pass = nullptr,
                 const std::vector<std::string>& drop = {}) {
    for (const char* name : {"mask.asc", "elevation.asc"})
      dir_.write(name, fixture_text(folder, name));
    for (const char* ext : {".chan", ".gst"})
      dir_.write(folder + ext, fixture_text(folder, folder + ext));
    if (!chan_text_.empty()) dir_.write(folder + ".chan", chan_text_);
    const std::string prj = folder + ".prj";
    dir_.write(prj, edit_cards(fixture_text(folder, prj), drop, extra));
    return run_in_process(dir_.path(), prj, after_pass);
  }

  std::string file(const std::string& name) { return test_support::read_file(dir_.file(name)); }

  temp_dir dir_;
  std::string chan_text_;  // the channel file in place of the fixture's, when given
};

const char* const two_points = "NUMPT 2\nPOINT 1 1 2.0\nPOINT 1 2 3.0\nNRPDS 0\n";

TEST_F(channel_run, point_inflows_reach_normal_depth_through_the_junction) {
  dir_.write("points.txt", two_points);
  double link3_volume = 0.0;
  int steady_checks = 0;
  long long last_substeps = 0;
  const run_output out =
      run("junction", "CHAN_POINT_INPUT points.txt\n", [&](model_state& s) {
        const channel_state& c = s.channel;
        const long long substeps = c.substeps - last_substeps;
        last_substeps = c.substeps;
        if (s.run.elapsed_minutes < 60.0 - 1e-9) return;
        ++steady_checks;
        for (int j = 1; j <= 5; ++j)
          EXPECT_NEAR(c.chan_depth[c.node_address(3, j)], normal_depth_5, 1e-4)
              << "node " << j << " at " << s.run.elapsed_minutes;
        EXPECT_NEAR(c.qp[c.node_address(1, 3)], 2.0, 5e-4);
        EXPECT_NEAR(c.qp[c.node_address(2, 3)], 3.0, 5e-4);
        EXPECT_EQ(substeps, 3);
        EXPECT_DOUBLE_EQ(c.last_substep, 10.0);
        link3_volume = 0.0;
        for (int j = 1; j <= 5; ++j) link3_volume += c.area[c.node_address(3, j)] * 100.0;
      });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_EQ(steady_checks, 121);
  EXPECT_NEAR(link3_volume, 1277.11, 0.05);

  // The outlet hydrograph carries the channel outlet.
  std::istringstream rows(file("outlet.hyd"));
  std::string row;
  int at_five = 0;
  while (std::getline(rows, row)) {
    double t = 0.0, q = 0.0;
    if (std::sscanf(row.c_str(), "%lf %lf", &t, &q) == 2 && t >= 60.0) {
      EXPECT_NEAR(q, 5.0, 5e-4) << row;
      ++at_five;
    }
  }
  EXPECT_EQ(at_five, 61);

  const std::string summary = file("summary.out");
  const double final_volume = summary_value(summary, "Final volume in channels=");
  EXPECT_NEAR(final_volume, 2243.80, 0.05);
  const double sources = summary_value(summary, "Total channel point sources=");
  const double discharge = summary_value(summary, "Total amount of discharge=");
  EXPECT_NEAR(sources - discharge, final_volume, 0.02);
  EXPECT_NEAR(sources, 5.0 * 120 * 60, 1e-6);
  EXPECT_NEAR(summary_value(summary, "Overall mass balance error ="), 0.0, 5e-7);
  EXPECT_NEAR(summary_value(summary, "mass conservation error:"), 0.0, 5e-7);
}

TEST_F(channel_run, a_timed_input_period_changes_the_inflows) {
  dir_.write("points.txt",
             "NUMPT 2\nPOINT 1 1 2.0\nPOINT 1 2 3.0\nNRPDS 1\nINPUT 2000 6 1 1 0\n1.0 1.5\n");
  double depth = 0.0, q_out = 0.0;
  const run_output out = run("junction", "CHAN_POINT_INPUT points.txt\n", [&](model_state& s) {
    depth = s.channel.chan_depth[s.channel.node_address(3, 3)];
    q_out = s.run.q_out;
  });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_NEAR(depth, normal_depth_2_5, 1e-4);
  EXPECT_NEAR(q_out, 2.5, 5e-4);
}

TEST_F(channel_run, a_head_boundary_holds_the_outlet_depth) {
  dir_.write("points.txt", two_points);
  int checked = 0;
  const run_output out = run("junction", "CHAN_POINT_INPUT points.txt\nHEAD_BOUND\nBOUND_DEPTH 1.2\n",
                             [&](model_state& s) {
                               const channel_state& c = s.channel;
                               const int a = c.node_address(3, 5);
                               EXPECT_NEAR(c.chan_depth[a], 1.2, 1e-12);
                               EXPECT_NEAR(c.area[a], 3.84, 1e-9);
                               ++checked;
                             });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_EQ(checked, 241);
  EXPECT_NEAR(summary_value(file("summary.out"), "Initial volume in channels="), 384.0, 0.005);
}

TEST_F(channel_run, rain_on_the_banks_leaves_at_the_outlet_at_rain_rate_times_area) {
  const run_output out = run("bank");
  ASSERT_EQ(out.status, 0) << out.text;
  const std::vector<progress_row> rows = progress_rows(out.text);
  int steady = 0;
  for (const progress_row& r : rows) {
    if (r.minutes < 180.0 - 1e-9 || r.minutes > 239.5 + 1e-9) continue;
    EXPECT_NEAR(r.q, 3.00, 0.005) << r.minutes;
    ++steady;
  }
  EXPECT_EQ(steady, 120);

  const std::string summary = file("summary.out");
  EXPECT_NEAR(summary_value(summary, "Total amount of precip="), 43200.00, 0.005);
  EXPECT_LT(std::fabs(summary_value(summary, "Overall mass balance error =")), 0.001);
  const double lateral = summary_value(summary, "Total lateral inflow into channels=");
  const double discharge = summary_value(summary, "Total amount of discharge=");
  const double initial = summary_value(summary, "Initial volume in channels=");
  const double final_volume = summary_value(summary, "Final volume in channels=");
  EXPECT_GT(lateral, 40000.0);
  EXPECT_NEAR(lateral - discharge, final_volume - initial, 0.02);
  // The event summary carries the same channel totals and closes too.
  EXPECT_NEAR(summary_value(summary, "volume of lateral inflow:"), lateral, 0.05);
  EXPECT_NEAR(summary_value(summary, "volume of discharge:"), discharge, 0.05);
  EXPECT_NEAR(summary_value(summary, "final volume in channels (cu. m):"), final_volume, 0.05);
  EXPECT_LT(std::fabs(summary_value(summary, "mass conservation error:")), 0.001);
}

TEST_F(channel_run, output_does_not_change_with_the_thread_count) {
  dir_.write("points.txt", two_points);
  std::vector<std::string> hydrographs, summaries;
  for (const char* threads : {"NUM_THREADS 1\n", "NUM_THREADS 8\n"}) {
    const run_output out = run("bank", threads);
    ASSERT_EQ(out.status, 0) << out.text;
    hydrographs.push_back(file("outlet.hyd"));
    std::string s = file("summary.out");
    // Run times and the thread count differ by nature.
    std::istringstream in(s);
    std::string line, kept;
    while (std::getline(in, line))
      if (line.find("ime") == std::string::npos && line.find("hread") == std::string::npos)
        kept += line + "\n";
    summaries.push_back(kept);
  }
  EXPECT_EQ(hydrographs[0], hydrographs[1]);
  EXPECT_EQ(summaries[0], summaries[1]);
}

// Bad point-input files and boundaries, each with its message.
TEST_F(channel_run, bad_point_inputs_and_boundaries_stop_with_their_messages) {
  struct bad_case {
    const char* points;  // point-input file, or null for none written
    const char* cards;
    const char* message;
    int status;
  };
  const bad_case cases[] = {
      {nullptr, "CHAN_POINT_INPUT none.txt\n",
       "Can't open none.txt to read channel point source input file \nThere will be no point "
       "inputs to the channel file \n",
       0},
      {"NUMPT 1\nPOINT 1 1\n", "CHAN_POINT_INPUT points.txt\n",
       "Unexpected end of file in chan point data file.\n", 1},
      {"NUMPT 2\nPOINT 1 1 2.0\nPOINT 1 2 3.0\nNRPDS 2\nINPUT 2000 6 1 0 10\n1.0 1.5\nINPUT 2000 6 1 0 20\n1.0\n",
       "CHAN_POINT_INPUT points.txt\n", "Unexpected end of file in chan point input data file.\n",
       1},
      {"NUMPT 1\nPOINT 9 1 2.0\nNRPDS 0\n", "CHAN_POINT_INPUT points.txt\n",
       "Error: point 1 of the channel point input file", 1},
      {"NUMPT 1\nPOINT 1 1 lots\nNRPDS 0\n", "CHAN_POINT_INPUT points.txt\n",
       "\"lots\" is not a number.", 1},
      {nullptr, "HEAD_BOUND\nBOUND_TS nowhere\n",
       "Error: Stream head boundary time series (nowhere) can not be found. Check project file.",
       1},
  };
  for (const bad_case& k : cases) {
    if (k.points) dir_.write("points.txt", k.points);
    const run_output out = run("junction", k.cards);
    EXPECT_EQ(out.status, k.status) << k.cards;
    EXPECT_NE(out.text.find(k.message), std::string::npos) << out.text;
  }
  // A head file of 10000 words without NUMPT.
  std::string words;
  for (int i = 0; i < 10001; ++i) words += "word ";
  dir_.write("points.txt", words);
  const run_output out = run("junction", "CHAN_POINT_INPUT points.txt\n");
  EXPECT_EQ(out.status, 1);
  EXPECT_NE(out.text.find("There is a problem with your channel source input file.  VALTO cannot\n"
                          "find the first card."),
            std::string::npos)
      << out.text;
}

TEST_F(channel_run, an_outlet_above_its_neighbour_stops_the_run) {
  dir_.write("points.txt", two_points);
  // The last point of link 3 raised above the one before it.
  chan_text_ = fixture_text("junction", "junction.chan");
  const std::size_t at = chan_text_.rfind("ELEV 10");
  ASSERT_NE(at, std::string::npos);
  chan_text_.replace(at, 7, "ELEV 13");
  const run_output raised = run("junction", "CHAN_POINT_INPUT points.txt\n");
  EXPECT_EQ(raised.status, 1);
  EXPECT_NE(raised.text.find("The outlet slope is negative."), std::string::npos) << raised.text;
}

}  // namespace
