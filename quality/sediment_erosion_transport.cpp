// Overland erosion of one step, class by class: detachment, transport across
// the faces up to the capacity, settling. Transport changes the stores as it
// goes, cell after cell in grid order, so that sediment entering a cell later
// in the order moves on in the same step; every cell must see its
// neighbours' stores exactly as that order leaves them.
//
// The work of cell k across its right and lower faces touches only k, its
// right neighbour and the cell below, so it must wait only for the earlier
// work that touched those: its left neighbour's, the cell above it and the
// cell above its right neighbour. The rows are dealt over the team in turn,
// and each row follows the row above it once that row is past the cell
// above-right: a wavefront, in which every store is changed in the same
// order as on one thread, bit for bit. A cell is detached by the first work
// that touches it and settles once its own work, the last to touch it, is
// done, so one pass over the grid does all three, each row's cells touched
// again only while they are in cache; the class totals are summed in the
// same pass, row after row.
// Channel lakes gather the sediment of many cells in a few shared tallies,
// whose sums follow the grid order; with lakes the three passes stay apart
// and transport stays on one thread.

#include "quality/sediment_erosion_transport.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/parallel_team.h"
#include "run/model_state.h"
#include "quality/sediment_kernels.h"
#include "surface/cell_loops.h"

namespace {

constexpr double tiny = 1e-16;

// Which face of the outlet cell leads out of the watershed.
enum class outlet_side { none, right, lower };

struct erosion_view {
  sediment_state& sed;
  const double* h;
  const double* z;
  const double* qx;
  const double* qy;
  const double* rain;
  const int* right;
  const int* below;
  const int* left;
  const int* above;
  double dx;
  double dt;
  int cells;
  int outlet;        // 0 with channel routing on
  outlet_side side;
  double outlet_q;   // outlet outflow of the step, m3/s
  // Channel lakes, or null: the lake of each cell (0 none), each lake's
  // level, and the lakes' sediment rows.
  const int* lake_mask;
  const double* lake_elev;
  chan_sediment_state* lakes;
  bool first_step;   // no lake has given back fines before its first step
};

int lake_at(const erosion_view& v, int cell) {
  return v.lake_mask && cell > 0 ? v.lake_mask[cell] : 0;
}

// Pass 1 for cell k: slopes, splash, outflow magnitude and flow detachment.
// rain holds the splash of the last intensity this thread met.
void detach(const erosion_view& v, int k, double outlet_slope, splash_rain& rain) {
  sediment_state& sed = v.sed;
  const int r = v.right[k];
  const int b = v.below[k];
  const double surface = v.h[k] + v.z[k];
  if (v.lake_mask) {
    // A cell beside a lake slopes towards the lake's level and neither
    // splashes nor detaches; a lake cell only slopes out to its right.
    // Slopes not worked out keep their last values.
    const int own = lake_at(v, k);
    if (own == 0) {
      const int lr = lake_at(v, r);
      if (r != 0 && lr != 0) {
        sed.slope_x[k] = (surface - v.lake_elev[lr]) / v.dx;
        return;
      }
      sed.slope_x[k] = r != 0 ? (surface - (v.h[r] + v.z[r])) / v.dx : 0.0;
      const int lb = lake_at(v, b);
      if (b != 0 && lb != 0) {
        sed.slope_y[k] = (surface - v.lake_elev[lb]) / v.dx;
        return;
      }
    } else {
      sed.slope_x[k] =
          r != 0 && lake_at(v, r) == 0 ? (v.lake_elev[own] - (v.h[r] + v.z[r])) / v.dx : 0.0;
      return;
    }
  }
  double sx = r != 0 ? (surface - (v.h[r] + v.z[r])) / v.dx : 0.0;
  double sy = b != 0 ? (surface - (v.h[b] + v.z[b])) / v.dx : 0.0;
  if (k == v.outlet) {
    if (v.side == outlet_side::right) sx = outlet_slope;
    else if (v.side == outlet_side::lower) sy = outlet_slope;
  }
  sed.slope_x[k] = sx;
  sed.slope_y[k] = sy;
  const double slope = std::sqrt(sx * sx + sy * sy);

  // Rain comes from a few gauges or is uniform: neighbours mostly share it.
  if (!(v.rain[k] == rain.intensity)) rain = rain_splash(v.rain[k]);
  splash_detachment(k, rain, v.h[k], v.dt, v.dx, sed);

  double sum = 0.0;
  if (v.qx[k] > tiny) sum += v.qx[k] * v.qx[k];
  const int l = v.left[k];
  if (l != 0 && v.qx[l] < -tiny) sum += v.qx[l] * v.qx[l];
  if (v.qy[k] > tiny) sum += v.qy[k] * v.qy[k];
  const int u = v.above[k];
  if (u != 0 && v.qy[u] < -tiny) sum += v.qy[u] * v.qy[u];
  const double q = std::sqrt(sum);
  sed.outflow[k] = q;
  const double unit_q = q / v.dx;
  const double capacity =
      sediment_transport_capacity(sed.formula, k, slope, v.h[k], unit_q, v.dt, v.dx, sed);
  if (unit_q > tiny) flow_detachment(k, slope, v.h[k], v.dt, v.dx, capacity, sed);
}

// Pass 2 across one face of cell k towards neighbour nb (0 beyond the
// outlet face) carrying f m3/s (positive away from k) on slope. face, when
// kept, gathers each class's volume across this face of k.
void carry(const erosion_view& v, int k, int nb, double f, double slope, double* capacity,
           std::vector<double>& face) {
  using namespace sed_element;
  sediment_state& sed = v.sed;
  const int n = sed.classes;
  const int up = f >= 0.0 ? k : nb;
  const int down = f >= 0.0 ? nb : k;
  if (up == 0) return;  // nothing comes in from beyond the outlet
  const int up_lake = lake_at(v, up);
  const int down_lake = lake_at(v, down);
  double* across = face.empty() || nb == 0 ? nullptr : face.data() + sed.at(k, 0);
  if (up_lake != 0) {
    // A lake gives back only its fines, at its own concentration; the face
    // keeps them too, so that what rides on them leaves the lake with them.
    if (down_lake != 0 || down == 0 || v.first_step) return;
    chan_sediment_state& cs = *v.lakes;
    double* flux = sed.ov_qsmax.empty() ? nullptr : sed.ov_qsmax.data() + sed.at(up, 0);
    for (int m = 1; m <= sed.fine_count; ++m) {
      const int i = sed.sed_class[std::size_t(m)];
      const double g = std::fabs(cs.SS_conc_vol_lake[cs.lake_fin(up_lake, m)] * f * v.dt);
      if (across) across[i] += up == k ? g : -g;
      sed.vol(down, i)[suspended] += g;
      cs.SS_vol_lake_to_overland[cs.lake_fin(up_lake, m)] += g;
      cs.sed_vol_overland_to_lake[cs.lake_fin(up_lake, i)] -= g;
      if (flux) flux[i] += g / v.dt;
    }
    return;
  }
  const double cap = std::fabs(sediment_transport_capacity(
      sed.formula, up, slope, v.h[up], std::fabs(f) / v.dx, v.dt, v.dx, sed));
  capacity[up] = cap;
  double carried = 0.0;
  for (int i = 1; i <= n; ++i) carried += sed.vol(up, i)[suspended];
  if (!(cap > tiny) || !(carried > tiny)) return;
  const double moved = std::min(cap, carried);
  const double share = moved / carried;  // of every class alike
  double* flux = sed.ov_qsmax.empty() ? nullptr : sed.ov_qsmax.data() + sed.at(up, 0);
  for (int i = 1; i <= n; ++i) {
    double& from = sed.vol(up, i)[suspended];
    const double m = from * share;
    from -= m;
    if (across) across[i] += up == k ? m : -m;
    if (down_lake != 0) {
      // Sand drops at the lake's edge; every class joins the lake's tally.
      chan_sediment_state& cs = *v.lakes;
      if (sed.sand[std::size_t(i)]) {
        sed.vol(down, i)[deposited] += m;
        cs.lake_bank_sand[cs.lake_fin(down_lake, i)] += m;
      }
      cs.sed_vol_overland_to_lake[cs.lake_fin(down_lake, i)] += m;
    } else {
      sed.vol(down, i)[suspended] += m;
    }
    if (flux) flux[i] += m / v.dt;
  }
}

// What reached the world beyond the outlet face leaves the grid.
void discharge_outlet(const erosion_view& v) {
  using namespace sed_element;
  sediment_state& sed = v.sed;
  for (int i = 1; i <= sed.classes; ++i) {
    double& gone = sed.vol(0, i)[suspended];
    sed.vol(v.outlet, i)[discharged] += gone;
    sed.vol(v.outlet, 0)[discharged] += gone;
    sed.outlet_step_volume += gone;
    gone = 0.0;
  }
}

// Pass 2 for cell k: its right face, then its lower face.
void transport_cell(const erosion_view& v, int k) {
  sediment_state& sed = v.sed;
  if (!sed.ov_qsmax.empty())
    for (int i = 0; i <= sed.classes; ++i) sed.ov_qsmax[sed.at(k, i)] = 0.0;
  const bool out_right = k == v.outlet && v.side == outlet_side::right;
  if (v.right[k] != 0 || out_right) {
    carry(v, k, v.right[k], out_right ? v.outlet_q : v.qx[k], std::fabs(sed.slope_x[k]),
          sed.qsx.data(), sed.ov_sed_vol_qsx);
    if (out_right) discharge_outlet(v);
  }
  const bool out_lower = k == v.outlet && v.side == outlet_side::lower;
  if (v.below[k] != 0 || out_lower) {
    carry(v, k, v.below[k], out_lower ? v.outlet_q : v.qy[k], std::fabs(sed.slope_y[k]),
          sed.qsy.data(), sed.ov_sed_vol_qsy);
    if (out_lower) discharge_outlet(v);
  }
}

// Pass 3 for cell l: a share of each class settles, all of it in a dry or
// still cell; then the cell's totals and its output rows.
void settle(const erosion_view& v, int l) {
  using namespace sed_element;
  sediment_state& sed = v.sed;
  const int n = sed.classes;
  const double h = v.h[l];
  const double velocity = h > tiny ? sed.outflow[l] / (v.dx * h) : 0.0;
  const bool moving = h > tiny && velocity > tiny;
  double* settled = sed.step_deposited.data() + sed.at(l, 0);
  sed_volume& total = sed.vol(l, 0);
  total[eroded] = total[suspended] = total[deposited] = 0.0;
  for (int i = 1; i <= n; ++i) {
    sed_volume& c = sed.vol(l, i);
    const double share =
        moving ? 1.0 - std::exp(-v.dx * sed.fall_velocity[i] / (velocity * h)) : 1.0;
    const double d = share * c[suspended];
    c[deposited] += d;
    c[suspended] -= d;
    settled[i] += d;
    settled[0] += d;
    total[eroded] += c[eroded];
    total[suspended] += c[suspended];
    total[deposited] += c[deposited];
  }
  if (!sed.ov_qsmax.empty()) {
    double* flux = sed.ov_qsmax.data() + sed.at(l, 0);
    double sum = 0.0;
    for (int i = 1; i <= n; ++i) sum += flux[i];
    flux[0] = sum;
    sed.ov_qsmax_total[l] = sum;
  }
  if (!sed.ov_qsconc.empty()) {
    double* susp = sed.ov_qsconc.data() + sed.at(l, 0);
    for (int i = 1; i <= n; ++i) susp[i] = sed.vol(l, i)[suspended];
    susp[0] = total[suspended];
    sed.ov_conc[l] = total[suspended];
  }
}

bool not_a_number(const sed_volume& c) {
  using namespace sed_element;
  return std::isnan(c[suspended]) || std::isnan(c[eroded]) || std::isnan(c[deposited]);
}

// Cells first..last of one sum block, in order, settle when settle_cells is
// set and join the block's class partials, which the block's first cell
// starts afresh: the partials come out the same however the block's cells
// are shared, as long as its runs are added in cell order.
void settle_and_add(const erosion_view& v, int first, int last, bool settle_cells) {
  using namespace sed_element;
  sediment_state& sed = v.sed;
  const int n = sed.classes;
  const int b = block_of_cell(first);
  sed_class_total* part = sed.block_totals.data() + std::size_t(b) * (n + 1);
  const bool starts = first == block_first_cell(b);
  if (starts)
    for (int i = 1; i <= n; ++i) part[i] = sed_class_total{};
  int bad = 0;
  for (int l = first; l <= last; ++l) {
    if (settle_cells) settle(v, l);
    for (int i = 1; i <= n; ++i) {
      const sed_volume& c = sed.vol(l, i);
      part[i].eroded += c[eroded];
      part[i].suspended += c[suspended];
      part[i].deposited += c[deposited];
      if (not_a_number(c)) bad = 1;
    }
  }
  sed.block_bad[b] = starts ? bad : sed.block_bad[b] | bad;
}

// The class totals of the run: the block partials added in block order.
void total_classes(const erosion_view& v) {
  using namespace sed_element;
  sediment_state& sed = v.sed;
  const int n = sed.classes;
  const int blocks = sum_blocks(v.cells);
  for (int i = 1; i <= n; ++i) {
    sed_class_total t;
    for (int b = 0; b < blocks; ++b) {
      const sed_class_total& p = sed.block_totals[std::size_t(b) * (n + 1) + i];
      t.eroded += p.eroded;
      t.suspended += p.suspended;
      t.deposited += p.deposited;
    }
    t.routed = v.outlet > 0 ? sed.vol(v.outlet, i)[discharged] : 0.0;
    sed.totals[i] = t;
  }
}

// Pass 3 block by block over the grid.
void settle_blocks(const erosion_view& v) {
  const int blocks = sum_blocks(v.cells);
#pragma omp parallel for schedule(static) num_threads(block_team(blocks))
  for (int b = 0; b < blocks; ++b)
    settle_and_add(v, block_first_cell(b), block_last_cell(b, v.cells), true);
}

// Pass 2 for cell k of column c, with the detachment of the cells that it
// is the first to touch and that no cell above touched before: itself on
// the top edge of the watershed, or its right neighbour there.
void carry_from(const erosion_view& v, const int* row, const int* row_above, int c, int k,
                double outlet_slope, splash_rain& rain) {
  if (row_above[c] == 0 && row[c - 1] == 0) detach(v, k, outlet_slope, rain);
  if (row[c + 1] != 0 && row_above[c + 1] == 0) detach(v, row[c + 1], outlet_slope, rain);
  transport_cell(v, k);
}

// What a thread has done: the last cell it carried from, and the last row
// whose cells it has added to the sums. The thread of the next row waits on
// them.
struct row_progress {
  progress_count carried;
  progress_count summed;
};
// More threads than this leave the rest of the team idle.
constexpr int max_row_threads = 256;
// A thread tells the next row of its progress every this many cells.
constexpr int publish_every = 16;

// Holds a row until the thread of the row above has raised the slot to
// `need`; returns the value that thread is seen to have reached. A cell
// takes a fraction of a microsecond, so a short spin is enough for a team
// whose threads all hold a processor; past it the thread above has lost its
// processor, and this one sleeps so as not to hold it back.
int wait_for(progress_count& slot, int need) {
  return slot.wait_until([need](int seen) { return seen >= need; });
}

// Settles the cells first..last of row r and adds them to the sums of their
// blocks. A block begun in a row above is added to only after those rows.
void settle_row(const erosion_view& v, int r, int first, int last, progress_count* summed_above,
                progress_count& summed) {
  if (first <= last) {
    const int lead = block_of_cell(first);
    const int lead_last = std::min(last, block_last_cell(lead, v.cells));
    const bool continues = first != block_first_cell(lead);
    if (continues)
      for (int l = first; l <= lead_last; ++l) settle(v, l);
    else
      settle_and_add(v, first, lead_last, true);
    for (int b = lead + 1; b <= block_of_cell(last); ++b)
      settle_and_add(v, block_first_cell(b), std::min(last, block_last_cell(b, v.cells)), true);
    if (summed_above) wait_for(*summed_above, r - 1);
    if (continues) settle_and_add(v, first, lead_last, false);
  } else if (summed_above) {
    wait_for(*summed_above, r - 1);
  }
  summed.store(r);
}

// Passes 1 to 3 in one wavefront over the rows, dealt over the team in turn:
// a row follows the row above it at least two cells behind. A thread's
// cells come in increasing cell number, so its progress is one number.
void erode_in_rows(const erosion_view& v, const block_2d<int>& mask, int rows, int cols,
                   double outlet_slope) {
  row_progress progress[max_row_threads];
#pragma omp parallel num_threads(team_for(v.cells, cells_per_thread))
  {
    const int team = std::min({omp_get_num_threads(), rows, max_row_threads});
    const int t = omp_get_thread_num();
    splash_rain rain;
    for (int r = 1 + t; t < team && r <= rows; r += team) {
      const int* row = mask[r];
      const int* row_above = mask[r - 1];
      const int* row_below = mask[r + 1];
      row_progress& above = progress[(r - 2 + team) % team];
      row_progress& done = progress[t];
      // The row below is first touched from this one, across its lower
      // faces.
      for (int c = 1; c <= cols; ++c)
        if (row_below[c] != 0 && row[c] != 0) detach(v, row_below[c], outlet_slope, rain);
      int seen = 0;  // of the row above, by the last look
      int first = v.cells + 1, last = 0;
      for (int c = 1; c <= cols; ++c) {
        const int k = row[c];
        if (k == 0) continue;
        // The cell's work touches it, its right neighbour and the cell
        // below: the row above must be done with the first two.
        const int need = row_above[c + 1] != 0 ? row_above[c + 1] : row_above[c];
        if (r > 1 && need > seen) seen = wait_for(above.carried, need);
        carry_from(v, row, row_above, c, k, outlet_slope, rain);
        // The next row keeps a good way behind; telling it every few cells
        // spares the cache line the two threads share.
        if (k % publish_every == 0) done.carried.store(k);
        first = std::min(first, k);
        last = k;
      }
      if (last != 0) done.carried.store(last);
      // No later work touches the row's cells, numbered first..last, again.
      settle_row(v, r, first, last, r > 1 ? &above.summed : nullptr, done.summed);
    }
  }
}

// Pass 5: volumes that are not numbers are named, and the run goes on.
void report_nan_volumes(const erosion_view& v) {
  using namespace sed_element;
  const sediment_state& sed = v.sed;
  const int blocks = sum_blocks(v.cells);
  for (int b = 0; b < blocks; ++b) {
    if (!sed.block_bad[b]) continue;
    const int last = block_last_cell(b, v.cells);
    for (int l = block_first_cell(b); l <= last; ++l) {
      for (int i = 1; i <= sed.classes; ++i) {
        const sed_volume& c = sed.vol(l, i);
        if (std::isnan(c[suspended]))
          std::printf("PT 3 suspended soil particle %2d=Nan at grid %d\n", i, l);
        if (std::isnan(c[eroded]))
          std::printf("PT 3 eroded soil particle %2d=Nan at grid %d\n", i, l);
        if (std::isnan(c[deposited]))
          std::printf("PT 3 deposited soil particle %2d=Nan at grid %d\n", i, l);
      }
      std::fflush(stdout);
    }
  }
}

}  // namespace

void sediment_erosion_transport(model_state& state, double dt) {
  sediment_state& sed = state.quality.sediment;
  const grid_state& g = state.grid;
  const surface_state& sf = state.surface;
  const int cells = g.cells;
  const int outlet = state.input.channel_routing ? 0 : g.outlet_cell;
  outlet_side side = outlet_side::none;
  if (outlet > 0) side = g.rightcon[outlet] == 0 ? outlet_side::right
                         : g.belowcon[outlet] == 0 ? outlet_side::lower
                                                   : outlet_side::none;
  erosion_view v{sed,
                       sf.depth.data(),
                       g.elevation.data(),
                       sf.flux_x.data(),
                       sf.flux_y.data(),
                       sf.rain_rate.data(),
                       g.rightcon.data(),
                       g.belowcon.data(),
                       g.leftcon.data(),
                       g.abovecon.data(),
                       g.dx,
                       dt,
                       cells,
                       outlet,
                       side,
                       state.run.q_out,
                       nullptr,
                       nullptr,
                       nullptr,
                       state.run.step == 0};
  chan_sediment_state& cs = state.quality.chan_sediment;
  if (state.channel.channel_lakes && cs.on && cs.lakes > 0) {
    v.lake_mask = state.channel.lake_mask.data();
    v.lake_elev = state.channel.lake_elev.data();
    v.lakes = &cs;
  }
  sed.outlet_step_volume = 0.0;
  const double outlet_slope = g.outlet_slope;
  const bool rows = v.lake_mask == nullptr && !g.mask.empty() &&
                      g.mask.last_row() == g.rows + 1 && g.mask.last_column() == g.cols + 1;
  if (rows) {
    erode_in_rows(v, g.mask, g.rows, g.cols, outlet_slope);
  } else {
#pragma omp parallel num_threads(team_for(cells, cells_per_thread))
    {
      splash_rain rain;
#pragma omp for schedule(static)
      for (int k = 1; k <= cells; ++k) detach(v, k, outlet_slope, rain);
    }
    for (int k = 1; k <= cells; ++k) transport_cell(v, k);
    settle_blocks(v);
  }
  total_classes(v);
  report_nan_volumes(v);
}

void book_sediment_step(model_state& state) {
  sediment_state& sed = state.quality.sediment;
  const int cells = state.grid.cells;
  const int n = sed.classes;
  const double area = state.grid.dx * state.grid.dx;
  double* z = state.grid.elevation.data();
  const bool adjust = sed.adjust_elev != 0;
  // The sediment-bound constituents take the step's detached and settled
  // volumes and clear them once they have.
  const bool keep = !sed.ov_sed_vol_qsx.empty();
  double* net = sed.ov_net_sed.empty() ? nullptr : sed.ov_net_sed.data();
#pragma omp parallel for schedule(static) num_threads(team_for(cells, cells_per_thread))
  for (int c = 1; c <= cells; ++c) {
    double* dep = sed.step_deposited.data() + sed.at(c, 0);
    double* ero = sed.step_eroded.data() + sed.at(c, 0);
    double* run = sed.ov_qsvol.data() + sed.at(c, 0);
    for (int i = 0; i <= n; ++i) run[i] += dep[i] - ero[i];
    if (adjust) z[c] += (dep[0] - ero[0]) / area;
    if (net) net[c] = run[0];
    if (keep) continue;
    for (int i = 0; i <= n; ++i) dep[i] = ero[i] = 0.0;
  }
}
