// Channel lake nodes: which nodes lie under a lake, the take and release of
// nodes at the lakes' edges, and the lake volume accounting of the routing's
// sub-steps.

#include "channel/chan_lake_nodes.h"

#include <cmath>
#include <cstddef>

#include "channel/channel_state.h"
#include "channel/ex_section.h"
#include "core/error_state.h"
#include "core/text_io.h"

namespace {

// Flooded shares within this much of 1 count as a whole node under water;
// the grid-stream shares of a node add up to 1 only as closely as the
// stream file's digits allow.
constexpr double whole_low = 0.999;
constexpr double whole_high = 1.001;
constexpr double dry_share = 1e-16;    // an overtaken link's first node is clear below it
constexpr double refill_depth = 0.01;  // m, a released node with no water level to take

bool is_lake(const channel_state& chan, int link) {
  return (chan.ltype[link] & link_bit::lake) != 0;
}

// A channel-shaped link whose every node a lake holds.
bool is_overtaken(const channel_state& chan, int link) {
  const int t = chan.ltype[link];
  return (t & link_bit::shaped) && (t & link_bit::overtaken);
}

// Flow volume v (m3) into lake from a link above it: inflow when positive,
// else an outflow of its size.
void book_inflow(channel_state& chan, int lake, double v) {
  chan.lake_volume[lake] += v;
  if (v >= 0.0)
    chan.lake_in_dv[lake] += v;
  else
    chan.lake_out_dv[lake] += -v;
}

// Whether link's last node may join a lake: the link below is a lake, is
// overtaken, or has lost its first node to a lake.
bool below_is_lake(const channel_state& chan, int link) {
  const int d = chan.dslink[link];
  if (d < 1) return false;
  return chan.status_node[std::size_t(chan.node_address(d, 1))] == 1 || is_lake(chan, d) ||
         is_overtaken(chan, d);
}

}  // namespace

void find_flooded_nodes(channel_state& chan) {
  for (int i = 1; i <= chan.links; ++i) {
    if (chan.ltype[i] & (link_bit::lake | link_bit::structure)) continue;
    for (int j = 1; j <= chan.og_nx1[i]; ++j)
      chan.pct_flooded[std::size_t(chan.node_address(i, j))] = 0.0;
  }
  const std::size_t cells = chan.lake_mask.size();
  for (int k = 1; k <= chan.stream_cells; ++k) {
    for (int e = 1; e <= chan.gst_ncellsingrid[k]; ++e) {
      const std::size_t g = chan.gst_index(k, e);
      const int link = chan.gst_link[g];
      const int node = chan.gst_node[g];
      const int cell = chan.gst_gnum[g];
      if (link < 1 || link > chan.links) continue;
      if (chan.ltype[link] & (link_bit::lake | link_bit::structure)) continue;
      // Only the nodes cleared above carry a share; a pair past them would
      // add up from call to call.
      if (node < 1 || node > chan.og_nx1[link]) continue;
      if (cell < 1 || std::size_t(cell) >= cells || chan.lake_mask[std::size_t(cell)] <= 0)
        continue;
      double& share = chan.pct_flooded[std::size_t(chan.node_address(link, node))];
      share += chan.gst_pct[g];
      if (share > whole_high)
        msg_printf(
            "Problem with the stream capturing routine, verify channel setup [%d][%d]:%.10lf\n",
            node, link, share);
    }
  }
}

void take_lake_nodes(channel_state& chan) {
  for (int i = chan.links - 1; i >= 1; --i) {
    if (!chan.is_routed(i)) continue;
    const int d = chan.dslink[i];
    for (int j = chan.nx[i]; j >= 1; --j) {
      const std::size_t a = std::size_t(chan.node_address(i, j));
      const double share = chan.pct_flooded[a];
      if (!(share > whole_low && share < whole_high) || chan.status_node[a] != 0) continue;
      const bool take = j == chan.nx[i] ? below_is_lake(chan, i)
                                        : (j < chan.nx[i] && chan.status_node[a + 1] == 1);
      if (!take) continue;
      chan.status_node[a] = 1;
      const int lake = chan.lake2link[d];
      const double v = chan.area[a] * chan.dx[i];  // m3
      chan.lake_volume[lake] += v;
      chan.lake_in_dv[lake] += v;
      chan.area[a] = 0.0;
      chan.yp[a] = 0.0;
      chan.qp[a] = 0.0;
      chan.chan_depth[a] = 0.0;
      chan.nx[i] -= 1;
      msg_printf("node taken: [%d][%d] lake_elev: %7.2lf, dslink:%d nx: %d\n", j, i,
                 chan.lake_elev[lake], d, chan.nx[i]);
      if (chan.nx[i] == 0) {
        msg_printf("***VALTO  has overtaken link: %d***\n", i);
        chan.ltype[i] |= link_bit::overtaken;
        chan.lake2link[i] = chan.lake2link[d];
      }
    }
  }
}

// Upstream links first: a link's released nodes draw on the lake of the link
// below, and that link, once it has its own first node back, no longer names
// a lake. Taken the other way round, a partly taken link released in the
// same call as the overtaken link below it would draw on lake 0.
bool release_lake_nodes(channel_state& chan) {
  for (int i = 1; i <= chan.links - 1; ++i) {
    if (chan.ltype[i] & (link_bit::lake | link_bit::structure)) continue;
    const bool overtaken = is_overtaken(chan, i);
    const int first = chan.node_address(i, 1);
    if (overtaken && chan.pct_flooded[std::size_t(first)] > dry_share) continue;
    // An overtaken link's lake is its own, named before the release clears it.
    const int own_lake = chan.lake2link[i];
    const int d = chan.dslink[i];
    for (int j = chan.nx[i] + 1; j <= chan.og_nx1[i]; ++j) {
      const std::size_t a = std::size_t(first + j - 1);
      if (chan.status_node[a] != 1 || chan.pct_flooded[a] != 0.0) continue;
      if (j > 1 && chan.status_node[a - 1] != 0) continue;
      chan.status_node[a] = 0;
      if (chan.nx[i] < chan.og_nx1[i]) {
        chan.nx[i] += 1;
        if (chan.nx[i] == 1) {
          chan.lake2link[i] = 0;
          chan.ltype[i] &= ~link_bit::overtaken;
        }
      }
      const int lake = overtaken ? own_lake : chan.lake2link[d];
      double depth = chan.lake_elev[lake] - chan.bel[a];  // m
      if (depth < 0.0) {
        depth = j == 1 ? refill_depth : chan.yp[a - 1] - chan.bel[a];
        if (depth < 0.0) depth = refill_depth;
      }
      if (std::isnan(depth)) {
        raise_message("In ex_flow_route A:  Channel depth is not a number at link %d node %d\n", i,
                      j);
        return false;
      }
      chan.chan_depth[a] = depth;
      chan.yp[a] = depth + chan.bel[a];
      ex_section_node_from_stage(chan, i, j);
      const double v = chan.area[a] * chan.dx[i];  // m3
      chan.lake_volume[lake] -= v;
      chan.lake_out_dv[lake] += v;
      msg_printf(
          "node released:[%d][%d], elev:%.1lf, depth:%.3lf, lakeelev:%.1lf, dslink:%d,nx: %d, "
          "nx1_og: %d\n",
          chan.nx[i], i, chan.bel[a], chan.chan_depth[a], chan.lake_elev[lake], d, chan.nx[i],
          chan.og_nx1[i]);
    }
  }
  return true;
}

bool update_lake_nodes(channel_state& chan) {
  find_flooded_nodes(chan);
  take_lake_nodes(chan);
  return release_lake_nodes(chan);
}

void account_lake_flows(channel_state& chan, const double* qp, double dt) {
  for (int i = 1; i <= chan.links; ++i) {
    const bool lake_link = is_lake(chan, i);
    if (!lake_link && !is_overtaken(chan, i)) continue;
    const int lake = chan.lake2link[i];
    if (lake_link) {
      const int d = chan.dslink[i];
      if (d > 0) {
        const double q = qp[chan.node_address(d, 1)];  // m3/s
        const double out = dt * q;                     // m3
        chan.lake_volume[lake] -= out;
        if (q <= 0.0)
          chan.lake_in_dv[lake] += std::fabs(out);
        else
          chan.lake_out_dv[lake] += out;
      }
    }
    for (int k = 1; k <= chan.ndep[i]; ++k) {
      const int u = chan.upstream(i, k);
      // An overtaken link above brings nothing of its own: the links above
      // it are booked through it. An overtaken link books routed links only.
      if (is_overtaken(chan, u)) continue;
      if (!lake_link && is_lake(chan, u)) continue;
      book_inflow(chan, lake, dt * qp[chan.node_address(u, chan.nx[u])]);
    }
  }
}
