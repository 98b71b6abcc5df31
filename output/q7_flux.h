#pragma once
// Flows into the segments of the reservoir water-quality model (Q7): the
// overland flow across each segment's edge and the stream discharge at the
// nodes tied to it, averaged over the passes of each hydrograph interval.

#include <vector>

#include "core/safe_file.h"

struct model_state;

struct q7_data {
  int max_segment = 0;  // highest segment number of the map (0: nothing to do)
  int passes = 0;       // passes summed since the last row
  int first_row = 0;    // the next row is the first: its JDAY is the origin
  double first_jday = 0.0;  // days

  std::vector<int> seg_map;       // [1..cells] segment of each active cell, 0 outside
  std::vector<int> active_array;  // [1..max] 1 for a segment some cell carries
  std::vector<double> sums;       // [0..max] flow summed since the last row, m3/s
  safe_file output;               // Q7_SEGMENT_FLUXES
  std::vector<int> link, node, segment;  // [0..count-1] the link/node-to-segment table
};

// Reads the segment map and the link/node table and heads the output file.
// Codes 95 and 96 warn and leave nothing to write; 97 and 98 stop the run.
void setup_q7_segment_flux(model_state& state);

// One pass: face discharges in m3/s, taken per unit width (face / dx) and
// multiplied back by the cell size so that the sums stay in m3/s. qp is
// indexed by node address (link x stride + node).
void accumulate_q7_flux(q7_data& q7, const double* face_qx, const double* face_qy, int cells,
                        const int* rightcon, const int* belowcon, bool routing, const double* qp,
                        int stride, double dx);

// One row of means at day of year jday, and the sums cleared.
void write_q7_value(q7_data& q7, double jday);

// Releases the arrays and closes the output; harmless twice.
void free_q7_data(q7_data& q7);
