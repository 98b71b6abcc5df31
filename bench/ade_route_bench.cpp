// ADE overland routing, scheme 2 (adaptive sub-steps) and scheme 3
// (predictor-corrector), on a 1000 x 1000 tilted plane of 10 m cells: steps
// of 10 s (2 s for scheme 3) from 20 mm of water everywhere, on 1 and 8
// threads, each the best of a few trials (other work on the machine only
// ever slows a run down). Prints cell sub-steps per second (cells x
// sub-steps / wall time; scheme 3 makes one pass a step), the speed-up over
// one thread, the bound of the memory bandwidth, and checks that both
// thread counts leave the same depths and a finite, equal outlet volume.
//
// Bytes a cell sub-step of scheme 2, counted from the code, the far cell's
// values taken from the cache (the cell beside or a row above, 8 kB back):
//   one thread, a pass a direction: the faces read the neighbour index (4 B)
//   and the cell's depth, elevation, retention depth and Manning n (32 B)
//   and write the face flux (8 B); the update reads the up index (4 B),
//   writes the depth it has just read (8 B) and reads and writes the face
//   volume (16 B): 72 B, two directions 144 B a sub-step;
//   a team, both directions in one pass, the second a row behind the first
//   in the cache: the depth read and written once (16 B), the elevation,
//   retention and n read once (24 B), both directions' two indices (16 B),
//   both fluxes written (16 B), both volumes read and written (32 B): 104 B;
//   once a step: the first sub-step writes the depths it starts from (8 B)
//   and does not read the face volumes it writes (16 B less), the last
//   writes the depth change (8 B): 0 B in all.
// Bytes a cell step of scheme 3, each direction in two passes: the predictor
// (the faces' 36 B, the flux copy written, the up index, the predicted depth
// written: 56 B) and the corrector (the faces on the predicted depths, 36 B,
// the flux copy read and the mean flux written, 16 B, the up index, the
// depth read and written: 72 B): 128 B, two directions and the depth change
// of the last written: 264 B.

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "bench_support.h"
#include "core/parallel_context.h"
#include "run/model_state.h"
#include "surface/ade_route.h"
#include "surface/overland_step.h"

namespace {

constexpr int rows = 1000;
constexpr int cols = 1000;
constexpr double dx = 10.0;  // m
constexpr int steps = 30;
constexpr double dt = 10.0;  // s, scheme 2
constexpr double corrector_dt = 2.0;  // s, scheme 3: its one pass a step must stay stable
constexpr int trials = 3;

constexpr double sweep_bytes = 144.0;  // a cell sub-step of scheme 2, one thread
constexpr double team_sweep_bytes = 104.0;  // and on a team
constexpr double step_bytes = 0.0;     // a cell step of scheme 2, outside its sub-steps
constexpr double corrector_bytes = 264.0;  // a cell step of scheme 3

std::unique_ptr<model_state> tilted_plane(int scheme) {
  auto s = bench::tilted_plane(rows, cols, dx);
  const int n = rows * cols;
  surface_state& sf = s->surface;
  sf.retent_dep.assign(n + 1, 0.0);
  sf.dist_rough.assign(n + 1, 0.05);
  alloc_overland_work(*s);
  s->input.settings.overtype = scheme;
  return s;
}

struct timing {
  double seconds;
  long long substeps;  // cell passes a cell makes: sub-steps, or steps for scheme 3
  double outflow;      // m3
  std::vector<double> depth;
};

timing route(int scheme, int threads) {
  omp_set_num_threads(threads);
  timing best{1e30, 0, 0.0, {}};
  for (int t = 0; t < trials; ++t) {
    std::unique_ptr<model_state> s = tilted_plane(scheme);
    double outflow = 0.0;
    const double seconds = bench::seconds_of([&] {
      for (int k = 0; k < steps; ++k) {
        outflow += ade_overland_route(*s, scheme == 2 ? dt : corrector_dt);
        s->surface.sweep_parity = s->surface.sweep_parity == 1 ? 2 : 1;
      }
    });
    if (seconds < best.seconds) {
      const long long passes = scheme == 2 ? s->surface.ade_substeps : steps;
      best = {seconds, passes, outflow, std::move(s->surface.depth)};
    }
  }
  return best;
}

// Whether every thread count left the same numbers.
bool measure(int scheme) {
  const char* name = scheme == 2 ? "ADE overland, 1000 x 1000" : "ADE-PC overland, 1000 x 1000";
  std::printf("%s: scheme %d, %d steps of %.0f s, best of %d\n", name, scheme, steps,
              scheme == 2 ? dt : corrector_dt, trials);
  std::printf("threads  seconds  passes  cell passes/s  speed-up\n");
  const timing one = route(scheme, 1);
  bench::loop_figures f;
  f.loop = name;
  f.unit = scheme == 2 ? "cell sub-steps/s" : "cell steps/s";
  f.bytes = scheme == 2 ? sweep_bytes + step_bytes * steps / double(one.substeps) : corrector_bytes;
  if (scheme == 2) f.bytes_eight = team_sweep_bytes + step_bytes * steps / double(one.substeps);
  f.identical = true;
  if (scheme == 2) {
    f.aim_one = "8e7";
    f.aim_eight = "4e8";
  }
  for (int threads : {1, 8}) {
    const timing t = threads == 1 ? timing{one.seconds, one.substeps, one.outflow, {}}
                                  : route(scheme, threads);
    const double rate = double(rows) * cols * t.substeps / t.seconds;
    std::printf("%7d  %7.3f  %6lld  %13.3e  %8.2f\n", threads, t.seconds, t.substeps, rate,
                one.seconds / t.seconds);
    if (threads == 1) f.one = rate;
    if (threads == 8) f.eight = rate;
    if (threads != 1) {
      f.identical = f.identical && t.substeps == one.substeps && t.outflow == one.outflow &&
                    bench::same(t.depth, one.depth);
    }
  }
  std::printf("outlet volume %.6f m3\n", one.outflow);
  f.identical = f.identical && std::isfinite(one.outflow);
  bench::loop_rows(f);
  return f.identical;
}

}  // namespace

int main(int, char** argv) {
  settle_thread_waits(argv);
  const bool adaptive = measure(2);
  const bool corrected = measure(3);
  // The machine is shared: the figures mean little without its load.
  double load[3] = {0.0, 0.0, 0.0};
  if (getloadavg(load, 3) == 3)
    std::printf("load average %.2f %.2f %.2f over 1, 5 and 15 minutes\n", load[0], load[1],
                load[2]);
  return adaptive && corrected ? 0 : 1;
}
