#pragma once
// The soil-water subsystem's part of the run record: the flags and dates the
// clocks and event tests read. Per-cell soil arrays join it with their Parts.

struct soil_state {
  double snow_const_a = 80.0;  // snow-model constants handed to the snow routine
  double snow_const_b = 27.0;

  int saturated_surface = 0;  // a cell's soil column starts saturated to the surface
  int hmet_start_year = 0, hmet_start_month = 0, hmet_start_day = 0, hmet_start_hour = 0;
  int hmet_end_year = 0, hmet_end_month = 0, hmet_end_day = 0, hmet_end_hour = 0;
  double hmet_end_time = 0.0;  // Julian date of the last meteorology record
};
