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

TEST(valley_example, prints_the_same_lines_and_row_on_one_and_eight_threads) {
  // Enough cells for the per-cell loops to run in parallel.
  const std::filesystem::path from =
      std::filesystem::path(VALTO_FIXTURES_DIR) / ".." / ".." / "examples" / "valley";
  test_support::temp_dir dir;
  for (const char* name : {"mask.asc", "elevation.asc", "roughness.asc"})
    dir.write(name, test_support::read_file((from / name).string()));
  const std::string project = test_support::read_file((from / "valley.prj").string());
  std::vector<std::string> lines[2];
  std::string rows[2];
  for (int k = 0; k < 2; ++k) {
    dir.write("valley.prj", project + (k == 0 ? "NUM_THREADS 1\n" : "NUM_THREADS 8\n"));
    const run_output out = run_in_process(dir.path(), "valley.prj");
    ASSERT_EQ(out.status, 0) << out.text;
    lines[k] = progress_lines(out.text);
    rows[k] = test_support::read_file(dir.file("valley_optim.out"));
  }
  EXPECT_EQ(lines[0].size(), 1081u);
  EXPECT_EQ(lines[0], lines[1]);
  EXPECT_FALSE(rows[0].empty());
  EXPECT_EQ(rows[0], rows[1]);
}

}  // namespace
