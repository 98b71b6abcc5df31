#pragma once
// Channel lakes in the routing. While a lake covers the cells a channel link
// runs through, it takes the link's nodes from the downstream end: their
// water joins the lake and they stop being routed, and a link that loses
// every node is overtaken and routes as part of the lake. When the lake
// withdraws it gives the nodes back, refilled from its level. After every
// accepted sub-step the lakes book what the structures below them let out
// and what the links above them bring in.
//
// Every routine here runs on one thread: the take reads the state of the
// link below, which the take of that link changes, and several stream cells
// and links add to one node or one lake; one fixed order keeps the results
// and the messages the same at any thread count. The routing calls them
// outside its parallel region.

struct channel_state;

// pct_flooded of every node of the links that are neither lakes nor
// structures cleared, then each stream cell's (link, node) pairs add their
// share when their grid cell belongs to any channel lake (lake_mask above 0),
// in stream-cell and pair order. A node whose share passes 1.001 is named
// and the run goes on.
void find_flooded_nodes(channel_state& chan);

// Links nlinks-1 down to 1, so that a lake's capture runs up a chain of links
// within one call: a routed link's flooded nodes (0.999 < pct_flooded <
// 1.001) are taken from its last node up to the first node that is not,
// provided the link below is a lake, overtaken or has lost its first node.
// Their water goes to the lake of the link below (lake_volume, lake_in_dv).
// status_node must be sized to the node slots.
void take_lake_nodes(channel_state& chan);

// Links 1 to nlinks-1: taken nodes whose share is back to 0 are given back
// from the upstream end, each refilled to the lake's level (or 0.01 m when
// the level lies below its bed) and its water taken from the lake
// (lake_volume, lake_out_dv). Returns false after a depth that is not a
// number (reported, 4000).
bool release_lake_nodes(channel_state& chan);

// The three above in order; false after a failure.
bool update_lake_nodes(channel_state& chan);

// After an accepted sub-step of dt seconds with the node flows qp (m3/s):
// each lake link loses dt times the flow into its downstream link's first
// node and gains its upstream links' last-node flows; an overtaken link adds
// to its lake what its routed upstream links send in. Summed in link order.
void account_lake_flows(channel_state& chan, const double* qp, double dt);
