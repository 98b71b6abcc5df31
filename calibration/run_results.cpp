#include "calibration/run_results.h"

#include <memory>

#include "run/model_state.h"

void alloc_run_results(model_state& state) {
  if (!state.input.optimize) return;
  if (!state.results) {
    state.own_results = std::make_unique<run_results>();
    state.results = state.own_results.get();
  }
  run_results& r = *state.results;

  const int locations =
      state.input.optimize_sed ? state.quality.sed_locations : state.channel.hyd_locations;
  r.location_count = locations + 1;
  // A uniform-rain run is one event.
  int events = state.run.num_events;
  if (events < 1 && state.input.uniform_rain) events = 1;
  if (events < 0) events = 0;
  r.event_count = events;

  r.location_peaks.assign(r.location_count + 1, 0.0);
  r.location_volumes.assign(r.location_count + 1, 0.0);
  // Events that no event end scores keep a value below -1e-16, so that a
  // trial stopped early counts as failed rather than as a perfect zero.
  const std::size_t n = static_cast<std::size_t>(r.event_count) * r.location_count + 2;
  r.peaks.assign(n, unset_result);
  r.volumes.assign(n, unset_result);

  // The run's own per-location working values for the same locations.
  state.calib.loc_peak.assign(state.channel.hyd_locations + 1, 0.0);
  state.calib.loc_volume.assign(state.channel.hyd_locations + 1, 0.0);
  state.calib.loc_volume_booked.assign(state.channel.hyd_locations + 1, 0.0);
}
