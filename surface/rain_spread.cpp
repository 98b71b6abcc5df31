// Gauge rain spread over the cells. Each loop runs over the grid rows (or
// the cells) in a static parallel loop and writes only its own cells.

#include "surface/rain_spread.h"

#include <climits>
#include <cmath>

#include "core/error_state.h"
#include "core/grid_state.h"
#include "surface/cell_loops.h"

namespace {

// No gauge farther than this from a cell centre counts as its nearest, in
// the units of the coordinates.
constexpr double nearest_search_limit = 900000.0;
constexpr double nearest_search_start = 1e6;

}  // namespace

void gage_idw_parallel(const grid_state& grid, int gauges, const double* gage_x,
                       const double* gage_y, const double* gauge_rate, double* rate) {
  const int rows = grid.rows;
  const int cols = grid.cols;
  const double dx = grid.dx;
#pragma omp parallel for schedule(static) num_threads(team_for(grid.cells, cells_per_thread))
  for (int r = 1; r <= rows; ++r) {
    const double y = grid.north - (r - 0.5) * dx;
    for (int c = 1; c <= cols; ++c) {
      const int k = grid.mask[r][c];
      if (k == 0) continue;
      if (gauges == 1) {
        rate[k] = gauge_rate[1];
        continue;
      }
      const double x = grid.west + (c - 0.5) * dx;
      double numerator = 0.0;
      double denominator = 0.0;
      bool near_gauge = false;
      for (int j = 1; j <= gauges; ++j) {
        const double w = std::hypot(gage_x[j] - x, gage_y[j] - y);
        if (w < dx) {
          rate[k] = gauge_rate[j];
          near_gauge = true;
          break;
        }
        numerator += gauge_rate[j] / (w * w);
        denominator += 1.0 / (w * w);
      }
      if (!near_gauge) rate[k] = numerator / denominator;
    }
  }
}

bool find_neighbor(const grid_state& grid, int gauges, const double* gage_x, const double* gage_y,
                   int* nearest) {
  const int rows = grid.rows;
  const int cols = grid.cols;
  const double dx = grid.dx;
  int first_bad = INT_MAX;
#pragma omp parallel for schedule(static) reduction(min : first_bad) \
    num_threads(team_for(grid.cells, cells_per_thread))
  for (int r = 1; r <= rows; ++r) {
    const double y = grid.north - (r - 0.5) * dx;
    for (int c = 1; c <= cols; ++c) {
      const int k = grid.mask[r][c];
      if (k == 0) continue;
      const double x = grid.west + (c - 0.5) * dx;
      double best = nearest_search_start;
      for (int j = 1; j <= gauges; ++j) {
        const double w = std::hypot(gage_x[j] - x, gage_y[j] - y);
        if (w < best) {
          nearest[k] = j;
          best = w;
        }
      }
      if (best > nearest_search_limit && k < first_bad) first_bad = k;
    }
  }
  if (first_bad == INT_MAX) return true;
  raise_message(
      "Failure to identify closest raingauge in find_neighbor\n"
      "check rain gage data file, particularly gage coordinates\n");
  return false;
}

void gage_thiessen_parallel(int gauges, const int* nearest, const double* gauge_rate, double* rate,
                            int cells) {
#pragma omp parallel for schedule(static) num_threads(team_for(cells, cells_per_thread))
  for (int k = 1; k <= cells; ++k) rate[k] = gauges == 1 ? gauge_rate[1] : gauge_rate[nearest[k]];
}
