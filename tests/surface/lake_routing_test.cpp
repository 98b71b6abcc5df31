// The lake paths of the overland routers: a plane draining into an overland
// lake or a channel lake keeps its water in every scheme, the lakes' books
// agree with what crossed their faces, the ADE lake paths give the same
// bits on one and eight threads, the explicit router's channel-lake path
// cuts its sub-step with its own lines and puts the lakes back, a wetland
// face follows its layered law, and the outlet of a lake path gives no more
// than it holds.

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "surface/ade_route.h"
#include "surface/explicit_route.h"
#include "surface_run_fixture.h"
#include "test_support.h"

namespace {

using namespace surface_fixture;
using test_support::stdout_capture;

void fill_slopes(model_state& s) {
  grid_state& g = s.grid;
  g.slope_x.assign(std::size_t(g.cells) + 1, 0.0);
  g.slope_y.assign(std::size_t(g.cells) + 1, 0.0);
  fill_cell_slopes(g.cells, g.dx, g.elevation, g.rightcon, g.belowcon, g.slope_x, g.slope_y);
}

// Makes the listed cells (row, column) overland lake 1 at the given level.
void add_overland_lake(model_state& s, const std::vector<std::pair<int, int>>& cells,
                       double level) {
  surface_state& sf = s.surface;
  sf.overland_lakes = 1;
  sf.olake_count = 1;
  sf.olakes.assign(2, olake_record{});
  sf.oland_lake_new.assign(std::size_t(s.grid.cells) + 1, 0);
  double volume = 0.0;
  for (const auto& [r, c] : cells) {
    const int i = s.grid.mask[r][c];
    sf.oland_lake_new[std::size_t(i)] = 1;
    volume += (level - s.grid.elevation[std::size_t(i)]) * s.grid.dx * s.grid.dx;
  }
  sf.oland_lake_mask = sf.oland_lake_new;
  sf.olakes[1].level = level;
  sf.olakes[1].volume = volume;
  sf.olakes[1].cells = static_cast<int>(cells.size());
}

// Makes the listed cells channel lake 1 at the given level, its search list
// holding them in that order.
void add_channel_lake(model_state& s, const std::vector<std::pair<int, int>>& cells,
                      double level) {
  channel_state& chan = s.channel;
  const int points = static_cast<int>(cells.size());
  chan.channel_lakes = 1;
  chan.lake_count = 1;
  chan.max_lake_points = points;
  chan.lake_search_row.assign(std::size_t(2 * (points + 1)), 0);
  chan.lake_search_col.assign(std::size_t(2 * (points + 1)), 0);
  chan.lake_mask.assign(std::size_t(s.grid.cells) + 1, 0);
  double volume = 0.0;
  for (int k = 1; k <= points; ++k) {
    const auto [r, c] = cells[std::size_t(k - 1)];
    chan.lake_search_row[std::size_t(points + 1 + k)] = r;
    chan.lake_search_col[std::size_t(points + 1 + k)] = c;
    const int i = s.grid.mask[r][c];
    chan.lake_mask[std::size_t(i)] = 1;
    volume += (level - s.grid.elevation[std::size_t(i)]) * s.grid.dx * s.grid.dx;
  }
  chan.lake_cells = {0, points};
  chan.numpts = {0, points};
  chan.lake_elev = {0.0, level};
  chan.lake_volume = {0.0, volume};
  chan.lake_in_dv = {0.0, 0.0};
  chan.lake_out_dv = {0.0, 0.0};
}

// Water the lake has gained since it was set up, m3.
double lake_gain(const model_state& s, double start_volume) {
  if (s.surface.overland_lakes) return s.surface.olakes[1].dv;
  return s.channel.lake_volume[1] - start_volume;
}

// A 3 x 5 grid of 10 m cells: a plane over columns 1-4, falling 0.1 m a
// column towards column 5 and 0.02 m a row towards row 3, its lowest cell
// (row 3, column 4, the outlet on a slope of 0.01) on 1.6 m; column 5 on
// 1.0 m, under a lake at 1.5 m.
void build_lake_plane(model_state& s, bool channel) {
  std::vector<double> z;
  for (int r = 1; r <= 3; ++r)
    for (int c = 1; c <= 5; ++c) z.push_back(c == 5 ? 1.0 : 1.6 + 0.1 * (4 - c) + 0.02 * (3 - r));
  build_grid(s, 3, 5, 10.0, z, {0.05}, 3, 4, 0.01);
  fill_slopes(s);
  const std::vector<std::pair<int, int>> lake = {{1, 5}, {2, 5}, {3, 5}};
  if (channel) {
    add_channel_lake(s, lake, 1.5);
  } else {
    add_overland_lake(s, lake, 1.5);
  }
}

TEST(lake_routing, a_plane_draining_into_a_lake_keeps_its_water_after_every_step) {
  for (bool channel : {false, true}) {
    for (int scheme : {1, 2, 3}) {
      SCOPED_TRACE(std::string(channel ? "channel lake, " : "overland lake, ") + "OVERTYPE " +
                   std::to_string(scheme));
      clear_errors();
      model_state s;
      build_lake_plane(s, channel);
      const double start = channel ? s.channel.lake_volume[1] : 0.0;
      step_driver drive(s, 5.0, scheme);
      for (int k = 1; k <= 240; ++k) {
        ASSERT_TRUE(drive.step(k <= 120 ? 36.0 : 0.0)) << k;
        const surface_state& sf = s.surface;
        const double rain = sf.rain_volume + sf.chan_lake_rain_volume;
        const double kept = sf.outflow_volume + surface_volume(s) + lake_gain(s, start);
        ASSERT_NEAR(kept, rain, 1e-9 * rain) << "step " << k;
        // The lake cells' own depths never change: their water is the lake's.
        for (int r = 1; r <= 3; ++r) ASSERT_EQ(sf.depth[std::size_t(s.grid.mask[r][5])], 0.0);
      }
      const surface_state& sf = s.surface;
      // 36 mm/h for 10 minutes on 1500 m2.
      EXPECT_NEAR(sf.rain_volume + sf.chan_lake_rain_volume, 9.0, 1e-9);
      const double lake_rain = channel ? sf.chan_lake_rain_volume : sf.olake_rain_volume;
      EXPECT_NEAR(lake_rain, 1.8, 1e-12);
      // The plane's runoff reached the lake.
      EXPECT_GT(lake_gain(s, start), lake_rain + 1.0);
      if (channel) {
        // What crossed the lake's faces, as the overland step booked it and
        // as the channel-lake totals hold it, is the lake's gain less its rain.
        const channel_state& chan = s.channel;
        const double crossed = sf.chan_lake_overland_in - sf.chan_lake_overland_out;
        EXPECT_NEAR(crossed, lake_gain(s, start) - lake_rain, 1e-9);
        EXPECT_NEAR(chan.lake_inflow_volume - chan.lake_outflow_volume, crossed, 1e-9);
        EXPECT_EQ(sf.event_chan_lake_overland_in, sf.chan_lake_overland_in);
        EXPECT_EQ(chan.lake_in_dv[1], 0.0);
        EXPECT_EQ(chan.lake_out_dv[1], 0.0);
        EXPECT_GT(sf.chan_lake_overland_in, 1.0);
      } else {
        EXPECT_EQ(sf.olake_update, 1);
      }
      if (scheme == 1 || !channel) {
        EXPECT_GT(sf.outflow_volume, 0.1);
      } else {
        EXPECT_EQ(sf.outflow_volume, 0.0);  // the ADE channel-lake path has no outlet
      }
    }
  }
  clear_errors();
}

// The tilted V with a lake over the foot of its channel (rows 48 to 50 of
// column 41, ground 0.8, 0.4 and 0 m, under 1.0 m), an hour of rain on n
// threads: the depths, and the lake's volume or volume change.
struct v_result {
  std::vector<double> depth;
  double lake = 0.0;
  double lake_in = 0.0;
};

v_result v_with_lake(int threads, int scheme, bool channel) {
  const int saved = omp_get_max_threads();
  omp_set_num_threads(threads);
  model_state s;
  build_tilted_v(s);
  const std::vector<std::pair<int, int>> lake = {{48, 41}, {49, 41}, {50, 41}};
  if (channel) {
    add_channel_lake(s, lake, 1.0);
  } else {
    add_overland_lake(s, lake, 1.0);
  }
  step_driver drive(s, 5.0, scheme);
  for (int k = 1; k <= 720; ++k) drive.step(10.8);
  omp_set_num_threads(saved);
  v_result r;
  r.depth = s.surface.depth;
  r.lake = channel ? s.channel.lake_volume[1] : s.surface.olakes[1].dv;
  r.lake_in = s.surface.chan_lake_overland_in;
  return r;
}

TEST(lake_routing, ade_lake_paths_give_the_same_bits_on_one_and_eight_threads) {
  for (bool channel : {false, true}) {
    for (int scheme : {2, 3}) {
      SCOPED_TRACE(std::string(channel ? "channel lake, " : "overland lake, ") + "OVERTYPE " +
                   std::to_string(scheme));
      clear_errors();
      const v_result one = v_with_lake(1, scheme, channel);
      const v_result eight = v_with_lake(8, scheme, channel);
      ASSERT_EQ(error_state.stop_flag, 0);
      ASSERT_EQ(one.depth.size(), eight.depth.size());
      EXPECT_EQ(std::memcmp(one.depth.data(), eight.depth.data(),
                            one.depth.size() * sizeof(double)),
                0);
      EXPECT_EQ(std::memcmp(&one.lake, &eight.lake, sizeof one.lake), 0);
      EXPECT_EQ(std::memcmp(&one.lake_in, &eight.lake_in, sizeof one.lake_in), 0);
      EXPECT_GT(one.lake, 100.0);  // the V's channel delivers to the lake
    }
  }
  clear_errors();
}

// Free cell 1 on ground 2.0 m with 0.1 m of water beside lake cell 2 on
// ground 1.0 m of a lake at 1.5 m; n 0.05, dx 10, channel routing on.
struct lake_pair {
  model_state s;
  lake_pair(bool channel, int scheme) {
    build_grid(s, 1, 2, 10.0, {2.0, 1.0}, {0.05}, 1, 1, 0.01);
    fill_slopes(s);
    s.surface.depth[1] = 0.1;
    s.input.channel_routing = 1;
    s.input.settings.overtype = scheme;
    if (channel) {
      add_channel_lake(s, {{1, 2}}, 1.5);
    } else {
      add_overland_lake(s, {{1, 2}}, 1.5);
    }
  }
};

TEST(lake_routing, an_ade_step_gives_the_lake_what_the_free_cell_loses) {
  // One step of 1 s: q = 0.1^(5/3) / 0.05 x sqrt(0.06) x 10 m3/s leaves cell 1.
  const double q = std::pow(0.1, 5.0 / 3.0) / 0.05 * std::sqrt(0.06) * 10.0;
  for (bool channel : {false, true}) {
    SCOPED_TRACE(channel ? "channel lake" : "overland lake");
    lake_pair p(channel, 2);
    const double start = channel ? p.s.channel.lake_volume[1] : 0.0;
    EXPECT_EQ(ade_overland_route(p.s, 1.0), 0.0);
    EXPECT_NEAR(p.s.surface.depth[1], 0.1 - q / 100.0, 1e-15);
    EXPECT_NEAR(lake_gain(p.s, start), q, 1e-12);
    EXPECT_EQ(p.s.surface.depth[2], 0.0);
    EXPECT_NEAR(p.s.surface.flux_x[1], q, 1e-12);
    if (channel) {
      EXPECT_NEAR(p.s.channel.lake_in_dv[1], q, 1e-12);
      EXPECT_EQ(p.s.channel.lake_out_dv[1], 0.0);
    }
  }
}

TEST(lake_routing, an_overland_lake_path_outlet_gives_no_more_than_its_cell_holds) {
  // The outlet cell 1 (ground 1.0 m, 0.01 m of water) lies below the lake,
  // which gives nothing through its dry cell; n 1e-6 would drain far more
  // than the cell's 1 m3 in a step.
  for (int scheme : {2, 3}) {
    SCOPED_TRACE(scheme);
    model_state s;
    build_grid(s, 1, 2, 10.0, {1.0, 1.0}, {1e-6}, 1, 1, 0.01);
    add_overland_lake(s, {{1, 2}}, 1.5);
    s.surface.depth[1] = 0.01;
    s.input.settings.overtype = scheme;
    EXPECT_DOUBLE_EQ(ade_overland_route(s, 10.0), 1.0);
    EXPECT_EQ(s.surface.depth[1], 0.0);
    EXPECT_EQ(s.surface.olakes[1].dv, 0.0);
  }
}

TEST(lake_routing, an_explicit_step_gives_the_lake_what_the_free_cell_loses) {
  // The explicit law per unit width: sqrt(0.06 + 1e-20) / 0.05 x 0.1^(5/3);
  // with overland lakes one pass at the full step.
  const double q = std::sqrt(0.06) / 0.05 * std::pow(0.1, 5.0 / 3.0);  // m2/s
  for (bool channel : {false, true}) {
    SCOPED_TRACE(channel ? "channel lake" : "overland lake");
    lake_pair p(channel, 1);
    const double start = channel ? p.s.channel.lake_volume[1] : 0.0;
    EXPECT_EQ(explicit_overland_route(p.s, 1.0), 0.0);
    EXPECT_NEAR(p.s.surface.depth[1], 0.1 - q / 10.0, 1e-15);
    EXPECT_NEAR(lake_gain(p.s, start), q * 10.0, 1e-12);
    EXPECT_NEAR(p.s.surface.flux_x[1], q * 10.0, 1e-12);  // m3/s at the end of the call
    EXPECT_EQ(p.s.surface.depth[2], 0.0);
  }
}

TEST(lake_routing, the_explicit_channel_lake_path_cuts_with_its_own_lines) {
  // Over 10 s the face into the lake carries U = q / 10 x 10 = 0.1055 m,
  // above 0.06: the step is routed again in three sub-steps of 10/3 s.
  clear_errors();
  lake_pair p(true, 1);
  p.s.input.uniform_rain = 1;
  stdout_capture capture;
  explicit_overland_route(p.s, 10.0);
  const std::string out = capture.stop();
  const double q = std::sqrt(0.06 + 1e-20) / 0.05 * std::pow(0.1, 5.0 / 3.0);
  char first[160];
  std::snprintf(first, sizeof first, "  ]x:_U_%2.4lf H%2.4lf Q:%4.2lf dt:%4.2lf j:%d\n", q,
                q, q, 10.0, 1);
  EXPECT_EQ(out, std::string(first) +
                     "    -> Cell Exceded Celerity Check\n"
                     " *Changing overland time step to 3.33 seconds...\n");
  // Three sub-steps by hand, the slope following the falling depth.
  double h = 0.1;
  for (int k = 0; k < 3; ++k) {
    const double s = (2.0 + h - 1.5) / 10.0 + 1e-20;
    h -= std::sqrt(s) / 0.05 * std::pow(h, 5.0 / 3.0) * (10.0 / 3.0) / 10.0;
  }
  EXPECT_NEAR(p.s.surface.depth[1], h, 1e-14);
  EXPECT_NEAR(p.s.channel.lake_volume[1] - 50.0, (0.1 - h) * 100.0, 1e-11);
  EXPECT_NEAR(p.s.channel.lake_in_dv[1], (0.1 - h) * 100.0, 1e-11);
  EXPECT_EQ(p.s.channel.lake_out_dv[1], 0.0);
  EXPECT_EQ(p.s.surface.ex_substeps, 1 + 3);
  clear_errors();
}

TEST(lake_routing, a_cut_after_routed_sub_steps_puts_the_lake_back) {
  // Cell 1 (ground 2.05 m, 0.3 m of water) runs into the smooth cell 2 (2.0
  // m, n 0.002, 1 cm of water), which runs into lake cell 3 (ground 0, lake
  // at 0.5 m). At 10/9 s the first sub-step passes and feeds the lake, the
  // second fails on the face into the lake: the step starts again from the
  // saved depths and lake, so the lake gets exactly what the cells lost.
  clear_errors();
  model_state s;
  build_grid(s, 1, 3, 10.0, {2.05, 2.0, 0.0}, {0.05, 0.002, 0.05}, 1, 1, 0.01);
  fill_slopes(s);
  add_channel_lake(s, {{1, 3}}, 0.5);
  s.surface.depth[1] = 0.3;
  s.surface.depth[2] = 0.01;
  s.input.channel_routing = 1;
  stdout_capture capture;
  explicit_overland_route(s, 10.0);
  capture.stop();
  // Cuts to 10/3, 10/9 and 10/27 s: one routed sub-step thrown away with
  // the three failing ones, then 27.
  EXPECT_NEAR(s.surface.ex_reduced_substep, 10.0 / 27.0, 1e-12);
  EXPECT_EQ(s.surface.ex_substeps, 3 + 1 + 27);
  const channel_state& chan = s.channel;
  const double lost = (0.31 - s.surface.depth[1] - s.surface.depth[2]) * 100.0;  // m3
  EXPECT_GT(lost, 10.0);
  EXPECT_NEAR(chan.lake_volume[1] - 50.0, lost, 1e-11);
  EXPECT_NEAR(chan.lake_in_dv[1], lost, 1e-11);
  EXPECT_EQ(chan.lake_out_dv[1], 0.0);
  EXPECT_EQ(chan.lake_elev[1], 0.5);
  clear_errors();
}

TEST(lake_routing, explicit_wetland_faces_follow_the_layered_law) {
  // Two wetland cells of the sample type (d0 0.05 m, k1 1e-4 1/s, P 0.1 m,
  // k2 5e-4 1/s, n 0.1) at equal depth on a bed falling 0.1 m over 10 m:
  // S = 0.01. Per unit width: k1 S h below d0; A = k1 S d0, B = k2 S g,
  // J = sqrt(S) / n g^(5/3), A + J g/P + (1 - g/P) B up to P, A + J beyond.
  struct wetland_case {
    double h;
    double q;  // m2/s
  };
  const wetland_case cases[] = {{0.03, 3.0e-8}, {0.10, 0.00339320}, {0.20, 0.0423467}};
  for (const wetland_case& c : cases) {
    SCOPED_TRACE(c.h);
    model_state s;
    build_grid(s, 1, 2, 10.0, {0.1, 0.0}, {0.05}, 1, 2, 0.01);
    fill_slopes(s);
    surface_state& sf = s.surface;
    sf.wetlands = 1;
    sf.wetland_types.resize(2);
    sf.wetland_types[1].value = {0.05, 0.0, 1e-4, 0.1, 5e-4, 0.0, 0.1, 0.0};
    sf.wetland_mask = {0, 1, 1};
    sf.depth = {0.0, c.h, c.h};
    s.input.channel_routing = 1;
    explicit_overland_route(s, 1.0);
    EXPECT_NEAR(sf.flux_x[1] / 10.0, c.q, 1e-6 * c.q);
    EXPECT_NEAR(sf.depth[1] + sf.depth[2], 2.0 * c.h, 1e-15);
  }
}

TEST(lake_routing, lake_cells_neither_wet_the_surface_nor_count_in_its_volume) {
  // Water standing on a lake cell is not routed: a surface wet only there
  // is dry for the overland step, and the surface volume leaves it out.
  for (bool channel : {false, true}) {
    SCOPED_TRACE(channel ? "channel lake" : "overland lake");
    clear_errors();
    model_state s;
    build_lake_plane(s, channel);
    s.surface.depth[5] = 0.3;
    s.input.settings.overtype = 2;
    s.run.overland.set_interval(10.0);
    s.run.current_time = 1.0;
    s.run.overland.next = 1.0;
    s.run.overland.last = 1.0 - 10.0 / 86400.0;
    sum_initial_surface_volume(s);
    EXPECT_EQ(s.surface.initial_volume, 0.0);
    overland_step(s);
    ASSERT_EQ(error_state.stop_flag, 0);
    EXPECT_EQ(s.surface.wet, 0);
    EXPECT_EQ(s.surface.ade_calls, 0);
    EXPECT_EQ(s.surface.olake_update, channel ? 0 : 1);
  }
  clear_errors();
}

}  // namespace
