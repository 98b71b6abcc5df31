// The sediment blocks of the summaries: every class's eroded soil against
// where it went, and the channels' sand and wash load against what the land
// gave and the outlet took, so that the user reads whether each balance
// closes.

#include "output/sediment_summary.h"

#include "channel/channel_state.h"
#include "core/error_state.h"
#include "core/safe_file.h"
#include "quality/quality_state.h"

namespace {

// (in - out) / in in percent, 0 when nothing came in.
double percent_error(double in, double out) { return in > 1e-16 ? (in - out) / in * 100.0 : 0.0; }

// The quantities of one balance of the channel block.
struct channel_sediment_figures {
  double sand_initial = 0.0, sand_to_chan = 0.0, sand_to_lakes = 0.0, sand_outlet = 0.0,
         sand_final = 0.0;
  double wash_initial = 0.0, wash_to_chan = 0.0, wash_to_lakes = 0.0, wash_from_lakes = 0.0,
         wash_outlet = 0.0, wash_final = 0.0;
};

double sand_from_land(const chan_sediment_state& cs) {
  double v = 0.0;
  for (int i = 1; i <= cs.sand; ++i) v += cs.sand_to_chan[std::size_t(i)];
  return v;
}

// The fines of class i that the lakes settled, m3.
double lake_settled_class(const chan_sediment_state& cs, const sediment_state& sed, int i) {
  double v = 0.0;
  for (int m = 1; m <= cs.fine; ++m) {
    if (sed.sed_class[std::size_t(m)] != i) continue;
    for (int k = 1; k <= cs.lakes; ++k) v += cs.lake_settled_total[cs.lake_fin(k, m)];
  }
  return v;
}

// One element of class i summed over the cells in cell order, m3.
double class_on_cells(const sediment_state& sed, int i, int element) {
  const std::size_t per_cell = std::size_t(sed.classes) + 1;
  const int cells = int(sed.vol_sed.size() / per_cell) - 1;
  double v = 0.0;
  for (int c = 1; c <= cells; ++c) v += sed.vol(c, i)[element];
  return v;
}

void print_lakes(std::FILE* f, const chan_sediment_state& cs) {
  double overland_wash = 0.0, settled = 0.0, bank_sand = 0.0;
  for (int k = 1; k <= cs.lakes; ++k) {
    for (int m = 1; m <= cs.fine; ++m) settled += cs.lake_settled_total[cs.lake_fin(k, m)];
    for (int j = 1; j <= cs.classes; ++j) {
      bank_sand += cs.lake_bank_sand[cs.lake_fin(k, j)];
      if (j <= cs.fine) overland_wash += cs.lake_overland_total[cs.lake_fin(k, j)];
    }
  }
  std::fputs("\n", f);
  std::fputs("Lake Summary \n", f);
  std::fprintf(f, "Net wash-load into lakes from overland:                     %10.1lf m3\n",
               overland_wash);
  std::fprintf(f, "Total wash-load settled in lakes:                           %10.1lf m3\n",
               settled);
  std::fprintf(f, "Total sand-load from upstream channel settled in lake bed:  %10.1lf m3\n",
               cs.sand_to_lakes);
  std::fprintf(f, "Total overland sand-load settled in lake boundaries:        %10.1lf m3\n",
               bank_sand);
  std::fputs("\n", f);
  for (int k = 1; k <= cs.lakes; ++k) {
    double to_chan = 0.0, from_chan = 0.0, overland = 0.0, lake_settled = 0.0, bank = 0.0;
    for (int m = 1; m <= cs.fine; ++m) {
      to_chan += cs.SS_vol_lake_to_chan[cs.lake_fin(k, m)];
      from_chan += cs.SS_vol_chan_to_lake[cs.lake_fin(k, m)];
      lake_settled += cs.lake_settled_total[cs.lake_fin(k, m)];
    }
    for (int j = 1; j <= cs.classes; ++j) {
      bank += cs.lake_bank_sand[cs.lake_fin(k, j)];
      if (j <= cs.fine) overland += cs.lake_overland_total[cs.lake_fin(k, j)];
    }
    std::fprintf(f, "Summary for lake %d \n", k);
    std::fputs("\n", f);
    std::fprintf(f, "Total vol of SS from lake to chan           %16.8lf m3 \n", to_chan);
    std::fprintf(f, "Total vol of SS from chan to lake           %16.8lf m3 \n", from_chan);
    std::fprintf(f, "Total net vol of SS from overland to lake   %16.8lf m3 \n", overland);
    std::fprintf(f, "Total vol of SS settled in lake             %16.8lf m3 \n", lake_settled);
    std::fprintf(f, "Total Suspended Sediment in lake            %16.8lf m3 \n",
                 cs.SS_vol_lake[cs.lake_fin(k, 0)]);
    std::fputs("\n", f);
    std::fprintf(f, "Suspended Sediment Concentration              %16.8lf cc/m3\n",
                 cs.SS_conc_vol_lake[cs.lake_fin(k, 0)] * 100.0 * 100.0 * 100.0);
    std::fprintf(f, "Suspended Sediment Concentration              %16.8lf mg/L\n",
                 cs.SS_conc_lake[cs.lake_fin(k, 0)]);
    std::fputs("\n", f);
    std::fprintf(f, "Total sand settled into lake bottom:        %16.8lf m3 \n",
                 cs.lake_depo_vol[cs.lake_snd(k, 0)]);
    std::fprintf(f, "Total sand settled in lake boundary:        %16.8lf m3 \n", bank);
  }
}

}  // namespace

void print_overland_sediment_summary(std::FILE* f, const quality_state& q, bool event) {
  const sediment_state& sed = q.sediment;
  if (!sed.on || sed.mode != 1 || sed.totals.size() < std::size_t(sed.classes) + 1) return;
  const chan_sediment_state& cs = q.chan_sediment;
  const bool channels = cs.on != 0;
  const bool lakes = channels && cs.lakes > 0;
  std::fputs("Overland Sediment Summary\n", f);
  if (event) std::fputs("Quantities are running totals for simulation - NOT EVENT \n", f);
  for (int i = 1; i <= sed.classes; ++i) {
    const sed_class_total& t = sed.totals[std::size_t(i)];
    const long k = i;
    const double eroded = -t.eroded;
    // The erosion's totals are those of its last step; the channels take
    // suspended soil and the lakes lay settled fines on their cells at every
    // step after it, so the cells are summed as they stand now. The fines a
    // lake settles are the land's already among what it sent to the lakes
    // or the channels: the land's own deposits leave them out, so that each
    // cubic metre counts once.
    const double deposited = class_on_cells(sed, i, sed_element::deposited) -
                             (lakes ? lake_settled_class(cs, sed, i) : 0.0);
    const double suspended = class_on_cells(sed, i, sed_element::suspended);
    std::fprintf(f, "Total sediment %ld eroded from surface:        %16.8lf m3\n", k, eroded);
    std::fprintf(f, "Total sediment %ld deposited on surface:       %16.8lf m3\n", k, deposited);
    std::fprintf(f, "Total sediment %ld remaining in suspension:    %16.8lf m3\n", k, suspended);
    double gone = 0.0;
    if (channels) {
      gone = cs.class_to_chan[std::size_t(i)];
      std::fprintf(f, "Total sediment %ld transported into channels:  %16.8lf m3\n", k, gone);
      if (lakes) {
        double to_lakes = 0.0;
        for (int l = 1; l <= cs.lakes; ++l) to_lakes += cs.lake_overland_total[cs.lake_fin(l, i)];
        std::fprintf(f, "Net sediment %ld from overland to lakes:       %16.8lf m3\n", k, to_lakes);
        if (!sed.sand[std::size_t(i)]) gone += to_lakes;
      }
    } else {
      gone = t.routed;
      std::fprintf(f, "Total sediment %ld routed through outlet       %16.8lf m3\n", k, gone);
    }
    // Nothing eroded leaves the error undefined, and it shows so.
    const double error = (eroded - (deposited + suspended + gone)) / eroded * 100.0;
    std::fprintf(f,
                 event ? "Mass balance error for sediment %ld %10.4lf percent \n"
                       : "Mass balance error for sediment %ld %10.4lf \n",
                 k, error);
    if (lakes && !sed.sand[std::size_t(i)]) {
      std::fprintf(f,
                   "NOTE:  Interactions between sediment %ld and lakes in the watershed prevent "
                   "an exact mass balance calculation \n",
                   k);
      std::fputs("       Reported errors are likely accounting errors only \n", f);
    }
    std::fputs("\n", f);
  }
  std::fputs("\n", f);
}

void print_channel_sediment_summary(std::FILE* f, quality_state& q, bool event) {
  chan_sediment_state& cs = q.chan_sediment;
  if (!q.sediment.on || !cs.on) return;
  const bool lakes = cs.lakes > 0;
  channel_sediment_figures now;
  now.sand_initial = cs.sand_initial;
  now.sand_to_chan = sand_from_land(cs);
  now.sand_to_lakes = cs.sand_to_lakes;
  now.sand_outlet = cs.sand_outlet;
  now.sand_final = cs.sand_in_channels();
  now.wash_to_chan = cs.wash_to_chan;
  now.wash_to_lakes = cs.wash_to_lakes;
  now.wash_from_lakes = cs.wash_from_lakes;
  now.wash_outlet = cs.wash_outlet;
  now.wash_final = cs.wash_in_channels();
  channel_sediment_figures shown = now;
  if (event) {
    shown.sand_initial = cs.event_mark_sand_initial;
    shown.sand_to_chan -= cs.event_mark_sand_to_chan;
    shown.sand_to_lakes -= cs.event_mark_sand_to_lakes;
    shown.sand_outlet -= cs.event_mark_sand_outlet;
    shown.wash_initial = cs.event_mark_wash_initial;
    shown.wash_to_chan -= cs.event_mark_wash_to_chan;
    shown.wash_to_lakes -= cs.event_mark_wash_to_lakes;
    shown.wash_from_lakes -= cs.event_mark_wash_from_lakes;
    shown.wash_outlet -= cs.event_mark_wash_outlet;
  }

  std::fputs("Channel sediment routing mass quantities\n", f);
  if (event) std::fputs("Quanties are this Event \n", f);
  for (int j = 1; j <= cs.classes; ++j) {
    const double v =
        cs.class_to_chan[std::size_t(j)] - (event ? cs.event_mark_class[std::size_t(j)] : 0.0);
    if (event)
      std::fprintf(f, "Total sediment %d transported into channels this event: %10.2lf m3\n", j, v);
    else
      std::fprintf(f, "Total sediment %d transported into channels: %16.8lf m3\n", j, v);
  }
  std::fputs("\n", f);
  std::fprintf(f, "Initial volume of sand in channels:        %16.8lf m3\n", shown.sand_initial);
  std::fprintf(f, "Total sand to chan from overland:          %16.8lf m3\n", shown.sand_to_chan);
  if (lakes)
    std::fprintf(f, "Total sand from chan to lakes:             %16.8lf m3\n", shown.sand_to_lakes);
  std::fprintf(f, "Total sand outlet discharge:               %16.8lf m3\n", shown.sand_outlet);
  std::fprintf(f, "Final sand in channels:                    %16.8lf m3\n", shown.sand_final);
  std::fputs("\n", f);
  if (event)
    std::fprintf(f, "Initial wash-load in suspension:           %16.8lf m3\n", shown.wash_initial);
  std::fprintf(f, "Total wash-load to chan from overland:     %16.8lf m3\n", shown.wash_to_chan);
  if (lakes) {
    std::fprintf(f, "Total wash-load from chan to lakes :       %16.8lf m3\n", shown.wash_to_lakes);
    std::fprintf(f, "Total wash-load from lake to chan:         %16.8lf m3\n",
                 shown.wash_from_lakes);
  }
  std::fprintf(f, "Total wash-load outlet discharge:          %16.8lf m3\n", shown.wash_outlet);
  std::fprintf(f, "Final wash-load remaining in suspension:   %16.8lf m3\n", shown.wash_final);

  const double sand_in = shown.sand_to_chan + shown.sand_initial;
  const double sand_out =
      shown.sand_outlet + shown.sand_final + (lakes ? shown.sand_to_lakes : 0.0);
  const double wash_in =
      shown.wash_initial + shown.wash_to_chan + (lakes ? shown.wash_from_lakes : 0.0);
  const double wash_out =
      shown.wash_outlet + shown.wash_final + (lakes ? shown.wash_to_lakes : 0.0);
  const double sand_error = percent_error(sand_in, sand_out);
  const double wash_error = percent_error(wash_in, wash_out);
  const double overall = percent_error(sand_in + wash_in, sand_out + wash_out);
  if (event) {
    std::fprintf(f, "Maximum rate of wash-load discharge: %16.8lf cms\n", cs.event_peak_wash_rate);
    std::fputs("\n Event channel sediment mass-balance:\n", f);
    std::fprintf(f, "Mass conservation error for wash load:     %10.6lf percent\n", wash_error);
    std::fprintf(f, "Mass conservation error for sand load:     %10.6lf percent\n", sand_error);
    std::fprintf(f, "Overall channel sediment mass cons. error: %10.6lf percent\n", overall);
  } else {
    std::fputs("\n Total channel sediment mass-balance:\n", f);
    std::fprintf(f, "Mass conservation error for wash load:     %10.6f percent\n", wash_error);
    std::fprintf(f, "Mass conservation error for sand load:     %10.6lf percent\n", sand_error);
    std::fprintf(f, "Overall channel sediment mass cons. error: %10.6lf percent\n", overall);
  }
  if (lakes) print_lakes(f, cs);
  std::fputs("\n", f);

  if (!event) return;
  // The next event starts where this one ended.
  cs.event_mark_sand_initial = now.sand_final;
  cs.event_mark_sand_to_chan = now.sand_to_chan;
  cs.event_mark_sand_to_lakes = now.sand_to_lakes;
  cs.event_mark_sand_outlet = now.sand_outlet;
  cs.event_mark_wash_initial = now.wash_final;
  cs.event_mark_wash_to_chan = now.wash_to_chan;
  cs.event_mark_wash_to_lakes = now.wash_to_lakes;
  cs.event_mark_wash_from_lakes = now.wash_from_lakes;
  cs.event_mark_wash_outlet = now.wash_outlet;
  for (int j = 0; j <= cs.classes; ++j)
    cs.event_mark_class[std::size_t(j)] = cs.class_to_chan[std::size_t(j)];
  cs.event_peak_wash_rate = 0.0;
}

void write_bed_elevations(const quality_state& q, const channel_state& chan) {
  const chan_sediment_state& cs = q.chan_sediment;
  if (!q.sediment.on || !cs.on) return;
  safe_file file;
  if (!file.open("new_bed_elevations.txt", "w")) {
    raise_message("Can't open the file for printing updated bed elevations: %s\n",
                  "new_bed_elevations.txt");
    return;
  }
  std::FILE* f = file.stream;
  std::fputs(
      "Link Node  New Elev(m) Old ELev (m) struct_flag: 0 no structure, 1 - structure, "
      "2 - lake \n",
      f);
  for (int l = 1; l <= chan.links; ++l) {
    if (chan.ltype[l] & link_bit::lake) {
      std::fprintf(f, "Link %5ld is a lake %5ld  \n", long(l), 2L);
      continue;
    }
    const long flag = (chan.ltype[l] & link_bit::structure) ? 1 : 0;
    for (int k = 1; k <= chan.nx[l]; ++k) {
      const int a = chan.node_address(l, k);
      // Only the erodible links keep a bed of their own from the start.
      const double start = (chan.ltype[l] & link_bit::erodible) ? cs.org_bel[a] : chan.bel[a];
      std::fprintf(f, "%ld %ld %10.3lf %10.3lf %ld \n", long(l), long(k), chan.bel[a], start, flag);
    }
  }
  file.close();
}
