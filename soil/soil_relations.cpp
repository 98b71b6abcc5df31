#include "soil/soil_relations.h"

#include <cmath>

namespace {

double effective_saturation(double theta, double thetas, double thetar) {
  return (theta - thetar) / (thetas - thetar);
}

// Sc, the effective saturation at the threshold head.
double threshold_saturation(const soil_column& col, int j) {
  return effective_saturation(col.thehac[j], col.thetas[j], col.thetar[j]);
}

// The surface slot carries the top node's properties.
void copy_top_node(soil_column& col) {
  col.khead[0] = col.khead[1];
  col.watcap[0] = col.watcap[1];
}

}  // namespace

double brooks_corey_bp(double hb) { return -std::fabs(hb); }

double brooks_corey_bchc(double bp, double lam) {
  const double r = (2.0 / lam) / (2.0 / lam + 1.0);
  return bp * std::pow(r, -1.0 / lam);
}

double brooks_corey_thehac(double thetas, double thetar, double lam) {
  const double r = (2.0 / lam) / (2.0 / lam + 1.0);
  return thetar + (thetas - thetar) * r;
}

void brooks_corey_props(soil_column& col) {
  for (int j = 1; j <= col.n; ++j) {
    const double h = col.phead[j];
    const double lam = col.lam[j], hb = col.bp[j];
    const double range = col.thetas[j] - col.thetar[j];
    if (h <= col.bchc[j]) {
      col.khead[j] = std::pow(h / hb, -(3.0 * lam + 2.0));
      col.watcap[j] = -std::pow(h / hb, -(lam + 1.0)) * range * lam / hb;
    } else if (h <= 0.0) {
      const double se = effective_saturation(col.theta[j], col.thetas[j], col.thetar[j]);
      const double sc = threshold_saturation(col, j);
      // d/dh of the closure 1 - (1 - Sc)(h/hb)^2 Sc^(2/lambda).
      const double g = std::sqrt(1.0 - sc) / hb * std::pow(sc, 1.0 / lam);
      col.khead[j] = std::pow(se, 3.0 + 2.0 / lam);
      col.watcap[j] = -2.0 * h * range * g * g;
    } else {
      col.khead[j] = 1.0;
      col.watcap[j] = 0.0;
    }
  }
  copy_top_node(col);
}

void havercamp_props(soil_column& col) {
  for (int j = 1; j <= col.n; ++j) {
    const double h = col.phead[j];
    if (h >= 0.0) {
      col.khead[j] = 1.0;
      col.watcap[j] = 0.0;
      col.theta[j] = col.thetas[j];
      continue;
    }
    const double a = col.ahav[j], alpha = col.alpha[j], beta = col.beta[j];
    const double x = std::fabs(h) / alpha;
    const double d = std::pow(x, beta) + 1.0;
    col.khead[j] = a / (a + std::pow(std::fabs(h), col.bhav[j]));
    col.watcap[j] =
        std::pow(x, beta - 1.0) * (col.thetas[j] - col.thetar[j]) * beta / alpha / (d * d);
  }
  copy_top_node(col);
}

void soil_head_from_theta(soil_column& col, int j, int family) {
  const double se = effective_saturation(col.theta[j], col.thetas[j], col.thetar[j]);
  if (se <= 0.0) return;
  // Both curves reach zero head at saturation; a content above it would give
  // the root of a negative number, so it is held at the top of the curve.
  const double dry = se < 1.0 ? 1.0 - se : 0.0;
  if (family == soil_family_brooks) {
    const double lam = col.lam[j], hb = col.bp[j];
    if (col.theta[j] > col.thehac[j]) {
      const double sc = threshold_saturation(col, j);
      col.phead[j] = hb * std::pow(sc, -1.0 / lam) * std::sqrt(dry) / std::sqrt(1.0 - sc);
    } else {
      col.phead[j] = hb / std::pow(se, 1.0 / lam);
    }
  } else {
    col.phead[j] = -col.alpha[j] * std::pow(dry / se, 1.0 / col.beta[j]);
  }
}

double soil_theta_from_head(soil_column& col, int j, int family) {
  const double old = col.theta[j];
  const double h = col.phead[j];
  double se = 1.0;
  if (h < 0.0) {
    if (family == soil_family_brooks) {
      const double lam = col.lam[j], hb = col.bp[j];
      if (h <= col.bchc[j]) {
        se = std::pow(hb / h, lam);
      } else {
        const double sc = threshold_saturation(col, j);
        const double g = std::sqrt(1.0 - sc) * (h / hb) * std::pow(sc, 1.0 / lam);
        se = 1.0 - g * g;
      }
    } else {
      se = 1.0 / (std::pow(std::fabs(h) / col.alpha[j], col.beta[j]) + 1.0);
    }
  }
  col.theta[j] = col.thetar[j] + se * (col.thetas[j] - col.thetar[j]);
  return col.theta[j] - old;
}
