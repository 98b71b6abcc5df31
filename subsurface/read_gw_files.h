#pragma once
// The groundwater's side files: the static-flux file (GW_FLUXBOUNDTABLE)
// and the observation-well list (OUT_WELL_LOCATION). Both are a count on the
// first line, then that many lines naming a grid row and column; blank lines
// are passed over. Every refusal names the file and the line (error 4000).

#include <span>
#include <vector>

class safe_file;

// Lines of "row column flux": each flux (m3/day, positive out of the
// aquifer) becomes static_flux [0..cells] of the cell at row and column,
// flux / 86400 / (dx x dx) m/s; a position inside the grid but outside the
// watershed writes slot 0, which no cell uses. Refused: a count that is not
// a whole number of 0 or more, a line that is not two whole numbers and a
// number, a row or column outside the grid, a file shorter than its count,
// a line longer than 20000 characters. False after the message.
bool read_static_flux_file(safe_file& file, int* const* mask, int rows, int cols, double dx,
                           std::span<double> static_flux);

// Lines of "row column": row[1..count] and column[1..count] of the
// observation wells, refused as above (no flux). False after the message,
// with count 0.
bool read_well_list_file(safe_file& file, int rows, int cols, int& count, std::vector<int>& row,
                         std::vector<int>& column);
