// The constituent transport sweeps. Each face's fluxes are kept at the cell
// it leads into (the lower or right one), reached from its upper or left
// neighbour n: the advective flux takes the upwind concentration of the face
// discharge stored at n, the dispersive flux the smaller of the two cells'
// depth x dispersion. A cell gains what enters through its own face and loses
// what enters its lower or right neighbour, so the grid's mass changes only
// by the source rates.

#include "quality/cell_contam_flux.h"

#include <algorithm>

#include "surface/cell_loops.h"

namespace {

constexpr double tiny = 1e-16;

bool lake_cell(const contam_grid& g, int j) { return g.lake != nullptr && g.lake[j] > 0; }

void face_fluxes(const contam_grid& g, const int* up, const double* q, const double* conc,
                 const std::vector<double>& disp, std::vector<double>& fd,
                 std::vector<double>& fa) {
  const double* h = g.depth;
#pragma omp parallel for schedule(static) if (g.cells >= parallel_min_cells)
  for (int j = 1; j <= g.cells; ++j) {
    const int n = up[j];
    if (n == 0) {
      fd[j] = 0.0;
      fa[j] = 0.0;
      continue;
    }
    const bool lj = lake_cell(g, j), ln = lake_cell(g, n);
    if (lj || ln) {
      // No dispersion across a lake's shore; the water that crosses it
      // carries the lake's concentration out of the lake.
      fd[j] = 0.0;
      if (lj && ln) {
        fa[j] = 0.0;
      } else if (lj) {
        fa[j] = q[n] * (q[n] > 0.0 ? conc[n] : g.lake_conc[g.lake[j]]);
      } else {
        fa[j] = q[n] * (q[n] > 0.0 ? g.lake_conc[g.lake[n]] : conc[j]);
      }
      continue;
    }
    fd[j] = h[j] > tiny && h[n] > tiny
                ? std::min(h[j] * disp[j], h[n] * disp[n]) * (conc[n] - conc[j])
                : 0.0;
    fa[j] = q[n] * (q[n] >= 0.0 ? conc[n] : conc[j]);
  }
}

// The net flux into cell j with its source half, g/s.
inline double net(const std::vector<double>& fd, const std::vector<double>& fa,
                  const std::vector<double>& rate, int j, int down) {
  return fd[j] - fd[down] + fa[j] - fa[down] + 0.5 * rate[j];
}

// The lakes take the averaged shore fluxes the free cells beside them give
// or receive, so both sides move the same grams.
void book_lake_faces(contam_flux_work& w, const contam_grid& g, const int* up, double a) {
  for (int j = 1; j <= g.cells; ++j) {
    const int n = up[j];
    if (n == 0) continue;
    const bool lj = lake_cell(g, j), ln = lake_cell(g, n);
    if (lj == ln) continue;
    const double m = w.adv_flux[j] * a;  // g, from n to j
    if (lj) {
      g.lake_inflow[g.lake[j]] += m;
      w.to_lakes += m;
    } else {
      g.lake_inflow[g.lake[n]] -= m;
      w.to_lakes -= m;
    }
  }
}

void pass(contam_flux_work& w, const contam_grid& g, const int* up, const int* down,
          const double* q, double a, double& negative_mass) {
  const double area = g.dx * g.dx;
  const double* h = g.depth;
  const bool parallel = g.cells >= parallel_min_cells;
  face_fluxes(g, up, q, w.conc.data(), w.disp, w.disp_pred, w.adv_pred);
#pragma omp parallel for schedule(static) if (parallel)
  for (int j = 1; j <= g.cells; ++j) {
    if (lake_cell(g, j)) {
      w.mass_pred[j] = w.mass[j];
      w.conc_pred[j] = w.conc[j];
      continue;
    }
    const double m = w.mass[j] + net(w.disp_pred, w.adv_pred, w.rate, j, down[j]) * a;
    w.mass_pred[j] = m;
    w.conc_pred[j] = h[j] >= tiny && m >= 0.0 ? m / (h[j] * area) : 0.0;
  }
  face_fluxes(g, up, q, w.conc_pred.data(), w.disp, w.disp_flux, w.adv_flux);
#pragma omp parallel for schedule(static) if (parallel)
  for (int j = 1; j <= g.cells; ++j) {
    w.disp_flux[j] = (w.disp_flux[j] + w.disp_pred[j]) * 0.5;
    w.adv_flux[j] = (w.adv_flux[j] + w.adv_pred[j]) * 0.5;
  }
  if (g.lake != nullptr) book_lake_faces(w, g, up, a);
  // A mass driven below zero leaves what was cut (kg) in mass_pred, free
  // by now, for the sum after the loop in cell order.
  double* cut = w.mass_pred.data();
  int any_cut = 0;
#pragma omp parallel for schedule(static) reduction(| : any_cut) if (parallel)
  for (int j = 1; j <= g.cells; ++j) {
    cut[j] = 0.0;
    if (lake_cell(g, j)) continue;
    double m = w.mass[j] + net(w.disp_flux, w.adv_flux, w.rate, j, down[j]) * a;
    double c = h[j] >= tiny ? m / (h[j] * area) : 0.0;
    if (m < 0.0) {
      cut[j] = -m / 1000.0;
      any_cut = 1;
      m = 0.0;
      c = 0.0;
    }
    w.mass[j] = m;
    w.conc[j] = c;
  }
  if (any_cut)
    for (int j = 1; j <= g.cells; ++j)
      if (w.mass_pred[j] != 0.0) negative_mass += cut[j];
}

}  // namespace

void contam_flux_work::size(int cells) {
  const std::size_t n = std::size_t(cells) + 1;
  for (std::vector<double>* v : {&conc, &mass, &disp, &rate, &disp_flux, &adv_flux, &disp_pred,
                                 &adv_pred, &mass_pred, &conc_pred, &exit_taken})
    v->assign(n, 0.0);
  for (std::vector<double>* v : {&took.exchange, &took.decay, &took.exfiltrated, &took.released,
                                 &took.infiltration, &took.outflow})
    v->assign(n, 0.0);
  took.exfiltration_taken.assign(n, 0);
}

void ov_contam_cell_flux(contam_flux_work& work, const contam_grid& grid, double a, int order,
                         double& negative_mass) {
  const bool columns_first = order == 1;
  for (int p = 0; p < 2; ++p) {
    const bool columns = (p == 0) == columns_first;
    if (columns) {
      pass(work, grid, grid.abovecon, grid.belowcon, grid.flux_y, a, negative_mass);
    } else {
      pass(work, grid, grid.leftcon, grid.rightcon, grid.flux_x, a, negative_mass);
    }
  }
}
