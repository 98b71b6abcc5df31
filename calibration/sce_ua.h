#pragma once
// The shuffled complex evolution search (SCE-UA) and the -c calibration it
// drives: a population drawn in the parameter box is split into complexes,
// each evolves by reflection, contraction and random points on sub-complexes
// chosen with a trapezoidal probability, and the complexes are shuffled back
// into one sorted population until a trial limit, a stalled criterion or a
// converged population ends the search.

#include <memory>
#include <string>
#include <vector>

#include "calibration/calib_objective.h"
#include "calibration/run_cost_callback.h"
#include "core/safe_file.h"

struct parallel_context;

struct sce_optimizer {
  safe_file log_file;             // "sce_log_file.txt", opened at the first logged point
  int log_failed = 0;             // 1: the log could not be opened; nothing more is logged
  std::string project_path;       // the three path lines of the input file
  std::string replace_path;
  std::string obs_path;
  int output_open = 0;            // 1 once the output file was asked for
  safe_file output_file;          // "sce_output.out"
  int ready = 0;                  // 1: input and output usable
  calib_cost_function cost_callback;
  trial_tally tally;

  int nopt = 0;      // parameters
  int maxn = 0;      // largest number of trials
  int kstop = 0;     // shuffling loops over which the criterion must change
  int iseed = 0;     // seed of the uniform generator (0 means 3737)
  int ngs = 0;       // complexes
  int npg = 0;       // points per complex
  int nps = 0;       // points per sub-complex
  int nspl = 0;      // evolution steps per complex and shuffling loop
  int mings = 0;     // smallest number of complexes
  int iniflg = 0;    // 1: the first point is the start vector
  int iprint = 0;    // 1: the population after every loop to the output file
  int ideflt = 0;    // 0: algorithm settings by default, 1: from the file
  double pcento = 0; // fraction by which the criterion must change in kstop loops
  std::vector<double> start, lower, upper;  // [1..nopt]
  std::vector<double> best_point;           // [1..nopt], best vector found
  std::unique_ptr<calib_objective> objective;

  std::vector<double> xmax, xmin, xmean;  // [1..nopt], spread of the population
  int random_state = 0;                   // state of sce_ran1

  // Working values of one search.
  std::vector<double> range;  // [1..nopt], upper - lower
  std::vector<double> stdx;   // [1..nopt], normalised standard deviations
  double bestf = 0.0;         // best cost so far
  double gnrng = 0.0;         // normalised geometric range of the population
  int icall = 0;              // trial counter
  int loops = 0;              // shuffling loops run by the last search
};

// The uniform generator: multiplicative congruential with a 32-entry
// shuffle; a state at or below 0 restarts it. The shuffle table and its kept
// output are process-wide; the state belongs to the caller.
double sce_ran1(int& state);
// Normal deviates by the polar method, two per pair of uniform numbers; the
// second is kept for the next call.
double sce_gasdev(int& state);
// Forgets a kept normal deviate, so that a seed gives the same draws in any
// process.
void sce_clear_gasdev();

// Reads and checks the input file and opens the output file; the optimiser
// is ready when both went well.
void sce_init(sce_optimizer& opt, const char* input_path, const char* output_path);
int scein(sce_optimizer& opt, safe_file& input);
int sce_check_input(sce_optimizer& opt);
// The objective from the observation file; -1 after its message.
int sce_create_objective(sce_optimizer& opt);

// The search; the trial counter at its end, or -1 when it cannot run.
int sceua(sce_optimizer& opt);

// Sorts points (rows of n + 1 values, [1..count]) and their costs ascending.
void sce_sort_population(std::vector<std::vector<double>>& x, std::vector<double>& xf, int count);

// The -c mode: the search on the input file, then the best vector reported
// and written to "sce_best.out". 0 when the search ran, 1 when it could not.
int run_sce_calibration(parallel_context& context, const char* input_path);
