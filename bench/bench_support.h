#pragma once
// What the benchmarks share: the check that two thread counts left the same
// numbers, bit for bit, and the tilted plane they run on.

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "run/model_state.h"
#include "surface/cell_connectivity.h"

namespace bench {

// One row of the table `make bench` gathers from every benchmark's output:
// what is measured, the figure, its unit, and what to hold it against (the
// memory-bandwidth bound, an operation count or the figure it must beat).
inline void table_row(const char* what, double figure, const char* unit, const char* reference) {
  std::printf("table\t%s\t%.4g\t%s\t%s\n", what, figure, unit, reference);
}

inline bool same(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// A rows x cols plane of dx cells falling 2 % to the south and 1 % to the
// east, to the outlet in its south-east corner, under 2 cm of water.
inline std::unique_ptr<model_state> tilted_plane(int rows, int cols, double dx) {
  auto s = std::make_unique<model_state>();
  grid_state& g = s->grid;
  g.rows = rows;
  g.cols = cols;
  g.dx = dx;
  g.mask.allocate_grid(rows, cols);
  const int n = rows * cols;
  g.cells = n;
  g.elevation.assign(n + 1, 0.0);
  int i = 0;
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= cols; ++c) {
      g.mask[r][c] = ++i;
      g.elevation[i] = 0.02 * dx * (rows - r) + 0.01 * dx * (cols - c);
    }
  }
  g.outlet_row = rows;
  g.outlet_col = cols;
  g.outlet_cell = n;
  g.outlet_slope = 0.01;
  for (std::vector<int>* table : {&g.rightcon, &g.belowcon, &g.leftcon, &g.abovecon})
    table->assign(n + 1, 0);
  build_neighbor_tables(rows, cols, g.rightcon, g.belowcon, g.abovecon, g.leftcon, g.mask.table());
  s->surface.depth.assign(n + 1, 0.02);
  s->surface.depth[0] = 0.0;
  return s;
}

}  // namespace bench
