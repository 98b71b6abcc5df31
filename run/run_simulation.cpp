#include "run/run_simulation.h"

#include <cstdio>

#include "calibration/analyzers.h"
#include "calibration/calibration_steps.h"
#include "calibration/run_results.h"
#include "channel/channel_steps.h"
#include "core/error_state.h"
#include "run/event_control.h"
#include "run/model_state.h"
#include "core/not_available.h"
#include "run/progress.h"
#include "run/sim_clock.h"
#include "input/open_project_files.h"
#include "input/project_reader.h"
#include "input/read_grid_inputs.h"
#include "input/replace_params.h"
#include "input/series.h"
#include "output/output_steps.h"
#include "quality/channel_contam.h"
#include "quality/contam_steps.h"
#include "quality/quality_steps.h"
#include "soil/soil_steps.h"
#include "subsurface/subsurface_steps.h"
#include "surface/surface_steps.h"

namespace {

void read_run_parameters_phase(model_state& state) {
  read_run_parameters(state.project_file.c_str(), state);
}

// Replacement values are shown in the summary at start-up and their use at
// the end of set-up.
void replacement_report_phase(model_state& state) {
  if (replacement.active) print_replace_usage(state.output.summary);
}

void open_contam_outputs(model_state& state) {
  const input_state& in = state.input;
  if (!in.all_contam_output) return;
  if (in.ov_con_trans) setup_contam_map_writers(state);
  if (state.channel.constituents || in.chan_con_trans) open_contam_link_files(state);
}

// Series given in times relative to the start are moved onto the run's
// clock once the clocks have set the start.
void shift_relative_time_series(model_state& state) {
  shift_relative_series(state.input.settings.ts_list, state.run.start_time);
}

constexpr run_phase setup_phases[] = {
    {"read_run_parameters", read_run_parameters_phase},
    {"reassert_trial_optimize", reassert_trial_optimize},
    {"check_project_options", check_project_options},
    {"open_project_files", open_project_files},
    {"write_startup_header", write_startup_header},
    {"setup_time_steps", setup_time_steps},
    {"read_grid_inputs", read_grid_inputs},
    {"open_map_outputs", open_map_outputs},
    {"write_linknode_headers", write_linknode_headers},
    {"open_contam_outputs", open_contam_outputs},
    {"build_cell_connectivity", build_cell_connectivity},
    {"compute_cell_slopes", compute_cell_slopes},
    {"setup_precip_and_hmet", setup_precip_and_hmet},
    {"check_overland_step", check_overland_step},
    {"init_cell_states", init_cell_states},
    {"read_chan_point_sources", read_chan_point_sources},
    {"init_channel_contam_state", init_channel_contam_state},
    {"alloc_run_results", alloc_run_results},
    {"read_vune_exchange_maps", read_vune_exchange_maps},
    {"open_xy_outputs", open_xy_outputs},
    {"sum_initial_surface_volume", sum_initial_surface_volume},
    {"convert_nsm_soil_units", convert_nsm_soil_units},
    {"init_constituent_state", init_constituent_state},
    {"init_process_clocks", init_process_clocks},
    {"shift_relative_time_series", shift_relative_time_series},
    {"read_analyzers_and_notify", read_analyzers_and_notify},
    {"print_replace_usage", replacement_report_phase},
};

constexpr run_phase loop_steps[] = {
    {"advance_clock", advance_clock},
    {"read_precip_step", read_precip_step},
    {"initialize_event", initialize_event},
    {"update_rain_rates", update_rain_rates},
    {"apply_rainfall", apply_rainfall},
    {"check_inf_redist_init", check_inf_redist_init},
    {"longterm_hmet_step", longterm_hmet_step},
    {"update_soil_evap", update_soil_evap},
    {"infiltration_step", infiltration_step},
    {"sacramento_step", sacramento_step},
    {"soil_layer_contam_step", soil_layer_contam_step},
    {"overland_step", overland_step},
    {"drain_exchange_step", drain_exchange_step},
    {"sed_contam_source_step", sed_contam_source_step},
    {"overland_contam_step", overland_contam_step},
    {"cell_contam_mass_step", cell_contam_mass_step},
    {"groundwater_step", groundwater_step},
    {"olake_extent_step", olake_extent_step},
    {"channel_step", channel_step},
    {"read_chan_point_input", read_chan_point_input},
    {"track_peak_outflow", track_peak_outflow},
    {"chan_sed_contam_step", chan_sed_contam_step},
    {"contam_decay_step", contam_decay_step},
    {"channel_contam_step", channel_contam_step},
    {"print_progress", print_progress},
    {"check_end_of_event", check_end_of_event},
    {"event_end_exchange_step", event_end_exchange_step},
    {"finish_event", finish_event},
    {"write_timeseries_step", write_timeseries_step},
    {"write_map_step", write_map_step},
};

}  // namespace

// A calibration trial runs with OPTIMIZE whatever its project file says.
void reassert_trial_optimize(model_state& state) {
  if (state.results) state.input.optimize = 1;
}

void write_startup_header(model_state& state) {
  safe_file& summary = state.output.summary;
  if (summary.is_open()) {
    std::fputs("\n\n", summary.stream);
    std::fputs("_________VALTO start-up information________\n", summary.stream);
    std::fprintf(summary.stream, "Run parameters read from TPG project file: %s\n",
                 state.project_file.c_str());
  }
  // The values go to the screen as well, with or without a summary file.
  if (replacement.active) print_replace_values(summary);
}

void read_analyzers_and_notify(model_state& state) {
  if (state.input.analyzers) read_analyzer_file(state, state.input.analyzer_file.c_str());
  if (error_state.stop_flag) return;
  run_analyzers(state, analyzer_setup);
}

std::span<const run_phase> production_setup_phases() { return setup_phases; }

std::span<const run_phase> production_steps() { return loop_steps; }

run_lists production_lists() {
  run_lists lists;
  lists.setup = setup_phases;
  lists.steps = loop_steps;
  lists.write_summary = write_summary;
  lists.close_files = close_model_files;
  lists.services.write_event_summary = write_event_summary;
  lists.services.channel_event_start = channel_event_start;
  lists.services.channel_event_end = channel_event_end;
  lists.services.soil_event_start = soil_event_start;
  lists.services.richards_event_start = richards_event_start;
  lists.services.soil_event_end = soil_event_end;
  lists.services.constituent_event_start = constituent_event_start;
  lists.services.constituent_event_end = constituent_event_end;
  return lists;
}

int run_simulation(const char* project_file, run_results* results) {
  return run_model(project_file, results, production_lists());
}
