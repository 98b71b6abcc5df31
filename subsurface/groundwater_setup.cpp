// The aquifer's share of the cell set-up: what the groundwater step finds
// on its first call.

#include "subsurface/groundwater_setup.h"

#include <algorithm>

#include "run/model_state.h"
#include "subsurface/gw_channel_exchange.h"

void init_groundwater_cells(model_state& state) {
  groundwater_state& gw = state.subsurface.gw;
  const int cells = state.grid.cells;
  if (gw.elevgw.size() <= std::size_t(cells)) return;
  const double area = state.grid.dx * state.grid.dx;
  double volume = 0.0;
  for (int i = 1; i <= cells; ++i) {
    gw.gw_recharge[i] = 0.0;
    gw.recharge_cum[i] = 0.0;
    gw.recharge_cum_map[i] = 0.0;
    gw.gw_head_before[i] = gw.elevgw[i];
    // The soil store narrows this to the soil depth where it has one.
    gw.gw_wt_depth[i] = std::max(0.0, state.grid.elevation[i] - gw.elevgw[i]) * 100.0;
    volume += (gw.elevgw[i] - gw.bottom_elev[i]) * gw.gw_porosity[i] * area;
  }
  gw.volume_start = volume;
  gw.saturated_storage = volume;
  gw.run = gw_totals{};
  gw.event = gw_totals{};
  size_channel_exchange(state);
}
