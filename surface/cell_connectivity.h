#pragma once
// The overland grid's neighbour tables and bed slopes, built once at set-up
// from the numbered watershed mask and the cell elevations.

#include <vector>

// Fills the four neighbour tables [1..cells] from the numbered mask
// grid[1..rows][1..cols] (cell number, 0 outside the watershed): each cell
// takes the number of the cell to its right, below, above and left, 0 at the
// grid edge or where that position lies outside the watershed.
void build_neighbor_tables(int rows, int cols, std::vector<int>& rightcon, std::vector<int>& belowcon,
                           std::vector<int>& abovecon, std::vector<int>& leftcon, int* const* grid);

// Bed slopes [1..cells] from the elevations (m) and the grid size dx (m). A
// cell with no right neighbour takes the x slope of the cell before it in
// cell order; the last cell of a vertical run takes the y slope of the cell
// above it; a cell with neither neighbour above nor below keeps 0.
void fill_cell_slopes(int cells, double dx, const std::vector<double>& elevation,
                      const std::vector<int>& rightcon, const std::vector<int>& belowcon,
                      std::vector<double>& slope_x, std::vector<double>& slope_y);

// How the neighbour tables number the cells, for the routers that route a
// direction's faces and update the depths in one pass: in grid order every
// far cell of a face comes after its near cell, within the grid, and the
// left and above tables are the inverses of the right and below tables.
// reach is the largest rightcon[i] - i (x) or belowcon[i] - i (y), which
// bounds the faces that cross from one thread's share of the cells into the
// next share.
struct grid_order {
  bool ok = false;  // the cells are in grid order
  int reach_x = 0;  // cells
  int reach_y = 0;  // cells
};

// The order of the tables [1..cells].
grid_order find_grid_order(int cells, const std::vector<int>& rightcon,
                           const std::vector<int>& belowcon, const std::vector<int>& leftcon,
                           const std::vector<int>& abovecon);
