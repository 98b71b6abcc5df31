// Thomas algorithm throughput: 10^6 tridiagonal systems of 50 unknowns, on one
// thread and spread over all threads as the soil-column solution does.

#include <omp.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/parallel_context.h"
#include "core/tridiagonal.h"

namespace {

constexpr int systems = 1000000;
constexpr int unknowns = 50;

// Fills system s (a diagonally dominant matrix varying with s), solves it
// and returns its first unknown, so the work cannot be skipped.
double solve_one(int s, double* upper, double* diagonal, double* lower, double* rhs) {
  for (int i = 1; i <= unknowns; ++i) {
    upper[i] = -1.0;
    lower[i] = -1.0;
    diagonal[i] = 2.5 + 1e-6 * (s % 1000);
    rhs[i] = 1.0 + 1e-3 * i;
  }
  solve_tridiagonal(1, unknowns, upper, diagonal, lower, rhs);
  return rhs[1];
}

double run(int threads, double& checksum) {
  omp_set_num_threads(threads);
  double sum = 0.0;
  auto start = std::chrono::steady_clock::now();
#pragma omp parallel reduction(+ : sum)
  {
    std::vector<double> u(unknowns + 1), d(unknowns + 1), l(unknowns + 1), r(unknowns + 1);
#pragma omp for schedule(static)
    for (int s = 0; s < systems; ++s) sum += solve_one(s, u.data(), d.data(), l.data(), r.data());
  }
  checksum = sum;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int, char** argv) {
  settle_thread_waits(argv);
  int all = omp_get_max_threads();
  double serial_sum = 0.0;
  double parallel_sum = 0.0;
  double serial = run(1, serial_sum);
  double parallel = run(all, parallel_sum);
  std::printf("%d tridiagonal systems of %d unknowns (set-up included)\n", systems, unknowns);
  std::printf("  1 thread:   %.3f s, %.2f M systems/s, %.1f ns per unknown\n", serial,
              systems / serial / 1e6, serial / (double(systems) * unknowns) * 1e9);
  std::printf("  %d threads: %.3f s, %.2f M systems/s\n", all, parallel,
              systems / parallel / 1e6);
  std::printf("  checksum %.10g / %.10g\n", serial_sum, parallel_sum);
  return std::fabs(serial_sum - parallel_sum) < 1e-6 * std::fabs(serial_sum) ? 0 : 1;
}
