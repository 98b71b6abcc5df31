#pragma once
// The superjunction heads of the pipe network come from one linear system
// per step, one row per superjunction. The dense LU decomposition with
// partial pivoting and implicit row scaling is the reference; the network
// solve uses a sparse LU of the same matrix, eliminated in a
// minimum-degree order (leaves first in a tree, so a tree costs nothing in
// fill), and falls back to the dense decomposition when a pivot of that
// order is too small against its row. A row without any non-zero element
// is a singular matrix for both.

#include <utility>
#include <vector>

// 1-based dense storage of an n x n matrix, row r at (r - 1) n + 1.
struct dense_matrix {
  int n = 0;
  std::vector<double> a;  // (n x n + 1) doubles
  double& at(int r, int c) { return a[std::size_t(r - 1) * std::size_t(n) + std::size_t(c)]; }
};

// Crout LU decomposition in place with partial pivoting: indx[1..n] records
// the row order. 0, or -1 after the three-line message on the error stream
// when a row has no non-zero element. scale holds n + 1 doubles of work.
int ludcmp(dense_matrix& m, std::vector<int>& indx, std::vector<double>& scale);
// Solves in place for b[1..n] with a matrix decomposed by ludcmp.
void lu_back_substitute(dense_matrix& m, const std::vector<int>& indx, std::vector<double>& b);

struct junction_solver {
  int n = 0;
  // Pattern in elimination order: row i (0-based) holds the sorted columns
  // row_col[row_start[i] .. row_start[i + 1]), fill included.
  std::vector<int> perm;       // perm[i]: junction (1-based) eliminated i-th
  std::vector<int> iperm;      // iperm[j]: elimination position of junction j
  std::vector<int> row_start, row_col, diag;
  std::vector<double> val;     // assembled matrix entries
  std::vector<double> lu;      // their factors
  std::vector<double> row_max; // largest magnitude of each row as assembled
  std::vector<double> work;    // dense row of the elimination, kept zero between rows
  std::vector<double> y;       // permuted right-hand side
  // The dense fallback, sized with the pattern.
  dense_matrix dense;
  std::vector<int> indx;
  std::vector<double> scale, b;
  int dense_solves = 0;        // solves that fell back, for the record
};

// Lays out the pattern for n junctions joined by the given pairs (1-based;
// a pair may repeat). False when memory is short (message printed).
bool junction_solver_setup(junction_solver& s, int n, const std::vector<std::pair<int, int>>& pairs);
void junction_clear(junction_solver& s);
// Adds v to the entry (row, col) of the assembled matrix (1-based); the pair
// must be the diagonal or one given at set-up.
void junction_add(junction_solver& s, int row, int col, double v);
// Solves the assembled matrix for rhs[1..n] into x[1..n]: 0, or -1 after the
// singular-matrix message. The assembled matrix is consumed.
int junction_solve(junction_solver& s, const std::vector<double>& rhs, std::vector<double>& x);
