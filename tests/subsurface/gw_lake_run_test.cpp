// A channel lake over the aquifer, run whole: the weirlake project (a
// channel feeding a lake in a hollow of a 4 x 4 grid of 100 m cells, which
// spills over a weir) with a lake bed of 5 m and the table 4 m under the
// lake's floor. The lake loses through its bed by its depth, the aquifer
// takes what the lake loses, and the lake's, the aquifer's and the whole
// run's books close.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../surface/surface_run_fixture.h"
#include "run/model_state.h"
#include "test_support.h"

namespace {

using namespace surface_fixture;

struct lake_run {
  test_support::temp_dir dir;
  run_output out;
  std::string summary;
};

// The weirlake lake with a bed 500 cm thick, over a table at 6 m and a
// bottom at 0 m, with a redistribution soil; extra cards appended.
void run_lake(lake_run& r, const std::string& extra,
              const std::function<void(model_state&)>& after_pass = nullptr) {
  for (const char* name : {"mask.asc", "elevation.asc", "weirlake.gst", "points.txt"})
    r.dir.write(name, fixture_text("weirlake", name));
  std::string chan = fixture_text("weirlake", "weirlake.chan");
  const std::string lake = "LAKE\n";
  chan.insert(chan.find(lake) + lake.size(), "MLAKE 500\n");
  r.dir.write("weirlake.chan", chan);
  const std::vector<double> all(16, 1.0);
  auto uniform = [&](double v) { return ascii_grid(4, 4, 100.0, std::vector<double>(16, v)); };
  r.dir.write("table.asc", uniform(6.0));
  r.dir.write("bottom.asc", uniform(0.0));
  r.dir.write("bound.asc", uniform(1.0));
  for (const auto& [name, value] : std::vector<std::pair<std::string, double>>{
           {"ks.asc", 1.0}, {"hc.asc", 10.0}, {"phi.asc", 0.45}, {"theta.asc", 0.2},
           {"lambda.asc", 0.25}, {"thr.asc", 0.04}})
    r.dir.write(name, uniform(value));
  r.dir.write("weirlake.prj",
              edit_cards(fixture_text("weirlake", "weirlake.prj"), {},
                         "GREEN_AMPT\nINF_REDIST\nCONDUCTIVITY ks.asc\nCAPILLARY hc.asc\n"
                         "POROSITY phi.asc\nMOISTURE theta.asc\nPORE_INDEX lambda.asc\n"
                         "RESIDUAL_SAT thr.asc\nWATER_TABLE table.asc\nGW_SIMULATION\n"
                         "AQUIFER_BOTTOM bottom.asc\nGW_BOUNDFILE bound.asc\n"
                         "GW_UNIF_HYCOND 36\nGW_UNIF_POROSITY 0.2\nGW_TIMESTEP 600\n"
                         "GW_RELAX_COEFF 1\nGW_LSOR_CON 0.0000001\nSINGLE_UNSAT_SAT 0\n"
                         "NUM_THREADS 1\n" +
                             extra));
  r.out = run_in_process(r.dir.path(), "weirlake.prj", after_pass);
  r.summary = test_support::read_file(r.dir.file("summary.out"));
}

TEST(groundwater_lake_run, a_lake_over_a_low_table_loses_by_its_depth_into_the_aquifer) {
  lake_run r;
  int typed = 0;
  double first_rate = 0.0, level = 0.0;
  run_lake(r, "", [&](model_state& s) {
    const std::vector<int>& bound = s.subsurface.gw.gwbound;
    if (typed == 0)
      for (int c = 1; c <= s.grid.cells; ++c) typed += bound[std::size_t(c)] == 7;
    if (first_rate == 0.0 && !s.subsurface.gw.lake_seep_rate.empty()) {
      first_rate = s.subsurface.gw.lake_seep_rate[std::size_t(s.grid.mask[2][2])];
      level = s.channel.lake_elev[1];
    }
  });
  ASSERT_EQ(r.out.status, 0) << r.out.text;
  const std::string& t = r.summary;
  // The two cells at 10.0 m under the lake's 10.2 m start as lake cells.
  EXPECT_EQ(typed, 2);
  // Darcy through the bed: (level - floor) x K / M x dx, K = 36 cm/h, M = 5 m.
  EXPECT_NEAR(first_rate, -(level - 10.0) * 1e-4 / 5.0 * 100.0, 1e-12);

  const double to_gw = summary_value(t, "Total flux from lakes to gw=");
  EXPECT_GT(to_gw, 1000.0);
  EXPECT_EQ(summary_value(t, "Total flux from gw to lakes="), 0.0);
  // The aquifer took all of it and nothing else.
  EXPECT_NEAR(summary_value(t, "Total inputs to groundwater="), to_gw, 0.01);
  EXPECT_EQ(summary_value(t, "Mass Balance error ="), 0.0);
  EXPECT_NEAR(summary_value(t, "GW volume end =") - summary_value(t, "GW volume start ="), to_gw,
              0.05);
  // The lake's own books count the seepage among its outflows.
  EXPECT_EQ(summary_value(t, "Perennial lake mass bal error m^3="), 0.0);
  // Whole run: what the lake lost the aquifer holds; only the seepage of the
  // last channel step, which the next solve would take, is in neither.
  EXPECT_LT(std::fabs(summary_value(t, "Overall mass balance error =")), 0.01);
}

}  // namespace
