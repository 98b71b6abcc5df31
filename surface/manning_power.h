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
inline bool manning_power_fast(double g) { return (g >= 0x1p-300) & (g <= 0x1p300); }

// A third of the exponent bits, taken from a constant, guesses g^(-1/3) to
// about 4 %.
inline double manning_power_guess(double g) {
  return std::bit_cast<double>(0x553EF0FF289DD796ull - std::bit_cast<std::uint64_t>(g) / 3);
}

// The same guess to the bit, in operations vector lanes have: they hold no
// 64-bit division or high multiply, and the scalar division kept a loop of
// faces out of them. b / 3 is taken in two parts, b = hi 2^26 + lo, each
// third found in doubles, where every value is an integer below 2^53 and so
// exact.
constexpr std::uint64_t two52_bits = 0x4330000000000000ull;  // 2^52

// An integer below 2^52 as a double and back, by the bits of 2^52 + x.
inline double exact_double(std::uint64_t x) {
  return std::bit_cast<double>(x | two52_bits) - 0x1p52;
}
inline std::uint64_t exact_integer(double x) {
  return std::bit_cast<std::uint64_t>(x + 0x1p52) - two52_bits;
}
// floor(x / 3) of an integer x below 2^38: (x - 1) / 3 lies within 1/3 of
// it, and the product's error is far below the 1/6 left to round it right.
// Adding 1.5 x 2^52 rounds to an integer: the spacing of doubles there is 1
// on both sides.
inline double exact_third(double x) { return ((x - 1.0) * (1.0 / 3.0) + 0x1.8p52) - 0x1.8p52; }

inline std::uint64_t third_in_lanes(std::uint64_t b) {
  const double hi = exact_double(b >> 26);
  const double q_hi = exact_third(hi);
  const double q_lo = exact_third((hi - 3.0 * q_hi) * 0x1p26 + exact_double(b & 0x3FFFFFFull));
  return (exact_integer(q_hi) << 26) + exact_integer(q_lo);
}

inline double manning_power_guess_in_lanes(double g) {
  return std::bit_cast<double>(0x553EF0FF289DD796ull - third_in_lanes(std::bit_cast<std::uint64_t>(g)));
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

// The kernels that take the power over a block of faces are also built for
// AVX2 where the machine has it and chosen at start-up. Every operation in
// them is exactly rounded and none is fused (the AVX2 target has no fused
// multiply-add), so both builds give the same bits.
#if defined(__x86_64__) && defined(__GNUC__)
#define VALTO_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define VALTO_WIDE_VECTORS
#endif

// a when take holds, else b, by their bits: the same value as a branch
// would give, in a form the compiler runs in vector lanes.
inline double pick(bool take, double a, double b) {
  const std::uint64_t m = -static_cast<std::uint64_t>(take);
  return std::bit_cast<double>((std::bit_cast<std::uint64_t>(a) & m) |
                               (std::bit_cast<std::uint64_t>(b) & ~m));
}

// The most faces a block of manning_powers may hold.
constexpr int power_block = 64;

// power[k] = manning_power(g[k]) for count <= power_block depths, to the
// bit, in loops vector lanes take: the guess and the refinement for every
// depth alike, then the library's pow for the few outside the form's
// bounds. A caller passes 1 (or any depth within the bounds) where nothing
// flows, so that a dry face does not send its block down the slow path.
[[gnu::always_inline]] inline void manning_powers(const double* g, int count, double* power) {
  double y[power_block];
  double slow = 0.0;  // counted in the depths' lanes
#pragma omp simd reduction(+ : slow)
  for (int k = 0; k < count; ++k) {
    const bool fast = manning_power_fast(g[k]);
    y[k] = pick(fast, manning_power_guess_in_lanes(g[k]), 1.0);
    slow += fast ? 0.0 : 1.0;
  }
#pragma omp simd
  for (int k = 0; k < count; ++k) power[k] = manning_power_refine(g[k], y[k]);
  if (slow > 0.0) {
    for (int k = 0; k < count; ++k)
      if (!manning_power_fast(g[k])) power[k] = manning_power(g[k]);
  }
}
