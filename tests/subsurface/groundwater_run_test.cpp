// Whole runs of the aquifer under a soil far above it: analytic heads of a
// strip between two fixed tables and of a pumped well, the balance of a
// closed basin with a static flux, and results that do not change with the
// thread count.

#include <gtest/gtest.h>

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <numeric>
#include <sstream>

#include "gw_run_fixture.h"
#include "input/map_tables.h"
#include "run/model_state.h"
#include "subsurface/gw_channel_exchange.h"

namespace {

using gw_fixture::filled;
using surface_fixture::summary_value;

// One row of twelve 50 m cells between tables held at 20 m and 10 m over a
// bottom at 0: steady Dupuit flow, h^2 linear in x.
gw_fixture::project dupuit_strip() {
  gw_fixture::project p;
  p.rows = 1;
  p.cols = 12;
  p.size = 50.0;
  p.ground = filled(12, 40.0);
  p.bottom = filled(12, 0.0);
  p.table = filled(12, 15.0);
  p.table[0] = 20.0;
  p.table[11] = 10.0;
  p.bound = filled(12, 1.0);
  p.bound[0] = p.bound[11] = 2.0;
  p.hycond = 3600.0;
  p.porosity = 0.1;
  p.days = 5;
  for (int c = 1; c <= 12; ++c) p.wells.push_back({1, c});
  return p;
}

TEST(groundwater_run, dupuit_strip_settles_on_the_parabola) {
  gw_fixture::run r(dupuit_strip());
  ASSERT_EQ(r.out.status, 0) << r.out.text;
  ASSERT_FALSE(r.wells.empty());
  const std::vector<double>& last = r.wells.back();
  ASSERT_EQ(last.size(), 12u);
  for (int c = 2; c <= 11; ++c) {
    const double x = 50.0 * (c - 1);
    const double dupuit = std::sqrt(400.0 - 300.0 * x / 550.0);
    // The harmonic face transmissivities keep the solve a little above.
    EXPECT_GT(last[std::size_t(c - 1)], dupuit) << c;
    EXPECT_NEAR(last[std::size_t(c - 1)], dupuit, 0.005) << c;
  }
  // The held tables never move.
  for (const std::vector<double>& row : r.wells) {
    EXPECT_EQ(row[0], 20.0);
    EXPECT_EQ(row[11], 10.0);
  }
}

// 41 x 41 cells of 25 m, the watershed the centres within 550 m of the
// middle cell, heads held from 500 m on, a well pumping 0.05 m3/s in the
// middle: T = 1e-4 m/s x 500 m = 0.05 m2/s, and Thiem gives the drawdown
// ln(500 / r) / (2 pi) m at r.
gw_fixture::project thiem_well() {
  gw_fixture::project p;
  p.rows = p.cols = 41;
  p.size = 25.0;
  const int n = 41 * 41;
  p.mask = filled(n, 0.0);
  p.bound = filled(n, 0.0);
  p.ground = filled(n, 50.0);
  p.bottom = filled(n, -500.0);
  p.table = filled(n, 0.0);
  std::vector<double> ids = filled(n, 0.0);
  for (int r = 1; r <= 41; ++r) {
    for (int c = 1; c <= 41; ++c) {
      const double d = 25.0 * std::hypot(r - 21, c - 21);
      const std::size_t k = std::size_t((r - 1) * 41 + c - 1);
      p.mask[k] = d <= 550.0 ? 1.0 : 0.0;
      p.bound[k] = d >= 500.0 ? 2.0 : 1.0;
    }
  }
  ids[std::size_t(20 * 41 + 20)] = 1.0;
  p.hycond = 36.0;
  p.porosity = 0.02;
  p.days = 5;
  p.wells.push_back({21, 21});
  for (int k = 2; k <= 10; k += 2) {
    p.wells.push_back({21, 21 + k});
    p.wells.push_back({21, 21 - k});
    p.wells.push_back({21 + k, 21});
    p.wells.push_back({21 - k, 21});
  }
  p.files.push_back({"well.idx", surface_fixture::ascii_grid(41, 41, 25.0, ids)});
  p.files.push_back(
      {"tables.cmt", std::string(grid_table_marker) +
                         "\nINDEX_MAP well.idx wells\nWELL_TABLE wells\nNUM_IDS 1\n"
                         "ID    DESCRIPTION    VALUES\n" +
                         // id in columns 1-6, the description to column 86, values from 89
                         "1     " + std::string(80, 'P') + "  0 0.05 0\n"});
  p.extra = "MAPPING_TABLE tables.cmt\n";
  return p;
}

TEST(groundwater_run, a_pumped_well_draws_down_as_thiem_in_all_four_directions) {
  gw_fixture::run r(thiem_well());
  ASSERT_EQ(r.out.status, 0) << r.out.text;
  ASSERT_FALSE(r.wells.empty()) << r.out.text;
  const std::vector<double>& h = r.wells.back();
  ASSERT_EQ(h.size(), 21u);
  const double pi = std::acos(-1.0);
  for (int k = 1; k <= 5; ++k) {
    const double radius = 50.0 * k;
    const double thiem = std::log(500.0 / radius) / (2.0 * pi);
    const std::size_t at = std::size_t(1 + 4 * (k - 1));
    SCOPED_TRACE(radius);
    EXPECT_NEAR(-h[at], thiem, 0.01);
    for (std::size_t d = 1; d < 4; ++d) EXPECT_NEAR(h[at + d], h[at], 1e-5);
  }
  // The well cell stands for a well of radius 0.208 dx.
  EXPECT_NEAR(-h[0], std::log(500.0 / (0.208 * 25.0)) / (2.0 * pi), 0.015);
}

// 5 x 5 cells of 100 m, no boundary, 864 m3/day injected into the middle
// cell: every hour 36 m3 spread over 25 cells at a porosity of 0.2.
gw_fixture::project closed_basin() {
  gw_fixture::project p;
  p.rows = p.cols = 5;
  p.size = 100.0;
  p.ground = filled(25, 40.0);
  p.bottom = filled(25, 0.0);
  p.table = filled(25, 20.0);
  p.bound = filled(25, 1.0);
  p.hycond = 360.0;
  p.porosity = 0.2;
  p.days = 2;
  for (int r = 1; r <= 5; ++r)
    for (int c = 1; c <= 5; ++c) p.wells.push_back({r, c});
  p.files.push_back({"flux.txt", "1\n3 3 -864.0\n"});
  p.extra = "GW_FLUXBOUNDTABLE flux.txt\n";
  return p;
}

double mean(const std::vector<double>& v) {
  return std::accumulate(v.begin(), v.end(), 0.0) / double(v.size());
}

TEST(groundwater_run, a_closed_basin_keeps_what_it_is_given) {
  gw_fixture::run r(closed_basin());
  ASSERT_EQ(r.out.status, 0) << r.out.text;
  const std::string& text = r.summary;
  const double start = summary_value(text, "GW volume start =");
  const double end = summary_value(text, "GW volume end =");
  const double inputs = summary_value(text, "Total inputs to groundwater=");
  EXPECT_EQ(start, 1000000.00);
  EXPECT_NEAR(inputs, -summary_value(text, "Pumping"), 0.02);
  EXPECT_NEAR(inputs, 48 * 36.0, 0.02);
  EXPECT_NEAR(end - start, inputs, 0.05);
  EXPECT_EQ(summary_value(text, "Mass Balance error ="), 0.0);
  EXPECT_NE(text.find("GROUNDWATER CALCULATION SUMMARIES FOR EVENT"), std::string::npos);
  ASSERT_GE(r.wells.size(), 48u);
  for (std::size_t k = 1; k < r.wells.size(); ++k)
    EXPECT_NEAR(mean(r.wells[k]) - mean(r.wells[k - 1]), 0.00072, 1e-6) << k;
}

// Under plain Green and Ampt the aquifer is not solved: its heads, and the
// static flux of the middle cell, stay as they are, and it books nothing.
// The soil holds no water either: the 10 mm of the first hour (2500 m3 on
// the 25 cells of 100 m) all soak in and pass below it, out of the books,
// as they do without the aquifer; every balance closes on that.
TEST(groundwater_run, plain_green_ampt_over_the_aquifer_lets_the_infiltrated_water_pass) {
  gw_fixture::project p = closed_basin();
  p.extra += "RAIN_INTENSITY 10\nGREEN_AMPT\n";
  gw_fixture::run r(p);
  ASSERT_EQ(r.out.status, 0) << r.out.text;
  const std::string& t = r.summary;
  EXPECT_NE(t.find("Green & Ampt infiltration.\n"), std::string::npos);
  EXPECT_EQ(summary_value(t, "Total amount of precip="), 2500.0);
  EXPECT_EQ(summary_value(t, "Total amount of infiltration="), 2500.0);
  EXPECT_EQ(summary_value(t, "GW volume start ="), 1000000.0);
  EXPECT_EQ(summary_value(t, "GW volume end ="), 1000000.0);
  EXPECT_EQ(summary_value(t, "Total inputs to groundwater="), 0.0);
  EXPECT_EQ(summary_value(t, "Pumping"), 0.0);
  EXPECT_EQ(summary_value(t, "Mass Balance error ="), 0.0);
  EXPECT_LT(std::fabs(summary_value(t, "Mass balance error of surface components =")), 1e-6);
  // Not the 2500 / 1002500 = 0.249 % of water counted nowhere.
  EXPECT_LT(std::fabs(summary_value(t, "Overall mass balance error =")), 1e-6);
}

// The closed basin's middle cell pumped at 1 m3/s: its 20 m x 0.2 x 1e4 m2
// = 40000 m3 last 11 hours, and the neighbours, through a transmissivity
// of at most 20 m x 1e-6 m/s, hand it a few hundred m3 more over the two
// days. From then on the cell gives only what it holds, and the pumping
// the books carry is what was taken, not 2 days x 86400 m3.
TEST(groundwater_run, a_well_that_dries_its_cell_books_only_what_it_took) {
  gw_fixture::project p = closed_basin();
  p.hycond = 0.36;
  p.files = {{"flux.txt", "1\n3 3 86400.0\n"}};
  gw_fixture::run r(p);
  ASSERT_EQ(r.out.status, 0) << r.out.text;
  const std::string& text = r.summary;
  const double start = summary_value(text, "GW volume start =");
  const double end = summary_value(text, "GW volume end =");
  const double pumped = summary_value(text, "Pumping");
  EXPECT_GT(pumped, 40000.0 - 2.0);
  EXPECT_LT(pumped, 41000.0);
  EXPECT_NEAR(pumped, start - end, 0.05);
  EXPECT_NEAR(summary_value(text, "Total inputs to groundwater="), -pumped, 0.05);
  EXPECT_EQ(summary_value(text, "Mass Balance error ="), 0.0);
  EXPECT_NEAR(summary_value(text, "Overall mass balance error ="), 0.0, 1e-6);
}

// The closed basin started with 0.5 mm of water over its bottom: the first
// solve holds every head but the fed middle one's 1 mm above it, and the
// 0.5 mm x 0.2 x 24 x 1e4 m2 = 24 m3 that lift takes come up from the deep
// aquifer, so both books close on a start of only 25 m3.
TEST(groundwater_run, heads_held_above_the_bottom_book_the_water_that_holds_them) {
  gw_fixture::project p = closed_basin();
  p.table = filled(25, 0.0005);
  gw_fixture::run r(p);
  ASSERT_EQ(r.out.status, 0) << r.out.text;
  const std::string& text = r.summary;
  const double start = summary_value(text, "GW volume start =");
  const double end = summary_value(text, "GW volume end =");
  EXPECT_EQ(start, 25.0);
  EXPECT_NEAR(end - start, 48 * 36.0 + 24.0, 0.05);
  EXPECT_NEAR(summary_value(text, "Total inputs to groundwater="), 48 * 36.0 + 24.0, 0.02);
  EXPECT_NEAR(summary_value(text, "Leakage to deep aquifer+"), -24.0, 0.01);
  EXPECT_EQ(summary_value(text, "Mass Balance error ="), 0.0);
  EXPECT_NEAR(summary_value(text, "Overall mass balance error ="), 0.0, 1e-6);
}

// Below the soil the vadose zone holds SINGLE_UNSAT_SAT x porosity per
// metre; a rising table takes it in, so each hour's rise r follows
// r = 0.00072 + 0.5 r_before and settles at 0.00144 m.
TEST(groundwater_run, a_rising_table_takes_in_the_water_the_vadose_zone_holds) {
  gw_fixture::project p = closed_basin();
  p.extra += "SINGLE_UNSAT_SAT 0.5\n";
  gw_fixture::run r(p);
  ASSERT_EQ(r.out.status, 0) << r.out.text;
  ASSERT_GE(r.wells.size(), 48u);
  for (std::size_t k = 25; k < r.wells.size(); ++k)
    EXPECT_NEAR(mean(r.wells[k]) - mean(r.wells[k - 1]), 0.00144, 1e-6) << k;
  EXPECT_EQ(summary_value(r.summary, "Mass Balance error ="), 0.0);
  // The soil zone gave what the aquifer took but the last hour's share,
  // which the next solve would take in: 0.00144 m x 0.1 x 25 x 100 m x 100 m.
  const double given = summary_value(r.summary, "Sat/unsat. trickery (into gw) =");
  EXPECT_NEAR(given, 1692.0, 0.5);
  const double soil_change = summary_value(r.summary, "Final volume in soils=") -
                             summary_value(r.summary, "Initial volume in soils=");
  EXPECT_NEAR(soil_change + given, 0.25, 0.01);  // the rain stays in the soil
  // That share, 36 m3 of 1510000.25, is on its way to the aquifer: the
  // overall balance holds it.
  EXPECT_NEAR(summary_value(r.summary, "Overall mass balance error ="), 0.0, 1e-6);
}

// A head point sets the corner cell from a series rising 0.2 m over the two
// days before each solve: what it puts in balances the aquifer to the cent,
// and an XY output point on that cell's centre reads the cell's head.
TEST(groundwater_run, xy_head_points_feed_the_balance_and_the_point_output) {
  gw_fixture::project p = closed_basin();
  p.files.push_back({"xy_gw.txt",
                     "XY_GW_HEAD\n1\ncell numbers 1\n2000 6 1 0 0 20.0\n2000 6 3 0 0 20.2\n"
                     "END_TS\n"});
  p.files.push_back({"xy_points.txt", "1\n50.0 450.0 7\n"});
  p.dirs.push_back("heads");
  p.extra += "XYBDYINPUT_GWHEAD xy_gw.txt\nXYBDYOUTPUT_PTS xy_points.txt\n"
             "XYBDYOUTPUT_GWHEAD xy_heads.out\nGW_OUTPUT heads\nMAP_TYPE 0\n";
  gw_fixture::run r(p);
  ASSERT_EQ(r.out.status, 0) << r.out.text;
  const std::string& text = r.summary;
  const double gain = summary_value(text, "Gain from XY boundaries");
  EXPECT_GT(gain, 100.0);
  EXPECT_EQ(summary_value(text, "Mass Balance error ="), 0.0);
  EXPECT_NEAR(summary_value(text, "GW volume end =") - summary_value(text, "GW volume start ="),
              summary_value(text, "Total inputs to groundwater=") + gain -
                  summary_value(text, "Loss to XY boundaries"),
              0.05);
  EXPECT_NEAR(summary_value(text, "vol gain for gw from XY boundaries:"), gain, 0.05);
  const auto rows = test_support::lines_of(test_support::read_file(r.dir.file("xy_heads.out")));
  ASSERT_EQ(rows.size(), 3 + r.wells.size() + 1);
  EXPECT_EQ(rows.back(), "END_TS");
  EXPECT_EQ(rows[0], "XY_GW_HEAD");
  for (std::size_t k = 0; k < r.wells.size(); ++k) {
    std::istringstream row(rows[3 + k]);
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double head = 0.0;
    row >> year >> month >> day >> hour >> minute >> head;
    EXPECT_NEAR(head, r.wells[k][0], 2e-6) << k;
  }
  // One head map a day, the first of the starting heads.
  const auto map = test_support::lines_of(test_support::read_file(r.dir.file("heads/gw_head.0001.asc")));
  ASSERT_EQ(map.size(), 11u);
  EXPECT_EQ(map[6], "20.0000 20.0000 20.0000 20.0000 20.0000 ");
  EXPECT_TRUE(std::filesystem::exists(r.dir.path() / "heads/gw_head.0003.asc"));
}

// The groundwater clock is tested at main steps only: the default of 1 s,
// off their grid, acts at every main step from the first.
TEST(groundwater_run, a_groundwater_interval_off_the_main_steps_is_rounded_up_to_them) {
  gw_fixture::project p = closed_basin();
  p.extra += "GW_TIMESTEP 1\n";
  gw_fixture::run r(p);
  ASSERT_EQ(r.out.status, 0) << r.out.text;
  ASSERT_GE(r.wells.size(), 48u);
  for (std::size_t k = 1; k < r.wells.size(); ++k)
    EXPECT_NEAR(mean(r.wells[k]) - mean(r.wells[k - 1]), 0.00072, 1e-6) << k;
}

// A table injected up to a ground 5 cm above it: the first hour it stands
// at the ground starts the surface clocks, once, and water comes out onto
// the surface.
TEST(groundwater_run, the_first_table_at_the_ground_starts_the_surface_clocks_once) {
  gw_fixture::project p = closed_basin();
  p.ground = filled(25, 20.05);
  p.dirs = {"cum", "inc"};
  p.extra += "MAP_TYPE 0\nGW_RECHARGE_CUM cum\nGW_RECHARGE_INC inc\n";
  int started_at = 0, flips = 0, seen = 0, pass = 0;
  double now = 0.0, overland_next = 0.0, dt_days = 0.0;
  gw_fixture::run r(p, [&](model_state& s) {
    ++pass;
    const int started = s.subsurface.gw.overland_started;
    if (started != seen) {
      ++flips;
      started_at = pass;
      now = s.run.current_time;
      overland_next = s.run.overland.next;
      dt_days = s.run.dt_days;
    }
    seen = started;
  });
  ASSERT_EQ(r.out.status, 0) << r.out.text;
  EXPECT_EQ(flips, 1);
  EXPECT_GT(started_at, 2);
  EXPECT_NEAR(overland_next, now + dt_days, 1e-9);
  const double exfiltrated = summary_value(r.summary, "Total amount of exfiltration=");
  EXPECT_GT(exfiltrated, 0.0);
  // One event: all of it came this event.
  EXPECT_NEAR(summary_value(r.summary,
                            "volume of water directly to surface from groundwater (cu. m):"),
              exfiltrated, 0.06);
  EXPECT_EQ(summary_value(r.summary, "beginning vol of water exfiltrated this event (cu. m):"),
            0.0);
  // The event's surface balance takes the same water in, and closes.
  EXPECT_NEAR(summary_value(r.summary, "volume of water exfiltrated:"), exfiltrated, 0.06);
  EXPECT_LT(std::fabs(summary_value(r.summary, "mass conservation error:")), 1e-5);

  // The soil water of cells at the ground goes to the aquifer as recharge:
  // the daily increments add up to the cumulative map.
  auto map_values = [&](const std::string& name) {
    std::vector<double> v;
    const auto lines = test_support::lines_of(test_support::read_file(r.dir.file(name)));
    for (std::size_t k = 6; k < lines.size(); ++k) {
      std::istringstream row(lines[k]);
      double x = 0.0;
      while (row >> x) v.push_back(x);
    }
    return v;
  };
  const std::vector<double> cum = map_values("cum/gwrechargecum.0003.asc");
  ASSERT_EQ(cum.size(), 25u);
  std::vector<double> sum(25, 0.0);
  for (const char* name : {"inc/gwrechargeinc.0001.asc", "inc/gwrechargeinc.0002.asc",
                           "inc/gwrechargeinc.0003.asc"}) {
    const std::vector<double> inc = map_values(name);
    ASSERT_EQ(inc.size(), 25u) << name;
    for (std::size_t k = 0; k < 25; ++k) sum[k] += inc[k];
  }
  EXPECT_GT(*std::max_element(cum.begin(), cum.end()), 0.1);
  for (std::size_t k = 0; k < 25; ++k) EXPECT_NEAR(sum[k], cum[k], 2e-4) << k;
}

// The same table risen through the 5 cm of soil and over the ground: it
// stores at the soil's porosity and then like open water, not at the
// aquifer's 0.2, and the books follow it. The aquifer keeps the 1728 m3
// injected and the centre cell's soil water it took (1 cm over 100 m x
// 100 m), less what came out onto the surface, and every balance closes.
TEST(groundwater_run, a_table_risen_over_the_ground_keeps_every_balance_closed) {
  gw_fixture::project p = closed_basin();
  p.ground = filled(25, 20.05);
  gw_fixture::run r(p);
  ASSERT_EQ(r.out.status, 0) << r.out.text;
  const std::string& t = r.summary;
  const double exfiltrated = summary_value(t, "Exfiltration back on overland =");
  const double recharge = summary_value(t, "Recharge to groundwater =");
  const double inputs = summary_value(t, "Total inputs to groundwater=");
  EXPECT_GT(exfiltrated, 100.0);
  EXPECT_NEAR(recharge, 100.0, 0.01);
  EXPECT_NEAR(inputs, 1728.0 + recharge - exfiltrated, 0.02);
  EXPECT_NEAR(summary_value(t, "GW volume end =") - summary_value(t, "GW volume start ="), inputs,
              0.02);
  EXPECT_EQ(summary_value(t, "Mass Balance error ="), 0.0);
  // The soil gave the aquifer what it took: its downward flux.
  EXPECT_NEAR(summary_value(t, "Total downward flux from unsaturated zone="), recharge, 0.01);
  EXPECT_LT(std::fabs(summary_value(t, "Simple soil moisture mass balance =")), 1e-5);
  EXPECT_LT(std::fabs(summary_value(t, "Overall mass balance error =")), 1e-5);

  // The cells whose table stands at the ground are the saturated sources:
  // each handed the aquifer its column's 100 m3 when it got there.
  const auto lines = test_support::lines_of(test_support::read_file(r.dir.file("satsource_file")));
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[0], "north:    500.00");
  EXPECT_EQ(lines[5], "cols:     5");
  int sources = 0;
  for (std::size_t k = 6; k < 11; ++k) {
    std::istringstream row(lines[k]);
    int flag = 0, count = 0;
    while (row >> flag) {
      EXPECT_TRUE(flag == 0 || flag == 1) << lines[k];
      sources += flag;
      ++count;
    }
    EXPECT_EQ(count, 5) << k;
  }
  EXPECT_EQ(lines[8], "0 0 1 0 0 ");
  EXPECT_NEAR(sources * 100.0, recharge, 0.01);
}

// The water table a groundwater run ends with is the next run's start:
// written as a north/south/east/west grid and read back by WATER_TABLE, it
// holds the same aquifer volume to the rounding of its six decimals. A
// table that never reached the ground leaves no saturated-source map.
TEST(groundwater_run, the_final_table_is_the_next_runs_water_table) {
  gw_fixture::run first(closed_basin());
  ASSERT_EQ(first.out.status, 0) << first.out.text;
  const std::string hotstart = test_support::read_file(first.dir.file("hotstart_file"));
  const auto lines = test_support::lines_of(hotstart);
  ASSERT_EQ(lines.size(), 11u);
  const std::vector<std::string> header = {"north:    500.00", "south:      0.00",
                                           "east:    500.00",  "west:      0.00",
                                           "rows:     5",      "cols:     5"};
  for (std::size_t k = 0; k < header.size(); ++k) EXPECT_EQ(lines[k], header[k]);
  EXPECT_FALSE(std::filesystem::exists(first.dir.path() / "satsource_file"));

  gw_fixture::project p = closed_basin();
  p.files.push_back({"table.asc", hotstart});
  gw_fixture::run second(p);
  ASSERT_EQ(second.out.status, 0) << second.out.text;
  EXPECT_NEAR(summary_value(second.summary, "GW volume start ="),
              summary_value(first.summary, "GW volume end ="), 0.03);
  EXPECT_GT(summary_value(second.summary, "GW volume start ="), 1001700.0);
}

// A groundwater hot start that cannot be written stops the run with the
// file's name.
TEST(groundwater_run, a_hot_start_that_cannot_be_written_stops_the_run) {
  gw_fixture::project p = closed_basin();
  p.dirs.push_back("hotstart_file");
  gw_fixture::run r(p);
  EXPECT_EQ(r.out.status, 1);
  EXPECT_NE(r.out.text.find("Can't open gw hot start map for writing out hotstart info: "),
            std::string::npos)
      << r.out.text;
}

// The bank fixture's channel along the bottom row, its bed a metre below
// the ground, over a table 0.4 m above the bed in every row.
gw_fixture::project stream_over_a_high_table() {
  gw_fixture::project p;
  p.rows = 3;
  p.cols = 10;
  p.size = 100.0;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 10; ++c) p.ground.push_back(24.0 - 2.0 * r - c);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 10; ++c) {
      p.table.push_back(20.0 - c - 0.6);
      p.bottom.push_back(20.0 - c - 20.0);
    }
  p.bound = filled(30, 1.0);
  for (int c = 20; c < 30; ++c) p.bound[std::size_t(c)] = 4.0;
  p.hycond = 36.0;
  p.porosity = 0.2;
  p.days = 1;
  p.wells = {{3, 5}};
  p.files = {{"bank.chan", surface_fixture::fixture_text("bank", "bank.chan")},
             {"bank.gst", surface_fixture::fixture_text("bank", "bank.gst")},
             {"gwflux.loc", "1\n1 5\n"}};
  p.extra = "CHAN_EXPLIC\nCHANNEL_INPUT bank.chan\nSTREAM_CELL bank.gst\nK_RIVER 0.36\n"
            "M_RIVER 1\nOUTROW 3\nOUTCOL 10\nSTREAM_LOSS\nIN_GWFLUX_LOCATION gwflux.loc\n"
            "OUT_GWFLUX_LOCATION gwflux.out\n";
  return p;
}

// Every stream cell feeds its node, and what the channels gain the aquifer
// gives.
TEST(groundwater_run, a_table_above_the_bed_feeds_the_channel) {
  const gw_fixture::project p = stream_over_a_high_table();
  // The first exchange finds the streams dry over heads 0.4 m above
  // their beds: per cell (2 + 2 x 0.4) m x 1e-4 /s x 0.4 m x 100 m, which
  // held for the 3600 s would give 403.2 m3. The water it brings raises the
  // stages within the step, and the seepage follows them down.
  double first = -1.0;
  gw_fixture::run r(p, [&](model_state& s) {
    if (first > 0.0) return;
    first = 0.0;
    for (int i = 1; i <= s.grid.cells; ++i) first += s.subsurface.gw.gw_stream_vol[i];
  });
  EXPECT_LT(first, 10 * 2.8e-4 * 0.4 * 100.0 * 3600.0);
  EXPECT_GT(first, 0.8 * 10 * 2.8e-4 * 0.4 * 100.0 * 3600.0);
  ASSERT_EQ(r.out.status, 0) << r.out.text;
  const std::string& text = r.summary;
  const double gained = summary_value(text, "Total flux from gw to river=");
  EXPECT_GT(gained, 100.0);
  EXPECT_EQ(summary_value(text, "Total flux from river to gw="), 0.0);
  EXPECT_NEAR(summary_value(text, "Total inputs to groundwater="), -gained, 0.01);
  EXPECT_EQ(summary_value(text, "Mass Balance error ="), 0.0);
  EXPECT_GT(summary_value(text, "Total amount of discharge="), 0.0);
  EXPECT_NEAR(summary_value(text, "volume of gw to chan:"), gained, 0.06);
  EXPECT_EQ(summary_value(text, "Total amount of exfiltration="), 0.0);
  // Node 5 feeds its stream by a flux that falls with the table under it;
  // the first at most 2.8e-4 x 0.4 x 100 m3/s.
  const auto rows = test_support::lines_of(test_support::read_file(r.dir.file("gwflux.out")));
  ASSERT_GE(rows.size(), 24u);
  std::vector<double> flux;
  for (const std::string& line : rows) {
    std::istringstream row(line);
    double minutes = 0.0, q = 0.0;
    row >> minutes >> q;
    flux.push_back(q);
  }
  EXPECT_LE(*std::max_element(flux.begin(), flux.end()), 0.0112 + 1e-6);
  EXPECT_GT(flux.back(), 0.0);
  EXPECT_LT(flux.back(), flux[2]);
  // The table falls under the stream cells as they feed it.
  ASSERT_GE(r.wells.size(), 24u);
  EXPECT_LT(r.wells.back()[0], r.wells.front()[0] - 0.01);
}

// The channels take the seepage at once; the aquifer gives it up at its
// next step, an hour later. At the run's end the last hour's seepage is in
// the channels and still under the heads: counted once, as given by the
// aquifer, every balance of the run and of its event closes.
TEST(groundwater_run, the_seepage_the_aquifer_gives_up_late_is_counted_once) {
  double pending = 0.0;  // m3, left by the channels for the next aquifer step
  gw_fixture::run r(stream_over_a_high_table(), [&](model_state& s) {
    pending = 0.0;
    for (int i = 1; i <= s.grid.cells; ++i) pending += s.subsurface.gw.gw_stream_vol[i];
  });
  ASSERT_EQ(r.out.status, 0) << r.out.text;
  const std::string& text = r.summary;
  EXPECT_GT(pending, 50.0);
  const double gained = summary_value(text, "Total flux from gw to river=");
  EXPECT_NEAR(summary_value(text, "Total inputs to groundwater="), -gained, 0.01);
  EXPECT_EQ(summary_value(text, "Mass Balance error ="), 0.0);
  EXPECT_NEAR(summary_value(text, "volume of gw to chan:"), gained, 0.06);
  // Counted twice, the pending volume reads -0.01 percent overall and over
  // 2 percent on the surface and in the event.
  EXPECT_NEAR(summary_value(text, "Overall mass balance error ="), 0.0, 2e-6);
  EXPECT_NEAR(summary_value(text, "Mass balance error of surface components ="), 0.0, 1e-4);
  EXPECT_NEAR(summary_value(text, "mass conservation error:"), 0.0, 1e-4);
}

// The same aquifer holding 3 g/m3 of a tracer, on five-minute steps: what it
// gives the channel, entry by entry of the grid-stream lists, brings
// volume x 3 g/m3, and the channel's and the global constituent balances
// close on it.
TEST(groundwater_run, an_aquifer_feeding_the_channel_brings_its_concentration) {
  gw_fixture::project p = stream_over_a_high_table();
  std::string desc = "Everywhere";
  desc.resize(80, ' ');
  p.files.push_back({"ids.idx", surface_fixture::ascii_grid(3, 10, 100, filled(30, 1.0))});
  p.files.push_back({"tables.cmt",
                     "VALTO_INDEX_MAP_TABLES\nINDEX_MAP ids.idx \"All\"\n"
                     "CONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n\"Tracer\" \"All\" \"tracer\"\n"
                     "PRECIP_CONC 0\nPARTITION 0\nNUM_IDS 1\nID    DESCRIPTION    VALUES\n1     " +
                         desc + "  0 0 0 0 3 0 0 0\n"});
  p.dirs = {"tracer"};
  p.extra += "TIMESTEP 300\nMAPPING_TABLE tables.cmt\nOV_CON_TRANS\nCHAN_CON_TRANS\n";
  double volume = 0.0, grams = 0.0;  // m3 and g the channels took in, at the end
  gw_fixture::run r(p, [&](model_state& s) {
    volume = s.subsurface.gw.run.gw_to_stream + pending_stream_exchange(s).out;
    grams = s.quality.chan_contam.run[1].groundwater * 1000.0;
  });
  ASSERT_EQ(r.out.status, 0) << r.out.text;
  EXPECT_GT(volume, 100.0);
  EXPECT_NEAR(grams, 3.0 * volume, 1e-6 * grams);
  // The end-of-run summaries, not the event's dotted rows.
  const std::string text = r.summary.substr(r.summary.find("Channel Transport Summaries"));
  EXPECT_NEAR(summary_value(text, "Groundwater mass gain/loss"), 3.0 * volume / 1000.0, 0.005);
  EXPECT_NEAR(summary_value(text, "Flux from GW to streams"), 3.0 * volume / 1000.0, 0.005);
  EXPECT_NEAR(summary_value(text, "Dissolved mass balance error"), 0.0, 1e-4);
  EXPECT_NEAR(summary_value(text, "Contam mass balance error"), 0.0, 1e-4);
}

// The long-term fixture over an aquifer 5 m below its ground: what drains
// below the soil store recharges the aquifer, and the aquifer balances.
TEST(groundwater_run, long_term_drainage_recharges_the_aquifer) {
  test_support::temp_dir dir;
  const char* folder = "lt10";
  for (const auto& entry : std::filesystem::directory_iterator(
           std::filesystem::path(VALTO_FIXTURES_DIR) / folder))
    std::filesystem::copy_file(entry.path(), dir.path() / entry.path().filename());
  const auto ground_lines =
      test_support::lines_of(surface_fixture::fixture_text(folder, "elevation.asc"));
  std::vector<double> ground;
  std::istringstream values(ground_lines.back());
  for (double g = 0.0; values >> g;) ground.push_back(g);
  ASSERT_EQ(ground.size(), 10u);
  std::vector<double> table, bottom;
  for (double g : ground) {
    table.push_back(g - 5.0);
    bottom.push_back(g - 30.0);
  }
  dir.write("table.asc", surface_fixture::ascii_grid(1, 10, 100.0, table));
  dir.write("bottom.asc", surface_fixture::ascii_grid(1, 10, 100.0, bottom));
  dir.write("bound.asc", surface_fixture::ascii_grid(1, 10, 100.0, filled(10, 1.0)));
  dir.write("lt10.prj",
            surface_fixture::edit_cards(
                surface_fixture::fixture_text(folder, "lt10.prj"), {},
                "WATER_TABLE table.asc\nGW_SIMULATION\nAQUIFER_BOTTOM bottom.asc\n"
                "GW_BOUNDFILE bound.asc\nGW_UNIF_HYCOND 36\nGW_UNIF_POROSITY 0.2\n"
                "GW_TIMESTEP 3600\nSINGLE_UNSAT_SAT 0\n"));
  const surface_fixture::run_output out = surface_fixture::run_in_process(dir.path(), "lt10.prj");
  ASSERT_EQ(out.status, 0) << out.text;
  const std::string text = test_support::read_file(dir.file("summary.out"));
  const double recharge = summary_value(text, "Recharge to groundwater =");
  EXPECT_GT(recharge, 1.0);
  EXPECT_EQ(summary_value(text, "Mass Balance error ="), 0.0);
  EXPECT_NEAR(summary_value(text, "Total inputs to groundwater="), recharge, 0.05);
}

// Bad aquifer input stops the run with status 1 and its message; a bottom
// above the ground only gives notice.
TEST(groundwater_run, bad_aquifer_input_stops_the_run_naming_what_is_wrong) {
  struct bad_case {
    const char* name;
    std::function<void(gw_fixture::project&)> edit;
    int status;
    const char* message;  // in the run's output or its summary
  };
  const bad_case cases[] = {
      {"static-flux file missing",
       [](gw_fixture::project& p) { p.extra += "GW_FLUXBOUNDTABLE none.txt\n"; }, 1,
       "Can't open static flux table file: none.txt\n"},
      {"static-flux line off the grid",
       [](gw_fixture::project& p) {
         p.files.push_back({"flux.txt", "1\n6 3 -864.0\n"});
         p.extra += "GW_FLUXBOUNDTABLE flux.txt\n";
       },
       1, "flux.txt"},
      {"no conductivity",
       [](gw_fixture::project& p) { p.hycond = 0.0; }, 1,
       "Error: the mapping table for the groundwater table is not set up correctly."},
      {"bottom above the ground",
       [](gw_fixture::project& p) { p.bottom[0] = 45.0; }, 1,
       "Error: the aquifer bottom of cell 1 (row 1, column 1) from bottom.asc is 45 m, above the "
       "ground at 40 m; it must lie below the ground."},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.name);
    gw_fixture::project p = closed_basin();
    p.days = 1;
    p.files.clear();
    p.extra.clear();
    c.edit(p);
    gw_fixture::run r(p);
    EXPECT_EQ(r.out.status, c.status) << r.out.text;
    EXPECT_TRUE(r.out.text.find(c.message) != std::string::npos ||
                r.summary.find(c.message) != std::string::npos)
        << r.out.text;
  }
}

// The Richards columns are sized for their soil layers only: a water table
// under them is refused naming the card, before the time loop.
// The loam plane of twenty 100 m cells (ground 19 m down to 0 m) over a
// table depth_to_table under its ground and an aquifer bottom 10 m under
// it, closed all round, its porosity the loam's saturated content (the
// storage the columns give a moving table). Six hours of 2 mm/h (2400 m3)
// and six dry hours; the columns start in equilibrium with the table.
struct richards_plane {
  test_support::temp_dir dir;
  surface_fixture::run_output out;
  std::string summary;
  double pending = 0.0;  // m3 the columns released that the aquifer has yet to take
};

// Without the aquifer (aquifer false) the table is held where the map puts it.
std::unique_ptr<richards_plane> run_richards_plane(double depth_to_table, int threads = 1,
                                                   bool aquifer = true) {
  auto r = std::make_unique<richards_plane>();
  const char* folder = "plane20-richards";
  for (const char* name : {"mask.asc", "elevation.asc", "soils.asc", "soils.tbl"})
    r->dir.write(name, surface_fixture::fixture_text(folder, name));
  std::vector<double> table(20), bottom(20);
  for (int c = 0; c < 20; ++c) {
    table[std::size_t(c)] = 19.0 - c - depth_to_table;
    bottom[std::size_t(c)] = 19.0 - c - 10.0;
  }
  r->dir.write("table.asc", surface_fixture::ascii_grid(1, 20, 100.0, table));
  r->dir.write("bottom.asc", surface_fixture::ascii_grid(1, 20, 100.0, bottom));
  r->dir.write("bound.asc", surface_fixture::ascii_grid(1, 20, 100.0, filled(20, 1.0)));
  r->dir.write("plane.prj",
               surface_fixture::edit_cards(
                   surface_fixture::fixture_text(folder, std::string(folder) + ".prj"),
                   {"TOT_TIME"},
                   std::string("TOT_TIME 720\nWATER_TABLE table.asc\nNUM_THREADS 1\n") +
                       (aquifer ? "GW_SIMULATION\nAQUIFER_BOTTOM bottom.asc\n"
                                  "GW_BOUNDFILE bound.asc\nGW_UNIF_HYCOND 3.6\n"
                                  "GW_UNIF_POROSITY 0.463\nAQUIFER_DELTA_Z 0.1\n"
                                  "GW_TIMESTEP 600\nGW_RELAX_COEFF 1\n"
                                  "GW_LSOR_CON 0.0000001\n"
                                : "")));
  double pending = 0.0;
  r->out = surface_fixture::run_in_process(r->dir.path(), "plane.prj", [&](model_state& s) {
    if (threads > 1) {
      omp_set_num_threads(threads);
      s.subsurface.gw.parallel_min_cells = 1;
      s.soil.richards.parallel_min_columns = 1;
    }
    pending = 0.0;
    if (!aquifer) return;
    for (int i = 1; i <= s.grid.cells; ++i) pending += s.subsurface.gw.gw_drop_vol[std::size_t(i)];
    pending *= s.grid.dx * s.grid.dx / 100.0;
  });
  r->pending = pending;
  r->summary = test_support::read_file(r->dir.file("summary.out"));
  return r;
}

// Half a metre down the rain soaks through the loam to the table, which
// rises and lays the columns again over it: the soil and the aquifer
// together hold the rain, and the aquifer's books and the run's close.
TEST(groundwater_run, richards_columns_on_the_table_close_the_water_balance) {
  const auto r = run_richards_plane(0.5);
  ASSERT_EQ(r->out.status, 0) << r->out.text;
  const std::string& t = r->summary;
  const double soil = summary_value(t, "Final volume in soils=") -
                      summary_value(t, "Initial volume in soils=");
  const double aquifer = summary_value(t, "GW volume end =") - summary_value(t, "GW volume start =");
  EXPECT_GT(aquifer, 2000.0);  // the table rose
  EXPECT_GT(summary_value(t, "Sat/unsat. trickery (into gw) ="), 100.0);
  // The columns' own scheme takes the content of a node beside a saturated
  // one from its head; what that changes is booked with the table, so the
  // soil and the aquifer hold the rain to the rounding of the printed lines.
  EXPECT_NEAR(soil + aquifer + r->pending, 2400.0, 0.02);
  EXPECT_NEAR(aquifer, summary_value(t, "Total inputs to groundwater="), 0.01);
  EXPECT_EQ(summary_value(t, "Mass Balance error ="), 0.0);
  EXPECT_LT(std::fabs(summary_value(t, "Overall mass balance error =")), 1e-4);
  // The event's column balance counts what the columns gave the aquifer as
  // the table rose through them with what drained from their bottoms.
  EXPECT_NEAR(summary_value(t, "vol groundwater recharge (cu. m):      "),
              summary_value(t, "vol groundwater recharge (cu. m):                             ") -
                  summary_value(t, "vol from gw to unsat this event, w/o recharge (cu. m):"),
              0.1);
  EXPECT_LT(std::fabs(summary_value(t, "Richard equation mass balance error")), 1e-4);
}

// The columns, the solve and the books on three threads give what they give
// on one.
TEST(groundwater_run, richards_columns_on_the_table_are_the_same_on_one_and_three_threads) {
  const auto one = run_richards_plane(0.35);
  const auto three = run_richards_plane(0.35, 3);
  ASSERT_EQ(one->out.status, 0) << one->out.text;
  ASSERT_EQ(three->out.status, 0) << three->out.text;
  EXPECT_EQ(surface_fixture::summary_without_times(one->summary),
            surface_fixture::summary_without_times(three->summary));
}

// A table 5 cm over the ground leaves every column one saturated node: the
// aquifer (20 cells x 11.05 m x 0.463 x 100 m x 100 m, its bottom lowered by
// the ten sealed nodes of 0.1 m under each column) gives the surface all it
// exfiltrates, and the surface passes it and the rain to the outlet.
TEST(groundwater_run, a_table_over_the_ground_feeds_the_surface_through_the_columns) {
  const auto r = run_richards_plane(-0.05);
  ASSERT_EQ(r->out.status, 0) << r->out.text;
  const std::string& t = r->summary;
  EXPECT_NEAR(summary_value(t, "GW volume start ="), 1023230.0, 0.005);
  EXPECT_EQ(summary_value(t, "Initial volume in soils="), 0.0);
  const double exfiltrated = summary_value(t, "Total amount of exfiltration=");
  EXPECT_GT(exfiltrated, 1000.0);
  EXPECT_NEAR(summary_value(t, "GW volume start =") - summary_value(t, "GW volume end ="),
              exfiltrated, 0.01);
  EXPECT_NEAR(2400.0 + exfiltrated,
              summary_value(t, "Total amount of discharge=") +
                  summary_value(t, "Final volume on surface="),
              0.02);
  EXPECT_LT(std::fabs(summary_value(t, "Overall mass balance error =")), 1e-5);
}

// Without the aquifer a table 5 cm over the ground is held there: each
// column is one saturated node, and the table pushes water up through the
// 30 cm of loam at its mean conductivity of 1.32 cm/h, (W - S) x 0.044 /h,
// onto a surface that passes it with the rain to the outlet.
TEST(groundwater_run, a_held_table_over_the_ground_feeds_the_surface_through_the_loam) {
  const auto r = run_richards_plane(-0.05, 1, false);
  ASSERT_EQ(r->out.status, 0) << r->out.text;
  const std::string& t = r->summary;
  EXPECT_EQ(summary_value(t, "Initial volume in soils="), 0.0);
  const double exfiltrated = summary_value(t, "Total amount of exfiltration=");
  // At most 5 cm x 0.044 /h for 12 h over the 20 cells of 100 m.
  EXPECT_GT(exfiltrated, 0.5 * 0.05 * 0.044 * 12.0 * 200000.0);
  EXPECT_LT(exfiltrated, 0.05 * 0.044 * 12.0 * 200000.0);
  EXPECT_NEAR(2400.0 + exfiltrated,
              summary_value(t, "Total amount of discharge=") +
                  summary_value(t, "Final volume on surface="),
              0.02);
  EXPECT_LT(std::fabs(summary_value(t, "Mass balance error of surface components =")), 1e-5);
}

// The solve's loops run on the threads the run has; every row and summary
// line is the same on one and on eight.
TEST(groundwater_run, heads_and_totals_are_the_same_on_one_and_eight_threads) {
  auto run_on = [](int threads) {
    gw_fixture::project p = thiem_well();
    p.days = 1;
    auto r = std::make_unique<gw_fixture::run>(p, [threads](model_state& s) {
      omp_set_num_threads(threads);
      s.subsurface.gw.parallel_min_cells = 1;
    });
    return r;
  };
  const auto one = run_on(1);
  const auto eight = run_on(8);
  ASSERT_EQ(one->out.status, 0) << one->out.text;
  ASSERT_EQ(eight->out.status, 0) << eight->out.text;
  EXPECT_EQ(one->wells, eight->wells);
  EXPECT_EQ(surface_fixture::summary_without_times(one->summary),
            surface_fixture::summary_without_times(eight->summary));
}

}  // namespace
