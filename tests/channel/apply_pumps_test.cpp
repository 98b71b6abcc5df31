// Pumps drawing on the surface water of their cells: the withdrawal of each
// flow type against a hand calculation, a dry cell as the limit, the newest
// pump acting first, the water booked for the summaries, the overland step
// pumping before it scans and routes, and the set-up check of the cells.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channel/apply_pumps.h"
#include "core/error_state.h"
#include "run/model_state.h"
#include "input/series.h"
#include "surface/overland_step.h"
#include "surface/surface_steps.h"
#include "test_support.h"

namespace {

using test_support::stdout_capture;

void clear_errors() { error_state = error_record{}; }

// A row of `cells` square cells of `size` metres, all dry, the clock at day 1.
void build_row(model_state& s, int cells, double size) {
  grid_state& g = s.grid;
  g.rows = 1;
  g.cols = cells;
  g.cells = cells;
  g.dx = size;
  ASSERT_TRUE(g.mask.allocate_grid(1, cells));
  for (int c = 1; c <= cells; ++c) g.mask[1][c] = c;
  g.elevation.assign(std::size_t(cells) + 1, 0.0);
  s.surface.depth.assign(std::size_t(cells) + 1, 0.0);
  s.run.current_time = 1.0;
}

// A time series holding q from day 0 to day 10.
void constant_series(time_series& ts, double q) {
  ts.name = "pump rate";
  ts.time = {0.0, 10.0};
  ts.value = {q, q};
}

pump_def ts_pump(int cell, const time_series& ts) {
  pump_def p;
  p.first = cell;
  p.flow_type = 1;
  p.ts = &ts;
  return p;
}

pump_def elev_pump(int cell, const elev_series& es) {
  pump_def p;
  p.first = cell;
  p.flow_type = 0;
  p.es = &es;
  return p;
}

TEST(apply_pumps, each_pump_lowers_its_cell_by_its_withdrawal_and_no_further) {
  // The elevation series is read at the cell's depth: 0.02 m3/s per m.
  elev_series per_metre;
  per_metre.name = "pump curve";
  per_metre.elevation = {0.0, 1.0};
  per_metre.value = {0.0, 0.02};
  struct pump_case {
    const char* label;
    int flow_type;  // 1 TS, 0 ELEV
    double q;       // TS rate, m3/s
    double depth;   // m, before
    double dt;      // s
    double after;   // m
  };
  const pump_case cases[] = {
      // 0.01 m3/s x 60 s over 100 m x 100 m.
      {"a TS pump takes Q dt / dx^2", 1, 0.01, 0.5, 60.0, 0.5 - 6e-5},
      // 0.5 m deep: 0.01 m3/s.
      {"an ELEV pump reads its rate at the cell's depth", 0, 0.0, 0.5, 60.0, 0.5 - 6e-5},
      {"a pump asking more than the cell holds empties it", 1, 1.0, 0.001, 60.0, 0.0},
      {"a pump on a dry cell takes nothing", 1, 0.01, 0.0, 60.0, 0.0},
  };
  for (const pump_case& t : cases) {
    SCOPED_TRACE(t.label);
    clear_errors();
    model_state s;
    build_row(s, 3, 100.0);
    time_series rate;
    constant_series(rate, t.q);
    s.channel.pumps = {t.flow_type == 1 ? ts_pump(2, rate) : elev_pump(2, per_metre)};
    s.surface.depth = {0.0, 0.3, t.depth, 0.3};
    s.surface.pump_volume = 7.0;
    apply_pumps(s, t.dt);
    EXPECT_NEAR(s.surface.depth[2], t.after, 1e-15);
    EXPECT_EQ(s.surface.depth[1], 0.3);
    EXPECT_EQ(s.surface.depth[3], 0.3);
    const double removed = (t.depth - t.after) * 1e4;  // m3
    EXPECT_NEAR(s.surface.pump_volume, 7.0 + removed, 1e-9);
    EXPECT_NEAR(s.surface.event_pump_volume, removed, 1e-9);
    EXPECT_EQ(error_state.stop_flag, 0);
  }
}

TEST(apply_pumps, the_newest_pump_acts_first) {
  clear_errors();
  model_state s;
  build_row(s, 1, 100.0);
  s.surface.depth[1] = 0.5;
  // The first card takes 0.3 m in 60 s (50 m3/s); the second, newer card
  // pumps 100 m3/s per m of depth. Newest first: 50 m3/s at 0.5 m takes
  // 0.3 m, and the first card empties the remaining 0.2 m. Oldest first
  // would leave 0.2 - 0.12 = 0.08 m.
  time_series fixed;
  constant_series(fixed, 50.0);
  elev_series curve;
  curve.name = "by depth";
  curve.elevation = {0.0, 1.0};
  curve.value = {0.0, 100.0};
  s.channel.pumps = {ts_pump(1, fixed), elev_pump(1, curve)};
  apply_pumps(s, 60.0);
  EXPECT_EQ(s.surface.depth[1], 0.0);
  EXPECT_NEAR(s.surface.pump_volume, 5000.0, 1e-9);
  EXPECT_NEAR(s.surface.event_pump_volume, 5000.0, 1e-9);
}

TEST(apply_pumps, the_overland_step_pumps_before_it_scans_and_routes) {
  clear_errors();
  model_state s;
  // Twenty 100 m cells falling 1 m a cell, n 0.05, routed by ADE.
  grid_state& g = s.grid;
  g.rows = 1;
  g.cols = 20;
  g.cells = 20;
  g.dx = 100.0;
  ASSERT_TRUE(g.mask.allocate_grid(1, 20));
  g.elevation.assign(21, 0.0);
  for (auto* v : {&g.rightcon, &g.leftcon, &g.abovecon, &g.belowcon}) v->assign(21, 0);
  for (int c = 1; c <= 20; ++c) {
    g.mask[1][c] = c;
    g.elevation[c] = 20.0 - c;
    if (c < 20) g.rightcon[c] = c + 1;
    if (c > 1) g.leftcon[c] = c - 1;
  }
  g.outlet_row = 1;
  g.outlet_col = 20;
  g.outlet_cell = 20;
  g.outlet_slope = 0.01;
  surface_state& sf = s.surface;
  sf.depth.assign(21, 0.0);
  sf.prev_depth.assign(21, 0.0);
  sf.retent_dep.assign(21, 0.0);
  sf.dist_rough.assign(21, 0.05);
  ASSERT_TRUE(alloc_overland_work(s));
  s.input.settings.overtype = 2;
  s.run.overland.set_interval(10.0);
  s.run.current_time = 1.0;
  s.run.overland.next = 1.0;
  s.run.overland.last = 1.0 - 10.0 / 86400.0;

  // The only wet cell holds 1000 m3; its pump asks 2000 m3 in the 10 s step.
  sf.depth[5] = 0.1;
  time_series rate;
  constant_series(rate, 200.0);
  s.channel.pumps = {ts_pump(5, rate)};
  overland_step(s);
  EXPECT_EQ(error_state.stop_flag, 0);
  EXPECT_EQ(sf.depth[5], 0.0);
  EXPECT_NEAR(sf.pump_volume, 1000.0, 1e-9);
  EXPECT_NEAR(sf.event_pump_volume, 1000.0, 1e-9);
  // The scan found the surface dry, so nothing was routed.
  EXPECT_EQ(sf.wet, 0);
  EXPECT_EQ(sf.ade_calls, 0);
  EXPECT_EQ(s.run.overland.last, 1.0);
}

TEST(check_pump_cells, a_pump_outside_the_watershed_cells_stops_the_run) {
  struct cell_case {
    int cell;
    bool refused;
  };
  for (const cell_case& t : {cell_case{1, false}, cell_case{3, false}, cell_case{0, true},
                             cell_case{4, true}, cell_case{-2, true}}) {
    SCOPED_TRACE(t.cell);
    clear_errors();
    model_state s;
    build_row(s, 3, 100.0);
    s.input.settings.channel_input = "basin.chan";
    time_series rate;
    constant_series(rate, 1.0);
    s.channel.pumps = {ts_pump(2, rate), ts_pump(t.cell, rate)};
    stdout_capture capture;
    check_pump_cells(s);
    const std::string out = capture.stop();
    if (t.refused) {
      EXPECT_EQ(out, "Error: pump 2 of the channel input file basin.chan draws from cell " +
                         std::to_string(t.cell) + ", outside the watershed's cells 1..3.\n\n");
      EXPECT_EQ(error_state.stop_flag, 1);
    } else {
      EXPECT_EQ(out, "");
      EXPECT_EQ(error_state.stop_flag, 0);
    }
  }
  clear_errors();
}

}  // namespace
