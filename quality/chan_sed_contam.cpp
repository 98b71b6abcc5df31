// The partition and the upwind rule of the constituents attached to the
// channels' fine sediment.

#include "quality/chan_sed_contam.h"

#include <cstddef>

#include "channel/channel_state.h"
#include "quality/chan_wq_route.h"

namespace {

double lake_value(const channel_state& chan, const std::vector<double>& lake_conc, int link) {
  const int lake = chan.lake2link[std::size_t(link)];
  return lake >= 1 && std::size_t(lake) < lake_conc.size() ? lake_conc[std::size_t(lake)] : 0.0;
}

}  // namespace

bool partition_node(double kd, const double* density, const double* volume, int fines,
                    double water, sed_partition& split) {
  split.sed_conc.resize(std::size_t(fines) + 1, 0.0);
  split.attached.resize(std::size_t(fines) + 1, 0.0);
  if (!(water > 1e-16)) return false;
  // Kd is in L/kg: per g/m3 of sediment in the water it binds Kd / 1e6 of
  // the dissolved mass.
  double bound = 0.0;
  split.sed_conc[0] = 0.0;
  for (int k = 1; k <= fines; ++k) {
    split.sed_conc[std::size_t(k)] = density[k] * volume[k] / water;
    split.sed_conc[0] += split.sed_conc[std::size_t(k)];
    bound += kd / 1e6 * split.sed_conc[std::size_t(k)];
  }
  split.attached[0] = 0.0;
  for (int k = 1; k <= fines; ++k) {
    split.attached[std::size_t(k)] = kd / 1e6 * split.sed_conc[std::size_t(k)] / (bound + 1.0);
    split.attached[0] += split.attached[std::size_t(k)];
  }
  split.dissolved = 1.0 - split.attached[0];
  return true;
}

double attached_upwind(const channel_state& chan, const std::vector<double>& node_conc,
                       const std::vector<double>& lake_conc, int link, int node, double w) {
  const std::size_t here = std::size_t(chan.node_address(link, node));
  if (w >= 0.0) {
    if (wq_lake_link(chan, link)) return lake_value(chan, lake_conc, link);
    if (!wq_structure_link(chan, link)) return node_conc[here];
    const int up = chan.ndep[std::size_t(link)] >= 1 ? chan.upstream(link, 1) : 0;
    if (up == 0) return 0.0;
    if (wq_lake_link(chan, up)) return lake_value(chan, lake_conc, up);
    return node_conc[std::size_t(chan.node_address(up, chan.nx[std::size_t(up)]))];
  }
  if (node < chan.nx[std::size_t(link)])
    return node_conc[std::size_t(chan.node_address(link, node + 1))];
  // The last node in reverse flow: the lake below, across a structure if
  // one lies between, or the downstream link's first node.
  const int down = chan.dslink[std::size_t(link)];
  if (down == 0) return node_conc[here];
  if (wq_lake_link(chan, down)) return lake_value(chan, lake_conc, down);
  if (wq_structure_link(chan, down)) {
    const int below = chan.dslink[std::size_t(down)];
    if (below > 0 && wq_lake_link(chan, below)) return lake_value(chan, lake_conc, below);
  }
  return node_conc[std::size_t(chan.node_address(down, 1))];
}
