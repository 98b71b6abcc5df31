#pragma once
// The constituent model of a run as the quality record holds it: the list
// read from the contaminant table with its names and output flags, the state
// of constituent_state, the clocks of the overland processes, the work
// arrays of the steps and the run and event totals the summaries read.

#include <string>
#include <vector>

#include "core/run_control.h"
#include "quality/cell_contam_flux.h"
#include "quality/constituent_state.h"
#include "quality/sed_contam_state.h"
#include "quality/soil_layer_contam.h"
#include "quality/soil_layer_transfer.h"

// The whole constituent model of a run: the list, its parameters and state,
// the process clocks of the overland steps, their work arrays and the totals.
struct contaminant_model {
  int on = 0;                    // overland constituent transport
  int present = 0;               // the contaminant table was read
  int contaminants = -1;         // entries the table gave; -1 until it is read
  int soil_transport = 0;        // the soil layers carry the constituents
  double kinetics_factor = 1.0;  // decay and exchange interval in base intervals
  double soil_kinetics_factor = 1.0;  // nutrient soil clock in soil-water steps
  int first_nutrient = -1;       // first entry of the nutrient block; -1 without it
  int nutrient_entries = 0;      // 9 species, and 4 soil-only pools with soil transport
  std::vector<std::string> name;         // per constituent, the table's description
  std::vector<std::string> output_name;  // per constituent, its output file prefix
  std::vector<int> map_flag;             // per constituent, 1: its maps are written
  std::vector<double> partition;         // per constituent, water-soil partition coefficient, L/kg
  constituent_state c;

  // Process clocks, Julian days; each gathers over (now - last). Rain
  // loading keeps the run's overland constituent clock, so that it spans the
  // interval the rain step applied.
  process_clock infiltration; // infiltrated mass
  process_clock exchange;     // land-surface exchange
  process_clock decay;        // overland decay
  process_clock outlet;       // outlet outflow
  process_clock cell;         // the cell mass step
  double rain_interval = 0.0;          // s, of the last run of each process
  double infiltration_interval = 0.0;  // s
  double exchange_interval = 0.0;      // s
  double decay_interval = 0.0;         // s
  double outlet_interval = 0.0;        // s
  process_clock nsm_kinetics;          // nutrient kinetics (a clock only)
  process_clock nsm_soil;              // nutrient soil clock of the soil-layer step
  process_clock nsm_soil_flux;         // nutrient soil fluxes
  double nsm_kinetics_interval = 0.0;  // s
  double nsm_soil_flux_interval = 0.0; // s
  int sweep_order = 1;                 // 1 columns first, 2 rows first; alternates
  int started = 0;                     // the clocks were started at the first due pass

  std::vector<double> ov_infil_vol;  // per cell, infiltrated since last gathered, m3
  std::vector<double> depth_last;    // per cell, depth at the last cell mass step, m
  std::vector<double> mixing_water;  // per cell, water of the soil's mixing layer, m3
  std::vector<double> soil_content;  // per cell, water content of a one-layer soil, m3/m3
  std::vector<double> exfil_seen;    // per cell, the soil's water-table exchange of the run when
                                     // the soil layers last moved, m
  std::vector<double> exfil_water;   // per cell, exfiltrated since then, m
  double soil_interval = 0.0;        // s, of the soil-layer step's last run
  constituent_cells cell_qlat_mass;  // per constituent and cell, passed to the channels, g
  double outflow_seen = 0.0;         // the surface's outlet outflow total when last gathered, m3
  contam_flux_work work;

  // Soil layers
  soil_layer_geometry geometry;  // per cell layer count, thicknesses and porosities
  soil_layer_work soil_work;

  sed_contam_state sed;  // constituents attached to the overland fines

  std::vector<constituent_totals> run;           // per constituent [1..n]
  std::vector<constituent_event_totals> event;   // per constituent [1..n]
};
