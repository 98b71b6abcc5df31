#pragma once
// Overland lake extents: each lake's volume change since the last update
// becomes a new level, and the lake takes in the free cells next to it that
// lie below the new level, or gives back the cells it took that stand above
// it. Cells of the lake map never leave their lake.

struct grid_state;
struct surface_state;

// Sorts keys[1..n] ascending and moves cells[1..n] along with them
// (quicksort, median of three, runs under 7 by straight insertion, an
// explicit stack of 50). False after the stack overflow message (code 4000);
// the order is then unfinished.
bool sort2(int n, double* keys, int* cells);

// One extent update of lakes 1..olake_count of surface, in lake order, from
// the dv of each (m3, + into the lake). grid gives dx, the ground elevations
// and the neighbour tables; dike_mask (null without dikes) closes the sides
// either cell of a face marks (1 above, 2 right, 4 below, 8 left).
//
// Per lake with cells, L its level and C its cells, the level would become
// D = L + dv / (C dx^2):
//  - below the floor: the level goes to the floor and the cells stay;
//  - a change under 1e-10 m: nothing changes;
//  - rising: the free neighbours whose ground plus water lies below D are
//    the candidates, each listed once; the level that holds dv over the lake
//    and the candidates below it is found level by level, and those
//    candidates join the lake with their water (their depth goes to 0);
//  - falling past the ground of the highest cells the lake has taken: those
//    cells are given back from the top while the level that releases dv
//    stands below them; a lake holding only its map cells may not do this.
// into (olake_inflow_volume) and from (olake_outflow_volume) take the moved
// water, the joined cells' water with it; volume is set from the level and
// cells; olake_balance_error takes dv + volume before + water joined -
// volume after, which is what a level held at the floor could not give.
//
// The work buffers of surface are sized on the first call (cells + 1 each)
// and reused. A lake drained below its extent with no cell to give back,
// one that cannot release its demand, and a sort that overflows its stack
// stop the run (code 4000) and leave the later lakes as they were.
void olake_extent(const grid_state& grid, const int* dike_mask, surface_state& surface);
