// The summaries' view of the run record. The overland totals are kept by the
// surface steps; the channel, soil, groundwater, snow and drain totals join
// here as those processes keep them, and are 0 until then.

#include "output/summary_totals.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "run/event_control.h"
#include "run/model_state.h"
#include "soil/snow_step.h"
#include "soil/soil_steps.h"
#include "subsurface/gw_channel_exchange.h"

namespace {

// The simple soil-moisture store at the end: the store's water and the
// infiltration no withdrawal has moved into it yet.
double simple_soil_volume(const model_state& state) {
  const soil_state& soil = state.soil;
  const int n = std::min(state.grid.cells, static_cast<int>(soil.total_water.size()) - 1);
  const double area = state.grid.dx * state.grid.dx;
  const bool pending = soil.sm_inf.size() == soil.total_water.size();
  double sum = 0.0;
  for (int i = 1; i <= n; ++i) sum += soil.total_water[i] / 100.0 + (pending ? soil.sm_inf[i] : 0.0);
  return sum * area;
}

// Below the simple store, down to the water table, the soil holds
// gw_inf_redist_theta per metre (groundwater runs; 0 elsewhere).
double vadose_volume(const model_state& state) {
  const input_state& in = state.input;
  const soil_state& soil = state.soil;
  const std::vector<double>& table = state.subsurface.gw.elevgw;
  const int n = state.grid.cells;
  if (!in.water_table || !(in.inf_redist || in.inf_layered_soil) ||
      table.size() <= std::size_t(n) || soil.gw_theta.size() <= std::size_t(n))
    return 0.0;
  double sum = 0.0;
  for (int i = 1; i <= n; ++i) {
    double depth = in.soil_moist_depth;  // cm
    if (in.inf_layered_soil) {
      const soil_type_record& t = soil.soil_types[std::size_t(soil.soiltype[i])];
      depth = t.d1 + t.d2;
    }
    const double below = state.grid.elevation[i] - table[i] - depth / 100.0;  // m
    if (below > 0.0) sum += below * soil.gw_theta[i];
  }
  return sum * state.grid.dx * state.grid.dx;
}

void gather_soil_totals(const model_state& state, run_water_totals& t) {
  const soil_state& soil = state.soil;
  t.initial_soil = soil.initial_total_soil;
  t.initial_simple_soil = soil.initial_soil_volume;
  t.infiltration = soil.infiltrated_volume;
  const double direct = soil_direct_evaporation(state);
  t.direct_evaporation = direct;
  // The Richards columns' evaporated water holds the ponded water they
  // evaporated; the simple store's withdrawal books that apart.
  t.evaporation = soil.evaporated_volume + (state.input.inf_richards ? 0.0 : direct);
  t.soil_evaporation = soil.withdrawn_exfil;
  t.exfiltration = soil.exfiltrated_volume;
  t.downward_flux = soil_downward_flux(state);
}

// m3 per mm of depth over the active cells.
double sac_area_factor(const model_state& state) {
  return state.grid.dx * state.grid.dx * state.grid.cells / 1000.0;
}

// The basin replaces the grid's soil and groundwater in the run's books: its
// tension water is the soil, its free water the groundwater. The base flow
// it gives the channels is a loss of the subsurface to the river, booked
// as a negative flux from river to groundwater.
void gather_sacramento_totals(const model_state& state, run_water_totals& t) {
  const sacramento_state& sac = state.soil.sac;
  const double f = sac_area_factor(state);
  t.initial_soil = (sac.uztwc0 + sac.lztwc0) * f;
  t.initial_groundwater = (sac.lzfsc0 + sac.uzfwc0 + sac.lzfpc0) * f;
  // Ponded water evaporated directly leaves as well as what the basin gives.
  t.evaporation = sac.run_et * f + t.direct_evaporation;
  t.river_to_gw = 0.0 - state.channel.sac_volume;
  t.sac_deep_recharge = 0.0;
}

// The aquifer's run totals, kept by the groundwater step.
void gather_groundwater_totals(const model_state& state, run_water_totals& t) {
  if (!state.input.gw_simulation) {
    // Without the aquifer the streams trade with the ground beyond the books.
    if (state.input.stream_loss) {
      t.river_to_gw = state.channel.stream_to_ground;
      t.gw_to_river = state.channel.ground_to_stream;
    }
    return;
  }
  const groundwater_state& gw = state.subsurface.gw;
  const gw_totals& r = gw.run;
  t.initial_groundwater = gw.volume_start;
  t.unsat_to_sat = r.unsat_to_sat;
  // What the soil released at the end of the aquifer's last interval feeds
  // its next one: it has left the soil's books and is not yet in the
  // aquifer's (negative for water the soil took first).
  double owed = 0.0;  // cm, summed in cell order
  for (int i = 1; i <= state.grid.cells && std::size_t(i) < gw.gw_drop_vol.size(); ++i)
    owed += gw.gw_drop_vol[std::size_t(i)];
  t.gw_owed = owed / 100.0 * state.grid.dx * state.grid.dx;
  t.recharge = r.recharge_input;
  t.gw_inputs = r.inputs;
  t.gw_head_boundary = r.head_boundary;
  t.deep_leakage = r.leakage;
  t.pumping = r.pumping;
  t.pumping_asked = r.pumping_asked;
  t.xy_gain = r.xy_gain;
  t.xy_loss = r.xy_loss;
  // The channels already hold or have lost the exchange of the aquifer's
  // last interval; the aquifer gives it up at its next step, so it is booked
  // here as given (and taken off the aquifer's end volume), or the run's end
  // would count it twice.
  const pending_exchange p = pending_stream_exchange(state);
  t.gw_inputs -= p.out - p.into;
  t.river_to_gw = r.stream_to_gw + p.into;
  t.gw_to_river = r.gw_to_stream + p.out;
  t.lakes_to_gw = r.lake_to_gw;
  t.gw_to_lakes = r.gw_to_lake;
}

}  // namespace

sac_run_summary gather_sac_summary(const model_state& state) {
  const sacramento_state& sac = state.soil.sac;
  const sac_params& p = sac.params;
  sac_run_summary s;
  const double capacity[5] = {p.uztwm, p.uzfwm, p.lztwm, p.lzfpm, p.lzfsm};
  const double initial[5] = {sac.uztwc0, sac.uzfwc0, sac.lztwc0, sac.lzfpc0, sac.lzfsc0};
  const double final[5] = {p.uztwc, p.uzfwc, p.lztwc, p.lzfpc, p.lzfsc};
  for (int k = 0; k < 5; ++k) {
    s.capacity[k] = capacity[k];
    s.initial[k] = initial[k];
    s.final[k] = final[k];
  }
  s.rainfall = sac.run_input;
  s.pet = sac.run_pet;
  s.aet = sac.run_et;
  s.runoff = sac.run_base_flow;
  s.residual = p.residual;
  s.area_factor = sac_area_factor(state);
  return s;
}

summary_gates gather_summary_gates(const model_state& state) {
  const input_state& in = state.input;
  summary_gates g;
  g.long_term = in.long_term != 0;
  g.english_units = in.params.units != 0;
  g.uniform_rain = in.uniform_rain != 0;
  // The event in hand decides: a file may hold gauge and radar events.
  g.radar_rain = in.precip_from_file != 0 && state.surface.raingage.radar != 0;
  g.gauge_rain = in.precip_from_file != 0 && !g.radar_rain;
  g.thiessen = in.nearest_gauge != 0;
  g.channel_routing = in.explicit_channel != 0;
  g.channel_lakes = state.channel.channel_lakes != 0;
  g.overland_lakes = state.surface.overland_lakes != 0;
  g.drains = in.settings.storm_sewer_given != 0;
  g.tile_drains = g.drains && in.settings.pipe_tile_given != 0;
  // A long-term run keeps a pack, and so does a run given INIT_SWE_DEPTH.
  g.snow = state.soil.snow.swe.size() > std::size_t(state.grid.cells);
  g.sacramento = in.sacramento != 0;
  g.green_ampt = in.green_ampt != 0;
  g.inf_redist = in.inf_redist != 0;
  g.inf_layered = in.inf_layered_soil != 0;
  g.richards = in.inf_richards != 0;
  g.simple_soil = in.inf_redist != 0 || in.inf_layered_soil != 0;
  g.gw_simulation = in.gw_simulation != 0;
  g.water_table = in.water_table != 0;
  g.stream_exchange = in.stream_loss != 0 || in.gw_simulation != 0;
  g.lake_seepage = state.channel.channel_lakes != 0 && state.channel.lake_loss != 0;
  g.xy_boundaries = in.settings.xybdyinput_ovdep_given || in.settings.xybdyinput_gwhead_given ||
                    in.settings.xybdyinput_stflow_given;
  g.ov_boundary = in.settings.ov_boundary != 0;
  return g;
}

event_water_totals gather_event_totals(const model_state& state) {
  const surface_state& surface = state.surface;
  event_water_totals t;
  t.initial_surface = surface.event_start_volume;
  t.rain = surface.event_rain_volume;
  t.interception = surface.interception_volume - surface.event_start_interception;
  t.discharge = surface.event_outflow_volume;
  t.final_surface = surface.event_end_volume;
  t.cleanup = surface.cleanup_volume;
  t.boundary_gain = surface.event_bdy_inflow;
  t.boundary_loss = surface.event_bdy_outflow;
  const channel_state& chan = state.channel;
  t.initial_channels = chan.event_start_volume;
  t.lateral_inflow = chan.event_lateral_volume;
  t.stream_point_sources = chan.event_point_input_volume + chan.event_point_source_volume;
  t.final_channels = chan.event_end_volume;
  t.initial_lakes = chan.event_start_lake_volume;
  t.precip_to_lakes = surface.event_chan_lake_rain_volume;
  t.overland_to_lakes = surface.event_chan_lake_overland_in;
  t.overland_from_lakes = surface.event_chan_lake_overland_out;
  t.final_lakes = chan.event_end_lake_volume;
  t.lake_evaporation = chan.event_lake_evaporation_volume;
  // Pumped water leaves the cells as a negative point source (0 - v, so
  // that a run without pumps prints 0.0 rather than -0.0).
  t.overland_point_sources = 0.0 - surface.event_pump_volume;
  t.infiltration = state.soil.event_infiltrated;
  // The table's water comes onto the surface in any run with one, with the
  // aquifer or without it.
  t.exfiltration = state.soil.exfiltrated_volume - state.soil.event_start_exfiltrated;
  if (state.input.sacramento) {
    const sacramento_state& sac = state.soil.sac;
    const double f = sac_area_factor(state);
    t.sac_base_flow = sac.event_base_flow_volume;
    t.sac_start = sac.event_initial_storage * f;
    t.sac_end = sac_storage(sac.params) * f;
    t.sac_et = sac.event_et_volume;
    t.sac_infiltration = sac.event_input_volume;
  }
  // The soil's event figures of a long-term run; a single event's direct
  // evaporation and drainage are those of the run.
  if (state.input.long_term) {
    t.direct_evaporation = state.soil.event_direct_evap;
    t.recharge = state.soil.event_recharge;
  } else {
    t.direct_evaporation = soil_direct_evaporation(state);
    t.recharge = soil_downward_flux(state);
  }
  const richards_soil& rs = state.soil.richards;
  if (state.input.long_term) {
    t.initial_snow = state.soil.event_start_snow;
    t.final_snow = state.soil.event_end_snow;
    t.snow_melt = state.soil.event_melt;
  }
  t.richards_evaporated = state.soil.event_evaporated;
  t.richards_net = rs.event_net;
  t.richards_recharge = rs.event_recharge;
  t.richards_initial = rs.event_initial;
  t.richards_final = rs.event_final;
  t.richards_error = rs.event_error;
  t.richards_cells_start = rs.event_cells_start;
  t.richards_cells_end = rs.event_cells_end;
  if (state.input.settings.storm_sewer_given) {
    const superlink_state& sl = state.subsurface.superlink;
    t.overland_to_drains = sl.event_totals.overland_to_drains;
    t.drains_to_overland = sl.event_totals.drains_to_overland;
    t.drains_to_channels = sl.event_totals.drains_to_channels;
    t.gw_to_tile_drains = sl.event_totals.gw_to_tile;
    t.final_drains = sl.totals.superlink_vol_now;
  }
  if (state.input.stream_loss && !state.input.gw_simulation) {
    t.gw_to_channel = state.channel.event_ground_to_stream;
    t.channel_to_gw = state.channel.event_stream_to_ground;
  }
  if (state.input.gw_simulation) {
    const groundwater_state& gw = state.subsurface.gw;
    // No aquifer step in the event yet: its books still hold the last event.
    const gw_totals e = gw.event_seen == state.run.event_index ? gw.event : gw_totals{};
    t.gw_exfiltrated_run = state.soil.exfiltrated_volume;
    t.gw_exfiltrated_before = state.soil.event_start_exfiltrated;
    t.gw_exfiltrated_event = t.exfiltration;
    t.gw_to_unsat = e.soil_side;
    t.gw_recharge = e.recharge_input;
    // The aquifer books the exchange an interval late: what it booked at the
    // event's first step was partly traded before the event, and what the
    // channels traded since its last step is still to be booked.
    const pending_exchange now = pending_stream_exchange(state);
    t.gw_to_channel = e.gw_to_stream - gw.stream_out_at_event + now.out;
    t.channel_to_gw = e.stream_to_gw - gw.stream_into_at_event + now.into;
    t.gw_to_lakes = e.gw_to_lake;
    t.lakes_to_gw = e.lake_to_gw;
    t.gw_xy_gain = e.xy_gain;
    t.gw_xy_loss = e.xy_loss;
  }
  return t;
}

run_water_totals gather_run_totals(const model_state& state) {
  const surface_state& surface = state.surface;
  run_water_totals t;
  t.initial_surface = surface.initial_volume;
  t.initial_snow = state.soil.initial_snow_volume;
  t.snow_melt = state.soil.snow.melt_volume;
  // Rain on a channel lake's cells goes to the lake, not the cells.
  t.precipitation = surface.rain_volume + surface.chan_lake_rain_volume;
  t.lake_precip = surface.chan_lake_rain_volume;
  t.interception = surface.interception_volume;
  t.discharge = surface.outflow_volume;
  t.slope_boundary_loss = surface.bdy_free_outflow;
  t.head_boundary_loss = surface.bdy_head_outflow;
  t.head_boundary_gain = surface.bdy_head_inflow;
  t.discharge_boundary_gain = surface.bdy_specified_inflow;
  const channel_state& chan = state.channel;
  t.initial_channels = chan.initial_volume;
  t.lateral_inflow = chan.lateral_volume;
  t.channel_substeps = chan.substeps;
  t.overland_cuts =
      state.input.settings.overtype == 1 /* explicit */ ? surface.ex_cuts : surface.ade_cuts;
  t.overland_retried = surface.ex_retried;
  t.channel_point_sources = chan.point_input_volume + chan.point_source_volume;
  t.initial_chan_lakes = chan.initial_lake_volume;
  t.lake_inflow = chan.lake_inflow_volume;
  t.lake_outflow = chan.lake_outflow_volume;
  t.lake_evaporation = chan.lake_evaporation_volume;
  t.overland_point_sources = 0.0 - surface.pump_volume;
  t.initial_olakes = surface.olake_initial_volume;
  t.olake_inflow = surface.olake_inflow_volume;
  t.olake_outflow = surface.olake_outflow_volume;
  gather_soil_totals(state, t);
  if (state.input.sacramento) gather_sacramento_totals(state, t);
  gather_groundwater_totals(state, t);
  if (state.input.settings.storm_sewer_given) {
    const superlink_state& sl = state.subsurface.superlink;
    t.overland_to_drains = sl.run_totals.overland_to_drains;
    t.drains_to_overland = sl.run_totals.drains_to_overland;
    t.drains_to_channels = sl.run_totals.drains_to_channels;
    t.gw_to_tile_drains = sl.run_totals.gw_to_tile;
    t.drains_from_fixed_heads = sl.run_totals.from_fixed_heads;
    t.drains_to_fixed_heads = sl.run_totals.to_fixed_heads;
    t.drain_volume = sl.totals.superlink_vol_now;
    t.initial_drains = sl.totals.superlink_vol_start;
  }
  return t;
}

void sum_final_storages(const model_state& state, water_balance& balance) {
  balance.final_surface = surface_water_volume(state);
  const input_state& in = state.input;
  balance.final_simple_soil =
      in.inf_redist || in.inf_layered_soil ? simple_soil_volume(state) : 0.0;
  balance.final_soil = balance.final_simple_soil + vadose_volume(state);
  if (in.inf_richards)
    balance.final_soil = richards_column_volume(state.soil.richards, state.grid.cells,
                                                state.grid.dx * state.grid.dx);
  balance.final_channel = state.input.explicit_channel ? state.channel.water_volume() : 0.0;
  balance.final_groundwater = 0.0;
  if (in.sacramento) {
    const sac_params& p = state.soil.sac.params;
    const double f = sac_area_factor(state);
    balance.final_soil = (p.lztwc + p.uztwc) * f;
    balance.final_groundwater = (p.lzfsc + p.uzfwc + p.lzfpc) * f;
  }
  if (in.gw_simulation) {
    const groundwater_state& gw = state.subsurface.gw;
    const double area = state.grid.dx * state.grid.dx;
    for (int i = 1; i <= state.grid.cells && gw.elevgw.size() > std::size_t(i); ++i)
      balance.final_groundwater += (gw.elevgw[i] - gw.bottom_elev[i]) * gw.gw_porosity[i] * area;
    balance.final_groundwater += gw.stored_over_porosity;
    const pending_exchange p = pending_stream_exchange(state);
    balance.final_groundwater -= p.out - p.into;
  }
  balance.final_snow = snow_volume(state);
  balance.final_chan_lake = state.channel.channel_lakes ? state.channel.lake_water_volume() : 0.0;
  balance.final_olake = 0.0;
  const surface_state& surface = state.surface;
  if (surface.overland_lakes)
    for (int k = 1; k <= surface.olake_count; ++k)
      balance.final_olake += surface.olakes[std::size_t(k)].volume;
}
