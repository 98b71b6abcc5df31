#pragma once
// Rules of the surface subsystem's per-cell loops.
//
// Every per-cell loop is a static parallel loop in which each iteration
// writes only its own cell, so its results do not depend on the thread
// count; each loop takes as many threads as its cells fill at
// cells_per_thread a thread (sweep_cells_per_thread for the routers'
// sweeps), and a small grid runs on the calling thread, where starting the
// threads would cost more than the work.
//
// Sums over the cells that reach an output are formed in a fixed order, so
// that a run prints the same digits on any number of threads: the cells are
// cut into blocks of a fixed size, each block is summed in cell order (the
// blocks in parallel), and the block sums are added in block order.

#include <algorithm>

#include "core/parallel_team.h"

constexpr int sum_block_cells = 1024;

// Threads of a routers' sweep over n cells.
inline int sweep_team(int n) { return team_for(n, sweep_cells_per_thread); }

// Threads of a loop over blocks of sum_block_cells cells.
inline int block_team(int blocks) {
  return team_for(static_cast<long long>(blocks) * sum_block_cells, cells_per_thread);
}

// Blocks covering cells 1..cells.
inline int sum_blocks(int cells) {
  return cells > 0 ? (cells + sum_block_cells - 1) / sum_block_cells : 0;
}

inline int block_of_cell(int cell) { return (cell - 1) / sum_block_cells; }
inline int block_first_cell(int block) { return 1 + block * sum_block_cells; }
inline int block_last_cell(int block, int cells) {
  return std::min(cells, (block + 1) * sum_block_cells);
}

// The contiguous share of cells 1..cells that thread t of count threads
// takes in a parallel region that cuts the cells itself: first > last when
// the share is empty.
inline void thread_cells(int cells, int t, int count, int& first, int& last) {
  first = 1 + int(static_cast<long long>(cells) * t / count);
  last = int(static_cast<long long>(cells) * (t + 1) / count);
}

// Adds partials[0..blocks-1] in block order.
inline double add_block_sums(const double* partials, int blocks) {
  double total = 0.0;
  for (int b = 0; b < blocks; ++b) total += partials[b];
  return total;
}

// Sum of term(i) over cells 1..cells; partials holds sum_blocks(cells)
// values, sized at set-up.
template <class Term>
double ordered_cell_sum(int cells, double* partials, Term term) {
  const int blocks = sum_blocks(cells);
#pragma omp parallel for schedule(static) num_threads(block_team(blocks))
  for (int b = 0; b < blocks; ++b) {
    const int last = block_last_cell(b, cells);
    double s = 0.0;
    for (int i = block_first_cell(b); i <= last; ++i) s += term(i);
    partials[b] = s;
  }
  return add_block_sums(partials, blocks);
}
