#pragma once
// Trials spread over the processes of an MPI run. Process 0 draws, deals each
// trial to a process as it becomes free (trials take uneven time), runs
// trials of its own and goes on dealing while they run (between the passes
// of their time loops), gathers what the trials give back and hands it on in
// trial order, so that every results file is written as one process writes
// it. The other processes only run the trials dealt to them.
// In a build without MPI, or a run of one process, there is one process and
// nothing is dealt.

#include <functional>
#include <string>
#include <vector>

enum trial_kind { trial_calibration = 1, trial_batch = 2 };

// What a process needs to run one trial.
struct trial_order {
  int kind = trial_calibration;
  int index = 0;               // trial number from 0; a batch run's index
  std::vector<double> params;  // [0..n], element 0 unused (calibration)
  std::string project;         // project file
  std::string replace_list;    // replacement list (calibration)
};

// What one trial gave back.
struct trial_outcome {
  int status = 0;               // 0 the run ended normally, 1 an error stopped it
  std::vector<double> peaks;    // the trial's results record, as it is scored
  std::vector<double> volumes;
  std::string message;          // the trial's first error message, empty when none
  int process = 0;              // the process that ran it
};

// Starts MPI when an MPI launcher started the program (a plain start, even
// of an MPI build, stays one process without MPI). Every process but 0 then
// writes nothing to the screen, and each runs one thread unless
// OMP_NUM_THREADS or the trial's NUM_THREADS card says otherwise.
void start_processes(int& argc, char**& argv);
void end_processes();
int process_count();
int process_rank();

// Runs one trial in this process with its own run number and file prefix.
trial_outcome run_trial_order(const trial_order& order);

// Process 0: trials 0..count-1, order_of(i) giving trial i; done(i, outcome)
// is called for each in trial order. 0, or 1 after a message naming the
// trials the processes held when the run was stopped (a process died); the
// trials that had finished are handed on first.
int deal_trials(int count, const std::function<trial_order(int)>& order_of,
                const std::function<void(int, const trial_outcome&)>& done);

// The other processes: run the trials dealt until process 0 ends the mode;
// returns the status process 0 gave.
int serve_trials();

// Process 0 at the end of a mode: the other processes leave serve_trials
// with status.
void release_processes(int status);
