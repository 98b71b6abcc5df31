// Structure element discharges worked out by hand: weirs, sag weirs and the
// culvert flow types in both directions, the critical-depth and root-finding
// helpers against closed forms, the culvert failures and their messages, and
// the inlet-control calibration with its tailwater below the outlet.

#include "channel/structure_flow.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "channel/channel_state.h"
#include "core/error_state.h"
#include "lake_network.h"
#include "test_support.h"

namespace {

using lake_network::weir_element;

using test_support::stdout_capture;

constexpr double unchecked = std::numeric_limits<double>::quiet_NaN();

void reset_errors() { error_state = error_record{}; }

struct_element sag_weir(double p, double s1, double s2, double z0, double forward,
                        double reverse) {
  struct_element e = weir_element(p, z0, forward, reverse);
  e.type = 2;
  e.width = s1;
  e.height = s2;
  return e;
}

struct_element culvert(int type, double rise, double span, double length, double n, double zu,
                       double zd, double forward, double reverse = 0.0, double cc = 0.0) {
  struct_element e;
  e.type = type;
  e.width = rise;
  e.height = span;
  e.length = length;
  e.rough_coeff = n;
  e.up_invert = zu;
  e.down_invert = zd;
  e.coeff_forward = forward;
  e.coeff_reverse = reverse;
  e.coeff_inlet = cc;
  return e;
}

constexpr int round_type = 3, oval_type = 4, box_type = 5;

// Box of rise 1.2 (WIDTH) and span 2.5 (HEIGHT) under a road, slope 0.006.
struct_element road_culvert(int type, double rise = 1.2) {
  return culvert(type, rise, 2.5, 25.0, 0.015, 20.0, 19.85, 0.75, 0.55);
}

// Box of rise 1 and span 2 on a slope of 0.02, the calibration's fixture.
struct_element steep_box() {
  return culvert(box_type, 1.0, 2.0, 20.0, 0.015, 100.0, 99.6, 0.6, 0.55);
}

// Element 1 of a fresh table.
std::vector<struct_element> table_of(const struct_element& e) { return {struct_element{}, e}; }

struct discharge_case {
  const char* label;
  struct_element element;
  double up, down;    // levels, m
  double q;           // m3/s
  int type;           // culverts only
  double tolerance;   // absolute; 0 for 1e-6 relative
  double depth = unchecked;  // culverts, m
};

TEST(structure_flow, elements_give_their_worked_discharges) {
  const struct_element mild_pipe = culvert(round_type, 0.8, 0.0, 60.0, 0.012, 10.0, 9.95, 0.75);
  struct_element pipe = culvert(round_type, 1.0, 0.0, 20.0, 0.015, 100.0, 99.6, 0.6);
  const discharge_case cases[] = {
      {"weir free flow", weir_element(3.0, 50.0, 0.9, 0.7), 50.6, 49.0, 2.139382, 0, 0},
      {"weir submerged", weir_element(3.0, 50.0, 0.9, 0.7), 50.6, 50.5, 1.890964, 0, 0},
      {"weir levels 6 mm apart take the linear form", weir_element(3.0, 50.0, 0.9, 0.7), 50.6, 50.594,
       0.426237, 0, 0},
      {"weir reverse flow takes the reverse coefficient", weir_element(3.0, 50.0, 0.9, 0.7), 49.5, 50.6,
       -1.663963, 0, 0},
      {"weir with both levels below the crest", weir_element(3.0, 50.0, 0.9, 0.7), 49.9, 49.8, 0.0, 0, 0},
      {"sag weir", sag_weir(12.0, -0.2, 0.05, 30.0, 1.0, 0.6), 30.45, 29.0, 8.788407, 0, 0},
      {"sag weir reverse, submergence ignored", sag_weir(12.0, -0.2, 0.05, 30.0, 1.0, 0.6), 30.2,
       30.35, -3.189866, 0, 0},
      {"sag weir at its low point", sag_weir(12.0, -0.2, 0.05, 30.0, 1.0, 0.6), 30.0, 29.0, 0.0, 0,
       0},
      {"box, outlet submerged", road_culvert(box_type), 22.0, 21.5, 6.167035, 4, 0},
      {"box, outlet submerged, reverse", road_culvert(box_type), 21.5, 22.0, -4.789125, -4, 0},
      {"box, tailwater below the crown", road_culvert(box_type), 21.0, 20.8, 3.528494, 3, 0},
      {"box, headwater below the inlet", road_culvert(box_type), 19.9, 19.0, 0.0, 0, 0},
      {"round, outlet submerged", road_culvert(round_type, 0.9), 22.0, 21.5, 1.156238, 4, 0},
      {"oval, outlet submerged", road_culvert(oval_type), 22.0, 21.5, 4.762017, 4, 0},
      {"oval under outlet control has no formula", road_culvert(oval_type), 20.9, 19.0, 0.0, 2, 0},
      {"box, steep, barrel control", culvert(box_type, 1.2, 2.5, 25.0, 0.015, 20.0, 19.5, 0.65),
       21.9, 19.0, 9.461821, 6, 0},
      {"round, steep, head ratio exactly 1.5 runs full", pipe, 101.5, 99.0, 1.980213, 6, 0},
      {"round, steep, inlet control", pipe, 100.8, 99.0, 0.48561, 1, 2e-4, 0.39283},
      {"long mild round, tailwater in the barrel", mild_pipe, 11.0, 10.5, 0.906639, 3, 0},
      {"long mild round, free outfall", mild_pipe, 11.0, 9.9, 1.028720, 2, 0},
      {"long mild round, tailwater above the crown", mild_pipe, 11.0, 10.8, 0.0, 0, 0},
  };
  for (const discharge_case& c : cases) {
    SCOPED_TRACE(c.label);
    reset_errors();
    const std::vector<struct_element> elements = table_of(c.element);
    double q;
    if (c.element.type == 1) {
      q = weir_flow(elements, 1, c.up, c.down);
    } else if (c.element.type == 2) {
      q = sag_weir_flow(elements, 1, c.up, c.down);
    } else {
      const culvert_flow f = culv_flow(elements, 1, c.up, c.down);
      q = f.q;
      EXPECT_EQ(f.type, c.type);
      if (!std::isnan(c.depth)) {
        EXPECT_NEAR(f.depth, c.depth, 2e-4);
      }
    }
    EXPECT_NEAR(q, c.q, c.tolerance > 0.0 ? c.tolerance : std::fabs(c.q) * 1e-6);
    EXPECT_EQ(error_state.stop_flag, 0);
  }
}

TEST(structure_flow, weir_linear_form_joins_the_submerged_form_at_one_centimetre) {
  const std::vector<struct_element> elements = table_of(weir_element(3.0, 50.0, 0.9, 0.7));
  // h2 0.59 m, levels 0.01 m apart: 4.429447 x 0.1 x 0.9 x 3 x 0.59 = 0.705610.
  const double below = weir_flow(elements, 1, 50.6, 50.59 + 1e-9);
  const double above = weir_flow(elements, 1, 50.6, 50.59 - 1e-9);
  EXPECT_NEAR(below, 0.705610, 1e-6);
  EXPECT_NEAR(above, 0.705610, 1e-6);
}

TEST(structure_flow, zero_barrel_length_fails_with_its_message) {
  reset_errors();
  std::vector<struct_element> elements = table_of(road_culvert(box_type));
  elements.push_back(road_culvert(box_type));
  elements[2].length = 0.0;
  stdout_capture capture;
  const culvert_flow f = culv_flow(elements, 2, 22.0, 21.5);
  EXPECT_EQ(capture.stop(),
            "Problem in culv_flow (ex_flow_route.c).  The culvert barrel length\n"
            "in culvert number 2 is 0.0.  This is not possible. Program terminated.\n");
  EXPECT_EQ(f.q, -9999.99);
  EXPECT_EQ(error_state.stop_flag, 0);  // the caller reports it
}

TEST(structure_flow, critical_depth_meets_the_critical_flow_condition) {
  reset_errors();
  // Round: Q^2 T = g A^3 at the depth found, with the segment worked out
  // from the half-angle.
  for (double q : {0.05, 0.5, 1.5}) {
    SCOPED_TRACE(q);
    const double d = 1.0, r = 0.5;
    const double y = culvert_solve_depth(culvert_shape::round, d, 0.0, q);
    ASSERT_GT(y, 0.0);
    ASSERT_LT(y, d);
    const double half_angle = std::acos((r - y) / r);
    const double area = r * r * (half_angle - std::sin(half_angle) * std::cos(half_angle));
    const double top = d * std::sin(half_angle);
    EXPECT_NEAR(q * q * top / (9.81 * area * area * area), 1.0, 1e-6);
  }
  // Box: (q^2 / (g W^2))^(1/3); 2 m3/s over 2 m gives (1/9.81)^(1/3).
  EXPECT_NEAR(culvert_solve_depth(culvert_shape::box, 1.0, 2.0, 2.0), 0.467136, 1e-6);
  EXPECT_EQ(error_state.code, 0);
}

TEST(structure_flow, critical_depth_failures_wait_for_the_end_of_the_step) {
  struct failure_case {
    const char* label;
    int shape;
    double q;
    int code;
  };
  const failure_case cases[] = {
      {"the oval shape has no solver", culvert_shape::oval, 1.0, 123},
      {"a discharge that is not a number never converges", culvert_shape::round,
       std::numeric_limits<double>::quiet_NaN(), 122},
  };
  for (const failure_case& c : cases) {
    SCOPED_TRACE(c.label);
    reset_errors();
    stdout_capture capture;
    culvert_solve_depth(c.shape, 1.0, 2.0, c.q);
    EXPECT_EQ(capture.stop(), "");
    EXPECT_EQ(error_state.code, c.code);
    EXPECT_EQ(error_state.stop_flag, 1);
  }
  EXPECT_STREQ(message_template(122), "no convergence in culvert critical depth routine\n");
  EXPECT_STREQ(message_template(123),
               "arch culverts not yet supported in subroutine crit_calc() \n");
  reset_errors();
}

TEST(structure_flow, zbrent_finds_the_critical_inlet_discharge) {
  reset_errors();
  // Box inlet with Cd = 1/sqrt(2) under a head of 1 m: critical flow
  // W sqrt(g) yc^1.5 equals the orifice yc W Cd sqrt(2g (H - yc)) where
  // yc = 2 Cd^2 H / (1 + 2 Cd^2) = 0.5 m, so Q = 2 sqrt(9.81) 0.5^1.5.
  const double expected = 2.0 * std::sqrt(9.81) * std::pow(0.5, 1.5);
  const root_result r =
      zbrent(culvert_shape::box, 1.0, 2.0, std::sqrt(0.5), 1.0, 0.0001, 5.0, 0.0001);
  EXPECT_NEAR(r.root, expected, 1e-4);
  EXPECT_GT(r.iterations, 1);
  EXPECT_LT(r.iterations, 100);
}

TEST(structure_flow, zbrent_needs_a_bracketed_root) {
  reset_errors();
  stdout_capture capture;
  // Both small discharges lie below the inlet's capacity: same sign.
  const root_result r = zbrent(culvert_shape::box, 1.0, 2.0, 0.6, 1.0, 0.0001, 0.0002, 0.0001);
  EXPECT_EQ(capture.stop(), "Problem in ZBRENT root finder\nRoot must be bracketed\n");
  EXPECT_EQ(r.root, -9999.99);
}

TEST(structure_flow, culvert_sections_by_shape) {
  struct section_case {
    const char* label;
    int shape;
    double depth;  // m
    double area, perimeter, top_width;
  };
  const double pi = 3.1415926;
  const section_case cases[] = {
      {"round half full", culvert_shape::round, 0.5, pi / 8.0, pi / 2.0, 1.0},
      {"round above the crown", culvert_shape::round, 1.3, pi / 4.0, pi, 0.0},
      {"round dry", culvert_shape::round, -0.1, 0.0, 0.0, 0.0},
      {"box part full", culvert_shape::box, 0.4, 0.8, 2.8, 2.0},
      {"box full", culvert_shape::box, 1.0, 2.0, 6.0, 0.0},
      {"box below the invert keeps its floor", culvert_shape::box, -0.1, 0.0, 2.0, 2.0},
      {"oval dry", culvert_shape::oval, 0.0, 0.0, 0.0, 0.0},
  };
  for (const section_case& c : cases) {
    SCOPED_TRACE(c.label);
    const culvert_geometry s = culvert_section(1.0, c.depth, 2.0, c.shape);
    EXPECT_NEAR(s.area, c.area, 1e-6);
    EXPECT_NEAR(s.perimeter, c.perimeter, 1e-6);
    EXPECT_NEAR(s.top_width, c.top_width, 1e-6);
  }
  // An oval above its crown is the full oval.
  const culvert_geometry crown = culvert_section(1.0, 1.0, 2.0, culvert_shape::oval);
  const culvert_geometry above = culvert_section(1.0, 1.4, 2.0, culvert_shape::oval);
  EXPECT_EQ(above.area, crown.area);
  EXPECT_EQ(above.perimeter, crown.perimeter);
}

TEST(structure_flow, inlet_coefficient_never_exceeds_one) {
  EXPECT_EQ(limit_inlet_coefficient(1.0), 1.0);
  EXPECT_EQ(limit_inlet_coefficient(1.0001), 0.99);
  EXPECT_EQ(limit_inlet_coefficient(0.8), 0.8);
}

TEST(structure_flow, calibration_sets_the_inlet_coefficient_of_free_outfall) {
  struct calibration_case {
    const char* label;
    struct_element element;
  };
  // Barrel control at 1.5 rises (0.6 x 2 x sqrt(19.62 x 0.9)) over the inlet
  // at 1.49 rises (yc 0.99333, area 1.98667): 5.042571 / 6.201647.
  struct_element below_datum = steep_box();
  below_datum.up_invert = -2.0;
  below_datum.down_invert = 0.0;  // outlet at -2.0 - 20 x 0.02 = -2.4 m
  below_datum.slope = 0.02;
  const calibration_case cases[] = {
      {"box above the datum", steep_box()},
      {"box below the datum, outlet from the slope", below_datum},
  };
  for (const calibration_case& c : cases) {
    SCOPED_TRACE(c.label);
    reset_errors();
    std::vector<struct_element> elements = table_of(c.element);
    EXPECT_TRUE(calibrate_culvert(elements, 1, 4));
    EXPECT_NEAR(elements[1].coeff_inlet, 0.813102, 1e-6);
    EXPECT_EQ(error_state.stop_flag, 0);
  }

  // A tailwater at the datum would reach the low box from its outlet side:
  // the runs flow backwards and the ratio turns negative.
  std::vector<struct_element> low = table_of(below_datum);
  low[1].coeff_inlet = 1.07;
  const culvert_flow first = culv_flow(low, 1, -0.5, 0.0);
  const culvert_flow second = culv_flow(low, 1, -0.51, 0.0);
  EXPECT_LT(first.type, 0);
  EXPECT_NEAR(first.q / (second.area * std::sqrt((1.49 - second.depth) * 19.62)), -0.654091,
              1e-6);
}

// A box of rise 0.6 and span 1 on a slope of 0.02, at four inverts. At 1.5
// rises the barrel runs full to its free outlet: 0.6 x 0.6 x sqrt(19.62 x
// 0.5) = 1.127553 m3/s; at 1.49 rises the inlet passes critical flow at yc =
// 0.596 m: 1.127553 / (0.596 x sqrt(0.298 x 19.62)) = 0.782408, at any
// invert (at 20.2 m, 0.9 + 20.2 - 20.2 is an ulp short of 0.9).
TEST(structure_flow, the_calibration_does_not_depend_on_the_invert) {
  std::vector<double> flows;
  for (const double z : {0.0, 3.0, 20.2, 1234.5}) {
    SCOPED_TRACE(z);
    reset_errors();
    // The slope places the outlet where the invert given lies below 0.0001 m.
    struct_element box = culvert(box_type, 0.6, 1.0, 10.0, 0.013, z, z - 0.2, 0.6, 0.6);
    box.slope = 0.02;
    std::vector<struct_element> elements = table_of(box);
    EXPECT_TRUE(calibrate_culvert(elements, 1, 3));
    EXPECT_NEAR(elements[1].coeff_inlet, 0.782408, 1e-6);
    flows.push_back(culvert_link_flow(elements, 1, 3, z + 0.45, z - 1.0));
    EXPECT_NEAR(flows.back(), flows.front(), 1e-9);
    EXPECT_EQ(error_state.stop_flag, 0);
  }
}

TEST(structure_flow, calibrated_box_passes_its_inlet_control_discharge) {
  reset_errors();
  std::vector<struct_element> elements = table_of(steep_box());
  EXPECT_NEAR(culvert_link_flow(elements, 1, 4, 101.2, 99.0), 3.644555, 3.644555e-6);
  const culvert_flow f = culv_flow(elements, 1, 101.2, 99.0);
  EXPECT_EQ(f.type, 1);
  EXPECT_NEAR(f.depth, 0.8, 1e-12);
  EXPECT_NEAR(f.area, 1.6, 1e-12);
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST(structure_flow, failed_culvert_runs_name_their_link_and_stop_the_run) {
  reset_errors();
  std::vector<struct_element> elements = table_of(steep_box());
  elements[1].length = 0.0;
  const std::string barrel =
      "Problem in culv_flow (ex_flow_route.c).  The culvert barrel length\n"
      "in culvert number 1 is 0.0.  This is not possible. Program terminated.\n";
  stdout_capture capture;
  const double q = culvert_link_flow(elements, 1, 7, 101.2, 99.0);
  EXPECT_EQ(capture.stop(), barrel + "Error in link number: 7 \n" + barrel +
                                "Error in link number 7: \n" + barrel +
                                "Error in link number 7: \n");
  EXPECT_EQ(q, -9999.99);
  EXPECT_EQ(error_state.stop_flag, 1);
  reset_errors();
}

}  // namespace
