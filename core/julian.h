#pragma once
// Julian dates (days, a day begins at noon) and their calendar fields.

extern int day_of_week;  // 0 Sunday .. 6 Saturday, of the last date calendar_date converted

double julian_date(int year, int month, int day, int hour, int minute, double seconds);
void calendar_date(double julian, int* year, int* month, int* day, int* hour, int* minute,
                   double* seconds);
