// The soil-layer transfer: water leaving a layer carries its dissolved
// concentration down and out of the column, exfiltrating water carries it up
// and brings the aquifer's, and the masses in the layers, the leached and
// gained totals and the surface terms balance.

#include "quality/soil_layer_transfer.h"

#include <gtest/gtest.h>

#include <vector>

#include "constituent_fixture.h"

namespace {

using constituent_fixture::size_state;
using constituent_fixture::uniform_geometry;

// Three redistribution layers of 0.1 m under cells of 10 m, porosity 0.4,
// water content 0.2 in every layer; the soil water's moves per cell.
struct column {
  int cells;
  constituent_state c;
  soil_layer_geometry geometry;
  std::vector<double> upper, bottom, exfil, content;
  std::vector<int> exfiltrating, lake;
  soil_water_moves moves;
  soil_layer_work work;

  column(int constituents, int cell_count) : cells(cell_count) {
    size_state(c, constituents, cells, 3);
    const double thickness[] = {0.0, 0.1, 0.1, 0.1};
    geometry = uniform_geometry(cells, 3, thickness, 0.4);
    for (int j = 1; j <= cells; ++j)
      for (int l = 1; l <= 3; ++l) c.theta.at(j, l) = 0.2;
    for (int k = 1; k <= constituents; ++k)
      for (int j = 1; j <= cells; ++j)
        for (int l = 1; l <= 3; ++l) c.soil_fraction_dissolved[k].at(j, l) = 1.0;
    upper.assign(cells + 1, 0.0);
    bottom.assign(cells + 1, 0.0);
    exfil.assign(cells + 1, 0.0);
    content.assign(cells + 1, 0.3);
    exfiltrating.assign(cells + 1, 0);
    lake.assign(cells + 1, 0);
    moves.model = soil_water_model::redistribution;
    moves.moisture_depth = 30.0;
    moves.mixing_depth = 10.0;
  }
  void update(int k, const double* gw = nullptr, bool nutrient = false) {
    moves.upper_drain = upper.data();
    moves.bottom_drain = bottom.data();
    moves.exfil_water = exfil.data();
    moves.exfiltrating = exfiltrating.data();
    moves.skip = lake.data();
    moves.water_content = content.data();
    soil_layers_contam_update(work, c, k, geometry, moves, gw, nutrient, 10.0);
  }
  double column_mass(int k, int j) const {
    double sum = 0.0;
    for (int l = 1; l <= 3; ++l) sum += c.soil_mass[k].at(j, l);
    return sum;
  }
};

TEST(soil_layer_transfer, every_contaminant_leaches_with_the_water_leaving_the_column) {
  // 10 g dissolved in the 0.02 m of water of layer 3: 0.5 cm leaving it
  // carries a quarter, 2.5 g, of each contaminant.
  column col(2, 1);
  for (int k : {1, 2}) col.c.soil_mass[k].at(1, 3) = 10.0;
  col.bottom[1] = 0.5;
  col.update(1);
  col.update(2);
  for (int k : {1, 2}) {
    SCOPED_TRACE(k);
    EXPECT_NEAR(col.c.soil_leach_dmt[k], 2.5, 1e-12);
    EXPECT_NEAR(col.c.soil_mass[k].at(1, 3), 7.5, 1e-12);
    EXPECT_NEAR(col.c.soil_conc[k].at(1, 3), soil_layer_concentration(7.5, 0.4, 0.1, 10.0), 1e-12);
  }
}

TEST(soil_layer_transfer, mass_moves_down_the_layers_and_balances) {
  // Two cells with different loads: what the layers lose, the leached
  // total and the surface terms account for, to rounding.
  column col(1, 2);
  const double start[3][4] = {{}, {0.0, 12.0, 7.0, 3.0}, {0.0, 0.5, 40.0, 1.0}};
  double before = 0.0;
  for (int j = 1; j <= 2; ++j) {
    for (int l = 1; l <= 3; ++l) col.c.soil_mass[1].at(j, l) = start[j][l];
    before += col.column_mass(1, j);
  }
  col.c.soil_fraction_dissolved[1].at(2, 2) = 0.5;
  col.c.soil_top_mass[1][1] = 2.0;
  col.c.soil_exchange_mass[1][2] = 0.25;
  col.upper = {0.0, 1.0, 0.4};
  col.bottom = {0.0, 0.6, 0.2};
  col.update(1);

  // Cell 1: layer 1's 12 g in 0.02 m of water send 0.01 / 0.02 of it down
  // through both upper interfaces, layer 3 0.006 / 0.02 of its 3 g out.
  EXPECT_NEAR(col.c.soil_mass[1].at(1, 1), 12.0 - 6.0 + 2.0, 1e-12);
  EXPECT_NEAR(col.c.soil_mass[1].at(1, 2), 7.0 + 6.0 - 3.5, 1e-12);
  EXPECT_NEAR(col.c.soil_mass[1].at(1, 3), 3.0 + 3.5 - 0.9, 1e-12);
  // Cell 2's layer 2 holds half its 40 g dissolved: 20 x 0.004 / 0.02 = 4 g
  // go on.
  EXPECT_NEAR(col.c.soil_mass[1].at(2, 3), 1.0 + 4.0 - 0.1, 1e-12);
  const double leached = 0.9 + 0.1;
  EXPECT_NEAR(col.c.soil_leach_dmt[1], leached, 1e-12);
  const double after = col.column_mass(1, 1) + col.column_mass(1, 2);
  EXPECT_NEAR(after + leached, before + 2.0 - 0.25, 1e-12);
  EXPECT_EQ(col.c.soil_gw_gain_dmt[1], 0.0);
}

TEST(soil_layer_transfer, an_exfiltrating_cell_sends_its_layers_up_and_takes_the_aquifers) {
  // 0.005 m of water rises through every interface: each layer passes a
  // quarter of its dissolved mass up and the aquifer gives 8 g/m3 x 0.5 m3.
  column col(1, 1);
  const double start[] = {0.0, 4.0, 8.0, 12.0};
  for (int l = 1; l <= 3; ++l) col.c.soil_mass[1].at(1, l) = start[l];
  col.exfiltrating[1] = 1;
  col.exfil[1] = 0.005;
  const std::vector<double> gw = {0.0, 8.0};
  col.update(1, gw.data());
  EXPECT_NEAR(col.c.soil_exfil_mass[1][1], 1.0, 1e-12);
  EXPECT_NEAR(col.c.soil_mass[1].at(1, 1), 4.0 - 1.0 + 2.0, 1e-12);
  EXPECT_NEAR(col.c.soil_mass[1].at(1, 2), 8.0 - 2.0 + 3.0, 1e-12);
  EXPECT_NEAR(col.c.soil_mass[1].at(1, 3), 12.0 - 3.0 + 4.0, 1e-12);
  EXPECT_NEAR(col.c.soil_gw_gain_dmt[1], 4.0, 1e-12);
  EXPECT_EQ(col.c.soil_leach_dmt[1], 0.0);
  EXPECT_NEAR(col.column_mass(1, 1), 24.0 + 4.0 - 1.0, 1e-12);
}

TEST(soil_layer_transfer, what_keeps_the_layers_still) {
  struct still_case {
    const char* label;
    bool static_conc, nutrient, lake, dry_layer;
    double layer1, layer3;  // masses after, g
    double leached;
  };
  // 10 g in each layer, 1 g handed to the top, 0.5 cm of water through
  // every interface (a quarter of a layer's water).
  const still_case cases[] = {
      {"moving", false, false, false, false, 10.0 - 2.5 + 1.0, 10.0, 2.5},
      {"held concentrations move no mass, yet count the leaching", true, false, false, false,
       10.0, 10.0, 2.5},
      {"a nutrient takes only the surface terms", false, true, false, false, 11.0, 10.0, 0.0},
      {"a lake cell keeps its soil", false, false, true, false, 10.0, 10.0, 0.0},
      {"a dry layer 3 passes nothing on", false, false, false, true, 10.0 - 2.5 + 1.0, 12.5, 0.0},
  };
  for (const still_case& s : cases) {
    SCOPED_TRACE(s.label);
    column col(1, 1);
    col.c.static_conc = s.static_conc;
    for (int l = 1; l <= 3; ++l) col.c.soil_mass[1].at(1, l) = 10.0;
    if (s.dry_layer) col.c.theta.at(1, 3) = 0.0;
    col.c.soil_top_mass[1][1] = 1.0;
    col.lake[1] = s.lake;
    col.upper[1] = 0.5;
    col.bottom[1] = 0.5;
    col.update(1, nullptr, s.nutrient);
    EXPECT_NEAR(col.c.soil_mass[1].at(1, 1), s.layer1, 1e-12);
    EXPECT_NEAR(col.c.soil_mass[1].at(1, 3), s.layer3, 1e-12);
    EXPECT_NEAR(col.c.soil_leach_dmt[1], s.leached, 1e-12);
    if (!s.lake) {
      EXPECT_NEAR(col.c.soil_conc[1].at(1, 3),
                  soil_layer_concentration(s.layer3, 0.4, 0.1, 10.0), 1e-12);
    } else {
      EXPECT_EQ(col.c.soil_conc[1].at(1, 3), 0.0);
    }
  }
}

TEST(soil_layer_transfer, plain_green_and_ampt_keeps_one_still_layer) {
  column col(1, 1);
  col.moves.model = soil_water_model::plain;
  col.geometry.layers[1] = 1;
  col.c.soil_mass[1].at(1, 1) = 10.0;
  col.c.soil_top_mass[1][1] = 1.5;
  col.c.soil_exchange_mass[1][1] = 0.5;
  col.bottom[1] = 5.0;
  col.update(1);
  EXPECT_NEAR(col.c.soil_mass[1].at(1, 1), 11.0, 1e-12);
  EXPECT_EQ(col.c.soil_leach_dmt[1], 0.0);
}

}  // namespace

namespace {

// A soil-layer pass of one contaminant on two cells, one draining and one
// exfiltrating: loss, transfer and booking together keep the column's
// mass: what it holds after = before + handed down - released - lost -
// leached + gained from below - exfiltrated.
TEST(soil_layer_transfer, a_whole_pass_balances_the_soil_columns) {
  column col(1, 2);
  const double start[3][4] = {{}, {0.0, 30.0, 20.0, 10.0}, {0.0, 5.0, 15.0, 25.0}};
  double before = 0.0;
  for (int j = 1; j <= 2; ++j) {
    for (int l = 1; l <= 3; ++l) col.c.soil_mass[1].at(j, l) = start[j][l];
    before += col.column_mass(1, j);
    col.c.cell_partition_coef[1][j] = 0.3;
    col.c.soil_decay_coef[1][j] = 2e-5;
  }
  col.c.soil_top_mass[1] = {0.0, 1.5, 0.5};
  col.c.soil_exchange_mass[1] = {0.0, 0.75, -0.25};
  col.upper[1] = 0.8;
  col.bottom[1] = 0.4;
  col.exfiltrating[2] = 1;
  col.exfil[2] = 0.003;
  const std::vector<double> gw = {0.0, 0.0, 3.0};

  soil_layer_contam_decay(col.c, 1, col.geometry, 10.0, 3600.0);
  col.update(1, gw.data());
  const soil_layer_booking b = book_soil_layers(col.c, 1, col.geometry);

  const double after = col.column_mass(1, 1) + col.column_mass(1, 2);
  EXPECT_GT(col.c.soil_decay_dmt[1], 0.0);
  EXPECT_GT(col.c.soil_leach_dmt[1], 0.0);
  EXPECT_NEAR(col.c.soil_gw_gain_dmt[1], 3.0 * 0.003 * 100.0, 1e-12);
  EXPECT_GT(b.exfiltrated, 0.0);
  EXPECT_NEAR(after, before + b.infiltrated - b.exchanged - col.c.soil_decay_dmt[1] -
                         col.c.soil_leach_dmt[1] + col.c.soil_gw_gain_dmt[1] - b.exfiltrated,
              1e-12 * before);
  EXPECT_DOUBLE_EQ(b.infiltrated, 2.0);
  EXPECT_DOUBLE_EQ(b.released, 0.75);
  EXPECT_DOUBLE_EQ(b.taken_up, 0.25);
  for (int j = 1; j <= 2; ++j) {
    EXPECT_DOUBLE_EQ(col.c.land_surface_mass[1][j], col.column_mass(1, j));
    EXPECT_EQ(col.c.soil_top_mass[1][j], 0.0);
    EXPECT_EQ(col.c.soil_exchange_mass[1][j], 0.0);
    EXPECT_EQ(col.c.soil_exfil_mass[1][j], 0.0);
  }
  EXPECT_DOUBLE_EQ(col.c.cell_exfil_mass[1][2], b.exfiltrated);
}

}  // namespace
