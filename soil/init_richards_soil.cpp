// Set-up of the Richards method's soil columns: the soil table, the per-cell
// arrays and every column's initial state.

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <omp.h>

#include "core/error_state.h"
#include "run/model_state.h"
#include "core/not_available.h"
#include "input/map_tables.h"
#include "input/process_map_tables.h"
#include "input/read_grid_inputs.h"
#include "soil/richards_soil.h"

namespace {

bool stopped() { return error_state.stop_flag != 0; }

// The layer of node j of soil type t.
int layer_of(const richards_soil_type& t, int j) {
  if (j <= t.n1) return 1;
  if (j <= t.n2) return 2;
  return 3;
}

// Node j of cell c takes the values of its layer.
void fill_node(richards_soil& rs, const richards_soil_type& t, std::size_t at, int layer) {
  rs.theta[at] = t.thetai[layer];
  rs.dz[at] = t.dz[layer];
  richards_fill_soil(rs, t, at, layer);
}

// Thickness of the nodes below the soil layers that reach down to the
// table, m: the aquifer node size of the groundwater model, or 0.1 m on a
// fixed table.
double aquifer_node_size(const input_state& in) {
  if (in.gw_simulation && in.settings.aquifer_delta_z > 0.0) return in.settings.aquifer_delta_z;
  return 0.1;
}

// Columns ending on a water table: node counts of the layers without the
// free-draining spare node, and per cell room for the nodes from the soil's
// base down to the aquifer bottom (the table may fall that far) and nine
// more. Returns the row length of the per-node arrays.
int size_columns_on_table(model_state& state) {
  richards_soil& rs = state.soil.richards;
  const groundwater_state& gw = state.subsurface.gw;
  const double dzg = aquifer_node_size(state.input);
  for (richards_soil_type& t : rs.types) richards_node_counts(t, 1);
  rs.last_node.assign(std::size_t(state.grid.cells) + 1, 0);
  int largest = 0;
  for (int c = 1; c <= state.grid.cells; ++c) {
    const richards_soil_type& t = rs.types[std::size_t(rs.soil_type[std::size_t(c)])];
    const double soil = (t.depth[1] + t.depth[2] + t.depth[3]) / 100.0;  // m
    const double bottom = gw.bottom_elev.size() > std::size_t(c) ? gw.bottom_elev[std::size_t(c)]
                                                                 : state.grid.elevation[c];
    const double a = state.grid.elevation[c] - bottom - soil;  // m below the soil
    int b;
    if (a <= 0.0) {
      b = t.n3 + 1;
    } else if (a / dzg < 1.0) {
      b = t.n3 + 2;
    } else {
      const double whole = std::floor(a / dzg);
      b = t.n3 + static_cast<int>(whole) + 1 + (a / dzg - whole >= 0.25 ? 1 : 0);
    }
    rs.numcells[std::size_t(c)] = b + 9;
    rs.last_node[std::size_t(c)] = b + 9;
    largest = std::max(largest, b + 9);
  }
  return largest + 2;
}

// Nodes that close a column under an aquifer of its own: the deepest
// eleven, from nearly impermeable to a tenth of the soil's conductivity.
constexpr int sealed_nodes = 11;

// The deepest nodes of cell c's column, room the last: a floor the table
// can fall onto without the column draining through it.
void seal_column_bottom(richards_soil& rs, std::size_t base, int room) {
  const int from = std::max(1, room - sealed_nodes + 1);
  for (int j = from; j <= room - 2; ++j) {
    rs.ks[base + std::size_t(j)] /= 100.0;
    rs.thetas[base + std::size_t(j)] = 0.75;
  }
  if (room - 1 >= 1) {
    rs.ks[base + std::size_t(room - 1)] = 1e-5;
    rs.thetas[base + std::size_t(room - 1)] = 0.8;
  }
  rs.ks[base + std::size_t(room)] = 1e-6;
  rs.thetas[base + std::size_t(room)] = 1.0;
}

// Every column laid on the table in hydrostatic equilibrium with it: the
// soil layers' nodes down to the table (the node that straddles it cut to
// end on it), nodes of the aquifer size below the soil, and the saturated
// water-table node. With GW_ASSIGN_THETA the soil layers keep the contents
// of the soil table and only the nodes below them stand on the table. A
// table at or above the ground leaves one saturated node and marks the cell
// as exfiltrating. Under the aquifer model the column reaches ten nodes
// below the aquifer bottom, which is lowered to them, and its deepest
// eleven nodes are sealed.
void lay_columns_on_table(model_state& state) {
  richards_soil& rs = state.soil.richards;
  const int family = rs.family;
  const int cells = state.grid.cells;
  groundwater_state& gw = state.subsurface.gw;
  const double dzg = aquifer_node_size(state.input) * 100.0;  // cm
  const bool aquifer = state.input.gw_simulation != 0;
  std::vector<int>& exfil = state.soil.yes_exfil;
  if (exfil.size() != std::size_t(cells) + 1) exfil.assign(std::size_t(cells) + 1, 0);
  rs.sealed_from.assign(std::size_t(cells) + 1, 0);
  for (int c = 1; c <= cells; ++c) {
    const richards_soil_type& t = rs.types[std::size_t(rs.soil_type[std::size_t(c)])];
    const std::size_t base = std::size_t(c) * std::size_t(rs.row);
    const int room = std::min(rs.row - 2, rs.last_node[std::size_t(c)]);
    rs.totaldz[std::size_t(c)] = t.depth[1] + t.depth[2] + t.depth[3];
    rs.avgks[std::size_t(c)] =
        (t.ks[1] * t.depth[1] + t.ks[2] * t.depth[2] + t.ks[3] * t.depth[3]) /
        rs.totaldz[std::size_t(c)];
    for (int j = 0; j <= room; ++j) {
      fill_node(rs, t, base + std::size_t(j), layer_of(t, j));
      if (j > t.n3) rs.dz[base + std::size_t(j)] = dzg;
    }
    if (t.n1 + 1 <= room)
      rs.ks[base + std::size_t(t.n1 + 1)] =
          richards_interface_ks(t.dz[1], t.ks[1], t.dz[2], t.ks[2]);
    if (t.n2 + 1 <= room)
      rs.ks[base + std::size_t(t.n2 + 1)] =
          richards_interface_ks(t.dz[2], t.ks[2], t.dz[3], t.ks[3]);
    if (aquifer) {
      seal_column_bottom(rs, base, room);
      rs.sealed_from[std::size_t(c)] = std::max(1, room - sealed_nodes + 1);
      if (gw.bottom_elev.size() > std::size_t(c))
        gw.bottom_elev[std::size_t(c)] -= 10.0 * dzg / 100.0;
    }

    const double ground = state.grid.elevation[c];
    const double table = gw.elevgw[std::size_t(c)];
    double* dz = rs.dz.data() + base;
    double* ph = rs.phead.data() + base;
    double* th = rs.theta.data() + base;
    soil_column col = rs.column(c);
    int n;
    if (table >= ground) {
      n = 1;
      ph[1] = 0.5 * dz[1] + (table - ground) * 100.0;
      th[1] = rs.thetas[base + 1];
      exfil[std::size_t(c)] = 1;
    } else {
      double top = ground;  // top of node j, m
      int j = 1;
      while (j < room && top - dz[j] / 100.0 > table) {
        top -= dz[j] / 100.0;
        ++j;
      }
      // Node j holds the table: cut to end on it unless its top is there.
      if ((top - table) * 100.0 > 1e-5) {
        dz[j] = (top - table) * 100.0;
        ++j;
      }
      n = j;
      double above = 0.0;  // height of the node bottom above the table, cm
      col.n = n;
      for (int k = n - 1; k >= 1; --k) {
        ph[k] = -(above + 0.5 * dz[k]);
        above += dz[k];
        if (rs.keep_soil_contents && k <= t.n3)
          soil_head_from_theta(col, k, family);
        else
          soil_theta_from_head(col, k, family);
      }
      ph[n] = 0.5 * dz[n];
      th[n] = rs.thetas[base + std::size_t(n)];
      exfil[std::size_t(c)] = 0;
    }
    rs.numcells[std::size_t(c)] = n;
    rs.dz[base] = rs.dz[base + 1];
    rs.thetas[base] = rs.thetas[base + 1];
    rs.watflux[base] = 0.0;
    col.n = n;
    if (family == soil_family_havercamp)
      havercamp_props(col);
    else
      brooks_corey_props(col);
    if (exfil[std::size_t(c)] == 1) state.subsurface.gw_coupling = 1;
  }
  richards_starting_water(state);
}

// Reads the table in its plain or its mapping-table form; the row length or -1.
int read_table(model_state& state, std::vector<int>& ids) {
  input_state& in = state.input;
  const int family = in.settings.richards_c_option;
  const int kind = family == soil_family_havercamp ? table_kind::havercamp : table_kind::brooks;
  richards_soil& rs = state.soil.richards;
  ids.assign(std::size_t(state.grid.cells) + 1, 0);
  if (table_requested(in, kind)) {
    const soil_table_reader reader = [&](table_file& table, std::span<const int> soil_type) {
      return read_soil_table(table, family, in.long_term, 1, soil_type, rs);
    };
    map_table_context context = run_map_table_context(state);
    return read_richards_tables(
        context, family == soil_family_havercamp ? richards_havercamp : richards_brooks, reader,
        ids);
  }
  safe_file& map = in.files.soil_type;
  if (!map.is_open()) {
    raise_error(132, 0, 0, nullptr, in.settings.soil_type_map.c_str());
    return -1;
  }
  const std::string map_path = map.path;
  map_header header;
  read_ascii_map(map, map_path.c_str(), index_map, header, state.grid.mask.table(), {}, {}, ids,
                 state.grid.rows, state.grid.cols);
  map.close();
  if (stopped()) return -1;
  table_file table;
  // Without the mapping table's section the soil table is the one
  // SOIL_LAYER_INPUT_FILE names.
  const std::string& path = in.settings.soil_layer_input_file;
  if (!table.open(path.c_str())) {
    raise_message("Error: unable to open the Richards soil table %s.\n", path.c_str());
    return -1;
  }
  return read_soil_table(table, family, in.long_term, 0, ids, rs);
}

}  // namespace

void richards_initial_volumes(model_state& state) {
  richards_soil& rs = state.soil.richards;
  const int family = rs.family;
  const int cells = state.grid.cells;
  if (rs.water_table_bottom) {
    lay_columns_on_table(state);
    return;
  }
  for (int c = 1; c <= cells; ++c) {
    const richards_soil_type& t = rs.types[std::size_t(rs.soil_type[std::size_t(c)])];
    const int n = rs.numcells[std::size_t(c)];
    const std::size_t base = std::size_t(c) * std::size_t(rs.row);
    rs.totaldz[std::size_t(c)] = t.depth[1] + t.depth[2] + t.depth[3];
    rs.avgks[std::size_t(c)] =
        (t.ks[1] * t.depth[1] + t.ks[2] * t.depth[2] + t.ks[3] * t.depth[3]) /
        rs.totaldz[std::size_t(c)];

    soil_column col = rs.column(c);
    for (int j = 0; j <= n; ++j) {
      fill_node(rs, t, base + std::size_t(j), layer_of(t, j));
      soil_head_from_theta(col, j, family);
    }

    // The node just below a layer boundary carries the conductivity of the
    // interface between the two layers' nodes.
    if (t.n1 + 1 <= n)
      rs.ks[base + std::size_t(t.n1 + 1)] =
          richards_interface_ks(t.dz[1], t.ks[1], t.dz[2], t.ks[2]);
    if (t.n2 + 1 <= n)
      rs.ks[base + std::size_t(t.n2 + 1)] =
          richards_interface_ks(t.dz[2], t.ks[2], t.dz[3], t.ks[3]);

    rs.dz[base] = rs.dz[base + 1];
    rs.thetas[base] = rs.thetas[base + 1];
    rs.watflux[base] = 0.0;
    if (family == soil_family_havercamp)
      havercamp_props(col);
    else
      brooks_corey_props(col);
  }
  richards_starting_water(state);
}

void init_richards_soil(model_state& state) {
  input_state& in = state.input;
  soil_state& s = state.soil;
  richards_soil& rs = s.richards;
  const int family = in.settings.richards_c_option;
  if (family != soil_family_brooks && family != soil_family_havercamp) {
    raise_message("Error: INF_RICHARDS needs RICHARDS_C_OPTION brooks or havercamp.\n");
    return;
  }
  // A run starts from an empty record, so a later run of the process with
  // longer columns sizes its own arrays.
  rs = richards_soil{};
  const int cells = state.grid.cells;

  if (!in.super_quiet) std::printf("Reading Soil Table");
  std::vector<int> ids;
  const int row = read_table(state, ids);
  std::printf("   Done\n");
  if (row < 0 || stopped()) return;
  rs.row = row;
  // Columns resting on a water table end on it instead of draining freely.
  rs.water_table_bottom = in.water_table;
  rs.keep_soil_contents = in.settings.gw_assign_theta;
  if (rs.water_table_bottom) rs.row = size_columns_on_table(state);
  if (!alloc_richards_soil(rs, cells) || !alloc_richards_work(rs, omp_get_max_threads())) return;
  const project_settings& set = in.settings;
  rs.k_option = set.richards_k_option;
  rs.weight = set.richards_weight;
  rs.upper_option = set.richards_upper_option;
  rs.iter_max = set.richards_iter_max;
  rs.dtheta_max = set.richards_dtheta_max;

  if (in.long_term) {
    std::vector<double>* et[] = {&s.albedo, &s.veg_height, &s.trans_coeff, &s.canopy_resist};
    for (std::vector<double>* v : et) v->assign(std::size_t(cells) + 1, 0.0);
    for (int c = 1; c <= cells; ++c) {
      const richards_soil_type& t = rs.types[std::size_t(rs.soil_type[std::size_t(c)])];
      s.albedo[std::size_t(c)] = t.albedo;
      s.veg_height[std::size_t(c)] = t.veg_height;
      s.trans_coeff[std::size_t(c)] = t.trans_coeff;
      s.canopy_resist[std::size_t(c)] = t.canopy_resist;
    }
  }

  if (!in.super_quiet) std::printf("Initialize Richards Params");
  const double moist_depth = in.soil_moist_depth / 100.0;  // cm to m
  for (int c = 1; c <= cells; ++c) {
    const richards_soil_type& t = rs.types[std::size_t(rs.soil_type[std::size_t(c)])];
    rs.root_depth[std::size_t(c)] = in.long_term && in.settings.et_calc_penman
                                        ? std::min(t.veg_height, moist_depth)
                                        : moist_depth;
  }
  richards_initial_volumes(state);
  if (s.surface_moisture.size() != std::size_t(cells) + 1)
    s.surface_moisture.assign(std::size_t(cells) + 1, 0.0);
  for (int c = 1; c <= cells; ++c) {
    rs.dtr[std::size_t(c)] = state.run.dt / 3600.0;
    s.surface_moisture[std::size_t(c)] = rs.theta[std::size_t(c) * std::size_t(rs.row) + 1];
  }
  if (!in.super_quiet) std::printf("   Done\n");
}
