// One row of every time-series output at each hydrograph interval: so far the
// outlet hydrograph and its six-digit twin. Each row is flushed, so a run
// stopped part-way keeps every row written before the stop.

#include <cstdio>

#include "core/model_state.h"
#include "core/not_available.h"
#include "core/parallel_context.h"
#include "output/output_steps.h"
#include "output/timeseries_rows.h"

namespace {

// Minutes in a year: the decimal-year column takes every year 1900 + 4k as a
// leap year.
constexpr double leap_year_minutes = 527040.0;
constexpr double common_year_minutes = 525600.0;

// Series whose rows this version does not write. Their cards are refused or
// cleared when the project is read, so none is open in a run; one that is
// open here would otherwise stay empty without a word.
bool unwritten_series_open(const model_state& state) {
  const output_state& o = state.output;
  const safe_file* files[] = {
      &o.hyd_location,  &o.gwflux_location,     &o.celldepdis_location, &o.superlink_junc_flow,
      &o.superlink_node_flow, &o.lake_output,   &o.dep_location,        &o.con_location,
      &o.mass_location, &o.theta_location,      &o.well_level,          &o.chan_depth,
      &o.chan_discharge, &o.chan_stage,         &o.chan_velocity,       &o.chan_sed_flux,
      &o.pipe_head,     &o.pipe_tile,           &o.pipe_flow,           &state.input.q7_input_file,
  };
  for (const safe_file* file : files)
    if (file->is_open()) return true;
  return false;
}

}  // namespace

double long_term_time(const run_control& run, bool strict_julian) {
  if (strict_julian) return run.current_time;
  const double minutes_in_year =
      (run.year - 1900) % 4 == 0 ? leap_year_minutes : common_year_minutes;
  return run.year + (run.day_of_year * 1440.0 + run.hour * 60.0 + run.minute) / minutes_in_year;
}

double outlet_row_time(const outlet_row_form& form, const run_control& run) {
  if (form.long_term) return long_term_time(run, form.strict_julian);
  return form.strict_julian ? run.current_time : run.elapsed_minutes;
}

void write_outlet_row(std::FILE* file, const outlet_row_form& form, double time, double q) {
  if (form.long_term) {
    std::fprintf(file, "%16.8lf %11.4lf\n", time, q);
  } else if (form.strict_julian) {
    std::fprintf(file, form.cfs ? "%16.8lf %10.3lf\n" : "%16.8lf %9.3lf\n", time, q);
  } else {
    std::fprintf(file, form.cfs ? "%8.2lf %10.3lf\n" : "%8.2lf %9.3lf\n", time, q);
  }
}

void write_timeseries_step(model_state& state) {
  const run_control& run = state.run;
  if (run.hyd_interval < 1 || run.step % run.hyd_interval != 0) return;
  if (parallel.partition_index != 0) return;
  if (unwritten_series_open(state)) {
    raise_not_available("write_timeseries_step");
    return;
  }

  output_state& out = state.output;
  const input_state& in = state.input;
  outlet_row_form form;
  form.long_term = in.long_term != 0;
  form.strict_julian = in.settings.strict_julian_date != 0;
  form.cfs = run.qout_cfs != 0;
  const double time = outlet_row_time(form, run);
  const double q = form.cfs ? run.q_out * run.cfs_factor : run.q_out;  // m3/s or cfs

  if (out.outlet_hydro.is_open()) write_outlet_row(out.outlet_hydro.stream, form, time, q);
  if (out.sig_outlet_hydro.is_open()) {
    std::fprintf(out.sig_outlet_hydro.stream, "%8.2lf %12.6lf\n", time, q);
  }
  ++out.outlet_rows;

  if (out.outlet_hydro.is_open()) std::fflush(out.outlet_hydro.stream);
  if (out.sig_outlet_hydro.is_open()) std::fflush(out.sig_outlet_hydro.stream);
}
