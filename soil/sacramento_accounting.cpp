// The Sacramento basin at work: the channel weights its base flow is spread
// by, fixed at set-up, and each interval's soil-moisture accounting of the
// five stores with the totals the summaries read.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "channel/channel_state.h"
#include "core/error_state.h"
#include "core/text_io.h"
#include "input/read_grid_inputs.h"
#include "soil/sacramento.h"

namespace {

// Input and upper free water are worked in increments of at most this, mm.
constexpr double increment_depth = 5.0;
// More increments than any hour of real infiltration needs (5000 mm);
// keeps the count an int whatever the input.
constexpr double most_increments = 1000.0;
// The per-increment input and upper free water below which the increment
// only stores its input, mm.
constexpr double trace_depth = 0.01;

// Pairs of structure and lake links never take lateral inflow, so their
// share of the base flow would be lost.
bool takes_base_flow(const channel_state& chan, int link) {
  if (link < 1 || link > chan.links) return false;
  return (chan.ltype[std::size_t(link)] & (link_bit::structure | link_bit::lake)) == 0;
}

// Upper-zone evapotranspiration: the tension water gives in proportion to
// its fullness and the free water makes up what the tension water lacks.
// Returns what was taken, mm.
double upper_zone_et(sac_params& p, double demand) {
  const double held = p.uztwc;
  double e1 = demand * p.uztwc / p.uztwm;
  double e2 = 0.0;
  if (e1 > held) {
    // Only the water the tension store held leaves it; a demand above the
    // capacity would otherwise be counted as taken without water to match.
    e2 = std::min(e1 - held, p.uzfwc);
    p.uzfwc -= e2;
    e1 = held;
  }
  p.uztwc -= e1;
  // Free water does not stay while the tension water beside it is relatively drier.
  if (p.uzfwc / p.uzfwm > p.uztwc / p.uztwm) {
    const double ratio = (p.uztwc + p.uzfwc) / (p.uztwm + p.uzfwm);
    p.uztwc = ratio * p.uztwm;
    p.uzfwc = ratio * p.uzfwm;
  }
  return e1 + e2;
}

// The lower tension water draws on the free water above the saved part
// until it is as full, relatively, as the lower zone as a whole.
void balance_lower_zone(sac_params& p) {
  const double whole = (p.lzfpc + p.lzfsc + p.lztwc - p.saved) /
                       (p.lzfpm + p.lzfsm + p.lztwm - p.saved);
  const double tension = p.lztwc / p.lztwm;
  if (whole <= tension) return;
  const double moved = (whole - tension) * p.lztwm;
  p.lztwc += moved;
  p.lzfsc -= moved;
  if (p.lzfsc < 0.0) {
    p.lzfpc += p.lzfsc;
    p.lzfsc = 0.0;
  }
}

// Percolated water into the lower zone: the tension share fills the
// tension water, the rest goes to the free stores, more to the one that is
// emptier relative to its capacity.
void percolate(sac_params& p, double perc) {
  double to_tension = (1.0 - p.pfree) * perc;
  double to_free = p.pfree * perc;
  const double tension_room = p.lztwm - p.lztwc;
  if (to_tension > tension_room) {
    to_free += to_tension - tension_room;
    to_tension = tension_room;
  }
  p.lztwc += to_tension;
  if (to_free <= 0.0) return;
  const double primary_deficit = std::max(0.0, 1.0 - p.lzfpc / p.lzfpm);
  const double supplementary_deficit = std::max(0.0, 1.0 - p.lzfsc / p.lzfsm);
  const double deficits = primary_deficit + supplementary_deficit;
  // The primary share stays within the amount: above one it would pull
  // supplementary water into the primary store with the percolation, even
  // below empty. Both stores full: the overflow rule sends it all to primary.
  double share = 1.0;
  if (deficits > 0.0)
    share = std::min(1.0, 2.0 * (p.lzfpm / (p.lzfpm + p.lzfsm)) * primary_deficit / deficits);
  const double primary = to_free * share;
  p.lzfpc += primary;
  p.lzfsc += to_free - primary;
  if (p.lzfsc > p.lzfsm) {
    p.lzfpc += p.lzfsc - p.lzfsm;
    p.lzfsc = p.lzfsm;
  }
}

// Calls visit(g, link, cell) for every grid-stream pair, stream cells and
// their pairs in list order.
template <class F>
void for_each_pair(const channel_state& chan, F visit) {
  for (int c = 1; c <= chan.stream_cells; ++c)
    for (int k = 1; k <= chan.gst_ncellsingrid[std::size_t(c)]; ++k) {
      const std::size_t g = chan.gst_index(c, k);
      visit(g, chan.gst_link[g], chan.gst_gnum[g]);
    }
}

void stop_weights(const char* first_line, const char* second_line) {
  raise_message("%s%s", first_line, second_line);
}

}  // namespace

double sac_storage(const sac_params& p) {
  return p.uztwc + p.uzfwc + p.lztwc + p.lzfsc + p.lzfpc;
}

void start_sacramento_event(sacramento_state& sac) {
  sac.event_input = sac.event_input_volume = 0.0;
  sac.event_et = sac.event_et_volume = 0.0;
  sac.event_base_flow = sac.event_base_flow_volume = 0.0;
  sac.event_initial_storage = sac_storage(sac.params);
}

int sacramento_accounting(sac_params& p, double& et, double input, double& deep_recharge) {
  deep_recharge = 0.0;
  const double before = sac_storage(p);
  et = upper_zone_et(p, et);
  balance_lower_zone(p);

  double excess = input - (p.uztwm - p.uztwc);
  if (excess < 0.0) {
    p.uztwc += input;
    excess = 0.0;
  } else {
    p.uztwc = p.uztwm;
  }

  const double count = std::min(std::floor((excess + p.uzfwc) / increment_depth + 1.00001),
                                most_increments);
  const int n = static_cast<int>(count);
  double duz = p.uzk, dlzp = p.lzpk, dlzs = p.lzsk;
  if (n > 1) {
    duz = 1.0 - std::pow(1.0 - p.uzk, 1.0 / n);
    dlzp = 1.0 - std::pow(1.0 - p.lzpk, 1.0 / n);
    dlzs = 1.0 - std::pow(1.0 - p.lzsk, 1.0 / n);
  }
  const double step_input = excess / n;
  const double perc_capacity = p.lz_drain_capacity / n;
  const double lz_capacity = p.lztwm + p.lzfpm + p.lzfsm;

  double base = 0.0, interflow = 0.0, surface = 0.0;
  for (int i = 0; i < n; ++i) {
    const double primary = p.lzfpc * dlzp;
    const double supplementary = p.lzfsc * dlzs;
    p.lzfpc -= primary;
    p.lzfsc -= supplementary;
    base += primary + supplementary;

    if (step_input + p.uzfwc <= trace_depth) {
      p.uzfwc += step_input;
      continue;
    }

    const double room = std::max(0.0, lz_capacity - p.lztwc - p.lzfpc - p.lzfsc);
    const double deficit = room / lz_capacity;
    double perc =
        perc_capacity * (p.uzfwc / p.uzfwm) * (1.0 + p.zperc * std::pow(deficit, p.rexp));
    // Percolation never lifts the lower zone above its capacity, whichever
    // way the demand compares with the free water: water over it would make
    // the deficit negative and the next increment's curve not a number.
    if (perc > p.uzfwc) {
      perc = std::min(p.uzfwc, room);
      p.uzfwc -= perc;
    } else {
      perc = std::min(perc, room);
      p.uzfwc -= perc;
      const double drained = p.uzfwc * duz;
      p.uzfwc -= drained;
      interflow += drained;
    }
    if (perc > 0.0) percolate(p, perc);

    p.uzfwc += step_input;
    if (p.uzfwc > p.uzfwm) {
      surface += p.uzfwc - p.uzfwm;
      p.uzfwc = p.uzfwm;
    }
  }

  p.base_flow = base + interflow + surface;
  p.residual += before - sac_storage(p) + input - et - p.base_flow;
  return n;
}

void account_sacramento_interval(sacramento_state& sac, double pet_cm, double infiltrated_m,
                                 int cells, double cell_area) {
  sac_params& p = sac.params;
  const double area = cell_area * cells;  // watershed, m2
  if (++sac.calls == 1) {
    sac.input = 0.0;
    sac.et_demand = 0.0;
    sac.event_initial_storage = sac.run_initial_storage = sac_storage(p);
    p.base_flow = p.lzfpc * p.lzpk + p.lzfsc * p.lzsk;
  }
  sac.et_demand = pet_cm * 10.0;
  sac.run_pet += sac.et_demand;

  sac.input = cells > 0 ? (infiltrated_m - sac.infiltrated_ref) / cells * 1000.0 : 0.0;
  sac.event_input += sac.input;
  sac.run_input += sac.input;
  sac.event_input_volume += sac.input * area / 1000.0;
  sac.run_input_volume += sac.input * area / 1000.0;

  double et = sac.et_demand;
  double deep = 0.0;
  sacramento_accounting(p, et, sac.input, deep);
  sac.et_taken = et;
  sac.event_et += et;
  sac.run_et += et;
  sac.event_et_volume += et * area / 1000.0;
  sac.run_et_volume += et * area / 1000.0;

  const double b = p.base_flow;  // mm over the hour
  sac.base_flow_rate = b * area / 3600000.0;
  sac.event_base_flow += b;
  sac.run_base_flow += b;
  sac.event_base_flow_volume += b * area / 1000.0;
  sac.run_base_flow_volume += b * area / 1000.0;
  sac.infiltrated_ref = infiltrated_m;
}

void compute_sac_weights(sacramento_state& sac, channel_state& chan, int cells,
                         bool topo_index) {
  std::vector<char> seen;
  if (!allocate_per_cell(sac.cell_weight, cells, "sac_cell_weight") ||
      !allocate_per_cell(seen, cells, "sac_cell_weight"))
    return;
  if (chan.gst_sac_weight.size() < chan.gst_index(chan.stream_cells + 1, 0)) {
    if (!allocate_zeroed(chan.gst_sac_weight, chan.gst_index(chan.stream_cells + 1, 0),
                         "gst_sac_weight"))
      return;
  }
  // A cell without a computed index counts as 0.
  auto index_of = [&sac](int m) {
    return std::size_t(m) < sac.topo_index.size() ? sac.topo_index[std::size_t(m)] : 0.0;
  };

  // Each channel cell once, in the order of the grid-stream lists; the
  // channel length of every pair that takes base flow.
  double index_sum = 0.0;  // T
  double length_sum = 0.0;  // W, m
  int channel_cells = 0;
  auto takes = [&chan, cells](int link, int m) {
    return takes_base_flow(chan, link) && m >= 1 && m <= cells;
  };
  for_each_pair(chan, [&](std::size_t g, int link, int m) {
    if (!takes(link, m)) return;
    if (!seen[std::size_t(m)]) {
      seen[std::size_t(m)] = 1;
      ++channel_cells;
      if (topo_index) {
        index_sum += index_of(m);
        sac.cell_weight[std::size_t(m)] = index_of(m);
      }
    }
    length_sum += chan.dx[std::size_t(link)] * chan.gst_pct[g];
  });

  if (topo_index) {
    if (index_sum < 1e-10) {
      stop_weights(
          "Problem, sum of the topographic indices in all channel-containing grids is <=0.0\n",
          "Program terminated\n");
      return;
    }
    for (int m = 1; m <= cells; ++m)
      if (sac.cell_weight[std::size_t(m)] > 0.0) sac.cell_weight[std::size_t(m)] /= index_sum;
  } else {
    // Without the index every channel cell counts alike.
    for (int m = 1; m <= cells; ++m)
      if (seen[std::size_t(m)]) sac.cell_weight[std::size_t(m)] = 1.0 / channel_cells;
  }

  double weight_sum = 0.0;
  bool refused = false;
  for_each_pair(chan, [&](std::size_t g, int link, int m) {
    chan.gst_sac_weight[g] = 0.0;
    if (refused || !takes(link, m)) return;
    const double w = chan.dx[std::size_t(link)] * chan.gst_pct[g] / length_sum *
                     sac.cell_weight[std::size_t(m)];
    refused = !(w > 0.0);
    chan.gst_sac_weight[g] = refused ? 0.0 : w;
    weight_sum += chan.gst_sac_weight[g];
  });
  if (refused) {
    stop_weights("Problem, gst_sac_weight <=0.0\n", "Program terminated\n");
    return;
  }

  double normal_sum = 0.0;
  for_each_pair(chan, [&](std::size_t g, int, int) {
    if (chan.gst_sac_weight[g] == 0.0) return;
    chan.gst_sac_weight[g] /= weight_sum;
    normal_sum += chan.gst_sac_weight[g];
  });
  msg_printf("Sac Weights: %lf\n", normal_sum);
  if (std::fabs(normal_sum - 1.0) > 1e-9)
    stop_weights("Problem, summation of the Sacramento weights is not equal to 1.0.\n",
                 "Program terminated.\n");
}
