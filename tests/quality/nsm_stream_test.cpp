// The nutrient model's stream layer on the "bank" network: one trapezoid
// link of eleven nodes along the bottom row of a 3 x 10 grid.

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "quality/nsm_model.h"
#include "surface/surface_run_fixture.h"
#include "test_support.h"

namespace {

using namespace surface_fixture;
using test_support::temp_dir;

class nsm_stream_run : public testing::Test {
 protected:
  run_output bank(const std::string& extra,
                  const std::function<void(model_state&)>& after_pass = nullptr,
                  const std::vector<std::string>& drop = {"TOT_TIME"}) {
    for (const char* name : {"mask.asc", "elevation.asc", "bank.chan", "bank.gst"})
      dir_.write(name, fixture_text("bank", name));
    dir_.write("ov.idx", ascii_grid(3, 10, 100, std::vector<double>(30, 1.0)));
    dir_.write("aq.env",
               "AQUATIC_ENV_NSM10\nOV_MAP ov.idx\nST_MAP absent.map\nNUM_IDS 1\nID\n1\nDEFAULT\n");
    dir_.write("bank.prj", edit_cards(fixture_text("bank", "bank.prj"), drop,
                                      "TOT_TIME 60\nNUM_THREADS 1\nNUTRIENTS\nAQ_ENV aq.env\n" +
                                          extra));
    return run_in_process(dir_.path(), "bank.prj", after_pass);
  }
  std::string file(const std::string& name) { return test_support::read_file(dir_.file(name)); }
  static bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }
  temp_dir dir_;
};

TEST_F(nsm_stream_run, uniform_stream_values_reach_every_node_and_its_files) {
  // The channel starts dry, so its masses start at 0; 5000 g of NO3 put on
  // the first node after the first pass reaches the mass file in kilograms
  // and the total nitrogen file in milligrams.
  std::vector<double> conc;
  const run_output out =
      bank("ST_INIT_NO3 3.0\nOUT_ST_NO3 stno3\nTOTAL_CHAN_N totchn\n", [&](model_state& s) {
        if (!conc.empty()) return;
        nsm_stream& st = s.quality.nsm->stream;
        for (int j = 0; j <= 11; ++j) conc.push_back(st.species[1].conc[st.slot(1, j)]);
        st.species[1].mass[st.slot(1, 1)] = 5000.0;
      });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_TRUE(has(out.text, "Allocating memory for NSM Streams...Done\n")) << out.text;
  EXPECT_TRUE(has(out.text,
                  "Assigning spatially uniform parameters for the stream constituent Nitrate "
                  "(NO3-)\n"));
  ASSERT_EQ(conc.size(), 12u);
  EXPECT_EQ(conc[0], 0.0);
  for (int j = 1; j <= 10; ++j) EXPECT_EQ(conc[std::size_t(j)], 3.0) << j;  // computational nodes
  EXPECT_EQ(conc[11], 0.0);

  const std::string conc_file = file("stno3.conc");
  EXPECT_EQ(conc_file.substr(0, conc_file.find('\n')), "VALTO_LINKNODE_NO3_CONC");
  EXPECT_TRUE(has(conc_file, "TS    0\n10   1  3.00000   1  3.00000"));
  const std::string mass_file = file("stno3.mass");
  EXPECT_EQ(mass_file.substr(0, mass_file.find('\n')), "VALTO_LINKNODE_NO3_MASS");
  EXPECT_TRUE(has(mass_file, "TS    0\n10   1  0.00000   1  0.00000"));
  EXPECT_TRUE(has(mass_file, "TS    1\n10   1  5.00000   1  0.00000")) << mass_file;
  EXPECT_EQ(mass_file.substr(mass_file.size() - 6), "ENDDS\n");
  EXPECT_EQ(conc_file.substr(conc_file.size() - 6), "ENDDS\n");
  const std::string total = file("totchn");
  EXPECT_EQ(total.substr(0, total.find('\n')), "VALTO_LINKNODE_TOTAL_NITROGEN");
  EXPECT_TRUE(has(total, "TS    1\n10   1  5000000.00000   1  0.00000")) << total;
}

TEST_F(nsm_stream_run, a_stream_table_species_without_its_table_stops_with_code_120) {
  const run_output out = bank("ST_INIT_NH4\n");
  EXPECT_NE(out.status, 0);
  EXPECT_TRUE(has(out.text,
                  "Error: Nutrient constituent to use mapping table for input value but no "
                  "mapping table exists (Stream): Ammonium (NH4+)\n"))
      << out.text;
}

// A trace of rain; a point source of 0.05 m3/s at 3 g/m3 of nitrate feeds
// the head node of the dry link (its nodes at 1 g/m3, without water) for 25
// hours: 13.5 kg of nitrate go down the link. Once the link runs steady it
// carries 3 g/m3 from node to outlet, in the link/node file and in the
// outlet series, and the channel's nitrate balance closes.
TEST_F(nsm_stream_run, a_point_source_of_nitrate_runs_down_the_link_and_balances) {
  // One column per constituent: the nine species.
  dir_.write("points.txt", "NUMPT 1\nPOINT 1 1 0.05  0 3 0 0 0 0 0 0 0\nNRPDS 0\n");
  double outlet_conc = 0.0, outlet_mass = 0.0, node_mass = 0.0;
  const run_output out = bank(
      "TOT_TIME 1500\nRAIN_INTENSITY 0.001\nCHAN_CON_TRANS\nCHAN_POINT_INPUT points.txt\n"
      "ST_INIT_NO3 1.0\nOUT_ST_NO3 stno3\nOUT_HYD_NO3 hydno3\n",
      [&](model_state& s) {
        const channel_state& ch = s.channel;
        const int k = s.quality.contam.first_nutrient + 1;
        const std::size_t a = std::size_t(ch.node_address(1, ch.nx[1]));
        outlet_conc = s.quality.nsm->outlet[1][0];
        outlet_mass = s.quality.nsm->outlet[1][1];
        node_mass = s.quality.chan_node_mass[std::size_t(k)][a];
      },
      {"TOT_TIME", "RAIN_INTENSITY"});
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_NEAR(outlet_conc, 3.0, 1e-3);
  EXPECT_GT(outlet_mass, 0.0);
  EXPECT_DOUBLE_EQ(outlet_mass, node_mass);

  const std::string summary = file("summary.out");
  // The end-of-run summary, after the event's of the same title.
  const std::string channel = summary.substr(
      summary.rfind("Channel Contaminant Transport Summary for Nitrate (NO3-)"));
  EXPECT_NEAR(summary_value(channel, "Initial Mass in Channels"), 0.0, 1e-9);  // a dry link
  EXPECT_NEAR(summary_value(channel, "Point source mass gain"), 13.5, 0.005);
  const double final_mass = summary_value(channel, "Final Mass in Channels");
  EXPECT_GT(final_mass, 0.0);
  EXPECT_NEAR(summary_value(channel, "Outlet mass flux") + final_mass, 13.5, 0.01);
  EXPECT_NEAR(summary_value(channel, "Dissolved mass balance error"), 0.0, 1e-4);
  EXPECT_EQ(summary_value(channel, "Mass gained from NSM kinetics"), 0.0);

  // The last record of the link/node file and of the outlet series.
  const std::string conc_file = file("stno3.conc");
  const std::size_t last = conc_file.rfind("TS ");
  ASSERT_NE(last, std::string::npos);
  std::istringstream record(conc_file.substr(conc_file.find('\n', last) + 1));
  // The node count, then a flag and a value per node.
  int nodes = 0;
  record >> nodes;
  ASSERT_EQ(nodes, 10);
  for (int j = 1; j <= nodes; ++j) {
    int flag = 0;
    double c = 0.0;
    record >> flag >> c;
    EXPECT_NEAR(c, 3.0, 1e-3) << j;
  }
  const std::vector<std::string> rows = test_support::lines_of(file("hydno3.conc"));
  ASSERT_FALSE(rows.empty());
  double minutes = 0.0, c = 0.0;
  ASSERT_EQ(std::sscanf(rows.back().c_str(), "%lf %lf", &minutes, &c), 2) << rows.back();
  EXPECT_NEAR(c, 3.0, 1e-3);
}

}  // namespace
