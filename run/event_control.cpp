#include "run/event_control.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "run/model_state.h"
#include "core/not_available.h"
#include "run/sim_clock.h"
#include "subsurface/gw_channel_exchange.h"

namespace {

// The constituent clocks copy the clocks of the processes that carry them.
void copy_constituent_clocks(model_state& state) {
  run_control& run = state.run;
  const input_state& in = state.input;
  if (in.ov_con_trans) {
    run.ov_contam = run.overland;
    run.ov_contam_inf = run.infiltration;
  }
  if (in.soil_con_trans) {
    run.soil_contam = (in.inf_redist || in.inf_layered_soil) ? run.evap : run.infiltration;
  }
  if (in.channel_routing && (state.channel.constituents || in.chan_con_trans)) {
    run.chan_contam = run.channel;
  }
  if (in.nutrients) {
    run.nsm_overland = run.overland;
    if (in.channel_routing) run.nsm_channel = run.channel;
  }
}

}  // namespace

void restart_process_clocks(model_state& state, bool richards_caught_up) {
  run_control& run = state.run;
  const input_state& in = state.input;
  const double t = run.current_time;
  process_clock& ov = run.overland;
  const double d = ov.interval_d;

  ov.last = t;
  ov.next = t + d;

  process_clock& inf = run.infiltration;
  if (richards_caught_up && inf.next > t + d) {
    inf.last = t;
    inf.next = t + d;
  }
  inf.interval_s = ov.interval_s;
  inf.interval_d = ov.interval_d;
  if (inf.next > ov.next + d) inf.next = ov.next + d;
  // A clock that waited for the next event stands past now: its step
  // starts here.
  if (inf.last > t) inf.last = t;

  if (in.gw_simulation) {
    run.groundwater.interval_s = ov.interval_s;
    run.groundwater.interval_d = ov.interval_d;
    if (run.groundwater.next > ov.next + d) run.groundwater.next = ov.next + d;
  }
  if (in.inf_redist || in.inf_layered_soil) {
    run.evap.interval_s = inf.interval_s;
    run.evap.interval_d = inf.interval_d;
    run.evap.next = inf.next;
  }
  if (in.channel_routing) run.channel = ov;
  copy_constituent_clocks(state);
}

namespace {

bool surface_storage_counts(const model_state& state) {
  const input_state& in = state.input;
  return in.inf_richards || in.gw_simulation || in.inf_redist || in.inf_layered_soil ||
         in.settings.overland_lake_map_given || in.settings.ov_init_depth_given ||
         in.settings.init_elev_head != 0.0;
}

// The event has ended: the flags for the exchange step and finish_event.
void end_event(run_control& run) {
  run.rain_on = 0;
  run.exchange_pending = 1;
  run.event_end = 1;
}

// Moves the overland (and channel) clocks to the start of the next event, so
// that a dry spell between events costs no work.
void move_clocks_to_next_event(model_state& state) {
  run_control& run = state.run;
  const int k = run.event_index;
  if (k < 1 || k >= run.num_events) return;  // the last event has no next start
  const double next_start = event_start(run, k + 1);
  run.overland.next = next_start;
  run.overland.last = next_start - run.overland.interval_d;
  if (state.input.channel_routing) {
    run.channel.next = next_start;
    state.channel.restart_mark = 0;
  }
  copy_constituent_clocks(state);
}

bool channel_carries_more_than(const channel_state& chan, double cutoff) {
  for (int link = 1; link <= chan.links && link < static_cast<int>(chan.nx.size()); ++link) {
    for (int node = 1; node <= chan.nx[link]; ++node) {
      const int a = chan.node_address(link, node);
      if (a < static_cast<int>(chan.qp.size()) && chan.qp[a] > cutoff) return true;
    }
  }
  return false;
}

}  // namespace

double surface_water_volume(const model_state& state) {
  const std::vector<double>& depth = state.surface.depth;
  const int n = std::min(state.grid.cells, static_cast<int>(depth.size()) - 1);
  const double area = state.grid.dx * state.grid.dx;
  // A lake cell's water is its lake's, which the lake totals count: the
  // overland lakes' cells, or where there are none the channel lakes'
  // (with both, the routers move the channel lakes' cells as free cells).
  const int* olake = state.surface.overland_lakes &&
                             state.surface.oland_lake_new.size() > std::size_t(n)
                         ? state.surface.oland_lake_new.data()
                         : nullptr;
  const int* clake = !olake && state.channel.channel_lakes &&
                             state.channel.lake_mask.size() > std::size_t(n)
                         ? state.channel.lake_mask.data()
                         : nullptr;
  double volume = 0.0;
  for (int i = 1; i <= n; ++i) {
    if ((olake && olake[i] > 0) || (clake && clake[i] > 0)) continue;
    volume += depth[i] * area;
  }
  return volume;
}

void initialize_event(model_state& state) {
  run_control& run = state.run;
  const input_state& in = state.input;
  if (!(std::fabs(run.current_time - run.event_start_time) < run.tolerance)) return;

  state.surface.ponded_water = 1;

  const bool richards_catch_up = in.long_term && in.inf_richards && run.pass > 1;
  if (richards_catch_up &&
      !call_service(state, state.services.richards_event_start, "richards_solve")) {
    return;
  }

  restart_process_clocks(state, richards_catch_up);
  if (in.settings.storm_sewer_given) {
    // The pipe network follows the event's clock from its start, and its
    // first call of the event takes the network's volume again.
    run.storm_sewer = run.overland;
    superlink_state& sl = state.subsurface.superlink;
    if (sl.calls > 0) sl.calls = 1;
    sl.event_clock = 1;
  }

  // Event sums start again; the last event's stay readable for the outputs.
  if (run.pass != 1) run.event_step = 1;
  run.q_peak = 0.0;
  state.quality.event_sed_peak = 0.0;
  state.quality.event_sed_total = 0.0;
  surface_state& surface = state.surface;
  surface.prev_event_rain_volume = surface.event_rain_volume;
  surface.event_rain_volume = 0.0;
  surface.event_start_interception = surface.interception_volume;
  surface.rain_steps = 0;
  surface.rain_started = 0;
  surface.prev_event_outflow_volume = surface.event_outflow_volume;
  surface.event_outflow_volume = 0.0;
  surface.event_bdy_inflow = 0.0;
  surface.event_bdy_outflow = 0.0;
  surface.event_pump_volume = 0.0;
  surface.event_olake_rain_volume = 0.0;
  surface.event_chan_lake_rain_volume = 0.0;
  surface.event_chan_lake_overland_in = 0.0;
  surface.event_chan_lake_overland_out = 0.0;
  if (in.ov_con_trans && !call_service(state, state.services.constituent_event_start,
                                       "constituent_event_start")) {
    return;
  }

  // Scored locations start the event empty; the record's slots hold the
  // unset mark until finish_event fills them.
  const bool hyd_locations = in.settings.in_hyd_location_given != 0;
  const bool sed_locations = in.optimize_sed && state.quality.sed_locations > 0;
  if (in.optimize && (hyd_locations || sed_locations)) {
    std::fill(state.calib.loc_peak.begin(), state.calib.loc_peak.end(), 0.0);
    std::fill(state.calib.loc_volume.begin(), state.calib.loc_volume.end(), 0.0);
    std::fill(state.quality.sed_loc_peak.begin(), state.quality.sed_loc_peak.end(), 0.0);
    std::fill(state.quality.sed_loc_total.begin(), state.quality.sed_loc_total.end(), 0.0);
    if (state.results) {
      std::vector<double>& peaks = state.results->location_peaks;
      std::vector<double>& volumes = state.results->location_volumes;
      if (peaks.size() > 1) std::fill(peaks.begin() + 1, peaks.end(), unset_result);
      if (volumes.size() > 1) std::fill(volumes.begin() + 1, volumes.end(), unset_result);
    }
  }

  surface.event_start_volume = surface_storage_counts(state) ? surface_water_volume(state) : 0.0;
  state.soil.event_start_exfiltrated = state.soil.exfiltrated_volume;
  surface.starts_wet = surface.event_start_volume > 1e-6 ? 1 : 0;

  if (!in.super_quiet) std::printf("Initialized Arrays\n");
  if (!in.long_term && !in.qtr) {
    if (!in.super_quiet) std::printf("simulation duration %d minutes\n", run.tot_time);
    run.single_event_end = run.origin + run.tot_time / 1440.0;
  }

  if ((in.inf_redist || in.inf_richards || (in.inf_layered_soil && in.long_term)) &&
      !call_service(state, state.services.soil_event_start, "soil_event_start")) {
    return;
  }
  if (in.channel_routing) {
    call_service(state, state.services.channel_event_start, "channel_event_start");
  }
  note_event_start_exchange(state);
}

void check_end_of_event(model_state& state) {
  run_control& run = state.run;
  const input_state& in = state.input;

  if (in.stop_time_flag && run.current_time > in.stop_time) {
    end_event(run);
    run.run_flag = 0;
    return;
  }

  if (!in.long_term && !in.qtr && run.current_time > run.single_event_end - run.tolerance) {
    run.run_flag = 0;
    end_event(run);
  }

  if ((in.long_term || in.qtr) && run.rain_on == 1 &&
      (run.event_data_flag == 0 || run.event_data_flag == 3)) {
    const int k = run.event_index;
    const bool last_event = k >= run.num_events;
    const double cutoff = in.event_min_q;
    if (run.q_out < cutoff) {
      bool keep_running = false;
      if (last_event) {
        const double rain = state.surface.event_rain_volume;
        const double gained = surface_water_volume(state) - state.surface.event_start_volume;
        if (rain > 0.0 && gained >= 0.05 * rain && !in.water_table && !in.sacramento) {
          keep_running = true;
        }
      }
      if (!keep_running && run.q_peak < cutoff && in.channel_routing &&
          channel_carries_more_than(state.channel, cutoff)) {
        keep_running = true;
      }
      if (keep_running) {
        run.run_flag = 1;
      } else {
        end_event(run);
        if (last_event) {
          run.run_flag = 0;
          if (!in.super_quiet) {
            if (run.q_peak < cutoff) {
              std::printf(
                  "simulation ended normally; peak flow after last event fell below cutoff "
                  "value.\n");
            } else {
              std::printf("simulation ended normally; end of data for last event reached\n");
            }
          }
        }
        // The Sacramento basin's base flow needs its channels between storms.
        if (!in.inf_richards && !in.gw_simulation && !in.settings.ov_point_source_given &&
            !in.inf_redist && !state.channel.lake_start_flag && !in.sacramento) {
          move_clocks_to_next_event(state);
        }
      }
    } else if (last_event && (in.water_table || in.sacramento) && run.hmet.next == -10.0) {
      end_event(run);
      run.run_flag = 0;
    }
  }

  if (run.exchange_pending) state.calib.analyzers.notify_all(4);
}
