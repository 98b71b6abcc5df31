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
#include "surface/face_law.h"

namespace {

using namespace ov_face;

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
#pragma omp parallel for schedule(static) num_threads(team_for(n, cells_per_thread))
    for (int i = 1; i <= n; ++i) {
      const int j = next[i];
      flux[i] = face_closed(in, i, j, closed_side) ? 0.0 : chan_lake_face_law(in, depth, i, j);
    }
    return;
  }
  if (has_extras(in)) {
#pragma omp parallel for schedule(static) num_threads(team_for(n, cells_per_thread))
    for (int i = 1; i <= n; ++i) {
      const int j = next[i];
      flux[i] = face_closed(in, i, j, closed_side) ? 0.0 : face_law<true>(in, depth, i, j);
    }
    return;
  }
#pragma omp parallel for schedule(static) num_threads(team_for(n, cells_per_thread))
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
