// Break-point cross-section tables. Each level of a table is measured by
// walking the section's points at that water level and summing the wetted
// stretches ("islands" of water between dry ground) it finds.

#include "channel/bp_xsec.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <vector>

#include "channel/channel_state.h"
#include "core/error_state.h"

namespace {

// A section that breaks into this many separate stretches at one level is
// almost surely mistyped, and its properties would mean little.
constexpr int most_stretches = 49;

constexpr int fewest_levels = 1;
constexpr int most_levels = 30000;
constexpr double smallest_spacing = 0.0001;  // m
constexpr double largest_spacing = 1.0;      // m

struct level_measure {
  double top = 0.0;        // top width, m
  double area = 0.0;       // m2
  double perimeter = 0.0;  // wetted perimeter, m
};

void stop_flat_crossing(int link) {
  char text[160];
  std::snprintf(text, sizeof text,
                "Error in your channel (%d). Each Z values must be different from it's neighbor\n",
                link);
  print_message(summary_file, text);
  std::fputs("Program terminated.  Hit any key to continue.\n", stderr);
  raise_error(own_message_code);
}

// Where the waterline w crosses the segment from point l-1 to point l. A
// segment level with the waterline has no single crossing.
bool waterline_crossing(const double* x, const double* z, int l, double w, int link,
                        double& at) {
  if (z[l] == z[l - 1]) {
    stop_flat_crossing(link);
    return false;
  }
  at = x[l - 1] + (x[l] - x[l - 1]) * (w - z[l - 1]) / (z[l] - z[l - 1]);
  return true;
}

// Adds the stretch from waterline edge xl (left point a) to edge xr (right
// point b): a triangle from xl to point a+1, the segments between points
// a+1..b-1, and a triangle from point b-1 to xr.
void add_stretch(const double* x, const double* z, double w, int a, int b, double xl, double xr,
                 level_measure& m) {
  m.top += xr - xl;
  double depth = w - z[a + 1], run = x[a + 1] - xl;
  m.area += run * 0.5 * depth;
  m.perimeter += std::sqrt(depth * depth + run * run);
  for (int i = a + 2; i <= b - 1; ++i) {
    const double dx = x[i] - x[i - 1], dz = z[i] - z[i - 1];
    m.area += (2.0 * w - z[i] - z[i - 1]) * 0.5 * dx;
    m.perimeter += std::sqrt(dx * dx + dz * dz);
  }
  depth = w - z[b - 1];
  run = xr - x[b - 1];
  m.area += run * 0.5 * depth;
  m.perimeter += std::sqrt(depth * depth + run * run);
}

// The wetted stretches of the section x[1..p], z[1..p] at water level w. A
// stretch opens where the walk first meets a point at or below w and closes
// at the next point at or above w; the ends of the section close a stretch
// that runs past them.
bool measure_level(const double* x, const double* z, int p, double w, int link,
                   level_measure& m) {
  m = level_measure{};
  int stretches = 0;
  bool in = false;
  int entered = 0;  // point at which the open stretch began
  int a = 0;        // its left point
  double xl = 0.0;  // its left edge, m
  if (z[1] <= w) {
    in = true;
    stretches = 1;
    entered = 1;
    a = 1;
    xl = x[1];
  }
  for (int l = 2; l <= p; ++l) {
    if (!in && z[l] <= w) {
      if (++stretches > most_stretches) {
        raise_message(
            "There is a serious problem with a channel cross-section in\n"
            "link %d.  The cross-section interpolation routine has found\n"
            "that this cross-section is very jagged, with over 50 'islands'\n"
            "for certain depths.  Calculating cross-section properties in\n"
            "this case is very dubious.  Check your cross section, smooth\n"
            "it if necessary and try again.\n",
            link);
        return false;
      }
      if (!waterline_crossing(x, z, l, w, link, xl)) return false;
      a = l - 1;
      entered = l;
      in = true;
    }
    if (in && z[l] >= w && l != entered) {
      double xr;
      if (!waterline_crossing(x, z, l, w, link, xr)) return false;
      add_stretch(x, z, w, a, l, xl, xr, m);
      in = false;
    }
  }
  if (in) add_stretch(x, z, w, a, p, xl, x[p], m);
  return true;
}

void elevation_range(const double* z, int pairs, double& low, double& high) {
  low = 10000000.0;
  high = -10000000.0;
  for (int i = 1; i <= pairs; ++i) {
    low = std::min(low, z[i]);
    high = std::max(high, z[i]);
  }
}

// The value of table v (N levels h apart) at height y above its lowest
// point: linear between levels, in proportion to height below the first and
// carried on from the last interval above the top.
double table_value(const double* v, int n, double h, double y) {
  int j = static_cast<int>(y / h);
  if (j > n - 1) j = n - 1;
  if (j < 1) return v[1] * y / h;
  return v[j] + (y - j * h) * (v[j + 1] - v[j]) / h;
}

// The table of node m between the cross-section tables tk (node k) and tj
// (node j): spacing and, level by level at the same height, every value
// in proportion to the node's place between the two.
void interpolate_table(channel_state& chan, int table, int m, int tk, int k, int tj, int j) {
  const double share = double(m - k) / double(j - k);
  const int n = chan.numhts[tk];
  const double hk = chan.ht_spc[tk], hj = chan.ht_spc[tj];
  const double h = hk + (m - k) * (hj - hk) / (j - k);
  chan.numpairs[table] = chan.numpairs[tk];
  chan.numhts[table] = n;
  chan.ht_spc[table] = h;
  std::vector<double>* arrays[] = {&chan.xarea, &chan.xtw, &chan.xp, &chan.xk};
  for (std::vector<double>* a : arrays) {
    const double* vk = &(*a)[chan.bp_index(0, tk)];
    const double* vj = &(*a)[chan.bp_index(0, tj)];
    double* v = &(*a)[chan.bp_index(0, table)];
    v[0] = 0.0;
    for (int level = 1; level <= n; ++level) {
      const double y = level * h;
      const double at_k = table_value(vk, n, hk, y);
      const double at_j = table_value(vj, n, hj, y);
      v[level] = at_k + share * (at_j - at_k);
    }
  }
}

// The section's points at `pairs` offsets evenly spaced over its width, so
// that sections of one erodible link can be blended point by point.
void resample(const bp_cross_section& s, int pairs, std::vector<double>& xo,
              std::vector<double>& zo) {
  xo.assign(std::size_t(pairs) + 1, 0.0);
  zo.assign(std::size_t(pairs) + 1, 0.0);
  double low = s.x[1], high = s.x[1];
  for (int i = 2; i <= pairs; ++i) {
    low = std::min(low, s.x[i]);
    high = std::max(high, s.x[i]);
  }
  for (int q = 0; q < pairs; ++q) {
    const double at = low + q * (high - low) / (pairs - 1);
    double z = s.z[pairs];
    if (q == 0) {
      z = s.z[1];
    } else if (q < pairs - 1) {
      for (int i = 2; i <= pairs; ++i) {
        const double x0 = s.x[i - 1], x1 = s.x[i];
        if (x0 == x1 || at < std::min(x0, x1) || at > std::max(x0, x1)) continue;
        z = s.z[i - 1] + (at - x0) * (s.z[i] - s.z[i - 1]) / (x1 - x0);
        break;
      }
    }
    xo[std::size_t(q) + 1] = at;
    zo[std::size_t(q) + 1] = z;
  }
}

bool check_section(const bp_cross_section& s, int number, int link, int pairs, int levels) {
  if (!(levels >= fewest_levels && levels <= most_levels)) {
    raise_message(
        "\n\nError: The number of interpolation points [%d] for table %d in link %d is invalid. "
        "(Range is 1-30000.) \n",
        levels, number, link);
    return false;
  }
  double low, high;
  elevation_range(s.z.data(), pairs, low, high);
  const double h = (high - low) / levels;
  if (!(h >= smallest_spacing && h <= largest_spacing)) {
    raise_message(
        "\n\nError: The interpolation distance [%6.5lf] produced by the number of interpolation "
        "points [%d]\nfor table %d in link %d is invalid. (Range is 0.0001 to 1.0)\n",
        h, levels, number, link);
    return false;
  }
  return true;
}

// Every point of an erodible link keeps its own points and its own table:
// those of the nearer cross-section beyond them, blended by node number
// between them.
bool erodible_tables(channel_state& chan, const bp_cross_section& first,
                     const bp_cross_section& second, int pairs, int levels, int link,
                     int counter) {
  std::vector<double> xk, zk, xj, zj;
  resample(first, pairs, xk, zk);
  resample(second, pairs, xj, zj);
  const int k = first.node, j = second.node;
  const int b = chan.bplink[link];
  for (int node = 1; node <= chan.nx1[link]; ++node) {
    const std::size_t row = chan.bp_point_index(b, node, 0);
    double* x = &chan.xbp_lnn[row];
    double* z = &chan.ybp_lnn[row];
    for (int p = 1; p <= pairs; ++p) {
      if (node <= k || j <= k) {
        x[p] = xk[p];
        z[p] = zk[p];
      } else if (node >= j) {
        x[p] = xj[p];
        z[p] = zj[p];
      } else {
        x[p] = xk[p] + (node - k) * (xj[p] - xk[p]) / (j - k);
        z[p] = zk[p] + (node - k) * (zj[p] - zk[p]) / (j - k);
      }
    }
    const int table = counter + node;
    chan.table_num[chan.node_address(link, node)] = table;
    if (!bp_xsec_table(chan, link, table, x, z, pairs, levels)) return false;
  }
  return true;
}

}  // namespace

bool bp_xsec_table(channel_state& chan, int link, int table, const double* x, const double* z,
                   int pairs, int levels) {
  double low, high;
  elevation_range(z, pairs, low, high);
  const double h = (high - low) / levels;
  chan.numpairs[table] = pairs;
  chan.numhts[table] = levels;
  chan.ht_spc[table] = h;
  const double inv_n = chan.inv_mannings_n[link];
  const std::size_t row0 = chan.bp_index(0, table);
  chan.xarea[row0] = chan.xtw[row0] = chan.xp[row0] = chan.xk[row0] = 0.0;
  for (int k = 1; k <= levels; ++k) {
    level_measure m;
    if (!measure_level(x, z, pairs, k * h + low, link, m)) return false;
    const std::size_t i = row0 + std::size_t(k);
    chan.xtw[i] = m.top;
    chan.xarea[i] = m.area;
    chan.xp[i] = m.perimeter;
    chan.xk[i] = m.perimeter > 0.0
                     ? std::pow(m.area / m.perimeter, 2.0 / 3.0) * m.area * inv_n
                     : 0.0;
  }
  return true;
}

bool interp_bp_xsec(channel_state& chan, const bp_link_sections& in, int& table_counter) {
  if (in.sections.empty()) return true;
  const int link = in.link;
  const bp_cross_section& first = in.sections.front();
  const bp_cross_section& second = in.sections.back();
  const int count = in.sections.size() > 1 ? 2 : 1;
  int pairs = first.pairs, levels = first.levels;
  char text[256];
  if (count == 2 && first.pairs != second.pairs) {
    std::snprintf(text, sizeof text,
                  "\n\nWARNING!!!! When using two break-point cross-sections the number of pairs "
                  "\n            must be equal, which they are not for link %d.\n\n",
                  link);
    print_message(summary_file, text);
    std::snprintf(text, sizeof text,
                  "  ---> Disregarding the last %d pairs of the %s cross-section. <---\n\n",
                  std::abs(first.pairs - second.pairs),
                  first.pairs > second.pairs ? "first" : "second");
    print_message(summary_file, text);
    pairs = std::min(first.pairs, second.pairs);
  }
  if (count == 2 && first.levels != second.levels) {
    std::snprintf(text, sizeof text,
                  "\nUsing the greater of the two number of interpolation points \nfor both "
                  "cross-section in link %d.\n",
                  link);
    print_message(summary_file, text);
    levels = std::max(first.levels, second.levels);
  }
  for (int s = 0; s < count; ++s)
    if (!check_section(in.sections[std::size_t(s)], s + 1, link, pairs, levels)) return false;

  const int counter = table_counter;
  if (chan.bplink[link] > 0) {
    if (!erodible_tables(chan, first, second, pairs, levels, link, counter)) return false;
    table_counter += chan.nx1[link];
    return true;
  }

  // One cross-section (or two at one node) serves every node of the link.
  const int k = first.node, j = second.node;
  const int spread = j > k ? j - k : 0;
  const int tk = counter + 1, tj = counter + 1 + spread;
  if (!bp_xsec_table(chan, link, tk, first.x.data(), first.z.data(), pairs, levels)) return false;
  if (spread > 0) {
    if (!bp_xsec_table(chan, link, tj, second.x.data(), second.z.data(), pairs, levels))
      return false;
    for (int m = k + 1; m < j; ++m) interpolate_table(chan, counter + 1 + (m - k), m, tk, k, tj, j);
  }
  for (int node = 1; node <= chan.nx1[link]; ++node) {
    int table = tk;
    if (spread > 0) table = node >= j ? tj : node > k ? counter + 1 + (node - k) : tk;
    chan.table_num[chan.node_address(link, node)] = table;
  }
  table_counter += spread + 1;
  return true;
}
