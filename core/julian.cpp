// Julian dates (days in the astronomical convention, a day begins at noon)
// from and to calendar fields, by the Julian day number conversions of
// ACM Algorithm 199 extended with the time of day. Integer divisions truncate
// toward zero, as C++ integer division does.

#include "core/julian.h"

int day_of_week = 0;

namespace {

constexpr long day_number_offset = 1721119;  // day number of 1 March of year 0, civil day
constexpr double seconds_per_day = 86400.0;
// One hundredth of a second in days: an instant stored a little below a whole
// second or minute (as left by adding many time steps) shows as that second.
constexpr double display_nudge = 1.1574074074074074e-7;

}  // namespace

double julian_date(int year, int month, int day, int hour, int minute, double seconds) {
  // In reals throughout: a minute field read from a file may be any int.
  double day_seconds = minute * 60.0 + hour * 3600.0 + seconds;

  // Months are counted from March, so that February ends the counting year.
  long m;
  long y = year;
  if (month > 2) {
    m = month - 3;
  } else {
    m = month + 9;
    y = y - 1;
  }
  long cent = y / 100;
  long ya = y - 100 * cent;
  long n = (146097 * cent) / 4 + (1461 * ya) / 4 + (153 * m + 2) / 5 + day + day_number_offset;

  // n counts civil days from noon: the morning belongs to the previous day.
  if (day_seconds < 43200.0) return (n - 1) + ((day_seconds + 43200.0) / 3600.0) / 24.0;
  return n + ((day_seconds - 43200.0) / 3600.0) / 24.0;
}

void calendar_date(double julian, int* year, int* month, int* day, int* hour, int* minute,
                   double* seconds) {
  double x = julian + display_nudge;
  long n = static_cast<long>(x);
  double f = x - n;
  if (f >= 0.5) {
    n = n + 1;
    f = f - 0.5;
  } else {
    f = f + 0.5;
  }
  // n is now the civil day number and f the fraction of that day since midnight.
  day_of_week = static_cast<int>((n + 1) % 7);

  long j = 4 * (n - day_number_offset);
  long y = (j - 1) / 146097;
  long d = (j - 1 - 146097 * y) / 4;
  long j2 = (4 * d + 3) / 1461;
  d = (4 * d + 3 - 1461 * j2 + 4) / 4;
  long m = (5 * d - 3) / 153;
  *day = static_cast<int>((5 * d - 3 - 153 * m + 5) / 5);
  long yr = 100 * y + j2;
  if (m < 10) {
    *month = static_cast<int>(m + 3);
  } else {
    *month = static_cast<int>(m - 9);
    yr = yr + 1;
  }
  *year = static_cast<int>(yr);

  double t = f * seconds_per_day;
  int h = static_cast<int>(t / 3600.0);
  t = t - 3600.0 * h;
  int mi = static_cast<int>(t / 60.0);
  *hour = h;
  *minute = mi;
  *seconds = t - 60.0 * mi;
}
