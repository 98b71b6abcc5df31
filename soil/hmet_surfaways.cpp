// The surface-airways layout: fixed-column lines, each one element (direct
// and global radiation, pressure, humidity, temperature, sky cover, wind)
// for one day with its hourly values. The lines of a day come together; a
// day is read whole when its first hour is due, and the first line of the
// next day waits in the reader until then.

#include <cstdio>
#include <cstring>

#include "core/error_state.h"
#include "core/safe_file.h"
#include "core/text_io.h"
#include "soil/hmet_formats.h"
#include "soil/read_hmet.h"

namespace {

using namespace hmet_text;

// Lines may reach 800 characters with their ending; past 790 the values
// of a full day no longer fit the layout.
constexpr std::size_t longest_line = 790;
constexpr int missing_value = 99999;
constexpr double mb_per_thousandth_inch = 33.86530748663101 / 1000.0;
constexpr double m_per_s_per_knot = 0.514444;
constexpr double celsius_per_fahrenheit = 0.5555555555555556;

enum element : int { direct, global, pressure, humidity, temperature, sky, wind, elements };
constexpr const char* element_codes[elements] = {"DR", "GR", "PR", "RH", "TM", "TS", "WI"};

struct element_line {
  char code[5];  // columns 12-15 as written
  int element;   // elements when the code names none
  int year, month, day;
  int count;     // values on the line
  int values[surfaways_values];
};

// Reads the next line that is not blank. 1 read, 0 end of the file, -1
// refused as too long.
int next_element_line(safe_file& file, char* line, int& line_number) {
  line_status status;
  while ((status = next_line(file, line, line_number)) == line_status::line && is_blank(line)) {
  }
  if (status == line_status::end) return 0;
  if (status == line_status::too_long || std::strlen(line) > longest_line) {
    refuse(file, "Line too long in hmet_NCDC input file.  Program exiting\n  (File: %s)\n",
           file.path);
    return -1;
  }
  return 1;
}

// The values of a line, missing ones left out: they are repaired from the
// day before or the last valid value.
bool element_values_within(safe_file& file, int line, const element_line& e) {
  static constexpr const char* ncdc = "hmet_NCDC";
  for (int i = 0; i < e.count; ++i) {
    const int v = e.values[i];
    bool ok = true;
    switch (e.element) {
      case direct:
        ok = v == missing_value || hour_value_within(file, ncdc, line, "direct radiation", v,
                                                     "tenths", ranges::non_negative);
        break;
      case global:
        ok = v == missing_value || hour_value_within(file, ncdc, line, "global radiation", v,
                                                     "tenths", ranges::non_negative);
        break;
      case pressure:
        ok = v == missing_value ||
             hour_value_within(file, ncdc, line, "pressure", v, "thousandths of an inch of mercury",
                               ranges::positive);
        break;
      case humidity:
        ok = v == missing_value || hour_value_within(file, ncdc, line, "relative humidity", v,
                                                     "percent", ranges::percent);
        break;
      case temperature:
        ok = v == missing_value || hour_value_within(file, ncdc, line, "air temperature", v,
                                                     "deg F", hmet_ranges::fahrenheit);
        break;
      case sky:
        ok = v / 100 == 999 || hour_value_within(file, ncdc, line, "sky cover", v % 100,
                                                 "tenths", hmet_ranges::tenths);
        break;
      case wind:
        ok = v % 1000 == 999 || hour_value_within(file, ncdc, line, "wind speed", v % 1000,
                                                  "knots", ranges::non_negative);
        break;
      default:
        break;
    }
    if (!ok) return false;
  }
  return true;
}

bool decode_element_line(safe_file& file, const char* line, int line_number, element_line& e) {
  std::memset(e.code, 0, sizeof e.code);
  const std::size_t length = std::strlen(line);
  if (length > 11) std::memcpy(e.code, line + 11, length - 11 < 4 ? length - 11 : 4);
  e.element = elements;
  for (int k = 0; k < elements; ++k)
    if (std::strncmp(e.code, element_codes[k], 2) == 0) e.element = k;

  struct field {
    int first, last;
    const char* name;
    int* value;
  };
  const field fields[4] = {{18, 21, "year", &e.year},
                           {22, 23, "month", &e.month},
                           {26, 27, "day", &e.day},
                           {28, 30, "number of values", &e.count}};
  for (const field& f : fields) {
    if (!column_int(line, f.first, f.last, *f.value)) {
      refuse(file,
             "Error: line %d of the hmet_NCDC file %s does not hold a number for the %s in "
             "columns %d-%d.\n",
             line_number, file.path, f.name, f.first, f.last);
      return false;
    }
  }
  if (e.count < 0 || e.count > surfaways_values) {
    refuse(file,
           "Error: line %d of the hmet_NCDC file %s gives %d values; a day holds 0 to %d.\n",
           line_number, file.path, e.count, surfaways_values);
    return false;
  }
  if (!valid_date(e.year, e.month, e.day, 0, 0, 0)) {
    refuse(file, "Error: line %d of the hmet_NCDC file %s gives %d %d %d, which is not a date.\n",
           line_number, file.path, e.year, e.month, e.day);
    return false;
  }
  for (int i = 0; i < e.count; ++i) {
    const int group = 31 + 12 * i;  // first column of the value's group
    int time = 0;
    if (!column_int(line, group, group + 3, time) ||
        !column_int(line, group + 5, group + 9, e.values[i])) {
      refuse(file,
             "Error: line %d of the hmet_NCDC file %s does not hold the time and value of "
             "value %d in columns %d-%d.\n",
             line_number, file.path, i + 1, group, group + 11);
      return false;
    }
  }
  return element_values_within(file, line_number, e);
}

void print_element_counts(const int* counts) {
  char text[160];
  std::snprintf(text, sizeof text,
                "DRAD GRAD PRES RHUM TMPD TSKC WIND\n %d  %d  %d  %d  %d  %d  %d\n",
                counts[direct], counts[global], counts[pressure], counts[humidity],
                counts[temperature], counts[sky], counts[wind]);
  notice(text);
}

// Humidity, sky cover and wind are needed for every day that has a
// temperature. False after the message of the first that differs.
bool check_element_days(safe_file& file, const int* counts) {
  struct day_check {
    element e;
    const char* text;
  };
  static constexpr day_check checks[3] = {
      {humidity,
       "data file.  There appears to be a different number of \n"
       "days of rel. humidity data than temperature data.  Rel. hum.\n"
       "data is required for each day.  Examine the file and supply\n"
       "the missing data.  Program terminating\n\n"},
      {sky,
       "data file.  There appear to be a different number of days\n"
       "of cloud cover data than temperature data.  Clouds data is\n"
       "required for each day.  Examine the file and supply the \n"
       "missing data.  Program terminating\n\n"},
      {wind,
       "data file.  There appear to be different number of days of "
       "wind data than temperature data.  Wind speed data is\n"
       "required for each day.  Examine the file and supply the \n"
       "missing data.  Program terminating\n\n"},
  };
  for (const day_check& c : checks) {
    if (counts[c.e] == counts[temperature]) continue;
    refuse(file, "There is an error in the Surface Airways hydrometeorology\n%s  (File: %s)\n",
           c.text, file.path);
    return false;
  }
  return true;
}

// Counts the days (24 hours each) and the lines of each element, up to the
// end of the file or a line of the same element as the line before. 0, or
// 1 after a refusal.
int count_element_lines(safe_file& file, hmet_record& record, hmet_reader_state& reader,
                        const hmet_settings& settings) {
  char line[max_line];
  int counts[elements + 1] = {};
  int lines = 0;
  int last_day = 0;
  long long last_date = 0;
  char last_code[5] = {};
  element_line e{};
  int result;
  while ((result = next_element_line(file, line, reader.line)) == 1) {
    if (!decode_element_line(file, line, reader.line, e)) return 1;
    if (lines > 0 && std::strcmp(e.code, last_code) == 0) {
      if (!settings.quiet) {
        char text[96];
        std::snprintf(text, sizeof text, "End of hmet_NCDC file encountered after %ld lines\n",
                      static_cast<long>(lines));
        notice(text);
      }
      break;
    }
    if (lines++ == 0) {
      record.year = e.year;
      record.month = e.month;
      record.day = e.day;
      record.hour = 0;
    }
    // The lines of a day come together and the days one after the other:
    // each day's hours are delivered as the day after the day before's.
    const long long date = days_since_start(e.year, e.month, e.day);
    if (lines > 1 && date != last_date && date != last_date + 1) {
      refuse(file,
             "Error: line %d of the hmet_NCDC file %s gives the day %d %d %d, %s; the lines "
             "of a day must come together and each day must be the day after the one "
             "before.\n",
             reader.line, file.path, e.year, e.month, e.day,
             date < last_date ? "before the day of the line before it"
                              : "more than a day after the day of the line before it");
      return 1;
    }
    last_date = date;
    if (e.day != last_day) record.record_count += 24;
    ++counts[e.element];
    record.end_year = e.year;
    record.end_month = e.month;
    record.end_day = e.day;
    record.end_hour = surfaways_values - 1;
    last_day = e.day;
    std::memcpy(last_code, e.code, sizeof last_code);
  }
  if (result < 0) return 1;
  if (lines == 0) {
    refuse(file, "Error: the hmet_NCDC file %s holds no days.\n", file.path);
    return 1;
  }
  print_element_counts(counts);
  if (!check_element_days(file, counts)) return 1;
  std::rewind(file.stream);
  reader.line = 0;
  reader.surfaways.pending.reserve(longest_line + 1);  // the hours then allocate nothing
  return 0;
}

// One line into the day tables. A missing value keeps the day before's at
// its position; pressure, sky cover and wind take the last valid value.
void take_element_line(const element_line& e, surfaways_day& d, int& missing) {
  for (int i = 0; i < e.count; ++i) {
    const int v = e.values[i];
    switch (e.element) {
      case direct:
      case global:
      case humidity:
      case temperature: {
        std::array<int, surfaways_values>& table =
            e.element == direct   ? d.direct_rad
            : e.element == global ? d.global_rad
            : e.element == humidity ? d.rel_humidity
                                    : d.temperature;
        if (v == missing_value) {
          ++missing;
        } else {
          table[i] = v;
        }
        break;
      }
      case pressure:
        if (v == missing_value) {
          ++missing;
        } else {
          d.last_pressure = v;
        }
        d.pressure[i] = d.last_pressure;
        break;
      case sky:
        // Ceiling height and sky cover share the value: hundreds and units.
        if (v / 100 == 999) {
          ++missing;
        } else {
          d.last_sky_cover = v % 100;
        }
        d.sky_cover[i] = d.last_sky_cover;
        break;
      case wind:
        // Direction and speed share the value: thousands and units.
        if (v % 1000 == 999) {
          ++missing;
        } else {
          d.last_wind = v % 1000;
        }
        d.wind[i] = d.last_wind;
        break;
      default:
        break;
    }
  }
  if (e.element == direct) d.has_direct = 1;
  if (e.element == global) d.has_global = 1;
}

// Next line of the data, the waiting one first. 1 read, 0 the data have
// ended, -1 refused.
int next_data_line(safe_file& file, hmet_reader_state& reader, element_line& e) {
  surfaways_day& d = reader.surfaways;
  char line[max_line];
  int line_number;
  if (!d.pending.empty()) {
    std::snprintf(line, sizeof line, "%s", d.pending.c_str());
    line_number = d.pending_line;
    d.pending.clear();
  } else {
    const int result = next_element_line(file, line, reader.line);
    if (result <= 0) return result;
    line_number = reader.line;
    if (!decode_element_line(file, line, line_number, e)) return -1;
    if (d.last_code[0] != '\0' && std::strcmp(e.code, d.last_code) == 0) return 0;
    std::memcpy(d.last_code, e.code, sizeof d.last_code);
    return 1;
  }
  return decode_element_line(file, line, line_number, e) ? 1 : -1;
}

// Reads the lines of the next day into the tables. 1 read, 0 no further
// day, -1 refused.
int load_next_day(safe_file& file, hmet_reader_state& reader, int& missing) {
  surfaways_day& d = reader.surfaways;
  if (d.done) return 0;
  element_line e{};
  int result = next_data_line(file, reader, e);
  if (result <= 0) {
    d.done = 1;
    return result;
  }
  d.year = e.year;
  d.month = e.month;
  d.day = e.day;
  d.has_direct = 0;
  d.has_global = 0;
  take_element_line(e, d, missing);
  char line[max_line];
  while ((result = next_element_line(file, line, reader.line)) == 1) {
    if (!decode_element_line(file, line, reader.line, e)) return -1;
    if (std::strcmp(e.code, d.last_code) == 0) {
      d.done = 1;
      break;
    }
    std::memcpy(d.last_code, e.code, sizeof d.last_code);
    if (e.day != d.day) {
      d.pending = line;
      d.pending_line = reader.line;
      break;
    }
    take_element_line(e, d, missing);
  }
  if (result < 0) return -1;
  if (result == 0) d.done = 1;
  d.next_hour = 0;
  return 1;
}

}  // namespace

int read_surfaways_hour(safe_file& file, int call, hmet_record& record,
                        hmet_reader_state& reader, const hmet_settings& settings) {
  if (call == 1) return count_element_lines(file, record, reader, settings);
  surfaways_day& d = reader.surfaways;
  if (d.next_hour >= surfaways_values && load_next_day(file, reader, record.missing_count) <= 0)
    return -1;
  const int h = d.next_hour++;
  record.year = d.year;
  record.month = d.month;
  record.day = d.day;
  record.hour = h;
  record.direct_rad = d.direct_rad[h] / 10.0 * d.has_direct;
  record.global_rad = d.global_rad[h] / 10.0 * d.has_global;
  record.cloud_cover = d.sky_cover[h];
  record.air_temp = (d.temperature[h] - 32.0) * celsius_per_fahrenheit;
  record.rel_humidity = d.rel_humidity[h];
  record.pressure = d.pressure[h] * mb_per_thousandth_inch;
  record.wind_speed = d.wind[h] * m_per_s_per_knot;
  return 0;
}
