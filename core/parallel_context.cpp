#include "core/parallel_context.h"

#include <omp.h>

namespace {

parallel_context start_up_context() {
  parallel_context ctx;
  ctx.total_threads = omp_get_num_procs();
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
