#pragma once
// The groundwater and pipe-network part of the run record.

#include <vector>

#include "subsurface/groundwater_state.h"
#include "subsurface/superlink_state.h"

struct subsurface_state {
  int gw_step_flag = 1;  // groundwater step flag, rewritten by its step

  int gw_coupling = 0;      // a cell exchanges water with the water table
  int gw_clock_fixed = 0;   // the groundwater set-up fixed its clock

  std::vector<double> phead_old;  // PHEADOLD heads of the previous iteration, cm [0..n]

  groundwater_state gw;
  superlink_state superlink;
};
