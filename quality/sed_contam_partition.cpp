// The linear partition of a cell's constituent mass between its water and
// its fine suspended sediment. Kd is in L/kg and the sediment concentration
// in g/m3, so Kd / 1e6 x concentration is the sediment's share relative to
// the water's.

#include "quality/sed_contam_partition.h"

namespace {

constexpr double tiny = 1e-16;

}  // namespace

double sed_contam_partition(int classes, const double* density, const int* sand,
                            const double* volume, double depth, double dx, double kd,
                            double total_mass, double previous_dissolved,
                            const sed_partition_out& out) {
  out.sed_conc[0] = 0.0;
  if (!(depth > tiny)) return previous_dissolved;
  const double water = dx * depth * dx;
  for (int k = 1; k <= classes; ++k) {
    out.sed_conc[k] = density[k] * volume[k] / water;
    if (!sand[k]) out.sed_conc[0] += out.sed_conc[k];
  }
  double sorbed = 0.0;
  for (int k = 1; k <= classes; ++k)
    if (!sand[k]) sorbed += kd / 1e6 * out.sed_conc[k];
  double attached = 0.0;
  out.attached[0] = 0.0;
  out.contam_conc[0] = 0.0;
  for (int k = 1; k <= classes; ++k) {
    const double f = sand[k] ? 0.0 : kd / 1e6 * out.sed_conc[k] / (sorbed + 1.0);
    out.attached[k] = f;
    out.attached[0] += f;
    out.contam_conc[k] = volume[k] > tiny ? f * total_mass / volume[k] : 0.0;
    out.contam_conc[0] += out.contam_conc[k];
    attached += f;
  }
  return 1.0 - attached;
}
