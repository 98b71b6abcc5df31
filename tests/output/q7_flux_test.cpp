// Q7 outputs: the segment fluxes across segment edges on plane20, the
// inflow rows, the set-up's warnings and stops, and the kernel's edge rule
// on a hand-made record.

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "../surface/surface_run_fixture.h"
#include "output/output_steps.h"
#include "output/q7_flux.h"
#include "test_support.h"

namespace {

using test_support::lines_of;

using namespace surface_fixture;
using test_support::read_file;
using test_support::temp_dir;

// plane20's cells 6-10 in segment 3 and 16-19 in segment 5.
std::string segment_map() {
  std::vector<double> seg(20, 0.0);
  for (int c = 6; c <= 10; ++c) seg[c - 1] = 3;
  for (int c = 16; c <= 19; ++c) seg[c - 1] = 5;
  return ascii_grid(1, 20, 100.0, seg);
}

class q7_run : public testing::Test {
 protected:
  run_output run(const std::string& extra, const std::vector<std::string>& drop = {}) {
    for (const char* name : {"mask.asc", "elevation.asc"})
      dir_.write(name, fixture_text("plane20", name));
    dir_.write("plane20.prj", edit_cards(fixture_text("plane20", "plane20.prj"), drop, extra));
    return run_in_process(dir_.path(), "plane20.prj");
  }
  std::string file(const std::string& name) { return read_file(dir_.file(name)); }

  temp_dir dir_;
};

// At steady rain each cell adds 0.1 m3/s (36 mm/h on 1 ha), so the face
// after cell k carries 0.1 k: segment 3 takes the faces after cells 5 and 10
// (0.5 + 1.0), segment 5 those after cells 15 and 19 (1.5 + 1.9).
TEST_F(q7_run, plane20_segments_sum_their_edge_discharges) {
  dir_.write("seg.asc", segment_map());
  const run_output out = run(
      "Q7_FLUXES\nQ7_SEGMENT_MAP seg.asc\nQ7_SEGMENT_FLUXES q7.out\nQ7_INPUT q7in.out\nQOUT_CFS\n");
  ASSERT_EQ(out.status, 0) << out.text;
  const std::vector<std::string> rows = lines_of(file("q7.out"));
  ASSERT_EQ(rows.size(), 1u + 361u);
  EXPECT_EQ(rows[0], "   jday   3         5         ");
  EXPECT_EQ(rows[1].substr(0, 10), "1.000     ");
  for (int minute = 180; minute < 240; ++minute) {
    const std::string& row = rows[1 + minute];
    EXPECT_NEAR(std::stod(row.substr(10, 8)), 1.5, 0.015) << row;
    EXPECT_NEAR(std::stod(row.substr(20, 8)), 3.4, 0.034) << row;
  }
  // One minute is 1/1440 day.
  EXPECT_EQ(rows[1 + 180].substr(0, 10), "1.125     ");

  // The inflow rows: day of year 153 (1 June of a leap year) and the outlet
  // discharge in m3/s although the outlet hydrograph is in cfs.
  const std::vector<std::string> in = lines_of(file("q7in.out"));
  ASSERT_EQ(in.size(), 3u + 361u);
  EXPECT_EQ(in[0], "  output from VALTO");
  EXPECT_EQ(in[1], "");
  EXPECT_EQ(in[2], "    JDAY     QIN");
  EXPECT_EQ(in[3], "153.0    0.0    ");
  const std::vector<std::string> outlet = lines_of(file("outlet.hyd"));
  const double cfs = std::stod(outlet[200].substr(9));
  char expected[32];
  std::snprintf(expected, sizeof expected, "%-8.1lf %-7.1f", 153.0 + 200.0 / 1440.0,
                cfs / 35.314667);
  EXPECT_EQ(in[3 + 200], expected);
}

// Set-up: warnings let the run go on without segment output; a bad table or
// an output that cannot be made stops it.
TEST_F(q7_run, setup_warnings_and_stops) {
  struct setup_case {
    const char* map;    // segment map text, or null for none
    const char* table;  // link/node table text, or null for none
    const char* extra;
    int status;
    const char* message;
  };
  const std::string zeros = ascii_grid(1, 20, 100.0, std::vector<double>(20, 0.0));
  const std::string map = segment_map();
  std::string word_map = map;
  word_map.replace(word_map.rfind("3"), 1, "x");
  std::string big_map = map;
  big_map.replace(big_map.rfind("3"), 1, "10000");
  const setup_case cases[] = {
      {zeros.c_str(), nullptr, "", 0, "Warning: There are no segments in the Q7 segment map.\n"},
      {nullptr, nullptr, "", 0,
       "Warning: The VALTO to Q7 internal segment flux option is turned on\n"},
      {map.c_str(), "1\n1 1 4\n", "Q7_NODES_TO_SEGS tab.txt\n", 1,
       "Error: In the Q7 internal stream flux to segment file, some link/node pairs \n"},
      {map.c_str(), "2\n1 1 3\n", "Q7_NODES_TO_SEGS tab.txt\n", 1,
       "Error: line 3 of the Q7 link/node to segment file tab.txt should hold a link, a node "
       "and a segment.\n"},
      {map.c_str(), "1\n1 x 3\n", "Q7_NODES_TO_SEGS tab.txt\n", 1, "Error: line 2 of the Q7"},
      {word_map.c_str(), nullptr, "", 1, "seg.asc"},
      {map.c_str(), nullptr, "Q7_SEGMENT_FLUXES nodir/q7.out\n", 1,
       "Error: Unable to open the Q7 internal flux output file ["},
      // A count far beyond the rows the table holds stops at its missing row.
      {map.c_str(), "2147483647\n1 1 3\n", "Q7_NODES_TO_SEGS tab.txt\n", 1,
       "Error: line 3 of the Q7 link/node to segment file tab.txt should hold a link"},
      {big_map.c_str(), nullptr, "", 1,
       "Error: the Q7 segment map seg.asc gives segment 10000; segments run from 1 to 9999.\n"},
  };
  for (const setup_case& c : cases) {
    std::string cards = "Q7_FLUXES\n";
    if (c.map) {
      dir_.write("seg.asc", c.map);
      cards += "Q7_SEGMENT_MAP seg.asc\n";
    }
    if (c.table) dir_.write("tab.txt", c.table);
    cards += c.extra;
    if (std::string(c.extra).find("Q7_SEGMENT_FLUXES") == std::string::npos)
      cards += "Q7_SEGMENT_FLUXES q7.out\n";
    const run_output out = run(cards);
    EXPECT_EQ(out.status, c.status) << c.message << out.text;
    EXPECT_NE(out.text.find(c.message), std::string::npos) << out.text;
  }
}

// Two segments meeting at an edge add nothing there; flows count as
// absolute values; table rows add their node's discharge. The row is the
// mean over the passes, and the sums start again after it.
TEST(q7_flux, only_edges_to_cells_outside_every_segment_count) {
  temp_dir dir;
  q7_data q7;
  q7.max_segment = 2;
  q7.first_row = 1;
  q7.seg_map = {0, 0, 1, 2, 0};  // a row of 4 cells
  q7.active_array = {0, 1, 1};
  q7.sums = {0, 0, 0};
  q7.link = {1};
  q7.node = {2};
  q7.segment = {2};
  ASSERT_TRUE(q7.output.open(dir.file("q7.out").c_str(), "w"));
  const int right[] = {0, 2, 3, 4, 0};
  const int below[] = {0, 0, 0, 0, 0};
  const double dx = 10.0;
  const double qx[] = {0, -0.4, 7.0, 0.6, 0};  // m3/s through the right faces
  const double qy[] = {0, 0, 0, 0, 0};
  std::vector<double> qp(2 * 3 + 3, 0.0);
  qp[1 * 3 + 2] = -2.0;  // link 1 node 2, stride 3
  accumulate_q7_flux(q7, qx, qy, 4, right, below, true, qp.data(), 3, dx);
  accumulate_q7_flux(q7, qx, qy, 4, right, below, false, qp.data(), 3, dx);
  write_q7_value(q7, 153.5);
  write_q7_value(q7, 154.0);  // no passes: no row
  accumulate_q7_flux(q7, qx, qy, 4, right, below, false, qp.data(), 3, dx);
  write_q7_value(q7, 154.25);
  free_q7_data(q7);
  free_q7_data(q7);
  EXPECT_EQ(read_file(dir.file("q7.out")),
            "1.000     0.40      1.60      \n"
            "1.750     0.40      0.60      \n");
}

}  // namespace

namespace {

TEST(q7_flux, freeing_closes_the_file_once_and_the_run_close_stays_silent) {
  temp_dir dir;
  model_state s;
  ASSERT_TRUE(s.output.q7.output.open(dir.file("q7.out").c_str(), "w"));
  std::fputs("   jday   \n", s.output.q7.output.stream);
  free_q7_data(s.output.q7);
  EXPECT_FALSE(s.output.q7.output.is_open());
  test_support::stdout_capture capture;
  close_model_files(s);
  EXPECT_EQ(capture.stop(), "");
  EXPECT_EQ(read_file(dir.file("q7.out")), "   jday   \n");
}

}  // namespace

namespace {

// The program on 1 and 8 threads: the same Q7 rows, inflow rows, interface
// hydrograph file and XY point depths, byte for byte.
TEST(q7_flux, plane20_files_are_the_same_on_one_and_eight_threads) {
  namespace fs = std::filesystem;
  std::string files[2];
  const char* threads[2] = {"OMP_NUM_THREADS=1", "OMP_NUM_THREADS=8"};
  for (int t = 0; t < 2; ++t) {
    temp_dir dir;
    fs::copy(fs::path(VALTO_FIXTURES_DIR) / "plane20", dir.path(), fs::copy_options::recursive);
    dir.write("seg.asc", segment_map());
    dir.write("plane20.prj", read_file(dir.file("plane20.prj")) +
                                 "Q7_FLUXES\nQ7_SEGMENT_MAP seg.asc\nQ7_SEGMENT_FLUXES q7.out\n"
                                 "Q7_INPUT q7in.out\nTPG_HYDRO tpg.hyd\n"
                                 "XYBDYOUTPUT_PTS pts.txt\nXYBDYOUTPUT_OVDEP xy.out\n");
    dir.write("pts.txt", "3\n550 50 1\n1000 50 2\n1940 70 3\n");
    const test_support::program_result result =
        test_support::run_program("plane20.prj", dir.path(), threads[t]);
    ASSERT_EQ(result.status, 0) << result.output;
    files[t] = read_file(dir.file("q7.out")) + read_file(dir.file("q7in.out")) +
               read_file(dir.file("tpg.hyd")) + read_file(dir.file("xy.out"));
    EXPECT_GT(files[t].size(), 10000u);
  }
  EXPECT_EQ(files[0], files[1]);
}

}  // namespace
