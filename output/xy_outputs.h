#pragma once
// XY point outputs: the overland depth (and, once the groundwater model
// exists, the head) interpolated at listed points or at the boundary cells of
// an inset mask, and the stream discharge where links cross the inset's
// boundary, one row per hydrograph output time, as boundary input for a
// nested model of the inset.

#include <string>
#include <vector>

#include "core/grid_state.h"
#include "core/safe_file.h"

struct model_state;

struct xy_output_point {
  double x = 0.0, y = 0.0;  // m
  int id = 0;
  int n = 0;                // cells interpolated from
  int cell[4] = {};         // cell numbers
  double weight[4] = {};    // inverse squared distances, 1/m2
  double weight_sum = 1.0;
};

// The main grid as the points see it.
struct xy_grid_view {
  double north = 0.0, west = 0.0, size = 0.0;  // m
  int rows = 0, cols = 0;
  const int* const* number = nullptr;  // [1..rows][1..cols] cell number, 0 off the watershed
};

// A segment in the plane, m.
struct xy_segment {
  double x1 = 0.0, y1 = 0.0, x2 = 0.0, y2 = 0.0;
};

// Where a stream link leaves or enters the inset: the midpoint of the
// crossing stream segment (m) and the link and node whose discharge is written.
struct xy_crossing {
  double x = 0.0, y = 0.0;
  int link = 0, node = 0;
};

// The inset mask grid (mask mode only).
struct xy_inset {
  double north = 0.0, south = 0.0, east = 0.0, west = 0.0, size = 0.0;  // m
  int rows = 0, cols = 0;
  block_2d<int> mask;  // "smaller_mask.mask", [1..rows][1..cols]
  int read = 0;
};

struct xy_output {
  std::vector<xy_output_point> points;
  xy_inset inset;
  std::vector<xy_segment> sides;          // inset boundary sides facing outside
  std::vector<xy_crossing> crossings;     // one per crossing link
  int ov_on = 0;  // overland depth file written
  int gw_on = 0;  // groundwater head file written
  int st_on = 0;  // stream crossing file written
  safe_file ov_file;
  safe_file gw_file;
  safe_file st_file;
};

// True when the stream segment crosses the side: at a parameter in [0, 1]
// along the side and in (0, 1] along the stream, so a stream segment that
// ends on a side crosses it and one that starts there does not.
bool segments_intersect(const xy_segment& side, const xy_segment& stream);

// The sides of the inset's boundary cells that face outside the inset.
void add_inset_boundary_sides(xy_output& xy);

// Keeps one crossing per link: a later one replaces it only with a larger node.
void add_stream_crossing(xy_output& xy, double x, double y, int link, int node);

// Finds the crossings from the stream geometry of the channel input file and
// heads the stream file; routing says a discharge table exists.
void find_inset_stream_crossings(xy_output& xy, const char* channel_file, bool routing,
                                 const char* stream_file);

// Interpolation cells and weights of each point; a point off every active
// cell warns and takes the nearest one.
void compute_xy_weights(std::vector<xy_output_point>& points, const xy_grid_view& grid);

// Points of an XY output point file (count, then "x y id" lines); false
// after a malformed line has stopped the run.
bool read_xy_point_file(const char* name, std::vector<xy_output_point>& points);

// The inset mask and a point at each of its boundary cells; false when it
// cannot be read.
bool read_xy_inset_mask(const char* name, xy_output& xy);

double interpolate_xy_point(const xy_output_point& p, const double* values);

// Set-up phase, one row at Julian date julian, and the files' end.
void open_xy_outputs(model_state& state);
// qp is the discharge by node address (link x stride + node), m3/s; head
// the water table per cell, m, or null without the groundwater model.
void write_xy_output_row(xy_output& xy, const double* depth, const double* qp, int stride,
                         double julian, const double* head = nullptr);
void close_xy_outputs(xy_output& xy);
