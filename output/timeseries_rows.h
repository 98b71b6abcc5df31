#pragma once
// The rows of the time-series outputs: their time column and the outlet
// hydrograph's layouts.

#include <cstdio>

struct run_control;

// Time column of a long-term run: the Julian date with STRICT_JULIAN_DATE,
// else the decimal year, year + (day_of_year x 1440 + hour x 60 + minute) / D
// with D = 527040 minutes when (year - 1900) is a multiple of 4, else 525600.
double long_term_time(const run_control& run, bool strict_julian);

// How the outlet hydrograph is written in this run.
struct outlet_row_form {
  bool long_term = false;
  bool strict_julian = false;
  bool cfs = false;  // QOUT_CFS: discharge in cubic feet per second
};

// Time of the row: elapsed minutes, the Julian date or the long-term column.
double outlet_row_time(const outlet_row_form& form, const run_control& run);

// One outlet hydrograph row of time and discharge (already in the row's units).
void write_outlet_row(std::FILE* file, const outlet_row_form& form, double time, double q);
