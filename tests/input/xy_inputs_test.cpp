// XY boundary inputs: the file headers, the points and their series, the two
// stream files in card order, the cell check, the mapping of stream points
// onto links, and the volumes booked when depths and heads are set.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/julian.h"
#include "input/card_table.h"
#include "input/project_settings.h"
#include "input/side_file_cards.h"
#include "input/xy_inputs.h"
#include "project_test_support.h"

namespace {

namespace fs = std::filesystem;

std::string fixture(const char* name) {
  return (fs::path(VALTO_FIXTURES_DIR) / "side_files" / name).string();
}

double at(int hour, int minute) { return julian_date(2000, 1, 1, hour, minute, 0.0); }

using xy_test = project_test;

// One point whose series holds value at every time.
void add_point(array1d<xy_point>& points, time_series_list& list, int cell, double value) {
  time_series* s = ts_new(list);
  s->name = "p";
  s->time = {0.0};
  s->value = {value};
  points.grow(1);
  points[points.size].cell = cell;
  points[points.size].series = s;
}

TEST_F(xy_test, point_file_gives_each_cell_its_column_of_the_block) {
  xy_input xy;
  time_series_list list;
  test_support::stdout_capture out;
  read_xy_point_input(xy.ovpts, list, "overland", fixture("xy_ov_depth.txt").c_str(), "XY_OV_DEPTH");
  EXPECT_EQ(out.stop(), "");
  ASSERT_EQ(xy.ovpts.size, 2);
  EXPECT_EQ(xy.ovpts[1].cell, 3);
  EXPECT_EQ(xy.ovpts[2].cell, 1);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(xy.ovpts[1].series, list[0].get());
  EXPECT_EQ(list[0]->name, "XY_OV_DEPTH_0000");
  EXPECT_EQ(list[1]->name, "XY_OV_DEPTH_0001");
  EXPECT_NEAR(ts_value(at(0, 30), xy.ovpts[1].series), 0.20, 1e-6);
  EXPECT_NEAR(ts_value(at(0, 30), xy.ovpts[2].series), 0.30, 1e-6);
  EXPECT_STREQ(xy.ovpts.name, "xy_input::ovpts");
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST_F(xy_test, headers_are_checked_as_each_file_kind_requires) {
  struct header_case {
    const char* kind;  // "overland", "groundwater", "stream", "stream_ts"
    const char* text;
    int points;
    const char* output;
  };
  const header_case cases[] = {
      {"overland", "XY_OV_DEPTH\n1\nc n 2\n2000 1 1 0 0 1.0\nEND_TS\n", 1, ""},
      {"overland", "XY_OV_DEPTH_FILE\n1\nc n 2\n2000 1 1 0 0 1.0\n", 1, ""},  // a prefix suffices
      {"overland", "xy_ov_depth\n1\nc n 2\n2000 1 1 0 0 1.0\n", 0,
       "Error: file used for overland xy boundary input file is not of appropriate type. File "
       "header does not match XY_OV_DEPTH.\n"},
      {"groundwater", "XY_OV_DEPTH\n1\nc n 2\n2000 1 1 0 0 1.0\n", 0,
       "Error: file used for groundwater xy boundary input file is not of appropriate type. File "
       "header does not match XY_GW_HEAD.\n"},
      {"groundwater", "XY_GW_HEAD\n0\n", 0, "Warning: No points in groundwater xy boundary input file.\n"},
      {"stream", "Xy_Stream_Hydrographs\n1\nx 1\ny 2\n2000 1 1 0 0 1.0\n", 1, ""},
      {"stream", "XY_STREAM\n1\nx 1\ny 2\n", 0,
       "Error: file used for stream xy boundary input file is not of appropriate type. File header "
       "does not match XY_STREAM_HYDROGRAPHS.\n"},
      {"stream", "XY_STREAM_HYDROGRAPHS\n-1\n", 0,
       "Warning: No points in the stream xy boundary input file.\n"},
      {"stream_ts", "valto_xy_st_bdy_ts\nVALTO_TS\nXY 1 2\nEND_TS\n", 1, ""},
      {"stream_ts", "VALTO_TS\nXY 1 2\nEND_TS\n", 0,
       "Error: incorrectly formatted header for stream xy time series boundary input file.\n"},
  };
  for (const header_case& c : cases) {
    xy_input xy;
    time_series_list list;
    const std::string path = dir_.write("xy.txt", c.text);
    const std::string kind = c.kind;
    test_support::stdout_capture out;
    int points = 0;
    if (kind == "overland") {
      read_xy_point_input(xy.ovpts, list, "overland", path.c_str(), "XY_OV_DEPTH");
      points = xy.ovpts.size;
    } else if (kind == "groundwater") {
      read_xy_point_input(xy.gwpts, list, "groundwater", path.c_str(), "XY_GW_HEAD");
      points = xy.gwpts.size;
    } else if (kind == "stream") {
      read_xy_stream_input(xy, list, path.c_str());
      points = xy.stpts.size;
    } else {
      read_xy_stream_ts_input(xy, list, path.c_str());
      points = xy.stpts.size;
    }
    EXPECT_EQ(out.stop(), c.output) << c.text;
    EXPECT_EQ(points, c.points) << c.text;
    EXPECT_EQ(error_state.stop_flag, 0) << c.text;
  }
}

TEST_F(xy_test, unreadable_files_and_lines_are_reported) {
  xy_input xy;
  time_series_list list;
  {
    test_support::stdout_capture out;
    read_xy_point_input(xy.gwpts, list, "groundwater", dir_.file("none.txt").c_str(), "XY_GW_HEAD");
    read_xy_stream_ts_input(xy, list, dir_.file("none.txt").c_str());
    const std::string text = out.stop();
    EXPECT_NE(text.find("Error: unable to open groundwater xy boundary input file.\n"),
              std::string::npos);
    EXPECT_NE(text.find("Error: unable to open stream xy boundary input file.\n"), std::string::npos);
  }
  EXPECT_EQ(error_state.stop_flag, 0);
  const std::string path = dir_.write("short.txt", "XY_GW_HEAD\n3\ncell numbers 4 5\n");
  test_support::stdout_capture out;
  read_xy_point_input(xy.gwpts, list, "groundwater", path.c_str(), "XY_GW_HEAD");
  EXPECT_EQ(out.stop(), "Error: line 3 of the xy boundary input file " + path +
                            " should hold two words and then the cell number of every point.\n\n");
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_EQ(xy.gwpts.size, 0);
}

TEST_F(xy_test, two_stream_files_append_their_points_in_card_order) {
  dir_.write("series.ts", "VALTO_TS\nflow\nABSOLUTE\n2000 1 1 0 0 4.0\nEND_TS\n"
                          "VALTO_TS\nstage\nABSOLUTE\n2000 1 1 0 0 6.0\nEND_TS\n");
  fs::copy_file(fixture("xy_stream.txt"), dir_.path() / "xy_stream.txt");
  fs::copy_file(fixture("xy_stream_ts.txt"), dir_.path() / "xy_stream_ts.txt");
  test_support::scoped_cwd cwd(dir_.path());

  // The cards act as the project reader applies them, in this order.
  project_settings& s = settings();
  card_records records{s, params(), precip()};
  card_reader reader;
  s.time_series_file = "series.ts";
  s.xybdyinput_stflow = "xy_stream.txt";
  s.xybdyinput_sttimeseries = "xy_stream_ts.txt";
  test_support::stdout_capture out;
  for (const char* word : {"time_series_file", "xybdyinput_stflow", "xybdyinput_sttimeseries"})
    read_side_file_card(*find_card(word), records, reader);
  out.stop();

  ASSERT_NE(s.xy_inputs, nullptr);
  const array1d<xy_stream_point>& st = s.xy_inputs->stpts;
  ASSERT_EQ(st.size, 4);
  EXPECT_DOUBLE_EQ(st[1].x, 100.0);
  EXPECT_DOUBLE_EQ(st[1].y, 200.0);
  EXPECT_DOUBLE_EQ(st[2].x, 250.0);
  EXPECT_DOUBLE_EQ(ts_value(at(0, 0), st[2].series), 2.0);
  EXPECT_EQ(st[2].series->name, "XY_STREAM_HYDROGRAPHS_0001");
  EXPECT_DOUBLE_EQ(st[3].x, 300.0);
  EXPECT_EQ(st[3].linknode, 0);
  EXPECT_EQ(st[3].series, ts_find(s.ts_list, "flow"));
  EXPECT_EQ(st[4].linknode, 1);
  EXPECT_EQ(st[4].link, 4);
  EXPECT_EQ(st[4].node, 2);
  EXPECT_DOUBLE_EQ(ts_value(at(0, 0), st[4].series), 6.0);
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST_F(xy_test, a_series_named_before_its_file_is_read_is_reported_and_left_unset) {
  xy_input xy;
  time_series_list list;
  test_support::stdout_capture out;
  read_xy_stream_ts_input(xy, list, fixture("xy_stream_ts.txt").c_str());
  const std::string text = out.stop();
  EXPECT_NE(text.find("Error!!! unable to find time series [flow] for the xy boundary stream time "
                      "series file.\n         Perhaps the related TIME_SERIES_FILE card in the "
                      "project file is below the XYBDYINPUT_STTIMESERIES card?\n"),
            std::string::npos)
      << text;
  ASSERT_EQ(xy.stpts.size, 2);
  EXPECT_EQ(xy.stpts[1].series, nullptr);
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST_F(xy_test, setting_depths_and_heads_books_the_water_it_moves) {
  struct apply_case {
    double series_value, held, expected_in, expected_out;
  };
  const apply_case cases[] = {
      {0.10, 0.04, 6.0, 0.0},   // 0.06 m on 100 m2
      {0.04, 0.10, 0.0, 6.0},   // a deeper cell loses the difference
      {0.07, 0.07, 0.0, 0.0},   // equal: nothing either way
  };
  for (const apply_case& c : cases) {
    xy_input xy;
    time_series_list list;
    add_point(xy.ovpts, list, 2, c.series_value);
    add_point(xy.gwpts, list, 2, c.series_value);
    std::vector<double> depth = {0.0, 0.5, c.held, 0.5};
    std::vector<double> head = depth;
    const std::vector<double> porosity = {0.0, 0.2, 0.3, 0.2};
    double in = -1.0, out = -1.0;
    apply_xy_ov_depths(xy, depth.data(), 10.0, in, out, 0.0);
    EXPECT_NEAR(in, c.expected_in, 1e-12);
    EXPECT_NEAR(out, c.expected_out, 1e-12);
    EXPECT_DOUBLE_EQ(depth[2], c.series_value);
    EXPECT_EQ(depth[1], 0.5);
    EXPECT_EQ(depth[3], 0.5);
    apply_xy_gw_heads(xy, head.data(), porosity.data(), 10.0, in, out, 0.0);
    EXPECT_NEAR(in, 0.3 * c.expected_in, 1e-12);  // 1.8 m3 for the first case
    EXPECT_NEAR(out, 0.3 * c.expected_out, 1e-12);
    EXPECT_DOUBLE_EQ(head[2], c.series_value);
  }
  // Two points on one cell: the net change is booked once.
  xy_input xy;
  time_series_list list;
  add_point(xy.ovpts, list, 1, 0.30);
  add_point(xy.ovpts, list, 1, 0.10);
  std::vector<double> depth = {0.0, 0.20};
  double in = 0.0, out = 0.0;
  apply_xy_ov_depths(xy, depth.data(), 10.0, in, out, 0.0);
  EXPECT_NEAR(in - out, (0.10 - 0.20) * 100.0, 1e-12);
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST_F(xy_test, cell_numbers_outside_the_watershed_stop_the_run) {
  struct cell_case {
    int ov_cell, gw_cell;
    bool ok;
    const char* message;
  };
  const cell_case cases[] = {
      {1, 9, true, ""},
      {0, 5, false,
       "Error: overland xy boundary point 1 names cell 0, but the watershed's cells are numbered 1 "
       "to 9.\n\n"},
      {4, 10, false,
       "Error: groundwater xy boundary point 1 names cell 10, but the watershed's cells are "
       "numbered 1 to 9.\n\n"},
  };
  for (const cell_case& c : cases) {
    xy_input xy;
    time_series_list list;
    add_point(xy.ovpts, list, c.ov_cell, 0.0);
    add_point(xy.gwpts, list, c.gw_cell, 0.0);
    test_support::stdout_capture out;
    EXPECT_EQ(check_xy_cell_numbers(xy, 9), c.ok);
    EXPECT_EQ(out.stop(), c.message);
    EXPECT_EQ(error_state.stop_flag, c.ok ? 0 : 1);
    clear_errors();
  }
}

TEST_F(xy_test, stream_points_take_the_nearest_node_of_a_link_that_can_hold_them) {
  // Link 1 is a candidate, link 2 is of another kind, link 3 has a single node.
  const int node_count[] = {0, 3, 2, 1};
  const int flags[] = {0, 4, 1, 16};
  const double x1[] = {0, 0.0, 10.0, 20.0}, y1[] = {0, 0.0, 0.0, 0.0};
  const double x2[] = {0, 11.0, 12.0}, y2[] = {0, 1.0, 1.0};
  const double x3[] = {0, 10.0}, y3[] = {0, 0.5};
  const double* xs[] = {nullptr, x1, x2, x3};
  const double* ys[] = {nullptr, y1, y2, y3};
  const xy_channel_view network{3, node_count, flags, xs, ys};

  xy_input xy;
  xy.stpts.grow(3);
  xy.stpts[1].x = 11.0;  // nearest to link 2 node 1 and link 3, neither a candidate
  xy.stpts[1].y = 1.0;
  xy.stpts[2].x = 15.0;  // halfway: the lower node wins
  xy.stpts[3].linknode = 1;
  xy.stpts[3].link = 2;
  xy.stpts[3].node = 2;
  EXPECT_TRUE(map_xy_stream_points(xy, network));
  EXPECT_EQ(xy.stpts[1].link, 1);
  EXPECT_EQ(xy.stpts[1].node, 2);
  EXPECT_EQ(xy.stpts[2].link, 1);
  EXPECT_EQ(xy.stpts[2].node, 2);
  EXPECT_EQ(xy.stpts[3].link, 2);  // given directly, kept
  EXPECT_EQ(xy.stpts[3].node, 2);

  xy.stpts[3].node = 3;
  test_support::stdout_capture out;
  EXPECT_FALSE(map_xy_stream_points(xy, network));
  EXPECT_EQ(out.stop(),
            "Error: stream xy boundary point 3 names link 2 node 3, which the channel network does "
            "not have.\n\n");
  EXPECT_EQ(error_state.stop_flag, 1);
}

}  // namespace

namespace {

// A point count the rest of the file cannot hold is refused before anything
// is sized by it, for each file kind with a count line.
TEST_F(xy_test, a_count_beyond_what_the_file_holds_is_refused) {
  for (const char* text : {"XY_OV_DEPTH\n99999999\nc n 2\n", "XY_STREAM_HYDROGRAPHS\n99999999\nx 1\n"}) {
    SCOPED_TRACE(text);
    error_state = error_record{};
    xy_input xy;
    time_series_list list;
    const std::string path = dir_.write("xy.txt", text);
    test_support::stdout_capture out;
    if (text[3] == 'O')
      read_xy_point_input(xy.ovpts, list, "overland", path.c_str(), "XY_OV_DEPTH");
    else
      read_xy_stream_input(xy, list, path.c_str());
    const std::string printed = out.stop();
    EXPECT_NE(printed.find("Error: line 2 of " + path + " gives 99999999 points, more than the"),
              std::string::npos)
        << printed;
    EXPECT_EQ(error_state.stop_flag, 1);
    EXPECT_EQ(xy.ovpts.size + xy.stpts.size, 0);
    EXPECT_TRUE(list.empty());
    error_state = error_record{};
  }
}

}  // namespace
