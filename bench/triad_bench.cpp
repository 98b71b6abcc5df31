// The machine's memory bandwidth as the STREAM triad sees it, a = b + s c on
// arrays far larger than the caches, at 1 and 8 threads: the bound the
// per-cell loops are held against (24 bytes moved per element, the write
// allocation not counted). `make bench` runs it first and hands its figures
// to the other benchmarks.

#include <cstdio>

#include "bench_support.h"
#include "core/parallel_context.h"

namespace {

constexpr long n = 1L << 24;  // 128 MB an array
constexpr int trials = 20;

}  // namespace

int main(int, char** argv) {
  settle_thread_waits(argv);
  const double one = bench::triad_gb_s(1, n, trials);
  const double eight = bench::triad_gb_s(8, n, trials);
  std::printf("triad on %ld doubles an array, best of %d: 1 thread %.2f GB/s, 8 threads %.2f GB/s\n",
              n, trials, one, eight);
  bench::table_row("triad bandwidth, 1 thread", one, "GB/s", "STREAM triad, 24 B an element");
  bench::table_row("triad bandwidth, 8 threads", eight, "GB/s", "STREAM triad, 24 B an element");
  return one > 0.0 && eight > 0.0 ? 0 : 1;
}
