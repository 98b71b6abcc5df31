// The surface subsystem's routines as far as this version has them: each one
// keeps its guard, so that a pass in which it has nothing to do goes by, and
// stops the run as not available when it would have work to do.

#include "surface/surface_steps.h"

#include <cmath>

#include "core/model_state.h"
#include "core/not_available.h"
#include "core/sim_clock.h"

void build_cell_connectivity(model_state&) { raise_not_available("build_cell_connectivity"); }

void compute_cell_slopes(model_state&) { raise_not_available("compute_cell_slopes"); }

void setup_precip_and_hmet(model_state&) { raise_not_available("setup_precip_and_hmet"); }

void sum_initial_surface_volume(model_state&) {
  raise_not_available("sum_initial_surface_volume");
}

void read_precip_step(model_state& state) {
  const run_control& run = state.run;
  if (run.event_data_flag != 0) return;
  const bool event_mode = state.input.qtr && state.input.qtr_event;
  const bool at_next_start =
      run.event_index < run.num_events &&
      std::fabs(run.current_time - event_start(run, run.event_index + 1)) < run.tolerance;
  if (at_next_start || event_mode) raise_not_available("read_precip_step");
}

void update_rain_rates(model_state& state) {
  // An event's rain is in progress while its data flag is 1 (or 2 after the
  // last event of the file).
  const int flag = state.run.event_data_flag;
  if (flag == 1 || flag == 2) raise_not_available("update_rain_rates");
}

void apply_rainfall(model_state& state) {
  const run_control& run = state.run;
  if (!run.overland.due(run.current_time) || run.event_data_flag != 1) return;
  raise_not_available("apply_rainfall");
}

void overland_step(model_state& state) {
  run_control& run = state.run;
  if (!run.overland.due(run.current_time)) return;
  // Without cells nothing is wet: no routing, no outflow, and the clock goes
  // on. Cells to scan and route, or the long-term jump, are not built yet.
  if (state.grid.cells > 0 || state.input.long_term) {
    raise_not_available("overland_step");
    return;
  }
  run.q_out = 0.0;
  run.overland.last = run.current_time;
  run.overland.next = run.current_time + run.overland.interval_d;
}
