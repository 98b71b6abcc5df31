#pragma once
// Low spots of overland dikes: the low-spot file, the checks that every low
// spot crosses a dike between two watershed cells, and the weir flow over
// their crests at the end of each overland step.
//
// Low-spot file: a first line whose first word is LOWSPOT (any case, or any
// leading part of it), then one line per low spot,
//   SPOT row column side width-fraction crest-elevation
// with the side 1 top, 2 right, 4 bottom or 8 left; other lines are passed
// over.

#include <string>
#include <vector>

#include "surface/surface_state.h"

class safe_file;
struct grid_state;

// 0 when the line's first word is SPOT (any case, the whole word), else 1 (a
// line without a word too). The first word and the blanks (space, tab,
// newline) before it leave the line.
int is_spot_card(std::string& line);

// Reads the open low-spot file (path for the messages) into spots[1..count]
// (entry 0 holds no low spot) and sets count. False, with the file's message
// and code 4000, for a file that does not start with LOWSPOT, holds no SPOT
// line, holds a line longer than 20000 characters or a SPOT line whose five
// values are not numbers.
bool read_lowspot_file(safe_file& file, const char* path, int& count,
                       std::vector<low_spot>& spots);

// Checks spots 1..count in order against the grid and the dike map
// (dike_mask per cell, empty without one): the low spot's cell and the cell
// across its side must be watershed cells with dikes, the side's bit facing
// the low spot set on the cell across, the crest no lower than either ground
// and the width fraction within 0 to 1.5. The first failure prints its lines
// and stops the run (code 4000); false then. path names the low-spot file.
bool check_low_spots(const grid_state& grid, const std::vector<int>& dike_mask, int count,
                     const std::vector<low_spot>& spots, const char* path);

// Weir flow over the crests of spots 1..count over a step of dt seconds:
// Q = 1.48 x (width fraction x dx) x H^1.5 (m3/s), H the higher stage over
// the crest, from the cell of the higher water surface to the other, when
// the stages differ by more than 1 mm and one of them is above the crest.
// The spots act one after another on the depths (m) as the earlier ones
// left them; none moves more water than the losing side holds. grid is the
// numbered mask, elevation and depth per cell. With olake_cell (overland
// lake per cell, 0 none; null without overland lakes) a lake cell's stage is
// its lake's level and the water it gives or takes goes to the lake's dv.
void embankment_weir_flow(double dt, double dx, int* const* grid, const double* elevation,
                          double* depth, int count, const low_spot* spots,
                          const int* olake_cell = nullptr, olake_record* olakes = nullptr);

struct model_state;

// The weir flow of the run's low spots over a step of dt seconds, with its
// overland lakes; nothing without a low-spot file.
void apply_low_spots(model_state& state, double dt);
