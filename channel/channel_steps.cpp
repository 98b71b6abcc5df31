// The channel subsystem's routines as far as this version has them: each one
// keeps its guard, so that a run without channels or lakes passes it, and
// stops the run as not available when its process is switched on.

#include "channel/channel_steps.h"

#include "core/model_state.h"
#include "core/not_available.h"

void olake_extent_step(model_state& state) {
  if (!state.surface.overland_lakes && !state.input.settings.overland_lake_map_given) return;
  raise_not_available("olake_extent_step");
}
