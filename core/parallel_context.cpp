#include "core/parallel_context.h"

#include <omp.h>

#include <cstdlib>

namespace {

// One thread per processor, unless the user asked the OpenMP runtime for a
// count through its environment: a run started with OMP_NUM_THREADS=1 to
// time it or to share the machine must not take every processor anyway. The
// runtime has read the variable already (its first level, a bad value left
// at its default).
int start_up_threads() {
  return std::getenv("OMP_NUM_THREADS") != nullptr ? omp_get_max_threads() : omp_get_num_procs();
}

parallel_context start_up_context() {
  parallel_context ctx;
  ctx.total_threads = start_up_threads();
  if (ctx.total_threads < 1) ctx.total_threads = 1;
  omp_set_num_threads(ctx.total_threads);
  return ctx;
}

}  // namespace

// Built during static initialisation so that the banner of main already sees
// the thread count.
parallel_context parallel = start_up_context();

void init_parallel_context() { parallel = start_up_context(); }

void set_thread_count(int n) {
  if (n < 1) return;
  parallel.total_threads = n;
  omp_set_num_threads(n);
}
