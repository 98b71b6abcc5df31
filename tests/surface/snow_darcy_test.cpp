// Darcy flow through the snow pack in the ADE router: a cell under snow
// passes S x K x g x dx through its faces instead of Manning's flow, unless
// the pack's Reynolds number reaches the threshold, and the water balance
// still closes when packs and bare cells route side by side.

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "surface/ade_route.h"
#include "surface_run_fixture.h"

namespace {

using namespace surface_fixture;

// Three 10 m cells in a row on ground 0.2, 0.1 and 0 m, n 0.05, the outlet in
// the last; 0.05 m of water stands on the first.
struct snow_strip {
  model_state s;
  snow_strip(double swe1, double swe2, double darcy, double reynolds) {
    build_grid(s, 1, 3, 10.0, {0.2, 0.1, 0.0}, {0.05}, 1, 3, 0.01);
    s.surface.depth[1] = 0.05;
    s.soil.snow.swe = {0.0, swe1, swe2, 0.0};
    s.input.settings.overtype = 2;
    s.input.settings.snow_darcy = darcy;
    s.input.settings.snow_reynolds = reynolds;
  }
};

TEST(snow_darcy, a_pack_passes_darcy_flow_through_the_face_of_its_cell) {
  // S = (0.05 + 0.2 - 0.1) / 10 = 0.015 between cells 1 and 2.
  // Darcy with K = 0.001 m/s: 0.015 x 0.001 x 0.05 x 10 = 7.5e-6 m3/s, at
  // Re = 0.015 x 0.001 x 0.05 / 1e-6 = 0.75.
  // Manning: 0.05^(5/3) / 0.05 x sqrt(0.015) x 10 = 0.166219 m3/s, which
  // moves 0.0166 m in the 10 s step: below half the depth, so the router
  // takes the whole step as one sub-step either way.
  const double darcy = 7.5e-6;
  const double manning = std::pow(0.05, 5.0 / 3.0) / 0.05 * std::sqrt(0.015) * 10.0;
  struct darcy_case {
    const char* label;
    double swe1, swe2;  // snow water equivalent of cells 1 and 2, m
    double k;           // SNOW_DARCY, m/s; 0 off
    double reynolds;    // SNOW_REYNOLDS; 0 off
    double flux;        // cell 1 to cell 2, m3/s
  };
  const darcy_case cases[] = {
      {"a pack on the upstream cell: Darcy", 0.1, 0.0, 0.001, 0.0, darcy},
      {"Re 0.75 below a threshold of 1: Darcy", 0.1, 0.0, 0.001, 1.0, darcy},
      {"Re 0.75 above a threshold of 0.5: Manning", 0.1, 0.0, 0.001, 0.5, manning},
      {"the pack of the downstream cell leaves this face to Manning", 0.0, 0.1, 0.001, 0.0,
       manning},
      {"no pack: Manning", 0.0, 0.0, 0.001, 0.0, manning},
      {"a pack without SNOW_DARCY: Manning", 0.1, 0.0, 0.0, 0.0, manning},
  };
  for (const darcy_case& c : cases) {
    SCOPED_TRACE(c.label);
    clear_errors();
    snow_strip strip(c.swe1, c.swe2, c.k, c.reynolds);
    const surface_state& sf = strip.s.surface;
    EXPECT_EQ(ade_overland_route(strip.s, 10.0), 0.0);  // the outlet stays dry
    EXPECT_EQ(sf.ade_substep, 10.0);
    EXPECT_NEAR(sf.flux_x[1], c.flux, 1e-9 * c.flux);
    EXPECT_NEAR(sf.vol_x[1], c.flux * 10.0, 1e-9 * c.flux);
    // What cell 1 lost over its 100 m2, cell 2 gained; cell 2 was dry, so
    // nothing went on.
    EXPECT_NEAR(sf.depth[1], 0.05 - c.flux * 10.0 / 100.0, 1e-12);
    EXPECT_NEAR(sf.depth[2], c.flux * 10.0 / 100.0, 1e-12);
    EXPECT_EQ(sf.depth[3], 0.0);
  }
  clear_errors();
}

// The tilted V with a pack on its northern 25 rows, K = 0.01 m/s: the packs
// hold the shallow water back (Darcy) and let deeper water run (Reynolds
// number S K h / 1e-6 from 2 on); 10.8 mm/h for 30 minutes, then 10 minutes
// of drainage. The depths after the run.
std::vector<double> snowy_v_depths(int threads, int scheme, bool snow, double* worst,
                                   double* outflow, double* rain) {
  const int saved = omp_get_max_threads();
  omp_set_num_threads(threads);
  model_state s;
  build_tilted_v(s);
  s.soil.snow.swe.assign(std::size_t(s.grid.cells) + 1, 0.0);
  if (snow) {
    for (int i = 1; i <= 25 * 81; ++i) s.soil.snow.swe[std::size_t(i)] = 0.2;
  }
  s.input.settings.snow_darcy = 0.01;
  s.input.settings.snow_reynolds = 2.0;
  step_driver drive(s, 5.0, scheme);
  *worst = 0.0;
  for (int k = 1; k <= 40 * 12; ++k) {
    if (!drive.step(k <= 30 * 12 ? 10.8 : 0.0)) break;
    *worst = std::max(*worst, std::fabs(balance_residual(s)) / s.surface.rain_volume);
  }
  omp_set_num_threads(saved);
  *outflow = s.surface.outflow_volume;
  *rain = s.surface.rain_volume;
  return s.surface.depth;
}

TEST(snow_darcy, the_balance_closes_and_the_thread_count_changes_nothing_under_snow) {
  for (int scheme : {2, 3}) {
    SCOPED_TRACE(scheme);
    clear_errors();
    double worst1 = 0.0, worst3 = 0.0, out1 = 0.0, out3 = 0.0, rain = 0.0, bare_worst = 0.0,
           bare_out = 0.0;
    const std::vector<double> one = snowy_v_depths(1, scheme, true, &worst1, &out1, &rain);
    const std::vector<double> three = snowy_v_depths(3, scheme, true, &worst3, &out3, &rain);
    snowy_v_depths(1, scheme, false, &bare_worst, &bare_out, &rain);
    ASSERT_EQ(error_state.stop_flag, 0);
    EXPECT_LE(worst1, 1e-9);
    EXPECT_LE(worst3, 1e-9);
    // 10.8 mm/h for 0.5 h on 4050 cells of 400 m2.
    EXPECT_NEAR(rain, 0.0108 * 0.5 * 4050 * 400.0, 1e-9 * rain);
    // The packs hold back part of what the bare V gives at its outlet.
    EXPECT_GT(out1, 0.0);
    EXPECT_LT(out1, bare_out);
    ASSERT_EQ(one.size(), three.size());
    EXPECT_EQ(std::memcmp(one.data(), three.data(), one.size() * sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(&out1, &out3, sizeof out1), 0);
  }
  clear_errors();
}

}  // namespace
