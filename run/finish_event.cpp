#include <cstdio>

#include "run/event_control.h"
#include "run/model_state.h"
#include "core/not_available.h"
#include "run/progress.h"

namespace {

// Stores one event's value at position i of a results array, when the record
// has room for it (a run with more events than the record was sized for
// keeps what fits).
void store_result(std::vector<double>& values, int i, double value) {
  if (i >= 1 && i < static_cast<int>(values.size()) - 1) values[i] = value;
}

void store_event_results(model_state& state, int location, double peak, double volume) {
  run_results* results = state.results;
  const int k = state.run.event_index;
  if (!results || k < 1 || k > results->event_count || location >= results->location_count) {
    return;
  }
  const int i = results->index(k, location);
  store_result(results->peaks, i, peak);
  store_result(results->volumes, i, volume);
}

// The calibration row of the event: outlet peak and volume, then each
// hydrograph location's, in the output file and the results record.
void write_flow_row(model_state& state) {
  const input_state& in = state.input;
  const run_control& run = state.run;
  const bool cfs = run.qout_cfs != 0;
  const double factor = cfs ? calib_cfs_factor : 1.0;
  std::FILE* out = state.calib.optim_out.is_open() ? state.calib.optim_out.stream : nullptr;

  const double peak = run.event_peak_out * factor;
  const double volume = run.event_volume_out * factor;
  if (out) std::fprintf(out, cfs ? "%d %8.2lf %13.1lf" : "%d %9.3lf %13.1lf", run.event_index, peak, volume);
  store_event_results(state, 0, peak, volume);

  if (in.settings.in_hyd_location_given) {
    const calibration_state& calib = state.calib;
    for (int i = 1; i <= state.channel.hyd_locations; ++i) {
      if (i >= static_cast<int>(calib.loc_peak.size()) ||
          i >= static_cast<int>(calib.loc_volume.size())) {
        break;
      }
      const double loc_peak = calib.loc_peak[i] * factor;
      const double loc_volume = calib.loc_volume[i] * factor;
      if (state.results) {
        std::vector<double>& lp = state.results->location_peaks;
        std::vector<double>& lv = state.results->location_volumes;
        if (i < static_cast<int>(lp.size())) lp[i] = loc_peak;
        if (i < static_cast<int>(lv.size())) lv[i] = loc_volume;
      }
      if (out) std::fprintf(out, cfs ? "%8.2lf %13.1lf" : "%9.3lf %13.1lf", loc_peak, loc_volume);
      store_event_results(state, i, loc_peak, loc_volume);
    }
  }
  if (out) {
    std::fputs("\n", out);
    std::fflush(out);
  }
}

// The sediment row of the event, unconverted.
void write_sediment_row(model_state& state) {
  const quality_state& q = state.quality;
  std::FILE* out = state.calib.optim_out.is_open() ? state.calib.optim_out.stream : nullptr;
  if (out) std::fprintf(out, "%d %9.6lf %13.3lf", state.run.event_index, q.event_sed_peak, q.event_sed_total);
  store_event_results(state, 0, q.event_sed_peak, q.event_sed_total);
  for (int i = 1; i <= q.sed_locations; ++i) {
    if (i >= static_cast<int>(q.sed_loc_peak.size()) ||
        i >= static_cast<int>(q.sed_loc_total.size())) {
      break;
    }
    if (out) std::fprintf(out, "%9.6lf %13.3lf", q.sed_loc_peak[i], q.sed_loc_total[i]);
    store_event_results(state, i, q.sed_loc_peak[i], q.sed_loc_total[i]);
  }
  if (out) {
    std::fputs("\n", out);
    std::fflush(out);
  }
}

}  // namespace

void finish_event(model_state& state) {
  run_control& run = state.run;
  const input_state& in = state.input;
  if (!run.event_end) return;
  run.event_end = 0;

  // Infiltrated volume and soil balances belong to the soil methods.
  if ((in.green_ampt || in.inf_redist || in.inf_layered_soil || in.inf_richards) &&
      !call_service(state, state.services.soil_event_end, "soil_event_end")) {
    return;
  }
  // Lake extents and the channel balance belong to the channel network.
  if ((in.channel_routing || state.channel.channel_lakes) &&
      !call_service(state, state.services.channel_event_end, "channel_event_end")) {
    return;
  }

  surface_state& surface = state.surface;
  surface.event_end_volume = surface_water_volume(state);
  if (surface.overland_lakes && state.channel.channel_lakes && !run.olake_warning_given) {
    std::printf(
        "You are simulating overland lakes and perennial lakes, not recommended presently. "
        "Contact your VALTO developer for further advice\n\n");
    run.olake_warning_given = 1;
  }

  run.event_peak_out = run.q_peak;
  run.event_volume_out = surface.event_outflow_volume;

  if (in.ov_con_trans && !call_service(state, state.services.constituent_event_end,
                                       "constituent_event_end")) {
    return;
  }
  // The event summary goes to the summary file; without one it has nowhere to go.
  if (state.output.summary.is_open() &&
      !call_service(state, state.services.write_event_summary, "write_event_summary")) {
    return;
  }

  if (!in.super_quiet) std::printf("finished event \n");
  if (state.output.summary.is_open()) std::fflush(state.output.summary.stream);
  ++run.events_finished;

  if (in.optimize && !in.optimize_sed) write_flow_row(state);
  if (in.optimize && in.optimize_sed) write_sediment_row(state);
}
