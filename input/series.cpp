// Time series and elevation series: their side files, their lists and their
// lookups. Times are Julian days; a relative series holds days counted from
// the date whose five fields are all 0 until the run driver adds the start.

#include "input/series.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/error_state.h"
#include "core/julian.h"
#include "core/safe_file.h"
#include "core/text_io.h"

namespace {

// Julian date of the zero date (year, month, day, hour and minute all 0).
constexpr double relative_zero_date = 1721028.5;

constexpr int block_base_capacity = 100;  // characters of a block's base name
constexpr int field_capacity = 64;        // characters of one numeric field

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

const char* skip_blanks(const char* p) {
  while (*p != '\0' && is_blank(*p)) ++p;
  return p;
}

// Copies the next field into text and moves p past it; present tells whether
// there was one. A field too long to be a number leaves text empty.
void take_field(const char*& p, char (&text)[field_capacity], bool& present) {
  p = skip_blanks(p);
  const char* start = p;
  while (*p != '\0' && !is_blank(*p)) ++p;
  const long length = p - start;
  present = length > 0;
  if (length >= field_capacity) {
    text[0] = '\0';
    return;
  }
  std::memcpy(text, start, length);
  text[length] = '\0';
}

// The line with replacement parameters substituted, when they are active.
void substitute(std::string& line) {
  if (active_line_filter == nullptr) return;
  std::vector<char> buffer(std::max<size_t>(max_line, line.size() + 1));
  std::memcpy(buffer.data(), line.c_str(), line.size() + 1);
  active_line_filter(buffer.data(), static_cast<int>(buffer.size()));
  line.assign(buffer.data());
}

bool begins_with(const std::string& line, const char* word) {
  return line.compare(0, std::strlen(word), word) == 0;
}

// Blanks removed at both ends, then one quote at each end.
std::string series_name(const std::string& line) {
  size_t first = 0;
  size_t last = line.size();
  while (first < last && is_blank(line[first])) ++first;
  while (last > first && is_blank(line[last - 1])) --last;
  std::string name = line.substr(first, last - first);
  if (!name.empty() && name.front() == '"') name.erase(0, 1);
  if (!name.empty() && name.back() == '"') name.pop_back();
  return name;
}

bool names_match(const std::string& series_name, const char* name) {
  return name != nullptr && series_name.compare(0, std::strlen(name), name) == 0;
}

double interpolate(const double* x, const double* y, int i, double at) {
  const double w = (at - x[i]) / (x[i + 1] - x[i]);
  return (1.0 - w) * y[i] + w * y[i + 1];
}

// Index of an interval holding t (time[i] <= t < time[i + 1]) between from
// and to - 1, or -1. Zero-width intervals never hold t.
int find_interval(const double* time, int from, int to, double t) {
  for (int i = from; i < to; ++i)
    if (time[i] <= t && t < time[i + 1]) return i;
  return -1;
}

// Index of an interval holding z (elevation[i] <= z <= elevation[i + 1], of
// nonzero width) searched from the first, or -1.
int find_elevation_interval(const elev_series& s, double z) {
  const double* e = s.elevation.data();
  for (int i = 0; i + 1 < s.entries(); ++i)
    if (e[i] <= z && z <= e[i + 1] && e[i] < e[i + 1]) return i;
  return -1;
}

// Clamped ends of an elevation series: true with value set when z lies at or
// beyond an end, the series has one entry, or it is absent or empty (reported,
// value 0.0).
bool elevation_end(double z, const elev_series* s, double& value) {
  if (s == nullptr) {
    raise_message("Error: attempting to extract a value from an elevation series that does not exist.\n");
    value = 0.0;
    return true;
  }
  const int n = s->entries();
  if (n == 0) {
    raise_message("Error: attempting to extract a value from an elevation series [%s] with no entries.\n",
                  s->name.c_str());
    value = 0.0;
    return true;
  }
  if (n == 1 || z <= s->elevation[0]) {
    value = s->value[0];
    return true;
  }
  if (z >= s->elevation[n - 1]) {
    value = s->value[n - 1];
    return true;
  }
  return false;
}

// Reads every block of a series file into the list; 0 when the file does not
// open (its message printed), otherwise the number of series read.
template <class List, class ReadOne>
int read_series_file(List& list, const char* path, const char* title, const char* kind,
                     ReadOne read_one) {
  safe_file file;
  if (path == nullptr || !file.open(path, "r")) {
    std::printf("Error: %s file not found [%s]\n", title, path ? path : "");
    return 0;
  }
  text_source source{file.stream, file.path, 0};
  int count = 0;
  int status;
  while ((status = read_one(list, source)) == 1) ++count;
  file.close();
  if (status == 0) msg_printf("%d %s read from file %s\n", count, kind, path);
  return count;
}

// The first series of the list whose name matches.
template <class List>
auto find_series(const List& list, const char* name) -> decltype(list.front().get()) {
  for (const auto& s : list)
    if (names_match(s->name, name)) return s.get();
  return nullptr;
}

}  // namespace

bool take_int_field(const char*& p, int& value) {
  char text[field_capacity];
  bool present = false;
  take_field(p, text, present);
  return parse_whole_int(text, value);
}

bool take_real_field(const char*& p, double& value) {
  char text[field_capacity];
  bool present = false;
  take_field(p, text, present);
  return parse_finite_real(text, value);
}

bool skip_fields(const char*& p, int n) {
  for (int i = 0; i < n; ++i) {
    char text[field_capacity];
    bool present = false;
    take_field(p, text, present);
    if (!present) return false;
  }
  return true;
}

bool is_blank_line(const char* line) { return *skip_blanks(line) == '\0'; }

int read_source_line(text_source& source, std::string& line, bool substitute_line) {
  line.clear();
  if (source.stream == nullptr) return 0;
  char chunk[4096];
  bool any = false;
  while (std::fgets(chunk, sizeof chunk, source.stream) != nullptr) {
    any = true;
    size_t length = std::strlen(chunk);
    if (length > 0 && chunk[length - 1] == '\n') {
      chunk[length - 1] = '\0';
      line += chunk;
      break;
    }
    line += chunk;
  }
  if (!any) return 0;
  ++source.line_number;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (substitute_line) substitute(line);
  return 1;
}

int ts_keyword(const char* line) {
  auto begins = [line](const char* word) { return std::strncmp(line, word, std::strlen(word)) == 0; };
  if (begins("END_TS")) return ts_end;
  if (begins("ABSOLUTE")) return ts_absolute;
  if (begins("RELATIVE")) return ts_relative;
  if (begins("VALTO_TS")) return ts_begin;
  return ts_other;
}

time_series* ts_new(time_series_list& list) {
  list.push_back(std::make_unique<time_series>());
  return list.back().get();
}

void ts_free_all(time_series_list& list) { list.clear(); }

int ts_read_one(time_series_list& list, text_source& source) {
  std::string line;
  do {
    if (!read_source_line(source, line)) return 0;
  } while (ts_keyword(line.c_str()) != ts_begin);

  time_series* s = ts_new(list);
  if (read_source_line(source, line)) s->name = series_name(line);
  if (read_source_line(source, line) && ts_keyword(line.c_str()) == ts_relative) s->relative = 1;

  while (read_source_line(source, line) && ts_keyword(line.c_str()) != ts_end) {
    if (is_blank_line(line.c_str())) continue;
    const char* p = line.c_str();
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double v = 0.0;
    if (!take_int_field(p, year) || !take_int_field(p, month) || !take_int_field(p, day) ||
        !take_int_field(p, hour) || !take_int_field(p, minute) || !take_real_field(p, v)) {
      raise_message(
          "Error: line %d of the time series file %s does not hold year, month, day, hour, minute "
          "and a value (series [%s]).\n",
          source.line_number, source.path, s->name.c_str());
      return -1;
    }
    double t = julian_date(year, month, day, hour, minute, 0.0);
    if (s->relative) t -= relative_zero_date;
    s->time.push_back(t);
    s->value.push_back(v);
  }
  msg_printf("Read time series %s\n", s->name.c_str());
  return 1;
}

int read_time_series_file(time_series_list& list, const char* path) {
  return read_series_file(list, path, "Time series", "time series", ts_read_one);
}

time_series* ts_find(const time_series_list& list, const char* name) {
  return find_series(list, name);
}

double ts_value(double t, const time_series* s) {
  if (s == nullptr) {
    raise_message("Error: attempting to extract a value from a time series that does not exist.\n");
    return 0.0;
  }
  const int n = s->entries();
  if (n == 0) {
    raise_message("Error: attempting to extract a value from a time series [%s] with no entries.\n",
                  s->name.c_str());
    return 0.0;
  }
  const double* time = s->time.data();
  const double* value = s->value.data();
  if (n == 1 || t <= time[0]) return value[0];
  if (t >= time[n - 1]) return value[n - 1];

  int order = s->order.load(std::memory_order_relaxed);
  if (order == 0) {
    order = std::is_sorted(time, time + n) ? 1 : 2;
    s->order.store(order, std::memory_order_relaxed);
  }
  int i = -1;
  if (order == 1) {
    int hint = s->hint.load(std::memory_order_relaxed);
    if (hint < 0 || hint > n - 2) hint = 0;
    i = find_interval(time, hint, n - 1, t);
    if (i < 0) i = find_interval(time, 0, hint, t);
    if (i != hint && i >= 0) s->hint.store(i, std::memory_order_relaxed);
  }
  if (i < 0) {
    std::printf("Error: something is really messed up with your time series [%s].\n",
                s->name.c_str());
    return 0.0;
  }
  return interpolate(time, value, i, t);
}

double ts_value_by_index(std::span<const ts_index_entry> table, int id, double t) {
  for (auto row = table.rbegin(); row != table.rend(); ++row)
    if (row->id == id) return ts_value(t, row->series);
  raise_message(
      "Error: attempting to extract a value from an unknown time series in the time series table.  "
      "  Check the mapping table file (.cmt). The specified time series index is %d, but the \n"
      "index is not found in the time series index table.\n",
      id);
  return 0.0;
}

time_series* ts_read_block(time_series_list& list, text_source& source, int columns,
                           const char* base) {
  if (columns < 1) return nullptr;
  std::string cut = base != nullptr ? base : "";
  if (cut.size() > static_cast<size_t>(block_base_capacity)) cut.resize(block_base_capacity);
  std::vector<time_series*> made(columns);
  for (int k = 0; k < columns; ++k) {
    made[k] = ts_new(list);
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "_%04d", k);
    made[k]->name = cut + suffix;
  }

  std::string raw;
  std::string probe;
  while (read_source_line(source, raw, false)) {
    probe = raw;
    substitute(probe);
    if (ts_keyword(probe.c_str()) == ts_end) break;
    if (is_blank_line(raw.c_str())) continue;
    const char* p = raw.c_str();
    int f[5] = {};
    bool dated = true;
    for (int& field : f) dated = take_int_field(p, field) && dated;
    double t = -1.0;
    if (dated) {
      t = julian_date(f[0], f[1], f[2], f[3], f[4], 0.0);
    } else {
      std::printf("Warning: the date on line %d of %s cannot be read; its values get the time -1.0.\n",
                  source.line_number, source.path);
    }
    for (int k = 0; k < columns; ++k) {
      double v = 0.0;
      if (!take_real_field(p, v)) {
        raise_message("Error: line %d of %s holds no number for column %d of %d of its series block.\n",
                      source.line_number, source.path, k + 1, columns);
        return nullptr;
      }
      made[k]->time.push_back(t);
      made[k]->value.push_back(v);
    }
  }
  return made[0];
}

void shift_relative_series(time_series_list& list, double start) {
  for (auto& s : list) {
    if (!s->relative || s->shifted) continue;
    for (double& t : s->time) t += start;
    s->shifted = 1;
  }
}

elev_series* es_new(elev_series_list& list) {
  list.push_back(std::make_unique<elev_series>());
  return list.back().get();
}

int es_read_one(elev_series_list& list, text_source& source) {
  std::string line;
  do {
    if (!read_source_line(source, line)) return 0;
  } while (!begins_with(line, "VALTO_ES"));

  elev_series* s = es_new(list);
  if (read_source_line(source, line)) {
    std::vector<char> text(line.begin(), line.end());
    text.push_back('\0');
    char token[token_capacity];
    next_token(text.data(), token);
    s->name = token;
  }
  while (read_source_line(source, line) && !begins_with(line, "END_ES")) {
    if (is_blank_line(line.c_str())) continue;
    const char* p = line.c_str();
    double z = 0.0, v = 0.0;
    if (!take_real_field(p, z) || !take_real_field(p, v)) {
      raise_message(
          "Error: line %d of the elevation series file %s does not hold an elevation and a value "
          "(series [%s]).\n",
          source.line_number, source.path, s->name.c_str());
      return -1;
    }
    s->elevation.push_back(z);
    s->value.push_back(v);
  }
  return 1;
}

int es_read_file(elev_series_list& list, const char* path) {
  return read_series_file(list, path, "Elevation series", "elevation series", es_read_one);
}

elev_series* es_find(const elev_series_list& list, const char* name) {
  return find_series(list, name);
}

double es_value(double z, const elev_series* s) {
  double value = 0.0;
  if (elevation_end(z, s, value)) return value;
  const int i = find_elevation_interval(*s, z);
  if (i < 0) {
    std::printf("Error: something is really messed up with your elevation series [%s].\n",
                s->name.c_str());
    return 0.0;
  }
  return interpolate(s->elevation.data(), s->value.data(), i, z);
}

double es_step_value(double z, const elev_series* s) {
  double value = 0.0;
  if (elevation_end(z, s, value)) return value;
  const int i = find_elevation_interval(*s, z);
  if (i < 0) {
    std::printf("Error: something is really messed up with your elevation series [%s].\n",
                s->name.c_str());
    return 0.0;
  }
  return s->value[i];
}
