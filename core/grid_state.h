#pragma once
// The grid description every subsystem reads: size, cell size and the active
// cells of the watershed mask, numbered 1..cells row by row from the top.
// Per-cell vectors elsewhere have cells + 1 entries, entry 0 unused.

#include <vector>

#include "core/alloc.h"

// A zeroed [0..n][0..m] block of T in one allocation with a table of row
// pointers (the layout of core/alloc.h), owned by the run record and released
// with it. A grid-shaped array is [0..rows+1][0..cols+1], so that its border
// rows and columns stay 0 and a look one cell past the grid edge reads 0.
template <class T>
class block_2d {
 public:
  block_2d() = default;
  ~block_2d() { free_2d(table_); }
  block_2d(const block_2d&) = delete;
  block_2d& operator=(const block_2d&) = delete;

  // Replaces any earlier block; false (and empty) when memory is short or a
  // dimension is negative.
  bool allocate(int n, int m) {
    free_2d(table_);
    table_ = new_2d_block<T>(n, m);
    n_ = table_ ? n : 0;
    m_ = table_ ? m : 0;
    return table_ != nullptr;
  }
  bool allocate_grid(int rows, int cols) { return allocate(rows + 1, cols + 1); }

  T* operator[](int i) { return table_[i]; }
  const T* operator[](int i) const { return table_[i]; }
  T** table() { return table_; }
  bool empty() const { return table_ == nullptr; }
  int last_row() const { return n_; }     // n of [0..n]
  int last_column() const { return m_; }  // m of [0..m]

 private:
  T** table_ = nullptr;
  int n_ = 0;
  int m_ = 0;
};

struct grid_state {
  int rows = 0;
  int cols = 0;
  double dx = 0.0;       // cell size, m
  int cells = 0;         // active cells of the watershed
  int outlet_row = 0;    // from 1
  int outlet_col = 0;    // from 1
  double outlet_slope = 0.0;  // m/m
  double north = 0.0, south = 0.0, east = 0.0, west = 0.0;  // grid edges, m

  block_2d<int> mask;  // [0..rows+1][0..cols+1]: cell number 1..cells, 0 outside the watershed
  block_2d<int> data;  // work grid of the mask's shape
  double area = 0.0;   // watershed area, m2
  int outlet_cell = 0; // cell number at the outlet row and column, 0 outside the watershed
  std::vector<double> elevation;  // ground elevation per cell [1..cells], m
  // Neighbour cell numbers per cell [1..cells], 0 where there is none
  std::vector<int> rightcon, belowcon, leftcon, abovecon;
  // Bed slopes per cell [1..cells], positive when the bed falls towards the
  // right neighbour (x) or the neighbour below (y)
  std::vector<double> slope_x, slope_y;
};
