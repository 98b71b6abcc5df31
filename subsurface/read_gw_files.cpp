// Readers of the groundwater's count-and-rows side files. Lines are read
// whole and checked field by field, so a refusal can name its line; the
// rows are gathered as the file gives them, so a count larger than the file
// costs nothing before the file proves short.

#include "subsurface/read_gw_files.h"

#include <string>

#include "core/error_state.h"
#include "core/safe_file.h"
#include "input/read_grid_inputs.h"
#include "input/series.h"

namespace {

constexpr std::size_t longest_line = 20000;  // characters a line may hold

// One "row column [value]" line of a file.
struct grid_line {
  int row = 0;
  int col = 0;
  double value = 0.0;
};

// A count line and its rows, each on a line of its own. what names the file
// in messages ("static-flux file"), form the fields of a row.
class count_file {
 public:
  count_file(safe_file& file, const char* what, const char* form)
      : what_(what), form_(form) {
    source_.stream = file.stream;
    source_.path = file.path;
  }

  // The next line that is not blank: 1, 0 at the end, -1 too long (reported).
  int next() {
    while (read_source_line(source_, line_)) {
      if (line_.size() > longest_line) {
        raise_message("Error: line %d of the %s %s is longer than %d characters.\n",
                      source_.line_number, what_, source_.path, int(longest_line));
        return -1;
      }
      if (!is_blank_line(line_.c_str())) return 1;
    }
    return 0;
  }

  // The count of the first line; false after a message.
  bool count(int& n) {
    const int got = next();
    if (got < 0) return false;
    const char* p = line_.c_str();
    if (got == 0 || !take_int_field(p, n) || n < 0) {
      raise_message("Error: line %d of the %s %s does not begin with a count of 0 or more.\n",
                    source_.line_number, what_, source_.path);
      return false;
    }
    return true;
  }

  // The next row, with a value when with_value; false after a message.
  bool row(int index, int expected, bool with_value, int rows, int cols, grid_line& out) {
    const int got = next();
    if (got < 0) return false;
    if (got == 0) {
      raise_message("Error: the %s %s ends at line %d with %d of the %d lines its count gives.\n",
                    what_, source_.path, source_.line_number, index - 1, expected);
      return false;
    }
    const char* p = line_.c_str();
    if (!take_int_field(p, out.row) || !take_int_field(p, out.col) ||
        (with_value && !take_real_field(p, out.value))) {
      raise_message("Error: line %d of the %s %s is not \"%s\".\n", source_.line_number, what_,
                    source_.path, form_);
      return false;
    }
    if (out.row < 1 || out.row > rows || out.col < 1 || out.col > cols) {
      raise_message(
          "Error: line %d of the %s %s names row %d, column %d, outside the grid of %d rows and "
          "%d columns.\n",
          source_.line_number, what_, source_.path, out.row, out.col, rows, cols);
      return false;
    }
    return true;
  }

 private:
  text_source source_;
  std::string line_;
  const char* what_;
  const char* form_;
};

// The count and every row of a file; false after a message.
bool read_rows(count_file& in, bool with_value, int rows, int cols, std::vector<grid_line>& out) {
  int n = 0;
  if (!in.count(n)) return false;
  out.clear();
  for (int i = 1; i <= n; ++i) {
    grid_line line;
    if (!in.row(i, n, with_value, rows, cols, line)) return false;
    out.push_back(line);
  }
  return true;
}

}  // namespace

bool read_static_flux_file(safe_file& file, int* const* mask, int rows, int cols, double dx,
                           std::span<double> static_flux) {
  count_file in(file, "static-flux file", "row column flux");
  std::vector<grid_line> lines;
  if (!read_rows(in, true, rows, cols, lines)) return false;
  const double area = dx * dx;  // m2
  for (const grid_line& l : lines)
    static_flux[std::size_t(mask[l.row][l.col])] = l.value / 86400.0 / area;
  return true;
}

bool read_well_list_file(safe_file& file, int rows, int cols, int& count, std::vector<int>& row,
                         std::vector<int>& column) {
  count = 0;
  count_file in(file, "observation-well list", "row column");
  std::vector<grid_line> lines;
  if (!read_rows(in, false, rows, cols, lines)) return false;
  const std::size_t n = lines.size();
  if (!allocate_zeroed(row, n + 1, "well_row") || !allocate_zeroed(column, n + 1, "well_column"))
    return false;
  for (std::size_t i = 0; i < n; ++i) {
    row[i + 1] = lines[i].row;
    column[i + 1] = lines[i].col;
  }
  count = static_cast<int>(n);
  return true;
}
