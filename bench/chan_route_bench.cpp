// Explicit channel routing speed: a binary tree of 1023 trapezoid links of
// 20 nodes, fed 0.5 m3/s at the head of every head link, routed for one
// hour of 30 s channel steps on 1, 2, 4 and 8 threads. Prints node
// sub-steps per second (the best of a few repetitions, as other work on the
// machine only ever slows a run down), the speed-up over one thread, the
// water held by the network, the bound of the memory bandwidth, and whether
// any node's area or flow differs from the one-thread run.
//
// Bytes a node sub-step of a trapezoid link, counted from the code as each
// phase reads and writes its arrays (one pass of the predictor-corrector):
//   the start of the pass: the state saved (area and flow read, their old
//   copies written), the node flows (bed, depth, conveyance read, flow
//   written), the areas put back (old area read, area and predicted area
//   written), the stop test (predicted area read): 4 + 4 + 3 + 1 = 12
//   doubles;
//   the predictor: its area read for the section test, continuity (flow,
//   lateral inflow, point input and area read, area written): 1 + 5 = 6;
//   the mean flows: the section of the predicted area (area, bottom width,
//   side slope, bed read, depth, stage and conveyance written), the node
//   flows (bed, depth, conveyance read, flow written), the mean (two flows
//   read, one written): 7 + 4 + 3 = 14;
//   the corrector: continuity (5) and the change against the predicted
//   area (1): 6;
//   the closing sweep (the section of the corrected area, 7), the checks of
//   the next sub-step (area, stage, bed and flow read, 4): 11;
//   in all 49 doubles = 392 B. The network's 20,460 nodes in the 15 arrays
//   named take 2.5 MB, which the caches hold: the bound is what the loop
//   would reach from memory, and on 8 threads a sub-step's half a dozen
//   barriers over some 2,560 nodes a thread weigh more than its traffic.

#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "bench_support.h"
#include "channel/channel_state.h"
#include "channel/ex_flow_route.h"
#include "channel/ex_section.h"
#include "core/error_state.h"
#include "core/parallel_context.h"

namespace {

constexpr int links = 1023;
constexpr int nodes = 20;
constexpr double dx = 100.0;     // m
constexpr double slope = 0.002;  // bed slope
constexpr double inflow = 0.5;   // m3/s at each head link
constexpr int repetitions = 3;
constexpr double node_bytes = 392.0;  // a node sub-step

// Tree link k (1 the outlet) drains into k / 2; the outlet must be the last
// link, so network link = links + 1 - k.
int net(int k) { return links + 1 - k; }

void build(channel_state& c) {
  c.links = links;
  c.max_nodes = nodes + 1;
  c.max_dep = 2;
  const std::size_t per_link = std::size_t(links) + 1;
  for (std::vector<int>* v : {&c.ltype, &c.ldex, &c.ndep, &c.dslink, &c.nx1, &c.nx, &c.og_nx1})
    v->assign(per_link, 0);
  c.inv_mannings_n.assign(per_link, 1.0 / 0.035);
  c.dx.assign(per_link, dx);
  c.uslinks.assign(per_link * 3, 0);
  const std::size_t slots = c.node_slots();
  for (std::vector<double>* v : {&c.bel, &c.yp, &c.qp, &c.area, &c.area_old, &c.chan_depth,
                                 &c.conv, &c.dconv, &c.topw, &c.qlat, &c.bottom, &c.sslope,
                                 &c.sslope2, &c.bankfull_dep, &c.point_input_values})
    v->assign(slots + 1, 0.0);
  c.table_num.assign(slots, 0);
  // Every link falls nodes x dx x slope, and a downstream link starts where
  // its upstream ones end: a link `level` links above the outlet starts
  // level + 1 falls above the outlet's end.
  for (int k = 1; k <= links; ++k) {
    int level = 0;
    for (int j = k; j > 1; j /= 2) ++level;
    const int l = net(k);
    c.ltype[l] = link_bit::trapezoid;
    c.ldex[l] = l;
    c.nx1[l] = nodes + 1;
    c.nx[l] = c.og_nx1[l] = nodes;
    c.dslink[l] = k == 1 ? 0 : net(k / 2);
    for (int u : {2 * k, 2 * k + 1})
      if (u <= links) c.uslinks[std::size_t(l) * 3 + ++c.ndep[l]] = net(u);
    const double top = 10.0 + (level + 1) * nodes * dx * slope;
    for (int j = 1; j <= nodes; ++j) {
      const int a = c.node_address(l, j);
      c.bel[a] = c.yp[a] = top - (j - 0.5) * dx * slope;
      c.bottom[a] = 10.0;
      c.sslope[a] = 1.0;
      c.bankfull_dep[a] = 5.0;
    }
    if (c.ndep[l] == 0) c.point_input_values[c.node_address(l, 1)] = inflow;
  }
  ex_section(c, section_mode::from_stage);
}

// Routes the network, built into a fresh record, for the hour; returns node
// sub-steps per second of all but the first call, or a negative number
// after a failure.
double route_hour(channel_state& chan) {
  build(chan);
  route_settings set;
  set.point_input = 1;
  // The first call sizes the work arrays; it is not timed.
  if (ex_flow_route(chan, set, 30.0) < 0) return -1.0;
  const long long first = chan.substeps;
  const auto start = std::chrono::steady_clock::now();
  for (int step = 1; step < 120; ++step)
    if (ex_flow_route(chan, set, 30.0) < 0) return -1.0;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return double(chan.substeps - first) * links * nodes / seconds;
}

}  // namespace

int main(int, char** argv) {
  settle_thread_waits(argv);
  double base_rate = 0.0;
  std::unique_ptr<channel_state> base;
  bench::loop_figures f;
  f.loop = "channel routing, 1023 links";
  f.unit = "node sub-steps/s";
  f.bytes = node_bytes;
  f.identical = true;
  for (int threads : {1, 2, 4, 8}) {
    omp_set_num_threads(threads);
    std::unique_ptr<channel_state> chan;
    double rate = 0.0;
    for (int r = 0; r < repetitions; ++r) {
      chan = std::make_unique<channel_state>();
      const double one = route_hour(*chan);
      if (one < 0.0) {
        std::fprintf(stderr, "routing failed\n");
        return 1;
      }
      rate = std::max(rate, one);
    }
    if (threads == 1) base_rate = rate;
    // The front has not reached the outlet in an hour, so the water held is
    // what came in; the node states show any difference between the thread
    // counts.
    const double q = chan->water_volume();
    const bool differs = base && (chan->area != base->area || chan->qp != base->qp);
    if (differs) f.identical = false;
    std::printf("%d thread(s): %.3e node sub-steps/s, speed-up %.2f, volume %.6f m3%s; %s\n",
                threads, rate, rate / base_rate, q, differs ? " (DIFFERS)" : "",
                bench::load_average().c_str());
    if (threads == 1) f.one = rate;
    if (threads == 8) f.eight = rate;
    if (!base) base = std::move(chan);
  }
  bench::loop_rows(f);
  return error_state.stop_flag != 0 || !f.identical;
}
