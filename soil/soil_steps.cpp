// The soil subsystem's step routines: the infiltration step with its method
// dispatch and volume bookkeeping, the withdrawal step, the redistribution
// reset of an event's first pass and the event services. The Sacramento
// step is not in this version: it keeps its guard and stops the run as not
// available when it would act.

#include "soil/soil_steps.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/error_state.h"
#include "run/model_state.h"
#include "core/not_available.h"
#include "soil/infiltration_methods.h"
#include "soil/snow_step.h"

namespace {

bool soil_moisture_accounting(const input_state& in) {
  return in.inf_redist || in.inf_layered_soil;
}

// Moves the change of every cell's cumulative depth into the totals.
void book_infiltration(model_state& state) {
  soil_state& soil = state.soil;
  const input_state& in = state.input;
  const int n = state.grid.cells;
  if (soil.cum_inf.size() != static_cast<std::size_t>(n) + 1) return;
  const double area = state.grid.dx * state.grid.dx;
  const bool sma = soil_moisture_accounting(in);
  // The dissolved constituents follow the infiltrated water into the soil.
  std::vector<double>& carried = state.quality.contam.ov_infil_vol;
  const bool constituents = carried.size() == static_cast<std::size_t>(n) + 1;
  // Cell order: the printed totals do not depend on the thread count.
  double volume = 0.0, depth = 0.0;
  for (int i = 1; i <= n; ++i) {
    const double d = soil.cum_inf[i] - soil.prev_cum_inf[i];
    if (constituents) carried[i] += d * area;
    volume += d * area;
    depth += d;
    soil.event_inf[i] += d;
    if (sma) soil.sm_inf[i] += d;
    soil.prev_cum_inf[i] = soil.cum_inf[i];
  }
  soil.infiltrated_volume += volume;
  if (in.sacramento) soil.sac_infiltrated += depth;
}

// Between events of a long-term run the infiltration waits for the next
// event; after the last one it keeps its clock.
void skip_to_next_event(model_state& state) {
  const input_state& in = state.input;
  run_control& run = state.run;
  if (!in.long_term || !soil_moisture_accounting(in)) return;
  if (run.rain_on || state.subsurface.gw_coupling || run.rain_active ||
      state.surface.ponded_water)
    return;
  const int k = run.event_index;
  if (k < 1 || k + 1 >= static_cast<int>(run.event_starts.size()) || k >= run.num_events) return;
  const double next = run.event_starts[k + 1] + run.overland.interval_d;
  run.infiltration.next = next;
  if (in.inf_redist) state.soil.redist_first_pass = 0;
  if (in.ov_con_trans) run.ov_contam_inf.next = next;
}

// Cells whose table stands at the ground trade water between the table and
// the ponded surface through the column: with the groundwater model across
// one aquifer node at the aquifer's conductivity (a table at or below the
// water surface lets it sink at the loss rate), on a fixed table across
// the soil layers at their mean conductivity.
void richards_table_exchange(model_state& state, double dt) {
  soil_state& soil = state.soil;
  const input_state& in = state.input;
  const int n = state.grid.cells;
  groundwater_state& gw = state.subsurface.gw;
  const richards_soil& rs = soil.richards;
  if (gw.elevgw.size() <= static_cast<std::size_t>(n)) return;
  const double area = state.grid.dx * state.grid.dx;
  std::vector<double>& depth = state.surface.depth;
  const bool aquifer = in.gw_simulation && gw.gw_kx.size() > std::size_t(n);
  double volume = 0.0;
  for (int i = 1; i <= n; ++i) {
    if (soil.yes_exfil[i] != 1 || soil_lake_cell(state, i)) continue;
    const double w = gw.elevgw[i];
    const double s = state.grid.elevation[i] + depth[i];
    double q;  // m over dt
    if (aquifer)
      q = w > s ? (w - s) * dt / gw.settings.aquifer_delta_z * gw.gw_kx[i]
                : -(soil.gw_loss_rate / 360000.0) * dt;
    else
      q = (w - s) * rs.avgks[std::size_t(i)] / rs.totaldz[std::size_t(i)] * dt / 3600.0;
    if (depth[i] < -q) {
      q = -depth[i];
      depth[i] = 0.0;
    } else {
      depth[i] += q;
    }
    if (soil.cum_exfil.size() > std::size_t(i)) soil.cum_exfil[i] += q;
    if (aquifer && gw.gw_surface_seep.size() > std::size_t(n)) gw.gw_surface_seep[i] += q;
    volume += q * area;
  }
  soil.exfiltrated_volume += volume;
}

// The Richards form: the columns, the water they sent up, and the surface
// moisture the outputs show.
void richards_step(model_state& state, double dt, bool coupled) {
  soil_state& soil = state.soil;
  if (coupled) richards_table_exchange(state, dt);
  const double up = richards_solve(state, dt);
  if (error_state.stop_flag) return;
  const double area = state.grid.dx * state.grid.dx;
  soil.richards_upward = up;
  soil.evaporated_volume += up * area;
  soil.event_evaporated += up * area;
  const richards_soil& rs = soil.richards;
  const surface_state& sf = state.surface;
  const bool lakes = sf.overland_lakes && !sf.oland_lake_new.empty();
  for (int i = 1; i <= state.grid.cells; ++i)
    if (!lakes || sf.oland_lake_new[i] < 1)
      soil.surface_moisture[i] = rs.theta[std::size_t(i) * std::size_t(rs.row) + 1];
}

}  // namespace

bool soil_lake_cell(const model_state& state, int i) {
  const surface_state& sf = state.surface;
  const channel_state& ch = state.channel;
  if (sf.overland_lakes && i < static_cast<int>(sf.oland_lake_new.size()) &&
      sf.oland_lake_new[i] > 0)
    return true;
  return ch.channel_lakes && i < static_cast<int>(ch.lake_mask.size()) && ch.lake_mask[i] > 0;
}

void water_table_exchange(model_state& state, bool layered, double dt) {
  soil_state& soil = state.soil;
  const input_state& in = state.input;
  const int n = state.grid.cells;
  groundwater_state& gw = state.subsurface.gw;
  if (gw.elevgw.size() <= static_cast<std::size_t>(n)) return;
  const double area = state.grid.dx * state.grid.dx;
  std::vector<double>& depth = state.surface.depth;
  double volume = 0.0;
  for (int i = 1; i <= n; ++i) {
    if (soil.yes_exfil[i] < 1 || soil_lake_cell(state, i)) continue;
    const double w = gw.elevgw[i];
    const double s = state.grid.elevation[i] + depth[i];
    double conductance;  // 1/s
    if (layered) {
      const soil_type_record& t = soil.soil_types[soil.soiltype[i]];
      conductance = t.k[1] / (t.d1 + t.d2) / 3600.0;
    } else {
      conductance = soil.ksat[i] / (in.soil_moist_depth / 100.0);
    }
    double q = (w - s) * conductance * dt;
    if (in.gw_simulation) {
      if (w <= s) q = -(soil.gw_loss_rate / 360000.0) * dt;
    } else {
      q = std::max(0.0, q);
    }
    if (depth[i] < -q) {
      q = -depth[i];
      depth[i] = 0.0;
    } else {
      depth[i] += q;
    }
    soil.cum_exfil[i] += q;
    // The aquifer gives what the surface takes, at its next solve.
    if (in.gw_simulation && gw.gw_surface_seep.size() > std::size_t(n)) gw.gw_surface_seep[i] += q;
    volume += q * area;
  }
  soil.exfiltrated_volume += volume;
}

void reset_redist_state(model_state& state) {
  soil_state& soil = state.soil;
  const input_state& in = state.input;
  const int n = state.grid.cells;
  const double area = state.grid.dx * state.grid.dx;
  soil.redist_first_pass = 1;
  for (int i = 1; i <= n; ++i) {
    soil.iter_pond_1[i] = 0;
    soil.iter_n[i] = 0;
    soil.no_wat_prof[i] = 0;
    soil.iter_i_less_k[i] = 0;
    soil.front1_depth[i] = 0.0;
    soil.cum_inf[i] = 0.0;
    soil.prev_cum_inf[i] = 0.0;
    double thi = soil.initial_theta[i];
    if (in.long_term) {
      thi = store_top_content(state, i);
      thi = restart_content_in_range(i, thi, soil.residual[i], soil.porosity[i]);
      soil.initial_theta[i] = thi;
      if (!in.gw_simulation) {
        soil.deep_perc_volume += soil.deep_perc[i] / 100.0 * area;
        soil.deep_perc[i] = 0.0;
      }
      soil.direct_evap_volume += soil.direct_evap[i] / 100.0 * area;
      soil.direct_evap[i] = 0.0;
    }
    soil.front_theta[i] = thi;
    soil.theta_out[i] = thi;
  }
}

void check_inf_redist_init(model_state& state) {
  const run_control& run = state.run;
  // Its inflow is the overland point sources', which only the constituent
  // model brings.
  if (!state.input.ov_con_trans || !state.input.settings.ov_point_source_given) return;
  if (run.ov_contam_inf.next - run.current_time >= run.tolerance) return;
  raise_not_available("check_inf_redist_init");
}

void update_soil_evap(model_state& state) {
  const input_state& in = state.input;
  run_control& run = state.run;
  if (!soil_moisture_accounting(in)) return;
  if (!run.evap.due(run.current_time)) return;
  const double dt = (run.current_time - run.evap.last) * 86400.0;
  const double depth = in.inf_redist ? et_extract_redist(state, dt) : et_extract_layered(state, dt);
  run.evap.last = run.current_time;
  run.evap.next = run.current_time + run.evap.interval_d;
  state.soil.evaporated_volume += depth * state.grid.dx * state.grid.dx;
}

void infiltration_step(model_state& state) {
  const input_state& in = state.input;
  run_control& run = state.run;
  if (!in.green_ampt && !in.inf_redist && !in.inf_layered_soil && !in.inf_richards) return;
  if (!run.infiltration.due(run.current_time)) return;
  const double dt = (run.current_time - run.infiltration.last) * 86400.0;
  const bool coupled = state.subsurface.gw_coupling == 1;
  if (in.inf_redist) {
    ga_redist_parallel(state, dt);
    ++state.soil.redist_calls;
    if (coupled) water_table_exchange(state, false, dt);
  } else if (in.green_ampt) {
    green_ampt_parallel(state, dt);
  } else if (in.inf_layered_soil) {
    multilayer_ga_parallel(state, dt / 3600.0);
    if (coupled && error_state.stop_flag == 0) water_table_exchange(state, true, dt);
  } else {
    richards_step(state, dt, coupled);
  }
  if (error_state.stop_flag) return;
  book_infiltration(state);
  run.infiltration.last = run.current_time;
  run.infiltration.next = run.current_time + run.infiltration.interval_d;
  skip_to_next_event(state);
}

void sacramento_step(model_state& state) {
  if (!state.input.sacramento) return;
  run_control& run = state.run;
  if (!run.sacramento.due(run.current_time)) return;
  // The basin's demand is the watershed's mean potential rate of the hour;
  // a single event without meteorology offers none.
  const double pet_cm = state.input.long_term ? state.soil.longterm.mean_pet : 0.0;
  account_sacramento_interval(state.soil.sac, pet_cm, state.soil.sac_infiltrated,
                              state.grid.cells, state.grid.dx * state.grid.dx);
  run.sacramento.last = run.current_time;
  run.sacramento.next = run.current_time + run.sacramento.interval_d;
}

void soil_event_start(model_state& state) {
  const input_state& in = state.input;
  soil_state& soil = state.soil;
  if (in.inf_redist && !soil.redist_first_pass) reset_redist_state(state);
  if (in.inf_richards) start_richards_balance(state);
  if (in.sacramento && soil.sac.calls > 0) start_sacramento_event(soil.sac);
  if (!in.long_term) return;
  // What soaked in after the last event's end was no part of it, and is no
  // part of this one: the surface water left then starts this event.
  std::fill(soil.event_inf.begin(), soil.event_inf.end(), 0.0);
  soil.event_start_direct_evap = soil_direct_evaporation(state);
  soil.event_start_recharge = soil_downward_flux(state);
  soil.event_initial_moisture = mean_relative_saturation(state, true);
  soil.event_start_snow = snow_volume(state);
  soil.event_start_melt = soil.snow.melt_volume;
}

void soil_event_end(model_state& state) {
  soil_state& soil = state.soil;
  const input_state& in = state.input;
  const int n = std::min(state.grid.cells, static_cast<int>(soil.event_inf.size()) - 1);
  const double area = state.grid.dx * state.grid.dx;
  double volume = 0.0;
  for (int i = 1; i <= n; ++i) {
    volume += soil.event_inf[i] * area;
    soil.event_inf[i] = 0.0;
  }
  soil.event_infiltrated = volume;
  if (in.long_term) {
    soil.event_direct_evap = soil_direct_evaporation(state) - soil.event_start_direct_evap;
    soil.event_recharge = soil_downward_flux(state) - soil.event_start_recharge;
    soil.event_final_moisture = mean_relative_saturation(state, false);
    soil.event_end_snow = snow_volume(state);
    soil.event_melt = soil.snow.melt_volume - soil.event_start_melt;
    // The next event starts a fresh redistribution state.
    if (in.inf_redist) soil.redist_first_pass = 0;
  }
  if (in.inf_richards) close_richards_balance(state);
}

void richards_event_start(model_state& state) {
  run_control& run = state.run;
  soil_state& soil = state.soil;
  const double dt = (run.current_time - run.infiltration.last) * 86400.0;  // s
  if (dt > 0.0) {
    richards_step(state, dt, state.subsurface.gw_coupling == 1);
    if (error_state.stop_flag) return;
    book_infiltration(state);
    // The columns stand at the event start now; the next interval starts here.
    run.infiltration.last = run.current_time;
  }
  const safe_file& summary = state.output.summary;
  if (summary.is_open()) {
    std::fprintf(summary.stream, "Total evaporation at beginning of event %lf \n",
                 soil.evaporated_volume);
  }
}

double restart_content_in_range(int cell, double thi, double thr, double phi) {
  if (!(thi < thr || thi > phi)) return thi;
  std::printf("cell: %d  thi: %lf  thr: %lf   phi: %lf\n", cell, thi, thr, phi);
  if (thi < thr) {
    thi = thr + 0.01;
    std::printf(
        "Problem initializing inf_redist in main loop, thi<thr at grid cell %d, increasing it to "
        "%lf\n",
        cell, thi);
  } else {
    thi = phi - 0.01;
    std::printf(
        "Problem initializing inf_redist in main loop, thi>phi at grid cell %d, decreasing it to "
        "%lf\n",
        cell, thi);
  }
  return thi;
}

double store_top_content(const model_state& state, int i) {
  const soil_state& soil = state.soil;
  const double d = soil.store_depth[i];
  return d > 1e-16 ? soil.m1[i] / std::min(d, state.input.top_layer_depth) : soil.porosity[i];
}

namespace {

// Depths in cm held by the cells, as a volume, m3.
double cell_cm_volume(const model_state& state, const std::vector<double>& cm) {
  const int n = std::min(state.grid.cells, static_cast<int>(cm.size()) - 1);
  double sum = 0.0;
  for (int i = 1; i <= n; ++i) sum += cm[i];
  return sum / 100.0 * state.grid.dx * state.grid.dx;
}

// Relative saturation of cell i's soil: the upper layer of the
// redistribution store (at an event start the content the event starts
// from), the whole layered store, or the top node of a Richards column.
double relative_saturation(const model_state& state, int i, bool at_start) {
  const soil_state& soil = state.soil;
  const input_state& in = state.input;
  if (in.inf_richards) {
    const richards_soil& rs = soil.richards;
    const std::size_t top = std::size_t(i) * std::size_t(rs.row) + 1;
    return rs.theta[top] / rs.thetas[top];
  }
  if (in.inf_redist) {
    const double theta = at_start ? soil.initial_theta[i] : store_top_content(state, i);
    return theta / soil.porosity[i];
  }
  const soil_type_record& t = soil.soil_types[soil.soiltype[i]];
  const double d = soil.store_depth[i];
  const double l1 = std::min(d, t.d1);
  const double saturated = t.phi[1] * l1 + t.phi[2] * (d - l1);
  return saturated > 0.0 ? soil.total_water[i] / saturated : 1.0;
}

}  // namespace

double soil_direct_evaporation(const model_state& state) {
  const soil_state& soil = state.soil;
  return soil.direct_evap_volume + cell_cm_volume(state, soil.direct_evap);
}

double soil_downward_flux(const model_state& state) {
  const soil_state& soil = state.soil;
  return soil.deep_perc_volume + cell_cm_volume(state, soil.deep_perc) +
         soil.table_exchange_volume;
}

double mean_relative_saturation(const model_state& state, bool at_start) {
  const input_state& in = state.input;
  if (!in.inf_redist && !in.inf_layered_soil && !in.inf_richards) return 0.0;
  int counted = 0;
  double sum = 0.0;
  for (int i = 1; i <= state.grid.cells; ++i) {
    if (soil_lake_cell(state, i)) continue;
    const double s = relative_saturation(state, i, at_start);
    if (std::isnan(s)) {
      if (at_start) {
        std::printf("bad initial value of soil moisture cell %d\n", i);
      } else {
        std::printf("problem with final soil moisture in cell: %d\n", i);
      }
      continue;
    }
    sum += s;
    ++counted;
  }
  return counted > 0 ? sum / counted : 0.0;
}
