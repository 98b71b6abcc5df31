// Set-up of the per-cell soil state once the grid inputs are read: the
// method's working arrays cleared, the simple soil-moisture store sized and
// filled from the initial contents, the Richards columns' top boundaries,
// the starting soil and overland-lake storages the summaries balance
// against, and a long-term run's hourly evapotranspiration arrays.

#include <cstdio>

#include "run/model_state.h"
#include "core/not_available.h"
#include "subsurface/groundwater_setup.h"
#include "input/read_grid_inputs.h"
#include "soil/evapo_trans.h"
#include "soil/snow_melt.h"
#include "soil/soil_steps.h"

namespace {

bool allocate_method_arrays(model_state& state) {
  soil_state& s = state.soil;
  const input_state& in = state.input;
  const int n = state.grid.cells;
  bool ok = allocate_per_cell(s.cum_inf, n, "cum_inf") &&
            allocate_per_cell(s.prev_cum_inf, n, "prev_cum_inf") &&
            allocate_per_cell(s.event_inf, n, "event_inf") &&
            allocate_per_cell(s.inf_rate, n, "inf_rate") &&
            allocate_per_cell(s.deep_perc, n, "deep_perc") &&
            allocate_per_cell(s.drain1, n, "drain1") && allocate_per_cell(s.drain2, n, "drain2") &&
            allocate_per_cell(s.drain3, n, "drain3");
  if (!ok) return false;
  if (in.inf_redist) {
    ok = allocate_per_cell(s.iter_pond_1, n, "iter_pond_1") &&
         allocate_per_cell(s.iter_n, n, "iter_n") &&
         allocate_per_cell(s.no_wat_prof, n, "no_wat_prof") &&
         allocate_per_cell(s.iter_i_less_k, n, "iter_i_less_k") &&
         allocate_per_cell(s.front1_depth, n, "redist_front1_depth") &&
         (s.front_theta.size() == std::size_t(n) + 1 ||
          allocate_per_cell(s.front_theta, n, "redist_front_theta")) &&
         (s.theta_out.size() == std::size_t(n) + 1 ||
          allocate_per_cell(s.theta_out, n, "redist_theta_out"));
    if (!ok) return false;
  }
  if (in.inf_redist || in.inf_layered_soil) {
    ok = allocate_per_cell(s.yes_exfil, n, "yes_exfil") &&
         allocate_per_cell(s.sm_inf, n, "sm_inf") &&
         allocate_per_cell(s.cum_exfil, n, "cum_exfil") &&
         allocate_per_cell(s.store_depth, n, "store_depth") && allocate_per_cell(s.m1, n, "m1") &&
         allocate_per_cell(s.m2, n, "m2") && allocate_per_cell(s.total_water, n, "total_water") &&
         allocate_per_cell(s.direct_evap, n, "direct_evap") &&
         allocate_per_cell(s.gw_theta, n, "gw_inf_redist_theta");
    if (!ok) return false;
  }
  if (in.inf_richards) {
    // The set-up of the columns may have marked cells whose water table
    // stands at the surface; those marks are kept.
    ok = (s.yes_exfil.size() == std::size_t(n) + 1 ||
          allocate_per_cell(s.yes_exfil, n, "yes_exfil")) &&
         allocate_per_cell(s.direct_evap, n, "direct_evap");
    if (!ok) return false;
  }
  if (in.inf_layered_soil) return allocate_per_cell(s.wetdep, n, "wetdep");
  return true;
}

// Every column starts under a flux boundary with nothing taken in yet.
void init_richards_columns(model_state& state) {
  richards_soil& rs = state.soil.richards;
  for (int i = 1; i <= state.grid.cells; ++i) {
    rs.bound_type[std::size_t(i)] = 1;
    rs.inf_rich[std::size_t(i)] = 0.0;
    rs.event_drain[std::size_t(i)] = 0.0;
  }
}

// The store of one cell: its depth, water-table state and initial water.
void init_store(model_state& state, int i) {
  soil_state& s = state.soil;
  input_state& in = state.input;
  const bool layered = in.inf_layered_soil != 0;
  const soil_type_record* t = layered ? &s.soil_types[s.soiltype[i]] : nullptr;
  s.yes_exfil[i] = 0;
  s.sm_inf[i] = 0.0;
  double d = layered ? t->d1 + t->d2 : in.soil_moist_depth;

  const std::vector<double>& elevgw = state.subsurface.gw.elevgw;
  if (elevgw.size() > static_cast<std::size_t>(i)) {
    s.cum_exfil[i] = 0.0;
    const double below = state.grid.elevation[i] - elevgw[i];  // m
    if (below <= 0.0) {
      if (layered) {
        for (int l = 1; l <= 3; ++l) s.theta_ml[i][l] = t->phi[l];
      } else {
        s.initial_theta[i] = s.porosity[i];
      }
      d = 0.0;
      const channel_state& ch = state.channel;
      const bool in_lake = ch.channel_lakes && i < static_cast<int>(ch.lake_mask.size()) &&
                           ch.lake_mask[i] != 0;
      if (!in_lake) {
        s.yes_exfil[i] = 1;
        state.subsurface.gw_coupling = 1;
      }
    } else {
      if (layered) in.soil_moist_depth = t->d1 + t->d2;
      if (in.soil_moist_depth / 100.0 > below) d = below * 100.0;
    }
    if (in.gw_simulation) {
      groundwater_state& gw = state.subsurface.gw;
      gw.gw_wt_depth[i] = std::min(std::max(below, 0.0) * 100.0, d > 0.0 ? d : 0.0);
      s.gw_theta[i] = gw.gw_porosity[i] * in.settings.single_unsat_sat;
    }
  }
  s.store_depth[i] = d;

  if (layered) {
    const double th1 = s.theta_ml[i][1], th2 = s.theta_ml[i][2];
    if (d <= t->d1) {
      s.m1[i] = d * th1;
      s.m2[i] = 0.0;
    } else if (d < t->d1 + t->d2) {
      s.m1[i] = t->d1 * th1;
      s.m2[i] = (d - t->d1) * th2;
    } else {
      s.m1[i] = t->d1 * th1;
      s.m2[i] = t->d2 * th2;
    }
    s.total_water[i] = s.m1[i] + s.m2[i];
  } else {
    const double thi = s.initial_theta[i];
    const double top = in.top_layer_depth;
    s.total_water[i] = thi * d;
    if (top < d) {
      s.m1[i] = top * thi;
      s.m2[i] = (d - top) * thi;
    } else {
      s.m1[i] = d * thi;
      s.m2[i] = 0.0;
    }
  }
  s.initial_soil_volume += s.total_water[i] / 100.0 * state.grid.dx * state.grid.dx;
}

// A long-term run's hourly arrays: the rates the withdrawal reads (0 until
// the first hour's evapotranspiration), the surface energy balance, the
// reported contents and the frozen-ground index, which starts thawed.
bool allocate_longterm_arrays(model_state& state) {
  soil_state& s = state.soil;
  longterm_state& lt = s.longterm;
  const grid_state& g = state.grid;
  const int n = g.cells;
  lt.et_hours = 0;
  lt.start_skipped = 0;
  lt.et_volume_last_hour = 0.0;
  if (!(allocate_per_cell(s.et_rate1, n, "PET") && allocate_per_cell(s.et_rate2, n, "AET") &&
        allocate_per_cell(lt.surface_temp, n, "surface_temp") &&
        allocate_per_cell(lt.energy_residual, n, "energy_residual") &&
        allocate_per_cell(lt.theta_all, n, "Theta_all") &&
        allocate_per_cell(s.frozen_index, n, "frozen_index") &&
        (s.snow.swe.size() == std::size_t(n) + 1 || alloc_snow_cells(s.snow, n))))
    return false;
  // The slopes are fixed for the run, so the terms of the shortwave they
  // give are found here, once; without slopes each hour finds its own.
  lt.et_slopes.clear();
  const std::size_t size = std::size_t(n) + 1;
  if (n > 0 && g.slope_x.size() == size && g.slope_y.size() == size) {
    if (!allocate_per_cell(lt.et_slopes, n, "et_slopes")) return false;
    find_et_slopes(n, g.slope_x.data(), g.slope_y.data(), lt.et_slopes.data());
  }
  return true;
}

// Every overland lake starts at or above the ground of its cells.
bool sum_overland_lakes(model_state& state) {
  surface_state& sf = state.surface;
  if (!sf.overland_lakes) return true;
  const double area = state.grid.dx * state.grid.dx;
  // The lake map reader summed the same cells; the storage is counted once.
  sf.olake_initial_volume = 0.0;
  const int n = std::min<int>(state.grid.cells, static_cast<int>(sf.oland_lake_mask.size()) - 1);
  for (int i = 1; i <= n; ++i) {
    const int lake = sf.oland_lake_mask[i];
    if (lake <= 0 || lake >= static_cast<int>(sf.olake_init_level.size())) continue;
    const double level = sf.olake_init_level[lake];
    const double ground = state.grid.elevation[i];
    if (level < ground) {
      raise_message(
          "\nWARNING: initial water surface elevation in lake %d is %f which is\n"
          "less than the land surface elevation in grid cell %d, %f.\n"
          "You should either raise your initial lake elevation or lower that grid\n"
          "cell elevation.  Program stopped.\n",
          lake, level, i, ground);
      return false;
    }
    sf.olake_initial_volume += (level - ground) * area;
  }
  return true;
}

}  // namespace

void init_cell_states(model_state& state) {
  input_state& in = state.input;
  soil_state& s = state.soil;
  const bool method = in.green_ampt || in.inf_redist || in.inf_layered_soil || in.inf_richards;
  if (!method && !in.gw_simulation && !in.long_term && !state.surface.overland_lakes) return;
  if (in.gw_simulation) init_groundwater_cells(state);
  if (in.long_term && !allocate_longterm_arrays(state)) return;
  if (in.green_ampt || in.inf_redist) {
    if (in.top_layer_depth < 1e-16) in.top_layer_depth = in.soil_moist_depth;
    if (in.mixing_layer_depth < 1e-16) in.mixing_layer_depth = in.top_layer_depth;
  }
  if (method && !allocate_method_arrays(state)) return;

  const int n = state.grid.cells;
  const bool sma = in.inf_redist || in.inf_layered_soil;
  s.initial_soil_volume = 0.0;
  for (int i = 1; i <= n && method; ++i) {
    if (in.inf_redist) {
      s.front_theta[i] = s.initial_theta[i];
      s.theta_out[i] = s.initial_theta[i];
    }
    if (sma) init_store(state, i);
    if (in.inf_layered_soil) s.wetdep[i] = 0.0;
  }
  if (in.inf_richards) init_richards_columns(state);
  if (!sum_overland_lakes(state)) return;
  s.initial_total_soil = s.initial_soil_volume;
  if (in.inf_richards)
    s.initial_total_soil +=
        richards_column_volume(s.richards, n, state.grid.dx * state.grid.dx);
  if (!sma) return;
  // The soil below the store down to the water table counts with its own content.
  const std::vector<double>& elevgw = state.subsurface.gw.elevgw;
  if (in.gw_simulation && elevgw.size() > static_cast<std::size_t>(n)) {
    const double area = state.grid.dx * state.grid.dx;
    for (int i = 1; i <= n; ++i) {
      const double below = state.grid.elevation[i] - elevgw[i] - s.store_depth[i] / 100.0;
      if (below > 0.0) s.initial_total_soil += below * s.gw_theta[i] * area;
    }
  }
}
