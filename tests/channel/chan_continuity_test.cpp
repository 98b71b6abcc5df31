// Node continuity with the stream-aquifer exchange: a bed never takes more
// than its node holds, and the routing works the exchange out at every
// sub-step, cuts it there and books what it cut, so that a network whose
// beds would drain it many times over keeps every node at or above empty
// and its books closed, alike on one and four threads.

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "channel/channel_steps.h"
#include "channel/ex_flow_route.h"
#include "network_fixture.h"

namespace {

using namespace network_fixture;

// Node 2 of a three-node link of 100 m spacing holding 1 m2 (100 m3) over a
// sub-step of 10 s: flows in and out of it, the exchange it is given, and
// what continuity leaves of both.
TEST(chan_continuity, a_bed_takes_no_more_than_its_node_holds) {
  const struct {
    const char* name;
    double in, out;   // m3/s from node 1, to node 3
    double qriv;      // m2/s given
    double area;      // m2 after
    double cut_qriv;  // m2/s after
  } cases[] = {
      {"a gain is left as it is", 0.0, 0.0, 0.05, 1.5, 0.05},
      {"a loss within the content is left as it is", 0.0, 0.0, -0.05, 0.5, -0.05},
      // 10 m3 come in; the bed would take 1000 m3 and takes the 100 m3 held.
      {"other terms bring water: the old content", 2.0, 1.0, -1.0, 0.1, -0.1},
      // 50 m3 go on; the bed takes the other 50 m3 and the node is empty.
      {"other terms take water: what they leave", 0.0, 5.0, -1.0, 0.0, -0.05},
      // 150 m3 would go on: the bed takes nothing, never giving water back.
      {"other terms take it all and more: nothing", 0.0, 15.0, -1.0, -0.5, 0.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    channel_state chan;
    build_network(chan, {{{12.0, 11.0, 10.0}, 0}});
    const int a1 = chan.node_address(1, 1), a2 = chan.node_address(1, 2);
    std::vector<double> flow(chan.node_slots(), 0.0), area(chan.node_slots(), 0.0);
    std::vector<double> qriv(chan.node_slots(), 0.0);
    flow[a1] = c.in;
    flow[a2] = c.out;
    area[a2] = 1.0;
    qriv[a2] = c.qriv;
    route_settings set;
    set.qriv = qriv.data();
    link_continuity(chan, set, 1, flow.data(), area.data(), 10.0);
    EXPECT_NEAR(area[a2], c.area, 1e-15);
    EXPECT_NEAR(qriv[a2], c.cut_qriv, 1e-15);
    EXPECT_GE(qriv[a2], std::min(c.qriv, 0.0));
  }

  // Under the head boundary the outlet's depth is the boundary's: its area
  // is not written, and what reaches it passes on with its exchange.
  channel_state chan;
  build_network(chan, {{{12.0, 11.0, 10.0}, 0}});
  const int a3 = chan.node_address(1, 3);
  std::vector<double> flow(chan.node_slots(), 0.0), area(chan.node_slots(), 0.0);
  std::vector<double> qriv(chan.node_slots(), 0.0);
  area[a3] = 0.7;
  qriv[a3] = 0.002;
  flow[a3 - 1] = 1.0;
  route_settings set;
  set.qriv = qriv.data();
  set.head_bound = 1;
  link_continuity(chan, set, 1, flow.data(), area.data(), 10.0);
  EXPECT_EQ(area[a3], 0.7);
  outlet_flow(chan, set, flow.data());
  EXPECT_DOUBLE_EQ(flow[a3], 1.0 + 0.002 * 100.0);
}

// A bed that would take 50 m3/s from every node of the junction, fed 5
// m3/s at its heads: the exchange stands in for the aquifer, giving that
// loss at every sub-step and booking what the continuity let the beds take.
class greedy_beds final : public substep_exchange {
 public:
  explicit greedy_beds(channel_state& chan) : chan_(chan) {}
  int rates() override {
    ++calls;
    for (int i = 1; i <= chan_.links; ++i)
      for (int j = 1; j <= chan_.nx[i]; ++j) chan_.qriv[chan_.node_address(i, j)] = rate;
    return 2;
  }
  void book(const double* qriv_old, double substep) override {
    for (int i = 1; i <= chan_.links; ++i) {
      for (int j = 1; j <= chan_.nx[i]; ++j) {
        const int a = chan_.node_address(i, j);
        if (qriv_old[a] != rate) saved_rates_kept = false;
        const double q = chan_.qriv[a];
        if (q > 0.0 || q < rate) cuts_within_the_rate = false;
        lost -= q * chan_.dx[i] * substep;
      }
    }
  }
  static constexpr double rate = -0.5;  // m2/s
  long long calls = 0;
  double lost = 0.0;  // m3
  bool saved_rates_kept = true;
  bool cuts_within_the_rate = true;

 private:
  channel_state& chan_;
};

struct greedy_run {
  std::unique_ptr<model_state> state = std::make_unique<model_state>();
  std::unique_ptr<greedy_beds> beds;
  double lowest_area = 0.0;  // m2
  double inflow = 0.0;       // m3
};

void run_greedy(greedy_run& r, int threads) {
  clear_errors();
  omp_set_num_threads(threads);
  channel_state& c = r.state->channel;
  build_junction(c);
  c.parallel_min_links = 1;  // three links, threaded all the same
  c.qriv.assign(c.node_slots(), 0.0);
  set_all_areas(c, 0.5);
  const double initial = channel_volume(c);
  r.beds = std::make_unique<greedy_beds>(c);
  route_settings set;
  set.point_input = 1;
  set.exchange = r.beds.get();
  c.point_input_values[c.node_address(1, 1)] = 2.0;
  c.point_input_values[c.node_address(2, 1)] = 3.0;
  const long long before = c.substeps;
  for (int k = 0; k < 120; ++k) {
    ASSERT_GE(ex_flow_route(c, set, 30.0), 0);
    r.inflow += 30.0 * 5.0;
    c.outlet_volume += c.step_outlet_volume;
    for (int i = 1; i <= c.links; ++i)
      for (int j = 1; j <= c.nx[i]; ++j)
        r.lowest_area = std::min(r.lowest_area, c.area[c.node_address(i, j)]);
  }
  EXPECT_EQ(r.beds->calls, c.substeps - before);
  r.inflow += initial;
}

TEST(chan_continuity, beds_that_would_drain_the_network_take_what_it_holds_and_book_it) {
  const int threads = omp_get_max_threads();
  greedy_run one, four;
  run_greedy(one, 1);
  run_greedy(four, 4);
  omp_set_num_threads(threads);
  ASSERT_EQ(error_state.stop_flag, 0);
  for (const greedy_run* r : {&one, &four}) {
    const channel_state& c = r->state->channel;
    EXPECT_GE(r->lowest_area, 0.0);
    EXPECT_TRUE(r->beds->saved_rates_kept);
    EXPECT_TRUE(r->beds->cuts_within_the_rate);
    // Uncut, the beds would have taken 11 nodes x 50 m3/s for an hour.
    EXPECT_GT(r->beds->lost, 0.9 * r->inflow);
    EXPECT_LT(r->beds->lost, r->inflow);
    EXPECT_NEAR(r->inflow - c.outlet_volume - r->beds->lost, channel_volume(c),
                1e-10 * r->inflow);
  }
  const channel_state& a = one.state->channel;
  const channel_state& b = four.state->channel;
  EXPECT_EQ(a.area, b.area);
  EXPECT_EQ(a.qp, b.qp);
  EXPECT_EQ(a.qriv, b.qriv);
  EXPECT_EQ(a.outlet_volume, b.outlet_volume);
  EXPECT_EQ(one.beds->lost, four.beds->lost);
}

}  // namespace
