#pragma once
// The grid description every subsystem reads: size, cell size and the active
// cells of the watershed mask, numbered 1..cells row by row from the top.
// Per-cell vectors elsewhere have cells + 1 entries, entry 0 unused.

struct grid_state {
  int rows = 0;
  int cols = 0;
  double dx = 0.0;       // cell size, m
  int cells = 0;         // active cells of the watershed
  int outlet_row = 0;    // from 1
  int outlet_col = 0;    // from 1
  double outlet_slope = 0.0;  // m/m
  double north = 0.0, south = 0.0, east = 0.0, west = 0.0;  // grid edges, m
};
