#pragma once
// XY boundary inputs: cells whose overland depth or groundwater head follows a
// time series, and stream points with a hydrograph. The project reader reads
// their files when it meets their cards; the overland boundary step, the
// groundwater step and the channel network apply them. Overland and
// groundwater points are cell numbers (1..cells), checked once the cells are
// numbered; stream points are given a link and a node by the channel set-up.

#include "core/checked_array.h"
#include "input/series.h"

struct xy_point {
  int cell = 0;                         // 1..cells
  const time_series* series = nullptr;  // depth (m) or head (m) against time
};

struct xy_stream_point {
  int link = 0;
  int node = 0;
  double x = 0.0;  // m
  double y = 0.0;  // m
  const time_series* series = nullptr;  // discharge against time
  int linknode = 0;  // 1: link and node were given directly (LINKNODE)
};

struct xy_input {
  xy_input();
  xy_input(const xy_input&) = delete;
  xy_input& operator=(const xy_input&) = delete;

  // Destroyed in reverse order: stream, groundwater, then overland points.
  array1d<xy_point> ovpts;         // "xy_input::ovpts"
  array1d<xy_point> gwpts;         // "xy_input::gwpts"
  array1d<xy_stream_point> stpts;  // "xy_input::stpts", hydrograph file's points first
};

// Keyword codes of the stream time-series file, by a line's first word.
enum xy_st_keyword {
  xy_st_other = 0,
  xy_st_header = 1,
  xy_st_begin = 2,
  xy_st_xy = 3,
  xy_st_linknode = 4,
  xy_st_end = 5,
  xy_st_timeseries = 6,
};
int xy_st_bdy_keyword(const char* line);

// Appends the points of an overland ("overland", "XY_OV_DEPTH") or
// groundwater ("groundwater", "XY_GW_HEAD") point file to points, each with
// its column of the file's series block (series named after the header).
// Open failures, a wrong header and an empty file are reported and leave the
// points as they were; a malformed line stops the run (code 4000).
void read_xy_point_input(array1d<xy_point>& points, time_series_list& series, const char* label,
                         const char* file_name, const char* header);

// Appends the points of a stream hydrograph file ("XY_STREAM_HYDROGRAPHS").
void read_xy_stream_input(xy_input& xy, time_series_list& series, const char* file_name);

// Appends the points of a stream time-series file ("VALTO_XY_ST_BDY_TS"),
// whose series are found by name among those already read.
void read_xy_stream_ts_input(xy_input& xy, const time_series_list& series, const char* file_name);

// Every overland and groundwater point's cell must lie in 1..cells; the first
// that does not stops the run with a message. True when all do.
bool check_xy_cell_numbers(const xy_input& xy, int cells);

// The channel network as map_xy_stream_points sees it; per-link arrays are
// indexed 1..links, node coordinates [link][node] with nodes 1..node_count.
struct xy_channel_view {
  int links = 0;
  const int* node_count = nullptr;
  const int* link_flags = nullptr;  // link kind bits; 4, 8 or 16 may take a point
  const double* const* node_x = nullptr;  // m
  const double* const* node_y = nullptr;  // m
};

// Gives every stream point without LINKNODE the nearest node (by distance in
// the plane) of a candidate link: one whose flags hold 4, 8 or 16 and that has
// more than one node; ties go to the lower link, then the lower node. A
// LINKNODE outside the network, or no candidate link, stops the run. True
// when every point has a link and a node.
bool map_xy_stream_points(xy_input& xy, const xy_channel_view& network);

// Sets each overland point's cell depth (m, per-cell array 1..cells) to its
// series' value at now (Julian days), adding the water this puts in or takes
// out, in m3, to vol_in and vol_out, which start at 0. dx is the cell size, m.
void apply_xy_ov_depths(const xy_input& xy, double* depth, double dx, double& vol_in,
                        double& vol_out, double now);

// The same for groundwater heads (m), each volume weighted by the cell's
// storage factor (porosity or specific yield, per-cell array 1..cells).
void apply_xy_gw_heads(const xy_input& xy, double* head, const double* storage, double dx,
                       double& vol_in, double& vol_out, double now);
