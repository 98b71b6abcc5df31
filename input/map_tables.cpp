// The grid mapping table file: its keywords, its sections and rows, the
// generic reader of one table into per-cell arrays, and the check report that
// tells the run which tables the file holds.

#include "input/map_tables.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/error_state.h"
#include "core/physical_range.h"
#include "run/model_state.h"
#include "input/read_grid_inputs.h"

namespace {

constexpr const char* marker = grid_table_marker;
constexpr int value_column = 86;   // values start at column 87 (index 86)
constexpr int id_columns = 6;      // the id stands in columns 1-6
constexpr int check_width = 35;    // name and dots of a check-report line

struct keyword_kind {
  const char* word;
  int kind;
};

// In the order of classification: a line takes the first keyword it begins
// with, so GROUNDWATER_BOUNDARY must come before GROUNDWATER.
constexpr keyword_kind keywords[] = {
    {"INTERCEPTION", 2},
    {"RETENTION", 3},
    {"GREEN_AMPT_INFILTRATION", 4},
    {"GREEN_AMPT_INITIAL_SOIL_MOISTURE", 5},
    {"RICHARDS_EQN_INFILTRAIION_HAVERCAMP", 6},
    {"RICHARDS_EQN_INFILTRATION_BROOKS", 7},
    {"EVAPOTRANSPIRATION", 8},
    {"SEDIMENTS", 9},
    {"SOIL_EROSION_PROPS", 10},
    {"MATERIAL_INDEX", 13},
    {"NUM_IDS", 137},
    {"NUM_CONTAM", 139},
    {"NUM_SED", 140},
    {"MULTI_LAYER_SOIL", 201},
    {"INDEX_MAP", 138},
    {"CONTAMINANT_TRANSPORT", 11},
    {"WETLAND_PROPERTIES", 12},
    {"OVERLAND_BOUNDARY", 14},
    {"GROUNDWATER_BOUNDARY", 18},
    {"TIME_SERIES_INDEX", 15},
    {"WELL_TABLE", 16},
    {"GROUNDWATER", 17},
    {"AREA_REDUCTION", 19},
    {"NSM_N", 20},
    {"NSM_P", 21},
    {"NSM_C", 22},
    {"NSM_OTH", 23},
    {"DISPERSION", 24},
    {"PRECIP_CONC", 50000},
    {"PARTITION", 60000},
    {"NSM_SOIL_C", 25},
    {"NSM_SOIL_N", 26},
    {"NSM_SOIL_P", 27},
    {"NSM_GW_N", 28},
    {"NSM_GW_P", 29},
    {"NSM_GW_OTH", 30},
    {"NSM_SOIL_KM", 31},
    {"NSM_SOIL_KOC", 32},
};

constexpr int values_per_row[table_kind::last_table + 1] = {
    0, 1, 2, 1, 7, 1, 9, 11, 4, 0, 5, 8, 7, 0, 2, 1, 3,
    2, 1, 1, 4, 3, 2, 3, 1, 2, 5, 6, 4, 4, 2, 6, 6};

struct check_line {
  const char* name;
  int kind;
};

// The report's lines, in the order they print.
constexpr check_line check_lines[] = {
    {"Roughness", 1},
    {"Interception", 2},
    {"Retention", 3},
    {"G&A Infiltration", 4},
    {"G&A Soil Moisture", 5},
    {"Richards Havercamp", 6},
    {"Richards Brooks", 7},
    {"Evapotranspiration", 8},
    {"Sediments", 9},
    {"Sediment Erosion Properties", 10},
    {"Contaminants", 11},
    {"Wetlands", 12},
    {"Overland Boundary", 14},
    {"Groundwater Wells", 16},
    {"Groundwater", 17},
    {"Groundwater Boundary", 18},
    {"Area Reduction", 19},
    {"NSM Nitrogen", 20},
    {"NSM Phosphorus", 21},
    {"NSM Other", 23},
    {"NSM Carbon", 22},
    {"NSM Dispersion", 24},
    {"NSM Soil Carbon", 25},
    {"NSM Soil Nitrogen", 26},
    {"NSM Soil Phosphorus", 27},
    {"NSM Groundwater Nitrogen", 28},
    {"NSM Groundwater Phosphorus", 29},
    {"NSM Groundwater Other", 30},
    {"NSM Soil Km", 31},
    {"NSM Soil Koc", 32},
};

bool begins_with(const char* line, const char* word) {
  return std::strncmp(line, word, std::strlen(word)) == 0;
}

bool is_separator(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n'; }
bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::size_t skip_separators(const std::string& line, std::size_t pos) {
  while (pos < line.size() && is_separator(line[pos])) ++pos;
  return pos;
}

// The next token from pos (a double-quoted one may hold separators; its
// quotes are dropped); pos moves past it and the separators after it.
std::string take_token(const std::string& line, std::size_t& pos) {
  pos = skip_separators(line, pos);
  std::string token;
  if (pos < line.size() && line[pos] == '"') {
    const std::size_t close = line.find('"', pos + 1);
    const std::size_t end = close == std::string::npos ? line.size() : close;
    token = line.substr(pos + 1, end - pos - 1);
    pos = close == std::string::npos ? line.size() : close + 1;
  } else {
    const std::size_t start = pos;
    while (pos < line.size() && !is_separator(line[pos])) ++pos;
    token = line.substr(start, pos - start);
  }
  pos = skip_separators(line, pos);
  return token;
}

// The count of a "KEYWORD n" line: its second word as a whole number, 0 when
// it is none.
int count_of(const std::string& line) {
  const char* p = line.c_str();
  int value = 0;
  if (!skip_fields(p, 1) || !take_int_field(p, value)) return 0;
  return value;
}

// The line's id field: a whole number in columns 1-6, ended by a blank or by
// the field's end.
bool parse_id(const std::string& line, int& id) {
  const std::string field = line.substr(0, id_columns);
  const char* p = field.c_str();
  while (*p == ' ' || *p == '\t') ++p;
  if (*p == '\0') return false;
  char* stop = nullptr;
  const long v = std::strtol(p, &stop, 10);
  if (stop == p || (*stop != '\0' && !is_blank(*stop))) return false;
  if (v < -2147483647L || v > 2147483647L) return false;
  id = static_cast<int>(v);
  return true;
}

// Which check-report outcome a kind has, from a file rewound to its start.
bool table_present(table_file& file, int kind, bool parb) {
  std::string line;
  if (kind == table_kind::contaminants) {
    // The section names no map; it counts unless it says it has no
    // constituents.
    std::vector<index_map_entry> maps;
    if (search_section(file, marker, table_kind::index_map, classify_table_line, kind, maps,
                       line) != section_search::found)
      return false;
    if (!file.next(line) || classify_table_line(line.c_str()) != table_kind::num_contam)
      return true;
    return count_of(line) > 0;
  }
  std::string map_path;
  const bool found = find_map_table(file, kind, map_path) != 0;
  if (kind == table_kind::sediments) {
    // No map either: a positive class count after the section line counts.
    if (found) return true;
    if (!file.next(line) || classify_table_line(line.c_str()) != table_kind::num_sed) return false;
    return count_of(line) > 0;
  }
  if (!found || parb) return false;
  safe_file map;
  if (!map.open(map_path.c_str(), "r")) return false;
  map.close();
  return true;
}

}  // namespace

std::string take_table_token(const std::string& line, std::size_t& pos) {
  return take_token(line, pos);
}

bool parse_table_id(const std::string& line, int& id) { return parse_id(line, id); }

int table_count(const std::string& line) { return count_of(line); }

int table_values_per_row(int kind) {
  return kind >= 1 && kind <= table_kind::last_table ? values_per_row[kind] : 0;
}

long table_file::bytes() const {
  std::FILE* f = file_.stream;
  if (f == nullptr) return 0;
  const long here = std::ftell(f);
  if (here < 0 || std::fseek(f, 0, SEEK_END) != 0) return 0;
  const long length = std::ftell(f);
  std::fseek(f, here, SEEK_SET);
  return length;
}

bool table_file::open(const char* path) {
  close();
  if (!file_.open(path, "r")) return false;
  source_.stream = file_.stream;
  source_.path = file_.path;
  source_.line_number = 0;
  return true;
}

void table_file::close() {
  file_.close();
  source_ = text_source{};
}

bool table_file::rewind() {
  if (!file_.is_open()) return false;
  std::rewind(file_.stream);
  source_.line_number = 0;
  return true;
}

bool table_file::next(std::string& line) { return read_source_line(source_, line) != 0; }

int map_table_kind(const char* line) {
  for (const keyword_kind& k : keywords)
    if (begins_with(line, k.word)) return k.kind;
  return table_kind::none;
}

int classify_table_line(const char* line) {
  if (begins_with(line, "ROUGHNESS")) return table_kind::roughness;
  return map_table_kind(line);
}

const char* map_table_name(int kind) {
  if (kind == table_kind::roughness) return "ROUGHNESS";
  if (kind == table_kind::nsm_soil_km || kind == table_kind::nsm_soil_koc ||
      kind == table_kind::multi_layer_soil)
    return "";
  for (const keyword_kind& k : keywords)
    if (k.kind == kind) return k.word;
  return "";
}

namespace {

// An index-map line: the keyword, the path as one token, and the name, the
// rest of the line byte for byte.
index_map_entry parse_index_map_line(const std::string& line) {
  std::size_t pos = 0;
  take_token(line, pos);
  index_map_entry entry;
  entry.path = take_token(line, pos);
  entry.name = line.substr(pos);
  return entry;
}

}  // namespace

section_search search_section(table_file& file, const char* marker, int list_kind,
                              line_classifier classify, int kind,
                              std::vector<index_map_entry>& list, std::string& line) {
  list.clear();
  if (!file.is_open() || !file.next(line) || !begins_with(line.c_str(), marker))
    return section_search::no_marker;
  bool more = file.next(line);
  while (more && classify(line.c_str()) == list_kind) {
    list.push_back(parse_index_map_line(line));
    more = file.next(line);
  }
  // Any later line may open the section, wherever it stands.
  while (more && classify(line.c_str()) != kind) more = file.next(line);
  if (!more) {
    line.clear();
    return section_search::no_section;
  }
  return section_search::found;
}

const index_map_entry* find_index_map(const std::vector<index_map_entry>& list,
                                      const std::string& name) {
  for (auto entry = list.rbegin(); entry != list.rend(); ++entry)
    if (entry->name == name) return &*entry;
  return nullptr;
}

std::string section_map_name(const std::string& line) {
  std::size_t pos = 0;
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
  while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t') ++pos;
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
  return line.substr(pos);
}

int find_map_table(table_file& file, int kind, std::string& map_path) {
  map_path.clear();
  std::vector<index_map_entry> maps;
  std::string line;
  const section_search search = search_section(file, marker, table_kind::index_map,
                                               classify_table_line, kind, maps, line);
  if (search == section_search::no_marker) return 0;
  if (kind == table_kind::time_series_index || kind == table_kind::contaminants) return 1;
  if (search == section_search::no_section) return 0;
  const index_map_entry* entry = find_index_map(maps, section_map_name(line));
  if (!entry) return 0;
  map_path = entry->path;
  return 1;
}

namespace {

int read_count_line(table_file& file, int kind) {
  std::string line;
  if (!file.next(line) || classify_table_line(line.c_str()) != kind) return 0;
  return count_of(line);
}

}  // namespace

int read_num_ids(table_file& file) { return read_count_line(file, table_kind::num_ids); }
int read_num_sed(table_file& file) { return read_count_line(file, table_kind::num_sed); }
int read_num_contam(table_file& file) { return read_count_line(file, table_kind::num_contam); }

void skip_table_header(table_file& file) {
  std::string line;
  while (file.next(line))
    if (classify_table_line(line.c_str()) == table_kind::none) return;
}

namespace {

// The id and k values of a row line; false when one cannot be read.
bool parse_row(const std::string& line, int& id, int k, double* values) {
  if (!parse_id(line, id)) return false;
  if (k <= 0) return true;
  if (line.size() <= static_cast<std::size_t>(value_column)) return false;
  const char* p = line.c_str() + value_column;
  for (int i = 0; i < k; ++i)
    if (!take_real_field(p, values[i])) return false;
  return true;
}

}  // namespace

int read_table_row(table_file& file, int& id, int k, double* values) {
  std::string line;
  if (!file.next(line)) return 0;
  return parse_row(line, id, k, values) ? 1 : 0;
}

bool read_table_rows(table_file& file, const char* table, int n, int k, table_rows& rows) {
  rows.per_row = k;
  rows.ids.clear();
  rows.lines.clear();
  rows.values.clear();
  rows.largest_id = 0;
  std::vector<double> row(k > 0 ? k : 1);
  // Rows grow as they are read, so a count far beyond the rows the file
  // holds ends at the first missing row rather than in a huge allocation.
  for (int r = 1; r <= n; ++r) {
    std::string line;
    int id = 0;
    const bool have_line = file.next(line);
    if (!have_line || !parse_row(line, id, k, row.data())) {
      if (!have_line) {
        raise_message(
            "Error: the %s table of the mapping table file %s ends at row %d of its %d rows.\n",
            table, file.path(), r, n);
      } else {
        raise_message(
            "Error: row %d of the %s table in the mapping table file %s (line %d) cannot be "
            "read: it needs a whole-number id in columns 1-6 and %d numbers from column 87.\n",
            r, table, file.path(), file.line_number(), k);
      }
      return false;
    }
    if (id < 1) {
      raise_message(
          "Error: row %d of the %s table in the mapping table file %s (line %d) has the id %d; "
          "table ids must be 1 or more.\n",
          r, table, file.path(), file.line_number(), id);
      return false;
    }
    try {
      rows.ids.push_back(id);
      rows.lines.push_back(file.line_number());
      rows.values.insert(rows.values.end(), row.begin(), row.begin() + k);
    } catch (const std::bad_alloc&) {
      raise_message("Error allocating memory for variable %s\n", "Table Data");
      return false;
    }
    if (id > rows.largest_id) rows.largest_id = id;
  }
  return true;
}

bool read_precip_conc(table_file& file, int count, std::span<double> values) {
  std::string line;
  if (!file.next(line)) return true;
  if (classify_table_line(line.c_str()) != table_kind::precip_conc) return true;
  const char* p = line.c_str();
  skip_fields(p, 1);
  for (int i = 1; i <= count; ++i) {
    double v = 0.0;
    if (!take_real_field(p, v)) {
      raise_message(
          "Error: the PRECIP_CONC line of the mapping table file %s (line %d) needs %d numbers; "
          "number %d cannot be read.\n",
          file.path(), file.line_number(), count, i);
      return false;
    }
    if (!within(ranges::non_negative, v)) {
      raise_message(
          "Error: the PRECIP_CONC line of the mapping table file %s (line %d): concentration %d "
          "is %g, outside its range; it must be 0 or more.\n",
          file.path(), file.line_number(), i, v);
      return false;
    }
    if (static_cast<std::size_t>(i) < values.size()) values[i] = v;
  }
  file.next(line);  // the header
  return true;
}

void scatter_table_column(const table_rows& rows, int column, std::vector<double>& per_id) {
  const int largest = rows.largest_id;
  for (int i = 0; i < largest && static_cast<std::size_t>(i) < per_id.size(); ++i) per_id[i] = 0.0;
  for (int r = 0; r < rows.count(); ++r) {
    const int id = rows.ids[r];
    if (id >= 1 && static_cast<std::size_t>(id - 1) < per_id.size())
      per_id[id - 1] = rows.value(r, column);
  }
}

void map_ids_to_cells(std::span<double> destination, const std::vector<double>& per_id,
                      int largest_id, const id_grid& ids, int** mask) {
  std::size_t k = 0;
  for (int r = 1; r <= ids.rows; ++r) {
    const int* mask_row = mask[r];
    for (int c = 1; c <= ids.cols; ++c) {
      if (mask_row[c] == 0) continue;
      const int id = ids.at(r, c);
      // Ids the table does not reach read as no value rather than past the
      // per-id array.
      const bool known = id >= 1 && id <= largest_id && static_cast<std::size_t>(id - 1) < per_id.size();
      if (++k < destination.size()) destination[k] = known ? per_id[id - 1] : 0.0;
    }
  }
}

int read_map_table(map_table_context& context, int kind,
                   std::span<const std::span<double>> destinations, int constituents,
                   std::span<double> precip_conc) {
  if (!ensure_ts_index(context)) return 0;
  table_file file;
  if (!file.open(context.path.c_str())) {
    raise_error(64, 0, 0, nullptr, context.path.c_str());
    return 0;
  }
  std::string map_path;
  const int n = find_map_table(file, kind, map_path) ? read_num_ids(file) : 0;
  if (constituents >= 1 && !precip_conc.empty()) {
    if (!read_precip_conc(file, constituents, precip_conc)) return 0;
  } else {
    skip_table_header(file);
  }
  if (n <= 0) {
    raise_error(66, 0, 0, map_table_name(kind));
    return 0;
  }

  table_rows rows;
  if (!read_table_rows(file, map_table_name(kind), n, table_values_per_row(kind), rows)) return 0;
  id_grid ids;
  if (!ids.allocate(context.rows, context.cols)) return 0;
  if (!context.parb) {
    safe_file map;
    if (!map.open(map_path.c_str(), "r")) {
      raise_error(65, 0, 0, nullptr, map_path.c_str());
      return 0;
    }
    const bool read = read_index_map(map, map_path.c_str(), context.header, context.mask, ids,
                                     rows.largest_id, context.rows, context.cols);
    map.close();
    if (!read) return 0;
  }

  std::vector<double> per_id;
  if (rows.largest_id != 0 &&
      !allocate_zeroed(per_id, std::size_t(rows.largest_id) + 1, "Table Data"))
    return 0;
  const int columns = static_cast<int>(destinations.size()) < rows.per_row
                          ? static_cast<int>(destinations.size())
                          : rows.per_row;
  for (int column = 0; column < columns; ++column) {
    if (destinations[column].empty()) continue;
    scatter_table_column(rows, column, per_id);
    map_ids_to_cells(destinations[column], per_id, rows.largest_id, ids, context.mask);
  }
  return 1;
}

void print_map_table_check(const char* name, int present) {
  char line[96];
  int used = std::snprintf(line, sizeof line, "  %s", name);
  while (used < check_width + 2 && used < static_cast<int>(sizeof line) - 3) line[used++] = '.';
  line[used++] = present ? 'Y' : 'N';
  line[used++] = '\n';
  line[used] = '\0';
  std::fputs(line, stdout);
}

void check_map_tables(const char* path, std::span<int> present_by_kind, bool parb) {
  table_file file;
  if (!file.open(path)) {
    raise_error(64, 0, 0, nullptr, path);
    return;
  }
  std::printf("\nChecking 2D grid mapping tables...\n");
  for (const check_line& check : check_lines) {
    file.rewind();
    const int present = table_present(file, check.kind, parb) ? 1 : 0;
    if (static_cast<std::size_t>(check.kind) < present_by_kind.size())
      present_by_kind[check.kind] = present;
    print_map_table_check(check.name, present);
  }
  std::fflush(stdout);
}

int read_ts_index_table(map_table_context& context) {
  if (context.ts_index == nullptr) return 0;
  ts_index_list& index = *context.ts_index;
  index.built = 1;
  table_file file;
  if (!file.open(context.path.c_str())) {
    raise_error(64, 0, 0, nullptr, context.path.c_str());
    return 0;
  }
  std::string unused;
  find_map_table(file, table_kind::time_series_index, unused);
  const int n = read_num_ids(file);
  if (n <= 0) return 1;
  skip_table_header(file);
  for (int r = 1; r <= n; ++r) {
    std::string line;
    int id = 0;
    if (!file.next(line) || !parse_id(line, id)) {
      raise_message(
          "Error: row %d of the TIME_SERIES_INDEX table in the mapping table file %s (line %d) "
          "cannot be read: it needs a whole-number id in columns 1-6 and a series name after "
          "them.\n",
          r, file.path(), file.line_number());
      return 0;
    }
    std::size_t pos = id_columns;
    const std::string name = pos < line.size() ? take_token(line, pos) : std::string();
    std::printf("Adding table to list: %s... ", name.c_str());
    // An empty name would match every series.
    const time_series* series =
        context.series && !name.empty() ? ts_find(*context.series, name.c_str()) : nullptr;
    std::printf(series ? "Success!\n" : "Failure, table not found.\n");
    index.entries.push_back({id, series});
  }
  std::fflush(stdout);
  return 1;
}

bool ensure_ts_index(map_table_context& context) {
  if (context.ts_index == nullptr || context.ts_index->built) return true;
  read_ts_index_table(context);
  return error_state.stop_flag == 0;
}

map_table_context run_map_table_context(model_state& state) {
  input_state& in = state.input;
  map_table_context context;
  context.path = in.settings.mapping_table;
  context.mask = state.grid.mask.table();
  context.rows = state.grid.rows;
  context.cols = state.grid.cols;
  context.cells = state.grid.cells;
  // This version reads no PARB datasets: every table has its index map.
  context.parb = false;
  context.ts_index = &in.ts_index;
  context.series = &in.settings.ts_list;
  return context;
}
