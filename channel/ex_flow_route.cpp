// The explicit channel router: the sub-step loop around the node flows and
// node continuity. Per sub-step: check the nodes, cut the sub-step to the
// Courant limit, save the state, then one or two predictor-corrector passes;
// a pass that leaves a node below empty puts the state back and tries again
// at half the sub-step.

#include "channel/ex_flow_route.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>

#include "channel/channel_state.h"
#include "channel/ex_section.h"
#include "core/error_state.h"
#include "input/read_grid_inputs.h"
#include "input/series.h"

namespace {

constexpr double min_substep = 0.001;    // s; below it the step cannot be routed
constexpr double absorbed_rest = 0.001;  // s; a rest this short joins the sub-step before it
constexpr double repeat_change = 0.01;   // m2; a larger area change earns a second pass
constexpr double failing_area = -1e-8;   // m2; a corrected area below it halves the sub-step
constexpr double wet_area = 1e-16;       // m2; drier nodes have no Courant number

bool failure_raised() { return error_state.stop_flag != 0; }

bool work_arrays_ready(channel_state& chan) {
  const std::size_t slots = chan.node_slots();
  if (chan.rt_area_old.size() == slots) return true;
  return allocate_zeroed(chan.rt_area_old, slots, "area_old") &&
         allocate_zeroed(chan.rt_qp_old, slots, "qp_old") &&
         allocate_zeroed(chan.rt_area_iter, slots, "area_iter") &&
         allocate_zeroed(chan.rt_qp_last, slots, "qp_last") &&
         allocate_zeroed(chan.rt_qp_iter, slots, "qp_iter") &&
         allocate_zeroed(chan.rt_source_q, slots, "source_q");
}

// Runs body(address) for every node 1..nx of every routed link, the links
// shared among the threads.
template <class Body>
void for_routed_nodes(const channel_state& chan, Body body) {
  const int links = chan.links;
#pragma omp parallel for schedule(static) if (chan.threaded())
  for (int i = 1; i <= links; ++i) {
    if (!chan.is_routed(i)) continue;
    const std::size_t first = std::size_t(chan.node_address(i, 1));
    const std::size_t end = first + std::size_t(std::max(chan.nx[i], 0));
    for (std::size_t a = first; a < end; ++a) body(a);
  }
}

// ex_section reads chan.area, so the predictor areas stand in for it during
// the call. Swapping the buffers moves no element and allocates nothing.
void section_of(channel_state& chan, std::vector<double>& areas) {
  chan.area.swap(areas);
  ex_section(chan, section_mode::from_area);
  chan.area.swap(areas);
}

// The first node (smallest address, so lowest link, then lowest node) whose
// area is not a number or whose stage lies below its bed; INT_MAX for none.
int first_bad_node(const channel_state& chan) {
  const double* area = chan.area.data();
  const double* yp = chan.yp.data();
  const double* bel = chan.bel.data();
  const int links = chan.links;
  int first = INT_MAX;
#pragma omp parallel for schedule(static) reduction(min : first) if (chan.threaded())
  for (int i = 1; i <= links; ++i) {
    if (!chan.is_routed(i)) continue;
    const int start = chan.node_address(i, 1);
    for (int a = start; a < start + chan.nx[i]; ++a) {
      if (std::isnan(area[a]) || yp[a] - bel[a] < 0.0) {
        first = std::min(first, a);
        break;
      }
    }
  }
  return first;
}

int report_bad_node(channel_state& chan, int address) {
  const int link = address / chan.stride();
  const int node = address % chan.stride();
  if (std::isnan(chan.area[address])) {
    chan.area[address] = 0.0;
    chan.yp[address] = chan.bel[address];
    raise_message("In ex_flow_route 1:  cross-sectional area is not a number at link %d node %d\n",
                  link, node);
  } else {
    raise_message("in ex_flow_route 2, negative depth at link %d node %d\nprogram stopped.\n", link,
                  node);
  }
  return -1;
}

double largest_courant(const channel_state& chan, double substep) {
  const double* area = chan.area.data();
  const double* qp = chan.qp.data();
  const int links = chan.links;
  double cmax = 0.0;
#pragma omp parallel for schedule(static) reduction(max : cmax) if (chan.threaded())
  for (int i = 1; i <= links; ++i) {
    if (!chan.is_routed(i)) continue;
    const double ratio = substep / chan.dx[i];
    const int start = chan.node_address(i, 1);
    for (int a = start; a < start + chan.nx[i]; ++a) {
      // Reverse flow moves water just as fast, so it is limited alike.
      if (area[a] > wet_area) cmax = std::max(cmax, ratio * (std::fabs(qp[a]) / area[a]));
    }
  }
  return cmax;
}

// The POINTSOURCE values at the call's time into chan.rt_source_q, and the
// inflow of the point sources and first-order inflows together (m3/s),
// summed in link and node order. Null when no node has a series.
const double* gather_sources(channel_state& chan, const route_settings& set, double& rate) {
  rate = 0.0;
  bool any = false;
  const bool series = !chan.stream_pointsource.empty();
  for (int i = 1; i <= chan.links; ++i) {
    if (!chan.is_routed(i) || chan.nx[i] < 1) continue;
    if (chan.ndep[i] == 0) rate += set.first_order_q;
    if (!series) continue;
    for (int j = 1; j <= chan.nx[i]; ++j) {
      const int a = chan.node_address(i, j);
      const time_series* ts = chan.stream_pointsource[a];
      if (!ts) continue;
      chan.rt_source_q[a] = ts_value(set.time, ts);
      rate += chan.rt_source_q[a];
      any = true;
    }
  }
  return any ? chan.rt_source_q.data() : nullptr;
}

// One predictor-corrector pass from the saved state: flows of the current
// geometry, predicted areas, flows of the prediction, corrected areas with
// the mean flows. Leaves the largest |corrected - predicted| area in change
// and whether a corrected area fell below failing_area; -1 after a failure.
int run_pass(channel_state& chan, const route_settings& set, double substep, double& change,
             bool& too_dry) {
  if (chan_link_flows(chan, set, chan.rt_qp_last) < 0) return -1;
  double* area = chan.area.data();
  double* iter = chan.rt_area_iter.data();
  const double* old = chan.rt_area_old.data();
  for_routed_nodes(chan, [=](std::size_t a) { area[a] = iter[a] = old[a]; });

  section_of(chan, chan.rt_area_iter);
  if (failure_raised()) return -1;
  chan_continuity(chan, set, chan.rt_qp_last, chan.rt_area_iter, substep);
  iter = chan.rt_area_iter.data();
  for_routed_nodes(chan, [=](std::size_t a) {
    if (iter[a] < 0.0) iter[a] = 0.0;
  });
  section_of(chan, chan.rt_area_iter);
  if (failure_raised()) return -1;
  if (chan_link_flows(chan, set, chan.rt_qp_iter) < 0) return -1;

  double* qp = chan.qp.data();
  const double* last = chan.rt_qp_last.data();
  const double* next = chan.rt_qp_iter.data();
  for_routed_nodes(chan, [=](std::size_t a) { qp[a] = 0.5 * (last[a] + next[a]); });
  chan_continuity(chan, set, chan.qp, chan.area, substep);

  area = chan.area.data();
  iter = chan.rt_area_iter.data();
  const int links = chan.links;
  double largest = 0.0;
  int dry = 0;
#pragma omp parallel for schedule(static) reduction(max        \
                                                    : largest) \
    reduction(|                                                \
              : dry) if (chan.threaded())
  for (int i = 1; i <= links; ++i) {
    if (!chan.is_routed(i)) continue;
    const int start = chan.node_address(i, 1);
    for (int a = start; a < start + chan.nx[i]; ++a) {
      largest = std::max(largest, std::fabs(area[a] - iter[a]));
      if (area[a] < failing_area) dry = 1;
    }
  }
  change = largest;
  too_dry = dry != 0;
  return 0;
}

}  // namespace

int ex_flow_route(channel_state& chan, const route_settings& settings, double dt) {
  if (error_state.code == own_message_code) return -1;
  if (!work_arrays_ready(chan)) return -1;
  if (settings.location_volumes &&
      chan.hyd_loc_volume.size() != std::size_t(chan.hyd_locations) + 1 &&
      !allocate_zeroed(chan.hyd_loc_volume, std::size_t(chan.hyd_locations) + 1, "hyd_loc_volume"))
    return -1;
  chan.step_outlet_volume = 0.0;
  chan.step_point_source_volume = 0.0;

  route_settings set = settings;
  double source_rate = 0.0;  // m3/s
  set.source_q = gather_sources(chan, set, source_rate);
  if (failure_raised()) return -1;

  const std::size_t outlet =
      std::size_t(chan.node_address(chan.links, chan.links > 0 ? chan.nx[chan.links] : 0));
  double remaining = dt;  // s
  double substep = dt;    // s; only shrinks within the call
  while (remaining > 1e-16) {
    const int bad = first_bad_node(chan);
    if (bad != INT_MAX) return report_bad_node(chan, bad);

    const double cmax = largest_courant(chan, substep);
    if (cmax >= set.courant_limit) substep /= static_cast<int>(cmax / set.courant_limit + 1.0);

    {
      double* area = chan.area.data();
      double* qp = chan.qp.data();
      double* area_old = chan.rt_area_old.data();
      double* qp_old = chan.rt_qp_old.data();
      double* last = chan.rt_qp_last.data();
      double* next = chan.rt_qp_iter.data();
      const bool first_ever = chan.substeps == 0;
      for_routed_nodes(chan, [=](std::size_t a) {
        area_old[a] = area[a];
        qp_old[a] = qp[a];
        if (first_ever) last[a] = next[a] = qp[a];
      });
    }
    ++chan.substeps;

    for (;;) {
      if (substep < min_substep) {
        raise_message(
            "The channel routing time step is getting really small\n"
            "less than 1/1000 of a second\n"
            "Reduce the model time step by a factor of 2 and try again.\n"
            "Program stopped.\n");
        return -1;
      }
      remaining -= substep;
      if (remaining <= absorbed_rest) {
        substep += remaining;
        remaining = 0.0;
      }

      double change = 0.0;
      bool too_dry = false;
      for (int pass = 0; pass < 2 && (pass == 0 || change > repeat_change); ++pass) {
        if (pass > 0) {
          ex_section(chan, section_mode::from_area);
          if (failure_raised()) return -1;
        }
        if (run_pass(chan, set, substep, change, too_dry) < 0) return -1;
        if (too_dry) break;
      }
      if (!too_dry) break;

      remaining += substep;
      substep *= 0.5;
      double* area = chan.area.data();
      double* qp = chan.qp.data();
      const double* area_old = chan.rt_area_old.data();
      const double* qp_old = chan.rt_qp_old.data();
      double* last = chan.rt_qp_last.data();
      double* next = chan.rt_qp_iter.data();
      for_routed_nodes(chan, [=](std::size_t a) {
        area[a] = area_old[a];
        qp[a] = last[a] = next[a] = qp_old[a];
      });
      ex_section(chan, section_mode::from_area);
      if (failure_raised()) return -1;
    }

    double* area = chan.area.data();
    for_routed_nodes(chan, [=](std::size_t a) {
      if (area[a] < 0.0) area[a] = 0.0;
    });
    ex_section(chan, section_mode::from_area);
    if (failure_raised()) return -1;
    chan.step_outlet_volume += substep * chan.qp[outlet];
    chan.step_point_source_volume += substep * source_rate;
    if (set.location_volumes) {
      for (int k = 1; k <= chan.hyd_locations; ++k)
        chan.hyd_loc_volume[k] +=
            chan.qp[chan.node_address(chan.hyd_loc_link[k], chan.hyd_loc_node[k])] * substep;
    }
    chan.last_substep = substep;
  }
  return 0;
}
