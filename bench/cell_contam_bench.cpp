// The overland constituent steps on a 500 x 500 tilted plane of 10 m cells
// with 10 contaminants: each cell mass step gathers decay, takes every
// accumulator's share and moves the mass by both sweeps. Measures
// cell-constituent steps per second on 1 and 8 threads, the best of a few
// trials, against the bound of the memory bandwidth, checks that the grid's
// mass is kept (what it held = what it holds + what decayed) and that both
// thread counts leave the same masses bit for bit.
//
// Bytes a cell-constituent step, counted from the code:
//   decay: reads the depths before and now, the concentration and the decay
//   rate, reads and writes the decay gathered: 6 doubles = 48 B;
//   the shares: read the mass and the uptake, decay and infiltration
//   accumulators, write the decay one (the others stay empty and are not
//   written), write the source rate and the three shares taken: 72 B;
//   their totals, added in cell order on one thread beside the first sweep:
//   the three shares read, 24 B;
//   each of the two sweeps, one pass: the up and down indices (8 B), the
//   face flow, depth, dispersion, concentration, mass and source rate read
//   (48 B), mass and concentration written (16 B): 72 B, two sweeps 144 B;
//   the faces' fluxes and the predictions stay in each thread's ring of a
//   few rows, and the last sweep stores the cells itself;
//   in all 288 B. A thread works out again the faces of up to three rows
//   about its share (some 5% more faces on 8 threads, read mostly from
//   cache). The step runs one constituent at a time, each over some 35 MB of
//   rows (the constituent's own, the working rows and the grid's),
//   and much of a sweep's traffic finds the previous sweep's rows still in
//   the 32 MB cache: the loop can pass its memory bound.

#include <omp.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "bench_support.h"
#include "core/parallel_context.h"
#include "quality/cell_contam_mass.h"

namespace {

constexpr int rows = 500;
constexpr int cols = 500;
constexpr int cells = rows * cols;
constexpr int constituents = 10;
constexpr int steps = 10;
constexpr int trials = 3;
constexpr double a = 10.0;   // s
constexpr double dx = 10.0;  // m
constexpr double step_bytes = 288.0;  // a cell-constituent step

void size_rows(constituent_cells& rows_of, double value = 0.0) {
  rows_of.assign(constituents + 1, std::vector<double>(cells + 1, value));
}

// The plane's neighbours and its sheet flow down and across it, deeper
// downslope.
struct plane {
  std::vector<int> left, right, above, below;
  std::vector<double> depth, qx, qy;
  plane()
      : left(cells + 1, 0), right(cells + 1, 0), above(cells + 1, 0), below(cells + 1, 0),
        depth(cells + 1, 0.0), qx(cells + 1, 0.0), qy(cells + 1, 0.0) {
    for (int r = 0; r < rows; ++r) {
      for (int k = 0; k < cols; ++k) {
        const int j = r * cols + k + 1;
        if (k > 0) left[j] = j - 1;
        if (k + 1 < cols) right[j] = j + 1;
        if (r > 0) above[j] = j - cols;
        if (r + 1 < rows) below[j] = j + cols;
        depth[j] = 0.01 + 0.0001 * r;
        if (right[j]) qx[j] = 0.002;
        if (below[j]) qy[j] = 0.005;
      }
    }
  }
};

struct timing {
  double seconds;
  double error;  // relative, of the grid's mass balance
  std::vector<double> mass;  // every constituent's cells, in order
};

timing run(const plane& p, int threads) {
  omp_set_num_threads(threads);
  timing best{1e30, 0.0, {}};
  for (int t = 0; t < trials; ++t) {
    constituent_state c;
    c.constituents = constituents;
    c.constituent_type.assign(constituents + 1, 1);
    for (constituent_cells* rows_of : {&c.ov_contam_mass, &c.ov_contam_conc, &c.ov_contam_disp,
                                       &c.ov_contam_decay, &c.cell_decay_mass, &c.cell_infil_mass,
                                       &c.cell_uptake_mass, &c.land_surface_mass})
      size_rows(*rows_of);
    for (std::vector<double>* v : {&c.ov_decay_dmt, &c.ov_infil_dmt, &c.ov_uptake_dmt, &c.ov_out_dmt})
      v->assign(constituents + 1, 0.0);
    double before = 0.0;
    for (int k = 1; k <= constituents; ++k) {
      for (int j = 1; j <= cells; ++j) {
        c.ov_contam_conc[k][j] = 1.0 + (j % 17) * 0.1 * k;
        c.ov_contam_mass[k][j] = c.ov_contam_conc[k][j] * p.depth[j] * dx * dx;
        c.ov_contam_disp[k][j] = 0.1;
        c.ov_contam_decay[k][j] = 1e-5 * k;
        before += c.ov_contam_mass[k][j];
      }
    }
    const contam_grid grid{cells,          dx,           p.left.data(), p.right.data(),
                           p.above.data(), p.below.data(), p.depth.data(), p.qx.data(),
                           p.qy.data()};
    contam_flux_work work;
    work.size(cells);
    work.size_sweeps(grid);
    const contam_intervals intervals{a, a, a, a};
    double negative = 0.0, decayed = 0.0;
    const double seconds = bench::seconds_of([&] {
      for (int n = 0; n < steps; ++n) {
        for (int k = 1; k <= constituents; ++k) {
          contam_decay_accumulate(c, k, dx, a, p.depth.data(), p.depth.data(), nullptr);
          cell_contam_mass_update(c, k, work, grid, a, 1 + n % 2, intervals, 0, nullptr, nullptr,
                                  false, negative);
          decayed += c.ov_decay_dmt[k];
          c.ov_decay_dmt[k] = 0.0;
        }
      }
    });
    if (!(seconds < best.seconds)) continue;
    timing now{seconds, 0.0, {}};
    double after = 0.0;
    for (int k = 1; k <= constituents; ++k) {
      for (int j = 1; j <= cells; ++j) after += c.ov_contam_mass[k][j];
      now.mass.insert(now.mass.end(), c.ov_contam_mass[k].begin(), c.ov_contam_mass[k].end());
    }
    now.error = std::fabs(after + decayed - before) / before;
    best = std::move(now);
  }
  return best;
}

}  // namespace

int main(int, char** argv) {
  settle_thread_waits(argv);
  const plane p;
  const timing one = run(p, 1);
  const timing eight = run(p, 8);
  const double work_done = double(cells) * constituents * steps;
  std::printf(
      "cell_contam_mass_update, %d cells x %d constituents x %d steps of %.0f s, best of %d\n",
      cells, constituents, steps, a, trials);
  std::printf("  1 thread %.3f s, 8 threads %.3f s; mass kept to %.1e\n", one.seconds,
              eight.seconds, one.error);
  bench::loop_figures f;
  f.loop = "constituent cell step, 500 x 500 x 10";
  f.unit = "cell-constituent steps/s";
  f.bytes = step_bytes;
  f.one = work_done / one.seconds;
  f.eight = work_done / eight.seconds;
  f.identical = bench::same(one.mass, eight.mass);
  bench::loop_rows(f);
  return one.error < 1e-9 && f.identical ? 0 : 1;
}
