#pragma once
// The numbered message table of the error reporter, written once. Each entry
// is X(code, kind, name, text): kind is error (the run stops) or warning (the
// run goes on); text is the message as literal parts with the quoted record
// fields between them written F(text1), F(text2), F(number1), F(number2).
// Each expansion decides what X and F become: the code names below, and the
// composing table of the reporter. Texts are kept exactly as users have always
// seen them, odd spellings, double blanks and missing final line breaks
// included. Code 129 stops the run with no text at all.

// clang-format off
#define VALTO_MESSAGE_TABLE(X, F) \
  X(1, error, err_open_debug_file, "Error: Can't open file debug.out\n") \
  X(2, error, err_no_project_argument, \
    "Error: You must give the name of a valid VALTO project file as a command line\n" \
    "argument.\n") \
  X(3, error, err_project_file_not_found, "Error: The specified project file was not found.\n") \
  X(4, error, err_open_file, \
    "Error: Unable to open " F(text1) " file.\n" \
    "  (File: " F(text2) ")\n") \
  X(5, error, err_parb_not_compiled, \
    "Error: VALTO not compiled with PARB, but PARB file format specified\n") \
  X(6, error, err_roughness_and_manning_n, \
    "Error: You have specified both spatially-varied and uniform Manning roughness\n" \
    "using both the ROUGHNESS and MANNING_N project file cards.  Only one of\n" \
    "these may be specified.  Select only one option.\n") \
  X(7, error, err_penman_and_deardorff, \
    "Error: You have specified both the Penman Montieth and Deardorff\n" \
    "evapo-transpiration calculation methods.  Only one may be \n" \
    "specified for long-term simulations.  Select only one method.\n") \
  X(8, error, err_two_hydromet_formats, \
    "Error: You have specified two of either the Surface Airways, SAMSON, or ZEP\n" \
    "hydromet. file input type.  Only one file type may be specified for GINT-\n" \
    "term simulations.  Select only one method.  Check your project file.\n") \
  X(9, error, err_no_evapotranspiration_method, \
    "Error: You have specified neither the Penman Montieth or Deardorff\n" \
    "evapo-transpiration calculation methods.  One method must be \n" \
    "specified for long-term simulations.  Select only one method.\n") \
  X(10, error, err_rain_file_and_uniform, \
    "Error: You have specified both a rain gage file, and uniform rainfall\n" \
    "options.  These options are mutually exclusive.  Please select\n" \
    "only one option.\n") \
  X(11, error, err_precipitation_input, \
    "Error: You have an error in your input due to one of the following:\n" \
    "\n" \
    " - You have not specified a precipitation card in your project file.\n" \
    "   One of either PRECIP_UNIF or PRECIP_FILE must be specified.\n" \
    "   The PRECIP_FILE card must be followed by the name of the precipitation\n" \
    "   input data file.  If PRECIP_UNIF is specified, then the RAIN_DURATION\n" \
    "   and RAIN_INTENSITY cards must also be given, followed by the proper values\n" \
    " - You have specified spatially-uniform rainfall with either a zero\n" \
    "   rate or duration.  Please check that your rain rate in mm/h or\n" \
    "   rain duration in minutes are both non-zero.\n") \
  X(12, error, err_xwin_ordinates, \
    "Error: The number of X-windows plot ordinates " F(number1) " is greater than the dimension of the array " F(number2) "\n") \
  X(13, error, err_xwin_nothing_to_plot, \
    "Error: The project file specifies X-Windows plotting, but does not specify what to plot.\n" \
    "You must include one or more of the following cards: XRAIN, XDEPTH, or XINFDEP\n") \
  X(14, warning, warn_xwin_channel_depth, \
    "Warning: X-Windows Graphics Warning:\n" \
    "The project file specifies X-Windows plotting of channel flow depth, but does\n" \
    "not specify a channel routing method card.  This plotting routine\n" \
    "can only plot channel flow depth when using channel routing.  Plotting of\n" \
    "channel flow depth disabled.\n" \
    "You must include the one of the following cards: CHAN_EXPLIC to enable\n" \
    "plotting of channel flow depth in an X-window.\n" \
    "\n") \
  X(15, error, err_xwin_no_frequency, \
    "Error: The project file specifies X-Windows plotting, but does not specify how often to plot.\n" \
    "You must include the following card: X_FREQ  N, where N is the plotting frequency.\n") \
  X(16, warning, warn_xwin_infiltrated_depth, \
    "Warning: X-Windows Graphics Warning:\n" \
    "The project file specifies X-Windows plotting of infiltrated depth, but does\n" \
    "not specify an infiltration method card.  This plotting routine\n" \
    "currently only plots infiltrated depth when using the Green & Ampt or\n" \
    "Green & Ampt with redistribution methods.  Plotting of infiltrated depth\n" \
    "disabled.\n" \
    "You must include the one of the following cards: INF_REDIST or GREEN_AMPT\n" \
    "to enable plotting of infiltrated depth in an X-window.\n" \
    "\n") \
  X(17, warning, warn_xwin_surface_moisture, \
    "X-Windows Graphics Warning:\n" \
    "The project file specifies X-Windows plotting of soil surface moisture, but\n" \
    "does not specify an infiltration method card.  This plotting routine\n" \
    "currently plots soil surface water content when using the Green & Ampt,\n" \
    "Green & Ampt with redistribution or Richards Equation.  Plotting of soil\n" \
    "surface water content disabled.\n" \
    "You must include the one of the following cards: INF_REDIST, GREEN_AMPT\n" \
    "or INF_RICHARDS to enable plotting of surface water content in an X-window.\n" \
    "\n") \
  X(18, error, err_xwin_infdep_and_surf, \
    "Error: The project file specifies both plotting of cumulative infiltrated depth via the\n" \
    "XINFDEP card and plotting of soil surface water content via the XSURF card.\n" \
    "Only one of the cards may be present in the project, because they are drawn\n" \
    "in the same region of the X-Window.  Remove one of the cards.\n") \
  X(19, error, err_xwin_window_size, \
    "Error: Either your XWIN_WIDTH is less than 750 or XWIN_HEIGHT is less than 500 pixels.\n" \
    "These are the minimum values that allow legible plotting in the X-Window.  Make\n" \
    "the values in your project file at least as large as these lower limits.\n" \
    "Advanced apologies to those executing this program on a Palm Pilot.\n") \
  X(20, error, err_long_term_needs_redistribution, \
    "Error: For long-term simulations, you must specify the redistribution form\n" \
    "of the Green and Ampt infiltration equation.  Redistribution requires\n" \
    "values of pore distribution index and residual saturation in addition\n" \
    "to the 4 standard Green and Ampt parameters (hydraulic conductivity,\n" \
    "capillary head, porosity, and initial soil moisture content).\n" \
    "\n" \
    "Change the infiltration option to Green & Ampt with redistribution\n" \
    "and specify the 6 required parameters.\n") \
  X(21, error, err_albedo_missing, \
    "Error: Albedo values not specified for long term simulation. Check project file.\n") \
  X(22, error, err_veg_height_missing, \
    "Error: Vegetation height values not specified for Penman-Montieth long term simulation.\n" \
    " Check project file.\n") \
  X(23, error, err_transmission_missing, \
    "Error: Transmission coeff. values not specified for Penman-Montieth long term simulation.\n" \
    " Check project file.\n") \
  X(24, error, err_stomatal_resistance_missing, \
    "Error: tomatal resistance values not specified for Penman-Montieth long term simulation.\n" \
    " Check project file.\n") \
  X(25, error, err_wilting_point_missing, \
    "Error: Wilting point values not specified for Penman-Montieth long term simulation.\n" \
    " Check project file.\n") \
  X(26, error, err_green_ampt_and_layered, \
    "Error: You have specified both Green and Ampt and multi-layered\n" \
    "soil infiltration.  Please select only one in the \n" \
    "project file.\n") \
  X(27, error, err_redistribution_and_layered, \
    "Error: You have specified both redistribution and multi-layered\n" \
    "soil infiltration.  Please select only one in the \n" \
    "project file. \n") \
  X(28, error, err_green_ampt_and_richards, \
    "Error: You have specified both Green and Ampt and Richards\n" \
    "soil infiltration.  Please select only one in the \n" \
    "project file. \n") \
  X(29, error, err_green_ampt_and_richards_again, \
    "Error: You have specified both Green and Ampt and Richards\n" \
    "soil infiltration.  Please select only one in the \n" \
    "project file. \n") \
  X(30, error, err_redistribution_and_richards, \
    "Error: You have specified both redistribution and Richards\n" \
    "soil infiltration.  Please select only one in the \n" \
    "project file. \n") \
  X(31, error, err_layered_and_richards, \
    "Error: You have specified both Layered Soil and Richards\n" \
    "soil infiltration.  Please select only one in the \n" \
    "project file. \n") \
  X(32, error, err_aquifer_delta_z_missing, \
    "Error: Groundwater cell vertical grid size not specified in project file.\n" \
    "If you are simulating the influence of the water table on Richards\n" \
    "equation, you must put the AQUIFER_DELTA_Z card in the project file.\n") \
  X(33, error, err_green_ampt_and_redistribution, \
    "Error: You have chosen both Green and Ampt and Redististribution\n" \
    "Choose one or the other and try again\n") \
  X(34, error, err_drain_and_backwater_init, \
    "Error: Both the drain and backwater channel initialization methods have been\n" \
    "selected.  Only one method may be specified. \n") \
  X(35, error, err_implicit_channel_unsupported, \
    "Error: Preissmann implicit channel routing is not supported by VALTO.\n" \
    "Select explicit channel routing method. \n") \
  X(36, error, err_implicit_and_explicit_channel, \
    "Error: Both the implicit and explicit channel routing methods have been\n" \
    "selected.  Only one method may be specified. \n") \
  X(37, error, err_explicit_and_mesh_channel, \
    "Error: Both the explicit and mesh channel routing methods have been\n" \
    "selected.  Only one method may be specified.  Program terminated\n") \
  X(38, error, err_gw_porosity_twice, \
    "You have specified both spatially-varied and uniform porosity for\n" \
    "groundwater soil using both the gw_unif_porosity and gw_porosity_map\n" \
    "project file cards. Only one of these may be specified.\n" \
    "Select only one option.\n") \
  X(39, warning, warn_gw_porosity_from_soil, \
    "Warning: You have specified neither spatially-varied, uniform, or mapping table porosity for\n" \
    "groundwater soil without using both the gw_unif_porosity and\n" \
    "gw_porosity_map project file cards. Groundwater porosities will be the.\n" \
    "same as those in the last layer of your soil input table.\n") \
  X(40, error, err_gw_hycond_twice, \
    "You have specified both spatially-varied and uniform hydraulic\n" \
    "conductivity for groundwater soil using both the gw_unif_hycond and\n" \
    "gw_hycond_map project file cards. Only one of these may be specified.\n" \
    "Select only one option.\n") \
  X(41, warning, warn_gw_hycond_from_soil, \
    "Warning: You have specified neither spatially-varied, uniform, or mapping table hydraulic \n" \
    "conductivity for groundwater soil without using both the gw_unif_hycond\n" \
    "and gw_hycond_map project file cards. Groundwater hydraulic conductivies \n" \
    "will be taken from the soil input table.\n") \
  X(42, error, err_groundwater_and_sacramento, \
    "Error: You have specified both groundwater routing and Sacramento soil moisture\n" \
    "accounting.  These two methods are mutually-exclusive.  Use one or the other.\n") \
  X(43, error, err_qtr_no_co_model, \
    "Error: You have specified that VALTO is being run within QTR, but you did\n" \
    "not specify the model(s) that are being co-run.  The present options are:\n" \
    "VUNE.  If you want to run with VUNE for instance, you must place the VUNE\n" \
    "project file card in the project file. \n") \
  X(44, error, err_qtr_event_num_missing, \
    "Error: VALTO is running within QTR in event mode.  The QTR_EVENT_NUM card\n" \
    "was placed in the VALTO project file without an argument.  The\n" \
    "QTR_EVENT_NUM card must be followed by a GINT int argument that specifies\n" \
    "the event number to be simulated.  If 'QTR_EVENT_NUM 0' is specified,\n" \
    "then VALTO writes out all available precip. events into the file named\n" \
    "QTR_PRECIP.SUM, and terminates.  If the QTR_EVENT_NUM argument is greater than\n" \
    "0, then that particular event is simulated.  Check the project file. \n") \
  X(45, error, err_qtr_groundwater, \
    "Error: Groundwater simulations in VALTO within the QTR environment\n" \
    "are not yet supported. \n") \
  X(46, error, err_vune_without_qtr, \
    "Error: You have specified that VALTO is being run with VUNE, but you did\n" \
    "not specify that VALTO is being run within the QTR environment.\n" \
    "VALTO only runs with VUNE in the QTR environment.  You must place the\n" \
    "QTR project file card in the project file, and pay close attention to\n" \
    "start-up conditions. (e.g. QTR_EVENT_NUM card). \n") \
  X(47, error, err_open_parb_source, \
    "Error: Unable to open PARB data source " F(text1) ", " F(text2) ".\n") \
  X(48, error, err_open_theta_location, \
    "Error: Can't open theta location output file: " F(text2) "\n" \
    "You specify the name of the output file which will contain the soil moisture\n" \
    "ordinates at the points specified in the file " F(text1) "\n" \
    "This is done by using the OUT_THETA_LOCATION card in the project file.\n") \
  X(49, error, err_open_con_location, \
    "Error: Can't open concentration location output file: " F(text1) "\n" \
    "You specify the name of the output file which will contain the concentration\n" \
    "ordinates at the points specified in the file " F(text2) "\n" \
    "This is done by using the OUT_CON_LOCATION card in the project file.\n") \
  X(50, error, err_open_dep_location, \
    "Error: Can't open depth location output file: " F(text1) "\n" \
    "You specify the name of the output file which will contain the depth\n" \
    "ordinates at the points specified in the file " F(text2) "\n" \
    "This is done by using the OUT_DEP_LOCATION card in the project file.\n") \
  X(51, error, err_open_hyd_location, \
    "Error: Can't open hydrograph location output file: " F(text1) "\n" \
    "You specify the name of the output file which will contain the hydrograph\n" \
    "ordinates at the points specified in the file " F(text2) "\n" \
    "This is done by using the OUT_HYD_LOCATION card in the project file.\n") \
  X(52, error, err_time_step_zero, "Error: Time step is 0 seconds.\n") \
  X(53, error, err_time_step_over_60, "Error: Time step is greater than 60 seconds.\n") \
  X(54, error, err_time_step_not_divisor, \
    "Error: The time step (" F(number1) ") must be evenly divisible into 60 seconds.\n") \
  X(55, warning, warn_hydrograph_step_default, \
    "Warning: Write hydrograph time step not specified, defaulting to 1 hour.\n") \
  X(56, error, err_outlet_slope_missing, "Error: Outlet slope not specified.\n") \
  X(57, error, err_lat_long_missing, \
    "Error: Latitude and longitude of basin centroid required for long-term simulations.\n" \
    "Specify these in the project file using keywords 'latitude' and 'longitude'\n") \
  X(58, error, err_gmt_offset_missing, \
    "Error: GMT time offset required for long-term simulations.\n" \
    "Specify the offset in the project file using keyword 'GMT'\n") \
  X(59, error, err_open_output_file, "Error: Can't open output file: " F(text2) "\n") \
  X(60, error, err_open_parb_output, \
    "Error: Unable to open the PARB file " F(text2) " for output.\n") \
  X(61, error, err_parb_grid_group, \
    "Error: Unable to open output data set group " F(text2) " for writing in the grid " F(text1) " of the PARB file.") \
  X(62, error, err_parb_create_map, "Error: Unable to create " F(text2) " map in the PARB file\n") \
  X(63, error, err_parb_stream_group, \
    "Error: Unable to open output data set group " F(text2) " for writing in the stream " F(text1) " of the PARB file.") \
  X(64, error, err_open_mapping_table, "Unable to open Mapping Table file: " F(text2) "\n") \
  X(65, error, err_open_index_file, "Unable to open index file " F(text2) "\n") \
  X(66, error, err_mapping_table_empty, \
    "Problem reading mapping table file -- no entries found in table " F(text1) " (NUM_IDS is 0)\n") \
  X(67, error, err_wetland_id_count, \
    "There is a problem with the wetlands index map.  It contains\n" \
    F(number1) " ID's, while the mapping table file contains " F(number2) " ID's.\n" \
    "The index map and mapping table file must have the same number\n" \
    "of ID's. \n") \
  X(68, error, err_too_many_wetlands, \
    "The number of wetland ids specified in the master table file \n" \
    "is over 300!  This is highly unusual.  I'm bombing... in a   \n" \
    "dazed and confused state.  So many wetlands!\n") \
  X(69, error, err_contaminant_tables, \
    "Error reading the contaminant transport tables in the mapping table file.\n") \
  X(70, error, err_unexpected_end_of_file, "Unexpected end of file in file: " F(text2) "\n") \
  X(71, error, err_index_id_over_limit, \
    "Index ID exceeds table limit, file: " F(text2) " [row " F(number1) ":col " F(number2) "]\n") \
  X(72, error, err_map_rows_and_cols, \
    "Incorrect number of rows and columns in map: " F(text2) "\n") \
  X(73, error, err_map_rows, "Incorrect number of rows in map: " F(text2) "\n") \
  X(74, error, err_map_cols, "Incorrect number of columns in map: " F(text2) "\n") \
  X(75, error, err_open_nutrient_outputs, \
    "Error: There were " F(number1) " errors trying to open the nutrient output files.\n" \
    "The last error was: unable to open nutrient output file " F(text2) ".\n") \
  X(76, error, err_open_aquatic_env_file, \
    "Error: unable to open the aquatic environment file " F(text2) ".\n") \
  X(77, error, err_aquatic_env_header, \
    "Error: The header for the aquatic environment file is invalid or does not match \n" \
    " the current version. \n" \
    " The aquatic environment file specified is: " F(text2) "\n" \
    " The header should be : " F(text1)) \
  X(78, error, err_aquatic_env_index, \
    "Error: An index [" F(number1) "] in the aquatic environment table is greater than the\n" \
    "number of IDs specified [" F(number2) "]\n") \
  X(79, error, err_nutrients_card_order, \
    "Error: The NUTRIENTS card in the project file must be specified before the " F(text1) " card\n") \
  X(80, error, err_open_nutrient_file, "Error: Unable to open the nutrient file " F(text2) "\n") \
  X(81, error, err_open_overland_aquatic_map, \
    "Error: Unable to open the overland Aquatic Environment map.\n") \
  X(82, error, err_open_nutrient_summary, "Error: Unable to open the nutrient summary file\n") \
  X(83, error, err_open_overland_pump_file, "Error: Unable to open the overland pump file\n") \
  X(84, error, err_overland_boundary_table, \
    "Error: The OV_BOUNDARY card has been specified in the project file but the \n" \
    "       OVERLAND_BOUNDARY table was not found...\n") \
  X(85, error, err_rating_curve_usage, \
    "Error: Incorrect usage of the RATING_CURVE card. It should be STRUCTTYPE RATING_CURVE \"elev series name\"\n" \
    "The elevation series is missing\n") \
  X(86, error, err_rating_curve_series, \
    "Error: The elevation series for a RATING_CURVE card is not found. Make sure that the elevation series\n" \
    " file is in the project file before the channel input file and that the elevation series is defined.") \
  X(87, error, err_scheduled_release_usage, \
    "Error: Incorrect usage of the SCHEDULED_RELEASE card. It should be STRUCTTYPE SCHEDULED_RELEASE \"time series name\"\n" \
    "The time series is missing\n") \
  X(88, error, err_scheduled_release_series, \
    "Error: The time series for a SCHEDULED_RELEASE card is not found. Make sure that the time series\n" \
    " file is in the project file before the channel input file and that the time series is defined.") \
  X(89, error, err_rule_curve_usage, \
    "Error: Incorrect usage of the RULE_CURVE card. It should be STRUCTTYPE RULE_CURVE \"elev series name\"\n" \
    "The elevation series is missing\n") \
  X(90, error, err_rule_curve_series, \
    "Error: The elevation series for a RULE_CURVE card is not found. Make sure that the elevation series\n" \
    " file is in the project file before the channel input file and that the elevation series is defined.") \
  X(91, error, err_sediment_count, \
    "Error: The number of sediments specified in the SEDIMENTS table is " F(number1) " while the number of sediments \n" \
    "specified in the SED_EROS_PROPS table is " F(number2) ". The values must match.\n") \
  X(92, error, err_sediments_table_missing, \
    "Error: Sediment transport specified but sediments table missing in the .cmt file.\n") \
  X(93, error, err_soil_erosion_table, \
    "Error: Unable to read the soil erosion properties table from mapping table file\n") \
  X(94, error, err_zero_roughness, \
    "Error: 0.0 values for roughness found. Check the roughness map/table\n") \
  X(95, warning, warn_q7_no_segments, "Warning: There are no segments in the Q7 segment map.\n") \
  X(96, warning, warn_q7_flux_no_segments, \
    "Warning: The VALTO to Q7 internal segment flux option is turned on\n" \
    "But there are no segments in the Q7 segment map or in the link-node to segment file.\n") \
  X(97, error, err_q7_bad_segment, \
    "Error: In the Q7 internal stream flux to segment file, some link/node pairs \n" \
    "refer to a segment of 0 or a segment that is not in the segment map file.\n") \
  X(98, error, err_open_q7_flux_output, \
    "Error: Unable to open the Q7 internal flux output file [" F(text2) "].\n") \
  X(99, error, err_too_many_superjunctions, \
    "Too many super-junctions (>1000!) in superlink.  Your network is too large.\n") \
  X(100, error, err_too_many_pipe_nodes, \
    "Too many nodes (>50!) in one link in superlink.  Your network is too large.\n") \
  X(101, error, err_too_many_superlinks, \
    "Too many superlinks (>1000!) in superlink.  Your network is too large.\n") \
  X(102, error, err_radar_mapping, "Error in creating radar mapping to grid.\n") \
  X(103, error, err_calib_comp_data, \
    "Error: unable to read value for CALIB_COMP_DATA. Please provide one of DAILY, EVENT. \n") \
  X(104, error, err_calib_obj_func, \
    "Error: unable to read value for CALIB_OBJ_FUNC. Please provide one of RMSE, HMLE. \n") \
  X(105, error, err_calib_settings, \
    "Error: Calibration is turned on but one or more values for CALIB_COMP_DATA, CALIB_OBJ_FUNC are invalid.\n") \
  X(106, error, err_open_calib_obs_data, \
    "Error: Unable to calibration observed data file (CALIB_OBS_DATA) : " F(text2) ".\n") \
  X(107, error, err_obs_header, \
    "Error: Invalid header line in the observed data file. Should be OBS_DATA_FILE.\n") \
  X(108, error, err_obs_num_locations, \
    "Error: Invalid NUM_LOCATIONS line in the observed data file. \n" \
    "It should be the second line in the file.\n") \
  X(109, error, err_obs_num_data_points, \
    "Error: Invalid NUM_DATA_POINTS line in the observed data file. \n" \
    "It should be the third line in the file.\n") \
  X(110, error, err_obs_location_count, \
    "Error: The number of output locations in the observed data file \n" \
    "does not match the number of output locations in the outlet \n" \
    "hydrograph file.\n") \
  X(111, error, err_obs_data_line, \
    "Error: Invalid data line in the observed data file. Check file.\n") \
  X(112, error, err_obs_too_many_values, \
    "Error: More event/daily values in the observed data file than specified by the NUM_DATA_POINTS value. Check file.\n") \
  X(113, error, err_obs_location_number, \
    "Error: A location number is not valid in the observed data file. Check file.\n") \
  X(114, error, err_obs_early_end, \
    "Error: Reached end of observed data file before finding all of the data values. Check file.\n") \
  X(115, error, err_open_stream_map, "Unable to open stream map file " F(text2) "\n") \
  X(116, error, err_stream_map_header, \
    "Stream map file does not use correct header (file: " F(text2) ")\n") \
  X(117, error, err_stream_map_size, \
    "NLINKS or MAXNODES card in stream map file does not match channel input file (file: " F(text2) ")\n") \
  X(118, error, err_stream_map_data, \
    "Error reading data from stream map file. Check to make sure that the correct number of \n" \
    "data points exist for each link. (file: " F(text2) ")\n") \
  X(119, error, err_nutrient_grid_table_missing, \
    "Error: Nutrient constituent to use mapping table for input value but no mapping table exists (Grid): " F(text1) "\n") \
  X(120, error, err_nutrient_stream_table_missing, \
    "Error: Nutrient constituent to use mapping table for input value but no mapping table exists (Stream): " F(text1) "\n") \
  X(121, error, err_open_stream_aquatic_map, \
    "Error: Unable to open the stream Aquatic Environment map.\n") \
  X(122, error, err_culvert_critical_depth, "no convergence in culvert critical depth routine\n") \
  X(123, error, err_arch_culvert, "arch culverts not yet supported in subroutine crit_calc() \n") \
  X(124, error, err_root_not_bracketed, "Root must be bracketed in ZBRENT\n") \
  X(125, error, err_contaminant_count, \
    "Error: The number of contaminants is not a positive value.\n") \
  X(126, error, err_gw_table_mapping, \
    "Error: the mapping table for the groundwater table is not set up correctly. Check index map file names.\n") \
  X(127, error, err_stream_head_series_missing, \
    "Error: Stream head boundary time series (" F(text1) ") can not be found. Check project file.\n") \
  X(128, error, err_nsm_bulk_density_missing, \
    "You are trying to simulate NSM soil dynamics without specifying a soil bulk density table.\n") \
  X(129, error, err_without_message, "") \
  X(130, error, err_open_nsm_summary, "Error: unable to open the nutrient summary file.\n") \
  X(131, error, err_pipe_invert_below_aquifer, \
    "Error: Pipe invert must be above the bottom of the aquifer\n") \
  X(132, error, err_richards_soil_index_map, \
    "You are trying to simulate Richardson's Equation soil dynamics but without using a valid soil type index map.\n" \
    "Index map filename = " F(text2) "\n") \
  X(133, error, err_gw_tile_exchange_nan, "Error: NaN error in groundwater tile exchange\n") \
  X(134, error, err_superlink_update, \
    "VALTO crashed during an update of Superlink, Check your Superlink/Supernode network/numbering " F(text2) "\n") \
  X(135, error, err_observed_data_format, "Error: observed data file improperly formatted.\n")

// clang-format on

// Code names for raisers: raise_error(err_time_step_zero) reads better than 52.
#define VALTO_MESSAGE_CODE_NAME(code, kind, name, text) name = code,
#define VALTO_MESSAGE_NO_FIELD(field)
enum message_code : int {
  VALTO_MESSAGE_TABLE(VALTO_MESSAGE_CODE_NAME, VALTO_MESSAGE_NO_FIELD)
  own_message_code = 4000,  // the raiser printed its own message
};
#undef VALTO_MESSAGE_NO_FIELD
#undef VALTO_MESSAGE_CODE_NAME

constexpr int message_count = 135;
