// The particle classes: the water's viscosity at the run's temperature, each
// class's density and settling velocity, and which classes count as sand.

#include <cmath>

#include "quality/sediment_kernels.h"

namespace {

constexpr double gravity = 9.81;         // m/s2
constexpr double water_density = 998.2;  // kg/m3

}  // namespace

double water_viscosity(double temperature) {
  const double t = temperature < 0.0 ? 0.0 : temperature;
  return 7.125025025025025e-10 * std::pow((6005.52 + t) / (t + 45.28), 1.6012);
}

double fall_velocity(double diameter, double spec_grav, double nu) {
  const double d = diameter / 1000.0;  // m
  if (d > 1e-4) {
    // Beyond Stokes' range the drag grows with the particle's
    // dimensionless diameter.
    const double dstar = std::pow((spec_grav - 1.0) * gravity / (nu * nu), 0.3333333) * d;
    return (std::sqrt(0.0139 * dstar * dstar * dstar + 1.0) - 1.0) * 8.0 * nu / d;
  }
  return (spec_grav - 1.0) * gravity * d * d / (18.0 * nu);
}

void setup_sediment_classes(sediment_state& sed) {
  const int n = sed.classes;
  sed.viscosity = water_viscosity(sed.water_temp);
  sed.density.assign(n + 1, 0.0);
  sed.fall_velocity.assign(n + 1, 0.0);
  sed.load_factor.assign(n + 1, 0.0);
  sed.sand.assign(n + 1, 0);
  sed.sed_class.assign(n + 1, 0);
  sed.fine_count = 0;
  sed.sand_count = 0;
  for (int i = 1; i <= n; ++i) {
    sed.density[i] = sed.spec_grav[i] * water_density * 1000.0;
    sed.fall_velocity[i] = fall_velocity(sed.part_diam[i], sed.spec_grav[i], sed.viscosity);
    const double g1 = sed.spec_grav[i] - 1.0;
    sed.load_factor[i] = 1.0 / (g1 * g1 * (sed.part_diam[i] / 1000.0) * std::sqrt(gravity));
    sed.sand[i] = sed.part_diam[i] >= sed.sand_size ? 1 : 0;
    if (sed.sand[i]) ++sed.sand_count;
    else ++sed.fine_count;
  }
  int k = 0;
  for (int i = 1; i <= n; ++i)
    if (!sed.sand[i]) sed.sed_class[++k] = i;
  for (int i = 1; i <= n; ++i)
    if (sed.sand[i]) sed.sed_class[++k] = i;
}
