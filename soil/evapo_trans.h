#pragma once
// Hourly evapotranspiration of long-term runs. Each cell's surface
// temperature is solved from its energy balance (shortwave on the sloping
// cell, longwave exchange, latent and sensible heat) by Newton iteration and
// kept for the next hour; the potential and actual rates then follow from the
// Penman-Monteith form or from the Deardorff bulk evaporation of the balance.

// The hour's meteorology as the record holds it. With gridded input every
// cell takes its own values from the grids [1..cells], all of which must be
// given, and the scalars are unused; a cell with a value at or below -9990 (a
// grid that could not be read) does not evaporate that hour.
struct et_weather {
  int year = 0, month = 0, day = 0, hour = 0;  // clock of the hour, hour 0..23
  double pressure = 0.0;     // mbar
  double temperature = 0.0;  // air temperature, deg C
  double wind = 0.0;         // m/s
  double humidity = 0.0;     // relative humidity, percent
  double cloud = 0.0;        // cloud cover, tenths
  double radiation = 0.0;    // global radiation, W/m2
  bool gridded = false;
  const double* grid_pressure = nullptr;     // mbar
  const double* grid_temperature = nullptr;  // deg C; -9999 where the grid was missing
  const double* grid_wind = nullptr;         // m/s
  const double* grid_humidity = nullptr;     // percent
  const double* grid_cloud = nullptr;        // tenths
  const double* grid_radiation = nullptr;    // net radiation into the surface, W/m2
};

struct et_options {
  double latitude = 0.0;        // degrees north
  bool penman = false;          // Penman-Monteith; the Deardorff bulk form otherwise
  bool seasonal = false;        // canopy resistance scaled by month and latitude
  bool snow = false;            // snow_we is given and snow sets the albedo
  bool area_reduction = false;  // area_factor is given and scales the actual rate
};

// The terms of a cell's bed slope that its shortwave reads every hour. They
// change only with the slopes, so a run works them out once.
struct et_slope {
  double sin_angle = 0.0;  // sine of the slope angle
  double cos_angle = 1.0;  // cosine of the slope angle
  double sky_view2 = 1.0;  // square of the sky-view factor, cos(angle / 2)
  double aspect = 0.0;     // downslope direction in the sun's azimuth frame, rad
};

// The terms of the bed slopes towards the right neighbour and the one below.
et_slope et_slope_of(double slope_x, double slope_y);

// slope[1..count] from the cells' bed slopes slope_x and slope_y [1..count].
void find_et_slopes(int count, const double* slope_x, const double* slope_y, et_slope* slope);

// Per-cell arrays [1..count] (slot 0 unused). Inputs first, then the state
// kept from hour to hour and the results.
struct et_cells {
  int count = 0;
  const double* albedo = nullptr;         // fraction of shortwave reflected
  double* veg_height = nullptr;           // m; raised to 0.001 where lower (Penman-Monteith)
  const double* trans_coeff = nullptr;    // canopy transmission, fraction; 0 read as 1
  const double* canopy_resist = nullptr;  // s/m
  const double* slope_x = nullptr;        // bed slope towards the right neighbour
  const double* slope_y = nullptr;        // bed slope towards the neighbour below
  const et_slope* slope = nullptr;        // from find_et_slopes; null: from slope_x, slope_y
  const double* depth = nullptr;          // surface water depth, m
  const double* snow_we = nullptr;        // snow water equivalent, m; with options.snow
  const double* area_factor = nullptr;    // fraction; with options.area_reduction

  double* surface_temp = nullptr;         // K; from the air at the first call, 0 before any air
  double* energy_residual = nullptr;      // net radiation - latent - sensible heat, kW/m2
  double* pet = nullptr;                  // potential rate, cm/s, never negative
  double* aet = nullptr;                  // actual rate, cm/s, never negative
};

// One hour for every cell. first_call starts every surface temperature at its
// air temperature (the run's first hour). Returns the hour's air temperature,
// deg C: with gridded input the mean of the cells above -9990. A surface
// temperature that does not settle within the Newton limit stops the run
// (error 4000) naming the first such cell; a rate that is not a number is
// reported with its cell and set to 0.
double evapo_trans(const et_options& options, const et_weather& weather, et_cells& cells,
                   bool first_call);
