// The nutrient model's stream layer on the "bank" network: one trapezoid
// link of eleven nodes along the bottom row of a 3 x 10 grid.

#include <gtest/gtest.h>

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
                  const std::function<void(model_state&)>& after_pass = nullptr) {
    for (const char* name : {"mask.asc", "elevation.asc", "bank.chan", "bank.gst"})
      dir_.write(name, fixture_text("bank", name));
    dir_.write("ov.idx", ascii_grid(3, 10, 100, std::vector<double>(30, 1.0)));
    dir_.write("aq.env",
               "AQUATIC_ENV_NSM10\nOV_MAP ov.idx\nST_MAP absent.map\nNUM_IDS 1\nID\n1\nDEFAULT\n");
    dir_.write("bank.prj", edit_cards(fixture_text("bank", "bank.prj"), {"TOT_TIME"},
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

}  // namespace
