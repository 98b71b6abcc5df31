// The aquifer's head solve against analytic flows: the Dupuit strip between
// two held heads, the Thiem cone of a well inside a held ring, the volume
// balance of a closed basin fed at one cell, the sinks of a single cell, and
// the line solver's stops.

#include <gtest/gtest.h>

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/error_state.h"
#include "gw_fixture.h"
#include "input/project_settings.h"
#include "subsurface/gw_solve.h"
#include "test_support.h"

namespace {

using gw_fixture::aquifer;
using test_support::stdout_capture;

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class gw_solve_test : public ::testing::Test {
 protected:
  void SetUp() override { error_state = error_record{}; }
  void TearDown() override { error_state = error_record{}; }
};

// ROWS 1, COLS 12, 50 m cells, heads held at 20 m and 10 m in the end
// columns over a bottom at 0, 15 m between them.
struct dupuit_strip : aquifer {
  dupuit_strip() : aquifer(1, 12, 50.0, 40.0, 0.0, 15.0, 3600.0, 0.1) {
    gw.gwbound[1] = gw.gwbound[12] = gw_type::fixed_head;
    gw.elevgw[1] = 20.0;
    gw.elevgw[12] = 10.0;
  }
};

TEST_F(gw_solve_test, dupuit_strip_settles_on_the_parabola_and_keeps_its_held_heads) {
  dupuit_strip a;
  a.run(120, 3600.0);  // five days
  ASSERT_EQ(error_state.code, 0);
  for (int c = 2; c <= 11; ++c) {
    const double x = 50.0 * (c - 1);
    const double h = std::sqrt(400.0 - 300.0 * x / 550.0);
    EXPECT_NEAR(a.gw.elevgw[c], h, 0.01) << "column " << c;
    // Harmonic transmissivities put the discrete profile a little above.
    EXPECT_GT(a.gw.elevgw[c], h) << "column " << c;
  }
  EXPECT_EQ(a.gw.elevgw[1], 20.0);
  EXPECT_EQ(a.gw.elevgw[12], 10.0);
  // Darcy's flow through the strip, K (h1^2 - h2^2) / 2L per metre of
  // width, leaves the upper held cell over the last step.
  const double q = 0.01 * (400.0 - 100.0) / (2.0 * 550.0) * 50.0;  // m3/s
  a.gw.gw_flux.assign(a.gw.gw_flux.size(), 0.0);
  a.run(1, 3600.0);
  EXPECT_NEAR(a.gw.gw_flux[1], q * 3600.0, 0.03 * q * 3600.0);
}

// 41 x 41 cells of 25 m; the cells whose centres lie within 550 m of
// (21, 21), those from 500 m on held at the starting table of 0 m; 500 m of
// aquifer at 36 cm/h (T = 0.05 m2/s) and porosity 0.02; 0.05 m3/s pumped at
// the centre for five days.
double from_centre(int r, int c) { return 25.0 * std::hypot(r - 21.0, c - 21.0); }

struct thiem_well : aquifer {
  explicit thiem_well(int orientation)
      : aquifer(41, 41, 25.0, 50.0, -500.0, 0.0, 36.0, 0.02,
                [](int r, int c) { return from_centre(r, c) <= 550.0; }) {
    for (int r = 1; r <= 41; ++r)
      for (int c = 1; c <= 41; ++c)
        if (cell(r, c) != 0 && from_centre(r, c) >= 500.0)
          gw.gwbound[cell(r, c)] = gw_type::fixed_head;
    gw.wells_from_table = 1;
    gw_well well;
    well.id = 1;
    well.rate = 0.05;
    well.cell = cell(21, 21);
    gw.wells.push_back(well);
    gw.settings.line_orientation = orientation;
  }
};

class thiem_well_test : public gw_solve_test, public ::testing::WithParamInterface<int> {};

TEST_P(thiem_well_test, drawdowns_follow_thiem_in_all_four_directions) {
  thiem_well a(GetParam());
  a.run(120, 3600.0);
  ASSERT_EQ(error_state.code, 0);
  // Q / (2 pi T) ln(R / r), R = 500 m.
  const double thiem[] = {0.3665, 0.2561, 0.1916, 0.1458, 0.1103};
  for (int k = 0; k < 5; ++k) {
    const int d = 2 * (k + 1);  // 50 m apart
    const double s[] = {-a.gw.elevgw[a.cell(21, 21 + d)], -a.gw.elevgw[a.cell(21, 21 - d)],
                        -a.gw.elevgw[a.cell(21 + d, 21)], -a.gw.elevgw[a.cell(21 - d, 21)]};
    EXPECT_NEAR(s[0], thiem[k], 0.01) << "at " << 25 * d << " m";
    for (double other : s) EXPECT_NEAR(other, s[0], 1e-5) << "at " << 25 * d << " m";
  }
  // Thiem at 0.208 dx stands for the well cell.
  EXPECT_NEAR(-a.gw.elevgw[a.cell(21, 21)], 0.7267, 0.015);
}

// Lines along columns (the default) and along rows.
INSTANTIATE_TEST_SUITE_P(line_orientations, thiem_well_test, ::testing::Values(0, 1));

// 5 x 5 cells of 100 m, all active, 20 m of water at porosity 0.2, fed
// 864 m3/day at the centre.
struct closed_basin : aquifer {
  closed_basin() : aquifer(5, 5, 100.0, 40.0, 0.0, 20.0, 360.0, 0.2) {
    gw.gw_static_flux[cell(3, 3)] = -864.0 / 86400.0 / (100.0 * 100.0);
  }
};

TEST_F(gw_solve_test, closed_basin_holds_every_cubic_metre_it_is_given) {
  closed_basin a;
  const double start = a.volume();
  EXPECT_NEAR(start, 1000000.0, 1e-6);
  double given = 0.0;
  double mean_before = 20.0;
  for (int hour = 1; hour <= 48; ++hour) {
    given += a.run(1, 3600.0);
    double mean = 0.0;
    for (int i = 1; i <= 25; ++i) mean += a.gw.elevgw[i] / 25.0;
    // 36 m3 an hour over 250000 m2 at porosity 0.2.
    EXPECT_NEAR(mean - mean_before, 0.00072, 1e-7) << "hour " << hour;
    mean_before = mean;
  }
  ASSERT_EQ(error_state.code, 0);
  EXPECT_NEAR(given, 48.0 * 36.0, 1e-9);
  EXPECT_NEAR(a.volume() - start, given, 1e-3);
}

TEST_F(gw_solve_test, results_do_not_depend_on_the_thread_count) {
  auto solve = [](int threads) {
    const int before = omp_get_max_threads();
    omp_set_num_threads(threads);
    thiem_well a(0);
    a.gw.parallel_min_cells = 0;  // threads even on this small grid
    a.gw.gwbound[a.cell(21, 30)] = gw_type::static_flux;
    a.gw.gw_static_flux[a.cell(21, 30)] = -2e-5;
    a.gw.settings.leakage_rate = 0.01;
    std::vector<double> result{a.run(12, 3600.0)};
    result.insert(result.end(), a.gw.elevgw.begin(), a.gw.elevgw.end());
    result.insert(result.end(), a.gw.gw_flux.begin(), a.gw.gw_flux.end());
    omp_set_num_threads(before);
    return result;
  };
  const std::vector<double> one = solve(1);
  const std::vector<double> eight = solve(8);
  ASSERT_EQ(one.size(), eight.size());
  for (std::size_t i = 0; i < one.size(); ++i) ASSERT_EQ(one[i], eight[i]) << "entry " << i;
}

// One isolated cell of 10 m at porosity 0.2 over a bottom at 0, stepped
// 100 s: its head moves by -sink x dt / porosity.
struct sink_case {
  const char* name;
  double head;           // m
  double leakage_rate;   // cm/h
  double static_flux;    // m/s
  double recharge;       // cm
  double stream_volume;  // m3, with channels on
  double sink;           // expected, m/s
  double leakage;        // expected, m/s
  double pump;           // expected, m/s
  double head_after;     // expected, m
  double lift;           // expected, m3: brought up from the deep aquifer to hold the
                         // head 1 mm above the bottom
  double owed = 0.0;     // expected, m3: stream water the cell could not give yet
  double drop = 0.0;     // cm the soil took from the table (negative), before the step
  double owed_drop = 0.0;  // expected, cm: the soil's take the cell could not give yet
};

class sink_test : public gw_solve_test, public ::testing::WithParamInterface<sink_case> {};

TEST_P(sink_test, a_cell_gives_and_takes_what_its_thickness_allows) {
  const sink_case& k = GetParam();
  aquifer a(1, 1, 10.0, 40.0, 0.0, k.head, 360.0, 0.2);
  a.gw.settings.leakage_rate = k.leakage_rate;
  a.gw.gw_static_flux[1] = k.static_flux;
  a.gw.gw_recharge[1] = k.recharge;
  a.gw.gw_stream_vol[1] = k.stream_volume;
  a.gw.gw_drop_vol[1] = k.drop;
  a.with.channels = 1;
  const double given = a.run(1, 100.0);
  ASSERT_EQ(error_state.code, 0);
  EXPECT_NEAR(given, -k.sink * 100.0 * 100.0 + k.lift, 1e-12);
  // The lift is leakage back from below.
  EXPECT_NEAR(a.gw.gw_leakage[1], k.leakage - k.lift / 100.0 / 100.0, 1e-15);
  EXPECT_NEAR(a.gw.gw_pump_rate[1], k.pump, 1e-15);
  EXPECT_NEAR(a.gw.elevgw[1], k.head_after, 1e-9);
  // What the cell lost or gained is what the solve says it gave.
  EXPECT_NEAR((a.gw.elevgw[1] - k.head) * 0.2 * 100.0, given, 1e-9);
  EXPECT_NEAR(a.gw.gw_stream_vol[1], k.owed, 1e-12);  // the rest of the stream's take
  EXPECT_NEAR(a.gw.gw_drop_vol[1], k.owed_drop, 1e-12);  // the rest of the soil's take
}

INSTANTIATE_TEST_SUITE_P(
    cases, sink_test,
    ::testing::Values(
        // Pumped, recharged and leaking: 1e-6 - 3.6e-5 + 1e-6 m/s.
        sink_case{"normal", 5.0, 0.36, 1e-6, 0.36, 0.0, -3.4e-5, 1e-6, 1e-6, 5.017, 0.0},
        // Below 1 cm of water nothing leaks or is pumped.
        sink_case{"thin", 0.005, 3.6, 1e-6, 0.0, 0.0, 0.0, 0.0, 0.0, 0.005, 0.0},
        // Below 1 mm a stream cannot draw on the cell either: what it took
        // stays owed; the head is then held 1 mm above the bottom by
        // 0.5 mm x 0.2 x 100 m2 from below.
        sink_case{"nearly_dry", 0.0005, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.001, 0.01, 1.0},
        // A leak of 1 cm/s would take 1 m: the cell holds 0.05 x 0.2 m, and
        // gives all but the last millimetre of thickness, 9.8e-5 m/s, which
        // is what the deep aquifer gets.
        sink_case{"drained", 0.05, 3600.0, 0.0, 0.0, 0.0, 9.8e-5, 9.8e-5, 0.0, 0.001, 0.0},
        // A well of 1e-4 m/s and a stream that took 1 m3 (1e-4 m/s) from
        // the same 9.8e-5 m/s: the well gives way first, and the stream's
        // last 2e-6 m/s x 100 s x 100 m2 stays owed.
        sink_case{"well_and_stream", 0.05, 0.0, 1e-4, 0.0, 1.0, 9.8e-5, 0.0, 0.0, 0.001, 0.0,
                  0.02},
        // The soil below the ground took 1 cm (1e-4 m/s) as the table rose,
        // the well 1e-4 m/s more: the well gives way, then the soil's last
        // 2e-6 m/s x 100 s = 0.02 cm stays owed.
        sink_case{"well_and_soil", 0.05, 0.0, 1e-4, 0.0, 0.0, 9.8e-5, 0.0, 0.0, 0.001, 0.0,
                  0.0, -1.0, -0.02}),
    [](const ::testing::TestParamInfo<sink_case>& i) { return i.param.name; });

TEST_F(gw_solve_test, an_empty_interval_moves_nothing_and_keeps_the_exchange_for_later) {
  closed_basin a;
  a.with.channels = 1;
  a.gw.gw_stream_vol[7] = 12.0;
  double vadose = 1.0;
  EXPECT_EQ(gw_solve(a.gw, a.grid, a.with, 0.0, vadose), 0.0);
  EXPECT_EQ(vadose, 0.0);
  EXPECT_EQ(a.gw.gw_stream_vol[7], 12.0);
  EXPECT_EQ(a.gw.elevgw[7], 20.0);
  EXPECT_EQ(error_state.code, 0);
}

TEST_F(gw_solve_test, a_head_that_is_not_a_number_stops_the_solve_naming_its_cell) {
  closed_basin a;
  a.gw.elevgw[9] = std::numeric_limits<double>::quiet_NaN();
  stdout_capture out;
  double vadose = 0.0;
  EXPECT_EQ(gw_solve(a.gw, a.grid, a.with, 3600.0, vadose), 0.0);
  const std::string text = out.stop();
  EXPECT_TRUE(has(text, "elevgw NaN in main()- point 7, grid cell 9\n")) << text;
  EXPECT_EQ(error_state.stop_flag, 1);
}

// The line solver on its own: a 2 x 2 grid with one held cell.
struct small_system {
  block_2d<int> mask;
  gw_system sys;
  gw_line_work work;
  std::vector<double> head{0.0, 1.0, 2.0, 3.0, 4.0};
  small_system() {
    mask.allocate_grid(2, 2);
    mask[1][1] = 1, mask[1][2] = 2, mask[2][1] = 3, mask[2][2] = 4;
    for (auto* v : {&sys.above, &sys.left, &sys.right, &sys.below, &sys.diagonal, &sys.rhs})
      v->assign(5, 0.0);
    EXPECT_TRUE(size_line_work(work, 4, 2, 2));
    // Cell 1 held; the others leak to it and to each other at 1/s with a
    // storage term of 1/s.
    sys.diagonal[1] = 1.0;
    sys.rhs[1] = 1.0;
    sys.left[2] = 1.0, sys.below[2] = 1.0, sys.diagonal[2] = -3.0;
    sys.above[3] = 1.0, sys.right[3] = 1.0, sys.diagonal[3] = -3.0;
    sys.above[4] = 1.0, sys.left[4] = 1.0, sys.diagonal[4] = -3.0;
    for (int i = 2; i <= 4; ++i) sys.rhs[i] = -head[i];
  }
  int solve(double tolerance, int orientation = 1) {
    return gw_lsor_solve(head.data(), 1.0, 2, 2, sys, tolerance, work, 1, orientation, mask);
  }
};

TEST_F(gw_solve_test, line_solver_converges_in_either_orientation_to_the_exact_heads) {
  for (int orientation : {0, 1}) {
    small_system s;
    const int sweeps = s.solve(1e-12, orientation);
    EXPECT_GT(sweeps, 1);
    EXPECT_EQ(s.head[1], 1.0);
    // Each free cell: the sum of its neighbours' heads + its old head = 3 x its head.
    EXPECT_NEAR(3.0 * s.head[2], s.head[1] + s.head[4] + 2.0, 1e-11);
    EXPECT_NEAR(3.0 * s.head[3], s.head[1] + s.head[4] + 3.0, 1e-11);
    EXPECT_NEAR(3.0 * s.head[4], s.head[2] + s.head[3] + 4.0, 1e-11);
  }
}

TEST_F(gw_solve_test, line_solver_stops_with_a_message_instead_of_sweeping_for_ever) {
  struct stop_case {
    const char* name;
    double tolerance;
    double rhs3;
    const char* message;
  };
  const stop_case cases[] = {
      {"a tolerance of 0 is never met", 0.0, -3.0,
       "Error: Non-convergence in the groundwater line solver after 10000 sweeps"},
      {"a head that is no number", 1e-7, std::numeric_limits<double>::quiet_NaN(),
       "groundwater line solver after 1 sweeps (largest head change of the last sweep nan"}};
  for (const stop_case& k : cases) {
    error_state = error_record{};
    small_system s;
    s.sys.rhs[3] = k.rhs3;
    stdout_capture out;
    EXPECT_EQ(s.solve(k.tolerance), -1) << k.name;
    const std::string text = out.stop();
    EXPECT_TRUE(has(text, k.message)) << k.name << ": " << text;
    EXPECT_EQ(error_state.stop_flag, 1) << k.name;
  }
  error_state = error_record{};
  small_system s;
  for (int r = 1; r <= 2; ++r) s.mask[r][1] = s.mask[r][2] = 0;
  EXPECT_EQ(s.solve(1e-7), 1);  // no cells: converged at once
  EXPECT_EQ(error_state.stop_flag, 0);
}

// The line solver alone on a 23 x 17 grid with a hole, varied coefficients
// and a NaN-free or poisoned right-hand side: the sweeps run as a wavefront
// over the threads, so every thread count must give the serial heads, sweep
// count and message bit for bit, whichever way the lines run.
struct varied_system {
  static constexpr int rows = 23, cols = 17;
  block_2d<int> mask;
  gw_system sys;
  gw_line_work work;
  std::vector<double> head;
  int cells = 0;
  varied_system() {
    mask.allocate_grid(rows, cols);
    for (int r = 1; r <= rows; ++r)
      for (int c = 1; c <= cols; ++c)
        if (!(r > 8 && r < 12 && c > 5 && c < 10)) mask[r][c] = ++cells;
    for (auto* v : {&sys.above, &sys.left, &sys.right, &sys.below, &sys.diagonal, &sys.rhs})
      v->assign(std::size_t(cells) + 1, 0.0);
    head.assign(std::size_t(cells) + 1, 0.0);
    EXPECT_TRUE(size_line_work(work, cells, rows, cols));
    work.parallel_min_slots = 0;
    for (int r = 1; r <= rows; ++r)
      for (int c = 1; c <= cols; ++c) {
        const int i = mask[r][c];
        if (i == 0) continue;
        const double k = 1.0 + 0.37 * ((r * 7 + c * 3) % 11);
        sys.above[i] = mask[r - 1][c] ? k : 0.0;
        sys.below[i] = mask[r + 1][c] ? 0.5 * k : 0.0;
        sys.left[i] = mask[r][c - 1] ? 0.8 * k : 0.0;
        sys.right[i] = mask[r][c + 1] ? 1.1 * k : 0.0;
        sys.diagonal[i] =
            -(sys.above[i] + sys.below[i] + sys.left[i] + sys.right[i] + 0.01 * (1 + i % 5));
        sys.rhs[i] = -0.02 * ((i * 13) % 17);
        head[i] = 0.1 * (i % 9);
      }
  }
};

TEST_F(gw_solve_test, line_solver_gives_the_serial_heads_on_any_number_of_threads) {
  struct solve_case {
    const char* name;
    int orientation, direction;
    double relax, tolerance;
    bool poisoned;
  };
  const solve_case cases[] = {
      {"rows, first to last", 1, 1, 1.3, 1e-10, false},
      {"columns, last to first", 0, -1, 1.0, 1e-10, false},
      {"rows, last to first, under-relaxed", 1, -1, 0.7, 1e-8, false},
      {"a head that is no number midway", 0, 1, 1.3, 1e-10, true},
      {"never converged", 1, 1, 1.0, 0.0, false},
  };
  const int before = omp_get_max_threads();
  for (const solve_case& k : cases) {
    struct outcome {
      int sweeps;
      std::vector<double> head;
      std::string text;
    };
    auto solve = [&](int threads) {
      omp_set_num_threads(threads);
      error_state = error_record{};
      varied_system v;
      if (k.poisoned) v.sys.rhs[v.cells / 2] = std::numeric_limits<double>::quiet_NaN();
      stdout_capture out;
      const int sweeps = gw_lsor_solve(v.head.data(), k.relax, v.rows, v.cols, v.sys,
                                       k.tolerance, v.work, k.direction, k.orientation, v.mask);
      return outcome{sweeps, v.head, out.stop()};
    };
    const outcome one = solve(1);
    EXPECT_EQ(one.sweeps > 1, !k.poisoned && k.tolerance > 0.0) << k.name;
    // Asked for 8 from inside another parallel region, the runtime gives
    // the solve a team of one: it must still finish, and alike.
    auto nested = [&](int threads) {
      outcome o;
#pragma omp parallel num_threads(2)
#pragma omp single
      o = solve(threads);
      return o;
    };
    for (int threads : {2, 3, 8, -8}) {
      const outcome many = threads > 0 ? solve(threads) : nested(-threads);
      EXPECT_EQ(many.sweeps, one.sweeps) << k.name << ", " << threads << " threads";
      EXPECT_EQ(many.text, one.text) << k.name << ", " << threads << " threads";
      ASSERT_EQ(many.head.size(), one.head.size());
      EXPECT_EQ(std::memcmp(many.head.data(), one.head.data(), one.head.size() * sizeof(double)),
                0)
          << k.name << ", " << threads << " threads";
    }
  }
  omp_set_num_threads(before);
  error_state = error_record{};
}

TEST_F(gw_solve_test, relaxation_and_tolerance_cards_outside_their_range_are_refused) {
  struct card_case {
    double relax, tolerance;
    bool accepted;
  };
  const card_case cases[] = {{1.0, 1e-5, true},  {1.8, 1e-5, true},  {0.0, 1e-5, false},
                             {2.0, 1e-5, false}, {-0.5, 1e-5, false},
                             {std::nan(""), 1e-5, false},            {1.0, 0.0, false}};
  // Without the card the factor is 1: plain line Gauss-Seidel.
  EXPECT_EQ(project_settings{}.gw_relax_coeff, 1.0);
  for (const card_case& k : cases) {
    error_state = error_record{};
    project_settings s;
    s.gw_relax_coeff = k.relax;
    s.gw_lsor_con = k.tolerance;
    gw_settings out;
    stdout_capture capture;
    const bool accepted = gw_settings_from(s, out);
    const std::string text = capture.stop();
    EXPECT_EQ(accepted, k.accepted) << k.relax << " " << k.tolerance;
    if (k.accepted) {
      EXPECT_EQ(out.relax, k.relax);
      continue;
    }
    EXPECT_EQ(error_state.stop_flag, 1);
    EXPECT_TRUE(has(text, k.tolerance > 0.0 ? "GW_RELAX_COEFF" : "GW_LSOR_CON")) << text;
  }
}


// The wavefront's waits on a machine with more runnable threads than
// processors: busy threads of the test's own hold every processor while
// the solve runs scores of times at 2 to 8 threads, ending by convergence
// (so the sweeps after the last give way while others sleep on them) and
// by a poisoned head. A lost wake-up hangs the solve: the watchdog then
// fails the test instead of letting it hang.
TEST_F(gw_solve_test, line_solver_never_hangs_and_keeps_its_heads_on_a_busy_machine) {
  // The watchdog outlives the busy threads: it is disarmed only once they
  // have stopped and every solve has come back.
  test_support::watchdog watch("the line solver", 240);
  test_support::busy_machine busy(200);
  const int before = omp_get_max_threads();
  auto solve = [](int threads, bool poisoned, int direction, std::vector<double>& head) {
    omp_set_num_threads(threads);
    error_state = error_record{};
    varied_system v;
    if (poisoned) v.sys.rhs[v.cells / 3] = std::numeric_limits<double>::quiet_NaN();
    stdout_capture out;
    const int sweeps = gw_lsor_solve(v.head.data(), 1.3, v.rows, v.cols, v.sys, 1e-10, v.work,
                                     direction, 1, v.mask);
    out.stop();
    head = v.head;
    return sweeps;
  };
  std::vector<double> serial_head, head;
  int differ = 0;
  for (int round = 0; round < 8; ++round) {
    const bool poisoned = round % 3 == 2;
    const int direction = round % 2 == 0 ? 1 : -1;
    const int serial = solve(1, poisoned, direction, serial_head);
    for (int threads = 2; threads <= 8; ++threads) {
      const int sweeps = solve(threads, poisoned, direction, head);
      if (sweeps != serial ||
          std::memcmp(head.data(), serial_head.data(), head.size() * sizeof(double)) != 0)
        ++differ;
    }
  }
  omp_set_num_threads(before);
  error_state = error_record{};
  EXPECT_EQ(differ, 0);
}

}  // namespace
