// Pipe sections and end depths, against hand-worked values and against the
// relations that define them: Manning's discharge at the normal depth and
// A^3 / B = Q^2 / g at the critical depth.

#include <gtest/gtest.h>

#include <cmath>

#include "subsurface/superlink_section.h"
#include "subsurface/superlink_state.h"
#include "test_support.h"

namespace {

constexpr double tol = 1e-5;  // m

struct depth_case {
  int type;
  double diameter, width, n, slope, q;
  double normal, critical;
};

// Circle D 0.6 m, n 0.013, S 0.004; rectangle W 1.2 m, n 0.015, S 0.002.
// Above 0.41773 m3/s, the circle's largest Manning discharge (at 0.938 D),
// it runs full.
const depth_case depth_cases[] = {
    {pipe_section::circular, 0.6, 0.0, 0.013, 0.004, 0.2, 0.30530, 0.28890},
    {pipe_section::circular, 0.6, 0.0, 0.013, 0.004, 0.35, 0.44554, 0.38700},
    {pipe_section::circular, 0.6, 0.0, 0.013, 0.004, 0.45, 0.6, -1.0},
    {pipe_section::rectangular, 1.0, 1.2, 0.015, 0.002, 0.5, 0.37249, 0.26060},
};

double manning(int type, double d, double w, double n, double s, double y) {
  section_props p;
  superlink_section_props(d, y, w, type, p);
  return p.area * std::pow(p.area / p.wet_per, 2.0 / 3.0) * std::sqrt(s) / n;
}

TEST(superlink_section, normal_and_critical_depths_match_the_hand_table) {
  for (const depth_case& c : depth_cases) {
    SCOPED_TRACE(c.q);
    test_support::stdout_capture quiet;
    double yn = -1.0, yc = -1.0;
    EXPECT_EQ(superlink_norm_calc(c.type, c.diameter, c.width, c.n, c.q, c.slope, yn), 0);
    EXPECT_NEAR(yn, c.normal, tol);
    EXPECT_EQ(superlink_crit_calc(c.type, c.diameter, c.width, c.q, yc), 0);
    if (c.critical > 0.0) {
      EXPECT_NEAR(yc, c.critical, tol);
    }
    if (yn < c.diameter) {
      // Manning's discharge at the normal depth is the discharge given.
      EXPECT_NEAR(manning(c.type, c.diameter, c.width, c.n, c.slope, yn), c.q, 1e-6);
    }
    // Critical flow: A^3 / B = Q^2 / g.
    section_props p;
    superlink_section_props(c.diameter, yc, c.width, c.type, p);
    EXPECT_NEAR(std::pow(p.area, 3) / p.top_width, c.q * c.q / 9.81, 1e-6);
  }
}

TEST(superlink_section, circular_normal_depth_stays_within_the_pipe_and_rises_with_flow) {
  test_support::stdout_capture quiet;
  const double capacity = manning(pipe_section::circular, 0.6, 0.0, 0.013, 0.004, 0.93818 * 0.6);
  EXPECT_NEAR(capacity, 0.41773, 1e-5);
  double last = 0.0;
  for (double q = 0.01; q < 0.6; q += 0.01) {
    double yn = -1.0;
    ASSERT_EQ(superlink_norm_calc(pipe_section::circular, 0.6, 0.0, 0.013, q, 0.004, yn), 0);
    EXPECT_LE(yn, 0.6);
    EXPECT_GE(yn, last);
    if (q >= capacity) {
      EXPECT_EQ(yn, 0.6);
    }
    last = yn;
  }
}

TEST(superlink_section, without_slope_the_critical_depth_governs) {
  test_support::stdout_capture quiet;
  for (int type : {pipe_section::circular, pipe_section::rectangular}) {
    double yn = 0.0, yc = 0.0;
    ASSERT_EQ(superlink_norm_calc(type, 0.6, 1.2, 0.013, 0.2, 0.0, yn), 0);
    ASSERT_EQ(superlink_crit_calc(type, 0.6, 1.2, 0.2, yc), 0);
    EXPECT_FALSE(std::isnan(yn));
    EXPECT_EQ(std::min(yc, yn), yc);
  }
}

TEST(superlink_section, full_empty_and_refused_sections) {
  section_props p;
  superlink_section_props(0.6, 0.6, 0.0, pipe_section::circular, p);
  EXPECT_EQ(p.top_width, 0.0);
  EXPECT_NEAR(p.area, M_PI * 0.09, 1e-6);
  EXPECT_NEAR(p.wet_per, M_PI * 0.6, 1e-6);
  superlink_section_props(0.6, 0.3, 0.0, pipe_section::circular, p);  // half full
  EXPECT_NEAR(p.area, M_PI * 0.09 / 2.0, 1e-6);
  EXPECT_NEAR(p.top_width, 0.6, 1e-9);
  superlink_section_props(0.5, 0.7, 1.2, pipe_section::rectangular, p);
  EXPECT_DOUBLE_EQ(p.area, 0.6);
  EXPECT_DOUBLE_EQ(p.wet_per, 3.4);
  EXPECT_EQ(p.top_width, 0.0);
  for (int type : {pipe_section::circular, pipe_section::rectangular}) {
    superlink_section_props(0.6, -0.1, 1.2, type, p);
    EXPECT_EQ(p.area, 0.0);
    EXPECT_EQ(superlink_flow_area(type, 0.6, 1.2, -0.1), 0.0);
  }
  p.area = 7.0;
  superlink_section_props(0.6, 0.3, 1.2, 4, p);
  EXPECT_EQ(p.area, 7.0);  // an unknown type leaves the outputs alone

  test_support::stdout_capture out;
  double yc = 0.123, yn = 0.456;
  EXPECT_EQ(superlink_crit_calc(pipe_section::arch, 0.6, 1.2, 0.2, yc), -1);
  EXPECT_EQ(superlink_norm_calc(pipe_section::arch, 0.6, 1.2, 0.013, 0.2, 0.004, yn), -1);
  EXPECT_EQ(yc, 0.123);
  EXPECT_EQ(yn, 0.456);
  const std::string text = out.stop();
  EXPECT_NE(text.find("arch culverts not yet supported in subroutine superlink_crit_calc() \n"
                      "program terminated\n"),
            std::string::npos);
}

}  // namespace
