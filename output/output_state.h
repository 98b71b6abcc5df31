#pragma once
// The outputs' part of the run record: the files the run writes.

#include <memory>
#include <vector>

#include "core/grid_state.h"
#include "core/safe_file.h"
#include "output/linknode_writer.h"
#include "output/map_writer.h"
#include "output/q7_flux.h"
#include "output/xy_outputs.h"

// The end-of-run water balance: final storages and errors that write_summary
// forms and keeps for the rest of the run. Volumes in m3, errors as marked.
struct water_balance {
  double final_surface = 0.0;      // water on the cells, channel-lake cells left out
  double final_soil = 0.0;         // soil water
  double final_simple_soil = 0.0;  // simple soil-moisture store
  double final_channel = 0.0;      // water in the routed channel links
  double final_groundwater = 0.0;  // saturated zone
  double final_snow = 0.0;         // snow water equivalent
  double final_chan_lake = 0.0;    // channel lakes
  double final_olake = 0.0;        // overland lakes
  double net_boundary_loss = 0.0;  // overland boundaries: losses less gains
  double initial_storage = 0.0;    // every store at the start
  double final_storage = 0.0;      // every store at the end
  double overall_error = 0.0;      // percent of initial storage and inputs
  double surface_error = 0.0;      // percent
  double groundwater_error = 0.0;  // percent of the starting groundwater volume
  double simple_soil_error = 0.0;  // percent
  double chan_lake_error = 0.0;    // m3
  double olake_error = 0.0;        // m3
  double drain_error = 0.0;        // m3
};

struct output_state {
  int summary_flag = 1;        // end-of-run summary is written
  int event_summary_flag = 1;  // event summaries are written
  int outlet_rows = 0;         // outlet hydrograph rows written
  // Number of the next "TS" record of each channel link/node file
  int chan_depth_records = 0;
  int chan_discharge_records = 0;
  int chan_velocity_records = 0;
  int chan_stage_records = 0;
  int chan_sed_flux_records = 0;
  int pipe_flow_records = 0;
  int pipe_head_records = 0;
  int pipe_tile_records = 0;
  water_balance water;         // set by write_summary
  q7_data q7;                  // Q7 segment fluxes (Q7_FLUXES)
  xy_output xy;                // XY point outputs (XYBDYOUTPUT_PTS, XYBDYOUTPUT_MASK)

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
  safe_file tpg_hydro;             // TPG_HYDRO, written at the end of the run
  safe_file tpg_outlet_reader;     // the outlet hydrograph read back for it
  safe_file tpg_location_reader;   // the location hydrographs read back for it

  // Gridded maps: the datasets of the fixed maps by index (0 depth,
  // 1 discharge, 2 rain, ..., 11 flood grid; ids 1010 + index), the count of
  // per-time grid outputs so far, and the cell discharges (m3/s, per cell
  // [1..cells]) formed just before they are written.
  safe_file map_dataset[15];
  int map_grid_count = 0;
  std::vector<double> cell_discharge;
  std::vector<double> lake_depth;       // DEPTH map: cell depths with the channel lakes, m
  // SNOW_TEMP: the pack's temperature, its antecedent temperature index, deg C
  map_writer snow_temp_map;
  // ALL_CONTAM_OUTPUT: per contaminant a concentration and a mass writer,
  // in that order, over the constituents' own arrays
  std::vector<std::unique_ptr<map_writer>> contam_maps;
  // ... and, with the channel constituents, a concentration and a mass
  // link/node writer over its node arrays, in that order
  std::vector<std::unique_ptr<linknode_writer>> contam_links;
  std::vector<double> sed_flux_map;     // MAX_SED_FLUX map: sediment flux out of each cell, cm3/s
  std::vector<double> net_sed_map;      // NET_SED_VOLUME map: net deposition, mm

  // Cells of the soil-water location output (IN_THETA_LOCATION)
  int theta_cells = 0;              // listed cells
  std::vector<int> theta_cell;      // cell number of location i [1..theta_cells], 0 off the watershed
  std::vector<int> theta_count;     // Richards runs: ids listed for location i
  block_2d<int> theta_ids;          // Richards runs: [i][1..count] the listed layer ids
};
