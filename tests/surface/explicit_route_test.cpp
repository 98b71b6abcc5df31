// The explicit overland scheme: the plane reaches its kinematic equilibrium,
// the water balance closes after every step, the routing does not depend on
// the thread count, the sub-step is cut and restored with its messages in
// their order, and the stability test looks at the cell that loses water.

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "surface/explicit_route.h"
#include "surface/face_fluxes.h"
#include "surface_run_fixture.h"
#include "test_support.h"

namespace {

using namespace surface_fixture;
using test_support::temp_dir;

run_output run_plane(temp_dir& dir, const std::string& extra,
                     const std::function<void(model_state&)>& after_pass = nullptr) {
  for (const char* name : {"mask.asc", "elevation.asc"})
    dir.write(name, fixture_text("plane20", name));
  dir.write("plane20.prj", fixture_text("plane20", "plane20.prj") + extra);
  return run_in_process(dir.path(), "plane20.prj", after_pass);
}

TEST(explicit_route, plane20_reaches_rain_rate_times_area_and_keeps_its_water) {
  temp_dir dir;
  double rain = 0.0, outflow = 0.0, storage = 0.0;
  const run_output out = run_plane(dir, "OVERTYPE explicit\n", [&](model_state& s) {
    rain = s.surface.rain_volume;
    outflow = s.surface.outflow_volume;
    storage = surface_volume(s);
  });
  ASSERT_EQ(out.status, 0) << out.text;
  // At 30 s the faces stay far inside the stability limits.
  EXPECT_EQ(out.text.find("need to split"), std::string::npos);
  EXPECT_EQ(out.text.find("Changing overland time step"), std::string::npos);
  const std::vector<progress_row> rows = progress_rows(out.text);
  ASSERT_EQ(rows.size(), 721u);
  int plateau = 0;
  for (const progress_row& r : rows) {
    if (r.minutes >= 180.0 - 1e-9 && r.minutes <= 239.5 + 1e-9) {
      EXPECT_EQ(r.q, 2.00) << r.minutes;  // 1e-5 m/s x 200000 m2
      ++plateau;
    }
  }
  EXPECT_EQ(plateau, 120);
  EXPECT_NEAR(rain, 28800.0, 1e-6 * 28800.0);
  EXPECT_NEAR(outflow + storage, rain, 1e-9 * rain);
}

TEST(explicit_route, rain_equals_outflow_plus_storage_after_every_step) {
  struct balance_case {
    const char* label;
    void (*build)(model_state&);
    double dt;
    double rain;  // mm/h
    int rain_steps;
    int steps;
  };
  const balance_case cases[] = {
      {"plane20", build_plane20, 30.0, 36.0, 480, 720},
      {"tilted V", build_tilted_v, 10.0, 10.8, 90 * 6, 120 * 6},
  };
  for (const balance_case& c : cases) {
    SCOPED_TRACE(c.label);
    clear_errors();
    model_state s;
    c.build(s);
    s.grid.slope_x.assign(s.grid.cells + 1, 0.0);
    s.grid.slope_y.assign(s.grid.cells + 1, 0.0);
    fill_cell_slopes(s.grid.cells, s.grid.dx, s.grid.elevation, s.grid.rightcon, s.grid.belowcon,
                     s.grid.slope_x, s.grid.slope_y);
    step_driver drive(s, c.dt, 1);
    // The V's channel fails its faces now and then at 10 s: those steps are
    // cut, with their lines.
    test_support::stdout_capture quiet;
    for (int k = 1; k <= c.steps; ++k) {
      ASSERT_TRUE(drive.step(k <= c.rain_steps ? c.rain : 0.0)) << k;
      ASSERT_LE(std::fabs(balance_residual(s)), 1e-9 * s.surface.rain_volume) << "step " << k;
    }
    quiet.stop();
    EXPECT_EQ(s.surface.cleanup_volume, 0.0);
    EXPECT_GT(s.surface.outflow_volume, 0.5 * s.surface.rain_volume);
  }
  clear_errors();
}

// What a run of the explicit router leaves: depths, face flows, outflow,
// sub-steps and its console lines.
struct routed {
  std::vector<double> values;
  double outflow = 0.0;
  long long substeps = 0;
  std::string text;
};

routed route_steps(void (*build)(model_state&), int threads, bool grid_order_pass, int steps,
                   double rain) {
  const int saved = omp_get_max_threads();
  omp_set_num_threads(threads);
  model_state s;
  build(s);
  s.grid.slope_x.assign(s.grid.cells + 1, 0.0);
  s.grid.slope_y.assign(s.grid.cells + 1, 0.0);
  fill_cell_slopes(s.grid.cells, s.grid.dx, s.grid.elevation, s.grid.rightcon, s.grid.belowcon,
                   s.grid.slope_x, s.grid.slope_y);
  if (!grid_order_pass) s.surface.cell_order.ok = false;
  step_driver drive(s, 10.0, 1);
  routed r;
  {
    test_support::stdout_capture capture;
    for (int k = 1; k <= steps; ++k) drive.step(rain);
    r.text = capture.stop();
  }
  omp_set_num_threads(saved);
  r.outflow = s.surface.outflow_volume;
  r.substeps = s.surface.ex_substeps;
  r.values = s.surface.depth;
  r.values.insert(r.values.end(), s.surface.flux_x.begin(), s.surface.flux_x.end());
  r.values.insert(r.values.end(), s.surface.flux_y.begin(), s.surface.flux_y.end());
  return r;
}

TEST(explicit_route, depths_and_fluxes_are_bitwise_the_same_on_one_and_eight_threads) {
  clear_errors();
  // The tilted V after an hour of rain.
  const routed one = route_steps(build_tilted_v, 1, true, 360, 10.8);
  const routed eight = route_steps(build_tilted_v, 8, true, 360, 10.8);
  ASSERT_EQ(error_state.stop_flag, 0);
  ASSERT_EQ(one.values.size(), eight.values.size());
  EXPECT_EQ(std::memcmp(one.values.data(), eight.values.data(),
                        one.values.size() * sizeof(double)),
            0);
  EXPECT_EQ(std::memcmp(&one.outflow, &eight.outflow, sizeof one.outflow), 0);
  EXPECT_EQ(one.substeps, eight.substeps);
  EXPECT_GT(one.outflow, 0.0);
  clear_errors();
}

// The tilted V with a dike along the lower side of row 25 but for the
// channel column, so that the faces take the law's dike test.
void build_diked_v(model_state& s) {
  build_tilted_v(s);
  s.input.settings.dike_map_given = 1;
  s.surface.dike_mask.assign(s.grid.cells + 1, 0);
  for (int c = 1; c <= 81; ++c)
    if (c != 41) s.surface.dike_mask[std::size_t(s.grid.mask[25][c])] = dike_bottom;
}

// Two rows of 600 cells of 10 m: on eight threads a share is a quarter of a
// row, so the y faces of a share cross into a share four further on.
void build_two_rows(model_state& s) {
  std::vector<double> z;
  for (int r = 1; r <= 2; ++r)
    for (int c = 1; c <= 600; ++c) z.push_back(0.5 * (2 - r) + 0.01 * (600 - c));
  build_grid(s, 2, 600, 10.0, z, {0.03}, 2, 600, 0.01);
}

TEST(explicit_route, the_one_pass_sub_step_gives_the_bits_of_the_two_pass_one) {
  // The two passes on one thread are the procedure's plain reading: every
  // face from the depths of the start, then every depth. The single pass
  // must leave the same bits and print the same lines on any thread count,
  // through cut sub-steps and across the shares' edges.
  struct order_case {
    const char* label;
    void (*build)(model_state&);
    int steps;
    double rain;  // mm/h
  };
  const order_case cases[] = {
      {"tilted V", build_tilted_v, 360, 10.8},
      {"tilted V with a dike", build_diked_v, 360, 10.8},
      {"two rows of 600", build_two_rows, 60, 360.0},
  };
  for (const order_case& c : cases) {
    SCOPED_TRACE(c.label);
    clear_errors();
    const routed two = route_steps(c.build, 1, false, c.steps, c.rain);
    for (int threads : {1, 3, 8}) {
      SCOPED_TRACE(threads);
      const routed one = route_steps(c.build, threads, true, c.steps, c.rain);
      ASSERT_EQ(error_state.stop_flag, 0);
      ASSERT_EQ(one.values.size(), two.values.size());
      EXPECT_EQ(std::memcmp(one.values.data(), two.values.data(),
                            one.values.size() * sizeof(double)),
                0);
      EXPECT_EQ(std::memcmp(&one.outflow, &two.outflow, sizeof one.outflow), 0);
      EXPECT_EQ(one.substeps, two.substeps);
      EXPECT_EQ(one.text, two.text);
    }
    EXPECT_GT(two.outflow, 0.0);
    EXPECT_NE(two.text.find("need to split"), std::string::npos);
  }
  clear_errors();
}

// A 1 x 2 grid of 10 m cells on level ground, n 0.05, the outlet in cell 2,
// with 1 m of water in cell 1 at the start: the first face flow, 6.3 m2/s,
// fails every test at 60 s.
TEST(explicit_route, a_failing_step_is_cut_five_times_and_the_full_step_returns_later) {
  temp_dir dir;
  auto grid = [](const char* values) {
    return std::string("north: 10\nsouth: 0\neast: 20\nwest: 0\nrows: 1\ncols: 2\n") + values;
  };
  dir.write("mask.asc", grid("1 1\n"));
  dir.write("elevation.asc", grid("0 0\n"));
  dir.write("depth.asc", grid("1 0\n"));
  // Uniform rain is refused at 0 mm/h: a rain of 1e-6 mm/h for a minute
  // stands for none.
  dir.write("cut.prj",
            "VALTOPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elevation.asc\n"
            "OV_INIT_DEPTH depth.asc\nGRIDSIZE 10\nROWS 1\nCOLS 2\nTIMESTEP 60\nTOT_TIME 30\n"
            "OUTROW 1\nOUTCOL 2\nOUTSLOPE 0.01\nMANNING_N 0.05\nOVERTYPE 1\nPRECIP_UNIF\n"
            "RAIN_INTENSITY 0.000001\nRAIN_DURATION 1\nSTART_DATE 2000 6 1\nSTART_TIME 0 0\n"
            "SUMMARY summary.out\nOUTLET_HYDRO outlet.hyd\n");
  double initial = 0.0, outflow = 0.0, storage = 0.0, lowest = 0.0;
  const run_output out = run_in_process(dir.path(), "cut.prj", [&](model_state& s) {
    initial = s.surface.initial_volume;
    outflow = s.surface.outflow_volume;
    storage = surface_volume(s);
    for (int i = 1; i <= s.grid.cells; ++i) lowest = std::min(lowest, s.surface.depth[i]);
  });
  ASSERT_EQ(out.status, 0) << out.text;

  const std::vector<std::string> expected = {
      " *Changing overland time step to 20.00 seconds...\n",
      " *Changing overland time step to 6.67 seconds...\n",
      " *Changing overland time step to 2.22 seconds...\n",
      " *Changing overland time step to 0.74 seconds...\n",
      " *Changing overland time step to 0.25 seconds...\n",
      " *Time step to small to divide, continuing with current time step\n",
      "Resetting time step to 60.00 for overland flow...\n",
  };
  std::size_t at = 0;
  for (const std::string& line : expected) {
    const std::size_t found = out.text.find(line, at);
    ASSERT_NE(found, std::string::npos) << line << out.text;
    at = found + line.size();
  }
  // Each cut follows a face's line: 6.32 m2/s over 60 s moves 37.9 m of
  // depth, leaving the losing cell 1 at -36.9 m.
  EXPECT_NE(out.text.find("need to split...(x-dir) curr_du=37.947330, dhh=37.947330, "
                          "h[j]+dhh=-36.947330\n *Changing overland time step to 20.00"),
            std::string::npos)
      << out.text;
  EXPECT_EQ(out.text.find(" *Changing overland time step", at), std::string::npos);
  EXPECT_NEAR(initial, 100.0, 1e-12);
  EXPECT_NEAR(outflow + storage, initial, 1e-9 * initial);
  EXPECT_GE(lowest, -1e-4);
}

// A 1 x 2 strip of 10 m cells routed by hand, one explicit call at a time.
struct strip {
  model_state s;
  strip(double z1, double z2, double n, double h1, double h2) {
    build_grid(s, 1, 2, 10.0, {z1, z2}, {n}, 1, 2, 0.01);
    s.grid.slope_x.assign(3, 0.0);
    s.grid.slope_y.assign(3, 0.0);
    fill_cell_slopes(2, 10.0, s.grid.elevation, s.grid.rightcon, s.grid.belowcon, s.grid.slope_x,
                     s.grid.slope_y);
    s.surface.depth[1] = h1;
    s.surface.depth[2] = h2;
    s.input.uniform_rain = 1;
    s.input.channel_routing = 1;  // the outlet keeps its water
  }
  std::string route(double dt) {
    test_support::stdout_capture capture;
    explicit_overland_route(s, dt);
    return capture.stop();
  }
};

TEST(explicit_route, the_outflow_test_looks_at_the_cell_that_loses_water) {
  clear_errors();
  // Cell 1 with 1 cm of water 10 m above cell 2: 0.0464 m2/s for 10 s takes
  // 4.6 cm out of it, though U = 0.046 passes. Tested on the losing cell,
  // the face fails until the sub-step is 10/9 s and cell 1 stays above 0.
  {
    strip t(10.0, 0.0, 0.01, 0.01, 0.0);
    const std::string out = t.route(10.0);
    EXPECT_NE(out.find(" *Changing overland time step to 3.33 seconds...\n"), std::string::npos)
        << out;
    EXPECT_NE(out.find(" *Changing overland time step to 1.11 seconds...\n"), std::string::npos)
        << out;
    EXPECT_EQ(out.find("0.37 seconds"), std::string::npos) << out;
    // One sub-step at 10 s and one at 10/3 s thrown away, nine of 10/9 s.
    EXPECT_EQ(t.s.surface.ex_substeps, 1 + 1 + 9);
    EXPECT_GE(t.s.surface.depth[1], 0.0);
    EXPECT_NEAR(t.s.surface.depth[1] + t.s.surface.depth[2], 0.01, 1e-15);
  }
  // Cell 2 higher, flowing into the dry cell 1: the receiving cell is not
  // tested, so one sub-step carries the whole step without a message.
  {
    strip t(0.0, 0.1, 0.05, 0.0, 0.1);
    const std::string out = t.route(1.0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(t.s.surface.ex_substeps, 1);
    EXPECT_GT(t.s.surface.depth[1], 0.005);
    EXPECT_LT(t.s.surface.flux_x[1], 0.0);  // m3/s, towards cell 1
  }
  clear_errors();
}

TEST(explicit_route, failing_faces_are_shown_once_a_step_with_their_count) {
  // Three 10 m cells stepping down 10 m each, the upper two holding 1 cm:
  // both of their faces fail the outflow test at 10 s and at 10/3 s, and
  // pass at 10/9 s. The first failing face has its line, the step's four
  // failed face tests one count line at the end of the call.
  clear_errors();
  model_state s;
  build_grid(s, 1, 3, 10.0, {20.0, 10.0, 0.0}, {0.01}, 1, 3, 0.01);
  s.grid.slope_x.assign(4, 0.0);
  s.grid.slope_y.assign(4, 0.0);
  fill_cell_slopes(3, 10.0, s.grid.elevation, s.grid.rightcon, s.grid.belowcon, s.grid.slope_x,
                   s.grid.slope_y);
  s.surface.depth[1] = 0.01;
  s.surface.depth[2] = 0.01;
  s.input.uniform_rain = 1;
  s.input.channel_routing = 1;
  test_support::stdout_capture capture;
  explicit_overland_route(s, 10.0);
  const std::string out = capture.stop();
  std::size_t lines = 0;
  for (std::size_t at = out.find("need to split"); at != std::string::npos;
       at = out.find("need to split", at + 1))
    ++lines;
  EXPECT_EQ(lines, 1u) << out;
  EXPECT_EQ(out.rfind("need to split...(x-dir) ", 0), 0u) << out;
  EXPECT_NE(out.find(" *Changing overland time step to 1.11 seconds...\n"
                     "  (first at cell 1; 4 face tests failed in this overland step)\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(s.surface.ex_substeps, 1 + 1 + 9);
  EXPECT_NEAR(s.surface.depth[1] + s.surface.depth[2] + s.surface.depth[3], 0.02, 1e-15);
  clear_errors();
}

// Three 10 m cells, n 0.01: cell 1 holds 0.5 m just above the dry cell 2,
// which falls 10 m to cell 3. Started at 1 s, the first sub-step passes 4 cm
// into cell 2; the second fails there (its 4 cm would leave in less than
// the second) and is routed again as three of 1/3 s from the depths the
// first left, which stand: the depths are those of a step of one 1 s
// sub-step and then one of three 1/3 s sub-steps, in either cell order.
struct ledge {
  model_state s;
  explicit ledge(bool grid_order) {
    build_grid(s, 1, 3, 10.0, {9.5016, 10.0, 0.0}, {0.01}, 1, 3, 0.01);
    s.grid.slope_x.assign(4, 0.0);
    s.grid.slope_y.assign(4, 0.0);
    fill_cell_slopes(3, 10.0, s.grid.elevation, s.grid.rightcon, s.grid.belowcon, s.grid.slope_x,
                     s.grid.slope_y);
    if (!grid_order) s.surface.cell_order.ok = false;
    s.surface.depth[1] = 0.5;
    s.input.uniform_rain = 1;
    s.input.channel_routing = 1;
  }
  // One call of dt seconds that starts with the sub-step s.
  std::string route(double dt, double substep) {
    s.surface.ex_countdown = 1;
    s.surface.ex_reduced_substep = substep;
    test_support::stdout_capture capture;
    explicit_overland_route(s, dt);
    return capture.stop();
  }
};

TEST(explicit_route, a_cut_routes_again_only_the_sub_step_that_failed) {
  clear_errors();
  for (bool grid_order : {true, false}) {
    SCOPED_TRACE(grid_order ? "one pass" : "two passes");
    ledge cut(grid_order);
    const std::string out = cut.route(2.0, 1.0);
    EXPECT_NE(out.find(" *Changing overland time step to 0.33 seconds...\n"), std::string::npos)
        << out;
    EXPECT_EQ(cut.s.surface.ex_substeps, 1 + 1 + 3);
    EXPECT_EQ(cut.s.surface.ex_retried, 1);
    ASSERT_EQ(cut.s.surface.ex_cuts.total, 1);
    EXPECT_EQ(cut.s.surface.ex_cuts.kinds, 1);
    EXPECT_DOUBLE_EQ(cut.s.surface.ex_cuts.to[0], 1.0 / 3.0);

    ledge two_calls(grid_order);
    EXPECT_EQ(two_calls.route(1.0, 1.0), "");
    EXPECT_EQ(two_calls.route(1.0, 1.0 / 3.0), "");
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(cut.s.surface.depth[i], two_calls.s.surface.depth[i]);
    EXPECT_NEAR(cut.s.surface.depth[1] + cut.s.surface.depth[2] + cut.s.surface.depth[3], 0.5,
                1e-14);
  }
  clear_errors();
}

// One 10 m cell, n 0.05, the outlet on a slope of 0.01, holding h metres.
struct outlet_cell {
  model_state s;
  explicit outlet_cell(double h, bool channels) {
    build_grid(s, 1, 1, 10.0, {0.0}, {0.05}, 1, 1, 0.01);
    s.grid.slope_x.assign(2, 0.0);
    s.grid.slope_y.assign(2, 0.0);
    s.surface.depth[1] = h;
    s.input.channel_routing = channels ? 1 : 0;
  }
};

TEST(explicit_route, the_outlet_gives_its_outflow_once_at_the_full_step) {
  clear_errors();
  // Manning at the outlet would take 20 x 0.1^1.666667 x 60 = 25.9 m3 of
  // the 10 m3 the cell holds: it gives those and is left dry.
  outlet_cell full(0.1, false);
  EXPECT_DOUBLE_EQ(explicit_overland_route(full.s, 60.0), 10.0);
  EXPECT_EQ(full.s.surface.depth[1], 0.0);

  // A small depth drains by Manning over the step: 0.001 m gives
  // 20 x 0.001^1.666667 x 1 s = 2.0e-4 m3.
  outlet_cell shallow(0.001, false);
  const double expected = std::pow(0.001, 1.666667) * std::sqrt(0.01) * 10.0 / 0.05;
  EXPECT_DOUBLE_EQ(explicit_overland_route(shallow.s, 1.0), expected);
  EXPECT_DOUBLE_EQ(shallow.s.surface.depth[1], 0.001 - expected / 100.0);

  // With channel routing the outlet keeps its water and nothing is booked.
  outlet_cell channels(0.1, true);
  EXPECT_EQ(explicit_overland_route(channels.s, 60.0), 0.0);
  EXPECT_EQ(channels.s.surface.depth[1], 0.1);
  clear_errors();
}

}  // namespace
