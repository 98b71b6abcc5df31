#pragma once
// Break-point cross-sections: look-up tables by height, built at set-up from
// the measured point pairs (offset, elevation) of a link's X1 cards, which
// the cross-section properties interpolate during the run.

#include <vector>

struct channel_state;

// One cross-section as read: its node, NPAIRS, NUM_INTERP and points
// x[1..pairs], z[1..pairs] in m (element 0 unused).
struct bp_cross_section {
  int node = 0;
  int pairs = 0;
  int levels = 0;
  std::vector<double> x, z;
};

// The cross-sections of one break-point link, in file order (one or two).
struct bp_link_sections {
  int link = 0;
  std::vector<bp_cross_section> sections;
};

// Fills table t from the points x[1..pairs], z[1..pairs] (1-based pointers)
// with `levels` levels evenly spaced from the lowest to the highest point:
// xarea, xtw, xp, xk at bp_index(1..levels, t) (row 0 zero), and numpairs,
// numhts, ht_spc of t. Conveyance uses inv_mannings_n of the link, which the
// stop messages name. Returns false after a stop (a section too jagged, or a
// flat stretch at a level).
bool bp_xsec_table(channel_state& chan, int link, int table, const double* x, const double* z,
                   int pairs, int levels);

// Set-up of one break-point link: numbers its tables table_counter + 1, ...
// into table_num of its points 1..nx1, builds them, and advances
// table_counter by the number used: one for a single cross-section, one per
// node from the first cross-section's node to the second's for two, one per
// point for an erodible link (bplink > 0), whose resampled points it also
// keeps in xbp_lnn and ybp_lnn. Prints the warnings for cross-sections of
// unequal pair or level counts; returns false after a stop (code 4000).
bool interp_bp_xsec(channel_state& chan, const bp_link_sections& in, int& table_counter);
