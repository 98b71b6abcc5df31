// Overland boundary conditions: the table read at set-up, the values of each
// step and their effect on the depths, with the volumes that cross the
// boundary booked for the water balance. The per-step loops run over the
// listed boundary cells only; each iteration writes its own cell, and the
// volumes are summed in list order on the calling thread, so the totals do
// not depend on the thread count.

#include "surface/ov_boundary.h"

#include <cmath>
#include <cstdio>
#include <span>

#include "core/error_state.h"
#include "run/model_state.h"
#include "input/cell_ranges.h"
#include "input/map_tables.h"
#include "input/read_grid_inputs.h"
#include "input/xy_inputs.h"
#include "surface/cell_loops.h"

namespace {

enum bdy_type {
  no_boundary = 0,
  free_outflow = 1,
  fixed_level = 2,
  level_series = 3,
  inflow_cfs = 4,
  inflow_cms = 5,
};

constexpr double outflow_exponent = 1.666667;  // Manning's 5/3 as the free outflow takes it

bool known_type(int type) { return type >= free_outflow && type <= inflow_cms; }

// The series the time-series index gives id, the later row of a repeated
// id winning; null when the index lists none.
const time_series* indexed_series(const ts_index_list& index, int id) {
  for (auto row = index.entries.rbegin(); row != index.entries.rend(); ++row)
    if (row->id == id) return row->series;
  return nullptr;
}

// The boundary series number of a parameter, or -1 when it is no whole
// number the index could hold.
int series_number(double parameter) {
  return std::fabs(parameter) < 1e9 ? static_cast<int>(parameter) : -1;
}

bool check_boundary_cell(const model_state& state, int cell) {
  const surface_state& sf = state.surface;
  const int type = sf.ov_bdy_type[cell];
  const double parameter = sf.ov_bdy_param[cell];
  int row = 0, col = 0;
  if (type == free_outflow && !(parameter >= 0.0)) {
    cell_position(state.grid, cell, row, col);
    raise_message(
        "Error: overland boundary cell %d (row %d col %d) has the free-outflow type 1 with the "
        "friction slope %f in the OVERLAND_BOUNDARY table; the slope must not be negative.\n",
        cell, row, col, parameter);
    return false;
  }
  if (type < level_series) return true;
  const int id = series_number(parameter);
  if (indexed_series(state.input.ts_index, id) != nullptr) return true;
  cell_position(state.grid, cell, row, col);
  raise_message(
      "Error: overland boundary cell %d (row %d col %d) has the boundary type %d and names time "
      "series %d, which the TIME_SERIES_INDEX table of the mapping table file %s does not give "
      "a series that was read.\n",
      cell, row, col, type, id, state.input.settings.mapping_table.c_str());
  return false;
}

// Volume (m3) that a boundary of its type moves into (+) or out of (-) cell
// i over dt seconds; the depth is changed to match.
double apply_boundary(int type, double value, double& h, int open_sides, double z, double n,
                      double dx, double dt) {
  const double area = dx * dx;
  switch (type) {
    case free_outflow: {
      if (open_sides == 0 || !(h > 0.0)) return 0.0;
      // Depth lost over one open side, m.
      const double one_side = std::pow(h, outflow_exponent) * std::sqrt(value) * dx / n * dt / area;
      if (open_sides * one_side > h) {
        const double lost = h * area;
        h = 0.0;
        return -lost;
      }
      h -= open_sides * one_side;
      return -(open_sides * one_side * area);
    }
    case fixed_level:
    case level_series: {
      double target = value - z;
      if (target < 0.0) target = 0.0;
      const double volume = (target - h) * area;
      h = target;
      return volume;
    }
    case inflow_cfs:
    case inflow_cms: {
      const double rate = type == inflow_cfs ? value * cubic_feet_to_m3 : value;  // m3/s
      const double rise = dt * rate / area;                                        // m
      // A negative inflow takes at most the water the cell holds.
      if (rate < 0.0 && h + rise < 0.0) {
        const double taken = h > 0.0 ? h : 0.0;
        h -= taken;
        return -taken * area;
      }
      h += rise;
      return dt * rate;
    }
    default:
      return 0.0;
  }
}

}  // namespace

void read_ov_boundary_types(model_state& state) {
  input_state& in = state.input;
  project_settings& s = in.settings;
  const int n = state.grid.cells;
  const xy_input* xy = s.xy_inputs.get();
  if (xy != nullptr && !check_xy_cell_numbers(*xy, n)) return;
  if (!s.ov_boundary) {
    if (xy != nullptr && xy->ovpts.size > 0) {
      print_message(summary_file,
                    "Warning: the overland XY boundary depths act only with the OV_BOUNDARY "
                    "card; without it they are not applied.\n");
    }
    return;
  }
  surface_state& sf = state.surface;
  if (!allocate_per_cell(sf.ov_bdy_param, n, "ov_bdy_param") ||
      !allocate_per_cell(sf.ov_bdy_value, n, "ov_bdy_value") ||
      !allocate_per_cell(sf.ov_bdy_type, n, "boundary_type")) {
    return;
  }
  if (!s.mapping_table_given || !in.map_table_present[table_kind::overland_boundary]) {
    raise_error(84);
    return;
  }
  map_table_context context = run_map_table_context(state);
  const std::span<double> columns[] = {sf.ov_bdy_value, sf.ov_bdy_param};
  if (!read_map_table(context, table_kind::overland_boundary, columns)) return;
  int unknown = 0;
  for (int i = 1; i <= n; ++i) {
    const double first = sf.ov_bdy_value[i];
    const int type = std::fabs(first) < 1e9 ? static_cast<int>(first) : -1;
    sf.ov_bdy_type[i] = known_type(type) ? type : no_boundary;
    if (type != no_boundary && !known_type(type)) ++unknown;
    sf.ov_bdy_value[i] = 0.0;
  }
  if (unknown > 0) {
    char line[256];
    std::snprintf(line, sizeof line,
                  "Warning: %d cells have an overland boundary type other than 0 to 5 in the "
                  "OVERLAND_BOUNDARY table; they have no boundary.\n",
                  unknown);
    print_message(summary_file, line);
  }
  setup_ov_boundary_cells(state);
}

bool setup_ov_boundary_cells(model_state& state) {
  surface_state& sf = state.surface;
  const int n = state.grid.cells;
  sf.ov_bdy_cells.clear();
  if (sf.ov_bdy_type.size() != std::size_t(n) + 1) return true;
  std::size_t count = 0;
  for (int i = 1; i <= n; ++i)
    if (known_type(sf.ov_bdy_type[i])) ++count;
  if (!allocate_zeroed(sf.ov_bdy_cells, count, "ov_bdy_cells") ||
      !allocate_zeroed(sf.ov_bdy_moved, count, "ov_bdy_moved")) {
    return false;
  }
  std::size_t k = 0;
  for (int i = 1; i <= n; ++i) {
    if (!known_type(sf.ov_bdy_type[i])) continue;
    if (!check_boundary_cell(state, i)) return false;
    sf.ov_bdy_cells[k++] = i;
  }
  return true;
}

void set_ov_boundary_values(model_state& state) {
  surface_state& sf = state.surface;
  const int count = static_cast<int>(sf.ov_bdy_cells.size());
  const int* cells = sf.ov_bdy_cells.data();
  const int* type = sf.ov_bdy_type.data();
  const double* parameter = sf.ov_bdy_param.data();
  double* value = sf.ov_bdy_value.data();
  const std::span<const ts_index_entry> series = state.input.ts_index.entries;
  const double now = state.run.current_time;
#pragma omp parallel for schedule(static) num_threads(team_for(count, cells_per_thread))
  for (int k = 0; k < count; ++k) {
    const int i = cells[k];
    if (type[i] == free_outflow || type[i] == fixed_level) {
      value[i] = parameter[i];
    } else {
      value[i] = ts_value_by_index(series, series_number(parameter[i]), now);
    }
  }
}

void apply_ov_boundary_flux(model_state& state, double dt) {
  const input_state& in = state.input;
  if (!in.settings.ov_boundary) return;
  surface_state& sf = state.surface;
  const grid_state& g = state.grid;
  double* h = sf.depth.data();
  const double dx = g.dx;

  // The XY depth points are levels held by series: their water counts with
  // the fixed-level cells'.
  double head_in = 0.0;
  double head_out = 0.0;
  const xy_input* xy = in.settings.xy_inputs.get();
  if (xy != nullptr && xy->ovpts.size > 0)
    apply_xy_ov_depths(*xy, h, dx, head_in, head_out, state.run.current_time);

  const int count = static_cast<int>(sf.ov_bdy_cells.size());
  const int* cells = sf.ov_bdy_cells.data();
  const int* type = sf.ov_bdy_type.data();
  const double* value = sf.ov_bdy_value.data();
  const double* z = g.elevation.data();
  const double* n = sf.dist_rough.data();
  const int* right = g.rightcon.data();
  const int* below = g.belowcon.data();
  const int* left = g.leftcon.data();
  const int* above = g.abovecon.data();
  double* moved = sf.ov_bdy_moved.data();
#pragma omp parallel for schedule(static) num_threads(team_for(count, cells_per_thread))
  for (int k = 0; k < count; ++k) {
    const int i = cells[k];
    const int open_sides = (right[i] == 0) + (below[i] == 0) + (left[i] == 0) + (above[i] == 0);
    moved[k] = apply_boundary(type[i], value[i], h[i], open_sides, z[i], n[i], dx, dt);
  }

  double free_out = 0.0;
  double specified_in = 0.0;
  for (int k = 0; k < count; ++k) {
    const double v = moved[k];
    switch (type[cells[k]]) {
      case free_outflow:
        free_out -= v;
        break;
      case fixed_level:
      case level_series:
        if (v < 0.0) {
          head_out -= v;
        } else {
          head_in += v;
        }
        break;
      default:
        specified_in += v;
        break;
    }
  }
  sf.bdy_free_outflow += free_out;
  sf.bdy_head_inflow += head_in;
  sf.bdy_head_outflow += head_out;
  sf.bdy_specified_inflow += specified_in;
  sf.event_bdy_inflow += head_in + specified_in;
  sf.event_bdy_outflow += free_out + head_out;
}
