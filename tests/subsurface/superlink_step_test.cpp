// The superlink step on small networks driven by fixed junction heads and a
// fixed ponded depth, against closed-form steady flows, continuity at the
// junctions, and the same results on any number of threads.

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <string>
#include <vector>

#include "subsurface/superlink_section.h"
#include "subsurface/superlink_step.h"
#include "superlink_fixture.h"

namespace {

using test_support::scoped_cwd;
using test_support::temp_dir;

// Steady flow of a full pipe of diameter d between heads dh apart: friction
// over its length plus two velocity heads per computational pipe and half
// of one at the outlet, Q = A sqrt(g dH / (g n^2 L / R^(4/3) + N + 0.5)).
double full_pipe_flow(double d, double n, double length, double dh, int pipes) {
  const double a = 3.14159 * d * d / 4.0;
  const double r = d / 4.0;
  return a * std::sqrt(9.81 * dh / (9.81 * n * n * length / std::pow(r, 4.0 / 3.0) + pipes + 0.5));
}

struct step : ::testing::Test {
  temp_dir dir;
  superlink_state sl;
  std::vector<double> depth = std::vector<double>(4, 0.0);
  double taken = 0.0;

  void SetUp() override { error_state = error_record{}; }
  void TearDown() override { error_state = error_record{}; }

  // Runs `calls` calls of dt seconds over 20 m cells; false on a failed call.
  bool run(int calls, const superlink_options& opt, double dt = 10.0, double pond = -1.0) {
    scoped_cwd here(dir.path());
    for (int c = 0; c < calls; ++c) {
      if (pond >= 0.0) depth[1] = pond;
      if (superlink_step(sl.calls, 20.0, depth, sl, dt, opt, taken) != 0) return false;
      ++sl.calls;
    }
    return true;
  }
};

TEST_F(step, a_full_pipe_between_fixed_heads_carries_the_closed_form_flow) {
  struct full_case {
    int input_pipes, c_opt, pipes;
    double flow;
  };
  const full_case cases[] = {
      {1, 0, 1, 0.76632},  // one 400 m pipe
      {4, 0, 4, 0.76632},  // four of 100 m: the entrance loss once
      {1, 1, 8, 0.76632},  // graded 10, 20, 50, 140, 100, 50, 20, 10 m
  };
  for (const full_case& c : cases) {
    SCOPED_TRACE(c.pipes);
    sl = superlink_state{};
    ASSERT_EQ(superlink_fixture::read_network(superlink_fixture::fixed_head_network(c.input_pipes),
                                              sl.net, c.c_opt),
              0);
    superlink_options opt;
    opt.c_opt = c.c_opt;
    ASSERT_TRUE(run(180, opt));  // the first half hour
    for (int call = 0; call < 180; ++call) {
      ASSERT_TRUE(run(1, opt));
      for (int i = 1; i <= c.pipes; ++i) ASSERT_NEAR(sl.work.Q(i, 1), c.flow, 1e-4) << i;
    }
    EXPECT_NEAR(sl.work.Q(1, 1), full_pipe_flow(0.8, 0.012, 400.0, 1.5, 1), 1e-5);
    EXPECT_DOUBLE_EQ(sl.net.sjunc_head[1], 52.0);
    EXPECT_DOUBLE_EQ(sl.net.sjunc_head[2], 50.5);
  }
}

// Two equal pipes from a fixed head into a free junction, one larger pipe
// from there to a fixed outlet level.
const char* parallel_network =
    "SJUNC 1 60.0 52.0 1.0 11 1 1 0.0 0.0\n"
    "SJUNC 2 60.0 48.0 2.0 0 1 2 0.0 0.0\n"
    "SJUNC 3 60.0 48.5 1.0 11 1 3 0.0 0.0\n"
    "CONNECT 1 1 2\nCONNECT 2 1 2\nCONNECT 3 2 3\n"
    "SLINK 1 1\nNODE 1 60 50.4 0 0 1 1 0 0\nNODE 2 60 50.0 0 0 1 2 0 0\n"
    "PIPE 1 1 0.5 0 0.004 0.013 100 0 0\n"
    "SLINK 2 1\nNODE 1 60 50.4 0 0 1 1 0 0\nNODE 2 60 50.0 0 0 1 2 0 0\n"
    "PIPE 1 1 0.5 0 0.004 0.013 100 0 0\n"
    "SLINK 3 1\nNODE 1 60 49.9 0 0 1 2 0 0\nNODE 2 60 49.0 0 0 1 3 0 0\n"
    "PIPE 1 1 0.7 0 0.0045 0.013 200 0 0\n";

TEST_F(step, parallel_pipes_both_feed_their_junction) {
  ASSERT_EQ(superlink_fixture::read_network(parallel_network, sl.net), 0);
  ASSERT_TRUE(run(1440, superlink_options{}));
  const std::vector<double> before = sl.work.Q_d;
  ASSERT_TRUE(run(1, superlink_options{}));
  const superlink_work& wk = sl.work;
  EXPECT_NEAR(wk.Q_d[3], before[3], 1e-9);  // steady
  EXPECT_GT(wk.Q_d[1], 0.05);
  EXPECT_NEAR(wk.Q_d[1], wk.Q_d[2], 1e-12);
  // What the two bring, the third takes away: twice one pipe's flow.
  EXPECT_NEAR(wk.Q_u[3], wk.Q_d[1] + wk.Q_d[2], 1e-7);
  EXPECT_GT(sl.net.sjunc_head[2], 49.9);
}

// A binary tree of 80 grate manholes over the strip's cells, draining
// through 30 m pipes (graded into three) to a fixed-head outlet: enough
// superlinks to be reduced on several threads. A 5 mm film over the grates
// keeps the pipes below their crowns.
std::string tree_network() {
  std::string t;
  auto level = [](int j) {
    int l = 0;
    for (; j > 1; j /= 2) ++l;
    return l;
  };
  for (int j = 1; j <= 80; ++j)
    t += "SJUNC " + std::to_string(j) + " " + std::to_string(53.0 + 0.2 * level(j)) + " " +
         std::to_string(49.9 + 0.2 * level(j)) + " 0.8 " + (j == 1 ? "11" : "1") + " 1 " +
         std::to_string(1 + j % 3) + " 0.5 0.5\n";
  for (int k = 1; k < 80; ++k) {
    const int us = k + 1, ds = us / 2;
    t += "CONNECT " + std::to_string(k) + " " + std::to_string(us) + " " + std::to_string(ds) + "\n";
    t += "SLINK " + std::to_string(k) + " 1\n";
    t += "NODE 1 60 " + std::to_string(50.0 + 0.2 * level(us)) + " 0 0 1 1 0 0\n";
    t += "NODE 2 60 " + std::to_string(50.0 + 0.2 * level(ds)) + " 0 0 1 1 0 0\n";
    t += "PIPE 1 1 0.3 0 0.0067 0.013 30 0 0\n";
  }
  return t;
}

TEST_F(step, the_same_flows_on_any_number_of_threads) {
  std::vector<double> flows[2];
  for (int t = 0; t < 2; ++t) {
    sl = superlink_state{};
    ASSERT_EQ(superlink_fixture::read_network(tree_network(), sl.net, 1), 0);
    sl.links.superlink_junc_gnum.assign(81, 0);
    for (int j = 1; j <= 80; ++j) sl.links.superlink_junc_gnum[std::size_t(j)] = 1 + j % 3;
    omp_set_num_threads(t == 0 ? 1 : 3);
    superlink_options opt;
    opt.c_opt = 1;
    scoped_cwd here(dir.path());
    for (int c = 0; c < 60; ++c) {
      std::fill(depth.begin(), depth.end(), 0.005);
      ASSERT_EQ(superlink_step(sl.calls++, 20.0, depth, sl, 10.0, opt, taken), 0);
    }
    flows[t] = sl.work.Q.v;
    flows[t].insert(flows[t].end(), sl.net.sjunc_head.begin(), sl.net.sjunc_head.end());
  }
  omp_set_num_threads(omp_get_num_procs());
  EXPECT_GT(sl.work.Q_d[1] + sl.work.Q_d[2], 0.01);
  EXPECT_EQ(flows[0], flows[1]);
}

// A grate junction on a cell held 0.1 m deep drains through a 100 m pipe
// (D 0.6, n 0.013, S 0.004) onto the outlet cell.
const char* grate_network =
    "SJUNC 1 10.0 7.5 1.0 2 1 1 0.5 0.5\n"
    "SJUNC 2 9.5 5.0 1.0 888 1 3 0.0 0.0\n"
    "CONNECT 1 1 2\nSLINK 1 1\n"
    "NODE 1 10.0 7.5 0.0 0 1 1 0.0 0.0\nNODE 2 9.5 7.1 0.0 0 1 3 0.0 0.0\n"
    "PIPE 1 1 0.6 0.0 0.004 0.013 100.0 0.0 0.0\n";

TEST_F(step, a_grate_feeds_its_outlet_steadily) {
  ASSERT_EQ(superlink_fixture::read_network(grate_network, sl.net), 0);
  sl.links.superlink_junc_gnum = {0, 1, 3};
  ASSERT_TRUE(run(360, superlink_options{}, 10.0, 0.1));
  double in = 0.0, out = 0.0;
  for (int c = 0; c < 360; ++c) {
    const double before = depth[3];
    ASSERT_TRUE(run(1, superlink_options{}, 10.0, 0.1));
    EXPECT_NEAR(taken, 1.57044, 1e-5);             // 0.157044 m3/s over 10 s
    EXPECT_NEAR(depth[1], 0.1 - 1.57044 / 400.0, 1e-8);
    EXPECT_NEAR((depth[3] - before) * 400.0, 10.0 * sl.work.Q_d[1], 1e-9);
    in += sl.totals.superlink_vol_in;
    out += sl.totals.superlink_vol_out;
  }
  EXPECT_NEAR(sl.work.Q_d[1], 0.157044, 1e-5);
  EXPECT_NEAR(in, out, 1e-3);
  EXPECT_NEAR(sl.net.Q_junc[2], -sl.work.Q_d[1], 1e-12);  // an outlet's mean outflow
  EXPECT_EQ(sl.totals.superlink_surface_flag, 1);
  EXPECT_DOUBLE_EQ(sl.net.sjunc_head[2], 5.0);
  const std::vector<std::string> log =
      test_support::lines_of(test_support::read_file(dir.file("superlink_flows.out")));
  ASSERT_EQ(log.size(), 721u);
  EXPECT_EQ(log[0], "Call# VtoSL VtoVALTO   QtoSL    QtoVALTO ");
  EXPECT_EQ(log[720], "719    1.570    1.570    0.157    0.157 ");
}

// The grate network with a manhole of 1 m2 halfway: two 50 m superlinks.
const char* manhole_network =
    "SJUNC 1 10.0 7.5 1.0 2 1 1 0.5 0.5\n"
    "SJUNC 2 9.8 7.0 1.0 0 1 2 0.0 0.0\n"
    "SJUNC 3 9.5 5.0 1.0 888 1 3 0.0 0.0\n"
    "CONNECT 1 1 2\nCONNECT 2 2 3\n"
    "SLINK 1 1\nNODE 1 10.0 7.5 0.0 0 1 1 0.0 0.0\nNODE 2 9.8 7.3 0.0 0 1 2 0.0 0.0\n"
    "PIPE 1 1 0.6 0.0 0.004 0.013 50.0 0.0 0.0\n"
    "SLINK 2 1\nNODE 1 9.8 7.3 0.0 0 1 2 0.0 0.0\nNODE 2 9.5 7.1 0.0 0 1 3 0.0 0.0\n"
    "PIPE 1 1 0.6 0.0 0.004 0.013 50.0 0.0 0.0\n";

// Water the grates take either leaves by the outlet or stays in the
// network: over every call, and while the empty pipes fill, the inflow
// equals the delivery plus the change of what the junctions and pipes hold.
// What they hold at the end is what their depths say: the pipe's water at
// its end depths, the manholes' above their bottoms.
TEST_F(step, grate_inflow_is_outlet_delivery_plus_the_water_the_network_gained) {
  struct balance_case {
    const char* name;
    const char* network;
    int c_opt;
    std::vector<int> cells;  // per superjunction
  };
  const balance_case cases[] = {
      {"one pipe", grate_network, 0, {0, 1, 3}},
      {"one pipe graded into five", grate_network, 1, {0, 1, 3}},
      {"two pipes through a manhole", manhole_network, 0, {0, 1, 2, 3}},
  };
  for (const balance_case& c : cases) {
    SCOPED_TRACE(c.name);
    sl = superlink_state{};
    depth.assign(4, 0.0);
    ASSERT_EQ(superlink_fixture::read_network(c.network, sl.net, c.c_opt), 0);
    sl.links.superlink_junc_gnum = c.cells;
    superlink_options opt;
    opt.c_opt = c.c_opt;
    ASSERT_TRUE(run(1, opt, 10.0, 0.1));
    double in = sl.totals.superlink_vol_in, out = sl.totals.superlink_vol_out;
    const double start = 0.0;  // empty but for the 0.1 mm floor
    double out_early = out;
    for (int call = 1; call < 720; ++call) {
      ASSERT_TRUE(run(1, opt, 10.0, 0.1));
      in += sl.totals.superlink_vol_in;
      out += sl.totals.superlink_vol_out;
      if (call < 4) out_early = out;
      ASSERT_NEAR(in - out, sl.totals.superlink_vol_now - start, 1e-6 * in + 1e-3) << call;
    }
    EXPECT_NEAR(in, 720 * 1.57044, 0.01);
    // The first pipe fills before the outlet sees much of the first 6 m3.
    EXPECT_LT(out_early, 0.5 * 4 * 1.57044);
    // Steady: the network holds what its depths say, some 12 m3 per 100 m.
    double held = 0.0;
    for (int j = 1; j <= sl.net.n_sjunc; ++j)
      if (sl.net.bound[std::size_t(j)] != 1)
        held += sl.net.As_sjunc[std::size_t(j)] *
                (sl.net.sjunc_head[std::size_t(j)] - sl.net.junc_bottom[std::size_t(j)]);
    for (int k = 1; k <= sl.net.n_slink; ++k)
      for (int i = 1; i <= sl.net.superlink_cnodes[std::size_t(k)]; ++i) {
        section_props a, b;
        superlink_section_props(0.6, sl.net.slink_node_depth(i, k), 0.0, 1, a);
        superlink_section_props(0.6, sl.net.slink_node_depth(i + 1, k), 0.0, 1, b);
        held += sl.net.dxc(i, k) * 0.5 * (a.area + b.area);
      }
    EXPECT_GT(held, 10.0);
    EXPECT_NEAR(sl.totals.superlink_vol_now, held, 1e-6);
  }
}

// A grate manhole (ground 10 m) below a fixed outlet level of 12 m: the
// water backs up into the manhole and above its ground.
const char* backwater_network =
    "SJUNC 1 10.0 7.5 1.0 1 1 1 0.5 0.5\n"
    "SJUNC 2 13.0 12.0 1.0 11 1 3 0.0 0.0\n"
    "CONNECT 1 1 2\nSLINK 1 1\n"
    "NODE 1 10.0 7.5 0.0 0 1 1 0.0 0.0\nNODE 2 13.0 7.1 0.0 0 1 3 0.0 0.0\n"
    "PIPE 1 1 0.6 0.0 0.004 0.013 100.0 0.0 0.0\n";

// A held head is water outside the network: what a superlink draws from it
// or gives it is booked, so that every call the grates' inflow, the
// outlets' delivery and the held heads' trade add up to what the network
// gained. A pipe between two held heads passes its steady flow from one to
// the other; a grate manhole under a held outlet level fills from it.
TEST_F(step, flow_through_held_heads_is_booked_and_the_network_balances) {
  struct held_case {
    const char* name;
    std::string network;
    double pond;         // m on the grate's cell, or -1
    double through;      // m3 per 10 s call at the end, drawn from a held head
    double given;        // m3 per 10 s call at the end, given to one
  };
  const held_case cases[] = {
      // The closed-form 0.76632 m3/s of the one 400 m pipe.
      {"pipe between held heads", superlink_fixture::fixed_head_network(1), -1.0, 7.6632, 7.6632},
      // Full and above its ground, the manhole takes nothing more.
      {"manhole under a held outlet", backwater_network, 0.0, 0.0, 0.0},
  };
  for (const held_case& c : cases) {
    SCOPED_TRACE(c.name);
    sl = superlink_state{};
    depth.assign(4, 0.0);
    ASSERT_EQ(superlink_fixture::read_network(c.network, sl.net), 0);
    sl.links.superlink_junc_gnum = {0, 1, 3};
    superlink_options opt;
    ASSERT_TRUE(run(1, opt, 10.0, c.pond));
    const double start = sl.totals.superlink_vol_now;
    double in = 0.0, out = 0.0, drawn = 0.0;
    for (int call = 1; call < 720; ++call) {
      ASSERT_TRUE(run(1, opt, 10.0, c.pond));
      const superlink_totals& t = sl.totals;
      in += t.superlink_vol_in + t.fixed_head_in;
      out += t.superlink_vol_out + t.fixed_head_out;
      drawn += t.fixed_head_in;
      ASSERT_NEAR(in - out, t.superlink_vol_now - start, 1e-6 * (in + out) + 1e-3) << call;
    }
    EXPECT_GT(drawn, 1.0);  // both networks took water from a held head
    EXPECT_NEAR(sl.totals.fixed_head_in, c.through, 1e-3);
    EXPECT_NEAR(sl.totals.fixed_head_out, c.given, 1e-3);
  }
}

TEST_F(step, surcharge_goes_back_on_the_surface_only_with_high_head_release) {
  for (int high_head : {0, 1}) {
    SCOPED_TRACE(high_head);
    sl = superlink_state{};
    depth.assign(4, 0.0);
    ASSERT_EQ(superlink_fixture::read_network(backwater_network, sl.net), 0);
    sl.links.superlink_junc_gnum = {0, 1, 3};
    superlink_options opt;
    opt.high_head = high_head;
    ASSERT_TRUE(run(720, opt));
    const double on_surface = sl.links.superlink_surface_vol[1];
    EXPECT_NEAR(on_surface, depth[1] * 400.0, 1e-9);
    if (!high_head) {
      EXPECT_EQ(on_surface, 0.0);
      EXPECT_NEAR(sl.net.sjunc_head[1], 12.0, 0.01);  // the manhole fills to the outlet level
      EXPECT_NEAR(sl.work.Q_u[1], 0.0, 1e-4);
      continue;
    }
    // Steady: what flows back from the outlet leaves the manhole over its ground.
    ASSERT_TRUE(run(10, opt));
    const double released = sl.links.superlink_surface_vol[1] - on_surface;
    EXPECT_LT(sl.work.Q_u[1], -0.1);
    EXPECT_NEAR(released, -10.0 * 10.0 * sl.work.Q_u[1], 1e-3 * released);
    // The manhole stands above its ground by what one interval's backflow
    // fills of its 1 m2.
    EXPECT_NEAR(sl.net.sjunc_head[1] - 10.0, -10.0 * sl.work.Q_u[1], 1e-3);
    EXPECT_LT(sl.net.sjunc_head[1], 12.0);
  }
}

TEST_F(step, groundwater_of_leaky_pipes_enters_at_the_upstream_junction) {
  ASSERT_EQ(superlink_fixture::read_network(grate_network, sl.net), 0);
  sl.links.superlink_junc_gnum = {0, 1, 3};
  sl.links.superlink_tile_flow.size(3, 2);
  sl.links.superlink_tile_flow(1, 1) = 0.02;
  superlink_options opt;
  opt.leaky = 1;
  ASSERT_TRUE(run(720, opt));
  EXPECT_NEAR(sl.totals.superlink_vol_in, 0.2, 1e-12);  // 0.02 m3/s over 10 s
  EXPECT_EQ(taken, 0.0);                               // nothing from the dry surface
  EXPECT_NEAR(sl.work.Q_d[1], 0.02, 1e-6);
  EXPECT_NEAR(sl.totals.superlink_vol_out, 0.2, 1e-5);
}

TEST_F(step, a_junction_without_storage_or_links_is_a_singular_matrix) {
  std::string t = superlink_fixture::fixed_head_network(1);
  t.replace(t.find("SJUNC 2"), 0, "SJUNC 3 60.0 50.0 0.0 0 1 2 0.0 0.0\n");
  ASSERT_EQ(superlink_fixture::read_network(t, sl.net), 0);
  scoped_cwd here(dir.path());
  testing::internal::CaptureStderr();
  test_support::stdout_capture out;
  EXPECT_EQ(superlink_step(0, 20.0, depth, sl, 10.0, superlink_options{}, taken), -1);
  const std::string said = out.stop();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Numerical Recipes run-time error...\nSingular matrix in routine ludcmp\n"
            "...now exiting to system...\n");
  EXPECT_NE(said.find("VALTO crashed during an update of Superlink"), std::string::npos);
  EXPECT_EQ(error_state.stop_flag, 1);
}

TEST_F(step, a_log_that_cannot_be_made_stops_the_first_call) {
  ASSERT_EQ(superlink_fixture::read_network(grate_network, sl.net), 0);
  std::filesystem::create_directory(dir.path() / "superlink_flows.out");
  scoped_cwd here(dir.path());
  test_support::stdout_capture out;
  EXPECT_EQ(superlink_step(0, 20.0, depth, sl, 10.0, superlink_options{}, taken), -9);
  EXPECT_NE(out.stop().find("Can't open file superlink_flows.out'\n"), std::string::npos);
  EXPECT_EQ(error_state.stop_flag, 1);
}

}  // namespace
