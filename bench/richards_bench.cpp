// The Richards solver on 10,000 columns of 50 nodes: intervals of 30 s,
// repeated after a first one, on 1 and 8 threads. Half the cells are ponded
// 1 cm, so both boundaries and their sub-steps are in the mix. Prints node
// intervals per second and the speed-up over one thread, and checks that
// both thread counts leave the same columns bit for bit.

#include <omp.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "run/model_state.h"
#include "soil/richards_soil.h"
#include "bench_support.h"

namespace {

constexpr int cells = 10000;
constexpr int repeats = 10;
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
  std::unique_ptr<model_state> s = columns();
  richards_solve(*s, dt);  // starts the threads
  const auto start = std::chrono::steady_clock::now();
  for (int k = 0; k < repeats; ++k) richards_solve(*s, dt);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const richards_soil& rs = s->soil.richards;
  return {seconds, rs.phead, rs.theta, s->surface.depth};
}

using bench::same;

}  // namespace

int main() {
  const timing one = run(1);
  const timing eight = run(8);
  const double work = double(cells) * 50.0 * repeats;
  std::printf("richards_solve, %d columns of 50 nodes x %d intervals of %.0f s\n", cells, repeats,
              dt);
  std::printf("  1 thread : %.3f s, %.3e node intervals/s\n", one.seconds, work / one.seconds);
  std::printf("  8 threads: %.3f s, %.3e node intervals/s, speed-up %.2fx\n", eight.seconds,
              work / eight.seconds, one.seconds / eight.seconds);
  bench::table_row("Richards columns, 1 thread", work / one.seconds, "node intervals/s", "memory bandwidth");
  bench::table_row("Richards columns, 8 threads", work / eight.seconds, "node intervals/s", "speed-up 6.5");
  const bool identical =
      same(one.phead, eight.phead) && same(one.theta, eight.theta) && same(one.depth, eight.depth);
  std::printf("  results %s\n", identical ? "bit-identical" : "DIFFER");
  return identical ? 0 : 1;
}
