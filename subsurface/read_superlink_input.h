#pragma once
// Readers of the pipe network: the superlink network file (STORM_SEWER;
// card words upper case, matched exactly) and, when a pipe takes
// groundwater, the grid-pipe file (GRID_PIPE; card words in any case) that
// says which pipes drain which cells.
//
// Network file cards, one a line, first word deciding:
//   CONNECT k us ds                          superlink k from junction us to ds
//   SJUNC j ground bottom As type i j side dia
//   SLINK k npipes, then its NODE and PIPE cards:
//   NODE i ground invert As type i j side dia   (nodes 1..npipes + 1)
//   PIPE i type diameter width slope n length conductivity spacing
// Every number is checked; a refusal names the file and the line.

#include "core/grid_state.h"
#include "subsurface/superlink_state.h"

class safe_file;

// Reads the open network file (and the grid-pipe file when a pipe is
// leaky; grid_pipe may be null or closed) into net, grading the superlinks
// into computational pipes when c_opt is set. mask is the cell-number grid
// [row][column] of rows x cols. Results: 0; -1 a bad card or a missing
// grid-pipe file; 9 counts beyond the reader's limit; -9 a grid-pipe file
// out of order. Every refusal has printed its message and left a stop code
// (4000, or 4 for the missing grid-pipe file).
int read_superlink_input(safe_file& network, safe_file* grid_pipe, int c_opt,
                         const block_2d<int>& mask, int rows, int cols, superlink_network& net);

// Largest count the reader takes (superjunctions, superlinks, pipes of one
// superlink).
constexpr int superlink_read_limit = 2000;
