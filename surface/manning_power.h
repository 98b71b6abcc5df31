#pragma once
// g^(5/3), the depth power of Manning's law, as g x c^2 with c the cube root
// of g. The library's pow costs about twice as much and sat on the hot path
// of every face; this form is within a few units in the last place of it and
// takes the same arithmetic for every cell, so a face gives the same bits on
// any thread. No contraction into fused multiply-adds is relied on.

#include <bit>
#include <cmath>
#include <cstdint>

inline double manning_power(double g) {
  // Outside these bounds (and for zero, NaN and infinities) the bit guess
  // below does not hold; those depths are never routed in practice.
  if (!(g >= 0x1p-1000 && g <= 0x1p1000)) return std::pow(g, 5.0 / 3.0);
  // A third of the exponent bits guesses the cube root to about 4 %; two
  // Halley steps take it to about 1e-13 and a Newton step to the last place.
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(g);
  double c = std::bit_cast<double>(bits / 3 + 0x2A9F7893782DA1CEull);
  double c3 = c * c * c;
  // The ratio first: c x (c^3 + 2g) alone would underflow for the smallest
  // depths and overflow for the largest.
  c = c * ((c3 + 2.0 * g) / (2.0 * c3 + g));
  c3 = c * c * c;
  c = c * ((c3 + 2.0 * g) / (2.0 * c3 + g));
  c = c - (c - g / (c * c)) * (1.0 / 3.0);
  return g * (c * c);
}
