// The hourly step of long-term runs: the next hour of meteorology, the end
// of the run when the data run out, the hour's means of the soil-water
// budget on the console and in "evap_out", the evapotranspiration the
// withdrawal takes from the soil until the next hour, and the evaporation of
// the channel lakes, the frozen-ground index and the snow pack's hourly
// melt.

#include <cmath>
#include <cstdio>

#include "channel/chan_lake_extent.h"
#include "core/error_state.h"
#include "core/julian.h"
#include "run/model_state.h"
#include "soil/evapo_trans.h"
#include "soil/frozen_ground.h"
#include "soil/infiltration_methods.h"
#include "soil/read_hmet.h"
#include "soil/snow_step.h"
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
  options.snow = soil.snow.swe.size() == std::size_t(state.grid.cells) + 1;
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
  // The slopes' terms, found at set-up.
  if (lt.et_slopes.size() == std::size_t(cells.count) + 1) cells.slope = lt.et_slopes.data();
  cells.depth = state.surface.depth.data();
  cells.snow_we = soil.snow.swe.data();
  cells.area_factor = soil.area_factor.data();
  cells.surface_temp = lt.surface_temp.data();
  cells.energy_residual = lt.energy_residual.data();
  cells.pet = soil.et_rate1.data();
  cells.aet = soil.et_rate2.data();
  record.air_temp = evapo_trans(options, weather, cells, lt.et_hours == 0);
  ++lt.et_hours;
}

// The per-cell temperatures of the hour, when the record has them.
const double* cell_temperatures(const model_state& state) {
  const input_state& in = state.input;
  const hmet_record& record = state.soil.longterm.hmet;
  const bool per_cell = hmet_format_of(in.settings) == hmet_format::gridded ||
                        in.settings.orogvar_hmet != 0;
  return per_cell && record.cell_air_temp.size() > std::size_t(state.grid.cells)
             ? record.cell_air_temp.data()
             : nullptr;
}

const int* overland_lake_cells(const model_state& state) {
  const surface_state& sf = state.surface;
  return sf.overland_lakes && !sf.oland_lake_new.empty() ? sf.oland_lake_new.data() : nullptr;
}

const int* channel_lake_cells(const model_state& state) {
  const channel_state& chan = state.channel;
  return chan.channel_lakes && !chan.lake_mask.empty() ? chan.lake_mask.data() : nullptr;
}

void step_frozen_ground(model_state& state) {
  soil_state& soil = state.soil;
  const int n = state.grid.cells;
  if (soil.frozen_index.size() != std::size_t(n) + 1) return;
  frozen_ground_inputs in;
  in.cells = n;
  in.air_temp = soil.longterm.hmet.air_temp;
  in.cell_air_temp = cell_temperatures(state);
  in.swe = soil.snow.swe.size() == std::size_t(n) + 1 ? soil.snow.swe.data() : nullptr;
  in.oland_lake = overland_lake_cells(state);
  in.chan_lake = channel_lake_cells(state);
  in.snow_no_infiltrate = state.input.settings.snow_no_infiltrate != 0;
  frozen_ground_index(in, soil.frozen_index.data());
}

// Outside an event's rain steps the pack melts by the hour; within them the
// rainfall step calls the melt itself. Then, with no rain falling and no
// snow left, the precipitation the packs remember is forgotten.
void step_snow(model_state& state, double dt_s) {
  soil_state& soil = state.soil;
  snow_state& snow = soil.snow;
  const run_control& run = state.run;
  const int n = state.grid.cells;
  if (snow.swe.size() != std::size_t(n) + 1) return;
  const project_settings& settings = state.input.settings;
  const bool form = settings.nwsrfs_snow || settings.eb_nwsrfs_snow;
  const bool rain_step = run.rain_on && run.rain_active;
  if ((form || soil.snow_present) && !rain_step) {
    const int present = nwsrfs_snow_melt(snow_options_of(state), snow_weather_of(state),
                                         snow_call_of(state, dt_s, true), snow);
    if (present < 0) return;
    soil.snow_present = present;
  }
  if (rain_step || soil.snow_present) return;
  const bool per_cell = cell_temperatures(state) != nullptr;
  const bool first_has_history =
      n >= 1 && snow.hour_precip[1] + snow.history[1][0] + snow.history[1][1] +
                        snow.history[1][2] + snow.history[1][3] + snow.history[1][4] +
                        snow.history[1][5] + snow.rain_steps[1] >
                    0.0;
  if (per_cell || first_has_history) clear_snow_history(snow, n);
}

}  // namespace

void longterm_hmet_step(model_state& state) {
  const input_state& in = state.input;
  run_control& run = state.run;
  if (!in.long_term) return;
  if (!run.hmet.due(run.current_time)) return;
  longterm_state& lt = state.soil.longterm;
  const double dt_s = (run.current_time - run.hmet.last) * 86400.0;

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
  step_frozen_ground(state);
  step_snow(state, dt_s);
}
