// The output subsystem's routines as far as this version has them: each one
// keeps its guard, so that a run that asks for no such output passes it, and
// stops the run as not available when it has something to write.

#include "output/output_steps.h"

#include "core/model_state.h"
#include "core/not_available.h"
#include "core/parallel_context.h"

bool map_outputs_requested(const model_state& state) {
  const project_settings& s = state.input.settings;
  return s.depth_given || s.discharge_given || s.inf_depth_given || s.surf_moist_given ||
         s.rate_of_infil_given || s.dis_rain_given || s.gw_recharge_cum_given ||
         s.gw_recharge_inc_given || s.flood_grid_given;
}

void open_map_outputs(model_state& state) {
  if (!map_outputs_requested(state)) return;
  raise_not_available("open_map_outputs");
}

void setup_contam_map_writers(model_state&) { raise_not_available("setup_contam_map_writers"); }

void open_contam_link_files(model_state&) { raise_not_available("open_contam_link_files"); }

void open_xy_outputs(model_state& state) {
  if (!state.input.settings.xybdyoutput) return;
  raise_not_available("open_xy_outputs");
}

void write_map_step(model_state& state) {
  const run_control& run = state.run;
  if (run.map_interval < 1 || (run.pass - 1) % run.map_interval != 0) return;
  if (parallel.partition_index != 0) return;
  if (!map_outputs_requested(state)) return;
  raise_not_available("write_map_step");
}
