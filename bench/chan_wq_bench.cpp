// Channel water-quality routing speed: 3 constituents through 50 links of 20
// nodes in a chain (1 m2 of water and 10 m between nodes), 1000 channel
// steps of 60 s of steady flow passing 4 m3 through every node (Courant
// 0.4), a load of 1 g/s entering the head node of each. Prints the
// sub-steps and corrector passes per interval, the time per node-pass
// (a pass reads and writes about ten arrays of the node addresses), and the
// mass held, which must equal the load: the outlet's outflow is a source the
// channel step takes, so nothing is routed out of the last node.

#include <chrono>
#include <cstdio>

#include "channel/channel_state.h"
#include "core/parallel_context.h"
#include "quality/chan_wq_route.h"

namespace {

constexpr int links = 50;
constexpr int nodes = 20;
constexpr int constituents = 3;
constexpr int steps = 1000;
constexpr double dt = 60.0;  // s

void build(channel_state& c) {
  c.links = links;
  c.max_nodes = nodes + 1;
  c.max_dep = 1;
  const std::size_t per_link = std::size_t(links) + 1;
  for (std::vector<int>* v : {&c.ltype, &c.ldex, &c.ndep, &c.dslink, &c.nx1, &c.nx, &c.og_nx1})
    v->assign(per_link, 0);
  c.dx.assign(per_link, 10.0);
  c.uslinks.assign(per_link * 2, 0);
  const std::size_t slots = c.node_slots();
  for (std::vector<double>* v : {&c.area, &c.area_old, &c.qp_vol}) v->assign(slots, 0.0);
  for (int l = 1; l <= links; ++l) {
    c.ltype[l] = link_bit::trapezoid;
    c.nx[l] = c.og_nx1[l] = nodes;
    c.nx1[l] = nodes + 1;
    c.dslink[l] = l < links ? l + 1 : 0;
    if (l > 1) {
      c.ndep[l] = 1;
      c.uslinks[std::size_t(l) * 2 + 1] = l - 1;
    }
    for (int j = 1; j <= nodes; ++j) {
      const int a = c.node_address(l, j);
      c.area[a] = c.area_old[a] = 1.0;
      c.qp_vol[a] = 4.0;
    }
  }
}

}  // namespace

int main(int, char** argv) {
  settle_thread_waits(argv);
  channel_state c;
  build(c);
  chan_wq_work work[constituents];
  for (chan_wq_work& w : work) {
    w.size(c);
    w.source[std::size_t(c.node_address(1, 1))] = 1.0;  // g/s
  }
  long long substeps = 0, passes = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int step = 0; step < steps; ++step) {
    for (chan_wq_work& w : work) {
      if (!chan_wq_route(c, w, dt)) return 1;
      substeps += w.substeps;
      passes += w.passes;
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double routed_nodes = double(links) * nodes;
  // Every sub-step is a predictor and its corrector passes.
  const double node_passes = double(passes + substeps) * routed_nodes;
  double held = 0.0;
  for (int l = 1; l <= links; ++l)
    for (int j = 1; j <= nodes; ++j) held += work[0].mass[std::size_t(c.node_address(l, j))];
  const double intervals = double(steps) * constituents;
  std::printf("chan_wq_route: %d constituents, %d links of %d nodes, %d steps of %.0f s\n",
              constituents, links, nodes, steps, dt);
  std::printf("  sub-steps per interval          %8.2f\n", double(substeps) / intervals);
  std::printf("  corrector passes per interval   %8.2f\n", double(passes) / intervals);
  std::printf("  time per node-pass              %8.2f ns\n", seconds * 1e9 / node_passes);
  std::printf("  total                           %8.3f s\n", seconds);
  std::printf("  mass held (g), load %.0f g        %8.2f\n", steps * dt, held);
  return 0;
}
