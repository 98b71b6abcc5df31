// The partition of a cell's constituent between its water and its suspended
// sediment, worked by hand: a fine class of 2.65 specific gravity in 10 m3 of
// water, a sand class beside it.

#include "quality/sed_contam_partition.h"

#include <gtest/gtest.h>

namespace {

// Particle density of specific gravity 2.65, g/m3.
constexpr double fine_density = 2.65 * 998.2 * 1000.0;

struct cell_partition {
  double sed_conc[3] = {}, attached[3] = {}, contam_conc[3] = {};
  sed_partition_out out() { return {sed_conc, attached, contam_conc}; }
};

TEST(sed_contam_partition, fine_sediment_takes_its_share_and_sand_none) {
  const double density[] = {0.0, fine_density, fine_density};
  const int sand[] = {0, 0, 1};
  struct partition_case {
    const char* label;
    double kd;          // L/kg
    double fine, coarse;  // suspended volumes, m3
    double attached;    // share on the fine class
  };
  // 0.001 m3 in 10 m3: 264.523 g/m3 of sediment; Kd 1e4 makes it hold
  // 2.64523 parts to the water's 1: 2.64523 / 3.64523 = 0.725669.
  const partition_case cases[] = {
      {"Kd 1e4", 1e4, 0.001, 0.0, 0.725669},
      {"Kd 1e4 beside sand", 1e4, 0.001, 0.002, 0.725669},
      {"Kd 0: all dissolved", 0.0, 0.001, 0.002, 0.0},
      {"no suspended sediment", 1e4, 0.0, 0.0, 0.0},
  };
  for (const partition_case& c : cases) {
    SCOPED_TRACE(c.label);
    cell_partition p;
    const double volume[] = {0.0, c.fine, c.coarse};
    const double dissolved =
        sed_contam_partition(2, density, sand, volume, 0.1, 10.0, c.kd, 50.0, -1.0, p.out());
    EXPECT_NEAR(p.sed_conc[1], c.fine > 0.0 ? 264.523 : 0.0, 1e-3);
    EXPECT_EQ(p.sed_conc[0], p.sed_conc[1]);  // sand is no part of the sum
    EXPECT_NEAR(p.attached[1], c.attached, 1e-6);
    EXPECT_EQ(p.attached[2], 0.0);
    EXPECT_EQ(p.contam_conc[2], 0.0);
    EXPECT_NEAR(dissolved, 1.0 - c.attached, 1e-6);
    // The attached 36.28 g of 50 in 0.001 m3 of sediment.
    const double attached_conc = c.fine > 0.0 ? c.attached * 50.0 / c.fine : 0.0;
    EXPECT_NEAR(p.contam_conc[1], attached_conc, 1e-6 * attached_conc);
  }
}

TEST(sed_contam_partition, a_dry_cell_keeps_its_shares) {
  const double density[] = {0.0, fine_density};
  const int sand[] = {0, 0};
  const double volume[] = {0.0, 0.001};
  cell_partition p;
  p.sed_conc[0] = 7.0;
  p.attached[1] = 0.3;
  p.contam_conc[1] = 12.0;
  EXPECT_EQ(sed_contam_partition(1, density, sand, volume, 0.0, 10.0, 1e4, 50.0, 0.7, p.out()),
            0.7);
  EXPECT_EQ(p.sed_conc[0], 0.0);
  EXPECT_EQ(p.attached[1], 0.3);
  EXPECT_EQ(p.contam_conc[1], 12.0);
}

}  // namespace
