#pragma once
// The channels' side of the stream-aquifer exchange while they are routed.

#include "channel/ex_flow_route.h"

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

// Whether the exchange arrays of the routing are sized: the nodes' qriv,
// the entries' rates and the cells' stream volumes.
bool stream_exchange_ready(const model_state& state);

// At the start of a channel step of dt seconds, from the heads and stages
// as they stand: whether any node trades water through its bed, and
// (chan.aquifer_feeds) whether the ground feeds some node. Channel lakes
// that trade with the aquifer take their cells' seepage of the step into
// their volume and counters, and leave it per cell in lake_source for the
// groundwater step. The streams' own exchange is the routing's, sub-step by
// sub-step (routed_stream_exchange).
bool stream_exchange_due(model_state& state, double dt);

// The routing's stream-aquifer exchange: the rates of every node and entry
// from the stages of each sub-step, and the water each entry's cell gave or
// took in an accepted sub-step, left per stream cell (m3, out of the ground
// +): with the groundwater model in gw_stream_vol, which the aquifer's next
// step takes, and without it in the channels' stream_loss_volume, which
// book_ground_exchange books. A node whose loss the continuity cut passes
// the cut to its entries in proportion.
class routed_stream_exchange final : public substep_exchange {
 public:
  explicit routed_stream_exchange(model_state& state) : state_(state) {}
  int rates() override;
  void book(const double* qriv_old, double substep) override;

 private:
  model_state& state_;
};

// Without the groundwater model, after the routing: each stream cell's
// volume of the step goes into the channels' totals from and to the ground
// by the sign of the cell's net, and is emptied.
void book_ground_exchange(model_state& state);

// The exchange of channels that are not being routed (before the first
// storm starts the channel clock, or while they sleep between storms), over
// the aquifer's interval of dt seconds: the lakes take their cells' seepage;
// when the nodes only lose, each loses at most its water, the node areas
// and sections follow, and the stream cells keep the volumes for the
// aquifer's next solve. Returns the result code of the exchange (some node
// gains: the caller starts the routing), gw_no_exchange after a stop.
int exchange_with_idle_channels(model_state& state, double dt);

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
