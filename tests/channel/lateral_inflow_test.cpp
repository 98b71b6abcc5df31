// The bank exchange between cells and channel nodes: the bank weir and its
// emptying rule worked out by hand, which links and switches take nothing,
// the flow back onto a cell limited to 1% of the water above the bank, the
// return of what the cell cannot hold, and the submergence table.

#include "channel/lateral_inflow.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

#include "network_fixture.h"

namespace {

using namespace network_fixture;


struct bank_case {
  const char* label;
  std::function<void(model_state&, lateral_switches&)> setup;
  double dt;     // s
  double q;      // into node 2, m3/s (qlat x dx)
  double depth;  // left on cell 1, m
};

TEST(lateral_inflow, bank_exchange_follows_the_weir_and_the_switches) {
  // Weir: 3.40978982734 x 100 m x 0.1^1.5 = 10.782702 m3/s.
  const bank_case cases[] = {
      {"the bank weir of a shallow cell", nullptr, 1.0, 10.782702, 0.1 - 10.782702e-4},
      {"a minute leaves part of the cell's water", nullptr, 60.0, 10.782702, 0.035304},
      {"two minutes would take more than the cell holds: it empties", nullptr, 120.0, 8.333333,
       0.0},
      {"a dry cell gives nothing",
       [](model_state& s, lateral_switches&) { s.surface.depth[1] = 0.0; }, 60.0, 0.0, 0.0},
      {"two cells along one node add to its inflow",
       [](model_state& s, lateral_switches&) {
         s.surface.depth[2] = 0.1;
         set_stream_cells(s.channel, {{{1, 1, 2, 0.5}}, {{2, 1, 2, 0.5}}});
       },
       60.0, 10.782702, 0.1 - 5.391351 * 60.0 / 1e4},
      {"a structure link takes nothing",
       [](model_state& s, lateral_switches&) { s.channel.ltype[1] = link_bit::structure; }, 60.0,
       0.0, 0.1},
      {"a lake link takes nothing",
       [](model_state& s, lateral_switches&) { s.channel.ltype[1] = link_bit::lake; }, 60.0, 0.0,
       0.1},
      {"without backwater the weir works with the channel above the ground",
       [](model_state& s, lateral_switches&) { set_depth(s.channel, 1, 2, 2.2); }, 60.0, 10.782702,
       0.035304},
      {"backwater holds the weir while the channel stands above the cell's water",
       [](model_state& s, lateral_switches& sw) {
         set_depth(s.channel, 1, 2, 2.2);
         sw.backwater = 1;
       },
       60.0, 0.0, 0.1},
      {"the channel spills over its bank: 1% of the 201 m3 above the bank in a minute",
       [](model_state& s, lateral_switches& sw) {
         s.surface.depth[1] = 0.0;
         s.channel.bankfull_dep[s.channel.node_address(1, 2)] = 2.2;
         set_depth(s.channel, 1, 2, 2.5);  // 100 x ((2 + 2.5) 2.5 - (2 + 2.2) 2.2) = 201 m3
         sw.overbank = 1;
       },
       60.0, -0.01 * 201.0 / 60.0, 2.01 / 1e4},
      {"a pair with no share of the node's length spills nothing",
       [](model_state& s, lateral_switches& sw) {
         s.surface.depth[1] = 0.0;
         s.channel.bankfull_dep[s.channel.node_address(1, 2)] = 2.2;
         set_depth(s.channel, 1, 2, 2.5);
         set_stream_cells(s.channel, {{{1, 1, 2, 0.0}}});
         sw.overbank = 1;
       },
       60.0, 0.0, 0.0},
  };
  for (const bank_case& c : cases) {
    SCOPED_TRACE(c.label);
    clear_errors();
    auto s = cell_over_channel(2);
    lateral_switches sw;
    if (c.setup) c.setup(*s, sw);
    const double volume = lateral_inflow(*s, sw, c.dt);
    const channel_state& ch = s->channel;
    const double q = ch.qlat[ch.node_address(1, 2)] * ch.dx[1];
    EXPECT_NEAR(q, c.q, 1e-6);
    EXPECT_NEAR(s->surface.depth[1], c.depth, 1e-6);
    EXPECT_NEAR(volume, c.q * c.dt, 1e-6 * c.dt);
    EXPECT_EQ(ch.qlat[ch.node_address(1, 1)], 0.0);
    EXPECT_EQ(error_state.stop_flag, 0);
  }
}

TEST(lateral_inflow, water_the_cell_cannot_hold_returns_to_the_node_and_none_is_lost) {
  clear_errors();
  auto s = cell_over_channel(2);
  channel_state& c = s->channel;
  const int a = c.node_address(1, 2);
  // Bank 0.5 m below the ground; the channel stands 0.5 m above the ground
  // and 10 um above the cell's water: Manning flow onto the cell, which then
  // stands above the channel's stage.
  c.bankfull_dep[a] = 1.5;
  set_depth(c, 1, 2, 2.5);
  s->surface.depth[1] = 0.49999;
  lateral_switches sw;
  sw.overbank = 1;
  c.lat_record = 1;
  c.cell_lat_volume.assign(3, 0.0);

  const double h0 = s->surface.depth[1];
  const double a0 = c.area[a];
  const double dt = 60.0;
  const double volume = lateral_inflow(*s, sw, dt);
  ASSERT_EQ(error_state.stop_flag, 0);

  const double cell_change = (s->surface.depth[1] - h0) * 1e4;  // m3
  const double channel_change = (c.area[a] - a0) * c.dx[1] + c.qlat[a] * c.dx[1] * dt;
  EXPECT_GT(cell_change, 0.0);
  EXPECT_GT(c.area[a], a0);  // the return went straight into the node
  EXPECT_NEAR(cell_change + channel_change, 0.0, 1e-9);
  EXPECT_NEAR(volume, channel_change, 1e-9);
  EXPECT_LT(volume, 0.0);
  EXPECT_NEAR(12.0 + s->surface.depth[1], 12.5, 1e-12);  // the cell ends level with the old stage
  EXPECT_EQ(c.cell_lat_volume[1], volume);
  EXPECT_EQ(c.gst_vlat[c.gst_index(1, 1)], volume);
}

TEST(lateral_inflow, submergence_factor_reads_its_table) {
  const struct {
    double x;
    double factor;
  } cases[] = {
      {0.0, 1.0},      {0.5, 1.0},        {0.8, 0.947}, {0.80005, 0.947},
      {0.9, 0.815667}, {0.99999995, 0.0}, {1.0, 0.0},   {-0.001, 0.0},
  };
  for (const auto& c : cases) EXPECT_NEAR(submergence_factor(c.x), c.factor, 1e-6) << c.x;
}

}  // namespace
