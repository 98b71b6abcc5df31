#pragma once
// Run settings filled by the project-file reader: one field per card value,
// named as the card word in lower case. A name card also has <word>_given,
// set when the card is read (even with its value missing); synonyms share the
// field of the first word. Every setting starts at 0 or an empty name except
// the defaults written here, which the reader restores before each file.

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "input/series.h"
#include "input/xy_inputs.h"

// Values of the nutrient cards, kept until the nutrient model is built from
// them. Constituent index order: NO2, NO3, NH4, ON, OP, DP, ALG, CBOD, DO.
struct nutrient_source {
  int kind = 0;        // 1 map, 2 none given, 3 uniform
  double value = 0.0;  // uniform initial value
  std::string name;    // map file name
};

struct nutrient_output_file {
  int flag = 0;      // 1: write this constituent
  std::string name;  // output file name
};

struct nutrient_settings {
  std::string aq_env;                       // aquatic environment file name
  std::array<nutrient_source, 12> ov_init;  // 9 constituents, DOC initial, DOC fraction, dispersion
  std::array<nutrient_source, 9> st_init;   // stream initial values
  std::array<nutrient_output_file, 9> out_ov;    // overland maps
  std::array<nutrient_output_file, 9> out_st;    // stream outputs
  std::array<nutrient_output_file, 9> out_hyd;   // hydrograph outputs
};

// Basic run parameters: units, grid, clock, outlet, dates and method codes.
struct run_parameters {
  int units = 0;              // units flag
  double gridsize = 0.0;      // cell size, m
  int rows = 0;
  int cols = 0;
  int tot_time = 0;           // run length, minutes
  double timestep = 0.0;      // overland step, s
  double st_time_step = 0.0;  // channel step, s
  int outrow = 0;             // outlet cell row, from 1
  int outcol = 0;             // outlet cell column, from 1
  double outslope = 0.0;      // outlet slope, m/m
  double hyd_freq = 0.0;      // hydrograph write interval, minutes
  int map_freq = 0;           // map write interval, minutes
  int map_type = 0;           // map output kind 0..3 (4 refused)
  int start_date_year = 0;
  int start_date_month = 0;
  int start_date_day = 0;
  int start_time_hour = 0;
  int start_time_minute = 0;
  int end_time_year = 0;      // 0: no stop time
  int end_time_month = 0;
  int end_time_day = 0;
  int end_time_hour = 0;
  int end_time_minute = 0;
  double latitude = 0.0;      // degrees
  double longitude = 0.0;     // degrees
  double gmt = 0.0;           // offset from GMT, hours
  int gmt_given = 0;          // 1: GMT card given
  int qout_cfs = 0;           // flag: outlet discharge shown in cfs
  int quiet = 0;              // flag: no progress line
  int infiltration_method = 0;  // 0 none, 1 GREEN_AMPT, 2 INF_REDIST, 3 INF_LAYERED_SOIL, 4 INF_RICHARDS
  int channel_method = 0;       // 0 none, 1 CHAN_PREISS, 2 CHAN_DRAIN, 3 CHAN_EXPLIC, 4 CHAN_MESH, 5 CHAN_BACKWATER
  int project_file_missing = 0;     // 1: the project file could not be opened
  int gw_fluxboundtable_given = 0;  // 1: a groundwater flux boundary table was named
};

// Precipitation source and gauge interpolation.
struct precip_settings {
  int precip_source = 0;        // 0 uniform (PRECIP_UNIF), 1 file (PRECIP_FILE)
  int rain_interpolation = 0;   // 0 inverse distance squared, 1 nearest gauge (Thiessen)
  double rain_intensity = 0.0;  // uniform rain, mm/h
  int rain_duration = 0;        // uniform rain, minutes
  std::string precip_file;      // precipitation file name
  int precip_file_given = 0;    // 1: PRECIP_FILE was given
};

// Every other card.
struct project_settings {
  // Run, grid and clock
  int long_term = 0;  // flag
  int strict_julian_date = 0;  // flag
  int pause = 0;  // flag
  int super_quiet = 0;  // flag
  int suppress_printing = 0;  // print suppression level
  int flush_buffer = 0;  // flag
  int flush_buffer_lines = 0;  // screen-log lines between forced flushes
  int num_threads = 0;  // thread count asked for
  double event_min_q = 0.1;  // outlet discharge ending an event, m3/s
  std::string fyssi;
  int fyssi_given = 0;

  // Side files and folders
  int replace_line = 0;  // 1-based line of the replacement value file
  std::string mapping_table;
  int mapping_table_given = 0;
  std::string st_mapping_table;
  int st_mapping_table_given = 0;
  std::string project_folder;  // also PROJECT_PATH
  int project_folder_given = 0;
  std::string replace_folder;  // also OUTPUT_FOLDER
  int replace_folder_given = 0;
  std::string analyzers;
  int analyzers_given = 0;
  std::string time_series_file;
  int time_series_file_given = 0;
  std::string elev_series_file;
  int elev_series_file_given = 0;
  std::string replace_params;
  int replace_params_given = 0;
  std::string replace_vals;
  int replace_vals_given = 0;

  // Surface maps, surface files and uniform surface values
  int interception = 0;  // flag
  double manning_n = 0.0;  // uniform Manning n, s/m^(1/3)
  int manning_n_given = 0;
  double retention = 0.0;  // uniform retention depth, m
  int retention_given = 0;
  double unif_area_reduction = 0.0;  // uniform area reduction fraction
  int unif_area_reduction_given = 0;
  std::string watershed_mask;
  int watershed_mask_given = 0;
  std::string elevation;
  int elevation_given = 0;
  std::string storage_capacity;
  int storage_capacity_given = 0;
  std::string interception_coeff;
  int interception_coeff_given = 0;
  std::string roughness;
  int roughness_given = 0;
  std::string area_reduction;
  int area_reduction_given = 0;
  std::string conductivity;
  int conductivity_given = 0;
  std::string contam_map;
  int contam_map_given = 0;
  std::string capillary;
  int capillary_given = 0;
  std::string porosity;
  int porosity_given = 0;
  std::string moisture;
  int moisture_given = 0;
  std::string pore_index;
  int pore_index_given = 0;
  std::string residual_sat;
  int residual_sat_given = 0;
  std::string albedo;
  int albedo_given = 0;
  std::string vheight;
  int vheight_given = 0;
  std::string tcoeff;
  int tcoeff_given = 0;
  std::string canopy;
  int canopy_given = 0;
  std::string wilting_point;
  int wilting_point_given = 0;
  std::string materials;
  int materials_given = 0;
  std::string dike_map;  // also EMBANKMENT
  int dike_map_given = 0;
  std::string lowspot_file;
  int lowspot_file_given = 0;
  std::string overland_lake_map;
  int overland_lake_map_given = 0;
  std::string overland_lake_file;
  int overland_lake_file_given = 0;
  std::string reten_depth;
  int reten_depth_given = 0;

  // Overland flow and lakes
  int overland_backwater = 0;  // flag
  int ov_boundary = 0;  // flag
  double max_courant_number = 0.2;  // overland Courant limit
  double m_lake = 10.0;  // lake outflow exponent
  std::string lake_pump;
  int lake_pump_given = 0;
  std::string ov_pump;
  int ov_pump_given = 0;
  std::string lake_output;
  int lake_output_given = 0;
  std::string write_ov_hotstart;
  int write_ov_hotstart_given = 0;
  std::string ov_init_depth;  // also READ_OV_HOTSTART
  int ov_init_depth_given = 0;
  int overtype = 2;  // overland scheme: 1 explicit, 2 ADE, 3 ADE predictor-corrector

  // Channels
  int non_ortho_channels = 0;  // flag
  int include_channel_depth = 0;  // flag
  int overbank_flow = 0;  // flag
  int head_bound = 0;  // flag
  int stream_loss = 0;  // flag
  int hotstart_is_depth = 0;  // flag
  int stream_info = 0;  // flag
  double bound_depth = 0.0;  // head boundary depth, m
  double k_river = 0.0;  // stream loss coefficient
  double m_river = 1.0;  // stream loss exponent
  double first_order_chan_q = 0.0;  // first-order channel discharge, m3/s
  std::string bound_ts;
  int bound_ts_given = 0;
  std::string explic_backwater;
  int explic_backwater_given = 0;
  std::string explic_hotstart;
  int explic_hotstart_given = 0;
  std::string links;
  int links_given = 0;
  std::string nodes;
  int nodes_given = 0;
  std::string channel_input;
  int channel_input_given = 0;
  std::string section_table;
  int section_table_given = 0;
  std::string stream_cell;
  int stream_cell_given = 0;
  std::string write_chan_hotstart;
  int write_chan_hotstart_given = 0;
  std::string read_chan_hotstart;
  int read_chan_hotstart_given = 0;

  // Infiltration and soil water
  int no_cont_inf_redist = 0;  // flag
  int topo_index = 0;  // flag
  int richards_iter_max = 1;  // Richards iterations per step
  double richards_weight = 1.0;  // implicit weight of the Richards solution
  double richards_dtheta_max = 0.0025;  // largest moisture change in one Richards step
  double aquifer_delta_z = -999.9;  // aquifer layer thickness, m
  double soil_moist_depth = 0.4;  // soil moisture depth, m
  double top_layer_depth = 0.0;  // top soil layer depth, m
  double mixing_layer_depth = 0.0;  // mixing layer depth, m
  std::string soil_type_map;
  int soil_type_map_given = 0;
  std::string soil_layer_input_file;
  int soil_layer_input_file_given = 0;
  std::string water_table;
  int water_table_given = 0;
  std::string aquifer_bottom;
  int aquifer_bottom_given = 0;
  std::string in_theta_location;
  int in_theta_location_given = 0;
  std::string out_theta_location;
  int out_theta_location_given = 0;
  std::string read_sm_hotstart;
  int read_sm_hotstart_given = 0;
  std::string write_sm_hotstart;
  int write_sm_hotstart_given = 0;
  std::string sacramento;  // also SACRAMENTO_PARS
  int sacramento_given = 0;
  int richards_k_option = 2;      // conductivity mean: 1 arithmetic, 2 geometric
  int richards_c_option = 0;      // retention curve: 1 Brooks-Corey, 2 Havercamp
  int richards_upper_option = 1;  // upper boundary: 0 other, 2 Green-Ampt, 3 average

  // Groundwater
  int gw_simulation = 0;  // flag
  int gw_assign_theta = 0;  // flag
  int use_wells = 0;  // flag
  int gw_lsor_dir = 0;  // LSOR sweep direction
  double gw_timestep = 1.0;  // groundwater step, s
  double gw_lsor_con = 0.00001;  // LSOR convergence criterion, m
  double single_unsat_sat = 0.75;  // saturation fraction joining the unsaturated zone
  double gw_leakage_rate = 0.0;
  double gw_relax_coeff = 1.0;  // line over-relaxation factor; 1 without the card
  double gw_unif_porosity = 0.0;  // uniform aquifer porosity
  double gw_unif_hycond = 0.0;  // uniform aquifer conductivity, m/s
  double init_elev_head = 0.0;  // initial head above the surface, m
  std::string gw_fluxboundtable;  // also GW_FLUX_BOUNDTABLE; given flag in run_parameters
  std::string gw_boundfile;
  int gw_boundfile_given = 0;
  std::string gw_output;
  int gw_output_given = 0;
  std::string gw_porosity_map;
  int gw_porosity_map_given = 0;
  std::string gw_hycond_map;
  int gw_hycond_map_given = 0;
  std::string gw_well_level;
  int gw_well_level_given = 0;
  std::string out_well_location;
  int out_well_location_given = 0;

  // Drainage pipe networks
  int superlink_c_opt = 0;  // flag
  int high_head_release = 0;  // flag
  int superlink_drainmod = 0;  // flag
  std::string storm_sewer;
  int storm_sewer_given = 0;
  std::string grid_pipe;
  int grid_pipe_given = 0;
  std::string pipe_flow;
  int pipe_flow_given = 0;
  std::string pipe_head;
  int pipe_head_given = 0;
  std::string pipe_tile;
  int pipe_tile_given = 0;
  std::string superlink_junc_location;
  int superlink_junc_location_given = 0;
  std::string superlink_node_location;
  int superlink_node_location_given = 0;
  std::string superlink_junc_flow;
  int superlink_junc_flow_given = 0;
  std::string superlink_node_flow;
  int superlink_node_flow_given = 0;

  // Hydrometeorology, evapotranspiration and snow
  int et_calc_penman = 0;  // flag
  int et_calc_deardorff = 0;  // flag
  int seasonal_rs = 0;  // flag
  int snow_no_infiltrate = 0;  // flag
  int nwsrfs_snow = 0;  // flag
  int nwsrfs_retention = 0;  // flag
  int eb_nwsrfs_snow = 0;  // flag
  int orogvar_hmet = 0;  // flag
  double snow_roughness = 0.0;  // Manning n of snow, s/m^(1/3)
  double snow_darcy = 0.0;
  double snow_reynolds = 0.0;
  double nwsrfs_mf_max = 0.0;
  int nwsrfs_mf_max_given = 0;
  double nwsrfs_mf_min = 0.0;
  int nwsrfs_mf_min_given = 0;
  double nwsrfs_fr_use = 0.0;
  int nwsrfs_fr_use_given = 0;
  double nwsrfs_scf = 0.0;
  int nwsrfs_scf_given = 0;
  double hmet_elev_gage = 0.0;  // elevation of the meteorological gauge, m
  double hmet_lapse_rate = 0.0;  // temperature lapse rate
  std::string hmet_surfaways;
  int hmet_surfaways_given = 0;
  std::string hmet_samson;
  int hmet_samson_given = 0;
  std::string hmet_zep;
  int hmet_zep_given = 0;
  std::string hmet_ascii;
  int hmet_ascii_given = 0;
  std::string hmet_ascii_pet;
  int hmet_ascii_pet_given = 0;
  std::string snow_swe_file;
  int snow_swe_file_given = 0;
  std::string nwsrfs_elev_snow;
  int nwsrfs_elev_snow_given = 0;
  std::string snow_temp;
  int snow_temp_given = 0;
  int init_swe_depth_kind = 0;        // 0 none, 1 map, 3 uniform
  double init_swe_depth_value = 0.0;  // uniform snow water equivalent, m
  std::string init_swe_depth_name;    // map file name

  // Sediments
  int adjust_channel_bed = 0;  // flag
  int soil_erosion = 0;        // flag
  int soil_erosion_value = 1;  // the card's integer
  double sand_size = 0.0;  // m
  double silt_size = 0.0;  // m
  double clay_size = 0.0;  // m
  double water_temp = 0.0;  // deg C
  double sed_porosity = 0.0;  // sediment porosity
  std::string soil_erodability;
  int soil_erodability_given = 0;
  std::string crop_management;
  int crop_management_given = 0;
  std::string conservation_practice;
  int conservation_practice_given = 0;
  std::string sand_map;
  int sand_map_given = 0;
  std::string silt_map;
  int silt_map_given = 0;
  std::string in_sed_loc;
  int in_sed_loc_given = 0;
  std::string vol_sed_susp;
  int vol_sed_susp_given = 0;
  std::string max_sed_flux;
  int max_sed_flux_given = 0;
  std::string net_sed_volume;
  int net_sed_volume_given = 0;
  std::string outlet_sed_flux;
  int outlet_sed_flux_given = 0;
  std::string outlet_sed_tss;
  int outlet_sed_tss_given = 0;
  std::string out_tss_loc;
  int out_tss_loc_given = 0;
  std::string out_sed_loc;
  int out_sed_loc_given = 0;
  std::string adjust_elev;
  int adjust_elev_given = 0;

  // Contaminants
  int chan_con_trans = 0;  // flag
  int ov_con_trans = 0;  // flag
  int all_contam_output = 0;  // flag
  int soil_con_trans = 0;  // flag, also SOIL_CONTAM
  int soil_static_conc = 0;  // flag
  int sediment_contam = 0;  // flag
  double chan_decay_coef = 0.0;
  double chan_disp_coef = 0.0;
  double init_chan_conc = 0.0;
  double ov_decay_coef = 0.0;
  double ov_disp_coef = 0.0;
  double ov_uptake_rate = 0.0;
  double kinetics_timestep_factor = 1.0;  // kinetics sub-step factor
  double soil_kinetics_timestep_factor = 1.0;  // nutrient soil clock factor
  double ov_mass_load = 0.0;
  std::string chan_point_input;
  int chan_point_input_given = 0;
  std::string ov_point_source;
  int ov_point_source_given = 0;
  std::string ov_con_map;
  int ov_con_map_given = 0;

  // Nutrients
  int nutrients = 0;  // flag
  std::unique_ptr<nutrient_settings> nutrient_record;  // created by NUTRIENTS
  int soils_nsm_p = 0;  // flag
  int soils_nsm_c = 0;  // flag
  int soils_nsm_n = 0;  // flag
  double chan_ph = 7.2;  // channel pH
  std::array<double, 12> km_koc{};  // KM of NO2 NO3 NH4 ON OP DP, then their KOC
  int km_koc_given = 0;              // 1 once a KM or KOC card was read
  std::string sourcefile;
  int sourcefile_given = 0;
  std::string total_ov_n;
  int total_ov_n_given = 0;
  std::string total_ov_p;
  int total_ov_p_given = 0;
  std::string total_chan_n;
  int total_chan_n_given = 0;
  std::string total_chan_kn;
  int total_chan_kn_given = 0;
  std::string total_chan_p;
  int total_chan_p_given = 0;

  // Outputs
  std::string dis_profile;
  int dis_profile_given = 0;
  std::string dis_profile_out;
  int dis_profile_out_given = 0;
  std::string wat_surf_profile;
  int wat_surf_profile_given = 0;
  std::string wat_surf_profile_out;
  int wat_surf_profile_out_given = 0;
  std::string discharge;
  int discharge_given = 0;
  std::string depth;
  int depth_given = 0;
  std::string inf_depth;
  int inf_depth_given = 0;
  std::string surf_moist;
  int surf_moist_given = 0;
  std::string rate_of_infil;
  int rate_of_infil_given = 0;
  std::string dis_rain;
  int dis_rain_given = 0;
  std::string gw_recharge_cum;
  int gw_recharge_cum_given = 0;
  std::string gw_recharge_inc;
  int gw_recharge_inc_given = 0;
  std::string chan_depth;
  int chan_depth_given = 0;
  std::string chan_sed_flux;
  int chan_sed_flux_given = 0;
  std::string chan_discharge;
  int chan_discharge_given = 0;
  std::string chan_stage;
  int chan_stage_given = 0;
  std::string chan_velocity;
  int chan_velocity_given = 0;
  std::string in_hyd_location;
  int in_hyd_location_given = 0;
  std::string out_hyd_location;
  int out_hyd_location_given = 0;
  std::string in_gwflux_location;
  int in_gwflux_location_given = 0;
  std::string out_gwflux_location;
  int out_gwflux_location_given = 0;
  std::string in_celldepdis_location;
  int in_celldepdis_location_given = 0;
  std::string out_celldepdis_location;
  int out_celldepdis_location_given = 0;
  std::string summary;
  int summary_given = 0;
  std::string outlet_hydro;
  int outlet_hydro_given = 0;
  std::string sig_outlet_hydro;
  int sig_outlet_hydro_given = 0;
  std::string tpg_hydro;
  int tpg_hydro_given = 0;
  std::string cell_hydro;
  int cell_hydro_given = 0;
  std::string out_dep_location;
  int out_dep_location_given = 0;
  std::string out_con_location;
  int out_con_location_given = 0;
  std::string out_mass_location;
  int out_mass_location_given = 0;
  std::string flood_grid;
  int flood_grid_given = 0;
  std::string flood_stream;
  int flood_stream_given = 0;
  std::string daily_output;
  int daily_output_given = 0;
  int xybdyoutput = 0;       // XY point output on
  int xybdyoutput_kind = 0;  // 0 points (XYBDYOUTPUT_PTS), 1 mask (XYBDYOUTPUT_MASK)
  std::string xybdyoutput_pts;  // points or mask file name of the kind chosen last
  std::string xybdyoutput_ovdep;
  int xybdyoutput_ovdep_given = 0;
  std::string xybdyoutput_gwhead;
  int xybdyoutput_gwhead_given = 0;
  std::string xybdyoutput_stflow;
  int xybdyoutput_stflow_given = 0;

  // X-window plotting
  int xwindows = 0;  // flag
  int xrain = 0;  // flag
  int xgwrecharge = 0;  // flag
  int xdepth = 0;  // flag
  int xinfdep = 0;  // flag
  int xchan = 0;  // flag
  int xbig = 0;  // flag
  int xsurf = 0;  // flag
  int x_freq = -1;  // plot interval, -1 none
  int xwin_width = 1000;  // pixels
  int xwin_height = 660;  // pixels

  // Land-management framework
  int qtr = 0;  // flag
  int vune_first = 0;  // flag
  int qtr_event_num = -1;  // framework event asked for, -1 none
  int qtr_event_num_given = 0;  // framework event mode
  std::string vune;
  int vune_given = 0;
  std::string moist_to_vune;
  int moist_to_vune_given = 0;
  std::string ksat_to_vune;
  int ksat_to_vune_given = 0;
  std::string rough_to_vune;
  int rough_to_vune_given = 0;
  std::string poros_to_vune;
  int poros_to_vune_given = 0;
  std::string erosivity_to_vune;
  int erosivity_to_vune_given = 0;
  std::string crop_fact_to_vune;
  int crop_fact_to_vune_given = 0;
  std::string net_erosion_to_vune;
  int net_erosion_to_vune_given = 0;
  std::string moist_from_vune;
  int moist_from_vune_given = 0;
  std::string ksat_from_vune;
  int ksat_from_vune_given = 0;
  std::string rough_from_vune;
  int rough_from_vune_given = 0;
  std::string erosivity_from_vune;
  int erosivity_from_vune_given = 0;
  std::string crop_fact_from_vune;
  int crop_fact_from_vune_given = 0;
  std::string et_demand_from_vune;
  int et_demand_from_vune_given = 0;

  // Dataset file format
  int parb_compression = 0;  // flag
  std::string parb_file;
  int parb_file_given = 0;
  std::string parb_base_grid;
  int parb_base_grid_given = 0;
  std::string parb_base_stream;
  int parb_base_stream_given = 0;
  std::string parb_datasetgroup;
  int parb_datasetgroup_given = 0;

  // Reservoir water-quality coupling
  int q7_fluxes = 0;  // flag
  std::string q7_input;
  int q7_input_given = 0;
  std::string q7_nodes_to_segs;
  int q7_nodes_to_segs_given = 0;
  std::string q7_segment_map;
  int q7_segment_map_given = 0;
  std::string q7_segment_fluxes;
  int q7_segment_fluxes_given = 0;

  // Calibration
  int optimize_sed = 0;  // flag
  std::string optimize;
  int optimize_given = 0;
  std::string calib_obs_data;
  int calib_obs_data_given = 0;
  int calib_comp_data = 2;  // 0 daily, 1 event, 2 none chosen
  int calib_obj_func = 2;   // 0 RMSE, 1 HMLE, 2 none chosen

  // XY boundary inputs
  std::string xybdyinput_ovdep;
  int xybdyinput_ovdep_given = 0;
  std::string xybdyinput_gwhead;
  int xybdyinput_gwhead_given = 0;
  std::string xybdyinput_stflow;
  int xybdyinput_stflow_given = 0;
  std::string xybdyinput_sttimeseries;
  int xybdyinput_sttimeseries_given = 0;

  // What the side-file cards read at once. They belong to the run, so each
  // reading of a project starts them empty with the rest of the record.
  time_series_list ts_list;   // TIME_SERIES_FILE series, then the XY blocks, in reading order
  elev_series_list es_list;   // ELEV_SERIES_FILE series
  std::unique_ptr<xy_input> xy_inputs;  // made by the first XY input card


  // Lower-case words of the switch cards read for processes this version does
  // not run yet, each once, in file order; the option checks refuse the run.
  std::vector<std::string> unbuilt_cards;
};
