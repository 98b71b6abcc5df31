// The pipe network's step on a tree of 1000 superjunctions: a binary tree
// of manholes (0.8 m2, 2.5 m deep) draining through 60 m pipes of 0.45 m,
// falling 0.3 m each, to one fixed-head outlet, every manhole fed 0.2 L/s
// through its grate cell. Times one superlink_step after two hours, prints the share of the junction solve, and checks that the
// sparse junction solve gives the heads of the dense LU decomposition to
// 1e-9 m and that 1 and 8 threads leave the same heads bit for bit.

#include <omp.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/error_state.h"
#include "core/parallel_context.h"
#include "subsurface/superlink_step.h"
#include "bench_support.h"

namespace {

constexpr int junctions = 1000;
constexpr double dt = 10.0;  // s
constexpr double w = 20.0;   // cell size, m

// Depth of a junction in the tree (the outlet, junction 1, is depth 0).
int level(int j) {
  int l = 0;
  while (j > 1) {
    j /= 2;
    ++l;
  }
  return l;
}

void build(superlink_state& sl) {
  superlink_network& net = sl.net;
  net.n_sjunc = junctions;
  net.n_slink = junctions - 1;
  net.max_pipes = 1;
  net.dim = junctions + 2;
  const std::size_t d = std::size_t(net.dim) + 1;
  for (auto* v : {&net.us_sjunc, &net.ds_sjunc, &net.nnodes, &net.superlink_cnodes}) v->assign(d, 0);
  for (auto* v : {&net.us_Zinv, &net.ds_Zinv}) v->assign(d, 0.0);
  for (auto* v : {&net.bound, &net.superjunct_i, &net.superjunct_j}) v->assign(d, 0);
  for (auto* v : {&net.As_sjunc, &net.grate_sidelength_sjunc, &net.grate_dia_sjunc,
                  &net.ground_elev, &net.junc_bottom, &net.sjunc_head, &net.Q_junc})
    v->assign(d, 0.0);
  for (auto* t : {&net.sec_type, &net.inlet_type, &net.superlink_node_i, &net.superlink_node_j,
                  &net.otc_node, &net.otc_pipe, &net.pipe_input})
    t->size(3, net.dim);
  for (auto* t : {&net.As, &net.grate_sidelength_node, &net.grate_dia_node, &net.slink_node_Zinv,
                  &net.slink_node_depth, &net.M_n, &net.S0, &net.diameter, &net.width,
                  &net.node_ground_elev, &net.superlink_pipe_conductivity, &net.drain_spacing,
                  &net.dxc, &net.Q_node, &net.dx})
    t->size(3, net.dim);
  net.inlet_type.size(3, net.dim);
  for (int j = 1; j <= junctions; ++j) {
    const double bottom = 100.0 + 0.3 * level(j);
    net.junc_bottom[std::size_t(j)] = bottom - 0.1;
    net.ground_elev[std::size_t(j)] = bottom + 2.5;
    net.As_sjunc[std::size_t(j)] = 0.8;
    net.inlet_type(0, j) = j == 1 ? 11 : 1;
    net.bound[std::size_t(j)] = j == 1 ? 1 : 0;
    net.grate_sidelength_sjunc[std::size_t(j)] = 0.5;
    net.grate_dia_sjunc[std::size_t(j)] = 0.5;
  }
  // Superlink k drains junction k + 1 into its parent.
  for (int k = 1; k < junctions; ++k) {
    const int us = k + 1, ds = us / 2;
    net.us_sjunc[std::size_t(k)] = us;
    net.ds_sjunc[std::size_t(k)] = ds;
    net.nnodes[std::size_t(k)] = net.superlink_cnodes[std::size_t(k)] = 1;
    net.slink_node_Zinv(1, k) = 100.0 + 0.3 * level(us);
    net.slink_node_Zinv(2, k) = 100.0 + 0.3 * level(ds);
    net.node_ground_elev(1, k) = net.slink_node_Zinv(1, k) + 2.5;
    net.node_ground_elev(2, k) = net.slink_node_Zinv(2, k) + 2.5;
    net.sec_type(1, k) = 1;
    net.diameter(1, k) = 0.45;
    net.M_n(1, k) = 0.013;
    net.S0(1, k) = 0.3 / 60.0;
    net.dx(1, k) = 60.0;
  }
  sl.links.superlink_junc_gnum.assign(std::size_t(junctions) + 1, 0);
  for (int j = 1; j <= junctions; ++j) sl.links.superlink_junc_gnum[std::size_t(j)] = j;
}

// Ponding on every cell that one grate takes at 0.2 L/s (as a weir), so
// that the trunk pipes at the outlet run below their capacity of 0.2 m3/s.
constexpr double pond = 0.0018645;  // m

void run(superlink_state& sl, std::vector<double>& depth, int calls) {
  double taken = 0.0;
  for (int c = 0; c < calls; ++c) {
    std::fill(depth.begin(), depth.end(), pond);
    superlink_step(sl.calls, w, depth, sl, dt, superlink_options{}, taken);
    ++sl.calls;
  }
}

}  // namespace

int main(int, char** argv) {
  settle_thread_waits(argv);
  const std::filesystem::path scratch = std::filesystem::temp_directory_path() / "superlink_bench";
  std::filesystem::create_directories(scratch);
  std::filesystem::current_path(scratch);

  std::vector<double> depth(std::size_t(junctions) + 1, 0.0);
  std::vector<double> heads[2];
  double per_call = 0.0;
  for (int t = 0; t < 2; ++t) {
    omp_set_num_threads(t == 0 ? 1 : 8);
    superlink_state sl;
    build(sl);
    run(sl, depth, 720);
    const auto start = std::chrono::steady_clock::now();
    run(sl, depth, 20);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (t == 0) per_call = s / 20.0;
    heads[t] = sl.net.sjunc_head;

    if (t == 0) {
      // The same assembled system through the dense decomposition.
      junction_solver& js = sl.work.solver;
      std::vector<double> sparse(std::size_t(junctions) + 1, 0.0), saved = js.val;
      junction_solve(js, sl.work.rhs, sparse);
      js.val = saved;
      dense_matrix d;
      d.n = junctions;
      d.a.assign(std::size_t(junctions) * junctions + 1, 0.0);
      for (int i = 0; i < junctions; ++i)
        for (int p = js.row_start[std::size_t(i)]; p < js.row_start[std::size_t(i) + 1]; ++p)
          d.at(js.perm[std::size_t(i)], js.perm[std::size_t(js.row_col[std::size_t(p)])]) =
              js.val[std::size_t(p)];
      std::vector<int> indx(std::size_t(junctions) + 1);
      std::vector<double> scale(std::size_t(junctions) + 1), b = sl.work.rhs;
      const auto t0 = std::chrono::steady_clock::now();
      ludcmp(d, indx, scale);
      lu_back_substitute(d, indx, b);
      const double dense_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      double worst = 0.0;
      for (int j = 1; j <= junctions; ++j)
        worst = std::max(worst, std::fabs(b[std::size_t(j)] - sparse[std::size_t(j)]));
      std::printf("dense LU of the junction system: %.3f s; sparse and dense heads differ by %.2e m%s\n",
                  dense_s, worst, worst <= 1e-9 ? "" : "  (FAIL)");
      std::printf("after two hours the outlet takes %.4f m3/s of the grates' 999 x 0.2 L/s = %.4f\n",
                  sl.work.Q_d[1] + sl.work.Q_d[2], 999 * 0.0002);
    }
  }
  std::printf("superlink_step, %d junctions: %.3f ms per call (1 thread)\n", junctions,
              per_call * 1000.0);
  std::printf("1 and 8 threads: %s\n", bench::same(heads[0], heads[1]) ? "same heads" : "DIFFERENT heads");
  return error_state.stop_flag ? 1 : 0;
}
