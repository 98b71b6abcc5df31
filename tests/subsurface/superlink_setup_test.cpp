// Network set-up: the size limits, the cells of junctions and nodes, the
// outlets into channels and the output location lists.

#include <gtest/gtest.h>

#include <string>

#include "channel/channel_state.h"
#include "subsurface/superlink_setup.h"
#include "superlink_fixture.h"

namespace {

using test_support::temp_dir;

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

struct setup : ::testing::Test {
  temp_dir dir;
  superlink_state sl;
  channel_state channel;
  superlink_fixture::strip grid;
  std::string said;

  void SetUp() override { error_state = error_record{}; }
  void TearDown() override { error_state = error_record{}; }
  void run(const std::string& text) {
    superlink_inputs in;
    in.network = dir.write("net.txt", text);
    test_support::stdout_capture out;
    setup_superlink_network(sl, in, grid.mask, 1, 3, 3, channel);
    said = out.stop();
  }
};

using superlink_fixture::chain;

TEST_F(setup, networks_of_up_to_a_thousand_pass_and_one_more_stops) {
  struct size_case {
    int junctions, parallel, pipes, code;
  };
  const size_case cases[] = {
      {1000, 1, 1, 0},
      {1001, 1, 1, err_too_many_superjunctions},
      {2, 1, 1000, 0},
      {2, 1, 1001, err_too_many_pipe_nodes},
      {2, 1000, 1, 0},
      {2, 1001, 1, err_too_many_superlinks},
  };
  for (const size_case& c : cases) {
    SCOPED_TRACE(c.junctions + c.parallel + c.pipes);
    sl = superlink_state{};
    error_state = error_record{};
    run(chain(c.junctions, c.parallel, c.pipes));
    EXPECT_EQ(error_state.stop_flag, c.code ? 1 : 0) << said;
    if (c.code) {
      EXPECT_TRUE(has(said, message_template(c.code)));
    }
  }
  EXPECT_TRUE(has(said, "Too many superlinks (>1000!) in superlink."));
}

TEST_F(setup, ties_junctions_and_nodes_to_their_cells) {
  run(superlink_fixture::fixed_head_network(2));
  ASSERT_EQ(error_state.stop_flag, 0) << said;
  EXPECT_TRUE(has(said, "read superlink pipe file, 2 junctions, 1 links\n"));
  EXPECT_EQ(sl.links.superlink_junc_gnum[1], 1);
  EXPECT_EQ(sl.links.superlink_junc_gnum[2], 3);
  EXPECT_EQ(sl.links.superlink_node_gnum(2, 1), 2);
  EXPECT_EQ(sl.links.superlink_node_gnum(3, 1), 3);
  EXPECT_EQ(sl.links.Q_tile_grid.size(), 4u);
}

TEST_F(setup, a_missing_network_file_is_error_4) {
  superlink_inputs in;
  in.network = dir.file("none.txt");
  test_support::stdout_capture out;
  setup_superlink_network(sl, in, grid.mask, 1, 3, 3, channel);
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_TRUE(has(out.stop(), "Error: Unable to open superlink input file file.\n"));
}

TEST_F(setup, an_outlet_into_a_channel_finds_its_stream_cell_or_stops) {
  std::string t = superlink_fixture::fixed_head_network(1);
  t.replace(t.find("11 1 3"), 6, "999 4 2");  // link 4, node 2
  channel.stream_cells = 1;
  channel.gst_max = 2;
  channel.gst_ncellsingrid = {0, 2};
  channel.gst_link = {0, 0, 0, 0, 0, 4};
  channel.gst_node = {0, 0, 0, 0, 0, 2};
  channel.gst_gnum = {0, 0, 0, 0, 0, 2};
  run(t);
  ASSERT_EQ(error_state.stop_flag, 0) << said;
  EXPECT_EQ(sl.links.superlink_junc_gnum[2], 2);
  test_support::stdout_capture out;
  connect_superlink_outlets(sl);
  said = out.stop();
  EXPECT_EQ(error_state.stop_flag, 0);
  EXPECT_EQ(sl.links.superlink_chan_con_link[2], 4);
  EXPECT_EQ(sl.links.superlink_chan_con_node[2], 2);
  EXPECT_TRUE(has(said, "superjunct_j 2\nn_sjunc 2\n"));

  sl.net.superjunct_i[2] = 0;
  test_support::stdout_capture again;
  connect_superlink_outlets(sl);
  said = again.stop();
  EXPECT_TRUE(has(said, "Superlink outlet channel link not found, at superjunction 2\n"
                        "Check your superlink input file to insure that superlink outlets\n"
                        "terminate on stream arcs.\n"));
  EXPECT_FALSE(has(said, "channel node not found"));
  EXPECT_EQ(error_state.stop_flag, 1);
}

TEST_F(setup, location_lists_are_read_and_a_short_one_stops) {
  run(superlink_fixture::fixed_head_network(2));
  safe_file f;
  ASSERT_TRUE(f.open(dir.write("j.txt", "2\n2\n1\n").c_str(), "r"));
  read_sjunc_list(f, sl.net, sl.sjunc);
  EXPECT_EQ(sl.sjunc, (std::vector<int>{0, 2, 1}));
  f.close();
  ASSERT_TRUE(f.open(dir.write("n.txt", "2\n1 3\n").c_str(), "r"));
  test_support::stdout_capture out;
  read_sl_link_list(f, sl.net, sl.sl_link, sl.sl_node);
  said = out.stop();
  EXPECT_TRUE(has(said, "End of file reached in file "));
  EXPECT_TRUE(has(said, "n.txt, exiting\n"));
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_TRUE(sl.sl_link.empty());
}

}  // namespace
