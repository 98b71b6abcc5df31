#pragma once
// The input subsystem's part of the run record: the settings the project file
// fills and the working fields read_run_parameters derives from them before
// the time loop. Set-up and step routines read the working fields, never the
// cards, so that each derivation is made once.

#include <array>
#include <string>

#include "core/safe_file.h"
#include "input/input_files.h"
#include "input/map_tables.h"
#include "input/project_settings.h"
#include "input/replace_params.h"

struct input_state {
  project_settings settings;
  run_parameters params;
  precip_settings precip;
  input_files files;  // inputs opened before the grid inputs are read

  // Run control
  int optimize = 0;           // calibration rows are written (OPTIMIZE, or a calibration trial)
  std::string optimize_file;  // OPTIMIZE file name
  int optimize_sed = 0;       // sediment rows in the calibration output
  int super_quiet = 0;        // set-up notices and end messages silenced
  int quiet = 0;              // progress line off
  int long_term = 0;          // continuous run over many events
  int flush_buffer = 0;       // screen log flushed every flush_lines lines
  int flush_lines = 5000;     // lines between forced flushes
  int stream_info = 0;        // STREAM_INFO
  int analyzers = 0;          // an analyzer file is named
  std::string analyzer_file;  // analyzer file name
  double event_min_q = 0.1;   // event-end outlet discharge cutoff, m3/s

  // Start and stop times
  int start_year = 0;        // START_DATE and START_TIME of a uniform-rain run
  int start_month = 0;
  int start_day = 0;
  int start_hour = 0;
  int start_minute = 0;
  int start_yyyymmdd = 0;    // year*10000 + month*100 + day
  int start_hhmm = 0;        // hour*100 + minute
  double start_time = 0.0;   // Julian days; the clock origin of a uniform-rain run
  int stop_time_flag = 0;    // 1: END_TIME gave a year
  double stop_time = 0.0;    // Julian days

  // Precipitation
  int uniform_rain = 0;          // PRECIP_UNIF
  double rain_intensity = 0.0;   // uniform rain, mm/h
  int rain_duration = 0;         // uniform rain, minutes
  int precip_from_file = 0;      // PRECIP_FILE
  std::string precip_file;       // precipitation file name
  int inverse_distance = 0;      // gauges spread by inverse distance squared
  int nearest_gauge = 0;         // gauges spread by nearest gauge (Thiessen)

  // Surface
  int roughness_map = 0;          // roughness read from a map or table, not MANNING_N
  double retention_depth = 0.0;   // uniform retention depth, mm (0 without RETENTION)
  int interception = 0;           // interception maps in use

  // Channel routing
  int channel_routing = 0;     // any routing: explicit, implicit or mesh
  int explicit_channel = 0;    // method 3
  int implicit_channel = 0;    // methods 2 and 5
  int drain_flag = 0;          // method 2
  int mesh_channel = 0;        // method 4
  int chan_sed_routing = 0;    // channel sediment routing (explicit routing with erosion)
  int chan_discharge_output = 0;  // CHAN_DISCHARGE written (explicit routing only)

  // Channel settings taken over with explicit routing only (0 otherwise)
  int overbank_flow = 0;
  int overland_backwater = 0;
  int head_bound = 0;
  double bound_depth = 0.0;       // m
  std::string bound_ts;           // head boundary time series name
  double k_river = 0.0;           // stream loss coefficient
  double m_river = 0.0;           // stream loss exponent
  double m_lake = 0.0;            // lake outflow exponent
  int hotstart_is_depth = 0;
  int write_chan_hotstart = 0;    // EXPLIC_BACKWATER or WRITE_CHAN_HOTSTART
  std::string chan_hotstart_qht;  // written channel hot start: discharges (name + ".qht")
  std::string chan_hotstart_dht;  // and depths (name + ".dht")
  int read_chan_hotstart = 0;     // EXPLIC_HOTSTART or READ_CHAN_HOTSTART
  std::string chan_hotstart_read; // name read for both depths and discharges
  int stream_loss = 0;            // stream-aquifer exchange (also switched on by groundwater)
  std::string stream_cell;        // grid-stream connectivity file name
  double first_order_chan_q = 0.0;  // m3/s
  int chan_con_trans = 0;         // channel constituents
  double chan_decay_coef = 0.0;
  double chan_disp_coef = 0.0;
  double init_chan_conc = 0.0;

  // Infiltration and soil water
  int green_ampt = 0;          // method 1
  int inf_redist = 0;          // method 2
  int cont_redist = 0;         // continuous redistribution (method 2 without NO_CONT_INF_REDIST)
  int inf_layered_soil = 0;    // method 3
  int inf_richards = 0;        // method 4
  std::array<int, 5> soil_params{};  // CONDUCTIVITY, CAPILLARY, POROSITY, PORE_INDEX, RESIDUAL_SAT in use
  int moisture = 0;            // initial soil moisture read
  double uniform_soil_water = 0.15;  // uniform initial soil water content, m3/m3
  double soil_moist_depth = 0.0;     // cm
  double top_layer_depth = 0.0;      // cm
  double mixing_layer_depth = 0.0;   // cm
  std::array<int, 5> et_params{};    // ALBEDO, VHEIGHT, TCOEFF, CANOPY, WILTING_POINT in use
  int sacramento = 0;                // Sacramento soil-moisture accounting
  std::string sacramento_file;       // its parameter file name
  int topo_index = 0;

  // Orographic variation of the meteorology (OROGVAR_HMET)
  double hmet_gage_elev = 0.0;   // elevation of the meteorological gauge, m
  double hmet_lapse_rate = 0.0;  // temperature lapse rate, in the units of HMET_LAPSE_RATE

  // Groundwater
  int water_table = 0;        // water-table coupling (WATER_TABLE)
  int gw_simulation = 0;      // WATER_TABLE with GW_SIMULATION

  // Constituents and nutrients
  int ov_con_trans = 0;        // overland constituents
  int soil_con_trans = 0;      // soil-layer constituents
  int all_contam_output = 0;   // constituent maps and link files written
  int soil_erosion = 0;        // overland erosion and sediment transport
  int nutrients = 0;           // nutrient model on
  nutrient_settings* nutrient_record = nullptr;  // held by settings

  // Outputs
  std::array<int, 3> map_kind{};  // map output kinds chosen by MAP_TYPE
  int flood_grid = 0;
  std::string flood_grid_file;
  int flood_stream = 0;
  std::string flood_stream_file;
  int daily_output = 0;
  std::string daily_output_file;
  int* q7_input_flag = nullptr;  // Q7_INPUT flag, when Q7_INPUT or Q7_FLUXES is given
  safe_file q7_input_file;       // inflow hydrograph for the reservoir water-quality model

  // Land-management framework
  int qtr = 0;                // framework exchange on
  int vune = 0;               // data shared with the vegetation model
  int vune_first = 0;
  int qtr_event = 0;          // framework event mode (QTR_EVENT_NUM given)
  int qtr_event_num = -1;     // the event asked for
  std::string exchange_file;  // "exchange/" + VUNE name
  std::array<std::string, 13> vune_files;  // MOIST_TO_VUNE .. ET_DEMAND_FROM_VUNE, each "exchange/" + name

  // Mapping-table kinds found in the named tables, filled by their checks
  std::array<int, table_kind::last_table + 1> map_table_present{};  // by grid table kind 1..32
  std::array<int, 7> st_map_table_present{};   // by stream mapping table kind 1..6
  ts_index_list ts_index;  // the mapping table's TIME_SERIES_INDEX, built by this run's first table read

  // Replacement substitution is switched on by each run's own project (or
  // calibration trial) and ends with the run's record, however the run ended.
  substitution_guard substitution;
};
