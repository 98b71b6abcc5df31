// Channel sediment speed: one call of the sand routine and one of the
// suspended-fines routine on 500 erodible trapezoid links of 50 nodes in a
// binary tree draining to the last link, with two fine and two sand classes, water
// 0.5 m deep at 1.5 m3/s everywhere and 90 m3 passed across each face.
// Prints node-class updates per second of each (the best of a few calls) and
// the volume of fines and sand held, which must not change from call to
// call by more than what left through the outlet.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

#include "bench_support.h"
#include "channel/channel_state.h"
#include "core/parallel_context.h"
#include "run/model_state.h"
#include "quality/chan_sediment.h"
#include "quality/sediment_kernels.h"

namespace {

constexpr int links = 500;
constexpr int nodes = 50;
constexpr int repetitions = 5;

void build(model_state& s) {
  channel_state& c = s.channel;
  c.links = links;
  c.max_nodes = nodes + 1;
  c.max_dep = 2;
  const std::size_t per_link = std::size_t(links) + 1;
  for (std::vector<int>* v :
       {&c.ltype, &c.ldex, &c.ndep, &c.dslink, &c.nx1, &c.nx, &c.og_nx1, &c.lake2link})
    v->assign(per_link, 0);
  c.dx.assign(per_link, 100.0);
  c.uslinks.assign(per_link * 3, 0);
  const std::size_t slots = c.node_slots();
  for (std::vector<double>* v : {&c.bel, &c.yp, &c.qp, &c.area, &c.chan_depth, &c.bottom, &c.sslope,
                                 &c.max_eros, &c.qp_vol_sed})
    v->assign(slots, 0.0);
  for (int l = 1; l <= links; ++l) {
    c.ltype[l] = link_bit::trapezoid | link_bit::erodible;
    c.ldex[l] = l;
    c.nx[l] = c.og_nx1[l] = nodes;
    c.nx1[l] = nodes + 1;
    // Tree link k (1 the outlet) drains into k / 2; the outlet is the last link.
    const int k = links + 1 - l;
    c.dslink[l] = k / 2 > 0 ? links + 1 - k / 2 : 0;
    if (c.dslink[l] > 0) {
      const int d = c.dslink[l];
      c.uslinks[std::size_t(d) * 3 + std::size_t(++c.ndep[d])] = l;
    }
    for (int j = 1; j <= nodes; ++j) {
      const int a = c.node_address(l, j);
      c.bel[a] = 100.0 + 0.1 * k - 0.2 * j;
      c.chan_depth[a] = 0.5;
      c.yp[a] = c.bel[a] + 0.5;
      c.qp[a] = 1.5;
      c.area[a] = 1.25;
      c.bottom[a] = 2.0;
      c.sslope[a] = 1.0;
      c.max_eros[a] = 0.5;
      c.qp_vol_sed[a] = 90.0;
    }
  }
  s.grid.dx = 100.0;
  s.input.chan_sed_routing = 1;
  sediment_state& sed = s.quality.sediment;
  sed.on = 1;
  sed.mode = 1;
  sed.classes = 4;
  sed.sand_size = 0.5;
  sed.water_temp = 20.0;
  sed.sed_porosity = 0.4;
  sed.viscosity = water_viscosity(20.0);
  sed.spec_grav = {0.0, 2.65, 2.65, 2.65, 2.65};
  sed.part_diam = {0.0, 0.002, 0.03, 0.5, 1.0};
  setup_sediment_classes(sed);
  alloc_channel_sediment_arrays(s);
  chan_sediment_state& cs = s.quality.chan_sediment;
  for (int l = 1; l <= links; ++l)
    for (int j = 1; j <= nodes; ++j)
      for (int m = 1; m <= cs.fine; ++m) cs.ch_wash_vol[cs.fin(c.node_address(l, j), m)] = 0.125;
}

template <class F>
double best_seconds(F&& call) {
  double best = 1e30;
  for (int r = 0; r < repetitions; ++r) {
    const auto t0 = std::chrono::steady_clock::now();
    call();
    const auto t1 = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
  }
  return best;
}

}  // namespace

int main(int, char** argv) {
  settle_thread_waits(argv);
  auto s = std::make_unique<model_state>();
  build(*s);
  chan_sediment_state& cs = s->quality.chan_sediment;
  const double updates = double(links) * nodes * s->quality.sediment.classes;
  const double sand =
      best_seconds([&] { chan_sed_transport(s->channel, s->quality.sediment, cs, 60.0); });
  const double fines = best_seconds(
      [&] { chan_suspended_sed_transport(s->channel, s->quality.sediment, cs, 60.0); });
  std::printf("chan_sed_transport:           %10.3e node-class updates/s (%.3f ms a call)\n",
              updates / sand, sand * 1e3);
  std::printf("chan_suspended_sed_transport: %10.3e node-class updates/s (%.3f ms a call)\n",
              updates / fines, fines * 1e3);
  bench::table_row("channel sand transport", updates / sand, "node-class updates/s", "memory bandwidth");
  bench::table_row("channel suspended fines", updates / fines, "node-class updates/s",
                   "memory bandwidth");
  const double held = cs.sand_in_channels() + cs.sand_outlet;
  const double washed = cs.wash_in_channels() + cs.wash_outlet;
  std::printf("sand held + out: %.9f m3 (start %.9f), fines held + out: %.9f m3 (start %.9f)\n",
              held, cs.sand_initial, washed, 0.125 * 2 * links * nodes);
  return 0;
}
