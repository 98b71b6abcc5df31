// The overland face law without lakes: q = g^(5/3) / n x sqrt(|S|) x dx
// (m3/s), with S the water-surface slope between the two cells and g the
// flowing depth of the upstream cell (its depth above its retention depth).
// The sign is applied last, so that a face seen from either side gives the
// same magnitude bit for bit and mirrored grids route alike.

#include "surface/face_fluxes.h"

#include <cmath>

#include "core/model_state.h"
#include "surface/cell_loops.h"

namespace {

// Manning discharge through one face of width dx (m3/s) for flowing depth
// g (m), roughness n and slope magnitude s: g^(2/3) / n x sqrt(s) x g x dx,
// with g^(2/3) x g taken as one power.
inline double manning_face(double g, double n, double s, double dx) {
  return std::pow(g, 5.0 / 3.0) * (1.0 / n) * std::sqrt(s) * dx;
}

inline double face_law(const face_inputs& in, const double* depth, int i, int j) {
  const double* z = in.elevation;
  const double slope = ((depth[i] + z[i]) - (depth[j] + z[j])) / in.dx;
  if (slope > 0.0) {
    const double g = depth[i] - in.retent_dep[i];
    return g > 0.0 ? manning_face(g, in.dist_rough[i], slope, in.dx) : 0.0;
  }
  if (slope < 0.0) {
    const double g = depth[j] - in.retent_dep[j];
    return g > 0.0 ? -manning_face(g, in.dist_rough[j], -slope, in.dx) : 0.0;
  }
  return 0.0;  // equal stages, or a stage that is not a number
}

void sweep(const face_inputs& in, const double* depth, const int* next, int closed_side,
           double* flux) {
  const int n = in.cells;
  const int* dikes = in.dike_mask;
#pragma omp parallel for schedule(static) if (n >= parallel_min_cells)
  for (int i = 1; i <= n; ++i) {
    const int j = next[i];
    if (j == 0 || (dikes != nullptr && (dikes[i] & closed_side) != 0)) {
      flux[i] = 0.0;
    } else {
      flux[i] = face_law(in, depth, i, j);
    }
  }
}

}  // namespace

double face_flux(const face_inputs& in, const double* depth, int i, int j) {
  if (j == 0) return 0.0;
  return face_law(in, depth, i, j);
}

void ov_flux_sweep_x(const face_inputs& in, const double* depth, const int* rightcon, double* flux) {
  sweep(in, depth, rightcon, dike_right, flux);
}

void ov_flux_sweep_y(const face_inputs& in, const double* depth, const int* belowcon, double* flux) {
  sweep(in, depth, belowcon, dike_bottom, flux);
}

const int* active_dike_mask(const model_state& state) {
  const std::vector<int>& mask = state.surface.dike_mask;
  const bool dikes =
      state.input.settings.dike_map_given && mask.size() > std::size_t(state.grid.cells);
  return dikes ? mask.data() : nullptr;
}
