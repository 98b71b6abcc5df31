// The aquifer's head solve over one groundwater interval. Every source and
// sink of a cell becomes one net sink rate; the interval is cut into
// sub-steps where a soil column resting on the table would be crossed too
// fast; each sub-step iterates outer passes, refreshing the transmissivities
// from the last heads, around a line SOR solve of the implicit system.
//
// Per-cell loops run in parallel and write only their own cell; the sums
// that reach the balance are added in cell order after the loop, so the
// result does not depend on the thread count.

#include "subsurface/gw_solve.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include <omp.h>

#include "core/error_state.h"
#include "core/grid_state.h"
#include "input/project_settings.h"
#include "input/read_grid_inputs.h"
#include "soil/richards_soil.h"
#include "subsurface/gw_vadose.h"
#include "subsurface/gw_wells.h"

namespace {

// Thinnest saturated thickness that carries flow, m: keeps the
// transmissivities of a dry cell above zero.
constexpr double min_thickness = 0.001;
// Saturated thickness below which a cell neither leaks nor pumps, m.
constexpr double dry_thickness = 0.01;
// Largest head change between passes of a converged sub-step, m.
constexpr double pass_tolerance = 0.001;
// Passes from which each pass warns of slow convergence.
constexpr int warn_passes = 50;

// Face coefficient between cell i and neighbour n (1/s): the harmonic mean
// of the transmissivities t_i, t_n over the centre distance, per width d_i.
double face(double t_i, double t_n, double d_i, double d_n) {
  const double den = d_n * t_i + d_i * t_n;
  return den > 0.0 ? 2.0 * t_i * t_n / den / d_i : 0.0;
}

// The net sink rate of every cell over dt (s > 0); empties the exchange
// volumes it takes. Returns the sink volume of the interval, m3, negative
// for a net withdrawal.
double form_sinks(groundwater_state& gw, const gw_couplings& with, int cells, double dt) {
  const bool table_wells = gw.wells_from_table != 0;
  const double leakage = gw.settings.leakage_rate / 100.0 / 3600.0;  // cm/h to m/s
#pragma omp parallel for schedule(static) num_threads(team_for(cells, gw.parallel_min_cells))
  for (int i = 1; i <= cells; ++i) {
    if (gw_fixed(gw.gwbound[i])) {
      // A held head takes no water, so none is booked as pumped or leaked.
      gw.gw_sink[i] = 0.0;
      gw.gw_leakage[i] = 0.0;
      gw.gw_pump_rate[i] = 0.0;
      gw.gw_pump_asked[i] = 0.0;
      gw.sink_volume[i] = 0.0;
      continue;
    }
    const double area = gw.gw_dx[i] * gw.gw_dy[i];  // m2
    const double b = gw.elevgw[i] - gw.bottom_elev[i];  // saturated thickness, m
    double tile = 0.0, lake = 0.0, stream = 0.0;  // m/s
    if (with.tile_drains) tile = gw.vol_tile_grid[i] / dt / area;
    if (with.lake_exchange) lake = gw.lake_source[i] / dt / area;
    if (with.channels) stream = gw.gw_stream_vol[i] / dt / area;
    double drop = -gw.gw_drop_vol[i] / 100.0 / dt;
    // Already a depth: no division by the area.
    double seep = gw.gw_surface_seep[i] / dt;

    // Water the cell holds per unit area, m: a thickness b at the storage
    // coefficient S holds b S, so a loss capped by b alone would take more
    // than is there whenever S < 1.
    const double store = gw.gw_storage[i];
    double leak = leakage;
    if (b < dry_thickness)
      leak = 0.0;
    else if (b * store < leak * dt)
      leak = b * store / dt;

    if (!table_wells) gw.gw_pump_rate[i] = gw.gw_static_flux[i];
    double pump = gw.gw_pump_rate[i];
    gw.gw_pump_asked[i] = pump;
    if (b < dry_thickness && pump > 0.0) pump = 0.0;
    // A well draws on its neighbours as much as on its own cell: it is held
    // only to the cell's thickness over the interval here, and after the
    // solve to the water the aquifer really gave it.
    const double others = -gw.gw_recharge[i] / 100.0 / dt + leak + drop + seep + stream + lake + tile;
    if (pump > 0.0 && b - (pump + others) * dt < min_thickness)
      pump = std::max(0.0, std::min(pump, (b - min_thickness) / dt - std::max(others, 0.0)));

    const double sink = others;
    // The cell gives no more than it holds above the thinnest thickness.
    // The streams, lakes, drains and the ponded surface already hold what
    // they took from it, so the deep leakage gives way first; what the cell
    // still cannot give stays owed to it, taken at a later interval, so
    // every book holds what really moved.
    const double can_give = b < min_thickness ? 0.0 : std::max(0.0, (b - min_thickness) * store / dt);
    double excess = sink > can_give ? sink - can_give : 0.0;  // m/s
    // Each term gives way by what the cell cannot give; the cut, m/s.
    auto give_way = [&excess](double& term) {
      if (!(term > 0.0) || !(excess > 0.0)) return 0.0;
      const double cut = std::min(term, excess);
      term -= cut;
      excess -= cut;
      return cut;
    };
    give_way(leak);
    const double owed = dt * area;  // m3 per m/s of the interval
    if (with.channels) gw.gw_stream_vol[i] = give_way(stream) * owed;
    if (with.lake_exchange) gw.lake_source[i] = give_way(lake) * owed;
    if (with.tile_drains) gw.vol_tile_grid[i] = give_way(tile) * owed;
    gw.gw_surface_seep[i] = give_way(seep) * dt;
    // A rising table's take into the soil below the ground is already in
    // the soil's books: what the cell cannot give stays owed the same way.
    gw.gw_drop_vol[i] = -give_way(drop) * dt * 100.0;
    gw.gw_leakage[i] = leak;
    gw.gw_pump_rate[i] = pump;
    gw.gw_sink[i] = pump - gw.gw_recharge[i] / 100.0 / dt + leak + drop + seep + stream + lake + tile;
    gw.sink_volume[i] = -dt * gw.gw_sink[i] * area;
  }
  double total = 0.0;
  for (int i = 1; i <= cells; ++i) total += gw.sink_volume[i];
  return total;
}

// Keeps the heads as the sub-step's start; the smallest cell whose head is
// not a number, or 0.
int save_start_heads(groundwater_state& gw, int cells) {
  int first_bad = INT_MAX;
#pragma omp parallel for schedule(static) reduction(min : first_bad) \
    num_threads(team_for(cells, gw.parallel_min_cells))
  for (int i = 1; i <= cells; ++i) {
    gw.head_start[i] = gw.elevgw[i];
    if (std::isnan(gw.elevgw[i]) && i < first_bad) first_bad = i;
  }
  return first_bad == INT_MAX ? 0 : first_bad;
}

// The storage of every cell for a sub-step of s seconds under its soil
// column, shortening s where a thin column would be crossed in less; the
// most nodes any table crosses. Serial: a shortened s holds for the cells
// after it.
int substep_storage(groundwater_state& gw, const grid_state& grid, const richards_soil& rs,
                    int cells, double& s) {
  int crossed = 0;
  for (int i = 1; i <= cells; ++i) {
    double storage = gw.gw_storage[i];
    const int k = vadose_substep_storage(rs, i, grid.elevation[i], gw.elevgw[i], gw.gw_sink[i],
                                         s, storage);
    gw.gw_storage[i] = storage;
    crossed = std::max(crossed, k);
  }
  return crossed;
}

// Transmissivities from the last heads; the heads go back to the sub-step's
// start for the pass to solve afresh.
void start_pass(groundwater_state& gw, int cells) {
#pragma omp parallel for schedule(static) num_threads(team_for(cells, gw.parallel_min_cells))
  for (int i = 1; i <= cells; ++i) {
    gw.head_iter[i] = gw.elevgw[i];
    gw.gw_thickness[i] = gw.elevgw[i] - gw.bottom_elev[i];
    const double b = std::max(gw.gw_thickness[i], min_thickness);
    gw.gw_tx[i] = b * gw.gw_kx[i];
    gw.gw_ty[i] = b * gw.gw_ky[i];
    gw.elevgw[i] = gw.head_start[i];
  }
}

// The implicit five-point system of a sub-step of s seconds.
void form_system(groundwater_state& gw, const grid_state& grid, int cells, double s) {
  gw_system& sys = gw.system;
#pragma omp parallel for schedule(static) num_threads(team_for(cells, gw.parallel_min_cells))
  for (int i = 1; i <= cells; ++i) {
    if (gw_fixed(gw.gwbound[i])) {
      sys.above[i] = sys.left[i] = sys.right[i] = sys.below[i] = 0.0;
      sys.diagonal[i] = 1.0;
      sys.rhs[i] = gw.elevgw[i];
      continue;
    }
    const int up = grid.abovecon[i], lt = grid.leftcon[i];
    const int rt = grid.rightcon[i], dn = grid.belowcon[i];
    const double tx = gw.gw_tx[i], ty = gw.gw_ty[i];
    const double dx = gw.gw_dx[i], dy = gw.gw_dy[i];
    sys.above[i] = up ? face(ty, gw.gw_ty[up], dy, gw.gw_dy[up]) : 0.0;
    sys.below[i] = dn ? face(ty, gw.gw_ty[dn], dy, gw.gw_dy[dn]) : 0.0;
    sys.left[i] = lt ? face(tx, gw.gw_tx[lt], dx, gw.gw_dx[lt]) : 0.0;
    sys.right[i] = rt ? face(tx, gw.gw_tx[rt], dx, gw.gw_dx[rt]) : 0.0;
    const double store = gw.gw_storage[i] / s;  // 1/s
    sys.diagonal[i] = -(sys.above[i] + sys.left[i] + sys.right[i] + sys.below[i] + store);
    sys.rhs[i] = gw.gw_sink[i] - store * gw.elevgw[i];
  }
}

// Largest head change of the pass; the heads become the last pass's.
double end_pass(groundwater_state& gw, int cells) {
  double largest = 0.0;
#pragma omp parallel for schedule(static) reduction(max : largest) \
    num_threads(team_for(cells, gw.parallel_min_cells))
  for (int i = 1; i <= cells; ++i) {
    largest = std::max(largest, std::fabs(gw.elevgw[i] - gw.head_iter[i]));
    gw.head_iter[i] = gw.elevgw[i];
  }
  return largest;
}

// A head that fell to the bottom stays just above it and gives no more,
// after a sub-step of s seconds of an interval of dt with after seconds
// still to come. The water that lifts it comes up from the deep aquifer:
// it is booked as an input of the solve and as leakage back from below.
// The take the sink would still have made over the time to come was
// booked with the interval's inputs: it goes back to them, and stays owed
// to the aquifer (as the soil columns' take) for a later interval. The
// sums of the inputs add in cell order.
void hold_above_bottom(groundwater_state& gw, bool richards, int cells, double dt, double after,
                       double& total) {
#pragma omp parallel for schedule(static) num_threads(team_for(cells, gw.parallel_min_cells))
  for (int i = 1; i <= cells; ++i) {
    gw.book_a[i] = 0.0;
    const double floor = gw.bottom_elev[i] + min_thickness;
    if (!(gw.elevgw[i] < floor)) continue;
    const double area = gw.gw_dx[i] * gw.gw_dy[i];
    // The heads' volume counts the porosity under a soil column (whose
    // re-laying books the rest); elsewhere the solve's storage.
    const double store = richards ? gw.gw_porosity[i] : gw.gw_storage[i];
    const double lift = (floor - gw.elevgw[i]) * store * area;  // m3
    gw.elevgw[i] = floor;
    // A well that emptied its cell gave only what was there: the lift
    // comes off its pumping first, and only the rest from below.
    const double cut = std::min(std::max(gw.gw_pump_rate[i], 0.0), lift / dt / area);  // m/s
    gw.gw_pump_rate[i] -= cut;
    gw.gw_leakage[i] -= lift / dt / area - cut;
    double untaken = 0.0;  // m3
    if (gw.gw_sink[i] > 0.0) {
      untaken = gw.gw_sink[i] * after * area;
      gw.gw_drop_vol[i] -= gw.gw_sink[i] * after * 100.0;
      gw.gw_sink[i] = 0.0;
    }
    gw.book_a[i] = lift + untaken;
  }
  for (int i = 1; i <= cells; ++i) total += gw.book_a[i];
}

// A table in a soil column moves at the column's storage (the saturated
// content of the nodes it fills or drains), while the heads' volume counts
// the aquifer's porosity: what the sub-step stored beyond that share is
// kept, so that the books hold the water the heads do. Added in cell order.
void book_column_storage(groundwater_state& gw, int cells) {
  double over = 0.0;  // m3
  for (int i = 1; i <= cells; ++i) {
    if (gw_fixed(gw.gwbound[i])) continue;
    over += (gw.gw_storage[i] - gw.gw_porosity[i]) * (gw.elevgw[i] - gw.head_start[i]) *
            gw.gw_dx[i] * gw.gw_dy[i];
  }
  gw.stored_over_porosity += over;
}

// Flow of the sub-step out of each fixed-head cell into its neighbours, m3.
void book_fixed_head_flow(groundwater_state& gw, const grid_state& grid, int cells, double s) {
#pragma omp parallel for schedule(static) num_threads(team_for(cells, gw.parallel_min_cells))
  for (int i = 1; i <= cells; ++i) {
    if (gw.gwbound[i] != gw_type::fixed_head) continue;
    const double h = gw.elevgw[i], b = gw.gw_thickness[i];
    const double dx = gw.gw_dx[i], dy = gw.gw_dy[i];
    double flow = 0.0;
    auto add = [&](int n, double d, double width, double k) {
      if (n == 0 || gw.gwbound[n] == gw_type::fixed_head || gw.gwbound[n] == 0) return;
      flow += (h - gw.elevgw[n]) / d * b * width * k * s;
    };
    add(grid.abovecon[i], dy, dx, gw.gw_ky[i]);
    add(grid.belowcon[i], dy, dx, gw.gw_ky[i]);
    add(grid.leftcon[i], dx, dy, gw.gw_kx[i]);
    add(grid.rightcon[i], dx, dy, gw.gw_kx[i]);
    gw.gw_flux[i] += flow;
  }
}

// Re-lays every column on its new table after a sub-step; the released
// water is booked, and while time remains it feeds the rest of the interval
// as a source. Serial, so that the totals add in cell order. False when a
// column could not be laid (reported).
bool adjust_columns(groundwater_state& gw, const grid_state& grid, const gw_couplings& with,
                    int cells, double remaining, double& total, double& vadose_total) {
  richards_soil& rs = *with.richards;
  for (int i = 1; i <= cells; ++i) {
    if (gw_fixed(gw.gwbound[i])) {
      gw.gw_drop_vol[i] = 0.0;
      continue;
    }
    const int initial = gw.initial_nodes.empty() ? 0 : gw.initial_nodes[i];
    const vadose_levels at{grid.elevation[i], gw.elevgw[i], gw.bottom_elev[i],
                           gw.settings.aquifer_delta_z, initial};
    int unused = 0;
    int& exfil = with.yes_exfil.empty() ? unused : with.yes_exfil[std::size_t(i)];
    double released = 0.0;
    if (!adjust_vadose_column(rs, i, at, gw.column_dz, gw.column_theta, exfil, released))
      return false;
    vadose_total += released;
    // What the cell still owes the columns stays for the next interval,
    // where it is taken under the cap of what the cell holds.
    if (remaining > 0.0) {
      gw.gw_sink[i] += -released / 100.0 / remaining;
      total += released / 100.0 * gw.gw_dx[i] * gw.gw_dy[i];
    } else {
      gw.gw_drop_vol[i] += released;
    }
  }
  return true;
}

// One warning for each well the aquifer could not give what it asked,
// the first time it is cut, with the rates of that interval.
void warn_cut_wells(groundwater_state& gw) {
  for (gw_well& well : gw.wells) {
    const std::size_t i = std::size_t(well.cell);
    if (well.cut_warned || i >= gw.gw_pump_rate.size()) continue;
    const double asked = gw.gw_pump_asked[i], given = gw.gw_pump_rate[i];
    if (!(asked > 0.0) || !(given < asked * (1.0 - 1e-9))) continue;
    const double area = gw.gw_dx[i] * gw.gw_dy[i];
    char text[240];
    std::snprintf(text, sizeof text,
                  "Warning: the aquifer cannot give well %d (cell %d) what it asks: %.6g m3/s "
                  "asked, %.6g m3/s delivered.\n",
                  well.id, well.cell, asked * area, given * area);
    print_message(summary_file, text);
    well.cut_warned = 1;
  }
}

}  // namespace

bool gw_settings_from(const project_settings& s, gw_settings& out) {
  if (!(s.gw_relax_coeff > 0.0 && s.gw_relax_coeff < 2.0)) {
    raise_message(
        "Error: GW_RELAX_COEFF %g lies outside 0 to 2 (both excluded): the groundwater line "
        "solver would never move or would diverge.\n",
        s.gw_relax_coeff);
    return false;
  }
  if (!(s.gw_lsor_con > 0.0)) {
    raise_message(
        "Error: GW_LSOR_CON %g is not above 0: the groundwater line solver could never meet "
        "it.\n",
        s.gw_lsor_con);
    return false;
  }
  out.relax = s.gw_relax_coeff;
  out.tolerance = s.gw_lsor_con;
  out.line_orientation = s.gw_lsor_dir;
  out.leakage_rate = s.gw_leakage_rate;
  // Without the card the aquifer node keeps its 0.1 m (the option checks
  // ask for the card where the soil columns need it).
  if (s.aquifer_delta_z > 0.0) out.aquifer_delta_z = s.aquifer_delta_z;
  return true;
}

bool size_groundwater_state(groundwater_state& gw, const grid_state& grid) {
  const int n = grid.cells;
  gw_system& sys = gw.system;
  for (std::vector<double>* v :
       {&gw.bottom_elev, &gw.gw_porosity, &gw.gw_kx, &gw.gw_ky, &gw.gw_dx, &gw.gw_dy,
        &gw.gw_static_flux, &gw.elevgw, &gw.gw_storage, &gw.gw_recharge, &gw.gw_stream_vol,
        &gw.lake_source, &gw.vol_tile_grid, &gw.gw_surface_seep, &gw.gw_drop_vol, &gw.gw_flux,
        &gw.gw_sink, &gw.gw_pump_rate, &gw.gw_pump_asked, &gw.gw_leakage, &gw.gw_thickness, &gw.gw_tx, &gw.gw_ty,
        &gw.lake_seep_rate, &gw.head_start, &gw.head_iter, &gw.sink_volume, &gw.gw_head_before,
        &gw.gw_wt_depth, &gw.recharge_cum, &gw.recharge_cum_map, &gw.recharge_inc, &gw.book_a, &gw.book_b,
        &gw.book_c, &sys.above,
        &sys.left, &sys.right, &sys.below, &sys.diagonal, &sys.rhs})
    if (!allocate_per_cell(*v, n, "groundwater cell array")) return false;
  if (!allocate_per_cell(gw.gwbound, n, "gwbound")) return false;
  return size_line_work(gw.line, n, grid.rows, grid.cols);
}

bool size_line_work(gw_line_work& w, int cells, int rows, int cols) {
  const std::size_t slots = std::size_t(cells) + 1;
  const std::size_t lines = std::size_t(std::max(rows, cols)) + 2;
  // Room for every thread the run could be given: NUM_THREADS may raise the
  // count after set-up, and the sweeps never allocate.
  w.teams = std::max({1, omp_get_max_threads(), omp_get_num_procs()});
  // A lone thread sweeps one line at a time and keeps no heads aside.
  const std::size_t saved = w.teams > 1 ? slots * std::size_t(w.teams) : 0;
  for (std::vector<double>* v : {&w.coef_a, &w.coef_b, &w.base, &w.upper, &w.factor,
                                 &w.inv_pivot, &w.head})
    if (!allocate_zeroed(*v, slots, "groundwater line work")) return false;
  if (!allocate_zeroed(w.forward, slots * std::size_t(w.teams), "groundwater line work") ||
      !allocate_zeroed(w.saved, saved, "groundwater line work"))
    return false;
  for (std::vector<int>* v : {&w.slot_of, &w.cell, &w.side_a, &w.side_b})
    if (!allocate_zeroed(*v, slots, "groundwater line work")) return false;
  const std::size_t sweeps = std::size_t(gw_max_sweeps) + 1;
  w.sweeps_touched = 0;
  return allocate_zeroed(w.line_start, lines, "groundwater line work") &&
         allocate_zeroed(w.lines_done, sweeps * gw_done_stride, "groundwater line work") &&
         allocate_zeroed(w.sweep_largest, sweeps, "groundwater line work") &&
         allocate_zeroed(w.sweep_not_number, sweeps, "groundwater line work");
}

double gw_solve(groundwater_state& gw, const grid_state& grid, const gw_couplings& with,
                double dt, double& vadose_total) {
  vadose_total = 0.0;
  gw.sweeps = 0;
  gw.passes = 0;
  if (!(dt > 0.0)) return 0.0;
  const int cells = grid.cells;
  if (gw.wells_from_table)
    apply_well_rates(gw.wells, gw.gw_pump_rate, with.now, grid.dx, with.ts_index);
  double total = form_sinks(gw, with, cells, dt);

  double s = dt;          // sub-step, s
  double remaining = dt;  // s
  for (;;) {
    const int bad = save_start_heads(gw, cells);
    if (bad != 0) {
      raise_message("elevgw NaN in main()- point 7, grid cell %d\n", bad);
      return 0.0;
    }
    if (with.richards) {
      const int crossed = substep_storage(gw, grid, *with.richards, cells, s);
      // More than two nodes crossed in one sub-step would outrun the
      // column's adjustment: halve the sub-step down to a second.
      if (crossed > 2) {
        s *= 0.5;
        if (s > 1.0) continue;
      }
    }
    if (remaining - s < 0.0) s = remaining;

    int counter = 1;
    double change = 0.0;
    do {
      ++counter;
      if (counter >= warn_passes) print_message(summary_file, "GW IS NOT CONVERGING \n");
      if (counter > gw_max_passes) {
        raise_message("Error: Non-convergence in the groundwater after 1000 tries.\n");
        return 0.0;
      }
      ++gw.passes;
      start_pass(gw, cells);
      form_system(gw, grid, cells, s);
      gw.line.parallel_min_slots = gw.parallel_min_cells;
      const int sweeps = gw_lsor_solve(gw.elevgw.data(), gw.settings.relax, grid.rows, grid.cols,
                                       gw.system, gw.settings.tolerance, gw.line, gw.direction,
                                       gw.settings.line_orientation, grid.mask);
      if (sweeps < 0) return 0.0;
      gw.sweeps += sweeps;
      change = end_pass(gw, cells);
      if (with.richards && change > pass_tolerance)
        for (int i = 1; i <= cells; ++i)
          gw.gw_storage[i] =
              layer_weighted_property(*with.richards, i, grid.elevation[i], gw.elevgw[i],
                                      gw.head_start[i], gw.settings.aquifer_delta_z);
    } while (change > pass_tolerance);
    if (with.richards) book_column_storage(gw, cells);

    remaining -= s;
    hold_above_bottom(gw, with.richards != nullptr, cells, dt, std::max(remaining, 0.0), total);
    if (with.richards &&
        !adjust_columns(gw, grid, with, cells, remaining, total, vadose_total))
      return 0.0;
    book_fixed_head_flow(gw, grid, cells, s);
    if (remaining <= 0.0) {
      warn_cut_wells(gw);
      return total;
    }
  }
}
