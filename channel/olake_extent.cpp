// Overland lake extents. The lakes are updated one after another, each from
// the cells the earlier ones left, so the routine runs on the calling thread;
// a lake only takes free cells and only frees its own, so the order decides
// nothing but which lake reaches a free cell between two lakes first.

#include "channel/olake_extent.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include "core/error_state.h"
#include "core/grid_state.h"
#include "input/read_grid_inputs.h"
#include "surface/surface_state.h"

namespace {

constexpr double least_rise = 1e-10;    // m; a smaller level change is left undone
constexpr double same_level = 1e-4;     // m; keys this close to a run's first are one level
constexpr int insertion_run = 7;        // sort2: shorter runs are finished by insertion
constexpr int sort_stack = 50;          // sort2: entries of its explicit stack

// Side bits of a cell, the bit the neighbour across uses for the same face,
// in the order above, right, below, left.
constexpr int side_bit[] = {1, 2, 4, 8};
constexpr int facing_bit[] = {4, 8, 1, 2};

// Marks a free cell already listed as a candidate of the lake at hand, in
// the boundary buffer (whose entries of lake cells hold their open sides).
constexpr int listed = -1;

bool sized(const surface_state& s, std::size_t n) {
  return s.olake_boundary.size() == n && s.olake_can_g.size() == n && s.olake_can_c.size() == n &&
         s.olake_can_n.size() == n && s.olake_can_key.size() == n &&
         s.olake_release_key.size() == n;
}

// Every buffer can hold every cell once: a candidate is listed once however
// many lake cells reach it, and a lake gives back only cells it holds.
bool size_buffers(surface_state& s, int cells) {
  const std::size_t n = std::size_t(cells) + 1;
  if (sized(s, n)) return true;
  return allocate_zeroed(s.olake_boundary, n, "olake_boundary") &&
         allocate_zeroed(s.olake_can_g, n, "olake_can_g") &&
         allocate_zeroed(s.olake_can_c, n, "olake_can_c") &&
         allocate_zeroed(s.olake_can_n, n, "olake_can_n") &&
         allocate_zeroed(s.olake_can_key, n, "olake_can_key") &&
         allocate_zeroed(s.olake_release_key, n, "olake_release_key");
}

struct lake_view {
  const grid_state& grid;
  const int* dikes;
  surface_state& s;
  double area;  // m2 of a cell
};

// Water of lake u over its cells at level, m3.
double lake_volume(const lake_view& v, int u, double level) {
  const int* lake = v.s.oland_lake_new.data();
  const double* ground = v.grid.elevation.data();
  double sum = 0.0;
  for (int i = 1; i <= v.grid.cells; ++i)
    if (lake[i] == u) sum += (level - ground[i]) * v.area;
  return sum;
}

int neighbour(const grid_state& g, int i, int side) {
  switch (side) {
    case 0: return g.abovecon[i];
    case 1: return g.rightcon[i];
    case 2: return g.belowcon[i];
    default: return g.leftcon[i];
  }
}

bool dike_between(const lake_view& v, int i, int side, int n) {
  return v.dikes != nullptr &&
         ((v.dikes[i] & side_bit[side]) != 0 || (v.dikes[n] & facing_bit[side]) != 0);
}

// Groups sorted values[1..count] into levels: runs within same_level of
// their first value, ascending or descending as sorted. The first value of
// level m goes to level_value[m], its multiplicity to multiplicity[m].
// Returns the number of levels.
int group_levels(int count, const double* values, double* level_value, int* multiplicity) {
  int levels = 0;
  for (int j = 1; j <= count; ++j) {
    if (levels == 0 || std::fabs(values[j] - level_value[levels]) >= same_level) {
      ++levels;
      level_value[levels] = values[j];
      multiplicity[levels] = 0;
    }
    ++multiplicity[levels];
  }
  return levels;
}

// Rising lake u from level L by dv to at most D: the free neighbours below
// D join from the lowest up. Returns the new level; water of the joined
// cells is added to joined (m3). False after a sort failure.
bool grow(const lake_view& v, int u, double L, double D, double dv, olake_record& lake,
          double& new_level, double& joined) {
  const grid_state& g = v.grid;
  surface_state& s = v.s;
  int* lake_of = s.oland_lake_new.data();
  int* boundary = s.olake_boundary.data();
  int* cand = s.olake_can_g.data();
  double* key = s.olake_can_key.data();
  const double* ground = g.elevation.data();
  double* depth = s.depth.data();

  int count = 0;
  for (int i = 1; i <= g.cells; ++i) {
    if (lake_of[i] != u) continue;
    int open = 0;
    for (int side = 0; side < 4; ++side) {
      const int n = neighbour(g, i, side);
      if (n != 0 && lake_of[n] == 0 && !dike_between(v, i, side, n)) open |= side_bit[side];
    }
    boundary[i] = open;
    for (int side = 0; side < 4 && open != 0; ++side) {
      if ((open & side_bit[side]) == 0) continue;
      const int n = neighbour(g, i, side);
      const double k = ground[n] + depth[n];  // m
      if (!(k < D) || boundary[n] == listed) continue;
      boundary[n] = listed;
      ++count;
      cand[count] = n;
      key[count] = k;
    }
  }
  for (int j = 1; j <= count; ++j) boundary[cand[j]] = 0;

  joined = 0.0;
  if (count == 0) {
    new_level = D;
    return true;
  }
  if (count > 1 && !sort2(count, key, cand)) return false;

  // Levels k1 < k2 < ... of the candidates. W is the volume that brings the
  // lake to the level at hand; between a level and the next, the lake and
  // every candidate of that level and the ones below rise together.
  double* level = s.olake_release_key.data();
  int* multiplicity = s.olake_can_n.data();
  const int levels = group_levels(count, key, level, multiplicity);
  const int C = lake.cells;
  double W = (level[1] - L) * C * v.area;  // m3
  int below = 0;                           // candidates at or under the level at hand
  int m = 1;
  for (;;) {
    below += multiplicity[m];
    if (m == levels) break;
    const double next = W + double(below + C) * (level[m + 1] - level[m]) * v.area;
    if (next > dv) break;
    W = next;
    ++m;
  }
  new_level = level[m] + (dv - W) / (double(below + C) * v.area);

  for (int j = 1; j <= count && key[j] < new_level; ++j) {
    const int n = cand[j];
    lake_of[n] = u;
    ++lake.cells;
    joined += depth[n] * v.area;
    depth[n] = 0.0;
  }
  return true;
}

// Falling lake u from level L by dv (< 0) to D: the cells it took that stand
// above the level that releases dv are given back. False after a stop.
bool shrink(const lake_view& v, int u, double L, double D, double dv, olake_record& lake,
            double& new_level) {
  const grid_state& g = v.grid;
  surface_state& s = v.s;
  int* lake_of = s.oland_lake_new.data();
  const int* initial = s.oland_lake_mask.data();
  int* release = s.olake_can_c.data();
  double* key = s.olake_release_key.data();
  const double* ground = g.elevation.data();

  int above = 0;  // lake cells whose ground stands above D
  int added = 0;  // cells lake u took beyond its map cells
  for (int i = 1; i <= g.cells; ++i) {
    if (lake_of[i] != u) continue;
    if (ground[i] > D) ++above;
    if (initial[i] != u) {
      ++added;
      release[added] = i;
      key[added] = D - ground[i];
    }
  }
  if (above == 0) {
    new_level = D;
    return true;
  }
  if (added == 0) {
    raise_message(
        "Lake %d is being drained below its' original elevation.  This is not\n"
        "allowed.  Re-size your initial lake. Program stopped.\n",
        u);
    return false;
  }
  if (added > 1 && !sort2(added, key, release)) return false;

  // Elevations e1 > e2 > ... of the taken cells, highest first. W is the
  // volume released by the fall to the level at hand; below a level the
  // cells of that level and the ones above it have run dry.
  double* elevation = s.olake_can_key.data();
  int* multiplicity = s.olake_can_n.data();
  for (int j = 1; j <= added; ++j) elevation[j] = ground[release[j]];
  const int levels = group_levels(added, elevation, elevation, multiplicity);
  const int C = lake.cells;
  double W = (L - elevation[1]) * C * v.area;  // m3
  if (W + dv >= 0.0) {
    // The fall stops before the highest taken cell runs dry.
    new_level = D;
    return true;
  }
  int gone = 0;  // taken cells at or above the level at hand
  int m = 1;
  for (;;) {
    gone += multiplicity[m];
    if (m == levels) break;
    const double next = W + (elevation[m] - elevation[m + 1]) * double(C - gone) * v.area;
    if (next + dv > 0.0) break;
    W = next;
    ++m;
  }
  if (W < 0.0 || C - gone <= 0) {
    raise_message(
        "Not enough volume in lake %d to satisfy drainage demand.\n"
        "Program stopped in olake_extent.c\n",
        u);
    return false;
  }
  new_level = elevation[m] + (W + dv) / (double(C - gone) * v.area);

  for (int j = 1; j <= added; ++j) {
    const int i = release[j];
    if (!(ground[i] > new_level)) break;  // highest first: the rest stay
    lake_of[i] = 0;
    --lake.cells;
  }
  return true;
}

}  // namespace

bool sort2(int n, double* keys, int* cells) {
  int stack[sort_stack + 1];
  int top = 0;
  int l = 1;
  int ir = n;
  auto swap_at = [keys, cells](int a, int b) {
    std::swap(keys[a], keys[b]);
    std::swap(cells[a], cells[b]);
  };
  for (;;) {
    if (ir - l < insertion_run) {
      for (int j = l + 1; j <= ir; ++j) {
        const double k = keys[j];
        const int c = cells[j];
        int i = j - 1;
        for (; i >= l && keys[i] > k; --i) {
          keys[i + 1] = keys[i];
          cells[i + 1] = cells[i];
        }
        keys[i + 1] = k;
        cells[i + 1] = c;
      }
      if (top == 0) return true;
      ir = stack[top--];
      l = stack[top--];
      continue;
    }
    // Median of the first, middle and last as the partition key, with the
    // smaller and larger of them as sentinels at both ends.
    swap_at((l + ir) / 2, l + 1);
    if (keys[l] > keys[ir]) swap_at(l, ir);
    if (keys[l + 1] > keys[ir]) swap_at(l + 1, ir);
    if (keys[l] > keys[l + 1]) swap_at(l, l + 1);
    int i = l + 1;
    int j = ir;
    const double k = keys[l + 1];
    const int c = cells[l + 1];
    for (;;) {
      do ++i; while (keys[i] < k);
      do --j; while (keys[j] > k);
      if (j < i) break;
      swap_at(i, j);
    }
    keys[l + 1] = keys[j];
    cells[l + 1] = cells[j];
    keys[j] = k;
    cells[j] = c;
    top += 2;
    if (top > sort_stack) {
      raise_message(
          "NSTACK too small in sort2, called by olake_extent.c.  This is likely caused\n"
          "by the lake growth/shrinkage algorithm being stifled by too many grid cells\n"
          "with exactly the same elevation.  A likely fix is to make sure that your lake\n"
          "does not have flat topography. Program stopped.\n");
      return false;
    }
    // The larger part waits on the stack; the smaller is sorted next.
    if (ir - i + 1 >= j - l) {
      stack[top] = ir;
      stack[top - 1] = i;
      ir = j - 1;
    } else {
      stack[top] = j - 1;
      stack[top - 1] = l;
      l = i;
    }
  }
}

void olake_extent(const grid_state& grid, const int* dike_mask, surface_state& surface) {
  if (!size_buffers(surface, grid.cells)) return;
  const lake_view v{grid, dike_mask, surface, grid.dx * grid.dx};
  for (int u = 1; u <= surface.olake_count; ++u) {
    olake_record& lake = surface.olakes[u];
    const double dv = lake.dv;  // m3
    if (lake.cells <= 0) {
      // A lake without cells has no surface to hold a change.
      surface.olake_balance_error += dv;
      continue;
    }
    const double L = lake.level;                   // m
    const double a = dv / (lake.cells * v.area);  // m
    const double D = L + a;                        // m
    const double before = lake_volume(v, u, L);    // m3
    double level = D;                              // m
    double joined = 0.0;                           // water of joined cells, m3
    if (D < lake.floor) {
      // The lake stays at its floor; what it could not give (or what lifted
      // it to the floor) is the balance error below.
      level = lake.floor;
      if (dv < 0.0) surface.olake_outflow_volume += -dv;
      else surface.olake_inflow_volume += dv;
    } else if (std::fabs(a) < least_rise) {
      continue;
    } else if (a > 0.0) {
      if (!grow(v, u, L, D, dv, lake, level, joined)) return;
      surface.olake_inflow_volume += dv + joined;
    } else {
      surface.olake_outflow_volume += -dv;
      if (!shrink(v, u, L, D, dv, lake, level)) return;
    }
    lake.level = level;
    lake.volume = lake_volume(v, u, level);
    surface.olake_balance_error += dv + before + joined - lake.volume;
  }
}
