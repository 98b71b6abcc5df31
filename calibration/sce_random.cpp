// The generators of the SCE-UA search. The shuffle table, its kept output and
// the kept normal deviate are process-wide, as the search has always had
// them; a search restarts the table through its negative seed and forgets the
// kept deviate, so its draws depend on its seed alone.

#include <cmath>

#include "calibration/sce_ua.h"

namespace {

constexpr int ia = 16807;
constexpr int im = 2147483647;  // 2^31 - 1
constexpr int iq = 127773;      // im / ia
constexpr int ir = 2836;        // im % ia
constexpr int ntab = 32;
constexpr int ndiv = 1 + (im - 1) / ntab;
constexpr double am = 1.0 / im;
constexpr double rnmx = 1.0 - 1.2e-7;

struct sce_random_tables {
  int kept = 0;          // the kept output
  int table[ntab] = {};  // the shuffle table
  int normal_kept = 0;   // 1: normal_value waits
  double normal_value = 0.0;
};

sce_random_tables sce_tables;

// One step of the Park-Miller generator by Schrage's factorisation.
void advance(int& state) {
  const int k = state / iq;
  state = ia * (state - k * iq) - ir * k;
  if (state < 0) state += im;
}

}  // namespace

double sce_ran1(int& state) {
  if (state <= 0 || sce_tables.kept == 0) {
    state = -state < 1 ? 1 : -state;
    for (int j = ntab + 7; j >= 0; --j) {
      advance(state);
      if (j < ntab) sce_tables.table[j] = state;
    }
    sce_tables.kept = sce_tables.table[0];
  }
  advance(state);
  const int j = sce_tables.kept / ndiv;
  sce_tables.kept = sce_tables.table[j];
  sce_tables.table[j] = state;
  const double value = am * sce_tables.kept;
  return value > rnmx ? rnmx : value;
}

double sce_gasdev(int& state) {
  if (sce_tables.normal_kept) {
    sce_tables.normal_kept = 0;
    return sce_tables.normal_value;
  }
  double p, q, r;
  do {
    p = 2.0 * sce_ran1(state) - 1.0;
    q = 2.0 * sce_ran1(state) - 1.0;
    r = p * p + q * q;
  } while (r >= 1.0 || r == 0.0);
  const double f = std::sqrt(-2.0 * std::log(r) / r);
  sce_tables.normal_value = f * p;
  sce_tables.normal_kept = 1;
  return f * q;
}

void sce_clear_gasdev() {
  sce_tables.normal_kept = 0;
  sce_tables.normal_value = 0.0;
}
