#pragma once
// What the summaries read of the other subsystems, gathered in one place: the
// options that decide which lines appear, and the water totals of the event
// and of the run. The writers format these records and nothing else, so that
// each can be checked on hand-made values. A total whose process this
// version does not run yet is 0 here until that process keeps it.

#include "surface/surface_state.h"

struct model_state;
struct water_balance;

// Options that decide which lines of the summaries appear.
struct summary_gates {
  bool long_term = false;
  bool english_units = false;      // elevation and cell size given in feet
  bool uniform_rain = false;
  bool gauge_rain = false;
  bool radar_rain = false;
  bool thiessen = false;           // gauges spread by nearest gauge
  bool channel_routing = false;    // explicit channel routing (CHAN_EXPLIC, DIFFUSIVE_WAVE)
  bool channel_lakes = false;
  bool overland_lakes = false;
  bool drains = false;             // storm sewer and tile-drain network
  bool tile_drains = false;
  bool snow = false;               // a snow pack is kept
  bool sacramento = false;
  bool green_ampt = false;
  bool inf_redist = false;
  bool inf_layered = false;
  bool richards = false;
  bool simple_soil = false;        // simple soil-moisture accounting
  bool gw_simulation = false;
  bool water_table = false;
  bool stream_exchange = false;    // stream-aquifer exchange (STREAM_LOSS or groundwater)
  bool lake_seepage = false;       // lake-groundwater exchange
  bool xy_boundaries = false;      // XY boundary inputs present
  bool ov_boundary = false;        // overland boundary conditions
  bool lookup_exceeded = false;    // channel depths left a look-up cross-section table
};

// Water volumes of one event, m3.
struct event_water_totals {
  double initial_lakes = 0.0;
  double initial_surface = 0.0;
  double initial_channels = 0.0;
  double initial_drains = 0.0;
  double initial_snow = 0.0;
  double snow_melt = 0.0;        // melt water the packs gave the surface
  double rain = 0.0;             // reaching the surface, interception left out
  double interception = 0.0;
  double sac_base_flow = 0.0;
  double sac_start = 0.0;
  double sac_end = 0.0;
  double sac_et = 0.0;
  double sac_infiltration = 0.0;
  double direct_evaporation = 0.0;
  double infiltration = 0.0;
  double exfiltration = 0.0;
  double boundary_gain = 0.0;    // in through overland boundaries and XY depth points
  double boundary_loss = 0.0;    // out through overland boundaries and XY depth points
  double discharge = 0.0;
  double recharge = 0.0;
  double lateral_inflow = 0.0;
  double gw_to_channel = 0.0;
  double channel_to_gw = 0.0;
  double precip_to_lakes = 0.0;
  double overland_to_lakes = 0.0;
  double overland_from_lakes = 0.0;
  double gw_to_lakes = 0.0;
  double lakes_to_gw = 0.0;
  double stream_point_sources = 0.0;
  double stream_point_sinks = 0.0;
  double lake_point_sources = 0.0;
  double lake_point_sinks = 0.0;
  double lake_evaporation = 0.0;
  double total_evaporation = 0.0;
  double overland_point_sources = 0.0;
  double overland_to_drains = 0.0;
  double drains_to_overland = 0.0;
  double drains_to_channels = 0.0;
  double gw_to_tile_drains = 0.0;
  double final_lakes = 0.0;
  double final_surface = 0.0;
  double final_channels = 0.0;
  double final_drains = 0.0;
  double final_snow = 0.0;
  double cleanup = 0.0;          // water created by clearing negative depths
  // The Richards columns' balance (cells of more than one node)
  double richards_evaporated = 0.0;  // taken up from the surface and the columns
  double richards_net = 0.0;         // infiltration less that evaporation
  double richards_recharge = 0.0;    // drained through the column bottoms or given to the aquifer
  double richards_initial = 0.0;     // column water at the start
  double richards_final = 0.0;       // column water at the end
  double richards_error = 0.0;       // percent of richards_initial
  int richards_cells_start = 0;
  int richards_cells_end = 0;
  // The aquifer's event figures
  double gw_exfiltrated_event = 0.0;   // exfiltrated in this event
  double gw_exfiltrated_before = 0.0;  // exfiltrated in the run before this event
  double gw_exfiltrated_run = 0.0;     // exfiltrated in the whole run so far
  double gw_to_unsat = 0.0;            // taken from the aquifer into the soil zone
  double gw_recharge = 0.0;            // recharge from the soil
  double gw_xy_gain = 0.0;             // put in by the XY head points
  double gw_xy_loss = 0.0;             // taken out by the XY head points
};

// Water totals of the whole run, m3, and the storages at its start.
struct run_water_totals {
  double initial_surface = 0.0;
  double initial_channels = 0.0;
  double initial_soil = 0.0;
  double initial_simple_soil = 0.0;
  double initial_groundwater = 0.0;
  double initial_chan_lakes = 0.0;
  double initial_olakes = 0.0;
  double initial_snow = 0.0;     // snow water equivalent
  double initial_drains = 0.0;   // the pipes' film of the depth floor
  double snow_melt = 0.0;        // melt water the packs gave the surface
  long long channel_substeps = 0;  // sub-steps of the channel routing
  step_cuts overland_cuts;         // overland steps cut, by the sub-step left
  long long overland_retried = 0;  // explicit sub-steps routed again after a cut
  double precipitation = 0.0;    // reaching the surface, interception left out
  double interception = 0.0;
  double infiltration = 0.0;
  double evaporation = 0.0;      // all evapotranspiration
  double direct_evaporation = 0.0;
  double soil_evaporation = 0.0; // withdrawn by the soil routines
  double exfiltration = 0.0;
  double downward_flux = 0.0;    // out of the unsaturated zone
  double recharge = 0.0;         // into groundwater
  double sac_deep_recharge = 0.0;  // Sacramento recharge to deep groundwater
  double unsat_to_sat = 0.0;
  double gw_owed = 0.0;          // released by the soil, not yet taken in by the aquifer
  double gw_inputs = 0.0;
  double gw_head_boundary = 0.0; // flux across groundwater head boundaries
  double deep_leakage = 0.0;
  double pumping = 0.0;
  double pumping_asked = 0.0;  // what the wells asked; above pumping when one was cut
  double gw_to_tile_drains = 0.0;
  double xy_gain = 0.0;
  double xy_loss = 0.0;
  double overland_point_sources = 0.0;
  double channel_point_sources = 0.0;
  double slope_boundary_loss = 0.0;
  double head_boundary_loss = 0.0;
  double head_boundary_gain = 0.0;
  double discharge_boundary_gain = 0.0;
  double lateral_inflow = 0.0;
  double discharge = 0.0;
  double river_to_gw = 0.0;
  double gw_to_river = 0.0;
  double lakes_to_gw = 0.0;
  double gw_to_lakes = 0.0;
  double lake_precip = 0.0;
  double lake_inflow = 0.0;
  double lake_outflow = 0.0;
  double lake_evaporation = 0.0;
  double olake_inflow = 0.0;
  double olake_outflow = 0.0;
  double overland_to_drains = 0.0;
  double drains_to_overland = 0.0;
  double drains_to_channels = 0.0;
  double drains_from_fixed_heads = 0.0;  // drawn by the pipes from fixed-head junctions
  double drains_to_fixed_heads = 0.0;    // given by the pipes to fixed-head junctions
  double drain_volume = 0.0;
};

// The Sacramento basin at the end of the run: its stores in the order the
// summary lists them (upper tension, upper free, lower tension, lower
// primary free, lower supplementary free), mm, and its run totals, mm.
struct sac_run_summary {
  double capacity[5] = {};
  double initial[5] = {};
  double final[5] = {};
  double rainfall = 0.0;      // infiltration the basin received
  double pet = 0.0;           // potential evapotranspiration offered
  double aet = 0.0;           // taken by the basin
  double runoff = 0.0;        // base flow, interflow and surface excess
  double recharge = 0.0;      // to deep groundwater (the basin loses none)
  double residual = 0.0;      // the accounting's own running residual
  double area_factor = 0.0;   // m3 per mm over the watershed
};

summary_gates gather_summary_gates(const model_state& state);
sac_run_summary gather_sac_summary(const model_state& state);
event_water_totals gather_event_totals(const model_state& state);
run_water_totals gather_run_totals(const model_state& state);

// The storages at the end of the run, into the balance record.
void sum_final_storages(const model_state& state, water_balance& balance);
