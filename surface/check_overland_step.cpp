// The overland step a grid stands, estimated before the run so that a user
// who picked too long a step hears it at start-up rather than reading it
// from a hydrograph that swings or a log full of cut steps.
//
// The rain is taken as steady and the surface at equilibrium, where each
// cell passes on all the rain that fell above it. The flow leaves a cell
// through every face towards a lower neighbour (and through the outlet at
// the outlet slope), all of them driven by the cell's one depth, so each
// face takes its share in proportion to the root of its bed slope, as
// Manning's law shares it. That depth h gives each face its velocity v and
// the kinematic wave its celerity c = 5/3 v; an explicit update moves water
// no further than a cell in a step while c x dt <= dx.
//
// The ADE schemes update one direction at a time, so each face's wave must
// fit a cell on its own. The explicit scheme applies all faces of a sub-step
// together, so their celerities add; it also cuts any sub-step in which a
// face moves more than a set depth, which limits q x dt / dx as well. It
// finds that sub-step itself, cutting the step by three until it holds, so
// a step is too long for it only where the cuts it throws away cost more
// than the step saves: beyond two cuts, nine times the stable sub-step.

#include "surface/check_overland_step.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <vector>

#include "core/error_state.h"
#include "core/grid_state.h"
#include "run/model_state.h"

namespace {

constexpr int explicit_scheme = 1;
constexpr int ade_pc_scheme = 3;
constexpr double transfer_limit = 0.06;  // m: the explicit scheme's largest depth through a face
constexpr double explicit_cuts_allowed = 9.0;  // two cuts by three
constexpr double mm_h = 1.0 / 3.6e6;     // m/s per mm/h

// The step to advise: the estimate rounded down to one significant figure
// below a second, to whole seconds above.
double advised_step(double estimate) {
  if (estimate >= 1.0) return std::floor(estimate);
  const double unit = std::pow(10.0, std::floor(std::log10(estimate)));
  return std::floor(estimate / unit + 1e-9) * unit;
}

}  // namespace

overland_step_estimate estimate_overland_steps(const grid_state& g, const double* dist_rough,
                                               double rain_rate) {
  overland_step_estimate best{0.0, 0.0};
  const int n = g.cells;
  if (n <= 0 || rain_rate <= 0.0 || g.dx <= 0.0) return best;
  const double dx = g.dx;
  const int* next[4] = {g.rightcon.data(), g.belowcon.data(), g.leftcon.data(),
                        g.abovecon.data()};

  // Highest cells first, so a cell's area is complete before it passes it on.
  std::vector<int> order(n);
  std::iota(order.begin(), order.end(), 1);
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return g.elevation[a] > g.elevation[b]; });
  std::vector<double> area(n + 1, dx * dx);  // m2 draining through the cell

  double ade = HUGE_VAL, expl = HUGE_VAL;
  for (int i : order) {
    double root[5] = {};  // sqrt of the bed slope of each way out
    int to[5] = {};
    double roots = 0.0;
    for (int k = 0; k < 4; ++k) {
      const int j = next[k][i];
      if (j <= 0) continue;
      const double s = (g.elevation[i] - g.elevation[j]) / dx;
      if (s <= 0.0) continue;
      root[k] = std::sqrt(s);
      to[k] = j;
      roots += root[k];
    }
    if (i == g.outlet_cell && g.outlet_slope > 0.0) {
      root[4] = std::sqrt(g.outlet_slope);
      roots += root[4];
    }
    if (roots <= 0.0) continue;  // a low spot ponds; its water waits, it does not travel

    const double rough = dist_rough[i];
    if (rough <= 0.0) continue;
    const double q = rain_rate * area[i] / dx;  // m2/s leaving the cell
    const double h = std::pow(q * rough / roots, 0.6);
    const double h23 = std::pow(h, 2.0 / 3.0);
    double c_sum = 0.0, c_max = 0.0, q_max = 0.0;
    for (int k = 0; k < 5; ++k) {
      if (root[k] == 0.0) continue;
      const double c = 5.0 / 3.0 * h23 * root[k] / rough;  // m/s
      c_sum += c;
      c_max = std::max(c_max, c);
      q_max = std::max(q_max, h * h23 * root[k] / rough);
      if (k < 4) area[to[k]] += area[i] * root[k] / roots;
    }
    ade = std::min(ade, dx / c_max);
    expl = std::min({expl, dx / c_sum, transfer_limit * dx / q_max});
  }
  if (ade < HUGE_VAL) best.ade = ade;
  if (expl < HUGE_VAL) best.explicit_substep = expl;
  return best;
}

void check_overland_step(model_state& state) {
  const input_state& in = state.input;
  const double dt = in.params.timestep;
  // Only a steady rain of known rate has an equilibrium to estimate from;
  // with channels the overland water leaves the grid at the stream cells.
  if (!in.uniform_rain || in.rain_intensity <= 0.0 || dt <= 0.0) return;
  if (in.channel_routing || state.surface.overland_lakes) return;
  if (state.surface.dist_rough.size() < static_cast<std::size_t>(state.grid.cells) + 1) return;

  const double rain_rate = in.rain_intensity * mm_h;  // m/s
  const overland_step_estimate e =
      estimate_overland_steps(state.grid, state.surface.dist_rough.data(), rain_rate);
  const int scheme = in.settings.overtype;
  const double limit =
      scheme == explicit_scheme ? explicit_cuts_allowed * e.explicit_substep : e.ade;
  if (limit <= 0.0 || dt <= limit) return;
  const char* name = scheme == explicit_scheme ? "explicit"
                     : scheme == ade_pc_scheme ? "ADE predictor-corrector"
                                               : "ADE";
  char text[400];
  std::snprintf(text, sizeof text,
                "Warning: the overland time step of %g s is above the %.3g s estimated for the "
                "%s scheme on this grid under %g mm/h of rain; use %g s or less.\n",
                dt, limit, name, in.rain_intensity, advised_step(limit));
  print_message(summary_file, text);
}
