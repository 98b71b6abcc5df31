// Soil thrown up by raindrops: loose deposit goes first, and only rain that
// could lift more than lies loose breaks parent soil, in the soil's own mix.
// Ponded water deeper than a drop's reach damps the splash.

#include <cmath>

#include "quality/sediment_kernels.h"

namespace {

constexpr double sediment_density = 2645.23;  // kg/m3
constexpr double tiny = 1e-16;

}  // namespace

void splash_coefficients(double intensity, double& a, double& b) {
  if (intensity < 10.0) {
    a = 2.69e-8;
    b = 1.6896;
  } else if (intensity < 50.0) {
    a = 3.75e-8;
    b = 1.5545;
  } else if (intensity < 100.0) {
    a = 6.12e-8;
    b = 1.4242;
  } else {
    a = 1.175e-7;
    b = 1.2821;
  }
}

splash_rain rain_splash(double intensity) {
  splash_rain rain;
  rain.intensity = intensity;
  splash_coefficients(intensity, rain.a, rain.b);
  if (intensity > tiny) {
    rain.reach = 0.00124 * std::pow(intensity, 0.182);
    rain.power = std::pow(intensity, rain.b);
  }
  return rain;
}

void splash_detachment(int cell, const splash_rain& rain, double h, double dt, double dx,
                       sediment_state& sed) {
  if (!(rain.intensity > tiny)) return;
  const double reach = rain.reach;  // m
  const double damping = h > reach ? std::exp(1.0 - h / reach) : 1.0;
  const double lifted = damping * sed.splash_K[cell] * rain.a * rain.power * dt * dx * dx /
                        sediment_density;  // m3
  const double loose = loose_deposit(sed, cell);
  if (loose > tiny && loose > lifted) {
    lift_loose_deposit(sed, cell, loose, lifted);
    return;
  }
  // A channel bed gives up only what lies loose on it.
  if (sed.channel_cells[cell] != 0) return;
  lift_deposit_and_soil(sed, cell, lifted - loose);
}
