// Radar rainfall grids: the header, the map of the watershed cells onto the
// radar cells, and the rates of each grid file, converted from inches per
// hour to mm/h.

#include "surface/radar_grid.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "core/alloc.h"
#include "core/error_state.h"
#include "core/grid_state.h"
#include "core/safe_file.h"
#include "core/text_io.h"
#include "surface/cell_loops.h"
#include "surface/raingage_data.h"

namespace {

constexpr int header_lines = 6;
constexpr double mm_per_inch = 25.4;
constexpr double largest_rate = 100.0;  // mm/h
// Radar products cover a region at most some thousands of cells square; a
// header giving more is a damaged file, and its grid would not fit memory.
constexpr std::size_t max_radar_cells = std::size_t(1) << 26;

// The value after the keyword of one header line, as a whole number or a
// real. False when the line holds no such value.
bool header_value(char* line, double& value, bool whole) {
  char token[token_capacity];
  if (!next_token(line, token) || !next_token(line, token)) return false;
  char* end = nullptr;
  if (whole) {
    errno = 0;
    const long v = std::strtol(token, &end, 10);
    if (end == token || *end != '\0' || errno != 0 || v < 1 || v > INT_MAX) return false;
    value = static_cast<double>(v);
    return true;
  }
  const double v = std::strtod(token, &end);
  if (end == token || *end != '\0' || !std::isfinite(v)) return false;
  value = v;
  return true;
}

// Reads the first count header lines of an open grid file into values.
// 0, or the 1-based number of the line that does not read.
int read_header(safe_file& file, double* values, int count) {
  static constexpr bool whole[header_lines] = {true, true, false, false, false, false};
  char line[max_line];
  for (int k = 0; k < count; ++k) {
    if (!read_line(file, line) || !header_value(line, values[k], whole[k])) return k + 1;
  }
  return 0;
}

constexpr const char* header_names[header_lines] = {"the number of columns", "the number of rows",
                                          "the lower-left x",      "the lower-left y",
                                          "the cell size",         "the no-data value"};

// Radar row and column of the centre of grid cell (r, c): a centre north of
// the radar grid takes row 0, one west of it column 0.
void radar_cell(const radar_precip& radar, const grid_state& grid, int r, int c, int& radar_row,
                int& radar_col) {
  const double x = grid.west + (c - 0.5) * grid.dx;
  const double y = grid.north - (r - 0.5) * grid.dx;
  // In reals until known to lie on the grid: a tiny cell size or a far corner
  // puts a cell any number of radar cells away, past the range of an int.
  const double row = y > radar.north ? 0.0 : (radar.north - y) / radar.cell_size;
  const double col = x < radar.west ? 0.0 : (x - radar.west) / radar.cell_size;
  radar_row = row < radar.rows ? static_cast<int>(row) : radar.rows;
  radar_col = col < radar.cols ? static_cast<int>(col) : radar.cols;
}

}  // namespace

int parse_radar_header(radar_precip& radar, const char* name) {
  safe_file file;
  if (!file.open(name, "r")) return -1;
  double h[header_lines] = {};
  const int bad = read_header(file, h, header_lines);
  if (bad != 0 || h[4] <= 0.0) {
    const int line = bad != 0 ? bad : 5;
    char text[path_capacity + 256];
    std::snprintf(text, sizeof text,
                  "Error: line %d of the radar grid file %s does not give %s%s.\n", line,
                  file.path, header_names[line - 1], line == 5 ? " above 0" : "");
    print_message(summary_file, text);
    return -1;
  }
  const std::size_t size = std::size_t(h[0]) * std::size_t(h[1]);
  if (size > max_radar_cells) {
    char text[path_capacity + 256];
    std::snprintf(text, sizeof text,
                  "Error: the radar grid file %s holds %.0f rows of %.0f columns, more than the "
                  "%zu cells a radar grid may have.\n",
                  file.path, h[1], h[0], max_radar_cells);
    print_message(summary_file, text);
    return -1;
  }
  // Every value takes a digit and a separator: a header giving more values
  // than the file could hold lies about its size, and is refused before its
  // grid is made.
  long bytes = -1;
  if (std::fseek(file.stream, 0, SEEK_END) == 0) bytes = std::ftell(file.stream);
  if (bytes >= 0 && size > std::size_t(bytes) / 2 + 1) {
    char text[path_capacity + 256];
    std::snprintf(text, sizeof text,
                  "Error: the radar grid file %s gives %.0f rows of %.0f columns, more values "
                  "than its %ld bytes hold.\n",
                  file.path, h[1], h[0], bytes);
    print_message(summary_file, text);
    return -1;
  }
  radar.cols = static_cast<int>(h[0]);
  radar.rows = static_cast<int>(h[1]);
  radar.ll_x = h[2];
  radar.ll_y = h[3];
  radar.cell_size = h[4];
  radar.no_data = h[5];
  radar.west = radar.ll_x;
  radar.north = radar.rows * radar.cell_size + radar.ll_y;
  if (radar.precip_data.size() != size) {
    try {
      radar.precip_data.assign(size, 0.0);
    } catch (const std::bad_alloc&) {
      radar.precip_data.clear();
      print_alloc_failure("precip_data");
      return -1;
    }
  }
  return 0;
}

void setup_radar_grid(const char* name, radar_precip& radar, const grid_state& grid) {
  if (parse_radar_header(radar, name) != 0) {
    raise_message("Error: unable to read radar header in file %s\n", name);
    return;
  }
  if (radar.valto_to_precip.size() < std::size_t(grid.cells) + 1) {
    radar.valto_to_precip.assign(std::size_t(grid.cells) + 1, 0);
  }
  int* map = radar.valto_to_precip.data();
  const int rows = grid.rows;
  const int cols = grid.cols;
  // The first failing cell in cell order, reported after the loop.
  int first_bad = INT_MAX;
#pragma omp parallel for schedule(static) reduction(min : first_bad) \
    num_threads(team_for(grid.cells, cells_per_thread))
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= cols; ++c) {
      const int i = grid.mask[r][c];
      if (i == 0) continue;
      int radar_row = 0, radar_col = 0;
      radar_cell(radar, grid, r, c, radar_row, radar_col);
      if (radar_row <= radar.rows - 1 && radar_col <= radar.cols - 1) {
        map[i] = radar_col + radar_row * radar.cols;
      } else if (i < first_bad) {
        first_bad = i;
      }
    }
  }
  if (first_bad == INT_MAX) return;
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= cols; ++c) {
      if (grid.mask[r][c] != first_bad) continue;
      int radar_row = 0, radar_col = 0;
      radar_cell(radar, grid, r, c, radar_row, radar_col);
      char text[128];
      std::snprintf(text, sizeof text, "Error!! p_I=%d, p_J=%d\n", radar_row, radar_col);
      print_message(summary_file, text);
    }
  }
  set_error(102);
}

int read_radar_file(const char* name, radar_precip& radar) {
  safe_file file;
  if (!file.open(name, "r")) {
    raise_message("Error: unable to open radar precip file %s\n", name);
    return -1;
  }
  double h[2] = {};
  if (read_header(file, h, 2) != 0 || static_cast<int>(h[0]) != radar.cols ||
      static_cast<int>(h[1]) != radar.rows) {
    raise_message(
        "Error: the radar precip file %s does not hold a grid of %d rows and %d columns, as "
        "the first grid file of the event does.\n",
        file.path, radar.rows, radar.cols);
    return -1;
  }
  char line[max_line];
  for (int k = 0; k < header_lines - 2; ++k) {
    if (!read_line(file, line)) break;
  }
  double peak = 0.0;
  double* data = radar.precip_data.data();
  for (int r = 0; r < radar.rows; ++r) {
    for (int c = 0; c < radar.cols; ++c) {
      double v = 0.0;
      if (std::fscanf(file.stream, "%lf", &v) != 1) {
        raise_message("Error in reading radar precip file %s\n", file.path);
        return -1;
      }
      if (std::fabs(v - radar.no_data) < 0.01 || !(v > 0.0)) {
        v = 0.0;
      } else {
        v *= mm_per_inch;
      }
      if (v > largest_rate) {
        std::printf(
            "Warning: really big precip value (%lf) in cell (%d,%d) from radar rainfall.\n "
            "resetting value to 100.0\n",
            v, r, c);
        v = largest_rate;
      }
      data[c + r * radar.cols] = v;
      if (v > peak) peak = v;
    }
  }
  file.close();
  std::printf("Peak rainfall rate read: %lf mm/hr\n", peak);
  return 0;
}

double radar_to_cells(const radar_precip& radar, double* rate, int cells) {
  const int* map = radar.valto_to_precip.data();
  const double* data = radar.precip_data.data();
  const int total = radar.rows * radar.cols;
  double peak = 0.0;
  int first_bad = INT_MAX;
#pragma omp parallel for schedule(static) reduction(max : peak) reduction(min : first_bad) \
    num_threads(team_for(cells, cells_per_thread))
  for (int i = 1; i <= cells; ++i) {
    const int k = map[i];
    if (k < 0 || k >= total) {
      if (i < first_bad) first_bad = i;
      continue;
    }
    rate[i] = data[k] > 0.0 ? data[k] : 0.0;
    if (rate[i] > peak) peak = rate[i];
  }
  if (first_bad != INT_MAX) {
    std::printf("Error: cellnum=%d, totcells=%d\n", map[first_bad], total);
    return peak;
  }
  std::printf("Peak rainfall applied to watershed: %lf mm/hr\n", peak);
  return peak;
}
