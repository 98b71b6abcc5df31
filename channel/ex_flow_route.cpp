// The explicit channel router: the sub-step loop around the node flows and
// node continuity. Per sub-step: check the nodes, cut the sub-step to the
// Courant limit, save the state, then one or two predictor-corrector passes;
// a pass that leaves a node below empty puts the state back and tries again
// at half the sub-step.
//
// One parallel region spans the whole call. Every thread runs the sub-step
// loop; the sub-step, the remaining time and the pass decisions are worked
// out by each thread from the same team-wide results, so the threads always
// agree on them without waiting for one another. Each thread takes the same
// links in every phase, and a phase holds all the per-link work that needs
// nothing from another link's nodes, so a sub-step of one pass has five
// barriers:
//
//   save, flows of the pass's start, restore, stop scan of the sweep of the
//     saved areas
//   | that sweep, predictor continuity, clamp, stop scan of the sweep of the
//     predicted areas
//   | that sweep, predictor flows (a link computes its downstream
//     neighbour's first node rather than read it), mean flows
//   | corrector continuity, area change, stop scans of the sweeps that may
//     follow
//   | clamp, the closing sweep, the checks and Courant number of the next
//     sub-step
//
// A sub-step takes some tens of microseconds on eight threads, so the team
// is sized by its links: a network takes another thread only for every
// routed_links_per_thread links, and a small one routes on the calling
// thread. Its
// phases are that short too, so the threads meet at the parallel layer's
// team barrier, which spins about a wake-up's time before it sleeps: the
// runtime's own barrier spins far less, and would put threads to sleep at
// nearly every phase.
//
// A network with structure links has two more: the links above a structure
// copy its flow, so before each of the two flow phases one thread works out
// every structure's flow (and calibrates the culverts) while the others wait.
// The first reads the stages the last sweep stored; the second reads the
// predicted stages as the coming sweep will store them, computed from the
// predicted areas. Channel lakes cost no barrier: their take and release of
// nodes runs before the region, on the calling thread, and their volume
// accounting after an accepted sub-step is thread 0's, in link order; no
// other thread reads the lake volumes.
//
// A run whose streams trade with the aquifer has two more: at the start of
// each sub-step one thread works out the exchange from the stages the last
// sweep stored, and after an accepted one one thread gives its exchange to
// the cells beneath in their order, so the books add alike on any team.
//
// A cross-section sweep that would stop is known from its scan before any
// node of it is written, so the nodes before the stop are worked and the
// call leaves its state exactly as a walk in link and node order would. All
// reports are made after the region.

#include "channel/ex_flow_route.h"

#include <omp.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>

#include "channel/chan_lake_nodes.h"
#include "channel/channel_state.h"
#include "channel/ex_section.h"
#include "core/error_state.h"
#include "core/parallel_team.h"
#include "input/read_grid_inputs.h"
#include "input/series.h"

namespace {

constexpr double min_substep = 0.001;    // s; below it the step cannot be routed
constexpr double absorbed_rest = 0.001;  // s; a rest this short joins the sub-step before it
constexpr double repeat_change = 0.01;   // m2; a larger area change earns a second pass
constexpr double failing_area = -1e-8;   // m2; a corrected area below it halves the sub-step
constexpr double wet_area = 1e-16;       // m2; drier nodes have no Courant number
// The node flows follow Q = conv sqrt(S), S the water-surface slope over the
// spacing L to the next node, and the continuity of a node of spacing dx and
// width B moves its level by dt / (B dx) of the flows' difference; so a
// flow's share of its node's level, dt / (B dx) dQ/d(level), is
// dt Q / (2 B S dx L): the diffusion number K dt / dx^2 of the diffusive
// wave, K = Q / (2 B S). The predictor-corrector of one pass holds a wave
// with kinematic Courant number Ck as long as D + Ck / 2 <= 0.5, and Ck is
// at most 5/3 of the velocity Courant number, which the Courant limit bounds
// (0.2 by default): half of the bound leaves the room for it.
constexpr double diffusion_limit = 0.25;
// S only enters through Q / S = conv^2 / Q, unbounded as the surface levels
// out; the slope is not taken below this, so a pool whose flow has died
// away is not cut to nothing, and a wobble of its surface still is once it
// tilts a node by more.
constexpr double flattest_slope = 1e-4;

// The threads' partial results live in a fixed array on the caller's stack,
// so that no call allocates; larger teams route with this many threads.
constexpr int max_team = 256;

// A thread's share of the links is cut into this many chunks, dealt out in
// turn. The wet links of a network are often numbered together, and a
// thread holding only dry ones would wait at every barrier; but a link's
// nodes fill under three cache lines of each array, so where one thread's
// chunk meets another's, both write one line. Four chunks a thread share
// out a network wet over a quarter, a half or three quarters of its
// numbering evenly, at few such meetings.
constexpr int chunks_per_thread = 4;

// The chunk of links that cuts the network into at most chunks_per_thread
// chunks a thread: rounded down, the chunks would number a few more, and the
// first threads would take one more than the others in every phase.
int chunk_of(int links, int team) {
  const int chunks = team * chunks_per_thread;
  return std::max(1, (links + chunks - 1) / chunks);
}

bool failure_raised() { return error_state.stop_flag != 0; }

bool work_arrays_ready(channel_state& chan, const route_settings& set) {
  const std::size_t slots = chan.node_slots();
  if (chan.channel_lakes && chan.status_node.size() != slots &&
      !allocate_zeroed(chan.status_node, slots, "status_node"))
    return false;
  if (set.exchange && chan.rt_qriv_old.size() != slots &&
      !allocate_zeroed(chan.rt_qriv_old, slots, "qriv_old"))
    return false;
  if (chan.rt_area_old.size() == slots) return true;
  return allocate_zeroed(chan.rt_area_old, slots, "area_old") &&
         allocate_zeroed(chan.rt_qp_old, slots, "qp_old") &&
         allocate_zeroed(chan.rt_area_iter, slots, "area_iter") &&
         allocate_zeroed(chan.rt_qp_last, slots, "qp_last") &&
         allocate_zeroed(chan.rt_qp_iter, slots, "qp_iter") &&
         allocate_zeroed(chan.rt_source_q, slots, "source_q");
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

// One thread's partial results of a phase, on a cache line of its own. Each
// field is written by one phase only, and read by every thread right after
// that phase's barrier; another phase (and its barrier) always comes between
// two phases that write the same field.
struct alignas(64) partials {
  int bad;        // address of the first node failing the sub-step checks
  double cmax;    // largest Courant number
  int stop_a;     // stops of the sweeps: predictor start, predictor,
  int stop_b;     //   second pass start, closing sweep, retry
  int stop_c;
  int stop_d;
  int stop_r;
  double change;  // largest |corrected - predicted| area, m2
  int dry;        // a corrected area fell below failing_area
};

// How the call ended.
enum class ending {
  routed,
  bad_node,
  tiny_substep,
  outlet_rises,
  section_stop,
  structure_failure,
  exchange_stop
};

struct outcome {
  ending end = ending::routed;
  int address = INT_MAX;        // the bad node or the sweep's stop
  double* swept = nullptr;      // the area array of the stopped sweep
  long long substeps = 0;
  double outlet_volume = 0.0;   // m3
  double source_volume = 0.0;   // m3
  double last_substep = 0.0;    // s
  int exchange_result = 0;      // of the last sub-step's exchange
};

class router {
 public:
  router(channel_state& chan, const route_settings& set, double dt, double source_rate,
         partials* slots, int team)
      : chan_(chan),
        set_(set),
        dt_(dt),
        source_rate_(source_rate),
        slots_(slots),
        links_(chan.links),
        chunk_(chunk_of(chan.links, team)),
        outlet_(std::size_t(
            chan.node_address(chan.links, chan.links > 0 ? chan.nx[chan.links] : 0))),
        rises_(outlet_rises(chan, set)),
        structures_(has_structures(chan)),
        lakes_(chan.channel_lakes != 0),
        exchange_(set.exchange),
        area_(chan.area.data()),
        qp_(chan.qp.data()),
        area_old_(chan.rt_area_old.data()),
        qp_old_(chan.rt_qp_old.data()),
        iter_(chan.rt_area_iter.data()),
        last_(chan.rt_qp_last.data()),
        next_(chan.rt_qp_iter.data()),
        qriv_(set.exchange ? chan.qriv.data() : nullptr),
        qriv_old_(set.exchange ? chan.rt_qriv_old.data() : nullptr) {}

  // Run by every thread of the team; thread 0 leaves the outcome.
  void run();
  const outcome& result() const { return result_; }

 private:
  // The nodes of a link, as addresses [first, end).
  int first_node(int link) const { return chan_.node_address(link, 1); }
  int end_node(int link) const { return first_node(link) + std::max(chan_.nx[link], 0); }

  partials& mine() { return slots_[omp_get_thread_num()]; }
  int team() const { return omp_get_num_threads(); }
  // Every thread of the team waits here for the others.
  void meet() { barrier_.arrive_and_wait(team()); }
  template <class Field, class Combine, class T>
  T combined(Field field, Combine combine, T start) const {
    T all = start;
    for (int t = 0; t < team(); ++t) all = combine(all, slots_[t].*field);
    return all;
  }
  int first_stop(int partials::*field) const {
    return combined(field, [](int a, int b) { return std::min(a, b); }, section_no_stop);
  }

  void check_link(int link, double substep, int& bad, double& cmax) const;
  void check_nodes(double substep, int& bad, double& cmax);
  void save(bool first_ever);
  bool exchange_rates(int& result);
  void book_exchange(double substep);
  bool structure_phase(double* flow, const double* level_area, double substep);
  int start_pass(bool with_save, bool first_ever);
  int predict(double substep);
  void mean_flows();
  void correct(double substep, double& change, bool& too_dry, int& stop_c, int& stop_d);
  void sweep(double* area, int stop);
  void stop_predictor_sweep(int stop);
  void sweep_and_wait(double* area);
  int restore_for_retry();
  void close_substep(double substep, int stop, bool with_checks, int& bad, double& cmax);
  void add_passed_volumes(double substep);
  void add_passed_water(double substep);

  channel_state& chan_;
  const route_settings& set_;
  const double dt_;
  const double source_rate_;
  partials* const slots_;
  const int links_;
  const int chunk_;
  const std::size_t outlet_;
  const bool rises_;
  const bool structures_;
  const bool lakes_;
  substep_exchange* const exchange_;
  bool structures_ok_ = true;  // written by the thread of a structure phase, read by all after it
  int exchange_result_ = 0;    // written by the thread of an exchange phase, read by all after it
  double* const area_;
  double* const qp_;
  double* const area_old_;
  double* const qp_old_;
  double* const iter_;
  double* const last_;
  double* const next_;
  double* const qriv_;      // null without an exchange
  double* const qriv_old_;
  team_barrier barrier_;
  outcome result_;
};

// The first bad node (area not a number, or stage below the bed) and the
// largest Courant number of a routed link. A node whose diffusion number is
// the stricter bound counts with that number scaled to the Courant limit, so
// that one cut of the sub-step keeps both.
void router::check_link(int link, double substep, int& bad, double& cmax) const {
  if (!chan_.is_routed(link)) return;
  const double* area = area_;
  const double* qp = qp_;
  const double* yp = chan_.yp.data();
  const double* bel = chan_.bel.data();
  const double* conv = chan_.conv.data();
  const double* depth = chan_.chan_depth.data();
  const int first = first_node(link), end = first + chan_.nx[link];
  for (int a = first; a < end; ++a) {
    if (std::isnan(area[a]) || yp[a] - bel[a] < 0.0) {
      bad = std::min(bad, a);
      break;
    }
  }
  const double dx = chan_.dx[link];
  const double ratio = substep / dx;
  // The last node's flow is diffusive only into a channel-shaped link, over
  // the mean of the two spacings; the outlet's runs on the bed slope.
  const int down = flow_downstream(chan_, link);
  const int last = end - 1;
  const double last_spacing = down > 0 ? 0.5 * (dx + chan_.dx[down]) : 0.0;
  const double spread = substep * set_.courant_limit / diffusion_limit / dx;
  double largest = cmax;
  for (int a = first; a < end; ++a) {
    if (!(area[a] > wet_area)) continue;
    const double q = std::fabs(qp[a]);
    // Reverse flow moves water just as fast, so it is limited alike.
    largest = std::max(largest, ratio * (q / area[a]));
    if (a == last && down == 0) continue;
    // A reverse flow takes the conveyance of the node below; the last
    // node's lies in the next link, and its reverse flow is left to the
    // Courant limit.
    const bool reverse = qp[a] < 0.0;
    if (reverse && a == last) continue;
    const double k = conv[reverse ? a + 1 : a];
    // The sweeps from area keep no top width; the mean width A / h is the
    // top width of a rectangle and narrower for a sloping bank, which errs
    // towards the shorter sub-step.
    if (!(q > 0.0) || !(k > 0.0) || !(depth[a] > 0.0)) continue;
    const double width = area[a] / depth[a];
    const double s = std::max((q / k) * (q / k), flattest_slope);
    const double spacing = a == last ? last_spacing : dx;
    largest = std::max(largest, spread * q / (2.0 * width * s * spacing));
  }
  cmax = largest;
}

void router::check_nodes(double substep, int& bad, double& cmax) {
  int my_bad = INT_MAX;
  double my_cmax = 0.0;
#pragma omp for schedule(static, chunk_) nowait
  for (int i = 1; i <= links_; ++i) check_link(i, substep, my_bad, my_cmax);
  mine().bad = my_bad;
  mine().cmax = my_cmax;
  meet();
  bad = combined(&partials::bad, [](int a, int b) { return std::min(a, b); }, INT_MAX);
  cmax = combined(&partials::cmax, [](double a, double b) { return std::max(a, b); }, 0.0);
}

// The state at the start of the sub-step, kept as the call ends; the end of
// the region waits for it.
void router::save(bool first_ever) {
#pragma omp for schedule(static, chunk_) nowait
  for (int i = 1; i <= links_; ++i) {
    if (!chan_.is_routed(i)) continue;
    for (int a = first_node(i), end = end_node(i); a < end; ++a) {
      area_old_[a] = area_[a];
      qp_old_[a] = qp_[a];
      if (first_ever) last_[a] = next_[a] = qp_[a];
    }
    if (qriv_) std::copy(qriv_ + first_node(i), qriv_ + end_node(i), qriv_old_ + first_node(i));
  }
}

// The exchange of the sub-step from the stages the last sweep stored, on one
// thread, the others waiting at the end: every link's continuity reads it.
// False after a stop.
bool router::exchange_rates(int& result) {
  if (omp_get_thread_num() == 0) exchange_result_ = exchange_->rates();
  meet();
  result = exchange_result_;
  return result >= 0;
}

// The accepted sub-step's exchange to the cells beneath, in their order on
// one thread, the others waiting at the end: the next sub-step's rates
// replace qriv.
void router::book_exchange(double substep) {
  if (omp_get_thread_num() == 0) exchange_->book(qriv_old_, substep);
  meet();
}

// Every structure's flow into flow, on one thread, the others waiting at the
// end: the links of the coming flow phase copy it. Stages from level_area
// as node_level reads them. Whether the structures worked.
bool router::structure_phase(double* flow, const double* level_area, double substep) {
  if (omp_get_thread_num() == 0)
    structures_ok_ = structure_link_flows(chan_, set_, flow, level_area, substep);
  meet();
  return structures_ok_;
}

// (The sub-step's save,) the flows of the current geometry into qp_last, the
// areas put back to the saved ones, and the stop of the predictor's first
// sweep. With the outlet stop pending only the flows are made, as the walk
// stops right after them.
int router::start_pass(bool with_save, bool first_ever) {
  const double* depth = chan_.chan_depth.data();
  const double* conv = chan_.conv.data();
  int stop = section_no_stop;
#pragma omp for schedule(static, chunk_) nowait
  for (int i = 1; i <= links_; ++i) {
    const bool routed = chan_.is_routed(i);
    if (routed && with_save) {
      for (int a = first_node(i), end = end_node(i); a < end; ++a) {
        area_old_[a] = area_[a];
        qp_old_[a] = qp_[a];
        if (first_ever) last_[a] = next_[a] = qp_[a];
      }
      if (qriv_) std::copy(qriv_ + first_node(i), qriv_ + end_node(i), qriv_old_ + first_node(i));
    }
    const int d = flow_downstream(chan_, i);
    const int b = d > 0 ? first_node(d) : 0;
    link_flows(chan_, i, last_, d > 0 ? depth[b] : 0.0, d > 0 ? conv[b] : 0.0);
    if (i == links_) outlet_flow(chan_, set_, last_);
    if (rises_) continue;
    if (routed) {
      for (int a = first_node(i), end = end_node(i); a < end; ++a)
        area_[a] = iter_[a] = area_old_[a];
      if (qriv_) std::copy(qriv_old_ + first_node(i), qriv_old_ + end_node(i), qriv_ + first_node(i));
    }
    stop = std::min(stop, section_link_stop(chan_, iter_, section_mode::from_area, i));
  }
  mine().stop_a = stop;
  meet();
  return first_stop(&partials::stop_a);
}

// The predictor: the sweep of the saved areas, continuity with the flows of
// the pass's start, negative areas cleared; returns the stop of the sweep of
// the predicted areas. That second sweep replaces every depth, stage and
// conveyance the first one stores before anything reads them, so the first
// one is only made for its other effects; should the second one stop, the
// nodes from its stop on are given the first one's properties then.
int router::predict(double substep) {
  int stop = section_no_stop;
#pragma omp for schedule(static, chunk_) nowait
  for (int i = 1; i <= links_; ++i) {
    section_link_effects(chan_, iter_, i, section_no_stop);
    if (chan_.is_routed(i)) {
      link_continuity(chan_, set_, i, last_, iter_, substep);
      for (int a = first_node(i), end = end_node(i); a < end; ++a)
        if (iter_[a] < 0.0) iter_[a] = 0.0;
    }
    // The routed links' predicted areas are 0 or more by now.
    stop = std::min(stop, section_link_stop(chan_, iter_, section_mode::from_area, i,
                                            chan_.is_routed(i)));
  }
  mine().stop_b = stop;
  meet();
  return first_stop(&partials::stop_b);
}

// The sweep of the predicted areas, their flows and the mean of the two
// flows, on the routed links and the structures. A link's last node needs
// its downstream link's first node from this sweep, which another thread may
// be storing: it computes it for itself.
void router::mean_flows() {
#pragma omp for schedule(static, chunk_) nowait
  for (int i = 1; i <= links_; ++i) {
    section_link(chan_, iter_, section_mode::from_area, i, section_no_stop);
    const int d = flow_downstream(chan_, i);
    section_depth_conv down{0.0, 0.0};
    if (d > 0) down = section_from_area(chan_, iter_, d, first_node(d));
    link_flows(chan_, i, next_, down.depth, down.conv);
    if (i == links_) outlet_flow(chan_, set_, next_);
    if (!chan_.is_routed(i) && !(chan_.ltype[i] & link_bit::structure)) continue;
    for (int a = first_node(i), end = end_node(i); a < end; ++a)
      qp_[a] = 0.5 * (last_[a] + next_[a]);
    // The corrector cuts the losses afresh from the sub-step's rates.
    if (qriv_ && chan_.is_routed(i))
      std::copy(qriv_old_ + first_node(i), qriv_old_ + end_node(i), qriv_ + first_node(i));
  }
  meet();
}

// The corrector: continuity with the mean flows, the largest area change,
// whether a node fell dry, and the stops of the sweeps that may follow: of
// the corrected areas as they stand (a second pass) and with the negative
// areas of routed links cleared (the closing sweep).
void router::correct(double substep, double& change, bool& too_dry, int& stop_c, int& stop_d) {
  double largest = 0.0;
  int dry = 0;
  int stop_as_is = section_no_stop, stop_cleared = section_no_stop;
#pragma omp for schedule(static, chunk_) nowait
  for (int i = 1; i <= links_; ++i) {
    const bool routed = chan_.is_routed(i);
    if (routed) {
      link_continuity(chan_, set_, i, qp_, area_, substep);
      for (int a = first_node(i), end = end_node(i); a < end; ++a) {
        largest = std::max(largest, std::fabs(area_[a] - iter_[a]));
        if (area_[a] < failing_area) dry = 1;
      }
    }
    stop_as_is = std::min(stop_as_is, section_link_stop(chan_, area_, section_mode::from_area, i));
    stop_cleared = std::min(
        stop_cleared, section_link_stop(chan_, area_, section_mode::from_area, i, routed));
  }
  partials& p = mine();
  p.change = largest;
  p.dry = dry;
  p.stop_c = stop_as_is;
  p.stop_d = stop_cleared;
  meet();
  change = combined(&partials::change, [](double a, double b) { return std::max(a, b); }, 0.0);
  too_dry = combined(&partials::dry, [](int a, int b) { return a | b; }, 0) != 0;
  stop_c = first_stop(&partials::stop_c);
  stop_d = first_stop(&partials::stop_d);
}

// A sweep from area of the nodes below stop, with no barrier after it (the
// call ends at once, or the caller waits).
void router::sweep(double* area, int stop) {
#pragma omp for schedule(static, chunk_) nowait
  for (int i = 1; i <= links_; ++i) section_link(chan_, area, section_mode::from_area, i, stop);
}

// The sweep of the predicted areas up to its stop, and the nodes from the
// stop on as the sweep of the saved areas left them: that sweep read the
// saved areas on the routed links and the predictor's areas elsewhere.
void router::stop_predictor_sweep(int stop) {
#pragma omp for schedule(static, chunk_) nowait
  for (int i = 1; i <= links_; ++i) {
    section_link(chan_, iter_, section_mode::from_area, i, stop);
    section_link_properties(chan_, chan_.is_routed(i) ? area_old_ : iter_, i, stop);
  }
}

void router::sweep_and_wait(double* area) {
  sweep(area, section_no_stop);
  meet();
}

// The saved state back for a retry at half the sub-step; returns the stop of
// the sweep that follows.
int router::restore_for_retry() {
  int stop = section_no_stop;
#pragma omp for schedule(static, chunk_) nowait
  for (int i = 1; i <= links_; ++i) {
    if (chan_.is_routed(i)) {
      for (int a = first_node(i), end = end_node(i); a < end; ++a) {
        area_[a] = area_old_[a];
        qp_[a] = last_[a] = next_[a] = qp_old_[a];
      }
      if (qriv_) std::copy(qriv_old_ + first_node(i), qriv_old_ + end_node(i), qriv_ + first_node(i));
    }
    stop = std::min(stop, section_link_stop(chan_, area_, section_mode::from_area, i));
  }
  mine().stop_r = stop;
  meet();
  return first_stop(&partials::stop_r);
}

// The accepted sub-step: negative areas cleared and the closing sweep up to
// its stop; when it does not stop, also the checks of the next sub-step.
void router::close_substep(double substep, int stop, bool with_checks, int& bad, double& cmax) {
  int my_bad = INT_MAX;
  double my_cmax = 0.0;
#pragma omp for schedule(static, chunk_) nowait
  for (int i = 1; i <= links_; ++i) {
    if (chan_.is_routed(i)) {
      for (int a = first_node(i), end = end_node(i); a < end; ++a)
        if (area_[a] < 0.0) area_[a] = 0.0;
    }
    section_link(chan_, area_, section_mode::from_area, i, stop);
    if (with_checks) check_link(i, substep, my_bad, my_cmax);
  }
  if (!with_checks) return;
  mine().bad = my_bad;
  mine().cmax = my_cmax;
  meet();
  bad = combined(&partials::bad, [](int a, int b) { return std::min(a, b); }, INT_MAX);
  cmax = combined(&partials::cmax, [](double a, double b) { return std::max(a, b); }, 0.0);
}

// The water each node passed on in the accepted sub-step, for the channel
// sediment. Each thread takes the links whose mean flows it set, and the
// next writer of those flows is that thread again, so no barrier is needed.
void router::add_passed_volumes(double substep) {
  double* passed = chan_.qp_vol_sed.data();
#pragma omp for schedule(static, chunk_) nowait
  for (int i = 1; i <= links_; ++i) {
    if (chan_.ltype[i] & link_bit::lake) continue;
    if ((chan_.ltype[i] & link_bit::shaped) && (chan_.ltype[i] & link_bit::overtaken)) continue;
    for (int a = first_node(i), end = end_node(i); a < end; ++a) passed[a] += qp_[a] * substep;
  }
}

// The water each node passed on in the accepted sub-step, for the channel
// constituents. A lake link passes its outflow at its last node only.
void router::add_passed_water(double substep) {
  double* passed = chan_.qp_vol.data();
#pragma omp for schedule(static, chunk_) nowait
  for (int i = 1; i <= links_; ++i) {
    if (chan_.ltype[i] & link_bit::lake) {
      const int a = chan_.node_address(i, chan_.nx[i]);
      passed[a] += qp_[a] * substep;
      continue;
    }
    if ((chan_.ltype[i] & link_bit::shaped) && (chan_.ltype[i] & link_bit::overtaken)) continue;
    for (int a = first_node(i), end = end_node(i); a < end; ++a) passed[a] += qp_[a] * substep;
  }
}

void router::run() {
  outcome out;
  out.substeps = chan_.substeps;
  out.last_substep = chan_.last_substep;
  double remaining = dt_;  // s
  double substep = dt_;    // s; only shrinks within the call
  int bad = INT_MAX;
  double cmax = 0.0;
  check_nodes(substep, bad, cmax);

  while (remaining > 1e-16) {
    if (bad != INT_MAX) {
      out.end = ending::bad_node;
      out.address = bad;
      break;
    }
    if (cmax >= set_.courant_limit) substep /= static_cast<int>(cmax / set_.courant_limit + 1.0);
    if (exchange_ && !exchange_rates(out.exchange_result)) {
      out.end = ending::exchange_stop;
      break;
    }
    const bool first_ever = out.substeps == 0;
    bool saved = false;
    ++out.substeps;

    for (;;) {
      if (substep < min_substep) {
        if (!saved) save(first_ever);
        out.end = ending::tiny_substep;
        break;
      }
      remaining -= substep;
      if (remaining <= absorbed_rest) {
        substep += remaining;
        remaining = 0.0;
      }

      double change = 0.0;
      bool too_dry = false;
      int stop_c = section_no_stop;
      int stop_d = section_no_stop;
      for (int pass = 0; pass < 2 && (pass == 0 || change > repeat_change); ++pass) {
        if (pass > 0) {
          if (stop_c != section_no_stop) {
            sweep(area_, stop_c);
            out.end = ending::section_stop;
            out.address = stop_c;
            out.swept = area_;
            break;
          }
          sweep_and_wait(area_);
        }
        if (structures_ && !structure_phase(last_, nullptr, substep)) {
          if (!saved) save(first_ever);
          out.end = ending::structure_failure;
          break;
        }
        const int stop_a = start_pass(!saved, first_ever);
        saved = true;
        if (rises_) {
          out.end = ending::outlet_rises;
          break;
        }
        if (stop_a != section_no_stop) {
          sweep(iter_, stop_a);
          out.end = ending::section_stop;
          out.address = stop_a;
          out.swept = iter_;
          break;
        }
        const int stop_b = predict(substep);
        if (stop_b != section_no_stop) {
          stop_predictor_sweep(stop_b);
          out.end = ending::section_stop;
          out.address = stop_b;
          out.swept = iter_;
          break;
        }
        if (structures_ && !structure_phase(next_, iter_, substep)) {
          out.end = ending::structure_failure;
          break;
        }
        mean_flows();
        correct(substep, change, too_dry, stop_c, stop_d);
        if (too_dry) break;
      }
      if (out.end != ending::routed) break;

      if (!too_dry) {
        const bool stops = stop_d != section_no_stop;
        close_substep(substep, stop_d, !stops && remaining > 1e-16, bad, cmax);
        if (stops) {
          out.end = ending::section_stop;
          out.address = stop_d;
          out.swept = area_;
          break;
        }
        if (exchange_) book_exchange(substep);
        if (set_.sediment_volumes) add_passed_volumes(substep);
        if (set_.water_volumes) add_passed_water(substep);
        out.outlet_volume += substep * qp_[outlet_];
        out.source_volume += substep * source_rate_;
        if (lakes_ && omp_get_thread_num() == 0) account_lake_flows(chan_, qp_, substep);
        if (set_.location_volumes && omp_get_thread_num() == 0) {
          for (int k = 1; k <= chan_.hyd_locations; ++k)
            chan_.hyd_loc_volume[k] +=
                qp_[chan_.node_address(chan_.hyd_loc_link[k], chan_.hyd_loc_node[k])] * substep;
        }
        out.last_substep = substep;
        break;
      }

      remaining += substep;
      substep *= 0.5;
      const int stop_r = restore_for_retry();
      if (stop_r != section_no_stop) {
        sweep(area_, stop_r);
        out.end = ending::section_stop;
        out.address = stop_r;
        out.swept = area_;
        break;
      }
      sweep_and_wait(area_);
    }
    if (out.end != ending::routed) break;
  }
  if (omp_get_thread_num() == 0) result_ = out;
  // The threads leave together, so that none waits at the region's end in
  // the runtime's barrier long enough to fall asleep there.
  meet();
}

}  // namespace

int ex_flow_route(channel_state& chan, const route_settings& settings, double dt) {
  if (error_state.code == own_message_code) return -1;
  if (!work_arrays_ready(chan, settings)) return -1;
  if (settings.location_volumes &&
      chan.hyd_loc_volume.size() != std::size_t(chan.hyd_locations) + 1 &&
      !allocate_zeroed(chan.hyd_loc_volume, std::size_t(chan.hyd_locations) + 1, "hyd_loc_volume"))
    return -1;
  chan.step_outlet_volume = 0.0;
  chan.step_point_source_volume = 0.0;

  // The constituents' lakes interpolate their volumes over the step.
  if (chan.channel_lakes && settings.water_volumes) chan.lake_volume_last_chan = chan.lake_volume;
  // The lakes change which nodes are routed, so they go first.
  if (chan.channel_lakes && !update_lake_nodes(chan)) return -1;

  route_settings set = settings;
  set.qriv = set.exchange ? chan.qriv.data() : nullptr;
  double source_rate = 0.0;  // m3/s
  set.source_q = gather_sources(chan, set, source_rate);
  if (failure_raised()) return -1;

  const int team = std::min(chan.route_team(), max_team);
  partials slots[max_team];
  router r(chan, set, dt, source_rate, slots, team);
#pragma omp parallel num_threads(team) if (team > 1)
  r.run();

  const outcome& out = r.result();
  chan.substeps = out.substeps;
  chan.step_outlet_volume = out.outlet_volume;
  chan.step_point_source_volume = out.source_volume;
  chan.last_substep = out.last_substep;
  switch (out.end) {
    case ending::routed:
      return out.exchange_result;
    case ending::bad_node:
      return report_bad_node(chan, out.address);
    case ending::tiny_substep:
      raise_message(
          "The channel routing time step is getting really small\n"
          "less than 1/1000 of a second\n"
          "Reduce the model time step by a factor of 2 and try again.\n"
          "Program stopped.\n");
      return -1;
    case ending::outlet_rises:
      report_outlet_rise();
      return -1;
    case ending::section_stop:
      section_report_stop(chan, out.swept, section_mode::from_area, out.address);
      return -1;
    case ending::structure_failure:
    case ending::exchange_stop:
      return -1;  // reported as it failed
  }
  return -1;
}
