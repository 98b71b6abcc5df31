// Discharge formulas of the structure elements. Kernels: no state of their
// own; the only output is a failure's message and the error record.

#include "channel/structure_flow.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/channel_state.h"
#include "core/error_state.h"

namespace {

constexpr double two_g = 19.62;  // m/s2
constexpr double g = 9.81;       // m/s2

// Square root of 2g, m^0.5/s (the orifice and weir formulas take it apart).
constexpr double root_two_g = 4.4294469180700204;

void print_line(const char* format, int number) {
  char text[160];
  std::snprintf(text, sizeof text, format, number);
  print_message(summary_file, text);
}

// Cd for the direction the water runs: forward when the upstream level is
// above the downstream level.
double direction_coefficient(const struct_element& e, double up_level, double down_level) {
  return up_level > down_level ? e.coeff_forward : e.coeff_reverse;
}

// A DOWNINVERT left below 0.0001 m means the barrel slope places the outlet.
bool has_down_invert(const struct_element& e) { return e.down_invert >= 0.0001; }

double down_invert(const struct_element& e) {
  return has_down_invert(e) ? e.down_invert : e.up_invert - e.length * e.slope;
}

// Head lost along a barrel of hydraulic radius rh per unit of velocity head
// (friction plus one velocity head at the exit), s2/m.
double barrel_loss(double n, double length, double rh) {
  return n * n * length / std::pow(rh, 4.0 / 3.0) + 0.0509683995922528;
}

}  // namespace

double weir_flow(const std::vector<struct_element>& elements, int index, double up_level,
                 double down_level) {
  const struct_element& e = elements[std::size_t(index)];
  const double crest = e.up_invert;
  if (up_level < crest && down_level < crest) return 0.0;
  const double cd = direction_coefficient(e, up_level, down_level);
  const double h1 = std::max(up_level, down_level) - crest;  // m
  const double h2 = std::min(up_level, down_level) - crest;  // m
  double q;
  if (h2 < (2.0 / 3.0) * h1) {
    q = (2.0 / 3.0) * cd * e.length * std::sqrt(two_g * h1 * h1 * h1 / 3.0);
  } else if (h1 - h2 < 0.01) {
    // sqrt(h1 - h2) taken as (h1 - h2) / sqrt(0.01): the square root's slope
    // is unbounded at zero, the linear form joins the submerged one at 0.01 m.
    q = std::sqrt(1962.0) * cd * e.length * h2 * (h1 - h2);
  } else {
    q = std::sqrt(two_g * (h1 - h2)) * cd * e.length * h2;
  }
  return up_level > down_level ? q : -q;
}

double sag_weir_flow(const std::vector<struct_element>& elements, int index, double up_level,
                     double down_level) {
  const struct_element& e = elements[std::size_t(index)];
  const double z0 = e.up_invert;  // lowest crest elevation, m
  if (up_level <= z0 && down_level <= z0) return 0.0;
  const double cd = direction_coefficient(e, up_level, down_level);
  const double p = e.length;
  const double s1 = e.width;
  const double s2 = e.height;
  // Crest z(x) = a x^2 + s1 x + zv, lowest at x0 with z(x0) = z0.
  const double a = (s2 - s1) / (2.0 * p);  // 1/m
  const double x0 = -s1 * p / (s2 - s1);   // m
  const double zv = z0 - a * x0 * x0 - s1 * x0;
  const double h = std::max(up_level, down_level);
  // The critical-flow discharge integrated across the water surface's width
  // over the parabola; submergence is not taken into account.
  const double q = root_two_g * cd / a * 0.03125 * 2.0 * std::sqrt(4.0 * a * (h - zv) + s1 * s1) *
                   std::sqrt(h - z0) * (s1 * s1 - 4.0 * a * (zv + z0 - 2.0 * h)) / a;
  return up_level > down_level ? q : -q;
}

culvert_geometry culvert_section(double d, double depth, double w, int shape) {
  culvert_geometry s;
  if (shape == culvert_shape::round) {
    if (depth < 0.0) return s;
    if (depth >= d) {
      s.area = 3.1415926 * d * d / 4.0;
      s.perimeter = 3.1415926 * d;
      return s;
    }
    const double r = 0.5 * d;
    const double theta = std::acos((r - depth) / r);  // half the angle the water subtends
    s.area = r * r * theta - (r - depth) * r * std::sin(theta);
    s.perimeter = theta * d;
    s.top_width = d * std::sin(theta);
  } else if (shape == culvert_shape::oval) {
    if (depth <= 0.0) return s;
    // Fitted to the oval's shape as fractions of the rise and span.
    const double q = std::min(depth / d, 1.0);
    const double q2 = q * q, q3 = q2 * q, q4 = q3 * q;
    s.area = (0.450552317 * q2 + 0.850625935 * q - 0.0265118802 - 0.48046422 * q3) * d * w;
    const double rh =
        (1.1666329 * q - 0.0382820242 - 1.32389992 * q2 + 1.04200851 * q3 - 0.526837711 * q4) *
        d;
    s.perimeter = s.area / rh;
    s.top_width =
        (3.13077957 * q + 0.656758295 - 9.66782176 * q2 + 11.9256017 * q3 - 5.88560436 * q4) * w;
  } else if (shape == culvert_shape::box) {
    if (depth < 0.0) {
      s.perimeter = w;
      s.top_width = w;
    } else if (depth >= d) {
      s.area = d * w;
      s.perimeter = 2.0 * d + 2.0 * w;
    } else {
      s.area = depth * w;
      s.perimeter = 2.0 * depth + w;
      s.top_width = w;
    }
  }
  return s;
}

double culvert_flow_area(int shape, double d, double w, double depth) {
  if (shape == culvert_shape::round) {
    const double r = 0.5 * d;
    const double y = std::clamp(depth, 0.0, d);  // keeps acos in its range
    const double theta = std::acos((r - y) / r);
    return r * r * theta - std::sin(theta) * (r - y) * r;
  }
  if (shape == culvert_shape::box) return depth < 0.0 ? 0.0 : w * depth;
  return 0.0;
}

double culvert_solve_depth(int shape, double d, double w, double q) {
  if (shape == culvert_shape::box) return std::pow((q / w) * (q / w) / g, 0.3333333333333);
  if (shape != culvert_shape::round) {
    set_error(err_arch_culvert);
    return 0.0;
  }
  // Critical flow: A^1.5 / T^0.5 = q / sqrt(g). Newton on t, the offset of
  // the water surface below the pipe's centre (m), which keeps the top width
  // 2 sqrt(r^2 - t^2) smooth across the half-full depth.
  const double r = 0.5 * d;
  const double target = q / std::sqrt(g);
  double t = 0.001;
  for (int iteration = 0; iteration < 1000; ++iteration) {
    const double depth = r - t;
    const double area = culvert_flow_area(shape, d, w, depth);
    const double top = d * std::sin(std::acos(std::fabs(depth - r) / r));
    const double h = std::sqrt(r * r - t * t);  // half the top width, m
    const double f = std::pow(area, 1.5) / std::sqrt(top) - target;
    const double slope = 1.5 * std::sqrt(area) / std::sqrt(top) * (-2.0 * h) -
                         0.5 * std::pow(area, 1.5) * std::pow(top, -1.5) * (-2.0 * t / h);
    double next = t - f / slope;
    // Past the crown or the invert the section has no width: step back inside.
    if (next < -r) next = 0.001 - r;
    if (next > r) next = r - 0.001;
    const double change = std::fabs(next - t);
    t = next;
    if (change <= 1e-8) return r - t;
  }
  set_error(err_culvert_critical_depth);
  return r - t;
}

double culvert_energy_residual(int shape, double d, double w, double cd, double head, double q) {
  const double yc = culvert_solve_depth(shape, d, w, q);
  const double area = culvert_flow_area(shape, d, w, yc);
  return q - area * cd * root_two_g * std::sqrt(head - yc);
}

root_result zbrent(int shape, double d, double w, double cd, double head, double x1, double x2,
                   double tolerance) {
  constexpr double eps = 3e-8;  // relative precision asked of the root
  constexpr int max_iterations = 100;
  auto residual = [&](double q) { return culvert_energy_residual(shape, d, w, cd, head, q); };
  auto same_sign = [](double u, double v) { return (u > 0.0 && v > 0.0) || (u < 0.0 && v < 0.0); };

  double a = x1, b = x2, c = x2;
  double fa = residual(a), fb = residual(b);
  if (same_sign(fa, fb)) {
    print_message(summary_file, "Problem in ZBRENT root finder\n");
    print_message(summary_file, "Root must be bracketed\n");
    return {culvert_failure, 0};
  }
  double fc = fb;
  double step = 0.0, last_step = 0.0;  // this and the step before, m3/s
  for (int iteration = 1; iteration <= max_iterations; ++iteration) {
    // c is kept on the other side of the root from b.
    if (same_sign(fb, fc)) {
      c = a;
      fc = fa;
      step = b - a;
      last_step = step;
    }
    // b is the best estimate so far.
    if (std::fabs(fc) < std::fabs(fb)) {
      a = b;
      b = c;
      c = a;
      fa = fb;
      fb = fc;
      fc = fa;
    }
    const double tol1 = 2.0 * eps * std::fabs(b) + 0.5 * tolerance;
    const double half = 0.5 * (c - b);
    if (std::fabs(half) <= tol1 || fb == 0.0) return {b, iteration};
    if (std::fabs(last_step) >= tol1 && std::fabs(fa) > std::fabs(fb)) {
      const double s = fb / fa;
      double p, q;
      if (a == c) {
        p = 2.0 * half * s;  // secant through a and b
        q = 1.0 - s;
      } else {
        // Inverse quadratic interpolation through a, b and c.
        const double qa = fa / fc;
        const double rb = fb / fc;
        p = s * (2.0 * half * qa * (qa - rb) - (b - a) * (rb - 1.0));
        q = (qa - 1.0) * (rb - 1.0) * (s - 1.0);
      }
      if (p > 0.0) q = -q;
      p = std::fabs(p);
      // Take the interpolated step only while it stays inside the bracket
      // and shrinks faster than bisection would.
      const double limit = std::min(3.0 * half * q - std::fabs(tol1 * q), std::fabs(last_step * q));
      if (2.0 * p < limit) {
        last_step = step;
        step = p / q;
      } else {
        step = half;
        last_step = step;
      }
    } else {
      step = half;
      last_step = step;
    }
    a = b;
    fa = fb;
    b += std::fabs(step) > tol1 ? step : std::copysign(tol1, half);
    fb = residual(b);
  }
  print_message(summary_file, "Maximum number of iterations exceeded in ZBRENT\n");
  return {culvert_failure, max_iterations};
}

culvert_flow culv_flow(const std::vector<struct_element>& elements, int index, double up_level,
                       double down_level) {
  const struct_element& e = elements[std::size_t(index)];
  const int shape = e.type - 2;
  const double d = e.width;   // rise, m
  const double w = e.height;  // span, m
  const double length = e.length;
  const double n = e.rough_coeff;
  const double cc = e.coeff_inlet;
  culvert_flow out;
  out.depth = d;
  out.area = 3.14 * 0.5 * d * d;
  const double cd = direction_coefficient(e, up_level, down_level);

  if (length < 0.0001) {
    print_message(summary_file,
                  "Problem in culv_flow (ex_flow_route.c).  The culvert barrel length\n");
    print_line("in culvert number %d is 0.0.  This is not possible. Program terminated.\n", index);
    out.q = culvert_failure;
    return out;
  }

  const double zu = e.up_invert;
  const double zd = down_invert(e);
  double direction = 1.0;
  double hwl = up_level, twl = down_level;  // head and tail water, m
  double zi = zu, zo = zd;                  // inlet and outlet inverts, m
  if (up_level <= down_level) {
    direction = -1.0;
    hwl = down_level;
    twl = up_level;
    zi = zd;
    zo = zu;
  }
  if (hwl < zi || hwl < zo) return out;

  const double s = direction * (has_down_invert(e) ? (zu - zd) / length : e.slope);
  double head = hwl - zi;  // E, m
  const double hr = s > 0.01 ? head / d : (hwl - zo) / d;
  const double ytw = twl - zo;  // tailwater depth, m
  const double dh = hwl - twl;  // m
  double q = 0.0;
  int type = 0;

  if (length > 40.0 * d && s < 0.01) {
    // Long and mild: the barrel's friction governs.
    if (hr < 1.5) {
      if (ytw < d && twl > zo) {
        const culvert_geometry g3 = culvert_section(d, (0.7 * head + ytw) * 0.5, w, shape);
        q = g3.area * std::sqrt(dh / barrel_loss(n, length, g3.area / g3.perimeter));
        type = 3;
      }
      if (twl <= zo + 0.000001) {
        const culvert_geometry g2 = culvert_section(d, 0.5 * head, w, shape);
        q = g2.area * std::sqrt(dh / barrel_loss(n, length, g2.area / g2.perimeter));
        type = 2;
      }
    } else {
      // Full barrel, taken as the round pipe of the rise whatever the shape.
      const double area = 3.14159 * d * d / 4.0;
      const double loss = barrel_loss(n, length, d / 4.0);
      if (twl > zo + 0.5 * d) {
        q = area * std::sqrt(dh / loss);
        type = 4;
      } else {
        q = area * std::sqrt((hwl - zo - 0.5 * d) / loss);
        type = 6;
      }
    }
    out.q = direction * q;
    out.type = int(direction) * type;
    return out;
  }

  bool full_barrel = hr >= 1.5;
  if (!full_barrel) {
    if (twl < zo + 0.7 * head) {
      // Free outfall: inlet control on a steep barrel, else outlet control
      // with the head taken over the outlet invert.
      type = 1;
      if (s <= 0.01) {
        type = 2;
        head = hwl - zo;
      }
      if (head < 0.01) {
        type = 0;
      } else if (shape == culvert_shape::round) {
        // The coefficient moves from Cd towards Cc as the inlet submerges.
        const double cd_inlet = cc >= 0.01 ? (1.0 - hr / 1.5) * cd + hr * cc / 1.5 : cd;
        const double q0 = cd_inlet * culvert_flow_area(shape, d, w, std::min(d, head)) *
                          root_two_g * std::sqrt(head < d ? head / 3.0 : 0.4 * head);
        out.area = culvert_flow_area(shape, d, w, culvert_solve_depth(shape, d, w, q0));
        const root_result root = zbrent(shape, d, w, cd_inlet, head, 0.0001, q0, 0.0001);
        if (root.root == culvert_failure) {
          print_message(summary_file,
                        "Problem in zbrent (ex_flow_route.c). Hydraulic short culvert routine \n");
          print_line("The flow cannot be determine in culvert number %d\n", index);
          out.q = culvert_failure;
          return out;
        }
        q = root.root;
        out.depth = culvert_solve_depth(shape, d, w, q);
      } else if (shape == culvert_shape::box) {
        const double yc = 2.0 * head / 3.0;  // critical depth over a flat inlet, m
        q = cc * yc * w * root_two_g * std::sqrt(head - yc);
        out.area = yc * w;
        out.depth = yc;
      }
    } else if (twl < zo + d) {
      type = 3;
      q = cd * culvert_section(d, ytw, w, shape).area * std::sqrt(two_g * dh);
    } else {
      full_barrel = true;
    }
  }

  if (full_barrel) {
    double area = 0.0, rh = 0.0;  // full-barrel area (m2) and hydraulic radius (m)
    if (shape == culvert_shape::round) {
      area = 3.1415926 * d * d / 4.0;
      rh = d / 4.0;
    } else if (shape == culvert_shape::oval) {
      area = 0.788 * d * w;
      rh = 0.299 * d;
    } else {
      area = d * w;
      rh = d * w / (2.0 * w + 2.0 * d);
    }
    if (hr >= 1.0 && ytw >= d) {
      // Outlet submerged: the barrel runs full under the level difference.
      double m = 1.0;
      if (length > 15.0) m = 1.0 + 29.0 * cd * cd * n * n * length / std::pow(rh, 4.0 / 3.0);
      q = cd * area * std::sqrt(2.0 * 9.81 * dh / m);
      type = 4;
    } else if (hr >= 1.5 && twl < zo + d) {
      // Inlet orifice against the barrel running full to a free outlet.
      const double q_inlet = cd * area * root_two_g * std::sqrt(head);
      const double q_barrel = cd * area * std::sqrt(two_g * (hwl - zo - d));
      q = std::min(q_inlet, q_barrel);
      type = q_inlet < q_barrel ? 5 : 6;
    } else {
      q = 0.0;
      type = 0;
    }
  }

  out.q = direction * q;
  out.type = int(direction) * type;
  return out;
}

double limit_inlet_coefficient(double ratio) { return ratio > 1.0 ? 0.99 : ratio; }

bool calibrate_culvert(std::vector<struct_element>& elements, int index, int link) {
  struct_element& e = elements[std::size_t(index)];
  const double d = e.width;
  const double z = e.up_invert;
  // The tailwater must stand clear below the outlet so that both runs are
  // free outfalls; a fixed level of 0 m would put a barrel lying below sea
  // level into its submerged or reverse branches.
  const double tail = std::min(0.0, down_invert(e) - d);
  // The first run stands at a head of 1.5 rises over the inlet, where the
  // barrel runs full; 1.5 d + z less z can fall an ulp short of 1.5 d and
  // take the inlet-control branch at some inverts, so the level is raised
  // to the first one whose head over the invert reaches 1.5 d.
  double full_level = 1.5 * d + z;
  while (d > 0.0 && (full_level - z) / d < 1.5) full_level = std::nextafter(full_level, HUGE_VAL);
  bool ok = true;
  e.coeff_inlet = 1.07;
  const culvert_flow first = culv_flow(elements, index, full_level, tail);
  if (first.q == culvert_failure) {
    raise_message("Error in link number: %d ", link);
    ok = false;
  }
  const culvert_flow second = culv_flow(elements, index, 1.49 * d + z, tail);
  if (second.q == culvert_failure) {
    raise_message("Error in link number %d: ", link);
    ok = false;
  }
  e.coeff_inlet = limit_inlet_coefficient(
      first.q / (second.area * std::sqrt((1.49 * d - second.depth) * two_g)));
  return ok;
}

double culvert_link_flow(std::vector<struct_element>& elements, int index, int link,
                         double up_level, double down_level) {
  calibrate_culvert(elements, index, link);
  const culvert_flow flow = culv_flow(elements, index, up_level, down_level);
  if (flow.q == culvert_failure) raise_message("Error in link number %d: ", link);
  return flow.q;
}
