// Node continuity of the routed links over one sub-step: a node's volume
// changes by what enters from upstream (the previous node, the last nodes of
// the upstream links, or the first-order inflow of a head link), what leaves
// towards the next node, its lateral inflow, its point input, its point
// source, what the pipe network's outlets deliver and what it trades through
// its bed with the aquifer.

#include <algorithm>
#include <cstddef>

#include "channel/channel_state.h"
#include "channel/ex_flow_route.h"

void link_continuity(const channel_state& chan, const route_settings& set, int link,
                     const double* flow, double* area, double dt) {
  if (!chan.is_routed(link)) return;
  const int n = chan.nx[link];
  if (n < 1) return;
  const double* q = flow;
  const double* qlat = chan.qlat.data();
  const double* point = set.point_input ? chan.point_input_values.data() : nullptr;
  const double* source = set.source_q;
  const double* sewer = set.sewer_q;
  double* qriv = set.qriv;
  const double dx = chan.dx[link];
  const std::size_t first = std::size_t(chan.node_address(link, 1));
  // Under the head boundary the outlet node's depth is the boundary's.
  const bool held_outlet = set.head_bound && link == chan.links;
  for (int j = 1; j <= n; ++j) {
    const std::size_t a = first + std::size_t(j - 1);
    const double v = dx * area[a];  // m3
    double dv;                      // m3
    if (j == 1) {
      if (chan.ndep[link] == 0) {
        dv = (dx * qlat[a] - q[a]) * dt + dt * set.first_order_q;
      } else {
        dv = dx * qlat[a] * dt;
        for (int k = 1; k <= chan.ndep[link]; ++k) {
          const int u = chan.upstream(link, k);
          dv += dt * q[chan.node_address(u, chan.nx[u])];
        }
        dv -= dt * q[a];
      }
    } else if (held_outlet && j == n) {
      dv = 0.0;
    } else {
      dv = (q[a - 1] - q[a] + dx * qlat[a]) * dt;
    }
    if (point) dv += point[a] * dt;
    if (source) dv += source[a] * dt;
    if (sewer) dv += sewer[a] * dt;
    if (!qriv) {
      area[a] = (dv + v) / dx;
      continue;
    }
    double r = qriv[a];  // m2/s, into the stream +
    if (r < 0.0 && dt * r * dx + dv + v < 0.0) {
      // The bed takes no more than the node holds. When the flow drains the
      // node by itself the bed takes nothing, rather than have the aquifer
      // give back what the flow takes; the sub-step is then halved as
      // without an exchange.
      r = -std::max(dv >= 0.0 ? v : dv + v, 0.0) / (dt * dx);
      qriv[a] = r;
    }
    if (held_outlet && j == n) continue;
    area[a] = (dv + dt * r * dx + v) / dx;
  }
}

void chan_continuity(const channel_state& chan, const route_settings& set,
                     const std::vector<double>& flow, std::vector<double>& area, double dt) {
  const int links = chan.links;
  const double* q = flow.data();
  double* a = area.data();
  // Each link writes only its own nodes; the upstream links' last-node flows
  // are only read.
#pragma omp parallel for schedule(static) num_threads(chan.link_team())
  for (int i = 1; i <= links; ++i) link_continuity(chan, set, i, q, a, dt);
}
