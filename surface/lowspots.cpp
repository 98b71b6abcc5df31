// Low spots of overland dikes. The file is read at set-up with the dike map,
// every low spot is checked against the grid and the dikes once the
// neighbour tables exist, and both overland routers move the weir flow over
// the crests at the end of each overland step.

#include "surface/lowspots.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "core/error_state.h"
#include "core/grid_state.h"
#include "run/model_state.h"
#include "core/safe_file.h"
#include "input/read_grid_inputs.h"
#include "input/series.h"

namespace {

constexpr std::size_t longest_line = 20000;  // characters a line of the file may hold
constexpr double weir_coefficient = 1.48;    // broad-crested weir, m^(1/2)/s
constexpr double stage_tolerance = 0.001;    // m; closer stages move nothing

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// The first token of line, separated as the shared token reader separates
// (blank, tab, newline, comma), without changing the line.
std::string first_token(const std::string& line) {
  auto separator = [](char c) { return is_blank(c) || c == ','; };
  std::size_t start = 0;
  while (start < line.size() && separator(line[start])) ++start;
  std::size_t end = start;
  while (end < line.size() && !separator(line[end])) ++end;
  return line.substr(start, end - start);
}

std::string lower_case(std::string word) {
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return word;
}

// The first word must be "lowspot" or a leading part of it, in any case.
bool starts_with_lowspot_card(const std::string& line) {
  const std::string word = lower_case(first_token(line));
  const std::string card = "lowspot";
  return !word.empty() && word.size() <= card.size() && card.compare(0, word.size(), word) == 0;
}

bool line_too_long(const text_source& source, const std::string& line) {
  if (line.size() <= longest_line) return false;
  raise_message("Error: line %d of the lowspot input file %s is longer than %d characters.\n",
                source.line_number, source.path, static_cast<int>(longest_line));
  return true;
}

void premature_end() {
  std::fputs("Premature end-of-file in the lowspot input file.\n", stderr);
  std::fputs("No SPOT cards encountered before end of file.\n", stderr);
  std::fputs("Program terminated.\n", stderr);
  raise_error(own_message_code);
}

// Row, column, side, width fraction and crest of a SPOT line whose word has
// been taken off.
bool parse_spot(const std::string& rest, low_spot& spot) {
  const char* p = rest.c_str();
  return take_int_field(p, spot.row) && take_int_field(p, spot.column) &&
         take_int_field(p, spot.side) && take_real_field(p, spot.width_fraction) &&
         take_real_field(p, spot.crest);
}

// Index 0..3 of a side bit, -1 for any other value.
int side_index(int side) {
  switch (side) {
    case 1: return 0;
    case 2: return 1;
    case 4: return 2;
    case 8: return 3;
    default: return -1;
  }
}

// The bit on the cell across a side that closes the same face.
constexpr int facing_bit[] = {4, 8, 1, 2};
// Row and column offsets of the cell across each side.
constexpr int across_row[] = {-1, 0, 1, 0};
constexpr int across_col[] = {0, 1, 0, -1};

constexpr const char* boundary_line[] = {
    "\nYou have specified a low spot on the top boundary of the grid\n",
    "\nYou have specified a low spot on the right boundary of the grid\n",
    "\nYou have specified a low spot on the bottom boundary of the grid\n",
    "\nYou have specified a low spot on the left boundary of the grid\n",
};
constexpr const char* side_line[] = {
    "Dike / low spot on top side of cell\n",
    "Dike / low spot on right side of cell\n",
    "Dike / low spot on bottom side of cell\n",
    "Dike / low spot on left side of cell\n",
};
constexpr const char* across_line[] = {
    "at this low spot across the top boundary of the cell, while the dike\n",
    "at this low spot across the right boundary of the cell, while the dike\n",
    "at this low spot across the bottom boundary of the cell, while the dike\n",
    "at this low spot across the left boundary of the cell, while the dike\n",
};
constexpr const char* direction_line[] = {
    "is running in a different direction than along the top of the cell.\n",
    "is running in a different direction than along the right side of the cell.\n",
    "is running in a different direction than along the bottom of the cell.\n",
    "is running in a different direction than along the left side of the cell.\n",
};

int dike_bits(const std::vector<int>& dike_mask, int cell) {
  return cell >= 0 && static_cast<std::size_t>(cell) < dike_mask.size() ? dike_mask[cell] : 0;
}

// One low spot's checks in their order; false after the first failure's
// message (code 4000).
bool check_low_spot(const grid_state& grid, const std::vector<int>& dike_mask, const low_spot& p,
                    const char* path) {
  if (p.row < 1 || p.row > grid.rows || p.column < 1 || p.column > grid.cols) {
    raise_message(
        "\nThe low spot in row %d col %d of the lowspot file %s lies outside the grid\n"
        "of %d rows and %d columns.  Edit your lowspot file and try again.  Program terminated.\n",
        p.row, p.column, path, grid.rows, grid.cols);
    return false;
  }
  if (!(p.width_fraction >= 0.0 && p.width_fraction <= 1.5)) {
    raise_message(
        "\nThe fraction of the grid-size specified for the lowspot in the grid at\n"
        "row %d col %d is unreasonable, with a value of %f.  Acceptable\n"
        " values range from 0.0 to 1.5.  Change the value.  Program terminated.\n",
        p.row, p.column, p.width_fraction);
    return false;
  }
  const int s = side_index(p.side);
  if (s < 0) {
    raise_message(
        "\nThe low spot flow direction specified in row %d col %d in the file %s\n"
        "is not valid.  The only possible directions are: 1- top boundary, 2- right\n"
        "boundary, 4- bottom boundary, or 8- left boundary.\n"
        "Edit your lowspot file and try again.  Program terminated.\n",
        p.row, p.column, path);
    return false;
  }
  // The mask's border rows and columns are 0, so a side on the grid edge
  // finds no cell across.
  const int i = grid.mask[p.row][p.column];
  const int j = grid.mask[p.row + across_row[s]][p.column + across_col[s]];
  if (dike_bits(dike_mask, i) == 0) {
    raise_message(
        "\nYou have specified an overland flow dike in row %d col %d\n"
        "There is no dike adjacent to this grid cell.  Program stopped.\n",
        p.row, p.column);
    return false;
  }
  if (j == 0 || dike_bits(dike_mask, j) == 0) {
    char text[512];
    std::snprintf(text, sizeof text,
                  "%scell at row %d col %d.  Either the side you have specified is not on\n"
                  "an overland flow dike, or the cell on the other side is out of the\n"
                  "watershed.  Check your low spot file.  Program terminated.\n",
                  boundary_line[s], p.row, p.column);
    print_message(summary_file, text);
    raise_error(own_message_code);
    return false;
  }
  const double zi = grid.elevation[i];
  const double zj = grid.elevation[j];
  if (p.crest < zi) {
    char text[1024];
    std::snprintf(text, sizeof text,
                  "\nThe elevation of the overland flow dike low spot you specified in the grid\n"
                  "cell located at row %d col %d is %f m.  This elevation is lower than the\n"
                  "elevation of the grid cell, which is %f m.  This situation is impossible.\n"
                  "Please raise the low spot elevation to be greater than the grid cell "
                  "elevation.\n%sProgram terminated\n",
                  p.row, p.column, p.crest, zi, side_line[s]);
    print_message(summary_file, text);
    raise_error(own_message_code);
    return false;
  }
  if (p.crest < zj) {
    char text[1024];
    std::snprintf(text, sizeof text,
                  "\nThe elevation of the overland flow dike low spot you specified in the grid\n"
                  "cell located at row %d col %d is %f m.  This elevation is lower than the\n"
                  "elevation of the grid cell on the other side of the dike, which is %f m.\n"
                  "This situation is impossible.  Please raise the low spot elevation to be\n"
                  "greater than the grid cell elevation.\n%sProgram terminated\n",
                  p.row, p.column, p.crest, zj, side_line[s]);
    print_message(summary_file, text);
    raise_error(own_message_code);
    return false;
  }
  if ((dike_bits(dike_mask, j) & facing_bit[s]) == 0) {
    char text[1024];
    std::snprintf(text, sizeof text,
                  "\nThe low spot you have specified in the grid at row %d  col %d does not\n"
                  "cross the dike.  Rather, it runs _along_ the dike.  You specified flow\n"
                  "%s%sProgram terminated.\n",
                  p.row, p.column, across_line[s], direction_line[s]);
    print_message(summary_file, text);
    raise_error(own_message_code);
    return false;
  }
  return true;
}

}  // namespace

int is_spot_card(std::string& line) {
  std::size_t start = 0;
  while (start < line.size() && is_blank(line[start])) ++start;
  std::size_t end = start;
  while (end < line.size() && !is_blank(line[end])) ++end;
  const bool spot = lower_case(line.substr(start, end - start)) == "spot";
  line.erase(0, end);
  return spot ? 0 : 1;
}

bool read_lowspot_file(safe_file& file, const char* path, int& count,
                       std::vector<low_spot>& spots) {
  count = 0;
  text_source source{file.stream, path, 0};
  std::string line;
  if (!read_source_line(source, line) || line_too_long(source, line) ||
      !starts_with_lowspot_card(line)) {
    if (error_state.stop_flag != 0) return false;
    std::fprintf(stderr, "The lowspot input file: %s does not start with the LOWSPOT card.\n",
                 path);
    std::fputs("The file format is invalid.  Program terminated.\n", stderr);
    raise_error(own_message_code);
    return false;
  }

  // Counting pass.
  int spot_lines = 0;
  bool any_line = false;
  while (read_source_line(source, line)) {
    any_line = true;
    if (line_too_long(source, line)) return false;
    if (is_spot_card(line) == 0) ++spot_lines;
  }
  if (!any_line || spot_lines == 0) {
    premature_end();
    return false;
  }

  if (!allocate_zeroed(spots, std::size_t(spot_lines) + 1, "lowspot")) return false;
  std::rewind(file.stream);
  source.line_number = 0;

  // Filling pass, from the first line.
  int k = 0;
  while (read_source_line(source, line) && k < spot_lines) {
    if (is_spot_card(line) != 0) continue;
    low_spot& spot = spots[++k];
    if (!parse_spot(line, spot)) {
      raise_message(
          "Error: line %d of the lowspot input file %s does not hold a SPOT card's row, column, "
          "side, width fraction and crest elevation.\n",
          source.line_number, path);
      return false;
    }
  }
  count = spot_lines;
  return true;
}

bool check_low_spots(const grid_state& grid, const std::vector<int>& dike_mask, int count,
                     const std::vector<low_spot>& spots, const char* path) {
  for (int k = 1; k <= count && static_cast<std::size_t>(k) < spots.size(); ++k)
    if (!check_low_spot(grid, dike_mask, spots[k], path)) return false;
  return true;
}

void embankment_weir_flow(double dt, double dx, int* const* grid, const double* elevation,
                          double* depth, int count, const low_spot* spots, const int* olake_cell,
                          olake_record* olakes) {
  const double area = dx * dx;
  // A cell's stage, and the water it can give (m3): an overland lake cell
  // stands at its lake's level and gives of the lake's water.
  auto lake_of = [olake_cell](int c) { return olake_cell != nullptr ? olake_cell[c] : 0; };
  auto stage = [&](int c) {
    const int l = lake_of(c);
    return l > 0 ? olakes[l].level : elevation[c] + depth[c];
  };
  auto water = [&](int c) {
    const int l = lake_of(c);
    return std::max(l > 0 ? olakes[l].volume + olakes[l].dv : depth[c] * area, 0.0);
  };
  auto add = [&](int c, double volume) {
    const int l = lake_of(c);
    if (l > 0) {
      olakes[l].dv += volume;
    } else {
      depth[c] += volume / area;
    }
  };
  for (int k = 1; k <= count; ++k) {
    const low_spot& p = spots[k];
    const int s = side_index(p.side);
    if (s < 0) continue;  // refused by the checks at set-up
    const int i = grid[p.row][p.column];
    const int j = grid[p.row + across_row[s]][p.column + across_col[s]];
    const double ei = stage(i);
    const double ej = stage(j);
    if (!(std::fabs(ei - ej) > stage_tolerance)) continue;
    if (!(ei > p.crest || ej > p.crest)) continue;
    const double head = std::max(ei, ej) - p.crest;  // m
    const double q = weir_coefficient * (p.width_fraction * dx) * std::pow(head, 1.5);  // m3/s
    const int from = ei > ej ? i : j;
    const int to = ei > ej ? j : i;
    const double v = std::min(q * dt, water(from));  // m3
    add(from, -v);
    add(to, v);
  }
}

void apply_low_spots(model_state& state, double dt) {
  surface_state& sf = state.surface;
  if (sf.lowspot_count <= 0) return;
  grid_state& g = state.grid;
  const bool lakes = sf.overland_lakes && sf.oland_lake_new.size() > std::size_t(g.cells) &&
                     !sf.olakes.empty();
  embankment_weir_flow(dt, g.dx, g.mask.table(), g.elevation.data(), sf.depth.data(),
                       sf.lowspot_count, sf.low_spots.data(),
                       lakes ? sf.oland_lake_new.data() : nullptr,
                       lakes ? sf.olakes.data() : nullptr);
}
