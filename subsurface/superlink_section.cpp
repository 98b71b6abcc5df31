// Section geometry and the end depths of the superlink solve. The critical
// depth of a circle is found by Newton's method on the height of the water
// surface below the centre; the normal depth of a circle by a Newton
// iteration kept inside a bracket, since Manning's discharge of a circle
// rises only up to 0.93818 D and falls above it, where an unguarded
// iteration from a quarter of the diameter runs off to the crown.

#include "subsurface/superlink_section.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "subsurface/superlink_state.h"

namespace {

constexpr double g = 9.81;  // m/s2

void say(const char* text) {
  std::fputs(text, stdout);
}

// Manning discharge of a circle of diameter d filled to y, and its rise
// with y.
struct manning_point {
  double q = 0.0;
  double dq = 0.0;
};

manning_point circular_manning(double d, double y, double k) {
  const double r = 0.5 * d;
  const double theta = std::acos((r - y) / r);
  const double s = std::sin(theta);
  const double area = r * r * theta - (r - y) * r * s;
  const double per = d * theta;
  manning_point p;
  if (area <= 0.0 || per <= 0.0) return p;
  const double rh23 = std::cbrt((area / per) * (area / per));
  p.q = k * area * rh23;
  const double top = d * s;
  const double dper = s > 0.0 ? 2.0 / s : 0.0;
  p.dq = k * rh23 * (5.0 / 3.0 * top - 2.0 / 3.0 * area / per * dper);
  return p;
}

}  // namespace

void superlink_section_props(double diameter, double y, double width, int type,
                             section_props& out) {
  const double d = diameter;
  switch (type) {
    case pipe_section::circular: {
      if (y < 0.0) {
        out = section_props{};
      } else if (y >= d) {
        out.top_width = 0.0;
        out.wet_per = 3.1415926 * d;
        out.area = 3.1415926 * d * d / 4.0;
      } else {
        const double r = 0.5 * d;
        const double theta = std::acos((r - y) / r);
        out.top_width = d * std::sin(theta);
        out.wet_per = d * theta;
        out.area = r * r * theta - (r - y) * r * std::sin(theta);
      }
      return;
    }
    case pipe_section::arch: {
      if (y <= 0.0) {
        out = section_props{};
        return;
      }
      const double p = d > y ? y / d : 1.0;
      const double p2 = p * p, p3 = p2 * p, p4 = p3 * p;
      out.area = (0.450552317 * p2 + 0.850625935 * p - 0.0265118802 - 0.48046422 * p3) * d * width;
      out.wet_per = out.area / ((1.1666329 * p - 0.0382820242 - 1.32389992 * p2 +
                                 1.04200851 * p3 - 0.526837711 * p4) * d);
      out.top_width = (0.656758295 + 3.13077957 * p - 9.66782176 * p2 + 11.9256017 * p3 -
                       5.88560436 * p4) * width;
      return;
    }
    case pipe_section::rectangular: {
      if (y < 0.0) {
        out.area = 0.0;
        out.top_width = width;
        out.wet_per = width;
      } else if (y >= d) {
        out.top_width = 0.0;
        out.area = d * width;
        out.wet_per = 2.0 * d + 2.0 * width;
      } else {
        out.top_width = width;
        out.wet_per = 2.0 * y + width;
        out.area = y * width;
      }
      return;
    }
    default:
      return;
  }
}

double superlink_flow_area(int type, double diameter, double width, double y) {
  if (y <= 0.0) return 0.0;
  if (type == pipe_section::circular) {
    const double r = 0.5 * diameter;
    if (y >= diameter) return 3.1415926 * r * r;
    const double theta = std::acos((r - y) / r);
    return r * r * theta - std::sin(theta) * (r - y) * r;
  }
  if (type == pipe_section::rectangular) return width * y;
  return 0.0;
}

int superlink_crit_calc(int type, double diameter, double width, double q, double& yc) {
  if (type == pipe_section::arch) {
    say("arch culverts not yet supported in subroutine superlink_crit_calc() \n");
    say("program terminated\n");
    return -1;
  }
  if (type == pipe_section::rectangular) {
    yc = std::pow((q / width) * (q / width) / g, 0.3333333333333);
    return 0;
  }
  if (type != pipe_section::circular) return 0;
  const double d = diameter;
  const double r = 0.5 * d;
  const double target = q / std::sqrt(g);
  double z = 0.001;
  double y = r - z;
  for (int iter = 0; iter < 10000; ++iter) {
    const double area = superlink_flow_area(type, d, width, y);
    const double top = d * std::sin(std::acos((2.0 * y - d) / d));
    const double h = std::sqrt(r * r - z * z);
    const double f = area * std::sqrt(area / top) - target;
    const double df = 1.5 * std::pow(top, -0.5) * std::sqrt(area) * (-r * r - (r * r - 2.0 * z * z)) / h -
                      0.5 * std::pow(area, 1.5) * std::pow(top, -1.5) * (-2.0 * z) / h;
    double z_new = z - f / df;
    if (!(z_new >= -r)) z_new = 0.001 - r;  // also catches a step that is no number
    if (z_new > r) z_new = r - 0.001;
    y = r - z_new;
    if (std::fabs(z - z_new) <= 1e-8) {
      yc = y;
      return 0;
    }
    z = z_new;
  }
  say("no convergence in culvert critical depth routine\n");
  say("program terminated.\n");
  return -1;
}

int superlink_norm_calc(int type, double diameter, double width, double n, double q, double s,
                        double& yn) {
  if (type == pipe_section::arch) {
    say("arch culverts not yet supported in subroutine superlink_norm_calc() \n");
    say("program terminated\n");
    return -1;
  }
  if (type != pipe_section::circular && type != pipe_section::rectangular) return 0;
  if (!(s > 0.0)) {
    yn = std::numeric_limits<double>::infinity();
    return 0;
  }
  if (!(q > 0.0)) {
    yn = 0.0;
    return 0;
  }
  const double k = std::sqrt(s) / n;
  if (type == pipe_section::circular) {
    const double d = diameter;
    double hi = circular_capacity_share * d;
    if (q >= circular_manning(d, hi, k).q) {
      yn = d;
      return 0;
    }
    double lo = 0.0;
    double y = 0.25 * d;
    for (int iter = 0; iter < 1000; ++iter) {
      const manning_point p = circular_manning(d, y, k);
      if (p.q > q) hi = y; else lo = y;
      double next = p.dq > 0.0 ? y - (p.q - q) / p.dq : 0.5 * (lo + hi);
      if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
      if (std::fabs(next - y) <= 1e-10 || hi - lo <= 1e-10) {
        yn = next;
        return 0;
      }
      y = next;
    }
    say("no convergence in culvert normal depth routine\n");
    say("program terminated.\n");
    return -1;
  }
  // Rectangular: the discharge rises with the depth without bound.
  const double w = width;
  double y = 0.5 * diameter;
  for (int iter = 0; iter <= 250; ++iter) {
    const double per = 2.0 * y + w;
    const double found = y;
    const double y_new = y + (q - std::pow(y * w / per, 2.0 / 3.0) * k * y * w) /
                                 (k * (w / per + w * w + 2.0 * y * w / per));
    if (std::fabs(y_new - y) <= 1e-8) {
      yn = found;
      return 0;
    }
    y = y_new;
  }
  say("WARNING NO CONVERGENCE IN NORMCALC!!!\n");
  say("AFTER 250 ITERATIONS.  PROGRAM WILL\n");
  say("FAIL.  CHECK OUTLET SLOPE.  MUST BE\n");
  say("POSITIVE AND SUBCRITICAL.\n");
  return -1;
}
