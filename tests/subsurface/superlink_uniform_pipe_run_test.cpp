// Whole runs of one uniform pipe fed at a steady rate: a 400 m circular
// pipe (D 0.6 m, n 0.013) takes 0.1 m3/s from a grate under a pond held at
// 0.1 m and falls freely onto the outlet's cell. Laid as one input pipe or
// as many, it must run at Manning's normal depth along its length, and the
// summary's balance lines must close.

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "../surface/surface_run_fixture.h"
#include "run/model_state.h"
#include "superlink_fixture.h"
#include "test_support.h"

namespace {

using surface_fixture::ascii_grid;
using surface_fixture::run_in_process;
using surface_fixture::summary_value;
using test_support::temp_dir;

constexpr double diameter = 0.6;  // m
constexpr double manning = 0.013;
constexpr double length = 400.0;  // m
// One grate of this side under 0.1 m of water takes the weir flow
// 0.02832 x 3.0 x (3 x side x 3.28) x (3.28 x 0.1)^1.5 cfs-to-m3/s, which
// is 0.1 m3/s to six digits.
constexpr double grate_side = 0.636764;  // m

double grate_flow() {
  return 0.02832 * 3.0 * (3.0 * grate_side * 3.28) * std::pow(3.28 * 0.1, 1.5);
}

// Area and wetted perimeter of the circular section at depth y.
double area(double y) {
  const double r = diameter / 2.0, theta = std::acos((r - y) / r);
  return r * r * theta - (r - y) * r * std::sin(theta);
}
double perimeter(double y) { return diameter * std::acos((diameter / 2.0 - y) / (diameter / 2.0)); }

// Manning's normal depth by bisection: (1/n) A R^(2/3) sqrt(S) = Q, on a
// depth below the section's largest conveyance (0.938 D).
double normal_depth(double q, double slope) {
  double lo = 1e-6, hi = 0.938 * diameter;
  for (int k = 0; k < 200; ++k) {
    const double y = 0.5 * (lo + hi);
    const double a = area(y);
    const double conveyed = a * std::pow(a / perimeter(y), 2.0 / 3.0) * std::sqrt(slope) / manning;
    (conveyed < q ? lo : hi) = y;
  }
  return 0.5 * (lo + hi);
}

// The network: the grate junction on cell 1 (bottom at the pipe's invert
// 7.5 m), the pipe laid as `pipes` equal input pipes, the outlet onto cell
// 3 with its bottom 1 m under the pipe's end.
std::string network(int pipes, double slope) {
  const double drop = slope * length;
  char line[200];
  std::string t;
  std::snprintf(line, sizeof line, "SJUNC 1 10.0 7.5 1.0 1 1 1 %.6f 0.5\n", grate_side);
  t += line;
  std::snprintf(line, sizeof line, "SJUNC 2 9.5 %.4f 1.0 888 1 3 0.0 0.0\n", 7.5 - drop - 1.0);
  t += line;
  t += "CONNECT 1 1 2\n";
  t += "SLINK 1 " + std::to_string(pipes) + "\n";
  for (int i = 1; i <= pipes + 1; ++i) {
    const int col = i == 1 ? 1 : i == pipes + 1 ? 3 : 2;
    std::snprintf(line, sizeof line, "NODE %d 10.0 %.6f 0.0 0 1 %d 0.0 0.0\n", i,
                  7.5 - drop * (i - 1) / pipes, col);
    t += line;
  }
  for (int i = 1; i <= pipes; ++i) {
    std::snprintf(line, sizeof line, "PIPE %d 1 %.1f 0.0 %.4f %.3f %.6f 0.0 0.0\n", i, diameter,
                  slope, manning, length / pipes);
    t += line;
  }
  return t;
}

// The same pipe as two superlinks of one 200 m pipe each, through a
// manhole of 1 m2 (no inlet) on cell 2 whose bottom is the pipe's invert
// there.
std::string manhole_network(double slope) {
  const double drop = slope * length, mid = 7.5 - 0.5 * drop;
  char line[400];
  std::string t;
  std::snprintf(line, sizeof line, "SJUNC 1 10.0 7.5 1.0 1 1 1 %.6f 0.5\n", grate_side);
  t += line;
  std::snprintf(line, sizeof line, "SJUNC 2 11.0 %.4f 1.0 0 1 2 0.0 0.0\n", mid);
  t += line;
  std::snprintf(line, sizeof line, "SJUNC 3 9.5 %.4f 1.0 888 1 3 0.0 0.0\n", 7.5 - drop - 1.0);
  t += line;
  t += "CONNECT 1 1 2\nCONNECT 2 2 3\n";
  const double top[] = {7.5, mid};
  for (int k = 0; k < 2; ++k) {
    std::snprintf(line, sizeof line,
                  "SLINK %d 1\nNODE 1 10.0 %.6f 0.0 0 1 %d 0.0 0.0\nNODE 2 10.0 %.6f 0.0 0 1 %d 0.0 "
                  "0.0\nPIPE 1 1 %.1f 0.0 %.4f %.3f %.6f 0.0 0.0\n",
                  k + 1, top[k], k + 1, top[k] - 0.5 * drop, k + 2, diameter, slope,
                  manning, 0.5 * length);
    t += line;
  }
  return t;
}

// A 1 x 3 strip of 10 m cells, ground 10, 11 and 9.5 m, the outlet in cell
// 3; cell 1 holds its water at 10.1 m. A trace of rain falls in the
// first minute.
void write_project(const temp_dir& dir, const std::string& net, bool graded) {
  superlink_fixture::write_strip_grids(dir);
  dir.write("net.txt", net);
  dir.write("pipe.prj",
            "VALTOPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elevation.asc\nGRIDSIZE 10\n"
            "ROWS 1\nCOLS 3\nTIMESTEP 10\nTOT_TIME 120\nOUTROW 1\nOUTCOL 3\nOUTSLOPE 0.01\n"
            "MANNING_N 0.05\nOVERTYPE explicit\nPRECIP_UNIF\nRAIN_INTENSITY 0.001\n"
            "RAIN_DURATION 1\nSTART_DATE 2000 6 1\nSTART_TIME 0 0\n"
            "MAPPING_TABLE tables.cmt\nOV_BOUNDARY\nSTORM_SEWER net.txt\nNUM_THREADS 1\n"
            "SUMMARY summary.out\nOUTLET_HYDRO outlet.hyd\n" +
                std::string(graded ? "SUPERLINK_C_OPT\n" : ""));
}

// Critical depth by bisection: A sqrt(A / B) = Q / sqrt(g), B the top width.
double critical_depth(double q) {
  double lo = 1e-6, hi = 0.99 * diameter;
  for (int k = 0; k < 200; ++k) {
    const double y = 0.5 * (lo + hi);
    const double r = diameter / 2.0;
    const double b = diameter * std::sin(std::acos((r - y) / r));
    (area(y) * std::sqrt(area(y) / b) < q / std::sqrt(9.81) ? lo : hi) = y;
  }
  return 0.5 * (lo + hi);
}

// Friction slope at depth y: (n Q / (A R^(2/3)))^2.
double friction_slope(double q, double y) {
  const double a = area(y);
  return std::pow(manning * q / (a * std::pow(a / perimeter(y), 2.0 / 3.0)), 2.0);
}

// The pipe's water past its entrance. The local loss of the water that
// enters from the junction, Q^2 / (g A^2) (C = 1, A at the junction's
// level), lies between the junction and the pipe, whatever the pipe's
// length; the pipe itself balances friction against its fall. A superlink
// of one pipe has no node inside: its one momentum balance, taken at its
// upstream depth y, spreads the fall to the outfall's depth over the
// whole pipe: S_f(y) = S + (y - y_end) / L, with y_end = min(yc, yn). On
// the steeper slope the outfall stands at normal depth and so does the
// pipe. On the milder one the water falls to critical depth at the
// outfall, a drawdown that in the pipe itself stays within its last 40 m
// (1 % of yn at 39 m from the outfall, by the gradually varied profile);
// spread over 400 m it leaves the one pipe 1.5 % short of normal depth.
// Graded pipes (SUPERLINK_C_OPT) or a pipe laid in pieces resolve it.
double one_pipe_depth(double q, double slope) {
  const double end = std::min(critical_depth(q), normal_depth(q, slope));
  double lo = 0.5 * end, hi = 0.938 * diameter;
  for (int k = 0; k < 200; ++k) {
    const double y = 0.5 * (lo + hi);
    (friction_slope(q, y) > slope + (y - end) / length ? lo : hi) = y;
  }
  return 0.5 * (lo + hi);
}

// The junction's level over the invert when the pipe past its entrance
// runs at depth y: Y - Q^2 / (g A(Y)^2) = y.
double junction_depth(double q, double y) {
  double lo = y, hi = 0.99 * diameter;
  for (int k = 0; k < 200; ++k) {
    const double h = 0.5 * (lo + hi);
    const double v = q / area(h);
    (h - v * v / 9.81 < y ? lo : hi) = h;
  }
  return 0.5 * (lo + hi);
}

TEST(superlink_uniform_pipe, closed_forms_of_the_pipe) {
  EXPECT_NEAR(grate_flow(), 0.1, 1e-6);
  EXPECT_NEAR(normal_depth(0.1, 0.005), 0.19584, 1e-5);
  // (0.25052 m would carry 0.100044 m3/s.)
  EXPECT_NEAR(normal_depth(0.1, 0.002), 0.25046, 1e-5);
  EXPECT_NEAR(critical_depth(0.1), 0.20138, 1e-5);
  EXPECT_NEAR(one_pipe_depth(0.1, 0.005), 0.19584, 1e-5);
  EXPECT_NEAR(one_pipe_depth(0.1, 0.002), 0.24668, 1e-5);
  EXPECT_NEAR(junction_depth(0.1, 0.19584), 0.26567, 1e-5);
}

// Every balance line of the run's summary closes to its last printed
// digit; the drains' books (which start from the pipes' film of their
// 1e-4 m depth floor, 4.1e-4 m3 in this pipe) close to rounding. No water
// came from or went to a fixed head, for there is none.
void expect_books_close(const temp_dir& dir, double q) {
  const std::string summary = test_support::read_file(dir.file("summary.out"));
  for (const char* line : {"mass conservation error:", "Mass balance error of surface components =",
                           "Overall mass balance error ="})
    EXPECT_LT(std::fabs(summary_value(summary, line)), 5e-7) << line << "\n" << summary;
  EXPECT_EQ(summary_value(summary, "Subsurface drain mass bal error m^3="), 0.0) << summary;
  EXPECT_EQ(summary_value(summary, "Volume from fixed-head drain junctions"), 0.0);
  EXPECT_EQ(summary_value(summary, "Volume to fixed-head drain junctions"), 0.0);
  const double taken = summary_value(summary, "Volume of overland to subsurface drains");
  EXPECT_NEAR(taken, q * 7200.0, 0.01 * q * 7200.0);
  EXPECT_NEAR(taken, summary_value(summary, "Volume of subsurface drains to overland") +
                         summary_value(summary, "Final volume in drains="),
              0.01);
}

struct pipe_case {
  int pipes;
  double slope;
  bool graded;  // SUPERLINK_C_OPT: computational pipes graded to 10 m at the ends
};

class uniform_pipe_test : public ::testing::TestWithParam<pipe_case> {};

TEST_P(uniform_pipe_test, runs_at_normal_depth_however_it_is_laid_and_the_books_close) {
  const pipe_case c = GetParam();
  temp_dir dir;
  write_project(dir, network(c.pipes, c.slope), c.graded);
  std::vector<double> depth, along;  // per computational node: depth, distance from the top
  double q_end = 0.0, head = 0.0, entry = 0.0;
  const auto out = run_in_process(dir.path(), "pipe.prj", [&](model_state& s) {
    const superlink_state& sl = s.subsurface.superlink;
    if (sl.work.Q_d.size() < 2) return;  // before the network's first call
    const int n = sl.net.superlink_cnodes[1];
    depth.assign(std::size_t(n) + 2, 0.0);
    along.assign(std::size_t(n) + 2, 0.0);
    for (int i = 1; i <= n + 1; ++i) {
      depth[std::size_t(i)] = sl.net.slink_node_depth(i, 1);
      if (i > 1) along[std::size_t(i)] = along[std::size_t(i) - 1] + sl.net.dxc(i - 1, 1);
    }
    q_end = sl.work.Q_d[1];
    entry = sl.work.pipe_depth(1, 1);
    head = sl.net.sjunc_head[1];
  });
  ASSERT_EQ(out.status, 0) << out.text;
  ASSERT_GE(depth.size(), std::size_t(c.pipes) + 2);
  const std::size_t last = depth.size() - 1;
  EXPECT_NEAR(along[last], length, 1e-6);
  const double q = grate_flow();
  const double yn = normal_depth(q, c.slope);
  EXPECT_NEAR(q_end, q, 1e-6);
  // The outfall: the lesser of critical and normal depth.
  EXPECT_NEAR(depth[last], std::min(yn, critical_depth(q)), 1e-4);
  // The grate's junction and the pipe's first node stand at one level, the
  // entrance's loss head above the water in the first pipe.
  EXPECT_NEAR(head - 7.5, depth[1], 1e-6);
  if (last == 2) {
    // One pipe: its depth is that of its only momentum balance; where the
    // outfall stands at normal depth, it is normal depth.
    EXPECT_NEAR(entry, one_pipe_depth(q, c.slope), 1e-5);
    if (yn <= critical_depth(q)) {
      EXPECT_NEAR(entry, yn, 0.01 * yn);
    }
    EXPECT_NEAR(depth[1], junction_depth(q, one_pipe_depth(q, c.slope)), 1e-5);
  } else {
    // The node nearest the pipe's middle.
    std::size_t mid = 1;
    for (std::size_t i = 1; i <= last; ++i)
      if (std::fabs(along[i] - 0.5 * length) < std::fabs(along[mid] - 0.5 * length)) mid = i;
    EXPECT_NEAR(along[mid], 0.5 * length, 0.1 * length);
    EXPECT_NEAR(depth[mid], yn, 0.01 * yn);
    // The first pipe runs at normal depth, and the junction stands the
    // loss head above it however long that pipe is.
    EXPECT_NEAR(entry, yn, 0.001 * yn);
    EXPECT_NEAR(depth[1], junction_depth(q, yn), 1e-4);
  }

  expect_books_close(dir, grate_flow());
}

INSTANTIATE_TEST_SUITE_P(laid, uniform_pipe_test,
                         ::testing::Values(pipe_case{1, 0.005, false}, pipe_case{8, 0.005, false},
                                           pipe_case{40, 0.005, false}, pipe_case{1, 0.002, false},
                                           pipe_case{8, 0.002, false}, pipe_case{40, 0.002, false},
                                           pipe_case{1, 0.005, true}, pipe_case{1, 0.002, true}),
                         [](const ::testing::TestParamInfo<pipe_case>& i) {
                           return std::to_string(i.param.pipes) + "_pipes_at_" +
                                  std::to_string(int(i.param.slope * 1000.0 + 0.5)) + "_permille" +
                                  (i.param.graded ? "_graded" : "");
                         });

// A manhole between two superlinks of one pipe each, at 5 permille: the
// lower superlink starts from the manhole as the one pipe did from its
// grate, so its pipe runs at normal depth and the manhole stands the
// entrance's loss head above it. The books close through the manhole.
TEST(superlink_uniform_pipe, through_a_manhole_the_lower_pipe_keeps_normal_depth) {
  temp_dir dir;
  write_project(dir, manhole_network(0.005), false);
  double entry = 0.0, manhole = 0.0, q_end = 0.0;
  const auto out = run_in_process(dir.path(), "pipe.prj", [&](model_state& s) {
    const superlink_state& sl = s.subsurface.superlink;
    if (sl.work.Q_d.size() < 3) return;
    entry = sl.work.pipe_depth(1, 2);
    manhole = sl.net.sjunc_head[2] - sl.net.junc_bottom[2];
    q_end = sl.work.Q_d[2];
  });
  ASSERT_EQ(out.status, 0) << out.text;
  const double q = grate_flow(), yn = normal_depth(q, 0.005);
  EXPECT_NEAR(q_end, q, 1e-6);
  EXPECT_NEAR(entry, yn, 1e-5);
  EXPECT_NEAR(manhole, junction_depth(q, yn), 1e-5);
  expect_books_close(dir, q);
}

}  // namespace
