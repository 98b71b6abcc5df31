// The Richards soil columns on the water table: what the table stores as it
// moves through a column, and the column laid again on the table after each
// sub-step of the head solve. Thicknesses and heads in cm, levels in m.

#include "subsurface/gw_vadose.h"

#include <algorithm>
#include <cmath>

#include "core/error_state.h"
#include "input/read_grid_inputs.h"
#include "soil/richards_soil.h"
#include "subsurface/groundwater_state.h"

namespace {

constexpr double half = 0.5;

// Where a walk through the column ended: thickness passed (cm), the water
// that thickness holds at saturation (cm), and the last node reached
// (below 1 above the surface).
struct walk_end {
  double thickness = 0.0;
  double water = 0.0;
  int last = 0;
};

// Walks up from node n - 1 of a column until amount is used: water (cm)
// filling each node at its saturated content, or thickness (cm). Above node
// 1 every step is above_dz thick and holds water alone.
walk_end walk_up(const double* dz, const double* thetas, int n, double amount, bool by_water,
                 double above_dz) {
  walk_end w;
  w.last = n - 1;
  int j = n - 1;
  double left = amount;
  while (left > 0.0 && j >= 1) {
    const double cap = by_water ? dz[j] * thetas[j] : dz[j];
    w.last = j;
    if (cap >= left) {
      const double th = by_water ? left / thetas[j] : left;
      w.thickness += th;
      w.water += th * thetas[j];
      return w;
    }
    w.thickness += dz[j];
    w.water += dz[j] * thetas[j];
    left -= cap;
    --j;
  }
  if (left > 0.0 && above_dz > 0.0) {
    // Above the surface water stands alone: thickness and water are one.
    const double steps = std::ceil(left / above_dz);
    w.thickness += left;
    w.water += left;
    w.last = 1 - static_cast<int>(std::min(steps, 1e9));
  }
  return w;
}

// Walks down from node n through the nodes the arrays hold (a node of no
// thickness ends them) until thickness cm is passed.
walk_end walk_down(const double* dz, const double* thetas, int n, int last_slot,
                   double thickness) {
  walk_end w;
  double left = thickness;
  for (int j = n; j <= last_slot && left > 0.0 && dz[j] > 0.0; ++j) {
    const double th = std::min(dz[j], left);
    w.thickness += th;
    w.water += th * thetas[j];
    w.last = j;
    left -= th;
  }
  return w;
}

std::size_t node_at(const richards_soil& rs, int cell, int j) {
  return std::size_t(cell) * std::size_t(rs.row) + std::size_t(j);
}

// Soil layer (1..3) of node j of a column laid with n1 and n2 nodes in the
// first two layers.
int layer_of(int j, int n1, int n2) { return j <= n1 ? 1 : j <= n2 ? 2 : 3; }

// Node j of cell takes the soil values of layer; the first node of layers 2
// and 3 (boundary set) carries the conductivity of the boundary above it, as
// the set-up lays the column.
void fill_soil_values(richards_soil& rs, const richards_soil_type& t, int cell, int j, int layer,
                      bool boundary) {
  const std::size_t at = node_at(rs, cell, j);
  richards_fill_soil(rs, t, at, layer);
  if (boundary)
    rs.ks[at] = richards_interface_ks(t.dz[layer - 1], t.ks[layer - 1], t.dz[layer], t.ks[layer]);
}

// The column of one cell as the adjustment works on it.
struct column_view {
  soil_column col;
  double* dz = nullptr;
  int family = soil_family_none;
};

// The table at or above the ground: one node, saturated, its head the
// water above the ground plus half its thickness.
void lay_single_node(richards_soil& rs, int cell, const column_view& v, double ground,
                     double head, double t1) {
  rs.numcells[std::size_t(cell)] = 1;
  v.dz[1] = t1;
  v.col.phead[1] = (head - ground) * 100.0 + t1 * half;
  v.col.theta[1] = v.col.thetas[1];
}

// Head of node j from its content, or, saturated, half its thickness with
// the table node's head k raised to hold it.
void settle_node(column_view& v, int j, int n, double& k) {
  if (v.col.theta[j] < v.col.thetas[j]) {
    soil_head_from_theta(v.col, j, v.family);
    return;
  }
  v.col.phead[j] = half * v.dz[j];
  k = half * v.dz[n] + v.dz[j];
}

}  // namespace

bool size_vadose_work(groundwater_state& gw, const richards_soil& rs, int cells) {
  if (!allocate_per_cell(gw.initial_nodes, cells, "initial node count")) return false;
  for (int c = 1; c <= cells && std::size_t(c) < rs.numcells.size(); ++c)
    gw.initial_nodes[c] = rs.numcells[std::size_t(c)];
  const std::size_t slots = std::size_t(std::max(rs.row, 2));
  return allocate_zeroed(gw.column_dz, slots, "old node thickness") &&
         allocate_zeroed(gw.column_theta, slots, "old node content");
}

int vadose_substep_storage(const richards_soil& rs, int cell, double ground, double head,
                           double sink, double& s, double& storage) {
  const std::size_t base = node_at(rs, cell, 0);
  const double* dz = rs.dz.data() + base;
  const double* thetas = rs.thetas.data() + base;
  const double* theta = rs.theta.data() + base;
  const int n = rs.numcells[std::size_t(cell)];
  if (head >= ground) {
    storage = thetas[1];
    return 0;
  }
  if (n <= 2) {
    const int j = n - 1;
    storage = thetas[j];
    const double deficit = thetas[j] - theta[j];
    if (sink != 0.0 && deficit > 0.0 && -sink * 100.0 * s / deficit > dz[j])
      s = std::max(-deficit * dz[j] / (sink * 100.0), 1.0);
    return 0;
  }
  if (sink > 0.0) {
    storage = thetas[n - 1];
    if (!(storage > 0.0) || !(dz[n] > 0.0)) return 0;
    const double nodes = s * sink * 100.0 / storage / dz[n];
    return static_cast<int>(std::min(nodes, 1e9));
  }
  const double t1 = rs.types[std::size_t(rs.soil_type[std::size_t(cell)])].dz[1];
  const walk_end w = walk_up(dz, thetas, n, -sink * s * 100.0, true, t1);
  const int k = w.last - 1;
  storage = k >= 1 && w.thickness <= dz[k] ? thetas[n - 1]
            : w.thickness > 0.0          ? w.water / w.thickness
                                         : thetas[n - 1];
  return n - 1 - k;
}

double layer_weighted_property(const richards_soil& rs, int cell, double ground, double head,
                               double head_start, double aquifer_delta_z) {
  const std::size_t base = node_at(rs, cell, 0);
  const double* dz = rs.dz.data() + base;
  const double* thetas = rs.thetas.data() + base;
  const int n = rs.numcells[std::size_t(cell)];
  if (head > ground) return thetas[1];
  const richards_soil_type& t = rs.types[std::size_t(rs.soil_type[std::size_t(cell)])];
  const double depth = (ground - head) * 100.0;  // cm
  const double e = depth < t.depth[1]                           ? t.dz[1]
                   : depth < t.depth[1] + t.depth[2]            ? t.dz[2]
                   : depth < t.depth[1] + t.depth[2] + t.depth[3] ? t.dz[3]
                                                                : aquifer_delta_z * 100.0;
  const double g = (head - head_start) * 100.0;  // cm
  if (g == 0.0) return thetas[n - 1];
  if (g > 0.0) {
    const walk_end w = walk_up(dz, thetas, n, g, false, dz[0]);
    const int k = w.last - 1;
    if (k >= 1 && w.thickness <= dz[n - 1]) return thetas[n - 1];
    return w.thickness > 0.0 ? w.water / w.thickness : thetas[n - 1];
  }
  const walk_end w = walk_down(dz, thetas, n, rs.row - 2, -g);
  if (w.thickness + dz[n - 1] <= 1.5 * e || !(w.thickness > 0.0)) return thetas[n - 1];
  return w.water / w.thickness;
}

namespace {

// The column laid again on the table (adjust_vadose_column without its
// books).
bool lay_on_table(richards_soil& rs, int cell, const vadose_levels& at,
                  std::vector<double>& old_dz, std::vector<double>& old_theta, int& yes_exfil) {
  const richards_soil_type& t = rs.types[std::size_t(rs.soil_type[std::size_t(cell)])];
  column_view v;
  v.col = rs.column(cell);
  v.dz = rs.dz.data() + node_at(rs, cell, 0);
  v.family = rs.family;
  double* phead = v.col.phead;
  double* theta = v.col.theta;
  const double* thetas = v.col.thetas;
  double* dz = v.dz;
  const int m = rs.numcells[std::size_t(cell)];
  const int last_slot = rs.row - 2;  // the arrays keep one spare slot past the last node
  const double ground = at.ground, head = at.head, bottom = at.bottom;
  const double t1 = t.dz[1];
  yes_exfil = 0;
  // Sized at set-up (size_vadose_work); a caller that did not gets its room
  // once here rather than a write past the end.
  if (old_dz.size() < std::size_t(rs.row)) old_dz.resize(std::size_t(rs.row));
  if (old_theta.size() < std::size_t(rs.row)) old_theta.resize(std::size_t(rs.row));
  for (int j = 1; j <= m; ++j) {
    old_dz[std::size_t(j)] = dz[j];
    old_theta[std::size_t(j)] = theta[j];
  }

  if (head >= ground) {
    // The nodes the table rose over join the aquifer with their water.
    yes_exfil = 1;
    lay_single_node(rs, cell, v, ground, head, t1);
    return true;
  }

  // The layer that holds the table: the soil layers above it are laid
  // whole, its own nodes (j thick) reach down from the level `level`.
  const int n1 = static_cast<int>(std::floor(t.depth[1] / t.dz[1]));
  const int n2 = n1 + static_cast<int>(std::floor(t.depth[2] / t.dz[2]));
  const int n3 = n2 + static_cast<int>(std::floor(t.depth[3] / t.dz[3]));
  const double d1 = t.depth[1] / 100.0, d12 = (t.depth[1] + t.depth[2]) / 100.0;
  const double d123 = (t.depth[1] + t.depth[2] + t.depth[3]) / 100.0;
  int layer;           // 1..3, 4 below the soil (aquifer nodes take layer 3's soil)
  int fixed;           // nodes of the layers above the table's
  double jz;           // thickness of the nodes added down to the table, cm
  double table_theta;  // content of the water-table node
  double level;        // top of the nodes added, m
  if (head > ground - d1) {
    layer = 1, fixed = 0, jz = t.dz[1], table_theta = t.thetas[1], level = ground;
  } else if (head > ground - d12) {
    layer = 2, fixed = n1, jz = t.dz[2], table_theta = t.thetas[2], level = ground - d1;
  } else if (head > ground - d123) {
    layer = 3, fixed = n2, jz = t.dz[3], table_theta = t.thetas[3], level = ground - d12;
  } else {
    layer = 4, fixed = n3, jz = at.aquifer_delta_z * 100.0, table_theta = t.thetas[3],
    level = ground - d123;
  }
  double k = jz * half;  // head of the water-table node, cm
  if (layer == 4 && head < bottom) k = (bottom - at.aquifer_delta_z * half - head) * 100.0;
  if (!(jz > 0.0)) {
    raise_message(
        "Error: the soil column of cell %d cannot reach the water table at %.4f m: its node "
        "thickness there is %g cm.\n",
        cell, head, jz);
    return false;
  }
  // The nodes the new column needs, counted before any is written.
  int needed = fixed + 1;
  for (double z = level; z > head && z > bottom && needed <= last_slot; z -= jz / 100.0) ++needed;
  if (needed > last_slot) {
    raise_message(
        "Error: the soil column of cell %d needs more than the %d nodes its arrays hold to "
        "reach the water table at %.4f m.\n",
        cell, last_slot, head);
    return false;
  }

  for (int j = 1; j <= fixed; ++j) dz[j] = t.dz[layer_of(j, n1, n2)];
  int n = fixed;
  while (level > head && level > bottom) {
    ++n;
    dz[n] = jz;
    level -= jz / 100.0;
    if (level < head - 1e-16) {
      dz[n] = (jz / 100.0 + level - head) * 100.0;
      level = head;
      // A sliver at the table joins the node above.
      if (dz[n] < jz / 10000.0 && n > 1) {
        dz[n - 1] += dz[n];
        --n;
      }
    }
  }
  ++n;
  // Every node takes its layer's soil, so that nodes the column never held
  // before are complete; aquifer nodes take the deepest layer's. The sealed
  // nodes under the aquifer keep what the set-up gave them.
  const int sealed =
      rs.sealed_from.size() > std::size_t(cell) ? rs.sealed_from[std::size_t(cell)] : 0;
  for (int j = 1; j <= n; ++j) {
    if (sealed > 0 && j >= sealed) break;
    const int soil = j <= fixed ? layer_of(j, n1, n2) : std::min(layer, 3);
    const bool boundary = (soil == 2 && j == n1 + 1) || (soil == 3 && j == n2 + 1);
    fill_soil_values(rs, t, cell, j, soil, boundary);
  }
  table_theta = thetas[n];
  dz[n] = jz;
  phead[n] = k;
  theta[n] = table_theta;
  rs.numcells[std::size_t(cell)] = n;

  if (n == m) {
    if (n - 1 >= 1) {
      const int j = n - 1;
      theta[j] = old_dz[std::size_t(j)] * old_theta[std::size_t(j)] / dz[j];
      settle_node(v, j, n, k);
    }
  } else if (n < m) {
    // The table rose: what now lies under it (whole nodes, and the part
    // of the node cut at it) joins the aquifer with its water; the rest
    // keeps its contents.
  } else if (n == 2) {
    if (t1 > dz[1]) {
      lay_single_node(rs, cell, v, ground, head, t1);
      return true;
    }
    phead[1] = k - half * dz[2] - half * dz[1];
    soil_theta_from_head(v.col, 1, v.family);
  } else if (n == m + 1 && dz[n - 1] < half * dz[n - 2]) {
    // A thin last node joins the node above, which keeps its own water.
    const int j = n - 2;
    dz[j] += dz[n - 1];
    theta[j] = old_dz[std::size_t(j)] * old_theta[std::size_t(j)] / dz[j];
    --n;
    rs.numcells[std::size_t(cell)] = n;
    dz[n] = jz;
    theta[n] = table_theta;
    settle_node(v, j, n, k);
  } else {
    // The table fell past nodes: the water of the old last unsaturated node
    // spreads over the nodes from there down to the new table.
    const int j0 = std::max(m - 1, 1);
    double old_top = ground;  // top of the old water-table node, m
    for (int j = 1; j <= m - 1; ++j) old_top -= old_dz[std::size_t(j)] / 100.0;
    const double fall = (old_top - head) * 100.0;  // cm
    const double content = old_dz[std::size_t(j0)] * old_theta[std::size_t(j0)] /
                           (old_dz[std::size_t(j0)] + fall);
    for (int j = j0; j <= n - 1; ++j) {
      theta[j] = content;
      settle_node(v, j, n, k);
    }
    // A node left much drier than the table below it allows is wetted up to
    // hydrostatic, with water from the aquifer.
    const int j = n - 1;
    const double hydrostatic = k - half * dz[n] - dz[j];
    if (theta[j] < 0.75 * thetas[j] && phead[j] < hydrostatic) {
      phead[j] = hydrostatic;
      soil_theta_from_head(v.col, j, v.family);
    }
  }

  if (n - 1 > 1 && dz[n - 1] < half * dz[n - 2]) {
    const int j = n - 2;
    const double merged = dz[j] + dz[n - 1];
    theta[j] = (dz[j] * theta[j] + dz[n - 1] * theta[n - 1]) / merged;
    dz[j] = merged;
    --n;
    rs.numcells[std::size_t(cell)] = n;
    settle_node(v, j, n, k);
  } else if (n >= 2 && t1 > dz[1]) {
    lay_single_node(rs, cell, v, ground, head, t1);
    return true;
  }

  // Contents held at saturation; the saturated run just above the table
  // stands hydrostatic on it.
  bool run = true;
  int top = n;          // highest node of that run
  double run_dz = 0.0;  // cm
  for (int j = n - 1; j >= 1; --j) {
    if (theta[j] >= thetas[j]) {
      theta[j] = thetas[j];
      if (run) {
        run_dz += dz[j];
        top = j;
      }
    } else {
      run = false;
    }
  }
  if (top < n) {
    k = half * jz + run_dz;
    double below = k;
    double below_dz = jz;
    for (int j = n - 1; j >= top; --j) {
      phead[j] = below - half * below_dz - half * dz[j];
      below = phead[j];
      below_dz = dz[j];
    }
  }
  dz[n] = jz;
  theta[n] = table_theta;
  phead[n] = k;
  return true;
}

}  // namespace

bool adjust_vadose_column(richards_soil& rs, int cell, const vadose_levels& at,
                          std::vector<double>& old_dz, std::vector<double>& old_theta,
                          int& yes_exfil, double& released) {
  // Whatever the new layout keeps, spreads, merges or caps, the water the
  // column no longer holds went to the aquifer and the water it gained came
  // from it: the books of both count the column's own water.
  const double before = richards_cell_water(rs, cell);
  released = 0.0;
  if (!lay_on_table(rs, cell, at, old_dz, old_theta, yes_exfil)) return false;
  released = before - richards_cell_water(rs, cell);
  return true;
}
