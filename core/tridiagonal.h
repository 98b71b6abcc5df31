#pragma once
// Tridiagonal systems (Thomas algorithm) and the bounded uniform fill of a
// per-cell array.

// Solves rows first..last of the 1-based system
//   lower[i] x[i-1] + diagonal[i] x[i] + upper[i] x[i+1] = rhs[i]
// in place (lower[first] and upper[last] are not used). On return rhs holds x
// and diagonal[first+1..last] the eliminated diagonal; upper and lower are
// unchanged. No pivoting and no test for a zero pivot. Allocates nothing and
// keeps no state, so threads may solve different systems at once.
void solve_tridiagonal(int first, int last, const double* upper, double* diagonal,
                       const double* lower, double* rhs);

// Rows 1..n.
inline void solve_tridiagonal(int n, const double* upper, double* diagonal, const double* lower,
                              double* rhs) {
  solve_tridiagonal(1, n, upper, diagonal, lower, rhs);
}

// For every cell i in 1..n: out[i] = value, raised to lower + 0.01 when below
// the lower bound, then lowered to upper - 0.01 when above the upper bound.
// With per_cell_mode 1 the bounds are upper_map[i] and lower_map[i] (the
// tables and type_index may be null); otherwise upper_table[k] and
// lower_table[k] with k = type_index[i] (the maps may be null). Static
// OpenMP parallel-for over the cells.
void parallel_clamp_fill(int n, const double* upper_table, double* out, const double* lower_table,
                         const int* type_index, const double* upper_map, const double* lower_map,
                         int per_cell_mode, double value);
