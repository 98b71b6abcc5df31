// Inlet and tile-drain inflows. The grate relations are the customary ones
// in feet and cubic feet per second, converted at the ends.

#include "subsurface/superlink_inlets.h"

#include <cmath>
#include <cstdio>

#include "core/error_state.h"

double grate_inflow(int grates, double side, double dia, double depth, double w, double dt) {
  if (!(depth > 1e-8) || grates < 1) return 0.0;
  const double h_ft = 3.28 * depth;
  const double weir = 3.0 * (3.0 * side * 3.28) * std::pow(h_ft, 1.5);
  const double orifice = 0.67 * (0.785 * dia * dia * 10.764) * std::sqrt(64.4 * h_ft);
  double cfs;
  if (h_ft <= 0.4)
    cfs = weir;
  else if (h_ft >= 1.0)
    cfs = orifice;
  else
    cfs = weir < orifice ? weir : orifice;
  const double q = cfs * 0.02832 * grates;
  const double held = w * w * depth / dt;  // all the cell holds over the interval
  return q < held ? q : held;
}

double tile_equivalent_depth(int drainmod, double d, double spacing, double dia) {
  const double l = spacing;
  if (drainmod == 1) {
    const double r = dia * 0.5;
    if (d / l >= 0.3) return l * 3.14 / (8.0 * (std::log(l / r) - 1.15));
    const double a = 3.55 - 1.6 * d / l + 2.0 * (d / l) * (d / l);
    return d / (1.0 + (d / l) * (2.5477707006369426 * std::log(d / r) - a));
  }
  const double h = l * 0.5;
  const double x = 6.28 * d / h;
  double sum = std::log(h / (dia * 3.14 * 0.5));
  for (double f : {2.0, 6.0, 10.0}) {
    const double e = std::exp(-f * x);
    sum += 4.0 * e / (1.0 - e);
  }
  return h * 3.14 * 0.125 / sum;
}

double tile_inflow(int drainmod, double de, double m, double k, double spacing, double dia,
                   double share, double length) {
  if (drainmod == 1)
    return (8.0 * k * de * m + 4.0 * k * m * m) / (spacing * spacing) * (dia * 3.14 / 3600.0) *
           share * length;
  const double h = spacing * 0.5;
  return ((2.0 * m * de + m * m) * (k / h) * 2.0 / 3600.0) * share * length;
}

namespace {

// One grid-pipe entry seen from its cell.
struct tile_entry {
  int link = 0, node = 0, cell = 0;
  int n1 = 0, n2 = 0, pipe = 0;  // computational end nodes, computational pipe
  double burial = 0.0;           // mean depth of the pipe's inverts below ground, m
  double water = 0.0;            // the pipe's water surface, m
};

tile_entry entry_of(const superlink_network& net, const superlink_links& links,
                    const tile_grid& g, int c, int e) {
  tile_entry t;
  t.link = net.gpi_link(c, e);
  t.node = net.gpi_node(c, e);
  t.cell = net.gpi_gnum(c, e);
  t.n1 = net.otc_node(t.node, t.link);
  t.n2 = net.otc_node(t.node + 1, t.link);
  t.pipe = net.otc_pipe(t.node, t.link);
  auto ground_at = [&](int n) {
    const int cell = links.superlink_node_gnum.empty() ? 0 : links.superlink_node_gnum(n, t.link);
    return cell > 0 ? (*g.ground)[std::size_t(cell)] : net.node_ground_elev(n, t.link);
  };
  t.burial = ((ground_at(t.n1) - net.slink_node_Zinv(t.n1, t.link)) +
              (ground_at(t.n2) - net.slink_node_Zinv(t.n2, t.link))) * 0.5;
  t.water = (net.slink_node_depth(t.n1, t.link) + net.slink_node_depth(t.n2, t.link)) * 0.5 +
            (*g.ground)[std::size_t(t.cell)] - t.burial;
  return t;
}

}  // namespace

int gw_tile_exchange(const superlink_network& net, superlink_links& links, const tile_grid& g,
                     int drainmod) {
  for (int k = 1; k <= net.n_slink; ++k)
    for (int i = 1; i <= net.nnodes[std::size_t(k)]; ++i) links.superlink_tile_flow(i, k) = 0.0;
  bool below = false;
  for (int c = 1; c <= net.gpi_cells && !below; ++c)
    for (int e = 1; e <= net.gpi_ncellsingrid[std::size_t(c)] && !below; ++e) {
      const tile_entry t = entry_of(net, links, g, c, e);
      below = t.water < (*g.head)[std::size_t(t.cell)];
    }
  if (!below) return 0;
  for (int c = 1; c <= net.gpi_cells; ++c)
    for (int e = 1; e <= net.gpi_ncellsingrid[std::size_t(c)]; ++e) {
      const tile_entry t = entry_of(net, links, g, c, e);
      const double m = (*g.head)[std::size_t(t.cell)] - t.water;
      if (!(m > 1e-16)) continue;
      const double k = net.superlink_pipe_conductivity(t.pipe, t.link) / 100.0;  // m/h
      const double spacing = net.drain_spacing(t.pipe, t.link);
      if (!(k >= 1e-16) || !(spacing >= 1e-16)) continue;
      const double d = (*g.ground)[std::size_t(t.cell)] - t.burial - (*g.bottom)[std::size_t(t.cell)];
      if (d < 0.0) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "\n Node elevation must be above bottom of groundwater media: Link %d Node %d "
                      "Comp Node %d",
                      t.link, t.node, t.n1);
        print_message(summary_file, text);
        set_error(err_pipe_invert_below_aquifer);
        return 1;
      }
      const double dia = net.diameter(t.pipe, t.link);
      const double de = tile_equivalent_depth(drainmod, d, spacing, dia);
      const double q = tile_inflow(drainmod, de, m, k, spacing, dia, net.gpi_pct(c, e),
                                   net.dx(t.node, t.link));
      if (std::isnan(q)) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "\n NaN error in groundwater tile exchange: Link %d Node %d Comp Node %d",
                      t.link, t.node, t.n1);
        print_message(summary_file, text);
        set_error(err_gw_tile_exchange_nan);
        return 1;
      }
      links.Q_tile_grid[std::size_t(t.cell)] += q;
      links.superlink_tile_flow(t.node, t.link) += q;
    }
  return 1;
}
