// The channel subsystem's routines as far as this version has them: each one
// keeps its guard, so that a run without channels or lakes passes it, and
// stops the run as not available when its process is switched on.

#include "channel/channel_steps.h"

#include "core/model_state.h"
#include "core/not_available.h"

void read_chan_point_sources(model_state& state) {
  if (!state.input.settings.chan_point_input_given) return;
  raise_not_available("read_chan_point_sources");
}

void olake_extent_step(model_state& state) {
  if (!state.surface.overland_lakes && !state.input.settings.overland_lake_map_given) return;
  raise_not_available("olake_extent_step");
}

void channel_step(model_state& state) {
  if (!state.input.channel_routing) return;
  if (!state.run.channel.due(state.run.current_time)) return;
  raise_not_available("channel_step");
}

void read_chan_point_input(model_state& state) {
  if (!state.input.settings.chan_point_input_given) return;
  raise_not_available("read_chan_point_input");
}
