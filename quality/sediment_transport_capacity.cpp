// How much sediment overland flow can carry through a face in one step, by
// the formula the run chose, and the median diameter of a cell's sediment
// that formulas 3 to 6 need.

#include <cmath>

#include "quality/sediment_kernels.h"

namespace {

constexpr double water_unit_weight = 9792.342;  // N/m3
constexpr double water_density = 998.2;         // kg/m3
constexpr double sediment_density = 2645.23;    // kg/m3
constexpr double tiny = 1e-16;

// A band of the median diameter (micrometres, from its lower bound) with
// its three coefficients.
struct diameter_band {
  double from;
  double c1, c2, c3;
};

// Formula 5: a, b (slope exponent), e (discharge exponent).
constexpr diameter_band discharge_bands[] = {
    {0.0, 6.16595, 1.9, 1.1},       {33.0, 10.96478, 1.94, 1.19}, {61.0, 9.332543, 1.77, 1.79},
    {122.0, 64.56542, 2.96, 2.18},  {190.0, 20.41738, 2.81, 3.1},
};
// Formula 6: threshold shear velocity t (cm/s), exponent e, coefficient a.
constexpr diameter_band shear_bands[] = {
    {0.0, 1.4, 2.88, 0.035},   {33.0, 1.4, 2.95, 0.052},   {61.0, 1.45, 3.74, 0.029},
    {122.0, 1.55, 4.14, 0.024}, {190.0, 1.8, 5.06, 0.0092},
};

// The band holding D; a diameter on a bound belongs to the upper band.
const diameter_band& band_of(const diameter_band (&bands)[5], double d50) {
  int k = 0;
  for (int b = 1; b < 5; ++b)
    if (d50 >= bands[b].from) k = b;
  return bands[k];
}

// Refreshes the fractions of element source from the class volumes of that
// element, whose total is given.
void refresh_fractions(sediment_state& sed, int cell, int source, double total) {
  const double per_volume = 1.0 / total;
  for (int i = 1; i <= sed.classes; ++i)
    sed.fract(cell, i)[source] = sed.vol(cell, i)[source] * per_volume;
}

double element_total(const sediment_state& sed, int cell, int element) {
  double total = 0.0;
  for (int i = 1; i <= sed.classes; ++i) total += sed.vol(cell, i)[element];
  return total;
}

// Formula 1 sums its load over the classes of the cell's current mix.
double engelund_hansen(int cell, double S, double h, double V, double dt, double dx,
                       sediment_state& sed) {
  using namespace sed_element;
  const int n = sed.classes;
  sed_volume& cell_total = sed.vol(cell, 0);
  cell_total[suspended] = element_total(sed, cell, suspended);
  int source = parent;
  if (cell_total[suspended] >= tiny) {
    source = suspended;
    refresh_fractions(sed, cell, suspended, cell_total[suspended]);
  } else {
    cell_total[deposited] = element_total(sed, cell, deposited);
    if (cell_total[deposited] >= tiny) {
      source = deposited;
      refresh_fractions(sed, cell, deposited, cell_total[deposited]);
    }
  }
  const double sh = S * h;
  const double flow = 0.05 * dx * V * V * sh * std::sqrt(sh);  // (S h)^1.5
  double sum = 0.0;
  for (int i = 1; i <= n; ++i) sum += sed.fract(cell, i)[source] * sed.load_factor[i];
  return dt * sed.sed_K[cell] * flow * sum;
}

}  // namespace

double sediment_d50(int cell, sediment_state& sed) {
  using namespace sed_element;
  const int n = sed.classes;
  double result = sed.part_diam[n];
  int source = parent;
  const double susp = element_total(sed, cell, suspended);
  if (susp >= tiny) {
    source = suspended;
    refresh_fractions(sed, cell, suspended, susp);
  } else {
    const double dep = element_total(sed, cell, deposited);
    if (dep >= tiny) {
      source = deposited;
      refresh_fractions(sed, cell, deposited, dep);
    }
  }
  double sum = 0.0;
  for (int i = n; i >= 1; --i) {
    const double f = sed.fract(cell, i)[source];
    sum += f;
    if (sum < 0.5) continue;
    // A coarsest class holding half the mix is the median itself;
    // interpolating past it would weigh the next class negatively.
    if (i == n) return sed.part_diam[n] * 1000.0;
    const double upper = sed.fract(cell, i + 1)[source];
    return std::exp(std::log(sed.part_diam[i] / sed.part_diam[i + 1]) * (0.5 - upper) /
                        (sum - upper) +
                    std::log(sed.part_diam[i + 1])) *
           1000.0;
  }
  return result;
}

double sediment_transport_capacity(int formula, int cell, double S, double h, double q,
                                   double dt, double dx, sediment_state& sed) {
  if (q < tiny || h < tiny) return 0.0;
  const double V = q / h;                            // m/s
  const double scale = dt * dx / sediment_density;  // step scale
  switch (formula) {
    case 1:
      return engelund_hansen(cell, S, h, V, dt, dx, sed);
    case 2:
      return 1.7e8 * std::pow(S, 1.6667) * std::pow(q, 2.035) * sed.sed_K[cell] * scale;
    case 3: {
      const double x = V * S * 100.0;
      const double d = sediment_d50(cell, sed);
      if (d < 122.0) return 0.006025596 * std::pow(x, 1.52) * std::pow(d, 0.59) / 10.0 * scale;
      return 0.316227766 * std::pow(x, 2.59) * std::pow(d, -0.39) / 10.0 * scale;
    }
    case 4: {
      // Stream power in erg/(cm2 s); the load comes out in g/(cm s) like
      // formulas 3, 5 and 6, so it is a rate that the step scale turns into
      // the volume through the face over the step (not sed_K, as for them).
      const double p = std::pow(water_unit_weight * h * S * V * 1000.0, 1.5);
      const double d = sediment_d50(cell, sed);
      if (d < 122.0) return 1.977e-6 * std::pow(p, 1.044) * std::pow(d, 0.478) / 10.0 * scale;
      return 4.6e-7 * std::pow(p, 1.75) * std::pow(d, -0.56) / 10.0 * scale;
    }
    case 5: {
      const double x = q * 100.0 * 100.0;
      const diameter_band& b = band_of(discharge_bands, sediment_d50(cell, sed));
      return b.c1 * std::pow(S, b.c2) * std::pow(x, b.c3) / 10.0 * scale;
    }
    case 6: {
      const double u = std::sqrt(water_unit_weight * h * S / water_density) * 100.0;  // cm/s
      const diameter_band& b = band_of(shear_bands, sediment_d50(cell, sed));
      if (u <= b.c1) return 0.0;
      return b.c3 * std::pow(u - b.c1, b.c2) / 10.0 * scale;
    }
    default:
      return q;
  }
}
