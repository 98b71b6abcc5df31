// Cards that read their side file at once, in file order: series read here
// are there for the XY stream file read after them, and the replacement
// values switch substitution on for every later line.

#include "input/side_file_cards.h"

#include <cstring>
#include <memory>

#include "core/error_state.h"
#include "input/card_table.h"
#include "input/project_settings.h"
#include "input/replace_params.h"
#include "input/series.h"
#include "input/xy_inputs.h"

namespace {

xy_input& xy_record(project_settings& s) {
  if (!s.xy_inputs) s.xy_inputs = std::make_unique<xy_input>();
  return *s.xy_inputs;
}

}  // namespace

void read_side_file_card(const card_row& row, card_records& records, card_reader&) {
  project_settings& s = records.settings;
  const char* word = row.word;
  auto is = [word](const char* card) { return std::strcmp(word, card) == 0; };

  if (is("time_series_file")) {
    read_time_series_file(s.ts_list, s.time_series_file.c_str());
  } else if (is("elev_series_file")) {
    es_read_file(s.es_list, s.elev_series_file.c_str());
  } else if (is("replace_params")) {
    // A run without the values it was given would run on other numbers than
    // the user's: a list or value file that does not read stops it.
    if (read_replace_params(s.replace_params.c_str()) != 0 && !error_state.stop_flag)
      raise_message(nullptr);
  } else if (is("replace_vals")) {
    if (read_replace_vals(s.replace_vals.c_str()) != 0 && !error_state.stop_flag)
      raise_message(nullptr);
  } else if (is("xybdyinput_ovdep")) {
    read_xy_point_input(xy_record(s).ovpts, s.ts_list, "overland", s.xybdyinput_ovdep.c_str(),
                        "XY_OV_DEPTH");
  } else if (is("xybdyinput_gwhead")) {
    read_xy_point_input(xy_record(s).gwpts, s.ts_list, "groundwater",
                        s.xybdyinput_gwhead.c_str(), "XY_GW_HEAD");
  } else if (is("xybdyinput_stflow")) {
    read_xy_stream_input(xy_record(s), s.ts_list, s.xybdyinput_stflow.c_str());
  } else if (is("xybdyinput_sttimeseries")) {
    read_xy_stream_ts_input(xy_record(s), s.ts_list, s.xybdyinput_sttimeseries.c_str());
  }
}
