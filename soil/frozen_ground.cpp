// The frozen-ground index: an hourly decay of the frost, plus the hour's
// frost (or thaw) in degree-days, the frost lessened under the snow cover
// by exp(-0.4 K D) with the snow water equivalent D in cm. Frozen ground
// conducts heat less readily than thawing ground, hence the smaller K
// below freezing.

#include "soil/frozen_ground.h"
#include "surface/cell_loops.h"

#include <cmath>

namespace {

constexpr double hourly_decay = 0.99875;
constexpr double snow_damping = -0.4;         // per cm of snow water equivalent and unit of K
constexpr double missing_temp = -9990.0;      // at or below: an unread grid's fill
constexpr double cm_per_m = 100.0;

double conductivity(double t) { return t < 0.0 ? 0.08 : 0.5; }

}  // namespace

void frozen_ground_index(const frozen_ground_inputs& in, double* index) {
#pragma omp parallel for schedule(static) num_threads(team_for(in.cells, cells_per_thread))
  for (int i = 1; i <= in.cells; ++i) {
    if ((in.oland_lake != nullptr && in.oland_lake[i] > 0) ||
        (in.chan_lake != nullptr && in.chan_lake[i] > 0))
      continue;
    const double t = in.cell_air_temp != nullptr ? in.cell_air_temp[i] : in.air_temp;
    if (t <= missing_temp) continue;
    const double d = in.swe != nullptr ? in.swe[i] * cm_per_m : 0.0;
    double f = hourly_decay * index[i] - std::exp(snow_damping * conductivity(t) * d) * t / 24.0;
    if (f < 0.0) f = 0.0;
    if (in.snow_no_infiltrate && d > 0.0) f = snow_frozen_index;
    index[i] = f;
  }
}
