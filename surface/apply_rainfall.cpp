// The rain of each overland step: the canopy holds its share when
// interception is on, the rest is added to the cells' depths, and the rain
// volumes of the event and of the run grow by the same water. Rain on a lake
// cell goes to its lake instead: a channel lake's volume and rain totals
// (not the rain to the overland), or an overland lake's volume change, its
// step rain and the overland-lake rain totals (also counted in the rain to
// the overland, of which the lake is part). Rates are in mm/h, depths in m,
// volumes in m3.

#include "surface/apply_rainfall.h"

#include <climits>
#include <cmath>

#include "core/error_state.h"
#include "run/model_state.h"
#include "soil/read_hmet.h"
#include "soil/snow_step.h"
#include "surface/cell_loops.h"
#include "surface/overland_step.h"
#include "surface/surface_steps.h"
#include "surface/write_nan_maps.h"

double interception_divisor(int month, double latitude) {
  const bool south = latitude < 37.0;
  switch (month) {
    case 1:
    case 2:
    case 3:
    case 11:
    case 12:
      return 4.0;
    case 4:
      return south ? 2.5 : 4.0;
    case 5:
      return south ? 1.0 : 3.0;
    case 6:
      return south ? 1.0 : 2.0;
    case 10:
      return 2.5;
    default:  // July to September; a month outside the calendar holds its full store
      return 1.0;
  }
}

double rain_interception(int cells, double dt, const double* icep_stor, const double* icep_coef,
                         const double* gross, double* net, double* icep_dep, double dx, int month,
                         bool seasonal, double latitude, double* partials,
                         const int* chan_lake) {
  const double d = seasonal ? interception_divisor(month, latitude) : 1.0;
  const double held_to_m3 = dx * dx / 1000.0;
  const int blocks = sum_blocks(cells);
#pragma omp parallel for schedule(static) num_threads(block_team(blocks))
  for (int b = 0; b < blocks; ++b) {
    const int last = block_last_cell(b, cells);
    double held_sum = 0.0;
    for (int i = block_first_cell(b); i <= last; ++i) {
      const double e = gross[i];
      double held = 0.0;  // mm
      if (e < 0.0) {
        net[i] = 0.0;
      } else if (chan_lake != nullptr && chan_lake[i] > 0) {
        net[i] = e;
      } else {
        const double rain = e * dt / 3600.0;  // mm of this step
        double room = icep_stor[i] / d - icep_dep[i];
        if (room < 0.0) room = 0.0;
        if (room > rain) {
          net[i] = 0.0;
          held = rain;
        } else {
          // The store fills first, then the canopy holds its fraction of the rest.
          const double k = icep_coef[i] / d;
          net[i] = (1.0 - k) * (rain - room) * 3600.0 / dt;
          held = room + k * (rain - room);
        }
      }
      icep_dep[i] += held;
      held_sum += held;
    }
    partials[b] = held_sum * held_to_m3;
  }
  return add_block_sums(partials, blocks);
}

namespace {

constexpr double snow_temperature = 5.0;  // deg C; precipitation at or below it is snow

// Gives the step's rain of the lake cells to their lakes, in cell order, so
// that the lake sums do not depend on the thread count.
void rain_on_lakes(model_state& state, const double* rate, double dt, const int* chan_lake,
                   const int* olake) {
  surface_state& sf = state.surface;
  channel_state& chan = state.channel;
  const int n = state.grid.cells;
  const double to_m3 = dt * state.grid.dx * state.grid.dx / 3600000.0;  // (mm/h) to m3
  double chan_rain = 0.0;
  double olake_rain = 0.0;
  // The lakes' constituents load the rain that fell on them.
  std::vector<double>& lake_rain = state.quality.chan_contam.lake_precip_volume;
  const bool loading = lake_rain.size() > std::size_t(chan.lake_count);
  for (int i = 1; i <= n; ++i) {
    if (chan_lake != nullptr && chan_lake[i] > 0) {
      const double v = rate[i] * to_m3;
      chan.lake_volume[std::size_t(chan_lake[i])] += v;
      if (loading) lake_rain[std::size_t(chan_lake[i])] += v;
      chan_rain += v;
    } else if (olake != nullptr && olake[i] > 0) {
      const double v = rate[i] * to_m3;
      olake_record& lake = sf.olakes[std::size_t(olake[i])];
      lake.dv += v;
      lake.rain += v;
      olake_rain += v;
      sf.olake_rain = 1;
    }
  }
  sf.chan_lake_rain_volume += chan_rain;
  sf.event_chan_lake_rain_volume += chan_rain;
  sf.olake_rain_volume += olake_rain;
  sf.event_olake_rain_volume += olake_rain;
}

// A long-term run's precipitation falls as snow at 5 degrees C or below; the
// cells' temperatures with gridded input, else the hour's.
const double* snow_temperatures(const model_state& state) {
  const hmet_record& record = state.soil.longterm.hmet;
  const bool gridded = hmet_format_of(state.input.settings) == hmet_format::gridded &&
                       record.cell_air_temp.size() > std::size_t(state.grid.cells);
  return gridded ? record.cell_air_temp.data() : nullptr;
}

// The pack takes the step's cold precipitation, in cell order (the pack's
// totals are sums); the snow correction factor's extra water is returned,
// m3, so that it is booked as precipitation.
double lay_snow(model_state& state, const double* rate, const int* as_snow, double dt) {
  snow_state& snow = state.soil.snow;
  const double extra_before = snow.scf_volume;
  for (int i = 1; i <= state.grid.cells; ++i) {
    if (as_snow[i] && rate[i] > 0.0) add_snowfall(snow, i, rate[i], dt, state.grid.dx);
  }
  return snow.scf_volume - extra_before;
}

}  // namespace

void apply_rainfall(model_state& state) {
  run_control& run = state.run;
  const input_state& in = state.input;
  surface_state& sf = state.surface;
  if (!run.overland.due(run.current_time) || run.event_data_flag != 1) return;
  const int n = state.grid.cells;
  if (!overland_arrays_ready(state)) {
    raise_message("Error: the overland arrays of the %d cells have not been set up.\n", n);
    return;
  }
  const double dt = (run.current_time - run.overland.last) * 86400.0;  // s
  const double area = state.grid.dx * state.grid.dx;

  if (in.uniform_rain) ++run.uniform_rain_steps;

  const std::size_t size = std::size_t(n) + 1;
  const channel_state& chan = state.channel;
  const int* chan_lake = chan.channel_lakes && chan.lake_mask.size() == size &&
                                 chan.lake_volume.size() > std::size_t(chan.lake_count)
                             ? chan.lake_mask.data()
                             : nullptr;
  const int* olake = sf.overland_lakes && sf.oland_lake_new.size() == size &&
                             sf.olakes.size() > std::size_t(sf.olake_count)
                         ? sf.oland_lake_new.data()
                         : nullptr;
  // Channel-lake cells give their precipitation to the lake whatever its
  // temperature.
  const bool snow_pack = in.long_term && state.soil.snow.swe.size() == size &&
                         state.soil.snow.snowing.size() == size;
  const double* cell_temp = snow_pack ? snow_temperatures(state) : nullptr;
  const double air_temp = state.soil.longterm.hmet.air_temp;
  int* as_snow = snow_pack ? state.soil.snow.snowing.data() : nullptr;
  if (olake != nullptr) {
    for (olake_record& lake : sf.olakes) lake.rain = 0.0;
    sf.olake_rain = 0;
  }

  const double* rate = sf.rain_rate.data();
  if (in.interception) {
    sf.interception_volume += rain_interception(
        n, dt, sf.icep_stor.data(), sf.icep_coef.data(), sf.rain_rate.data(), sf.ri_eff.data(),
        sf.icep_dep.data(), state.grid.dx, run.month, in.settings.seasonal_rs != 0, run.latitude,
        sf.block_sums.data(), chan_lake);
    rate = sf.ri_eff.data();
  }

  // Depths grow by the step's rain; each block keeps its rain volume, its
  // sum of rates and its first cell whose depth is not a number or negative.
  double* h = sf.depth.data();
  double* dh = sf.depth_change.data();
  double* volumes = sf.block_sums.data();
  double* rates = sf.block_sums2.data();
  int* bad = sf.block_flags.data();
  const int blocks = sum_blocks(n);
#pragma omp parallel for schedule(static) num_threads(block_team(blocks))
  for (int b = 0; b < blocks; ++b) {
    const int last = block_last_cell(b, n);
    double volume = 0.0;
    double rate_sum = 0.0;
    int first_bad = 0;
    for (int i = block_first_cell(b); i <= last; ++i) {
      dh[i] = 0.0;
      if (as_snow != nullptr) as_snow[i] = 0;
      if (chan_lake != nullptr && chan_lake[i] > 0) continue;
      volume += dt * rate[i] * area / 3600000.0;
      rate_sum += rate[i];
      if (olake != nullptr && olake[i] > 0) continue;
      if (as_snow != nullptr) {
        as_snow[i] = (cell_temp != nullptr ? cell_temp[i] : air_temp) <= snow_temperature;
        if (as_snow[i]) continue;
      }
      h[i] += dt * rate[i] / 3600000.0;
      if (first_bad == 0 && (std::isnan(h[i]) || h[i] < -1e-16)) first_bad = i;
    }
    volumes[b] = volume;
    rates[b] = rate_sum;
    bad[b] = first_bad;
  }
  for (int b = 0; b < blocks; ++b) {
    const int i = bad[b];
    if (i == 0) continue;
    if (std::isnan(h[i])) {
      raise_message(
          "A non-real number for water depth has been detected for overland cell %d after "
          "applying rainfall\n",
          i);
      write_nan_maps(state);
    } else {
      raise_message(
          "A negative depth has been detected for overland cell %d after applying rainfall, check "
          "your rainfall input for negative values\n",
          i);
    }
    return;
  }

  if (chan_lake != nullptr || olake != nullptr) rain_on_lakes(state, rate, dt, chan_lake, olake);

  double volume = add_block_sums(volumes, blocks);
  bool snowed = false;
  if (as_snow != nullptr) {
    for (int i = 1; i <= n && !snowed; ++i) snowed = as_snow[i] && rate[i] > 0.0;
    if (snowed) {
      volume += lay_snow(state, rate, as_snow, dt);
      state.soil.snow_present = 1;
    }
  }
  sf.event_rain_volume += volume;
  sf.rain_volume += volume;
  if (add_block_sums(rates, blocks) > 0.0) {
    ++sf.rain_steps;
    if (!sf.rain_started) {
      sf.rain_started = 1;
      sf.rain_start_minutes = run.elapsed_minutes;
    }
  }

  // The pack melts at the rain steps of a thaw, and at every rain step once
  // a melt form is chosen; the last cell's temperature stands for the hour.
  if (!snow_pack || !state.soil.snow_present) return;
  const project_settings& settings = in.settings;
  const double t = cell_temp != nullptr ? cell_temp[n] : air_temp;
  if (!(t > 0.0 || settings.nwsrfs_snow || settings.eb_nwsrfs_snow)) return;
  const int present = nwsrfs_snow_melt(snow_options_of(state), snow_weather_of(state),
                                       snow_call_of(state, dt, false), state.soil.snow);
  if (present >= 0) state.soil.snow_present = present;
}
