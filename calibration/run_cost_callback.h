#pragma once
// One calibration trial: the parameter vector written into the replacement
// list, one complete model run with a results record, and its score.

#include <functional>
#include <string>

class calib_objective;
struct run_results;

// The cost function the searches call: replacement list path, project path,
// parameter vector [1..n], objective, n.
using calib_cost_function =
    std::function<double(const char*, const char*, const double*, calib_objective&, int)>;

double run_cost_callback(const char* replace_list, const char* project, const double* params,
                         calib_objective& objective, int n);

// The trial's steps apart, so that a caller can time the run alone: before
// the run (error record cleared, run prefix on, list re-read and given the
// vector, substitution on) and after it (the record scored).
void prepare_trial(const char* replace_list, const double* params, int n);
// The screen, set aside by prepare_trial while the trial's run prints,
// given back as soon as the run ends: a process that waits for other
// trials before it may score its own must still be heard.
void end_trial_run();
double score_trial(const run_results& results, calib_objective& objective, const double* params,
                   int n);
// The trial's line on the screen: its number, its values under their list
// names, and its cost. A trial's run prints nothing else but its warnings
// and errors, which the trial's own summary keeps.
void print_trial_line(const double* params, int n, double cost);

// Before the first trial: a list that cannot be read or names nothing would
// run every trial on the project's own values, so the driver is refused (-1,
// after a message). Names beyond the n values are warned of once; they get 0.
int check_replace_list(const char* replace_list, int n);

// The trials of one search or sampling run, and why the first failed one
// failed: a run whose every trial failed has no best vector to report.
struct trial_tally {
  int trials = 0;
  int failed = 0;
  std::string first_message;  // the first failed trial's first error message

  // One trial's cost (the failed score marks a failure) and the error message
  // it reported, empty when none.
  void book(double cost, const char* message);
  bool all_failed() const { return trials > 0 && failed == trials; }
  // "Error: all N trials failed; ..." with the first trial's message.
  void report_all_failed() const;
};
