// The Richards solver on 100,000 columns of 50 nodes: intervals of 30 s,
// repeated after a first one, on 1 and 8 threads, the best of two trials.
// Half the cells are ponded 1 cm, so both boundaries and their sub-steps are
// in the mix. Prints node intervals per second, the speed-up over one thread
// and the bound of the memory bandwidth, and checks that both thread counts
// leave the same columns bit for bit.
//
// Bytes a node interval, counted from the code: the column's head, content,
// conductivity and capacity rows are read and written (4 x 16 B), its flux
// and source rows written before they are read (2 x 8 B), its node size,
// saturated conductivity, saturated and residual contents and the four
// Brooks-Corey rows read (8 x 8 B): 144 B a slot. (The wilting and field
// contents are read only for the root uptake of long-term runs.) A row holds
// 52 slots for 50 nodes, and the cell's own values (depth, sub-step,
// boundary, node count, the infiltrated, drained and upward totals: some
// 128 B) are shared by its 50 nodes: 144 x 52 / 50 + 128 / 50 = 152 B. A
// column (14 rows of 52 doubles, under 6 kB) stays in the cache through the
// interval's sub-steps and head iterations, each a tridiagonal solve with
// three powers a node, so the loop is held by its arithmetic, not by memory.

#include <omp.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "core/parallel_context.h"
#include "run/model_state.h"
#include "soil/richards_soil.h"
#include "bench_support.h"

namespace {

constexpr int cells = 100000;
constexpr int repeats = 3;
constexpr int trials = 2;
constexpr double node_bytes = 152.0;
constexpr double dt = 30.0;  // s

// A Brooks-Corey loam of 15 + 15 + 19 cm in 1 cm nodes: 50 nodes.
richards_soil_type loam(int id, double theta_i) {
  richards_soil_type t;
  t.id = id;
  const double depth[4] = {0.0, 15.0, 15.0, 19.0};
  for (int l = 1; l <= 3; ++l) {
    t.ks[l] = 1.32 / l;
    t.thetas[l] = 0.463;
    t.thetar[l] = 0.027;
    t.thetai[l] = theta_i;
    t.thetawp[l] = 0.10;
    t.thetafc[l] = 0.30;
    t.depth[l] = depth[l];
    t.dz[l] = 1.0;
    t.lam[l] = 0.252;
    t.bp[l] = -11.15;
  }
  richards_node_counts(t, 0);
  return t;
}

std::unique_ptr<model_state> columns() {
  auto s = std::make_unique<model_state>();
  s->grid.cells = cells;
  s->grid.dx = 10.0;
  s->run.dt = dt;
  richards_soil& rs = s->soil.richards;
  rs.family = soil_family_brooks;
  for (int k = 0; k < 4; ++k) rs.types.push_back(loam(k + 1, 0.15 + 0.05 * k));
  rs.soil_type.assign(cells + 1, 0);
  rs.numcells.assign(cells + 1, 0);
  for (int c = 1; c <= cells; ++c) {
    rs.soil_type[c] = c % 4;
    rs.numcells[c] = rs.types[c % 4].n3;
  }
  rs.row = rs.types[0].n3 + 2;
  alloc_richards_soil(rs, cells);
  alloc_richards_work(rs, omp_get_max_threads());
  richards_initial_volumes(*s);
  s->surface.depth.assign(cells + 1, 0.0);
  s->soil.yes_exfil.assign(cells + 1, 0);
  for (std::vector<double>* v : {&s->soil.cum_inf, &s->soil.inf_rate, &s->soil.deep_perc,
                                 &s->soil.direct_evap})
    v->assign(cells + 1, 0.0);
  for (int c = 1; c <= cells; ++c) {
    rs.bound_type[c] = 1;
    rs.dtr[c] = dt / 3600.0;
    s->surface.depth[c] = c % 2 ? 0.01 : 0.0;
  }
  return s;
}

struct timing {
  double seconds;
  std::vector<double> phead, theta, depth;
};

timing run(int threads) {
  omp_set_num_threads(threads);
  timing best{1e30, {}, {}, {}};
  for (int t = 0; t < trials; ++t) {
    std::unique_ptr<model_state> s = columns();
    richards_solve(*s, dt);  // starts the threads
    const double seconds = bench::seconds_of([&] {
      for (int k = 0; k < repeats; ++k) richards_solve(*s, dt);
    });
    const richards_soil& rs = s->soil.richards;
    if (seconds < best.seconds) best = {seconds, rs.phead, rs.theta, s->surface.depth};
  }
  return best;
}

using bench::same;

}  // namespace

int main(int, char** argv) {
  settle_thread_waits(argv);
  const timing one = run(1);
  const timing eight = run(8);
  const double work = double(cells) * 50.0 * repeats;
  std::printf("richards_solve, %d columns of 50 nodes x %d intervals of %.0f s, best of %d\n",
              cells, repeats, dt, trials);
  std::printf("  1 thread : %.3f s; 8 threads: %.3f s\n", one.seconds, eight.seconds);
  bench::loop_figures f;
  f.loop = "Richards columns, 100,000 cells";
  f.unit = "node intervals/s";
  f.bytes = node_bytes;
  f.one = work / one.seconds;
  f.eight = work / eight.seconds;
  f.identical =
      same(one.phead, eight.phead) && same(one.theta, eight.theta) && same(one.depth, eight.depth);
  bench::loop_rows(f);
  return f.identical ? 0 : 1;
}
