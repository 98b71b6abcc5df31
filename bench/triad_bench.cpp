// The machine's memory bandwidth as the STREAM triad sees it, a = b + s c on
// arrays far larger than the caches, at 1 and 8 threads: the bound the
// per-cell loops are held against (24 bytes moved per element, the write
// allocation not counted).

#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "bench_support.h"

namespace {

constexpr long n = 1L << 24;  // 128 MB an array
constexpr int trials = 7;

double triad_gb_s(int threads, std::vector<double>& a, const std::vector<double>& b,
                  const std::vector<double>& c) {
  omp_set_num_threads(threads);
  double* pa = a.data();
  const double* pb = b.data();
  const double* pc = c.data();
  // The arrays are first touched by the same static split that uses them.
#pragma omp parallel for schedule(static)
  for (long i = 0; i < n; ++i) pa[i] = 0.0;
  double best = 1e30;
  for (int t = 0; t < trials; ++t) {
    const auto start = std::chrono::steady_clock::now();
#pragma omp parallel for schedule(static)
    for (long i = 0; i < n; ++i) pa[i] = pb[i] + 3.0 * pc[i];
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return 24.0 * n / best / 1e9;
}

}  // namespace

int main() {
  std::vector<double> a(n), b(n, 1.0), c(n, 2.0);
  const double one = triad_gb_s(1, a, b, c);
  const double eight = triad_gb_s(8, a, b, c);
  std::printf("triad on %ld doubles an array, best of %d: 1 thread %.2f GB/s, 8 threads %.2f GB/s\n",
              n, trials, one, eight);
  bench::table_row("triad bandwidth, 1 thread", one, "GB/s", "STREAM triad, 24 B an element");
  bench::table_row("triad bandwidth, 8 threads", eight, "GB/s", "STREAM triad, 24 B an element");
  return a[n / 2] == 7.0 ? 0 : 1;
}
