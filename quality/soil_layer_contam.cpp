// The soil layers of the dissolved constituents: water contents, dissolved
// shares, first-order loss and concentrations. Pure kernels over the state
// they are handed; the soil-layer step decides when they run.
//
// The dissolved share is theta / ((1 - theta) x 2.65 x J + theta): the
// layer's water holds theta x C per unit volume and its solids
// (1 - theta) x 2.65 x J x C, so the share stays within 0 and 1 and is 1
// without sorption (J = 0). The loss is capped by that share, so a layer never
// loses mass its solids hold.

#include "quality/soil_layer_contam.h"

#include <algorithm>

namespace {

constexpr double tiny = 1e-16;

// Water content of a layer holding water (m) over thickness (m) from top to
// bottom (m below ground), with the water table at table (m below ground):
// saturated at porosity below the table.
double layer_below_table(double water, double top, double bottom, double thickness,
                         double porosity, double table) {
  if (table >= bottom) return water / thickness;
  if (table > top) return (water + (bottom - table) * porosity) / thickness;
  return porosity;
}

}  // namespace

double soil_dissolved_fraction(double theta, double partition) {
  // A dry layer that sorbs nothing still holds its mass as dissolved.
  const double parts = (1.0 - theta) * partition * soil_particle_density + theta;
  return parts > 0.0 ? theta / parts : 1.0;
}

double soil_layer_concentration(double mass, double porosity, double thickness, double dx) {
  return mass / ((1.0 - porosity) * thickness * soil_particle_density * 1000.0 * dx * dx) *
         1000.0;
}

double soil_layer_contam_loss(double& mass, double fraction, double rate, double dt,
                              bool static_conc) {
  const double dissolved = fraction * mass;
  const double loss = std::min(dissolved * rate * dt, dissolved);
  if (!static_conc) mass -= loss;
  return loss;
}

double soil_layer_water_fraction(int layer, int layers, double upper_water, double lower_water,
                                 const redistribution_depths& depth, double porosity,
                                 const double* thickness, bool groundwater, double water_table) {
  const double dm = depth.mixing, dt = depth.top, ds = depth.moisture;
  // Layer 2 of two lies above the top-layer depth when the mixing layer is
  // thinner than the top layer, else it is the layer below.
  bool below = layer == 3;
  if (layer == 2 && layers == 2) below = ds - dt >= tiny;
  if (!groundwater) return below ? lower_water / (ds - dt) : upper_water / dt;

  if (water_table <= tiny) return porosity;
  if (layer == 1) {
    return layer_below_table(dm / dt * upper_water / 100.0, 0.0, dm / 100.0, dm / 100.0, porosity,
                             water_table);
  }
  if (!below) {
    return layer_below_table((dt - dm) / dt * upper_water / 100.0, dm / 100.0, dt / 100.0,
                             thickness[layer], porosity, water_table);
  }
  return layer_below_table(lower_water / 100.0, dt / 100.0, ds / 100.0, thickness[layer], porosity,
                           water_table);
}

int layered_soil_layers(double mixing, double depth1, double depth2, double* thickness) {
  if (mixing > tiny && mixing < depth1) {
    thickness[1] = mixing / 100.0;
    thickness[2] = (depth1 - mixing) / 100.0;
    thickness[3] = depth2 / 100.0;
    return 3;
  }
  thickness[1] = depth1 / 100.0;
  thickness[2] = depth2 / 100.0;
  return 2;
}

void split_soil_layers(int layers, double water1, double water2, double porosity1,
                       double porosity2, const double* thickness, double water_table,
                       double* theta) {
  const double d = water_table;
  const double t1 = thickness[1] * 100.0, t2 = thickness[2] * 100.0;
  if (d <= tiny) {
    theta[1] = porosity1;
    theta[2] = layers == 3 ? porosity1 : porosity2;
    if (layers == 3) theta[3] = porosity2;
    return;
  }
  if (layers == 2) {
    theta[1] = d < t1 ? (water1 + (t1 - d) * porosity1) / t1 : water1 / t1;
    if (d < t1) {
      theta[2] = porosity2;
    } else if (d < t1 + t2) {
      theta[2] = (water2 + (t1 + t2 - d) * porosity2) / t2;
    } else {
      theta[2] = water2 / t2;
    }
    return;
  }
  const double t3 = thickness[3] * 100.0;
  if (d < t1) {
    theta[1] = (water1 + (t1 - d) * porosity1) / t1;
    theta[2] = porosity1;
  } else if (d <= t1 + t2) {
    theta[1] = water1 / d;
    theta[2] = d < t1 + t2 ? ((t1 + t2 - d) * porosity1 + (d - t1) / d * water1) / t2
                           : water1 / (t1 + t2);
  } else {
    theta[1] = water1 / (t1 + t2);
    theta[2] = water1 / (t1 + t2);
  }
  if (d < t1 + t2) {
    theta[3] = porosity2;
  } else if (d < t1 + t2 + t3) {
    theta[3] = (water2 + (t1 + t2 + t3 - d) * porosity2) / t3;
  } else {
    theta[3] = water2 / t3;
  }
}

void soil_layer_contam_decay(constituent_state& c, int k, const soil_layer_geometry& geometry,
                             double dx, double dt) {
  const int type = c.constituent_type[std::size_t(k)];
  cell_layer_table& mass = c.soil_mass[std::size_t(k)];
  cell_layer_table& conc = c.soil_conc[std::size_t(k)];
  cell_layer_table& fraction = c.soil_fraction_dissolved[std::size_t(k)];
  const int cells = mass.cells;
  double loss = 0.0;
  for (int j = 1; j <= cells; ++j) {
    const int layers = geometry.layers[std::size_t(j)];
    for (int l = 1; l <= layers; ++l) {
      if (type == 2 || type == 3) {
        fraction.at(j, l) = 1.0;
        continue;
      }
      if (type != 1) continue;
      const double f =
          soil_dissolved_fraction(c.theta.at(j, l), c.cell_partition_coef[std::size_t(k)][j]);
      fraction.at(j, l) = f;
      double& m = mass.at(j, l);
      loss += soil_layer_contam_loss(m, f, c.soil_decay_coef[std::size_t(k)][j], dt,
                                     c.static_conc != 0);
      conc.at(j, l) = soil_layer_concentration(m, geometry.porosity.at(j, l),
                                               geometry.thickness.at(j, l), dx);
    }
  }
  c.soil_decay_dmt[std::size_t(k)] += loss;
}
