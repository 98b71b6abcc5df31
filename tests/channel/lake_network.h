#pragma once
// Lake and structure links for the hand-built networks of network_fixture:
// a link of the built network turned into a channel lake or a structure,
// with the lake arrays, grid-stream lists and element tables the routing
// reads sized as the channel reader sizes them.

#include <cmath>
#include <cstddef>
#include <vector>

#include "channel/channel_state.h"
#include "network_fixture.h"

namespace lake_network {

// Link becomes a one-node lake link of lake number lake, its level at
// level (m). The first lake of a network also sizes the per-node share and
// status arrays and the per-link lake numbers.
inline void make_lake(channel_state& c, int link, int lake, double level) {
  if (!c.channel_lakes) {
    c.channel_lakes = 1;
    c.lake2link.assign(std::size_t(c.links) + 1, 0);
    c.pct_flooded.assign(c.node_slots(), 0.0);
    c.status_node.assign(c.node_slots(), 0);
  }
  if (lake > c.lake_count) {
    c.lake_count = lake;
    for (std::vector<double>* v : {&c.lake_volume, &c.lake_elev, &c.lake_in_dv, &c.lake_out_dv})
      v->resize(std::size_t(lake) + 1, 0.0);
  }
  c.ltype[link] = link_bit::lake;
  c.ldex[link] = lake;
  c.nx[link] = c.nx1[link] = c.og_nx1[link] = 1;
  c.lake2link[link] = lake;
  c.lake_elev[lake] = level;
}

// Link becomes a structure link of two nodes with the given elements
// (appended to the element table, numbered from 1).
inline void make_structure(channel_state& c, int link,
                           const std::vector<struct_element>& elements) {
  if (c.elements.empty()) c.elements.resize(1);
  c.struct_range.resize(std::size_t(c.links) + 1);
  c.ltype[link] = link_bit::structure;
  c.ldex[link] = link;
  c.nx[link] = c.nx1[link] = c.og_nx1[link] = 2;
  struct_link_range& r = c.struct_range[std::size_t(link)];
  r.count = int(elements.size());
  r.first = int(c.elements.size());
  c.elements.insert(c.elements.end(), elements.begin(), elements.end());
  r.last = int(c.elements.size()) - 1;
}

// A sharp-crested weir element: crest length length (m), crest elevation
// crest (m), its coefficients for forward and reverse flow.
inline struct_element weir_element(double length, double crest, double forward, double reverse) {
  struct_element e;
  e.type = 1;
  e.length = length;
  e.up_invert = crest;
  e.coeff_forward = forward;
  e.coeff_reverse = reverse;
  return e;
}

// A weir at crest (m) of crest length length (m), coefficient cd both ways.
inline struct_element weir(double crest, double length, double cd) {
  return weir_element(length, crest, cd, cd);
}

// Free weir flow (m3/s) over a crest of length length, coefficient cd, under
// a head h1 (m): (2/3) cd L sqrt(2g h1^3 / 3).
inline double free_weir_flow(double cd, double length, double h1) {
  return 2.0 / 3.0 * cd * length * std::sqrt(19.62 * h1 * h1 * h1 / 3.0);
}

// Grid cells 1..cells, none in a lake.
inline void set_lake_cells(channel_state& c, int cells) {
  c.lake_mask.assign(std::size_t(cells) + 1, 0);
}

// Depth d (m) at every node of every channel-shaped link, with its area and
// conveyance from its stage.
inline void set_all_depths(channel_state& c, double d) {
  for (int i = 1; i <= c.links; ++i)
    if (c.ltype[i] & link_bit::shaped)
      for (int j = 1; j <= c.nx[i]; ++j) network_fixture::set_depth(c, i, j, d);
}

}  // namespace lake_network
