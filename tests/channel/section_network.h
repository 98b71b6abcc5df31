#pragma once
// Small channel networks for the cross-section tests: per-link, node and
// table arrays sized as the channel reader sizes them, so that a routine
// reading past its slots fails under the sanitizers as it would in a run.

#include <cstddef>
#include <utility>
#include <vector>

#include "channel/bp_xsec.h"
#include "channel/channel_state.h"
#include "core/error_state.h"

namespace section_network {

inline void clear_errors() { error_state = error_record{}; }

// `links` links of type bits `type`, each with `nodes` computational nodes
// and nodes + 1 points (nx1), Manning n `n`; every node dry at elevation 0.
inline channel_state make_network(int links, int nodes, int type, double n) {
  channel_state c;
  c.links = links;
  c.max_nodes = nodes;
  const std::size_t per_link = std::size_t(links) + 1;
  c.ltype.assign(per_link, type);
  c.ldex.assign(per_link, 0);
  c.nx.assign(per_link, nodes);
  c.nx1.assign(per_link, nodes + 1);
  c.bplink.assign(per_link, 0);
  c.inv_mannings_n.assign(per_link, 1.0 / n);
  for (int l = 1; l <= links; ++l) c.ldex[l] = l;
  const std::size_t slots = c.node_slots();
  for (std::vector<double>* v : {&c.bel, &c.yp, &c.area, &c.chan_depth, &c.conv, &c.dconv,
                                 &c.topw, &c.bottom, &c.sslope, &c.sslope2, &c.bankfull_dep})
    v->assign(slots, 0.0);
  c.table_num.assign(slots, 0);
  return c;
}

// Room for `tables` break-point tables of up to `levels` levels.
inline void size_tables(channel_state& c, int tables, int levels) {
  c.tables = tables;
  c.levels = levels;
  const std::size_t entries = std::size_t(levels + 1) * std::size_t(tables + 1);
  for (std::vector<double>* v : {&c.xarea, &c.xtw, &c.xk, &c.xp}) v->assign(entries, 0.0);
  c.numpairs.assign(std::size_t(tables) + 1, 0);
  c.numhts.assign(std::size_t(tables) + 1, 0);
  c.ht_spc.assign(std::size_t(tables) + 1, 0.0);
}

// Room for the point tables of `links` erodible break-point links.
inline void size_erodible(channel_state& c, int links, int max_pairs) {
  c.erodible_bp_links = links;
  c.max_pairs = max_pairs;
  const std::size_t points = c.bp_point_index(links + 1, 0, 0);
  c.xbp_lnn.assign(points, 0.0);
  c.ybp_lnn.assign(points, 0.0);
  c.max_yp.assign(c.bp_node_index(links + 1, 0), 0.0);
  c.ch_sand_vol0.assign(c.bp_node_index(links + 1, 0), 0.0);
}

// Every point of the link carries its own copy of the section.
inline void set_trapezoid(channel_state& c, int link, double bottom, double slope,
                          double bankfull = 0.0, double slope2 = 0.0) {
  for (int j = 1; j <= c.nx1[link]; ++j) {
    const int i = c.node_address(link, j);
    c.bottom[i] = bottom;
    c.sslope[i] = slope;
    c.bankfull_dep[i] = bankfull;
    c.sslope2[i] = slope2;
  }
}

// A cross-section at `node` from its (x, z) points in order.
inline bp_cross_section section(int node, int levels,
                                const std::vector<std::pair<double, double>>& points) {
  bp_cross_section s;
  s.node = node;
  s.levels = levels;
  s.pairs = int(points.size());
  s.x.assign(1, 0.0);
  s.z.assign(1, 0.0);
  for (const auto& [x, z] : points) {
    s.x.push_back(x);
    s.z.push_back(z);
  }
  return s;
}

}  // namespace section_network
