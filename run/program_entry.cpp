#include "run/program_entry.h"

#include <cstdio>

#include "calibration/montecarlo.h"
#include "calibration/sce_ua.h"
#include "calibration/trial_dealer.h"
#include "core/command_line.h"
#include "run/run_simulation.h"
#include "core/parallel_context.h"
#include "core/run_interrupt.h"
#include "core/safe_file.h"

namespace {

int run_batch(const command_line& cmd, int count) {
  std::printf("VALTO is running in batch mode, and is running %d runs...\n", count);
  int status = 0;
  if (process_count() > 1) {
    // Each run keeps its own index as its file prefix, whichever process
    // makes it.
    const auto order_of = [&](int i) {
      trial_order order;
      order.kind = trial_batch;
      order.index = i;
      order.project = cmd.filename;
      return order;
    };
    deal_trials(count, order_of, [&](int, const trial_outcome& run) {
      if (run.status != 0) status = 1;
    });
    return status;
  }
  for (int i = 0; i < count; ++i) {
    replace_line_index = i;
    run_prefix_flag = 1;
    run_prefix_number = i;
    // A failed run does not stop the batch; it has reported itself, and the
    // batch's status tells a script that not every run succeeded. An
    // interrupt stops the batch.
    const int run_status = run_simulation(cmd.filename, nullptr);
    if (interrupt_signal()) return interrupt_exit_status();
    if (run_status != 0) status = 1;
  }
  return status;
}

int dispatch(const command_line& cmd, int count) {
  switch (cmd.mode) {
    case mode_single:
      parallel.threads_per_run = 1;
      parallel.run_group = 0;
      return run_simulation(cmd.filename, nullptr);
    case mode_sce:
      parallel.threads_per_run = 1;
      parallel.run_group = 0;
      return run_sce_calibration(parallel, cmd.filename);
    case mode_batch:
      parallel.threads_per_run = 1;
      parallel.run_group = 0;
      return run_batch(cmd, count);
    case mode_version:
      print_version();
      return 0;
    case mode_montecarlo:
      parallel.threads_per_run = 1;
      parallel.run_group = 0;
      return run_montecarlo_calibration(parallel, count, cmd.filename);
    case mode_sensitivity:
      parallel.threads_per_run = 1;
      parallel.run_group = 0;
      return run_sensitivity_sampling(parallel, cmd.filename);
    default:
      return 0;
  }
}

// The modes whose trials or runs an MPI run deals out to its processes.
bool dealt_mode(int mode) {
  return mode == mode_sce || mode == mode_batch || mode == mode_montecarlo ||
         mode == mode_sensitivity;
}

}  // namespace

int program_entry(int argc, char** argv) {
  install_interrupt_handlers();
  // Before the banner: the processes of an MPI run but the first are silent.
  start_processes(argc, argv);
  if (argc > 0 && is_web_name(argv[0])) {
    web_mode = 1;
    print_web_head();
  } else {
    fit_threads_to_machine();
    print_banner(parallel.total_threads);
  }

  command_line cmd;
  const int count = parse_command_line(argc, argv, cmd);
  int status = 0;
  if (count >= 0 && process_rank() > 0) {
    // The other processes run what process 0 deals; a mode with nothing to
    // deal is process 0's alone.
    if (dealt_mode(cmd.mode)) status = serve_trials();
  } else if (count >= 0) {
    status = dispatch(cmd, count);
    if (dealt_mode(cmd.mode)) release_processes(status);
    // A calibration whose trials were cut short by an interrupt has no
    // result to stand by, whatever it printed.
    if (interrupt_signal()) status = interrupt_exit_status();
  } else if (count == -2) {
    status = 1;
  }

  if (web_mode) print_web_tail();
  std::fflush(stdout);
  end_processes();
  return status;
}
