// The ranges of the project cards' numbers, one row a card word.

#include "input/card_ranges.h"

#include <cstdio>
#include <cstring>

#include "core/error_state.h"
#include "core/physical_range.h"

namespace {

struct card_range {
  const char* word;      // lower case, as in the card table
  physical_range range;  // beyond it the value is impossible
  double usual_high;     // above it the value is legal but unheard of
  const char* unusual;   // what such a value would be, for the warning
};

constexpr double none = ranges::unbounded;

// clang-format off
constexpr card_range card_ranges[] = {
  {"gridsize", ranges::positive, none, nullptr},
  {"timestep", ranges::positive, none, nullptr},
  {"latitude", {-90.0, 90.0}, none, nullptr},
  {"manning_n", ranges::positive, 1.0, "a Manning n rougher than any surface measured"},
  {"retention", ranges::non_negative, none, nullptr},
  {"rain_duration", ranges::non_negative, none, nullptr},
  {"rain_intensity", {0.0, 10000.0}, 1000.0, "a rain rate above any ever measured, in mm/h"},
  {"k_river", ranges::non_negative, none, nullptr},
  {"m_river", ranges::non_negative, none, nullptr},
  {"richards_weight", ranges::fraction, none, nullptr},
  {"gw_timestep", ranges::positive, none, nullptr},
  {"gw_unif_porosity", ranges::porosity, none, nullptr},
  {"gw_unif_hycond", ranges::non_negative, none, nullptr},
  {"sand_size", ranges::positive, none, nullptr},
  {"silt_size", ranges::positive, none, nullptr},
  {"clay_size", ranges::positive, none, nullptr},
  {"water_temp", {0.0, 100.0}, none, nullptr},
  {"sed_porosity", ranges::fraction, none, nullptr},
  {"chan_decay_coef", ranges::non_negative, none, nullptr},
  {"chan_disp_coef", ranges::non_negative, none, nullptr},
  {"init_chan_conc", ranges::non_negative, none, nullptr},
  {"ov_decay_coef", ranges::non_negative, none, nullptr},
  {"ov_disp_coef", ranges::non_negative, none, nullptr},
  {"ov_uptake_rate", ranges::non_negative, none, nullptr},
};
// clang-format on

}  // namespace

bool card_value_in_range(const card_row& row, double value, card_reader& reader) {
  for (const card_range& r : card_ranges) {
    if (std::strcmp(r.word, row.word) != 0) continue;
    const card_name card(row.word);
    if (!within(r.range, value)) {
      char allowed[96];
      range_words(r.range, allowed, sizeof allowed);
      raise_message(
          "Error: line %d of the project file %s: the value %g of card %s is outside its range; "
          "it must be %s.\n",
          reader.line_number, reader.file_name, value, card.c_str(), allowed);
      reader.stop = true;
      return false;
    }
    if (value > r.usual_high) {
      char text[512];
      std::snprintf(text, sizeof text,
                    "Warning: line %d of the project file %s: card %s gives %g, %s; the run goes "
                    "on with it.\n",
                    reader.line_number, reader.file_name, card.c_str(), value, r.unusual);
      print_message(summary_file, text);
    }
    return true;
  }
  return true;
}
