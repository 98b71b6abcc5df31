// Whole runs of plane20 with infiltration: the Green and Ampt and
// redistribution balances where the user reads them, the soil readers'
// values, per-run state, and the stops on bad soil input.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>

#include "../surface/surface_run_fixture.h"
#include "soil/soil_steps.h"
#include "soil_fixture.h"

namespace {

using soil_fixture::value_after;
using test_support::read_file;
using test_support::temp_dir;

struct soil_run {
  temp_dir dir;
  surface_fixture::run_output out;
  double infiltrated = 0.0;
  soil_state first_soil;  // the soil record after the second pass, the first to infiltrate

  soil_run(const std::string& cards, const std::vector<std::pair<std::string, double>>& maps) {
    soil_fixture::write_plane20(dir, cards, maps);
    int pass = 0;
    out = surface_fixture::run_in_process(dir.path(), "plane.prj", [&](model_state& s) {
      if (++pass == 2) first_soil = s.soil;
      infiltrated = s.soil.infiltrated_volume;
    });
  }
  std::string summary() const { return read_file(dir.file("summary.out")); }
};

TEST(soil_run, plane20_green_ampt_balances) {
  soil_run run(soil_fixture::ga_cards, soil_fixture::ga_maps);
  ASSERT_EQ(run.out.status, 0) << run.out.text;
  const std::string text = run.summary();
  const double precip = value_after(text, "Total amount of precip=");
  const double infiltration = value_after(text, "Total amount of infiltration=");
  const double discharge = value_after(text, "Total amount of discharge=");
  const double surface = value_after(text, "Final volume on surface=");
  EXPECT_EQ(precip, 14400.00);
  EXPECT_NEAR(infiltration, 10129.5, 5.0);
  EXPECT_LT(std::fabs(infiltration - 10139.9) / 10139.9, 0.002);  // Mein-Larson
  EXPECT_NEAR(discharge + surface, precip - infiltration, 0.011);
  EXPECT_LT(std::fabs(value_after(text, "Overall mass balance error =")), 1e-4);
  EXPECT_NEAR(value_after(text, "volume of infiltrated water:"), 10129.5, 0.05);
  EXPECT_LT(std::fabs(value_after(text, "mass conservation error:")), 1e-6);
  EXPECT_NE(text.find("Green & Ampt infiltration.\n"), std::string::npos);

  // No water reaches the outlet until cells keep water after 24.5 min.
  std::istringstream rows(read_file(run.dir.file("outlet.hyd")));
  double minutes = 0.0, q = 0.0;
  int checked = 0;
  while (rows >> minutes >> q) {
    if (minutes <= 24.0) {
      EXPECT_EQ(q, 0.0) << minutes;
      ++checked;
    }
  }
  EXPECT_EQ(checked, 25);
  // Each of the passes after the first rains 0.3 mm and infiltrates once.
  EXPECT_NEAR(run.first_soil.cum_inf[1], 0.0003, 1e-9);
}

// M belongs to the run: a second run in the process with another capillary
// map infiltrates differently.
TEST(soil_run, two_runs_keep_their_own_capillary_drive) {
  soil_run wet(soil_fixture::ga_cards, soil_fixture::ga_maps);
  auto maps = soil_fixture::ga_maps;
  maps[1].second = 2.0;
  soil_run dry(soil_fixture::ga_cards, maps);
  ASSERT_EQ(wet.out.status, 0);
  ASSERT_EQ(dry.out.status, 0);
  EXPECT_NEAR(wet.infiltrated, 10129.5, 5.0);
  EXPECT_LT(dry.infiltrated, wet.infiltrated - 500.0);
}

TEST(soil_run, plane20_redistribution_closes_its_soil_balance) {
  auto maps = soil_fixture::ga_maps;
  maps.push_back({"lambda.asc", 0.25});
  maps.push_back({"thr.asc", 0.04});
  soil_run run(soil_fixture::ga_cards + "INF_REDIST\nPORE_INDEX lambda.asc\nRESIDUAL_SAT thr.asc\n",
               maps);
  ASSERT_EQ(run.out.status, 0) << run.out.text;
  const std::string text = run.summary();
  EXPECT_EQ(value_after(text, "Initial volume in soil over simple soil depth"), 12000.00);
  const double infiltration = value_after(text, "Total amount of infiltration=");
  EXPECT_GT(infiltration, 10000.0);
  EXPECT_NEAR(value_after(text, "Final volume in soil over simple soil depth"),
              12000.0 + infiltration, 0.011);
  EXPECT_LT(std::fabs(value_after(text, "Overall mass balance error =")), 1e-4);
  EXPECT_LT(std::fabs(value_after(text, "Simple soil moisture mass balance =")), 1e-4);
  EXPECT_NE(text.find("Simple soil moisture mass balance ="), std::string::npos);
}

TEST(soil_run, reader_values) {
  struct rcase {
    const char* name;
    std::string cards;
    std::vector<std::pair<std::string, double>> maps;
    double ksat;   // m/s
    double theta;  // initial content
    double factor; // area factor, < 0 none
  };
  const std::string base = "RAIN_DURATION 1\nTOT_TIME 1\nGREEN_AMPT\n";
  const rcase cases[] = {
      {"3.6 cm/h is 1e-5 m/s; a uniform content above porosity ends 0.01 below",
       base + "CONDUCTIVITY ks.asc\nCAPILLARY hc.asc\nPOROSITY phi.asc\n",
       {{"ks.asc", 3.6}, {"hc.asc", 10.0}, {"phi.asc", 0.12}}, 1e-5, 0.11, -1.0},
      {"moisture map and area reduction",
       base + "CONDUCTIVITY ks.asc\nCAPILLARY hc.asc\nPOROSITY phi.asc\nMOISTURE th.asc\n"
              "AREA_REDUCTION ar.asc\n",
       {{"ks.asc", 0.36}, {"hc.asc", 10.0}, {"phi.asc", 0.4}, {"th.asc", 0.2}, {"ar.asc", 0.3}},
       1e-6, 0.2, 0.7},
  };
  for (const rcase& c : cases) {
    SCOPED_TRACE(c.name);
    soil_run run(c.cards, c.maps);
    ASSERT_EQ(run.out.status, 0) << run.out.text;
    EXPECT_NEAR(run.first_soil.ksat[20], c.ksat, 1e-18);
    EXPECT_NEAR(run.first_soil.capillary[20], 0.1, 1e-15);
    EXPECT_NEAR(run.first_soil.initial_theta[20], c.theta, 1e-15);
    if (c.factor >= 0.0) {
      EXPECT_NEAR(run.first_soil.area_factor[20], c.factor, 1e-15);
    }
  }
}

TEST(soil_run, bad_soil_input_stops_with_status_1) {
  struct bcase {
    const char* name;
    std::string cards;
    std::vector<std::pair<std::string, double>> maps;
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<std::string> lines;
  };
  const std::string base = "RAIN_DURATION 1\nTOT_TIME 1\n";
  const std::string ga = "CONDUCTIVITY ks.asc\nCAPILLARY hc.asc\nPOROSITY phi.asc\n";
  const std::vector<std::pair<std::string, double>> ga_maps = {
      {"ks.asc", 1.0}, {"hc.asc", 10.0}, {"phi.asc", 0.4}};
  const std::string layered = "INF_LAYERED_SOIL\nSOIL_TYPE_MAP soils.asc\nSOIL_LAYER_INPUT_FILE "
                              "layers.txt\n";
  const std::string layer_lines = "1.0 0.25 10 0.4 0.3 0.1 0.05 0.2 20\n"
                                  "0.5 0.25 12 0.4 0.3 0.1 0.05 0.2 30\n";
  const bcase cases[] = {
      {"no pore index map", base + "INF_REDIST\n" + ga, ga_maps, {},
       {"For infiltration redistribution, pore index map must be specified\n",
        "Program stopped.\n"}},
      {"no residual map", base + "INF_REDIST\n" + ga + "PORE_INDEX ks.asc\n", ga_maps, {},
       {"For infiltration redistribution, residual saturation map must be specified\n"}},
      {"no capillary map", base + "GREEN_AMPT\nCONDUCTIVITY ks.asc\nPOROSITY phi.asc\n",
       ga_maps, {}, {"needs a CAPILLARY map: give the CAPILLARY card"}},
      {"area reduction file missing", base + "GREEN_AMPT\n" + ga + "AREA_REDUCTION none.asc\n",
       ga_maps, {}, {"Can't open area reduction file named: none.asc\n"}},
      {"layer line short", base + layered, {{"soils.asc", 3}},
       {{"layers.txt", "1\n0\n3\n" + layer_lines + "0.2 0.25 15 0.4 0.3\n"}},
       {"line 6 of the layered soil file layers.txt holds no wilting point (value 6 of 8) for "
        "layer 3 of soil type 3"}},
      {"map id missing", base + layered, {{"soils.asc", 4}},
       {{"layers.txt", "1\n0\n3\n" + layer_lines + "0.2 0.25 15 0.4 0.3 0.1 0.05 0.2\n"}},
       {"soil type 4 of grid cell 1 has no entry in the layered soil file layers.txt"}},
      // Values must be whole words and finite numbers, never split out of
      // one word.
      {"two values run together", base + layered, {{"soils.asc", 3}},
       {{"layers.txt", "1\n0\n3\n1.0-2 0.25 10 0.4 0.3 0.1 0.05 0.2\n" + layer_lines}},
       {"line 4 of the layered soil file layers.txt holds no conductivity (value 1 of 9) for "
        "layer 1 of soil type 3"}},
      {"not a number in the MULTI_LAYER_SOIL table",
       base + "INF_LAYERED_SOIL\nMAPPING_TABLE tables.cmt\n", {{"soils.idx", 3}},
       {{"tables.cmt", "VALTO_INDEX_MAP_TABLES\nINDEX_MAP soils.idx soils\nMULTI_LAYER_SOIL "
                       "soils\nNUM_IDS 1\nNUM_SOIL_LAYERS 3\nID    DESCRIPTION\n3" +
                           std::string(86, ' ') + "1.0 0.nan10 0.4 0.3 0.1 0.05 0.2 20\n" +
                           layer_lines + "0.2 0.25 15 0.4 0.3 0.1 0.05 0.2\n"}},
       {"line 7 of the MULTI_LAYER_SOIL table of the mapping table file",
        "holds no pore index (value 2 of 9) for layer 1 of soil type 3"}},
  };
  for (const bcase& c : cases) {
    SCOPED_TRACE(c.name);
    temp_dir dir;
    soil_fixture::write_plane20(dir, c.cards, c.maps);
    for (const auto& [name, text] : c.files) dir.write(name, text);
    const test_support::program_result r = test_support::run_program("plane.prj", dir.path());
    EXPECT_EQ(r.status, 1) << r.output;
    for (const std::string& line : c.lines)
      EXPECT_NE(r.output.find(line), std::string::npos) << line << "\n" << r.output;
  }
}

// Without layered columns a location shows the cell's moisture, after the
// time field of the location files.
TEST(soil_run, theta_locations_of_green_and_ampt_show_the_cell_moisture) {
  temp_dir dir;
  dir.write("theta.txt", "2\n1 1\n1 20\n");
  soil_fixture::write_plane20(dir,
                              soil_fixture::ga_cards +
                                  "IN_THETA_LOCATION theta.txt\nOUT_THETA_LOCATION theta.out\n",
                              soil_fixture::ga_maps);
  const surface_fixture::run_output out = surface_fixture::run_in_process(dir.path(), "plane.prj");
  ASSERT_EQ(out.status, 0) << out.text;
  // One row at each outlet hydrograph time.
  std::istringstream rows(read_file(dir.file("theta.out")));
  std::istringstream outlet(read_file(dir.file("outlet.hyd")));
  std::string line, hyd;
  int count = 0;
  while (std::getline(rows, line)) {
    ASSERT_TRUE(std::getline(outlet, hyd)) << line;
    char expected[64];
    std::snprintf(expected, sizeof expected, "%14.8lf %12.6lf %12.6lf ", std::stod(hyd), 0.15,
                  0.15);
    EXPECT_EQ(line, expected);
    ++count;
  }
  EXPECT_FALSE(std::getline(outlet, hyd));
  EXPECT_GT(count, 100);
}

}  // namespace
