// Snow accumulation and melt. Precipitation is gathered into hours; at each
// hour mark the pack melts by the chosen form, its heat deficit and liquid
// water decide what leaves it, and only water that leaves the pack reaches
// the surface, so that snowfall = change of the packs + melt water at every
// call. The pack's water is held in m; the melt, liquid water, deficit and
// retention arithmetic is in mm.

#include "soil/snow_melt.h"

#include <algorithm>
#include <cmath>

#include "core/error_state.h"
#include "core/text_io.h"
#include "input/read_grid_inputs.h"
#include "surface/cell_loops.h"

namespace {

constexpr double tiny = 1e-16;
constexpr double missing_weather = -9990.0;  // at or below: an unread grid's fill
constexpr double kelvin = 273.15;
constexpr double mm_per_m = 1000.0;
// The melt season is a sine over a year of 366 days, written with pi to 8 digits.
constexpr double season_pi = 3.14159265;
constexpr double ripe_fraction = 0.2;  // liquid water a ripe pack holds, of its water base
constexpr double base_fraction = 0.8;  // water base of a pack, of its water equivalent

// The air over cell i.
struct cell_air {
  double t, wind, rh, pa;  // deg C, m/s, percent, mb
  bool missing;            // the hour has no value for the cell
};

cell_air air_of(const snow_weather& w, int i) {
  cell_air a{w.air_temp, w.wind_speed, w.rel_humidity, w.pressure, false};
  if (w.cell_air_temp != nullptr) a.t = w.cell_air_temp[i];
  if (w.cell_wind_speed != nullptr) a.wind = w.cell_wind_speed[i];
  if (w.cell_rel_humidity != nullptr) a.rh = w.cell_rel_humidity[i];
  if (w.cell_pressure != nullptr) a.pa = w.cell_pressure[i];
  a.missing = a.t <= missing_weather || a.wind <= missing_weather || a.rh <= missing_weather ||
              a.pa <= missing_weather;
  return a;
}

bool on_lake(const snow_call& c, int i) {
  return (c.oland_lake != nullptr && c.oland_lake[i] > 0) ||
         (c.chan_lake != nullptr && c.chan_lake[i] > 0);
}

// Longwave melt of a pack under rain, when the air is saturated and the
// cloud as warm as the air, mm per hour mark.
double saturated_longwave(double t) {
  return 6.12e-10 * (std::pow(t + kelvin, 4) - std::pow(kelvin, 4));
}

// The hour bookkeeping of cell i: gathers the precipitation (at the gauge,
// mm) towards the current hour and, at the hour mark, moves it into the
// history. True at the hour mark, with ds set to the hour; overlong marks a
// step clock that ran past the hour.
bool gather_hour(const snow_call& c, snow_state& s, int i, double gauge_rate, double& ds,
                 bool& overlong) {
  auto& h = s.history[i];
  double& hp = s.hour_precip[i];
  double& clock = s.hour_clock[i];
  bool ros = false;
  bool done = false;
  if (ds <= 0.99) {
    const bool hour_start = clock <= 0.0;
    clock += ds;
    if (c.event_on) {
      hp = hour_start ? gauge_rate * ds : hp + gauge_rate * ds;
      // The event's first rain step stands for the step before it as well,
      // whose precipitation the rainfall step has already put in the pack.
      if (s.rain_steps[i] == 1 && c.rain_step && hour_start) {
        hp += gauge_rate * ds;
        clock += ds;
      }
    } else {
      hp = 0.0;
    }
    if (std::fabs(clock - 1.0) < 0.01 || clock > 1.0) {
      overlong = overlong || clock >= 1.01;
      // Rain that changed within the hour counts at the hour's closing rate.
      if (std::fabs(hp - gauge_rate) > 1e-4) hp = gauge_rate;
      done = true;
    }
  } else {
    hp = clock <= 0.1 || (hp <= 0.0 && h[0] <= 0.0) ? gauge_rate * ds : 0.0;
    done = true;
  }
  if (done) {
    std::copy_backward(h.begin(), h.end() - 1, h.end());
    h[0] = hp;
    hp = 0.0;
    clock = 0.0;
    ds = 1.0;
    s.cum_precip[i] += h[0];
    double sum = 0.0;
    for (double v : h) sum += v;
    ros = sum / snow_history_hours > 1.5 && h[0] > 0.25;
  }
  s.rain_on_snow[i] = ros && !c.from_hourly;
  return done;
}

// The antecedent temperature index after an hour at t, and the heat the
// pack lost to the cold (mm) before the ratio of the melt factors. A heavy
// snowfall at or below freezing sets the index to the air's temperature.
double cool_pack(snow_state& s, int i, double t, double ds) {
  double& ati = s.ati[i];
  const double before = std::min(ati, 0.0);
  ati = s.history[i][0] > 1.5 * ds && t <= 0.0 ? t : ati + (t - ati) * (1.0 - std::pow(0.8, ds / 6.0));
  ati = std::min(ati, 0.0);
  return (before - t) * (ds / 6.0 * 0.2);
}

// Heat deficit of cold rain, mm.
double rain_deficit(double rain, double t) {
  return rain > 0.0 ? std::max(0.0, -rain * std::min(t, 0.0) / 40.0) : 0.0;
}

// The temperature-index hour of cell i: the melt of the hour goes into the
// pack's liquid water, which lets go what a ripe pack cannot hold. x is the
// outflow and rb the pack's retention base, both mm; returns the outflow, m.
double index_hour(const cell_air& a, int season_day, double ds, snow_state& s, int i, double& x,
                  double& rb) {
  const double rain = s.history[i][0];
  const double mf_max = s.mf_max[i], mf_min = s.mf_min[i], fr = s.fr_use[i];
  const double season = 0.5 * std::sin(2.0 * season_pi * season_day / 366.0) + 0.5;
  const double mf = ((mf_max - mf_min) * season + mf_min) * ds / 6.0;
  double cold = 0.0, melt = 0.0, rain_melt = 0.0;
  if (a.t <= tiny) {
    // A pack without a melt factor does not melt, so it stores no cold either.
    const double share = mf_max > 0.0 ? mf / mf_max : 0.0;
    cold = std::max(0.0, share * cool_pack(s, i, a.t, ds));
  } else if (s.rain_on_snow[i]) {
    rain_melt = saturated_longwave(a.t) + 0.0125 * rain * fr * a.t;
  } else {
    melt = a.t * mf + 0.0125 * rain * fr * a.t;
  }
  const double base = base_fraction * s.swe[i] * mm_per_m;
  const double capacity = ripe_fraction * base;
  double d = std::max(0.0, rain_deficit(rain, a.t) + s.heat_deficit[i] + cold);
  const double input = melt + rain_melt + (a.t > tiny ? fr * rain : 0.0);
  double& liquid = s.liquid[i];
  x = input + liquid - capacity - d - ripe_fraction * d;
  if (x > 0.0) {
    liquid = capacity;
    rb = base + d;
    d = 0.0;
  } else {
    x = 0.0;
    if (input + liquid - d > 0.0) {
      liquid = input + liquid - d;
      rb = base + d;
      d = 0.0;
    } else {
      d -= input;
      rb = base + input;
    }
  }
  s.heat_deficit[i] = std::max(d, 0.0);
  return x / mm_per_m;
}

// The energy-balance hour of cell i: the hour's energy melt (without the
// rain's heat), with rain-on-snow melt, less what the pack's heat deficit
// takes. energy is the melt formula's energy term, rain_heat its rain part.
double balance_hour(const snow_options& o, const cell_air& a, double energy, double rain_heat,
                    double ds, snow_state& s, int i) {
  const double rain = s.history[i][0];
  double m = (energy - rain_heat) / o.latent_heat * (ds * 3600.0) / 360000.0;
  if (s.rain_on_snow[i]) {
    const double mr = saturated_longwave(a.t) + 0.0125 * rain * std::max(a.t, 0.0);
    if (mr > 0.0) m += mr / mm_per_m;
  }
  const double cold = std::max(0.0, cool_pack(s, i, a.t, ds));
  const double wet = a.t < tiny ? rain_deficit(rain, a.t) : 0.0;
  double d = std::max(0.0, wet + s.heat_deficit[i] + cold);
  m = std::max(m, 0.0);
  if (m >= d / mm_per_m) {
    m -= d / mm_per_m;
    d = 0.0;
  } else {
    d -= mm_per_m * m;
    m = 0.0;
  }
  s.heat_deficit[i] = d;
  return m;
}

// Holds back part of the outflow x (mm) of cell i and lets go a share of
// all it holds; returns what it lets go, m.
double retain(double x, double rb, double ds, snow_state& s, int i) {
  const double held = s.retained[i] + x;
  const double out = std::max(0.0, retention_fraction(x, rb, ds) * held);
  s.retained[i] = std::max(0.0, held - out);
  return out / mm_per_m;
}

// One cell's call. True when the cell holds snow afterwards.
bool melt_cell(const snow_options& o, const snow_weather& w, const snow_call& c, int season_day,
               snow_state& s, int i, bool& overlong) {
  s.released[i] = 0.0;
  const cell_air a = air_of(w, i);
  const double rate = c.rain_rate[i];
  double ds = c.dt_s / 3600.0;

  if (c.event_on && c.rain_step) ++s.rain_steps[i];
  if (c.from_hourly || !c.event_on) s.rain_steps[i] = 0;
  const bool done = gather_hour(c, s, i, rate / s.scf[i], ds, overlong);

  if (on_lake(c, i)) return false;
  if (s.swe[i] <= tiny) return false;
  if (a.missing) return true;

  // Energy melt of the interval, m.
  const double wind = a.wind * 0.0002 / 1000.0 * 3600.0;
  const double es = 2.749e8 * std::exp(-4278.6 / (a.t + 242.8));
  const double rain_heat = c.event_on ? rate / 10.0 * a.t : 0.0;
  const double energy = 4.956e-9 * std::pow(a.t + kelvin, 4) - o.loss_term +
                        (a.rh / 100.0 * es - 6.11) * wind * 600.0 +
                        a.pa * 0.00061 * 600.0 * wind * a.t + rain_heat;
  double m = energy / o.latent_heat * c.dt_s / 360000.0;

  if (done) {
    double x = 0.0, rb = 0.0;
    if (o.energy_balance) {
      m = balance_hour(o, a, energy, rain_heat, ds, s, i);
    } else if (o.temperature_index) {
      m = index_hour(a, season_day, ds, s, i, x, rb);
    }
    if (o.retention) {
      if (o.energy_balance || !o.temperature_index) {
        x = mm_per_m * m;
        rb = base_fraction * s.swe[i] * mm_per_m;
      }
      m = retain(x, rb, ds, s, i);
    }
  }

  // Only what leaves the pack reaches the surface, and never at or below
  // freezing.
  if (a.t >= tiny && m > tiny) {
    const double out = std::min(m, s.swe[i]);
    s.swe[i] -= out;
    c.depth[i] += out;
    s.released[i] = out;
    if (s.swe[i] <= 0.0) {
      // The liquid water, cold and held-back outflow were the pack's own.
      s.swe[i] = 0.0;
      s.liquid[i] = 0.0;
      s.heat_deficit[i] = 0.0;
      s.retained[i] = 0.0;
    }
  }
  return s.swe[i] > tiny;
}

}  // namespace

bool alloc_snow_cells(snow_state& snow, int cells) {
  snow_state fresh;
  const snow_params defaults;
  if (!allocate_per_cell(fresh.mf_max, cells, "mf_max") ||
      !allocate_per_cell(fresh.mf_min, cells, "mf_min") ||
      !allocate_per_cell(fresh.fr_use, cells, "fr_use") ||
      !allocate_per_cell(fresh.scf, cells, "scf") || !allocate_per_cell(fresh.swe, cells, "swe") ||
      !allocate_per_cell(fresh.liquid, cells, "liquid") ||
      !allocate_per_cell(fresh.heat_deficit, cells, "heat_deficit") ||
      !allocate_per_cell(fresh.ati, cells, "ati") ||
      !allocate_per_cell(fresh.retained, cells, "retained") ||
      !allocate_per_cell(fresh.hour_precip, cells, "hour_precip") ||
      !allocate_per_cell(fresh.hour_clock, cells, "hour_clock") ||
      !allocate_per_cell(fresh.history, cells, "history") ||
      !allocate_per_cell(fresh.cum_precip, cells, "cum_precip") ||
      !allocate_per_cell(fresh.rain_steps, cells, "rain_steps") ||
      !allocate_per_cell(fresh.rain_on_snow, cells, "rain_on_snow") ||
      !allocate_per_cell(fresh.released, cells, "released") ||
      !allocate_per_cell(fresh.snowing, cells, "snowing"))
    return false;
  std::fill(fresh.mf_max.begin(), fresh.mf_max.end(), defaults.mf_max);
  std::fill(fresh.mf_min.begin(), fresh.mf_min.end(), defaults.mf_min);
  std::fill(fresh.fr_use.begin(), fresh.fr_use.end(), defaults.fr_use);
  std::fill(fresh.scf.begin(), fresh.scf.end(), defaults.scf);
  snow = std::move(fresh);
  return true;
}

void add_snowfall(snow_state& snow, int cell, double rate, double dt_s, double dx) {
  const double gauge = rate * dt_s / 3600000.0;  // mm/h over dt_s, in m
  const double taken = gauge * snow.scf[cell];
  snow.swe[cell] += taken;
  snow.snowfall_volume += taken * dx * dx;
  snow.scf_volume += (taken - gauge) * dx * dx;
}

int seasonal_day(int month, int day) {
  static constexpr int offset[13] = {0, 285, 316, 344, 10, 40, 71, 101, 132, 163, 193, 224, 254};
  if (month < 1 || month > 12) return -1;
  if (month == 3 && day >= 21) return day;
  return day + offset[month];
}

double retention_fraction(double x, double rb, double ds) {
  if (!(rb > 0.0)) return 1.0;
  return 1.0 / (5.0 * std::exp(-500.0 * (x / 25.4) * ds / std::pow(rb / 25.4, 1.3)) + 1.0);
}

int nwsrfs_snow_melt(const snow_options& options, const snow_weather& weather,
                     const snow_call& call, snow_state& snow) {
  const int season_day = seasonal_day(weather.month, weather.day);
  if (options.temperature_index && !options.energy_balance && season_day < 0) {
    raise_message(
        "WE HAVE A PROBLEM WITH THE DATES!!!\n"
        "The snow melt factor needs the month of the hour (1 to 12); the record gives %d.\n",
        weather.month);
    return -1;
  }
  int any_snow = 0;
  int overlong = 0;
#pragma omp parallel for schedule(static) reduction(| : any_snow, overlong) \
    num_threads(team_for(call.cells, cells_per_thread))
  for (int i = 1; i <= call.cells; ++i) {
    bool late = false;
    if (melt_cell(options, weather, call, season_day, snow, i, late)) any_snow |= 1;
    if (late) overlong |= 1;
  }
  if (overlong) msg_printf("\nTime Step Became Greater Than 1 hour in Snow Melt\nChanging dtp to 1.0 hour \n");
  // In cell order, so the total does not depend on the thread count.
  double released = 0.0;
  for (int i = 1; i <= call.cells; ++i) released += snow.released[i];
  snow.melt_volume += released * call.dx * call.dx;
  return any_snow;
}

void clear_snow_history(snow_state& snow, int cells) {
  for (int i = 1; i <= cells; ++i) {
    snow.hour_precip[i] = 0.0;
    snow.history[i].fill(0.0);
    snow.rain_steps[i] = 0;
  }
}
