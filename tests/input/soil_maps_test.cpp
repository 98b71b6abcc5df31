// The soil readers of the grid set-up run in-process through the production
// set-up phases on the strip (ten cells in a row): the soil types of the
// layered method from the layered soil file or the MULTI_LAYER_SOIL table,
// the soil-moisture hot start over each method's starting contents, and the
// evapotranspiration parameters.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <sstream>
#include <string>
#include <vector>

#include "grid_setup_fixture.h"
#include "input/read_grid_inputs.h"

namespace {

using soil_maps = grid_setup_test;

// The values of one layer in file order: K (cm/h), lambda, psi (cm), phi,
// fc, wp, thr, thi and the layer depth (cm; 0 for layer 3).
using layer_values = std::array<double, 9>;

layer_values layer_of(const soil_type_record& t, int layer) {
  const double depth = layer == 1 ? t.d1 : layer == 2 ? t.d2 : 0.0;
  return {t.k[layer],  t.lambda[layer], t.psi[layer], t.phi[layer], t.fc[layer],
          t.wp[layer], t.thr[layer],    t.thi[layer], depth};
}

// The reading notices of the soil maps: the lines beginning "reading " from
// the first soil map on.
std::vector<std::string> soil_notices(const std::string& text) {
  std::vector<std::string> found;
  std::istringstream in(text.substr(std::min(text.find("reading saturated"), text.size())));
  std::string line;
  while (std::getline(in, line))
    if (line.starts_with("reading ")) found.push_back(line);
  return found;
}

// A row of a mapping table: the id in columns 1-6, then the description
// right-aligned so that the values start in column values_column.
std::string table_row(int id, const std::string& description, std::size_t values_column,
                      const std::string& values) {
  std::string head = std::to_string(id);
  head.resize(values_column - 1 - description.size(), ' ');
  return head + description + values + "\n";
}

// Two soil types, written with id 7 first so that table indices and ids
// differ. Layer 1 of type 1 takes its conductivity from [KS] (3.25).
const layer_values type7[3] = {{1.25, 0.3, 8.5, 0.45, 0.28, 0.12, 0.04, 0.15, 10},
                               {1.0, 0.31, 9, 0.43, 0.27, 0.11, 0.045, 0.18, 25},
                               {0.1, 0.2, 20, 0.41, 0.3, 0.15, 0.06, 0.3, 0}};
const layer_values type1[3] = {{3.25, 0.25, 10, 0.4, 0.3, 0.1, 0.05, 0.2, 20},
                               {0.5, 0.26, 12, 0.42, 0.31, 0.09, 0.055, 0.22, 30},
                               {0.2, 0.27, 15, 0.44, 0.32, 0.08, 0.065, 0.24, 0}};
const char* const type7_lines[3] = {"1.25 0.3 8.5 0.45 0.28 0.12 0.04 0.15 10",
                                    "1.0 0.31 9 0.43 0.27 0.11 0.045 0.18 25",
                                    "0.1 0.2 20 0.41 0.3 0.15 0.06 0.3"};
const char* const type1_lines[3] = {"[KS] 0.25 10 0.4 0.3 0.1 0.05 0.2 20",
                                    "0.5 0.26 12 0.42 0.31 0.09 0.055 0.22 30",
                                    "0.2 0.27 15 0.44 0.32 0.08 0.065 0.24"};
const char* const strip_soil_ids = "7 7 1 1 7 1 1 1 1 7\n";
const int strip_soil_index[11] = {0, 1, 1, 2, 2, 1, 2, 2, 2, 2, 1};
const char* const replacement_cards = "REPLACE_PARAMS params.txt\nREPLACE_VALS vals.txt\n";

TEST_F(soil_maps, layered_soil_types_reach_every_cell_from_the_file_or_the_table) {
  write_map("soils.asc", 1, 10, 10, strip_soil_ids);
  dir_.write("params.txt", "1\n[KS] \"%4.2lf\"\n");
  dir_.write("vals.txt", "3.25\n");
  dir_.write("layers.txt", std::string("2\n0\n7\n") + type7_lines[0] + "\n" + type7_lines[1] +
                               "\n" + type7_lines[2] + "\n1\n" + type1_lines[0] + "\n" +
                               type1_lines[1] + "\n" + type1_lines[2] + "\n");
  // The table's values start in character 88, right after descriptions
  // that end in a digit in column 87.
  dir_.write("tables.cmt",
             "VALTO_INDEX_MAP_TABLES\nINDEX_MAP soils.idx soils\nMULTI_LAYER_SOIL soils\n"
             "NUM_IDS 2\nNUM_SOIL_LAYERS 3\nID    DESCRIPTION    LAYER VALUES\n" +
                 table_row(7, "Sandy loam over clay, horizon 2", 88, type7_lines[0]) +
                 type7_lines[1] + "\n" + type7_lines[2] + "\n" +
                 table_row(1, "Silt loam 9", 88, type1_lines[0]) + type1_lines[1] + "\n" +
                 type1_lines[2] + "\n");
  write_map("soils.idx", 1, 10, 10, strip_soil_ids);

  struct layered_case {
    const char* label;
    std::string cards;
    const char* notice;
  };
  const layered_case cases[] = {
      {"layered soil file", "SOIL_TYPE_MAP soils.asc\nSOIL_LAYER_INPUT_FILE layers.txt\n",
       "reading soil map from file: soils.asc\n"},
      {"MULTI_LAYER_SOIL table", "MAPPING_TABLE tables.cmt\n",
       "In map soils.idx category 1 has 6 values\n"},
  };
  for (const layered_case& c : cases) {
    SCOPED_TRACE(c.label);
    state_ = std::make_unique<model_state>();
    const std::string out =
        run_setup(strip_cards(replacement_cards + std::string("INF_LAYERED_SOIL\n") + c.cards));
    ASSERT_FALSE(stopped()) << out;
    EXPECT_TRUE(has(out, c.notice)) << out;
    const soil_state& s = state_->soil;
    ASSERT_EQ(s.soil_types.size(), 3u);
    EXPECT_EQ(s.soil_types[1].id, 7);
    EXPECT_EQ(s.soil_types[2].id, 1);
    // Held as read: cm/h and cm, the units the layered method works in.
    for (int layer = 1; layer <= 3; ++layer) {
      EXPECT_EQ(layer_of(s.soil_types[1], layer), type7[layer - 1]) << "layer " << layer;
      EXPECT_EQ(layer_of(s.soil_types[2], layer), type1[layer - 1]) << "layer " << layer;
    }
    for (int i = 1; i <= 10; ++i) {
      ASSERT_EQ(s.soiltype[i], strip_soil_index[i]) << i;
      const layer_values* t = s.soiltype[i] == 1 ? type7 : type1;
      EXPECT_EQ(s.theta_ml[i], (std::array<double, 4>{0.0, t[0][7], t[1][7], t[2][7]})) << i;
      EXPECT_EQ(s.surface_moisture[i], t[0][7]) << i;
    }
    clear_errors();
  }
}

TEST_F(soil_maps, the_moisture_hot_start_replaces_each_methods_starting_contents) {
  const std::vector<double> hot = {0.21, 0.22, 0.23, 0.24, 0.25, 0.26, 0.27, 0.28, 0.29, 0.3};
  write_map("sm.asc", 1, 10, 10, "0.21 0.22 0.23 0.24 0.25 0.26 0.27 0.28 0.29 0.3\n");
  const std::vector<std::pair<const char*, double>> maps = {
      {"ks.asc", 1.0}, {"hc.asc", 10.0}, {"phi.asc", 0.45}, {"th.asc", 0.12},
      {"lambda.asc", 0.25}, {"thr.asc", 0.04}};
  for (const auto& [name, value] : maps) {
    std::string row;
    for (int c = 0; c < 10; ++c) row += (c ? " " : "") + std::to_string(value);
    write_map(name, 1, 10, 10, row + "\n");
  }
  write_map("soils.asc", 1, 10, 10, "1 1 1 1 1 1 1 1 1 1\n");
  dir_.write("layers.txt",
             "1\n0\n1\n1.0 0.25 10 0.4 0.3 0.1 0.05 0.2 20\n0.5 0.25 12 0.42 0.3 0.1 0.05 0.22 "
             "30\n0.2 0.25 15 0.44 0.3 0.1 0.05 0.24\n");
  const std::string ga =
      "CONDUCTIVITY ks.asc\nCAPILLARY hc.asc\nPOROSITY phi.asc\nMOISTURE th.asc\n";
  enum method { green_ampt, redistribution, layered };
  struct hot_case {
    method m;
    std::string cards;
  };
  const hot_case cases[] = {
      {green_ampt, "GREEN_AMPT\n" + ga},
      {redistribution, "INF_REDIST\n" + ga + "PORE_INDEX lambda.asc\nRESIDUAL_SAT thr.asc\n"},
      {layered, "INF_LAYERED_SOIL\nSOIL_TYPE_MAP soils.asc\nSOIL_LAYER_INPUT_FILE layers.txt\n"},
  };
  for (const hot_case& c : cases) {
    SCOPED_TRACE(c.cards);
    state_ = std::make_unique<model_state>();
    const std::string out = run_setup(strip_cards(c.cards + "READ_SM_HOTSTART sm.asc\n"));
    ASSERT_FALSE(stopped()) << out;
    EXPECT_TRUE(has(out, "reading soil moisture hotstart map from file: sm.asc\n")) << out;
    const soil_state& s = state_->soil;
    for (int i = 1; i <= 10; ++i) {
      const double theta = hot[i - 1];
      EXPECT_EQ(s.surface_moisture[i], theta) << i;
      if (c.m != layered) {
        // Read over the 0.12 of the moisture map.
        EXPECT_EQ(s.initial_theta[i], theta) << i;
      }
      if (c.m == redistribution) {
        EXPECT_EQ(s.front_theta[i], theta) << i;
        EXPECT_EQ(s.theta_out[i], theta) << i;
      }
      if (c.m == layered) {
        EXPECT_EQ(s.theta_ml[i], (std::array<double, 4>{0.0, theta, 0.22, 0.24})) << i;
      }
    }
    clear_errors();
  }
}

// The strip with Green and Ampt maps, an EVAPOTRANSPIRATION table of two
// land uses and the maps of a long-term run.
class et_maps : public grid_setup_test {
 protected:
  void SetUp() override {
    grid_setup_test::SetUp();
    for (const char* name : {"ks.asc", "hc.asc", "phi.asc", "th.asc"})
      write_map(name, 1, 10, 10, "0.3 0.3 0.3 0.3 0.3 0.3 0.3 0.3 0.3 0.3\n");
    write_map("landuse.idx", 1, 10, 10, "1 1 2 2 1 2 1 2 1 2\n");
    dir_.write("tables.cmt",
               "VALTO_INDEX_MAP_TABLES\nINDEX_MAP landuse.idx landuse\n"
               "EVAPOTRANSPIRATION landuse\nNUM_IDS 2\nID    DESCRIPTION    VALUES\n" +
                   table_row(1, "Grass ", 87, "0.2 0.5 0.9 120") +
                   table_row(2, "Forest ", 87, "0.25 1.5 0.8 70"));
    write_map("albedo.asc", 1, 10, 10, "0.11 0.12 0.13 0.14 0.15 0.16 0.17 0.18 0.19 0.2\n");
    write_map("vh.asc", 1, 10, 10, "1 2 3 4 5 6 7 8 9 10\n");
    write_map("wp.asc", 1, 10, 10, "0.05 0.06 0.07 0.08 0.09 0.1 0.11 0.12 0.13 0.14\n");
    write_map("short.asc", 1, 9, 10, "0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1\n");
  }

  // The set-up of a Green and Ampt run on the strip, with the mapping table
  // when table is set and ALBEDO naming albedo_map when it is not empty.
  // A long-term run (1 Deardorff, 2 Penman-Monteith) gets its settings
  // here, with the maps opened as the opening of the project's files opens
  // them, so that the run needs no meteorology. Returns standard output.
  std::string run_et(bool table, int long_term, const std::string& albedo_map) {
    state_ = std::make_unique<model_state>();
    std::string cards = "GREEN_AMPT\nCONDUCTIVITY ks.asc\nCAPILLARY hc.asc\nPOROSITY phi.asc\n"
                        "MOISTURE th.asc\n";
    if (table) cards += "MAPPING_TABLE tables.cmt\n";
    if (!albedo_map.empty()) cards += "ALBEDO " + albedo_map + "\n";
    const auto make_long_term = [long_term](model_state& s) {
      if (long_term == 0) return;
      input_state& in = s.input;
      project_settings& p = in.settings;
      in.long_term = 1;
      p.et_calc_penman = long_term == 2;
      p.et_calc_deardorff = long_term == 1;
      p.vheight = "vh.asc";
      p.wilting_point = "wp.asc";
      in.et_params = {1, 1, 1, 1, 1};
      ASSERT_TRUE(in.files.albedo.open(p.albedo.c_str(), "r"));
      ASSERT_TRUE(in.files.vheight.open("vh.asc", "r"));
      ASSERT_TRUE(in.files.wilting_point.open("wp.asc", "r"));
    };
    return run_setup(strip_cards(cards), "read_grid_inputs", "read_grid_inputs", make_long_term);
  }

  static std::vector<std::string> notices(const std::vector<std::string>& et,
                                          bool moisture = true) {
    std::vector<std::string> lines = {
        "reading saturated hydraulic conductivity map from file: ks.asc",
        "reading capillary drive map from file: hc.asc",
        "reading porosity map from file: phi.asc"};
    lines.insert(lines.end(), et.begin(), et.end());
    if (moisture) lines.push_back("reading soil moisture map from file: th.asc");
    return lines;
  }
};

TEST_F(et_maps, the_table_fills_every_run_and_a_long_term_run_reads_its_maps_over_it) {
  const std::vector<double> use_albedo = {0.2, 0.2, 0.25, 0.25, 0.2, 0.25, 0.2, 0.25, 0.2, 0.25};
  const std::vector<double> use_height = {0.5, 0.5, 1.5, 1.5, 0.5, 1.5, 0.5, 1.5, 0.5, 1.5};
  const std::vector<double> use_trans = {0.9, 0.9, 0.8, 0.8, 0.9, 0.8, 0.9, 0.8, 0.9, 0.8};
  const std::vector<double> use_canopy = {120, 120, 70, 70, 120, 70, 120, 70, 120, 70};
  const std::vector<double> map_albedo = {0.11, 0.12, 0.13, 0.14, 0.15,
                                          0.16, 0.17, 0.18, 0.19, 0.2};
  const std::vector<double> map_height = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  const std::vector<double> map_wilting = {0.05, 0.06, 0.07, 0.08, 0.09,
                                           0.1,  0.11, 0.12, 0.13, 0.14};
  const std::vector<double> none;
  const std::vector<double> zero(10, 0.0);

  struct et_case {
    const char* label;
    bool table;
    int long_term;                        // 0 none, 1 Deardorff, 2 Penman-Monteith
    std::string albedo_map;               // ALBEDO's file, empty for none
    std::vector<std::string> et_notices;  // between the porosity and the moisture
    std::vector<double> albedo, height, trans, canopy, wilting;
  };
  const et_case cases[] = {
      {"table alone", true, 0, "", {}, use_albedo, use_height, use_trans, use_canopy, zero},
      {"ALBEDO card without a long-term run or table", false, 0, "albedo.asc", {}, none, none,
       none, none, zero},
      {"Penman-Monteith: maps over the table", true, 2, "albedo.asc",
       {"reading albedo map from file: albedo.asc",
        "reading vegetation-height map from file: vh.asc",
        "reading transmission-coefficient table and map from the master table file",
        "reading canopy resistance table and map from the master table file",
        "reading wilting point map from file: wp.asc"},
       map_albedo, map_height, use_trans, use_canopy, map_wilting},
      {"Deardorff reads the albedo only", true, 1, "albedo.asc",
       {"reading albedo map from file: albedo.asc"}, map_albedo, use_height, use_trans,
       use_canopy, zero},
      {"Deardorff without the table", false, 1, "albedo.asc",
       {"reading albedo map from file: albedo.asc"}, map_albedo, none, none, none, zero},
  };
  const auto cells = [](const std::vector<double>& v) {
    return v.empty() ? v : std::vector<double>(v.begin() + 1, v.end());
  };
  for (const et_case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string out = run_et(c.table, c.long_term, c.albedo_map);
    EXPECT_EQ(soil_notices(out), notices(c.et_notices)) << out;
    EXPECT_FALSE(stopped()) << out;
    const soil_state& s = state_->soil;
    // A long-term run's cells start without snow.
    EXPECT_EQ(cells(s.snow.swe), c.long_term != 0 ? zero : none);
    EXPECT_EQ(cells(s.albedo), c.albedo);
    EXPECT_EQ(cells(s.veg_height), c.height);
    EXPECT_EQ(cells(s.trans_coeff), c.trans);
    EXPECT_EQ(cells(s.canopy_resist), c.canopy);
    EXPECT_EQ(cells(s.wilting_point), c.wilting);
    if (c.long_term == 2) {
      // The summary file names the canopy resistance apart from the screen.
      std::fflush(state_->output.summary.stream);
      const std::string summary = file_text("summary.out");
      EXPECT_TRUE(has(summary, "reading transmission-coefficient table and map from the master "
                               "table file\nreading canopy resistance map from file\nreading "
                               "wilting point map from file: wp.asc\n"))
          << summary;
    }
    clear_errors();
  }
}

TEST_F(et_maps, a_map_that_cannot_be_read_stops_the_soil_maps) {
  const std::string out = run_et(false, 1, "short.asc");
  EXPECT_TRUE(stopped());
  EXPECT_TRUE(has(out, "Incorrect number of columns in map: short.asc\n")) << out;
  EXPECT_EQ(soil_notices(out), notices({"reading albedo map from file: short.asc"}, false));
}

}  // namespace
