// Set-up phase: the grid inputs. The watershed mask is read and numbered
// first, because every later reader packs its values by cell number; then
// the elevation and the outlet, the per-cell arrays, and the maps of each
// process in a fixed order.

#include "input/read_grid_inputs.h"

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "run/model_state.h"
#include "core/not_available.h"
#include "core/parallel_context.h"
#include "run/run_loop.h"
#include "input/ascii_grid.h"
#include "input/lake_maps.h"
#include "soil/snow_bands.h"
#include "soil/snow_melt.h"
#include "channel/setup_channels.h"
#include "output/q7_flux.h"
#include "quality/contaminant_inputs.h"
#include "quality/nsm_setup.h"
#include "quality/sediment_inputs.h"
#include "subsurface/read_gw_inputs.h"
#include "subsurface/superlink_setup.h"
#include "surface/ov_boundary.h"

namespace {

bool stopped() { return error_state.stop_flag != 0; }

bool notices_on_screen(const model_state& state) {
  return !state.input.super_quiet && parallel.process_number == 0;
}

// GRIDSIZE and the mask header's cell size agree when both truncate to the
// same tenth of a metre (with 1 mm of slack for values written short).
bool same_cell_size(double gridsize, double map_size) {
  return std::trunc((gridsize + 0.001) * 10.0) == std::trunc((map_size + 0.001) * 10.0);
}

void check_grid_size(const model_state& state, const map_header& header) {
  const double g = state.grid.dx;
  const double north_south = (header.north - header.south) / header.rows;
  const double east_west = (header.east - header.west) / header.cols;
  const char* direction = nullptr;
  double map_size = 0.0;
  if (!same_cell_size(g, north_south)) {
    direction = "north-south";
    map_size = north_south;
  } else if (!same_cell_size(g, east_west)) {
    direction = "east-west";
    map_size = east_west;
  }
  if (!direction) return;
  if (!notices_on_screen(state)) {
    raise_error(own_message_code);
    return;
  }
  raise_message(
      "\nThe grid size specified in the project file: %7.4f m differs from\n"
      "the %s dimension of the raster grid cells %7.4f m as calculated\n"
      "from the WATERSHED_MASK header.  Check your data to make sure they agree.\n"
      "VALTO terminating.\n\n",
      g, direction, map_size);
}

// Every nonzero cell of the mask, border included, takes the next number in
// row order from 1.
void number_cells(grid_state& grid) {
  int n = 0;
  for (int r = 0; r <= grid.rows + 1; ++r) {
    int* row = grid.mask[r];
    for (int c = 0; c <= grid.cols + 1; ++c)
      if (row[c] != 0) row[c] = ++n;
  }
  grid.cells = n;
}

// "maskmap": the numbered mask under the mask's header, so that a user can
// find the number of any cell.
void write_mask_map(model_state& state, const map_header& header) {
  const grid_state& grid = state.grid;
  safe_file file;
  if (!file.open("maskmap", "w")) {
    print_message(summary_file, "Error: unable to open mask map file for writing\n");
    return;
  }
  std::fprintf(file.stream, "north: %9.2lf\n", header.north);
  std::fprintf(file.stream, "south: %9.2lf\n", header.south);
  std::fprintf(file.stream, "east: %9.2lf\n", header.east);
  std::fprintf(file.stream, "west: %9.2lf\n", header.west);
  std::fprintf(file.stream, "rows: %5d\n", header.rows);
  std::fprintf(file.stream, "cols: %5d\n", header.cols);
  // Each number is followed by one blank, a row by a line end.
  std::vector<char> line;
  for (int r = 1; r <= grid.rows; ++r) {
    line.clear();
    for (int c = 1; c <= grid.cols; ++c) {
      char digits[16];
      const auto [end, failure] = std::to_chars(digits, digits + sizeof digits, grid.mask[r][c]);
      line.insert(line.end(), digits, failure == std::errc() ? end : digits);
      line.push_back(' ');
    }
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), file.stream);
  }
  file.close();
}

// Step 14: the orographic adjustment of a long-term run's meteorology.
void set_orographic_hmet(model_state& state) {
  input_state& in = state.input;
  if (!in.settings.orogvar_hmet) return;
  in.hmet_gage_elev = in.settings.hmet_elev_gage;
  // 5 stands for a lapse rate the project does not give.
  in.hmet_lapse_rate = in.settings.hmet_lapse_rate != 0.0 ? in.settings.hmet_lapse_rate : 5.0;
}

// The aquifer's boundary types, wells, conductivity and porosity, once the
// soil maps are read (their Richards columns can give the last two).
void read_groundwater_inputs(model_state& state) { read_gw_inputs(state); }

// The basin's base flow has nowhere to go but the channels: without them
// every drop of it would vanish from the balance.
void read_sacramento_basin(model_state& state) {
  const input_state& in = state.input;
  if (!in.sacramento) return;
  if (!in.channel_routing) {
    raise_message(
        "Error: the project card SACRAMENTO gives its base flow to the channels, but the "
        "project routes no channels; add CHANNEL_INPUT with CHAN_EXPLIC or remove "
        "SACRAMENTO.\n");
    return;
  }
  open_sac_params_file(state, state.soil.sac);
}

// Once the grid-stream pairs exist: each pair's share of the base flow.
void set_sacramento_weights(model_state& state) {
  const input_state& in = state.input;
  if (!in.sacramento || !in.channel_routing) return;
  compute_sac_weights(state.soil.sac, state.channel, state.grid.cells, in.topo_index != 0);
}

bool snow_model_on(const project_settings& s) { return s.nwsrfs_snow || s.eb_nwsrfs_snow; }

// The melt parameters of every cell, from the bands file or the cards.
void read_snow_band_params(model_state& state) {
  if (!state.soil.snow.swe.empty())
    set_snow_params(state.input.settings, state.grid.cells, state.grid.elevation.data(),
                    state.soil.snow);
}

// The cells' snow pack, which the evapotranspiration's albedo, the
// withdrawal and the summaries read in every long-term run: cold
// precipitation lays snow down whether or not a melt form is chosen.
void alloc_snow_cell_array(model_state& state) {
  if (!state.input.long_term && !snow_model_on(state.input.settings)) return;
  alloc_snow_cells(state.soil.snow, state.grid.cells);
}

// Pressure heads of the previous iteration, shared by the Richards columns
// and the groundwater model (the channel network reads them only through the
// groundwater exchange). Sized [0..cells].
void alloc_phead_old(model_state& state) {
  const input_state& in = state.input;
  if (!in.inf_richards) return;
  allocate_zeroed(state.subsurface.phead_old, std::size_t(state.grid.cells) + 1, "PHEADOLD");
}

void superlink_setup(model_state& state) {
  const project_settings& s = state.input.settings;
  if (!s.storm_sewer_given) return;
  superlink_inputs in;
  in.network = s.storm_sewer;
  if (s.grid_pipe_given) in.grid_pipe = s.grid_pipe;
  in.c_opt = s.superlink_c_opt;
  in.quiet = !notices_on_screen(state);
  const grid_state& grid = state.grid;
  setup_superlink_network(state.subsurface.superlink, in, grid.mask, grid.rows, grid.cols,
                          grid.cells, state.channel);
  if (stopped()) return;
  // The aquifer's solve takes the tile volumes from its own per-cell slots.
  groundwater_state& gw = state.subsurface.gw;
  if (gw.vol_tile_grid.size() <= std::size_t(grid.cells))
    gw.vol_tile_grid.assign(std::size_t(grid.cells) + 1, 0.0);
}

// The junctions and nodes whose flows the two pipe location files write.
// Read here rather than with the channel lists, so that a network without
// channels has them too.
void read_superlink_location_lists(model_state& state) {
  const project_settings& s = state.input.settings;
  input_files& f = state.input.files;
  superlink_state& sl = state.subsurface.superlink;
  if (s.superlink_junc_location_given && f.superlink_junc_location.is_open()) {
    read_sjunc_list(f.superlink_junc_location, sl.net, sl.sjunc);
    f.superlink_junc_location.close();
    if (stopped()) return;
  }
  if (s.superlink_node_location_given && f.superlink_node_location.is_open()) {
    read_sl_link_list(f.superlink_node_location, sl.net, sl.sl_link, sl.sl_node);
    f.superlink_node_location.close();
  }
}

void connect_superlink_to_channel(model_state& state) {
  if (!state.input.settings.storm_sewer_given) return;
  connect_superlink_outlets(state.subsurface.superlink);
  if (stopped()) return;
  read_superlink_location_lists(state);
  if (stopped()) return;
  // The rates the channel continuity takes from the outlets, per node.
  channel_state& chan = state.channel;
  if (state.input.explicit_channel)
    chan.sewer_q.assign(chan.node_slots(), 0.0);
}

// The soil pools and their partition values, once the soil layers are laid out.
void assign_nsm_overland_params(model_state& state) { assign_nsm_soil_tables(state); }

// After the elevation: the order every later reader relies on.
constexpr run_phase later_steps[] = {
    {"alloc_overland_arrays", alloc_overland_arrays},
    {"read_dike_map", read_dike_map},
    {"read_wetland_mask", read_wetland_mask},
    {"read_ov_boundary_types", read_ov_boundary_types},
    {"read_water_table_maps", read_water_table_maps},
    {"read_soil_maps", read_soil_maps},
    {"read_groundwater_inputs", read_groundwater_inputs},
    {"open_sac_params_file", read_sacramento_basin},
    {"alloc_snow_cell_array", alloc_snow_cell_array},
    {"read_snow_band_params", read_snow_band_params},
    {"set_orographic_hmet", set_orographic_hmet},
    {"read_interception_maps", read_interception_maps},
    {"read_overland_lake_map", read_overland_lake_map},
    {"read_retention_map", read_retention_map},
    {"read_roughness_map", read_roughness_map},
    {"setup_snow_roughness", setup_snow_roughness},
    {"read_sediment_inputs", read_sediment_inputs},
    {"read_contaminant_inputs", read_contaminant_inputs},
    {"read_cell_location_list", read_cell_location_list},
    {"alloc_phead_old", alloc_phead_old},
    {"read_hotstart_maps", read_hotstart_maps},
    {"read_soil_moisture_hotstart", read_soil_moisture_hotstart},
    {"setup_nutrient_model", setup_nutrient_model},
    {"setup_channels", setup_channels},
    {"setup_nsm_streams", setup_nsm_streams},
    {"compute_sac_weights", set_sacramento_weights},
    {"superlink_setup", superlink_setup},
    {"connect_superlink_to_channel", connect_superlink_to_channel},
    {"assign_nsm_overland_params", assign_nsm_overland_params},
    {"setup_q7_segment_flux", setup_q7_segment_flux},
};

}  // namespace

void announce_setup(const model_state& state, const char* format, ...) {
  char text[2 * path_capacity + 256];
  va_list values;
  va_start(values, format);
  std::vsnprintf(text, sizeof text, format, values);
  va_end(values);
  if (notices_on_screen(state)) std::fputs(text, stdout);
  const safe_file& summary = state.output.summary;
  if (summary.is_open() && summary.stream == summary.shadow) std::fputs(text, summary.stream);
}

void announce_setup_apart(const model_state& state, const char* screen, const char* summary) {
  if (notices_on_screen(state)) std::fputs(screen, stdout);
  const safe_file& file = state.output.summary;
  if (file.is_open() && file.stream == file.shadow) std::fputs(summary, file.stream);
}

void read_watershed_mask(model_state& state) {
  grid_state& grid = state.grid;
  safe_file& file = state.input.files.watershed_mask;
  const char* name = state.input.settings.watershed_mask.c_str();
  announce_setup(state, "reading watershed mask from file: %s\n", name);
  map_header header;
  read_ascii_map(file, name, integer_grid, header, grid.mask.table(), {}, {}, {}, grid.rows,
                 grid.cols);
  file.close();
  grid.north = header.north;
  grid.south = header.south;
  grid.east = header.east;
  grid.west = header.west;

  // A failed check is reported here; the set-up still reads the elevation
  // before it stops.
  check_grid_size(state, header);
  number_cells(grid);
  write_mask_map(state, header);
  announce_setup(state, "number of grid cells in watershed: %d\n", grid.cells);
  grid.area = grid.dx * grid.dx * grid.cells;
}

void read_elevation_map(model_state& state) {
  grid_state& grid = state.grid;
  const input_state& in = state.input;
  safe_file& file = state.input.files.elevation;
  const char* name = in.settings.elevation.c_str();
  announce_setup(state, "reading elevation map from file: %s\n", name);
  map_header header;
  read_ascii_map(file, name, real_map, header, grid.mask.table(), grid.elevation, {}, {}, grid.rows,
                 grid.cols);
  file.close();

  const int r = grid.outlet_row;
  const int c = grid.outlet_col;
  const bool on_grid = r >= 1 && r <= grid.rows && c >= 1 && c <= grid.cols;
  grid.outlet_cell = on_grid ? grid.mask[r][c] : 0;
  // With channels the outlet is the channel's: a grid outlet outside the
  // watershed is no fault then.
  if (grid.outlet_cell != 0 || in.channel_routing) {
    announce_setup(state, "outlet is in grid cell: %d\n", grid.outlet_cell);
    return;
  }
  raise_message(
      "\nThe outlet row and column you specified in the project file are not\n"
      "inside the watershed mask.  Check the outlet row and column again, and\n"
      "make sure they are correctly specified in the project file using the\n"
      "OUTROW and OUTCOL project file cards.  VALTO terminating.\n\n");
}

// The per-cell arrays of overland flow every run needs, and those of the
// surface processes the project switches on. The arrays of the soil,
// groundwater and long-term processes are sized by their own set-up.
void alloc_overland_arrays(model_state& state) {
  const int n = state.grid.cells;
  grid_state& grid = state.grid;
  surface_state& surface = state.surface;
  const bool made = allocate_per_cell(grid.belowcon, n, "belowcon") &&
                    allocate_per_cell(grid.rightcon, n, "rightcon") &&
                    allocate_per_cell(grid.abovecon, n, "abovecon") &&
                    allocate_per_cell(grid.leftcon, n, "leftcon") &&
                    allocate_per_cell(surface.depth, n, "depth") &&
                    allocate_per_cell(surface.prev_depth, n, "prev_depth") &&
                    allocate_per_cell(surface.retent_dep, n, "retent_dep") &&
                    allocate_per_cell(surface.dist_rough, n, "dist_rough");
  if (!made || !state.input.interception) return;
  if (!allocate_per_cell(surface.icep_stor, n, "icep_stor")) return;
  if (!allocate_per_cell(surface.icep_coef, n, "icep_coef")) return;
  if (!allocate_per_cell(surface.icep_dep, n, "icep_dep")) return;
  allocate_per_cell(surface.ri_eff, n, "ri_eff");
}

void read_grid_inputs(model_state& state) {
  grid_state& grid = state.grid;
  if (!grid.mask.allocate_grid(grid.rows, grid.cols)) {
    raise_message("Error allocating memory for variable %s\n", "mask");
    return;
  }
  if (!grid.data.allocate_grid(grid.rows, grid.cols)) {
    raise_message("Error allocating memory for variable %s\n", "data");
    return;
  }
  read_watershed_mask(state);
  if (!allocate_per_cell(grid.elevation, grid.cells, "elevation")) return;
  read_elevation_map(state);
  if (stopped()) return;
  for (const run_phase& step : later_steps) {
    step.run(state);
    if (stopped()) return;
  }
}
