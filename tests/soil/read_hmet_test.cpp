// The hydrometeorological reader: each layout's hours converted to the
// record's units and counted once, missing values repaired from the right
// earlier value and counted, the tables held per run, SAMSON's hour 24, the
// surface-airways day counts, gridded hours mapped onto the cells with the
// edge rule, the orographic lapse, and every refused file closed with its
// message.

#include "soil/read_hmet.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "core/error_state.h"
#include "core/grid_state.h"
#include "core/parallel_team.h"
#include "core/safe_file.h"
#include "input/project_settings.h"
#include "test_support.h"

namespace {

using test_support::scoped_cwd;
using test_support::stdout_capture;
using test_support::temp_dir;

std::string fixture(const std::string& name) {
  return test_support::read_file(
      (std::filesystem::path(VALTO_FIXTURES_DIR) / "hmet" / name).string());
}

// A grid of rows x cols cells of dx metres, north-west corner at (0,
// rows dx), every cell in the watershed, numbered row by row.
void build_grid(grid_state& g, int rows, int cols, double dx) {
  g.rows = rows;
  g.cols = cols;
  g.dx = dx;
  g.west = 0.0;
  g.north = rows * dx;
  g.mask.allocate_grid(rows, cols);
  int n = 0;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) g.mask[r][c] = ++n;
  g.cells = n;
  g.elevation.assign(n + 1, 0.0);
}

std::vector<int> date_of(const hmet_record& r) { return {r.year, r.month, r.day, r.hour}; }
std::vector<int> end_date_of(const hmet_record& r) {
  return {r.end_year, r.end_month, r.end_day, r.end_hour};
}

// Text right-aligned (or left-aligned) in 1-based columns first..last of line.
void put(std::string& line, int first, int last, const std::string& text, bool left = false) {
  const std::size_t width = last - first + 1;
  if (line.size() < std::size_t(last)) line.resize(last, ' ');
  std::string field = left ? text + std::string(width - text.size(), ' ')
                           : std::string(width - text.size(), ' ') + text;
  line.replace(first - 1, width, field);
}

std::string samson_line(int yy, int month, int day, int hour, const std::string& direct,
                        const std::string& global, const std::string& sky,
                        const std::string& temp, const std::string& rh,
                        const std::string& pressure, const std::string& wind) {
  std::string l;
  put(l, 2, 3, std::to_string(yy));
  put(l, 5, 6, std::to_string(month));
  put(l, 8, 9, std::to_string(day));
  put(l, 11, 12, std::to_string(hour));
  put(l, 34, 37, direct);
  put(l, 42, 45, global);
  put(l, 50, 51, sky);
  put(l, 56, 60, temp);
  put(l, 68, 70, rh);
  put(l, 72, 75, pressure);
  put(l, 80, 85, wind);
  return l + "\n";
}

const std::string samson_head =
    "~23183 PHOENIX                AZ  -7 N 33 26 W 112 01\n~YR MO DA HR I    1    2\n";

std::string surfaways_line(const std::string& code, int day, const std::vector<int>& values) {
  std::string l = "SAW00023183";
  put(l, 12, 15, code, true);
  put(l, 18, 21, "2001");
  put(l, 22, 23, "07");
  put(l, 26, 27, std::to_string(day));
  put(l, 28, 30, std::to_string(values.size()));
  for (std::size_t i = 0; i < values.size(); ++i) {
    const int g = 31 + 12 * int(i);
    char time[8];
    std::snprintf(time, sizeof time, "%04d", int(i + 1) * 100);
    put(l, g, g + 3, time);
    put(l, g + 5, g + 9, std::to_string(values[i]));
  }
  return l + "\n";
}

// One day of the seven elements, each with the same value every hour; the
// codes in skip are left out.
std::string surfaways_day(int day, const std::string& skip = "") {
  const char* codes[7] = {"DRAD", "GRAD", "PRES", "RHUM", "TMPD", "TSKC", "WIND"};
  const int values[7] = {1000, 2000, 29920, 65, 41, 1005, 27010};
  std::string text;
  for (int k = 0; k < 7; ++k)
    if (skip.find(codes[k]) == std::string::npos)
      text += surfaways_line(codes[k], day, std::vector<int>(24, values[k]));
  return text;
}

std::string ascii_hour_grid(int cols, int rows, double ll_x, double ll_y, double size,
                            const std::string& values) {
  return "ncols " + std::to_string(cols) + "\nnrows " + std::to_string(rows) + "\nxllcorner " +
         std::to_string(ll_x) + "\nyllcorner " + std::to_string(ll_y) + "\ncellsize " +
         std::to_string(size) + "\nNODATA_value -9999\n" + values;
}

class hmet_reader : public testing::Test {
 protected:
  hmet_reader() : cwd_(dir_.path()) {
    error_state = error_record{};
    build_grid(grid, 1, 3, 100.0);
  }
  ~hmet_reader() override { error_state = error_record{}; }

  // Writes the file, opens it and makes the set-up call.
  int first(const std::string& text, hmet_format format) {
    dir_.write("hmet.txt", text);
    EXPECT_TRUE(file.open("hmet.txt", "r"));
    settings.format = format;
    record.read_number = 1;
    stdout_capture capture;
    const int result = read_hmet_data(file, 1, record, reader, settings, grid);
    output = capture.stop();
    return result;
  }
  // One hourly call, the read number advanced as the hourly step does.
  int next() {
    stdout_capture capture;
    const int result = read_hmet_data(file, ++record.read_number, record, reader, settings, grid);
    output = capture.stop();
    return result;
  }
  bool stopped() const { return error_state.stop_flag != 0; }

  temp_dir dir_;
  scoped_cwd cwd_;
  grid_state grid;
  safe_file file;
  hmet_record record;
  hmet_reader_state reader;
  hmet_settings settings;
  std::string output;
};

const char* const zep_format_table =
    "Make sure your file is in the correct format, including making sure\n"
    "all input data are listed as floats or ints as specified in the following\n"
    "format table:\n"
    " Format:\n"
    "1   2   3   4    5     6           7        8         9    10        11  \n"
    "Yr  Mo  Day Hr  Press. RelHumidity SkyCover WindSpeed Temp DirectRad GlobalRad\n"
    "int int int int float  int         int      int       int  float     float\n\n";

TEST_F(hmet_reader, zep_line_is_converted_to_the_record_units) {
  ASSERT_EQ(first("1993 1 15 13 29.92 65 50 10 41 200.0 350.0\n", hmet_format::zep), 0);
  EXPECT_EQ(output, "End of hmet_ZEP file encountered after 1 lines\n");
  EXPECT_EQ(record.record_count, 1);
  EXPECT_EQ(date_of(record),
            (std::vector<int>{1993, 1, 15, 13}));
  ASSERT_EQ(next(), 11);
  EXPECT_NEAR(record.pressure, 1013.25, 1013.25 * 1e-9);
  EXPECT_DOUBLE_EQ(record.rel_humidity, 65.0);
  EXPECT_DOUBLE_EQ(record.cloud_cover, 5.0);
  EXPECT_NEAR(record.wind_speed, 5.14444, 5.14444 * 1e-9);
  EXPECT_NEAR(record.air_temp, 5.0, 5.0 * 1e-9);
  EXPECT_DOUBLE_EQ(record.direct_rad, 200.0);
  EXPECT_DOUBLE_EQ(record.global_rad, 350.0);
  EXPECT_EQ(record.missing_count, 0);
  EXPECT_EQ(next(), -1);
  EXPECT_FALSE(stopped());
}

TEST_F(hmet_reader, zep_missing_values_take_the_last_valid_value) {
  // The hours between 13:00 and 12:00 the next day repeat 13:00's values.
  std::string between;
  for (int h = 14; h < 36; ++h)
    between += "1993 1 " + std::to_string(15 + h / 24) + " " + std::to_string(h % 24) +
               " 30.00 70 40 20 50 200.0 350.0\n";
  const std::string text =
      "1993 1 15 12 29.92 65 50 10 41 100.0 300.0\n"
      "1993 1 15 13 30.00 70 40 20 50 200.0 350.0\n"
      "\n" + between +
      "1993 1 16 12 999 999 999 999 999 10000 10000.0\n"
      "1993 1 16 13 29.92 70 40 20 50 10000 360.0\n";
  ASSERT_EQ(first(text, hmet_format::zep), 0);
  EXPECT_EQ(record.record_count, 26);
  EXPECT_EQ(end_date_of(record),
            (std::vector<int>{1993, 1, 16, 13}));
  for (int k = 0; k < 25; ++k) ASSERT_EQ(next(), 11);
  // Radiation, humidity and temperature of 12:00 the day before; pressure,
  // sky cover and wind of the last hour read, 13:00.
  EXPECT_DOUBLE_EQ(record.direct_rad, 100.0);
  EXPECT_DOUBLE_EQ(record.global_rad, 300.0);
  EXPECT_DOUBLE_EQ(record.rel_humidity, 65.0);
  EXPECT_NEAR(record.air_temp, 5.0, 1e-12);
  EXPECT_NEAR(record.pressure, 30.0 * 1013.25 / 29.92, 1e-9);
  EXPECT_DOUBLE_EQ(record.cloud_cover, 4.0);
  EXPECT_NEAR(record.wind_speed, 20 * 0.514444, 1e-12);
  EXPECT_EQ(record.missing_count, 7);
  ASSERT_EQ(next(), 11);
  EXPECT_DOUBLE_EQ(record.direct_rad, 200.0);  // the last valid 13:00 value
  EXPECT_EQ(record.missing_count, 8);
  EXPECT_EQ(record.day, 16);
  EXPECT_EQ(next(), -1);
}

TEST_F(hmet_reader, zep_day_file_gives_every_hour_once) {
  settings.quiet = 1;
  ASSERT_EQ(first(fixture("zep_day.txt"), hmet_format::zep), 0);
  EXPECT_EQ(output, "");
  ASSERT_EQ(record.record_count, 24);
  for (int h = 0; h < 24; ++h) {
    ASSERT_EQ(next(), 11);
    EXPECT_EQ(record.hour, h);
    EXPECT_NEAR(record.air_temp, h >= 6 && h <= 19 ? 25.0 : 15.0, 1e-12);
  }
  EXPECT_EQ(next(), -1);
  EXPECT_EQ(record.missing_count, 1);  // 13:00's direct radiation, no earlier 13:00: 0
  EXPECT_FALSE(stopped());
}

TEST_F(hmet_reader, repair_tables_belong_to_one_run) {
  // A run that saw 13:00 with 200 of direct radiation...
  ASSERT_EQ(first("1993 1 15 13 29.92 65 50 10 41 200.0 350.0\n", hmet_format::zep), 0);
  ASSERT_EQ(next(), 11);
  file.close();
  // ...and the next run, with its own reader, whose first 13:00 is missing.
  hmet_reader_state next_run;
  record = hmet_record{};
  dir_.write("next.txt", "1993 1 15 13 999 65 50 10 41 10000 350.0\n");
  ASSERT_TRUE(file.open("next.txt", "r"));
  ASSERT_EQ(read_hmet_data(file, 1, record, next_run, settings, grid), 0);
  ASSERT_EQ(read_hmet_data(file, 2, record, next_run, settings, grid), 11);
  EXPECT_DOUBLE_EQ(record.direct_rad, 0.0);
  EXPECT_DOUBLE_EQ(record.pressure, 0.0);
  EXPECT_EQ(record.missing_count, 2);
  // The set-up call of a run clears what the same reader held before.
  std::rewind(file.stream);
  ASSERT_EQ(read_hmet_data(file, 1, record, reader, settings, grid), 0);
  ASSERT_EQ(read_hmet_data(file, 2, record, reader, settings, grid), 11);
  EXPECT_DOUBLE_EQ(record.direct_rad, 0.0);
  EXPECT_EQ(record.missing_count, 2);
}

TEST_F(hmet_reader, bad_zep_files_are_refused_with_their_line) {
  const std::string named = "  (File: hmet.txt)\n";
  const std::string good = "1993 1 15 12 29.92 65 50 10 41 100.0 300.0\n";
  struct bad_case {
    const char* label;
    std::string text;
    std::string message;
  };
  const bad_case cases[] = {
      {"ten fields", good + "1993 1 15 13 29.92 65 50 10 41 100.0\n",
       std::string("Error: Problem encountered in hmet_ZEP file, line 2, near parameter 11\n\n") +
           zep_format_table + named},
      {"a word for the pressure", good + "\n1993 1 15 13 high 65 50 10 41 100.0 1\n",
       std::string("Error: Problem encountered in hmet_ZEP file, line 3, near parameter 5\n\n") +
           zep_format_table + named},
      {"a real for the humidity", "1993 1 15 13 29.92 65.5 50 10 41 100.0 1\n",
       std::string("Error: Problem encountered in hmet_ZEP file, line 1, near parameter 6\n\n") +
           zep_format_table + named},
      {"twelve fields", "1993 1 15 13 29.92 65 50 10 41 100.0 1 2\n",
       std::string("Error: Problem encountered in hmet_ZEP file, line 1, near parameter 12\n\n") +
           zep_format_table + named},
      {"hour 25", good + "1993 1 15 25 29.92 65 50 10 41 100.0 1\n",
       "Error: line 2 of the hmet_ZEP file hmet.txt gives 1993 1 15 hour 25, which is not a date "
       "with an hour of 0 to 24.\n"},
      {"30 February", "1993 2 30 1 29.92 65 50 10 41 100.0 1\n",
       "Error: line 1 of the hmet_ZEP file hmet.txt gives 1993 2 30 hour 1, which is not a date "
       "with an hour of 0 to 24.\n"},
      {"no hours", "\n\n", "Error: the hmet_ZEP file hmet.txt holds no hours.\n"},
      {"an over-long line", good + std::string(25000, '1') + "\n",
       "Error: line 2 of the hmet_ZEP file hmet.txt is longer than 19997 characters.\n"},
      {"a humidity of 500 percent", good + "1993 1 15 13 29.92 500 50 10 41 100.0 1\n",
       "Error: line 2 of the hmet_ZEP file hmet.txt: the relative humidity 500 percent is "
       "outside its range; it must be from 0 to 100 percent.\n"},
      {"an air temperature of 10000", good + "1993 1 15 13 29.92 65 50 10 10000 100.0 1\n",
       "Error: line 2 of the hmet_ZEP file hmet.txt: the air temperature 10000 deg F is outside "
       "its range; it must be from -130 to 140 deg F.\n"},
      {"a sky cover of 120 percent", "1993 1 15 13 29.92 65 120 10 41 100.0 1\n",
       "Error: line 1 of the hmet_ZEP file hmet.txt: the sky cover 120 percent is outside its "
       "range; it must be from 0 to 100 percent.\n"},
      {"a negative wind", "1993 1 15 13 29.92 65 50 -4 41 100.0 1\n",
       "Error: line 1 of the hmet_ZEP file hmet.txt: the wind speed -4 knots is outside its "
       "range; it must be 0 or more knots.\n"},
      {"a pressure of 0", "1993 1 15 13 0 65 50 4 41 100.0 1\n",
       "Error: line 1 of the hmet_ZEP file hmet.txt: the pressure 0 inches of mercury is outside "
       "its range; it must be above 0 inches of mercury.\n"},
      {"a negative global radiation", "1993 1 15 13 29.92 65 50 4 41 100.0 -1\n",
       "Error: line 1 of the hmet_ZEP file hmet.txt: the global radiation -1 is outside its "
       "range; it must be 0 or more.\n"},
      {"an hour out of order", good + "1993 1 15 11 29.92 65 50 10 41 100.0 1\n",
       "Error: line 2 of the hmet_ZEP file hmet.txt gives 1993 1 15 hour 11, 1 hour before the "
       "hour before it (1993 1 15 hour 12); each hour must follow the one before by one hour.\n"},
      {"an hour given twice", good + "\n" + good,
       "Error: line 3 of the hmet_ZEP file hmet.txt gives 1993 1 15 hour 12, the same hour as the "
       "hour before it (1993 1 15 hour 12); each hour must follow the one before by one hour.\n"},
      {"midnight as hour 24 and as hour 0", "1993 1 15 24 29.92 65 50 10 41 100.0 1\n"
                                            "1993 1 16 0 29.92 65 50 10 41 100.0 1\n",
       "Error: line 2 of the hmet_ZEP file hmet.txt gives 1993 1 16 hour 0, the same hour as the "
       "hour before it (1993 1 15 hour 24); each hour must follow the one before by one hour.\n"},
      {"a day back", good + "1993 1 15 13 29.92 65 50 10 41 100.0 1\n" +
                         "1993 1 14 14 29.92 65 50 10 41 100.0 1\n",
       "Error: line 3 of the hmet_ZEP file hmet.txt gives 1993 1 14 hour 14, 23 hours before the "
       "hour before it (1993 1 15 hour 13); each hour must follow the one before by one hour.\n"},
      {"hours left out", good + "1993 1 15 16 29.92 65 50 10 41 100.0 1\n",
       "Error: line 2 of the hmet_ZEP file hmet.txt gives 1993 1 15 hour 16, 4 hours after the "
       "hour before it (1993 1 15 hour 12); each hour must follow the one before by one hour.\n"},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.label);
    error_state = error_record{};
    reader = hmet_reader_state{};
    EXPECT_EQ(first(c.text, hmet_format::zep), -1);
    EXPECT_EQ(output, c.message + "\n");
    EXPECT_TRUE(stopped());
    EXPECT_FALSE(file.is_open());
    // Later calls find the closed file and report the end of the data.
    EXPECT_EQ(next(), -1);
  }
}

TEST(roll_hour_24, moves_hour_24_to_the_next_day) {
  struct roll_case {
    int date[4];
    int rolled[4];
  };
  const roll_case cases[] = {
      {{1992, 2, 28, 24}, {1992, 2, 29, 0}},  {{1993, 2, 28, 24}, {1993, 3, 1, 0}},
      {{1992, 2, 29, 24}, {1992, 3, 1, 0}},   {{2000, 2, 28, 24}, {2000, 2, 29, 0}},
      {{1900, 2, 28, 24}, {1900, 3, 1, 0}},   {{1993, 12, 31, 24}, {1994, 1, 1, 0}},
      {{1993, 4, 30, 24}, {1993, 5, 1, 0}},   {{1993, 4, 29, 23}, {1993, 4, 29, 23}},
  };
  for (const roll_case& c : cases) {
    int y = c.date[0], m = c.date[1], d = c.date[2], h = c.date[3];
    roll_hour_24(y, m, d, h);
    EXPECT_EQ((std::vector<int>{y, m, d, h}),
              (std::vector<int>{c.rolled[0], c.rolled[1], c.rolled[2], c.rolled[3]}))
        << c.date[0] << "-" << c.date[1] << "-" << c.date[2];
  }
}

TEST_F(hmet_reader, samson_hours_of_a_leap_february) {
  ASSERT_EQ(first(fixture("samson_leap.txt"), hmet_format::samson), 0);
  EXPECT_EQ(std::string(record.station_name), "PHOENIX               ");
  EXPECT_NEAR(record.latitude, 33.0 + 26.0 / 60.0, 1e-12);
  EXPECT_NEAR(record.longitude, 112.0 + 1.0 / 60.0, 1e-12);
  EXPECT_EQ(date_of(record),
            (std::vector<int>{1992, 2, 28, 1}));
  EXPECT_EQ(end_date_of(record),
            (std::vector<int>{1992, 2, 29, 1}));
  for (int h = 1; h <= 24; ++h) {
    ASSERT_EQ(next(), 1) << h;
    EXPECT_NEAR(record.air_temp, 10.0 + h / 10.0, 1e-12);
  }
  // Hour 24 of 28 February 1992 is midnight of the 29th.
  EXPECT_EQ(date_of(record),
            (std::vector<int>{1992, 2, 29, 0}));
  EXPECT_DOUBLE_EQ(record.direct_rad, 240.0);
  EXPECT_DOUBLE_EQ(record.global_rad, 480.0);
  EXPECT_DOUBLE_EQ(record.cloud_cover, 3.0);
  EXPECT_DOUBLE_EQ(record.rel_humidity, 40.0);
  EXPECT_DOUBLE_EQ(record.pressure, 1012.0);
  EXPECT_DOUBLE_EQ(record.wind_speed, 2.1);
  EXPECT_EQ(record.missing_count, 0);
  // 29 February 01:00 is missing throughout: the 01:00 values of the 28th
  // and the last sky cover, pressure and wind.
  ASSERT_EQ(next(), 1);
  EXPECT_EQ((std::vector<int>{record.month, record.day, record.hour}),
            (std::vector<int>{2, 29, 1}));
  EXPECT_DOUBLE_EQ(record.direct_rad, 10.0);
  EXPECT_DOUBLE_EQ(record.global_rad, 20.0);
  EXPECT_NEAR(record.air_temp, 10.1, 1e-12);
  EXPECT_DOUBLE_EQ(record.rel_humidity, 40.0);
  EXPECT_DOUBLE_EQ(record.cloud_cover, 3.0);
  EXPECT_DOUBLE_EQ(record.pressure, 1012.0);
  EXPECT_DOUBLE_EQ(record.wind_speed, 2.1);
  EXPECT_EQ(record.missing_count, 7);
  EXPECT_EQ(next(), -1);
  EXPECT_FALSE(stopped());
}

TEST_F(hmet_reader, samson_hour_24_of_a_common_february_is_the_first_of_march) {
  const struct {
    int month, day;
    std::vector<int> date;
  } cases[] = {{2, 28, {1993, 3, 1, 0}}, {12, 31, {1994, 1, 1, 0}}};
  for (const auto& c : cases) {
    file.close();
    reader = hmet_reader_state{};
    record = hmet_record{};
    const std::string text =
        samson_head + samson_line(93, c.month, c.day, 24, "0", "0", "0", "5.0", "50", "1000", "1.0");
    ASSERT_EQ(first(text, hmet_format::samson), 0);
    ASSERT_EQ(next(), 1);
    EXPECT_EQ(date_of(record), c.date);
    EXPECT_EQ(next(), -1);
  }
}

// Two-digit years stand for 1950 to 2049: "01" is 2001, "49" 2049, "50" 1950.
TEST_F(hmet_reader, samson_two_digit_years_fall_in_1950_to_2049) {
  const struct {
    const char* yy;
    int year;
  } cases[] = {{"00", 2000}, {"01", 2001}, {"49", 2049}, {"50", 1950}, {"93", 1993}, {"99", 1999}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.yy);
    std::string line = samson_line(0, 3, 1, 5, "0", "0", "0", "5.0", "50", "1000", "1.0");
    std::string after = samson_line(0, 3, 1, 6, "0", "0", "0", "5.0", "50", "1000", "1.0");
    line.replace(1, 2, c.yy);
    after.replace(1, 2, c.yy);
    file.close();
    reader = hmet_reader_state{};
    record = hmet_record{};
    ASSERT_EQ(first(samson_head + line + after, hmet_format::samson), 0);
    ASSERT_EQ(next(), 1);
    EXPECT_EQ(date_of(record), (std::vector<int>{c.year, 3, 1, 5}));
  }
}

TEST_F(hmet_reader, bad_samson_files_are_refused_with_their_line) {
  const std::string good = samson_line(93, 1, 1, 1, "0", "0", "0", "5.0", "50", "1000", "1.0");
  struct bad_case {
    const char* label;
    std::string text;
    std::string message;
  };
  const bad_case cases[] = {
      {"a word for the temperature",
       samson_head + good + samson_line(93, 1, 1, 2, "0", "0", "0", "warm", "50", "1000", "1"),
       "Error: line 4 of the hmet_SAMSON file hmet.txt does not hold a number for the "
       "temperature in columns 56-60.\n"},
      {"a line cut before the wind", samson_head + good.substr(0, 76) + "\n",
       "Error: line 3 of the hmet_SAMSON file hmet.txt does not hold a number for the wind speed "
       "in columns 80-85.\n"},
      {"no latitude", "~23183 PHOENIX\n~YR\n" + good,
       "Error: line 1 of the hmet_SAMSON file hmet.txt does not hold a number for the latitude "
       "degrees in columns 40-41.\n"},
      {"month 13", samson_head + samson_line(93, 13, 1, 1, "0", "0", "0", "5", "50", "1000", "1"),
       "Error: line 3 of the hmet_SAMSON file hmet.txt gives 1993 13 1 hour 1, which is not a "
       "date with an hour of 0 to 24.\n"},
      {"headers only", samson_head, "Error: the hmet_SAMSON file hmet.txt holds no hours.\n"},
      {"one header line", samson_head.substr(0, 54),
       "Error: the hmet_SAMSON file hmet.txt ends within its two header lines.\n"},
      {"a line past 800 characters", samson_head + good + std::string(801, 'x') + "\n",
       "Error: line 4 of the hmet_SAMSON file hmet.txt is longer than 800 characters.\n"},
      {"a humidity of 500 percent",
       samson_head + samson_line(93, 1, 1, 1, "0", "0", "0", "5.0", "500", "1000", "1.0"),
       "Error: line 3 of the hmet_SAMSON file hmet.txt: the relative humidity 500 percent is "
       "outside its range; it must be from 0 to 100 percent.\n"},
      {"an air temperature of 100",
       samson_head + samson_line(93, 1, 1, 1, "0", "0", "0", "100.0", "50", "1000", "1.0"),
       "Error: line 3 of the hmet_SAMSON file hmet.txt: the air temperature 100 deg C is outside "
       "its range; it must be from -90 to 60 deg C.\n"},
      {"a sky cover of 12 tenths",
       samson_head + samson_line(93, 1, 1, 1, "0", "0", "12", "5.0", "50", "1000", "1.0"),
       "Error: line 3 of the hmet_SAMSON file hmet.txt: the total sky cover 12 tenths is outside "
       "its range; it must be from 0 to 10 tenths.\n"},
      {"a negative pressure",
       samson_head + samson_line(93, 1, 1, 1, "0", "0", "0", "5.0", "50", "-100", "1.0"),
       "Error: line 3 of the hmet_SAMSON file hmet.txt: the pressure -100 mb is outside its "
       "range; it must be above 0 mb.\n"},
      {"an hour given twice", samson_head + good + good,
       "Error: line 4 of the hmet_SAMSON file hmet.txt gives 1993 1 1 hour 1, the same hour as "
       "the hour before it (1993 1 1 hour 1); each hour must follow the one before by one hour.\n"},
      {"hour 24 before hour 23",
       samson_head + samson_line(93, 1, 1, 24, "0", "0", "0", "5.0", "50", "1000", "1.0") +
           samson_line(93, 1, 1, 23, "0", "0", "0", "5.0", "50", "1000", "1.0"),
       "Error: line 4 of the hmet_SAMSON file hmet.txt gives 1993 1 1 hour 23, 1 hour before the "
       "hour before it (1993 1 1 hour 24); each hour must follow the one before by one hour.\n"},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.label);
    error_state = error_record{};
    EXPECT_EQ(first(c.text, hmet_format::samson), -1);
    EXPECT_EQ(output, c.message + "\n");
    EXPECT_TRUE(stopped());
    EXPECT_FALSE(file.is_open());
  }
}

TEST_F(hmet_reader, surface_airways_gives_every_hour_of_every_day_once) {
  ASSERT_EQ(first(fixture("surfaways_two_days.txt"), hmet_format::surfaways), 0);
  EXPECT_EQ(output, "DRAD GRAD PRES RHUM TMPD TSKC WIND\n 2  2  2  2  2  2  2\n");
  EXPECT_EQ(record.record_count, 48);
  EXPECT_EQ(date_of(record),
            (std::vector<int>{2001, 7, 14, 0}));
  EXPECT_EQ(end_date_of(record),
            (std::vector<int>{2001, 7, 15, 23}));
  std::vector<hmet_record> hours;
  int result;
  while ((result = next()) == 0) hours.push_back(record);
  EXPECT_EQ(result, -1);
  ASSERT_EQ(hours.size(), 48u);
  for (int k = 0; k < 48; ++k) {
    EXPECT_EQ(hours[k].day, 14 + k / 24);
    EXPECT_EQ(hours[k].hour, k % 24);
  }
  // Day 1: PRES 29920 thousandths of an inch, TSKC 1005, WIND 27010 (270
  // degrees, 10 knots), DRAD 10 h tenths, TMPD 41 + h deg F.
  const hmet_record& h5 = hours[5];
  EXPECT_NEAR(h5.pressure, 1013.25, 1e-9);
  EXPECT_DOUBLE_EQ(h5.cloud_cover, 5.0);
  EXPECT_NEAR(h5.wind_speed, 5.14444, 1e-12);
  EXPECT_DOUBLE_EQ(h5.direct_rad, 5.0);
  EXPECT_DOUBLE_EQ(h5.global_rad, 10.0);
  EXPECT_NEAR(h5.air_temp, (46 - 32) / 1.8, 1e-12);
  EXPECT_DOUBLE_EQ(h5.rel_humidity, 65.0);
  // Day 2's repairs: DRAD at 5 from day 1's position 5, PRES at 0 from the
  // last valid (day 1's 29920), RHUM at 12 from day 1, TSKC at 3 and WIND at
  // 7 from the last valid values.
  EXPECT_DOUBLE_EQ(hours[24 + 5].direct_rad, 5.0);
  EXPECT_NEAR(hours[24 + 0].pressure, 1013.25, 1e-9);
  EXPECT_NEAR(hours[24 + 1].pressure, 30010 * 33.86530748663101 / 1000.0, 1e-9);
  EXPECT_DOUBLE_EQ(hours[24 + 12].rel_humidity, 65.0);
  EXPECT_DOUBLE_EQ(hours[24 + 3].cloud_cover, 5.0);
  EXPECT_DOUBLE_EQ(hours[24 + 4].cloud_cover, 8.0);
  EXPECT_NEAR(hours[24 + 7].wind_speed, 5.14444, 1e-12);
  EXPECT_NEAR(hours[24 + 8].wind_speed, 20 * 0.514444, 1e-12);
  EXPECT_NEAR(hours[24 + 8].air_temp, 10.0, 1e-12);
  EXPECT_EQ(record.missing_count, 5);
  EXPECT_FALSE(stopped());
}

TEST_F(hmet_reader, surface_airways_day_without_radiation_lines_has_none) {
  const std::string text = surfaways_day(14) + surfaways_day(15, "DRAD GRAD");
  ASSERT_EQ(first(text, hmet_format::surfaways), 0);
  EXPECT_EQ(output, "DRAD GRAD PRES RHUM TMPD TSKC WIND\n 1  1  2  2  2  2  2\n");
  ASSERT_EQ(next(), 0);
  EXPECT_DOUBLE_EQ(record.direct_rad, 100.0);
  EXPECT_DOUBLE_EQ(record.global_rad, 200.0);
  for (int k = 0; k < 24; ++k) ASSERT_EQ(next(), 0);
  EXPECT_EQ(record.day, 15);
  EXPECT_EQ(record.hour, 0);
  EXPECT_DOUBLE_EQ(record.direct_rad, 0.0);
  EXPECT_DOUBLE_EQ(record.global_rad, 0.0);
}

TEST_F(hmet_reader, surface_airways_ends_at_a_repeated_element) {
  const std::string text = surfaways_day(14) + surfaways_line("WIND", 15, {27010}) +
                           surfaways_day(15);
  ASSERT_EQ(first(text, hmet_format::surfaways), 0);
  EXPECT_EQ(output,
            "End of hmet_NCDC file encountered after 7 lines\n"
            "DRAD GRAD PRES RHUM TMPD TSKC WIND\n 1  1  1  1  1  1  1\n");
  EXPECT_EQ(record.record_count, 24);
  for (int k = 0; k < 24; ++k) ASSERT_EQ(next(), 0);
  EXPECT_EQ(next(), -1);
}

TEST_F(hmet_reader, surface_airways_day_counts_must_agree) {
  const std::string head = "There is an error in the Surface Airways hydrometeorology\n";
  struct count_case {
    const char* skip;
    std::string counts;
    std::string message;
  };
  const count_case cases[] = {
      {"RHUM", " 2  2  2  1  2  2  2\n",
       head +
           "data file.  There appears to be a different number of \n"
           "days of rel. humidity data than temperature data.  Rel. hum.\n"
           "data is required for each day.  Examine the file and supply\n"
           "the missing data.  Program terminating\n\n"},
      {"TSKC", " 2  2  2  2  2  1  2\n",
       head +
           "data file.  There appear to be a different number of days\n"
           "of cloud cover data than temperature data.  Clouds data is\n"
           "required for each day.  Examine the file and supply the \n"
           "missing data.  Program terminating\n\n"},
      {"WIND", " 2  2  2  2  2  2  1\n",
       head +
           "data file.  There appear to be different number of days of "
           "wind data than temperature data.  Wind speed data is\n"
           "required for each day.  Examine the file and supply the \n"
           "missing data.  Program terminating\n\n"},
      // Humidity is tested first.
      {"RHUM TSKC WIND", " 2  2  2  1  2  1  1\n", ""},
  };
  for (const count_case& c : cases) {
    SCOPED_TRACE(c.skip);
    error_state = error_record{};
    EXPECT_EQ(first(surfaways_day(14) + surfaways_day(15, c.skip), hmet_format::surfaways), 1);
    const std::string message = c.message.empty() ? cases[0].message : c.message;
    EXPECT_EQ(output, "DRAD GRAD PRES RHUM TMPD TSKC WIND\n" + c.counts + message +
                          "  (File: hmet.txt)\n\n");
    EXPECT_TRUE(stopped());
    EXPECT_FALSE(file.is_open());
  }
}

TEST_F(hmet_reader, bad_surface_airways_lines_are_refused) {
  std::string short_count = surfaways_line("TMPD", 14, {41, 42});
  put(short_count, 28, 30, "  3");
  struct bad_case {
    const char* label;
    std::string text;
    std::string message;
  };
  const bad_case cases[] = {
      {"a line past 790 characters", surfaways_day(14) + std::string(791, 'x') + "\n",
       "Line too long in hmet_NCDC input file.  Program exiting\n  (File: hmet.txt)\n"},
      {"more values than the line holds", short_count,
       "Error: line 1 of the hmet_NCDC file hmet.txt does not hold the time and value of value "
       "3 in columns 55-66.\n"},
      {"25 values", surfaways_line("TMPD", 14, std::vector<int>(25, 41)),
       "Error: line 1 of the hmet_NCDC file hmet.txt gives 25 values; a day holds 0 to 24.\n"},
      {"day 32", surfaways_line("TMPD", 32, {41}),
       "Error: line 1 of the hmet_NCDC file hmet.txt gives 2001 7 32, which is not a date.\n"},
      {"no year", "SAW00023183TMPD\n",
       "Error: line 1 of the hmet_NCDC file hmet.txt does not hold a number for the year in "
       "columns 18-21.\n"},
      {"no days", "", "Error: the hmet_NCDC file hmet.txt holds no days.\n"},
      {"a humidity of 500 percent", surfaways_line("RHUM", 14, {50, 500}),
       "Error: line 1 of the hmet_NCDC file hmet.txt: the relative humidity 500 percent is "
       "outside its range; it must be from 0 to 100 percent.\n"},
      {"an air temperature of 10000", surfaways_line("TMPD", 14, {10000}),
       "Error: line 1 of the hmet_NCDC file hmet.txt: the air temperature 10000 deg F is outside "
       "its range; it must be from -130 to 140 deg F.\n"},
      {"a sky cover of 15 tenths", surfaways_line("TSKC", 14, {815}),
       "Error: line 1 of the hmet_NCDC file hmet.txt: the sky cover 15 tenths is outside its "
       "range; it must be from 0 to 10 tenths.\n"},
      {"a day back", surfaways_day(14) + surfaways_day(13),
       "Error: line 8 of the hmet_NCDC file hmet.txt gives the day 2001 7 13, before the day of "
       "the line before it; the lines of a day must come together and each day must be the day "
       "after the one before.\n"},
      {"a day left out", surfaways_day(14) + surfaways_day(16),
       "Error: line 8 of the hmet_NCDC file hmet.txt gives the day 2001 7 16, more than a day "
       "after the day of the line before it; the lines of a day must come together and each day "
       "must be the day after the one before.\n"},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.label);
    error_state = error_record{};
    EXPECT_EQ(first(c.text, hmet_format::surfaways), 1);
    EXPECT_EQ(output, c.message + "\n");
    EXPECT_TRUE(stopped());
    EXPECT_FALSE(file.is_open());
  }
}

TEST_F(hmet_reader, orographic_temperature_falls_by_the_lapse_rate) {
  // Gauge at 1000, lapse 5 per 1000: a cell at 2000 is 5 deg C colder, one
  // at 0 5 deg C warmer.
  grid.elevation = {0.0, 1000.0, 2000.0, 0.0};
  settings.orographic = 1;
  settings.gage_elev = 1000.0;
  settings.lapse_rate = 5.0;
  ASSERT_EQ(first("1993 1 15 13 29.92 65 50 10 41 200.0 350.0\n", hmet_format::zep), 0);
  ASSERT_EQ(record.cell_air_temp.size(), 4u);
  ASSERT_EQ(next(), 11);
  EXPECT_NEAR(record.cell_air_temp[1], 5.0, 1e-12);
  EXPECT_NEAR(record.cell_air_temp[2], 0.0, 1e-12);
  EXPECT_NEAR(record.cell_air_temp[3], 10.0, 1e-12);
  EXPECT_NEAR(record.air_temp, 5.0, 1e-12);
}

TEST(hmet_format_of, cards_choose_the_layout) {
  struct format_case {
    int zep, samson, surfaways, ascii, ascii_pet;
    hmet_format format;
  };
  const format_case cases[] = {
      {1, 0, 0, 0, 0, hmet_format::zep},      {0, 1, 0, 0, 0, hmet_format::samson},
      {0, 0, 1, 0, 0, hmet_format::surfaways}, {0, 0, 0, 1, 0, hmet_format::gridded},
      {1, 0, 0, 1, 0, hmet_format::zep},      {0, 1, 0, 1, 0, hmet_format::gridded},
      {0, 0, 0, 0, 1, hmet_format::none},
  };
  for (const format_case& c : cases) {
    project_settings s;
    s.hmet_zep_given = c.zep;
    s.hmet_samson_given = c.samson;
    s.hmet_surfaways_given = c.surfaways;
    s.hmet_ascii_given = c.ascii;
    s.hmet_ascii_pet_given = c.ascii_pet;
    EXPECT_EQ(hmet_format_of(s), c.format);
  }
}

TEST_F(hmet_reader, hmet_ascii_pet_alone_is_refused_naming_the_card) {
  EXPECT_EQ(first("hours/x_2008050113\n", hmet_format::none), -1);
  EXPECT_EQ(output,
            "Error: the card HMET_ASCII_PET names a hydrometeorological file but no layout to "
            "read it in; give HMET_ZEP, HMET_SAMSON, HMET_SURFAWAYS or HMET_ASCII.\n\n");
  EXPECT_TRUE(stopped());
  EXPECT_FALSE(file.is_open());
}

class gridded_hours : public hmet_reader {
 protected:
  gridded_hours() {
    std::filesystem::copy(std::filesystem::path(VALTO_FIXTURES_DIR) / "hmet" / "hours",
                          dir_.path() / "hours");
    // One row of three 100 m cells over the 2 x 2 grid of 100 m from (0,
    // 0): cell 3 lies east of it and takes its edge column.
    build_grid(grid, 1, 3, 100.0);
    grid.north = 200.0;
  }
};

TEST_F(gridded_hours, hours_are_mapped_onto_the_cells) {
  ASSERT_EQ(first(fixture("gridded_list.txt"), hmet_format::gridded), 0);
  EXPECT_EQ(output, "End of hmet_ASCII file encountered after 2 lines\n");
  EXPECT_EQ(record.record_count, 2);
  EXPECT_EQ(date_of(record),
            (std::vector<int>{2008, 5, 1, 13}));
  EXPECT_EQ(record.end_hour, 14);

  ASSERT_EQ(next(), 1);
  EXPECT_EQ(output,
            "Filling Cloud Array\nFilling Precipitation Array\nFilling Pressure Array\n"
            "Filling Relative Humidity Array\nFilling Temperature Array\n"
            "Filling Direct Radiation Array\nFilling Global Radiation Array\n"
            "Filling Wind Speed Array\n"
            // Cell 3 (centre x 250) is taken from column 1, whose corner is at
            // x 100: 150 from the centre, above 1.3 cells.
            "\nERROR!! in the conversion of X coordinates in the ASCII HMET");
  EXPECT_EQ(date_of(record),
            (std::vector<int>{2008, 5, 1, 13}));
  // The top row of the grids: cells 1, 2 and 3 take columns 0, 1 and 1.
  const std::vector<double> temp{0.0, 5.0, 10.0, 10.0};
  for (int k = 1; k <= 3; ++k) {
    SCOPED_TRACE(k);
    EXPECT_NEAR(record.cell_air_temp[k], temp[k], 1e-12);
    EXPECT_DOUBLE_EQ(record.cell_cloud_cover[k], k == 1 ? 5.0 : 2.0);
    EXPECT_NEAR(record.cell_pressure[k], 1013.25, 1e-9);
    EXPECT_DOUBLE_EQ(record.cell_rel_humidity[k], k == 1 ? 65.0 : 60.0);
    EXPECT_DOUBLE_EQ(record.cell_direct_rad[k], k == 1 ? 100.0 : 200.0);
    // The global radiation is the _Grad grid's, not the direct radiation.
    EXPECT_DOUBLE_EQ(record.cell_global_rad[k], k == 1 ? 150.0 : 250.0);
    EXPECT_DOUBLE_EQ(record.cell_wind_speed[k], k == 1 ? 1.0 : 2.0);
  }
  EXPECT_NEAR(record.air_temp, 25.0 / 3.0, 1e-12);

  // The second hour has no wind or precipitation grid; wind is 3.0 m/s and
  // only the first hour prints its notices.
  ASSERT_EQ(next(), 1);
  EXPECT_EQ(output,
            "Error getting new filename from hours/x_2008050114_Prcp.asc\n"
            "Error getting new filename from hours/x_2008050114_WndS.asc\n"
            "\nERROR!! in the conversion of X coordinates in the ASCII HMET");
  EXPECT_EQ(record.hour, 14);
  for (int k = 1; k <= 3; ++k) EXPECT_DOUBLE_EQ(record.cell_wind_speed[k], 3.0);
  EXPECT_EQ(next(), -1);
  EXPECT_FALSE(stopped());
}

TEST_F(gridded_hours, missing_grids_of_the_first_hour_are_named) {
  ASSERT_EQ(first("hours/x_2008050114\n", hmet_format::gridded), 0);
  std::filesystem::remove(dir_.path() / "hours" / "x_2008050114_Temp.asc");
  ASSERT_EQ(next(), 1);
  EXPECT_EQ(output,
            "Error getting new filename from hours/x_2008050114_Prcp.asc\n"
            "Error getting new filename from hours/x_2008050114_Temp.asc\n"
            "Error getting new filename from hours/x_2008050114_WndS.asc\n"
            "Filling Cloud Array\nERROR!!! CANNOT OPEN Precip FILE\nFilling Pressure Array\n"
            "Filling Relative Humidity Array\nERROR!!! CANNOT OPEN Temperature FILE\n"
            "Filling Direct Radiation Array\nFilling Global Radiation Array\n"
            "ERROR!!! CANNOT OPEN Wind Speed FILE\nNO WIND VALUE READ, using 3.000000 \n"
            "\nERROR!! in the conversion of X coordinates in the ASCII HMET");
  // No temperature: every cell holds -9999, which no mean takes.
  for (int k = 1; k <= 3; ++k) EXPECT_DOUBLE_EQ(record.cell_air_temp[k], -9999.0);
  EXPECT_DOUBLE_EQ(record.air_temp, -9999.0);
  EXPECT_FALSE(stopped());
}

TEST_F(gridded_hours, no_data_cells_are_left_out_of_the_mean_temperature) {
  dir_.write("hours/n_2008050100_Temp.asc",
             ascii_hour_grid(2, 2, 0, 0, 100, "41 -9999\n59 68\n"));
  ASSERT_EQ(first("hours/n_2008050100\n", hmet_format::gridded), 0);
  ASSERT_EQ(next(), 1);
  EXPECT_EQ(date_of(record),
            (std::vector<int>{2008, 5, 1, 0}));
  EXPECT_NEAR(record.cell_air_temp[1], 5.0, 1e-12);
  EXPECT_DOUBLE_EQ(record.cell_air_temp[2], -9999.0);
  EXPECT_NEAR(record.air_temp, 5.0, 1e-12);
}

TEST_F(gridded_hours, cells_outside_the_grid_take_its_edge_row_or_column) {
  // A 3 x 3 model grid of 100 m around a 1 x 1 hour grid at (100, 100):
  // every cell takes the one value, whichever side it lies on.
  build_grid(grid, 3, 3, 100.0);
  dir_.write("hours/e_2008050100_Temp.asc", ascii_hour_grid(1, 1, 100, 100, 100, "50\n"));
  ASSERT_EQ(first("hours/e_2008050100\n", hmet_format::gridded), 0);
  ASSERT_EQ(next(), 1);
  for (int k = 1; k <= 9; ++k) EXPECT_NEAR(record.cell_air_temp[k], 10.0, 1e-12) << k;
}

TEST_F(gridded_hours, grids_of_other_sizes_are_each_mapped_through_their_own_header) {
  // Cloud on 2 x 2 cells of 100 m, temperature on one cell of 300 m: the
  // counts differ, which is told, and each grid still finds every cell.
  dir_.write("hours/s_2008050100_Clod.asc",
             ascii_hour_grid(2, 2, 0, 0, 100, "50 20\n0 100\n"));
  dir_.write("hours/s_2008050100_Temp.asc", ascii_hour_grid(1, 1, 0, 0, 300, "59\n"));
  ASSERT_EQ(first("hours/s_2008050100\n", hmet_format::gridded), 0);
  ASSERT_EQ(next(), 1);
  EXPECT_NE(output.find("\n\nERROR!!! Counts DO NOT MATCH\n\nFilling Cloud Array\n"),
            std::string::npos)
      << output;
  const double cloud[4] = {0.0, 5.0, 2.0, 2.0};
  for (int k = 1; k <= 3; ++k) {
    EXPECT_DOUBLE_EQ(record.cell_cloud_cover[k], cloud[k]) << k;
    EXPECT_NEAR(record.cell_air_temp[k], 15.0, 1e-12) << k;
  }
  EXPECT_FALSE(stopped());
}

TEST_F(gridded_hours, bad_lists_and_grids_are_refused) {
  struct bad_case {
    const char* label;
    std::string list;
    std::string grid;  // written as hours/b_2008050100_Temp.asc when not empty
    int first_result;
    std::string message;
  };
  const std::string format =
      "Make sure your file is in the correct format, including making sure\n"
      "the dates are in integers and in the following format:\n"
      " Format:\nyyyymmddhh\n2008050100int\n\n";
  const std::string named = "  (File: hmet.txt)\n";
  const bad_case cases[] = {
      {"a token without ten digits", "hours/b_2008050100\n\nhours/b_20080501\n", "", -1,
       "Error: Problem encountered in hmet_ASCII file, line 3 \n\n" + format + named},
      {"a token with month 13", "hours/b_2008130100\n", "", -1,
       "Error: Problem encountered in hmet_ASCII file, line 1 \n\n" + format + named},
      {"an empty list", "\n", "", -1, "Error: the hmet_ASCII file hmet.txt holds no hours.\n"},
      {"a grid with fewer values than its header", "hours/b_2008050100\n",
       ascii_hour_grid(2, 2, 0, 0, 100, "41 50\n59\n"), 0,
       "Error: the gridded hour file hours/b_2008050100_Temp.asc holds 3 values, fewer than "
       "the 4 of its 2 rows of 2 columns.\n"},
      {"a grid with a word among its values", "hours/b_2008050100\n",
       ascii_hour_grid(2, 2, 0, 0, 100, "41 50\n59 hot\n"), 0,
       "Error: value 4 of the gridded hour file hours/b_2008050100_Temp.asc is not a number.\n"},
      {"a grid of cell size 0", "hours/b_2008050100\n",
       ascii_hour_grid(2, 2, 0, 0, 0, "41 50\n59 68\n"), 0,
       "Error: line 5 of the gridded hour file hours/b_2008050100_Temp.asc does not give the "
       "cell size above 0.\n"},
      {"a header larger than its file", "hours/b_2008050100\n",
       ascii_hour_grid(3000, 4000, 0, 0, 100, "41 50\n59 68\n"), 0,
       "Error: the gridded hour file hours/b_2008050100_Temp.asc gives 4000 rows of 3000 "
       "columns, more values than it holds.\n"},
      {"a grid with an air temperature of 10000", "hours/b_2008050100\n",
       ascii_hour_grid(2, 2, 0, 0, 100, "41 -9999\n59 10000\n"), 0,
       "Error: row 2, column 2 of the gridded hour file hours/b_2008050100_Temp.asc: the air "
       "temperature 10000 deg F is outside its range; it must be from -130 to 140 deg F.\n"},
      {"an hour given twice", "hours/b_2008050100\nhours/b_2008050100\n", "", -1,
       "Error: line 2 of the hmet_ASCII file hmet.txt gives 2008 5 1 hour 0, the same hour as the "
       "hour before it (2008 5 1 hour 0); each hour must follow the one before by one hour.\n"},
  };
  // The grids read before the temperature's are not there.
  std::string unopened;
  for (const char* name : {"Clod", "Prcp", "Pres", "RlHm"})
    unopened += "Error getting new filename from hours/b_2008050100_" + std::string(name) +
                ".asc\n";
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.label);
    error_state = error_record{};
    if (!c.grid.empty()) dir_.write("hours/b_2008050100_Temp.asc", c.grid);
    const int result = first(c.list, hmet_format::gridded);
    EXPECT_EQ(result, c.first_result);
    if (result == 0) {
      EXPECT_EQ(next(), -1);
      EXPECT_EQ(output, unopened + c.message + "\n");
    } else {
      EXPECT_EQ(output, c.message + "\n");
    }
    EXPECT_TRUE(stopped());
    EXPECT_FALSE(file.is_open());
  }
}

TEST_F(gridded_hours, cells_are_the_same_at_any_thread_count) {
  // 140 x 120 model cells of 10 m over a 13 x 9 hour grid of 150 m: enough
  // cells for the loop to run on threads.
  build_grid(grid, 140, 120, 10.0);
  ASSERT_GE(grid.cells, 2 * cells_per_thread);  // the loop takes a second thread
  std::string values;
  for (int k = 0; k < 13 * 9; ++k) values += std::to_string(30 + (k * 37) % 61) + "\n";
  dir_.write("hours/t_2008050100_Temp.asc", ascii_hour_grid(13, 9, 10, 50, 150, values));
  dir_.write("hours/t_2008050101_Temp.asc", ascii_hour_grid(13, 9, 10, 50, 150, values));
  ASSERT_EQ(first("hours/t_2008050100\nhours/t_2008050101\n", hmet_format::gridded), 0);
  const int threads = omp_get_max_threads();
  omp_set_num_threads(1);
  ASSERT_EQ(next(), 1);
  const std::vector<double> one = record.cell_air_temp;
  const double mean_one = record.air_temp;
  omp_set_num_threads(4);
  ASSERT_EQ(next(), 1);
  omp_set_num_threads(threads);
  EXPECT_EQ(record.cell_air_temp, one);
  EXPECT_EQ(record.air_temp, mean_one);
}

TEST(check_ascii_hmet_coords, distance_from_the_model_cell_centre) {
  // Model grid: west 0, north 200, cells of 100 m. Hour grid: 2 rows of 100
  // m from (0, 0). Cell (1, 1) has its centre at (50, 150); the corner of
  // hour cell (column 0, row 0) is at (0, 100).
  stdout_capture capture;
  EXPECT_DOUBLE_EQ(check_ascii_hmet_coords(1, 1, 200.0, 0.0, 100.0, 0, 0, 2, 100.0, 0.0, 0.0),
                   50.0);
  EXPECT_EQ(capture.stop(), "");
  stdout_capture far;
  // Cell (3, 4), centre (350, -50), against the same hour cell: 350 in x,
  // | 50 - 100 | = 50 in y.
  EXPECT_DOUBLE_EQ(check_ascii_hmet_coords(3, 4, 200.0, 0.0, 100.0, 0, 0, 2, 100.0, 0.0, 0.0),
                   350.0);
  EXPECT_EQ(far.stop(), "\nERROR!! in the conversion of X coordinates in the ASCII HMET");
}

}  // namespace
