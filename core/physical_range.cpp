// Range tests and their words for the readers' messages.

#include "core/physical_range.h"

#include <cstdio>

bool within(const physical_range& range, double value) {
  if (!(value == value)) return false;  // not a number
  const bool above_low = range.low_open ? value > range.low : value >= range.low;
  const bool below_high = range.high_open ? value < range.high : value <= range.high;
  return above_low && below_high;
}

void range_words(const physical_range& range, char* text, std::size_t capacity) {
  const bool no_high = range.high >= ranges::unbounded;
  if (no_high && range.low_open)
    std::snprintf(text, capacity, "above %g", range.low);
  else if (no_high)
    std::snprintf(text, capacity, "%g or more", range.low);
  else if (!range.low_open && !range.high_open)
    std::snprintf(text, capacity, "from %g to %g", range.low, range.high);
  else
    std::snprintf(text, capacity, "%s %g and %s %g", range.low_open ? "above" : "at least",
                  range.low, range.high_open ? "below" : "at most", range.high);
}
