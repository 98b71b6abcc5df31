#pragma once
// Water entering the pipe network: surface water through grate inlets, and
// groundwater into tile drains from the water table of the cells they
// cross (Hooghoudt's drain-spacing relation).

#include <vector>

#include "subsurface/superlink_state.h"

// Flow (m3/s) through `grates` grate inlets of side `side` and opening
// diameter `dia` (m) under a ponded depth (m): a weir at shallow depth, an
// orifice when deep, the smaller of the two between; capped at the cell's
// water over the interval, w^2 depth / dt (w the cell size, m; dt in s).
// No capture at a depth of 1e-8 m or less.
double grate_inflow(int grates, double side, double dia, double depth, double w, double dt);

// Hooghoudt's equivalent depth (m) of the layer below a drain d metres above
// the aquifer bottom, drains of diameter dia spaced spacing apart: Moody's
// approximations with drainmod 1, the series form otherwise.
double tile_equivalent_depth(int drainmod, double d, double spacing, double dia);

// Inflow (m3/s) into a drain of the given length under a head m metres above
// the pipe's water, conductivity k (m/h), with its share of the cell.
double tile_inflow(int drainmod, double de, double m, double k, double spacing, double dia,
                   double share, double length);

// Per-cell grid values the tile exchange reads, [0..cells].
struct tile_grid {
  const std::vector<double>* ground;  // ground elevation, m
  const std::vector<double>* head;    // water table (elevgw), m
  const std::vector<double>* bottom;  // aquifer bottom, m
};

// Groundwater into the tile drains listed by the grid-pipe file: fills the
// tile inflow of each listed pipe node (superlink_tile_flow, m3/s, cleared
// first) and adds each cell's rate to Q_tile_grid (the caller empties it).
// 1 when some pipe lies below the water table (or after stopping on code
// 131 or 133), 0 when none does.
int gw_tile_exchange(const superlink_network& net, superlink_links& links, const tile_grid& grid,
                     int drainmod);
