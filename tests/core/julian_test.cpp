// Julian dates against known epochs and against the C++ calendar.

#include "core/julian.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

namespace {

TEST(julian_date, known_epochs) {
  struct {
    int year, month, day, hour, minute;
    double seconds;
    double julian;
  } cases[] = {
      {2000, 1, 1, 12, 0, 0.0, 2451545.0},
      {2000, 1, 1, 0, 0, 0.0, 2451544.5},
      {1970, 1, 1, 0, 0, 0.0, 2440587.5},
      {1858, 11, 17, 0, 0, 0.0, 2400000.5},       // epoch of the modified Julian date
      {2000, 1, 1, 18, 0, 0.0, 2451545.25},
      {2000, 1, 1, 6, 30, 36.0, 2451544.771250},  // 6.51 h after midnight
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.year);
    EXPECT_NEAR(julian_date(c.year, c.month, c.day, c.hour, c.minute, c.seconds), c.julian, 1e-9);
  }
}

TEST(julian_date, month_and_year_ends_have_no_gap) {
  struct {
    int y1, m1, d1, y2, m2, d2;
    double days;
  } cases[] = {
      {1900, 2, 28, 1900, 3, 1, 1.0},  // 1900 is not a leap year
      {2000, 2, 28, 2000, 3, 1, 2.0},  // 2000 is
      {2000, 2, 29, 2000, 3, 1, 1.0},
      {2024, 2, 29, 2024, 3, 1, 1.0},
      {1999, 12, 31, 2000, 1, 1, 1.0},
      {2000, 1, 1, 2001, 1, 1, 366.0},
      {2100, 1, 1, 2101, 1, 1, 365.0},
  };
  for (const auto& c : cases) {
    double a = julian_date(c.y1, c.m1, c.d1, 0, 0, 0.0);
    double b = julian_date(c.y2, c.m2, c.d2, 0, 0, 0.0);
    EXPECT_DOUBLE_EQ(b - a, c.days) << c.y1 << "-" << c.m1 << "-" << c.d1;
  }
}

TEST(calendar_date, midnight_of_2000_is_a_saturday_with_the_hundredth_second) {
  int y, mo, d, h, mi;
  double s;
  day_of_week = -1;
  calendar_date(2451544.5, &y, &mo, &d, &h, &mi, &s);
  EXPECT_EQ(y, 2000);
  EXPECT_EQ(mo, 1);
  EXPECT_EQ(d, 1);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(mi, 0);
  EXPECT_NEAR(s, 0.01, 1e-4);
  EXPECT_EQ(day_of_week, 6);

  calendar_date(2440587.5, &y, &mo, &d, &h, &mi, &s);
  EXPECT_EQ(day_of_week, 4);  // 1 January 1970 was a Thursday
}

TEST(calendar_date, an_instant_just_below_a_minute_shows_as_that_minute) {
  int y, mo, d, h, mi;
  double s;
  double minute = julian_date(2010, 5, 6, 7, 8, 0.0);
  // Up to a hundredth of a second (1.157e-7 d) below shows the whole minute.
  for (double below : {1e-9, 5e-8, 1e-7}) {
    calendar_date(minute - below, &y, &mo, &d, &h, &mi, &s);
    EXPECT_EQ(h, 7) << below;
    EXPECT_EQ(mi, 8) << below;
    EXPECT_GE(s, 0.0) << below;
    EXPECT_LT(s, 0.01) << below;
  }
  // Further below it is the end of the minute before.
  calendar_date(minute - 2e-7, &y, &mo, &d, &h, &mi, &s);
  EXPECT_EQ(mi, 7);
  EXPECT_NEAR(s, 59.9927, 1e-3);
}

// Every 6 hours from 1900 to 2100, the fields and the weekday of the C++
// calendar: julian_date matches it and calendar_date gives the fields back.
TEST(calendar_date, round_trips_every_six_hours_from_1900_to_2100) {
  using namespace std::chrono;
  const sys_days first = sys_days{year{1900} / January / 1};
  const sys_days end = sys_days{year{2101} / January / 1};
  const sys_days unix_epoch = sys_days{year{1970} / January / 1};
  int failures = 0;
  long checked = 0;
  for (sys_days day = first; day < end && failures < 5; day += days{1}) {
    year_month_day ymd{day};
    int yy = int(ymd.year());
    int mm = int(unsigned(ymd.month()));
    int dd = int(unsigned(ymd.day()));
    long since_epoch = (day - unix_epoch).count();
    for (int hour = 0; hour < 24; hour += 6) {
      int minute = int((since_epoch * 7 + hour) % 60 + 60) % 60;
      double expected = 2440587.5 + since_epoch + hour / 24.0 + minute / 1440.0;
      double julian = julian_date(yy, mm, dd, hour, minute, 0.0);
      int y, mo, d, h, mi;
      double s;
      calendar_date(julian, &y, &mo, &d, &h, &mi, &s);
      bool ok = std::fabs(julian - expected) < 1e-8 && y == yy && mo == mm && d == dd &&
                h == hour && mi == minute && std::fabs(s - 0.01) <= 1e-4 &&
                day_of_week == int(weekday{day}.c_encoding());
      if (!ok) {
        ++failures;
        ADD_FAILURE() << yy << "-" << mm << "-" << dd << " " << hour << ":" << minute
                      << " julian " << julian << " expected " << expected << " back " << y
                      << "-" << mo << "-" << d << " " << h << ":" << mi << ":" << s << " dow "
                      << day_of_week;
      }
      ++checked;
    }
  }
  EXPECT_EQ(checked, 4L * (end - first).count());
}

}  // namespace

// Date fields come from files as any int; the time of day is summed in reals
// so that no field overflows on its way to a (far-off but finite) date.
TEST(julian_date, extreme_time_fields_give_a_finite_date) {
  const double midnight = julian_date(2000, 1, 1, 0, 0, 0.0);
  EXPECT_NEAR(julian_date(2000, 1, 1, 0, -2147483647 - 1, 0.0), midnight - 2147483648.0 / 1440.0,
              1e-6);
  EXPECT_NEAR(julian_date(2000, 1, 1, 2147483647, 0, 0.0), midnight + 2147483647.0 / 24.0, 1e-6);
}
