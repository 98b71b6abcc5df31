// The topographic index ln(a / tan b) of the watershed cells, from an upslope
// area that each cell spreads over its lower neighbours in proportion to the
// contour length times the slope towards each (the multiple-direction rule).
// A cell can only be worked once every higher neighbour has handed on its
// area, so the grid is passed over again and again until all are done.

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <initializer_list>
#include <vector>

#include "core/error_state.h"
#include "core/grid_state.h"
#include "input/read_grid_inputs.h"
#include "soil/sacramento.h"

namespace {

constexpr int max_passes = 1000;
constexpr double flat_index = 0.333;  // a pit or flat with no slope to measure

constexpr const char* give_up_lines[] = {
    "VALTO project file, and the VALTO Sacramento Routine will the\n",
    "simply put its output into the channels uniformly.\n",
    "Program terminated.\n",
};

void print_lines(std::initializer_list<const char*> lines) {
  for (const char* line : lines) std::fputs(line, stderr);
}

// The eight neighbours: row and column offsets, diagonal or not.
struct neighbour {
  int dr, dc;
  bool diagonal;
};
constexpr neighbour neighbours[8] = {{-1, -1, true}, {-1, 0, false}, {-1, 1, true},
                                     {0, -1, false}, {0, 1, false},  {1, -1, true},
                                     {1, 0, false},  {1, 1, true}};

}  // namespace

bool topodex(const grid_state& grid, std::vector<double>& topo_index) {
  const int rows = grid.rows, cols = grid.cols, cells = grid.cells;
  const double dx = grid.dx;
  const std::size_t width = std::size_t(cols) + 2;
  const std::size_t slots = (std::size_t(rows) + 2) * width;
  // Grids with a border of one cell outside the watershed, so that every
  // cell has eight neighbour slots.
  std::vector<double> elev, index, area;
  std::vector<int> cell;   // cell number, 0 outside the watershed
  std::vector<char> done;  // the cell's index is known and its area handed on
  if (!allocate_zeroed(elev, slots, "elev") || !allocate_zeroed(index, slots, "topodex") ||
      !allocate_zeroed(area, slots, "area") || !allocate_zeroed(cell, slots, "topodex") ||
      !allocate_zeroed(done, slots, "topodex") || !allocate_per_cell(topo_index, cells, "topo_dex"))
    return false;
  auto at = [width](int r, int c) { return std::size_t(r) * width + std::size_t(c); };

  int waiting = 0;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) {
      const int m = grid.mask[r][c];
      area[at(r, c)] = dx * dx;
      if (m < 1) continue;
      cell[at(r, c)] = m;
      elev[at(r, c)] = grid.elevation[std::size_t(m)];
      index[at(r, c)] = -1.0;
      ++waiting;
    }

  const double diagonal = std::sqrt(2.0) * dx;
  const double side_contour = 0.5 * dx;
  const double diagonal_contour = std::sqrt(2.0) * 0.25 * dx;
  for (int pass = 0; waiting > 0; ++pass) {
    if (pass == max_passes) {
      print_lines({"You have specified TOPO_INDEX in your VALTO project file.\n",
                   "After 1000 iterative passes through the DEM to calculate\n",
                   "the topographic index map, the routine has not succeeded.\n",
                   "This is rediculous.  Your DEM must be of very poor quality.\n",
                   "Please make your DEM more representative of nature in terms\n",
                   "of flow paths, removing digital dams and pits.  If you do not\n",
                   "want to do this, you can remove the TOPO_INDEX card from your\n"});
      print_lines({give_up_lines[0], give_up_lines[1], give_up_lines[2]});
      raise_error(own_message_code);
      return false;
    }
    for (int c = 1; c <= cols; ++c)
      for (int r = 1; r <= rows; ++r) {
        const std::size_t k = at(r, c);
        if (cell[k] == 0 || done[k]) continue;
        const double z = elev[k];
        bool wait = false;
        for (const neighbour& n : neighbours) {
          const std::size_t q = at(r + n.dr, c + n.dc);
          wait = wait || (cell[q] != 0 && !done[q] && elev[q] > z);
        }
        if (wait) continue;

        double weight[8] = {};
        double sum = 0.0;
        double rise = 0.0;  // sum of the slopes up to the watershed neighbours
        int counted = 0;
        for (int j = 0; j < 8; ++j) {
          const neighbour& n = neighbours[j];
          const std::size_t q = at(r + n.dr, c + n.dc);
          if (cell[q] == 0) continue;
          const double distance = n.diagonal ? diagonal : dx;
          const double drop = z - elev[q];
          ++counted;
          rise += -drop / distance;
          if (drop <= 0.0) continue;
          weight[j] = (n.diagonal ? diagonal_contour : side_contour) * drop / distance;
          sum += weight[j];
        }
        if (sum > 0.0) {
          const double spread = area[k] / sum;
          index[k] = std::log(spread);
          for (int j = 0; j < 8; ++j) {
            if (weight[j] <= 0.0) continue;
            area[at(r + neighbours[j].dr, c + neighbours[j].dc)] += spread * weight[j];
          }
        } else {
          // A cell with no watershed neighbour has no slope to average.
          const double s = counted > 0 ? rise / counted : 0.0;
          if (s > 1e-8) {
            index[k] = std::log(area[k] / (2.0 * dx * s));
            if (s < 1e-6) std::printf("sslope<1.0e-6 in read_sacramento.c : %.10lf\n", s);
          } else {
            index[k] = flat_index;
          }
        }
        done[k] = 1;
        --waiting;
      }
  }

  bool negative = false;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) {
      const std::size_t k = at(r, c);
      if (cell[k] == 0) continue;
      topo_index[std::size_t(cell[k])] = index[k];
      negative = negative || index[k] < 0.0;
    }
  if (negative) {
    print_lines({"Warning: topodex routine has computed a negative topodex value\n",
                 "Check your input elevation file for large flat areas with\n",
                 "either the exact same elevation or nearly so (~0.0000x)\n",
                 "If you do not want to do this, you can remove the TOPO_INDEX card from your\n",
                 "VALTO project file, and the VALTO Sacramento Routine will the\n"});
    print_lines({give_up_lines[1], give_up_lines[2]});
    raise_error(own_message_code);
    return false;
  }
  return true;
}
