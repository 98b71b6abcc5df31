// The Richards column solver: steady free drainage against the analytic
// profile of both soil families, a ponding column's balance, the boundary
// switches and the sub-step rules, and thread-count independence.

#include <gtest/gtest.h>

#include <omp.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/error_state.h"
#include "run/model_state.h"
#include "richards_fixture.h"
#include "soil/richards_soil.h"
#include "test_support.h"

namespace {

using richards_fixture::build_columns;
using test_support::temp_dir;

// Three 10 cm layers of 1 cm nodes: 31 nodes, free drainage below node 30.
std::string table_of(const std::string& layer) {
  return "1\n0\n1\n" + layer + "\n" + layer + "\n" + layer + "\n";
}
const std::string loam = "1.32 0.463 0.027 0.30 0.10 0.30 10 0.252 11.15 1";
const std::string dry_loam = "1.32 0.463 0.027 0.20 0.10 0.30 10 0.252 11.15 1";
const std::string sand = "34 0.287 0.075 0.10 0.08 0.20 10 36.9359 3.96 1.175e6 4.74 1";

// A column of cells one..cells built from the table and made ready for the
// solver with calls of dt seconds.
struct column_case {
  temp_dir dir;
  model_state s;

  column_case(const std::string& table, int family, int cells = 1, double dt = 3600.0) {
    error_state = error_record{};
    s.input.inf_richards = 1;
    s.run.dt = dt;
    build_columns(s, dir, table, family, 0, std::vector<int>(std::size_t(cells) + 1, 1));
    const std::size_t n = std::size_t(cells) + 1;
    s.surface.depth.assign(n, 0.0);
    s.soil.yes_exfil.assign(n, 0);
    for (std::vector<double>* v : {&s.soil.cum_inf, &s.soil.inf_rate, &s.soil.deep_perc,
                                   &s.soil.direct_evap})
      v->assign(n, 0.0);
    richards_soil& rs = s.soil.richards;
    for (int c = 1; c <= cells; ++c) {
      rs.bound_type[std::size_t(c)] = 1;
      rs.dtr[std::size_t(c)] = dt / 3600.0;
    }
    EXPECT_TRUE(alloc_richards_work(rs, omp_get_max_threads()));
  }
  ~column_case() { error_state = error_record{}; }

  richards_soil& rs() { return s.soil.richards; }
  double& at(std::vector<double>& v, int c, int j) {
    return v[std::size_t(c) * std::size_t(rs().row) + std::size_t(j)];
  }
  int nodes(int c = 1) { return rs().numcells[std::size_t(c)]; }
  // Nodes 1..n of cell 1.
  std::vector<double> nodes_of(std::vector<double>& v) {
    return {&at(v, 1, 1), &at(v, 1, 1) + nodes()};
  }
  // Water of nodes 1..n-1, cm.
  double storage(int c = 1) {
    double w = 0.0;
    for (int j = 1; j < nodes(c); ++j) w += at(rs().theta, c, j) * at(rs().dz, c, j);
    return w;
  }
  // `calls` calls of dt seconds, each after supply cm has been added to the
  // surface. Returns the summed upward water, m.
  double run(int calls, double supply_cm, double dt, int c = 1) {
    double up = 0.0;
    for (int k = 0; k < calls && error_state.stop_flag == 0; ++k) {
      s.surface.depth[std::size_t(c)] += supply_cm / 100.0;
      up += richards_solve(s, dt);
    }
    return up;
  }
};

struct drainage_case {
  const char* name;
  std::string layer;
  int family;
  double supply_cm, dt_s;
  int calls;
  double head, theta, flux;  // steady profile: the flux equals the supply rate
  double flux_tol, balance_tol;
};

// q = Ks Kr(h): Brooks-Corey h = hb (q/Ks)^(-1/(3 lambda + 2)) = -22.1127;
// Havercamp |h| = (A (Ks/q - 1))^(1/B) = 30.333, theta by its retention curve.
TEST(richards_solve, steady_free_drainage_reaches_the_analytic_profile) {
  const drainage_case cases[] = {
      {"loam", loam, soil_family_brooks, 0.2, 3600.0, 48, -22.1127, 0.3939, 0.2, 0.0005, 1e-8},
      {"sand", sand, soil_family_havercamp, 0.8496, 900.0, 96, -30.333, 0.22036, 3.3984,
       0.003 * 3.3984, 0.001 * 96 * 0.8496},
  };
  for (const drainage_case& k : cases) {
    SCOPED_TRACE(k.name);
    column_case col(table_of(k.layer), k.family, 1, k.dt_s);
    const double start = col.storage();
    col.run(k.calls, k.supply_cm, k.dt_s);
    ASSERT_EQ(error_state.stop_flag, 0);
    EXPECT_LT(col.s.surface.depth[1], 1e-12);  // every supply went in
    for (int j = 1; j <= col.nodes(); ++j) {
      EXPECT_NEAR(col.at(col.rs().phead, 1, j), k.head, 0.02) << j;
      EXPECT_NEAR(col.at(col.rs().theta, 1, j), k.theta, 0.0002) << j;
    }
    EXPECT_NEAR(col.at(col.rs().watflux, 1, col.nodes()), k.flux, k.flux_tol);
    // What came in at the top less what left at the bottom is what the column gained.
    const double in = col.s.soil.cum_inf[1] * 100.0;
    EXPECT_NEAR(in, k.calls * k.supply_cm, 1e-9);
    EXPECT_NEAR(col.storage() - start, in - col.s.soil.deep_perc[1], k.balance_tol);
    EXPECT_DOUBLE_EQ(col.rs().event_drain[1], col.s.soil.deep_perc[1]);
    EXPECT_NEAR(col.rs().inf_rich[1], col.s.soil.cum_inf[1], 1e-12);
  }
}

TEST(richards_solve, a_ponding_column_switches_to_the_head_boundary_and_keeps_its_balance) {
  // 36 mm/h on loam at 0.20, calls of 30 s, for 2 h. The dry top node
  // conducts little at first, so the surface ponds from the first call.
  column_case col(table_of(dry_loam), soil_family_brooks, 1, 30.0);
  const double start = col.storage();
  const double supply = 3.6 * 30.0 / 3600.0;  // cm per call
  bool ponded = false, headed = false;
  for (int k = 0; k < 240; ++k) {
    col.run(1, supply, 30.0);
    ASSERT_EQ(error_state.stop_flag, 0) << k;
    ponded = ponded || col.s.surface.depth[1] > 1e-6;
    headed = headed || col.rs().bound_type[1] >= 2;
  }
  EXPECT_TRUE(ponded);
  EXPECT_TRUE(headed);
  const double in = col.s.soil.cum_inf[1] * 100.0;
  // Water is conserved between the surface and what went in exactly.
  EXPECT_NEAR(in + col.s.surface.depth[1] * 100.0, 240 * supply, 1e-9);
  EXPECT_GT(in, 1.0);
  EXPECT_NEAR(col.storage() - start, in - col.s.soil.deep_perc[1], 0.001 * in);
}

struct edge_case {
  const char* name;
  int exfil;           // the water table stands at the surface
  int iter_max;
  double top_head;     // head of node 1 before the call, cm; 0 keeps the column's
  double dtr_s;        // carried sub-step, s
  double drop_cm;      // expected fall of the surface: the stale top flux of 1 cm/h
                       // over the first sub-step (an unsolved call has one)
  bool solved;
};

TEST(richards_solve, unsolved_columns_and_the_first_sub_step) {
  const edge_case cases[] = {
      {"water table at the surface", 1, 1, 0.0, 60.0, 0.0, false},
      {"no iterations", 0, 0, 0.0, 60.0, 1.0 / 60.0, false},
      {"no iterations, ponded top node: 5 s", 0, 0, 0.5, 60.0, 5.0 / 3600.0, false},
      {"no iterations, carried sub-step 0 takes the call", 0, 0, 0.0, 0.0, 1.0 / 60.0, false},
      {"solved", 0, 1, 0.0, 60.0, 0.0, true},
  };
  for (const edge_case& k : cases) {
    SCOPED_TRACE(k.name);
    column_case col(table_of(loam), soil_family_brooks, 1, 60.0);
    richards_soil& rs = col.rs();
    rs.iter_max = k.iter_max;
    col.s.soil.yes_exfil[1] = k.exfil;
    rs.dtr[1] = k.dtr_s / 3600.0;
    if (k.top_head != 0.0) col.at(rs.phead, 1, 1) = k.top_head;
    col.at(rs.watflux, 1, 1) = 1.0;
    col.s.surface.depth[1] = 0.01;
    const std::vector<double> heads = col.nodes_of(rs.phead), contents = col.nodes_of(rs.theta);
    richards_solve(col.s, 60.0);
    ASSERT_EQ(error_state.stop_flag, 0);
    if (!k.solved) {
      EXPECT_EQ(col.nodes_of(rs.phead), heads);
      EXPECT_EQ(col.nodes_of(rs.theta), contents);
      EXPECT_NEAR(col.s.surface.depth[1], 0.01 - k.drop_cm / 100.0, 1e-15);
      if (k.iter_max == 0) {
        EXPECT_EQ(rs.dtr[1], 0.0);
      }
    } else {
      EXPECT_NE(col.nodes_of(rs.theta), contents);
      EXPECT_GT(rs.dtr[1], 0.0);
    }
  }
}

TEST(richards_solve, a_source_beyond_what_the_top_node_conducts_ponds_within_the_sub_step) {
  // One sub-step of 1 s: the call ends on the head boundary, taking less than
  // the 36 cm/h the surface offers.
  column_case col(table_of(dry_loam), soil_family_brooks, 1, 1.0);
  col.s.surface.depth[1] = 0.01;
  richards_solve(col.s, 1.0);
  ASSERT_EQ(error_state.stop_flag, 0);
  EXPECT_EQ(col.rs().bound_type[1], 2);
  EXPECT_GT(col.s.soil.inf_rate[1], 0.0);
  EXPECT_LT(col.s.soil.inf_rate[1], 1.0);
  EXPECT_NEAR(col.s.surface.depth[1] + col.s.soil.cum_inf[1], 0.01, 1e-15);
}

TEST(richards_solve, a_saturated_column_under_a_flux_top_takes_the_head_boundary) {
  // No capacity anywhere: the flux-top system has no solution, so the top
  // turns to a head and the column drains at Ks.
  column_case col(table_of(loam), soil_family_brooks, 1, 60.0);
  richards_soil& rs = col.rs();
  for (int j = 0; j <= col.nodes(); ++j) {
    col.at(rs.theta, 1, j) = 0.463;
    col.at(rs.phead, 1, j) = 0.0;
  }
  soil_column rel = rs.column(1);
  brooks_corey_props(rel);
  const double start = col.storage();
  col.run(10, 0.2, 60.0);
  ASSERT_EQ(error_state.stop_flag, 0);
  EXPECT_NEAR(col.at(rs.watflux, 1, col.nodes()), 1.32, 0.01);
  const double in = col.s.soil.cum_inf[1] * 100.0;
  EXPECT_NEAR(in + col.s.surface.depth[1] * 100.0, 2.0, 1e-12);
  // Saturated nodes take their contents from their heads, which costs the
  // balance a little.
  EXPECT_NEAR(col.storage() - start, in - col.s.soil.deep_perc[1], 0.001 * in);
}

TEST(richards_next_substep, takes_the_remainder_when_it_is_short_or_within_1e8_h) {
  struct row {
    double remaining, interval, allowed, expected;
  };
  const row rows[] = {
      {0.2, 1.0, 0.3, 0.2},               // less than allowed
      {0.3 + 5e-9, 1.0, 0.3, 0.3 + 5e-9},  // a remainder of 5e-9 h is absorbed
      {0.3 + 2e-8, 1.0, 0.3, 0.3},         // one of 2e-8 h is not
      {0.9, 0.25, 0.5, 0.25},              // never more than the interval
  };
  for (const row& r : rows)
    EXPECT_DOUBLE_EQ(richards_next_substep(r.remaining, r.interval, r.allowed), r.expected)
        << r.remaining;
}

TEST(richards_solve, a_flux_that_is_not_a_number_stops_the_run_naming_cell_and_node) {
  column_case col(table_of(loam), soil_family_brooks, 3, 60.0);
  col.at(col.rs().ks, 2, 7) = std::nan("");
  test_support::stdout_capture capture;
  richards_solve(col.s, 60.0);
  const std::string out = capture.stop();
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_NE(out.find("three: the Richards column of cell 2 is not a number at node 7"),
            std::string::npos)
      << out;
}

TEST(richards_solve, one_and_eight_threads_give_identical_columns) {
  const int cells = 24;
  auto run_with = [&](int threads) {
    column_case col(table_of(dry_loam), soil_family_brooks, cells, 60.0);
    col.rs().parallel_min_columns = 1;  // threads even on these few columns
    omp_set_num_threads(threads);
    double up = 0.0;
    for (int k = 0; k < 30; ++k) {
      for (int c = 1; c <= cells; ++c) col.s.surface.depth[std::size_t(c)] += 1e-4 * c;
      up += richards_solve(col.s, 60.0);
    }
    omp_set_num_threads(omp_get_num_procs());
    return std::vector<std::vector<double>>{col.rs().phead, col.rs().theta, col.s.soil.cum_inf,
                                            col.s.soil.deep_perc, col.s.surface.depth, {up}};
  };
  EXPECT_EQ(run_with(1), run_with(8));
}

}  // namespace
