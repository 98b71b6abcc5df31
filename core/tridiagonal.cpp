// Thomas algorithm for one tridiagonal system, and the bounded uniform fill
// that gives every cell a starting value strictly inside its bounds.

#include "core/tridiagonal.h"

#include "core/parallel_team.h"

void solve_tridiagonal(int first, int last, const double* upper, double* diagonal,
                       const double* lower, double* rhs) {
  if (last < first) return;
  for (int i = first + 1; i <= last; ++i) {
    double factor = lower[i] / diagonal[i - 1];
    diagonal[i] = diagonal[i] - factor * upper[i - 1];
    rhs[i] = rhs[i] - factor * rhs[i - 1];
  }
  rhs[last] = rhs[last] / diagonal[last];
  for (int i = last - 1; i >= first; --i) rhs[i] = (rhs[i] - upper[i] * rhs[i + 1]) / diagonal[i];
}

void parallel_clamp_fill(int n, const double* upper_table, double* out, const double* lower_table,
                         const int* type_index, const double* upper_map, const double* lower_map,
                         int per_cell_mode, double value) {
  constexpr double margin = 0.01;  // same units as the bounds
#pragma omp parallel for schedule(static) num_threads(team_for(n, cells_per_thread))
  for (int i = 1; i <= n; ++i) {
    double upper;
    double lower;
    if (per_cell_mode == 1) {
      upper = upper_map[i];
      lower = lower_map[i];
    } else {
      int k = type_index[i];
      upper = upper_table[k];
      lower = lower_table[k];
    }
    double v = value;
    if (v < lower) v = lower + margin;
    // The upper test comes last: bounds closer than twice the margin leave
    // the value just below the upper bound.
    if (v > upper) v = upper - margin;
    out[i] = v;
  }
}
