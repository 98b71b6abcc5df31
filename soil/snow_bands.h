#pragma once
// The melt parameters of every cell: uniform from the NWSRFS_MF_MAX,
// NWSRFS_MF_MIN, NWSRFS_FR_USE and NWSRFS_SCF cards, or by elevation band
// from the file NWSRFS_ELEV_SNOW names:
//
//   Number_Bands:    2
//   Lower_Elevation  Upper_Elevation  MF_Min  MF_Max  SCF  FR_USE
//   0                1500             0.2     1.0     1.1  0.1
//   1500             100000000        0.1     0.8     1.3  0.1
//
// (the header words as written, in any layout of blanks, tabs and lines;
// then each band on a line of its own, anything after its six numbers
// ignored). A cell belongs to a band when its elevation lies strictly
// between the band's bounds; a later band wins over an earlier one, and a
// cell in no band keeps the defaults of snow_params.

#include "soil/snow_state.h"

struct project_settings;

// The cards' values, the defaults where a card is absent.
snow_params snow_params_of(const project_settings& settings);

// With NWSRFS_SNOW or EB_NWSRFS_SNOW, sets the parameters of cells 1..cells
// (elevation [1..cells], m) from the bands file when NWSRFS_ELEV_SNOW names
// one, else from the cards; nothing otherwise. The arrays are those
// alloc_snow_cells sized. False after the message (code 4000): a file that
// cannot be opened or whose header is wrong, a band without its six
// numbers, a value that is no finite number, a snow correction factor that
// is not above 0.
bool set_snow_params(const project_settings& settings, int cells, const double* elevation,
                     snow_state& snow);

// The bands file path alone, as set_snow_params reads it.
bool read_snow_bands(const char* path, int cells, const double* elevation, snow_state& snow);
