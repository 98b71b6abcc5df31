// Line successive over-relaxation of the aquifer's five-point system: each
// grid line is solved exactly as a tridiagonal system with the heads of the
// lines beside it held, in Gauss-Seidel order, and the line's new heads are
// over-relaxed.
//
// A line's matrix does not change between sweeps, only its right-hand side
// does, so each line is eliminated once per solve and a sweep only
// substitutes. The system is laid out line by line in sweep order first, so
// that lines along grid columns read memory as much in order as lines along
// rows.

#include <cmath>

#include "core/error_state.h"
#include "core/grid_state.h"
#include "subsurface/gw_solve.h"

namespace {

// The cells of each grid line in order, their slots, and the slots of
// their neighbours across the line; returns the number of lines.
int lay_out_lines(int rows, int cols, bool along_rows, const block_2d<int>& mask,
                  gw_line_work& w) {
  const int lines = along_rows ? rows : cols;
  const int length = along_rows ? cols : rows;
  auto cell_at = [&](int line, int k) { return along_rows ? mask[line][k] : mask[k][line]; };
  int slot = 0;
  for (int line = 1; line <= lines; ++line) {
    w.line_start[line] = slot + 1;
    for (int k = 1; k <= length; ++k) {
      const int m = cell_at(line, k);
      if (m == 0) continue;
      w.slot_of[m] = ++slot;
      w.cell[slot] = m;
    }
  }
  w.line_start[lines + 1] = slot + 1;
  w.slot_of[0] = 0;
  for (int line = 1; line <= lines; ++line)
    for (int k = 1; k <= length; ++k) {
      const int m = cell_at(line, k);
      if (m == 0) continue;
      // The border of the mask is 0, so the first and last lines find slot 0.
      const int s = w.slot_of[m];
      w.side_a[s] = w.slot_of[cell_at(line - 1, k)];
      w.side_b[s] = w.slot_of[cell_at(line + 1, k)];
    }
  return lines;
}

// Coefficients and heads into slot order, and each line eliminated: the
// Thomas algorithm's forward pass over the matrix alone.
void load_and_eliminate(int lines, bool along_rows, const double* head, const gw_system& sys,
                        gw_line_work& w) {
  const double* up = along_rows ? sys.right.data() : sys.below.data();
  const double* low = along_rows ? sys.left.data() : sys.above.data();
  const double* side_a = along_rows ? sys.above.data() : sys.left.data();
  const double* side_b = along_rows ? sys.below.data() : sys.right.data();
  w.head[0] = 0.0;
  for (int line = 1; line <= lines; ++line) {
    double pivot_above = 1.0, upper_above = 0.0;
    for (int s = w.line_start[line]; s < w.line_start[line + 1]; ++s) {
      const int m = w.cell[s];
      w.head[s] = head[m];
      w.base[s] = sys.rhs[m];
      w.coef_a[s] = side_a[m];
      w.coef_b[s] = side_b[m];
      w.upper[s] = up[m];
      const double factor = s == w.line_start[line] ? 0.0 : low[m] / pivot_above;
      const double pivot = sys.diagonal[m] - factor * upper_above;
      w.factor[s] = factor;
      w.inv_pivot[s] = 1.0 / pivot;
      pivot_above = pivot;
      upper_above = up[m];
    }
  }
}

}  // namespace

int gw_lsor_solve(double* head, double relax, int rows, int cols, const gw_system& system,
                  double tolerance, gw_line_work& work, int direction, int orientation,
                  const block_2d<int>& mask) {
  const bool along_rows = orientation == 1;
  const int lines = lay_out_lines(rows, cols, along_rows, mask, work);
  load_and_eliminate(lines, along_rows, head, system, work);
  double* h = work.head.data();
  double* forward = work.forward.data();
  const double* base = work.base.data();
  const double* coef_a = work.coef_a.data();
  const double* coef_b = work.coef_b.data();
  const int* side_a = work.side_a.data();
  const int* side_b = work.side_b.data();
  const double* factor = work.factor.data();
  const double* upper = work.upper.data();
  const double* inv_pivot = work.inv_pivot.data();

  double largest = 0.0;
  int sweep = 1;
  bool converged = false;
  for (; sweep <= gw_max_sweeps; ++sweep) {
    // Starts above zero, so that a grid without cells is converged at once.
    largest = 1e-20;
    bool not_a_number = false;
    for (int k = 1; k <= lines; ++k) {
      const int line = direction == 1 ? k : lines + 1 - k;
      const int first = work.line_start[line];
      const int last = work.line_start[line + 1] - 1;
      double carried = 0.0;
      for (int s = first; s <= last; ++s) {
        // The lines beside this one enter with their heads as they stand.
        const double rhs = base[s] - coef_a[s] * h[side_a[s]] - coef_b[s] * h[side_b[s]];
        carried = rhs - factor[s] * carried;
        forward[s] = carried;
      }
      double below = 0.0;
      for (int s = last; s >= first; --s) {
        const double solved = (forward[s] - upper[s] * below) * inv_pivot[s];
        below = solved;
        const double change = solved - h[s];
        const double size = std::fabs(change);
        if (size > largest) largest = size;
        if (std::isnan(change)) not_a_number = true;
        // A held head solves to itself, so its change is exactly 0 and the
        // head keeps every bit.
        h[s] += relax * change;
      }
    }
    if (not_a_number) {
      largest = std::nan("");
      break;
    }
    if (largest < tolerance) {
      converged = true;
      break;
    }
  }
  // The heads of the slots go back to the cells, converged or not.
  const int slots = work.line_start[lines + 1] - 1;
  for (int s = 1; s <= slots; ++s) head[work.cell[s]] = h[s];
  if (converged) return sweep;
  if (sweep > gw_max_sweeps) sweep = gw_max_sweeps;
  raise_message(
      "Error: Non-convergence in the groundwater line solver after %d sweeps (largest head "
      "change of the last sweep %g m).\n",
      sweep, largest);
  return -1;
}
