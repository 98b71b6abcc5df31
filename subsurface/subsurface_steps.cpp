// The drain exchange: surface water into the grates, groundwater into the
// tile drains, one step of the pipe network, and what its outlets put back
// on the cells or into the channels. The groundwater step has its own file.

#include "subsurface/subsurface_steps.h"

#include <cmath>

#include "run/model_state.h"
#include "subsurface/superlink_inlets.h"
#include "subsurface/superlink_step.h"

namespace {

bool near(double a, double b) { return std::fabs(a - b) < time_tolerance_days; }

// A clock parked beyond its next interval belongs to a process that waits.
bool waiting(const process_clock& c, double now) {
  return c.next > now + c.interval_d + time_tolerance_days;
}

void book(superlink_state& sl, double drain_totals::*field, double v) {
  sl.run_totals.*field += v;
  sl.event_totals.*field += v;
}

// The overland flow magnitude at every grate's cell; the step lets a node's
// grate take water only where the surface moves.
void set_inlet_flows(model_state& state) {
  superlink_state& sl = state.subsurface.superlink;
  const superlink_network& net = sl.net;
  superlink_links& lk = sl.links;
  const std::vector<double>& qa = state.surface.flux_x;
  const std::vector<double>& qb = state.surface.flux_y;
  auto magnitude = [&](int cell) {
    if (cell < 1 || std::size_t(cell) >= qa.size() || std::size_t(cell) >= qb.size()) return 0.0;
    return std::sqrt(qa[std::size_t(cell)] * qa[std::size_t(cell)] +
                     qb[std::size_t(cell)] * qb[std::size_t(cell)]);
  };
  for (int j = 1; j <= net.n_sjunc; ++j) {
    const int t = net.inlet_type(0, j);
    if (t >= 1 && t <= inlet::max_grates)
      lk.flow_to_superlink(0, j) = magnitude(lk.superlink_junc_gnum[std::size_t(j)]);
  }
  for (int k = 1; k <= net.n_slink; ++k)
    for (int i = 1; i <= net.superlink_cnodes[std::size_t(k)]; ++i) {
      const int t = net.inlet_type(i, k);
      if (t >= 1 && t <= inlet::max_grates)
        lk.flow_to_superlink(i, k) = magnitude(lk.superlink_node_gnum(i, k));
    }
}

// Outlets into channels see the stage of their node.
void set_channel_stages(model_state& state) {
  if (!state.input.explicit_channel) return;
  superlink_state& sl = state.subsurface.superlink;
  const channel_state& chan = state.channel;
  superlink_links& lk = sl.links;
  for (int j = 1; j <= sl.net.n_sjunc; ++j) {
    if (sl.net.inlet_type(0, j) != inlet::outlet_channel) continue;
    const int link = lk.superlink_chan_con_link[std::size_t(j)];
    const int node = lk.superlink_chan_con_node[std::size_t(j)];
    if (link < 1 || link > chan.links || node < 1 || node > chan.nx[link]) continue;
    lk.superlink_chan_stage[std::size_t(j)] = chan.yp[std::size_t(chan.node_address(link, node))];
  }
}

// Groundwater into the leaky pipes over dt; the aquifer's next solve takes
// the volumes as a sink.
void exchange_tiles(model_state& state, double dt) {
  superlink_state& sl = state.subsurface.superlink;
  superlink_network& net = sl.net;
  superlink_links& lk = sl.links;
  sl.tile_result = 0;
  for (int k = 1; k <= net.n_slink; ++k)
    for (int i = 1; i <= net.nnodes[std::size_t(k)]; ++i) lk.superlink_tile_flow(i, k) = 0.0;
  if (!state.input.gw_simulation) return;
  groundwater_state& gw = state.subsurface.gw;
  const tile_grid grid{&state.grid.elevation, &gw.elevgw, &gw.bottom_elev};
  sl.tile_result = gw_tile_exchange(net, lk, grid, state.input.settings.superlink_drainmod);
  double total = 0.0;
  for (int i = 1; i <= state.grid.cells; ++i) {
    const double v = dt * lk.Q_tile_grid[std::size_t(i)];
    gw.vol_tile_grid[std::size_t(i)] += v;
    total += v;
    lk.Q_tile_grid[std::size_t(i)] = 0.0;
  }
  book(sl, &drain_totals::gw_to_tile, total);
}

// The first water the network puts on the surface starts the processes that
// wait for it.
void start_surface(model_state& state, double now) {
  run_control& run = state.run;
  if (!waiting(run.overland, now)) return;
  run.overland.last = now;
  run.overland.next = now + run.overland.interval_d;
  if (state.input.inf_redist && !run.redist_start) run.redist_start = 1;
  run.infiltration.last = now;
  run.infiltration.next = run.overland.next;
  if (state.input.inf_redist || state.input.inf_layered_soil) {
    run.evap.last = now;
    run.evap.next = run.overland.next;
  }
}

void start_channels(model_state& state, double now) {
  run_control& run = state.run;
  if (!state.input.channel_routing || !waiting(run.channel, now)) return;
  run.channel.set_interval(run.overland.interval_s);
  run.channel.last = now;
  run.channel.next = now + run.channel.interval_d;
}

}  // namespace

void drain_exchange_step(model_state& state) {
  const input_state& in = state.input;
  run_control& run = state.run;
  superlink_state& sl = state.subsurface.superlink;
  process_clock& clock = run.storm_sewer;
  const double now = run.current_time;
  if (sl.calls > 1 && near(clock.next, now)) clock.next = now;
  if (!in.settings.storm_sewer_given || !clock.due(now)) return;
  const double dt = (now - clock.last) * 86400.0;  // s
  if (sl.event_seen != run.event_index) {
    sl.event_totals = drain_totals{};
    sl.event_seen = run.event_index;
  }
  superlink_network& net = sl.net;
  superlink_links& lk = sl.links;

  set_inlet_flows(state);
  set_channel_stages(state);
  if (net.superlink_leaky) exchange_tiles(state, dt);

  for (int j = 1; j <= net.n_sjunc; ++j) net.Q_junc[std::size_t(j)] = 0.0;
  for (int k = 1; k <= net.n_slink; ++k) {
    const int n = net.superlink_cnodes[std::size_t(k)];
    for (int i = 1; i <= n; ++i) net.Q_node(i, k) = 0.0;
    for (int i = 1; i <= n + 1; ++i)
      if (net.slink_node_depth(i, k) < 1e-4) net.slink_node_depth(i, k) = 1e-4;
  }
  sl.totals.superlink_surface_flag = 0;
  sl.totals.superlink_chan_flag = 0;

  superlink_options opt;
  opt.leaky = net.superlink_leaky;
  opt.c_opt = in.settings.superlink_c_opt;
  opt.high_head = in.settings.high_head_release;
  // Only the outlets' deliveries of this call are booked: a channel takes
  // its volumes at its own step.
  double chan_before = 0.0;
  for (int j = 1; j <= net.n_sjunc; ++j) chan_before += lk.superlink_chan_vol[std::size_t(j)];
  double taken = 0.0;
  superlink_step(sl.calls, state.grid.dx, state.surface.depth, sl, dt, opt, taken);
  ++sl.calls;

  book(sl, &drain_totals::overland_to_drains, taken);
  double chan_after = 0.0, surface = 0.0;
  for (int j = 1; j <= net.n_sjunc; ++j) {
    const std::size_t u = std::size_t(j);
    const int t = net.inlet_type(0, j);
    if (opt.high_head || t == inlet::outlet_channel) chan_after += lk.superlink_chan_vol[u];
    if (opt.high_head || t == inlet::outlet_cell) {
      surface += lk.superlink_surface_vol[u];
      lk.superlink_surface_vol[u] = 0.0;
    }
  }
  book(sl, &drain_totals::drains_to_channels, chan_after - chan_before);
  book(sl, &drain_totals::drains_to_overland, surface);
  book(sl, &drain_totals::from_fixed_heads, sl.totals.fixed_head_in);
  book(sl, &drain_totals::to_fixed_heads, sl.totals.fixed_head_out);

  clock.last = now;
  clock.next = now + clock.interval_d;

  if (sl.totals.superlink_surface_flag) start_surface(state, now);
  if (sl.totals.superlink_chan_flag) start_channels(state, now);

  if (in.long_term && waiting(run.overland, now) && !state.surface.flowing && !run.rain_on &&
      !net.superlink_leaky &&
      (state.surface.event_rain_volume == 0.0 ||
       0.001 * state.surface.event_rain_volume > sl.totals.superlink_vol_now)) {
    clock.set_interval(run.overland.interval_s);
    clock.next = run.overland.next;
    sl.event_clock = 0;
  }
}
