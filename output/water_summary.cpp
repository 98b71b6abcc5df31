// The end-of-run water summary. Errors are percentages of what came in:
// (inputs - outputs, final storage counted among the outputs) / inputs x 100.

#include "output/water_summary.h"

#include <algorithm>
#include <cstdio>

#include "run/model_state.h"
#include "run/progress.h"
#include "output/end_of_run_files.h"
#include "output/output_steps.h"
#include "output/contaminant_summary.h"
#include "output/sediment_summary.h"
#include "output/summary_totals.h"

namespace {

// (in - out) x 100 / base, or 0 when nothing came in.
double percent_error(double in, double out, double base) {
  if (!(in > no_input_volume) || !(base > no_input_volume)) return 0.0;
  return (in - out) * 100.0 / base;
}

// Overland boundaries that gave more than they took brought water in: the
// net gain counts among what an error is a share of, as rain does (a run
// fed through a held level would otherwise divide by its rain alone).
double boundary_gain(const water_balance& b) { return std::max(-b.net_boundary_loss, 0.0); }

void groundwater_balance(const run_water_totals& t, water_balance& b) {
  // The starting volume is never 0 in a groundwater run, so it divides untested.
  b.groundwater_error = (b.final_groundwater - t.initial_groundwater - t.gw_inputs -
                         t.gw_head_boundary - t.xy_gain + t.xy_loss) /
                        t.initial_groundwater * 100.0;
}

// With the Sacramento basin the infiltrated water stays in the books as the
// basin's storage, so only what leaves the watershed counts as lost; the
// error is what the stores hold beyond what came in.
void sacramento_overall_balance(const run_water_totals& t, water_balance& b) {
  const double in = t.precipitation + t.gw_head_boundary + t.overland_point_sources + t.xy_gain +
                    t.channel_point_sources + t.discharge_boundary_gain +
                    t.drains_from_fixed_heads;
  const double out = t.evaporation + t.discharge + t.xy_loss + b.net_boundary_loss +
                     t.lake_evaporation + t.drains_to_fixed_heads;
  const double base = t.precipitation + b.initial_storage;
  b.overall_error = base > no_input_volume
                        ? (b.final_storage - b.initial_storage - in + out) / base * 100.0
                        : 0.0;
}

void overall_balance(const run_water_totals& t, const summary_gates& g, water_balance& b) {
  if (g.sacramento) {
    sacramento_overall_balance(t, b);
    return;
  }
  // With the groundwater model the lakes' seepage stays inside the books:
  // what a lake loses the aquifer holds.
  const double lakes_out = g.gw_simulation ? 0.0 : t.lakes_to_gw;
  const double lakes_in = g.gw_simulation ? 0.0 : t.gw_to_lakes;
  const double boundary_out = std::max(b.net_boundary_loss, 0.0);
  const double boundary_in = boundary_gain(b);
  const double out = t.discharge + t.evaporation + boundary_out + lakes_out +
                     t.lake_evaporation + t.drains_to_fixed_heads;
  // The specified-discharge boundaries bring water in as the point sources do.
  // Fixed-head pipe junctions stand for water outside the watershed.
  double in = t.precipitation + t.gw_head_boundary + t.overland_point_sources + lakes_in +
              t.channel_point_sources + t.discharge_boundary_gain + t.drains_from_fixed_heads +
              boundary_in;
  // Plain Green and Ampt holds no soil water: what it infiltrates passes
  // below it, out of the books, with the aquifer as without it (the aquifer
  // takes none of it: it is not solved under plain Green and Ampt).
  const double downward = g.green_ampt ? t.infiltration : t.downward_flux;
  double loss;
  if (g.gw_simulation) {
    // The soil's water on its way to the aquifer counts as held: what left
    // the soil below the store but has not been booked as recharge, and
    // what the soil released that the aquifer takes at its next interval.
    loss = downward - t.recharge + out + t.deep_leakage + t.pumping + t.gw_owed;
  } else {
    loss = out + downward + t.river_to_gw;
    in += t.gw_to_river;
  }
  const double supplied = b.initial_storage + in;
  b.overall_error = percent_error(supplied, b.final_storage + loss, supplied);
}

void surface_balance(const run_water_totals& t, water_balance& b) {
  const double boundary_out = std::max(b.net_boundary_loss, 0.0);
  const double boundary_in = boundary_gain(b);
  const double s_in = t.precipitation + t.gw_to_river + t.gw_to_lakes + t.exfiltration +
                      t.overland_point_sources + t.channel_point_sources + t.drains_to_channels +
                      t.drains_to_overland + t.discharge_boundary_gain + boundary_in;
  const double s_fin =
      b.final_channel + b.final_snow + b.final_surface + b.final_chan_lake + b.final_olake;
  const double kept = t.initial_chan_lakes + t.initial_olakes + t.initial_surface +
                      t.initial_channels + t.initial_snow + s_in;
  const double gone = t.lakes_to_gw + t.river_to_gw + t.direct_evaporation + t.discharge +
                      t.infiltration + boundary_out + t.lake_evaporation +
                      t.overland_to_drains + s_fin;
  b.surface_error = s_in > no_input_volume ? (kept - gone) * 100.0 / (s_fin + s_in) : 0.0;
}

void simple_soil_balance(const run_water_totals& t, water_balance& b) {
  if (!(t.initial_soil > 0.0)) {
    b.simple_soil_error = 0.0;
    return;
  }
  const double withdrawn = t.evaporation - t.direct_evaporation - t.soil_evaporation;
  b.simple_soil_error = (t.infiltration + t.initial_simple_soil - b.final_simple_soil -
                         withdrawn - t.downward_flux) *
                        100.0 / (t.infiltration + t.initial_soil);
}

void print_groundwater_section(std::FILE* f, const run_water_totals& t, const water_balance& b) {
  std::fputs("\n \n", f);
  std::fputs("GROUNDWATER CALCULATIONS \n\n", f);
  std::fprintf(f, "GW volume start =                %14.2lf \n", t.initial_groundwater);
  std::fprintf(f, "GW volume end =                  %14.2lf \n", b.final_groundwater);
  std::fprintf(f, "Sat/unsat. trickery (into gw) =  %14.2lf \n", t.unsat_to_sat);
  std::fprintf(f, "Exfiltration back on overland =  %14.2lf \n", t.exfiltration);
  std::fprintf(f, "Recharge to groundwater =        %14.2lf \n", t.recharge);
  std::fprintf(f, "Total inputs to groundwater=     %14.2lf \n", t.gw_inputs);
  std::fprintf(f, "Flux across head boundaries=     %14.2lf \n", t.gw_head_boundary);
  std::fprintf(f, "Leakage to deep aquifer+         %14.2lf \n", t.deep_leakage);
  std::fprintf(f, "Pumping                          %14.2lf \n", t.pumping);
  // Only a run whose wells were cut says what they asked.
  if (t.pumping_asked > t.pumping + 0.005)
    std::fprintf(f, "Pumping asked of the wells       %14.2lf \n", t.pumping_asked);
  std::fprintf(f, "To tile drains                   %14.2lf \n", t.gw_to_tile_drains);
  std::fprintf(f, "Gain from XY boundaries          %14.2lf \n", t.xy_gain);
  std::fprintf(f, "Loss to XY boundaries            %14.2lf \n", t.xy_loss);
  std::fprintf(f, "Mass Balance error =             %14.2lf %%  \n", b.groundwater_error);
  std::fputs("\n", f);
  std::fputs("If you have any head boundaries \n", f);
  std::fputs("Mass balance errors are likely due to flux across boundary \n", f);
  std::fputs("Which is not exactly calculated \n", f);
}

void print_sac_stores(std::FILE* f, const double (&store)[5], const double (&capacity)[5],
                      const char* last_end) {
  static const char* const names[5] = {"uztwc", "uzfwc", "lztwc", "lzfpc", "lzfsc"};
  for (int k = 0; k < 5; ++k)
    std::fprintf(f, "%s:  %10.3lf mm, %8.2lf%%%s", names[k], store[k],
                 store[k] / capacity[k] * 100.0, k == 4 ? last_end : "\n");
}

void print_storages(std::FILE* f, const run_water_totals& t, const summary_gates& g,
                    const water_balance& b) {
  const bool simple_labels = g.simple_soil && !g.gw_simulation;
  std::fprintf(f, "Initial volume on surface=                      %14.2lf \n", t.initial_surface);
  std::fprintf(f, "Initial volume in channels=                     %14.2lf \n", t.initial_channels);
  if (simple_labels) {
    std::fprintf(f, "Initial volume in soil over simple soil depth   %14.2lf \n", t.initial_soil);
  } else {
    std::fprintf(f, "Initial volume in soils=                        %14.2lf \n", t.initial_soil);
  }
  std::fprintf(f, "Initial volume in groundwater=                  %14.2lf \n",
               t.initial_groundwater);
  if (g.snow) {
    std::fprintf(f, "Initial volume of snow=                         %14.2lf \n", t.initial_snow);
  }
  if (g.channel_lakes) {
    std::fprintf(f, "Initial volume in perennial lakes               %14.2lf \n",
                 t.initial_chan_lakes);
  }
  std::fputs("\n", f);

  std::fprintf(f, "Final volume on surface=                        %14.2lf\n", b.final_surface);
  if (g.overland_lakes) {
    std::fprintf(f, "Final volume in overland lakes=                 %14.2lf\n", b.final_olake);
  }
  std::fprintf(f, "Final volume in channels=                       %14.2lf\n", b.final_channel);
  if (g.drains) {
    std::fprintf(f, "Final volume in drains=                         %14.2lf\n", t.drain_volume);
  }
  if (simple_labels) {
    std::fprintf(f, "Final volume in soil over simple soil depth     %14.2lf\n", b.final_soil);
  } else {
    std::fprintf(f, "Final volume in soils=                          %14.2lf\n", b.final_soil);
  }
  std::fprintf(f, "Final volume in groundwater=                    %14.2lf\n", b.final_groundwater);
  std::fprintf(f, "Final volume of snow=                           %14.2lf\n", b.final_snow);
  if (g.channel_lakes) {
    std::fprintf(f, "Final volume in perennial lakes                 %14.2lf\n", b.final_chan_lake);
  }
  std::fputs("\n", f);
}

// The overland steps the router cut, when it cut any, and to what: a run
// whose steps are cut often would run as fast, or faster, at the step left.
void print_overland_cuts(std::FILE* f, const run_water_totals& t) {
  const step_cuts& c = t.overland_cuts;
  if (c.total == 0) return;
  std::fprintf(f, "Overland steps cut=                             %14lld\n", c.total);
  for (int k = 0; k < c.kinds; ++k) {
    char label[64];
    std::snprintf(label, sizeof label, "  to a sub-step of %.4g s=", c.to[k]);
    std::fprintf(f, "%-48s%14lld\n", label, c.count[k]);
  }
  if (t.overland_retried > 0) {
    std::fprintf(f, "Overland sub-steps routed again after a cut=    %14lld\n",
                 t.overland_retried);
  }
}

void print_fluxes(std::FILE* f, const run_water_totals& t, const summary_gates& g) {
  std::fprintf(f, "Total amount of precip=                         %14.2lf\n", t.precipitation);
  std::fprintf(f, "Total amount of interception=                   %14.2lf\n", t.interception);
  std::fprintf(f, "Total amount of infiltration=                   %14.2lf\n", t.infiltration);
  std::fprintf(f, "Total amount of evaporation=                    %14.2lf\n", t.evaporation);
  std::fprintf(f, "Total direct evaporation=                       %14.2lf\n",
               t.direct_evaporation);
  if (!g.sacramento) {
    std::fprintf(f, "Total amount of exfiltration=                   %14.2lf\n", t.exfiltration);
  }
  if (g.snow) {
    std::fprintf(f, "Total snow melt released=                       %14.2lf\n", t.snow_melt);
  }
  std::fputs("\n", f);

  if (g.sacramento) {
    std::fprintf(f, "Total recharge to deep g.w.=                    %14.2lf\n",
                 t.sac_deep_recharge);
  } else {
    if (g.gw_simulation) {
      std::fprintf(f, "Total recharge inputs to groundwater=           %14.2lf\n", t.recharge);
      std::fprintf(f, "Total pumping from groundwater=                 %14.2lf\n", t.pumping);
    }
    std::fprintf(f, "Total downward flux from unsaturated zone=      %14.2lf\n", t.downward_flux);
    std::fprintf(f, "Total flux of gw across bounds=                 %14.2lf\n",
                 t.gw_head_boundary);
  }

  std::fprintf(f, "Total overland point sources=                   %14.2lf\n",
               t.overland_point_sources);
  std::fprintf(f, "Total channel point sources=                    %14.2lf\n\n",
               t.channel_point_sources);
  std::fprintf(f, "Volume lost to specified slope boundary:        %14.2lf\n",
               t.slope_boundary_loss);
  std::fprintf(f, "Volume lost to specified head boundary:         %14.2lf\n",
               t.head_boundary_loss);
  std::fprintf(f, "Volume gained from specified head boundary:     %14.2lf\n",
               t.head_boundary_gain);
  std::fprintf(f, "Volume gained from specified discharge boundary:%14.2lf\n",
               t.discharge_boundary_gain);
  std::fputs("\n", f);
  std::fprintf(f, "Total lateral inflow into channels=             %14.2lf\n", t.lateral_inflow);
  std::fprintf(f, "Total amount of discharge=                      %14.2lf\n", t.discharge);
  if (g.channel_routing) {
    std::fprintf(f, "Channel routing sub-steps=                      %14lld\n",
                 t.channel_substeps);
  }

  print_overland_cuts(f, t);

  if (g.stream_exchange) {
    std::fprintf(f, "Total flux from river to gw=                    %14.2lf\n", t.river_to_gw);
    if (g.water_table) {
      std::fprintf(f, "Total flux from gw to river=                    %14.2lf\n", t.gw_to_river);
    }
  }
  if (g.channel_lakes) {
    std::fputs("\n", f);
    std::fprintf(f, "Volume precip to lakes=                         %14.2lf\n", t.lake_precip);
    std::fprintf(f, "Volume of flow into lakes=                      %14.2lf\n", t.lake_inflow);
    std::fprintf(f, "Volume of flow from lakes=                      %14.2lf\n", t.lake_outflow);
    std::fprintf(f, "Volume of lake evap=                            %14.2lf\n",
                 t.lake_evaporation);
    if (g.lake_seepage) {
      std::fprintf(f, "Total flux from lakes to gw=                    %14.2lf\n", t.lakes_to_gw);
      std::fprintf(f, "Total flux from gw to lakes=                    %14.2lf\n", t.gw_to_lakes);
    }
  }
  if (g.drains) {
    std::fputs("\n", f);
    std::fprintf(f, "Volume of overland to subsurface drains         %14.2lf\n",
                 t.overland_to_drains);
    std::fprintf(f, "Volume of subsurface drains to overland         %14.2lf\n",
                 t.drains_to_overland);
    std::fprintf(f, "Volume of subsurface drains to channels         %14.2lf\n",
                 t.drains_to_channels);
    std::fprintf(f, "Volume of groundwater to tile drains            %14.2lf\n",
                 t.gw_to_tile_drains);
    std::fprintf(f, "Volume from fixed-head drain junctions          %14.2lf\n",
                 t.drains_from_fixed_heads);
    std::fprintf(f, "Volume to fixed-head drain junctions            %14.2lf\n",
                 t.drains_to_fixed_heads);
  }
  if (g.xy_boundaries) {
    std::fputs("\n", f);
    std::fprintf(f, "Volume gained from XY boundaries                %14.2lf\n", t.xy_gain);
    std::fprintf(f, "Volume lost to XY boundaries                    %14.2lf\n", t.xy_loss);
  }
}

void print_errors(std::FILE* f, const run_water_totals& t, const summary_gates& g,
                  const water_balance& b) {
  std::fputs("\n", f);
  std::fprintf(f, "Mass balance error of surface components =              %10.6lf percent\n\n",
               b.surface_error);
  if (g.sacramento) {
    std::fprintf(f, "Overall mass balance error =                    %10.6lf percent\n \n",
                 b.overall_error);
    std::fputs("*overall mass balance error will not be zero when using the Sacramento\n", f);
    std::fputs("model because of errors associated with interpolating hourly outflows to\n", f);
    std::fputs("the channel routing time step, which is generally much less than one\n", f);
    std::fputs("hour.  However, this error should be less than one percent, except for\n", f);
    std::fputs("simulations of very short events (only a few hours long).\n \n", f);
  } else {
    std::fprintf(f, "Overall mass balance error =                        %14.6lf percent\n \n",
                 b.overall_error);
  }
  if (g.simple_soil) {
    std::fprintf(f, "Simple soil moisture mass balance =             %19.6lf percent \n\n",
                 b.simple_soil_error);
  }
  if (g.overland_lakes) {
    std::fprintf(f, "Volume of flow into overland lakes:             %14.2lf\n", t.olake_inflow);
    std::fprintf(f, "Volume of flow from overland lakes:             %14.2lf\n", t.olake_outflow);
    std::fprintf(f, "Volume of evaporation from lakes:               %14.2lf\n",
                 t.lake_evaporation);
    std::fprintf(f, "Overland lake mass bal error m^3:               %14.2lf\n\n", b.olake_error);
  }
  if (g.channel_lakes) {
    std::fprintf(f, "Perennial lake mass bal error m^3=              %14.2lf\n\n",
                 b.chan_lake_error);
  }
  if (g.drains) {
    std::fprintf(f, "Subsurface drain mass bal error m^3=            %14.2lf\n\n", b.drain_error);
  }
}

// One line for the optimiser: the run's outlet volume, in cubic feet with
// QOUT_CFS as the event rows are, or with sediment rows the wash load that
// left the outlet (m3, unconverted). The file is finished with it.
void write_calibration_total(model_state& state) {
  safe_file& optim = state.calib.optim_out;
  if (!(state.results || state.input.optimize) || !optim.is_open()) return;
  double value = state.surface.outflow_volume;
  if (state.run.qout_cfs) value *= calib_cfs_factor;
  if (state.input.optimize_sed) value = state.quality.chan_sediment.wash_outlet;
  std::fprintf(optim.stream, "%d %13lf\n", state.run.event_index + 1, value);
  std::fflush(optim.stream);
  optim.close();
}

}  // namespace

void print_sacramento_section(std::FILE* f, const sac_run_summary& s) {
  std::fputs("\n\nSimulation summary for the Sacramento Soil Moisture Accounting Model\n", f);
  std::fputs("as incorporated in the Valtoria\n", f);
  std::fputs("(VALTO) Model.  Internal SAC-SMA mass conservation check.\n\n", f);
  std::fputs("Initial state variable values:\n", f);
  print_sac_stores(f, s.initial, s.capacity, "\n");
  std::fputs("Final state variable values:\n", f);
  print_sac_stores(f, s.final, s.capacity, "\n\n");

  double initial = 0.0, final = 0.0;
  for (int k = 0; k < 5; ++k) {
    initial += s.initial[k];
    final += s.final[k];
  }
  std::fputs("\nMass Balance Information:\n\n", f);
  std::fprintf(f, "Initial subsurface storage(mm):        %10.3lf\n", initial);
  std::fprintf(f, "Input rainfall (mm):                   %10.3lf\n", s.rainfall);
  std::fprintf(f, "PET calculated by VALTO (mm):          %10.3lf\n", s.pet);
  std::fprintf(f, "AET calculated by Sacramento (mm):     %10.3lf\n", s.aet);
  std::fprintf(f, "Subsurface runoff (mm):                %10.3lf\n", s.runoff);
  std::fprintf(f, "Recharge to deep g.w. (mm):            %10.3lf\n", s.recharge);
  std::fprintf(f, "Final volume of subsurface water (mm): %10.3lf\n", final);
  std::fprintf(f, "Residual (neg. means mass created (mm):%10.3lf\n",
               initial + s.rainfall - s.aet - s.runoff - s.recharge - final);
  std::fputs("\n", f);
  std::fprintf(f, "Sacramento simulation total residual water balance: %18.16f mm\n", s.residual);

  const double a = s.area_factor;
  std::fputs("\nSacramento storages and fluxes expressed as volumes (m^3):\n", f);
  std::fprintf(f, "Initial volume=   %10.1lf\n", initial * a);
  std::fprintf(f, "Volume of ET=     %10.1lf\n", s.aet * a);
  std::fprintf(f, "Volume of precip= %10.1lf\n", s.rainfall * a);
  std::fprintf(f, "Volume of outflow=%10.1lf\n", s.runoff * a);
  std::fprintf(f, "Final volume=     %10.1lf\n", final * a);
  std::fprintf(f, "Residual=         %10.1lf\n",
               (initial - s.aet + s.rainfall - s.runoff - final) * a);
}

void close_water_balance(const run_water_totals& t, const summary_gates& g, water_balance& b) {
  if (g.gw_simulation) groundwater_balance(t, b);
  if (g.ov_boundary) {
    b.net_boundary_loss = t.slope_boundary_loss + t.head_boundary_loss - t.head_boundary_gain;
  }
  // The overland lakes hold water as the surface does; left out, every
  // inflow to them would show as an overall error. The pipes start with the
  // film of their depth floor.
  b.initial_storage = t.initial_surface + t.initial_channels + t.initial_soil +
                      t.initial_groundwater + t.initial_chan_lakes + t.initial_olakes +
                      t.initial_snow + t.initial_drains;
  b.final_storage = b.final_channel + b.final_surface + b.final_soil + b.final_groundwater +
                    b.final_snow + b.final_chan_lake + b.final_olake + t.drain_volume;
  overall_balance(t, g, b);
  surface_balance(t, b);
  if (g.simple_soil) simple_soil_balance(t, b);
  // Rain on a lake is one of its inputs.
  b.chan_lake_error = t.lake_inflow + t.lake_precip - t.lake_outflow - b.final_chan_lake +
                      t.initial_chan_lakes - t.lake_evaporation;
  // A fall the floor stops is booked as outflow the lake did not give, so
  // it shows here.
  b.olake_error = t.initial_olakes + t.olake_inflow - b.final_olake - t.olake_outflow;
  b.drain_error = t.initial_drains + t.overland_to_drains + t.gw_to_tile_drains +
                  t.drains_from_fixed_heads - t.drains_to_overland - t.drains_to_channels -
                  t.drains_to_fixed_heads - t.drain_volume;
}

void print_water_summary(std::FILE* f, const run_water_totals& t, const summary_gates& g,
                         const water_balance& b) {
  if (g.gw_simulation) print_groundwater_section(f, t, b);
  std::fputs("\n \n", f);
  std::fputs("SIMULATION TOTALS", f);
  std::fputs("\n", f);
  std::fputs("GLOBAL MASS BALANCE CALCULATIONS \n", f);
  std::fputs("All volumes are in cubic meters \n \n", f);
  print_storages(f, t, g, b);
  print_fluxes(f, t, g);
  print_errors(f, t, g, b);
}

void write_summary(model_state& state) {
  output_state& out = state.output;
  if (!out.summary_flag) return;
  const summary_gates gates = gather_summary_gates(state);
  const run_water_totals totals = gather_run_totals(state);
  sum_final_storages(state, out.water);
  close_water_balance(totals, gates, out.water);
  if (out.summary.is_open()) {
    if (gates.sacramento) print_sacramento_section(out.summary.stream, gather_sac_summary(state));
    print_water_summary(out.summary.stream, totals, gates, out.water);
    print_overland_sediment_summary(out.summary.stream, state.quality, false);
    print_channel_sediment_summary(out.summary.stream, state.quality, false);
    print_contaminant_run_summary(out.summary.stream, state);
    write_bed_elevations(state.quality, state.channel);
    std::fflush(out.summary.stream);
  }
  write_calibration_total(state);
  write_end_of_run_files(state);
}
