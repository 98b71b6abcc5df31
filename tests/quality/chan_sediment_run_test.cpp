// Channel sediment end to end on the bank fixture (a 3 x 10 plane draining
// into one trapezoid channel along its bottom row, 36 mm/h for four hours),
// its channel made erodible (MAX_EROSION 0.5 m, porosity 0.4) and the soil
// eroding in three classes of 0.002, 0.03 and 0.5 mm (sand from 0.5 mm):
// the land's sediment reaches the channel, every class balances on the land
// and in the channel after every step, the summaries and outlet rows say
// so, and the bed follows the sand.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "../surface/surface_run_fixture.h"
#include "test_support.h"
#include "quality/sediment_tables.h"

namespace {

using namespace surface_fixture;
using test_support::padded;
using test_support::temp_dir;

std::string tables() { return sediment_fixture::three_class_loam_tables(); }

const char* const sediment_cards =
    "NUM_THREADS 1\nSOIL_EROSION 2\nSAND_SIZE 0.5\nWATER_TEMP 20\nSED_POROSITY 0.4\n"
    "MAPPING_TABLE tables.cmt\nHYD_FREQ 0.5\nOUTLET_SED_FLUX outlet.sed\n"
    "OUTLET_SED_TSS outlet.tss\n";

class chan_sediment_run : public testing::Test {
 protected:
  run_output run(const std::string& extra = "",
                 const std::function<void(model_state&)>& after_pass = nullptr,
                 bool erodible = true) {
    const std::string chan = fixture_text("bank", "bank.chan");
    return run_with_channel(erodible ? sediment_fixture::erodible_channel(chan) : chan, extra,
                            after_pass);
  }
  run_output run_with_channel(const std::string& chan, const std::string& extra,
                              const std::function<void(model_state&)>& after_pass,
                              const std::vector<std::string>& drop = {}) {
    for (const char* name : {"mask.asc", "elevation.asc", "bank.gst"})
      dir_.write(name, fixture_text("bank", name));
    dir_.write("bank.chan", chan);
    dir_.write("soils.idx", ascii_grid(3, 10, 100, std::vector<double>(30, 1.0)));
    dir_.write("tables.cmt", tables());
    std::vector<std::string> dropped = drop;
    dropped.push_back("HYD_FREQ");
    dir_.write("bank.prj",
               edit_cards(fixture_text("bank", "bank.prj"), dropped, sediment_cards + extra));
    return run_in_process(dir_.path(), "bank.prj", after_pass);
  }
  std::string file(const std::string& name) { return test_support::read_file(dir_.file(name)); }

  temp_dir dir_;
};

TEST_F(chan_sediment_run, every_class_balances_on_the_land_and_in_the_channel) {
  double worst_land = 0.0, worst_sand = 0.0, worst_wash = 0.0, sand_in = 0.0, wash_out = 0.0;
  double bed_change = 0.0;
  const run_output out = run("", [&](model_state& s) {
    const sediment_state& sed = s.quality.sediment;
    const chan_sediment_state& cs = s.quality.chan_sediment;
    for (int i = 1; i <= 3; ++i) {
      double eroded = 0.0, held = 0.0;
      for (int c = 1; c <= s.grid.cells; ++c) {
        eroded -= sed.vol(c, i)[sed_element::eroded];
        held += sed.vol(c, i)[sed_element::suspended] + sed.vol(c, i)[sed_element::deposited];
      }
      const double found = held + cs.class_to_chan[std::size_t(i)];
      if (eroded > 0.0) worst_land = std::max(worst_land, std::fabs(eroded - found) / eroded);
    }
    sand_in = cs.sand_initial + cs.sand_to_chan[1];
    worst_sand =
        std::max(worst_sand, std::fabs(sand_in - cs.sand_outlet - cs.sand_in_channels()) / sand_in);
    if (cs.wash_to_chan > 0.0)
      worst_wash =
          std::max(worst_wash, std::fabs(cs.wash_to_chan - cs.wash_outlet - cs.wash_in_channels()) /
                                   cs.wash_to_chan);
    wash_out = cs.wash_outlet;
    double change = 0.0;
    for (int j = 1; j <= 10; ++j) {
      const int a = s.channel.node_address(1, j);
      change = std::max(change, std::fabs(cs.new_bel[a] - cs.org_bel[a]));
    }
    bed_change = std::max(bed_change, change);
  });
  ASSERT_EQ(out.status, 0) << out.text;
  // Ten nodes of (1 - 0.4) x 0.5 m x 2 m x 100 m of bed material.
  EXPECT_GE(sand_in, 600.0);
  EXPECT_LT(worst_land, 1e-9);
  EXPECT_LT(worst_sand, 1e-12);
  EXPECT_LT(worst_wash, 1e-9);
  EXPECT_GT(wash_out, 0.0);
  EXPECT_GT(bed_change, 0.0);
}

TEST_F(chan_sediment_run, summaries_and_outlet_rows_report_the_channel_sediment) {
  const run_output out = run();
  ASSERT_EQ(out.status, 0) << out.text;
  const std::string summary = file("summary.out");
  EXPECT_NE(summary.find("Initial volume of sand in channels:            600.00000000 m3\n"),
            std::string::npos)
      << summary;
  EXPECT_NE(summary.find("Sediment transport in channels using Yang's eqn. for sand.\n"),
            std::string::npos);
  EXPECT_NE(summary.find("Maximum rate of wash-load discharge: "), std::string::npos);
  EXPECT_NE(summary.find("Quanties are this Event \n"), std::string::npos);
  EXPECT_EQ(summary.find("routed through outlet"), std::string::npos);
  const std::size_t run_at = summary.rfind("Overland Sediment Summary\nTotal sediment 1 eroded");
  ASSERT_NE(run_at, std::string::npos);
  const std::string run_block = summary.substr(run_at);
  for (int i = 1; i <= 3; ++i) {
    const std::string k = std::to_string(i);
    EXPECT_NE(run_block.find("Total sediment " + k + " transported into channels:  "),
              std::string::npos);
    EXPECT_NEAR(summary_value(run_block, "Mass balance error for sediment " + k), 0.0, 5e-5);
  }
  ASSERT_NE(run_block.find("Channel sediment routing mass quantities\n"), std::string::npos);
  for (const char* label :
       {"Mass conservation error for wash load:", "Mass conservation error for sand load:",
        "Overall channel sediment mass cons. error:"})
    EXPECT_NEAR(summary_value(run_block, label), 0.0, 1e-6) << label;

  // What the rows of the outlet show over its 30 s steps is what the
  // summary sends out of the outlet: a time, two fines, the land's sand and
  // the bed material.
  const double wash = summary_value(run_block, "Total wash-load outlet discharge:");
  const double sand = summary_value(run_block, "Total sand outlet discharge:");
  std::istringstream rows(file("outlet.sed"));
  std::string row;
  double fines = 0.0, sands = 0.0;
  int count = 0;
  while (std::getline(rows, row)) {
    std::istringstream in(row);
    double t = 0, f1 = 0, f2 = 0, s1 = 0, s2 = 0, extra = 0;
    ASSERT_TRUE(in >> t >> f1 >> f2 >> s1 >> s2) << row;
    EXPECT_FALSE(in >> extra) << row;
    fines += (f1 + f2) * 30.0;
    sands += (s1 + s2) * 30.0;
    ++count;
  }
  EXPECT_EQ(count, 721);
  EXPECT_GT(wash, 0.0);
  EXPECT_NEAR(fines, wash, 1e-6 * wash + 1e-12);
  EXPECT_NEAR(sands, sand, 1e-6 * sand + 1e-12);
  EXPECT_EQ(test_support::lines_of(file("outlet.tss")).size(), 721u);

  // The event end took the bed the sand left: the reach lost its sand
  // below the outlet's bed slope, so some node lies lower than it started.
  const std::vector<std::string> beds = test_support::lines_of(file("new_bed_elevations.txt"));
  ASSERT_EQ(beds.size(), 11u);
  double lowered = 0.0;
  for (std::size_t r = 1; r < beds.size(); ++r) {
    long link = 0, node = 0, flag = -1;
    double now = 0, start = 0;
    ASSERT_EQ(
        std::sscanf(beds[r].c_str(), "%ld %ld %lf %lf %ld", &link, &node, &now, &start, &flag), 5);
    EXPECT_EQ(node, long(r));
    EXPECT_EQ(flag, 0);
    EXPECT_GE(now, start - 0.5 - 1e-9);  // never below the erodible layer
    lowered = std::max(lowered, start - now);
  }
  EXPECT_GT(lowered, 0.0);
}

// The FYSSI listing is appended to what earlier runs left: one line a
// class with its concentration at every node of every link in order, then
// the dashed line.
TEST_F(chan_sediment_run, the_sediment_listing_appends_each_class_at_every_node) {
  dir_.write("listing.txt", "earlier run\n");
  std::vector<std::vector<double>> conc(4);
  const run_output out = run("FYSSI listing.txt\n", [&](model_state& s) {
    const chan_sediment_state& cs = s.quality.chan_sediment;
    const channel_state& chan = s.channel;
    for (int c = 1; c <= 3; ++c) {
      conc[std::size_t(c)].clear();
      for (int i = 1; i <= chan.links; ++i)
        for (int j = 1; j <= chan.nx[i]; ++j)
          conc[std::size_t(c)].push_back(cs.chan_sed_conc[cs.cls(chan.node_address(i, j), c)]);
    }
  });
  ASSERT_EQ(out.status, 0) << out.text;
  const auto lines = test_support::lines_of(file("listing.txt"));
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "earlier run");
  double largest = 0.0;
  for (int c = 1; c <= 3; ++c) {
    const std::string& line = lines[std::size_t(c)];
    const std::vector<double>& want = conc[std::size_t(c)];
    ASSERT_FALSE(want.empty());
    EXPECT_EQ(line.size(), 7 * want.size()) << line;  // "%6.2lf " each
    std::istringstream row(line);
    for (double v : want) {
      double x = 0.0;
      ASSERT_TRUE(row >> x) << c;
      EXPECT_NEAR(x, v, 0.005 + 1e-9 * v) << c;
      largest = std::max(largest, v);
    }
  }
  EXPECT_GT(largest, 0.0);
  EXPECT_EQ(lines[4], "");
  EXPECT_EQ(lines[5], "----------------------------------------------------------");
}

TEST_F(chan_sediment_run, a_network_without_erodible_links_is_refused) {
  const run_output out = run("", nullptr, false);
  EXPECT_EQ(out.status, 1);
}

}  // namespace

namespace {

// Locations: node 5 and the outlet node 10 of the channel.
TEST_F(chan_sediment_run, location_series_and_the_flux_file_follow_the_nodes) {
  dir_.write("sed.loc", "2\n1 5\n1 10\n");
  std::vector<double> outlet_fines;  // the outlet node's fines, m3/s, at every step
  const run_output out =
      run("IN_SED_LOC sed.loc\nOUT_SED_LOC sed_loc.out\nOUT_TSS_LOC tss_loc.out\n"
          "CHAN_SED_FLUX chan_sed.lnk\n",
          [&](model_state& s) {
            const chan_sediment_state& cs = s.quality.chan_sediment;
            outlet_fines.push_back(cs.outlet_wash_rate[0]);
          });
  ASSERT_EQ(out.status, 0) << out.text;
  std::vector<std::string> rows = test_support::lines_of(file("sed_loc.out"));
  // The list heads the file: its count, then one link and node per line.
  ASSERT_EQ(rows.size(), 3u + 721u);
  EXPECT_EQ(rows[0], "2");
  EXPECT_EQ(rows[1], "   1    5");
  EXPECT_EQ(rows[2], "   1   10");
  rows.erase(rows.begin(), rows.begin() + 3);
  ASSERT_EQ(outlet_fines.size(), 721u);
  for (std::size_t r = 0; r < rows.size(); r += 60) {
    std::istringstream in(rows[r]);
    std::vector<double> v;
    double x = 0;
    while (in >> x) v.push_back(x);
    // The time, then per location two fines and two sand slots.
    ASSERT_EQ(v.size(), 9u) << rows[r];
    EXPECT_NEAR(v[5] + v[6], outlet_fines[r], 1e-10) << rows[r];
  }
  EXPECT_EQ(test_support::lines_of(file("tss_loc.out")).size(), 721u);
  const std::string flux = file("chan_sed.lnk");
  EXPECT_EQ(flux.rfind("VALTO_LINKNODE_STREAM_SED_FLUX\n", 0), 0u) << flux.substr(0, 200);
}

TEST_F(chan_sediment_run, a_location_list_shorter_than_its_count_stops_the_run) {
  dir_.write("sed.loc", "3\n1 5\n1 10\n");
  const run_output out = run("IN_SED_LOC sed.loc\nOUT_SED_LOC sed_loc.out\n");
  EXPECT_EQ(out.status, 1);
  EXPECT_NE(out.text.find("End of file reached in file "), std::string::npos) << out.text;
  EXPECT_NE(out.text.find("sed.loc, exiting\n"), std::string::npos);
}

TEST_F(chan_sediment_run, lateral_sediment_that_is_not_a_number_stops_the_run) {
  int passes = 0;
  const run_output out = run("", [&](model_state& s) {
    if (++passes != 30) return;
    // Cell 25 of the bottom row holds channel node 5.
    s.quality.sediment.vol(25, 1)[sed_element::suspended] = std::nan("");
  });
  EXPECT_EQ(out.status, 1);
  EXPECT_NE(out.text.find("qlat_sed is not a number, exiting.\n"), std::string::npos);
  EXPECT_LT(passes, 40);
}

}  // namespace

namespace {

// The weirlake fixture (a channel into a lake that spills over a weir into
// the outlet channel) under an hour of 36 mm/h, both channels erodible: the
// fines the lake takes from its channel and from the land are held, settled
// or passed over the weir, and the channels' own balances close with the
// lake's exchanges.
TEST(chan_sediment_lake_run, fines_balance_through_the_lake) {
  temp_dir dir;
  for (const char* name : {"mask.asc", "elevation.asc", "weirlake.gst", "points.txt"})
    dir.write(name, fixture_text("weirlake", name));
  dir.write("weirlake.chan",
            sediment_fixture::erodible_channels(fixture_text("weirlake", "weirlake.chan"), "0.3"));
  dir.write("soils.idx", ascii_grid(4, 4, 100, std::vector<double>(16, 1.0)));
  dir.write("tables.cmt", tables());
  dir.write("weirlake.prj",
            edit_cards(fixture_text("weirlake", "weirlake.prj"),
                       {"RAIN_INTENSITY", "RAIN_DURATION", "HYD_FREQ"},
                       std::string(sediment_cards) + "RAIN_INTENSITY 36\nRAIN_DURATION 60\n"));
  double worst_lake = 0.0, worst_wash = 0.0, into_lake = 0.0;
  const run_output out = run_in_process(dir.path(), "weirlake.prj", [&](model_state& s) {
    const chan_sediment_state& cs = s.quality.chan_sediment;
    const sediment_state& sed = s.quality.sediment;
    double lake_in = 0.0, lake_out = 0.0;
    for (int m = 1; m <= cs.fine; ++m) {
      const int j = sed.sed_class[std::size_t(m)];
      lake_in +=
          cs.SS_vol_chan_to_lake[cs.lake_fin(1, m)] + cs.lake_overland_total[cs.lake_fin(1, j)];
      lake_out += cs.SS_vol_lake[cs.lake_fin(1, m)] + cs.lake_settled_total[cs.lake_fin(1, m)] +
                  cs.SS_vol_lake_to_chan[cs.lake_fin(1, m)];
    }
    into_lake = lake_in;
    if (lake_in > 0.0) worst_lake = std::max(worst_lake, std::fabs(lake_in - lake_out) / lake_in);
    const double wash_in = cs.wash_to_chan + cs.wash_from_lakes;
    const double wash_out = cs.wash_outlet + cs.wash_in_channels() + cs.wash_to_lakes;
    if (wash_in > 0.0) worst_wash = std::max(worst_wash, std::fabs(wash_in - wash_out) / wash_in);
  });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_GT(into_lake, 0.0);
  EXPECT_LT(worst_lake, 1e-9);
  EXPECT_LT(worst_wash, 1e-9);
  const std::string summary = test_support::read_file(dir.file("summary.out"));
  EXPECT_NE(summary.find("Lake Summary \n"), std::string::npos);
  EXPECT_NE(summary.find("Summary for lake 1 \n"), std::string::npos);
}

}  // namespace

namespace {

// The bank channel drawn as an erodible break-point section of the same
// shape (2 m bottom, banks of slope 1, 3 m deep, 30 levels), every node
// with 0.5 m of erodible bed. Each node starts with the material of the box
// of its top width and height plus that layer, less the channel: (8 x 3.5 -
// 15) m2 x 100 m x 0.6 = 780 m3. At the event end every section is drawn
// again from the sand its node gained or lost: the area under the section's
// unmoved top changes by the bed volume the section took, and what it took
// is the store's change, unless the water depth or the lowest bed cut it.
// The run ends at 180 minutes, in the rain, so the channel runs deep enough
// to take every change.
TEST_F(chan_sediment_run, break_point_sections_follow_their_sand) {
  std::string chan = fixture_text("bank", "bank.chan");
  chan.replace(chan.find("\nTRAPEZOID\n"), 11, "\nBREAKPOINT_ERODE\n");
  const std::string xsec = "XSEC\nBOTTOM_WIDTH 2\nBANKFULL_DEPTH 3\nSIDE_SLOPE 1\n";
  chan.replace(chan.find(xsec), xsec.size(),
               "NPAIRS 9\nNUM_INTERP 30\nX1 0 3\nX1 1 2\nX1 2 1\nX1 3 0\nX1 4 0\nX1 5 0\n"
               "X1 6 1\nX1 7 2\nX1 8 3\n");
  for (std::size_t at = chan.find("\nELEV "); at != std::string::npos;
       at = chan.find("\nELEV ", at + 1)) {
    const std::size_t end = chan.find('\n', at + 1);
    chan.insert(end == std::string::npos ? chan.size() : end, "\nMAX_EROSION 0.5");
  }

  constexpr int nodes = 10;
  std::vector<double> start_area(nodes + 1, 0.0), area(nodes + 1, 0.0), drawn(nodes + 1, 0.0),
      store(nodes + 1, 0.0), bel(nodes + 1, 0.0), org(nodes + 1, 0.0);
  double sand_initial = 0.0, worst_sand = 0.0;
  bool first = true;
  int redraws = 0;
  const run_output out = run_with_channel(chan, "TOT_TIME 180\n", [&](model_state& s) {
    const channel_state& c = s.channel;
    const chan_sediment_state& cs = s.quality.chan_sediment;
    bool moved = false;
    for (int j = 1; j <= nodes; ++j) {
      const int a = c.node_address(1, j);
      const int t = c.table_num[a];
      const double top = c.xarea[c.bp_index(c.numhts[t], t)];
      if (first) start_area[j] = top;
      if (top != area[j] && !first) moved = true;
      area[j] = top;
      drawn[j] = c.ch_sand_vol0[c.bp_node_index(1, j)];
      store[j] = cs.ch_sand_vol[cs.snd(a, 0)];
      bel[j] = c.bel[a];
      org[j] = cs.org_bel[a];
    }
    if (moved) ++redraws;
    first = false;
    sand_initial = cs.sand_initial;
    const double in = cs.sand_initial + cs.sand_to_chan[1];
    worst_sand = std::max(worst_sand,
                          std::fabs(in - cs.sand_outlet - cs.sand_in_channels()) / in);
  }, {"TOT_TIME"});
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_NEAR(sand_initial, 10 * 780.0, 1e-6);
  EXPECT_LT(worst_sand, 1e-12);
  EXPECT_EQ(redraws, 1);

  double changed = 0.0;
  for (int j = 1; j <= nodes; ++j) {
    SCOPED_TRACE(j);
    const double taken = drawn[j] - 780.0;  // m3 of sand the section took
    EXPECT_NEAR((start_area[j] - area[j]) * 100.0 * 0.6, taken, 1e-5 * std::fabs(taken) + 1e-9);
    EXPECT_GE(bel[j], org[j] - 0.5 - 1e-9);
    // Nothing was cut in this event: the sections took all their stores
    // gained or lost.
    EXPECT_NEAR(drawn[j], store[j], 1e-5 * std::fabs(taken) + 1e-9);
    changed = std::max(changed, std::fabs(bel[j] - org[j]));
  }
  EXPECT_GT(changed, 0.0);
  const std::string summary = file("summary.out");
  const std::size_t run_at = summary.rfind("Channel sediment routing mass quantities\n");
  ASSERT_NE(run_at, std::string::npos);
  EXPECT_NEAR(summary_value(summary.substr(run_at), "Mass conservation error for sand load:"), 0.0,
              1e-6);
}

}  // namespace
