// The rain-change step: every cell's rainfall rate (mm/h) for the current
// rain period. Uniform rain falls at RAIN_INTENSITY from the first step of
// the run for RAIN_DURATION, its last step at the share of the step the rain
// covers. An event of the precipitation file changes its rates at each data
// line's date: gauge rates are spread over the cells, radar grids read and
// mapped. A negative rate in any cell stops the
// run, whatever its source.
//
// A period's rates rain on the overland steps that begin at or after its
// date: the change is made in the first pass whose overland clock has
// reached the date (the rain of a step is applied over the step that ends
// at the current time), so a period from 00:00 to 04:00 rains on every step
// between them, however the dates fall on the step grid.

#include <climits>
#include <cstdio>

#include "core/error_state.h"
#include "run/model_state.h"
#include "surface/cell_loops.h"
#include "surface/overland_step.h"
#include "surface/precip_file.h"
#include "surface/radar_grid.h"
#include "surface/rain_spread.h"
#include "surface/surface_steps.h"

namespace {

void fill_rates(std::vector<double>& rates, int cells, double value) {
  double* r = rates.data();
#pragma omp parallel for schedule(static) num_threads(team_for(cells, cells_per_thread))
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
  // The duration's last step may be rained on in part: its rate is cut to
  // the share of the step the rain covers.
  if (run.uniform_rain_steps == run.rain_periods && run.rain_last_share < 1.0) {
    fill_rates(sf.rain_rate, n, in.rain_intensity * run.rain_last_share);
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

// The rates of period p of the event in hand: a radar grid read and mapped,
// or the gauges' rates spread.
void apply_period(model_state& state, int p) {
  raingage_data& rd = state.surface.raingage;
  double* rate = state.surface.rain_rate.data();
  const int n = state.grid.cells;
  if (rd.radar == 2) {
    const char* name = &rd.radar_names[std::size_t(p) * radar_name_capacity];
    std::printf("Reading radar precip file %s.\n", name);
    if (read_radar_file(name, rd.radar_grid) != 0) return;
    radar_to_cells(rd.radar_grid, rate, n);
    return;
  }
  double* gauge_rate = rd.period_rates.data();
  for (int g = 1; g <= rd.nrgag; ++g) {
    gauge_rate[g] = rd.values[std::size_t(g) * rd.value_stride + p];
  }
  if (state.input.nearest_gauge) {
    gage_thiessen_parallel(rd.nrgag, rd.nearest.data(), gauge_rate, rate, n);
  } else {
    gage_idw_parallel(state.grid, rd.nrgag, rd.gage_x.data(), rd.gage_y.data(), gauge_rate, rate);
  }
}

// Every period whose date the overland clock has reached is due; the last of
// them gives the rates. Past the event's last period the rain is over.
void change_file_rain(model_state& state) {
  run_control& run = state.run;
  raingage_data& rd = state.surface.raingage;
  const input_state& in = state.input;
  const int n = state.grid.cells;
  int due = 0;
  while (rd.period < rd.nrpds && run.next_rain_time < run.overland.last + run.tolerance) {
    due = rd.period;
    ++rd.period;
    run.next_rain_time = line_time(rd, rd.period);
  }
  if (due != 0) {
    apply_period(state, due);
    if (error_state.stop_flag) return;
  }
  // Past its last period the event's rain is over; an event of one data
  // line has no period at all.
  const bool raining = run.event_data_flag == 1 || run.event_data_flag == 2;
  if (raining && rd.period >= rd.nrpds) {
    run.rain_active = 0;
    if (run.event_data_flag == 1) run.event_data_flag = 0;
    if (run.event_data_flag == 2) run.event_data_flag = 3;
    fill_rates(state.surface.rain_rate, n, 0.0);
    if (in.interception) fill_rates(state.surface.ri_eff, n, 0.0);
  }
}

}  // namespace

void update_rain_rates(model_state& state) {
  const int n = state.grid.cells;
  if (!overland_arrays_ready(state)) {
    raise_message("Error: the overland arrays of the %d cells have not been set up.\n", n);
    return;
  }
  if (state.input.uniform_rain) {
    switch_uniform_rain(state);
  } else {
    change_file_rain(state);
    if (error_state.stop_flag) return;
  }

  const double* r = state.surface.rain_rate.data();
  int first = INT_MAX;
#pragma omp parallel for schedule(static) reduction(min : first) \
    num_threads(team_for(n, cells_per_thread))
  for (int i = 1; i <= n; ++i)
    if (r[i] < -1e-16 && i < first) first = i;
  if (first != INT_MAX) {
    raise_message(
        "A negative rainfall has been detected for overland cell %d, check your rainfall input for "
        "negative values\n",
        first);
  }
}
