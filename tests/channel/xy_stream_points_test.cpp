// Stream XY boundary points on the junction project: both files are read
// through the project's cards, each point is placed on a node of the network
// and told to the user, and the run then stops, since no rule feeds a
// point's hydrograph into the routing.

#include <gtest/gtest.h>

#include <string>

#include "channel_setup_fixture.h"

namespace {

class xy_stream_points : public channel_setup_test {
 protected:
  void SetUp() override {
    channel_setup_test::SetUp();
    // Link 3's six points lie along y = 5000 from x = 1100 to 1600, so its
    // five nodes lie midway, at x = 1150 to 1550; links 1 and 2 keep their
    // points at the origin.
    const char* elevations[] = {"ELEV 15\nXSEC", "ELEV 14", "ELEV 13",
                                "ELEV 12",       "ELEV 11", "ELEV 10"};
    for (int k = 0; k < 6; ++k) {
      const std::string at = "NODE " + std::to_string(k + 1) + "\n" + elevations[k];
      const std::size_t link3 = chan_text_.find("LINK 3");
      const std::size_t found = chan_text_.find(at, link3);
      ASSERT_NE(found, std::string::npos) << at;
      chan_text_.insert(found + at.size(),
                        "\nX_Y " + std::to_string(1100 + 100 * k) + " 5000");
    }
    dir_.write("flows.ts", "VALTO_TS\ninflow\nABSOLUTE\n2000 6 1 0 0 1.5\nEND_TS\n");
    dir_.write("stream.xy",
               "XY_STREAM_HYDROGRAPHS\n2\nX 1260 20\nY 5010 -5\n"
               "2000 6 1 0 0 1.0 2.0\n2000 6 1 1 0 1.0 2.0\nEND_TS\n");
    dir_.write("stream_ts.xy",
               "VALTO_XY_ST_BDY_TS\nVALTO_TS\nLINKNODE 2 3\nTIMESERIES \"inflow\"\nEND_TS\n");
  }
};

TEST_F(xy_stream_points, points_are_placed_on_nodes_and_the_run_stops_before_applying_them) {
  const std::string out = run_channel_setup(
      "TIME_SERIES_FILE flows.ts\nXYBDYINPUT_STFLOW stream.xy\n"
      "XYBDYINPUT_STTIMESERIES stream_ts.xy\n");
  ASSERT_NE(state_->input.settings.xy_inputs, nullptr);
  const array1d<xy_stream_point>& st = state_->input.settings.xy_inputs->stpts;
  ASSERT_EQ(st.size, 3);
  // The first lies nearest node 2 of link 3, midway between its points at
  // x 1200 and 1300; the second nearest the origin, where links 1 and 2
  // hold every node, and the lower link and node win; the third was given
  // its link and node.
  EXPECT_EQ(st[1].link, 3);
  EXPECT_EQ(st[1].node, 2);
  EXPECT_EQ(st[2].link, 1);
  EXPECT_EQ(st[2].node, 1);
  EXPECT_EQ(st[3].link, 2);
  EXPECT_EQ(st[3].node, 3);
  EXPECT_DOUBLE_EQ(ts_value(st[3].series->time.front(), st[3].series), 1.5);
  EXPECT_TRUE(has(out, "stream xy boundary point 1 (x 1260.000, y 5010.000) lies at link 3 node 2\n"))
      << out;
  EXPECT_TRUE(has(out, "stream xy boundary point 3 (x 0.000, y 0.000) lies at link 2 node 3\n"))
      << out;
  EXPECT_TRUE(has(out,
                  "Error: the stream xy boundary points are placed on the channel network, but "
                  "no rule is given for applying a stream point's hydrograph, so this version does "
                  "not run them.\n"))
      << out;
  EXPECT_TRUE(stopped());
  EXPECT_TRUE(has(file_text("summary.out"), "lies at link 3 node 2\n"));
}

TEST_F(xy_stream_points, a_point_off_the_network_is_named) {
  dir_.write("stream_ts.xy", "VALTO_XY_ST_BDY_TS\nVALTO_TS\nLINKNODE 3 6\nEND_TS\n");
  const std::string out = run_channel_setup("XYBDYINPUT_STTIMESERIES stream_ts.xy\n");
  EXPECT_TRUE(has(out,
                  "Error: stream xy boundary point 1 names link 3 node 6, which the channel "
                  "network does not have.\n"))
      << out;
  EXPECT_TRUE(stopped());
}

TEST_F(xy_stream_points, without_channel_routing_the_points_are_refused) {
  const std::string out = run_channel_setup("XYBDYINPUT_STTIMESERIES stream_ts.xy\n",
                                            [](model_state& s) { s.input.explicit_channel = 0; });
  EXPECT_TRUE(has(out,
                  "Error: stream xy boundary points need the channel network, which this run "
                  "does not route; and no rule is given for applying a stream point's "
                  "hydrograph, so this version does not run them.\n"))
      << out;
  EXPECT_TRUE(stopped());
}

}  // namespace
