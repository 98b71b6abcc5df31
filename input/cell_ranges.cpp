// Per-cell range checks of the set-up readers.

#include "input/cell_ranges.h"

#include <algorithm>
#include <cstdio>

#include "core/error_state.h"
#include "core/grid_state.h"

void cell_position(const grid_state& grid, int cell, int& row, int& column) {
  for (int r = 1; r <= grid.rows; ++r)
    for (int c = 1; c <= grid.cols; ++c)
      if (grid.mask[r][c] == cell) {
        row = r;
        column = c;
        return;
      }
  row = column = 0;
}

bool cells_within(const grid_state& grid, const std::vector<double>& values,
                  const physical_range& range, const char* what, const char* source) {
  const int cells = std::min(grid.cells, int(values.size()) - 1);
  for (int cell = 1; cell <= cells; ++cell) {
    const double v = values[std::size_t(cell)];
    if (within(range, v)) continue;
    int row = 0, column = 0;
    cell_position(grid, cell, row, column);
    char allowed[96];
    range_words(range, allowed, sizeof allowed);
    raise_message("Error: the %s of cell %d (row %d, column %d) from %s is %g; it must be %s.\n",
                  what, cell, row, column, source, v, allowed);
    return false;
  }
  return true;
}

void warn_cells_above(const grid_state& grid, const std::vector<double>& values,
                      double usual_high, const char* what, const char* source,
                      const char* unusual) {
  const int cells = std::min(grid.cells, int(values.size()) - 1);
  for (int cell = 1; cell <= cells; ++cell) {
    const double v = values[std::size_t(cell)];
    if (!(v > usual_high)) continue;
    int row = 0, column = 0;
    cell_position(grid, cell, row, column);
    char text[1400];
    std::snprintf(text, sizeof text,
                  "Warning: the %s of cell %d (row %d, column %d) from %s is %g, %s; the run goes "
                  "on with it (this warning is given once for the map).\n",
                  what, cell, row, column, source, v, unusual);
    print_message(summary_file, text);
    return;
  }
}
