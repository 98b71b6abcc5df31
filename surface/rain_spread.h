#pragma once
// Spreading the rates of a gauge event's period over the watershed cells:
// inverse distance squared (the default) or the nearest gauge of each cell.
// Gauges are numbered from 1; gauge_rate holds the period's rate of each
// gauge in mm/h, rate the cells' rates [1..cells] in mm/h.

struct grid_state;

// Inverse distance squared from every gauge to each cell centre; a gauge
// closer than one cell size to a centre (the first in gauge order) gives the
// cell its own rate. With one gauge every cell takes its rate.
void gage_idw_parallel(const grid_state& grid, int gauges, const double* gage_x,
                       const double* gage_y, const double* gauge_rate, double* rate);

// The nearest gauge of every cell into nearest [1..cells], the lower number
// on a tie. A cell with no gauge within 900000 (coordinate units) of its
// centre stops the run (code 4000), reported once after the search; false
// then.
bool find_neighbor(const grid_state& grid, int gauges, const double* gage_x, const double* gage_y,
                   int* nearest);

// Each cell takes the rate of its nearest gauge (of gauge 1 when there is
// only one).
void gage_thiessen_parallel(int gauges, const int* nearest, const double* gauge_rate, double* rate,
                            int cells);
