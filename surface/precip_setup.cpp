// Start-up of the precipitation input: the optimisation output file, and for
// a precipitation file the counting pass over its events, which notes each
// event's start, sizes every array an event needs and leaves the file at its
// start for the time loop. A long-term run first reads its meteorology
// through once, which gives the run its first and last hours.

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string>

#include "core/error_state.h"
#include "core/julian.h"
#include "run/model_state.h"
#include "soil/read_hmet.h"
#include "surface/precip_file.h"
#include "surface/surface_steps.h"

namespace {

// The optimisation output: one row per event, written by finish_event.
void open_optimization_output(model_state& state) {
  const input_state& in = state.input;
  const std::string name = in.optimize_file.empty() ? "valto_optim.out" : in.optimize_file;
  safe_file& file = state.calib.optim_out;
  if (!file.open(name.c_str(), "w")) {
    std::fprintf(stderr, "Problem opening optimization output file named:%s for writing\n",
                 name.c_str());
    raise_error(4000);
    return;
  }
  const std::string shown = file.final_name();
  if (!in.super_quiet)
    std::fprintf(stderr, "writing output for optimization to file %s\n", shown.c_str());
  const safe_file& summary = state.output.summary;
  if (summary.is_open() && summary.stream == summary.shadow) {
    std::fprintf(summary.stream, "writing output for optimization to file %s\n", shown.c_str());
  }
}

void print_to_summary(const safe_file& summary, const char* text) {
  if (summary.is_open() && summary.stream == summary.shadow) std::fputs(text, summary.stream);
}

// Screen (unless SUPER_QUIET) and summary file.
void notice(model_state& state, const char* text) {
  if (!state.input.super_quiet) std::fputs(text, stdout);
  print_to_summary(state.output.summary, text);
}

bool framework_summary_asked(const input_state& in) {
  return in.qtr && in.qtr_event && in.qtr_event_num == 0;
}

// Reads every event once; the count, or -1 after a stop.
int count_events(model_state& state) {
  run_control& run = state.run;
  raingage_data& rd = state.surface.raingage;
  safe_file& file = state.input.files.precip;
  run.event_starts.assign(1, 0.0);
  int count = 0;
  int result = 0;
  while ((result = read_precip_event(rd, file, false)) == 1) {
    ++count;
    run.event_starts.push_back(line_time(rd, 1));
    set_event_start_date(rd);
    if (rd.file_list) {
      rd.any_radar_files = 1;
      const int values = rd.radar_grid.rows * rd.radar_grid.cols;
      rd.radar_grid.max_values = std::max(rd.radar_grid.max_values, values);
    }
  }
  if (error_state.stop_flag) return -1;
  if (result == -1) {
    raise_message(
        "Unexpected end of file in rain gage data file.\n"
        "Check the format of the data file.\nProgram terminated."
        "Check rain event %d, event after %d %d %d \n",
        count + 1, rd.start_year, rd.start_month, rd.start_day);
    return -1;
  }
  if (count == 0) {
    raise_message(
        "Error: the precipitation file %s holds no event: no EVENT card was found.\n", file.path);
    return -1;
  }
  return count;
}

// Arrays every event of the file fits in, so that the time loop allocates
// nothing when it reads an event.
void size_event_arrays(model_state& state) {
  raingage_data& rd = state.surface.raingage;
  const std::size_t cells = std::size_t(state.grid.cells) + 1;
  if (rd.any_radar_files) {
    rd.radar_names.assign(std::size_t(radar_name_slots) * radar_name_capacity, '\0');
    rd.radar_grid.precip_data.reserve(rd.radar_grid.max_values);
    rd.radar_grid.valto_to_precip.assign(cells, 0);
  }
  if (state.input.nearest_gauge && rd.max_gauges > 1) rd.nearest.assign(cells, 0);
}

// Framework mode: the events' starts to the exchange file, and no run.
void write_framework_summary(model_state& state, safe_file& out, int count) {
  const run_control& run = state.run;
  std::fprintf(out.stream, "%d\n", count);
  for (int k = 1; k <= count; ++k) {
    int y, m, d, h, mi;
    double s;
    calendar_date(run.event_starts[k], &y, &m, &d, &h, &mi, &s);
    std::fprintf(out.stream, "%4d %2d %2d %2d %2d\n", y, m, d, h, mi);
  }
  out.close();
  raise_message(
      "VALTO wrote precipitation data event summary to file: exchange/QTR_PRECIP.SUM\n"
      "No simulations performed.  VALTO terminated.\n\n");
}

void setup_precip_file(model_state& state) {
  input_state& in = state.input;
  run_control& run = state.run;
  raingage_data& rd = state.surface.raingage;

  // The framework's event summary is the only result of a run that stops
  // after writing it, so it is written in place.
  safe_file framework_out;
  if (framework_summary_asked(in) &&
      !framework_out.open("exchange/QTR_PRECIP.SUM", "w", file_commit::at_once)) {
    raise_message("Unable to open file QTR_PRECIP.SUM for writing. Program terminated\n");
    return;
  }

  const int count = count_events(state);
  if (count < 0) return;
  rd.events_in_file = count;
  if (!run.progress_off) {
    char text[160];
    std::fputs("End of precipitation input file reached.\n", stdout);
    if (in.qtr) {
      std::snprintf(text, sizeof text, "Precip. file contains %d events.\n", count);
    } else if (in.long_term) {
      std::snprintf(text, sizeof text, "Precip. file contains %d events\n", count);
    } else {
      std::snprintf(text, sizeof text,
                    "Precip. file contains %d events, simulating first event only\n"
                    "because LONG_TERM project file card not set in project file.\n",
                    count);
    }
    std::fputs(text, stdout);
  }
  run.num_events = (in.long_term || in.qtr) ? count : 1;

  size_event_arrays(state);
  rewind_precip_file(rd, in.files.precip);
  // No event in hand until the time loop reads the first.
  rd.nrpds = 0;
  rd.lines = 0;
  rd.period = 0;

  if (framework_summary_asked(in)) {
    write_framework_summary(state, framework_out, count);
    return;
  }
  if (in.qtr && in.qtr_event && in.qtr_event_num > count) {
    raise_message(
        "\n\nQTR has requested that VALTO run event %d.\n"
        "The precip file specified in the project file: %s\n"
        "contains only %d events.  PROGRAM TERMINATED.\n\n",
        in.qtr_event_num, in.precip_file.c_str(), count);
    return;
  }
  if (in.qtr) in.long_term = 0;  // each framework call runs one event
}

// The first pass over the hourly meteorology: the file checked and counted,
// its first and last hours (an hour 24 rolled to 0 of the next day) kept for
// the clocks and the events' date checks, and the file rewound for the hours.
void setup_hmet(model_state& state) {
  soil_state& soil = state.soil;
  hmet_record& record = soil.longterm.hmet;
  safe_file& file = state.input.files.hydromet;
  record.read_number = 1;
  const int result = read_hmet_data(file, record.read_number, record, soil.longterm.reader,
                                    hmet_settings_of(state.input), state.grid);
  if (error_state.stop_flag) return;
  if (result != 0) {
    raise_message("Error: the hydrometeorological file %s could not be read.\n", file.path);
    return;
  }
  soil.hmet_start_year = record.year;
  soil.hmet_start_month = record.month;
  soil.hmet_start_day = record.day;
  soil.hmet_start_hour = record.hour;
  roll_hour_24(soil.hmet_start_year, soil.hmet_start_month, soil.hmet_start_day,
               soil.hmet_start_hour);
  soil.hmet_end_year = record.end_year;
  soil.hmet_end_month = record.end_month;
  soil.hmet_end_day = record.end_day;
  soil.hmet_end_hour = record.end_hour;
  roll_hour_24(soil.hmet_end_year, soil.hmet_end_month, soil.hmet_end_day, soil.hmet_end_hour);
  record.read_number = 2;
}

// An event of a long-term run that starts before the meteorology would
// never be reached by the clock, which starts with the meteorology; it is
// checked here, as every other event is at its start (events before a
// START_DATE are passed over, not run).
void check_early_events(model_state& state) {
  const run_control& run = state.run;
  const soil_state& soil = state.soil;
  const run_parameters& p = state.input.params;
  const double hmet_start = julian_date(soil.hmet_start_year, soil.hmet_start_month,
                                        soil.hmet_start_day, soil.hmet_start_hour, 0, 0.0);
  const double run_start =
      p.start_date_year != 0 ? julian_date(p.start_date_year, p.start_date_month,
                                           p.start_date_day, p.start_time_hour,
                                           p.start_time_minute, 0.0)
                             : -std::numeric_limits<double>::infinity();
  for (int k = 1; k <= run.num_events; ++k) {
    const double t = run.event_starts[k];
    if (t > hmet_start - run.tolerance || t < run_start - run.tolerance) continue;
    int year, month, day, hour, minute;
    double seconds;
    calendar_date(t, &year, &month, &day, &hour, &minute, &seconds);
    if (!check_event_dates(state, k, year, month, day, hour)) return;
  }
}

}  // namespace

void setup_precip_and_hmet(model_state& state) {
  input_state& in = state.input;
  if (in.long_term) {
    setup_hmet(state);
    if (error_state.stop_flag != 0) return;
  }
  state.run.event_index = 0;
  if (in.optimize) {
    open_optimization_output(state);
    if (error_state.stop_flag != 0) return;
  }
  if (state.run.progress_off && in.precip_from_file) {
    char text[path_capacity + 64];
    std::snprintf(text, sizeof text, "using precipitation data from file: %s\n",
                  in.precip_file.c_str());
    notice(state, text);
    if (framework_summary_asked(in)) {
      notice(state, "\n\nReading precip file to write QTR summary in file: QTR_PRECIP.SUM\n");
    }
  }
  if (in.uniform_rain) {
    if (in.qtr) in.long_term = 0;
    return;
  }
  setup_precip_file(state);
  if (error_state.stop_flag == 0 && in.long_term) check_early_events(state);
}
