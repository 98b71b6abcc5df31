// The gate for processes not built yet: one list of unbuilt features, read
// against the feature and effect columns of the card table.

#include "input/card_gate.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/error_state.h"
#include "input/project_settings.h"

namespace {

using enum card_feature;

// Remove a feature from this list when its process or output is built.
constexpr card_feature unbuilt[] = {
    channels,         pumps,
    point_inputs,
    channel_output,   location_output,
    daily_output,
};

// Output cards written already, although other cards of their feature are
// not: the channel's depth, discharge, stage and velocity link/node files
// and sediment flux (not the flow and stage profiles); the discharges,
// depths and constituent concentrations and masses at stream locations and
// the depths and discharges at listed cells (not the cell hydrographs); the
// stream-aquifer fluxes at listed nodes; the outlet sediment hydrograph and
// its suspended solids, the three overland sediment maps, the sediment
// location series and the channel sediment flux.
constexpr const char* written_outputs[] = {
    "chan_depth",      "chan_discharge",         "chan_stage",              "chan_velocity",
    "in_hyd_location", "out_hyd_location",       "out_dep_location",
    "out_con_location", "out_mass_location",
    "in_celldepdis_location",                    "out_celldepdis_location",
    "in_gwflux_location",                        "out_gwflux_location",
    "outlet_sed_flux", "vol_sed_susp",           "max_sed_flux",            "net_sed_volume",
    "outlet_sed_tss",  "in_sed_loc",             "out_sed_loc",             "out_tss_loc",
    "chan_sed_flux",
};

bool output_written(const char* word) {
  for (const char* w : written_outputs)
    if (std::strcmp(w, word) == 0) return true;
  return false;
}

// Switch cards that act already, although other cards of their feature do
// not: explicit channel routing, and the two implicit methods, which the option
// check stops with its own message (mesh routing stays refused); the channel
// point inputs (overland point sources stay refused).
constexpr const char* built_switches[] = {"chan_explic", "diffusive_wave", "chan_drain",
                                          "chan_backwater", "chan_point_input"};

bool switch_built(const char* word) {
  for (const char* w : built_switches)
    if (std::strcmp(w, word) == 0) return true;
  return false;
}

// Cards of a built feature whose process is not: refused by their own word.
// The list ends at the entry without a word.
struct unbuilt_word {
  const char* word;
  const char* text;
};
constexpr unbuilt_word unbuilt_words[] = {
    {nullptr, nullptr},
};

const char* unbuilt_word_text(const char* word) {
  for (const unbuilt_word& w : unbuilt_words)
    if (w.word != nullptr && std::strcmp(w.word, word) == 0) return w.text;
  return nullptr;
}

}  // namespace

std::span<const card_feature> unbuilt_features() { return unbuilt; }

bool feature_unbuilt(card_feature feature) {
  for (card_feature f : unbuilt)
    if (f == feature) return true;
  return false;
}

card_mode gate_mode(const card_row& row) {
  if (unbuilt_word_text(row.word) != nullptr) return card_mode::store_only;
  if (!feature_unbuilt(row.feature)) return card_mode::apply;
  if (row.effect == card_effect::output && output_written(row.word)) return card_mode::apply;
  if (row.effect == card_effect::switch_card && switch_built(row.word)) return card_mode::apply;
  switch (row.effect) {
    case card_effect::switch_card:
      return card_mode::store_only;
    case card_effect::output:
      return card_mode::clear;
    default:
      return card_mode::apply;
  }
}

const char* feature_text(card_feature feature) {
  switch (feature) {
    case built: return "the core model";
    case gauge_rain: return "gauge and radar rain";
    case interception: return "interception";
    case overland_boundary: return "overland boundary conditions";
    case dikes: return "dikes and low spots";
    // Qualified: the series records of the run bear the same names.
    case card_feature::time_series: return "time series";
    case card_feature::elev_series: return "elevation series";
    case replacement: return "replacement parameters";
    case xy_inputs: return "XY boundary inputs";
    case mapping_tables: return "mapping tables";
    case channels: return "channel routing";
    case lakes: return "overland lakes";
    case pumps: return "pumps";
    case point_inputs: return "point inputs";
    case infiltration: return "infiltration";
    case long_term: return "long-term simulation";
    case snow: return "the snow model";
    case sacramento: return "Sacramento soil-moisture accounting";
    case groundwater: return "the groundwater model";
    case water_table: return "the water-table coupling";
    case storm_sewer: return "the storm sewer network";
    case erosion: return "soil erosion";
    case contaminants: return "contaminant transport";
    case channel_contaminants: return "channel constituent transport";
    case initial_concentration_maps: return "initial overland concentration maps";
    case nutrients: return "the nutrient model";
    case optimize_sed: return "sediment calibration output";
    case analyzers: return "analyzers";
    case framework: return "the land-management framework";
    case q7: return "the reservoir water-quality coupling";
    case calibration: return "calibration";
    case map_output: return "grid maps";
    case channel_output: return "channel outputs";
    case location_output: return "location outputs";
    case outlet_output: return "extra outlet hydrographs";
    case flood_output: return "flood stage outputs";
    case daily_output: return "the daily output";
    case xy_output: return "XY point outputs";
    case hotstart_output: return "hot-start files";
    case soil_output: return "soil moisture outputs";
    case groundwater_output: return "groundwater outputs";
    case lake_output: return "lake outputs";
    case sewer_output: return "storm sewer outputs";
    case sediment_output: return "sediment outputs";
    case contaminant_output: return "contaminant outputs";
    case nutrient_output: return "nutrient outputs";
    case q7_output: return "reservoir water-quality outputs";
  }
  return "an unknown process";
}

void upper_card_word(const char* word, char* out, int capacity) {
  int i = 0;
  for (; i < capacity - 1 && word[i] != '\0'; ++i)
    out[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[i])));
  out[i] = '\0';
}

void warn_unwritten_output(const card_row& row) {
  char word[64];
  upper_card_word(row.word, word, sizeof word);
  std::printf(
      "Warning: the project card %s asks for %s, which this version does not write; the card is "
      "ignored.\n",
      word, feature_text(row.feature));
}

namespace {

// OVERTYPE names one of three schemes. True when the setting was refused,
// with its line printed.
bool refuse_overland_scheme(const project_settings& settings) {
  const int scheme = settings.overtype;
  if (scheme >= 1 && scheme <= 3) return false;
  char line[256];
  std::snprintf(line, sizeof line,
                "Error: the project card OVERTYPE has the value %d; the overland routing scheme "
                "must be 1 (explicit), 2 (ade) or 3 (ade-pc).\n",
                scheme);
  print_message(summary_file, line);
  return true;
}

}  // namespace

void refuse_unbuilt_cards(const project_settings& settings) {
  if (error_state.code != 0 || error_state.stop_flag != 0) return;
  const bool scheme_refused = refuse_overland_scheme(settings);
  bool refused = false;
  for (const std::string& word : settings.unbuilt_cards) {
    refused = true;
    const card_row* row = find_card(word.c_str());
    char upper[64];
    upper_card_word(word.c_str(), upper, sizeof upper);
    char line[256];
    std::snprintf(line, sizeof line,
                  "Error: the project card %s needs %s, which is not available in this version.\n",
                  upper,
                  unbuilt_word_text(word.c_str()) != nullptr ? unbuilt_word_text(word.c_str())
                  : row != nullptr                           ? feature_text(row->feature)
                                                             : "a process");
    print_message(summary_file, line);
  }
  if (refused || scheme_refused) raise_error(4000);
}
