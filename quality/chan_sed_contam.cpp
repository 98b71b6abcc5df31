// Constituents attached to the channels' fine suspended sediment. Each
// channel constituent step, before the dissolved routing: the attached mass
// crosses every face with the face volume the channel sediment moved in the
// last channel step, at the upwind store's attached concentration; then
// every node's and lake's total is split again between water and fines and
// the water's share waits as the pending sediment exchange the dissolved
// routing takes. The routing adds the routed dissolved mass back into the
// total, so the total spans water and fines again at the next step.
//
// The faces mirror the channel sediment's exactly (who gives, who receives,
// a structure passing its source's face on), and no store gives more than
// it holds, so attached mass moves between stores and through the outlet
// without being made or lost.

#include "quality/chan_sed_contam.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>

#include "channel/channel_state.h"
#include "quality/chan_wq_route.h"
#include "quality/channel_contam.h"
#include "quality/quality_steps.h"
#include "run/model_state.h"

namespace {

constexpr double tiny = 1e-16;

int lake_of(const channel_state& chan, int link) { return chan.lake2link[std::size_t(link)]; }

bool regular(const channel_state& chan, int link) {
  return !wq_structure_link(chan, link) && !wq_lake_link(chan, link);
}

int last_address(const channel_state& chan, int link) {
  return chan.node_address(link, chan.nx[std::size_t(link)]);
}

// Nodes the dissolved routing carries: with lakes, up to the count as read.
int routed_nodes(const channel_state& chan, int link) {
  return chan.channel_lakes ? std::min(chan.nx[std::size_t(link)], chan.og_nx1[std::size_t(link)])
                            : chan.nx[std::size_t(link)];
}

upwind_store lake_store(const channel_state& chan, int link) {
  upwind_store s;
  s.lake = lake_of(chan, link);
  return s;
}

// What lies above a face whose water comes from `up` (its last node).
upwind_store store_above(const channel_state& chan, int up) {
  if (up <= 0 || chan.nx[std::size_t(up)] < 1) return {};
  if (wq_lake_link(chan, up)) return lake_store(chan, up);
  return {last_address(chan, up), 0};
}

// What lies below a face whose water comes from `down` (its first node).
upwind_store store_below(const channel_state& chan, int down) {
  if (down <= 0 || chan.nx[std::size_t(down)] < 1) return {};
  if (wq_lake_link(chan, down)) return lake_store(chan, down);
  return {chan.node_address(down, 1), 0};
}

bool has_store(const upwind_store& s) { return s.address >= 0 || s.lake > 0; }

struct advect_pass {
  const channel_state& chan;
  const chan_sediment_state& cs;
  chan_sed_contam_state& s;
  std::vector<double>& face;    // per fine row, attached mass across the face, g
  std::vector<double>& demand;  // per node address, g asked of the node
  std::vector<double>& lake_demand;
  int k;
};

double store_conc(const advect_pass& p, const upwind_store& from, int m) {
  const std::size_t kk = std::size_t(p.k);
  if (from.address >= 0) return p.s.chan_sed_contam_node_conc[kk][p.s.fin(from.address, m)];
  if (from.lake >= 1 && from.lake <= p.s.lakes)
    return p.s.lake_sed_contam_conc[kk][p.s.fin(from.lake, m)];
  return 0.0;
}

// The faces that give: every node of a regular link, a lake link's last
// node, and a structure fed by no regular link (it draws on the lake or on
// the node beyond). A structure below a regular link repeats that link's
// last face instead.
bool gives(const channel_state& chan, int link) {
  if (regular(chan, link)) return true;
  if (wq_lake_link(chan, link)) return true;
  const int up = chan.ndep[std::size_t(link)] >= 1 ? chan.upstream(link, 1) : 0;
  return !(up > 0 && regular(chan, up) && chan.nx[std::size_t(up)] > 0);
}

void ask(const advect_pass& p, const upwind_store& from, double grams) {
  if (from.address >= 0) p.demand[std::size_t(from.address)] += std::fabs(grams);
  else if (from.lake >= 1 && from.lake <= p.s.lakes) p.lake_demand[std::size_t(from.lake)] += std::fabs(grams);
}

double share(const advect_pass& p, const upwind_store& from) {
  double asked = 0.0, held = 0.0;
  if (from.address >= 0) {
    asked = p.demand[std::size_t(from.address)];
    held = p.s.held[std::size_t(from.address)];
  } else if (from.lake >= 1 && from.lake <= p.s.lakes) {
    asked = p.lake_demand[std::size_t(from.lake)];
    held = p.s.lake_held[std::size_t(from.lake)];
  }
  return asked > held ? held / asked : 1.0;
}

// One face of a giving link at node j, every fine class.
template <typename visit>
void for_each_face(const advect_pass& p, visit&& f) {
  const channel_state& chan = p.chan;
  for (int l = chan.links; l >= 1; --l) {
    if (chan.nx[std::size_t(l)] < 1 || !gives(chan, l)) continue;
    const bool lake = wq_lake_link(chan, l);
    if (lake && chan.dslink[std::size_t(l)] > 0 && wq_lake_link(chan, chan.dslink[std::size_t(l)]))
      continue;
    const int first = lake || wq_structure_link(chan, l) ? chan.nx[std::size_t(l)] : 1;
    for (int j = chan.nx[std::size_t(l)]; j >= first; --j) {
      const int a = chan.node_address(l, j);
      for (int m = 1; m <= p.cs.fine; ++m) {
        const double w = p.cs.qsmax[p.cs.flx(a, m)];
        if (w == 0.0) continue;
        f(l, j, a, m, w);
      }
    }
  }
}

}  // namespace

bool partition_node(double kd, const double* density, const double* volume, int fines,
                    double water, sed_partition& split) {
  split.sed_conc.resize(std::size_t(fines) + 1, 0.0);
  split.attached.resize(std::size_t(fines) + 1, 0.0);
  if (!(water > 1e-16)) return false;
  // Kd is in L/kg: per g/m3 of sediment in the water it binds Kd / 1e6 of
  // the dissolved mass.
  double bound = 0.0;
  split.sed_conc[0] = 0.0;
  for (int k = 1; k <= fines; ++k) {
    split.sed_conc[std::size_t(k)] = density[k] * volume[k] / water;
    split.sed_conc[0] += split.sed_conc[std::size_t(k)];
    bound += kd / 1e6 * split.sed_conc[std::size_t(k)];
  }
  split.attached[0] = 0.0;
  for (int k = 1; k <= fines; ++k) {
    split.attached[std::size_t(k)] = kd / 1e6 * split.sed_conc[std::size_t(k)] / (bound + 1.0);
    split.attached[0] += split.attached[std::size_t(k)];
  }
  split.dissolved = 1.0 - split.attached[0];
  return true;
}

upwind_store attached_upwind(const channel_state& chan, int link, int node, double w) {
  const int down = chan.dslink[std::size_t(link)];
  if (wq_structure_link(chan, link)) {
    const int up = chan.ndep[std::size_t(link)] >= 1 ? chan.upstream(link, 1) : 0;
    return w >= 0.0 ? store_above(chan, up) : store_below(chan, down);
  }
  if (w >= 0.0) {
    if (wq_lake_link(chan, link)) return lake_store(chan, link);
    return {chan.node_address(link, node), 0};
  }
  if (node < chan.nx[std::size_t(link)]) return {chan.node_address(link, node + 1), 0};
  // The last node in reverse flow: the downstream link's first node or
  // lake, across a structure if one lies between.
  if (down == 0) return {chan.node_address(link, node), 0};
  if (wq_structure_link(chan, down)) return store_below(chan, chan.dslink[std::size_t(down)]);
  return store_below(chan, down);
}

void alloc_chan_sed_contam_arrays(model_state& state) {
  chan_sed_contam_state& s = state.quality.chan_sed_contam;
  const chan_sediment_state& cs = state.quality.chan_sediment;
  s = chan_sed_contam_state{};
  if (!state.input.settings.sediment_contam || !cs.on) return;
  const channel_state& chan = state.channel;
  const int n = state.quality.chan_contam.constituents;
  const std::size_t rows = std::size_t(n) + 1;
  const std::size_t slots = chan.node_slots() + 1;
  s.constituents = n;
  s.fine = cs.fine;
  s.lakes = chan.channel_lakes ? chan.lake_count : 0;
  const std::size_t fine_rows = slots * std::size_t(s.fine + 1);
  const std::size_t lakes = std::size_t(s.lakes) + 1;
  const std::size_t lake_rows = lakes * std::size_t(s.fine + 1);
  s.chan_soil_water_partition.assign(rows, 0.5);
  for (auto* r : {&s.chan_tot_node_mass, &s.attached_chan_flux})
    r->assign(rows, std::vector<double>(slots, 0.0));
  s.chan_node_fraction_dissolved.assign(rows, std::vector<double>(slots, 1.0));
  for (auto* r : {&s.chan_qlat_sed_mass, &s.chan_sed_contam_node_conc, &s.chan_sed_fract_attached})
    r->assign(rows, std::vector<double>(fine_rows, 0.0));
  for (auto* r : {&s.lake_tot_mass, &s.lake_sed_contam_source, &s.ov_lake_sed_source,
                  &s.chan_lake_sed_source, &s.lake_settled_sed_mass})
    r->assign(rows, std::vector<double>(lakes, 0.0));
  s.lake_fraction_dissolved.assign(rows, std::vector<double>(lakes, 1.0));
  for (auto* r : {&s.lake_sed_contam_conc, &s.lake_sed_fract_attached})
    r->assign(rows, std::vector<double>(lake_rows, 0.0));
  s.face.assign(fine_rows, 0.0);
  for (auto* r : {&s.out, &s.lat, &s.held, &s.demand}) r->assign(slots, 0.0);
  s.lake_held.assign(lakes, 0.0);
  s.lake_demand.assign(lakes, 0.0);
  s.density.assign(std::size_t(s.fine) + 1, 0.0);
  s.volume.assign(std::size_t(s.fine) + 1, 0.0);
  const sediment_state& sed = state.quality.sediment;
  for (int m = 1; m <= s.fine; ++m)
    s.density[std::size_t(m)] = sed.density[std::size_t(sed.sed_class[std::size_t(m)])];
  s.split.sed_conc.assign(std::size_t(s.fine) + 1, 0.0);
  s.split.attached.assign(std::size_t(s.fine) + 1, 0.0);
  s.run.assign(rows, chan_sed_contam_totals{});
  s.event.assign(rows, chan_sed_contam_totals{});
  s.on = 1;
}

void init_chan_sed_contam_state(model_state& state) {
  chan_sed_contam_state& s = state.quality.chan_sed_contam;
  if (!s.on) return;
  const chan_contam_state& w = state.quality.chan_contam;
  for (int k = 1; k <= s.constituents; ++k) {
    const std::size_t kk = std::size_t(k);
    s.chan_tot_node_mass[kk] = state.quality.chan_node_mass[kk];
    for (int l = 1; l <= s.lakes; ++l)
      s.lake_tot_mass[kk][std::size_t(l)] = w.lake_mass[kk][std::size_t(l)];
  }
}

void chan_sed_contam_event_start(model_state& state) {
  chan_sed_contam_state& s = state.quality.chan_sed_contam;
  if (!s.on) return;
  std::fill(s.event.begin(), s.event.end(), chan_sed_contam_totals{});
  for (int k = 1; k <= s.constituents && std::size_t(k) < s.event.size(); ++k)
    s.event[std::size_t(k)].initial = channel_attached_mass(state, k);
}

void pass_attached_to_node(model_state& state, int cell, int cls, int a, double v) {
  contaminant_model& m = state.quality.contam;
  sed_contam_state& cell_side = m.sed;
  const sediment_state& sed = state.quality.sediment;
  if (!cell_side.on || sed.sand[std::size_t(cls)] || v == 0.0) return;
  // The cell's fines hold less now: the next pass starts from what is left.
  double& left = cell_side.ov_sed_vol_susp[cell_side.at(cell, cls)];
  left = std::max(left - v, 0.0);
  cell_side.ov_sed_vol_susp[cell_side.at(cell, 0)] =
      std::max(cell_side.ov_sed_vol_susp[cell_side.at(cell, 0)] - v, 0.0);
  chan_sed_contam_state& s = state.quality.chan_sed_contam;
  int fine = 0;
  for (int q = 1; q <= sed.fine_count; ++q)
    if (sed.sed_class[std::size_t(q)] == cls) fine = q;
  for (int k = 1; k <= m.c.constituents; ++k) {
    const std::size_t kk = std::size_t(k);
    double& total = cell_side.ov_tot_cell_mass[kk][std::size_t(cell)];
    const double conc = cell_side.ov_sed_contam_conc[kk][cell_side.at(cell, cls)];
    const double grams = std::min(std::max(v * conc, 0.0), std::max(total, 0.0));
    if (grams == 0.0) continue;
    total -= grams;
    m.run[kk].ov_sed_to_chan += grams / 1000.0;
    m.event[kk].ov_sed_to_chan += grams / 1000.0;
    if (s.on && k <= s.constituents && fine > 0) {
      s.chan_qlat_sed_mass[kk][s.fin(a, fine)] += grams;
      s.chan_qlat_sed_mass[kk][s.fin(a, 0)] += grams;
    } else {
      m.run[kk].global_mass_out += grams / 1000.0;
    }
  }
}

double node_attached_mass(const model_state& state, int k, int a) {
  const chan_sed_contam_state& s = state.quality.chan_sed_contam;
  if (!s.on || k > s.constituents) return 0.0;
  return s.chan_tot_node_mass[std::size_t(k)][std::size_t(a)] -
         state.quality.chan_node_mass[std::size_t(k)][std::size_t(a)];
}

double channel_attached_mass(const model_state& state, int k) {
  const chan_sed_contam_state& s = state.quality.chan_sed_contam;
  if (!s.on || k > s.constituents) return 0.0;
  const channel_state& chan = state.channel;
  double grams = 0.0;
  for (int l = 1; l <= chan.links; ++l) {
    if (!chan.is_routed(l)) continue;
    for (int j = 1; j <= routed_nodes(chan, l); ++j)
      grams += node_attached_mass(state, k, chan.node_address(l, j));
  }
  return grams / 1000.0;
}

double lake_attached_mass(const model_state& state, int k) {
  const chan_sed_contam_state& s = state.quality.chan_sed_contam;
  if (!s.on || k > s.constituents) return 0.0;
  const std::size_t kk = std::size_t(k);
  double grams = 0.0;
  for (int l = 1; l <= s.lakes; ++l) {
    const std::size_t ll = std::size_t(l);
    grams += s.lake_tot_mass[kk][ll] - state.quality.chan_contam.lake_mass[kk][ll] +
             s.lake_settled_sed_mass[kk][ll] + s.ov_lake_sed_source[kk][ll];
  }
  return grams / 1000.0;
}

double lake_settled_attached_mass(const model_state& state, int k) {
  const chan_sed_contam_state& s = state.quality.chan_sed_contam;
  if (!s.on || k > s.constituents) return 0.0;
  double grams = 0.0;
  for (int l = 1; l <= s.lakes; ++l) grams += s.lake_settled_sed_mass[std::size_t(k)][std::size_t(l)];
  return grams / 1000.0;
}

double channel_attached_pending(const model_state& state, int k) {
  const chan_sed_contam_state& s = state.quality.chan_sed_contam;
  if (!s.on || k > s.constituents) return 0.0;
  const std::vector<double>& pending = s.chan_qlat_sed_mass[std::size_t(k)];
  double grams = 0.0;
  for (std::size_t a = 0; a * std::size_t(s.fine + 1) < pending.size(); ++a)
    grams += pending[a * std::size_t(s.fine + 1)];
  return grams / 1000.0;
}

void chan_contam_advect(model_state& state, int k, double dt) {
  chan_sed_contam_state& s = state.quality.chan_sed_contam;
  const channel_state& chan = state.channel;
  const chan_sediment_state& cs = state.quality.chan_sediment;
  const std::size_t kk = std::size_t(k);
  const int F = s.fine;
  std::vector<double>& total = s.chan_tot_node_mass[kk];
  std::vector<double>& qlat = s.chan_qlat_sed_mass[kk];
  std::fill(s.out.begin(), s.out.end(), 0.0);
  std::fill(s.lat.begin(), s.lat.end(), 0.0);
  std::fill(s.face.begin(), s.face.end(), 0.0);
  std::fill(s.demand.begin(), s.demand.end(), 0.0);
  std::fill(s.lake_demand.begin(), s.lake_demand.end(), 0.0);

  // What the cells' fines brought, and what each store can give.
  for (int l = 1; l <= chan.links; ++l) {
    if (!regular(chan, l)) continue;
    for (int j = 1; j <= chan.nx[std::size_t(l)]; ++j) {
      const int a = chan.node_address(l, j);
      for (int m = 1; m <= F; ++m) {
        s.lat[std::size_t(a)] += qlat[s.fin(a, m)];
        qlat[s.fin(a, m)] = 0.0;
      }
      qlat[s.fin(a, 0)] = 0.0;
      s.held[std::size_t(a)] = std::max(total[std::size_t(a)], 0.0) + s.lat[std::size_t(a)];
    }
  }
  for (int l = 1; l <= s.lakes; ++l)
    s.lake_held[std::size_t(l)] = std::max(
        s.lake_tot_mass[kk][std::size_t(l)] + s.ov_lake_sed_source[kk][std::size_t(l)], 0.0);

  advect_pass p{chan, cs, s, s.face, s.demand, s.lake_demand, k};
  for_each_face(p, [&](int l, int j, int a, int m, double w) {
    const upwind_store from = attached_upwind(chan, l, j, w);
    if (!has_store(from)) return;
    const double grams = w * dt * store_conc(p, from, m);
    s.face[s.fin(a, m)] = grams;
    ask(p, from, grams);
  });
  // A store asked for more than it holds gives it all, shared among its
  // faces by what each asked.
  for_each_face(p, [&](int l, int j, int a, int m, double w) {
    const upwind_store from = attached_upwind(chan, l, j, w);
    if (has_store(from)) s.face[s.fin(a, m)] *= share(p, from);
  });
  for (int l = 1; l <= chan.links; ++l) {
    if (chan.nx[std::size_t(l)] < 1) continue;
    if (wq_structure_link(chan, l)) {
      // Every node of a structure carries its one face: the regular link's
      // last face above it, or its own last.
      const int up = chan.ndep[std::size_t(l)] >= 1 ? chan.upstream(l, 1) : 0;
      const int src = gives(chan, l) ? last_address(chan, l) : last_address(chan, up);
      for (int j = 1; j <= chan.nx[std::size_t(l)]; ++j) {
        const int a = chan.node_address(l, j);
        for (int m = 1; m <= F; ++m) s.face[s.fin(a, m)] = s.face[s.fin(src, m)];
      }
    }
    for (int j = 1; j <= chan.nx[std::size_t(l)]; ++j) {
      const int a = chan.node_address(l, j);
      double sum = 0.0;
      for (int m = 1; m <= F; ++m) sum += s.face[s.fin(a, m)];
      s.out[std::size_t(a)] = sum;
    }
  }

  // Lakes: what the links above bring, less what leaves through the face
  // below (a structure's, or the lake link's last into a regular link).
  for (int l = 1; l <= chan.links; ++l) {
    if (!wq_lake_link(chan, l)) continue;
    const int lake = lake_of(chan, l);
    if (lake < 1 || lake > s.lakes) continue;
    double& brought = s.chan_lake_sed_source[kk][std::size_t(lake)];
    for (int i = 1; i <= chan.ndep[std::size_t(l)]; ++i) {
      const int u = chan.upstream(l, i);
      if (u <= 0 || wq_lake_link(chan, u) || chan.nx[std::size_t(u)] < 1) continue;
      brought += s.out[std::size_t(last_address(chan, u))];
    }
    const int d = chan.dslink[std::size_t(l)];
    if (d > 0 && chan.nx[std::size_t(d)] > 0) {
      if (wq_structure_link(chan, d)) brought -= s.out[std::size_t(chan.node_address(d, 1))];
      else if (regular(chan, d)) brought -= s.out[std::size_t(last_address(chan, l))];
    }
  }

  for (int l = 1; l <= chan.links; ++l) {
    if (!regular(chan, l)) continue;
    for (int j = 1; j <= chan.nx[std::size_t(l)]; ++j) {
      const int a = chan.node_address(l, j);
      double inflow = s.lat[std::size_t(a)];
      if (j > 1) {
        inflow += s.out[std::size_t(a - 1)];
      } else {
        for (int i = 1; i <= chan.ndep[std::size_t(l)]; ++i) {
          const int u = chan.upstream(l, i);
          if (u > 0 && chan.nx[std::size_t(u)] > 0) inflow += s.out[std::size_t(last_address(chan, u))];
        }
      }
      total[std::size_t(a)] += inflow - s.out[std::size_t(a)];
    }
  }

  for (int l = 1; l <= s.lakes; ++l) {
    const std::size_t ll = std::size_t(l);
    double settled = 0.0;
    for (int m = 1; m <= F; ++m)
      settled += s.lake_sed_contam_conc[kk][s.fin(l, m)] * cs.SS_vol_lake_settled[cs.lake_fin(l, m)];
    double& lake_total = s.lake_tot_mass[kk][ll];
    const double arriving = s.ov_lake_sed_source[kk][ll] + s.chan_lake_sed_source[kk][ll];
    settled = std::clamp(settled, 0.0, std::max(lake_total + arriving, 0.0));
    s.lake_settled_sed_mass[kk][ll] += settled;
    lake_total += arriving - settled;
    for (chan_sed_contam_totals* t : {&s.run[kk], &s.event[kk]}) t->lake_settled += settled / 1000.0;
  }

  const int outlet = last_address(chan, chan.links);
  const double gone = s.out[std::size_t(outlet)] / 1000.0;
  s.run[kk].outlet += gone;
  s.event[kk].outlet += gone;
  state.quality.contam.run[kk].global_mass_out += gone;
  double lateral = 0.0;
  for (double g : s.lat) lateral += g;
  s.run[kk].lateral += lateral / 1000.0;
  s.event[kk].lateral += lateral / 1000.0;
}

void sed_contam_release(model_state& state, int k, double dt) {
  chan_sed_contam_state& s = state.quality.chan_sed_contam;
  const channel_state& chan = state.channel;
  const chan_sediment_state& cs = state.quality.chan_sediment;
  const std::size_t kk = std::size_t(k);
  const int F = s.fine;
  const double kd = s.chan_soil_water_partition[kk];
  std::vector<double>& total = s.chan_tot_node_mass[kk];
  std::vector<double>& dissolved = s.chan_node_fraction_dissolved[kk];
  std::vector<double>& conc = s.chan_sed_contam_node_conc[kk];
  std::vector<double>& fraction = s.chan_sed_fract_attached[kk];
  std::vector<double>& release = state.quality.chan_contam.chan_node_sed_source_mass[kk];
  const std::vector<double>& water_mass = state.quality.chan_node_mass[kk];
  for (int l = chan.links; l >= 1; --l) {
    if (!chan.is_routed(l)) continue;
    const double dx = chan.dx[std::size_t(l)];
    for (int j = routed_nodes(chan, l); j >= 1; --j) {
      const int a = chan.node_address(l, j);
      const std::size_t aa = std::size_t(a);
      for (int m = 1; m <= F; ++m) s.volume[std::size_t(m)] = cs.ch_wash_vol[cs.fin(a, m)];
      // A dry node keeps the split it had.
      if (partition_node(kd, s.density.data(), s.volume.data(), F, chan.area[aa] * dx, s.split)) {
        conc[s.fin(a, 0)] = 0.0;
        for (int m = 0; m <= F; ++m) fraction[s.fin(a, m)] = s.split.attached[std::size_t(m)];
        for (int m = 1; m <= F; ++m) {
          const double v = s.volume[std::size_t(m)];
          const double c = v > tiny ? s.split.attached[std::size_t(m)] * total[aa] / v : 0.0;
          if (std::isnan(c)) std::fputs("bad number", stdout);
          conc[s.fin(a, m)] = c;
          conc[s.fin(a, 0)] += c;
        }
        dissolved[aa] = s.split.dissolved;
      }
      const double to_water = total[aa] * dissolved[aa];
      release[aa] += to_water - water_mass[aa];
      total[aa] -= to_water;
      if (total[aa] <= -tiny) std::fputs("error", stdout);
      s.attached_chan_flux[kk][aa] = s.out[aa] / dt;
    }
  }
}

void sed_contam_cell_mass(model_state& state, int k) {
  chan_sed_contam_state& s = state.quality.chan_sed_contam;
  if (s.lakes < 1) return;
  const channel_state& chan = state.channel;
  const chan_sediment_state& cs = state.quality.chan_sediment;
  const std::size_t kk = std::size_t(k);
  const int F = s.fine;
  const double kd = state.quality.contam.partition[kk];
  const std::vector<double>& water_mass = state.quality.chan_contam.lake_mass[kk];
  for (int l = 1; l <= s.lakes; ++l) {
    const std::size_t ll = std::size_t(l);
    for (int m = 1; m <= F; ++m) s.volume[std::size_t(m)] = cs.SS_vol_lake[cs.lake_fin(l, m)];
    double& total = s.lake_tot_mass[kk][ll];
    if (partition_node(kd, s.density.data(), s.volume.data(), F, chan.lake_volume[ll], s.split)) {
      s.lake_sed_contam_conc[kk][s.fin(l, 0)] = 0.0;
      for (int m = 0; m <= F; ++m)
        s.lake_sed_fract_attached[kk][s.fin(l, m)] = s.split.attached[std::size_t(m)];
      for (int m = 1; m <= F; ++m) {
        const double v = s.volume[std::size_t(m)];
        const double c = v > tiny ? s.split.attached[std::size_t(m)] * total / v : 0.0;
        if (std::isnan(c)) std::fputs("bad number", stdout);
        s.lake_sed_contam_conc[kk][s.fin(l, m)] = c;
        s.lake_sed_contam_conc[kk][s.fin(l, 0)] += c;
      }
      s.lake_fraction_dissolved[kk][ll] = s.split.dissolved;
    }
    const double to_water = total * s.lake_fraction_dissolved[kk][ll];
    s.lake_sed_contam_source[kk][ll] += to_water - water_mass[ll];
    total -= to_water;
    if (total <= -tiny) std::fputs("error", stdout);
    // What the cells brought was booked as they gave it.
    for (chan_sed_contam_totals* t : {&s.run[kk], &s.event[kk]})
      t->chan_lake += s.chan_lake_sed_source[kk][ll] / 1000.0;
    s.chan_lake_sed_source[kk][ll] = 0.0;
    s.ov_lake_sed_source[kk][ll] = 0.0;
  }
}

void chan_sed_contam_step(model_state& state) {
  chan_sed_contam_state& s = state.quality.chan_sed_contam;
  if (!s.on || !state.quality.chan_contam.on) return;
  const run_control& run = state.run;
  if (!run.chan_contam.due(run.current_time)) return;
  const double dt = chan_contam_interval(state);
  if (!(dt > 0.0)) return;
  for (int k = 1; k <= s.constituents; ++k) {
    if (state.quality.contam.c.constituent_type[std::size_t(k)] == 3) continue;
    chan_contam_advect(state, k, dt);
    sed_contam_release(state, k, dt);
    sed_contam_cell_mass(state, k);
  }
}
