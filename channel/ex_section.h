#pragma once
// Cross-section properties of the channel nodes. From the flow area a node
// gets its depth, stage and conveyance; from its stage it gets its area, top
// width, conveyance and the slope of conveyance with depth. Trapezoid,
// break-point table and two-stage trapezoid links are handled; lake and
// structure links are passed over.

#include <climits>

struct channel_state;

namespace section_mode {
constexpr int from_area = 1;   // area -> chan_depth, yp, conv
constexpr int from_stage = 2;  // yp -> area, topw, conv, dconv
}  // namespace section_mode

// Every node 1..nx of every link 1..links; any mode other than the two
// above does nothing. A failure prints its message and raises 4000, and the
// nodes after the failing node (the later nodes of its link and all later
// links) keep what they held. The links are shared among the threads (for
// networks that chan.link_team() gives more than one thread); the results and the
// stop do not depend on the thread count. No other writer of the node
// arrays may run meanwhile.
void ex_section(channel_state& chan, int mode);

// The from-stage rules for one node, for the channel-lake release, which runs
// over links in parallel: it writes only this node's slots (and raises the
// shared xsec_exceeded flag atomically).
void ex_section_node_from_stage(channel_state& chan, int link, int node);

// ---- The sweep link by link, for callers that run it inside their own
// parallel loops over links ----
//
// ex_section is these three steps: every link's stop (section_link_stop),
// the smallest of them over all links, every link worked up to it
// (section_link), then the stopping node reported (section_report_stop).
// Node addresses grow in link-then-node order, so the nodes below the
// smallest stop are the nodes a walk in that order works before it stops.
// area stands in for chan.area (the router's predictor areas, say): the
// from-area mode reads it, and sets rounding-negative areas in it to 0; the
// from-stage mode fills it.

constexpr int section_no_stop = INT_MAX;

// The address of the first node of link whose properties the mode cannot
// compute (section_no_stop for none). Writes and prints nothing. With
// negatives_as_zero the negative areas read as 0, for a caller that will
// clear them before the sweep.
int section_link_stop(const channel_state& chan, const double* area, int mode, int link,
                      bool negatives_as_zero = false);

// Works the nodes of link whose addresses are below stop. Writes only those
// nodes' slots (and raises xsec_exceeded atomically).
void section_link(channel_state& chan, double* area, int mode, int link, int stop);

// For a caller that sweeps the same nodes again before anything reads
// their properties: the from-area sweep's other effects alone, on the nodes
// of link below stop (rounding-negative areas set to 0 in area, the
// table-top flag raised). Up to the link's own stop, like section_link.
void section_link_effects(channel_state& chan, double* area, int link, int stop);

// The properties the from-area sweep stores (depth, stage, conveyance) for
// the nodes of link at addresses from `from` on, from the areas given, which
// are neither changed nor flagged; with section_link_effects, a sweep in
// full. Up to the link's own stop.
void section_link_properties(channel_state& chan, const double* area, int link, int from);

// Works the stopping node as the walk would: prints its message and raises
// 4000 (nothing for section_no_stop). On one thread, outside parallel regions.
void section_report_stop(channel_state& chan, double* area, int mode, int stop);

// Depth (m) and conveyance the from-area mode gives the node at address of
// link, a node without a stop, computed and not stored: a link can read its
// downstream neighbour's new values while another thread stores them.
struct section_depth_conv {
  double depth;
  double conv;
};
section_depth_conv section_from_area(const channel_state& chan, const double* area, int link,
                                     int address);
