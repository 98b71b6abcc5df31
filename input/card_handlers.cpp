// Cards with rules of their own. Values are taken off the front of the rest
// of the line; a missing value reads as 0 or an empty name, a value that is
// not a number reads as 0 and still uses up its token.

#include "input/card_handlers.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/error_state.h"
#include "core/parallel_context.h"
#include "core/safe_file.h"
#include "core/text_io.h"
#include "input/project_settings.h"

namespace {

// Takes one token (empty when there is none) as a string.
std::string take_name(char* values) {
  char token[token_capacity];
  next_token(values, token);
  return token;
}

int take_int(char* values) {
  int n = 0;
  next_int(values, n);
  return n;
}

// The first token lower-cased into a 32-character word (longer words are cut,
// which leaves their first four letters for the option comparisons).
void take_word(char* values, char word[32]) {
  char token[token_capacity];
  next_token(values, token);
  copy_text(word, 32, token);
  for (char* c = word; *c != '\0'; ++c) *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
}

// The nutrient record, or null after raising code 79 with the card group's
// text: every nutrient card but a few needs NUTRIENTS earlier in the file.
nutrient_settings* nutrient_record_for(const card_action& action, card_records& r,
                                       card_reader& reader) {
  nutrient_settings* record = r.settings.nutrient_record.get();
  if (record == nullptr) {
    set_error(79, 0, 0, action.note);
    reader.stop = true;
  }
  return record;
}

// A name, number or nothing: 1 map, 3 uniform, 2 none given.
void read_nutrient_source(nutrient_source& source, char* values) {
  char token[token_capacity];
  double x = 0.0;
  if (!next_token(values, token)) {
    source.kind = 2;
  } else if (is_number(token, x)) {
    source.kind = 3;
    source.value = x;
  } else {
    source.kind = 1;
    source.name = token;
  }
}

void read_nutrient_output(nutrient_output_file& output, char* values, card_mode mode) {
  output.flag = 1;
  output.name = take_name(values);
  if (mode == card_mode::clear) {
    output.flag = 0;
    output.name.clear();
  }
}

}  // namespace

bool is_number(const char* token, double& value) {
  value = 0.0;
  if (token == nullptr || token[0] == '\0') return false;
  char* end = nullptr;
  double x = std::strtod(token, &end);
  if (end == token || *end != '\0') return false;
  value = x;
  return true;
}

void units_card(const card_action&, card_records& r, char* values, card_reader&) {
  r.params.units = take_int(values);
  msg_printf("Units flag = %d\n", r.params.units);
}

namespace {

// A calendar field out of its range would reach the clock's arithmetic (and
// overflow it), so the card is refused where it stands.
struct calendar_field {
  const char* name;
  int low;
  int high;
};
constexpr calendar_field year_field{"year", 0, 9999};
constexpr calendar_field month_field{"month", 1, 12};
constexpr calendar_field day_field{"day", 1, 31};
constexpr calendar_field hour_field{"hour", 0, 24};
constexpr calendar_field minute_field{"minute", 0, 59};

int take_calendar_field(const char* card, const calendar_field& field, char* values,
                        card_reader& reader) {
  const int n = take_int(values);
  if (reader.stop || (n >= field.low && n <= field.high)) return n;
  raise_message(
      "Error: the project card %s on line %d of %s has the %s %d; it must be from %d to %d.\n",
      card, reader.line_number, reader.file_name, field.name, n, field.low, field.high);
  reader.stop = true;
  return field.low;
}

}  // namespace

void start_date_card(const card_action&, card_records& r, char* values, card_reader& reader) {
  r.params.start_date_year = take_calendar_field("START_DATE", year_field, values, reader);
  r.params.start_date_month = take_calendar_field("START_DATE", month_field, values, reader);
  r.params.start_date_day = take_calendar_field("START_DATE", day_field, values, reader);
}

void start_time_card(const card_action&, card_records& r, char* values, card_reader& reader) {
  r.params.start_time_hour = take_calendar_field("START_TIME", hour_field, values, reader);
  r.params.start_time_minute = take_calendar_field("START_TIME", minute_field, values, reader);
}

void end_time_card(const card_action&, card_records& r, char* values, card_reader& reader) {
  r.params.end_time_year = take_calendar_field("END_TIME", year_field, values, reader);
  r.params.end_time_month = take_calendar_field("END_TIME", month_field, values, reader);
  r.params.end_time_day = take_calendar_field("END_TIME", day_field, values, reader);
  r.params.end_time_hour = take_calendar_field("END_TIME", hour_field, values, reader);
  r.params.end_time_minute = take_calendar_field("END_TIME", minute_field, values, reader);
}

void flush_buffer_card(const card_action&, card_records& r, char* values, card_reader&) {
  r.settings.flush_buffer = 1;
  r.settings.flush_buffer_lines = take_int(values);
}

void soil_erosion_card(const card_action&, card_records& r, char* values, card_reader&) {
  r.settings.soil_erosion = 1;
  r.settings.soil_erosion_value = take_int(values);
}

void qtr_event_num_card(const card_action&, card_records& r, char* values, card_reader&) {
  char token[token_capacity];
  int n = -1;
  if (!next_token(values, token) || std::sscanf(token, "%d", &n) != 1) n = -1;
  r.settings.qtr_event_num = n;
  r.settings.qtr_event_num_given = 1;
}

void interception_card(const card_action&, card_records& r, char*, card_reader&) {
  r.settings.interception = 1;
  r.settings.storage_capacity_given = 1;
  r.settings.interception_coeff_given = 1;
}

void precip_file_card(const card_action&, card_records& r, char* values, card_reader&) {
  r.precip.precip_source = 1;
  r.precip.precip_file = take_name(values);
  r.precip.precip_file_given = 1;
}

void chan_explic_card(const card_action&, card_records& r, char*, card_reader&) {
  r.params.channel_method = 3;
  r.settings.non_ortho_channels = 1;
}

// XYBDYOUTPUT_PTS (value 0) and XYBDYOUTPUT_MASK (value 1) share the flag
// and the file name; the kind says which the name is.
void xy_output_kind_card(const card_action& action, card_records& r, char* values,
                         card_reader& reader) {
  r.settings.xybdyoutput_kind = action.value;
  r.settings.xybdyoutput_pts = take_name(values);
  r.settings.xybdyoutput = 1;
  if (reader.mode == card_mode::clear) {
    r.settings.xybdyoutput = 0;
    r.settings.xybdyoutput_pts.clear();
  }
}

void gw_boundfile_card(const card_action&, card_records& r, char* values, card_reader&) {
  char token[token_capacity];
  if (next_token(values, token)) {
    r.settings.gw_boundfile = token;
    r.settings.gw_boundfile_given = 1;
  }
}

void overtype_card(const card_action&, card_records& r, char* values, card_reader&) {
  char token[token_capacity];
  if (!next_token(values, token)) return;
  int n = 0;
  if (std::sscanf(token, "%d", &n) == 1) {
    r.settings.overtype = n;
    return;
  }
  for (char* c = token; *c != '\0'; ++c) *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
  if (std::strcmp(token, "explicit") == 0) r.settings.overtype = 1;
  else if (std::strcmp(token, "ade") == 0) r.settings.overtype = 2;
  else if (std::strcmp(token, "ade-pc") == 0) r.settings.overtype = 3;
}

void richards_k_option_card(const card_action&, card_records& r, char* values, card_reader&) {
  char word[32];
  take_word(values, word);
  if (std::strncmp(word, "geometric", 4) == 0) r.settings.richards_k_option = 2;
  else if (std::strncmp(word, "arithmetic", 4) == 0) r.settings.richards_k_option = 1;
}

void richards_c_option_card(const card_action&, card_records& r, char* values, card_reader&) {
  char word[32];
  take_word(values, word);
  if (std::strncmp(word, "havercamp", 4) == 0) r.settings.richards_c_option = 2;
  else if (std::strncmp(word, "brooks", 4) == 0) r.settings.richards_c_option = 1;
}

void richards_upper_option_card(const card_action&, card_records& r, char* values, card_reader&) {
  char word[32];
  take_word(values, word);
  if (std::strncmp(word, "green_ampt", 4) == 0) r.settings.richards_upper_option = 2;
  else if (std::strncmp(word, "average", 4) == 0) r.settings.richards_upper_option = 3;
  else r.settings.richards_upper_option = 0;
}

// A map name (or nothing) sets the retention map; a number is taken as the
// uniform retention depth of RETENTION, with a usage note.
void reten_depth_card(const card_action&, card_records& r, char* values, card_reader&) {
  char token[token_capacity];
  double x = 0.0;
  if (next_token(values, token) && is_number(token, x)) {
    std::printf(
        "Warning: Incorrect use of RETEN_DEPTH card\n  Usage: RETEN_DEPTH <filename>-or-\n"
        "RETENTION <value>  -or-\nRETEN_DEPTH \n  Using %lf for the uniform retention depth\n\n",
        x);
    r.settings.retention = x;
    r.settings.retention_given = 1;
    return;
  }
  r.settings.reten_depth = token;
  r.settings.reten_depth_given = 1;
}

void init_swe_depth_card(const card_action&, card_records& r, char* values, card_reader&) {
  char token[token_capacity];
  double x = 0.0;
  if (next_token(values, token) && is_number(token, x)) {
    r.settings.init_swe_depth_kind = 3;
    r.settings.init_swe_depth_value = x;
  } else {
    r.settings.init_swe_depth_kind = 1;
    r.settings.init_swe_depth_name = token;
  }
}

// Compared with case over five characters: any text beginning with DAILY or
// EVENT is taken.
void calib_comp_data_card(const card_action&, card_records& r, char* values, card_reader& reader) {
  if (std::strncmp(values, "DAILY", 5) == 0) {
    r.settings.calib_comp_data = 0;
  } else if (std::strncmp(values, "EVENT", 5) == 0) {
    r.settings.calib_comp_data = 1;
  } else {
    r.settings.calib_comp_data = 2;
    set_error(103);
    reader.stop = true;
  }
}

// Compared over five characters, the terminator included: the rest of the
// line must be exactly RMSE or HMLE.
void calib_obj_func_card(const card_action&, card_records& r, char* values, card_reader& reader) {
  if (std::strncmp(values, "RMSE", 5) == 0) {
    r.settings.calib_obj_func = 0;
  } else if (std::strncmp(values, "HMLE", 5) == 0) {
    r.settings.calib_obj_func = 1;
  } else {
    r.settings.calib_obj_func = 2;
    set_error(104);
    reader.stop = true;
  }
}

void super_quiet_card(const card_action&, card_records& r, char*, card_reader&) {
  r.settings.super_quiet = 1;
  quiet_flag = 1;
}

void num_threads_card(const card_action&, card_records& r, char* values, card_reader&) {
  int n = take_int(values);
  r.settings.num_threads = n;
  if (n < 1) {
    std::printf("Error: unable to set the thread level to %d.\n", n);
    return;
  }
  set_thread_count(n);
  msg_printf("Setting the thread level to %d.\n", n);
}

// The value line of the replacement file is process-wide: batch runs set it
// for each run, and this card sets it for the runs that follow. The values
// are taken when REPLACE_VALS is read, so a later REPLACE_LINE would come too
// late; either fault stops the reading with substitution still off.
void replace_line_card(const card_action&, card_records& r, char* values, card_reader& reader) {
  char token[token_capacity];
  next_token(values, token);
  char* stop = nullptr;
  const long n = std::strtol(token, &stop, 10);
  const bool whole = token[0] != '\0' && *stop == '\0' && n >= 1 && n <= 1000000000L;
  r.settings.replace_line = whole ? static_cast<int>(n) : 0;
  if (r.settings.replace_vals_given) {
    raise_message(
        "Error: the project card REPLACE_LINE on line %d of %s comes after REPLACE_VALS; it must "
        "come before it.\n",
        reader.line_number, reader.file_name);
    reader.stop = true;
    return;
  }
  if (!whole) {
    raise_message(
        "Error: the project card REPLACE_LINE on line %d of %s has the value \"%s\"; it must be a "
        "line number of the replacement value file, from 1.\n",
        reader.line_number, reader.file_name, token);
    reader.stop = true;
    return;
  }
  replace_line_index = r.settings.replace_line - 1;
}

void project_folder_card(const card_action&, card_records& r, char* values, card_reader&) {
  char token[token_capacity];
  next_token(values, token);
  r.settings.project_folder = token;
  r.settings.project_folder_given = 1;
  if (token[0] != '\0') set_project_directory(token, static_cast<int>(std::strlen(token)));
}

void output_folder_card(const card_action&, card_records& r, char* values, card_reader&) {
  char token[token_capacity];
  next_token(values, token);
  r.settings.replace_folder = token;
  r.settings.replace_folder_given = 1;
  set_output_directory(token);
}

// The nutrient record is made even while the nutrient model is not built, so
// that the later nutrient cards find it. A second card keeps the first record.
void nutrients_card(const card_action&, card_records& r, char*, card_reader&) {
  r.settings.nutrients = 1;
  if (r.settings.nutrient_record) {
    std::printf(
        "Warning: a second NUTRIENTS card was found in the project file; the nutrient settings "
        "read so far are kept.\n");
    return;
  }
  r.settings.nutrient_record = std::make_unique<nutrient_settings>();
}

void aq_env_card(const card_action& action, card_records& r, char* values, card_reader& reader) {
  nutrient_settings* record = nutrient_record_for(action, r, reader);
  if (record != nullptr) record->aq_env = take_name(values);
}

void ov_init_card(const card_action& action, card_records& r, char* values, card_reader& reader) {
  nutrient_settings* record = nutrient_record_for(action, r, reader);
  if (record != nullptr) read_nutrient_source(record->ov_init[action.value], values);
}

void st_init_card(const card_action& action, card_records& r, char* values, card_reader& reader) {
  nutrient_settings* record = nutrient_record_for(action, r, reader);
  if (record != nullptr) read_nutrient_source(record->st_init[action.value], values);
}

void out_ov_card(const card_action& action, card_records& r, char* values, card_reader& reader) {
  nutrient_settings* record = nutrient_record_for(action, r, reader);
  if (record != nullptr) read_nutrient_output(record->out_ov[action.value], values, reader.mode);
}

void out_st_card(const card_action& action, card_records& r, char* values, card_reader& reader) {
  nutrient_settings* record = nutrient_record_for(action, r, reader);
  if (record != nullptr) read_nutrient_output(record->out_st[action.value], values, reader.mode);
}

void out_hyd_card(const card_action& action, card_records& r, char* values, card_reader& reader) {
  nutrient_settings* record = nutrient_record_for(action, r, reader);
  if (record != nullptr) read_nutrient_output(record->out_hyd[action.value], values, reader.mode);
}
