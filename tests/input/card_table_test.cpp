// The card vocabulary: the fixture project holding every card word agrees
// with the table, words are matched whole and without regard to case, and the
// gate covers the switch and output cards of every process not built yet.

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "input/card_gate.h"
#include "input/card_table.h"
#include "project_test_support.h"

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// First words of the card lines of the fixture that holds every card word.
std::set<std::string> fixture_words() {
  std::ifstream file(std::string(VALTO_FIXTURES_DIR) + "/project/all_cards/project.prj");
  std::set<std::string> words;
  std::string line;
  std::getline(file, line);  // magic line
  while (std::getline(file, line)) {
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    size_t end = line.find_first_of(" \t", start);
    words.insert(lower(line.substr(start, end - start)));
  }
  return words;
}

}  // namespace

TEST(card_table, holds_exactly_the_417_words_of_the_fixture_in_407_codes) {
  std::set<std::string> table_words;
  std::set<int> codes;
  for (const card_row& row : card_table()) {
    EXPECT_TRUE(table_words.insert(row.word).second) << "twice: " << row.word;
    codes.insert(row.code);
    EXPECT_EQ(lower(row.word), row.word);
  }
  EXPECT_EQ(table_words.size(), 417u);
  EXPECT_EQ(codes.size(), 407u);
  EXPECT_EQ(fixture_words(), table_words);
  for (int code : codes) {
    EXPECT_GE(code, 0);
    EXPECT_LE(code, 408);
    EXPECT_NE(code, 56);
    EXPECT_NE(code, 341);
  }
}

TEST(card_table, synonyms_share_a_code_and_every_other_word_has_its_own) {
  const std::set<std::set<std::string>> synonyms = {
      {"tpg", "metric", "simulation_input"},
      {"project_folder", "project_path"},
      {"replace_folder", "output_folder"},
      {"dike_map", "embankment"},
      {"ov_init_depth", "read_ov_hotstart"},
      {"chan_explic", "diffusive_wave"},
      {"sacramento", "sacramento_pars"},
      {"gw_fluxboundtable", "gw_flux_boundtable"},
      {"soil_con_trans", "soil_contam"},
  };
  std::map<int, std::set<std::string>> by_code;
  for (const card_row& row : card_table()) by_code[row.code].insert(row.word);
  std::set<std::set<std::string>> shared;
  for (const auto& [code, words] : by_code)
    if (words.size() > 1) shared.insert(words);
  EXPECT_EQ(shared, synonyms);
  EXPECT_EQ(by_code[ignored_card_code], (std::set<std::string>{"tpg", "metric", "simulation_input"}));
}

TEST(card_table, every_word_is_found_in_any_case_and_not_with_one_letter_more) {
  for (const card_row& row : card_table()) {
    std::string mixed = row.word;
    for (size_t i = 0; i < mixed.size(); i += 2)
      mixed[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(mixed[i])));
    std::string line = mixed + " value";
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    {
      test_support::stdout_capture out;
      EXPECT_EQ(project_card_code(buffer.data()), row.code) << mixed;
      EXPECT_EQ(out.stop(), "");
    }
    EXPECT_STREQ(buffer.data(), "value");

    std::string longer = std::string(row.word) + "x";
    if (find_card(longer.c_str()) != nullptr) continue;
    std::string longer_line = std::string(row.word) + "X 1";
    std::vector<char> long_buffer(longer_line.begin(), longer_line.end());
    long_buffer.push_back('\0');
    test_support::stdout_capture out;
    EXPECT_EQ(project_card_code(long_buffer.data()), ignored_card_code);
    EXPECT_EQ(out.stop(), "Warning: unknown card found in the project file: " + longer + "\n");
  }
}

TEST(card_table, blank_lines_comments_and_ignored_words_give_the_ignore_code_in_silence) {
  struct line_case {
    const char* line;
    const char* rest;  // what the line holds afterwards
  };
  const line_case cases[] = {
      {"", ""},
      {"   \t ", "   \t "},
      {"   # a comment, with words", "a comment, with words"},
      {"#runs-on comment", "comment"},
      {"TPG", ""},
      {"metric 1", "1"},
      {"Simulation_Input whatever", "whatever"},
  };
  for (const line_case& c : cases) {
    char line[256];
    std::snprintf(line, sizeof line, "%s", c.line);
    test_support::stdout_capture out;
    EXPECT_EQ(project_card_code(line), ignored_card_code) << c.line;
    EXPECT_EQ(out.stop(), "") << c.line;
    EXPECT_STREQ(line, c.rest) << c.line;
  }
}

// The gate: a table of card words with the mode the reader gives them. Every
// word of the table must be a card word.
TEST(card_gate, gate_words_are_card_words_with_the_expected_mode) {
  struct gate_case {
    const char* word;
    card_mode mode;
  };
  const card_mode store = card_mode::store_only, clear = card_mode::clear,
                  apply = card_mode::apply;
  const gate_case cases[] = {
      // switch cards of processes not built
      {"time_series_file", apply},
      {"elev_series_file", apply}, {"replace_params", apply}, {"replace_vals", apply},
      {"xybdyinput_gwhead", apply}, {"xybdyinput_stflow", apply},
      {"xybdyinput_sttimeseries", apply},
      {"chan_explic", apply}, {"diffusive_wave", apply}, {"chan_drain", apply},
      {"chan_backwater", apply}, {"chan_mesh", store}, {"overland_lake_map", apply},
      {"ov_pump", store}, {"lake_pump", store}, {"chan_point_input", apply},
      {"ov_point_source", store}, {"stream_loss", apply},
      {"green_ampt", apply}, {"inf_redist", apply}, {"inf_layered_soil", apply},
      {"inf_richards", apply}, {"read_sm_hotstart", apply}, {"long_term", apply},
      {"richards_weight", apply}, {"conductivity", apply}, {"soil_layer_input_file", apply},
      {"nwsrfs_snow", apply}, {"eb_nwsrfs_snow", apply}, {"init_swe_depth", apply},
      {"snow_roughness", apply}, {"snow_darcy", apply}, {"snow_reynolds", apply},
      {"snow_swe_file", apply}, {"snow_temp", apply}, {"nwsrfs_elev_snow", apply},
      {"sacramento", apply}, {"gw_simulation", apply}, {"water_table", apply},
      {"storm_sewer", apply}, {"soil_erosion", apply}, {"ov_con_trans", apply},
      {"chan_con_trans", apply}, {"soil_con_trans", apply}, {"nutrients", apply},
      {"sediment_contam", apply}, {"all_contam_output", apply}, {"ov_con_map", apply},
      {"optimize_sed", apply}, {"analyzers", apply}, {"qtr", apply}, {"vune", apply},
      // output files not written yet
      {"gw_recharge_cum", apply},
      {"gw_recharge_inc", apply}, {"chan_sed_flux", apply}, {"outlet_sed_flux", apply},
      {"max_sed_flux", apply}, {"outlet_sed_tss", apply},
      {"dis_profile", clear}, {"dis_profile_out", clear}, {"wat_surf_profile", clear},
      {"wat_surf_profile_out", clear},
      {"in_gwflux_location", apply}, {"out_gwflux_location", apply},
      {"cell_hydro", clear},
      {"out_con_location", apply}, {"out_mass_location", apply},
      {"daily_output", clear},
      {"gw_output", apply},
      {"out_ov_no2", apply}, {"out_hyd_do", apply}, {"total_chan_p", apply},
      // built, or parameters stored silently
      {"summary", apply}, {"outlet_hydro", apply}, {"sig_outlet_hydro", apply},
      {"pipe_flow", apply}, {"pipe_head", apply}, {"pipe_tile", apply},
      {"superlink_junc_location", apply}, {"superlink_node_location", apply},
      {"superlink_junc_flow", apply}, {"superlink_node_flow", apply},
      {"gw_well_level", apply}, {"gw_unif_hycond", apply}, {"gw_relax_coeff", apply},
      {"tpg_hydro", apply}, {"q7_fluxes", apply}, {"q7_input", apply},
      {"q7_segment_fluxes", apply}, {"q7_segment_map", apply}, {"xybdyoutput_pts", apply},
      {"xybdyoutput_mask", apply}, {"xybdyoutput_ovdep", apply}, {"xybdyoutput_gwhead", apply},
      {"xybdyoutput_stflow", apply},
      {"chan_depth", apply}, {"chan_discharge", apply}, {"chan_stage", apply},
      {"chan_velocity", apply}, {"in_hyd_location", apply}, {"out_hyd_location", apply},
      {"out_dep_location", apply}, {"in_celldepdis_location", apply},
      {"out_celldepdis_location", apply},
      {"discharge", apply}, {"depth", apply}, {"dis_rain", apply}, {"flood_grid", apply},
      {"inf_depth", apply}, {"surf_moist", apply}, {"rate_of_infil", apply},
      {"write_sm_hotstart", apply}, {"in_theta_location", apply}, {"out_theta_location", apply},
      {"flood_stream", apply}, {"write_ov_hotstart", apply}, {"write_chan_hotstart", apply},
      {"explic_backwater", apply}, {"lake_output", apply},
      {"optimize", apply}, {"k_river", apply},
      {"manning_n", apply}, {"roughness", apply}, {"overtype", apply}, {"precip_unif", apply},
      {"rain_intensity", apply}, {"rain_duration", apply}, {"ov_init_depth", apply},
      {"reten_depth", apply}, {"ov_init_no2", apply}, {"replace_line", apply},
      {"chan_preiss", apply}, {"xwindows", apply}, {"parb_file", apply}, {"interception", apply},
      {"storage_capacity", apply}, {"interception_coeff", apply},
      {"mapping_table", apply}, {"st_mapping_table", apply},
      {"precip_file", apply}, {"rain_inv_distance", apply}, {"rain_thiessen", apply},
      {"ov_boundary", apply}, {"xybdyinput_ovdep", apply}, {"dike_map", apply},
      {"embankment", apply}, {"lowspot_file", apply},
  };
  for (const gate_case& c : cases) {
    const card_row* row = find_card(c.word);
    ASSERT_NE(row, nullptr) << c.word;
    EXPECT_EQ(gate_mode(*row), c.mode) << c.word;
  }
}

TEST(card_gate, every_unbuilt_feature_gates_at_least_one_card) {
  for (card_feature feature : unbuilt_features()) {
    int gated = 0;
    for (const card_row& row : card_table())
      if (row.feature == feature && gate_mode(row) != card_mode::apply) ++gated;
    EXPECT_GT(gated, 0) << feature_text(feature);
  }
}

// Of every card word of the fixture, only those whose process or file no
// part of the model describes stay refused (switches) or ignored with a
// warning (outputs); the README names each with its reason.
TEST(card_gate, only_the_undescribed_cards_of_the_fixture_are_held_back) {
  const std::set<std::string> refused = {"chan_mesh", "lake_pump", "ov_pump", "ov_point_source"};
  const std::set<std::string> ignored = {"dis_profile",      "dis_profile_out",
                                         "wat_surf_profile", "wat_surf_profile_out",
                                         "cell_hydro",       "daily_output"};
  std::set<std::string> held_refused, held_ignored;
  for (const std::string& word : fixture_words()) {
    const card_row* row = find_card(word.c_str());
    ASSERT_NE(row, nullptr) << word;
    const card_mode mode = gate_mode(*row);
    if (mode == card_mode::store_only) held_refused.insert(word);
    if (mode == card_mode::clear) held_ignored.insert(word);
  }
  EXPECT_EQ(held_refused, refused);
  EXPECT_EQ(held_ignored, ignored);
}
