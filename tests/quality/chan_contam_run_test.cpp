// A tracer through the cells and the channel end to end: the bank fixture
// (a 3 x 10 plane of 100 m cells draining over the bank into one link of 11
// nodes, 36 mm/h for four hours: 43200 m3 of rain) with 2 g/m3 in its rain,
// stopped at five hours while the link still flows. What the cells give the
// channel is what the channel gains, and every balance closes. Then the
// weirlake fixture (a 4 x 4 plane whose channel feeds a lake of 4000 m3 that
// spills over a weir), the same rain tracer carried through the lake.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "surface/surface_run_fixture.h"
#include "test_support.h"

namespace {

using namespace surface_fixture;
using test_support::temp_dir;

// The value after label on its line, searched from the line holding from.
double value_after(const std::string& text, const std::string& from, const std::string& label) {
  std::size_t at = text.find(from);
  if (at == std::string::npos) return NAN;
  at = text.find(label, at);
  if (at == std::string::npos) return NAN;
  at += label.size();
  while (at < text.size() && (text[at] == ' ' || text[at] == '.')) ++at;
  return std::stod(text.substr(at));
}

std::string tracer_tables() {
  std::string t = "VALTO_INDEX_MAP_TABLES\nINDEX_MAP ids.idx \"All\"\n";
  t += "CONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n\"Tracer\" \"All\" \"tracer\"\n";
  t += "PRECIP_CONC 2\nPARTITION 0\nNUM_IDS 1\nID    DESCRIPTION    VALUES\n";
  std::string name = "Everywhere";
  name.resize(80, ' ');
  t += "1     " + name + "  0 0 0 0 0 0 0 0\n";
  return t;
}

class chan_contam_run : public testing::Test {
 protected:
  run_output bank(const std::string& extra, double* rain_volume, int minutes = 300) {
    for (const char* name : {"mask.asc", "elevation.asc", "bank.chan", "bank.gst"})
      dir_.write(name, fixture_text("bank", name));
    dir_.write("ids.idx", ascii_grid(3, 10, 100, std::vector<double>(30, 1.0)));
    dir_.write("tables.cmt", tracer_tables());
    dir_.write("bank.prj",
               edit_cards(fixture_text("bank", "bank.prj"), {"TOT_TIME"},
                          "TOT_TIME " + std::to_string(minutes) +
                              "\nNUM_THREADS 1\nMAPPING_TABLE tables.cmt\nOV_CON_TRANS\n"
                          "CHAN_CON_TRANS\n" +
                              extra));
    return run_in_process(dir_.path(), "bank.prj", [rain_volume](model_state& s) {
      if (rain_volume) *rain_volume = s.surface.rain_volume;
    });
  }
  // 20 mm/h for an hour on 16 cells of 100 m: 3200 m3, 2796.7 m3 of it on
  // the land and the rest on the lake's cells; the lake and the channels
  // start at 10 g/m3.
  run_output weirlake(int threads) {
    for (const char* name : {"mask.asc", "elevation.asc", "weirlake.chan", "weirlake.gst",
                             "points.txt"})
      dir_.write(name, fixture_text("weirlake", name));
    // The point input carries one concentration column per constituent:
    // clean water here.
    dir_.write("points.txt", "NUMPT 1\nPOINT 1 1 2.0 0\nNRPDS 0\n");
    dir_.write("ids.idx", ascii_grid(4, 4, 100, std::vector<double>(16, 1.0)));
    dir_.write("tables.cmt", tracer_tables());
    dir_.write("weirlake.prj",
               edit_cards(fixture_text("weirlake", "weirlake.prj"),
                          {"TOT_TIME", "RAIN_INTENSITY", "RAIN_DURATION"},
                          "TOT_TIME 240\nRAIN_INTENSITY 20\nRAIN_DURATION 60\nNUM_THREADS " +
                              std::to_string(threads) +
                              "\nMAPPING_TABLE tables.cmt\nOV_CON_TRANS\nCHAN_CON_TRANS\n"
                              "INIT_CHAN_CONC 10\n"));
    return run_in_process(dir_.path(), "weirlake.prj");
  }
  std::string file(const std::string& name) { return test_support::read_file(dir_.file(name)); }

  temp_dir dir_;
};

TEST_F(chan_contam_run, a_rain_tracer_reaches_the_channel_whole_and_every_balance_closes) {
  double rain = 0.0;
  const run_output out = bank("", &rain);
  ASSERT_EQ(out.status, 0) << out.text;
  const std::string s = file("summary.out");
  const std::string global = "Global Transport Summaries";
  const std::string channel = "Channel Transport Summaries";
  const std::string overland = "Overland Transport Summaries";

  EXPECT_NEAR(rain, 43200.0, 1e-3);
  EXPECT_NEAR(value_after(s, global, "Precipitation inputs"), 2.0 * rain / 1000.0, 0.005);
  const double to_stream = value_after(s, overland, "Mass loss to stream");
  const double gained = value_after(s, channel, "Mass gain from overland");
  EXPECT_GT(gained, 50.0);
  EXPECT_NEAR(to_stream, gained, 0.01);
  const double initial = value_after(s, channel, "Initial Mass in Channels");
  const double final_mass = value_after(s, channel, "Final Mass in Channels");
  const double outlet = value_after(s, channel, "Outlet mass flux");
  EXPECT_GT(outlet, 10.0);
  EXPECT_GT(final_mass, 0.01);  // the link still carries tracer
  EXPECT_NEAR(initial + gained, outlet + final_mass, 0.01);
  EXPECT_NEAR(value_after(s, channel, "Dissolved mass balance error"), 0.0, 1e-4);
  EXPECT_NEAR(value_after(s, global, "Contam mass balance error"), 0.0, 1e-4);
  // The event summary's channel balance closes on the same totals.
  EXPECT_NEAR(value_after(s, "Channel Contaminant Transport Summary for Tracer",
                          "Mass gain from overland"),
              gained, 0.01);
  EXPECT_NEAR(value_after(s, "Channel Contaminant Transport Summary for Tracer",
                          "Contam mass balance error"),
              0.0, 1e-4);
}

TEST_F(chan_contam_run, location_rows_and_link_files_carry_the_node_values) {
  dir_.write("hyd.loc", "1\n1 10\n");
  // The tracer's maps go into a folder of its output name.
  std::filesystem::create_directory(dir_.file("tracer"));
  const run_output out = bank(
      "HYD_FREQ 10\nIN_HYD_LOCATION hyd.loc\nOUT_HYD_LOCATION hyd.out\nOUT_CON_LOCATION con.out\n"
      "OUT_MASS_LOCATION mass.out\nALL_CONTAM_OUTPUT\n",
      nullptr);
  ASSERT_EQ(out.status, 0) << out.text;
  const std::vector<std::string> con = test_support::lines_of(file("con.out"));
  const std::vector<std::string> mass = test_support::lines_of(file("mass.out"));
  // One row every 10 minutes from the start to 300 minutes.
  ASSERT_EQ(con.size(), 31u);
  ASSERT_EQ(mass.size(), 31u);
  double minutes = 0.0, c = 0.0, m = 0.0;
  ASSERT_EQ(std::sscanf(con[15].c_str(), "%lf %lf", &minutes, &c), 2) << con[15];
  ASSERT_EQ(std::sscanf(mass[15].c_str(), "%lf %lf", &minutes, &m), 2);
  EXPECT_DOUBLE_EQ(minutes, 150.0);
  EXPECT_EQ(con[15].size(), 14u + 1u + 13u) << con[15];
  EXPECT_GT(c, 0.5);
  EXPECT_GT(m, c);
  const std::string conc_file = file("tracer.chan.conc");
  const std::string mass_file = file("tracer.chan.mass");
  EXPECT_EQ(conc_file.rfind("VALTO_LINKNODE_CONCENTRATION\n", 0), 0u) << conc_file.substr(0, 80);
  EXPECT_EQ(mass_file.rfind("VALTO_LINKNODE_MASS\n", 0), 0u);
  std::size_t records = 0;
  for (const std::string& line : test_support::lines_of(conc_file))
    if (line.rfind("TS", 0) == 0) ++records;
  EXPECT_EQ(records, 31u);
}

// A point source of 0.05 m3/s at the head node over the 25 hours of the run
// (90000 s, 4500 m3) brings its concentration x 4500 m3; a later period
// at 0 g/m3 from 12:30 halves it. The rain's tracer rides along.
TEST_F(chan_contam_run, a_point_source_brings_its_flow_times_concentration) {
  struct point_case {
    const char* file;
    double grams;
  };
  const point_case cases[] = {
      {"NUMPT 1\nPOINT 1 1 0.05 4\nNRPDS 0\n", 18000.0},
      {"NUMPT 1\nPOINT 1 1 0.05 4\nNRPDS 1\nINPUT 2000 6 1 12 30\n0.05 0\n", 9000.0},
  };
  for (const point_case& c : cases) {
    SCOPED_TRACE(c.file);
    dir_.write("points.txt", c.file);
    const run_output out = bank("CHAN_POINT_INPUT points.txt\n", nullptr, 1500);
    ASSERT_EQ(out.status, 0) << out.text;
    const std::string s = file("summary.out");
    const std::string global = "Global Transport Summaries";
    const std::string channel = "Channel Transport Summaries";
    EXPECT_NEAR(value_after(s, channel, "Point source mass gain"), c.grams / 1000.0, 0.005);
    EXPECT_NEAR(value_after(s, global, "Point source inputs"), c.grams / 1000.0, 0.005);
    EXPECT_NEAR(value_after(s, channel, "Dissolved mass balance error"), 0.0, 1e-4);
    EXPECT_NEAR(value_after(s, global, "Contam mass balance error"), 0.0, 1e-4);
  }
}

// A stream losing to the ground through its bed takes the tracer out with
// the water, at the node's concentration, and the balances still close.
TEST_F(chan_contam_run, a_losing_stream_takes_the_tracer_into_the_ground_and_balances) {
  const run_output out = bank("STREAM_LOSS\nK_RIVER 0.36\nM_RIVER 1\n", nullptr);
  ASSERT_EQ(out.status, 0) << out.text;
  const std::string s = file("summary.out");
  const std::string global = "Global Transport Summaries";
  const std::string channel = "Channel Transport Summaries";
  const double lost = value_after(s, channel, "Groundwater mass gain/loss");
  EXPECT_LT(lost, -0.1);
  EXPECT_NEAR(value_after(s, global, "Flux from GW to streams"), lost, 0.005);
  EXPECT_NEAR(value_after(s, channel, "Dissolved mass balance error"), 0.0, 1e-4);
  EXPECT_NEAR(value_after(s, global, "Contam mass balance error"), 0.0, 1e-4);
}

// A point's constituent column is a number and no negative concentration;
// either fault stops the run naming the file's line.
TEST_F(chan_contam_run, bad_point_concentrations_stop_naming_the_line) {
  struct bad_case {
    const char* file;
    const char* message;
  };
  const bad_case cases[] = {
      {"NUMPT 1\nPOINT 1 1 0.05 four\nNRPDS 0\n", "line 2 of the channel point input file"},
      {"NUMPT 1\nPOINT 1 1 0.05 4\nNRPDS 1\nINPUT 2000 6 1 0 30\n0.05 -4\n",
       "line 5 of the channel point input file points.txt: constituent 1 concentration -4 is "
       "negative."},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.file);
    dir_.write("points.txt", c.file);
    const run_output out = bank("CHAN_POINT_INPUT points.txt\n", nullptr, 60);
    EXPECT_EQ(out.status, 1);
    EXPECT_NE(out.text.find(c.message), std::string::npos) << out.text;
  }
}

TEST_F(chan_contam_run, a_rain_tracer_through_a_channel_lake_closes_every_balance) {
  const run_output out = weirlake(1);
  ASSERT_EQ(out.status, 0) << out.text;
  const std::string s = file("summary.out");
  const std::string overland = "Overland Transport Summaries";
  const std::string channel = "Channel Transport Summaries";
  const std::string lake = "Lake Contaminant Transport Summary for Constituent";
  const std::string global = "Global Transport Summaries";

  // The lake's 4000 m3 at 10 g/m3; the channels start dry.
  EXPECT_DOUBLE_EQ(value_after(s, lake, "Initial Mass in Lakes"), 40.0);
  EXPECT_DOUBLE_EQ(value_after(s, global, "Total initial mass"), 40.0);
  // All the rain's mass, the land's and the lake's.
  EXPECT_NEAR(value_after(s, global, "Precipitation inputs"), 6.4, 0.005);
  EXPECT_NEAR(value_after(s, lake, "Precip mass flux"), 2.0 * 403.33 / 1000.0, 0.005);
  // What the cells give the lake over its shore and from the cells it takes.
  const double to_lake = value_after(s, overland, "Lateral flow to lake");
  EXPECT_GT(to_lake, 1.0);
  EXPECT_NEAR(value_after(s, lake, "Mass gain from overland"), to_lake, 0.01);
  EXPECT_NEAR(value_after(s, overland, "Mass loss to stream"),
              value_after(s, channel, "Mass gain from overland"), 0.01);
  // The weir passes to the link below what leaves the lake.
  const double from_lake = value_after(s, channel, "Flux from lake");
  EXPECT_GT(from_lake, 20.0);
  EXPECT_NEAR(value_after(s, lake, "Mass lake outlet flow"), from_lake, 0.01);
  EXPECT_NEAR(value_after(s, lake, "Mass channel trib inflow"),
              value_after(s, channel, "Flux to lake"), 0.01);
  for (const std::string& from : {overland, channel, lake, global}) {
    SCOPED_TRACE(from);
    const std::string label =
        from == channel ? "Dissolved mass balance error" : "Contam mass balance error";
    EXPECT_NEAR(value_after(s, from, label), 0.0, 1e-4);
  }
  // The one event's summary books the same flow to the lake.
  const std::string event = "Overland Contaminant Transport Summary for Tracer";
  EXPECT_NEAR(value_after(s, event, "Flux to lake"), to_lake, 0.01);
  EXPECT_NEAR(value_after(s, event, "Dissolved mass balance error"), 0.0, 1e-4);
  EXPECT_NEAR(value_after(s, "Lake Contaminant Transport Summary for Tracer",
                          "Contam mass balance error"),
              0.0, 1e-4);
}

TEST_F(chan_contam_run, a_channel_lake_run_sums_alike_on_one_and_three_threads) {
  ASSERT_EQ(weirlake(1).status, 0);
  const std::string one = summary_without_times(file("summary.out"));
  ASSERT_EQ(weirlake(3).status, 0);
  EXPECT_EQ(summary_without_times(file("summary.out")), one);
}

}  // namespace
