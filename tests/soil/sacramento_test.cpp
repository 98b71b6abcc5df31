// The lumped Sacramento basin: its parameter file with every refusal and
// bound, the topographic index worked by hand on small DEMs, the weights
// that spread the base flow over the channel pairs, and the accounting of
// the five stores, whose balance must close interval after interval.

#include "soil/sacramento.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "channel/channel_state.h"
#include "core/error_state.h"
#include "run/model_state.h"
#include "core/safe_file.h"
#include "input/series.h"
#include "test_support.h"

namespace {

using test_support::stdout_capture;
using test_support::temp_dir;

void clear_errors() { error_state = error_record{}; }

std::string fixture_path(const std::string& name) {
  return (std::filesystem::path(VALTO_FIXTURES_DIR) / "sacramento" / name).string();
}

std::string basin_text() { return test_support::read_file(fixture_path("basin.sac")); }

// The basin file with one card line replaced (or removed when with is empty).
std::string basin_with(const std::string& card, const std::string& with) {
  std::string text;
  for (const std::string& line : test_support::lines_of(basin_text())) {
    const bool match = line.rfind(card + " ", 0) == 0;
    if (!match) text += line + "\n";
    else if (!with.empty()) text += with + "\n";
  }
  return text;
}

// A grid of rows x cols cells of dx metres, every cell active unless listed
// in outside ({row, col} pairs), numbered row by row, with elevations given
// row by row for the active cells.
void build_grid(grid_state& g, int rows, int cols, double dx, const std::vector<double>& elev,
                const std::vector<std::pair<int, int>>& outside = {}) {
  g.rows = rows;
  g.cols = cols;
  g.dx = dx;
  g.mask.allocate_grid(rows, cols);
  int n = 0;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) {
      bool out = false;
      for (const auto& [orow, ocol] : outside) out = out || (orow == r && ocol == c);
      g.mask[r][c] = out ? 0 : ++n;
    }
  g.cells = n;
  g.elevation.assign(std::size_t(n) + 1, 0.0);
  for (int i = 1; i <= n; ++i) g.elevation[std::size_t(i)] = elev[std::size_t(i - 1)];
}

struct sac_read {
  bool ok = false;
  sacramento_state sac;
  std::string out;  // standard output
  std::string err;  // standard error
};

// Reads text as the parameter file over grid (a one-cell grid when none).
sac_read read_text(const std::string& text, bool topo = false, const grid_state* grid = nullptr) {
  temp_dir dir;
  const std::string path = dir.write("basin.sac", text);
  grid_state one;
  if (grid == nullptr) build_grid(one, 1, 1, 10.0, {1.0});
  sac_read r;
  safe_file file;
  EXPECT_TRUE(file.open(path.c_str(), "r"));
  text_source source{file.stream, file.path, 0};
  clear_errors();
  std::fflush(stderr);
  testing::internal::CaptureStderr();
  stdout_capture out;
  r.ok = read_sacramento_input(source, grid ? *grid : one, topo, r.sac);
  r.out = out.stop();
  std::fflush(stderr);
  r.err = testing::internal::GetCapturedStderr();
  file.close();
  return r;
}

// The basin of the worked examples: the fixture's parameters with the
// contents as depths.
sac_params worked_basin() {
  sac_params p;
  p.uztwm = 50.0;
  p.uzfwm = 40.0;
  p.uzk = 0.3;
  p.zperc = 2.0;
  p.rexp = 2.0;
  p.lztwm = 150.0;
  p.lzfsm = 40.0;
  p.lzfpm = 120.0;
  p.lzsk = 0.05;
  p.lzpk = 0.01;
  p.pfree = 0.2;
  p.saved = 0.0;
  p.uztwc = 50.0;
  p.uzfwc = 0.0;
  p.lztwc = 75.0;
  p.lzfsc = 20.0;
  p.lzfpc = 60.0;
  p.lz_drain_capacity = p.lzpk * p.lzfpm + p.lzsk * p.lzfsm;  // 3.2 mm
  return p;
}

// The worked basin with another lower zone: capacities and contents of the
// tension, supplementary and primary stores (mm) and the two drainage rates.
sac_params with_lower_zone(double tm, double sm, double pm, double tc, double sc, double pc,
                           double lzsk, double lzpk) {
  sac_params p = worked_basin();
  p.lztwm = tm;
  p.lzfsm = sm;
  p.lzfpm = pm;
  p.lztwc = tc;
  p.lzfsc = sc;
  p.lzfpc = pc;
  p.lzsk = lzsk;
  p.lzpk = lzpk;
  p.lz_drain_capacity = lzpk * pm + lzsk * sm;
  return p;
}

double storage(const sac_params& p) { return p.uztwc + p.uzfwc + p.lztwc + p.lzfsc + p.lzfpc; }

// ---------------------------------------------------------------- the file

TEST(sacramento_card_code, words_and_codes) {
  struct word_case {
    std::string line;
    int code;
    std::string rest;
  };
  const word_case cases[] = {
      {"VALTO_SACRAMENTO", 0, ""},
      {"uztwm 50", 1, " 50"},
      {"\tUZFWM\t40", 2, "\t40"},
      {"Zperc 2", 4, " 2"},
      {"lzpk 0.01", 10, " 0.01"},
      {"lzfpc 0.5 trailing", 16, " 0.5 trailing"},
      {"num_basins 1", 17, " 1"},
      {"basin 3", 18, " 3"},
      {"SAVED 0", 19, " 0"},
      {"uztwm,50", 20, ""},  // a comma does not end the word
      {"uztw 50", 20, " 50"},
      {"   ", 20, ""},
      {"", 20, ""},
  };
  for (const word_case& c : cases) {
    std::string line = c.line;
    EXPECT_EQ(sacramento_card_code(line), c.code) << c.line;
    EXPECT_EQ(line, c.rest) << c.line;
  }
}

TEST(read_sacramento_input, reads_the_basin_with_contents_as_depths) {
  const sac_read r = read_text(basin_text());
  ASSERT_TRUE(r.ok) << r.out << r.err;
  EXPECT_EQ(error_state.code, 0);
  EXPECT_EQ(r.err, "");
  const sac_params& p = r.sac.params;
  EXPECT_EQ(r.sac.num_basins, 1);
  EXPECT_DOUBLE_EQ(p.uztwm, 50.0);
  EXPECT_DOUBLE_EQ(p.uzk, 0.3);
  EXPECT_DOUBLE_EQ(p.rexp, 2.0);
  EXPECT_DOUBLE_EQ(p.pfree, 0.2);
  EXPECT_DOUBLE_EQ(p.uztwc, 50.0);  // 1.0 of 50
  EXPECT_DOUBLE_EQ(p.uzfwc, 0.0);
  EXPECT_DOUBLE_EQ(p.lztwc, 75.0);  // 0.5 of 150
  EXPECT_DOUBLE_EQ(p.lzfsc, 20.0);
  EXPECT_DOUBLE_EQ(p.lzfpc, 60.0);
  // 0.01 x 120 + 0.05 x 40
  EXPECT_DOUBLE_EQ(p.lz_drain_capacity, 3.2);
}

TEST(read_sacramento_input, stops_reading_after_the_seventeenth_parameter) {
  // Nothing after the last card is read: a duplicate, a word without a
  // number, a line too long to read.
  const std::string after[] = {"uztwm 99\nuztwm 98\n", "lzpk\n", std::string(30000, 'x') + "\n"};
  for (const std::string& tail : after) {
    const sac_read r = read_text(basin_text() + tail);
    EXPECT_TRUE(r.ok) << tail.substr(0, 20) << r.out << r.err;
    EXPECT_DOUBLE_EQ(r.sac.params.uztwm, 50.0);
  }
}

TEST(read_sacramento_input, refusals_print_their_lines_and_stop) {
  const std::string duplicate_lines =
      "Duplicate cards read in Sacramento parameter file.\n"
      "There should be only 21 different cards in the file\n"
      "with no duplicates.\n"
      "Program terminated in read_sacramento.c\n";
  const std::string header_lines =
      "The specified Sacramento model input parameter file does not\n"
      "have the proper header: VALTO_SACRAMENTO \n"
      "Program terminated in read_sacramento.c\n";
  auto premature = [](int n) {
    return "Premature end-of-file in the Sacramento parameter input file.\n"
           "The channel input file does not contain all the required parameters.\n"
           "The file should contain 21 parameters.  Only " +
           std::to_string(n) + " parameters read.\nProgram terminated in read_sacramento_input.\n";
  };
  const std::string body = basin_text().substr(basin_text().find('\n') + 1);
  struct refusal {
    const char* label;
    std::string text;
    std::string err;  // exact standard error, or empty
    std::string out;  // a part of standard output, or empty
  };
  const refusal cases[] = {
      {"no header", body, header_lines, ""},
      {"header in lower case", "valto_sacramento\n" + body, header_lines, ""},
      {"header cut short", "VALTO_SACRAMENT\n" + body, header_lines, ""},
      {"empty file", "", header_lines, ""},
      {"a duplicate before the seventeenth", basin_with("lzfpc", "uztwm 51"), duplicate_lines, ""},
      {"sixteen parameters", basin_with("lzfpc", ""), premature(16), ""},
      {"header only", "VALTO_SACRAMENTO\n", premature(0), ""},
      {"a word without a number", basin_with("lzsk", "lzsk"), "",
       "Error: line 12 of the Sacramento parameter file"},
      {"a malformed number", basin_with("zperc", "zperc 2.0x"), "", "line 7 of the Sacramento"},
      {"a number too large for a double", basin_with("zperc", "zperc 1e999"), "", "line 7"},
      {"num_basins not whole", basin_with("num_basins", "num_basins 1.5"), "",
       "num_basins needs a whole number"},
      {"a capacity of 0", basin_with("uzfwm", "uzfwm 0"), "", "uzfwm must be above 0"},
      {"a capacity no basin holds", basin_with("lzfsm", "lzfsm 1e308"), "",
       "lzfsm must be above 0 and at most 100000 (mm)"},
      {"a negative capacity", basin_with("lzfpm", "lzfpm -120"), "",
       "line 11 of the Sacramento parameter file"},
      {"a falling percolation curve", basin_with("zperc", "zperc -1"), "",
       "zperc must not be negative"},
      {"a share above 1", basin_with("pfree", "pfree 1.5"), "", "pfree must lie between 0 and 1"},
      {"an over-long line", basin_with("rexp", "rexp 2 " + std::string(20000, ' ')), "",
       "is longer than 19999 characters"},
  };
  for (const refusal& c : cases) {
    const sac_read r = read_text(c.text);
    EXPECT_FALSE(r.ok) << c.label;
    EXPECT_EQ(error_state.stop_flag, 1) << c.label;
    if (!c.err.empty()) {
      EXPECT_EQ(r.err, c.err) << c.label;
    }
    if (!c.out.empty()) {
      EXPECT_NE(r.out.find(c.out), std::string::npos) << c.label << r.out;
    }
  }
}

TEST(read_sacramento_input, header_may_run_on_and_cards_take_any_case) {
  std::string text = basin_text();
  text.replace(0, text.find('\n'), "  VALTO_SACRAMENTO_BASIN_7");
  const sac_read r = read_text(text);
  EXPECT_TRUE(r.ok) << r.err;
}

TEST(read_sacramento_input, bounds_contents_rates_and_saved_with_warnings) {
  std::string text = basin_text();
  auto replace = [](std::string t, const std::string& card, const std::string& with) {
    std::string out;
    for (const std::string& line : test_support::lines_of(t))
      out += (line.rfind(card + " ", 0) == 0 ? with : line) + "\n";
    return out;
  };
  text = replace(text, "UZTWC", "uztwc -0.2");
  text = replace(text, "lzfsc", "lzfsc 1.5");
  text = replace(text, "uzk", "uzk 1.2");
  text = replace(text, "lzpk", "lzpk -0.1");
  text = replace(text, "saved", "saved 500");
  const sac_read r = read_text(text);
  ASSERT_TRUE(r.ok) << r.out << r.err;
  const sac_params& p = r.sac.params;
  EXPECT_DOUBLE_EQ(p.uztwc, 0.01 * 50.0);
  EXPECT_DOUBLE_EQ(p.lzfsc, 0.99 * 40.0);
  EXPECT_DOUBLE_EQ(p.uzk, 0.5);
  EXPECT_DOUBLE_EQ(p.lzpk, 0.05);
  EXPECT_DOUBLE_EQ(p.saved, 60.0);  // lzfpc, 0.5 of 120
  EXPECT_DOUBLE_EQ(p.lz_drain_capacity, 0.05 * 120.0 + 0.05 * 40.0);
  // Every upper bound is checked before any lower one.
  EXPECT_EQ(r.err,
            "WARNING:lzfsc changed!\nWARNING:uztwc changed!\nWARNING:uzk changed!\n"
            "WARNING:lzpk changed!\nWARNING:saved changed!\n");
}

TEST(open_sac_params_file, missing_file_stops_naming_it) {
  model_state s;
  build_grid(s.grid, 1, 1, 10.0, {1.0});
  s.input.sacramento = 1;
  s.input.sacramento_file = "/nonexistent/valto/basin.sac";
  sacramento_state sac;
  clear_errors();
  std::fflush(stderr);
  testing::internal::CaptureStderr();
  stdout_capture out;
  open_sac_params_file(s, sac);
  out.stop();
  std::fflush(stderr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Cannot open Sacramento input parameter file: /nonexistent/valto/basin.sac\n");
  EXPECT_EQ(error_state.stop_flag, 1);

  // Without the method nothing is opened.
  clear_errors();
  s.input.sacramento = 0;
  open_sac_params_file(s, sac);
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST(open_sac_params_file, keeps_the_starting_contents_and_the_ramp_index) {
  model_state s;
  build_grid(s.grid, 3, 1, 10.0, {3.0, 2.0, 1.0});
  s.input.sacramento = 1;
  s.input.topo_index = 1;
  s.input.sacramento_file = fixture_path("basin.sac");
  sacramento_state sac;
  clear_errors();
  open_sac_params_file(s, sac);
  ASSERT_EQ(error_state.stop_flag, 0);
  EXPECT_DOUBLE_EQ(sac.uztwc0, 50.0);
  EXPECT_DOUBLE_EQ(sac.uzfwc0, 0.0);
  EXPECT_DOUBLE_EQ(sac.lztwc0, 75.0);
  EXPECT_DOUBLE_EQ(sac.lzfsc0, 20.0);
  EXPECT_DOUBLE_EQ(sac.lzfpc0, 60.0);
  ASSERT_EQ(sac.topo_index.size(), 4u);
  EXPECT_NEAR(sac.topo_index[3], 5.010635, 1e-6);
}

// ------------------------------------------------------ topographic index

double run_topodex(const grid_state& g, std::vector<double>& index, std::string* err = nullptr) {
  clear_errors();
  std::fflush(stderr);
  testing::internal::CaptureStderr();
  stdout_capture out;
  const bool ok = topodex(g, index);
  out.stop();
  std::fflush(stderr);
  const std::string text = testing::internal::GetCapturedStderr();
  if (err) *err = text;
  return ok ? 1.0 : 0.0;
}

TEST(topodex, ramp_and_fan_worked_by_hand) {
  // North-to-south ramp, 10 m cells: the top cell spreads 100 m2 over a
  // 5 m contour at slope 0.1 (ln 200), the middle one 200 m2 (ln 400); the
  // foot holds 300 m2 and has no lower neighbour, so its mean slope up to its
  // one neighbour, 0.1, gives ln(300 / (2 x 10 x 0.1)).
  grid_state ramp;
  build_grid(ramp, 3, 1, 10.0, {3.0, 2.0, 1.0});
  std::vector<double> index;
  ASSERT_EQ(run_topodex(ramp, index), 1.0);
  EXPECT_NEAR(index[1], 5.298317, 1e-6);
  EXPECT_NEAR(index[2], 5.991465, 1e-6);
  EXPECT_NEAR(index[3], 5.010635, 1e-6);

  // A 2 x 2 fan falling to the south-east corner: the top cell's three
  // weights are 0.5 each (the diagonal one: 2.5 sqrt 2 contour x 2 m drop
  // over 10 sqrt 2 m), so it hands 100/1.5 to each; the two side cells then
  // hold 133.3 m2 and pass it all on, and the corner gathers the whole
  // 400 m2 of the fan with a mean slope of (0.2/sqrt 2 + 0.1 + 0.1) / 3.
  grid_state fan;
  build_grid(fan, 2, 2, 10.0, {4.0, 3.0, 3.0, 2.0});
  ASSERT_EQ(run_topodex(fan, index), 1.0);
  EXPECT_NEAR(index[1], std::log(100.0 / 1.5), 1e-12);
  EXPECT_NEAR(index[2], std::log(800.0 / 3.0), 1e-12);
  EXPECT_NEAR(index[3], std::log(800.0 / 3.0), 1e-12);
  const double s = (2.0 / (std::sqrt(2.0) * 10.0) + 0.2) / 3.0;
  EXPECT_NEAR(index[4], std::log(400.0 / (20.0 * s)), 1e-12);
}

TEST(topodex, flats_pits_and_lone_cells_take_the_flat_value) {
  grid_state flat;
  build_grid(flat, 3, 3, 10.0, std::vector<double>(9, 5.0));
  std::vector<double> index;
  ASSERT_EQ(run_topodex(flat, index), 1.0);
  for (int i = 1; i <= 9; ++i) EXPECT_DOUBLE_EQ(index[std::size_t(i)], 0.333) << i;

  // The centre alone in the watershed: no neighbour, no slope.
  grid_state lone;
  build_grid(lone, 3, 3, 10.0, {7.0},
             {{1, 1}, {1, 2}, {1, 3}, {2, 1}, {2, 3}, {3, 1}, {3, 2}, {3, 3}});
  ASSERT_EQ(run_topodex(lone, index), 1.0);
  EXPECT_DOUBLE_EQ(index[1], 0.333);
  EXPECT_TRUE(std::isfinite(index[1]));
}

TEST(topodex, gives_up_after_a_thousand_passes) {
  // One row rising to the east: the scan runs west to east, so each pass
  // finishes only the highest cell still waiting. 1000 cells need 1000
  // passes; 1001 are refused.
  auto rising_row = [](grid_state& g, int cols) {
    std::vector<double> elev;
    for (int c = 1; c <= cols; ++c) elev.push_back(c);
    build_grid(g, 1, cols, 10.0, elev);
  };
  grid_state thousand, more;
  rising_row(thousand, 1000);
  rising_row(more, 1001);
  std::vector<double> index;
  std::string err;
  EXPECT_EQ(run_topodex(thousand, index, &err), 1.0) << err;
  EXPECT_EQ(run_topodex(more, index, &err), 0.0);
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_EQ(err.rfind("You have specified TOPO_INDEX in your VALTO project file.\n", 0), 0u);
  EXPECT_NE(err.find("simply put its output into the channels uniformly.\nProgram terminated.\n"),
            std::string::npos);
}

TEST(topodex, negative_index_stops) {
  // A 1000 m drop over 10 m: the weight 500 exceeds the 100 m2 spread.
  grid_state cliff;
  build_grid(cliff, 2, 1, 10.0, {1000.0, 0.0});
  std::vector<double> index;
  std::string err;
  EXPECT_EQ(run_topodex(cliff, index, &err), 0.0);
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_EQ(err,
            "Warning: topodex routine has computed a negative topodex value\n"
            "Check your input elevation file for large flat areas with\n"
            "either the exact same elevation or nearly so (~0.0000x)\n"
            "If you do not want to do this, you can remove the TOPO_INDEX card from your\n"
            "VALTO project file, and the VALTO Sacramento Routine will the\n"
            "simply put its output into the channels uniformly.\n"
            "Program terminated.\n");
}

// ------------------------------------------------------------------ weights

// Two channel cells of a four-cell grid: grid cell 2 holds link 1 node 1
// (10 m nodes, all in the cell) and link 2 node 1 (20 m nodes, half in the
// cell); grid cell 3 holds link 2 node 2 wholly, and the one node of the
// structure link 3.
void build_channels(channel_state& chan) {
  chan.links = 3;
  chan.ltype = {0, 4, 4, link_bit::structure};
  chan.dx = {0.0, 10.0, 20.0, 5.0};
  chan.stream_cells = 2;
  chan.gst_max = 2;
  chan.gst_ncellsingrid = {0, 2, 2};
  const std::size_t slots = chan.gst_index(3, 0);
  chan.gst_link.assign(slots, 0);
  chan.gst_node.assign(slots, 0);
  chan.gst_gnum.assign(slots, 0);
  chan.gst_pct.assign(slots, 0.0);
  chan.gst_sac_weight.assign(slots, 0.0);
  auto pair = [&chan](int c, int k, int link, int node, int cell, double pct) {
    const std::size_t g = chan.gst_index(c, k);
    chan.gst_link[g] = link;
    chan.gst_node[g] = node;
    chan.gst_gnum[g] = cell;
    chan.gst_pct[g] = pct;
  };
  pair(1, 1, 1, 1, 2, 1.0);
  pair(1, 2, 2, 1, 2, 0.5);
  pair(2, 1, 2, 2, 3, 1.0);
  pair(2, 2, 3, 1, 3, 1.0);
}

struct weights_run {
  std::vector<double> pair;  // A1, A2, B1, B2 (the structure)
  std::string out;
};

weights_run run_weights(channel_state& chan, sacramento_state& sac, bool topo) {
  clear_errors();
  stdout_capture out;
  compute_sac_weights(sac, chan, 4, topo);
  weights_run w;
  w.out = out.stop();
  for (auto [c, k] : {std::pair{1, 1}, {1, 2}, {2, 1}, {2, 2}})
    w.pair.push_back(chan.gst_sac_weight[chan.gst_index(c, k)]);
  return w;
}

TEST(compute_sac_weights, topographic_and_uniform_weights_by_hand) {
  // Indices 3 and 1: cell weights 3/4 and 1/4. Channel lengths 10, 10 and
  // 20 m of W = 40: 10/40 x 3/4 twice and 20/40 x 1/4, that is 3:3:2, so
  // 3/8, 3/8 and 1/4 after normalising. The structure takes none.
  channel_state chan;
  build_channels(chan);
  sacramento_state sac;
  sac.topo_index = {0.0, 9.0, 3.0, 1.0, 9.0};
  const weights_run t = run_weights(chan, sac, true);
  ASSERT_EQ(error_state.stop_flag, 0) << t.out;
  EXPECT_NEAR(t.pair[0], 0.375, 1e-15);
  EXPECT_NEAR(t.pair[1], 0.375, 1e-15);
  EXPECT_NEAR(t.pair[2], 0.25, 1e-15);
  EXPECT_EQ(t.pair[3], 0.0);
  EXPECT_DOUBLE_EQ(sac.cell_weight[2], 0.75);
  EXPECT_DOUBLE_EQ(sac.cell_weight[1], 0.0);
  EXPECT_EQ(t.out, "Sac Weights: 1.000000\n");

  // Without the index the two channel cells count alike, and the weight
  // follows the channel length: 1/4, 1/4, 1/2, so every metre of channel
  // takes the same base flow.
  const weights_run u = run_weights(chan, sac, false);
  ASSERT_EQ(error_state.stop_flag, 0) << u.out;
  EXPECT_NEAR(u.pair[0], 0.25, 1e-15);
  EXPECT_NEAR(u.pair[1], 0.25, 1e-15);
  EXPECT_NEAR(u.pair[2], 0.5, 1e-15);
  EXPECT_EQ(u.pair[3], 0.0);
  EXPECT_EQ(u.out, "Sac Weights: 1.000000\n");
}

TEST(compute_sac_weights, refusals) {
  struct refusal {
    const char* label;
    bool topo;
    std::vector<double> index;
    double pct_b1;
    const char* line;
  };
  const refusal cases[] = {
      {"channel cells of index 0", true, {0.0, 9.0, 0.0, 0.0, 9.0}, 1.0,
       "Problem, sum of the topographic indices in all channel-containing grids is <=0.0\n"
       "Program terminated\n"},
      {"a channel cell of index 0", true, {0.0, 9.0, 3.0, 0.0, 9.0}, 1.0,
       "Problem, gst_sac_weight <=0.0\nProgram terminated\n"},
      {"a pair of no length", false, {}, 0.0, "Problem, gst_sac_weight <=0.0\nProgram terminated\n"},
  };
  for (const refusal& c : cases) {
    channel_state chan;
    build_channels(chan);
    chan.gst_pct[chan.gst_index(2, 1)] = c.pct_b1;
    sacramento_state sac;
    sac.topo_index = c.index;
    const weights_run w = run_weights(chan, sac, c.topo);
    EXPECT_EQ(error_state.stop_flag, 1) << c.label;
    EXPECT_NE(w.out.find(c.line), std::string::npos) << c.label << w.out;
  }
}

// --------------------------------------------------------------- accounting

TEST(sacramento_accounting, drains_the_lower_zone_with_no_input_or_demand) {
  // 60 x 0.01 + 20 x 0.05 = 1.6 mm in one increment; the lower zone as a
  // whole (155 of 310) is exactly as full as its tension water (75 of 150),
  // so nothing moves between them.
  sac_params p = worked_basin();
  double et = 0.0, deep = -1.0;
  EXPECT_EQ(sacramento_accounting(p, et, 0.0, deep), 1);
  EXPECT_DOUBLE_EQ(p.base_flow, 1.6);
  EXPECT_EQ(et, 0.0);
  EXPECT_EQ(deep, 0.0);
  EXPECT_DOUBLE_EQ(p.lztwc, 75.0);
  EXPECT_DOUBLE_EQ(p.lzfsc, 19.0);
  EXPECT_DOUBLE_EQ(p.lzfpc, 59.4);
  EXPECT_DOUBLE_EQ(p.uztwc, 50.0);
  EXPECT_NEAR(p.residual, 0.0, 1e-13);
}

TEST(sacramento_accounting, percolation_and_interflow_worked_by_hand) {
  // 1 mm onto full tension water and 2 mm of upper free water: one
  // increment. After drainage (1.6 mm) the lower zone holds 153.4 of 310:
  // deficit d = 156.6/310. Percolation = 3.2 x 2/40 x (1 + 2 d^2)
  // = 0.2416601374; the free water left, 1.7583398626, loses 0.3 of itself
  // as interflow (0.5275019588); 0.8 of the percolation fills the tension
  // water and 0.2 goes to the free stores, primary share
  // 2 x 0.75 x 0.505 / (0.505 + 0.525) = 0.7354368932.
  sac_params p = worked_basin();
  p.uzfwc = 2.0;
  double et = 0.0, deep = 0.0;
  EXPECT_EQ(sacramento_accounting(p, et, 1.0, deep), 1);
  const double perc = 3.2 * (2.0 / 40.0) * (1.0 + 2.0 * std::pow(156.6 / 310.0, 2.0));
  EXPECT_NEAR(perc, 0.2416601374, 1e-10);
  const double interflow = (2.0 - perc) * 0.3;
  const double share = 2.0 * 0.75 * 0.505 / (0.505 + 0.525);
  EXPECT_NEAR(p.base_flow, 1.6 + interflow, 1e-12);
  EXPECT_NEAR(p.base_flow, 2.1275019588, 1e-10);
  EXPECT_NEAR(p.uzfwc, (2.0 - perc) * 0.7 + 1.0, 1e-12);
  EXPECT_NEAR(p.lztwc, 75.0 + 0.8 * perc, 1e-12);
  EXPECT_NEAR(p.lzfpc, 59.4 + 0.2 * perc * share, 1e-12);
  EXPECT_NEAR(p.lzfsc, 19.0 + 0.2 * perc * (1.0 - share), 1e-12);
  EXPECT_NEAR(storage(p), 205.0 + 2.0 + 1.0 - p.base_flow, 1e-12);
  EXPECT_NEAR(p.residual, 0.0, 1e-12);
}

TEST(sacramento_accounting, increments_follow_the_free_water_to_work) {
  // (excess + upper free water) / 5 + 1.00001, whole part.
  struct increment_case {
    double input, uzfwc;
    int n;
  };
  const increment_case cases[] = {{12.0, 0.0, 3}, {0.0, 0.0, 1}, {4.9, 0.0, 1},
                                  {5.0, 0.0, 2},  {3.0, 7.0, 3}, {100.0, 0.0, 21}};
  for (const increment_case& c : cases) {
    sac_params p = worked_basin();
    p.uzfwc = c.uzfwc;
    double et = 0.0, deep = 0.0;
    EXPECT_EQ(sacramento_accounting(p, et, c.input, deep), c.n) << c.input << " " << c.uzfwc;
    EXPECT_NEAR(p.residual, 0.0, 1e-12);
  }
}

TEST(sacramento_accounting, lower_tension_water_draws_on_the_free_stores) {
  // Tension water 30 of 150 beside free water 36 + 108: the whole lower
  // zone is 174/310 full, so the tension water rises to 174/310 x 150
  // = 84.1935 mm; the 54.1935 mm it takes empties the supplementary store
  // (36) and the primary gives the 18.1935 mm short. Then the primary drains
  // 0.01 of what it keeps.
  sac_params p = with_lower_zone(150.0, 40.0, 120.0, 30.0, 36.0, 108.0, 0.05, 0.01);
  double et = 0.0, deep = 0.0;
  sacramento_accounting(p, et, 0.0, deep);
  const double tension = 174.0 / 310.0 * 150.0;
  const double primary = 108.0 - (tension - 30.0 - 36.0);
  EXPECT_NEAR(p.lztwc, tension, 1e-12);
  EXPECT_EQ(p.lzfsc, 0.0);
  EXPECT_NEAR(p.lzfpc, primary * 0.99, 1e-12);
  EXPECT_NEAR(p.base_flow, primary * 0.01, 1e-12);
}

TEST(sacramento_accounting, upper_zone_et_takes_only_water_that_is_there) {
  // Demand 1.0 mm against 0.25 mm of tension water in a 0.5 mm store:
  // 1.0 x 0.25/0.5 = 0.5 mm is asked of it; it gives its 0.25 and the free
  // water its 0.1 for the 0.25 short. 0.35 mm is taken, not 0.85.
  sac_params p = worked_basin();
  p.uztwm = 0.5;
  p.uztwc = 0.25;
  p.uzfwc = 0.1;
  const double before = storage(p);
  double et = 1.0, deep = 0.0;
  sacramento_accounting(p, et, 0.0, deep);
  EXPECT_NEAR(et, 0.35, 1e-15);
  EXPECT_EQ(p.uztwc, 0.0);
  EXPECT_EQ(p.uzfwc, 0.0);
  EXPECT_NEAR(before - storage(p) - et - p.base_flow, 0.0, 1e-13);
  EXPECT_NEAR(p.residual, 0.0, 1e-13);

  // In proportion otherwise: 2 mm from a store 40 % full, and the free
  // water, now relatively fuller, shares the upper water with it.
  p = worked_basin();
  p.uztwc = 20.0;
  p.uzfwc = 20.0;
  et = 2.0;
  sacramento_accounting(p, et, 0.0, deep);
  EXPECT_NEAR(et, 0.8, 1e-15);
  EXPECT_NEAR(p.residual, 0.0, 1e-12);
}

// Mixed hours: storms, dry spells with demand, drizzle.
void run_hours(sacramento_state& sac, int hours, int cells, double cell_area) {
  double infiltrated = 0.0;  // m summed over the cells
  for (int h = 0; h < hours; ++h) {
    const double rain = (h % 97 < 6) ? 8.0 + 5.0 * std::sin(h) : (h % 13 == 0 ? 0.3 : 0.0);  // mm
    const double pet = (h % 24 >= 8 && h % 24 <= 18) ? 0.02 + 0.01 * std::cos(h) : 0.0;     // cm
    infiltrated += rain / 1000.0 * cells;
    account_sacramento_interval(sac, pet, infiltrated, cells, cell_area);
  }
}

TEST(sacramento_accounting, thousand_hours_close_their_balance) {
  sacramento_state sac;
  sac.params = worked_basin();
  const double start = storage(sac.params);
  run_hours(sac, 1000, 25, 900.0);
  const sac_params& p = sac.params;
  EXPECT_LT(std::fabs(p.residual), 1e-9);
  EXPECT_DOUBLE_EQ(sac.run_initial_storage, start);
  // The run's own balance, as the summary states it.
  EXPECT_LT(std::fabs(start + sac.run_input - sac.run_et - sac.run_base_flow - storage(p)), 1e-9);
  EXPECT_GT(sac.run_et, 0.0);
  EXPECT_LT(sac.run_et, sac.run_pet);
  EXPECT_NEAR(sac.run_input_volume, sac.run_input * 25 * 900.0 / 1000.0, 1e-6);
  for (double v : {p.uztwc, p.uzfwc, p.lztwc, p.lzfsc, p.lzfpc}) EXPECT_GE(v, 0.0);
  EXPECT_LE(p.uztwc, p.uztwm);
  EXPECT_LE(p.uzfwc, p.uzfwm);
  EXPECT_LE(p.lztwc + p.lzfsc + p.lzfpc, p.lztwm + p.lzfsm + p.lzfpm + 1e-12);
}

TEST(sacramento_accounting, percolation_never_overfills_the_lower_zone) {
  // A full lower zone of 20 mm draining 2 mm an interval under a steep
  // percolation curve: d = 2/20, so the demand 2 x 3.5/4 x (1 + 40 x
  // 0.1^1.2) = 6.17 mm exceeds the 3.5 mm of upper free water. Only the
  // 2 mm of room percolate (to the free stores, the tension water being
  // full); 1.5 mm stay above. Letting all 3.5 mm down would leave the lower
  // zone 1.5 mm over its capacity.
  sac_params p = with_lower_zone(10.0, 5.0, 5.0, 10.0, 5.0, 5.0, 0.2, 0.2);
  p.uzfwm = 4.0;
  p.uzfwc = 3.5;
  p.zperc = 40.0;
  p.rexp = 1.2;
  double et = 0.0, deep = 0.0;
  ASSERT_EQ(sacramento_accounting(p, et, 0.0, deep), 1);
  EXPECT_NEAR(p.uzfwc, 1.5, 1e-12);
  EXPECT_NEAR(p.lztwc, 10.0, 1e-12);
  EXPECT_NEAR(p.lzfsc, 5.0, 1e-12);
  EXPECT_NEAR(p.lzfpc, 5.0, 1e-12);
  EXPECT_NEAR(p.base_flow, 2.0, 1e-12);  // drainage only: no interflow
  EXPECT_NEAR(p.residual, 0.0, 1e-12);

  // And so on, hour after hour of storms and dry spells.
  sacramento_state sac;
  sac.params = p;
  run_hours(sac, 500, 4, 100.0);
  const sac_params& q = sac.params;
  for (double v : {q.uztwc, q.uzfwc, q.lztwc, q.lzfsc, q.lzfpc, q.base_flow}) {
    EXPECT_TRUE(std::isfinite(v));
    EXPECT_GE(v, 0.0);
  }
  EXPECT_LE(q.lztwc + q.lzfsc + q.lzfpc, 20.0 + 1e-12);
  EXPECT_LT(std::fabs(q.residual), 1e-9);
}

TEST(sacramento_accounting, percolation_does_not_draw_supplementary_water_down) {
  // An empty primary store ten times the size of a nearly full
  // supplementary one: the share 2 x 200/202 x 1 / (1 + 0.05) would give
  // the primary store 1.89 times the water arriving and take the rest from
  // the supplementary store, below empty. The primary takes it all; the
  // supplementary store only drains, 0.05 of 1.9 mm over the interval.
  sac_params p = with_lower_zone(100.0, 2.0, 200.0, 100.0, 1.9, 0.0, 0.05, 0.1);
  p.uzfwm = 20.0;
  p.uzfwc = 20.0;
  p.pfree = 1.0;
  double et = 0.0, deep = 0.0;
  const int n = sacramento_accounting(p, et, 0.0, deep);
  EXPECT_EQ(n, 5);
  EXPECT_NEAR(p.lzfsc, 1.9 * 0.95, 1e-12);
  EXPECT_GT(p.lzfpc, 10.0);
  EXPECT_NEAR(p.residual, 0.0, 1e-12);
}

TEST(sacramento_accounting, intervals_on_a_square_kilometre_by_hand) {
  // Four cells of 250000 m2. The first hour, with nothing in and no demand,
  // sends 1.6 mm over 1 km2: 1600 m3 in 3600 s.
  sacramento_state sac;
  sac.params = worked_basin();
  account_sacramento_interval(sac, 0.0, 0.0, 4, 250000.0);
  EXPECT_DOUBLE_EQ(sac.params.base_flow, 1.6);
  EXPECT_NEAR(sac.base_flow_rate, 0.444444, 1e-6);
  EXPECT_DOUBLE_EQ(sac.run_initial_storage, 205.0);
  EXPECT_DOUBLE_EQ(sac.run_base_flow_volume, 1600.0);

  // Then 4 mm summed over the cells is 1 mm over the basin, 1000 m3, and
  // 0.05 cm of PET asks 0.5 mm of the full tension water.
  account_sacramento_interval(sac, 0.05, 0.004, 4, 250000.0);
  EXPECT_DOUBLE_EQ(sac.input, 1.0);
  EXPECT_DOUBLE_EQ(sac.run_input_volume, 1000.0);
  EXPECT_DOUBLE_EQ(sac.et_demand, 0.5);
  EXPECT_DOUBLE_EQ(sac.et_taken, 0.5);
  EXPECT_DOUBLE_EQ(sac.run_et_volume, 500.0);
  // Nothing more infiltrated: no input.
  account_sacramento_interval(sac, 0.0, 0.004, 4, 250000.0);
  EXPECT_EQ(sac.input, 0.0);
  EXPECT_DOUBLE_EQ(sac.run_input, 1.0);
  EXPECT_DOUBLE_EQ(sac.run_pet, 0.5);
  EXPECT_EQ(sac.calls, 3);
  EXPECT_NEAR(sac.run_base_flow_volume, sac.run_base_flow * 1000.0, 1e-9);
  EXPECT_DOUBLE_EQ(sac.run_initial_storage, 205.0);
}

}  // namespace
