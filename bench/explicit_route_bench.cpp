// The explicit overland router (scheme 1) on a 1000 x 1000 tilted plane of
// 10 m cells: steps of 10 s from 20 mm of water everywhere, on 1 and 8
// threads, each the best of a few trials. Prints cell sub-steps per second
// and the bound of the memory bandwidth, and checks that both thread counts
// leave the same depths, face flows and outlet volume.
//
// Bytes a cell sub-step, counted from the code, the neighbour's values taken
// from the cache: one pass routes both faces of a cell and updates its depth.
//   reads the four neighbour indices (16 B), the retention depth (the face
//   test and the upstream depth), both bed slopes and the Manning n
//   (4 x 8 B), reads and writes the depth (16 B) and writes both face flows
//   (16 B); the upstream faces the update reads were written a row or less
//   before and come from the cache: 16 + 32 + 16 + 16 = 80 B;
//   once a call: the first sub-step writes the depths of the start to the
//   saved copy (8 B), and the last turns the face flows into m3/s while they
//   are still in the cache (0 B), shared among the call's sub-steps.

#include <omp.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "bench_support.h"
#include "core/parallel_context.h"
#include "run/model_state.h"
#include "surface/cell_connectivity.h"
#include "surface/explicit_route.h"
#include "surface/overland_step.h"

namespace {

constexpr int rows = 1000;
constexpr int cols = 1000;
constexpr double dx = 10.0;  // m
constexpr int steps = 20;
constexpr double dt = 10.0;  // s
constexpr int trials = 3;

constexpr double substep_bytes = 80.0;
constexpr double call_bytes = 8.0;

std::unique_ptr<model_state> tilted_plane() {
  auto s = bench::tilted_plane(rows, cols, dx);
  const int n = rows * cols;
  grid_state& g = s->grid;
  g.slope_x.assign(n + 1, 0.0);
  g.slope_y.assign(n + 1, 0.0);
  fill_cell_slopes(n, dx, g.elevation, g.rightcon, g.belowcon, g.slope_x, g.slope_y);
  surface_state& sf = s->surface;
  sf.retent_dep.assign(n + 1, 0.0);
  sf.dist_rough.assign(n + 1, 0.05);
  alloc_overland_work(*s);
  s->input.settings.overtype = 1;
  return s;
}

struct timing {
  double seconds;
  long long substeps;
  double outflow;  // m3
  std::vector<double> depth, flux_x, flux_y;
};

timing route(int threads) {
  omp_set_num_threads(threads);
  timing best{1e30, 0, 0.0, {}, {}, {}};
  for (int t = 0; t < trials; ++t) {
    std::unique_ptr<model_state> s = tilted_plane();
    double outflow = 0.0;
    const double seconds = bench::seconds_of([&] {
      for (int k = 0; k < steps; ++k) outflow += explicit_overland_route(*s, dt);
    });
    surface_state& sf = s->surface;
    if (seconds < best.seconds)
      best = {seconds, sf.ex_substeps, outflow, std::move(sf.depth), std::move(sf.flux_x),
              std::move(sf.flux_y)};
  }
  return best;
}

}  // namespace

int main(int, char** argv) {
  settle_thread_waits(argv);
  std::printf("explicit overland, %d x %d cells of %.0f m, %d steps of %.0f s, best of %d\n", rows,
              cols, dx, steps, dt, trials);
  const timing one = route(1);
  const timing eight = route(8);
  const double cells = double(rows) * cols;
  std::printf("  %lld sub-steps; 1 thread %.3f s, 8 threads %.3f s; outlet volume %.6f m3\n",
              one.substeps, one.seconds, eight.seconds, one.outflow);
  bench::loop_figures f;
  f.loop = "explicit overland, 1000 x 1000";
  f.unit = "cell sub-steps/s";
  f.bytes = substep_bytes + call_bytes * steps / double(one.substeps);
  f.one = cells * one.substeps / one.seconds;
  f.eight = cells * eight.substeps / eight.seconds;
  f.identical = one.substeps == eight.substeps && one.outflow == eight.outflow &&
                bench::same(one.depth, eight.depth) && bench::same(one.flux_x, eight.flux_x) &&
                bench::same(one.flux_y, eight.flux_y);
  bench::loop_rows(f);
  // The machine is shared: the figures mean little without its load.
  double load[3] = {0.0, 0.0, 0.0};
  if (getloadavg(load, 3) == 3)
    std::printf("  load average %.2f %.2f %.2f over 1, 5 and 15 minutes\n", load[0], load[1],
                load[2]);
  return f.identical ? 0 : 1;
}
