#pragma once
// Set-up of the pipe network: reading its files, checking its size, tying
// its superjunctions and nodes to grid cells and its outlets to channel
// nodes; and the readers of the output location lists.

#include <string>

#include "core/grid_state.h"
#include "subsurface/superlink_state.h"

struct channel_state;
class safe_file;

// What the set-up reads the network with.
struct superlink_inputs {
  std::string network;    // STORM_SEWER file
  std::string grid_pipe;  // GRID_PIPE file, empty when not given
  int c_opt = 0;          // SUPERLINK_C_OPT
  int quiet = 0;          // no reading notice on the screen
};

// Reads the network into sl and maps it to the grid of `cells` cells (mask
// [row][column] of rows x cols) and to the channel's grid-stream lists.
// Stops with code 4 (network file missing), the reader's codes, 99, 100 or
// 101 (more than 1000 superjunctions, pipes in one superlink, superlinks),
// or 4000 (a junction or node outside the grid).
void setup_superlink_network(superlink_state& sl, const superlink_inputs& in,
                             const block_2d<int>& mask, int rows, int cols, int cells,
                             const channel_state& channel);

// Ties every outlet into a channel (inlet type 999) to its channel link and
// node, and sizes the per-superjunction exchange slots. An outlet without
// link or node stops the run (4000).
void connect_superlink_outlets(superlink_state& sl);

// Location lists: a count, then one entry a line ("junction", or
// "superlink node"). A list shorter than its count stops the run (4000).
void read_sjunc_list(safe_file& file, const superlink_network& net, std::vector<int>& sjunc);
void read_sl_link_list(safe_file& file, const superlink_network& net, std::vector<int>& sl_link,
                       std::vector<int>& sl_node);

// Size limits of a network the step accepts.
constexpr int superlink_max_count = 1000;
