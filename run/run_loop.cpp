#include "run/run_loop.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/error_state.h"
#include "run/model_state.h"
#include "core/parallel_context.h"
#include "core/run_interrupt.h"
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

// How far a run got: a run stopped in its set-up has written no result, one
// stopped in its time loop has written part of its results.
enum class run_end { completed, stopped_in_setup, stopped_in_loop };

bool interrupted() { return interrupt_signal() != 0; }

void (*between_passes)() = nullptr;

void work_between_passes() {
  if (between_passes) between_passes();
}

// Runs the set-up phases in order; false when a phase stopped the run or an
// interrupt came in during one.
bool run_setup(model_state& state, std::span<const run_phase> list) {
  for (const run_phase& phase : list) {
    phase.run(state);
    work_between_passes();
    if (run_must_stop() || interrupted()) return false;
  }
  return true;
}

// One pass of the step routines; false when a step stopped the run.
bool run_pass(model_state& state, std::span<const run_phase> list) {
  for (const run_phase& phase : list) {
    phase.run(state);
    if (run_must_stop()) return false;
  }
  return true;
}

run_end run_to_end(model_state& state, const run_lists& lists, double start_ms) {
  if (!run_setup(state, lists.setup)) return run_end::stopped_in_setup;

  if (!state.input.super_quiet) {
    std::printf("total time to init(s): %8.1lf\n", (wall_clock_ms() - start_ms) / 1000.0);
  }
  if (!state.input.super_quiet) std::printf("Running....\n");
  write_summary_text(state, "Running.... \n\n");

  for (;;) {
    if (!run_pass(state, lists.steps)) return run_end::stopped_in_loop;
    state.calib.analyzers.notify_all(1);
    work_between_passes();
    // The run flag is read only here, so the pass that cleared it has run
    // every step, the end-of-event work and the outputs included.
    if (state.run.run_flag != 1) break;
    // An interrupt is looked at only between passes, when every thread of
    // the last step has finished and its outputs are written.
    if (interrupted()) return run_end::stopped_in_loop;
  }
  if (lists.write_summary) lists.write_summary(state);
  if (run_must_stop()) return run_end::stopped_in_loop;
  state.calib.analyzers.notify_all(16);
  return run_end::completed;
}

// The last lines of the summary of a run that stopped in its time loop say
// why, and where its files are.
void note_partial_results(const model_state& state) {
  char text[512];
  if (interrupted()) {
    std::snprintf(text, sizeof text,
                  "\nThe run was interrupted (%s) at the end of step %d, %.4lf h of simulated "
                  "time.\n",
                  interrupt_name(), state.run.step,
                  (state.run.current_time - state.run.start_time) * 24.0);
  } else {
    std::snprintf(text, sizeof text, "\nThe run stopped on the error above.\n");
  }
  print_message(summary_file, text);
  print_message(summary_file,
                "Its files are left under their names with \".partial\" added; the files of "
                "the previous run are untouched.\n");
}

}  // namespace

void set_between_passes(void (*work)()) { between_passes = work; }

bool run_must_stop() {
  if (error_state.code > 0) report_error();
  return error_state.stop_flag != 0;
}

int run_model(const char* project_file, run_results* results, const run_lists& lists) {
  // A batch or calibration that was interrupted starts no further run.
  if (interrupted()) return interrupt_exit_status();
  const double start_ms = wall_clock_ms();
  auto state = std::make_unique<model_state>();
  state->services = lists.services;
  run_outputs = &state->outputs;

  error_state.code = 0;
  error_state.stop_flag = 0;
  error_state.terminate_flag = 0;

  if (results) {
    state->input.optimize = 1;
    state->results = results;
  }

  run_end end = run_end::stopped_in_setup;
  const char* name = project_file ? project_file : "";
  if (std::strlen(name) >= path_capacity) {
    raise_message("Error: the project file name is longer than %d characters.\n", path_capacity - 1);
  } else {
    state->project_file = name;
    end = run_to_end(*state, lists, start_ms);
  }

  // A run stopped by an error calls no analyzer again: what they would test
  // is a state the error left half made.
  if (end == run_end::stopped_in_loop) note_partial_results(*state);
  if (end == run_end::stopped_in_setup && interrupted()) {
    std::printf("\nThe run was interrupted (%s) during its set-up; it leaves no file.\n",
                interrupt_name());
  }
  if (lists.close_files) lists.close_files(*state);
  std::fflush(stdout);
  std::fflush(stderr);
  bool committed = true;
  switch (end) {
    case run_end::completed: committed = state->outputs.commit(); break;
    case run_end::stopped_in_setup: state->outputs.discard(); break;
    case run_end::stopped_in_loop: state->outputs.keep_partial(); break;
  }
  run_outputs = nullptr;
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
  if (end != run_end::completed && interrupted()) return interrupt_exit_status();
  return (end == run_end::completed && error_state.stop_flag == 0 && committed) ? 0 : 1;
}
