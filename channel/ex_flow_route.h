#pragma once
// Explicit diffusive-wave routing of the channel network over one channel
// step: Courant-limited sub-steps, each a predictor-corrector of node flows
// (chan_link_flows) and node continuity (chan_continuity), retried at half
// length when a node would go dry below zero.
//
// Links are visited in parallel; each iteration writes only its own link's
// node slots, and every sum that reaches a total is formed in link and node
// order or in sub-step order, so the routed state does not depend on the
// thread count. Lake links, structure links and the stream-aquifer exchange
// are not routed here; the channel step stops a run that has them.

#include <vector>

struct channel_state;

// What one routing call reads besides the network.
struct route_settings {
  double courant_limit = 0.2;  // MAX_COURANT_NUMBER
  int head_bound = 0;          // HEAD_BOUND: the outlet depth is a boundary value
  int point_input = 0;         // CHAN_POINT_INPUT: chan.point_input_values holds the inflows
  double first_order_q = 0.0;  // FIRST_ORDER_CHAN_Q into node 1 of every head link, m3/s
  double time = 0.0;           // Julian days, at which the point-source series are read
  int location_volumes = 0;  // calibration: add to chan.hyd_loc_volume at the hydrograph locations
  // POINTSOURCE values per node address at the call's time (m3/s), or null
  // when no node has a series; ex_flow_route points it at chan.rt_source_q.
  const double* source_q = nullptr;
};

// Routes the network over dt seconds. Returns 0, or -1 after a failure (its
// message printed and 4000 raised), and at once -1 when a failure is already
// pending. Leaves the outlet volume and the point-source and first-order
// inflow volume of the call in chan (step_outlet_volume,
// step_point_source_volume), counts the sub-steps and, for calibration,
// adds to the hydrograph locations' volumes; the work arrays are sized on
// the first call and kept.
int ex_flow_route(channel_state& chan, const route_settings& set, double dt);

// Flow out of every node of every routed link (m3/s, positive downstream)
// into flow, from the stages and conveyances of the network: between the
// nodes of a link, from the last node of a link into the first node of its
// downstream link, and out of the outlet. Returns 0, or -1 after the
// negative outlet slope stop.
int chan_link_flows(const channel_state& chan, const route_settings& set,
                    std::vector<double>& flow);

// Moves the area of every node of every routed link on by dt seconds of the
// given flows, lateral inflow, point inputs and point sources, in place.
void chan_continuity(const channel_state& chan, const route_settings& set,
                     const std::vector<double>& flow, std::vector<double>& area, double dt);

// ---- The two routines link by link, for the router's own parallel loops ----
// Each writes only the given link's node slots.

// The link whose first node receives the flow out of link's last node, or 0
// when link's last node is not set by the link rule (the outlet link, or a
// downstream link that is not a channel-shaped link open to flow).
int flow_downstream(const channel_state& chan, int link);

// The flows out of the nodes of routed link (but the outlet rule) into flow,
// from chan's depths and conveyances; down_depth (m) and down_conv are those
// of the first node of flow_downstream(link), when it is not 0.
void link_flows(const channel_state& chan, int link, double* flow, double down_depth,
                double down_conv);

// True when the outlet's bed rises towards the outlet node without a head
// boundary: the negative outlet slope stop.
bool outlet_rises(const channel_state& chan, const route_settings& set);

// The outlet rule into flow, once the outlet link's other nodes have their
// flows; nothing when outlet_rises.
void outlet_flow(const channel_state& chan, const route_settings& set, double* flow);

// Prints the negative outlet slope message and raises 4000.
void report_outlet_rise();

// chan_continuity for one link.
void link_continuity(const channel_state& chan, const route_settings& set, int link,
                     const double* flow, double* area, double dt);
