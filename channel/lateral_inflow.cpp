// The bank exchange between the cells and the channel nodes. It runs on the
// calling thread: one node can lie in several cells, so several pairs add
// to its qlat, and a cell can hold several nodes, so several pairs draw on
// its depth, in list order.

#include "channel/lateral_inflow.h"

#include <cmath>
#include <cstddef>
#include <cstdio>

#include "channel/channel_state.h"
#include "channel/ex_section.h"
#include "core/error_state.h"
#include "run/model_state.h"

namespace {

// A broad-crested weir on each of the two banks: 2 x (2/3)^1.5 x sqrt(9.81),
// m^0.5/s, times the length of channel in the cell and the head^1.5.
constexpr double weir_coefficient = 3.40978982734;

enum class bank_flow { none, weir_in, manning_in, weir_out, manning_out };

}  // namespace

double submergence_factor(double x) {
  static constexpr int points = 11;
  static constexpr double ratio[points] = {0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.76, 0.8, 0.95, 1.0};
  static constexpr double factor[points] = {1.0, 1.0, 1.0,   1.0,  1.0, 1.0,
                                            1.0, 1.0, 0.947, 0.75, 0.0};
  if (x > 1.0 - 1e-7) return 0.0;
  for (int k = 0; k < points; ++k) {
    if (std::fabs(x - ratio[k]) <= 1e-4) return factor[k];
    if (k + 1 < points && x > ratio[k] && x < ratio[k + 1]) {
      const double x0 = ratio[k], x1 = ratio[k + 1];
      return ((x1 - x) / (x1 - x0)) * (factor[k] - factor[k + 1]) + factor[k + 1];
    }
  }
  return 0.0;
}

lateral_switches lateral_switches_of(const model_state& state) {
  const input_state& in = state.input;
  lateral_switches sw;
  sw.overbank = in.overbank_flow;
  sw.backwater = in.overland_backwater;
  sw.sacramento = in.sacramento;
  sw.sac_rate = in.sacramento ? state.soil.sac.base_flow_rate : 0.0;
  return sw;
}

double lateral_inflow(model_state& state, const lateral_switches& sw, double dt) {
  channel_state& chan = state.channel;
  double* depth = state.surface.depth.data();
  const double* ground = state.grid.elevation.data();
  const double* rough = state.surface.dist_rough.data();
  const double s = state.grid.dx;  // m
  const double s2 = s * s;         // m2
  const bool record = chan.lat_record != 0;
  double total = 0.0;  // m3
  int last_link = 0, last_node = 0;

  for (int c = 1; c <= chan.stream_cells; ++c) {
    for (int k = 1; k <= chan.gst_ncellsingrid[c]; ++k) {
      const std::size_t g = chan.gst_index(c, k);
      const int i = chan.gst_link[g];
      const int j = chan.gst_node[g];
      const int m = chan.gst_gnum[g];
      last_link = i;
      last_node = j;
      const int type = chan.ltype[i];
      if (type & (link_bit::structure | link_bit::lake)) continue;
      const std::size_t a = std::size_t(chan.node_address(i, j));
      const double dx = chan.dx[i];
      // The basin's base flow enters every node that holds a share of it,
      // whatever the bank exchange of the node's cell, so none of it is lost.
      if (sw.sacramento && j <= chan.nx[i]) {
        const double v = sw.sac_rate * chan.gst_sac_weight[g];  // m3/s
        chan.qlat[a] += v / dx;
        chan.sac_volume += v * dt;
        chan.event_sac_volume += v * dt;
      }
      if ((type & link_bit::overtaken) && (type & link_bit::shaped)) continue;
      if (chan.channel_lakes && (chan.lake_mask[m] >= 1 || j > chan.nx[i])) continue;

      const double w = chan.gst_pct[g];

      double& h = depth[m];
      const double zg = ground[m];
      const double level = zg + h;  // cell water surface, m
      const double zb = chan.bel[a];
      const double bank = zb + chan.bankfull_dep[a];
      const double stage = chan.yp[a];
      // The channel is entrenched below the ground but its water stands above it.
      const bool above_ground = stage > zg && zb < zg;

      bank_flow kind = bank_flow::weir_in;
      double head_out = 0.0;       // weir head over the bank from the channel side, m
      double manning_depth = 0.0;  // m
      double f = 1.0;              // submergence factor
      if (sw.overbank && above_ground) {
        bool out = false;
        double tail = 0.0;
        if (bank > level && stage > bank) {
          out = true;
          head_out = stage - bank;
          tail = level - bank > 0.0 ? level - bank : 0.0;
        }
        if (bank < level && stage > level) {
          kind = bank_flow::manning_out;
          manning_depth = (h + (stage - zg)) * 0.5;
        } else if (!out) {
          kind = bank_flow::manning_in;
          manning_depth = h;
        } else {
          kind = bank_flow::weir_out;
          const double x = std::pow(tail / head_out, 1.5);
          f = x >= 1e-7 ? submergence_factor(x) : 1.0;
        }
      } else if (sw.backwater && above_ground) {
        kind = bank_flow::none;
        if (stage < level && bank < level) {
          kind = bank_flow::manning_in;
          manning_depth = h;
        }
      }
      if (kind == bank_flow::none) continue;

      double q = 0.0;  // m3/s, the size of the flow either way
      if (kind == bank_flow::weir_in || kind == bank_flow::weir_out) {
        const double head = kind == bank_flow::weir_in ? h : head_out;
        if (head > 0.0) q = weir_coefficient * w * dx * std::pow(head, 1.5) * f;
      } else if (manning_depth > 0.0) {
        q = std::sqrt(std::fabs(stage - level) / s) * std::pow(manning_depth, 2.0 / 3.0) /
            rough[m] * manning_depth * dx * w;
      }

      double moved = 0.0;  // m3 into the channel straight away (not through qlat)
      if (kind == bank_flow::weir_in || kind == bank_flow::manning_in) {
        if (h * s2 - q * dt < 1e-16) {
          q = h * s2 / dt;
          h = 0.0;
        } else {
          h -= q * dt / s2;
        }
      } else {
        // The channel gives at most 1% of what stands above the level it
        // drains to, so one step cannot draw the node down past the bank.
        const double drop = kind == bank_flow::weir_out ? head_out : stage - zg;
        chan.yp[a] = stage - drop;
        chan.chan_depth[a] = chan.yp[a] - zb;
        ex_section_node_from_stage(chan, i, j);
        const double low_area = chan.area[a];
        chan.yp[a] = stage;
        chan.chan_depth[a] = stage - zb;
        ex_section_node_from_stage(chan, i, j);
        if (error_state.stop_flag != 0) return total;
        const double va = (chan.area[a] - low_area) * dx * w;  // m3
        if (va <= 0.0) {
          q = 0.0;
        } else if ((va - q * dt) / va < 0.99) {
          q = 0.01 * va / dt;
        }
        q = -q;
        h -= q * dt / s2;
        // Water the cell cannot hold below the channel's stage runs straight
        // back into the node.
        while (zg + h > chan.yp[a]) {
          const double ve = (zg + h - chan.yp[a]) * s2;  // m3
          h -= ve / s2;
          chan.area[a] += ve / dx;
          ex_section(chan, section_mode::from_area);
          if (error_state.stop_flag != 0) return total;
          moved += ve;
        }
      }

      chan.qlat[a] += q / dx;
      const double v = q * dt + moved;  // m3
      total += v;
      if (record) {
        chan.cell_lat_volume[m] += v;
        chan.gst_vlat[g] += v;
      }
    }
  }

  if (std::isnan(total)) {
    char text[128];
    std::snprintf(text, sizeof text, "lateral inflow for node %d link %d is not a number \n",
                  last_node, last_link);
    print_message(summary_file, text);
  }
  return total;
}
