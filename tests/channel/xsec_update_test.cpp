// Bed change of erodible break-point sections, worked by hand on small
// sections whose points are evenly spaced (so the set-up keeps them as
// drawn): a V scoured at its lowest point, a flat bed and a stepped section
// filled and scoured with the shares of their points, the area under the
// section's top changing by exactly the bed volume, and the bounds: the
// depth, the lowest bed allowed, a change too small to draw, a negative
// depth.

#include "channel/xsec_update.h"

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

constexpr double bed_level = 5.0;  // m, bel of the node

// One erodible break-point link of one node with the section drawn from
// `drawn` in 10 levels, its bed at bed_level and water `depth` deep.
channel_state erodible_node(const points& drawn, double depth) {
  clear_errors();
  channel_state c = make_network(1, 1, link_bit::breakpoint | link_bit::erodible, 0.03);
  c.bplink[1] = 1;
  size_tables(c, 2, 10);
  size_erodible(c, 1, int(drawn.size()));
  bp_link_sections in;
  in.link = 1;
  in.sections.push_back(section(1, 10, drawn));
  int counter = 0;
  EXPECT_TRUE(interp_bp_xsec(c, in, counter));
  const int a = c.node_address(1, 1);
  c.bel[a] = bed_level;
  c.yp[a] = bed_level + depth;
  return c;
}

double point_z(const channel_state& c, int p) { return c.ybp_lnn[c.bp_point_index(1, 1, p)]; }
double top_area(const channel_state& c) {
  const int t = c.table_num[c.node_address(1, 1)];
  return c.xarea[c.bp_index(c.numhts[t], t)];
}

const points v_section = {{0.0, 1.0}, {1.0, 0.0}, {2.0, 1.0}};
// Banks of slope 1 with a point halfway up each, a 1 m flat bottom.
const points stepped = {{0.0, 2.0}, {1.0, 1.0}, {2.0, 0.0}, {3.0, 0.0}, {4.0, 1.0}, {5.0, 2.0}};

// A V scoured by 0.1 m2 per metre: only its lowest point is under water
// deeper than the banks, so it drops by 0.1 m (a triangle 2 m wide); the
// table is the V 1.1 m deep, area 0.011 k^2 at level k.
TEST(xsec_update_node, a_v_scours_at_its_lowest_point) {
  channel_state c = erodible_node(v_section, 0.5);
  const int a = c.node_address(1, 1);
  const double before = top_area(c);
  EXPECT_NEAR(xsec_update_node(c, 1, 1, -0.1, 0.0), -0.1, 1e-6);
  EXPECT_EQ(error_state.stop_flag, 0);
  EXPECT_NEAR(c.bel[a], bed_level - 0.1, 1e-6);
  EXPECT_NEAR(point_z(c, 2), -0.1, 1e-6);
  EXPECT_EQ(point_z(c, 1), 1.0);
  EXPECT_EQ(point_z(c, 3), 1.0);
  const int t = c.table_num[a];
  EXPECT_NEAR(c.ht_spc[t], 0.11, 1e-6);
  for (int k = 1; k <= 10; ++k) EXPECT_NEAR(c.xarea[c.bp_index(k, t)], 0.011 * k * k, 1e-6) << k;
  EXPECT_NEAR(top_area(c) - before, 0.1, 1e-6);
}

// The stepped section 1.5 m deep. Filling, the bottom takes the whole
// shift and the mid-bank points (1 m up, 2/3 of the depth) a third of it:
// the swept width is 2 x (1/6 + 2/3) + 1 = 8/3 m, so 0.5 m2 raises the
// bottom 0.1875 m and the mid-bank points 0.0625 m. Scouring, the mid-bank
// points take 1 - (2/3)^0.5 = 0.183503 of the shift: swept width 2.367007 m,
// 0.5 m2 lowers the bottom 0.211237 m and the mid-bank points 0.038763 m.
// The area under the unmoved top changes by the bed volume either way.
TEST(xsec_update_node, points_take_their_share_of_the_shift) {
  struct fill_case {
    double bed, bottom_shift, mid_shift;
  };
  const fill_case cases[] = {{0.5, 0.1875, 0.0625}, {-0.5, -0.211237, -0.038763}};
  for (const fill_case& f : cases) {
    SCOPED_TRACE(f.bed);
    channel_state c = erodible_node(stepped, 1.5);
    const double before = top_area(c);
    EXPECT_NEAR(xsec_update_node(c, 1, 1, f.bed, 0.0), f.bed, 1e-5 * 0.5);
    EXPECT_NEAR(c.bel[c.node_address(1, 1)], bed_level + f.bottom_shift, 2e-6);
    const double expect[] = {0.0, 2.0, 1.0 + f.mid_shift, f.bottom_shift,
                             f.bottom_shift, 1.0 + f.mid_shift, 2.0};
    for (int p = 1; p <= 6; ++p) EXPECT_NEAR(point_z(c, p), expect[p], 2e-6) << p;
    EXPECT_NEAR(before - top_area(c), f.bed, 1e-5 * 0.5);
  }
}

// The bounds, on the V 0.5 m deep (0.1 m levels, top width 1.2 m at the
// level above the water) or under 1.5 m of water, over its banks.
TEST(xsec_update_node, keeps_to_the_depth_and_the_lowest_bed) {
  struct bound_case {
    const char* what;
    double depth, bed, min_bel, taken, bel;
    bool warned;
  };
  const bound_case cases[] = {
      {"scour down to the lowest bed allowed", 0.5, -0.1, bed_level - 0.04, -0.04,
       bed_level - 0.04, false},
      {"a bed already at its lowest", 0.5, -0.1, bed_level, 0.0, bed_level, false},
      {"deposition on a bed at its lowest", 0.5, 0.05, bed_level, 0.05, bed_level + 0.05, false},
      {"a change too small to draw", 0.5, -1e-17, 0.0, 0.0, bed_level, false},
      // 1 / 1.2 m of first guess is deeper than the water: cut to 0.5 m.
      {"a change deeper than the water", 0.5, -1.0, 0.0, -0.5, bed_level - 0.5, true},
      // 5 / 2 m of first guess is cut to the 1.5 m depth; the banks take a
      // third of the shift (swept width 4/3 m) and the bottom stops 10
      // levels of 0.1 mm below the old top.
      {"a section filled to its top", 1.5, 5.0, 0.0, 4.0 / 3.0 * 0.999, bed_level + 0.999, true},
  };
  for (const bound_case& b : cases) {
    SCOPED_TRACE(b.what);
    channel_state c = erodible_node(v_section, b.depth);
    stdout_capture out;
    const double taken = xsec_update_node(c, 1, 1, b.bed, b.min_bel);
    const std::string printed = out.stop();
    EXPECT_NEAR(taken, b.taken, 1e-6);
    EXPECT_NEAR(c.bel[c.node_address(1, 1)], b.bel, 1e-6);
    EXPECT_EQ(printed,
              b.warned ? "In xsec_update.c - 3\n"
                         "It is impossible that change of stream bed elevation is greater than "
                         "maximum channel depth\n"
                         "Setting the change in stream bed elevation equal to the depth of the "
                         "channel\n"
                       : "");
    EXPECT_EQ(error_state.stop_flag, 0);
  }
}

TEST(xsec_update_node, a_negative_depth_stops) {
  channel_state c = erodible_node(v_section, -0.01);
  stdout_capture out;
  EXPECT_EQ(xsec_update_node(c, 1, 1, 0.1, 0.0), 0.0);
  EXPECT_EQ(out.stop(),
            "In ex_section.c - 3\nprogram stopped for negative depth, node 1, link 1\n\n");
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_EQ(point_z(c, 2), 0.0);
  clear_errors();
}

// Over the network the stores' sand comes in per metre of channel and goes
// back as what the sections took: 0.06 m3/m of sand at porosity 0.4 is
// 0.1 m2 of bed.
TEST(xsec_update, turns_sand_into_bed_and_hands_back_what_was_taken) {
  channel_state c = erodible_node(v_section, 0.5);
  const int a = c.node_address(1, 1);
  std::vector<double> sand(c.node_slots(), 0.0), min_bel(c.node_slots(), 0.0);
  sand[a] = -0.06;
  EXPECT_EQ(xsec_update(c, 0.4, min_bel.data(), sand.data()), 1);
  EXPECT_NEAR(sand[a], -0.06, 1e-5 * 0.06);
  EXPECT_NEAR(c.bel[a], bed_level - 0.1, 1e-6);
  sand[a] = 0.0;
  EXPECT_EQ(xsec_update(c, 0.4, min_bel.data(), sand.data()), 0);
}

}  // namespace
