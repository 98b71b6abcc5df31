// The nutrient model's vocabulary and derived quantities: the map between
// water species and soil pools, the descriptive names, un-ionised ammonia
// and the nitrogen and phosphorus totals, and the soil-flux accumulation.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <omp.h>

#include "core/parallel_team.h"
#include "quality/contaminant_inputs.h"
#include "quality/contaminant_model.h"
#include "quality/nsm_model.h"
#include "quality/nsm_setup.h"

namespace {

TEST(nsm_species, the_map_between_species_and_pools_goes_both_ways_inside_its_block) {
  struct map_case {
    int start, k;
    bool to_soil;
    int expected;
  };
  const map_case cases[] = {
      {5, 5 + 13, false, 5 + 13},  // past the block: itself
      {5, 4, true, 4},             // before the block: itself
      {5, 5, false, -1},           // Organic Active Carbon has no species
      {5, 5, true, -1},            // NO2 has no pool
      {5, 5 + 3, false, 5 + 1},    // Nitrate pool -> NO3
      {5, 5 + 3, true, 5 + 4},     // ON -> Organic Active Nitrogen
      {1, 1 + 2, false, 1 + 2},    // Ammonium both ways
      {1, 1 + 2, true, 1 + 2},
      {1, 1 + 8, false, 1 + 5},    // Mineral Solution Phosphorus -> DP
      {1, 1 + 10, false, 1 + 4},   // Organic Active Phosphorus -> OP
      {1, 1 + 4, true, 1 + 10},    // OP -> Organic Active Phosphorus
      {1, 1 + 5, true, 1 + 8},     // DP -> Mineral Solution Phosphorus
      {1, 1 + 6, true, -1},        // Algae has no pool
  };
  for (const map_case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.start << " " << c.k << " " << c.to_soil);
    EXPECT_EQ(nsm_species_map(c.start, c.k, c.to_soil), c.expected);
  }
}

TEST(nsm_species, long_names_spell_each_form_and_leave_unknown_indices_alone) {
  struct name_case {
    int index;
    bool soil;
    const char* expected;
  };
  const name_case cases[] = {
      {0, false, "Nitrite (NO2-)"},
      {1, false, "Nitrate (NO3-)"},
      {4, false, "Organic Phosphorous (Organic P)"},
      {11, false, "Dispersion coefficient"},
      {12, false, "untouched"},
      {-1, false, "untouched"},
      {0, true, "Organic Active Carbon"},
      {3, true, "Nitrate (NO3-)"},
      {12, true, "Organic Stable Phosphorus"},
      {13, true, "untouched"},
  };
  for (const name_case& c : cases) {
    char buffer[40] = "untouched";
    nsm_species_long_name(buffer, c.index, c.soil);
    EXPECT_STREQ(buffer, c.expected) << c.index << " " << c.soil;
  }
}

// A stream of one link with one node of 10 m3 (area 2 m2 x spacing 5 m).
struct one_node_stream {
  std::vector<double> area;
  std::vector<double> dx{0.0, 5.0};
  std::vector<int> nodes{0, 1};
  nsm_stream st;

  explicit one_node_stream(double t, double ph = 7.2) {
    st.allocate(1, 2, nullptr, dx.data(), t, {}, true);
    area.assign(st.species[0].mass.size(), 0.0);
    area[st.slot(1, 1)] = 2.0;
    st.area = area.data();
    st.set_params(nodes.data(), ph);
  }
  double& mass(int species) { return st.species[std::size_t(species)].mass[st.slot(1, 1)]; }
};

TEST(nsm_derived, ammonia_of_a_stream_node_follows_temperature_and_ph) {
  // Ka at 20 C: 10^-(0.09018 + 2729.92 / 293.15) = 3.9578e-10; at pH 7.2,
  // NH3 = 1000 / 18.039 / 10 x 3.9578e-10 / 10^-7.2 x 17.031 x 10 = 5.9222 g.
  one_node_stream s(20.0);
  s.mass(2) = 1000.0;
  s.st.compute_nh3();
  EXPECT_NEAR(s.st.nh3_out[1][1], 5.9222, 1e-4);

  // Totals: N = NO2 + NO3 + NH4 + ON + NH3, Kjeldahl N = NH4 + ON + NH3,
  // P = OP + DP.
  s.mass(0) = 1.0;
  s.mass(1) = 2.0;
  s.mass(3) = 4.0;
  s.mass(4) = 8.0;
  s.mass(5) = 16.0;
  s.mass(6) = 32.0;
  s.st.compute_nh3();
  s.st.total_n();
  s.st.total_kjeldahl_n();
  s.st.total_p();
  const double nh3 = s.st.nh3_out[1][1];
  EXPECT_DOUBLE_EQ(s.st.total_n_out[1][1], 1.0 + 2.0 + 1000.0 + 4.0 + nh3);
  EXPECT_DOUBLE_EQ(s.st.total_kn_out[1][1], 1000.0 + 4.0 + nh3);
  EXPECT_DOUBLE_EQ(s.st.total_p_out[1][1], 24.0);
}

TEST(nsm_derived, no_ammonia_below_the_water_or_molar_thresholds) {
  // The stream's molar threshold is 1e-8 mol/m3 over 10 m3: 1.8039e-6 g of NH4.
  struct threshold_case {
    double nh4;
    double area;
    bool some;
  };
  const threshold_case cases[] = {
      {1.8039e-6 * 0.99, 2.0, false},
      {1.8039e-6 * 1.01, 2.0, true},
      {1000.0, 1.9e-5, false},  // 9.5e-5 m3 of water: dry
  };
  for (const threshold_case& c : cases) {
    one_node_stream s(20.0);
    s.area[s.st.slot(1, 1)] = c.area;
    s.mass(2) = c.nh4;
    s.st.compute_nh3();
    s.st.total_n();
    EXPECT_EQ(s.st.nh3_out[1][1] > 0.0, c.some) << c.nh4 << " " << c.area;
    if (!c.some) {
      EXPECT_EQ(s.st.total_n_out[1][1], c.nh4);
    }
  }
}

TEST(nsm_derived, a_lake_keeps_its_nitrogen_totals_apart) {
  std::vector<double> volume{0.0, 10.0};
  nsm_lake lake;
  lake.allocate(1, volume.data(), 20.0, {}, true);
  lake.set_params(7.2);
  lake.species[2].mass[1] = 1000.0;
  lake.species[3].mass[1] = 5.0;
  lake.compute_nh3();
  lake.total_kjeldahl_n();
  EXPECT_NEAR(lake.total_kn_out[1], 1005.0 + 5.9222, 1e-4);
  EXPECT_EQ(lake.total_n_out[1], 0.0);
  lake.total_n();
  EXPECT_NEAR(lake.total_n_out[1], 1005.0 + 5.9222, 1e-4);
}

// Two cells, one dry, on the overland layer over a constituent model whose
// nutrient block starts after one contaminant.
TEST(nsm_derived, a_dry_cell_has_no_ammonia_in_its_total_nitrogen) {
  contaminant_model m;
  size_contaminant_arrays(m, 1, 2, 1);
  append_nutrient_block(m, 2);
  ASSERT_EQ(m.first_nutrient, 2);
  std::vector<double> depth{0.0, 0.1, 0.0};
  nsm_overland ov;
  ov.allocate(2, depth.data(), 10.0, 20.0, {}, true);
  ov.set_params(m.first_nutrient, m, 7.2);
  for (int j = 1; j <= 2; ++j) m.c.ov_contam_mass[std::size_t(2 + 2)][std::size_t(j)] = 1000.0;
  ov.compute_nh3();
  ov.total_n();
  EXPECT_NEAR(ov.nh3_out[1], 5.9222, 1e-4);  // 10 m3 of water, as on the stream
  EXPECT_EQ(ov.nh3_out[2], 0.0);
  EXPECT_EQ(ov.total_n_out[2], 1000.0);
}

TEST(nsm_soil_fluxes, every_pool_with_a_species_hands_its_top_layer_over_on_any_thread_count) {
  contaminant_model m;
  m.soil_transport = 1;
  // Enough cells for the loop to take a second thread.
  const int cells = 2 * cells_per_thread + 203;
  size_contaminant_arrays(m, 0, cells, 2);
  append_nutrient_block(m, cells);
  ASSERT_EQ(m.c.constituents, 13);
  nsm_overland ov;
  std::vector<double> depth(std::size_t(cells) + 1, 0.0);
  ov.allocate(cells, depth.data(), 10.0, 20.0, {}, true);
  ov.set_params(m.first_nutrient, m, 7.2);
  for (int p = 0; p < nsm_soil_pools; ++p)
    for (int j = 1; j <= cells; ++j) {
      m.c.soil_mass[std::size_t(1 + p)].at(j, 1) = std::sqrt(p + 1.0) * j;
      m.c.soil_mass[std::size_t(1 + p)].at(j, 2) = 1e6;  // lower layers stay put
    }

  auto run = [&](int threads) {
    contaminant_model copy = m;
    omp_set_num_threads(threads);
    ov.set_params(copy.first_nutrient, copy, 7.2);
    ov.accumulate_soil_fluxes(copy.c);
    return copy;
  };
  const int saved = omp_get_max_threads();
  const contaminant_model one = run(1);
  const contaminant_model eight = run(8);
  omp_set_num_threads(saved);
  EXPECT_EQ(one.c.cell_uptake_mass, eight.c.cell_uptake_mass);
  EXPECT_EQ(one.c.soil_exchange_mass, eight.c.soil_exchange_mass);

  // Pool p -> species s: Ammonium 2 -> NH4 2, Nitrate 3 -> NO3 1, Organic
  // Active N 4 -> ON 3, Mineral Solution P 8 -> DP 5, Organic Active P 10 -> OP 4.
  const int pairs[][2] = {{2, 2}, {3, 1}, {4, 3}, {8, 5}, {10, 4}};
  const int j = 7;
  for (const auto& pair : pairs) {
    const double top = std::sqrt(pair[0] + 1.0) * j;
    EXPECT_EQ(one.c.cell_uptake_mass[std::size_t(1 + pair[1])][j], top) << pair[0];
    EXPECT_EQ(one.c.soil_exchange_mass[std::size_t(1 + pair[0])][j], top) << pair[0];
  }
  // Species without a pool, and pools without a species, get nothing.
  for (int s : {0, 6, 7, 8}) EXPECT_EQ(one.c.cell_uptake_mass[std::size_t(1 + s)][j], 0.0);
  for (int p : {0, 1, 5, 6, 7, 9, 11, 12})
    EXPECT_EQ(one.c.soil_exchange_mass[std::size_t(1 + p)][j], 0.0);
}

TEST(nsm_constituent_list, the_nutrient_block_follows_the_contaminants) {
  struct list_case {
    int contaminants;
    int soil;
    int first;
    int total;
    int soil_only;
  };
  const list_case cases[] = {{0, 0, 1, 9, 0}, {0, 1, 1, 13, 4}, {1, 0, 2, 10, 0}, {1, 1, 2, 14, 4}};
  for (const list_case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.contaminants << " " << c.soil);
    contaminant_model m;
    m.soil_transport = c.soil;
    size_contaminant_arrays(m, c.contaminants, 3, 1);
    append_nutrient_block(m, 3);
    EXPECT_EQ(m.first_nutrient, c.first);
    EXPECT_EQ(m.c.constituents, c.total);
    int species = 0, pools = 0;
    for (int k = 1; k <= m.c.constituents; ++k) {
      const int type = m.c.constituent_type[std::size_t(k)];
      species += type == 2;
      pools += type == 3;
      EXPECT_EQ(type, k < c.first ? 1 : k < c.first + 9 ? 2 : 3) << k;
    }
    EXPECT_EQ(species, 9);
    EXPECT_EQ(pools, c.soil_only);
    EXPECT_EQ(m.name[std::size_t(c.first + 1)], "Nitrate (NO3-)");
    // Infiltrated NO3 joins the Nitrate pool, ON the Organic Active
    // Nitrogen pool; NO2 has none.
    EXPECT_EQ(soil_entry_of(m.c, c.first + 1), c.first + 3);
    EXPECT_EQ(soil_entry_of(m.c, c.first + 3), c.first + 4);
    EXPECT_EQ(soil_entry_of(m.c, c.first), -1);
  }
}

}  // namespace
