#include "run/sim_clock.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "core/error_state.h"
#include "core/julian.h"
#include "run/model_state.h"
#include "core/parallel_context.h"

namespace {

constexpr double hour_days = 0.041666666666666664;  // one hour in days

// Steps between two writes: minutes x 60 / dt, truncated, and never below one
// step so that the writers' modulo tests always have a divisor.
int write_interval(double minutes, double dt) {
  double steps = std::trunc(60.0 / dt * minutes);
  if (steps < 1.0) return 1;
  if (steps > INT_MAX) return INT_MAX;
  return static_cast<int>(steps);
}

// Smallest event index whose start is not earlier than t; 0 when every event
// starts before t.
int first_event_at_or_after(const run_control& run, double t) {
  for (int k = 1; k <= run.num_events; ++k) {
    if (event_start(run, k) > t - run.tolerance) return k;
  }
  return 0;
}

void copy_clock(process_clock& to, const process_clock& from) { to = from; }

}  // namespace

bool is_leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int day_of_year(int year, int month, int day) {
  static constexpr int month_days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int doy = day;
  for (int m = 1; m < month && m <= 12; ++m) {
    doy += month_days[m - 1];
    if (m == 2 && is_leap_year(year)) ++doy;
  }
  return doy;
}

double event_start(const run_control& run, int k) {
  if (k < 1 || k > run.num_events || k >= static_cast<int>(run.event_starts.size())) return 0.0;
  return run.event_starts[k];
}

void setup_time_steps(model_state& state) {
  run_parameters& p = state.input.params;
  run_control& run = state.run;
  grid_state& grid = state.grid;

  double dt;
  if (p.st_time_step < 0.01) {
    p.st_time_step = p.timestep;
    dt = p.timestep;
  } else {
    dt = p.st_time_step < p.timestep ? p.st_time_step : p.timestep;
  }
  if (dt <= 0.001) {
    set_error(52);
    return;
  }

  grid.rows = p.rows;
  grid.cols = p.cols;
  run.dt = dt;
  run.dt_days = dt / 86400.0;
  run.tot_time = p.tot_time;

  double hyd_freq = p.hyd_freq;  // minutes
  if (hyd_freq <= 0.0) {
    raise_error(55);
    hyd_freq = 60.0;
  }
  run.hyd_interval = write_interval(hyd_freq, dt);

  int map_freq = p.map_freq;  // minutes
  if (map_freq <= 0) {
    map_freq = 360;
    if (!state.input.super_quiet && parallel.process_number == 0) {
      std::printf("Warning: Write solution time step not specified, defaulting to 6 hours.\n");
    }
  }
  run.map_interval = write_interval(map_freq, dt);

  grid.outlet_slope = p.outslope;
  grid.outlet_row = p.outrow;
  grid.outlet_col = p.outcol;
  if (p.outslope < 1e-9) {
    set_error(56);
    return;
  }

  run.latitude = p.latitude;
  grid.dx = p.gridsize;
  run.longitude = p.longitude;
  if (state.input.long_term && (p.latitude < 0.01 || p.longitude < 0.01)) {
    set_error(57);
    return;
  }

  run.gmt = p.gmt;
  run.gmt_given = p.gmt_given;
  run.qout_cfs = p.qout_cfs;
  run.progress_off = p.quiet;
  if (state.input.long_term && !p.gmt_given) {
    set_error(58);
    return;
  }
}

void init_process_clocks(model_state& state) {
  run_control& run = state.run;
  const input_state& in = state.input;
  const run_parameters& p = in.params;
  const bool long_term = in.long_term != 0;
  const bool uniform = in.uniform_rain != 0;
  const bool event_mode = in.qtr && in.qtr_event;
  const bool dry_start = !state.soil.saturated_surface && !state.surface.ponded_water;
  const bool any_infiltration =
      in.green_ampt || in.inf_redist || in.inf_layered_soil || in.inf_richards;

  run.tolerance = time_tolerance_days;
  if (uniform) {
    // Uniform rain is one event starting at the run's start date.
    if (run.num_events < 1) {
      run.num_events = 1;
      run.event_starts.assign(2, in.start_time);
    }
  } else if (run.num_events < 1) {
    raise_message("Error: the precipitation input holds no event; there is nothing to simulate.\n");
    return;
  }

  // 1. Origin and a long-term run's own start date.
  if (long_term) {
    const soil_state& soil = state.soil;
    run.origin = julian_date(soil.hmet_start_year, soil.hmet_start_month, soil.hmet_start_day,
                             soil.hmet_start_hour, 0, 0.0);
    state.soil.hmet_end_time = julian_date(soil.hmet_end_year, soil.hmet_end_month,
                                           soil.hmet_end_day, soil.hmet_end_hour, 0, 0.0);
    run.start_yyyymmdd = soil.hmet_start_year * 10000 + soil.hmet_start_month * 100 +
                         soil.hmet_start_day;
    run.start_hhmm = soil.hmet_start_hour * 100;
    if (p.start_date_year != 0) {
      run.given_start = 1;
      run.year = p.start_date_year;
      run.month = p.start_date_month;
      run.day = p.start_date_day;
      run.hour = p.start_time_hour;
      run.minute = p.start_time_minute;
      run.seconds = 0.0;
      run.start_yyyymmdd = run.year * 10000 + run.month * 100 + run.day;
      run.start_hhmm = run.hour * 100 + run.minute;
      run.current_time = julian_date(run.year, run.month, run.day, run.hour, run.minute, 0.0);
      // The hours of the meteorology drive the run: it cannot start outside them.
      if (run.current_time < run.origin - run.tolerance ||
          run.current_time > state.soil.hmet_end_time + run.tolerance) {
        raise_message(
            "Error: the start date %d/%02d/%02d %02d:%02d of START_DATE and START_TIME lies "
            "outside the hydrometeorological data, %d/%02d/%02d %02d:00 to %d/%02d/%02d "
            "%02d:00.\n",
            run.year, run.month, run.day, run.hour, run.minute, soil.hmet_start_year,
            soil.hmet_start_month, soil.hmet_start_day, soil.hmet_start_hour,
            soil.hmet_end_year, soil.hmet_end_month, soil.hmet_end_day, soil.hmet_end_hour);
        return;
      }
      run.first_event_after_start = first_event_at_or_after(run, run.current_time);
      if (run.first_event_after_start == 0) {
        raise_message(
            "Error: the start date %d/%02d/%02d %02d:%02d of START_DATE and START_TIME lies after "
            "the start of the last precipitation event.\n",
            run.year, run.month, run.day, run.hour, run.minute);
        return;
      }
    }
  } else if (uniform) {
    run.origin = in.start_time;
  } else {
    run.origin = event_start(run, 1);
  }
  const int first_event = run.given_start ? run.first_event_after_start : 1;

  // 2. Step outlet discharge and flags; the step in days.
  run.q_out = 0.0;
  run.exchange_pending = 0;
  run.rain_on = 0;
  run.dt_days = run.dt / 86400.0;

  // 3. Current time.
  if (!run.given_start) run.current_time = run.origin;
  if (in.qtr) {
    int k = event_mode ? in.qtr_event_num : 1;
    if (k < 1 || k > run.num_events) {
      raise_message("Error: the framework asked for event %d, but the run has %d events.\n", k,
                    run.num_events);
      return;
    }
    run.current_time = event_start(run, k);
  }
  const double now = run.current_time;

  // 4. Overland clock, with the nutrient overland layer's copy.
  process_clock& ov = run.overland;
  ov.set_interval(p.timestep);
  if (long_term && dry_start) {
    ov.next = event_start(run, 1);
  } else {
    ov.next = now;
  }
  ov.last = ov.next - ov.interval_d;
  if (run.given_start) {
    ov.last = event_start(run, first_event);
    ov.next = ov.last + ov.interval_d;
  }
  if (event_mode) {
    ov.next = now;
    ov.last = ov.next - ov.interval_d;
  }
  if (in.nutrients) copy_clock(run.nsm_overland, ov);

  // 5. Hourly meteorology of long-term runs.
  if (long_term) {
    run.hmet.interval_s = 3600.0;
    run.hmet.interval_d = hour_days;
    run.hmet.next = now;
    run.hmet.last = now - hour_days;
  }

  // 6. Groundwater and Sacramento.
  if (in.gw_simulation) {
    // The step tests the clock only at main steps: an interval off their
    // grid would never fall due, so it is rounded up to whole main steps.
    const double steps = std::max(1.0, std::ceil(in.settings.gw_timestep / run.dt - 1e-9));
    run.groundwater.set_interval(steps * run.dt);
    run.groundwater.last = now;
    run.groundwater.next = now + run.groundwater.interval_d;
  }
  if (in.sacramento) {
    run.sacramento.interval_s = 3600.0;
    run.sacramento.interval_d = 1.0 / 24.0;
    run.sacramento.next = now;
    run.sacramento.last = now - run.sacramento.interval_d;
  }

  // 7. Infiltration.
  process_clock& inf = run.infiltration;
  if (any_infiltration) {
    if (long_term && in.inf_richards && dry_start) {
      inf.interval_s = run.hmet.interval_s;
      inf.interval_d = run.hmet.interval_d;
      if (in.gw_simulation && run.groundwater.interval_s < inf.interval_s) {
        inf.interval_s = run.groundwater.interval_s;
        inf.interval_d = run.groundwater.interval_d;
      }
    } else {
      inf.interval_s = ov.interval_s;
      inf.interval_d = ov.interval_d;
    }
    if (long_term && !in.inf_richards && dry_start) {
      inf.last = event_start(run, first_event);
      inf.next = inf.last + inf.interval_d;
    } else {
      inf.last = now;
      inf.next = inf.last + inf.interval_d;
      if (in.inf_redist) run.redist_start = 1;
    }
    if (event_mode) {
      inf.last = now;
      inf.next = inf.last + run.dt_days;
    }
    if (in.gw_simulation && run.groundwater.interval_s > inf.interval_s && !in.inf_redist &&
        !in.inf_layered_soil) {
      run.groundwater.interval_s = inf.interval_s;
      run.groundwater.interval_d = inf.interval_d;
      run.groundwater.last = now;
      run.groundwater.next = now + inf.interval_d;
    }
  }

  // 8. Evapotranspiration withdrawal.
  if (in.inf_redist || in.inf_layered_soil) {
    if (long_term && dry_start) {
      run.evap.interval_s = 3600.0;
      run.evap.interval_d = 1.0 / 24.0;
      run.evap.last = now;
      run.evap.next = now + 1.0 / 24.0;
    } else {
      run.evap = inf;
    }
    if (run.given_start) {
      run.evap.next = now;
      run.evap.last = now - run.dt_days;
    }
  }

  // 9. Rain.
  if (uniform) {
    run.uniform_rain_steps = 1;
    run.event_index = 1;
    run.event_data_flag = 1;
    run.rain_on = 1;
    // A duration that ends within a step rains on that step for the share
    // it covers, so the rain that falls is the rate times the duration.
    const double steps = in.rain_duration * 60.0 / p.timestep;
    run.rain_periods = std::max(1, static_cast<int>(std::ceil(steps - 1e-9)));
    run.rain_last_share = std::clamp(steps - (run.rain_periods - 1), 0.0, 1.0);
    run.next_rain_time = now;
    run.event_start_time = now;
  } else {
    int k = 1;
    if (event_mode) k = in.qtr_event_num;
    if (run.given_start) {
      k = first_event;
      run.event_index = k - 1;
    }
    run.next_rain_time = event_start(run, k);
    run.event_data_flag = 0;
  }
  run.event_end = 0;

  // 10. Uniform rain needs a start date.
  if (uniform && p.start_date_year == 0) {
    raise_message(
        "You did not specify the starting date and time in the\n"
        "project file.  You must do this for simulations with\n"
        "uniform precipitation using the START_DATE and START_TIME\n"
        "cards.  Edit the project file.   Program terminated.\n");
    return;
  }

  // 11. Channel routing, with the channel constituents' copies.
  channel_state& chan = state.channel;
  if (in.channel_routing) {
    process_clock& ch = run.channel;
    ch.set_interval(run.dt);
    chan.step_minutes = run.dt / 60.0;
    // The Sacramento basin gives base flow from the first hour on, so the
    // channels that carry it start with it, not with the first storm.
    if (long_term && !chan.restart_mark && !in.sacramento) {
      ch.last = event_start(run, 1);
    } else if (long_term && in.sacramento && !run.given_start) {
      ch.last = now;
    } else {
      ch.last = run.origin;
    }
    if (run.given_start) ch.last = event_start(run, first_event);
    ch.next = ch.last + ch.interval_d;
    if (chan.channel_lakes && chan.lakes_start_high) {
      ch.set_interval(run.dt < 60.0 ? 60.0 : run.dt);
      ch.last = now;
      ch.next = ch.last + ch.interval_d;
      chan.restart_mark = 1;
      chan.lake_start_flag = 1;
    }
    if (event_mode) {
      chan.restart_mark = 1;
      ch.last = now;
      ch.next = ch.last + run.dt_days;
    }
    if (chan.constituents || in.chan_con_trans) copy_clock(run.chan_contam, ch);
    if (in.nutrients) copy_clock(run.nsm_channel, ch);
  }

  // 12. Storm sewer.
  if (in.settings.storm_sewer_given) {
    process_clock& ss = run.storm_sewer;
    ss.set_interval(p.timestep);
    ss.last = now;
    if (long_term && !state.soil.saturated_surface && !state.subsurface.gw_coupling) {
      ss.last = event_start(run, 1);
    }
    if (long_term && run.given_start) ss.last = event_start(run, first_event);
    ss.next = ss.last + ss.interval_d;
  }

  // 13. Constituent clocks follow the processes that carry them.
  if (in.ov_con_trans) {
    copy_clock(run.ov_contam, ov);
    copy_clock(run.ov_contam_inf, inf);
    if (in.settings.ov_point_source_given) {
      run.ov_contam.last = now;
      ov.last = now;
      inf.last = now;
    }
  }
  if (in.soil_con_trans) {
    copy_clock(run.soil_contam, (in.inf_redist || in.inf_layered_soil) ? run.evap : inf);
  }

  // 14. The first pass starts here.
  run.step = 0;
  run.event_step = 0;
  run.chan_step_count = 0;
  run.pass = 0;
  run.run_flag = 1;
  run.start_time = now;
  run.single_event_end = run.origin + run.tot_time / 1440.0;
}

void advance_clock(model_state& state) {
  run_control& run = state.run;
  if (run.pass > 0) {
    ++run.step;
    ++run.event_step;
    ++run.chan_step_count;
    run.current_time = run.step * run.dt_days + run.start_time;
    run.elapsed_minutes = run.step * run.dt / 60.0;
  }
  ++run.pass;
  calendar_date(run.current_time, &run.year, &run.month, &run.day, &run.hour, &run.minute,
                &run.seconds);
  run.whole_seconds = static_cast<int>(run.seconds);
  run.day_of_year = day_of_year(run.year, run.month, run.day);
}
