#include "calibration/run_cost_callback.h"

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>

#include "calibration/calib_objective.h"
#include "calibration/run_results.h"
#include "run/run_simulation.h"
#include "core/error_state.h"
#include "core/parallel_context.h"
#include "core/safe_file.h"
#include "input/replace_params.h"

namespace {

// The value of one list node; integer formats take the rounded value, text
// formats the number as text.
void give_value(replace_param& node, double value) {
  node.real_value = value;
  node.int_value = static_cast<int>(std::lround(value));
  std::snprintf(node.text_value, sizeof node.text_value, "%.10g", value);
  node.used = 0;
}

// Trials are scored in trial order, in process 0 when they are dealt out, so
// the count is the trial's number in every kind of run; a driver's check of
// its list, before its first trial, starts it again.
int trials_scored = 0;

// A trial's run would print its set-up notes and, in a long-term run, a
// progress line a step (336,000 lines for the basin's search): the screen
// (both streams) is set aside while a trial runs, and given back for the
// trial's one line.
int kept_screen[2] = {-1, -1};  // the descriptors of stdout and stderr while set aside

void set_screen_aside() {
  if (kept_screen[0] >= 0) return;
  std::fflush(stdout);
  std::fflush(stderr);
  const int sink = open("/dev/null", O_WRONLY);
  if (sink < 0) return;
  const int streams[2] = {STDOUT_FILENO, STDERR_FILENO};
  for (int k = 0; k < 2; ++k) {
    kept_screen[k] = dup(streams[k]);
    if (kept_screen[k] >= 0) dup2(sink, streams[k]);
  }
  close(sink);
}

void give_screen_back() {
  if (kept_screen[0] < 0) return;
  std::fflush(stdout);
  std::fflush(stderr);
  const int streams[2] = {STDOUT_FILENO, STDERR_FILENO};
  for (int k = 0; k < 2; ++k) {
    if (kept_screen[k] < 0) continue;
    dup2(kept_screen[k], streams[k]);
    close(kept_screen[k]);
    kept_screen[k] = -1;
  }
}

}  // namespace

void prepare_trial(const char* replace_list, const double* params, int n) {
  set_screen_aside();
  error_state = error_record{};
  clear_first_error();
  run_prefix_number = parallel.process_number;
  run_prefix_flag = 1;
  read_replace_params(replace_list);
  int k = 0;
  for (replace_param& node : replacement.params) {
    ++k;
    give_value(node, k <= n && params ? params[k] : 0.0);
  }
  replacement.count = 0;
  start_substitution();
}

double score_trial(const run_results& results, calib_objective& objective, const double* params,
                   int n) {
  const double cost =
      objective.evaluate(results.peaks, results.volumes, parallel.process_number, n, params);
  print_trial_line(params, n, cost);
  return cost;
}

void end_trial_run() { give_screen_back(); }

void print_trial_line(const double* params, int n, double cost) {
  give_screen_back();
  ++trials_scored;
  std::printf("trial %4d:", trials_scored);
  for (int k = 1; k <= n; ++k) {
    const bool named = static_cast<int>(replacement.params.size()) >= k;
    std::printf("  %s %.6g", named ? replacement.params[k - 1].name : "", params ? params[k] : 0.0);
  }
  if (cost == failed_score) std::printf("  cost %.6f (the run failed)\n", cost);
  else std::printf("  cost %.6f\n", cost);
  std::fflush(stdout);
}

double run_cost_callback(const char* replace_list, const char* project, const double* params,
                         calib_objective& objective, int n) {
  prepare_trial(replace_list, params, n);
  run_results results;
  run_simulation(project, &results);
  end_trial_run();
  return score_trial(results, objective, params, n);
}

int check_replace_list(const char* replace_list, int n) {
  trials_scored = 0;
  if (read_replace_params(replace_list) != 0) {
    std::printf("Error: the replacement list %s cannot be read; no trial is run.\n",
                replace_list ? replace_list : "");
    return -1;
  }
  const int names = static_cast<int>(replacement.params.size());
  replacement.params.clear();
  if (names == 0) {
    std::printf(
        "Error: the replacement list %s names no parameter; every trial would run the project "
        "unchanged, so none is run.\n",
        replace_list);
    return -1;
  }
  if (names > n) {
    std::printf(
        "Warning: the replacement list %s names %d parameters but the trials give %d values; the "
        "names beyond them get 0.\n",
        replace_list, names, n);
  }
  return 0;
}

void trial_tally::book(double cost, const char* message) {
  ++trials;
  if (cost != failed_score) return;
  if (failed == 0) first_message = message ? message : "";
  ++failed;
}

void trial_tally::report_all_failed() const {
  if (first_message.empty()) {
    std::printf("Error: all %d trials failed; the first gave no simulated peak or volume to score.\n",
                trials);
  } else {
    std::printf("Error: all %d trials failed; the first stopped with: %s\n", trials,
                first_message.c_str());
  }
}
