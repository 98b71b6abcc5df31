#pragma once
// Tables of the mapping table file that the generic reader does not serve:
// sediment classes, soil erosion properties with a column per class, wells,
// wetlands, contaminants with a table per constituent, and the Richards and
// multi-layer soil tables whose rows the soil readers parse. Each reader opens
// the file itself and leaves nothing open or allocated behind.

#include <array>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "surface/surface_state.h"
#include "input/map_tables.h"
#include "subsurface/subsurface_state.h"

// The SEDIMENTS section: one entry per class [1..count].
struct sediment_classes {
  int count = 0;
  std::vector<double> spec_grav;  // specific gravity
  std::vector<double> part_diam;  // particle diameter, as the table gives it
  std::vector<double> f_bind;     // binding fraction
  std::vector<std::string> output_filename;
};

// 1 when a SEDIMENTS section line follows the file marker, else 0.
int find_sediment_table(table_file& file);
// Reads the sediment classes; a missing section or NUM_SED line gives 0
// classes without a message. Always 0 (a file that cannot be opened is code
// 64, a class row that cannot be read a message, both stopping the run).
int read_sediment_table(const char* path, sediment_classes& classes);

// Per active cell and sediment class, four fractions; the table sets the
// second (the class's share of the parent soil). Cell c, class j at
// c x (classes + 1) + j; class 0 holds the cell's totals.
using sed_fraction = std::array<double, 4>;

// Destinations of the SOIL_EROSION_PROPS table: per cell [0..cells] splash_K,
// detach_coef, detach_exp, detach_crit, sed_K (an empty one is skipped), and
// the class fractions.
struct erosion_destinations {
  std::array<std::span<double>, 5> params;
  std::span<sed_fraction> sed_fract;
};

// 1, or 0 after an error: 91 (NUM_SED differs from classes; stored for the
// run's error test, not reported here), 64, 65, 66, 70-74.
int read_erosion_table(map_table_context& context, erosion_destinations& out, int classes);

// The WELL_TABLE rows become wells at the head of the list (the last row
// first), and the well index map's ids are left in ids for the groundwater
// set-up's scan of the well cells. 1, or 0 after 64, 65, 66, 70-74.
int read_well_table(map_table_context& context, std::vector<gw_well>& wells, id_grid& ids);

// The WETLAND_PROPERTIES table and its index map: wetlands numbered in the
// order their ids first appear in the map, one record per wetland
// [0..wetlands], and each active cell's wetland number in wetland_mask
// [0..cells]. 1, or 0 after 64, 65, 66, 67, 68, 70-74, or an id of the map
// missing from the table or the reverse (a message).
int read_wetland_table(map_table_context& context, int& wetlands,
                       std::vector<wetland_record>& records, std::span<int> wetland_mask);

// A per-constituent parameter grid: row l holds constituent l's value per
// active cell [0..cells]; row 0 is unused.
using constituent_grid = std::vector<std::vector<double>>;

// The CONTAMINANT_TRANSPORT section's constituents. Each read appends its
// constituents after those already held.
struct contaminant_tables {
  int count = 0;                          // constituents read
  std::vector<std::string> descriptions;  // [1..count], quotes removed
  std::vector<std::string> output_names;  // [1..count], quotes removed
  std::vector<std::string> index_maps;    // [1..count]: index map path, empty when unmatched
  std::vector<double> precip_conc;        // concentration in rain per constituent
  std::vector<double> partition;          // partition coefficient per constituent
};

// Reads the constituents' lines, tables and index maps; the eight grids (a
// null one is skipped) take column m of constituent l's table in their rows.
// 1, or 0: no marker or no constituents (no message), 64, 65, 69 (no section
// or an index map name no INDEX_MAP line declares), 70-74, or a line that
// cannot be read (a message).
int read_contam_table(map_table_context& context, std::array<constituent_grid*, 8> grids,
                      contaminant_tables& out);

// A soil reader handed the mapping table file just after its section line,
// with the soil-type id of every active cell already read; its result is
// passed on.
using soil_table_reader = std::function<int(table_file& table, std::span<const int> soil_type)>;

// Richards table types.
constexpr int richards_brooks = 1;
constexpr int richards_havercamp = 2;

// The index map path of the Brooks (type 1) or Havercamp (type 2) table;
// empty when the table is absent or the file cannot be opened.
void find_richards_index_map(const char* path, int type, std::string& name);

// Opens the Richards table's soil-type index map (132 with its path when it
// cannot be opened, -1), reads it into soil_type [0..cells] and lets
// read_soil_table read the table. Its result, or -1.
int read_richards_tables(map_table_context& context, int type,
                         const soil_table_reader& read_soil_table, std::span<int> soil_type);

// As read_richards_tables for the MULTI_LAYER_SOIL table.
int read_multi_layer_soil_table(map_table_context& context,
                                const soil_table_reader& read_soil_layer_table,
                                std::span<int> soil_type);
