// The bundled example (examples/valley) runs to its end, closes its water
// balance and stays below the equilibrium discharge of its rain (a time
// step too long for its slopes shows as spikes above it).

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "surface_run_fixture.h"
#include "test_support.h"

namespace {

using namespace surface_fixture;

TEST(valley_example, runs_three_hours_and_keeps_its_water) {
  const std::filesystem::path from =
      std::filesystem::path(VALTO_FIXTURES_DIR) / ".." / ".." / "examples" / "valley";
  test_support::temp_dir dir;
  for (const char* name : {"valley.prj", "mask.asc", "elevation.asc", "roughness.asc"})
    dir.write(name, test_support::read_file((from / name).string()));

  double rain = 0.0, residual = 0.0, peak = 0.0, area = 0.0;
  const run_output out = run_in_process(dir.path(), "valley.prj", [&](model_state& s) {
    rain = s.surface.rain_volume;
    residual = balance_residual(s);
    area = s.grid.area;
    if (s.run.q_out > peak) peak = s.run.q_out;
  });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_EQ(progress_rows(out.text).size(), 1081u);
  EXPECT_NE(out.text.find("number of grid cells in watershed: 3648\n"), std::string::npos);
  // 20 mm/h for an hour on 3648 cells of 625 m2 (to the clock's rounding
  // of the step length from Julian dates).
  EXPECT_NEAR(rain, 0.02 * 3648 * 625.0, 1e-6 * rain);
  EXPECT_LE(std::fabs(residual), 1e-9 * rain);
  const double equilibrium = 20.0 / 3.6e6 * area;
  EXPECT_GT(peak, 0.3 * equilibrium);
  EXPECT_LT(peak, equilibrium);
}

TEST(valley_example, prints_the_same_lines_and_files_at_one_two_three_four_and_eight_threads) {
  const std::filesystem::path from =
      std::filesystem::path(VALTO_FIXTURES_DIR) / ".." / ".." / "examples" / "valley";
  test_support::temp_dir dir;
  for (const char* name : {"mask.asc", "elevation.asc", "roughness.asc"})
    dir.write(name, test_support::read_file((from / name).string()));
  const std::string project = test_support::read_file((from / "valley.prj").string());
  struct outcome {
    std::vector<std::string> lines;
    std::string optim, outlet, summary;
  };
  const auto run_on = [&](int threads) {
    dir.write("valley.prj", project + "NUM_THREADS " + std::to_string(threads) + "\n");
    const run_output out = run_in_process(dir.path(), "valley.prj");
    EXPECT_EQ(out.status, 0) << out.text;
    return outcome{progress_lines(out.text), test_support::read_file(dir.file("valley_optim.out")),
                   test_support::read_file(dir.file("valley_outlet.hyd")),
                   summary_without_times(test_support::read_file(dir.file("valley_summary.out")))};
  };
  const outcome one = run_on(1);
  EXPECT_EQ(one.lines.size(), 1081u);
  EXPECT_FALSE(one.optim.empty());
  EXPECT_FALSE(one.outlet.empty());
  EXPECT_FALSE(one.summary.empty());
  for (int threads : {2, 3, 4, 8}) {
    const outcome many = run_on(threads);
    EXPECT_EQ(many.lines, one.lines) << threads << " threads";
    EXPECT_EQ(many.optim, one.optim) << threads << " threads";
    EXPECT_EQ(many.outlet, one.outlet) << threads << " threads";
    EXPECT_EQ(many.summary, one.summary) << threads << " threads";
  }
}

}  // namespace
