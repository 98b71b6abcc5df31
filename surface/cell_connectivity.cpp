// Set-up phases of the overland grid: the neighbour tables every router,
// erosion and transport step walks, the checks of the dikes' low spots, and
// the bed slopes. Both run once, after the grid inputs are read; they are
// serial, for the x slopes copy forward along the cell order.

#include "surface/cell_connectivity.h"

#include <algorithm>

#include "run/model_state.h"
#include "core/text_io.h"
#include "input/read_grid_inputs.h"
#include "surface/lowspots.h"
#include "surface/overland_step.h"
#include "surface/surface_steps.h"

void build_neighbor_tables(int rows, int cols, std::vector<int>& rightcon, std::vector<int>& belowcon,
                           std::vector<int>& abovecon, std::vector<int>& leftcon, int* const* grid) {
  for (int j = 1; j <= rows; ++j) {
    for (int k = 1; k <= cols; ++k) {
      const int i = grid[j][k];
      if (i == 0) continue;
      rightcon[i] = k < cols ? grid[j][k + 1] : 0;
      leftcon[i] = k > 1 ? grid[j][k - 1] : 0;
      belowcon[i] = j < rows ? grid[j + 1][k] : 0;
      abovecon[i] = j > 1 ? grid[j - 1][k] : 0;
    }
  }
}

void fill_cell_slopes(int cells, double dx, const std::vector<double>& elevation,
                      const std::vector<int>& rightcon, const std::vector<int>& belowcon,
                      std::vector<double>& slope_x, std::vector<double>& slope_y) {
  for (int i = 1; i <= cells; ++i) {
    const int r = rightcon[i];
    slope_x[i] = r != 0 ? (elevation[i] - elevation[r]) / dx : slope_x[i - 1];
  }
  for (int i = 1; i <= cells; ++i) {
    const int b = belowcon[i];
    if (b == 0) continue;
    slope_y[i] = (elevation[i] - elevation[b]) / dx;
    if (belowcon[b] == 0) slope_y[b] = slope_y[i];
  }
}

grid_order find_grid_order(int cells, const std::vector<int>& rightcon,
                           const std::vector<int>& belowcon, const std::vector<int>& leftcon,
                           const std::vector<int>& abovecon) {
  const std::size_t size = std::size_t(cells) + 1;
  if (cells <= 0 || rightcon.size() < size || belowcon.size() < size || leftcon.size() < size ||
      abovecon.size() < size)
    return {};
  grid_order order;
  // A neighbour number outside 0..cells fails the test before it indexes.
  const auto beyond = [cells](int next, int i) { return next != 0 && (next <= i || next > cells); };
  const auto before = [](int prev, int i) { return prev != 0 && (prev < 0 || prev >= i); };
  for (int i = 1; i <= cells; ++i) {
    const int r = rightcon[std::size_t(i)];
    const int b = belowcon[std::size_t(i)];
    const int l = leftcon[std::size_t(i)];
    const int a = abovecon[std::size_t(i)];
    if (beyond(r, i) || beyond(b, i) || before(l, i) || before(a, i)) return {};
    if ((r != 0 && leftcon[std::size_t(r)] != i) || (b != 0 && abovecon[std::size_t(b)] != i) ||
        (l != 0 && rightcon[std::size_t(l)] != i) || (a != 0 && belowcon[std::size_t(a)] != i))
      return {};
    order.reach_x = std::max(order.reach_x, r - i);
    order.reach_y = std::max(order.reach_y, b - i);
  }
  order.ok = true;
  return order;
}

void build_cell_connectivity(model_state& state) {
  grid_state& grid = state.grid;
  msg_printf("building cell to cell connectivity information\n");
  const int n = grid.cells;
  const std::size_t size = n > 0 ? std::size_t(n) + 1 : 0;
  // The grid set-up sizes the tables; a record built another way gets them here.
  if (grid.rightcon.size() != size || grid.belowcon.size() != size ||
      grid.abovecon.size() != size || grid.leftcon.size() != size) {
    if (!allocate_per_cell(grid.rightcon, n, "rightcon") ||
        !allocate_per_cell(grid.belowcon, n, "belowcon") ||
        !allocate_per_cell(grid.abovecon, n, "abovecon") ||
        !allocate_per_cell(grid.leftcon, n, "leftcon")) {
      return;
    }
  }
  if (n > 0) {
    build_neighbor_tables(grid.rows, grid.cols, grid.rightcon, grid.belowcon, grid.abovecon,
                          grid.leftcon, grid.mask.table());
  }
  // Every low spot read is checked, whatever else the run has on: the weir
  // acts on all of them at every overland step.
  const project_settings& s = state.input.settings;
  if (s.lowspot_file_given && !s.dike_map_given) {
    raise_message(
        "Error: the low-spot file %s needs the DIKE_MAP card: a low spot crosses an overland "
        "flow dike of the dike map.\n",
        s.lowspot_file.c_str());
    return;
  }
  const surface_state& sf = state.surface;
  if (sf.lowspot_count > 0 &&
      !check_low_spots(grid, sf.dike_mask, sf.lowspot_count, sf.low_spots,
                       s.lowspot_file.c_str())) {
    return;
  }
  // The routers' per-cell work arrays are sized here, once for the run, so
  // that no step of the time loop allocates.
  alloc_overland_work(state);
}

void compute_cell_slopes(model_state& state) {
  grid_state& grid = state.grid;
  const int n = grid.cells;
  if (!allocate_per_cell(grid.slope_x, n, "slope_x") ||
      !allocate_per_cell(grid.slope_y, n, "slope_y")) {
    return;
  }
  if (n == 0) return;
  fill_cell_slopes(n, grid.dx, grid.elevation, grid.rightcon, grid.belowcon, grid.slope_x,
                   grid.slope_y);
}
