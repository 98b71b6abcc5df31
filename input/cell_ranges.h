#pragma once
// Range checks over a per-cell array: the first cell whose value lies
// outside the physical range stops the set-up with a message naming the
// cell by number, row and column, the source of the values, the value and
// the range; a legal value beyond experience gives one warning for the
// whole array.

#include <vector>

#include "core/physical_range.h"

struct grid_state;

// The row and column of an active cell, 0 and 0 for none.
void cell_position(const grid_state& grid, int cell, int& row, int& column);

// True when every active cell's value lies in range; false after the message
// "Error: the WHAT of cell C (row R, column K) from SOURCE is V; it must be
// RANGE." with code 4000 raised.
bool cells_within(const grid_state& grid, const std::vector<double>& values,
                  const physical_range& range, const char* what, const char* source);

// One warning when some cell's value lies above usual_high, naming the first
// such cell; unusual says what such a value would be.
void warn_cells_above(const grid_state& grid, const std::vector<double>& values,
                      double usual_high, const char* what, const char* source,
                      const char* unusual);
