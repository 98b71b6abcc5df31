// The hydrometeorological reader: the choice of layout, the common work of
// the first call, the orographic temperatures, the text rules the layouts
// share, and the ZEP layout of one line of eleven fields per hour.

#include "soil/read_hmet.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/error_state.h"
#include "core/grid_state.h"
#include "core/safe_file.h"
#include "run/sim_clock.h"
#include "core/text_io.h"
#include "input/input_state.h"
#include "input/project_settings.h"
#include "soil/hmet_formats.h"
#include "surface/cell_loops.h"

namespace hmet_text {

line_status next_line(safe_file& file, char* line, int& line_number) {
  if (!read_line(file, line)) return line_status::end;
  ++line_number;
  std::size_t length = std::strlen(line);
  // A full buffer is a line cut into pieces: its rest would read as lines.
  if (length >= std::size_t(max_line) - 2) return line_status::too_long;
  if (length > 0 && line[length - 1] == '\r') line[length - 1] = '\0';
  return line_status::line;
}

bool is_blank(const char* line) {
  for (; *line != '\0'; ++line)
    if (*line != ' ' && *line != '\t' && *line != '\r') return false;
  return true;
}

namespace {

// Copies columns first..last (1-based) of line without the blanks around
// them; false when the line ends before column first or they hold nothing.
bool column_text(const char* line, int first, int last, char* out, int capacity) {
  const std::size_t length = std::strlen(line);
  if (first < 1 || last < first || std::size_t(first) > length) return false;
  std::size_t begin = std::size_t(first) - 1;
  std::size_t end = std::size_t(last) < length ? std::size_t(last) : length;
  while (begin < end && (line[begin] == ' ' || line[begin] == '\t')) ++begin;
  while (end > begin && (line[end - 1] == ' ' || line[end - 1] == '\t')) --end;
  if (end == begin || end - begin >= std::size_t(capacity)) return false;
  std::memcpy(out, line + begin, end - begin);
  out[end - begin] = '\0';
  return true;
}

}  // namespace

bool column_int(const char* line, int first, int last, int& value) {
  char text[64];
  return column_text(line, first, last, text, sizeof text) && parse_whole_int(text, value);
}

bool column_real(const char* line, int first, int last, double& value) {
  char text[64];
  return column_text(line, first, last, text, sizeof text) && parse_finite_real(text, value);
}

int split_fields(char* line, char** fields, int capacity) {
  int count = 0;
  char* p = line;
  for (;;) {
    while (*p == ' ' || *p == '\t' || *p == '\r') ++p;
    if (*p == '\0') return count;
    if (count < capacity) fields[count] = p;
    ++count;
    while (*p != '\0' && *p != ' ' && *p != '\t' && *p != '\r') ++p;
    if (*p != '\0') *p++ = '\0';
  }
}

int days_in_month(int year, int month) {
  static constexpr int month_days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month_days[month - 1] + (month == 2 && is_leap_year(year) ? 1 : 0);
}

bool valid_date(int year, int month, int day, int hour, int first_hour, int last_hour) {
  // Years beyond four digits are no dates of meteorological records, and
  // would overflow the Julian day arithmetic.
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  return day <= days_in_month(year, month) && hour >= first_hour && hour <= last_hour;
}

void refuse(safe_file& file, const char* format, ...) {
  char message[2 * path_capacity + 512];
  va_list values;
  va_start(values, format);
  std::vsnprintf(message, sizeof message, format, values);
  va_end(values);
  raise_message("%s", message);
  file.close();
}

void notice(const char* text) { print_message(summary_file, text); }

long long days_since_start(int year, int month, int day) {
  // Days from 1 March of year 0, so that a leap day ends its year.
  const long long y = month <= 2 ? year - 1 : year;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long year_of_era = y - era * 400;
  const long long day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const long long day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era;
}

long long hours_since_start(int year, int month, int day, int hour) {
  return days_since_start(year, month, day) * 24 + hour;
}

bool count_hour(safe_file& file, const char* layout, int line, hmet_record& record, int year,
                int month, int day, int hour) {
  if (record.record_count > 0) {
    const long long before =
        hours_since_start(record.end_year, record.end_month, record.end_day, record.end_hour);
    const long long step = hours_since_start(year, month, day, hour) - before;
    if (step != 1) {
      char how[64];
      const long long hours = step < 0 ? -step : step;
      if (step == 0)
        std::snprintf(how, sizeof how, "the same hour as");
      else
        std::snprintf(how, sizeof how, "%lld hour%s %s", hours, hours == 1 ? "" : "s",
                      step < 0 ? "before" : "after");
      refuse(file,
             "Error: line %d of the %s file %s gives %d %d %d hour %d, %s the hour before it "
             "(%d %d %d hour %d); each hour must follow the one before by one hour.\n",
             line, layout, file.path, year, month, day, hour, how, record.end_year,
             record.end_month, record.end_day, record.end_hour);
      return false;
    }
  }
  if (record.record_count++ == 0) {
    record.year = year;
    record.month = month;
    record.day = day;
    record.hour = hour;
  }
  record.end_year = year;
  record.end_month = month;
  record.end_day = day;
  record.end_hour = hour;
  return true;
}

bool hour_value_within(safe_file& file, const char* layout, int line, const char* what,
                       double value, const char* unit, const physical_range& range) {
  if (within(range, value)) return true;
  char allowed[96];
  range_words(range, allowed, sizeof allowed);
  const char* space = unit[0] != '\0' ? " " : "";
  refuse(file,
         "Error: line %d of the %s file %s: the %s %g%s%s is outside its range; it must be "
         "%s%s%s.\n",
         line, layout, file.path, what, value, space, unit, allowed, space, unit);
  return false;
}

int end_count(safe_file& file, hmet_record& record, hmet_reader_state& reader,
              const hmet_settings& settings, const char* name, bool announce) {
  if (record.record_count == 0) {
    refuse(file, "Error: the %s file %s holds no hours.\n", name, file.path);
    return -1;
  }
  if (announce && !settings.quiet) {
    char text[96];
    std::snprintf(text, sizeof text, "End of %s file encountered after %d lines\n", name,
                  record.record_count);
    notice(text);
  }
  std::rewind(file.stream);
  reader.line = 0;
  return 0;
}

}  // namespace hmet_text

namespace {

using namespace hmet_text;

constexpr double mb_per_inch_hg = 1013.25 / 29.92;
constexpr double m_per_s_per_knot = 0.514444;
constexpr double celsius_per_fahrenheit = 0.5555555555555556;
constexpr int zep_fields = 11;

// Every cell's air temperature from the gauge's by the lapse rate per 1000
// elevation units.
void set_orographic_temps(hmet_record& record, const hmet_settings& settings,
                          const grid_state& grid) {
  if (record.cell_air_temp.size() < std::size_t(grid.cells) + 1)
    record.cell_air_temp.assign(std::size_t(grid.cells) + 1, 0.0);
  double* temp = record.cell_air_temp.data();
  const double* elev = grid.elevation.data();
  const double gauge = record.air_temp;
  const int cells = grid.cells;
#pragma omp parallel for schedule(static) num_threads(team_for(cells, cells_per_thread))
  for (int k = 1; k <= cells; ++k) {
    temp[k] = gauge - (elev[k] - settings.gage_elev) / 1000.0 * settings.lapse_rate;
  }
}

// One ZEP line as written in the file.
struct zep_line {
  int year, month, day, hour;
  double pressure;  // inches of mercury
  int rel_humidity, sky_cover, wind, temperature;
  double direct_rad, global_rad;
};

void refuse_zep_fields(safe_file& file, int line, int parameter) {
  refuse(file,
         "Error: Problem encountered in hmet_ZEP file, line %d, near parameter %d\n\n"
         "Make sure your file is in the correct format, including making sure\n"
         "all input data are listed as floats or ints as specified in the following\n"
         "format table:\n"
         " Format:\n"
         "1   2   3   4    5     6           7        8         9    10        11  \n"
         "Yr  Mo  Day Hr  Press. RelHumidity SkyCover WindSpeed Temp DirectRad GlobalRad\n"
         "int int int int float  int         int      int       int  float     float\n\n"
         "  (File: %s)\n",
         line, parameter, file.path);
}

// The values a line gives, missing ones left out: they are repaired from
// earlier hours.
bool zep_values_within(safe_file& file, int line, const zep_line& z) {
  const char* zep = "hmet_ZEP";
  const auto given = [](int v) { return v != 999; };
  return (z.pressure == 999.0 || hour_value_within(file, zep, line, "pressure", z.pressure,
                                                   "inches of mercury", ranges::positive)) &&
         (!given(z.rel_humidity) ||
          hour_value_within(file, zep, line, "relative humidity", z.rel_humidity, "percent",
                            ranges::percent)) &&
         (!given(z.sky_cover) || hour_value_within(file, zep, line, "sky cover", z.sky_cover,
                                                   "percent", ranges::percent)) &&
         (!given(z.wind) || hour_value_within(file, zep, line, "wind speed", z.wind, "knots",
                                              ranges::non_negative)) &&
         (!given(z.temperature) ||
          hour_value_within(file, zep, line, "air temperature", z.temperature, "deg F",
                            hmet_ranges::fahrenheit)) &&
         (z.direct_rad > 9999.9 ||
          hour_value_within(file, zep, line, "direct radiation", z.direct_rad,
                            "", ranges::non_negative)) &&
         (z.global_rad > 9999.9 ||
          hour_value_within(file, zep, line, "global radiation", z.global_rad,
                            "", ranges::non_negative));
}

// Decodes the next line that is not blank. 1 read, 0 end of the file, -1
// refused (message printed, file closed).
int next_zep_line(safe_file& file, int& line_number, zep_line& z) {
  char line[max_line];
  line_status status;
  while ((status = next_line(file, line, line_number)) == line_status::line && is_blank(line)) {
  }
  if (status == line_status::end) return 0;
  if (status == line_status::too_long) {
    refuse(file, "Error: line %d of the hmet_ZEP file %s is longer than %d characters.\n",
           line_number, file.path, max_line - 3);
    return -1;
  }
  char* f[zep_fields + 1];
  const int count = split_fields(line, f, zep_fields + 1);
  int* whole[zep_fields] = {&z.year, &z.month, &z.day, &z.hour, nullptr, &z.rel_humidity,
                            &z.sky_cover, &z.wind, &z.temperature, nullptr, nullptr};
  double* real[zep_fields] = {nullptr, nullptr, nullptr, nullptr, &z.pressure, nullptr,
                              nullptr, nullptr, nullptr, &z.direct_rad, &z.global_rad};
  for (int i = 0; i < zep_fields; ++i) {
    const bool ok = i < count && (whole[i] ? parse_whole_int(f[i], *whole[i])
                                           : parse_finite_real(f[i], *real[i]));
    if (!ok) {
      refuse_zep_fields(file, line_number, i + 1);
      return -1;
    }
  }
  if (count > zep_fields) {
    refuse_zep_fields(file, line_number, zep_fields + 1);
    return -1;
  }
  // The hour indexes the repair tables; the date becomes a Julian date.
  if (!valid_date(z.year, z.month, z.day, z.hour, 0, 24)) {
    refuse(file,
           "Error: line %d of the hmet_ZEP file %s gives %d %d %d hour %d, which is not a "
           "date with an hour of 0 to 24.\n",
           line_number, file.path, z.year, z.month, z.day, z.hour);
    return -1;
  }
  return zep_values_within(file, line_number, z) ? 1 : -1;
}

int count_zep_lines(safe_file& file, hmet_record& record, hmet_reader_state& reader,
                    const hmet_settings& settings) {
  zep_line z{};
  int result;
  while ((result = next_zep_line(file, reader.line, z)) == 1)
    if (!count_hour(file, "hmet_ZEP", reader.line, record, z.year, z.month, z.day, z.hour))
      return -1;
  if (result < 0) return -1;
  return end_count(file, record, reader, settings, "hmet_ZEP", true);
}

// Missing values take the last valid one: radiation, humidity and
// temperature of the same hour of the day, the others of any hour.
void repair_zep_line(zep_line& z, zep_repair_tables& t, int& missing) {
  const int h = z.hour;
  repair(z.direct_rad, t.direct_rad[h], z.direct_rad > 9999.9, missing);
  repair(z.global_rad, t.global_rad[h], z.global_rad > 9999.9, missing);
  repair(z.rel_humidity, t.rel_humidity[h], z.rel_humidity == 999, missing);
  repair(z.temperature, t.temperature[h], z.temperature == 999, missing);
  repair(z.sky_cover, t.sky_cover, z.sky_cover == 999, missing);
  repair(z.wind, t.wind, z.wind == 999, missing);
  // Pressure is kept in whole thousandths of an inch.
  double thousandths = std::round(z.pressure * 1000.0);
  repair(thousandths, t.pressure, z.pressure == 999.0, missing);
  if (z.pressure == 999.0) z.pressure = thousandths / 1000.0;
}

}  // namespace

int read_zep_hour(safe_file& file, int call, hmet_record& record, hmet_reader_state& reader,
                  const hmet_settings& settings) {
  if (call == 1) return count_zep_lines(file, record, reader, settings);
  zep_line z{};
  const int result = next_zep_line(file, reader.line, z);
  if (result <= 0) return -1;
  repair_zep_line(z, reader.zep, record.missing_count);
  record.year = z.year;
  record.month = z.month;
  record.day = z.day;
  record.hour = z.hour;
  record.pressure = z.pressure * mb_per_inch_hg;
  record.rel_humidity = z.rel_humidity;
  record.cloud_cover = z.sky_cover / 10.0;
  record.wind_speed = z.wind * m_per_s_per_knot;
  record.air_temp = (z.temperature - 32.0) * celsius_per_fahrenheit;
  record.direct_rad = z.direct_rad;
  record.global_rad = z.global_rad;
  return zep_fields;
}

hmet_format hmet_format_of(const project_settings& settings) {
  if (settings.hmet_zep_given) return hmet_format::zep;
  if (settings.hmet_ascii_given) return hmet_format::gridded;
  if (settings.hmet_surfaways_given) return hmet_format::surfaways;
  if (settings.hmet_samson_given) return hmet_format::samson;
  return hmet_format::none;
}

hmet_settings hmet_settings_of(const input_state& input) {
  hmet_settings s;
  s.format = hmet_format_of(input.settings);
  s.orographic = input.settings.orogvar_hmet;
  if (s.orographic) {
    s.gage_elev = input.hmet_gage_elev;
    s.lapse_rate = input.hmet_lapse_rate;
  }
  s.quiet = input.super_quiet;
  return s;
}

int read_hmet_data(safe_file& file, int call, hmet_record& record, hmet_reader_state& reader,
                   const hmet_settings& settings, const grid_state& grid) {
  const bool single_gauge = settings.format == hmet_format::zep ||
                            settings.format == hmet_format::samson ||
                            settings.format == hmet_format::surfaways;
  if (call == 1) {
    if (settings.format == hmet_format::none) {
      refuse(file,
             "Error: the card HMET_ASCII_PET names a hydrometeorological file but no layout "
             "to read it in; give HMET_ZEP, HMET_SAMSON, HMET_SURFAWAYS or HMET_ASCII.\n");
      return -1;
    }
    reader = hmet_reader_state{};
    record.record_count = 0;
    record.missing_count = 0;
    const std::size_t cells = std::size_t(grid.cells) + 1;
    if (settings.format == hmet_format::gridded) {
      for (std::vector<double>* v :
           {&record.cell_direct_rad, &record.cell_global_rad, &record.cell_cloud_cover,
            &record.cell_air_temp, &record.cell_rel_humidity, &record.cell_pressure,
            &record.cell_wind_speed}) {
        v->assign(cells, 0.0);
      }
    } else if (settings.orographic) {
      record.cell_air_temp.assign(cells, 0.0);
    }
  }
  if (!file.is_open()) {
    // Set-up opens the file; a closed one at the first call is a fault of
    // the caller, and a later call finds it closed after a refusal.
    if (call == 1) raise_message("Error: the hydrometeorological file is not open.\n");
    return -1;
  }
  int result = -1;
  switch (settings.format) {
    case hmet_format::zep:
      result = read_zep_hour(file, call, record, reader, settings);
      break;
    case hmet_format::samson:
      result = read_samson_hour(file, call, record, reader, settings);
      break;
    case hmet_format::surfaways:
      result = read_surfaways_hour(file, call, record, reader, settings);
      break;
    case hmet_format::gridded:
      result = read_gridded_hour(file, call, record, reader, settings, grid);
      break;
    case hmet_format::none:
      break;
  }
  if (call > 1 && single_gauge && settings.orographic && result != -1 &&
      error_state.stop_flag == 0) {
    set_orographic_temps(record, settings, grid);
  }
  return result;
}

void roll_hour_24(int& year, int& month, int& day, int& hour) {
  if (hour != 24) return;
  hour = 0;
  if (month < 1 || month > 12 || ++day <= days_in_month(year, month)) return;
  day = 1;
  if (++month <= 12) return;
  month = 1;
  ++year;
}
