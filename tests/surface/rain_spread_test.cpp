// Gauge rain spread over the cells: inverse distance squared against hand
// sums, the nearest gauge with its tie rule, and the search failure reported
// once whatever the number of failing cells and threads.

#include "surface/rain_spread.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/error_state.h"
#include "core/grid_state.h"
#include "test_support.h"

namespace {

using test_support::stdout_capture;

// A grid of rows x cols cells of size dx with its north-west corner at
// (0, rows x dx); cells where inside is false are outside the watershed.
void make_grid(grid_state& g, int rows, int cols, double dx, const std::vector<bool>& inside = {}) {
  g.rows = rows;
  g.cols = cols;
  g.dx = dx;
  g.west = 0.0;
  g.north = rows * dx;
  ASSERT_TRUE(g.mask.allocate_grid(rows, cols));
  int n = 0;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c)
      if (inside.empty() || inside[(r - 1) * cols + c - 1]) g.mask[r][c] = ++n;
  g.cells = n;
}

TEST(gage_idw_parallel, weights_by_inverse_distance_squared_and_copies_a_gauge_nearer_than_dx) {
  // Centres at x = 50, 150, 250, 350 (y = 50); the third is outside the
  // watershed, so the cells are 1, 2 and 3 at x = 50, 150, 350.
  grid_state g;
  make_grid(g, 1, 4, 100.0, {true, true, false, true});
  struct idw_case {
    const char* label;
    std::vector<double> x, y, gauge_rate;  // [1..gauges]
    std::vector<double> rates;             // cells 1..3
  };
  const idw_case cases[] = {
      {"gauge 1 exactly dx from cell 2 is weighted; gauge 2 sits on cell 3's centre",
       {0, 150, 350},
       {0, 150, 50},
       {0, 10, 20},
       {(10 / 20000.0 + 20 / 90000.0) / (1 / 20000.0 + 1 / 90000.0),
        (10 / 10000.0 + 20 / 40000.0) / (1 / 10000.0 + 1 / 40000.0), 20.0}},
      {"of two gauges nearer than dx the lower number wins, not the nearer",
       {0, 110, 160},
       {0, 50, 50},
       {0, 4, 8},
       {4.0, 4.0, (4 / 57600.0 + 8 / 36100.0) / (1 / 57600.0 + 1 / 36100.0)}},
      {"one gauge rains alike everywhere", {0, 5000}, {0, 5000}, {0, 7}, {7, 7, 7}},
  };
  for (const idw_case& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<double> rate(4, -7.0);
    gage_idw_parallel(g, int(c.x.size()) - 1, c.x.data(), c.y.data(), c.gauge_rate.data(),
                      rate.data());
    EXPECT_EQ(rate[0], -7.0);  // no cell number 0 is ever written
    for (int k = 1; k <= 3; ++k) EXPECT_NEAR(rate[k], c.rates[k - 1], 1e-12) << "cell " << k;
  }
}

TEST(find_neighbor, takes_the_nearest_gauge_and_the_lower_number_on_a_tie) {
  grid_state g;
  make_grid(g, 2, 3, 10.0);  // centres x = 5, 15, 25 and y = 15 (row 1), 5 (row 2)
  // Gauge 1 and 2 are 10 m left and right of the centre (15, 15).
  const std::vector<double> x = {0, 5, 25, 15}, y = {0, 15, 15, -100};
  std::vector<int> nearest(7, 0);
  stdout_capture out;
  EXPECT_TRUE(find_neighbor(g, 3, x.data(), y.data(), nearest.data()));
  EXPECT_EQ(out.stop(), "");
  EXPECT_EQ(nearest, (std::vector<int>{0, 1, 1, 2, 1, 1, 2}));

  const std::vector<double> gauge_rate = {0, 3, 9, 27};
  std::vector<double> rate(7, 0.0);
  gage_thiessen_parallel(3, nearest.data(), gauge_rate.data(), rate.data(), 6);
  EXPECT_EQ(rate, (std::vector<double>{0, 3, 3, 9, 3, 3, 9}));
  gage_thiessen_parallel(1, nearest.data(), gauge_rate.data(), rate.data(), 6);
  EXPECT_EQ(rate, (std::vector<double>{0, 3, 3, 3, 3, 3, 3}));
}

TEST(find_neighbor, gauges_too_far_from_every_cell_stop_the_run_with_one_report) {
  // 1600 cells, enough for the loop to run on all threads, each failing.
  grid_state g;
  make_grid(g, 40, 40, 100.0);
  const std::vector<double> x = {0, 5e6, 6e6}, y = {0, 5e6, 6e6};
  std::vector<int> nearest(g.cells + 1, 0);
  error_state = error_record{};
  stdout_capture out;
  EXPECT_FALSE(find_neighbor(g, 2, x.data(), y.data(), nearest.data()));
  EXPECT_EQ(out.stop(),
            "Failure to identify closest raingauge in find_neighbor\n"
            "check rain gage data file, particularly gage coordinates\n\n");
  EXPECT_EQ(error_state.stop_flag, 1);
  error_state = error_record{};

  // Inverse distance squared weighs the same gauges without complaint.
  const std::vector<double> gauge_rate = {0, 10, 20};
  std::vector<double> rate(g.cells + 1, 0.0);
  gage_idw_parallel(g, 2, x.data(), y.data(), gauge_rate.data(), rate.data());
  EXPECT_EQ(error_state.stop_flag, 0);
  for (int k = 1; k <= g.cells; ++k) {
    ASSERT_GT(rate[k], 10.0) << k;
    ASSERT_LT(rate[k], 20.0) << k;
  }
}

}  // namespace
