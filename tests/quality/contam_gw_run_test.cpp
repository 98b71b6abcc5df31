// The soil-layer constituents over a rising aquifer: the closed 5 x 5 basin
// of the groundwater tests (100 m cells, table at 20 m, 864 m3/day fed in at
// its centre) under ground at 20.05 m, so the table reaches the ground and
// the aquifer's water rises through the redistribution soil onto the
// surface. The aquifer's water carries 5 g/m3 of a tracer into the bottom
// layer; each layer's water carries its own concentration up through its
// top, and what reaches the surface joins the cells' dissolved mass. The
// tracer's mass in the soil, on the surface and gone balances what was there
// and what the aquifer gave.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "subsurface/gw_run_fixture.h"
#include "surface/surface_run_fixture.h"

namespace {

using test_support::padded;

using gw_fixture::filled;
using surface_fixture::summary_value;

// The value printed after label on its line, past the dots of an event row.
double row_value(const std::string& text, const std::string& label) {
  std::size_t at = text.find(label);
  if (at == std::string::npos) return NAN;
  at += label.size();
  while (at < text.size() && (text[at] == ' ' || text[at] == '.')) ++at;
  return std::stod(text.substr(at));
}

gw_fixture::project rising_basin() {
  gw_fixture::project p;
  p.rows = p.cols = 5;
  p.ground = filled(25, 20.05);
  p.bottom = filled(25, 0.0);
  p.table = filled(25, 20.0);
  p.bound = filled(25, 1.0);
  p.hycond = 360.0;
  p.porosity = 0.2;
  p.days = 2;
  p.files.push_back({"flux.txt", "1\n3 3 -864.0\n"});
  p.files.push_back({"ids.idx", surface_fixture::ascii_grid(5, 5, 100, filled(25, 1.0))});
  // dispersion, decay, exchange, soil concentration (mg/kg), groundwater
  // concentration (g/m3), surface concentration, soil partition, greatest
  p.files.push_back(
      {"tables.cmt", "VALTO_INDEX_MAP_TABLES\nINDEX_MAP ids.idx \"All\"\nCONTAMINANT_TRANSPORT\n"
                     "NUM_CONTAM 1\n\"Tracer\" \"All\" \"\"\nPRECIP_CONC 0\nPARTITION 0\nNUM_IDS 1\n"
                     "ID    DESCRIPTION    VALUES\n1     " +
                         padded("Everywhere", 80) + "  0 0 0 1 5 0 0 0\n"});
  p.extra = "GW_FLUXBOUNDTABLE flux.txt\nMAPPING_TABLE tables.cmt\nOV_CON_TRANS\nSOIL_CON_TRANS\n"
            "NUM_THREADS 1\nSOIL_MOIST_DEPTH 0.4\nTOP_LAYER_DEPTH 0.3\nMIXING_LAYER_DEPTH 0.1\n";
  return p;
}

TEST(contam_gw_run, aquifer_water_rising_through_the_soil_brings_its_tracer_and_balances) {
  double worst = 0.0, gained = 0.0, exfiltrated = 0.0, rise = 0.0;
  gw_fixture::run r(rising_basin(), [&](model_state& s) {
    const contaminant_model& m = s.quality.contam;
    const constituent_totals& t = m.run[1];
    double held = 0.0;
    for (int j = 1; j <= s.grid.cells; ++j) {
      const std::size_t jj = std::size_t(j);
      held += m.c.ov_contam_mass[1][jj] + m.c.soil_top_mass[1][jj] + m.c.cell_exfil_mass[1][jj] -
              m.c.soil_exchange_mass[1][jj];
      for (int l = 1; l <= m.geometry.layers[jj]; ++l) held += m.c.soil_mass[1].at(j, l);
    }
    const double in = (t.global_mass_init + t.soil_gw_mass_in) * 1000.0;
    const double out = held + t.global_mass_out * 1000.0;
    worst = std::max(worst, std::fabs(in - out) / in);
    gained = t.soil_gw_mass_in;
    exfiltrated = t.ov_exfil_mass;
    rise = 0.0;
    for (int j = 1; j <= s.grid.cells; ++j) rise += m.exfil_seen[std::size_t(j)];
  });
  ASSERT_EQ(r.out.status, 0) << r.out.text;
  EXPECT_LT(worst, 1e-9);
  EXPECT_GT(exfiltrated, 0.0);
  // Every metre the aquifer gave the surface entered the bottom layer at
  // 5 g/m3 over the cell's hectare.
  EXPECT_GT(rise, 0.0);
  EXPECT_NEAR(gained, 5.0 * rise * 1e4 / 1000.0, 1e-9 * gained);

  const std::string summary = r.summary.substr(r.summary.find("Soil Contaminant Transport Summary \n"));
  EXPECT_NEAR(summary_value(summary, "Mass seepage up from GW"), gained, 0.01);
  EXPECT_NEAR(summary_value(summary, "Exfiltration mass gain"), exfiltrated, 0.01);
  EXPECT_NEAR(summary_value(summary, "Exfiltration mass loss"), exfiltrated, 0.01);
  EXPECT_NEAR(summary_value(summary, "Soil mass balance error"), 0.0, 1e-4);
  EXPECT_NEAR(summary_value(summary, "Contam mass balance error"), 0.0, 1e-4);
  const std::string global = summary.substr(summary.find("Global Transport Summaries"));
  EXPECT_NEAR(summary_value(global, "Soil mass in from groundwater"), gained, 0.01);
  EXPECT_NEAR(summary_value(global, "Contam mass balance error"), 0.0, 1e-4);
  // The event's dissolved balance counts the exfiltration gain.
  const std::string event = r.summary.substr(0, r.summary.find("Soil Contaminant Transport Summary \n"));
  EXPECT_NEAR(row_value(event, "Exfiltration gain"), exfiltrated, 0.01);
  EXPECT_NEAR(row_value(event, "Dissolved mass balance error"), 0.0, 1e-4);
}

}  // namespace
