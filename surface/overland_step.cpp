// The overland step: once per overland time step it applies the overland
// boundary conditions and the pumps, checks the depths, runs the router of
// OVERTYPE, books the outlet outflow and moves the overland clock on. Beside
// it the set-up of the routers' work arrays and the sum of the water on the
// surface at the start of the run.

#include "surface/overland_step.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "channel/apply_pumps.h"
#include "channel/channel_steps.h"
#include "core/error_state.h"
#include "run/event_control.h"
#include "run/model_state.h"
#include "run/sim_clock.h"
#include "input/read_grid_inputs.h"
#include "quality/sediment_erosion_transport.h"
#include "surface/ade_route.h"
#include "surface/cell_connectivity.h"
#include "surface/cell_loops.h"
#include "surface/explicit_route.h"
#include "surface/ov_boundary.h"
#include "surface/surface_steps.h"
#include "surface/write_nan_maps.h"

namespace {

constexpr int explicit_scheme = 1;
constexpr int ade_scheme = 2;

bool sized(const std::vector<double>& v, std::size_t size) { return v.size() == size; }
bool sized(const std::vector<int>& v, std::size_t size) { return v.size() == size; }

// What a scan of the cells found: any water, the count of cells whose faces
// carry flow, and the first cell (smallest number) whose depth is not a
// number or is infinite, INT_MAX for none. Lake cells (either mask, null when that kind of
// lake is absent) are left out: their water is their lake's.
struct cell_scan {
  int wet = 0;
  int flowing_cells = 0;
  int first_bad = INT_MAX;
};

cell_scan scan_cells(const surface_state& sf, int n, const int* olake, const int* chan_lake) {
  const double* h = sf.depth.data();
  const double* qx = sf.flux_x.data();
  const double* qy = sf.flux_y.data();
  int wet = 0;
  int flowing = 0;
  int bad = INT_MAX;
#pragma omp parallel for schedule(static) reduction(| : wet) reduction(+ : flowing) \
    reduction(min : bad) num_threads(team_for(n, cells_per_thread))
  for (int i = 1; i <= n; ++i) {
    if ((olake != nullptr && olake[i] > 0) || (chan_lake != nullptr && chan_lake[i] > 0)) continue;
    if (h[i] > 1e-16) wet = 1;
    if (std::fabs(qx[i]) > 1e-16 || std::fabs(qy[i]) > 1e-16) ++flowing;
    if (!std::isfinite(h[i]) && i < bad) bad = i;
  }
  return {wet, flowing, bad};
}

// The run's overland-lake and channel-lake cell masks, null where that kind
// of lake is absent.
const int* olake_cells(const model_state& state) {
  const surface_state& sf = state.surface;
  return sf.overland_lakes && sf.oland_lake_new.size() == std::size_t(state.grid.cells) + 1
             ? sf.oland_lake_new.data()
             : nullptr;
}


// Books the overland water the channel lakes exchanged with the cells in the
// step (lake_in_dv, lake_out_dv) as such, then folds it into the channel-lake
// totals and clears it.
void book_channel_lake_exchange(model_state& state) {
  surface_state& sf = state.surface;
  channel_state& chan = state.channel;
  const std::size_t lakes = std::size_t(chan.lake_count) + 1;
  if (chan.lake_in_dv.size() < lakes || chan.lake_out_dv.size() < lakes) return;
  double in = 0.0;   // m3
  double out = 0.0;  // m3
  for (std::size_t l = 1; l < lakes; ++l) {
    in += chan.lake_in_dv[l];
    out += chan.lake_out_dv[l];
  }
  sf.chan_lake_overland_in += in;
  sf.event_chan_lake_overland_in += in;
  sf.chan_lake_overland_out += out;
  sf.event_chan_lake_overland_out += out;
  fold_lake_counters(chan);
}

// The first cell (smallest number) whose depth, right-face flow or
// lower-face flow the router left not a number or infinite, INT_MAX for
// none. Every cell is looked at, lake cells too: an unstable step shows
// first wherever the water piles up.
struct routed_scan {
  int depth = INT_MAX;
  int flow_x = INT_MAX;
  int flow_y = INT_MAX;
};

routed_scan scan_routed_water(const surface_state& sf, int n) {
  const double* h = sf.depth.data();
  const double* qx = sf.flux_x.data();
  const double* qy = sf.flux_y.data();
  int bad_h = INT_MAX;
  int bad_x = INT_MAX;
  int bad_y = INT_MAX;
#pragma omp parallel for schedule(static) reduction(min : bad_h, bad_x, bad_y) \
    num_threads(team_for(n, cells_per_thread))
  for (int i = 1; i <= n; ++i) {
    if (!std::isfinite(h[i]) && i < bad_h) bad_h = i;
    if (!std::isfinite(qx[i]) && i < bad_x) bad_x = i;
    if (!std::isfinite(qy[i]) && i < bad_y) bad_y = i;
  }
  return {bad_h, bad_x, bad_y};
}

// Stops the run with a line naming the quantity and the cell when the
// routed step left a depth, a flow or the outlet's volume that is not a
// number or is infinite; a step too long for the scheme ends that way, and
// booking it would carry the fault into every total. True when all is well.
bool check_routed_water(const model_state& state, double volume) {
  const routed_scan bad = scan_routed_water(state.surface, state.grid.cells);
  const char* what = nullptr;
  int cell = INT_MAX;
  if (bad.depth != INT_MAX) {
    what = "water depth";
    cell = bad.depth;
  } else if (bad.flow_x != INT_MAX) {
    what = "right-face discharge";
    cell = bad.flow_x;
  } else if (bad.flow_y != INT_MAX) {
    what = "lower-face discharge";
    cell = bad.flow_y;
  } else if (!std::isfinite(volume)) {
    what = "outlet outflow volume";
    cell = state.grid.outlet_cell;
  }
  if (what == nullptr) return true;
  raise_message("A non-real overland flow %s has been detected in cell %d after overland flow "
                "routing.\n",
                what, cell);
  write_nan_maps(state);
  return false;
}

// The outlet discharge the outputs report for a step that passed volume
// (m3) in dt (s), m3/s. The ADE's is the mean over this step and the routed
// step before, one sweeping x first and the other y first, so that it does
// not alternate with the sweep order; the first routed step has only its
// own. The explicit scheme's is its step's mean. The water booked is the
// step's own either way.
double reported_outlet_discharge(surface_state& sf, bool pair, double volume, double dt) {
  if (!pair) return volume / dt;
  const double q = sf.last_outlet_dt > 0.0
                       ? (volume + sf.last_outlet_volume) / (dt + sf.last_outlet_dt)
                       : volume / dt;
  sf.last_outlet_volume = volume;
  sf.last_outlet_dt = dt;
  return q;
}

// The listed cells' face flows the outputs report for an ADE step of dt
// (s) without lakes: like the outlet's, the mean over this step and the
// routed step before, from the step's face volumes.
void pair_location_flows(model_state& state, double dt) {
  channel_state& chan = state.channel;
  const surface_state& sf = state.surface;
  const int n = state.grid.cells;
  const double span = dt + chan.cell_loc_dt;
  for (int k = 1; k <= chan.cell_locations; ++k) {
    const int cell = chan.cell_loc_number[k];
    const double vx = cell >= 1 && cell <= n ? sf.vol_x[cell] : 0.0;  // m3
    const double vy = cell >= 1 && cell <= n ? sf.vol_y[cell] : 0.0;
    chan.cell_loc_qx[k] = (vx + chan.cell_loc_vx[k]) / span;
    chan.cell_loc_qy[k] = (vy + chan.cell_loc_vy[k]) / span;
    chan.cell_loc_vx[k] = vx;
    chan.cell_loc_vy[k] = vy;
  }
  chan.cell_loc_dt = dt;
  chan.cell_loc_pair = 1;
}

// A step that routes nothing ends the pair: the next routed step reports
// its own flows first.
void end_location_pairs(channel_state& chan) {
  chan.cell_loc_dt = 0.0;
  for (int k = 1; k <= chan.cell_locations; ++k) {
    chan.cell_loc_vx[k] = 0.0;
    chan.cell_loc_vy[k] = 0.0;
  }
}

void take_scan(surface_state& sf, const cell_scan& scan) {
  sf.wet = scan.wet;
  sf.flowing = scan.flowing_cells > 0 ? 1 : 0;
}

// A long-term run whose surface has stopped flowing after the event's rain
// skips the dry time: the overland clock waits for the next event's start.
// Water still ponded goes on soaking in hour by hour under continuous
// redistribution (or Richards); otherwise the infiltration waits with the
// overland flow. The last event has no next start: its clocks go on.
void jump_to_next_event(model_state& state) {
  run_control& run = state.run;
  const input_state& in = state.input;
  const int k = run.event_index;
  if (k < 1 || k >= run.num_events) return;
  process_clock& ov = run.overland;
  ov.next = event_start(run, k + 1);
  ov.last = ov.next - ov.interval_d;
  run.q_out = 0.0;
  state.surface.last_outlet_dt = 0.0;
  end_location_pairs(state.channel);

  process_clock& inf = run.infiltration;
  if (state.surface.wet &&
      (in.inf_richards || in.gw_simulation || (in.inf_redist && in.cont_redist))) {
    inf.interval_s = run.hmet.interval_s;
    inf.interval_d = run.hmet.interval_d;
    inf.next = run.hmet.next;
    run.evap.interval_s = inf.interval_s;
    run.evap.interval_d = inf.interval_d;
    run.evap.next = inf.next;
    if (in.soil_con_trans) {
      run.soil_contam.interval_s = inf.interval_s;
      run.soil_contam.interval_d = inf.interval_d;
      run.soil_contam.next = inf.next;
    }
  } else {
    // Nothing soaks in until the next event: the methods' last rates are
    // those of water that is gone.
    inf.next = ov.next;
    inf.last = ov.last;
    std::vector<double>& rate = state.soil.inf_rate;
    std::fill(rate.begin(), rate.end(), 0.0);
  }
  if (in.gw_simulation) {
    // The groundwater goes on at its own step; a longer infiltration
    // interval is cut to it, so the two keep exchanging water.
    process_clock& gw = run.groundwater;
    const bool fixed = state.subsurface.gw_clock_fixed != 0;
    const double now = run.current_time;
    const double gw_step = in.settings.gw_timestep;  // s
    if (inf.interval_s > gw_step) {
      if (!fixed) {
        gw.set_interval(gw_step);
        gw.next = std::min(now, run.hmet.next);
      }
      inf.set_interval(gw.interval_s);
      inf.next = now + inf.interval_d;
    } else if (!fixed) {
      gw.set_interval(gw_step);
      gw.next = now;
    }
  }
  if (in.ov_con_trans) {
    run.ov_contam_inf = inf;
    run.ov_contam.next = ov.next;
  }
}

// Whether some cell outside the lakes holds water above its retention
// depth: water that can still run off, which keeps the time wet.
bool water_above_retention(const model_state& state, const int* olake, const int* chan_lake) {
  const surface_state& sf = state.surface;
  const double* h = sf.depth.data();
  const double* held = sf.retent_dep.data();
  const int n = state.grid.cells;
  int above = 0;
#pragma omp parallel for schedule(static) reduction(| : above) \
    num_threads(team_for(n, cells_per_thread))
  for (int i = 1; i <= n; ++i) {
    if ((olake != nullptr && olake[i] > 0) || (chan_lake != nullptr && chan_lake[i] > 0)) continue;
    if (h[i] > held[i] + 1e-16) above = 1;
  }
  return above != 0;
}

// Between the events of a long-term run the overland clock waits for the
// next event's start. Water that the hour's melt put on the surface, or any
// water above the retention depth, makes the time wet again: the processes
// go back on the overland step, so that the water runs off and soaks in as
// rain does, until the surface stops flowing.
void resume_wet_time(model_state& state) {
  const run_control& run = state.run;
  surface_state& sf = state.surface;
  const double now = run.current_time;
  const bool waiting = run.overland.next > now + run.overland.interval_d + run.tolerance;
  const bool hour_read = std::fabs(run.hmet.last - now) < run.tolerance;
  if (!state.input.long_term || !hour_read || !overland_arrays_ready(state)) return;
  const double melt = state.soil.snow.melt_volume;  // m3, of the run
  const bool melted = melt > sf.melt_seen;
  sf.melt_seen = melt;
  if (!waiting) return;
  if (!melted && !water_above_retention(state, olake_cells(state), chan_lake_cells(state))) return;
  restart_process_clocks(state, false);
}

}  // namespace

bool alloc_overland_work(model_state& state) {
  const int n = state.grid.cells;
  surface_state& sf = state.surface;
  const std::size_t blocks = std::size_t(sum_blocks(n)) + 1;
  // The tables are built before the work arrays and fixed for the run.
  const grid_state& g = state.grid;
  sf.cell_order = find_grid_order(n, g.rightcon, g.belowcon, g.leftcon, g.abovecon);
  return allocate_per_cell(sf.rain_rate, n, "rain_rate") &&
         allocate_per_cell(sf.flux_x, n, "flux_x") && allocate_per_cell(sf.flux_y, n, "flux_y") &&
         allocate_per_cell(sf.vol_x, n, "vol_x") && allocate_per_cell(sf.vol_y, n, "vol_y") &&
         allocate_per_cell(sf.depth_change, n, "depth_change") &&
         allocate_per_cell(sf.depth_pred, n, "depth_pred") &&
         allocate_per_cell(sf.flux_copy, n, "flux_copy") &&
         allocate_per_cell(sf.saved_depth, n, "saved_depth") &&
         allocate_per_cell(sf.sweep_depth, n, "sweep_depth") &&
         allocate_per_cell(sf.cleared_depth, n, "cleared_depth") &&
         allocate_zeroed(sf.block_sums, blocks, "block_sums") &&
         allocate_zeroed(sf.block_sums2, blocks, "block_sums2") &&
         allocate_zeroed(sf.block_flags, blocks, "block_flags") &&
         allocate_per_cell(sf.lake_cell_list, n, "lake_cell_list");
}

bool overland_arrays_ready(const model_state& state) {
  const int n = state.grid.cells;
  if (n == 0) return true;  // nothing to route, rain on or sum
  const grid_state& g = state.grid;
  const surface_state& sf = state.surface;
  const std::size_t size = std::size_t(n) + 1;
  const std::size_t blocks = std::size_t(sum_blocks(n)) + 1;
  return sized(g.elevation, size) && sized(g.rightcon, size) && sized(g.belowcon, size) &&
         sized(g.leftcon, size) && sized(g.abovecon, size) && sized(sf.depth, size) &&
         sized(sf.retent_dep, size) && sized(sf.dist_rough, size) && sized(sf.rain_rate, size) &&
         sized(sf.flux_x, size) && sized(sf.flux_y, size) && sized(sf.vol_x, size) &&
         sized(sf.vol_y, size) && sized(sf.depth_change, size) && sized(sf.depth_pred, size) &&
         sized(sf.flux_copy, size) && sized(sf.saved_depth, size) && sized(sf.sweep_depth, size) &&
         sized(sf.cleared_depth, size) && sized(sf.block_sums, blocks) &&
         sized(sf.block_sums2, blocks) && sized(sf.block_flags, blocks);
}

void array_running_max(const double* values, double* maxima, int n) {
#pragma omp parallel for schedule(static) num_threads(team_for(n, cells_per_thread))
  for (int i = 1; i <= n; ++i)
    if (values[i] > maxima[i]) maxima[i] = values[i];
}

double surface_volume(model_state& state) {
  const double* h = state.surface.depth.data();
  const double area = state.grid.dx * state.grid.dx;
  // The overland lakes' cells hold lake water, or else the channel lakes'.
  const int* lake = olake_cells(state);
  if (lake == nullptr) lake = chan_lake_cells(state);
  if (lake == nullptr) {
    return ordered_cell_sum(state.grid.cells, state.surface.block_sums.data(),
                            [h](int i) { return h[i]; }) *
           area;
  }
  return ordered_cell_sum(state.grid.cells, state.surface.block_sums.data(),
                          [h, lake](int i) { return lake[i] > 0 ? 0.0 : h[i]; }) *
         area;
}

void sum_initial_surface_volume(model_state& state) {
  if (!overland_arrays_ready(state)) {
    raise_message("Error: the overland arrays of the %d cells have not been set up.\n",
                  state.grid.cells);
    return;
  }
  state.surface.initial_volume = surface_volume(state);
}

namespace {

// A cell under snow routes with the snow's roughness, any other with its
// own; the pack changes at every call, so this runs between overland times
// as well.
void apply_snow_roughness(model_state& state) {
  surface_state& sf = state.surface;
  const std::vector<double>& swe = state.soil.snow.swe;
  const int n = state.grid.cells;
  const std::size_t size = std::size_t(n) + 1;
  if (!sf.snow_manning || swe.size() != size || sf.dist_rough_copy.size() != size ||
      sf.dist_rough.size() != size)
    return;
  const double rough = sf.snow_roughness;
  double* dist = sf.dist_rough.data();
  const double* own = sf.dist_rough_copy.data();
  const double* pack = swe.data();
#pragma omp parallel for schedule(static) num_threads(team_for(n, cells_per_thread))
  for (int i = 1; i <= n; ++i) dist[i] = pack[i] > 0.0 ? rough : own[i];
}

}  // namespace

void overland_step(model_state& state) {
  run_control& run = state.run;
  const input_state& in = state.input;
  surface_state& sf = state.surface;
  const int n = state.grid.cells;
  apply_snow_roughness(state);
  resume_wet_time(state);
  if (!run.overland.due(run.current_time)) return;
  if (!overland_arrays_ready(state)) {
    raise_message("Error: the overland arrays of the %d cells have not been set up.\n", n);
    return;
  }
  sf.wet = 0;
  sf.flowing = 0;
  const double dt = (run.current_time - run.overland.last) * 86400.0;  // s

  if (in.settings.ov_boundary) {
    set_ov_boundary_values(state);
    apply_ov_boundary_flux(state, dt);
    if (error_state.stop_flag != 0) return;
  }
  if (!state.channel.pumps.empty()) {
    apply_pumps(state, dt);
    if (error_state.stop_flag != 0) return;
  }

  const int* olake = olake_cells(state);
  const int* chan_lake = chan_lake_cells(state);
  const cell_scan before = scan_cells(sf, n, olake, chan_lake);
  take_scan(sf, before);
  if (before.first_bad != INT_MAX) {
    raise_message(
        "A non-real overland flow water depth has been detected in cell %d after applying "
        "overland boundary conditions and overland pumping.\n",
        before.first_bad);
    write_nan_maps(state);
    return;
  }

  run.q_out = 0.0;
  if (sf.wet) {
    const int scheme = in.settings.overtype;
    double volume = 0.0;  // m3
    if (scheme == explicit_scheme) {
      volume = explicit_overland_route(state, dt);
      if (error_state.stop_flag != 0) return;
    } else {
      volume = ade_overland_route(state, dt);
      // A failed step books nothing; the run stops after this step.
      if (volume == ade_route_failed || error_state.stop_flag != 0) return;
    }
    const bool mean_flows =
        scheme == ade_scheme && !sf.overland_lakes && !state.channel.channel_lakes;
    if (mean_flows) {
      // The step's fluxes are its mean discharges through the faces.
      double* qx = sf.flux_x.data();
      double* qy = sf.flux_y.data();
      const double* vx = sf.vol_x.data();
      const double* vy = sf.vol_y.data();
#pragma omp parallel for schedule(static) num_threads(team_for(n, cells_per_thread))
      for (int i = 1; i <= n; ++i) {
        qx[i] = vx[i] / dt;
        qy[i] = vy[i] / dt;
      }
    }
    if (!check_routed_water(state, volume)) return;
    state.channel.cell_loc_pair = mean_flows ? 1 : 0;
    if (mean_flows) pair_location_flows(state, dt);
    run.q_out = volume;
    if (!sf.max_depth.empty()) array_running_max(sf.depth.data(), sf.max_depth.data(), n);
    sf.sweep_parity = sf.sweep_parity == 1 ? 2 : 1;
    if (!in.channel_routing) {
      sf.outflow_volume += volume;
      sf.event_outflow_volume += volume;
      run.q_out = reported_outlet_discharge(sf, scheme == ade_scheme, volume, dt);
    }
  } else {
    sf.last_outlet_dt = 0.0;
    end_location_pairs(state.channel);
  }

  // Soil moves only once water flows over some face.
  sediment_state& sed = state.quality.sediment;
  sed.outlet_step_volume = 0.0;
  if (sed.on && sed.mode == 1 && before.flowing_cells > 0) {
    sediment_erosion_transport(state, dt);
    book_sediment_step(state);
  }

  // The overland lakes take their new water at their next extent update;
  // the channel lakes' exchange with the cells joins their totals now.
  if (sf.overland_lakes) sf.olake_update = 1;
  if (state.channel.channel_lakes) book_channel_lake_exchange(state);

  run.overland.last = run.current_time;
  run.overland.next = run.current_time + run.overland.interval_d;

  if (run.rain_active) return;

  const cell_scan after = scan_cells(sf, n, olake, chan_lake);
  take_scan(sf, after);
  if (after.first_bad != INT_MAX) {
    raise_message(
        "A non-real overland flow water depth has been detected in cell %d after overland flow "
        "routing.\n",
        after.first_bad);
    write_nan_maps(state);
    return;
  }

  // With channels a single event's runoff is complete once the surface is
  // dry and the channels hold next to nothing of the rain.
  if (!in.long_term && !in.qtr && in.channel_routing && !sf.wet &&
      state.channel.water_volume() < 1e-4 * sf.rain_volume) {
    if (!in.super_quiet) std::printf("Rainfall for this event has ended.\n");
    safe_file& summary = state.output.summary;
    if (summary.is_open()) {
      std::fputs("Rainfall for this event ended. Runoff is complete\n", summary.stream);
      std::fflush(summary.stream);
    }
    run.rain_on = 0;
    run.event_end = 1;
    run.exchange_pending = 1;
    run.run_flag = 0;
    return;
  }
  if (in.long_term && !state.soil.saturated_surface && state.channel.pumps.empty() &&
      !in.overbank_flow && !(sf.wet && sf.flowing)) {
    jump_to_next_event(state);
  }
}

const int* chan_lake_cells(const model_state& state) {
  const channel_state& chan = state.channel;
  return chan.channel_lakes && chan.lake_mask.size() == std::size_t(state.grid.cells) + 1
             ? chan.lake_mask.data()
             : nullptr;
}
