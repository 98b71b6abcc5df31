// What rain and flow detachment share once they know how much they lift:
// the loose deposit goes into suspension before any parent soil, class by
// class in its own proportions, and everything lifted is tallied.

#include "quality/sediment_kernels.h"

double loose_deposit(sediment_state& sed, int cell) {
  double loose = 0.0;  // m3
  for (int i = 1; i <= sed.classes; ++i) loose += sed.vol(cell, i)[sed_element::deposited];
  return loose;
}

void lift_loose_deposit(sediment_state& sed, int cell, double loose, double amount) {
  using namespace sed_element;
  double* tally = sed.step_eroded.data() + sed.at(cell, 0);
  for (int i = 1; i <= sed.classes; ++i) {
    sed_volume& v = sed.vol(cell, i);
    const double t = v[deposited] / loose * amount;
    v[deposited] -= t;
    v[suspended] += t;
    tally[i] += t;
    tally[0] += t;
  }
}

void lift_deposit_and_soil(sediment_state& sed, int cell, double soil) {
  using namespace sed_element;
  double* tally = sed.step_eroded.data() + sed.at(cell, 0);
  for (int i = 1; i <= sed.classes; ++i) {
    sed_volume& v = sed.vol(cell, i);
    const double from_soil = soil * sed.fract(cell, i)[parent];
    const double t = from_soil + v[deposited];
    v[suspended] += t;
    v[deposited] = 0.0;
    v[eroded] -= from_soil;
    tally[i] += t;
    tally[0] += t;
  }
}
