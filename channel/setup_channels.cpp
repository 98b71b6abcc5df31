// The channel network's set-up, once per run after the grid inputs: the
// reader fills the network, then the hot start, the location lists and the
// grid-stream positions complete it, and two diagnostic files tell the user
// where the network looks wrong.

#include "channel/setup_channels.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "channel/apply_pumps.h"
#include "channel/read_chan_input.h"
#include "run/model_state.h"
#include "core/text_io.h"
#include "quality/chan_sediment.h"
#include "quality/channel_contam.h"
#include "subsurface/gw_channel_exchange.h"
#include "input/read_grid_inputs.h"
#include "input/series.h"
#include "input/xy_inputs.h"

namespace {

bool stopped() { return error_state.stop_flag != 0; }

// Whitespace-separated whole numbers of a side file, across its lines.
class number_reader {
 public:
  explicit number_reader(safe_file& file) {
    source_.stream = file.stream;
    source_.path = file.path;
  }
  // 1 a number, 0 the end of the file, -1 a word that is no whole number
  // (reported, with file and line).
  int next(int& value) {
    char token[token_capacity];
    for (;;) {
      if (next_token(text_.data(), token) != 0) break;
      std::string line;
      if (read_source_line(source_, line) == 0) return 0;
      text_.assign(line.begin(), line.end());
      text_.push_back('\0');
    }
    if (parse_whole_int(token, value)) return 1;
    raise_message("Error: line %d of %s: \"%s\" is not a whole number.\n", source_.line_number,
                  source_.path, token);
    return -1;
  }
  int line() const { return source_.line_number; }
  const char* path() const { return source_.path; }

 private:
  text_source source_;
  std::vector<char> text_ = std::vector<char>(1, '\0');
};

// Reads the count and count pairs of a location list; false after a
// message.
bool read_pairs(safe_file& file, int& count, std::vector<int>& first, std::vector<int>& second) {
  number_reader in(file);
  auto take = [&](int& value) {
    const int got = in.next(value);
    if (got == 0)
      raise_message("End of file reached in file %s, exiting\n", file.path);
    return got == 1;
  };
  count = 0;
  if (!take(count)) return false;
  if (count < 0 || count > 1'000'000) {
    raise_message("Error: line %d of %s: the location count %d is not a count.\n", in.line(),
                  file.path, count);
    return false;
  }
  if (!allocate_zeroed(first, std::size_t(count) + 1, "location list") ||
      !allocate_zeroed(second, std::size_t(count) + 1, "location list"))
    return false;
  for (int i = 1; i <= count; ++i)
    if (!take(first[i]) || !take(second[i])) return false;
  return true;
}

// A link/node location must name a node of the network.
bool check_link_nodes(const channel_state& chan, const char* path, int count,
                      const std::vector<int>& link, const std::vector<int>& node) {
  for (int i = 1; i <= count; ++i) {
    const int l = link[i];
    if (l >= 1 && l <= chan.links && node[i] >= 1 && node[i] <= chan.nx[l]) continue;
    raise_message("Error: location %d of %s, link %d node %d, is not a node of the network.\n", i,
                  path, l, node[i]);
    return false;
  }
  return true;
}


// Per-node lines: "link node stage" and, optionally, the node's area. Lines
// past the end of the file read as empty, so those nodes start dry.
void read_node_lines(model_state& state) {
  channel_state& chan = state.channel;
  safe_file& file = state.input.files.chan_hotstart_depth;
  text_source source;
  source.stream = file.stream;
  source.path = file.path;
  std::string line;
  for (int l = 1; l <= chan.links; ++l) {
    if (!chan.is_routed(l)) continue;
    for (int j = 1; j <= chan.nx[l]; ++j) {
      const bool got = read_source_line(source, line) != 0;
      double stage = 0.0;
      double area = 0.0;
      bool has_area = false;
      if (got && !is_blank_line(line.c_str())) {
        const char* p = line.c_str();
        int skip = 0;
        if (!take_int_field(p, skip) || !take_int_field(p, skip) || !take_real_field(p, stage)) {
          raise_message("Error: line %d of the channel hot-start file %s is not \"link node "
                        "stage [area]\".\n",
                        source.line_number, file.path);
          return;
        }
        if (!is_blank_line(p)) {
          if (!take_real_field(p, area)) {
            raise_message("Error: line %d of the channel hot-start file %s: the area is not a "
                          "number.\n",
                          source.line_number, file.path);
            return;
          }
          has_area = true;
        }
      }
      const int a = chan.node_address(l, j);
      chan.yp[a] = stage;
      if (has_area) chan.area[a] = area;
      chan.chan_depth[a] = chan.yp[a] - chan.bel[a];
      if (chan.chan_depth[a] < 0.0) {
        chan.yp[a] = chan.bel[a];
        chan.chan_depth[a] = 0.0;
      }
      if (chan.chan_depth[a] > 1e-16) chan.chan_has_water = 1;
    }
  }
}

// Records "node link depth discharge" of the nodes that start wet; records
// naming no node of the network are passed over.
void read_depth_records(model_state& state) {
  channel_state& chan = state.channel;
  const std::string& name = state.input.chan_hotstart_read;
  safe_file file;
  if (!file.open(name.c_str(), "r")) {
    raise_message("Can't open channel hotstart file named %s\n", name.c_str());
    return;
  }
  text_source source;
  source.stream = file.stream;
  source.path = file.path;
  std::string line;
  while (read_source_line(source, line)) {
    if (is_blank_line(line.c_str())) continue;
    const char* p = line.c_str();
    int node = 0, link = 0;
    double depth = 0.0, q = 0.0;
    if (!take_int_field(p, node) || !take_int_field(p, link) || !take_real_field(p, depth) ||
        !take_real_field(p, q)) {
      raise_message("Error: line %d of the channel hot-start file %s is not \"node link depth "
                    "discharge\".\n",
                    source.line_number, file.path);
      return;
    }
    if (link < 1 || link > chan.links || node < 1 || node > chan.nx[link]) continue;
    const int a = chan.node_address(link, node);
    chan.chan_depth[a] = depth;
    chan.yp[a] = chan.bel[a] + depth;
    chan.qp[a] = q;
    if (depth > 1e-16) chan.chan_has_water = 1;
  }
}

// Lake losses exchange water with the aquifer: without the groundwater
// model a lake with an MLAKE card is refused rather than run without them.
// With it, the cells such a lake floods at the start are the aquifer's
// lake cells.
void refuse_lake_losses(model_state& state) {
  const channel_state& chan = state.channel;
  std::vector<int>& gwbound = state.subsurface.gw.gwbound;
  if (state.input.gw_simulation && gwbound.size() > std::size_t(state.grid.cells)) {
    for (int c = 1; c <= state.grid.cells && !chan.lake_mask.empty(); ++c) {
      const int k = chan.lake_mask[std::size_t(c)];
      if (k >= 1 && k <= chan.lake_count && chan.calc_loss[std::size_t(k)])
        gwbound[std::size_t(c)] = gw_type::lake;
    }
    return;
  }
  for (int l = 1; l <= chan.links; ++l) {
    if (!(chan.ltype[l] & link_bit::lake)) continue;
    const int k = chan.lake2link[l];
    if (k < 1 || k > chan.lake_count || !chan.calc_loss[std::size_t(k)]) continue;
    raise_message("Error: link %d (MLAKE) is not available in this version.\n", l);
    return;
  }
}

// Water leaves a lake only through a structure link, whose flow the lake's
// books and the link below both take; a lake draining into a channel would
// lose water that no node receives. A structure passes one upstream link's
// water, which each of several upstream links would take as its own.
void check_lake_and_structure_links(const channel_state& chan) {
  for (int l = 1; l <= chan.links; ++l) {
    const int down = chan.dslink[l];
    if ((chan.ltype[l] & link_bit::lake) && down > 0 &&
        !(chan.ltype[down] & link_bit::structure)) {
      raise_message(
          "Error: lake link %d of the channel network drains into link %d, which is not a "
          "structure link; a lake empties through a structure.\n",
          l, down);
      return;
    }
    if ((chan.ltype[l] & link_bit::structure) && chan.ndep[l] > 1) {
      raise_message(
          "Error: structure link %d of the channel network has %d upstream links; a structure "
          "takes the water of one.\n",
          l, chan.ndep[l]);
      return;
    }
  }
}

// A lake fills its search cells in list order, so a list that falls in
// elevation lets the lake take a cell below one it has not yet reached.
void warn_falling_lake_lists(const model_state& state) {
  const channel_state& chan = state.channel;
  const grid_state& grid = state.grid;
  const std::size_t row_length = std::size_t(chan.max_lake_points) + 1;
  for (int k = 1; k <= chan.lake_count; ++k) {
    double last = 0.0;
    for (int i = 1; i <= chan.numpts[std::size_t(k)]; ++i) {
      const std::size_t at = std::size_t(k) * row_length + std::size_t(i);
      const int r = chan.lake_search_row[at];
      const int c = chan.lake_search_col[at];
      const double z = grid.elevation[std::size_t(grid.mask[r][c])];
      if (i > 1 && z < last)
        msg_printf(
            "Warning: the search cells of lake %d fall at position %d: cell (%d, %d) lies at "
            "%.3lf m, below the %.3lf m of the cell before it.\n",
            k, i, r, c, z, last);
      last = z;
    }
  }
}

// Every routed link needs a node, and the outlet two: its last node takes
// the slope from the node above it.
void check_node_counts(const channel_state& chan) {
  for (int l = 1; l <= chan.links; ++l) {
    if (!chan.is_routed(l) || chan.nx[l] >= 1) continue;
    raise_message("Error: link %d of the channel network has no computational node (NODES %d).\n",
                  l, chan.nx1[l]);
    return;
  }
  const int outlet = chan.links;
  if (chan.is_routed(outlet) && chan.nx[outlet] < 2)
    raise_message(
        "Error: the outlet link %d of the channel network has %d computational node; it needs "
        "two, for the outlet takes its slope from the node above it.\n",
        outlet, chan.nx[outlet]);
}

}  // namespace

bool read_link_node_list(model_state& state, safe_file& file, int& count,
                         std::vector<int>& link, std::vector<int>& node) {
  const bool ok = read_pairs(file, count, link, node) &&
                  check_link_nodes(state.channel, file.path, count, link, node);
  file.close();
  if (!ok) count = 0;
  return ok;
}

void read_channel_hotstart(model_state& state) {
  const input_state& in = state.input;
  if (!in.read_chan_hotstart) return;
  if (in.hotstart_is_depth)
    read_depth_records(state);
  else
    read_node_lines(state);
  state.input.files.chan_hotstart_depth.close();
  state.input.files.chan_hotstart_flow.close();
}

void read_hlink_list(model_state& state) {
  if (!state.input.settings.in_hyd_location_given) return;
  channel_state& chan = state.channel;
  read_link_node_list(state, state.input.files.hyd_location, chan.hyd_locations,
                      chan.hyd_loc_link, chan.hyd_loc_node);
}

void read_gwflink_list(model_state& state) {
  if (!state.input.settings.in_gwflux_location_given) return;
  channel_state& chan = state.channel;
  read_link_node_list(state, state.input.files.gwflux_location, chan.gwflux_locations,
                      chan.gwflux_link, chan.gwflux_node);
}

void read_cell_locator_list(model_state& state) {
  if (!state.input.settings.in_celldepdis_location_given) return;
  channel_state& chan = state.channel;
  grid_state& grid = state.grid;
  safe_file& file = state.input.files.celldepdis_location;
  const bool ok = read_pairs(file, chan.cell_locations, chan.cell_loc_row, chan.cell_loc_col) &&
                  allocate_zeroed(chan.cell_loc_number, std::size_t(chan.cell_locations) + 1,
                                  "gnumlocater") &&
                  allocate_zeroed(chan.cell_loc_qx, std::size_t(chan.cell_locations) + 1,
                                  "location flows") &&
                  allocate_zeroed(chan.cell_loc_qy, std::size_t(chan.cell_locations) + 1,
                                  "location flows") &&
                  allocate_zeroed(chan.cell_loc_vx, std::size_t(chan.cell_locations) + 1,
                                  "location flows") &&
                  allocate_zeroed(chan.cell_loc_vy, std::size_t(chan.cell_locations) + 1,
                                  "location flows");
  file.close();
  if (!ok) {
    chan.cell_locations = 0;
    return;
  }
  for (int i = 1; i <= chan.cell_locations; ++i) {
    const int r = chan.cell_loc_row[i];
    const int c = chan.cell_loc_col[i];
    if (r < 1 || r > grid.rows || c < 1 || c > grid.cols) {
      raise_message("Error: location %d of %s, row %d column %d, lies off the grid.\n", i,
                    file.path, r, c);
      chan.cell_locations = 0;
      return;
    }
    find_cell_number(grid.mask.table(), grid.rows, grid.cols, chan.cell_loc_row.data(),
                     chan.cell_loc_col.data(), chan.cell_loc_number.data(), i);
  }
}

void setup_grid_stream(model_state& state) {
  channel_state& chan = state.channel;
  for (int l = 1; l <= chan.links; ++l) {
    if (chan.ltype[l] & (link_bit::structure | link_bit::lake)) continue;
    if (chan.dx[l] >= 1e-4) continue;
    raise_message(
        "\nYour channel node spacing is %f in link %d\n"
        "You must specify a realistic value.  Program terminated.\n",
        chan.dx[l], l);
    return;
  }
  // The reader kept each stream cell's row and column with the cell; every
  // entry of the cell lies in it.
  for (int i = 1; i <= chan.stream_cells; ++i) {
    const std::size_t at = chan.gst_index(i, 0);
    for (int k = 1; k <= chan.gst_ncellsingrid[i]; ++k) {
      chan.gst_row[chan.gst_index(i, k)] = chan.gst_row[at];
      chan.gst_col[chan.gst_index(i, k)] = chan.gst_col[at];
    }
  }
}

void write_short_links(model_state& state) {
  const channel_state& chan = state.channel;
  safe_file file;
  if (!file.open("short_links.out", "w")) {
    print_message(summary_file, "Error: unable to open short_links.out for writing\n");
    return;
  }
  std::fputs("Links with 1 node:\n", file.stream);
  for (int l = 1; l <= chan.links; ++l)
    if (chan.nx[l] == 1) std::fprintf(file.stream, "%d\n", l);
  file.close();
}

void write_bad_thalweg(model_state& state) {
  const channel_state& chan = state.channel;
  const grid_state& grid = state.grid;
  safe_file file;
  if (!file.open("bad_thalweg.out", "w")) {
    print_message(summary_file, "Error: unable to open bad_thalweg.out for writing\n");
    return;
  }
  std::fputs("Problem    link    node    thalweg     cell    elev\n", file.stream);
  std::fputs(
      "--> problem codes: 0=thalweg>cell elev, 1= difference <0.5, 2= difference<1.0, "
      "3=difference>3.5\n",
      file.stream);
  for (int i = 1; i <= chan.stream_cells; ++i)
    for (int k = 1; k <= chan.gst_ncellsingrid[i]; ++k) {
      const std::size_t e = chan.gst_index(i, k);
      const int l = chan.gst_link[e];
      const int j = chan.gst_node[e];
      const int cell = chan.gst_gnum[e];
      const double thalweg = chan.bel[chan.node_address(l, j)];
      if (thalweg > grid.elevation[cell])
        std::fprintf(file.stream, "0     %4d    %4d   %lf   %d   %lf\n", l, j, thalweg, cell,
                     grid.elevation[cell]);
    }
  file.close();
}

// Stream XY boundary points are placed on the network: a point given by
// coordinates takes the nearest node of a link that can carry it, a node
// lying midway between the two points that bound it. No rule is given for
// feeding a point's hydrograph into the routing, so once every point has its
// place, and the user can see where it fell, the run stops rather than run
// without the flows the user asked for.
void place_xy_stream_points(model_state& state) {
  const xy_input* xy = state.input.settings.xy_inputs.get();
  if (xy == nullptr || xy->stpts.size == 0) return;
  if (!state.input.explicit_channel) {
    raise_message(
        "Error: stream xy boundary points need the channel network, which this run does not "
        "route; and no rule is given for applying a stream point's hydrograph, so this version "
        "does not run them.\n");
    return;
  }
  const channel_state& chan = state.channel;
  std::vector<double> node_x(chan.node_slots(), 0.0), node_y(chan.node_slots(), 0.0);
  std::vector<const double*> xs(std::size_t(chan.links) + 1, nullptr);
  std::vector<const double*> ys(std::size_t(chan.links) + 1, nullptr);
  for (int l = 1; l <= chan.links; ++l) {
    const bool shaped = chan.ltype[l] & link_bit::shaped;
    for (int j = 1; j <= chan.nx[l]; ++j) {
      const std::size_t a = std::size_t(chan.node_address(l, j));
      node_x[a] = shaped ? 0.5 * (chan.lnx[a] + chan.lnx[a + 1]) : chan.lnx[a];
      node_y[a] = shaped ? 0.5 * (chan.lny[a] + chan.lny[a + 1]) : chan.lny[a];
    }
    xs[std::size_t(l)] = &node_x[std::size_t(chan.node_address(l, 0))];
    ys[std::size_t(l)] = &node_y[std::size_t(chan.node_address(l, 0))];
  }
  const xy_channel_view network{chan.links, chan.nx.data(), chan.ltype.data(), xs.data(),
                                ys.data()};
  xy_input& points = *state.input.settings.xy_inputs;
  if (!map_xy_stream_points(points, network)) return;
  for (int k = 1; k <= points.stpts.size; ++k) {
    const xy_stream_point& p = points.stpts[k];
    announce_setup(state, "stream xy boundary point %d (x %.3lf, y %.3lf) lies at link %d node %d\n",
                   k, p.x, p.y, p.link, p.node);
  }
  raise_message(
      "Error: the stream xy boundary points are placed on the channel network, but no rule is "
      "given for applying a stream point's hydrograph, so this version does not run them.\n");
}

void setup_channels(model_state& state) {
  const input_state& in = state.input;
  if (!in.explicit_channel) {
    place_xy_stream_points(state);
    return;
  }
  channel_state& chan = state.channel;
  announce_setup(state, "reading channel input data from file %s\n",
                 in.settings.channel_input.c_str());
  chan.lake_loss = read_chan_input(state);
  if (stopped()) return;
  read_channel_hotstart(state);
  if (stopped()) return;
  if ((in.stream_loss || chan.constituents) &&
      !allocate_zeroed(chan.qriv, chan.node_slots(), "qriv"))
    return;
  if (chan.channel_lakes && chan.lake_loss &&
      !allocate_per_cell(chan.lake_source, state.grid.cells, "lake_source"))
    return;
  read_hlink_list(state);
  if (stopped()) return;
  read_gwflink_list(state);
  if (stopped()) return;
  read_cell_locator_list(state);
  if (stopped()) return;
  setup_channel_sediment(state);
  if (stopped()) return;
  alloc_channel_contaminant_arrays(state);
  if (stopped()) return;
  place_xy_stream_points(state);
  if (stopped()) return;
  chan.head_links = 0;
  for (int l = 1; l <= chan.links; ++l)
    if (chan.ndep[l] == 0) ++chan.head_links;
  msg_printf("Setting up the grid-stream data... ");
  setup_grid_stream(state);
  if (stopped()) return;
  // The groundwater model sizes its own exchange with the cell states.
  if (in.stream_loss && !in.gw_simulation && !size_channel_exchange(state)) return;
  msg_printf("done.\n");
  write_short_links(state);
  write_bad_thalweg(state);
  check_node_counts(chan);
  if (stopped()) return;
  refuse_lake_losses(state);
  if (stopped()) return;
  check_lake_and_structure_links(chan);
  if (stopped()) return;
  check_pump_cells(state);
  if (stopped()) return;
  if (chan.channel_lakes) {
    warn_falling_lake_lists(state);
    chan.initial_lake_volume = chan.lake_water_volume();
    chan.event_start_lake_volume = chan.initial_lake_volume;
  }
}
