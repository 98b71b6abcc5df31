// Index maps of the mapping tables: an ASCII grid of integer ids, one per
// cell, whose active cells tell which table row each cell takes.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/error_state.h"
#include "core/text_io.h"
#include "input/map_tables.h"
#include "input/read_grid_inputs.h"

namespace {

// The six header lines read by position, each a key word of at most six or
// five characters and its number.
bool read_header(std::FILE* stream, const char* name, map_header& header) {
  char word[8];
  const char* failed = nullptr;
  if (std::fscanf(stream, "%6s %lf", word, &header.north) != 2) failed = "north";
  else if (std::fscanf(stream, "%6s %lf", word, &header.south) != 2) failed = "south";
  else if (std::fscanf(stream, "%5s %lf", word, &header.east) != 2) failed = "east";
  else if (std::fscanf(stream, "%5s %lf", word, &header.west) != 2) failed = "west";
  else if (std::fscanf(stream, "%5s %d", word, &header.rows) != 2) failed = "rows";
  else if (std::fscanf(stream, "%5s %d", word, &header.cols) != 2) failed = "cols";
  if (!failed) return true;
  raise_message("Error: the %s line of the header of index map %s cannot be read.\n", failed, name);
  return false;
}

}  // namespace

bool id_grid::allocate(int r, int c) {
  rows = r > 0 ? r : 0;
  cols = c > 0 ? c : 0;
  if (!allocate_zeroed(ids, std::size_t(rows) * std::size_t(cols), "Index File Data")) {
    rows = cols = 0;
    return false;
  }
  return true;
}

bool read_index_map(safe_file& map, const char* name, map_header& header, int** mask,
                    id_grid& ids, int largest_id, int expected_rows, int expected_cols) {
  std::vector<int> category;
  if (largest_id > 0 && !allocate_zeroed(category, std::size_t(largest_id) + 1, "Index File Data"))
    return false;
  if (!read_header(map.stream, name, header)) return false;
  const bool rows_differ = header.rows != expected_rows;
  const bool cols_differ = header.cols != expected_cols;
  if (rows_differ || cols_differ) {
    raise_error(rows_differ && cols_differ ? 72 : rows_differ ? 73 : 74, 0, 0, nullptr, name);
    return false;
  }
  if ((ids.rows != expected_rows || ids.cols != expected_cols) &&
      !ids.allocate(expected_rows, expected_cols))
    return false;

  char token[64];
  for (int r = 1; r <= expected_rows; ++r) {
    const int* mask_row = mask[r];
    for (int c = 1; c <= expected_cols; ++c) {
      int id = 0;
      if (std::fscanf(map.stream, "%63s", token) != 1) {
        raise_error(70, 0, 0, nullptr, name);
        return false;
      }
      if (!parse_whole_int(token, id)) {
        raise_message("Error: value \"%s\" in row %d, column %d of index map %s is not a whole number.\n",
                      token, r, c, name);
        return false;
      }
      // Cells outside the watershed may hold anything.
      if (mask_row[c] == 0) continue;
      if (id > largest_id) {
        raise_error(71, r, c, nullptr, name);
        return false;
      }
      ids.at(r, c) = id;
      if (id >= 1) ++category[id];
    }
  }
  for (int id = 1; id <= largest_id; ++id) {
    if (category[id] <= 0) continue;
    char line[2 * path_capacity];
    std::snprintf(line, sizeof line, "In map %s category %d has %d values\n", name, id,
                  category[id]);
    print_message(summary_file, line);
  }
  return true;
}
