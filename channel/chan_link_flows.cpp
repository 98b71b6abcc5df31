// Node flows of the routed links: diffusive-wave flow between neighbouring
// nodes, from the last node of a link into the first node of the next, and
// normal flow (or the head boundary's carry-through) at the outlet.

#include <cmath>
#include <cstddef>

#include "channel/channel_state.h"
#include "channel/ex_flow_route.h"
#include "core/error_state.h"

namespace {

// Flow from a node at level up to one at level down, length apart: the
// square root of the water-surface slope times the conveyance of whichever
// node stands higher, negative when the water runs backwards.
inline double diffusive_flow(double up, double down, double length, double conv_up,
                             double conv_down) {
  const double s = (up - down) / length;
  return s >= 0.0 ? std::sqrt(s) * conv_up : -std::sqrt(-s) * conv_down;
}

}  // namespace

int chan_link_flows(const channel_state& chan, const route_settings& set,
                    std::vector<double>& flow) {
  const int links = chan.links;
  const double* bel = chan.bel.data();
  const double* depth = chan.chan_depth.data();
  const double* conv = chan.conv.data();
  double* q = flow.data();

  // Links are taken from the highest number down, the order in which a
  // structure link's flow is ready before the links that copy it. Each link
  // writes only its own nodes and reads its downstream link's first node.
#pragma omp parallel for schedule(static) if (chan.threaded())
  for (int k = 0; k < links; ++k) {
    const int i = links - k;
    if (!chan.is_routed(i)) continue;
    const int n = chan.nx[i];
    if (n < 1) continue;
    const std::size_t first = std::size_t(chan.node_address(i, 1));
    const double dx = chan.dx[i];

    // The outlet link's last node follows the outlet rule below.
    const int d = i == links ? 0 : chan.dslink[i];
    const int down_type = d > 0 ? chan.ltype[d] : 0;
    if ((down_type & link_bit::shaped) && !(down_type & link_bit::overtaken)) {
      const std::size_t a = first + std::size_t(n - 1);
      const std::size_t b = std::size_t(chan.node_address(d, 1));
      q[a] = diffusive_flow(bel[a] + depth[a], bel[b] + depth[b], 0.5 * (chan.dx[d] + dx), conv[a],
                            conv[b]);
    }
    for (int j = n - 1; j >= 1; --j) {
      const std::size_t a = first + std::size_t(j - 1);
      q[a] = diffusive_flow(bel[a] + depth[a], bel[a + 1] + depth[a + 1], dx, conv[a], conv[a + 1]);
    }
  }

  if (links < 1 || !chan.is_routed(links) || chan.nx[links] < 1) return 0;
  const int n = chan.nx[links];
  const std::size_t a = std::size_t(chan.node_address(links, n));
  const double dx = chan.dx[links];
  if (set.head_bound) {
    // The boundary holds the outlet depth; what reaches the node passes on.
    q[a] = q[a - 1] + chan.qlat[a] * dx;
    if (set.point_input) q[a] += chan.point_input_values[a];
    return 0;
  }
  const double slope = (bel[a - 1] - bel[a]) / dx;
  if (slope < 0.0) {
    raise_message(
        "The outlet slope is negative.  Make sure that the bed\n"
        "elevation of the most downstream node is lower than\n"
        "the bed elevation of the node just upstream from it.\n"
        "Program stopped.\n");
    return -1;
  }
  q[a] = std::sqrt(slope) * conv[a];
  return 0;
}
