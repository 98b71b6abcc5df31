#pragma once
// Cards with rules of their own: several values, words compared by the
// reader, actions taken at once, and the nutrient cards that need NUTRIENTS
// first. Each has the card_handler form, so the card table can name it.

#include "input/card_table.h"

// Several values, or a value with a flag of its own
void units_card(const card_action&, card_records&, char* values, card_reader&);
void start_date_card(const card_action&, card_records&, char* values, card_reader&);
void start_time_card(const card_action&, card_records&, char* values, card_reader&);
void end_time_card(const card_action&, card_records&, char* values, card_reader&);
void flush_buffer_card(const card_action&, card_records&, char* values, card_reader&);
void soil_erosion_card(const card_action&, card_records&, char* values, card_reader&);
void qtr_event_num_card(const card_action&, card_records&, char* values, card_reader&);
void interception_card(const card_action&, card_records&, char* values, card_reader&);
void precip_file_card(const card_action&, card_records&, char* values, card_reader&);
void chan_explic_card(const card_action&, card_records&, char* values, card_reader&);
void xy_output_kind_card(const card_action&, card_records&, char* values, card_reader&);
void gw_boundfile_card(const card_action&, card_records&, char* values, card_reader&);

// Words and numbers
void overtype_card(const card_action&, card_records&, char* values, card_reader&);
void richards_k_option_card(const card_action&, card_records&, char* values, card_reader&);
void richards_c_option_card(const card_action&, card_records&, char* values, card_reader&);
void richards_upper_option_card(const card_action&, card_records&, char* values, card_reader&);
void reten_depth_card(const card_action&, card_records&, char* values, card_reader&);
void init_swe_depth_card(const card_action&, card_records&, char* values, card_reader&);
void calib_comp_data_card(const card_action&, card_records&, char* values, card_reader&);
void calib_obj_func_card(const card_action&, card_records&, char* values, card_reader&);

// Acting at once on the process
void super_quiet_card(const card_action&, card_records&, char* values, card_reader&);
void num_threads_card(const card_action&, card_records&, char* values, card_reader&);
void replace_line_card(const card_action&, card_records&, char* values, card_reader&);
void project_folder_card(const card_action&, card_records&, char* values, card_reader&);
void output_folder_card(const card_action&, card_records&, char* values, card_reader&);
void nutrients_card(const card_action&, card_records&, char* values, card_reader&);

// Nutrient cards: action.value is the constituent index, action.note the
// group named by code 79 when NUTRIENTS has not come first.
void aq_env_card(const card_action&, card_records&, char* values, card_reader&);
void ov_init_card(const card_action&, card_records&, char* values, card_reader&);
void st_init_card(const card_action&, card_records&, char* values, card_reader&);
void out_ov_card(const card_action&, card_records&, char* values, card_reader&);
void out_st_card(const card_action&, card_records&, char* values, card_reader&);
void out_hyd_card(const card_action&, card_records&, char* values, card_reader&);

// A token that converts whole as a real ("2.5", "-1e3"); "12abc" is not one.
bool is_number(const char* token, double& value);
