#pragma once
// The ASCII grid map: every raster input that is not a mapping table. A
// six-line header gives the grid's bounds and size by position (north, south,
// east, west, rows, cols, each after a key word that is not compared); then
// come rows x cols values, the northern row first, columns west to east.

#include <span>

class safe_file;

// What a map holds and where its values go.
enum map_kind : int {
  real_map = 1,         // reals, one line per row; active cells packed into the first destination
  integer_grid = 2,     // integers in free format; every cell into the grid at [row][col]
  real_map_second = 3,  // as real_map, into the second destination
  index_map = 4,        // integer ids in free format; active cells packed, counted per id
};

struct map_header {
  double north = 0.0;  // northern bound, m
  double south = 0.0;  // southern bound, m
  double east = 0.0;   // eastern bound, m
  double west = 0.0;   // western bound, m
  int rows = 0;
  int cols = 0;
};

// Ids an index map counts per category: 0 to this.
constexpr int max_category_id = 9999;

// Reads one map from the open file. grid is the mask ([1..rows][1..cols],
// nonzero = active cell) for the packed kinds, and the destination for
// integer_grid. A packed destination takes the k-th active cell at index k
// and is sized one more than the active cells; the two destinations the kind
// does not use may be empty. The header always receives what the file says.
//
// A header that does not match expected_rows and expected_cols stores
// nothing. That, a header line that cannot be read, a value that is not a
// number and an early end of file print their message and raise 4000 (the
// stop flag is set); the file stays open for the caller to close. Real-map
// rows are read whole, whatever their length; replacement parameters are
// substituted in them while substitution is active. Missing values of a real
// row read 0.0 and values past the last column are ignored.
void read_ascii_map(safe_file& file, const char* name, int kind, map_header& header, int** grid,
                    std::span<double> first, std::span<double> second, std::span<int> ids,
                    int expected_rows, int expected_cols);
