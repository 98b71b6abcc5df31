// XY point outputs: depths interpolated at listed points and at the
// boundary cells of an inset mask on the map tests' flat 2 x 3 grid, whose
// cell (2,1) lies outside the watershed.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "output/xy_outputs.h"
#include "test_support.h"

namespace {

using test_support::lines_of;

using test_support::read_file;
using test_support::temp_dir;

// The flat grid of 20 m cells, its surface held by 100 mm of retention
// under 12 mm/h of rain for 30 minutes.
struct flat_run {
  temp_dir dir;
  test_support::program_result result{};

  explicit flat_run(const std::string& cards) {
    const std::string head = "north: 40\nsouth: 0\neast: 60\nwest: 0\nrows: 2\ncols: 3\n";
    dir.write("mask.asc", head + "1 1 1\n0 1 1\n");
    dir.write("elev.asc", head + "50 50 50\n50 50 50\n");
    dir.write("hot.asc", head + "0.010 0.020 0.030\n0 0.040 0.050\n");
    dir.write("flat.prj",
              "VALTOPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nROWS 2\nCOLS 3\n"
              "GRIDSIZE 20\nMANNING_N 5000\nRETENTION 100\nOUTROW 1\nOUTCOL 3\n"
              "OUTSLOPE 0.000000002\nPRECIP_UNIF\nRAIN_INTENSITY 12\nRAIN_DURATION 30\n"
              "TIMESTEP 60\nTOT_TIME 40\nSTART_DATE 2000 6 1\nSTART_TIME 0 0\nHYD_FREQ 10\n"
              "SUMMARY summary.out\nOUTLET_HYDRO outlet.hyd\nREAD_OV_HOTSTART hot.asc\n"
              "XYBDYOUTPUT_OVDEP xy.out\n" +
                  cards);
  }
  void run(const std::string& env = "") {
    result = test_support::run_program("flat.prj", dir.path(), env);
  }
  std::string file(const std::string& name) const { return read_file(dir.file(name)); }
};

// A cell centre, the corner of three active cells (equal weights) and a
// point east of the grid (its nearest cell); 2 mm of rain per 10 minutes.
TEST(xy_outputs, point_depths_on_the_flat_grid) {
  flat_run run("XYBDYOUTPUT_PTS points.txt\n");
  run.dir.write("points.txt", "3\n30 30 1\n20 20 2\n70 30 3\n");
  run.run();
  ASSERT_EQ(run.result.status, 0) << run.result.output;
  const std::string warning =
      "Warning... an XY output point (x=   70.00, y=   30.00) is not located in an active cell.";
  // Once, at set-up: on the error stream and on the screen, both captured.
  std::size_t count = 0;
  for (std::size_t at = run.result.output.find(warning); at != std::string::npos;
       at = run.result.output.find(warning, at + 1))
    ++count;
  EXPECT_EQ(count, 2u) << run.result.output;
  EXPECT_EQ(run.file("xy.out"),
            "XY_OV_DEPTH\n3\nDATE       TIME \t"
            "              1              2              3\n"
            "2000 06 01 00 00\t     0.02000000     0.02333333     0.03000000\n"
            "2000 06 01 00 10\t     0.02200000     0.02533333     0.03200000\n"
            "2000 06 01 00 20\t     0.02400000     0.02733333     0.03400000\n"
            "2000 06 01 00 30\t     0.02600000     0.02933333     0.03600000\n"
            "2000 06 01 00 40\t     0.02600000     0.02933333     0.03600000\n"
            "END_TS\n");
}

TEST(xy_outputs, point_file_faults) {
  struct file_case {
    const char* points;
    int status;
    const char* message;
    std::size_t columns;
  };
  const file_case cases[] = {
      {"5\n30 30 1\n20 20 2\n50 30 3\n", 0,
       "Warning!!! The number of points specified in the xy output file is more than the actual "
       "points in the file.\n",
       3},
      {"2\n30 30 1\n20 twenty 2\n", 1,
       "Error: line 3 of the XY output point file points.txt should hold x, y and an id.\n", 0},
  };
  for (const file_case& c : cases) {
    flat_run run("XYBDYOUTPUT_PTS points.txt\n");
    run.dir.write("points.txt", c.points);
    run.run();
    EXPECT_EQ(run.result.status, c.status) << run.result.output;
    const std::size_t at = run.result.output.find(c.message);
    EXPECT_NE(at, std::string::npos) << run.result.output;
    EXPECT_EQ(run.result.output.find(c.message, at + 1), std::string::npos);
    if (c.status != 0) continue;
    const std::vector<std::string> lines = lines_of(run.file("xy.out"));
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[1], "3");
    EXPECT_EQ(lines[3].size(), 17u + 15u * c.columns);
  }
  // An output that cannot be made is reported and the run goes on.
  flat_run unopenable("XYBDYOUTPUT_PTS points.txt\nXYBDYOUTPUT_OVDEP nodir/xy.out\n");
  unopenable.dir.write("points.txt", "1\n30 30 1\n");
  unopenable.run();
  EXPECT_EQ(unopenable.result.status, 0) << unopenable.result.output;
  EXPECT_NE(unopenable.result.output.find("Error: XY Overland Flow output file name is not valid\n"),
            std::string::npos);
  // A missing point file is reported and the run goes on.
  flat_run missing("XYBDYOUTPUT_PTS none.txt\n");
  missing.run();
  EXPECT_EQ(missing.result.status, 0);
  EXPECT_NE(missing.result.output.find("Error: unable to open the xy output file none.txt.\n"),
            std::string::npos);
}

// Every cell of a 2 x 3 inset equal to the watershed is a boundary cell:
// five points, ids 1 to 5 in row order, at the cell centres.
TEST(xy_outputs, inset_mask_gives_a_point_per_boundary_cell) {
  flat_run run("XYBDYOUTPUT_MASK inset.asc\n");
  run.dir.write("inset.asc", "north: 40\nsouth: 0\neast: 60\nwest: 0\nrows: 2\ncols: 3\n"
                             "1 1 1\n0 1 1\n");
  run.run();
  ASSERT_EQ(run.result.status, 0) << run.result.output;
  const std::vector<std::string> lines = lines_of(run.file("xy.out"));
  ASSERT_EQ(lines.size(), 3u + 5u + 1u);
  EXPECT_EQ(lines[1], "5");
  EXPECT_EQ(lines[2], "DATE       TIME \t              1              2              3"
                      "              4              5");
  EXPECT_EQ(lines[3], "2000 06 01 00 00\t     0.01000000     0.02000000     0.03000000"
                      "     0.04000000     0.05000000");

  flat_run missing("XYBDYOUTPUT_MASK none.asc\n");
  missing.run();
  EXPECT_EQ(missing.result.status, 0);
  EXPECT_NE(missing.result.output.find("Error: unable to open the XY output mask file.\n"),
            std::string::npos);
}

// A single-cell inset gives one point at its centre; a point in the
// north-west quarter of the grid's first cell keeps only that cell.
TEST(xy_outputs, weights_of_edge_points) {
  temp_dir dir;
  dir.write("one.asc", "north: 40\nsouth: 0\neast: 60\nwest: 0\nrows: 2\ncols: 3\n"
                       "0 0 0\n0 1 0\n");
  xy_output one;
  ASSERT_TRUE(read_xy_inset_mask(dir.file("one.asc").c_str(), one));
  const std::vector<xy_output_point>& points = one.points;
  ASSERT_EQ(points.size(), 1u);
  EXPECT_EQ(points[0].id, 1);
  EXPECT_DOUBLE_EQ(points[0].x, 30.0);
  EXPECT_DOUBLE_EQ(points[0].y, 10.0);

  int numbers[4][5] = {{0}, {0, 1, 2, 3, 0}, {0, 0, 4, 5, 0}, {0}};
  int* rows[4] = {numbers[0], numbers[1], numbers[2], numbers[3]};
  xy_grid_view grid;
  grid.north = 40;
  grid.size = 20;
  grid.rows = 2;
  grid.cols = 3;
  grid.number = rows;
  std::vector<xy_output_point> corner(1);
  corner[0].x = 4;
  corner[0].y = 36;
  compute_xy_weights(corner, grid);
  EXPECT_EQ(corner[0].n, 1);
  EXPECT_EQ(corner[0].cell[0], 1);
  EXPECT_DOUBLE_EQ(corner[0].weight_sum, 1.0);
  const double depth[] = {0, 0.25, 9, 9, 9, 9};
  EXPECT_DOUBLE_EQ(interpolate_xy_point(corner[0], depth), 0.25);

  // A point far beyond the grid (no int row or column) takes its nearest
  // cell with the warning.
  std::vector<xy_output_point> far(1);
  far[0].x = -3e11;
  far[0].y = 1e12;
  test_support::stdout_capture out;
  compute_xy_weights(far, grid);
  const std::string said = out.stop();
  EXPECT_EQ(far[0].n, 1);
  EXPECT_EQ(far[0].cell[0], 1);
  EXPECT_NE(said.find("is not located in an active cell."), std::string::npos) << said;
}

TEST(xy_outputs, an_inset_mask_promising_more_cells_than_its_file_is_refused) {
  temp_dir dir;
  dir.write("big.asc", "north: 40\nsouth: 0\neast: 60\nwest: 0\nrows: 200000\ncols: 300000\n1\n");
  xy_output xy;
  test_support::stdout_capture out;
  EXPECT_FALSE(read_xy_inset_mask(dir.file("big.asc").c_str(), xy));
  const std::string said = out.stop();
  EXPECT_NE(said.find("gives 200000 rows of 300000 columns, more cells than its"), std::string::npos)
      << said;
  EXPECT_TRUE(xy.points.empty());
}

}  // namespace

namespace {

TEST(inset_crossings, segments_intersect_at_the_ends_of_the_stream) {
  const xy_segment side = {0, 0, 10, 0};  // along y = 0
  struct cross_case {
    xy_segment stream;
    bool crosses;
  };
  const cross_case cases[] = {
      {{5, 5, 5, -5}, true},     // straight through
      {{5, 5, 5, 0}, true},      // ends on the side
      {{5, 0, 5, -5}, false},    // starts on the side
      {{0, 5, 0, -5}, true},     // through the side's end point
      {{12, 5, 12, -5}, false},  // past the side's end
      {{0, 1, 10, 1}, false},    // parallel
  };
  for (const cross_case& c : cases)
    EXPECT_EQ(segments_intersect(side, c.stream), c.crosses)
        << c.stream.x1 << "," << c.stream.y1 << " " << c.stream.x2 << "," << c.stream.y2;
}

// An inset of 10 m cells, its west edge at x = 0 and its south edge at y = 0.
void make_inset(xy_output& xy, int rows, int cols, const std::vector<int>& cells) {
  xy_inset& in = xy.inset;
  in.rows = rows;
  in.cols = cols;
  in.north = rows * 10.0;
  in.west = 0.0;
  in.size = 10.0;
  ASSERT_TRUE(in.mask.allocate_grid(rows, cols));
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) in.mask[r][c] = cells[std::size_t((r - 1) * cols + c - 1)];
  in.read = 1;
}

TEST(inset_crossings, boundary_sides_leave_out_the_sides_between_inset_cells) {
  struct side_case {
    int rows, cols;
    std::vector<int> cells;
    std::size_t sides;
  };
  const side_case cases[] = {
      {1, 1, {1}, 4u},
      {1, 2, {1, 1}, 6u},
      {3, 3, {0, 0, 0, 0, 1, 0, 0, 0, 0}, 4u},
      {3, 3, {1, 1, 1, 1, 1, 1, 1, 1, 1}, 12u},  // the centre cell has no side
  };
  for (const side_case& c : cases) {
    xy_output xy;
    make_inset(xy, c.rows, c.cols, c.cells);
    add_inset_boundary_sides(xy);
    EXPECT_EQ(xy.sides.size(), c.sides) << c.rows << " x " << c.cols;
  }
  // The single cell's sides run clockwise from its north-west corner.
  xy_output one;
  make_inset(one, 1, 1, {1});
  add_inset_boundary_sides(one);
  ASSERT_EQ(one.sides.size(), 4u);
  EXPECT_DOUBLE_EQ(one.sides[0].x1, 0.0);
  EXPECT_DOUBLE_EQ(one.sides[0].y1, 10.0);
  EXPECT_DOUBLE_EQ(one.sides[0].x2, 10.0);
  EXPECT_DOUBLE_EQ(one.sides[1].y2, 0.0);
}

// A link that runs into a 2 x 2 inset across its west side and out across
// its east side: one crossing, at the larger node; a second link that only
// touches the inset from outside adds nothing.
TEST(inset_crossings, a_link_crossing_twice_keeps_the_larger_node) {
  temp_dir dir;
  dir.write("net.chan",
            "VALTO_CHAN\nLINK 4\nNODE 1\nX_Y -5 10\nNODE 2\nX_Y 5 10\nNODE 3\nX_Y 15 10\n"
            "NODE 4\nX_Y 25 10\nLINK 7\nNODE 1\nX_Y -5 30\nNODE 2\nX_Y 25 30\n");
  xy_output xy;
  make_inset(xy, 2, 2, {1, 1, 1, 1});
  test_support::stdout_capture capture;
  find_inset_stream_crossings(xy, dir.file("net.chan").c_str(), true,
                              dir.file("st.out").c_str());
  const std::string printed = capture.stop();
  ASSERT_EQ(xy.crossings.size(), 1u);
  EXPECT_EQ(xy.crossings[0].link, 4);
  EXPECT_EQ(xy.crossings[0].node, 3);
  EXPECT_DOUBLE_EQ(xy.crossings[0].x, 20.0);
  EXPECT_EQ(printed,
            "VALTO identified 1 stream link/nodes as crossing the inset mask boundary.\n4,3\t\n");
  const double qp[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2.5};
  write_xy_output_row(xy, nullptr, qp, 5, 2451696.5);  // 4 x 5 + 3
  close_xy_outputs(xy);
  EXPECT_EQ(read_file(dir.file("st.out")),
            "XY_STREAM_HYDROGRAPHS\n1\nX                 \t         20.000\n"
            "Y                 \t         10.000\n"
            "2000 06 01 00 00\t         2.5000\nEND_TS\n");
}

// An unreadable channel file or stream output is reported; stream output
// stays off.
TEST(inset_crossings, unreadable_channel_file_or_output_leave_stream_output_off) {
  temp_dir dir;
  dir.write("net.chan", "VALTO_CHAN\n");
  struct fault_case {
    std::string channel, output;
    const char* message;
  };
  const fault_case cases[] = {
      {dir.file("none.chan"), dir.file("st.out"),
       "Error: unable to open the .cif file for reading for the stream boundary XY hydrograph "
       "ouput file\n"},
      {dir.file("net.chan"), dir.file("nodir/st.out"),
       "Error: unable to open the stream boundary XY hydrograph ouput file\n"},
  };
  for (const fault_case& c : cases) {
    xy_output xy;
    make_inset(xy, 1, 1, {1});
    test_support::stdout_capture capture;
    find_inset_stream_crossings(xy, c.channel.c_str(), true, c.output.c_str());
    EXPECT_NE(capture.stop().find(c.message), std::string::npos) << c.message;
    EXPECT_EQ(xy.st_on, 0);
  }
}

// Point-file mode on the junction's network: no inset, so no crossing; the
// stream file holds its header and rows of dates only.
TEST(inset_crossings, point_mode_stream_file_holds_dates_only) {
  temp_dir dir;
  for (const char* name : {"mask.asc", "elevation.asc", "junction.chan", "junction.gst"})
    dir.write(name, read_file(std::string(VALTO_FIXTURES_DIR) + "/junction/" + name));
  dir.write("points.txt", "1\n50 250 1\n");
  dir.write("junction.prj", read_file(std::string(VALTO_FIXTURES_DIR) + "/junction/junction.prj") +
                                "XYBDYOUTPUT_PTS points.txt\nXYBDYOUTPUT_STFLOW st.out\n");
  const test_support::program_result result = test_support::run_program("junction.prj", dir.path());
  ASSERT_EQ(result.status, 0) << result.output;
  const std::vector<std::string> lines = lines_of(read_file(dir.file("st.out")));
  ASSERT_EQ(lines.size(), 4u + 121u + 1u);
  EXPECT_EQ(lines[0], "XY_STREAM_HYDROGRAPHS");
  EXPECT_EQ(lines[1], "0");
  EXPECT_EQ(lines[2], "X                 \t");
  EXPECT_EQ(lines[3], "Y                 \t");
  EXPECT_EQ(lines[4], "2000 06 01 00 00\t");
  EXPECT_EQ(lines[5], "2000 06 01 00 01\t");
  EXPECT_EQ(lines.back(), "END_TS");
}

}  // namespace
