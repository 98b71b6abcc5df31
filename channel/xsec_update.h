#pragma once
// The bed of an erodible break-point channel follows the sand it gains or
// loses: the wetted points of the node's section move up or down (the
// deepest most, the points at the water line not at all) until the area
// between the old and the new section holds the bed volume, and the node's
// table is drawn again from the moved points.

struct channel_state;

// One node of erodible break-point link `link`. bed is the change of the bed
// volume per metre of channel (m2, sand over 1 - porosity; positive
// deposits). Erosion stops at min_bel (m), the lowest bed allowed, and no
// change goes deeper than the node's water depth. Moves the points, bel by
// the shift of the lowest point, rebuilds the table; returns the bed change
// per metre that the new section holds (0 when the node is left alone). A
// stop (negative depth, no convergence, a section the table cannot be drawn
// from) raises 4000 and returns 0.
double xsec_update_node(channel_state& chan, int link, int node, double bed, double min_bel);

// Every node of every erodible break-point link, in link and node order.
// sand[a] (node address a) is the sand gained since the node's section was
// last drawn, m3 per metre of channel; min_bel[a] the lowest bed allowed.
// On return sand[a] holds the part of it the new section took. Returns the
// number of sections drawn again; stops as the node routine does.
int xsec_update(channel_state& chan, double porosity, const double* min_bel, double* sand);
