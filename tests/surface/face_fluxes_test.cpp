// The overland face law: Manning's formula on the water-surface slope, out
// of the higher cell by its depth above its retention depth, and closed by
// the dike bits on a cell's right and bottom sides; the layered law of
// wetland cells, Darcy flow through a snow pack, and the stages of lake
// cells.

#include "surface/face_fluxes.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include "surface/manning_power.h"
#include "surface/surface_state.h"

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

TEST(manning_power, a_block_of_depths_gives_the_bits_of_one_depth_at_a_time) {
  // Both routers take their faces' powers a block at a time and their
  // other faces one at a time; a block that holds depths outside the fast
  // form's bounds takes those by the library's power and the rest alike.
  std::vector<double> g;
  for (double x = 1e-9; g.size() < std::size_t(power_block); x *= 1.37) g.push_back(x);
  g[5] = 0.0;
  g[17] = 1e-310;
  g[40] = std::nan("");
  g[63] = 1.0;
  for (const int count : {1, 7, power_block}) {
    std::vector<double> power(std::size_t(power_block), -1.0);
    manning_powers(g.data(), count, power.data());
    for (int k = 0; k < count; ++k) {
      const double one = manning_power(g[std::size_t(k)]);
      ASSERT_EQ(std::bit_cast<std::uint64_t>(power[std::size_t(k)]),
                std::bit_cast<std::uint64_t>(one))
          << g[std::size_t(k)];
    }
    if (count < power_block) {
      EXPECT_EQ(power[std::size_t(count)], -1.0);
    }
  }
}

// Manning discharge through a 100 m face, by hand: g^(5/3) / n x sqrt(S) x 100.
double manning(double g, double n, double s) { return std::pow(g, 5.0 / 3.0) / n * std::sqrt(s) * 100.0; }

TEST(manning_power, is_the_five_thirds_power_to_a_few_units_in_the_last_place) {
  // Against the power in long double: every depth a router can meet, from
  // a film of 1e-12 m to 1 km, and across the binade edges the bit guess
  // starts from.
  for (double g = 1e-12; g < 1e3; g *= 1.0137) {
    for (double x : {g, std::nextafter(std::exp2(std::floor(std::log2(g))), 0.0)}) {
      const long double exact = std::pow(static_cast<long double>(x), 5.0L / 3.0L);
      const double rel = std::fabs(static_cast<double>((manning_power(x) - exact) / exact));
      ASSERT_LT(rel, 1e-15) << x;
    }
  }
  EXPECT_EQ(manning_power(0.0), 0.0);
  EXPECT_DOUBLE_EQ(manning_power(1.0), 1.0);
  EXPECT_DOUBLE_EQ(manning_power(8.0), 32.0);
  EXPECT_TRUE(std::isnan(manning_power(std::nan(""))));
  EXPECT_EQ(manning_power(INFINITY), INFINITY);
}

TEST(manning_power, the_guess_in_vector_lanes_gives_the_scalar_guess_to_the_bit) {
  // The two forms must agree on every bit pattern, or the routers' fluxes
  // would depend on which loop took a face: the ends of each 26-bit half of
  // the split, the corners of the range, then a spread of random patterns
  // of every length.
  std::vector<std::uint64_t> bits = {0, 1, 2, 3, 4, 5, 0x3FFFFFF, 0x4000000, 0x4000001,
                                     0xBFFFFFF, 0xC000000, 0xFFFFFFFFFFFFFFFFull,
                                     0x7FF0000000000000ull, 0x8000000000000000ull};
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  for (int k = 0; k < 2000000; ++k) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    bits.push_back(state >> (k % 64));
  }
  for (const std::uint64_t b : bits) {
    ASSERT_EQ(third_in_lanes(b), b / 3) << std::hex << b;
    const double g = std::bit_cast<double>(b);
    ASSERT_EQ(std::bit_cast<std::uint64_t>(manning_power_guess_in_lanes(g)),
              std::bit_cast<std::uint64_t>(manning_power_guess(g)))
        << std::hex << b;
  }
}

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

namespace {

// The wetland type of the WETLAND_PROPERTIES row 50, 0, 8.64, 100, 43.2, 0.1,
// 0 in model units, as the table reader stores it: d0 0.05 m, k1 1e-4 1/s,
// P 0.1 m, k2 5e-4 1/s, n 0.1.
wetland_record sample_wetland() {
  wetland_record w;
  w.value = {50.0 / 1000.0, 0.0, 8.64 / 86400.0, 100.0 / 1000.0, 43.2 / 86400.0, 0.0, 0.1, 0.0};
  return w;
}

// Two 10 m cells side by side, cell 2 on ground 0 and dry unless set: cell 1
// stands 0.1 m higher (S = 0.01) when its ground is 0.1 - h1.
struct pair10 {
  std::vector<double> z = {0.0, 0.0, 0.0};
  std::vector<double> h = {0.0, 0.0, 0.0};
  std::vector<double> retention = {0.0, 0.0, 0.0};
  std::vector<double> n = {0.0, 0.05, 0.05};
  std::vector<int> wetland = {0, 0, 0};
  std::vector<wetland_record> types = {wetland_record{}, sample_wetland()};
  std::vector<double> snow = {0.0, 0.0, 0.0};
  face_inputs in() const {
    face_inputs f;
    f.cells = 2;
    f.dx = 10.0;
    f.elevation = z.data();
    f.retent_dep = retention.data();
    f.dist_rough = n.data();
    f.wetland_mask = wetland.data();
    f.wetland_types = types.data();
    f.snow_we = snow.data();
    return f;
  }
};

TEST(face_flux, wetland_cells_seep_below_d0_and_blend_into_manning_over_p) {
  struct wetland_case {
    const char* label;
    int wetland1, wetland2;
    double h_up;     // depth of the upstream cell, m
    bool cell1_up;   // else cell 2 stands 0.1 m higher
    double flux;     // from cell 1 to cell 2, m3/s
  };
  // By hand with S = 0.01 and dx = 10: below d0 S h k1 dx; above it, with
  // g = h - d0, A = S d0 k1 dx, B = g S k2 dx, J = sqrt(S) / n g^(5/3) dx,
  // (1 - g/P) B + J g/P + A while g < P, A + J beyond.
  const wetland_case cases[] = {
      {"below d0: seepage only", 1, 1, 0.03, true, 3.0e-7},
      {"at d0", 1, 0, 0.05, true, 5.0e-7},
      {"just above d0 it goes on from the seepage", 1, 0, 0.05 + 1e-9, true, 5.0000005e-7},
      {"half way through P", 1, 0, 0.10, true, 0.0339320},
      {"beyond P", 1, 1, 0.20, true, 0.4234667},
      {"wetland 2 upstream of wetland 1: the same, negative", 1, 1, 0.10, false, -0.0339320},
      {"wetland 2 upstream of a free cell: no seepage term", 0, 1, 0.10, false, -0.0339315},
      {"wetland 2 upstream of a free cell below d0 passes nothing", 0, 1, 0.03, false, 0.0},
      {"a free cell upstream of a wetland: plain Manning", 0, 1, 0.10, true,
       std::pow(0.1, 5.0 / 3.0) / 0.05 * 0.1 * 10.0},
  };
  for (const wetland_case& c : cases) {
    SCOPED_TRACE(c.label);
    pair10 p;
    p.wetland = {0, c.wetland1, c.wetland2};
    const int up = c.cell1_up ? 1 : 2;
    p.h[std::size_t(up)] = c.h_up;
    p.z[std::size_t(up)] = 0.1 - c.h_up;
    const double q = face_flux(p.in(), p.h.data(), 1, 2);
    EXPECT_NEAR(q, c.flux, 1e-6 * std::fabs(c.flux) + 1e-18);
    // Between two cells of one kind the face reads the same from both sides.
    if (c.wetland1 == c.wetland2) {
      EXPECT_EQ(face_flux(p.in(), p.h.data(), 2, 1), -q);
    }
  }
  // Equal stages move nothing, also between wetlands.
  pair10 level;
  level.wetland = {0, 1, 1};
  level.h = {0.0, 0.2, 0.1};
  level.z = {0.0, 0.0, 0.1};
  EXPECT_EQ(face_flux(level.in(), level.h.data(), 1, 2), 0.0);
}

TEST(face_flux, a_snow_pack_passes_darcy_flow_until_its_reynolds_number_reaches_the_threshold) {
  struct snow_case {
    const char* label;
    double snow1;      // snow water equivalent of cell 1, m
    double reynolds;   // threshold, 0 off
    double h1, h2, z1, z2;
    double flux;       // m3/s
  };
  // S = 0.02, K = 0.001 m/s, g = 0.05 m, dx = 10 m: Darcy S K g dx = 1e-5
  // m3/s at Re = S K h / 1e-6 = 1.0; Manning with n 0.05 gives
  // 0.05^(5/3) / 0.05 x sqrt(0.02) x 10 = 0.19193831.
  const snow_case cases[] = {
      {"snow: Darcy", 0.1, 0.0, 0.05, 0.0, 0.15, 0.0, 1.0e-5},
      {"Re 1 below a threshold of 2: Darcy", 0.1, 2.0, 0.05, 0.0, 0.15, 0.0, 1.0e-5},
      {"Re 1 at a threshold of 0.5: Manning", 0.1, 0.5, 0.05, 0.0, 0.15, 0.0, 0.19193831},
      {"Re 1 at a threshold of exactly 1: Manning", 0.1, 1.0, 0.05, 0.0, 0.15, 0.0, 0.19193831},
      {"no snow: Manning", 0.0, 0.0, 0.05, 0.0, 0.15, 0.0, 0.19193831},
      // Cell 2 upstream by 0.05 m of water: Darcy on its depth, while the
      // Reynolds number takes cell 1's 0.01 m (Re 0.2, below 0.5).
      {"the pack of cell 1 under water from cell 2", 0.1, 0.5, 0.01, 0.05, 0.0, 0.16,
       -0.02 * 0.001 * 0.05 * 10.0},
  };
  for (const snow_case& c : cases) {
    SCOPED_TRACE(c.label);
    pair10 p;
    p.h = {0.0, c.h1, c.h2};
    p.z = {0.0, c.z1, c.z2};
    p.snow = {0.0, c.snow1, 0.0};
    face_inputs in = p.in();
    in.snow_darcy = 0.001;
    in.snow_reynolds = c.reynolds;
    EXPECT_NEAR(face_flux(in, p.h.data(), 1, 2), c.flux, 1e-6 * std::fabs(c.flux));
  }
  // Equal stages give exactly 0 under snow too.
  pair10 level;
  level.h = {0.0, 0.25, 0.75};
  level.z = {0.0, 0.5, 0.0};
  level.snow = {0.0, 0.1, 0.1};
  face_inputs in = level.in();
  in.snow_darcy = 0.001;
  EXPECT_EQ(face_flux(in, level.h.data(), 1, 2), 0.0);
}

TEST(face_flux, a_lake_cell_stands_at_its_lake_level_and_two_lake_cells_move_nothing) {
  // Free cell 1 (ground z1, depth h1) beside lake cell 2 on ground 1.0 m of a
  // lake at 1.5 m; n 0.05, dx 10.
  auto manning10 = [](double g, double s) {
    return std::pow(g, 5.0 / 3.0) / 0.05 * std::sqrt(s) * 10.0;
  };
  struct lake_case {
    const char* label;
    bool channel;   // else an overland lake
    double z1, h1;
    int lake1;      // lake of cell 1, 0 free
    double flux;    // from cell 1 to cell 2, m3/s
  };
  const lake_case cases[] = {
      {"overland: a free cell above the lake runs into it", false, 2.0, 0.1, 0,
       manning10(0.1, 0.06)},
      {"channel: the same", true, 2.0, 0.1, 0, manning10(0.1, 0.06)},
      // Below the lake level the lake drives the flow: an overland lake by
      // its cell's own water (none here), a channel lake by its depth over
      // its ground, 0.5 m.
      {"overland: the lake above a free cell gives by its cell's water", false, 1.0, 0.1, 0, 0.0},
      {"channel: the lake above a free cell gives by its depth", true, 1.0, 0.1, 0,
       -manning10(0.5, 0.04)},
      {"overland: two lake cells at different levels", false, 3.0, 0.5, 2, 0.0},
      {"channel: two lake cells at different levels", true, 3.0, 0.5, 2, 0.0},
  };
  for (const lake_case& c : cases) {
    SCOPED_TRACE(c.label);
    pair10 p;
    p.z = {0.0, c.z1, 1.0};
    p.h = {0.0, c.h1, 0.0};
    const std::vector<int> lake = {0, c.lake1, 1};
    std::vector<olake_record> olakes(3);
    olakes[1].level = 1.5;
    olakes[2].level = 3.2;
    const std::vector<double> levels = {0.0, 1.5, 3.2};
    face_inputs in = p.in();
    if (c.channel) {
      in.chan_lake_cell = lake.data();
      in.chan_lake_elev = levels.data();
    } else {
      in.olake_cell = lake.data();
      in.olakes = olakes.data();
    }
    EXPECT_NEAR(face_flux(in, p.h.data(), 1, 2), c.flux, 1e-12);
    // The sweeps take the same law.
    const std::vector<int> right = {0, 2, 0};
    std::vector<double> q(3, 7.0);
    q[0] = 0.0;
    ov_flux_sweep_x(in, p.h.data(), right.data(), q.data());
    EXPECT_EQ(q[1], face_flux(in, p.h.data(), 1, 2));
    EXPECT_EQ(q[2], 0.0);
  }
}

}  // namespace
