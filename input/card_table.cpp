// The project card table: every card word the reader recognises, one row a
// word. A row gives the code (synonyms share it; ignored_card_code marks the
// words whose lines are skipped in silence), how the card stores its values,
// the process it belongs to and its effect. The numbering is the reader's own
// and appears in no file.

#include "input/card_table.h"

#include <cctype>
#include <cstring>

#include "input/card_handlers.h"
#include "input/project_settings.h"

namespace {

// Where a card stores: a field of project_settings, run_parameters or
// precip_settings. The accessors are typed, so a kind that does not fit its
// field does not compile.
#define S_(field) [](card_records& r) { return &r.settings.field; }
#define P_(field) [](card_records& r) { return &r.params.field; }
#define R_(field) [](card_records& r) { return &r.precip.field; }

constexpr card_action ignored() { return {card_kind::ignored}; }
constexpr card_action no_effect() { return {card_kind::no_effect}; }

constexpr card_action flag(int_slot field, int value = 1) {
  return {card_kind::flag, field, nullptr, nullptr, nullptr, value};
}

constexpr card_action integer(int_slot field) { return {card_kind::integer, field}; }

constexpr card_action real(real_slot field, int_slot given = nullptr) {
  return {card_kind::real, nullptr, field, nullptr, given};
}

constexpr card_action name(name_slot field, int_slot given) {
  return {card_kind::name, nullptr, nullptr, field, given};
}

constexpr card_action printed_int(const char* format) {
  return {card_kind::printed_int, nullptr, nullptr, nullptr, nullptr, 0, nullptr, format};
}

constexpr card_action printed_real(const char* format) {
  return {card_kind::printed_real, nullptr, nullptr, nullptr, nullptr, 0, nullptr, format};
}

constexpr card_action special(card_handler handler, int value = 0) {
  return {card_kind::special, nullptr, nullptr, nullptr, nullptr, value, handler};
}

// A nutrient card: index within its group, and the group's text for code 79.
constexpr card_action nutrient(card_handler handler, int index, const char* group) {
  return {card_kind::special, nullptr, nullptr, nullptr, nullptr, index, handler, group};
}

using enum card_feature;
using enum card_effect;

// clang-format off
constexpr card_row rows[] = {
  // Ignored words
  {"tpg", 173, ignored(), built, none},
  {"metric", 173, ignored(), built, none},
  {"simulation_input", 173, ignored(), built, none},

  // Accepted without effect
  {"lake", 0, no_effect(), built, none},
  {"lake_elev", 1, no_effect(), built, none},
  {"radar_intensity", 2, no_effect(), built, none},
  {"lakes_mask", 3, no_effect(), built, none},
  {"lakes_elevation", 4, no_effect(), built, none},
  {"fline", 5, no_effect(), built, none},
  {"ntr_sum", 6, no_effect(), built, none},

  // Run, grid and clock
  {"long_term", 7, flag(S_(long_term)), long_term, switch_card},
  {"qout_cfs", 8, flag(P_(qout_cfs)), built, none},
  {"quiet", 9, flag(P_(quiet)), built, none},
  {"strict_julian_date", 10, flag(S_(strict_julian_date)), built, none},
  {"pause", 11, flag(S_(pause)), built, none},
  {"super_quiet", 12, special(super_quiet_card), built, none},
  {"units", 13, special(units_card), built, none},
  {"rows", 14, integer(P_(rows)), built, none},
  {"cols", 15, integer(P_(cols)), built, none},
  {"tot_time", 16, integer(P_(tot_time)), built, none},
  {"outrow", 17, integer(P_(outrow)), built, none},
  {"outcol", 18, integer(P_(outcol)), built, none},
  {"suppress_printing", 19, integer(S_(suppress_printing)), built, none},
  {"flush_buffer", 20, special(flush_buffer_card), built, none},
  {"num_threads", 21, special(num_threads_card), built, none},
  {"gridsize", 22, real(P_(gridsize)), built, none},
  {"timestep", 23, real(P_(timestep)), built, none},
  {"outslope", 24, real(P_(outslope)), built, none},
  {"st_time_step", 25, real(P_(st_time_step)), built, none},
  {"latitude", 26, real(P_(latitude)), built, none},
  {"longitude", 27, real(P_(longitude)), built, none},
  {"gmt", 28, real(P_(gmt), P_(gmt_given)), built, none},
  {"event_min_q", 29, real(S_(event_min_q)), built, none},
  {"fyssi", 30, name(S_(fyssi), S_(fyssi_given)), built, none},
  {"start_date", 31, special(start_date_card), built, none},
  {"start_time", 32, special(start_time_card), built, none},
  {"end_time", 33, special(end_time_card), built, none},

  // Side files and folders
  {"replace_line", 34, special(replace_line_card), replacement, parameter},
  {"mapping_table", 35, name(S_(mapping_table), S_(mapping_table_given)), mapping_tables, switch_card},
  {"st_mapping_table", 36, name(S_(st_mapping_table), S_(st_mapping_table_given)), mapping_tables, switch_card},
  {"project_folder", 37, special(project_folder_card), built, none},
  {"project_path", 37, special(project_folder_card), built, none},
  {"replace_folder", 38, special(output_folder_card), built, none},
  {"output_folder", 38, special(output_folder_card), built, none},
  {"analyzers", 39, name(S_(analyzers), S_(analyzers_given)), analyzers, switch_card},
  {"time_series_file", 40, name(S_(time_series_file), S_(time_series_file_given)), time_series, switch_card},
  {"elev_series_file", 41, name(S_(elev_series_file), S_(elev_series_file_given)), elev_series, switch_card},
  {"replace_params", 42, name(S_(replace_params), S_(replace_params_given)), replacement, switch_card},
  {"replace_vals", 43, name(S_(replace_vals), S_(replace_vals_given)), replacement, switch_card},

  // Surface maps, surface files and uniform surface values
  {"interception", 44, special(interception_card), interception, switch_card},
  {"manning_n", 45, real(S_(manning_n), S_(manning_n_given)), built, none},
  {"retention", 46, real(S_(retention), S_(retention_given)), built, none},
  {"unif_area_reduction", 47, real(S_(unif_area_reduction), S_(unif_area_reduction_given)), built, none},
  {"watershed_mask", 48, name(S_(watershed_mask), S_(watershed_mask_given)), built, none},
  {"elevation", 49, name(S_(elevation), S_(elevation_given)), built, none},
  // The map of initial surface water depths, read as the overland hot start.
  {"initial_depth", 50, name(S_(ov_init_depth), S_(ov_init_depth_given)), built, none},
  {"storage_capacity", 51, name(S_(storage_capacity), S_(storage_capacity_given)), interception, switch_card},
  {"interception_coeff", 52, name(S_(interception_coeff), S_(interception_coeff_given)), interception, switch_card},
  {"roughness", 53, name(S_(roughness), S_(roughness_given)), built, none},
  {"area_reduction", 54, name(S_(area_reduction), S_(area_reduction_given)), built, none},
  {"conductivity", 55, name(S_(conductivity), S_(conductivity_given)), infiltration, parameter},
  {"contam_map", 57, name(S_(contam_map), S_(contam_map_given)), contaminants, switch_card},
  {"capillary", 58, name(S_(capillary), S_(capillary_given)), infiltration, parameter},
  {"porosity", 59, name(S_(porosity), S_(porosity_given)), infiltration, parameter},
  {"moisture", 60, name(S_(moisture), S_(moisture_given)), infiltration, parameter},
  {"pore_index", 61, name(S_(pore_index), S_(pore_index_given)), infiltration, parameter},
  {"residual_sat", 62, name(S_(residual_sat), S_(residual_sat_given)), infiltration, parameter},
  {"albedo", 63, name(S_(albedo), S_(albedo_given)), long_term, parameter},
  {"vheight", 64, name(S_(vheight), S_(vheight_given)), long_term, parameter},
  {"tcoeff", 65, name(S_(tcoeff), S_(tcoeff_given)), long_term, parameter},
  {"canopy", 66, name(S_(canopy), S_(canopy_given)), long_term, parameter},
  {"wilting_point", 67, name(S_(wilting_point), S_(wilting_point_given)), long_term, parameter},
  {"materials", 68, name(S_(materials), S_(materials_given)), built, none},
  {"dike_map", 69, name(S_(dike_map), S_(dike_map_given)), dikes, switch_card},
  {"embankment", 69, name(S_(dike_map), S_(dike_map_given)), dikes, switch_card},
  {"lowspot_file", 70, name(S_(lowspot_file), S_(lowspot_file_given)), dikes, switch_card},
  {"overland_lake_map", 71, name(S_(overland_lake_map), S_(overland_lake_map_given)), lakes, switch_card},
  {"overland_lake_file", 72, name(S_(overland_lake_file), S_(overland_lake_file_given)), lakes, parameter},
  {"reten_depth", 73, special(reten_depth_card), built, none},

  // Precipitation
  {"precip_unif", 74, flag(R_(precip_source), 0), built, none},
  {"rain_inv_distance", 75, flag(R_(rain_interpolation), 0), gauge_rain, parameter},
  {"rain_thiessen", 76, flag(R_(rain_interpolation), 1), gauge_rain, parameter},
  {"rain_duration", 77, integer(R_(rain_duration)), built, none},
  {"rain_intensity", 78, real(R_(rain_intensity)), built, none},
  {"precip_file", 79, special(precip_file_card), gauge_rain, switch_card},

  // Overland flow and lakes
  {"overland_backwater", 80, flag(S_(overland_backwater)), channels, parameter},
  {"ov_boundary", 81, flag(S_(ov_boundary)), overland_boundary, switch_card},
  {"max_courant_number", 82, real(S_(max_courant_number)), built, none},
  {"m_lake", 83, real(S_(m_lake)), lakes, parameter},
  {"lake_pump", 84, name(S_(lake_pump), S_(lake_pump_given)), pumps, switch_card},
  {"ov_pump", 85, name(S_(ov_pump), S_(ov_pump_given)), pumps, switch_card},
  {"lake_output", 86, name(S_(lake_output), S_(lake_output_given)), lake_output, output},
  {"write_ov_hotstart", 87, name(S_(write_ov_hotstart), S_(write_ov_hotstart_given)), hotstart_output, output},
  {"ov_init_depth", 88, name(S_(ov_init_depth), S_(ov_init_depth_given)), built, none},
  {"read_ov_hotstart", 88, name(S_(ov_init_depth), S_(ov_init_depth_given)), built, none},
  {"overtype", 89, special(overtype_card), built, none},

  // Channels
  {"chan_preiss", 90, flag(P_(channel_method), 1), channels, parameter},
  {"chan_explic", 91, special(chan_explic_card), channels, switch_card},
  {"diffusive_wave", 91, special(chan_explic_card), channels, switch_card},
  {"chan_drain", 92, flag(P_(channel_method), 2), channels, switch_card},
  {"chan_backwater", 93, flag(P_(channel_method), 5), channels, switch_card},
  {"chan_mesh", 94, flag(P_(channel_method), 4), channels, switch_card},
  {"non_ortho_channels", 95, flag(S_(non_ortho_channels)), channels, parameter},
  {"include_channel_depth", 96, flag(S_(include_channel_depth)), channels, parameter},
  {"overbank_flow", 97, flag(S_(overbank_flow)), channels, parameter},
  {"head_bound", 98, flag(S_(head_bound)), channels, parameter},
  {"stream_loss", 99, flag(S_(stream_loss)), groundwater, switch_card},
  {"hotstart_is_depth", 100, flag(S_(hotstart_is_depth)), channels, parameter},
  {"stream_info", 101, flag(S_(stream_info)), channels, parameter},
  {"bound_depth", 102, real(S_(bound_depth)), channels, parameter},
  {"k_river", 103, real(S_(k_river)), channels, parameter},
  {"m_river", 104, real(S_(m_river)), channels, parameter},
  {"first_order_chan_q", 105, real(S_(first_order_chan_q)), channels, parameter},
  {"bound_ts", 106, name(S_(bound_ts), S_(bound_ts_given)), channels, parameter},
  {"explic_backwater", 107, name(S_(explic_backwater), S_(explic_backwater_given)), hotstart_output, output},
  {"explic_hotstart", 108, name(S_(explic_hotstart), S_(explic_hotstart_given)), channels, parameter},
  {"links", 109, name(S_(links), S_(links_given)), channels, parameter},
  {"nodes", 110, name(S_(nodes), S_(nodes_given)), channels, parameter},
  {"channel_input", 111, name(S_(channel_input), S_(channel_input_given)), channels, parameter},
  {"section_table", 112, name(S_(section_table), S_(section_table_given)), channels, parameter},
  {"stream_cell", 113, name(S_(stream_cell), S_(stream_cell_given)), channels, parameter},
  {"write_chan_hotstart", 114, name(S_(write_chan_hotstart), S_(write_chan_hotstart_given)), hotstart_output, output},
  {"read_chan_hotstart", 115, name(S_(read_chan_hotstart), S_(read_chan_hotstart_given)), channels, parameter},
  {"channel_deltat", 116, printed_int("Channel time step = %d\n"), built, none},
  {"drain_time", 117, printed_int("Drainage time = %d\n"), built, none},
  {"n_links", 118, printed_int("Number of links = %d\n"), built, none},
  {"max_nodes", 119, printed_int("Number of nodes = %d\n"), built, none},
  {"alpha", 120, printed_real("Alpha = %lf\n"), built, none},
  {"beta", 121, printed_real("Beta = %lf\n"), built, none},
  {"theta", 122, printed_real("Theta = %lf\n"), built, none},
  {"channel_gridsize", 123, printed_real("Channel grid size = %lf\n"), built, none},
  {"q_min", 124, printed_real("Minimum channel flow = %lf\n"), built, none},

  // Infiltration and soil water
  {"green_ampt", 125, flag(P_(infiltration_method), 1), infiltration, switch_card},
  {"inf_redist", 126, flag(P_(infiltration_method), 2), infiltration, switch_card},
  {"inf_layered_soil", 127, flag(P_(infiltration_method), 3), infiltration, switch_card},
  {"inf_richards", 128, flag(P_(infiltration_method), 4), infiltration, switch_card},
  {"no_cont_inf_redist", 129, flag(S_(no_cont_inf_redist)), infiltration, parameter},
  {"topo_index", 130, flag(S_(topo_index)), sacramento, parameter},
  {"richards_iter_max", 131, integer(S_(richards_iter_max)), infiltration, parameter},
  {"richards_weight", 132, real(S_(richards_weight)), infiltration, parameter},
  {"richards_dtheta_max", 133, real(S_(richards_dtheta_max)), infiltration, parameter},
  {"aquifer_delta_z", 134, real(S_(aquifer_delta_z)), infiltration, parameter},
  {"soil_moist_depth", 135, real(S_(soil_moist_depth)), infiltration, parameter},
  {"top_layer_depth", 136, real(S_(top_layer_depth)), infiltration, parameter},
  {"mixing_layer_depth", 137, real(S_(mixing_layer_depth)), infiltration, parameter},
  {"soil_type_map", 138, name(S_(soil_type_map), S_(soil_type_map_given)), infiltration, parameter},
  {"soil_layer_input_file", 139, name(S_(soil_layer_input_file), S_(soil_layer_input_file_given)), infiltration, parameter},
  {"water_table", 140, name(S_(water_table), S_(water_table_given)), water_table, switch_card},
  {"aquifer_bottom", 141, name(S_(aquifer_bottom), S_(aquifer_bottom_given)), infiltration, parameter},
  {"in_theta_location", 142, name(S_(in_theta_location), S_(in_theta_location_given)), soil_output, output},
  {"out_theta_location", 143, name(S_(out_theta_location), S_(out_theta_location_given)), soil_output, output},
  {"read_sm_hotstart", 144, name(S_(read_sm_hotstart), S_(read_sm_hotstart_given)), infiltration, switch_card},
  {"write_sm_hotstart", 145, name(S_(write_sm_hotstart), S_(write_sm_hotstart_given)), hotstart_output, output},
  {"sacramento", 146, name(S_(sacramento), S_(sacramento_given)), sacramento, switch_card},
  {"sacramento_pars", 146, name(S_(sacramento), S_(sacramento_given)), sacramento, switch_card},
  {"richards_k_option", 147, special(richards_k_option_card), infiltration, parameter},
  {"richards_c_option", 148, special(richards_c_option_card), infiltration, parameter},
  {"richards_upper_option", 149, special(richards_upper_option_card), infiltration, parameter},

  // Groundwater
  {"gw_simulation", 150, flag(S_(gw_simulation)), groundwater, switch_card},
  {"gw_assign_theta", 151, flag(S_(gw_assign_theta)), groundwater, parameter},
  {"use_wells", 152, flag(S_(use_wells)), groundwater, parameter},
  {"gw_lsor_dir", 153, integer(S_(gw_lsor_dir)), groundwater, parameter},
  {"gw_timestep", 154, real(S_(gw_timestep)), groundwater, parameter},
  {"gw_lsor_con", 155, real(S_(gw_lsor_con)), groundwater, parameter},
  {"single_unsat_sat", 156, real(S_(single_unsat_sat)), groundwater, parameter},
  {"gw_leakage_rate", 157, real(S_(gw_leakage_rate)), groundwater, parameter},
  {"gw_relax_coeff", 158, real(S_(gw_relax_coeff)), groundwater, parameter},
  {"gw_unif_porosity", 159, real(S_(gw_unif_porosity)), groundwater, parameter},
  {"gw_unif_hycond", 160, real(S_(gw_unif_hycond)), groundwater, parameter},
  {"init_elev_head", 161, real(S_(init_elev_head)), groundwater, parameter},
  {"gw_fluxboundtable", 162, name(S_(gw_fluxboundtable), P_(gw_fluxboundtable_given)), groundwater, parameter},
  {"gw_flux_boundtable", 162, name(S_(gw_fluxboundtable), P_(gw_fluxboundtable_given)), groundwater, parameter},
  {"gw_boundfile", 163, special(gw_boundfile_card), groundwater, parameter},
  {"gw_output", 164, name(S_(gw_output), S_(gw_output_given)), groundwater_output, output},
  {"gw_porosity_map", 165, name(S_(gw_porosity_map), S_(gw_porosity_map_given)), groundwater, parameter},
  {"gw_hycond_map", 166, name(S_(gw_hycond_map), S_(gw_hycond_map_given)), groundwater, parameter},
  {"gw_well_level", 167, name(S_(gw_well_level), S_(gw_well_level_given)), groundwater_output, output},
  {"out_well_location", 168, name(S_(out_well_location), S_(out_well_location_given)), groundwater, parameter},

  // Drainage pipe networks
  {"superlink_c_opt", 169, flag(S_(superlink_c_opt)), storm_sewer, parameter},
  {"high_head_release", 170, flag(S_(high_head_release)), storm_sewer, parameter},
  {"superlink_drainmod", 171, flag(S_(superlink_drainmod)), storm_sewer, parameter},
  {"storm_sewer", 172, name(S_(storm_sewer), S_(storm_sewer_given)), storm_sewer, switch_card},
  {"grid_pipe", 174, name(S_(grid_pipe), S_(grid_pipe_given)), storm_sewer, parameter},
  {"pipe_flow", 175, name(S_(pipe_flow), S_(pipe_flow_given)), sewer_output, output},
  {"pipe_head", 176, name(S_(pipe_head), S_(pipe_head_given)), sewer_output, output},
  {"pipe_tile", 177, name(S_(pipe_tile), S_(pipe_tile_given)), sewer_output, output},
  {"superlink_junc_location", 178, name(S_(superlink_junc_location), S_(superlink_junc_location_given)), sewer_output, output},
  {"superlink_node_location", 179, name(S_(superlink_node_location), S_(superlink_node_location_given)), sewer_output, output},
  {"superlink_junc_flow", 180, name(S_(superlink_junc_flow), S_(superlink_junc_flow_given)), sewer_output, output},
  {"superlink_node_flow", 181, name(S_(superlink_node_flow), S_(superlink_node_flow_given)), sewer_output, output},

  // Hydrometeorology, evapotranspiration and snow
  {"et_calc_penman", 182, flag(S_(et_calc_penman)), long_term, parameter},
  {"et_calc_deardorff", 183, flag(S_(et_calc_deardorff)), long_term, parameter},
  {"seasonal_rs", 184, flag(S_(seasonal_rs)), long_term, parameter},
  {"snow_no_infiltrate", 185, flag(S_(snow_no_infiltrate)), snow, parameter},
  {"nwsrfs_snow", 186, flag(S_(nwsrfs_snow)), snow, switch_card},
  {"nwsrfs_retention", 187, flag(S_(nwsrfs_retention)), snow, parameter},
  {"eb_nwsrfs_snow", 188, flag(S_(eb_nwsrfs_snow)), snow, switch_card},
  {"orogvar_hmet", 189, flag(S_(orogvar_hmet)), long_term, parameter},
  {"snow_roughness", 190, real(S_(snow_roughness)), snow, parameter},
  {"snow_darcy", 191, real(S_(snow_darcy)), snow, parameter},
  {"snow_reynolds", 192, real(S_(snow_reynolds)), snow, parameter},
  {"nwsrfs_mf_max", 193, real(S_(nwsrfs_mf_max), S_(nwsrfs_mf_max_given)), snow, parameter},
  {"nwsrfs_mf_min", 194, real(S_(nwsrfs_mf_min), S_(nwsrfs_mf_min_given)), snow, parameter},
  {"nwsrfs_fr_use", 195, real(S_(nwsrfs_fr_use), S_(nwsrfs_fr_use_given)), snow, parameter},
  {"nwsrfs_scf", 196, real(S_(nwsrfs_scf), S_(nwsrfs_scf_given)), snow, parameter},
  {"hmet_elev_gage", 197, real(S_(hmet_elev_gage)), long_term, parameter},
  {"hmet_lapse_rate", 198, real(S_(hmet_lapse_rate)), long_term, parameter},
  {"hmet_surfaways", 199, name(S_(hmet_surfaways), S_(hmet_surfaways_given)), long_term, parameter},
  {"hmet_samson", 200, name(S_(hmet_samson), S_(hmet_samson_given)), long_term, parameter},
  {"hmet_zep", 201, name(S_(hmet_zep), S_(hmet_zep_given)), long_term, parameter},
  {"hmet_ascii", 202, name(S_(hmet_ascii), S_(hmet_ascii_given)), long_term, parameter},
  {"hmet_ascii_pet", 203, name(S_(hmet_ascii_pet), S_(hmet_ascii_pet_given)), long_term, parameter},
  {"snow_swe_file", 204, name(S_(snow_swe_file), S_(snow_swe_file_given)), snow, parameter},
  {"nwsrfs_elev_snow", 205, name(S_(nwsrfs_elev_snow), S_(nwsrfs_elev_snow_given)), snow, parameter},
  {"snow_temp", 206, name(S_(snow_temp), S_(snow_temp_given)), snow, parameter},
  {"init_swe_depth", 207, special(init_swe_depth_card), snow, switch_card},

  // Sediments
  {"adjust_channel_bed", 208, flag(S_(adjust_channel_bed)), erosion, parameter},
  {"soil_erosion", 209, special(soil_erosion_card), erosion, switch_card},
  {"sand_size", 210, real(S_(sand_size)), erosion, parameter},
  {"silt_size", 211, real(S_(silt_size)), erosion, parameter},
  {"clay_size", 212, real(S_(clay_size)), erosion, parameter},
  {"water_temp", 213, real(S_(water_temp)), erosion, parameter},
  {"sed_porosity", 214, real(S_(sed_porosity)), erosion, parameter},
  {"soil_erodability", 215, name(S_(soil_erodability), S_(soil_erodability_given)), erosion, parameter},
  {"crop_management", 216, name(S_(crop_management), S_(crop_management_given)), erosion, parameter},
  {"conservation_practice", 217, name(S_(conservation_practice), S_(conservation_practice_given)), erosion, parameter},
  {"sand_map", 218, name(S_(sand_map), S_(sand_map_given)), erosion, parameter},
  {"silt_map", 219, name(S_(silt_map), S_(silt_map_given)), erosion, parameter},
  {"in_sed_loc", 220, name(S_(in_sed_loc), S_(in_sed_loc_given)), sediment_output, output},
  {"vol_sed_susp", 221, name(S_(vol_sed_susp), S_(vol_sed_susp_given)), sediment_output, output},
  {"max_sed_flux", 222, name(S_(max_sed_flux), S_(max_sed_flux_given)), sediment_output, output},
  {"net_sed_volume", 223, name(S_(net_sed_volume), S_(net_sed_volume_given)), sediment_output, output},
  {"outlet_sed_flux", 224, name(S_(outlet_sed_flux), S_(outlet_sed_flux_given)), sediment_output, output},
  {"outlet_sed_tss", 225, name(S_(outlet_sed_tss), S_(outlet_sed_tss_given)), sediment_output, output},
  {"out_tss_loc", 226, name(S_(out_tss_loc), S_(out_tss_loc_given)), sediment_output, output},
  {"out_sed_loc", 227, name(S_(out_sed_loc), S_(out_sed_loc_given)), sediment_output, output},
  {"adjust_elev", 228, name(S_(adjust_elev), S_(adjust_elev_given)), erosion, parameter},

  // Contaminants
  {"chan_con_trans", 229, flag(S_(chan_con_trans)), channel_contaminants, switch_card},
  {"ov_con_trans", 230, flag(S_(ov_con_trans)), contaminants, switch_card},
  {"all_contam_output", 231, flag(S_(all_contam_output)), contaminant_output, output},
  {"soil_con_trans", 232, flag(S_(soil_con_trans)), contaminants, switch_card},
  {"soil_contam", 232, flag(S_(soil_con_trans)), contaminants, switch_card},
  {"soil_static_conc", 233, flag(S_(soil_static_conc)), contaminants, switch_card},
  {"sediment_contam", 234, flag(S_(sediment_contam)), contaminants, switch_card},
  {"chan_decay_coef", 235, real(S_(chan_decay_coef)), channel_contaminants, parameter},
  {"chan_disp_coef", 236, real(S_(chan_disp_coef)), channel_contaminants, parameter},
  {"init_chan_conc", 237, real(S_(init_chan_conc)), channel_contaminants, parameter},
  {"ov_decay_coef", 238, real(S_(ov_decay_coef)), contaminants, parameter},
  {"ov_disp_coef", 239, real(S_(ov_disp_coef)), contaminants, parameter},
  {"ov_uptake_rate", 240, real(S_(ov_uptake_rate)), contaminants, parameter},
  {"kinetics_timestep_factor", 241, real(S_(kinetics_timestep_factor)), contaminants, parameter},
  {"soil_kinetics_timestep_factor", 242, real(S_(soil_kinetics_timestep_factor)), contaminants, parameter},
  {"ov_mass_load", 243, real(S_(ov_mass_load)), contaminants, parameter},
  {"chan_point_input", 244, name(S_(chan_point_input), S_(chan_point_input_given)), point_inputs, switch_card},
  {"ov_point_source", 245, name(S_(ov_point_source), S_(ov_point_source_given)), point_inputs, switch_card},
  {"ov_con_map", 246, name(S_(ov_con_map), S_(ov_con_map_given)), initial_concentration_maps, switch_card},

  // Nutrients
  {"nutrients", 247, special(nutrients_card), nutrients, switch_card},
  {"soils_nsm_p", 248, flag(S_(soils_nsm_p), 2), nutrients, parameter},
  {"soils_nsm_c", 249, flag(S_(soils_nsm_c), 2), nutrients, parameter},
  {"soils_nsm_n", 250, flag(S_(soils_nsm_n), 2), nutrients, parameter},
  {"chan_ph", 251, real(S_(chan_ph)), nutrients, parameter},
  {"no2_koc", 252, real(S_(km_koc[6]), S_(km_koc_given)), nutrients, parameter},
  {"no3_koc", 253, real(S_(km_koc[7]), S_(km_koc_given)), nutrients, parameter},
  {"nh4_koc", 254, real(S_(km_koc[8]), S_(km_koc_given)), nutrients, parameter},
  {"on_koc", 255, real(S_(km_koc[9]), S_(km_koc_given)), nutrients, parameter},
  {"op_koc", 256, real(S_(km_koc[10]), S_(km_koc_given)), nutrients, parameter},
  {"dp_koc", 257, real(S_(km_koc[11]), S_(km_koc_given)), nutrients, parameter},
  {"no2_km", 258, real(S_(km_koc[0]), S_(km_koc_given)), nutrients, parameter},
  {"no3_km", 259, real(S_(km_koc[1]), S_(km_koc_given)), nutrients, parameter},
  {"nh4_km", 260, real(S_(km_koc[2]), S_(km_koc_given)), nutrients, parameter},
  {"on_km", 261, real(S_(km_koc[3]), S_(km_koc_given)), nutrients, parameter},
  {"op_km", 262, real(S_(km_koc[4]), S_(km_koc_given)), nutrients, parameter},
  {"dp_km", 263, real(S_(km_koc[5]), S_(km_koc_given)), nutrients, parameter},
  {"aq_env", 264, nutrient(aq_env_card, 0, "AQ_ENV"), nutrients, parameter},
  {"sourcefile", 265, name(S_(sourcefile), S_(sourcefile_given)), nutrients, parameter},
  {"out_ov_no2", 266, nutrient(out_ov_card, 0, "OUT_OV_XXX"), nutrient_output, output},
  {"out_ov_no3", 267, nutrient(out_ov_card, 1, "OUT_OV_XXX"), nutrient_output, output},
  {"out_ov_nh4", 268, nutrient(out_ov_card, 2, "OUT_OV_XXX"), nutrient_output, output},
  {"out_ov_on", 269, nutrient(out_ov_card, 3, "OUT_OV_XXX"), nutrient_output, output},
  {"out_ov_op", 270, nutrient(out_ov_card, 4, "OUT_OV_XXX"), nutrient_output, output},
  {"out_ov_dp", 271, nutrient(out_ov_card, 5, "OUT_OV_XXX"), nutrient_output, output},
  {"out_ov_alg", 272, nutrient(out_ov_card, 6, "OUT_OV_XXX"), nutrient_output, output},
  {"out_ov_cbod", 273, nutrient(out_ov_card, 7, "OUT_OV_XXX"), nutrient_output, output},
  {"out_ov_do", 274, nutrient(out_ov_card, 8, "OUT_OV_XXX"), nutrient_output, output},
  {"out_st_no2", 275, nutrient(out_st_card, 0, "OUT_ST_XXX"), nutrient_output, output},
  {"out_st_no3", 276, nutrient(out_st_card, 1, "OUT_ST_XXX"), nutrient_output, output},
  {"out_st_nh4", 277, nutrient(out_st_card, 2, "OUT_ST_XXX"), nutrient_output, output},
  {"out_st_on", 278, nutrient(out_st_card, 3, "OUT_ST_XXX"), nutrient_output, output},
  {"out_st_op", 279, nutrient(out_st_card, 4, "OUT_ST_XXX"), nutrient_output, output},
  {"out_st_dp", 280, nutrient(out_st_card, 5, "OUT_ST_XXX"), nutrient_output, output},
  {"out_st_alg", 281, nutrient(out_st_card, 6, "OUT_ST_XXX"), nutrient_output, output},
  {"out_st_cbod", 282, nutrient(out_st_card, 7, "OUT_ST_XXX"), nutrient_output, output},
  {"out_st_do", 283, nutrient(out_st_card, 8, "OUT_ST_XXX"), nutrient_output, output},
  {"out_hyd_no2", 284, nutrient(out_hyd_card, 0, "OUT_HYD_XXX"), nutrient_output, output},
  {"out_hyd_no3", 285, nutrient(out_hyd_card, 1, "OUT_HYD_XXX"), nutrient_output, output},
  {"out_hyd_nh4", 286, nutrient(out_hyd_card, 2, "OUT_HYD_XXX"), nutrient_output, output},
  {"out_hyd_on", 287, nutrient(out_hyd_card, 3, "OUT_HYD_XXX"), nutrient_output, output},
  {"out_hyd_op", 288, nutrient(out_hyd_card, 4, "OUT_HYD_XXX"), nutrient_output, output},
  {"out_hyd_dp", 289, nutrient(out_hyd_card, 5, "OUT_HYD_XXX"), nutrient_output, output},
  {"out_hyd_alg", 290, nutrient(out_hyd_card, 6, "OUT_HYD_XXX"), nutrient_output, output},
  {"out_hyd_cbod", 291, nutrient(out_hyd_card, 7, "OUT_HYD_XXX"), nutrient_output, output},
  {"out_hyd_do", 292, nutrient(out_hyd_card, 8, "OUT_HYD_XXX"), nutrient_output, output},
  {"total_ov_n", 293, name(S_(total_ov_n), S_(total_ov_n_given)), nutrient_output, output},
  {"total_ov_p", 294, name(S_(total_ov_p), S_(total_ov_p_given)), nutrient_output, output},
  {"total_chan_n", 295, name(S_(total_chan_n), S_(total_chan_n_given)), nutrient_output, output},
  {"total_chan_kn", 296, name(S_(total_chan_kn), S_(total_chan_kn_given)), nutrient_output, output},
  {"total_chan_p", 297, name(S_(total_chan_p), S_(total_chan_p_given)), nutrient_output, output},
  {"ov_init_no2", 298, nutrient(ov_init_card, 0, "OV_INIT_XXX"), nutrients, parameter},
  {"ov_init_no3", 299, nutrient(ov_init_card, 1, "OV_INIT_XXX"), nutrients, parameter},
  {"ov_init_nh4", 300, nutrient(ov_init_card, 2, "OV_INIT_XXX"), nutrients, parameter},
  {"ov_init_on", 301, nutrient(ov_init_card, 3, "OV_INIT_XXX"), nutrients, parameter},
  {"ov_init_op", 302, nutrient(ov_init_card, 4, "OV_INIT_XXX"), nutrients, parameter},
  {"ov_init_dp", 303, nutrient(ov_init_card, 5, "OV_INIT_XXX"), nutrients, parameter},
  {"ov_init_alg", 304, nutrient(ov_init_card, 6, "OV_INIT_XXX"), nutrients, parameter},
  {"ov_init_cbod", 305, nutrient(ov_init_card, 7, "OV_INIT_XXX"), nutrients, parameter},
  {"ov_init_do", 306, nutrient(ov_init_card, 8, "OV_INIT_XXX"), nutrients, parameter},
  {"ov_doc_init", 307, nutrient(ov_init_card, 9, "OV_INIT_XXX"), nutrients, parameter},
  {"ov_doc_foc", 308, nutrient(ov_init_card, 10, "OV_INIT_XXX"), nutrients, parameter},
  {"ov_dispersion", 309, nutrient(ov_init_card, 11, "OV_INIT_XXX"), nutrients, parameter},
  {"st_init_no2", 310, nutrient(st_init_card, 0, "ST_INIT_XXX"), nutrients, parameter},
  {"st_init_no3", 311, nutrient(st_init_card, 1, "ST_INIT_XXX"), nutrients, parameter},
  {"st_init_nh4", 312, nutrient(st_init_card, 2, "ST_INIT_XXX"), nutrients, parameter},
  {"st_init_on", 313, nutrient(st_init_card, 3, "ST_INIT_XXX"), nutrients, parameter},
  {"st_init_op", 314, nutrient(st_init_card, 4, "ST_INIT_XXX"), nutrients, parameter},
  {"st_init_dp", 315, nutrient(st_init_card, 5, "ST_INIT_XXX"), nutrients, parameter},
  {"st_init_alg", 316, nutrient(st_init_card, 6, "ST_INIT_XXX"), nutrients, parameter},
  {"st_init_cbod", 317, nutrient(st_init_card, 7, "ST_INIT_XXX"), nutrients, parameter},
  {"st_init_do", 318, nutrient(st_init_card, 8, "ST_INIT_XXX"), nutrients, parameter},

  // Outputs
  {"map_freq", 319, integer(P_(map_freq)), built, none},
  {"map_type", 320, integer(P_(map_type)), built, none},
  {"hyd_freq", 321, real(P_(hyd_freq)), built, none},
  {"dis_profile", 322, name(S_(dis_profile), S_(dis_profile_given)), channel_output, output},
  {"dis_profile_out", 323, name(S_(dis_profile_out), S_(dis_profile_out_given)), channel_output, output},
  {"wat_surf_profile", 324, name(S_(wat_surf_profile), S_(wat_surf_profile_given)), channel_output, output},
  {"wat_surf_profile_out", 325, name(S_(wat_surf_profile_out), S_(wat_surf_profile_out_given)), channel_output, output},
  {"discharge", 326, name(S_(discharge), S_(discharge_given)), map_output, output},
  {"depth", 327, name(S_(depth), S_(depth_given)), map_output, output},
  {"inf_depth", 328, name(S_(inf_depth), S_(inf_depth_given)), map_output, output},
  {"surf_moist", 329, name(S_(surf_moist), S_(surf_moist_given)), map_output, output},
  {"rate_of_infil", 330, name(S_(rate_of_infil), S_(rate_of_infil_given)), map_output, output},
  {"dis_rain", 331, name(S_(dis_rain), S_(dis_rain_given)), map_output, output},
  {"gw_recharge_cum", 332, name(S_(gw_recharge_cum), S_(gw_recharge_cum_given)), map_output, output},
  {"gw_recharge_inc", 333, name(S_(gw_recharge_inc), S_(gw_recharge_inc_given)), map_output, output},
  {"chan_depth", 334, name(S_(chan_depth), S_(chan_depth_given)), channel_output, output},
  {"chan_sed_flux", 335, name(S_(chan_sed_flux), S_(chan_sed_flux_given)), channel_output, output},
  {"chan_discharge", 336, name(S_(chan_discharge), S_(chan_discharge_given)), channel_output, output},
  {"chan_stage", 337, name(S_(chan_stage), S_(chan_stage_given)), channel_output, output},
  {"chan_velocity", 338, name(S_(chan_velocity), S_(chan_velocity_given)), channel_output, output},
  {"in_hyd_location", 339, name(S_(in_hyd_location), S_(in_hyd_location_given)), location_output, output},
  {"out_hyd_location", 340, name(S_(out_hyd_location), S_(out_hyd_location_given)), location_output, output},
  {"in_gwflux_location", 342, name(S_(in_gwflux_location), S_(in_gwflux_location_given)), location_output, output},
  {"out_gwflux_location", 343, name(S_(out_gwflux_location), S_(out_gwflux_location_given)), location_output, output},
  {"in_celldepdis_location", 344, name(S_(in_celldepdis_location), S_(in_celldepdis_location_given)), location_output, output},
  {"out_celldepdis_location", 345, name(S_(out_celldepdis_location), S_(out_celldepdis_location_given)), location_output, output},
  {"summary", 346, name(S_(summary), S_(summary_given)), built, none},
  {"outlet_hydro", 347, name(S_(outlet_hydro), S_(outlet_hydro_given)), built, none},
  {"sig_outlet_hydro", 348, name(S_(sig_outlet_hydro), S_(sig_outlet_hydro_given)), outlet_output, output},
  {"tpg_hydro", 349, name(S_(tpg_hydro), S_(tpg_hydro_given)), outlet_output, output},
  {"cell_hydro", 350, name(S_(cell_hydro), S_(cell_hydro_given)), location_output, output},
  {"out_dep_location", 351, name(S_(out_dep_location), S_(out_dep_location_given)), location_output, output},
  {"out_con_location", 352, name(S_(out_con_location), S_(out_con_location_given)), location_output, output},
  {"out_mass_location", 353, name(S_(out_mass_location), S_(out_mass_location_given)), location_output, output},
  {"flood_grid", 354, name(S_(flood_grid), S_(flood_grid_given)), flood_output, output},
  {"flood_stream", 355, name(S_(flood_stream), S_(flood_stream_given)), flood_output, output},
  {"daily_output", 356, name(S_(daily_output), S_(daily_output_given)), daily_output, output},
  {"xybdyoutput_pts", 357, special(xy_output_kind_card, 0), xy_output, output},
  {"xybdyoutput_mask", 358, special(xy_output_kind_card, 1), xy_output, output},
  {"xybdyoutput_ovdep", 359, name(S_(xybdyoutput_ovdep), S_(xybdyoutput_ovdep_given)), xy_output, output},
  {"xybdyoutput_gwhead", 360, name(S_(xybdyoutput_gwhead), S_(xybdyoutput_gwhead_given)), xy_output, output},
  {"xybdyoutput_stflow", 361, name(S_(xybdyoutput_stflow), S_(xybdyoutput_stflow_given)), xy_output, output},

  // X-window plotting
  {"xwindows", 362, flag(S_(xwindows)), built, none},
  {"xrain", 363, flag(S_(xrain)), built, none},
  {"xgwrecharge", 364, flag(S_(xgwrecharge)), built, none},
  {"xdepth", 365, flag(S_(xdepth)), built, none},
  {"xinfdep", 366, flag(S_(xinfdep)), built, none},
  {"xchan", 367, flag(S_(xchan)), built, none},
  {"xbig", 368, flag(S_(xbig)), built, none},
  {"xsurf", 369, flag(S_(xsurf)), built, none},
  {"x_freq", 370, integer(S_(x_freq)), built, none},
  {"xwin_width", 371, integer(S_(xwin_width)), built, none},
  {"xwin_height", 372, integer(S_(xwin_height)), built, none},

  // Land-management framework
  {"qtr", 373, flag(S_(qtr)), framework, switch_card},
  {"vune_first", 374, flag(S_(vune_first)), framework, parameter},
  {"qtr_event_num", 375, special(qtr_event_num_card), framework, parameter},
  {"vune", 376, name(S_(vune), S_(vune_given)), framework, switch_card},
  {"moist_to_vune", 377, name(S_(moist_to_vune), S_(moist_to_vune_given)), framework, parameter},
  {"ksat_to_vune", 378, name(S_(ksat_to_vune), S_(ksat_to_vune_given)), framework, parameter},
  {"rough_to_vune", 379, name(S_(rough_to_vune), S_(rough_to_vune_given)), framework, parameter},
  {"poros_to_vune", 380, name(S_(poros_to_vune), S_(poros_to_vune_given)), framework, parameter},
  {"erosivity_to_vune", 381, name(S_(erosivity_to_vune), S_(erosivity_to_vune_given)), framework, parameter},
  {"crop_fact_to_vune", 382, name(S_(crop_fact_to_vune), S_(crop_fact_to_vune_given)), framework, parameter},
  {"net_erosion_to_vune", 383, name(S_(net_erosion_to_vune), S_(net_erosion_to_vune_given)), framework, parameter},
  {"moist_from_vune", 384, name(S_(moist_from_vune), S_(moist_from_vune_given)), framework, parameter},
  {"ksat_from_vune", 385, name(S_(ksat_from_vune), S_(ksat_from_vune_given)), framework, parameter},
  {"rough_from_vune", 386, name(S_(rough_from_vune), S_(rough_from_vune_given)), framework, parameter},
  {"erosivity_from_vune", 387, name(S_(erosivity_from_vune), S_(erosivity_from_vune_given)), framework, parameter},
  {"crop_fact_from_vune", 388, name(S_(crop_fact_from_vune), S_(crop_fact_from_vune_given)), framework, parameter},
  {"et_demand_from_vune", 389, name(S_(et_demand_from_vune), S_(et_demand_from_vune_given)), framework, parameter},

  // Dataset file format
  {"parb_compression", 390, integer(S_(parb_compression)), built, none},
  {"parb_file", 391, name(S_(parb_file), S_(parb_file_given)), built, none},
  {"parb_base_grid", 392, name(S_(parb_base_grid), S_(parb_base_grid_given)), built, none},
  {"parb_base_stream", 393, name(S_(parb_base_stream), S_(parb_base_stream_given)), built, none},
  {"parb_datasetgroup", 394, name(S_(parb_datasetgroup), S_(parb_datasetgroup_given)), built, none},

  // Reservoir water-quality coupling
  {"q7_fluxes", 395, flag(S_(q7_fluxes)), q7, switch_card},
  {"q7_input", 396, name(S_(q7_input), S_(q7_input_given)), q7_output, output},
  {"q7_nodes_to_segs", 397, name(S_(q7_nodes_to_segs), S_(q7_nodes_to_segs_given)), q7, parameter},
  {"q7_segment_map", 398, name(S_(q7_segment_map), S_(q7_segment_map_given)), q7, parameter},
  {"q7_segment_fluxes", 399, name(S_(q7_segment_fluxes), S_(q7_segment_fluxes_given)), q7_output, output},

  // Calibration
  {"optimize_sed", 400, flag(S_(optimize_sed)), optimize_sed, switch_card},
  {"optimize", 401, name(S_(optimize), S_(optimize_given)), built, none},
  {"calib_obs_data", 402, name(S_(calib_obs_data), S_(calib_obs_data_given)), calibration, parameter},
  {"calib_comp_data", 403, special(calib_comp_data_card), calibration, parameter},
  {"calib_obj_func", 404, special(calib_obj_func_card), calibration, parameter},

  // XY boundary inputs
  {"xybdyinput_ovdep", 405, name(S_(xybdyinput_ovdep), S_(xybdyinput_ovdep_given)), xy_inputs, switch_card},
  {"xybdyinput_gwhead", 406, name(S_(xybdyinput_gwhead), S_(xybdyinput_gwhead_given)), xy_inputs, switch_card},
  {"xybdyinput_stflow", 407, name(S_(xybdyinput_stflow), S_(xybdyinput_stflow_given)), xy_inputs, switch_card},
  {"xybdyinput_sttimeseries", 408, name(S_(xybdyinput_sttimeseries), S_(xybdyinput_sttimeseries_given)), xy_inputs, switch_card},
};
// clang-format on

#undef S_
#undef P_
#undef R_

}  // namespace

std::span<const card_row> card_table() { return rows; }

card_name::card_name(const char* word) {
  std::size_t n = 0;
  for (; word[n] != '\0' && n + 1 < sizeof text; ++n)
    text[n] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[n])));
  text[n] = '\0';
}

const card_row* find_card(const char* lower_word) {
  for (const card_row& row : rows)
    if (std::strcmp(row.word, lower_word) == 0) return &row;
  return nullptr;
}

const card_row* find_card(int code) {
  for (const card_row& row : rows)
    if (row.code == code) return &row;
  return nullptr;
}
