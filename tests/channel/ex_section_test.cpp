// Cross-section properties on the smallest networks that show each rule:
// trapezoid, break-point table and two-stage nodes from area and from stage,
// the rounding of tiny negative areas, the stops and what they leave alone.

#include "channel/ex_section.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <string>

#include "channel/bp_xsec.h"
#include "section_network.h"
#include "test_support.h"

namespace {

using namespace section_network;
using test_support::stdout_capture;

constexpr int trapezoid = link_bit::trapezoid;
constexpr int breakpoint = link_bit::breakpoint;
constexpr int two_stage = link_bit::two_stage;

// Conveyance A R^(2/3) / n of a trapezoid at depth y, worked out directly.
double trapezoid_conveyance(double b, double z, double y, double n) {
  const double a = (b + z * y) * y;
  const double p = b + 2.0 * y * std::sqrt(1.0 + z * z);
  return a * std::pow(a / p, 2.0 / 3.0) / n;
}

TEST(ex_section_trapezoid, area_and_stage_give_each_other_back) {
  clear_errors();
  channel_state c = make_network(1, 1, trapezoid, 0.035);
  set_trapezoid(c, 1, 2.0, 1.0);
  const int i = c.node_address(1, 1);
  c.bel[i] = 100.0;
  c.area[i] = 2.554221;
  c.topw[i] = 9.0;
  c.dconv[i] = 9.0;
  ex_section(c, section_mode::from_area);
  EXPECT_NEAR(c.chan_depth[i], 0.885264, 0.885264 * 1e-4);
  EXPECT_NEAR(c.yp[i], 100.0 + c.chan_depth[i], 1e-12);
  EXPECT_NEAR(c.conv[i], 50.0, 50.0 * 1e-4);
  // From area, top width and the conveyance slope are not the routine's to set.
  EXPECT_EQ(c.topw[i], 9.0);
  EXPECT_EQ(c.dconv[i], 9.0);

  c.yp[i] = 100.0 + 0.885264;
  ex_section(c, section_mode::from_stage);
  EXPECT_NEAR(c.area[i], 2.554221, 2.554221 * 1e-6);
  EXPECT_NEAR(c.topw[i], 3.770528, 3.770528 * 1e-6);
  EXPECT_NEAR(c.conv[i], trapezoid_conveyance(2.0, 1.0, 0.885264, 0.035), 1e-9);
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST(ex_section_trapezoid, conveyance_slope_matches_a_central_difference) {
  struct slope_case {
    const char* label;
    double b, z, y;
  };
  const slope_case cases[] = {
      {"sloped sides with a bottom", 2.0, 1.0, 0.8},
      {"a V without bottom", 0.0, 2.0, 0.5},
      {"a rectangle", 3.0, 0.0, 0.4},
  };
  for (const slope_case& s : cases) {
    SCOPED_TRACE(s.label);
    clear_errors();
    channel_state c = make_network(1, 1, trapezoid, 0.03);
    set_trapezoid(c, 1, s.b, s.z);
    const int i = c.node_address(1, 1);
    const double d = 1e-6;
    c.yp[i] = s.y;
    ex_section(c, section_mode::from_stage);
    const double slope = c.dconv[i];
    EXPECT_NEAR(c.conv[i], trapezoid_conveyance(s.b, s.z, s.y, 0.03), 1e-9);
    const double expected = (trapezoid_conveyance(s.b, s.z, s.y + d, 0.03) -
                             trapezoid_conveyance(s.b, s.z, s.y - d, 0.03)) /
                            (2.0 * d);
    EXPECT_NEAR(slope, expected, std::fabs(expected) * 1e-6);
  }
}

TEST(ex_section_trapezoid, zero_side_slope_and_a_dry_v_stay_finite) {
  clear_errors();
  channel_state c = make_network(2, 1, trapezoid, 0.03);
  set_trapezoid(c, 1, 2.0, 0.0);  // a rectangle 2 m wide
  set_trapezoid(c, 2, 0.0, 1.0);  // a V, here dry
  const int rect = c.node_address(1, 1), v = c.node_address(2, 1);
  c.area[rect] = 1.0;
  ex_section(c, section_mode::from_area);
  EXPECT_DOUBLE_EQ(c.chan_depth[rect], 0.5);
  EXPECT_NEAR(c.conv[rect], 1.0 * std::pow(1.0 / 3.0, 2.0 / 3.0) / 0.03, 1e-12);
  EXPECT_EQ(c.chan_depth[v], 0.0);
  EXPECT_EQ(c.conv[v], 0.0);

  c.yp[v] = c.bel[v];
  c.dconv[v] = 9.0;
  ex_section(c, section_mode::from_stage);
  EXPECT_EQ(c.area[v], 0.0);
  EXPECT_EQ(c.topw[v], 0.0);
  EXPECT_EQ(c.conv[v], 0.0);
  EXPECT_EQ(c.dconv[v], 0.0);
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST(ex_section_trapezoid, a_tiny_negative_area_is_an_empty_channel) {
  clear_errors();
  channel_state c = make_network(1, 1, trapezoid, 0.035);
  set_trapezoid(c, 1, 2.0, 1.0);
  const int i = c.node_address(1, 1);
  c.bel[i] = 12.5;
  c.yp[i] = 13.0;
  c.chan_depth[i] = 0.5;
  c.conv[i] = 4.0;
  c.area[i] = -0.00005;
  ex_section(c, section_mode::from_area);
  EXPECT_EQ(c.area[i], 0.0);
  EXPECT_EQ(c.chan_depth[i], 0.0);
  EXPECT_EQ(c.yp[i], 12.5);
  EXPECT_EQ(c.conv[i], 0.0);
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST(ex_section_trapezoid, a_stop_leaves_the_later_nodes_and_links_as_they_were) {
  clear_errors();
  channel_state c = make_network(3, 2, trapezoid, 0.035);
  for (int l = 1; l <= 3; ++l) {
    set_trapezoid(c, l, 2.0, 1.0);
    for (int j = 1; j <= 2; ++j) {
      const int i = c.node_address(l, j);
      c.area[i] = 1.0;
      c.chan_depth[i] = 7.0;
    }
  }
  c.area[c.node_address(2, 1)] = -0.0002;
  stdout_capture capture;
  ex_section(c, section_mode::from_area);
  EXPECT_EQ(capture.stop(),
            "In ex_section.c - 1\nprogram stopped for negative area, node 1, link 2\n\n");
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_NE(c.chan_depth[c.node_address(1, 2)], 7.0);
  EXPECT_EQ(c.chan_depth[c.node_address(2, 1)], 7.0);
  EXPECT_EQ(c.chan_depth[c.node_address(2, 2)], 7.0);
  EXPECT_EQ(c.chan_depth[c.node_address(3, 1)], 7.0);
  EXPECT_EQ(c.chan_depth[c.node_address(3, 2)], 7.0);
  clear_errors();
}

// Forty trapezoid links of five nodes, shared among eight threads, every
// node's properties stale (depth 7) and its area and stage the makings of
// a different depth at each node.
channel_state threaded_network() {
  channel_state c = make_network(40, 5, trapezoid, 0.035);
  c.parallel_min_links = 1;
  for (int l = 1; l <= 40; ++l) {
    set_trapezoid(c, l, 2.0, 1.0);
    for (int j = 1; j <= 5; ++j) {
      const int i = c.node_address(l, j);
      c.bel[i] = 100.0 - l;
      c.area[i] = 0.1 * j + 0.01 * l;
      c.yp[i] = c.bel[i] + 0.05 * j + 0.002 * l;
      c.chan_depth[i] = c.conv[i] = c.topw[i] = 7.0;
    }
  }
  return c;
}

TEST(ex_section, a_stop_on_eight_threads_works_the_nodes_before_it_and_no_other) {
  struct stop_case {
    const char* label;
    int mode, link, node;
    int later_link;  // a second faulty node (node 1 of this link), 0 for none
    const char* out;
  };
  const stop_case cases[] = {
      {"from area, first node of the network", section_mode::from_area, 1, 1, 0,
       "In ex_section.c - 1\nprogram stopped for negative area, node 1, link 1\n\n"},
      {"from area, inside a middle link", section_mode::from_area, 17, 3, 0,
       "In ex_section.c - 1\nprogram stopped for negative area, node 3, link 17\n\n"},
      {"from area, the first of two faults", section_mode::from_area, 17, 3, 30,
       "In ex_section.c - 1\nprogram stopped for negative area, node 3, link 17\n\n"},
      {"from stage, last node of the network", section_mode::from_stage, 40, 5, 0,
       "In ex_section.c - 1\nprogram stopped for negative depth, node 5, link 40\n\n"},
      {"from stage, first node of a middle link", section_mode::from_stage, 23, 1, 0,
       "In ex_section.c - 1\nprogram stopped for negative depth, node 1, link 23\n\n"},
  };
  const int threads = omp_get_max_threads();
  omp_set_num_threads(8);
  for (const stop_case& t : cases) {
    SCOPED_TRACE(t.label);
    clear_errors();
    const channel_state before = threaded_network();
    // The same network without the fault gives the values the nodes before
    // the stop must get.
    channel_state worked = before;
    ex_section(worked, t.mode);
    ASSERT_EQ(error_state.stop_flag, 0);

    channel_state c = before;
    const int stop = c.node_address(t.link, t.node);
    for (int i : {stop, t.later_link > 0 ? c.node_address(t.later_link, 1) : stop}) {
      if (t.mode == section_mode::from_area)
        c.area[i] = -0.0002;
      else
        c.yp[i] = c.bel[i] - 0.01;
    }
    stdout_capture capture;
    ex_section(c, t.mode);
    EXPECT_EQ(capture.stop(), t.out);
    EXPECT_EQ(error_state.stop_flag, 1);
    for (int l = 1; l <= 40; ++l)
      for (int j = 1; j <= 5; ++j) {
        const int i = c.node_address(l, j);
        const channel_state& expected = i < stop ? worked : before;
        ASSERT_EQ(c.chan_depth[i], expected.chan_depth[i]) << "link " << l << " node " << j;
        ASSERT_EQ(c.conv[i], expected.conv[i]) << "link " << l << " node " << j;
        ASSERT_EQ(c.topw[i], expected.topw[i]) << "link " << l << " node " << j;
        if (i < stop) {
          ASSERT_EQ(c.area[i], worked.area[i]) << "link " << l << " node " << j;
          ASSERT_EQ(c.yp[i], worked.yp[i]) << "link " << l << " node " << j;
        }
      }
  }
  omp_set_num_threads(threads);
  clear_errors();
}

TEST(ex_section, only_nodes_before_a_stop_raise_the_table_top_flag) {
  // Link 10 of the threaded network becomes a break-point link whose node 2
  // lies above its table's top level; link 20 stops the sweep.
  struct flag_case {
    const char* label;
    int stop_link;
    int flag;
  };
  const flag_case cases[] = {{"stop after the table node", 20, 1},
                             {"stop before the table node", 5, 0}};
  const int threads = omp_get_max_threads();
  omp_set_num_threads(8);
  for (const flag_case& t : cases) {
    SCOPED_TRACE(t.label);
    clear_errors();
    channel_state c = threaded_network();
    size_tables(c, 1, 2);
    c.numhts[1] = 2;
    c.ht_spc[1] = 0.5;
    c.xarea[c.bp_index(1, 1)] = 1.0;
    c.xarea[c.bp_index(2, 1)] = 2.5;
    c.ltype[10] = breakpoint;
    for (int j = 1; j <= 5; ++j) c.table_num[c.node_address(10, j)] = 1;
    c.area[c.node_address(10, 2)] = 4.0;
    c.area[c.node_address(t.stop_link, 1)] = -0.0002;
    stdout_capture capture;
    ex_section(c, section_mode::from_area);
    capture.stop();
    EXPECT_EQ(error_state.stop_flag, 1);
    EXPECT_EQ(c.xsec_exceeded, t.flag);
  }
  omp_set_num_threads(threads);
  clear_errors();
}

// One node of a break-point link over the V of points (0, 1), (1, 0), (2, 1)
// with 10 levels and n 0.03: level k at 0.1 k m holds (0.1 k)^2 m2 under a
// top width of 0.2 k m.
channel_state v_channel() {
  channel_state c = make_network(1, 1, breakpoint, 0.03);
  size_tables(c, 1, 10);
  bp_link_sections in;
  in.link = 1;
  in.sections.push_back(section(1, 10, {{0.0, 1.0}, {1.0, 0.0}, {2.0, 1.0}}));
  int counter = 0;
  EXPECT_TRUE(interp_bp_xsec(c, in, counter));
  return c;
}

// Conveyance of that V at depth w.
double v_conveyance(double w) {
  return w * w * std::pow(w / (2.0 * std::sqrt(2.0)), 2.0 / 3.0) / 0.03;
}

TEST(ex_section_table, depth_and_conveyance_from_area) {
  struct area_case {
    const char* label;
    double area, depth, conv;
    int exceeded;
  };
  const double k1 = v_conveyance(0.1);
  const area_case cases[] = {
      {"between levels 7 and 8", 0.5, 0.706667, 6.621975, 0},
      {"below the first level", 0.005, 0.1 * std::pow(0.5, 0.6), 0.5 * k1, 0},
      {"exactly the top level", 1.0, 1.0, v_conveyance(1.0), 0},
      {"above the top level", 1.2, 1.105263, 20.963904, 1},
      {"dry", 0.0, 0.0, 0.0, 0},
  };
  EXPECT_NEAR(v_conveyance(1.0), 16.6667, 1e-4);
  for (const area_case& t : cases) {
    SCOPED_TRACE(t.label);
    clear_errors();
    channel_state c = v_channel();
    const int i = c.node_address(1, 1);
    c.bel[i] = 3.0;
    c.area[i] = t.area;
    ex_section(c, section_mode::from_area);
    EXPECT_NEAR(c.chan_depth[i], t.depth, 1e-6);
    EXPECT_NEAR(c.yp[i], 3.0 + c.chan_depth[i], 1e-12);
    EXPECT_NEAR(c.conv[i], t.conv, 1e-6);
    EXPECT_EQ(c.xsec_exceeded, t.exceeded);
    EXPECT_EQ(error_state.stop_flag, 0);
  }
}

TEST(ex_section_table, below_the_first_level_stage_gives_the_area_back) {
  clear_errors();
  channel_state c = v_channel();
  const int i = c.node_address(1, 1);
  c.area[i] = 0.005;
  ex_section(c, section_mode::from_area);
  EXPECT_NEAR(c.chan_depth[i], 0.065975, 1e-6);
  c.area[i] = 0.0;
  ex_section(c, section_mode::from_stage);
  EXPECT_NEAR(c.area[i], 0.005, 1e-15);
}

TEST(ex_section_table, area_width_and_conveyance_from_stage) {
  struct stage_case {
    const char* label;
    double depth, area, top, conv, dconv;
    int exceeded;
  };
  const double k1 = v_conveyance(0.1), s = std::pow(0.5, 5.0 / 3.0);
  const stage_case cases[] = {
      {"below the first level", 0.05, 0.01 * s, 0.2 * s, k1 * s,
       k1 * std::pow(0.05, 2.0 / 3.0) / std::pow(0.1, 5.0 / 3.0), 0},
      {"on level 5: the interval above it", 0.5, 0.25, 1.0, v_conveyance(0.5),
       (v_conveyance(0.6) - v_conveyance(0.5)) / 0.1, 0},
      {"between levels 7 and 8", 0.75, 0.49 + 0.5 * 0.15, 1.5,
       0.5 * (v_conveyance(0.7) + v_conveyance(0.8)),
       (v_conveyance(0.8) - v_conveyance(0.7)) / 0.1, 0},
      {"above the top level", 1.1, 1.19, 2.2,
       v_conveyance(1.0) + (v_conveyance(1.0) - v_conveyance(0.9)),
       (v_conveyance(1.0) - v_conveyance(0.9)) / 0.1, 1},
  };
  for (const stage_case& t : cases) {
    SCOPED_TRACE(t.label);
    clear_errors();
    channel_state c = v_channel();
    const int i = c.node_address(1, 1);
    c.bel[i] = 3.0;
    c.yp[i] = 3.0 + t.depth;
    ex_section(c, section_mode::from_stage);
    EXPECT_NEAR(c.area[i], t.area, 1e-9);
    EXPECT_NEAR(c.topw[i], t.top, 1e-9);
    EXPECT_NEAR(c.conv[i], t.conv, 1e-9);
    EXPECT_NEAR(c.dconv[i], t.dconv, 1e-8);
    EXPECT_EQ(c.xsec_exceeded, t.exceeded);
  }
}

TEST(ex_section_table, a_table_number_beyond_the_tables_stops_either_mode) {
  for (int mode : {section_mode::from_area, section_mode::from_stage}) {
    SCOPED_TRACE(mode);
    clear_errors();
    channel_state c = v_channel();
    const int i = c.node_address(1, 1);
    c.table_num[i] = 2;
    c.area[i] = 0.5;
    c.yp[i] = 0.5;
    c.chan_depth[i] = 7.0;
    c.conv[i] = 7.0;
    testing::internal::CaptureStderr();
    stdout_capture capture;
    ex_section(c, mode);
    EXPECT_EQ(capture.stop(), "\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error in section: Request for table beyond max. table number.\n");
    EXPECT_EQ(error_state.stop_flag, 1);
    EXPECT_EQ(c.conv[i], 7.0);
    clear_errors();
  }
}

// b 2, z 1 up to a bank-full depth of 1, then sides of 3 horizontal to 1.
TEST(ex_section_two_stage, stage_and_area_give_each_other_back) {
  struct stage_case {
    const char* label;
    double depth, area, top, perimeter;
  };
  const double r2 = std::sqrt(2.0), r10 = std::sqrt(10.0);
  const stage_case cases[] = {
      {"within the banks", 0.6, 2.6 * 0.6, 3.2, 2.0 + 1.2 * r2},
      {"over the banks", 1.5, 3.0 + 0.5 * (4.0 + 7.0) * 0.5, 7.0, 2.0 + 2.0 * r2 + r10},
  };
  for (const stage_case& t : cases) {
    SCOPED_TRACE(t.label);
    clear_errors();
    channel_state c = make_network(1, 1, two_stage, 0.035);
    set_trapezoid(c, 1, 2.0, 1.0, 1.0, 3.0);
    const int i = c.node_address(1, 1);
    c.bel[i] = 50.0;
    auto conveyance_at = [&](double y) {
      c.yp[i] = 50.0 + y;
      ex_section(c, section_mode::from_stage);
      return c.conv[i];
    };
    const double d = 1e-6;
    const double slope = (conveyance_at(t.depth + d) - conveyance_at(t.depth - d)) / (2.0 * d);
    const double conv = conveyance_at(t.depth);
    EXPECT_NEAR(c.area[i], t.area, 1e-12);
    EXPECT_NEAR(c.topw[i], t.top, 1e-12);
    const double exact = std::pow(t.area, 5.0 / 3.0) / std::pow(t.perimeter, 2.0 / 3.0) / 0.035;
    EXPECT_NEAR(conv, exact, exact * 1e-5);
    EXPECT_NEAR(c.dconv[i], slope, slope * 1e-4);

    c.yp[i] = 0.0;
    c.conv[i] = 0.0;
    ex_section(c, section_mode::from_area);
    EXPECT_NEAR(c.chan_depth[i], t.depth, 1e-12);
    EXPECT_NEAR(c.yp[i], 50.0 + t.depth, 1e-12);
    EXPECT_NEAR(c.conv[i], exact, exact * 1e-5);
    EXPECT_EQ(error_state.stop_flag, 0);
  }
}

TEST(ex_section, negative_area_or_depth_stops_with_the_shapes_message) {
  struct stop_case {
    const char* label;
    int type, mode;
    double area, depth;
    const char* out;
  };
  const stop_case cases[] = {
      {"trapezoid area", trapezoid, section_mode::from_area, -0.0002, 0.0,
       "In ex_section.c - 1\nprogram stopped for negative area, node 2, link 1\n"},
      {"break-point area", breakpoint, section_mode::from_area, -1e-9, 0.0,
       "In ex_section.c - 4\nprogram stopped for negative area, node 2, link 1\n"},
      {"two-stage area", two_stage, section_mode::from_area, -1e-9, 0.0,
       "In ex_section.c - 5\nstopped for negative area, node 2, link 1\n"},
      {"trapezoid depth", trapezoid, section_mode::from_stage, 0.0, -1e-9,
       "In ex_section.c - 1\nprogram stopped for negative depth, node 2, link 1\n"},
      {"break-point depth", breakpoint, section_mode::from_stage, 0.0, -1e-9,
       "In ex_section.c - 3\nprogram stopped for negative depth, node 2, link 1\n"},
      {"two-stage depth", two_stage, section_mode::from_stage, 0.0, -1e-9,
       "In ex_section.c - 4\nprogram stopped for negative depth, node 2, link 1\n"},
  };
  for (const stop_case& t : cases) {
    SCOPED_TRACE(t.label);
    clear_errors();
    channel_state c = make_network(1, 2, t.type, 0.03);
    set_trapezoid(c, 1, 2.0, 1.0, 1.0, 3.0);
    size_tables(c, 1, 1);
    c.numhts[1] = 1;
    c.ht_spc[1] = 0.1;
    const int i = c.node_address(1, 2);
    c.table_num[c.node_address(1, 1)] = c.table_num[i] = 1;
    c.area[i] = t.area;
    c.bel[i] = 10.0;
    c.yp[i] = 10.0 + t.depth;
    stdout_capture capture;
    ex_section(c, t.mode);
    EXPECT_EQ(capture.stop(), std::string(t.out) + "\n");
    EXPECT_EQ(error_state.stop_flag, 1);
    clear_errors();
  }
}

TEST(ex_section, only_shaped_links_and_the_two_modes_are_worked) {
  clear_errors();
  channel_state c = make_network(2, 3, trapezoid, 0.035);
  c.ltype[1] = link_bit::lake;
  set_trapezoid(c, 2, 2.0, 1.0);
  for (int l = 1; l <= 2; ++l)
    for (int j = 1; j <= 3; ++j) {
      const int i = c.node_address(l, j);
      c.area[i] = -5.0;  // would stop any shaped node
      c.yp[i] = -5.0;
    }
  const channel_state before = c;
  ex_section(c, 3);
  EXPECT_EQ(c.area, before.area);
  EXPECT_EQ(c.yp, before.yp);

  // The lake release works one node and nothing else.
  const int i = c.node_address(2, 2);
  c.yp[i] = 0.885264;
  ex_section_node_from_stage(c, 2, 2);
  EXPECT_NEAR(c.area[i], 2.554221, 1e-6);
  EXPECT_EQ(c.area[c.node_address(2, 1)], -5.0);
  EXPECT_EQ(c.area[c.node_address(2, 3)], -5.0);

  for (int j = 1; j <= 3; ++j) c.area[c.node_address(2, j)] = 1.0;
  ex_section(c, section_mode::from_area);
  EXPECT_EQ(error_state.stop_flag, 0);
  for (int j = 1; j <= 3; ++j) {
    EXPECT_EQ(c.area[c.node_address(1, j)], -5.0);
    EXPECT_EQ(c.yp[c.node_address(1, j)], -5.0);
  }
}

}  // namespace
