// Overland lake extents against hand calculations: a lake rising into one
// wet candidate, into dry candidates at two levels (the count of cells under
// a level is cumulative), into a cell two lake cells reach, never across a
// dike; a lake falling within its cells, past the cells it took (again with
// cumulative counts), at its initial extent, and held at its floor with what
// it could not give in the balance error; the stops; the sort; and the step.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "channel/channel_steps.h"
#include "channel/olake_extent.h"
#include "core/error_state.h"
#include "run/model_state.h"
#include "surface/cell_connectivity.h"
#include "test_support.h"

namespace {

void clear_errors() { error_state = error_record{}; }

// A grid of rows x cols cells, all in the watershed, numbered row by row,
// with one overland lake (number 1) on it.
struct lake_grid {
  grid_state grid;
  surface_state sf;
  std::vector<int> dikes;  // empty: no dikes

  lake_grid(int rows, int cols, double dx, const std::vector<double>& ground) {
    grid.rows = rows;
    grid.cols = cols;
    grid.dx = dx;
    grid.cells = rows * cols;
    grid.mask.allocate_grid(rows, cols);
    int n = 0;
    for (int r = 1; r <= rows; ++r)
      for (int c = 1; c <= cols; ++c) grid.mask[r][c] = ++n;
    grid.elevation = ground;
    grid.elevation.insert(grid.elevation.begin(), 0.0);
    for (std::vector<int>* t : {&grid.rightcon, &grid.belowcon, &grid.abovecon, &grid.leftcon})
      t->assign(std::size_t(n) + 1, 0);
    build_neighbor_tables(rows, cols, grid.rightcon, grid.belowcon, grid.abovecon, grid.leftcon,
                          grid.mask.table());
    sf.depth.assign(std::size_t(n) + 1, 0.0);
  }

  // The lake's cells now and on the lake map (per cell from 1, 0 none), its
  // level, floor and volume change; count and volume from its cells.
  void lake(const std::vector<int>& initial, const std::vector<int>& current, double level,
            double floor, double dv) {
    sf.oland_lake_mask = initial;
    sf.oland_lake_mask.insert(sf.oland_lake_mask.begin(), 0);
    sf.oland_lake_new = current;
    sf.oland_lake_new.insert(sf.oland_lake_new.begin(), 0);
    sf.overland_lakes = 1;
    sf.olake_count = 1;
    sf.olakes.assign(2, olake_record{});
    olake_record& k = sf.olakes[1];
    k.level = level;
    k.floor = floor;
    k.dv = dv;
    for (int i = 1; i <= grid.cells; ++i) {
      if (sf.oland_lake_new[i] != 1) continue;
      ++k.cells;
      k.volume += (level - grid.elevation[i]) * grid.dx * grid.dx;
    }
  }

  std::string update() {
    clear_errors();
    test_support::stdout_capture out;
    olake_extent(grid, dikes.empty() ? nullptr : dikes.data(), sf);
    return out.stop();
  }
};

struct extent_case {
  const char* label;
  int rows, cols;
  double dx;  // m
  std::vector<double> ground;
  std::vector<double> depth;  // empty: dry
  std::vector<int> initial, current;
  std::vector<int> dikes;  // per cell from 1; empty: no dikes
  double level, floor, dv;
  double want_level;
  int want_cells;
  std::vector<int> want_lake;  // lake of each cell afterwards
  double want_in, want_out, want_error;  // m3
};

TEST(olake_extent, levels_extents_and_totals_worked_by_hand) {
  const std::vector<extent_case> cases = {
      // 3 x 0.5 m x 2500 m2 lake; 600 m3 would lift it to 8.08, over the
      // candidate's 8.03 water surface: (3 x 8.08 + 8.03) / 4. The
      // candidate's 0.03 m x 2500 m2 = 75 m3 joins the lake.
      {"one wet candidate", 1, 5, 50.0, {9.0, 7.5, 7.5, 7.5, 8.0}, {0, 0, 0, 0, 0.03},
       {0, 1, 1, 1, 0}, {0, 1, 1, 1, 0}, {}, 8.0, 8.0, 600.0,
       8.0675, 4, {0, 1, 1, 1, 1}, 675.0, 0.0, 0.0},
      // 800 m3 to 10.02, 5 cells x 0.03 m = 1500 m3 to 10.05, the last 700
      // m3 over all 6 cells: 10.05 + 700 / 60000.
      {"dry candidates at two levels", 1, 7, 100.0, {10.05, 9.0, 9.0, 9.0, 9.0, 10.02, 11.0}, {},
       {0, 1, 1, 1, 1, 0, 0}, {0, 1, 1, 1, 1, 0, 0}, {}, 10.0, 10.0, 3000.0,
       10.05 + 700.0 / 60000.0, 6, {1, 1, 1, 1, 1, 1, 0}, 3000.0, 0.0, 0.0},
      // Keys 5e-5 apart are one level of two cells: 10.02 + 2200 / 60000.
      // The higher cell holds 5e-5 m x 10000 m2 less than that level gave it.
      {"two candidates at one level", 1, 7, 100.0, {10.02005, 9.0, 9.0, 9.0, 9.0, 10.02, 11.0},
       {}, {0, 1, 1, 1, 1, 0, 0}, {0, 1, 1, 1, 1, 0, 0}, {}, 10.0, 10.0, 3000.0,
       10.02 + 2200.0 / 60000.0, 6, {1, 1, 1, 1, 1, 1, 0}, 3000.0, 0.0, 0.5},
      // Cell 4 of the 2 x 2 grid touches cells 2 and 3: one candidate,
      // (3 x 6.2 + 6.0) / 4.
      {"a cell two lake cells reach", 2, 2, 10.0, {5.0, 5.0, 5.0, 6.0}, {}, {1, 1, 1, 0},
       {1, 1, 1, 0}, {}, 6.0, 6.0, 60.0,
       6.15, 4, {1, 1, 1, 1}, 60.0, 0.0, 0.0},
      // The dike on the right of cell 5 hides the 10.02 cell: one candidate
      // at 10.05, (4 x 10.075 + 10.05) / 5.
      {"a dike marked on the lake cell", 1, 7, 100.0, {10.05, 9.0, 9.0, 9.0, 9.0, 10.02, 11.0},
       {}, {0, 1, 1, 1, 1, 0, 0}, {0, 1, 1, 1, 1, 0, 0}, {0, 0, 0, 0, 2, 0, 0}, 10.0, 10.0,
       3000.0, 10.07, 5, {1, 1, 1, 1, 1, 0, 0}, 3000.0, 0.0, 0.0},
      {"a dike marked on the candidate", 1, 7, 100.0, {10.05, 9.0, 9.0, 9.0, 9.0, 10.02, 11.0},
       {}, {0, 1, 1, 1, 1, 0, 0}, {0, 1, 1, 1, 1, 0, 0}, {0, 0, 0, 0, 0, 8, 0}, 10.0, 10.0,
       3000.0, 10.07, 5, {1, 1, 1, 1, 1, 0, 0}, 3000.0, 0.0, 0.0},
      {"no candidate", 1, 3, 10.0, {12.0, 9.0, 12.0}, {}, {0, 1, 0}, {0, 1, 0}, {}, 10.0, 10.0,
       50.0, 10.5, 1, {0, 1, 0}, 50.0, 0.0, 0.0},
      // Four cells at 9.0 and a taken one at 9.9 over 10000 m2 each.
      {"a fall within the cells", 1, 6, 100.0, {9.0, 9.0, 9.0, 9.0, 9.9, 12.0}, {},
       {1, 1, 1, 1, 0, 0}, {1, 1, 1, 1, 1, 0}, {}, 10.0, 9.5, -2500.0,
       9.95, 5, {1, 1, 1, 1, 1, 0}, 0.0, 2500.0, 0.0},
      // 5000 m3 brings all five to 9.9, the last 1000 m3 comes off four:
      // 9.9 - 1000 / 40000; the cell at 9.9 is given back.
      {"a fall past a taken cell", 1, 6, 100.0, {9.0, 9.0, 9.0, 9.0, 9.9, 12.0}, {},
       {1, 1, 1, 1, 0, 0}, {1, 1, 1, 1, 1, 0}, {}, 10.0, 9.5, -6000.0,
       9.875, 4, {1, 1, 1, 1, 0, 0}, 0.0, 6000.0, 0.0},
      // 4000 m3 to 9.9 over four cells, 3000 m3 to 9.8 over three, the
      // last 1000 m3 off the two map cells: 9.8 - 1000 / 20000.
      {"a fall past taken cells at two levels", 1, 5, 100.0, {9.0, 9.0, 9.9, 9.8, 12.0}, {},
       {1, 1, 0, 0, 0}, {1, 1, 1, 1, 0}, {}, 10.0, 9.5, -8000.0,
       9.75, 2, {1, 1, 0, 0, 0}, 0.0, 8000.0, 0.0},
      // At its map extent, over a floor below its level: it just lowers.
      {"a fall at the initial extent", 1, 3, 10.0, {12.0, 9.0, 9.0}, {}, {0, 1, 1}, {0, 1, 1},
       {}, 9.6, 9.5, -5.0, 9.575, 2, {0, 1, 1}, 0.0, 5.0, 0.0},
      // Held at its floor: the 500 m3 it gave it did not have.
      {"drained at its floor", 1, 3, 10.0, {12.0, 9.0, 9.0}, {}, {0, 1, 1}, {0, 1, 1}, {},
       10.0, 10.0, -500.0, 10.0, 2, {0, 1, 1}, 0.0, 500.0, -500.0},
      // From 10.0 the fall to 9.8 stops at the floor 9.9: of the 20 m3
      // given, 10 m3 came from the lake.
      {"drained past its floor", 1, 3, 10.0, {12.0, 9.0, 12.0}, {}, {0, 1, 0}, {0, 1, 0}, {},
       10.0, 9.9, -20.0, 9.9, 1, {0, 1, 0}, 0.0, 20.0, -10.0},
      {"a rise under 1e-10 m", 1, 3, 10.0, {9.0, 9.0, 9.0}, {}, {0, 1, 1}, {0, 1, 1}, {},
       9.5, 9.5, 1.9e-8, 9.5, 2, {0, 1, 1}, 0.0, 0.0, 0.0},
  };
  for (const extent_case& c : cases) {
    SCOPED_TRACE(c.label);
    lake_grid g(c.rows, c.cols, c.dx, c.ground);
    if (!c.depth.empty()) {
      g.sf.depth = c.depth;
      g.sf.depth.insert(g.sf.depth.begin(), 0.0);
    }
    if (!c.dikes.empty()) {
      g.dikes = c.dikes;
      g.dikes.insert(g.dikes.begin(), 0);
    }
    g.lake(c.initial, c.current, c.level, c.floor, c.dv);
    const double before = g.sf.olakes[1].volume;
    const std::string out = g.update();
    EXPECT_EQ(error_state.stop_flag, 0) << out;
    const olake_record& k = g.sf.olakes[1];
    EXPECT_NEAR(k.level, c.want_level, 1e-9);
    EXPECT_EQ(k.cells, c.want_cells);
    std::vector<int> lake(g.sf.oland_lake_new.begin() + 1, g.sf.oland_lake_new.end());
    EXPECT_EQ(lake, c.want_lake);
    EXPECT_NEAR(g.sf.olake_inflow_volume, c.want_in, 1e-7);
    EXPECT_NEAR(g.sf.olake_outflow_volume, c.want_out, 1e-7);
    EXPECT_NEAR(g.sf.olake_balance_error, c.want_error, 1e-7);
    // The volume follows the level and the cells; water joined and moved
    // accounts for every change of it.
    double held = 0.0;
    for (int i = 1; i <= g.grid.cells; ++i)
      if (g.sf.oland_lake_new[i] == 1) held += (k.level - g.grid.elevation[i]) * c.dx * c.dx;
    EXPECT_NEAR(k.volume, held, 1e-7);
    if (c.want_level != c.level) {
      EXPECT_NEAR(k.volume - before,
                  g.sf.olake_inflow_volume - g.sf.olake_outflow_volume - g.sf.olake_balance_error,
                  1e-7);
    }
    // Joined cells hand over their water.
    for (int i = 1; i <= g.grid.cells; ++i)
      if (g.sf.oland_lake_new[i] == 1 && c.current[i - 1] == 0) {
        EXPECT_EQ(g.sf.depth[i], 0.0);
      }
  }
  clear_errors();
}

TEST(olake_extent, falls_that_cannot_be_met_stop_the_run) {
  struct stop_case {
    const char* label;
    std::vector<double> ground;
    std::vector<int> initial, current;
    double level, floor, dv;
    std::string message;
  };
  const std::vector<stop_case> cases = {
      // Its map cell at 9.58 would run dry at 9.575, and it has taken no cell
      // to give back; lake 2's taken cell does not count for it.
      {"below its map extent", {12.0, 9.0, 9.58, 12.0, 5.0, 5.0}, {0, 1, 1, 0, 2, 0},
       {0, 1, 1, 0, 2, 2}, 9.6, 9.5, -5.0,
       "Lake 1 is being drained below its' original elevation.  This is not\n"
       "allowed.  Re-size your initial lake. Program stopped.\n"},
      // A taken cell standing above the level leaves nothing to release.
      {"a taken cell above its level", {12.0, 9.0, 10.5, 12.0, 5.0, 5.0}, {0, 1, 0, 0, 2, 0},
       {0, 1, 1, 0, 2, 2}, 10.0, 9.0, -5.0,
       "Not enough volume in lake 1 to satisfy drainage demand.\n"
       "Program stopped in olake_extent.c\n"},
  };
  for (const stop_case& c : cases) {
    SCOPED_TRACE(c.label);
    lake_grid g(1, 6, 10.0, c.ground);
    g.lake(c.initial, c.current, c.level, c.floor, c.dv);
    // Lake 2 follows lake 1 and is left as it was.
    g.sf.olake_count = 2;
    g.sf.olakes.push_back(olake_record{6.0, 6.0, 200.0, 100.0, 2});
    const std::string out = g.update();
    EXPECT_EQ(error_state.stop_flag, 1);
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
    EXPECT_EQ(g.sf.olakes[2].level, 6.0);
    EXPECT_EQ(g.sf.olakes[2].cells, 2);
  }
  clear_errors();
}

TEST(sort2, sorts_the_keys_and_carries_the_cells_along) {
  std::mt19937 random(7);
  for (int n : {1, 2, 6, 7, 8, 50, 1000, 20000}) {
    SCOPED_TRACE(n);
    std::vector<double> keys(std::size_t(n) + 1, 0.0);
    std::vector<int> cells(std::size_t(n) + 1, 0);
    // Many repeats, as a flat lake shore has.
    for (int j = 1; j <= n; ++j) {
      keys[j] = double(random() % 17) * 0.25;
      cells[j] = j;
    }
    const std::vector<double> original = keys;
    clear_errors();
    ASSERT_TRUE(sort2(n, keys.data(), cells.data()));
    EXPECT_TRUE(std::is_sorted(keys.begin() + 1, keys.end()));
    std::vector<int> seen(std::size_t(n) + 1, 0);
    for (int j = 1; j <= n; ++j) {
      EXPECT_EQ(keys[j], original[cells[j]]);
      ++seen[cells[j]];
    }
    EXPECT_EQ(std::count(seen.begin() + 1, seen.end(), 1), n);
  }
  // Already in order and in reverse order.
  for (int direction : {1, -1}) {
    const int n = 5000;
    std::vector<double> keys(n + 1);
    std::vector<int> cells(n + 1);
    for (int j = 1; j <= n; ++j) {
      keys[j] = direction * j;
      cells[j] = j;
    }
    ASSERT_TRUE(sort2(n, keys.data(), cells.data()));
    EXPECT_TRUE(std::is_sorted(keys.begin() + 1, keys.end()));
    EXPECT_EQ(cells[1], direction > 0 ? 1 : n);
  }
}

// The step hands the lakes' changes over once: the flag and each dv go back
// to 0, and the total is the water the lakes held before the update.
TEST(olake_extent_step, updates_only_when_the_flag_is_up_and_clears_it) {
  model_state s;
  lake_grid g(1, 7, 100.0, {10.05, 9.0, 9.0, 9.0, 9.0, 10.02, 11.0});
  g.lake({0, 1, 1, 1, 1, 0, 0}, {0, 1, 1, 1, 1, 0, 0}, 10.0, 10.0, 3000.0);
  s.grid.rows = 1;
  s.grid.cols = 7;
  s.grid.dx = 100.0;
  s.grid.cells = 7;
  s.grid.elevation = g.grid.elevation;
  s.grid.abovecon = g.grid.abovecon;
  s.grid.rightcon = g.grid.rightcon;
  s.grid.belowcon = g.grid.belowcon;
  s.grid.leftcon = g.grid.leftcon;
  s.surface = g.sf;
  // A dike map the run does not have is not used.
  s.surface.dike_mask.assign(8, 15);
  clear_errors();

  olake_extent_step(s);
  EXPECT_EQ(s.surface.olakes[1].level, 10.0);
  EXPECT_EQ(s.surface.olakes[1].dv, 3000.0);

  s.surface.olake_update = 1;
  olake_extent_step(s);
  EXPECT_EQ(error_state.stop_flag, 0);
  EXPECT_NEAR(s.surface.olakes[1].level, 10.05 + 700.0 / 60000.0, 1e-9);
  EXPECT_EQ(s.surface.olakes[1].dv, 0.0);
  EXPECT_EQ(s.surface.olake_update, 0);
  EXPECT_NEAR(s.surface.olake_total_volume, 40000.0, 1e-7);
  EXPECT_NEAR(s.surface.olakes[1].volume, 43000.0, 1e-7);

  // With the run's dike map every side of every cell is closed.
  s.input.settings.dike_map_given = 1;
  s.surface.olakes[1].dv = 600.0;
  s.surface.olake_update = 1;
  const double level = s.surface.olakes[1].level;
  olake_extent_step(s);
  EXPECT_NEAR(s.surface.olakes[1].level, level + 600.0 / 60000.0, 1e-9);
  EXPECT_EQ(s.surface.olakes[1].cells, 6);
  clear_errors();
}

}  // namespace
