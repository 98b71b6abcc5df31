// Richards columns resting on a water table under the aquifer model: three
// flat 100 m cells of 30 cm of loam (1 cm nodes, content 0.30) over a table
// half a metre down and an aquifer bottom 5 m down, closed all round. The
// columns reach ten aquifer nodes below the bottom, which is lowered to
// them, and their deepest eleven nodes are sealed; with GW_ASSIGN_THETA the
// loam keeps its own content. Left alone the columns stay in equilibrium on
// the table; drained by deep leakage they follow the falling table and the
// books hold every cubic metre.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "../surface/surface_run_fixture.h"
#include "run/model_state.h"
#include "soil/richards_soil.h"
#include "test_support.h"

namespace {

using surface_fixture::ascii_grid;
using surface_fixture::summary_value;

constexpr int cells = 3;
constexpr double ground = 10.0, table = 9.5, bottom = 5.0;  // m
constexpr double area = 100.0 * 100.0;                       // m2
const char* const loam_layer = "1.32 0.463 0.027 0.30 0.10 0.30 10 0.252 11.15 1\n";

struct table_run {
  test_support::temp_dir dir;
  surface_fixture::run_output out;
  std::string summary;
  model_state* last = nullptr;  // valid only inside the hook
};

// Writes and runs the project, dry, for minutes with the cards extra; hook sees
// the state after every pass.
void run_on_table(table_run& r, int minutes, const std::string& extra,
                  const std::function<void(model_state&)>& hook) {
  const std::vector<double> one(cells, 1.0);
  r.dir.write("mask.asc", ascii_grid(1, cells, 100.0, one));
  r.dir.write("elevation.asc", ascii_grid(1, cells, 100.0, std::vector<double>(cells, ground)));
  r.dir.write("table.asc", ascii_grid(1, cells, 100.0, std::vector<double>(cells, table)));
  r.dir.write("bottom.asc", ascii_grid(1, cells, 100.0, std::vector<double>(cells, bottom)));
  r.dir.write("bound.asc", ascii_grid(1, cells, 100.0, one));
  r.dir.write("soils.asc", ascii_grid(1, cells, 100.0, one));
  // A gauge that reads no rain all day.
  r.dir.write("rain.gag",
              "EVENT dry\nNRGAG 1\nNRPDS 2\nCOORD 150 50\nRATES 2000 6 1 0 0 0\n"
              "RATES 2000 6 2 0 0 0\n");
  r.dir.write("soils.tbl", std::string("1\n0\n1\n") + loam_layer + loam_layer + loam_layer);
  r.dir.write("table.prj",
              "VALTOPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elevation.asc\nGRIDSIZE 100\n"
              "ROWS 1\nCOLS 3\nTIMESTEP 60\nTOT_TIME " +
                  std::to_string(minutes) +
                  "\nOUTROW 1\nOUTCOL 3\nOUTSLOPE 0.01\nMANNING_N 0.05\nPRECIP_FILE rain.gag\n"
                  "START_DATE 2000 6 1\nSTART_TIME 0 0\n"
                  "INF_RICHARDS\nRICHARDS_C_OPTION brooks\nSOIL_TYPE_MAP soils.asc\n"
                  "SOIL_LAYER_INPUT_FILE soils.tbl\nHYD_FREQ 60\nMAP_FREQ 1440\n"
                  "SUMMARY summary.out\nOUTLET_HYDRO outlet.hyd\nNUM_THREADS 1\n"
                  "WATER_TABLE table.asc\nGW_SIMULATION\nAQUIFER_BOTTOM bottom.asc\n"
                  "GW_BOUNDFILE bound.asc\nGW_UNIF_HYCOND 3.6\nGW_UNIF_POROSITY 0.463\n"
                  "AQUIFER_DELTA_Z 0.1\nGW_TIMESTEP 600\nGW_RELAX_COEFF 1\n"
                  "GW_LSOR_CON 0.0000001\n" +
                  extra);
  r.out = surface_fixture::run_in_process(r.dir.path(), "table.prj", hook);
  r.summary = test_support::read_file(r.dir.file("summary.out"));
}

// Largest departure (cm) of cell c's unsaturated nodes from the hydrostatic
// head over the table: a node's head is minus the height of its centre
// above the top of the table node.
double off_equilibrium(const richards_soil& rs, int c) {
  const std::size_t base = std::size_t(c) * std::size_t(rs.row);
  const int n = rs.numcells[std::size_t(c)];
  double worst = 0.0, above = 0.0;
  for (int k = n - 1; k >= 1; --k) {
    const double dz = rs.dz[base + std::size_t(k)];
    worst = std::max(worst, std::fabs(rs.phead[base + std::size_t(k)] + above + 0.5 * dz));
    above += dz;
  }
  return worst;
}

// Soil 30 cm (30 nodes on a table), aquifer 4.7 m below it at 10 cm a
// node: B = 30 + 47 + 1 = 78, so the columns have room for 87 nodes; the
// table's node is the 33rd, under 30 loam nodes and two aquifer nodes of
// 10 cm down to the table.
TEST(richards_table, columns_reach_below_the_aquifer_and_seal_their_deepest_eleven_nodes) {
  table_run r;
  bool seen = false;
  run_on_table(r, 60, "", [&](model_state& s) {
    if (seen) return;
    seen = true;
    const richards_soil& rs = s.soil.richards;
    for (int c = 1; c <= cells; ++c) {
      SCOPED_TRACE(c);
      EXPECT_EQ(rs.last_node[std::size_t(c)], 87);
      EXPECT_EQ(rs.sealed_from[std::size_t(c)], 77);
      EXPECT_EQ(rs.numcells[std::size_t(c)], 33);
      const std::size_t base = std::size_t(c) * std::size_t(rs.row);
      EXPECT_DOUBLE_EQ(rs.ks[base + 87], 1e-6);
      EXPECT_DOUBLE_EQ(rs.thetas[base + 87], 1.0);
      EXPECT_DOUBLE_EQ(rs.ks[base + 86], 1e-5);
      EXPECT_DOUBLE_EQ(rs.thetas[base + 86], 0.8);
      for (int j = 77; j <= 85; ++j) {
        EXPECT_DOUBLE_EQ(rs.ks[base + std::size_t(j)], 0.0132) << j;
        EXPECT_DOUBLE_EQ(rs.thetas[base + std::size_t(j)], 0.75) << j;
      }
      EXPECT_DOUBLE_EQ(rs.ks[base + 76], 1.32);
      EXPECT_DOUBLE_EQ(rs.thetas[base + 76], 0.463);
      EXPECT_DOUBLE_EQ(rs.dz[base + 32], 10.0);
      // The aquifer bottom is lowered by ten aquifer nodes.
      EXPECT_NEAR(s.subsurface.gw.bottom_elev[std::size_t(c)], bottom - 1.0, 1e-12);
    }
  });
  ASSERT_EQ(r.out.status, 0) << r.out.text;
  ASSERT_TRUE(seen);
  // The aquifer holds the water down to the lowered bottom.
  EXPECT_NEAR(summary_value(r.summary, "GW volume start ="),
              cells * (table - (bottom - 1.0)) * 0.463 * area, 0.005);
}

// Without GW_ASSIGN_THETA every node stands on the table; with it the loam
// keeps its content of 0.30 and only the two aquifer nodes below it do,
// alike in both runs.
TEST(richards_table, gw_assign_theta_keeps_the_soil_layers_contents) {
  std::vector<double> theta[2];
  for (const int keep : {0, 1}) {
    SCOPED_TRACE(keep);
    table_run r;
    run_on_table(r, 60, keep ? "GW_ASSIGN_THETA\n" : "", [&](model_state& s) {
      if (!theta[keep].empty()) return;
      const richards_soil& rs = s.soil.richards;
      const std::size_t base = std::size_t(rs.row);
      for (int j = 0; j <= 33; ++j) theta[keep].push_back(rs.theta[base + std::size_t(j)]);
    });
    ASSERT_EQ(r.out.status, 0) << r.out.text;
    ASSERT_EQ(theta[keep].size(), 34u);
  }
  // One minute on, the loam that kept its content has hardly moved from
  // it; standing on the table it holds 0.33 to 0.40.
  for (int j = 1; j <= 30; ++j) {
    EXPECT_NEAR(theta[1][std::size_t(j)], 0.30, 0.005) << j;
    EXPECT_GT(theta[0][std::size_t(j)], 0.32) << j;
  }
  for (int j = 31; j <= 33; ++j) EXPECT_NEAR(theta[1][std::size_t(j)], theta[0][std::size_t(j)], 1e-9) << j;
}

// No rain, no evaporation, a closed aquifer: the columns stand in
// equilibrium on the table and stay there for a day.
TEST(richards_table, equilibrium_above_the_table_holds_for_a_day) {
  table_run r;
  double worst = 0.0, table_moved = 0.0;
  int passes = 0;
  run_on_table(r, 1440, "", [&](model_state& s) {
    ++passes;
    for (int c = 1; c <= cells; ++c) {
      worst = std::max(worst, off_equilibrium(s.soil.richards, c));
      table_moved =
          std::max(table_moved, std::fabs(s.subsurface.gw.elevgw[std::size_t(c)] - table));
    }
  });
  ASSERT_EQ(r.out.status, 0) << r.out.text;
  EXPECT_GE(passes, 1440);
  EXPECT_LT(worst, 1e-7);        // cm: 1e-9 m
  EXPECT_LT(table_moved, 1e-9);  // m
}

// Deep leakage of 0.05 cm/h draws the table down through the aquifer nodes
// for a day; the columns drain onto it. What the aquifer and the columns
// lost together is what leaked, to the cubic metre and better.
TEST(richards_table, a_column_draining_to_a_falling_table_books_every_cubic_metre) {
  table_run r;
  double fallen = 0.0, pending = 0.0;
  run_on_table(r, 1440, "GW_LEAKAGE_RATE 0.05\n", [&](model_state& s) {
    fallen = table - s.subsurface.gw.elevgw[1];
    pending = 0.0;
    for (int c = 1; c <= cells; ++c) pending += s.subsurface.gw.gw_drop_vol[std::size_t(c)];
    pending *= area / 100.0;
  });
  ASSERT_EQ(r.out.status, 0) << r.out.text;
  const std::string& t = r.summary;
  EXPECT_GT(fallen, 0.02);  // m: the table fell through its nodes
  const double leaked = summary_value(t, "Leakage to deep aquifer+");
  EXPECT_NEAR(leaked, cells * 0.05 / 100.0 * 24.0 * area, 0.5);
  const double soil = summary_value(t, "Final volume in soils=") -
                      summary_value(t, "Initial volume in soils=");
  const double aquifer =
      summary_value(t, "GW volume end =") - summary_value(t, "GW volume start =");
  // The columns lengthen over the fallen table and keep part of the water
  // it left behind.
  EXPECT_GT(soil, 100.0);
  EXPECT_NEAR(soil + aquifer + pending + leaked, 0.0, 1.0)
      << soil << " " << aquifer << " " << pending << " " << leaked;
  EXPECT_EQ(summary_value(t, "Mass Balance error ="), 0.0);
  EXPECT_LT(std::fabs(summary_value(t, "Overall mass balance error =")), 0.01);
}

}  // namespace
