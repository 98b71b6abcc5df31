// Set-up phase 2: refuse card combinations that cannot run together, before
// any file is opened. The first failing check leaves its code for the run
// driver; the two groundwater warnings are reported at once and the checks go
// on. Last comes the refusal of switch cards of processes not built yet.

#include <cstdio>

#include "core/error_state.h"
#include "run/model_state.h"
#include "core/text_io.h"
#include "input/card_gate.h"
#include "input/project_reader.h"

namespace {

constexpr int groundwater_table = 17;

// True when the check failed and the checks end.
bool fail(int code) {
  set_error(code);
  return true;
}

// Codes 6 to 25: roughness, evapotranspiration, hydrometeorology, uniform
// rain and the long-term requirements.
bool check_surface_and_long_term(const input_state& in) {
  const project_settings& s = in.settings;
  const int method = in.params.infiltration_method;
  const bool richards = method == 4;

  if (s.manning_n_given && in.roughness_map) return fail(6);
  if (s.long_term && s.et_calc_penman && s.et_calc_deardorff) return fail(7);
  if (s.hmet_surfaways_given + s.hmet_samson_given + s.hmet_zep_given >= 2) return fail(8);
  if (s.long_term && !s.et_calc_penman && !s.et_calc_deardorff) return fail(9);
  if (in.uniform_rain && (in.rain_intensity == 0.0 || in.rain_duration == 0)) return fail(11);
  if (s.long_term && method != 2 && method != 3 && method != 4) return fail(20);
  if (s.long_term && !in.et_params[0] && !richards) return fail(21);
  if (s.long_term && s.et_calc_penman && !richards) {
    for (int i = 1; i <= 4; ++i)
      if (!in.et_params[i]) return fail(21 + i);
  }
  return false;
}

// Codes 38 to 42 for a groundwater run; 39 and 41 are warnings.
bool check_groundwater(const input_state& in) {
  const project_settings& s = in.settings;
  const bool table = in.map_table_present[groundwater_table] != 0;
  if (s.gw_porosity_map_given && s.gw_unif_porosity != 0.0) return fail(38);
  if (!s.gw_porosity_map_given && s.gw_unif_porosity == 0.0 && !table) raise_error(39);
  if (s.gw_hycond_map_given && s.gw_unif_hycond != 0.0) return fail(40);
  if (!s.gw_hycond_map_given && s.gw_unif_hycond == 0.0 && !table) raise_error(41);
  if (in.sacramento) return fail(42);
  return false;
}

// Codes 43 to 46: the land-management framework.
bool check_framework(const input_state& in, bool groundwater) {
  if (in.qtr) {
    msg_printf("Running VALTO in QTR environment\n");
    if (in.vune)
      msg_printf("VALTO will share data with VUNE through file: %s\n", in.exchange_file.c_str());
    if (in.qtr_event)
      msg_printf("This is an event call of VALTO by QTR, qtr_event_num=%d\n", in.qtr_event_num);
    if (!in.vune) return fail(43);
    if (in.qtr_event && in.qtr_event_num < 0) return fail(44);
    if (groundwater) return fail(45);
  }
  if (in.vune && !in.qtr) return fail(46);
  return false;
}

bool run_checks(input_state& in) {
  const project_settings& s = in.settings;
  const int method = in.params.infiltration_method;
  const bool groundwater = s.water_table_given && s.gw_simulation;

  if (check_surface_and_long_term(in)) return true;

  // Layered soil and Richards read their own soil tables.
  if (method == 3 || method == 4) {
    in.soil_params.fill(0);
    in.moisture = 0;
  }

  if (method == 4 && groundwater && s.aquifer_delta_z < 0.0) return fail(32);
  if (in.params.channel_method == 2 || in.params.channel_method == 5) return fail(35);
  if (in.explicit_channel && s.soil_erosion) in.chan_sed_routing = 1;
  if (!in.explicit_channel) in.chan_discharge_output = 0;

  if (groundwater && check_groundwater(in)) return true;
  return check_framework(in, groundwater);
}

}  // namespace

void check_project_options(model_state& state) {
  if (run_checks(state.input)) return;
  refuse_unbuilt_cards(state.input.settings);
}
