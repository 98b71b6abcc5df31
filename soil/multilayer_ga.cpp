// Layered Green and Ampt: the front moves through three layers of their own
// conductivity, capillary head and content jump; while it lies in a lower
// layer the layers above act in series through an effective conductivity.
// Depths in cm, rates in cm/h, time in hours.

#include <algorithm>
#include <climits>
#include <cmath>

#include "run/model_state.h"
#include "soil/infiltration_methods.h"
#include "surface/cell_loops.h"

void multilayer_ga_parallel(model_state& state, double dt) {
  soil_state& soil = state.soil;
  const int cells = state.grid.cells;
  double* h = state.surface.depth.data();
  const double* a = soil.area_reduction ? soil.area_factor.data() : nullptr;
  int bad = INT_MAX;

#pragma omp parallel for schedule(static) reduction(min : bad) num_threads(team_for(cells, cells_per_thread))
  for (int i = 1; i <= cells; ++i) {
    if (h[i] < 1e-16) {
      soil.inf_rate[i] = 0.0;
      continue;
    }
    const soil_type_record& t = soil.soil_types[soil.soiltype[i]];
    const double d1 = t.d1;
    const double d2 = t.d2;
    double jump[4];
    for (int l = 1; l <= 3; ++l) {
      jump[l] = t.phi[l] - soil.theta_ml[i][l];
      if (jump[l] == 0.0) jump[l] = 0.01 * t.phi[l];
    }
    const double fc = soil.cum_inf[i] * 100.0;
    const double ponded = h[i] * 100.0;
    const double z = soil.wetdep[i];
    double ke, psi, dtheta;
    if (z > d1 + d2) {
      const double below = (fc - (d2 * jump[2] + d1 * jump[1])) / jump[3];
      ke = (d2 + d1 + below) / (d2 / t.k[2] + d1 / t.k[1] + below / t.k[3]);
      psi = t.psi[3];
      dtheta = jump[3];
    } else if (z > d1) {
      const double below = (fc - d1 * jump[1]) / jump[2];
      ke = (below + d1) / (below / t.k[2] + d1 / t.k[1]);
      psi = t.psi[2];
      dtheta = jump[2];
    } else {
      ke = t.k[1];
      psi = t.psi[1];
      dtheta = jump[1];
    }

    const double m = psi * dtheta;
    double fn = fc + 0.1;
    double r = m * std::log((m + fn) / (m + fc)) + (dt * ke - fn + fc);
    int k = 0;
    for (; std::fabs(r) > 1e-4 && k < newton_iteration_limit; ++k) {
      fn -= r / (m / (m + fn) - 1.0);
      r = m * std::log((m + fn) / (m + fc)) + (dt * ke - fn + fc);
    }
    if (!(std::fabs(r) <= 1e-4)) {
      bad = std::min(bad, i);
      continue;
    }

    double zn = fn / jump[1];
    if (zn > d1) {
      zn = (fn - d1 * jump[1]) / jump[2] + d1;
      if (zn > d1 + d2) zn = (fn - (d2 * jump[2] + d1 * jump[1])) / jump[3] + d1 + d2;
    }
    double q = (m / fn + 1.0) * ke;
    if (a && a[i] < 1.0) q *= a[i];
    if (ponded < dt * q) {
      const double rate = ponded / dt;
      soil.inf_rate[i] = rate;
      h[i] = 0.0;
      soil.cum_inf[i] += dt * rate / 100.0;
      soil.wetdep[i] += dt * rate / dtheta;
    } else {
      soil.inf_rate[i] = q;
      h[i] -= dt * q / 100.0;
      soil.cum_inf[i] += dt * q / 100.0;
      soil.wetdep[i] = zn;
    }
  }
  if (bad != INT_MAX) {
    soil.newton_failed_cell = bad;
    report_newton_failure(state, "layered Green and Ampt");
  }
}
