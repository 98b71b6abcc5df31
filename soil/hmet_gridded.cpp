// Gridded hydrometeorological hours: the file lists one path prefix per
// hour, ending in the hour's date yyyymmddhh, and the prefix with eight
// suffixes names the hour's ASCII grids (six header lines of columns, rows,
// lower-left x and y, cell size and no-data value, then the values from the
// top row). Each watershed cell takes the value of the grid cell under its
// centre, or of the nearest edge row or column when it lies outside.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/error_state.h"
#include "core/grid_state.h"
#include "core/safe_file.h"
#include "core/text_io.h"
#include "soil/hmet_formats.h"
#include "soil/read_hmet.h"
#include "surface/cell_loops.h"

namespace {

using namespace hmet_text;

constexpr int date_digits = 10;  // yyyymmddhh
constexpr const char* suffixes[hmet_grid_count] = {"_Clod.asc", "_Prcp.asc", "_Pres.asc",
                                                   "_RlHm.asc", "_Temp.asc", "_Drad.asc",
                                                   "_Grad.asc", "_WndS.asc"};
constexpr const char* open_names[hmet_grid_count] = {
    "Cloud",       "Precip",           "Pressure",         "Relative Humidity",
    "Temperature", "Direct Radiation", "Global Radiation", "Wind Speed"};
constexpr const char* fill_names[hmet_grid_count] = {
    "Cloud",       "Precipitation",    "Pressure",         "Relative Humidity",
    "Temperature", "Direct Radiation", "Global Radiation", "Wind Speed"};
// The longest prefix that leaves room for a suffix in a path.
constexpr std::size_t longest_prefix = path_capacity - 16;
// Gridded meteorology covers a region some thousands of cells square; a
// header giving more is a damaged file, and its grid would not fit memory.
constexpr long long most_grid_values = 1LL << 26;
// What a cell takes where its hour has no value: the grid did not open or
// holds its no-data value there. Left out of the mean temperature.
constexpr double no_value = -9999.0;
constexpr double default_wind = 3.0;  // m/s
constexpr double mb_per_inch_hg = 1013.25 / 29.92;
constexpr double celsius_per_fahrenheit = 0.5555555555555556;

// Date of an hour's token from its last ten characters; false when they are
// not ten digits giving a date with an hour of 0 to 24.
bool token_date(const char* token, int& year, int& month, int& day, int& hour) {
  const std::size_t length = std::strlen(token);
  if (length < std::size_t(date_digits)) return false;
  long long v = 0;
  for (const char* p = token + length - date_digits; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return false;
    v = v * 10 + (*p - '0');
  }
  year = static_cast<int>(v / 1000000);
  month = static_cast<int>(v % 1000000 / 10000);
  day = static_cast<int>(v % 10000 / 100);
  hour = static_cast<int>(v % 100);
  return valid_date(year, month, day, hour, 0, 24);
}

void refuse_token(safe_file& file, int line) {
  refuse(file,
         "Error: Problem encountered in hmet_ASCII file, line %d \n\n"
         "Make sure your file is in the correct format, including making sure\n"
         "the dates are in integers and in the following format:\n"
         " Format:\nyyyymmddhh\n2008050100int\n\n"
         "  (File: %s)\n",
         line, file.path);
}

// The next hour's token of the list into token (path_capacity characters),
// its date checked. 1 read, 0 end of the list, -1 refused.
int next_hour_token(safe_file& file, hmet_reader_state& reader, char* token, int& year,
                    int& month, int& day, int& hour) {
  std::string& text = reader.list_line;
  std::size_t& pos = reader.list_pos;
  for (;;) {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\r'))
      ++pos;
    if (pos < text.size()) break;
    char line[max_line];
    const line_status status = next_line(file, line, reader.line);
    if (status == line_status::end) return 0;
    if (status == line_status::too_long) {
      refuse(file, "Error: line %d of the hmet_ASCII file %s is longer than %d characters.\n",
             reader.line, file.path, max_line - 3);
      return -1;
    }
    text = line;
    pos = 0;
  }
  std::size_t end = pos;
  while (end < text.size() && text[end] != ' ' && text[end] != '\t' && text[end] != '\r') ++end;
  if (end - pos > longest_prefix) {
    refuse(file,
           "Error: line %d of the hmet_ASCII file %s names a grid prefix longer than %d "
           "characters.\n",
           reader.line, file.path, static_cast<int>(longest_prefix));
    return -1;
  }
  std::memcpy(token, text.data() + pos, end - pos);
  token[end - pos] = '\0';
  pos = end;
  if (!token_date(token, year, month, day, hour)) {
    refuse_token(file, reader.line);
    return -1;
  }
  return 1;
}

int count_hour_tokens(safe_file& file, hmet_record& record, hmet_reader_state& reader,
                      const hmet_settings& settings) {
  char token[path_capacity];
  int y, m, d, h;
  int result;
  while ((result = next_hour_token(file, reader, token, y, m, d, h)) == 1)
    if (!count_hour(file, "hmet_ASCII", reader.line, record, y, m, d, h)) return -1;
  if (result < 0) return -1;
  reader.list_line.clear();
  reader.list_pos = 0;
  return end_count(file, record, reader, settings, "hmet_ASCII", true);
}

// The value after the key word of one header line.
bool header_value(char* line, double& value, bool whole) {
  char* f[2];
  if (split_fields(line, f, 2) < 2) return false;
  if (!whole) return parse_finite_real(f[1], value);
  int v = 0;
  if (!parse_whole_int(f[1], v)) return false;
  value = v;
  return true;
}

// The physical range of each grid's values in the units the grids give them.
struct grid_range {
  const char* what;
  const char* unit;
  physical_range range;
};
constexpr grid_range grid_ranges[hmet_grid_count] = {
    {"cloud cover", "percent", ranges::percent},
    {"precipitation", "", ranges::non_negative},
    {"pressure", "inches of mercury", ranges::positive},
    {"relative humidity", "percent", ranges::percent},
    {"air temperature", "deg F", hmet_ranges::fahrenheit},
    {"direct radiation", "", ranges::non_negative},
    {"global radiation", "", ranges::non_negative},
    {"wind speed", "m/s", ranges::non_negative}};

// Values below this are no data to the counting of a grid's values.
constexpr double least_value = -998000.0;

// Every value of grid g but its no-data ones within the range of its kind;
// false after the message naming the value's row and column.
bool grid_values_within(const safe_file& grid_file, const hmet_grid& g, int kind) {
  const grid_range& r = grid_ranges[kind];
  const std::size_t size = std::size_t(g.rows) * std::size_t(g.cols);
  for (std::size_t n = 0; n < size; ++n) {
    const double v = g.values[n];
    if (v == g.no_data || v <= least_value || within(r.range, v)) continue;
    char allowed[96];
    range_words(r.range, allowed, sizeof allowed);
    const char* space = r.unit[0] != '\0' ? " " : "";
    raise_message(
        "Error: row %d, column %d of the gridded hour file %s: the %s %g%s%s is outside its "
        "range; it must be %s%s%s.\n",
        static_cast<int>(n / std::size_t(g.cols)) + 1,
        static_cast<int>(n % std::size_t(g.cols)) + 1, grid_file.path, r.what, v, space, r.unit,
        allowed, space, r.unit);
    return false;
  }
  return true;
}

// Reads one open grid file of the kind into g. False after a refusal
// (message printed, code 4000 raised); the list file is left to the caller.
bool read_hour_grid(safe_file& grid_file, hmet_grid& g, std::vector<char>& text, int kind) {
  static constexpr const char* header_names[6] = {"the number of columns", "the number of rows",
                                                  "the lower-left x",      "the lower-left y",
                                                  "the cell size",         "the no-data value"};
  static constexpr bool whole[6] = {true, true, false, false, false, false};
  double h[6] = {};
  char line[max_line];
  for (int k = 0; k < 6; ++k) {
    const bool ok = read_line(grid_file, line) && std::strlen(line) < std::size_t(max_line) - 2 &&
                    header_value(line, h[k], whole[k]);
    if (!ok || (k < 2 && h[k] < 1.0) || (k == 4 && h[k] <= 0.0)) {
      raise_message("Error: line %d of the gridded hour file %s does not give %s%s.\n", k + 1,
                    grid_file.path, header_names[k],
                    k < 2 ? " of 1 or more" : k == 4 ? " above 0" : "");
      return false;
    }
  }
  const long long size = static_cast<long long>(h[0]) * static_cast<long long>(h[1]);
  const long start = std::ftell(grid_file.stream);
  long bytes = -1;
  if (start >= 0 && std::fseek(grid_file.stream, 0, SEEK_END) == 0)
    bytes = std::ftell(grid_file.stream) - start;
  // Every value takes a digit and a separator: a header giving more values
  // than the file could hold lies about its size.
  if (bytes < 0 || std::fseek(grid_file.stream, start, SEEK_SET) != 0 ||
      size > most_grid_values || size > bytes / 2 + 1) {
    raise_message(
        "Error: the gridded hour file %s gives %.0f rows of %.0f columns, more values than "
        "it holds.\n",
        grid_file.path, h[1], h[0]);
    return false;
  }
  try {
    text.resize(std::size_t(bytes) + 1);
    g.values.resize(std::size_t(size));
  } catch (const std::bad_alloc&) {
    raise_message("\nERROR!!  Memory NOT Allocated!\n");
    return false;
  }
  const std::size_t got = std::fread(text.data(), 1, std::size_t(bytes), grid_file.stream);
  text[got] = '\0';
  char* p = text.data();
  char* const stop = p + got;
  long long n = 0;
  for (; n < size; ++n) {
    while (p < stop && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == ','))
      ++p;
    if (p >= stop) break;
    char* end = p;
    while (end < stop && *end != ' ' && *end != '\t' && *end != '\n' && *end != '\r' &&
           *end != ',')
      ++end;
    const char kept = *end;
    *end = '\0';
    const bool ok = parse_finite_real(p, g.values[std::size_t(n)]);
    *end = kept;
    if (!ok) {
      raise_message("Error: value %lld of the gridded hour file %s is not a number.\n", n + 1,
                    grid_file.path);
      return false;
    }
    p = end;
  }
  if (n < size) {
    raise_message(
        "Error: the gridded hour file %s holds %lld values, fewer than the %lld of its %.0f "
        "rows of %.0f columns.\n",
        grid_file.path, n, size, h[1], h[0]);
    return false;
  }
  g.cols = static_cast<int>(h[0]);
  g.rows = static_cast<int>(h[1]);
  g.ll_x = h[2];
  g.ll_y = h[3];
  g.cell_size = h[4];
  g.no_data = h[5];
  return grid_values_within(grid_file, g, kind);
}

// Column and row (from 0, row 0 the top) of the grid cell under the centre
// of model cell (r, c), clipped into the grid.
void grid_cell(const hmet_grid& g, const grid_state& grid, int r, int c, int& col, int& row) {
  const double R = grid.dx;
  const double x = std::trunc(std::trunc(grid.west + (c - 1) * R + 0.5 * R - g.ll_x) /
                              g.cell_size);
  const double y = std::trunc(
      std::trunc(g.rows * g.cell_size + g.ll_y - (grid.north - 0.5 * R - (r - 1) * R)) /
      g.cell_size);
  // Written so that a distance beyond any number (a header of absurd
  // corners) clips too.
  col = x > 0.0 ? (x < g.cols - 1.0 ? static_cast<int>(x) : g.cols - 1) : 0;
  row = y > 0.0 ? (y < g.rows - 1.0 ? static_cast<int>(y) : g.rows - 1) : 0;
}

// A cell's value of grid g in the record's units; fill where the hour has
// none.
double cell_value(const hmet_grid& g, const grid_state& grid, int r, int c, int kind,
                  double fill) {
  if (!g.opened) return fill;
  int col, row;
  grid_cell(g, grid, r, c, col, row);
  const double v = g.values[std::size_t(row) * std::size_t(g.cols) + std::size_t(col)];
  if (v == g.no_data) return fill;
  switch (kind) {
    case grid_cloud:
      return v / 10.0;
    case grid_temperature:
      return (v - 32.0) * celsius_per_fahrenheit;
    case grid_pressure:
      return v * mb_per_inch_hg;
    default:
      return v;
  }
}

void map_hour_to_cells(hmet_record& record, const hmet_reader_state& reader,
                       const grid_state& grid) {
  const auto& gr = reader.grids;
  const int rows = grid.rows, cols = grid.cols;
#pragma omp parallel for schedule(static) num_threads(team_for(grid.cells, cells_per_thread))
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= cols; ++c) {
      const int k = grid.mask[r][c];
      if (k == 0) continue;
      record.cell_direct_rad[k] = cell_value(gr[grid_direct], grid, r, c, grid_direct, no_value);
      record.cell_global_rad[k] = cell_value(gr[grid_global], grid, r, c, grid_global, no_value);
      record.cell_cloud_cover[k] = cell_value(gr[grid_cloud], grid, r, c, grid_cloud, no_value);
      record.cell_air_temp[k] =
          cell_value(gr[grid_temperature], grid, r, c, grid_temperature, no_value);
      record.cell_rel_humidity[k] =
          cell_value(gr[grid_humidity], grid, r, c, grid_humidity, no_value);
      record.cell_pressure[k] = cell_value(gr[grid_pressure], grid, r, c, grid_pressure, no_value);
      record.cell_wind_speed[k] = cell_value(gr[grid_wind], grid, r, c, grid_wind, default_wind);
    }
  }
}

// The reading notices of the first hour, and every hour's count mismatch.
void print_hour_notices(const hmet_reader_state& reader, int call) {
  const auto& gr = reader.grids;
  long long count = -1;
  bool differ = false;
  for (int g = grid_cloud; g <= grid_temperature; ++g) {
    if (!gr[g].opened) continue;
    const long long n = static_cast<long long>(gr[g].cols) * gr[g].rows;
    differ = differ || (count >= 0 && n != count);
    count = n;
  }
  if (differ) notice("\n\nERROR!!! Counts DO NOT MATCH\n\n");
  if (call != 2) return;
  char text[96];
  for (int g = 0; g < hmet_grid_count; ++g) {
    if (gr[g].opened) {
      std::snprintf(text, sizeof text, "Filling %s Array\n", fill_names[g]);
    } else {
      std::snprintf(text, sizeof text, "ERROR!!! CANNOT OPEN %s FILE\n", open_names[g]);
    }
    notice(text);
  }
  if (!gr[grid_wind].opened) {
    std::snprintf(text, sizeof text, "NO WIND VALUE READ, using %lf \n", default_wind);
    notice(text);
  }
}

}  // namespace

double check_ascii_hmet_coords(int row, int col, double north, double west, double cell_size,
                               int hmet_col, int hmet_row, int hmet_rows,
                               double hmet_cell_size, double hmet_ll_x, double hmet_ll_y) {
  const double x_model = west + (col - 1) * cell_size + 0.5 * cell_size;
  const double y_model = north - 0.5 * cell_size - (row - 1) * cell_size;
  const double x_hmet = hmet_ll_x + hmet_col * hmet_cell_size;
  const double y_hmet = hmet_ll_y + (hmet_rows - 1 - hmet_row) * hmet_cell_size;
  const double x_error = std::fabs(std::fabs(x_model) - std::fabs(x_hmet));
  const double y_error = std::fabs(std::fabs(y_model) - std::fabs(y_hmet));
  if (x_error > 1.3 * hmet_cell_size)
    notice("\nERROR!! in the conversion of X coordinates in the ASCII HMET");
  if (y_error > 1.3 * hmet_cell_size)
    notice("\nERROR!! in the conversion of Y coordinates in the ASCII HMET");
  return std::max(x_error, y_error);
}

int read_gridded_hour(safe_file& file, int call, hmet_record& record, hmet_reader_state& reader,
                      const hmet_settings& settings, const grid_state& grid) {
  if (call == 1) return count_hour_tokens(file, record, reader, settings);
  char token[path_capacity];
  int year, month, day, hour;
  if (next_hour_token(file, reader, token, year, month, day, hour) <= 0) return -1;

  char path[path_capacity];
  int last_opened = -1;
  for (int g = 0; g < hmet_grid_count; ++g) {
    hmet_grid& hg = reader.grids[g];
    hg.opened = 0;
    std::snprintf(path, sizeof path, "%s%s", token, suffixes[g]);
    safe_file grid_file;
    if (!grid_file.open(path, "r")) continue;
    if (!read_hour_grid(grid_file, hg, reader.grid_text, g)) {
      file.close();
      return -1;
    }
    hg.opened = 1;
    last_opened = g;
  }
  print_hour_notices(reader, call);

  const std::size_t cells = std::size_t(grid.cells) + 1;
  for (std::vector<double>* v :
       {&record.cell_direct_rad, &record.cell_global_rad, &record.cell_cloud_cover,
        &record.cell_air_temp, &record.cell_rel_humidity, &record.cell_pressure,
        &record.cell_wind_speed}) {
    if (v->size() < cells) v->assign(cells, 0.0);
  }
  map_hour_to_cells(record, reader, grid);

  // The check reads the last grid that opened, cell by cell in order, so
  // that its warnings come out in the order of the cells.
  if (last_opened >= 0) {
    const hmet_grid& g = reader.grids[last_opened];
    for (int r = 1; r <= grid.rows; ++r) {
      for (int c = 1; c <= grid.cols; ++c) {
        if (grid.mask[r][c] == 0) continue;
        int col, row;
        grid_cell(g, grid, r, c, col, row);
        check_ascii_hmet_coords(r, c, grid.north, grid.west, grid.dx, col, row, g.rows,
                                g.cell_size, g.ll_x, g.ll_y);
      }
    }
  }

  double sum = 0.0;
  int counted = 0;
  for (int k = 1; k <= grid.cells; ++k) {
    if (record.cell_air_temp[k] > -9990.0) {
      sum += record.cell_air_temp[k];
      ++counted;
    }
  }
  record.air_temp = counted > 0 ? sum / counted : no_value;
  record.year = year;
  record.month = month;
  record.day = day;
  record.hour = hour;
  return 1;
}
