// Analyzers on a hand-built network of two links (3 and 2 nodes): beds
// 10.0 9.5 9.0 / 8.5 8.0 under water surfaces 10.2 9.5 9.35 / 8.5 8.75, so
// depths 0.2 0 0.35 / 0 0.75, reported at 1 June 2000 02:00. Lines are read
// from analyzer files as a run reads them; reports are compared whole.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calibration/analyzers.h"
#include "calibration/calibration_steps.h"
#include "calibration/stream_analyzers.h"
#include "core/error_state.h"
#include "core/julian.h"
#include "run/model_state.h"
#include "core/safe_file.h"
#include "input/replace_params.h"
#include "test_support.h"

namespace {

using test_support::read_file;
using test_support::scoped_cwd;
using test_support::stdout_capture;
using test_support::temp_dir;

// Links of the given node counts, each node's bed and water surface.
void build_network(model_state& s, const std::vector<int>& counts, const std::vector<double>& bed,
                   const std::vector<double>& surface) {
  channel_state& c = s.channel;
  c.links = static_cast<int>(counts.size());
  c.max_nodes = 3;
  c.nx.assign(counts.size() + 1, 0);
  for (std::size_t i = 0; i < counts.size(); ++i) c.nx[i + 1] = counts[i];
  c.bel.assign(c.node_slots(), 0.0);
  c.yp.assign(c.node_slots(), 0.0);
  c.qp.assign(c.node_slots(), 0.0);
  c.area.assign(c.node_slots(), 0.0);
  std::size_t k = 0;
  for (int l = 1; l <= c.links; ++l) {
    for (int j = 1; j <= c.nx[l]; ++j, ++k) {
      c.bel[c.node_address(l, j)] = bed[k];
      c.yp[c.node_address(l, j)] = surface[k];
      c.qp[c.node_address(l, j)] = surface[k] - bed[k];
    }
  }
  s.run.current_time = julian_date(2000, 6, 1, 2, 0, 0.0);
}

void build_two_links(model_state& s) {
  build_network(s, {3, 2}, {10.0, 9.5, 9.0, 8.5, 8.0}, {10.2, 9.5, 9.35, 8.5, 8.75});
}

class analyzer_file : public testing::Test {
 protected:
  void SetUp() override { error_state = error_record{}; }
  void TearDown() override {
    error_state = error_record{};
    end_substitution();
    replacement.params.clear();
  }

  // Reads the analyzer file text into s and returns what the reading printed.
  std::string read(model_state& s, const std::string& text) {
    dir_.write("analyzers.txt", text);
    scoped_cwd cwd(dir_.path());
    stdout_capture out;
    read_analyzer_file(s, "analyzers.txt");
    return out.stop();
  }

  // What the analyzers print when told the moment.
  static std::string tell(model_state& s, int moment) {
    stdout_capture out;
    run_analyzers(s, moment);
    return out.stop();
  }

  temp_dir dir_;
};

const char* const end_of_event = "the end of an event at 06-01-2000, 2:0: 0";

std::string compare_header(const std::string& test) {
  return std::string("\n\nResults for logic test of the 2D stream array depth at ") + end_of_event +
         ".  Nodes with values " + test + ":\n";
}

std::string values_header() {
  return std::string("\n\nValues in the 2D stream array depth at ") + end_of_event + ": \n";
}

TEST_F(analyzer_file, depth_reports_in_every_layout) {
  struct layout {
    const char* line;
    std::string report;
  };
  const std::string gt = compare_header("> 0.100000");
  const std::string footer = "====> 3 out of 5 nodes passed the logic test.\n";
  const layout cases[] = {
      {"2DS depth e > 0.1 sc",
       gt + "[T, 0.2000][F, 0.0000][T, 0.3500][F, 0.0000][T, 0.7500]" + footer},
      {"2DS depth e > 0.1 stc",
       gt + "Link   1, Node   1\nLink   1, Node   3\nLink   2, Node   2\n" + footer},
      {"2DS depth e > 0.1 sdv",
       values_header() + "   1:[T, 0.2000][F, 0.0000][T, 0.3500]\n   2:[F, 0.0000][T, 0.7500]\n"},
      {"2DS depth e > 0.1 std",
       values_header() +
           "Link   1, Node   1:        0.200000\nLink   1, Node   3:        0.350000\n"
           "Link   2, Node   2:        0.750000\n"},
      {"2DS depth e > 0.1 s", values_header() + "TFTFT"},
      // the later of t and v wins
      {"2DS depth e > 0.1 svt", values_header() + "Link   1, Node   1\nLink   1, Node   3\nLink   2, Node   2\n"},
      {"2DS depth e > 0.1 stv", values_header() + "   1:TFT\n   2:FT\n"},
      // exact equality picks out the two dry nodes
      {"2DS depth e == 0 stc",
       compare_header("== 0.000000") + "Link   1, Node   2\nLink   2, Node   1\n" +
           "====> 2 out of 5 nodes passed the logic test.\n"},
      {"2DS depth e <= 0.2 s", values_header() + "TTFTF"},
      {"2DS depth e >= 0.3 s", values_header() + "FFTFT"},
      {"2DS depth e < 0.1 s", values_header() + "FTFTF"},
      // names of 2D arrays are not case-sensitive
      {"2DS DEPTH e > 0.1 s", std::string("\n\nValues in the 2D stream array DEPTH at ") +
                                  end_of_event + ": \n" + "TFTFT"},
      // not a comparison: the analyzer never reports
      {"2DS depth e + 0.1 sc", ""},
      // not told at this moment
      {"2DS depth E > 0.1 sc", ""},
  };
  for (const layout& c : cases) {
    model_state s;
    build_two_links(s);
    const std::string setup = read(s, std::string(c.line) + "\n");
    EXPECT_EQ(setup, "Set up 1 analyzers...\n") << c.line;
    EXPECT_EQ(tell(s, analyzer_event_end), c.report) << c.line;
  }
}

TEST_F(analyzer_file, flow_and_area_read_their_own_arrays) {
  model_state s;
  build_two_links(s);
  s.channel.area[s.channel.node_address(2, 1)] = 4.0;
  read(s, "2DS flow e > 0.3 s\n2DS area e > 1 s\n");
  const std::string text = tell(s, analyzer_event_end);
  EXPECT_NE(text.find("array flow at " + std::string(end_of_event) + ": \nFFTFT"), std::string::npos)
      << text;
  EXPECT_NE(text.find("array area at " + std::string(end_of_event) + ": \nFFFTF"), std::string::npos)
      << text;
}

TEST_F(analyzer_file, file_and_screen_get_the_same_text) {
  model_state s;
  build_two_links(s);
  read(s, "2DS depth e > 0.1 fsc depth.txt\n");
  const std::string screen = tell(s, analyzer_event_end);
  EXPECT_EQ(screen.substr(0, 2), "\n\n");
  s.calib.analyzers.clear();  // closes the file
  EXPECT_EQ(read_file(dir_.file("depth.txt")), screen);
}

TEST_F(analyzer_file, a_link_without_nodes_still_writes_its_number) {
  model_state s;
  build_network(s, {3, 2, 0}, {10.0, 9.5, 9.0, 8.5, 8.0}, {10.2, 9.5, 9.35, 8.5, 8.75});
  read(s, "2DS depth e > 0.1 sv\n");
  EXPECT_EQ(tell(s, analyzer_event_end), values_header() + "   1:TFT\n   2:FT\n   3:\n");
}

TEST_F(analyzer_file, moments_name_themselves) {
  struct moment_case {
    int moment;
    const char* text;
  };
  const moment_case cases[] = {
      {analyzer_step_end, "depth at 06-01-2000, 2:0: 0: "},
      {analyzer_event_start, "the beginning of an event at 06-01-2000, 2:0: 0: "},
      {analyzer_setup, "the beginning of the simulation at 06-01-2000, 2:0: 0: "},
      {analyzer_normal_end, "the end of simulation at 06-01-2000, 2:0: 0: "},
      {analyzer_error_end, "the program crash point at 06-01-2000, 2:0: 0: "},
  };
  for (const moment_case& c : cases) {
    model_state s;
    build_two_links(s);
    read(s, "2DS depth tEesSc > 0.1 s 60\n");
    const std::string text = tell(s, c.moment);
    EXPECT_NE(text.find(c.text), std::string::npos) << c.moment << ": " << text;
  }
}

TEST(st2d_logical_OP, a_zero_divisor_compares_as_9999_99) {
  std::vector<int> counts = {0, 2};
  // link 1's nodes at 1 x 3 + 1 and 1 x 3 + 2
  std::vector<double> a = {0, 0, 0, 0, 1.0, 6.0}, b = {0, 0, 0, 0, 0.0, 2.0};
  const double now = julian_date(2000, 6, 1, 2, 0, 0.0);
  struct combine_case {
    int code;
    double first, second;  // combined values of nodes 1 and 2
  };
  const combine_case cases[] = {
      {combine_add, 1.0, 8.0},     {combine_subtract, 1.0, 4.0}, {combine_multiply, 0.0, 12.0},
      {combine_divide, 9999.99, 3.0}, {combine_none, 1.0, 6.0},
  };
  for (const combine_case& c : cases) {
    st2d_logical_OP op;
    op.set_operand(c.code, &b);
    op.attach(&a, 1, &counts, 3, &now, "q");
    EXPECT_EQ(op.test_gt(9999.0), c.first > 9999.0) << c.code;
    EXPECT_DOUBLE_EQ(op.tested_value(1, 1), c.first) << c.code;
    EXPECT_DOUBLE_EQ(op.tested_value(1, 2), c.second) << c.code;
    EXPECT_EQ(op.flag(1, 1), c.first > 9999.0) << c.code;
  }
}

TEST_F(analyzer_file, lines_are_counted_as_a_run_reads_them) {
  struct file_case {
    std::string text;
    int analyzers;
    std::string printed;
  };
  const std::string set_up_2 = "Set up 2 analyzers...\n";
  const file_case cases[] = {
      {"2DS depth e > 0.1 s\n2DS flow e > 0.1 s\n", 2, set_up_2},
      {"2DS depth e > 0.1 s\n2DS flow e > 0.1 s", 2, set_up_2},
      {"# a comment\n2DS depth e > 0.1 s\n#2DS flow e > 0.1 s\n2DS area e > 1 s\n", 2, set_up_2},
      {"2DG depth e > 0.1 s\nNSM_OV x\nNSM_ST x\nNSM_SL x\nWHAT x\n\n2DS depth e > 0.1 s\n", 1,
       "Set up 1 analyzers...\n"},
      {"", 0, "Set up 0 analyzers...\n"},
      {"# only\n# comments\n", 0, "Set up 0 analyzers...\n"},
  };
  for (const file_case& c : cases) {
    model_state s;
    build_two_links(s);
    EXPECT_EQ(read(s, c.text), c.printed) << c.text;
    EXPECT_EQ(s.calib.analyzers.count(), c.analyzers) << c.text;
    EXPECT_EQ(error_state.stop_flag, 0);
  }
}

TEST_F(analyzer_file, constituent_rows_are_found_by_name_and_index) {
  struct row_case {
    const char* line;
    std::string printed;
    std::string report;
  };
  const std::string at = std::string(" at ") + end_of_event + ": \n";
  const row_case cases[] = {
      {"1DS conc_2 e > 1 s", "", "\n\nValues in the 2D stream array conc_2" + at + "FTFFT"},
      {"1DS mass_1 e > 1 s", "", "\n\nValues in the 2D stream array mass_1" + at + "FFFFF"},
      {"1DS qlatmass_1 e > 0 s", "", "\n\nValues in the 2D stream array qlatmass_1" + at + "TFFFF"},
      {"1DS gwmass_1 e > 0 s", "", "\n\nValues in the 2D stream array gwmass_1" + at + "FTFFF"},
      {"1DS nsmsource_1 e > 0 s", "", "\n\nValues in the 2D stream array nsmsource_1" + at + "FFTFF"},
      {"1DS pointconc_1 e > 0 s", "", "\n\nValues in the 2D stream array pointconc_1" + at + "FFFTF"},
      {"1DS qlatconc_1 e > 0 s", "", "\n\nValues in the 2D stream array qlatconc_1" + at + "FFFFT"},
      // 1D names are case-sensitive
      {"1DS CONC_1 e > 0 s", "Error: unable to find 1DS array [CONC]\n", ""},
      {"1DS conc_0 e > 0 s",
       "Error: 1DS Analyzer for conc with index 0 is out of range. Range for index is 1 to 2.\n", ""},
      {"1DS conc_3 e > 0 s",
       "Error: 1DS Analyzer for conc with index 3 is out of range. Range for index is 1 to 2.\n", ""},
      // the mass table holds one row fewer than there are constituents
      {"1DS mass_2 e > 0 s", "Error: unable to find 1DS array [mass]\n", ""},
  };
  for (const row_case& c : cases) {
    model_state s;
    build_two_links(s);
    quality_state& q = s.quality;
    q.constituents = 2;
    const std::size_t slots = s.channel.node_slots();
    auto rows = [&](int n) { return std::vector<std::vector<double>>(n + 1, std::vector<double>(slots, 0.0)); };
    q.chan_node_conc = rows(2);
    q.chan_node_mass = rows(1);
    for (auto* t : {&q.chan_point_conc, &q.conc_qlat, &q.chan_qlat_mass, &q.chan_gw_mass,
                    &q.chan_nsm_source})
      *t = rows(1);
    const channel_state& ch = s.channel;
    q.chan_node_conc[2][ch.node_address(1, 2)] = 5.0;
    q.chan_node_conc[2][ch.node_address(2, 2)] = 1.5;
    q.chan_node_conc[1][ch.node_address(1, 1)] = 7.0;  // another constituent's row
    q.chan_qlat_mass[1][ch.node_address(1, 1)] = 1.0;
    q.chan_gw_mass[1][ch.node_address(1, 2)] = 1.0;
    q.chan_nsm_source[1][ch.node_address(1, 3)] = 1.0;
    q.chan_point_conc[1][ch.node_address(2, 1)] = 1.0;
    q.conc_qlat[1][ch.node_address(2, 2)] = 1.0;
    EXPECT_EQ(read(s, std::string(c.line) + "\n"), c.printed + "Set up 1 analyzers...\n") << c.line;
    EXPECT_EQ(s.calib.analyzers.count(), 1) << c.line;  // counted whatever its array
    EXPECT_EQ(tell(s, analyzer_event_end), c.report) << c.line;
  }
}

TEST_F(analyzer_file, a_1d_line_without_constituents_says_so) {
  model_state s;
  build_two_links(s);
  EXPECT_EQ(read(s, "1DS conc_1 e > 0 s\n"),
            "Error: Setting up 1DS analyzer when no constituents are being modeled.\n"
            "Set up 1 analyzers...\n");
  EXPECT_EQ(tell(s, analyzer_event_end), "");
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST_F(analyzer_file, replacement_pairs_are_substituted_before_the_comment_test) {
  dir_.write("list.txt", "2\n[HASH] \"%s\"\n[LIM] \"%4.2lf\"\n");
  dir_.write("vals.txt", "# 0.30\n");
  {
    scoped_cwd cwd(dir_.path());
    stdout_capture quiet;
    ASSERT_EQ(read_replace_params("list.txt"), 0);
    ASSERT_EQ(read_replace_vals("vals.txt"), 0);
  }
  model_state s;
  build_two_links(s);
  const std::string printed =
      read(s, "[HASH]2DS depth e > 0.1 s\n2DS depth e > [LIM] s\n2DS depth e > [NONE] s\n");
  EXPECT_EQ(printed,
            "Error: unable to match replace pair: 2DS depth e > [NONE] s\nSet up 2 analyzers...\n");
  // 0.30 passes only the deepest node; the unmatched threshold reads as 0.
  EXPECT_EQ(tell(s, analyzer_event_end), values_header() + "FFTFT" + values_header() + "TFTFT");
}

TEST_F(analyzer_file, a_missing_file_leaves_no_analyzers_and_the_run_going) {
  model_state s;
  stdout_capture out;
  read_analyzer_file(s, dir_.file("none.txt").c_str());
  const std::string text = out.stop();
  EXPECT_NE(text.find("none.txt"), std::string::npos) << text;
  EXPECT_TRUE(s.calib.analyzers.empty());
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST_F(analyzer_file, a_report_file_that_does_not_open_leaves_the_screen) {
  model_state s;
  build_two_links(s);
  const std::string printed = read(s, "2DS depth e > 0.1 fs nodir/depth.txt\n2DS depth e > 0.1 f\n");
  EXPECT_NE(printed.find("nodir/depth.txt"), std::string::npos) << printed;
  EXPECT_EQ(tell(s, analyzer_event_end), values_header() + "TFTFT");
}

// Timed reports: the first step end reports, then the first step end at
// least the interval after the last timed report.
TEST_F(analyzer_file, timed_reports_keep_their_interval) {
  struct timing_case {
    const char* line;
    std::vector<int> reported_steps;  // of steps 0..12 of 600 s
  };
  const timing_case cases[] = {
      {"2DS depth tE > 0.1 s 3600", {0, 6, 12}},
      {"2DS depth t > 0.1 s 1500", {0, 3, 6, 9, 12}},
      {"2DS depth t > 0.1 s", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
  };
  for (const timing_case& c : cases) {
    model_state s;
    build_two_links(s);
    const double start = s.run.current_time;
    read(s, std::string(c.line) + "\n");
    std::vector<int> reported;
    for (int step = 0; step <= 12; ++step) {
      // the clock as the driver derives it, step count times step
      s.run.current_time = start + step * 600.0 / 86400.0;
      if (!tell(s, analyzer_step_end).empty()) reported.push_back(step);
    }
    EXPECT_EQ(reported, c.reported_steps) << c.line;
    const bool at_event_start = std::string(c.line).find(" tE ") != std::string::npos;
    EXPECT_EQ(!tell(s, analyzer_event_start).empty(), at_event_start) << c.line;
  }
}

}  // namespace
