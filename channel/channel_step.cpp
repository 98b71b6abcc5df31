// The channel step: when the channel clock is due, the bank exchange with
// the cells, the routing of the network over the elapsed channel interval,
// the volumes the summaries read, and the clock moved on.

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "channel/chan_lake_extent.h"
#include "channel/channel_state.h"
#include "channel/channel_steps.h"
#include "channel/ex_flow_route.h"
#include "channel/lateral_inflow.h"
#include "core/error_state.h"
#include "run/model_state.h"
#include "core/not_available.h"
#include "subsurface/gw_channel_exchange.h"
#include "subsurface/gw_stream_exchange.h"
#include "quality/chan_sediment.h"
#include "quality/channel_contam.h"

namespace {

// At least n entries: a writer may keep a slot past the last node address.
bool sized(const std::vector<double>& v, std::size_t n) { return v.size() >= n; }

// The network arrays the step and the routing read, as set-up leaves them.
bool channel_arrays_ready(const model_state& state) {
  const channel_state& chan = state.channel;
  const std::size_t links = std::size_t(chan.links) + 1;
  const std::size_t slots = chan.node_slots();
  if (chan.links < 1 || chan.ltype.size() != links || chan.nx.size() != links ||
      chan.nx1.size() != links || chan.ndep.size() != links || chan.dslink.size() != links ||
      chan.dx.size() != links || chan.inv_mannings_n.size() != links ||
      chan.uslinks.size() < links * std::size_t(chan.max_dep + 1))
    return false;
  if (!sized(chan.bel, slots) || !sized(chan.yp, slots) || !sized(chan.qp, slots) ||
      !sized(chan.area, slots) || !sized(chan.area_old, slots) || !sized(chan.chan_depth, slots) ||
      !sized(chan.conv, slots) || !sized(chan.qlat, slots) || !sized(chan.bankfull_dep, slots))
    return false;
  if (chan.point_input && !sized(chan.point_input_values, slots)) return false;
  if (!chan.stream_pointsource.empty() && chan.stream_pointsource.size() < slots) return false;
  if (chan.lat_record && !sized(chan.cell_lat_volume, std::size_t(state.grid.cells) + 1))
    return false;
  if (state.input.flood_stream && !sized(chan.yp_max_flood, slots)) return false;
  return true;
}

// Processes that act inside the channel step but are not in this version:
// the first one a run switches on, or null.
const char* missing_process(const model_state& state) {
  const input_state& in = state.input;
  const channel_state& chan = state.channel;
  // Lakes trade with the ground only through the groundwater model.
  if (chan.lake_loss && !in.gw_simulation) return "gw_stream_exchange";
  return nullptr;
}

// The pipe network's outlets into channel nodes: the volume each delivered
// since the last routing enters its node evenly over this step. True when
// some outlet holds water.
bool take_sewer_volumes(model_state& state, double dt) {
  channel_state& chan = state.channel;
  if (chan.sewer_q.empty()) return false;
  const superlink_state& sl = state.subsurface.superlink;
  const superlink_links& lk = sl.links;
  std::fill(chan.sewer_q.begin(), chan.sewer_q.end(), 0.0);
  bool any = false;
  for (int j = 1; j <= sl.net.n_sjunc && std::size_t(j) < lk.superlink_chan_vol.size(); ++j) {
    if (sl.net.inlet_type(0, j) != inlet::outlet_channel) continue;
    const double v = lk.superlink_chan_vol[std::size_t(j)];
    if (std::fabs(v) <= 1e-16) continue;
    const int link = lk.superlink_chan_con_link[std::size_t(j)];
    const int node = lk.superlink_chan_con_node[std::size_t(j)];
    if (link < 1 || link > chan.links || node < 1 || node > chan.nx[link]) continue;
    chan.sewer_q[std::size_t(chan.node_address(link, node))] += v / dt;
    any = true;
  }
  return any;
}

// Once routed, the outlets' volumes are in the channels.
void clear_sewer_volumes(model_state& state) {
  if (state.channel.sewer_q.empty()) return;
  std::vector<double>& vol = state.subsurface.superlink.links.superlink_chan_vol;
  std::fill(vol.begin(), vol.end(), 0.0);
  std::fill(state.channel.sewer_q.begin(), state.channel.sewer_q.end(), 0.0);
}

route_settings route_settings_of(const model_state& state) {
  const input_state& in = state.input;
  route_settings set;
  set.courant_limit = in.settings.max_courant_number;
  set.head_bound = in.head_bound;
  set.point_input = state.channel.point_input;
  set.first_order_q = in.first_order_chan_q;
  set.time = state.run.current_time;
  set.location_volumes = in.optimize && !in.optimize_sed;
  set.sediment_volumes = state.quality.chan_sediment.on;
  set.water_volumes = state.quality.chan_contam.on;
  if (!state.channel.sewer_q.empty()) set.sewer_q = state.channel.sewer_q.data();
  return set;
}

// Sum over the nodes 1..nx of the routed links, in link and node order.
double point_input_rate(const channel_state& chan) {
  double rate = 0.0;  // m3/s
  for (int i = 1; i <= chan.links; ++i) {
    if (!chan.is_routed(i)) continue;
    for (int j = 1; j <= chan.nx[i]; ++j) rate += chan.point_input_values[chan.node_address(i, j)];
  }
  return rate;
}

// Calibration runs score the event's routed volume at every hydrograph
// location. The routing keeps each location's total over the run; the step
// adds what the total gained since it last looked to the event's volume,
// which the event start clears.
void book_location_volumes(model_state& state) {
  const channel_state& chan = state.channel;
  calibration_state& calib = state.calib;
  const std::size_t n = std::size_t(chan.hyd_locations) + 1;
  // Sized by the routing and by the calibration set-up of calibration runs only.
  if (chan.hyd_loc_volume.size() < n || calib.loc_volume.size() < n ||
      calib.loc_volume_booked.size() < n)
    return;
  for (std::size_t k = 1; k < n; ++k) {
    const double run_total = chan.hyd_loc_volume[k];  // m3
    calib.loc_volume[k] += run_total - calib.loc_volume_booked[k];
    calib.loc_volume_booked[k] = run_total;
  }
}

// Between storms a long-term run would route an empty network at the
// overland step for days. Once nothing rains or stands on the surface, the
// channels hold next to nothing, less than 1e-6 m3/s leaves the outlet and
// the aquifer feeds no node, the channel sleeps until the overland flow
// wakes again (the next storm) or the aquifer starts to feed it, and, with
// the Sacramento basin, no longer than until its next hour, whose base flow
// it must take in. While a channel lake stands above its lowest level the
// lake is stepped at a minute instead. The interval itself stays the
// channel step, so the first step after the sleep routes the whole sleep
// (from the aquifer's last take of a losing channel's water) and the next
// ones are short.
void control_long_term_interval(model_state& state) {
  run_control& run = state.run;
  channel_state& chan = state.channel;
  if (run.rain_on) {
    chan.dry_steps = 0;
    return;
  }
  // The overland step's flowing flag is left as it was when the overland
  // clock jumped to the next storm, so the wet flag alone tells standing water.
  if (state.surface.wet || state.soil.saturated_surface) return;

  bool lake_high = false;
  const int lakes = chan.channel_lakes ? chan.lake_count : 0;
  for (std::size_t k = 1; k <= std::size_t(lakes) && k < chan.minwse.size(); ++k)
    if (chan.lake_elev[k] > chan.minwse[k]) lake_high = true;
  if (chan.dry_steps != 0 && lake_high) return;

  const double volume = chan.water_volume();  // m3
  if (chan.initial_volume != 0.0 && volume >= 0.01 * chan.initial_volume) return;
  ++chan.dry_steps;
  if (lake_high) {
    double step = state.input.gw_simulation ? run.dt : 60.0;  // s
    while (step > 60.0) step *= 0.5;
    run.channel.set_interval(step);
    run.channel.next = run.current_time + run.channel.interval_d;
    return;
  }
  // Base flow that has not reached the outlet yet keeps the channel awake.
  if (chan.q_outlet >= 1e-6 || chan.aquifer_feeds) return;
  double wake = run.overland.next;  // Julian days
  if (state.input.sacramento && run.sacramento.next < wake) wake = run.sacramento.next;
  if (wake <= run.channel.next) return;
  chan.active = 0;
  chan.asleep = 1;
  run.channel.next = wake;
}

}  // namespace

void fold_lake_counters(channel_state& chan) {
  for (int k = 1; k <= chan.lake_count; ++k) {
    const std::size_t i = std::size_t(k);
    chan.lake_inflow_volume += chan.lake_in_dv[i];
    chan.event_lake_inflow_volume += chan.lake_in_dv[i];
    chan.lake_outflow_volume += chan.lake_out_dv[i];
    chan.event_lake_outflow_volume += chan.lake_out_dv[i];
    chan.lake_in_dv[i] = 0.0;
    chan.lake_out_dv[i] = 0.0;
  }
}

void channel_step(model_state& state) {
  const input_state& in = state.input;
  run_control& run = state.run;
  channel_state& chan = state.channel;
  if (!in.channel_routing) return;
  if (!run.channel.due(run.current_time)) return;
  if (!in.explicit_channel) {
    raise_not_available("channel_step");
    return;
  }
  if (!channel_arrays_ready(state)) {
    raise_message("Error: the channel arrays of the %d links have not been set up.\n", chan.links);
    return;
  }
  if (const char* name = missing_process(state)) {
    raise_not_available(name);
    return;
  }

  // The first channel step of a run has no elapsed interval behind it.
  const double elapsed = run.current_time - run.channel.last;  // days
  double dt = elapsed <= 1e-6 ? run.channel.interval_s : elapsed * 86400.0;  // s
  // Julian days hold a time to about 4e-5 s; an interval that matches the
  // channel step that closely is that step, so sub-steps come out whole.
  if (std::fabs(dt - run.channel.interval_s) < 1e-3) dt = run.channel.interval_s;

  const int links = chan.links;
#pragma omp parallel for schedule(static) num_threads(chan.link_team())
  for (int i = 1; i <= links; ++i) {
    const std::size_t first = std::size_t(chan.node_address(i, 1));
    for (std::size_t a = first; a < first + std::size_t(chan.nx[i] > 0 ? chan.nx[i] : 0); ++a)
      chan.area_old[a] = chan.area[a];
  }

  // The Sacramento basin's base flow comes in through the same exchange,
  // rain or no rain.
  if (state.surface.wet || in.overbank_flow || in.sacramento) {
    const double v = lateral_inflow(state, lateral_switches_of(state), dt);
    if (error_state.stop_flag != 0) return;
    chan.active = 1;
    chan.lateral_volume += v;
    chan.event_lateral_volume += v;
  }

  if (chan.channel_lakes) {
    chan.active = 1;
    fold_lake_counters(chan);
    chan_lake_extent(state);
    if (error_state.stop_flag != 0) return;
    if (chan.lake_map_changed) {
      for (int c = 1; c <= state.grid.cells; ++c)
        if (chan.lake_mask[std::size_t(c)] > 0) chan.new_flooded_grid[std::size_t(c)] = 1;
      chan.lake_map_changed = 0;
    }
    fold_lake_counters(chan);
  }

  const bool exchange = (in.gw_simulation || in.stream_loss) && stream_exchange_ready(state);
  if (exchange) {
    if (stream_exchange_due(state, dt)) chan.active = 1;
    if (error_state.stop_flag != 0) return;
  }

  if (take_sewer_volumes(state, dt)) chan.active = 1;

  const bool routed = chan.active != 0;
  if (routed) {
    ++chan.route_calls;
    route_settings set = route_settings_of(state);
    routed_stream_exchange seepage(state);
    if (exchange) set.exchange = &seepage;
    chan.route_result = ex_flow_route(chan, set, dt);
    if (chan.route_result < 0) return;
    if (exchange) chan.aquifer_feeds = chan.route_result == gw_stream_gains;
    chan.q_outlet = chan.qp[chan.node_address(links, chan.nx[links])];

    // Booked only when routed: a point input enters the network through the
    // routing's continuity and nowhere else.
    if (chan.point_input) {
      const double v = dt * point_input_rate(chan);
      chan.point_input_volume += v;
      chan.event_point_input_volume += v;
      gather_point_source_mass(state, dt);
    }
    chan.outlet_volume += chan.step_outlet_volume;
    chan.contam_outlet_volume += chan.step_outlet_volume;
    chan.event_outlet_volume += chan.step_outlet_volume;
    // What leaves the channel outlet leaves the watershed: the same outflow
    // totals the overland step keeps when there are no channels.
    state.surface.outflow_volume += chan.step_outlet_volume;
    state.surface.event_outflow_volume += chan.step_outlet_volume;
    chan.point_source_volume += chan.step_point_source_volume;
    chan.event_point_source_volume += chan.step_point_source_volume;
    book_location_volumes(state);
    clear_sewer_volumes(state);
  }
  if (chan.channel_lakes) fold_lake_counters(chan);
  book_ground_exchange(state);

  if (in.flood_stream) {
#pragma omp parallel for schedule(static) num_threads(chan.link_team())
    for (int i = 1; i <= links; ++i) {
      for (int j = 1; j <= chan.nx1[i]; ++j) {
        const int a = chan.node_address(i, j);
        if (chan.yp[a] > chan.yp_max_flood[a]) chan.yp_max_flood[a] = chan.yp[a];
      }
    }
  }

  if (state.quality.chan_sediment.on) {
    channel_sediment_step(state, dt);
    if (error_state.stop_flag != 0) return;
  }

  // Lateral inflow is a rate of this step only.
  std::fill(chan.qlat.begin(), chan.qlat.end(), 0.0);

  run.q_out = chan.q_outlet;
  chan.asleep = 0;
  run.channel.last = run.current_time;
  run.channel.next = run.current_time + run.channel.interval_d;
  ++chan.steps;

  if (in.long_term) control_long_term_interval(state);
}
