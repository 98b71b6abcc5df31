#pragma once
// The ranges a physical input value may take, and the words that name a
// range in a message. A reader refuses a value outside its range with the
// file, line or cell, the value and the range's words; a value inside the
// range but beyond what watersheds show gives a warning of its own.

#include <cstddef>

struct physical_range {
  double low;
  double high;
  bool low_open = false;   // low itself is refused
  bool high_open = false;  // high itself is refused
};

namespace ranges {
inline constexpr double unbounded = 1e308;
// Water contents, porosities, saturations and fractions.
inline constexpr physical_range fraction{0.0, 1.0};
// A porosity or storage of a medium that holds water at all.
inline constexpr physical_range porosity{0.0, 1.0, true, false};
inline constexpr physical_range percent{0.0, 100.0};
// Sizes, conductivities, decay rates, concentrations, weights.
inline constexpr physical_range non_negative{0.0, unbounded};
// Time steps, diameters of a particle, densities.
inline constexpr physical_range positive{0.0, unbounded, true, false};
}  // namespace ranges

bool within(const physical_range& range, double value);

// The range in words for "it must be ...": "from 0 to 1", "above 0",
// "0 or more", "above 0 and at most 1".
void range_words(const physical_range& range, char* text, std::size_t capacity);

// Two fractions sum to one when they differ from it by no more than this.
inline constexpr double fraction_sum_tolerance = 1e-3;
