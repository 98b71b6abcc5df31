// Reading the project file: the magic line, the defaults, every value kind and
// card rule, the cards that act at once, and bad input.

#include <gtest/gtest.h>
#include <omp.h>

#include <filesystem>
#include <functional>
#include <string>

#include "input/project_settings.h"
#include "project_test_support.h"

namespace fs = std::filesystem;

using read_project = project_test;

TEST_F(read_project, fixture_with_every_card_word_reads_without_an_unknown_card) {
  fs::copy(fs::path(VALTO_FIXTURES_DIR) / "project" / "all_cards", dir_.path() / "all_cards");
  test_support::scoped_cwd cwd(dir_.path() / "all_cards");
  std::string output;
  {
    test_support::stdout_capture out;
    read_project_file("project.prj", settings(), params(), precip());
    output = out.stop();
  }
  EXPECT_EQ(output.find("unknown card"), std::string::npos) << output;
  EXPECT_EQ(error_state.code, 0);
  EXPECT_EQ(error_state.stop_flag, 0);
  EXPECT_EQ(params().project_file_missing, 0);
  // The last cards of the file were applied too.
  EXPECT_EQ(settings().xybdyinput_sttimeseries, "xy_stream_ts.txt");
  EXPECT_EQ(params().rows, 3);
  EXPECT_EQ(params().start_date_year, 2000);
  EXPECT_EQ(params().end_time_day, 2);
  EXPECT_EQ(settings().calib_comp_data, 1);
  EXPECT_EQ(settings().calib_obj_func, 0);
  EXPECT_EQ(settings().richards_upper_option, 3);
  ASSERT_NE(settings().nutrient_record, nullptr);
  EXPECT_EQ(settings().nutrient_record->st_init[8].kind, 3);
  EXPECT_EQ(settings().nutrient_record->aq_env, "aq_env.txt");
  EXPECT_FALSE(settings().unbuilt_cards.empty());
}

TEST_F(read_project, magic_line_alone_gives_exactly_the_defaults) {
  // Values left by an earlier run must not survive the clearing.
  settings().long_term = 1;
  settings().overtype = 9;
  settings().roughness = "old.asc";
  settings().unbuilt_cards.push_back("long_term");
  settings().nutrient_record = std::make_unique<nutrient_settings>();
  params().rows = 12;
  params().channel_method = 3;
  precip().precip_source = 1;
  precip().precip_file = "old.txt";

  EXPECT_EQ(read_cards(""), "");
  const project_settings& s = settings();
  EXPECT_EQ(s.overtype, 2);
  EXPECT_DOUBLE_EQ(s.event_min_q, 0.1);
  EXPECT_DOUBLE_EQ(s.soil_moist_depth, 0.4);
  EXPECT_DOUBLE_EQ(s.m_river, 1.0);
  EXPECT_DOUBLE_EQ(s.k_river, 0.0);
  EXPECT_DOUBLE_EQ(s.max_courant_number, 0.2);
  EXPECT_DOUBLE_EQ(s.first_order_chan_q, 0.0);
  EXPECT_DOUBLE_EQ(s.m_lake, 10.0);
  EXPECT_DOUBLE_EQ(s.richards_weight, 1.0);
  EXPECT_DOUBLE_EQ(s.richards_dtheta_max, 0.0025);
  EXPECT_EQ(s.richards_k_option, 2);
  EXPECT_EQ(s.richards_c_option, 0);
  EXPECT_EQ(s.richards_upper_option, 1);
  EXPECT_EQ(s.richards_iter_max, 1);
  EXPECT_DOUBLE_EQ(s.aquifer_delta_z, -999.9);
  EXPECT_EQ(s.soil_erosion_value, 1);
  EXPECT_EQ(s.soil_erosion, 0);
  EXPECT_DOUBLE_EQ(s.gw_timestep, 1.0);
  EXPECT_DOUBLE_EQ(s.gw_lsor_con, 0.00001);
  EXPECT_DOUBLE_EQ(s.single_unsat_sat, 0.75);
  EXPECT_DOUBLE_EQ(s.kinetics_timestep_factor, 1.0);
  EXPECT_EQ(s.qtr_event_num, -1);
  EXPECT_EQ(s.x_freq, -1);
  EXPECT_EQ(s.xwin_width, 1000);
  EXPECT_EQ(s.xwin_height, 660);
  EXPECT_EQ(s.calib_comp_data, 2);
  EXPECT_EQ(s.calib_obj_func, 2);
  EXPECT_DOUBLE_EQ(s.chan_ph, 7.2);
  // Everything else starts at 0 or empty.
  EXPECT_EQ(s.long_term, 0);
  EXPECT_EQ(s.roughness, "");
  EXPECT_EQ(s.roughness_given, 0);
  EXPECT_TRUE(s.unbuilt_cards.empty());
  EXPECT_EQ(s.nutrient_record, nullptr);
  EXPECT_EQ(s.nutrients, 0);
  EXPECT_DOUBLE_EQ(s.km_koc[11], 0.0);
  EXPECT_EQ(params().rows, 0);
  EXPECT_EQ(params().channel_method, 0);
  EXPECT_EQ(params().infiltration_method, 0);
  EXPECT_DOUBLE_EQ(params().timestep, 0.0);
  EXPECT_EQ(precip().precip_source, 0);
  EXPECT_EQ(precip().precip_file, "");
  EXPECT_EQ(precip().rain_interpolation, 0);
}

TEST_F(read_project, magic_line_must_match_byte_for_byte) {
  struct magic_case {
    const char* text;
    bool valid;
  };
  const magic_case cases[] = {
      {"VALTOPROJECT\nROWS 4\n", true},
      {"KIRNABPROJECT\nROWS 4\n", true},
      {"VALTOPROJECT", true},
      {"VALTOPROJECT\r\nROWS 4\r\n", false},
      {"valtoproject\nROWS 4\n", false},
      {"VALTOPROJECT \nROWS 4\n", false},
      {"VALTOPROJECT # comment\n", false},
      {"\nVALTOPROJECT\n", false},
      {"", false},
  };
  const std::string three_lines =
      "File Does not Appear to be a Valid VALTO/KIRNAB Project file\n"
      "Perhaps you Should Issue a 'dos2unix' Command if you are on a Unix machine?\n"
      "VALTO Terminating....\n";
  for (const magic_case& c : cases) {
    clear_errors();
    std::string path = dir_.write("magic.prj", c.text);
    stderr_capture err;
    test_support::stdout_capture out;
    read_project_file(path.c_str(), settings(), params(), precip());
    out.stop();
    std::string errors = err.stop();
    if (c.valid) {
      EXPECT_EQ(errors, "") << c.text;
      EXPECT_EQ(error_state.stop_flag, 0) << c.text;
    } else {
      EXPECT_EQ(errors, three_lines) << c.text;
      EXPECT_EQ(error_state.stop_flag, 1) << c.text;  // code 4000, reported at once
      EXPECT_EQ(error_state.code, 0) << c.text;
    }
  }
}

TEST_F(read_project, missing_project_file_stops_with_code_3) {
  std::string path = dir_.file("nowhere.prj");
  stderr_capture err;
  test_support::stdout_capture out;
  read_run_parameters(path.c_str(), *state_);
  out.stop();
  EXPECT_EQ(err.stop(), "Error opening project file named: " + path + "\n");
  EXPECT_EQ(params().project_file_missing, 1);
  EXPECT_EQ(error_state.code, 3);
  EXPECT_EQ(error_state.stop_flag, 1);
}

// One table for the value kinds and every card rule: the cards, the text the
// reader prints, and what must hold afterwards.
TEST_F(read_project, value_kinds_and_card_rules) {
  using check = std::function<void(const input_state&)>;
  struct rule_case {
    const char* cards;
    const char* printed;
    check holds;
  };
  const std::string reten_usage =
      "Warning: Incorrect use of RETEN_DEPTH card\n  Usage: RETEN_DEPTH <filename>-or-\n"
      "RETENTION <value>  -or-\nRETEN_DEPTH \n  Using 0.004000 for the uniform retention depth\n\n";
  const rule_case cases[] = {
      // flag, integer, real, name; a later card overwrites an earlier one
      {"PAUSE\nROWS 3\nROWS 4\nTIMESTEP 2.5\nWATERSHED_MASK mask.asc\n", "",
       [](const input_state& s) {
         EXPECT_EQ(s.settings.pause, 1);
         EXPECT_EQ(s.params.rows, 4);
         EXPECT_DOUBLE_EQ(s.params.timestep, 2.5);
         EXPECT_EQ(s.settings.watershed_mask, "mask.asc");
         EXPECT_EQ(s.settings.watershed_mask_given, 1);
       }},
      // values may be separated by commas and tabs; the card word by either
      {"START_DATE 2001,2,\t3\nSTART_TIME\t13 45\nEND_TIME 2002 4 5 6 7\n", "",
       [](const input_state& s) {
         EXPECT_EQ(s.params.start_date_year, 2001);
         EXPECT_EQ(s.params.start_date_month, 2);
         EXPECT_EQ(s.params.start_date_day, 3);
         EXPECT_EQ(s.params.start_time_hour, 13);
         EXPECT_EQ(s.params.start_time_minute, 45);
         EXPECT_EQ(s.params.end_time_year, 2002);
         EXPECT_EQ(s.params.end_time_minute, 7);
       }},
      // a missing value stores 0 or an empty name and still sets the flag
      {"ROWS\nGRIDSIZE\nROUGHNESS\nMANNING_N\nGMT\nAREA_REDUCTION\n", "",
       [](const input_state& s) {
         EXPECT_EQ(s.params.rows, 0);
         EXPECT_DOUBLE_EQ(s.params.gridsize, 0.0);
         EXPECT_EQ(s.settings.roughness, "");
         EXPECT_EQ(s.settings.roughness_given, 1);
         EXPECT_EQ(s.settings.manning_n_given, 1);
         EXPECT_EQ(s.params.gmt_given, 1);
         EXPECT_EQ(s.settings.area_reduction_given, 1);
       }},
      // a date field that is not a number reads as 0 and uses up its token;
      // a number card takes the number its value starts with (one that is no
      // number at all is refused, below)
      {"START_DATE abc 7 8\nCOLS 5abc\n", "",
       [](const input_state& s) {
         EXPECT_EQ(s.params.start_date_year, 0);
         EXPECT_EQ(s.params.start_date_month, 7);
         EXPECT_EQ(s.params.start_date_day, 8);
         EXPECT_EQ(s.params.cols, 5);
       }},
      // a quoted name keeps its blanks and commas
      {"ROUGHNESS \"my maps/rough, v2.asc\" extra\nELEVATION \"dem.asc\"\n", "",
       [](const input_state& s) {
         EXPECT_EQ(s.settings.roughness, "my maps/rough, v2.asc");
         EXPECT_EQ(s.settings.elevation, "dem.asc");
       }},
      // card words in any case; comments and ignored words in silence
      {"  # note\nTpG\nmetric\ngridSize 30\n#ROWS 9\n\n", "",
       [](const input_state& s) {
         EXPECT_DOUBLE_EQ(s.params.gridsize, 30.0);
         EXPECT_EQ(s.params.rows, 0);
       }},
      {"OVERTYPE ade-pc\n", "", [](const input_state& s) { EXPECT_EQ(s.settings.overtype, 3); }},
      {"OVERTYPE ADE-PC\n", "", [](const input_state& s) { EXPECT_EQ(s.settings.overtype, 3); }},
      {"OVERTYPE Explicit\n", "", [](const input_state& s) { EXPECT_EQ(s.settings.overtype, 1); }},
      {"OVERTYPE explicit\nOVERTYPE ade\n", "",
       [](const input_state& s) { EXPECT_EQ(s.settings.overtype, 2); }},
      {"OVERTYPE 7\n", "", [](const input_state& s) { EXPECT_EQ(s.settings.overtype, 7); }},
      {"OVERTYPE kinematic\n", "", [](const input_state& s) { EXPECT_EQ(s.settings.overtype, 2); }},
      {"OVERTYPE 1\nOVERTYPE ade_pc\n", "",
       [](const input_state& s) { EXPECT_EQ(s.settings.overtype, 1); }},
      {"RICHARDS_K_OPTION ARITHMETIC\nRICHARDS_C_OPTION brooks-corey\n"
       "RICHARDS_UPPER_OPTION green_ampt\n",
       "",
       [](const input_state& s) {
         EXPECT_EQ(s.settings.richards_k_option, 1);
         EXPECT_EQ(s.settings.richards_c_option, 1);
         EXPECT_EQ(s.settings.richards_upper_option, 2);
       }},
      {"RICHARDS_K_OPTION geom\nRICHARDS_C_OPTION Haverkamp\nRICHARDS_UPPER_OPTION avera\n", "",
       [](const input_state& s) {
         EXPECT_EQ(s.settings.richards_k_option, 2);
         EXPECT_EQ(s.settings.richards_c_option, 2);
         EXPECT_EQ(s.settings.richards_upper_option, 3);
       }},
      // an unmatched word keeps K and C but sets the upper option to 0
      {"RICHARDS_K_OPTION harmonic\nRICHARDS_C_OPTION other\nRICHARDS_UPPER_OPTION other\n", "",
       [](const input_state& s) {
         EXPECT_EQ(s.settings.richards_k_option, 2);
         EXPECT_EQ(s.settings.richards_c_option, 0);
         EXPECT_EQ(s.settings.richards_upper_option, 0);
       }},
      {"RETEN_DEPTH retention.asc\n", "",
       [](const input_state& s) {
         EXPECT_EQ(s.settings.reten_depth, "retention.asc");
         EXPECT_EQ(s.settings.reten_depth_given, 1);
         EXPECT_EQ(s.settings.retention_given, 0);
       }},
      {"RETEN_DEPTH\n", "",
       [](const input_state& s) {
         EXPECT_EQ(s.settings.reten_depth, "");
         EXPECT_EQ(s.settings.reten_depth_given, 1);
       }},
      {"RETEN_DEPTH 0.004\n", reten_usage.c_str(),
       [](const input_state& s) {
         EXPECT_DOUBLE_EQ(s.settings.retention, 0.004);
         EXPECT_EQ(s.settings.retention_given, 1);
         EXPECT_EQ(s.settings.reten_depth_given, 0);
       }},
      {"INIT_SWE_DEPTH 0.25\n", "",
       [](const input_state& s) {
         EXPECT_EQ(s.settings.init_swe_depth_kind, 3);
         EXPECT_DOUBLE_EQ(s.settings.init_swe_depth_value, 0.25);
       }},
      {"INIT_SWE_DEPTH swe_start.asc\n", "",
       [](const input_state& s) {
         EXPECT_EQ(s.settings.init_swe_depth_kind, 1);
         EXPECT_EQ(s.settings.init_swe_depth_name, "swe_start.asc");
       }},
      {"QTR_EVENT_NUM 4\n", "",
       [](const input_state& s) {
         EXPECT_EQ(s.settings.qtr_event_num, 4);
         EXPECT_EQ(s.settings.qtr_event_num_given, 1);
       }},
      {"QTR_EVENT_NUM\n", "",
       [](const input_state& s) {
         EXPECT_EQ(s.settings.qtr_event_num, -1);
         EXPECT_EQ(s.settings.qtr_event_num_given, 1);
       }},
      {"ALPHA 0.5\nCHANNEL_DELTAT 30\nN_LINKS 12\nQ_MIN 0.25\n",
       "Alpha = 0.500000\nChannel time step = 30\nNumber of links = 12\n"
       "Minimum channel flow = 0.250000\n",
       [](const input_state& s) { EXPECT_EQ(s.params.units, 0); }},
      {"UNITS 1\n", "Units flag = 1\n", [](const input_state& s) { EXPECT_EQ(s.params.units, 1); }},
      {"GMT -6\nMANNING_N 0.035\nRETENTION 0.002\nUNIF_AREA_REDUCTION 0.3\n", "",
       [](const input_state& s) {
         EXPECT_DOUBLE_EQ(s.params.gmt, -6.0);
         EXPECT_EQ(s.params.gmt_given, 1);
         EXPECT_DOUBLE_EQ(s.settings.manning_n, 0.035);
         EXPECT_EQ(s.settings.manning_n_given, 1);
         EXPECT_EQ(s.settings.retention_given, 1);
         EXPECT_EQ(s.settings.unif_area_reduction_given, 1);
       }},
      {"GW_BOUNDFILE\n", "", [](const input_state& s) { EXPECT_EQ(s.settings.gw_boundfile_given, 0); }},
      {"GW_BOUNDFILE bounds.txt\n", "",
       [](const input_state& s) {
         EXPECT_EQ(s.settings.gw_boundfile_given, 1);
         EXPECT_EQ(s.settings.gw_boundfile, "bounds.txt");
       }},
      {"SOIL_EROSION 3\nFLUSH_BUFFER 100\n", "",
       [](const input_state& s) {
         EXPECT_EQ(s.settings.soil_erosion, 1);
         EXPECT_EQ(s.settings.soil_erosion_value, 3);
         EXPECT_EQ(s.settings.flush_buffer, 1);
         EXPECT_EQ(s.settings.flush_buffer_lines, 100);
       }},
      {"SOILS_NSM_P\nSOILS_NSM_N\n", "",
       [](const input_state& s) {
         EXPECT_EQ(s.settings.soils_nsm_p, 2);
         EXPECT_EQ(s.settings.soils_nsm_c, 0);
         EXPECT_EQ(s.settings.soils_nsm_n, 2);
       }},
      {"SNOW_TEMP temperatures.txt\n", "",
       [](const input_state& s) {
         EXPECT_EQ(s.settings.snow_temp, "temperatures.txt");
         EXPECT_EQ(s.settings.snow_temp_given, 1);
         EXPECT_EQ(s.settings.xybdyoutput, 0);
         EXPECT_EQ(s.settings.xybdyoutput_pts, "");
       }},
      {"DIFFUSIVE_WAVE\n", "",
       [](const input_state& s) {
         EXPECT_EQ(s.params.channel_method, 3);
         EXPECT_EQ(s.settings.non_ortho_channels, 1);
       }},
      {"CHAN_EXPLIC\nCHAN_MESH\n", "",
       [](const input_state& s) {
         EXPECT_EQ(s.params.channel_method, 4);
         EXPECT_EQ(s.settings.non_ortho_channels, 1);
       }},
      {"INF_RICHARDS\nGREEN_AMPT\n", "",
       [](const input_state& s) { EXPECT_EQ(s.params.infiltration_method, 1); }},
      {"INF_LAYERED_SOIL\n", "", [](const input_state& s) { EXPECT_EQ(s.params.infiltration_method, 3); }},
      {"PRECIP_FILE rain.txt\nRAIN_THIESSEN\n", "",
       [](const input_state& s) {
         EXPECT_EQ(s.precip.precip_source, 1);
         EXPECT_EQ(s.precip.precip_file, "rain.txt");
         EXPECT_EQ(s.precip.precip_file_given, 1);
         EXPECT_EQ(s.precip.rain_interpolation, 1);
       }},
      {"PRECIP_FILE rain.txt\nPRECIP_UNIF\nRAIN_INTENSITY 12.5\nRAIN_DURATION 45\n", "",
       [](const input_state& s) {
         EXPECT_EQ(s.precip.precip_source, 0);
         EXPECT_DOUBLE_EQ(s.precip.rain_intensity, 12.5);
         EXPECT_EQ(s.precip.rain_duration, 45);
       }},
      {"INTERCEPTION\n", "",
       [](const input_state& s) {
         EXPECT_EQ(s.settings.storage_capacity_given, 1);
         EXPECT_EQ(s.settings.interception_coeff_given, 1);
         EXPECT_EQ(s.settings.storage_capacity, "");
       }},
      {"NH4_KOC 2.5\nOP_KM 1.5\n", "",
       [](const input_state& s) {
         EXPECT_DOUBLE_EQ(s.settings.km_koc[8], 2.5);
         EXPECT_DOUBLE_EQ(s.settings.km_koc[4], 1.5);
         EXPECT_EQ(s.settings.km_koc_given, 1);
       }},
      {"CALIB_COMP_DATA DAILY_VALUES\nCALIB_OBJ_FUNC HMLE\n", "",
       [](const input_state& s) {
         EXPECT_EQ(s.settings.calib_comp_data, 0);
         EXPECT_EQ(s.settings.calib_obj_func, 1);
       }},
      // synonyms share the field of the first word
      {"EMBANKMENT dikes.asc\nSACRAMENTO_PARS sac.txt\nGW_FLUX_BOUNDTABLE flux.txt\nSOIL_CONTAM\n"
       "READ_OV_HOTSTART depths.asc\n",
       "",
       [](const input_state& s) {
         EXPECT_EQ(s.settings.dike_map, "dikes.asc");
         EXPECT_EQ(s.settings.sacramento, "sac.txt");
         EXPECT_EQ(s.settings.gw_fluxboundtable, "flux.txt");
         EXPECT_EQ(s.params.gw_fluxboundtable_given, 1);
         EXPECT_EQ(s.settings.soil_con_trans, 1);
         EXPECT_EQ(s.settings.ov_init_depth, "depths.asc");
       }},
      {"INITIAL_DEPTH depths.asc\n", "",
       [](const input_state& s) {
         EXPECT_EQ(s.settings.ov_init_depth, "depths.asc");
         EXPECT_EQ(s.settings.ov_init_depth_given, 1);
       }},
      // plotting and dataset cards are stored with no effect and no message
      {"XWINDOWS\nX_FREQ 5\nPARB_FILE data.parb\nPARB_COMPRESSION 2\n", "",
       [](const input_state& s) {
         EXPECT_EQ(s.settings.xwindows, 1);
         EXPECT_EQ(s.settings.x_freq, 5);
         EXPECT_EQ(s.settings.parb_file, "data.parb");
       }},
  };
  for (const rule_case& c : cases) {
    clear_errors();
    std::string printed = read_cards(c.cards);
    EXPECT_EQ(printed, c.printed) << c.cards;
    EXPECT_EQ(error_state.stop_flag, 0) << c.cards;
    SCOPED_TRACE(c.cards);
    c.holds(in());
  }
}

TEST_F(read_project, a_line_of_255_characters_is_read_whole) {
  std::string name(255 - std::string("ROUGHNESS ").size(), 'r');
  read_cards("ROUGHNESS " + name + "\n");
  EXPECT_EQ(settings().roughness, name);
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST_F(read_project, a_longer_line_stops_the_reading_naming_its_line) {
  std::string name(256 - std::string("ROUGHNESS ").size(), 'r');
  std::string path = project("ROWS 2\n# comment\nROUGHNESS " + name + "\nCOLS 5\n");
  test_support::stdout_capture out;
  read_project_file(path.c_str(), settings(), params(), precip());
  EXPECT_EQ(out.stop(), "Error: line 4 of the project file " + path +
                            " is longer than 255 characters.\n\n");
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_EQ(params().rows, 2);
  EXPECT_EQ(settings().roughness, "");
  EXPECT_EQ(params().cols, 0);
}

TEST_F(read_project, a_line_far_beyond_the_buffer_is_refused_whole) {
  std::string path = project("COMMENT_WORD " + std::string(30000, 'x') + "\nROWS 3\n");
  test_support::stdout_capture out;
  read_project_file(path.c_str(), settings(), params(), precip());
  EXPECT_NE(out.stop().find("line 2 of the project file"), std::string::npos);
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_EQ(params().rows, 0);
}

TEST_F(read_project, folder_cards_set_the_process_folders_with_a_slash) {
  read_cards("PROJECT_PATH /data/basin\nOUTPUT_FOLDER results\n");
  EXPECT_STREQ(project_directory, "/data/basin/");
  EXPECT_STREQ(output_directory, "results/");
  EXPECT_EQ(output_directory_set, 1);
  EXPECT_EQ(settings().project_folder, "/data/basin");
  EXPECT_EQ(settings().replace_folder, "results");

  read_cards("PROJECT_FOLDER\nREPLACE_FOLDER out/\n");
  EXPECT_STREQ(project_directory, "/data/basin/");  // an empty name changes nothing
  EXPECT_STREQ(output_directory, "out/");
  EXPECT_EQ(settings().project_folder_given, 1);
}

TEST_F(read_project, num_threads_sets_the_thread_count_and_refuses_zero) {
  EXPECT_EQ(read_cards("NUM_THREADS 3\n"), "Setting the thread level to 3.\n");
  EXPECT_EQ(parallel.total_threads, 3);
  EXPECT_EQ(omp_get_max_threads(), 3);

  EXPECT_EQ(read_cards("NUM_THREADS 0\n"), "Error: unable to set the thread level to 0.\n");
  EXPECT_EQ(parallel.total_threads, 3);
  EXPECT_EQ(omp_get_max_threads(), 3);
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST_F(read_project, super_quiet_silences_later_notices_but_not_warnings) {
  std::string printed = read_cards("UNITS 1\nSUPER_QUIET\nUNITS 2\nNOT_A_CARD\n");
  EXPECT_EQ(printed,
            "Units flag = 1\nWarning: unknown card found in the project file: not_a_card\n");
  EXPECT_EQ(settings().super_quiet, 1);
  EXPECT_EQ(quiet_flag, 1);
  EXPECT_EQ(params().units, 2);
}

TEST_F(read_project, nutrient_cards_fill_the_record_made_by_nutrients) {
  std::string printed = read_cards(
      "NUTRIENTS\nOV_INIT_NO3 1.5\nOV_INIT_DO do_map.asc\nOV_DISPERSION\nST_INIT_ALG 2\n"
      "AQ_ENV env.txt\nNUTRIENTS\nOV_DOC_FOC 0.2\n");
  EXPECT_EQ(printed,
            "Warning: a second NUTRIENTS card was found in the project file; the nutrient "
            "settings read so far are kept.\n");
  ASSERT_NE(settings().nutrient_record, nullptr);
  const nutrient_settings& n = *settings().nutrient_record;
  EXPECT_EQ(n.ov_init[1].kind, 3);
  EXPECT_DOUBLE_EQ(n.ov_init[1].value, 1.5);
  EXPECT_EQ(n.ov_init[8].kind, 1);
  EXPECT_EQ(n.ov_init[8].name, "do_map.asc");
  EXPECT_EQ(n.ov_init[11].kind, 2);
  EXPECT_EQ(n.ov_init[10].kind, 3);  // read after the second NUTRIENTS, same record
  EXPECT_EQ(n.st_init[6].kind, 3);
  EXPECT_DOUBLE_EQ(n.st_init[6].value, 2.0);
  EXPECT_EQ(n.aq_env, "env.txt");
  EXPECT_EQ(settings().nutrients, 1);
}

TEST_F(read_project, a_nutrient_card_before_nutrients_stops_with_code_79) {
  struct order_case {
    const char* card;
    const char* group;
  };
  const order_case cases[] = {
      {"AQ_ENV env.txt", "AQ_ENV"},       {"OV_INIT_NO2 1", "OV_INIT_XXX"},
      {"OV_DISPERSION 2", "OV_INIT_XXX"}, {"ST_INIT_DO", "ST_INIT_XXX"},
      {"OUT_OV_NH4 a.out", "OUT_OV_XXX"}, {"OUT_ST_CBOD b.out", "OUT_ST_XXX"},
      {"OUT_HYD_DO c.out", "OUT_HYD_XXX"},
  };
  for (const order_case& c : cases) {
    clear_errors();
    read_cards(std::string("ROWS 2\n") + c.card + "\nCOLS 7\nNUTRIENTS\n");
    EXPECT_EQ(error_state.code, 79) << c.card;
    EXPECT_EQ(error_state.stop_flag, 1) << c.card;
    EXPECT_STREQ(error_state.text1, c.group) << c.card;
    EXPECT_EQ(params().rows, 2) << c.card;
    EXPECT_EQ(params().cols, 0) << c.card;  // the cards after it are not applied
    EXPECT_EQ(settings().nutrients, 0) << c.card;
  }
}

TEST_F(read_project, settings_cards_of_the_nutrient_family_need_no_nutrients_card) {
  read_cards("CHAN_PH 6.5\nSOILS_NSM_C\nNO2_KM 1\nDP_KOC 4\nSOURCEFILE src.txt\n");
  EXPECT_EQ(error_state.code, 0);
  EXPECT_DOUBLE_EQ(settings().chan_ph, 6.5);
  EXPECT_DOUBLE_EQ(settings().km_koc[0], 1.0);
  EXPECT_DOUBLE_EQ(settings().km_koc[11], 4.0);
  EXPECT_EQ(settings().sourcefile, "src.txt");
}

TEST_F(read_project, calibration_words_outside_their_lists_stop_with_103_and_104) {
  struct calib_case {
    const char* cards;
    int code;
  };
  const calib_case cases[] = {
      {"CALIB_COMP_DATA WEEKLY\nROWS 3\n", 103},
      {"CALIB_COMP_DATA daily\nROWS 3\n", 103},
      {"CALIB_COMP_DATA\nROWS 3\n", 103},
      {"CALIB_OBJ_FUNC RMSE \nROWS 3\n", 104},
      {"CALIB_OBJ_FUNC RMSEX\nROWS 3\n", 104},
      {"CALIB_OBJ_FUNC rmse\nROWS 3\n", 104},
  };
  for (const calib_case& c : cases) {
    clear_errors();
    read_cards(c.cards);
    EXPECT_EQ(error_state.code, c.code) << c.cards;
    EXPECT_EQ(error_state.stop_flag, 1) << c.cards;
    EXPECT_EQ(params().rows, 0) << c.cards;
    EXPECT_EQ(c.code == 103 ? settings().calib_comp_data : settings().calib_obj_func, 2);
  }
}

TEST_F(read_project, replace_line_sets_the_process_value_line) {
  read_cards("REPLACE_LINE 4\n");
  EXPECT_EQ(replace_line_index, 3);
  EXPECT_EQ(settings().replace_line, 4);
}

TEST_F(read_project, path_prescan_takes_the_first_project_path_card) {
  std::string path = project("ROWS 3\nPROJECT_PATH /first/dir\nPROJECT_PATH /second\n");
  test_support::stdout_capture out;
  read_project_path(path.c_str());
  out.stop();
  EXPECT_STREQ(project_directory, "/first/dir/");
}

TEST_F(read_project, path_prescan_without_card_takes_the_folder_of_the_file_name) {
  std::string path = project("ROWS 3\n", "sub/run.prj");
  {
    test_support::stdout_capture out;
    read_project_path(path.c_str());
    out.stop();
  }
  EXPECT_EQ(std::string(project_directory), (dir_.path() / "sub").string() + "/");

  project_directory[0] = '\0';
  test_support::scoped_cwd cwd(dir_.path() / "sub");
  test_support::stdout_capture out;
  read_project_path("run.prj");
  out.stop();
  EXPECT_STREQ(project_directory, "");
}

// A value that is no number, or that overflows its card's type, stops the
// reading with the file, line and card named, and never reaches the record.
TEST_F(read_project, a_number_card_refuses_what_does_not_read_as_its_number) {
  struct bad_number {
    const char* card;
    const char* message;
  };
  const bad_number cases[] = {
      {"ROWS 99999999999",
       "the value \"99999999999\" of card ROWS is not a whole number within the range of an int"},
      {"ROWS -2147483649",
       "the value \"-2147483649\" of card ROWS is not a whole number within the range of an int"},
      {"ROWS three", "the value \"three\" of card ROWS is not a whole number within the range"},
      {"GRIDSIZE ten", "the value \"ten\" of card GRIDSIZE is not a finite number"},
      {"OUTSLOPE x1", "the value \"x1\" of card OUTSLOPE is not a finite number"},
      {"GRIDSIZE nan", "the value \"nan\" of card GRIDSIZE is not a finite number"},
      {"GRIDSIZE 1e999", "the value \"1e999\" of card GRIDSIZE is not a finite number"},
  };
  for (const bad_number& c : cases) {
    SCOPED_TRACE(c.card);
    clear_errors();
    const std::string out = read_cards(std::string("COLS 4\n") + c.card + "\nTIMESTEP 30\n");
    EXPECT_NE(out.find(std::string("Error: line 3 of the project file ")), std::string::npos) << out;
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
    EXPECT_EQ(error_state.stop_flag, 1);
    EXPECT_EQ(params().rows, 0);
    EXPECT_EQ(params().cols, 4);
  }
  // Within range, and a real's start for an int card, read as before.
  clear_errors();
  read_cards("ROWS 2147483647\nCOLS 30.0\n");
  EXPECT_EQ(error_state.stop_flag, 0);
  EXPECT_EQ(params().rows, 2147483647);
  EXPECT_EQ(params().cols, 30);
}

// A calendar field beyond its range would overflow the clock's arithmetic;
// the card is refused naming the field, and the reading stops.
TEST_F(read_project, calendar_cards_refuse_fields_out_of_range) {
  const struct {
    const char* cards;
    const char* refusal;
  } cases[] = {
      {"START_TIME -2147483648 0\n", "START_TIME on line 2 of "},
      {"START_DATE 2000 13 1\n", "has the month 13; it must be from 1 to 12."},
      {"END_TIME 2000 1 1 0 60\n", "has the minute 60; it must be from 0 to 59."},
      {"START_DATE 2147483647 1 1\n", "has the year 2147483647; it must be from 0 to 9999."},
  };
  for (const auto& c : cases) {
    clear_errors();
    std::string printed = read_cards(c.cards);
    EXPECT_NE(printed.find(c.refusal), std::string::npos) << printed;
    EXPECT_EQ(error_state.stop_flag, 1) << c.cards;
  }
  clear_errors();
  EXPECT_EQ(read_cards("START_DATE 2000 12 31\nSTART_TIME 24 0\nEND_TIME 0 1 1 0 59\n"), "");
  EXPECT_EQ(error_state.stop_flag, 0);
}
