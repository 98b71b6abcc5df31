// The start of a precipitation event: the event's data read from the file
// where the reader stands, turned into rates per gauge and period, and the
// nearest gauges found for the cells; with the check of a long-term event's
// start against the meteorological data.

#include <cmath>
#include <cstdio>

#include "calibration/analyzers.h"
#include "core/error_state.h"
#include "core/julian.h"
#include "run/model_state.h"
#include "run/progress.h"
#include "run/sim_clock.h"
#include "surface/precip_file.h"
#include "surface/radar_grid.h"
#include "surface/rain_spread.h"
#include "surface/surface_steps.h"

namespace {

constexpr double long_period = 86400.0;  // s; longer periods are worth a warning

double& value_at(raingage_data& rd, int gauge, int line) {
  return rd.values[std::size_t(gauge) * rd.value_stride + line];
}

void print_to_summary(const safe_file& summary, const char* text) {
  if (summary.is_open() && summary.stream == summary.shadow) std::fputs(text, summary.stream);
}

// The notices of an event read from the file.
void announce_reading(model_state& state) {
  const input_state& in = state.input;
  const safe_file& summary = state.output.summary;
  char text[path_capacity + 128];
  if (in.long_term) {
    std::printf("reading precip. data for event %3d from file: %s\n", state.run.event_index + 1,
                in.precip_file.c_str());
    std::snprintf(text, sizeof text, "---reading precip. data for event %3d from file: %s\n",
                  state.run.event_index + 1, in.precip_file.c_str());
    print_to_summary(summary, text);
  } else {
    std::snprintf(text, sizeof text, "reading precip data from file: %s\n", in.precip_file.c_str());
    if (!in.super_quiet) std::fputs(text, stdout);
    print_to_summary(summary, text);
  }
  print_to_summary(summary, "\n\n");
  if (summary.is_open() && summary.stream == summary.shadow) std::fflush(summary.stream);
}

// Reads as many events as this start needs; the result of the last read.
int read_events(model_state& state) {
  const input_state& in = state.input;
  run_control& run = state.run;
  raingage_data& rd = state.surface.raingage;
  int count = 1;
  if (in.qtr && in.qtr_event) {
    if (!in.super_quiet) {
      std::printf("Searching through precip input file for QTR event %d\n", in.qtr_event_num);
    }
    count = in.qtr_event_num;
    run.event_index = in.qtr_event_num - 1;
  } else if (in.long_term && run.given_start && rd.file_reads == 0) {
    count = run.event_index + 1;  // the events before the start date are passed over
  }
  ++rd.file_reads;
  int result = 0;
  for (int k = 0; k < count; ++k) {
    result = read_precip_event(rd, state.input.files.precip, true);
    if (result != 1) break;
    if (rd.rates) ++rd.nrpds;
  }
  return result;
}

// No event was found where one should start: the run ends.
void end_of_events(model_state& state) {
  run_control& run = state.run;
  raingage_data& rd = state.surface.raingage;
  const input_state& in = state.input;
  run.event_data_flag = 2;
  rd.start_year = 1000;
  run.run_flag = 0;
  if (run.event_index == 0) {
    std::printf(
        "\n**********************************\n"
        "Data was not correctly read from the rainfall input file.\n"
        "Verify the file format.\n"
        "***********************************\n");
  }
  if (in.long_term && !run.progress_off) {
    std::printf(
        "Precip data for event %d was not found in file: %s\n"
        "VALTO assumes this means all events have been simulated.\n"
        "Program terminating normally.\n",
        run.event_index + 1, in.precip_file.c_str());
  }
}

// The event in hand becomes the current one.
void start_event(model_state& state) {
  run_control& run = state.run;
  raingage_data& rd = state.surface.raingage;
  set_event_start_date(rd);
  rd.rain_start = line_time(rd, 1);
  rd.rain_end = line_time(rd, rd.lines);
  rd.period = 1;
  run.next_rain_time = rd.rain_start;
  run.event_start_time = rd.rain_start;
  ++run.event_index;
  run.event_data_flag = 1;
}

}  // namespace

void convert_gage_values(raingage_data& rd, int event) {
  if (!(rd.radar == 1 || rd.gages || rd.accum)) return;
  for (int i = 1; i <= rd.nrpds - 1; ++i) {
    // Dates are whole minutes, so the length rounds to whole seconds exactly.
    const double seconds = std::round((line_time(rd, i + 1) - line_time(rd, i)) * 86400.0);
    if (seconds > long_period) {
      std::printf("WARNING: you have a long delta t in your precip file\n");
    }
    const double hours = seconds / 3600.0;
    for (int g = 1; g <= rd.nrgag; ++g) {
      const double end_value = value_at(rd, g, i + 1);
      double rate = end_value;
      if (rd.radar != 1) {
        const double depth = rd.gages ? end_value : end_value - value_at(rd, g, i);  // mm
        // A period of no length rains nothing, unless its depth is negative.
        rate = hours > 0.0 ? depth / hours : (depth < 0.0 ? depth : 0.0);
      }
      value_at(rd, g, i) = rate;
      if (rate < -1e-16) {
        raise_message(
            "You have a negative precip value for gage %d, rain period %d\n"
            "Check your rainfall inputs for event %d \n",
            g, i, event);
        return;
      }
    }
  }
}

int check_gage_hmet_dates(int hmet_start_year, int hmet_start_month, int hmet_start_day,
                          int hmet_start_hour, int hmet_end_year, int hmet_end_month,
                          int hmet_end_day, int hmet_end_hour, int event_year, int event_month,
                          int event_day, int event_hour) {
  const long sy = hmet_start_year, sm = hmet_start_month, sd = hmet_start_day, sh = hmet_start_hour;
  const long ey = hmet_end_year, em = hmet_end_month, ed = hmet_end_day, eh = hmet_end_hour;
  const long y = event_year, m = event_month, d = event_day, h = event_hour;
  constexpr const char* dates_tail = "Program terminating.  Check your dates.\n";
  constexpr const char* times_tail = "Program terminating.  Check your times and dates.\n";
  char text[1024];
  text[0] = '\0';
  const char* tail = dates_tail;

  if (y < sy) {
    std::snprintf(text, sizeof text,
                  "\nRaingage Data starts in %ld, hydromet data doesn't start until %ld.\n", y, sy);
  } else if (y > ey) {
    std::snprintf(text, sizeof text, "\nRaingage Data starts in %ld, hydromet data ends in %ld.\n",
                  y, ey);
  }
  if (text[0] == '\0' && y == sy) {
    if (m < sm) {
      std::snprintf(text, sizeof text,
                    "\nRaingage Data starts in month %ld of %ld while hmet data starts in\n"
                    "month %ld of %ld\n",
                    m, y, sm, sy);
    } else if (m == sm && d < sd) {
      std::snprintf(text, sizeof text,
                    "\nRaingage data starts on day %ld of month %ld in year %ld\n"
                    "while the hmet data begins on day %ld of month %ld in year %ld\n",
                    d, m, y, sd, sm, sy);
    } else if (m == sm && d == sd && h < sh) {
      std::snprintf(text, sizeof text,
                    "\nRaingage data starts on hour %ld day %ld month %ld in year %ld\n"
                    "while the hmet data begins on hour %ld day %ld of month %ld in year %ld\n",
                    h, d, m, y, sh, sd, sm, sy);
      tail = times_tail;
    }
  }
  if (text[0] == '\0' && y == ey) {
    if (m > em) {
      std::snprintf(text, sizeof text,
                    "\nRaingage Data starts in month %ld of %ld while hmet data ends in\n"
                    "month %ld of %ld\n",
                    m, y, em, ey);
    } else if (m == em && d > ed) {
      std::snprintf(text, sizeof text,
                    "\nRaingage data starts on day %ld of month %ld in year %ld\n"
                    "while the hmet data ends on day %ld of month %ld in year %ld\n",
                    d, m, y, ed, em, ey);
    } else if (m == em && d == ed && h > eh) {
      std::snprintf(text, sizeof text,
                    "\nRaingage data starts on hour %ld day %ld month %ld in year %ld\n"
                    "while the hmet data ends on hour %ld day %ld of month %ld in year %ld\n",
                    h, d, m, y, eh, ed, em, ey);
      tail = times_tail;
    }
  }
  if (text[0] == '\0') return 1;
  print_message(summary_file, text);
  print_message(summary_file, tail);
  return 0;
}

bool check_event_dates(const model_state& state, int k, int year, int month, int day, int hour) {
  const soil_state& soil = state.soil;
  if (check_gage_hmet_dates(soil.hmet_start_year, soil.hmet_start_month, soil.hmet_start_day,
                            soil.hmet_start_hour, soil.hmet_end_year, soil.hmet_end_month,
                            soil.hmet_end_day, soil.hmet_end_hour, year, month, day, hour)) {
    return true;
  }
  raise_message("Error: VALTO failed on date check for precip event %d\n", k);
  return false;
}

void read_precip_step(model_state& state) {
  run_control& run = state.run;
  const input_state& in = state.input;
  raingage_data& rd = state.surface.raingage;
  if (run.event_data_flag != 0) return;
  // Framework event mode reads its one event at the first pass.
  const bool event_mode = in.qtr && in.qtr_event && rd.file_reads == 0;
  const bool at_next_start =
      std::fabs(run.current_time - event_start(run, run.event_index + 1)) < run.tolerance;
  if (!(at_next_start || event_mode) || run.event_index >= run.num_events) return;

  state.calib.analyzers.notify_all(analyzer_event_start);
  // A long-term event still running when the next one starts is finished
  // first (not the events passed over before a given start date).
  const int passed_over = run.given_start ? run.first_event_after_start - 1 : 0;
  if (in.long_term && run.event_index > passed_over &&
      run.events_finished < run.event_index - passed_over) {
    run.event_end = 1;
    finish_event(state);
    if (error_state.stop_flag) return;
  }
  run.rain_on = 1;
  run.rain_active = 1;
  if (!in.precip_from_file) return;

  announce_reading(state);
  const int result = read_events(state);
  if (result == -1) {
    raise_message(
        "Unexpected end of file in rain gauge data file.\n"
        "Check the format of the data file.\nProgram terminated.");
    return;
  }
  if (result == 0) {
    if (error_state.stop_flag) return;
    end_of_events(state);
    return;
  }
  start_event(state);
  if (rd.radar == 2) {
    setup_radar_grid(rd.first_radar_name, rd.radar_grid, state.grid);
    if (error_state.stop_flag) return;
  }

  if (in.long_term && !check_event_dates(state, run.event_index, rd.start_year, rd.start_month,
                                         rd.start_day, rd.start_hour)) {
    return;
  }
  convert_gage_values(rd, run.event_index);
  if (error_state.stop_flag) return;

  if (rd.nrgag > 1 && in.nearest_gauge) {
    find_neighbor(state.grid, rd.nrgag, rd.gage_x.data(), rd.gage_y.data(), rd.nearest.data());
  }
}
