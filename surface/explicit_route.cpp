// The explicit overland router. Every face of a sub-step carries the flow
// per unit width through a cell's right (x) or lower (y) face from the
// depths at the start of the sub-step, and a depth gathers its cell's four
// faces, so that every depth is written by one iteration and both cells of
// a face see the same transfer. With the cells numbered in grid order, as
// the set-up finds them, one pass a sub-step routes a cell's two faces and
// then updates its depth, which no later face reads; other numberings route
// the faces and update the depths in two passes, to the same bits.
// Failing faces are counted in the pass and the first in cell order kept;
// it is printed afterwards on the calling thread, and the step's count at
// its end, so a run prints and routes the same on any number of threads and
// a large grid does not flood the screen with a line per face.
//
// Lakes change the procedure. With channel lakes the sweeps also pass water
// between free cells and the lakes, whose cells keep their depths, and the
// lake sums are added in cell order after each sub-step; a cut puts the
// lakes back with the depths. With overland lakes (and no channel lakes)
// one pass at the full step in cell order, without tests, moves the water
// of the x faces and then of the y faces.

#include "surface/explicit_route.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/error_state.h"
#include "run/model_state.h"
#include "surface/cell_loops.h"
#include "surface/face_fluxes.h"
#include "surface/lowspots.h"
#include "surface/manning_power.h"

namespace {

constexpr double outlet_exponent = 1.666667;  // the outlet's Manning exponent, as written
constexpr double slope_floor = 1e-20;         // smaller slopes count as this one
constexpr double plain_offset = 1e-30;        // added to every water-surface slope without lakes
constexpr double lake_offset = 1e-20;         // and with lakes
constexpr double celerity_limit = 0.06;       // largest (q / dx) x s, m
constexpr double largest_transfer = 0.1;      // largest depth moved through a face, m
constexpr double outflow_limit = -1e-4;       // lowest depth a losing cell may be left at, m
constexpr double smallest_substep = 0.005;    // s; a shorter sub-step is not cut again
constexpr double cut_divisor = 3.0;
constexpr int max_cuts = 5;                   // per call
constexpr int countdown_calls = 4;            // calls that start with a cut sub-step
constexpr double end_tolerance = 1e-4;        // s

struct explicit_view {
  int cells;
  double dx;
  // 1 / dx: a face's slope multiplies by it rather than divide, to the same
  // value within a unit in the last place.
  double inverse_dx;
  double offset;  // added to the water-surface slope of faces between free cells
  const double* elevation;
  const double* slope_x;
  const double* slope_y;
  const double* retent_dep;
  const double* dist_rough;
  const int* rightcon;
  const int* belowcon;
  const int* leftcon;
  const int* abovecon;
  const int* dike_mask;  // null without dikes
  const int* wetland_mask;  // null without wetlands
  const wetland_record* wetland_types;
  const int* lake;          // channel lake per cell, null without channel lakes
  const double* lake_elev;  // per channel lake, m
  double* depth;
  double* saved;
  double* flux_x;  // per unit width during the call, m2/s
  double* flux_y;
};

explicit_view view_of(model_state& state) {
  grid_state& g = state.grid;
  surface_state& sf = state.surface;
  const face_inputs faces = face_inputs_of(state);
  explicit_view v{};
  v.cells = g.cells;
  v.dx = g.dx;
  v.inverse_dx = 1.0 / g.dx;
  v.offset = plain_offset;
  v.elevation = g.elevation.data();
  v.slope_x = g.slope_x.data();
  v.slope_y = g.slope_y.data();
  v.retent_dep = sf.retent_dep.data();
  v.dist_rough = sf.dist_rough.data();
  v.rightcon = g.rightcon.data();
  v.belowcon = g.belowcon.data();
  v.leftcon = g.leftcon.data();
  v.abovecon = g.abovecon.data();
  v.dike_mask = faces.dike_mask;
  v.wetland_mask = faces.wetland_mask;
  v.wetland_types = faces.wetland_types;
  v.lake = nullptr;
  v.lake_elev = nullptr;
  v.depth = sf.depth.data();
  v.saved = sf.saved_depth.data();
  v.flux_x = sf.flux_x.data();
  v.flux_y = sf.flux_y.data();
  return v;
}

// One direction's faces: neighbour table, bed slope, closing dike bit, flux.
struct direction {
  bool x;
  const int* next;
  const double* bed_slope;
  int dike_side;
  double* flux;
};

direction direction_of(const explicit_view& v, bool x) {
  return x ? direction{true, v.rightcon, v.slope_x, dike_right, v.flux_x}
           : direction{false, v.belowcon, v.slope_y, dike_bottom, v.flux_y};
}

// The routines below take extras = false for a grid without dikes and
// wetlands, where they reduce to the plain law with its tests compiled out;
// they give the same bits either way.
template <bool extras = true>
inline int wetland_at(const explicit_view& v, int c) {
  if constexpr (!extras) return 0;
  return v.wetland_mask != nullptr ? v.wetland_mask[c] : 0;
}

template <bool extras = true>
inline bool face_open(const explicit_view& v, const direction& d, int i) {
  const int j = d.next[i];
  if (j == 0) return false;
  if constexpr (!extras) return true;
  return !(v.dike_mask != nullptr && (v.dike_mask[i] & d.dike_side) != 0);
}

// A face between free cells is routed and tested when it is open and its
// cell i holds at least its retention; a wetland cell passes water below its
// retention too.
template <bool extras = true>
inline bool face_routed(const explicit_view& v, const direction& d, int i) {
  if (!face_open<extras>(v, d, i)) return false;
  return wetland_at<extras>(v, i) > 0 || !(v.depth[i] < v.retent_dep[i]);
}

// The slope as the face law takes it: tiny slopes count as 1e-20, positive.
inline double floored(double s) { return std::fabs(s) < slope_floor ? slope_floor : s; }

inline double sign_of(double s) { return s < 0.0 ? -1.0 : 1.0; }

// Manning per unit width, m2/s, signed by s, for flowing depth g and n.
// The same with g's power, g^(5/3), given. The power is the ADE's
// multiply-only one: within a few units in the last place of the library's,
// at a fraction of its cost.
inline double manning_unit_of(double s, double g, double n, double power) {
  if (!(g > 0.0)) return 0.0;
  return sign_of(s) * std::sqrt(std::fabs(s)) / n * power;
}

inline double manning_unit(double s, double g, double n) {
  return manning_unit_of(s, g, n, g > 0.0 ? manning_power(g) : 0.0);
}

// The wetland blend per unit width for flowing depth g > 0 above d0 on the
// signed slope s: the seepage of d0, plus Manning and the faster seepage
// blended over P, Manning alone beyond it.
inline double wetland_blend(const wetland_law& w, double s, double g) {
  const double a = w.k1 * s * w.d0;
  const double b = w.k2 * s * g;
  const double j = sign_of(s) * std::sqrt(std::fabs(s)) / w.n * manning_power(g);
  if (g > w.p) return a + j;
  return a + j * g / w.p + (1.0 - g / w.p) * b;
}

// Flow per unit width from free cell i to free cell j, m2/s, positive from
// i to j: Manning on the water-surface slope, by the upstream cell's depth
// above its retention depth and cell i's roughness. A wetland cell i uses
// its type's layered law.
template <bool extras = true>
inline double unit_flux(const explicit_view& v, const direction& d, int i, int j) {
  const double* h = v.depth;
  const double s = floored(d.bed_slope[i] - (h[j] - h[i]) * v.inverse_dx + v.offset);
  const int wi = wetland_at<extras>(v, i);
  if (wi == 0) {
    const double g = s >= 0.0 ? h[i] - v.retent_dep[i] : h[j] - v.retent_dep[j];
    return manning_unit(s, g, v.dist_rough[i]);
  }
  const wetland_law w = wetland_law_of(v.wetland_types[wi]);
  const bool wj = wetland_at(v, j) > 0;
  const double g = s >= 0.0 ? h[i] - w.d0 : (wj ? h[j] - w.d0 : h[j] - v.retent_dep[j]);
  if (!(g > 0.0)) {
    if (s >= 0.0) return w.k1 * s * h[i];
    return wj ? w.k1 * s * h[j] : 0.0;
  }
  if (!wj) {
    // Into or out of a cell that is not a wetland Manning acts on the depth
    // above d0 (or above the neighbour's retention), by the neighbour's n,
    // or cell i's when the neighbour's water comes down an x face.
    if (s >= 0.0) return manning_power(g) * std::sqrt(s) / v.dist_rough[j];
    const double n = d.x ? v.dist_rough[i] : v.dist_rough[j];
    return -manning_power(g) * std::sqrt(-s) / n;
  }
  return wetland_blend(w, s, g);
}

// Free cell i beside a channel lake of level e (m): positive into the lake.
// Water leaves i by its depth above its retention; the lake's water enters i
// by the lake's depth over i's ground.
inline double unit_flux_into_lake(const explicit_view& v, int i, double e) {
  const double* h = v.depth;
  const double* z = v.elevation;
  const double s = floored((z[i] + h[i] - e) / v.dx + lake_offset);
  const int wi = wetland_at(v, i);
  if (wi == 0) {
    const double g = s > 0.0 ? h[i] - v.retent_dep[i] : e - z[i];
    return manning_unit(s, g, v.dist_rough[i]);
  }
  const wetland_law w = wetland_law_of(v.wetland_types[wi]);
  const double g = h[i] - w.d0;
  if (!(g > 0.0)) return w.k1 * s * h[i];
  return wetland_blend(w, s, g);
}

// Lake cell i of level e beside free cell j: positive out of the lake.
inline double unit_flux_out_of_lake(const explicit_view& v, int i, int j, double e) {
  const double* h = v.depth;
  const double* z = v.elevation;
  const double s = floored((e - z[j] - h[j]) / v.dx);
  const int wj = wetland_at(v, j);
  if (wj == 0) {
    const double g = s > 0.0 ? e - z[j] : h[j] - v.retent_dep[j];
    return manning_unit(s, g, v.dist_rough[j]);
  }
  const wetland_law w = wetland_law_of(v.wetland_types[wj]);
  if (!(h[j] - w.d0 > 0.0)) return w.k1 * s * h[j];
  const double g = s > 0.0 ? e - z[i] - w.d0 : h[j] - w.d0;
  // A lake standing less than d0 over its own ground seeps by the linear law.
  if (!(g > 0.0)) return w.k1 * s * std::fmax(e - z[i], 0.0);
  return wetland_blend(w, s, g);
}

// What the stability tests see of one face.
struct face_check {
  double celerity;  // |q x (s / dx)|, m
  double transfer;  // q x (s / dx), m
  double after;     // depth the losing cell is left at, m
};

// The sub-step over the cell width, s / dx (s/m): a face's flux times it is
// the depth the face moves, the same factor for the face's tests, for the
// cell it leaves and for the cell it enters, so that what one cell loses
// the other gains to the bit.
inline double step_over_width(const explicit_view& v, double s) { return s / v.dx; }

// The cell that loses water is tested: i when the flow leaves it, j when the
// flow comes from j (a lake's side is not tested). A face without flow loses
// nobody anything.
inline face_check check_face(const explicit_view& v, int i, int j, double q, double s,
                             bool j_is_lake) {
  face_check c;
  c.transfer = q * step_over_width(v, s);
  c.celerity = std::fabs(c.transfer);
  if (q > 0.0) {
    c.after = v.depth[i] - c.transfer;
  } else if (q < 0.0 && !j_is_lake) {
    c.after = v.depth[j] + c.transfer;
  } else {
    c.after = 0.0;
  }
  return c;
}

inline bool fails(const face_check& c) {
  return c.celerity >= celerity_limit || std::fabs(c.transfer) > largest_transfer ||
         c.after < outflow_limit;
}

// The failing faces of one direction met in a pass: their count, and the
// first of them in cell order (cell 0 none) with what its tests saw.
struct direction_failures {
  int count = 0;
  int cell = 0;
  face_check check{};

  void add(int i, const face_check& c) {
    ++count;
    if (cell == 0 || i < cell) {
      cell = i;
      check = c;
    }
  }
  // The smaller cell wins, so that threads meeting their faces in any order
  // agree on the first one.
  void merge(const direction_failures& o) {
    count += o.count;
    if (o.cell != 0 && (cell == 0 || o.cell < cell)) {
      cell = o.cell;
      check = o.check;
    }
  }
};

struct failing_faces {
  direction_failures x;
  direction_failures y;
};

// Face d of cell i from the depths of the start of the sub-step: writes its
// flux per unit width and returns the depth it takes out of cell i over the
// sub-step, q x (s / dx) (m), the very value the depth update subtracts. A
// face that fails the tests goes to failed.
template <bool extras>
inline double route_face(const explicit_view& v, const direction& d, int i, double s,
                         direction_failures& failed) {
  if (!face_routed<extras>(v, d, i)) {
    d.flux[i] = 0.0;
    return 0.0;
  }
  const int j = d.next[i];
  const double q = unit_flux<extras>(v, d, i, j);
  d.flux[i] = q;
  const face_check c = check_face(v, i, j, q, s, false);
  if (fails(c)) failed.add(i, c);
  return c.transfer;
}

// Cells whose plain faces a pass routes together before it updates them.
constexpr int face_block = power_block;

// The faces of direction d of cells b0..b1 (at most face_block of them) on a
// grid without dikes and wetlands, as route_face gives them, into out[i -
// b0]; a face whose far cell lies beyond last was routed before and gives
// its stored flux's transfer. The depth powers are taken in a loop of their
// own, the ADE's, in vector lanes: a face that is not routed reads its own
// cell on both sides and gives the power a depth of 1, which nothing uses.
VALTO_WIDE_VECTORS
void plain_faces(const explicit_view& v, const direction& d, int b0, int b1, int last, double s,
                 double* out, direction_failures& failed) {
  const double* h = v.depth;
  const double* r = v.retent_dep;
  double slope[face_block];
  double g[face_block];
  double lifted[face_block];  // g where it flows, else 1
  double power[face_block];
  bool routed[face_block];
  const int count = b1 - b0 + 1;
  const double inverse_dx = v.inverse_dx;
  const double moved = step_over_width(v, s);
  for (int k = 0; k < count; ++k) {
    const int i = b0 + k;
    const int j = d.next[i];
    routed[k] = (j <= last) & face_routed<false>(v, d, i);
    const int far = routed[k] ? j : i;
    const double sl = floored(d.bed_slope[i] - (h[far] - h[i]) * inverse_dx + v.offset);
    const double depth = sl >= 0.0 ? h[i] - r[i] : h[far] - r[far];
    slope[k] = sl;
    g[k] = depth;
    lifted[k] = pick(routed[k] & (depth > 0.0), depth, 1.0);
  }
  manning_powers(lifted, count, power);
  // The fluxes and what the tests see of them, in lanes too: the same
  // operations as manning_unit_of and check_face, with a face that is not
  // routed or is dry given +0.
  double q[face_block];
  double transfer[face_block];
  double celerity[face_block];
  const double* rough = v.dist_rough + b0;
#pragma omp simd
  for (int k = 0; k < count; ++k) {
    const double flowing = sign_of(slope[k]) * std::sqrt(std::fabs(slope[k])) / rough[k] * power[k];
    q[k] = pick(routed[k] & (g[k] > 0.0), flowing, 0.0);
    transfer[k] = q[k] * moved;
    celerity[k] = std::fabs(transfer[k]);
  }
  for (int k = 0; k < count; ++k) {
    const int i = b0 + k;
    const int j = d.next[i];
    if (j > last) {
      out[k] = d.flux[i] * moved;
      continue;
    }
    d.flux[i] = q[k];
    out[k] = transfer[k];
    if (!routed[k]) continue;
    face_check c;
    c.celerity = celerity[k];
    c.transfer = transfer[k];
    c.after = q[k] > 0.0 ? h[i] - c.transfer : (q[k] < 0.0 ? h[j] + c.transfer : 0.0);
    if (fails(c)) failed.add(i, c);
  }
}

// One sub-step of s seconds, faces and depths together in one pass over the
// cells in grid order: a cell's faces read only its own depth and those of
// later cells, and its depth update only faces of earlier cells and its own,
// so each depth is changed right after its faces have read it. Each thread
// takes a contiguous share of the cells and routes first, before the
// barrier, the faces whose far cell lies in a later share, whose depth that
// share's thread is about to change. With save the depths of the start go to
// saved as they are overwritten (the call's first sub-step, which saves the
// copying pass); with to_m3 a face is turned into m3/s once its far cell has
// used it (the call's last sub-step, which saves the scaling pass).
template <bool extras>
failing_faces route_substep(const explicit_view& v, const grid_order& order, double s, bool save,
                            bool to_m3) {
  const int n = v.cells;
  const double dx = v.dx;
  const direction fx = direction_of(v, true);
  const direction fy = direction_of(v, false);
  const int* right = v.rightcon;
  const int* below = v.belowcon;
  const int* left = v.leftcon;
  const int* above = v.abovecon;
  double* qx = v.flux_x;
  double* qy = v.flux_y;
  double* h = v.depth;
  const double moved = step_over_width(v, s);
  failing_faces all;
#pragma omp parallel num_threads(sweep_team(n))
  {
    int first = 0;
    int last = 0;
    thread_cells(n, omp_get_thread_num(), omp_get_num_threads(), first, last);
    failing_faces mine;
    for (int i = std::max(first, last - order.reach_x + 1); i <= last; ++i)
      if (right[i] > last) route_face<extras>(v, fx, i, s, mine.x);
    for (int i = std::max(first, last - order.reach_y + 1); i <= last; ++i)
      if (below[i] > last) route_face<extras>(v, fy, i, s, mine.y);
#pragma omp barrier
    const auto update = [&](int i, double out_x, double out_y) {
      const int l = left[i];
      const int a = above[i];
      const double in_x = qx[l] * moved;
      const double in_y = qy[a] * moved;
      if (save) v.saved[i] = h[i];
      h[i] += (in_x - out_x) + (in_y - out_y);
      // A face is used last by its far cell; a face from an earlier share
      // is still read by its own cell's thread.
      if (to_m3) {
        if (l >= first) qx[l] *= dx;
        if (a >= first) qy[a] *= dx;
      }
    };
    if constexpr (extras) {
      for (int i = first; i <= last; ++i) {
        const double out_x =
            right[i] > last ? qx[i] * moved : route_face<extras>(v, fx, i, s, mine.x);
        const double out_y =
            below[i] > last ? qy[i] * moved : route_face<extras>(v, fy, i, s, mine.y);
        update(i, out_x, out_y);
      }
    } else {
      // A block's faces read only depths of its own and later cells.
      double out_x[face_block];
      double out_y[face_block];
      for (int b0 = first; b0 <= last; b0 += face_block) {
        const int b1 = std::min(last, b0 + face_block - 1);
        plain_faces(v, fx, b0, b1, last, s, out_x, mine.x);
        plain_faces(v, fy, b0, b1, last, s, out_y, mine.y);
        for (int i = b0; i <= b1; ++i) update(i, out_x[i - b0], out_y[i - b0]);
      }
    }
    if (to_m3) {
#pragma omp barrier
      for (int i = std::max(first, last - order.reach_x + 1); i <= last; ++i)
        if (right[i] > last) qx[i] *= dx;
      for (int i = std::max(first, last - order.reach_y + 1); i <= last; ++i)
        if (below[i] > last) qy[i] *= dx;
    }
#pragma omp critical
    {
      all.x.merge(mine.x);
      all.y.merge(mine.y);
    }
  }
  return all;
}

// The faces of both directions from the depths of the start of the
// sub-step, for cells not numbered in grid order; the depths are updated in
// a pass of their own.
template <bool extras>
failing_faces sweep_both(const explicit_view& v, double s) {
  const int n = v.cells;
  const direction fx = direction_of(v, true);
  const direction fy = direction_of(v, false);
  failing_faces all;
#pragma omp parallel num_threads(sweep_team(n))
  {
    failing_faces mine;
#pragma omp for schedule(static)
    for (int i = 1; i <= n; ++i) {
      route_face<extras>(v, fx, i, s, mine.x);
      route_face<extras>(v, fy, i, s, mine.y);
    }
#pragma omp critical
    {
      all.x.merge(mine.x);
      all.y.merge(mine.y);
    }
  }
  return all;
}

// The faces of one sub-step, and its depths with one_pass; without it the
// caller updates the depths.
template <bool extras>
failing_faces route_pass(const explicit_view& v, const grid_order& order, bool one_pass,
                         double s, bool save, bool to_m3) {
  return one_pass ? route_substep<extras>(v, order, s, save, to_m3) : sweep_both<extras>(v, s);
}

// Prints the line of the first failing face of the latest pass in
// direction x or y; returns its cell.
int print_first_failing_face(bool x, const direction_failures& f) {
  const face_check& c = f.check;
  std::printf(x ? "need to split...(x-dir) curr_du=%lf, dhh=%lf, h[j]+dhh=%lf\n"
                : "need to split...(y-dir) curr_du=%lf, dhh=%lf, h[j]+dhh=%lf\n",
              c.celerity, c.transfer, c.after);
  std::fflush(stdout);
  return f.cell;
}

// The faces of one call that failed the tests: the first is printed when
// met, the count once at the end of the call when there were more.
struct split_report {
  long long faces = 0;
  int first_cell = 0;
};

void print_split_count(const split_report& r) {
  if (r.faces < 2) return;
  std::printf("  (first at cell %d; %lld face tests failed in this overland step)\n", r.first_cell,
              r.faces);
  std::fflush(stdout);
}

// A face of the channel-lake path: closed (no flux), between two free cells,
// from a free cell into a lake, or out of a lake into a free cell. Only
// faces whose cell i is free are tested.
enum class lake_face { closed, free, into_lake, out_of_lake };

inline lake_face lake_face_of(const explicit_view& v, const direction& d, int i) {
  if (!face_open(v, d, i)) return lake_face::closed;
  const int j = d.next[i];
  const int li = v.lake[i];
  const int lj = v.lake[j];
  if (li > 0 && lj > 0) return lake_face::closed;  // the lake holds one level
  if (lj > 0) return lake_face::into_lake;
  if (li > 0) return lake_face::out_of_lake;
  return face_routed(v, d, i) ? lake_face::free : lake_face::closed;
}

inline bool lake_face_tested(lake_face f) {
  return f == lake_face::free || f == lake_face::into_lake;
}

int lake_sweep(const explicit_view& v, const direction& d, double s) {
  const int n = v.cells;
  int failing = 0;
#pragma omp parallel for schedule(static) reduction(+ : failing) num_threads(team_for(n, cells_per_thread))
  for (int i = 1; i <= n; ++i) {
    const lake_face f = lake_face_of(v, d, i);
    const int j = d.next[i];
    double q = 0.0;
    switch (f) {
      case lake_face::closed:
        break;
      case lake_face::free:
        q = unit_flux(v, d, i, j);
        break;
      case lake_face::into_lake:
        q = unit_flux_into_lake(v, i, v.lake_elev[v.lake[j]]);
        break;
      case lake_face::out_of_lake:
        q = unit_flux_out_of_lake(v, i, j, v.lake_elev[v.lake[i]]);
        break;
    }
    d.flux[i] = q;
    if (lake_face_tested(f) && fails(check_face(v, i, j, q, s, f == lake_face::into_lake)))
      ++failing;
  }
  return failing;
}

// The channel-lake path's lines for the first failing face of the latest
// sweep, in cell order; returns its cell.
int print_first_lake_failing_face(const explicit_view& v, const direction& d, double s) {
  for (int i = 1; i <= v.cells; ++i) {
    const lake_face f = lake_face_of(v, d, i);
    if (!lake_face_tested(f)) continue;
    const double q = d.flux[i];
    const face_check c = check_face(v, i, d.next[i], q, s, f == lake_face::into_lake);
    if (!fails(c)) continue;
    if (c.celerity > celerity_limit) {
      std::printf(d.x ? "  ]x:_U_%2.4lf H%2.4lf Q:%4.2lf dt:%4.2lf j:%d\n"
                      : "  ]y:_U_%2.4lf H%2.4lf Q:%4.2lf dt:%4.2lf j:%d\n",
                  c.celerity, c.transfer, q, s, i);
      std::fputs("    -> Cell Exceded Celerity Check\n", stdout);
    } else if (std::fabs(c.transfer) > largest_transfer) {
      std::printf(d.x ? "  ]x:U%2.4lf _H_%2.4lf Q:%4.2lf dt:%4.2lf j:%d\n"
                      : "  ]y:U%2.4lf _H_%2.4lf Q:%4.2lf dt:%4.2lf j:%d\n",
                  c.celerity, c.transfer, q, s, i);
      std::fputs("    -> Cell Exceeded Max Height Change\n", stdout);
    } else {
      std::printf(d.x ? "  ]x: h+dh < 0.00   (h+dh=%lf)  j:%d\n"
                      : "  ]y: h+dh < 0.00   (h+dh=%lf)  j:%d\n",
                  c.after, i);
      std::fputs("    -> Outflow Exceeded Water Depth\n", stdout);
    }
    std::fflush(stdout);
    return i;
  }
  return 0;
}

// h += the transfers through the cell's four faces of the sub-step, for the
// cells that are not lake cells (lake null: every cell).
void update_depths(const explicit_view& v, double s, const int* lake) {
  const int n = v.cells;
  const double moved = step_over_width(v, s);
  const double* qx = v.flux_x;
  const double* qy = v.flux_y;
  double* h = v.depth;
#pragma omp parallel for schedule(static) num_threads(team_for(n, cells_per_thread))
  for (int i = 1; i <= n; ++i) {
    if (lake != nullptr && lake[i] != 0) continue;
    const double in_x = qx[v.leftcon[i]] * moved;
    const double out_x = qx[i] * moved;
    const double in_y = qy[v.abovecon[i]] * moved;
    const double out_y = qy[i] * moved;
    h[i] += (in_x - out_x) + (in_y - out_y);
  }
}

void copy_depths(int n, const double* from, double* to) {
#pragma omp parallel for schedule(static) num_threads(team_for(n, cells_per_thread))
  for (int i = 1; i <= n; ++i) to[i] = from[i];
}

void print_switched(bool messages, const char* format, double value) {
  if (!messages) return;
  std::printf(format, value);
  std::fflush(stdout);
}

// The sub-steps of one call, from the depths of its start. A sub-step
// that fails the tests is routed again as three of a third its length from
// the depths it started from; the sub-steps before it stand, and the cut
// sub-step carries on to the end of the call. Returns true when the face
// flows are left in m3/s, false when they are left per unit width for the
// caller to scale.
bool route_plain(surface_state& sf, const explicit_view& v, double dt, double s, bool messages) {
  const bool y_first = sf.ex_parity == 1;
  // Cells in grid order take one pass a sub-step, which keeps the depths it
  // starts from for a cut to put back; the two-pass order tests the faces
  // before it changes any depth.
  const bool one_pass = sf.cell_order.ok;
  const bool extras = v.dike_mask != nullptr || v.wetland_mask != nullptr;
  int cuts = 0;
  int stop = 0;
  split_report report;
  double elapsed = 0.0;
  for (;;) {
    ++sf.ex_substeps;
    const double after = elapsed + s;
    const bool last = std::fabs(after - dt) < end_tolerance || after > dt;
    const failing_faces both =
        extras ? route_pass<true>(v, sf.cell_order, one_pass, s, one_pass, last)
               : route_pass<false>(v, sf.cell_order, one_pass, s, one_pass, last);
    bool cut = false;
    for (int k = 0; k < 2; ++k) {
      const bool x = (k == 0) != y_first;
      const direction_failures& failed = x ? both.x : both.y;
      int split = 0;
      if (failed.count > 0) {
        // Below the smallest sub-step a failing face stops the cutting and
        // the step goes on as it is.
        if (report.faces == 0) report.first_cell = print_first_failing_face(x, failed);
        report.faces += failed.count;
        if (s <= smallest_substep) {
          stop = 1;
        } else {
          split = failed.count;
        }
      }
      if (stop != 0 || split == 0) continue;
      if (cuts < max_cuts) {
        s /= cut_divisor;
        print_switched(messages, " *Changing overland time step to %4.2lf seconds...\n", s);
        sf.ex_reduced_substep = s;
        sf.ex_countdown = countdown_calls;
        sf.ex_cuts.add(s);
        ++cuts;
        cut = true;
        break;
      }
      stop = 1;
      if (messages) {
        std::fputs(" *Time step to small to divide, continuing with current time step\n", stdout);
        std::fflush(stdout);
      }
    }
    if (cut) {
      ++sf.ex_retried;
      if (one_pass) copy_depths(v.cells, v.saved, v.depth);
      continue;
    }
    if (!one_pass) update_depths(v, s, nullptr);
    elapsed = after;
    if (last) break;
  }
  print_split_count(report);
  return one_pass;
}

// Cell number of the k-th cell (1..) of channel lake l's search list.
int lake_search_cell(const model_state& state, int l, int k) {
  const channel_state& chan = state.channel;
  const std::size_t at = std::size_t(l) * std::size_t(chan.max_lake_points + 1) + std::size_t(k);
  return state.grid.mask[chan.lake_search_row[at]][chan.lake_search_col[at]];
}

// True when the channel lakes' arrays fit the grid and the lake count.
bool channel_lakes_ready(const model_state& state) {
  const channel_state& chan = state.channel;
  const std::size_t lakes = std::size_t(chan.lake_count) + 1;
  const std::size_t search = lakes * std::size_t(chan.max_lake_points + 1);
  if (chan.lake_mask.size() != std::size_t(state.grid.cells) + 1) return false;
  if (chan.lake_elev.size() < lakes || chan.lake_volume.size() < lakes ||
      chan.lake_in_dv.size() < lakes || chan.lake_out_dv.size() < lakes ||
      chan.lake_cells.size() < lakes || chan.lake_search_row.size() < search ||
      chan.lake_search_col.size() < search)
    return false;
  for (int l = 1; l <= chan.lake_count; ++l)
    if (chan.lake_cells[std::size_t(l)] > chan.max_lake_points) return false;
  return true;
}

// Adds the sub-step's face volumes between lake cells and free cells to the
// lakes, in cell order: the net volume, and the gross volumes in and out,
// each face's water taken with the sign of its flux so that a lake gets
// exactly what its free neighbour gave.
void add_lake_faces(channel_state& chan, const explicit_view& v, double s) {
  const int* lake = v.lake;
  for (int i = 1; i <= v.cells; ++i) {
    for (int k = 0; k < 2; ++k) {
      const direction d = direction_of(v, k == 0);
      const int j = d.next[i];
      if (j == 0) continue;
      const int li = lake[i];
      const int lj = lake[j];
      if ((li > 0) == (lj > 0)) continue;
      const double vol = d.flux[i] * v.dx * s;  // m3 from i to j
      const std::size_t l = std::size_t(lj > 0 ? lj : li);
      const double into = lj > 0 ? vol : -vol;  // m3 into the lake
      chan.lake_volume[l] += into;
      if (into > 0.0) {
        chan.lake_in_dv[l] += into;
      } else {
        chan.lake_out_dv[l] -= into;
      }
    }
  }
}

// The sub-steps of one call with channel lakes.
void route_channel_lakes(model_state& state, explicit_view& v, double dt, double s,
                         bool messages) {
  surface_state& sf = state.surface;
  channel_state& chan = state.channel;
  const int lakes = chan.lake_count;
  // The lakes hold the first lake_cells of their search lists.
  for (int l = 1; l <= lakes; ++l) {
    chan.lake_in_dv[std::size_t(l)] = 0.0;
    chan.lake_out_dv[std::size_t(l)] = 0.0;
    for (int k = 1; k <= chan.lake_cells[std::size_t(l)]; ++k)
      chan.lake_mask[std::size_t(lake_search_cell(state, l, k))] = l;
  }
  v.offset = lake_offset;
  v.lake = chan.lake_mask.data();
  v.lake_elev = chan.lake_elev.data();

  const bool y_first = sf.ex_parity == 1;
  const int n = v.cells;
  int cuts = 0;
  int stop = 0;
  split_report report;
  for (;;) {
#pragma omp parallel for schedule(static) num_threads(team_for(n, cells_per_thread))
    for (int i = 1; i <= n; ++i) {
      v.depth[i] = v.saved[i];
      v.flux_x[i] = 0.0;
      v.flux_y[i] = 0.0;
    }
    for (int l = 1; l <= lakes; ++l) {
      const std::size_t u = std::size_t(l);
      chan.lake_elev[u] = sf.ex_saved_lake_elev[u];
      chan.lake_volume[u] = sf.ex_saved_lake_volume[u];
      chan.lake_in_dv[u] = 0.0;
      chan.lake_out_dv[u] = 0.0;
    }
    double elapsed = 0.0;
    bool restart = false;
    bool done = false;
    while (!done) {
      ++sf.ex_substeps;
      for (int k = 0; k < 2; ++k) {
        const direction d = direction_of(v, (k == 0) != y_first);
        const int failing = lake_sweep(v, d, s);
        // Once the call has given up cutting, failing faces pass unreported.
        if (stop != 0 || failing == 0) continue;
        if (messages && report.faces == 0) report.first_cell = print_first_lake_failing_face(v, d, s);
        report.faces += failing;
        if (s <= smallest_substep) {
          stop = 1;
        } else if (cuts < max_cuts) {
          s /= cut_divisor;
          print_switched(messages, " *Changing overland time step to %4.2lf seconds...\n", s);
          sf.ex_reduced_substep = s;
          sf.ex_countdown = countdown_calls;
          ++cuts;
          restart = true;
          break;
        } else {
          stop = 1;
          if (messages) {
            std::fputs(" *Time step to small to divide, continuing with current time step\n",
                       stdout);
            std::fflush(stdout);
          }
        }
      }
      if (restart) break;
      add_lake_faces(chan, v, s);
      update_depths(v, s, v.lake);
      elapsed += s;
      done = std::fabs(elapsed - dt) < end_tolerance || elapsed > dt;
    }
    if (!restart) break;
  }
  if (messages) print_split_count(report);
}

// Overland lake l's level, m.
inline double olake_level(const surface_state& sf, int l) {
  return sf.olakes[std::size_t(l)].level;
}

// One pass at the full step with overland lakes, in cell order: the x faces,
// their depth changes, then the y faces from the new depths. A free cell
// beside a lake passes water by its own depth above its retention (a
// wetland by its layered law) on the slope to the lake's level; what crosses
// goes to the lake's dv.
void route_overland_lakes(model_state& state, explicit_view& v, double dt) {
  surface_state& sf = state.surface;
  const int n = v.cells;
  const double area = v.dx * v.dx;
  const int* lake = sf.oland_lake_new.data();
  double* h = v.depth;
  double* dh = sf.depth_change.data();
  v.offset = lake_offset;
  for (int i = 1; i <= n; ++i) dh[i] = 0.0;

  for (int k = 0; k < 2; ++k) {
    const direction d = direction_of(v, k == 0);
    for (int i = 1; i <= n; ++i) {
      d.flux[i] = 0.0;
      if (!face_open(v, d, i)) continue;
      const int j = d.next[i];
      const int li = lake[i];
      const int lj = lake[j];
      if (li > 0 && lj > 0) continue;
      double q = 0.0;
      if (li == 0 && lj == 0) {
        q = unit_flux(v, d, i, j);
        const double dhh = q * dt / v.dx;
        dh[i] -= dhh;
        dh[j] += dhh;
      } else if (lj > 0) {
        const double s =
            floored((h[i] + v.elevation[i] - olake_level(sf, lj)) / v.dx + lake_offset);
        const int wi = wetland_at(v, i);
        if (wi == 0) {
          q = manning_unit(s, h[i] - v.retent_dep[i], v.dist_rough[i]);
        } else {
          const wetland_law w = wetland_law_of(v.wetland_types[wi]);
          q = h[i] - w.d0 > 0.0 ? wetland_blend(w, s, h[i] - w.d0) : w.k1 * s * h[i];
        }
        const double dhh = q * dt / v.dx;
        dh[i] -= dhh;
        sf.olakes[std::size_t(lj)].dv += dhh * area;
      } else {
        const double s =
            floored((olake_level(sf, li) - h[j] - v.elevation[j]) / v.dx + lake_offset);
        const int wj = wetland_at(v, j);
        if (wj == 0) {
          q = manning_unit(s, h[j] - v.retent_dep[j], v.dist_rough[j]);
        } else {
          const wetland_law w = wetland_law_of(v.wetland_types[wj]);
          q = h[j] - w.d0 > 0.0 ? wetland_blend(w, s, h[j] - w.d0) : w.k1 * s * h[j];
        }
        const double dhh = q * dt / v.dx;
        dh[j] += dhh;
        sf.olakes[std::size_t(li)].dv -= dhh * area;
      }
      d.flux[i] = q;
    }
    for (int i = 1; i <= n; ++i) {
      if (lake[i] == 0) h[i] += dh[i];
      dh[i] = 0.0;
    }
  }
}

// Outflow of the outlet cell over the whole step from its final depth, m3:
// Manning's law on the outlet slope through one face of width dx, at most
// the water the cell holds.
double drain_outlet(double& h, double n, double slope, double dx, double dt) {
  if (!(h > 0.0)) return 0.0;
  const double area = dx * dx;
  double volume = std::pow(h, outlet_exponent) * std::sqrt(slope) * dx / n * dt;
  if (volume <= h * area) {
    h -= volume / area;
  } else {
    volume = h * area;
    h = 0.0;
  }
  return volume;
}

// Sizes the saved copies of the channel lakes once a run and copies the
// lakes into them.
void save_channel_lakes(surface_state& sf, const channel_state& chan) {
  const std::size_t lakes = std::size_t(chan.lake_count) + 1;
  if (sf.ex_saved_lake_elev.size() != lakes) {
    sf.ex_saved_lake_elev.assign(lakes, 0.0);
    sf.ex_saved_lake_volume.assign(lakes, 0.0);
    sf.ex_saved_lake_in.assign(lakes, 0.0);
    sf.ex_saved_lake_out.assign(lakes, 0.0);
  }
  for (std::size_t l = 1; l < lakes; ++l) {
    sf.ex_saved_lake_elev[l] = chan.lake_elev[l];
    sf.ex_saved_lake_volume[l] = chan.lake_volume[l];
    sf.ex_saved_lake_in[l] = chan.lake_in_dv[l];
    sf.ex_saved_lake_out[l] = chan.lake_out_dv[l];
  }
}

}  // namespace

double explicit_overland_route(model_state& state, double dt) {
  surface_state& sf = state.surface;
  grid_state& g = state.grid;
  channel_state& chan = state.channel;
  const bool messages = state.input.uniform_rain != 0;

  sf.ex_parity = (sf.ex_parity + 1) % 2;
  double s = dt;
  if (sf.ex_countdown > 0) {
    s = sf.ex_reduced_substep;
    --sf.ex_countdown;
    sf.ex_reset = 1;
  } else if (sf.ex_reset) {
    print_switched(messages, "Resetting time step to %4.2lf for overland flow...\n", dt);
    sf.ex_reset = 0;
  }

  const std::size_t size = std::size_t(g.cells) + 1;
  if (g.slope_x.size() != size || g.slope_y.size() != size) {
    raise_message("Error: the bed slopes of the %d cells have not been set up.\n", g.cells);
    return 0.0;
  }
  // With channel lakes the overland lakes, if any, take no part in the
  // routing.
  const bool channel_lakes = chan.channel_lakes != 0;
  const bool overland_lakes = !channel_lakes && sf.overland_lakes != 0;
  if ((channel_lakes && !channel_lakes_ready(state)) ||
      (overland_lakes && (sf.oland_lake_new.size() != size ||
                          sf.olakes.size() <= std::size_t(sf.olake_count)))) {
    raise_message("Error: the lake arrays of the %d cells have not been set up.\n", g.cells);
    return 0.0;
  }

  explicit_view v = view_of(state);
  bool in_m3 = false;
  if (channel_lakes) {
    copy_depths(v.cells, v.depth, v.saved);
    save_channel_lakes(sf, chan);
    route_channel_lakes(state, v, dt, s, messages);
  } else if (overland_lakes) {
    copy_depths(v.cells, v.depth, v.saved);
    route_overland_lakes(state, v, dt);
  } else {
    in_m3 = route_plain(sf, v, dt, s, messages);
  }

  apply_low_spots(state, dt);

  double volume = 0.0;
  const int outlet = state.input.channel_routing ? 0 : g.outlet_cell;
  if (outlet > 0) {
    volume = drain_outlet(v.depth[outlet], sf.dist_rough[outlet], g.outlet_slope, g.dx, dt);
  }

  if (in_m3) return volume;
  const int n = v.cells;
  const double dx = g.dx;
#pragma omp parallel for schedule(static) num_threads(team_for(n, cells_per_thread))
  for (int i = 1; i <= n; ++i) {
    v.flux_x[i] *= dx;
    v.flux_y[i] *= dx;
  }
  return volume;
}
