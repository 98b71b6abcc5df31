#pragma once
// Explicit diffusive-wave routing of the channel network over one channel
// step: Courant-limited sub-steps, each a predictor-corrector of node flows
// (chan_link_flows) and node continuity (chan_continuity), retried at half
// length when a node would go dry below zero.
//
// Links are visited in parallel; each iteration writes only its own link's
// node slots, and every sum that reaches a total is formed in link and node
// order or in sub-step order, so the routed state does not depend on the
// thread count. Structure links and channel lakes are worked on one thread:
// the structure flows before the links that copy them, the lakes' take and
// release of nodes on entry and their volume accounting after each accepted
// sub-step. The stream-aquifer exchange is worked out afresh at every
// sub-step, by whoever owns the aquifer, through a substep_exchange.

#include <vector>

struct channel_state;

// The stream-aquifer exchange of a routing call. The stages move within a
// channel step far more than the heads do, and a node drained by its bed
// and its flow at once must not be cut from the stage it had at the step's
// start, so the seepage follows each sub-step.
class substep_exchange {
 public:
  // Fills the network's qriv (m2/s per metre of channel, into the stream +)
  // from the stages as they stand; a result code of gw_stream_exchange, or
  // -1 after a stop (raised).
  virtual int rates() = 0;
  // The exchange of an accepted sub-step of substep seconds, as the
  // continuity left the network's qriv out of the rates that qriv_old (per
  // node address) holds, goes to the cells beneath.
  virtual void book(const double* qriv_old, double substep) = 0;

 protected:
  ~substep_exchange() = default;
};

// What one routing call reads besides the network.
struct route_settings {
  double courant_limit = 0.2;  // MAX_COURANT_NUMBER
  int head_bound = 0;          // HEAD_BOUND: the outlet depth is a boundary value
  int point_input = 0;         // CHAN_POINT_INPUT: chan.point_input_values holds the inflows
  double first_order_q = 0.0;  // FIRST_ORDER_CHAN_Q into node 1 of every head link, m3/s
  double time = 0.0;           // Julian days, at which the point-source series are read
  int location_volumes = 0;  // calibration: add to chan.hyd_loc_volume at the hydrograph locations
  int sediment_volumes = 0;  // channel sediment: add each node's passed water to chan.qp_vol_sed
  int water_volumes = 0;     // channel constituents: add each node's passed water to chan.qp_vol
  // POINTSOURCE values per node address at the call's time (m3/s), or null
  // when no node has a series; ex_flow_route points it at chan.rt_source_q.
  const double* source_q = nullptr;
  // Pipe-network outlets' inflow per node address (m3/s), or null.
  const double* sewer_q = nullptr;
  // The stream-aquifer exchange, or null when the run has none.
  substep_exchange* exchange = nullptr;
  // Stream-aquifer exchange per node address (m2/s, into the stream +), or
  // null: the continuity cuts a node's loss to what it holds, and under the
  // head boundary the outlet passes its exchange on. ex_flow_route points it
  // at chan.qriv when there is an exchange.
  double* qriv = nullptr;
};

// Routes the network over dt seconds. Returns 0 (with an exchange, the
// result code of its last sub-step), or -1 after a failure (its
// message printed and 4000 raised), and at once -1 when a failure is already
// pending. A culvert or series lookup that fails in a structure, or a lake
// release that fails, ends the call with -1 at the routing's next check.
// Leaves the outlet volume and the point-source and first-order inflow
// volume of the call in chan (step_outlet_volume, step_point_source_volume),
// counts the sub-steps and, for calibration, adds to the hydrograph
// locations' volumes; with channel lakes it lets the lakes take and release
// nodes first and books the lakes' volumes after every accepted sub-step.
// The work arrays (and status_node, with channel lakes) are sized on the
// first call and kept.
int ex_flow_route(channel_state& chan, const route_settings& set, double dt);

// Flow out of every node of every routed link and through every structure
// link (m3/s, positive downstream) into flow, from the stages and
// conveyances of the network: between the nodes of a link, from the last
// node of a link into the first node of its downstream link, a lake or a
// structure, and out of the outlet; the structures are volume-limited over
// a sub-step of substep seconds. Returns 0, or -1 after the negative outlet
// slope stop (a structure's failure is raised and left to the caller).
int chan_link_flows(channel_state& chan, const route_settings& set, std::vector<double>& flow,
                    double substep);

// ---- Structure links ----

// True when some link is a structure link.
bool has_structures(const channel_state& chan);

// Sets the inlet-control coefficient of every culvert element of every
// structure link, links from the last to the first. False after a failed
// run (reported, 4000).
bool calibrate_culverts(channel_state& chan);

// The stage (m) of node of link: as stored in chan.yp, or, given areas, the
// stage the from-area sweep of those areas stores there (shaped links'
// nodes 1..nx), computed and not stored.
double node_level(const channel_state& chan, const double* area, int link, int node);

// Calibrates the culverts, then the flow through every structure link
// into its nodes 1 and 2 of flow: the sum of its elements at the level above
// it (the lake's level when its first upstream link is a lake, else that
// link's last node) and the level of its downstream link's first node, the
// stages read as node_level(level_area) gives them. Unless a lake or an
// overtaken link lies above, a flow is cut to what the node it draws on
// holds in chan.area over substep seconds. On the calling thread, with no
// other writer of the network; false after a failure (reported).
bool structure_link_flows(channel_state& chan, const route_settings& set, double* flow,
                          const double* level_area, double substep);

// Moves the area of every node of every routed link on by dt seconds of the
// given flows, lateral inflow, point inputs, point sources and, with
// set.qriv, the stream-aquifer exchange, in place. A node that would lose
// more through its bed than it holds loses what it held at the sub-step's
// start when its other terms bring water, and what they leave it when they
// take water (nothing when they take all it holds and more): its qriv is
// cut to that. Under the head boundary with an exchange the outlet node's
// area is the boundary's and is not written.
void chan_continuity(const channel_state& chan, const route_settings& set,
                     const std::vector<double>& flow, std::vector<double>& area, double dt);

// ---- The two routines link by link, for the router's own parallel loops ----
// Each writes only the given link's node slots.

// The link whose first node receives the diffusive flow out of link's last
// node, or 0 when another rule (or none) sets that node: the outlet link,
// and downstream links that are not channel-shaped links open to flow.
int flow_downstream(const channel_state& chan, int link);

// The flows out of the nodes of routed link (but the outlet rule) into flow,
// from chan's depths and conveyances; down_depth (m) and down_conv are those
// of the first node of flow_downstream(link), when it is not 0. Into a
// structure the last node takes the structure's flow, already in flow; into
// a lake or an overtaken link, the pull of the lake's level.
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
