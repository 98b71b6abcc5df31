#pragma once
// The groundwater and pipe-network part of the run record.

#include <vector>

// A well of the WELL_TABLE table: its table id, and a constant rate or the
// time-series index of its rate.
struct gw_well {
  int id = 0;           // table id (the well index map's id of its cells)
  int flag = 0;         // nonzero: the rate follows the time series ts_index
  double rate = 0.0;    // constant rate, m3/s, positive for withdrawal; 0 with a series
  int ts_index = 0;     // TIME_SERIES_INDEX id, 0 without a series
};

struct subsurface_state {
  int gw_step_flag = 1;  // groundwater step flag, rewritten by its step

  int gw_coupling = 0;      // a cell exchanges water with the water table
  int gw_clock_fixed = 0;   // the groundwater set-up fixed its clock

  std::vector<double> phead_old;  // PHEADOLD heads of the previous iteration, cm [0..n]
};
