// Evapotranspiration of one hour on 1000 x 1000 cells, Penman-Monteith at a
// June noon, on 1 and 8 threads. Each call starts the surfaces at the air
// temperature, so every cell's Newton loop takes its full five or so steps of
// two exponentials: the loop is bound by arithmetic, not memory. Prints cells
// per second and the speed-up over one thread, and checks that both thread
// counts leave the same temperatures and rates bit for bit.

#include <omp.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "soil/evapo_trans.h"
#include "bench_support.h"

namespace {

constexpr int cells = 1000 * 1000;
constexpr int repeats = 10;

// Varied grass, crops and bare ground on gentle slopes, some ponded.
struct land {
  std::vector<double> albedo, veg, trans, canopy, sx, sy, depth, factor;
  std::vector<double> ts, residual, pet, aet;
  land()
      : albedo(cells + 1), veg(cells + 1), trans(cells + 1), canopy(cells + 1), sx(cells + 1),
        sy(cells + 1), depth(cells + 1), factor(cells + 1), ts(cells + 1), residual(cells + 1),
        pet(cells + 1), aet(cells + 1) {
    for (int i = 1; i <= cells; ++i) {
      albedo[i] = 0.15 + 0.001 * (i % 101);
      veg[i] = 0.002 * (i % 499);
      trans[i] = 0.5 + 0.05 * (i % 11);
      canopy[i] = 40.0 + i % 97;
      sx[i] = 0.002 * ((i % 41) - 20);
      sy[i] = 0.003 * ((i % 37) - 18);
      depth[i] = i % 29 == 0 ? 0.01 : 0.0;
      factor[i] = 0.7 + 0.003 * (i % 100);
    }
  }
  et_cells view() {
    et_cells c;
    c.count = cells;
    c.albedo = albedo.data();
    c.veg_height = veg.data();
    c.trans_coeff = trans.data();
    c.canopy_resist = canopy.data();
    c.slope_x = sx.data();
    c.slope_y = sy.data();
    c.depth = depth.data();
    c.area_factor = factor.data();
    c.surface_temp = ts.data();
    c.energy_residual = residual.data();
    c.pet = pet.data();
    c.aet = aet.data();
    return c;
  }
};

struct timing {
  double seconds;
  std::vector<double> ts, pet, aet;
};

timing run(int threads) {
  omp_set_num_threads(threads);
  land l;
  et_cells c = l.view();
  et_options o;
  o.latitude = 40.0;
  o.penman = true;
  o.seasonal = true;
  o.area_reduction = true;
  et_weather w;
  w.year = 1999;
  w.month = 6;
  w.day = 21;
  w.hour = 12;
  w.pressure = 1013.0;
  w.temperature = 25.0;
  w.humidity = 50.0;
  w.cloud = 2.0;
  w.wind = 2.0;
  w.radiation = 50.0;
  // The first call also starts the threads.
  evapo_trans(o, w, c, true);
  const auto start = std::chrono::steady_clock::now();
  for (int k = 0; k < repeats; ++k) evapo_trans(o, w, c, true);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return {seconds, l.ts, l.pet, l.aet};
}

using bench::same;

}  // namespace

int main() {
  const timing one = run(1);
  const timing eight = run(8);
  const double work = double(cells) * repeats;
  std::printf("evapo_trans, %d cells x %d hours\n", cells, repeats);
  std::printf("  1 thread : %.3f s, %.3e cells/s\n", one.seconds, work / one.seconds);
  std::printf("  8 threads: %.3f s, %.3e cells/s, speed-up %.2fx\n", eight.seconds,
              work / eight.seconds, one.seconds / eight.seconds);
  bench::table_row("evapotranspiration, 1e6 cells, 1 thread", work / one.seconds, "cells/s", "memory bandwidth");
  bench::table_row("evapotranspiration, 1e6 cells, 8 threads", work / eight.seconds, "cells/s", "speed-up 6.5");
  const bool identical = same(one.ts, eight.ts) && same(one.pet, eight.pet) &&
                         same(one.aet, eight.aet);
  std::printf("  results %s\n", identical ? "bit-identical" : "DIFFER");
  return identical ? 0 : 1;
}
