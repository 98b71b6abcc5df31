// The overland processes that gather constituent mass between cell mass
// steps: rain brings its concentration, infiltrating water carries the
// water's into the soil (all of it when the cell dries), and the land surface
// or the soil's mixing layer exchanges mass with the water within its limits.

#include "quality/overland_contam.h"

#include <gtest/gtest.h>

#include <vector>

#include "constituent_fixture.h"

namespace {

using constituent_fixture::size_state;

TEST(overland_contam, rain_brings_its_concentration_and_nothing_to_a_lake) {
  // 36 mm/h (1e-5 m/s) at 2 g/m3 for 10 s on 100 m cells: 2 g on 1e-4 m of
  // new water, which stands at 2 g/m3 on a dry cell.
  constituent_state c;
  size_state(c, 1, 3, 1);
  c.precip_conc[1] = 2.0;
  c.ov_contam_mass[1][2] = 5.0;
  const std::vector<double> rate = {0.0, 36.0, 36.0, 36.0};
  const std::vector<double> depth = {0.0, 0.0, 0.0499, 0.0};
  const std::vector<int> lake = {0, 0, 0, 1};
  contam_rain_loading(c, 1, 100.0, 10.0, rate.data(), depth.data(), lake.data());
  EXPECT_NEAR(c.ov_contam_mass[1][1], 2.0, 1e-12);
  EXPECT_NEAR(c.ov_contam_conc[1][1], 2.0, 1e-9);
  EXPECT_NEAR(c.ov_contam_mass[1][2], 7.0, 1e-12);
  EXPECT_NEAR(c.ov_contam_conc[1][2], 7.0 / (0.05 * 1e4), 1e-12);
  EXPECT_EQ(c.ov_contam_mass[1][3], 0.0);
  // The mass gathered for the cell mass step is the rain's: 2 g/m3 x 2 m3.
  EXPECT_NEAR(c.cell_precip_mass[1][1] + c.cell_precip_mass[1][2] + c.cell_precip_mass[1][3],
              2.0 * 36.0 / 3.6e6 * 10.0 * 1e4 * 2.0, 1e-12);
}

TEST(overland_contam, infiltration_carries_the_waters_concentration_and_a_drying_cell_all) {
  constituent_state c;
  size_state(c, 1, 4, 1);
  // Cell 1 wet at 5 g/m3 loses 2 m3; cell 2 dried by 1 m3 holding 7 g;
  // cell 3 a lake; cell 4 dry without infiltration keeps its 3 g.
  c.ov_contam_conc[1] = {0.0, 5.0, 7.0, 5.0, 3.0};
  c.ov_contam_mass[1] = {0.0, 50.0, 7.0, 50.0, 3.0};
  c.cell_infil_mass[1][3] = 4.0;
  const std::vector<double> infil = {0.0, 2.0, 1.0, 2.0, 0.0};
  const std::vector<double> depth = {0.0, 0.01, 0.0, 0.01, 0.0};
  const std::vector<int> lake = {0, 0, 0, 1, 0};
  contam_infiltration_accumulate(c, 1, infil.data(), depth.data(), lake.data());
  EXPECT_EQ(c.cell_infil_mass[1][1], 10.0);
  EXPECT_EQ(c.ov_contam_mass[1][1], 50.0);  // taken later, in share, by the cell mass step
  EXPECT_EQ(c.ov_contam_mass[1][2], 0.0);
  EXPECT_EQ(c.soil_top_mass[1][2], 7.0);
  EXPECT_EQ(c.ov_infil_dmt[1], 7.0);
  EXPECT_EQ(c.cell_infil_mass[1][2], 0.0);
  EXPECT_EQ(c.cell_infil_mass[1][3], 0.0);
  EXPECT_EQ(c.ov_contam_mass[1][4], 3.0);
  EXPECT_EQ(c.soil_top_mass[1][4], 0.0);
}

TEST(overland_contam, the_land_surface_releases_up_to_its_concentration_and_its_mass) {
  // 100 m cells, rate 1e-6 /s, 100 s: each g/m3 below 10 g/m3 releases 1 g.
  struct release_case {
    const char* label;
    double conc, land, depth;
    int type;
    double released;
  };
  const release_case cases[] = {
      {"6 g/m3 short", 4.0, 50.0, 0.01, 1, 6.0},
      {"limited by the land's mass", 4.0, 2.0, 0.01, 1, 2.0},
      {"above the greatest concentration: nothing back", 12.0, 50.0, 0.01, 1, 0.0},
      {"dry cell", 4.0, 50.0, 0.0, 1, 0.0},
      {"a nutrient entry", 4.0, 50.0, 0.01, 2, 0.0},
  };
  for (const release_case& r : cases) {
    SCOPED_TRACE(r.label);
    constituent_state c;
    size_state(c, 1, 1, 1);
    c.constituent_type[1] = r.type;
    c.ov_contam_conc[1][1] = r.conc;
    c.land_surface_mass[1][1] = r.land;
    c.ov_contam_uptake[1][1] = 1e-6;
    c.ov_contam_maxconc[1][1] = 10.0;
    const std::vector<double> depth = {0.0, r.depth};
    contam_soil_exchange(c, 1, 100.0, 100.0, depth.data(), nullptr, nullptr);
    EXPECT_NEAR(c.cell_uptake_mass[1][1], r.released, 1e-12);
    EXPECT_NEAR(c.land_surface_mass[1][1] + c.cell_uptake_mass[1][1], r.land, 1e-12);
  }
}

TEST(overland_contam, the_mixing_layer_exchanges_both_ways_within_what_each_side_holds) {
  // Layer 1 holds 20 g, half dissolved, in 2 m3 of water: 5 g/m3.
  struct exchange_case {
    const char* label;
    double conc, water_mass, rate;
    double exchanged;  // positive into the water
  };
  const exchange_case cases[] = {
      {"the soil richer by 1 g/m3", 4.0, 40.0, 1e-6, 1.0},
      {"the water richer by 4 g/m3", 9.0, 90.0, 1e-6, -4.0},
      {"the water gives no more than it holds", 9.0, 3.0, 1e-6, -3.0},
      {"the layer gives no more than it holds", 4.0, 40.0, 1.0, 20.0},
  };
  for (const exchange_case& e : cases) {
    SCOPED_TRACE(e.label);
    constituent_state c;
    size_state(c, 1, 1, 1);
    c.soil_mass[1].at(1, 1) = 20.0;
    c.soil_fraction_dissolved[1].at(1, 1) = 0.5;
    c.land_surface_mass[1][1] = 20.0;
    c.ov_contam_conc[1][1] = e.conc;
    c.ov_contam_mass[1][1] = e.water_mass;
    c.ov_contam_uptake[1][1] = e.rate;
    const std::vector<double> depth = {0.0, 0.01}, water = {0.0, 2.0};
    contam_soil_exchange(c, 1, 100.0, 100.0, depth.data(), nullptr, water.data());
    EXPECT_NEAR(c.cell_uptake_mass[1][1], e.exchanged, 1e-12);
  }
}

}  // namespace
