// Network set-up and location lists.

#include "subsurface/superlink_setup.h"

#include <algorithm>
#include <cstdio>

#include "channel/channel_state.h"
#include "core/error_state.h"
#include "core/safe_file.h"
#include "core/text_io.h"
#include "input/series.h"
#include "subsurface/read_superlink_input.h"

void setup_superlink_network(superlink_state& sl, const superlink_inputs& in,
                             const block_2d<int>& mask, int rows, int cols, int cells,
                             const channel_state& channel) {
  safe_file network;
  if (!network.open(in.network.c_str(), "r")) {
    raise_error(err_open_file, 0, 0, "superlink input file", in.network.c_str());
    return;
  }
  safe_file grid_pipe;
  if (!in.grid_pipe.empty() && !grid_pipe.open(in.grid_pipe.c_str(), "r"))
    print_message(summary_file, "\n No grid pipe file found");
  const int read = read_superlink_input(network, &grid_pipe, in.c_opt, mask, rows, cols, sl.net);
  network.close();
  grid_pipe.close();
  if (read != 0) {
    if (!error_state.stop_flag) raise_message("Error reading the superlink input file.\n");
    return;
  }
  superlink_network& net = sl.net;
  superlink_links& lk = sl.links;
  const std::size_t per_cell = std::size_t(std::max(cells, 0)) + 1;
  lk.Q_tile_grid.assign(per_cell, 0.0);
  lk.vol_tile_grid.assign(per_cell, 0.0);
  lk.tilerecharge_to_gw.assign(per_cell, 0.0);
  int most = 0;
  for (int k = 1; k <= net.n_slink; ++k) most = std::max(most, net.superlink_cnodes[std::size_t(k)]);
  lk.superlink_tile_flow.size(std::max(most, net.max_pipes) + 2, net.n_slink + 1);
  if (!in.quiet) msg_printf("read superlink pipe file, %d junctions, %d links\n", net.n_sjunc, net.n_slink);
  if (net.n_sjunc > superlink_max_count) {
    raise_error(err_too_many_superjunctions);
    return;
  }
  if (net.max_pipes > superlink_max_count) {
    raise_error(err_too_many_pipe_nodes);
    return;
  }
  if (net.n_slink > superlink_max_count) {
    raise_error(err_too_many_superlinks);
    return;
  }
  lk.superlink_junc_gnum.assign(std::size_t(net.n_sjunc) + 1, 0);
  lk.superlink_node_gnum.size(most + 2, net.n_slink + 1);
  lk.flow_to_superlink.size(most + 2, std::max(net.n_slink, net.n_sjunc) + 1);
  for (int j = 1; j <= net.n_sjunc; ++j) {
    const int i = net.superjunct_i[std::size_t(j)], jj = net.superjunct_j[std::size_t(j)];
    if (net.inlet_type(0, j) == inlet::outlet_channel) {
      for (int c = 1; c <= channel.stream_cells; ++c)
        for (int e = 1; e <= channel.gst_ncellsingrid[std::size_t(c)]; ++e) {
          const std::size_t x = channel.gst_index(c, e);
          if (channel.gst_link[x] == i && channel.gst_node[x] == jj)
            lk.superlink_junc_gnum[std::size_t(j)] = channel.gst_gnum[x];
        }
      continue;
    }
    if (i < 1 || i > rows || jj < 1 || jj > cols || mask[i][jj] == 0) {
      raise_message("Error: superjunction %d lies at row %d, column %d, outside the watershed.\n", j,
                    i, jj);
      return;
    }
    lk.superlink_junc_gnum[std::size_t(j)] = mask[i][jj];
  }
  for (int k = 1; k <= net.n_slink; ++k)
    for (int i = 1; i <= net.superlink_cnodes[std::size_t(k)] + 1; ++i) {
      const int r = net.superlink_node_i(i, k), c = net.superlink_node_j(i, k);
      if (r == 0 && c == 0) continue;  // a node of no cell
      if (r < 1 || r > rows || c < 1 || c > cols || mask[r][c] == 0) {
        raise_message("Error: node %d of superlink %d lies at row %d, column %d, outside the "
                      "watershed.\n",
                      i, k, r, c);
        return;
      }
      lk.superlink_node_gnum(i, k) = mask[r][c];
    }
}

void connect_superlink_outlets(superlink_state& sl) {
  const superlink_network& net = sl.net;
  superlink_links& lk = sl.links;
  const std::size_t n = std::size_t(net.n_sjunc) + 1;
  lk.superlink_chan_con_node.assign(n, 0);
  lk.superlink_chan_con_link.assign(n, 0);
  lk.superlink_chan_stage.assign(n, 0.0);
  lk.superlink_chan_vol.assign(n, 0.0);
  lk.superlink_surface_vol.assign(n, 0.0);
  for (int j = 1; j <= net.n_sjunc; ++j) {
    if (net.inlet_type(0, j) != inlet::outlet_channel) continue;
    const std::size_t u = std::size_t(j);
    msg_printf("superjunct_j %d\n", net.superjunct_j[u]);
    msg_printf("n_sjunc %d\n", net.n_sjunc);
    msg_printf("junc_coord %f\n", 0.0);
    msg_printf("grateside %f\n", net.grate_sidelength_sjunc[u]);
    lk.superlink_chan_con_node[u] = net.superjunct_j[u];
    lk.superlink_chan_con_link[u] = net.superjunct_i[u];
    const bool no_node = net.superjunct_j[u] == 0, no_link = net.superjunct_i[u] == 0;
    if (no_node || no_link) {
      char text[200];
      if (no_node) {
        std::snprintf(text, sizeof text, "Superlink outlet channel node not found, at superjunction %d\n", j);
        print_message(summary_file, text);
      }
      if (no_link) {
        std::snprintf(text, sizeof text, "Superlink outlet channel link not found, at superjunction %d\n", j);
        print_message(summary_file, text);
      }
      print_message(summary_file, "Check your superlink input file to insure that superlink outlets\n");
      raise_message("terminate on stream arcs.\n");
      return;
    }
  }
}

namespace {

// The count and entries of a location list, each entry `fields` whole
// numbers; false after a message.
bool read_list(safe_file& file, int fields, std::vector<int>& a, std::vector<int>& b,
               const superlink_network& net) {
  text_source src;
  src.stream = file.stream;
  src.path = file.path;
  std::string line;
  auto next = [&]() {
    while (read_source_line(src, line))
      if (!is_blank_line(line.c_str())) return true;
    return false;
  };
  int count = 0;
  if (!next()) {
    raise_message("End of file reached in file %s, exiting\n", file.path);
    return false;
  }
  const char* p = line.c_str();
  if (!take_int_field(p, count) || count < 0) {
    raise_message("Error: line %d of the location list %s does not begin with a count of 0 or more.\n",
                  src.line_number, file.path);
    return false;
  }
  // Entries are gathered as the file gives them: a count beyond the file
  // costs nothing before the file proves short.
  a.assign(1, 0);
  b.assign(1, 0);
  for (int e = 1; e <= count; ++e) {
    if (!next()) {
      raise_message("End of file reached in file %s, exiting\n", file.path);
      return false;
    }
    p = line.c_str();
    int x = 0, y = 0;
    bool ok = take_int_field(p, x) && (fields == 1 || take_int_field(p, y));
    if (ok && fields == 1) ok = x >= 1 && x <= net.n_sjunc;
    if (ok && fields == 2)
      ok = x >= 1 && x <= net.n_slink && y >= 1 && y <= net.superlink_cnodes[std::size_t(x)] + 1;
    if (!ok) {
      raise_message("Error: line %d of the location list %s names no %s of the network.\n",
                    src.line_number, file.path, fields == 1 ? "superjunction" : "superlink node");
      return false;
    }
    a.push_back(x);
    b.push_back(y);
  }
  return true;
}

}  // namespace

void read_sjunc_list(safe_file& file, const superlink_network& net, std::vector<int>& sjunc) {
  std::vector<int> unused;
  if (!read_list(file, 1, sjunc, unused, net)) sjunc.clear();
}

void read_sl_link_list(safe_file& file, const superlink_network& net, std::vector<int>& sl_link,
                       std::vector<int>& sl_node) {
  if (!read_list(file, 2, sl_link, sl_node, net)) {
    sl_link.clear();
    sl_node.clear();
  }
}
