// The rain-change step: every cell's rainfall rate (mm/h) for the current
// rain period. Uniform rain falls at RAIN_INTENSITY from the first step of
// the run for the steps of RAIN_DURATION; a negative rate in any cell stops
// the run, whatever its source.

#include <climits>

#include "core/error_state.h"
#include "core/model_state.h"
#include "surface/cell_loops.h"
#include "core/not_available.h"
#include "surface/overland_step.h"
#include "surface/surface_steps.h"

namespace {

void fill_rates(std::vector<double>& rates, int cells, double value) {
  double* r = rates.data();
#pragma omp parallel for schedule(static) if (cells >= parallel_min_cells)
  for (int i = 1; i <= cells; ++i) r[i] = value;
}

void switch_uniform_rain(model_state& state) {
  run_control& run = state.run;
  const input_state& in = state.input;
  surface_state& sf = state.surface;
  const int n = state.grid.cells;
  if (run.event_data_flag != 1) return;
  if (run.step == 0) {
    run.rain_on = 1;
    run.rain_active = 1;
    fill_rates(sf.rain_rate, n, in.rain_intensity);
  }
  // apply_rainfall counts the steps from 1: the rain has fallen for its
  // steps once the count passes them.
  if (run.uniform_rain_steps == run.rain_periods + 1) {
    fill_rates(sf.rain_rate, n, 0.0);
    if (in.interception) fill_rates(sf.ri_eff, n, 0.0);
    run.rain_on = 0;
    run.rain_active = 0;
    run.event_data_flag = 3;
  }
}

}  // namespace

void update_rain_rates(model_state& state) {
  run_control& run = state.run;
  if (!state.input.uniform_rain) {
    // Gauge and radar periods are not built: an event of them in progress
    // cannot be given its rates.
    if (run.event_data_flag == 1 || run.event_data_flag == 2) raise_not_available("update_rain_rates");
    return;
  }
  const int n = state.grid.cells;
  if (!overland_arrays_ready(state)) {
    raise_message("Error: the overland arrays of the %d cells have not been set up.\n", n);
    return;
  }
  switch_uniform_rain(state);

  const double* r = state.surface.rain_rate.data();
  int first = INT_MAX;
#pragma omp parallel for schedule(static) reduction(min : first) \
    if (n >= parallel_min_cells)
  for (int i = 1; i <= n; ++i)
    if (r[i] < -1e-16 && i < first) first = i;
  if (first != INT_MAX) {
    raise_message(
        "A negative rainfall has been detected for overland cell %d, check your rainfall input for "
        "negative values\n",
        first);
  }
}
