#pragma once
// Wells of the WELL_TABLE table: the cells the well index map gives each
// well, and the rate each well cell withdraws during an interval.

#include <span>
#include <vector>

#include "subsurface/groundwater_state.h"

struct id_grid;
struct ts_index_entry;

// Copies the first entry of table (newest first, as read) whose id is id
// into a new entry for cell at the head of active. An id missing from the
// table stops the run naming the row and column (error 4000, false).
bool add_well_instance(const std::vector<gw_well>& table, int id, int cell, int row, int col,
                       std::vector<gw_well>& active);

// Visits the well index map row by row and adds every cell with a well id
// (a cell listed twice gets two entries); then empties table. mask is the
// numbered mask [0..rows+1][0..cols+1]. False when some id was missing
// (each reported, the scan goes on).
bool scan_well_index_map(const id_grid& ids, int* const* mask, int rows, int cols,
                         std::vector<gw_well>& table, std::vector<gw_well>& active);

// Writes each active well's rate (its series at now, or its constant rate,
// m3/s) over the cell area dx x dx into pump_rate of its cell, m/s. A
// series index missing from the table stops the run and the rate is 0.
void apply_well_rates(std::span<const gw_well> wells, std::span<double> pump_rate, double now,
                      double dx, std::span<const ts_index_entry> ts_index);
