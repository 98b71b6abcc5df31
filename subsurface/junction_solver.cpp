// Solvers of the superjunction system. Both see the same assembled entries
// and refuse the same matrices; the sparse one reaches the dense answer to
// rounding whenever its pivots stand out against their rows, and hands the
// rest to the dense decomposition.

#include "subsurface/junction_solver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <set>

#include "core/alloc.h"

namespace {

void singular_message() {
  std::fputs("Numerical Recipes run-time error...\n", stderr);
  std::fputs("Singular matrix in routine ludcmp\n", stderr);
  std::fputs("...now exiting to system...\n", stderr);
}

// A pivot below this share of its row's largest entry is not trusted
// without row exchanges.
constexpr double pivot_share = 1e-8;

}  // namespace

int ludcmp(dense_matrix& m, std::vector<int>& indx, std::vector<double>& scale) {
  const int n = m.n;
  for (int i = 1; i <= n; ++i) {
    double big = 0.0;
    for (int j = 1; j <= n; ++j) big = std::max(big, std::fabs(m.at(i, j)));
    if (big == 0.0) {
      singular_message();
      return -1;
    }
    scale[i] = 1.0 / big;
  }
  for (int j = 1; j <= n; ++j) {
    for (int i = 1; i < j; ++i) {
      double sum = m.at(i, j);
      for (int k = 1; k < i; ++k) sum -= m.at(i, k) * m.at(k, j);
      m.at(i, j) = sum;
    }
    double big = 0.0;
    int imax = j;
    for (int i = j; i <= n; ++i) {
      double sum = m.at(i, j);
      for (int k = 1; k < j; ++k) sum -= m.at(i, k) * m.at(k, j);
      m.at(i, j) = sum;
      const double dum = scale[i] * std::fabs(sum);
      if (dum >= big) {
        big = dum;
        imax = i;
      }
    }
    if (j != imax) {
      for (int k = 1; k <= n; ++k) std::swap(m.at(imax, k), m.at(j, k));
      scale[imax] = scale[j];
    }
    indx[j] = imax;
    if (m.at(j, j) == 0.0) m.at(j, j) = 1e-20;
    if (j != n) {
      const double dum = 1.0 / m.at(j, j);
      for (int i = j + 1; i <= n; ++i) m.at(i, j) *= dum;
    }
  }
  return 0;
}

void lu_back_substitute(dense_matrix& m, const std::vector<int>& indx, std::vector<double>& b) {
  const int n = m.n;
  int first = 0;
  for (int i = 1; i <= n; ++i) {
    const int ip = indx[i];
    double sum = b[ip];
    b[ip] = b[i];
    if (first) {
      for (int j = first; j < i; ++j) sum -= m.at(i, j) * b[j];
    } else if (sum != 0.0) {
      first = i;
    }
    b[i] = sum;
  }
  for (int i = n; i >= 1; --i) {
    double sum = b[i];
    for (int j = i + 1; j <= n; ++j) sum -= m.at(i, j) * b[j];
    b[i] = sum / m.at(i, i);
  }
}

bool junction_solver_setup(junction_solver& s, int n,
                           const std::vector<std::pair<int, int>>& pairs) {
  s = junction_solver{};
  s.n = n;
  try {
    // Elimination graph, and the fill it makes, by minimum degree.
    std::vector<std::set<int>> adj(std::size_t(n) + 1);
    for (const auto& [p, q] : pairs) {
      if (p == q || p < 1 || q < 1 || p > n || q > n) continue;
      adj[std::size_t(p)].insert(q);
      adj[std::size_t(q)].insert(p);
    }
    std::vector<std::set<int>> filled = adj;
    std::vector<char> gone(std::size_t(n) + 1, 0);
    s.perm.assign(std::size_t(n), 0);
    s.iperm.assign(std::size_t(n) + 1, 0);
    for (int step = 0; step < n; ++step) {
      int best = 0;
      std::size_t best_degree = 0;
      for (int v = 1; v <= n; ++v) {
        if (gone[std::size_t(v)]) continue;
        const std::size_t d = adj[std::size_t(v)].size();
        if (best == 0 || d < best_degree) {
          best = v;
          best_degree = d;
        }
      }
      s.perm[std::size_t(step)] = best;
      s.iperm[std::size_t(best)] = step;
      gone[std::size_t(best)] = 1;
      const std::vector<int> near(adj[std::size_t(best)].begin(), adj[std::size_t(best)].end());
      for (int a : near) {
        adj[std::size_t(a)].erase(best);
        for (int b : near) {
          if (a == b) continue;
          adj[std::size_t(a)].insert(b);
          filled[std::size_t(a)].insert(b);
        }
      }
    }
    s.row_start.assign(std::size_t(n) + 1, 0);
    s.diag.assign(std::size_t(n), 0);
    for (int i = 0; i < n; ++i) {
      const int j = s.perm[std::size_t(i)];
      std::vector<int> cols;
      cols.push_back(i);
      for (int q : filled[std::size_t(j)]) cols.push_back(s.iperm[std::size_t(q)]);
      std::sort(cols.begin(), cols.end());
      s.row_start[std::size_t(i)] = int(s.row_col.size());
      for (int c : cols) {
        if (c == i) s.diag[std::size_t(i)] = int(s.row_col.size());
        s.row_col.push_back(c);
      }
    }
    s.row_start[std::size_t(n)] = int(s.row_col.size());
    s.val.assign(s.row_col.size(), 0.0);
    s.lu.assign(s.row_col.size(), 0.0);
    s.row_max.assign(std::size_t(n), 0.0);
    s.work.assign(std::size_t(n), 0.0);
    s.y.assign(std::size_t(n), 0.0);
    s.dense.n = n;
    s.dense.a.assign(std::size_t(n) * std::size_t(n) + 1, 0.0);
    s.indx.assign(std::size_t(n) + 1, 0);
    s.scale.assign(std::size_t(n) + 1, 0.0);
    s.b.assign(std::size_t(n) + 1, 0.0);
  } catch (const std::bad_alloc&) {
    print_alloc_failure("junction matrix");
    s = junction_solver{};
    return false;
  }
  return true;
}

void junction_clear(junction_solver& s) {
  std::fill(s.val.begin(), s.val.end(), 0.0);
}

void junction_add(junction_solver& s, int row, int col, double v) {
  const int i = s.iperm[std::size_t(row)];
  const int c = s.iperm[std::size_t(col)];
  const auto first = s.row_col.begin() + s.row_start[std::size_t(i)];
  const auto last = s.row_col.begin() + s.row_start[std::size_t(i) + 1];
  const auto it = std::lower_bound(first, last, c);
  s.val[std::size_t(it - s.row_col.begin())] += v;
}

namespace {

// Dense decomposition of the assembled entries, original numbering.
int dense_solve(junction_solver& s, const std::vector<double>& rhs, std::vector<double>& x) {
  const int n = s.n;
  std::fill(s.dense.a.begin(), s.dense.a.end(), 0.0);
  for (int i = 0; i < n; ++i) {
    const int r = s.perm[std::size_t(i)];
    for (int p = s.row_start[std::size_t(i)]; p < s.row_start[std::size_t(i) + 1]; ++p)
      s.dense.at(r, s.perm[std::size_t(s.row_col[std::size_t(p)])]) = s.val[std::size_t(p)];
  }
  if (ludcmp(s.dense, s.indx, s.scale) != 0) return -1;
  for (int j = 1; j <= n; ++j) s.b[std::size_t(j)] = rhs[std::size_t(j)];
  lu_back_substitute(s.dense, s.indx, s.b);
  for (int j = 1; j <= n; ++j) x[std::size_t(j)] = s.b[std::size_t(j)];
  ++s.dense_solves;
  return 0;
}

}  // namespace

int junction_solve(junction_solver& s, const std::vector<double>& rhs, std::vector<double>& x) {
  const int n = s.n;
  for (int i = 0; i < n; ++i) {
    double big = 0.0;
    for (int p = s.row_start[std::size_t(i)]; p < s.row_start[std::size_t(i) + 1]; ++p)
      big = std::max(big, std::fabs(s.val[std::size_t(p)]));
    if (big == 0.0) {
      singular_message();
      return -1;
    }
    s.row_max[std::size_t(i)] = big;
  }
  // Factors go to their own store, so that the dense decomposition can
  // still start from the assembled entries.
  std::copy(s.val.begin(), s.val.end(), s.lu.begin());
  std::vector<double>& w = s.work;
  for (int i = 0; i < n; ++i) {
    const int begin = s.row_start[std::size_t(i)];
    const int end = s.row_start[std::size_t(i) + 1];
    const int di = s.diag[std::size_t(i)];
    for (int p = begin; p < end; ++p) w[std::size_t(s.row_col[std::size_t(p)])] = s.lu[std::size_t(p)];
    for (int p = begin; p < di; ++p) {
      const int k = s.row_col[std::size_t(p)];
      const double l = w[std::size_t(k)] / s.lu[std::size_t(s.diag[std::size_t(k)])];
      w[std::size_t(k)] = l;
      for (int q = s.diag[std::size_t(k)] + 1; q < s.row_start[std::size_t(k) + 1]; ++q)
        w[std::size_t(s.row_col[std::size_t(q)])] -= l * s.lu[std::size_t(q)];
    }
    const bool sound = std::fabs(w[std::size_t(i)]) > pivot_share * s.row_max[std::size_t(i)];
    for (int p = begin; p < end; ++p) {
      const std::size_t c = std::size_t(s.row_col[std::size_t(p)]);
      s.lu[std::size_t(p)] = w[c];
      w[c] = 0.0;
    }
    if (!sound) return dense_solve(s, rhs, x);
  }
  std::vector<double>& y = s.y;
  for (int i = 0; i < n; ++i) {
    double sum = rhs[std::size_t(s.perm[std::size_t(i)])];
    for (int p = s.row_start[std::size_t(i)]; p < s.diag[std::size_t(i)]; ++p)
      sum -= s.lu[std::size_t(p)] * y[std::size_t(s.row_col[std::size_t(p)])];
    y[std::size_t(i)] = sum;
  }
  for (int i = n - 1; i >= 0; --i) {
    double sum = y[std::size_t(i)];
    for (int p = s.diag[std::size_t(i)] + 1; p < s.row_start[std::size_t(i) + 1]; ++p)
      sum -= s.lu[std::size_t(p)] * y[std::size_t(s.row_col[std::size_t(p)])];
    y[std::size_t(i)] = sum / s.lu[std::size_t(s.diag[std::size_t(i)])];
    x[std::size_t(s.perm[std::size_t(i)])] = y[std::size_t(i)];
  }
  return 0;
}
