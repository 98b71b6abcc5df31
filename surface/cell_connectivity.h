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
