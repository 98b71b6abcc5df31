#pragma once
// g^(5/3), the depth power of Manning's law, as g^2 x y with y = g^(-1/3).
// The library's pow cost about twice as much and sat on the hot path of
// every face; y comes from multiplications only, since a face already keeps
// the divider busy with its slope, its roughness and its square root. The
// form is within a few units in the last place of the exact power and takes
// the same arithmetic for every cell, in a loop of one face or of many, so a
// face gives the same bits on any thread. No contraction into fused
// multiply-adds is relied on.

#include <bit>
#include <cmath>
#include <cstdint>

// Depths within these bounds take the form below; outside them (and for
// zero, NaN and infinities) the bit guess does not hold or g^2 leaves the
// range, and the library's pow serves. Those depths are never routed in
// practice.
inline bool manning_power_fast(double g) { return g >= 0x1p-300 && g <= 0x1p300; }

// A third of the exponent bits, taken from a constant, guesses g^(-1/3) to
// about 4 %.
inline double manning_power_guess(double g) {
  return std::bit_cast<double>(0x553EF0FF289DD796ull - std::bit_cast<std::uint64_t>(g) / 3);
}

// From the guess y: each Newton step y (4 - g y^3) / 3 squares the error,
// four of them reach the last place; then g^2 y. Multiplications only, so
// a loop over many faces can take several of them at once.
inline double manning_power_refine(double g, double y) {
#pragma GCC unroll 4
  for (int k = 0; k < 4; ++k) y = y * ((4.0 - g * (y * y * y)) * (1.0 / 3.0));
  return (g * g) * y;
}

inline double manning_power(double g) {
  if (!manning_power_fast(g)) return std::pow(g, 5.0 / 3.0);
  return manning_power_refine(g, manning_power_guess(g));
}
