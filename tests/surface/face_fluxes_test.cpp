// The overland face law: Manning's formula on the water-surface slope, out
// of the higher cell by its depth above its retention depth, and closed by
// the dike bits on a cell's right and bottom sides.

#include "surface/face_fluxes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// Two 100 m cells side by side: 1 upstream of 2 when its stage is higher.
struct face_pair {
  std::vector<double> z = {0.0, 0.0, 0.0};
  std::vector<double> h = {0.0, 0.0, 0.0};
  std::vector<double> retention = {0.0, 0.0, 0.0};
  std::vector<double> n = {0.0, 0.05, 0.1};
  face_inputs in() const {
    face_inputs f;
    f.cells = 2;
    f.dx = 100.0;
    f.elevation = z.data();
    f.retent_dep = retention.data();
    f.dist_rough = n.data();
    return f;
  }
};

// Manning discharge through a 100 m face, by hand: g^(5/3) / n x sqrt(S) x 100.
double manning(double g, double n, double s) { return std::pow(g, 5.0 / 3.0) / n * std::sqrt(s) * 100.0; }

TEST(face_flux, manning_out_of_the_higher_stage_by_its_depth_above_retention) {
  struct face_case {
    const char* label;
    double z1, h1, r1, z2, h2, r2;
    double flux;  // from cell 1 to cell 2, m3/s
  };
  const face_case cases[] = {
      {"cell 1 upstream, its own n 0.05", 1.0, 0.1, 0.0, 0.0, 0.0, 0.0, manning(0.1, 0.05, 0.011)},
      {"cell 2 upstream, its own n 0.1, negative", 0.0, 0.0, 0.0, 1.0, 0.1, 0.0,
       -manning(0.1, 0.1, 0.011)},
      {"retention held back", 1.0, 0.1, 0.04, 0.0, 0.0, 0.0, manning(0.06, 0.05, 0.011)},
      {"upstream at exactly its retention depth", 1.0, 0.04, 0.04, 0.0, 0.0, 0.0, 0.0},
      {"downstream retention does not matter", 1.0, 0.1, 0.0, 0.0, 0.0, 0.5,
       manning(0.1, 0.05, 0.011)},
      {"equal stages, different depths", 0.3, 0.2, 0.0, 0.0, 0.5, 0.0, 0.0},
      {"equal stages, both dry", 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0},
      {"a dry cell of the higher stage gives nothing", 1.0, 0.0, 0.0, 0.0, 0.5, 0.0, 0.0},
  };
  for (const face_case& c : cases) {
    SCOPED_TRACE(c.label);
    face_pair p;
    p.z = {0.0, c.z1, c.z2};
    p.h = {0.0, c.h1, c.h2};
    p.retention = {0.0, c.r1, c.r2};
    const face_inputs in = p.in();
    const double q = face_flux(in, p.h.data(), 1, 2);
    EXPECT_NEAR(q, c.flux, 1e-12 * (1.0 + std::fabs(c.flux)));
    // Seen from the other side the face carries the same water.
    EXPECT_EQ(face_flux(in, p.h.data(), 2, 1), -q);
    EXPECT_EQ(face_flux(in, p.h.data(), 1, 0), 0.0);
  }
}

TEST(face_flux, the_hand_value_of_a_tenth_of_a_metre_on_one_percent) {
  // 0.1^(5/3) / 0.05 x 0.1 x 100 = 4.3089 m3/s.
  face_pair p;
  p.z = {0.0, 1.0, 0.0};
  p.h = {0.0, 0.1, 0.1};
  EXPECT_NEAR(face_flux(p.in(), p.h.data(), 1, 2), 4.308869380063767, 1e-12);
}

TEST(flux_sweeps, dike_bits_close_a_cells_right_and_bottom_sides) {
  // A 2 x 2 block of 10 m cells, all wet, the top-left cell highest:
  //   1 2
  //   3 4
  const std::vector<double> z = {0.0, 1.0, 0.5, 0.5, 0.0};
  const std::vector<double> h(5, 0.1), retention(5, 0.0), n(5, 0.05);
  const std::vector<int> right = {0, 2, 0, 4, 0}, below = {0, 3, 4, 0, 0};
  struct dike_case {
    const char* label;
    std::vector<int> dikes;  // side bits per cell, empty: no dike map
    bool x_open;             // face 1-2 carries flow
    bool y_open;             // face 1-3 carries flow
  };
  const dike_case cases[] = {
      {"no dike map", {}, true, true},
      {"bit 2 on cell 1 closes its right face", {0, 2, 0, 0, 0}, false, true},
      {"bit 4 on cell 1 closes its lower face", {0, 4, 0, 0, 0}, true, false},
      {"bit 8 on cell 2 alone does not", {0, 0, 8, 0, 0}, true, true},
      {"bit 1 on cell 3 alone does not", {0, 0, 0, 1, 0}, true, true},
      {"bits 2 and 4 together", {0, 6, 0, 0, 0}, false, false},
  };
  for (const dike_case& c : cases) {
    SCOPED_TRACE(c.label);
    face_inputs in;
    in.cells = 4;
    in.dx = 10.0;
    in.elevation = z.data();
    in.retent_dep = retention.data();
    in.dist_rough = n.data();
    in.dike_mask = c.dikes.empty() ? nullptr : c.dikes.data();
    std::vector<double> qx(5, -1.0), qy(5, -1.0);
    qx[0] = qy[0] = 0.0;
    ov_flux_sweep_x(in, h.data(), right.data(), qx.data());
    ov_flux_sweep_y(in, h.data(), below.data(), qy.data());
    EXPECT_EQ(qx[1] > 0.0, c.x_open);
    EXPECT_EQ(qy[1] > 0.0, c.y_open);
    if (!c.x_open) {
      EXPECT_EQ(qx[1], 0.0);
    }
    if (!c.y_open) {
      EXPECT_EQ(qy[1], 0.0);
    }
    // Faces at the grid edge carry nothing.
    EXPECT_EQ(qx[2], 0.0);
    EXPECT_EQ(qx[4], 0.0);
    EXPECT_EQ(qy[3], 0.0);
    EXPECT_EQ(qy[4], 0.0);
  }
}

}  // namespace
