#pragma once
// The channels' side of the stream-aquifer exchange while they are routed.

struct channel_state;
struct model_state;

// Whether the channel lakes trade with the aquifer (MLAKE given).
bool lakes_trade_with_aquifer(const channel_state& chan);

// A node loses through its bed no more than it holds over dt seconds: the
// losing entry rates of a node whose qriv would take more are scaled down
// together, and its qriv is rebuilt from its entries.
void cap_node_losses(model_state& state, double dt);

// Sizes the exchange storage of a run whose channels trade with the aquifer;
// false after a message (4000).
bool size_channel_exchange(model_state& state);

// The seepage of every channel node at the start of a channel step of dt
// seconds: added to the nodes' lateral inflow (m2/s) for the step, and left
// per stream cell (m3, out of the aquifer +) for the groundwater step to
// take. Channel lakes that trade with the aquifer take their cells' seepage
// of the step into their volume and counters, and leave it per cell in
// lake_source for the groundwater step. Returns whether any node trades
// water.
bool exchange_with_aquifer(model_state& state, double dt);

// The exchange of channels that are not being routed (before the first
// storm starts the channel clock, or while they sleep between storms), over
// the aquifer's interval of dt seconds: the lakes take their cells' seepage;
// when the nodes only lose, each loses at most its water, the node areas
// and sections follow, and the stream cells keep the volumes for the
// aquifer's next solve. Returns the result code of the exchange (some node
// gains: the caller starts the routing), gw_no_exchange after a stop.
int exchange_with_idle_channels(model_state& state, double dt);

// The stream loss of a run without the groundwater model: every wet node
// loses through its bed by its depth to the ground below, or with a water
// table map trades with the fixed table by the head above its stage. Added
// to the nodes' lateral inflow for a channel step of dt seconds, a node's
// loss cut to the water it holds, and booked in the channels' stream-loss
// totals. Returns whether any node trades water.
bool exchange_with_ground(model_state& state, double dt);

// The stream exchange the channels have already made since the aquifer's
// last step, which the aquifer books and takes from its heads only at its
// next step, m3: out of the aquifer and into it, per stream cell by the sign
// of its net as that step books them.
struct pending_exchange {
  double out = 0.0;   // from the aquifer into the channels
  double into = 0.0;  // from the channels into the aquifer
};
pending_exchange pending_stream_exchange(const model_state& state);

// Keeps the exchange pending at an event's start, so that the event counts
// what the channels traded during it and not what the aquifer books late.
void note_event_start_exchange(model_state& state);
