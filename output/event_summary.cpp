// The event runoff summary: how the event ran, its peak, the water volumes of
// its balance with the mass conservation error, warnings, and what the run
// read, simulated and wrote. Volumes in m3.

#include "output/event_summary.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/julian.h"
#include "run/model_state.h"
#include "output/output_steps.h"
#include "output/contaminant_summary.h"
#include "output/sediment_summary.h"
#include "output/summary_totals.h"
#include "soil/read_hmet.h"

namespace {

// A mass error (in percent) beyond this calls for the warning.
constexpr double typical_error_percent = 2.0;

struct volume_line {
  const char* format;
  double value;
  bool shown;
};

// The station of SAMSON data: the capital letters its name field begins with.
std::string samson_station(const char* field) {
  std::string name;
  const char* p = field;
  while (*p == ' ') ++p;
  for (; *p >= 'A' && *p <= 'Z'; ++p) name.push_back(*p);
  return name;
}

// A long-term event's meteorology: its source, its period, the values the
// reader repaired and the evapotranspiration form.
void print_hmet_lines(std::FILE* f, const model_state& state) {
  const soil_state& soil = state.soil;
  const hmet_record& record = soil.longterm.hmet;
  const project_settings& settings = state.input.settings;
  const hmet_format format = hmet_format_of(settings);
  if (format == hmet_format::samson) {
    std::fprintf(f, "VALTO used NCDC/SAMSON hydrometeorological data from the %s station\n",
                 samson_station(record.station_name).c_str());
  } else if (format == hmet_format::surfaways) {
    std::fputs("VALTO used NCDC/Surface Airways hydrometeorological data.\n", f);
  }
  std::fprintf(f, "Hydrometeorology data began on: %2.2d/%2.2d/%4d at %2d:00\n",
               soil.hmet_start_month, soil.hmet_start_day, soil.hmet_start_year,
               soil.hmet_start_hour);
  std::fprintf(f, "and ended on:                   %2.2d/%2.2d/%4d at %2d:00\n",
               soil.hmet_end_month, soil.hmet_end_day, soil.hmet_end_year, soil.hmet_end_hour);
  std::fprintf(f, "The following number of hydromet. data points were repaired:%d\n",
               record.missing_count);
  if (settings.et_calc_penman) std::fputs("Penman-Montieth evapotranspiration was calculated.\n", f);
  if (settings.et_calc_deardorff) std::fputs("Deardorff bare-soil evaporation was calculated.\n", f);
}

void print_header(std::FILE* f, const model_state& state, const summary_gates& g) {
  const run_control& run = state.run;
  int year, month, day, hour, minute;
  double seconds;
  calendar_date(run.event_start_time, &year, &month, &day, &hour, &minute, &seconds);

  if (g.long_term && state.run.events_finished > 0) {
    std::fputs("\n\n", f);
    std::fputs("------------------------------------------------------------------------------\n", f);
  }
  if (!g.long_term) {
    std::fputs("         VALTO EVENT RUNOFF SIMULATION SUMMARY\n", f);
    std::fprintf(f, "            Event began on %2.2d/%2.2d/%4.4d at %2.2d:%2.2d\n", month, day, year,
                 hour, minute);
  } else {
    std::fprintf(f, "       VALTO LONG-TERM RUNOFF SIMULATION SUMMARY- EVENT %ld\n",
                 static_cast<long>(run.event_index));
    std::fprintf(f, "Event began on strict Julian date:                    %16.8lf\n",
                 run.event_start_time);
    std::fprintf(f, "Event ended on strict Julian date:                    %16.8lf\n",
                 run.current_time);
    std::fprintf(f, "Event began on %2.2ld/%2.2ld/%4.4ld at %2.2ld:%2.2ld  GMT %3.1f hours.\n\n",
                 static_cast<long>(month), static_cast<long>(day), static_cast<long>(year),
                 static_cast<long>(hour), static_cast<long>(minute), run.gmt);
    print_hmet_lines(f, state);
    if (g.sacramento) std::fputs("Sacramento soil moisture accounting was used.\n", f);
    std::fputs("\n", f);
  }

  if (g.uniform_rain) {
    std::fprintf(f, "   With uniform rainfall of %6.1lf mm/h for %6.1lf minutes.\n\n",
                 state.input.rain_intensity, static_cast<double>(state.input.rain_duration));
  } else if (g.gauge_rain || g.radar_rain) {
    std::fputs(g.radar_rain ? "With radar-rainfall estimates " : "With raingage data ", f);
    std::fputs(g.thiessen ? "using Thiessen polygon interpolation.\n\n"
                          : "using inverse-distance squared interpolation.\n\n",
               f);
  }

  std::fputs(g.english_units ? "elevation and gridsize were converted from feet to meters\n"
                             : "elevation and gridsize are in meters\n",
             f);
  std::fprintf(f, "timestep                                   %5.1lf seconds\n", run.dt);
  if (g.long_term) {
    std::fprintf(f, "initial basin-averaged soil water content: %5.2lf percent\n",
                 state.soil.event_initial_moisture * 100.0);
  }
  const surface_state& surface = state.surface;
  std::fprintf(f, "number of timesteps with rain:             %d\n", surface.rain_steps);
  // The rain of a step falls over the step before the clock reading.
  std::fprintf(f, "elapsed time when rain began:              %5.2lf\n \n",
               surface.rain_start_minutes - run.dt / 60.0);

  if (run.event_peak_out > 0.0) {
    std::fprintf(f, "peak occured on strict Julian date:       %16.8lf\n", run.peak_time);
    std::fprintf(f, "date/time of peak discharge:              %d/%d/%d  %d:%2.2d:%2.2d\n",
                 run.peak_date[1], run.peak_date[2], run.peak_date[0], run.peak_date[3],
                 run.peak_date[4], run.peak_date[5]);
  }
  std::fprintf(f, "Event peak discharge (cubic meters per second):  %12.4lf\n\n",
               run.event_peak_out);
}

void print_volumes(std::FILE* f, const event_water_totals& t, const summary_gates& g) {
  const bool chan = g.channel_routing;
  const bool lakes = chan && g.channel_lakes;
  const volume_line lines[] = {
      {"initial volume in lakes               %16.1lf\n", t.initial_lakes, g.channel_lakes},
      {"initial volume of overland flow:      %16.1lf\n", t.initial_surface, true},
      {"initial volume in channels:           %16.1lf\n", t.initial_channels, chan},
      {"initial volume in sub-surface drains: %16.1lf\n \n", t.initial_drains, g.drains},
      {"initial liquid-equiv. volume of snow: %16.1lf\n \n", t.initial_snow, true},
      {"volume of rainfall to overland:      %16.1lf\n", t.rain + t.interception, true},
      {"volume of interception:              %16.1lf\n", t.interception, true},
      {"volume of snow melt released:        %16.1lf\n", t.snow_melt, g.snow},
      {"volume of base flow from Sacramento:   %16.1lf\n", t.sac_base_flow, g.sacramento},
      {"volume of subsurface at event start:   %16.1lf\n", t.sac_start, g.sacramento},
      {"volume of subsurface at event end:     %16.1lf\n", t.sac_end, g.sacramento},
      {"volume of et removed water:            %16.1lf\n", t.sac_et, g.sacramento},
      {"volume of infil water SAC recieves:    %16.1lf\n", t.sac_infiltration, g.sacramento},
      {"volume of direct evaporation:        %16.1lf\n", t.direct_evaporation, true},
      {"volume of infiltrated water:         %16.1lf\n", t.infiltration, true},
      {"volume of water exfiltrated:         %16.1lf\n", t.exfiltration, true},
      {"volume of discharge:                 %16.1lf\n", t.discharge, true},
      {"volume of groundwater recharge:      %16.1lf\n", t.recharge, g.inf_redist || g.inf_layered},
      {"volume of lateral inflow:            %16.1lf\n", t.lateral_inflow, chan},
      {"volume of gw to chan:                %16.1lf\n", t.gw_to_channel,
       chan && g.stream_exchange && !g.sacramento},
      {"volume of water from chan to gw:     %16.1lf\n", t.channel_to_gw,
       chan && g.stream_exchange && !g.sacramento},
      {"volume precip to lake:               %16.1lf\n", t.precip_to_lakes, lakes},
      {"volume overland to lake:             %16.1lf\n", t.overland_to_lakes, lakes},
      {"volume overland from lake:           %16.1lf\n", t.overland_from_lakes, lakes},
      {"volume of gw to lakes:               %16.1lf\n", t.gw_to_lakes, lakes && g.lake_seepage},
      {"volume of water from lakes to gw:    %16.1lf\n", t.lakes_to_gw, lakes && g.lake_seepage},
      {"volume of stream point sources:      %16.1lf\n", t.stream_point_sources, chan},
      {"volume of stream point sinks:        %16.1lf\n", t.stream_point_sinks, chan},
      {"volume of lake point sources:        %16.1lf\n", t.lake_point_sources, chan},
      {"volume of lake point sinks:          %16.1lf\n", t.lake_point_sinks, chan},
      {"volume of lake evaporation:          %16.1lf\n", t.lake_evaporation, chan},
      {"volume of total evaporation:         %16.1lf\n", t.total_evaporation,
       g.long_term && g.richards},
      {"volume from overland point sources:  %16.1lf\n", t.overland_point_sources, true},
      {"overland inputs to superlink:        %16.1lf\n", t.overland_to_drains, g.drains},
      {"volume of superlink to overland:     %16.1lf\n", t.drains_to_overland, g.drains},
      {"volume of superlink to channels:     %16.1lf\n", t.drains_to_channels, g.drains && chan},
      {"volume of gw to tile drains:         %16.1lf\n", t.gw_to_tile_drains,
       g.drains && g.tile_drains},
  };
  std::fputs("Note: all volumes in cubic meters.\n", f);
  for (const volume_line& line : lines) {
    if (line.shown) std::fprintf(f, line.format, line.value);
  }

  std::fputs("\n", f);
  if (g.channel_lakes) {
    std::fprintf(f, "volume remaining in lakes            %16.1lf\n", t.final_lakes);
  }
  std::fprintf(f, "volume remaining on surface:         %16.1lf\n", t.final_surface);
  if (chan) std::fprintf(f, "final volume in channels (cu. m):    %16.1lf\n", t.final_channels);
  if (g.drains) std::fprintf(f, "volume remaining in drains:          %16.1lf\n", t.final_drains);
  std::fprintf(f, "final volume of snow (cu. m):        %16.1lf\n \n", t.final_snow);
  if (t.final_snow > 0.0) {
    std::fputs("********WARNING - YOU HAVE SNOW ACCUMULATION !!!!!!!!!!!!!!!!\n", f);
  }
}

void print_mass_error(std::FILE* f, const event_balance& b, const event_water_totals& t,
                      const model_state& state, const summary_gates& g) {
  const bool no_rain = b.no_rain;
  std::fprintf(f, "mass conservation error:                         %9.6lf percent\n",
               b.error * 100.0);
  if (b.error < 0.0) {
    std::fputs("Note: negative mass conservation error indicates mass was gained.\n", f);
  } else {
    std::fputs("Note: positive mass conservation error indicates mass was created.\n", f);
  }
  std::fprintf(f, "Mass input + original mass:           %9.6lf m3\n", b.mass_in);
  std::fprintf(f, "Mass output + final mass:             %9.6lf m3\n", b.mass_out);
  std::fprintf(f, "mass cleanup error from overland:     %9.6lf m3\n", t.cleanup);
  std::fputs("\n", f);
  if (g.long_term) {
    std::fprintf(f, "final basin-averaged soil water content: %5.2lf percent\n",
                 state.soil.event_final_moisture * 100.0);
  }
  if (no_rain) std::fputs("Note: no rainfall was input.\n", f);
}

void print_richards(std::FILE* f, const event_water_totals& t) {
  std::fputs("\n \n Richard's EQ. Computations \n \n", f);
  std::fprintf(f, "volume lost due to dir. evap (cu. m):  %9.1lf\n", t.richards_evaporated);
  std::fprintf(f, "net vol infiltrated to soil (cu. m.):  %9.1lf\n", t.richards_net);
  std::fprintf(f, "vol groundwater recharge (cu. m):      %9.1lf\n", t.richards_recharge);
  std::fprintf(f, "Initial volume in soils (cu. m.):      %9.1lf\n", t.richards_initial);
  std::fprintf(f, "Final volume in soils (cu. m.):        %9.1lf\n", t.richards_final);
  std::fprintf(f, "Richard equation mass balance error         %5.4lf percent\n", t.richards_error);
  std::fprintf(f, "Number of cells at start of event   %12d\n", t.richards_cells_start);
  std::fprintf(f, "Number of cells at end of event     %12d\n", t.richards_cells_end);
  std::fputs("net volume of infiltration is infiltration minus evaporation\n", f);
}

void print_groundwater(std::FILE* f, const event_water_totals& t, const summary_gates& g) {
  std::fputs("\n \n GROUNDWATER CALCULATION SUMMARIES FOR EVENT \n \n", f);
  std::fprintf(f, "volume of water directly to surface from groundwater (cu. m): %9.1lf\n",
               t.gw_exfiltrated_event);
  std::fprintf(f, "beginning vol of water exfiltrated this event (cu. m):        %9.1lf\n",
               t.gw_exfiltrated_before);
  std::fprintf(f, "total vol of water exfiltrated this run (cu. m):              %9.1lf\n",
               t.gw_exfiltrated_run);
  std::fprintf(f, "vol from gw to unsat this event, w/o recharge (cu. m):        %9.1lf\n",
               t.gw_to_unsat);
  std::fprintf(f, "vol groundwater recharge (cu. m):                             %9.1lf\n",
               t.gw_recharge);
  if (g.channel_routing) {
    std::fprintf(f, "vol from gw to chan  this event (cu. m):                      %9.1lf\n",
                 t.gw_to_channel);
    std::fprintf(f, "vol from chan to gw  this event (cu. m):                      %9.1lf\n",
                 t.channel_to_gw);
    if (g.channel_lakes) {
      std::fprintf(f, "vol from gw to lakes this event (cu. m):                      %9.1lf\n",
                   t.gw_to_lakes);
      std::fprintf(f, "vol from lakes to gw this event (cu. m):                      %9.1lf\n",
                   t.lakes_to_gw);
    }
  }
  if (g.drains)
    std::fprintf(f, "vol gw to tile dtrains (cu. m):                               %9.1lf\n",
                 t.gw_to_tile_drains);
  if (g.xy_boundaries) {
    std::fprintf(f, "vol gain for gw from XY boundaries:                           %9.1lf\n",
                 t.gw_xy_gain);
    std::fprintf(f, "vol loss for gw from XY boundaries:                           %9.1lf\n",
                 t.gw_xy_loss);
  }
  std::fputs("\n", f);
}

void print_warnings(std::FILE* f, const event_balance& b, const event_water_totals& t,
                    const summary_gates& g) {
  const bool large_error = std::fabs(b.error * 100.0) > typical_error_percent;
  const bool water_left = t.final_surface > 0.05 * (t.rain + t.interception);
  std::fputs("THE FOLLOWING WARNINGS ARE GIVEN:\n", f);
  if (large_error) {
    std::fputs("-Mass conservation error (absolute) is larger than typical values (<2 percent).\n",
               f);
    std::fputs(" Errors of this size point to a time step too long for the cell size and\n", f);
    std::fputs(" the roughness, or to inputs unlike those of the test watersheds used\n", f);
    std::fputs(" in the development of VALTO.  You should first check for errors in the\n", f);
    std::fputs(" input data, then halve the time step and run the model again; if the\n", f);
    std::fputs(" error stays large, report the project to your VALTO developer.\n", f);
  }
  if (g.lookup_exceeded) {
    std::fputs("-Depths exceeded the range of look-up table X-section data.\n", f);
    std::fputs(" This is usually a source of error, particularly near hydrograph peaks.\n", f);
  }
  if (!large_error && !g.lookup_exceeded && !water_left) std::fputs("No Warnings.\n", f);
}

void print_inputs(std::FILE* f, const project_settings& s) {
  std::fputs("\n THE FOLLOWING INPUTS WERE READ:\n", f);
  std::fputs("A TPG Project File was used.\n", f);
  // Every run reads its watershed mask and elevations as ASCII grid maps.
  std::fputs("Floating point GRASS maps were read.\n", f);
  if (s.in_hyd_location_given) {
    std::fputs("Locations where discharge hydrographs are to be written.\n", f);
  }
  if (s.in_gwflux_location_given) std::fputs("Point stream/groundwater fluxes were written.\n", f);
  if (s.in_celldepdis_location_given) std::fputs("cell depth, discharge were written.\n", f);
}

void print_processes(std::FILE* f, const model_state& state, const summary_gates& g) {
  const input_state& in = state.input;
  const bool infiltration = in.green_ampt || in.inf_redist || in.inf_layered_soil ||
                            in.inf_richards;
  std::fputs("\n THE FOLLOWING PROCESSES WERE SIMULATED:\n", f);
  if (in.explicit_channel) std::fputs("Explicit diffusive-wave channel routing.\n", f);
  if (in.drain_flag) std::fputs("This was a channel initialation run using the DRAIN method.\n", f);
  if (in.params.channel_method == 5) {
    std::fputs("This was a channel initialzation run using thep backwater method.\n", f);
  }
  if (in.interception) std::fputs("Interception losses.\n", f);
  std::fputs(in.roughness_map ? "Distributed overland roughness.\n"
                              : "Uniform overland roughness.\n",
             f);
  if (infiltration) {
    std::fputs(in.moisture ? "Distributed initial soil moisture.\n"
                           : "Uniform initial soil moisture.\n",
               f);
  }
  if (g.channel_lakes || g.overland_lakes) std::fputs("Lakes were simulated.\n", f);
  if (in.settings.reten_depth_given) {
    std::fputs("Spatially varied retention.\n", f);
  } else if (in.retention_depth > 0.0) {
    std::fputs("Uniform retention depth.\n", f);
  }
  if (in.inf_redist) std::fputs("Infiltration with redistribution.\n", f);
  if (in.green_ampt) std::fputs("Green & Ampt infiltration.\n", f);
  if (in.inf_richards) std::fputs("Infiltration by Richards Eq.\n", f);
  if (in.inf_layered_soil) std::fputs("G&A Infiltration through layered soils.\n", f);
  if (in.soil_erosion) std::fputs("Overland soil erosion.\n", f);
  if (in.chan_sed_routing) {
    std::fputs("Sediment transport in channels using Yang's eqn. for sand.\n", f);
  }
  if (in.sacramento) {
    std::fputs("Base flow using the Sacramento Soil Moisture Accounting Model.\n", f);
  }
}

void print_maps(std::FILE* f, const model_state& state) {
  const input_state& in = state.input;
  const project_settings& s = in.settings;
  std::fprintf(f, "\n THE FOLLOWING OUTPUT MAPS WERE WRITTEN EVERY %d TIMESTEP(S):\n",
               state.run.map_interval);
  struct map_line {
    const char* text;
    int given;
  };
  const map_line kinds[] = {
      {"     overland flow depth.\n", s.depth_given},
      {"     discharge.\n", s.discharge_given},
      {"     distributed rainfall rate.\n", s.dis_rain_given},
      {"     distributed infiltration depth.\n", s.inf_depth_given},
      {"     distributed infiltration rate.\n", s.rate_of_infil_given},
      {"     distributed surface moisture.\n", s.surf_moist_given},
      {"     groundwater recharge cumulative.\n", s.gw_recharge_cum_given},
      {"     groundwater recharge incremental.\n", s.gw_recharge_inc_given},
      {"     channel depth.\n", s.chan_depth_given},
      {"     channel discharge.\n", s.chan_discharge_given},
      {"     net volume of erosion/deposition.\n", s.net_sed_volume_given},
      {"     suspended sediment volume.\n", s.vol_sed_susp_given},
      {"     sediment flux.\n", s.max_sed_flux_given},
      {"      channel sediment flux.\n", s.chan_sed_flux_given},
  };
  bool any = false;
  for (const map_line& kind : kinds) any = any || kind.given;
  if (!any) return;
  if (in.map_kind[0]) std::fputs("Floating point GRASS output maps were written.\n", f);
  if (in.inf_redist && s.surf_moist_given) {
    std::fputs("Soil surface moisture maps were output.\n", f);
  }
  if (in.inf_redist && s.rate_of_infil_given) std::fputs("Infiltration rate maps were output.\n", f);
  if (in.map_kind[1] && !in.map_kind[2]) std::fputs("ASCII TPG maps of:\n", f);
  if (in.map_kind[2]) std::fputs("BINARY TPG maps of:\n", f);
  for (const map_line& kind : kinds) {
    if (kind.given) std::fputs(kind.text, f);
  }
}

void print_series_files(std::FILE* f, const model_state& state) {
  const project_settings& s = state.input.settings;
  std::fprintf(f, "\n THE FOLLOWING ASCII OUTPUT FILES WERE WRITTEN TO EVERY %d TIMESTEP(S):\n",
               state.run.hyd_interval);
  std::fputs("     hydrograph at the catchment outlet.\n", f);
  if (s.in_hyd_location_given) std::fputs("     hydrographs at selected locations.\n", f);
  if (s.outlet_sed_flux_given) std::fputs("     sediment outflow at the catchment outlet.\n", f);
  if (s.out_sed_loc_given) std::fputs("     sediment hydrographs at selected locations.\n", f);
  if (s.superlink_junc_flow_given) std::fputs("Flows to/from selected superjunctions.\n", f);
  if (s.superlink_node_flow_given) std::fputs("Flows to/from selected superlink nodes.\n", f);
  if (s.in_gwflux_location_given) std::fputs("Stream/groundwater exchange fluxes.\n", f);
}

}  // namespace

void print_summary_line(std::FILE* file, const char* label, double value, int width,
                        const char* format, char fill, int point_offset, int extra) {
  char text[128];
  std::snprintf(text, sizeof text, format, value);
  const char* point = std::strchr(text, '.');
  const int p = point ? static_cast<int>(point - text) : static_cast<int>(std::strlen(text));
  std::fprintf(file, "%s ", label);
  const int length = static_cast<int>(std::strlen(label));
  for (int i = length; i < width - 1; ++i) std::fputc(fill, file);
  const int blanks = (point_offset > p ? point_offset - p : 0) + 1;
  for (int i = 0; i < blanks; ++i) std::fputc(' ', file);
  std::fputs(text, file);
  for (int i = 0; i <= extra; ++i) std::fputc('\n', file);
}

event_balance overland_event_balance(const event_water_totals& t) {
  event_balance b;
  // Overland boundaries move water across the watershed's edge like rain and
  // outflow do; left out, every boundary run would report a false error.
  // With channels the discharge leaves at the channel outlet, so the water
  // the channels held and the point inflows they took join the balance.
  b.mass_in = t.initial_surface + t.rain + t.exfiltration + t.overland_point_sources +
              t.drains_to_overland + t.boundary_gain + t.initial_channels +
              t.stream_point_sources + t.initial_lakes + t.precip_to_lakes + t.initial_snow +
              t.gw_to_channel + t.gw_to_lakes;
  b.mass_out = t.final_surface + t.discharge + t.infiltration + t.direct_evaporation +
               t.overland_to_drains + t.boundary_loss + t.final_channels + t.final_lakes +
               t.lake_evaporation + t.final_snow + t.channel_to_gw + t.lakes_to_gw;
  // An event without rain still holds and moves the water it started
  // with; only a balance with nothing in it has no error to give.
  b.no_rain = !(t.rain > 0.0);
  b.error = b.mass_in > 0.0 ? (b.mass_in - b.mass_out) / b.mass_in : 0.0;
  return b;
}

void write_event_summary(model_state& state) {
  output_state& out = state.output;
  if (!out.event_summary_flag || !out.summary.is_open()) return;
  std::FILE* f = out.summary.stream;
  const summary_gates gates = gather_summary_gates(state);
  const event_water_totals totals = gather_event_totals(state);
  const event_balance balance = overland_event_balance(totals);

  print_header(f, state, gates);
  print_volumes(f, totals, gates);
  print_mass_error(f, balance, totals, state, gates);
  if (gates.richards) print_richards(f, totals);
  if (gates.gw_simulation) print_groundwater(f, totals, gates);
  print_contaminant_event_summary(f, state);
  print_overland_sediment_summary(f, state.quality, true);
  print_channel_sediment_summary(f, state.quality, true);
  print_warnings(f, balance, totals, gates);
  print_inputs(f, state.input.settings);
  print_processes(f, state, gates);
  print_maps(f, state);
  print_series_files(f, state);
}
