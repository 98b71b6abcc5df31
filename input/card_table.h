#pragma once
// The vocabulary of the project file as data: one row per card word with its
// code (synonyms share one), what it stores and where, the process it belongs
// to and its effect on the run. The reader dispatches on the row alone; the
// gate for processes not built yet reads the feature and effect columns.

#include <span>
#include <string>

struct project_settings;
struct run_parameters;
struct precip_settings;

// The three settings records a card may write into.
struct card_records {
  project_settings& settings;
  run_parameters& params;
  precip_settings& precip;
};

// How a card is applied: in full; stored without its immediate action (its
// process is not built); or stored and cleared again (its output file is not
// written), so that nothing later opens that file.
enum class card_mode { apply, store_only, clear };

// What the reader knows while it dispatches one card.
struct card_reader {
  const char* file_name = "";  // project file, for messages
  int line_number = 0;         // 1-based line of the card
  card_mode mode = card_mode::apply;
  bool stop = false;           // set by a card that ends the reading (codes 79, 103, 104)
};

enum class card_kind {
  ignored,       // line ignored in silence (the reader's "ignore" code)
  no_effect,     // recognised, line ignored
  flag,          // stores value into int_field
  integer,       // one integer into int_field
  real,          // one real into real_field
  name,          // one name into name_field
  printed_int,   // one integer echoed with note, nothing stored
  printed_real,  // one real echoed with note, nothing stored
  special,       // handler applies the card's own rule
};

// The process a card belongs to; built is everything this version runs.
enum class card_feature {
  built,
  gauge_rain,
  interception,
  overland_boundary,
  dikes,
  time_series,
  elev_series,
  replacement,
  xy_inputs,
  mapping_tables,
  channels,
  lakes,
  pumps,
  point_inputs,
  infiltration,
  long_term,
  snow,
  sacramento,
  groundwater,
  water_table,
  storm_sewer,
  erosion,
  contaminants,
  channel_contaminants,
  initial_concentration_maps,
  nutrients,
  optimize_sed,
  analyzers,
  framework,
  q7,
  calibration,
  map_output,
  channel_output,
  location_output,
  outlet_output,
  flood_output,
  daily_output,
  xy_output,
  hotstart_output,
  soil_output,
  groundwater_output,
  lake_output,
  sewer_output,
  sediment_output,
  contaminant_output,
  nutrient_output,
  q7_output,
};

// What reading the card does to the run.
enum class card_effect {
  none,         // a setting of a process this version runs, or of none
  switch_card,  // turns a process on, or makes set-up read its inputs
  output,       // names a file the run writes
  parameter,    // a value read only by a process that a switch card turns on
};

struct card_action;
using int_slot = int* (*)(card_records&);
using real_slot = double* (*)(card_records&);
using name_slot = std::string* (*)(card_records&);
using card_handler = void (*)(const card_action&, card_records&, char* values, card_reader&);

struct card_action {
  card_kind kind = card_kind::no_effect;
  int_slot int_field = nullptr;    // flag or integer value
  real_slot real_field = nullptr;  // real value
  name_slot name_field = nullptr;  // name value
  int_slot given = nullptr;        // raised with the card (a name's _given, a value's flag)
  int value = 1;                   // value a flag stores; index for handlers
  card_handler handler = nullptr;  // special rule
  const char* note = nullptr;      // echo format, or the group text of code 79
};

struct card_row {
  const char* word;  // lower case
  int code;
  card_action action;
  card_feature feature;
  card_effect effect;
};

constexpr int ignored_card_code = 173;

// Every card word, synonyms in their own rows.
std::span<const card_row> card_table();

// The row of a lower-case word, or null.
const card_row* find_card(const char* lower_word);

// The row of a code (the first row carrying it), or null.
const card_row* find_card(int code);

// A card word as messages name it: in the capitals the project files use,
// whatever case the table folds it to.
struct card_name {
  explicit card_name(const char* word);
  const char* c_str() const { return text; }
  char text[64];
};
