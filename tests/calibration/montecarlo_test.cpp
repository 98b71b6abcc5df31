// The sampling driver with scripted costs in place of model runs: which run
// it keeps as the best, and what it reports.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calib_test_support.h"
#include "calibration/montecarlo.h"
#include "core/parallel_context.h"
#include "test_support.h"

namespace {

using calib_test::work_folder;

TEST(montecarlo, keeps_the_run_of_smallest_absolute_cost) {
  struct case_row {
    const char* name;
    std::vector<double> costs;
    int best_run;  // from 0
  };
  const case_row cases[] = {
      {"equal magnitudes keep the earlier", {3.0, -3.0}, 0},
      {"no weighted point beats a cost above 1", {5.0, -1.0, 1.5}, 1},
      {"a small cost beats no weighted point", {-1.0, 0.5}, 1},
  };
  for (const case_row& c : cases) {
    SCOPED_TRACE(c.name);
    work_folder dir;
    dir.write("mc.in", "p.prj\nl.lst\no.obs\n1 5\n0 1\n");
    montecarlo mc(static_cast<int>(c.costs.size()), "mc.in", parallel);
    std::vector<double> drawn;
    std::size_t k = 0;
    mc.cost_callback = [&](const char*, const char*, const double* x, calib_objective&, int n) {
      EXPECT_EQ(n, 1);
      drawn.push_back(x[1]);
      return c.costs[k++];
    };
    std::string screen;
    {
      test_support::stdout_capture capture;
      ASSERT_EQ(mc.run(), 1);
      mc.report_best();
      screen = capture.stop();
    }
    EXPECT_EQ(mc.best_cost, c.costs[c.best_run]);
    EXPECT_EQ(mc.best[1], drawn[c.best_run]);
    char best[64];
    std::snprintf(best, sizeof best, "%lf:  %le \n", c.costs[c.best_run], drawn[c.best_run]);
    EXPECT_EQ(dir.read("best.out"), best);
    char report[96];
    std::snprintf(report, sizeof report, "\n\nBest objective function value: %lf\nParameters:\n %lf \n",
                  c.costs[c.best_run], drawn[c.best_run]);
    EXPECT_NE(screen.find(report), std::string::npos);
    EXPECT_EQ(test_support::lines_of(dir.read("log_file_p0.log")).size(), c.costs.size() + 1);
  }
}

}  // namespace
