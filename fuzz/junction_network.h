#pragma once
// The channel harnesses read their inputs against one network: the
// junction fixture's three links on a 3 x 8 grid of 100 m cells, read once.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "channel/read_chan_input.h"
#include "core/error_state.h"
#include "run/model_state.h"

namespace fuzz {

inline model_state* junction_network() {
  auto* network = new model_state;
  model_state& s = *network;
  grid_state& g = s.grid;
  g.rows = 3;
  g.cols = 8;
  g.dx = 100.0;
  g.mask.allocate_grid(g.rows, g.cols);
  int n = 0;
  for (int r = 1; r <= g.rows; ++r)
    for (int c = 1; c <= g.cols; ++c) g.mask[r][c] = ++n;
  g.cells = n;
  g.elevation.assign(n + 1, 20.0);
  s.input.explicit_channel = 1;
  s.input.channel_routing = 1;
  const std::string dir = std::string(VALTO_FIXTURES_DIR) + "/junction/";
  if (!s.input.files.channel_input.open((dir + "junction.chan").c_str(), "r") ||
      !s.input.files.stream_cell.open((dir + "junction.gst").c_str(), "r")) {
    std::fprintf(stderr, "the junction fixture cannot be read from %s\n", dir.c_str());
    std::abort();
  }
  read_chan_input(s);
  if (error_state.stop_flag || s.channel.links != 3) {
    std::fprintf(stderr, "the junction fixture did not read as a network\n");
    std::abort();
  }
  return network;
}

}  // namespace fuzz
