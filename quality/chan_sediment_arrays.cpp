// Set-up of channel sediment: the node and lake arrays, the bed material
// each erodible node starts with, the channel cells of the overland erosion
// (a channel cell gives up only loose sediment) and the sediment locations
// with their series.

#include <cmath>

#include "core/error_state.h"
#include "run/model_state.h"
#include "input/read_grid_inputs.h"
#include "quality/chan_sediment.h"

namespace {

// The class table holds at most this many sand classes (a work row of the
// sand routine is on the stack).
constexpr int max_sand_classes = 64;

bool erodible_section(int t) {
  return (t & link_bit::erodible) && (t & (link_bit::trapezoid | link_bit::breakpoint));
}

// Bed material of node a of erodible link l, m3.
double initial_sand(const channel_state& chan, int l, int a, double porosity, double cell) {
  const int t = chan.ltype[l];
  if (t & link_bit::trapezoid) return (1.0 - porosity) * chan.max_eros[a] * chan.bottom[a] * cell;
  // The box of the section's top width and its height plus the erodible
  // layer, less the channel: the bank and bed material the node can give.
  const int tb = chan.table_num[a];
  const int top = chan.numhts[std::size_t(tb)];
  const double h = chan.ht_spc[std::size_t(tb)];
  const double width = std::fabs(chan.xtw[chan.bp_index(top, tb)]);  // m
  const double v =
      (width * (top * h + chan.max_eros[a]) - chan.xarea[chan.bp_index(top, tb)]) * chan.dx[l];
  return (1.0 - porosity) * v;
}

bool size_arrays(chan_sediment_state& cs, std::size_t nodes) {
  const std::size_t N = std::size_t(cs.classes) + 1;
  const std::size_t F = std::size_t(cs.fine) + 1;
  const std::size_t S = std::size_t(cs.sand) + 2;
  const std::size_t lakes = std::size_t(cs.lakes) + 1;
  return allocate_zeroed(cs.new_bel, nodes, "new_bel") &&
         allocate_zeroed(cs.org_bel, nodes, "org_bel") &&
         allocate_zeroed(cs.sand_init, nodes, "sand_init") &&
         allocate_zeroed(cs.ch_wash_vol, nodes * F, "ch_wash_vol") &&
         allocate_zeroed(cs.ch_sand_vol, nodes * S, "ch_sand_vol") &&
         allocate_zeroed(cs.qlat_sed, nodes * N, "qlat_sed") &&
         allocate_zeroed(cs.qlat_tot_sed, nodes * N, "qlat_tot_sed") &&
         allocate_zeroed(cs.SS_node_conc_vol, nodes * F, "SS_node_conc_vol") &&
         allocate_zeroed(cs.chan_sed_conc, nodes * N, "chan_sed_conc") &&
         allocate_zeroed(cs.qsmax, nodes * (N + 1), "qsmax") &&
         allocate_zeroed(cs.qsmax_total, nodes, "qsmax_total") &&
         allocate_zeroed(cs.outlet_wash_rate, F, "outlet_wash_rate") &&
         allocate_zeroed(cs.outlet_sand_rate, S, "outlet_sand_rate") &&
         allocate_zeroed(cs.sand_to_chan, S, "sand_to_chan") &&
         allocate_zeroed(cs.class_to_chan, N, "class_to_chan") &&
         allocate_zeroed(cs.event_mark_class, N, "event_mark_class") &&
         allocate_zeroed(cs.rate, nodes, "rate") &&
         allocate_zeroed(cs.advect_flux, nodes * F, "advect_flux") &&
         allocate_zeroed(cs.temp_conc, nodes * F, "temp_conc") &&
         allocate_zeroed(cs.temp_flux, nodes * F, "temp_flux") &&
         allocate_zeroed(cs.temp_mass, nodes * F, "temp_mass") &&
         allocate_zeroed(cs.linknode_sum, nodes, "linknode_sum") &&
         allocate_zeroed(cs.bed_sand, nodes, "bed_sand") &&
         allocate_zeroed(cs.min_bel, nodes, "min_bel") &&
         allocate_zeroed(cs.lake_depo_vol, lakes * S, "lake_depo_vol") &&
         allocate_zeroed(cs.SS_vol_lake, lakes * N, "SS_vol_lake") &&
         allocate_zeroed(cs.SS_conc_vol_lake, lakes * N, "SS_conc_vol_lake") &&
         allocate_zeroed(cs.SS_conc_lake, lakes * N, "SS_conc_lake") &&
         allocate_zeroed(cs.SS_vol_lake_settled, lakes * N, "SS_vol_lake_settled") &&
         allocate_zeroed(cs.SS_vol_chan_to_lake, lakes * N, "SS_vol_chan_to_lake") &&
         allocate_zeroed(cs.SS_vol_lake_to_chan, lakes * N, "SS_vol_lake_to_chan") &&
         allocate_zeroed(cs.SS_vol_lake_to_overland, lakes * N, "SS_vol_lake_to_overland") &&
         allocate_zeroed(cs.sed_vol_overland_to_lake, lakes * N, "sed_vol_overland_to_lake") &&
         allocate_zeroed(cs.lake_settled_total, lakes * N, "lake_settled_total") &&
         allocate_zeroed(cs.lake_overland_total, lakes * N, "lake_overland_total") &&
         allocate_zeroed(cs.lake_bank_sand, lakes * N, "lake_bank_sand") &&
         allocate_zeroed(cs.num_lake_cells, lakes, "num_lake_cells");
}

}  // namespace

bool alloc_channel_sediment_arrays(model_state& state) {
  channel_state& chan = state.channel;
  const sediment_state& sed = state.quality.sediment;
  chan_sediment_state& cs = state.quality.chan_sediment;
  if (!state.input.chan_sed_routing || !sed.on || sed.mode != 1) return true;
  bool erodible = false;
  for (int l = 1; l <= chan.links; ++l) erodible = erodible || erodible_section(chan.ltype[l]);
  if (!erodible) return true;
  if (sed.sand_count > max_sand_classes) {
    raise_message(
        "Error: the sediments table has %d sand classes; the channels carry at most "
        "%d.\n",
        sed.sand_count, max_sand_classes);
    return false;
  }
  cs.on = 1;
  cs.classes = sed.classes;
  cs.fine = sed.fine_count;
  cs.sand = sed.sand_count;
  cs.stride = chan.stride();
  cs.lakes = chan.channel_lakes ? chan.lake_count : 0;
  if (!size_arrays(cs, chan.node_slots())) return false;

  const double p = sed.sed_porosity;
  for (int l = 1; l <= chan.links; ++l) {
    const int t = chan.ltype[l];
    if (!(t & link_bit::erodible)) continue;
    for (int k = 1; k <= chan.nx[l]; ++k) {
      const int a = chan.node_address(l, k);
      cs.new_bel[a] = cs.org_bel[a] = chan.bel[a];
      cs.min_bel[a] = chan.bel[a] - chan.max_eros[a];
      if (!erodible_section(t)) continue;
      const double v = initial_sand(chan, l, a, p, state.grid.dx);
      cs.ch_sand_vol[cs.snd(a, cs.sand + 1)] = v;
      cs.ch_sand_vol[cs.snd(a, 0)] = v;
      cs.sand_init[a] = v;
      // The sand the break-point section as drawn stands for.
      if ((t & link_bit::breakpoint) && chan.bplink[l] > 0)
        chan.ch_sand_vol0[chan.bp_node_index(chan.bplink[l], k)] = v;
      cs.sand_initial += v;
    }
  }
  cs.event_mark_sand_initial = cs.sand_initial;
  return true;
}
