// The hourly step of long-term runs: the next hour of meteorology, the end
// of the run when the data run out, the hour's means of the soil-water
// budget on the console and in "evap_out", the evapotranspiration the
// withdrawal takes from the soil until the next hour, and the evaporation of
// the channel lakes. The frozen-ground index and the snow pack are not in
// this version; an hour that would change them stops the run as not
// available.

#include <cmath>
#include <cstdio>

#include "channel/chan_lake_extent.h"
#include "core/error_state.h"
#include "core/julian.h"
#include "core/model_state.h"
#include "core/not_available.h"
#include "soil/evapo_trans.h"
#include "soil/infiltration_methods.h"
#include "soil/read_hmet.h"
#include "soil/soil_steps.h"

namespace {

// Means of a zone that held no cell this hour.
constexpr double no_cell_mean = 999.99;

bool soil_moisture_accounting(const input_state& in) {
  return in.inf_redist || in.inf_layered_soil;
}

int read_record(model_state& state) {
  longterm_state& lt = state.soil.longterm;
  return read_hmet_data(state.input.files.hydromet, lt.hmet.read_number, lt.hmet, lt.reader,
                        hmet_settings_of(state.input), state.grid);
}

// The hour's record. A run that starts at its own date passes over the
// records before it at its first hour; -1 at the end of the data.
int read_hour(model_state& state) {
  longterm_state& lt = state.soil.longterm;
  hmet_record& record = lt.hmet;
  int result = read_record(state);
  if (!state.run.given_start || lt.start_skipped) return result;
  lt.start_skipped = 1;
  const double earliest = state.run.current_time - state.run.tolerance;
  while (result != -1 && error_state.stop_flag == 0 &&
         julian_date(record.year, record.month, record.day, record.hour, 0, 0.0) < earliest) {
    ++record.read_number;
    result = read_record(state);
  }
  return result;
}

// Depth of the soil-moisture store and of the wetting front of cell i, cm,
// and the content the cell starts from.
struct soil_zone {
  double store = 0.0;
  double front = 0.0;
  double initial = 0.0;
};

soil_zone zone_of(const model_state& state, int i) {
  const soil_state& soil = state.soil;
  soil_zone z;
  if (state.input.inf_layered_soil) {
    const soil_type_record& t = soil.soil_types[soil.soiltype[i]];
    z.store = t.d1 + t.d2;
    z.front = soil.wetdep[i];
    z.initial = t.thi[1];
  } else {
    z.store = state.input.soil_moist_depth;
    z.initial = soil.initial_theta[i];
    // The infiltrated depth spread over the content it raised.
    const double raised = soil.front_theta[i] - soil.initial_theta[i];
    if (raised > 1e-16) z.front = soil.cum_inf[i] * 100.0 / raised;
  }
  return z;
}

// The hour's means over the cells outside the lakes, in cell order.
void hourly_means(model_state& state) {
  const input_state& in = state.input;
  soil_state& soil = state.soil;
  longterm_state& lt = soil.longterm;
  const bool sma = soil_moisture_accounting(in);
  if (!sma && !in.inf_richards) return;
  const richards_soil& rs = soil.richards;
  const int n = state.grid.cells;
  int taken = 0, upper_cells = 0, lower_cells = 0;
  double rate = 0.0, depth = 0.0, theta = 0.0, pet = 0.0, frozen = 0.0;
  double upper = 0.0, lower = 0.0;
  for (int i = 1; i <= n; ++i) {
    if (soil_lake_cell(state, i)) continue;
    ++taken;
    rate += soil.inf_rate[i];
    depth += soil.cum_inf[i] * 100.0;
    double th;
    if (in.inf_richards) {
      th = rs.theta[std::size_t(i) * std::size_t(rs.row) + 1];
    } else {
      const soil_zone z = zone_of(state, i);
      const double water = soil.total_water[i];  // cm
      th = z.front < 1e-16 ? z.initial : water / z.store;
      if (z.store < z.front) {
        upper += water / z.store;
        lower += soil.deep_perc[i] / (z.front - z.store);
        ++upper_cells;
        ++lower_cells;
      } else if (z.front > 1e-16) {
        upper += water / z.front;
        ++upper_cells;
      }
    }
    if (std::isnan(th)) std::printf("Theta_all for cell %d is not a number \n", i);
    lt.theta_all[i] = th;
    theta += th;
    pet += soil.et_rate1[i] * 3600.0;
    frozen += soil.frozen_index[i];
  }
  const double m = taken > 0 ? taken : 1.0;
  lt.mean_inf_rate = rate / m;
  lt.mean_inf_depth = depth / m;
  lt.mean_theta = theta / m;
  lt.mean_pet = pet / m;
  lt.mean_frozen = frozen / m;
  lt.mean_upper = upper_cells > 0 ? upper / upper_cells : no_cell_mean;
  lt.mean_lower = lower_cells > 0 ? lower / lower_cells : no_cell_mean;
  const double area = state.grid.dx * state.grid.dx;
  lt.aet = (soil.evaporated_volume - lt.et_volume_last_hour) / (area * m) * 100.0;
  lt.et_volume_last_hour = soil.evaporated_volume;
}

// The console line and the row of "evap_out", written before
// the hour's evapotranspiration, so that its PET is the hour before's.
void report_hour(model_state& state) {
  const run_control& run = state.run;
  const longterm_state& lt = state.soil.longterm;
  if (!run.progress_off && !state.input.super_quiet) {
    std::printf("%d/%d/%d %2d:00 PET cm/h %6.4lf AET cm/h %6.4lf Infil cm/h %6.4lf Theta %5.2lf \n",
                run.year, run.month, run.day, run.hour, lt.mean_pet, lt.aet, lt.mean_inf_rate,
                lt.mean_theta);
  }
  safe_file& out = state.output.evap_out;
  if (!out.is_open()) return;
  std::fprintf(out.stream,
               "%d/%d/%d  %2d:00 %12.6lf %12.6lf %12.6lf %12.6lf %12.6lf %12.6lf %12.6lf",
               run.year, run.month, run.day, run.hour, lt.mean_theta, lt.mean_pet, lt.aet,
               lt.mean_inf_rate, lt.mean_inf_depth, lt.mean_frozen, lt.hmet.air_temp);
  if (soil_moisture_accounting(state.input))
    std::fprintf(out.stream, "%12.6lf   %12.6lf", lt.mean_upper, lt.mean_lower);
  std::fputc('\n', out.stream);
  // A run stopped later keeps every hour written.
  std::fflush(out.stream);
}

// The arrays evapo_trans reads of every cell; false (reported) when the
// set-up left one unsized.
bool et_inputs_ready(const model_state& state, bool penman) {
  const soil_state& soil = state.soil;
  const std::size_t size = std::size_t(state.grid.cells) + 1;
  bool ready = soil.albedo.size() == size && state.grid.slope_x.size() == size &&
               state.grid.slope_y.size() == size && state.surface.depth.size() == size;
  if (penman) {
    ready = ready && soil.veg_height.size() == size && soil.trans_coeff.size() == size &&
            soil.canopy_resist.size() == size;
  }
  if (soil.area_reduction) ready = ready && soil.area_factor.size() == size;
  if (!ready) {
    raise_message(
        "Error: the albedo%s of the %d grid cells are not set up for the evapotranspiration.\n",
        penman ? ", vegetation heights, transmission coefficients or canopy resistances" : "",
        state.grid.cells);
  }
  return ready;
}

// Every cell's rates until the next hour; the hour's air temperature
// becomes that of the cells (their mean with gridded input).
void hour_evapo_trans(model_state& state) {
  const run_control& run = state.run;
  const project_settings& settings = state.input.settings;
  soil_state& soil = state.soil;
  longterm_state& lt = soil.longterm;
  hmet_record& record = lt.hmet;
  et_options options;
  options.latitude = run.latitude;
  options.penman = settings.et_calc_penman != 0;
  options.seasonal = settings.seasonal_rs != 0;
  // No snow lies in this version: the snow routines that lay it down are refused.
  options.snow = false;
  options.area_reduction = soil.area_reduction != 0;
  if (!et_inputs_ready(state, options.penman)) return;

  et_weather weather;
  weather.year = run.year;
  weather.month = run.month;
  weather.day = run.day;
  weather.hour = run.hour;
  weather.pressure = record.pressure;
  weather.temperature = record.air_temp;
  weather.wind = record.wind_speed;
  weather.humidity = record.rel_humidity;
  weather.cloud = record.cloud_cover;
  weather.radiation = record.global_rad;
  weather.gridded = hmet_format_of(settings) == hmet_format::gridded;
  if (weather.gridded) {
    weather.grid_pressure = record.cell_pressure.data();
    weather.grid_temperature = record.cell_air_temp.data();
    weather.grid_wind = record.cell_wind_speed.data();
    weather.grid_humidity = record.cell_rel_humidity.data();
    weather.grid_cloud = record.cell_cloud_cover.data();
    weather.grid_radiation = record.cell_global_rad.data();
  }

  et_cells cells;
  cells.count = state.grid.cells;
  cells.albedo = soil.albedo.data();
  cells.veg_height = soil.veg_height.data();
  cells.trans_coeff = soil.trans_coeff.data();
  cells.canopy_resist = soil.canopy_resist.data();
  cells.slope_x = state.grid.slope_x.data();
  cells.slope_y = state.grid.slope_y.data();
  cells.depth = state.surface.depth.data();
  cells.snow_we = lt.snow_we.data();
  cells.area_factor = soil.area_factor.data();
  cells.surface_temp = lt.surface_temp.data();
  cells.energy_residual = lt.energy_residual.data();
  cells.pet = soil.et_rate1.data();
  cells.aet = soil.et_rate2.data();
  record.air_temp = evapo_trans(options, weather, cells, lt.et_hours == 0);
  ++lt.et_hours;
}

// The frozen-ground index only changes in an hour below freezing (or once
// it is above 0, which needs such an hour first).
void check_frozen_ground(const model_state& state) {
  const hmet_record& record = state.soil.longterm.hmet;
  const input_state& in = state.input;
  const bool per_cell = hmet_format_of(in.settings) == hmet_format::gridded ||
                        in.settings.orogvar_hmet != 0;
  bool freezing = false;
  if (per_cell && record.cell_air_temp.size() > std::size_t(state.grid.cells)) {
    for (int i = 1; i <= state.grid.cells && !freezing; ++i)
      freezing = !soil_lake_cell(state, i) && record.cell_air_temp[i] < 0.0;
  } else {
    freezing = record.air_temp < 0.0;
  }
  if (freezing) raise_not_available("the frozen-ground index of an hour below 0 degrees C");
}

}  // namespace

void longterm_hmet_step(model_state& state) {
  const input_state& in = state.input;
  run_control& run = state.run;
  if (!in.long_term) return;
  if (!run.hmet.due(run.current_time)) return;
  longterm_state& lt = state.soil.longterm;

  const int result = read_hour(state);
  if (error_state.stop_flag != 0) return;
  if (result == -1) {
    // The last event runs to its end on the last hour's rates.
    if (run.rain_on && run.event_index >= run.num_events) {
      run.hmet.next = -10.0;
    } else {
      run.run_flag = 0;
      print_message(summary_file, "End of meteorology data reached.  VALTO terminated\n");
    }
  } else {
    hourly_means(state);
    report_hour(state);
    hour_evapo_trans(state);
    if (error_state.stop_flag != 0) return;
    if (state.channel.channel_lakes) {
      chan_lake_evaporation(state, lt.hmet.air_temp, lt.hmet.wind_speed, lt.hmet.rel_humidity);
      if (error_state.stop_flag != 0) return;
    }
    run.hmet.last = run.current_time;
    ++lt.hmet.read_number;
    run.hmet.next = run.current_time + run.hmet.interval_d;
  }
  check_frozen_ground(state);
  // The snow pack's hourly melt and its precipitation history come with the
  // snow model; without it no snow lies (apply_rainfall refuses the cold
  // precipitation that would lay it down), so there is nothing to melt.
}
