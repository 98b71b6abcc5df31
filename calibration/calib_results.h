#pragma once
// The ranked results of calibration trials: each trial's six scores with its
// parameter vector, kept in the order of addition and in one ranking per
// score, and appended to the shared results file "results_all.out".

#include <array>
#include <vector>

struct calib_result {
  double cost = 0.0;        // weighted cost
  double hmle = 0.0;        // heteroscedastic maximum likelihood estimate
  double rmse = 0.0;        // root of the summed squared errors
  double max_peak = 0.0;    // largest simulated peak
  double max_volume = 0.0;  // largest simulated volume
  std::vector<double> params;  // [1..param_count], element 0 unused
  double log_error = 0.0;
  int param_count = 0;
};

class calib_results {
 public:
  enum ranking { by_cost, by_hmle, by_rmse, by_max_peak, by_max_volume, by_log_error };

  // Copies params[1..count] and ranks the result under each score.
  void add(double cost, double hmle, double rmse, double log_error, double max_peak,
           double max_volume, const double* params, int count);

  // Appends the results in max-volume order to path (run prefix and output
  // folder apply); the header goes only into a file that was empty. 0, or -1
  // when the file cannot be opened.
  int write(const char* path) const;

  void clear();

  // Merging the stores of a run group's processes: a group always has one
  // process here, so there is nothing to merge.
  void regroup(int threads_per_run) const;

  int size() const { return static_cast<int>(results_.size()); }
  const calib_result& ranked(ranking r, int k) const { return results_[rankings_[r][k]]; }

 private:
  std::vector<calib_result> results_;              // in the order of addition
  std::array<std::vector<int>, 6> rankings_;       // indices into results_, ascending key
};
