// Break-point tables from hand-drawn sections: levels of a V worked out by
// hand, stretches closed at the section's ends, separate channels, tables
// between two cross-sections, erodible links' own points, the warnings for
// unequal cross-sections and the stops.

#include "channel/bp_xsec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "section_network.h"
#include "test_support.h"

namespace {

using namespace section_network;
using test_support::stdout_capture;
using points = std::vector<std::pair<double, double>>;

constexpr int breakpoint = link_bit::breakpoint;

const points v_points = {{0.0, 1.0}, {1.0, 0.0}, {2.0, 1.0}};

struct level_values {
  double area, top, perimeter;
};

level_values level(const channel_state& c, int table, int k) {
  const std::size_t i = c.bp_index(k, table);
  return {c.xarea[i], c.xtw[i], c.xp[i]};
}

TEST(bp_xsec_table, a_v_section_level_by_level) {
  clear_errors();
  channel_state c = make_network(1, 3, breakpoint, 0.03);
  size_tables(c, 1, 10);
  bp_link_sections in;
  in.link = 1;
  in.sections.push_back(section(2, 10, v_points));
  int counter = 0;
  ASSERT_TRUE(interp_bp_xsec(c, in, counter));
  EXPECT_EQ(counter, 1);
  for (int j = 1; j <= 4; ++j) EXPECT_EQ(c.table_num[c.node_address(1, j)], 1) << j;
  EXPECT_EQ(c.numpairs[1], 3);
  EXPECT_EQ(c.numhts[1], 10);
  EXPECT_DOUBLE_EQ(c.ht_spc[1], 0.1);
  EXPECT_EQ(c.xarea[c.bp_index(0, 1)], 0.0);
  for (int k = 1; k <= 10; ++k) {
    SCOPED_TRACE(k);
    const double w = 0.1 * k;
    const level_values v = level(c, 1, k);
    EXPECT_NEAR(v.area, w * w, 1e-12);
    EXPECT_NEAR(v.top, 2.0 * w, 1e-12);
    EXPECT_NEAR(v.perimeter, 2.0 * std::sqrt(2.0) * w, 1e-12);
    EXPECT_NEAR(c.xk[c.bp_index(k, 1)],
                w * w * std::pow(w / (2.0 * std::sqrt(2.0)), 2.0 / 3.0) / 0.03, 1e-10);
  }
  EXPECT_NEAR(c.xk[c.bp_index(10, 1)], 16.6667, 1e-4);
}

TEST(bp_xsec_table, stretches_close_at_the_ends_and_separate_channels_add) {
  struct walk_case {
    const char* label;
    points section;
    int level;  // of 10, 0.1 m apart from the lowest point
    level_values expected;
  };
  const double w = 0.8;
  const walk_case cases[] = {
      // The first point lies under the water: the stretch starts at x = 0 and
      // its first piece is a triangle from there to the lowest point.
      {"left end under water", {{0.0, 0.5}, {1.0, 0.0}, {2.0, 1.0}}, 8,
       {0.5 * w + 0.5 * w * w, 1.0 + w, std::hypot(1.0, w) + std::hypot(w, w)}},
      {"right end under water", {{0.0, 1.0}, {1.0, 0.0}, {2.0, 0.5}}, 8,
       {0.5 * w * w + 0.5 * w, 1.0 + w, std::hypot(w, w) + std::hypot(1.0, w)}},
      // Two V channels split by a bar 0.6 m high: at 0.3 m each is 0.8 m wide
      // (0.3 m on the steep side, 0.5 m on the side of slope 0.6).
      {"two channels below the bar",
       {{0.0, 1.0}, {1.0, 0.0}, {2.0, 0.6}, {3.0, 0.0}, {4.0, 1.0}}, 3,
       {2.0 * 0.5 * 0.3 * 0.8, 1.6,
        2.0 * (std::hypot(0.3, 0.3) + std::hypot(0.5, 0.3))}},
      // A break of slope exactly on level 5 (0.5 m): the stretch opens there
      // and runs on, rather than closing on the point it opened at.
      {"a point on the waterline", {{0.0, 1.0}, {0.5, 0.5}, {1.0, 0.0}, {2.0, 1.0}}, 5,
       {0.25, 1.0, 2.0 * std::hypot(0.5, 0.5)}},
      {"one channel over the bar",
       {{0.0, 1.0}, {1.0, 0.0}, {2.0, 0.6}, {3.0, 0.0}, {4.0, 1.0}}, 8,
       {0.5 * w * w + 0.5 * (2.0 * w - 0.6) + 0.5 * (2.0 * w - 0.6) + 0.5 * w * w, 3.6,
        2.0 * std::hypot(w, w) + 2.0 * std::hypot(1.0, 0.6)}},
  };
  for (const walk_case& t : cases) {
    SCOPED_TRACE(t.label);
    clear_errors();
    channel_state c = make_network(1, 1, breakpoint, 0.03);
    size_tables(c, 1, 10);
    const bp_cross_section s = section(1, 10, t.section);
    ASSERT_TRUE(bp_xsec_table(c, 1, 1, s.x.data(), s.z.data(), s.pairs, 10));
    const level_values v = level(c, 1, t.level);
    EXPECT_NEAR(v.area, t.expected.area, 1e-12);
    EXPECT_NEAR(v.top, t.expected.top, 1e-12);
    EXPECT_NEAR(v.perimeter, t.expected.perimeter, 1e-12);
  }
}

// Two V sections on a link of points 1..5: (0, 1), (1, 0), (2, 1) at node 2
// with levels 0.1 m apart, and the deeper (0, 2), (1, 0), (2, 2) at node 4
// with levels 0.2 m apart (area y^2 / 2 and top width y at height y).
TEST(interp_bp_xsec, the_nodes_between_two_sections_blend_their_tables) {
  clear_errors();
  channel_state c = make_network(1, 4, breakpoint, 0.03);
  size_tables(c, 5, 10);
  bp_link_sections in;
  in.link = 1;
  in.sections.push_back(section(2, 10, v_points));
  in.sections.push_back(section(4, 10, {{0.0, 2.0}, {1.0, 0.0}, {2.0, 2.0}}));
  int counter = 2;  // two tables of earlier links
  ASSERT_TRUE(interp_bp_xsec(c, in, counter));
  EXPECT_EQ(counter, 5);
  const int expected_table[] = {0, 3, 3, 4, 5, 5};
  for (int j = 1; j <= 5; ++j) EXPECT_EQ(c.table_num[c.node_address(1, j)], expected_table[j]) << j;
  EXPECT_DOUBLE_EQ(c.ht_spc[3], 0.1);
  EXPECT_DOUBLE_EQ(c.ht_spc[5], 0.2);
  EXPECT_DOUBLE_EQ(c.ht_spc[4], 0.15);
  EXPECT_EQ(c.numhts[4], 10);
  EXPECT_EQ(c.numpairs[4], 3);
  // Level 1 of node 3 stands 0.15 m up, below node 4's first level (0.02 m2
  // at 0.2 m), where its area is taken in proportion to height.
  EXPECT_NEAR(level(c, 4, 1).area, 0.5 * ((0.01 + 0.5 * 0.03) + 0.02 * 0.75), 1e-12);
  // Level 2 of node 3 stands 0.3 m up: node 2's table holds 0.09 m2 there
  // and node 4's, halfway between its levels 1 and 2, 0.02 + 0.5 x 0.06.
  EXPECT_NEAR(level(c, 4, 2).area, 0.5 * (0.09 + 0.05), 1e-12);
  EXPECT_NEAR(level(c, 4, 2).top, 0.5 * (0.6 + 0.3), 1e-12);
  // Level 10 stands 1.5 m up, above node 2's top level of 1 m: its last
  // interval carries on (0.81 + 6 x 0.19); node 4 reads 0.98 + 0.5 x 0.30.
  EXPECT_NEAR(level(c, 4, 10).area, 0.5 * (1.95 + 1.13), 1e-12);
  const double k2 = c.xk[c.bp_index(3, 3)];  // node 2 at 0.3 m
  const double k4_1 = c.xk[c.bp_index(1, 5)], k4_2 = c.xk[c.bp_index(2, 5)];
  const double k4 = k4_1 + 0.5 * (k4_2 - k4_1);  // node 4 at 0.3 m
  EXPECT_NEAR(c.xk[c.bp_index(2, 4)], 0.5 * (k2 + k4), 1e-12);
}

// An erodible link keeps points per node, resampled to evenly spaced
// offsets: (0, 1), (0.5, 0), (2, 1) becomes (0, 1), (1, 1/3), (2, 1).
TEST(interp_bp_xsec, an_erodible_link_gets_its_own_points_and_table_per_point) {
  clear_errors();
  channel_state c = make_network(1, 3, breakpoint | link_bit::erodible, 0.03);
  c.bplink[1] = 1;
  size_tables(c, 4, 10);
  size_erodible(c, 1, 3);
  bp_link_sections in;
  in.link = 1;
  in.sections.push_back(section(1, 10, {{0.0, 1.0}, {0.5, 0.0}, {2.0, 1.0}}));
  in.sections.push_back(section(3, 10, {{0.0, 2.0}, {1.0, 0.0}, {2.0, 2.0}}));
  int counter = 0;
  ASSERT_TRUE(interp_bp_xsec(c, in, counter));
  EXPECT_EQ(counter, 4);
  const double z[5][4] = {{},
                          {0.0, 1.0, 1.0 / 3.0, 1.0},
                          {0.0, 1.5, 1.0 / 6.0, 1.5},
                          {0.0, 2.0, 0.0, 2.0},
                          {0.0, 2.0, 0.0, 2.0}};
  for (int j = 1; j <= 4; ++j) {
    SCOPED_TRACE(j);
    EXPECT_EQ(c.table_num[c.node_address(1, j)], j);
    for (int p = 1; p <= 3; ++p) {
      EXPECT_NEAR(c.xbp_lnn[c.bp_point_index(1, j, p)], p - 1.0, 1e-15);
      EXPECT_NEAR(c.ybp_lnn[c.bp_point_index(1, j, p)], z[j][p], 1e-15);
    }
    EXPECT_NEAR(c.ht_spc[j], (z[j][1] - z[j][2]) / 10.0, 1e-15);
  }
  // Node 2's V is 4/3 m deep and 2 m wide: at level 5 (2/3 m of water) it
  // is 1 m wide and holds 1/3 m2.
  EXPECT_NEAR(level(c, 2, 5).top, 1.0, 1e-12);
  EXPECT_NEAR(level(c, 2, 5).area, 1.0 / 3.0, 1e-12);
}

TEST(interp_bp_xsec, unequal_sections_warn_and_use_the_counts_named) {
  struct unequal_case {
    const char* label;
    points first, second;
    int first_levels, second_levels;
    int pairs, levels;
    std::string out;
  };
  const std::string pairs_warning =
      "\n\nWARNING!!!! When using two break-point cross-sections the number of pairs \n"
      "            must be equal, which they are not for link 1.\n\n";
  const std::string levels_warning =
      "\nUsing the greater of the two number of interpolation points \n"
      "for both cross-section in link 1.\n";
  const points four = {{0.0, 1.0}, {1.0, 0.0}, {2.0, 1.0}, {3.0, 1.5}};
  const unequal_case cases[] = {
      {"more pairs first, more levels second", four, v_points, 10, 20, 3, 20,
       pairs_warning + "  ---> Disregarding the last 1 pairs of the first cross-section. <---\n\n" +
           levels_warning},
      {"more pairs second", v_points, four, 10, 10, 3, 10,
       pairs_warning +
           "  ---> Disregarding the last 1 pairs of the second cross-section. <---\n\n"},
      {"more levels first", v_points, v_points, 20, 10, 3, 20, levels_warning},
  };
  for (const unequal_case& t : cases) {
    SCOPED_TRACE(t.label);
    clear_errors();
    channel_state c = make_network(1, 2, breakpoint, 0.03);
    size_tables(c, 2, 20);
    bp_link_sections in;
    in.link = 1;
    in.sections.push_back(section(1, t.first_levels, t.first));
    in.sections.push_back(section(2, t.second_levels, t.second));
    int counter = 0;
    stdout_capture capture;
    ASSERT_TRUE(interp_bp_xsec(c, in, counter));
    EXPECT_EQ(capture.stop(), t.out);
    for (int table = 1; table <= 2; ++table) {
      EXPECT_EQ(c.numpairs[table], t.pairs);
      EXPECT_EQ(c.numhts[table], t.levels);
      // The dropped fourth point (1.5 m) would raise the top and widen the
      // spacing; both tables span 1 m.
      EXPECT_DOUBLE_EQ(c.ht_spc[table], 1.0 / t.levels);
    }
  }
}

// A saw-tooth of `valleys` V channels 1 m deep side by side.
points saw(int valleys) {
  points p = {{0.0, 1.0}};
  for (int v = 0; v < valleys; ++v) {
    p.push_back({2.0 * v + 1.0, 0.0});
    p.push_back({2.0 * v + 2.0, 1.0});
  }
  return p;
}

TEST(interp_bp_xsec, bad_sections_stop_the_set_up) {
  struct stop_case {
    const char* label;
    points section;
    int levels;
    std::string out;
  };
  const std::string jagged =
      "There is a serious problem with a channel cross-section in\n"
      "link 1.  The cross-section interpolation routine has found\n"
      "that this cross-section is very jagged, with over 50 'islands'\n"
      "for certain depths.  Calculating cross-section properties in\n"
      "this case is very dubious.  Check your cross section, smooth\n"
      "it if necessary and try again.\n";
  const stop_case cases[] = {
      {"no levels", v_points, 0,
       "\n\nError: The number of interpolation points [0] for table 1 in link 1 is invalid. "
       "(Range is 1-30000.) \n"},
      {"too many levels", v_points, 30001,
       "\n\nError: The number of interpolation points [30001] for table 1 in link 1 is invalid. "
       "(Range is 1-30000.) \n"},
      {"levels too far apart", {{0.0, 20.0}, {1.0, 0.0}, {2.0, 20.0}}, 10,
       "\n\nError: The interpolation distance [2.00000] produced by the number of interpolation "
       "points [10]\nfor table 1 in link 1 is invalid. (Range is 0.0001 to 1.0)\n"},
      {"levels too close", {{0.0, 0.001}, {1.0, 0.0}, {2.0, 0.001}}, 100,
       "\n\nError: The interpolation distance [0.00001] produced by the number of interpolation "
       "points [100]\nfor table 1 in link 1 is invalid. (Range is 0.0001 to 1.0)\n"},
      {"fifty channels side by side", saw(50), 10, jagged},
      // A bench exactly at level 5 (0.5 m) lies along the waterline there.
      {"a flat bench on a level", {{0.0, 1.0}, {1.0, 0.5}, {2.0, 0.5}, {3.0, 0.0}, {4.0, 1.0}},
       10, "Error in your channel (1). Each Z values must be different from it's neighbor\n"},
  };
  for (const stop_case& t : cases) {
    SCOPED_TRACE(t.label);
    clear_errors();
    channel_state c = make_network(1, 1, breakpoint, 0.03);
    size_tables(c, 1, 30001);
    bp_link_sections in;
    in.link = 1;
    in.sections.push_back(section(1, t.levels, t.section));
    int counter = 0;
    testing::internal::CaptureStderr();
    stdout_capture capture;
    EXPECT_FALSE(interp_bp_xsec(c, in, counter));
    EXPECT_EQ(capture.stop(), t.out + "\n");
    const bool flat = t.out.find("Each Z values") != std::string::npos;
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              flat ? "Program terminated.  Hit any key to continue.\n" : "");
    EXPECT_EQ(error_state.stop_flag, 1);
    clear_errors();
  }
}

TEST(interp_bp_xsec, sections_at_the_limits_are_still_measured) {
  struct limit_case {
    const char* label;
    points section;
    int levels;
    double spacing, first_top;
  };
  const limit_case cases[] = {
      {"forty-nine channels side by side", saw(49), 10, 0.1, 49 * 0.2},
      {"levels 1 m apart", {{0.0, 10.0}, {1.0, 0.0}, {2.0, 10.0}}, 10, 1.0, 0.2},
      {"30000 levels 0.0001 m apart", {{0.0, 3.0}, {1.0, 0.0}, {2.0, 3.0}}, 30000, 0.0001,
       2.0 * 0.0001 / 3.0},
  };
  for (const limit_case& t : cases) {
    SCOPED_TRACE(t.label);
    clear_errors();
    channel_state c = make_network(1, 1, breakpoint, 0.03);
    size_tables(c, 1, t.levels);
    bp_link_sections in;
    in.link = 1;
    in.sections.push_back(section(1, t.levels, t.section));
    int counter = 0;
    ASSERT_TRUE(interp_bp_xsec(c, in, counter));
    EXPECT_DOUBLE_EQ(c.ht_spc[1], t.spacing);
    EXPECT_NEAR(level(c, 1, 1).top, t.first_top, 1e-9);
    EXPECT_EQ(error_state.stop_flag, 0);
  }
}

}  // namespace
