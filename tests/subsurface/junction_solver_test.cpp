// The sparse junction solve against the dense decomposition: the same
// heads on a tree, on a network with loops, and on a matrix that needs row
// exchanges; the same refusal of a matrix with an empty row.

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#include "subsurface/junction_solver.h"
#include "test_support.h"

namespace {

struct system_case {
  int n;
  std::vector<std::pair<int, int>> pairs;
};

// Entries like those of the junction system: per pair a conveyance on both
// diagonals and minus it off the diagonal, plus storage.
void assemble(junction_solver& s, dense_matrix& d, const system_case& c, std::mt19937& rng) {
  std::uniform_real_distribution<double> conveyance(0.01, 2.0), storage(0.0, 0.2);
  junction_clear(s);
  d.n = c.n;
  d.a.assign(std::size_t(c.n) * std::size_t(c.n) + 1, 0.0);
  auto add = [&](int r, int col, double v) {
    junction_add(s, r, col, v);
    d.at(r, col) += v;
  };
  for (int j = 1; j <= c.n; ++j) add(j, j, storage(rng));
  for (const auto& [p, q] : c.pairs) {
    const double k = conveyance(rng), k2 = conveyance(rng);
    add(p, p, k);
    add(p, q, -0.9 * k);
    add(q, q, k2);
    add(q, p, -0.9 * k2);
  }
}

TEST(junction_solver, sparse_heads_match_the_dense_decomposition) {
  std::mt19937 rng(7);
  system_case tree{300, {}};
  for (int j = 2; j <= tree.n; ++j) tree.pairs.emplace_back(j, 1 + int(rng() % unsigned(j - 1)));
  system_case looped = tree;
  for (int k = 0; k < 40; ++k)
    looped.pairs.emplace_back(1 + int(rng() % 300u), 1 + int(rng() % 300u));
  looped.pairs.emplace_back(5, 6);
  looped.pairs.emplace_back(5, 6);  // parallel superlinks share their entries
  for (const system_case& c : {tree, looped}) {
    junction_solver s;
    ASSERT_TRUE(junction_solver_setup(s, c.n, c.pairs));
    dense_matrix d;
    assemble(s, d, c, rng);
    std::vector<double> rhs(std::size_t(c.n) + 1), x(std::size_t(c.n) + 1, 0.0);
    std::uniform_real_distribution<double> head(40.0, 60.0);
    for (int j = 1; j <= c.n; ++j) rhs[std::size_t(j)] = head(rng);
    ASSERT_EQ(junction_solve(s, rhs, x), 0);
    EXPECT_EQ(s.dense_solves, 0);
    std::vector<int> indx(std::size_t(c.n) + 1);
    std::vector<double> scale(std::size_t(c.n) + 1), b = rhs;
    ASSERT_EQ(ludcmp(d, indx, scale), 0);
    lu_back_substitute(d, indx, b);
    for (int j = 1; j <= c.n; ++j) EXPECT_NEAR(x[std::size_t(j)], b[std::size_t(j)], 1e-9) << j;
  }
}

TEST(junction_solver, a_zero_pivot_falls_back_to_row_exchanges) {
  junction_solver s;
  ASSERT_TRUE(junction_solver_setup(s, 2, {{1, 2}}));
  junction_add(s, 1, 2, 1.0);  // [0 1; 1 1] x = [2; 5] gives x = (3, 2)
  junction_add(s, 2, 1, 1.0);
  junction_add(s, 2, 2, 1.0);
  std::vector<double> rhs = {0.0, 2.0, 5.0}, x(3, 0.0);
  ASSERT_EQ(junction_solve(s, rhs, x), 0);
  EXPECT_EQ(s.dense_solves, 1);
  EXPECT_NEAR(x[1], 3.0, 1e-12);
  EXPECT_NEAR(x[2], 2.0, 1e-12);
}

TEST(junction_solver, an_empty_row_is_singular) {
  junction_solver s;
  ASSERT_TRUE(junction_solver_setup(s, 3, {{1, 2}}));
  junction_add(s, 1, 1, 1.0);
  junction_add(s, 2, 2, 1.0);
  std::vector<double> rhs(4, 1.0), x(4, 0.0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(junction_solve(s, rhs, x), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Numerical Recipes run-time error...\nSingular matrix in routine ludcmp\n"
            "...now exiting to system...\n");
}

}  // namespace
