// The CONTAMINANT_TRANSPORT section of the mapping table file: per
// constituent a line of three quoted texts, its rain concentration and
// partition coefficient, and a table of eight values per id over an index map
// of its own.

#include <cstdio>

#include "core/error_state.h"
#include "core/physical_range.h"
#include "input/read_grid_inputs.h"
#include "input/process_map_tables.h"

namespace {

constexpr int contam_values = 8;
constexpr int check_width = 35;  // description and dots of a "Checking" line

// The texts between the first three pairs of double quotes; false when the
// line holds fewer.
bool take_quoted_texts(const std::string& line, std::string (&texts)[3]) {
  std::size_t pos = 0;
  for (std::string& text : texts) {
    const std::size_t open = line.find('"', pos);
    if (open == std::string::npos) return false;
    const std::size_t close = line.find('"', open + 1);
    if (close == std::string::npos) return false;
    text = line.substr(open + 1, close - open - 1);
    pos = close + 1;
  }
  return true;
}

// The value of a "KEYWORD value" line; false when it holds none.
bool keyword_value(const std::string& line, double& value) {
  const char* p = line.c_str();
  return skip_fields(p, 1) && take_real_field(p, value);
}

void print_checking(const std::string& description) {
  std::string text = "  Checking " + description;
  if (description.size() < static_cast<std::size_t>(check_width))
    text.append(check_width - description.size(), '.');
  std::fputs(text.c_str(), stdout);
}

// Passes over a constituent's table whose index map is not known, so that the
// next constituent's lines are read where they stand.
void skip_constituent_table(table_file& file) {
  const int n = read_num_ids(file);
  if (n <= 0) return;
  skip_table_header(file);
  std::string line;
  for (int r = 0; r < n && file.next(line); ++r) {
  }
}

bool grow_grid(constituent_grid& grid, int rows, int cells) {
  try {
    grid.resize(grid.size() + rows, std::vector<double>(std::size_t(cells > 0 ? cells : 0) + 1, 0.0));
    return true;
  } catch (const std::bad_alloc&) {
    raise_message("Error allocating memory for variable %s\n", "contaminant parameters");
    return false;
  }
}

// The eight values of a row in their column order, for messages. Each is
// a rate, a size, a mass or a concentration: none can be negative.
constexpr const char* column_names[contam_values] = {
    "dispersion coefficient", "decay rate",       "exchange rate",
    "land-surface mass",      "groundwater concentration", "initial surface concentration",
    "partition coefficient",  "greatest release concentration"};

bool keyword_value_within(const table_file& file, int l, const char* keyword, double value) {
  if (within(ranges::non_negative, value)) return true;
  raise_message(
      "Error: the %s line of constituent %d of the CONTAMINANT_TRANSPORT table in the mapping "
      "table file %s (line %d): the value %g is outside its range; it must be 0 or more.\n",
      keyword, l, file.path(), file.line_number(), value);
  return false;
}

bool rows_within(const table_file& file, int l, const table_rows& rows) {
  for (int r = 0; r < rows.count(); ++r) {
    for (int m = 0; m < contam_values; ++m) {
      const double v = rows.value(r, m);
      if (within(ranges::non_negative, v)) continue;
      raise_message(
          "Error: row %d of constituent %d of the CONTAMINANT_TRANSPORT table in the mapping "
          "table file %s (line %d): the %s %g is outside its range; it must be 0 or more.\n",
          r + 1, l, file.path(), rows.lines[r], column_names[m], v);
      return false;
    }
  }
  return true;
}

}  // namespace

int read_contam_table(map_table_context& context, std::array<constituent_grid*, 8> grids,
                      contaminant_tables& out) {
  table_file file;
  if (!file.open(context.path.c_str())) {
    raise_error(64, 0, 0, nullptr, context.path.c_str());
    return 0;
  }
  std::vector<index_map_entry> maps;
  std::string line;
  const section_search search =
      search_section(file, grid_table_marker, table_kind::index_map, classify_table_line,
                     table_kind::contaminants, maps, line);
  if (search == section_search::no_marker) return 0;
  std::printf("\nReading contaminant table...  ");
  bool failed = search != section_search::found;
  if (!failed) {
    const int k = read_num_contam(file);
    std::printf("%d contaminants found\n", k);
    if (k <= 0) return 0;
    // Each constituent has a line of three quoted texts (six characters at
    // least) in the file: a count beyond that is refused before the
    // constituent grids are sized from it.
    if (double(k) * 6.0 > double(file.bytes())) {
      raise_message(
          "Error: NUM_CONTAM %d of the CONTAMINANT_TRANSPORT table in the mapping table file %s "
          "gives more constituents than the file holds.\n",
          k, file.path());
      return 0;
    }

    // The constituents read here follow those already held.
    const int base = out.count;
    const std::size_t size = std::size_t(base) + k + 1;
    out.descriptions.resize(size);
    out.output_names.resize(size);
    out.index_maps.resize(size);
    out.precip_conc.resize(size, 0.0);
    out.partition.resize(size, 0.0);
    for (constituent_grid* grid : grids) {
      if (!grid) continue;
      // A grid is kept in step with the constituents held: row 0 and theirs.
      grid->resize(std::size_t(base) + 1);
      if (!grow_grid(*grid, k, context.cells)) return 0;
    }
    out.count = base + k;

    int largest_id = 0;
    for (int l = 1; l <= k; ++l) {
      const int at = base + l;
      std::string texts[3];
      if (!file.next(line) || !take_quoted_texts(line, texts)) {
        raise_message(
            "Error: constituent %d of the CONTAMINANT_TRANSPORT table in the mapping table file "
            "%s (line %d) needs a line of three quoted texts: description, index map name and "
            "output file name.\n",
            l, file.path(), file.line_number());
        return 0;
      }
      out.descriptions[at] = texts[0];
      out.output_names[at] = texts[2];
      out.index_maps[at].clear();

      // A keyword line whose value is no number would leave the value at 0
      // and the run going on with it: stop instead, naming the line.
      double value = 0.0;
      const auto refuse_value = [&](const char* keyword) {
        raise_message(
            "Error: the %s line of constituent %d of the CONTAMINANT_TRANSPORT table in the "
            "mapping table file %s (line %d) needs a number after its keyword.\n",
            keyword, l, file.path(), file.line_number());
      };
      if (file.next(line) && classify_table_line(line.c_str()) == table_kind::precip_conc) {
        if (!keyword_value(line, value)) {
          refuse_value("PRECIP_CONC");
          return 0;
        }
        if (!keyword_value_within(file, l, "PRECIP_CONC", value)) return 0;
        out.precip_conc[at] = value;
      } else {
        std::printf("Error in reading the precip concentration of constituent #%d\n", l);
      }
      if (file.next(line) && classify_table_line(line.c_str()) == table_kind::partition) {
        if (!keyword_value(line, value)) {
          refuse_value("PARTITION");
          return 0;
        }
        if (!keyword_value_within(file, l, "PARTITION", value)) return 0;
        out.partition[at] = value;
      }

      print_checking(texts[0]);
      const index_map_entry* map = find_index_map(maps, "\"" + texts[1] + "\"");
      if (!map) {
        std::printf("unable to match index map\n");
        failed = true;
        skip_constituent_table(file);
        continue;
      }
      out.index_maps[at] = map->path;

      const int n = read_num_ids(file);
      if (n <= 0) continue;
      skip_table_header(file);
      table_rows rows;
      if (!read_table_rows(file, "CONTAMINANT_TRANSPORT", n, contam_values, rows)) return 0;
      if (!rows_within(file, l, rows)) return 0;
      if (rows.largest_id > largest_id) largest_id = rows.largest_id;

      id_grid ids;
      if (!ids.allocate(context.rows, context.cols)) return 0;
      safe_file index;
      if (!index.open(map->path.c_str(), "r")) {
        std::printf("unable to open index map file.\n");
        raise_error(65, 0, 0, nullptr, map->path.c_str());
        return 0;
      }
      const bool read = read_index_map(index, map->path.c_str(), context.header, context.mask, ids,
                                       largest_id, context.rows, context.cols);
      index.close();
      if (!read) return 0;

      std::vector<double> per_id;
      if (!allocate_zeroed(per_id, std::size_t(largest_id) + 1, "Table Data")) return 0;
      for (int m = 0; m < contam_values; ++m) {
        if (!grids[m]) continue;
        scatter_table_column(rows, m, per_id);
        map_ids_to_cells((*grids[m])[at], per_id, largest_id, ids, context.mask);
      }
      std::printf("found and read index map\n");
    }
  }
  std::fflush(stdout);
  if (failed) {
    raise_error(69);
    return 0;
  }
  return 1;
}
