// Node flows: diffusive-wave flow between neighbouring nodes of a routed
// link, from the last node of a link into the next link, a lake or a
// structure, the flow through a structure link as the sum of its elements,
// and normal flow (or the head boundary's carry-through) at the outlet.

#include <cmath>
#include <cstddef>

#include "channel/channel_state.h"
#include "channel/ex_flow_route.h"
#include "channel/ex_section.h"
#include "channel/structure_flow.h"
#include "core/error_state.h"
#include "input/series.h"

namespace {

// Structure flows smaller than this are no flow, for the volume limits.
constexpr double no_flow = 1e-16;  // m3/s

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

bool is_overtaken(int type) { return (type & link_bit::shaped) && (type & link_bit::overtaken); }

bool is_culvert(int type) { return type >= 3 && type <= 5; }

// The sum of the element flows of structure link s at the two levels (m), in
// element order. A culvert that fails is reported and sets failed.
double element_flows(const channel_state& chan, const route_settings& set, int s, double up,
                     double down, bool& failed) {
  const std::vector<struct_element>& elements = chan.elements;
  const struct_link_range& range = chan.struct_range[std::size_t(s)];
  double q = 0.0;  // m3/s
  for (int e = range.first; e <= range.last; ++e) {
    const struct_element& element = elements[std::size_t(e)];
    switch (element.type) {
      case 1:
        q += weir_flow(elements, e, up, down);
        break;
      case 2:
        q += sag_weir_flow(elements, e, up, down);
        break;
      case 3:
      case 4:
      case 5: {
        const double culvert = culv_flow(elements, e, up, down).q;
        if (culvert == culvert_failure) {
          raise_message("Error in link number %d: ", s);
          failed = true;
        }
        q += culvert;
        break;
      }
      case 6:
        q += es_value(up, element.es);
        break;
      case 7:
        q += ts_value(set.time, element.ts);
        break;
      case 8:
        q += es_step_value(up, element.es);
        break;
      default:
        break;
    }
  }
  return q;
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
  const std::size_t last = first + std::size_t(n - 1);
  const double dx = chan.dx[link];

  const int d = flow_downstream(chan, link);
  if (d > 0) {
    const std::size_t b = std::size_t(chan.node_address(d, 1));
    flow[last] = diffusive_flow(bel[last] + depth[last], bel[b] + down_depth,
                                0.5 * (chan.dx[d] + dx), conv[last], down_conv);
  } else if (link != chan.links && chan.dslink[link] > 0) {
    const int below = chan.dslink[link];
    const int type = chan.ltype[below];
    if (type & link_bit::structure) {
      // Computed before any link's flows, by structure_link_flows.
      flow[last] = flow[chan.node_address(below, 1)];
    } else if ((type & link_bit::lake) || is_overtaken(type)) {
      // Over half a node spacing down to the lake's level; a lake gives
      // nothing back through this node.
      const double s =
          (bel[last] + depth[last] - chan.lake_elev[chan.lake2link[below]]) / (2.0 * dx);
      flow[last] = s > 0.0 ? std::sqrt(s) * conv[last] : 0.0;
    }
  }
  for (int j = n - 1; j >= 1; --j) {
    const std::size_t a = first + std::size_t(j - 1);
    flow[a] =
        diffusive_flow(bel[a] + depth[a], bel[a + 1] + depth[a + 1], dx, conv[a], conv[a + 1]);
  }
}

bool has_structures(const channel_state& chan) {
  for (int i = 1; i <= chan.links; ++i)
    if (chan.ltype[i] & link_bit::structure) return true;
  return false;
}

bool calibrate_culverts(channel_state& chan) {
  bool ok = true;
  for (int s = chan.links; s >= 1; --s) {
    if (!(chan.ltype[s] & link_bit::structure)) continue;
    const struct_link_range& range = chan.struct_range[std::size_t(s)];
    for (int e = range.first; e <= range.last; ++e)
      if (is_culvert(chan.elements[std::size_t(e)].type) && !calibrate_culvert(chan.elements, e, s))
        ok = false;
  }
  return ok;
}

double node_level(const channel_state& chan, const double* area, int link, int node) {
  const int a = chan.node_address(link, node);
  if (area && (chan.ltype[link] & link_bit::shaped) && node >= 1 && node <= chan.nx[link])
    return section_from_area(chan, area, link, a).depth + chan.bel[std::size_t(a)];
  return chan.yp[std::size_t(a)];
}

bool structure_link_flows(channel_state& chan, const route_settings& set, double* flow,
                          const double* level_area, double substep) {
  bool failed = !calibrate_culverts(chan);
  const double* area = chan.area.data();
  for (int s = chan.links; s >= 1; --s) {
    if (!(chan.ltype[s] & link_bit::structure)) continue;
    const std::size_t at = std::size_t(chan.node_address(s, 1));
    const int u = chan.ndep[s] > 0 ? chan.upstream(s, 1) : 0;
    const int d = chan.dslink[s];
    if (u < 1) {
      // Nothing feeds a structure without an upstream link.
      flow[at] = flow[at + 1] = 0.0;
      continue;
    }
    const int up_type = chan.ltype[u];
    const bool from_lake = (up_type & link_bit::lake) != 0;
    const double up = from_lake ? chan.lake_elev[chan.lake2link[u]]
                                : node_level(chan, level_area, u, chan.nx[u]);  // m
    // A structure at the outlet discharges against its own last node.
    const double down =
        d > 0 ? node_level(chan, level_area, d, 1) : chan.yp[chan.node_address(s, chan.nx[s])];
    double q = element_flows(chan, set, s, up, down, failed);  // m3/s
    // A structure cannot pass more in a sub-step than the node it draws on
    // holds; a lake or an overtaken link above it holds the lake's water.
    if (!from_lake && !is_overtaken(up_type)) {
      if (q > no_flow) {
        const double v = area[chan.node_address(u, chan.nx[u])] * chan.dx[u];  // m3
        if (v < substep * q) q = v / substep;
      }
      if (q < -no_flow && d > 0) {
        const double v = area[chan.node_address(d, 1)] * chan.dx[d];  // m3
        if (v < substep * -q) q = -v / substep;
      }
    }
    flow[at] = flow[at + 1] = q;
  }
  return !failed && error_state.stop_flag == 0;
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
    if (set.qriv) flow[a] += set.qriv[a] * dx;
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

int chan_link_flows(channel_state& chan, const route_settings& set, std::vector<double>& flow,
                    double substep) {
  const int links = chan.links;
  const double* depth = chan.chan_depth.data();
  const double* conv = chan.conv.data();
  double* q = flow.data();

  // The structures first, on this thread: the links above them copy their
  // flows, and their culverts' coefficients are set as they go.
  if (has_structures(chan)) structure_link_flows(chan, set, q, nullptr, substep);

  // Each link writes only its own nodes and reads its downstream link's
  // first node, which no link writes here.
#pragma omp parallel for schedule(static) num_threads(chan.link_team())
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
