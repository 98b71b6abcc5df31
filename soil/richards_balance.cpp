// The water the Richards columns hold: one sum over the columns serves the
// starting volumes, the event balance and the end-of-run summary, so that
// every balance counts the same nodes. The bottom node of a freely draining
// column mirrors the node above it and the surface slot mirrors node 1;
// neither holds water of its own, so only nodes 1..n-1 count.

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/error_state.h"
#include "run/model_state.h"
#include "soil/richards_soil.h"

double richards_cell_water(const richards_soil& rs, int c) {
  const int n = rs.numcells[std::size_t(c)];
  const std::size_t base = std::size_t(c) * std::size_t(rs.row);
  double cell = 0.0;
  for (int j = 1; j < n; ++j) cell += rs.theta[base + std::size_t(j)] * rs.dz[base + std::size_t(j)];
  return cell;
}

double richards_column_volume(const richards_soil& rs, int cells, double cell_area,
                              int* columns) {
  double water = 0.0;  // cm, summed over cells
  int counted = 0;
  for (int c = 1; c <= cells; ++c) {
    if (rs.numcells[std::size_t(c)] <= 1) continue;
    ++counted;
    water += richards_cell_water(rs, c);
  }
  if (columns) *columns = counted;
  // cm over a cell of cell_area m2 gives m3 after / 100.
  return water * cell_area / 100.0;
}

double richards_top_mean(const richards_soil& rs, int c, const std::vector<double>& value,
                         double depth) {
  const int n = rs.numcells[std::size_t(c)];
  const std::size_t base = std::size_t(c) * std::size_t(rs.row);
  double sum = 0.0, covered = 0.0;  // cm x value, cm
  for (int j = 1; j < n && covered < depth; ++j) {
    const double part = std::min(rs.dz[base + std::size_t(j)], depth - covered);
    sum += part * value[base + std::size_t(j)];
    covered += part;
  }
  if (covered < depth && (rs.water_table_bottom || n <= 1)) {
    sum += (depth - covered) * value[base + std::size_t(n)];
    covered = depth;
  }
  return covered > 0.0 ? sum / covered : value[base + 1];
}

void richards_starting_water(model_state& state) {
  richards_soil& rs = state.soil.richards;
  const input_state& in = state.input;
  const int cells = state.grid.cells;
  const double cell_area = state.grid.dx * state.grid.dx;  // m2
  double root_water = 0.0;                                  // cm, summed over cells
  if (in.long_term) {
    std::vector<double>& initial = state.soil.initial_theta;
    if (initial.size() != std::size_t(cells) + 1) initial.assign(std::size_t(cells) + 1, 0.0);
    for (int c = 1; c <= cells; ++c) {
      const int n = rs.numcells[std::size_t(c)];
      const std::size_t base = std::size_t(c) * std::size_t(rs.row);
      // Water of the nodes reached by the roots, cm of column.
      double remaining = rs.root_depth[std::size_t(c)] * 100.0;
      double root = 0.0, depth = 0.0;
      for (int j = 1; j <= n && remaining >= 1e-16; ++j) {
        const std::size_t at = base + std::size_t(j);
        root += rs.dz[at] * rs.theta[at];
        depth += rs.dz[at];
        remaining -= rs.dz[at];
      }
      root_water += root;
      const double mean = depth > 0.0 ? root / depth : 0.0;
      initial[std::size_t(c)] = mean < 0.0 ? 0.0 : mean;
    }
  }
  rs.root_zone_water = root_water * cell_area / 100.0;
  rs.column_water = richards_column_volume(rs, cells, cell_area);
  if (summary_file && summary_file->is_open()) {
    std::fprintf(summary_file->stream, "Inital volume of water in root zone= %lf \n \n",
                 rs.root_zone_water);
    std::fprintf(summary_file->stream, "Inital volume of water in soil column= %lf \n \n",
                 rs.column_water);
  }
}

bool richards_hotstart(model_state& state, std::span<const double> theta, const char* file) {
  soil_state& soil = state.soil;
  richards_soil& rs = soil.richards;
  const int cells = state.grid.cells;
  for (int c = 1; c <= cells; ++c) {
    const int n = rs.numcells[std::size_t(c)];
    const std::size_t base = std::size_t(c) * std::size_t(rs.row);
    const double value = theta[std::size_t(c)];
    soil_column col = rs.column(c);
    for (int j = 0; j <= n; ++j) {
      const std::size_t at = base + std::size_t(j);
      // At or below the residual content the relations give no head (the
      // node would keep the head of its table content); just above it the
      // head may lie beyond any number.
      const bool above = value > rs.thetar[at];
      if (above) {
        rs.theta[at] = std::min(value, rs.thetas[at]);
        soil_head_from_theta(col, j, rs.family);
      }
      if (!above || !std::isfinite(rs.phead[at])) {
        raise_message(
            "Error: the soil moisture hotstart %s gives grid cell %d the water content %g, at or "
            "too near the residual content %g of node %d of its soil column.\n",
            file, c, value, rs.thetar[at], j);
        return false;
      }
    }
    if (rs.family == soil_family_havercamp)
      havercamp_props(col);
    else
      brooks_corey_props(col);
    soil.surface_moisture[std::size_t(c)] = rs.theta[base + 1];
  }
  richards_starting_water(state);
  return true;
}

void start_richards_balance(model_state& state) {
  soil_state& soil = state.soil;
  richards_soil& rs = soil.richards;
  const double cell_area = state.grid.dx * state.grid.dx;
  rs.event_initial = richards_column_volume(rs, state.grid.cells, cell_area, &rs.event_cells_start);
  std::fill(rs.event_drain.begin(), rs.event_drain.end(), 0.0);
  soil.event_evaporated = 0.0;
}

void close_richards_balance(model_state& state) {
  soil_state& soil = state.soil;
  richards_soil& rs = soil.richards;
  const int cells = state.grid.cells;
  const double cell_area = state.grid.dx * state.grid.dx;
  rs.event_final = richards_column_volume(rs, cells, cell_area, &rs.event_cells_end);
  double drained = 0.0;  // cm, summed in cell order
  for (int c = 1; c <= cells; ++c) drained += rs.event_drain[std::size_t(c)];
  rs.event_recharge = drained / 100.0 * cell_area;
  // Columns laid again on a moving table give the aquifer the water of the
  // nodes it rose over (and take back what it leaves): that leaves the
  // columns as surely as what drains from their bottoms.
  const groundwater_state& gw = state.subsurface.gw;
  if (state.input.gw_simulation && gw.event_seen == state.run.event_index)
    rs.event_recharge += gw.event.unsat_to_sat;
  // The evaporated water counts the ponded water it took, which never
  // entered a column.
  rs.event_net = soil.event_infiltrated - (soil.event_evaporated - soil.event_direct_evap);
  if (rs.event_initial > 0.0) {
    rs.event_error =
        (rs.event_initial + rs.event_net - rs.event_recharge - rs.event_final) / rs.event_initial *
        100.0;
    return;
  }
  rs.event_error = 0.0;
  const safe_file& summary = state.output.summary;
  if (summary.is_open())
    std::fputs("\n No Unsaturated Cells in Grid, No infiltration \n", summary.stream);
}
