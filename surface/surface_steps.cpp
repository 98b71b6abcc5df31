// The surface subsystem's routines as far as this version has them: each one
// keeps its guard, so that a pass in which it has nothing to do goes by, and
// stops the run as not available when it would have work to do.

#include "surface/surface_steps.h"

#include <cmath>

#include "core/model_state.h"
#include "core/not_available.h"
#include "core/sim_clock.h"

void read_precip_step(model_state& state) {
  const run_control& run = state.run;
  if (run.event_data_flag != 0) return;
  const bool event_mode = state.input.qtr && state.input.qtr_event;
  const bool at_next_start =
      run.event_index < run.num_events &&
      std::fabs(run.current_time - event_start(run, run.event_index + 1)) < run.tolerance;
  if (at_next_start || event_mode) raise_not_available("read_precip_step");
}
