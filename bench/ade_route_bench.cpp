// ADE overland routing (scheme 2) on a 1000 x 1000 tilted plane of 10 m
// cells: 100 steps of 10 s from 20 mm of water everywhere, on 1, 2, 4 and 8
// threads. Prints cell sub-steps per second (cells x sub-steps / wall time)
// and the speed-up over one thread, and checks that every thread count
// leaves the same depths.

#include <omp.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "bench_support.h"
#include "run/model_state.h"
#include "surface/ade_route.h"
#include "surface/overland_step.h"

namespace {

constexpr int rows = 1000;
constexpr int cols = 1000;
constexpr double dx = 10.0;  // m
constexpr int steps = 100;
constexpr double dt = 10.0;  // s

// The plane falls 2 % to the south and 1 % to the east, to the outlet in
// its south-east corner.
std::unique_ptr<model_state> tilted_plane() {
  auto s = bench::tilted_plane(rows, cols, dx);
  const int n = rows * cols;
  surface_state& sf = s->surface;
  sf.retent_dep.assign(n + 1, 0.0);
  sf.dist_rough.assign(n + 1, 0.05);
  alloc_overland_work(*s);
  s->input.settings.overtype = 2;
  return s;
}

struct timing {
  double seconds;
  long long substeps;
  double outflow;  // m3
  std::vector<double> depth;
};

timing route(int threads) {
  omp_set_num_threads(threads);
  std::unique_ptr<model_state> s = tilted_plane();
  double outflow = 0.0;
  const auto start = std::chrono::steady_clock::now();
  for (int k = 0; k < steps; ++k) {
    outflow += ade_overland_route(*s, dt);
    s->surface.sweep_parity = s->surface.sweep_parity == 1 ? 2 : 1;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return {seconds, s->surface.ade_substeps, outflow, std::move(s->surface.depth)};
}

}  // namespace

int main() {
  std::printf("ADE scheme 2, %d x %d cells of %.0f m, %d steps of %.0f s\n", rows, cols, dx, steps,
              dt);
  std::printf("threads  seconds  sub-steps  cell sub-steps/s  speed-up\n");
  const timing one = route(1);
  bool same = true;
  for (int threads : {1, 2, 4, 8}) {
    const timing t = threads == 1 ? timing{one.seconds, one.substeps, one.outflow, {}} : route(threads);
    const double rate = double(rows) * cols * t.substeps / t.seconds;
    std::printf("%7d  %7.3f  %9lld  %16.3e  %8.2f\n", threads, t.seconds, t.substeps, rate,
                one.seconds / t.seconds);
    if (threads == 1)
      bench::table_row("ADE overland, 1000 x 1000, 1 thread", rate, "cell sub-steps/s", "aim 8e7");
    if (threads == 8)
      bench::table_row("ADE overland, 1000 x 1000, 8 threads", rate, "cell sub-steps/s",
                       "aim 4e8, speed-up 6.5");
    if (threads != 1) {
      same = same && t.substeps == one.substeps && t.outflow == one.outflow &&
             std::memcmp(t.depth.data(), one.depth.data(), one.depth.size() * sizeof(double)) == 0;
    }
  }
  std::printf("outlet volume %.6f m3; depths %s on every thread count\n", one.outflow,
              same ? "identical" : "DIFFERENT");
  return same ? 0 : 1;
}
