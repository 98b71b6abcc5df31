// Bed change of erodible break-point sections. The points move in
// proportion to their depth below the water line: for erosion the share is
// 1 - (height above the lowest point / depth)^0.5, so the deepest water
// scours most and the banks least; for deposition 1 - height / depth, so
// the sand fills the deep parts first. The shares are fixed by the section
// as it stood, so the area swept is the shift of the lowest point times the
// width the shares weigh, and the correction below settles on it.

#include "channel/xsec_update.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "channel/bp_xsec.h"
#include "channel/channel_state.h"
#include "core/error_state.h"

namespace {

constexpr double smallest_change = 1e-16;  // m2 of bed per metre
constexpr double tolerance = 1e-5;         // relative error of the swept area
constexpr int most_rounds = 500;
constexpr double smallest_spacing = 0.0001;  // m between table levels

// Share of the lowest point's shift that a point r x depth above it takes.
double share(double r, bool erosion) {
  const double s = std::min(1.0, std::max(0.0, r));
  return erosion ? 1.0 - std::sqrt(s) : 1.0 - s;
}

}  // namespace

double xsec_update_node(channel_state& chan, int link, int node, double bed, double min_bel) {
  if (std::fabs(bed) <= smallest_change) return 0.0;
  const int a = chan.node_address(link, node);
  const bool erosion = bed < 0.0;
  if (erosion && chan.bel[a] <= min_bel) return 0.0;

  const double depth = chan.yp[a] - chan.bel[a];
  if (depth < 0.0) {
    raise_message("In ex_section.c - 3\nprogram stopped for negative depth, node %d, link %d\n",
                  node, link);
    return 0.0;
  }
  const int t = chan.table_num[a];
  const int pairs = chan.numpairs[std::size_t(t)];
  const int levels = chan.numhts[std::size_t(t)];
  const double h = chan.ht_spc[std::size_t(t)];
  const std::size_t row = chan.bp_point_index(chan.bplink[link], node, 0);
  double* x = &chan.xbp_lnn[row];
  double* z = &chan.ybp_lnn[row];
  double low = z[1], high = z[1];
  for (int l = 2; l <= pairs; ++l) {
    low = std::min(low, z[l]);
    high = std::max(high, z[l]);
  }

  // The level just above the water: its top width gives the first guess,
  // its wetted perimeter the correction.
  const int k = std::min(levels, static_cast<int>(depth / h) + 1);
  const double top = chan.xtw[chan.bp_index(k, t)];
  const double wetted = chan.xp[chan.bp_index(k, t)];
  if (top <= 0.0 || wetted <= 0.0) return 0.0;
  double shift = bed / top;  // m
  if (std::fabs(shift) > depth) {
    print_message(summary_file,
                  "In xsec_update.c - 3\n"
                  "It is impossible that change of stream bed elevation is greater than maximum "
                  "channel depth\n"
                  "Setting the change in stream bed elevation equal to the depth of the channel\n");
    shift = std::copysign(depth, bed);
    bed = shift * top;
  }
  if (depth <= 0.0) return 0.0;

  // Width weighted by the shares: the area swept per metre of shift.
  double swept_width = 0.0;
  double previous = share((z[1] - low) / depth, erosion);
  for (int l = 2; l <= pairs; ++l) {
    const double s = share((z[l] - low) / depth, erosion);
    swept_width += 0.5 * (previous + s) * (x[l] - x[l - 1]);
    previous = s;
  }
  int rounds = 0;
  while (std::fabs((swept_width * shift - bed) / bed) > tolerance) {
    if (++rounds > most_rounds) {
      raise_message(
          "In xsec_update- \nprogram stopped for difficulty in convergence, node %d, link %d\n",
          node, link);
      return 0.0;
    }
    shift += (bed - swept_width * shift) / wetted;
  }

  // A shift past the depth would turn the section over at the water line,
  // the bed may not scour below its lowest allowed level, and a section
  // filled to its top (under water over its banks) would leave no levels
  // to tabulate.
  shift = std::clamp(shift, -depth, depth);
  if (erosion) {
    shift = std::max(shift, min_bel - chan.bel[a]);
  } else {
    shift = std::min(shift, std::max(0.0, high - low - levels * smallest_spacing));
  }

  double new_low = low + shift;
  for (int l = 1; l <= pairs; ++l) {
    z[l] += share((z[l] - low) / depth, erosion) * shift;
    new_low = std::min(new_low, z[l]);
  }
  chan.bel[a] = std::max(chan.bel[a] + (new_low - low), min_bel);
  if (!bp_xsec_table(chan, link, t, x, z, pairs, levels)) return 0.0;
  return swept_width * shift;
}

int xsec_update(channel_state& chan, double porosity, const double* min_bel, double* sand) {
  int drawn = 0;
  for (int l = 1; l <= chan.links; ++l) {
    const int t = chan.ltype[l];
    if (!(t & link_bit::erodible) || !(t & link_bit::breakpoint) || chan.bplink[l] <= 0) continue;
    if (t & (link_bit::lake | link_bit::structure | link_bit::overtaken)) continue;
    for (int k = 1; k <= chan.nx[l]; ++k) {
      const int a = chan.node_address(l, k);
      const double bed = sand[a] / (1.0 - porosity);
      const double taken = xsec_update_node(chan, l, k, bed, min_bel[a]);
      if (error_state.stop_flag) return drawn;
      sand[a] = taken * (1.0 - porosity);
      if (taken != 0.0) ++drawn;
    }
  }
  return drawn;
}
