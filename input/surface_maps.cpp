// The grid set-up's readers of the surface maps: dikes, interception,
// retention, roughness and the starting surface depths. Each reads its map
// from the file the opening of the project's files left open, packs the
// values by cell number and closes the file.

#include <cstdio>

#include "run/model_state.h"
#include "core/not_available.h"
#include "input/ascii_grid.h"
#include "input/map_tables.h"
#include "input/read_grid_inputs.h"
#include "surface/lowspots.h"

namespace {

bool stopped() { return error_state.stop_flag != 0; }


// Reads the kind's table of the mapping table file into the per-cell arrays,
// one per value column.
void read_table_into(model_state& state, int kind, std::span<const std::span<double>> columns) {
  map_table_context context = run_map_table_context(state);
  read_map_table(context, kind, columns);
}

void fill_cells(std::vector<double>& values, int cells, double value) {
  for (int i = 1; i <= cells && i < static_cast<int>(values.size()); ++i) values[i] = value;
}

}  // namespace

bool table_requested(const input_state& in, int kind) {
  return in.settings.mapping_table_given && in.map_table_present[kind];
}

void read_cell_map(model_state& state, safe_file& file, const std::string& name,
                   std::vector<double>& values) {
  map_header header;
  read_ascii_map(file, name.c_str(), real_map, header, state.grid.mask.table(), values, {}, {},
                 state.grid.rows, state.grid.cols);
  file.close();
}

void read_dike_map(model_state& state) {
  const project_settings& s = state.input.settings;
  if (!s.dike_map_given) return;
  safe_file file;
  if (!file.open(s.dike_map.c_str(), "r")) {
    raise_message("Can't open input dike mask file named: %s\n", s.dike_map.c_str());
    return;
  }
  std::vector<int>& dikes = state.surface.dike_mask;
  if (!allocate_per_cell(dikes, state.grid.cells, "dike_mask")) return;
  announce_setup(state, "reading overland flow dike map from file: %s\n", s.dike_map.c_str());
  map_header header;
  read_ascii_map(file, s.dike_map.c_str(), index_map, header, state.grid.mask.table(), {}, {},
                 dikes, state.grid.rows, state.grid.cols);
  file.close();
  if (stopped() || !s.lowspot_file_given) return;

  safe_file lowspots;
  if (!lowspots.open(s.lowspot_file.c_str(), "r")) {
    raise_message("Can't open input dike mask file named: %s\n", s.lowspot_file.c_str());
    return;
  }
  read_lowspot_file(lowspots, s.lowspot_file.c_str(), state.surface.lowspot_count,
                    state.surface.low_spots);
  lowspots.close();
}

void read_interception_maps(model_state& state) {
  const input_state& in = state.input;
  if (!in.interception) return;
  input_files& files = state.input.files;
  surface_state& surface = state.surface;
  if (table_requested(in, table_kind::interception)) {
    const std::span<double> columns[] = {surface.icep_stor, surface.icep_coef};
    read_table_into(state, table_kind::interception, columns);
    if (stopped()) return;
  }
  if (files.storage_capacity.is_open()) {
    announce_setup(state, "reading interception storage from file: %s\n",
                   in.settings.storage_capacity.c_str());
    read_cell_map(state, files.storage_capacity, in.settings.storage_capacity, surface.icep_stor);
    if (stopped()) return;
  } else {
    announce_setup(state, "reading interception storage table and map from master table file\n");
  }
  if (files.interception_coeff.is_open()) {
    announce_setup(state, "reading interception coeff. from file: %s\n",
                   in.settings.interception_coeff.c_str());
    read_cell_map(state, files.interception_coeff, in.settings.interception_coeff,
                  surface.icep_coef);
  } else {
    announce_setup(state, "reading interception coeff. table and map from the master table file\n");
  }
}

// The map and the uniform value are in millimetres; the cells keep metres.
void read_retention_map(model_state& state) {
  const input_state& in = state.input;
  std::vector<double>& retention = state.surface.retent_dep;
  const int cells = state.grid.cells;
  if (!in.settings.reten_depth_given) {
    fill_cells(retention, cells, in.settings.retention_given ? in.retention_depth / 1000.0 : 0.0);
    return;
  }
  safe_file& file = state.input.files.retention;
  if (file.is_open()) {
    announce_setup(state, "reading retention storage map from file: %s\n",
                   in.settings.reten_depth.c_str());
    read_cell_map(state, file, in.settings.reten_depth, retention);
    if (stopped()) return;
  } else {
    announce_setup(state, "reading retention storage table and map from master table file\n");
    if (table_requested(in, table_kind::retention)) {
      const std::span<double> columns[] = {retention};
      read_table_into(state, table_kind::retention, columns);
      if (stopped()) return;
    }
  }
  for (int i = 1; i <= cells && i < static_cast<int>(retention.size()); ++i) retention[i] /= 1000.0;
}

void read_roughness_map(model_state& state) {
  const input_state& in = state.input;
  std::vector<double>& roughness = state.surface.dist_rough;
  const int cells = state.grid.cells;
  if (!in.roughness_map) {
    const double n = in.settings.manning_n;
    if (n > 1e-6) {
      fill_cells(roughness, cells, n);
      return;
    }
    raise_message("\nInvalid spatially uniform overland flow Manning n value=%lf\nVALTO exiting.\n",
                  n);
    return;
  }
  safe_file& file = state.input.files.roughness;
  if (file.is_open()) {
    announce_setup(state, "reading roughness map from file: %s\n", in.settings.roughness.c_str());
    read_cell_map(state, file, in.settings.roughness, roughness);
    if (stopped()) return;
  } else {
    announce_setup(state, "reading roughness table and map from master table file\n");
    if (table_requested(in, table_kind::roughness)) {
      const std::span<double> columns[] = {roughness};
      read_table_into(state, table_kind::roughness, columns);
      if (stopped()) return;
    }
  }
  // A cell without resistance would let water leave it in no time; a value
  // that is not a number is refused with it.
  for (int i = 1; i <= cells && i < static_cast<int>(roughness.size()); ++i) {
    if (!(roughness[i] > 0.0)) {
      raise_message("Overland Manning n=0 at grid cell %d.  Program terminating.\n", i);
      return;
    }
  }
}

void setup_snow_roughness(model_state& state) {
  const project_settings& s = state.input.settings;
  surface_state& surface = state.surface;
  if (s.snow_roughness == 0.0) return;
  if (!(s.snow_roughness > 0.0)) {
    raise_message("Error: SNOW_ROUGHNESS %g is no Manning n: it must be above 0.\n",
                  s.snow_roughness);
    return;
  }
  if (s.snow_darcy != 0.0) {
    announce_setup(state,
                   "Both manning and darcy flow are turned on for when snow is present \n"
                   "Turning off manning flow for when snow is present.  Darcy still turned on. \n");
    surface.snow_manning = 0;
    return;
  }
  surface.snow_manning = 1;
  surface.snow_roughness = s.snow_roughness;
  if (!allocate_per_cell(surface.dist_rough_copy, state.grid.cells, "dist_rough_copy")) return;
  surface.dist_rough_copy = surface.dist_rough;
}

namespace {

// The snow water equivalent the run starts from (m), uniform or a map; its
// volume joins the initial storage of the balances.
void read_initial_snow(model_state& state) {
  const project_settings& s = state.input.settings;
  snow_state& snow = state.soil.snow;
  const int cells = state.grid.cells;
  if (s.init_swe_depth_kind != 1 && s.init_swe_depth_kind != 3) return;
  if (snow.swe.size() != std::size_t(cells) + 1) {
    raise_message("Error: INIT_SWE_DEPTH needs a long-term run or a snow model (NWSRFS_SNOW).\n");
    return;
  }
  if (s.init_swe_depth_kind == 3) {
    fill_cells(snow.swe, cells, s.init_swe_depth_value);
  } else {
    announce_setup(state, "reading initial snow water equivalent map from file: %s\n",
                   s.init_swe_depth_name.c_str());
    read_cell_map(state, state.input.files.swe_hotstart, s.init_swe_depth_name, snow.swe);
    if (stopped()) return;
  }
  double volume = 0.0;
  for (int i = 1; i <= cells; ++i) {
    if (!(snow.swe[i] >= 0.0)) {
      raise_message("Error: the initial snow water equivalent of grid cell %d is negative.\n", i);
      return;
    }
    volume += snow.swe[i];
  }
  state.soil.initial_snow_volume = volume * state.grid.dx * state.grid.dx;
  state.soil.snow_present = volume > 0.0;
}

}  // namespace

void read_hotstart_maps(model_state& state) {
  const input_state& in = state.input;
  const project_settings& s = in.settings;
  surface_state& surface = state.surface;
  const int cells = state.grid.cells;
  read_initial_snow(state);
  if (stopped()) return;
  if (s.ov_init_depth_given) {
    announce_setup(state, "reading overland hotstart map from file: %s\n", s.ov_init_depth.c_str());
    read_cell_map(state, state.input.files.ov_hotstart, s.ov_init_depth, surface.depth);
    if (stopped()) return;
    surface.prev_depth = surface.depth;
  }
  // Cells below the starting head are flooded up to it; cells above keep
  // what they hold.
  if (s.init_elev_head != 0.0) {
    const std::vector<double>& elevation = state.grid.elevation;
    for (int i = 1; i <= cells && i < static_cast<int>(surface.depth.size()); ++i)
      if (elevation[i] < s.init_elev_head) surface.depth[i] = s.init_elev_head - elevation[i];
    surface.prev_depth = surface.depth;
  }
  if (in.long_term) {
    for (int i = 1; i <= cells && i < static_cast<int>(surface.depth.size()); ++i) {
      if (surface.depth[i] > 1e-16) {
        surface.ponded_water = 1;
        break;
      }
    }
  }
}
