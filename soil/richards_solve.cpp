// The Richards solver: every cell's soil column advanced over one
// infiltration interval in sub-steps sized by the largest content change,
// with the top switching between a flux and a head boundary as the surface
// ponds and drains.

#include <algorithm>
#include <cfloat>
#include <cmath>

#include <omp.h>

#include "core/error_state.h"
#include "run/model_state.h"
#include "core/tridiagonal.h"
#include "soil/richards_soil.h"

namespace {

constexpr double five_seconds = 0.001388888888888889;  // h
constexpr int head_iterations = 5;  // allowed under a head boundary
constexpr int flux_top = 1, head_top = 2, saturated_top = 3;

// The first non-number a column met: the word it prints, its cell and node.
struct nan_report {
  const char* word = nullptr;
  int cell = 0;
  int node = 0;
};

// One cell's rows of the per-node arrays.
struct column_view {
  int n;
  double *ph, *th, *kh, *wc, *wf, *src;
  const double *dz, *ks, *ths, *thr, *twp, *tfc;
  soil_column rel;
};

column_view view_of(richards_soil& rs, int c) {
  const std::size_t at = std::size_t(c) * std::size_t(rs.row);
  return {rs.numcells[std::size_t(c)],
          rs.phead.data() + at,
          rs.theta.data() + at,
          rs.khead.data() + at,
          rs.watcap.data() + at,
          rs.watflux.data() + at,
          rs.source.data() + at,
          rs.dz.data() + at,
          rs.ks.data() + at,
          rs.thetas.data() + at,
          rs.thetar.data() + at,
          rs.thetawp.data() + at,
          rs.thetafc.data() + at,
          rs.column(c)};
}

void update_properties(soil_column& rel, int family) {
  if (family == soil_family_havercamp)
    havercamp_props(rel);
  else
    brooks_corey_props(rel);
}

// Spreads a net demand u (cm over dt h) over the root zone of Dr cm and
// weights each node by its water stress. Returns the actual uptake, cm/h
// (negative).
double root_uptake(column_view& col, double u, double dt, double root_cm) {
  double remaining = root_cm;
  double uptake = 0.0;
  for (int l = 1; l < col.n && remaining > 1e-16; ++l) {
    col.src[l] = (col.dz[l] / root_cm) * (u / dt) / col.dz[l];
    remaining -= col.dz[l];
    const double th = col.th[l];
    double weight = 1.0;
    if (th <= col.twp[l])
      weight = 0.0;
    else if (th < col.tfc[l])
      weight = (th - col.twp[l]) / (col.tfc[l] - col.twp[l]);
    col.src[l] *= weight;
    uptake += col.src[l] * col.dz[l];
  }
  return uptake;
}

// Everything one cell's sub-steps need besides its column.
struct cell_call {
  model_state& state;
  richards_soil& rs;
  richards_soil::work_rows& w;
  nan_report& fail;
  int c;
  double T;  // the call's interval, h
};

// Internode conductivities K[1..n], cm/h; under a head boundary the surface
// slot is set first.
void internode_conductivity(const cell_call& call, column_view& col, bool flux) {
  const richards_soil& rs = call.rs;
  double* K = call.w.kint.data();
  if (!flux) {
    if (rs.upper_option == 3)
      col.kh[0] = 1.0;
    else if (rs.upper_option != 2)
      col.kh[0] = col.kh[1];
  }
  for (int l = 1; l <= col.n; ++l) {
    const double kr = rs.k_option == 1
                          ? (1.0 - rs.weight) * col.kh[l] + rs.weight * col.kh[l - 1]
                          : std::sqrt(col.kh[l - 1] * col.kh[l]);
    K[l] = kr * col.ks[l];
  }
  if (!flux && rs.upper_option == 2) K[1] = 1.0;
}

// Builds and solves the heads of nodes 1..n-1. Under a flux boundary the
// top node conducts nothing from the surface slot; the source feeds it.
// Returns whether a flux boundary should give way to a head boundary.
bool solve_heads(const cell_call& call, column_view& col, bool flux, double dt) {
  richards_soil::work_rows& w = call.w;
  const double* K = w.kint.data();
  const int last = col.n - 1;
  // Each quotient is taken once: the stores into the rows could alias the
  // column as far as the compiler knows, so it would divide again for every
  // use. A negated quotient is exactly the quotient of the negated dividend.
  for (int l = 1; l <= last; ++l) {
    const double dz = col.dz[l];
    const double up = 0.5 * (dz + col.dz[l + 1]);
    const double down = 0.5 * (col.dz[l - 1] + dz);
    const double k_below = K[l + 1];
    const double k_above = l == 1 && flux ? 0.0 : K[l];
    const double to_below = k_below / (dz * up);
    const double to_above = k_above / (dz * down);
    const double storage = col.wc[l] / dt;
    w.upper[l] = -to_below;
    w.lower[l] = -to_above;
    w.diag[l] = to_below + storage + to_above;
    w.rhs[l] = storage * col.ph[l] - k_below / dz + k_above / dz + col.src[l];
  }
  w.rhs[1] -= w.lower[1] * col.ph[0];
  if (call.rs.water_table_bottom) {
    w.rhs[last] -= w.upper[last] * col.ph[col.n];
  } else {
    // Free drainage: the node below repeats the last solved one.
    w.diag[last] += w.upper[last];
    w.upper[last] = 0.0;
  }
  solve_tridiagonal(1, last, w.upper.data(), w.diag.data(), w.lower.data(), w.rhs.data());
  bool to_head = false;
  for (int l = 1; l <= last; ++l) {
    const double h = w.rhs[l];
    // A saturated column under a flux top has no capacity to fix its heads:
    // the system is singular and its solution infinite as often as NaN.
    if (!std::isfinite(h)) {
      to_head = to_head || flux;
      continue;
    }
    col.ph[l] = h;
    if (flux && h < -1e7 && col.th[l] > 0.95 * col.ths[l]) to_head = true;
  }
  if (!call.rs.water_table_bottom) col.ph[col.n] = col.ph[last];
  return to_head;
}

// Heads and contents brought back into agreement after the content update.
//
// A node that touches saturated soil takes its content from its head, and
// the relations may saturate a node at zero pressure: the water that
// changes is not carried by any flux. A column on a water table books it as
// drawn from or given to the table it rests on, returned in from_table
// (cm), so that its books hold the water it holds; a freely draining
// column has no table to book it with.
void reconcile(const cell_call& call, column_view& col, bool& ponding_limited,
               double& from_table) {
  const int family = call.rs.family;
  const bool on_table = call.rs.water_table_bottom != 0;
  auto water = [&col]() {
    double w = 0.0;  // cm
    for (int l = 1; l < col.n; ++l) w += col.th[l] * col.dz[l];
    return w;
  };
  const double held = on_table ? water() : 0.0;
  for (int l = 1; l < col.n; ++l) {
    if (l == 1 && ponding_limited && col.th[1] < 0.999999 * col.ths[1] && col.ph[1] >= 0.0) {
      soil_head_from_theta(col.rel, 1, family);
      ponding_limited = false;
    } else if (col.th[l] >= col.ths[l] || col.th[l - 1] >= col.ths[l - 1] ||
               col.th[l + 1] >= col.ths[l + 1]) {
      soil_theta_from_head(col.rel, l, family);
    } else {
      soil_head_from_theta(col.rel, l, family);
    }
  }
  if (!on_table) {
    col.ph[col.n] = col.ph[col.n - 1];
    col.th[col.n] = col.th[col.n - 1];
  }
  update_properties(col.rel, family);
  from_table = on_table ? water() - held : 0.0;
}

// One cell over the call's interval. Returns the water that left the
// surface upward, m; a non-number ends the cell's call in call.fail.
double advance_cell(cell_call& call) {
  model_state& state = call.state;
  richards_soil& rs = call.rs;
  soil_state& soil = state.soil;
  const input_state& in = state.input;
  const int c = call.c;
  const std::size_t ci = std::size_t(c);
  const double T = call.T;
  richards_soil::work_rows& w = call.w;

  if (in.long_term && !soil.frozen_index.empty() && soil.frozen_index[ci] > 83.0) return 0.0;
  const channel_state& ch = state.channel;
  if (ch.channel_lakes && !ch.lake_mask.empty() && ch.lake_mask[ci] >= 1) return 0.0;

  double root_cm = 0.0;  // root depth
  double e = 0.0;        // evapotranspiration demand, cm/h
  if (in.long_term) {
    root_cm = rs.root_depth[ci] * 100.0;
    const bool suppressed = !soil.snow.swe.empty() && soil.snow.swe[ci] > 0.0;
    if (!suppressed && !soil.et_rate1.empty()) e = soil.et_rate1[ci] * 3600.0;
  }
  double& depth = state.surface.depth[ci];
  column_view col = view_of(rs, c);
  double upward = 0.0;
  double R = T;
  double dt = std::min(rs.dtr[ci], R);
  // A ponded top node starts gently; never past the call's end.
  if (dt > 0.001 && col.ph[1] >= 1e-16) dt = std::min(five_seconds, R);

  if (soil.yes_exfil[ci] == 1) {
    // The water table stands at the surface: no column to solve.
    if (in.long_term) {
      const double taken = std::min(e * R, depth * 100.0);  // cm
      depth -= taken / 100.0;
      soil.direct_evap[ci] += taken;
      upward += taken / 100.0;
    }
    return upward;
  }
  if (col.n < 2) return upward;

  const int n = col.n;
  int& top = rs.bound_type[ci];
  const bool to_aquifer = rs.water_table_bottom && in.gw_simulation &&
                          state.subsurface.gw.gw_recharge.size() > ci;
  double next = dt;  // the sub-step the content change allows next, h
  while (R > 1e-16) {
    // A carried sub-step of 0 (after an unsolved call) takes what is left.
    if (!(dt > 0.0)) dt = R;
    for (int j = 0; j <= n; ++j) {
      w.head0[std::size_t(j)] = col.ph[j];
      w.theta0[std::size_t(j)] = col.th[j];
      col.src[j] = 0.0;
    }
    col.ph[0] = 0.0;
    col.th[0] = col.th[1];

    // Water on the surface for this sub-step after the demand, cm.
    const double demand = e * dt;
    double u = depth * 100.0 - demand;
    if (in.long_term) {
      if (u < 0.0) {
        soil.direct_evap[ci] += demand + u;
        upward += (demand + u) / 100.0;
        const double e2 = soil.et_rate2.empty() ? 0.0 : soil.et_rate2[ci];
        u = (dt - dt * depth * 100.0 / e) * (-3600.0 * e2);
      } else {
        soil.direct_evap[ci] += demand;
        upward += demand / 100.0;
      }
    }

    bool flux = false;
    int allowed = head_iterations;
    double uptake = 0.0;
    if (top == saturated_top) {
      col.ph[0] = -0.5 * col.dz[0];
      col.src[0] = 0.0;
      top = head_top;
    } else if (top == head_top && u > 1e-16) {
      col.ph[0] = u - 0.5 * col.dz[0];
    } else if (top == head_top && col.ph[1] >= 0.0) {
      col.ph[0] = -0.5 * col.dz[0];
    } else {
      flux = true;
      if (u < 0.0) {
        if (root_cm > 1e-16) uptake = root_uptake(col, u, dt, root_cm);
        allowed = top == head_top || top == saturated_top ? head_iterations : rs.iter_max;
      } else {
        col.src[1] = (u / R) / col.dz[1];
        top = flux_top;
        allowed = rs.iter_max;
      }
    }
    // The top node's source is kept for every iteration of the sub-step;
    // each one moves it into the top flux afresh.
    const double top_source = col.src[1];
    for (int l = 1; l < n; ++l) w.head_iter[std::size_t(l)] = col.ph[l];

    bool ponding_limited = false;
    double from_table = 0.0;  // cm the last iteration drew from the table, no flux carrying it
    double measure = 1.0;
    int iteration = 0;
    if (allowed == 0) next = 0.0;
    while (iteration < allowed && measure > 0.1) {
      ++iteration;
      if (flux) col.src[1] = top_source;
      internode_conductivity(call, col, flux);
      const bool to_head = solve_heads(call, col, flux, dt);
      const double* K = w.kint.data();
      for (int l = 1; l <= n; ++l) {
        const double down = 0.5 * (col.dz[l - 1] + col.dz[l]);
        col.wf[l] = K[l] - K[l] / down * (col.ph[l] - col.ph[l - 1]);
        if (std::isnan(col.wf[l])) {
          call.fail = {"three", c, l};
          return upward;
        }
      }
      if (flux) {
        if (col.dz[1] * col.src[1] > col.wf[1] || to_head) {
          // More water than the top node takes: the surface ponds.
          col.ph[0] = u - 0.5 * col.dz[0];
          col.src[1] = 0.0;
          for (int l = 1; l <= n; ++l) {
            col.ph[l] = w.head0[std::size_t(l)];
            col.th[l] = w.theta0[std::size_t(l)];
          }
          top = head_top;
          flux = false;
          allowed = head_iterations;
          iteration = 0;
          measure = 1.0;
          continue;
        }
        col.wf[1] = col.dz[1] * col.src[1];
        col.src[1] = 0.0;
      }
      ponding_limited = false;
      if (col.wf[1] > 0.0 && u < col.wf[1] * dt) {
        col.wf[1] = std::max(0.0, u / dt);
        ponding_limited = true;
      }
      double largest = 1e-4;
      double floored = 0.0;  // cm no flux brought to nodes held at their residual content
      for (int l = 1; l < n; ++l) {
        const double change = ((col.wf[l] - col.wf[l + 1]) / col.dz[l] + col.src[l]) * dt;
        if (std::isnan(change)) {
          call.fail = {"two", c, l};
          return upward;
        }
        const double content = col.th[l] + change;
        if (content < col.thr[l]) {
          floored += (col.thr[l] - content) * col.dz[l];
          col.th[l] = col.thr[l];
        } else {
          col.th[l] = content;
        }
        largest = std::max(largest, std::fabs(change));
      }
      col.th[0] = col.th[1];
      if (!rs.water_table_bottom) col.th[n] = col.th[n - 1];
      next = dt * rs.dtheta_max / largest;
      if (ponding_limited) next = std::min(next, 0.02);
      reconcile(call, col, ponding_limited, from_table);
      // A node held at its residual content got water no flux brought: on
      // a table that is the table's too.
      if (rs.water_table_bottom) from_table += floored;

      measure = -DBL_MAX;
      for (int l = 1; l < n; ++l) {
        const double h = col.ph[l];
        const double change = h != 0.0 ? (h - w.head_iter[std::size_t(l)]) / h * 100.0 : 0.0;
        measure = std::max(measure, change);
        w.head_iter[std::size_t(l)] = h;
      }
      if (measure > 0.1 && iteration < allowed) {
        for (int l = 1; l < n; ++l) {
          col.ph[l] = w.head0[std::size_t(l)];
          col.th[l] = w.theta0[std::size_t(l)];
        }
      }
    }

    // The surface takes what the column did not.
    double rate = col.wf[1];
    if (u <= 0.0) {
      depth = 0.0;
      top = flux_top;
      if (rate < 0.0) rate = uptake;
    } else {
      const double left = depth - (col.wf[1] + e) * dt / 100.0;
      if (left > 1e-16) {
        depth = left;
        if (e + rate > 0.0) next = std::min(next, left * 100.0 / (e + rate));
      } else {
        depth = 0.0;
        if (!flux && top == head_top && col.th[1] >= col.ths[1]) {
          top = saturated_top;
          next = std::min(next, 0.02);
        } else {
          top = flux_top;
        }
      }
    }
    soil.inf_rate[ci] = rate;
    if (rate >= 0.0)
      soil.cum_inf[ci] += rate * dt / 100.0;
    else
      upward -= rate * dt / 100.0;
    rs.inf_rich[ci] += dt * rate / 100.0;
    // What crossed the column's base, less what its last node drew from
    // the table it rests on, cm.
    const double drained = dt * col.wf[n] - from_table;
    soil.deep_perc[ci] += drained;
    rs.event_drain[ci] += drained;
    // A column on the aquifer's table hands it to the aquifer.
    if (to_aquifer) state.subsurface.gw.gw_recharge[ci] += drained;

    R -= dt;
    // An unsolved column waits for the next call.
    if (allowed == 0) break;
    if (R > 1e-16) dt = richards_next_substep(R, T, next);
  }
  rs.dtr[ci] = next;
  return upward;
}

}  // namespace

double richards_next_substep(double remaining, double interval, double allowed) {
  const double m = std::min(interval, allowed);
  // A remainder too short to matter is taken with this sub-step.
  return remaining < m || remaining - m < 1e-8 ? remaining : m;
}

bool alloc_richards_work(richards_soil& rs, int threads) {
  try {
    rs.work.assign(std::size_t(std::max(threads, 1)), {});
    const std::size_t row = std::size_t(std::max(rs.row, 2));
    for (richards_soil::work_rows& w : rs.work)
      for (std::vector<double>* v : {&w.lower, &w.diag, &w.upper, &w.rhs, &w.kint, &w.head0,
                                     &w.theta0, &w.head_iter})
        v->assign(row, 0.0);
  } catch (const std::bad_alloc&) {
    raise_message("Error allocating memory for variable %s\n", "richards work rows");
    return false;
  }
  return true;
}

double richards_solve(model_state& state, double dt) {
  richards_soil& rs = state.soil.richards;
  const int cells = state.grid.cells;
  if (cells < 1 || rs.row < 2) return 0.0;
  const int threads = omp_get_max_threads();
  // Only a thread count raised after set-up reaches this allocation.
  if (static_cast<int>(rs.work.size()) < threads && !alloc_richards_work(rs, threads)) return 0.0;
  const double T = dt / 3600.0;
  nan_report first;

#pragma omp parallel num_threads(team_for(cells, rs.parallel_min_columns))
  {
    richards_soil::work_rows& w = rs.work[std::size_t(omp_get_thread_num())];
    nan_report mine;
#pragma omp for schedule(static)
    for (int c = 1; c <= cells; ++c) {
      nan_report found;
      cell_call call{state, rs, w, found, c, T};
      rs.upward[std::size_t(c)] = advance_cell(call);
      if (found.word && !mine.word) mine = found;
    }
#pragma omp critical(richards_nan)
    if (mine.word && (!first.word || mine.cell < first.cell)) first = mine;
  }
  if (first.word) {
    raise_message("%s: the Richards column of cell %d is not a number at node %d\n", first.word,
                  first.cell, first.node);
    return 0.0;
  }
  // Cell order, so the total does not depend on the thread count.
  double upward = 0.0;
  for (int c = 1; c <= cells; ++c) upward += rs.upward[std::size_t(c)];
  return upward;
}
