// Cost of ts_value as the boundary steps use it: one lookup per step at a
// time that only moves forward, on a long series. The hint should make each
// lookup a comparison or two, whatever the series' length; a lookup that had
// to search from the start would cost thousands. Also shown: the same
// lookups from 8 threads sharing the series (its hint shared), and backward
// lookups, which search from the hint to the end and then from the start.

#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "bench_support.h"
#include "core/parallel_context.h"
#include "input/series.h"

namespace {

using bench_clock = std::chrono::steady_clock;

constexpr int entries = 10000;
constexpr int lookups = 1000000;

double seconds_since(bench_clock::time_point start) {
  return std::chrono::duration<double>(bench_clock::now() - start).count();
}

}  // namespace

int main(int, char** argv) {
  settle_thread_waits(argv);
  time_series_list list;
  time_series* s = ts_new(list);
  s->name = "hourly";
  for (int i = 0; i < entries; ++i) {
    s->time.push_back(2451544.5 + i / 24.0);  // hourly entries, Julian days
    s->value.push_back(10.0 + std::sin(0.01 * i));
  }
  const double first = s->time.front();
  const double span = s->time.back() - first;
  std::vector<double> when(lookups);
  for (int k = 0; k < lookups; ++k) when[k] = first + span * (k + 0.5) / lookups;

  double best_forward = 1e30, best_threads = 1e30, best_backward = 1e30;
  double checksum = 0.0;
  for (int trial = 0; trial < 3; ++trial) {
    s->hint.store(0);
    auto start = bench_clock::now();
    double sum = 0.0;
    for (int k = 0; k < lookups; ++k) sum += ts_value(when[k], s);
    best_forward = std::min(best_forward, seconds_since(start));
    checksum = sum;

    start = bench_clock::now();
    double threaded = 0.0;
#pragma omp parallel for num_threads(8) schedule(static) reduction(+ : threaded)
    for (int k = 0; k < lookups; ++k) threaded += ts_value(when[k], s);
    best_threads = std::min(best_threads, seconds_since(start));
    if (std::fabs(threaded - sum) > 1e-6 * std::fabs(sum)) std::printf("threaded sum differs\n");

    // Backward lookups: 1000 of them, each a full search.
    start = bench_clock::now();
    double back = 0.0;
    for (int k = 0; k < 1000; ++k) back += ts_value(when[lookups - 1 - k * 997], s);
    best_backward = std::min(best_backward, seconds_since(start));
    checksum += back;
  }
  std::printf("ts_value on a series of %d entries, best of 3 (checksum %.9g):\n", entries, checksum);
  std::printf("  %d forward lookups, one thread:    %.4f s, %.1f ns/lookup\n", lookups, best_forward,
              best_forward / lookups * 1e9);
  std::printf("  %d forward lookups, 8 threads:     %.4f s, %.1f ns/lookup\n", lookups, best_threads,
              best_threads / lookups * 1e9);
  std::printf("  1000 backward lookups, one thread: %.4f s, %.1f ns/lookup\n", best_backward,
              best_backward / 1000 * 1e9);
  bench::table_row("series lookup, forward", best_forward / lookups * 1e9, "ns a lookup",
                   "a cached interval");
  return 0;
}
