// Seepage through stream and lake beds, worked by hand: a trapezoid node of
// 5 m bottom and side slope 2 on a bed at 100 m holding 1 m of water, over a
// bed of K_RIVER 0.36 per hour and M_RIVER 1 m (leakance 1e-4 /s), in a
// stream cell whose ground stands at 102 m.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "channel/channel_state.h"
#include "core/error_state.h"
#include "subsurface/gw_stream_exchange.h"
#include "test_support.h"

namespace {

using test_support::stdout_capture;

struct one_node {
  channel_state chan;
  std::vector<double> ground{0.0, 102.0}, head{0.0, 0.0}, bottom{0.0, 0.0};
  std::vector<int> gwbound{0, 4};
  std::vector<double> lake_bed_k{0.0, 0.0}, lake_bed_thickness{0.0, 0.0};
  std::vector<double> entry_rate, lake_seep;
  gw_stream_flags flags;
  std::size_t a = 0;  // the node's address
  std::size_t g = 0;  // the grid-stream entry

  one_node() {
    chan.links = 1;
    chan.max_nodes = 1;
    chan.ltype = {0, link_bit::trapezoid};
    chan.nx = {0, 1};
    const std::size_t n = chan.node_slots();
    for (auto* v : {&chan.bel, &chan.chan_depth, &chan.bottom, &chan.sslope, &chan.sslope2,
                    &chan.bankfull_dep, &chan.krb, &chan.mrb, &chan.qriv})
      v->assign(n, 0.0);
    chan.table_num.assign(n, 0);
    a = std::size_t(chan.node_address(1, 1));
    chan.bel[a] = 100.0;
    chan.chan_depth[a] = 1.0;
    chan.bottom[a] = 5.0;
    chan.sslope[a] = 2.0;
    chan.krb[a] = 0.36;
    chan.mrb[a] = 1.0;
    chan.stream_cells = 1;
    chan.gst_max = 1;
    const std::size_t entries = chan.gst_index(2, 0);
    chan.gst_ncellsingrid = {0, 1};
    for (auto* v : {&chan.gst_link, &chan.gst_node, &chan.gst_gnum}) v->assign(entries, 0);
    chan.gst_pct.assign(entries, 0.0);
    g = chan.gst_index(1, 1);
    chan.gst_link[g] = 1;
    chan.gst_node[g] = 1;
    chan.gst_gnum[g] = 1;
    chan.gst_pct[g] = 1.0;
    EXPECT_TRUE(size_entry_rates(entry_rate, chan));
    entry_rate.assign(entry_rate.size(), -7.0);
    lake_seep.assign(2, -7.0);
    flags.water_table_map = 1;
    flags.groundwater = 1;
    flags.stream_exchange = 1;
  }

  int exchange() {
    const gw_exchange_cells cells{ground, head, bottom, gwbound, lake_bed_k, lake_bed_thickness};
    return gw_stream_exchange(chan, cells, entry_rate, lake_seep, 10.0, flags);
  }
};

class gw_stream_exchange_test : public ::testing::Test {
 protected:
  void SetUp() override { error_state = error_record{}; }
  void TearDown() override { error_state = error_record{}; }
};

TEST_F(gw_stream_exchange_test, trapezoid_gains_above_its_stage_and_loses_below) {
  struct {
    double head, rate;
    int result;
  } const cases[] = {
      // y = 1.5 m, P = 11 m: 11 x 1e-4 x 0.5
      {101.5, 5.5e-4, gw_stream_gains},
      // y = 1 m, P = 9 m: 9 x 1e-4 x -0.5
      {100.5, -4.5e-4, gw_stream_exchanges},
      // below the bed: the depth drives, 9 x 1e-4 x 1
      {99.0, -9.0e-4, gw_stream_exchanges}};
  for (const auto& k : cases) {
    one_node n;
    n.head[1] = k.head;
    EXPECT_EQ(n.exchange(), k.result) << k.head;
    EXPECT_NEAR(n.chan.qriv[n.a], k.rate, 1e-15) << k.head;
    EXPECT_NEAR(n.entry_rate[n.g], k.rate, 1e-15) << k.head;
  }
}

TEST_F(gw_stream_exchange_test, nodes_that_cannot_trade_keep_a_zero_exchange) {
  struct exchange_case {
    const char* name;
    void (*change)(one_node&);
    double rate;
    int result;
  };
  const exchange_case cases[] = {
      {"structure link", [](one_node& n) { n.chan.ltype[1] = link_bit::structure; }, 0.0, 0},
      {"lake link", [](one_node& n) { n.chan.ltype[1] = link_bit::lake; }, 0.0, 0},
      {"taken over by a lake",
       [](one_node& n) { n.chan.ltype[1] = link_bit::trapezoid | link_bit::overtaken; }, 0.0, 0},
      {"not a stream cell", [](one_node& n) { n.gwbound[1] = 1; }, 0.0, 0},
      {"dry over a low table", [](one_node& n) { n.chan.chan_depth[n.a] = 0.0; }, 0.0, 0},
      // 2e-6 m of water, P = 5 m (plus 8e-6): it loses by its depth.
      {"barely wet over a low table", [](one_node& n) { n.chan.chan_depth[n.a] = 2e-6; },
       -(5.0 + 8e-6) * 1e-4 * 2e-6, gw_stream_exchanges},
      // 5 mm of saturated thickness feeds nothing.
      {"thin aquifer above the stage",
       [](one_node& n) {
         n.head[1] = 101.5;
         n.bottom[1] = 101.495;
       },
       0.0, 0},
      // The table between the ground and the stage: flooded ground.
      {"flooded ground",
       [](one_node& n) {
         n.ground[1] = 100.8;
         n.head[1] = 100.9;
       },
       0.0, 0},
      // Without a map the wet node loses by its depth, whatever the type.
      {"no water table map",
       [](one_node& n) {
         n.flags.water_table_map = 0;
         n.gwbound[1] = 1;
       },
       -9.0e-4, gw_stream_exchanges},
      // Without the groundwater model the map's cells all trade.
      {"groundwater off",
       [](one_node& n) {
         n.flags.groundwater = 0;
         n.gwbound[1] = 1;
         n.head[1] = 101.5;
       },
       5.5e-4, gw_stream_gains},
      {"exchange off", [](one_node& n) { n.flags.stream_exchange = 0; }, 0.0, 0}};
  for (const exchange_case& k : cases) {
    one_node n;
    n.head[1] = 99.0;
    k.change(n);
    EXPECT_EQ(n.exchange(), k.result) << k.name;
    EXPECT_NEAR(n.chan.qriv[n.a], k.rate, 1e-18) << k.name;
  }
}

TEST_F(gw_stream_exchange_test, a_node_shared_by_two_cells_is_judged_on_its_whole_exchange) {
  // Half the node in a cell whose table feeds it, half in one that drains
  // it twice as hard: the node loses, so no node gains.
  one_node n;
  n.chan.stream_cells = 2;
  n.chan.gst_ncellsingrid = {0, 1, 1};
  const std::size_t second = n.chan.gst_index(2, 1);
  n.chan.gst_link.resize(n.chan.gst_index(3, 0));
  n.chan.gst_node.resize(n.chan.gst_link.size());
  n.chan.gst_gnum.resize(n.chan.gst_link.size());
  n.chan.gst_pct.resize(n.chan.gst_link.size());
  n.entry_rate.resize(n.chan.gst_link.size());
  n.chan.gst_link[second] = 1;
  n.chan.gst_node[second] = 1;
  n.chan.gst_gnum[second] = 2;
  n.chan.gst_pct[n.g] = n.chan.gst_pct[second] = 0.5;
  n.ground.push_back(102.0);
  n.bottom.push_back(0.0);
  n.gwbound.push_back(4);
  n.head = {0.0, 101.5, 99.0};  // +5.5e-4 and -9e-4 m2/s
  EXPECT_EQ(n.exchange(), gw_stream_exchanges);
  EXPECT_NEAR(n.chan.qriv[n.a], 0.5 * 5.5e-4 - 0.5 * 9.0e-4, 1e-15);
}

TEST_F(gw_stream_exchange_test, seepage_widths_of_break_point_and_two_stage_sections) {
  one_node n;
  channel_state& c = n.chan;
  c.ltype[1] = link_bit::breakpoint;
  c.tables = 1;
  c.levels = 3;
  c.ht_spc = {0.0, 0.5};
  c.numhts = {0, 3};
  c.xtw.assign(c.bp_index(0, 2), 0.0);
  c.xtw[c.bp_index(1, 1)] = 4.0;
  c.xtw[c.bp_index(2, 1)] = 6.0;
  c.xtw[c.bp_index(3, 1)] = 9.0;
  c.table_num[n.a] = 1;
  // Below the first level the width follows the 5/3 power of the depth.
  EXPECT_NEAR(seepage_width(c, 1, n.a, 0.25), 1.25992, 5e-6);
  EXPECT_NEAR(seepage_width(c, 1, n.a, 0.125), 4.0 * std::pow(0.25, 5.0 / 3.0), 1e-12);
  EXPECT_NEAR(seepage_width(c, 1, n.a, 0.75), 5.0, 1e-12);   // between levels 1 and 2
  EXPECT_NEAR(seepage_width(c, 1, n.a, 1.5), 9.0, 1e-12);    // the top level
  EXPECT_NEAR(seepage_width(c, 1, n.a, 2.0), 12.0, 1e-12);   // the last interval carried on

  c.ltype[1] = link_bit::two_stage;
  c.bankfull_dep[n.a] = 1.0;
  c.sslope2[n.a] = 4.0;
  EXPECT_NEAR(seepage_width(c, 1, n.a, 1.5), 5.0 + 2.0 * 1.0 * 2.0 + 2.0 * 0.5 * 4.0, 1e-12);
  EXPECT_NEAR(seepage_width(c, 1, n.a, 0.5), 5.0 + 2.0 * 0.5 * 2.0, 1e-12);
}

TEST_F(gw_stream_exchange_test, a_break_point_table_past_the_last_stops_the_run) {
  one_node n;
  n.chan.ltype[1] = link_bit::breakpoint;
  n.chan.tables = 1;
  n.chan.table_num[n.a] = 2;
  n.head[1] = 99.0;
  testing::internal::CaptureStderr();
  EXPECT_EQ(n.exchange(), gw_no_exchange);
  const std::string text = testing::internal::GetCapturedStderr();
  EXPECT_EQ(text, "Error in section: Request for table beyond max. table number.\n");
  EXPECT_EQ(error_state.stop_flag, 1);
}

TEST_F(gw_stream_exchange_test, lake_cells_seep_by_the_lake_level_and_the_table) {
  struct lake_case {
    const char* name;
    int map, groundwater, type;
    double head;
    double rate;  // m2/s into the lake
  };
  // Lake at 103 m over ground at 102 m; bed 1 m (100 cm) thick at 1e-6 m/s;
  // cells of 10 m.
  const lake_case cases[] = {
      {"no map: the lake loses by its depth", 0, 1, 1, 0.0, -1e-5},
      {"table above the lake feeds it", 1, 1, 7, 104.0, 1e-5},
      {"table between ground and lake", 1, 1, 7, 102.5, -5e-6},
      {"table below the ground", 1, 1, 7, 50.0, -1e-5},
      {"groundwater on, not a lake cell", 1, 1, 1, 104.0, 0.0},
      {"groundwater off: every lake cell", 1, 0, 1, 104.0, 1e-5}};
  for (const lake_case& k : cases) {
    one_node n;
    n.flags = {k.map, k.groundwater, 0, 1, 1};
    n.chan.lake_mask = {0, 1};
    n.chan.lake_elev = {0.0, 103.0};
    n.lake_bed_k[1] = 1e-6;
    n.lake_bed_thickness[1] = 100.0;
    n.gwbound[1] = k.type;
    n.head[1] = k.head;
    EXPECT_EQ(n.exchange(), gw_no_exchange) << k.name;
    EXPECT_NEAR(n.lake_seep[1], k.rate, 1e-18) << k.name;
  }
}

}  // namespace
