#pragma once
// The overland face laws without lakes, inline for the sweeps of
// face_fluxes.cpp and for the routers that compute a face's flux and apply
// it in one pass: Manning out of the higher stage, the layered law of
// wetland cells and Darcy flow through a snow pack.

#include <cmath>

#include "surface/face_fluxes.h"
#include "surface/manning_power.h"
#include "surface/surface_state.h"

namespace ov_face {

constexpr double water_viscosity = 1e-6;  // kinematic, m2/s

// Manning discharge through one face of width dx (m3/s) for flowing depth
// g (m), roughness n and slope magnitude s: g^(2/3) / n x sqrt(s) x g x dx,
// with g^(2/3) x g taken as one power.
inline double manning_face(double g, double n, double s, double dx) {
  return manning_power(g) * (1.0 / n) * std::sqrt(s) * dx;
}

inline int wetland_at(const face_inputs& in, int c) {
  return in.wetland_mask != nullptr ? in.wetland_mask[c] : 0;
}

// Out of the upstream cell by its flowing depth g (m) and roughness n on the
// signed slope s: Manning, or Darcy through cell i's snow pack when it holds
// snow, unless the pack's Reynolds number (from i's full depth, whichever
// side is upstream) reaches the threshold.
template <bool extras = true>
inline double upstream_flux(const face_inputs& in, const double* depth, int i, double s, double g,
                            double n) {
  if (!(g > 0.0)) return 0.0;
  if (extras && in.snow_we != nullptr && in.snow_darcy != 0.0 && in.snow_we[i] > 0.0) {
    const double reynolds = std::fabs(s * in.snow_darcy * depth[i] / water_viscosity);
    if (!(in.snow_reynolds != 0.0 && reynolds >= in.snow_reynolds))
      return s * in.snow_darcy * g * in.dx;
  }
  const double q = manning_face(g, n, std::fabs(s), in.dx);
  return s > 0.0 ? q : -q;
}

// A wetland cell of depth h upstream on the signed slope s: seepage k1 x S x
// h up to d0; above it the seepage of d0, plus Manning and the faster seepage
// k2 blended over the depth P above d0, Manning alone from P on.
inline double wetland_face(const wetland_law& w, double h, double s, double dx) {
  if (!(h > w.d0)) return s * h * w.k1 * dx;
  const double g = h - w.d0;
  const double a = s * w.d0 * w.k1 * dx;
  const double b = g * s * w.k2 * dx;
  const double m = std::sqrt(std::fabs(s)) / w.n * manning_power(g) * dx;
  const double j = s > 0.0 ? m : -m;
  if (g < w.p) return (1.0 - g / w.p) * b + j * g / w.p + a;
  return a + j;
}

// A wetland cell j upstream of a cell i that is not a wetland, on a grid
// without lakes: nothing up to d0, then Manning on the depth above d0 with the
// wetland's n, blended with the faster seepage over P.
inline double wetland_into_free(const wetland_law& w, double h, double s, double dx) {
  if (!(h > w.d0)) return 0.0;
  const double g = h - w.d0;
  const double j = -std::sqrt(std::fabs(s)) / w.n * std::pow(g, 2.0 / 3.0);
  if (g < w.p) return ((1.0 - g / w.p) * s * w.k2 + j * g / w.p) * g * dx;
  return j * g * dx;
}

// The law without lakes; extras false leaves out the wetland and snow
// branches, for runs that have neither.
template <bool extras>
inline double face_law(const face_inputs& in, const double* depth, int i, int j) {
  const double* z = in.elevation;
  const double slope = ((depth[i] + z[i]) - (depth[j] + z[j])) / in.dx;
  if (slope > 0.0) {
    const int wi = extras ? wetland_at(in, i) : 0;
    if (wi > 0) return wetland_face(wetland_law_of(in.wetland_types[wi]), depth[i], slope, in.dx);
    return upstream_flux<extras>(in, depth, i, slope, depth[i] - in.retent_dep[i],
                                 in.dist_rough[i]);
  }
  if (slope < 0.0) {
    const int wj = extras ? wetland_at(in, j) : 0;
    if (wj > 0) {
      const wetland_law w = wetland_law_of(in.wetland_types[wj]);
      if (wetland_at(in, i) > 0) return wetland_face(w, depth[j], slope, in.dx);
      return wetland_into_free(w, depth[j], slope, in.dx);
    }
    return upstream_flux<extras>(in, depth, i, slope, depth[j] - in.retent_dep[j],
                                 in.dist_rough[j]);
  }
  return 0.0;  // equal stages, or a stage that is not a number
}

inline bool has_extras(const face_inputs& in) {
  return in.wetland_mask != nullptr || (in.snow_we != nullptr && in.snow_darcy != 0.0);
}

inline bool face_closed(const face_inputs& in, int i, int j, int closed_side) {
  return j == 0 || (in.dike_mask != nullptr && (in.dike_mask[i] & closed_side) != 0);
}

}  // namespace ov_face
