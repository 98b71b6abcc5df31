#pragma once
// The core's part of the run record: the clock and its process clocks, the
// run and event flags, the event table, the outlet peak and the progress
// counters. Every time is a Julian date in days; intervals are kept in
// seconds and in days.

#include <vector>

struct model_state;

// Two clock readings closer than this are the same instant: 0.01 s in days.
constexpr double time_tolerance_days = 1.1574074074074074e-7;

// One process's timing. The process acts in the pass whose current time has
// reached next (within the tolerance), then moves last to that time and next
// on by its interval.
struct process_clock {
  double interval_s = 0.0;  // s
  double interval_d = 0.0;  // days
  double last = 0.0;        // Julian days
  double next = 0.0;        // Julian days

  void set_interval(double seconds) {
    interval_s = seconds;
    interval_d = seconds / 86400.0;
  }
  bool due(double now) const {
    double d = next - now;
    return (d < 0 ? -d : d) < time_tolerance_days;
  }
};

struct run_control {
  // Main step and output intervals (setup_time_steps)
  double dt = 0.0;         // main step, s
  double dt_days = 0.0;    // main step, days
  int hyd_interval = 0;    // steps between time-series rows, at least 1
  int map_interval = 0;    // steps between map outputs, at least 1
  int tot_time = 0;        // single-event run length, minutes
  double latitude = 0.0;   // degrees
  double longitude = 0.0;  // degrees
  double gmt = 0.0;        // offset from GMT, hours
  int gmt_given = 0;
  int qout_cfs = 0;        // discharges shown in cfs
  int progress_off = 0;    // QUIET: no progress line
  double cfs_factor = 35.314667;  // cubic feet per cubic metre, progress line and writers

  // Clock
  double origin = 0.0;        // Julian date the run starts from
  double start_time = 0.0;    // clock value at the end of set-up
  double current_time = 0.0;  // Julian days
  double tolerance = time_tolerance_days;  // time-match tolerance, days
  int step = 0;               // 0 in the first pass; time-series rows test it
  int event_step = 0;         // steps since the event began
  int chan_step_count = 0;    // third step count, read by the channel step
  int pass = 0;               // 1 in the first pass; maps test it
  double elapsed_minutes = 0.0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;  // calendar of current_time
  double seconds = 0.0;
  int whole_seconds = 0;
  int day_of_year = 0;  // 1 on 1 January
  int start_yyyymmdd = 0;  // year*10000 + month*100 + day of the start
  int start_hhmm = 0;      // hour*100 + minute of the start
  int given_start = 0;          // a long-term run starts at its own START_DATE
  int first_event_after_start = 0;  // first event starting at or after that date
  double single_event_end = 0.0;    // origin + TOT_TIME, Julian days

  // Process clocks
  process_clock overland;
  process_clock infiltration;
  process_clock channel;
  process_clock hmet;          // hourly meteorology of long-term runs
  process_clock evap;          // evapotranspiration withdrawal
  process_clock groundwater;
  process_clock sacramento;
  process_clock storm_sewer;
  process_clock ov_contam;     // overland constituents (follow overland)
  process_clock ov_contam_inf; // overland constituents (follow infiltration)
  process_clock soil_contam;   // soil-layer constituents
  process_clock chan_contam;   // channel constituents
  process_clock nsm_overland;  // nutrient overland layer
  process_clock nsm_channel;   // nutrient channel routing

  // Run and event flags; the flag names are listed with the model state
  int run_flag = 0;          // 1 while the time loop goes on; read after each pass
  int exchange_pending = 0;  // raised at an event end for the framework exchange
  int event_end = 0;         // raised at an event end for finish_event
  int rain_on = 0;           // an event's rain is in progress
  int rain_active = 0;       // rain is being applied this event
  int event_data_flag = 0;   // 0 none or over, 1 read, 2 no more events, 3 over after 2
  int redist_start = 0;      // redistribution re-initialises at the first pass

  // Events
  int num_events = 0;               // events of the run
  int event_index = 0;              // current event, from 1; 0 before the first
  std::vector<double> event_starts; // Julian start of event k at [k], k = 1..num_events
  double event_start_time = 0.0;    // start of the current event
  int uniform_rain_steps = 0;       // uniform-rain step counter
  int rain_periods = 0;             // uniform rain: steps of rain, the last maybe in part
  double rain_last_share = 1.0;     // uniform rain: share of its last step that it covers
  double next_rain_time = 0.0;      // next rain-period change, Julian days
  int events_finished = 0;

  // Outlet and its peak
  double q_out = 0.0;        // outlet discharge of the step, m3/s
  double q_peak = 0.0;       // event peak outlet discharge, m3/s
  int peak_date[6] = {};     // year, month, day, hour, minute, whole seconds of the peak
  double peak_time = 0.0;    // Julian days
  double event_peak_out = 0.0;    // peak taken for output at the event end, m3/s
  double event_volume_out = 0.0;  // outflow volume taken for output at the event end, m3

  int progress_lines = 0;  // progress lines since the last forced flush
  int olake_warning_given = 0;  // overland-plus-channel-lake warning printed once
};

// Routines of other subsystems that the core's own steps call. The core links
// no subsystem, so the driver installs them into the record; a service that is
// needed but not installed stops the run as not available.
using state_routine = void (*)(model_state&);

struct run_services {
  state_routine richards_event_start = nullptr;    // soil columns caught up to an event start
  state_routine soil_event_start = nullptr;        // redistribution reset, Richards starting water
  state_routine channel_event_start = nullptr;     // initial node flow areas
  state_routine constituent_event_start = nullptr; // event-start constituent masses
  state_routine soil_event_end = nullptr;          // infiltrated volume, soil balances
  state_routine channel_event_end = nullptr;       // lake extents, channel balance
  state_routine constituent_event_end = nullptr;   // constituent event balances
  state_routine write_event_summary = nullptr;     // event runoff summary
};
