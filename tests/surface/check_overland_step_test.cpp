// The start-up estimate of the overland step. On a plane of one row the
// outlet cell passes the rain of the whole row, q = i x L per metre of
// width; its equilibrium depth is h = (q n / sqrt(S))^(3/5), its celerity
// c = 5/3 q / h, and the step that keeps the wave within a cell is
// dx / c = 0.6 dx h / q. The explicit scheme is held as well to its largest
// depth through a face, q dt / dx <= 0.06 m.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/grid_state.h"
#include "surface/check_overland_step.h"
#include "surface_run_fixture.h"
#include "test_support.h"

namespace {

using namespace surface_fixture;
using test_support::temp_dir;

// One row of cells falling slope x dx a cell towards the outlet in its
// eastern cell, which drains at the same slope.
void row_plane(grid_state& g, int cells, double dx, double slope) {
  g.rows = 1;
  g.cols = cells;
  g.dx = dx;
  g.cells = cells;
  g.outlet_cell = cells;
  g.outlet_slope = slope;
  g.elevation.assign(cells + 1, 0.0);
  g.rightcon.assign(cells + 1, 0);
  g.leftcon.assign(cells + 1, 0);
  g.belowcon.assign(cells + 1, 0);
  g.abovecon.assign(cells + 1, 0);
  for (int i = 1; i <= cells; ++i) {
    g.elevation[i] = (cells - i) * slope * dx;
    if (i < cells) g.rightcon[i] = i + 1;
    if (i > 1) g.leftcon[i] = i - 1;
  }
}

TEST(estimate_overland_steps, follows_the_kinematic_wave_of_a_plane_at_equilibrium) {
  struct case_row {
    const char* what;
    int cells;
    double dx, slope, n, rain_mm_h;
    double ade, explicit_substep;  // s, worked out by hand
  };
  // plane20: q = 1e-5 x 2000 = 0.02 m2/s, h = (0.02 x 0.05 / 0.1)^0.6 =
  // 0.0630957 m, dx / c = 0.6 x 100 x h / q = 189.287 s; the transfer
  // limit 0.06 x 100 / 0.02 = 300 s does not bind.
  // A deeper sheet: q = 100 mm/h x 1000 m = 0.0277778 m2/s, h = q^0.6 =
  // 0.116471 m, dx / c = 6 h / q = 25.1578 s; the transfer limit
  // 0.6 / q = 21.6 s binds for the explicit scheme.
  const case_row cases[] = {
      {"shallow sheet", 20, 100.0, 0.01, 0.05, 36.0, 189.287, 189.287},
      {"deep sheet", 100, 10.0, 0.01, 0.1, 100.0, 25.1578, 21.6},
      {"no rain", 20, 100.0, 0.01, 0.05, 0.0, 0.0, 0.0},
      {"flat ground, flat outlet", 20, 100.0, 0.0, 0.05, 36.0, 0.0, 0.0},
  };
  for (const case_row& c : cases) {
    SCOPED_TRACE(c.what);
    grid_state g;
    row_plane(g, c.cells, c.dx, c.slope);
    const std::vector<double> rough(c.cells + 1, c.n);
    const overland_step_estimate e = estimate_overland_steps(g, rough.data(), c.rain_mm_h / 3.6e6);
    EXPECT_NEAR(e.ade, c.ade, 1e-5 * c.ade + 1e-12);
    EXPECT_NEAR(e.explicit_substep, c.explicit_substep, 1e-5 * c.explicit_substep + 1e-12);
  }
}

// A 21 x 21 tilted V of 10 m cells, sides and floor at 1 %, n 0.0108, under
// 10 mm/h: the outlet passes 0.1225 m3/s, q = 0.01225 m2/s at a depth of
// 0.01874 m, so the wave crosses a cell in 9.2 s.
class tilted_v_run : public testing::Test {
 protected:
  run_output run(const std::string& scheme, double step) {
    const int n = 21, mid = 10;
    std::vector<double> z(n * n);
    for (int r = 0; r < n; ++r)
      for (int c = 0; c < n; ++c)
        z[r * n + c] = 100.0 + 0.1 * (n - 1 - r) + 0.1 * std::abs(c - mid);
    dir_.write("mask.asc", ascii_grid(n, n, 10, std::vector<double>(n * n, 1.0)));
    dir_.write("elevation.asc", ascii_grid(n, n, 10, z));
    dir_.write("v.prj", "VALTOPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elevation.asc\n"
                        "GRIDSIZE 10\nROWS 21\nCOLS 21\nOVERTYPE " + scheme +
                        "\nTIMESTEP " + std::to_string(step) +
                        "\nTOT_TIME 2\nOUTROW 21\nOUTCOL 11\nOUTSLOPE 0.01\nMANNING_N 0.0108\n"
                        "PRECIP_UNIF\nRAIN_INTENSITY 10\nRAIN_DURATION 90\n"
                        "START_DATE 2000 6 1\nSTART_TIME 0 0\nHYD_FREQ 1\n"
                        "SUMMARY summary.out\nOUTLET_HYDRO v.hyd\n");
    return run_in_process(dir_.path(), "v.prj");
  }

  temp_dir dir_;
};

int warnings(const std::string& text) {
  int count = 0;
  for (std::size_t at = text.find("Warning: the overland time step"); at != std::string::npos;
       at = text.find("Warning: the overland time step", at + 1))
    ++count;
  return count;
}

TEST_F(tilted_v_run, warns_once_at_a_step_the_wave_outruns_and_not_at_the_advised_one) {
  const run_output slow = run("ade", 30);
  ASSERT_EQ(slow.status, 0) << slow.text;
  EXPECT_EQ(warnings(slow.text), 1) << slow.text;
  EXPECT_NE(slow.text.find("Warning: the overland time step of 30 s is above the 9.18 s "
                           "estimated for the ADE scheme on this grid under 10 mm/h of rain; "
                           "use 9 s or less.\n"),
            std::string::npos)
      << slow.text;
  EXPECT_EQ(warnings(test_support::read_file(dir_.file("summary.out"))), 1);

  const run_output advised = run("ade", 9);
  ASSERT_EQ(advised.status, 0) << advised.text;
  EXPECT_EQ(warnings(advised.text), 0) << advised.text;

  // The explicit scheme cuts a long step itself: two cuts by three are
  // taken in its stride (9 x 9.18 s), a step beyond them is not.
  EXPECT_EQ(warnings(run("explicit", 60).text), 0);
  EXPECT_EQ(warnings(run("explicit", 120).text), 1);
}

}  // namespace
