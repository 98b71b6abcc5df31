// Layered Green and Ampt over one hour: the Newton rate in the top layer,
// the front crossing into layer 2, a layer at its porosity and a dry cell.

#include <gtest/gtest.h>

#include "soil/infiltration_methods.h"
#include "soil_fixture.h"

namespace {

// One cell of one soil type: layer 1 K 1 cm/h, psi 10 cm, theta_i 0.1 and
// porosity 0.4 (jump 0.3), depth d1; layer 2 with the given jump.
void layered_cell(model_state& s, double d1, double jump2, double ponded_cm) {
  soil_fixture::build_cells(s, 1, 0.0, 0.0, 0.4, 0.1);
  soil_type_record t;
  t.id = 7;
  for (int l = 1; l <= 3; ++l) {
    t.k[l] = 1.0;
    t.psi[l] = 10.0;
    t.phi[l] = 0.4;
    t.thi[l] = 0.1;
  }
  t.thi[2] = 0.4 - jump2;
  t.d1 = d1;
  t.d2 = 50.0;
  s.soil.soil_types = {soil_type_record{}, t};
  s.soil.soiltype = {0, 1};
  s.soil.theta_ml = {{}, {0.0, t.thi[1], t.thi[2], t.thi[3]}};
  s.surface.depth[1] = ponded_cm / 100.0;
}

TEST(multilayer_ga, one_hour_cases) {
  {
    SCOPED_TRACE("front in layer 1");
    model_state s;
    layered_cell(s, 20.0, 0.3, 2.0);
    multilayer_ga_parallel(s, 1.0);
    EXPECT_NEAR(s.soil.inf_rate[1], 1.95031, 1e-5);
    EXPECT_NEAR(s.soil.cum_inf[1], 1.0 * s.soil.inf_rate[1] / 100.0, 1e-15);
    EXPECT_NEAR(s.surface.depth[1], (2.0 - s.soil.inf_rate[1]) / 100.0, 1e-15);
    EXPECT_NEAR(s.soil.wetdep[1], 10.5229, 1e-4);
  }
  {
    SCOPED_TRACE("front crossing into layer 2");
    model_state s;
    layered_cell(s, 5.0, 0.25, 2.0);
    multilayer_ga_parallel(s, 1.0);
    EXPECT_NEAR(s.soil.wetdep[1], 11.6275, 1e-4);
  }
  {
    SCOPED_TRACE("a layer at its porosity takes 0.01 phi as its jump");
    model_state s;
    layered_cell(s, 20.0, 0.3, 2.0);
    s.soil.theta_ml[1][1] = 0.4;
    multilayer_ga_parallel(s, 1.0);
    // M = 10 x 0.004 = 0.04 cm; the rate M/Fn + 1 gives the Newton depth Fn,
    // 1.135 cm, whose front passes layer 1 (0.08 cm of water) into layer 2.
    const double rate = s.soil.inf_rate[1];
    const double fn = 0.04 / (rate - 1.0);
    EXPECT_NEAR(fn, 1.135, 0.005);
    EXPECT_NEAR(s.soil.wetdep[1], (fn - 20.0 * 0.004) / 0.3 + 20.0, 1e-9);
  }
  {
    SCOPED_TRACE("a cell without ponding keeps its depth");
    model_state s;
    layered_cell(s, 20.0, 0.3, 0.0);
    s.surface.depth[1] = 5e-17;
    s.soil.inf_rate[1] = 3.0;
    multilayer_ga_parallel(s, 1.0);
    EXPECT_EQ(s.soil.inf_rate[1], 0.0);
    EXPECT_EQ(s.surface.depth[1], 5e-17);
  }
}

}  // namespace
