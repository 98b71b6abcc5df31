// Pump withdrawals from the surface water of the grid cells. The pumps act
// one after another in list order, so that two pumps on one cell share what
// it holds the same way every run.

#include "channel/apply_pumps.h"

#include <algorithm>
#include <cstddef>

#include "channel/channel_state.h"
#include "core/error_state.h"
#include "run/model_state.h"
#include "input/series.h"

void apply_pumps(model_state& state, double dt) {
  const std::vector<pump_def>& pumps = state.channel.pumps;
  if (pumps.empty()) return;
  const double cell_area = state.grid.dx * state.grid.dx;  // m2
  double* depth = state.surface.depth.data();
  const double now = state.run.current_time;  // Julian days
  double removed = 0.0;                       // m3
  // The pump list holds the newest card first; the cards are kept in file
  // order here, so it is walked from the back.
  for (auto p = pumps.rbegin(); p != pumps.rend(); ++p) {
    const int c = p->first;  // checked against the cells at set-up
    const double q = p->flow_type == 1 ? ts_value(now, p->ts) : es_value(depth[c], p->es);  // m3/s
    if (error_state.stop_flag != 0) break;
    const double want = q * dt / cell_area;  // m
    const double taken = std::min(want, depth[c]);
    depth[c] -= taken;
    removed += taken * cell_area;
  }
  state.surface.pump_volume += removed;
  state.surface.event_pump_volume += removed;
}

void check_pump_cells(const model_state& state) {
  const std::vector<pump_def>& pumps = state.channel.pumps;
  const int cells = state.grid.cells;
  for (std::size_t k = 0; k < pumps.size(); ++k) {
    const int c = pumps[k].first;
    if (c >= 1 && c <= cells) continue;
    raise_message(
        "Error: pump %d of the channel input file %s draws from cell %d, outside the "
        "watershed's cells 1..%d.\n",
        int(k) + 1, state.input.settings.channel_input.c_str(), c, cells);
    return;
  }
}
