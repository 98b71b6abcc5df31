// Neighbour tables and bed slopes of the overland grid, from the numbered
// mask: edges and cells outside the watershed give 0, and slopes are copied
// where a cell has no neighbour to take one from.

#include "surface/cell_connectivity.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "surface_run_fixture.h"

namespace {

using namespace surface_fixture;

TEST(cell_connectivity, neighbours_are_0_at_the_edge_and_outside_the_watershed) {
  // 1 2 3
  // 4 . 5
  model_state s;
  mask_record(s, 2, 3, {1, 1, 1, 1, 0, 1}, {0, 5, 4, 2, 3, 1});
  test_support::stdout_capture capture;
  build_cell_connectivity(s);
  EXPECT_EQ(capture.stop(), "building cell to cell connectivity information\n");
  const grid_state& g = s.grid;
  EXPECT_EQ(g.rightcon, (std::vector<int>{0, 2, 3, 0, 0, 0}));
  EXPECT_EQ(g.leftcon, (std::vector<int>{0, 0, 1, 2, 0, 0}));
  EXPECT_EQ(g.belowcon, (std::vector<int>{0, 4, 0, 5, 0, 0}));
  EXPECT_EQ(g.abovecon, (std::vector<int>{0, 0, 0, 0, 1, 3}));
  EXPECT_EQ(s.surface.flux_x.size(), 6u);  // the routers' work arrays come with the tables

  compute_cell_slopes(s);
  // x: 1 -> 2 falls 1 m, 2 -> 3 falls 2 m; 3 has no right neighbour and
  // copies 2's; 4 (first of its row, nothing to its right) copies 3's, the
  // last cell of the row above; 5 copies 4's.
  EXPECT_EQ(g.slope_x, (std::vector<double>{0.0, 0.1, 0.2, 0.2, 0.2, 0.2}));
  // y: 1 -> 4 falls 2 m, and 4, the last of its column, copies it; 3 -> 5
  // falls 1 m, 5 copies it; 2 has no cell above or below and keeps 0.
  EXPECT_EQ(g.slope_y, (std::vector<double>{0.0, 0.2, 0.0, 0.1, 0.2, 0.1}));
}

TEST(cell_connectivity, a_grid_of_one_row_has_no_cells_above_or_below) {
  model_state s;
  mask_record(s, 1, 4, {1, 1, 1, 1}, {0, 3, 2, 1.5, 1});
  build_cell_connectivity(s);
  compute_cell_slopes(s);
  const grid_state& g = s.grid;
  EXPECT_EQ(g.abovecon, (std::vector<int>(5, 0)));
  EXPECT_EQ(g.belowcon, (std::vector<int>(5, 0)));
  EXPECT_EQ(g.slope_y, (std::vector<double>(5, 0.0)));
  EXPECT_EQ(g.slope_x, (std::vector<double>{0.0, 0.1, 0.05, 0.05, 0.05}));
}

TEST(cell_connectivity, a_grid_of_one_column_copies_its_last_y_slope_and_keeps_x_at_0) {
  model_state s;
  mask_record(s, 3, 1, {1, 1, 1}, {0, 3, 2, 0});
  build_cell_connectivity(s);
  compute_cell_slopes(s);
  EXPECT_EQ(s.grid.slope_y, (std::vector<double>{0.0, 0.1, 0.2, 0.2}));
  EXPECT_EQ(s.grid.slope_x, (std::vector<double>(4, 0.0)));
}

}  // namespace
