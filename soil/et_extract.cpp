// Withdrawal of evapotranspiration and drainage from the simple soil-moisture
// store of long-term runs: demand is met first from ponded water, then from
// the store's one or two layers weighted by their water stress; drainage
// leaves each layer at the Brooks-Corey conductivity of its content. Store
// depths in cm; the surface water depth in m.

#include <algorithm>
#include <cmath>

#include "run/model_state.h"
#include "soil/infiltration_methods.h"

namespace {

// The store of one cell split into its layers.
struct store_layers {
  int count = 1;  // 1 or 2 layers (3: layered soil reaching its third layer)
  double l1 = 0.0, l2 = 0.0;                // layer thicknesses, cm
  double fc1 = 0.0, fc2 = 0.0;              // field-capacity contents
  double wp1 = 0.0, wp2 = 0.0;              // wilting-point contents
  double thr1 = 0.0, thr2 = 0.0;            // residual contents
  double phi1 = 0.0, phi2 = 0.0;            // porosities
};

// Stress weight of a layer holding w cm.
double stress(double w, double fc_w, double wp_w, double res_w, bool deardorff) {
  double k;
  if (deardorff) {
    k = w > res_w ? w / fc_w : 0.0;
  } else if (w >= fc_w) {
    k = 1.0;
  } else if (w > wp_w) {
    k = (w - wp_w) / (fc_w - wp_w);
  } else {
    k = 0.0;
  }
  return std::min(k, 1.0);
}

double cell_value(const std::vector<double>& v, int i) {
  return i < static_cast<int>(v.size()) ? v[i] : 0.0;
}

// Drainage of both layers over the interval, cm.
using drainage_rule = void (*)(const model_state& state, int i, const store_layers& s,
                               double dt, double inflow, double& g1, double& g2);

void redist_drainage(const model_state& state, int i, const store_layers& s, double dt,
                     double inflow, double& g1, double& g2) {
  const soil_state& soil = state.soil;
  const double ks = soil.ksat[i];
  const double lambda = soil.pore_index[i];
  auto drain = [&](double theta) {
    if (theta > s.fc1) return ks * std::pow((theta - s.thr1) / (s.phi1 - s.thr1),
                                            3.0 / lambda + 2.0) * dt * 100.0;
    return 0.0;
  };
  const double th1 = soil.m1[i] / s.l1;
  g1 = th1 >= s.phi1 ? inflow : drain(th1);
  g2 = 0.0;
  if (s.count >= 2) {
    const double th2 = soil.m2[i] / s.l2;
    g2 = th2 >= s.phi2 ? g1 : drain(th2);
  }
}

void layered_drainage(const model_state& state, int i, const store_layers& s, double dt,
                      double inflow, double& g1, double& g2) {
  const soil_state& soil = state.soil;
  const soil_type_record& t = soil.soil_types[soil.soiltype[i]];
  const double th1 = soil.m1[i] / s.l1;
  g1 = 0.0;
  if (th1 >= t.phi[1]) {
    g1 = inflow;
  } else if (th1 - t.fc[1] >= 1e-16) {
    const double se = (th1 - t.thr[1]) / (t.phi[1] - t.thr[1]);
    double k = t.k[1] * std::pow(se, 3.0 / t.lambda[1] + 2.0);
    if (s.count >= 2) k = std::sqrt(k * t.k[2] * std::pow(se, 3.0 / t.lambda[2] + 2.0));
    g1 = k * dt / 3600.0;
  }
  g2 = 0.0;
  if (s.count < 2) return;
  const double th2 = soil.m2[i] / s.l2;
  if (th2 >= t.phi[2]) {
    g2 = g1;
  } else if (th2 - t.fc[2] >= 1e-16) {
    const double se2 = (th2 - t.thr[2]) / (t.phi[2] - t.thr[2]);
    double k2 = t.k[2] * std::pow(se2, 3.0 / t.lambda[2] + 2.0);
    if (s.count == 3) k2 = std::sqrt(k2 * t.k[3] * std::pow(se2, 3.0 / t.lambda[3] + 2.0));
    g2 = std::min(k2 * dt / 3600.0, g1);
  }
}

// One cell's withdrawal and drainage; the soil withdrawal in cm.
double withdraw_cell(model_state& state, int i, const store_layers& s, double dt,
                     double ponded_threshold, drainage_rule drainage) {
  soil_state& soil = state.soil;
  const double area = state.grid.dx * state.grid.dx;
  double& h = state.surface.depth[i];
  const double d = soil.store_depth[i];
  const double inflow = soil.sm_inf[i] * 100.0;
  const double r1 = s.thr1 * s.l1, r2 = s.thr2 * s.l2;
  const double sat1 = s.phi1 * s.l1, sat2 = s.phi2 * s.l2;

  double e2p = 0.0;
  if (state.input.long_term && !(cell_value(soil.snow.swe, i) > 1e-16)) {
    const double e1 = cell_value(soil.et_rate1, i);
    const double e2 = cell_value(soil.et_rate2, i);
    const double e1p = dt * e1;
    e2p = dt * e2;
    const double pond = h * 100.0;
    if (pond > ponded_threshold) {
      if (e1p <= pond) {
        soil.direct_evap[i] += e1p;
        h -= e1p / 100.0;
        e2p = 0.0;
      } else {
        h = 0.0;
        soil.direct_evap[i] += pond;
        e2p = (dt - dt * pond / e1p) * e2;
      }
    }
  }

  double e1 = 0.0, e2 = 0.0;
  if (e2p > 1e-16) {
    const bool deardorff = state.input.settings.et_calc_deardorff != 0;
    double k1 = 1.0, k2 = 1.0;
    if (d >= 1e-16) {
      k1 = stress(soil.m1[i], s.fc1 * s.l1, s.wp1 * s.l1, r1, deardorff);
      k2 = s.count >= 2 ? stress(soil.m2[i], s.fc2 * s.l2, s.wp2 * s.l2, r2, deardorff) : 0.0;
    }
    if (s.count >= 2 && d >= 1e-16) {
      k1 *= s.l1 / d;
      k2 *= s.l2 / d;
    } else if (s.count < 2) {
      k2 = 0.0;
    }
    e1 = e2p * k1;
    e2 = e2p * k2;
    // Layer 1 keeps its residual water, less what the interval brought in.
    const double x = r1 - (soil.m1[i] - e1);
    if (x > 0.0 && x > inflow) e1 -= x - inflow;
    const double y = r2 - (soil.m2[i] - e2);
    if (y > 0.0) e2 -= y;
    // A layer already below its residual water gives none, and the plants
    // never put water back: over a table at the ground the layers keep the
    // water they had, and a withdrawal below zero would book water the soil
    // never got.
    e1 = std::max(e1, 0.0);
    e2 = std::max(e2, 0.0);
  }
  const double withdrawn = e1 + e2;

  double g1 = 0.0, bottom;
  if (soil.yes_exfil[i] == 1 || d < 1e-16) {
    soil.yes_exfil[i] = 1;
    soil.deep_perc[i] -= withdrawn;
    soil.drain1[i] -= withdrawn;
    soil.withdrawn_exfil += withdrawn / 100.0 * area;
    bottom = inflow;
  } else {
    double g2 = 0.0;
    drainage(state, i, s, dt, inflow, g1, g2);
    double& m1 = soil.m1[i];
    m1 = m1 + inflow - g1 - e1;
    if (m1 / s.l1 > s.phi1) {
      g1 += m1 - sat1;
      m1 = sat1;
    }
    if (m1 / s.l1 < s.thr1) {
      g1 -= r1 - m1;
      m1 = r1;
    }
    soil.total_water[i] = m1;
    bottom = g1;
    if (s.count >= 2) {
      double& m2 = soil.m2[i];
      m2 = m2 + g1 - g2 - e2;
      if (m2 / s.l2 > s.phi2) {
        g2 += m2 - sat2;
        m2 = sat2;
      }
      if (m2 / s.l2 < s.thr2) {
        g2 -= r2 - m2;
        m2 = r2;
      }
      soil.total_water[i] += m2;
      bottom = g2;
    }
  }
  soil.deep_perc[i] += bottom;
  // What drains below the store recharges the aquifer under it.
  groundwater_state& gw = state.subsurface.gw;
  if (state.input.gw_simulation && gw.gw_recharge.size() > std::size_t(i)) {
    gw.gw_recharge[i] += bottom;
    gw.recharge_cum[i] += bottom;
  }
  soil.drain1[i] += g1;
  soil.drain2[i] += bottom;
  soil.drain3[i] += bottom;
  soil.sm_inf_volume += inflow / 100.0 * area;
  soil.sm_inf[i] = 0.0;
  return withdrawn;
}

}  // namespace

double et_extract_redist(model_state& state, double dt) {
  if (!state.input.long_term) return 0.0;
  soil_state& soil = state.soil;
  const double top = state.input.top_layer_depth;
  double depth = 0.0;
  for (int i = 1; i <= state.grid.cells; ++i) {
    if (soil_lake_cell(state, i)) continue;
    store_layers s;
    const double d = soil.store_depth[i];
    s.count = d <= top ? 1 : 2;
    s.l1 = s.count == 1 ? d : top;
    s.l2 = s.count == 1 ? 0.0 : d - top;
    s.fc1 = s.fc2 = soil.field_capacity[i];
    s.wp1 = s.wp2 = soil.wilting_point[i];
    s.thr1 = s.thr2 = soil.residual[i];
    s.phi1 = s.phi2 = soil.porosity[i];
    depth += withdraw_cell(state, i, s, dt, 1e-16, redist_drainage) / 100.0;
  }
  return depth;
}

double et_extract_layered(model_state& state, double dt) {
  if (!state.input.long_term) return 0.0;
  soil_state& soil = state.soil;
  double depth = 0.0;
  for (int i = 1; i <= state.grid.cells; ++i) {
    if (soil_lake_cell(state, i)) continue;
    const soil_type_record& t = soil.soil_types[soil.soiltype[i]];
    store_layers s;
    const double d = soil.store_depth[i];
    s.count = d <= t.d1 ? 1 : (d >= t.d1 + t.d2 ? 3 : 2);
    s.l1 = s.count == 1 ? d : t.d1;
    s.l2 = s.count == 1 ? 0.0 : d - t.d1;
    s.fc1 = t.fc[1];
    s.fc2 = t.fc[2];
    s.wp1 = t.wp[1];
    s.wp2 = t.wp[2];
    s.thr1 = t.thr[1];
    s.thr2 = t.thr[2];
    s.phi1 = t.phi[1];
    s.phi2 = t.phi[2];
    depth += withdraw_cell(state, i, s, dt, 1e-14, layered_drainage) / 100.0;
  }
  return depth;
}
