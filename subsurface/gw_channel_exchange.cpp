// The stream-aquifer exchange of the channels. While they are routed the
// seepage follows the stages sub-step by sub-step, from the heads as the
// aquifer's last step left them; the lakes' seepage is worked out once a
// channel step, as their levels move only at its start. Channels that are
// not routed trade at the aquifer's own step.

#include "subsurface/gw_channel_exchange.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <vector>

#include "core/error_state.h"
#include "run/model_state.h"
#include "input/read_grid_inputs.h"
#include "subsurface/gw_stream_exchange.h"
#include "channel/channel_steps.h"
#include "channel/ex_section.h"

bool size_channel_exchange(model_state& state) {
  channel_state& chan = state.channel;
  const bool exchange = state.input.gw_simulation || state.input.stream_loss;
  if (!exchange || !state.input.explicit_channel || chan.links < 1) return true;
  if (chan.qriv.size() < chan.node_slots() &&
      !allocate_zeroed(chan.qriv, chan.node_slots(), "qriv"))
    return false;
  if (!state.input.gw_simulation &&
      !allocate_per_cell(chan.stream_loss_volume, state.grid.cells, "stream_loss_volume"))
    return false;
  groundwater_state& gw = state.subsurface.gw;
  if (!allocate_zeroed(gw.node_scale, chan.node_slots(), "node_scale")) return false;
  std::fill(gw.node_scale.begin(), gw.node_scale.end(), 1.0);
  return size_entry_rates(gw.entry_rate, chan);
}

namespace {

// The lakes that lose to or gain from the aquifer take the seepage of each
// of their cells over dt: the lake's volume and its in and out counters,
// and the cell's lake_source, which the aquifer's next solve takes (out of
// the aquifer +). Serial in lake and cell order so the totals add the same
// on any thread count.
void seep_lakes(model_state& state, double dt) {
  channel_state& chan = state.channel;
  groundwater_state& gw = state.subsurface.gw;
  const double dx = state.grid.dx;
  for (int c = 1; c <= state.grid.cells; ++c) {
    const int k = chan.lake_mask[std::size_t(c)];
    if (k < 1 || k > chan.lake_count || !chan.calc_loss[std::size_t(k)]) continue;
    const double rate = gw.lake_seep_rate[std::size_t(c)];  // m2/s, into the lake +
    if (rate == 0.0) continue;
    const double v = dt * rate * dx;  // m3
    chan.lake_volume[std::size_t(k)] += v;
    if (rate > 0.0)
      chan.lake_in_dv[std::size_t(k)] += v;
    else
      chan.lake_out_dv[std::size_t(k)] -= v;
    gw.lake_source[std::size_t(c)] += v;
    // The lakes' constituents take the seepage's concentration with it.
    std::vector<double>& seen = state.quality.chan_contam.cell_lake_gw_volume;
    if (seen.size() > std::size_t(c)) seen[std::size_t(c)] += v;
  }
}

}  // namespace

namespace {

// The seepage rates of every node and entry (and with with_lakes of every
// lake cell) from the heads and stages as they stand: with the groundwater
// model from its heads, without it from the water table map, if any, or
// from the depths alone. A result code, or -1 when the exchange arrays are
// not set up or the exchange stopped the run.
int stream_rates(model_state& state, bool with_lakes) {
  channel_state& chan = state.channel;
  groundwater_state& gw = state.subsurface.gw;
  if (!stream_exchange_ready(state)) return -1;
  const int cells = state.grid.cells;
  gw_exchange_cells at;
  at.ground = state.grid.elevation;
  gw_stream_flags flags;
  flags.stream_exchange = 1;
  flags.lakes = chan.channel_lakes != 0;
  if (state.input.gw_simulation) {
    at.head = gw.elevgw;
    at.bottom = gw.bottom_elev;
    at.gwbound = gw.gwbound;
    // The lake bed passes water at the aquifer's own conductivity.
    at.lake_bed_k = gw.gw_kx;
    at.lake_bed_thickness = chan.mlake;
    flags.water_table_map = 1;
    flags.groundwater = 1;
    flags.lake_exchange = with_lakes && lakes_trade_with_aquifer(chan);
  } else {
    flags.water_table_map = state.input.water_table && gw.elevgw.size() > std::size_t(cells) &&
                            gw.bottom_elev.size() > std::size_t(cells);
    if (flags.water_table_map) {
      at.head = gw.elevgw;
      at.bottom = gw.bottom_elev;
    }
  }
  const int result = gw_stream_exchange(chan, at, gw.entry_rate,
                                        flags.lake_exchange ? std::span<double>(gw.lake_seep_rate)
                                                            : std::span<double>(),
                                        state.grid.dx, flags);
  return error_state.stop_flag ? -1 : result;
}

// What each stream cell gave its nodes over dt at the entries' rates, left
// for the aquifer's next solve (m3, out of the aquifer +). Only stream cells
// trade; the entries of other cells have a rate of 0.
void leave_stream_volumes(model_state& state, double dt) {
  channel_state& chan = state.channel;
  groundwater_state& gw = state.subsurface.gw;
  for (int i = 1; i <= chan.stream_cells; ++i) {
    for (int e = 1; e <= chan.gst_ncellsingrid[std::size_t(i)]; ++e) {
      const std::size_t g = chan.gst_index(i, e);
      const double rate = gw.entry_rate[g];  // m2/s, into the stream +
      if (rate == 0.0) continue;
      const int link = chan.gst_link[g];
      const std::size_t cell = std::size_t(chan.gst_gnum[g]);
      const double v = dt * rate * chan.dx[std::size_t(link)] * chan.gst_pct[g];  // m3
      gw.gw_stream_vol[cell] += v;
      if (!chan.gst_qriv_vol.empty()) chan.gst_qriv_vol[g] += v;
    }
  }
}

}  // namespace

bool lakes_trade_with_aquifer(const channel_state& chan) {
  return chan.channel_lakes && chan.lake_loss && !chan.mlake.empty();
}

void cap_node_losses(model_state& state, double dt) {
  channel_state& chan = state.channel;
  groundwater_state& gw = state.subsurface.gw;
  bool any = false;
  for (int link = 1; link <= chan.links; ++link) {
    for (int node = 1; node <= chan.nx[link]; ++node) {
      const std::size_t a = std::size_t(chan.node_address(link, node));
      const double loss = -chan.qriv[a] * chan.dx[link] * dt;  // m3
      const double held = chan.area[a] * chan.dx[link];        // m3
      if (!(loss > held) || loss <= 0.0) continue;
      chan.qriv[a] = 0.0;
      gw.node_scale[a] = held > 0.0 ? held / loss : 0.0;
      any = true;
    }
  }
  if (!any) return;
  for (int i = 1; i <= chan.stream_cells; ++i) {
    for (int e = 1; e <= chan.gst_ncellsingrid[std::size_t(i)]; ++e) {
      const std::size_t g = chan.gst_index(i, e);
      double rate = gw.entry_rate[g];  // m2/s, into the stream +
      if (rate == 0.0) continue;
      const std::size_t a = std::size_t(chan.node_address(chan.gst_link[g], chan.gst_node[g]));
      if (!(gw.node_scale[a] < 1.0)) continue;
      if (rate < 0.0) rate *= gw.node_scale[a];
      gw.entry_rate[g] = rate;
      chan.qriv[a] += rate * chan.gst_pct[g];
    }
  }
  std::fill(gw.node_scale.begin(), gw.node_scale.end(), 1.0);
}

bool stream_exchange_ready(const model_state& state) {
  const channel_state& chan = state.channel;
  const groundwater_state& gw = state.subsurface.gw;
  const std::size_t cells = std::size_t(state.grid.cells);
  const std::vector<double>& left =
      state.input.gw_simulation ? gw.gw_stream_vol : chan.stream_loss_volume;
  return !gw.entry_rate.empty() && chan.qriv.size() >= chan.node_slots() && left.size() > cells;
}

bool stream_exchange_due(model_state& state, double dt) {
  channel_state& chan = state.channel;
  const int result = stream_rates(state, true);
  if (result < 0) return false;
  chan.aquifer_feeds = result == gw_stream_gains;
  if (state.input.gw_simulation && lakes_trade_with_aquifer(chan)) seep_lakes(state, dt);
  return result != gw_no_exchange;
}

int routed_stream_exchange::rates() {
  const int result = stream_rates(state_, false);
  return result < 0 && error_state.stop_flag == 0 ? gw_no_exchange : result;
}

void routed_stream_exchange::book(const double* qriv_old, double substep) {
  channel_state& chan = state_.channel;
  groundwater_state& gw = state_.subsurface.gw;
  std::vector<double>& left =
      state_.input.gw_simulation ? gw.gw_stream_vol : chan.stream_loss_volume;
  const bool per_entry = !chan.gst_qriv_vol.empty();
  for (int i = 1; i <= chan.stream_cells; ++i) {
    for (int e = 1; e <= chan.gst_ncellsingrid[std::size_t(i)]; ++e) {
      const std::size_t g = chan.gst_index(i, e);
      const int link = chan.gst_link[g];
      if (!chan.is_routed(link)) continue;
      if (chan.gst_node[g] > chan.nx[link]) {
        gw.entry_rate[g] = 0.0;
        continue;
      }
      if (gw.entry_rate[g] == 0.0) continue;
      const std::size_t a = std::size_t(chan.node_address(link, chan.gst_node[g]));
      // The node's entries share its cut; a node whose entries cancel out
      // moved no water.
      const double old = qriv_old[a];  // m2/s
      const double share = std::fabs(old) < 1e-16 ? 0.0 : chan.qriv[a] / old;
      const double rate = gw.entry_rate[g] * share;  // m2/s, into the stream +
      gw.entry_rate[g] = rate;
      const double v = substep * rate * chan.dx[std::size_t(link)] * chan.gst_pct[g];  // m3
      left[std::size_t(chan.gst_gnum[g])] += v;
      if (per_entry) chan.gst_qriv_vol[g] += v;
    }
  }
}

void book_ground_exchange(model_state& state) {
  channel_state& chan = state.channel;
  if (state.input.gw_simulation || chan.stream_loss_volume.empty()) return;
  double into = 0.0, out = 0.0;  // m3, into the streams and out of them
  for (int c = 1; c <= state.grid.cells; ++c) {
    double& v = chan.stream_loss_volume[std::size_t(c)];
    (v >= 0.0 ? into : out) += std::fabs(v);
    v = 0.0;
  }
  chan.ground_to_stream += into;
  chan.event_ground_to_stream += into;
  chan.stream_to_ground += out;
  chan.event_stream_to_ground += out;
}

int exchange_with_idle_channels(model_state& state, double dt) {
  channel_state& chan = state.channel;
  const int result = stream_rates(state, true);
  if (result < 0) return gw_no_exchange;
  if (lakes_trade_with_aquifer(chan)) {
    fold_lake_counters(chan);
    seep_lakes(state, dt);
    fold_lake_counters(chan);
  }
  if (result != gw_stream_exchanges) return result;

  // Only losing nodes: their water goes straight into the ground, no more
  // than each holds, and their sections follow their new areas.
  cap_node_losses(state, dt);
  for (int link = 1; link <= chan.links; ++link) {
    for (int node = 1; node <= chan.nx[link]; ++node) {
      const std::size_t a = std::size_t(chan.node_address(link, node));
      const double length = chan.dx[link];  // m
      double area = (chan.area[a] * length + dt * chan.qriv[a] * length) / length;  // m2
      if (std::fabs(area) < 1e-15) area = 0.0;
      if (area < 0.0) {
        raise_message(
            "Error undating channels for groundwater influence without routing: node %d link %d "
            "\n",
            node, link);
        return gw_no_exchange;
      }
      chan.area[a] = area;
    }
  }
  leave_stream_volumes(state, dt);
  ex_section(chan, section_mode::from_area);
  return result;
}

pending_exchange pending_stream_exchange(const model_state& state) {
  const groundwater_state& gw = state.subsurface.gw;
  const int cells = state.grid.cells;
  pending_exchange p;
  if (gw.gw_stream_vol.size() <= std::size_t(cells) || gw.gwbound.size() <= std::size_t(cells))
    return p;
  for (int i = 1; i <= cells; ++i) {
    if (gw.gwbound[i] != gw_type::stream) continue;
    const double v = gw.gw_stream_vol[i];
    (v < 0.0 ? p.into : p.out) += std::fabs(v);
  }
  return p;
}

void note_event_start_exchange(model_state& state) {
  if (!state.input.gw_simulation) return;
  const pending_exchange p = pending_stream_exchange(state);
  groundwater_state& gw = state.subsurface.gw;
  gw.stream_out_at_event = p.out;
  gw.stream_into_at_event = p.into;
}
