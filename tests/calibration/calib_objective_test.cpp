// Scoring a trial: the six scores against hand-worked values, the cost file,
// the observation log and the ranked results file as the user reads them.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "calib_test_support.h"
#include "calibration/calib_objective.h"
#include "core/error_state.h"
#include "test_support.h"

namespace {

using calib_test::work_folder;

// Two events: observed peaks 10 and 20 (weights 1, 1), volumes 100 and 400
// (weights 1, 0.4).
calib_objective two_events() {
  calib_objective o;
  o.set_observations({0, 10, 20}, {0, 1, 1}, {0, 100, 400}, {0, 1, 0.4});
  return o;
}

const std::vector<double> sim_peaks{0, 12, 18, 0};
const std::vector<double> sim_volumes{0, 90, 420, 0};

TEST(calib_objective, scores_two_events_as_worked_by_hand) {
  work_folder dir;
  calib_objective o = two_events();
  const double params[] = {0, 0.08, 1.5};
  // cost |2/10| + |-10/100| + |-2/20| + |20/400 x 0.4| = 0.42; RMSE with
  // R = 20/400: sqrt(4 + 4 + (10 R)^2 + (20 R)^2) = sqrt(9.25); HMLE settles
  // on lambda 1 by symmetry, (4 + 4) / 2; log error, in terms: ln(12/10) + ln(20/18) + ln(100/90) + ln(420/400); the volume
  // weight 0.4 scales the cost only.
  const double cost = o.evaluate(sim_peaks, sim_volumes, 0, 2, params);
  EXPECT_NEAR(cost, 0.42, 1e-12);
  EXPECT_NEAR(o.hmle, 4.0, 1e-6);
  EXPECT_NEAR(o.rmse, std::sqrt(9.25), 1e-12);
  EXPECT_NEAR(o.log_error, std::log(1.2) + 2 * std::log(10.0 / 9.0) + std::log(1.05), 1e-12);
  EXPECT_EQ(o.max_peak, 18.0);
  EXPECT_EQ(o.max_volume, 420.0);
  o.finish(0, 0, 0, 1, 1, 1);

  EXPECT_EQ(dir.read("0_cost.out"),
            "p:12.000000, 2.000000  v:90.000000, -10.000000  \n"
            "p:18.000000, -2.000000  v:420.000000, 20.000000  \n"
            "Total Points: 4\ncost: 0.420000\n" +
                std::string(79, '-') + "\n");
  EXPECT_EQ(dir.read("0_obs.log"),
            std::string(55, '-') +
                "\nEvent\tWeight\tObs Peak   \tSim Peak    \tDiff        \tWeight\tObs Vol     \tSim "
                "Vol     \tDiff\n"
                "1    \t1.00  \t10.00       \t12.00       \t-2.00       \t1.00  \t100.00      "
                "\t90.00       \t10.00       \n"
                "2    \t1.00  \t20.00       \t18.00       \t2.00        \t0.40  \t400.00      "
                "\t420.00      \t-20.00      \n\n\n");
  const std::string header =
      "--Cost--\t----HMLE----\t----RMSE----\t-Log Error--\t--Max Peak--\t--Max Vol---\t: params\n";
  const std::string row =
      "0.42    \t4.0000      \t3.04        \t0.441833    \t18.00       \t420.00      \t: 0.0800  "
      "1.5000  \n";
  EXPECT_EQ(dir.read("results_all.out"), header + row);

  // A later trial appends its row only; a failed one (a simulated volume
  // below zero) still gets its line, with the failure score.
  o.evaluate(sim_peaks, sim_volumes, 0, 2, params);
  o.finish(0, 0, 0, 1, 1, 1);
  const std::vector<double> failed{0, 90, -5, 0};
  EXPECT_EQ(o.evaluate(sim_peaks, failed, 0, 2, params), failed_score);
  o.finish(0, 0, 0, 1, 1, 1);
  const std::vector<std::string> lines = test_support::lines_of(dir.read("results_all.out"));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2] + "\n", row);
  EXPECT_EQ(lines[3].substr(0, 10), "999999.99\t");
}

TEST(calib_objective, hmle_finds_its_exponent_by_golden_section) {
  calib_objective o;
  o.set_observations({0, 5, 20, 80}, {0, 1, 1, 1}, {0, 1, 1, 1}, {0, 0, 0, 0});
  const std::vector<double> peaks{0, 6, 18, 70, 0};
  EXPECT_NEAR(o.hmle_of(peaks, peaks), 8.0, 1e-6);
  EXPECT_NEAR(hmle_lambda({5, 20, 80}, {6, 18, 70}), 0.169518, 1e-6);
  // The abscissa of the smallest |f|, not the midpoint of the last interval.
  EXPECT_NEAR(hmle_golden_section([](double x) { return std::fabs(x - 1.0); }, 0.1, 3.0), 1.0, 1e-6);
}

TEST(calib_objective, edge_cases_of_the_scores) {
  work_folder dir;
  struct case_row {
    const char* name;
    std::vector<double> obs_peak, peak_weight, obs_volume, volume_weight, sim_peak, sim_volume;
    double cost, hmle, rmse, log_error, max_peak, max_volume;
  };
  const double nan = NAN;  // not checked
  const case_row cases[] = {
      // a peak alone: no newline after its entry
      {"peak only", {0, 10}, {0, 1}, {0, 5}, {0, 0}, {0, 12, 0}, {0, 3, 0}, 0.2, nan, 2.0, nan, 12,
       no_max_value},
      // an observed peak of 0 is not divided by
      {"zero observed peak", {0, 0}, {0, 2}, {0, 5}, {0, 0}, {0, 3, 0}, {0, 1, 0}, 6.0, nan, 3.0,
       nan, 3, no_max_value},
      // an observed volume of 0 and a peak of 1e-17 take plain differences
      {"plain differences", {0, 1e-17}, {0, 1}, {0, 0}, {0, 1}, {0, 2, 0}, {0, 4, 0}, 6.0, nan, nan,
       nan, 2, 4},
      {"no weights", {0, 10}, {0, 0}, {0, 5}, {0, 0}, {0, 12, 0}, {0, 3, 0}, -1, -1, 0, 0,
       no_max_value, no_max_value},
      {"failed weighted volume", {0, 10}, {0, 1}, {0, 5}, {0, 1}, {0, 12, 0}, {0, -5, 0},
       failed_score, failed_score, failed_score, failed_score, 12, no_max_value},
      // an unweighted failed peak fails RMSE and log error only; the maxima
      // stop at it
      {"failed unweighted peak", {0, 10, 4}, {0, 1, 0}, {0, 5, 5}, {0, 0, 0}, {0, 12, -5, 0},
       {0, 3, 3, 0}, 0.2, nan, failed_score, failed_score, 12, no_max_value},
      // two events observed, one simulated: the second is never read
      {"more events than the run", {0, 10, 20}, {0, 1, 1}, {0, 5, 5}, {0, 0, 0}, {0, 12},
       {0, 3}, failed_score, failed_score, failed_score, failed_score, 12, no_max_value},
  };
  for (const case_row& c : cases) {
    SCOPED_TRACE(c.name);
    calib_objective o;
    o.set_observations(c.obs_peak, c.peak_weight, c.obs_volume, c.volume_weight);
    const double cost = o.evaluate(c.sim_peak, c.sim_volume, 0, 0, nullptr);
    EXPECT_NEAR(cost, c.cost, 1e-12);
    if (!std::isnan(c.hmle)) {
      EXPECT_NEAR(o.hmle, c.hmle, 1e-9);
    }
    if (!std::isnan(c.rmse)) {
      EXPECT_NEAR(o.rmse, c.rmse, 1e-12);
    }
    if (!std::isnan(c.log_error)) {
      EXPECT_NEAR(o.log_error, c.log_error, 1e-12);
    }
    EXPECT_EQ(o.max_peak, c.max_peak);
    EXPECT_EQ(o.max_volume, c.max_volume);
    o.results.clear();
  }
  // The peak-only case's entry runs straight into the totals.
  EXPECT_EQ(dir.read("0_cost.out").rfind("p:12.000000, 2.000000  Total Points: 1\ncost: 0.200000\n", 0),
            0u);

  calib_objective ratio;
  ratio.set_observations({0, 2, 4}, {0, 1, 1}, {0, 100, 50}, {0, 1, 1});
  EXPECT_DOUBLE_EQ(ratio.volume_ratio_of(), 0.04);
}

TEST(calib_objective, reads_observations_and_refuses_bad_files) {
  work_folder dir;
  calib_objective o;
  dir.write("good.obs", "2\n10, 1, 100, 1\n20\t1 400 0.4\n");
  EXPECT_EQ(o.read_observations("good.obs"), 1);
  EXPECT_EQ(o.event_count, 2);
  EXPECT_EQ(o.obs_volumes[2], 400.0);
  EXPECT_EQ(o.volume_weights[2], 0.4);

  struct bad {
    const char* text;
    int code;
    const char* message;
  };
  const bad cases[] = {
      {"", 0, "Error: line 1 of the observation file bad.obs must give the number of events (1 or more).\n"},
      {"0\n", 0, "line 1 of the observation file bad.obs must give the number"},
      {"x\n", 0, "line 1 of the observation file bad.obs must give the number"},
      {"2\n10 1 100 1\n", 0,
       "Error: the observation file bad.obs gives 2 events on line 1 but ends at line 2, after 1 of "
       "them.\n"},
      {"1\n10 1 100 1\n\n20 1 200 1\n", 0,
       "Error: the observation file bad.obs gives 1 events on line 1 but holds more: line 4 is "
       "another.\n"},
      {"1\n10 1 100\n", 135,
       "Error: line 2 of the observation file bad.obs needs four numbers for event 1: observed peak, "
       "peak weight, observed volume and volume weight.\n"},
      {"2\n10 1 100 1\n10 -1 100 1\n", 0,
       "Error: the peak weight -1 of event 2 on line 3 of the observation file bad.obs is outside "
       "its range; it must be 0 or more.\n"},
      {"1\n10 1 100 -0.5\n", 0, "the volume weight -0.5 of event 1 on line 2"},
      {"1\n-3 1 100 1\n", 0,
       "the observed peak -3 of event 1 on line 2 of the observation file bad.obs is outside its "
       "range; it must be 0 or more while it is weighted.\n"},
  };
  for (const bad& c : cases) {
    SCOPED_TRACE(c.text);
    error_state = error_record{};
    dir.write("bad.obs", c.text);
    calib_objective b;
    test_support::stdout_capture capture;
    EXPECT_EQ(b.read_observations("bad.obs"), -1);
    const std::string printed = capture.stop();
    EXPECT_EQ(printed.find("Error: observed data file improperly formatted.\n") != std::string::npos,
              c.code == 135);
    EXPECT_NE(printed.find(c.message), std::string::npos) << printed;
    EXPECT_TRUE(b.refused);
  }
  // A negative observation that is not scored may mark a missing event.
  dir.write("unscored.obs", "2\n-1 0 -1 0\n10 1 100 1\n");
  EXPECT_EQ(o.read_observations("unscored.obs"), 1);
  // A file that ends early leaves the events it held, for a driver that
  // goes on with them.
  error_state = error_record{};
  dir.write("short.obs", "3\n10 1 100 1\n");
  calib_objective part;
  EXPECT_EQ(part.read_observations("short.obs"), -1);
  EXPECT_EQ(part.event_count, 1);
  EXPECT_EQ(part.obs_peaks.size(), 2u);
  EXPECT_EQ(o.read_observations("missing.obs"), -1);
  EXPECT_FALSE(o.refused);
}

}  // namespace
