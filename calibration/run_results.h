#pragma once
// The results record of a calibration trial or an OPTIMIZE run: per event the
// simulated peak and volume at the outlet and at each scored location, and
// the current event's values per location.

#include <cstdint>
#include <vector>

struct model_state;

struct run_results {
  int32_t event_count = 0;     // events of the run
  int32_t location_count = 0;  // values per event: scored locations + 1 for the outlet
  std::vector<double> peaks;   // [0 .. event_count x location_count + 1], m3/s (or cfs)
  std::vector<double> volumes; // same size, m3 (or ft3)
  std::vector<double> location_peaks;    // current event [1..location_count], -999.99 unset
  std::vector<double> location_volumes;

  // Position of event e (from 1) and location m (0 the outlet, 1.. the
  // scored locations) in peaks and volumes.
  int index(int event, int location) const { return (event - 1) * location_count + location + 1; }
};

// Marks a simulated value that no event end wrote: below -1e-16, so a trial
// scored on it counts as failed.
constexpr double unset_result = -999.99;

// Set-up phase: with the OPTIMIZE flag, attaches a record when the run has
// none and sizes it for the run's events and locations.
void alloc_run_results(model_state& state);
