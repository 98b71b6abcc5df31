// Cross-section properties, node by node. The same per-node code serves the
// whole-network sweep after every routing sub-step and the single nodes a
// channel lake releases, so it allocates nothing and touches only the node's
// own slots.

#include "channel/ex_section.h"

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdio>

#include "channel/channel_state.h"
#include "core/error_state.h"

namespace {

constexpr double two_thirds = 2.0 / 3.0;
constexpr double five_thirds = 5.0 / 3.0;

// Areas this far below zero are the rounding of a node that ran dry and are
// read as an empty channel; anything more negative is a routing failure.
constexpr double area_rounding = -0.0001;

// The lake release raises this from several threads at once.
void mark_exceeded(channel_state& chan) {
  std::atomic_ref<int>(chan.xsec_exceeded).store(1, std::memory_order_relaxed);
}

// Depth at which a trapezoid (bottom b, side slope z) holds area a, given
// the discriminant 4za + b^2: the root of z y^2 + b y - a = 0, written
// 2a / (sqrt(4za + b^2) + b) rather than (sqrt(4za + b^2) - b) / 2z. It is
// the same root, but it stays exact for z = 0 (y = a / b, a rectangle) and
// loses no digits when 4za is small beside b^2 (a wide channel running
// shallow).
double trapezoid_depth(double a, double b, double discriminant) {
  if (a == 0.0) return 0.0;
  return 2.0 * a / (std::sqrt(discriminant) + b);
}

bool table_in_range(const channel_state& chan, int table) {
  if (table >= 1 && table <= chan.tables) return true;
  std::fputs("Error in section: Request for table beyond max. table number.\n", stderr);
  raise_error(own_message_code);
  return false;
}

bool trapezoid_from_area(channel_state& chan, int link, int node, std::size_t i) {
  double a = chan.area[i];
  double y = 0.0;
  if (a < 0.0) {
    if (a <= area_rounding) {
      raise_message("In ex_section.c - 1\nprogram stopped for negative area, node %d, link %d\n",
                    node, link);
      return false;
    }
    chan.area[i] = 0.0;
    a = 0.0;
  } else if (a != 0.0) {
    const double b = chan.bottom[i], z = chan.sslope[i];
    y = trapezoid_depth(a, b, 4.0 * z * a + b * b);
    if (y < 0.0 && y > area_rounding) y = 0.0;
  }
  chan.chan_depth[i] = y;
  chan.yp[i] = y + chan.bel[i];
  if (y > 0.0) {
    const double z = chan.sslope[i];
    const double p = 2.0 * y * std::sqrt(z * z + 1.0) + chan.bottom[i];
    chan.conv[i] = a * std::pow(a / p, two_thirds) * chan.inv_mannings_n[link];
  } else {
    chan.conv[i] = 0.0;
  }
  return true;
}

// The interval J (1..N-1) with X[J] <= a < X[J+1], or N-1 when there is none.
// A table's areas never fall with level, so at most one interval holds a and
// bisection finds it; a node may be looked up after every routing sub-step
// in tables of thousands of levels.
int area_interval(const double* x, int n, double a) {
  if (n < 2) return n - 1;
  if (!(x[1] <= a)) return n - 1;
  int lo = 1, hi = n - 1;
  while (lo < hi) {
    const int mid = (lo + hi + 1) / 2;
    if (x[mid] <= a)
      lo = mid;
    else
      hi = mid - 1;
  }
  return a < x[lo + 1] ? lo : n - 1;
}

bool table_from_area(channel_state& chan, int link, int node, std::size_t i) {
  const double a = chan.area[i];
  if (a < 0.0) {
    raise_message("In ex_section.c - 4\nprogram stopped for negative area, node %d, link %d\n",
                  node, link);
    return false;
  }
  const int t = chan.table_num[i];
  if (!table_in_range(chan, t)) return false;
  const double* x = &chan.xarea[chan.bp_index(0, t)];
  const double* k = &chan.xk[chan.bp_index(0, t)];
  const int n = chan.numhts[t];
  const double h = chan.ht_spc[t];
  double y, conv;
  if (a == 0.0) {
    y = 0.0;
    conv = 0.0;
  } else if (a < x[1]) {
    // Below the first level the area grows as depth^(5/3), as it does in a
    // wide channel, and conveyance with it.
    y = h * std::pow(a / x[1], 0.6);
    conv = k[1] * std::pow(y / h, five_thirds);
  } else if (a > x[n]) {
    mark_exceeded(chan);
    y = n * h + (a - x[n]) * h / (x[n] - x[n - 1]);
    conv = k[n] + (y - n * h) * (k[n] - k[n - 1]) / h;
  } else {
    const int j = area_interval(x, n, a);
    y = j * h + (a - x[j]) * h / (x[j + 1] - x[j]);
    conv = k[j] + (y - j * h) * (k[j + 1] - k[j]) / h;
  }
  chan.chan_depth[i] = y;
  chan.yp[i] = y + chan.bel[i];
  chan.conv[i] = conv;
  return true;
}

bool two_stage_from_area(channel_state& chan, int link, int node, std::size_t i) {
  const double a = chan.area[i];
  if (a < 0.0) {
    raise_message("In ex_section.c - 5\nstopped for negative area, node %d, link %d\n", node,
                  link);
    return false;
  }
  const double b = chan.bottom[i], z = chan.sslope[i], z2 = chan.sslope2[i];
  const double bf = chan.bankfull_dep[i];
  const double a_bankfull = (bf * z + b) * bf;
  double y, p;
  if (a <= a_bankfull) {
    const double discriminant = 4.0 * z * a + b * b;
    if (discriminant < 0.0) {
      raise_message(
          "in ex_section.c - 1, negative square root at:\nlink %d node %d.  Program stopped.\n",
          link, node);
      return false;
    }
    y = trapezoid_depth(a, b, discriminant);
    if (y < 0.0) {
      raise_message("in ex_section - 2, negative depth at:\nlink %d node %d.  Program stopped.\n",
                    link, node);
      return false;
    }
    p = 2.0 * y * std::sqrt(z * z + 1.0) + b;
  } else {
    const double top_bankfull = 2.0 * bf * z + b;
    const double above = a - a_bankfull;
    const double discriminant = 4.0 * z2 * above + top_bankfull * top_bankfull;
    if (discriminant < 0.0) {
      raise_message(
          "in ex_section.c - 3, negative square root at:\nlink %d node %d.  Program stopped.\n",
          link, node);
      return false;
    }
    const double d2 = trapezoid_depth(above, top_bankfull, discriminant);
    if (d2 < 0.0) {
      raise_message("in ex_section - 4, negative yabf at:\nlink %d node %d\n", link, node);
      return false;
    }
    y = bf + d2;
    if (y < 0.0) {
      raise_message("in ex_section - 4, negative depth at:\nlink %d node %d.  Program stopped.\n",
                    link, node);
      return false;
    }
    p = 2.0 * bf * std::sqrt(z * z + 1.0) + b + 2.0 * d2 * std::sqrt(z2 * z2 + 1.0);
  }
  chan.chan_depth[i] = y;
  chan.yp[i] = y + chan.bel[i];
  // A dry node of a channel without bottom width has no perimeter either.
  chan.conv[i] = p > 0.0 ? std::pow(a, five_thirds) * chan.inv_mannings_n[link] /
                               std::pow(p, two_thirds)
                         : 0.0;
  return true;
}

bool trapezoid_from_stage(channel_state& chan, int link, int node, std::size_t i) {
  const double y = chan.yp[i] - chan.bel[i];
  if (y < 0.0) {
    raise_message("In ex_section.c - 1\nprogram stopped for negative depth, node %d, link %d\n",
                  node, link);
    return false;
  }
  const double b = chan.bottom[i], z = chan.sslope[i];
  const double side = std::sqrt(z * z + 1.0);
  const double top = 2.0 * y * z + b;
  const double a = (y * z + b) * y;
  const double p = 2.0 * y * side + b;
  chan.topw[i] = top;
  chan.area[i] = a;
  if (p > 0.0) {
    const double inv_n = chan.inv_mannings_n[link];
    const double r = a / p;
    const double r23 = std::pow(r, two_thirds);
    chan.conv[i] = a * r23 * inv_n;
    chan.dconv[i] = (five_thirds * r23 * top - two_thirds * r23 * r * 2.0 * side) * inv_n;
  } else {
    // Dry, with no bottom width: conveyance and its slope both start from 0.
    chan.conv[i] = 0.0;
    chan.dconv[i] = 0.0;
  }
  return true;
}

bool table_from_stage(channel_state& chan, int link, int node, std::size_t i) {
  const double y = chan.yp[i] - chan.bel[i];
  if (y < 0.0) {
    raise_message("In ex_section.c - 3\nprogram stopped for negative depth, node %d, link %d\n",
                  node, link);
    return false;
  }
  const int t = chan.table_num[i];
  if (!table_in_range(chan, t)) return false;
  const std::size_t row0 = chan.bp_index(0, t);
  const double* x = &chan.xarea[row0];
  const double* w = &chan.xtw[row0];
  const double* k = &chan.xk[row0];
  const int n = chan.numhts[t];
  const double h = chan.ht_spc[t];
  if (y < h) {
    const double h53 = std::pow(h, five_thirds);
    const double s = std::pow(y, five_thirds) / h53;
    chan.area[i] = x[1] * s;
    chan.topw[i] = w[1] * s;
    chan.conv[i] = k[1] * s;
    chan.dconv[i] = k[1] * std::pow(y, two_thirds) / h53;
    return true;
  }
  int j;
  if (y > n * h) {
    mark_exceeded(chan);
    j = n - 1;  // the last interval, carried on above the top level
  } else {
    j = static_cast<int>(y / h);
    if (j > n - 1) j = n - 1;
  }
  const double f = (y - j * h) / h;
  chan.area[i] = x[j] + f * (x[j + 1] - x[j]);
  chan.topw[i] = w[j] + f * (w[j + 1] - w[j]);
  chan.conv[i] = k[j] + f * (k[j + 1] - k[j]);
  chan.dconv[i] = (k[j + 1] - k[j]) / h;
  return true;
}

// The two-stage branch keeps its long-standing rounded exponents and factors,
// so that its results stay what users of this shape have always had.
bool two_stage_from_stage(channel_state& chan, int link, int node, std::size_t i) {
  const double y = chan.yp[i] - chan.bel[i];
  if (y < 0.0) {
    raise_message("In ex_section.c - 4\nprogram stopped for negative depth, node %d, link %d\n",
                  node, link);
    return false;
  }
  const double b = chan.bottom[i], z = chan.sslope[i], z2 = chan.sslope2[i];
  const double bf = chan.bankfull_dep[i];
  const double inv_n = chan.inv_mannings_n[link];
  double top, a, p, dconv;
  if (y > bf) {
    const double d2 = y - bf;
    const double side2 = std::sqrt(z2 * z2 + 1.0);
    top = 2.0 * bf * z + b + 2.0 * z2 * d2;
    a = (2.0 * bf * z + b + top) * 0.5 * d2 + (z * bf + b) * bf;
    p = 2.0 * bf * std::sqrt(z * z + 1.0) + b + 2.0 * d2 * side2;
    const double r = a / p;
    dconv = (std::pow(r, 0.6666667) * 1.6666666666666667 * top -
             std::pow(r, 1.6666667) * 1.3333333333333333 * side2) *
            inv_n;
  } else {
    top = 2.0 * y * z + b;
    a = (y * z + b) * y;
    p = 2.0 * y * std::sqrt(z * z + 1.0) + b;
    const double r = a / p;
    dconv = (std::pow(r, 0.6666667) * top * 1.66667 -
             std::sqrt(z * z + 1.0) * 1.33333 * std::pow(r, 1.6666667)) *
            inv_n;
  }
  chan.topw[i] = top;
  chan.area[i] = a;
  if (p > 0.0) {
    chan.conv[i] = std::pow(a, 1.666667) * inv_n / std::pow(p, 0.666667);
    chan.dconv[i] = dconv;
  } else {
    chan.conv[i] = 0.0;
    chan.dconv[i] = 0.0;
  }
  return true;
}

// From area, only the first shape bit the link carries counts.
bool node_from_area(channel_state& chan, int type, int link, int node, std::size_t i) {
  if (type & link_bit::trapezoid) return trapezoid_from_area(chan, link, node, i);
  if (type & link_bit::breakpoint) return table_from_area(chan, link, node, i);
  if (type & link_bit::two_stage) return two_stage_from_area(chan, link, node, i);
  return true;
}

bool node_from_stage(channel_state& chan, int type, int link, int node, std::size_t i) {
  if ((type & link_bit::trapezoid) && !trapezoid_from_stage(chan, link, node, i)) return false;
  if ((type & link_bit::breakpoint) && !table_from_stage(chan, link, node, i)) return false;
  if ((type & link_bit::two_stage) && !two_stage_from_stage(chan, link, node, i)) return false;
  return true;
}

}  // namespace

void ex_section(channel_state& chan, int mode) {
  if (mode != section_mode::from_area && mode != section_mode::from_stage) return;
  for (int link = 1; link <= chan.links; ++link) {
    const int type = chan.ltype[link];
    if (!(type & link_bit::shaped)) continue;
    const int nodes = chan.nx[link];
    std::size_t i = static_cast<std::size_t>(chan.node_address(link, 1));
    for (int node = 1; node <= nodes; ++node, ++i) {
      const bool ok = mode == section_mode::from_area ? node_from_area(chan, type, link, node, i)
                                                      : node_from_stage(chan, type, link, node, i);
      if (!ok) return;
    }
  }
}

void ex_section_node_from_stage(channel_state& chan, int link, int node) {
  node_from_stage(chan, chan.ltype[link], link, node,
                  static_cast<std::size_t>(chan.node_address(link, node)));
}
