// Whole runs with channels, in-process through the production set-up and
// time loop: point inflows routed to Manning normal depth through the
// junction, a head boundary at the outlet, and rain on the bank fixture
// reaching the channel over its banks and leaving at the outlet at rain
// rate times area. Balances are read back from the end-of-run summary.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "../surface/surface_run_fixture.h"
#include "channel/channel_state.h"
#include "test_support.h"

namespace {

using test_support::lines_of;

using namespace surface_fixture;
using test_support::temp_dir;

// Manning normal depth of 5 m3/s in the junction's trapezoid (b 2, z 1,
// n 0.035) at bed slope 0.01, and of 2.5 m3/s.
constexpr double normal_depth_5 = 0.88526;
constexpr double normal_depth_2_5 = 0.598975;

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

// Lines of text, without their newlines.
std::string format(const char* layout, double value) {
  char text[64];
  std::snprintf(text, sizeof text, layout, value);
  return text;
}

// Link 3's line of a stream file at normal flow: five nodes, one value each.
std::string link3_line(const std::vector<double>& values) {
  std::string line = "5   ";
  for (double v : values) line += format("1  %6.5lf   ", v);
  return line;
}

// The junction at steady normal flow, every stream file asked for: rows on
// steps 0, 2, ... 240 of 30 s, so records 0 to 120 of a 1-minute interval,
// and link 3 at the normal depth of 5 m3/s.
TEST_F(channel_run, stream_files_hold_a_record_per_minute_at_normal_flow) {
  dir_.write("points.txt", two_points);
  const run_output out = run("junction",
                             "CHAN_POINT_INPUT points.txt\nCHAN_DEPTH depth.ln\n"
                             "CHAN_DISCHARGE flow.ln\nCHAN_STAGE stage.ln\nCHAN_VELOCITY vel.ln\n");
  ASSERT_EQ(out.status, 0) << out.text;

  const double y = 0.8852643;           // normal depth of 5 m3/s, m
  const double area = 2.0 * y + y * y;  // trapezoid of bottom 2 m, side slopes 1:1
  struct stream_case {
    const char* file;
    const char* magic;
    std::vector<double> link3;
  };
  const stream_case cases[] = {
      {"depth.ln", "VALTO_LINKNODE_STREAM_DEPTH", {y, y, y, y, y}},
      {"flow.ln", "VALTO_LINKNODE_STREAM_FLOW", {5.0, 5.0, 5.0, 5.0, 5.0}},
      {"vel.ln", "VALTO_LINKNODE_STREAM_VELOCITY", std::vector<double>(5, 5.0 / area)},
      // Nodes lie midway between the points, whose beds fall from 15 m to 10 m.
      {"stage.ln", "VALTO_LINKNODE_STREAM_STAGE",
       {14.5 + y, 13.5 + y, 12.5 + y, 11.5 + y, 10.5 + y}},
  };
  for (const stream_case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::vector<std::string> lines = lines_of(file(c.file));
    // Five header lines, then per record its TS line, three links and a blank.
    ASSERT_EQ(lines.size(), 5u + 121u * 5u);
    EXPECT_EQ(lines[0], c.magic);
    EXPECT_EQ(lines[1], "NUM_LINKS     3");
    EXPECT_EQ(lines[2], "TIME_STEP     1");
    EXPECT_EQ(lines[3], "NUM_TS        120");
    EXPECT_EQ(lines[4], "START_TIME     1  6 2000  0  0  0");
    for (int r = 0; r <= 120; ++r) {
      const std::size_t at = 5 + std::size_t(r) * 5;
      ASSERT_EQ(lines[at], "TS    " + std::to_string(r));
      ASSERT_EQ(lines[at + 1].rfind("3   1  ", 0), 0u) << lines[at + 1];
      ASSERT_EQ(lines[at + 4], "");
    }
    EXPECT_EQ(lines[5 + 120 * 5 + 3], link3_line(c.link3));
  }
}

// Two stream locations, the outlet node (3, 5) and node 3 of head link 1,
// with their discharges and depths, and under OPTIMIZE their event peaks and
// routed volumes: the outlet's volume is what left the watershed, and the
// head link's is its point inflow less the water left in its nodes 1 to 3.
TEST_F(channel_run, location_rows_and_the_calibration_row_of_two_locations) {
  dir_.write("points.txt", two_points);
  dir_.write("hyd.loc", "2\n3 5\n1 3\n");
  double head_storage = 0.0;  // m3 in link 1's nodes 1..3 at the end
  const run_output out =
      run("junction",
          "CHAN_POINT_INPUT points.txt\nIN_HYD_LOCATION hyd.loc\nOUT_HYD_LOCATION hyd.out\n"
          "OUT_DEP_LOCATION dep.out\nOPTIMIZE optim.out\n",
          [&](model_state& s) {
            const channel_state& c = s.channel;
            head_storage = 0.0;
            for (int j = 1; j <= 3; ++j) head_storage += c.area[c.node_address(1, j)] * c.dx[1];
          });
  ASSERT_EQ(out.status, 0) << out.text;

  const std::string hyd = file("hyd.out");
  EXPECT_EQ(hyd.rfind("2\n3 5\n1 3\n    0.00000000     0.000000     0.000000 \n", 0), 0u) << hyd;
  EXPECT_NE(hyd.find("\n   60.00000000     5.000000     2.000000 \n"), std::string::npos);
  EXPECT_EQ(lines_of(hyd).size(), 3u + 121u);
  const std::vector<std::string> dep = lines_of(file("dep.out"));
  ASSERT_EQ(dep.size(), 121u);
  EXPECT_EQ(dep[60].substr(0, 27), "   60.00000000     0.885264");

  double peak = 0, volume = 0, peak1 = 0, volume1 = 0, peak2 = 0, volume2 = 0;
  int event = 0;
  ASSERT_EQ(std::sscanf(file("optim.out").c_str(), "%d %lf %lf %lf %lf %lf %lf", &event, &peak,
                        &volume, &peak1, &volume1, &peak2, &volume2),
            7)
      << file("optim.out");
  EXPECT_EQ(event, 1);
  EXPECT_DOUBLE_EQ(peak, 5.0);
  EXPECT_DOUBLE_EQ(peak1, 5.0);
  EXPECT_DOUBLE_EQ(peak2, 2.0);
  EXPECT_NEAR(volume1, volume, 0.1);
  EXPECT_NEAR(volume2, 2.0 * 120 * 60 - head_storage, 0.1);
}

// The bank fixture's outlet cell and its top-left corner. At steady rain the
// corner passes its own rain, 36 mm/h on 1 ha = 0.1 m3/s, through its right
// and lower faces, about in the ratio of the square roots of their bed
// slopes (1 % and 2 %).
TEST_F(channel_run, cell_rows_give_depth_and_face_discharge_at_listed_cells) {
  dir_.write("cells.loc", "2\n3 10\n1 1\n");
  const std::string cards = "IN_CELLDEPDIS_LOCATION cells.loc\nOUT_CELLDEPDIS_LOCATION cells.out\n";
  double corner_depth = 0.0;
  const run_output out = run("bank", cards, [&](model_state& s) {
    if (s.run.elapsed_minutes == 180.0) corner_depth = s.surface.depth[1];
  });
  ASSERT_EQ(out.status, 0) << out.text;
  const std::vector<std::string> rows = lines_of(file("cells.out"));
  ASSERT_EQ(rows.size(), 361u);
  const std::string& row = rows[180];
  ASSERT_EQ(row.size(), 14u + 5u + 2 * 14u + 8u + 2 * 14u) << row;
  EXPECT_EQ(row.substr(0, 19), "  180.00000000     ");
  EXPECT_EQ(row.substr(33, 14), format("%12.6lf  ", corner_depth));
  EXPECT_EQ(row.substr(47, 8), "        ");
  const double corner_q = std::stod(row.substr(69, 14));
  const double split = 0.1 * std::sqrt(1.0 + 2.0) / (1.0 + std::sqrt(2.0));
  EXPECT_NEAR(corner_q, split, 0.001) << row;

  // In cfs the depths go and the discharges are in cubic feet per second.
  const run_output cfs = run("bank", cards + "QOUT_CFS\n");
  ASSERT_EQ(cfs.status, 0) << cfs.text;
  const std::string cfs_row = lines_of(file("cells.out"))[180];
  ASSERT_EQ(cfs_row.size(), 19u + 8u + 2 * 14u) << cfs_row;
  EXPECT_EQ(cfs_row.substr(0, 41), row.substr(0, 19) + "        " + row.substr(55, 14));
  EXPECT_NEAR(std::stod(cfs_row.substr(41)), corner_q * 35.314667, 2e-5) << cfs_row;
}

// Sampled at every 30 s step, the ADE's face flows of a listed cell swing
// between a step that sweeps x first and one that sweeps y first; the rows
// give the mean over such a pair, which holds still at equilibrium as the
// outlet's does. The corner passes its own rain; the middle cell of the top
// row passes its own and that of the cells up-slope of it in the row.
TEST_F(channel_run, a_listed_cells_discharge_holds_still_at_equilibrium) {
  dir_.write("cells.loc", "2\n1 1\n1 5\n");
  const run_output out = run("bank",
                             "HYD_FREQ 0.5\nIN_CELLDEPDIS_LOCATION cells.loc\n"
                             "OUT_CELLDEPDIS_LOCATION cells.out\n",
                             nullptr, {"HYD_FREQ"});
  ASSERT_EQ(out.status, 0) << out.text;
  const std::vector<std::string> rows = lines_of(file("cells.out"));
  ASSERT_EQ(rows.size(), 721u);
  for (int k = 0; k < 2; ++k) {
    SCOPED_TRACE(k == 0 ? "corner" : "middle of the top row");
    // Time, two depths, eight blanks, two discharges: the k-th discharge.
    const std::size_t at = 19 + 2 * 14 + 8 + std::size_t(k) * 14;
    double low = HUGE_VAL, high = 0.0, last = 0.0, largest_change = 0.0;
    for (int r = 300; r <= 480; ++r) {  // minutes 150 to 240
      const double q = std::stod(rows[std::size_t(r)].substr(at, 14));
      low = std::min(low, q);
      high = std::max(high, q);
      if (r > 300) largest_change = std::max(largest_change, std::fabs(q - last));
      last = q;
    }
    EXPECT_GT(low, 0.0);
    EXPECT_LT(largest_change, 0.005 * high) << low << " " << high;
  }
}

// Output files that do not open stop the run with their own messages.
TEST_F(channel_run, an_output_file_that_does_not_open_stops_the_run) {
  dir_.write("hyd.loc", "1\n3 5\n");
  struct bad_output {
    const char* cards;
    const char* message;
  };
  const bad_output cases[] = {
      {"IN_HYD_LOCATION hyd.loc\nOUT_HYD_LOCATION nodir/hyd.out\n",
       "Error: Can't open hydrograph location output file: out hydrograph file\n"},
      {"IN_HYD_LOCATION hyd.loc\nOUT_HYD_LOCATION hyd.out\nOUT_DEP_LOCATION nodir/dep.out\n",
       "Error: Can't open depth location output file: nodir/dep.out\n"},
      {"CHAN_VELOCITY nodir/vel.ln\n",
       "Error: Unable to open output channel velocity file.\n  (File: nodir/vel.ln)\n"},
  };
  for (const bad_output& c : cases) {
    const run_output out = run("junction", c.cards);
    EXPECT_EQ(out.status, 1) << c.cards;
    EXPECT_NE(out.text.find(c.message), std::string::npos) << out.text;
  }
}

TEST_F(channel_run, output_does_not_change_with_the_thread_count) {
  dir_.write("points.txt", two_points);
  dir_.write("cells.loc", "2\n3 10\n1 1\n");
  const std::string outputs =
      "CHAN_DEPTH depth.ln\nCHAN_VELOCITY vel.ln\nIN_CELLDEPDIS_LOCATION cells.loc\n"
      "OUT_CELLDEPDIS_LOCATION cells.out\n";
  std::vector<std::string> hydrographs, summaries, channel_files;
  for (const char* threads : {"NUM_THREADS 1\n", "NUM_THREADS 8\n"}) {
    const run_output out = run("bank", threads + outputs);
    ASSERT_EQ(out.status, 0) << out.text;
    hydrographs.push_back(file("outlet.hyd"));
    channel_files.push_back(file("depth.ln") + file("vel.ln") + file("cells.out"));
    summaries.push_back(summary_without_times(file("summary.out")));
  }
  EXPECT_EQ(hydrographs[0], hydrographs[1]);
  EXPECT_EQ(summaries[0], summaries[1]);
  EXPECT_EQ(channel_files[0], channel_files[1]);
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
