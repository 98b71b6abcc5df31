// Channel sediment in the run: its set-up with the channel network, and its
// part of every channel step, which takes the suspended sediment of the
// stream cells into their nodes, moves sand and fines along the network and
// books what left through the outlet.

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/ex_section.h"
#include "channel/setup_channels.h"
#include "channel/xsec_update.h"
#include "core/error_state.h"
#include "run/model_state.h"
#include "quality/chan_sed_contam.h"
#include "quality/chan_sediment.h"

namespace {

bool stopped() { return error_state.stop_flag != 0; }

// Sediment routing runs in the erodible links only; a network without one
// would carry the land's sediment nowhere.
void refuse_network_without_erodible_links() {
  std::fputs(
      "\nYou have selected overland erosion with channel routing.  The channel\n"
      "input file does not contain any erodable trapezoidal links (linktype 30).\n"
      "You must edit all link types and convert them to erodable trapezoidal\n"
      "links.  At present VALTO only performs sediment routing in erodable\n"
      "trapezoidal channels.  VALTO exiting.\n\n",
      stderr);
  raise_error(own_message_code);
}

// The overland erosion leaves loose sediment only in a cell a channel runs
// through; its parent soil is the channel's bed, which the sand stores keep.
void mark_channel_cells(model_state& state) {
  const channel_state& chan = state.channel;
  sediment_state& sed = state.quality.sediment;
  if (sed.channel_cells.empty()) return;
  for (int i = 1; i <= chan.stream_cells; ++i) {
    for (int k = 1; k <= chan.gst_ncellsingrid[i]; ++k) {
      const int cell = chan.gst_gnum[chan.gst_index(i, k)];
      if (cell > 0 && std::size_t(cell) < sed.channel_cells.size()) sed.channel_cells[cell] = 1;
    }
  }
}

bool open_role(safe_file& file, const std::string& name, const char* mode, const char* role) {
  if (file.open(name.c_str(), mode)) return true;
  set_error(err_open_file, 0, 0, role, name.c_str());
  return false;
}

// IN_SED_LOC lists the nodes whose sediment OUT_SED_LOC and OUT_TSS_LOC
// follow.
void read_sediment_locations(model_state& state) {
  const project_settings& s = state.input.settings;
  chan_sediment_state& cs = state.quality.chan_sediment;
  if (!s.in_sed_loc_given) return;
  safe_file list;
  if (!open_role(list, s.in_sed_loc, "r", "input sed. hydrograph locations")) return;
  if (!read_link_node_list(state, list, cs.locations, cs.loc_link, cs.loc_node)) return;
  if (s.out_sed_loc_given) {
    if (!open_role(cs.loc_file, s.out_sed_loc, "w", "output sed. hydrograph locations")) return;
    // The rows that follow carry no node numbers: the list heads the file.
    std::fprintf(cs.loc_file.stream, "%d\n", cs.locations);
    for (int k = 1; k <= cs.locations; ++k)
      std::fprintf(cs.loc_file.stream, "%4d %4d\n", cs.loc_link[std::size_t(k)],
                   cs.loc_node[std::size_t(k)]);
  }
  if (s.out_tss_loc_given &&
      !open_role(cs.loc_tss_file, s.out_tss_loc, "w", "output sediment tss hydrograph locations"))
    return;
  quality_state& q = state.quality;
  q.sed_locations = cs.locations;
  q.sed_loc_peak.assign(std::size_t(cs.locations) + 1, 0.0);
  q.sed_loc_total.assign(std::size_t(cs.locations) + 1, 0.0);
}

// The suspended sediment of every wet stream cell, shared among its nodes
// by their share of the cell, into the nodes' lateral sediment. False after
// a volume that is not a number (reported).
bool take_lateral_sediment(model_state& state) {
  const channel_state& chan = state.channel;
  sediment_state& sed = state.quality.sediment;
  chan_sediment_state& cs = state.quality.chan_sediment;
  std::fill(cs.qlat_sed.begin(), cs.qlat_sed.end(), 0.0);
  const double* depth = state.surface.depth.data();
  for (int i = 1; i <= chan.stream_cells; ++i) {
    const int n = chan.gst_ncellsingrid[i];
    if (n < 1) continue;
    const int cell = chan.gst_gnum[chan.gst_index(i, 1)];
    if (cell < 1 || depth[cell] < 1e-6) continue;
    for (int j = 1; j <= cs.classes; ++j) {
      double& held = sed.vol(cell, j)[sed_element::suspended];
      const double start = held;  // m3; each node takes its share of this
      double taken = 0.0;
      for (int k = 1; k <= n; ++k) {
        const std::size_t e = chan.gst_index(i, k);
        const int l = chan.gst_link[e];
        const int node = chan.gst_node[e];
        if (l < 1 || l > chan.links || !chan.is_routed(l) || node < 1 || node > chan.nx[l])
          continue;
        const int a = chan.node_address(l, node);
        const double v = chan.gst_pct[e] * start;
        cs.qlat_sed[cs.cls(a, j)] += v;
        if (std::isnan(cs.qlat_sed[cs.cls(a, j)])) {
          raise_message("qlat_sed is not a number, exiting.\n");
          return false;
        }
        cs.qlat_sed[cs.cls(a, 0)] += v;
        cs.qlat_tot_sed[cs.cls(a, j)] += v;
        cs.qlat_tot_sed[cs.cls(a, 0)] += v;
        cs.class_to_chan[std::size_t(j)] += v;
        cs.class_to_chan[0] += v;
        pass_attached_to_node(state, cell, j, a, v);
        taken += v;
      }
      held = start - taken;
    }
  }
  return true;
}

// Per-node sums of every moved slot, for the maps and link/node files.
void sum_node_fluxes(const channel_state& chan, chan_sediment_state& cs) {
  for (int l = 1; l <= chan.links; ++l) {
    for (int k = 1; k <= chan.nx[l]; ++k) {
      const int a = chan.node_address(l, k);
      double sum = 0.0;
      for (int s = 1; s <= cs.classes + 1; ++s) sum += cs.qsmax[cs.flx(a, s)];
      cs.qsmax_total[a] = sum;
    }
  }
}

}  // namespace

void setup_channel_sediment(model_state& state) {
  if (!state.input.chan_sed_routing) return;
  if (!alloc_channel_sediment_arrays(state)) return;
  if (!state.quality.chan_sediment.on) {
    refuse_network_without_erodible_links();
    return;
  }
  mark_channel_cells(state);
  read_sediment_locations(state);
  if (stopped()) return;
}

void channel_sediment_step(model_state& state, double dt) {
  channel_state& chan = state.channel;
  sediment_state& sed = state.quality.sediment;
  chan_sediment_state& cs = state.quality.chan_sediment;
  if (!cs.on) return;
  if (!take_lateral_sediment(state)) return;
  chan_sed_transport(chan, sed, cs, dt);
  chan_suspended_sed_transport(chan, sed, cs, dt);
  sum_node_fluxes(chan, cs);

  std::fill(chan.qp_vol_sed.begin(), chan.qp_vol_sed.end(), 0.0);
  quality_state& q = state.quality;
  const double out = cs.outlet_wash_rate[0] + cs.outlet_sand_rate[0];  // m3/s
  q.event_sed_total += dt * out;
  q.event_sed_peak = std::max(q.event_sed_peak, out);
  cs.peak_wash_rate = std::max(cs.peak_wash_rate, cs.outlet_wash_rate[0]);
  cs.event_peak_wash_rate = std::max(cs.event_peak_wash_rate, cs.outlet_wash_rate[0]);
  for (int i = 1; i <= q.sed_locations; ++i) {
    const int a = chan.node_address(cs.loc_link[std::size_t(i)], cs.loc_node[std::size_t(i)]);
    const double rate = cs.qsmax_total[a];
    q.sed_loc_total[std::size_t(i)] += dt * rate;
    q.sed_loc_peak[std::size_t(i)] = std::max(q.sed_loc_peak[std::size_t(i)], rate);
  }

  for (int k = 1; k <= cs.lakes; ++k) {
    for (int j = 0; j <= cs.classes; ++j) {
      cs.lake_overland_total[cs.lake_fin(k, j)] += cs.sed_vol_overland_to_lake[cs.lake_fin(k, j)];
      cs.sed_vol_overland_to_lake[cs.lake_fin(k, j)] = 0.0;
      cs.SS_vol_lake_to_overland[cs.lake_fin(k, j)] = 0.0;
    }
  }
}

void update_erodible_beds(model_state& state) {
  channel_state& chan = state.channel;
  chan_sediment_state& cs = state.quality.chan_sediment;
  if (!cs.on) return;
  bool sections_drawn = false;
  if (chan.erodible_bp_links > 0) {
    // What each break-point section still owes its store: the sand gained
    // since it was drawn, per metre of channel.
    for (int l = 1; l <= chan.links; ++l) {
      if (chan.bplink[l] <= 0) continue;
      for (int k = 1; k <= chan.nx[l]; ++k) {
        const int a = chan.node_address(l, k);
        const double drawn = chan.ch_sand_vol0[chan.bp_node_index(chan.bplink[l], k)];
        cs.bed_sand[a] = (cs.ch_sand_vol[cs.snd(a, 0)] - drawn) / chan.dx[l];
      }
    }
    const int drawn =
        xsec_update(chan, state.quality.sediment.sed_porosity, cs.min_bel.data(), cs.bed_sand.data());
    if (error_state.stop_flag) return;
    sections_drawn = drawn > 0;
    for (int l = 1; l <= chan.links; ++l) {
      if (chan.bplink[l] <= 0) continue;
      for (int k = 1; k <= chan.nx[l]; ++k) {
        const int a = chan.node_address(l, k);
        chan.ch_sand_vol0[chan.bp_node_index(chan.bplink[l], k)] += cs.bed_sand[a] * chan.dx[l];
        cs.new_bel[a] = chan.bel[a];
      }
    }
  }
  bool changed = false;
  for (int l = 1; l <= chan.links; ++l) {
    const int t = chan.ltype[l];
    if (!(t & link_bit::erodible) || !(t & link_bit::trapezoid)) continue;
    if (t & (link_bit::lake | link_bit::structure | link_bit::overtaken)) continue;
    for (int k = 1; k <= chan.nx[l]; ++k) {
      const int a = chan.node_address(l, k);
      if (chan.bel[a] != cs.new_bel[a]) changed = true;
      chan.bel[a] = cs.new_bel[a];
      chan.yp[a] = chan.chan_depth[a] + chan.bel[a];
    }
  }
  // A redrawn section keeps the water it held: its depth and stage follow
  // from its area.
  if (sections_drawn) ex_section(chan, section_mode::from_area);
  if (error_state.stop_flag) return;
  if (changed || sections_drawn) ex_section(chan, section_mode::from_stage);
}
