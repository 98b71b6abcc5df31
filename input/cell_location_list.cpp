// The cells of the soil-water location output (IN_THETA_LOCATION): a count,
// then a row and column per location; Richards runs also list, per location,
// the soil layers written there.

#include <cstdio>

#include "run/model_state.h"
#include "input/read_grid_inputs.h"

namespace {

enum class int_read { ok, end_of_file, not_a_number };

int_read read_int(std::FILE* stream, int& value) {
  const int got = stream ? std::fscanf(stream, "%d", &value) : EOF;
  if (got == 1) return int_read::ok;
  return got == EOF ? int_read::end_of_file : int_read::not_a_number;
}

// Reads the next whole number of the list; false after reporting.
bool take(std::FILE* stream, const char* name, int record, int& value) {
  switch (read_int(stream, value)) {
    case int_read::ok:
      return true;
    case int_read::end_of_file:
      raise_message("End of file reached in file %s, exiting\n", name);
      return false;
    case int_read::not_a_number:
      if (record == 0)
        raise_message(
            "Error: the first line of the cell location list %s holds a value that is "
            "not a whole number.\n",
            name);
      else
        raise_message(
            "Error: location %d of the cell location list %s holds a value that is not "
            "a whole number.\n",
            record, name);
      return false;
  }
  return false;
}

bool read_locations(model_state& state, std::FILE* stream, const char* name) {
  const grid_state& grid = state.grid;
  output_state& out = state.output;
  const bool with_lists = state.input.inf_richards != 0;

  int n = 0;
  int longest = 0;
  if (!take(stream, name, 0, n)) return false;
  if (with_lists && !take(stream, name, 0, longest)) return false;
  if (n < 0 || longest < 0) {
    raise_message("Error: the cell location list %s gives a negative count on its first line.\n",
                  name);
    return false;
  }
  out.theta_cells = n;
  if (!allocate_zeroed(out.theta_cell, std::size_t(n) + 2, "cell_loc")) return false;
  if (with_lists) {
    if (!allocate_zeroed(out.theta_count, std::size_t(n) + 2, "cell_num")) return false;
    if (!out.theta_ids.allocate(n + 1, longest + 1)) {
      raise_message("Error allocating memory for variable %s\n", "cell location layers");
      return false;
    }
  }

  for (int i = 1; i <= n; ++i) {
    int row = 0;
    int col = 0;
    if (!take(stream, name, i, row) || !take(stream, name, i, col)) return false;
    if (row < 1 || row > grid.rows || col < 1 || col > grid.cols) {
      raise_message(
          "Error: location %d of the cell location list %s is row %d, column %d, "
          "outside the grid of %d rows and %d columns.\n",
          i, name, row, col, grid.rows, grid.cols);
      return false;
    }
    // A location off the watershed keeps cell 0.
    out.theta_cell[i] = grid.mask[row][col];
    if (!with_lists) continue;
    int m = 0;
    if (!take(stream, name, i, m)) return false;
    if (m < 0 || m > longest) {
      raise_message(
          "Error: location %d of the cell location list %s lists %d layers; the first "
          "line allows 0 to %d.\n",
          i, name, m, longest);
      return false;
    }
    out.theta_count[i] = m;
    for (int j = 1; j <= m; ++j)
      if (!take(stream, name, i, out.theta_ids[i][j])) return false;
  }
  return true;
}

}  // namespace

void read_cell_location_list(model_state& state) {
  const project_settings& s = state.input.settings;
  if (!s.in_theta_location_given) return;
  safe_file& file = state.input.files.theta_location;
  read_locations(state, file.stream, s.in_theta_location.c_str());
  file.close();
}
