#pragma once
// The input files the project's cards name, opened for reading in one fixed
// order before the grid inputs are read. Each reader takes its file from here
// and closes it when it has read it; a file left open is closed with the run
// record. Files the run writes are held by the output record.

#include "core/safe_file.h"

struct input_files {
  safe_file watershed_mask;           // WATERSHED_MASK
  safe_file elevation;                // ELEVATION
  safe_file gw_boundary;              // GW_BOUNDFILE
  safe_file well_location;            // OUT_WELL_LOCATION
  safe_file gw_hycond;                // GW_HYCOND_MAP
  safe_file gw_porosity;              // GW_POROSITY_MAP
  safe_file water_table;              // WATER_TABLE
  safe_file aquifer_bottom;           // AQUIFER_BOTTOM
  safe_file soil_type;                // SOIL_TYPE_MAP, or the Richards table's index map
  safe_file soil_layers;              // SOIL_LAYER_INPUT_FILE
  safe_file moisture;                 // MOISTURE
  safe_file conductivity;             // CONDUCTIVITY
  safe_file capillary;                // CAPILLARY
  safe_file porosity;                 // POROSITY
  safe_file pore_index;               // PORE_INDEX
  safe_file residual_sat;             // RESIDUAL_SAT
  safe_file hydromet;                 // the hydrometeorological data of a long-term run
  safe_file albedo;                   // ALBEDO
  safe_file vheight;                  // VHEIGHT
  safe_file tcoeff;                   // TCOEFF
  safe_file canopy;                   // CANOPY
  safe_file wilting_point;            // WILTING_POINT
  safe_file precip;                   // PRECIP_FILE
  safe_file stream_cell;              // STREAM_CELL
  safe_file storage_capacity;         // STORAGE_CAPACITY
  safe_file interception_coeff;       // INTERCEPTION_COEFF
  safe_file overland_lake_map;        // OVERLAND_LAKE_MAP
  safe_file overland_lake_file;       // OVERLAND_LAKE_FILE
  safe_file retention;                // RETEN_DEPTH map
  safe_file roughness;                // ROUGHNESS
  safe_file channel_input;            // CHANNEL_INPUT
  safe_file ov_hotstart;              // OV_INIT_DEPTH / READ_OV_HOTSTART
  safe_file swe_hotstart;             // INIT_SWE_DEPTH map
  safe_file sm_hotstart;              // READ_SM_HOTSTART
  safe_file chan_hotstart_depth;      // channel hot start read: depths
  safe_file chan_hotstart_flow;       // channel hot start read: discharges
  safe_file hyd_location;             // IN_HYD_LOCATION
  safe_file gwflux_location;          // IN_GWFLUX_LOCATION
  safe_file celldepdis_location;      // IN_CELLDEPDIS_LOCATION
  safe_file superlink_junc_location;  // SUPERLINK_JUNC_LOCATION
  safe_file superlink_node_location;  // SUPERLINK_NODE_LOCATION
  safe_file theta_location;           // IN_THETA_LOCATION
  safe_file contam_map;               // CONTAM_MAP
};
