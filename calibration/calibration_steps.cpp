#include "calibration/calibration_steps.h"

#include "core/model_state.h"
#include "core/not_available.h"

void read_vune_exchange_maps(model_state& state) {
  if (!state.input.qtr) return;
  raise_not_available("read_vune_exchange_maps");
}

void read_analyzer_file(model_state&, const char*) { raise_not_available("read_analyzer_file"); }

void event_end_exchange_step(model_state& state) {
  run_control& run = state.run;
  if (!run.exchange_pending) return;
  if (state.input.qtr) {
    raise_not_available("event_end_exchange_step");
    return;
  }
  // Erodible channels rebuild their cross-sections at every event end.
  if (state.input.chan_sed_routing) {
    raise_not_available("xsec_update");
    return;
  }
  run.exchange_pending = 0;
  run.event_end = 1;
}
