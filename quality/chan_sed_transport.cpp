// Sand along the erodible channels. Each node's capacity comes from Yang's
// unit stream power formula for sand; that much sand leaves the node's
// store in the step, the land's sand classes first and the bed material
// last, so a reach eroded down to its bed gives up its original layer only
// after the sand the land brought. The bed of a trapezoid node then follows
// its store.

#include <cmath>
#include <cstdio>

#include "channel/channel_state.h"
#include "quality/chan_sediment.h"
#include "quality/sediment_state.h"

namespace {

constexpr double tiny = 1e-16;
// 1.65 x 9.81: submerged specific weight of quartz over water density.
constexpr double submerged_g = 16.1865;
// 2650 x 9810 x 1000: ppm by weight to a volume of sand per volume of water.
constexpr double ppm_to_volume = 2.59965e10;

bool lake_like(const channel_state& chan, int link) {
  const int t = chan.ltype[link];
  return (t & link_bit::lake) || ((t & link_bit::shaped) && (t & link_bit::overtaken));
}

// Links whose nodes hold sand: neither lakes, structures nor overtaken.
bool carries(const channel_state& chan, int link) {
  const int t = chan.ltype[link];
  if (t & (link_bit::lake | link_bit::structure)) return false;
  if ((t & link_bit::shaped) && (t & link_bit::overtaken)) return false;
  return chan.nx[link] > 0;
}

bool erodible_section(int t) {
  return (t & link_bit::erodible) && (t & (link_bit::trapezoid | link_bit::breakpoint));
}

int lake_of(const channel_state& chan, int link) { return chan.lake2link[std::size_t(link)]; }

double surface(const channel_state& chan, int a) { return chan.bel[a] + chan.chan_depth[a]; }

// Settling velocity of the run's sand diameter and the first log term of
// Yang's formula, once per call.
struct yang_constants {
  double d = 0.0;   // m
  double nu = 0.0;  // m2/s
  double w = 0.0;   // m/s
  double L1 = 0.0;
};

yang_constants yang_of(const sediment_state& sed) {
  yang_constants y;
  y.d = sed.sand_size / 1000.0;
  y.nu = sed.viscosity;
  const double D = y.d * std::pow(submerged_g / (y.nu * y.nu), 0.33333333);
  y.w = (std::sqrt(0.0139 * D * D * D + 1.0) - 1.0) * 8.0 * y.nu / y.d;
  y.L1 = std::log10(y.w * y.d / y.nu);
  return y;
}

// Sand rate (m3/s, signed with Q) of a flow Q over area A, perimeter P on
// slope S; V_cr/w keeps its last value below Re* 1.2, where it is not used.
double yang_rate(const yang_constants& y, double Q, double A, double P, double S, double& vcr) {
  const double R = P > tiny ? A / P : 0.0;
  const double tau = 9810.0 * R * S;
  const double u_star = tau > tiny ? std::sqrt(tau / 1000.0) : 0.0;
  const double re = u_star * y.d / y.nu;
  if (re >= 1.2 && re < 70.0)
    vcr = 2.5 / (std::log10(re) - 0.06);
  else if (re >= 70.0)
    vcr = 2.05;
  const double V = A > tiny ? std::fabs(Q / A) : 0.0;
  if (re < 1.2 || vcr > V / y.w) return 0.0;
  const double L2 = std::log10(u_star / y.w);
  const double log_ct = (5.435 - 0.286 * y.L1 - 0.457 * L2) +
                        (1.799 - 0.409 * y.L1 - 0.314 * L2) * std::log10(V * S / y.w - S * vcr);
  const double ct = std::pow(10.0, log_ct);  // ppm by weight
  const double rate = std::fabs(Q) * ct * 9810.0 / ppm_to_volume;
  return Q < -tiny ? -rate : rate;
}

// Water-surface slope magnitude at node k of link l (the bed slope at the
// network outlet); keep for the cases with no rule of their own.
double node_slope(const channel_state& chan, int l, int k, double keep) {
  const int n = chan.nx[l];
  const int a = chan.node_address(l, k);
  const double dx = chan.dx[l];
  if (k < n) return std::fabs((surface(chan, a) - surface(chan, a + 1)) / dx);
  if (l == chan.links) {
    if (n < 2) return keep;
    return std::fabs((chan.bel[a - 1] - chan.bel[a]) / dx);
  }
  const int d = chan.dslink[l];
  if (d <= 0) return keep;
  if (lake_like(chan, d)) {
    const int lake = lake_of(chan, d);
    return std::fabs((surface(chan, a) - chan.lake_elev[std::size_t(lake)]) / (2.0 * dx));
  }
  if (chan.ltype[d] & link_bit::shaped) {
    const int b = chan.node_address(d, 1);
    return std::fabs((surface(chan, a) - surface(chan, b)) / (0.5 * (dx + chan.dx[d])));
  }
  return keep;
}

// Moves up to volume from the store at source into receive (null: out of
// the network), slot by slot; each slot's move is written to moved.
void take_sand(chan_sediment_state& cs, int source, double* receive, double volume, double* moved) {
  double remaining = volume;
  for (int s = 1; s <= cs.sand + 1; ++s) {
    double& slot = cs.ch_sand_vol[cs.snd(source, s)];
    double m = 0.0;
    if (remaining < slot) {
      m = remaining;
      slot -= m;
      remaining = 0.0;
    } else {
      m = slot;
      slot = 0.0;
      remaining -= m;
    }
    moved[s] = m;
    if (receive) receive[s] += m;
    if (remaining <= 0.0) {
      for (int r = s + 1; r <= cs.sand + 1; ++r) moved[r] = 0.0;
      break;
    }
  }
}

// Where sand leaving the last node of link l downstream lands: the first
// node of the link below (past a structure), a lake, or nowhere (the
// network's outlet, or a structure at the end of the network).
struct sand_target {
  int address = 0;  // node address, 0 for none
  int lake = 0;     // lake number, 0 for none
};

sand_target below_last_node(const channel_state& chan, int l) {
  sand_target t;
  int d = chan.dslink[l];
  if (d > 0 && (chan.ltype[d] & link_bit::structure)) d = chan.dslink[d];
  if (d <= 0) return t;
  if (lake_like(chan, d)) {
    t.lake = lake_of(chan, d);
    return t;
  }
  t.address = chan.node_address(d, 1);
  return t;
}

void clear_sand_fluxes(chan_sediment_state& cs, int a) {
  for (int s = 1; s <= cs.sand + 1; ++s) cs.qsmax[cs.flx(a, cs.fine + s)] = 0.0;
}

// Sand moved out of node a (sign +1 downstream, -1 upstream) as its fluxes.
void record_fluxes(chan_sediment_state& cs, int a, const double* moved, double sign, double dt) {
  for (int s = 1; s <= cs.sand + 1; ++s) cs.qsmax[cs.flx(a, cs.fine + s)] = sign * moved[s] / dt;
}

void move_node_sand(const channel_state& chan, chan_sediment_state& cs, int l, int k, double dt) {
  const int a = chan.node_address(l, k);
  const int n = chan.nx[l];
  const bool outlet = l == chan.links && k == n;
  const double q = cs.rate[a];
  double moved[64 + 2] = {};  // slots 1..sand + 1; the class table holds far fewer
  clear_sand_fluxes(cs, a);
  if (q > tiny) {
    if (chan.chan_depth[a] < tiny) return;
    if (outlet) {
      take_sand(cs, a, nullptr, q * dt, moved);
      for (int s = 1; s <= cs.sand + 1; ++s) {
        cs.outlet_sand_rate[s] = moved[s] / dt;
        cs.sand_outlet += moved[s];
      }
    } else if (k < n) {
      take_sand(cs, a, &cs.ch_sand_vol[cs.snd(a + 1, 0)], q * dt, moved);
    } else {
      const sand_target t = below_last_node(chan, l);
      double* receive = nullptr;
      if (t.lake > 0)
        receive = &cs.lake_depo_vol[cs.lake_snd(t.lake, 0)];
      else if (t.address > 0)
        receive = &cs.ch_sand_vol[cs.snd(t.address, 0)];
      take_sand(cs, a, receive, q * dt, moved);
      for (int s = 1; s <= cs.sand + 1; ++s) {
        if (t.lake > 0) cs.sand_to_lakes += moved[s];
        if (!receive) {
          cs.outlet_sand_rate[s] += moved[s] / dt;
          cs.sand_outlet += moved[s];
        }
      }
    }
    record_fluxes(cs, a, moved, 1.0, dt);
  } else if (q < -tiny) {
    if (outlet) {
      for (int s = 0; s <= cs.sand + 1; ++s) cs.outlet_sand_rate[s] = 0.0;
      return;
    }
    int source = 0;
    if (k < n) {
      source = a + 1;
    } else {
      const sand_target t = below_last_node(chan, l);
      if (t.lake > 0 || t.address == 0) return;
      const int outlet_node = chan.node_address(chan.links, chan.nx[chan.links]);
      if (t.address == outlet_node) return;
      source = t.address;
    }
    if (chan.chan_depth[source] < tiny) return;
    take_sand(cs, source, &cs.ch_sand_vol[cs.snd(a, 0)], -q * dt, moved);
    record_fluxes(cs, a, moved, -1.0, dt);
  }
}

}  // namespace

double sed_depth_table_value(const channel_state& chan, int node, int link, double h,
                             double& perimeter) {
  const int t = chan.table_num[std::size_t(chan.node_address(link, node))];
  const double a = chan.ht_spc[std::size_t(t)];
  const int n = chan.numhts[std::size_t(t)];
  auto area = [&](int r) { return chan.xarea[chan.bp_index(r, t)]; };
  auto wet = [&](int r) { return chan.xtw[chan.bp_index(r, t)] + chan.xp[chan.bp_index(r, t)]; };
  if (h < a) {
    const double f = std::pow(h / a, 1.6666666666666667);
    perimeter = wet(1) * f;
    return area(1) * f;
  }
  if (h > n * a) {
    const double f = (h - n * a) / a;
    perimeter = wet(n) + (wet(n) - wet(n - 1)) * f;
    return area(n) + (area(n) - area(n - 1)) * f;
  }
  int e = static_cast<int>(h / a);
  if (e >= n) e = n - 1;
  const double f = (h - e * a) / a;
  perimeter = wet(e) + (wet(e + 1) - wet(e)) * f;
  return area(e) + (area(e + 1) - area(e)) * f;
}

double trapezoid_bed(double org_bel, double total, double initial, double dx, double porosity,
                     double bottom, double side_slope, double max_eros) {
  const double per_length = 1.0 / (dx * (1.0 - porosity));  // bed volume per m3 of store, 1/m
  if (total >= initial) {
    const double gain = (total - initial) * per_length;  // m2 of section
    if (side_slope <= tiny) return bottom > tiny ? org_bel + gain / bottom : org_bel;
    return org_bel +
           (std::sqrt(bottom * bottom + 4.0 * side_slope * gain) - bottom) / (2.0 * side_slope);
  }
  const double drop = bottom > tiny ? (initial - total) * per_length / bottom : max_eros;
  return org_bel - std::min(drop, max_eros);
}

void chan_sed_transport(const channel_state& chan, const sediment_state& sed,
                        chan_sediment_state& cs, double dt) {
  const int F = cs.fine;
  const int A = cs.sand;
  const yang_constants y = yang_of(sed);
  for (int s = 0; s <= A + 1; ++s) cs.outlet_sand_rate[s] = 0.0;

  double area = 0.0, perimeter = 0.0, slope = 0.0, vcr = 0.0;
  for (int l = 1; l <= chan.links; ++l) {
    if (!carries(chan, l)) continue;
    const int t = chan.ltype[l];
    for (int k = 1; k <= chan.nx[l]; ++k) {
      const int a = chan.node_address(l, k);
      // The land's sand joins the store even at a dry node, where it waits.
      for (int i = 1; i <= A; ++i) {
        const double v = cs.qlat_sed[cs.cls(a, sed.sed_class[std::size_t(F + i)])];
        cs.ch_sand_vol[cs.snd(a, i)] += v;
        cs.sand_to_chan[std::size_t(i)] += v;
      }
      cs.rate[a] = 0.0;
      const double h = chan.chan_depth[a];
      if (h < tiny || !erodible_section(t)) continue;
      if (t & link_bit::trapezoid) {
        const double z = chan.sslope[a];
        const double b = chan.bottom[a];
        area = z * h * h + b * h;
        perimeter = 2.0 * h * std::sqrt(z * z + 1.0) + b;
      } else {
        area = sed_depth_table_value(chan, k, l, h, perimeter);
      }
      slope = node_slope(chan, l, k, slope);
      const double r = yang_rate(y, chan.qp[a], area, perimeter, slope, vcr);
      if (std::isnan(r)) std::printf("bed load NaN\n");
      cs.rate[a] = std::isnan(r) ? 0.0 : r;
    }
  }

  for (int l = 1; l <= chan.links; ++l) {
    if (!carries(chan, l) || !erodible_section(chan.ltype[l])) continue;
    for (int k = 1; k <= chan.nx[l]; ++k) move_node_sand(chan, cs, l, k, dt);
  }
  for (int l = 1; l <= chan.links; ++l) {
    if (!carries(chan, l)) continue;
    for (int k = 1; k <= chan.nx[l]; ++k) {
      const int a = chan.node_address(l, k);
      double total = 0.0;
      for (int s = 1; s <= A + 1; ++s) total += cs.ch_sand_vol[cs.snd(a, s)];
      cs.ch_sand_vol[cs.snd(a, 0)] = total;
    }
  }
  for (int k = 1; k <= cs.lakes; ++k) {
    double total = 0.0;
    for (int s = 1; s <= A + 1; ++s) total += cs.lake_depo_vol[cs.lake_snd(k, s)];
    cs.lake_depo_vol[cs.lake_snd(k, 0)] = total;
  }
  double out = 0.0;
  for (int s = 1; s <= A + 1; ++s) out += cs.outlet_sand_rate[s];
  cs.outlet_sand_rate[0] = out;

  const double p = sed.sed_porosity;
  for (int l = 1; l <= chan.links; ++l) {
    const int t = chan.ltype[l];
    if (!carries(chan, l) || !(t & link_bit::erodible) || !(t & link_bit::trapezoid)) continue;
    for (int k = 1; k <= chan.nx[l]; ++k) {
      const int a = chan.node_address(l, k);
      cs.new_bel[a] =
          trapezoid_bed(cs.org_bel[a], cs.ch_sand_vol[cs.snd(a, 0)], cs.sand_init[a], chan.dx[l], p,
                        chan.bottom[a], chan.sslope[a], chan.max_eros[a]);
    }
  }
}
