// Radar rainfall grids: a list of grid files rains on the plane20 fixture at
// the rates of its grids, cells are mapped onto the radar cells with the
// edge rules, rates are converted from inches per hour and capped, and
// missing or mismatched grid files stop the run.

#include "surface/radar_grid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/error_state.h"
#include "precip_fixture.h"
#include "surface_run_fixture.h"
#include "test_support.h"

namespace {

using namespace precip_fixture;
using surface_fixture::clear_errors;
using surface_fixture::progress_rows;
using surface_fixture::run_in_process;
using test_support::scoped_cwd;
using test_support::stdout_capture;
using test_support::temp_dir;

// A radar grid file: header after keywords, then the rows from the north.
std::string radar_grid(int cols, int rows, double ll_x, double ll_y, double size,
                       const std::string& values) {
  std::ostringstream text;
  text << "ncols " << cols << "\nnrows " << rows << "\nxllcorner " << ll_x << "\nyllcorner "
       << ll_y << "\ncellsize " << size << "\nNODATA_value -9999\n"
       << values;
  return text.str();
}

// Three grid files at 00:00, 04:00 and 04:30 of 1 June 2000.
const std::string radar_list =
    "EVENT radar\nNRGAG files\nNRPDS 3\n"
    "RADAR 2000 6 1 0 0 a.asc\nRADAR 2000 6 1 4 0 b.asc\nRADAR 2000 6 1 4 30 c.asc\n";

void write_grids(const temp_dir& dir) {
  // One row of two 1000 m cells over the plane; only the header of the
  // first file and the rates of the later ones are read.
  dir.write("a.asc", radar_grid(2, 1, 0, 0, 1000, "9 9\n"));
  dir.write("b.asc", radar_grid(2, 1, 0, 0, 1000, "1.5 0.75\n"));
  dir.write("c.asc", radar_grid(2, 1, 0, 0, 1000, "0 0\n"));
}

TEST(radar_run, a_list_of_grid_files_rains_at_the_rates_of_its_grids) {
  temp_dir dir;
  write_plane(dir, radar_list);
  write_grids(dir);
  const run_output out = run_in_process(dir.path(), "plane20.prj");
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_NE(out.text.find("Reading radar precip file b.asc.\n"
                          "Peak rainfall rate read: 38.100000 mm/hr\n"
                          "Peak rainfall applied to watershed: 38.100000 mm/hr\n"),
            std::string::npos)
      << out.text;
  // Ten cells at 38.1 mm/h and ten at 19.05 mm/h: 57.15 mm/h over 1e5 m2.
  double q = -1.0;
  for (const auto& r : progress_rows(out.text))
    if (std::fabs(r.minutes - 239.5) < 1e-6) q = r.q;
  EXPECT_DOUBLE_EQ(q, 1.59);
  EXPECT_NE(test_support::read_file(dir.file("summary.out"))
                .find("With radar-rainfall estimates using inverse-distance squared"),
            std::string::npos);
}

class radar_files : public testing::Test {
 protected:
  radar_files() : cwd_(dir_.path()) { clear_errors(); }
  ~radar_files() override { clear_errors(); }

  temp_dir dir_;
  scoped_cwd cwd_;
};

TEST_F(radar_files, cells_map_onto_the_radar_cells_with_the_edge_rules) {
  struct map_case {
    const char* label;
    std::string grid;
    std::vector<int> first_cells;  // radar index of cells 1, 10, 11 and 20
    const char* message;           // when the map fails
  };
  const map_case cases[] = {
      {"the plane inside the grid", radar_grid(2, 1, 0, 0, 1000, "0 0\n"), {0, 0, 1, 1}, nullptr},
      {"a plane north of the grid takes its row 0", radar_grid(2, 1, 0, -1000, 1000, "0 0\n"),
       {0, 0, 1, 1}, nullptr},
      {"cells west of the grid take its column 0", radar_grid(2, 1, 500, 0, 1000, "0 0\n"),
       {0, 0, 0, 1}, nullptr},
      {"cells beyond the east edge", radar_grid(1, 1, 0, 0, 1000, "0\n"), {},
       "Error!! p_I=0, p_J=1\n\nError in creating radar mapping to grid.\n"},
      {"cells beyond the south edge", radar_grid(2, 1, 0, 60, 1000, "0 0\n"), {},
       "Error!! p_I=1, p_J=0\n\nError in creating radar mapping to grid.\n"},
      {"a cell size that puts the cells past the range of an int",
       radar_grid(2, 1, 0, 0, 1e-9, "0 0\n"), {},
       "Error!! p_I=0, p_J=2\n\nError in creating radar mapping to grid.\n"},
      {"a header giving more cells than any radar grid has",
       radar_grid(100000, 100000, 0, 0, 1000, "0\n"), {},
       "Error: the radar grid file first.asc holds 100000 rows of 100000 columns, more than the "
       "67108864 cells a radar grid may have.\n"
       "Error: unable to read radar header in file first.asc\n\n"},
      {"a header giving more values than the file holds",
       radar_grid(3000, 4000, 0, 0, 1000, "0 0 0\n"), {},
       "Error: the radar grid file first.asc gives 4000 rows of 3000 columns, more values than "
       "its 85 bytes hold.\n"
       "Error: unable to read radar header in file first.asc\n\n"},
  };
  for (const map_case& c : cases) {
    SCOPED_TRACE(c.label);
    clear_errors();
    model_state s;
    dir_.write("rain.gag", "");
    plane_record(s);
    dir_.write("first.asc", c.grid);
    radar_precip& radar = s.surface.raingage.radar_grid;
    stdout_capture out;
    setup_radar_grid("first.asc", radar, s.grid);
    if (error_state.code != 0) report_error();
    const std::string text = out.stop();
    if (c.message) {
      EXPECT_EQ(text, c.message);
      EXPECT_EQ(error_state.stop_flag, 1);
      continue;
    }
    EXPECT_EQ(text, "");
    EXPECT_EQ(error_state.stop_flag, 0);
    const int cells[4] = {1, 10, 11, 20};
    for (int k = 0; k < 4; ++k) EXPECT_EQ(radar.valto_to_precip[cells[k]], c.first_cells[k]);
  }
}

TEST_F(radar_files, rates_are_converted_from_inches_held_at_100_and_no_data_is_dry) {
  radar_precip radar;
  dir_.write("r.asc", radar_grid(5, 1, 0, 0, 1000, "-9999 -1 3 5 -9999.005\n"));
  ASSERT_EQ(parse_radar_header(radar, "r.asc"), 0);
  stdout_capture out;
  ASSERT_EQ(read_radar_file("r.asc", radar), 0);
  EXPECT_EQ(out.stop(),
            "Warning: really big precip value (127.000000) in cell (0,3) from radar rainfall.\n "
            "resetting value to 100.0\n"
            "Peak rainfall rate read: 100.000000 mm/hr\n");
  const double rates[5] = {0, 0, 76.2, 100, 0};  // mm/h
  ASSERT_EQ(radar.precip_data.size(), 5u);
  for (int k = 0; k < 5; ++k) EXPECT_DOUBLE_EQ(radar.precip_data[k], rates[k]) << k;
  EXPECT_EQ(radar.west, 0.0);
  EXPECT_EQ(radar.north, 1000.0);
}

// The event of radar_list read on the plane's record, and its first period.
class radar_event : public radar_files {
 protected:
  std::string start(const std::string& list) {
    dir_.write("rain.gag", list);
    plane_record(s_);
    stdout_capture out;
    setup_precip_and_hmet(s_);
    if (!error_state.stop_flag) start_event(s_, 1);
    if (!error_state.stop_flag) update_rain_rates(s_);
    return out.stop();
  }
  model_state s_;
};

TEST_F(radar_event, a_missing_or_mismatched_grid_file_stops_the_run) {
  struct file_case {
    const char* label;
    const char* b;  // the second grid file, null for none
    const char* message;
  };
  const file_case cases[] = {
      {"a missing grid file", nullptr,
       "Error getting new filename from b.asc\nError: unable to open radar precip file b.asc\n\n"},
      {"a grid of other dimensions", "ncols 3\nnrows 1\nx 0\ny 0\ns 1000\nn -9999\n1 1 1\n",
       "Error: the radar precip file b.asc does not hold a grid of 1 rows and 2 columns, as the "
       "first grid file of the event does.\n\n"},
      {"a value that does not read", "ncols 2\nnrows 1\nx 0\ny 0\ns 1000\nn -9999\n1 wet\n",
       "Error in reading radar precip file b.asc\n\n"},
  };
  for (const file_case& c : cases) {
    SCOPED_TRACE(c.label);
    clear_errors();
    write_grids(dir_);
    std::filesystem::remove(dir_.file("b.asc"));
    if (c.b) dir_.write("b.asc", c.b);
    model_state s;
    dir_.write("rain.gag", radar_list);
    plane_record(s);
    stdout_capture out;
    setup_precip_and_hmet(s);
    start_event(s, 1);
    update_rain_rates(s);
    const std::string text = out.stop();
    EXPECT_EQ(error_state.stop_flag, 1);
    const std::string head = "Reading radar precip file b.asc.\n";
    ASSERT_GE(text.size(), head.size() + std::string(c.message).size()) << text;
    EXPECT_EQ(text.substr(text.size() - head.size() - std::string(c.message).size()),
              head + c.message);
  }
}

TEST_F(radar_event, lists_beyond_the_capacities_or_without_a_first_file_are_refused) {
  std::string long_list = "EVENT long list\nNRGAG files\nNRPDS 2001\n";
  std::string long_name = "EVENT long name\nNRGAG FILES\nNRPDS 2\nRADAR 2000 6 1 0 0 " +
                          std::string(151, 'n') + "\nRADAR 2000 6 1 1 0 b.asc\n";
  struct list_case {
    const char* label;
    std::string list;
    std::string message;
  };
  const list_case cases[] = {
      {"more than 2000 files", long_list,
       "\nThere is a problem with your rainfall input file.  The event entitled:\n   long list\n"
       "lists 2001 radar files; at most 2000 may be listed in one event.\n\n"},
      {"a name of 151 characters", long_name,
       "\nThere is a problem with your rainfall input file.  The event entitled:\n   long name\n"
       "lists radar files, but line 4 of rain.gag names a radar file of more than 150 "
       "characters.\n\n"},
      {"a missing first file",
       "EVENT gone\nNRGAG files\nNRPDS 2\nRADAR 2000 6 1 0 0 gone.asc\nRADAR 2000 6 1 1 0 b.asc\n",
       "Error getting new filename from gone.asc\n"
       "Error: unable to read radar header in file gone.asc\n\n"},
      {"a GAGES card in a list of files",
       "EVENT mixed\nNRGAG files\nNRPDS 2\nRADAR 2000 6 1 0 0 a.asc\nGAGES 2000 6 1 1 0 b.asc\n",
       "\nERROR:\n\nThere is a problem in the precipitation input file.\n"
       "More than one precipitation data card type has been specified.\n"
       "There may only be one of the following card types per event:\n\n"
       "     1) RADAR\n     2) GAGES\n     3) RATES\n\n"
       "Check the precipitation input file.  VALTO exiting\n\n"},
  };
  write_grids(dir_);
  for (const list_case& c : cases) {
    SCOPED_TRACE(c.label);
    clear_errors();
    model_state s;
    dir_.write("rain.gag", c.list);
    plane_record(s);
    stdout_capture out;
    setup_precip_and_hmet(s);
    EXPECT_EQ(out.stop(), c.message);
    EXPECT_EQ(error_state.stop_flag, 1);
  }
}

TEST_F(radar_event, the_first_period_reads_the_second_lines_grid) {
  write_grids(dir_);
  const std::string text = start(radar_list);
  ASSERT_EQ(error_state.stop_flag, 0) << text;
  EXPECT_EQ(s_.surface.raingage.radar, 2);
  EXPECT_EQ(s_.surface.raingage.nrgag, 1);
  for (int i = 1; i <= 20; ++i) EXPECT_DOUBLE_EQ(s_.surface.rain_rate[i], i <= 10 ? 38.1 : 19.05);
}

}  // namespace
