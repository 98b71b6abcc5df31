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

namespace {

// Processors that other work holds at this moment. The count at one instant
// may catch a task that runs only for a moment: the least of three looks a
// millisecond apart counts only work that holds its processor, and costs a
// short run no more than it can see. -1 where the count cannot be read.
int busy_processors_now() {
  int least = 0;
  for (int look = 0; look < 3; ++look) {
    if (look > 0) {
      const timespec pause{0, 1000000};
      nanosleep(&pause, nullptr);
    }
    const int now = runnable_now();
    if (now <= 0) return -1;
    least = look == 0 ? now : std::min(least, now);
  }
  return std::clamp(least - 1, 0, std::max(1, omp_get_num_procs()));  // less this thread
}

// What the program hands to its own image as it starts it again: that
// image's process number (execv keeps it) and the processors seen busy, so
// that the run does not look a second time (on a busy machine each look's
// short sleeps can wait milliseconds for a processor). A process that finds
// another number inherited the words from a program that started it.
constexpr const char* waits_handed_down = "VALTO_THREAD_WAITS";

// Processors seen busy before this image started (at most the processors),
// -1 where none were handed down; set by settle_thread_waits.
int busy_handed_down = -1;

int busy_processors_at_start() {
  return busy_handed_down >= 0 ? busy_handed_down : busy_processors_now();
}

}  // namespace

int fit_threads_to_machine() {
  if (parallel.count_given) return 0;
  const int busy = busy_processors_at_start();
  if (busy < 0) return 0;
  const int processors = std::max(1, omp_get_num_procs());
  parallel.busy_processors = busy;
  const int free = std::max(1, processors - busy);
  if (free < parallel.total_threads) {
    parallel.total_threads = free;
    omp_set_num_threads(free);
  }
  return busy;
}

// Spins of an idle OpenMP thread before it sleeps, at about 20 ns a spin.
// Where the run's threads find every processor they need free, a spin of
// some milliseconds keeps a team together from one region and barrier to
// the next: on an idle 8-core machine the overland routers' teams route 1.2
// to 1.4 times as fast as with the short spin, since each of their several
// barriers a sub-step would otherwise wake sleeping threads. Where the
// machine already runs other work that leaves fewer processors than the
// run's threads, spinning threads take processors that work needs (the
// runtime's default then starves the working threads), and sleeping at once
// makes every team start and barrier cost a wake-up of tens to a hundred
// microseconds; a spin about as long as one wake-up lets go of them soon.
constexpr const char* free_machine_spin_count = "100000";
constexpr const char* busy_machine_spin_count = "1000";

void settle_thread_waits(char** argv) {
#if defined(__linux__)
  if (const char* handed = std::getenv(waits_handed_down)) {
    long pid = -1, busy = -1;
    const bool read = std::sscanf(handed, "%ld %ld", &pid, &busy) == 2;
    unsetenv(waits_handed_down);
    if (read && pid == long(getpid())) {
      // The runtime has read the spin it was started with; programs this
      // one starts choose their own.
      unsetenv("GOMP_SPINCOUNT");
      busy_handed_down = busy < 0 ? -1 : int(std::min<long>(busy, std::max(1, omp_get_num_procs())));
      return;
    }
    // Another process's words: whatever wait is set beside them is the
    // user's.
  }
  if (std::getenv("OMP_WAIT_POLICY") != nullptr || std::getenv("GOMP_SPINCOUNT") != nullptr) return;
  // The threads the run will take: the user's count, else every processor
  // the other work leaves free, as fit_threads_to_machine will find them. A
  // run on one thread forms no team, and needs no look.
  const bool single = parallel.count_given && parallel.total_threads <= 1;
  const int processors = std::max(1, omp_get_num_procs());
  const int busy = single ? -1 : busy_processors_now();
  const int threads = parallel.count_given ? parallel.total_threads
                                           : std::max(1, processors - std::max(busy, 0));
  const bool room = busy >= 0 && busy + threads <= processors;
  char handed[48];
  std::snprintf(handed, sizeof handed, "%ld %d", long(getpid()), busy);
  if (setenv("GOMP_SPINCOUNT", room ? free_machine_spin_count : busy_machine_spin_count, 1) != 0 ||
      setenv(waits_handed_down, handed, 1) != 0) {
    unsetenv("GOMP_SPINCOUNT");
    return;
  }
  execv("/proc/self/exe", argv);
  // The image could not be started again: the run goes on with the
  // runtime's own waits, and the words are taken back.
  unsetenv("GOMP_SPINCOUNT");
  unsetenv(waits_handed_down);
#else
  (void)argv;
#endif
}
