#pragma once
// The outputs' part of the run record: the files the run writes.

#include <vector>

#include "core/grid_state.h"
#include "core/safe_file.h"

struct output_state {
  int summary_flag = 1;        // end-of-run summary is written
  int event_summary_flag = 1;  // event summaries are written

  safe_file summary;       // run summary; the reporter copies messages here
  safe_file outlet_hydro;  // outlet hydrograph

  // Further files the project's cards name, created when the project's files
  // are opened; each writer finds its file here.
  safe_file evap_out;              // "evap_out": soil-water and evaporation averages
  safe_file well_level;            // GW_WELL_LEVEL
  safe_file chan_hotstart_depth;   // channel hot start written: depths (".dht")
  safe_file chan_hotstart_flow;    // channel hot start written: discharges (".qht")
  safe_file hyd_location;          // OUT_HYD_LOCATION
  safe_file gwflux_location;       // OUT_GWFLUX_LOCATION
  safe_file celldepdis_location;   // OUT_CELLDEPDIS_LOCATION
  safe_file sig_outlet_hydro;      // SIG_OUTLET_HYDRO
  safe_file superlink_junc_flow;   // SUPERLINK_JUNC_FLOW
  safe_file superlink_node_flow;   // SUPERLINK_NODE_FLOW
  safe_file lake_output;           // LAKE_OUTPUT
  safe_file dep_location;          // OUT_DEP_LOCATION
  safe_file con_location;          // OUT_CON_LOCATION
  safe_file mass_location;         // OUT_MASS_LOCATION
  safe_file theta_location;        // OUT_THETA_LOCATION
  safe_file chan_depth;            // CHAN_DEPTH
  safe_file chan_discharge;        // CHAN_DISCHARGE
  safe_file chan_stage;            // CHAN_STAGE
  safe_file chan_velocity;         // CHAN_VELOCITY
  safe_file flood_stream;          // FLOOD_STREAM
  safe_file chan_sed_flux;         // CHAN_SED_FLUX
  safe_file pipe_head;             // PIPE_HEAD
  safe_file pipe_tile;             // PIPE_TILE
  safe_file pipe_flow;             // PIPE_FLOW

  // Cells of the soil-water location output (IN_THETA_LOCATION)
  int theta_cells = 0;              // listed cells
  std::vector<int> theta_cell;      // cell number of location i [1..theta_cells], 0 off the watershed
  std::vector<int> theta_count;     // Richards runs: ids listed for location i
  block_2d<int> theta_ids;          // Richards runs: [i][1..count] the listed layer ids
};
