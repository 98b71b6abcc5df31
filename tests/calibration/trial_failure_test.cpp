// Calibration and sampling runs whose trials cannot succeed, run as the whole
// program on the calib10 project: a list that names a parameter the project
// does not hold leaves "[MANN]" in the project file, so every trial stops at
// set-up. Such a run has no best vector; it says why and fails.

#include <gtest/gtest.h>

#include <string>

#include "calib_test_support.h"
#include "test_support.h"

namespace {

using calib_test::work_folder;
using test_support::lines_of;
using test_support::run_program;

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(trial_failures, a_run_whose_every_trial_failed_says_why_and_fails) {
  struct failing_case {
    const char* args;
    int trials;
  };
  const failing_case cases[] = {{"-m4 mc.in", 4}, {"-s mc.in", 500}, {"-c sce.in", 42}};
  const std::string why =
      "the first stopped with: Error: line 15 of the project file calib10.prj: the value "
      "\"[MANN]\" of card MANNING_N is not a finite number.\n";
  for (const failing_case& c : cases) {
    SCOPED_TRACE(c.args);
    work_folder dir;
    dir.copy_calib10();
    dir.write("calib10.lst", "1\n[FOO] \"%10.6lf\"\n");
    const test_support::program_result r = run_program(c.args, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.output, "Error: all " + std::to_string(c.trials) + " trials failed; " + why))
        << r.output;
    EXPECT_FALSE(has(r.output, "Best objective function value"));
    EXPECT_FALSE(has(r.output, "The best results of the SCE calibration"));
    EXPECT_FALSE(dir.exists("0000_best.out"));
    EXPECT_FALSE(dir.exists("0000_sce_best.out"));
    // Every failed trial keeps its line, at the failed score.
    const std::vector<std::string> rows = lines_of(dir.read("0000_results_all.out"));
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(c.trials) + 1);
    EXPECT_EQ(rows[1].substr(0, 9), "999999.99");
  }
}

TEST(trial_failures, a_run_count_below_one_is_refused) {
  for (const char* count : {"-m0", "-m-5"}) {
    SCOPED_TRACE(count);
    work_folder dir;
    dir.copy_calib10();
    const test_support::program_result r = run_program(std::string(count) + " mc.in", dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.output, std::string("Error: the run count of -m must be 1 or more; ") + count + " was given.\n"))
        << r.output;
    EXPECT_FALSE(has(r.output, "Best objective function value"));
    EXPECT_FALSE(dir.exists("0000_results_all.out"));
  }
}

}  // namespace
