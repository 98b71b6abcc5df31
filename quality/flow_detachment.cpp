// Soil picked up by the shear of flowing water, in proportion to how far the
// suspended load falls short of what the flow can carry: loose deposit
// first, then parent soil by its excess shear over the critical one.

#include <cmath>

#include "quality/sediment_kernels.h"

namespace {

constexpr double sediment_density = 2645.23;    // kg/m3
constexpr double water_unit_weight = 9792.342;  // N/m3
constexpr double tiny = 1e-16;

}  // namespace

void flow_detachment(int cell, double S, double h, double dt, double dx, double capacity,
                     sediment_state& sed) {
  using namespace sed_element;
  if (!(h > tiny) || !(S > tiny)) return;
  const int n = sed.classes;
  double carried = 0.0;
  for (int i = 1; i <= n; ++i) carried += sed.vol(cell, i)[suspended];
  if (!(capacity > carried)) return;
  const double tau = water_unit_weight * h * S;  // N/m2
  const double shortfall = 1.0 - carried / capacity;
  const double per_stress = sed.detach_coef[cell] * shortfall * dt * dx * dx / sediment_density;
  const double power = std::pow(tau, sed.detach_exp[cell]);
  const double full = per_stress * power;  // m3
  // A soil that gives nothing to the full shear gives nothing to its excess
  // either; the loose deposit's share below would be 0 / 0.
  if (!(full > tiny)) return;
  const double crit = sed.detach_crit[cell];
  // Without a critical stress (or one too small to change the shear) the
  // excess is the full shear, whose power is known.
  const double over = tau - crit;
  const double excess =
      tau > crit ? per_stress * (over == tau ? power : std::pow(over, sed.detach_exp[cell])) : 0.0;
  const double loose = loose_deposit(sed, cell);
  if (loose > full) {
    lift_loose_deposit(sed, cell, loose, full);
    return;
  }
  // A channel bed gives up only what lies loose on it.
  if (sed.channel_cells[cell] != 0) return;
  // The loose deposit takes up its share of the flow's work first.
  lift_deposit_and_soil(sed, cell, excess * (1.0 - loose / full));
}
