// A whole run with tile drains: the water table above a leaky pipe feeds it,
// and the aquifer's books take what the drains took.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "gw_run_fixture.h"
#include "superlink_fixture.h"

namespace {

using gw_fixture::filled;
using surface_fixture::summary_value;

// A 1 x 3 strip of 20 m cells, ground 60 m over a bottom at 48.3 m and a
// table at 50.2 m; pipe 2 of a full pipe between fixed heads is leaky
// (K 2 cm/h, drains 15 m apart) and crosses cells 2 and 3, half in each.
TEST(superlink_tile_run, groundwater_into_tile_drains_enters_both_books) {
  gw_fixture::project p;
  p.rows = 1;
  p.cols = 3;
  p.size = 20.0;
  p.ground = filled(3, 60.0);
  p.bottom = filled(3, 48.3);
  p.table = filled(3, 50.2);
  p.bound = filled(3, 1.0);
  p.days = 1;
  std::string net = superlink_fixture::fixed_head_network(2);
  net.replace(net.rfind(" 0.0 0.0\n"), 9, " 2.0 15.0\n");
  p.files = {{"net.txt", net},
             {"net.gpi",
              "GRIDPIPEFILE\nPIPECELLS 2\nCELLIJ 1 2\nNUMPIPES 1\nSPIPE 1 2 0.5\n"
              "CELLIJ 1 3\nNUMPIPES 1\nSPIPE 1 2 0.5\n"}};
  p.extra = "STORM_SEWER net.txt\nGRID_PIPE net.gpi\nNUM_THREADS 1\n";
  gw_fixture::run r(p);
  ASSERT_EQ(r.out.status, 0) << r.out.text;
  const double drains = summary_value(r.summary, "Volume of groundwater to tile drains");
  EXPECT_GT(drains, 0.0) << r.summary;
  EXPECT_DOUBLE_EQ(drains, summary_value(r.summary, "To tile drains"));
  EXPECT_LT(std::fabs(summary_value(r.summary, "Mass Balance error =")), 0.01) << r.summary;
}

// The same drain under an aquifer whose bottom (50.1 m) lies above the
// leaky pipe's nodes (50.0 and 49.6 m): the exchange stops the run.
TEST(superlink_tile_run, a_drain_below_the_aquifer_bottom_stops_the_run) {
  gw_fixture::project p;
  p.rows = 1;
  p.cols = 3;
  p.size = 20.0;
  p.ground = filled(3, 60.0);
  p.bottom = filled(3, 50.1);
  p.table = filled(3, 50.8);
  p.bound = filled(3, 1.0);
  p.days = 1;
  std::string net = superlink_fixture::fixed_head_network(2);
  net.replace(net.rfind(" 0.0 0.0\n"), 9, " 2.0 15.0\n");
  p.files = {{"net.txt", net},
             {"net.gpi", "GRIDPIPEFILE\nPIPECELLS 1\nCELLIJ 1 2\nNUMPIPES 1\nSPIPE 1 2 1.0\n"}};
  p.extra = "STORM_SEWER net.txt\nGRID_PIPE net.gpi\nNUM_THREADS 1\n";
  gw_fixture::run r(p);
  EXPECT_EQ(r.out.status, 1);
  EXPECT_NE(r.out.text.find("Node elevation must be above bottom of groundwater media"),
            std::string::npos)
      << r.out.text;
  EXPECT_NE(r.out.text.find("Error: Pipe invert must be above the bottom of the aquifer"),
            std::string::npos);
}

}  // namespace
