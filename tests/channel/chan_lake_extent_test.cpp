// Channel lake extents: the level, cells and volume of a lake as water comes
// and goes, checked against the water standing over its cells; the cell
// messages, the once-a-run full-extent warning and the merge stop; hourly
// evaporation against a hand calculation; the lake-aware map depths.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "channel/chan_lake_extent.h"
#include "core/error_state.h"
#include "run/model_state.h"
#include "test_support.h"

namespace {

using test_support::stdout_capture;

void clear_errors() { error_state = error_record{}; }

// One row of square cells at the given ground elevations, with channel lakes
// whose search lists are given as columns of that row.
struct lake_row {
  model_state s;

  lake_row(double size, const std::vector<double>& ground,
           const std::vector<std::vector<int>>& lists) {
    grid_state& g = s.grid;
    const int n = int(ground.size());
    g.rows = 1;
    g.cols = n;
    g.dx = size;
    g.cells = n;
    EXPECT_TRUE(g.mask.allocate_grid(1, n));
    g.elevation.assign(std::size_t(n) + 1, 0.0);
    for (int c = 1; c <= n; ++c) {
      g.mask[1][c] = c;
      g.elevation[c] = ground[c - 1];
    }
    s.surface.depth.assign(std::size_t(n) + 1, 0.0);

    channel_state& ch = s.channel;
    ch.channel_lakes = 1;
    ch.lake_count = int(lists.size());
    for (const auto& l : lists) ch.max_lake_points = std::max(ch.max_lake_points, int(l.size()));
    const std::size_t per_lake = lists.size() + 1;
    for (auto* v : {&ch.numpts, &ch.lake_cells}) v->assign(per_lake, 0);
    for (auto* v : {&ch.lake_volume, &ch.prevlake_volume, &ch.lake_elev, &ch.lake_area,
                    &ch.lake_in_dv, &ch.lake_out_dv, &ch.cumulative_lake_evap})
      v->assign(per_lake, 0.0);
    const std::size_t stride = std::size_t(ch.max_lake_points) + 1;
    ch.lake_search_row.assign(per_lake * stride, 0);
    ch.lake_search_col.assign(per_lake * stride, 0);
    for (std::size_t k = 1; k <= lists.size(); ++k) {
      ch.numpts[k] = int(lists[k - 1].size());
      for (std::size_t i = 1; i <= lists[k - 1].size(); ++i) {
        ch.lake_search_row[k * stride + i] = 1;
        ch.lake_search_col[k * stride + i] = lists[k - 1][i - 1];
      }
    }
    ch.lake_mask.assign(std::size_t(n) + 1, 0);
    ch.new_flooded_grid.assign(std::size_t(n) + 1, 0);
  }

  double cell_area() const { return s.grid.dx * s.grid.dx; }
  int listed(int lake, int i) const {
    const channel_state& ch = s.channel;
    return ch.lake_search_col[std::size_t(lake) * (ch.max_lake_points + 1) + i];
  }

  // The lake as the lake set-up leaves it: its first `cells` listed cells
  // under water at `level`, the volume standing over them.
  void start(int lake, double level, int cells) {
    channel_state& ch = s.channel;
    double volume = 0.0;
    for (int i = 1; i <= cells; ++i) {
      const int c = listed(lake, i);
      volume += (level - s.grid.elevation[c]) * cell_area();
      ch.lake_mask[c] = lake;
    }
    ch.lake_cells[lake] = cells;
    ch.lake_elev[lake] = level;
    ch.lake_area[lake] = cells * cell_area();
    ch.lake_volume[lake] = ch.prevlake_volume[lake] = volume;
  }

  // Water standing between the lake's level and the ground of its cells, m3.
  double held(int lake) const {
    const channel_state& ch = s.channel;
    double volume = 0.0;
    for (int i = 1; i <= ch.lake_cells[lake]; ++i)
      volume += (ch.lake_elev[lake] - s.grid.elevation[listed(lake, i)]) * cell_area();
    return volume;
  }

  // Adds dv m3 to the lake and updates the extents, returning what printed.
  std::string change(int lake, double dv) {
    s.channel.lake_volume[lake] += dv;
    stdout_capture capture;
    chan_lake_extent(s);
    return capture.stop();
  }
};

// The lake of 50 m cells at 5.0 5.1 5.6 6.0 6.2 filled to 5.3: two cells
// under water, 1250 m3.
struct terraced_lake : lake_row {
  terraced_lake() : lake_row(50.0, {5.0, 5.1, 5.6, 6.0, 6.2}, {{1, 2, 3, 4, 5}}) {
    start(1, 5.3, 2);
  }
};

TEST(chan_lake_extent, a_lake_takes_and_gives_back_cells_in_search_order) {
  clear_errors();
  terraced_lake lake;
  const channel_state& ch = lake.s.channel;
  ASSERT_DOUBLE_EQ(ch.lake_volume[1], 1250.0);

  // +5000 m3 floods the third and fourth cells and stands 0.05 m over the
  // fourth: (1.05 + 0.95 + 0.45 + 0.05) x 2500 = 6250 m3.
  std::string out = lake.change(1, 5000.0);
  EXPECT_EQ(out,
            "Lake 1 is taking cell 3 with depth 0.000000\n"
            "Lake 1 is taking cell 4 with depth 0.000000\n");
  EXPECT_NEAR(ch.lake_elev[1], 6.05, 1e-12);
  EXPECT_EQ(ch.lake_cells[1], 4);
  EXPECT_DOUBLE_EQ(ch.lake_area[1], 10000.0);
  EXPECT_DOUBLE_EQ(ch.lake_volume[1], 6250.0);
  EXPECT_DOUBLE_EQ(ch.prevlake_volume[1], 6250.0);
  EXPECT_NEAR(lake.held(1), 6250.0, 1e-8);
  EXPECT_EQ(ch.lake_map_changed, 1);
  EXPECT_EQ(ch.lake_in_dv[1], 0.0);
  for (int c : {3, 4}) {
    EXPECT_EQ(ch.lake_mask[c], 1) << c;
    EXPECT_EQ(ch.new_flooded_grid[c], 1) << c;
  }
  EXPECT_EQ(ch.lake_mask[5], 0);

  // -4000 m3 gives the fourth cell back first, then the third, and leaves
  // (0.5 + 0.4) x 2500 = 2250 m3 over two cells at 5.5.
  lake.s.channel.lake_map_changed = 0;
  out = lake.change(1, -4000.0);
  EXPECT_EQ(out, "Removing cell 4 from lake\nRemoving cell 3 from lake\n");
  EXPECT_NEAR(ch.lake_elev[1], 5.5, 1e-12);
  EXPECT_EQ(ch.lake_cells[1], 2);
  EXPECT_DOUBLE_EQ(ch.lake_area[1], 5000.0);
  EXPECT_NEAR(lake.held(1), 2250.0, 1e-8);
  EXPECT_EQ(ch.lake_map_changed, 1);
  for (int c : {3, 4}) {
    EXPECT_EQ(ch.lake_mask[c], 0) << c;
    EXPECT_EQ(ch.new_flooded_grid[c], -1) << c;
  }
  EXPECT_EQ(ch.lake_mask[1], 1);
  EXPECT_EQ(ch.new_flooded_grid[1], 0);
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST(chan_lake_extent, a_lake_taking_a_wet_cell_gains_its_water) {
  clear_errors();
  terraced_lake lake;
  lake.s.surface.depth[3] = 0.2;
  lake.s.surface.depth[5] = 0.3;  // beyond the new extent: stays on the surface
  const std::string out = lake.change(1, 5000.0);
  EXPECT_EQ(out,
            "Lake 1 is taking cell 3 with depth 0.200000\n"
            "Lake 1 is taking cell 4 with depth 0.000000\n");
  const channel_state& ch = lake.s.channel;
  // 1250 + 5000 + 0.2 x 2500: (1.1 + 1.0 + 0.5 + 0.1) x 2500 at 6.1.
  EXPECT_NEAR(ch.lake_elev[1], 6.1, 1e-12);
  EXPECT_EQ(ch.lake_cells[1], 4);
  EXPECT_DOUBLE_EQ(ch.lake_volume[1], 6750.0);
  EXPECT_NEAR(lake.held(1), 6750.0, 1e-8);
  EXPECT_DOUBLE_EQ(ch.lake_in_dv[1], 500.0);
  EXPECT_EQ(lake.s.surface.depth[3], 0.0);
  EXPECT_EQ(lake.s.surface.depth[5], 0.3);
}

TEST(chan_lake_extent, level_and_extent_follow_the_volume_change) {
  struct extent_case {
    const char* label;
    double level;  // m, before
    int cells;     // before
    double dv;     // m3
    double after;  // m
    int cells_after;
    int changed;  // a cell changed hands
  };
  const extent_case cases[] = {
      {"a rise within the extent moves the level by dV / A", 5.3, 2, 500.0, 5.4, 2, 0},
      {"a fall within the extent moves the level by dV / A", 5.3, 2, -500.0, 5.2, 2, 0},
      {"a rise to the next cell's ground stops short of taking it", 5.3, 2, 1500.0, 5.6, 2, 0},
      {"a fall to the last cell's ground gives it back", 6.05, 4, -500.0, 6.0, 3, 1},
      {"a fall ending 5e-8 m over the last cell's ground gives it back", 6.05, 4, -499.9995,
       6.0 + 0.0005 / 7500.0, 3, 1},
      {"a fall across two cells gives both back", 6.05, 4, -4000.0, 5.5, 2, 1},
      {"a lake drained dry gives every cell back", 5.3, 2, -1250.0, 5.0, 0, 1},
      {"no change leaves the lake as it stands", 5.3, 2, 0.0, 5.3, 2, 0},
  };
  for (const extent_case& t : cases) {
    SCOPED_TRACE(t.label);
    clear_errors();
    lake_row lake(50.0, {5.0, 5.1, 5.6, 6.0, 6.2}, {{1, 2, 3, 4, 5}});
    lake.start(1, t.level, t.cells);
    const double before = lake.s.channel.lake_volume[1];
    lake.change(1, t.dv);
    const channel_state& ch = lake.s.channel;
    EXPECT_NEAR(ch.lake_elev[1], t.after, 1e-9);
    EXPECT_EQ(ch.lake_cells[1], t.cells_after);
    EXPECT_DOUBLE_EQ(ch.lake_area[1], t.cells_after * 2500.0);
    EXPECT_NEAR(ch.lake_volume[1], before + t.dv, 1e-9);
    EXPECT_NEAR(lake.held(1), before + t.dv, 1e-6);
    EXPECT_EQ(ch.lake_map_changed, t.changed);
    for (int c = 1; c <= 5; ++c) EXPECT_EQ(ch.lake_mask[c], c <= t.cells_after ? 1 : 0) << c;
  }
}

TEST(chan_lake_extent, the_full_extent_warning_prints_once_a_run_and_the_level_rises_on) {
  clear_errors();
  // Lake 1 lists cells 1 and 2, lake 2 cells 3 and 4; both start full.
  lake_row lakes(10.0, {0.0, 0.0, 1.0, 1.0}, {{1, 2}, {3, 4}});
  lakes.start(1, 0.5, 2);
  lakes.start(2, 1.5, 2);
  std::string out = lakes.change(1, 100.0);
  EXPECT_EQ(out,
            "Warning: Lake #1 has reached your specified maximum areal extent\n"
            "This likely means you should increase the maximum water surface elevation\n"
            "The last grid cell coordinates defined in your input file are: [1][2] \n");
  const channel_state& ch = lakes.s.channel;
  EXPECT_NEAR(ch.lake_elev[1], 1.0, 1e-12);  // 100 m3 over 200 m2
  EXPECT_EQ(ch.lake_cells[1], 2);
  EXPECT_EQ(ch.lake_extent_warned, 1);
  EXPECT_EQ(ch.lake_map_changed, 0);

  // Neither lake warns again, whichever reaches its extent.
  out = lakes.change(2, 200.0);
  out += lakes.change(1, 100.0);
  EXPECT_EQ(out, "");
  EXPECT_NEAR(ch.lake_elev[2], 2.5, 1e-12);
  EXPECT_NEAR(ch.lake_elev[1], 1.5, 1e-12);
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST(chan_lake_extent, a_lake_rising_into_another_lake_stops_the_run) {
  clear_errors();
  // Lake 1 lists cells 1, 2 and then cell 3, which lake 2 holds.
  lake_row lakes(10.0, {0.0, 0.5, 1.0, 2.0}, {{1, 2, 3}, {3, 4}});
  lakes.start(1, 0.8, 2);
  lakes.start(2, 1.2, 1);
  const double lake2_volume = lakes.s.channel.lake_volume[2];
  const std::string out = lakes.change(1, 200.0);
  EXPECT_EQ(out,
            "Your lake has potentially merged with another lake.....\n"
            "Current VALTO formulation is not up for this. Will be soon.\n"
            "VALTO Terminating.\n\n");
  EXPECT_EQ(error_state.stop_flag, 1);
  const channel_state& ch = lakes.s.channel;
  EXPECT_EQ(ch.lake_mask[3], 2);
  EXPECT_EQ(ch.lake_cells[1], 2);
  EXPECT_EQ(ch.lake_volume[2], lake2_volume);
  clear_errors();
}

TEST(chan_lake_evaporation, an_hour_of_evaporation_leaves_each_lake_and_the_extents_follow) {
  clear_errors();
  // Lake 1: three 100 m cells (3e4 m2) 1 m deep. Lake 2: one cell holding
  // 1 m3, less than its hour of evaporation (1.83 m3).
  lake_row lakes(100.0, {0.0, 0.0, 0.0, 3.0}, {{1, 2, 3}, {4}});
  lakes.start(1, 1.0, 3);
  lakes.start(2, 3.0001, 1);
  channel_state& ch = lakes.s.channel;
  ASSERT_NEAR(ch.lake_volume[2], 1.0, 1e-9);
  ch.cumulative_lake_evap[1] = 1.0;
  ch.lake_evaporation_volume = 10.0;

  // T 20 C, W 3, RH 60 %: e_sat = 6.11 exp(346 / 293.3) = 19.877855 hPa;
  // 0.03^-0.05 x 1.69e-4 x 0.003 x 86400 x 0.4 x 19.877855 / 24 x 300.
  const double hour = 5.188062;  // m3
  stdout_capture capture;
  chan_lake_evaporation(lakes.s, 20.0, 3.0, 60.0);
  capture.stop();
  EXPECT_NEAR(ch.lake_volume[1], 3e4 - hour, 1e-6);
  EXPECT_NEAR(ch.cumulative_lake_evap[1], 1.0 + hour, 1e-6);
  EXPECT_NEAR(ch.lake_elev[1], 1.0 - hour / 3e4, 1e-10);
  EXPECT_DOUBLE_EQ(ch.prevlake_volume[1], ch.lake_volume[1]);
  // The small lake is emptied: it loses what it held, no more.
  EXPECT_EQ(ch.lake_volume[2], 0.0);
  EXPECT_NEAR(ch.cumulative_lake_evap[2], 1.0, 1e-9);
  EXPECT_NEAR(ch.lake_elev[2], 3.0, 1e-9);
  EXPECT_NEAR(ch.lake_evaporation_volume, 10.0 + hour + 1.0, 1e-6);
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST(chan_lake_cell_depths, lake_cells_report_the_lake_depth_and_others_the_surface_depth) {
  clear_errors();
  // The lake covers cells 2 and 1 of its list 2, 1, 3; cell 3 is listed but
  // dry of lake water and keeps its surface depth, as does cell 4.
  lake_row lake(10.0, {1.0, 0.5, 1.5, 0.0}, {{2, 1, 3}});
  lake.start(1, 1.25, 2);
  lake.s.surface.depth = {0.0, 0.0, 0.0, 0.04, 0.07};
  std::vector<double> out(5, -1.0);
  chan_lake_cell_depths(lake.s, out.data());
  EXPECT_NEAR(out[1], 0.25, 1e-12);
  EXPECT_NEAR(out[2], 0.75, 1e-12);
  EXPECT_EQ(out[3], 0.04);
  EXPECT_EQ(out[4], 0.07);

  // Without channel lakes every cell reports its surface depth.
  lake.s.channel.channel_lakes = 0;
  chan_lake_cell_depths(lake.s, out.data());
  EXPECT_EQ(out, (std::vector<double>{-1.0, 0.0, 0.0, 0.04, 0.07}));
}

}  // namespace
