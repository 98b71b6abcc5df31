// The ASCII grid map reader on small maps of a 3 x 2 grid: what each kind
// stores, its warnings and category counts, and every way a map can be bad.

#include "input/ascii_grid.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/error_state.h"
#include "core/grid_state.h"
#include "core/safe_file.h"
#include "core/text_io.h"
#include "test_support.h"

namespace {

using test_support::stdout_capture;
using test_support::temp_dir;

std::string header(int rows, int cols) {
  return "north: " + std::to_string(rows * 10) + "\nsouth: 0\neast: " + std::to_string(cols * 10) +
         "\nwest: 0\nrows: " + std::to_string(rows) + "\ncols: " + std::to_string(cols) + "\n";
}

constexpr int rows = 3;
constexpr int cols = 2;
const std::vector<int> all_active = {1, 1, 1, 1, 1, 1};

// One read of a map file against the 3 x 2 grid. Destinations start at -1,
// so that what was not stored shows.
struct map_read {
  map_header head;
  std::vector<double> reals;  // packed reals (kinds 1 and 3)
  std::vector<int> ints;      // the grid row by row (kind 2) or the packed ids (kind 4)
  std::string printed;
  bool stopped = false;
};

class ascii_grid : public testing::Test {
 protected:
  void SetUp() override { error_state = error_record{}; }
  void TearDown() override { error_state = error_record{}; }

  map_read read(int kind, const std::string& text, const std::vector<int>& mask = all_active,
                const std::string& name = "m.asc") {
    const std::string path = dir_.write(name, text);
    block_2d<int> grid;
    grid.allocate_grid(rows, cols);
    for (int r = 1; r <= rows; ++r)
      for (int c = 1; c <= cols; ++c)
        grid[r][c] = kind == integer_grid ? -1 : mask[(r - 1) * cols + c - 1];
    std::vector<double> reals(rows * cols + 1, -1.0);
    std::vector<int> ids(rows * cols + 1, -1);
    std::vector<double> unused(rows * cols + 1, -1.0);

    safe_file file;
    EXPECT_TRUE(file.open(path.c_str(), "r"));
    map_read result;
    stdout_capture out;
    read_ascii_map(file, name.c_str(), kind, result.head, grid.table(),
                   kind == real_map ? std::span<double>(reals) : std::span<double>(unused),
                   kind == real_map_second ? std::span<double>(reals) : std::span<double>(unused),
                   ids, rows, cols);
    result.printed = out.stop();
    result.stopped = error_state.stop_flag != 0;
    error_state = error_record{};

    // The destination a kind does not use is never written.
    for (double v : unused) EXPECT_EQ(v, -1.0);
    int active = 0;
    for (int m : mask) active += m != 0;
    if (kind == real_map || kind == real_map_second) {
      result.reals.assign(reals.begin() + 1, reals.begin() + 1 + active);
    } else if (kind == index_map) {
      result.ints.assign(ids.begin() + 1, ids.begin() + 1 + active);
    } else {
      for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= cols; ++c) result.ints.push_back(grid[r][c]);
    }
    return result;
  }

  temp_dir dir_;
};

TEST_F(ascii_grid, the_header_is_read_by_position_whatever_its_key_words) {
  const map_read plain = read(real_map, header(3, 2) + "1 2\n3 4\n5 6\n");
  EXPECT_EQ(plain.head.north, 30.0);
  EXPECT_EQ(plain.head.south, 0.0);
  EXPECT_EQ(plain.head.east, 20.0);
  EXPECT_EQ(plain.head.west, 0.0);
  EXPECT_EQ(plain.head.rows, 3);
  EXPECT_EQ(plain.head.cols, 2);

  // Upper-case keys, keys run into their numbers, blank lines between lines.
  const map_read odd = read(
      real_map, "NORTH 35.5\nS 1.5\n\nEAST: 22\nwest:2\n  ROWS  3\ncols: 2\n\n1 2\n3 4\n5 6\n");
  EXPECT_FALSE(odd.stopped) << odd.printed;
  EXPECT_EQ(odd.head.north, 35.5);
  EXPECT_EQ(odd.head.south, 1.5);
  EXPECT_EQ(odd.head.east, 22.0);
  EXPECT_EQ(odd.head.west, 2.0);
  EXPECT_EQ(odd.reals, (std::vector<double>{1, 2, 3, 4, 5, 6}));
}

struct map_case {
  const char* label;
  int kind;
  std::string text;
  std::vector<int> mask;
  std::vector<double> reals;  // expected, kinds 1 and 3
  std::vector<int> ints;      // expected, kinds 2 and 4
  std::string printed;        // exact standard output
  bool stops;
};

TEST_F(ascii_grid, each_kind_stores_warns_and_fails_as_a_map_reader_must) {
  const std::string h = header(3, 2);
  const std::vector<int> holes = {1, 0, 1, 1, 0, 1};
  const std::vector<double> none(6, -1.0);
  const std::vector<int> no_ids(6, -1);
  // clang-format off
  const std::vector<map_case> cases = {
      {"real map, row by row", real_map, h + "1.5 2\n3 4\n5 6e-1\n", all_active,
       {1.5, 2, 3, 4, 5, 0.6}, {}, "", false},
      {"second real destination", real_map_second, h + "1 2\n3 4\n5 6\n", all_active,
       {1, 2, 3, 4, 5, 6}, {}, "", false},
      {"integer grid, free format", integer_grid, h + "1 2 3\n\n4 5\n   6\n", all_active,
       {}, {1, 2, 3, 4, 5, 6}, "", false},
      {"rows and cols differ", real_map, header(4, 3) + "1 2\n3 4\n5 6\n", all_active, none, {},
       "Incorrect number of rows and columns in map: m.asc\n\n", true},
      {"rows differ", integer_grid, header(4, 2) + "1 2\n3 4\n5 6\n7 8\n", all_active, {}, no_ids,
       "Incorrect number of rows in map: m.asc\n\n", true},
      {"cols differ", index_map, header(3, 3) + "1 2 3\n3 4 5\n5 6 7\n", all_active, {}, no_ids,
       "Incorrect number of columns in map: m.asc\n\n", true},
      {"real map ends early", real_map, h + "1 2\n3 4\n", all_active, {1, 2, 3, 4, -1, -1}, {},
       "Unexpected end of file in file: m.asc\n\n", true},
      {"integer map ends early", integer_grid, h + "1 2\n3\n", all_active, {},
       {1, 2, 3, -1, -1, -1}, "Unexpected end of file in file: m.asc\n\n", true},
      {"header ends early", real_map, "north: 1\nsouth: 0\neast: 2\n", all_active, none, {},
       "Unexpected end of file in file: m.asc\n\n", true},
      {"blank line of a real map is a row of zeros", real_map, h + "1 2\n\n3 4\n", all_active,
       {1, 2, 0, 0, 3, 4}, {},
       "Warning: Map contains 2 cells with zero values. Map: m.asc\n", false},
      {"blank line of an integer map is skipped", integer_grid, h + "1 2\n\n3 4\n\n5 6\n",
       all_active, {}, {1, 2, 3, 4, 5, 6}, "", false},
      {"short row gives 0, long row is cut", real_map, h + "1\n2 3 4\n5 6\n", all_active,
       {1, 0, 2, 3, 5, 6}, {},
       "Warning: Map contains 1 cells with zero values. Map: m.asc\n", false},
      {"commas separate like blanks", real_map, h + "1,2\n3 ,4\n5\t,6\r\n", all_active,
       {1, 2, 3, 4, 5, 6}, {}, "", false},
      {"all zeros: both warnings, inactive cells not counted", real_map,
       h + "0 0\n0 0\n0.0 0\n", holes, {0, 0, 0, 0}, {},
       "Warning: Map contains only zero values. Map: m.asc\n"
       "Warning: Map contains 4 cells with zero values. Map: m.asc\n", false},
      {"a nonzero value in an inactive cell is a nonzero value", real_map,
       h + "0 7\n0 0\n0 0\n", holes, {0, 0, 0, 0}, {},
       "Warning: Map contains 4 cells with zero values. Map: m.asc\n", false},
      {"only zeros in an integer grid", integer_grid, h + "0 0 0 0 0 0\n", all_active, {},
       {0, 0, 0, 0, 0, 0}, "Warning: Map contains only zero values. Map: m.asc\n", false},
      {"index map counts the ids of active cells in ascending order", index_map,
       h + "3 1\n3 12\n1 3\n", {1, 1, 1, 0, 1, 1}, {}, {3, 1, 3, 1, 3},
       "In map m.asc category 1 has 2 values\nIn map m.asc category 3 has 3 values\n", false},
      {"ids outside 0..9999 are kept but counted in no category", index_map,
       h + "10000 -5\n2 2\n2 0\n", all_active, {}, {10000, -5, 2, 2, 2, 0},
       "In map m.asc category 2 has 3 values\n"
       "In map m.asc 2 values have ids outside 0 to 9999 and are counted in no category\n", false},
      {"word in an integer map", integer_grid, h + "1 2\n3 x\n5 6\n", all_active, {},
       {1, 2, 3, -1, -1, -1},
       "Error: value \"x\" in row 2, column 2 of map m.asc is not a whole number.\n\n", true},
      {"real in an index map", index_map, h + "1 2\n3 4.5\n5 6\n", all_active, {},
       {1, 2, 3, -1, -1, -1},
       "Error: value \"4.5\" in row 2, column 2 of map m.asc is not a whole number.\n\n", true},
      {"integer beyond the int range", integer_grid, h + "1 2\n3 4\n5 99999999999\n", all_active,
       {}, {1, 2, 3, 4, 5, -1},
       "Error: value \"99999999999\" in row 3, column 2 of map m.asc is not a whole number.\n\n",
       true},
      {"word in a real map", real_map, h + "1 2\n3 4\nfive 6\n", all_active,
       {1, 2, 3, 4, -1, -1}, {},
       "Error: value \"five\" in row 3, column 1 of map m.asc is not a number.\n\n", true},
      {"nan in a real map", real_map, h + "1 2\n3 nan\n5 6\n", all_active,
       {1, 2, 3, -1, -1, -1}, {},
       "Error: value \"nan\" in row 2, column 2 of map m.asc is not a finite number.\n\n", true},
      {"infinity in the second real map, even in an inactive cell", real_map_second,
       h + "1 -INF\n3 4\n5 6\n", holes, {1, -1, -1, -1}, {},
       "Error: value \"-INF\" in row 1, column 2 of map m.asc is not a finite number.\n\n",
       true},
      {"a real too large for a double", real_map, h + "1e999 2\n3 4\n5 6\n", all_active,
       {-1, -1, -1, -1, -1, -1}, {},
       "Error: value \"1e999\" in row 1, column 1 of map m.asc is not a finite number.\n\n", true},
      {"nan as a bound of the header", real_map, "n 30\ns nan\ne 20\nw 0\nr 3\nc 2\n1 2\n",
       all_active, none, {},
       "Error: line 2 of the header of map m.asc must hold a key word of at most 6 characters "
       "and a finite number.\n\n", true},
      {"header of the ncols/nrows/xllcorner layout", real_map,
       "ncols 2\nnrows 3\nxllcorner 0\nyllcorner 0\ncellsize 10\nNODATA_value -9999\n"
       "1 2\n3 4\n5 6\n", all_active, none, {},
       "Error: line 3 of the header of map m.asc must hold a key word of at most 5 characters "
       "and a finite number.\n\n", true},
      {"that layout with short key words", integer_grid,
       "ncols 2\nnrows 3\nxll 0\nyll 0\ncsize 10\nnodat -9999\n1 2\n3 4\n5 6\n", all_active,
       {}, no_ids, "Incorrect number of rows and columns in map: m.asc\n\n", true},
      {"a real where the rows belong", integer_grid, "n 30\ns 0\ne 20\nw 0\nr 3.0\nc 2\n1 2\n",
       all_active, {}, no_ids,
       "Error: line 5 of the header of map m.asc must hold a key word of at most 5 characters "
       "and a whole number.\n\n", true},
  };
  // clang-format on
  for (const map_case& c : cases) {
    SCOPED_TRACE(c.label);
    const map_read got = read(c.kind, c.text, c.mask);
    EXPECT_EQ(got.printed, c.printed);
    EXPECT_EQ(got.stopped, c.stops);
    if (c.kind == real_map || c.kind == real_map_second)
      EXPECT_EQ(got.reals, c.reals);
    else
      EXPECT_EQ(got.ints, c.ints);
  }
}

TEST_F(ascii_grid, a_second_index_map_counts_only_its_own_ids) {
  EXPECT_EQ(read(index_map, header(3, 2) + "4 4\n4 4\n4 5\n").printed,
            "In map m.asc category 4 has 5 values\nIn map m.asc category 5 has 1 values\n");
  EXPECT_EQ(read(index_map, header(3, 2) + "7 7\n7 7\n7 7\n", all_active, "n.asc").printed,
            "In map n.asc category 7 has 6 values\n");
}

// A row of 3000 values of 10 characters: longer than any line buffer, and
// the rows after it must still be read from their own lines.
TEST_F(ascii_grid, a_real_row_longer_than_a_line_buffer_is_read_whole) {
  constexpr int wide = 3000;
  std::string text =
      "north: 30\nsouth: 0\neast: 30000\nwest: 0\nrows: 3\ncols: " + std::to_string(wide) + "\n";
  for (int r = 1; r <= 3; ++r) {
    for (int c = 1; c <= wide; ++c) text += std::to_string(r * 100000 + c) + ".250 ";
    text += "\n";
  }
  ASSERT_GT(text.size() / 3, static_cast<std::size_t>(max_line));
  const std::string path = dir_.write("wide.asc", text);
  block_2d<int> mask;
  mask.allocate_grid(3, wide);
  for (int r = 1; r <= 3; ++r)
    for (int c = 1; c <= wide; ++c) mask[r][c] = 1;
  std::vector<double> values(3 * wide + 1, -1.0);
  safe_file file;
  ASSERT_TRUE(file.open(path.c_str(), "r"));
  map_header head;
  stdout_capture out;
  read_ascii_map(file, "wide.asc", real_map, head, mask.table(), values, {}, {}, 3, wide);
  EXPECT_EQ(out.stop(), "");
  EXPECT_EQ(error_state.stop_flag, 0);
  for (int r = 1; r <= 3; ++r)
    for (int c = 1; c <= wide; ++c)
      ASSERT_EQ(values[(r - 1) * wide + c], r * 100000 + c + 0.25) << r << " " << c;
}

// Stands in for the replacement parameters: "[slope]" becomes 0.125.
void replace_slope(char* line, int capacity) {
  std::string text = line;
  for (std::size_t at; (at = text.find("[slope]")) != std::string::npos;)
    text.replace(at, 7, "0.125");
  ASSERT_LT(text.size(), static_cast<std::size_t>(capacity));
  std::memcpy(line, text.c_str(), text.size() + 1);
}

TEST_F(ascii_grid, replacement_parameters_are_substituted_in_real_rows) {
  const line_filter saved = active_line_filter;
  active_line_filter = replace_slope;
  const map_read got = read(real_map, header(3, 2) + "[slope] 2\n3 [slope],[slope]\n5 6\n");
  active_line_filter = saved;
  EXPECT_EQ(got.printed, "");
  EXPECT_EQ(got.reals, (std::vector<double>{0.125, 2, 3, 0.125, 5, 6}));
}

}  // namespace
