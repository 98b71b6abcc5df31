// The nutrient model run end to end on the "pond": three flat 100 m cells,
// two holding 5 cm of still water below a 10 cm retention, no rain. 2 g/m3
// of NO3 on 2 x 100 m x 100 m x 0.05 m = 1000 m3 of water is 2.00 kg, which
// nothing moves. Then the set-up's refusals of bad input, and the aquatic
// environment file's layout.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "core/safe_file.h"
#include "quality/nsm_model.h"
#include "surface/surface_run_fixture.h"
#include "test_support.h"

namespace {

using namespace surface_fixture;
using test_support::temp_dir;

const char* env_one_id =
    "AQUATIC_ENV_NSM10 written by hand\nOV_MAP ov.idx\nNUM_IDS 1\nID  PARAMETERS\n1\nDEFAULT\n";

class nsm_run : public testing::Test {
 protected:
  // The pond with its dry gauge file, the nutrient model on.
  run_output pond(const std::string& extra, const std::string& env = env_one_id,
                  const std::function<void(model_state&)>& after_pass = nullptr,
                  const std::vector<double>& depth = {0.05, 0.05, 0}) {
    dir_.write("mask.asc", ascii_grid(1, 3, 100, {1, 1, 1}));
    dir_.write("elevation.asc", ascii_grid(1, 3, 100, {0, 0, 0}));
    dir_.write("depth.asc", ascii_grid(1, 3, 100, depth));
    dir_.write("ov.idx", ascii_grid(1, 3, 100, {1, 1, 1}));
    dir_.write("ids.idx", ascii_grid(1, 3, 100, {1, 1, 1}));
    dir_.write("rain.gag",
               "EVENT dry\nNRGAG 1\nNRPDS 2\nCOORD 50 50\nGAGES 2000 6 1 0 0 0\n"
               "GAGES 2000 6 1 10 0 0\n");
    dir_.write("aq.env", env);
    dir_.write("pond.prj",
               "VALTOPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elevation.asc\nGRIDSIZE 100\n"
               "ROWS 1\nCOLS 3\nTIMESTEP 10\nTOT_TIME 600\nOUTROW 1\nOUTCOL 3\nOUTSLOPE 0.01\n"
               "MANNING_N 0.05\nRETENTION 100\nOV_INIT_DEPTH depth.asc\nPRECIP_FILE rain.gag\n"
               "HYD_FREQ 10\nSUMMARY summary.out\nOUTLET_HYDRO outlet.hyd\nNUM_THREADS 1\n"
               "NUTRIENTS\nAQ_ENV aq.env\n" +
                   extra);
    return run_in_process(dir_.path(), "pond.prj", after_pass);
  }
  std::string file(const std::string& name) { return test_support::read_file(dir_.file(name)); }
  static bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }

  temp_dir dir_;
};

TEST_F(nsm_run, nitrate_on_the_pond_stays_and_balances) {
  double first_pass_mass = -1.0;
  const run_output out = pond("OV_INIT_NO3 2.0\n", env_one_id, [&](model_state& s) {
    if (first_pass_mass >= 0.0) return;
    const contaminant_model& m = s.quality.contam;
    first_pass_mass = 0.0;
    for (int j = 1; j <= s.grid.cells; ++j)
      first_pass_mass += m.c.ov_contam_mass[std::size_t(m.first_nutrient + 1)][std::size_t(j)];
  });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_TRUE(has(out.text, "Reading the aquatic environment file aq.env.\n")) << out.text;
  EXPECT_TRUE(has(out.text, "Allocating memory for overland NSM...Done\n")) << out.text;
  EXPECT_TRUE(has(out.text, "Assigning spatially uniform parameters for the Nitrate (NO3-) "
                            "constituent\n"));
  EXPECT_NEAR(first_pass_mass, 2000.0, 1e-9);

  const std::string whole = file("summary.out");
  const std::size_t at =
      whole.find("Overland Constituent Transport Summary for Nitrate (NO3-) \n");
  ASSERT_NE(at, std::string::npos) << whole;
  const std::string block = whole.substr(at, whole.find("Contam mass balance error", at) - at);
  EXPECT_EQ(summary_value(block, "Initial Dissolved mass on ov"), 2.0);
  EXPECT_EQ(summary_value(block, "Final Dissolved mass on ov"), 2.0);
  EXPECT_TRUE(has(block, "Mass gained from NSM kinetics           0.0000 \n"
                         "Mass lost to NSM kinetics               0.0000 \n"))
      << block;
  EXPECT_FALSE(has(block, "Mass decay loss on overland"));
  EXPECT_TRUE(has(whole, "Contaminant Transport Global Summary for Nitrate (NO3-) \n"));
  EXPECT_TRUE(has(whole, "NSM dm/dt Summary\n  Total dm/dt in:          0.0000\n"
                         "  Total dm/dt out:         0.0000\n\n"))
      << whole;
  // The event summary's rows for a species.
  const std::size_t event = whole.find("Overland Contaminant Transport Summary for Nitrate (NO3-) \n");
  ASSERT_NE(event, std::string::npos);
  const std::string rows = whole.substr(event, whole.find("Dissolved mass balance error", event) - event);
  const std::size_t label = rows.find("Initial Dissolved Mass on Overland");
  ASSERT_NE(label, std::string::npos) << rows;
  const std::size_t number = rows.find_first_not_of(". ", label + 34);
  EXPECT_NEAR(std::stod(rows.substr(number)), 2.0, 1e-9) << rows;
  EXPECT_TRUE(has(rows, "Gained from NSM kinetics ...")) << rows;
  EXPECT_TRUE(has(rows, "Loss to NSM kinetics ...")) << rows;
  EXPECT_FALSE(has(rows, "Decay loss"));
  // The species not given start and end with nothing.
  const std::size_t nitrite = whole.find("Overland Constituent Transport Summary for Nitrite");
  ASSERT_NE(nitrite, std::string::npos);
  EXPECT_EQ(summary_value(whole.substr(nitrite), "Final Dissolved mass on ov"), 0.0);
}

TEST_F(nsm_run, a_uniform_species_on_a_dry_grid_has_its_concentration_and_no_mass) {
  double conc = -1.0, mass = -1.0;
  const run_output out = pond("OV_INIT_NH4 3.5\n", env_one_id,
                              [&](model_state& s) {
                                if (conc >= 0.0) return;
                                const contaminant_model& m = s.quality.contam;
                                const std::size_t k = std::size_t(m.first_nutrient + 2);
                                conc = m.c.ov_contam_conc[k][1];
                                mass = m.c.ov_contam_mass[k][1] + m.c.ov_contam_mass[k][2];
                              },
                              {0, 0, 0});
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_EQ(mass, 0.0);
  const std::string whole = file("summary.out");
  const std::size_t at = whole.find("Overland Constituent Transport Summary for Ammonium");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(summary_value(whole.substr(at), "Initial Dissolved mass on ov"), 0.0);
}

TEST_F(nsm_run, bad_nutrient_input_stops_the_set_up_with_its_message) {
  struct bad_case {
    const char* label;
    std::string cards;
    std::string env;
    std::vector<std::string> messages;
  };
  const std::string nsm1 = "AQUATIC_ENV_NSM1\nOV_MAP ov.idx\nNUM_IDS 1\nx\n";
  const std::string id_too_big =
      "AQUATIC_ENV_NSM10\nOV_MAP ov.idx\nNUM_IDS 2\nID\n1\nDEFAULT\n3\nDEFAULT\n";
  const std::string no_map = "AQUATIC_ENV_NSM10\nNUM_IDS 1\nID\n1\nDEFAULT\n";
  const std::vector<bad_case> cases = {
      {"a file that is not there", "AQ_ENV absent.env\n", env_one_id,
       {"Error: unable to open the aquatic environment file absent.env.\n"}},
      {"an older header", "", nsm1,
       {"Error: The header for the aquatic environment file is invalid or does not match \n"
        " the current version. \n The aquatic environment file specified is: aq.env\n"
        " The header should be : AQUATIC_ENV_NSM10"}},
      {"an id past NUM_IDS", "", id_too_big,
       {"In map ov.idx category 1 has 3 values\n",
        "Error: An index [3] in the aquatic environment table is greater than the\n"
        "number of IDs specified [2]\n"}},
      {"no overland map", "", no_map,
       {"Error: Unable to open the overland Aquatic Environment map.\n"}},
      {"a mapping-table species without its table", "OV_INIT_NO3\n", env_one_id,
       {"Error: Nutrient constituent to use mapping table for input value but no mapping table "
        "exists (Grid): Nitrate (NO3-)\n"}},
      {"a continuous map that is not there", "OV_INIT_DO absent.asc\n", env_one_id,
       {"Error opening initial condition continuous map file \nfor the grid Dissolved Oxygen "
        "(O2) constituent. \nGiven filename: absent.asc\n",
        "Error: Unable to open the nutrient file absent.asc\n"}},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.label);
    const run_output out = pond(c.cards, c.env);
    EXPECT_NE(out.status, 0);
    for (const std::string& message : c.messages) EXPECT_TRUE(has(out.text, message)) << out.text;
    EXPECT_FALSE(has(out.text, "Allocating memory for overland NSM...") &&
                 c.env != env_one_id);
  }
}

TEST_F(nsm_run, nutrient_outputs_write_their_series_and_maps) {
  // All three cells wet (still water below the retention): 2 g/m3 of NO3 is
  // 1000 g and 1 g/m3 of NH4 500 g a cell. At 0 C and pH 7.2 the NH4 gives
  // 500 / 18.039 / 500 x 10^-(0.09018 + 2729.92 / 273.15) / 10^-7.2 x 17.031
  // x 500 = 0.6160 g of NH3, so total N is 1500.6160 g.
  const run_output out = pond(
      "OV_INIT_NO3 2.0\nOV_INIT_NH4 1.0\nOUT_HYD_NO3 no3\nOUT_OV_NO3 ovno3\nTOTAL_OV_N totn\n"
      "MAP_FREQ 300\nMAP_TYPE 1\n",
      env_one_id, nullptr, {0.05, 0.05, 0.05});
  ASSERT_EQ(out.status, 0) << out.text;
  const std::vector<std::string> conc = test_support::lines_of(file("no3.conc"));
  const std::vector<std::string> mass = test_support::lines_of(file("no3.mass"));
  ASSERT_EQ(conc.size(), 61u);  // 0 to 600 minutes every 10
  ASSERT_EQ(mass.size(), conc.size());
  EXPECT_EQ(conc[0], "      0.00000000      2.0000");
  EXPECT_EQ(mass[0], "      0.00000000   1000.0000");
  // The outlet cell drains, so its mass falls while its water leaves.
  EXPECT_EQ(mass[60].substr(0, 16), "    600.00000000");
  EXPECT_LT(std::stod(mass[60].substr(16)), 1000.0);

  const std::string no3_map = file("ovno3.mass");
  EXPECT_TRUE(has(no3_map, "OBJID 1028\n")) << no3_map;
  EXPECT_TRUE(has(no3_map, "NAME OV_no3_mass\n"));
  EXPECT_TRUE(has(no3_map, "TS 1 0.000000\n1\n1\n1\n1000.000000\n1000.000000\n1000.000000\n"))
      << no3_map;
  EXPECT_TRUE(has(no3_map, "TS 1 600.000000\n"));
  EXPECT_EQ(no3_map.substr(no3_map.size() - 6), "ENDDS\n");
  EXPECT_TRUE(has(file("ovno3.conc"), "TS 1 0.000000\n1\n1\n1\n2.000000\n2.000000\n2.000000\n"));
  const std::string total = file("totn");
  EXPECT_TRUE(has(total, "NAME Total_ov_N\n"));
  EXPECT_TRUE(has(total, "TS 1 0.000000\n1\n1\n1\n1500.616030\n1500.616030\n1500.616030\n"))
      << total;
}

// Redistribution soils under the pond, carried in three layers (mixing,
// top-layer and soil-moisture depths 0.1, 0.3 and 0.4 m).
std::string redistribution_soil(test_support::temp_dir& dir) {
  for (const auto& [name, value] : std::vector<std::pair<std::string, double>>{
           {"ks.asc", 1.09}, {"hc.asc", 11.01}, {"phi.asc", 0.453}, {"theta.asc", 0.15},
           {"lambda.asc", 0.25}, {"thr.asc", 0.04}})
    dir.write(name, ascii_grid(1, 3, 100, std::vector<double>(3, value)));
  return "SOIL_CON_TRANS\nINF_REDIST\nCONDUCTIVITY ks.asc\nCAPILLARY hc.asc\n"
         "POROSITY phi.asc\nMOISTURE theta.asc\nPORE_INDEX lambda.asc\n"
         "RESIDUAL_SAT thr.asc\nSOIL_MOIST_DEPTH 0.4\nTOP_LAYER_DEPTH 0.3\n"
         "MIXING_LAYER_DEPTH 0.1\n";
}

// A table of the mapping table file over the one id of ids.idx.
std::string one_id_table(const std::string& kind, const std::string& values) {
  std::string description = "Everywhere";
  description.resize(80, ' ');
  return kind + " All\nNUM_IDS 1\nID    DESCRIPTION    VALUES\n1     " + description + "  " +
         values + "\n";
}

TEST_F(nsm_run, soil_tables_fill_the_top_layer_of_the_pools_they_are_asked_for) {
  dir_.write("tables.cmt", "VALTO_INDEX_MAP_TABLES\nINDEX_MAP ids.idx All\n" +
                               one_id_table("NSM_SOIL_C", "0.5 0.25") +
                               one_id_table("NSM_SOIL_N", "1 2 3 4 5") +
                               one_id_table("NSM_SOIL_KOC", "1 2 3 4 5 6"));
  const std::string cards =
      redistribution_soil(dir_) + "MAPPING_TABLE tables.cmt\nSOILS_NSM_C\n";
  bool seen = false;
  double carbon[4] = {}, stable_carbon = 0.0, nitrogen = 0.0;
  std::array<double, 12> partition{};
  int entries = 0;
  const run_output out = pond(cards, env_one_id, [&](model_state& s) {
    if (seen) return;
    seen = true;
    const contaminant_model& m = s.quality.contam;
    entries = m.c.constituents;
    const cell_layer_table& pool0 = m.c.soil_mass[std::size_t(m.first_nutrient)];
    for (int l = 1; l <= 3; ++l) carbon[l] = pool0.at(2, l);
    stable_carbon = m.c.soil_mass[std::size_t(m.first_nutrient + 1)].at(2, 1);
    for (int p = 5; p <= 6; ++p)  // nitrogen pools without a water species
      nitrogen += m.c.soil_mass[std::size_t(m.first_nutrient + p)].at(2, 1);
    partition = s.quality.nsm->soil.partition[2];
  });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_TRUE(has(out.text, "Allocating memory for NSM Soils...Done\n"));
  EXPECT_EQ(entries, 13);
  EXPECT_EQ(carbon[1], 500.0);
  EXPECT_EQ(carbon[2], 0.0);
  EXPECT_EQ(carbon[3], 0.0);
  EXPECT_EQ(stable_carbon, 250.0);
  EXPECT_EQ(nitrogen, 0.0);  // NSM_SOIL_N is there, SOILS_NSM_N is not
  for (int i = 0; i < 6; ++i) EXPECT_EQ(partition[std::size_t(i)], 0.0) << i;
  for (int i = 0; i < 6; ++i) EXPECT_EQ(partition[std::size_t(6 + i)], i + 1.0) << i;

  // Three cells of 500 g of Organic Active Carbon, which nothing moves.
  const std::string whole = file("summary.out");
  const std::size_t at =
      whole.find("Soil Constituent Transport Summary for Organic Active Carbon \n");
  ASSERT_NE(at, std::string::npos) << whole;
  EXPECT_NEAR(summary_value(whole.substr(at), "Initial Mass in Soil Column"), 1.5, 1e-9);
  EXPECT_NEAR(summary_value(whole.substr(at), "Final Mass in Soil Column"), 1.5, 1e-9);
  EXPECT_TRUE(has(whole, "Uptake from soil (NSM)"));
}

TEST_F(nsm_run, infiltrating_nitrate_reaches_the_nitrate_pool_and_no_other) {
  // The water's NO3 soaks into a redistribution soil. Entry first + 1 is
  // NO3 in the water and the Organic Stable Carbon pool in the soil; the
  // Nitrate pool is entry first + 3.
  double carbon = 0.0, nitrate = 0.0, stable_carbon = 0.0, clock_step = 0.0, water_step = 0.0;
  const run_output out = pond(redistribution_soil(dir_) + "OV_INIT_NO3 2.0\n", env_one_id,
                              [&](model_state& s) {
                                const contaminant_model& m = s.quality.contam;
                                clock_step = m.nsm_soil.next - m.nsm_soil.last;
                                water_step = s.run.evap.interval_d;
                                const int first = m.first_nutrient;
                                for (int j = 1; j <= s.grid.cells; ++j) {
                                  const std::size_t jj = std::size_t(j);
                                  stable_carbon = std::max(
                                      stable_carbon,
                                      m.c.soil_mass[std::size_t(first + 1)].at(j, 1) +
                                          m.c.soil_top_mass[std::size_t(first + 1)][jj]);
                                  nitrate = std::max(
                                      nitrate, m.c.soil_mass[std::size_t(first + 3)].at(j, 1) +
                                                   m.c.soil_top_mass[std::size_t(first + 3)][jj]);
                                  carbon += m.c.soil_top_mass[std::size_t(first)][jj];
                                }
                              });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_EQ(stable_carbon, 0.0);
  EXPECT_EQ(carbon, 0.0);
  EXPECT_GT(nitrate, 0.0);
  // Without SOIL_KINETICS_TIMESTEP_FACTOR the nutrient soil clock keeps the
  // soil water's step.
  EXPECT_GT(water_step, 0.0);
  EXPECT_NEAR(clock_step, water_step, 1e-9);
  const std::string whole = file("summary.out");
  const std::size_t at = whole.find("Overland Constituent Transport Summary for Nitrate (NO3-) \n");
  ASSERT_NE(at, std::string::npos) << whole;
  EXPECT_GT(summary_value(whole.substr(at), "Mass loss to infiltration"), 0.0);
  EXPECT_NEAR(summary_value(whole.substr(at), "Contam mass balance error"), 0.0, 1e-3);
}

// A nutrient table with its rain concentrations, over the one id of ids.idx.
std::string nutrient_table(const std::string& kind, const std::string& rain,
                           const std::string& values) {
  std::string description = "Everywhere";
  description.resize(80, ' ');
  return kind + " All\nNUM_IDS 1\nPRECIP_CONC " + rain + "\nID    DESCRIPTION    VALUES\n1     " +
         description + "  " + values + "\n";
}

TEST_F(nsm_run, each_nutrient_table_gives_and_vouches_for_the_species_it_fills) {
  // NSM_OTH fills Algae, CBOD and DO with their rain concentrations; NSM_P
  // fills OP and DP only, so Algae asked from the mapping table with NSM_P
  // alone has no table.
  const std::string head = "VALTO_INDEX_MAP_TABLES\nINDEX_MAP ids.idx All\n";
  dir_.write("tables.cmt", head + nutrient_table("NSM_OTH", "0.1 0.2 0.3", "0.7 0.8 0.9"));
  std::vector<double> conc, rain;
  run_output out = pond("MAPPING_TABLE tables.cmt\nOV_INIT_ALG\nOV_INIT_CBOD\nOV_INIT_DO\n",
                        env_one_id, [&](model_state& s) {
                          if (!conc.empty()) return;
                          const contaminant_model& m = s.quality.contam;
                          for (int sp = 6; sp <= 8; ++sp) {
                            const std::size_t k = std::size_t(m.first_nutrient + sp);
                            conc.push_back(m.c.ov_contam_conc[k][1]);
                            rain.push_back(m.c.precip_conc[k]);
                          }
                        });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_TRUE(has(out.text, "Assigning parameters for the Algae constituent from the mapping "
                            "table.\n"));
  EXPECT_EQ(conc, (std::vector<double>{0.7, 0.8, 0.9}));
  EXPECT_EQ(rain, (std::vector<double>{0.1, 0.2, 0.3}));

  dir_.write("tables.cmt", head + nutrient_table("NSM_P", "0.1 0.2 0.3", "0.4 0.5 0.6"));
  out = pond("MAPPING_TABLE tables.cmt\nOV_INIT_OP\nOV_INIT_DP\nOV_INIT_ALG\n");
  EXPECT_NE(out.status, 0);
  EXPECT_TRUE(has(out.text, "Assigning parameters for the Dissolved Phosphorous (Dissolved P) "
                            "constituent from the mapping table.\n"))
      << out.text;
  EXPECT_TRUE(has(out.text, "mapping table exists (Grid): Algae\n")) << out.text;
}

TEST(aquatic_env_file, fifty_two_values_land_in_their_row_positions_and_default_keeps_a_row) {
  temp_dir dir;
  std::string text = "AQUATIC_ENV_NSM10\nST_MAP st.map\nOV_MAP \"ov map.idx\"\nNUM_IDS 3\nheading\n";
  text += "2\nDEFAULT\n\n1\n";
  const int counts[] = {7, 7, 4, 4, 4, 4, 7, 7, 4, 4};
  int v = 1;
  for (int count : counts) {
    for (int i = 0; i < count; ++i) text += std::to_string(v++) + " ";
    text += "\n";
  }
  text += "3\nDEFAULT\n";
  dir.write("aq.env", text);
  test_support::scoped_cwd cwd(dir.path());
  safe_file file;
  ASSERT_TRUE(file.open("aq.env", "r"));
  aquatic_env env;
  EXPECT_TRUE(read_aquatic_env_file(env, file));
  file.close();
  EXPECT_EQ(env.ov_map_name, "ov map.idx");
  EXPECT_EQ(env.st_map_name, "st.map");
  ASSERT_EQ(env.num_ids, 3);
  ASSERT_EQ(env.table.size(), 4u);
  const std::vector<double> expected_head = {1, 8, 2, 9, 3, 10, 4, 11, 5, 12, 6, 13, 7, 14,
                                             15, 19, 16, 20, 17, 21, 18, 22};
  for (std::size_t p = 0; p < expected_head.size(); ++p)
    EXPECT_EQ(env.table[1][p], expected_head[p]) << p;
  EXPECT_EQ(env.table[1][44], 45.0);
  EXPECT_EQ(env.table[1][51], 52.0);
  for (double x : env.table[2]) EXPECT_EQ(x, 0.0);
  for (double x : env.table[3]) EXPECT_EQ(x, 0.0);
}

}  // namespace
