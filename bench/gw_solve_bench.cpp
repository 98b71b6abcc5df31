// The aquifer's head solve on a 500 x 500 grid of 25 m cells: 500 m of
// aquifer at 36 cm/h and porosity 0.02, heads held on the grid's edge, a
// well of 0.05 m3/s at the centre, one groundwater step of an hour with the
// default tolerance of 1e-5 m. Prints the sweeps the step takes, the time
// of the step and of one line sweep of the 250000 cells at 1 and 8 threads
// (the best of a few trials), the line sweeps' throughput against the bound
// of the memory bandwidth, and checks that 1 and 8 threads leave the same
// heads bit for bit, after the step and after the line solve alone.
//
// Bytes a cell sweep of the line solver, counted from the code: the forward
// pass reads the right-hand side, both side coefficients, the elimination
// factor (4 doubles) and both side slots (2 ints), writes the forward value;
// the back pass reads the forward value, the upper coefficient and the
// inverse pivot, reads and writes the head: 6 x 8 + 2 x 4 + 2 x 8 + 2 x 8 =
// 88 B. The heads of the lines beside are read from the cache (a line of 500
// cells is 4 kB).

#include <omp.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "core/grid_state.h"
#include "core/parallel_context.h"
#include "subsurface/gw_solve.h"
#include "surface/cell_connectivity.h"
#include "bench_support.h"

namespace {

constexpr int side = 500;
constexpr double dx = 25.0;  // m
constexpr double dt = 3600.0;  // s
constexpr int trials = 3;
constexpr double sweep_bytes = 88.0;  // a cell sweep of the line solver

struct aquifer {
  grid_state grid;
  groundwater_state gw;
  gw_couplings with;
};

std::unique_ptr<aquifer> make_aquifer() {
  auto a = std::make_unique<aquifer>();
  grid_state& g = a->grid;
  g.rows = g.cols = side;
  g.dx = dx;
  g.mask.allocate_grid(side, side);
  int n = 0;
  for (int r = 1; r <= side; ++r)
    for (int c = 1; c <= side; ++c) g.mask[r][c] = ++n;
  g.cells = n;
  for (auto* v : {&g.rightcon, &g.belowcon, &g.abovecon, &g.leftcon})
    v->assign(std::size_t(n) + 1, 0);
  build_neighbor_tables(side, side, g.rightcon, g.belowcon, g.abovecon, g.leftcon,
                        g.mask.table());
  g.elevation.assign(std::size_t(n) + 1, 50.0);
  groundwater_state& gw = a->gw;
  size_groundwater_state(gw, g);
  for (int r = 1; r <= side; ++r)
    for (int c = 1; c <= side; ++c) {
      const int i = g.mask[r][c];
      const bool edge = r == 1 || c == 1 || r == side || c == side;
      gw.gwbound[i] = edge ? 2 : 1;
      gw.bottom_elev[i] = -500.0;
      gw.elevgw[i] = 0.0;
      gw.gw_kx[i] = gw.gw_ky[i] = 36.0 / 100.0 / 3600.0;
      gw.gw_dx[i] = gw.gw_dy[i] = dx;
      gw.gw_porosity[i] = gw.gw_storage[i] = 0.02;
    }
  gw.wells_from_table = 1;
  gw_well well;
  well.rate = 0.05;
  well.cell = g.mask[side / 2][side / 2];
  gw.wells.push_back(well);
  gw.settings.relax = 1.0;
  gw.settings.tolerance = 0.00001;
  return a;
}

struct timing {
  double step_seconds;
  int sweeps;
  std::vector<double> heads;
};

timing one_step(int threads) {
  omp_set_num_threads(threads);
  timing best{1e30, 0, {}};
  for (int t = 0; t < trials; ++t) {
    std::unique_ptr<aquifer> a = make_aquifer();
    double vadose = 0.0;
    const double seconds =
        bench::seconds_of([&] { gw_solve(a->gw, a->grid, a->with, dt, vadose); });
    if (seconds < best.step_seconds) best = {seconds, a->gw.sweeps, a->gw.elevgw};
  }
  return best;
}

struct sweep_timing {
  double seconds;  // a sweep
  std::vector<double> heads;
};

// Seconds per sweep of the line solver alone: the step's last system solved
// again from the step's starting heads, lines along rows (orientation 1) or
// columns.
sweep_timing seconds_per_sweep(int orientation, int threads) {
  omp_set_num_threads(threads);
  std::unique_ptr<aquifer> a = make_aquifer();
  groundwater_state& gw = a->gw;
  double vadose = 0.0;
  gw_solve(gw, a->grid, a->with, dt, vadose);
  sweep_timing best{1e30, {}};
  for (int t = 0; t < trials; ++t) {
    std::vector<double> head = gw.head_start;
    int sweeps = 0;
    const double seconds = bench::seconds_of([&] {
      sweeps = gw_lsor_solve(head.data(), 1.0, side, side, gw.system, gw.settings.tolerance,
                             gw.line, 1, orientation, a->grid.mask);
    });
    if (sweeps > 0 && seconds / sweeps < best.seconds) best = {seconds / sweeps, std::move(head)};
  }
  return best;
}

}  // namespace

int main(int, char** argv) {
  settle_thread_waits(argv);
  const timing one = one_step(1);
  const timing eight = one_step(8);
  const sweep_timing by_rows = seconds_per_sweep(1, 1);
  const sweep_timing by_rows_eight = seconds_per_sweep(1, 8);
  const sweep_timing by_columns = seconds_per_sweep(0, 1);
  std::printf("gw_solve, %d x %d cells, one step of %.0f s, best of %d\n", side, side, dt, trials);
  std::printf("  sweeps per step: %d\n", one.sweeps);
  std::printf("  1 thread : step %.3f s, %.2f ms per sweep\n", one.step_seconds,
              1000.0 * one.step_seconds / one.sweeps);
  std::printf("  8 threads: step %.3f s, %.2f ms per sweep\n", eight.step_seconds,
              1000.0 * eight.step_seconds / eight.sweeps);
  std::printf("  line sweep alone: %.2f ms along rows (%.2f ms on 8 threads), %.2f ms along "
              "columns (target 5 ms)\n",
              1000.0 * by_rows.seconds, 1000.0 * by_rows_eight.seconds,
              1000.0 * by_columns.seconds);
  bench::table_row("groundwater step, 1 thread", one.step_seconds, "s a step", "the sweeps below");
  bench::table_row("groundwater step, 8 threads", eight.step_seconds, "s a step", "speed-up 6.5");
  bench::table_row("groundwater line sweep along rows, 1 thread", 1000.0 * by_rows.seconds, "ms",
                   "aim 5 ms");
  const double cells = double(side) * side;
  bench::loop_figures f;
  f.loop = "groundwater line sweeps, 500 x 500";
  f.unit = "cell sweeps/s";
  f.bytes = sweep_bytes;
  f.one = cells / by_rows.seconds;
  f.eight = cells / by_rows_eight.seconds;
  f.identical = bench::same(one.heads, eight.heads) && bench::same(by_rows.heads, by_rows_eight.heads);
  bench::loop_rows(f);
  return f.identical ? 0 : 1;
}
