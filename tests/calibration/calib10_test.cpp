// Calibration of the calib10 project end to end: one row of ten cells whose
// roughness [MANN] is the one parameter, observed against the peak and
// volume of the run with n = 0.08 (0.269 m3/s, 1457.4 m3). SCE-UA (-c),
// Monte Carlo (-m) and sensitivity sampling (-s) through their drivers, and
// the trial itself.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "calib_test_support.h"
#include "calibration/calib_objective.h"
#include "calibration/montecarlo.h"
#include "calibration/run_cost_callback.h"
#include "calibration/sce_ua.h"
#include "core/parallel_context.h"
#include "input/replace_params.h"
#include "test_support.h"

namespace {

using calib_test::work_folder;
using test_support::lines_of;

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string sce_input(int iseed) {
  return "calib10.prj\ncalib10.lst\ncalib10.obs\n200 5 0.001 2 " + std::to_string(iseed) +
         " 0 1\n0 0 0 0 0 0\n0.15 0.02 0.30\n";
}

struct log_row {
  double cost;
  std::vector<double> params;
};

// The rows of a Monte Carlo log, header left out.
std::vector<log_row> log_rows(const std::string& text) {
  std::vector<log_row> rows;
  const std::vector<std::string> lines = lines_of(text);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::istringstream in(lines[i]);
    log_row row;
    in >> row.cost;
    for (double v; in >> v;) row.params.push_back(v);
    rows.push_back(row);
  }
  return rows;
}

struct sample_stats {
  double mean = 0, deviation = 0, low = 1e300, high = -1e300;
};

sample_stats stats_of(const std::vector<log_row>& rows) {
  sample_stats s;
  for (const log_row& r : rows) {
    s.mean += r.params[0];
    s.low = std::min(s.low, r.params[0]);
    s.high = std::max(s.high, r.params[0]);
  }
  s.mean /= rows.size();
  for (const log_row& r : rows) s.deviation += (r.params[0] - s.mean) * (r.params[0] - s.mean);
  s.deviation = std::sqrt(s.deviation / (rows.size() - 1));
  return s;
}

int run_quietly(const std::function<int()>& driver, std::string* screen = nullptr) {
  test_support::stdout_capture capture;
  const int status = driver();
  const std::string text = capture.stop();
  if (screen) *screen = text;
  return status;
}

const char* const sce_files[] = {"sce_output.out",       "0000_sce_log_file.txt", "0000_sce_best.out",
                                 "0000_results_all.out", "0000_0_cost.out",       "0000_0_obs.log"};

TEST(calib10, sce_finds_the_roughness_of_the_observed_run) {
  for (int iseed = 0; iseed <= 5; ++iseed) {
    SCOPED_TRACE(iseed);
    work_folder dir;
    dir.copy_calib10();
    dir.write("sce.in", sce_input(iseed));
    std::string screen;
    ASSERT_EQ(run_quietly([] { return run_sce_calibration(parallel, "sce.in"); }, &screen), 0);
    for (const char* name : sce_files) EXPECT_TRUE(dir.exists(name)) << name;

    const std::string output = dir.read("sce_output.out");
    EXPECT_TRUE(has(output, "HAS NOT\n CHANGED  0.10 PERCENT IN     5 SHUFFLING LOOPS ***\n") ||
                has(output, "THE POPULATION HAS CONVERGED INTO\n"));
    const std::size_t at = screen.find("The best results of the SCE calibration after ");
    ASSERT_NE(at, std::string::npos);
    const int runs = std::atoi(screen.c_str() + at + 46);
    EXPECT_LE(runs, 200);
    // The final line: the criterion, then n.
    const std::vector<std::string> lines = lines_of(output);
    std::istringstream last(lines.back());
    double criterion = 0, n = 0;
    last >> criterion >> n;
    EXPECT_LT(criterion, 0.002);
    EXPECT_GT(n, 0.0792);
    EXPECT_LT(n, 0.0808);

    // One log line and one results line per trial; the counter starts at 1.
    EXPECT_EQ(lines_of(dir.read("0000_sce_log_file.txt")).size(), static_cast<std::size_t>(runs));
    EXPECT_EQ(lines_of(dir.read("0000_results_all.out")).size(), static_cast<std::size_t>(runs));
    char best[96];
    std::snprintf(best, sizeof best, "The best results of the SCE calibration %d runs:\n%lf\n", runs, n);
    EXPECT_EQ(dir.read("0000_sce_best.out"), best);
  }
}

TEST(calib10, monte_carlo_draws_from_its_seed_and_keeps_the_best) {
  work_folder dir;
  dir.copy_calib10();
  ASSERT_EQ(run_quietly([] { return run_montecarlo_calibration(parallel, 200, "mc.in"); }), 0);
  const std::string log = dir.read("0000_log_file_p0.log");
  EXPECT_EQ(log.substr(0, log.find('\n') + 1), "Cost  \t[MANN]\t\n");
  const std::vector<log_row> rows = log_rows(log);
  ASSERT_EQ(rows.size(), 200u);
  // The C standard's generator from seed 1: 16838, 5758, 10113, ... of 32768.
  EXPECT_NEAR(rows[0].params[0], 1.638794e-01, 1e-9);
  EXPECT_NEAR(rows[1].params[0], 6.920166e-02, 1e-9);
  EXPECT_NEAR(rows[2].params[0], 1.064148e-01, 1e-9);
  const sample_stats s = stats_of(rows);
  EXPECT_NEAR(s.mean, 0.161629, 2e-6);
  EXPECT_NEAR(s.deviation, 0.076172, 2e-6);
  EXPECT_NEAR(s.low, 0.027861, 2e-6);
  EXPECT_NEAR(s.high, 0.297146, 2e-6);

  std::size_t best = 0;
  for (std::size_t i = 1; i < rows.size(); ++i)
    if (std::fabs(rows[i].cost) < std::fabs(rows[best].cost)) best = i;
  EXPECT_EQ(best + 1, 45u);
  EXPECT_NEAR(rows[best].params[0], 7.953247e-02, 1e-9);
  EXPECT_NEAR(rows[best].cost, 0.010960, 1e-5);
  EXPECT_EQ(dir.read("0000_best.out"), "0.010960:  7.953247e-02 \n");
  EXPECT_EQ(lines_of(dir.read("0000_results_all.out")).size(), 201u);
}

TEST(calib10, sensitivity_sampling_makes_500_runs) {
  work_folder dir;
  dir.copy_calib10();
  ASSERT_EQ(run_quietly([] { return run_sensitivity_sampling(parallel, "mc.in"); }), 0);
  const std::vector<log_row> rows = log_rows(dir.read("0000_log_file_p0.log"));
  ASSERT_EQ(rows.size(), 500u);
  const sample_stats s = stats_of(rows);
  EXPECT_NEAR(s.mean, 0.156568, 2e-6);
  EXPECT_NEAR(s.deviation, 0.079183, 2e-6);
  for (const log_row& r : rows) {
    EXPECT_GE(r.params[0], 0.02);
    EXPECT_LT(r.params[0], 0.30);
  }
}

// Every file of a calibration, read from the folder.
std::vector<std::string> files_of(const work_folder& dir, const std::vector<std::string>& names) {
  std::vector<std::string> texts;
  for (const std::string& name : names) texts.push_back(dir.read(name));
  return texts;
}

TEST(calib10, calibrations_repeat_byte_for_byte) {
  const std::vector<std::string> sce_names(std::begin(sce_files), std::end(sce_files));
  const std::vector<std::string> mc_names{"0000_log_file_p0.log", "0000_best.out",
                                          "0000_results_all.out", "0000_0_cost.out", "0000_0_obs.log"};
  const std::string mc_input = "calib10.prj\ncalib10.lst\ncalib10.obs\n1 77\n0.02 0.30\n";

  // Twice in this process, the second time on eight threads.
  std::vector<std::string> sce_first, mc_first;
  for (int threads : {1, 8}) {
    SCOPED_TRACE(threads);
    work_folder dir;
    dir.copy_calib10();
    std::string project = dir.read("calib10.prj");
    project.replace(project.find("NUM_THREADS      1"), 18, "NUM_THREADS      " + std::to_string(threads));
    dir.write("calib10.prj", project);
    dir.write("sce.in", sce_input(3));
    ASSERT_EQ(run_quietly([] { return run_sce_calibration(parallel, "sce.in"); }), 0);
    const std::vector<std::string> sce = files_of(dir, sce_names);
    if (sce_first.empty()) {
      sce_first = sce;
    } else {
      for (std::size_t k = 0; k < sce.size(); ++k) EXPECT_EQ(sce[k], sce_first[k]) << sce_names[k];
    }

    work_folder mc_dir;
    mc_dir.copy_calib10();
    mc_dir.write("calib10.prj", project);
    mc_dir.write("mc.in", mc_input);
    ASSERT_EQ(run_quietly([] { return run_montecarlo_calibration(parallel, 20, "mc.in"); }), 0);
    const std::vector<std::string> mc = files_of(mc_dir, mc_names);
    if (mc_first.empty()) {
      mc_first = mc;
    } else {
      for (std::size_t k = 0; k < mc.size(); ++k) EXPECT_EQ(mc[k], mc_first[k]) << mc_names[k];
    }
  }

  // And in a process of its own, as the user starts it.
  work_folder dir;
  dir.copy_calib10();
  dir.write("mc.in", mc_input);
  const test_support::program_result r = test_support::run_program("-m20 mc.in", dir.path());
  EXPECT_EQ(r.status, 0);
  const std::vector<std::string> mc = files_of(dir, mc_names);
  for (std::size_t k = 0; k < mc.size(); ++k) EXPECT_EQ(mc[k], mc_first[k]) << mc_names[k];
}

TEST(calib10, trials_share_nothing) {
  work_folder dir;
  dir.copy_calib10();
  calib_objective objective;
  ASSERT_EQ(objective.read_observations("calib10.obs"), 1);
  auto trial = [&](double n, std::string* hydrograph) {
    const double params[] = {0.0, n};
    double cost = 0;
    run_quietly([&] {
      cost = run_cost_callback("calib10.lst", "calib10.prj", params, objective, 1);
      return 0;
    });
    objective.finish(0, 0, 0, 1, 1, 1);
    if (hydrograph) *hydrograph = dir.read("0000_outlet.hyd");
    return cost;
  };
  std::string first_hydrograph, second_hydrograph, other;
  const double a = trial(0.05, &first_hydrograph);
  const double b = trial(0.2, &other);
  // A roughness of 0 stops the run: the trial fails.
  const double failed = trial(0.0, nullptr);
  const double again = trial(0.05, &second_hydrograph);
  EXPECT_EQ(std::memcmp(&a, &again, sizeof a), 0);
  EXPECT_EQ(first_hydrograph, second_hydrograph);
  EXPECT_NE(a, b);
  EXPECT_NE(first_hydrograph, other);
  EXPECT_EQ(failed, failed_score);
  const std::vector<std::string> rows = lines_of(dir.read("0000_results_all.out"));
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[3].substr(0, 10), "999999.99\t");
}

TEST(calib10, the_trial_writes_the_vector_into_the_list) {
  work_folder dir;
  dir.write("three.lst", "3\n[MANN] \"%6.4lf\"\n[STEPS] \"%d\"\n[LABEL] \"%s\"\n");
  const double params[] = {0.0, 0.0812, 2.6};
  std::string screen;
  EXPECT_EQ(run_quietly([] { return check_replace_list("three.lst", 2); }, &screen), 0);
  EXPECT_TRUE(has(screen, "Warning: the replacement list three.lst names 3 parameters but the "
                          "trials give 2 values; the names beyond them get 0.\n"));
  prepare_trial("three.lst", params, 2);
  ASSERT_EQ(replacement.params.size(), 3u);
  EXPECT_EQ(replacement.active, 1);
  EXPECT_EQ(run_prefix_flag, 1);
  char line[64] = "n [MANN] steps [STEPS] label [LABEL]";
  replace_line_params(line, sizeof line);
  // An integer name takes the rounded value, a name beyond the vector 0.
  EXPECT_STREQ(line, "n 0.0812 steps 3 label 0");
  end_substitution();
  end_trial_run();
}

TEST(calib10, drivers_refuse_what_would_run_the_project_unchanged) {
  work_folder dir;
  dir.copy_calib10();
  dir.write("empty.lst", "0\n");
  dir.write("mc_empty.in", "calib10.prj\nempty.lst\ncalib10.obs\n1 1\n0.02 0.30\n");
  dir.write("mc_nolist.in", "calib10.prj\nnone.lst\ncalib10.obs\n1 1\n0.02 0.30\n");
  dir.write("sce_empty.in", "calib10.prj\nempty.lst\ncalib10.obs\n200 5 0.001 2 0 0 1\n0 0 0 0 0 0\n0.15 0.02 0.30\n");
  dir.write("sce_noobs.in", "calib10.prj\ncalib10.lst\nnone.obs\n200 5 0.001 2 0 0 1\n0 0 0 0 0 0\n0.15 0.02 0.30\n");
  dir.write("mc_long.in", "calib10.prj\n" + std::string(200, 'x') + "\ncalib10.obs\n1 1\n0.02 0.30\n");
  dir.write("mc_crossed.in", "calib10.prj\ncalib10.lst\ncalib10.obs\n1 1\n0.30 0.02\n");
  dir.write("two_short.obs", "2\n" + lines_of(dir.read("calib10.obs"))[1] + "\n");
  dir.write("mc_badobs.in", "calib10.prj\ncalib10.lst\ntwo_short.obs\n1 1\n0.02 0.30\n");
  dir.write("sce_badobs.in", "calib10.prj\ncalib10.lst\ntwo_short.obs\n200 5 0.001 2 0 0 1\n0 0 0 0 0 0\n0.15 0.02 0.30\n");
  std::string screen;
  EXPECT_EQ(run_quietly([] { return run_montecarlo_calibration(parallel, 5, "mc_crossed.in"); }, &screen), 1);
  EXPECT_TRUE(has(screen, "Error: parameter 1 on line 5 of the Monte Carlo input file mc_crossed.in has "
                          "the lower bound 0.3 above its upper bound 0.02.\n"));
  EXPECT_EQ(run_quietly([] { return run_montecarlo_calibration(parallel, 5, "mc_badobs.in"); }, &screen), 1);
  EXPECT_TRUE(has(screen, "Error: the observation file two_short.obs gives 2 events on line 1 but ends "
                          "at line 2, after 1 of them.\n"));
  EXPECT_TRUE(has(screen, "Error: no Monte Carlo run is made against the refused observation file "
                          "two_short.obs.\n"));
  EXPECT_EQ(run_quietly([] { return run_sce_calibration(parallel, "sce_badobs.in"); }, &screen), 1);
  EXPECT_TRUE(has(screen, "Error: the observation file two_short.obs gives 2 events on line 1"));
  EXPECT_FALSE(has(screen, "unable to open the observation file"));
  EXPECT_EQ(run_quietly([] { return run_montecarlo_calibration(parallel, 5, "mc_empty.in"); }, &screen), 1);
  EXPECT_TRUE(has(screen, "names no parameter; every trial would run the project unchanged"));
  EXPECT_EQ(run_quietly([] { return run_montecarlo_calibration(parallel, 5, "mc_nolist.in"); }, &screen), 1);
  EXPECT_TRUE(has(screen, "Error: unable to open the replace parameter file.\n"));
  EXPECT_EQ(run_quietly([] { return run_sce_calibration(parallel, "sce_empty.in"); }, &screen), 1);
  EXPECT_TRUE(has(screen, "Error: unable to successfully run the SCE method\n"));
  EXPECT_EQ(run_quietly([] { return run_sce_calibration(parallel, "sce_noobs.in"); }, &screen), 1);
  EXPECT_TRUE(has(screen,
                  "Error: unable to open the observation file for reading or problem while reading it.\n"
                  "Attempted to read file: none.obs\n"));
  EXPECT_EQ(run_quietly([] { return run_montecarlo_calibration(parallel, 5, "mc_long.in"); }, &screen), 1);
  EXPECT_TRUE(has(screen, "Error: the path on line 2 of the Monte Carlo input file mc_long.in is longer "
                          "than 199 characters.\n"));
  EXPECT_FALSE(dir.exists("0000_results_all.out"));
  EXPECT_FALSE(dir.exists("0000_outlet.hyd"));
}

TEST(calib10, monte_carlo_fixes_parameters_and_goes_on_without_observations) {
  work_folder dir;
  dir.copy_calib10();
  // A lone lower bound, or one followed by a comment, fixes the parameter;
  // "#" in place of a seed is no seed.
  dir.write("two.lst", "2\n[MANN] \"%10.6lf\"\n[UNUSED] \"%5.2lf\"\n");
  dir.write("mc.in", "calib10.prj\ntwo.lst\nnone.obs\n2 # no seed\n0.08 # fixed\n0.5 0.9\n");
  std::string screen;
  ASSERT_EQ(run_quietly([] { return run_montecarlo_calibration(parallel, 3, "mc.in"); }, &screen), 0);
  const std::string log = dir.read("0000_log_file_p0.log");
  EXPECT_EQ(log.substr(0, log.find('\n') + 1), "Cost  \t[MANN]\t[UNUSED]\t\n");
  const std::vector<log_row> rows = log_rows(log);
  ASSERT_EQ(rows.size(), 3u);
  for (const log_row& r : rows) {
    // No observation was read: no weighted point, cost -1.
    EXPECT_EQ(r.cost, -1.0);
    EXPECT_EQ(r.params[0], 0.08);
    EXPECT_GE(r.params[1], 0.5);
    EXPECT_LT(r.params[1], 0.9);
  }

  // A second driver in the same folder appends without a second header.
  ASSERT_EQ(run_quietly([] { return run_montecarlo_calibration(parallel, 2, "mc.in"); }), 0);
  const std::vector<std::string> lines = lines_of(dir.read("0000_log_file_p0.log"));
  EXPECT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[4].substr(0, 9), "-1.000000");
}

}  // namespace

namespace {

// A search started as the user starts it prints one line a trial (its
// number, its value under its list name, its cost) and none of the trials'
// own run output; reading the project's folder takes the magic line for no
// card, so no trial warns of an unknown card "valtoproject".
TEST(calib10, each_trial_prints_one_line_and_no_warning) {
  work_folder dir;
  dir.copy_calib10();
  dir.write("short.in", "calib10.prj\ncalib10.lst\ncalib10.obs\n8 5 0.001 1 3 0 1\n"
                        "0 0 0 0 0 0\n0.15 0.02 0.30\n");
  const test_support::program_result r = test_support::run_program("-c short.in", dir.path());
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_FALSE(has(r.output, "Warning")) << r.output;
  EXPECT_FALSE(has(r.output, "elapsed time")) << r.output;
  EXPECT_FALSE(has(r.output, "reading")) << r.output;
  int trials = 0;
  for (const std::string& line : lines_of(r.output)) {
    if (line.rfind("trial", 0) != 0) continue;
    ++trials;
    char name[16] = {};
    int number = 0;
    double value = 0.0, cost = 0.0;
    ASSERT_EQ(std::sscanf(line.c_str(), "trial %d: %15s %lf cost %lf", &number, name, &value, &cost),
              4)
        << line;
    EXPECT_EQ(number, trials);
    EXPECT_STREQ(name, "[MANN]");
    EXPECT_GE(value, 0.02);
    EXPECT_LE(value, 0.30);
    EXPECT_GE(cost, 0.0);
  }
  // The results file has a header line, then one row a trial.
  EXPECT_EQ(trials + 1, static_cast<int>(lines_of(dir.read("0000_results_all.out")).size()));
  EXPECT_GE(trials, 3);
}

}  // namespace
