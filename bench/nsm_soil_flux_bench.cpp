// The nutrient soil fluxes on 250000 cells of three soil layers: every pass
// hands the top-layer amount of the five pools with a water species to
// their accumulators. Measures cell passes per second on one thread and on
// all of them, and checks that both left the same accumulators, bit for bit.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <omp.h>

#include "bench_support.h"
#include "core/parallel_context.h"
#include "quality/contaminant_inputs.h"
#include "quality/contaminant_model.h"
#include "quality/nsm_model.h"
#include "quality/nsm_setup.h"

namespace {

constexpr int cells = 500 * 500;
constexpr int layers = 3;
constexpr int passes = 20;

struct timed {
  double seconds = 0.0;
  contaminant_model model;
};

timed run(const contaminant_model& start, int threads) {
  timed t;
  t.model = start;
  std::vector<double> depth(std::size_t(cells) + 1, 0.01);
  nsm_overland ov;
  ov.allocate(cells, depth.data(), 10.0, 20.0, {}, true);
  ov.set_params(t.model.first_nutrient, t.model, 7.2);
  omp_set_num_threads(threads);
  const auto begin = std::chrono::steady_clock::now();
  for (int n = 0; n < passes; ++n) ov.accumulate_soil_fluxes(t.model.c);
  t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  return t;
}

}  // namespace

int main(int, char** argv) {
  settle_thread_waits(argv);
  contaminant_model m;
  m.soil_transport = 1;
  size_contaminant_arrays(m, 0, cells, layers);
  append_nutrient_block(m, cells);
  for (int p = 0; p < nsm_soil_pools; ++p)
    for (int j = 1; j <= cells; ++j)
      for (int l = 1; l <= layers; ++l)
        m.c.soil_mass[std::size_t(m.first_nutrient + p)].at(j, l) = std::sqrt(p + 1.0 + j) / l;

  const int all = omp_get_max_threads();
  const timed one = run(m, 1);
  const timed many = run(m, all);
  bool same = true;
  for (int k = 1; k <= m.c.constituents; ++k) {
    same = same && bench::same(one.model.c.cell_uptake_mass[std::size_t(k)],
                               many.model.c.cell_uptake_mass[std::size_t(k)]);
    same = same && bench::same(one.model.c.soil_exchange_mass[std::size_t(k)],
                               many.model.c.soil_exchange_mass[std::size_t(k)]);
  }
  const double work = double(cells) * passes;
  std::printf("accumulate_soil_fluxes, %d cells x %d layers x %d passes\n", cells, layers, passes);
  std::printf("  1 thread:   %.3f s, %.3e cell passes/s\n", one.seconds, work / one.seconds);
  std::printf("  %d threads: %.3f s, %.3e cell passes/s\n", all, many.seconds, work / many.seconds);
  std::printf("  accumulators %s\n", same ? "bitwise equal" : "DIFFER");
  return same ? 0 : 1;
}
