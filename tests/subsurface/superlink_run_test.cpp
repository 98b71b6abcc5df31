// Whole runs with the pipe network: a grate under a fixed ponded level
// drains through one pipe to an outlet onto a lower cell; the capture, the
// pipe's log and the summaries' drain lines must tell the same story.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "../surface/surface_run_fixture.h"
#include "run/model_state.h"
#include "superlink_fixture.h"
#include "test_support.h"

namespace {

using surface_fixture::ascii_grid;
using surface_fixture::run_in_process;
using surface_fixture::summary_value;
using test_support::temp_dir;

// A 1 x 3 strip of 10 m cells, ground 10, 11 and 9.5 m, the outlet in cell
// 3. Cell 1 holds its water surface at 10.1 m (0.1 m over the grate); its
// two 0.5 m grates feed a 100 m pipe (D 0.6 m, n 0.013, slope 0.004) to an
// outlet onto cell 3. A trace of rain falls in the first minute.
const char* network =
    "SJUNC 1 10.0 7.5 1.0 2 1 1 0.5 0.5\n"
    "SJUNC 2 9.5 5.0 1.0 888 1 3 0.0 0.0\n"
    "CONNECT 1 1 2\n"
    "SLINK 1 1\n"
    "NODE 1 10.0 7.5 0.0 0 1 1 0.0 0.0\n"
    "NODE 2 9.5 7.1 0.0 0 1 3 0.0 0.0\n"
    "PIPE 1 1 0.6 0.0 0.004 0.013 100.0 0.0 0.0\n";

void write_strip(const temp_dir& dir) {
  superlink_fixture::write_strip_grids(dir);
  dir.write("net.txt", network);
  dir.write("strip.prj",
            "VALTOPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elevation.asc\nGRIDSIZE 10\n"
            "ROWS 1\nCOLS 3\nTIMESTEP 10\nTOT_TIME 120\nOUTROW 1\nOUTCOL 3\nOUTSLOPE 0.01\n"
            "MANNING_N 0.05\nOVERTYPE explicit\nPRECIP_UNIF\nRAIN_INTENSITY 0.001\n"
            "RAIN_DURATION 1\nSTART_DATE 2000 6 1\nSTART_TIME 0 0\n"
            "MAPPING_TABLE tables.cmt\nOV_BOUNDARY\nSTORM_SEWER net.txt\nNUM_THREADS 1\n"
            "SUMMARY summary.out\nOUTLET_HYDRO outlet.hyd\n");
}

// The VtoSL column (second field) of every call row of the pipe log.
double logged_inflow(const temp_dir& dir) {
  double sum = 0.0;
  const std::string log = test_support::read_file(dir.file("superlink_flows.out"));
  for (const std::string& line : test_support::lines_of(log)) {
    std::istringstream in(line);
    int call = 0;
    double v = 0.0;
    if (in >> call >> v) sum += v;
  }
  return sum;
}

TEST(superlink_run, grate_to_outlet_reaches_a_steady_capture_and_the_books_close) {
  temp_dir dir;
  write_strip(dir);
  std::vector<double> captured;  // the grate junction's inflow at each call
  std::vector<double> delivered; // the outlet's delivery rate at each call
  int calls = 0;
  const auto out = run_in_process(dir.path(), "strip.prj", [&](model_state& s) {
    const superlink_state& sl = s.subsurface.superlink;
    if (sl.calls == calls) return;
    calls = sl.calls;
    captured.push_back(sl.net.Q_junc[1]);
    delivered.push_back(sl.work.Q_d[1]);
  });
  ASSERT_EQ(out.status, 0) << out.text;
  ASSERT_EQ(captured.size(), 720u);
  // The level over the grate is held at 0.1 m: the weir form every call.
  for (std::size_t i = 1; i < captured.size(); ++i)
    ASSERT_NEAR(captured[i], 0.157044, 1e-6) << "call " << i;
  // Steady in the last hour: the outlet passes what the grate takes.
  for (std::size_t i = 360; i < delivered.size(); ++i)
    ASSERT_NEAR(delivered[i], 0.157044, 5e-4) << "call " << i;

  const std::string summary = test_support::read_file(dir.file("summary.out"));
  const double taken = summary_value(summary, "Volume of overland to subsurface drains");
  EXPECT_NEAR(taken, logged_inflow(dir), 0.5);
  EXPECT_NEAR(taken, 0.157044 * 7200.0, 2.0);
  const double back = summary_value(summary, "Volume of subsurface drains to overland");
  // What the grates took came back on the outlet's cell or is still in the
  // pipe and its manhole.
  const double held = summary_value(summary, "Final volume in drains=");
  EXPECT_GT(held, 10.0);
  EXPECT_NEAR(taken, back + held, 0.02);
  // The surface's books take the drains' both ways.
  EXPECT_LT(std::fabs(summary_value(summary, "mass conservation error:")), 1e-4) << summary;
  EXPECT_LT(std::fabs(summary_value(summary, "Mass balance error of surface components =")), 1e-4);
}

// The drain exchange adds its volumes in a fixed order: the summary does not
// depend on the thread count.
TEST(superlink_run, the_summary_does_not_depend_on_the_thread_count) {
  std::string summaries[2];
  const char* threads[2] = {"NUM_THREADS 1\n", "NUM_THREADS 3\n"};
  for (int t = 0; t < 2; ++t) {
    temp_dir dir;
    write_strip(dir);
    const std::string prj = test_support::read_file(dir.file("strip.prj"));
    dir.write("strip.prj", surface_fixture::edit_cards(prj, {"NUM_THREADS"}, threads[t]));
    const auto out = run_in_process(dir.path(), "strip.prj");
    ASSERT_EQ(out.status, 0) << out.text;
    const std::string summary = test_support::read_file(dir.file("summary.out"));
    summaries[t] = surface_fixture::summary_without_times(summary);
  }
  EXPECT_EQ(summaries[0], summaries[1]);
}

// A fixed-head junction on the junction fixture's first cell feeds a 200 m
// pipe to an outlet into node 2 of channel link 1: what enters the pipe
// from the fixed head reaches the channel less what the pipe still holds,
// and every cubic metre delivered turns up in the channels' books, so the
// surface components balance.
TEST(superlink_run, an_outlet_into_a_channel_node_feeds_the_channel_routing) {
  temp_dir dir;
  for (const char* name :
       {"junction.prj", "junction.chan", "junction.gst", "mask.asc", "elevation.asc"})
    dir.write(name, surface_fixture::fixture_text("junction", name));
  dir.write("net.txt",
            "SJUNC 1 20.0 19.5 1.0 11 1 1 0.0 0.0\n"
            "SJUNC 2 20.0 17.0 1.0 999 1 2 0.0 0.0\n"
            "CONNECT 1 1 2\n"
            "SLINK 1 1\n"
            "NODE 1 20.0 19.0 0.0 0 1 1 0.0 0.0\n"
            "NODE 2 20.0 17.2 0.0 0 1 2 0.0 0.0\n"
            "PIPE 1 1 0.3 0.0 0.009 0.013 200.0 0.0 0.0\n");
  dir.write("junction.prj", surface_fixture::edit_cards(
                                surface_fixture::fixture_text("junction", "junction.prj"),
                                {"TOT_TIME"}, "TOT_TIME 60\nSTORM_SEWER net.txt\nNUM_THREADS 1\n"));
  double entered = 0.0;  // m3, from the pipe's upstream end flow at each call
  double held = 0.0;     // m3, in the network after the last call
  int calls = 0;
  const double dt = 30.0;
  const auto out = run_in_process(dir.path(), "junction.prj", [&](model_state& s) {
    const superlink_state& sl = s.subsurface.superlink;
    if (sl.calls == calls) return;
    calls = sl.calls;
    entered += dt * sl.work.Q_u[1];
    held = sl.totals.superlink_vol_now;
  });
  ASSERT_EQ(out.status, 0) << out.text;
  const std::string summary = test_support::read_file(dir.file("summary.out"));
  const double to_channels = summary_value(summary, "Volume of subsurface drains to channels");
  EXPECT_GT(to_channels, 1.0) << summary;
  EXPECT_GT(held, 5.0);  // a 0.3 m pipe of 200 m running part full
  EXPECT_NEAR(to_channels, entered - held, 0.01);
  EXPECT_LT(std::fabs(summary_value(summary, "Mass balance error of surface components =")), 1e-4)
      << summary;
}

// The listed junctions' and nodes' flows, one row per hydrograph interval:
// the grate junction takes its weir flow, the outlet gives it back (its
// flow is minus its mean outflow), the ends of the pipe take no lateral
// inflow.
TEST(superlink_run, listed_junction_and_node_flows_are_written_each_interval) {
  temp_dir dir;
  write_strip(dir);
  dir.write("junc.lst", "2\n1\n2\n");
  dir.write("node.lst", "2\n1 1\n1 2\n");
  const std::string prj = test_support::read_file(dir.file("strip.prj"));
  dir.write("strip.prj",
            prj + "HYD_FREQ 10\nSUPERLINK_JUNC_LOCATION junc.lst\nSUPERLINK_JUNC_FLOW junc.out\n"
                  "SUPERLINK_NODE_LOCATION node.lst\nSUPERLINK_NODE_FLOW node.out\n");
  const auto out = run_in_process(dir.path(), "strip.prj");
  ASSERT_EQ(out.status, 0) << out.text;
  for (const char* name : {"junc.out", "node.out"}) {
    SCOPED_TRACE(name);
    const auto rows = test_support::lines_of(test_support::read_file(dir.file(name)));
    ASSERT_EQ(rows.size(), 13u);  // at the start, then every 10 minutes to 120
    double minutes = 0.0, a = 1.0, b = 1.0;
    std::istringstream last(rows.back());
    ASSERT_TRUE(last >> minutes >> a >> b);
    EXPECT_NEAR(minutes, 120.0, 1e-6);
    if (std::string(name) == "junc.out") {
      EXPECT_NEAR(a, 0.157044, 1e-6);
      EXPECT_NEAR(b, -0.157044, 5e-4);
    } else {
      EXPECT_EQ(a, 0.0);
      EXPECT_EQ(b, 0.0);
    }
  }
  const std::string summary = test_support::read_file(dir.file("summary.out"));
  EXPECT_NE(summary.find("Flows to/from selected superjunctions.\n"), std::string::npos);
}

// The pipe file's records: per record, per superlink, the values after the
// count (the "1" before each value dropped).
std::vector<std::vector<double>> pipe_records(const std::string& text, int& ts_lines) {
  std::vector<std::vector<double>> rows;
  ts_lines = 0;
  bool in_record = false;
  for (const std::string& line : test_support::lines_of(text)) {
    if (line.rfind("TS", 0) == 0) {
      ++ts_lines;
      in_record = true;
      continue;
    }
    if (!in_record || line.find_first_not_of(" ") == std::string::npos) continue;
    std::istringstream in(line);
    int count = 0, one = 0;
    double v = 0.0;
    std::vector<double> values;
    in >> count;
    while (in >> one >> v) values.push_back(v);
    rows.push_back(values);
  }
  return rows;
}

// A full 0.8 m pipe between heads of 52.0 and 50.5 m (n 0.012, 400 m): by
// the energy line with two velocity heads lost in the first pipe and half
// of one at the outlet, Q = A sqrt(g dH / (g n^2 L / R^(4/3) + 1 + 0.5)):
// 0.76632 m3/s, whether laid as one pipe or as four.
TEST(superlink_run, full_pipe_between_fixed_heads_writes_its_flow_records) {
  struct pipe_case {
    int pipes;
    double q;
  };
  for (const pipe_case& c : {pipe_case{1, 0.76632}, pipe_case{4, 0.76632}}) {
    SCOPED_TRACE(c.pipes);
    temp_dir dir;
    dir.write("mask.asc", ascii_grid(1, 3, 20.0, {1, 1, 1}));
    dir.write("elevation.asc", ascii_grid(1, 3, 20.0, {60.0, 60.0, 60.0}));
    dir.write("net.txt", superlink_fixture::fixed_head_network(c.pipes));
    dir.write("pipe.prj",
              "VALTOPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elevation.asc\nGRIDSIZE 20\n"
              "ROWS 1\nCOLS 3\nTIMESTEP 10\nTOT_TIME 60\nOUTROW 1\nOUTCOL 3\nOUTSLOPE 0.01\n"
              "MANNING_N 0.05\nOVERTYPE explicit\nPRECIP_UNIF\nRAIN_INTENSITY 0.001\n"
              "RAIN_DURATION 1\nSTART_DATE 2000 6 1\nSTART_TIME 0 0\nHYD_FREQ 1\n"
              "STORM_SEWER net.txt\nPIPE_FLOW pipe.flow\nPIPE_HEAD pipe.head\nNUM_THREADS 1\n"
              "SUMMARY summary.out\nOUTLET_HYDRO outlet.hyd\n");
    const auto out = run_in_process(dir.path(), "pipe.prj");
    ASSERT_EQ(out.status, 0) << out.text;
    int ts = 0;
    const auto flows = pipe_records(test_support::read_file(dir.file("pipe.flow")), ts);
    ASSERT_GE(flows.size(), 60u);
    EXPECT_EQ(int(flows.size()), ts);
    for (std::size_t r = flows.size() - 30; r < flows.size(); ++r) {
      ASSERT_EQ(flows[r].size(), std::size_t(c.pipes));
      for (double q : flows[r]) ASSERT_NEAR(q, c.q, 1e-4) << "record " << r;
    }
    const auto heads = pipe_records(test_support::read_file(dir.file("pipe.head")), ts);
    ASSERT_FALSE(heads.empty());
    EXPECT_EQ(heads.back().size(), std::size_t(c.pipes + 1));
    // The held heads are water outside the watershed: the lower one took
    // the hour's flow (less the minutes the pipe took to run full), the
    // upper one gave that and what fills the pipe, and the drain and
    // overall books close on them.
    const std::string summary = test_support::read_file(dir.file("summary.out"));
    const double from = summary_value(summary, "Volume from fixed-head drain junctions");
    const double to = summary_value(summary, "Volume to fixed-head drain junctions");
    const double held = summary_value(summary, "Final volume in drains=");
    EXPECT_GT(to, 0.95 * c.q * 3600.0);
    EXPECT_LT(to, c.q * 3600.0);
    EXPECT_GT(held, 100.0);  // 400 m of 0.8 m pipe running full holds 201 m3
    EXPECT_NEAR(from - to, held, 0.02);
    EXPECT_NEAR(summary_value(summary, "Subsurface drain mass bal error m^3="), 0.0, 0.02);
    EXPECT_LT(std::fabs(summary_value(summary, "Overall mass balance error =")), 1e-4) << summary;
  }
}

// Inputs that stop the run at set-up, cleanly and with the cause named.
TEST(superlink_run, bad_networks_stop_the_run_at_set_up) {
  struct bad_case {
    const char* name;
    std::string network;  // empty: no network file at all
    const char* said;
  };
  const std::string outlet_off_stream =
      std::string(network).replace(std::string(network).find("888 1 3"), 7, "999 0 3");
  const bad_case cases[] = {
      {"no network file", "", "superlink input file"},
      {"a junction list shorter than its count", network,
       "End of file reached in file junc.lst, exiting\n"},
      {"an outlet into channel link 0", outlet_off_stream,
       "Superlink outlet channel link not found, at superjunction 2\n"},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.name);
    temp_dir dir;
    write_strip(dir);
    if (c.network.empty())
      std::filesystem::remove(dir.file("net.txt"));
    else
      dir.write("net.txt", c.network);
    dir.write("junc.lst", "3\n1\n2\n");
    dir.write("strip.prj", test_support::read_file(dir.file("strip.prj")) +
                               "SUPERLINK_JUNC_LOCATION junc.lst\nSUPERLINK_JUNC_FLOW junc.out\n");
    const auto out = run_in_process(dir.path(), "strip.prj");
    EXPECT_EQ(out.status, 1);
    EXPECT_NE(out.text.find(c.said), std::string::npos) << out.text;
    EXPECT_EQ(out.text.find("Running...."), std::string::npos);
  }
}

// Bad networks and files stop the run with the system's message and exit
// status 1: at set-up (the reader's own failures, the size limits) or at the
// first call of the step (a log that cannot be made, a singular junction
// matrix). Networks of 1000 junctions, superlinks or pipes in one superlink
// still run.
TEST(superlink_run, bad_input_stops_the_run_with_its_message) {
  struct bad_case {
    const char* name;
    std::string network;
    const char* said;
    bool at_set_up;
    std::string gpi = "";  // a GRID_PIPE file when given
  };
  const std::string base = network;
  auto with = [&](const char* from, const char* to) {
    std::string t = base;
    return t.replace(t.find(from), std::strlen(from), to);
  };
  const std::string leaky = with("100.0 0.0 0.0", "100.0 2.0 15.0");
  const bad_case cases[] = {
      {"a pipe section of type 5", with("PIPE 1 1", "PIPE 1 5"),
       "Error: pipe cross-section type not valid: node 1 link 1.", true},
      {"a superlink of 2001 pipes", with("SLINK 1 1", "SLINK 1 2001"),
       "MAX dimension of superlink arrays too big.", true},
      {"a grid-pipe file without PIPECELLS", leaky,
       "The second card in the grid-pipe file must be PIPECELLS", true,
       "GRIDPIPEFILE\nCELLIJ 1 1\n"},
      {"leaky pipes without a grid-pipe file", leaky, "tile drain grid pipe", true},
      {"1001 superjunctions", superlink_fixture::chain(1001, 1, 1),
       "Too many super-junctions (>1000!)", true},
      {"1001 pipes in one superlink", superlink_fixture::chain(2, 1, 1001),
       "Too many nodes (>50!) in one link", true},
      {"1001 superlinks", superlink_fixture::chain(2, 1001, 1), "Too many superlinks (>1000!)",
       true},
      {"a junction of no storage and no link", with("CONNECT", "SJUNC 3 9.0 8.0 0.0 0 1 2 0 0\nCONNECT"),
       "VALTO crashed during an update of Superlink", false},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.name);
    temp_dir dir;
    write_strip(dir);
    dir.write("net.txt", c.network);
    std::string cards = "TOT_TIME 1\n";
    if (!c.gpi.empty()) {
      dir.write("net.gpi", c.gpi);
      cards += "GRID_PIPE net.gpi\n";
    }
    dir.write("strip.prj", surface_fixture::edit_cards(test_support::read_file(dir.file("strip.prj")),
                                                       {"TOT_TIME"}, cards));
    const auto out = run_in_process(dir.path(), "strip.prj");
    EXPECT_EQ(out.status, 1);
    EXPECT_NE(out.text.find(c.said), std::string::npos) << out.text;
    EXPECT_EQ(out.text.find("Running....") == std::string::npos, c.at_set_up) << out.text;
  }

  // The pipe log cannot be made where a directory holds its name.
  temp_dir dir;
  write_strip(dir);
  std::filesystem::create_directory(dir.file("superlink_flows.out"));
  const auto out = run_in_process(dir.path(), "strip.prj");
  EXPECT_EQ(out.status, 1);
  EXPECT_NE(out.text.find("Can't open file superlink_flows.out'"), std::string::npos) << out.text;

  for (const std::string& ok : {superlink_fixture::chain(1000, 1, 1),
                                superlink_fixture::chain(2, 1, 1000),
                                superlink_fixture::chain(2, 1000, 1)}) {
    temp_dir big;
    write_strip(big);
    big.write("net.txt", ok);
    big.write("strip.prj", surface_fixture::edit_cards(test_support::read_file(big.file("strip.prj")),
                                                       {"TOT_TIME"}, "TOT_TIME 1\n"));
    const auto run = run_in_process(big.path(), "strip.prj");
    EXPECT_EQ(run.status, 0) << run.text.substr(0, 2000);
  }
}

}  // namespace
