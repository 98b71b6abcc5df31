// Cross-section properties, node by node. Every node's properties depend on
// that node alone, so the whole-network sweep runs over links in parallel;
// what keeps it equal to a node-by-node walk is the stop. A node's faults are
// tested apart from the arithmetic, without writing anything, so a read-only
// scan can find the node at which the walk would stop before any node is
// written; the nodes before it are then worked in parallel and the stopping
// node is worked last, on one thread, where it prints its message. The same
// per-node code serves the single nodes a channel lake releases, so it
// allocates nothing and touches only the node's own slots.

#include "channel/ex_section.h"

#include <algorithm>
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

// Several threads may raise it at once.
void mark_exceeded(channel_state& chan) {
  std::atomic_ref<int>(chan.xsec_exceeded).store(1, std::memory_order_relaxed);
}

// Depth at which a trapezoid (bottom b, side slope z) holds area a, given
// the discriminant 4za + b^2: the root of z y^2 + b y - a = 0, written
// 2a / (sqrt(4za + b^2) + b) rather than (sqrt(4za + b^2) - b) / 2z. It is
// the same root, but it stays exact for z = 0 (y = a / b, a rectangle) and
// loses no digits when 4za is small beside b^2 (a wide channel running
// shallow).
inline double trapezoid_depth(double a, double b, double discriminant) {
  if (a == 0.0) return 0.0;
  return 2.0 * a / (std::sqrt(discriminant) + b);
}

// Why a node's properties cannot be computed; each has its own message.
enum class fault {
  none,
  trapezoid_area,    // from area: below the rounding of an empty channel
  table_area,        // from area: negative
  table_missing,     // either mode: a table number beyond the tables
  two_stage_area,    // from area: negative
  root_in_banks,     // from area, two-stage: no depth holds the area below bank-full
  depth_in_banks,
  root_over_banks,   // from area, two-stage: no depth holds the area above bank-full
  height_over_banks,  // from area, two-stage: negative height of water above bank-full
  depth_over_banks,
  trapezoid_stage,   // from stage: below the bed
  table_stage,
  two_stage_stage,
};

void report(fault f, int link, int node) {
  switch (f) {
    case fault::none:
      return;
    case fault::trapezoid_area:
      raise_message("In ex_section.c - 1\nprogram stopped for negative area, node %d, link %d\n",
                    node, link);
      return;
    case fault::table_area:
      raise_message("In ex_section.c - 4\nprogram stopped for negative area, node %d, link %d\n",
                    node, link);
      return;
    case fault::table_missing:
      std::fputs("Error in section: Request for table beyond max. table number.\n", stderr);
      raise_error(own_message_code);
      return;
    case fault::two_stage_area:
      raise_message("In ex_section.c - 5\nstopped for negative area, node %d, link %d\n", node,
                    link);
      return;
    case fault::root_in_banks:
      raise_message(
          "in ex_section.c - 1, negative square root at:\nlink %d node %d.  Program stopped.\n",
          link, node);
      return;
    case fault::depth_in_banks:
      raise_message("in ex_section - 2, negative depth at:\nlink %d node %d.  Program stopped.\n",
                    link, node);
      return;
    case fault::root_over_banks:
      raise_message(
          "in ex_section.c - 3, negative square root at:\nlink %d node %d.  Program stopped.\n",
          link, node);
      return;
    case fault::height_over_banks:
      raise_message("in ex_section - 4, negative yabf at:\nlink %d node %d\n", link, node);
      return;
    case fault::depth_over_banks:
      raise_message("in ex_section - 4, negative depth at:\nlink %d node %d.  Program stopped.\n",
                    link, node);
      return;
    case fault::trapezoid_stage:
      raise_message("In ex_section.c - 1\nprogram stopped for negative depth, node %d, link %d\n",
                    node, link);
      return;
    case fault::table_stage:
      raise_message("In ex_section.c - 3\nprogram stopped for negative depth, node %d, link %d\n",
                    node, link);
      return;
    case fault::two_stage_stage:
      raise_message("In ex_section.c - 4\nprogram stopped for negative depth, node %d, link %d\n",
                    node, link);
      return;
  }
}

inline bool table_exists(const channel_state& chan, int table) {
  return table >= 1 && table <= chan.tables;
}

// What a node's area gives: its depth (m), its conveyance, and whether it
// lies above its table's top level.
struct area_result {
  double depth = 0.0;
  double conv = 0.0;
  bool exceeded = false;
};

// ---- Trapezoid ----

inline fault trapezoid_area_fault(double a) {
  return a <= area_rounding ? fault::trapezoid_area : fault::none;
}

// A rounding-negative area counts as empty (the caller stores the 0 back).
inline area_result trapezoid_of_area(const channel_state& chan, int link, std::size_t i, double a) {
  area_result r;
  if (a < 0.0) a = 0.0;
  if (a != 0.0) {
    const double b = chan.bottom[i], z = chan.sslope[i];
    double y = trapezoid_depth(a, b, 4.0 * z * a + b * b);
    if (y < 0.0 && y > area_rounding) y = 0.0;
    r.depth = y;
  }
  if (r.depth > 0.0) {
    const double z = chan.sslope[i];
    const double p = 2.0 * r.depth * std::sqrt(z * z + 1.0) + chan.bottom[i];
    r.conv = a * std::pow(a / p, two_thirds) * chan.inv_mannings_n[link];
  }
  return r;
}

// ---- Break-point table ----

inline fault table_area_fault(const channel_state& chan, std::size_t i, double a) {
  if (a < 0.0) return fault::table_area;
  if (!table_exists(chan, chan.table_num[i])) return fault::table_missing;
  return fault::none;
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

area_result table_of_area(const channel_state& chan, std::size_t i, double a) {
  const int t = chan.table_num[i];
  const double* x = &chan.xarea[chan.bp_index(0, t)];
  const double* k = &chan.xk[chan.bp_index(0, t)];
  const int n = chan.numhts[t];
  const double h = chan.ht_spc[t];
  area_result r;
  if (a == 0.0) return r;
  if (a < x[1]) {
    // Below the first level the area grows as depth^(5/3), as it does in a
    // wide channel, and conveyance with it.
    r.depth = h * std::pow(a / x[1], 0.6);
    r.conv = k[1] * std::pow(r.depth / h, five_thirds);
  } else if (a > x[n]) {
    r.exceeded = true;
    r.depth = n * h + (a - x[n]) * h / (x[n] - x[n - 1]);
    r.conv = k[n] + (r.depth - n * h) * (k[n] - k[n - 1]) / h;
  } else {
    const int j = area_interval(x, n, a);
    r.depth = j * h + (a - x[j]) * h / (x[j + 1] - x[j]);
    r.conv = k[j] + (r.depth - j * h) * (k[j + 1] - k[j]) / h;
  }
  return r;
}

// Whether table_of_area flags area a as above the table's top level.
bool table_exceeded(const channel_state& chan, std::size_t i, double a) {
  if (a == 0.0) return false;
  const int t = chan.table_num[i];
  const double* x = &chan.xarea[chan.bp_index(0, t)];
  return !(a < x[1]) && a > x[chan.numhts[t]];
}

// ---- Two-stage trapezoid ----

// Depth and wetted perimeter (m) of a two-stage node holding area a >= 0,
// or the fault that leaves it without either.
struct two_stage_fill {
  double depth = 0.0;
  double perimeter = 0.0;
  fault f = fault::none;
};

inline two_stage_fill two_stage_of_area(const channel_state& chan, std::size_t i, double a) {
  const double b = chan.bottom[i], z = chan.sslope[i], z2 = chan.sslope2[i];
  const double bf = chan.bankfull_dep[i];
  const double a_bankfull = (bf * z + b) * bf;
  two_stage_fill r;
  if (a <= a_bankfull) {
    const double discriminant = 4.0 * z * a + b * b;
    if (discriminant < 0.0) return {0.0, 0.0, fault::root_in_banks};
    const double y = trapezoid_depth(a, b, discriminant);
    if (y < 0.0) return {0.0, 0.0, fault::depth_in_banks};
    r.depth = y;
    r.perimeter = 2.0 * y * std::sqrt(z * z + 1.0) + b;
  } else {
    const double top_bankfull = 2.0 * bf * z + b;
    const double above = a - a_bankfull;
    const double discriminant = 4.0 * z2 * above + top_bankfull * top_bankfull;
    if (discriminant < 0.0) return {0.0, 0.0, fault::root_over_banks};
    const double d2 = trapezoid_depth(above, top_bankfull, discriminant);
    if (d2 < 0.0) return {0.0, 0.0, fault::height_over_banks};
    const double y = bf + d2;
    if (y < 0.0) return {0.0, 0.0, fault::depth_over_banks};
    r.depth = y;
    r.perimeter = 2.0 * bf * std::sqrt(z * z + 1.0) + b + 2.0 * d2 * std::sqrt(z2 * z2 + 1.0);
  }
  return r;
}

inline area_result two_stage_result(const channel_state& chan, int link, const two_stage_fill& fill,
                             double a) {
  area_result r;
  r.depth = fill.depth;
  // A dry node of a channel without bottom width has no perimeter either.
  r.conv = fill.perimeter > 0.0 ? std::pow(a, five_thirds) * chan.inv_mannings_n[link] /
                                      std::pow(fill.perimeter, two_thirds)
                                : 0.0;
  return r;
}

// ---- From area: only the first shape bit the link carries counts ----

// The fault of area a at node i of a link of the given shape bit, and when
// there is none what the area gives, in r.
template <int shape>
inline fault shape_from_area(const channel_state& chan, int link, std::size_t i, double a,
                             area_result& r) {
  if constexpr (shape == link_bit::trapezoid) {
    const fault f = trapezoid_area_fault(a);
    if (f == fault::none) r = trapezoid_of_area(chan, link, i, a);
    return f;
  } else if constexpr (shape == link_bit::breakpoint) {
    const fault f = table_area_fault(chan, i, a);
    if (f == fault::none) r = table_of_area(chan, i, a);
    return f;
  } else {
    if (a < 0.0) return fault::two_stage_area;
    const two_stage_fill fill = two_stage_of_area(chan, i, a);
    if (fill.f == fault::none) r = two_stage_result(chan, link, fill, a);
    return fill.f;
  }
}

int area_shape(int type) {
  if (type & link_bit::trapezoid) return link_bit::trapezoid;
  if (type & link_bit::breakpoint) return link_bit::breakpoint;
  if (type & link_bit::two_stage) return link_bit::two_stage;
  return 0;
}

fault from_area(const channel_state& chan, int type, int link, std::size_t i, double a,
                area_result& r) {
  switch (area_shape(type)) {
    case link_bit::trapezoid:
      return shape_from_area<link_bit::trapezoid>(chan, link, i, a, r);
    case link_bit::breakpoint:
      return shape_from_area<link_bit::breakpoint>(chan, link, i, a, r);
    case link_bit::two_stage:
      return shape_from_area<link_bit::two_stage>(chan, link, i, a, r);
  }
  return fault::none;
}

// The other shapes stop at a negative area, so only a trapezoid's rounding
// reaches the clearing.
inline void store(channel_state& chan, double* area, std::size_t i, double a,
                  const area_result& r) {
  if (a < 0.0) area[i] = 0.0;
  if (r.exceeded) mark_exceeded(chan);
  chan.chan_depth[i] = r.depth;
  chan.yp[i] = r.depth + chan.bel[i];
  chan.conv[i] = r.conv;
}

// Nodes [first, end) of a link of the given shape, up to the first fault,
// which is left unreported.
template <int shape>
void sweep_from_area(channel_state& chan, double* area, int link, int first, int end) {
  for (int n = first; n < end; ++n) {
    const std::size_t i = std::size_t(n);
    const double a = area[i];
    area_result r;
    if (shape_from_area<shape>(chan, link, i, a, r) != fault::none) return;
    store(chan, area, i, a, r);
  }
}

// The first node of [first, end) whose area the shape cannot take, with
// negative areas read as 0 when asked.
template <int shape>
int area_stop(const channel_state& chan, const double* area, int first, int end,
              bool negatives_as_zero) {
  for (int n = first; n < end; ++n) {
    const std::size_t i = std::size_t(n);
    const double a = negatives_as_zero && area[i] < 0.0 ? 0.0 : area[i];
    fault f;
    if constexpr (shape == link_bit::trapezoid) {
      f = trapezoid_area_fault(a);
    } else if constexpr (shape == link_bit::breakpoint) {
      f = table_area_fault(chan, i, a);
    } else {
      f = a < 0.0 ? fault::two_stage_area : two_stage_of_area(chan, i, a).f;
    }
    if (f != fault::none) return n;
  }
  return section_no_stop;
}

bool node_from_area(channel_state& chan, double* area, int type, int link, int node,
                    std::size_t i) {
  const double a = area[i];
  area_result r;
  const fault f = from_area(chan, type, link, i, a, r);
  if (f != fault::none) {
    report(f, link, node);
    return false;
  }
  if (area_shape(type) != 0) store(chan, area, i, a, r);
  return true;
}

// ---- From stage: every shape bit the link carries, in bit order ----

void trapezoid_from_stage(channel_state& chan, double* area, int link, std::size_t i) {
  const double y = chan.yp[i] - chan.bel[i];
  const double b = chan.bottom[i], z = chan.sslope[i];
  const double side = std::sqrt(z * z + 1.0);
  const double top = 2.0 * y * z + b;
  const double a = (y * z + b) * y;
  const double p = 2.0 * y * side + b;
  chan.topw[i] = top;
  area[i] = a;
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
}

void table_from_stage(channel_state& chan, double* area, std::size_t i) {
  const double y = chan.yp[i] - chan.bel[i];
  const int t = chan.table_num[i];
  const std::size_t row0 = chan.bp_index(0, t);
  const double* x = &chan.xarea[row0];
  const double* w = &chan.xtw[row0];
  const double* k = &chan.xk[row0];
  const int n = chan.numhts[t];
  const double h = chan.ht_spc[t];
  if (y < h) {
    const double h53 = std::pow(h, five_thirds);
    const double s = std::pow(y, five_thirds) / h53;
    area[i] = x[1] * s;
    chan.topw[i] = w[1] * s;
    chan.conv[i] = k[1] * s;
    chan.dconv[i] = k[1] * std::pow(y, two_thirds) / h53;
    return;
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
  area[i] = x[j] + f * (x[j + 1] - x[j]);
  chan.topw[i] = w[j] + f * (w[j + 1] - w[j]);
  chan.conv[i] = k[j] + f * (k[j + 1] - k[j]);
  chan.dconv[i] = (k[j + 1] - k[j]) / h;
}

// The two-stage branch keeps its long-standing rounded exponents and factors,
// so that its results stay what users of this shape have always had.
void two_stage_from_stage(channel_state& chan, double* area, int link, std::size_t i) {
  const double y = chan.yp[i] - chan.bel[i];
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
  area[i] = a;
  if (p > 0.0) {
    chan.conv[i] = std::pow(a, 1.666667) * inv_n / std::pow(p, 0.666667);
    chan.dconv[i] = dconv;
  } else {
    chan.conv[i] = 0.0;
    chan.dconv[i] = 0.0;
  }
}

// The fault of the first shape of the node's type that cannot take its stage.
fault stage_fault(const channel_state& chan, int type, std::size_t i) {
  const bool below = chan.yp[i] - chan.bel[i] < 0.0;
  if ((type & link_bit::trapezoid) && below) return fault::trapezoid_stage;
  if (type & link_bit::breakpoint) {
    if (below) return fault::table_stage;
    if (!table_exists(chan, chan.table_num[i])) return fault::table_missing;
  }
  if ((type & link_bit::two_stage) && below) return fault::two_stage_stage;
  return fault::none;
}

// A link carries one shape; should it carry more, the shapes before a
// failing one have stored their results, as a walk shape by shape leaves them.
bool node_from_stage(channel_state& chan, double* area, int type, int link, int node,
                     std::size_t i) {
  const fault f = stage_fault(chan, type, i);
  if ((type & link_bit::trapezoid) && f != fault::trapezoid_stage) {
    trapezoid_from_stage(chan, area, link, i);
  }
  if ((type & link_bit::breakpoint) && f == fault::none) table_from_stage(chan, area, i);
  if ((type & link_bit::two_stage) && f == fault::none) two_stage_from_stage(chan, area, link, i);
  if (f == fault::none) return true;
  report(f, link, node);
  return false;
}

bool known_mode(int mode) {
  return mode == section_mode::from_area || mode == section_mode::from_stage;
}

}  // namespace

int section_link_stop(const channel_state& chan, const double* area, int mode, int link,
                      bool negatives_as_zero) {
  const int type = chan.ltype[link];
  if (!(type & link_bit::shaped) || !known_mode(mode)) return section_no_stop;
  const int first = chan.node_address(link, 1);
  const int end = first + std::max(chan.nx[link], 0);
  if (mode == section_mode::from_stage) {
    for (int n = first; n < end; ++n)
      if (stage_fault(chan, type, std::size_t(n)) != fault::none) return n;
    return section_no_stop;
  }
  switch (area_shape(type)) {
    case link_bit::trapezoid:
      // Areas of 0 and above never stop a trapezoid.
      if (negatives_as_zero) return section_no_stop;
      return area_stop<link_bit::trapezoid>(chan, area, first, end, false);
    case link_bit::breakpoint:
      return area_stop<link_bit::breakpoint>(chan, area, first, end, negatives_as_zero);
    default:
      return area_stop<link_bit::two_stage>(chan, area, first, end, negatives_as_zero);
  }
}

void section_link(channel_state& chan, double* area, int mode, int link, int stop) {
  const int type = chan.ltype[link];
  if (!(type & link_bit::shaped) || !known_mode(mode)) return;
  const int first = chan.node_address(link, 1);
  const int end = std::min(first + std::max(chan.nx[link], 0), stop);
  if (mode == section_mode::from_stage) {
    for (int n = first; n < end; ++n) {
      if (stage_fault(chan, type, std::size_t(n)) != fault::none) return;
      node_from_stage(chan, area, type, link, n - first + 1, std::size_t(n));
    }
    return;
  }
  switch (area_shape(type)) {
    case link_bit::trapezoid:
      return sweep_from_area<link_bit::trapezoid>(chan, area, link, first, end);
    case link_bit::breakpoint:
      return sweep_from_area<link_bit::breakpoint>(chan, area, link, first, end);
    default:
      return sweep_from_area<link_bit::two_stage>(chan, area, link, first, end);
  }
}

void section_link_effects(channel_state& chan, double* area, int link, int stop) {
  const int type = chan.ltype[link];
  const int first = chan.node_address(link, 1);
  const int end = std::min(first + std::max(chan.nx[link], 0), stop);
  switch (area_shape(type)) {
    case link_bit::trapezoid:
      for (int n = first; n < end; ++n) {
        if (trapezoid_area_fault(area[n]) != fault::none) return;
        if (area[n] < 0.0) area[n] = 0.0;
      }
      return;
    case link_bit::breakpoint:
      for (int n = first; n < end; ++n) {
        const std::size_t i = std::size_t(n);
        if (table_area_fault(chan, i, area[i]) != fault::none) return;
        if (table_exceeded(chan, i, area[i])) mark_exceeded(chan);
      }
      return;
  }
}

void section_link_properties(channel_state& chan, const double* area, int link, int from) {
  const int type = chan.ltype[link];
  if (area_shape(type) == 0) return;
  const int first = chan.node_address(link, 1);
  const int end = first + std::max(chan.nx[link], 0);
  for (int n = std::max(first, from); n < end; ++n) {
    const std::size_t i = std::size_t(n);
    area_result r;
    if (from_area(chan, type, link, i, area[i], r) != fault::none) return;
    chan.chan_depth[i] = r.depth;
    chan.yp[i] = r.depth + chan.bel[i];
    chan.conv[i] = r.conv;
  }
}

void section_report_stop(channel_state& chan, double* area, int mode, int stop) {
  if (stop == section_no_stop) return;
  const int link = stop / chan.stride();
  const int node = stop % chan.stride();
  const int type = chan.ltype[link];
  if (mode == section_mode::from_area)
    node_from_area(chan, area, type, link, node, std::size_t(stop));
  else
    node_from_stage(chan, area, type, link, node, std::size_t(stop));
}

section_depth_conv section_from_area(const channel_state& chan, const double* area, int link,
                                     int address) {
  const std::size_t i = std::size_t(address);
  area_result r;
  from_area(chan, chan.ltype[link], link, i, area[i], r);
  return {r.depth, r.conv};
}

void ex_section(channel_state& chan, int mode) {
  if (!known_mode(mode)) return;
  double* area = chan.area.data();
  const int links = chan.links;
  int stop = section_no_stop;
#pragma omp parallel num_threads(chan.link_team())
  {
#pragma omp for schedule(static) reduction(min : stop)
    for (int link = 1; link <= links; ++link)
      stop = std::min(stop, section_link_stop(chan, area, mode, link));
#pragma omp for schedule(static)
    for (int link = 1; link <= links; ++link) section_link(chan, area, mode, link, stop);
  }
  section_report_stop(chan, area, mode, stop);
}

void ex_section_node_from_stage(channel_state& chan, int link, int node) {
  node_from_stage(chan, chan.area.data(), chan.ltype[link], link, node,
                  static_cast<std::size_t>(chan.node_address(link, node)));
}
