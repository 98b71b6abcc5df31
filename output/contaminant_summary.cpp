// The constituent balances of the summaries. The steps book every amount
// once into the run and event totals; here the final masses are read from
// the state and each balance is closed against them.

#include "output/contaminant_summary.h"

#include <cmath>
#include <string>

#include "run/model_state.h"
#include "output/event_summary.h"
#include "quality/chan_sed_contam.h"
#include "quality/channel_contam.h"
#include "quality/contam_steps.h"
#include "quality/nsm_model.h"

namespace {

// A balance that closes to the rounding of its sums reads 0, not -0.0000.
double percent_error(double in, double out, double smallest) {
  const double error = in > smallest ? (in - out) / in * 100.0 : 0.0;
  return std::fabs(error) < 1e-10 ? 0.0 : error;
}

// A balance row of the event summary: dots to column 50, the value's point
// at column 66.
void row(std::FILE* f, const char* label, double value, int extra = 0,
         const char* format = "%14.2lf") {
  print_summary_line(f, label, value, 50, format, '.', 14, extra);
}

// A nutrient entry's name: its water form for a species, its soil pool's
// for the soil summary and the soil-only entries.
std::string nutrient_name(const model_state& state, int k, bool soil) {
  const contaminant_model& m = state.quality.contam;
  char name[40] = "";
  nsm_species_long_name(name, k - m.first_nutrient, soil);
  return name;
}

int type_of(const contaminant_model& m, int k) { return m.c.constituent_type[std::size_t(k)]; }

// The attached-mass totals of constituent k for the run or the event, none
// when the channel fines carry no constituents.
const chan_sed_contam_totals* attached_totals(const model_state& state, int k, bool run) {
  const chan_sed_contam_state& s = state.quality.chan_sed_contam;
  if (!s.on || k > s.constituents) return nullptr;
  return run ? &s.run[std::size_t(k)] : &s.event[std::size_t(k)];
}

const char* static_note =
    "When using static soil concentrations, mass balance errors represent implied additions to "
    "soil top layer \n";

void run_soil_summary(std::FILE* f, const model_state& state) {
  const contaminant_model& m = state.quality.contam;
  const bool exfil = state.input.water_table != 0;
  std::fputs("Soil Contaminant Transport Summary \n \n", f);
  for (int k = 1; k <= m.c.constituents; ++k) {
    const constituent_totals& r = m.run[std::size_t(k)];
    const double final_mass = constituent_soil_mass(state, k);
    const double sed = r.soil_sed_mass;
    const double in = r.soil_mass_init + r.soil_infil_mass + r.soil_gw_mass_in +
                      (sed > 0.0 ? sed : 0.0);
    const double out = final_mass + r.soil_mass_leached + (exfil ? r.soil_exfil_mass : 0.0) +
                       r.soil_exchange_mass + r.soil_mass_decay + (sed < 0.0 ? -sed : 0.0);
    std::fputs("\n \n", f);
    const bool nutrient = type_of(m, k) != 1;
    const std::string name = nutrient ? nutrient_name(state, k, true) : m.name[std::size_t(k)];
    std::fprintf(f, "Soil Constituent Transport Summary for %s \n", name.c_str());
    std::fputs("\n", f);
    std::fprintf(f, "Initial Mass in Soil Column   %14.2lf \n", r.soil_mass_init);
    std::fprintf(f, "Final Mass in Soil Column     %14.2lf \n \n", final_mass);
    std::fprintf(f, "Mass added by infiltration    %14.2lf \n", r.soil_infil_mass);
    std::fprintf(f, "Mass seepage up from GW       %14.2lf \n \n", r.soil_gw_mass_in);
    if (nutrient) {
      std::fprintf(f, "Uptake from soil (NSM)        %14.2lf \n", r.soil_exchange_mass);
      std::fprintf(f, "NSM decay mass               %14.2lf \n", r.soil_mass_decay);
    } else {
      std::fprintf(f, "Uptake from soil              %14.2lf \n", r.soil_exchange_mass);
      std::fprintf(f, "Soil decay mass               %14.2lf \n", r.soil_mass_decay);
    }
    if (exfil) std::fprintf(f, "Exfiltration mass loss        %14.2lf \n", r.soil_exfil_mass);
    std::fprintf(f, "Mass seepage down to GW       %14.2lf \n \n", r.soil_mass_leached);
    if (m.sed.on) std::fprintf(f, "Sediment eroded(-)/deposited  %14.2lf \n \n", sed);
    std::fprintf(f, "Soil mass balance error       %14.4lf \n", percent_error(in, out, 1e-6));
    if (state.input.settings.soil_static_conc) std::fputs(static_note, f);
    std::fputs("\n", f);
  }
}

void run_overland_summary(std::FILE* f, const model_state& state) {
  const contaminant_model& m = state.quality.contam;
  const bool soil = m.soil_transport != 0;
  const bool channels = state.input.explicit_channel != 0;
  const bool exfil = state.input.water_table != 0;
  std::fputs("\n\n *************   Overland Transport Summaries   **************** \n\n", f);
  for (int k = 1; k <= m.c.constituents; ++k) {
    const std::size_t kk = std::size_t(k);
    if (m.c.constituent_type[kk] == 3) continue;
    const constituent_totals& r = m.run[kk];
    const double final_mass = constituent_surface_mass(state, k);
    const double uptake = r.ov_uptake_mass;
    const bool nutrient = m.c.constituent_type[kk] == 2;
    const double nsm_gain = nutrient ? r.ov_nsm_gain : 0.0;
    const double nsm_loss = nutrient ? r.ov_nsm_loss : 0.0;
    const double sed = r.ov_sed_source;
    const double in = r.ov_mass_init + r.ov_precip_mass + (uptake > 0.0 ? uptake : 0.0) +
                      r.ov_neg_mass + nsm_gain + (sed > 0.0 ? sed : 0.0) + r.ov_exfil_mass;
    const double out = final_mass + r.ov_infil_mass + (channels ? r.ov_qlat_mass : r.ov_mass_out) +
                       r.ov_mass_decay + (uptake < 0.0 ? -uptake : 0.0) + nsm_loss +
                       (sed < 0.0 ? -sed : 0.0) + r.ov_lake_mass;
    std::fputs("\n\n", f);
    if (nutrient) {
      std::fprintf(f, "Overland Constituent Transport Summary for %s \n",
                   nutrient_name(state, k, false).c_str());
    } else {
      std::fprintf(f, "Overland Constituent Transport Summary for Constituent %5d (%s)\n", k,
                   m.name[kk].c_str());
    }
    std::fputs("Amounts are total for simulations in (Kg) \n \n", f);
    std::fprintf(f, "Initial Dissolved mass on ov  %14.2lf \n", r.ov_mass_init);
    std::fprintf(f, "Final Dissolved mass on ov    %14.2lf \n", final_mass);
    std::fputs("\n", f);
    if (!soil) {
      std::fprintf(f, "Initial undissolved mass      %14.2lf \n", r.ov_land_mass_init);
      std::fprintf(f, "Final undissolved mass        %14.2lf \n", constituent_land_mass(state, k));
      std::fputs("\n", f);
    }
    std::fprintf(f, "Point source mass gain        %14.2lf \n", 0.0);
    if (exfil) std::fprintf(f, "Exfiltration mass gain        %14.2lf \n", r.ov_exfil_mass);
    std::fprintf(f, "Precipitation mass gain       %14.2lf \n", r.ov_precip_mass);
    std::fprintf(f, "Uptake from soil              %14.2lf \n", uptake);
    if (m.sed.on) std::fprintf(f, "Sediment source               %14.2lf \n", sed);
    std::fputs("\n", f);
    std::fprintf(f, "Mass loss to infiltration     %14.2lf \n", r.ov_infil_mass);
    if (channels) std::fprintf(f, "Mass loss to stream           %14.2lf \n", r.ov_qlat_mass);
    std::fprintf(f, "Outlet mass flux              %14.2lf \n", r.ov_mass_out);
    if (nutrient) {
      std::fprintf(f, "Mass gained from NSM kinetics   %14.4lf \n", nsm_gain);
      std::fprintf(f, "Mass lost to NSM kinetics       %14.4lf \n", nsm_loss);
    } else {
      std::fprintf(f, "Mass decay loss on overland   %14.2lf \n", r.ov_mass_decay);
    }
    if (state.channel.channel_lakes)
      std::fprintf(f, "Lateral flow to lake          %14.2lf \n", r.ov_lake_mass);
    std::fputs("\n", f);
    if (m.sed.on) {
      std::fprintf(f, "Attached to susp sediments    %14.2lf \n", constituent_attached_mass(state, k));
      if (channels)
        std::fprintf(f, "Attached entering streams     %14.2lf \n", r.ov_sed_to_chan);
      else
        std::fprintf(f, "Attached exiting watershed    %14.2lf \n", r.ov_sed_out);
      if (state.channel.channel_lakes)
        std::fprintf(f, "Attached entering lakes       %14.2lf \n", r.ov_sed_to_lake);
    }
    std::fputs("\n", f);
    std::fprintf(f, "Contam mass balance error       %14.4lf percent \n",
                 percent_error(in, out, 1e-16));
  }
}

void run_channel_summary(std::FILE* f, const model_state& state) {
  const contaminant_model& m = state.quality.contam;
  const chan_contam_state& w = state.quality.chan_contam;
  const bool lakes = state.channel.channel_lakes != 0;
  const bool aquifer = state.input.stream_loss != 0;
  std::fputs("\n\n *************   Channel Transport Summaries   **************** \n\n", f);
  for (int k = 1; k <= w.constituents; ++k) {
    const std::size_t kk = std::size_t(k);
    if (m.c.constituent_type[kk] == 3) continue;
    const chan_contam_totals& r = w.run[kk];
    const double final_mass = channel_contam_mass(state, k);
    const int type = type_of(m, k);
    const double in = r.point + r.chan_init + r.lateral + r.groundwater +
                      (lakes ? r.lake_outflow : 0.0) + (r.sed_exchange > 0.0 ? r.sed_exchange : 0.0) +
                      r.nsm_gain;
    const double out = r.outlet + final_mass + (lakes ? r.lake_inflow + r.lake_exchange : 0.0) +
                       r.decay + (r.sed_exchange < 0.0 ? -r.sed_exchange : 0.0) - r.nsm_loss;
    std::fputs("\n \n", f);
    if (type == 1) {
      std::fprintf(f, "Channel Contaminant Transport Summary for Contaminant %5d \n", k);
    } else {
      std::fprintf(f, "Channel Contaminant Transport Summary for %s \n",
                   nutrient_name(state, k, false).c_str());
    }
    std::fputs("Amounts are total for simulations in (Kg) \n \n", f);
    std::fputs("Dissolved\n", f);
    std::fprintf(f, "Initial Mass in Channels      %14.2lf \n", r.chan_init);
    std::fprintf(f, "Final Mass in Channels        %14.2lf \n \n", final_mass);
    std::fprintf(f, "Mass gain from overland       %14.2lf \n", r.lateral);
    std::fprintf(f, "Point source mass gain        %14.2lf \n", r.point);
    if (lakes) std::fprintf(f, "Flux from lake                %14.2lf \n", r.lake_outflow);
    if (aquifer) std::fprintf(f, "Groundwater mass gain/loss    %14.2lf \n \n", r.groundwater);
    std::fprintf(f, "Outlet mass flux              %14.2lf \n", r.outlet);
    std::fprintf(f, "Mass decay loss               %14.2lf \n", r.decay);
    if (type == 2) {
      std::fprintf(f, "Mass gained from NSM kinetics   %14.6lf \n", r.nsm_gain);
      std::fprintf(f, "Mass lost to NSM kinetics       %14.6lf \n", r.nsm_loss);
    }
    if (lakes) {
      std::fprintf(f, "Flux to lake                  %14.2lf \n", r.lake_inflow);
      std::fprintf(f, "Exchange with lake            %14.2lf \n", r.lake_exchange);
    }
    if (state.input.settings.sediment_contam)
      std::fprintf(f, "Exchange with sediment        %14.2lf \n", r.sed_exchange);
    std::fputs("\n", f);
    std::fprintf(f, "Dissolved mass balance error       %14.4lf percent \n",
                 percent_error(in, out, 1e-16));
    std::fputs("\n", f);
    std::fputs("Attached\n", f);
    if (state.input.settings.sediment_contam) {
      const chan_sed_contam_totals* a = attached_totals(state, k, true);
      std::fprintf(f, "Lateral flow into channels    %14.2lf \n", a ? a->lateral : 0.0);
      std::fprintf(f, "Final suspended               %14.2lf \n", channel_attached_mass(state, k));
      std::fprintf(f, "Exchange with dissolved       %14.2lf \n", -r.sed_exchange);
      std::fprintf(f, "Exiting outlet                %14.2lf \n", a ? a->outlet : 0.0);
      if (lakes) std::fprintf(f, "Entering lakes                %14.2lf \n", a ? a->chan_lake : 0.0);
    }
    std::fputs("\n", f);
  }
  if (!lakes) return;
  for (int k = 1; k <= w.constituents; ++k) {
    const std::size_t kk = std::size_t(k);
    if (m.c.constituent_type[kk] == 3) continue;
    const chan_contam_totals& r = w.run[kk];
    const double final_mass = lake_contam_mass(state, k);
    // The lakes' fines give the water its share (or take it, negative).
    const chan_sed_contam_totals* a = attached_totals(state, k, true);
    const double release = a ? a->lake_release : 0.0;
    const double in = r.lake_inflow + r.lake_init + r.lake_point + r.lake_overland +
                      r.lake_precip + r.lake_exchange + r.lake_groundwater +
                      (release > 0.0 ? release : 0.0);
    const double out = r.lake_outflow + final_mass + r.lake_decay + (release < 0.0 ? -release : 0.0);
    std::fputs("\n \n", f);
    std::fprintf(f, "Lake Contaminant Transport Summary for Constituent %5d \n", k);
    std::fputs("Amounts are total for simulations in (Kg) \n \n", f);
    std::fprintf(f, "Initial Mass in Lakes         %14.2lf \n", r.lake_init);
    std::fprintf(f, "Final Mass in Lakes           %14.2lf \n \n", final_mass);
    std::fprintf(f, "Mass gain from overland       %14.2lf \n", r.lake_overland);
    std::fprintf(f, "Mass channel trib inflow      %14.2lf \n", r.lake_inflow);
    std::fprintf(f, "Mass lake outlet flow         %14.2lf \n", r.lake_outflow);
    std::fprintf(f, "Lake chan exchange mass       %14.2lf \n", r.lake_exchange);
    std::fprintf(f, "Point source mass gain        %14.2lf \n", r.lake_point);
    std::fprintf(f, "Groundwater mass gain/loss    %14.2lf \n \n", r.lake_groundwater);
    std::fprintf(f, "Precip mass flux              %14.2lf \n", r.lake_precip);
    std::fprintf(f, "Mass decay loss               %14.2lf \n \n", r.lake_decay);
    if (a) std::fprintf(f, "Exchange with attached        %14.2lf \n \n", release);
    std::fprintf(f, "Contam mass balance error       %14.4lf percent \n \n",
                 in > 0.0 ? percent_error(in, out, 0.0) : 0.0);
    if (a) {
      const double settled = lake_settled_attached_mass(state, k);
      std::fputs("Attached\n", f);
      std::fprintf(f, "Overland inflow               %14.2lf \n", a->ov_lake);
      std::fprintf(f, "Channel inflow                %14.2lf \n", a->chan_lake);
      std::fprintf(f, "Exchange with dissolved       %14.2lf \n", -release);
      std::fprintf(f, "Settled with the fines        %14.2lf \n", settled);
      std::fprintf(f, "Final suspended               %14.2lf \n \n",
                   lake_attached_mass(state, k) - settled);
    }
    for (int l = 1; l <= state.channel.lake_count; ++l) {
      const std::size_t ll = std::size_t(l);
      std::fprintf(f, "Final Mass in lake %ld = %14.2lf \n", long(l), w.lake_mass[kk][ll] / 1000.0);
      std::fprintf(f, "Final Conc in lake %ld = %14.2lf \n \n", long(l), w.lake_conc[kk][ll]);
    }
  }
}

void run_global_summary(std::FILE* f, const model_state& state) {
  const contaminant_model& m = state.quality.contam;
  const bool soil = m.soil_transport != 0;
  std::fputs("\n\n *************   Global Transport Summaries   **************** \n\n", f);
  double nsm_net = 0.0;
  for (int k = 1; k <= m.c.constituents; ++k) {
    const constituent_totals& r = m.run[std::size_t(k)];
    // What is held at the end: the surface water, and the soil layers or
    // the land surface the dissolved mass dries onto.
    // Also what the suspended sediment holds, what is on its way between the
    // soil layers and the surface and, with the channel constituents, the
    // channels and lakes and what the cells gave the nodes but the channels
    // have not taken yet.
    const double held = constituent_surface_mass(state, k) +
                        (soil ? constituent_soil_mass(state, k) : constituent_land_mass(state, k)) +
                        constituent_attached_mass(state, k) + constituent_in_transit(state, k) +
                        channel_contam_mass(state, k) + lake_contam_mass(state, k) +
                        channel_pending_mass(state, k) + channel_attached_mass(state, k) +
                        lake_attached_mass(state, k) + channel_attached_pending(state, k);
    const double gw = r.global_gw_mass;
    // Without soil layers the infiltrated mass leaves the system.
    const double out_of_system = r.global_mass_out + (soil ? 0.0 : r.ov_infil_mass);
    const double in = r.global_mass_init + r.global_point_source + r.global_precip +
                      (gw > 0.0 ? gw : 0.0) + (soil ? r.soil_gw_mass_in : 0.0) + r.ov_neg_mass;
    const double out = held + out_of_system + r.global_mass_decay + (gw < 0.0 ? -gw : 0.0);
    std::fputs("\n \n", f);
    const int type = type_of(m, k);
    if (type == 1) {
      std::fprintf(f, "Contaminant Transport Global Summary for Contaminant %5d \n", k);
    } else {
      std::fprintf(f, "Contaminant Transport Global Summary for %s \n",
                   nutrient_name(state, k, type == 3).c_str());
    }
    std::fputs("Amounts are total for simulations in (Kg) \n \n", f);
    std::fprintf(f, "Total initial mass            %14.2lf \n", r.global_mass_init);
    std::fprintf(f, "Total final Mass              %14.2lf \n \n", held);
    std::fprintf(f, "Point source inputs           %14.2lf\n", r.global_point_source);
    std::fprintf(f, "Precipitation inputs          %14.2lf \n", r.global_precip);
    std::fprintf(f, "Flux from GW to streams       %14.2lf \n", gw);
    if (soil) std::fprintf(f, "Soil mass in from groundwater %14.2lf \n \n", r.soil_gw_mass_in);
    std::fprintf(f, "Total mass out of system      %14.2lf \n \n", out_of_system);
    if (type == 1) std::fprintf(f, "Mass decay loss               %14.2lf \n", r.global_mass_decay);
    if (type == 2) {
      nsm_net += r.ov_nsm_gain - r.ov_nsm_loss;
      std::fprintf(f, "NSM gain/loss                 %14.2lf \n", nsm_net);
    }
    std::fputs("\n", f);
    std::fprintf(f, "Contam mass balance error       %14.4lf percent \n",
                 percent_error(in, out, 0.0));
  }
}

}  // namespace

void print_contaminant_run_summary(std::FILE* f, const model_state& state) {
  if (!state.quality.contam.on) return;
  if (state.quality.contam.soil_transport) run_soil_summary(f, state);
  run_overland_summary(f, state);
  if (state.quality.chan_contam.on) run_channel_summary(f, state);
  run_global_summary(f, state);
  if (state.quality.nsm) {
    std::fputs("NSM dm/dt Summary\n", f);
    std::fprintf(f, "  Total dm/dt in:  %14.4lf\n", state.quality.nsm->dmdt_in);
    std::fprintf(f, "  Total dm/dt out: %14.4lf\n\n", state.quality.nsm->dmdt_out);
  }
}

void print_contaminant_event_summary(std::FILE* f, const model_state& state) {
  const contaminant_model& m = state.quality.contam;
  if (!m.on) return;
  const bool soil = m.soil_transport != 0;
  const bool groundwater = state.input.gw_simulation != 0;
  const bool channels = state.input.explicit_channel != 0;
  for (int k = 1; soil && k <= m.c.constituents; ++k) {
    const constituent_event_totals& e = m.event[std::size_t(k)];
    const double final_mass = constituent_soil_mass(state, k);
    const double sed = e.soil_sed_mass;
    const double in = e.soil_mass_init + e.soil_infil_mass + e.soil_gw_mass_in + e.soil_uptake_mass +
                      (sed > 0.0 ? sed : 0.0);
    const double out = final_mass + e.soil_leached_mass + e.soil_release_mass + e.soil_decay_mass +
                       (groundwater ? e.soil_exfil_mass : 0.0) + (sed < 0.0 ? -sed : 0.0);
    std::fputs("\n\n", f);
    std::fprintf(f, "Soil Contaminant Transport Summary for %s \n", m.name[std::size_t(k)].c_str());
    std::fputs("\n", f);
    row(f, "Initial Mass in Soil Column", e.soil_mass_init);
    row(f, "Final Mass in Soil Column", final_mass, 1);
    row(f, "Mass added by infiltration", e.soil_infil_mass, 1);
    if (groundwater) row(f, "Exfiltration mass loss", e.soil_exfil_mass);
    row(f, "Mass seepage to water table", e.soil_leached_mass);
    if (groundwater) row(f, "Mass seepage from water table", e.soil_gw_mass_in);
    if (type_of(m, k) == 1) {
      row(f, "Soil decay mass", e.soil_decay_mass);
      row(f, "Surface water exchange from soil", e.soil_release_mass);
      row(f, "Surface water exchange to soil", e.soil_uptake_mass);
    } else {
      row(f, "NSM surface water exchange from soil", e.soil_release_mass);
      row(f, "NSM surface water exchange to soil", e.soil_uptake_mass);
    }
    if (m.sed.on) row(f, "Sediment eroded(-)/deposited(+)", sed);
    std::fputs("\n", f);
    row(f, "Soil mass balance error", percent_error(in, out, 1e-6), 0, "%14.4lf");
    if (state.input.settings.soil_static_conc) std::fputs(static_note, f);
  }
  for (int k = 1; k <= m.c.constituents; ++k) {
    const std::size_t kk = std::size_t(k);
    if (m.c.constituent_type[kk] == 3) continue;
    const constituent_event_totals& e = m.event[kk];
    const double final_mass = constituent_surface_mass(state, k);
    const double uptake = e.ov_uptake_mass;
    const double sed = e.ov_sed_source;
    const double in = e.ov_mass_init + e.ov_precip_mass + (uptake > 0.0 ? uptake : 0.0) +
                      e.ov_neg_mass + (sed > 0.0 ? sed : 0.0) + e.ov_exfil_mass;
    const double out = final_mass + e.ov_infil_mass + e.ov_qlat_mass + e.ov_mass_out +
                       e.ov_decay_mass + (uptake < 0.0 ? -uptake : 0.0) + (sed < 0.0 ? -sed : 0.0) +
                       e.ov_lake_mass;
    std::fputs("\n \n", f);
    std::fprintf(f, "Overland Contaminant Transport Summary for %s \n", m.name[kk].c_str());
    std::fputs("Amounts are total mass for event in (Kg) \n \n", f);
    row(f, "Initial Dissolved Mass on Overland", e.ov_mass_init);
    row(f, "Final Dissolved Mass on Overland", final_mass);
    if (m.sed.on) {
      const double attached = constituent_attached_mass(state, k);
      row(f, "Final attached to susp seds", attached);
      row(f, "Final total (attached+dissolved)", attached + final_mass);
    }
    if (!soil) {
      row(f, "Initial undissolved mass", e.ov_land_init);
      row(f, "Final undissolved mass", constituent_land_mass(state, k));
    }
    row(f, "Point source mass gain", 0.0);
    if (groundwater) row(f, "Exfiltration gain", e.ov_exfil_mass);
    row(f, "Precipitation gain", e.ov_precip_mass);
    const bool nutrient = m.c.constituent_type[kk] != 1;
    if (nutrient) {
      row(f, "Uptake from soil (NSM)", uptake);
      row(f, "Gained from NSM kinetics", 0.0, 0, "%14.4lf");
    } else if (soil) {
      row(f, "Uptake from soil", uptake);
    }
    row(f, "Infiltration", e.ov_infil_mass);
    if (channels) row(f, "Lateral flow to streams", e.ov_qlat_mass);
    row(f, "Outlet flux", e.ov_mass_out);
    if (nutrient) {
      row(f, "Loss to NSM kinetics", 0.0, 0, "%14.4lf");
    } else {
      row(f, "Decay loss", e.ov_decay_mass);
    }
    if (state.channel.channel_lakes) row(f, "Flux to lake", e.ov_lake_mass);
    row(f, "Negative mass", e.ov_neg_mass);
    if (m.sed.on) {
      row(f, "Sediment source", sed);
      if (channels) row(f, "Attached entering channels", e.ov_sed_to_chan);
      row(f, "Attached exiting outlet", e.ov_sed_out);
      if (state.channel.channel_lakes) row(f, "Attached entering lakes", e.ov_sed_to_lake);
    }
    row(f, "Dissolved mass balance error", percent_error(in, out, 1e-16), 0, "%14.4lf");
  }

  if (!state.quality.chan_contam.on) return;
  const chan_contam_state& w = state.quality.chan_contam;
  const bool lakes = state.channel.channel_lakes != 0;
  const bool aquifer = state.input.stream_loss != 0;
  for (int k = 1; k <= w.constituents; ++k) {
    const std::size_t kk = std::size_t(k);
    if (m.c.constituent_type[kk] == 3) continue;
    const chan_contam_totals& e = w.event[kk];
    const double final_mass = channel_contam_mass(state, k);
    const double in = e.point + w.event_chan_init[kk] + e.lateral + e.groundwater +
                      (lakes ? e.lake_outflow : 0.0) + (e.sed_exchange > 0.0 ? e.sed_exchange : 0.0) +
                      e.nsm_gain;
    const double out = e.outlet + final_mass + (lakes ? e.lake_inflow + e.lake_exchange : 0.0) +
                       e.decay + (e.sed_exchange < 0.0 ? -e.sed_exchange : 0.0) - e.nsm_loss;
    std::fputs("\n \n", f);
    std::fprintf(f, "Channel Contaminant Transport Summary for %s \n", m.name[kk].c_str());
    std::fputs("Amounts are total for event in (Kg) \n \n", f);
    std::fputs("Dissolved State Mass Balance... \n \n", f);
    row(f, "Initial Dissolved Mass in Channels", w.event_chan_init[kk]);
    row(f, "Final Dissolved Mass in Channels", final_mass, 1);
    row(f, "Mass gain from overland", e.lateral);
    row(f, "Point source mass gain", e.point);
    const int type = type_of(m, k);
    if (type == 2) row(f, "Mass gained in NSM kinetics", e.nsm_gain, 1, "%14.4lf");
    if (lakes) {
      row(f, "Flow from lake to channel", e.lake_outflow);
      row(f, "Exchange with lakes (-)", e.lake_exchange);
    }
    if (aquifer) row(f, "Groundwater net mass gain(+)/loss(-)", e.groundwater);
    const bool attached = state.input.settings.sediment_contam != 0;
    if (attached) row(f, "Exhange with sediments", e.sed_exchange);
    if (lakes) row(f, "Flows to lake", e.lake_inflow);
    row(f, "Outlet mass flux", e.outlet);
    if (type == 1) row(f, "Mass decay loss", e.decay);
    if (type == 2) row(f, "Mass lost in NSM kinetics", e.nsm_loss, 0, "%14.4lf");
    row(f, "Contam mass balance error", percent_error(in, out, 1e-16), 0, "%14.4lf");
    if (const chan_sed_contam_totals* a = attached ? attached_totals(state, k, false) : nullptr) {
      const double held = channel_attached_mass(state, k);
      // The water and the fines together: their exchange cancels, and what
      // the fines bring, hold and carry away joins the dissolved books.
      const double both_in = in - (e.sed_exchange > 0.0 ? e.sed_exchange : 0.0) + a->initial +
                             a->lateral;
      const double both_out = out - (e.sed_exchange < 0.0 ? -e.sed_exchange : 0.0) + held +
                              a->outlet + (lakes ? a->chan_lake : 0.0);
      std::fputs("Contaminants Attached to Sediment Mass Balance...\n \n", f);
      row(f, "Lateral flow into channels", a->lateral);
      row(f, "Exiting watershed", a->outlet);
      row(f, "Exchange with dissolved", -e.sed_exchange);
      row(f, "Attached to suspended sed", held);
      if (lakes) row(f, "Attached entering lakes", a->chan_lake);
      row(f, "Total (dissolved+attached)", percent_error(both_in, both_out, 1e-16), 0, "%14.4lf");
    }
    if (!lakes) continue;
    const double lake_final = lake_contam_mass(state, k);
    const chan_sed_contam_totals* a = attached ? attached_totals(state, k, false) : nullptr;
    const double release = a ? a->lake_release : 0.0;
    const double lake_in = w.event_lake_init[kk] + e.lake_precip + e.lake_inflow + e.lake_exchange +
                           e.lake_overland + e.lake_point + e.lake_groundwater +
                           (release > 0.0 ? release : 0.0);
    const double lake_out =
        lake_final + e.lake_outflow + e.lake_decay + (release < 0.0 ? -release : 0.0);
    std::fprintf(f, "Lake Contaminant Transport Summary for %s \n", m.name[kk].c_str());
    std::fputs("Amounts are total mass for event (Kg) \n \n", f);
    std::fputs("Dissolved State Mass Balance...\n", f);
    row(f, "Initial Dissolved in Lakes", w.event_lake_init[kk]);
    row(f, "Final Dissolved in Lakes", lake_final);
    row(f, "Precip", e.lake_precip);
    row(f, "Inflow", e.lake_inflow);
    row(f, "Lake/chan exchange", e.lake_exchange);
    row(f, "Overland flux", e.lake_overland);
    row(f, "Point source", e.lake_point);
    row(f, "Groundwater flux", e.lake_groundwater, 1);
    row(f, "Outflow", e.lake_outflow);
    row(f, "Dissolved decay loss", e.lake_decay);
    if (a) row(f, "Exchange with attached", release);
    row(f, "Dissolved mass balance error", percent_error(lake_in, lake_out, 1e-16), 0, "%14.4lf");
    if (a) {
      row(f, "Overland inflow", a->ov_lake);
      row(f, "Channel inflow", a->chan_lake);
      row(f, "Exchange with dissolved", -release);
    }
    for (int l = 1; l <= state.channel.lake_count; ++l) {
      const std::size_t ll = std::size_t(l);
      std::fprintf(f, "Final Mass in lake %ld =        %14.2lf \n", long(l), w.lake_mass[kk][ll] / 1000.0);
      std::fprintf(f, "Final Conc in lake (mg/L) %ld = %14.2lf \n \n", long(l), w.lake_conc[kk][ll]);
    }
  }
}
