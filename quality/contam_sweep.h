#pragma once
// The kernels of the constituent transport sweeps, shared by the sweeps
// alone and by the cell mass step, which stores its last sweep's cells as
// it goes. Each face's fluxes are kept at the cell it leads into (the lower
// or right one), reached from its upper or left neighbour n: the advective
// flux takes the upwind concentration of the face discharge stored at n, the
// dispersive flux the smaller of the two cells' depth x dispersion. A cell
// gains what enters through its own face and loses what enters its lower or
// right neighbour, so the grid's mass changes only by the source rates.
//
// A sweep predicts every cell's concentration, then corrects each cell from
// the mean of its faces' fluxes at the start and of the prediction. On cells
// numbered in grid order it does both in one pass, keeping what is in
// flight in a ring per thread; else in two, each writing only its own
// cells. A face's fluxes are worked out where they are needed rather than
// stored, from rows no pass of the sweep changes, so each cell sees the
// same numbers in either form and on any thread; the sweep leaves its
// result in rows other than those it read.

#include <omp.h>

#include <algorithm>
#include <type_traits>

#include "quality/cell_contam_flux.h"
#include "surface/cell_loops.h"

namespace contam_sweep {

constexpr double tiny = 1e-16;

// One constituent's rows as a sweep takes them, per cell [0..cells].
struct rows {
  const double* mass;  // g, before the sweep
  const double* conc;  // g/m3
  const double* disp;  // m2/s
  const double* rate;  // net source, g/s
  double* mass_out;    // g, after it
  double* conc_out;    // g/m3
};

// One direction: the neighbour before a cell, the one after it, and the
// discharge through the face after each cell, m3/s.
struct direction {
  const int* up;
  const int* down;
  const double* q;
};

inline direction direction_of(const contam_grid& g, bool columns) {
  return columns ? direction{g.abovecon, g.belowcon, g.flux_y}
                 : direction{g.leftcon, g.rightcon, g.flux_x};
}

inline bool lake_cell(const contam_grid& g, int j) { return g.lake != nullptr && g.lake[j] > 0; }

struct face_flux {
  double disp;  // g/s, into cell j from its up neighbour
  double adv;
};

// The fluxes of the face between free cells n and j, into j, from their
// concentrations cn and cj.
inline face_flux face_between(const contam_grid& g, const direction& d, const double* disp, int n,
                              int j, double cn, double cj) {
  const double* h = g.depth;
  const double* q = d.q;
  return {h[j] > tiny && h[n] > tiny ? std::min(h[j] * disp[j], h[n] * disp[n]) * (cn - cj)
                                     : 0.0,
          q[n] * (q[n] >= 0.0 ? cn : cj)};
}

// The fluxes of the face into cell j from its up neighbour n, from their
// concentrations cn and cj.
template <bool lakes>
inline face_flux face_with(const contam_grid& g, const direction& d, const double* disp, int n,
                           int j, double cn, double cj) {
  if constexpr (lakes) {
    const double* q = d.q;
    const bool lj = g.lake[j] > 0, ln = g.lake[n] > 0;
    // No dispersion across a lake's shore; the water that crosses it
    // carries the lake's concentration out of the lake.
    if (lj && ln) return {0.0, 0.0};
    if (lj) return {0.0, q[n] * (q[n] > 0.0 ? cn : g.lake_conc[g.lake[j]])};
    if (ln) return {0.0, q[n] * (q[n] > 0.0 ? g.lake_conc[g.lake[n]] : cj)};
  }
  return face_between(g, d, disp, n, j, cn, cj);
}

// The fluxes of the face into cell j (none for j = 0) from the
// concentrations conc.
inline face_flux face_of(const contam_grid& g, const direction& d, const double* conc,
                         const double* disp, int j) {
  const int n = j == 0 ? 0 : d.up[j];
  if (n == 0) return {0.0, 0.0};
  return g.lake != nullptr ? face_with<true>(g, d, disp, n, j, conc[n], conc[j])
                           : face_with<false>(g, d, disp, n, j, conc[n], conc[j]);
}

// The mean of a face's fluxes at the start and of the prediction.
inline face_flux mean_face_of(const contam_grid& g, const direction& d, const rows& r,
                              const double* conc_pred, int j) {
  const face_flux start = face_of(g, d, r.conc, r.disp, j);
  const face_flux pred = face_of(g, d, conc_pred, r.disp, j);
  return {(pred.disp + start.disp) * 0.5, (pred.adv + start.adv) * 0.5};
}

// Cell j's mass after a step of a seconds with the fluxes of its own face
// in and of the face after it out, and half its source rate.
inline double moved_mass(const rows& r, int j, const face_flux& in, const face_flux& out,
                         double a) {
  return r.mass[j] + (in.disp - out.disp + in.adv - out.adv + 0.5 * r.rate[j]) * a;
}

// Adds what the sweep cut (kg) to negative_mass in cell order, clearing the
// cuts for the next sweep.
inline void add_cuts(contam_flux_work& w, int cells, double& negative_mass) {
  double* cut = w.cut.data();
  for (int j = 1; j <= cells; ++j)
    if (cut[j] != 0.0) {
      negative_mass += cut[j];
      cut[j] = 0.0;
    }
}

// Doubles of one thread's ring of ring_slots slots of each kind, apart by
// a cache line from the next thread's.
constexpr std::size_t ring_stride(int slots) { return 5 * std::size_t(slots) + 8; }

// The predictor's concentration of every cell into conc_pred; a lake cell
// keeps its own.
inline void predict(const contam_grid& g, const direction& d, const rows& r, double a,
                    double* conc_pred) {
  const double area = g.dx * g.dx;
  const double* h = g.depth;
#pragma omp parallel for schedule(static) num_threads(team_for(g.cells, cells_per_thread))
  for (int j = 1; j <= g.cells; ++j) {
    if (lake_cell(g, j)) {
      conc_pred[j] = r.conc[j];
      continue;
    }
    const double m = moved_mass(r, j, face_of(g, d, r.conc, r.disp, j),
                                face_of(g, d, r.conc, r.disp, d.down[j]), a);
    conc_pred[j] = h[j] >= tiny && m >= 0.0 ? m / (h[j] * area) : 0.0;
  }
}

// The lakes take the averaged shore fluxes the free cells beside them give
// or receive, so both sides move the same grams; several cells give to one
// lake, so this runs in cell order. mean(j) is the mean advective flux
// through the face into j, g/s.
template <class Mean>
void book_lake_faces(contam_flux_work& w, const contam_grid& g, const direction& d, double a,
                     Mean mean) {
  for (int j = 1; j <= g.cells; ++j) {
    const int n = d.up[j];
    if (n == 0) continue;
    const bool lj = lake_cell(g, j), ln = lake_cell(g, n);
    if (lj == ln) continue;
    const double m = mean(j) * a;  // g, from n to j
    if (lj) {
      g.lake_inflow[g.lake[j]] += m;
      w.to_lakes += m;
    } else {
      g.lake_inflow[g.lake[n]] -= m;
      w.to_lakes -= m;
    }
  }
}

// Stores cell j's mass after a step of a seconds with the mean fluxes of
// its own face in and of the face after it out; a mass driven below zero is
// stored as 0 and what was cut (kg) left in cut[j].
template <class Store>
inline int store_corrected(const contam_grid& g, const rows& r, int j, const face_flux& in,
                           const face_flux& out, double a, double* cut, int& any_cut,
                           Store& store) {
  const double* h = g.depth;
  double m = moved_mass(r, j, in, out, a);
  double c = h[j] >= tiny ? m / (h[j] * (g.dx * g.dx)) : 0.0;
  if (m < 0.0) {
    cut[j] = -m / 1000.0;
    any_cut = 1;
    m = 0.0;
    c = 0.0;
  }
  return store(j, m, c);
}

// The corrector: each cell's mass and concentration go to store(j, mass,
// conc), which returns bits to or together; a mass driven below zero is
// stored as 0 and what was cut (kg) added to negative_mass in cell order. A
// lake cell's are stored as they were.
template <class Store>
int correct(contam_flux_work& w, const contam_grid& g, const direction& d, const rows& r,
            double a, double& negative_mass, Store store) {
  const double* conc_pred = w.conc_pred.data();
  double* cut = w.cut.data();
  int any_cut = 0;
  int bits = 0;
#pragma omp parallel for schedule(static) reduction(| : any_cut, bits) \
    num_threads(team_for(g.cells, cells_per_thread))
  for (int j = 1; j <= g.cells; ++j) {
    if (lake_cell(g, j)) {
      bits |= store(j, r.mass[j], r.conc[j]);
      continue;
    }
    bits |= store_corrected(g, r, j, mean_face_of(g, d, r, conc_pred, j),
                            mean_face_of(g, d, r, conc_pred, d.down[j]), a, cut, any_cut, store);
  }
  if (any_cut) add_cuts(w, g.cells, negative_mass);
  return bits;
}

// Nothing to run beside a sweep.
struct no_aside {
  void operator()() const {}
};

template <class Aside>
constexpr bool has_aside = !std::is_same_v<Aside, no_aside>;

// The smallest team that gives a sweep's serial aside a thread of its own.
constexpr int aside_team = 4;

// Cells a sweep in one pass takes a stage at a time.
constexpr int sweep_block = 256;

// A sweep in one pass over the cells in grid order, where every face's
// cells lie at most reach apart: each thread walks its share of the cells a
// block at a time and works out the start fluxes of the block's faces,
// then, reach cells behind them, predicts each cell and the fluxes of its
// own face, then, another reach behind, corrects each cell and stores it.
// Faces and predictions stay in the thread's ring, never in memory; those
// of cells up to two reaches beyond its share are worked out again, from
// the same rows, by the thread that needs them. The mean fluxes through
// lakes' shores are kept for the lakes' booking after.
template <bool lakes, class Store, class Aside>
int sweep_in_one_pass(contam_flux_work& w, const contam_grid& g, const direction& d, int reach,
                      const rows& r, double a, double& negative_mass, Store store, Aside aside) {
  const int n = g.cells;
  const double area = g.dx * g.dx;
  const double* h = g.depth;
  const int* up = d.up;
  const int* down = d.down;
  const int slots = w.ring_slots;
  const int wrap = slots - 1;
  double* cut = w.cut.data();
  double* shore = w.shore_flux.data();
  int any_cut = 0;
  int bits = 0;
  // The aside's serial work takes a thread of its own on a team large
  // enough to miss it little; else it runs first.
  const int threads = team_for(n, cells_per_thread);
  const bool apart = has_aside<Aside> && threads >= aside_team;
  if (!apart) aside();
#pragma omp parallel reduction(| : any_cut, bits) num_threads(threads) if (threads > 1)
  {
    int first = 1;
    int last = 0;
    const int team = omp_get_num_threads();
    const int t = omp_get_thread_num();
    if (!apart || team < aside_team) {
      if (apart && t == 0) aside();
      thread_cells(n, t, team, first, last);
    } else if (t + 1 < team) {
      thread_cells(n, t, team - 1, first, last);
    } else {
      aside();
    }
    // Start fluxes, predicted concentrations and mean fluxes, by cell.
    double* start_disp = w.ring.data() + std::size_t(omp_get_thread_num()) * ring_stride(slots);
    double* start_adv = start_disp + slots;
    double* pred = start_adv + slots;
    double* mean_disp = pred + slots;
    double* mean_adv = mean_disp + slots;
    const int begin = std::max(1, first - reach);
    const int end = first <= last ? last + 2 * reach : begin - 1;
    for (int b0 = begin; b0 <= end; b0 += sweep_block) {
      const int b1 = std::min(end, b0 + sweep_block - 1);
      for (int i = b0, to = std::min(b1, n); i <= to; ++i) {
        const int u = up[i];
        const face_flux f = u == 0 ? face_flux{0.0, 0.0}
                                   : face_with<lakes>(g, d, r.disp, u, i, r.conc[u], r.conc[i]);
        start_disp[i & wrap] = f.disp;
        start_adv[i & wrap] = f.adv;
      }
      for (int k = std::max(begin, b0 - reach), to = std::min(b1 - reach, n); k <= to; ++k) {
        const int dn = down[k];
        const face_flux in{start_disp[k & wrap], start_adv[k & wrap]};
        if (lakes && g.lake[k] > 0) {
          pred[k & wrap] = r.conc[k];
        } else {
          const face_flux out = dn == 0 ? face_flux{0.0, 0.0}
                                        : face_flux{start_disp[dn & wrap], start_adv[dn & wrap]};
          const double m = moved_mass(r, k, in, out, a);
          pred[k & wrap] = h[k] >= tiny && m >= 0.0 ? m / (h[k] * area) : 0.0;
        }
        if (k < first) continue;
        const int u = up[k];
        const face_flux p = u == 0 ? face_flux{0.0, 0.0}
                                   : face_with<lakes>(g, d, r.disp, u, k, pred[u & wrap],
                                                      pred[k & wrap]);
        mean_disp[k & wrap] = (p.disp + in.disp) * 0.5;
        mean_adv[k & wrap] = (p.adv + in.adv) * 0.5;
        if (lakes && k <= last && u != 0 && (g.lake[k] > 0) != (g.lake[u] > 0))
          shore[k] = mean_adv[k & wrap];
      }
      for (int j = std::max(first, b0 - 2 * reach), to = std::min(b1 - 2 * reach, last); j <= to;
           ++j) {
        if (lakes && g.lake[j] > 0) {
          bits |= store(j, r.mass[j], r.conc[j]);
          continue;
        }
        const int dn = down[j];
        const face_flux in{mean_disp[j & wrap], mean_adv[j & wrap]};
        const face_flux out =
            dn == 0 ? face_flux{0.0, 0.0} : face_flux{mean_disp[dn & wrap], mean_adv[dn & wrap]};
        bits |= store_corrected(g, r, j, in, out, a, cut, any_cut, store);
      }
    }
  }
  if (lakes) book_lake_faces(w, g, d, a, [shore](int j) { return shore[j]; });
  if (any_cut) add_cuts(w, n, negative_mass);
  return bits;
}

// One sweep of a seconds in one direction; aside() runs once, before the
// sweep or beside it.
template <class Store, class Aside>
int sweep(contam_flux_work& w, const contam_grid& g, bool columns, const rows& r, double a,
          double& negative_mass, Store store, Aside aside) {
  const direction d = direction_of(g, columns);
  const int reach = columns ? w.reach_columns : w.reach_rows;
  if (reach > 0 && w.ring_threads >= omp_get_max_threads())
    return g.lake != nullptr
               ? sweep_in_one_pass<true>(w, g, d, reach, r, a, negative_mass, store, aside)
               : sweep_in_one_pass<false>(w, g, d, reach, r, a, negative_mass, store, aside);
  aside();
  const double* conc_pred = w.conc_pred.data();
  predict(g, d, r, a, w.conc_pred.data());
  if (g.lake != nullptr)
    book_lake_faces(w, g, d, a,
                    [&](int j) { return mean_face_of(g, d, r, conc_pred, j).adv; });
  return correct(w, g, d, r, a, negative_mass, store);
}

// Stores a corrected cell in the sweep's output rows.
struct plain_store {
  double* mass;
  double* conc;
  int operator()(int j, double m, double c) const {
    mass[j] = m;
    conc[j] = c;
    return 0;
  }
};

// Both sweeps in the given order (1: columns first), the first from rows
// first into its output rows, the second from those through store. aside()
// is serial work that reads and writes nothing the sweeps do; it runs
// beside the first sweep when the team is large.
template <class Store, class Aside = no_aside>
int sweeps(contam_flux_work& w, const contam_grid& g, double a, int order, const rows& first,
           const rows& second, double& negative_mass, Store store, Aside aside = {}) {
  const bool columns_first = order == 1;
  sweep(w, g, columns_first, first, a, negative_mass, plain_store{first.mass_out, first.conc_out},
        aside);
  return sweep(w, g, !columns_first, second, a, negative_mass, store, no_aside{});
}

}  // namespace contam_sweep
