#pragma once
// Radar rainfall grids: text rasters of rain rates in inches per hour on a
// grid of their own (six header lines of columns, rows, lower-left x and y,
// cell size and no-data value, each after a keyword, then the rates row by
// row from the north), mapped once per event onto the watershed cells and
// read at each change of rain period.

struct grid_state;
struct radar_precip;

// Reads the header of the grid file name into radar and sizes its value grid
// (within the capacity kept since start-up). 0 read; -1 the file cannot be
// opened or its header does not read (a bad header is reported).
int parse_radar_header(radar_precip& radar, const char* name);

// Maps every watershed cell onto the grid of the file name: a cell centre
// north of the grid takes its row 0, one west of it its column 0, and one
// beyond the south or east edge stops the run with code 102. A header that
// does not read stops the run (code 4000).
void setup_radar_grid(const char* name, radar_precip& radar, const grid_state& grid);

// Reads the rates of the grid file name into the value grid in mm/h: no-data
// and negative values as 0, rates above 100 mm/h held at 100 with a warning.
// 0 read; -1 after a message when the file cannot be opened, has other
// dimensions than the event's grid, or holds a value that does not read.
int read_radar_file(const char* name, radar_precip& radar);

// Every cell's rate (mm/h) from its radar cell; prints and returns the
// largest.
double radar_to_cells(const radar_precip& radar, double* rate, int cells);
