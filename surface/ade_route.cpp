// The ADE overland router on grids without lakes. Every per-cell loop is a
// static parallel loop over cells 1..N that writes only its own cells, and
// the only reductions are a bitwise or of the check codes and counts, so the
// depths after a step do not depend on the thread count. The sub-step logic
// and the outlet run on the calling thread.

#include "surface/ade_route.h"

#include <cmath>
#include <cstdio>

#include "core/error_state.h"
#include "core/model_state.h"
#include "core/not_available.h"
#include "surface/face_fluxes.h"
#include "surface/cell_loops.h"

namespace {

constexpr double min_substep = 0.001;   // s; below it the step cannot be routed
constexpr double small_negative = 1e-5; // m; shallower negative depths are set to 0

// Normal-depth discharge (m3/s) out of the outlet cell through one face of
// width dx at depth d (m) on the outlet slope; nothing leaves a dry cell.
double outlet_discharge(double d, double n, double slope, double dx) {
  return d > 0.0 ? std::pow(d, 5.0 / 3.0) / n * std::sqrt(slope) * dx : 0.0;
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
  v.faces.cells = g.cells;
  v.faces.dx = g.dx;
  v.faces.elevation = g.elevation.data();
  v.faces.retent_dep = sf.retent_dep.data();
  v.faces.dist_rough = sf.dist_rough.data();
  v.faces.dike_mask = active_dike_mask(state);
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

// Scheme 2: adaptive sub-steps, restarted from the depths of the start of the
// step with half the sub-step whenever a depth goes negative.
double route_adaptive(model_state& state, const route_view& v, double dt) {
  surface_state& sf = state.surface;
  const int n = v.cells;
  double* h = v.depth;
  double* saved = sf.saved_depth.data();
  double* before = sf.sweep_depth.data();
  double* vol_x = sf.vol_x.data();
  double* vol_y = sf.vol_y.data();
  double* cleared = sf.cleared_depth.data();

  // The sub-step carries over from the last call: halved after a large
  // change, doubled while two of it still fit the step.
  double m = dt;
  if (sf.ade_calls > 1 && dt - sf.ade_substep > 0.001) m = sf.ade_substep;
  if (sf.ade_check == 1) {
    m *= 0.5;
  } else if (dt - 2.0 * m > -1e-16) {
    m *= 2.0;
  }

  int negatives = 0;
#pragma omp parallel for schedule(static) reduction(+ : negatives) \
    if (n >= parallel_min_cells)
  for (int i = 1; i <= n; ++i) {
    saved[i] = h[i];
    before[i] = h[i];
    vol_x[i] = 0.0;
    vol_y[i] = 0.0;
    if (h[i] < -1e-16) ++negatives;
  }
  if (negatives > 0) clear_negative_inflow_depths(v, sf);

  const bool x_first = sf.sweep_parity == 1;
  bool restarted = false;
  int cleared_cells = 0;
  for (;;) {
    sf.ade_check = 0;
    if (m < min_substep) {
      raise_message(
          "The ADE overland routing time step is getting really small\n"
          "less than 1/100 of a second\n"
          "Reduce the model time step by a factor of 2 and try again.\n"
          "Program stopped.\n");
      return ade_route_failed;
    }
    if (restarted) {
#pragma omp parallel for schedule(static) if (n >= parallel_min_cells)
      for (int i = 1; i <= n; ++i) {
        h[i] = saved[i];
        before[i] = saved[i];
        vol_x[i] = 0.0;
        vol_y[i] = 0.0;
      }
      if (cleared_cells > 0) {
#pragma omp parallel for schedule(static) if (n >= parallel_min_cells)
        for (int i = 1; i <= n; ++i) cleared[i] = 0.0;
        cleared_cells = 0;
      }
    }

    double outlet_volume = 0.0;
    double remaining = dt;
    restarted = false;
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
      for (int k = 0; k < 2 && !restarted; ++k) {
        const bool x = (k == 0) == x_first;
        sweep(v, x, h);
        const int code = ade_depth_check(n, h, v.depth_change, before, x ? v.flux_x : v.flux_y,
                                         x ? v.leftcon : v.abovecon, v.dx, s, x ? vol_x : vol_y,
                                         cleared, &cleared_cells);
        if (code == 2) {
          m = s * 0.5;
          restarted = true;
        } else if (code > sf.ade_check) {
          sf.ade_check = code;
        }
      }
      if (restarted) break;
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
#pragma omp parallel for schedule(static) if (n >= parallel_min_cells)
      for (int i = 1; i <= n; ++i) cleared[i] = 0.0;
    }
    return outlet_volume;
  }
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
  double outlet_volume = 0.0;

  for (int k = 0; k < 2; ++k) {
    const bool x = (k == 0) != y_first;
    double* q = x ? v.flux_x : v.flux_y;
    const int* up = x ? v.leftcon : v.abovecon;

    sweep(v, x, h);
#pragma omp parallel for schedule(static) if (n >= parallel_min_cells)
    for (int i = 1; i <= n; ++i) {
      hp[i] = h[i] + (q[up[i]] - q[i]) * r;
      copy[i] = q[i];
    }
    if (!x && v.outlet > 0) {
      double& o = hp[v.outlet];
      o -= outlet_discharge(o, v.outlet_n, v.outlet_slope, v.dx) * 0.5 * r;
    }

    sweep(v, x, hp);
#pragma omp parallel for schedule(static) if (n >= parallel_min_cells)
    for (int i = 1; i <= n; ++i) q[i] = (q[i] + copy[i]) * 0.5;
#pragma omp parallel for schedule(static) if (n >= parallel_min_cells)
    for (int i = 1; i <= n; ++i) {
      const double d = (q[up[i]] - q[i]) * r;
      dh[i] = d;
      h[i] += d;
    }
    if (!x && v.outlet > 0) {
      double& o = h[v.outlet];
      outlet_volume +=
          drain_outlet(o, outlet_discharge(o, v.outlet_n, v.outlet_slope, v.dx) * 0.5, dt, v.area);
    }
  }
  return outlet_volume;
}

}  // namespace

int ade_depth_check(int cells, double* depth, double* depth_change, double* before,
                    const double* flux, const int* up, double dx, double s, double* volume,
                    double* cleared, int* cleared_count) {
  const double r = s / (dx * dx);
  int code = 0;
  int count = 0;
#pragma omp parallel for schedule(static) reduction(| : code) reduction(+ : count) \
    if (cells >= parallel_min_cells)
  for (int i = 1; i <= cells; ++i) {
    const double d = (flux[up[i]] - flux[i]) * r;
    depth_change[i] = d;
    double h = depth[i] + d;
    if (h < 0.0) {
      if (s >= min_substep && h > -small_negative) {
        cleared[i] -= h;
        ++count;
        h = 0.0;
      } else {
        code |= 2;
      }
    }
    if (h >= 0.0 && std::fabs(d) > 0.5 * before[i] && before[i] > 0.01 && s > 0.1) code |= 1;
    depth[i] = h;
    before[i] = h;
    if (volume != nullptr) volume[i] += flux[i] * s;
  }
  *cleared_count += count;
  return code > 1 ? 2 : code;
}

double ade_overland_route(model_state& state, double dt) {
  surface_state& sf = state.surface;
  ++sf.ade_calls;
  // The cells of a channel lake route as free cells: their water stays
  // surface water, and the balances count it there.
  if (sf.overland_lakes) {
    raise_not_available("the lake paths of ade_overland_route");
    return ade_route_failed;
  }
  const route_view v = view_of(state);
  switch (state.input.settings.overtype) {
    case 2:
      return route_adaptive(state, v, dt);
    case 3:
      return route_predictor_corrector(state, v, dt);
    default:
      return 0.0;
  }
}
