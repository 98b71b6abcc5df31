// The SAMSON layout: two header lines (station name, latitude and longitude
// in the first), then one line per hour in fixed columns, the hours of a day
// numbered 1 to 24. Values are kept in the file's own units.

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/safe_file.h"
#include "core/text_io.h"
#include "soil/hmet_formats.h"
#include "soil/read_hmet.h"

namespace {

using namespace hmet_text;

// Longest line the layout writes.
constexpr int samson_line_length = 800;

struct samson_line {
  int year, month, day, hour;
  int direct_rad, global_rad;  // as written
  int sky_cover;               // tenths
  double temperature;          // deg C
  int rel_humidity;            // percent
  int pressure;                // mb
  double wind;                 // m/s
};

struct samson_field {
  int first, last;  // 1-based columns
  const char* name;
};

constexpr samson_field date_fields[4] = {
    {2, 3, "year"}, {5, 6, "month"}, {8, 9, "day"}, {11, 12, "hour"}};

void refuse_field(safe_file& file, int line, const samson_field& f) {
  refuse(file,
         "Error: line %d of the hmet_SAMSON file %s does not hold a number for the %s in "
         "columns %d-%d.\n",
         line, file.path, f.name, f.first, f.last);
}

// Reads the next line, refusing one longer than the layout writes. 1 read,
// 0 end of the file, -1 refused.
int next_samson_line(safe_file& file, char* line, int& line_number, bool skip_blank) {
  line_status status;
  do {
    status = next_line(file, line, line_number);
  } while (skip_blank && status == line_status::line && is_blank(line));
  if (status == line_status::end) return 0;
  if (status == line_status::too_long || std::strlen(line) > std::size_t(samson_line_length)) {
    refuse(file, "Error: line %d of the hmet_SAMSON file %s is longer than %d characters.\n",
           line_number, file.path, samson_line_length);
    return -1;
  }
  return 1;
}

// The first header line: station name, latitude and longitude.
bool decode_station(safe_file& file, const char* line, int line_number, hmet_record& record) {
  const std::size_t length = std::strlen(line);
  std::memset(record.station_name, 0, sizeof record.station_name);
  if (length > 7) {
    const std::size_t n = length - 7 < 22 ? length - 7 : 22;
    std::memcpy(record.station_name, line + 7, n);
  }
  static constexpr samson_field fields[4] = {{40, 41, "latitude degrees"},
                                             {43, 44, "latitude minutes"},
                                             {48, 50, "longitude degrees"},
                                             {52, 53, "longitude minutes"}};
  int v[4];
  for (int i = 0; i < 4; ++i) {
    if (!column_int(line, fields[i].first, fields[i].last, v[i])) {
      refuse_field(file, line_number, fields[i]);
      return false;
    }
  }
  record.latitude = v[0] + v[1] / 60.0;
  record.longitude = v[2] + v[3] / 60.0;
  return true;
}

// The values a line gives, missing ones left out: they are repaired from
// earlier hours.
bool samson_values_within(safe_file& file, int line, const samson_line& s) {
  const char* samson = "hmet_SAMSON";
  const double whole_wind = std::trunc(s.wind);
  return (s.direct_rad == 9999 ||
          hour_value_within(file, samson, line, "direct radiation", s.direct_rad,
                            "", ranges::non_negative)) &&
         (s.global_rad == 9999 ||
          hour_value_within(file, samson, line, "global radiation", s.global_rad,
                            "", ranges::non_negative)) &&
         (s.sky_cover == 99 || hour_value_within(file, samson, line, "total sky cover",
                                                 s.sky_cover, "tenths", hmet_ranges::tenths)) &&
         (std::round(s.temperature * 10.0) == 9999.0 ||
          hour_value_within(file, samson, line, "air temperature", s.temperature, "deg C",
                            hmet_ranges::celsius)) &&
         (s.rel_humidity == 999 ||
          hour_value_within(file, samson, line, "relative humidity", s.rel_humidity, "percent",
                            ranges::percent)) &&
         (s.pressure == 9999 || hour_value_within(file, samson, line, "pressure", s.pressure,
                                                  "mb", ranges::positive)) &&
         (whole_wind == 99.0 || whole_wind == 9999.0 ||
          hour_value_within(file, samson, line, "wind speed", s.wind, "m/s",
                            ranges::non_negative));
}

bool decode_samson_line(safe_file& file, const char* line, int line_number, samson_line& s) {
  int* date[4] = {&s.year, &s.month, &s.day, &s.hour};
  for (int i = 0; i < 4; ++i) {
    if (!column_int(line, date_fields[i].first, date_fields[i].last, *date[i])) {
      refuse_field(file, line_number, date_fields[i]);
      return false;
    }
  }
  static constexpr samson_field whole[5] = {{34, 37, "direct radiation"},
                                            {42, 45, "global radiation"},
                                            {50, 51, "total sky cover"},
                                            {68, 70, "relative humidity"},
                                            {72, 75, "pressure"}};
  int* whole_value[5] = {&s.direct_rad, &s.global_rad, &s.sky_cover, &s.rel_humidity,
                         &s.pressure};
  for (int i = 0; i < 5; ++i) {
    if (!column_int(line, whole[i].first, whole[i].last, *whole_value[i])) {
      refuse_field(file, line_number, whole[i]);
      return false;
    }
  }
  static constexpr samson_field temperature{56, 60, "temperature"};
  static constexpr samson_field wind{80, 85, "wind speed"};
  if (!column_real(line, temperature.first, temperature.last, s.temperature)) {
    refuse_field(file, line_number, temperature);
    return false;
  }
  if (!column_real(line, wind.first, wind.last, s.wind)) {
    refuse_field(file, line_number, wind);
    return false;
  }
  // The file gives the year in two digits; they stand for 1950 to 2049, so
  // that the hours of 2001 are not taken for those of 1901.
  if (s.year < 50) s.year += 2000;
  else if (s.year < 100) s.year += 1900;
  if (!valid_date(s.year, s.month, s.day, s.hour, 0, 24)) {
    refuse(file,
           "Error: line %d of the hmet_SAMSON file %s gives %d %d %d hour %d, which is not a "
           "date with an hour of 0 to 24.\n",
           line_number, file.path, s.year, s.month, s.day, s.hour);
    return false;
  }
  return samson_values_within(file, line_number, s);
}

// Reads the two header lines and every hour once. 0, or -1 refused.
int count_samson_lines(safe_file& file, hmet_record& record, hmet_reader_state& reader,
                       const hmet_settings& settings) {
  char line[max_line];
  int& n = reader.line;
  int result = next_samson_line(file, line, n, false);
  if (result == 1 && !decode_station(file, line, n, record)) return -1;
  if (result == 1) result = next_samson_line(file, line, n, false);
  if (result < 0) return -1;
  if (result == 0) {
    refuse(file, "Error: the hmet_SAMSON file %s ends within its two header lines.\n",
           file.path);
    return -1;
  }
  samson_line s{};
  while ((result = next_samson_line(file, line, n, true)) == 1) {
    if (!decode_samson_line(file, line, n, s)) return -1;
    if (!count_hour(file, "hmet_SAMSON", n, record, s.year, s.month, s.day, s.hour)) return -1;
  }
  if (result < 0) return -1;
  if (end_count(file, record, reader, settings, "hmet_SAMSON", false) != 0) return -1;
  // The hourly reads count the read that meets the end of the file too.
  ++record.record_count;
  reader.samson.skip_header = 1;
  return 0;
}

// Missing values take the last valid one: radiation, temperature and
// humidity of the same hour of the day, the others of any hour.
void repair_samson_line(samson_line& s, samson_repair_tables& t, int& missing) {
  const int h = s.hour;
  repair(s.direct_rad, t.direct_rad[h], s.direct_rad == 9999, missing);
  repair(s.global_rad, t.global_rad[h], s.global_rad == 9999, missing);
  repair(s.rel_humidity, t.rel_humidity[h], s.rel_humidity == 999, missing);
  repair(s.sky_cover, t.sky_cover, s.sky_cover == 99, missing);
  repair(s.pressure, t.pressure, s.pressure == 9999, missing);
  // Temperature is kept in whole tenths and wind in whole hundredths.
  double tenths = std::round(s.temperature * 10.0);
  const bool no_temperature = tenths == 9999.0;
  repair(tenths, t.temperature[h], no_temperature, missing);
  if (no_temperature) s.temperature = tenths / 10.0;
  const double whole_wind = std::trunc(s.wind);
  double hundredths = std::round(s.wind * 100.0);
  const bool no_wind = whole_wind == 99.0 || whole_wind == 9999.0;
  repair(hundredths, t.wind, no_wind, missing);
  if (no_wind) s.wind = hundredths / 100.0;
}

}  // namespace

int read_samson_hour(safe_file& file, int call, hmet_record& record, hmet_reader_state& reader,
                     const hmet_settings& settings) {
  if (call == 1) return count_samson_lines(file, record, reader, settings);
  samson_repair_tables& t = reader.samson;
  char line[max_line];
  if (t.skip_header) {
    t.skip_header = 0;
    for (int k = 0; k < 2; ++k)
      if (next_samson_line(file, line, reader.line, false) <= 0) return -1;
  }
  if (++t.reads >= record.record_count) return -1;
  if (next_samson_line(file, line, reader.line, true) <= 0) return -1;
  samson_line s{};
  if (!decode_samson_line(file, line, reader.line, s)) return -1;
  repair_samson_line(s, t, record.missing_count);
  roll_hour_24(s.year, s.month, s.day, s.hour);
  record.year = s.year;
  record.month = s.month;
  record.day = s.day;
  record.hour = s.hour;
  record.direct_rad = s.direct_rad;
  record.global_rad = s.global_rad;
  record.cloud_cover = s.sky_cover;
  record.air_temp = s.temperature;
  record.rel_humidity = s.rel_humidity;
  record.pressure = s.pressure;
  record.wind_speed = s.wind;
  return 1;
}
