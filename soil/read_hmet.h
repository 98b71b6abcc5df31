#pragma once
// The hourly hydrometeorological input of long-term runs. The set-up reads
// the whole file once (call number 1) to check it, count its hours and take
// its first and last dates, and rewinds it; each hourly step then reads the
// next hour (call numbers 2, 3, ...) into the record, repairing missing
// values from earlier ones and converting to the record's units.

#include "soil/hmet_record.h"

class safe_file;
struct grid_state;
struct input_state;
struct project_settings;

// The layout the cards choose: ZEP when HMET_ZEP is given; else gridded
// hours with HMET_ASCII; else surface airways or SAMSON (the option checks
// refuse two of ZEP, SAMSON and surface airways); none for HMET_ASCII_PET
// alone, which names no layout the reader knows.
hmet_format hmet_format_of(const project_settings& settings);

// The reader's settings of a run: the layout, the orographic variation as
// the grid input set-up left it (gauge elevation, lapse rate 5 unless
// HMET_LAPSE_RATE gives one) and SUPER_QUIET.
hmet_settings hmet_settings_of(const input_state& input);

// Reads the hydrometeorological file (open for reading). Call 1 resets the
// reader, the repair tables and the missing count, checks every line, fills
// the record's first date (year, month, day, hour as written, hour 24
// included), end date and record count, sizes the per-cell arrays the layout
// fills, and rewinds the file. Later calls read one hour into record; with
// orographic variation every cell's air temperature follows the gauge's by
// the lapse rate. grid gives the watershed cells, their elevations and the
// grid's edges and cell size.
//
// Returns, by layout:
//   ZEP        call 1: 0, -1 after a refused line; hours: 11, -1 at the end
//   gridded    call 1: 0, -1 after a refused token; hours: 1, -1 at the end
//              of the list or after a refused grid
//   surfaways  call 1: 0, 1 after a refused line or a day-count mismatch;
//              hours: 0, -1 at the end of the data
//   SAMSON     call 1: 0, -1 after a refused line; hours: 1, -1 at the end
// A refusal prints its message (naming the file and line), raises code
// 4000 and closes the file; -1 otherwise marks the end of the data. A
// layout of none is refused at call 1 naming HMET_ASCII_PET.
int read_hmet_data(safe_file& file, int call, hmet_record& record, hmet_reader_state& reader,
                   const hmet_settings& settings, const grid_state& grid);

// Distance between the centre of model cell (row, col), both from 1, and
// the corner of the gridded-hour cell chosen for it (hmet_col, hmet_row,
// both from 0, row 0 the top): the larger of the x and y distances, each
// taken as | |model| - |gridded| |. A distance above 1.3 gridded cells
// prints a warning for its axis; nothing stops.
double check_ascii_hmet_coords(int row, int col, double north, double west, double cell_size,
                               int hmet_col, int hmet_row, int hmet_rows,
                               double hmet_cell_size, double hmet_ll_x, double hmet_ll_y);

// Moves an hour of 24 to hour 0 of the next day, the month and year rolling
// over (Gregorian leap years). Other hours are left as they are.
void roll_hour_24(int& year, int& month, int& day, int& hour);
