// Suspended fines along the channel network. The fines move with the water
// the routing passed across each face in the step: an upwind flux, never
// more than the giving node holds, once from the concentrations at the
// start (predictor) and once from the predicted ones (corrector), the two
// averaged. Every face volume is taken from one node and given to the next,
// so the fines in the nodes, the lakes and out of the outlet add up to what
// the land gave.
//
// A structure holds no sediment: its face passes the fines of the node (or
// lake) on the side the water comes from straight to the other side, and
// that node is debited for it. A lake keeps one well-mixed suspended volume
// per class, from which a share settles each step onto the lake's cells.

#include <algorithm>
#include <cmath>

#include "channel/channel_state.h"
#include "quality/chan_sediment.h"
#include "quality/sediment_state.h"

namespace {

constexpr double tiny = 1e-16;

bool lake_like(const channel_state& chan, int link) {
  const int t = chan.ltype[link];
  return (t & link_bit::lake) || ((t & link_bit::shaped) && (t & link_bit::overtaken));
}

bool regular(const channel_state& chan, int link) {
  return !(chan.ltype[link] & link_bit::structure) && !lake_like(chan, link);
}

int lake_of(const channel_state& chan, int link) { return chan.lake2link[std::size_t(link)]; }

int last_address(const channel_state& chan, int link) {
  return chan.node_address(link, chan.nx[link]);
}

// The concentrations and volumes a flux pass reads.
struct fine_view {
  const double* conc;
  const double* vol;
};

// A flux drawn from a store holding `held` of the class: at most what it holds.
double limit_out(double flux, double held) { return flux > held ? held : flux; }
double limit_in(double flux, double held) { return flux < -held ? -held : flux; }

void flux_pass(const channel_state& chan, const chan_sediment_state& cs, const fine_view& in,
               double* flux) {
  const int F = cs.fine;
  const double* W = chan.qp_vol_sed.data();
  for (int l = chan.links; l >= 1; --l) {
    if (chan.nx[l] < 1) continue;
    if (regular(chan, l)) {
      for (int g = chan.nx[l]; g >= 2; --g) {
        const int up = chan.node_address(l, g - 1);
        const int dn = up + 1;
        for (int m = 1; m <= F; ++m) {
          const double w = W[up];
          flux[cs.fin(up, m)] = w >= 0.0
                                    ? limit_out(w * in.conc[cs.fin(up, m)], in.vol[cs.fin(up, m)])
                                    : limit_in(w * in.conc[cs.fin(dn, m)], in.vol[cs.fin(dn, m)]);
        }
      }
      const int first = chan.node_address(l, 1);
      for (int m = 1; m <= F; ++m) {
        double left = in.vol[cs.fin(first, m)];  // what node 1 can still give upstream
        for (int k = 1; k <= chan.ndep[l]; ++k) {
          const int u = chan.upstream(l, k);
          if (u <= 0 || (chan.ltype[u] & link_bit::structure) || chan.nx[u] < 1) continue;
          const int last = last_address(chan, u);
          const double w = W[last];
          double f = 0.0;
          if (w >= 0.0) {
            if (lake_like(chan, u)) {
              const int lake = lake_of(chan, u);
              f = limit_out(w * cs.SS_conc_vol_lake[cs.lake_fin(lake, m)],
                            std::max(0.0, cs.SS_vol_lake[cs.lake_fin(lake, m)]));
            } else {
              f = limit_out(w * in.conc[cs.fin(last, m)], in.vol[cs.fin(last, m)]);
            }
          } else {
            f = limit_in(w * in.conc[cs.fin(first, m)], left);
            left += f;
          }
          flux[cs.fin(last, m)] = f;
        }
      }
    } else if (lake_like(chan, l)) {
      const int lake = lake_of(chan, l);
      for (int k = 1; k <= chan.ndep[l]; ++k) {
        const int u = chan.upstream(l, k);
        if (u <= 0 || (chan.ltype[u] & link_bit::structure) || chan.nx[u] < 1) continue;
        const int last = last_address(chan, u);
        const double w = W[last];
        for (int m = 1; m <= F; ++m) {
          double f = 0.0;
          if (!lake_like(chan, u)) {
            if (w > tiny) {
              f = limit_out(w * in.conc[cs.fin(last, m)], in.vol[cs.fin(last, m)]);
            } else if (w < -tiny) {
              f = limit_in(w * cs.SS_conc_vol_lake[cs.lake_fin(lake, m)],
                           std::max(0.0, cs.SS_vol_lake[cs.lake_fin(lake, m)]));
            }
          }
          flux[cs.fin(last, m)] = f;
        }
      }
    } else if (chan.ltype[l] & link_bit::structure) {
      const int first = chan.node_address(l, 1);
      const double w = W[first];
      const int up = chan.ndep[l] > 0 ? chan.upstream(l, 1) : 0;
      const int down = chan.dslink[l];
      int source = -1;      // node address of the source, or
      int source_lake = 0;  // its lake
      int debit = -1;       // the upstream node the structure draws on, debited through its flux
      if (w >= tiny && up > 0) {
        if (lake_like(chan, up))
          source_lake = lake_of(chan, up);
        else
          source = debit = last_address(chan, up);
      } else if (w <= -tiny && down > 0) {
        if (lake_like(chan, down))
          source_lake = lake_of(chan, down);
        else
          source = chan.node_address(down, 1);
        if (up > 0 && !lake_like(chan, up)) debit = last_address(chan, up);
      }
      for (int m = 1; m <= F; ++m) {
        double f = 0.0;
        if (source >= 0 || source_lake > 0) {
          const double c = source >= 0 ? in.conc[cs.fin(source, m)]
                                       : cs.SS_conc_vol_lake[cs.lake_fin(source_lake, m)];
          const double held = source >= 0
                                  ? in.vol[cs.fin(source, m)]
                                  : std::max(0.0, cs.SS_vol_lake[cs.lake_fin(source_lake, m)]);
          f = w * c;
          if (std::fabs(f) > held) f = w < -tiny ? -held : held;
        }
        // One face value for every node of the structure, so that what
        // leaves one side is what reaches the other.
        for (int q = 1; q <= chan.nx[l]; ++q) flux[cs.fin(chan.node_address(l, q), m)] = f;
        if (debit >= 0) flux[cs.fin(debit, m)] = f;
      }
    }
  }
  // The network outlet: only outflow.
  const int out = last_address(chan, chan.links);
  if (regular(chan, chan.links) && chan.nx[chan.links] > 0) {
    for (int m = 1; m <= F; ++m) {
      const double f = limit_out(W[out] * in.conc[cs.fin(out, m)], in.vol[cs.fin(out, m)]);
      flux[cs.fin(out, m)] = f < 0.0 ? 0.0 : f;
    }
  }
}

// Applies the face volumes to the node volumes and concentrations of the
// regular links. A dry node keeps its fines at concentration 0.
void update_pass(const channel_state& chan, const chan_sediment_state& cs, const double* flux,
                 double* vol, double* conc) {
  const int F = cs.fine;
  for (int l = 1; l <= chan.links; ++l) {
    if (!regular(chan, l) || chan.nx[l] < 1) continue;
    const double dx = chan.dx[l];
    for (int j = 1; j <= chan.nx[l]; ++j) {
      const int a = chan.node_address(l, j);
      const double water = chan.area[a] * dx;  // m3
      for (int m = 1; m <= F; ++m) {
        double net = -flux[cs.fin(a, m)];
        if (j > 1) {
          net += flux[cs.fin(a - 1, m)];
        } else {
          for (int k = 1; k <= chan.ndep[l]; ++k) {
            const int u = chan.upstream(l, k);
            if (u > 0 && chan.nx[u] > 0) net += flux[cs.fin(last_address(chan, u), m)];
          }
        }
        double& v = vol[cs.fin(a, m)];
        v += net;
        vol[cs.fin(a, 0)] += net;
        if (water < tiny) {
          conc[cs.fin(a, m)] = 0.0;
          continue;
        }
        double c = v / water;
        if (c < -tiny) {
          vol[cs.fin(a, 0)] -= v;
          v = 0.0;
          c = 0.0;
        }
        conc[cs.fin(a, m)] = c;
      }
    }
  }
}

void settle_lakes(const channel_state& chan, sediment_state& sed, chan_sediment_state& cs,
                  double dt) {
  const int F = cs.fine;
  const int cells = int(chan.lake_mask.size()) - 1;
  for (int k = 1; k <= cs.lakes; ++k) cs.num_lake_cells[std::size_t(k)] = 0;
  for (int c = 1; c <= cells; ++c) {
    const int k = chan.lake_mask[std::size_t(c)];
    if (k > 0 && k <= cs.lakes) ++cs.num_lake_cells[std::size_t(k)];
  }
  for (int k = 1; k <= cs.lakes; ++k) {
    for (int m = 1; m <= F; ++m) {
      const int j = sed.sed_class[std::size_t(m)];
      const double held = std::max(0.0, cs.SS_vol_lake[cs.lake_fin(k, m)]);
      const double s = dt * sed.fall_velocity[std::size_t(j)] * chan.lake_area[std::size_t(k)] *
                       cs.SS_conc_vol_lake[cs.lake_fin(k, m)];
      cs.SS_vol_lake_settled[cs.lake_fin(k, m)] = std::clamp(s, 0.0, held);
    }
  }
  if (sed.vol_sed.empty()) return;
  for (int c = 1; c <= cells; ++c) {
    const int k = chan.lake_mask[std::size_t(c)];
    if (k <= 0 || k > cs.lakes || cs.num_lake_cells[std::size_t(k)] == 0) continue;
    for (int m = 1; m <= F; ++m) {
      const int j = sed.sed_class[std::size_t(m)];
      sed.vol(c, j)[sed_element::deposited] +=
          cs.SS_vol_lake_settled[cs.lake_fin(k, m)] / cs.num_lake_cells[std::size_t(k)];
    }
  }
}

void balance_lakes(const channel_state& chan, const sediment_state& sed, chan_sediment_state& cs) {
  const int F = cs.fine;
  for (int l = 1; l < chan.links; ++l) {
    if (!lake_like(chan, l)) continue;
    const int k = lake_of(chan, l);
    for (int u_i = 1; u_i <= chan.ndep[l]; ++u_i) {
      const int u = chan.upstream(l, u_i);
      if (u <= 0 || lake_like(chan, u) || chan.nx[u] < 1) continue;
      const int last = last_address(chan, u);
      for (int m = 1; m <= F; ++m) {
        const double f = cs.advect_flux[cs.fin(last, m)];
        cs.SS_vol_lake[cs.lake_fin(k, m)] += f;
        cs.SS_vol_lake[cs.lake_fin(k, 0)] += f;
        cs.SS_vol_chan_to_lake[cs.lake_fin(k, m)] += f;
        cs.wash_to_lakes += f;
      }
    }
    // Through a structure below: the structure's face. A regular link below
    // draws on the lake through its own upstream face (next loop).
    const int d = chan.dslink[l];
    if (d > 0 && (chan.ltype[d] & link_bit::structure) && chan.nx[d] > 0) {
      const int first = chan.node_address(d, 1);
      for (int m = 1; m <= F; ++m) {
        const double f = cs.advect_flux[cs.fin(first, m)];
        cs.SS_vol_lake[cs.lake_fin(k, m)] -= f;
        cs.SS_vol_lake[cs.lake_fin(k, 0)] -= f;
        cs.SS_vol_lake_to_chan[cs.lake_fin(k, m)] += f;
        cs.wash_from_lakes += f;
      }
    }
  }
  // Regular links fed by a lake-taken link draw on the lake directly.
  for (int l = 1; l <= chan.links; ++l) {
    if (!regular(chan, l)) continue;
    for (int u_i = 1; u_i <= chan.ndep[l]; ++u_i) {
      const int u = chan.upstream(l, u_i);
      if (u <= 0 || !lake_like(chan, u) || chan.nx[u] < 1) continue;
      const int k = lake_of(chan, u);
      const int last = last_address(chan, u);
      for (int m = 1; m <= F; ++m) {
        const double f = cs.advect_flux[cs.fin(last, m)];
        cs.SS_vol_lake[cs.lake_fin(k, m)] -= f;
        cs.SS_vol_lake[cs.lake_fin(k, 0)] -= f;
        cs.SS_vol_lake_to_chan[cs.lake_fin(k, m)] += f;
        cs.wash_from_lakes += f;
      }
    }
  }
  for (int k = 1; k <= cs.lakes; ++k) {
    const double water = chan.lake_volume[std::size_t(k)];
    cs.SS_conc_lake[cs.lake_fin(k, 0)] = 0.0;
    for (int m = 1; m <= F; ++m) {
      const int j = sed.sed_class[std::size_t(m)];
      const double change = cs.sed_vol_overland_to_lake[cs.lake_fin(k, j)] -
                            cs.SS_vol_lake_settled[cs.lake_fin(k, m)];
      double& v = cs.SS_vol_lake[cs.lake_fin(k, m)];
      v += change;
      cs.SS_vol_lake[cs.lake_fin(k, 0)] += change;
      cs.lake_settled_total[cs.lake_fin(k, m)] += cs.SS_vol_lake_settled[cs.lake_fin(k, m)];
      const bool held = water > tiny;
      cs.SS_conc_vol_lake[cs.lake_fin(k, m)] = held ? v / water : 0.0;
      cs.SS_conc_lake[cs.lake_fin(k, m)] =
          held ? v * 998200.0 * sed.spec_grav[std::size_t(j)] / water : 0.0;
      cs.SS_conc_lake[cs.lake_fin(k, 0)] += cs.SS_conc_lake[cs.lake_fin(k, m)];
    }
    cs.SS_conc_vol_lake[cs.lake_fin(k, 0)] =
        water > tiny ? cs.SS_vol_lake[cs.lake_fin(k, 0)] / water : 0.0;
  }
}

}  // namespace

void chan_suspended_sed_transport(const channel_state& chan, sediment_state& sed,
                                  chan_sediment_state& cs, double dt) {
  const int F = cs.fine;
  for (int l = 1; l <= chan.links; ++l) {
    if (!regular(chan, l)) continue;
    const double dx = chan.dx[l];
    for (int j = 1; j <= chan.nx[l]; ++j) {
      const int a = chan.node_address(l, j);
      const double water = chan.area[a] * dx;
      for (int m = 1; m <= F; ++m) {
        const double v = cs.qlat_sed[cs.cls(a, sed.sed_class[std::size_t(m)])];
        cs.ch_wash_vol[cs.fin(a, m)] += v;
        cs.ch_wash_vol[cs.fin(a, 0)] += v;
        cs.wash_to_chan += v;
        cs.SS_node_conc_vol[cs.fin(a, m)] =
            water > tiny ? cs.ch_wash_vol[cs.fin(a, m)] / water : 0.0;
      }
      if (water > tiny) cs.SS_node_conc_vol[cs.fin(a, 0)] = cs.ch_wash_vol[cs.fin(a, 0)] / water;
    }
  }
  std::copy(cs.SS_node_conc_vol.begin(), cs.SS_node_conc_vol.end(), cs.temp_conc.begin());
  std::copy(cs.ch_wash_vol.begin(), cs.ch_wash_vol.end(), cs.temp_mass.begin());
  std::fill(cs.temp_flux.begin(), cs.temp_flux.end(), 0.0);
  std::fill(cs.advect_flux.begin(), cs.advect_flux.end(), 0.0);

  flux_pass(chan, cs, {cs.SS_node_conc_vol.data(), cs.ch_wash_vol.data()}, cs.temp_flux.data());
  update_pass(chan, cs, cs.temp_flux.data(), cs.temp_mass.data(), cs.temp_conc.data());
  flux_pass(chan, cs, {cs.temp_conc.data(), cs.temp_mass.data()}, cs.advect_flux.data());

  const int nodes = int(cs.advect_flux.size()) / (F + 1);
  for (int a = 0; a < nodes; ++a) {
    double volume = 0.0;
    for (int m = 1; m <= F; ++m) {
      const std::size_t i = cs.fin(a, m);
      cs.advect_flux[i] = 0.5 * (cs.temp_flux[i] + cs.advect_flux[i]);
      cs.qsmax[cs.flx(a, m)] = cs.advect_flux[i] / dt;
      volume += cs.advect_flux[i];
    }
    cs.advect_flux[cs.fin(a, 0)] = volume;
    cs.qsmax[cs.flx(a, 0)] = volume;
  }
  const int out = last_address(chan, chan.links);
  double total = 0.0;
  for (int m = 1; m <= F; ++m) {
    cs.outlet_wash_rate[std::size_t(m)] = cs.qsmax[cs.flx(out, m)];
    total += cs.outlet_wash_rate[std::size_t(m)];
    cs.wash_outlet += cs.advect_flux[cs.fin(out, m)];
  }
  cs.outlet_wash_rate[0] = total;

  update_pass(chan, cs, cs.advect_flux.data(), cs.ch_wash_vol.data(), cs.SS_node_conc_vol.data());

  for (int l = 1; l <= chan.links; ++l) {
    if (!regular(chan, l)) continue;
    const double dx = chan.dx[l];
    for (int j = 1; j <= chan.nx[l]; ++j) {
      const int a = chan.node_address(l, j);
      const double water = chan.area[a] * dx;
      double sum = 0.0;
      for (int m = 1; m <= F; ++m) {
        const int c = sed.sed_class[std::size_t(m)];
        const double v =
            water > tiny ? cs.ch_wash_vol[cs.fin(a, m)] * sed.density[std::size_t(c)] / water : 0.0;
        cs.chan_sed_conc[cs.cls(a, c)] = v;
        sum += v;
      }
      cs.chan_sed_conc[cs.cls(a, 0)] = sum;
    }
  }

  if (cs.lakes > 0) {
    settle_lakes(chan, sed, cs, dt);
    balance_lakes(chan, sed, cs);
  }
}
