#pragma once
// Hand-built trapezoid networks for the routing, lateral inflow and channel
// step tests, every node array sized to node_slots() as the channel reader
// sizes them, and a run record around them with the channel clock set up.

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

#include "channel/channel_state.h"
#include "channel/ex_section.h"
#include "core/error_state.h"
#include "run/model_state.h"

namespace network_fixture {

inline void clear_errors() { error_state = error_record{}; }

struct link_layout {
  std::vector<double> beds;  // bed elevation of nodes 1..n, m
  int downstream = 0;        // 0 for the outlet link (the last one)
  double dx = 100.0;         // m
};

struct trapezoid {
  double bottom = 2.0;    // m
  double slope = 1.0;     // side slope, horizontal per vertical
  double n = 0.035;       // Manning n
  double bankfull = 5.0;  // m
};

// Trapezoid links 1..links.size() joined through their downstream links
// (upstream links in link order), every node dry.
inline void build_network(channel_state& c, const std::vector<link_layout>& links,
                          const trapezoid& section = {}) {
  c = channel_state{};
  c.links = int(links.size());
  int most = 0;
  for (const link_layout& l : links) most = std::max(most, int(l.beds.size()));
  c.max_nodes = most + 1;  // points: one more than the nodes they bound
  std::vector<std::vector<int>> ups(links.size() + 1);
  for (int i = 1; i <= c.links; ++i)
    if (links[i - 1].downstream > 0) ups[links[i - 1].downstream].push_back(i);
  for (const auto& u : ups) c.max_dep = std::max(c.max_dep, int(u.size()));

  const std::size_t per_link = std::size_t(c.links) + 1;
  for (std::vector<int>* v : {&c.ltype, &c.ldex, &c.ndep, &c.dslink, &c.nx1, &c.nx, &c.og_nx1})
    v->assign(per_link, 0);
  c.inv_mannings_n.assign(per_link, 1.0 / section.n);
  c.dx.assign(per_link, 0.0);
  c.uslinks.assign(per_link * std::size_t(c.max_dep + 1), 0);
  const std::size_t slots = c.node_slots();
  for (std::vector<double>* v : {&c.bel, &c.yp, &c.qp, &c.area, &c.area_old, &c.chan_depth, &c.conv,
                                 &c.dconv, &c.topw, &c.qlat, &c.bottom, &c.sslope, &c.sslope2,
                                 &c.bankfull_dep, &c.yp_max_flood, &c.point_input_values})
    v->assign(slots, 0.0);
  c.table_num.assign(slots, 0);

  for (int i = 1; i <= c.links; ++i) {
    const link_layout& l = links[i - 1];
    c.ltype[i] = link_bit::trapezoid;
    c.ldex[i] = i;
    c.dslink[i] = l.downstream;
    c.nx[i] = c.og_nx1[i] = int(l.beds.size());
    c.nx1[i] = c.nx[i] + 1;
    c.dx[i] = l.dx;
    c.ndep[i] = int(ups[i].size());
    for (int k = 1; k <= c.ndep[i]; ++k)
      c.uslinks[std::size_t(i) * std::size_t(c.max_dep + 1) + std::size_t(k)] = ups[i][k - 1];
    for (int j = 1; j <= c.nx1[i]; ++j) {
      const int a = c.node_address(i, j);
      c.bottom[a] = section.bottom;
      c.sslope[a] = section.slope;
      c.bankfull_dep[a] = section.bankfull;
      c.bel[a] = j <= c.nx[i] ? l.beds[j - 1] : 0.0;
      c.yp[a] = c.bel[a];
    }
  }
}

// Water depth d (m) at node j of link i, with the node's area and
// conveyance from its stage.
inline void set_depth(channel_state& c, int i, int j, double d) {
  const int a = c.node_address(i, j);
  c.yp[a] = c.bel[a] + d;
  c.chan_depth[a] = d;
  ex_section_node_from_stage(c, i, j);
}

// Area (m2) at every node of every link, with depths and conveyances to match.
inline void set_all_areas(channel_state& c, double area) {
  for (int i = 1; i <= c.links; ++i)
    for (int j = 1; j <= c.nx[i]; ++j) c.area[c.node_address(i, j)] = area;
  ex_section(c, section_mode::from_area);
}

// Channel volume of the routed links, sum of area x dx in link and node order, m3.
inline double channel_volume(const channel_state& c) {
  double v = 0.0;
  for (int i = 1; i <= c.links; ++i)
    if (c.is_routed(i))
      for (int j = 1; j <= c.nx[i]; ++j) v += c.area[c.node_address(i, j)] * c.dx[i];
  return v;
}

// Two head links of 3 nodes (beds 17.5, 16.5, 15.5) joining link 3 of 5
// nodes (beds 14.5 .. 10.5): a bed slope of 0.01 throughout, across the
// junction too.
inline void build_junction(channel_state& c) {
  const std::vector<double> head = {17.5, 16.5, 15.5};
  build_network(c, {{head, 3}, {head, 3}, {{14.5, 13.5, 12.5, 11.5, 10.5}, 0}});
}

// A run record with explicit channel routing on and its channel clock at
// the start of the run, every step_s seconds.
inline void start_channel_clock(model_state& s, double step_s) {
  s.input.channel_routing = 1;
  s.input.explicit_channel = 1;
  s.run.current_time = 2451544.5;  // 2000-01-01 00:00
  s.run.channel.set_interval(step_s);
  s.run.channel.last = s.run.current_time;
  s.run.channel.next = s.run.current_time;
}

// Moves the clock to the channel's next time; the channel step acts there.
inline void advance_to_channel_time(model_state& s) { s.run.current_time = s.run.channel.next; }

// Grid cells 1..cells of size dx (m), all at ground elevation ground (m)
// with Manning n rough, dry.
inline void set_grid(model_state& s, int cells, double dx, double ground, double rough) {
  s.grid.cells = cells;
  s.grid.dx = dx;
  s.grid.elevation.assign(std::size_t(cells) + 1, ground);
  s.surface.depth.assign(std::size_t(cells) + 1, 0.0);
  s.surface.dist_rough.assign(std::size_t(cells) + 1, rough);
}

// One (link, node) pair of a stream cell: grid cell, link, node and the
// share of the node's length that lies in the cell.
struct stream_pair {
  int cell;
  int link;
  int node;
  double share;
};

// Grid-stream lists: stream cell k holds the pairs cells[k - 1].
inline void set_stream_cells(channel_state& c, const std::vector<std::vector<stream_pair>>& cells) {
  c.stream_cells = int(cells.size());
  c.gst_max = 0;
  for (const auto& pairs : cells) c.gst_max = std::max(c.gst_max, int(pairs.size()));
  const std::size_t entries = c.gst_index(c.stream_cells + 1, 0);
  for (std::vector<int>* v : {&c.gst_link, &c.gst_node, &c.gst_gnum, &c.gst_row, &c.gst_col})
    v->assign(entries, 0);
  for (std::vector<double>* v : {&c.gst_pct, &c.gst_sac_weight, &c.gst_vlat})
    v->assign(entries, 0.0);
  c.gst_ncellsingrid.assign(std::size_t(c.stream_cells) + 1, 0);
  for (int k = 1; k <= c.stream_cells; ++k) {
    const auto& pairs = cells[std::size_t(k - 1)];
    c.gst_ncellsingrid[k] = int(pairs.size());
    for (int e = 1; e <= int(pairs.size()); ++e) {
      const stream_pair& p = pairs[std::size_t(e - 1)];
      const std::size_t g = c.gst_index(k, e);
      c.gst_gnum[g] = p.cell;
      c.gst_link[g] = p.link;
      c.gst_node[g] = p.node;
      c.gst_pct[g] = p.share;
    }
  }
}

// A 100 m cell (ground 12 m, n 0.05) of a grid of cells cells holding
// 0.1 m of water over node 2 of a dry 100 m spaced trapezoid link (b 2,
// z 1; beds 10.5, 10.0, 9.5, 2 m below the ground at node 2; banks level
// with the ground).
inline std::unique_ptr<model_state> cell_over_channel(int cells) {
  auto s = std::make_unique<model_state>();
  trapezoid t;
  t.bankfull = 2.0;
  build_network(s->channel, {{{10.5, 10.0, 9.5}, 0}}, t);
  set_grid(*s, cells, 100.0, 12.0, 0.05);
  s->surface.depth[1] = 0.1;
  set_stream_cells(s->channel, {{{1, 1, 2, 1.0}}});
  return s;
}

// Link `link` made channel lake 1, holding volume m3 at the start and at
// the end of the channel interval.
inline void make_lake_link(channel_state& c, int link, double volume) {
  c.ltype[link] = link_bit::lake;
  c.lake2link.assign(std::size_t(c.links) + 1, 0);
  c.lake2link[link] = 1;
  c.channel_lakes = 1;
  c.lake_count = 1;
  c.lake_volume.assign(2, volume);
  c.lake_volume_last_chan.assign(2, volume);
}

}  // namespace network_fixture
