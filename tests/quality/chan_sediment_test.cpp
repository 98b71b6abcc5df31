// Channel sediment kernels on hand-built networks: the initial bed sand,
// Yang's sand rate and the sand moved with its bed change (numbers worked
// by hand from the formula), and the suspended fines, whose volumes must add
// up over any sequence of steps, through structures and lakes too.

#include "quality/chan_sediment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "../channel/network_fixture.h"
#include "../surface/surface_run_fixture.h"
#include "quality/sediment_erosion_transport.h"
#include "quality/sediment_inputs.h"
#include "quality/sediment_kernels.h"

namespace {

using network_fixture::build_network;
using network_fixture::link_layout;

// A run record around an erodible trapezoid network (bottom 2 m, side slope
// 1, MAX_EROSION 0.5, porosity 0.4, cells of 100 m) and a sediment table of
// the given diameters (mm), sand from 0.5 mm.
std::unique_ptr<model_state> erodible_run(const std::vector<link_layout>& links,
                                          const std::vector<double>& diameters,
                                          bool erodible = true) {
  auto s = std::make_unique<model_state>();
  channel_state& c = s->channel;
  build_network(c, links);
  c.max_eros.assign(c.node_slots(), 0.5);
  c.qp_vol_sed.assign(c.node_slots(), 0.0);
  c.lake2link.assign(std::size_t(c.links) + 1, 0);
  for (int l = 1; l <= c.links; ++l)
    if (erodible) c.ltype[l] |= link_bit::erodible;
  s->grid.dx = 100.0;
  s->input.chan_sed_routing = 1;
  sediment_state& sed = s->quality.sediment;
  sed.on = 1;
  sed.mode = 1;
  sed.classes = int(diameters.size());
  sed.sand_size = 0.5;
  sed.water_temp = 20.0;
  sed.sed_porosity = 0.4;
  sed.viscosity = water_viscosity(20.0);
  sed.spec_grav.assign(std::size_t(sed.classes) + 1, 2.65);
  sed.part_diam.assign(std::size_t(sed.classes) + 1, 0.0);
  for (int i = 1; i <= sed.classes; ++i)
    sed.part_diam[std::size_t(i)] = diameters[std::size_t(i - 1)];
  setup_sediment_classes(sed);
  EXPECT_TRUE(alloc_channel_sediment_arrays(*s));
  return s;
}

// The unit reach: one link of three nodes, beds 10.2, 10.0, 9.8, water 0.5
// m deep carrying Q at every node.
std::unique_ptr<model_state> unit_reach(double q, double bed_step = 0.2) {
  auto s = erodible_run({{{10.2, 10.2 - bed_step, 10.2 - 2 * bed_step}}}, {0.5});
  channel_state& c = s->channel;
  for (int j = 1; j <= 3; ++j) {
    const int a = c.node_address(1, j);
    c.chan_depth[a] = 0.5;
    c.yp[a] = c.bel[a] + 0.5;
    c.qp[a] = q;
  }
  return s;
}

TEST(chan_sediment_arrays, erodible_trapezoid_nodes_start_with_their_layer) {
  auto s = erodible_run({{{10.2, 10.0, 9.8}}}, {0.5});
  const chan_sediment_state& cs = s->quality.chan_sediment;
  ASSERT_EQ(cs.on, 1);
  for (int j = 1; j <= 3; ++j) {
    const int a = s->channel.node_address(1, j);
    // (1 - 0.4) x 0.5 m x 2 m x 100 m
    EXPECT_DOUBLE_EQ(cs.ch_sand_vol[cs.snd(a, cs.sand + 1)], 60.0);
    EXPECT_DOUBLE_EQ(cs.ch_sand_vol[cs.snd(a, 0)], 60.0);
    EXPECT_DOUBLE_EQ(cs.org_bel[a], s->channel.bel[a]);
  }
  EXPECT_DOUBLE_EQ(cs.sand_initial, 180.0);

  auto plain = erodible_run({{{10.2, 10.0, 9.8}}}, {0.5}, false);
  EXPECT_EQ(plain->quality.chan_sediment.on, 0);
  EXPECT_TRUE(plain->quality.chan_sediment.ch_sand_vol.empty());
}

TEST(chan_sed_transport, yang_rate_moves_sand_down_the_reach_and_out) {
  auto s = unit_reach(1.5);
  channel_state& c = s->channel;
  chan_sediment_state& cs = s->quality.chan_sediment;
  chan_sed_transport(c, s->quality.sediment, cs, 60.0);
  // Re* 42.427, V_cr/w 1.59475, Ct 1710.31 ppm: 9.68103e-4 m3/s everywhere.
  const double rate = 9.68103e-4;
  for (int j = 1; j <= 3; ++j) EXPECT_NEAR(cs.rate[c.node_address(1, j)], rate, rate * 1e-5);
  const int s1 = cs.sand + 1;
  EXPECT_NEAR(cs.ch_sand_vol[cs.snd(c.node_address(1, 1), 0)], 59.941914, 1e-6);
  EXPECT_NEAR(cs.ch_sand_vol[cs.snd(c.node_address(1, 2), 0)], 60.0, 1e-9);
  EXPECT_NEAR(cs.ch_sand_vol[cs.snd(c.node_address(1, 3), 0)], 60.0, 1e-9);
  EXPECT_NEAR(cs.outlet_sand_rate[std::size_t(s1)], rate, rate * 1e-5);
  for (int k = 1; k <= cs.sand; ++k) EXPECT_EQ(cs.outlet_sand_rate[std::size_t(k)], 0.0);
  EXPECT_NEAR(cs.qsmax[cs.flx(c.node_address(1, 1), cs.fine + s1)], rate, rate * 1e-5);
  // Node 1 lost 0.0581 m3 from its layer; nodes 2 and 3 kept theirs.
  EXPECT_NEAR(cs.new_bel[c.node_address(1, 1)], 10.199516, 1e-6);
  EXPECT_DOUBLE_EQ(cs.new_bel[c.node_address(1, 2)], 10.0);
  EXPECT_DOUBLE_EQ(cs.new_bel[c.node_address(1, 3)], 9.8);
  // What left the reach is what the outlet counts.
  EXPECT_NEAR(cs.sand_in_channels() + cs.sand_outlet, 180.0, 1e-10);
}

TEST(chan_sed_transport, below_threshold_nothing_moves) {
  struct below {
    const char* name;
    double q;
    double bed_step;  // m per 100 m
  };
  // Slope 1e-6 gives Re* 0.949; Q 0.1 gives V 0.08 under V_cr 0.11221.
  for (const below& b : {below{"flat", 1.5, 1e-4}, below{"slow", 0.1, 0.2}}) {
    auto s = unit_reach(b.q, b.bed_step);
    chan_sediment_state& cs = s->quality.chan_sediment;
    chan_sed_transport(s->channel, s->quality.sediment, cs, 60.0);
    for (int j = 1; j <= 3; ++j) {
      const int a = s->channel.node_address(1, j);
      EXPECT_EQ(cs.rate[a], 0.0) << b.name;
      EXPECT_DOUBLE_EQ(cs.ch_sand_vol[cs.snd(a, 0)], 60.0) << b.name;
    }
  }
}

TEST(chan_sed_transport, reversed_flow_moves_sand_upstream) {
  auto s = unit_reach(-1.5);
  channel_state& c = s->channel;
  chan_sediment_state& cs = s->quality.chan_sediment;
  chan_sed_transport(c, s->quality.sediment, cs, 60.0);
  const double moved = 9.68103e-4 * 60.0;
  // Node 1 draws from node 2, node 2 from 3; the outlet node moves nothing.
  EXPECT_NEAR(cs.ch_sand_vol[cs.snd(c.node_address(1, 1), 0)], 60.0 + moved, 1e-6);
  EXPECT_NEAR(cs.ch_sand_vol[cs.snd(c.node_address(1, 2), 0)], 60.0, 1e-9);
  EXPECT_NEAR(cs.ch_sand_vol[cs.snd(c.node_address(1, 3), 0)], 60.0 - moved, 1e-6);
  EXPECT_NEAR(cs.qsmax[cs.flx(c.node_address(1, 1), cs.fine + cs.sand + 1)], -9.68103e-4, 1e-8);
  EXPECT_EQ(cs.outlet_sand_rate[0], 0.0);
}

TEST(chan_sed_transport, empty_store_moves_nothing) {
  auto s = unit_reach(1.5);
  chan_sediment_state& cs = s->quality.chan_sediment;
  const int a = s->channel.node_address(1, 1);
  for (int k = 0; k <= cs.sand + 1; ++k) cs.ch_sand_vol[cs.snd(a, k)] = 0.0;
  chan_sed_transport(s->channel, s->quality.sediment, cs, 60.0);
  EXPECT_GT(cs.rate[a], 0.0);
  for (int k = 1; k <= cs.sand + 1; ++k) EXPECT_EQ(cs.qsmax[cs.flx(a, cs.fine + k)], 0.0);
}

TEST(chan_sed_transport, sand_leaving_a_link_into_a_lake_settles_in_it) {
  // The unit reach drains into lake link 2 standing at 10.1 m, which
  // empties through structure link 3 into link 4.
  auto s = erodible_run({{{10.2, 10.0, 9.8}, 2}, {{9.7, 9.7}, 3}, {{9.6, 9.6}, 4}, {{9.5, 9.4}, 0}},
                        {0.5});
  channel_state& c = s->channel;
  c.ltype[2] = link_bit::lake;
  c.ltype[3] = link_bit::structure;
  c.channel_lakes = 1;
  c.lake_count = 1;
  c.lake2link[2] = 1;
  c.lake_elev = {0.0, 10.1};
  ASSERT_TRUE(alloc_channel_sediment_arrays(*s));
  for (int j = 1; j <= 3; ++j) {
    const int a = c.node_address(1, j);
    c.chan_depth[a] = 0.5;
    c.yp[a] = c.bel[a] + 0.5;
    c.qp[a] = 1.5;
  }
  chan_sediment_state& cs = s->quality.chan_sediment;
  const double held = cs.sand_in_channels();
  chan_sed_transport(c, s->quality.sediment, cs, 60.0);
  const int last = c.node_address(1, 3);
  // The last node's slope is to the lake level over two node spacings.
  EXPECT_GT(cs.rate[last], 0.0);
  EXPECT_LT(cs.rate[last], cs.rate[c.node_address(1, 2)]);
  EXPECT_NEAR(cs.lake_depo_vol[cs.lake_snd(1, cs.sand + 1)], cs.rate[last] * 60.0, 1e-12);
  EXPECT_DOUBLE_EQ(cs.lake_depo_vol[cs.lake_snd(1, 0)], cs.sand_to_lakes);
  EXPECT_NEAR(cs.sand_in_channels() + cs.sand_to_lakes, held, 1e-10);
  EXPECT_EQ(cs.outlet_sand_rate[0], 0.0);
}

TEST(chan_sed_transport, bed_follows_the_store) {
  struct bed_case {
    double store;   // m3
    double change;  // m, against org_bel
  };
  // Above the layer the trapezoid fills: (sqrt(4 + 4 x 12 / 60) - 2) / 2;
  // below it the bottom width drops: 30 / (100 x 0.6 x 2); never past 0.5.
  for (const bed_case& b : {bed_case{72.0, 0.0954451}, bed_case{60.0, 0.0}, bed_case{30.0, -0.25},
                            bed_case{0.0, -0.5}}) {
    EXPECT_NEAR(trapezoid_bed(10.0, b.store, 60.0, 100.0, 0.4, 2.0, 1.0, 0.5), 10.0 + b.change,
                1e-7)
        << b.store;
  }
  // A rectangle rises by volume over width.
  EXPECT_NEAR(trapezoid_bed(10.0, 72.0, 60.0, 100.0, 0.4, 2.0, 0.0, 0.5), 10.1, 1e-12);
}

// A V-shaped break-point table of 10 levels 0.1 m apart: area (k h)^2, top
// width 2 k h and wetted sides 2 sqrt(2) k h at level k.
TEST(sed_depth_table_value, interpolates_scales_and_extrapolates_the_table) {
  channel_state c;
  build_network(c, {{{10.0, 9.9}}});
  c.tables = 1;
  c.levels = 10;
  c.numhts = {0, 10};
  c.numpairs = {0, 3};
  c.ht_spc = {0.0, 0.1};
  for (auto* v : {&c.xarea, &c.xtw, &c.xp}) v->assign(c.bp_index(10, 1) + 1, 0.0);
  for (int k = 1; k <= 10; ++k) {
    const double y = 0.1 * k;
    c.xarea[c.bp_index(k, 1)] = y * y;
    c.xtw[c.bp_index(k, 1)] = 2.0 * y;
    c.xp[c.bp_index(k, 1)] = 2.0 * std::sqrt(2.0) * y;
  }
  c.table_num[c.node_address(1, 1)] = 1;
  const double wet1 = 0.2 + 0.2 * std::sqrt(2.0);  // top width and sides at level 1
  struct depth_case {
    double h, area, perimeter;
  };
  for (const depth_case& d : {
           // Below the first level the first row is scaled by (h / 0.1)^(5/3).
           depth_case{0.05, 0.01 * std::pow(0.5, 5.0 / 3.0), wet1 * std::pow(0.5, 5.0 / 3.0)},
           // Between levels 2 and 3, halfway.
           depth_case{0.25, 0.065, 2.5 * wet1},
           // Above the top, on from the last interval: 1 + 0.19 x 2.
           depth_case{1.2, 1.38, 12.0 * wet1},
       }) {
    double perimeter = 0.0;
    EXPECT_NEAR(sed_depth_table_value(c, 1, 1, d.h, perimeter), d.area, 1e-12) << d.h;
    EXPECT_NEAR(perimeter, d.perimeter, 1e-12) << d.h;
  }
}

// ---- suspended fines ----

// One link of four nodes of 1.25 m2 carrying W m3 across each face, one fine
// class at volumetric concentration c.
std::unique_ptr<model_state> fine_reach(double w, double c) {
  auto s = erodible_run({{{10.3, 10.2, 10.1, 10.0}}}, {0.01});
  channel_state& ch = s->channel;
  chan_sediment_state& cs = s->quality.chan_sediment;
  for (int j = 1; j <= 4; ++j) {
    const int a = ch.node_address(1, j);
    ch.area[a] = 1.25;
    ch.qp_vol_sed[a] = w;
    cs.ch_wash_vol[cs.fin(a, 1)] = c * 125.0;
    cs.ch_wash_vol[cs.fin(a, 0)] = c * 125.0;
  }
  return s;
}

TEST(chan_suspended_sed_transport, outlet_carries_discharge_times_concentration) {
  auto s = fine_reach(90.0, 0.001);
  chan_sediment_state& cs = s->quality.chan_sediment;
  chan_suspended_sed_transport(s->channel, s->quality.sediment, cs, 60.0);
  EXPECT_NEAR(cs.outlet_wash_rate[1], 1.5e-3, 1e-15);
  EXPECT_NEAR(cs.outlet_wash_rate[0], 1.5e-3, 1e-15);
  // Node 1 has nothing above it: the predictor takes 0.09 m3, leaving
  // 0.035; the corrector 90 x 0.035 / 125 = 0.0252; their mean leaves
  // 0.125 - 0.0576.
  EXPECT_NEAR(cs.ch_wash_vol[cs.fin(s->channel.node_address(1, 1), 1)], 0.0674, 1e-15);
}

TEST(chan_suspended_sed_transport, dry_node_keeps_its_fines) {
  auto s = fine_reach(0.0, 0.001);
  channel_state& ch = s->channel;
  chan_sediment_state& cs = s->quality.chan_sediment;
  const int a = ch.node_address(1, 2);
  ch.area[a] = 0.0;
  cs.qlat_sed[cs.cls(a, 1)] = 0.01;
  chan_suspended_sed_transport(ch, s->quality.sediment, cs, 60.0);
  EXPECT_NEAR(cs.ch_wash_vol[cs.fin(a, 1)], 0.135, 1e-15);
  EXPECT_EQ(cs.SS_node_conc_vol[cs.fin(a, 1)], 0.0);
  EXPECT_EQ(cs.outlet_wash_rate[0], 0.0);
}

double fines_held(const model_state& s) {
  const chan_sediment_state& cs = s.quality.chan_sediment;
  double v = cs.wash_in_channels();
  for (int k = 1; k <= cs.lakes; ++k)
    for (int m = 1; m <= cs.fine; ++m)
      v += cs.SS_vol_lake[cs.lake_fin(k, m)] + cs.lake_settled_total[cs.lake_fin(k, m)];
  return v;
}

// Steps of changing flows and lateral inflow: what the nodes, lakes and
// outlet hold is what came in.
void expect_fines_balance(model_state& s, const std::vector<int>& fed_links) {
  channel_state& ch = s.channel;
  chan_sediment_state& cs = s.quality.chan_sediment;
  const double start = fines_held(s);
  double lateral = 0.0;
  for (int step = 0; step < 40; ++step) {
    for (int l = 1; l <= ch.links; ++l) {
      for (int j = 1; j <= ch.nx[l]; ++j) {
        const int a = ch.node_address(l, j);
        ch.area[a] = 0.5 + 0.4 * std::sin(0.3 * step + j + l);
        ch.qp_vol_sed[a] = 40.0 * std::sin(0.2 * step + 0.5 * j) + 30.0;
        for (int i = 0; i <= cs.classes; ++i) cs.qlat_sed[cs.cls(a, i)] = 0.0;
      }
    }
    for (int l : fed_links) {
      const int a = ch.node_address(l, 1);
      for (int m = 1; m <= cs.fine; ++m) {
        const double v = 1e-3 * m * (1.0 + std::cos(step));
        cs.qlat_sed[cs.cls(a, s.quality.sediment.sed_class[std::size_t(m)])] = v;
        lateral += v;
      }
    }
    chan_suspended_sed_transport(ch, s.quality.sediment, cs, 60.0);
  }
  EXPECT_NEAR(fines_held(s) + cs.wash_outlet, start + lateral, 1e-12 * (start + lateral));
  EXPECT_GT(cs.wash_outlet, 0.0);
}

TEST(chan_suspended_sed_transport, fines_balance_closes_along_a_branching_network) {
  auto s = erodible_run({{{10.6, 10.5, 10.4}, 3}, {{10.6, 10.5}, 3}, {{10.3, 10.2, 10.1}, 0}},
                        {0.004, 0.02});
  expect_fines_balance(*s, {1, 2});
}

TEST(chan_suspended_sed_transport, fines_balance_closes_through_a_lake_and_a_structure) {
  // Link 1 flows into lake link 2, which empties through structure link 3
  // into link 4, the outlet.
  auto s = erodible_run(
      {{{10.6, 10.5, 10.4}, 2}, {{10.3, 10.3}, 3}, {{10.2, 10.2}, 4}, {{10.1, 10.0, 9.9}, 0}},
      {0.004, 0.02});
  channel_state& ch = s->channel;
  ch.ltype[2] = link_bit::lake;
  ch.ltype[3] = link_bit::structure;
  ch.channel_lakes = 1;
  ch.lake_count = 1;
  ch.lake2link[2] = 1;
  ch.lake_area.assign(2, 2000.0);
  ch.lake_volume.assign(2, 3000.0);
  ch.lake_mask.assign(5, 0);
  ch.lake_mask[2] = ch.lake_mask[3] = 1;
  s->grid.cells = 4;
  s->quality.sediment.vol_sed.assign(5 * 3, sed_volume{});
  ASSERT_TRUE(alloc_channel_sediment_arrays(*s));
  chan_sediment_state& cs = s->quality.chan_sediment;
  ASSERT_EQ(cs.lakes, 1);
  cs.SS_vol_lake[cs.lake_fin(1, 1)] = 0.3;
  cs.SS_conc_vol_lake[cs.lake_fin(1, 1)] = 0.3 / 3000.0;
  expect_fines_balance(*s, {1, 4});
  EXPECT_GT(cs.SS_vol_chan_to_lake[cs.lake_fin(1, 1)], 0.0);
  EXPECT_GT(cs.SS_vol_lake_to_chan[cs.lake_fin(1, 1)], 0.0);
  // Settled fines lie evenly on the lake's two cells.
  const sediment_state& sed = s->quality.sediment;
  const int j = sed.sed_class[1];
  EXPECT_GT(cs.lake_settled_total[cs.lake_fin(1, 1)], 0.0);
  EXPECT_NEAR(sed.vol(2, j)[sed_element::deposited], 0.5 * cs.lake_settled_total[cs.lake_fin(1, 1)],
              1e-15);
  EXPECT_DOUBLE_EQ(sed.vol(2, j)[sed_element::deposited], sed.vol(3, j)[sed_element::deposited]);
}

// ---- the grid's exchange with a channel lake ----

// A row of three 10 m cells, the last a cell of lake 1, one fine class
// (0.03 mm) and one sand class (0.5 mm); formula 9 carries everything.
void row_into_lake(model_state& s) {
  surface_fixture::build_grid(s, 1, 3, 10.0, {0.3, 0.2, 0.1}, {0.05}, 1, 3, 0.01);
  s.input.channel_routing = 1;
  sediment_state& sed = s.quality.sediment;
  sed.on = 1;
  sed.formula = 9;
  sed.classes = 2;
  sed.water_temp = 20.0;
  sed.sand_size = 0.5;
  sed.spec_grav = {0.0, 2.65, 2.65};
  sed.part_diam = {0.0, 0.03, 0.5};
  ASSERT_TRUE(alloc_sediment_arrays(s));
  setup_sediment_classes(sed);
  for (int k = 1; k <= 3; ++k) {
    sed.splash_K[k] = 60.0;
    sed.detach_coef[k] = 2e-5;
    sed.detach_exp[k] = 1.0;
  }
  channel_state& c = s.channel;
  c.channel_lakes = 1;
  c.lake_count = 1;
  c.lake_mask = {0, 0, 0, 1};
  c.lake_elev = {0.0, 0.15};
  chan_sediment_state& cs = s.quality.chan_sediment;
  cs.on = 1;
  cs.lakes = 1;
  cs.classes = 2;
  cs.fine = 1;
  cs.sand = 1;
  for (auto* v : {&cs.sed_vol_overland_to_lake, &cs.lake_bank_sand, &cs.SS_conc_vol_lake,
                  &cs.SS_vol_lake_to_overland})
    v->assign(2 * 3, 0.0);
  for (int k = 1; k <= 3; ++k) s.surface.depth[k] = 0.5;
}

TEST(sediment_erosion_transport, lake_cells_take_the_grid_sediment_and_give_back_fines) {
  using namespace sed_element;
  {
    model_state s;
    row_into_lake(s);
    sediment_state& sed = s.quality.sediment;
    s.surface.flux_x = {0.0, 100.0, 100.0, 0.0};
    sed.vol(1, 1)[suspended] = 1.0;  // fines
    sed.vol(1, 2)[suspended] = 2.0;  // sand
    sediment_erosion_transport(s, 10.0);
    const chan_sediment_state& cs = s.quality.chan_sediment;
    // Both classes pass cell 2 into the lake's tally; the sand lies at its edge.
    EXPECT_DOUBLE_EQ(cs.sed_vol_overland_to_lake[cs.lake_fin(1, 1)], 1.0);
    EXPECT_DOUBLE_EQ(cs.sed_vol_overland_to_lake[cs.lake_fin(1, 2)], 2.0);
    EXPECT_DOUBLE_EQ(cs.lake_bank_sand[cs.lake_fin(1, 2)], 2.0);
    EXPECT_DOUBLE_EQ(sed.vol(3, 2)[deposited], 2.0);
    EXPECT_EQ(sed.vol(3, 1)[suspended] + sed.vol(3, 1)[deposited], 0.0);
  }
  {
    model_state s;
    row_into_lake(s);
    s.run.step = 5;
    s.surface.flux_x = {0.0, 0.0, -100.0, 0.0};  // out of the lake into cell 2
    chan_sediment_state& cs = s.quality.chan_sediment;
    cs.SS_conc_vol_lake[cs.lake_fin(1, 1)] = 0.001;
    // The face volumes the attached constituents ride on are kept.
    s.quality.sediment.ov_sed_vol_qsx.assign(4 * 3, 0.0);
    s.quality.sediment.ov_sed_vol_qsy.assign(4 * 3, 0.0);
    sediment_erosion_transport(s, 10.0);
    // 0.001 x 100 m3/s x 10 s of fines, no sand.
    EXPECT_NEAR(cs.SS_vol_lake_to_overland[cs.lake_fin(1, 1)], 1.0, 1e-15);
    EXPECT_NEAR(cs.sed_vol_overland_to_lake[cs.lake_fin(1, 1)], -1.0, 1e-15);
    const sediment_state& sed = s.quality.sediment;
    EXPECT_NEAR(sed.vol(2, 1)[suspended] + sed.vol(2, 1)[deposited], 1.0, 1e-15);
    EXPECT_EQ(sed.vol(2, 2)[suspended] + sed.vol(2, 2)[deposited], 0.0);
    // Cell 2's right face carried the fines in from the lake (negative).
    EXPECT_NEAR(sed.ov_sed_vol_qsx[sed.at(2, 1)], -1.0, 1e-15);
    EXPECT_EQ(sed.ov_sed_vol_qsx[sed.at(2, 2)], 0.0);
  }
}

}  // namespace
