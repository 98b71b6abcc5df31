// The second set-up phase: combinations of cards that cannot run together,
// the silent corrections, and the gate for processes not built yet.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "input/project_settings.h"
#include "project_test_support.h"

namespace {

const std::string rain = "RAIN_INTENSITY 10\nRAIN_DURATION 60\n";
const std::string groundwater = "WATER_TABLE wt.asc\nGW_SIMULATION\n";
const std::string gw_sources = "GW_UNIF_POROSITY 0.3\nGW_UNIF_HYCOND 0.00001\n";

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

using option_checks = project_test;

// Each small project and the code its checks leave for the run driver.
TEST_F(option_checks, each_refused_combination_gives_its_code) {
  struct code_case {
    std::string cards;
    int code;
  };
  const std::string long_term = "LONG_TERM\nINF_REDIST\nET_CALC_PENMAN\n";
  const code_case cases[] = {
      {rain + "MANNING_N 0.03\nROUGHNESS rough.asc\n", 6},
      {rain + "LONG_TERM\nET_CALC_PENMAN\nET_CALC_DEARDORFF\n", 7},
      {rain + "HMET_SAMSON a.txt\nHMET_ZEP b.txt\n", 8},
      {rain + "HMET_SURFAWAYS a.txt\nHMET_SAMSON b.txt\nHMET_ZEP c.txt\n", 8},
      {rain + "LONG_TERM\nINF_REDIST\n", 9},
      {"", 11},  // no precipitation card at all
      {"RAIN_INTENSITY 10\n", 11},
      {"RAIN_DURATION 60\n", 11},
      {rain + "LONG_TERM\nET_CALC_DEARDORFF\nGREEN_AMPT\n", 20},
      {rain + "LONG_TERM\nET_CALC_DEARDORFF\n", 20},
      {rain + "LONG_TERM\nET_CALC_DEARDORFF\nINF_LAYERED_SOIL\n", 21},
      {rain + long_term + "ALBEDO a.asc\n", 22},
      {rain + long_term + "ALBEDO a.asc\nVHEIGHT v.asc\n", 23},
      {rain + long_term + "ALBEDO a.asc\nVHEIGHT v.asc\nTCOEFF t.asc\n", 24},
      {rain + long_term + "ALBEDO a.asc\nVHEIGHT v.asc\nTCOEFF t.asc\nCANOPY c.asc\n", 25},
      {rain + "INF_RICHARDS\n" + groundwater + gw_sources, 32},
      {rain + "CHAN_DRAIN\n", 35},
      {rain + "CHAN_BACKWATER\n", 35},
      {rain + groundwater + "GW_POROSITY_MAP p.asc\n" + gw_sources, 38},
      {rain + groundwater + "GW_UNIF_POROSITY 0.3\nGW_HYCOND_MAP k.asc\nGW_UNIF_HYCOND 1\n", 40},
      {rain + groundwater + gw_sources + "SACRAMENTO sac.txt\n", 42},
      {rain + "QTR\n", 43},
      {rain + "QTR\nVUNE vune.dat\nQTR_EVENT_NUM\n", 44},
      {rain + "QTR\nVUNE vune.dat\n" + groundwater + gw_sources, 45},
      {rain + "VUNE vune.dat\n", 46},
  };
  for (const code_case& c : cases) {
    clear_errors();
    state_ = std::make_unique<model_state>();
    read_and_check(c.cards);
    EXPECT_EQ(error_state.code, c.code) << c.cards;
    EXPECT_EQ(error_state.stop_flag, 1) << c.cards;
  }
}

TEST_F(option_checks, richards_and_the_long_term_checks_that_pass) {
  // Richards needs no albedo or vegetation maps, and with AQUIFER_DELTA_Z no 32.
  const std::string passing[] = {
      rain + "LONG_TERM\nET_CALC_PENMAN\nINF_RICHARDS\n",
      rain + "LONG_TERM\nET_CALC_PENMAN\nINF_REDIST\nALBEDO a\nVHEIGHT v\nTCOEFF t\nCANOPY c\n"
             "WILTING_POINT w\n",
      rain + "INF_RICHARDS\nAQUIFER_DELTA_Z 0.5\n" + groundwater + gw_sources,
      rain + "INF_RICHARDS\nGW_SIMULATION\n",
      rain + "CHAN_PREISS\n",
  };
  for (const std::string& cards : passing) {
    clear_errors();
    state_ = std::make_unique<model_state>();
    std::string path = project(cards);
    test_support::stdout_capture out;
    read_run_parameters(path.c_str(), *state_);
    ASSERT_EQ(error_state.code, 0) << cards;
    // Only the gate may stop these runs: it reports 4000 at once.
    check_project_options(*state_);
    std::string printed = out.stop();
    EXPECT_EQ(error_state.code, 0) << cards;
    if (error_state.stop_flag) {
      EXPECT_TRUE(contains(printed, "not available in this version")) << cards;
    }
  }
}

TEST_F(option_checks, groundwater_porosity_warning_is_reported_and_the_checks_go_on) {
  std::string printed =
      read_and_check(rain + groundwater + "GW_HYCOND_MAP k.asc\nGW_UNIF_HYCOND 1\n");
  EXPECT_TRUE(contains(printed, message_template(39)));
  EXPECT_EQ(error_state.code, 40);
}

TEST_F(option_checks, groundwater_conductivity_warning_no_longer_ends_the_checks) {
  std::string printed =
      read_and_check(rain + groundwater + "GW_UNIF_POROSITY 0.3\nSACRAMENTO sac.txt\n");
  EXPECT_TRUE(contains(printed, message_template(41)));
  EXPECT_EQ(error_state.code, 42);

  clear_errors();
  state_ = std::make_unique<model_state>();
  printed = read_and_check(rain + "QTR\nVUNE vune.dat\n" + groundwater + "GW_UNIF_POROSITY 0.3\n");
  EXPECT_TRUE(contains(printed, message_template(41)));
  EXPECT_EQ(error_state.code, 45);
}

TEST_F(option_checks, framework_lines_come_before_its_codes) {
  std::string printed =
      read_and_check(rain + "QTR\nVUNE vune.dat\nQTR_EVENT_NUM -2\n");
  EXPECT_TRUE(contains(printed,
                       "Running VALTO in QTR environment\n"
                       "VALTO will share data with VUNE through file: exchange/vune.dat\n"
                       "This is an event call of VALTO by QTR, qtr_event_num=-2\n"));
  EXPECT_EQ(error_state.code, 44);
}

TEST_F(option_checks, silent_corrections) {
  // Layered soil and Richards clear the Green and Ampt map flags.
  read_and_check(rain + "INF_LAYERED_SOIL\nCONDUCTIVITY ks.asc\nMOISTURE m.asc\n");
  EXPECT_EQ(in().soil_params, (std::array<int, 5>{0, 0, 0, 0, 0}));
  EXPECT_EQ(in().moisture, 0);

  clear_errors();
  state_ = std::make_unique<model_state>();
  read_and_check(rain + "GREEN_AMPT\nCONDUCTIVITY ks.asc\nMOISTURE m.asc\n");
  EXPECT_EQ(in().soil_params, (std::array<int, 5>{1, 0, 0, 0, 0}));
  EXPECT_EQ(in().moisture, 1);

  // Explicit routing with erosion routes channel sediment.
  clear_errors();
  state_ = std::make_unique<model_state>();
  read_and_check(rain + "CHAN_EXPLIC\nSOIL_EROSION\n");
  EXPECT_EQ(in().chan_sed_routing, 1);

  clear_errors();
  state_ = std::make_unique<model_state>();
  read_and_check(rain + "SOIL_EROSION\n");
  EXPECT_EQ(in().chan_sed_routing, 0);
}

// A discharge output without explicit routing loses its flag. The output
// card itself is cleared by the gate, so the flag is set as the reader of a
// later version leaves it.
TEST_F(option_checks, channel_discharge_output_needs_explicit_routing) {
  for (int method : {0, 3}) {
    clear_errors();
    state_ = std::make_unique<model_state>();
    read_run(rain);
    in().chan_discharge_output = 1;
    in().explicit_channel = method == 3;
    test_support::stdout_capture out;
    check_project_options(*state_);
    out.stop();
    EXPECT_EQ(in().chan_discharge_output, method == 3 ? 1 : 0);
  }
}

// Stream losses go through the beds to the ground below without the
// groundwater model and into the aquifer with it: neither is refused.
TEST_F(option_checks, stream_losses_are_taken_with_or_without_the_groundwater_model) {
  for (const bool groundwater : {false, true}) {
    SCOPED_TRACE(groundwater);
    clear_errors();
    state_ = std::make_unique<model_state>();
    const std::string path = project(
        rain + "STREAM_LOSS\n" +
        (groundwater ? "WATER_TABLE table.asc\nGW_SIMULATION\nINF_REDIST\n" : ""));
    {
      test_support::stdout_capture out;
      read_run_parameters(path.c_str(), *state_);
      out.stop();
    }
    test_support::stdout_capture out;
    check_project_options(*state_);
    const std::string printed = out.stop();
    EXPECT_FALSE(contains(printed, "STREAM_LOSS")) << printed;
  }
  clear_errors();
}

// The gate, one test per effect class.
TEST_F(option_checks, switch_cards_of_unbuilt_processes_refuse_the_run_after_the_checks) {
  std::string path =
      project(rain + "STORM_SEWER sewer.txt\nOV_PUMP pumps.txt\n");
  std::string read_output;
  std::string check_output;
  {
    test_support::stdout_capture out;
    read_run_parameters(path.c_str(), *state_);
    read_output = out.stop();
  }
  EXPECT_FALSE(contains(read_output, "not available"));
  EXPECT_EQ(error_state.stop_flag, 0);
  // Stored while read, so the checks see them.
  EXPECT_EQ(settings().storm_sewer, "sewer.txt");
  EXPECT_EQ(settings().ov_pump, "pumps.txt");
  {
    test_support::stdout_capture out;
    check_project_options(*state_);
    check_output = out.stop();
  }
  EXPECT_EQ(check_output,
            "Error: the project card OV_PUMP needs pumps, which is not available in this "
            "version.\n"
            "\n");
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_EQ(error_state.code, 0);  // 4000 was reported at once
}

TEST_F(option_checks, a_code_of_the_checks_comes_before_the_gate) {
  std::string printed = read_and_check(rain + "CHAN_DRAIN\nLOWSPOT_FILE low.txt\n");
  EXPECT_EQ(error_state.code, 35);
  EXPECT_FALSE(contains(printed, "not available"));
}

TEST_F(option_checks, output_cards_of_unwritten_files_are_cleared_with_a_warning) {
  std::string printed = read_and_check(
      rain + "CELL_HYDRO cells.txt\nDIS_PROFILE profile.txt\nDAILY_OUTPUT daily.txt\n"
             "SUMMARY run.sum\nOUTLET_HYDRO outlet.hyd\n");
  EXPECT_TRUE(contains(printed,
                       "Warning: the project card CELL_HYDRO asks for location outputs, which "
                       "this version does not write; the card is ignored.\n"
                       "Warning: the project card DIS_PROFILE asks for channel outputs, which "
                       "this version does not write; the card is ignored.\n"
                       "Warning: the project card DAILY_OUTPUT asks for the daily output, "
                       "which this version does not write; the card is ignored.\n"));
  EXPECT_FALSE(contains(printed, "SUMMARY"));
  EXPECT_FALSE(contains(printed, "OUTLET_HYDRO"));
  EXPECT_EQ(settings().cell_hydro, "");
  EXPECT_EQ(settings().cell_hydro_given, 0);
  EXPECT_EQ(settings().dis_profile, "");
  EXPECT_EQ(settings().dis_profile_given, 0);
  EXPECT_EQ(settings().daily_output, "");
  EXPECT_EQ(settings().daily_output_given, 0);
  EXPECT_EQ(settings().summary, "run.sum");
  EXPECT_EQ(settings().outlet_hydro_given, 1);
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "gw.txt"));
  EXPECT_EQ(error_state.code, 0);
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST_F(option_checks, parameter_cards_of_unbuilt_processes_are_stored_silently) {
  std::string path = project(rain + "K_RIVER 0.5\nGW_TIMESTEP 60\n");
  test_support::stdout_capture out;
  read_run_parameters(path.c_str(), *state_);
  check_project_options(*state_);
  std::string printed = out.stop();
  EXPECT_EQ(printed, "reading run parameters from project file: " + path +
                         "\n\nfinished reading project file\n");
  EXPECT_DOUBLE_EQ(settings().k_river, 0.5);
  EXPECT_DOUBLE_EQ(settings().gw_timestep, 60.0);
  EXPECT_EQ(error_state.stop_flag, 0);
}
