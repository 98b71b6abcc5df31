#include "calibration/calibration_steps.h"

#include "calibration/framework_exchange.h"
#include "core/error_state.h"
#include "run/model_state.h"
#include "core/not_available.h"
#include "quality/chan_sediment.h"

void event_end_exchange_step(model_state& state) {
  run_control& run = state.run;
  if (!run.exchange_pending) return;
  framework_event_end(state);
  if (error_state.stop_flag) return;
  // Erodible channels take the bed the sand left at every event end.
  if (state.quality.chan_sediment.on) {
    update_erodible_beds(state);
    if (error_state.stop_flag) return;
  }
  run.exchange_pending = 0;
  run.event_end = 1;
}
