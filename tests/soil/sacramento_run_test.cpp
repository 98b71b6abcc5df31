// The Sacramento basin in a long-term run: lt5sac is a 5 x 5 catchment of
// 100 m cells draining to one channel link down its centre column, three
// July days of hourly meteorology and one storm of 20 mm/h for two hours.
// Everything that infiltrates feeds the basin, whose base flow enters the
// channel every hour and leaves at the outlet.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <string>

#include "../surface/surface_run_fixture.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace surface_fixture;
using test_support::read_file;
using test_support::temp_dir;

struct lt5sac {
  temp_dir dir;

  explicit lt5sac(const std::string& extra_cards, const std::vector<std::string>& drop = {}) {
    for (const auto& entry : fs::directory_iterator(fs::path(VALTO_FIXTURES_DIR) / "lt5sac"))
      fs::copy_file(entry.path(), dir.path() / entry.path().filename());
    dir.write("lt5sac.prj", edit_cards(text("lt5sac.prj"), drop, extra_cards));
  }
  std::string text(const std::string& name) const { return read_file(dir.file(name)); }
  run_output run(const std::function<void(model_state&)>& after_pass = nullptr) const {
    return run_in_process(dir.path(), "lt5sac.prj", after_pass);
  }
};

// Position of every label in text, which must appear in the order given.
void expect_in_order(const std::string& text, const std::vector<std::string>& labels) {
  std::size_t at = 0;
  for (const std::string& label : labels) {
    const std::size_t found = text.find(label, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << label;
    at = found + label.size();
  }
}

TEST(sacramento_run, base_flow_enters_the_channel_every_hour_and_the_books_close) {
  const lt5sac project("NUM_THREADS 1\n");
  // The base flow the channel took in during each hour of the run.
  std::map<int, double> taken;
  double last = 0.0;
  int calls = 0;
  const run_output out = project.run([&](model_state& state) {
    const int hour = (state.run.day - 14) * 24 + state.run.hour;
    taken[hour] += state.channel.sac_volume - last;
    last = state.channel.sac_volume;
    calls = state.soil.sac.calls;
  });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_NE(out.text.find("Sac Weights: 1.000000\n"), std::string::npos);
  ASSERT_GT(calls, 12);
  // Every full hour from the first on brings base flow into the channel.
  for (int h = 0; h + 1 < calls; ++h) EXPECT_GT(taken[h], 0.0) << "hour " << h;

  const std::string summary = project.text("summary.out");
  expect_in_order(summary,
                  {"Simulation summary for the Sacramento Soil Moisture Accounting Model\n",
                   "Initial state variable values:\n", "uztwc:      50.000 mm,   100.00%\n",
                   "uzfwc:       0.000 mm,     0.00%\n", "lztwc:      75.000 mm,    50.00%\n",
                   "lzfpc:      60.000 mm,    50.00%\n", "lzfsc:      20.000 mm,    50.00%\n",
                   "Final state variable values:\n", "\nMass Balance Information:\n\n",
                   "Initial subsurface storage(mm):           205.000\n", "Input rainfall (mm):",
                   "PET calculated by VALTO (mm):", "AET calculated by Sacramento (mm):",
                   "Subsurface runoff (mm):", "Recharge to deep g.w. (mm):                 0.000\n",
                   "Final volume of subsurface water (mm):",
                   "Residual (neg. means mass created (mm):",
                   "Sacramento simulation total residual water balance:",
                   "Sacramento storages and fluxes expressed as volumes (m^3):\n",
                   "Initial volume=      51250.0\n", "SIMULATION TOTALS",
                   "Total recharge to deep g.w.=", "Overall mass balance error =",
                   "*overall mass balance error will not be zero when using the Sacramento\n"});
  EXPECT_EQ(summary.find("Total amount of exfiltration="), std::string::npos);
  EXPECT_LT(std::fabs(summary_value(
                summary, "Sacramento simulation total residual water balance:")),
            1e-6);
  // Rounding leaves a residual of either sign, printed as 0.000 or -0.000.
  EXPECT_LT(std::fabs(summary_value(summary, "Residual (neg. means mass created (mm):")), 5e-4);
  EXPECT_LT(std::fabs(summary_value(summary, "Overall mass balance error =")), 1.0);
  EXPECT_LT(std::fabs(summary_value(summary, "Mass balance error of surface components =")),
            1e-4);

  // The basin's tension water is the soil of the books, its free water the
  // groundwater: 50 + 75 mm and 0 + 60 + 20 mm over 250000 m2.
  EXPECT_DOUBLE_EQ(summary_value(summary, "Initial volume in soil over simple soil depth"),
                   31250.0);
  EXPECT_DOUBLE_EQ(summary_value(summary, "Initial volume in groundwater="), 20000.0);
  // The basin received what infiltrated.
  EXPECT_NEAR(summary_value(summary, "Volume of precip="),
              summary_value(summary, "Total amount of infiltration="), 0.1);

  // The event summary's own lines.
  EXPECT_NE(summary.find("volume of base flow from Sacramento:"), std::string::npos);
  EXPECT_NE(summary.find("Base flow using the Sacramento Soil Moisture Accounting Model.\n"),
            std::string::npos);
}

// Weighted by the topographic index of the channel cells, the shares
// still sum to 1 and the same water reaches the outlet.
TEST(sacramento_run, topographic_weights_sum_to_one) {
  const lt5sac project("NUM_THREADS 1\nTOPO_INDEX\n");
  const run_output out = project.run();
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_NE(out.text.find("Sac Weights: 1.000000\n"), std::string::npos);
  EXPECT_LT(std::fabs(summary_value(project.text("summary.out"), "Overall mass balance error =")),
            1.0);
}

// The base flow goes to the channels or nowhere; a parameter file that
// cannot be read stops the set-up.
TEST(sacramento_run, set_up_refusals) {
  {
    const lt5sac project("", {"CHAN_EXPLIC", "CHANNEL_INPUT", "STREAM_CELL"});
    const run_output out = project.run();
    EXPECT_EQ(out.status, 1);
    EXPECT_NE(out.text.find("the project card SACRAMENTO gives its base flow to the channels"),
              std::string::npos)
        << out.text;
  }
  {
    const lt5sac project("SACRAMENTO nothing.sac\n", {"SACRAMENTO"});
    const test_support::program_result out =
        test_support::run_program("lt5sac.prj", project.dir.path());
    EXPECT_EQ(out.status, 1);
    EXPECT_NE(out.output.find("Cannot open Sacramento input parameter file: nothing.sac"),
              std::string::npos)
        << out.output;
  }
}

}  // namespace
