// The overland face law: q = g^(5/3) / n x sqrt(|S|) x dx (m3/s), with S the
// water-surface slope between the two cells and g the flowing depth of the
// upstream cell (its depth above its retention depth). The sign is applied
// last, so that a face seen from either side gives the same magnitude bit
// for bit and mirrored grids route alike.
//
// Beside it: the layered law of wetland cells (linear seepage up to d0, then
// a blend of seepage and Manning over the depth P above it), Darcy flow
// through the snow pack of a cell under snow, and the stages of lake cells.
// A lake cell's stage is its lake's level; between two lake cells nothing
// moves, since the lake holds one level. A wetland cell inside a lake is a
// lake cell.

#include "surface/face_fluxes.h"

#include <cmath>

#include "run/model_state.h"
#include "surface/cell_loops.h"

namespace {

constexpr double water_viscosity = 1e-6;  // kinematic, m2/s

// Manning discharge through one face of width dx (m3/s) for flowing depth
// g (m), roughness n and slope magnitude s: g^(2/3) / n x sqrt(s) x g x dx,
// with g^(2/3) x g taken as one power.
inline double manning_face(double g, double n, double s, double dx) {
  return std::pow(g, 5.0 / 3.0) * (1.0 / n) * std::sqrt(s) * dx;
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
  const double m = std::sqrt(std::fabs(s)) / w.n * std::pow(g, 5.0 / 3.0) * dx;
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

// The law with lake stages: lake is each cell's lake number (0 none) and
// level its lake's water-surface elevation. An upstream lake cell drives the
// flow by lake_depth(c), which the lake kind decides.
template <class LakeDepth>
inline double lake_face_law(const face_inputs& in, const double* depth, int i, int j, int lake_i,
                            int lake_j, double level_i, double level_j, LakeDepth lake_depth) {
  if (lake_i > 0 && lake_j > 0) return 0.0;
  const double* z = in.elevation;
  const double stage_i = lake_i > 0 ? level_i : depth[i] + z[i];
  const double stage_j = lake_j > 0 ? level_j : depth[j] + z[j];
  const double slope = (stage_i - stage_j) / in.dx;
  const int wi = lake_i > 0 ? 0 : wetland_at(in, i);
  const int wj = lake_j > 0 ? 0 : wetland_at(in, j);
  if (slope > 0.0) {
    if (wi > 0) return wetland_face(wetland_law_of(in.wetland_types[wi]), depth[i], slope, in.dx);
    const double g = lake_i > 0 ? lake_depth(i, level_i) : depth[i] - in.retent_dep[i];
    return upstream_flux(in, depth, i, slope, g, in.dist_rough[i]);
  }
  if (slope < 0.0) {
    if (wj > 0) {
      const wetland_law w = wetland_law_of(in.wetland_types[wj]);
      if (wi > 0) return wetland_face(w, depth[j], slope, in.dx);
      // Into a cell that is not a wetland the wetland's water runs by
      // Manning above d0, with the cell's own n.
      if (!(depth[j] > w.d0)) return 0.0;
      return -manning_face(depth[j] - w.d0, in.dist_rough[j], -slope, in.dx);
    }
    const double g = lake_j > 0 ? lake_depth(j, level_j) : depth[j] - in.retent_dep[j];
    return upstream_flux(in, depth, i, slope, g, in.dist_rough[j]);
  }
  return 0.0;
}

// Overland lakes: the upstream cell's own water above its retention drives
// the flow, lake cell or not.
inline double olake_face_law(const face_inputs& in, const double* depth, int i, int j) {
  const int li = in.olake_cell[i];
  const int lj = in.olake_cell[j];
  return lake_face_law(in, depth, i, j, li, lj, li > 0 ? in.olakes[li].level : 0.0,
                       lj > 0 ? in.olakes[lj].level : 0.0,
                       [&](int c, double) { return depth[c] - in.retent_dep[c]; });
}

// Channel lakes: an upstream lake cell drives the flow by the lake's depth
// over its ground, whatever water the cell itself shows.
inline double chan_lake_face_law(const face_inputs& in, const double* depth, int i, int j) {
  const int li = in.chan_lake_cell[i];
  const int lj = in.chan_lake_cell[j];
  return lake_face_law(in, depth, i, j, li, lj, li > 0 ? in.chan_lake_elev[li] : 0.0,
                       lj > 0 ? in.chan_lake_elev[lj] : 0.0,
                       [&](int c, double level) { return level - in.elevation[c]; });
}

inline bool face_closed(const face_inputs& in, int i, int j, int closed_side) {
  return j == 0 || (in.dike_mask != nullptr && (in.dike_mask[i] & closed_side) != 0);
}

void sweep(const face_inputs& in, const double* depth, const int* next, int closed_side,
           double* flux) {
  const int n = in.cells;
  if (in.olake_cell != nullptr) {
    // The overland-lake law reads the lake records, which the lake step
    // changes between calls; one pass in cell order.
    for (int i = 1; i <= n; ++i) {
      const int j = next[i];
      flux[i] = face_closed(in, i, j, closed_side) ? 0.0 : olake_face_law(in, depth, i, j);
    }
    return;
  }
  if (in.chan_lake_cell != nullptr) {
#pragma omp parallel for schedule(static) if (n >= parallel_min_cells)
    for (int i = 1; i <= n; ++i) {
      const int j = next[i];
      flux[i] = face_closed(in, i, j, closed_side) ? 0.0 : chan_lake_face_law(in, depth, i, j);
    }
    return;
  }
  if (has_extras(in)) {
#pragma omp parallel for schedule(static) if (n >= parallel_min_cells)
    for (int i = 1; i <= n; ++i) {
      const int j = next[i];
      flux[i] = face_closed(in, i, j, closed_side) ? 0.0 : face_law<true>(in, depth, i, j);
    }
    return;
  }
#pragma omp parallel for schedule(static) if (n >= parallel_min_cells)
  for (int i = 1; i <= n; ++i) {
    const int j = next[i];
    flux[i] = face_closed(in, i, j, closed_side) ? 0.0 : face_law<false>(in, depth, i, j);
  }
}

}  // namespace

wetland_law wetland_law_of(const wetland_record& type) {
  const auto& v = type.value;
  return {v[0], v[2], v[3], v[4], v[6]};
}

double face_flux(const face_inputs& in, const double* depth, int i, int j) {
  if (j == 0) return 0.0;
  if (in.olake_cell != nullptr) return olake_face_law(in, depth, i, j);
  if (in.chan_lake_cell != nullptr) return chan_lake_face_law(in, depth, i, j);
  return face_law<true>(in, depth, i, j);
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

face_inputs face_inputs_of(const model_state& state) {
  const grid_state& g = state.grid;
  const surface_state& sf = state.surface;
  const channel_state& chan = state.channel;
  const std::size_t size = std::size_t(g.cells) + 1;
  face_inputs in;
  in.cells = g.cells;
  in.dx = g.dx;
  in.elevation = g.elevation.data();
  in.retent_dep = sf.retent_dep.data();
  in.dist_rough = sf.dist_rough.data();
  in.dike_mask = active_dike_mask(state);
  if (sf.wetlands > 0 && sf.wetland_mask.size() >= size &&
      sf.wetland_types.size() > std::size_t(sf.wetlands)) {
    in.wetland_mask = sf.wetland_mask.data();
    in.wetland_types = sf.wetland_types.data();
  }
  // The snow water equivalent comes with the snow model; without it no cell
  // holds snow and the Darcy branch stays idle.
  in.snow_darcy = state.input.settings.snow_darcy;
  in.snow_reynolds = state.input.settings.snow_reynolds;
  const std::vector<double>& swe = state.soil.snow.swe;
  if (in.snow_darcy != 0.0 && swe.size() == size) in.snow_we = swe.data();
  if (sf.overland_lakes && sf.oland_lake_new.size() >= size && !sf.olakes.empty()) {
    in.olake_cell = sf.oland_lake_new.data();
    in.olakes = sf.olakes.data();
  } else if (chan.channel_lakes && chan.lake_mask.size() >= size && !chan.lake_elev.empty()) {
    in.chan_lake_cell = chan.lake_mask.data();
    in.chan_lake_elev = chan.lake_elev.data();
  }
  return in;
}
