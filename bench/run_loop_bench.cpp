// The loop's own cost per pass: 10^6 passes of the production steps on a dry
// single event with every process off and the progress line off (QUIET).

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "bench_support.h"
#include "core/parallel_context.h"
#include "run/run_simulation.h"
#include "core/error_state.h"
#include "core/julian.h"
#include "run/model_state.h"
#include "run/run_loop.h"
#include "run/sim_clock.h"

namespace {

constexpr int run_minutes = 16667;  // at dt 1 s: 1 000 021 passes

void configure(model_state& s) {
  run_parameters& p = s.input.params;
  p.timestep = 1.0;
  p.tot_time = run_minutes;
  p.hyd_freq = 1.0;
  p.map_freq = 60;
  p.outslope = 0.01;
  p.gridsize = 30.0;
  p.quiet = 1;
  s.run.num_events = 1;
  s.run.event_starts = {0.0, julian_date(2000, 1, 1, 0, 0, 0.0)};
}

// The event's rain is over before it starts: nothing but the core acts.
void make_dry(model_state& s) {
  s.run.event_data_flag = 3;
  s.run.event_index = 1;
  s.run.event_start_time = event_start(s.run, 1);
}

constexpr run_phase setup[] = {{"configure", configure},
                               {"setup_time_steps", setup_time_steps},
                               {"init_process_clocks", init_process_clocks},
                               {"make_dry", make_dry}};

}  // namespace

int main(int, char** argv) {
  settle_thread_waits(argv);
  // The run appends its time to out_time.out: keep that out of the caller's folder.
  namespace fs = std::filesystem;
  const fs::path old_dir = fs::current_path();
  const fs::path work = fs::temp_directory_path() / ("valto_run_loop_bench_" + std::to_string(getpid()));
  fs::create_directories(work);
  fs::current_path(work);

  run_lists lists = production_lists();
  lists.setup = setup;
  const long passes = run_minutes * 60L + 1;
  const auto start = std::chrono::steady_clock::now();
  const int status = run_model("bench.prj", nullptr, lists);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  fs::current_path(old_dir);
  fs::remove_all(work);
  std::printf("run_loop: %ld passes in %.3f s, %.1f ns per pass (status %d)\n", passes, seconds,
              seconds / passes * 1e9, status);
  bench::table_row("time loop pass, every process off", seconds / passes * 1e9, "ns a pass",
                   "the loop's own cost");
  return status;
}
