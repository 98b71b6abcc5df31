// The overland constituent steps on a 500 x 500 tilted plane of 10 m cells
// with 10 contaminants: each cell mass step gathers decay, takes every
// accumulator's share and moves the mass by both sweeps. The steps keep
// cells in order on one thread, so this measures cell-constituent steps per
// second on one thread and checks that the grid's mass is kept: what it
// held = what it holds + what decayed.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "bench_support.h"
#include "quality/cell_contam_mass.h"

namespace {

constexpr int rows = 500;
constexpr int cols = 500;
constexpr int cells = rows * cols;
constexpr int constituents = 10;
constexpr int steps = 10;
constexpr double a = 10.0;   // s
constexpr double dx = 10.0;  // m

void size_rows(constituent_cells& rows_of, double value = 0.0) {
  rows_of.assign(constituents + 1, std::vector<double>(cells + 1, value));
}

}  // namespace

int main() {
  std::vector<int> left(cells + 1, 0), right(cells + 1, 0), above(cells + 1, 0),
      below(cells + 1, 0);
  std::vector<double> depth(cells + 1, 0.0), qx(cells + 1, 0.0), qy(cells + 1, 0.0);
  for (int r = 0; r < rows; ++r) {
    for (int k = 0; k < cols; ++k) {
      const int j = r * cols + k + 1;
      if (k > 0) left[j] = j - 1;
      if (k + 1 < cols) right[j] = j + 1;
      if (r > 0) above[j] = j - cols;
      if (r + 1 < rows) below[j] = j + cols;
      // Sheet flow down and across the plane, deeper downslope.
      depth[j] = 0.01 + 0.0001 * r;
      if (right[j]) qx[j] = 0.002;
      if (below[j]) qy[j] = 0.005;
    }
  }
  constituent_state c;
  c.constituents = constituents;
  c.constituent_type.assign(constituents + 1, 1);
  for (constituent_cells* rows_of : {&c.ov_contam_mass, &c.ov_contam_conc, &c.ov_contam_disp,
                                     &c.ov_contam_decay, &c.cell_decay_mass, &c.cell_infil_mass,
                                     &c.cell_uptake_mass, &c.land_surface_mass})
    size_rows(*rows_of);
  for (std::vector<double>* t : {&c.ov_decay_dmt, &c.ov_infil_dmt, &c.ov_uptake_dmt, &c.ov_out_dmt})
    t->assign(constituents + 1, 0.0);
  double before = 0.0;
  for (int k = 1; k <= constituents; ++k) {
    for (int j = 1; j <= cells; ++j) {
      c.ov_contam_conc[k][j] = 1.0 + (j % 17) * 0.1 * k;
      c.ov_contam_mass[k][j] = c.ov_contam_conc[k][j] * depth[j] * dx * dx;
      c.ov_contam_disp[k][j] = 0.1;
      c.ov_contam_decay[k][j] = 1e-5 * k;
      before += c.ov_contam_mass[k][j];
    }
  }
  const contam_grid grid{cells,        dx,           left.data(), right.data(), above.data(),
                         below.data(), depth.data(), qx.data(),   qy.data()};
  contam_flux_work work;
  work.size(cells);
  const contam_intervals intervals{a, a, a, a};
  double negative = 0.0, decayed = 0.0;

  const auto start = std::chrono::steady_clock::now();
  for (int n = 0; n < steps; ++n) {
    for (int k = 1; k <= constituents; ++k) {
      contam_decay_accumulate(c, k, dx, a, depth.data(), depth.data(), nullptr);
      cell_contam_mass_update(c, k, work, grid, a, 1 + n % 2, intervals, 0, nullptr, nullptr,
                              false, negative);
      decayed += c.ov_decay_dmt[k];
      c.ov_decay_dmt[k] = 0.0;
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double after = 0.0;
  for (int k = 1; k <= constituents; ++k)
    for (int j = 1; j <= cells; ++j) after += c.ov_contam_mass[k][j];

  const double work_done = double(cells) * constituents * steps;
  std::printf("cell_contam_mass_update, %d cells x %d constituents x %d steps of %.0f s\n", cells,
              constituents, steps, a);
  std::printf("  1 thread: %.3f s, %.3e cell-constituent steps/s\n", seconds, work_done / seconds);
  bench::table_row("constituent cell mass update, 1 thread", work_done / seconds,
                   "cell-constituent steps/s", "memory bandwidth");
  const double error = std::fabs(after + decayed - before) / before;
  std::printf("  mass kept to %.1e (negative mass %.3g kg)\n", error, negative);
  return error < 1e-9 ? 0 : 1;
}
