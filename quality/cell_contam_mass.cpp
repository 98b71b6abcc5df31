// The overland decay and the cell's net source rate. Each accumulator is
// drained by the share of the step that takes it; a sink is limited to the
// mass the cell holds after the terms before it, so that no term makes mass
// negative, and the cut part is dropped with the rest of the accumulator.

#include "quality/cell_contam_mass.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double tiny = 1e-16;

// Takes the share of accumulator over its interval as a sink from the
// running mass s, limited to s; returns what was taken.
double take_sink(double& accumulator, double step, double interval, double& s) {
  double share = step_share(step, interval, accumulator);
  accumulator -= share;
  if (s - share < 0.0) {
    share = s;
    accumulator = 0.0;
  }
  s -= share;
  return share;
}

// The same for a source that may be negative.
double take_source(double& accumulator, double step, double interval, double& s) {
  double share = step_share(step, interval, accumulator);
  accumulator -= share;
  if (s + share < 0.0) {
    share = -s;
    accumulator = 0.0;
  }
  s += share;
  return share;
}

}  // namespace

double step_share(double step, double interval, double amount) {
  if (interval - step <= 0.5) return amount;
  return amount * step / interval;
}

void contam_decay_accumulate(constituent_state& c, int k, double dx, double interval,
                             const double* depth_last, const double* depth_now, const int* lake) {
  const std::size_t kk = std::size_t(k);
  std::vector<double>& decay = c.cell_decay_mass[kk];
  const std::vector<double>& conc = c.ov_contam_conc[kk];
  const std::vector<double>& rate = c.ov_contam_decay[kk];
  const int cells = int(conc.size()) - 1;
  for (int j = 1; j <= cells; ++j) {
    if (lake != nullptr && lake[j] > 0) continue;
    const double h0 = depth_last[j], h1 = depth_now[j];
    if (h1 < tiny || conc[j] < tiny) continue;
    decay[j] += conc[j] * rate[j] * (h0 + h1) * 0.5 * dx * dx * interval;
    decay[j] = std::min(decay[j], std::min(h0, h1) * dx * dx * conc[j]);
  }
}

double ov_contam_cell_mass(constituent_state& c, int k, int j, double step,
                           const contam_intervals& intervals, bool soil_transport,
                           double* exit_mass, const sed_contam_rows* sed) {
  const std::size_t kk = std::size_t(k);
  double s = c.ov_contam_mass[kk][j];
  double exchange = 0.0, decay = 0.0, infiltration = 0.0, outflow = 0.0;
  if (c.constituent_type[kk] == 1) {
    exchange = take_source(c.cell_uptake_mass[kk][j], step, intervals.uptake, s);
    c.ov_uptake_dmt[kk] += exchange;
    if (soil_transport) c.soil_exchange_mass[kk][j] += exchange;
    decay = take_sink(c.cell_decay_mass[kk][j], step, intervals.decay, s);
    c.ov_decay_dmt[kk] += decay;
  } else if (c.constituent_type[kk] == 2 && soil_transport) {
    // A nutrient species trades with its soil pool at the soil-flux interval;
    // the pool's side was booked when the flux was gathered.
    exchange = take_source(c.cell_uptake_mass[kk][j], step, intervals.nsm_soil_flux, s);
    c.ov_uptake_dmt[kk] += exchange;
    decay = take_sink(c.cell_decay_mass[kk][j], step, intervals.nsm_soil_flux, s);
    c.ov_decay_dmt[kk] += decay;
  }
  // What exfiltrating water brought up through the soil layers.
  double exfiltrated = 0.0;
  if (c.ov_exfil_dmt.size() > kk && c.cell_exfil_mass[kk][j] != 0.0) {
    exfiltrated = take_source(c.cell_exfil_mass[kk][j], step, intervals.exfiltration, s);
    c.ov_exfil_dmt[kk] += exfiltrated;
  }
  double released = 0.0;
  if (sed != nullptr) {
    const double waiting = sed->release[j];
    released = take_source(sed->release[j], step, step, s);
    sed->total[j] += waiting - released;
    *sed->release_dmt += released;
  }
  infiltration = take_sink(c.cell_infil_mass[kk][j], step, intervals.infiltration, s);
  c.ov_infil_dmt[kk] += infiltration;
  const int soil = soil_entry_of(c, k);
  if (soil_transport && soil >= 0) c.soil_top_mass[std::size_t(soil)][j] += infiltration;
  if (exit_mass != nullptr) {
    outflow = take_sink(*exit_mass, step, intervals.outlet, s);
    c.ov_out_dmt[kk] += outflow;
  }
  return (exchange - (outflow + infiltration) - decay + exfiltrated + released) / step;
}

void cell_contam_mass_update(constituent_state& c, int k, contam_flux_work& work,
                             const contam_grid& grid, double a, int order,
                             const contam_intervals& intervals, int outlet, double* exit_mass,
                             const int* lake, bool soil_transport, double& negative_mass,
                             double* cell_exit, const sed_contam_rows* sed) {
  const std::size_t kk = std::size_t(k);
  if (c.constituent_type[kk] == 3) return;
  std::vector<double>& mass = c.ov_contam_mass[kk];
  std::vector<double>& conc = c.ov_contam_conc[kk];
  const int n = grid.cells;
  for (int j = 1; j <= n; ++j) {
    work.conc[j] = conc[j];
    work.mass[j] = mass[j];
    work.disp[j] = c.ov_contam_disp[kk][j];
    const double out_before = c.ov_out_dmt[kk];
    work.rate[j] = lake != nullptr && lake[j] > 0
                       ? 0.0
                       : ov_contam_cell_mass(c, k, j, a, intervals, soil_transport,
                                             cell_exit != nullptr ? &cell_exit[j]
                                             : j == outlet        ? exit_mass
                                                                  : nullptr,
                                             sed);
    // What the cell gave, as booked, for the nodes that receive it.
    work.exit_taken[j] = c.ov_out_dmt[kk] - out_before;
  }
  work.to_lakes = 0.0;
  ov_contam_cell_flux(work, grid, a, order, negative_mass);
  double dried_to_soil = 0.0;
  for (int j = 1; j <= n; ++j) {
    if (lake != nullptr && lake[j] > 0) {
      // A cell a channel lake has taken holds no water of its own: what it
      // held goes to the lake.
      if (grid.lake_inflow != nullptr && grid.lake != nullptr && grid.lake[j] > 0 &&
          grid.depth[j] < tiny && mass[j] >= tiny) {
        grid.lake_inflow[grid.lake[j]] += mass[j];
        work.to_lakes += mass[j];
        // The cell's total on water and fines loses the water's share.
        if (sed != nullptr) sed->total[j] -= mass[j];
        mass[j] = 0.0;
        conc[j] = 0.0;
      }
      continue;
    }
    mass[j] = work.mass[j];
    conc[j] = work.conc[j];
    if (mass[j] < 0.0) {
      mass[j] = 0.0;
      conc[j] = 0.0;
    }
    if (grid.depth[j] < tiny && mass[j] >= tiny) {
      if (soil_transport) {
        dried_to_soil += mass[j];
        const int soil = soil_entry_of(c, k);
        if (soil >= 0) c.soil_top_mass[std::size_t(soil)][j] += mass[j];
      } else {
        c.land_surface_mass[kk][j] += mass[j];
        c.ov_uptake_dmt[kk] -= mass[j];
      }
      mass[j] = 0.0;
      conc[j] = 0.0;
    }
    if (sed != nullptr) {
      double& total = sed->total[j];
      total += mass[j];
      if (total < 0.0) total = 0.0;
      if (std::isnan(total)) std::printf("Total cell mass, contam %d cell %d NAN", k, j);
    }
  }
  c.ov_infil_dmt[kk] += dried_to_soil;
}
