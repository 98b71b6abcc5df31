#pragma once
// The loop engine of one run: it builds the run record, runs the set-up
// phases, then passes of the step routines until a step clears the run flag,
// and always cleans up and records the run time. The order of the work lives
// in the lists it is given: the driver passes the production lists, tests
// pass doubles.

#include <span>

#include "core/run_control.h"

struct model_state;
struct run_results;

// One set-up phase or step routine, with the name it is known by.
struct run_phase {
  const char* name;
  state_routine run;
};

struct run_lists {
  std::span<const run_phase> setup;  // each followed by the error test
  std::span<const run_phase> steps;  // one pass, each followed by the error test
  state_routine write_summary = nullptr;  // after the last pass of a run that was not stopped
  state_routine close_files = nullptr;    // at the end of every run
  run_services services;                  // installed into the run record
};

// Runs one simulation of project_file. A results record (calibration trial)
// forces the OPTIMIZE flag on and receives the event peaks and volumes.
// Returns 0 when the run ended normally (warnings included), 1 when an error
// stopped it, 128 + the signal when an interrupt stopped it (or came before
// it started). The files it writes reach their names only at a normal end
// (see core/output_set.h).
int run_model(const char* project_file, run_results* results, const run_lists& lists);

// The error test that follows every phase and step: a pending code is
// reported; true when the stop flag is set.
bool run_must_stop();

// Work that must go on beside a run in the same process without waiting for
// its end (process 0 of an MPI run keeping the other processes supplied with
// trials while it runs one of its own). It is called on the run's own thread
// after each set-up phase and each pass of the time loop, never inside a
// step, so it must be cheap and leave every run's state alone. nullptr
// removes it.
void set_between_passes(void (*work)());
