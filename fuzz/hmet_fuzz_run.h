#pragma once
// The contract every hydrometeorological harness checks: the set-up call
// either accepts the file and counts its hours, or refuses it with a
// message, the stop raised and the file closed; after an accepted set-up
// the hourly calls deliver exactly the hours counted (or stop the same way
// on a gridded hour whose grid is refused), each with a calendar date.

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "core/error_state.h"
#include "core/grid_state.h"
#include "core/safe_file.h"
#include "fuzz_support.h"
#include "soil/read_hmet.h"

namespace hmet_fuzz {

// The harnesses' watershed, with elevations for the orographic
// temperatures; built once, it never changes.
inline const grid_state& watershed() {
  static grid_state* g = [] {
    auto* w = new grid_state;
    fuzz::small_grid(*w);
    w->north = 30.0;
    w->elevation.assign(std::size_t(w->cells) + 1, 0.0);
    for (int k = 1; k <= w->cells; ++k) w->elevation[k] = 500.0 * k;
    return w;
  }();
  return *g;
}

inline void run(hmet_format format, std::string_view text) {
  fuzz::write_file("hmet.txt", text);
  const grid_state& grid = watershed();
  safe_file file;
  if (!file.open("hmet.txt", "r")) return;
  hmet_settings settings;
  settings.format = format;
  settings.orographic = 1;
  settings.gage_elev = 1000.0;
  hmet_record record;
  hmet_reader_state reader;
  const int first = read_hmet_data(file, 1, record, reader, settings, grid);
  if (first != 0) {
    fuzz::require(first == (format == hmet_format::surfaways ? 1 : -1),
                  "a set-up result the layout does not give");
    fuzz::require(fuzz::failure_reported(), "a refused file without a message");
    fuzz::require(!file.is_open(), "a refused file left open");
    return;
  }
  fuzz::require(!fuzz::failure_reported(), "a file taken with an error pending");
  fuzz::require(record.record_count > 0, "a file taken with no hours");
  fuzz::require(file.is_open(), "a taken file closed");

  // SAMSON counts the read that meets the end of the file among its hours.
  const int expected = format == hmet_format::samson ? record.record_count - 1
                                                     : record.record_count;
  const int hour_result = format == hmet_format::zep         ? 11
                          : format == hmet_format::surfaways ? 0
                                                             : 1;
  int hours = 0;
  for (int call = 2; call <= expected + 3; ++call) {
    const int result = read_hmet_data(file, call, record, reader, settings, grid);
    if (result == -1) break;
    fuzz::require(result == hour_result, "an hour with a result the layout does not give");
    fuzz::require(!fuzz::failure_reported(), "an hour delivered with an error pending");
    fuzz::require(record.month >= 1 && record.month <= 12 && record.day >= 1 &&
                      record.day <= 31 && record.hour >= 0 && record.hour <= 24,
                  "an hour without a calendar date");
    ++hours;
  }
  if (fuzz::failure_reported()) {
    fuzz::require(format == hmet_format::gridded, "a counted file refused among its hours");
    fuzz::require(!file.is_open(), "a refused file left open");
    return;
  }
  fuzz::require(hours == expected, "hours delivered differ from the hours counted");
}

}  // namespace hmet_fuzz
