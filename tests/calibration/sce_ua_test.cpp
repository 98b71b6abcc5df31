// The SCE-UA search driven by cost functions alone: its generators, its
// settings checks and searches of functions whose minimum is known.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

#include "calib_test_support.h"
#include "calibration/sce_ua.h"
#include "test_support.h"

namespace {

using calib_test::work_folder;

using plain_cost = std::function<double(const double*)>;

// A ready optimiser over the box [lower, upper]^n with the default algorithm
// settings, scoring points with cost.
void set_up(sce_optimizer& opt, int n, double lower, double upper, int maxn, int ngs, int iseed,
            int kstop, double pcento, plain_cost cost) {
  opt.nopt = n;
  opt.maxn = maxn;
  opt.ngs = ngs;
  opt.iseed = iseed == 0 ? 3737 : iseed;
  opt.kstop = kstop;
  opt.pcento = pcento;
  opt.ideflt = 0;
  opt.start.assign(n + 1, 0.0);
  opt.lower.assign(n + 1, lower);
  opt.upper.assign(n + 1, upper);
  sce_check_input(opt);
  opt.ready = 1;
  ASSERT_TRUE(opt.output_file.open("sce_output.out", "w"));
  opt.cost_callback = [cost](const char*, const char*, const double* x, calib_objective&, int) {
    return cost(x);
  };
}

struct search_end {
  int runs;
  int loops;
  std::string output;  // the output file
  std::string screen;
  double bestf;
  std::vector<double> best;
};

search_end search(const work_folder& dir, int n, double lower, double upper, int maxn, int ngs,
                  int iseed, int kstop, double pcento, plain_cost cost,
                  const std::function<void(sce_optimizer&)>& adjust = nullptr) {
  sce_optimizer opt;
  set_up(opt, n, lower, upper, maxn, ngs, iseed, kstop, pcento, cost);
  if (adjust) adjust(opt);
  test_support::stdout_capture capture;
  const int runs = sceua(opt);
  const std::string screen = capture.stop();
  opt.output_file.close();
  opt.log_file.close();
  return {runs, opt.loops, dir.read("sce_output.out"), screen, opt.bestf, opt.best_point};
}

double quadratic(const double* x) {
  return 1.0 + (x[1] - 1.0) * (x[1] - 1.0) + (x[2] - 2.0) * (x[2] - 2.0);
}

double goldstein_price(const double* v) {
  const double x = v[1];
  const double y = v[2];
  const double a = 1.0 + (x + y + 1) * (x + y + 1) * (19 - 14 * x + 3 * x * x - 14 * y + 6 * x * y + 3 * y * y);
  const double b = 30.0 + (2 * x - 3 * y) * (2 * x - 3 * y) *
                              (18 - 32 * x + 12 * x * x + 48 * y - 36 * x * y + 27 * y * y);
  return a * b;
}

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

const char* criterion_stop = " *** OPTIMIZATION TERMINATED BECAUSE THE CRITERION VALUE HAS NOT\n";
const char* converged_stop = " *** OPTIMIZATION TERMINATED BECAUSE THE POPULATION HAS CONVERGED INTO\n";

TEST(sce_ua, generators_give_the_known_sequences) {
  int state = -3737;
  EXPECT_NEAR(sce_ran1(state), 0.334074305, 1e-9);
  EXPECT_NEAR(sce_ran1(state), 0.349251439, 1e-9);
  EXPECT_NEAR(sce_ran1(state), 0.589596552, 1e-9);

  // The first pair of uniforms makes both deviates: the second is kept.
  sce_clear_gasdev();
  state = -3737;
  EXPECT_NEAR(sce_gasdev(state), -1.204530873, 1e-9);
  EXPECT_NEAR(sce_gasdev(state), -1.325801202, 1e-9);
  // A kept deviate is forgotten on request, so a restarted seed repeats.
  state = -3737;
  sce_gasdev(state);
  sce_clear_gasdev();
  state = -3737;
  EXPECT_NEAR(sce_gasdev(state), -1.204530873, 1e-9);
}

TEST(sce_ua, finds_the_minimum_of_a_quadratic) {
  work_folder dir;
  const search_end loose = search(dir, 2, -5, 5, 1000, 2, 0, 5, 0.01, quadratic);
  EXPECT_EQ(loose.loops, 7);
  EXPECT_EQ(loose.runs, 127);
  EXPECT_TRUE(has(loose.output, criterion_stop));
  EXPECT_TRUE(has(loose.output, " CHANGED  1.00 PERCENT IN     5 SHUFFLING LOOPS ***\n"));
  EXPECT_NEAR(loose.best[1], 1.0099, 5e-5);
  EXPECT_NEAR(loose.best[2], 2.0030, 5e-5);
  EXPECT_NEAR(loose.bestf, quadratic(loose.best.data()), 1e-12);
  // One log line per trial, every point inside the box: reflections that
  // leave it are replaced by normal draws around the best sub-point.
  const std::vector<std::string> log = test_support::lines_of(dir.read("sce_log_file.txt"));
  ASSERT_EQ(log.size(), 127u);
  EXPECT_EQ(log[0], "Sim No.   Cost     Minimum Cost:  Parameter Values");
  for (std::size_t i = 1; i < log.size(); ++i) {
    int call = 0;
    double cost = 0, best = 0, x1 = 0, x2 = 0;
    ASSERT_EQ(std::sscanf(log[i].c_str(), "%d %lf %lf : %lf %lf", &call, &cost, &best, &x1, &x2), 5);
    EXPECT_EQ(call, static_cast<int>(i));
    EXPECT_TRUE(x1 >= -5 && x1 <= 5 && x2 >= -5 && x2 <= 5) << log[i];
  }

  const search_end tight = search(dir, 2, -5, 5, 1000, 2, 0, 5, 1e-4, quadratic);
  EXPECT_EQ(tight.loops, 10);
  EXPECT_EQ(tight.runs, 174);
  EXPECT_TRUE(has(tight.output, converged_stop));
  EXPECT_NEAR(tight.best[1], 1.0, 1e-2);
  EXPECT_NEAR(tight.best[2], 2.0, 1e-2);
  EXPECT_TRUE(has(tight.screen, " ***  Evolution Loop Number 10\n"));
}

TEST(sce_ua, finds_the_goldstein_price_minimum) {
  work_folder dir;
  const search_end r = search(dir, 2, -2, 2, 1000, 4, 0, 10, 1e-5, goldstein_price);
  EXPECT_EQ(r.loops, 13);
  EXPECT_EQ(r.runs, 450);
  EXPECT_TRUE(has(r.output, converged_stop));
  EXPECT_LT(r.bestf, 3.000001);
  EXPECT_NEAR(r.best[1], 0.0, 1e-3);
  EXPECT_NEAR(r.best[2], -1.0, 1e-3);
  for (int seed : {1, 7, 12345}) {
    SCOPED_TRACE(seed);
    EXPECT_LT(search(dir, 2, -2, 2, 1000, 4, seed, 10, 1e-5, goldstein_price).bestf, 3.00001);
  }
}

// A perfect fit used to leave the relative change 0/0 and the search running
// on; no change is no change, whether the cost is 0 or 2.
TEST(sce_ua, a_constant_cost_stops_on_the_criterion) {
  work_folder dir;
  for (double value : {0.0, 2.0}) {
    SCOPED_TRACE(value);
    const search_end r =
        search(dir, 2, -5, 5, 1000, 2, 0, 5, 0.01, [value](const double*) { return value; });
    EXPECT_EQ(r.loops, 6);
    EXPECT_EQ(r.runs, 71);
    EXPECT_TRUE(has(r.output, criterion_stop));
  }
}

TEST(sce_ua, the_same_seed_gives_the_same_trials) {
  work_folder dir;
  const search_end a = search(dir, 2, -5, 5, 1000, 2, 0, 5, 0.01, quadratic);
  // A kept normal deviate from another search must not leak into this one.
  int state = -99;
  sce_gasdev(state);
  const search_end b = search(dir, 2, -5, 5, 1000, 2, 3737, 5, 0.01, quadratic);
  EXPECT_EQ(a.output, b.output);
  EXPECT_EQ(a.runs, b.runs);
}

TEST(sce_ua, the_trial_limit_ends_a_search_after_its_loop) {
  work_folder dir;
  const search_end r = search(dir, 2, -5, 5, 12, 2, 0, 5, 1e-9, quadratic);
  // 10 points, then 10 to 30 evaluations in the loop: the limit is seen only
  // at the loop's end.
  EXPECT_GE(r.runs, 21);
  EXPECT_EQ(r.loops, 1);
  EXPECT_TRUE(has(r.screen, " MAXIMUM NUMBER OF TRIALS 12 EXCEEDED.  SEARCH WAS STOPPED AT\n"));
  EXPECT_TRUE(has(r.screen, " SUB-COMPLEX 0 OF COMPLEX 3 IN SHUFFLING LOOP 1 ***\n"));

  sce_optimizer few;
  set_up(few, 2, -5, 5, 9, 2, 0, 5, 0.01, quadratic);
  test_support::stdout_capture capture;
  EXPECT_EQ(sceua(few), -1);
  EXPECT_TRUE(has(capture.stop(),
                  "Error: maximum number of function calls less than the number of points\n"));
}

// The loop lines of the output file: loop, trials, complexes.
std::vector<std::vector<int>> loop_lines(const std::string& output) {
  std::vector<std::vector<int>> rows;
  for (const std::string& line : test_support::lines_of(output)) {
    int loop = 0, calls = 0, complexes = 0;
    double a = 0, b = 0, c = 0;
    if (std::sscanf(line.c_str(), "%d %d %d %lf %lf %lf", &loop, &calls, &complexes, &a, &b, &c) == 6)
      rows.push_back({loop, calls, complexes});
  }
  return rows;
}

TEST(sce_ua, complexes_drop_to_the_minimum_one_a_loop) {
  work_folder dir;
  const search_end r = search(dir, 2, -5, 5, 1000, 3, 0, 5, 1e-4, quadratic,
                              [](sce_optimizer& opt) { opt.mings = 1; });
  const std::vector<std::vector<int>> rows = loop_lines(r.output);
  ASSERT_GE(rows.size(), 4u);
  EXPECT_EQ(rows[0][2], 3);
  EXPECT_EQ(rows[1][2], 2);
  EXPECT_EQ(rows[2][2], 1);
  EXPECT_EQ(rows[3][2], 1);
  // 15 first points, then 3, 2 and 1 complexes of 5 evolution steps, each
  // of one to three trials.
  EXPECT_GE(rows[2][1] - rows[1][1], 5);
  EXPECT_LE(rows[2][1] - rows[1][1], 15);
}

TEST(sce_ua, ten_parameters_print_each_point_on_two_lines) {
  work_folder dir;
  auto sphere = [](const double* x) {
    double sum = 0;
    for (int j = 1; j <= 10; ++j) sum += x[j] * x[j];
    return sum;
  };
  // 42 points (the counter stands at 43 after them); the limit of 44 ends
  // the search after its first loop.
  const search_end r = search(dir, 10, -1, 1, 44, 2, 0, 5, 0.01, sphere,
                              [](sce_optimizer& opt) { opt.iprint = 1; });
  const std::vector<std::string> lines = test_support::lines_of(r.output);
  std::size_t at = 0;
  while (at < lines.size() && lines[at] != " POPULATION AT LOOP 1") ++at;
  ASSERT_LT(at + 84, lines.size());
  for (int point = 0; point < 42; ++point) {
    double v[9];
    const std::string& first = lines[at + 1 + 2 * point];
    const std::string& second = lines[at + 2 + 2 * point];
    EXPECT_EQ(std::sscanf(first.c_str(), "%lf %lf %lf %lf %lf %lf %lf %lf %lf", &v[0], &v[1], &v[2],
                          &v[3], &v[4], &v[5], &v[6], &v[7], &v[8]),
              9);
    EXPECT_EQ(first.size(), 9u * 11u);
    EXPECT_EQ(second.size(), 2u * 11u);
  }
  // The best point's own line pair follows the loop line the same way.
  const std::vector<std::vector<int>> rows = loop_lines(r.output);
  ASSERT_EQ(rows.size(), 1u);
}

TEST(sce_ua, checks_of_the_settings_warn_and_repair) {
  struct check_case {
    const char* name;
    int n, ngs, kstop, ideflt, npg, nps, nspl, mings;
    int want_ngs, want_npg, want_nps, want_nspl, want_kstop, warnings;
    const char* line;
  };
  const check_case cases[] = {
      {"kstop 15 kept", 2, 2, 15, 0, 0, 0, 0, 0, 2, 5, 3, 5, 15, 0, ""},
      {"kstop 20", 2, 2, 20, 0, 0, 0, 0, 0, 2, 5, 3, 5, 5, 1,
       " MUST CHANGE SHOULD BE GREATER THAN 0 AND LESS THAN 10. kstop = 20 WAS\n"},
      {"kstop -1", 2, 2, -1, 0, 0, 0, 0, 0, 2, 5, 3, 5, 5, 1, " WAS SPECIFIED.  BUT kstop = 5 WILL BE USED INSTEAD.\n"},
      {"population over the limit", 10, 100, 5, 0, 0, 0, 0, 0, 2, 21, 11, 21, 5, 2,
       " THE POPULATION LIMIT.  SET NGS TO 2, AND NPG, NPS AND NSPL TO DEFAULTS\n"},
      {"nps 51", 60, 2, 5, 1, 121, 51, 121, 2, 2, 121, 61, 121, 5, 1,
       " **WARNING** THE NUMBER OF POINTS IN A SUB-COMPLEX 51 IS NOT\n"},
      {"settings discarded", 2, 2, 5, 7, 0, 0, 0, 0, 2, 5, 3, 5, 5, 4,
       " **WARNING** THE MINIMUM NUMBER OF COMPLEXES 0 IS NOT A VALID CHOICE.\n"},
  };
  for (const check_case& c : cases) {
    SCOPED_TRACE(c.name);
    sce_optimizer opt;
    opt.nopt = c.n;
    opt.ngs = c.ngs;
    opt.kstop = c.kstop;
    opt.ideflt = c.ideflt;
    opt.npg = c.npg;
    opt.nps = c.nps;
    opt.nspl = c.nspl;
    opt.mings = c.mings;
    test_support::stdout_capture capture;
    EXPECT_EQ(sce_check_input(opt), c.warnings);
    const std::string printed = capture.stop();
    EXPECT_EQ(opt.ngs, c.want_ngs);
    EXPECT_EQ(opt.npg, c.want_npg);
    EXPECT_EQ(opt.nps, c.want_nps);
    EXPECT_EQ(opt.nspl, c.want_nspl);
    EXPECT_EQ(opt.kstop, c.want_kstop);
    EXPECT_TRUE(has(printed, c.line));
    if (c.warnings > 0) {
      EXPECT_TRUE(has(printed, " *** TOTAL NUMBER OF WARNING MESSAGES IS " + std::to_string(c.warnings) + "\n"));
    } else {
      EXPECT_EQ(printed, "");
    }
  }
}

// Sixty parameters make sub-complexes of 61 points and a population of 242:
// the storage follows the settings.
TEST(sce_ua, sixty_parameters_fit_the_storage) {
  work_folder dir;
  const search_end r = search(dir, 60, -1, 1, 300, 2, 0, 5, 0.01, [](const double* x) {
    double sum = 0;
    for (int j = 1; j <= 60; ++j) sum += x[j] * x[j];
    return sum;
  });
  EXPECT_GE(r.runs, 243);
  EXPECT_TRUE(has(r.output, "ENTER THE SHUFFLED COMPLEX EVOLUTION GLOBAL SEARCH\n"));
}

TEST(sce_ua, input_file_errors_leave_the_optimiser_unready) {
  work_folder dir;
  const std::string paths = "p.prj\nlist.txt\nobs.txt\n";
  struct bad_input {
    const char* name;
    std::string text;
    const char* message;
  };
  const bad_input cases[] = {
      {"six numbers", paths + "200 5 0.001 2 0 0\n", "Error in your input file. The first line must have 7 parameters.\n"},
      {"bounds crossed", paths + "200 5 0.001 2 0 0 2\n0 0 0 0 0 0\n0.1 0 1\n0.5 0.9 0.9\n",
       "ERROR:  Lower bound is greater than upper bound for varialbe 2\nError: parameter 2 on "
       "line 7 of the SCE input file sce.in has the lower bound 0.9 and the upper bound 0.9; the "
       "lower must be below the upper.\n"},
      {"start outside its bounds", paths + "200 5 0.001 2 0 0 2\n0 0 0 0 0 0\n0.1 0 1\n\n1.5 0.5\n0.9\n",
       "Error: the start value 1.5 of parameter 2 on line 8 of the SCE input file sce.in is outside "
       "its bounds; it must be from 0.5 to 0.9.\n"},
      {"invalid ngs", paths + "200 5 0.001 0 0 0 1\n0 0 0 0 0 0\n0.1 0 1\n",
       " **ERROR** NUMBER OF COMPLEXES IN INITIAL POPULATION 0 IS NOT A VALID CHOICE\n"},
      {"short triples", paths + "200 5 0.001 2 0 0 2\n0 0 0 0 0 0\n0.1 0 1\n0.5\n",
       "holds no start value and bounds for parameter 2 at line 7.\n"},
  };
  for (const bad_input& c : cases) {
    SCOPED_TRACE(c.name);
    dir.write("sce.in", c.text);
    sce_optimizer opt;
    test_support::stdout_capture capture;
    sce_init(opt, "sce.in", "sce_output.out");
    EXPECT_EQ(sceua(opt), -1);
    const std::string printed = capture.stop();
    EXPECT_EQ(opt.ready, 0);
    EXPECT_TRUE(has(printed, c.message)) << printed;
    EXPECT_TRUE(has(printed, "Error: unable to successufully setup SCE-UA. Unable to run.\n"));
  }

  // iseed 0 is 3737; settings of ideflt 0 are read and dropped.
  dir.write("sce.in", paths + "200 5 0.001 2 0 0 1\n9 9 9 9 9 9\n0.15 0.02 0.30\n");
  sce_optimizer opt;
  test_support::stdout_capture capture;
  sce_init(opt, "sce.in", "sce_output.out");
  capture.stop();
  EXPECT_EQ(opt.ready, 1);
  EXPECT_EQ(opt.iseed, 3737);
  EXPECT_EQ(opt.npg, 3);
  EXPECT_EQ(opt.replace_path, "list.txt");
  EXPECT_EQ(opt.upper[1], 0.30);
}

}  // namespace
