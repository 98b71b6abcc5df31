// The overland decay and the cell's net source rate. Each accumulator is
// drained by the share of the step that takes it; a sink is limited to the
// mass the cell holds after the terms before it, so that no term makes mass
// negative, and the cut part is dropped with the rest of the accumulator.

#include "quality/cell_contam_mass.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "quality/contam_sweep.h"
#include "surface/cell_loops.h"

namespace {

constexpr double tiny = 1e-16;

// Sets accumulator to value unless it holds those bits already: most
// accumulators of most cells stay empty, and their rows need not be written.
inline void set_if_changed(double& accumulator, double value) {
  if (std::bit_cast<std::uint64_t>(accumulator) != std::bit_cast<std::uint64_t>(value))
    accumulator = value;
}

// Takes the share of accumulator over its interval as a sink from the
// running mass s, limited to s; returns what was taken.
double take_sink(double& accumulator, double step, double interval, double& s) {
  double share = step_share(step, interval, accumulator);
  double left = accumulator - share;
  if (s - share < 0.0) {
    share = s;
    left = 0.0;
  }
  set_if_changed(accumulator, left);
  s -= share;
  return share;
}

// The same for a source that may be negative.
double take_source(double& accumulator, double step, double interval, double& s) {
  double share = step_share(step, interval, accumulator);
  double left = accumulator - share;
  if (s + share < 0.0) {
    share = -s;
    left = 0.0;
  }
  set_if_changed(accumulator, left);
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
#pragma omp parallel for schedule(static) num_threads(team_for(cells, cells_per_thread))
  for (int j = 1; j <= cells; ++j) {
    if (lake != nullptr && lake[j] > 0) continue;
    const double h0 = depth_last[j], h1 = depth_now[j];
    if (h1 < tiny || conc[j] < tiny) continue;
    decay[j] += conc[j] * rate[j] * (h0 + h1) * 0.5 * dx * dx * interval;
    decay[j] = std::min(decay[j], std::min(h0, h1) * dx * dx * conc[j]);
  }
}

namespace {

// Constituent k's rows the shares of a step take and feed, and the
// intervals its exchange and decay were gathered over; fixed for a step.
struct share_rows {
  const double* mass;
  double* uptake;
  double* decay;
  double* exfil = nullptr;          // null when nothing exfiltrates
  double* infil;
  double* soil_exchange = nullptr;  // the soil layers' side of the exchange, or null
  double* soil_top = nullptr;       // the top layer the infiltrated share joins, or null
  bool trades = false;              // with the land surface or the soil pool
  double exchange_interval = 0.0;   // s
  double decay_interval = 0.0;      // s
};

share_rows share_rows_of(constituent_state& c, int k, const contam_intervals& intervals,
                         bool soil_transport) {
  const std::size_t kk = std::size_t(k);
  share_rows r;
  r.mass = c.ov_contam_mass[kk].data();
  r.uptake = c.cell_uptake_mass[kk].data();
  r.decay = c.cell_decay_mass[kk].data();
  if (c.ov_exfil_dmt.size() > kk) r.exfil = c.cell_exfil_mass[kk].data();
  r.infil = c.cell_infil_mass[kk].data();
  if (c.constituent_type[kk] == 1) {
    r.trades = true;
    r.exchange_interval = intervals.uptake;
    r.decay_interval = intervals.decay;
    if (soil_transport) r.soil_exchange = c.soil_exchange_mass[kk].data();
  } else if (c.constituent_type[kk] == 2 && soil_transport) {
    // A nutrient species trades with its soil pool at the soil-flux interval;
    // the pool's side was booked when the flux was gathered.
    r.trades = true;
    r.exchange_interval = intervals.nsm_soil_flux;
    r.decay_interval = intervals.nsm_soil_flux;
  }
  const int soil = soil_entry_of(c, k);
  if (soil_transport && soil >= 0) r.soil_top = c.soil_top_mass[std::size_t(soil)].data();
  return r;
}

// Takes cell j's shares of every accumulator of its constituent over one
// step and leaves the totals to the caller, which books them in cell order.
[[gnu::always_inline]] inline cell_terms take_cell_terms(const share_rows& r, int j, double step,
                                  const contam_intervals& intervals, double* exit_mass,
                                  const sed_contam_rows* sed) {
  cell_terms t;
  double s = r.mass[j];
  if (r.trades) {
    t.exchange = take_source(r.uptake[j], step, r.exchange_interval, s);
    if (r.soil_exchange != nullptr)
      set_if_changed(r.soil_exchange[j], r.soil_exchange[j] + t.exchange);
    t.decay = take_sink(r.decay[j], step, r.decay_interval, s);
  }
  // What exfiltrating water brought up through the soil layers.
  if (r.exfil != nullptr && r.exfil[j] != 0.0) {
    t.exfiltrated = take_source(r.exfil[j], step, intervals.exfiltration, s);
    t.exfiltration_taken = true;
  }
  if (sed != nullptr) {
    const double waiting = sed->release[j];
    t.released = take_source(sed->release[j], step, step, s);
    sed->total[j] += waiting - t.released;
  }
  t.infiltration = take_sink(r.infil[j], step, intervals.infiltration, s);
  if (r.soil_top != nullptr) set_if_changed(r.soil_top[j], r.soil_top[j] + t.infiltration);
  if (exit_mass != nullptr) t.outflow = take_sink(*exit_mass, step, intervals.outlet, s);
  return t;
}

bool trades_with_land(const constituent_state& c, std::size_t kk, bool soil_transport) {
  return c.constituent_type[kk] == 1 || (c.constituent_type[kk] == 2 && soil_transport);
}

// Adds one cell's terms to the step's totals; exit says whether the cell
// took an outflow.
void book_cell_terms(constituent_state& c, std::size_t kk, const cell_terms& t,
                     bool soil_transport, bool exit, const sed_contam_rows* sed) {
  if (trades_with_land(c, kk, soil_transport)) {
    c.ov_uptake_dmt[kk] += t.exchange;
    c.ov_decay_dmt[kk] += t.decay;
  }
  if (t.exfiltration_taken) c.ov_exfil_dmt[kk] += t.exfiltrated;
  if (sed != nullptr) *sed->release_dmt += t.released;
  c.ov_infil_dmt[kk] += t.infiltration;
  if (exit) c.ov_out_dmt[kk] += t.outflow;
}

// The step's totals from the cells' shares, added in cell order as one
// cell after another would add them (each total is its own sum, so only the
// terms it takes are read), and each cell's outflow as booked: the change
// of the running outflow total, for the nodes that receive it.
void book_cell_totals(constituent_state& c, std::size_t kk, contam_flux_work& work, int n,
                      const int* lake, bool soil_transport, bool per_cell_exit, int outlet_cell,
                      const sed_contam_rows* sed) {
  const contam_flux_work::taken& took = work.took;
  const bool trades = trades_with_land(c, kk, soil_transport);
  const bool exfiltration = c.ov_exfil_dmt.size() > kk;
  double uptake = c.ov_uptake_dmt[kk], decay = c.ov_decay_dmt[kk];
  double exfiltrated = exfiltration ? c.ov_exfil_dmt[kk] : 0.0;
  double released = sed != nullptr ? *sed->release_dmt : 0.0;
  double infiltration = c.ov_infil_dmt[kk], out = c.ov_out_dmt[kk];
  for (int j = 1; j <= n; ++j) {
    if (lake != nullptr && lake[j] > 0) continue;
    if (trades) {
      uptake += took.exchange[j];
      decay += took.decay[j];
    }
    if (exfiltration && took.exfiltration_taken[j] != 0) exfiltrated += took.exfiltrated[j];
    if (sed != nullptr) released += took.released[j];
    infiltration += took.infiltration[j];
  }
  if (trades) {
    c.ov_uptake_dmt[kk] = uptake;
    c.ov_decay_dmt[kk] = decay;
  }
  if (exfiltration) c.ov_exfil_dmt[kk] = exfiltrated;
  if (sed != nullptr) *sed->release_dmt = released;
  c.ov_infil_dmt[kk] = infiltration;
  // Every cell's outflow as booked, or only the outlet's: then the one
  // slot written last time is cleared rather than the whole row.
  double* taken = work.exit_taken.data();
  if (per_cell_exit) {
    for (int j = 1; j <= n; ++j) {
      taken[j] = 0.0;
      if (lake != nullptr && lake[j] > 0) continue;
      const double before = out;
      out += took.outflow[j];
      taken[j] = out - before;
    }
    work.exit_cell = -1;
  } else {
    if (work.exit_cell < 0)
      std::fill(work.exit_taken.begin(), work.exit_taken.end(), 0.0);
    else
      taken[work.exit_cell] = 0.0;
    work.exit_cell = outlet_cell;
    if (outlet_cell > 0) {
      const double before = out;
      out += took.outflow[outlet_cell];
      taken[outlet_cell] = out - before;
    }
  }
  c.ov_out_dmt[kk] = out;
}

double net_rate(const cell_terms& t, double step) {
  return (t.exchange - (t.outflow + t.infiltration) - t.decay + t.exfiltrated + t.released) / step;
}

}  // namespace

double ov_contam_cell_mass(constituent_state& c, int k, int j, double step,
                           const contam_intervals& intervals, bool soil_transport,
                           double* exit_mass, const sed_contam_rows* sed) {
  const cell_terms t =
      take_cell_terms(share_rows_of(c, k, intervals, soil_transport), j, step, intervals,
                      exit_mass, sed);
  book_cell_terms(c, std::size_t(k), t, soil_transport, exit_mass != nullptr, sed);
  return net_rate(t, step);
}

void cell_contam_mass_update(constituent_state& c, int k, contam_flux_work& work,
                             const contam_grid& grid, double a, int order,
                             const contam_intervals& intervals, int outlet, double* exit_mass,
                             const int* lake, bool soil_transport, double& negative_mass,
                             double* cell_exit, const sed_contam_rows* sed) {
  const std::size_t kk = std::size_t(k);
  if (c.constituent_type[kk] == 3) return;
  double* mass = c.ov_contam_mass[kk].data();
  double* conc = c.ov_contam_conc[kk].data();
  const double* disp = c.ov_contam_disp[kk].data();
  const int n = grid.cells;
  const bool trades = trades_with_land(c, kk, soil_transport);
  const bool exfiltration = c.ov_exfil_dmt.size() > kk;
  // Without an outflow per cell only the outlet cell gives one.
  const int outlet_cell = cell_exit == nullptr && exit_mass != nullptr && outlet >= 1 &&
                                  outlet <= n && !(lake != nullptr && lake[outlet] > 0)
                              ? outlet
                              : 0;
  contam_flux_work::taken& took = work.took;
  const share_rows shares = share_rows_of(c, k, intervals, soil_transport);
  // The cells take their shares apart; the totals are added after, in cell
  // order, so that they do not depend on the thread count, beside the first
  // sweep, which needs none of them.
#pragma omp parallel for schedule(static) num_threads(team_for(n, cells_per_thread))
  for (int j = 1; j <= n; ++j) {
    if (lake != nullptr && lake[j] > 0) {
      work.rate[j] = 0.0;
      continue;
    }
    double* exit = cell_exit != nullptr ? &cell_exit[j] : j == outlet ? exit_mass : nullptr;
    const cell_terms t = take_cell_terms(shares, j, a, intervals, exit, sed);
    work.rate[j] = net_rate(t, a);
    if (trades) {
      took.exchange[j] = t.exchange;
      took.decay[j] = t.decay;
    }
    if (exfiltration) {
      took.exfiltrated[j] = t.exfiltrated;
      took.exfiltration_taken[j] = t.exfiltration_taken;
    }
    if (sed != nullptr) took.released[j] = t.released;
    took.infiltration[j] = t.infiltration;
    if (exit != nullptr) took.outflow[j] = t.outflow;
  }
  work.to_lakes = 0.0;
  const auto book = [&] {
    book_cell_totals(c, kk, work, n, lake, soil_transport, cell_exit != nullptr, outlet_cell, sed);
  };

  // The first sweep moves the constituent's rows into the working rows, the
  // second moves them back and stores each cell as it goes: a cell that
  // dried leaves its mass in dried[j] (at least tiny, so every such cell is
  // seen) for the totals after the sweeps.
  double* dried = work.dried.data();
  const int soil = soil_entry_of(c, k);
  double* soil_top =
      soil_transport && soil >= 0 ? c.soil_top_mass[std::size_t(soil)].data() : nullptr;
  double* land = c.land_surface_mass[kk].data();
  double* sed_total = sed != nullptr ? sed->total : nullptr;
  const double* depth = grid.depth;
  enum : int { a_cell_dried = 1, not_a_number = 2 };
  // A lake cell keeps its rows as they were.
  const auto store = [=](int j, double m, double cj) {
    int bits = 0;
    if (lake != nullptr && lake[j] > 0) return bits;
    if (depth[j] < tiny && m >= tiny) {
      dried[j] = m;
      bits |= a_cell_dried;
      if (soil_top != nullptr)
        soil_top[j] += m;
      else if (!soil_transport)
        land[j] += m;
      m = 0.0;
      cj = 0.0;
    }
    mass[j] = m;
    conc[j] = cj;
    if (sed_total != nullptr) {
      double& total = sed_total[j];
      total += m;
      if (total < 0.0) total = 0.0;
      if (std::isnan(total)) bits |= not_a_number;
    }
    return bits;
  };
  const contam_sweep::rows first{mass, conc, disp, work.rate.data(), work.mass.data(),
                                 work.conc.data()};
  const contam_sweep::rows second{work.mass.data(), work.conc.data(), disp, work.rate.data(),
                                  mass, conc};
  const int bits =
      contam_sweep::sweeps(work, grid, a, order, first, second, negative_mass, store, book);

  // A cell a channel lake has taken holds no water of its own: what it held
  // goes to the lake. Several cells give to one lake, so this stays serial.
  if (lake != nullptr && grid.lake_inflow != nullptr && grid.lake != nullptr) {
    for (int j = 1; j <= n; ++j) {
      if (lake[j] <= 0 || grid.lake[j] <= 0) continue;
      if (grid.depth[j] < tiny && mass[j] >= tiny) {
        grid.lake_inflow[grid.lake[j]] += mass[j];
        work.to_lakes += mass[j];
        // The cell's total on water and fines loses the water's share.
        if (sed != nullptr) sed->total[j] -= mass[j];
        mass[j] = 0.0;
        conc[j] = 0.0;
      }
    }
  }
  double dried_to_soil = 0.0;
  if (bits != 0)
    for (int j = 1; j <= n; ++j) {
      if (dried[j] != 0.0) {
        if (soil_transport)
          dried_to_soil += dried[j];
        else
          c.ov_uptake_dmt[kk] -= dried[j];
        dried[j] = 0.0;
      }
      if (sed != nullptr && std::isnan(sed->total[j]))
        std::printf("Total cell mass, contam %d cell %d NAN", k, j);
    }
  c.ov_infil_dmt[kk] += dried_to_soil;
}
