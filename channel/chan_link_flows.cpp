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

bool has_outlet_node(const channel_state& chan) {
  const int links = chan.links;
  return links >= 1 && chan.is_routed(links) && chan.nx[links] >= 1;
}

}  // namespace

int flow_downstream(const channel_state& chan, int link) {
  if (link == chan.links) return 0;  // the outlet link's last node follows the outlet rule
  const int d = chan.dslink[link];
  const int down_type = d > 0 ? chan.ltype[d] : 0;
  return (down_type & link_bit::shaped) && !(down_type & link_bit::overtaken) ? d : 0;
}

void link_flows(const channel_state& chan, int link, double* flow, double down_depth,
                double down_conv) {
  if (!chan.is_routed(link)) return;
  const int n = chan.nx[link];
  if (n < 1) return;
  const double* bel = chan.bel.data();
  const double* depth = chan.chan_depth.data();
  const double* conv = chan.conv.data();
  const std::size_t first = std::size_t(chan.node_address(link, 1));
  const double dx = chan.dx[link];

  const int d = flow_downstream(chan, link);
  if (d > 0) {
    const std::size_t a = first + std::size_t(n - 1);
    const std::size_t b = std::size_t(chan.node_address(d, 1));
    flow[a] = diffusive_flow(bel[a] + depth[a], bel[b] + down_depth, 0.5 * (chan.dx[d] + dx),
                             conv[a], down_conv);
  }
  for (int j = n - 1; j >= 1; --j) {
    const std::size_t a = first + std::size_t(j - 1);
    flow[a] =
        diffusive_flow(bel[a] + depth[a], bel[a + 1] + depth[a + 1], dx, conv[a], conv[a + 1]);
  }
}

bool outlet_rises(const channel_state& chan, const route_settings& set) {
  if (!has_outlet_node(chan) || set.head_bound) return false;
  const int links = chan.links;
  const std::size_t a = std::size_t(chan.node_address(links, chan.nx[links]));
  return (chan.bel[a - 1] - chan.bel[a]) / chan.dx[links] < 0.0;
}

void outlet_flow(const channel_state& chan, const route_settings& set, double* flow) {
  if (!has_outlet_node(chan) || outlet_rises(chan, set)) return;
  const int links = chan.links;
  const std::size_t a = std::size_t(chan.node_address(links, chan.nx[links]));
  const double dx = chan.dx[links];
  if (set.head_bound) {
    // The boundary holds the outlet depth; what reaches the node passes on.
    flow[a] = flow[a - 1] + chan.qlat[a] * dx;
    if (set.point_input) flow[a] += chan.point_input_values[a];
    return;
  }
  const double slope = (chan.bel[a - 1] - chan.bel[a]) / dx;
  flow[a] = std::sqrt(slope) * chan.conv[a];
}

void report_outlet_rise() {
  raise_message(
      "The outlet slope is negative.  Make sure that the bed\n"
      "elevation of the most downstream node is lower than\n"
      "the bed elevation of the node just upstream from it.\n"
      "Program stopped.\n");
}

int chan_link_flows(const channel_state& chan, const route_settings& set,
                    std::vector<double>& flow) {
  const int links = chan.links;
  const double* depth = chan.chan_depth.data();
  const double* conv = chan.conv.data();
  double* q = flow.data();

  // Each link writes only its own nodes and reads its downstream link's
  // first node, which no link writes here.
#pragma omp parallel for schedule(static) if (chan.threaded())
  for (int i = 1; i <= links; ++i) {
    const int d = flow_downstream(chan, i);
    const std::size_t b = d > 0 ? std::size_t(chan.node_address(d, 1)) : 0;
    link_flows(chan, i, q, d > 0 ? depth[b] : 0.0, d > 0 ? conv[b] : 0.0);
  }

  if (outlet_rises(chan, set)) {
    report_outlet_rise();
    return -1;
  }
  outlet_flow(chan, set, q);
  return 0;
}
