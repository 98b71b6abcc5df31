#pragma once
// The soil-water subsystem's part of the run record: the flags and dates the
// clocks and event tests read, the per-cell infiltration parameters read at
// set-up, the per-cell state of the run's infiltration method, the simple
// soil-moisture store and the totals the summaries read.

#include <array>
#include <vector>

#include "soil/longterm_state.h"
#include "soil/richards_soil.h"
#include "soil/sacramento.h"
#include "soil/snow_state.h"

// One soil type of the layered method: three layers, the third unbounded.
// Index 1..3 by layer; slot 0 unused.
struct soil_type_record {
  int id = 0;                      // id of the soil-type map
  std::array<double, 4> k{};       // saturated conductivity, cm/h
  std::array<double, 4> lambda{};  // pore-size index
  std::array<double, 4> psi{};     // capillary head, cm
  std::array<double, 4> phi{};     // porosity
  std::array<double, 4> fc{};      // field-capacity content
  std::array<double, 4> wp{};      // wilting-point content
  std::array<double, 4> thr{};     // residual content
  std::array<double, 4> thi{};     // initial content
  double d1 = 0.0;                 // depth of layer 1, cm
  double d2 = 0.0;                 // depth of layer 2, cm
};

struct soil_state {
  double snow_const_a = 80.0;  // snow-model constants handed to the snow routine
  double snow_const_b = 27.0;

  // Parameters per cell [1..cells], read by read_soil_maps
  std::vector<double> ksat;            // saturated conductivity, m/s
  std::vector<double> capillary;       // capillary head, m
  std::vector<double> porosity;        // m3/m3
  std::vector<double> pore_index;      // Brooks-Corey lambda
  std::vector<double> residual;        // residual content, m3/m3
  std::vector<double> field_capacity;  // m3/m3
  std::vector<double> wilting_point;   // m3/m3
  std::vector<double> initial_theta;   // initial water content thi, m3/m3
  // Evapotranspiration parameters per cell [1..cells], read by read_et_maps;
  // empty unless the mapping table or a long-term run gives them.
  std::vector<double> albedo;          // fraction of shortwave reflected
  std::vector<double> veg_height;      // vegetation height, m
  std::vector<double> trans_coeff;     // canopy transmission coefficient, fraction
  std::vector<double> canopy_resist;   // canopy resistance, s/m
  std::vector<double> area_factor;     // 1 - area-reduction map value; multiplies rates
  int area_reduction = 0;              // area_factor is in use
  std::vector<int> soiltype;           // layered: index into soil_types
  std::vector<soil_type_record> soil_types;  // layered: [1..count], in file order
  std::vector<std::array<double, 4>> theta_ml;  // layered: initial content of layers 1..3
  // Inputs the withdrawal reads from evapotranspiration (cm/s); empty until
  // that process fills them. The water table lives with the groundwater.
  std::vector<double> et_rate1;        // potential rate (PET), on ponded water and layer 1, cm/s
  std::vector<double> et_rate2;        // actual rate (AET), on the soil, cm/s
  std::vector<double> frozen_index;    // frozen-ground index; above 83 the soil takes no water
  double gw_loss_rate = 0.0;           // groundwater loss from a flooded surface, cm/h

  int saturated_surface = 0;  // a cell's soil column starts saturated to the surface
  int hmet_start_year = 0, hmet_start_month = 0, hmet_start_day = 0, hmet_start_hour = 0;
  int hmet_end_year = 0, hmet_end_month = 0, hmet_end_day = 0, hmet_end_hour = 0;
  double hmet_end_time = 0.0;  // Julian date of the last meteorology record

  // Per-cell state [1..cells]
  std::vector<double> surface_moisture;  // water content shown in the moisture outputs
  std::vector<double> cum_inf;           // infiltrated since the method last restarted, m
  std::vector<double> prev_cum_inf;      // cum_inf at the last infiltration step, m
  std::vector<double> event_inf;         // infiltrated in the current event, m
  std::vector<double> inf_rate;          // last rate, cm/h
  std::vector<double> sm_inf;            // infiltrated since the last store update, m
  std::vector<double> ga_m;              // Green and Ampt (phi - thi) x psi, m; built once a run
  std::vector<double> front_theta;       // redistribution: upper front content theta0
  std::vector<double> front1_depth;      // redistribution: depth held by the lower front F1, m
  std::vector<double> theta_out;         // redistribution: content reported for the cell
  std::vector<int> iter_pond_1;          // call at which the current ponding began, 0 none
  std::vector<int> iter_n;               // call of the last redistribution, 0 none
  std::vector<int> no_wat_prof;          // 0 one front, 1 new ponding on a profile, 2 two fronts
  std::vector<int> iter_i_less_k;        // last call in which the supply went in directly
  std::vector<double> wetdep;            // layered: wetting-front depth, cm
  std::vector<int> yes_exfil;            // 1: the water table stands at the surface
  std::vector<double> cum_exfil;         // water-table exchange of the run, m
  // Simple soil-moisture store, cm
  std::vector<double> store_depth;       // D
  std::vector<double> m1;                // water of layer 1
  std::vector<double> m2;                // water of layer 2
  std::vector<double> total_water;       // M1 + M2
  std::vector<double> direct_evap;       // evaporated from ponded water
  std::vector<double> deep_perc;         // drained below the store
  std::vector<double> drain1;            // drained out of layer 1
  std::vector<double> drain2;            // drained out of the bottom layer
  std::vector<double> drain3;            // drained out of the bottom layer, a second tally
  std::vector<double> gw_theta;          // content below the store down to the water table

  int redist_calls = 0;       // ga_redist_parallel calls of the run
  int redist_first_pass = 0;  // the event's redistribution state is initialised
  int newton_failed_cell = 0; // first cell whose Newton loop did not converge, 0 none

  // Totals, m3 unless marked
  double infiltrated_volume = 0.0;    // run
  double event_infiltrated = 0.0;     // the last finished event's
  double evaporated_volume = 0.0;     // withdrawn by evapotranspiration, run
  double event_evaporated = 0.0;      // withdrawn by evapotranspiration, current event
  double richards_upward = 0.0;       // the last Richards step's upward water, m over cells
  double exfiltrated_volume = 0.0;    // water-table exchange onto the surface, run
  double event_start_exfiltrated = 0.0;  // exfiltrated_volume when the event began
  double initial_soil_volume = 0.0;   // simple store at the start
  double initial_total_soil = 0.0;    // every soil store at the start
  double withdrawn_exfil = 0.0;       // withdrawn from cells at the water table
  double deep_perc_volume = 0.0;      // deep percolation moved out at event starts
  double table_exchange_volume = 0.0; // taken by a rising table (left by a falling one), run
  double direct_evap_volume = 0.0;    // per-cell direct evaporation moved out at event starts
  double sm_inf_volume = 0.0;         // soil-moisture infiltration moved into the store
  double sac_infiltrated = 0.0;       // depth the Sacramento step reads, m

  // Long-term runs: the soil's run totals at the event start (m3) and the
  // event's figures for the event summary
  double event_start_direct_evap = 0.0;  // direct evaporation
  double event_start_recharge = 0.0;     // drained below the soil-moisture store
  double event_direct_evap = 0.0;        // the last finished event's direct evaporation, m3
  double event_recharge = 0.0;           // and its water drained below the store, m3
  double event_initial_moisture = 0.0;   // mean relative saturation at the event start
  double event_final_moisture = 0.0;     // and at its end
  double event_start_snow = 0.0;         // snow water equivalent at the event start, m3
  double event_end_snow = 0.0;           // and at its end, m3
  double event_start_melt = 0.0;         // the run's melt water at the event start, m3
  double event_melt = 0.0;               // the last finished event's melt water, m3

  // Long-term runs: meteorology and evapotranspiration
  longterm_state longterm;
  // Long-term runs: the snow pack; a cell under snow gives no evapotranspiration
  snow_state snow;
  sacramento_state sac;          // the lumped basin, with SACRAMENTO
  int snow_present = 0;          // some cell off the lakes holds snow
  double initial_snow_volume = 0.0;  // snow water equivalent at the start, m3

  // Richards method
  richards_soil richards;      // soil types and per-cell columns, sized by init_richards_soil
};
