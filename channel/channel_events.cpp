// The channel network's part of an event's start and end: the node
// sections taken from the stages the network holds, the event totals
// cleared, and the water the channels hold at either end for the event
// balance, with the lakes settled to their volumes at the end.

#include <cmath>

#include "channel/chan_lake_extent.h"
#include "channel/channel_steps.h"
#include "channel/ex_section.h"
#include "core/error_state.h"
#include "run/model_state.h"

void channel_event_start(model_state& state) {
  if (!state.input.explicit_channel) return;
  channel_state& chan = state.channel;
  ex_section(chan, section_mode::from_stage);
  if (error_state.stop_flag != 0) return;
  // A stage that is not a number gives no area; routing from it would
  // carry the fault on without naming the node.
  for (int i = 1; i <= chan.links; ++i)
    for (int j = 1; j <= chan.nx[i]; ++j)
      if (std::isnan(chan.area[std::size_t(chan.node_address(i, j))])) {
        raise_message("Negative Area Computed At Startup for [Node][Link]: [%d][%d] ltype: %d\n",
                      j, i, chan.ltype[i]);
        return;
      }
  chan.event_lateral_volume = 0.0;
  chan.event_sac_volume = 0.0;
  chan.event_outlet_volume = 0.0;
  chan.event_point_input_volume = 0.0;
  chan.event_point_source_volume = 0.0;
  chan.event_stream_to_ground = 0.0;
  chan.event_ground_to_stream = 0.0;
  chan.event_start_volume = chan.water_volume();
  chan.event_lake_inflow_volume = 0.0;
  chan.event_lake_outflow_volume = 0.0;
  chan.event_lake_evaporation_volume = 0.0;
  chan.event_start_lake_volume = chan.lake_water_volume();
}

void channel_event_end(model_state& state) {
  if (!state.input.explicit_channel) return;
  channel_state& chan = state.channel;
  chan.event_end_volume = chan.water_volume();
  if (chan.channel_lakes) {
    // The lakes settle to what the last channel step left them, and any
    // cell water they take is booked before the event's books close.
    chan_lake_extent(state);
    if (error_state.stop_flag != 0) return;
    fold_lake_counters(chan);
  }
  chan.event_end_lake_volume = chan.lake_water_volume();
}
