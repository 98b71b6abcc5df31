// A Richards column on the water table, worked by hand: laid again as the
// table moves, and what it stores as the table crosses it. The soil: 10 cm
// of 2 cm nodes (saturated content 0.45), 20 cm of 5 cm nodes (0.40), 30 cm
// of 10 cm nodes (0.35), under ground at 10 m; room for 40 nodes.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/error_state.h"
#include "soil/richards_soil.h"
#include "gw_fixture.h"
#include "subsurface/gw_vadose.h"
#include "test_support.h"

namespace {

using test_support::stdout_capture;

constexpr double ground = 10.0;  // m

struct column : ::testing::Test {
  richards_soil rs;
  std::vector<double> old_dz, old_theta;
  int yes_exfil = -1;
  double released = -99.0;

  void SetUp() override {
    error_state = error_record{};
    richards_soil_type t;
    t.depth = {0.0, 10.0, 20.0, 30.0};
    t.dz = {0.0, 2.0, 5.0, 10.0};
    t.thetas = {0.0, 0.45, 0.40, 0.35};
    t.thetar = {0.0, 0.05, 0.05, 0.05};
    t.ks = {0.0, 3.0, 2.0, 1.0};
    t.alpha = {0.0, 40.0, 40.0, 40.0};
    t.beta = {0.0, 3.96, 3.96, 3.96};
    t.ahav = {0.0, 1.175e6, 1.175e6, 1.175e6};
    t.bhav = {0.0, 4.74, 4.74, 4.74};
    rs.family = soil_family_havercamp;
    rs.types = {t};
    rs.soil_type = {0, 0};
    rs.numcells = {0, 1};
    rs.row = 42;
    ASSERT_TRUE(alloc_richards_soil(rs, 1));
    // A saturated single node: the table stood at the surface.
    rs.dz[rs.row + 1] = 2.0;
    rs.theta[rs.row + 1] = rs.thetas[rs.row + 1] = 0.45;
    // The surface slot mirrors node 1, as the set-up leaves it.
    rs.thetas[rs.row] = 0.45;
    old_dz.assign(std::size_t(rs.row), 0.0);
    old_theta.assign(std::size_t(rs.row), 0.0);
  }
  void TearDown() override { error_state = error_record{}; }

  bool adjust(double head, double bottom = 0.0) {
    const vadose_levels at{ground, head, bottom, 0.1, 9};
    return adjust_vadose_column(rs, 1, at, old_dz, old_theta, yes_exfil, released);
  }
  int nodes() const { return rs.numcells[1]; }
  // Water above the table node, cm.
  double water() {
    double w = 0.0;
    for (int j = 1; j < nodes(); ++j) w += dz(j) * theta(j);
    return w;
  }
  double& dz(int j) { return rs.dz[std::size_t(rs.row + j)]; }
  double& theta(int j) { return rs.theta[std::size_t(rs.row + j)]; }
  double& phead(int j) { return rs.phead[std::size_t(rs.row + j)]; }
  double thetas(int j) { return rs.thetas[std::size_t(rs.row + j)]; }

  // The table 23.5 cm down, in the second layer: five 2 cm nodes, two of
  // 5 cm, one cut to 3.5 cm at the table, and the 5 cm table node; the
  // unsaturated nodes hold 0.3.
  void lay_at_23_5_cm() {
    ASSERT_TRUE(adjust(ground - 0.235));
    ASSERT_EQ(nodes(), 9);
    for (int j = 1; j <= 8; ++j) theta(j) = 0.3;
  }
};

TEST_F(column, a_table_above_the_ground_leaves_one_saturated_node) {
  ASSERT_TRUE(adjust(10.05));
  EXPECT_EQ(nodes(), 1);
  EXPECT_EQ(dz(1), 2.0);
  EXPECT_NEAR(phead(1), 6.0, 1e-12);  // 5 cm of water above the ground + half the node
  EXPECT_EQ(theta(1), 0.45);
  EXPECT_EQ(yes_exfil, 1);
  EXPECT_EQ(released, 0.0);
}

TEST_F(column, a_falling_table_lays_the_layers_down_to_it) {
  lay_at_23_5_cm();
  const double expected[] = {0.0, 2.0, 2.0, 2.0, 2.0, 2.0, 5.0, 5.0, 3.5, 5.0};
  for (int j = 1; j <= 9; ++j) EXPECT_NEAR(dz(j), expected[j], 1e-9) << "node " << j;
  // The nodes below the first layer took the second layer's soil.
  EXPECT_EQ(thetas(5), 0.45);
  EXPECT_EQ(thetas(6), 0.40);
  EXPECT_EQ(thetas(9), 0.40);
  EXPECT_EQ(theta(9), 0.40);
  EXPECT_NEAR(phead(9), 2.5, 1e-12);  // half the table node
  EXPECT_EQ(yes_exfil, 0);
}

TEST_F(column, a_table_moving_within_its_node_keeps_the_water_above_it) {
  lay_at_23_5_cm();
  const double water = dz(8) * theta(8);
  ASSERT_TRUE(adjust(ground - 0.24));
  EXPECT_EQ(nodes(), 9);
  EXPECT_NEAR(dz(8), 4.0, 1e-9);
  EXPECT_NEAR(dz(8) * theta(8), water, 1e-12);
  EXPECT_EQ(released, 0.0);
}

// Laid again on a higher or a lower table, the column holds what it held
// less what it handed the aquifer: the water above the table node before is
// the water above it after plus the release, whatever the new layout. From
// the 23.5 cm layout (7.05 cm of water: 23.5 cm at 0.3):
// - up to 12 cm: node 6 is cut from 5 to 2 cm and nodes 7 and 8 go under
//   the table, (3 + 5 + 3.5) x 0.3 = 3.45 cm to the aquifer;
// - up to 1 cm or over the ground: a single node, all 7.05 cm go;
// - down to 28 cm: node 8 (now 5 cm whole) spreads its 1.05 cm over itself
//   and node 9, cut to 3 cm, at 1.05 / 8 = 0.13125; node 9, drier than the
//   table allows, is wetted up to its hydrostatic head 2.5 - 2.5 - 3 = -3 cm
//   with water from the aquifer;
// - down within its node: node 8 keeps its water, nothing moves;
// - down into the third layer and below the soil onto 10 cm aquifer nodes:
//   the books alone.
TEST_F(column, a_column_laid_on_a_higher_or_lower_table_keeps_its_books) {
  const double theta_at_minus_3 = 0.05 + 0.35 / (std::pow(3.0 / 40.0, 3.96) + 1.0);
  struct relay_case {
    const char* label;
    double depth;    // table below the ground, m
    int nodes;       // after
    double given;    // cm to the aquifer; NaN: the books only
    int exfil;
  };
  const relay_case cases[] = {
      {"up to 12 cm", 0.12, 7, (3.0 + 5.0 + 3.5) * 0.3, 0},
      {"up to 1 cm", 0.01, 1, 23.5 * 0.3, 0},
      {"over the ground", -0.05, 1, 23.5 * 0.3, 1},
      {"down to 28 cm", 0.28, 10, 1.05 - 5.0 * 0.13125 - 3.0 * theta_at_minus_3, 0},
      {"down within its node", 0.24, 9, 0.0, 0},
      {"down into the third layer", 0.46, 12, NAN, 0},
      {"down below the soil", 0.8, 15, NAN, 0},
  };
  for (const relay_case& c : cases) {
    SCOPED_TRACE(c.label);
    SetUp();
    lay_at_23_5_cm();
    const double before = water();
    ASSERT_NEAR(before, 23.5 * 0.3, 1e-12);
    ASSERT_TRUE(adjust(ground - c.depth, ground - 5.0));
    EXPECT_EQ(nodes(), c.nodes);
    EXPECT_EQ(yes_exfil, c.exfil);
    EXPECT_NEAR(before, water() + released, 1e-12);
    if (!std::isnan(c.given)) {
      EXPECT_NEAR(released, c.given, 1e-9);
    }
  }
  // The new layout of the rise: five 2 cm nodes, one cut to 2 cm.
  SetUp();
  lay_at_23_5_cm();
  ASSERT_TRUE(adjust(ground - 0.12));
  EXPECT_NEAR(dz(6), 2.0, 1e-9);
  EXPECT_NEAR(water(), 6.0 * 2.0 * 0.3, 1e-12);
}

TEST_F(column, a_sliver_at_the_table_joins_the_node_above) {
  // The table 1e-7 m below the bottom of the second 5 cm node.
  ASSERT_TRUE(adjust(ground - 0.2 - 1e-7));
  EXPECT_EQ(nodes(), 8);
  EXPECT_NEAR(dz(7), 5.0 + 1e-5, 1e-9);
  EXPECT_EQ(dz(8), 5.0);
}

TEST_F(column, contents_above_saturation_go_to_the_aquifer_and_the_run_stands_hydrostatic) {
  lay_at_23_5_cm();
  for (int j = 6; j <= 8; ++j) theta(j) = 0.5;
  ASSERT_TRUE(adjust(ground - 0.235));
  EXPECT_EQ(nodes(), 9);
  EXPECT_NEAR(released, 0.1 * (5.0 + 5.0 + 3.5), 1e-12);
  for (int j = 6; j <= 8; ++j) EXPECT_EQ(theta(j), 0.40) << "node " << j;
  EXPECT_EQ(theta(5), 0.3);
  // The table node carries the saturated run: 2.5 + 13.5 cm.
  EXPECT_NEAR(phead(9), 16.0, 1e-12);
  EXPECT_NEAR(phead(8), 11.75, 1e-12);
  EXPECT_NEAR(phead(7), 7.5, 1e-12);
  EXPECT_NEAR(phead(6), 2.5, 1e-12);  // zero pressure at the top of the run
}

TEST_F(column, a_column_longer_than_its_arrays_is_refused_naming_the_cell) {
  stdout_capture out;
  // 0.6 m of soil, then 10 cm aquifer nodes down to 5 m: more than 40.
  EXPECT_FALSE(adjust(ground - 5.0, -100.0));
  const std::string text = out.stop();
  EXPECT_NE(text.find("the soil column of cell 1 needs more than the 40 nodes"), std::string::npos)
      << text;
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_EQ(nodes(), 1);  // left as it was
}

TEST_F(column, a_rising_table_stores_by_the_nodes_it_fills_and_counts_them) {
  lay_at_23_5_cm();
  // 5 cm of water in an hour fills node 8 (1.4 cm in 3.5 cm), node 7 (2 cm
  // in 5 cm) and 1.6 cm of node 6 (4 cm): 5 cm over 12.5 cm, three nodes.
  const double sink = -0.05 / 3600.0;  // m/s
  double s = 3600.0, storage = 0.0;
  EXPECT_EQ(vadose_substep_storage(rs, 1, ground, ground - 0.235, sink, s, storage), 3);
  EXPECT_NEAR(storage, 0.4, 1e-12);
  s = 1800.0;
  EXPECT_EQ(vadose_substep_storage(rs, 1, ground, ground - 0.235, sink, s, storage), 2);
  // Falling 5 cm at 0.40 over the 5 cm table node: two nodes.
  s = 3600.0;
  EXPECT_EQ(vadose_substep_storage(rs, 1, ground, ground - 0.235, -sink, s, storage), 2);
  EXPECT_EQ(storage, 0.40);
  // Above the ground the first node's content stores.
  EXPECT_EQ(vadose_substep_storage(rs, 1, ground, ground + 0.1, sink, s, storage), 0);
  EXPECT_EQ(storage, 0.45);
}

TEST_F(column, the_storage_of_a_moved_table_weighs_the_nodes_it_passed) {
  lay_at_23_5_cm();
  const double h0 = ground - 0.235;
  EXPECT_EQ(layer_weighted_property(rs, 1, ground, h0, h0, 0.1), 0.40);
  // Up 2 cm, within node 8: its saturated content.
  EXPECT_EQ(layer_weighted_property(rs, 1, ground, h0 + 0.02, h0, 0.1), 0.40);
  // Up 14 cm: nodes 8, 7, 6 (13.5 cm at 0.40) and 0.5 cm of node 5 at 0.45.
  EXPECT_NEAR(layer_weighted_property(rs, 1, ground, h0 + 0.14, h0, 0.1),
              (13.5 * 0.40 + 0.5 * 0.45) / 14.0, 1e-12);
  EXPECT_EQ(layer_weighted_property(rs, 1, ground, ground + 0.01, h0, 0.1), 0.45);
}

TEST_F(column, a_recharged_cell_lifts_its_table_and_lays_its_column_again) {
  // One cell of 10 m over a bottom at 5 m with the column above; 5 cm of
  // recharge in an hour. The solve stores it at the saturated content, and
  // the water of the nodes the table covers joins the aquifer as the column
  // is laid again, lifting the table further: the 0.1 the nodes lack would
  // hold 5 cm in 50 cm, more than the 23.5 cm to the ground, so the table
  // comes out over it with every drop of the column. The aquifer then holds
  // the 5 cm recharged and the column's 7.05 cm: 12.05 m3 over the 100 m2.
  lay_at_23_5_cm();
  const double h0 = ground - 0.235;
  gw_fixture::aquifer a(1, 1, 10.0, ground, 5.0, h0, 360.0, 0.40);
  a.gw.gw_recharge[1] = 5.0;
  std::vector<int> exfil(2, 0);
  a.with.richards = &rs;
  a.with.yes_exfil = exfil;
  a.gw.settings.aquifer_delta_z = 0.1;
  ASSERT_TRUE(size_vadose_work(a.gw, rs, 1));
  double vadose = 0.0;
  stdout_capture out;
  const double given = gw_solve(a.gw, a.grid, a.with, 3600.0, vadose);
  const std::string said = out.stop();
  ASSERT_EQ(error_state.stop_flag, 0) << said;
  EXPECT_GT(a.gw.elevgw[1], ground);
  EXPECT_EQ(nodes(), 1);
  EXPECT_EQ(exfil[1], 1);
  EXPECT_NEAR(vadose, 23.5 * 0.3, 1e-9);  // cm, all the column held
  // Nothing left owed to a later interval: all of it fed this one.
  EXPECT_NEAR(a.gw.gw_drop_vol[1], 0.0, 1e-12);
  EXPECT_NEAR(given, 5.0 + 7.05, 1e-9);
  // The aquifer's books: the heads at the porosity and what the column's
  // storage held beyond it.
  const double stored = (a.gw.elevgw[1] - h0) * 0.40 * 100.0 + a.gw.stored_over_porosity;
  EXPECT_NEAR(stored, given, 1e-4);
}

}  // namespace
