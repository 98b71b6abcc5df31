#pragma once
// Monte Carlo calibration (-m) and sensitivity sampling (-s): parameter
// vectors drawn uniformly between per-parameter bounds, each scored by a
// model run, every run logged, and the vector of the smallest absolute cost
// reported.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "calibration/calib_objective.h"
#include "calibration/run_cost_callback.h"
#include "core/safe_file.h"

struct parallel_context;

// Paths of the input file hold at most this many characters, terminator
// included; a longer one is refused.
constexpr int montecarlo_path_capacity = 200;

// The C standard's example generator: the same draws from a seed on every
// platform, 0 to 32767.
struct portable_random {
  uint32_t next = 1;
  void seed(uint32_t s) { next = s; }
  int draw() {
    next = next * 1103515245u + 12345u;
    return static_cast<int>((next / 65536u) % 32768u);
  }
};

class montecarlo {
 public:
  montecarlo(int run_count, const char* input_path, parallel_context& context);
  virtual ~montecarlo();
  montecarlo(const montecarlo&) = delete;
  montecarlo& operator=(const montecarlo&) = delete;

  // 1 when the input file was read.
  virtual int read_input(const char* input_path);
  virtual void draw_parameters();

  // The runs: 0 when the input was not read (after a message), else 1.
  int run();
  // The runs dealt out to the processes of an MPI run; the files as run().
  int run_dealt();
  // Trial i's cost and first error message: tallied, logged, ranked.
  void book_trial(int i, double cost, const char* message);
  void report_best();
  void log_run(double cost);

  int active = 0;        // 1: partition 0 draws, logs and reports
  int group_number = 0;  // run group, in the log file's name
  parallel_context& context;
  calib_objective objective;
  safe_file log_file;    // "log_file_p%d.log"
  std::string project_path;
  std::string replace_path;
  std::string obs_path;
  int run_count = 0;
  int param_count = 0;
  std::vector<double> lower, upper;  // [1..param_count]
  int input_read = 0;
  std::vector<double> current;  // [0..param_count], element 0 is 0
  std::vector<double> best;     // [0..param_count]
  double best_cost = 0.0;
  calib_cost_function cost_callback;
  trial_tally tally;

  int seed_given = 0;  // 1: line 4 gave the generator's seed
  uint32_t seed = 0;   // the seed the generator started from
  portable_random random;
};

// The -m mode: runs / threads per run trials. 0 when the runs were made, 1
// when the input could not be used.
int run_montecarlo_calibration(parallel_context& context, int runs, const char* input_path);

// The -s mode: 500 trials of the same kind.
int run_sensitivity_sampling(parallel_context& context, const char* input_path);
