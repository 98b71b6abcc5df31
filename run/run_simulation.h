#pragma once
// The run driver: the one place that says in what order a run's set-up
// phases and time-loop steps happen.

#include <span>

#include "run/run_loop.h"

struct model_state;
struct run_results;

// Runs one simulation of project_file with the production lists. Returns 0
// when the run ended normally, 1 when an error stopped it, 130 or 143 when
// SIGINT or SIGTERM did.
int run_simulation(const char* project_file, run_results* results);

// The production lists, for the loop engine and for tests that run parts of
// them with doubles around.
std::span<const run_phase> production_setup_phases();
std::span<const run_phase> production_steps();
run_lists production_lists();

// Phases of the driver's own, exposed for tests.
void reassert_trial_optimize(model_state& state);
void write_startup_header(model_state& state);
void read_analyzers_and_notify(model_state& state);
