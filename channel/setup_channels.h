#pragma once
// The channel step of the grid input set-up: the network from the channel
// input file, the routing arrays, the channel hot start, the channel
// location lists, the grid-stream cell positions and the two diagnostic
// files "short_links.out" and "bad_thalweg.out".

#include <vector>

struct model_state;
class safe_file;

// Does nothing unless explicit channel routing is on; leaves the error
// state's code set on a failure.
void setup_channels(model_state& state);

// Its steps, in their order.
void read_channel_hotstart(model_state& state);
void read_hlink_list(model_state& state);
void read_gwflink_list(model_state& state);
void read_cell_locator_list(model_state& state);
void setup_grid_stream(model_state& state);
void write_short_links(model_state& state);
void write_bad_thalweg(model_state& state);

// A location list of the channel set-up: a count, then count "link node"
// pairs naming nodes of the network, read from file, which is then closed.
// False after a message (4000), with count 0.
bool read_link_node_list(model_state& state, safe_file& file, int& count,
                         std::vector<int>& link, std::vector<int>& node);
