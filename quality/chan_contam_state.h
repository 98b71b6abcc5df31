#pragma once
// Dissolved constituents in the channels and channel lakes: per constituent
// (from 1) and node address the decay rates, dispersion and the amounts
// other processes leave pending for the channel constituent step; per lake
// the lake's mass and its pending amounts; the clocks of the decay, outlet
// and groundwater takes; and the run and event totals the summaries read.
// The node concentrations and masses themselves are the quality record's
// chan_node_conc and chan_node_mass rows, which the analyzers read too.

#include <vector>

#include "core/run_control.h"
#include "quality/chan_wq_route.h"

// Rows per constituent [0..constituents], each over node addresses or lakes.
using chan_rows = std::vector<std::vector<double>>;

// Channel and lake totals of one constituent, kg (added to by the step
// that moves the mass, once per step).
struct chan_contam_totals {
  double chan_init = 0.0;      // in the channels at the start
  double outlet = 0.0;         // out through the outlet
  double point = 0.0;          // brought by point sources
  double decay = 0.0;          // decayed in the channels
  double lateral = 0.0;        // brought over the banks from the cells
  double groundwater = 0.0;    // exchanged with the aquifer, into the stream +
  double sed_exchange = 0.0;   // released by the suspended sediment
  double nsm_gain = 0.0;       // gained by nutrient kinetics in the channels
  double nsm_loss = 0.0;       // lost to nutrient kinetics in the channels (negative)
  double lake_init = 0.0;      // in the lakes at the start
  double lake_inflow = 0.0;    // carried into the lakes by the channels
  double lake_outflow = 0.0;   // carried out of the lakes into the channels
  double lake_point = 0.0;     // point sources into the lakes
  double lake_decay = 0.0;     // decayed in the lakes
  double lake_groundwater = 0.0;  // exchanged between lakes and aquifer, into the lake +
  double lake_precip = 0.0;    // rain on the lakes
  double lake_exchange = 0.0;  // exchanged with the channels by the lake extent
  double lake_overland = 0.0;  // brought by the cells into the lakes
};

struct chan_contam_state {
  int on = 0;               // CHAN_CON_TRANS with the arrays set up
  int constituents = 0;     // rows of every per-constituent array
  double decay_rate = 0.0;  // CHAN_DECAY_COEF, 1/day
  double disp_coef = 0.0;   // CHAN_DISP_COEF, m2/s
  double init_conc = 0.0;   // INIT_CHAN_CONC, g/m3

  // Per constituent and node address
  chan_rows chan_node_disp;        // dispersion coefficient, m2/s
  chan_rows chan_decay_coef;       // first-order decay, 1/s
  chan_rows chan_mass;             // decay pending, g (a loss)
  chan_rows chan_point_mass_flux;  // point-source mass pending, g
  chan_rows dissolved_chan_flux;   // dissolved mass rate passed on by the node, g/s
  chan_rows chan_node_sed_source_mass;  // released by attached sediment, g
  // Per constituent
  std::vector<double> outlet_pending;  // outflow mass pending at the outlet, g

  // Per constituent and lake (channel lakes only)
  chan_rows lake_conc;               // g/m3
  chan_rows lake_mass;               // g
  chan_rows lake_decay_coef;         // 1/s
  chan_rows lake_decay_mass;         // decay pending, g (a loss)
  chan_rows lake_precip_mass;        // rain pending, g
  chan_rows lake_gw_mass;            // aquifer exchange pending, g
  chan_rows lake_ov_inflow_mass;     // from the cells, pending, g
  chan_rows lake_chan_exchange_mass; // from the lake extent's node moves, pending, g
  chan_rows lake_chan_inflow_mass;   // carried in by the channels, g, a record
  chan_rows lake_chan_outflow_mass;  // carried out into the channels, g, a record
  std::vector<double> lake_precip_volume;  // per lake, rain since last loaded, m3
  std::vector<double> cell_lake_gw_volume; // per grid cell, lake-aquifer exchange, m3, into the lake +
  std::vector<int> node_in_lake;  // per node address, 1 while a lake holds the node's mass

  // The takes' clocks (Julian days) and the intervals they last spanned
  int clocks_started = 0;
  process_clock decay;
  process_clock outlet;
  process_clock groundwater;
  process_clock nutrients;
  double decay_interval = 0.0;        // s
  double nutrient_interval = 0.0;     // s
  double outlet_interval = 0.0;       // s
  double groundwater_interval = 0.0;  // s

  // The bank exchange of each grid-stream entry since the cells' masses were
  // last handed on: the share of a cell's mass each of its nodes receives.
  std::vector<double> pair_volume_seen;  // per entry, gst_vlat when last read, m3
  std::vector<double> pair_weight;       // per entry, share of its cell's outflow
  std::vector<int> stream_cell_of;       // per grid cell, its stream cell, 0 none

  chan_wq_work work;
  std::vector<chan_contam_totals> run;    // per constituent [1..n]
  std::vector<chan_contam_totals> event;  // per constituent [1..n]
  std::vector<double> event_chan_init;    // per constituent, channel mass at the event start, kg
  std::vector<double> event_lake_init;    // per constituent, lake mass at the event start, kg
};
