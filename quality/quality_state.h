#pragma once
// The sediment, constituent and nutrient part of the run record.

#include <memory>
#include <string>
#include <vector>

#include "core/safe_file.h"
#include "quality/chan_contam_state.h"
#include "quality/chan_sed_contam_state.h"
#include "quality/contaminant_model.h"
#include "quality/chan_sediment_state.h"
#include "quality/nsm_model.h"
#include "quality/sediment_state.h"

struct quality_state {
  int mass_step_flag = 1;            // per-cell constituent mass step flag
  int sediment_option = 4;           // set again by the sediment input reader
  int constituent_index = -1;        // read and reset by the constituent input reader
  std::string con_output = "con_output";  // base name of the channel constituent output

  int constituents = 0;              // constituents modelled
  int sed_locations = 0;             // sediment output locations
  double event_sed_peak = 0.0;       // peak outlet sediment discharge of the event, m3/s
  double event_sed_total = 0.0;      // outlet sediment of the event, m3
  std::vector<double> sed_loc_peak;  // per sediment location [1..sed_locations], m3/s
  std::vector<double> sed_loc_total; // per sediment location, m3

  // Channel constituent rows [constituent 1..n][node address], kept by the
  // channel constituent steps; the 1DS analyzers read them.
  std::vector<std::vector<double>> chan_node_conc;   // node concentration, g/m3
  std::vector<std::vector<double>> chan_node_mass;   // node mass, g
  std::vector<std::vector<double>> chan_point_conc;  // point-source concentration, g/m3
  std::vector<std::vector<double>> conc_qlat;        // lateral-inflow concentration, g/m3
  std::vector<std::vector<double>> chan_qlat_mass;   // lateral-inflow mass, g
  std::vector<std::vector<double>> chan_gw_mass;     // groundwater mass, g
  std::vector<std::vector<double>> chan_nsm_source;  // nutrient source, g
  sediment_state sediment;           // overland erosion (SOIL_EROSION)
  contaminant_model contam;          // dissolved constituents on the grid and in the soil
  chan_sediment_state chan_sediment; // sand and fines in the channels
  std::unique_ptr<nsm_model> nsm;    // the nutrient model, with NUTRIENTS
  chan_contam_state chan_contam;     // dissolved constituents in the channels and lakes
  chan_sed_contam_state chan_sed_contam;  // constituents on the channel and lake fines
  safe_file con_output_file;         // the channel constituent output, with ALL_CONTAM_OUTPUT
};
