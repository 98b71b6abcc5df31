// The run's fixed gridded maps: their datasets opened at set-up, and one
// output per map time, as one ASCII grid file per map or one record per
// dataset. Derived values (the cell discharge) are formed in a buffer sized
// at set-up, so the time loop allocates nothing.

#include "output/map_outputs.h"
#include "output/nsm_outputs.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "channel/chan_lake_extent.h"
#include "core/error_state.h"
#include "run/model_state.h"
#include "core/parallel_context.h"
#include "input/read_grid_inputs.h"
#include "output/map_formats.h"
#include "output/map_writer.h"
#include "output/output_steps.h"
#include "surface/cell_loops.h"

namespace {

// A fixed map this version writes, by its dataset index.
struct fixed_map {
  int index;
  const char* stem;       // per-time grid file stem
  const char* open_fail;  // message when its per-time grid does not open
};

constexpr fixed_map depth_map{fixed_map_index::depth, "depth",
                              "Can't open depth map for writing: %s\n"};
constexpr fixed_map discharge_map{fixed_map_index::discharge, "discharge",
                                  "Can't open discharge map for writing: %s\n"};
constexpr fixed_map rain_map{fixed_map_index::rain, "rain",
                             "Can't open rainfall map for writing: %s\n"};
constexpr fixed_map inf_depth_map{fixed_map_index::inf_depth, "infdep",
                                  "Can't open Cum. infilt. depth map for writing: %s\n"};
constexpr fixed_map inf_rate_map{fixed_map_index::inf_rate, "infrate",
                                 "Can't open infiltration rate map for writing: %s\n"};
// The moisture grid's stem follows its directory (surface_moisture_stem).
constexpr fixed_map surf_moist_map{fixed_map_index::surf_moist, nullptr,
                                   "Can't open surface moisture content map for writing: %s\n"};
constexpr fixed_map swe_map{fixed_map_index::swe, "swe",
                            "Can't open snow water equivalent map for writing: %s\n"};
constexpr fixed_map sed_flux_map{fixed_map_index::sed_flux, "max_sed_flux",
                                 "Can't open sediment flux map for writing: %s\n"};
constexpr fixed_map net_sed_map{fixed_map_index::net_sed, "net_sed_volume",
                                "Can't open net sediment volume map for writing: %s\n"};
// The suspended sediment has datasets only.
constexpr fixed_map susp_sed_map{fixed_map_index::susp_sed, nullptr, nullptr};
constexpr fixed_map gw_head_map{fixed_map_index::gw_head, "gw_head",
                                "Can't open groundwater head map for writing: %s\n"};
constexpr fixed_map recharge_cum_map{fixed_map_index::gw_recharge_cum, "gwrechargecum",
                                     "Can't open cum gw recharge map for writing: %s\n"};
constexpr fixed_map recharge_inc_map{
    fixed_map_index::gw_recharge_inc, "gwrechargeinc",
    "Can't open incremental groundwater recharge map for writing: %s\n"};

// Orders of the two forms.
constexpr fixed_map per_time_order[] = {depth_map,        swe_map,          discharge_map,
                                        rain_map,         inf_depth_map,    inf_rate_map,
                                        surf_moist_map,   gw_head_map,      recharge_cum_map,
                                        recharge_inc_map, sed_flux_map,     net_sed_map};
constexpr fixed_map dataset_order[] = {depth_map,        swe_map,          discharge_map,
                                       gw_head_map,      rain_map,         recharge_cum_map,
                                       recharge_inc_map, inf_depth_map,    inf_rate_map,
                                       surf_moist_map,   sed_flux_map,     net_sed_map,
                                       susp_sed_map};
// Set-up order of the datasets.
constexpr int open_order[] = {fixed_map_index::depth,           fixed_map_index::discharge,
                              fixed_map_index::rain,            fixed_map_index::gw_recharge_cum,
                              fixed_map_index::gw_recharge_inc, fixed_map_index::inf_depth,
                              fixed_map_index::inf_rate,        fixed_map_index::surf_moist,
                              fixed_map_index::gw_head,
                              fixed_map_index::sed_flux,        fixed_map_index::net_sed,
                              fixed_map_index::susp_sed,        fixed_map_index::contam_conc,
                              fixed_map_index::flood_grid,
                              fixed_map_index::swe};

bool sediment_maps(const model_state& state) {
  const sediment_state& sed = state.quality.sediment;
  return sed.on && sed.mode == 1;
}

// A run with an infiltration method keeps the cells' soil state.
bool soil_kept(const input_state& in) {
  return in.green_ampt || in.inf_redist || in.inf_layered_soil || in.inf_richards;
}

// A soil array the run sized for its cells, else null (no record).
const double* soil_values(const model_state& state, const std::vector<double>& values) {
  return values.size() == std::size_t(state.grid.cells) + 1 ? values.data() : nullptr;
}

const std::string* card_file(const model_state& state, int index) {
  const input_state& in = state.input;
  const project_settings& s = in.settings;
  switch (index) {
    case fixed_map_index::depth: return s.depth_given ? &s.depth : nullptr;
    case fixed_map_index::discharge: return s.discharge_given ? &s.discharge : nullptr;
    case fixed_map_index::rain: return s.dis_rain_given ? &s.dis_rain : nullptr;
    case fixed_map_index::flood_grid: return in.flood_grid ? &in.flood_grid_file : nullptr;
    // The soil maps exist only where an infiltration method keeps the cells'
    // soil state.
    case fixed_map_index::inf_depth:
      return s.inf_depth_given && soil_kept(in) ? &s.inf_depth : nullptr;
    case fixed_map_index::inf_rate:
      return s.rate_of_infil_given && soil_kept(in) ? &s.rate_of_infil : nullptr;
    case fixed_map_index::surf_moist:
      return s.surf_moist_given && soil_kept(in) ? &s.surf_moist : nullptr;
    // The sediment maps need the erosion's arrays.
    case fixed_map_index::sed_flux:
      return s.max_sed_flux_given && sediment_maps(state) ? &s.max_sed_flux : nullptr;
    case fixed_map_index::net_sed:
      return s.net_sed_volume_given && sediment_maps(state) ? &s.net_sed_volume : nullptr;
    case fixed_map_index::susp_sed:
      return s.vol_sed_susp_given && sediment_maps(state) ? &s.vol_sed_susp : nullptr;
    // The constituent concentration dataset holds its header only: no
    // record is written to it.
    case fixed_map_index::contam_conc:
      return s.ov_con_map_given && in.ov_con_trans ? &s.ov_con_map : nullptr;
    // Only a long-term run keeps a snow pack; without one there is no map.
    case fixed_map_index::swe:
      return s.snow_swe_file_given && !state.soil.snow.swe.empty() ? &s.snow_swe_file : nullptr;
    // The aquifer's maps exist only with its model.
    case fixed_map_index::gw_head:
      return s.gw_output_given && in.gw_simulation ? &s.gw_output : nullptr;
    case fixed_map_index::gw_recharge_cum:
      return s.gw_recharge_cum_given && in.gw_simulation ? &s.gw_recharge_cum : nullptr;
    case fixed_map_index::gw_recharge_inc:
      return s.gw_recharge_inc_given && in.gw_simulation ? &s.gw_recharge_inc : nullptr;
    default: return nullptr;
  }
}

// The recharge since the last map time (cm); the kept cumulative moves on.
const double* recharge_increment(groundwater_state& gw, int cells) {
  for (std::size_t i = 1; i <= std::size_t(cells); ++i) {
    gw.recharge_inc[i] = gw.recharge_cum[i] - gw.recharge_cum_map[i];
    gw.recharge_cum_map[i] = gw.recharge_cum[i];
  }
  return gw.recharge_inc.data();
}

// The map's values at this output time.
const double* map_values(model_state& state, int index) {
  surface_state& sf = state.surface;
  switch (index) {
    case fixed_map_index::depth:
      // A channel lake's cells show the lake's water above their ground.
      if (state.channel.channel_lakes) {
        chan_lake_cell_depths(state, state.output.lake_depth.data());
        return state.output.lake_depth.data();
      }
      return sf.depth.data();
    case fixed_map_index::discharge: {
      // The face discharges are m3/s already, so the cell discharge is the
      // magnitude of the cell's two face discharges.
      const int n = state.grid.cells;
      const double* qx = sf.flux_x.data();
      const double* qy = sf.flux_y.data();
      double* q = state.output.cell_discharge.data();
#pragma omp parallel for schedule(static) num_threads(team_for(n, cells_per_thread))
      for (int i = 1; i <= n; ++i) q[i] = std::sqrt(qx[i] * qx[i] + qy[i] * qy[i]);
      return q;
    }
    case fixed_map_index::rain: return sf.rain_rate.data();
    case fixed_map_index::inf_depth: return soil_values(state, state.soil.cum_inf);  // m
    case fixed_map_index::inf_rate: return soil_values(state, state.soil.inf_rate);  // cm/h
    case fixed_map_index::surf_moist: return soil_values(state, state.soil.surface_moisture);
    case fixed_map_index::swe: return state.soil.snow.swe.data();
    case fixed_map_index::sed_flux: {
      // Sediment flux out of each cell, cm3/s.
      const std::vector<double>& flux = state.quality.sediment.ov_qsmax_total;
      std::vector<double>& map = state.output.sed_flux_map;
      for (std::size_t i = 1; i < map.size() && i < flux.size(); ++i) map[i] = flux[i] * 1e6;
      return map.data();
    }
    case fixed_map_index::net_sed: {
      // Net deposition over the run as a depth, mm.
      const std::vector<double>& net = state.quality.sediment.ov_net_sed;
      std::vector<double>& map = state.output.net_sed_map;
      const double area = state.grid.dx * state.grid.dx;
      for (std::size_t i = 1; i < map.size() && i < net.size(); ++i)
        map[i] = net[i] * 1000.0 / area;
      return map.data();
    }
    case fixed_map_index::susp_sed: return state.quality.sediment.ov_conc.data();
    case fixed_map_index::gw_head: return state.subsurface.gw.elevgw.data();
    case fixed_map_index::gw_recharge_cum: return state.subsurface.gw.recharge_cum.data();
    case fixed_map_index::gw_recharge_inc:
      return recharge_increment(state.subsurface.gw, state.grid.cells);
    default: return nullptr;
  }
}

// The snow temperature map: the pack's antecedent temperature index, which
// the melt keeps per cell as the temperature of the snow cover. Only a run
// that keeps a pack has one.
bool snow_temp_requested(const model_state& state) {
  return state.input.settings.snow_temp_given && !state.soil.snow.ati.empty();
}

void open_snow_temp_map(model_state& state) {
  if (!snow_temp_requested(state)) return;
  map_writer& w = state.output.snow_temp_map;
  w.bind(run_map_grid(state), state.soil.snow.ati.data());
  w.setup(run_map_format(state), state.input.settings.snow_temp.c_str(), "", "", 1060,
          "Snow_Temperature");
}

// A soil map asked of a run without an infiltration method would stay
// empty; the user is told once, at set-up.
void warn_soil_maps_without_soil(const model_state& state) {
  const input_state& in = state.input;
  if (soil_kept(in)) return;
  const project_settings& s = in.settings;
  const struct {
    int given;
    const char* word;
  } cards[] = {{s.inf_depth_given, "INF_DEPTH"},
               {s.rate_of_infil_given, "RATE_OF_INFIL"},
               {s.surf_moist_given, "SURF_MOIST"}};
  for (const auto& card : cards) {
    if (!card.given) continue;
    char line[160];
    std::snprintf(line, sizeof line,
                  "Warning: the project card %s asks for a soil map, but the run has no "
                  "infiltration method; no map is written.\n",
                  card.word);
    print_message(summary_file, line);
  }
}

}  // namespace

bool map_outputs_requested(const model_state& state) {
  for (int index : open_order)
    if (card_file(state, index)) return true;
  return false;
}

bool open_dataset_file(model_state& state, int id, const char* file_name, const char* name,
                       safe_file& file) {
  const input_state& in = state.input;
  const int rows = state.grid.rows, cols = state.grid.cols;
  if (in.map_kind[2]) return write_binary_dataset_header(file_name, file, id, name, rows, cols);
  if (in.qtr || in.map_kind[0]) return false;
  return write_ascii_dataset_header(file_name, file, id, name, rows, cols);
}

void open_map_dataset(model_state& state, int index) {
  const std::string* file = card_file(state, index);
  if (!file) return;
  open_dataset_file(state, first_fixed_dataset_id + index, file->c_str(),
                    fixed_dataset_name(index), state.output.map_dataset[index]);
}

void open_map_outputs(model_state& state) {
  open_snow_temp_map(state);
  if (error_state.stop_flag) return;
  open_nsm_map_outputs(state);
  if (error_state.stop_flag) return;
  warn_soil_maps_without_soil(state);
  if (!map_outputs_requested(state)) return;
  const int n = state.grid.cells;
  if (card_file(state, fixed_map_index::discharge) &&
      !allocate_per_cell(state.output.cell_discharge, n, "cell_discharge"))
    return;
  if (state.input.flood_grid && !allocate_per_cell(state.surface.max_depth, n, "max_depth"))
    return;
  if (card_file(state, fixed_map_index::sed_flux) &&
      !allocate_per_cell(state.output.sed_flux_map, n, "sed_flux_map"))
    return;
  if (card_file(state, fixed_map_index::net_sed) &&
      !allocate_per_cell(state.output.net_sed_map, n, "net_sed_map"))
    return;
  if (card_file(state, fixed_map_index::depth) && state.channel.channel_lakes &&
      !allocate_per_cell(state.output.lake_depth, n, "lake_depth"))
    return;
  for (int index : open_order) {
    open_map_dataset(state, index);
    if (error_state.stop_flag) return;
  }
}

bool per_time_map_path(char* out, int capacity, const char* dir, const char* stem, int count) {
  char rest[256];
  std::snprintf(rest, sizeof rest, "%s.%04d.asc", stem, count);
  return join_map_path(out, capacity, dir, rest);
}

const char* surface_moisture_stem(const char* dir) {
  const std::size_t n = std::char_traits<char>::length(dir);
  const bool separated = n > 0 && (dir[n - 1] == '/' || dir[n - 1] == '\\');
  return separated ? "surf" : "smoist";
}

namespace {

// The fixed maps of one map time.
void write_fixed_maps(model_state& state) {
  const run_control& run = state.run;
  if (!map_outputs_requested(state)) return;
  const input_state& in = state.input;
  output_state& out = state.output;
  const map_grid grid = run_map_grid(state);

  if (in.map_kind[0]) {
    ++out.map_grid_count;
    for (const fixed_map& m : per_time_order) {
      const std::string* dir = card_file(state, m.index);
      if (!dir) continue;
      char path[path_capacity];
      const char* stem = m.stem ? m.stem : surface_moisture_stem(dir->c_str());
      per_time_map_path(path, sizeof path, dir->c_str(), stem, out.map_grid_count);
      const double* values = map_values(state, m.index);
      if (!values) continue;
      std::printf("opening file %s\n", path);
      safe_file file;
      if (!file.open(path, "w")) {
        raise_message(m.open_fail, path);
        return;
      }
      write_ascii_grid(file.stream, grid, values);
      file.close();
    }
    return;
  }
  if (!in.map_kind[1]) return;
  const bool exchange = in.qtr != 0;
  for (const fixed_map& m : dataset_order) {
    if (!card_file(state, m.index)) continue;
    const double* values = map_values(state, m.index);
    safe_file& file = out.map_dataset[m.index];
    if (exchange || !file.is_open() || !values) continue;
    write_dataset_record(file.stream, run.elapsed_minutes, grid, values, in.map_kind[2] != 0);
  }
}

}  // namespace

void write_map_step(model_state& state) {
  const run_control& run = state.run;
  if (run.map_interval < 1 || (run.pass - 1) % run.map_interval != 0) return;
  if (parallel.partition_index != 0) return;
  write_fixed_maps(state);
  if (error_state.stop_flag) return;
  // The dynamic writers write in either form, and also with neither.
  for (const std::unique_ptr<map_writer>& w : state.output.contam_maps) {
    w->write_map(run.elapsed_minutes);
    if (error_state.stop_flag) return;
  }
  if (snow_temp_requested(state)) state.output.snow_temp_map.write_map(run.elapsed_minutes);
  if (error_state.stop_flag) return;
  write_nsm_maps(state);
}
