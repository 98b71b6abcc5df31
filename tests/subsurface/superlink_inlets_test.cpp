// Grate inlets and tile drains: the hand-worked unit values, the caps, and
// the tile exchange over a leaky superlink.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "subsurface/superlink_inlets.h"
#include "superlink_fixture.h"

namespace {

TEST(superlink_inlets, grates_act_as_weirs_then_orifices_and_never_take_more_than_the_cell_holds) {
  struct grate_case {
    double depth, w, dt, flow;
  };
  // Two grates of side 0.5 m and opening 0.5 m under 10 m cells, 10 s.
  const grate_case cases[] = {
      {0.1, 10.0, 10.0, 0.157044},   // weir, 0.328 ft
      {0.2, 10.0, 10.0, 0.444187},   // between: the weir is the smaller
      {0.4, 10.0, 10.0, 0.736871},   // orifice, 1.312 ft
      {0.2, 1.0, 10.0, 0.02},        // capped: 1 m2 x 0.2 m over 10 s
      {0.4, 10.0, 1000.0, 0.04},     // capped: 100 m2 x 0.4 m over 1000 s
      {1e-8, 10.0, 10.0, 0.0},       // no water to speak of
  };
  for (const grate_case& c : cases) {
    SCOPED_TRACE(c.depth);
    EXPECT_NEAR(grate_inflow(2, 0.5, 0.5, c.depth, c.w, c.dt), c.flow, 1e-6);
  }
  EXPECT_EQ(grate_inflow(0, 0.5, 0.5, 0.2, 10.0, 10.0), 0.0);
  // One grate takes half of two.
  EXPECT_NEAR(grate_inflow(1, 0.5, 0.5, 0.2, 10.0, 10.0), 0.444187 / 2.0, 1e-6);
}

TEST(superlink_inlets, tile_drains_follow_hooghoudt) {
  struct tile_case {
    int drainmod;
    double d, de, inflow;
  };
  // K 2 cm/h, spacing 15 m, D 0.1 m, head 0.4 m over the pipe's water,
  // share 1, 50 m of pipe.
  const tile_case cases[] = {
      {1, 1.5, 0.98325, 1.46782e-6},
      {0, 1.5, 0.69730, 5.31735e-5},
      {1, 4.5, 1.29288, -1.0},  // d / L = 0.3: Moody's first form
  };
  for (const tile_case& c : cases) {
    SCOPED_TRACE(c.drainmod);
    const double de = tile_equivalent_depth(c.drainmod, c.d, 15.0, 0.1);
    EXPECT_NEAR(de, c.de, 1e-5);
    if (c.inflow > 0.0) {
      EXPECT_NEAR(tile_inflow(c.drainmod, de, 0.4, 0.02, 15.0, 0.1, 1.0, 50.0), c.inflow,
                  c.inflow * 1e-5);
    }
  }
  // Just below d / L = 0.3 the second form takes over, close to the first.
  const double below = tile_equivalent_depth(1, 0.2999 * 15.0, 15.0, 0.1);
  EXPECT_NE(below, tile_equivalent_depth(1, 4.5, 15.0, 0.1));
  EXPECT_NEAR(below, 1.29288, 0.05);
}

// The leaky network: pipe 2 (200 m, D 0.8, inverts 50.0 and 49.6 under
// 60 m ground) drains cells 2 and 3.
struct tile_exchange : ::testing::Test {
  superlink_state sl;
  std::vector<double> ground = std::vector<double>(4, 60.0);
  std::vector<double> head = std::vector<double>(4, 50.2);
  std::vector<double> bottom = std::vector<double>(4, 48.3);

  void SetUp() override {
    error_state = error_record{};
    std::string t = superlink_fixture::fixed_head_network(2);
    t.replace(t.rfind(" 0.0 0.0\n"), 9, " 2.0 15.0\n");
    const std::string gpi =
        "GRIDPIPEFILE\nPIPECELLS 2\nCELLIJ 1 2\nNUMPIPES 1\nSPIPE 1 2 0.5\n"
        "CELLIJ 1 3\nNUMPIPES 1\nSPIPE 1 2 0.5\n";
    ASSERT_EQ(superlink_fixture::read_network(t, sl.net, 0, gpi), 0);
    for (int i = 1; i <= 3; ++i) sl.net.slink_node_depth(i, 1) = 0.2;
    sl.links.superlink_tile_flow.size(4, 2);
    sl.links.Q_tile_grid.assign(4, 0.0);
  }
  void TearDown() override { error_state = error_record{}; }
  int exchange(int drainmod) {
    test_support::stdout_capture quiet;
    return gw_tile_exchange(sl.net, sl.links, tile_grid{&ground, &head, &bottom}, drainmod);
  }
};

TEST_F(tile_exchange, the_water_table_above_the_pipe_feeds_it_by_share) {
  // Water surface of pipe 2: 60 - 10.2 (mean burial) + 0.2 = 50.0 m, so 0.2 m
  // of head; the drain stands 60 - 10.2 - 48.3 = 1.5 m above the bottom.
  ASSERT_EQ(exchange(1), 1);
  const double de = tile_equivalent_depth(1, 1.5, 15.0, 0.8);
  const double half = tile_inflow(1, de, 0.2, 0.02, 15.0, 0.8, 0.5, 200.0);
  // By hand: (8 K de m + 4 K m^2) / L^2 x (D pi / 3600) x share x length.
  EXPECT_NEAR(half, (8 * 0.02 * de * 0.2 + 4 * 0.02 * 0.04) / 225.0 * (0.8 * 3.14 / 3600.0) * 0.5 * 200.0,
              1e-15);
  EXPECT_NEAR(sl.links.Q_tile_grid[2], half, 1e-15);
  EXPECT_NEAR(sl.links.Q_tile_grid[3], half, 1e-15);
  EXPECT_EQ(sl.links.Q_tile_grid[1], 0.0);
  EXPECT_NEAR(sl.links.superlink_tile_flow(2, 1), 2.0 * half, 1e-15);
  EXPECT_EQ(sl.links.superlink_tile_flow(1, 1), 0.0);
}

TEST_F(tile_exchange, no_inflow_at_or_below_the_pipes_water) {
  sl.links.superlink_tile_flow(2, 1) = 9.0;  // cleared by the exchange
  for (double h : {50.0, 49.0}) {
    head.assign(4, h);
    EXPECT_EQ(exchange(1), 0);
    EXPECT_EQ(sl.links.Q_tile_grid[2], 0.0);
    EXPECT_EQ(sl.links.superlink_tile_flow(2, 1), 0.0);
  }
}

TEST_F(tile_exchange, a_drain_below_the_aquifer_bottom_stops_the_run) {
  bottom[3] = 51.0;
  EXPECT_EQ(exchange(0), 1);
  EXPECT_EQ(error_state.code, err_pipe_invert_below_aquifer);
  EXPECT_EQ(error_state.stop_flag, 1);
}

}  // namespace
