#include "calibration/calibration_steps.h"

#include "calibration/framework_exchange.h"
#include "core/error_state.h"
#include "core/model_state.h"
#include "core/not_available.h"

void event_end_exchange_step(model_state& state) {
  run_control& run = state.run;
  if (!run.exchange_pending) return;
  framework_event_end(state);
  if (error_state.stop_flag) return;
  // Erodible channels rebuild their cross-sections at every event end.
  if (state.input.chan_sed_routing) {
    raise_not_available("xsec_update");
    return;
  }
  run.exchange_pending = 0;
  run.event_end = 1;
}
