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
//
// The order of the lines decides the heads, so the sweeps cannot split the
// lines between threads. They run as a wavefront instead: thread t takes
// sweeps t + 1, t + 1 + team, ..., and a sweep solves a line once the sweep
// before it has finished the line after it. Each line then sees exactly the
// heads the serial order gives it, the same bits on any number of threads.
// A sweep starts before the one before it has shown whether the solve has
// converged; each line keeps the heads it overwrites, and the lines of the
// sweep after the last are put back from them.

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cmath>

#include "core/error_state.h"
#include "core/grid_state.h"
#include "core/parallel_team.h"
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
                        gw_line_work& w, int team) {
  const double* up = along_rows ? sys.right.data() : sys.below.data();
  const double* low = along_rows ? sys.left.data() : sys.above.data();
  const double* side_a = along_rows ? sys.above.data() : sys.left.data();
  const double* side_b = along_rows ? sys.below.data() : sys.right.data();
  w.head[0] = 0.0;
#pragma omp parallel for schedule(static) num_threads(team) if (team > 1)
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

// The work of one solve as the sweeps share it.
struct sweep_plan {
  int lines;
  int direction;
  int slots;
  double relax;
  double tolerance;
  int team;
  gw_line_work& w;
  int stop = gw_max_sweeps + 1;  // first sweep that ended the solve (converged or no number)
  static constexpr int gave_way = 1 << 30;  // a sweep's count: it gave way to an ended solve

  int line_at(int position) const { return direction == 1 ? position : lines + 1 - position; }
  int& done_slot(int sweep) { return w.lines_done[std::size_t(sweep) * gw_done_stride]; }
  int stopped() { return std::atomic_ref<int>(stop).load(std::memory_order_seq_cst); }
  // Lines a sweep has finished, without the mark of a sweep that gave way.
  int lines_of(int sweep) { return done_slot(sweep) & ~gave_way; }
  // Holds sweep until the sweep before it has finished `need` lines; false
  // when a sweep before it ended the solve. A sweep that gives way marks
  // its own count, so the sweep after it, which may sleep on that count,
  // wakes and gives way too; a sweep that ends the solve stores the stop
  // before it raises its count for the last line.
  bool wait_for(int sweep, int need) {
    wait_for_progress(done_slot(sweep - 1),
                      [need](int done) { return (done & gave_way) != 0 || done >= need; });
    return stopped() >= sweep;
  }
  bool sweep(int k, int thread);
};

// Sweep k on the given thread; false when it gave way to an ended solve.
bool sweep_plan::sweep(int k, int thread) {
  const std::size_t offset = std::size_t(thread) * std::size_t(slots + 1);
  double* h = w.head.data();
  double* forward = w.forward.data() + offset;
  double* saved = team > 1 ? w.saved.data() + offset : nullptr;
  const double* base = w.base.data();
  const double* coef_a = w.coef_a.data();
  const double* coef_b = w.coef_b.data();
  const int* side_a = w.side_a.data();
  const int* side_b = w.side_b.data();
  const double* factor = w.factor.data();
  const double* upper = w.upper.data();
  const double* inv_pivot = w.inv_pivot.data();
  int& done_here = done_slot(k);

  // Starts above zero, so that a grid without cells is converged at once.
  double largest = 1e-20;
  bool not_a_number = false;
  for (int p = 1; p <= lines; ++p) {
    // The heads of the line after this one must be the last sweep's.
    if (!wait_for(k, std::min(p + 1, lines))) {
      raise_progress(done_here, (p - 1) | gave_way);
      return false;
    }
    const int line = line_at(p);
    const int first = w.line_start[line];
    const int last = w.line_start[line + 1] - 1;
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
      if (saved) saved[s] = h[s];
      // A held head solves to itself, so its change is exactly 0 and the
      // head keeps every bit.
      h[s] += relax * change;
    }
    if (p == lines) {
      // The verdict goes out before the last line, so that no sweep after
      // this one finishes unless the solve goes on.
      w.sweep_largest[std::size_t(k)] = largest;
      w.sweep_not_number[std::size_t(k)] = not_a_number;
      // Only the first sweep to end the solve gets here: every later one
      // waits on this one's last line and then sees the stop.
      if (not_a_number || largest < tolerance)
        std::atomic_ref<int>(stop).store(k, std::memory_order_seq_cst);
    }
    raise_progress(done_here, p);
  }
  if (lines == 0) {
    // Nothing to solve: sweep 1 ends the solve (on the calling thread).
    w.sweep_largest[std::size_t(k)] = largest;
    w.sweep_not_number[std::size_t(k)] = 0;
    stop = k;
  }
  return true;
}

}  // namespace

int gw_lsor_solve(double* head, double relax, int rows, int cols, const gw_system& system,
                  double tolerance, gw_line_work& work, int direction, int orientation,
                  const block_2d<int>& mask) {
  const bool along_rows = orientation == 1;
  const int lines = lay_out_lines(rows, cols, along_rows, mask, work);
  const int slots = work.line_start[lines + 1] - 1;
  // Each sweep trails the one before by two lines, so a few lines per
  // thread keep every thread busy.
  const int cell_team = team_for(slots, work.parallel_min_slots);
  const int team = lines >= 4 ? std::clamp(std::min(cell_team, work.teams), 1, lines / 2) : 1;
  load_and_eliminate(lines, along_rows, head, system, work, cell_team);

  sweep_plan plan{lines, direction, slots, relax, tolerance, team, work};
  for (int k = 1; k <= work.sweeps_touched; ++k) plan.done_slot(k) = 0;
  plan.done_slot(0) = lines;  // the heads as they come in stand for sweep 0
#pragma omp parallel num_threads(team) if (team > 1)
  {
    // The runtime may give fewer threads than asked (a nested call, a
    // thread limit): the sweeps are dealt over the team there really is, so
    // that no sweep is left without a thread for the next one to wait on.
#pragma omp single
    plan.team = omp_get_num_threads();
    const int t = omp_get_thread_num();
    for (int k = t + 1; k <= gw_max_sweeps; k += plan.team)
      if (!plan.sweep(k, t)) break;
  }
  const int dealt = plan.team;
  ++work.solves;
  if (dealt > 1) ++work.team_solves;
  work.widest_team = std::max(work.widest_team, dealt);
  const int last = std::min(plan.stop, gw_max_sweeps);
  work.sweeps_touched = std::min(last + dealt, gw_max_sweeps);
  // The sweep after the last may have solved some lines already: those
  // take back the heads it found there.
  if (last < gw_max_sweeps && dealt > 1) {
    const double* saved =
        work.saved.data() + std::size_t(last % dealt) * std::size_t(slots + 1);
    const int solved = plan.lines_of(last + 1);
    for (int p = 1; p <= solved; ++p) {
      const int line = plan.line_at(p);
      for (int s = work.line_start[line]; s < work.line_start[line + 1]; ++s)
        work.head[s] = saved[s];
    }
  }

  // The heads of the slots go back to the cells, converged or not.
  const double* h = work.head.data();
  const int* cell = work.cell.data();
#pragma omp parallel for schedule(static) num_threads(cell_team) if (cell_team > 1)
  for (int s = 1; s <= slots; ++s) head[cell[s]] = h[s];
  const bool not_a_number = work.sweep_not_number[std::size_t(last)] != 0;
  const double largest =
      not_a_number ? std::nan("") : work.sweep_largest[std::size_t(last)];
  if (plan.stop <= gw_max_sweeps && !not_a_number) return last;
  raise_message(
      "Error: Non-convergence in the groundwater line solver after %d sweeps (largest head "
      "change of the last sweep %g m).\n",
      last, largest);
  return -1;
}
