// Overland lakes in whole runs: a lake that only takes rain, and a plane
// whose runoff ends in a lake, each checked against the water it was given.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "run/event_control.h"
#include "surface_run_fixture.h"
#include "test_support.h"

namespace {

using namespace surface_fixture;
using test_support::temp_dir;

class overland_lake_run : public testing::Test {
 protected:
  std::string file(const std::string& name) { return test_support::read_file(dir_.file(name)); }
  temp_dir dir_;
};

// Two cells at 9.0 m, both of lake 1 at 9.5 m, under 36 mm/h for an hour:
// 720 m3 of rain all go to the lake, which rises by 720 / 20000 m.
TEST_F(overland_lake_run, a_lake_that_takes_all_the_rain_rises_by_it) {
  for (const char* name :
       {"lakepair.prj", "mask.asc", "elevation.asc", "lakes.asc", "lakes.txt"})
    dir_.write(name, fixture_text("lakepair", name));
  double level = 0.0;
  const run_output out = run_in_process(dir_.path(), "lakepair.prj",
                                        [&](model_state& s) { level = s.surface.olakes[1].level; });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_NEAR(level, 9.536, 1e-9);
  const std::string summary = file("summary.out");
  EXPECT_NEAR(summary_value(summary, "Final volume in overland lakes="), 10720.0, 1e-6) << summary;
  EXPECT_NEAR(summary_value(summary, "Volume of flow into overland lakes:"), 720.0, 1e-6);
  EXPECT_NEAR(summary_value(summary, "Total amount of precip="), 720.0, 1e-6);
  EXPECT_NEAR(summary_value(summary, "Overland lake mass bal error m^3:"), 0.0, 1e-6);
  EXPECT_NEAR(summary_value(summary, "Overall mass balance error ="), 0.0, 1e-6);
}

// plane20 drains east into a lake over its last three cells (lowered or
// raised to 1.0 m, level 1.5 m; cell 17 at 3.0 m stays above any level the
// run reaches) and leaves at its western cell: after every pass the rain is
// the outflow, the water on the cells and what the lake gained.
TEST_F(overland_lake_run, a_plane_draining_into_a_lake_keeps_every_drop) {
  std::vector<double> ground;
  for (int i = 0; i < 20; ++i) ground.push_back(19.0 - i);
  ground[17] = ground[18] = ground[19] = 1.0;
  std::vector<double> lake(20, 0.0);
  lake[17] = lake[18] = lake[19] = 1.0;
  for (const char* scheme : {"OVERTYPE 1\n", "OVERTYPE 2\n", "OVERTYPE 3\n"}) {
    SCOPED_TRACE(scheme);
    dir_.write("mask.asc", fixture_text("plane20", "mask.asc"));
    dir_.write("elevation.asc", ascii_grid(1, 20, 100.0, ground));
    dir_.write("lakes.asc", ascii_grid(1, 20, 100.0, lake));
    dir_.write("lakes.txt", "VALTO_OVERLAND_LAKE_FILE\nLAKE 1 1.5 15000\n");
    dir_.write("plane20.prj",
               edit_cards(fixture_text("plane20", "plane20.prj"), {"OUTCOL", "OPTIMIZE"},
                          std::string(scheme) +
                              "OUTCOL 1\nOVERLAND_LAKE_MAP lakes.asc\n"
                              "OVERLAND_LAKE_FILE lakes.txt\n"));
    double worst = 0.0, level_gap = 0.0;
    int cells = 0;
    const run_output out = run_in_process(dir_.path(), "plane20.prj", [&](model_state& s) {
      const olake_record& l = s.surface.olakes[1];
      const double gain = l.volume - 15000.0;
      const double rain = s.surface.rain_volume;
      const double kept = s.surface.outflow_volume + surface_water_volume(s) + gain;
      if (rain > 0.0) worst = std::max(worst, std::fabs(rain - kept) / rain);
      level_gap = std::max(level_gap, std::fabs(l.level - (1.5 + gain / 30000.0)));
      cells = l.cells;
    });
    ASSERT_EQ(out.status, 0) << out.text;
    EXPECT_LT(worst, 1e-9);
    EXPECT_LT(level_gap, 1e-9);
    EXPECT_EQ(cells, 3);
    EXPECT_NEAR(summary_value(file("summary.out"), "Overall mass balance error ="), 0.0, 1e-6);
  }
}

}  // namespace
