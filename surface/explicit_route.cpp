// The explicit overland router without lakes. A sweep computes the flow per
// unit width through every cell's right (x) or lower (y) face from the
// depths at the start of the sub-step and writes only that cell's flux; the
// depth update then gathers each cell's four faces, so that every depth is
// written by one iteration and both cells of a face see the same transfer.
// Failing faces are counted in the sweep and printed afterwards in cell
// order on the calling thread, so a run prints and routes the same on any
// number of threads.

#include "surface/explicit_route.h"

#include <cmath>
#include <cstdio>

#include "core/error_state.h"
#include "core/model_state.h"
#include "core/not_available.h"
#include "surface/cell_loops.h"
#include "surface/face_fluxes.h"
#include "surface/lowspots.h"

namespace {

constexpr double face_exponent = 5.0 / 3.0;
constexpr double outlet_exponent = 1.666667;  // the outlet's Manning exponent, as written
constexpr double slope_floor = 1e-20;         // smaller slopes count as this one
constexpr double slope_offset = 1e-30;        // added to every water-surface slope
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
  const double* slope_x;
  const double* slope_y;
  const double* retent_dep;
  const double* dist_rough;
  const int* rightcon;
  const int* belowcon;
  const int* leftcon;
  const int* abovecon;
  const int* dike_mask;  // null without dikes
  double* depth;
  double* saved;
  double* flux_x;  // per unit width during the call, m2/s
  double* flux_y;
};

explicit_view view_of(model_state& state) {
  grid_state& g = state.grid;
  surface_state& sf = state.surface;
  explicit_view v{};
  v.cells = g.cells;
  v.dx = g.dx;
  v.slope_x = g.slope_x.data();
  v.slope_y = g.slope_y.data();
  v.retent_dep = sf.retent_dep.data();
  v.dist_rough = sf.dist_rough.data();
  v.rightcon = g.rightcon.data();
  v.belowcon = g.belowcon.data();
  v.leftcon = g.leftcon.data();
  v.abovecon = g.abovecon.data();
  v.dike_mask = active_dike_mask(state);
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

// True when the face of cell i in this direction is routed and tested: it
// has a neighbour, no dike closes it, and i holds at least its retention.
inline bool face_routed(const explicit_view& v, const direction& d, int i) {
  const int j = d.next[i];
  if (j == 0) return false;
  if (v.dike_mask != nullptr && (v.dike_mask[i] & d.dike_side) != 0) return false;
  return !(v.depth[i] < v.retent_dep[i]);
}

// Flow per unit width from cell i to j, m2/s, positive from i to j: Manning
// on the water-surface slope, by the upstream cell's depth above its
// retention depth and cell i's roughness.
inline double unit_flux(const explicit_view& v, int i, int j, double bed_slope) {
  const double* h = v.depth;
  double s = bed_slope - (h[j] - h[i]) / v.dx + slope_offset;
  if (std::fabs(s) < slope_floor) s = slope_floor;
  const double sign = s < 0.0 ? -1.0 : 1.0;
  const double g = s >= 0.0 ? h[i] - v.retent_dep[i] : h[j] - v.retent_dep[j];
  if (!(g > 0.0)) return 0.0;
  return sign * std::sqrt(std::fabs(s)) / v.dist_rough[i] * std::pow(g, face_exponent);
}

// What the stability tests see of one face.
struct face_check {
  double celerity;  // |q / dx x s|, m
  double transfer;  // q x s / dx, m
  double after;     // depth the losing cell is left at, m
};

inline face_check check_face(const explicit_view& v, int i, int j, double q, double s) {
  face_check c;
  c.celerity = std::fabs(q / v.dx * s);
  c.transfer = q * s / v.dx;
  // The cell that loses water is tested: i when the flow leaves it, j when
  // the flow comes from j. A face without flow loses nobody anything.
  if (q > 0.0) {
    c.after = v.depth[i] - c.transfer;
  } else if (q < 0.0) {
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

// Fills the direction's flux of every cell; returns the number of routed
// faces that fail the tests.
int sweep(const explicit_view& v, const direction& d, double s) {
  const int n = v.cells;
  int failing = 0;
#pragma omp parallel for schedule(static) reduction(+ : failing) if (n >= parallel_min_cells)
  for (int i = 1; i <= n; ++i) {
    if (!face_routed(v, d, i)) {
      d.flux[i] = 0.0;
      continue;
    }
    const int j = d.next[i];
    const double q = unit_flux(v, i, j, d.bed_slope[i]);
    d.flux[i] = q;
    if (fails(check_face(v, i, j, q, s))) ++failing;
  }
  return failing;
}

// Prints the failing faces of the latest sweep in cell order, only the first
// when first_only is set.
void print_failing_faces(const explicit_view& v, const direction& d, double s, bool first_only) {
  for (int i = 1; i <= v.cells; ++i) {
    if (!face_routed(v, d, i)) continue;
    const face_check c = check_face(v, i, d.next[i], d.flux[i], s);
    if (!fails(c)) continue;
    std::printf(d.x ? "need to split...(x-dir) curr_du=%lf, dhh=%lf, h[j]+dhh=%lf\n"
                    : "need to split...(y-dir) curr_du=%lf, dhh=%lf, h[j]+dhh=%lf\n",
                c.celerity, c.transfer, c.after);
    if (first_only) break;
  }
  std::fflush(stdout);
}

// h += the transfers through the cell's four faces of the sub-step.
void update_depths(const explicit_view& v, double s) {
  const int n = v.cells;
  const double dx = v.dx;
  const double* qx = v.flux_x;
  const double* qy = v.flux_y;
  double* h = v.depth;
#pragma omp parallel for schedule(static) if (n >= parallel_min_cells)
  for (int i = 1; i <= n; ++i) {
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
  for (;;) {
    copy_depths(v.cells, v.saved, v.depth);
    double elapsed = 0.0;
    bool restart = false;
    bool done = false;
    while (!done) {
      ++sf.ex_substeps;
      for (int k = 0; k < 2; ++k) {
        const direction d = direction_of(v, (k == 0) != y_first);
        const int failing = sweep(v, d, s);
        int split = 0;
        if (failing > 0) {
          // Below the smallest sub-step a failing face is reported once and
          // the step goes on as it is.
          const bool too_short = s <= smallest_substep;
          print_failing_faces(v, d, s, too_short);
          if (too_short) {
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
      update_depths(v, s);
      elapsed += s;
      done = std::fabs(elapsed - dt) < end_tolerance || elapsed > dt;
    }
    if (!restart) return;
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

}  // namespace

double explicit_overland_route(model_state& state, double dt) {
  surface_state& sf = state.surface;
  grid_state& g = state.grid;
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

  // The cells of a channel lake route as free cells: their water stays
  // surface water, and the balances count it there.
  if (sf.overland_lakes) {
    raise_not_available("the lake paths of explicit_overland_route");
    return 0.0;
  }

  const std::size_t size = std::size_t(g.cells) + 1;
  if (g.slope_x.size() != size || g.slope_y.size() != size) {
    raise_message("Error: the bed slopes of the %d cells have not been set up.\n", g.cells);
    return 0.0;
  }

  const explicit_view v = view_of(state);
  copy_depths(v.cells, v.depth, v.saved);
  route_plain(sf, v, dt, s, messages);

  if (sf.lowspot_count > 0) {
    embankment_weir_flow(dt, g.dx, g.mask.table(), g.elevation.data(), v.depth,
                         sf.lowspot_count, sf.low_spots.data());
  }

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
