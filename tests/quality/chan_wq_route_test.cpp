// The channel water-quality routing on prepared links: 1 m2 of flow area
// and 10 m node spacing, so a node holds 10 m3, and qp_vol set by hand. With
// the corrector iterated to convergence the scheme is implicit upwind: a
// pulse spreads geometrically by r = C / (1 + C) a node, so over a
// sub-step of Courant number C its centroid moves C nodes and its variance
// grows by C (1 + C) nodes squared.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "../channel/network_fixture.h"
#include "channel/channel_state.h"
#include "core/error_state.h"
#include "quality/chan_wq_route.h"
#include "test_support.h"

namespace {

using namespace network_fixture;

// Links of nodes nodes each, 10 m apart, all water at 1 m2 of area, each
// node passing volume m3 in the interval.
void prepare(channel_state& c, const std::vector<link_layout>& links, double volume) {
  build_network(c, links);
  c.qp_vol.assign(c.node_slots(), 0.0);
  for (int i = 1; i <= c.links; ++i) {
    for (int j = 1; j <= c.nx[i]; ++j) {
      const int a = c.node_address(i, j);
      c.area[a] = c.area_old[a] = 1.0;
      c.qp_vol[a] = volume;
    }
  }
}

link_layout straight(int nodes, int downstream = 0) {
  link_layout l;
  l.beds.assign(std::size_t(nodes), 10.0);
  l.downstream = downstream;
  l.dx = 10.0;
  return l;
}

// Mass, centroid and variance (m, m2) of link 1's nodes.
struct moments {
  double mass = 0.0, centroid = 0.0, variance = 0.0;
};
moments moments_of(const channel_state& c, const chan_wq_work& w, int link = 1) {
  moments m;
  for (int j = 1; j <= c.nx[link]; ++j) {
    const double g = w.mass[c.node_address(link, j)];
    m.mass += g;
    m.centroid += g * 10.0 * j;
  }
  m.centroid /= m.mass;
  for (int j = 1; j <= c.nx[link]; ++j) {
    const double d = 10.0 * j - m.centroid;
    m.variance += w.mass[c.node_address(link, j)] * d * d;
  }
  m.variance /= m.mass;
  return m;
}

double total_mass(const channel_state& c, const chan_wq_work& w) {
  double g = 0.0;
  for (int i = 1; i <= c.links; ++i)
    if (c.is_routed(i))
      for (int j = 1; j <= c.nx[i]; ++j) g += w.mass[c.node_address(i, j)];
  for (int l = 1; l <= c.lake_count; ++l) g += w.lake_mass[std::size_t(l)];
  return g;
}

void put(const channel_state& c, chan_wq_work& w, int link, int node, double grams) {
  const int a = c.node_address(link, node);
  w.mass[a] = grams;
  w.conc[a] = grams / (c.area[a] * c.dx[link]);
}

TEST(chan_wq_route, a_pulse_at_courant_0_4_spreads_as_implicit_upwind_in_one_substep) {
  channel_state c;
  prepare(c, {straight(20)}, 4.0);
  chan_wq_work w;
  w.size(c);
  put(c, w, 1, 5, 100.0);
  const moments before = moments_of(c, w);
  ASSERT_TRUE(chan_wq_route(c, w, 60.0));
  EXPECT_EQ(w.substeps, 1);
  const double expected[] = {7.142857, 2.040816, 0.583090, 0.166597, 0.047599};
  for (int k = 0; k < 5; ++k)
    EXPECT_NEAR(w.conc[c.node_address(1, 5 + k)], expected[k], 1e-5) << "node " << 5 + k;
  const moments after = moments_of(c, w);
  EXPECT_NEAR(after.mass, 100.0, 1e-6);
  EXPECT_NEAR(after.centroid - before.centroid, 4.0, 0.004);
  EXPECT_NEAR(after.variance - before.variance, 56.0, 0.056);
}

TEST(chan_wq_route, a_courant_of_1_2_cuts_the_interval_to_25_25_and_10_seconds) {
  channel_state c;
  prepare(c, {straight(20)}, 12.0);
  chan_wq_work w;
  w.size(c);
  put(c, w, 1, 5, 100.0);
  const moments before = moments_of(c, w);
  ASSERT_TRUE(chan_wq_route(c, w, 60.0));
  EXPECT_EQ(w.substeps, 3);
  const moments after = moments_of(c, w);
  EXPECT_NEAR(after.mass, 100.0, 1e-6);
  // Sub-steps of Courant 0.5, 0.5 and 0.2: 1.2 nodes, not the 1.5 of three
  // whole 25 s sub-steps.
  EXPECT_NEAR(after.centroid - before.centroid, 12.0, 0.012);
  EXPECT_NEAR(after.variance - before.variance, 100.0 * (0.5 * 1.5 * 2 + 0.2 * 1.2), 0.1);
}

TEST(chan_wq_route, uniform_water_passes_exactly_the_volume_the_flow_step_moved) {
  channel_state c;
  prepare(c, {straight(20, 2), straight(20)}, 12.0);
  chan_wq_work w;
  w.size(c);
  for (int j = 1; j <= 20; ++j) put(c, w, 1, j, 10.0);
  ASSERT_TRUE(chan_wq_route(c, w, 60.0));
  double passed = 0.0;
  for (int j = 1; j <= 20; ++j) passed += w.mass[c.node_address(2, j)];
  EXPECT_NEAR(passed, 12.0, 1e-6);
  EXPECT_GT(w.passes, 3);
  EXPECT_LT(w.passes, 100);
}

// A lake of 500 m3 (lake link 3) fed by links 1 and 2 and draining into
// link 4.
void lake_network(channel_state& c) {
  prepare(c, {straight(5, 3), straight(5, 3), straight(1, 4), straight(5)}, 3.0);
  make_lake_link(c, 3, 500.0);
}

TEST(chan_wq_route, mass_is_conserved_through_junctions_lakes_structures_and_reverse_flow) {
  struct network_case {
    const char* name;
    void (*build)(channel_state&);
  };
  const network_case cases[] = {
      {"reverse flow back into the upstream link",
       [](channel_state& c) {
         prepare(c, {straight(5, 2), straight(5)}, -3.0);
       }},
      {"a lake fed by two links", lake_network},
      {"a structure between two links",
       [](channel_state& c) {
         prepare(c, {straight(5, 2), straight(1, 3), straight(5)}, 3.0);
         c.ltype[2] = link_bit::structure;
       }},
      {"reverse flow through a structure",
       [](channel_state& c) {
         prepare(c, {straight(5, 2), straight(1, 3), straight(5)}, -3.0);
         c.ltype[2] = link_bit::structure;
       }},
  };
  for (const network_case& n : cases) {
    SCOPED_TRACE(n.name);
    channel_state c;
    n.build(c);
    chan_wq_work w;
    w.size(c);
    for (int i = 1; i <= c.links; ++i)
      if (c.is_routed(i))
        for (int j = 1; j <= c.nx[i]; ++j) put(c, w, i, j, 5.0 * i + j);
    if (c.channel_lakes) {
      w.lake_mass[1] = 1000.0;
      w.lake_conc[1] = 2.0;
    }
    const double before = total_mass(c, w);
    for (int step = 0; step < 10; ++step) ASSERT_TRUE(chan_wq_route(c, w, 60.0));
    EXPECT_NEAR(total_mass(c, w), before, 1e-9 * before);
    if (c.channel_lakes) {
      // Both links fed the lake and it gave the link below what it lost.
      EXPECT_GT(w.lake_inflow[1], 0.0);
      EXPECT_GT(w.lake_outflow[1], 0.0);
      EXPECT_NEAR(w.chan_to_lake - w.lake_to_chan, w.lake_mass[1] - 1000.0, 1e-9);
    }
  }
}

TEST(chan_wq_route, a_still_lake_keeps_its_mass_at_the_concentration_of_its_volume) {
  // 1000 g in a lake that holds no water flows; its volume moves from the
  // start's to the end's over the interval.
  struct volume_case {
    const char* label;
    double start, end;  // m3
    double conc;        // g/m3 at the end
  };
  const volume_case cases[] = {
      {"growing from 500 to 1000 m3", 500.0, 1000.0, 1.0},
      {"empty", 0.0, 0.0, 0.0},
  };
  for (const volume_case& t : cases) {
    SCOPED_TRACE(t.label);
    channel_state c;
    lake_network(c);
    std::fill(c.qp_vol.begin(), c.qp_vol.end(), 0.0);
    c.lake_volume_last_chan[1] = t.start;
    c.lake_volume[1] = t.end;
    chan_wq_work w;
    w.size(c);
    w.lake_mass[1] = 1000.0;
    w.lake_conc[1] = t.start > 0.0 ? 1000.0 / t.start : 0.0;
    ASSERT_TRUE(chan_wq_route(c, w, 60.0));
    EXPECT_DOUBLE_EQ(w.lake_mass[1], 1000.0);
    EXPECT_NEAR(w.lake_conc[1], t.conc, 1e-12);
  }
}

TEST(chan_wq_route, a_structure_carries_the_concentration_of_the_node_above_it) {
  channel_state c;
  prepare(c, {straight(5, 2), straight(1, 3), straight(5)}, 3.0);
  c.ltype[2] = link_bit::structure;
  chan_wq_work w;
  w.size(c);
  put(c, w, 1, 5, 50.0);  // 5 g/m3 in the last node above the structure
  ASSERT_TRUE(chan_wq_route(c, w, 60.0));
  double below = 0.0;
  for (int j = 1; j <= 5; ++j) below += w.mass[c.node_address(3, j)];
  // Implicit upwind over one sub-step: 3 m3 at 50 / 13 g/m3.
  EXPECT_NEAR(below, 3.0 * 50.0 / 13.0, 1e-5);
}

// Node 3 of a still link loses all its water in the interval and gets it
// back in the next: its 10 g stay on the node while it is dry and come back
// at the concentration of the returning water.
TEST(chan_wq_route, a_node_that_runs_dry_keeps_its_mass_until_water_returns) {
  channel_state c;
  prepare(c, {straight(5)}, 0.0);
  chan_wq_work w;
  w.size(c);
  const int a = c.node_address(1, 3);
  put(c, w, 1, 3, 10.0);
  c.area[a] = 0.0;
  ASSERT_TRUE(chan_wq_route(c, w, 60.0));
  EXPECT_NEAR(total_mass(c, w), 10.0, 1e-12);
  EXPECT_NEAR(w.mass[a], 10.0, 1e-12);
  EXPECT_EQ(w.conc[a], 0.0);
  c.area_old[a] = 0.0;
  c.area[a] = 0.5;  // 5 m3
  ASSERT_TRUE(chan_wq_route(c, w, 60.0));
  EXPECT_NEAR(w.mass[a], 10.0, 1e-12);
  EXPECT_NEAR(w.conc[a], 2.0, 1e-12);
}

// 3 m3 pass in a minute through a lake of 1 m3 holding 10 g of clean
// water's tracer: in one sub-step the outflow at the lake's 10 g/m3 would
// take 30 g from it. The lake may give only what it holds, so the sub-step
// is cut and the lake ends above zero with the 10 g shared, not created.
TEST(chan_wq_route, a_small_lake_never_gives_more_than_it_holds) {
  channel_state c;
  lake_network(c);
  c.lake_volume_last_chan[1] = c.lake_volume[1] = 1.0;
  chan_wq_work w;
  w.size(c);
  w.lake_mass[1] = 10.0;
  w.lake_conc[1] = 10.0;
  ASSERT_TRUE(chan_wq_route(c, w, 60.0));
  EXPECT_GT(w.substeps, 1);
  EXPECT_GE(w.lake_mass[1], 0.0);
  EXPECT_LT(w.lake_mass[1], 10.0);
  EXPECT_NEAR(total_mass(c, w), 10.0, 1e-9);
  EXPECT_NEAR(w.lake_outflow[1], 10.0 - w.lake_mass[1], 1e-9);
}

TEST(chan_wq_route, a_negative_mass_halves_the_substep_until_it_is_too_small) {
  channel_state c;
  prepare(c, {straight(5)}, 0.0);
  chan_wq_work w;
  w.size(c);
  put(c, w, 1, 3, 1.0);
  w.source[c.node_address(1, 3)] = -1000.0;  // g/s, far more than the node holds
  clear_errors();
  test_support::stdout_capture capture;
  EXPECT_FALSE(chan_wq_route(c, w, 60.0));
  const std::string text = capture.stop();
  EXPECT_NE(text.find("The channel water quality routing time step is getting really small\n"
                      "less than 1/1000 of a second\nProgram stopped.\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_GT(w.retries, 10);
  clear_errors();
}

}  // namespace
