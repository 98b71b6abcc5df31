// The pipe network's step as far as this version has it: it keeps its guard,
// so that a run without the network passes it, and stops the run as not
// available when it would act. The groundwater step has its own file.

#include "subsurface/subsurface_steps.h"

#include "core/model_state.h"
#include "core/not_available.h"

void drain_exchange_step(model_state& state) {
  if (!state.input.settings.storm_sewer_given) return;
  if (!state.run.storm_sewer.due(state.run.current_time)) return;
  raise_not_available("drain_exchange_step");
}
