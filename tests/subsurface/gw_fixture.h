#pragma once
// Aquifers for the groundwater tests, built without a project: a numbered
// grid with its neighbour tables, and a groundwater record sized for it with
// uniform bottom, head, conductivity and porosity.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "core/error_state.h"
#include "core/grid_state.h"
#include "subsurface/groundwater_state.h"
#include "subsurface/gw_solve.h"
#include "surface/cell_connectivity.h"

namespace gw_fixture {

struct aquifer {
  grid_state grid;
  groundwater_state gw;
  gw_couplings with;

  // rows x cols cells of dx m, the cells where inside(row, col) numbered row
  // by row; ground at ground m, bottom, head (m), conductivity (cm/h) and
  // porosity uniform; every cell active (type 1).
  aquifer(int rows, int cols, double dx, double ground, double bottom, double head,
          double conductivity, double porosity,
          const std::function<bool(int, int)>& inside = nullptr) {
    grid.rows = rows;
    grid.cols = cols;
    grid.dx = dx;
    grid.mask.allocate_grid(rows, cols);
    int n = 0;
    for (int r = 1; r <= rows; ++r)
      for (int c = 1; c <= cols; ++c)
        if (!inside || inside(r, c)) grid.mask[r][c] = ++n;
    grid.cells = n;
    for (auto* v : {&grid.rightcon, &grid.belowcon, &grid.abovecon, &grid.leftcon})
      v->assign(std::size_t(n) + 1, 0);
    build_neighbor_tables(rows, cols, grid.rightcon, grid.belowcon, grid.abovecon, grid.leftcon,
                          grid.mask.table());
    grid.elevation.assign(std::size_t(n) + 1, ground);
    EXPECT_TRUE(size_groundwater_state(gw, grid));
    for (int i = 1; i <= n; ++i) {
      gw.gwbound[i] = 1;
      gw.bottom_elev[i] = bottom;
      gw.elevgw[i] = head;
      gw.gw_kx[i] = gw.gw_ky[i] = conductivity / 100.0 / 3600.0;
      gw.gw_dx[i] = gw.gw_dy[i] = dx;
      gw.gw_porosity[i] = gw.gw_storage[i] = porosity;
    }
    gw.settings.relax = 1.0;
    gw.settings.tolerance = 0.0000001;
  }

  int cell(int r, int c) const { return grid.mask[r][c]; }

  // Groundwater held in the cells, m3.
  double volume() const {
    double v = 0.0;
    for (int i = 1; i <= grid.cells; ++i)
      v += (gw.elevgw[i] - gw.bottom_elev[i]) * gw.gw_porosity[i] * gw.gw_dx[i] * gw.gw_dy[i];
    return v;
  }

  // steps solves of dt s; the sum of their net sink volumes, m3.
  double run(int steps, double dt) {
    double total = 0.0;
    for (int k = 0; k < steps; ++k) {
      double vadose = 0.0;
      total += gw_solve(gw, grid, with, dt, vadose);
      if (error_state.stop_flag != 0) break;
    }
    return total;
  }
};

}  // namespace gw_fixture
