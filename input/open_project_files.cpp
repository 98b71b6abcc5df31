// Set-up phase after the option checks: open every file the cards name, in
// one fixed order, so that a missing input is reported before any map is read.
// The outputs are made under their temporary names (core/output_set.h), so a
// run that stops later in its set-up leaves the previous run's files whole.

#include "input/open_project_files.h"
#include "output/nsm_outputs.h"

#include <cstdio>
#include <string>

#include "core/error_state.h"
#include "run/model_state.h"
#include "core/not_available.h"
#include "input/process_map_tables.h"
#include "soil/read_hmet.h"

namespace {

// Grid mapping table kinds whose presence lets a map of the same values be
// missing.
constexpr int roughness_table = 1;
constexpr int interception_table = 2;
constexpr int retention_table = 3;
constexpr int green_ampt_table = 4;
constexpr int initial_moisture_table = 5;
constexpr int havercamp_table = 6;
constexpr int brooks_table = 7;
constexpr int evapotranspiration_table = 8;

// Opens name; on failure stores code 4 with the role and the name and gives
// false. The caller decides whether the opening goes on.
bool open_or_record(safe_file& file, const std::string& name, const char* mode, const char* role) {
  if (file.open(name.c_str(), mode)) return true;
  set_error(err_open_file, 0, 0, role, name.c_str());
  return false;
}

// A file every run needs: without its card the message names the card, for
// there is no path to name.
bool open_required(model_state& state, safe_file& file, const std::string& name,
                   const char* mode, const char* role, const char* card) {
  if (name.empty()) {
    raise_message("Error: the project file %s has no %s card, which names the %s file.\n",
                  state.project_file.c_str(), card, role);
    return false;
  }
  return open_or_record(file, name, mode, role);
}

// A map whose values may come from the mapping table instead: when that
// table is present a map that does not open is no error, for the map flag
// may be on only because of the table.
bool open_map(safe_file& file, const std::string& name, const char* role, bool table_present) {
  if (file.open(name.c_str(), "r")) return true;
  if (table_present) return true;
  set_error(err_open_file, 0, 0, role, name.c_str());
  return false;
}

// A written file whose failure has a message of its own (codes 48 to 51).
bool open_output(safe_file& file, const std::string& name, int code, const char* text1,
                 const char* text2) {
  if (file.open(name.c_str(), "w")) return true;
  set_error(code, 0, 0, text1, text2);
  return false;
}

bool open_groundwater_files(model_state& state) {
  const input_state& in = state.input;
  const project_settings& s = in.settings;
  input_files& f = state.input.files;
  if (!in.gw_simulation) return true;
  // Without the card the boundary types come from the mapping table, or
  // their reader stops the run naming the groundwater boundary.
  if (s.gw_boundfile_given &&
      !open_or_record(f.gw_boundary, s.gw_boundfile, "r", "groundwater boundary"))
    return false;
  if (s.gw_well_level_given) {
    if (!open_or_record(f.well_location, s.out_well_location, "r", "well location")) return false;
    if (!open_or_record(state.output.well_level, s.gw_well_level, "w", "well level output"))
      return false;
  }
  if (s.gw_hycond_map_given &&
      !open_or_record(f.gw_hycond, s.gw_hycond_map, "r", "groundwater hycond"))
    return false;
  if (s.gw_porosity_map_given &&
      !open_or_record(f.gw_porosity, s.gw_porosity_map, "r", "groundwater porosity"))
    return false;
  if (!in.inf_richards) {
    if (in.water_table && !open_or_record(f.water_table, s.water_table, "r", "water table"))
      return false;
    if (!open_or_record(f.aquifer_bottom, s.aquifer_bottom, "r", "aquifer bottom")) return false;
  }
  return true;
}

void write_evap_header(model_state& state) {
  std::FILE* out = state.output.evap_out.stream;
  std::fputs(
      "yr/mo/day  hour     avg_theta    avg_pot      avgetrate    avgfav      avgbottomfav  "
      "CFGI         temp(C)  ",
      out);
  if (state.input.inf_redist || state.input.inf_layered_soil)
    std::fputs(" avg_theta_L1  avg_theta_L2", out);
  std::fputs("\n", out);
}

// Redistribution, layered soil and Richards: soil types, soil layers, the
// water table and aquifer bottom they need, and the evaporation output.
bool open_soil_column_files(model_state& state) {
  const input_state& in = state.input;
  const project_settings& s = in.settings;
  input_files& f = state.input.files;
  if (!in.inf_redist && !in.inf_layered_soil && !in.inf_richards) return true;

  std::string soil_type_map = s.soil_type_map;
  // Layered soil finds the index map of its MULTI_LAYER_SOIL table when it
  // reads it; redistribution needs no soil types. Richards takes the index
  // map of its family's table.
  if (soil_type_map.empty() && s.mapping_table_given && in.inf_richards) {
    const int type =
        s.richards_c_option == soil_family_havercamp ? richards_havercamp : richards_brooks;
    find_richards_index_map(s.mapping_table.c_str(), type, soil_type_map);
  }
  // Only Richards without its tables in the mapping table file needs these two.
  const bool required = in.inf_richards && !in.map_table_present[havercamp_table] &&
                        !in.map_table_present[brooks_table];
  if (!open_map(f.soil_type, soil_type_map, "soil type", !required)) return false;
  if (!open_map(f.soil_layers, s.soil_layer_input_file, "multi-layer soil table", !required))
    return false;

  if (in.water_table && !f.water_table.is_open() &&
      !open_or_record(f.water_table, s.water_table, "r", "water table"))
    return false;
  if (in.gw_simulation && !f.aquifer_bottom.is_open() &&
      !open_or_record(f.aquifer_bottom, s.aquifer_bottom, "r", "aquifer bottom"))
    return false;
  if (!open_or_record(state.output.evap_out, "evap_out", "w", "evaporation output")) return false;
  write_evap_header(state);
  return true;
}

// Green and Ampt, with or without redistribution: the soil parameter maps.
bool open_green_ampt_maps(model_state& state) {
  const input_state& in = state.input;
  const project_settings& s = in.settings;
  input_files& f = state.input.files;
  if (!in.green_ampt && !in.inf_redist) return true;
  const bool moisture_table = in.map_table_present[initial_moisture_table] != 0;
  const bool ga_table = in.map_table_present[green_ampt_table] != 0;
  if (in.moisture && !open_map(f.moisture, s.moisture, "soil moisture", moisture_table))
    return false;
  if (in.soil_params[0] && !open_map(f.conductivity, s.conductivity, "Ks", ga_table)) return false;
  if (in.soil_params[1] && !open_map(f.capillary, s.capillary, "Hc", ga_table)) return false;
  if (in.soil_params[2] && !open_map(f.porosity, s.porosity, "soil porosity", ga_table))
    return false;
  if (!in.inf_redist) return true;
  if (in.soil_params[3] && !open_map(f.pore_index, s.pore_index, "pore dist. index", ga_table))
    return false;
  if (in.soil_params[4] &&
      !open_map(f.residual_sat, s.residual_sat, "residual saturation", ga_table))
    return false;
  return true;
}

// The file of the layout the reader will read, so that the file opened and
// the layout it is read in come from the same card.
const std::string* hydromet_file(const project_settings& s) {
  switch (hmet_format_of(s)) {
    case hmet_format::zep: return &s.hmet_zep;
    case hmet_format::gridded: return &s.hmet_ascii;
    case hmet_format::surfaways: return &s.hmet_surfaways;
    case hmet_format::samson: return &s.hmet_samson;
    case hmet_format::none: break;
  }
  return nullptr;
}

bool open_long_term_files(model_state& state) {
  const input_state& in = state.input;
  const project_settings& s = in.settings;
  input_files& f = state.input.files;
  if (!in.long_term) return true;
  const std::string* hydromet = hydromet_file(s);
  if (!hydromet) {
    // HMET_ASCII_PET names a file but no layout to read its hours in.
    raise_message(
        "Error: a long-term run reads its hourly meteorology in the layout of one of the cards "
        "HMET_ZEP, HMET_SAMSON, HMET_SURFAWAYS or HMET_ASCII%s.\n",
        s.hmet_ascii_pet_given ? "; the card HMET_ASCII_PET names a file but no layout" : "");
    return false;
  }
  if (!open_or_record(f.hydromet, *hydromet, "r", "hydromet data")) return false;
  const bool et_table = in.map_table_present[evapotranspiration_table] != 0;
  if (in.et_params[0] && !open_map(f.albedo, s.albedo, "albedo", et_table)) return false;
  if (!s.et_calc_penman) return true;
  if (in.et_params[1] && !open_map(f.vheight, s.vheight, "veg. height", et_table)) return false;
  if (in.et_params[2] && !open_map(f.tcoeff, s.tcoeff, "trans. coeff", et_table)) return false;
  if (in.et_params[3] && !open_map(f.canopy, s.canopy, "canopy resist.", et_table)) return false;
  if (in.et_params[4] && !open_map(f.wilting_point, s.wilting_point, "wilting point", et_table))
    return false;
  return true;
}

// Rain, the channel network's inputs and the surface maps.
bool open_surface_files(model_state& state) {
  const input_state& in = state.input;
  const project_settings& s = in.settings;
  input_files& f = state.input.files;
  if (in.precip_from_file && !open_or_record(f.precip, in.precip_file, "r", "raingage data"))
    return false;
  if (in.explicit_channel &&
      !open_or_record(f.stream_cell, in.stream_cell, "r", "grid-stream connectivity"))
    return false;
  if (in.interception) {
    const bool table = in.map_table_present[interception_table] != 0;
    if (!open_map(f.storage_capacity, s.storage_capacity, "interception storage", table))
      return false;
    if (!open_map(f.interception_coeff, s.interception_coeff, "interception coeff.", table))
      return false;
  }
  if (s.overland_lake_map_given) {
    if (!open_or_record(f.overland_lake_map, s.overland_lake_map, "r", "overland lake map"))
      return false;
    if (!open_or_record(f.overland_lake_file, s.overland_lake_file, "r", "overland lake data"))
      return false;
  }
  if (s.reten_depth_given && !open_map(f.retention, s.reten_depth, "retention depth",
                                       in.map_table_present[retention_table]))
    return false;
  if (in.roughness_map && !open_map(f.roughness, s.roughness, "Manning roughness",
                                    in.map_table_present[roughness_table]))
    return false;
  if (in.explicit_channel &&
      !open_or_record(f.channel_input, s.channel_input, "r", "channel input"))
    return false;
  return true;
}

// Hot starts. The overland and soil-moisture ones record their failure and
// let the opening go on, so that every other missing file is still found.
bool open_hotstart_files(model_state& state) {
  const input_state& in = state.input;
  const project_settings& s = in.settings;
  input_files& f = state.input.files;
  output_state& out = state.output;
  if (in.write_chan_hotstart) {
    if (!open_or_record(out.chan_hotstart_depth, in.chan_hotstart_dht, "w", "channel depth"))
      return false;
    if (!open_or_record(out.chan_hotstart_flow, in.chan_hotstart_qht, "w", "channel discharge"))
      return false;
  }
  if (s.ov_init_depth_given)
    open_or_record(f.ov_hotstart, s.ov_init_depth, "r", "overland hotstart");
  if (s.init_swe_depth_kind == 1 &&
      !open_or_record(f.swe_hotstart, s.init_swe_depth_name, "r", "SWE input hotstart"))
    return false;
  if (s.read_sm_hotstart_given)
    open_or_record(f.sm_hotstart, s.read_sm_hotstart, "r", "soil moisture hotstart");
  // The record form of the channel hot start is opened by its reader, which
  // names the file itself when it is missing.
  if (in.read_chan_hotstart && !in.hotstart_is_depth) {
    if (!open_or_record(f.chan_hotstart_depth, in.chan_hotstart_read, "r", "channel depth"))
      return false;
    if (!open_or_record(f.chan_hotstart_flow, in.chan_hotstart_read, "r", "channel discharge"))
      return false;
  }
  return true;
}

// Location lists and the outputs written at their locations.
bool open_location_files(model_state& state) {
  const project_settings& s = state.input.settings;
  input_files& f = state.input.files;
  output_state& out = state.output;
  if (s.in_hyd_location_given) {
    if (!open_or_record(f.hyd_location, s.in_hyd_location, "r", "hydrograph location"))
      return false;
    if (!open_output(out.hyd_location, s.out_hyd_location, err_open_hyd_location,
                     "out hydrograph file", s.out_hyd_location.c_str()))
      return false;
  }
  if (s.in_gwflux_location_given) {
    if (!open_or_record(f.gwflux_location, s.in_gwflux_location, "r", "groundwater flux location"))
      return false;
    if (!open_output(out.gwflux_location, s.out_gwflux_location, err_open_hyd_location,
                     "out groundwater flux file", s.out_gwflux_location.c_str()))
      return false;
  }
  if (s.in_celldepdis_location_given) {
    if (!open_or_record(f.celldepdis_location, s.in_celldepdis_location, "r",
                        "dep dis cell location"))
      return false;
    if (!open_output(out.celldepdis_location, s.out_celldepdis_location, err_open_hyd_location,
                     "out cell dep dis file", s.out_celldepdis_location.c_str()))
      return false;
  }
  if (s.sig_outlet_hydro_given &&
      !open_or_record(out.sig_outlet_hydro, s.sig_outlet_hydro, "w", "optional 6 digit hydrograph"))
    return false;
  if (s.superlink_junc_location_given &&
      !open_or_record(f.superlink_junc_location, s.superlink_junc_location, "r",
                      "superjunction location"))
    return false;
  if (s.superlink_junc_flow_given &&
      !open_output(out.superlink_junc_flow, s.superlink_junc_flow, err_open_hyd_location,
                   s.superlink_junc_flow.c_str(), s.superlink_junc_location.c_str()))
    return false;
  if (s.superlink_node_location_given &&
      !open_or_record(f.superlink_node_location, s.superlink_node_location, "r",
                      "superlink node location"))
    return false;
  if (s.superlink_node_flow_given &&
      !open_output(out.superlink_node_flow, s.superlink_node_flow, err_open_hyd_location,
                   s.superlink_node_flow.c_str(), s.superlink_node_location.c_str()))
    return false;
  if (s.lake_output_given && !open_or_record(out.lake_output, s.lake_output, "w", "lake output"))
    return false;
  if (s.out_dep_location_given &&
      !open_output(out.dep_location, s.out_dep_location, err_open_dep_location,
                   s.out_dep_location.c_str(), s.in_hyd_location.c_str()))
    return false;
  if (s.out_con_location_given &&
      !open_output(out.con_location, s.out_con_location, err_open_con_location,
                   s.out_con_location.c_str(), s.in_hyd_location.c_str()))
    return false;
  if (s.out_mass_location_given &&
      !open_output(out.mass_location, s.out_mass_location, err_open_con_location,
                   s.out_mass_location.c_str(), s.in_hyd_location.c_str()))
    return false;
  if (s.in_theta_location_given) {
    if (!open_or_record(f.theta_location, s.in_theta_location, "r", "in_theta location"))
      return false;
    std::string described = s.out_theta_location + " (out_theta_location_file)";
    if (!open_output(out.theta_location, s.out_theta_location, err_open_theta_location,
                     s.in_theta_location.c_str(), described.c_str()))
      return false;
  }
  return true;
}

// Channel, flood, sediment, nutrient and pipe-network outputs, and the
// contaminant map.
bool open_network_outputs(model_state& state) {
  const input_state& in = state.input;
  const project_settings& s = in.settings;
  output_state& out = state.output;
  if (s.chan_depth_given &&
      !open_or_record(out.chan_depth, s.chan_depth, "w", "output channel depth"))
    return false;
  if (in.chan_discharge_output &&
      !open_or_record(out.chan_discharge, s.chan_discharge, "w", "output channel discharge"))
    return false;
  if (s.chan_stage_given &&
      !open_or_record(out.chan_stage, s.chan_stage, "w", "output channel stage"))
    return false;
  if (s.chan_velocity_given &&
      !open_or_record(out.chan_velocity, s.chan_velocity, "w", "output channel velocity"))
    return false;
  if (in.flood_stream &&
      !open_or_record(out.flood_stream, in.flood_stream_file, "w", "output flood stream stage"))
    return false;
  if (s.chan_sed_flux_given &&
      !open_or_record(out.chan_sed_flux, s.chan_sed_flux, "w", "output stream_sed_flux"))
    return false;
  if (in.nutrients) {
    open_nutrient_outputs(state);
    if (error_state.stop_flag) return false;
  }
  if (s.storm_sewer_given) {
    if (s.pipe_head_given && !open_or_record(out.pipe_head, s.pipe_head, "w", "superlink head"))
      return false;
    if (s.pipe_tile_given && !open_or_record(out.pipe_tile, s.pipe_tile, "w", "superlink tile"))
      return false;
    if (s.pipe_flow_given && !open_or_record(out.pipe_flow, s.pipe_flow, "w", "superlink flow"))
      return false;
  }
  if (s.contam_map_given &&
      !open_or_record(state.input.files.contam_map, s.contam_map, "r", "contam"))
    return false;
  return true;
}

}  // namespace

void open_project_files(model_state& state) {
  const project_settings& s = state.input.settings;
  input_files& f = state.input.files;
  output_state& out = state.output;

  if (!open_required(state, f.watershed_mask, s.watershed_mask, "r", "watershed mask",
                     "WATERSHED_MASK"))
    return;
  if (!open_required(state, f.elevation, s.elevation, "r", "elevation data", "ELEVATION")) return;
  if (!open_required(state, out.summary, s.summary, "w", "output summary", "SUMMARY")) return;
  set_summary_file(&out.summary);
  if (!open_required(state, out.outlet_hydro, s.outlet_hydro, "w", "output hydrograph",
                     "OUTLET_HYDRO"))
    return;

  if (!open_groundwater_files(state)) return;
  if (!open_soil_column_files(state)) return;
  if (!open_green_ampt_maps(state)) return;
  if (!open_long_term_files(state)) return;
  if (!open_surface_files(state)) return;
  if (!open_hotstart_files(state)) return;
  if (!open_location_files(state)) return;
  open_network_outputs(state);
}
