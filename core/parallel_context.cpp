#include "core/parallel_context.h"

#include <omp.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

// One thread per processor, unless the user asked the OpenMP runtime for a
// count through its environment: a run started with OMP_NUM_THREADS=1 to
// time it or to share the machine must not take every processor anyway. The
// runtime has read the variable already (its first level, a bad value left
// at its default).
bool count_in_environment() {
  const char* given = std::getenv("OMP_NUM_THREADS");
  return given != nullptr && given[0] >= '1' && given[0] <= '9';
}

parallel_context start_up_context() {
  parallel_context ctx;
  ctx.count_given = count_in_environment();
  ctx.total_threads = ctx.count_given ? omp_get_max_threads() : omp_get_num_procs();
  if (ctx.total_threads < 1) ctx.total_threads = 1;
  omp_set_num_threads(ctx.total_threads);
  return ctx;
}

// Runnable tasks of the whole machine, this thread among them, as the
// kernel counts them at this instant (the fourth field of /proc/loadavg,
// "runnable/all"); 0 where it cannot be read.
int runnable_now() {
  std::FILE* f = std::fopen("/proc/loadavg", "r");
  if (f == nullptr) return 0;
  double one = 0.0, five = 0.0, fifteen = 0.0;
  int runnable = 0, all = 0;
  const int got = std::fscanf(f, "%lf %lf %lf %d/%d", &one, &five, &fifteen, &runnable, &all);
  std::fclose(f);
  return got == 5 ? runnable : 0;
}

}  // namespace

// Built during static initialisation so that the banner of main already sees
// the thread count.
parallel_context parallel = start_up_context();

void init_parallel_context() { parallel = start_up_context(); }

void set_thread_count(int n) {
  if (n < 1) return;
  parallel.total_threads = n;
  parallel.count_given = true;
  omp_set_num_threads(n);
}

int fit_threads_to_machine() {
  if (parallel.count_given) return 0;
  // The count at one instant may catch a task that runs only for a moment:
  // the least of three looks a millisecond apart counts only work that holds
  // its processor, and costs a short run no more than it can see.
  int least = 0;
  for (int look = 0; look < 3; ++look) {
    if (look > 0) {
      const timespec pause{0, 1000000};
      nanosleep(&pause, nullptr);
    }
    const int now = runnable_now();
    if (now <= 0) return 0;
    least = look == 0 ? now : std::min(least, now);
  }
  const int processors = std::max(1, omp_get_num_procs());
  const int busy = std::clamp(least - 1, 0, processors);  // less this thread
  parallel.busy_processors = busy;
  const int free = std::max(1, processors - busy);
  if (free < parallel.total_threads) {
    parallel.total_threads = free;
    omp_set_num_threads(free);
  }
  return busy;
}

// Spins of an idle OpenMP thread before it sleeps. The runtime's default
// (some milliseconds of spinning) starves the working threads of a machine
// that runs other work, and sleeping at once makes every team start and
// barrier cost a wake-up of tens to a hundred microseconds; a spin about as
// long as one wake-up keeps a team that holds its processors together and
// lets go of them soon on a busy machine.
constexpr const char* idle_spin_count = "1000";

void settle_thread_waits(char** argv) {
#if defined(__linux__)
  if (std::getenv("OMP_WAIT_POLICY") != nullptr || std::getenv("GOMP_SPINCOUNT") != nullptr) return;
  if (setenv("GOMP_SPINCOUNT", idle_spin_count, 1) != 0) return;
  execv("/proc/self/exe", argv);
  // The image could not be started again: the run goes on with the
  // runtime's own waits, and the variable is taken back.
  unsetenv("GOMP_SPINCOUNT");
#else
  (void)argv;
#endif
}
