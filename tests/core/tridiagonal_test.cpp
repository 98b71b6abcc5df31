// Tridiagonal solver on systems with known solutions, and the bounded fill.

#include "core/tridiagonal.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

// The second-difference system -x[i-1] + 2 x[i] - x[i+1] = h^2 of -u'' = 1
// with u(0) = u(1) = 0, in rows first..first+8 of arrays of size slots; its
// exact solution is u(x) = x (1 - x) / 2, which the difference scheme
// reproduces exactly for a quadratic.
struct poisson_system {
  explicit poisson_system(int first, int slots)
      : upper(slots, nan), diagonal(slots, nan), lower(slots, nan), rhs(slots, nan) {
    for (int i = first; i < first + 9; ++i) {
      upper[i] = -1.0;
      diagonal[i] = 2.0;
      lower[i] = -1.0;
      rhs[i] = h * h;
    }
  }
  static constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  static constexpr double h = 0.1;
  std::vector<double> upper, diagonal, lower, rhs;
};

TEST(solve_tridiagonal, second_difference_system_gives_the_parabola) {
  poisson_system s(1, 10);
  solve_tridiagonal(9, s.upper.data(), s.diagonal.data(), s.lower.data(), s.rhs.data());
  for (int i = 1; i <= 9; ++i) {
    double x = i * poisson_system::h;
    EXPECT_NEAR(s.rhs[i], x * (1.0 - x) / 2.0, 1e-14) << i;
    // Eliminated diagonal of the 2, -1 matrix: (i + 1) / i.
    EXPECT_NEAR(s.diagonal[i], (i + 1.0) / i, 1e-14) << i;
    EXPECT_EQ(s.upper[i], -1.0);
    EXPECT_EQ(s.lower[i], -1.0);
  }
}

TEST(solve_tridiagonal, first_row_argument_solves_only_its_rows) {
  poisson_system base(1, 10);
  solve_tridiagonal(1, 9, base.upper.data(), base.diagonal.data(), base.lower.data(),
                    base.rhs.data());
  poisson_system shifted(5, 20);
  solve_tridiagonal(5, 13, shifted.upper.data(), shifted.diagonal.data(), shifted.lower.data(),
                    shifted.rhs.data());
  for (int i = 0; i < 20; ++i) {
    if (i >= 5 && i <= 13) {
      EXPECT_EQ(shifted.rhs[i], base.rhs[i - 4]) << i;
      EXPECT_EQ(shifted.diagonal[i], base.diagonal[i - 4]) << i;
    } else {
      EXPECT_TRUE(std::isnan(shifted.rhs[i])) << i;  // nothing outside the rows is touched
      EXPECT_TRUE(std::isnan(shifted.diagonal[i])) << i;
    }
  }
}

TEST(solve_tridiagonal, small_cases) {
  // n = 1
  double u1[2] = {0, 7}, d1[2] = {0, 4}, l1[2] = {0, 7}, r1[2] = {0, 10};
  solve_tridiagonal(1, 1, u1, d1, l1, r1);
  EXPECT_DOUBLE_EQ(r1[1], 2.5);

  // diagonal 2, off-diagonals -1, right side 1, 0, 1
  double u3[4] = {0, -1, -1, -1}, d3[4] = {0, 2, 2, 2}, l3[4] = {0, -1, -1, -1},
         r3[4] = {0, 1, 0, 1};
  solve_tridiagonal(3, u3, d3, l3, r3);
  for (int i = 1; i <= 3; ++i) EXPECT_NEAR(r3[i], 1.0, 1e-15) << i;

  // A zero pivot is not tested for: the values become infinite or undefined.
  double uz[3] = {0, 1, 1}, dz[3] = {0, 0, 1}, lz[3] = {0, 1, 1}, rz[3] = {0, 1, 1};
  solve_tridiagonal(2, uz, dz, lz, rz);
  EXPECT_FALSE(std::isfinite(rz[1]) && std::isfinite(rz[2]));

  // No rows: nothing changes.
  double ue[2] = {0, 1}, de[2] = {0, 1}, le[2] = {0, 1}, re[2] = {0, 3};
  solve_tridiagonal(1, 0, ue, de, le, re);
  EXPECT_EQ(re[1], 3.0);
}

TEST(solve_tridiagonal, residual_of_an_uneven_system_is_round_off) {
  const int n = 50;
  std::vector<double> u(n + 1), d(n + 1), l(n + 1), r(n + 1);
  for (int i = 1; i <= n; ++i) {
    u[i] = -0.3 - 0.01 * (i % 7);
    l[i] = -0.5 + 0.02 * (i % 5);
    d[i] = 1.5 + 0.1 * (i % 3);
    r[i] = std::sin(0.37 * i);
  }
  std::vector<double> d0 = d, r0 = r;
  solve_tridiagonal(1, n, u.data(), d.data(), l.data(), r.data());
  for (int i = 1; i <= n; ++i) {
    double lhs = d0[i] * r[i];
    if (i > 1) lhs += l[i] * r[i - 1];
    if (i < n) lhs += u[i] * r[i + 1];
    EXPECT_NEAR(lhs, r0[i], 1e-13) << i;
  }
}

struct clamp_case {
  double value, lower, upper, expected;
};

TEST(parallel_clamp_fill, keeps_the_value_inside_the_bounds_by_the_margin) {
  const clamp_case cases[] = {
      {0.15, 0.05, 0.45, 0.15},
      {0.15, 0.20, 0.45, 0.21},
      {0.15, 0.05, 0.10, 0.09},
      {0.10, 0.20, 0.205, 0.195},  // bounds closer than 0.02: the upper test wins
  };
  const int n = 4;
  // Per-cell mode: the bounds of cell i are the maps' entries i.
  std::vector<double> lower_map(n + 1), upper_map(n + 1);
  // Table mode: cell i has soil type n + 1 - i.
  std::vector<double> lower_table(n + 2), upper_table(n + 2);
  std::vector<int> type(n + 1);
  for (int i = 1; i <= n; ++i) {
    lower_map[i] = cases[i - 1].lower;
    upper_map[i] = cases[i - 1].upper;
    type[i] = n + 1 - i;
    lower_table[type[i]] = cases[i - 1].lower;
    upper_table[type[i]] = cases[i - 1].upper;
  }
  for (int i = 1; i <= n; ++i) {
    std::vector<double> out(n + 1, -9.0);
    parallel_clamp_fill(n, nullptr, out.data(), nullptr, nullptr, upper_map.data(),
                        lower_map.data(), 1, cases[i - 1].value);
    EXPECT_NEAR(out[i], cases[i - 1].expected, 1e-15) << "per cell " << i;
    EXPECT_EQ(out[0], -9.0);
    std::fill(out.begin(), out.end(), -9.0);
    parallel_clamp_fill(n, upper_table.data(), out.data(), lower_table.data(), type.data(),
                        nullptr, nullptr, 0, cases[i - 1].value);
    EXPECT_NEAR(out[i], cases[i - 1].expected, 1e-15) << "by type " << i;
    EXPECT_EQ(out[0], -9.0);
  }
}

TEST(parallel_clamp_fill, eight_threads_give_the_serial_result) {
  const int n = 100003;
  std::vector<double> lower(n + 1), upper(n + 1);
  for (int i = 1; i <= n; ++i) {
    lower[i] = 0.02 + 0.3 * ((i * 37) % 101) / 101.0;
    upper[i] = lower[i] + 0.005 + 0.4 * ((i * 53) % 97) / 97.0;
  }
  int saved = omp_get_max_threads();
  std::vector<double> serial(n + 1, 0.0), parallel(n + 1, 0.0);
  omp_set_num_threads(1);
  parallel_clamp_fill(n, nullptr, serial.data(), nullptr, nullptr, upper.data(), lower.data(), 1,
                      0.25);
  omp_set_num_threads(8);
  parallel_clamp_fill(n, nullptr, parallel.data(), nullptr, nullptr, upper.data(), lower.data(),
                      1, 0.25);
  omp_set_num_threads(saved);
  EXPECT_EQ(serial, parallel);
  int outside = 0;
  for (int i = 1; i <= n; ++i)
    if (!(parallel[i] < upper[i] && (parallel[i] > lower[i] || upper[i] - lower[i] < 0.02)))
      ++outside;
  EXPECT_EQ(outside, 0);
}

}  // namespace
