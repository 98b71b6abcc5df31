// The constituent transport sweeps on a constituent's working rows; the
// kernels are in contam_sweep.h.

#include "quality/cell_contam_flux.h"

#include <omp.h>

#include <algorithm>

#include "quality/contam_sweep.h"
#include "surface/cell_loops.h"

void contam_flux_work::size(int cells) {
  const std::size_t n = std::size_t(cells) + 1;
  for (std::vector<double>* v : {&conc, &mass, &disp, &rate, &conc_pred, &mass_swept, &conc_swept,
                                 &cut, &dried, &shore_flux, &exit_taken})
    v->assign(n, 0.0);
  exit_cell = 0;
  for (std::vector<double>* v : {&took.exchange, &took.decay, &took.exfiltrated, &took.released,
                                 &took.infiltration, &took.outflow})
    v->assign(n, 0.0);
  took.exfiltration_taken.assign(n, 0);
}

namespace {

// How far apart the two cells of a face in one direction lie at most, when
// every cell's neighbour before it is numbered lower and the one after it
// higher; 0 when some are not.
int reach_of(int cells, const int* up, const int* down) {
  int reach = 0;
  bool ordered = true;
#pragma omp parallel for schedule(static) reduction(max : reach) reduction(&& : ordered) \
    num_threads(team_for(cells, cells_per_thread))
  for (int j = 1; j <= cells; ++j) {
    const int u = up[j];
    const int d = down[j];
    if ((u != 0 && (u < 1 || u >= j)) || (d != 0 && (d <= j || d > cells))) ordered = false;
    if (u != 0) reach = std::max(reach, j - u);
    if (d != 0) reach = std::max(reach, d - j);
  }
  return ordered ? std::max(reach, 1) : 0;
}

}  // namespace

void contam_flux_work::size_sweeps(const contam_grid& grid) {
  reach_rows = reach_of(grid.cells, grid.leftcon, grid.rightcon);
  reach_columns = reach_of(grid.cells, grid.abovecon, grid.belowcon);
  // A block's faces are worked out before the cells a reach behind them
  // take them.
  ring_slots = 1;
  while (ring_slots < std::max(reach_rows, reach_columns) + contam_sweep::sweep_block)
    ring_slots *= 2;
  ring_threads = std::max(omp_get_max_threads(), omp_get_num_procs());
  ring.assign(std::size_t(ring_threads) * contam_sweep::ring_stride(ring_slots), 0.0);
}

void ov_contam_cell_flux(contam_flux_work& work, const contam_grid& grid, double a, int order,
                         double& negative_mass) {
  using namespace contam_sweep;
  const rows first{work.mass.data(),       work.conc.data(),      work.disp.data(),
                   work.rate.data(),       work.mass_swept.data(), work.conc_swept.data()};
  const rows second{work.mass_swept.data(), work.conc_swept.data(), work.disp.data(),
                    work.rate.data(),       work.mass.data(),       work.conc.data()};
  sweeps(work, grid, a, order, first, second, negative_mass,
         plain_store{work.mass.data(), work.conc.data()});
}
