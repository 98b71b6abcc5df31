// The channel water-quality routing. Every face is computed in one pass and
// applied in a second, and each face is written by one link only (a link's
// own faces, and the junction faces of its upstream links, whose single
// downstream link it is), so the per-link loops share no slot and give the
// same numbers on any number of threads.
//
// A sub-step that would run past the end of the interval is cut to the time
// left, so the sub-steps add up to the interval and move exactly the water
// the flow step passed. A structure link holds no water: it passes its
// source node's concentration (the upstream link's last node, or the
// downstream link's first node in reverse flow) and debits that node by the
// same face, so mass crosses it whole.

#include "quality/chan_wq_route.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "channel/channel_state.h"
#include "core/error_state.h"

namespace {

constexpr double tiny = 1e-16;
constexpr double smallest_substep = 0.01;  // s
constexpr double shortest_courant_step = 0.1;  // s
constexpr int most_passes = 100;
// A pass over a node costs some ten nanoseconds, and every pass of the
// corrector opens its own parallel loops: a thread takes node_slots_per_thread
// nodes, and no more threads than the links give.
int wq_team(const channel_state& c) {
  return std::min(c.link_team(),
                  team_for(static_cast<long long>(c.node_slots()), node_slots_per_thread));
}

std::size_t at(const channel_state& c, int link, int node) {
  return std::size_t(c.node_address(link, node));
}

// The face below the last node of a link.
std::size_t last_face(const channel_state& c, int link) { return at(c, link, c.nx[link]); }

double lake_conc_of(const channel_state& c, const chan_wq_work& w, int link) {
  const int lake = c.lake2link[std::size_t(link)];
  return lake >= 1 && std::size_t(lake) < w.lake_conc.size() ? w.lake_conc[std::size_t(lake)] : 0.0;
}

struct substep {
  double h;    // length, s
  double dt;   // the interval, s
};

void lake_link_faces(const channel_state& c, chan_wq_work& w, const double* conc, int i,
                     const substep& s, double* adv, double* dsp) {
  for (int k = 1; k <= c.ndep[i]; ++k) {
    const int u = c.upstream(i, k);
    if (wq_structure_link(c, u)) continue;
    const std::size_t au = last_face(c, u);
    double m = 0.0;
    if (c.is_routed(u)) {
      const double v = c.qp_vol[au];
      if (v > tiny) m = v * conc[au] * s.h / s.dt;
      else if (v < -tiny) m = v * lake_conc_of(c, w, i) * s.h / s.dt;
    }
    adv[au] = m;
    dsp[au] = 0.0;
  }
}

void structure_faces(const channel_state& c, chan_wq_work& w, const double* conc, int i,
                     const substep& s, double* adv, double* dsp) {
  const double w1 = c.qp_vol[at(c, i, 1)];
  const int up = c.ndep[i] >= 1 ? c.upstream(i, 1) : 0;
  const int down = c.dslink[i];
  double source_conc = 0.0;
  if (w1 >= tiny && up > 0) {
    source_conc = wq_lake_link(c, up) ? lake_conc_of(c, w, up) : conc[last_face(c, up)];
  } else if (w1 <= -tiny && down > 0) {
    source_conc = wq_lake_link(c, down) ? lake_conc_of(c, w, down) : conc[at(c, down, 1)];
  }
  const double m = std::fabs(w1) >= tiny ? w1 * source_conc * s.h / s.dt : 0.0;
  for (int k = 1; k <= c.nx[i]; ++k) {
    adv[at(c, i, k)] = m;
    dsp[at(c, i, k)] = 0.0;
  }
  adv[last_face(c, i)] = m;
  dsp[last_face(c, i)] = 0.0;
  // The routed node on the upstream side gives (or, in reverse flow,
  // takes) what crosses the structure.
  if (up > 0 && c.is_routed(up)) {
    adv[last_face(c, up)] = m;
    dsp[last_face(c, up)] = 0.0;
  }
}

void normal_link_faces(const channel_state& c, chan_wq_work& w, const double* conc, int i,
                       const substep& s, double* adv, double* dsp) {
  const double dx = c.dx[std::size_t(i)];
  const double* area_old = c.area_old.data();
  const double* d = w.disp.data();
  const double f = s.h / s.dt;
  const std::size_t first = at(c, i, 1);
  const int n = c.nx[i];
  for (int k = n; k >= 2; --k) {
    const std::size_t a1 = first + std::size_t(k - 2), a2 = a1 + 1;
    const double v = c.qp_vol[a1];
    adv[a1] = (v >= 0.0 ? conc[a1] : conc[a2]) * v * f;
    dsp[a1] = area_old[a1] > 0.0 && area_old[a2] > 0.0
                  ? std::min(area_old[a1] * d[a1], area_old[a2] * d[a2]) * (conc[a1] - conc[a2]) / dx
                  : 0.0;
  }
  if (c.dslink[i] == 0 && n >= 1) {
    // Nothing is routed out of the outlet: its outflow is taken as a source.
    adv[last_face(c, i)] = 0.0;
    dsp[last_face(c, i)] = 0.0;
  }
  for (int k = 1; k <= c.ndep[i]; ++k) {
    const int u = c.upstream(i, k);
    if (wq_structure_link(c, u)) continue;
    const std::size_t au = last_face(c, u);
    const double v = c.qp_vol[au];
    if (wq_lake_link(c, u)) {
      // A lake drains into the link at its own concentration.
      adv[au] = (v >= 0.0 ? lake_conc_of(c, w, u) : conc[first]) * v * f;
      dsp[au] = 0.0;
      continue;
    }
    adv[au] = (v >= 0.0 ? conc[au] : conc[first]) * v * f;
    dsp[au] = area_old[au] > 0.0 && area_old[first] > 0.0
                  ? std::min(area_old[au] * d[au], area_old[first] * d[first]) *
                        (conc[au] - conc[first]) / dx
                  : 0.0;
  }
}

void face_fluxes(const channel_state& c, chan_wq_work& w, const double* conc, const substep& s,
                 double* adv, double* dsp) {
  const int links = c.links;
#pragma omp parallel for schedule(static) num_threads(wq_team(c))
  for (int i = links; i >= 1; --i) {
    if (wq_lake_link(c, i)) {
      lake_link_faces(c, w, conc, i, s, adv, dsp);
    } else if (wq_structure_link(c, i)) {
      structure_faces(c, w, conc, i, s, adv, dsp);
    } else {
      normal_link_faces(c, w, conc, i, s, adv, dsp);
    }
  }
}

// New masses from the start masses and the averaged faces into out_mass and
// out_conc. True when some node's mass (before any clamp) fell below -1e-6.
bool mass_update(const channel_state& c, const chan_wq_work& w, const substep& s,
                 double* out_mass, double* out_conc) {
  const int links = c.links;
  const double h = s.h;
  const double* adv = w.adv.data();
  const double* dsp = w.dsp.data();
  const double* src = w.source.data();
  bool negative = false;
#pragma omp parallel for schedule(static) num_threads(wq_team(c)) reduction(|| : negative)
  for (int i = 1; i <= links; ++i) {
    if (!c.is_routed(i)) continue;
    const double dx = c.dx[std::size_t(i)];
    const std::size_t first = at(c, i, 1);
    for (int k = 1; k <= c.nx[i]; ++k) {
      const std::size_t a = first + std::size_t(k - 1);
      double change;
      if (k == 1) {
        change = (src[a] - dsp[a]) * h - adv[a];
        for (int u = 1; u <= c.ndep[i]; ++u) {
          const std::size_t au = last_face(c, c.upstream(i, u));
          change += h * dsp[au] + adv[au];
        }
      } else {
        change = (dsp[a - 1] - dsp[a] + src[a]) * h + adv[a - 1] - adv[a];
      }
      const double m = w.mass[a] + change;
      if (m < -1e-6) negative = true;
      const double v = w.area_adt[a] * dx;
      // A node that ran dry keeps its mass, as an empty lake does, until
      // water comes back to carry it; dropping it would take it off the books.
      out_mass[a] = m;
      out_conc[a] = v < tiny ? 0.0 : m / v;
    }
  }
  return negative;
}

void clamp(const channel_state& c, double* mass, double* conc) {
  const int links = c.links;
#pragma omp parallel for schedule(static) num_threads(wq_team(c))
  for (int i = 1; i <= links; ++i) {
    if (!c.is_routed(i)) continue;
    const std::size_t first = at(c, i, 1);
    for (std::size_t a = first; a < first + std::size_t(std::max(c.nx[i], 0)); ++a) {
      if (mass[a] < -tiny) mass[a] = 0.0;
      if (conc[a] < -tiny) conc[a] = 0.0;
    }
  }
}

// The largest Courant number of the routed nodes over a sub-step h.
double courant(const channel_state& c, const chan_wq_work& w, double h, double dt) {
  double cmax = 0.0;
  const int links = c.links;
#pragma omp parallel for schedule(static) num_threads(wq_team(c)) reduction(max : cmax)
  for (int i = 1; i <= links; ++i) {
    if (!c.is_routed(i)) continue;
    const double dx = c.dx[std::size_t(i)];
    const std::size_t first = at(c, i, 1);
    for (std::size_t a = first; a < first + std::size_t(std::max(c.nx[i], 0)); ++a) {
      const double v = dx * w.area_adt[a];
      const double q = std::fabs(c.qp_vol[a]) * h / dt;
      double cr;
      if (v > 1e-6) cr = q / v;
      else if (dx * c.area[a] > 1e-6) cr = 5.0;
      else cr = q;
      cmax = std::max(cmax, cr);
    }
  }
  return cmax;
}

// Moves the flow areas (and lake volumes) at the sub-step time on by h, or
// back by h with sign -1.
void move_areas(const channel_state& c, chan_wq_work& w, double h, double dt, double sign) {
  const double f = sign * h / dt;
  for (int i = 1; i <= c.links; ++i) {
    if (!c.is_routed(i)) continue;
    const std::size_t first = at(c, i, 1);
    for (std::size_t a = first; a < first + std::size_t(std::max(c.nx[i], 0)); ++a)
      w.area_adt[a] += (c.area[a] - c.area_old[a]) * f;
  }
  if (!c.channel_lakes) return;
  for (int l = 1; l <= c.lake_count; ++l) {
    const std::size_t k = std::size_t(l);
    w.lake_volume_adt[k] += (c.lake_volume[k] - c.lake_volume_last_chan[k]) * f;
  }
}

// Walks the channel faces of every lake over a sub-step: gives(lake, g)
// for mass a channel brings in, takes(lake, g) for mass a channel draws off.
template <class Gives, class Takes>
void for_each_lake_face(const channel_state& c, const chan_wq_work& w, Gives gives, Takes takes) {
  for (int i = 1; i <= c.links; ++i) {
    if (!wq_lake_link(c, i)) continue;
    const std::size_t lake = std::size_t(c.lake2link[std::size_t(i)]);
    if (lake < 1 || lake >= w.lake_mass.size()) continue;
    for (int k = 1; k <= c.ndep[i]; ++k) {
      const int u = c.upstream(i, k);
      if (wq_lake_link(c, u)) continue;
      gives(lake, w.adv[last_face(c, u)]);
    }
    const int d = c.dslink[i];
    if (d > 0 && !wq_lake_link(c, d)) {
      // The face the downstream link took from the lake: the structure's
      // own, or the junction face below the lake link.
      takes(lake, wq_structure_link(c, d) ? w.adv[last_face(c, d)] : w.adv[last_face(c, i)]);
    }
  }
}

// An outflow explicit in the lake's concentration can draw off more than a
// small lake holds when much water passes through it in one sub-step; the
// lake's mass would go below zero while the channel below gains it, so such
// a sub-step is tried again shorter, as a node's is.
bool lake_goes_negative(const channel_state& c, chan_wq_work& w, double h) {
  if (!c.channel_lakes) return false;
  for (int l = 1; l <= c.lake_count; ++l)
    w.lake_trial[std::size_t(l)] = w.lake_mass[std::size_t(l)] + h * w.lake_source[std::size_t(l)];
  for_each_lake_face(
      c, w, [&](std::size_t l, double m) { w.lake_trial[l] += m; },
      [&](std::size_t l, double m) { w.lake_trial[l] -= m; });
  for (int l = 1; l <= c.lake_count; ++l)
    if (w.lake_trial[std::size_t(l)] < -1e-6) return true;
  return false;
}

void lake_update(const channel_state& c, chan_wq_work& w, double h) {
  for_each_lake_face(
      c, w,
      [&](std::size_t lake, double m) {
        w.lake_mass[lake] += m;
        w.lake_inflow[lake] += m;
        w.chan_to_lake += m;
      },
      [&](std::size_t lake, double m) {
        w.lake_mass[lake] -= m;
        w.lake_outflow[lake] += m;
        w.lake_to_chan += m;
      });
  for (int l = 1; l <= c.lake_count; ++l) {
    const std::size_t k = std::size_t(l);
    w.lake_mass[k] += h * w.lake_source[k];
    // An empty lake keeps its mass until water comes back to it.
    w.lake_conc[k] = w.lake_volume_adt[k] > tiny ? w.lake_mass[k] / w.lake_volume_adt[k] : 0.0;
  }
}

}  // namespace

bool wq_lake_link(const channel_state& chan, int link) {
  const int t = chan.ltype[std::size_t(link)];
  if (t & link_bit::lake) return true;
  return (t & link_bit::shaped) && (t & link_bit::overtaken);
}

bool wq_structure_link(const channel_state& chan, int link) {
  return (chan.ltype[std::size_t(link)] & link_bit::structure) != 0;
}

void chan_wq_work::size(const channel_state& chan) {
  const std::size_t slots = chan.node_slots();
  for (std::vector<double>* v : {&conc, &mass, &disp, &source, &adv, &dsp, &adv_new, &dsp_new,
                                 &est_conc, &est_mass, &trial_conc, &trial_mass, &area_adt})
    if (v->size() < slots) v->resize(slots, 0.0);
  const std::size_t lakes = std::size_t(chan.channel_lakes ? chan.lake_count : 0) + 1;
  for (std::vector<double>* v : {&lake_conc, &lake_mass, &lake_source, &lake_volume_adt,
                                 &lake_inflow, &lake_outflow, &lake_trial})
    if (v->size() < lakes) v->resize(lakes, 0.0);
}

bool chan_wq_route(const channel_state& c, chan_wq_work& w, double dt) {
  w.size(c);
  w.substeps = 0;
  w.passes = 0;
  w.retries = 0;
  const std::size_t slots = c.node_slots();
  std::fill(w.adv.begin(), w.adv.begin() + std::ptrdiff_t(slots), 0.0);
  std::fill(w.dsp.begin(), w.dsp.begin() + std::ptrdiff_t(slots), 0.0);
  std::fill(w.adv_new.begin(), w.adv_new.begin() + std::ptrdiff_t(slots), 0.0);
  std::fill(w.dsp_new.begin(), w.dsp_new.begin() + std::ptrdiff_t(slots), 0.0);
  for (int i = 1; i <= c.links; ++i) {
    if (!c.is_routed(i)) continue;
    for (int k = 1; k <= c.nx[i]; ++k) w.area_adt[at(c, i, k)] = c.area_old[at(c, i, k)];
  }
  if (c.channel_lakes)
    for (int l = 1; l <= c.lake_count; ++l)
      w.lake_volume_adt[std::size_t(l)] = c.lake_volume_last_chan[std::size_t(l)];

  double delta = dt;    // s
  double left = dt;     // s
  while (left > tiny) {
    const double cmax = courant(c, w, delta, dt);
    if (cmax > 0.5 && delta > shortest_courant_step)
      delta = std::max(delta * 0.5 / cmax, shortest_courant_step);
    const substep s{std::min(delta, left), dt};
    left -= s.h;
    move_areas(c, w, s.h, dt, 1.0);

    // Predictor from the committed state; its faces start the averages.
    face_fluxes(c, w, w.conc.data(), s, w.adv.data(), w.dsp.data());
    bool negative = mass_update(c, w, s, w.est_mass.data(), w.est_conc.data());
    clamp(c, w.est_mass.data(), w.est_conc.data());
    double change;
    do {
      face_fluxes(c, w, w.est_conc.data(), s, w.adv_new.data(), w.dsp_new.data());
      for (std::size_t a = 0; a < slots; ++a) {
        w.adv[a] = 0.5 * (w.adv[a] + w.adv_new[a]);
        w.dsp[a] = 0.5 * (w.dsp[a] + w.dsp_new[a]);
      }
      negative = mass_update(c, w, s, w.trial_mass.data(), w.trial_conc.data());
      ++w.passes;
      change = 0.0;
      for (int i = 1; i <= c.links; ++i) {
        if (!c.is_routed(i)) continue;
        const std::size_t first = at(c, i, 1);
        for (std::size_t a = first; a < first + std::size_t(std::max(c.nx[i], 0)); ++a) {
          change = std::max(change, std::fabs(w.trial_conc[a] - w.est_conc[a]));
          w.est_conc[a] = w.trial_conc[a] < -tiny ? 0.0 : w.trial_conc[a];
          w.est_mass[a] = w.trial_mass[a] < -tiny ? 0.0 : w.trial_mass[a];
        }
      }
    } while (change > 1e-6 && w.passes <= most_passes);
    negative = negative || lake_goes_negative(c, w, s.h);

    double next = delta;
    if (negative) {
      // The sub-step is tried again from its own start, halved.
      move_areas(c, w, s.h, dt, -1.0);
      left += s.h;
      ++w.retries;
      next = s.h * 0.5;
      if (next < smallest_substep) {
        raise_message(
            "The channel water quality routing time step is getting really small\n"
            "less than 1/1000 of a second\n"
            "Program stopped.\n");
        return false;
      }
      delta = next;
      continue;
    }
    if (left > tiny && w.passes > most_passes) {
      for (int i = 1; i <= c.links; ++i)
        if (c.is_routed(i) && next > shortest_courant_step) next *= 0.5;
    }
    for (int i = 1; i <= c.links; ++i) {
      if (!c.is_routed(i)) continue;
      const std::size_t first = at(c, i, 1);
      for (std::size_t a = first; a < first + std::size_t(std::max(c.nx[i], 0)); ++a) {
        w.conc[a] = w.est_conc[a];
        w.mass[a] = w.est_mass[a];
      }
    }
    if (c.channel_lakes) lake_update(c, w, s.h);
    ++w.substeps;
    delta = next;
  }
  return true;
}
