// Dissolved constituents in the channels and channel lakes. Other processes
// do not change node or lake masses: they leave pending amounts (grams) per
// node or lake, and the channel constituent step takes them as the source
// rates of its routing and books each once into the totals the summaries
// read. Masses are in grams and concentrations in g/m3 inside the loop; the
// totals are in kilograms.

#include "quality/channel_contam.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/error_state.h"
#include "run/model_state.h"
#include "quality/chan_sed_contam.h"
#include "quality/nsm_model.h"
#include "quality/quality_steps.h"

namespace {

constexpr double tiny = 1e-16;

bool reached(const process_clock& clock, double now) {
  return clock.next - now < time_tolerance_days;
}

void size_rows(chan_rows& rows, std::size_t n, std::size_t width) {
  rows.assign(n, std::vector<double>(width, 0.0));
}

int constituent_type(const model_state& state, int k) {
  return state.quality.contam.c.constituent_type[std::size_t(k)];
}

int outlet_address(const channel_state& chan) {
  return chan.node_address(chan.links, chan.nx[chan.links]);
}

bool has_lakes(const model_state& state) {
  return state.channel.channel_lakes != 0 && state.channel.lake_count > 0;
}

// Nodes the routing carries mass in: those of the routed links, up to the
// node count as read (a lake may have taken the last ones).
int routed_nodes(const channel_state& chan, int link) {
  return chan.channel_lakes ? std::min(chan.nx[link], chan.og_nx1[link]) : chan.nx[link];
}

// The stream nutrient layer of a run that carries the species down the
// channels, or null.
nsm_stream* stream_nutrients(model_state& state) {
  nsm_model* nsm = state.quality.nsm.get();
  if (nsm == nullptr || !nsm->stream_on || state.quality.contam.first_nutrient < 1) return nullptr;
  return &nsm->stream;
}

// The water species (0..8) constituent k is, or -1.
int nutrient_species(const model_state& state, int k) {
  if (constituent_type(state, k) != 2) return -1;
  const int s = k - state.quality.contam.first_nutrient;
  return s >= 0 && s < nsm_species ? s : -1;
}

// The routed nodes' concentration and mass of species k, handed back to the
// stream layer that the nutrient outputs read.
void return_to_stream_layer(model_state& state, int k) {
  nsm_stream* st = stream_nutrients(state);
  const int s = nutrient_species(state, k);
  if (st == nullptr || s < 0) return;
  const channel_state& chan = state.channel;
  nsm_constituent& species = st->species[std::size_t(s)];
  const std::vector<double>& conc = state.quality.chan_node_conc[std::size_t(k)];
  const std::vector<double>& mass = state.quality.chan_node_mass[std::size_t(k)];
  for (int i = 1; i <= chan.links; ++i) {
    if (!chan.is_routed(i)) continue;
    for (int j = 1; j <= routed_nodes(chan, i); ++j) {
      const std::size_t a = std::size_t(chan.node_address(i, j));
      if (a >= species.conc.size() || a >= species.mass.size()) continue;
      species.conc[a] = conc[a];
      species.mass[a] = mass[a];
    }
  }
}

void book(model_state& state, int k, const chan_step_grams& g) {
  chan_contam_state& w = state.quality.chan_contam;
  constituent_totals& global = state.quality.contam.run[std::size_t(k)];
  for (chan_contam_totals* t : {&w.run[std::size_t(k)], &w.event[std::size_t(k)]}) {
    t->outlet += g.outlet / 1000.0;
    t->point += g.point / 1000.0;
    t->decay += g.decay / 1000.0;
    t->lateral += g.lateral / 1000.0;
    t->groundwater += g.groundwater / 1000.0;
    t->lake_precip += g.lake_precip / 1000.0;
    t->lake_groundwater += g.lake_groundwater / 1000.0;
    t->lake_decay += g.lake_decay / 1000.0;
    t->lake_overland += g.lake_overland / 1000.0;
    t->lake_exchange += g.lake_exchange / 1000.0;
    t->nsm_gain += g.nsm_gain / 1000.0;
    t->nsm_loss -= g.nsm_loss / 1000.0;
  }
  w.run[std::size_t(k)].sed_exchange += g.sed_exchange / 1000.0;
  w.event[std::size_t(k)].sed_exchange += g.sed_exchange / 1000.0;
  global.global_mass_out += g.outlet / 1000.0;
  global.global_point_source += g.point / 1000.0;
  global.global_mass_decay += (g.decay + g.lake_decay) / 1000.0;
  global.global_gw_mass += (g.groundwater + g.lake_groundwater) / 1000.0;
  global.global_precip += g.lake_precip / 1000.0;
  chan_sed_contam_state& sed = state.quality.chan_sed_contam;
  if (sed.on) {
    sed.run[std::size_t(k)].lake_release += g.lake_sed / 1000.0;
    sed.event[std::size_t(k)].lake_release += g.lake_sed / 1000.0;
  }
}

void lake_gw_contam_exchange(model_state& state, int k) {
  chan_contam_state& w = state.quality.chan_contam;
  channel_state& chan = state.channel;
  const grid_state& grid = state.grid;
  const bool gw = state.input.gw_simulation != 0;
  const bool last = k == w.constituents;
  const std::vector<double>& aquifer = state.quality.contam.c.gw_contam_conc[std::size_t(k)];
  for (int l = 1; l <= chan.lake_count; ++l) {
    if (!chan.calc_loss[std::size_t(l)]) continue;
    for (int i = 1; i <= chan.lake_cells[std::size_t(l)]; ++i) {
      const std::size_t p = std::size_t(l) * std::size_t(chan.max_lake_points + 1) + std::size_t(i);
      const int cell = grid.mask[chan.lake_search_row[p]][chan.lake_search_col[p]];
      if (cell < 1) continue;
      if (gw && state.subsurface.gw.gwbound[std::size_t(cell)] != 7) continue;
      double& v = w.cell_lake_gw_volume[std::size_t(cell)];
      const double conc = v > 0.0 ? aquifer[std::size_t(cell)] : w.lake_conc[std::size_t(k)][std::size_t(l)];
      w.lake_gw_mass[std::size_t(k)][std::size_t(l)] += v * conc;
      if (last) v = 0.0;
    }
  }
}

// The lake a taken node of link i gave its water to: the link's own when a
// lake has overtaken it, else the first lake down the network.
int lake_of_taken_node(const channel_state& chan, int i) {
  for (int l = i; l >= 1; l = chan.dslink[std::size_t(l)]) {
    const int lake = chan.lake2link[std::size_t(l)];
    if (lake >= 1 && lake <= chan.lake_count) return lake;
    if (l != i && !chan.is_routed(l) && !wq_lake_link(chan, l)) return 0;
  }
  return 0;
}

// A node a lake takes gives the lake its water, and with it its mass; a node
// the lake gives back is refilled with lake water at the lake's
// concentration. Both move through the lake's exchange with the channels,
// so the channel and lake balances book them alike. What the node's fines
// held joins the lake's attached mass as the channels' inflow, so a node the
// lake holds keeps no total of its own and starts again from its water.
void exchange_lake_nodes(model_state& state) {
  chan_contam_state& w = state.quality.chan_contam;
  const channel_state& chan = state.channel;
  quality_state& q = state.quality;
  chan_sed_contam_state& sed = q.chan_sed_contam;
  if (chan.status_node.size() < chan.node_slots() || w.node_in_lake.size() < chan.node_slots())
    return;
  for (int i = 1; i <= chan.links; ++i) {
    if (chan.ltype[std::size_t(i)] & (link_bit::lake | link_bit::structure)) continue;
    for (int j = 1; j <= chan.og_nx1[std::size_t(i)]; ++j) {
      const std::size_t a = std::size_t(chan.node_address(i, j));
      const bool taken = chan.status_node[a] == 1;
      if (taken == (w.node_in_lake[a] == 1)) continue;
      const int lake = lake_of_taken_node(chan, i);
      if (lake < 1) continue;
      const std::size_t l = std::size_t(lake);
      for (int k = 1; k <= w.constituents; ++k) {
        const std::size_t kk = std::size_t(k);
        if (constituent_type(state, k) == 3) continue;
        const bool attached = sed.on && k <= sed.constituents && lake <= sed.lakes;
        if (taken) {
          if (attached) {
            const double g = sed.chan_tot_node_mass[kk][a] - q.chan_node_mass[kk][a];
            sed.lake_tot_mass[kk][l] += g;
            for (chan_sed_contam_totals* t : {&sed.run[kk], &sed.event[kk]})
              t->chan_lake += g / 1000.0;
            sed.chan_tot_node_mass[kk][a] = 0.0;
          }
          w.lake_chan_exchange_mass[kk][l] += q.chan_node_mass[kk][a];
          q.chan_node_mass[kk][a] = 0.0;
          q.chan_node_conc[kk][a] = 0.0;
        } else {
          const double conc = w.lake_conc[kk][l];
          const double m = conc * chan.area[a] * chan.dx[std::size_t(i)];
          w.lake_chan_exchange_mass[kk][l] -= m;
          q.chan_node_mass[kk][a] = m;
          q.chan_node_conc[kk][a] = conc;
        }
      }
      w.node_in_lake[a] = taken ? 1 : 0;
    }
  }
}

}  // namespace

double pending_take(double pending, double dt, double interval) {
  if (interval - dt > 0.5) return pending * dt / interval;
  return pending;
}

void alloc_channel_contaminant_arrays(model_state& state) {
  const input_state& in = state.input;
  if (!in.chan_con_trans) return;
  channel_state& chan = state.channel;
  quality_state& q = state.quality;
  chan_contam_state& w = q.chan_contam;
  const int n = q.contam.on ? q.contam.c.constituents : 0;
  const std::size_t rows = std::size_t(n) + 1;
  const std::size_t slots = chan.node_slots() + 1;
  w.constituents = n;
  w.decay_rate = in.chan_decay_coef;
  w.disp_coef = in.chan_disp_coef;
  w.init_conc = in.init_chan_conc;
  for (std::vector<std::vector<double>>* r :
       {&q.chan_node_conc, &q.chan_node_mass, &q.chan_point_conc, &q.conc_qlat, &q.chan_qlat_mass,
        &q.chan_gw_mass, &q.chan_nsm_source})
    size_rows(*r, rows, slots);
  for (chan_rows* r : {&w.chan_node_disp, &w.chan_decay_coef, &w.chan_mass, &w.chan_point_mass_flux,
                       &w.dissolved_chan_flux, &w.chan_node_sed_source_mass})
    size_rows(*r, rows, slots);
  w.outlet_pending.assign(rows, 0.0);
  w.run.assign(rows, chan_contam_totals{});
  w.event.assign(rows, chan_contam_totals{});
  w.event_chan_init.assign(rows, 0.0);
  w.event_lake_init.assign(rows, 0.0);
  w.work.size(chan);

  if (in.all_contam_output && !q.con_output.empty()) {
    if (!q.con_output_file.open(q.con_output.c_str(), "w")) {
      raise_message("Can't open %s to write channel contam data \n", q.con_output.c_str());
      return;
    }
  }

  const std::size_t lakes = std::size_t(has_lakes(state) ? chan.lake_count : 0) + 1;
  for (chan_rows* r : {&w.lake_conc, &w.lake_mass, &w.lake_decay_coef, &w.lake_decay_mass,
                       &w.lake_precip_mass, &w.lake_gw_mass, &w.lake_ov_inflow_mass,
                       &w.lake_chan_exchange_mass, &w.lake_chan_inflow_mass,
                       &w.lake_chan_outflow_mass})
    size_rows(*r, rows, lakes);
  w.lake_precip_volume.assign(lakes, 0.0);
  w.cell_lake_gw_volume.assign(std::size_t(state.grid.cells) + 1, 0.0);
  w.node_in_lake.assign(slots, 0);

  // The cells' bank outflow reaches the nodes by the grid-stream entries.
  w.pair_volume_seen.assign(chan.gst_vlat.size(), 0.0);
  if (in.gw_simulation || in.stream_loss) chan.gst_qriv_vol.assign(chan.gst_vlat.size(), 0.0);
  w.pair_weight.assign(chan.gst_vlat.size(), 0.0);
  w.stream_cell_of.assign(std::size_t(state.grid.cells) + 1, 0);
  for (int c = 1; c <= chan.stream_cells; ++c) {
    for (int e = 1; e <= chan.gst_ncellsingrid[std::size_t(c)]; ++e) {
      const int cell = chan.gst_gnum[chan.gst_index(c, e)];
      if (cell >= 1 && cell <= state.grid.cells) w.stream_cell_of[std::size_t(cell)] = c;
    }
  }
  chan.constituents = 1;
  w.on = 1;
  alloc_chan_sed_contam_arrays(state);
}

void init_channel_contam_state(model_state& state) {
  chan_contam_state& w = state.quality.chan_contam;
  if (!w.on) return;
  const channel_state& chan = state.channel;
  quality_state& q = state.quality;
  const double decay = w.decay_rate / 86400.0;  // 1/s
  const nsm_stream* st = stream_nutrients(state);
  for (int k = 1; k <= w.constituents; ++k) {
    const std::size_t kk = std::size_t(k);
    double chan_grams = 0.0, lake_grams = 0.0;
    // A nutrient species starts from the stream layer's values and
    // disperses by its coefficient.
    const int species = st != nullptr ? nutrient_species(state, k) : -1;
    const std::vector<double>* start_conc =
        species >= 0 ? &st->species[std::size_t(species)].conc : nullptr;
    const std::vector<double>* start_disp = species >= 0 ? &st->dispersion : nullptr;
    for (int i = 1; i <= chan.links; ++i) {
      if (wq_structure_link(chan, i)) continue;
      if (chan.ltype[std::size_t(i)] & link_bit::lake) {
        const std::size_t lake = std::size_t(chan.lake2link[std::size_t(i)]);
        if (lake < 1 || lake >= w.lake_conc[kk].size()) continue;
        w.lake_conc[kk][lake] = w.init_conc;
        w.lake_mass[kk][lake] = w.init_conc * chan.lake_volume[lake];
        w.lake_decay_coef[kk][lake] = decay;
        lake_grams += w.lake_mass[kk][lake];
        continue;
      }
      for (int j = 1; j <= chan.nx[i]; ++j) {
        const std::size_t a = std::size_t(chan.node_address(i, j));
        w.chan_decay_coef[kk][a] = decay;
        w.chan_node_disp[kk][a] =
            start_disp != nullptr && a < start_disp->size() ? (*start_disp)[a] : w.disp_coef;
        const double c0 = start_conc == nullptr ? w.init_conc
                          : a < start_conc->size() ? (*start_conc)[a]
                                                   : 0.0;
        // A dry node starts empty; a wet one holds its water at the start
        // concentration, so that the routing starts from real mass.
        const double area = chan.area[a];
        q.chan_node_conc[kk][a] = area > tiny ? c0 : 0.0;
        q.chan_node_mass[kk][a] = area > tiny ? c0 * area * chan.dx[std::size_t(i)] : 0.0;
        chan_grams += q.chan_node_mass[kk][a];
      }
    }
    w.run[kk].chan_init = chan_grams / 1000.0;
    w.run[kk].lake_init = lake_grams / 1000.0;
    w.event_chan_init[kk] = w.run[kk].chan_init;
    w.event_lake_init[kk] = w.run[kk].lake_init;
    state.quality.contam.run[kk].global_mass_init += (chan_grams + lake_grams) / 1000.0;
  }
  init_chan_sed_contam_state(state);
}

void channel_contam_event_start(model_state& state) {
  chan_contam_state& w = state.quality.chan_contam;
  if (!w.on) return;
  for (int k = 1; k <= w.constituents; ++k) {
    const std::size_t kk = std::size_t(k);
    w.event[kk] = chan_contam_totals{};
    w.event_chan_init[kk] = channel_contam_mass(state, k);
    w.event_lake_init[kk] = lake_contam_mass(state, k);
  }
  chan_sed_contam_event_start(state);
}

double channel_contam_mass(const model_state& state, int k) {
  const chan_contam_state& w = state.quality.chan_contam;
  if (!w.on || k > w.constituents) return 0.0;
  const channel_state& chan = state.channel;
  const std::vector<double>& mass = state.quality.chan_node_mass[std::size_t(k)];
  double grams = 0.0;
  for (int i = 1; i <= chan.links; ++i) {
    if (!chan.is_routed(i)) continue;
    for (int j = 1; j <= routed_nodes(chan, i); ++j) grams += mass[std::size_t(chan.node_address(i, j))];
  }
  return grams / 1000.0;
}

double lake_contam_mass(const model_state& state, int k) {
  const chan_contam_state& w = state.quality.chan_contam;
  if (!w.on || k > w.constituents || !has_lakes(state)) return 0.0;
  double grams = 0.0;
  for (int l = 1; l <= state.channel.lake_count; ++l) grams += w.lake_mass[std::size_t(k)][std::size_t(l)];
  return grams / 1000.0;
}

double channel_pending_mass(const model_state& state, int k) {
  const chan_contam_state& w = state.quality.chan_contam;
  if (!w.on || k > w.constituents) return 0.0;
  double grams = 0.0;
  for (double g : state.quality.chan_qlat_mass[std::size_t(k)]) grams += g;
  // What the cells gave the lakes since the lakes last took it.
  if (has_lakes(state))
    for (int l = 1; l <= state.channel.lake_count; ++l)
      grams += w.lake_ov_inflow_mass[std::size_t(k)][std::size_t(l)];
  return grams / 1000.0;
}

void chan_contam_decay_mass(model_state& state, int k, double t) {
  chan_contam_state& w = state.quality.chan_contam;
  const channel_state& chan = state.channel;
  const std::size_t kk = std::size_t(k);
  const std::vector<double>& conc = state.quality.chan_node_conc[kk];
  for (int i = chan.links; i >= 1; --i) {
    if (wq_structure_link(chan, i)) continue;
    if (chan.ltype[std::size_t(i)] & link_bit::lake) {
      const std::size_t l = std::size_t(chan.lake2link[std::size_t(i)]);
      if (l >= 1 && l < w.lake_conc[kk].size())
        w.lake_decay_mass[kk][l] +=
            w.lake_conc[kk][l] * chan.lake_volume[l] * w.lake_decay_coef[kk][l] * t;
    }
    for (int j = 1; j <= chan.nx[i]; ++j) {
      const std::size_t a = std::size_t(chan.node_address(i, j));
      if (chan.area[a] < 0.0 || chan.area_old[a] < 0.0) std::printf("area negative");
      const double v = std::min(chan.area[a], chan.area_old[a]) * chan.dx[std::size_t(i)];
      if (v >= tiny) w.chan_mass[kk][a] += v * conc[a] * w.chan_decay_coef[kk][a] * t;
      if (w.chan_mass[kk][a] < 0.0) std::printf("decay negative");
    }
  }
}

void chan_gw_contam_exchange(model_state& state, int k, double t) {
  const channel_state& chan = state.channel;
  const std::size_t kk = std::size_t(k);
  const std::vector<double>& conc = state.quality.chan_node_conc[kk];
  const std::vector<double>& aquifer = state.quality.contam.c.gw_contam_conc[kk];
  std::vector<double>& pending = state.quality.chan_gw_mass[kk];
  auto aquifer_conc = [&aquifer](int cell) {
    return cell >= 1 && std::size_t(cell) < aquifer.size() ? aquifer[std::size_t(cell)] : 0.0;
  };
  // Each entry brings its own cell's water: a node over two aquifer cells
  // takes each cell's concentration for the volume that cell gave.
  if (chan.stream_cells > 0 && chan.gst_qriv_vol.size() == chan.gst_vlat.size()) {
    const bool gw = state.input.gw_simulation != 0;
    const std::vector<int>& gwbound = state.subsurface.gw.gwbound;
    for (int c = 1; c <= chan.stream_cells; ++c) {
      for (int e = 1; e <= chan.gst_ncellsingrid[std::size_t(c)]; ++e) {
        const std::size_t g = chan.gst_index(c, e);
        const int link = chan.gst_link[g], node = chan.gst_node[g], cell = chan.gst_gnum[g];
        if (link < 1 || link > chan.links || !chan.is_routed(link) || node < 1 ||
            node > chan.nx[link])
          continue;
        if (gw && (cell < 1 || std::size_t(cell) >= gwbound.size() ||
                   gwbound[std::size_t(cell)] != gw_type::stream))
          continue;
        const double v = chan.gst_qriv_vol[g];  // m3, into the stream +
        if (v == 0.0) continue;
        const std::size_t a = std::size_t(chan.node_address(link, node));
        pending[a] += v * (v >= 0.0 ? aquifer_conc(cell) : conc[a]);
      }
    }
    return;
  }
  if (chan.qriv.size() < chan.node_slots()) return;
  for (int i = 1; i <= chan.links; ++i) {
    if (!chan.is_routed(i)) continue;
    for (int j = 1; j <= chan.nx[i]; ++j) {
      const std::size_t a = std::size_t(chan.node_address(i, j));
      const double v = chan.qriv[a] * chan.dx[std::size_t(i)] * t;  // m3, into the stream +
      const int cell = a < chan.con_vect.size() ? chan.con_vect[a] : 0;
      const double c = v >= 0.0 ? aquifer_conc(cell) : conc[a];
      pending[a] += v * c;
    }
  }
}

double node_source_rate(model_state& state, int k, int a, bool outlet, double dt,
                        chan_step_grams& step) {
  quality_state& q = state.quality;
  chan_contam_state& w = q.chan_contam;
  const std::size_t kk = std::size_t(k), aa = std::size_t(a);
  const int type = constituent_type(state, k);
  double available = q.chan_node_mass[kk][aa];  // g

  double point = 0.0;
  if (state.channel.point_input) {
    double& e = w.chan_point_mass_flux[kk][aa];
    point = e;
    if (available + point < 0.0) point = -available;
    e -= point;
    available += point;
    step.point += point;
  }

  double out = 0.0;
  if (outlet) {
    out = pending_take(w.outlet_pending[kk], dt, w.outlet_interval);
    if (out > 0.0 && out > available) out = available;
    w.outlet_pending[kk] -= out;
    available -= out;
    step.outlet += out;
  }

  double& qlat = q.chan_qlat_mass[kk][aa];
  double lateral = pending_take(qlat, dt, q.contam.outlet_interval);
  if (lateral < 0.0 && lateral < -available) lateral = -available;
  qlat -= lateral;
  available += lateral;
  step.lateral += lateral;

  double gw = 0.0;
  if (state.input.stream_loss || state.input.gw_simulation) {
    double& p = q.chan_gw_mass[kk][aa];
    gw = pending_take(p, dt, w.groundwater_interval);
    if (gw < 0.0 && gw < -available) gw = -available;
    p = 0.0;
    available += gw;
    step.groundwater += gw;
  }

  double decay = 0.0;
  if (type == 1 && q.contam.present) {
    double& p = w.chan_mass[kk][aa];
    decay = pending_take(p, dt, w.decay_interval);
    if (decay > available) {
      decay = available;
      p = 0.0;
    } else {
      p -= decay;
    }
    available -= decay;
    step.decay += decay;
  }

  // A kinetics change is taken as the kinetics left it, without the limit
  // to the node's mass the other takes have.
  double nsm = 0.0;
  if (type == 2) {
    double& p = q.chan_nsm_source[kk][aa];
    nsm = pending_take(p, dt, w.nutrient_interval);
    p -= nsm;
    (nsm >= 0.0 ? step.nsm_gain : step.nsm_loss) += std::fabs(nsm);
  }

  double sed = 0.0;
  if (state.input.settings.sediment_contam) {
    double& p = w.chan_node_sed_source_mass[kk][aa];
    sed = p;
    p = 0.0;
    step.sed_exchange += sed;
  }

  const double mass = q.chan_node_mass[kk][aa];
  const double rate = (lateral - out - decay + gw + nsm + sed + point) / dt;  // g/s
  return mass + rate * dt < 0.0 ? -mass / dt : rate;
}

double lake_source_rate(model_state& state, int k, int lake, double dt, chan_step_grams& step) {
  chan_contam_state& w = state.quality.chan_contam;
  const std::size_t kk = std::size_t(k), l = std::size_t(lake);
  // Every lake process is gathered at the channel step or more often, so
  // each pending amount is taken whole.
  const double precip = w.lake_precip_mass[kk][l];
  w.lake_precip_mass[kk][l] = 0.0;
  step.lake_precip += precip;
  double gw = 0.0;
  if (state.channel.lake_loss) {
    gw = w.lake_gw_mass[kk][l];
    w.lake_gw_mass[kk][l] = 0.0;
    step.lake_groundwater += gw;
  }
  double decay = 0.0;
  if (state.quality.contam.present && constituent_type(state, k) == 1) {
    decay = w.lake_decay_mass[kk][l];
    w.lake_decay_mass[kk][l] = 0.0;
    step.lake_decay += decay;
  }
  const double overland = w.lake_ov_inflow_mass[kk][l];
  w.lake_ov_inflow_mass[kk][l] = 0.0;
  step.lake_overland += overland;
  const double exchange = w.lake_chan_exchange_mass[kk][l];
  w.lake_chan_exchange_mass[kk][l] = 0.0;
  step.lake_exchange += exchange;
  double sed = 0.0;
  chan_sed_contam_state& s = state.quality.chan_sed_contam;
  if (s.on && lake <= s.lakes) {
    sed = s.lake_sed_contam_source[kk][l];
    s.lake_sed_contam_source[kk][l] = 0.0;
    step.lake_sed += sed;
  }
  const double mass = w.lake_mass[kk][l];
  const double rate = (precip - decay + overland + gw + exchange + sed) / dt;
  return mass + rate * dt < 0.0 ? -mass / dt : rate;
}

void gather_point_source_mass(model_state& state, double dt) {
  chan_contam_state& w = state.quality.chan_contam;
  const channel_state& chan = state.channel;
  if (!w.on || !chan.point_input) return;
  const quality_state& q = state.quality;
  const int links = chan.links;
#pragma omp parallel for schedule(static) num_threads(chan.link_team())
  for (int i = 1; i <= links; ++i) {
    if (!chan.is_routed(i)) continue;
    for (int j = 1; j <= chan.nx[i]; ++j) {
      const std::size_t a = std::size_t(chan.node_address(i, j));
      const double v = chan.point_input_values[a] * dt;  // m3
      if (v == 0.0) continue;
      for (int k = 1; k <= w.constituents; ++k)
        w.chan_point_mass_flux[std::size_t(k)][a] += q.chan_point_conc[std::size_t(k)][a] * v;
    }
  }
}

void note_bank_exchange(model_state& state) {
  chan_contam_state& w = state.quality.chan_contam;
  if (!w.on) return;
  const channel_state& chan = state.channel;
  if (w.pair_weight.size() != chan.gst_vlat.size()) return;
  for (int c = 1; c <= chan.stream_cells; ++c) {
    double total = 0.0;  // m3 into the nodes
    const int entries = chan.gst_ncellsingrid[std::size_t(c)];
    for (int e = 1; e <= entries; ++e) {
      const std::size_t g = chan.gst_index(c, e);
      const double v = chan.gst_vlat[g] - w.pair_volume_seen[g];
      if (v > 0.0) total += v;
    }
    for (int e = 1; e <= entries; ++e) {
      const std::size_t g = chan.gst_index(c, e);
      const double v = chan.gst_vlat[g] - w.pair_volume_seen[g];
      w.pair_volume_seen[g] = chan.gst_vlat[g];
      // A cell that gave nothing this time keeps the shares it had.
      if (total > 0.0) w.pair_weight[g] = v > 0.0 ? v / total : 0.0;
    }
  }
}

void pass_cell_mass_to_nodes(model_state& state, int k, int j, double grams) {
  chan_contam_state& w = state.quality.chan_contam;
  if (!w.on || grams == 0.0) return;
  const channel_state& chan = state.channel;
  const int c = j < int(w.stream_cell_of.size()) ? w.stream_cell_of[std::size_t(j)] : 0;
  if (c == 0) return;
  std::vector<double>& pending = state.quality.chan_qlat_mass[std::size_t(k)];
  // The last node with a share takes what the shares' rounding leaves, so
  // the nodes receive exactly what the cell gave.
  int last = 0;
  const int entries = chan.gst_ncellsingrid[std::size_t(c)];
  for (int e = 1; e <= entries; ++e)
    if (w.pair_weight[chan.gst_index(c, e)] > 0.0) last = e;
  if (last == 0) return;
  double given = 0.0;
  for (int e = 1; e <= last; ++e) {
    const std::size_t g = chan.gst_index(c, e);
    const double share = w.pair_weight[g];
    if (share <= 0.0) continue;
    const double m = e == last ? grams - given : grams * share;
    given += m;
    pending[std::size_t(chan.node_address(chan.gst_link[g], chan.gst_node[g]))] += m;
  }
}

void contam_decay_step(model_state& state) {
  chan_contam_state& w = state.quality.chan_contam;
  if (!w.on) return;
  run_control& run = state.run;
  channel_state& chan = state.channel;
  const double now = run.current_time;
  if (!w.clocks_started) {
    w.decay = w.outlet = w.groundwater = w.nutrients = run.chan_contam;
    w.clocks_started = 1;
  }
  if (state.quality.contam.present && reached(w.decay, now)) {
    const double t = (now - w.decay.last) * 86400.0;
    for (int k = 1; k <= w.constituents; ++k)
      if (constituent_type(state, k) == 1) chan_contam_decay_mass(state, k, t);
    w.decay_interval = t;
    w.decay.last = now;
    w.decay.next = now + run.channel.interval_d * state.quality.contam.kinetics_factor;
  }
  if (state.quality.nsm && reached(w.nutrients, now)) {
    w.nutrient_interval = (now - w.nutrients.last) * 86400.0;
    w.nutrients.last = now;
    w.nutrients.next = now + run.channel.interval_d * state.quality.contam.kinetics_factor;
  }
  if (reached(w.outlet, now)) {
    const double volume = chan.contam_outlet_volume;  // m3
    if (volume > tiny) {
      const std::size_t a = std::size_t(outlet_address(chan));
      for (int k = 1; k <= w.constituents; ++k)
        w.outlet_pending[std::size_t(k)] += state.quality.chan_node_conc[std::size_t(k)][a] * volume;
    }
    w.outlet_interval = (now - w.outlet.last) * 86400.0;
    chan.contam_outlet_volume = 0.0;
    w.outlet.last = now;
    w.outlet.next = run.channel.next;
  }
  const bool stream_exchange = state.input.stream_loss || state.input.gw_simulation;
  const bool lake_exchange = has_lakes(state) && chan.lake_loss;
  if ((stream_exchange || lake_exchange) && reached(w.groundwater, now)) {
    const double t = (now - w.groundwater.last) * 86400.0;
    for (int k = 1; k <= w.constituents; ++k) {
      if (stream_exchange) chan_gw_contam_exchange(state, k, t);
      if (lake_exchange) lake_gw_contam_exchange(state, k);
    }
    w.groundwater_interval = t;
    w.groundwater.last = now;
    w.groundwater.next = run.channel.next;
  }
  if (has_lakes(state) && run.chan_contam.due(now)) {
    const std::vector<double>& rain = state.quality.contam.c.precip_conc;
    for (int k = 1; k <= w.constituents; ++k)
      for (int l = 1; l <= chan.lake_count; ++l)
        w.lake_precip_mass[std::size_t(k)][std::size_t(l)] +=
            w.lake_precip_volume[std::size_t(l)] * rain[std::size_t(k)];
    std::fill(w.lake_precip_volume.begin(), w.lake_precip_volume.end(), 0.0);
  }
}

double chan_contam_interval(const model_state& state) {
  const run_control& run = state.run;
  const double dt = (run.current_time - run.chan_contam.last) * 86400.0;  // s
  // Julian days hold a time to about 4e-5 s: an interval that close to the
  // channel step is that step.
  return std::fabs(dt - run.channel.interval_s) < 1e-3 ? run.channel.interval_s : dt;
}

void channel_contam_step(model_state& state) {
  chan_contam_state& w = state.quality.chan_contam;
  if (!w.on) return;
  run_control& run = state.run;
  if (!run.chan_contam.due(run.current_time)) return;
  channel_state& chan = state.channel;
  quality_state& q = state.quality;
  const double now = run.current_time;
  const double dt = chan_contam_interval(state);
  const bool lakes = has_lakes(state);
  const int outlet = outlet_address(chan);
  chan_wq_work& work = w.work;
  work.size(chan);
  chan_sed_contam_state& sed = q.chan_sed_contam;
  if (lakes && dt > 0.0) exchange_lake_nodes(state);

  for (int k = 1; dt > 0.0 && k <= w.constituents; ++k) {
    if (constituent_type(state, k) == 3) continue;
    const std::size_t kk = std::size_t(k);
    std::vector<double>& conc = q.chan_node_conc[kk];
    std::vector<double>& mass = q.chan_node_mass[kk];
    chan_step_grams step;
    for (int i = 1; i <= chan.links; ++i) {
      if (!chan.is_routed(i)) continue;
      for (int j = 1; j <= routed_nodes(chan, i); ++j) {
        const int a = chan.node_address(i, j);
        const std::size_t aa = std::size_t(a);
        work.conc[aa] = conc[aa];
        work.mass[aa] = mass[aa];
        work.disp[aa] = w.chan_node_disp[kk][aa];
        work.source[aa] = node_source_rate(state, k, a, a == outlet, dt, step);
      }
    }
    if (lakes) {
      for (int l = 1; l <= chan.lake_count; ++l) {
        const std::size_t ll = std::size_t(l);
        work.lake_conc[ll] = w.lake_conc[kk][ll];
        work.lake_mass[ll] = w.lake_mass[kk][ll];
        work.lake_source[ll] = lake_source_rate(state, k, l, dt, step);
        work.lake_inflow[ll] = 0.0;
        work.lake_outflow[ll] = 0.0;
      }
    }
    work.chan_to_lake = 0.0;
    work.lake_to_chan = 0.0;
    if (!chan_wq_route(chan, work, dt)) return;

    for (int i = 1; i <= chan.links; ++i) {
      if (!chan.is_routed(i)) continue;
      for (int j = 1; j <= routed_nodes(chan, i); ++j) {
        const std::size_t a = std::size_t(chan.node_address(i, j));
        double m = work.mass[a], c = work.conc[a];
        if (m < 0.0) m = c = 0.0;
        mass[a] = m;
        conc[a] = c;
        w.dissolved_chan_flux[kk][a] = work.adv[a] / dt;
        if (sed.on) {
          // The routed water's mass rejoins what stayed on the fines.
          double& total = sed.chan_tot_node_mass[kk][a];
          total = std::max(total + m, 0.0);
          if (std::isnan(total)) std::printf("Total node mass, contam %d chaddr %zu NAN \n", k, a);
        }
      }
    }
    if (lakes) {
      for (int l = 1; l <= chan.lake_count; ++l) {
        const std::size_t ll = std::size_t(l);
        w.lake_conc[kk][ll] = work.lake_conc[ll];
        w.lake_mass[kk][ll] = work.lake_mass[ll];
        w.lake_chan_inflow_mass[kk][ll] += work.lake_inflow[ll];
        w.lake_chan_outflow_mass[kk][ll] += work.lake_outflow[ll];
        if (sed.on && l <= sed.lakes) {
          double& total = sed.lake_tot_mass[kk][ll];
          total = std::max(total + work.lake_mass[ll], 0.0);
          if (std::isnan(total)) std::printf("Total lake mass, contam %d lake %d NAN \n", k, l);
        }
      }
      for (chan_contam_totals* t : {&w.run[kk], &w.event[kk]}) {
        t->lake_inflow += work.chan_to_lake / 1000.0;
        t->lake_outflow += work.lake_to_chan / 1000.0;
      }
    }
    book(state, k, step);
    w.dissolved_chan_flux[kk][std::size_t(outlet)] = step.outlet / dt;
    return_to_stream_layer(state, k);
  }
  std::fill(chan.qp_vol.begin(), chan.qp_vol.end(), 0.0);
  std::fill(chan.gst_qriv_vol.begin(), chan.gst_qriv_vol.end(), 0.0);
  run.chan_contam.last = now;
  run.chan_contam.next = run.channel.next;
}
