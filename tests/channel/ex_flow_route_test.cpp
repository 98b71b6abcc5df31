// Explicit channel routing on hand-built trapezoid networks: the junction
// reaches Manning's normal depth and keeps its water, its routing does not
// depend on the thread count, point sources and first-order inflow are
// booked as they enter, and the sub-step, dry-node and outlet rules hold at
// their edges.

#include "channel/ex_flow_route.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>

#include "channel/channel_steps.h"
#include "input/series.h"
#include "network_fixture.h"
#include "test_support.h"

namespace {

using namespace network_fixture;
using test_support::stdout_capture;

// Normal depth of 5 m3/s in the junction's trapezoid (b 2, z 1, n 0.035) on
// a slope of 0.01: (1/n) A R^(2/3) sqrt(S) = 5 solved by bisection.
constexpr double normal_depth_5 = 0.88526;

std::unique_ptr<model_state> junction_with_point_inflows() {
  auto s = std::make_unique<model_state>();
  channel_state& c = s->channel;
  build_junction(c);
  start_channel_clock(*s, 30.0);
  c.active = 1;
  c.point_input = 1;
  c.point_input_values[c.node_address(1, 1)] = 2.0;
  c.point_input_values[c.node_address(2, 1)] = 3.0;
  return s;
}

void run_channel_steps(model_state& s, int steps) {
  for (int k = 0; k < steps && error_state.stop_flag == 0; ++k) {
    channel_step(s);
    advance_to_channel_time(s);
  }
}

TEST(ex_flow_route, junction_reaches_normal_depth_and_keeps_its_water) {
  clear_errors();
  auto s = junction_with_point_inflows();
  channel_state& c = s->channel;
  // A calibration run keeps the volume past each hydrograph location.
  s->input.optimize = 1;
  c.hyd_locations = 1;
  c.hyd_loc_link = {0, 3};
  c.hyd_loc_node = {0, 5};

  // The first channel step has no elapsed time behind it: a whole channel
  // step of point inflow enters.
  run_channel_steps(*s, 1);
  EXPECT_EQ(c.point_input_volume, 30.0 * 5.0);

  run_channel_steps(*s, 399);
  ASSERT_EQ(error_state.stop_flag, 0);
  for (int j = 1; j <= 5; ++j)
    EXPECT_NEAR(c.chan_depth[c.node_address(3, j)], normal_depth_5, 1e-4) << "node " << j;
  EXPECT_NEAR(c.qp[c.node_address(1, 3)], 2.0, 5e-4);
  EXPECT_NEAR(c.qp[c.node_address(2, 3)], 3.0, 5e-4);
  EXPECT_NEAR(c.q_outlet, 5.0, 5e-4);

  // Courant 0.587 at 30 s on link 3: three sub-steps of 10 s.
  const long long before = c.substeps;
  run_channel_steps(*s, 1);
  EXPECT_EQ(c.substeps - before, 3);
  EXPECT_NEAR(c.last_substep, 10.0, 1e-3);

  const double in = c.point_input_volume;
  EXPECT_NEAR(in - c.outlet_volume, channel_volume(c), 1e-6 * in);
  EXPECT_EQ(c.event_outlet_volume, c.outlet_volume);
  EXPECT_NEAR(c.hyd_loc_volume[1], c.outlet_volume, 1e-9 * c.outlet_volume);
  EXPECT_EQ(c.steps, 401);
}

TEST(ex_flow_route, junction_routes_alike_on_one_and_eight_threads) {
  const int threads = omp_get_max_threads();
  std::unique_ptr<model_state> runs[2];
  const int counts[2] = {1, 8};
  for (int r = 0; r < 2; ++r) {
    clear_errors();
    omp_set_num_threads(counts[r]);
    runs[r] = junction_with_point_inflows();
    runs[r]->channel.parallel_min_links = 1;  // three links, threaded all the same
    // The filling transient, where the sub-steps are cut and retried.
    run_channel_steps(*runs[r], 200);
    ASSERT_EQ(error_state.stop_flag, 0);
  }
  omp_set_num_threads(threads);
  const channel_state& a = runs[0]->channel;
  const channel_state& b = runs[1]->channel;
  for (std::size_t i = 0; i < a.area.size(); ++i) {
    ASSERT_EQ(a.area[i], b.area[i]) << i;
    ASSERT_EQ(a.qp[i], b.qp[i]) << i;
    ASSERT_EQ(a.yp[i], b.yp[i]) << i;
  }
  EXPECT_EQ(a.outlet_volume, b.outlet_volume);
  EXPECT_EQ(a.substeps, b.substeps);
}

// A binary tree of 31 links of 4 nodes (link 31 the outlet), 100 m apart
// on a bed slope of 0.002, fed 0.3 m3/s at node 1 of every head link.
void build_tree(channel_state& c) {
  std::vector<link_layout> links(31);
  for (int k = 1; k <= 31; ++k) {
    int level = 0;
    for (int j = k; j > 1; j /= 2) ++level;
    link_layout& l = links[std::size_t(31 - k)];
    l.downstream = k == 1 ? 0 : 32 - k / 2;
    const double top = 10.0 + (level + 1) * 0.8;  // a link starts where its upstream ones end
    l.beds = {top - 0.1, top - 0.3, top - 0.5, top - 0.7};
  }
  build_network(c, links);
  for (int i = 1; i <= 16; ++i) c.point_input_values[c.node_address(i, 1)] = 0.3;
}

struct tree_case {
  const char* label;
  std::function<void(channel_state&)> setup;  // before the first call
  int calls;
  double dt;  // s
};

TEST(ex_flow_route, a_tree_routes_alike_on_any_thread_count) {
  const tree_case cases[] = {
      {"filling, with withdrawals that run nodes dry and halve sub-steps",
       [](channel_state& c) {
         for (int i = 5; i <= 30; i += 5) c.point_input_values[c.node_address(i, 3)] = -0.02;
       },
       60, 30.0},
      {"a node that can hold no water stops the run when the front reaches it",
       [](channel_state& c) {
         // Node 2 of link 20: no bottom, and sides leaning inwards above a
         // bank-full depth of 0.
         c.ltype[20] = link_bit::two_stage;
         const int a = c.node_address(20, 2);
         c.bottom[a] = 0.0;
         c.sslope2[a] = -1.0;
         c.bankfull_dep[a] = 0.0;
       },
       60, 30.0},
  };
  const int threads = omp_get_max_threads();
  for (const tree_case& t : cases) {
    SCOPED_TRACE(t.label);
    std::unique_ptr<channel_state> runs[3];
    std::string output[3];
    const int counts[3] = {1, 3, 8};
    for (int r = 0; r < 3; ++r) {
      clear_errors();
      omp_set_num_threads(counts[r]);
      runs[r] = std::make_unique<channel_state>();
      channel_state& c = *runs[r];
      build_tree(c);
      c.parallel_min_links = 1;
      t.setup(c);
      route_settings set;
      set.point_input = 1;
      stdout_capture capture;
      for (int k = 0; k < t.calls && error_state.stop_flag == 0; ++k) ex_flow_route(c, set, t.dt);
      output[r] = capture.stop();
    }
    omp_set_num_threads(threads);
    const channel_state& a = *runs[0];
    for (int r = 1; r < 3; ++r) {
      SCOPED_TRACE(counts[r]);
      const channel_state& b = *runs[r];
      EXPECT_EQ(output[r], output[0]);
      EXPECT_EQ(b.substeps, a.substeps);
      EXPECT_EQ(b.step_outlet_volume, a.step_outlet_volume);
      EXPECT_EQ(b.last_substep, a.last_substep);
      for (std::size_t i = 0; i < a.area.size(); ++i) {
        ASSERT_EQ(b.area[i], a.area[i]) << i;
        ASSERT_EQ(b.qp[i], a.qp[i]) << i;
        ASSERT_EQ(b.yp[i], a.yp[i]) << i;
        ASSERT_EQ(b.chan_depth[i], a.chan_depth[i]) << i;
        ASSERT_EQ(b.conv[i], a.conv[i]) << i;
      }
    }
  }
  clear_errors();
}

// Depth of a trapezoid of bottom 2 and side slope 1 holding area a.
double trapezoid_depth(double a) { return (std::sqrt(4.0 * a + 4.0) - 2.0) / 2.0; }

TEST(ex_flow_route, a_stop_in_the_predicted_areas_leaves_the_walks_state) {
  const int threads = omp_get_max_threads();
  for (int count : {1, 8}) {
    SCOPED_TRACE(count);
    clear_errors();
    omp_set_num_threads(count);
    channel_state c;
    build_junction(c);
    c.parallel_min_links = 1;
    // Link 2 is a two-stage link whose node 2 can hold no water (no
    // bottom, and sides leaning inwards above a bank-full depth of 0); its
    // node 1 is wet, so node 2 takes water in the predictor.
    c.ltype[2] = link_bit::two_stage;
    const int trap = c.node_address(2, 2);
    c.bottom[trap] = 0.0;
    c.sslope2[trap] = -1.0;
    c.bankfull_dep[trap] = 0.0;
    for (int j = 1; j <= 3; ++j) c.area[c.node_address(1, j)] = 1.2 - 0.2 * j;
    c.area[c.node_address(2, 1)] = 0.5;
    for (int j = 1; j <= 5; ++j) c.area[c.node_address(3, j)] = 1.0;
    ex_section(c, section_mode::from_area);
    // An area changed without a sweep, after the stop.
    const int late = c.node_address(3, 4);
    c.area[late] = 2.0;
    stdout_capture capture;
    EXPECT_EQ(ex_flow_route(c, route_settings{}, 1.0), -1);
    EXPECT_EQ(capture.stop(),
              "in ex_section.c - 3, negative square root at:\n"
              "link 2 node 2.  Program stopped.\n\n");
    // Before the stop the nodes have the predicted areas' depths; from the
    // stop on, the saved areas' depths, which the late node had not had.
    for (int j = 1; j <= 3; ++j) {
      const int a = c.node_address(1, j);
      EXPECT_NEAR(c.chan_depth[a], trapezoid_depth(c.rt_area_iter[a]), 1e-12) << j;
      EXPECT_NE(c.rt_area_iter[a], 1.2 - 0.2 * j) << j;
    }
    EXPECT_EQ(c.chan_depth[trap], 0.0);
    EXPECT_NEAR(c.chan_depth[late], trapezoid_depth(2.0), 1e-12);
    EXPECT_NEAR(c.yp[late], c.bel[late] + trapezoid_depth(2.0), 1e-12);
  }
  omp_set_num_threads(threads);
  clear_errors();
}

TEST(ex_flow_route, point_sources_and_first_order_inflow_are_booked_as_they_enter) {
  clear_errors();
  auto s = junction_with_point_inflows();
  channel_state& c = s->channel;
  time_series source;
  source.name = "mill";
  source.time = {2451540.0, 2451560.0};
  source.value = {1.5, 1.5};
  c.stream_pointsource.assign(c.node_slots(), nullptr);
  c.stream_pointsource[c.node_address(3, 3)] = &source;
  s->input.first_order_chan_q = 0.2;

  run_channel_steps(*s, 200);
  ASSERT_EQ(error_state.stop_flag, 0);
  // 1.5 m3/s at one node and 0.2 m3/s into each of the two head links, over
  // 200 channel steps of 30 s (as near as the Julian clock keeps them).
  EXPECT_NEAR(c.point_source_volume, 200 * 30.0 * 1.9, 1e-5 * c.point_source_volume);
  const double in = c.point_input_volume + c.point_source_volume;
  EXPECT_NEAR(in - c.outlet_volume, channel_volume(c), 1e-6 * in);
}

// One trapezoid link of three nodes, bed slope 0.01, dry.
void single_link(channel_state& c) { build_network(c, {{{12.5, 11.5, 10.5}, 0}}); }

struct edge_case {
  const char* label;
  std::function<void(channel_state&, route_settings&, double& dt)> setup;
  int result;
  long long substeps;   // sub-steps of the call
  double last_substep;  // s; below 0: not looked at
  std::string output;   // printed, exactly
  std::function<void(const channel_state&)> check;
};

const std::string tiny_step_stop =
    "The channel routing time step is getting really small\n"
    "less than 1/1000 of a second\n"
    "Reduce the model time step by a factor of 2 and try again.\n"
    "Program stopped.\n\n";
const std::string outlet_slope_stop =
    "The outlet slope is negative.  Make sure that the bed\n"
    "elevation of the most downstream node is lower than\n"
    "the bed elevation of the node just upstream from it.\n"
    "Program stopped.\n\n";

// Area 1 m2 at every node and a flow of q at node 1: Courant number
// dt / 100 x |q|, velocities near 1.3 m/s once the link flows.
void wet_with_flow(channel_state& c, double q) {
  single_link(c);
  set_all_areas(c, 1.0);
  c.qp[c.node_address(1, 1)] = q;
}

// Dry link of 1 m spacing with a withdrawal of w m3/s at node 2: after a
// sub-step of t seconds node 2's area is exactly -w t.
void dry_withdrawal(channel_state& c, route_settings& set, double w) {
  single_link(c);
  c.dx[1] = 1.0;
  set.point_input = 1;
  c.point_input_values[c.node_address(1, 2)] = -w;
}

TEST(ex_flow_route, sub_step_dry_node_and_outlet_rules_hold_at_their_edges) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const edge_case cases[] = {
      {"a Courant number equal to the limit halves the sub-step",
       [](channel_state& c, route_settings&, double& dt) {
         wet_with_flow(c, 1.0);
         dt = 20.0;
       },
       0, 2, 10.0, "", nullptr},
      {"just under the limit the step is one sub-step",
       [](channel_state& c, route_settings& set, double& dt) {
         wet_with_flow(c, 1.0);
         set.courant_limit = 0.2000001;
         dt = 20.0;
       },
       0, 1, 20.0, "", nullptr},
      {"reverse flow is limited as forward flow is",
       [](channel_state& c, route_settings&, double& dt) {
         wet_with_flow(c, -1.0);
         dt = 20.0;
       },
       0, 2, 10.0, "", nullptr},
      {"a rest of 0.001 s joins the sub-step before it",
       [](channel_state& c, route_settings& set, double& dt) {
         wet_with_flow(c, 1.0);
         set.courant_limit = 1.6e-5;  // cmax 2e-5: halved to 0.001 s
         dt = 0.002;
       },
       0, 1, 0.002, "", nullptr},
      {"a longer rest is a sub-step of its own",
       [](channel_state& c, route_settings& set, double& dt) {
         wet_with_flow(c, 1.0);
         set.courant_limit = 1.6e-5;
         dt = 0.0022;
       },
       0, 2, 0.0011, "", nullptr},
      {"an area of -1e-8 is accepted and cleared",
       [](channel_state& c, route_settings& set, double& dt) {
         dry_withdrawal(c, set, 1e-8);
         dt = 1.0;
       },
       0, 1, 1.0, "", [](const channel_state& c) { EXPECT_EQ(c.area[c.node_address(1, 2)], 0.0); }},
      {"an area of -1.1e-8 halves the sub-step",
       [](channel_state& c, route_settings& set, double& dt) {
         dry_withdrawal(c, set, 1.1e-8);
         dt = 1.0;
       },
       0, 2, 0.5, "", [](const channel_state& c) { EXPECT_EQ(c.area[c.node_address(1, 2)], 0.0); }},
      {"halving below 1/1000 s stops the run",
       [](channel_state& c, route_settings& set, double& dt) {
         dry_withdrawal(c, set, 1.0);
         dt = 1.0;
       },
       -1, 1, -1.0, tiny_step_stop, nullptr},
      {"equal outlet beds carry nothing out",
       [](channel_state& c, route_settings&, double& dt) {
         build_network(c, {{{12.5, 11.5, 11.5}, 0}});
         set_all_areas(c, 1.0);
         dt = 5.0;
       },
       0, 1, 5.0, "", [](const channel_state& c) { EXPECT_EQ(c.qp[c.node_address(1, 3)], 0.0); }},
      {"under the head boundary the outlet passes on what reaches it and keeps its area",
       [](channel_state& c, route_settings& set, double& dt) {
         single_link(c);
         set_all_areas(c, 1.0);
         set.head_bound = 1;
         dt = 5.0;
       },
       0, 1, 5.0, "",
       [](const channel_state& c) {
         EXPECT_EQ(c.area[c.node_address(1, 3)], 1.0);
         EXPECT_EQ(c.qp[c.node_address(1, 3)], c.qp[c.node_address(1, 2)]);
         EXPECT_GT(c.qp[c.node_address(1, 2)], 0.0);
       }},
      {"an outlet above its neighbour stops the run",
       [](channel_state& c, route_settings&, double& dt) {
         build_network(c, {{{12.5, 11.5, 11.6}, 0}});
         set_all_areas(c, 1.0);
         dt = 5.0;
       },
       -1, 1, -1.0, outlet_slope_stop, nullptr},
      {"the lowest link's bad node is the one reported",
       [nan](channel_state& c, route_settings&, double& dt) {
         build_junction(c);
         set_all_areas(c, 1.0);
         c.area[c.node_address(3, 1)] = nan;
         c.yp[c.node_address(2, 3)] = c.bel[c.node_address(2, 3)] - 0.01;
         dt = 5.0;
       },
       -1, 0, -1.0, "in ex_flow_route 2, negative depth at link 2 node 3\nprogram stopped.\n\n",
       [](const channel_state& c) { EXPECT_TRUE(std::isnan(c.area[c.node_address(3, 1)])); }},
      {"an area that is not a number is reported and emptied",
       [nan](channel_state& c, route_settings&, double& dt) {
         build_junction(c);
         set_all_areas(c, 1.0);
         c.area[c.node_address(3, 1)] = nan;
         c.area[c.node_address(3, 4)] = nan;
         dt = 5.0;
       },
       -1, 0, -1.0,
       "In ex_flow_route 1:  cross-sectional area is not a number at link 3 node 1\n\n",
       [](const channel_state& c) {
         const int a = c.node_address(3, 1);
         EXPECT_EQ(c.area[a], 0.0);
         EXPECT_EQ(c.yp[a], c.bel[a]);
         EXPECT_TRUE(std::isnan(c.area[c.node_address(3, 4)]));
       }},
  };
  for (const edge_case& e : cases) {
    SCOPED_TRACE(e.label);
    clear_errors();
    channel_state c;
    route_settings set;
    double dt = 0.0;
    e.setup(c, set, dt);
    stdout_capture capture;
    const int result = ex_flow_route(c, set, dt);
    EXPECT_EQ(capture.stop(), e.output);
    EXPECT_EQ(result, e.result);
    EXPECT_EQ(error_state.stop_flag, e.result < 0 ? 1 : 0);
    EXPECT_EQ(c.substeps, e.substeps);
    if (e.last_substep >= 0.0) {
      EXPECT_EQ(c.last_substep, e.last_substep);
    }
    if (e.check) e.check(c);
  }
}

TEST(ex_flow_route, a_pending_failure_routes_nothing) {
  clear_errors();
  channel_state c;
  wet_with_flow(c, 1.0);
  const std::vector<double> before = c.area;
  error_state.code = own_message_code;
  EXPECT_EQ(ex_flow_route(c, route_settings{}, 20.0), -1);
  EXPECT_EQ(c.area, before);
  EXPECT_EQ(c.substeps, 0);
  clear_errors();
}

}  // namespace
