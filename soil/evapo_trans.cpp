// Evapotranspiration: the sun's position for the hour, each cell's surface
// energy balance solved for its surface temperature, and the rates from it.
// Heat fluxes are in kW/m2 (latent heat in kJ/kg, air density in kg/m3), so
// the evaporation flux in kg/m2/s over the density of water is m/s.

#include "soil/evapo_trans.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "core/error_state.h"
#include "soil/infiltration_methods.h"
#include "surface/cell_loops.h"

namespace {

constexpr double pi = 3.141592653589793;
constexpr double solar_constant = 1353.0;     // W/m2
constexpr double cp_air = 1.013;              // kJ/kg/K
constexpr double water_density = 1000.0;      // kg/m3
constexpr double latent_heat = 2500.36;       // kJ/kg
constexpr double stefan_boltzmann = 5.67e-8;  // W/m2/K4
constexpr double bulk_transfer = 0.0025;      // bulk transfer coefficient of heat and vapour
constexpr double calm_wind = 1e-4;            // m/s; wind is never taken below it
constexpr double deardorff_height = 0.001;    // m; reference height of the bulk form
constexpr double settled = 0.001;             // K; Newton step of a settled temperature
constexpr double missing_grid_value = -9990.0;

constexpr int month_days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// Canopy resistance through the day, relative to noon, by hour 0..23.
constexpr double hourly_resist[24] = {
    4.023803564, 3.837220945, 3.588557905, 3.210454452, 2.430375714, 1.617231413,
    1.196049428, 1.066950368, 1.014336754, 0.995198325, 0.976059896, 0.976059896,
    1.0,         1.052613613, 1.167444189, 1.354095078, 1.636506383, 2.043283344,
    2.660309947, 3.215256127, 3.507134242, 3.688915186, 3.818082516, 3.923343877};

// Saturation vapour pressure over water, kPa, at tc deg C.
inline double saturation_pressure(double tc) {
  return 0.6108 * std::exp(17.27 * tc / (tc + 237.3));
}

// Canopy resistance is higher outside the growing season, which starts later
// north of 37 degrees.
double seasonal_multiplier(int month, double latitude) {
  const bool north = latitude >= 37.0;
  switch (month) {
    case 4: return north ? 4.0 : 2.5;
    case 5: return north ? 3.0 : 1.0;
    case 6: return north ? 2.0 : 1.0;
    case 7: case 8: case 9: return 1.0;
    case 10: return 2.5;
    default: return 4.0;
  }
}

int day_of_year(int year, int month, int day) {
  int j = day;
  for (int m = 1; m < month && m <= 12; ++m) j += month_days[m - 1];
  if (month >= 3 && year % 4 == 0) ++j;
  return j;
}

// The sun for the hour.
struct sun_position {
  bool up = false;        // above the horizon
  double sin_alt = 0.0;   // sine and cosine of the altitude
  double cos_alt = 0.0;
  double azimuth = 0.0;   // rad
  double beam = 0.0;      // clear-sky direct beam on a surface facing the sun, W/m2
};

sun_position find_sun(const et_weather& w, double latitude) {
  const int j = day_of_year(w.year, w.month, w.day);
  const double lat = latitude * pi / 180.0;
  const double decl = pi * 23.45 / 180.0 * std::cos((172 - j) * 2.0 * pi / 365.0);
  const int solar_hour = w.hour <= 12 ? w.hour + 12 : w.hour - 12;
  const double omega = pi * 15.0 * solar_hour / 180.0;
  sun_position s;
  s.sin_alt = std::cos(lat) * std::cos(decl) * std::cos(omega) + std::sin(lat) * std::sin(decl);
  const double alt = std::asin(s.sin_alt);
  const double alt_deg = alt * 180.0 / pi;
  s.cos_alt = std::cos(alt);
  s.up = alt_deg > 0.0;
  if (!s.up) return s;
  const double air_mass = 1.0 / (s.sin_alt + 0.15 * std::pow(alt_deg + 3.885, -1.253));
  const double extinction = 0.128 - 0.054 * std::log10(air_mass);
  // Rounding can carry the sine a hair past 1 with the sun near the zenith.
  s.azimuth = std::asin(std::clamp(std::sin(omega) * std::cos(decl) / s.cos_alt, -1.0, 1.0));
  const double g = (j - 1) * 2.0 * pi / 365.0;
  const double eccentricity = 1.00011 + 0.034221 * std::cos(g) + 0.00128 * std::sin(g) +
                              0.000719 * std::cos(2.0 * g) + 0.000077 * std::sin(2.0 * g);
  s.beam = std::exp(-2.0 * extinction * air_mass) * solar_constant * eccentricity;
  return s;
}

// The air over a cell: the hour's record, or the cell's own grids.
struct air_state {
  double p = 0.0;      // kPa
  double ta = 0.0;     // K
  double u = 0.0;      // m/s
  double cloud = 0.0;  // fraction of the sky, at most 1
  double es = 0.0;     // saturation vapour pressure at ta, kPa
  double ea = 0.0;     // vapour pressure, kPa
  double rho = 0.0;    // density, kg/m3
  double qa = 0.0;     // specific humidity
  double lin = 0.0;    // longwave from the sky, W/m2
  bool clipped = false;  // cloud cover above 10 tenths was cut to 10
};

air_state make_air(double mbar, double deg_c, double wind, double humidity, double tenths) {
  air_state a;
  a.p = mbar * 0.1;
  a.ta = deg_c + 273.15;
  a.u = std::max(wind, calm_wind);
  a.cloud = tenths / 10.0;
  if (a.cloud > 1.0) {
    a.cloud = 1.0;
    a.clipped = true;
  }
  const double tc = a.ta - 273.15;
  a.es = saturation_pressure(tc);
  a.ea = a.es * humidity / 100.0;
  a.rho = a.p / (tc + 275.0) * 3.486;
  a.qa = 0.622 * a.ea / (a.p - 0.378 * a.ea);
  const double ta2 = a.ta * a.ta;
  a.lin = stefan_boltzmann * ta2 * ta2 * (0.74 + 0.0049 * a.ea) * (1.0 + 0.17 * a.cloud * a.cloud);
  return a;
}

// Slope of the saturation curve at the air temperature, kPa/K, from the
// pressure the air already holds rather than a second exponential.
double saturation_slope(const air_state& a) {
  const double tc = a.ta - 273.15;
  return 4098.0 * a.es / ((tc + 237.3) * (tc + 237.3));
}

// A grid that could not be read holds -9999: such a cell has no air to
// balance against this hour.
bool missing_air(const et_weather& w, int i) {
  const double* grids[] = {w.grid_pressure, w.grid_temperature, w.grid_wind,
                           w.grid_humidity, w.grid_cloud,       w.grid_radiation};
  for (const double* g : grids)
    if (g[i] <= missing_grid_value) return true;
  return false;
}

air_state cell_air(const et_weather& w, int i) {
  return make_air(w.grid_pressure[i], w.grid_temperature[i], w.grid_wind[i], w.grid_humidity[i],
                  w.grid_cloud[i]);
}

// What one hour leaves for one cell.
struct cell_outcome {
  bool settled = false;     // the Newton loop met its tolerance
  int iterations = 0;
  double ts_before = 0.0;   // K; the last two temperatures of the loop
  double ts = 0.0;
  double residual = 0.0;    // kW/m2
  double pet = 0.0, aet = 0.0;  // cm/s
  bool ra_nan = false;      // the aerodynamic resistance was not a number
  bool clipped = false;     // the cell's cloud cover was cut to 10 tenths
};

// Everything of the hour that every cell reads.
struct hour_context {
  const et_options* options;
  const et_weather* weather;
  sun_position sun;
  air_state air;            // the record's air; unused with gridded input
  double resist_scale;      // hourly and seasonal factors of the canopy resistance
};

// Cloud leaves this share of the direct beam under a full cover.
constexpr double cloud_transmission = 0.18 + 0.0853 * 0.4;

// Shortwave absorbed by cell i, W/m2.
double absorbed_shortwave(const hour_context& h, const et_cells& c, int i, double hv,
                          double cloud, double radiation) {
  if (!h.sun.up) return 0.0;
  const et_options& o = *h.options;
  double albedo = c.albedo[i];
  if (hv <= c.depth[i]) albedo = 0.08;
  if (o.snow && hv <= c.snow_we[i]) albedo = 0.5;
  const et_slope s = c.slope ? c.slope[i] : et_slope_of(c.slope_x[i], c.slope_y[i]);
  const double cos_incidence = std::cos(h.sun.azimuth - s.aspect) * s.sin_angle * h.sun.cos_alt +
                               s.cos_angle * h.sun.sin_alt;
  const double direct = h.sun.beam * cos_incidence * (1.0 - (1.0 - cloud_transmission) * cloud);
  double t = 1.0;
  if (o.penman && c.trans_coeff[i] != 0.0) t = c.trans_coeff[i];
  return (s.sky_view2 * radiation + t * std::max(direct, 0.0)) * (1.0 - albedo);
}

// Aerodynamic resistance over vegetation of height hv m in wind u m/s, s/m.
// Positive for every hv >= 0.001 and u >= 1e-4; not a number only when an
// input is not.
inline double aero_resistance(double hv, double u) {
  const double zr = hv + 2.0 - 0.67 * hv;
  return std::log(zr / (0.0123 * hv)) * std::log(zr / (0.123 * hv)) / (0.41 * 0.41 * u);
}

cell_outcome solve_cell(const hour_context& h, const et_cells& c, int i) {
  const et_options& o = *h.options;
  const et_weather& w = *h.weather;
  cell_outcome r;
  if (w.gridded && missing_air(w, i)) {
    // No evapotranspiration for the hour; the surface keeps its temperature.
    r.settled = true;
    r.ts = c.surface_temp[i];
    return r;
  }
  const air_state air = w.gridded ? cell_air(w, i) : h.air;
  const double radiation = w.gridded ? w.grid_radiation[i] : w.radiation;
  // The height is raised before the albedo test reads it, so a bare cell is
  // not taken for ponded in the first hour only.
  if (o.penman && c.veg_height[i] < deardorff_height) c.veg_height[i] = deardorff_height;
  const double hv = o.penman ? c.veg_height[i] : deardorff_height;
  const double shortwave = absorbed_shortwave(h, c, i, hv, air.cloud, radiation);
  const double h_coeff = air.rho * cp_air * bulk_transfer * air.u;  // kW/m2/K
  const double v_coeff = bulk_transfer * air.rho * air.u;           // kg/m2/s

  r.clipped = w.gridded && air.clipped;
  double ts = c.surface_temp[i];
  // A cell that had no air at the first call has no temperature yet.
  if (!(ts > 0.0)) ts = air.ta;
  double e = 0.0, hs = 0.0, rad = 0.0;
  for (;;) {
    ++r.iterations;
    const double es = saturation_pressure(ts - 273.15);
    const double qs = 0.622 * es / (air.p - 0.378 * es);
    const double evap = qs > air.qa ? v_coeff * (qs - air.qa) : 0.0;  // kg/m2/s
    const double le = latent_heat * evap;
    e = evap / water_density;
    hs = (ts - air.ta) * h_coeff;
    const double ts2 = ts * ts;
    // Gridded radiation is the net radiation into the surface.
    rad = w.gridded ? -radiation / 1000.0
                    : -(air.lin - stefan_boltzmann * ts2 * ts2 + shortwave) / 1000.0;
    // The ground takes a third of the sensible heat, so the balance settles
    // with that much left over; slope is the balance's change per kelvin.
    r.residual = -le - hs - rad;
    const double slope = air.p / (air.p - 0.388 * es) * latent_heat / (0.461 * ts2) * qs *
                             v_coeff * latent_heat +
                         4.0 * stefan_boltzmann * ts2 * ts / 1000.0 + h_coeff + h_coeff / 3.0;
    const double next = ts - (hs + le + hs / 3.0 + rad) / slope;
    const double step = std::fabs(next - ts);
    r.ts_before = ts;
    ts = next;
    if (step <= settled) {
      r.settled = true;
      break;
    }
    if (r.iterations >= newton_iteration_limit || !std::isfinite(next)) break;
  }
  r.ts = ts;
  if (!r.settled) return r;

  if (!o.penman) {
    r.pet = r.aet = e * 100.0;
  } else {
    const double delta = saturation_slope(air);
    const double gamma = 1.0 / latent_heat * 1.6286173633440513 * air.p;  // kPa/K
    const double energy = (-rad - hs / 3.0) * delta;
    const double scale = 100.0 / (latent_heat * water_density);
    if (air.u <= calm_wind) {
      r.pet = r.aet = energy / (gamma + delta) * scale;
    } else {
      const double ra = aero_resistance(hv, air.u);
      r.ra_nan = std::isnan(ra);
      const double aero =
          air.rho * cp_air * (saturation_pressure(ts - 273.15) - air.ea) / ra;
      r.pet = (energy + aero) / (gamma + delta) * scale;
      r.aet = (energy + aero) /
              ((h.resist_scale * c.canopy_resist[i] / ra + 1.0) * gamma + delta) * scale;
    }
  }
  if (o.area_reduction) r.aet *= c.area_factor[i];
  if (r.pet < 0.0) r.pet = 0.0;
  if (r.aet < 0.0) r.aet = 0.0;
  return r;
}

}  // namespace

et_slope et_slope_of(double slope_x, double slope_y) {
  const double sx = slope_x;
  const double sy = -slope_y;
  const double beta = std::atan(std::sqrt(sx * sx + sy * sy));
  et_slope s;
  s.sin_angle = std::sin(beta);
  s.cos_angle = std::cos(beta);
  const double sky_view = std::cos(beta / 2.0);
  s.sky_view2 = sky_view * sky_view;
  // The sun's azimuth runs from south, positive to the west; the downslope
  // direction (sx east, sy north) is turned into the same frame. The quadrant
  // comes from atan2, so that slopes facing east and west, or north and
  // south, are lit as mirror images rather than alike.
  s.aspect = -pi * 0.5 - std::atan2(sy, sx);
  return s;
}

void find_et_slopes(int count, const double* slope_x, const double* slope_y, et_slope* slope) {
#pragma omp parallel for schedule(static) num_threads(team_for(count, cells_per_thread))
  for (int i = 1; i <= count; ++i) slope[i] = et_slope_of(slope_x[i], slope_y[i]);
}

namespace {

void print_text(const char* text) { print_message(summary_file, text); }

constexpr const char* cloud_warning =
    "WARNING: Cloud cover > 1.0 in evapo_trans.c - possible problem with hmet file \n";

}  // namespace

double evapo_trans(const et_options& options, const et_weather& weather, et_cells& cells,
                   bool first_call) {
  const int n = cells.count;
  hour_context h{&options, &weather, find_sun(weather, options.latitude), {}, 1.0};
  // The reader rolls hour 24 over to 0; the clamp only guards the table.
  const int hour = std::clamp(weather.hour, 0, 23);
  h.resist_scale = hourly_resist[hour] *
                   (options.seasonal ? seasonal_multiplier(weather.month, options.latitude) : 1.0);
  if (!weather.gridded) {
    h.air = make_air(weather.pressure, weather.temperature, weather.wind, weather.humidity,
                     weather.cloud);
    if (h.air.clipped) print_text(cloud_warning);
  }

  double* ts = cells.surface_temp;
  if (first_call) {
    const double ta = weather.temperature + 273.15;
    const double* grid_t = weather.grid_temperature;
    const bool gridded = weather.gridded;
#pragma omp parallel for schedule(static) num_threads(team_for(n, cells_per_thread))
    for (int i = 1; i <= n; ++i) {
      if (!gridded) ts[i] = ta;
      else ts[i] = grid_t[i] > missing_grid_value ? grid_t[i] + 273.15 : 0.0;
    }
  }

  // The first cell (in cell order) of each fault, reported after the loop.
  int unsettled = INT_MAX, not_number = INT_MAX, bad_ra = INT_MAX;
  int not_numbers = 0, clipped = 0;
#pragma omp parallel for schedule(static) \
    reduction(min : unsettled, not_number, bad_ra) reduction(+ : not_numbers, clipped) \
    num_threads(team_for(n, cells_per_thread))
  for (int i = 1; i <= n; ++i) {
    const cell_outcome r = solve_cell(h, cells, i);
    if (r.clipped) ++clipped;
    if (!r.settled) {
      unsettled = std::min(unsettled, i);
      cells.pet[i] = cells.aet[i] = 0.0;
      continue;
    }
    ts[i] = r.ts;
    cells.energy_residual[i] = r.residual;
    cells.pet[i] = r.pet;
    cells.aet[i] = r.aet;
    if (r.ra_nan) bad_ra = std::min(bad_ra, i);
    if (std::isnan(r.pet) || std::isnan(r.aet)) {
      not_number = std::min(not_number, i);
      ++not_numbers;
      if (std::isnan(r.pet)) cells.pet[i] = 0.0;
      if (std::isnan(r.aet)) cells.aet[i] = 0.0;
    }
  }

  if (clipped > 0) print_text(cloud_warning);
  if (bad_ra != INT_MAX) print_text("Ra is not a number in evapo-trans.c \n");
  if (not_number != INT_MAX) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "Warning: the evapotranspiration of grid cell %d is not a number and is set "
                  "to 0 (%d cells this hour).\n",
                  not_number, not_numbers);
    print_text(text);
  }
  if (unsettled != INT_MAX) {
    // The failed cell kept its temperature, so its loop runs again as before.
    const cell_outcome r = solve_cell(h, cells, unsettled);
    raise_message(
        "Error: the surface temperature of grid cell %d did not converge after %d iterations; "
        "its last two values were %.6f K and %.6f K.\n",
        unsettled, r.iterations, r.ts_before, r.ts);
  }

  if (!weather.gridded) return weather.temperature;
  // Cell order, so the hour's temperature does not depend on the thread count.
  double sum = 0.0;
  int counted = 0;
  for (int i = 1; i <= n; ++i) {
    if (weather.grid_temperature[i] > missing_grid_value) {
      sum += weather.grid_temperature[i];
      ++counted;
    }
  }
  return counted > 0 ? sum / counted : weather.temperature;
}
