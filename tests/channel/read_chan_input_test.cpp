// The channel input file, the grid-stream file and the channel set-up, run
// on the junction project through the production set-up phases.

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "channel/read_chan_input.h"
#include "channel_setup_fixture.h"

namespace {

using chan_setup = channel_setup_test;

TEST_F(chan_setup, junction_network_is_read_as_given) {
  const std::string out = run_channel_setup();
  ASSERT_FALSE(stopped()) << out;

  const char* block =
      "\n\nChannel input data:\n"
      "  max. number of u.s. dependencies:      2\n"
      "  number of trapezoidal links:           3\n"
      "    num w/ subsurface attribute:           0\n"
      "    num w/ erodible attribute:             0\n"
      "  number of breakpoint links:            0\n"
      "    num w/ subsurface attribute:           0\n"
      "    num w/ erodible attribute:             0\n"
      "    max number of xsec in any bp link:     0\n"
      "    max number of xsec pairs:              0\n"
      "  number of lake links:                  0\n"
      "  number of hydraulic structure links:   0\n"
      "    total no. of hydr. structure elements: 0\n"
      "  number of groundwater links:           0\n";
  EXPECT_TRUE(has(out, block)) << out;
  EXPECT_TRUE(has(out, "Finished reading non-orthogonal channel information from gst file.\n"));
  EXPECT_TRUE(has(out, "reading channel input data from file junction.chan\n"));
  EXPECT_TRUE(has(file_text("summary.out"), "reading channel input data from file junction.chan\n"));

  const channel_state& c = chan();
  EXPECT_EQ(c.links, 3);
  for (int l = 1; l <= 3; ++l) {
    EXPECT_EQ(c.ltype[l], 4);
    EXPECT_EQ(c.ldex[l], l);
    EXPECT_EQ(c.nx[l], l == 3 ? 5 : 3);
  }
  EXPECT_EQ(c.dslink[1], 3);
  EXPECT_EQ(c.ndep[3], 2);
  EXPECT_EQ(c.upstream(3, 1), 1);
  EXPECT_EQ(c.upstream(3, 2), 2);
  EXPECT_EQ(c.head_links, 2);
  const double beds[] = {14.5, 13.5, 12.5, 11.5, 10.5};
  for (int j = 1; j <= 5; ++j) {
    EXPECT_DOUBLE_EQ(c.bel[at(3, j)], beds[j - 1]);
    EXPECT_DOUBLE_EQ(c.yp[at(3, j)], c.bel[at(3, j)]);
  }
  for (int l = 1; l <= 3; ++l)
    for (int j = 1; j <= c.nx[l]; ++j) {
      EXPECT_EQ(c.bottom[at(l, j)], 2.0);
      EXPECT_EQ(c.sslope[at(l, j)], 1.0);
      EXPECT_EQ(c.bankfull_dep[at(l, j)], 3.0);
    }
  EXPECT_NEAR(c.inv_mannings_n[3], 1.0 / 0.035, 1e-12);
  // Link 3's nodes lie in cells 12 to 16 of row 2.
  EXPECT_EQ(c.stream_cells, 11);
  EXPECT_EQ(c.gst_gnum[c.gst_index(7, 1)], 12);
  EXPECT_EQ(c.gst_node[c.gst_index(11, 1)], 5);
  EXPECT_EQ(c.gst_row[c.gst_index(11, 1)], 2);
  EXPECT_EQ(c.gst_col[c.gst_index(11, 1)], 8);
  EXPECT_EQ(c.chan_has_water, 0);

  EXPECT_EQ(file_text("short_links.out"), "Links with 1 node:\n");
  EXPECT_EQ(file_text("bad_thalweg.out"),
            "Problem    link    node    thalweg     cell    elev\n"
            "--> problem codes: 0=thalweg>cell elev, 1= difference <0.5, 2= difference<1.0, "
            "3=difference>3.5\n");
}

TEST_F(chan_setup, diagnostic_files_list_short_links_and_beds_above_ground) {
  replace(chan_text_, "LINK 1\nNODES 4", "LINK 1\nNODES 2");
  replace(gst_text_, "LINKNODE 1 2 1.0", "LINKNODE 1 1 1.0");
  replace(gst_text_, "LINKNODE 1 3 1.0", "LINKNODE 1 1 1.0");
  std::string ground = fixture("elevation.asc");
  replace(ground, "20 20 20 20 20 20 20 20\n20 20 20 20 20 20 20 20\n",
          "20 20 20 20 20 20 20 20\n20 20 20 20 20 20 20 10.0\n");
  dir_.write("elevation.asc", ground);
  const std::string out = run_channel_setup();
  ASSERT_FALSE(stopped()) << out;
  EXPECT_EQ(file_text("short_links.out"), "Links with 1 node:\n1\n");
  EXPECT_TRUE(has(file_text("bad_thalweg.out"), "\n0        3       5   10.500000   16   10.000000\n"));
}

TEST_F(chan_setup, the_first_card_may_be_any_word_beginning_valto_chan) {
  replace(chan_text_, "VALTO_CHAN", "valto_channel_network");
  run_channel_setup();
  EXPECT_FALSE(stopped());
  EXPECT_EQ(chan().links, 3);
}

TEST_F(chan_setup, hot_start_lines_start_nodes_wet) {
  // Link 1's three nodes, then link 2's first node with its area; the rest
  // of the nodes lie past the end of the file and start dry.
  dir_.write("chan.hot", "1 1 15.0\n1 2 12.0\n1 3 17.0\n2 1 17.9 9.25\n");
  const std::string out = run_channel_setup("READ_CHAN_HOTSTART chan.hot\n");
  ASSERT_FALSE(stopped()) << out;
  const channel_state& c = chan();
  EXPECT_EQ(c.chan_depth[at(1, 1)], 0.0);  // a stage below the bed starts dry
  EXPECT_EQ(c.yp[at(1, 1)], c.bel[at(1, 1)]);
  EXPECT_EQ(c.chan_depth[at(1, 3)], 17.0 - 15.5);
  EXPECT_NEAR(c.chan_depth[at(2, 1)], 0.4, 1e-12);
  EXPECT_EQ(c.area[at(2, 1)], 9.25);
  EXPECT_EQ(c.area[at(1, 3)], 0.0);  // three values keep the area
  EXPECT_EQ(c.chan_depth[at(3, 5)], 0.0);
  EXPECT_EQ(c.chan_has_water, 1);
}

TEST_F(chan_setup, hot_start_records_set_depth_and_discharge) {
  struct record_case {
    const char* text;
    int wet;
  };
  const record_case cases[] = {
      {"2 3 0.5 1.25\n9 3 1.0 1.0\n3 4 1.0 1.0\n", 1},  // off-network records passed over
      {"2 3 0.0 0.0\n", 0},                              // depth 0 leaves the flag down
  };
  for (const record_case& k : cases) {
    state_ = std::make_unique<model_state>();
    clear_errors();
    dir_.write("chan.rec", k.text);
    const std::string out = run_channel_setup("READ_CHAN_HOTSTART chan.rec\nHOTSTART_IS_DEPTH\n");
    ASSERT_FALSE(stopped()) << out;
    EXPECT_EQ(chan().chan_has_water, k.wet) << k.text;
    if (k.wet) {
      EXPECT_DOUBLE_EQ(chan().yp[at(3, 2)], 13.5 + 0.5);
      EXPECT_EQ(chan().qp[at(3, 2)], 1.25);
    }
  }
}

TEST_F(chan_setup, location_lists_are_read_and_cells_numbered) {
  dir_.write("hyd.loc", "2\n3 5\n1 3\n");
  dir_.write("cells.loc", "2\n2 8\n1 1\n");
  const std::string out = run_channel_setup("", [](model_state& s) {
    project_settings& p = s.input.settings;
    p.in_hyd_location_given = 1;
    p.in_hyd_location = "hyd.loc";
    p.out_hyd_location = "hyd.out";
    p.in_celldepdis_location_given = 1;
    p.in_celldepdis_location = "cells.loc";
    p.out_celldepdis_location = "cells.out";
  });
  ASSERT_FALSE(stopped()) << out;
  const channel_state& c = chan();
  ASSERT_EQ(c.hyd_locations, 2);
  EXPECT_EQ(c.hyd_loc_link[1], 3);
  EXPECT_EQ(c.hyd_loc_node[1], 5);
  EXPECT_EQ(c.hyd_loc_node[2], 3);
  ASSERT_EQ(c.cell_locations, 2);
  EXPECT_EQ(c.cell_loc_number[1], 16);
  EXPECT_EQ(c.cell_loc_number[2], 1);
  EXPECT_TRUE(has(out, "2  8   16 \n1  1   1 \n")) << out;
}

TEST_F(chan_setup, lakes_structures_and_pumps_are_set_up_and_lake_losses_refused) {
  // Link 2 becomes a structure of one weir, or keeps its channel and gets a
  // pump, or becomes a lake over three cells: a lake needs a structure below
  // it, and one with an MLAKE card needs the aquifer exchange.
  dir_.write("pumped.ts",
             "VALTO_TS\npumped\nABSOLUTE\n2000 6 1 0 0 0.01\n2000 6 2 0 0 0.01\nEND_TS\n");
  const std::string lake =
      "LINK 2\nNODES 4\nLAKE\nMINWSE 19\nINITWSE 20.5\nMAXWSE 22\nNUMPTS 3\n3 1 3 2 3 3\n";
  struct element_case {
    std::string link2;
    const char* message;  // null: set up without a stop
  };
  const element_case cases[] = {
      {"LINK 2\nSTRUCTURE\nNODES 4\nNUMSTRUCTS 1\nSTRUCTTYPE WEIR\nCREST_LENGTH 3\n", nullptr},
      {"LINK 2\nNODE 2\nPUMPTO 1 3 TS pumped\n", nullptr},
      {lake,
       "Error: lake link 2 of the channel network drains into link 3, which is not a structure "
       "link; a lake empties through a structure.\n"},
      {"LINK 2\nNODES 4\nLAKE\nMLAKE 0.5\nINITWSE 20.5\nNUMPTS 1\n3 1\n",
       "Error: link 2 (MLAKE) is not available in this version.\n"},
  };
  for (const element_case& k : cases) {
    state_ = std::make_unique<model_state>();
    clear_errors();
    chan_text_ = fixture("junction.chan") + k.link2;
    const std::string out = run_channel_setup("TIME_SERIES_FILE pumped.ts\n");
    EXPECT_EQ(stopped(), k.message != nullptr) << out;
    if (k.message) {
      EXPECT_TRUE(has(out, k.message)) << out;
    }
  }
  // The lake was read whole before the refusal: it holds the listed cells
  // below its initial level.
  state_ = std::make_unique<model_state>();
  clear_errors();
  chan_text_ = fixture("junction.chan") + lake;
  const std::string out = run_channel_setup();
  EXPECT_TRUE(has(out, "Initial Water Surface Elevation Lake #1: 20.50\n")) << out;
  const channel_state& c = chan();
  EXPECT_EQ(c.ldex[2], 1);
  EXPECT_EQ(c.nx[2], 4);
  EXPECT_EQ(c.lake_cells[1], 3);
  EXPECT_NEAR(c.lake_volume[1], 3 * 0.5 * 100 * 100, 1e-9);
  EXPECT_EQ(c.lake_mask[17], 1);
  EXPECT_EQ(c.og_uslinks[3 * 5 + 2], 2);
}

TEST_F(chan_setup, structure_elements_take_their_fields_and_series) {
  dir_.write("curves.es", "VALTO_ES\nspill\n10 0\n12 5\nEND_ES\n");
  chan_text_ = fixture("junction.chan") +
               "LINK 2\nSTRUCTURE\nNODES 4\nNUMSTRUCTS 2\nSTRUCTTYPE ROUND_CULVERT\nDIAMETER 1.2\n"
               "LENGTH 30\nUPINVERT 16\nDOWNINVERT 15.5\nSTRUCTTYPE RATING_CURVE spill\n";
  const std::string out = run_channel_setup("ELEV_SERIES_FILE curves.es\n");
  const channel_state& c = chan();
  ASSERT_EQ(c.elements.size(), 3u) << out;
  EXPECT_EQ(c.elements[1].type, 3);
  EXPECT_EQ(c.elements[1].width, 1.2);
  EXPECT_EQ(c.elements[1].length, 30.0);
  EXPECT_EQ(c.elements[1].down_invert, 15.5);
  EXPECT_EQ(c.elements[2].type, 6);
  ASSERT_NE(c.elements[2].es, nullptr);
  EXPECT_EQ(c.elements[2].es->name, "spill");
  EXPECT_EQ(c.struct_range[2].first, 1);
  EXPECT_EQ(c.struct_range[2].last, 2);
  EXPECT_EQ(c.struct_range[1].first, 10000);
  EXPECT_EQ(c.struct_range[1].last, 0);
  EXPECT_EQ(c.nx[2], 4);  // a later NODES card replaces the structure's two points
}

// One edit of the junction files per case, and the message it must give.
struct bad_case {
  const char* name;
  const char* file;  // "chan", "gst" or "prj"
  const char* from;
  const char* to;
  const char* message;
};

class chan_bad_input : public channel_setup_test,
                       public testing::WithParamInterface<bad_case> {};

TEST_P(chan_bad_input, stops_with_its_message) {
  const bad_case& k = GetParam();
  std::string extra;
  const std::string file = k.file;
  if (file == "chan") replace(chan_text_, k.from, k.to);
  if (file == "gst") replace(gst_text_, k.from, k.to);
  if (file == "prj") extra = k.to;
  if (file == "hot") {
    dir_.write("chan.hot", k.to);
    extra = k.from;
  }
  const std::string out = run_channel_setup(extra);
  EXPECT_TRUE(stopped()) << out;
  EXPECT_TRUE(has(out, k.message)) << out;
}

const bad_case bad_cases[] = {
    {"premature_header", "chan", "MAXNODES 10\n", "",
     "Premature end-of-file in the channel input file.\nThe channel input file does not contain"},
    {"zero_roughness", "chan", "MANNINGS_N 0.035", "MANNINGS_N 0.0",
     "Error encountered when reading the channel input file, link 1:\n    Manning's Roughness is 0.000\n"},
    {"roughness_missing", "chan", "LINK 2\nNODES 4\nTRAPEZOID\nDX 100\nMANNINGS_N 0.035",
     "LINK 2\nNODES 4\nTRAPEZOID\nDX 100",
     "Error encountered when reading the channel input file, link 2:\n    the link has no MANNINGS_N card"},
    {"numstructs_mismatch", "chan", "LINK 2\nNODES 4", "LINK 2\nNUMSTRUCTS 2\nNODES 4",
     "\nThe sum of NUMSTRUCTS arguments is 2, while the total number\n"},
    {"whoa", "chan", "CONNECT 3 0 2 1 2", "CONNECT 3 0 21 1 2 1 2 1 2 1 2 1 2 1 2 1 2 1 2 1 2 1 2 1",
     "Whoa there pardner!  You mean to tell me that you have more than 20\n"},
    {"connect_count", "chan", "CONNECT 2 3 0\n", "",
     "Your channel input file contains 3 links, and 2 CONNECT cards\n"},
    {"no_section", "chan", "LINK 2\nNODES 4\nTRAPEZOID\nDX 100\nMANNINGS_N 0.035\nNODE 1\nELEV 18\nXSEC",
     "LINK 2\nNODES 4\nTRAPEZOID\nDX 100\nMANNINGS_N 0.035\nNODE 1\nELEV 18\n",
     "Error: Cross section parameters not found for link 2.\n"},
    {"num_interp_missing", "chan", "LINK 2\nNODES 4\nTRAPEZOID",
     "LINK 2\nNODES 4\nBREAKPOINT\nNODE 1\nNPAIRS 3\nX1 0 1\nX1 1 0\nX1 2 1",
     "Error: the number of interpolation points has not been specifiedfor any table."},
    {"too_many_x1", "chan", "LINK 2\nNODES 4\nTRAPEZOID",
     "LINK 2\nNODES 4\nBREAKPOINT\nNODE 1\nNPAIRS 2\nNUM_INTERP 10\nX1 0 1\nX1 1 0\nX1 2 1",
     "\n\nError: There are more X1 cards than the NPAIRS card specifies \nfor table 1 in link 2.\n"},
    {"pump_flow_type", "chan", "LINK 2\nNODES 4", "LINK 2\nNODES 4\nPUMPTO 1 3 FLOW q",
     "\n\nError in the channel input file: Flow type for pump is incorrectly\ndefined for link 2. Must be ELEV or TS.\n"},
    {"rating_curve_usage", "chan", "LINK 2\nNODES 4\nTRAPEZOID", "LINK 2\nNODES 4\nSTRUCTURE\nNUMSTRUCTS 1\nSTRUCTTYPE RATING_CURVE",
     "Error: Incorrect usage of the RATING_CURVE card."},
    {"rating_curve_series", "chan", "LINK 2\nNODES 4\nTRAPEZOID", "LINK 2\nNODES 4\nSTRUCTURE\nNUMSTRUCTS 1\nSTRUCTTYPE RATING_CURVE none",
     "Error: The elevation series for a RATING_CURVE card is not found."},
    {"scheduled_release_usage", "chan", "LINK 2\nNODES 4\nTRAPEZOID", "LINK 2\nNODES 4\nSTRUCTURE\nNUMSTRUCTS 1\nSTRUCTTYPE SCHEDULED_RELEASE",
     "Error: Incorrect usage of the SCHEDULED_RELEASE card."},
    {"scheduled_release_series", "chan", "LINK 2\nNODES 4\nTRAPEZOID", "LINK 2\nNODES 4\nSTRUCTURE\nNUMSTRUCTS 1\nSTRUCTTYPE SCHEDULED_RELEASE none",
     "Error: The time series for a SCHEDULED_RELEASE card is not found."},
    {"rule_curve_usage", "chan", "LINK 2\nNODES 4\nTRAPEZOID", "LINK 2\nNODES 4\nSTRUCTURE\nNUMSTRUCTS 1\nSTRUCTTYPE RULE_CURVE",
     "Error: Incorrect usage of the RULE_CURVE card."},
    {"rule_curve_series", "chan", "LINK 2\nNODES 4\nTRAPEZOID", "LINK 2\nNODES 4\nSTRUCTURE\nNUMSTRUCTS 1\nSTRUCTTYPE RULE_CURVE none",
     "Error: The elevation series for a RULE_CURVE card is not found."},
    {"streamcells_missing", "gst", "STREAMCELLS 11\n", "",
     "The second card in the grid-stream file must be STREAMCELLS\nFile format error, program terminating.\n"},
    {"streamcells_zero", "gst", "STREAMCELLS 11", "STREAMCELLS 0",
     "The number of STREAMCELLS in the grid-stream (.gst) file\nmust be greater than 0."},
    {"hotstart_missing", "hot", "READ_CHAN_HOTSTART none.hot\nHOTSTART_IS_DEPTH\n", "",
     "Can't open channel hotstart file named none.hot\n"},
    {"dx_too_small", "chan", "DX 100", "DX 0.00001",
     "\nYour channel node spacing is 0.000010 in link 1\nYou must specify a realistic value."},
    // Mends: what the reader checks beyond the file's own rules.
    {"not_a_channel_file", "chan", "VALTO_CHAN", "CHANNELS",
     "does not begin with the VALTO_CHAN card"},
    {"not_a_grid_stream_file", "gst", "GRIDSTREAMFILE", "gridstreamfile",
     "does not begin with GRIDSTREAMFILE"},
    {"link_off_network", "chan", "LINK 2\n", "LINK 4\n", "card LINK: link 4 is outside 1..3."},
    {"connect_off_network", "chan", "CONNECT 3 0 2 1 2", "CONNECT 3 0 2 1 7",
     "card CONNECT: upstream link 7 is outside 1..3."},
    {"node_off_network", "chan", "NODE 4\n", "NODE 11\n", "card NODE: node 11 is outside 1..10."},
    {"nodes_off_network", "chan", "NODES 6", "NODES 12", "card NODES: node count 12 is outside 1..10."},
    {"too_many_cellij", "gst", "STREAMCELLS 11", "STREAMCELLS 10",
     "card NUMNODES: more NUMNODES cards than the 10 STREAMCELLS."},
    {"too_many_linknodes", "gst", "LINKNODE 1 1 1.0", "LINKNODE 1 1 1.0\nLINKNODE 1 2 1.0",
     "card LINKNODE: more LINKNODE cards than the 1 of the cell's NUMNODES."},
    {"linknode_off_network", "gst", "LINKNODE 3 5 1.0", "LINKNODE 3 6 1.0",
     "card LINKNODE: node 6 is outside 1..5."},
    {"cellij_off_grid", "gst", "CELLIJ 1 1", "CELLIJ 4 1", "card CELLIJ: row 4 is outside 1..3."},
    {"malformed_number", "chan", "ELEV 17", "ELEV 17x", "card ELEV: \"17x\" is not a number."},
    {"flat_section", "chan", "SIDE_SLOPE 1", "SIDE_SLOPE 0\nBOTTOM_WIDTH 0",
     "the cross-section of link 1 has no bottom width and no side slope"},
    {"hotstart_not_numbers", "hot", "READ_CHAN_HOTSTART chan.hot\n", "1 1 high\n",
     "Error: line 1 of the channel hot-start file"},
    {"lakes_need_four_upstream_links", "chan", "CONNECT 3 0 2 1 2",
     "CONNECT 3 0 5 1 2 1 2 1\nLINK 2\nLAKE",
     "a network with lakes takes at most 4 upstream links on any link"},
};

INSTANTIATE_TEST_SUITE_P(cases, chan_bad_input, testing::ValuesIn(bad_cases),
                         [](const testing::TestParamInfo<bad_case>& i) { return i.param.name; });

TEST_F(chan_setup, an_outlet_link_of_one_node_is_refused) {
  replace(chan_text_, "LINK 3\nNODES 6", "LINK 3\nNODES 2");
  for (int j = 2; j <= 5; ++j)
    replace(gst_text_, "LINKNODE 3 " + std::to_string(j) + " 1.0", "LINKNODE 3 1 1.0");
  const std::string out = run_channel_setup();
  EXPECT_TRUE(stopped());
  EXPECT_TRUE(has(out, "Error: the outlet link 3 of the channel network has 1 computational node"))
      << out;
}

TEST_F(chan_setup, locations_off_the_network_are_refused) {
  dir_.write("hyd.loc", "1\n1 4\n");
  const std::string out = run_channel_setup("", [](model_state& s) {
    s.input.settings.in_hyd_location_given = 1;
    s.input.settings.in_hyd_location = "hyd.loc";
    s.input.settings.out_hyd_location = "hyd.out";
  });
  EXPECT_TRUE(stopped());
  EXPECT_TRUE(has(out, "link 1 node 4, is not a node of the network")) << out;

  state_ = std::make_unique<model_state>();
  clear_errors();
  dir_.write("hyd.loc", "2\n1 3\n");
  const std::string short_list = run_channel_setup("", [](model_state& s) {
    s.input.settings.in_hyd_location_given = 1;
    s.input.settings.in_hyd_location = "hyd.loc";
    s.input.settings.out_hyd_location = "hyd.out";
  });
  EXPECT_TRUE(has(short_list, "End of file reached in file ")) << short_list;
}

TEST(chan_card_code, classifies_words_in_any_case_and_takes_them_off) {
  struct word_case {
    const char* line;
    int code;
    const char* rest;
  };
  const word_case cases[] = {
      {"  Trap_Erode  ", chan_card::trapezoid_erode, "  "},
      {"\tK_RIVER 0.5", chan_card::k_river, " 0.5"},
      {"GW_BED_CONDUCTIVITY 0.5", chan_card::k_river, " 0.5"},
      {"", chan_card::no_card, ""},
      {"XSECTION 1", chan_card::no_card, " 1"},
      {"# a comment", chan_card::no_card, " a comment"},
  };
  for (const word_case& k : cases) {
    char line[64];
    std::snprintf(line, sizeof line, "%s", k.line);
    EXPECT_EQ(chan_card_code(line), k.code) << k.line;
    EXPECT_STREQ(line, k.rest) << k.line;
  }
}

}  // namespace
