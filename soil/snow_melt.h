#pragma once
// Snow accumulation and melt of long-term runs. The rainfall step puts cold
// precipitation into each cell's pack (add_snowfall) and calls the melt
// routine at its rain steps; the hourly meteorology step calls it once an
// hour. The routine gathers the precipitation of each hour, and at the hour
// mark melts the pack by a temperature index with a seasonal melt factor
// (NWSRFS_SNOW) or by its energy balance (EB_NWSRFS_SNOW), with the pack's
// heat deficit and liquid water; with neither form, and between hour marks,
// the pack melts by its energy balance at every call.

#include "soil/snow_state.h"

// Which melt form a run uses.
struct snow_options {
  bool temperature_index = false;  // NWSRFS_SNOW
  bool energy_balance = false;     // EB_NWSRFS_SNOW; wins over the temperature index
  bool retention = false;          // NWSRFS_RETENTION: the outflow is held back and let go
  double latent_heat = 80.0;       // latent heat of fusion of the melt formula
  double loss_term = 27.0;         // constant loss of the melt formula
};

// The interval's meteorology. With gridded input every cell takes its own
// four values, all of which must be given; with orographic variation only
// its own temperature. A cell value at or below -9990 (an hour's grid that
// could not be read) leaves the cell's pack as it is for the call.
struct snow_weather {
  int month = 0, day = 0;       // of the record; the seasonal melt factor needs them
  double air_temp = 0.0;        // deg C
  double wind_speed = 0.0;      // m/s
  double rel_humidity = 0.0;    // percent
  double pressure = 0.0;        // mb
  const double* cell_air_temp = nullptr;      // deg C [1..cells]; gridded or orographic
  const double* cell_wind_speed = nullptr;    // m/s; gridded
  const double* cell_rel_humidity = nullptr;  // percent; gridded
  const double* cell_pressure = nullptr;      // mb; gridded
};

// One call's interval and the cells' arrays [1..cells].
struct snow_call {
  int cells = 0;
  double dt_s = 0.0;           // interval, s
  double dx = 0.0;             // cell size, m
  bool event_on = false;       // an event is in progress
  bool rain_step = false;      // a rain step is active
  bool from_hourly = false;    // called by the hourly meteorology step
  const double* rain_rate = nullptr;  // mm/h: net of interception when that is on
  const int* oland_lake = nullptr;    // overland lake number, 0 none; null without overland lakes
  const int* chan_lake = nullptr;     // channel lake number, 0 none; null without channel lakes
  double* depth = nullptr;            // surface water, m; takes the melt water
};

// Sizes every per-cell array of the pack for cells, zeroed, with the default
// melt parameters. False after "Error allocating memory ..." (code 4000).
bool alloc_snow_cells(snow_state& snow, int cells);

// Precipitation that falls as snow on cell during a step of dt_s seconds at
// rate mm/h: the pack takes it times the cell's snow correction factor, and
// the run totals book what it took and what the factor added. Called cell
// by cell in order, from one thread.
void add_snowfall(snow_state& snow, int cell, double rate, double dt_s, double dx);

// Melts the pack of every cell over one interval and gives what leaves the
// pack to the cell's surface water (snow.released holds each cell's share;
// snow.melt_volume books the sum). Lake cells keep their packs untouched.
// Returns 1 when any cell off the lakes still holds snow, else 0; -1 after
// stopping the run (error 4000) on a record whose month is no month, which
// the temperature index needs.
int nwsrfs_snow_melt(const snow_options& options, const snow_weather& weather,
                     const snow_call& call, snow_state& snow);

// Day of the melt season of month and day, for the seasonal melt factor:
// days since the spring equinox (1 April is 11, 1 January 286), though from
// 21 to 31 March it is the day of the month; -1 for a month outside 1..12.
int seasonal_day(int month, int day);

// Share of the retained water (mm) a cell lets go in an hour, from this
// hour's outflow x (mm) over the hours ds and the pack's retention base
// rb (mm); a pack with no retention base holds nothing back.
double retention_fraction(double x, double rb, double ds);

// Zeroes the precipitation the packs remember (the current hour, the six
// hours and the event's rain steps) of cells 1..cells.
void clear_snow_history(snow_state& snow, int cells);
