#pragma once
// The calibration, analyzer and framework-exchange part of the run record.

#include <vector>

#include "calibration/analyzers.h"
#include "core/safe_file.h"

struct calibration_state {
  analyzer_list analyzers;  // built from the analyzer file after set-up
  safe_file optim_out;      // optimisation output: one row per event
  std::vector<double> loc_peak;    // current event's peak per hydrograph location [1..n], m3/s
  std::vector<double> loc_volume;  // current event's routed volume per location, m3
  std::vector<double> loc_volume_booked;  // run's routed volume per location already in loc_volume, m3
  std::vector<double> exchange_scratch;   // conductivity per cell as exchanged [1..cells], cm/h
};
