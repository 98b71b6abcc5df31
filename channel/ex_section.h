#pragma once
// Cross-section properties of the channel nodes. From the flow area a node
// gets its depth, stage and conveyance; from its stage it gets its area, top
// width, conveyance and the slope of conveyance with depth. Trapezoid,
// break-point table and two-stage trapezoid links are handled; lake and
// structure links are passed over.

struct channel_state;

namespace section_mode {
constexpr int from_area = 1;   // area -> chan_depth, yp, conv
constexpr int from_stage = 2;  // yp -> area, topw, conv, dconv
}  // namespace section_mode

// Every node 1..nx of every link 1..links, in that order; any mode other than
// the two above does nothing. Serial: no other writer of the node arrays may
// run meanwhile. A failure prints its message and raises 4000, and the nodes
// and links after the failing node keep what they held.
void ex_section(channel_state& chan, int mode);

// The from-stage rules for one node, for the channel-lake release, which runs
// over links in parallel: it writes only this node's slots (and raises the
// shared xsec_exceeded flag atomically).
void ex_section_node_from_stage(channel_state& chan, int link, int node);
