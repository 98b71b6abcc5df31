// The ADE router's rules on the smallest grids that show them: the depth
// check's codes, the choice and partition of the sub-steps, the outlet's
// normal-depth outflow, the failure floor, and the overland step around the
// router.

#include "surface/ade_route.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/parallel_team.h"
#include "surface/face_fluxes.h"
#include "surface_run_fixture.h"
#include "test_support.h"

namespace {

using namespace surface_fixture;
using test_support::stdout_capture;

TEST(ade_depth_check, codes_and_small_negative_depths) {
  // One cell of 1 m, nothing entering: the sweep's outflow q over s seconds
  // takes q x s metres off its depth.
  struct check_case {
    const char* label;
    double depth;  // m, also the depth before the sweep
    double q;      // m3/s out through the right face
    double s;      // sub-step, s
    int code;
    double after;  // m
    double cleared;
  };
  const check_case cases[] = {
      {"a change of 0.6 of a depth above 0.01 m", 0.02, 0.012, 1.0, 1, 0.008, 0.0},
      {"the same change at 0.01 m", 0.01, 0.006, 1.0, 0, 0.004, 0.0},
      {"the same change at a sub-step of 0.1 s", 0.02, 0.12, 0.1, 0, 0.008, 0.0},
      {"a change of half the depth", 0.02, 0.01, 1.0, 0, 0.01, 0.0},
      {"-5e-6 m is set to 0", 0.001, 0.001005, 1.0, 0, 0.0, 5e-6},
      {"emptying a deep cell to -5e-6 m", 0.02, 0.020005, 1.0, 1, 0.0, 5e-6},
      {"-2e-5 m restarts", 0.001, 0.00102, 1.0, 2, -2e-5, 0.0},
      {"any negative depth below 0.001 s restarts", 0.0, 1.0, 0.0005, 2, -0.0005, 0.0},
  };
  for (const check_case& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<double> h = {0.0, c.depth}, before = h, dh(2, 0.0), flux = {0.0, c.q};
    std::vector<double> volume(2, 0.0), cleared(2, 0.0);
    const std::vector<int> up = {0, 0};
    int cleared_count = 0;
    const int code = ade_depth_check(1, h.data(), dh.data(), before.data(), flux.data(), up.data(),
                                     1.0, c.s, volume.data(), cleared.data(), &cleared_count);
    EXPECT_EQ(code, c.code);
    EXPECT_NEAR(h[1], c.after, 1e-15);
    EXPECT_EQ(before[1], h[1]);
    EXPECT_NEAR(dh[1], -c.q * c.s, 1e-15);
    EXPECT_NEAR(volume[1], c.q * c.s, 1e-15);
    EXPECT_NEAR(cleared[1], c.cleared, 1e-15);
    EXPECT_EQ(cleared_count, c.cleared > 0.0 ? 1 : 0);
  }
}

TEST(ade_route, the_single_pass_gives_each_face_the_face_laws_flux_to_the_bit) {
  // Four 10 m cells in a row, routed for one sub-step of 0.5 s with the x
  // sweep first: the fluxes it leaves are those of the depths it started
  // from, face by face as face_flux gives them. The first face runs off a
  // film of 1e-100 m, the second off 0.2 m into a nearly dry cell, the third
  // back up from the last cell, which stands higher.
  model_state s;
  build_grid(s, 1, 4, 10.0, {1.0, 0.5, 0.0, 0.0}, {0.05}, 1, 4, 0.01);
  const std::vector<double> start = {0.0, 1e-100, 0.2, 1e-3, 0.02};
  s.surface.depth = start;
  s.input.channel_routing = 1;  // the outlet keeps its water
  s.input.settings.overtype = 2;
  ade_overland_route(s, 0.5);
  EXPECT_EQ(s.surface.ade_substeps, 1);
  const face_inputs in = face_inputs_of(s);
  for (int i = 1; i <= 3; ++i) {
    SCOPED_TRACE(i);
    const double q = face_flux(in, start.data(), i, i + 1);
    EXPECT_EQ(s.surface.flux_x[i], q);
    EXPECT_EQ(s.surface.vol_x[i], q * 0.5);
  }
  EXPECT_GT(s.surface.flux_x[1], 0.0);
  EXPECT_GT(s.surface.flux_x[2], 1.0);
  EXPECT_LT(s.surface.flux_x[3], 0.0);
  EXPECT_EQ(s.surface.flux_x[4], 0.0);
}

// A grid of 10 m cells (50 x 40 unless given) with holes in its mask, so
// that faces reach unevenly far in cell numbers, on a bumpy tilt with rough
// patches, retention, dike sides and a pond that steeper neighbours drain
// dry.
void build_holed_grid(model_state& s, double handed_in = 0.0, int rows = 50, int cols = 40) {
  build_masked_grid(
      s, rows, cols, 10.0,
      [rows, cols](int r, int c) {
        const bool hole = (r * 7 + c * 3) % 11 == 0 || (r > 20 && r < 26 && c > 10 && c < 30);
        return !hole || (r == rows && c == cols / 2);
      },
      rows, cols / 2, 0.01);
  grid_state& g = s.grid;
  surface_state& sf = s.surface;
  sf.dike_mask.assign(std::size_t(g.cells) + 1, 0);
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) {
      const int i = g.mask[r][c];
      if (i == 0) continue;
      g.elevation[i] = 0.02 * (rows - r) * 10.0 + 0.3 * std::sin(0.7 * c) * std::cos(0.4 * r);
      sf.dist_rough[i] = (r + c) % 5 == 0 ? 0.2 : 0.04;
      sf.retent_dep[i] = c % 7 == 0 ? 0.002 : 0.0;
      sf.depth[i] = (r * c) % 13 == 0 ? 0.0 : 0.003 + 0.001 * ((r + 2 * c) % 9);
      if (r > 30 && r < 35 && c > 5 && c < 15) sf.depth[i] = 0.4;  // the pond
      if (r == 40 && c == 20) sf.depth[i] = handed_in;
      if ((r * 3 + c) % 17 == 0) sf.dike_mask[i] = 2 | 4;
    }
  s.input.settings.dike_map_given = 1;
}

TEST(ade_route, the_pass_over_both_directions_of_a_team_gives_one_threads_depths_to_the_bit) {
  // One thread routes each direction in a pass of its own; a team routes
  // both in one pass, the second trailing the first, and cuts the cells
  // into shares whose faces cross. Four steps of 10 s, the sweep order
  // alternating, leave the same depths, fluxes, volumes and changes on a
  // grid large enough that 2, 3 and 8 threads each make a team of that many.
  struct routed {
    std::vector<double> depth, flux_x, flux_y, vol_x, vol_y, change;
    long long substeps;
    double outflow;
  };
  const auto route_on = [](int threads, double handed_in) {
    const int saved = omp_get_max_threads();
    omp_set_num_threads(threads);
    model_state s;
    build_holed_grid(s, handed_in, 400, 380);
    s.input.settings.overtype = 2;
    double outflow = 0.0;
    stdout_capture capture;
    for (int k = 0; k < 4; ++k) {
      outflow += ade_overland_route(s, 10.0);
      s.surface.sweep_parity = s.surface.sweep_parity == 1 ? 2 : 1;
    }
    const std::string said = capture.stop();
    EXPECT_EQ(said.find("has been sent to overland routing") != std::string::npos,
              handed_in < 0.0);
    omp_set_num_threads(saved);
    const surface_state& sf = s.surface;
    return routed{sf.depth, sf.flux_x, sf.flux_y, sf.vol_x, sf.vol_y, sf.depth_change,
                  sf.ade_substeps, outflow};
  };
  const routed one = route_on(1, 0.0);
  {
    model_state s;
    build_holed_grid(s, 0.0, 400, 380);
    ASSERT_GE(s.grid.cells, 8 * sweep_cells_per_thread);  // a team of eight is taken
  }
  EXPECT_GT(one.outflow, 0.0);
  EXPECT_GT(one.substeps, 4);  // the pond's first steps halve the sub-step
  // A depth handed in below zero is set to 0 before any face sees it: the
  // team's first sweep meets it, and the step starts again without it.
  for (int threads : {2, 3, 8}) {
    SCOPED_TRACE(threads);
    const routed team = route_on(threads, threads == 3 ? -0.2 : 0.0);
    EXPECT_EQ(team.substeps, one.substeps);
    EXPECT_EQ(team.outflow, one.outflow);
    EXPECT_EQ(team.depth, one.depth);
    EXPECT_EQ(team.flux_x, one.flux_x);
    EXPECT_EQ(team.flux_y, one.flux_y);
    EXPECT_EQ(team.vol_x, one.vol_x);
    EXPECT_EQ(team.vol_y, one.vol_y);
    EXPECT_EQ(team.change, one.change);
  }
}

// The team sweep on a machine with more runnable threads than processors:
// busy threads of the test's own hold every processor while a grid large
// enough for a team of eight is routed round after round at 2 to 8 threads,
// its threads losing their processors between the barriers of every
// sub-step. Each round must leave one thread's depths and outflow to the
// bit; a lost wake-up hangs the sweep, and the watchdog then fails the test.
TEST(ade_route, the_team_sweep_never_hangs_and_keeps_its_depths_on_a_busy_machine) {
  struct routed {
    std::vector<double> depth, vol_x, vol_y;
    long long substeps;
    double outflow;
  };
  const auto route_on = [](int threads) {
    const int saved = omp_get_max_threads();
    omp_set_num_threads(threads);
    model_state s;
    build_holed_grid(s, 0.0, 400, 380);
    s.input.settings.overtype = 2;
    double outflow = 0.0;
    for (int k = 0; k < 2; ++k) {
      outflow += ade_overland_route(s, 10.0);
      s.surface.sweep_parity = s.surface.sweep_parity == 1 ? 2 : 1;
    }
    omp_set_num_threads(saved);
    const surface_state& sf = s.surface;
    return routed{sf.depth, sf.vol_x, sf.vol_y, sf.ade_substeps, outflow};
  };
  const routed one = route_on(1);
  {
    model_state s;
    build_holed_grid(s, 0.0, 400, 380);
    ASSERT_GE(s.grid.cells, 8 * sweep_cells_per_thread);  // a team of eight is taken
  }
  ASSERT_GT(one.substeps, 2);
  ASSERT_GT(one.outflow, 0.0);
  test_support::watchdog watch("the ADE team sweep", 280);
  test_support::busy_machine busy(200);
  int differ = 0;
  for (int round = 0; round < 2; ++round)
    for (int threads = 2; threads <= 8; ++threads) {
      const routed team = route_on(threads);
      const bool same = team.substeps == one.substeps && team.outflow == one.outflow &&
                        team.depth == one.depth && team.vol_x == one.vol_x &&
                        team.vol_y == one.vol_y;
      if (!same) ++differ;
      EXPECT_TRUE(same) << threads << " threads, round " << round;
    }
  EXPECT_EQ(differ, 0);
}

// One 10 m cell that is its own outlet: only the outlet drains it, so each
// sub-step s takes Q(h) x s / 100 m off its depth.
struct outlet_cell {
  model_state s;
  explicit outlet_cell(double depth, double n = 0.05) {
    build_grid(s, 1, 1, 10.0, {0.0}, {n}, 1, 1, 0.01);
    s.surface.depth[1] = depth;
    s.input.settings.overtype = 2;
  }
};

double outlet_q(double h) { return std::pow(h, 5.0 / 3.0) / 0.05 * std::sqrt(0.01) * 10.0; }

// The depth left after draining the outlet cell over the given sub-steps.
double drained(double h, const std::vector<double>& substeps) {
  for (double s : substeps) h -= outlet_q(h) * s / 100.0;
  return h;
}

TEST(ade_route, the_sub_step_carries_over_halves_after_a_large_change_and_doubles_up_to_the_step) {
  struct substep_case {
    const char* label;
    int calls;       // earlier calls
    double last;     // last sub-step, s
    int check;       // check flag left by the last sub-step
    double used;     // sub-step of this call, s
  };
  const substep_case cases[] = {
      {"the first call takes the step", 0, 0.0, 0, 10.0},
      {"a sub-step of the whole step stays", 4, 10.0, 0, 10.0},
      {"a shorter one doubles", 4, 2.5, 0, 5.0},
      {"after a large change it halves", 4, 10.0, 1, 5.0},
      {"after a large change a short one halves too", 4, 4.0, 1, 2.0},
  };
  for (const substep_case& c : cases) {
    SCOPED_TRACE(c.label);
    outlet_cell cell(0.0);
    cell.s.surface.ade_calls = c.calls;
    cell.s.surface.ade_substep = c.last;
    cell.s.surface.ade_check = c.check;
    EXPECT_EQ(ade_overland_route(cell.s, 10.0), 0.0);
    EXPECT_EQ(cell.s.surface.ade_substep, c.used);
    EXPECT_EQ(cell.s.surface.ade_calls, c.calls + 1);
  }
}

TEST(ade_route, the_last_sub_step_absorbs_the_rest_of_the_step) {
  struct partition_case {
    const char* label;
    double last;  // halved from the last call's sub-step, doubled back here
    std::vector<double> substeps;
  };
  const partition_case cases[] = {
      {"sub-step 3 s: 3, 3 and 4", 1.5, {3.0, 3.0, 4.0}},
      {"sub-step 4 s: 4, 4 and 2", 2.0, {4.0, 4.0, 2.0}},
      {"sub-step 2.5 s: four of them", 1.25, {2.5, 2.5, 2.5, 2.5}},
  };
  for (const partition_case& c : cases) {
    SCOPED_TRACE(c.label);
    outlet_cell cell(0.5);
    cell.s.surface.ade_calls = 1;
    cell.s.surface.ade_substep = c.last;
    const double volume = ade_overland_route(cell.s, 10.0);
    const double left = drained(0.5, c.substeps);
    EXPECT_NEAR(cell.s.surface.depth[1], left, 1e-14);
    EXPECT_NEAR(volume, (0.5 - left) * 100.0, 1e-11);
    // A partition that differs moves the depth by far more than that.
    EXPECT_GT(std::fabs(drained(0.5, {10.0}) - left), 1e-4);
  }
}

TEST(ade_route, a_face_volume_is_what_crossed_in_every_sub_step_of_the_step) {
  // Two 10 m cells in a row, the upper one wet, routed for a step of 10 s in
  // sub-steps of 3, 3 and 4 s: the right face's volume is the water the
  // lower cell gained, whatever the volumes held from the step before.
  model_state s;
  build_grid(s, 1, 2, 10.0, {1.0, 0.0}, {0.05}, 1, 2, 0.01);
  s.input.channel_routing = 1;  // the outlet keeps its water
  s.input.settings.overtype = 2;
  s.surface.depth[1] = 0.05;
  s.surface.vol_x[1] = 99.0;  // left by an earlier step
  s.surface.vol_y[1] = 99.0;
  s.surface.ade_calls = 1;
  s.surface.ade_substep = 1.5;
  ade_overland_route(s, 10.0);
  EXPECT_GE(s.surface.ade_substeps, 3);  // and more where the change is large
  EXPECT_NEAR(s.surface.vol_x[1], s.surface.depth[2] * 100.0, 1e-12);
  EXPECT_NEAR(s.surface.vol_x[1], (0.05 - s.surface.depth[1]) * 100.0, 1e-12);
  EXPECT_GT(s.surface.vol_x[1], 0.1);
  EXPECT_EQ(s.surface.vol_y[1], 0.0);
}

TEST(ade_route, the_outlet_gives_what_it_holds_and_nothing_with_channel_routing) {
  // Roughness 1e-6 drains far more than the cell holds in one sub-step.
  outlet_cell empties(0.25, 1e-6);
  EXPECT_EQ(ade_overland_route(empties.s, 10.0), 0.25 * 100.0);
  EXPECT_EQ(empties.s.surface.depth[1], 0.0);

  for (int scheme : {2, 3}) {
    SCOPED_TRACE(scheme);
    outlet_cell channel(0.25);
    channel.s.input.settings.overtype = scheme;
    channel.s.input.channel_routing = 1;
    EXPECT_EQ(ade_overland_route(channel.s, 10.0), 0.0);
    EXPECT_EQ(channel.s.surface.depth[1], 0.25);
  }

  outlet_cell explicit_scheme(0.25);
  explicit_scheme.s.input.settings.overtype = 1;
  EXPECT_EQ(ade_overland_route(explicit_scheme.s, 10.0), 0.0);
}

TEST(ade_route, predictor_corrector_drains_half_a_step_of_outflow_in_the_y_pass) {
  outlet_cell cell(0.5);
  cell.s.input.settings.overtype = 3;
  const double volume = ade_overland_route(cell.s, 10.0);
  const double expected = outlet_q(0.5) * 0.5 * 10.0;
  EXPECT_NEAR(volume, expected, 1e-12);
  EXPECT_NEAR(cell.s.surface.depth[1], 0.5 - expected / 100.0, 1e-15);
}

// Two 1 m cells, the first 100 m above the second, with roughness 1e-12:
// the first cell's outflow empties it below zero at any sub-step.
void build_cliff(model_state& s) {
  build_grid(s, 1, 2, 1.0, {100.0, 0.0}, {1e-12}, 1, 2, 0.01);
  s.surface.depth[1] = 1.0;
}

const char* const really_small =
    "The ADE overland routing time step is getting really small\n"
    "less than 1/100 of a second\n"
    "Reduce the model time step by a factor of 2 and try again.\n"
    "Program stopped.\n";

TEST(ade_route, a_sub_step_below_a_thousandth_of_a_second_stops_the_run) {
  clear_errors();
  model_state s;
  build_cliff(s);
  s.input.settings.overtype = 2;
  stdout_capture capture;
  const double volume = ade_overland_route(s, 10.0);
  const std::string out = capture.stop();
  EXPECT_EQ(volume, ade_route_failed);
  EXPECT_EQ(out, std::string(really_small) + "\n");
  EXPECT_EQ(error_state.stop_flag, 1);
  clear_errors();
}

TEST(ade_route, a_negative_depth_handed_in_is_reported_and_routed_as_zero) {
  // Three 10 m cells in a row, the first wet, the second handed in dry or
  // 0.3 m below zero.
  const auto three_cells = [](model_state& s, double second) {
    build_grid(s, 1, 3, 10.0, {0.0, 0.0, 0.0}, {0.05}, 1, 3, 0.01);
    s.input.settings.overtype = 2;
    s.surface.depth = {0.0, 0.05, second, 0.0};
  };
  clear_errors();
  model_state s;
  three_cells(s, -0.3);
  stdout_capture capture;
  EXPECT_EQ(ade_overland_route(s, 10.0), 0.0);
  EXPECT_EQ(capture.stop(),
            "A negative number for water depth has been sent to overland routing for overland "
            "cell 2 \nValue being set to zero\n");
  EXPECT_EQ(s.surface.saved_depth[2], 0.0);
  EXPECT_NEAR(s.surface.cleanup_volume, 0.3 * 100.0, 1e-12);
  EXPECT_EQ(error_state.stop_flag, 0);
  // The step is routed as if the depth had come in as 0.
  model_state zero;
  three_cells(zero, 0.0);
  ade_overland_route(zero, 10.0);
  EXPECT_GT(s.surface.depth[2], 0.0);
  EXPECT_EQ(s.surface.depth, zero.surface.depth);
  EXPECT_EQ(s.surface.vol_x, zero.surface.vol_x);
  EXPECT_EQ(s.surface.ade_substeps, zero.surface.ade_substeps);
}

// A record at an overland time with the given grid, ready for overland_step.
void at_overland_time(model_state& s, int scheme) {
  s.input.settings.overtype = scheme;
  s.run.overland.set_interval(10.0);
  s.run.current_time = 1.0;
  s.run.overland.next = 1.0;
  s.run.overland.last = 1.0 - 10.0 / 86400.0;
}

TEST(overland_step, a_failed_route_books_nothing) {
  clear_errors();
  model_state s;
  build_cliff(s);
  at_overland_time(s, 2);
  s.run.q_out = 3.0;
  stdout_capture capture;
  overland_step(s);
  const std::string out = capture.stop();
  EXPECT_NE(out.find(really_small), std::string::npos) << out;
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_EQ(s.run.q_out, 0.0);
  EXPECT_EQ(s.surface.outflow_volume, 0.0);
  EXPECT_EQ(s.surface.event_outflow_volume, 0.0);
  clear_errors();
}

TEST(overland_step, a_dry_surface_is_not_routed_but_the_clock_goes_on) {
  clear_errors();
  model_state s;
  build_plane20(s);
  at_overland_time(s, 2);
  s.run.q_out = 3.0;
  overland_step(s);
  EXPECT_EQ(error_state.stop_flag, 0);
  EXPECT_EQ(s.run.q_out, 0.0);
  EXPECT_EQ(s.surface.ade_calls, 0);
  EXPECT_EQ(s.surface.sweep_parity, 1);
  EXPECT_EQ(s.run.overland.last, 1.0);
  EXPECT_EQ(s.run.overland.next, 1.0 + 10.0 / 86400.0);

  // Wet, it is routed: the outlet discharge is the step's volume over the
  // step, booked in the event and run totals, and the sweep order turns.
  s.surface.depth[20] = 0.1;
  at_overland_time(s, 2);
  overland_step(s);
  EXPECT_EQ(s.surface.ade_calls, 1);
  EXPECT_EQ(s.surface.sweep_parity, 2);
  EXPECT_GT(s.run.q_out, 0.0);
  EXPECT_NEAR(s.run.q_out * 10.0, s.surface.outflow_volume, 1e-9 * s.surface.outflow_volume);
  EXPECT_EQ(s.surface.event_outflow_volume, s.surface.outflow_volume);
  EXPECT_NEAR(s.surface.outflow_volume + s.surface.depth[20] * 1e4, 0.1 * 1e4, 1e-9);

  // Between overland times nothing happens.
  s.run.current_time += 5.0 / 86400.0;
  overland_step(s);
  EXPECT_EQ(s.surface.ade_calls, 1);
}

TEST(overland_step, the_ade_reports_the_mean_outlet_discharge_of_the_last_two_steps) {
  // The first routed step has only its own volume; every later one the
  // volume of both steps (one sweeping x first, the other y first) over
  // their 20 s. A dry step between forgets the pair. The books hold each
  // step's own volume.
  clear_errors();
  model_state s;
  build_plane20(s);
  s.surface.depth[20] = 0.1;
  at_overland_time(s, 2);
  overland_step(s);
  const double first = s.surface.outflow_volume;
  EXPECT_NEAR(s.run.q_out, first / 10.0, 1e-12 * first);
  at_overland_time(s, 2);
  overland_step(s);
  const double second = s.surface.outflow_volume - first;
  ASSERT_GT(std::fabs(second - first), 1e-6 * first);  // else the test shows nothing
  EXPECT_NEAR(s.run.q_out, (first + second) / 20.0, 1e-12 * first);
  EXPECT_EQ(s.surface.event_outflow_volume, s.surface.outflow_volume);
  EXPECT_NEAR(s.surface.outflow_volume + s.surface.depth[20] * 1e4 +
                  [&] {
                    double held = 0.0;
                    for (int i = 1; i < 20; ++i) held += s.surface.depth[std::size_t(i)] * 1e4;
                    return held;
                  }(),
              0.1 * 1e4, 1e-9);

  for (double& h : s.surface.depth) h = 0.0;
  at_overland_time(s, 2);
  overland_step(s);
  EXPECT_EQ(s.run.q_out, 0.0);
  s.surface.depth[20] = 0.1;
  const double before = s.surface.outflow_volume;
  at_overland_time(s, 2);
  overland_step(s);
  EXPECT_NEAR(s.run.q_out, (s.surface.outflow_volume - before) / 10.0, 1e-12 * first);
  clear_errors();
}

TEST(overland_step, a_depth_that_is_not_a_number_stops_the_run_naming_the_cell) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // A depth is not a number at cell 3, or infinite at cell 4.
  struct nan_case {
    const char* label;
    int nan_depth_cell;  // 0 none
    int nan_rough_cell;  // 0 none
    int rain_active;
    std::string message;  // empty: the run goes on
  };
  const nan_case cases[] = {
      {"before routing", 3, 0, 1,
       "A non-real overland flow water depth has been detected in cell 3 after applying overland "
       "boundary conditions and overland pumping.\n"},
      {"made by routing, after the rain", 0, 2, 0,
       "A non-real overland flow water depth has been detected in cell 2 after overland flow "
       "routing.\n"},
      {"made by routing while it rains", 0, 2, 1,
       "A non-real overland flow water depth has been detected in cell 2 after overland flow "
       "routing.\n"},
      {"infinite before routing", 4, 0, 1,
       "A non-real overland flow water depth has been detected in cell 4 after applying overland "
       "boundary conditions and overland pumping.\n"},
  };
  for (const nan_case& c : cases) {
    SCOPED_TRACE(c.label);
    clear_errors();
    model_state s;
    build_plane20(s);
    for (int i = 1; i <= 20; ++i) s.surface.depth[i] = 0.05;
    if (c.nan_depth_cell == 3) s.surface.depth[3] = nan;
    if (c.nan_depth_cell == 4) s.surface.depth[4] = std::numeric_limits<double>::infinity();
    if (c.nan_rough_cell) s.surface.dist_rough[c.nan_rough_cell] = nan;
    at_overland_time(s, 2);
    s.run.rain_active = c.rain_active;
    test_support::temp_dir dir;
    test_support::scoped_cwd cwd(dir.path());
    stdout_capture capture;
    overland_step(s);
    const std::string out = capture.stop();
    EXPECT_EQ(out, c.message +
                       "\nThe overland depths at the stop are written to nan_depth.out, and the "
                       "cells holding a non-real value are marked 1 in nan_cells.out.\n");
    EXPECT_EQ(error_state.stop_flag, 1);
    // Nothing of the step reaches the outlet's totals.
    EXPECT_EQ(s.surface.outflow_volume, 0.0);
    // The grids show the depths and where they went wrong: the cell named
    // is marked, and before routing it is the only one.
    const std::vector<std::string> cells = test_support::lines_of(
        test_support::read_file(dir.file("nan_cells.out")));
    const std::vector<std::string> depths = test_support::lines_of(
        test_support::read_file(dir.file("nan_depth.out")));
    ASSERT_EQ(cells.size(), depths.size());
    ASSERT_GT(cells.size(), 6u);
    EXPECT_EQ(cells[0].rfind("north: ", 0), 0u);
    int marked = 0;
    for (std::size_t k = 6; k < cells.size(); ++k)
      for (std::size_t at = cells[k].find("1.000000"); at != std::string::npos;
           at = cells[k].find("1.000000", at + 1))
        ++marked;
    EXPECT_GE(marked, 1);
    if (c.nan_depth_cell != 0) {
      EXPECT_EQ(marked, 1);
    }
    const std::string all_depths = test_support::read_file(dir.file("nan_depth.out"));
    EXPECT_TRUE(all_depths.find("nan") != std::string::npos ||
                all_depths.find("inf") != std::string::npos);
    EXPECT_NE(all_depths.find("0.050000"), std::string::npos);
  }
  clear_errors();
}

TEST(overland_step, an_unstable_predictor_corrector_step_stops_instead_of_booking_infinity) {
  // A closed 5 x 5 plane of 10 m cells falling 2 % south and 1 % east to its
  // outlet corner under 2 cm of water, routed by the
  // predictor-corrector at 120 s: the water piling up in the corner moves
  // more than a cell a step, the depths swing ever wider and overflow
  // within a few steps. The run must stop at the step that overflowed, rain
  // or no rain, naming a cell, with every total still a number.
  clear_errors();
  model_state s;
  std::vector<double> z;
  for (int r = 1; r <= 5; ++r)
    for (int c = 1; c <= 5; ++c) z.push_back(0.2 * (5 - r) + 0.1 * (5 - c));
  build_grid(s, 5, 5, 10.0, z, {0.05}, 5, 5, 0.01);
  for (int i = 1; i <= 25; ++i) s.surface.depth[i] = 0.02;
  s.input.settings.overtype = 3;
  s.run.overland.set_interval(120.0);
  s.run.rain_active = 1;
  test_support::temp_dir dir;  // the stop leaves its grids there
  test_support::scoped_cwd cwd(dir.path());
  stdout_capture capture;
  int steps = 0;
  while (steps < 20 && error_state.stop_flag == 0) {
    s.run.overland.last = steps * 120.0 / 86400.0;
    s.run.current_time = s.run.overland.next = (steps + 1) * 120.0 / 86400.0;
    overland_step(s);
    ++steps;
  }
  const std::string out = capture.stop();
  EXPECT_LE(steps, 5);
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_EQ(out.rfind("A non-real overland flow water depth has been detected in cell ", 0), 0u)
      << out;
  EXPECT_NE(out.find(" after overland flow routing.\n"), std::string::npos) << out;
  EXPECT_TRUE(std::isfinite(s.surface.outflow_volume));
  EXPECT_TRUE(std::isfinite(s.run.q_out));
  clear_errors();
}

}  // namespace
