// Whole runs of plane20-richards: six hours of 2 mm/h (2400 m3) on twenty
// columns of 30 cm of loam at a content of 0.30 (0.09 m of water on each
// 100 m cell, 18000 m3). The rain is well under the loam's conductivity, so
// all of it goes in; what the columns gain and what drains from their
// bottoms must account for all of it, in the event summary and in the
// end-of-run totals alike.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "../surface/surface_run_fixture.h"
#include "soil_fixture.h"
#include "test_support.h"

namespace {

using namespace surface_fixture;
using soil_fixture::value_after;
using test_support::lines_of;
using test_support::read_file;
using test_support::temp_dir;

const char* const folder = "plane20-richards";
const char* const loam_layer = "1.32 0.463 0.027 0.30 0.10 0.30 10 0.252 11.15 1\n";

class plane20_richards : public testing::Test {
 protected:
  // The fixture copied into the run folder, its cards edited.
  void write(const std::string& extra = "", const std::vector<std::string>& drop = {}) {
    for (const char* name : {"mask.asc", "elevation.asc", "soils.asc", "soils.tbl"})
      dir_.write(name, fixture_text(folder, name));
    dir_.write("plane.prj",
               edit_cards(fixture_text(folder, std::string(folder) + ".prj"), drop, extra));
  }
  run_output run(const std::string& extra = "", const std::vector<std::string>& drop = {}) {
    write(extra, drop);
    return run_in_process(dir_.path(), "plane.prj");
  }
  std::string summary() { return read_file(dir_.file("summary.out")); }

  // The mapping table file holding the loam under the Brooks-Corey keyword.
  void write_mapping_table() {
    std::string row = "1   loam of the plane";
    row.resize(87, ' ');
    dir_.write("tables.cmt", std::string("VALTO_INDEX_MAP_TABLES\nINDEX_MAP soils.asc soils\n") +
                                 "RICHARDS_EQN_INFILTRATION_BROOKS soils\nNUM_IDS 1\n"
                                 "NUM_SOIL_LAYERS 3\n" +
                                 row + loam_layer + loam_layer + loam_layer);
  }

  temp_dir dir_;
};

TEST_F(plane20_richards, columns_take_all_the_rain_and_account_for_it) {
  const run_output out = run();
  ASSERT_EQ(out.status, 0) << out.text;
  const std::string text = summary();
  EXPECT_NE(text.find("Inital volume of water in root zone= 0.000000 \n"), std::string::npos);
  EXPECT_NE(text.find("Inital volume of water in soil column= 18000.000000 \n"),
            std::string::npos)
      << text;

  const double initial = value_after(text, "Initial volume in soils=");
  const double infiltration = value_after(text, "Total amount of infiltration=");
  const double drained = value_after(text, "Total downward flux from unsaturated zone=");
  const double final_soil = value_after(text, "Final volume in soils=");
  EXPECT_EQ(initial, 18000.00);
  EXPECT_EQ(value_after(text, "Total amount of precip="), 2400.00);
  EXPECT_EQ(infiltration, 2400.00);
  EXPECT_EQ(value_after(text, "Total amount of discharge="), 0.00);
  EXPECT_EQ(value_after(text, "Final volume on surface="), 0.00);
  EXPECT_NEAR(drained, 95.5, 5.0);
  EXPECT_NEAR(final_soil, 20304.5, 5.0);
  EXPECT_NEAR(final_soil, initial + infiltration - drained, 0.01);
  EXPECT_LT(std::fabs(value_after(text, "Overall mass balance error =")), 1e-4);

  // The event's column balance tells the same story.
  EXPECT_EQ(value_after(text, "Initial volume in soils (cu. m.):"), 18000.0);
  EXPECT_NEAR(value_after(text, "Final volume in soils (cu. m.):"), final_soil, 0.05);
  EXPECT_NEAR(value_after(text, "vol groundwater recharge (cu. m):"), drained, 0.05);
  EXPECT_EQ(value_after(text, "net vol infiltrated to soil (cu. m.):"), 2400.0);
  EXPECT_EQ(value_after(text, "volume lost due to dir. evap (cu. m):"), 0.0);
  EXPECT_LT(std::fabs(value_after(text, "Richard equation mass balance error")), 0.00005);
  EXPECT_EQ(value_after(text, "Number of cells at start of event"), 20.0);
  EXPECT_EQ(value_after(text, "Number of cells at end of event"), 20.0);
}

TEST_F(plane20_richards, one_and_eight_threads_give_identical_summaries) {
  std::vector<std::string> summaries;
  for (const char* threads : {"NUM_THREADS 1\n", "NUM_THREADS 8\n"}) {
    const run_output out = run(threads);
    ASSERT_EQ(out.status, 0) << out.text;
    summaries.push_back(summary_without_times(summary()));
  }
  EXPECT_EQ(summaries[0], summaries[1]);
}

// The mapping table's soil table and its index map give the columns of the
// plain table and the soil-type map.
TEST_F(plane20_richards, the_mapping_table_form_runs_as_the_plain_table) {
  ASSERT_EQ(run().status, 0);
  const std::string plain = summary();
  write_mapping_table();
  const run_output out =
      run("MAPPING_TABLE tables.cmt\n", {"SOIL_TYPE_MAP", "SOIL_LAYER_INPUT_FILE"});
  ASSERT_EQ(out.status, 0) << out.text;
  const std::string mapped = summary();
  const std::size_t at = plain.find("SIMULATION TOTALS");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(mapped.substr(mapped.find("SIMULATION TOTALS")), plain.substr(at));
}

// A hot start read after the columns are set up: the run starts from its
// content, 30 cm at 0.35 in every cell, and balances against it.
TEST_F(plane20_richards, a_soil_moisture_hot_start_refills_the_columns_before_the_run) {
  dir_.write("sm.asc", soil_fixture::uniform_map(0.35));
  const run_output out = run("READ_SM_HOTSTART sm.asc\n");
  ASSERT_EQ(out.status, 0) << out.text;
  const std::string text = summary();
  const std::size_t read = text.find("reading soil moisture hotstart map from file: sm.asc\n");
  ASSERT_NE(read, std::string::npos) << text;
  EXPECT_NE(text.find("Inital volume of water in soil column= 21000.000000 \n", read),
            std::string::npos)
      << text;
  const double initial = value_after(text, "Initial volume in soils=");
  EXPECT_EQ(initial, 21000.00);
  EXPECT_EQ(value_after(text, "Initial volume in soils (cu. m.):"), 21000.0);
  const double drained = value_after(text, "Total downward flux from unsaturated zone=");
  // Wetter loam conducts more: more drains than from the 0.30 start.
  EXPECT_GT(drained, 200.0);
  EXPECT_NEAR(value_after(text, "Final volume in soils="), initial + 2400.0 - drained, 0.01);
  EXPECT_LT(std::fabs(value_after(text, "Overall mass balance error =")), 1e-4);
  EXPECT_LT(std::fabs(value_after(text, "Richard equation mass balance error")), 0.00005);
}

TEST_F(plane20_richards, bad_richards_input_stops_with_status_1) {
  struct bad_case {
    const char* name;
    std::string cards;
    std::vector<std::string> drop;
    std::string message;
  };
  const bad_case cases[] = {
      {"hot start at the residual content", "READ_SM_HOTSTART sm.asc\n", {},
       "Error: the soil moisture hotstart sm.asc gives grid cell 1 the water content 0.02, at or "
       "too near the residual content 0.027 of node 0 of its soil column.\n"},
      {"no retention family", "", {"RICHARDS_C_OPTION"},
       "Error: INF_RICHARDS needs RICHARDS_C_OPTION brooks or havercamp.\n"},
      // The mapping table holds the Brooks-Corey table only: no index map
      // for the Havercamp soils asked for.
      {"no index map", "RICHARDS_C_OPTION havercamp\nMAPPING_TABLE tables.cmt\n",
       {"RICHARDS_C_OPTION", "SOIL_TYPE_MAP", "SOIL_LAYER_INPUT_FILE"},
       "You are trying to simulate Richardson's Equation soil dynamics but without using a valid "
       "soil type index map.\nIndex map filename = \n"},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.name);
    write(c.cards, c.drop);
    dir_.write("sm.asc", soil_fixture::uniform_map(0.02));
    write_mapping_table();
    const test_support::program_result r = test_support::run_program("plane.prj", dir_.path());
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
  }
}

// The listed nodes of two columns, deepest first in the first and one below
// the column in the second, over the first hour: the plane takes all its rain, so both columns wet alike from
// the top, the top node ends wetter than the 30th, which has barely left
// 0.30, and the soil moisture hot start is the top node's content.
TEST_F(plane20_richards, theta_locations_follow_the_listed_nodes_of_each_column) {
  dir_.write("theta.txt", "2 2\n1 5 2 30 1\n1 20 2 1 32\n");
  const run_output out = run(
      "TOT_TIME 60\nIN_THETA_LOCATION theta.txt\nOUT_THETA_LOCATION theta.out\n"
      "WRITE_SM_HOTSTART sm.out\n",
      {"TOT_TIME"});
  ASSERT_EQ(out.status, 0) << out.text;
  std::istringstream rows(read_file(dir_.file("theta.out")));
  std::string line, last;
  int count = 0;
  while (std::getline(rows, line)) {
    last = line;
    ++count;
  }
  EXPECT_EQ(count, int(lines_of(read_file(dir_.file("outlet.hyd"))).size()));
  ASSERT_EQ(last.size(), 15u + 4u * 13u) << last;
  std::istringstream fields(last);
  double minutes = 0.0, deep = 0.0, top5 = 0.0, top20 = 0.0, below = -1.0;
  fields >> minutes >> deep >> top5 >> top20 >> below;
  EXPECT_EQ(minutes, 60.0);
  EXPECT_EQ(below, 0.0);  // the columns end at node 31, below the 30th cm
  EXPECT_EQ(top5, top20);
  EXPECT_GT(top5, deep + 0.01);
  EXPECT_NEAR(deep, 0.30, 0.01);
  EXPECT_LT(top5, 0.463);
  char value[32];
  std::snprintf(value, sizeof value, "%lf ", top5);
  const std::string hot = read_file(dir_.file("sm.out"));
  EXPECT_NE(hot.find(value), std::string::npos) << hot;
}

}  // namespace
