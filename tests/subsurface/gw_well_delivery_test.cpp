// A well at the centre of a square aquifer held at its edges: it delivers
// what it asks while the aquifer can give it, with the steady drawdowns of
// the Dupuit closed form for the square; asked for more than the aquifer
// holds, it is cut and says so.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/error_state.h"
#include "gw_fixture.h"
#include "test_support.h"

namespace {

using gw_fixture::aquifer;

// 81 x 81 cells of 25 m, the outer ring held at the starting table of
// 100 m over a bottom at 0; K = 1e-3 m/s (360 cm/h), porosity 0.01; one
// well at the centre cell (41, 41).
struct square_aquifer : aquifer {
  explicit square_aquifer(double rate) : aquifer(81, 81, 25.0, 200.0, 0.0, 100.0, 360.0, 0.01) {
    for (int k = 1; k <= 81; ++k)
      for (int i : {cell(1, k), cell(81, k), cell(k, 1), cell(k, 81)})
        gw.gwbound[i] = gw_type::fixed_head;
    gw.wells_from_table = 1;
    gw_well well;
    well.id = 7;
    well.rate = rate;
    well.cell = cell(41, 41);
    gw.wells.push_back(well);
  }
};

// Steady drawdown at distance d (m) from the well along its column, by
// Dupuit: K (h0^2 - h^2) / 2 = Q G, G the Green's function of the square
// of side L = 2000 m (the held cells' centres) with the source at its
// centre, G(x0, y) = sum over odd n of (2 / (L k)) sinh(k y<) sinh(k (L - y>))
// / sinh(k L), k = n pi / L, the sinh ratios written with exponentials.
double drawdown(double q, double d) {
  const double L = 2000.0, y0 = 1000.0, y = y0 + d, k_cond = 1e-3, h0 = 100.0;
  double g = 0.0;
  for (int n = 1; n < 20001; n += 2) {
    const double k = n * M_PI / L;
    const double lo = y0, hi = y;  // y< and y>
    const double ratio = std::exp(k * (lo - hi)) * (1.0 - std::exp(-2.0 * k * lo)) *
                         (1.0 - std::exp(-2.0 * k * (L - hi))) / (2.0 * (1.0 - std::exp(-2.0 * k * L)));
    g += 2.0 / (L * k) * ratio;
  }
  return h0 - std::sqrt(h0 * h0 - 2.0 * q * g / k_cond);
}

TEST(gw_well_delivery, the_square_closed_form_near_the_well_is_thiem_with_the_conformal_radius) {
  // Close to the centre the square acts as a circle of its conformal
  // radius, 0.53935 L.
  const double thiem = 100.0 - std::sqrt(1e4 - 0.2 / (M_PI * 1e-3) * std::log(1078.7 / 50.0));
  EXPECT_NEAR(drawdown(0.2, 50.0), thiem, 1e-3);
}

TEST(gw_well_delivery, a_well_the_aquifer_can_feed_delivers_its_rate_with_the_closed_form_drawdowns) {
  error_state = error_record{};
  square_aquifer a(0.2);
  test_support::stdout_capture out;
  a.run(48, 3600.0);  // eight time constants of the square's slowest mode
  const std::string said = out.stop();
  ASSERT_EQ(error_state.code, 0);
  const int well = a.cell(41, 41);
  EXPECT_NEAR(a.gw.gw_pump_rate[std::size_t(well)] * 625.0, 0.2, 1e-12);
  EXPECT_EQ(said.find("cannot give well"), std::string::npos) << said;
  for (int d : {2, 3, 5, 10, 20}) {
    const double s = drawdown(0.2, 25.0 * d);
    for (int i : {a.cell(41 + d, 41), a.cell(41 - d, 41), a.cell(41, 41 + d), a.cell(41, 41 - d)})
      EXPECT_NEAR(100.0 - a.gw.elevgw[std::size_t(i)], s, 0.02 * s) << d << " cells out";
  }
  error_state = error_record{};
}

TEST(gw_well_delivery, a_well_asking_more_than_the_aquifer_holds_is_cut_with_one_warning) {
  error_state = error_record{};
  square_aquifer a(20.0);
  test_support::stdout_capture out;
  a.run(6, 3600.0);
  const std::string said = out.stop();
  ASSERT_EQ(error_state.code, 0);
  const std::size_t well = std::size_t(a.cell(41, 41));
  const double given = a.gw.gw_pump_rate[well] * 625.0;
  EXPECT_NEAR(a.gw.gw_pump_asked[well] * 625.0, 20.0, 1e-9);
  EXPECT_LT(given, 20.0);
  EXPECT_GE(given, 0.0);
  EXPECT_GE(a.gw.elevgw[well], 0.001 - 1e-12);
  const std::string warning = "Warning: the aquifer cannot give well 7 (cell ";
  const std::size_t at = said.find(warning);
  ASSERT_NE(at, std::string::npos) << said;
  EXPECT_NE(said.find("20 m3/s asked", at), std::string::npos) << said;
  // It names the rate the aquifer gave in the first interval it was cut:
  // short of the rate asked.
  const std::size_t comma = said.find("asked, ", at);
  ASSERT_NE(comma, std::string::npos) << said;
  const double named = std::stod(said.substr(comma + 7));
  EXPECT_GT(named, 0.0) << said;
  EXPECT_LT(named, 20.0) << said;
  EXPECT_NE(said.find(" m3/s delivered.", comma), std::string::npos) << said;
  EXPECT_EQ(said.find(warning, at + 1), std::string::npos) << "warned once";
  error_state = error_record{};
}

}  // namespace
