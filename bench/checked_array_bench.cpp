// Cost of the index check of array1d against raw pointers, on the loop shapes
// the model's kernels use: a streaming update, a neighbour gather through
// index arrays (as overland routing reads rightcon and belowcon), a sum, and
// a Manning face flux, the typical per-cell work of a routing kernel. The
// first three are the worst case: one or two flops per checked access.
// Each figure is the best of several trials, in nanoseconds per element.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "bench_support.h"
#include "core/checked_array.h"
#include "core/parallel_context.h"

namespace {

using bench_clock = std::chrono::steady_clock;

struct fields {
  array1d<double> depth, flux, out, elev, rough;
  array1d<int> right, below;
};

void make_fields(fields& f, int n, int columns) {
  f.depth.grow(n);
  f.flux.grow(n);
  f.out.grow(n);
  f.elev.grow(n);
  f.rough.grow(n);
  f.right.grow(n);
  f.below.grow(n);
  for (int i = 1; i <= n; ++i) {
    f.depth[i] = 0.001 * (i % 97);
    f.flux[i] = 0.5 + 0.0001 * (i % 13);
    f.elev[i] = 100.0 - 0.01 * i + 0.003 * (i % 7);
    f.rough[i] = 0.03 + 0.001 * (i % 5);
    f.right[i] = i % columns == 0 ? 0 : i + 1;
    f.below[i] = i + columns <= n ? i + columns : 0;
  }
}

// depth += dt * flux over cells 1..n.
[[gnu::noipa]] void stream_raw(double* depth, const double* flux, int n, double dt) {
  for (int i = 1; i <= n; ++i) depth[i] += dt * flux[i];
}
[[gnu::noipa]] void stream_checked(array1d<double>& depth, const array1d<double>& flux, int n,
                                      double dt) {
  for (int i = 1; i <= n; ++i) depth[i] += dt * flux[i];
}

// out = depth less the mean of the right and lower neighbours' depths.
[[gnu::noipa]] void gather_raw(double* out, const double* depth, const int* right,
                                  const int* below, int n) {
  for (int i = 1; i <= n; ++i) out[i] = depth[i] - 0.5 * (depth[right[i]] + depth[below[i]]);
}
[[gnu::noipa]] void gather_checked(array1d<double>& out, const array1d<double>& depth,
                                      const array1d<int>& right, const array1d<int>& below, int n) {
  for (int i = 1; i <= n; ++i) out[i] = depth[i] - 0.5 * (depth[right[i]] + depth[below[i]]);
}

// Flow across the right face of each cell, m3/s: Manning with the mean
// depth over the face, sign from the water-surface slope (cell size 30 m).
[[gnu::noipa]] void manning_raw(double* q, const double* h, const double* z, const double* n_man,
                                const int* right, int n) {
  const double dx = 30.0;
  for (int i = 1; i <= n; ++i) {
    const int r = right[i];
    const double slope = r > 0 ? ((z[i] + h[i]) - (z[r] + h[r])) / dx : 0.0;
    const double depth = r > 0 ? 0.5 * (h[i] + h[r]) : h[i];
    q[i] = std::copysign(dx / n_man[i] * std::pow(depth, 5.0 / 3.0) * std::sqrt(std::fabs(slope)),
                         slope);
  }
}
[[gnu::noipa]] void manning_checked(array1d<double>& q, const array1d<double>& h,
                                    const array1d<double>& z, const array1d<double>& n_man,
                                    const array1d<int>& right, int n) {
  const double dx = 30.0;
  for (int i = 1; i <= n; ++i) {
    const int r = right[i];
    const double slope = r > 0 ? ((z[i] + h[i]) - (z[r] + h[r])) / dx : 0.0;
    const double depth = r > 0 ? 0.5 * (h[i] + h[r]) : h[i];
    q[i] = std::copysign(dx / n_man[i] * std::pow(depth, 5.0 / 3.0) * std::sqrt(std::fabs(slope)),
                         slope);
  }
}

[[gnu::noipa]] double sum_raw(const double* a, int n) {
  double s = 0.0;
  for (int i = 1; i <= n; ++i) s += a[i];
  return s;
}
[[gnu::noipa]] double sum_checked(const array1d<double>& a, int n) {
  double s = 0.0;
  for (int i = 1; i <= n; ++i) s += a[i];
  return s;
}

// Best time of trials, each running body reps times; nanoseconds per element.
template <class Body>
double best_ns(Body body, int n, int reps) {
  double best = 1e300;
  for (int trial = 0; trial < 7; ++trial) {
    const auto start = bench_clock::now();
    for (int r = 0; r < reps; ++r) body();
    const std::chrono::duration<double, std::nano> took = bench_clock::now() - start;
    best = std::min(best, took.count() / (double(n) * reps));
  }
  return best;
}

void report(const char* kernel, int n, double raw, double checked) {
  std::printf("  %-8s n = %8d   raw %7.3f ns   checked %7.3f ns   overhead %+6.1f %%\n", kernel, n,
              raw, checked, 100.0 * (checked - raw) / raw);
  char what[64];
  std::snprintf(what, sizeof what, "checked array overhead, %s, n = %d", kernel, n);
  bench::table_row(what, 100.0 * (checked - raw) / raw, "%", "raw pointers");
}

}  // namespace

int main(int, char** argv) {
  settle_thread_waits(argv);
  std::printf("Checked array access against raw pointers (best of 7 trials, per element)\n");
  double keep = 0.0;  // printed, so that no loop is optimised away
  for (int n : {4096, 1 << 20}) {
    fields f;
    make_fields(f, n, 64);
    const int reps = std::max(1, (200 << 20) / n / 8);
    const double dt = 1e-6;

    const double stream_r = best_ns([&] { stream_raw(f.depth.data, f.flux.data, n, dt); }, n, reps);
    const double stream_c = best_ns([&] { stream_checked(f.depth, f.flux, n, dt); }, n, reps);
    report("stream", n, stream_r, stream_c);

    const double gather_r = best_ns(
        [&] { gather_raw(f.out.data, f.depth.data, f.right.data, f.below.data, n); }, n, reps);
    const double gather_c =
        best_ns([&] { gather_checked(f.out, f.depth, f.right, f.below, n); }, n, reps);
    report("gather", n, gather_r, gather_c);

    const double sum_r = best_ns([&] { keep += sum_raw(f.out.data, n); }, n, reps);
    const double sum_c = best_ns([&] { keep += sum_checked(f.out, n); }, n, reps);
    report("sum", n, sum_r, sum_c);

    const double manning_r = best_ns(
        [&] { manning_raw(f.out.data, f.depth.data, f.elev.data, f.rough.data, f.right.data, n); },
        n, reps / 8 + 1);
    const double manning_c =
        best_ns([&] { manning_checked(f.out, f.depth, f.elev, f.rough, f.right, n); }, n, reps / 8 + 1);
    report("manning", n, manning_r, manning_c);

    if (f.depth.out_of_range || f.out.out_of_range) std::printf("  unexpected out-of-range flag\n");
  }
  std::printf("  (checksum %g)\n", keep);
  return 0;
}
