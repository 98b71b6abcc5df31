// The superlink step. Within a superlink, one sweep from each end expresses
// every pipe flow through the depths at its ends; the end relations (free
// fall into a junction, or the junction head less an exit loss) then leave
// two flows that are linear in the two junction heads, and continuity at
// every superjunction closes the system. Pipe flows of one call are the
// friction and loss linearisation of the next.

#include "subsurface/superlink_step.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/error_state.h"
#include "core/parallel_team.h"
#include "core/safe_file.h"
#include "subsurface/superlink_inlets.h"
#include "subsurface/superlink_section.h"

namespace {

constexpr double g = 9.81;             // m/s2
constexpr double depth_floor = 1e-4;   // m
constexpr const char* log_name = "superlink_flows.out";

// A junction whose head stands for water outside the network: bound, and
// not one of the outlets (which are held at their bottom too).
bool fixed_head_junction(const superlink_network& net, int j) {
  const int t = net.inlet_type(0, j);
  return net.bound[std::size_t(j)] == 1 && t != inlet::outlet_cell && t != inlet::outlet_channel;
}

int pipes_of(const superlink_network& net, int k) {
  return net.superlink_cnodes[std::size_t(k)];
}

double section_area(const superlink_network& net, int i, int k, double y) {
  section_props sp;
  superlink_section_props(net.diameter(i, k), y, net.width(i, k), net.sec_type(i, k), sp);
  return sp.area;
}

// Water in superlink k by its node depths, m3: each pipe holds its length
// times the mean of its end areas, each node its plan area times its depth.
double superlink_held(const superlink_network& net, int k) {
  const int n = pipes_of(net, k);
  double v = 0.0;
  for (int i = 1; i <= n; ++i)
    v += net.dxc(i, k) * 0.5 *
         (section_area(net, i, k, net.slink_node_depth(i, k)) +
          section_area(net, i, k, net.slink_node_depth(i + 1, k)));
  for (int i = 1; i <= n + 1; ++i) v += net.As(i, k) * std::max(net.slink_node_depth(i, k), 0.0);
  return v;
}

// Pipe properties, sweeps and link coefficients of superlink k (steps that
// touch nothing but the superlink's own slots).
void reduce_superlink(superlink_state& sl, int k, double dt) {
  superlink_network& net = sl.net;
  superlink_work& wk = sl.work;
  const int n = pipes_of(net, k);
  // The local loss acts where the flow meets a change: where it enters the
  // superlink from its junction, at a manhole or an inlet inside it, or
  // where the section changes from the pipe before. There it stands in the
  // momentum of the pipe entered. Along a uniform stretch it would add a
  // head loss of Q^2 / (g C^2 Ac^2) to every pipe, however short, and a
  // pipe cut into more pieces would stand ever deeper.
  auto local_loss_at = [&](int i) {
    if (i < 2) return true;
    const int t = net.inlet_type(i, k);
    if (net.As(i, k) > 0.0 || (t >= 1 && t <= inlet::max_grates)) return true;
    return net.sec_type(i, k) != net.sec_type(i - 1, k) ||
           net.diameter(i, k) != net.diameter(i - 1, k) || net.width(i, k) != net.width(i - 1, k);
  };
  // Pipe properties at the upstream node depth; a full pipe keeps a narrow
  // slot at its crown so that its nodes still store pressure. Where the
  // flow enters the pipe through a local loss, the node's level is the
  // water before the loss (at a superlink's first node, its junction's):
  // the pipe runs a loss head, Q^2 / (g C^2 Ac^2) with Ac the area at the
  // node, below it. Taken at the node's level itself, the pipe would carry
  // its flow at a depth raised by the loss, and the longer the pipe, the
  // more the loss would go into its friction instead of the node's level
  // (a superlink of one long pipe would stand high along its whole length).
  // The loss never takes the pipe's water below the level of the node it
  // flows to.
  for (int i = 1; i <= n; ++i) {
    const double y = net.slink_node_depth(i, k);
    wk.ldepth(i, k) = 0.5 * (y + net.slink_node_depth(i + 1, k));
    const int type = net.sec_type(i, k);
    const double dia = net.diameter(i, k);
    section_props sp;
    if (wk.ldepth(i, k) < dia) {
      superlink_section_props(dia, y, net.width(i, k), type, sp);
    } else if (type == pipe_section::circular) {
      sp.top_width = 0.01 * dia;
      sp.area = 3.14159 * dia * dia / 4.0;
      sp.wet_per = 3.14159 * dia;
    } else {
      superlink_section_props(dia, dia, net.width(i, k), type, sp);
      sp.top_width = 0.01 * dia;
    }
    wk.Ac(i, k) = sp.area;
    double yp = y;
    const double q = wk.Q(i, k), cc = wk.C(i, k);
    if (wk.ldepth(i, k) < dia && q > 0.0 && sp.area > 0.0 && local_loss_at(i)) {
      const double drop = q * q / (g * cc * cc * sp.area * sp.area);
      const double below = net.slink_node_Zinv(i + 1, k) + net.slink_node_depth(i + 1, k) -
                           net.slink_node_Zinv(i, k);
      yp = std::max({y - drop, std::min(y, below), depth_floor});
      sp = section_props{};
      superlink_section_props(dia, yp, net.width(i, k), type, sp);
    }
    wk.pipe_depth(i, k) = yp;
    wk.A(i, k) = sp.area;
    wk.top_width(i, k) = sp.top_width;
    wk.wet_per(i, k) = sp.wet_per;
    wk.l_veloc(i, k) = sp.area > 0.0 ? wk.Q(i, k) / sp.area : 0.0;
    wk.hyd_R(i, k) = sp.wet_per > 0.0 ? sp.area / sp.wet_per : 0.0;
  }
  section_props end;
  superlink_section_props(net.diameter(1, k), net.slink_node_depth(1, k), net.width(1, k),
                          net.sec_type(1, k), end);
  wk.A_u[std::size_t(k)] = end.area;
  end = section_props{};
  superlink_section_props(net.diameter(n, k), net.slink_node_depth(n + 1, k), net.width(n, k),
                          net.sec_type(n, k), end);
  wk.A_d[std::size_t(k)] = end.area;

  // Node velocities, length-weighted between pipes.
  wk.n_veloc(1, k) = wk.l_veloc(1, k);
  wk.n_veloc(n + 1, k) = wk.l_veloc(n, k);
  for (int i = 2; i <= n; ++i) {
    const double l0 = net.dxc(i - 1, k), l1 = net.dxc(i, k);
    wk.n_veloc(i, k) = (l0 * wk.l_veloc(i - 1, k) + l1 * wk.l_veloc(i, k)) / (l0 + l1);
  }

  // Coefficients: pipes 1..n, nodes 1..n+1 (the pipes beyond the ends hold
  // no length and no width).
  auto width_len = [&](int i) {
    return (i < 1 || i > n) ? 0.0 : wk.top_width(i, k) * net.dxc(i, k);
  };
  for (int i = 1; i <= n; ++i) {
    const double a = wk.n_veloc(i, k) > 0.0 ? -wk.n_veloc(i, k) : 0.0;
    const double c = wk.n_veloc(i + 1, k) < 0.0 ? wk.n_veloc(i + 1, k) : 0.0;
    const double q = wk.Q(i, k);
    const double area = wk.A(i, k);
    const double l = net.dxc(i, k);
    const double nn = net.M_n(i, k);
    const double r43 = std::pow(wk.hyd_R(i, k), 4.0 / 3.0);
    const double cc = wk.C(i, k);
    const double friction = (r43 > 0.0 && area > 0.0) ? g * nn * nn * std::fabs(q) * l / (r43 * area) : 0.0;
    const double loss = area > 0.0 && local_loss_at(i)
                            ? area * std::fabs(q) / (cc * cc * wk.Ac(i, k) * wk.Ac(i, k))
                            : 0.0;
    wk.a(i, k) = a;
    wk.c(i, k) = c;
    wk.b(i, k) = l / dt + friction + loss - a - c;
    wk.P(i, k) = g * area * net.S0(i, k) * l + q * l / dt;
  }
  for (int i = 1; i <= n + 1; ++i) {
    wk.E(i, k) = (width_len(i) / 2.0 + width_len(i - 1) / 2.0 + net.As(i, k)) / dt;
    wk.D(i, k) = wk.E(i, k) * net.slink_node_depth(i, k) + net.Q_node(i, k);
  }

  // Forward sweep: Q_i = U_i y_(i+1) + V_i + W_i y_1.
  {
    const double t = wk.a(1, k) + wk.b(1, k) + wk.c(1, k);
    wk.T(1, k) = t;
    wk.U(1, k) = (wk.E(2, k) * wk.c(1, k) - g * wk.A(1, k)) / t;
    wk.V(1, k) = (wk.P(1, k) - wk.D(2, k) * wk.c(1, k)) / t;
    wk.W(1, k) = g * wk.A(1, k) / t;
  }
  for (int i = 2; i <= n; ++i) {
    const double s = (g * wk.A(i, k) - wk.E(i, k) * wk.a(i, k)) / (wk.U(i - 1, k) - wk.E(i, k));
    const double t = wk.a(i, k) + wk.b(i, k) + wk.c(i, k) - s;
    wk.T(i, k) = t;
    wk.U(i, k) = (wk.E(i + 1, k) * wk.c(i, k) - g * wk.A(i, k)) / t;
    wk.V(i, k) = (wk.D(i, k) * wk.a(i, k) + wk.P(i, k) - wk.D(i + 1, k) * wk.c(i, k) -
                  s * (wk.D(i, k) + wk.V(i - 1, k))) / t;
    wk.W(i, k) = -s * wk.W(i - 1, k) / t;
  }
  // Backward sweep: Q_i = X_i y_i + Y_i + Z_i y_(n+1).
  {
    const double o = wk.a(n, k) + wk.b(n, k) + wk.c(n, k);
    wk.O(n, k) = o;
    wk.X(n, k) = (g * wk.A(n, k) - wk.E(n, k) * wk.a(n, k)) / o;
    wk.Y(n, k) = (wk.D(n, k) * wk.a(n, k) + wk.P(n, k)) / o;
    wk.Z(n, k) = -9.81 * wk.A(n, k) / o;
  }
  for (int i = n - 1; i >= 1; --i) {
    const double r = (g * wk.A(i, k) - wk.E(i + 1, k) * wk.c(i, k)) / (wk.E(i + 1, k) + wk.X(i + 1, k));
    const double o = wk.a(i, k) + wk.b(i, k) + wk.c(i, k) + r;
    wk.O(i, k) = o;
    wk.X(i, k) = (g * wk.A(i, k) - wk.E(i, k) * wk.a(i, k)) / o;
    wk.Y(i, k) = (wk.D(i, k) * wk.a(i, k) + wk.P(i, k) - wk.D(i + 1, k) * wk.c(i, k) -
                  (wk.D(i + 1, k) - wk.Y(i + 1, k)) * r) / o;
    wk.Z(i, k) = r * wk.Z(i + 1, k) / o;
  }
}

// Whether an end of a superlink lets its water fall freely into its
// junction, and the depth it falls from. Only a flow leaving the superlink
// (q_out > 0, through pipe i) can fall freely: when the critical depth stands
// above the junction's head over the invert, from the lesser of critical and
// normal depth. A junction standing below the pipe's invert cannot hold the
// end's water up either: the end is free, and empty until a flow gives it a
// depth (tied to such a head, the end node would take a negative depth, and
// the water its storage gave up would never have been there).
struct end_fall {
  bool free = false;
  double drop = 0.0;
};

end_fall end_condition(const superlink_network& net, superlink_work& wk, int i, int k,
                       double q_out, double head, double invert) {
  end_fall e;
  if (q_out > 0.0) {
    superlink_norm_calc(net.sec_type(i, k), net.diameter(i, k), net.width(i, k), net.M_n(i, k),
                        q_out, std::fabs(net.S0(i, k)), wk.yn);
    superlink_crit_calc(net.sec_type(i, k), net.diameter(i, k), net.width(i, k), q_out, wk.yc);
    e.free = wk.yc > head - invert;
    e.drop = std::min(wk.yc, wk.yn);
  }
  if (!e.free && head < invert) {
    e.free = true;
    e.drop = 0.0;
  }
  return e;
}

// End relations of superlink k from its end flows of the previous call.
// Serial: the depth routines print on failure.
void end_relations(superlink_state& sl, int k) {
  superlink_network& net = sl.net;
  superlink_work& wk = sl.work;
  const std::size_t u = std::size_t(k);
  const int n = pipes_of(net, k);
  const double h_us = net.sjunc_head[std::size_t(net.us_sjunc[u])];
  const double h_ds = net.sjunc_head[std::size_t(net.ds_sjunc[u])];
  const double qu = wk.Q_u[u], qd = wk.Q_d[u];

  const end_fall us = end_condition(net, wk, 1, k, qu < 0.0 ? -qu : 0.0, h_us, net.us_Zinv[u]);
  const bool free_us = us.free;
  const double drop_us = us.drop;
  if (free_us) {
    wk.kappa_u[u] = 0.0;
    wk.lambda_u[u] = 0.0;
    wk.mu_u[u] = std::fabs(qu) < 1e-11 ? 0.0 : drop_us / qu;
  } else {
    wk.kappa_u[u] = 1.0;
    wk.lambda_u[u] = -net.us_Zinv[u];
    wk.mu_u[u] = 0.0;
  }
  const end_fall ds = end_condition(net, wk, n, k, qd > 0.0 ? qd : 0.0, h_ds, net.ds_Zinv[u]);
  const bool free_ds = ds.free;
  const double drop_ds = ds.drop;
  if (free_ds) {
    wk.kappa_d[u] = 0.0;
    wk.lambda_d[u] = 0.0;
    wk.mu_d[u] = std::fabs(qd) < 1e-11 ? 0.0 : drop_ds / qd;
  } else {
    wk.kappa_d[u] = 1.0;
    wk.lambda_d[u] = -net.ds_Zinv[u];
    // The exit loss: one velocity head at the downstream junction.
    const double cn = wk.C(n + 1, k);
    const double ad = wk.A_d[u];
    const double den = 2.0 * g * cn * cn * ad * ad;
    wk.mu_d[u] = std::fabs(den) <= 1e-9 ? 0.0 : std::fabs(qd) / den;
  }
}

// End flows of superlink k as linear functions of its junction heads.
void link_coefficients(superlink_state& sl, int k) {
  superlink_work& wk = sl.work;
  const int n = pipes_of(sl.net, k);
  const std::size_t u = std::size_t(k);
  // The sweeps give the flows of the first and last pipes; the end nodes
  // keep their own continuity (half a pipe and their plan area of storage),
  // so the end flows into the junctions differ from those pipe flows by
  // what the end nodes take up: Q_u = Q_1 + E_1 (y_1' - y_1), and
  // Q_d = Q_N - E_(N+1) (y_(N+1)' - y_(N+1)). Without it a superlink of one
  // pipe would fill without drawing on its junctions.
  const double x1 = wk.X(1, k) + wk.E(1, k), y1 = wk.Y(1, k) - wk.D(1, k), z1 = wk.Z(1, k);
  const double un = wk.U(n, k) - wk.E(n + 1, k), vn = wk.V(n, k) + wk.D(n + 1, k);
  const double wn = wk.W(n, k);
  const double ku = wk.kappa_u[u], lu = wk.lambda_u[u], mu = wk.mu_u[u];
  const double kd = wk.kappa_d[u], ld = wk.lambda_d[u], md = wk.mu_d[u];
  const double f0 = (1.0 - md * un) * (1.0 - mu * x1) - mu * md * wn * z1;
  const double up = lu * x1 + y1 + ld * z1;
  const double down = lu * wn + vn + ld * un;
  wk.alpha_u[u] = ((1.0 - md * un) * x1 * ku + md * z1 * wn * ku) / f0;
  wk.beta_u[u] = ((1.0 - md * un) * z1 * kd + md * z1 * un * kd) / f0;
  wk.gamma_u[u] = (up * (1.0 - md * un) + down * md * z1) / f0;
  wk.alpha_d[u] = ((1.0 - mu * x1) * wn * ku + mu * x1 * wn * ku) / f0;
  wk.beta_d[u] = ((1.0 - mu * x1) * un * kd + mu * wn * z1 * kd) / f0;
  wk.gamma_d[u] = (down * (1.0 - mu * x1) + up * mu * wn) / f0;
}

// New depths and flows along superlink k from its new junction heads.
void back_substitute(superlink_state& sl, int k, double dt) {
  superlink_network& net = sl.net;
  superlink_work& wk = sl.work;
  const std::size_t u = std::size_t(k);
  const int n = pipes_of(net, k);
  const double h_us = net.sjunc_head[std::size_t(net.us_sjunc[u])];
  const double h_ds = net.sjunc_head[std::size_t(net.ds_sjunc[u])];
  const double qu = wk.alpha_u[u] * h_us + wk.beta_u[u] * h_ds + wk.gamma_u[u];
  const double qd = wk.alpha_d[u] * h_us + wk.beta_d[u] * h_ds + wk.gamma_d[u];
  wk.Q_u[u] = qu;
  wk.Q_d[u] = qd;
  const double y1 = wk.kappa_u[u] * h_us + wk.mu_u[u] * qu + wk.lambda_u[u];
  const double yn1 = wk.kappa_d[u] * h_ds + wk.mu_d[u] * qd + wk.lambda_d[u];
  net.slink_node_depth(1, k) = y1;
  net.slink_node_depth(n + 1, k) = yn1;
  wk.Q(1, k) = qu - wk.E(1, k) * y1 + wk.D(1, k);
  wk.Q(n, k) = qd + wk.E(n + 1, k) * yn1 - wk.D(n + 1, k);
  // The continuity of the call is linear in the depths, with top widths
  // of the call's start; what the pipes hold by their new depths differs
  // from what the end flows left behind, most while a pipe fills or
  // surcharges. The difference is owed to the superlink's downstream end.
  double lateral = 0.0;
  for (int i = 1; i <= n + 1; ++i) lateral += net.Q_node(i, k);
  const double held = superlink_held(net, k);
  wk.owed[u] += held - wk.held[u] - dt * (qu - qd + lateral);
  wk.held[u] = held;
  for (int i = n; i >= 2; --i) {
    double y = (wk.Q(i, k) - wk.Y(i, k) - wk.Z(i, k) * yn1) / wk.X(i, k);
    const double dia = net.diameter(i, k);
    if (y > 10.0 * dia || y < -10.0 * dia) y = 0.0;
    if (y < 0.0) y = depth_floor;
    net.slink_node_depth(i, k) = y;
    if (i > 2) wk.Q(i - 1, k) = wk.U(i - 1, k) * y + wk.V(i - 1, k) + wk.W(i - 1, k) * y1;
  }
}

}  // namespace

double network_volume(const superlink_state& sl) {
  const superlink_network& net = sl.net;
  double v = 0.0;
  for (int j = 1; j <= net.n_sjunc; ++j) {
    const std::size_t u = std::size_t(j);
    if (net.bound[u] != 1) v += net.As_sjunc[u] * (net.sjunc_head[u] - net.junc_bottom[u]);
  }
  for (int k = 1; k <= net.n_slink && std::size_t(k) < sl.work.held.size(); ++k)
    v += sl.work.held[std::size_t(k)] - sl.work.owed[std::size_t(k)];
  return v;
}

namespace {

bool create_log() {
  safe_file log;
  if (!log.open(log_name, "w")) return false;
  std::fputs("Call# VtoSL VtoVALTO   QtoSL    QtoVALTO \n", log.stream);
  log.close();
  return true;
}

void append_log(int call, double in, double out, double dt) {
  safe_file log;
  if (!log.open(log_name, "a")) return;
  std::fprintf(log.stream, "%d %8.3lf %8.3lf %8.3lf %8.3lf \n", call, in, out, in / dt, out / dt);
  log.close();
}

}  // namespace

bool superlink_start(superlink_state& sl, const superlink_options& opt) {
  superlink_network& net = sl.net;
  superlink_work& wk = sl.work;
  int rows = 2;
  for (int k = 1; k <= net.n_slink; ++k) rows = std::max(rows, pipes_of(net, k) + 2);
  const int cols = net.n_slink + 1;
  for (auto* t : {&wk.Q, &wk.ldepth, &wk.A, &wk.hyd_R, &wk.top_width, &wk.wet_per, &wk.l_veloc,
                  &wk.n_veloc, &wk.C, &wk.Ac, &wk.pipe_depth, &wk.a, &wk.b, &wk.c, &wk.P, &wk.D,
                  &wk.E, &wk.T, &wk.U, &wk.V, &wk.W, &wk.O, &wk.X, &wk.Y, &wk.Z})
    t->size(rows, cols);
  const std::size_t links = std::size_t(net.n_slink) + 1;
  for (auto* v : {&wk.Q_u, &wk.Q_d, &wk.kappa_u, &wk.lambda_u, &wk.mu_u, &wk.kappa_d, &wk.lambda_d,
                  &wk.mu_d, &wk.A_u, &wk.A_d, &wk.alpha_u, &wk.beta_u, &wk.gamma_u, &wk.alpha_d,
                  &wk.beta_d, &wk.gamma_d, &wk.held, &wk.owed})
    v->assign(links, 0.0);
  const std::size_t junctions = std::size_t(net.n_sjunc) + 1;
  // A network not mapped to a grid (as in a test of the network alone)
  // still needs its exchange slots.
  superlink_links& lk = sl.links;
  for (auto* v : {&lk.superlink_chan_vol, &lk.superlink_surface_vol, &lk.superlink_chan_stage})
    if (v->size() < junctions) v->assign(junctions, 0.0);
  if (lk.superlink_tile_flow.empty()) lk.superlink_tile_flow.size(rows, cols);
  if (lk.flow_to_superlink.empty()) lk.flow_to_superlink.size(rows, std::max(cols, int(junctions)));
  wk.fixed_head.assign(junctions, 0.0);
  wk.head_before.assign(junctions, 0.0);
  // Each junction's debts go to the first superlink leaving it, else to
  // the first entering it.
  wk.junction_link.assign(junctions, 0);
  for (int k = net.n_slink; k >= 1; --k)
    wk.junction_link[std::size_t(net.ds_sjunc[std::size_t(k)])] = k;
  for (int k = net.n_slink; k >= 1; --k)
    wk.junction_link[std::size_t(net.us_sjunc[std::size_t(k)])] = k;
  wk.rhs.assign(junctions, 0.0);
  wk.heads.assign(junctions, 0.0);
  std::vector<std::pair<int, int>> pairs;
  for (int k = 1; k <= net.n_slink; ++k)
    pairs.emplace_back(net.us_sjunc[std::size_t(k)], net.ds_sjunc[std::size_t(k)]);
  if (!junction_solver_setup(wk.solver, net.n_sjunc, pairs)) return false;

  for (int j = 1; j <= net.n_sjunc; ++j) {
    const std::size_t u = std::size_t(j);
    net.Q_junc[u] = 0.0;
    if (net.bound[u] == 1) wk.fixed_head[u] = net.junc_bottom[u];
    net.sjunc_head[u] = net.bound[u] == 1 ? wk.fixed_head[u] : net.junc_bottom[u];
  }
  for (int k = 1; k <= net.n_slink; ++k) {
    const int n = pipes_of(net, k);
    net.us_Zinv[std::size_t(k)] = net.slink_node_Zinv(1, k);
    net.ds_Zinv[std::size_t(k)] = net.slink_node_Zinv(n + 1, k);
    for (int i = 1; i <= n + 1; ++i) {
      net.slink_node_depth(i, k) = depth_floor;
      net.Q_node(i, k) = 0.0;
      wk.C(i, k) = 1.0;
      if (!opt.c_opt) net.dxc(i, k) = net.dx(i, k);
    }
    wk.held[std::size_t(k)] = superlink_held(net, k);
  }
  wk.ready = 1;
  return true;
}

int superlink_step(int call, double w, std::vector<double>& depth, superlink_state& sl,
                   double dt, const superlink_options& opt, double& inlet_volume) {
  superlink_network& net = sl.net;
  superlink_links& lk = sl.links;
  superlink_work& wk = sl.work;
  superlink_totals& tot = sl.totals;
  inlet_volume = 0.0;
  tot.superlink_vol_in = 0.0;
  tot.superlink_vol_out = 0.0;
  tot.fixed_head_in = 0.0;
  tot.fixed_head_out = 0.0;
  if (call == 0) {
    if (!create_log()) {
      std::fputs("Can't open file superlink_flows.out'\n", stdout);
      raise_error(err_open_file, 0, 0, log_name, log_name);
      return -9;
    }
  }
  if (call == 0 || !wk.ready) {
    if (!superlink_start(sl, opt)) {
      raise_message("Error allocating memory for variable %s\n", "superlink work arrays");
      return -1;
    }
  }
  if (call == 0) tot.superlink_vol_start = network_volume(sl);
  if (call == 1) tot.superlink_vol_initial = network_volume(sl);
  const double cell_area = w * w;
  double m_in = 0.0, l_out = 0.0;

  // Superjunction inlets.
  for (int j = 1; j <= net.n_sjunc; ++j) {
    const std::size_t u = std::size_t(j);
    const int t = net.inlet_type(0, j);
    net.Q_junc[u] = 0.0;
    if (t < 1 || t > inlet::max_grates) continue;
    const int cell = lk.superlink_junc_gnum.empty() ? 0 : lk.superlink_junc_gnum[u];
    const double h = net.sjunc_head[u];
    if (opt.high_head && net.ground_elev[u] < h && cell > 0) {
      net.Q_junc[u] = -(h - net.ground_elev[u]) * net.As_sjunc[u] / dt;
      const double v = (h - net.ground_elev[u]) * net.As_sjunc[u];
      depth[std::size_t(cell)] += v / cell_area;
      lk.superlink_surface_vol[u] += v;
      l_out += v;
    } else if (cell > 0) {
      const double q = grate_inflow(t, net.grate_sidelength_sjunc[u], net.grate_dia_sjunc[u],
                                    depth[std::size_t(cell)], w, dt);
      net.Q_junc[u] = q;
      depth[std::size_t(cell)] -= q * dt / cell_area;
      inlet_volume += dt * q;
    }
  }
  // Groundwater into leaky pipes, lumped at each superlink's upstream junction.
  if (opt.leaky) {
    for (int k = 1; k <= net.n_slink; ++k) {
      const std::size_t j = std::size_t(net.us_sjunc[std::size_t(k)]);
      if (opt.high_head && net.sjunc_head[j] > net.ground_elev[j]) continue;
      double q = 0.0;
      for (int i = 1; i <= net.nnodes[std::size_t(k)]; ++i) q += lk.superlink_tile_flow(i, k);
      net.Q_junc[j] += q;
    }
  }
  for (int j = 1; j <= net.n_sjunc; ++j) m_in += dt * net.Q_junc[std::size_t(j)];

  // Node inlets of the interior nodes.
  for (int k = 1; k <= net.n_slink; ++k) {
    const int n = pipes_of(net, k);
    const int ds = net.ds_sjunc[std::size_t(k)];
    for (int i = 2; i <= n; ++i) {
      const int t = net.inlet_type(i, k);
      if (t < 0 || t > inlet::max_grates) continue;
      const int cell = lk.superlink_node_gnum.empty() ? 0 : lk.superlink_node_gnum(i, k);
      const double level = net.slink_node_Zinv(i, k) + net.slink_node_depth(i, k);
      const double ground = net.node_ground_elev(i, k);
      // A node of no cell (one made by grading) keeps its water: there is
      // no surface to put it on.
      if (opt.high_head && ground < level && cell > 0) {
        net.Q_node(i, k) = -(level - ground) * net.As(i, k) / dt;
        const double v = (level - ground) * net.As(i, k);
        depth[std::size_t(cell)] += v / cell_area;
        lk.superlink_surface_vol[std::size_t(ds)] += v;
        l_out += v;
      } else if (t > 0 && cell > 0 && std::fabs(lk.flow_to_superlink(i, k)) > 0.0) {
        const double q = grate_inflow(t, net.grate_sidelength_node(i, k), net.grate_dia_node(i, k),
                                      depth[std::size_t(cell)], w, dt);
        net.Q_node(i, k) = q;
        depth[std::size_t(cell)] -= q * dt / cell_area;
        m_in += dt * q;
        inlet_volume += dt * q;
      } else {
        net.Q_node(i, k) = 0.0;
      }
    }
    for (int i = 1; i <= n + 1; ++i)
      if (net.slink_node_depth(i, k) < depth_floor) net.slink_node_depth(i, k) = depth_floor;
  }

  // Each superlink reduced to its two end relations.
#pragma omp parallel for schedule(static) num_threads(team_for(net.n_slink, superlinks_per_thread))
  for (int k = 1; k <= net.n_slink; ++k) reduce_superlink(sl, k, dt);
  for (int k = 1; k <= net.n_slink; ++k) end_relations(sl, k);
#pragma omp parallel for schedule(static) num_threads(team_for(net.n_slink, superlinks_per_thread))
  for (int k = 1; k <= net.n_slink; ++k) link_coefficients(sl, k);

  // Continuity at every superjunction; parallel superlinks add their terms.
  junction_solver& js = wk.solver;
  junction_clear(js);
  for (int j = 1; j <= net.n_sjunc; ++j) {
    const std::size_t u = std::size_t(j);
    if (net.bound[u] == 1) {
      junction_add(js, j, j, 1.0);
      wk.rhs[u] = wk.fixed_head[u];
    } else {
      const double store = net.As_sjunc[u] / dt;
      junction_add(js, j, j, store);
      wk.rhs[u] = store * net.sjunc_head[u];
      if (net.inlet_type(0, j) < inlet::outlet_cell) wk.rhs[u] += net.Q_junc[u];
    }
  }
  for (int k = 1; k <= net.n_slink; ++k) {
    const std::size_t u = std::size_t(k);
    const int us = net.us_sjunc[u], ds = net.ds_sjunc[u];
    if (net.bound[std::size_t(ds)] != 1) {
      junction_add(js, ds, ds, -wk.beta_d[u]);
      junction_add(js, ds, us, -wk.alpha_d[u]);
      wk.rhs[std::size_t(ds)] += wk.gamma_d[u];
    }
    if (net.bound[std::size_t(us)] != 1) {
      junction_add(js, us, us, wk.alpha_u[u]);
      junction_add(js, us, ds, wk.beta_u[u]);
      wk.rhs[std::size_t(us)] -= wk.gamma_u[u];
    }
  }
  for (int j = 1; j <= net.n_sjunc; ++j) wk.head_before[std::size_t(j)] = net.sjunc_head[std::size_t(j)];
  if (junction_solve(js, wk.rhs, wk.heads) != 0) {
    raise_error(err_superlink_update);
    return -1;
  }
  for (int j = 1; j <= net.n_sjunc; ++j) {
    const std::size_t u = std::size_t(j);
    double h = wk.heads[u];
    if (h < net.junc_bottom[u] - 0.001) h = net.junc_bottom[u];
    net.sjunc_head[u] = h;
  }
  tot.superlink_surface_flag = 0;
  tot.superlink_chan_flag = 0;

#pragma omp parallel for schedule(static) num_threads(team_for(net.n_slink, superlinks_per_thread))
  for (int k = 1; k <= net.n_slink; ++k) back_substitute(sl, k, dt);
  for (int k = 1; k <= net.n_slink; ++k) {
    const std::size_t u = std::size_t(k);
    if (std::isnan(wk.Q_u[u]) || std::isnan(wk.Q_d[u]) ||
        std::isnan(net.slink_node_depth(1, k)) || std::isnan(net.slink_node_depth(pipes_of(net, k) + 1, k))) {
      raise_message("Error: NaN in the flow or depth of superlink %d\n", k);
      return -1;
    }
  }

  // A junction whose head was raised to its bottom, or whose end flows
  // moved with that head, holds other than its flows left it: the
  // difference is owed by one of its superlinks.
  for (int j = 1; j <= net.n_sjunc; ++j) {
    const std::size_t u = std::size_t(j);
    wk.rhs[u] = net.inlet_type(0, j) < inlet::outlet_cell ? net.Q_junc[u] : 0.0;
  }
  for (int k = 1; k <= net.n_slink; ++k) {
    const std::size_t u = std::size_t(k);
    wk.rhs[std::size_t(net.ds_sjunc[u])] += wk.Q_d[u];
    wk.rhs[std::size_t(net.us_sjunc[u])] -= wk.Q_u[u];
  }
  for (int j = 1; j <= net.n_sjunc; ++j) {
    const std::size_t u = std::size_t(j);
    const int k = wk.junction_link[u];
    if (net.bound[u] == 1 || k == 0) continue;
    wk.owed[std::size_t(k)] +=
        net.As_sjunc[u] * (net.sjunc_head[u] - wk.head_before[u]) - dt * wk.rhs[u];
  }

  // Outlets deliver what their superlinks bring, less what the superlinks
  // owe; a free junction pays a superlink's debt from its own storage, a
  // fixed head from outside the network.
  for (int k = 1; k <= net.n_slink; ++k) {
    const std::size_t u = std::size_t(k);
    const int j = net.ds_sjunc[u];
    const int t = net.inlet_type(0, j);
    const double qd = wk.Q_d[u];
    double v = dt * qd;
    if (t == inlet::outlet_channel || t == inlet::outlet_cell) {
      v -= wk.owed[u];
      wk.owed[u] = 0.0;
      // An outlet never draws water back to repay: the rest waits.
      if (v < 0.0 && qd >= 0.0) {
        wk.owed[u] = -v;
        v = 0.0;
      }
    } else if (fixed_head_junction(net, j)) {
      // The held head takes what the superlink brings, less the superlink's
      // debt, which it pays.
      v -= wk.owed[u];
      wk.owed[u] = 0.0;
      (v >= 0.0 ? tot.fixed_head_out : tot.fixed_head_in) += std::fabs(v);
    } else if (net.As_sjunc[std::size_t(j)] > 0.0) {
      net.sjunc_head[std::size_t(j)] -= wk.owed[u] / net.As_sjunc[std::size_t(j)];
      wk.owed[u] = 0.0;
    }
    if (t == inlet::outlet_channel) {
      lk.superlink_chan_vol[std::size_t(j)] += v;
      l_out += v;
      net.Q_junc[std::size_t(j)] -= v;
      if (qd > 1e-8) tot.superlink_chan_flag = 1;
    } else if (t == inlet::outlet_cell) {
      const int cell = lk.superlink_junc_gnum.empty() ? 0 : lk.superlink_junc_gnum[std::size_t(j)];
      depth[std::size_t(cell)] += v / cell_area;
      lk.superlink_surface_vol[std::size_t(j)] += v;
      l_out += v;
      net.Q_junc[std::size_t(j)] -= v;
      if (std::fabs(qd) > 1e-8) tot.superlink_surface_flag = 1;
    }
  }
  // A superlink leaving a held head draws on it; what enters such a
  // junction from its cell or its tiles goes to the held head too. An
  // outlet is held at its bottom as well, but what it passes is booked as
  // the outflow above, and its Q_junc holds that volume, not a rate.
  for (int k = 1; k <= net.n_slink; ++k) {
    const int j = net.us_sjunc[std::size_t(k)];
    if (!fixed_head_junction(net, j)) continue;
    const double v = dt * wk.Q_u[std::size_t(k)];
    (v >= 0.0 ? tot.fixed_head_in : tot.fixed_head_out) += std::fabs(v);
  }
  for (int j = 1; j <= net.n_sjunc; ++j) {
    if (!fixed_head_junction(net, j)) continue;
    const double v = dt * net.Q_junc[std::size_t(j)];
    (v >= 0.0 ? tot.fixed_head_out : tot.fixed_head_in) += std::fabs(v);
  }
  tot.superlink_vol_in = m_in;
  tot.superlink_vol_out = l_out;

  tot.superlink_vol_now = network_volume(sl);
  for (int j = 1; j <= net.n_sjunc; ++j)
    if (net.inlet_type(0, j) > 10) net.Q_junc[std::size_t(j)] /= dt;
  append_log(call, m_in, l_out, dt);
  return 0;
}
