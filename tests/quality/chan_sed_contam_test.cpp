// The split of channel constituent mass between the water and the fine
// suspended sediment, and the upwind rule of the attached mass.

#include <gtest/gtest.h>

#include "../channel/network_fixture.h"
#include "quality/chan_sed_contam.h"

namespace {

TEST(chan_sed_contam, the_partition_binds_kd_times_the_sediment_concentration) {
  struct partition_case {
    const char* name;
    double kd, sediment, water, dissolved;
  };
  // 0.001 m3 of sediment of specific gravity 2.65 in 10 m3 of water:
  // 264.523 g/m3, of which Kd 0.5 binds 1.3226e-4 of the mass.
  const partition_case cases[] = {
      {"no partition keeps all dissolved", 0.0, 0.001, 10.0, 1.0},
      {"no sediment keeps all dissolved", 0.5, 0.0, 10.0, 1.0},
      {"channel Kd over fine sediment", 0.5, 0.001, 10.0, 0.999868},
  };
  const double density[] = {0.0, particle_density(2.65), particle_density(2.65)};
  for (const partition_case& c : cases) {
    SCOPED_TRACE(c.name);
    const double volume[] = {0.0, c.sediment, 0.0};
    sed_partition split;
    ASSERT_TRUE(partition_node(c.kd, density, volume, 2, c.water, split));
    EXPECT_NEAR(split.dissolved, c.dissolved, 5e-7);
    EXPECT_NEAR(split.attached[0] + split.dissolved, 1.0, 1e-15);
    EXPECT_NEAR(split.sed_conc[1], 2645230.0 * c.sediment / c.water, 1e-9);
  }
  sed_partition kept;
  kept.dissolved = 0.7;
  const double volume[] = {0.0, 0.001, 0.0};
  EXPECT_FALSE(partition_node(0.5, density, volume, 2, 0.0, kept));
  EXPECT_DOUBLE_EQ(kept.dissolved, 0.7);
}

TEST(chan_sed_contam, attached_mass_moves_with_the_upwind_concentration) {
  using namespace network_fixture;
  channel_state c;
  build_network(c, {{{10.0, 9.0, 8.0}, 2}, {{7.0, 6.0}, 0}});
  c.lake2link.assign(3, 0);
  std::vector<double> conc(c.node_slots(), 0.0);
  for (int i = 1; i <= 2; ++i)
    for (int j = 1; j <= c.nx[i]; ++j) conc[c.node_address(i, j)] = 10.0 * i + j;
  const std::vector<double> lakes = {0.0, 99.0};
  EXPECT_DOUBLE_EQ(attached_upwind(c, conc, lakes, 1, 2, 1.0), 12.0);
  EXPECT_DOUBLE_EQ(attached_upwind(c, conc, lakes, 1, 2, -1.0), 13.0);
  // Reverse flow at a link's last node: the downstream link's first node.
  EXPECT_DOUBLE_EQ(attached_upwind(c, conc, lakes, 1, 3, -1.0), 21.0);
  // ... or the lake when the link below is a lake.
  c.ltype[2] = link_bit::lake;
  c.lake2link[2] = 1;
  EXPECT_DOUBLE_EQ(attached_upwind(c, conc, lakes, 1, 3, -1.0), 99.0);
}

}  // namespace
