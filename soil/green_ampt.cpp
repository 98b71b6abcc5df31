// Green and Ampt infiltration: the cumulative depth at the end of the
// interval from the implicit equation, the rate from it, and the surface
// water taken at that rate.

#include <algorithm>
#include <climits>
#include <cmath>

#include "core/error_state.h"
#include "run/model_state.h"
#include "soil/infiltration_methods.h"
#include "surface/cell_loops.h"

namespace {

// F at the end of dt from F0 by Newton on M ln((M+F)/(M+F0)) + Ks dt - F + F0.
// False when the loop ran out of iterations.
bool solve_cumulative(double m, double ks, double dt, double f0, double& f) {
  f = f0 + 0.001;
  double r = 6.0;
  for (int k = 0; !(std::fabs(r) <= 1e-6); ++k) {
    if (k >= newton_iteration_limit) return false;
    r = m * std::log((m + f) / (f0 + m)) + ks * dt - f + f0;
    const double slope = m / (m + f) - 1.0;
    f -= r / slope;
  }
  return true;
}

}  // namespace

void report_newton_failure(model_state& state, const char* method) {
  const int cell = state.soil.newton_failed_cell;
  if (cell == 0) return;
  state.soil.newton_failed_cell = 0;
  raise_message(
      "Error: the %s infiltration of grid cell %d did not converge in %d iterations.\n", method,
      cell, newton_iteration_limit);
}

void green_ampt_parallel(model_state& state, double dt) {
  soil_state& soil = state.soil;
  const int n = state.grid.cells;
  double* h = state.surface.depth.data();
  // (phi - thi) psi is fixed for the run once the first interval has used it.
  if (soil.ga_m.size() != static_cast<std::size_t>(n) + 1) {
    soil.ga_m.assign(n + 1, 0.0);
    double* gm = soil.ga_m.data();
    const double* phi = soil.porosity.data();
    const double* thi = soil.initial_theta.data();
    const double* psi = soil.capillary.data();
#pragma omp parallel for schedule(static) num_threads(team_for(n, cells_per_thread))
    for (int i = 1; i <= n; ++i) gm[i] = (phi[i] - thi[i]) * psi[i];
  }
  const double* m = soil.ga_m.data();
  const double* ks = soil.ksat.data();
  const double* a = soil.area_reduction ? soil.area_factor.data() : nullptr;
  double* cum = soil.cum_inf.data();
  double* rate = soil.inf_rate.data();
  int bad = INT_MAX;

#pragma omp parallel for schedule(static) reduction(min : bad) num_threads(team_for(n, cells_per_thread))
  for (int i = 1; i <= n; ++i) {
    if (h[i] < 1e-16) {
      rate[i] = 0.0;
      h[i] = 0.0;
      continue;
    }
    const double f0 = cum[i];
    double f = f0;
    if (!solve_cumulative(m[i], ks[i], dt, f0, f)) {
      bad = std::min(bad, i);
      continue;
    }
    double r = f > 1e-16 ? ks[i] * (1.0 + m[i] / f) : ks[i];
    if (a) r *= a[i];
    if (h[i] <= dt * r) {
      r = h[i] / dt;
      h[i] = 0.0;
    } else {
      h[i] -= dt * r;
    }
    cum[i] = f0 + dt * r;
    rate[i] = r * 360000.0;
  }
  if (bad != INT_MAX) {
    soil.newton_failed_cell = bad;
    report_newton_failure(state, "Green and Ampt");
  }
}
