// The network and grid-pipe readers: what they fill, how they grade, and
// every refusal naming its file and line.

#include <gtest/gtest.h>

#include <string>

#include "superlink_fixture.h"

namespace {

using superlink_fixture::read_network;

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

struct reader : ::testing::Test {
  superlink_network net;
  std::string said;
  void SetUp() override { error_state = error_record{}; }
  void TearDown() override { error_state = error_record{}; }
};

TEST_F(reader, fills_the_network_as_its_cards_say) {
  ASSERT_EQ(read_network(superlink_fixture::fixed_head_network(1), net, 0, "", &said), 0);
  EXPECT_EQ(net.n_sjunc, 2);
  EXPECT_EQ(net.n_slink, 1);
  EXPECT_EQ(net.max_pipes, 1);
  EXPECT_EQ(net.dim, 4);
  EXPECT_EQ(net.us_sjunc[1], 1);
  EXPECT_EQ(net.ds_sjunc[1], 2);
  EXPECT_EQ(net.bound[1], 1);
  EXPECT_EQ(net.inlet_type(0, 2), 11);
  EXPECT_DOUBLE_EQ(net.junc_bottom[2], 50.5);
  EXPECT_EQ(net.superjunct_j[2], 3);
  EXPECT_DOUBLE_EQ(net.slink_node_Zinv(2, 1), 49.6);
  EXPECT_EQ(net.superlink_node_j(2, 1), 3);
  EXPECT_EQ(net.sec_type(1, 1), 1);
  EXPECT_DOUBLE_EQ(net.diameter(1, 1), 0.8);
  EXPECT_DOUBLE_EQ(net.M_n(1, 1), 0.012);
  EXPECT_DOUBLE_EQ(net.S0(1, 1), 0.002);
  EXPECT_DOUBLE_EQ(net.dx(1, 1), 400.0);
  EXPECT_DOUBLE_EQ(net.dxc(1, 1), 400.0);
  EXPECT_EQ(net.superlink_cnodes[1], 1);
  EXPECT_EQ(net.superlink_leaky, 0);
  EXPECT_FALSE(has(said, "arning"));  // 8 m and 9.5 m above the bottoms
}

TEST_F(reader, grading_moves_the_end_node_and_interpolates_between) {
  ASSERT_EQ(read_network(superlink_fixture::fixed_head_network(1), net, 1), 0);
  ASSERT_EQ(net.superlink_cnodes[1], 8);
  const double lengths[] = {10, 20, 50, 140, 100, 50, 20, 10};
  double along = 0.0;
  for (int i = 1; i <= 8; ++i) {
    EXPECT_DOUBLE_EQ(net.dxc(i, 1), lengths[i - 1]);
    EXPECT_DOUBLE_EQ(net.diameter(i, 1), 0.8);
    EXPECT_EQ(net.pipe_input(i, 1), 1);
    along += lengths[i - 1];
    if (i < 8) {
      EXPECT_NEAR(net.slink_node_Zinv(i + 1, 1), 50.4 - 0.8 * along / 400.0, 1e-12);
      EXPECT_EQ(net.superlink_node_j(i + 1, 1), 0);  // interior nodes have no cell
    }
  }
  EXPECT_DOUBLE_EQ(net.slink_node_Zinv(9, 1), 49.6);
  EXPECT_EQ(net.superlink_node_j(9, 1), 3);
  EXPECT_EQ(net.otc_node(2, 1), 9);
  EXPECT_EQ(net.otc_pipe(1, 1), 1);
  EXPECT_EQ(net.dim, 6);
}

TEST_F(reader, grading_several_pipes_keeps_every_input_node) {
  ASSERT_EQ(read_network(superlink_fixture::fixed_head_network(4), net, 1), 0);
  // 10, 20, 35, 35 | 100 | 100 | 35, 35, 20, 10
  ASSERT_EQ(net.superlink_cnodes[1], 10);
  const int node_at[] = {0, 1, 5, 6, 7, 11};
  const int pipe_at[] = {0, 1, 5, 6, 7};
  for (int i = 1; i <= 5; ++i) {
    SCOPED_TRACE(i);
    const int c = node_at[i];
    EXPECT_EQ(net.otc_node(i, 1), c);
    EXPECT_NEAR(net.slink_node_Zinv(c, 1), 50.4 - 0.2 * (i - 1), 1e-9);
    EXPECT_EQ(net.superlink_node_j(c, 1), i == 1 ? 1 : i == 5 ? 3 : 2);
    if (i <= 4) {
      EXPECT_EQ(net.otc_pipe(i, 1), pipe_at[i]);
    }
  }
  EXPECT_NEAR(net.slink_node_Zinv(3, 1), 50.4 - 0.2 * 30.0 / 100.0, 1e-9);
  EXPECT_EQ(net.superlink_node_j(3, 1), 0);
  EXPECT_EQ(net.pipe_input(8, 1), 4);
  EXPECT_DOUBLE_EQ(net.dxc(5, 1), 100.0);
}

TEST_F(reader, a_short_single_pipe_stays_whole_when_graded) {
  std::string t = superlink_fixture::fixed_head_network(1);
  t.replace(t.find(" 400.000000 "), 12, " 9.5 ");
  ASSERT_EQ(read_network(t, net, 1), 0);
  EXPECT_EQ(net.superlink_cnodes[1], 1);
  EXPECT_DOUBLE_EQ(net.dxc(1, 1), 9.5);
  EXPECT_DOUBLE_EQ(net.slink_node_Zinv(2, 1), 49.6);
}

TEST_F(reader, warns_of_a_shallow_junction_but_not_at_two_metres) {
  const std::string t =
      "SJUNC 1 54.0 52.0 1.0 0 1 1 0.0 0.0\n"
      "SJUNC 2 51.9 50.0 1.0 888 1 3 0.0 0.0\n"
      "CONNECT 1 1 2\nSLINK 1 1\n"
      "NODE 1 54.0 52.0 0.0 0 1 1 0.0 0.0\nNODE 2 49.0 50.0 0.0 0 1 3 0.0 0.0\n"
      "PIPE 1 1 0.5 0.0 -0.01 0.013 100.0 0.0 0.0\n";
  ASSERT_EQ(read_network(t, net, 0, "", &said), 0);
  EXPECT_FALSE(has(said, "superjunction 1\n"));
  EXPECT_TRUE(has(said, "Warning: ground elevation less than 2.0m above node bottom. superjunction 2\n"));
  EXPECT_TRUE(has(said, "WARNING: ground elevation less than node bottom. superlink 1, node 2\n"));
  EXPECT_TRUE(has(said, "Warning: pipe slope is negative: node 1 link 1\n"));
}

struct bad_network {
  const char* what;
  std::string from, to;  // replaced in the fixed-head network
  const char* message;
  int line;
};

TEST_F(reader, refuses_bad_cards_naming_file_and_line) {
  const std::string base = superlink_fixture::fixed_head_network(1);
  const bad_network cases[] = {
      {"section type", "PIPE 1 1 ", "PIPE 1 4 ", "Error: pipe cross-section type not valid: node 1 link 1.\n", 7},
      {"roughness", " 0.012 ", " 0.0 ", "Error: pipe roughness value not valid: node 1 link 1.\n", 7},
      {"spacing", " 400.000000 0.0 0.0", " 400.000000 1.0 0.0",
       "Error: drain spacing cannot be zero if pipe conductivity greater than zero: node 1 link 1.\n", 7},
      {"length", " 400.000000 ", " 0.0 ", "Error: pipe length is zero or negative: node 1 link 1.\n", 7},
      {"junction number", "SJUNC 2 ", "SJUNC 3 ", "superjunction 3 is outside 1..2", 2},
      {"connect junction", "CONNECT 1 1 2", "CONNECT 1 1 5", "superlink 1 joins superjunctions 1 and 5", 3},
      {"pipe number", "PIPE 1 1", "PIPE 2 1", "pipe 2 is outside 1..1 of superlink 1", 7},
      {"node number", "NODE 2 ", "NODE 3 ", "node 3 is outside 1..2 of superlink 1", 6},
      {"card words have case", "CONNECT", "connect", "superlink 1 is outside 1..0", 4},
      {"missing field", "SLINK 1 1\n", "SLINK 1\n", "a SLINK card needs", 4},
      {"not a number", "SJUNC 1 60.0", "SJUNC 1 6O.0", "a SJUNC card needs", 1},
      {"missing node", "NODE 2 60.0 49.600000 0.0 0 1 3 0.0 0.0\n", "", "superlink 1 has no NODE card 2", 6},
      {"duplicated junction", "CONNECT 1 1 2", "SJUNC 2 60.0 50.5 1.0 11 1 3 0.0 0.0\nCONNECT 1 1 2",
       "Error: superjunction 2 is given a second time; its first card is on line 2.\n", 3},
      {"duplicated connect", "SLINK 1 1\n", "CONNECT 1 1 2\nSLINK 1 1\n",
       "Error: the CONNECT card of superlink 1 is given a second time; its first card is on line 3.\n", 4},
      {"duplicated node", "NODE 2 ", "NODE 1 ",
       "Error: node 1 of superlink 1 is given a second time; its first card is on line 5.\n", 6},
      {"negative junction area", "SJUNC 2 60.0 50.5 1.0", "SJUNC 2 60.0 50.5 -1.0",
       "Error: the surface area of superjunction 2 is -1, outside its range; it must be 0 or more.\n", 2},
      {"negative grate", "0 1 3 0.0 0.0\nPIPE", "0 1 3 -0.5 0.0\nPIPE",
       "Error: the grate side length of node 2 of superlink 1 is -0.5, outside its range", 6},
      {"negative conductivity", " 400.000000 0.0 0.0", " 400.000000 -1.0 0.0",
       "Error: the conductivity of pipe 1 of superlink 1 is -1, outside its range; it must be 0 or more.\n", 7},
      {"negative spacing", " 400.000000 0.0 0.0", " 400.000000 0.0 -2.0",
       "Error: the drain spacing of pipe 1 of superlink 1 is -2, outside its range", 7},
      {"a control byte", "CONNECT 1 1 2", "CONNECT 1 1 2\x01",
       "Error: the storm sewer file holds bytes that are not text.\n", 3},
  };
  for (const bad_network& c : cases) {
    SCOPED_TRACE(c.what);
    std::string t = base;
    const std::size_t at = t.find(c.from);
    ASSERT_NE(at, std::string::npos);
    t.replace(at, c.from.size(), c.to);
    error_state = error_record{};
    EXPECT_EQ(read_network(t, net, 0, "", &said), -1);
    EXPECT_TRUE(has(said, c.message)) << said;
    EXPECT_TRUE(has(said, "net.txt, line " + std::to_string(c.line) + ")")) << said;
    EXPECT_EQ(error_state.stop_flag, 1);
  }
}

TEST_F(reader, a_file_without_a_network_is_refused) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "gives 0 SJUNC and 0 CONNECT cards; a network needs at least two superjunctions and "
           "one superlink.\n  (File: "},
      {std::string("\x7f" "ELF\x02\x01\x01\0\0\xff\xfe", 11) + "\n",
       "Error: the storm sewer file holds bytes that are not text.\n"},
      {"# a network to come\nSJUNC 1 60 52 1 0 1 1 0 0\n",
       "Error: the storm sewer file gives 1 SJUNC and 0 CONNECT cards"},
  };
  for (const auto& [text, message] : cases) {
    SCOPED_TRACE(message);
    error_state = error_record{};
    EXPECT_EQ(read_network(text, net, 0, "", &said), -1);
    EXPECT_TRUE(has(said, message)) << said;
    EXPECT_TRUE(has(said, text.empty() ? "net.txt)\n" : "net.txt, line " + std::to_string(
                                                             text[0] == '#' ? 2 : 1) + ")\n"))
        << said;
    EXPECT_EQ(error_state.stop_flag, 1);
  }
}

TEST_F(reader, warns_once_of_a_pipe_rougher_than_any) {
  std::string t = superlink_fixture::fixed_head_network(2);
  for (std::size_t at; (at = t.find(" 0.012 ")) != std::string::npos;) t.replace(at, 7, " 1.5 ");
  ASSERT_EQ(read_network(t, net, 0, "", &said), 0);
  const std::string warning = "Warning: the roughness 1.5 of pipe 1 of superlink 1 is above 1";
  EXPECT_TRUE(has(said, warning)) << said;
  EXPECT_EQ(said.find("Warning: the roughness", said.find(warning) + 1), std::string::npos);
}

TEST_F(reader, a_pipe_without_conductivity_or_spacing_is_valid) {
  ASSERT_EQ(read_network(superlink_fixture::fixed_head_network(2), net), 0);
  EXPECT_EQ(error_state.stop_flag, 0);
  EXPECT_EQ(net.nnodes[1], 2);
}

TEST_F(reader, counts_beyond_the_limit_stop_reading) {
  std::string t;
  for (int j = 1; j <= 2001; ++j) t += "SJUNC " + std::to_string(j) + " 10 5 1 0 1 1 0 0\n";
  EXPECT_EQ(read_network(t, net, 0, "", &said), 9);
  EXPECT_TRUE(has(said, "MAX dimension of superlink arrays too big.  Problem with read routine.\n"));
  EXPECT_EQ(error_state.stop_flag, 1);
}

// A leaky 2-pipe superlink: pipe 2 takes groundwater.
std::string leaky_network() {
  std::string t = superlink_fixture::fixed_head_network(2);
  const std::size_t at = t.rfind(" 0.0 0.0\n");
  t.replace(at, 9, " 2.0 15.0\n");
  return t;
}

TEST_F(reader, reads_the_grid_pipe_file_of_leaky_pipes) {
  const std::string gpi =
      "GridPipeFile\npipecells 2\n"
      "CELLIJ 1 2\nNUMPIPES 1\nSPIPE 1 2 0.5\n"
      "cellij 1 3\nnumpipes 2\nspipe 1 2 0.25\nSPIPE 1 1 1.0\n";
  ASSERT_EQ(read_network(leaky_network(), net, 0, gpi, &said), 0);
  EXPECT_EQ(net.superlink_leaky, 1);
  EXPECT_EQ(net.gpi_cells, 2);
  EXPECT_EQ(net.gpi_max_pipes, 2);
  EXPECT_EQ(net.gpi_ncellsingrid[1], 1);
  EXPECT_EQ(net.gpi_ncellsingrid[2], 2);
  EXPECT_EQ(net.gpi_gnum(1, 1), 2);
  EXPECT_EQ(net.gpi_gnum(2, 2), 3);
  EXPECT_EQ(net.gpi_node(2, 2), 1);
  EXPECT_DOUBLE_EQ(net.gpi_pct(2, 1), 0.25);
  EXPECT_TRUE(has(said, "Finished reading gridpipe file.\n"));
}

TEST_F(reader, leaky_pipes_need_their_grid_pipe_file) {
  EXPECT_EQ(read_network(leaky_network(), net, 0, "", &said), -1);
  EXPECT_TRUE(has(said, "Since you have leaky pipes you must include the GRID_PIPE card"));
  EXPECT_TRUE(has(said, "Error: Unable to open tile drain grid pipe file.\n"));
  EXPECT_EQ(error_state.stop_flag, 1);
}

TEST_F(reader, refuses_a_grid_pipe_file_out_of_order) {
  struct bad_gpi {
    const char* text;
    const char* message;
    int line;
  };
  const bad_gpi cases[] = {
      {"GRIDPIPE\nPIPECELLS 1\n", "The gridpipe file format is invalid\n", 1},
      {"GRIDPIPEFILE\nCELLIJ 1 1\n", "The second card in the grid-pipe file must be PIPECELLS\n", 2},
      {"GRIDPIPEFILE\nPIPECELLS 0\n", "must be greater than 0.", 2},
      {"GRIDPIPEFILE\nPIPECELLS 1\nCELLIJ 1 1\nNUMPIPES 1\nSPIPE 1 1 1\nCELLIJ 1 2\n",
       "more CELLIJ cards than the 1 PIPECELLS", 6},
      {"GRIDPIPEFILE\nPIPECELLS 1\nCELLIJ 1 1\nNUMPIPES 1\nSPIPE 1 1 1\nSPIPE 1 2 1\n",
       "more SPIPE cards than the NUMPIPES 1 of cell 1", 6},
      {"GRIDPIPEFILE\nPIPECELLS 1\nCELLIJ 2 1\nNUMPIPES 1\n", "CELLIJ 2 1 is not a cell", 3},
      {"GRIDPIPEFILE\nPIPECELLS 1\nCELLIJ 1 1\nNUMPIPES 2\nSPIPE 1 1 1\n",
       "cell 1 has 1 SPIPE cards for its NUMPIPES 2", 5},
      {"GRIDPIPEFILE\nPIPECELLS 2\nCELLIJ 1 1\nNUMPIPES 1\nSPIPE 1 1 1\n",
       "the file lists 1 of its 2 PIPECELLS", 5},
      {"GRIDPIPEFILE\nPIPECELLS 1\nCELLIJ 1 1\nNUMPIPES 1\nSPIPE 1 3 1\n", "names pipe 3 of superlink 1", 5},
  };
  for (const bad_gpi& c : cases) {
    SCOPED_TRACE(c.text);
    error_state = error_record{};
    EXPECT_EQ(read_network(leaky_network(), net, 0, c.text, &said), -9);
    EXPECT_TRUE(has(said, c.message)) << said;
    EXPECT_TRUE(has(said, "net.gpi, line " + std::to_string(c.line) + ")")) << said;
    EXPECT_EQ(error_state.stop_flag, 1);
  }
}

}  // namespace
