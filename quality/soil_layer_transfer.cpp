// The soil-layer transfer of one constituent. Downward, water leaving a
// layer at its bottom carries that layer's dissolved concentration; upward,
// each layer's water carries its concentration through its top and the
// aquifer's concentration enters at the bottom. Exfiltrated water is a depth
// here, so both directions give a mass over the cell's area.

#include "quality/soil_layer_transfer.h"

#include <cmath>

namespace {

constexpr double tiny = 1e-16;

// Layer water (m) and the water across each interface (m, down positive) of
// cell j with n layers.
void set_water(soil_layer_work& w, const constituent_state& c, const soil_layer_geometry& geometry,
               const soil_water_moves& moves, int j, int n, bool nutrient, bool exfiltrating) {
  for (int l = 0; l <= max_soil_layers; ++l) {
    w.interface[l] = 0.0;
    w.water[l] = 0.0;
  }
  if (moves.model == soil_water_model::plain) {
    w.water[1] = moves.mixing_depth * moves.water_content[j] / 100.0;
    return;
  }
  for (int l = 1; l <= n; ++l) w.water[l] = c.theta.at(j, l) * geometry.thickness.at(j, l);
  if (nutrient) return;
  if (exfiltrating) {
    for (int l = 0; l <= n; ++l) w.interface[l] = -moves.exfil_water[j];
    return;
  }
  const double upper = moves.upper_drain[j] / 100.0;
  const double bottom = moves.bottom_drain[j] / 100.0;
  if (moves.model == soil_water_model::layered) {
    w.interface[1] = upper;
    if (n == 3) w.interface[2] = upper;
    w.interface[n] = bottom;
    return;
  }
  if (n == 1) {
    w.interface[1] = bottom;
    return;
  }
  w.interface[1] = moves.moisture_depth - moves.mixing_depth > tiny ? upper : 0.0;
  if (n == 3) w.interface[2] = upper;
  w.interface[n] = bottom;
}

}  // namespace

void soil_layers_contam_update(soil_layer_work& work, constituent_state& c, int k,
                               const soil_layer_geometry& geometry, const soil_water_moves& moves,
                               const double* gw_conc, bool nutrient, double dx) {
  const std::size_t kk = std::size_t(k);
  cell_layer_table& mass = c.soil_mass[kk];
  cell_layer_table& conc = c.soil_conc[kk];
  const cell_layer_table& fraction = c.soil_fraction_dissolved[kk];
  const double area = dx * dx;
  double leached = 0.0, gained = 0.0;
  for (int j = 1; j <= mass.cells; ++j) {
    if (moves.skip != nullptr && moves.skip[j]) continue;
    double& top = mass.at(j, 1);
    if (!c.ov_sed_soil_mass.empty() && std::abs(c.ov_sed_soil_mass[kk][j]) > tiny) {
      // What the sediment took or gave; booked as the change it made.
      const double before = top;
      top += c.ov_sed_soil_mass[kk][j];
      if (top < -tiny) top = 0.0;
      c.ov_sed_soil_mass[kk][j] = top - before;
    }
    const int n = geometry.layers[std::size_t(j)];
    const bool exfiltrating = moves.exfiltrating != nullptr && moves.exfiltrating[j] == 1 &&
                              moves.model != soil_water_model::plain;
    set_water(work, c, geometry, moves, j, n, nutrient, exfiltrating);

    // Water across the interfaces becomes mass at the dissolved concentration
    // of the layer it leaves.
    double* flux = work.interface;
    auto dissolved = [&](int l) {
      return work.water[l] > tiny ? mass.at(j, l) * fraction.at(j, l) / (dx * work.water[l] * dx)
                                  : 0.0;
    };
    if (exfiltrating) {
      for (int l = 1; l <= n; ++l) flux[l - 1] = dissolved(l) * flux[l - 1] * area;
      flux[n] = gw_conc != nullptr ? gw_conc[j] * flux[n] * area : 0.0;
      c.soil_exfil_mass[kk][j] -= flux[0];
    } else {
      for (int l = 1; l <= n; ++l) flux[l] = dissolved(l) * flux[l] * area;
    }
    if (flux[n] >= 0.0) {
      leached += flux[n];
    } else {
      gained -= flux[n];
    }

    if (!c.static_conc) {
      top = top - c.soil_exchange_mass[kk][j] + c.soil_top_mass[kk][j];
      for (int l = 1; l <= n; ++l) mass.at(j, l) += flux[l - 1] - flux[l];
    }
    for (int l = 1; l <= n; ++l) {
      conc.at(j, l) = soil_layer_concentration(mass.at(j, l), geometry.porosity.at(j, l),
                                               geometry.thickness.at(j, l), dx);
    }
  }
  c.soil_leach_dmt[kk] += leached;
  c.soil_gw_gain_dmt[kk] += gained;
}

soil_layer_booking book_soil_layers(constituent_state& c, int k,
                                    const soil_layer_geometry& geometry) {
  const std::size_t kk = std::size_t(k);
  cell_layer_table& mass = c.soil_mass[kk];
  cell_layer_table& conc = c.soil_conc[kk];
  soil_layer_booking b;
  for (int j = 1; j <= mass.cells; ++j) {
    double sum = 0.0;
    for (int l = 1; l <= geometry.layers[std::size_t(j)]; ++l) {
      if (mass.at(j, l) < 0.0) {
        mass.at(j, l) = 0.0;
        conc.at(j, l) = 0.0;
      }
      sum += mass.at(j, l);
    }
    c.land_surface_mass[kk][j] = sum;
    double& exfil = c.soil_exfil_mass[kk][j];
    c.cell_exfil_mass[kk][j] += exfil;
    b.exfiltrated += exfil;
    exfil = 0.0;
    double& top = c.soil_top_mass[kk][j];
    b.infiltrated += top;
    top = 0.0;
    double& exchange = c.soil_exchange_mass[kk][j];
    b.exchanged += exchange;
    if (exchange > 0.0) {
      b.released += exchange;
    } else {
      b.taken_up -= exchange;
    }
    exchange = 0.0;
    if (!c.ov_sed_soil_mass.empty()) {
      b.sediment += c.ov_sed_soil_mass[kk][j];
      c.ov_sed_soil_mass[kk][j] = 0.0;
    }
  }
  return b;
}
