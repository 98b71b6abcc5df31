// Frozen-ground index: hours worked by hand (frost under snow, a cold day,
// a thawing day), the floor at 0, the snow-sets-86 rule, lake cells and the
// cells' own temperatures.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "soil/frozen_ground.h"

namespace {

struct frost_cells {
  int n;
  std::vector<double> swe, index, temp;
  std::vector<int> oland, chan;
  explicit frost_cells(int cells)
      : n(cells), swe(n + 1, 0.0), index(n + 1, 0.0), temp(n + 1, 0.0), oland(n + 1, 0),
        chan(n + 1, 0) {}
  frozen_ground_inputs inputs(double air) {
    frozen_ground_inputs in;
    in.cells = n;
    in.air_temp = air;
    in.swe = swe.data();
    return in;
  }
};

TEST(frozen_ground_index, hand_worked_hours) {
  // index' = 0.99875 index - exp(-0.4 K D) T / 24, D the snow in cm, K 0.08
  // below 0 deg C and 0.5 from 0 up; never below 0.
  struct hcase {
    const char* what;
    double start, temp, swe;
    int hours;
    double expected;
  } cases[] = {
      {"an hour at -10 under 10 cm of water: exp(-0.32) 10/24", 0.0, -10.0, 0.10, 1, 0.302562},
      {"a day at -10 without snow", 0.0, -10.0, 0.0, 24, 9.857559},
      {"a day at 0 only decays", 86.0, 0.0, 0.0, 24, 83.456750},
      {"under 1 cm thaw is damped too: 0.99875 x 2 - exp(-0.2) 4 / 24", 2.0, 4.0, 0.01, 1,
       0.99875 * 2.0 - std::exp(-0.2) * 4.0 / 24.0},
      {"warm hours stop at 0", 0.3, 10.0, 0.0, 5, 0.0},
  };
  for (const auto& c : cases) {
    frost_cells f(1);
    f.index[1] = c.start;
    f.swe[1] = c.swe;
    for (int h = 0; h < c.hours; ++h) frozen_ground_index(f.inputs(c.temp), f.index.data());
    EXPECT_NEAR(f.index[1], c.expected, 1e-6) << c.what;
  }
}

TEST(frozen_ground_index, snow_with_no_infiltrate_sets_86_then_decays) {
  frost_cells f(2);
  f.swe[1] = 1e-6;  // any snow at all
  f.index[2] = 10.0;
  frozen_ground_inputs in = f.inputs(8.0);
  in.snow_no_infiltrate = true;
  frozen_ground_index(in, f.index.data());
  EXPECT_EQ(f.index[1], snow_frozen_index);
  EXPECT_GT(f.index[1], frozen_ground_limit);
  EXPECT_NEAR(f.index[2], 0.99875 * 10.0 - 8.0 / 24.0, 1e-12);  // no snow: the plain hour

  f.swe[1] = 0.0;
  in = f.inputs(0.0);
  in.snow_no_infiltrate = true;
  frozen_ground_index(in, f.index.data());
  EXPECT_NEAR(f.index[1], 0.99875 * 86.0, 1e-12);
}

TEST(frozen_ground_index, lake_cells_and_cells_without_an_hour_keep_their_index) {
  frost_cells f(4);
  for (int i = 1; i <= 3; ++i) f.index[i] = 50.0;
  f.swe[4] = 0.10;
  f.oland[1] = 3;
  f.chan[2] = 1;
  f.temp = {0.0, -10.0, -10.0, -9999.0, -10.0};
  frozen_ground_inputs in = f.inputs(20.0);
  in.oland_lake = f.oland.data();
  in.chan_lake = f.chan.data();
  in.cell_air_temp = f.temp.data();
  frozen_ground_index(in, f.index.data());
  EXPECT_EQ(f.index[1], 50.0);
  EXPECT_EQ(f.index[2], 50.0);
  EXPECT_EQ(f.index[3], 50.0);  // a grid that could not be read is no -9999 deg C frost
  // Cell 4 takes its own -10, and with it K 0.08, not the record's 20.
  EXPECT_NEAR(f.index[4], 0.302562, 1e-6);
}

}  // namespace
