// Seepage through stream and lake beds: Darcy flow across a bed of given
// conductivity and thickness, over the wetted top width of the channel, driven
// by the difference between the water table and the stage. Without a water
// table map every wet node loses water to the ground by its depth.

#include "subsurface/gw_stream_exchange.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/channel_state.h"
#include "core/error_state.h"
#include "core/text_io.h"
#include "input/read_grid_inputs.h"

namespace {

// Saturated thickness below which the aquifer feeds nothing, m.
constexpr double dry_thickness = 0.01;
// Depth below which a channel over a low table counts as dry, m.
constexpr double dry_depth = 1e-6;
// Lake seepage rate of one cell, m2/s into the lake.
double lake_rate(const channel_state& chan, const gw_exchange_cells& cells, int c, double dx,
                 const gw_stream_flags& flags) {
  const int lake = chan.lake_mask.empty() ? 0 : chan.lake_mask[std::size_t(c)];
  if (lake == 0) return 0.0;
  const double level = chan.lake_elev[std::size_t(lake)];
  const double ground = cells.ground[std::size_t(c)];
  const double bed = cells.lake_bed_thickness[std::size_t(lake)] / 100.0;  // cm to m
  if (!(bed > 0.0)) return 0.0;
  const double leakance = cells.lake_bed_k[std::size_t(c)] / bed * dx;  // m/s per m of head x m
  if (!flags.water_table_map)
    return level - ground > 1e-16 ? -(level - ground) * leakance : 0.0;
  if (flags.groundwater && cells.gwbound[std::size_t(c)] != 7) return 0.0;
  const double head = cells.head[std::size_t(c)];
  const double bottom = cells.bottom[std::size_t(c)];
  if (head > ground && head - bottom > dry_thickness) return (head - level) * leakance;
  if (bottom < level && level - ground > 1e-16) return -(level - ground) * leakance;
  return 0.0;
}

bool eligible(const channel_state& chan, const gw_exchange_cells& cells, std::size_t g,
              const gw_stream_flags& flags) {
  const int link = chan.gst_link[g];
  const int t = chan.ltype[std::size_t(link)];
  if (t & (link_bit::structure | link_bit::lake)) return false;
  if ((t & link_bit::overtaken) && (t & link_bit::shaped)) return false;
  if (flags.lakes && chan.gst_node[g] > chan.nx[std::size_t(link)]) return false;
  if (flags.water_table_map && flags.groundwater &&
      cells.gwbound[std::size_t(chan.gst_gnum[g])] != 4)
    return false;
  return true;
}

enum class scan_result { none, exchange, gain };

// Whether any eligible entry would move water, and whether any would feed
// its stream; stops at the first that feeds.
scan_result quick_scan(const channel_state& chan, const gw_exchange_cells& cells,
                       const gw_stream_flags& flags) {
  scan_result found = scan_result::none;
  for (int i = 1; i <= chan.stream_cells; ++i) {
    for (int e = 1; e <= chan.gst_ncellsingrid[std::size_t(i)]; ++e) {
      const std::size_t g = chan.gst_index(i, e);
      if (!eligible(chan, cells, g, flags)) continue;
      const std::size_t a = std::size_t(chan.node_address(chan.gst_link[g], chan.gst_node[g]));
      const double depth = chan.chan_depth[a];
      if (!flags.water_table_map) {
        if (depth > 1e-16) found = scan_result::exchange;
        continue;
      }
      const std::size_t c = std::size_t(chan.gst_gnum[g]);
      const double head = cells.head[c], bed = chan.bel[a];
      if (head > bed) {
        if (head > bed + depth && head - cells.bottom[c] > dry_thickness) return scan_result::gain;
        found = scan_result::exchange;
      } else if (depth > dry_depth) {
        found = scan_result::exchange;
      }
    }
  }
  return found;
}

}  // namespace

bool size_entry_rates(std::vector<double>& entry_rate, const channel_state& chan) {
  return allocate_zeroed(entry_rate, chan.gst_index(chan.stream_cells + 1, 0), "entry_rate");
}

double seepage_width(const channel_state& chan, int link, std::size_t a, double y) {
  const int t = chan.ltype[std::size_t(link)];
  if (t & link_bit::breakpoint) {
    const int table = chan.table_num[a];
    if (table < 1 || table > chan.tables) {
      std::fputs("Error in section: Request for table beyond max. table number.\n", stderr);
      raise_error(own_message_code);
      return -1.0;
    }
    const double e = chan.ht_spc[std::size_t(table)];
    const int n = chan.numhts[std::size_t(table)];
    auto width = [&](int level) { return chan.xtw[chan.bp_index(level, table)]; };
    if (y < e) return width(1) * std::pow(y / e, 5.0 / 3.0);
    if (y <= n * e) {
      const int i = static_cast<int>(y / e);
      if (i + 1 > n) return width(i);
      return width(i) + (y - i * e) / e * (width(i + 1) - width(i));
    }
    return width(n) + (y - n * e) / e * (width(n) - width(n - 1));
  }
  const double b = chan.bottom[a], z = chan.sslope[a];
  if (t & link_bit::two_stage) {
    const double bank = chan.bankfull_dep[a];
    return b + 2.0 * std::min(y, bank) * z + 2.0 * std::max(y - bank, 0.0) * chan.sslope2[a];
  }
  if (t & link_bit::trapezoid) return b + 2.0 * y * z;
  return 0.0;
}

int gw_stream_exchange(channel_state& chan, const gw_exchange_cells& cells,
                       std::span<double> entry_rate, std::span<double> lake_seep_rate, double dx,
                       const gw_stream_flags& flags) {
  if (flags.lake_exchange) {
    const int n = static_cast<int>(lake_seep_rate.size()) - 1;
#pragma omp parallel for schedule(static) num_threads(team_for(n, aquifer_cells_per_thread))
    for (int c = 1; c <= n; ++c)
      lake_seep_rate[std::size_t(c)] = lake_rate(chan, cells, c, dx, flags);
  }
  if (!flags.stream_exchange) return gw_no_exchange;

  const scan_result scan = quick_scan(chan, cells, flags);
  std::fill(chan.qriv.begin(), chan.qriv.end(), 0.0);
  std::fill(entry_rate.begin(), entry_rate.end(), 0.0);
  if (scan == scan_result::none) return gw_no_exchange;

  const bool map = flags.water_table_map != 0;
  for (int i = 1; i <= chan.stream_cells; ++i) {
    for (int e = 1; e <= chan.gst_ncellsingrid[std::size_t(i)]; ++e) {
      const std::size_t g = chan.gst_index(i, e);
      if (!eligible(chan, cells, g, flags)) continue;
      const int link = chan.gst_link[g];
      const std::size_t a = std::size_t(chan.node_address(link, chan.gst_node[g]));
      const std::size_t c = std::size_t(chan.gst_gnum[g]);
      const double bed = chan.bel[a], depth = chan.chan_depth[a], stage = bed + depth;
      const double head = map ? cells.head[c] : 0.0;
      double y;  // flow depth of the seepage width, m
      if (map && head > bed)
        y = head > stage ? head - bed : depth;
      else
        y = depth > dry_depth ? depth : 0.0;
      const double width = seepage_width(chan, link, a, y);
      if (width < 0.0) return gw_no_exchange;
      const double thickness = chan.mrb.empty() ? 0.0 : chan.mrb[a];
      const double leakance =
          thickness > 0.0 ? chan.krb[a] / 3600.0 / thickness : 0.0;  // per hour to 1/s
      double rate = 0.0;  // m2/s
      if (!map) {
        if (depth > 1e-16) rate = -width * leakance * depth;
      } else if (head > bed) {
        const bool thin = head > stage && head - cells.bottom[c] < dry_thickness;
        const bool flooded = cells.ground[c] <= head && head < stage;
        if (!thin && !flooded) rate = width * leakance * (head - stage);
      } else if (depth > dry_depth) {
        rate = -width * leakance * depth;
      }
      entry_rate[g] = rate;
      chan.qriv[a] += rate * chan.gst_pct[g];
      if (std::isnan(chan.qriv[a])) {
        chan.qriv[a] = 0.0;
        msg_printf("qriv in node %ld link %ld is not a number\n", long(chan.gst_node[g]),
                   long(link));
        msg_printf("qriv set to zero in this node \n");
        msg_printf("check your input \n");
      }
    }
  }

  // Judged on each node's whole exchange, whatever the order of its entries.
  int result = gw_no_exchange;
  for (int i = 1; i <= chan.stream_cells && result != gw_stream_gains; ++i) {
    for (int e = 1; e <= chan.gst_ncellsingrid[std::size_t(i)]; ++e) {
      const std::size_t g = chan.gst_index(i, e);
      if (!eligible(chan, cells, g, flags)) continue;
      const std::size_t a = std::size_t(chan.node_address(chan.gst_link[g], chan.gst_node[g]));
      if (chan.qriv[a] > 0.0) {
        result = gw_stream_gains;
        break;
      }
      if (chan.qriv[a] != 0.0 && chan.chan_depth[a] > 0.0) result = gw_stream_exchanges;
    }
  }
  return result;
}
