// Soil-water relations: the Brooks-Corey loam and its closure, the Havercamp
// sand, the saturated limit, the surface slot and the head-content
// conversions both ways.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "soil/soil_relations.h"

namespace {

// A column of n nodes of one soil, every array of both families filled.
struct test_column {
  std::vector<double> phead, theta, khead, watcap, thetas, thetar;
  std::vector<double> lam, bp, bchc, thehac, ahav, bhav, alpha, beta;
  soil_column col;

  explicit test_column(int n) {
    const std::size_t len = static_cast<std::size_t>(n) + 2;
    for (auto* v : {&phead, &theta, &khead, &watcap, &thetas, &thetar, &lam, &bp, &bchc,
                    &thehac, &ahav, &bhav, &alpha, &beta})
      v->assign(len, 0.0);
    col.n = n;
    col.phead = phead.data();
    col.theta = theta.data();
    col.khead = khead.data();
    col.watcap = watcap.data();
    col.thetas = thetas.data();
    col.thetar = thetar.data();
    col.lam = lam.data();
    col.bp = bp.data();
    col.bchc = bchc.data();
    col.thehac = thehac.data();
    col.ahav = ahav.data();
    col.bhav = bhav.data();
    col.alpha = alpha.data();
    col.beta = beta.data();
  }
};

// Loam: Ks 1.32 cm/h, bubbling head read as 11.15 cm.
test_column loam(int n) {
  test_column c(n);
  for (int j = 0; j <= n + 1; ++j) {
    c.thetas[j] = 0.463;
    c.thetar[j] = 0.027;
    c.lam[j] = 0.252;
    c.bp[j] = brooks_corey_bp(11.15);
    c.bchc[j] = brooks_corey_bchc(c.bp[j], c.lam[j]);
    c.thehac[j] = brooks_corey_thehac(c.thetas[j], c.thetar[j], c.lam[j]);
  }
  return c;
}

// Sand of the Havercamp retention and conductivity curves.
test_column sand(int n) {
  test_column c(n);
  for (int j = 0; j <= n + 1; ++j) {
    c.thetas[j] = 0.287;
    c.thetar[j] = 0.075;
    c.alpha[j] = 36.9359;
    c.beta[j] = 3.96;
    c.ahav[j] = 1.175e6;
    c.bhav[j] = 4.74;
  }
  return c;
}

double theta_at(test_column& c, int family, double h) {
  c.phead[1] = h;
  soil_theta_from_head(c.col, 1, family);
  return c.theta[1];
}

double se_of(const test_column& c, double theta) {
  return (theta - c.thetar[1]) / (c.thetas[1] - c.thetar[1]);
}

}  // namespace

TEST(soil_relations, brooks_corey_loam_threshold_and_closure_meet) {
  test_column c = loam(1);
  EXPECT_DOUBLE_EQ(c.bp[1], -11.15);
  EXPECT_DOUBLE_EQ(brooks_corey_bp(-11.15), -11.15);
  EXPECT_NEAR(c.bchc[1], -17.8563, 1e-4);
  EXPECT_NEAR(c.thehac[1], 0.414211, 1e-6);

  // At hc the pure curve gives Sc; just above it the closure must give the
  // same, so the content has no jump there.
  const double hc = c.bchc[1];
  const double below = se_of(c, theta_at(c, soil_family_brooks, hc));
  const double above = se_of(c, theta_at(c, soil_family_brooks, hc * (1.0 - 1e-12)));
  EXPECT_NEAR(below, 0.888099, 1e-6);
  EXPECT_NEAR(above, 0.888099, 1e-6);
  EXPECT_NEAR(above, below, 1e-9);

  EXPECT_DOUBLE_EQ(theta_at(c, soil_family_brooks, 0.0), 0.463);
  EXPECT_DOUBLE_EQ(theta_at(c, soil_family_brooks, -1e-9), 0.463);
  EXPECT_DOUBLE_EQ(theta_at(c, soil_family_brooks, 3.0), 0.463);
}

TEST(soil_relations, havercamp_sand_content_and_conductivity) {
  struct row { double h, theta, kr; };
  for (const row& r : {row{-61.5, 0.09985, 0.003882}, row{-20.7, 0.26756, 0.404667}}) {
    SCOPED_TRACE(r.h);
    test_column c = sand(1);
    EXPECT_NEAR(theta_at(c, soil_family_havercamp, r.h), r.theta, 5e-6);
    havercamp_props(c.col);
    EXPECT_NEAR(c.khead[1], r.kr, 5e-7);
    EXPECT_EQ(c.phead[1], r.h);
  }
}

// Kr against Se^(3 + 2/lambda) and Cm against a central difference of the
// content curve, on both sides of hc and in the Havercamp sand.
TEST(soil_relations, capacity_is_the_slope_of_the_content_curve) {
  struct row { int family; double h; };
  const row rows[] = {{soil_family_brooks, -300.0}, {soil_family_brooks, -18.5},
                      {soil_family_brooks, -17.0},  {soil_family_brooks, -4.0},
                      {soil_family_havercamp, -150.0}, {soil_family_havercamp, -36.9},
                      {soil_family_havercamp, -5.0}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.h);
    test_column c = r.family == soil_family_brooks ? loam(1) : sand(1);
    const double step = 1e-4;
    const double slope = (theta_at(c, r.family, r.h + step) - theta_at(c, r.family, r.h - step)) /
                         (2.0 * step);
    const double theta = theta_at(c, r.family, r.h);
    if (r.family == soil_family_brooks) {
      brooks_corey_props(c.col);
      EXPECT_NEAR(c.khead[1], std::pow(se_of(c, theta), 3.0 + 2.0 / 0.252), 1e-12);
    } else {
      havercamp_props(c.col);
    }
    EXPECT_GT(c.watcap[1], 0.0);
    EXPECT_NEAR(c.watcap[1], slope, 1e-7 * std::fabs(slope) + 1e-12);
    EXPECT_EQ(c.theta[1], theta);
  }
}

TEST(soil_relations, saturated_nodes_conduct_fully_and_store_nothing) {
  for (double h : {0.0, 1e-12, 25.0}) {
    SCOPED_TRACE(h);
    test_column b = loam(1);
    b.phead[1] = h;
    b.theta[1] = 0.463;
    brooks_corey_props(b.col);
    EXPECT_DOUBLE_EQ(b.khead[1], 1.0);
    EXPECT_EQ(b.watcap[1], 0.0);

    test_column s = sand(1);
    s.phead[1] = h;
    s.theta[1] = 0.2;
    havercamp_props(s.col);
    EXPECT_EQ(s.khead[1], 1.0);
    EXPECT_EQ(s.watcap[1], 0.0);
    EXPECT_EQ(s.theta[1], 0.287);
  }
  // Brooks-Corey leaves the content of a ponded node alone.
  test_column b = loam(1);
  b.phead[1] = 5.0;
  b.theta[1] = 0.3;
  brooks_corey_props(b.col);
  EXPECT_EQ(b.theta[1], 0.3);
}

TEST(soil_relations, surface_slot_takes_the_top_node) {
  test_column b = loam(3);
  test_column s = sand(3);
  const double heads[] = {0.0, -40.0, -10.0, 2.0};
  for (int j = 1; j <= 3; ++j) {
    b.phead[j] = s.phead[j] = heads[j];
    soil_theta_from_head(b.col, j, soil_family_brooks);
    soil_theta_from_head(s.col, j, soil_family_havercamp);
  }
  b.khead[0] = s.khead[0] = b.watcap[0] = s.watcap[0] = -1.0;
  brooks_corey_props(b.col);
  havercamp_props(s.col);
  for (test_column* c : {&b, &s}) {
    EXPECT_EQ(c->khead[0], c->khead[1]);
    EXPECT_EQ(c->watcap[0], c->watcap[1]);
    EXPECT_LT(c->khead[1], c->khead[2]);
  }

  // An empty column still fills the slot from node 1 and computes nothing.
  for (int family : {soil_family_brooks, soil_family_havercamp}) {
    test_column c = family == soil_family_brooks ? loam(0) : sand(0);
    c.phead[1] = -30.0;
    c.khead[1] = 0.25;
    c.watcap[1] = 0.003;
    if (family == soil_family_brooks) brooks_corey_props(c.col);
    else havercamp_props(c.col);
    EXPECT_EQ(c.khead[0], 0.25);
    EXPECT_EQ(c.watcap[0], 0.003);
    EXPECT_EQ(c.khead[1], 0.25);
  }
}

TEST(soil_relations, head_and_content_round_trip) {
  struct row { int family; double h; };
  // Family 0 takes the Havercamp forms.
  const row rows[] = {{soil_family_brooks, -2000.0}, {soil_family_brooks, -17.8563},
                      {soil_family_brooks, -17.0},   {soil_family_brooks, -11.15},
                      {soil_family_brooks, -0.5},    {soil_family_havercamp, -500.0},
                      {soil_family_havercamp, -61.5}, {soil_family_havercamp, -0.5},
                      {soil_family_none, -20.7}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.h);
    test_column c = r.family == soil_family_brooks ? loam(1) : sand(1);
    const double theta = theta_at(c, r.family, r.h);
    c.phead[1] = 99.0;
    soil_head_from_theta(c.col, 1, r.family);
    EXPECT_NEAR(c.phead[1], r.h, 1e-9 * std::max(1.0, std::fabs(r.h)));
    EXPECT_NEAR(theta_at(c, r.family, c.phead[1]), theta, 1e-12);
  }
  test_column n = sand(1), h = sand(1);
  EXPECT_EQ(theta_at(n, soil_family_none, -20.7), theta_at(h, soil_family_havercamp, -20.7));
}

TEST(soil_relations, dry_node_keeps_its_head_and_full_node_has_zero_head) {
  for (int family : {soil_family_brooks, soil_family_havercamp}) {
    SCOPED_TRACE(family);
    test_column c = family == soil_family_brooks ? loam(1) : sand(1);
    for (double over_residual : {0.0, -0.01}) {
      c.phead[1] = -123.0;
      c.theta[1] = c.thetar[1] + over_residual;
      soil_head_from_theta(c.col, 1, family);
      EXPECT_EQ(c.phead[1], -123.0);
    }
    // Saturation and beyond sit at the top of the curve, not at a NaN head.
    for (double over_saturation : {0.0, 0.002}) {
      c.phead[1] = -123.0;
      c.theta[1] = c.thetas[1] + over_saturation;
      soil_head_from_theta(c.col, 1, family);
      EXPECT_EQ(c.phead[1], 0.0);
    }
  }
}

TEST(soil_relations, theta_from_head_returns_the_change_of_content) {
  test_column c = loam(1);
  c.theta[1] = 0.2;
  c.phead[1] = -40.0;
  const double change = soil_theta_from_head(c.col, 1, soil_family_brooks);
  EXPECT_DOUBLE_EQ(change, c.theta[1] - 0.2);
  EXPECT_NEAR(c.theta[1], 0.027 + 0.436 * std::pow(11.15 / 40.0, 0.252), 1e-15);
  EXPECT_EQ(soil_theta_from_head(c.col, 1, soil_family_brooks), 0.0);
}
