// The time-loop step of the aquifer: the XY head points, the exchange
// volumes of the last interval, the storage each cell's table has under its
// soil, the head solve, the soil water that follows the table, the totals
// the summaries balance, and the surface processes started the first time
// the table reaches the ground.
//
// Per-cell loops write only their own cell's slots and leave the volumes
// they book per cell; the totals add those in cell order afterwards, so the
// printed figures do not depend on the thread count.

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdio>
#include <span>

#include "core/error_state.h"
#include "run/model_state.h"
#include "input/xy_inputs.h"
#include "soil/infiltration_methods.h"
#include "soil/richards_soil.h"
#include "soil/soil_relations.h"
#include "soil/soil_steps.h"
#include "subsurface/gw_channel_exchange.h"
#include "subsurface/gw_solve.h"
#include "subsurface/gw_stream_exchange.h"
#include "subsurface/subsurface_steps.h"

namespace {

// A table within this depth of the ground (cm) stands at the surface.
constexpr double at_surface_cm = 1e-16;

// Adds v to the total field of the run's and the event's records.
void book(groundwater_state& gw, double gw_totals::*field, double v) {
  gw.run.*field += v;
  gw.event.*field += v;
}

double ordered_sum(const std::vector<double>& v, int cells) {
  double sum = 0.0;
  for (int i = 1; i <= cells; ++i) sum += v[std::size_t(i)];
  return sum;
}

// The event totals start again with every event.
void follow_event(model_state& state) {
  groundwater_state& gw = state.subsurface.gw;
  if (gw.event_seen == state.run.event_index) return;
  gw.event = gw_totals{};
  gw.event_seen = state.run.event_index;
}

// The heads of the XY points' cells from their series at now.
void apply_xy_points(model_state& state) {
  const xy_input* xy = state.input.settings.xy_inputs.get();
  if (xy == nullptr || xy->gwpts.size <= 0) return;
  groundwater_state& gw = state.subsurface.gw;
  double gain = 0.0, loss = 0.0;
  apply_xy_gw_heads(*xy, gw.elevgw.data(), gw.gw_porosity.data(), state.grid.dx, gain, loss,
                    state.run.current_time);
  book(gw, &gw_totals::xy_gain, gain);
  book(gw, &gw_totals::xy_loss, loss);
}

// Stream and lake volumes the channels left for the aquifer last interval.
void book_exchange_volumes(model_state& state) {
  groundwater_state& gw = state.subsurface.gw;
  const int cells = state.grid.cells;
  const bool lakes = state.channel.channel_lakes && state.channel.lake_loss &&
                     state.channel.lake_mask.size() > std::size_t(cells);
  const pending_exchange stream = pending_stream_exchange(state);
  double lake_into = 0.0, lake_out = 0.0;
  for (int i = 1; i <= cells && lakes; ++i) {
    if (state.channel.lake_mask[i] > 0) {
      const double v = gw.lake_source[i];
      (v < 0.0 ? lake_into : lake_out) += std::fabs(v);
    }
  }
  book(gw, &gw_totals::stream_to_gw, stream.into);
  book(gw, &gw_totals::gw_to_stream, stream.out);
  book(gw, &gw_totals::lake_to_gw, lake_into);
  book(gw, &gw_totals::gw_to_lake, lake_out);
}

// What the soil of one cell is, for the table's bookkeeping: its depth and
// first layer (cm) and the contents it holds.
struct ga_column {
  double depth = 0.0;      // soil depth, cm
  double top = 0.0;        // bottom of the first layer, cm
  double porosity1 = 0.0, porosity2 = 0.0;
  double retained1 = 0.0, retained2 = 0.0;  // content a falling table leaves behind
  double residual1 = 0.0, residual2 = 0.0;
};

ga_column column_of(const model_state& state, int i) {
  const soil_state& soil = state.soil;
  ga_column c;
  if (state.input.inf_layered_soil) {
    const soil_type_record& t = soil.soil_types[std::size_t(soil.soiltype[i])];
    c.depth = t.d1 + t.d2;
    c.top = t.d1;
    c.porosity1 = t.phi[1];
    c.porosity2 = t.phi[2];
    c.retained1 = t.fc[1];
    c.retained2 = t.fc[2];
    c.residual1 = t.thr[1];
    c.residual2 = t.thr[2];
  } else {
    c.depth = state.input.soil_moist_depth;
    c.top = std::min(state.input.top_layer_depth, c.depth);
    c.porosity1 = c.porosity2 = soil.porosity[i];
    c.retained1 = c.retained2 = soil.field_capacity[i];
    c.residual1 = c.residual2 = soil.residual[i];
  }
  return c;
}

// Storage coefficient of every cell for the solve: a table at the ground
// stores like open water, one within the soil by the soil's porosity there,
// a deeper one by the aquifer's.
void set_storage(model_state& state) {
  groundwater_state& gw = state.subsurface.gw;
  const int cells = state.grid.cells;
  int bad = INT_MAX;
#pragma omp parallel for schedule(static) reduction(min : bad) num_threads(team_for(cells, gw.parallel_min_cells))
  for (int i = 1; i <= cells; ++i) {
    const double d = state.grid.elevation[i] - gw.elevgw[i];  // m
    const ga_column c = column_of(state, i);
    double s;
    if (d <= 0.0)
      s = 1.0;
    else if (d <= c.depth / 100.0)
      s = state.input.inf_layered_soil && c.top <= gw.gw_wt_depth[i] ? c.porosity2 : c.porosity1;
    else
      s = gw.gw_porosity[i];
    if (!(s > 0.0)) {
      if (i < bad) bad = i;
      s = gw.gw_porosity[i];
    }
    gw.gw_storage[i] = s;
    gw.gw_head_before[i] = gw.elevgw[i];
  }
  if (bad != INT_MAX) print_message(summary_file, "there is a problem with groundwater storage term");
}

// A falling table leaves the soil between depths from and to (cm) at its
// retained contents: that water (cm) moves from the aquifer into the layers.
void fill_vacated(model_state& state, int i, const ga_column& c, double from, double to) {
  if (!(to > from)) return;
  soil_state& soil = state.soil;
  groundwater_state& gw = state.subsurface.gw;
  const double upper = std::max(0.0, std::min(to, c.top) - from);
  const double lower = std::max(0.0, to - std::max(from, c.top));
  const double w1 = upper * c.retained1, w2 = lower * c.retained2;
  soil.m1[i] += w1;
  soil.m2[i] += w2;
  soil.total_water[i] += w1 + w2;
  gw.gw_recharge[i] -= w1 + w2;
  gw.recharge_cum[i] -= w1 + w2;
}

// The soil water of one cell after its table moved; returns false when the
// head is not a number. Writes the cell's booked volumes (m3): recharge,
// recharge the totals count, and the water released below the soil.
bool follow_table(model_state& state, int i, double area) {
  groundwater_state& gw = state.subsurface.gw;
  soil_state& soil = state.soil;
  const int type = gw.gwbound[i];
  const double recharge = gw.gw_recharge[i] / 100.0 * area;  // m3
  gw.book_a[i] = recharge;
  gw.book_b[i] = 0.0;
  gw.book_c[i] = 0.0;
  gw.sink_volume[i] = 0.0;
  gw.gw_recharge[i] = 0.0;
  if (type == gw_type::fixed_head) return true;
  soil.yes_exfil[i] = 0;
  gw.sink_volume[i] = recharge / area * 100.0;  // cm
  if (type == gw_type::fixed_untotalled) {
    gw.gw_drop_vol[i] = 0.0;
    return true;
  }
  // What the cell could not give the soil last time is still owed and was
  // booked when the soil took it: only this step's release is new.
  const double owed = gw.gw_drop_vol[i];  // cm
  gw.book_b[i] = recharge;
  if (std::isnan(gw.elevgw[i])) return false;

  const ga_column c = column_of(state, i);
  const double l = (state.grid.elevation[i] - gw.elevgw[i]) * 100.0;  // cm
  double& wt = gw.gw_wt_depth[i];
  if (l <= at_surface_cm) {
    soil.yes_exfil[i] = 1;
    gw.gw_recharge[i] += soil.total_water[i];
    gw.recharge_cum[i] += soil.total_water[i];
    wt = 0.0;
    soil.total_water[i] = soil.m1[i] = soil.m2[i] = 0.0;
  } else if (l < wt) {
    wt = l;
  } else if (l > wt) {
    const double old = wt;
    if (l <= c.depth) {
      fill_vacated(state, i, c, old, l);
      wt = l;
    } else {
      fill_vacated(state, i, c, old, c.depth);
      wt = c.depth;
      // Below the soil the vadose zone holds gw_inf_redist_theta per metre:
      // a rising table takes that water in, a falling one leaves it behind.
      const double change = gw.elevgw[i] - gw.gw_head_before[i];  // m
      gw.gw_drop_vol[i] += (change + (c.depth - old) / 100.0) * soil.gw_theta[i] * 100.0;
    }
  }

  if (wt > 1e-16) {
    // The mean content above the table stays between residual and porosity.
    const double upper = std::min(wt, c.top), lower = wt - upper;
    const double low = (upper * c.residual1 + lower * c.residual2) / wt;
    const double high = (upper * c.porosity1 + lower * c.porosity2) / wt;
    const double mean = soil.total_water[i] / wt;
    double moved = 0.0;  // cm into the aquifer
    if (mean > high) {
      moved = (mean - high) * wt;
      soil.m1[i] = upper * c.porosity1;
      soil.m2[i] = lower * c.porosity2;
    } else if (mean < low) {
      moved = (mean - low) * wt;
      soil.m1[i] = upper * c.residual1;
      soil.m2[i] = lower * c.residual2;
    }
    if (moved != 0.0) {
      soil.total_water[i] = soil.m1[i] + soil.m2[i];
      gw.gw_recharge[i] += moved;
      gw.recharge_cum[i] += moved;
    }
  }
  gw.book_c[i] = (gw.gw_drop_vol[i] - owed) / 100.0 * area;
  return true;
}

// Green and Ampt soils with redistribution or layers: storage, solve, and
// the soil water that follows the table. False after a stop.
bool step_green_ampt_soils(model_state& state, double dt) {
  groundwater_state& gw = state.subsurface.gw;
  const int cells = state.grid.cells;
  const double area = state.grid.dx * state.grid.dx;
  set_storage(state);
  double vadose = 0.0;
  gw_couplings with;
  with.channels = state.input.explicit_channel;
  with.lake_exchange = state.channel.channel_lakes && state.channel.lake_loss;
  with.tile_drains =
      state.input.settings.storm_sewer_given && state.subsurface.superlink.net.superlink_leaky;
  with.ts_index = state.input.ts_index.entries;
  with.now = state.run.current_time;
  const double inputs = gw_solve(gw, state.grid, with, dt, vadose);
  book(gw, &gw_totals::inputs, inputs);
  gw.any_exfil = 0;
  if (error_state.stop_flag) return false;

  // A table in the soil stores at the soil's porosity, one over the ground
  // like open water, while the heads' volume counts the aquifer's porosity:
  // what the solve stored beyond that share is kept, so that the books hold
  // the water the heads do.
#pragma omp parallel for schedule(static) num_threads(team_for(cells, gw.parallel_min_cells))
  for (int i = 1; i <= cells; ++i)
    gw.book_a[i] = (gw.gw_storage[i] - gw.gw_porosity[i]) * (gw.elevgw[i] - gw.gw_head_before[i]) *
                   gw.gw_dx[i] * gw.gw_dy[i];
  gw.stored_over_porosity += ordered_sum(gw.book_a, cells);

  int bad = INT_MAX;
#pragma omp parallel for schedule(static) reduction(min : bad) num_threads(team_for(cells, gw.parallel_min_cells))
  for (int i = 1; i <= cells; ++i)
    if (!follow_table(state, i, area) && i < bad) bad = i;
  if (bad != INT_MAX) {
    raise_message(
        "A non-real value for the groudwater head was detected for in cell %d after running the "
        "groundwater flow routine.\n",
        bad);
    return false;
  }
  // What the table took from the soil (or left in it) is all the recharge
  // the cells hold now: the soil's downward flux, for the next solve.
  state.soil.table_exchange_volume += ordered_sum(gw.gw_recharge, cells) / 100.0 * area;
  book(gw, &gw_totals::recharge, ordered_sum(gw.book_a, cells));
  book(gw, &gw_totals::recharge_input, ordered_sum(gw.book_b, cells));
  book(gw, &gw_totals::recharge_depth, ordered_sum(gw.sink_volume, cells));
  const double released = ordered_sum(gw.book_c, cells);
  book(gw, &gw_totals::unsat_to_sat, released);
  book(gw, &gw_totals::soil_side, -released);
  return true;
}

// Richards soil columns resting on the table: their unsaturated water, the
// solve (which lays every column again on its new table), the columns'
// relations refreshed, the recharge booked. False after a stop.
bool step_richards_soils(model_state& state, double dt) {
  groundwater_state& gw = state.subsurface.gw;
  richards_soil& rs = state.soil.richards;
  const int cells = state.grid.cells;
  const double area = state.grid.dx * state.grid.dx;
  gw.unsat_storage = richards_column_volume(rs, cells, area);

  double vadose = 0.0;  // cm over the cells
  gw_couplings with;
  with.channels = state.input.explicit_channel;
  with.lake_exchange = state.channel.channel_lakes && state.channel.lake_loss;
  with.tile_drains =
      state.input.settings.storm_sewer_given && state.subsurface.superlink.net.superlink_leaky;
  with.richards = &rs;
  with.yes_exfil = std::span<int>(state.soil.yes_exfil);
  with.ts_index = state.input.ts_index.entries;
  with.now = state.run.current_time;
  const double inputs = gw_solve(gw, state.grid, with, dt, vadose);
  book(gw, &gw_totals::inputs, inputs);
  gw.direction = gw.direction == 1 ? 2 : 1;
  if (error_state.stop_flag) return false;

  // A column whose table just moved starts again with short steps.
  constexpr double richards_step_cap = 1.0 / 360.0;  // h
  const int family = rs.family;
#pragma omp parallel for schedule(static) num_threads(team_for(cells, gw.parallel_min_cells))
  for (int i = 1; i <= cells; ++i) {
    rs.dtr[std::size_t(i)] = std::min(rs.dtr[std::size_t(i)], richards_step_cap);
    soil_column col = rs.column(i);
    if (family == soil_family_havercamp)
      havercamp_props(col);
    else
      brooks_corey_props(col);
    const double v = gw.gw_recharge[i] / 100.0 * area;  // m3
    gw.sink_volume[i] = gw.gw_recharge[i];
    gw.book_a[i] = v;
    gw.book_b[i] = gw_fixed(gw.gwbound[i]) ? 0.0 : v;
    gw.gw_recharge[i] = 0.0;
  }
  book(gw, &gw_totals::recharge_depth, ordered_sum(gw.sink_volume, cells));
  book(gw, &gw_totals::recharge, ordered_sum(gw.book_a, cells));
  book(gw, &gw_totals::recharge_input, ordered_sum(gw.book_b, cells));
  if (vadose != 0.0) {
    const double released = vadose / 100.0 * area;
    book(gw, &gw_totals::unsat_to_sat, released);
    book(gw, &gw_totals::soil_side, -released);
  }
  return true;
}

// Storage, leakage, pumping and fixed-head flow of the interval.
void book_interval(model_state& state, double dt) {
  groundwater_state& gw = state.subsurface.gw;
  const int cells = state.grid.cells;
  int exfil = 0;
  const bool flags = state.soil.yes_exfil.size() > std::size_t(cells);
#pragma omp parallel for schedule(static) reduction(max : exfil) \
    num_threads(team_for(cells, gw.parallel_min_cells))
  for (int i = 1; i <= cells; ++i) {
    const double area = gw.gw_dx[i] * gw.gw_dy[i];
    gw.sink_volume[i] = (gw.elevgw[i] - gw.bottom_elev[i]) * gw.gw_porosity[i] * area;
    gw.book_a[i] = dt * gw.gw_leakage[i] * area;
    gw.book_b[i] = dt * gw.gw_pump_rate[i] * area;
    gw.book_c[i] = gw.gwbound[i] == gw_type::fixed_head ? gw.gw_flux[i] : 0.0;
    gw.gw_flux[i] = 0.0;
    // A lake's cells stand under water anyway: they start nothing.
    if (flags && state.soil.yes_exfil[i] == 1 && !soil_lake_cell(state, i)) exfil = 1;
  }
  gw.saturated_storage = ordered_sum(gw.sink_volume, cells) + gw.stored_over_porosity;
  book(gw, &gw_totals::leakage, ordered_sum(gw.book_a, cells));
  book(gw, &gw_totals::pumping, ordered_sum(gw.book_b, cells));
  for (int i = 1; i <= cells; ++i)
    gw.book_b[i] = dt * gw.gw_pump_asked[i] * gw.gw_dx[i] * gw.gw_dy[i];
  book(gw, &gw_totals::pumping_asked, ordered_sum(gw.book_b, cells));
  book(gw, &gw_totals::head_boundary, ordered_sum(gw.book_c, cells));
  if (exfil) gw.any_exfil = 1;
  // Any cell at the ground couples the soil to the table.
  if (flags)
    for (int i = 1; i <= cells && !state.subsurface.gw_coupling; ++i)
      if (state.soil.yes_exfil[i] == 1) state.subsurface.gw_coupling = 1;
}

// The content a redistribution cell starts its infiltration from once its
// table has reached the surface somewhere: the upper layer's water over the
// depth it fills, porosity where the table stands at the ground; a content
// outside residual to porosity is moved inside, with a note.
void restart_redist_content(model_state& state, int i) {
  soil_state& soil = state.soil;
  const double top = state.input.top_layer_depth;  // cm
  const double wt = state.subsurface.gw.gw_wt_depth[i];
  double thi;
  if (soil.yes_exfil[i] == 1 || !(wt > 1e-16))
    thi = soil.porosity[i];
  else
    thi = soil.m1[i] / std::min(wt, top);
  thi = restart_content_in_range(i, thi, soil.residual[i], soil.porosity[i]);
  soil.initial_theta[i] = thi;
  soil.front_theta[i] = thi;
  soil.theta_out[i] = thi;
  soil.iter_pond_1[i] = 0;
  soil.iter_n[i] = 0;
  soil.no_wat_prof[i] = 0;
  soil.iter_i_less_k[i] = 0;
  soil.front1_depth[i] = 0.0;
}

// The same for a layered cell: each layer above the table starts from its
// water over the depth it fills; at the ground the soil type's contents.
void restart_layered_content(model_state& state, int i) {
  soil_state& soil = state.soil;
  const soil_type_record& t = soil.soil_types[std::size_t(soil.soiltype[i])];
  const double wt = state.subsurface.gw.gw_wt_depth[i];
  std::array<double, 4>& theta = soil.theta_ml[std::size_t(i)];
  if (soil.yes_exfil[i] == 1 || !(wt > 1e-16)) {
    theta[1] = t.phi[1];
    theta[2] = t.phi[2];
    theta[3] = t.phi[3];
  } else {
    theta[1] = soil.m1[i] / std::min(wt, t.d1);
    if (wt > t.d1) theta[2] = soil.m2[i] / std::min(wt - t.d1, t.d2);
  }
  soil.wetdep[i] = 0.0;
}

// The first table at the ground starts the surface processes, once: the
// overland and infiltration clocks (and the soil-water and constituent
// clocks that follow them) from now, the soils' contents derived again from
// the water they hold, the infiltration counters of the event cleared, and
// the pipe network's clock.
void start_surface_clocks(model_state& state) {
  groundwater_state& gw = state.subsurface.gw;
  if (!gw.any_exfil || gw.overland_started) return;
  gw.overland_started = 1;
  run_control& run = state.run;
  const input_state& in = state.input;
  const double now = run.current_time;
  auto start = [&](process_clock& clock) {
    clock.interval_s = run.dt;
    clock.interval_d = run.dt_days;
    clock.last = now;
    clock.next = now + run.dt_days;
  };
  start(run.overland);
  start(run.infiltration);
  if (in.inf_redist || in.inf_layered_soil) start(run.evap);
  if (in.ov_con_trans) {
    run.ov_contam = run.overland;
    run.ov_contam_inf = run.infiltration;
  }
  if (in.soil_con_trans)
    run.soil_contam = (in.inf_redist || in.inf_layered_soil) ? run.evap : run.infiltration;
  if (in.nutrients) run.nsm_overland = run.overland;

  soil_state& soil = state.soil;
  const int cells = state.grid.cells;
  const bool redist = in.inf_redist != 0;
  if (redist) run.redist_start = 1;
  if (redist || in.inf_layered_soil) {
    for (int i = 1; i <= cells; ++i) {
      if (redist)
        restart_redist_content(state, i);
      else
        restart_layered_content(state, i);
      soil.cum_inf[i] = 0.0;
      soil.prev_cum_inf[i] = 0.0;
    }
  }
  if (in.settings.storm_sewer_given) {
    run.storm_sewer.last = now;
    run.storm_sewer.next = now + run.dt_days;
  }
}

// Channels that are not routed yet (a long-term run starts their clock
// with the first storm) or that sleep between storms still trade with the
// aquifer: losing nodes give their water to the ground here, and the first
// node the aquifer feeds starts or wakes the routing, so that base flow
// reaches the outlet before any storm.
void couple_idle_channels(model_state& state, double dt) {
  const input_state& in = state.input;
  channel_state& chan = state.channel;
  run_control& run = state.run;
  if (!in.channel_routing || !in.explicit_channel || chan.links < 1) return;
  const double now = run.current_time;
  const bool waiting = run.channel.last > now + run.tolerance;
  if (!waiting && !chan.asleep) return;
  const int result = exchange_with_idle_channels(state, dt);
  if (error_state.stop_flag) return;
  if (result == gw_no_exchange) return;
  if (result == gw_stream_exchanges) {
    if (waiting) return;
    // A sleeping channel has lost its water up to now; its wake routes
    // from here.
    run.channel.last = now;
  } else {
    // Routed from now on: the exchange up to now has been made here.
    if (waiting) {
      double step = run.groundwater.interval_s;  // s
      while (step > 3600.0) step *= 0.5;
      run.channel.set_interval(step);
    }
    run.channel.last = now;
    run.channel.next = now + run.channel.interval_d;
    chan.asleep = 0;
  }
  if (chan.constituents || in.chan_con_trans) run.chan_contam = run.channel;
  if (in.nutrients) run.nsm_channel = run.channel;
}

}  // namespace

void groundwater_step(model_state& state) {
  const input_state& in = state.input;
  run_control& run = state.run;
  if (!in.gw_simulation) return;
  if (!run.groundwater.due(run.current_time)) return;
  groundwater_state& gw = state.subsurface.gw;
  const double dt = (run.groundwater.next - run.groundwater.last) * 86400.0;  // s
  follow_event(state);
  gw.any_exfil = 0;
  gw.unsat_storage = 0.0;

  apply_xy_points(state);
  book_exchange_volumes(state);
  if (in.inf_richards) {
    if (!step_richards_soils(state, dt)) return;
  } else if (in.inf_redist || in.inf_layered_soil) {
    if (!step_green_ampt_soils(state, dt)) return;
  }
  book_interval(state, dt);
  start_surface_clocks(state);
  couple_idle_channels(state, dt);
  if (error_state.stop_flag) return;

  run.groundwater.last = run.current_time;
  run.groundwater.next = run.current_time + run.groundwater.interval_d;
}
