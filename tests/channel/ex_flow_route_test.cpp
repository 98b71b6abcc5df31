// Explicit channel routing on hand-built trapezoid networks: the junction
// reaches Manning's normal depth and keeps its water, its routing does not
// depend on the thread count, point sources and first-order inflow are
// booked as they enter, and the sub-step, dry-node and outlet rules hold at
// their edges. Structure links pass their elements' flow on to the link
// above them within what its last node holds, a last node drains into a
// lake only from above the lake's level, and a network with lakes and
// structures keeps its water and routes alike on any thread count.

#include "channel/ex_flow_route.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "channel/channel_steps.h"
#include "channel/structure_flow.h"
#include "input/series.h"
#include "lake_network.h"
#include "network_fixture.h"
#include "test_support.h"

namespace {

using namespace network_fixture;
using namespace lake_network;
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

// The water each node passes on, which the channel sediment moves its fines
// with, is summed over the sub-steps alike on one and eight threads, and at
// the outlet node it is what left the network.
TEST(ex_flow_route, passed_volumes_add_up_alike_on_one_and_eight_threads) {
  const int threads = omp_get_max_threads();
  std::unique_ptr<model_state> runs[2];
  const int counts[2] = {1, 8};
  for (int r = 0; r < 2; ++r) {
    clear_errors();
    omp_set_num_threads(counts[r]);
    runs[r] = junction_with_point_inflows();
    channel_state& c = runs[r]->channel;
    c.parallel_min_links = 1;
    c.qp_vol_sed.assign(c.node_slots(), 0.0);
    route_settings set;
    set.point_input = 1;
    set.sediment_volumes = 1;
    for (int k = 0; k < 200 && error_state.stop_flag == 0; ++k) {
      ASSERT_EQ(ex_flow_route(c, set, 30.0), 0);
      c.outlet_volume += c.step_outlet_volume;
    }
  }
  omp_set_num_threads(threads);
  const channel_state& a = runs[0]->channel;
  const channel_state& b = runs[1]->channel;
  for (std::size_t i = 0; i < a.qp_vol_sed.size(); ++i)
    ASSERT_EQ(a.qp_vol_sed[i], b.qp_vol_sed[i]) << i;
  const int outlet = a.node_address(3, a.nx[3]);
  EXPECT_GT(a.outlet_volume, 0.0);
  EXPECT_NEAR(a.qp_vol_sed[std::size_t(outlet)], a.outlet_volume, 1e-9 * a.outlet_volume);
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
    constexpr int n = 5;
    std::unique_ptr<channel_state> runs[n];
    std::string output[n];
    const int counts[n] = {1, 2, 3, 4, 8};
    for (int r = 0; r < n; ++r) {
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
    for (int r = 1; r < n; ++r) {
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

// Manning's normal depth of q (m3/s) in a rectangle of width b (m), n and
// bed slope s, by bisection.
double rectangle_normal_depth(double q, double b, double n, double s) {
  double lo = 0.0, hi = 10.0;
  for (int k = 0; k < 200; ++k) {
    const double h = 0.5 * (lo + hi);
    const double area = b * h;
    const double carried = area * std::pow(area / (b + 2.0 * h), 2.0 / 3.0) * std::sqrt(s) / n;
    (carried < q ? lo : hi) = h;
  }
  return 0.5 * (lo + hi);
}

// A rectangle 10 m wide, n 0.03, on a slope of 0.001: a hundred nodes of
// 100 m (10 km) fed 10 m3/s at the head. Its wave's diffusivity
// Q / (2 B S) is 500 m2/s, so the diffusion number of a 100 m node is
// 0.05 a second of sub-step: 0.5 at a 10 s step, where the Courant number
// (about 0.09) is well within its limit. At every model step the channel
// settles at Manning's depth with no flow turning back, its sub-steps no
// longer than the 5 s that keep the diffusion number at 0.25, and its water
// kept.
TEST(ex_flow_route, a_long_channel_settles_at_normal_depth_at_any_model_step) {
  const double normal = rectangle_normal_depth(10.0, 10.0, 0.03, 0.001);
  std::vector<double> beds;
  for (int j = 1; j <= 100; ++j) beds.push_back(20.0 - 0.1 * (j - 1));
  trapezoid rectangle;
  rectangle.bottom = 10.0;
  rectangle.slope = 0.0;
  rectangle.n = 0.03;
  for (const double step : {5.0, 10.0, 20.0, 60.0}) {
    SCOPED_TRACE(step);
    clear_errors();
    channel_state c;
    build_network(c, {{beds, 0}}, rectangle);
    set_all_areas(c, 5.0);  // half a metre deep: the wave of the inflow runs down
    const double start = channel_volume(c);
    route_settings set;
    set.first_order_q = 10.0;
    double outflow = 0.0, lowest = 0.0;
    const int calls = int(6 * 3600 / step);
    for (int k = 0; k < calls; ++k) {
      ASSERT_EQ(ex_flow_route(c, set, step), 0);
      outflow += c.step_outlet_volume;
      for (int j = 1; j <= 100; ++j) lowest = std::min(lowest, c.qp[c.node_address(1, j)]);
    }
    EXPECT_GE(lowest, 0.0);
    for (int j = 1; j <= 100; ++j) {
      EXPECT_NEAR(c.chan_depth[c.node_address(1, j)], normal, 1e-3) << "node " << j;
      EXPECT_NEAR(c.qp[c.node_address(1, j)], 10.0, 1e-3) << "node " << j;
    }
    EXPECT_LE(c.last_substep, 5.0 * (1.0 + 1e-9));
    const double in = 10.0 * step * calls;
    EXPECT_NEAR(start + in - outflow, channel_volume(c), 1e-9 * in);
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

// ---- Structures and lakes ----

// Link 1 (beds 12.5, 12.0, 11.5) -> 2 (structure) -> 3 (the outlet, beds
// 10.5, 10.0, 9.5), links 100 m apart, with the given elements; link 1's
// nodes up depths deep, link 3's down deep.
void structure_between_channels(channel_state& c, const std::vector<struct_element>& elements,
                                double up, double down) {
  build_network(c, {{{12.5, 12.0, 11.5}, 2}, {{11.0, 11.0}, 3}, {{10.5, 10.0, 9.5}, 0}});
  make_structure(c, 2, elements);
  for (int j = 1; j <= 3; ++j) {
    set_depth(c, 1, j, up);
    set_depth(c, 3, j, down);
  }
}

// Free flow over a 2 m crest at 11 m (cd 0.6) from link 1's last node 1 m
// deep (level 12.5 m, 300 m3 held) with link 3 0.3 m deep (10.8 m).
const double weir_q = free_weir_flow(0.6, 2.0, 1.5);  // 3.758 m3/s

struct structure_case {
  const char* label;
  std::function<void(channel_state&)> setup;
  double substep;  // s
  double q;        // m3/s through the structure and out of link 1's last node
};

TEST(ex_flow_route, a_structure_passes_its_elements_flow_to_the_link_above_within_its_water) {
  static elev_series rating, rule;
  rating.name = "rating";
  rating.elevation = {11.0, 13.0};
  rating.value = {0.0, 4.0};  // 3 m3/s at 12.5 m
  rule.name = "rule";
  rule.elevation = {11.0, 12.0, 13.0};
  rule.value = {0.1, 0.2, 0.3};  // 0.2 m3/s from 12 m up to 13 m
  static time_series release;
  release.name = "release";
  release.time = {2451540.0, 2451560.0};
  release.value = {0.25, 0.25};
  const structure_case cases[] = {
      {"weir flow is passed on whole when the last node holds it",
       [](channel_state& c) { structure_between_channels(c, {weir(11.0, 2.0, 0.6)}, 1.0, 0.3); },
       1.0, weir_q},
      {"a flow that would empty the last node is cut to its volume over the sub-step",
       [](channel_state& c) { structure_between_channels(c, {weir(11.0, 2.0, 0.6)}, 1.0, 0.3); },
       100.0, 300.0 / 100.0},
      {"a reverse flow is cut to the downstream first node's volume",
       [](channel_state& c) {
         // Level 11.7 m above, 12.5 m below (800 m3 in link 3's node 1).
         structure_between_channels(c, {weir(11.0, 2.0, 0.6)}, 0.2, 2.0);
       },
       1000.0, -800.0 / 1000.0},
      {"a structure fed by a lake is not cut",
       [](channel_state& c) {
         structure_between_channels(c, {weir(11.0, 2.0, 0.6)}, 0.0, 0.3);
         make_lake(c, 1, 1, 12.5);
       },
       1e4, weir_q},
      {"weir, rating curve, scheduled release and rule curve add up",
       [](channel_state& c) {
         struct_element rated, scheduled, ruled;
         rated.type = 6;
         rated.es = &rating;
         scheduled.type = 7;
         scheduled.ts = &release;
         ruled.type = 8;
         ruled.es = &rule;
         structure_between_channels(c, {weir(11.0, 2.0, 0.6), rated, scheduled, ruled}, 1.0, 0.3);
       },
       1.0, weir_q + 3.0 + 0.25 + 0.2},
  };
  for (const structure_case& t : cases) {
    SCOPED_TRACE(t.label);
    clear_errors();
    channel_state c;
    t.setup(c);
    route_settings set;
    set.time = 2451545.0;
    std::vector<double> flow(c.node_slots(), 0.0);
    ASSERT_EQ(chan_link_flows(c, set, flow, t.substep), 0);
    EXPECT_EQ(error_state.stop_flag, 0);
    EXPECT_NEAR(flow[c.node_address(2, 1)], t.q, 1e-12);
    EXPECT_EQ(flow[c.node_address(2, 2)], flow[c.node_address(2, 1)]);
    if (c.is_routed(1)) {
      EXPECT_EQ(flow[c.node_address(1, 3)], flow[c.node_address(2, 1)]);
    }
  }
}

TEST(ex_flow_route, a_culvert_is_calibrated_before_its_flow_is_taken) {
  clear_errors();
  struct_element pipe;
  pipe.type = 3;  // round, 0.6 m across, 20 m long, invert 11 m, on a slope of 0.01
  pipe.width = 0.6;
  pipe.length = 20.0;
  pipe.up_invert = 11.0;
  pipe.slope = 0.01;
  pipe.coeff_forward = pipe.coeff_reverse = 0.6;
  pipe.rough_coeff = 0.013;
  channel_state c;
  structure_between_channels(c, {pipe}, 1.0, 0.3);
  std::vector<struct_element> expected = c.elements;
  ASSERT_TRUE(calibrate_culvert(expected, 1, 2));
  ASSERT_GT(expected[1].coeff_inlet, 0.0);
  ASSERT_LE(expected[1].coeff_inlet, 1.0);
  const double q = culv_flow(expected, 1, 12.5, 10.8).q;  // m3/s
  ASSERT_GT(q, 0.0);

  std::vector<double> flow(c.node_slots(), 0.0);
  ASSERT_EQ(chan_link_flows(c, route_settings{}, flow, 1.0), 0);
  EXPECT_EQ(error_state.stop_flag, 0);
  EXPECT_EQ(c.elements[1].coeff_inlet, expected[1].coeff_inlet);
  EXPECT_EQ(flow[c.node_address(2, 1)], q);
  EXPECT_EQ(flow[c.node_address(1, 3)], q);
}

TEST(ex_flow_route, a_structures_predictor_flow_reads_the_predicted_levels) {
  clear_errors();
  channel_state c;
  structure_between_channels(c, {weir(11.0, 2.0, 0.6)}, 1.0, 0.3);
  // A short step: one sub-step of one pass, whose predictor areas stay.
  ASSERT_EQ(ex_flow_route(c, route_settings{}, 2.0), 0);
  ASSERT_EQ(c.substeps, 1);
  const int up = c.node_address(1, 3), down = c.node_address(3, 1), s = c.node_address(2, 1);
  const double up_level = 11.5 + trapezoid_depth(c.rt_area_iter[up]);      // m
  const double down_level = 10.5 + trapezoid_depth(c.rt_area_iter[down]);  // m
  ASSERT_GT(std::fabs(up_level - 12.5), 1e-3);  // the predictor moved the last node
  ASSERT_LT(down_level - 11.0, 2.0 / 3.0 * (up_level - 11.0));  // still free flow
  EXPECT_EQ(c.rt_qp_last[s], weir_q);
  EXPECT_NEAR(c.rt_qp_iter[s], free_weir_flow(0.6, 2.0, up_level - 11.0), 1e-12);
  EXPECT_EQ(c.qp[s], 0.5 * (c.rt_qp_last[s] + c.rt_qp_iter[s]));
  EXPECT_EQ(c.qp[c.node_address(2, 2)], c.qp[s]);
  EXPECT_EQ(c.qp[up], c.qp[s]);
}

struct lake_level_case {
  const char* label;
  double lake_level;  // m; link 1's last node stands at 12 m
  bool overtaken;     // link 2 an overtaken channel rather than a lake link
  double slope;       // of the water surface over 2 dx towards the lake
};

TEST(ex_flow_route, a_last_node_drains_into_a_lake_only_from_above_its_level) {
  const lake_level_case cases[] = {
      {"level with the lake", 12.0, false, 0.0},
      {"below the lake", 12.3, false, 0.0},
      {"above the lake", 11.8, false, 0.2 / 200.0},
      {"below the lake that overtook the link below", 12.3, true, 0.0},
      {"above the lake that overtook the link below", 11.8, true, 0.2 / 200.0},
  };
  for (const lake_level_case& t : cases) {
    SCOPED_TRACE(t.label);
    clear_errors();
    channel_state c;
    build_network(c, {{{12.5, 12.0, 11.5}, 2}, {{11.0, 10.8, 10.6}, 3}, {{10.5, 10.0}, 4},
                      {{9.5, 9.0, 8.5}, 0}});
    if (t.overtaken) {
      make_lake(c, 3, 1, t.lake_level);
      c.ltype[2] |= link_bit::overtaken;
      c.nx[2] = 0;
      c.lake2link[2] = 1;
    } else {
      make_lake(c, 2, 1, t.lake_level);
    }
    for (int j = 1; j <= 3; ++j) set_depth(c, 1, j, 0.5);
    std::vector<double> flow(c.node_slots(), -1.0);
    ASSERT_EQ(chan_link_flows(c, route_settings{}, flow, 1.0), 0);
    const int last = c.node_address(1, 3);
    const double q = std::sqrt(t.slope) * c.conv[last];  // m3/s
    EXPECT_NEAR(flow[last], q, 1e-12 * q);
    EXPECT_GE(flow[last], 0.0);
  }
}

TEST(ex_flow_route, a_failed_culvert_stops_the_routing_at_its_next_check) {
  clear_errors();
  channel_state c;
  struct_element pipe;
  pipe.type = 3;  // round, of no length
  pipe.width = 0.6;
  pipe.up_invert = 11.0;
  pipe.coeff_forward = pipe.coeff_reverse = 0.6;
  pipe.rough_coeff = 0.013;
  structure_between_channels(c, {pipe}, 1.0, 0.3);
  const std::vector<double> before = c.area;
  stdout_capture capture;
  EXPECT_EQ(ex_flow_route(c, route_settings{}, 30.0), -1);
  const std::string output = capture.stop();
  EXPECT_NE(output.find("Error in link number: 2 "), std::string::npos) << output;
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_EQ(c.area, before);
  EXPECT_EQ(c.step_outlet_volume, 0.0);
  clear_errors();
}

// Links 1 -> 2 -> 3 (lake 1, level 21.3 m) -> 4 (weir, crest 21 m, 3 m
// long) -> 5 -> 6 (weir, crest 18.5 m, 4 m long) -> 7 (the outlet): channel
// links of four nodes 100 m apart falling 0.5 m a node, 0.3 m deep, fed
// 1 m3/s at the head. Nodes 3 and 4 of link 2 lie in grid cells of the
// lake, node 4 half in each of two.
void lake_and_weirs(channel_state& c) {
  build_network(c, {{{24.5, 24.0, 23.5, 23.0}, 2},
                    {{22.5, 22.0, 21.5, 21.0}, 3},
                    {{19.0}, 4},
                    {{21.0, 21.0}, 5},
                    {{20.0, 19.5, 19.0, 18.5}, 6},
                    {{18.5, 18.5}, 7},
                    {{18.0, 17.5, 17.0, 16.5}, 0}});
  make_lake(c, 3, 1, 21.3);
  c.lake_volume[1] = 1e5;
  make_structure(c, 4, {weir(21.0, 3.0, 0.6)});
  make_structure(c, 6, {weir(18.5, 4.0, 0.6)});
  set_all_depths(c, 0.3);
  set_lake_cells(c, 5);
  c.lake_mask[3] = c.lake_mask[4] = c.lake_mask[5] = 1;
  set_stream_cells(c, {{{1, 2, 1, 1.0}},
                       {{2, 2, 2, 1.0}},
                       {{3, 2, 3, 1.0}},
                       {{4, 2, 4, 0.5}},
                       {{5, 2, 4, 0.5}}});
  c.point_input_values[c.node_address(1, 1)] = 1.0;
}

// Routes calls channel steps of 30 s; the lake withdraws from link 2
// before call withdraw (never when 0). Returns what was printed.
std::string route_lake_and_weirs(channel_state& c, int calls, int withdraw) {
  route_settings set;
  set.point_input = 1;
  stdout_capture capture;
  for (int k = 1; k <= calls && error_state.stop_flag == 0; ++k) {
    if (k == withdraw) c.lake_mask[3] = c.lake_mask[4] = c.lake_mask[5] = 0;
    ex_flow_route(c, set, 30.0);
  }
  return capture.stop();
}

TEST(ex_flow_route, a_two_link_chain_under_a_lake_with_8_threads_keeps_the_lake_balance_closed) {
  const int threads = omp_get_max_threads();
  omp_set_num_threads(8);
  clear_errors();
  channel_state c;
  lake_and_weirs(c);
  c.parallel_min_links = 1;
  const double water = channel_volume(c) + c.lake_volume[1];  // m3
  const double taken = 100.0 * (0.3 * 2.3) * 2.0;             // nodes 3 and 4 of link 2, m3
  double outlet = 0.0;                                        // m3
  route_settings set;
  set.point_input = 1;
  stdout_capture capture;
  for (int k = 0; k < 40 && error_state.stop_flag == 0; ++k) {
    ex_flow_route(c, set, 30.0);
    outlet += c.step_outlet_volume;
  }
  const std::string output = capture.stop();
  omp_set_num_threads(threads);
  ASSERT_EQ(error_state.stop_flag, 0) << output;
  EXPECT_EQ(output,
            "node taken: [4][2] lake_elev:   21.30, dslink:3 nx: 3\n"
            "node taken: [3][2] lake_elev:   21.30, dslink:3 nx: 2\n");
  EXPECT_EQ(c.nx[2], 2);

  // The lake level stands 0.3 m over the crest, and link 5 stays below it:
  // free flow out all the time.
  EXPECT_NEAR(c.lake_out_dv[1], free_weir_flow(0.6, 3.0, 0.3) * 1200.0, 1e-9);
  EXPECT_GT(c.lake_in_dv[1], taken);
  EXPECT_NEAR(c.lake_volume[1] - 1e5, c.lake_in_dv[1] - c.lake_out_dv[1], 1e-7);
  // What came in at the head is in the channels, in the lake or gone out.
  EXPECT_NEAR(channel_volume(c) + c.lake_volume[1] - water, 1200.0 - outlet, 1e-7);
  EXPECT_GT(outlet, 0.0);
  // The links above the weirs took this call's flows of the weirs.
  EXPECT_EQ(c.qp[c.node_address(5, 4)], c.qp[c.node_address(6, 1)]);
  EXPECT_EQ(c.qp[c.node_address(6, 2)], c.qp[c.node_address(6, 1)]);
  clear_errors();
}

TEST(ex_flow_route, a_network_with_lakes_and_structures_routes_alike_on_one_and_eight_threads) {
  const int threads = omp_get_max_threads();
  std::unique_ptr<channel_state> runs[2];
  std::string output[2];
  const int counts[2] = {1, 8};
  for (int r = 0; r < 2; ++r) {
    clear_errors();
    omp_set_num_threads(counts[r]);
    runs[r] = std::make_unique<channel_state>();
    lake_and_weirs(*runs[r]);
    runs[r]->parallel_min_links = 1;
    output[r] = route_lake_and_weirs(*runs[r], 40, 20);
    ASSERT_EQ(error_state.stop_flag, 0) << output[r];
  }
  omp_set_num_threads(threads);
  const channel_state& a = *runs[0];
  const channel_state& b = *runs[1];
  EXPECT_NE(output[0].find("node released:[3][2]"), std::string::npos) << output[0];
  EXPECT_EQ(output[1], output[0]);
  EXPECT_EQ(b.nx, a.nx);
  EXPECT_EQ(b.ltype, a.ltype);
  EXPECT_EQ(b.status_node, a.status_node);
  EXPECT_EQ(b.substeps, a.substeps);
  EXPECT_EQ(b.lake_volume, a.lake_volume);
  EXPECT_EQ(b.lake_in_dv, a.lake_in_dv);
  EXPECT_EQ(b.lake_out_dv, a.lake_out_dv);
  for (std::size_t i = 0; i < a.area.size(); ++i) {
    ASSERT_EQ(b.area[i], a.area[i]) << i;
    ASSERT_EQ(b.qp[i], a.qp[i]) << i;
    ASSERT_EQ(b.yp[i], a.yp[i]) << i;
  }
  clear_errors();
}

}  // namespace
