#pragma once
// The hydrometeorology of a long-term run: the current hour's record that the
// evapotranspiration, frozen-ground and snow routines read, and what its
// reader keeps between hours. Both belong to one run, so a batch or
// calibration run never inherits another run's repair tables.

#include <array>
#include <cstddef>
#include <string>
#include <vector>

// The layout of the hydrometeorological file; one per run.
enum class hmet_format : int {
  none = 0,   // no layout card that the reader knows (HMET_ASCII_PET alone)
  zep,        // HMET_ZEP: one line of eleven fields per hour
  samson,     // HMET_SAMSON: two header lines, then fixed columns per hour
  surfaways,  // HMET_SURFAWAYS: one fixed-column line per element and day
  gridded,    // HMET_ASCII: one token per hour naming a set of ASCII grids
};

// What the reader takes from the project besides the file and the grid.
struct hmet_settings {
  hmet_format format = hmet_format::none;
  int orographic = 0;       // OROGVAR_HMET: per-cell air temperature by lapse rate
  double gage_elev = 0.0;   // elevation of the gauge, units of the elevation map
  double lapse_rate = 5.0;  // temperature drop per 1000 elevation units, deg C
  int quiet = 0;            // no end-of-file lines
};

struct hmet_record {
  int year = 0, month = 0, day = 0, hour = 0;                  // current record
  int end_year = 0, end_month = 0, end_day = 0, end_hour = 0;  // last record (first call)
  int record_count = 0;   // lines (ZEP, SAMSON), hours (surface airways) or tokens (gridded)
  int read_number = 0;    // call number: 1 at set-up, then 2, 3, ...; the caller advances it
  int missing_count = 0;  // values repaired from an earlier value since the run began

  double direct_rad = 0.0;    // unit of the file
  double global_rad = 0.0;    // unit of the file
  double cloud_cover = 0.0;   // tenths, 0 to 10
  double air_temp = 0.0;      // deg C; gridded hours: mean over the cells that have one
  double rel_humidity = 0.0;  // percent
  double pressure = 0.0;      // mb
  double wind_speed = 0.0;    // m/s
  char station_name[23] = {};  // SAMSON: columns 8-29 of the first header line, as written
  double latitude = 0.0;       // SAMSON: degrees, no sign
  double longitude = 0.0;      // SAMSON: degrees, no sign

  // Per-cell values [1..cells]. Gridded hours fill all seven; with orographic
  // variation the other layouts fill cell_air_temp only. Empty otherwise.
  std::vector<double> cell_direct_rad;    // unit of the file
  std::vector<double> cell_global_rad;    // unit of the file
  std::vector<double> cell_cloud_cover;   // tenths
  std::vector<double> cell_air_temp;      // deg C; -9999 where the hour has none
  std::vector<double> cell_rel_humidity;  // percent
  std::vector<double> cell_pressure;      // mb
  std::vector<double> cell_wind_speed;    // m/s
};

// Hours of the day a repair table holds: 0 to 24, since ZEP writes midnight
// as hour 24 of the day before.
constexpr int hmet_hours = 25;

// Last valid values of the ZEP file, as written in it.
struct zep_repair_tables {
  std::array<double, hmet_hours> direct_rad{};  // by hour of the day
  std::array<double, hmet_hours> global_rad{};
  std::array<int, hmet_hours> rel_humidity{};   // percent
  std::array<int, hmet_hours> temperature{};    // deg F
  double pressure = 0.0;                        // whole thousandths of an inch of mercury
  int sky_cover = 0;                            // percent
  int wind = 0;                                 // knots
};

// Last valid values of the SAMSON file, as written in it.
struct samson_repair_tables {
  std::array<int, hmet_hours> direct_rad{};     // by hour of the day
  std::array<int, hmet_hours> global_rad{};
  std::array<double, hmet_hours> temperature{};  // whole tenths of a deg C
  std::array<int, hmet_hours> rel_humidity{};   // percent
  int pressure = 0;                             // mb
  int sky_cover = 0;                            // tenths
  double wind = 0.0;                            // whole hundredths of a m/s
  int skip_header = 0;                          // 1: two header lines precede the next hour
  int reads = 0;                                // hourly reads since the first call
};

// Hours of one surface-airways element line.
constexpr int surfaways_values = 24;

// One day of surface-airways elements, each by position in its line, as
// written; a missing value keeps the day before's.
struct surfaways_day {
  std::array<int, surfaways_values> direct_rad{};  // tenths of the unit of the record
  std::array<int, surfaways_values> global_rad{};
  std::array<int, surfaways_values> pressure{};    // thousandths of an inch of mercury
  std::array<int, surfaways_values> rel_humidity{};  // percent
  std::array<int, surfaways_values> temperature{};   // deg F
  std::array<int, surfaways_values> sky_cover{};     // tenths
  std::array<int, surfaways_values> wind{};          // knots
  int last_pressure = 0, last_sky_cover = 0, last_wind = 0;  // last valid, any position
  int has_direct = 0, has_global = 0;  // a line of the element was read for the day
  int year = 0, month = 0, day = 0;    // the day the tables hold
  int next_hour = surfaways_values;    // hour delivered next; 24: read the next day
  std::string pending;   // a line of the next day, read ahead; empty when none
  int pending_line = 0;   // its line number in the file
  char last_code[5] = {};  // element code of the last line taken
  int done = 0;           // the data have ended
};

// One gridded hour's grid as its header and values give it.
struct hmet_grid {
  int cols = 0, rows = 0;
  double ll_x = 0.0, ll_y = 0.0;  // lower-left corner, m
  double cell_size = 0.0;         // m
  double no_data = 0.0;
  int opened = 0;                 // the grid of this hour opened and read
  std::vector<double> values;     // rows x cols, top row first; capacity kept between hours
};

// The eight grids of a gridded hour, in the order they are read.
enum hmet_grid_kind : int {
  grid_cloud, grid_precip, grid_pressure, grid_humidity, grid_temperature,
  grid_direct, grid_global, grid_wind, hmet_grid_count
};

struct hmet_reader_state {
  zep_repair_tables zep;
  samson_repair_tables samson;
  surfaways_day surfaways;
  std::array<hmet_grid, hmet_grid_count> grids;
  std::string list_line;       // gridded: the line of the hour list being read
  std::size_t list_pos = 0;    // gridded: where its next token starts
  std::vector<char> grid_text;  // gridded: the values of one grid file as text
  int line = 0;                // lines of the file read so far
};
