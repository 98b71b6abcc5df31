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

TEST(cell_connectivity, the_grid_order_holds_for_a_numbered_mask_and_fails_for_other_tables) {
  // 1 2 3
  // 4 . 5
  // 6 7 8: the longest y face is 5 -> 8, three cells on.
  model_state s;
  mask_record(s, 3, 3, {1, 1, 1, 1, 0, 1, 1, 1, 1}, std::vector<double>(9, 0.0));
  {
    test_support::stdout_capture quiet;
    build_cell_connectivity(s);
  }
  const grid_state& g = s.grid;
  const grid_order found = s.surface.cell_order;
  EXPECT_TRUE(found.ok);
  EXPECT_EQ(found.reach_x, 1);
  EXPECT_EQ(found.reach_y, 3);

  // Each table spoilt in one place, as a record built by hand might hold it.
  struct spoilt_case {
    const char* label;
    void (*spoil)(std::vector<int>& r, std::vector<int>& b, std::vector<int>& l,
                  std::vector<int>& a);
  };
  const spoilt_case cases[] = {
      {"a far cell before its near cell",
       [](auto& r, auto&, auto& l, auto&) {
         r[2] = 1;
         l[1] = 2;
       }},
      {"a far cell beyond the grid", [](auto& r, auto&, auto&, auto&) { r[3] = 9; }},
      {"a right face without its left", [](auto&, auto&, auto& l, auto&) { l[2] = 0; }},
      {"an above face that is not a below one", [](auto&, auto& b, auto&, auto&) { b[1] = 0; }},
      {"a left cell after its cell", [](auto&, auto&, auto& l, auto&) { l[1] = 2; }},
  };
  for (const spoilt_case& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<int> r = g.rightcon, b = g.belowcon, l = g.leftcon, a = g.abovecon;
    c.spoil(r, b, l, a);
    EXPECT_FALSE(find_grid_order(g.cells, r, b, l, a).ok);
  }
}
