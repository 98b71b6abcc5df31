#pragma once
// Grid mapping tables: an index map gives every cell an integer id and a table
// of the mapping table file gives per id one or more parameter values, which
// the readers here turn into per-cell arrays. The file is read afresh for
// every table asked for; of one read nothing survives but the run's
// time-series index, built from the file's TIME_SERIES_INDEX table by the
// first table read of the run.
//
// File layout, line by line (replacement parameters substituted in each):
//   VALTO_INDEX_MAP_TABLES
//   INDEX_MAP <path> <name>           zero or more; the name is the rest of the line
//   <KEYWORD> <index map name>        a section, in any order
//   NUM_IDS <n>
//   <one header line>
//   n rows: id in columns 1-6, free text to column 86, values from column 87

#include <span>
#include <string>
#include <vector>

#include "core/safe_file.h"
#include "input/ascii_grid.h"
#include "input/series.h"

// Kind codes of the section and count keywords.
namespace table_kind {
constexpr int none = 0;
constexpr int roughness = 1;
constexpr int interception = 2;
constexpr int retention = 3;
constexpr int green_ampt = 4;
constexpr int initial_moisture = 5;
constexpr int havercamp = 6;
constexpr int brooks = 7;
constexpr int evapotranspiration = 8;
constexpr int sediments = 9;
constexpr int soil_erosion = 10;
constexpr int contaminants = 11;
constexpr int wetlands = 12;
constexpr int material_index = 13;
constexpr int overland_boundary = 14;
constexpr int time_series_index = 15;
constexpr int wells = 16;
constexpr int groundwater = 17;
constexpr int groundwater_boundary = 18;
constexpr int area_reduction = 19;
constexpr int nsm_n = 20;
constexpr int nsm_p = 21;
constexpr int nsm_c = 22;
constexpr int nsm_oth = 23;
constexpr int dispersion = 24;
constexpr int nsm_soil_km = 31;
constexpr int nsm_soil_koc = 32;
constexpr int last_table = 32;  // tables of per-cell values are kinds 1..32
constexpr int num_ids = 137;
constexpr int index_map = 138;
constexpr int num_contam = 139;
constexpr int num_sed = 140;
constexpr int multi_layer_soil = 201;
constexpr int precip_conc = 50000;
constexpr int partition = 60000;
}  // namespace table_kind

// The first line of a grid mapping table file begins with this.
constexpr char grid_table_marker[] = "VALTO_INDEX_MAP_TABLES";

// Values per row of each table kind 1..32 (0 for the others).
int table_values_per_row(int kind);

// A mapping table (or stream mapping table) file open for reading, counting
// its lines for messages. Lines come whole, without their line end, with
// replacement parameters substituted while substitution is on.
class table_file {
 public:
  // False when the file cannot be opened (the caller reports it).
  bool open(const char* path);
  void close();
  bool rewind();
  // The next line into line; false at the end of the file.
  bool next(std::string& line);
  bool is_open() const { return file_.is_open(); }
  const char* path() const { return file_.path; }
  int line_number() const { return source_.line_number; }
  // The file's length in bytes (0 when it is not open); the read position stays.
  long bytes() const;

 private:
  safe_file file_;
  text_source source_;
};

// One INDEX_MAP (or ST_INDEX_MAP) line: the map's name and its file path.
struct index_map_entry {
  std::string name;  // the rest of the line after the path, byte for byte
  std::string path;
};

// The kind of a line by its first characters (the ROUGHNESS rule left out):
// each keyword in its fixed order, a prefix match, 0 for none.
int map_table_kind(const char* line);
// The kind with the ROUGHNESS rule first, as every reader classifies.
int classify_table_line(const char* line);
// The keyword of a kind for messages; empty for 31, 32, 201 and unknown kinds.
const char* map_table_name(int kind);

using line_classifier = int (*)(const char* line);

// Where a search for a section ended.
enum class section_search { no_marker, no_section, found };

// From the file's position: the marker line (its first characters compared),
// the list of index-map lines (lines of list_kind, read while they last),
// then lines up to the first of kind, which is left in line. The list is in
// file order.
section_search search_section(table_file& file, const char* marker, int list_kind,
                              line_classifier classify, int kind,
                              std::vector<index_map_entry>& list, std::string& line);
// The path of the last entry named name (a later line of the same name wins),
// or null.
const index_map_entry* find_index_map(const std::vector<index_map_entry>& list,
                                      const std::string& name);
// The next token of line from pos (a double-quoted token may hold blanks; its
// quotes are dropped); pos moves past it and the separators after it.
std::string take_table_token(const std::string& line, std::size_t& pos);
// The whole-number id in columns 1-6 of a row, ended by a blank or the field.
bool parse_table_id(const std::string& line, int& id);
// The count of a "KEYWORD n" line, 0 when its second word is no whole number.
int table_count(const std::string& line);

// The text of a section line from its second word to its end, byte for byte.
std::string section_map_name(const std::string& line);

// From the file's position: the marker line, the INDEX_MAP list, then lines up
// to the first section line of kind. 1 with the path of the index map the
// section names, else 0 (no marker, no section, or a map name no INDEX_MAP
// line declares). Kinds 15 and 11 name no map: 1 once past the marker.
int find_map_table(table_file& file, int kind, std::string& map_path);

// The count of the next line when it is a NUM_IDS / NUM_SED / NUM_CONTAM line,
// else 0.
int read_num_ids(table_file& file);
int read_num_sed(table_file& file);
int read_num_contam(table_file& file);

// Reads lines up to and including the first that is not a keyword line.
void skip_table_header(table_file& file);

// The rows of one table.
struct table_rows {
  int per_row = 0;               // values per row
  std::vector<int> ids;          // per row, in file order
  std::vector<int> lines;        // per row, its line of the file, for messages
  std::vector<double> values;    // row-major, per_row a row
  int largest_id = 0;            // at least 0
  int count() const { return static_cast<int>(ids.size()); }
  double value(int row, int column) const { return values[std::size_t(row) * per_row + column]; }
};

// The next line as a table row: the id from columns 1-6 and k values from
// column 87 on, each a whole blank-separated word. 1, or 0 when the id or a
// value cannot be read (or the file has ended).
int read_table_row(table_file& file, int& id, int k, double* values);

// Reads n rows of k values into rows. A row that cannot be read, or whose id
// is not 1 or more, stops the run with a message naming the table, the row
// and the file's line; false then.
bool read_table_rows(table_file& file, const char* table, int n, int k, table_rows& rows);

// The next line when it is a PRECIP_CONC line: its count values into
// values[1..count], and the header line after it is dropped; otherwise the
// line read was the header. False after a value that cannot be read (reported).
bool read_precip_conc(table_file& file, int count, std::span<double> values);

// An index map's ids: the id of each active cell, 0 elsewhere.
struct id_grid {
  int rows = 0;
  int cols = 0;
  std::vector<int> ids;  // row-major, rows x cols
  bool allocate(int r, int c);  // zeroed; false after the allocation message
  int at(int row, int col) const { return ids[std::size_t(row - 1) * cols + (col - 1)]; }
  int& at(int row, int col) { return ids[std::size_t(row - 1) * cols + (col - 1)]; }
};

// Reads an index map from its open file: the header (its rows and cols must
// be the expected ones: 72 both differ, 73 rows, 74 cols), then rows x cols
// whole numbers, storing the id of every active cell of mask (an id above
// largest_id is 71 with row and column; an early end 70). Then the count of
// every category 1..largest_id that occurs, to the screen and the summary.
// Codes are raised with the map's name; false after any error.
bool read_index_map(safe_file& map, const char* name, map_header& header, int** mask,
                    id_grid& ids, int largest_id, int expected_rows, int expected_cols);

// per_id[id - 1] = the row's value in column (a later row of the same id
// wins), after clearing the first largest_id elements.
void scatter_table_column(const table_rows& rows, int column, std::vector<double>& per_id);

// Gives active cell k (row-major over the mask) destination[k] = the per-id
// value of its id; an id of 0 or less, or above the table's, gives 0.0.
void map_ids_to_cells(std::span<double> destination, const std::vector<double>& per_id,
                      int largest_id, const id_grid& ids, int** mask);

// The run's time-series index: built from the mapping table file by the first
// table read of a run, and made again by each run, since it points into that
// run's own series.
struct ts_index_list {
  int built = 0;
  std::vector<ts_index_entry> entries;  // in table order; a lookup takes the last match
};

// What the table readers need of the run.
struct map_table_context {
  std::string path;                        // the mapping table file
  int** mask = nullptr;                    // numbered mask [0..rows+1][0..cols+1]
  int rows = 0;                            // expected size of every index map
  int cols = 0;
  int cells = 0;                           // active cells
  bool parb = false;                       // grids come from a PARB dataset: no index map is read
  ts_index_list* ts_index = nullptr;       // built on the first read when given
  const time_series_list* series = nullptr;
  map_header header;                       // out: header of the last index map read
};

struct model_state;

// The run's context: its mapping table file, numbered mask, grid size, series
// and time-series index.
map_table_context run_map_table_context(model_state& state);

// Builds the time-series index list (prints "Adding table to list: ..."). 1,
// or 0 when the file cannot be opened (64) or a row cannot be read.
int read_ts_index_table(map_table_context& context);
// Builds the index when the run has none yet; false when that stopped the run.
bool ensure_ts_index(map_table_context& context);

// The generic reader: the kind's table and its index map into up to seven
// per-cell destinations [0..cells], one per value column in order (an empty
// one skips its column). With constituents >= 1 and precip_conc given, the
// PRECIP_CONC line is read into precip_conc[1..constituents]. 1, or 0 after a
// reported error (64, 65, 66, 70-74, or a row that cannot be read).
int read_map_table(map_table_context& context, int kind,
                   std::span<const std::span<double>> destinations, int constituents = 0,
                   std::span<double> precip_conc = {});

// The check report once the project file is read: a line per table kind with
// Y or N, and present_by_kind[kind] set to 1 or 0 (kinds 1..32; the span must
// hold 33). A file that cannot be opened is code 64 and no report.
void check_map_tables(const char* path, std::span<int> present_by_kind, bool parb);
// One line of a check report: two blanks, the name, dots to 35, Y or N.
void print_map_table_check(const char* name, int present);
