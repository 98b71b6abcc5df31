// The explicit overland router. A sweep computes the flow per unit width
// through every cell's right (x) or lower (y) face from the depths at the
// start of the sub-step and writes only that cell's flux; the depth update
// then gathers each cell's four faces, so that every depth is written by one
// iteration and both cells of a face see the same transfer. Both directions
// read the depths of the start of the sub-step, so one pass computes both.
// Failing faces are counted in the pass; the first of a step is printed
// afterwards on the calling thread, and the step's count at its end, so a
// run prints and routes the same on any number of threads and a large grid
// does not flood the screen with a line per face.
//
// Lakes change the procedure. With channel lakes the sweeps also pass water
// between free cells and the lakes, whose cells keep their depths, and the
// lake sums are added in cell order after each sub-step; a cut puts the
// lakes back with the depths. With overland lakes (and no channel lakes)
// one pass at the full step in cell order, without tests, moves the water
// of the x faces and then of the y faces.

#include "surface/explicit_route.h"

#include <cmath>
#include <cstdio>

#include "core/error_state.h"
#include "run/model_state.h"
#include "surface/cell_loops.h"
#include "surface/face_fluxes.h"
#include "surface/lowspots.h"

namespace {

// The face law keeps the library's power: the scheme's sub-step tests
// amplify a change in the last place into differences far above it within
// a few dozen steps, where the ADE schemes damp it.
constexpr double face_exponent = 5.0 / 3.0;
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

inline int wetland_at(const explicit_view& v, int c) {
  return v.wetland_mask != nullptr ? v.wetland_mask[c] : 0;
}

inline bool face_open(const explicit_view& v, const direction& d, int i) {
  const int j = d.next[i];
  if (j == 0) return false;
  return !(v.dike_mask != nullptr && (v.dike_mask[i] & d.dike_side) != 0);
}

// A face between free cells is routed and tested when it is open and its
// cell i holds at least its retention; a wetland cell passes water below its
// retention too.
inline bool face_routed(const explicit_view& v, const direction& d, int i) {
  if (!face_open(v, d, i)) return false;
  return wetland_at(v, i) > 0 || !(v.depth[i] < v.retent_dep[i]);
}

// The slope as the face law takes it: tiny slopes count as 1e-20, positive.
inline double floored(double s) { return std::fabs(s) < slope_floor ? slope_floor : s; }

inline double sign_of(double s) { return s < 0.0 ? -1.0 : 1.0; }

// Manning per unit width, m2/s, signed by s, for flowing depth g and n.
inline double manning_unit(double s, double g, double n) {
  if (!(g > 0.0)) return 0.0;
  return sign_of(s) * std::sqrt(std::fabs(s)) / n * std::pow(g, face_exponent);
}

// The wetland blend per unit width for flowing depth g > 0 above d0 on the
// signed slope s: the seepage of d0, plus Manning and the faster seepage
// blended over P, Manning alone beyond it.
inline double wetland_blend(const wetland_law& w, double s, double g) {
  const double a = w.k1 * s * w.d0;
  const double b = w.k2 * s * g;
  const double j = sign_of(s) * std::sqrt(std::fabs(s)) / w.n * std::pow(g, face_exponent);
  if (g > w.p) return a + j;
  return a + j * g / w.p + (1.0 - g / w.p) * b;
}

// Flow per unit width from free cell i to free cell j, m2/s, positive from
// i to j: Manning on the water-surface slope, by the upstream cell's depth
// above its retention depth and cell i's roughness. A wetland cell i uses
// its type's layered law.
inline double unit_flux(const explicit_view& v, const direction& d, int i, int j) {
  const double* h = v.depth;
  const double s = floored(d.bed_slope[i] - (h[j] - h[i]) / v.dx + v.offset);
  const int wi = wetland_at(v, i);
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
    if (s >= 0.0) return std::pow(g, face_exponent) * std::sqrt(s) / v.dist_rough[j];
    const double n = d.x ? v.dist_rough[i] : v.dist_rough[j];
    return -std::pow(g, face_exponent) * std::sqrt(-s) / n;
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
  double celerity;  // |q / dx x s|, m
  double transfer;  // q x s / dx, m
  double after;     // depth the losing cell is left at, m
};

// The cell that loses water is tested: i when the flow leaves it, j when the
// flow comes from j (a lake's side is not tested). A face without flow loses
// nobody anything.
inline face_check check_face(const explicit_view& v, int i, int j, double q, double s,
                             bool j_is_lake) {
  face_check c;
  c.celerity = std::fabs(q / v.dx * s);
  c.transfer = q * s / v.dx;
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

// The routed faces of one direction of cell i: its flux, and 1 when the
// face fails the tests.
inline int route_face(const explicit_view& v, const direction& d, int i, double s) {
  if (!face_routed(v, d, i)) {
    d.flux[i] = 0.0;
    return 0;
  }
  const int j = d.next[i];
  const double q = unit_flux(v, d, i, j);
  d.flux[i] = q;
  return fails(check_face(v, i, j, q, s, false)) ? 1 : 0;
}

// Failing faces of the two directions of one pass.
struct failing_faces {
  int x = 0;
  int y = 0;
};

// Fills the flux of every cell in both directions from the depths of the
// start of the sub-step; counts the routed faces that fail the tests.
failing_faces sweep_both(const explicit_view& v, double s) {
  const int n = v.cells;
  const direction dx = direction_of(v, true);
  const direction dy = direction_of(v, false);
  int fx = 0;
  int fy = 0;
#pragma omp parallel for schedule(static) reduction(+ : fx, fy) if (n >= parallel_min_cells)
  for (int i = 1; i <= n; ++i) {
    fx += route_face(v, dx, i, s);
    fy += route_face(v, dy, i, s);
  }
  return {fx, fy};
}

// Prints the line of the first failing face of the latest sweep, in cell
// order; returns its cell.
int print_first_failing_face(const explicit_view& v, const direction& d, double s) {
  for (int i = 1; i <= v.cells; ++i) {
    if (!face_routed(v, d, i)) continue;
    const face_check c = check_face(v, i, d.next[i], d.flux[i], s, false);
    if (!fails(c)) continue;
    std::printf(d.x ? "need to split...(x-dir) curr_du=%lf, dhh=%lf, h[j]+dhh=%lf\n"
                    : "need to split...(y-dir) curr_du=%lf, dhh=%lf, h[j]+dhh=%lf\n",
                c.celerity, c.transfer, c.after);
    std::fflush(stdout);
    return i;
  }
  return 0;
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
#pragma omp parallel for schedule(static) reduction(+ : failing) if (n >= parallel_min_cells)
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
  const double dx = v.dx;
  const double* qx = v.flux_x;
  const double* qy = v.flux_y;
  double* h = v.depth;
#pragma omp parallel for schedule(static) if (n >= parallel_min_cells)
  for (int i = 1; i <= n; ++i) {
    if (lake != nullptr && lake[i] != 0) continue;
    const double in_x = qx[v.leftcon[i]] * s / dx;
    const double out_x = qx[i] * s / dx;
    const double in_y = qy[v.abovecon[i]] * s / dx;
    const double out_y = qy[i] * s / dx;
    h[i] += (in_x - out_x) + (in_y - out_y);
  }
}

void copy_depths(int n, const double* from, double* to) {
#pragma omp parallel for schedule(static) if (n >= parallel_min_cells)
  for (int i = 1; i <= n; ++i) to[i] = from[i];
}

void print_switched(bool messages, const char* format, double value) {
  if (!messages) return;
  std::printf(format, value);
  std::fflush(stdout);
}

// The sub-steps of one call. Returns after the step is routed.
void route_plain(surface_state& sf, const explicit_view& v, double dt, double s, bool messages) {
  const bool y_first = sf.ex_parity == 1;
  int cuts = 0;
  int stop = 0;
  split_report report;
  // The depths were just saved; only a cut needs them put back.
  bool restored = true;
  for (;;) {
    if (!restored) copy_depths(v.cells, v.saved, v.depth);
    restored = false;
    double elapsed = 0.0;
    bool restart = false;
    bool done = false;
    while (!done) {
      ++sf.ex_substeps;
      const failing_faces both = sweep_both(v, s);
      for (int k = 0; k < 2; ++k) {
        const bool x = (k == 0) != y_first;
        const direction d = direction_of(v, x);
        const int failing = x ? both.x : both.y;
        int split = 0;
        if (failing > 0) {
          // Below the smallest sub-step a failing face stops the cutting and
          // the step goes on as it is.
          if (report.faces == 0) report.first_cell = print_first_failing_face(v, d, s);
          report.faces += failing;
          if (s <= smallest_substep) {
            stop = 1;
          } else {
            split = failing;
          }
        }
        if (stop != 0 || split == 0) continue;
        if (cuts < max_cuts) {
          s /= cut_divisor;
          print_switched(messages, " *Changing overland time step to %4.2lf seconds...\n", s);
          sf.ex_reduced_substep = s;
          sf.ex_countdown = countdown_calls;
          ++cuts;
          restart = true;
          break;
        }
        stop = 1;
        if (messages) {
          std::fputs(" *Time step to small to divide, continuing with current time step\n", stdout);
          std::fflush(stdout);
        }
      }
      if (restart) break;
      update_depths(v, s, nullptr);
      elapsed += s;
      done = std::fabs(elapsed - dt) < end_tolerance || elapsed > dt;
    }
    if (!restart) break;
  }
  print_split_count(report);
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
#pragma omp parallel for schedule(static) if (n >= parallel_min_cells)
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
  copy_depths(v.cells, v.depth, v.saved);
  if (channel_lakes) {
    save_channel_lakes(sf, chan);
    route_channel_lakes(state, v, dt, s, messages);
  } else if (overland_lakes) {
    route_overland_lakes(state, v, dt);
  } else {
    route_plain(sf, v, dt, s, messages);
  }

  apply_low_spots(state, dt);

  double volume = 0.0;
  const int outlet = state.input.channel_routing ? 0 : g.outlet_cell;
  if (outlet > 0) {
    volume = drain_outlet(v.depth[outlet], sf.dist_rough[outlet], g.outlet_slope, g.dx, dt);
  }

  const int n = v.cells;
  const double dx = g.dx;
#pragma omp parallel for schedule(static) if (n >= parallel_min_cells)
  for (int i = 1; i <= n; ++i) {
    v.flux_x[i] *= dx;
    v.flux_y[i] *= dx;
  }
  return volume;
}
