// Readers of the mapping tables with a layout of their own: sediment classes,
// soil erosion properties, wells, wetlands, and the Richards and multi-layer
// soil tables. The contaminant tables have a file of their own.

#include "input/process_map_tables.h"

#include <cmath>
#include <cstdio>
#include <unordered_map>

#include "core/error_state.h"
#include "core/physical_range.h"
#include "input/read_grid_inputs.h"

namespace {

constexpr int sediment_value_column = 40;  // class values start at column 41
constexpr int max_wetlands = 300;
constexpr int erosion_params = 5;           // per-cell parameters before the class columns
constexpr int well_values = 3;
constexpr int wetland_values = 7;

bool stopped() { return error_state.stop_flag != 0; }

// Opens the mapping table file, or reports code 64.
bool open_table(table_file& file, const std::string& path) {
  if (file.open(path.c_str())) return true;
  raise_error(64, 0, 0, nullptr, path.c_str());
  return false;
}

// Reads the index map at path for the table's ids; 65 when it cannot be
// opened. Skipped when grids come from a PARB dataset.
bool read_table_index_map(map_table_context& context, const std::string& path, int largest_id,
                          id_grid& ids) {
  if (!ids.allocate(context.rows, context.cols)) return false;
  if (context.parb) return true;
  safe_file map;
  if (!map.open(path.c_str(), "r")) {
    raise_error(65, 0, 0, nullptr, path.c_str());
    return false;
  }
  const bool read = read_index_map(map, path.c_str(), context.header, context.mask, ids,
                                   largest_id, context.rows, context.cols);
  map.close();
  return read;
}

// A table value that stands for a whole number, truncated; false when it lies
// beyond the range of an int.
bool truncated_int(double v, int& value) {
  if (!(std::fabs(v) < 2147483647.0)) return false;
  value = static_cast<int>(v);
  return true;
}

// A particle no denser than water never settles: its settling law has no
// real value.
constexpr physical_range specific_gravity{1.0, ranges::unbounded, true, false};

// The values of class i within their physical ranges; false after the
// message naming the class, the file's line, the value and the range.
bool sediment_class_within(const table_file& file, int i, const sediment_classes& classes) {
  struct checked {
    const char* what;
    double value;
    physical_range range;
  };
  const checked values[3] = {{"specific gravity", classes.spec_grav[i], specific_gravity},
                             {"particle diameter", classes.part_diam[i], ranges::positive},
                             {"binding fraction", classes.f_bind[i], ranges::fraction}};
  for (const checked& v : values) {
    if (within(v.range, v.value)) continue;
    char allowed[96];
    range_words(v.range, allowed, sizeof allowed);
    raise_message(
        "Error: class %d of the SEDIMENTS table in the mapping table file %s (line %d): the %s "
        "%g is outside its range; it must be %s.\n",
        i, file.path(), file.line_number(), v.what, v.value, allowed);
    return false;
  }
  return true;
}

// Each row's class fractions of the parent soil lie in 0..1 and sum to 1.
bool erosion_fractions_within(const table_file& file, const table_rows& rows, int classes) {
  for (int r = 0; r < rows.count(); ++r) {
    double sum = 0.0;
    for (int j = 1; j <= classes; ++j) {
      const double f = rows.value(r, erosion_params - 1 + j);
      if (!within(ranges::fraction, f)) {
        raise_message(
            "Error: row %d of the SOIL_EROSION_PROPS table in the mapping table file %s (line "
            "%d): the fraction %g of sediment class %d is outside its range; it must be from 0 "
            "to 1.\n",
            r + 1, file.path(), rows.lines[r], f, j);
        return false;
      }
      sum += f;
    }
    if (!(std::fabs(sum - 1.0) <= fraction_sum_tolerance)) {
      raise_message(
          "Error: row %d of the SOIL_EROSION_PROPS table in the mapping table file %s (line "
          "%d): the fractions of its %d sediment classes sum to %g; they must sum to 1 within "
          "%g.\n",
          r + 1, file.path(), rows.lines[r], classes, sum, fraction_sum_tolerance);
      return false;
    }
  }
  return true;
}

// Every active cell's soil id has a row of the table; a cell without one
// would erode with no properties and no soil to give. False after the
// message naming the first such cell, and an id of the table that no cell
// has, the likely slip, when there is one.
bool erosion_ids_covered(const map_table_context& context, const table_file& file,
                         const std::string& map_path, const table_rows& rows,
                         const id_grid& ids) {
  std::vector<int> has_row(std::size_t(rows.largest_id) + 1, 0);
  for (int id : rows.ids) has_row[std::size_t(id)] = 1;
  std::vector<int> has_cell(has_row.size(), 0);
  int bad_row = 0, bad_col = 0, bad_id = 0, cell = 0, bad_cell = 0;
  for (int r = 1; r <= ids.rows; ++r) {
    for (int c = 1; c <= ids.cols; ++c) {
      if (context.mask[r][c] == 0) continue;
      ++cell;
      const int id = ids.at(r, c);
      const bool known = id >= 1 && id <= rows.largest_id && has_row[std::size_t(id)];
      if (known) has_cell[std::size_t(id)] = 1;
      if (!known && bad_cell == 0) {
        bad_cell = cell;
        bad_row = r;
        bad_col = c;
        bad_id = id;
      }
    }
  }
  if (bad_cell == 0) return true;
  char hint[160] = "";
  for (int r = 0; r < rows.count(); ++r) {
    if (has_cell[std::size_t(rows.ids[r])]) continue;
    std::snprintf(hint, sizeof hint, "; the table's id %d (line %d) is in no cell",
                  rows.ids[r], rows.lines[r]);
    break;
  }
  raise_message(
      "Error: cell %d (row %d, column %d) of the index map %s has the soil id %d, which has no "
      "row in the SOIL_EROSION_PROPS table of the mapping table file %s, so its cells would "
      "have no erosion properties%s.\n",
      bad_cell, bad_row, bad_col, map_path.c_str(), bad_id, file.path(), hint);
  return false;
}

}  // namespace

int find_sediment_table(table_file& file) {
  std::vector<index_map_entry> maps;
  std::string line;
  return search_section(file, grid_table_marker, table_kind::index_map, classify_table_line,
                        table_kind::sediments, maps, line) == section_search::found
             ? 1
             : 0;
}

int read_sediment_table(const char* path, sediment_classes& classes) {
  classes = sediment_classes{};
  table_file file;
  if (!file.open(path)) {
    raise_error(64, 0, 0, nullptr, path);
    return 0;
  }
  const int n = find_sediment_table(file) ? read_num_sed(file) : 0;
  if (n <= 0) return 0;
  std::string line;
  file.next(line);  // the header
  // The rows grow with the lines really read: a count far beyond the file's
  // lines stops at the first missing line instead of reserving its rows.
  classes.spec_grav.assign(1, 0.0);
  classes.part_diam.assign(1, 0.0);
  classes.f_bind.assign(1, 0.0);
  classes.output_filename.assign(1, std::string());
  for (int i = 1; i <= n; ++i) {
    classes.spec_grav.push_back(0.0);
    classes.part_diam.push_back(0.0);
    classes.f_bind.push_back(0.0);
    classes.output_filename.emplace_back();
    const bool have_line = file.next(line);
    bool read = have_line && line.size() > static_cast<std::size_t>(sediment_value_column);
    std::size_t pos = sediment_value_column;
    if (read) {
      const char* p = line.c_str() + pos;
      const char* start = p;
      read = take_real_field(p, classes.spec_grav[i]) && take_real_field(p, classes.part_diam[i]) &&
             take_real_field(p, classes.f_bind[i]);
      pos += p - start;
    }
    if (read) classes.output_filename[i] = take_table_token(line, pos);
    if (read && !sediment_class_within(file, i, classes)) {
      classes = sediment_classes{};
      return 0;
    }
    if (!read || classes.output_filename[i].empty()) {
      raise_message(
          "Error: class %d of the SEDIMENTS table in the mapping table file %s (line %d) cannot be "
          "read: it needs specific gravity, diameter, binding fraction and an output file name "
          "from column 41.\n",
          i, file.path(), file.line_number());
      classes = sediment_classes{};
      return 0;
    }
  }
  classes.count = n;
  return 0;
}

int read_erosion_table(map_table_context& context, erosion_destinations& out, int classes) {
  if (!ensure_ts_index(context)) return 0;
  table_file file;
  if (!open_table(file, context.path)) return 0;
  std::string map_path;
  if (!find_map_table(file, table_kind::soil_erosion, map_path)) {
    raise_error(66, 0, 0, "SOIL_EROSION_PROPS");
    return 0;
  }
  const int n = read_num_ids(file);
  const int table_classes = read_num_sed(file);
  if (table_classes != classes) {
    set_error(91, classes, table_classes);
    return 0;
  }
  if (n <= 0) {
    raise_error(66, 0, 0, "SOIL_EROSION_PROPS");
    return 0;
  }
  skip_table_header(file);
  table_rows rows;
  if (!read_table_rows(file, "SOIL_EROSION_PROPS", n, erosion_params + classes, rows)) return 0;
  if (!erosion_fractions_within(file, rows, classes)) return 0;
  id_grid ids;
  if (!read_table_index_map(context, map_path, rows.largest_id, ids)) return 0;
  if (!context.parb && !erosion_ids_covered(context, file, map_path, rows, ids)) return 0;

  std::vector<double> per_id;
  if (!allocate_zeroed(per_id, std::size_t(rows.largest_id) + 1, "Table Data")) return 0;
  for (int column = 0; column < erosion_params; ++column) {
    if (out.params[column].empty()) continue;
    scatter_table_column(rows, column, per_id);
    map_ids_to_cells(out.params[column], per_id, rows.largest_id, ids, context.mask);
  }
  const std::size_t per_cell = std::size_t(classes) + 1;
  for (int j = 1; j <= classes; ++j) {
    scatter_table_column(rows, erosion_params - 1 + j, per_id);
    std::size_t cell = 0;
    for (int r = 1; r <= ids.rows; ++r) {
      for (int c = 1; c <= ids.cols; ++c) {
        if (context.mask[r][c] == 0) continue;
        ++cell;
        const int id = ids.at(r, c);
        const double value = id >= 1 && id <= rows.largest_id ? per_id[id - 1] : 0.0;
        const std::size_t at = cell * per_cell + j;
        if (at < out.sed_fract.size()) out.sed_fract[at][1] = value;
      }
    }
  }
  return 1;
}

int read_well_table(map_table_context& context, std::vector<gw_well>& wells, id_grid& ids) {
  if (!ensure_ts_index(context)) return 0;
  table_file file;
  if (!open_table(file, context.path)) return 0;
  std::string map_path;
  const int n = find_map_table(file, table_kind::wells, map_path) ? read_num_ids(file) : 0;
  if (n <= 0) {
    raise_error(66, 0, 0, "WELL_TABLE");
    return 0;
  }
  skip_table_header(file);
  table_rows rows;
  if (!read_table_rows(file, "WELL_TABLE", n, well_values, rows)) return 0;
  if (!read_table_index_map(context, map_path, rows.largest_id, ids)) return 0;

  std::vector<gw_well> read(rows.count());
  for (int r = 0; r < rows.count(); ++r) {
    gw_well& well = read[r];
    well.id = rows.ids[r];
    int second = 0;
    if (!truncated_int(rows.value(r, 0), well.flag) ||
        (well.flag != 0 && !truncated_int(rows.value(r, 1), second))) {
      raise_message(
          "Error: row %d of the WELL_TABLE table in the mapping table file %s has a flag or a "
          "time-series index beyond the range of whole numbers.\n",
          r + 1, file.path());
      return 0;
    }
    well.rate = well.flag != 0 ? 0.0 : rows.value(r, 1);
    well.ts_index = well.flag != 0 ? second : 0;
  }
  // Each row goes to the head of the list, so the last row comes first.
  wells.insert(wells.begin(), read.rbegin(), read.rend());
  return 1;
}

int read_wetland_table(map_table_context& context, int& wetlands,
                       std::vector<wetland_record>& records, std::span<int> wetland_mask) {
  table_file file;
  if (!open_table(file, context.path)) return 0;
  std::string map_path;
  const int n = find_map_table(file, table_kind::wetlands, map_path) ? read_num_ids(file) : 0;
  if (n <= 0) {
    raise_error(66, 0, 0, "WETLAND_PROPERTIES");
    return 0;
  }
  skip_table_header(file);
  table_rows rows;
  if (!read_table_rows(file, "WETLAND_PROPERTIES", n, wetland_values, rows)) return 0;
  id_grid ids;
  if (!read_table_index_map(context, map_path, rows.largest_id, ids)) return 0;

  // Wetlands are numbered by the first appearance of their ids, row by row.
  std::unordered_map<int, int> number_of;
  std::vector<int> id_of_number(1, 0);
  int largest = 0;
  for (int r = 1; r <= ids.rows; ++r) {
    for (int c = 1; c <= ids.cols; ++c) {
      const int id = ids.at(r, c);
      if (id > largest) largest = id;
      if (id > 0 && number_of.find(id) == number_of.end()) {
        number_of.emplace(id, static_cast<int>(id_of_number.size()));
        id_of_number.push_back(id);
      }
    }
  }
  const int distinct = static_cast<int>(number_of.size());
  if (distinct != n) {
    raise_error(67, distinct, n);
    return 0;
  }
  if (largest > max_wetlands) {
    raise_error(68);
    return 0;
  }

  std::vector<wetland_record> read(std::size_t(n) + 1);
  std::vector<int> filled(std::size_t(n) + 1, 0);
  for (int r = 0; r < rows.count(); ++r) {
    const auto found = number_of.find(rows.ids[r]);
    if (found == number_of.end()) {
      raise_message(
          "Error: wetland id %d of row %d of the WETLAND_PROPERTIES table in the mapping table "
          "file %s is in no cell of the wetland index map %s.\n",
          rows.ids[r], r + 1, file.path(), map_path.c_str());
      return 0;
    }
    std::array<double, 8>& v = read[found->second].value;
    v[0] = rows.value(r, 0) / 1000.0;
    v[1] = rows.value(r, 1) / 1000.0;
    v[2] = rows.value(r, 2) / 86400.0;
    v[3] = rows.value(r, 3) / 1000.0;
    v[4] = rows.value(r, 4) / 86400.0;
    v[6] = rows.value(r, 5);
    v[7] = rows.value(r, 6) / 1000.0;
    filled[found->second] = 1;
  }
  for (int number = 1; number <= n; ++number) {
    if (filled[number]) continue;
    raise_message(
        "Error: wetland id %d of the wetland index map %s has no row in the WETLAND_PROPERTIES "
        "table of the mapping table file %s.\n",
        id_of_number[number], map_path.c_str(), file.path());
    return 0;
  }

  for (int r = 1; r <= ids.rows; ++r) {
    for (int c = 1; c <= ids.cols; ++c) {
      const int cell = context.mask[r][c];
      if (cell <= 0 || static_cast<std::size_t>(cell) >= wetland_mask.size()) continue;
      const int id = ids.at(r, c);
      wetland_mask[cell] = id > 0 ? number_of[id] : 0;
    }
  }
  wetlands = n;
  records = std::move(read);
  return 1;
}

void find_richards_index_map(const char* path, int type, std::string& name) {
  name.clear();
  table_file file;
  if (!file.open(path)) return;
  find_map_table(file, type == richards_brooks ? table_kind::brooks : table_kind::havercamp, name);
}

namespace {

// The soil-type index map of the kind's section, then the soil reader on the
// file just after the section line.
int read_soil_type_table(map_table_context& context, int kind, const soil_table_reader& reader,
                         std::span<int> soil_type) {
  table_file file;
  if (!open_table(file, context.path)) return -1;
  std::string map_path;
  find_map_table(file, kind, map_path);
  safe_file map;
  if (map_path.empty() || !map.open(map_path.c_str(), "r")) {
    raise_error(132, 0, 0, nullptr, map_path.c_str());
    return -1;
  }
  read_ascii_map(map, map_path.c_str(), index_map, context.header, context.mask, {}, {}, soil_type,
                 context.rows, context.cols);
  map.close();
  if (stopped() || !reader) return -1;
  return reader(file, soil_type);
}

}  // namespace

int read_richards_tables(map_table_context& context, int type,
                         const soil_table_reader& read_soil_table, std::span<int> soil_type) {
  const int kind = type == richards_brooks ? table_kind::brooks : table_kind::havercamp;
  return read_soil_type_table(context, kind, read_soil_table, soil_type);
}

int read_multi_layer_soil_table(map_table_context& context,
                                const soil_table_reader& read_soil_layer_table,
                                std::span<int> soil_type) {
  return read_soil_type_table(context, table_kind::multi_layer_soil, read_soil_layer_table,
                              soil_type);
}
