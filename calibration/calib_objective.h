#pragma once
// The scorer of calibration trials: observed event peaks and volumes with
// their weights, and per trial six scores of the simulated values (weighted
// cost, HMLE, RMSE, log error, largest peak and volume). The weighted cost is
// what the searches minimise; every trial also appends its matches to
// "%d_cost.out" and "%d_obs.log" and its scores to the ranked results.

#include <span>
#include <vector>

#include "calibration/calib_results.h"

// Scores of a failed trial (a simulated value below -1e-16).
constexpr double failed_score = 999999.99;
// The largest simulated value of a trial with no weighted value.
constexpr double no_max_value = -99999.999;

class calib_objective {
 public:
  // Reads the observation file: the event count, then per event peak, peak
  // weight, volume, volume weight. 1, or -1 when the file cannot be opened
  // or is refused: no events, fewer or more event lines than its count, a
  // short event line (code 135), a negative weight or a negative observation
  // that is weighted. A refusal prints its message, with file and line, and
  // sets refused.
  int read_observations(const char* path);

  // Scores one trial. The simulated arrays are 1-based and read at 1..n; an
  // event beyond their end scores as failed. An empty span is a missing array.
  double evaluate(std::span<const double> sim_peaks, std::span<const double> sim_volumes,
                  int process_number, int param_count, const double* params);

  // After every trial: the ranked results to "results_all.out", then emptied.
  void finish(int process_number, int group_number, int partition_index, int threads_per_run,
              int run_count, int runs_per_process);

  // The single scores; each may be called alone.
  double weighted_cost(std::span<const double> sim_peaks, std::span<const double> sim_volumes,
                       int process_number);
  double rmse_of(std::span<const double> sim_peaks, std::span<const double> sim_volumes);
  double log_error_of(std::span<const double> sim_peaks, std::span<const double> sim_volumes);
  double max_sim_peak(std::span<const double> sim_peaks) const;
  double max_sim_volume(std::span<const double> sim_volumes) const;
  double max_weighted(std::span<const double> sim, const std::vector<double>& weights) const;
  double hmle_of(std::span<const double> sim_peaks, std::span<const double> sim_volumes) const;
  void write_obs_log(std::span<const double> sim_peaks, std::span<const double> sim_volumes,
                     int process_number) const;

  // Observed peak / observed volume over all events, each maximum from -1.
  double volume_ratio_of() const;

  // Observations set directly (element 0 unused in each), for drivers and
  // tests that build them in code.
  void set_observations(std::vector<double> peaks, std::vector<double> peak_weights,
                        std::vector<double> volumes, std::vector<double> volume_weights);

  double hmle = 0.0;
  double rmse = 0.0;
  double log_error = 0.0;
  double max_peak = 0.0;
  double max_volume = 0.0;
  double cost = 0.0;
  std::vector<double> obs_peaks;      // [1..event_count]
  std::vector<double> obs_volumes;    // [1..event_count]
  std::vector<double> peak_weights;   // [1..event_count]
  std::vector<double> volume_weights; // [1..event_count]
  int event_count = 0;
  double volume_ratio = 1.0;
  calib_results results;
  bool refused = false;  // the last observation file read was opened but refused
};

// The exponent and condition of the HMLE, apart for tests: the golden-section
// search on [a, b] for the abscissa of the smallest |f|.
template <class F>
double hmle_golden_section(F&& f, double a, double b);

// The lambda the HMLE settles on for the observed and simulated values given.
double hmle_lambda(const std::vector<double>& observed, const std::vector<double>& simulated);

template <class F>
double hmle_golden_section(F&& f, double a, double b) {
  constexpr double c1 = 0.381966012;
  constexpr double c2 = 0.618033988;
  double x1 = a + c1 * (b - a);
  double x2 = a + c2 * (b - a);
  double best_x = a;
  double best = f(a);
  const double f1_first = f(x1);
  const double f2_first = f(x2);
  const double fb = f(b);
  double f1 = f1_first;
  double f2 = f2_first;
  if (f1 < best) { best = f1; best_x = x1; }
  if (f2 < best) { best = f2; best_x = x2; }
  if (fb < best) { best = fb; best_x = b; }
  while (b - a > 1e-6) {
    double x_new;
    double f_new;
    if (f1 <= f2) {
      b = x2;
      x2 = x1;
      f2 = f1;
      x1 = a + c1 * (b - a);
      x_new = x1;
      f_new = f1 = f(x1);
    } else {
      a = x1;
      x1 = x2;
      f1 = f2;
      x2 = a + c2 * (b - a);
      x_new = x2;
      f_new = f2 = f(x2);
    }
    if (f_new < best) {
      best = f_new;
      best_x = x_new;
    }
  }
  return best_x;
}
