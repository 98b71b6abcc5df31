// Green and Ampt with redistribution: ponded intervals follow Green and Ampt,
// dry intervals let the wetting front relax towards the initial content
// while it deepens, and a new ponding on a relaxed profile starts a second
// front that merges with the first when the supply stops.

#include <algorithm>
#include <cmath>

#include "run/model_state.h"
#include "soil/frozen_ground.h"
#include "soil/infiltration_methods.h"
#include "surface/cell_loops.h"

namespace {

// Brooks-Corey terms of the redistribution equations for one cell.
struct front_terms {
  double kse_i = 0.0;    // Ks Se_i^p, m/s
  double kse_0 = 0.0;    // Ks Se_0^p, m/s
  double psi_star = 0.0; // effective capillary head, m
};

front_terms redist_terms(double ks, double psi, double lambda, double thr, double phi,
                         double thi, double th0) {
  const double se_i = (thi - thr) / (phi - thr);
  const double se_0 = (th0 - thr) / (phi - thr);
  const double p = 3.0 + 2.0 / lambda;
  const double q = 3.0 + 1.0 / lambda;
  front_terms t;
  t.kse_i = ks * std::pow(se_i, p);
  t.kse_0 = ks * std::pow(se_0, p);
  const double se_i_q = std::pow(se_i, q);
  t.psi_star = se_i < 1.0 ? psi * (std::pow(se_0, q) - se_i_q) / (1.0 - se_i_q) : psi;
  return t;
}

// One step of the front content over dt with supply s m/s; clamped to
// [thi, phi]. A front without depth has nothing to relax.
double relax_front(double th0, double thi, double phi, double f1, double s, double ks,
                   double dt, const front_terms& t) {
  if (!(f1 > 1e-16)) return th0;
  const double jump = th0 - thi;
  th0 += dt * jump / f1 * (s - t.kse_i - t.kse_0 - ks * t.psi_star * jump / f1);
  return std::clamp(th0, thi, phi);
}

}  // namespace

double redist_capacity(double dt, double ks, double dtheta, double psi, double fx) {
  const double a = dt * ks - 2.0 * fx;
  return (a + std::sqrt(a * a + 8.0 * dt * ks * (dtheta * psi + fx))) / (2.0 * dt);
}

void ga_redist_parallel(model_state& state, double dt) {
  soil_state& soil = state.soil;
  const input_state& in = state.input;
  const int cells = state.grid.cells;
  const int n = soil.redist_calls;
  double* h = state.surface.depth.data();
  const bool olakes = state.surface.overland_lakes && !state.surface.oland_lake_new.empty();
  const bool clakes = state.channel.channel_lakes && !state.channel.lake_mask.empty();
  const int* olake = olakes ? state.surface.oland_lake_new.data() : nullptr;
  const int* clake = clakes ? state.channel.lake_mask.data() : nullptr;
  const double* a = soil.area_reduction ? soil.area_factor.data() : nullptr;
  // Frozen ground takes no water.
  const double* frozen =
      in.long_term && soil.frozen_index.size() == std::size_t(cells) + 1 ? soil.frozen_index.data()
                                                                          : nullptr;

#pragma omp parallel for schedule(static) num_threads(team_for(cells, cells_per_thread))
  for (int i = 1; i <= cells; ++i) {
    if (olake && olake[i] > 0) continue;
    if (clake && clake[i] > 0) continue;
    if (frozen && frozen[i] > frozen_ground_limit) continue;
    const double thi = soil.initial_theta[i];
    const double phi = soil.porosity[i];
    const double thr = soil.residual[i];
    const double lambda = soil.pore_index[i];
    const double ks = soil.ksat[i];
    const double psi = soil.capillary[i];
    double& th0 = soil.front_theta[i];
    double& f = soil.cum_inf[i];
    double& f1 = soil.front1_depth[i];
    double& rate = soil.inf_rate[i];
    int& state_no = soil.no_wat_prof[i];

    if (n < 2) {
      th0 = thi;
      soil.theta_out[i] = thi;
    }
    if (soil.yes_exfil[i] == 1) {
      th0 = phi;
      continue;
    }
    const double ke = a ? ks * a[i] : ks;
    const double s = h[i] / dt;

    if (soil.iter_i_less_k[i] == n - 1 && ke >= s) {
      rate = s * 360000.0;
      f += h[i];
      h[i] = 0.0;
      soil.iter_i_less_k[i] = n;
      soil.theta_out[i] = thi;
      continue;
    }

    if (ke <= s) {
      double fx = f;
      double dtheta = phi - thi;
      if (soil.iter_n[i] > 0 && state_no != 1) {
        state_no = 1;
        if ((f - f1) / std::max(phi - th0, 1e-20) < f1 / th0) {
          state_no = 2;
          const front_terms t = redist_terms(ks, psi, lambda, thr, phi, thi, th0);
          th0 = relax_front(th0, thi, phi, f1, 0.0, ks, dt, t);
          fx = f - f1;
          dtheta = phi - th0;
        }
      }
      double cap = redist_capacity(dt, ks, dtheta, psi, fx);
      if (a) cap *= a[i];
      rate = cap * 360000.0;
      if (cap < s) {
        h[i] -= cap * dt;
        if (soil.iter_pond_1[i] == 0) {
          soil.iter_pond_1[i] = n;
          if (soil.iter_n[i] == 0) th0 = phi;
        }
      } else {
        rate = s * 360000.0;
        if (soil.iter_pond_1[i] == 0 && soil.iter_n[i] == 0) {
          const double d = s - ks;
          const double tc = d >= 1e-6 ? (phi - th0) * psi * ks / (d * s) : 100000.0;
          th0 = tc == 0.0 ? phi : th0 + (phi - th0) * dt / tc;
          if (th0 >= phi) {
            th0 = phi;
            soil.iter_pond_1[i] = n;
          }
        }
        h[i] = 0.0;
        cap = s;
      }
      f += cap * dt;
      if (state_no == 1) th0 = phi;
      soil.theta_out[i] = state_no == 2 ? phi : th0;
      continue;
    }

    // Supply below the conductivity: the fronts merge and relax.
    if (state_no == 1) {
      th0 = phi;
      state_no = 0;
    } else if (state_no == 2) {
      th0 = ((th0 + phi - 2.0 * thi) * (f - f1) + (th0 - thi) * f1) / f + thi;
      th0 = std::min(th0, phi);
      state_no = 0;
    }
    f += h[i];
    f1 = f;
    rate = s * 360000.0;
    if (th0 != thi) {
      const front_terms t = redist_terms(ks, psi, lambda, thr, phi, thi, th0);
      th0 = relax_front(th0, thi, phi, f1, s, ks, dt, t);
    }
    soil.iter_n[i] = n;
    soil.theta_out[i] = th0;
    h[i] = 0.0;
  }
}
