// The soil subsystem's routines as far as this version has them: each one
// keeps its guard (option flag, then its clock), so that a run without the
// process passes it, and stops the run as not available when it would act.

#include "soil/soil_steps.h"

#include "core/model_state.h"
#include "core/not_available.h"

// With no soil-water method, no groundwater, no overland lake and no
// long-term run there is no cell state to set and the fresh record's totals
// are already zero.
void init_cell_states(model_state& state) {
  const input_state& in = state.input;
  const bool soil = in.green_ampt || in.inf_redist || in.inf_layered_soil || in.inf_richards;
  if (!soil && !in.gw_simulation && !in.long_term && !in.settings.overland_lake_map_given) return;
  raise_not_available("init_cell_states");
}

void check_inf_redist_init(model_state& state) {
  const run_control& run = state.run;
  if (!state.input.ov_con_trans) return;
  if (run.ov_contam_inf.next - run.current_time >= run.tolerance) return;
  raise_not_available("check_inf_redist_init");
}

void longterm_hmet_step(model_state& state) {
  if (!state.input.long_term) return;
  if (!state.run.hmet.due(state.run.current_time)) return;
  raise_not_available("longterm_hmet_step");
}

void update_soil_evap(model_state& state) {
  if (!state.input.inf_redist && !state.input.inf_layered_soil) return;
  if (!state.run.evap.due(state.run.current_time)) return;
  raise_not_available("update_soil_evap");
}

void infiltration_step(model_state& state) {
  const input_state& in = state.input;
  if (!in.green_ampt && !in.inf_redist && !in.inf_layered_soil && !in.inf_richards) return;
  if (!state.run.infiltration.due(state.run.current_time)) return;
  raise_not_available("infiltration_step");
}

void sacramento_step(model_state& state) {
  if (!state.input.sacramento) return;
  if (!state.run.sacramento.due(state.run.current_time)) return;
  raise_not_available("sacramento_step");
}
