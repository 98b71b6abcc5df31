// The ADE overland router. Without lakes every per-cell loop is a static
// parallel loop over cells 1..N that writes only its own cells, and the only
// reductions are a bitwise or of the check codes and counts, so the depths
// after a step do not depend on the thread count. The sub-step logic and the
// outlet run on the calling thread.
//
// With lakes both schemes make one pass at the full step, and a lake cell
// hands the fluxes through its faces with free cells to its lake instead of
// changing its depth. The overland-lake paths run in cell order on the
// calling thread; the channel-lake paths update the free cells in parallel
// and add the lake sums in cell order afterwards, so the lake volumes too
// come out the same on any number of threads.

#include "surface/ade_route.h"

#include <omp.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "core/error_state.h"
#include "run/model_state.h"
#include "surface/face_fluxes.h"
#include "surface/face_law.h"
#include "surface/cell_loops.h"
#include "surface/lowspots.h"

namespace {

constexpr double min_substep = 0.001;   // s; below it the step cannot be routed
constexpr double small_negative = 1e-5; // m; shallower negative depths are set to 0

// Normal-depth discharge (m3/s) out of the outlet cell through one face of
// width dx at depth d (m) on the outlet slope; nothing leaves a dry cell.
double outlet_discharge(double d, double n, double slope, double dx) {
  return d > 0.0 ? manning_power(d) / n * std::sqrt(slope) * dx : 0.0;
}

// Takes discharge x s out of the outlet cell's depth, capped at the water it
// holds; returns the volume taken, m3. A depth that is not a number is left
// for the overland step's check to report.
double drain_outlet(double& depth, double discharge, double s, double area) {
  if (!(depth > 0.0)) return 0.0;
  double v = discharge * s;
  if (v / area <= depth) {
    depth -= v / area;
  } else {
    v = depth * area;
    depth = 0.0;
  }
  return v;
}

// What both schemes need of the record, fetched once per call.
struct route_view {
  int cells;
  double dx;
  double area;
  face_inputs faces;
  const int* rightcon;
  const int* belowcon;
  const int* leftcon;
  const int* abovecon;
  double* depth;
  double* flux_x;
  double* flux_y;
  double* depth_change;
  int outlet;           // outlet cell drained here, 0 with channel routing on
  double outlet_n;      // its Manning n
  double outlet_slope;  // m/m
};

route_view view_of(model_state& state) {
  grid_state& g = state.grid;
  surface_state& sf = state.surface;
  route_view v{};
  v.cells = g.cells;
  v.dx = g.dx;
  v.area = g.dx * g.dx;
  v.faces = face_inputs_of(state);
  v.rightcon = g.rightcon.data();
  v.belowcon = g.belowcon.data();
  v.leftcon = g.leftcon.data();
  v.abovecon = g.abovecon.data();
  v.depth = sf.depth.data();
  v.flux_x = sf.flux_x.data();
  v.flux_y = sf.flux_y.data();
  v.depth_change = sf.depth_change.data();
  v.outlet = state.input.channel_routing ? 0 : g.outlet_cell;
  v.outlet_n = v.outlet > 0 ? sf.dist_rough[v.outlet] : 0.0;
  v.outlet_slope = g.outlet_slope;
  return v;
}

void sweep(const route_view& v, bool x, const double* depth) {
  if (x) {
    ov_flux_sweep_x(v.faces, depth, v.rightcon, v.flux_x);
  } else {
    ov_flux_sweep_y(v.faces, depth, v.belowcon, v.flux_y);
  }
}

// One direction's faces: the neighbour across the face, the neighbour on
// the other side, the closing dike bit and the flux array.
struct faces_of {
  const int* next;
  const int* up;
  int closed_side;
  double* flux;
};

faces_of faces_in(const route_view& v, bool x) {
  return x ? faces_of{v.rightcon, v.leftcon, dike_right, v.flux_x}
           : faces_of{v.belowcon, v.abovecon, dike_bottom, v.flux_y};
}

// The single-pass kernels below rely on the cells being numbered in grid
// order, as the mask numbers them; the order and the reach of the faces
// (grid_order) are found once, when the work arrays are sized.

// A face's flux from the depths h: the law without lakes, closed by a
// missing neighbour or a dike side.
template <bool extras>
inline double face_at(const face_inputs& in, const double* h, int i, int j, int closed_side) {
  return ov_face::face_closed(in, i, j, closed_side) ? 0.0
                                                     : ov_face::face_law<extras>(in, h, i, j);
}

// Cells whose faces a pass computes together before it applies them.
constexpr int face_block = power_block;

// The terms of the law without extras at the faces of cells b0..b0+count-1
// whose far cells are far[k], or, when shifted, the cells shift places on:
// there the far cells' values are read as a run of memory instead of cell
// by cell. Branches would serialise the divisions and square roots of the
// faces, so every face takes the same arithmetic: a closed face reads its
// own cell on both sides, whose slope of 0 gives no flow, and each side's
// values are selected rather than branched to. g is the depth the power
// takes (any, where nothing flows), then the roughness's inverse, the
// slope's root and the flow's sign, each 0 where nothing flows.
template <bool shifted>
[[gnu::always_inline]] inline void face_terms(const face_inputs& in, const double* h,
                                              const int* far, int shift, int b0, int count,
                                              double* g, double* c, double* root, double* sign) {
  const double* z = in.elevation;
  const double* retent = in.retent_dep;
  const double* rough = in.dist_rough;
#pragma omp simd
  for (int k = 0; k < count; ++k) {
    const int i = b0 + k;
    const int j = shifted ? i + shift : far[k];
    const double hi = h[i];
    const double hj = h[j];
    const double slope = ((hi + z[i]) - (hj + z[j])) / in.dx;
    // Both sides are read and one chosen by bit masks, not branches: the
    // compiler keeps a load or an operation under a condition out of vector
    // lanes.
    const double depth_i = hi - retent[i];
    const double depth_j = hj - retent[j];
    const double slope_root = std::sqrt(std::fabs(slope));
    const bool from_i = slope > 0.0;
    const double depth = pick(from_i, depth_i, depth_j);
    const double inverse = 1.0 / pick(from_i, rough[i], rough[j]);
    // Equal stages, a stage that is not a number, or a dry upstream cell.
    const bool flows = ((slope > 0.0) | (slope < 0.0)) & (depth > 0.0);
    g[k] = pick(flows, depth, 1.0);
    c[k] = pick(flows, inverse, 0.0);
    root[k] = pick(flows, slope_root, 0.0);
    sign[k] = pick(flows, pick(from_i, 1.0, -1.0), 0.0);
  }
}

// The fluxes of the law without extras through the faces of cells b0..b1
// (at most face_block of them) from the depths h, into raw[i - b0]; faces
// whose far cell lies beyond last are left out. Each flux is still
// g^(5/3) x (1/n) x sqrt(|S|) x dx in that order, as face_law gives it, to
// the bit.
VALTO_WIDE_VECTORS
void plain_faces(const face_inputs& in, const faces_of& f, const double* h, int b0, int b1,
                 int last, double* raw) {
  const int* dike = in.dike_mask;
  int far[face_block];
  double g[face_block];
  double c[face_block];
  double root[face_block];
  double sign[face_block];
  const int count = b1 - b0 + 1;
  if (dike == nullptr) {
#pragma omp simd
    for (int k = 0; k < count; ++k) {
      const int j = f.next[b0 + k];
      far[k] = ((j != 0) & (j <= last)) ? j : b0 + k;
    }
  } else {
#pragma omp simd
    for (int k = 0; k < count; ++k) {
      const int i = b0 + k;
      const int j = f.next[i];
      far[k] = ((j != 0) & (j <= last) & ((dike[i] & f.closed_side) == 0)) ? j : i;
    }
  }
  // Mostly a block's far cells lie a fixed number of places on: a row of
  // open faces across or down a grid in grid order.
  const int shift = count > 0 ? far[0] - b0 : 0;
  int apart = 0;
#pragma omp simd reduction(| : apart)
  for (int k = 0; k < count; ++k) apart |= far[k] - (b0 + k) - shift;
  if (shift != 0 && apart == 0) {
    face_terms<true>(in, h, far, shift, b0, count, g, c, root, sign);
  } else {
    face_terms<false>(in, h, far, shift, b0, count, g, c, root, sign);
  }
  double power[face_block];
  manning_powers(g, count, power);
#pragma omp simd
  for (int k = 0; k < count; ++k) {
    // A closed or dry face has c = root = 0, so q = +0 and so is q x 0.
    raw[k] = power[k] * c[k] * root[k] * in.dx * sign[k];
  }
}

// One pass over a direction's faces in cell order: q[i] = combine(i, the
// face's flux from the depths h) for every cell, then apply(b0, b1) on each
// block of cells b0..b1, which may read q[up[i]]. Each thread takes a
// contiguous share of the cells; the faces whose far cell belongs to a
// later share are computed first, before the barrier, from depths no thread
// has changed yet; cells in grid order keep them within reach of the
// share's last cell. The faces of a block of cells are computed before the
// block is applied: a face reads only its own cell and its far cell,
// neither of them applied yet. Returns the bitwise or of what apply
// returns.
template <bool extras, class Combine, class Apply>
int faces_in_cell_order(const route_view& v, const faces_of& f, int reach, const double* h,
                        double* q, Combine combine, Apply apply) {
  const int n = v.cells;
  const face_inputs& in = v.faces;
  int bits = 0;
#pragma omp parallel reduction(| : bits) num_threads(sweep_team(n))
  {
    int first = 0;
    int last = 0;
    thread_cells(n, omp_get_thread_num(), omp_get_num_threads(), first, last);
    for (int i = std::max(first, last - reach + 1); i <= last; ++i)
      if (f.next[i] > last) q[i] = combine(i, face_at<extras>(in, h, i, f.next[i], f.closed_side));
#pragma omp barrier
    double raw[face_block];
    for (int b0 = first; b0 <= last; b0 += face_block) {
      const int b1 = std::min(last, b0 + face_block - 1);
      if constexpr (extras) {
        for (int i = b0; i <= b1; ++i)
          raw[i - b0] = f.next[i] > last ? 0.0 : face_at<true>(in, h, i, f.next[i], f.closed_side);
      } else {
        plain_faces(in, f, h, b0, b1, last, raw);
      }
      for (int i = b0; i <= b1; ++i)
        if (f.next[i] <= last) q[i] = combine(i, raw[i - b0]);
      bits |= apply(b0, b1);
    }
  }
  return bits;
}

// What a cell's depth update reports, as bits a sweep ors together.
constexpr int large_change_bit = 1;     // a change over half of a depth above 1 cm
constexpr int negative_bit = 2;         // a depth left below zero
constexpr int cleared_bit = 4;          // a small negative depth cleared
constexpr int handed_negative_bit = 8;  // a depth handed in below -1e-16 m

// A sweep's code from its bits: start the step again without the depths
// handed in below zero (3), with half the sub-step (2), halve the next
// sub-step (1), or go on (0). *cleared_count grows by 1 when any cell was
// cleared.
int sweep_code(int bits, int* cleared_count) {
  if ((bits & cleared_bit) != 0) ++*cleared_count;
  if ((bits & handed_negative_bit) != 0) return 3;
  return (bits & negative_bit) != 0 ? 2 : (bits & large_change_bit);
}

// One cell's depth after a sweep's change d over a sub-step of s seconds,
// with old the depth the large-change test holds it against: a small
// negative depth is cleared (the water owed added to cleared), a larger one
// is kept and flagged, and a change over half of a depth above 1 cm flags
// the sub-step as too long.
inline int step_cell(double& depth, double d, double old, double s, double& cleared) {
  int bits = 0;
  double h = depth + d;
  if (h < 0.0) {
    if (s >= min_substep && h > -small_negative) {
      cleared -= h;
      bits |= cleared_bit;
      h = 0.0;
    } else {
      bits |= negative_bit;
    }
  }
  if (h >= 0.0 && std::fabs(d) > 0.5 * old && old > 0.01 && s > 0.1) bits |= large_change_bit;
  depth = h;
  return bits;
}

// What a scheme-2 sweep applies to a block of cells: the face fluxes q, the
// up table, the depths and their changes (null when not stored), the face
// volumes and cleared water, r = s / dx^2 over a sub-step of s seconds, and
// the outlet with its depth before the sweep.
struct depth_step {
  const double* q;
  const int* up;
  double* h;
  double* dh;
  double* vol;
  double* cleared;
  double r;
  double s;
  int outlet;
  double outlet_before;
  bool fresh;  // the sub-step is the step's first: the volumes start at 0, unread
  double* save = nullptr;  // the depths before the pass go here, when given
};

// step_cell on cells i0..i1 (at most face_block of them), with the changes
// stored when store is set; returns the bitwise or of its bits. The common
// case, no depth below zero, runs in vector lanes on every cell; a block
// where some depth went below zero then takes step_cell's way on those
// cells, from the depths it kept. With p.save given, the depths are first
// saved there, and bit 8 tells of a depth handed in below -1e-16 m.
template <bool store, bool fresh>
[[gnu::always_inline]] inline int step_cells(const depth_step& p, int i0, int i1) {
  const double* q = p.q;
  const int* up = p.up;
  double* h = p.h;
  double* dh = p.dh;
  double* vol = p.vol;
  const double r = p.r;
  const double s = p.s;
  double before[face_block];
  // Counted as doubles, 0 or 1 a cell, so that the tests stay in the
  // lanes of the depths.
  double low = 0.0;
  double large = 0.0;
  double handed_negative = 0.0;
  if (p.save != nullptr) {
#pragma omp simd reduction(+ : handed_negative)
    for (int i = i0; i <= i1; ++i) {
      p.save[i] = h[i];
      handed_negative += h[i] < -1e-16 ? 1.0 : 0.0;
    }
  }
#pragma omp simd reduction(+ : low, large)
  for (int i = i0; i <= i1; ++i) {
    const double qi = q[i];
    const double d = (q[up[i]] - qi) * r;
    if constexpr (store) dh[i] = d;
    const double depth = h[i];
    const double after = depth + d;
    before[i - i0] = depth;
    h[i] = after;
    if constexpr (fresh) {
      vol[i] = 0.0 + qi * s;
    } else {
      vol[i] += qi * s;
    }
    low += after < 0.0 ? 1.0 : 0.0;
    large += ((after >= 0.0) & (std::fabs(d) > 0.5 * depth) & (depth > 0.01)) ? 1.0 : 0.0;
  }
  // The outlet holds its change against its depth before the drain, not
  // the depth the loop held it against.
  if (p.outlet >= i0 && p.outlet <= i1 && h[p.outlet] >= 0.0) {
    const int i = p.outlet;
    const double d = (q[up[i]] - q[i]) * r;
    const double depth = before[i - i0];
    if ((std::fabs(d) > 0.5 * depth) & (depth > 0.01)) large -= 1.0;
    if ((std::fabs(d) > 0.5 * p.outlet_before) & (p.outlet_before > 0.01)) large += 1.0;
  }
  int bits = large > 0.0 && s > 0.1 ? large_change_bit : 0;
  if (handed_negative > 0.0) bits |= handed_negative_bit;
  if (low == 0.0) return bits;
  for (int i = i0; i <= i1; ++i) {
    if (!(h[i] < 0.0)) continue;
    const double d = (q[up[i]] - q[i]) * r;
    const double old = i == p.outlet ? p.outlet_before : before[i - i0];
    h[i] = before[i - i0];
    bits |= step_cell(h[i], d, old, s, p.cleared[i]);
  }
  return bits;
}

VALTO_WIDE_VECTORS
int step_block(const depth_step& p, int i0, int i1) {
  if (p.fresh)
    return p.dh != nullptr ? step_cells<true, true>(p, i0, i1) : step_cells<false, true>(p, i0, i1);
  return p.dh != nullptr ? step_cells<true, false>(p, i0, i1) : step_cells<false, false>(p, i0, i1);
}

// step_block on cells i0..i1 of any length, a block at a time.
int step_range(const depth_step& p, int i0, int i1) {
  int bits = 0;
  for (int b0 = i0; b0 <= i1; b0 += face_block)
    bits |= step_block(p, b0, std::min(i1, b0 + face_block - 1));
  return bits;
}

// One direction of a scheme-2 sub-step of s seconds in one pass over the
// cells: each face's flux from the depths before the sweep, then the depth
// update and checks of ade_depth_check, with before[i] taken as the cell's
// depth except at the outlet, which the sub-step's drain has lowered since
// (outlet_before). The depth changes are stored only when store_change is
// set, for the last sweep of the step, which is the one they must show.
// *cleared_count grows by 1 when any cell was cleared.
template <bool extras>
int route_direction(const route_view& v, const faces_of& f, int reach, double s,
                    double outlet_before, bool store_change, bool fresh, double* save,
                    double* vol, double* cleared, int* cleared_count) {
  const depth_step p{f.flux,  f.up, v.depth,  store_change ? v.depth_change : nullptr,
                     vol,     cleared, s / (v.dx * v.dx), s, v.outlet, outlet_before, fresh,
                     save};
  const int bits = faces_in_cell_order<extras>(
      v, f, reach, v.depth, f.flux, [](int, double qi) { return qi; },
      [&p](int b0, int b1) { return step_block(p, b0, b1); });
  return sweep_code(bits, cleared_count);
}

// Both directions of a scheme-2 sub-step in one pass over memory, for runs
// whose faces follow the law without extras: the second direction (b)
// trails the first (a) by the reach of its faces, so that each cell's depth,
// elevation, retention and roughness are read once a sub-step instead of
// once a direction, and every face and depth takes the arithmetic of
// route_direction to the bit.
//
// A b face needs both its cells after their a update and before their b
// update, and a cell's b update needs the b face of the cell before it. In
// a thread's share those hold in the trailing order; across shares the
// share's first reach_b cells (whose upper faces may belong to the share
// before) and last reach_b cells (whose lower faces may cross into the next
// share) keep their b update for after the faces that cross are taken,
// between two barriers.
struct fused_plan {
  bool ok;   // every share is long enough for the trailing order
  int lag;   // cells by which the b pass trails the a pass
};

// The trailing pass pays where memory is the limit, on a team of threads;
// one thread is held by its arithmetic, and the second stream of cells a
// row behind only costs it.
fused_plan fused_plan_of(int cells, int reach_a, int reach_b) {
  const int threads = sweep_team(cells);
  const int shortest = cells / std::max(threads, 1);
  const int lag = std::max(reach_b, 1);
  return {threads > 1 && reach_a >= 1 && shortest >= 2 * lag + 2 * face_block, lag};
}

int route_both_directions(const route_view& v, const faces_of& fa, const faces_of& fb,
                          int reach_a, const fused_plan& plan, double s, double outlet_before,
                          bool store_change, bool fresh, double* save, double* vol_a,
                          double* vol_b, double* cleared, int* cleared_count) {
  const int n = v.cells;
  const face_inputs& in = v.faces;
  double* h = v.depth;
  const double r = s / (v.dx * v.dx);
  // The a sweep holds the outlet against its depth before the sub-step's
  // drain; the b sweep against its depth after the a sweep, its own.
  const depth_step pa{fa.flux, fa.up,   h, nullptr, vol_a, cleared, r, s, v.outlet, outlet_before,
                      fresh,   save};
  const depth_step pb{fb.flux, fb.up,   h, store_change ? v.depth_change : nullptr,
                      vol_b,   cleared, r, s,
                      0,       0.0,     fresh};
  const int lag = plan.lag;
  int bits = 0;
#pragma omp parallel reduction(| : bits) num_threads(sweep_team(n))
  {
    int first = 0;
    int last = 0;
    thread_cells(n, omp_get_thread_num(), omp_get_num_threads(), first, last);
    const int head_end = first + lag - 1;  // b updates kept back: first..head_end
    const int tail_start = last - lag + 1;  // and tail_start..last
    for (int i = std::max(first, last - reach_a + 1); i <= last; ++i)
      if (fa.next[i] > last) fa.flux[i] = face_at<false>(in, h, i, fa.next[i], fa.closed_side);
#pragma omp barrier
    double raw[face_block];
    // The b faces of cells c0..c1 and the b updates of those not kept back.
    const auto b_block = [&](int c0, int c1) {
      plain_faces(in, fb, h, c0, c1, last, raw);
      for (int i = c0; i <= c1; ++i)
        if (fb.next[i] <= last) fb.flux[i] = raw[i - c0];
      const int u0 = std::max(c0, head_end + 1);
      const int u1 = std::min(c1, tail_start - 1);
      if (u0 <= u1) bits |= step_block(pb, u0, u1);
    };
    int b_done = first - 1;  // the b pass has taken cells up to here
    for (int b0 = first; b0 <= last; b0 += face_block) {
      const int b1 = std::min(last, b0 + face_block - 1);
      plain_faces(in, fa, h, b0, b1, last, raw);
      for (int i = b0; i <= b1; ++i)
        if (fa.next[i] <= last) fa.flux[i] = raw[i - b0];
      bits |= step_block(pa, b0, b1);
      // Cells up to b1 - lag have every b neighbour through their a update.
      while (b_done < b1 - lag) {
        const int c0 = b_done + 1;
        const int c1 = std::min(b1 - lag, c0 + face_block - 1);
        b_block(c0, c1);
        b_done = c1;
      }
    }
    while (b_done < last) {
      const int c0 = b_done + 1;
      const int c1 = std::min(last, c0 + face_block - 1);
      b_block(c0, c1);
      b_done = c1;
    }
#pragma omp barrier
    // The b faces that cross into the next share, whose first cells still
    // hold their depths after the a sweep.
    for (int i = tail_start; i <= last; ++i)
      if (fb.next[i] > last) fb.flux[i] = face_at<false>(in, h, i, fb.next[i], fb.closed_side);
#pragma omp barrier
    bits |= step_range(pb, first, head_end);
    bits |= step_range(pb, tail_start, last);
  }
  return sweep_code(bits, cleared_count);
}

// Incoming depths below -1e-16 m are reported cell by cell and set to 0,
// with their saved copies; the water so made is booked as cleanup.
void clear_negative_inflow_depths(const route_view& v, surface_state& sf) {
  for (int i = 1; i <= v.cells; ++i) {
    if (!(v.depth[i] < -1e-16)) continue;
    char line[160];
    std::snprintf(line, sizeof line,
                  "A negative number for water depth has been sent to overland routing for "
                  "overland cell %d \nValue being set to zero\n",
                  i);
    print_message(summary_file, line);
    sf.cleanup_volume -= v.depth[i] * v.area;
    v.depth[i] = 0.0;
    sf.saved_depth[i] = 0.0;
    sf.sweep_depth[i] = 0.0;
  }
}

// One direction of a scheme-2 sub-step: the single pass when the cells are
// in grid order, else the sweep and the separate depth check. fresh marks
// the step's first sub-step, whose single pass writes the face volumes
// without reading them; the depth check adds to volumes set to 0. save,
// given to the single pass only, takes the depths before the pass; the
// return is 3 when one of them was below -1e-16 m.
int route_substep_direction(const route_view& v, const grid_order& order, bool x, double s,
                            double outlet_before, bool store_change, bool fresh, double* save,
                            double* before, double* vol, double* cleared, int* cleared_count) {
  if (!order.ok) {
    sweep(v, x, v.depth);
    return ade_depth_check(v.cells, v.depth, v.depth_change, before, x ? v.flux_x : v.flux_y,
                           x ? v.leftcon : v.abovecon, v.dx, s, vol, cleared, cleared_count);
  }
  const faces_of f = faces_in(v, x);
  const int reach = x ? order.reach_x : order.reach_y;
  return ov_face::has_extras(v.faces)
             ? route_direction<true>(v, f, reach, s, outlet_before, store_change, fresh, save,
                                     vol, cleared, cleared_count)
             : route_direction<false>(v, f, reach, s, outlet_before, store_change, fresh, save,
                                      vol, cleared, cleared_count);
}

// Scheme 2: adaptive sub-steps, restarted from the depths of the start of the
// step with half the sub-step whenever a depth goes negative.
double route_adaptive(model_state& state, const route_view& v, double dt) {
  surface_state& sf = state.surface;
  const int n = v.cells;
  double* h = v.depth;
  double* saved = sf.saved_depth.data();
  double* vol_x = sf.vol_x.data();
  double* vol_y = sf.vol_y.data();
  double* cleared = sf.cleared_depth.data();
  const grid_order& order = sf.cell_order;
  // The separate depth check keeps each cell's depth before the sweep; the
  // single pass reads it from the depth itself.
  double* before = order.ok ? nullptr : sf.sweep_depth.data();

  // The sub-step carries over from the last call: halved after a large
  // change, doubled while two of it still fit the step.
  double m = dt;
  if (sf.ade_calls > 1 && dt - sf.ade_substep > 0.001) m = sf.ade_substep;
  if (sf.ade_check == 1) {
    m *= 0.5;
  } else if (dt - 2.0 * m > -1e-16) {
    m *= 2.0;
  }

  // The single pass writes the face volumes of the step's first sub-step
  // without reading them, and its first sweep saves the depths it starts
  // from and tells of any handed in below zero: then the step starts again
  // from the saved depths, those cleared as they would have been before any
  // routing. The depth check adds to volumes set to 0 here, and keeps its
  // depths before the sweep.
  const bool zero_volumes = !order.ok || !(dt > 1e-16);
  double* save_start = zero_volumes ? nullptr : saved;
  if (zero_volumes) {
    int negatives = 0;
#pragma omp parallel for schedule(static) reduction(+ : negatives) \
    num_threads(team_for(n, cells_per_thread))
    for (int i = 1; i <= n; ++i) {
      saved[i] = h[i];
      if (before != nullptr) before[i] = h[i];
      vol_x[i] = 0.0;
      vol_y[i] = 0.0;
      if (h[i] < -1e-16) ++negatives;
    }
    if (negatives > 0) clear_negative_inflow_depths(v, sf);
  }

  const bool x_first = sf.sweep_parity == 1;
  const faces_of first_faces = faces_in(v, x_first);
  const faces_of second_faces = faces_in(v, !x_first);
  const int first_reach = x_first ? order.reach_x : order.reach_y;
  const fused_plan plan =
      order.ok && !ov_face::has_extras(v.faces)
          ? fused_plan_of(n, first_reach, x_first ? order.reach_y : order.reach_x)
          : fused_plan{false, 0};
  bool restarted = false;
  bool handed_negative = false;  // the first sweep met a depth below zero
  int cleared_cells = 0;
  for (;;) {
    sf.ade_check = 0;
    if (m < min_substep) {
      raise_message(
          "The ADE overland routing time step is getting really small\n"
          "less than 1/100 of a second\n"
          "Reduce the model time step by a factor of 2 and try again.\n"
          "Program stopped.\n");
      // A stopped step leaves no face volumes, as before any was written.
      std::fill(vol_x + 1, vol_x + n + 1, 0.0);
      std::fill(vol_y + 1, vol_y + n + 1, 0.0);
      return ade_route_failed;
    }
    if (restarted) {
#pragma omp parallel for schedule(static) num_threads(team_for(n, cells_per_thread))
      for (int i = 1; i <= n; ++i) {
        h[i] = saved[i];
        if (before != nullptr) before[i] = saved[i];
        if (zero_volumes) {
          vol_x[i] = 0.0;
          vol_y[i] = 0.0;
        }
      }
      if (cleared_cells > 0) {
#pragma omp parallel for schedule(static) num_threads(team_for(n, cells_per_thread))
        for (int i = 1; i <= n; ++i) cleared[i] = 0.0;
        cleared_cells = 0;
      }
      if (handed_negative) {
        clear_negative_inflow_depths(v, sf);
        handed_negative = false;
      }
    }

    double outlet_volume = 0.0;
    // The outlet's depth before the coming sweep; its drain does not count
    // as a change of the sweep.
    double outlet_before = v.outlet > 0 ? h[v.outlet] : 0.0;
    double remaining = dt;
    restarted = false;
    bool fresh = true;  // the coming sub-step is the attempt's first
    while (remaining > 1e-16) {
      if (sf.ade_check == 1) m *= 0.5;
      double s = m;
      remaining -= m;
      // The last sub-step absorbs a rest shorter than half a sub-step.
      if (remaining < 0.5 * m) {
        s += remaining;
        remaining = 0.0;
      }
      sf.ade_check = 0;
      sf.ade_substep = m;
      ++sf.ade_substeps;
      // What a sweep's code asks: start the step again without the depths
      // handed in below zero (3), with half the sub-step (2), or halve the
      // next sub-step after a large change (1).
      const auto take_code = [&](int code) {
        if (v.outlet > 0) outlet_before = h[v.outlet];
        if (code == 3) {
          handed_negative = true;
          restarted = true;
        } else if (code == 2) {
          m = s * 0.5;
          sf.ade_cuts.add(m);
          restarted = true;
        } else if (code > sf.ade_check) {
          sf.ade_check = code;
        }
      };
      if (plan.ok) {
        take_code(route_both_directions(
            v, first_faces, second_faces, first_reach, plan, s, outlet_before, remaining == 0.0,
            fresh, save_start, x_first ? vol_x : vol_y, x_first ? vol_y : vol_x, cleared,
            &cleared_cells));
      }
      for (int k = 0; k < 2 && !restarted && !plan.ok; ++k) {
        const bool x = (k == 0) == x_first;
        const bool store_change = k == 1 && remaining == 0.0;
        take_code(route_substep_direction(v, order, x, s, outlet_before, store_change, fresh,
                                          k == 0 ? save_start : nullptr, before,
                                          x ? vol_x : vol_y, cleared, &cleared_cells));
      }
      if (handed_negative) --sf.ade_substeps;  // the sub-step was not routed
      if (restarted) break;
      fresh = false;
      save_start = nullptr;  // the step's depths are saved
      m = s;
      if (v.outlet > 0) {
        double& ho = h[v.outlet];
        outlet_volume +=
            drain_outlet(ho, outlet_discharge(ho, v.outlet_n, v.outlet_slope, v.dx), s, v.area);
      }
    }
    if (restarted) continue;

    if (cleared_cells > 0) {
      sf.cleanup_volume +=
          ordered_cell_sum(n, sf.block_sums.data(), [cleared](int i) { return cleared[i]; }) *
          v.area;
#pragma omp parallel for schedule(static) num_threads(team_for(n, cells_per_thread))
      for (int i = 1; i <= n; ++i) cleared[i] = 0.0;
    }
    return outlet_volume;
  }
}

// The scheme-3 depth updates of cells b0..b1, in vector lanes: the
// predicted depths from the first fluxes q, and the corrected depths (and
// their changes, when dh is not null) from the mean fluxes.
VALTO_WIDE_VECTORS
void predict_cells(const double* h, const double* q, const int* up, double r, double* hp, int b0,
                   int b1) {
#pragma omp simd
  for (int i = b0; i <= b1; ++i) hp[i] = h[i] + (q[up[i]] - q[i]) * r;
}

VALTO_WIDE_VECTORS
void correct_cells(const double* q, const int* up, double r, double* h, double* dh, int b0,
                   int b1) {
  if (dh != nullptr) {
#pragma omp simd
    for (int i = b0; i <= b1; ++i) {
      const double d = (q[up[i]] - q[i]) * r;
      dh[i] = d;
      h[i] += d;
    }
    return;
  }
#pragma omp simd
  for (int i = b0; i <= b1; ++i) h[i] += (q[up[i]] - q[i]) * r;
}

// The predictor of one scheme-3 direction in one pass: copy takes each
// face's flux from the depths h, hp the depths that flux gives over the
// step (r = dt / dx^2).
template <bool extras>
void predict_direction(const route_view& v, const faces_of& f, int reach, double r, double* hp,
                       double* copy) {
  const double* h = v.depth;
  faces_in_cell_order<extras>(
      v, f, reach, h, copy, [](int, double qi) { return qi; },
      [&](int b0, int b1) {
        predict_cells(h, copy, f.up, r, hp, b0, b1);
        return 0;
      });
}

// The corrector of one scheme-3 direction in one pass: each face's flux is
// the mean of its flux from hp and its predictor flux (copy), and the depths
// change by that mean over the step. The depth changes are stored for the
// last direction only, the one they must show.
template <bool extras>
void correct_direction(const route_view& v, const faces_of& f, int reach, double r,
                       const double* hp, const double* copy, bool store_change) {
  double* h = v.depth;
  const double* q = f.flux;
  double* dh = v.depth_change;
  faces_in_cell_order<extras>(
      v, f, reach, hp, f.flux, [&](int i, double qi) { return (qi + copy[i]) * 0.5; },
      [&](int b0, int b1) {
        correct_cells(q, f.up, r, h, store_change ? dh : nullptr, b0, b1);
        return 0;
      });
}

// Scheme 3: one pass at the full step, each direction predicted on the
// depths the sweep starts from and corrected with the mean of the two
// sweeps' fluxes. The outlet is drained in the y pass only, half a step's
// outflow from the predicted and from the corrected depth.
double route_predictor_corrector(model_state& state, const route_view& v, double dt) {
  surface_state& sf = state.surface;
  const int n = v.cells;
  const double r = dt / v.area;
  double* h = v.depth;
  double* hp = sf.depth_pred.data();
  double* copy = sf.flux_copy.data();
  double* dh = v.depth_change;
  const bool y_first = sf.sweep_parity == 1;
  const grid_order& order = sf.cell_order;
  const bool extras = ov_face::has_extras(v.faces);
  double outlet_volume = 0.0;

  for (int k = 0; k < 2; ++k) {
    const bool x = (k == 0) != y_first;
    double* q = x ? v.flux_x : v.flux_y;
    const int* up = x ? v.leftcon : v.abovecon;
    const faces_of f = faces_in(v, x);
    const int reach = x ? order.reach_x : order.reach_y;

    if (order.ok) {
      if (extras) {
        predict_direction<true>(v, f, reach, r, hp, copy);
      } else {
        predict_direction<false>(v, f, reach, r, hp, copy);
      }
    } else {
      sweep(v, x, h);
#pragma omp parallel for schedule(static) num_threads(team_for(n, cells_per_thread))
      for (int i = 1; i <= n; ++i) {
        hp[i] = h[i] + (q[up[i]] - q[i]) * r;
        copy[i] = q[i];
      }
    }
    if (!x && v.outlet > 0) {
      double& o = hp[v.outlet];
      o -= outlet_discharge(o, v.outlet_n, v.outlet_slope, v.dx) * 0.5 * r;
    }

    if (order.ok) {
      if (extras) {
        correct_direction<true>(v, f, reach, r, hp, copy, k == 1);
      } else {
        correct_direction<false>(v, f, reach, r, hp, copy, k == 1);
      }
    } else {
      sweep(v, x, hp);
#pragma omp parallel for schedule(static) num_threads(team_for(n, cells_per_thread))
      for (int i = 1; i <= n; ++i) q[i] = (q[i] + copy[i]) * 0.5;
#pragma omp parallel for schedule(static) num_threads(team_for(n, cells_per_thread))
      for (int i = 1; i <= n; ++i) {
        const double d = (q[up[i]] - q[i]) * r;
        dh[i] = d;
        h[i] += d;
      }
    }
    if (!x && v.outlet > 0) {
      double& o = h[v.outlet];
      outlet_volume +=
          drain_outlet(o, outlet_discharge(o, v.outlet_n, v.outlet_slope, v.dx) * 0.5, dt, v.area);
    }
  }
  return outlet_volume;
}

// Takes the outlet's normal-depth outflow over dt seconds, Q taken at the
// depth before the update d (m) is added, out of a lake-path step: at most
// the water the cell holds once d is in. Returns the volume taken, m3.
double drain_lake_path_outlet(const route_view& v, double& depth, double d, double q, double dt) {
  depth += d;
  const double held = std::max(depth, 0.0) * v.area;  // m3
  const double taken = std::min(q * dt, held);
  depth -= taken / v.area;
  return taken;
}

// Overland lakes, scheme 2: one pass at the full step in cell order. A free
// cell's depth changes by its faces' divergence; a lake cell adds what
// enters through its upper (left) face from a free cell to its lake's dv and
// takes off what leaves through its lower (right) face to a free cell.
double route_olake_adaptive(model_state& state, const route_view& v, double dt) {
  surface_state& sf = state.surface;
  const int n = v.cells;
  const double r = dt / v.area;
  const int* lake = sf.oland_lake_new.data();
  olake_record* lakes = sf.olakes.data();
  double* h = v.depth;
  double* dh = v.depth_change;
  const bool y_first = sf.sweep_parity == 1;
  double outlet_volume = 0.0;

  for (int k = 0; k < 2; ++k) {
    const bool x = (k == 0) != y_first;
    const double* q = x ? v.flux_x : v.flux_y;
    const int* up = x ? v.leftcon : v.abovecon;
    const int* down = x ? v.rightcon : v.belowcon;
    sweep(v, x, h);
    for (int i = 1; i <= n; ++i) {
      const int l = lake[i];
      if (l == 0) {
        const double d = (q[up[i]] - q[i]) * r;
        if (x && i == v.outlet) {
          const double qo = outlet_discharge(h[i], v.outlet_n, v.outlet_slope, v.dx);
          const double taken = drain_lake_path_outlet(v, h[i], d, qo, dt);
          outlet_volume += taken;
          dh[i] = d - taken / v.area;
        } else {
          h[i] += d;
          dh[i] = d;
        }
        continue;
      }
      if (up[i] != 0 && lake[up[i]] == 0) lakes[l].dv += q[up[i]] * dt;
      if (down[i] != 0 && lake[down[i]] == 0) lakes[l].dv -= q[i] * dt;
    }
  }
  return outlet_volume;
}

// Overland lakes, scheme 3: the predictor-corrector pass in cell order. Lake
// cells keep their depths; the corrected fluxes through the faces between a
// lake cell and a free cell go to the lake's dv, so that the water a free
// cell gives the lake is the water the lake gets. The outlet is drained in
// the y pass: the predictor by half a step's outflow with parity 1 and a
// whole step's with parity 2, the corrector by a whole step's, at most what
// the cell holds.
double route_olake_predictor_corrector(model_state& state, const route_view& v, double dt) {
  surface_state& sf = state.surface;
  const int n = v.cells;
  const double r = dt / v.area;
  const int* lake = sf.oland_lake_new.data();
  olake_record* lakes = sf.olakes.data();
  double* h = v.depth;
  double* hp = sf.depth_pred.data();
  double* copy = sf.flux_copy.data();
  double* dh = v.depth_change;
  const bool y_first = sf.sweep_parity == 1;
  const double predictor_share = sf.sweep_parity == 1 ? 0.5 : 1.0;
  double outlet_volume = 0.0;

  for (int k = 0; k < 2; ++k) {
    const bool x = (k == 0) != y_first;
    double* q = x ? v.flux_x : v.flux_y;
    const int* up = x ? v.leftcon : v.abovecon;
    const int* down = x ? v.rightcon : v.belowcon;

    sweep(v, x, h);
    for (int i = 1; i <= n; ++i) {
      hp[i] = lake[i] == 0 ? h[i] + (q[up[i]] - q[i]) * r : h[i];
      copy[i] = q[i];
    }
    if (!x && v.outlet > 0) {
      double& o = hp[v.outlet];
      o -= outlet_discharge(o, v.outlet_n, v.outlet_slope, v.dx) * predictor_share * r;
    }
    sweep(v, x, hp);
    for (int i = 1; i <= n; ++i) q[i] = (q[i] + copy[i]) * 0.5;
    for (int i = 1; i <= n; ++i) {
      const int l = lake[i];
      if (l == 0) {
        const double d = (q[up[i]] - q[i]) * r;
        dh[i] = d;
        h[i] += d;
        continue;
      }
      if (up[i] != 0 && lake[up[i]] == 0) lakes[l].dv += q[up[i]] * dt;
      if (down[i] != 0 && lake[down[i]] == 0) lakes[l].dv -= q[i] * dt;
    }
    if (!x && v.outlet > 0) {
      double& o = h[v.outlet];
      const double qo = outlet_discharge(o, v.outlet_n, v.outlet_slope, v.dx);
      outlet_volume += drain_lake_path_outlet(v, o, 0.0, qo, dt);
    }
  }
  return outlet_volume;
}

// The cells of the channel lakes in cell order, into the list; returns
// their count.
int list_lake_cells(int n, const int* lake, int* list) {
  int count = 0;
  for (int i = 1; i <= n; ++i)
    if (lake[i] > 0) list[count++] = i;
  return count;
}

// Adds one direction's face fluxes between lake cells and free cells over dt
// seconds to the lakes, in cell order: the net volume, and the gross volumes
// in and out.
void add_channel_lake_faces(channel_state& chan, const int* list, int count, const double* q,
                            const int* up, const int* down, double dt) {
  const int* lake = chan.lake_mask.data();
  for (int k = 0; k < count; ++k) {
    const int i = list[k];
    const std::size_t l = std::size_t(lake[i]);
    if (up[i] != 0 && lake[up[i]] == 0) {
      const double vin = q[up[i]] * dt;  // m3 into the lake
      chan.lake_volume[l] += vin;
      if (vin > 0.0) {
        chan.lake_in_dv[l] += vin;
      } else {
        chan.lake_out_dv[l] -= vin;
      }
    }
    if (down[i] != 0 && lake[down[i]] == 0) {
      const double vout = q[i] * dt;  // m3 out of the lake
      chan.lake_volume[l] -= vout;
      if (vout >= 0.0) {
        chan.lake_out_dv[l] += vout;
      } else {
        chan.lake_in_dv[l] -= vout;
      }
    }
  }
}

// Channel lakes, schemes 2 and 3: one pass at the full step; the free cells
// are updated in parallel, the lakes in cell order after each direction. No
// water leaves through the outlet cell here: a network with lakes routes its
// outflow through the channels.
void route_channel_lakes(model_state& state, const route_view& v, double dt, bool corrected) {
  surface_state& sf = state.surface;
  channel_state& chan = state.channel;
  const int n = v.cells;
  const double r = dt / v.area;
  const int* lake = chan.lake_mask.data();
  double* h = v.depth;
  double* hp = sf.depth_pred.data();
  double* copy = sf.flux_copy.data();
  double* dh = v.depth_change;
  for (int l = 1; l <= chan.lake_count; ++l) {
    chan.lake_in_dv[std::size_t(l)] = 0.0;
    chan.lake_out_dv[std::size_t(l)] = 0.0;
  }
  int* list = sf.lake_cell_list.data();
  const int count = list_lake_cells(n, lake, list);
  const bool y_first = sf.sweep_parity == 1;

  for (int k = 0; k < 2; ++k) {
    const bool x = (k == 0) != y_first;
    double* q = x ? v.flux_x : v.flux_y;
    const int* up = x ? v.leftcon : v.abovecon;
    const int* down = x ? v.rightcon : v.belowcon;
    sweep(v, x, h);
    if (corrected) {
#pragma omp parallel for schedule(static) num_threads(team_for(n, cells_per_thread))
      for (int i = 1; i <= n; ++i) {
        hp[i] = lake[i] == 0 ? h[i] + (q[up[i]] - q[i]) * r : h[i];
        copy[i] = q[i];
      }
      sweep(v, x, hp);
#pragma omp parallel for schedule(static) num_threads(team_for(n, cells_per_thread))
      for (int i = 1; i <= n; ++i) q[i] = (q[i] + copy[i]) * 0.5;
    }
#pragma omp parallel for schedule(static) num_threads(team_for(n, cells_per_thread))
    for (int i = 1; i <= n; ++i) {
      if (lake[i] != 0) continue;
      const double d = (q[up[i]] - q[i]) * r;
      dh[i] = d;
      h[i] += d;
    }
    add_channel_lake_faces(chan, list, count, q, up, down, dt);
  }
}

// True when the lake arrays the routers read fit the grid and the lakes.
bool lake_arrays_ready(const model_state& state) {
  const std::size_t size = std::size_t(state.grid.cells) + 1;
  const surface_state& sf = state.surface;
  if (sf.overland_lakes) {
    return sf.oland_lake_new.size() == size && sf.olake_count >= 0 &&
           sf.olakes.size() > std::size_t(sf.olake_count);
  }
  const channel_state& chan = state.channel;
  if (chan.channel_lakes) {
    const std::size_t lakes = std::size_t(chan.lake_count) + 1;
    return chan.lake_mask.size() == size && chan.lake_elev.size() >= lakes &&
           chan.lake_volume.size() >= lakes && chan.lake_in_dv.size() >= lakes &&
           chan.lake_out_dv.size() >= lakes;
  }
  return true;
}

}  // namespace

int ade_depth_check(int cells, double* depth, double* depth_change, double* before,
                    const double* flux, const int* up, double dx, double s, double* volume,
                    double* cleared, int* cleared_count) {
  const double r = s / (dx * dx);
  int code = 0;
  int count = 0;
#pragma omp parallel for schedule(static) reduction(| : code) reduction(+ : count) \
    num_threads(team_for(cells, cells_per_thread))
  for (int i = 1; i <= cells; ++i) {
    const double d = (flux[up[i]] - flux[i]) * r;
    depth_change[i] = d;
    const int bits = step_cell(depth[i], d, before[i], s, cleared[i]);
    if ((bits & cleared_bit) != 0) ++count;
    code |= bits & (large_change_bit | negative_bit);
    before[i] = depth[i];
    if (volume != nullptr) volume[i] += flux[i] * s;
  }
  *cleared_count += count;
  return code > 1 ? 2 : code;
}

double ade_overland_route(model_state& state, double dt) {
  surface_state& sf = state.surface;
  ++sf.ade_calls;
  const int scheme = state.input.settings.overtype;
  if (scheme != 2 && scheme != 3) return 0.0;
  if (!lake_arrays_ready(state)) {
    raise_message("Error: the lake arrays of the %d cells have not been set up.\n",
                  state.grid.cells);
    return ade_route_failed;
  }
  const route_view v = view_of(state);
  double volume = 0.0;
  if (sf.overland_lakes) {
    volume = scheme == 2 ? route_olake_adaptive(state, v, dt)
                         : route_olake_predictor_corrector(state, v, dt);
  } else if (state.channel.channel_lakes) {
    if (sf.lake_cell_list.size() != std::size_t(v.cells) + 1)
      sf.lake_cell_list.assign(std::size_t(v.cells) + 1, 0);  // once a run
    route_channel_lakes(state, v, dt, scheme == 3);
  } else {
    volume = scheme == 2 ? route_adaptive(state, v, dt) : route_predictor_corrector(state, v, dt);
    if (volume == ade_route_failed) return volume;
  }
  apply_low_spots(state, dt);
  return volume;
}
