#pragma once
// Shared pieces of the mapping table tests: rows in the table's fixed
// columns, ASCII grid texts, and a numbered watershed mask without a run.

#include <cstdio>
#include <string>

#include "core/grid_state.h"

// A table row as its fixed columns have it: the id in columns 1-6, the
// description in columns 7-86, columns 87 and 88 blank and the values from
// column 89, so that readers taking values from column 87 or from column 88
// read the same.
inline std::string table_row(int id, const std::string& description, const std::string& values) {
  char id_field[16];
  std::snprintf(id_field, sizeof id_field, "%-6d", id);
  std::string text = description;
  text.resize(80, ' ');
  return id_field + text + "  " + values + "\n";
}

// A header line of a table, read and passed over.
inline const char* table_header() { return "ID    DESCRIPTION    VALUES\n"; }

// An ASCII grid of 10 m cells with the header's rows and cols.
inline std::string grid_text(int rows, int cols, const std::string& values) {
  return "north: " + std::to_string(rows * 10) + "\nsouth: 0\neast: " + std::to_string(cols * 10) +
         "\nwest: 0\nrows: " + std::to_string(rows) + "\ncols: " + std::to_string(cols) + "\n" +
         values;
}

// A watershed mask numbered as the grid set-up numbers it: the nonzero cells
// of pattern (rows of '1' and '0') take 1, 2, ... row by row.
struct numbered_mask {
  block_2d<int> grid;
  int rows = 0;
  int cols = 0;
  int cells = 0;
  numbered_mask(int r, int c, const std::string& pattern) : rows(r), cols(c) {
    grid.allocate_grid(r, c);
    std::size_t at = 0;
    for (int i = 1; i <= r; ++i) {
      for (int j = 1; j <= c; ++j) {
        while (at < pattern.size() && pattern[at] != '0' && pattern[at] != '1') ++at;
        if (at < pattern.size() && pattern[at++] == '1') grid[i][j] = ++cells;
      }
    }
  }
};
