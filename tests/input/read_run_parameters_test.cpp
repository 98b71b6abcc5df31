// The first set-up phase: what read_run_parameters derives from the cards.

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>

#include "calibration/run_results.h"
#include "input/project_settings.h"
#include "project_test_support.h"

namespace {

// Uniform rain that passes the option checks.
const std::string rain = "RAIN_INTENSITY 10\nRAIN_DURATION 60\n";

}  // namespace

using run_parameters_test = project_test;

TEST_F(run_parameters_test, prints_its_notices_unless_a_trial_or_super_quiet) {
  std::string path = project(rain);
  EXPECT_EQ(read_run(rain), "reading run parameters from project file: " + path +
                                "\n\nfinished reading project file\n");

  state_ = std::make_unique<model_state>();
  EXPECT_EQ(read_run(rain + "SUPER_QUIET\n"),
            "reading run parameters from project file: " + path + "\n");

  quiet_flag = 0;
  run_results trial;
  state_ = std::make_unique<model_state>();
  state_->results = &trial;
  EXPECT_EQ(read_run(rain), "\nfinished reading project file\n");
}

TEST_F(run_parameters_test, event_cutoff_below_one_hundred_thousandth_becomes_0_05) {
  struct cutoff_case {
    const char* card;
    double cutoff;
  };
  const cutoff_case cases[] = {
      {"", 0.1},
      {"EVENT_MIN_Q 0\n", 0.05},
      {"EVENT_MIN_Q 0.000009\n", 0.05},
      {"EVENT_MIN_Q -1\n", 0.05},
      {"EVENT_MIN_Q 0.00001\n", 0.00001},
      {"EVENT_MIN_Q 2.5\n", 2.5},
  };
  for (const cutoff_case& c : cases) {
    state_ = std::make_unique<model_state>();
    read_run(rain + c.card);
    EXPECT_DOUBLE_EQ(in().event_min_q, c.cutoff) << c.card;
  }
}

TEST_F(run_parameters_test, uniform_rain_starts_at_start_date_and_time) {
  struct start_case {
    const char* cards;
    double julian;  // worked out by hand from the calendar
    int yyyymmdd;
    int hhmm;
  };
  const start_case cases[] = {
      {"START_DATE 2000 1 1\nSTART_TIME 0 0\n", 2451544.5, 20000101, 0},
      {"START_DATE 2024 3 15\nSTART_TIME 18 30\n", 2460384.5 + 18.5 / 24.0, 20240315, 1830},
  };
  for (const start_case& c : cases) {
    state_ = std::make_unique<model_state>();
    read_run(rain + c.cards);
    EXPECT_EQ(in().uniform_rain, 1);
    EXPECT_DOUBLE_EQ(in().rain_intensity, 10.0);
    EXPECT_EQ(in().rain_duration, 60);
    EXPECT_NEAR(in().start_time, c.julian, 1e-9) << c.cards;
    EXPECT_NEAR(state_->run.origin, c.julian, 1e-9) << c.cards;
    EXPECT_NEAR(state_->run.start_time, c.julian, 1e-9) << c.cards;
    EXPECT_EQ(state_->run.start_yyyymmdd, c.yyyymmdd);
    EXPECT_EQ(state_->run.start_hhmm, c.hhmm);
    EXPECT_EQ(in().inverse_distance, 1);
  }
}

TEST_F(run_parameters_test, end_time_with_a_year_sets_the_stop_time) {
  read_run(rain + "END_TIME 2000 1 2 12 0\n");
  EXPECT_EQ(in().stop_time_flag, 1);
  EXPECT_NEAR(in().stop_time, 2451546.0, 1e-9);

  state_ = std::make_unique<model_state>();
  read_run(rain + "END_TIME 0 1 2 12 0\n");
  EXPECT_EQ(in().stop_time_flag, 0);
}

TEST_F(run_parameters_test, map_type_4_stops_with_code_5) {
  read_run(rain + "MAP_TYPE 4\n");
  EXPECT_EQ(error_state.code, 5);
  EXPECT_EQ(error_state.stop_flag, 1);
}

TEST_F(run_parameters_test, map_type_chooses_the_map_output_kinds) {
  struct kind_case {
    int map_type;
    std::array<int, 3> kinds;
  };
  const kind_case cases[] = {{0, {1, 0, 0}}, {1, {0, 1, 0}}, {2, {0, 1, 1}}, {3, {0, 0, 0}}};
  for (const kind_case& c : cases) {
    state_ = std::make_unique<model_state>();
    read_run(rain + "MAP_TYPE " + std::to_string(c.map_type) + "\n");
    EXPECT_EQ(in().map_kind, c.kinds) << c.map_type;
  }
}

TEST_F(run_parameters_test, the_last_method_card_wins) {
  read_run(rain + "INF_RICHARDS\nGREEN_AMPT\nCHAN_MESH\nCHAN_EXPLIC\n");
  EXPECT_EQ(in().green_ampt, 1);
  EXPECT_EQ(in().inf_richards, 0);
  EXPECT_EQ(in().explicit_channel, 1);
  EXPECT_EQ(in().mesh_channel, 0);
  EXPECT_EQ(in().channel_routing, 1);
}

TEST_F(run_parameters_test, method_codes_set_their_flags) {
  struct method_case {
    const char* cards;
    std::array<int, 5> infiltration;  // green_ampt, inf_redist, cont_redist, layered, richards
    std::array<int, 5> channel;       // routing, explicit, implicit, drain, mesh
  };
  const method_case cases[] = {
      {"", {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}},
      {"INF_REDIST\nCHAN_PREISS\n", {0, 1, 1, 0, 0}, {0, 0, 0, 0, 0}},
      {"INF_REDIST\nNO_CONT_INF_REDIST\nCHAN_DRAIN\n", {0, 1, 0, 0, 0}, {1, 0, 1, 1, 0}},
      {"INF_LAYERED_SOIL\nCHAN_BACKWATER\n", {0, 0, 0, 1, 0}, {1, 0, 1, 0, 0}},
      {"INF_RICHARDS\nCHAN_MESH\n", {0, 0, 0, 0, 1}, {1, 0, 0, 0, 1}},
      {"GREEN_AMPT\nDIFFUSIVE_WAVE\n", {1, 0, 0, 0, 0}, {1, 1, 0, 0, 0}},
  };
  for (const method_case& c : cases) {
    state_ = std::make_unique<model_state>();
    read_run(rain + c.cards);
    const input_state& s = in();
    EXPECT_EQ((std::array<int, 5>{s.green_ampt, s.inf_redist, s.cont_redist, s.inf_layered_soil,
                                  s.inf_richards}),
              c.infiltration)
        << c.cards;
    EXPECT_EQ((std::array<int, 5>{s.channel_routing, s.explicit_channel, s.implicit_channel,
                                  s.drain_flag, s.mesh_channel}),
              c.channel)
        << c.cards;
  }
}

TEST_F(run_parameters_test, depth_cards_are_turned_into_centimetres) {
  read_run(rain + "TOP_LAYER_DEPTH 0.1\nMIXING_LAYER_DEPTH 0.025\n");
  EXPECT_DOUBLE_EQ(in().soil_moist_depth, 40.0);  // the 0.4 m default
  EXPECT_DOUBLE_EQ(in().top_layer_depth, 10.0);
  EXPECT_DOUBLE_EQ(in().mixing_layer_depth, 2.5);
  EXPECT_DOUBLE_EQ(in().uniform_soil_water, 0.15);
}

TEST_F(run_parameters_test, framework_exchange_names_are_put_in_the_exchange_folder) {
  read_run(rain + "VUNE vune_link.dat\nMOIST_TO_VUNE moist.asc\nET_DEMAND_FROM_VUNE et.asc\n"
                  "QTR_EVENT_NUM 3\n");
  EXPECT_EQ(in().exchange_file, "exchange/vune_link.dat");
  EXPECT_EQ(in().vune_files[0], "exchange/moist.asc");
  EXPECT_EQ(in().vune_files[12], "exchange/et.asc");
  EXPECT_EQ(in().vune, 1);
  EXPECT_EQ(in().qtr_event, 1);
  EXPECT_EQ(in().qtr_event_num, 3);
}

TEST_F(run_parameters_test, pause_sets_the_reporters_pause_flag) {
  pause_flag = 0;
  read_run(rain);
  EXPECT_EQ(pause_flag, 0);
  read_run(rain + "PAUSE\n");
  EXPECT_EQ(pause_flag, 1);
}

TEST_F(run_parameters_test, channel_settings_are_taken_over_only_with_explicit_routing) {
  read_run(rain + "K_RIVER 0.5\nSTREAM_LOSS\nOVERBANK_FLOW\nSTREAM_CELL cells.txt\n");
  EXPECT_DOUBLE_EQ(in().k_river, 0.0);
  EXPECT_DOUBLE_EQ(in().m_river, 0.0);
  EXPECT_EQ(in().stream_loss, 0);
  EXPECT_EQ(in().overbank_flow, 0);
  EXPECT_EQ(in().stream_cell, "");

  state_ = std::make_unique<model_state>();
  read_run(rain + "CHAN_EXPLIC\nK_RIVER 0.5\nSTREAM_LOSS\nOVERBANK_FLOW\nSTREAM_CELL cells.txt\n");
  EXPECT_DOUBLE_EQ(in().k_river, 0.5);
  EXPECT_DOUBLE_EQ(in().m_river, 1.0);
  EXPECT_DOUBLE_EQ(in().m_lake, 10.0);
  EXPECT_EQ(in().stream_loss, 1);
  EXPECT_EQ(in().overbank_flow, 1);
  EXPECT_EQ(in().stream_cell, "cells.txt");
}

// The hot-start output cards are cleared by the gate while the file is read,
// so the names are set here as a later version's reader will leave them.
TEST_F(run_parameters_test, written_channel_hotstart_gets_qht_and_dht_names) {
  settings().write_chan_hotstart = "chan_hot";
  settings().write_chan_hotstart_given = 1;
  settings().explic_hotstart = "old_hot";
  settings().explic_hotstart_given = 1;
  params().channel_method = 3;
  derive_run_fields(*state_);
  EXPECT_EQ(in().write_chan_hotstart, 1);
  EXPECT_EQ(in().chan_hotstart_qht, "chan_hot.qht");
  EXPECT_EQ(in().chan_hotstart_dht, "chan_hot.dht");
  EXPECT_EQ(in().read_chan_hotstart, 1);
  EXPECT_EQ(in().chan_hotstart_read, "old_hot");

  state_ = std::make_unique<model_state>();
  settings().explic_backwater = "back";
  settings().explic_backwater_given = 1;
  params().channel_method = 5;
  derive_run_fields(*state_);
  EXPECT_EQ(in().write_chan_hotstart, 0);
  EXPECT_EQ(in().chan_hotstart_qht, "");
}

TEST_F(run_parameters_test, map_cards_or_mapping_tables_put_maps_in_use) {
  struct use_case {
    const char* name;
    std::function<void(input_state&)> given;
    std::function<void(const input_state&)> holds;
  };
  const use_case cases[] = {
      {"roughness card", [](input_state& s) { s.settings.roughness_given = 1; },
       [](const input_state& s) { EXPECT_EQ(s.roughness_map, 1); }},
      {"roughness table", [](input_state& s) { s.map_table_present[1] = 1; },
       [](const input_state& s) { EXPECT_EQ(s.roughness_map, 1); }},
      {"MANNING_N with a roughness table",
       [](input_state& s) {
         s.settings.manning_n_given = 1;
         s.map_table_present[1] = 1;
       },
       [](const input_state& s) { EXPECT_EQ(s.roughness_map, 0); }},
      {"ALBEDO card", [](input_state& s) { s.settings.albedo_given = 1; },
       [](const input_state& s) { EXPECT_EQ(s.et_params, (std::array<int, 5>{1, 0, 0, 0, 0})); }},
      {"evapotranspiration table", [](input_state& s) { s.map_table_present[8] = 1; },
       [](const input_state& s) { EXPECT_EQ(s.et_params, (std::array<int, 5>{1, 1, 1, 1, 1})); }},
      {"Green and Ampt table under method 2",
       [](input_state& s) {
         s.params.infiltration_method = 2;
         s.map_table_present[4] = 1;
       },
       [](const input_state& s) {
         EXPECT_EQ(s.soil_params, (std::array<int, 5>{1, 1, 1, 1, 1}));
       }},
      {"Green and Ampt table under method 3 counts only the cards",
       [](input_state& s) {
         s.params.infiltration_method = 3;
         s.map_table_present[4] = 1;
         s.settings.porosity_given = 1;
       },
       [](const input_state& s) {
         EXPECT_EQ(s.soil_params, (std::array<int, 5>{0, 0, 1, 0, 0}));
       }},
      {"Green and Ampt table in a long-term run",
       [](input_state& s) {
         s.settings.long_term = 1;
         s.map_table_present[4] = 1;
       },
       [](const input_state& s) {
         EXPECT_EQ(s.soil_params, (std::array<int, 5>{1, 1, 1, 1, 1}));
       }},
      {"a named mapping table file", [](input_state& s) { s.settings.mapping_table_given = 1; },
       [](const input_state& s) { EXPECT_EQ(s.moisture, 1); }},
      {"water table with groundwater",
       [](input_state& s) {
         s.settings.water_table_given = 1;
         s.settings.gw_simulation = 1;
       },
       [](const input_state& s) {
         EXPECT_EQ(s.water_table, 1);
         EXPECT_EQ(s.gw_simulation, 1);
         EXPECT_EQ(s.stream_loss, 1);
       }},
      {"groundwater without a water table",
       [](input_state& s) { s.settings.gw_simulation = 1; },
       [](const input_state& s) { EXPECT_EQ(s.gw_simulation, 0); }},
      {"uniform retention",
       [](input_state& s) {
         s.settings.retention = 0.003;
         s.settings.retention_given = 1;
       },
       [](const input_state& s) { EXPECT_DOUBLE_EQ(s.retention_depth, 0.003); }},
  };
  for (const use_case& c : cases) {
    state_ = std::make_unique<model_state>();
    c.given(in());
    derive_run_fields(*state_);
    SCOPED_TRACE(c.name);
    c.holds(in());
  }
}
