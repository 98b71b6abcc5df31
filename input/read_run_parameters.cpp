// Set-up phase 1: read the project file and derive the run's working fields
// from the cards, so that every later phase and step reads one decided value.

#include <cstdio>
#include <string>

#include "core/error_state.h"
#include "core/julian.h"
#include "run/model_state.h"
#include "core/text_io.h"
#include "input/project_file.h"
#include "input/project_reader.h"
#include "input/stream_map_tables.h"

namespace {

// Mapping-table kinds whose presence stands in for a card's map.
constexpr int roughness_table = 1;
constexpr int green_ampt_table = 4;
constexpr int evapotranspiration_table = 8;

// Inflow hydrograph of the reservoir water-quality model: its header now, the
// rows at each time-series output.
void open_q7_inflow(input_state& in) {
  const project_settings& s = in.settings;
  if (!s.q7_input_given && !s.q7_fluxes) return;
  in.q7_input_flag = &in.settings.q7_input_given;
  if (!s.q7_input_given || in.params.map_type == 4) return;
  if (!in.q7_input_file.open(s.q7_input.c_str(), "w")) {
    set_error(59, 0, 0, nullptr, s.q7_input.c_str());
    return;
  }
  std::fprintf(in.q7_input_file.stream, "  output from %s\n", "VALTO");
  std::fprintf(in.q7_input_file.stream, "\n");
  std::fprintf(in.q7_input_file.stream, "    JDAY     QIN\n");
}

void derive_channel(input_state& in) {
  const project_settings& s = in.settings;
  switch (in.params.channel_method) {
    case 3:
      in.explicit_channel = 1;
      break;
    case 2:
      in.implicit_channel = 1;
      in.drain_flag = 1;
      break;
    case 5:
      in.implicit_channel = 1;
      break;
    case 4:
      in.mesh_channel = 1;
      break;
    default:
      break;
  }
  in.channel_routing = in.explicit_channel || in.implicit_channel || in.mesh_channel;
  if (!in.explicit_channel) return;

  in.overbank_flow = s.overbank_flow;
  in.overland_backwater = s.overland_backwater;
  in.head_bound = s.head_bound;
  in.bound_depth = s.bound_depth;
  in.bound_ts = s.bound_ts;
  in.k_river = s.k_river;
  in.m_river = s.m_river;
  in.m_lake = s.m_lake;
  in.hotstart_is_depth = s.hotstart_is_depth;
  if (s.explic_backwater_given || s.write_chan_hotstart_given) {
    in.write_chan_hotstart = 1;
    const std::string& name =
        s.write_chan_hotstart_given ? s.write_chan_hotstart : s.explic_backwater;
    in.chan_hotstart_qht = name + ".qht";
    in.chan_hotstart_dht = name + ".dht";
  }
  if (s.explic_hotstart_given || s.read_chan_hotstart_given) {
    in.read_chan_hotstart = 1;
    in.chan_hotstart_read = s.read_chan_hotstart_given ? s.read_chan_hotstart : s.explic_hotstart;
  }
  in.stream_loss = s.stream_loss;
  in.stream_cell = s.stream_cell;
  in.first_order_chan_q = s.first_order_chan_q;
  in.chan_con_trans = s.chan_con_trans;
  in.chan_decay_coef = s.chan_decay_coef;
  in.chan_disp_coef = s.chan_disp_coef;
  in.init_chan_conc = s.init_chan_conc;
}

void derive_soil(input_state& in) {
  const project_settings& s = in.settings;
  switch (in.params.infiltration_method) {
    case 1:
      in.green_ampt = 1;
      break;
    case 2:
      in.inf_redist = 1;
      in.cont_redist = s.no_cont_inf_redist ? 0 : 1;
      break;
    case 3:
      in.inf_layered_soil = 1;
      break;
    case 4:
      in.inf_richards = 1;
      break;
    default:
      break;
  }
  const int* tables = in.map_table_present.data();
  bool ga_table = (in.green_ampt || in.inf_redist || s.long_term) && tables[green_ampt_table];
  const int given[5] = {s.conductivity_given, s.capillary_given, s.porosity_given,
                        s.pore_index_given, s.residual_sat_given};
  for (int i = 0; i < 5; ++i) in.soil_params[i] = given[i] || ga_table;
  in.moisture = s.moisture_given || s.mapping_table_given;

  const int et_given[5] = {s.albedo_given, s.vheight_given, s.tcoeff_given, s.canopy_given,
                           s.wilting_point_given};
  for (int i = 0; i < 5; ++i) in.et_params[i] = et_given[i] || tables[evapotranspiration_table];

  in.soil_moist_depth = s.soil_moist_depth * 100.0;
  in.top_layer_depth = s.top_layer_depth * 100.0;
  in.mixing_layer_depth = s.mixing_layer_depth * 100.0;
  in.uniform_soil_water = 0.15;

  in.water_table = s.water_table_given;
  if (in.water_table && s.gw_simulation) {
    in.gw_simulation = 1;
    in.stream_loss = 1;
  }
  if (s.sacramento_given) {
    in.sacramento = 1;
    in.sacramento_file = s.sacramento;
    in.topo_index = s.topo_index;
  }
}

// Uniform rain starts at START_DATE and START_TIME, which become the clock's
// origin; a file of gauge events sets its own start.
void derive_precipitation(model_state& state) {
  input_state& in = state.input;
  const run_parameters& p = in.params;
  if (in.precip.precip_source == 0) {
    in.uniform_rain = 1;
    in.rain_intensity = in.precip.rain_intensity;
    in.rain_duration = in.precip.rain_duration;
    in.start_year = p.start_date_year;
    in.start_month = p.start_date_month;
    in.start_day = p.start_date_day;
    in.start_hour = p.start_time_hour;
    in.start_minute = p.start_time_minute;
    in.start_hhmm = in.start_hour * 100 + in.start_minute;
    in.start_yyyymmdd = in.start_year * 10000 + in.start_month * 100 + in.start_day;
    in.start_time =
        julian_date(in.start_year, in.start_month, in.start_day, in.start_hour, in.start_minute, 0.0);
    state.run.origin = in.start_time;
    state.run.start_time = in.start_time;
    state.run.start_yyyymmdd = in.start_yyyymmdd;
    state.run.start_hhmm = in.start_hhmm;
  } else {
    in.precip_from_file = 1;
    in.precip_file = in.precip.precip_file;
  }
  if (in.precip.rain_interpolation == 0) in.inverse_distance = 1;
  else in.nearest_gauge = 1;
}

void derive_framework(input_state& in) {
  const project_settings& s = in.settings;
  in.qtr = s.qtr;
  in.vune = s.vune_given;
  in.vune_first = s.vune_first;
  in.qtr_event = s.qtr_event_num_given;
  in.qtr_event_num = s.qtr_event_num;
  in.exchange_file = "exchange/" + s.vune;
  const std::string* names[13] = {&s.moist_to_vune,     &s.ksat_to_vune,        &s.rough_to_vune,
                                  &s.poros_to_vune,     &s.erosivity_to_vune,   &s.crop_fact_to_vune,
                                  &s.net_erosion_to_vune, &s.moist_from_vune,   &s.ksat_from_vune,
                                  &s.rough_from_vune,   &s.erosivity_from_vune, &s.crop_fact_from_vune,
                                  &s.et_demand_from_vune};
  for (int i = 0; i < 13; ++i) in.vune_files[i] = "exchange/" + *names[i];
}

void derive_outputs(input_state& in) {
  const project_settings& s = in.settings;
  switch (in.params.map_type) {
    case 0:
      in.map_kind[0] = 1;
      break;
    case 1:
      in.map_kind[1] = 1;
      break;
    case 2:
      in.map_kind[1] = 1;
      in.map_kind[2] = 1;
      break;
    default:
      break;
  }
  in.daily_output = s.daily_output_given;
  in.daily_output_file = s.daily_output;
  in.chan_discharge_output = s.chan_discharge_given;
}

}  // namespace

// The copies that decide something; settings that only travel to the
// subsystem using them are read there from the settings records.
void derive_run_fields(model_state& state) {
  input_state& in = state.input;
  const project_settings& s = in.settings;

  if (in.params.end_time_year != 0) {
    in.stop_time_flag = 1;
    in.stop_time = julian_date(in.params.end_time_year, in.params.end_time_month,
                               in.params.end_time_day, in.params.end_time_hour,
                               in.params.end_time_minute, 0.0);
  }
  in.nutrients = s.nutrients;
  in.nutrient_record = in.settings.nutrient_record.get();
  in.flood_grid = s.flood_grid_given;
  in.flood_grid_file = s.flood_grid;
  in.flood_stream = s.flood_stream_given;
  in.flood_stream_file = s.flood_stream;
  if (s.flush_buffer) {
    in.flush_buffer = 1;
    in.flush_lines = s.flush_buffer_lines;
  }

  in.roughness_map = s.manning_n_given
                         ? s.roughness_given
                         : (s.roughness_given || in.map_table_present[roughness_table]);
  in.retention_depth = s.retention_given ? s.retention : 0.0;
  in.interception = s.interception || (s.storage_capacity_given && s.interception_coeff_given);
  in.event_min_q = s.event_min_q < 0.00001 ? 0.05 : s.event_min_q;

  in.optimize = s.optimize_given;
  in.optimize_file = s.optimize;
  in.optimize_sed = s.optimize_sed;
  in.super_quiet = s.super_quiet;
  in.quiet = in.params.quiet;
  in.long_term = s.long_term;
  in.stream_info = s.stream_info;
  in.analyzers = s.analyzers_given;
  in.analyzer_file = s.analyzers;

  in.ov_con_trans = s.ov_con_trans;
  in.soil_con_trans = s.soil_con_trans;
  in.all_contam_output = s.all_contam_output;
  in.soil_erosion = s.soil_erosion;

  derive_channel(in);
  derive_soil(in);
  derive_precipitation(state);
  derive_framework(in);
  derive_outputs(in);
}

void read_run_parameters(const char* project_file, model_state& state) {
  input_state& in = state.input;
  if (state.results == nullptr)
    std::printf("reading run parameters from project file: %s\n", project_file ? project_file : "");
  read_project_file(project_file, in.settings, in.params, in.precip);

  if (in.params.project_file_missing) {
    set_error(3);
    return;
  }
  // The reader's own codes (79, 103, 104, an over-long line, a bad magic
  // line) stand; nothing further is derived or opened.
  if (error_state.code != 0 || error_state.stop_flag != 0) return;

  // The pause flag of the reporter stays set for the later runs of the process.
  if (in.settings.pause) pause_flag = 1;

  open_q7_inflow(in);
  if (error_state.stop_flag != 0) return;

  if (in.params.map_type == 4) {
    set_error(5);
    return;
  }

  // The tables a mapping table file holds stand in for map cards, so they are
  // known before anything is derived from the cards.
  if (in.settings.mapping_table_given) {
    check_map_tables(in.settings.mapping_table.c_str(), in.map_table_present, false);
    if (error_state.stop_flag != 0) return;
  }
  if (in.settings.st_mapping_table_given) {
    check_stream_mapping_tables(in.settings.st_mapping_table.c_str(), in.st_map_table_present);
    if (error_state.stop_flag != 0) return;
  }

  derive_run_fields(state);

  if (!in.settings.super_quiet) std::printf("\nfinished reading project file\n");
}
