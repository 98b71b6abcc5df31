// The stream-aquifer exchange at each channel step. The seepage is worked
// out once from the heads and stages at the step's start and held through
// its sub-steps: the aquifer moves on the groundwater step, far slower than
// the channel sub-steps.

#include "subsurface/gw_channel_exchange.h"

#include <cmath>

#include "core/error_state.h"
#include "run/model_state.h"
#include "input/read_grid_inputs.h"
#include "subsurface/gw_stream_exchange.h"

bool size_channel_exchange(model_state& state) {
  channel_state& chan = state.channel;
  if (!state.input.gw_simulation || !state.input.explicit_channel || chan.links < 1) return true;
  if (chan.qriv.size() < chan.node_slots() &&
      !allocate_zeroed(chan.qriv, chan.node_slots(), "qriv"))
    return false;
  return size_entry_rates(state.subsurface.gw.entry_rate, chan);
}

bool exchange_with_aquifer(model_state& state, double dt) {
  channel_state& chan = state.channel;
  groundwater_state& gw = state.subsurface.gw;
  if (gw.entry_rate.empty() || chan.qriv.size() < chan.node_slots()) return false;
  gw_exchange_cells cells;
  cells.ground = state.grid.elevation;
  cells.head = gw.elevgw;
  cells.bottom = gw.bottom_elev;
  cells.gwbound = gw.gwbound;
  gw_stream_flags flags;
  flags.water_table_map = 1;
  flags.groundwater = 1;
  flags.stream_exchange = 1;
  const int result =
      gw_stream_exchange(chan, cells, gw.entry_rate, gw.lake_seep_rate, state.grid.dx, flags);
  if (error_state.stop_flag || result == gw_no_exchange) return false;

  const std::size_t slots = chan.node_slots();
  for (std::size_t a = 0; a < slots && a < chan.qlat.size(); ++a) chan.qlat[a] += chan.qriv[a];
  // Only stream cells trade with the aquifer; the entries of other cells
  // have a rate of 0.
  for (int i = 1; i <= chan.stream_cells; ++i) {
    for (int e = 1; e <= chan.gst_ncellsingrid[std::size_t(i)]; ++e) {
      const std::size_t g = chan.gst_index(i, e);
      const double rate = gw.entry_rate[g];  // m2/s, into the stream +
      if (rate == 0.0) continue;
      const int link = chan.gst_link[g];
      const std::size_t cell = std::size_t(chan.gst_gnum[g]);
      gw.gw_stream_vol[cell] += dt * rate * chan.dx[std::size_t(link)] * chan.gst_pct[g];
    }
  }
  return true;
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
