// Opening the project's files: the role and path of the file that fails, the
// hot starts whose failure lets the opening go on, the maps a mapping table
// stands for, and the files created with their headers.

#include "input/open_project_files.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "grid_setup_fixture.h"

namespace {

using opening = grid_setup_test;

struct open_case {
  const char* label;
  std::string cards;                         // added to the strip's
  std::function<void(model_state&)> change;  // after the option checks
  int code;                                  // 0: every file opens
  std::string text1;                         // the role, or the first quoted name
  std::string text2;                         // the path
  std::string message;
};

std::string unable(const std::string& role, const std::string& path) {
  return "Error: Unable to open " + role + " file.\n  (File: " + path + ")\n";
}

TEST_F(opening, the_first_file_that_does_not_open_stops_the_opening_with_its_role_and_path) {
  const auto nothing = [](model_state&) {};
  const std::vector<open_case> cases = {
      {"every file there", "", nothing, 0, "", "", ""},
      {"mask", "WATERSHED_MASK nomask.asc\n", nothing, 4, "watershed mask", "nomask.asc",
       unable("watershed mask", "nomask.asc")},
      {"elevation", "ELEVATION noelev.asc\n", nothing, 4, "elevation data", "noelev.asc",
       unable("elevation data", "noelev.asc")},
      {"summary in a missing folder", "SUMMARY nodir/summary.out\n", nothing, 4, "output summary",
       "nodir/summary.out", unable("output summary", "nodir/summary.out")},
      {"outlet hydrograph", "OUTLET_HYDRO nodir/outlet.hyd\n", nothing, 4, "output hydrograph",
       "nodir/outlet.hyd", unable("output hydrograph", "nodir/outlet.hyd")},
      {"retention map", "RETEN_DEPTH noreten.asc\n", nothing, 4, "retention depth", "noreten.asc",
       unable("retention depth", "noreten.asc")},
      {"roughness map", "",
       [](model_state& s) {
         s.input.roughness_map = 1;
         s.input.settings.roughness = "norough.asc";
       },
       4, "Manning roughness", "norough.asc", unable("Manning roughness", "norough.asc")},
      {"roughness from the mapping table only", "",
       [](model_state& s) {
         s.input.roughness_map = 1;
         s.input.map_table_present[1] = 1;
       },
       0, "", "", ""},
      {"roughness flagged without its table", "", [](model_state& s) { s.input.roughness_map = 1; },
       4, "Manning roughness", "", unable("Manning roughness", "")},
      {"well locations of a groundwater run", "",
       [](model_state& s) {
         s.input.gw_simulation = 1;
         s.input.inf_richards = 1;  // no water table or aquifer bottom needed
         s.input.map_table_present[6] = 1;
         s.input.settings.gw_boundfile = "mask.asc";
         s.input.settings.gw_well_level_given = 1;
         s.input.settings.gw_well_level = "wells.out";
         s.input.settings.out_well_location = "nowells.txt";
       },
       4, "well location", "nowells.txt", unable("well location", "nowells.txt")},
      // The meteorology opened is the one the reader reads: ZEP, then the
      // gridded hours, then surface airways or SAMSON.
      {"gridded hours over SAMSON", "",
       [](model_state& s) {
         s.input.long_term = 1;
         project_settings& p = s.input.settings;
         p.hmet_samson_given = 1;
         p.hmet_samson = "mask.asc";
         p.hmet_ascii_given = 1;
         p.hmet_ascii = "nohours.txt";
       },
       4, "hydromet data", "nohours.txt", unable("hydromet data", "nohours.txt")},
      {"ZEP over gridded hours", "",
       [](model_state& s) {
         s.input.long_term = 1;
         project_settings& p = s.input.settings;
         p.hmet_zep_given = 1;
         p.hmet_zep = "nozep.txt";
         p.hmet_ascii_given = 1;
         p.hmet_ascii = "mask.asc";
       },
       4, "hydromet data", "nozep.txt", unable("hydromet data", "nozep.txt")},
      {"Richards without a soil type map or table", "",
       [](model_state& s) { s.input.inf_richards = 1; }, 4, "soil type", "",
       unable("soil type", "")},
      {"soil-water location output", "",
       [](model_state& s) {
         s.input.settings.in_theta_location_given = 1;
         s.input.settings.in_theta_location = "mask.asc";
         s.input.settings.out_theta_location = "nodir/theta.out";
       },
       48, "mask.asc", "nodir/theta.out (out_theta_location_file)",
       "Error: Can't open theta location output file: nodir/theta.out (out_theta_location_file)\n"
       "You specify the name of the output file which will contain the soil moisture\n"
       "ordinates at the points specified in the file mask.asc\n"},
      {"depth location output", "",
       [](model_state& s) {
         s.input.settings.in_hyd_location = "hyd.txt";
         s.input.settings.out_dep_location_given = 1;
         s.input.settings.out_dep_location = "nodir/dep.out";
       },
       50, "nodir/dep.out", "hyd.txt",
       "Error: Can't open depth location output file: nodir/dep.out\n"},
  };
  for (const open_case& c : cases) {
    SCOPED_TRACE(c.label);
    state_ = std::make_unique<model_state>();
    run_setup(strip_cards(c.cards), "check_project_options");
    ASSERT_FALSE(stopped());
    c.change(*state_);
    test_support::stdout_capture out;
    {
      test_support::scoped_cwd cwd(dir_.path());
      open_project_files(*state_);
    }
    EXPECT_EQ(error_state.code, c.code);
    EXPECT_EQ(stopped(), c.code != 0);
    if (c.code != 0) {
      EXPECT_EQ(error_state.text1, c.text1);
      EXPECT_EQ(error_state.text2, c.text2);
    }
    run_must_stop();
    const std::string printed = out.stop();
    EXPECT_TRUE(has(printed, c.message)) << printed;
    // The reporter writes to the summary file once it is open.
    EXPECT_EQ(summary_file, state_->output.summary.is_open() ? &state_->output.summary : nullptr);
    clear_errors();
  }
}

TEST_F(opening, a_missing_hot_start_is_recorded_and_the_opening_goes_on) {
  const auto later_output = [](model_state& s) {
    s.input.settings.lake_output_given = 1;
    s.input.settings.lake_output = "lake.out";
  };
  std::string out = run_setup(strip_cards("OV_INIT_DEPTH nodepths.asc\n"), "open_project_files",
                              "open_project_files", later_output);
  EXPECT_TRUE(stopped());
  EXPECT_TRUE(has(out, unable("overland hotstart", "nodepths.asc"))) << out;
  EXPECT_TRUE(state_->output.lake_output.is_open());
  EXPECT_FALSE(has(out, "reading watershed mask"));
  clear_errors();

  // A later failure replaces the first.
  state_ = std::make_unique<model_state>();
  out = run_setup(strip_cards("OV_INIT_DEPTH nodepths.asc\n"), "open_project_files",
                  "open_project_files", [&](model_state& s) {
                    later_output(s);
                    s.input.settings.read_sm_hotstart_given = 1;
                    s.input.settings.read_sm_hotstart = "nomoisture.asc";
                  });
  EXPECT_TRUE(has(out, unable("soil moisture hotstart", "nomoisture.asc"))) << out;
  EXPECT_FALSE(has(out, "overland hotstart"));
  EXPECT_TRUE(state_->output.lake_output.is_open());
}

TEST_F(opening, the_evaporation_output_starts_with_its_header_line) {
  const std::string columns =
      "yr/mo/day  hour     avg_theta    avg_pot      avgetrate    avgfav      avgbottomfav  CFGI  "
      "       temp(C)  ";
  struct evap_case {
    const char* label;
    std::function<void(model_state&)> method;
    std::string header;
  };
  const std::vector<evap_case> cases = {
      {"redistribution adds the two layers", [](model_state& s) { s.input.inf_redist = 1; },
       columns + " avg_theta_L1  avg_theta_L2\n"},
      {"Richards has none",
       [](model_state& s) {
         s.input.inf_richards = 1;
         s.input.map_table_present[6] = 1;
       },
       columns + "\n"},
  };
  for (const evap_case& c : cases) {
    SCOPED_TRACE(c.label);
    state_ = std::make_unique<model_state>();
    run_setup(strip_cards(), "open_project_files", "open_project_files", c.method);
    ASSERT_FALSE(stopped());
    state_->output.evap_out.close();
    EXPECT_EQ(file_text("evap_out"), c.header);
  }
}

}  // namespace
