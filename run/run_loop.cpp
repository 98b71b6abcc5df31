#include "run/run_loop.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/error_state.h"
#include "run/model_state.h"
#include "core/parallel_context.h"
#include "core/safe_file.h"

namespace {

// Wall-clock milliseconds: processor time would add up every thread's work.
double wall_clock_ms() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void write_summary_text(model_state& state, const char* text) {
  safe_file& summary = state.output.summary;
  if (summary.is_open()) std::fputs(text, summary.stream);
}

// Runs the list in order; false when a phase stopped the run.
bool run_list(model_state& state, std::span<const run_phase> list) {
  for (const run_phase& phase : list) {
    phase.run(state);
    if (run_must_stop()) return false;
  }
  return true;
}

// Set-up and time loop; false when an error stopped the run.
bool run_to_end(model_state& state, const run_lists& lists, double start_ms) {
  if (!run_list(state, lists.setup)) return false;

  if (!state.input.super_quiet) {
    std::printf("total time to init(s): %8.1lf\n", (wall_clock_ms() - start_ms) / 1000.0);
  }
  if (!state.input.super_quiet) std::printf("Running....\n");
  write_summary_text(state, "Running.... \n\n");

  for (;;) {
    if (!run_list(state, lists.steps)) return false;
    state.calib.analyzers.notify_all(1);
    // The run flag is read only here, so the pass that cleared it has run
    // every step, the end-of-event work and the outputs included.
    if (state.run.run_flag != 1) break;
  }
  if (lists.write_summary) lists.write_summary(state);
  if (run_must_stop()) return false;
  state.calib.analyzers.notify_all(16);
  return true;
}

}  // namespace

bool run_must_stop() {
  if (error_state.code > 0) report_error();
  return error_state.stop_flag != 0;
}

int run_model(const char* project_file, run_results* results, const run_lists& lists) {
  const double start_ms = wall_clock_ms();
  auto state = std::make_unique<model_state>();
  state->services = lists.services;

  error_state.code = 0;
  error_state.stop_flag = 0;
  error_state.terminate_flag = 0;

  if (results) {
    state->input.optimize = 1;
    state->results = results;
  }

  bool completed = false;
  const char* name = project_file ? project_file : "";
  if (std::strlen(name) >= path_capacity) {
    raise_message("Error: the project file name is longer than %d characters.\n", path_capacity - 1);
  } else {
    state->project_file = name;
    completed = run_to_end(*state, lists, start_ms);
  }

  // A run stopped by an error calls no analyzer again: what they would test
  // is a state the error left half made.
  if (lists.close_files) lists.close_files(*state);
  std::fflush(stdout);
  std::fflush(stderr);
  state.reset();

  const double run_seconds = (wall_clock_ms() - start_ms) / 1000.0;
  safe_file timing;
  if (timing.open("out_time.out", "a")) {
    std::fprintf(timing.stream, "total time (s): %8.2lf\n", run_seconds);
    timing.close();
  }
  if (parallel.total_threads > 1) {
    std::printf("%d: Run time: %6.2lf(s) \n", parallel.process_number, run_seconds);
  } else {
    std::printf("Run time: %6.2lf(s) \n", run_seconds);
  }
  std::fflush(stdout);
  return (completed && error_state.stop_flag == 0) ? 0 : 1;
}
