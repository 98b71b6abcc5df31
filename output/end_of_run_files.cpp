// End-of-run map, hot-start, dataset-end and interface hydrograph files, in
// the order a later run or the reading side expects them. Each file written
// here is closed right after it is written; the datasets stay open for
// close_model_files.

#include "output/end_of_run_files.h"
#include "output/nsm_outputs.h"

#include <cstdio>
#include <string>
#include <vector>

#include "core/error_state.h"
#include "run/model_state.h"
#include "output/linknode_file.h"
#include "output/map_formats.h"
#include "output/map_outputs.h"
#include "output/write_hydrograph_file.h"

namespace {

// A file of these that does not open costs only itself: the message names
// it, and the run goes on.
void note_open_failure(const char* lead, const std::string& name) {
  char line[path_capacity + 96];
  std::snprintf(line, sizeof line, "%s%s\n", lead, name.c_str());
  print_message(summary_file, line);
}

// The largest depths of the run: a last dataset record and its end, or, with
// per-time grids (no dataset), one ASCII grid in the file the card names.
void write_flood_grid(model_state& state) {
  const input_state& in = state.input;
  if (!in.flood_grid || state.surface.max_depth.empty()) return;
  const map_grid grid = run_map_grid(state);
  const double* max_depth = state.surface.max_depth.data();
  safe_file& dataset = state.output.map_dataset[fixed_map_index::flood_grid];
  if (dataset.is_open()) {
    const bool binary = in.map_kind[2] != 0;
    write_dataset_record(dataset.stream, state.run.elapsed_minutes, grid, max_depth, binary);
    write_dataset_end(dataset.stream, binary);
    return;
  }
  if (!in.map_kind[0]) return;
  safe_file file;
  if (!file.open(in.flood_grid_file.c_str(), "w")) {
    note_open_failure("Can't open flood grid map for writing: ", in.flood_grid_file);
    return;
  }
  write_ascii_grid(file.stream, grid, max_depth);
  file.close();
}

// The largest stage of every node less its bed, as one closing record.
void write_flood_stream(model_state& state) {
  safe_file& file = state.output.flood_stream;
  const channel_state& chan = state.channel;
  if (!state.input.flood_stream || !file.is_open() || chan.yp_max_flood.empty()) return;
  linknode_layout layout;
  layout.links = chan.links;
  layout.node_count = chan.nx.data();
  layout.ltype = chan.ltype.data();
  layout.stride = chan.stride();
  layout.lake_number = chan.lake2link.empty() ? nullptr : chan.lake2link.data();
  layout.lake_value = chan.lake_elev.empty() ? nullptr : chan.lake_elev.data();
  layout.lake_count = chan.lake_count;
  write_linknode_record(file.stream, layout, 0, chan.yp_max_flood.data(), chan.bel.data(),
                        linknode_kind::difference);
}

void end_map_datasets(model_state& state) {
  const input_state& in = state.input;
  constexpr int channel_drain = 2;
  if (!in.map_kind[1] || in.params.channel_method == channel_drain) return;
  // A dataset is open only when its process ran, so each is ended when open.
  constexpr int order[] = {fixed_map_index::depth,           fixed_map_index::discharge,
                           fixed_map_index::gw_head,         fixed_map_index::rain,
                           fixed_map_index::gw_recharge_cum, fixed_map_index::gw_recharge_inc,
                           fixed_map_index::inf_depth,       fixed_map_index::inf_rate,
                           fixed_map_index::surf_moist,      fixed_map_index::net_sed,
                           fixed_map_index::sed_flux,        fixed_map_index::susp_sed,
                           fixed_map_index::contam_conc};
  for (int index : order) {
    safe_file& file = state.output.map_dataset[index];
    if (file.is_open()) write_dataset_end(file.stream, in.map_kind[2] != 0);
  }
}

// The snow water equivalent dataset is ended whenever it is open, after
// every other end-of-run file and whatever the channel method.
void end_snow_temp_dataset(model_state& state) { state.output.snow_temp_map.end_dataset(); }

void end_swe_dataset(model_state& state) {
  safe_file& file = state.output.map_dataset[fixed_map_index::swe];
  if (file.is_open()) write_dataset_end(file.stream, state.input.map_kind[2] != 0);
}

// Stage and discharge of every node a later run routes; the files were
// opened with the project's files.
void write_channel_hotstart(model_state& state) {
  if (!state.input.write_chan_hotstart) return;
  output_state& out = state.output;
  if (!out.chan_hotstart_depth.is_open() || !out.chan_hotstart_flow.is_open()) return;
  const channel_state& chan = state.channel;
  constexpr int lake_bit = 32, structure_bit = 64, overtaken_bit = 128;
  for (int i = 1; i <= chan.links; ++i) {
    const int type = chan.ltype[i];
    if (type & structure_bit) continue;
    if (chan.channel_lakes && (type & (lake_bit | overtaken_bit))) continue;
    for (int j = 1; j <= chan.nx[i]; ++j) {
      const int a = chan.node_address(i, j);
      std::fprintf(out.chan_hotstart_depth.stream, "%d %d %lf \n", j, i, chan.yp[a]);
      std::fprintf(out.chan_hotstart_flow.stream, "%d %d %lf\n", j, i, chan.qp[a]);
    }
  }
  out.chan_hotstart_depth.close();
  out.chan_hotstart_flow.close();
}

// The water table a later run starts from, as its WATER_TABLE map. False
// when the file does not open: the run stops, and the later files are not
// written.
bool write_gw_hotstart(model_state& state) {
  if (!state.input.gw_simulation) return true;
  const char* name = "hotstart_file";
  safe_file file;
  if (!file.open(name, "w")) {
    raise_message("Can't open gw hot start map for writing out hotstart info: %s\n", name);
    return false;
  }
  write_nsew_grid(file.stream, run_map_grid(state), state.subsurface.gw.elevgw.data());
  file.close();
  return true;
}

// The ground as erosion and deposition left it, for a later run's
// ELEVATION. The card may come without a file, and then there is none to
// write.
bool write_adjusted_elevation(model_state& state) {
  const project_settings& s = state.input.settings;
  if (!s.adjust_elev_given || !state.quality.sediment.on) return true;
  if (s.adjust_elev.empty()) {
    print_message(summary_file,
                  "Warning: ADJUST_ELEV names no file; the adjusted elevation map is not "
                  "written.\n");
    return true;
  }
  safe_file file;
  if (!file.open(s.adjust_elev.c_str(), "w")) {
    raise_message("Can't open adjusted elevation map for writing: %s\n", s.adjust_elev.c_str());
    return false;
  }
  write_nsew_grid(file.stream, run_map_grid(state), state.grid.elevation.data());
  file.close();
  return true;
}

// Where the table stood at the ground when the run ended, once it has
// reached the ground anywhere during the run.
bool write_saturated_sources(model_state& state) {
  if (!state.subsurface.gw_coupling) return true;
  const std::vector<int>& flags = state.soil.yes_exfil;
  if (flags.size() <= std::size_t(state.grid.cells)) return true;
  const char* name = "satsource_file";
  safe_file file;
  if (!file.open(name, "w")) {
    raise_message("Can't open map for writing out sat. source info: %s\n", name);
    return false;
  }
  write_nsew_flags(file.stream, run_map_grid(state), flags.data());
  file.close();
  return true;
}

// The interface hydrograph file reads back the outlet and location
// hydrographs, which stay open for writing until the run's files are closed:
// they are flushed and read through wrappers of their own.
void write_interface_hydrograph(model_state& state) {
  const project_settings& s = state.input.settings;
  if (!s.tpg_hydro_given) return;
  output_state& out = state.output;
  const bool locations = s.in_hyd_location_given != 0;
  if (out.outlet_hydro.is_open()) std::fflush(out.outlet_hydro.stream);
  if (locations && out.hyd_location.is_open()) std::fflush(out.hyd_location.stream);
  bool opened = out.outlet_hydro.is_open() &&
                out.tpg_outlet_reader.open(out.outlet_hydro.path, "r");
  if (opened && locations) {
    opened = out.hyd_location.is_open() &&
             out.tpg_location_reader.open(out.hyd_location.path, "r");
  }
  if (opened) opened = out.tpg_hydro.open(s.tpg_hydro.c_str(), "w");
  if (opened) {
    const run_control& run = state.run;
    write_hydrograph_file(out.tpg_outlet_reader.stream, out.tpg_hydro.stream,
                          locations ? out.tpg_location_reader.stream : nullptr,
                          run.start_yyyymmdd, run.start_hhmm, run.hyd_interval, out.outlet_rows);
  } else {
    print_message(summary_file,
                  "\n\nError: Unable to open files to write the TPG hydrograph file.\n Write "
                  "aborted.\n");
  }
  out.tpg_hydro.close();
  out.tpg_outlet_reader.close();
  out.tpg_location_reader.close();
}

// A hot-start grid a later run reads back; a file that does not open costs
// only this grid (the message names the overland file for both).
void write_hotstart_grid(model_state& state, const std::string& name, const double* values) {
  safe_file file;
  if (!file.open(name.c_str(), "w")) {
    note_open_failure("Can't open overland hotstart file for writing: ", name);
    return;
  }
  write_nsew_grid(file.stream, run_map_grid(state), values);
  file.close();
}

void write_overland_hotstart(model_state& state) {
  state.input.files.ov_hotstart.close();
  const project_settings& s = state.input.settings;
  if (!s.write_ov_hotstart_given) return;
  write_hotstart_grid(state, s.write_ov_hotstart, state.surface.depth.data());
}

// The soil moisture the READ_SM_HOTSTART card of a later run reads back.
// A run whose infiltration keeps no moisture has nothing to write.
void write_soil_moisture_hotstart(model_state& state) {
  state.input.files.sm_hotstart.close();
  const project_settings& s = state.input.settings;
  const std::vector<double>& moisture = state.soil.surface_moisture;
  if (!s.write_sm_hotstart_given) return;
  if (moisture.size() != std::size_t(state.grid.cells) + 1) {
    char line[path_capacity + 96];
    std::snprintf(line, sizeof line,
                  "Warning: the run keeps no soil moisture; the soil moisture hot start %s is "
                  "not written.\n",
                  s.write_sm_hotstart.c_str());
    print_message(summary_file, line);
    return;
  }
  write_hotstart_grid(state, s.write_sm_hotstart, moisture.data());
}

// Each sediment class's concentration (g/m3) at every node of every link,
// one line a class, appended to the run's earlier listings.
void write_sediment_listing(model_state& state) {
  const project_settings& s = state.input.settings;
  const chan_sediment_state& cs = state.quality.chan_sediment;
  if (!s.fyssi_given || !state.quality.sediment.on || !cs.on) return;
  safe_file file;
  if (!file.open(s.fyssi.c_str(), "a")) {
    note_open_failure("Can't open the sediment listing for appending: ", s.fyssi);
    return;
  }
  const channel_state& chan = state.channel;
  for (int c = 1; c <= cs.classes; ++c) {
    for (int i = 1; i <= chan.links; ++i)
      for (int j = 1; j <= chan.nx[i]; ++j)
        std::fprintf(file.stream, "%6.2lf ", cs.chan_sed_conc[cs.cls(chan.node_address(i, j), c)]);
    std::fputc('\n', file.stream);
  }
  std::fputs("\n----------------------------------------------------------\n", file.stream);
  file.close();
}

}  // namespace

void write_end_of_run_files(model_state& state) {
  write_flood_grid(state);
  write_flood_stream(state);
  end_map_datasets(state);
  write_channel_hotstart(state);
  if (!write_gw_hotstart(state) || !write_adjusted_elevation(state) ||
      !write_saturated_sources(state))
    return;
  write_interface_hydrograph(state);
  write_overland_hotstart(state);
  write_soil_moisture_hotstart(state);
  write_sediment_listing(state);
  end_nsm_datasets(state);
  end_snow_temp_dataset(state);
  end_swe_dataset(state);
}
