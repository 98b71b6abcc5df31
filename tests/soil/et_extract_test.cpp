// The withdrawals from the simple soil-moisture store: demand on ponded
// water first, stress-weighted soil withdrawal, and the store's bounds.

#include <gtest/gtest.h>

#include "soil/infiltration_methods.h"
#include "soil_fixture.h"

namespace {

// One long-term cell: a one-layer store D = Dl = 40 cm, fc 0.30, wp 0.10,
// thr 0.05, phi 0.45, M1 = 8 cm, both ET rates 1e-5 cm/s.
void store_cell(model_state& s, bool layered) {
  soil_fixture::build_cells(s, 1, 1e-6, 0.1, 0.45, 0.2);
  s.input.long_term = 1;
  s.input.top_layer_depth = 40.0;
  soil_state& soil = s.soil;
  soil.field_capacity[1] = 0.30;
  soil.wilting_point[1] = 0.10;
  soil.residual[1] = 0.05;
  soil.store_depth[1] = 40.0;
  soil.m1[1] = 8.0;
  soil.total_water[1] = 8.0;
  soil.et_rate1.assign(2, 1e-5);
  soil.et_rate2.assign(2, 1e-5);
  if (layered) {
    soil_type_record t;
    for (int l = 1; l <= 3; ++l) {
      t.k[l] = 1.0;
      t.lambda[l] = 0.25;
      t.phi[l] = 0.45;
      t.fc[l] = 0.30;
      t.wp[l] = 0.10;
      t.thr[l] = 0.05;
    }
    t.d1 = 40.0;
    t.d2 = 20.0;
    soil.soil_types = {soil_type_record{}, t};
    soil.soiltype = {0, 1};
  }
}

double extract(model_state& s, bool layered) {
  return layered ? et_extract_layered(s, 3600.0) : et_extract_redist(s, 3600.0);
}

TEST(et_extract, withdrawal_cases) {
  for (bool layered : {false, true}) {
    SCOPED_TRACE(layered ? "layered" : "redistribution");
    {
      SCOPED_TRACE("soil only: k1 = 0.5 of 0.036 cm");
      model_state s;
      store_cell(s, layered);
      EXPECT_NEAR(extract(s, layered), 1.8e-4, 1e-15);
      EXPECT_NEAR(s.soil.m1[1], 7.982, 1e-12);
      EXPECT_NEAR(s.soil.total_water[1], 7.982, 1e-12);
    }
    {
      SCOPED_TRACE("0.5 mm ponded pays the demand alone");
      model_state s;
      store_cell(s, layered);
      s.surface.depth[1] = 0.0005;
      EXPECT_EQ(extract(s, layered), 0.0);
      EXPECT_NEAR(s.surface.depth[1], 0.00014, 1e-15);
      EXPECT_EQ(s.soil.m1[1], 8.0);
      EXPECT_NEAR(s.soil.direct_evap[1], 0.036, 1e-15);
    }
    {
      SCOPED_TRACE("a dry store keeps its residual water");
      model_state s;
      store_cell(s, layered);
      s.soil.m1[1] = 2.001;  // 1e-3 cm above residual; the weight would take 6e-3
      s.soil.wilting_point[1] = 0.0;
      if (layered) s.soil.soil_types[1].wp[1] = 0.0;
      EXPECT_NEAR(extract(s, layered), 1e-5, 1e-15);
      EXPECT_NEAR(s.soil.m1[1], 0.05 * 40.0, 1e-12);
    }
    {
      SCOPED_TRACE("infiltration over saturation drains the excess");
      model_state s;
      store_cell(s, layered);
      s.soil.m1[1] = 17.5;
      s.soil.sm_inf[1] = 0.01;  // 1 cm
      extract(s, layered);
      EXPECT_LE(s.soil.m1[1], 0.45 * 40.0 + 1e-12);
      EXPECT_EQ(s.soil.sm_inf[1], 0.0);
      EXPECT_GT(s.soil.deep_perc[1], 0.0);
      // Water in = water kept + withdrawn + drained.
      EXPECT_NEAR(17.5 + 1.0, s.soil.m1[1] + s.soil.deep_perc[1] + 0.036, 1e-12);
    }
  }
}

TEST(et_extract, event_runs_withdraw_nothing) {
  model_state s;
  store_cell(s, false);
  s.input.long_term = 0;
  EXPECT_EQ(et_extract_redist(s, 3600.0), 0.0);
  EXPECT_EQ(s.soil.m1[1], 8.0);
}

}  // namespace
