// The split of channel constituent mass between the water and the fine
// suspended sediment, the upwind rule of the attached mass, and the step
// that carries it along links and through a lake.

#include <gtest/gtest.h>

#include "../channel/network_fixture.h"
#include "quality/chan_sed_contam.h"
#include "run/model_state.h"

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

TEST(chan_sed_contam, attached_mass_comes_from_the_upwind_store) {
  using namespace network_fixture;
  // Link 1 (3 nodes) into link 2 (2 nodes); then link 2 as a lake, and
  // then as a structure above link 3.
  channel_state c;
  build_network(c, {{{10.0, 9.0, 8.0}, 2}, {{7.0, 6.0}, 3}, {{5.0, 4.0}, 0}});
  c.lake2link.assign(4, 0);
  struct upwind_case {
    const char* name;
    int ltype2, link, node;
    double w;
    int address_link, address_node, lake;
  };
  const int lake = link_bit::lake, structure = link_bit::structure;
  const upwind_case cases[] = {
      {"downstream flow takes the node's own", 0, 1, 2, 1.0, 1, 2, 0},
      {"reverse flow takes the next node's", 0, 1, 2, -1.0, 1, 3, 0},
      {"reverse flow at a last node takes the link below's first", 0, 1, 3, -1.0, 2, 1, 0},
      {"reverse flow into a lake below takes the lake's", lake, 1, 3, -1.0, 0, 0, 1},
      {"a lake link gives the lake's", lake, 2, 2, 1.0, 0, 0, 1},
      {"reverse flow across a structure takes the node beyond", structure, 1, 3, -1.0, 3, 1, 0},
      {"a structure passes the node above it", structure, 2, 1, 1.0, 1, 3, 0},
      {"a structure in reverse passes the node below it", structure, 2, 2, -1.0, 3, 1, 0},
  };
  for (const upwind_case& u : cases) {
    SCOPED_TRACE(u.name);
    c.ltype[2] = u.ltype2 ? u.ltype2 : link_bit::trapezoid;
    c.lake2link[2] = u.ltype2 == lake ? 1 : 0;
    const upwind_store from = attached_upwind(c, u.link, u.node, u.w);
    EXPECT_EQ(from.lake, u.lake);
    EXPECT_EQ(from.address, u.lake ? -1 : c.node_address(u.address_link, u.address_node));
  }
}

// A record of links of 1 m2 of water every 10 m, one fine class of
// specific gravity 2.65 holding `fines` m3 in every node, one constituent.
struct attached_fixture {
  model_state s;

  explicit attached_fixture(const std::vector<network_fixture::link_layout>& links,
                            double fines = 0.001) {
    network_fixture::build_network(s.channel, links);
    channel_state& c = s.channel;
    c.lake2link.assign(std::size_t(c.links) + 1, 0);
    for (int i = 1; i <= c.links; ++i)
      for (int j = 1; j <= c.nx[i]; ++j) c.area[c.node_address(i, j)] = 1.0;
    sediment_state& sed = s.quality.sediment;
    sed.classes = sed.fine_count = 1;
    sed.density = {0.0, particle_density(2.65)};
    sed.sed_class = {0, 1};
    sed.sand = {0, 0};
    chan_sediment_state& cs = s.quality.chan_sediment;
    cs.on = 1;
    cs.classes = cs.fine = 1;
    const std::size_t slots = c.node_slots() + 1;
    cs.ch_wash_vol.assign(slots * 2, 0.0);
    cs.qsmax.assign(slots * 3, 0.0);
    for (std::size_t a = 0; a < slots; ++a) cs.ch_wash_vol[cs.fin(int(a), 1)] = fines;
    s.input.settings.sediment_contam = 1;
    s.quality.contam.c.constituent_type = {0, 1};
    s.quality.contam.partition = {0.0, 0.5};
    s.quality.chan_contam.constituents = 1;
    s.quality.chan_node_mass.assign(2, std::vector<double>(slots, 0.0));
    s.quality.chan_contam.chan_node_sed_source_mass.assign(2, std::vector<double>(slots, 0.0));
    s.quality.contam.run.assign(2, constituent_totals{});
    s.quality.chan_contam.lake_mass.assign(2, std::vector<double>(2, 0.0));
  }
  void lakes(int count) {
    channel_state& c = s.channel;
    c.channel_lakes = 1;
    c.lake_count = count;
    chan_sediment_state& cs = s.quality.chan_sediment;
    cs.lakes = count;
    for (auto* v : {&cs.SS_vol_lake, &cs.SS_vol_lake_settled})
      v->assign(std::size_t(count + 1) * 2, 0.0);
    s.quality.chan_contam.lake_mass.assign(2, std::vector<double>(std::size_t(count) + 1, 0.0));
  }
  void alloc() { alloc_chan_sed_contam_arrays(s); }
  chan_sed_contam_state& sed() { return s.quality.chan_sed_contam; }
  double& total(int link, int node) {
    return sed().chan_tot_node_mass[1][std::size_t(s.channel.node_address(link, node))];
  }
  double& flux(int link, int node) {
    chan_sediment_state& cs = s.quality.chan_sediment;
    return cs.qsmax[cs.flx(s.channel.node_address(link, node), 1)];
  }
  // One channel constituent step's sediment part, then the dissolved
  // routing's hand-back: every release taken into the water and the water
  // rejoining the total, nothing moved.
  void step(double dt) {
    chan_contam_advect(s, 1, dt);
    sed_contam_release(s, 1, dt);
    sed_contam_cell_mass(s, 1);
    std::vector<double>& release = s.quality.chan_contam.chan_node_sed_source_mass[1];
    std::vector<double>& water = s.quality.chan_node_mass[1];
    for (std::size_t a = 0; a < release.size(); ++a) {
      water[a] += release[a];
      release[a] = 0.0;
      sed().chan_tot_node_mass[1][a] += water[a];
    }
  }
  // Grams in the nodes' water and fines.
  double nodes() {
    double g = 0.0;
    for (int i = 1; i <= s.channel.links; ++i)
      if (s.channel.is_routed(i))
        for (int j = 1; j <= s.channel.nx[i]; ++j) g += total(i, j);
    return g;
  }
};

network_fixture::link_layout reach(int nodes, int downstream = 0) {
  network_fixture::link_layout l;
  l.beds.assign(std::size_t(nodes), 10.0);
  l.downstream = downstream;
  l.dx = 10.0;
  return l;
}

TEST(chan_sed_contam, the_fines_keep_their_share_and_carry_it_downstream) {
  // 100 g in node 2 of link 1, 0.001 m3 of fines in its 10 m3: the water
  // keeps 0.999868 and the fines 13.226 g per m3 of sediment. With Kd 0
  // everything stays in the water and nothing rides on the fines.
  struct share_case {
    const char* name;
    double kd, dissolved;
  };
  const share_case cases[] = {{"channel Kd 0.5", 0.5, 0.999868}, {"Kd 0", 0.0, 1.0}};
  for (const share_case& sc : cases) {
    SCOPED_TRACE(sc.name);
    attached_fixture f({reach(3, 2), reach(2)});
    f.alloc();
    f.sed().chan_soil_water_partition[1] = sc.kd;
    f.total(1, 2) = 100.0;
    f.step(60.0);
    const std::size_t a = std::size_t(f.s.channel.node_address(1, 2));
    EXPECT_NEAR(f.sed().chan_node_fraction_dissolved[1][a], sc.dissolved, 5e-7);
    EXPECT_NEAR(f.s.quality.chan_node_mass[1][a], 100.0 * sc.dissolved, 5e-5);
    const double conc = f.sed().chan_sed_contam_node_conc[1][f.sed().fin(int(a), 1)];
    EXPECT_NEAR(conc, 100.0 * (1.0 - sc.dissolved) / 0.001, 0.05);

    // 1e-4 m3 of fines leaves node 2 for node 3 in the next 60 s.
    f.flux(1, 2) = 1e-4 / 60.0;
    f.step(60.0);
    EXPECT_NEAR(f.total(1, 3), 1e-4 * conc, 1e-12);
    EXPECT_NEAR(f.nodes(), 100.0, 1e-12);
    if (sc.kd == 0.0) {
      EXPECT_EQ(f.total(1, 3), 0.0);
    }
  }
}

TEST(chan_sed_contam, attached_mass_is_neither_made_nor_lost_on_its_way_out) {
  // Every face moves fines, one of them in reverse, one asks twenty times
  // what its node holds, and the outlet passes fines out: the nodes and
  // the outlet keep the 60 g they started with, and no node goes below 0.
  attached_fixture f({reach(3, 2), reach(2)});
  f.alloc();
  for (int i = 1; i <= 2; ++i)
    for (int j = 1; j <= f.s.channel.nx[i]; ++j) f.total(i, j) = 12.0;
  f.sed().chan_soil_water_partition[1] = 20000.0;
  for (int i = 1; i <= 2; ++i)
    for (int j = 1; j <= f.s.channel.nx[i]; ++j) f.flux(i, j) = 2e-4 / 60.0;
  f.flux(1, 3) = -3e-4 / 60.0;
  f.flux(2, 1) = 0.02 / 60.0;
  for (int n = 0; n < 5; ++n) {
    f.step(60.0);
    for (int i = 1; i <= 2; ++i)
      for (int j = 1; j <= f.s.channel.nx[i]; ++j) EXPECT_GE(f.total(i, j), 0.0);
  }
  const double gone = f.sed().run[1].outlet * 1000.0;
  EXPECT_GT(gone, 0.0);
  EXPECT_NEAR(f.nodes() + gone, 60.0, 1e-9);
  EXPECT_NEAR(f.s.quality.contam.run[1].global_mass_out * 1000.0, gone, 1e-12);
}

TEST(chan_sed_contam, a_lake_gains_what_flows_in_and_settles_its_own_share) {
  // Links 1 and 2 into the lake of link 3, which drains into link 4. The
  // lake holds 500 m3 with 0.05 m3 of fines and 50 g; 0.01 m3 settles.
  attached_fixture f({reach(2, 3), reach(2, 3), reach(1, 4), reach(2)});
  f.s.channel.ltype[3] = link_bit::lake;
  f.s.channel.lake2link[3] = 1;
  f.lakes(1);
  f.s.channel.lake_volume.assign(2, 500.0);
  chan_sediment_state& cs = f.s.quality.chan_sediment;
  cs.SS_vol_lake[cs.lake_fin(1, 1)] = 0.05;
  f.alloc();
  chan_sed_contam_state& s = f.sed();
  s.lake_tot_mass[1][1] = 50.0;
  for (int i : {1, 2, 4})
    for (int j = 1; j <= 2; ++j) f.total(i, j) = 10.0;
  f.step(60.0);  // the first partition
  const double lake_share = s.lake_sed_fract_attached[1][s.fin(1, 1)];
  // Kd of the grid, 0.5, on 0.05 x 2645230 / 500 g/m3 of fines.
  const double c = 0.5e-6 * 0.05 * particle_density(2.65) / 500.0;
  EXPECT_NEAR(lake_share, c / (c + 1.0), 1e-15);
  // The lake's dissolved share waits for the lake routing; take it whole.
  f.s.quality.chan_contam.lake_mass[1][1] += s.lake_sed_contam_source[1][1];
  s.lake_sed_contam_source[1][1] = 0.0;
  s.lake_tot_mass[1][1] += f.s.quality.chan_contam.lake_mass[1][1];
  const double before = f.nodes() + s.lake_tot_mass[1][1];
  EXPECT_NEAR(before, 110.0, 1e-12);

  f.flux(1, 2) = f.flux(2, 2) = 1e-4 / 60.0;
  f.flux(3, 1) = 2e-4 / 60.0;  // the lake link's face into link 4
  cs.SS_vol_lake_settled[cs.lake_fin(1, 1)] = 0.01;
  const double lake_conc = s.lake_sed_contam_conc[1][s.fin(1, 1)];
  const double node_conc = s.chan_sed_contam_node_conc[1][s.fin(f.s.channel.node_address(1, 2), 1)];
  const double lake_before = s.lake_tot_mass[1][1];
  chan_contam_advect(f.s, 1, 60.0);
  EXPECT_NEAR(s.lake_settled_sed_mass[1][1], 0.01 * lake_conc, 1e-12);
  EXPECT_NEAR(s.lake_tot_mass[1][1] - lake_before,
              2.0 * 1e-4 * node_conc - 2e-4 * lake_conc - 0.01 * lake_conc, 1e-12);
  EXPECT_NEAR(f.total(4, 1) - 10.0, 2e-4 * lake_conc, 1e-12);
  EXPECT_NEAR(f.nodes() + s.lake_tot_mass[1][1] + s.lake_settled_sed_mass[1][1], before, 1e-10);
}

}  // namespace
