// Overland erosion run end to end on the plane20 fixture (twenty 100 m cells
// at 1 %, 36 mm/h for four hours) with three classes of 0.002, 0.03 and
// 0.5 mm: every class balances after every step, the summaries say so, the
// outlet sediment rows add up to what the summaries route through the
// outlet, the ground moves by what settled less what was eroded, and the
// rows do not depend on the thread count.

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "surface/surface_run_fixture.h"
#include "test_support.h"

namespace {

using namespace surface_fixture;
using test_support::padded;
using test_support::temp_dir;

// The mapping table: three classes of specific gravity 2.65 and one soil
// (splash_K 60, detach_coef 2e-5, detach_exp 1, detach_crit 0, sed_K 1,
// parent fractions 0.3, 0.4, 0.3) under every cell.
std::string erosion_tables(bool sediments = true, bool erosion = true, int erosion_classes = 3) {
  std::string t = "VALTO_INDEX_MAP_TABLES\nINDEX_MAP soils.idx soils\n";
  if (sediments) {
    t += "SEDIMENTS\nNUM_SED 3\nDESCRIPTION                             SG  DIAM  BIND  FILE\n";
    t += padded("Clay", 40) + "2.65  0.002  0.0  clay.out\n";
    t += padded("Silt", 40) + "2.65  0.03  0.0  silt.out\n";
    t += padded("Sand", 40) + "2.65  0.5  0.0  sand.out\n";
  }
  if (erosion) {
    t += "SOIL_EROSION_PROPS soils\nNUM_IDS 1\nNUM_SED " + std::to_string(erosion_classes) +
         "\nID    DESCRIPTION    VALUES\n";
    t += "1     " + padded("Loam", 80) + "  60  2e-5  1  0  1";
    for (int i = 1; i <= erosion_classes; ++i) t += i == 2 ? "  0.4" : "  0.3";
    t += "\n";
  }
  return t;
}

const char* erosion_cards =
    "SOIL_EROSION 1\nSAND_SIZE 0.0625\nWATER_TEMP 20\nMAPPING_TABLE tables.cmt\n"
    "HYD_FREQ 0.5\nOUTLET_SED_FLUX outlet.sed\n";

// Per class the sums over the cells of the class records.
struct class_sums {
  double eroded = 0, suspended = 0, deposited = 0, routed = 0;
};

class_sums sums_of(const model_state& s, int i) {
  const sediment_state& sed = s.quality.sediment;
  class_sums t;
  for (int c = 1; c <= s.grid.cells; ++c) {
    const sed_volume& v = sed.vol(c, i);
    t.eroded += v[sed_element::eroded];
    t.suspended += v[sed_element::suspended];
    t.deposited += v[sed_element::deposited];
    t.routed += v[sed_element::discharged];
  }
  return t;
}

class erosion_run : public testing::Test {
 protected:
  run_output run(const std::string& extra = "", const std::string& tables = erosion_tables(),
                 const std::function<void(model_state&)>& after_pass = nullptr,
                 const std::string& cards = erosion_cards) {
    for (const char* name : {"mask.asc", "elevation.asc"})
      dir_.write(name, fixture_text("plane20", name));
    dir_.write("soils.idx", ascii_grid(1, 20, 100, std::vector<double>(20, 1.0)));
    dir_.write("tables.cmt", tables);
    dir_.write("plane20.prj",
               edit_cards(fixture_text("plane20", "plane20.prj"), {"HYD_FREQ"}, cards + extra));
    return run_in_process(dir_.path(), "plane20.prj", after_pass);
  }
  std::string file(const std::string& name) { return test_support::read_file(dir_.file(name)); }

  temp_dir dir_;
};

TEST_F(erosion_run, every_class_balances_after_every_step) {
  int steps = 0;
  double worst = 0.0;
  std::vector<class_sums> last(4);
  const run_output out = run("", erosion_tables(), [&](model_state& s) {
    ++steps;
    const sediment_state& sed = s.quality.sediment;
    for (int i = 1; i <= 3; ++i) {
      const class_sums t = sums_of(s, i);
      const double lost = -t.eroded;
      const double found = t.suspended + t.deposited + t.routed;
      if (lost > 0) worst = std::max(worst, std::fabs(lost - found) / lost);
      // The totals the summaries print are the records' sums.
      EXPECT_NEAR(sed.totals[i].eroded, t.eroded, 1e-12 * lost + 1e-300);
      EXPECT_NEAR(sed.totals[i].routed, t.routed, 1e-12 * lost + 1e-300);
      last[i] = t;
    }
  });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_EQ(steps, 721);  // the start pass and 720 steps of 30 s
  EXPECT_LT(worst, 1e-9);
  for (int i = 1; i <= 3; ++i) {
    EXPECT_GT(-last[i].eroded, 0.0) << i;
    EXPECT_GT(last[i].routed, 0.0) << i;
  }
  // The parent soil gives its classes in its own mix, 0.3 : 0.4 : 0.3.
  EXPECT_NEAR(last[2].eroded / last[1].eroded, 4.0 / 3.0, 1e-9);
}

TEST_F(erosion_run, summaries_and_outlet_rows_account_for_the_routed_sediment) {
  const run_output out = run();
  ASSERT_EQ(out.status, 0) << out.text;
  const std::string summary = file("summary.out");
  EXPECT_NE(summary.find("     sediment outflow at the catchment outlet.\n"), std::string::npos);
  EXPECT_NE(summary.find("Overland soil erosion.\n"), std::string::npos);

  // The event summary's block, then the end-of-run block.
  const std::size_t event_at =
      summary.find("Overland Sediment Summary\nQuantities are running totals for simulation - "
                   "NOT EVENT \nTotal sediment 1 eroded from surface:        ");
  ASSERT_NE(event_at, std::string::npos) << summary;
  const std::size_t run_at = summary.find("Overland Sediment Summary\nTotal sediment 1 eroded");
  ASSERT_NE(run_at, std::string::npos);
  EXPECT_GT(run_at, event_at);
  const std::string event_block = summary.substr(event_at, run_at - event_at);
  const std::string run_block = summary.substr(run_at);
  for (int i = 1; i <= 3; ++i) {
    const std::string k = std::to_string(i);
    // The error rounds to 0 in the printed digits (a rounding residue of
    // either sign).
    const std::string error = "Mass balance error for sediment " + k + " ";
    const std::size_t e = event_block.find(error);
    const std::size_t r = run_block.find(error);
    ASSERT_NE(e, std::string::npos);
    ASSERT_NE(r, std::string::npos);
    const std::string event_line = event_block.substr(e + error.size(), 19);
    const std::string run_line = run_block.substr(r + error.size(), 12);
    EXPECT_TRUE(event_line == "    0.0000 percent " || event_line == "   -0.0000 percent ")
        << event_line;
    EXPECT_TRUE(run_line == "    0.0000 \n" || run_line == "   -0.0000 \n") << run_line;
    for (const char* label : {" eroded from surface:        ", " deposited on surface:       ",
                              " remaining in suspension:    ", " routed through outlet       "})
      EXPECT_NE(run_block.find("Total sediment " + k + label), std::string::npos) << label;
  }

  // Each row is the step's outlet sediment over the 30 s step.
  double routed = 0.0;
  for (int i = 1; i <= 3; ++i)
    routed += summary_value(run_block,
                            "Total sediment " + std::to_string(i) + " routed through outlet");
  std::istringstream rows(file("outlet.sed"));
  double time = 0, rate = 0, sum = 0;
  int count = 0;
  while (rows >> time >> rate) {
    sum += rate * 30.0;
    ++count;
  }
  EXPECT_EQ(count, 721);  // a row at 0 minutes and one per step
  EXPECT_GT(routed, 0.0);
  EXPECT_NEAR(sum, routed, 1e-3 * routed);
  const std::string first = test_support::lines_of(file("outlet.sed")).front();
  EXPECT_EQ(first.size(), 33u) << first;  // "%16.8lf %16.10lf"
}

TEST_F(erosion_run, adjust_elev_moves_the_ground_by_deposition_less_erosion) {
  for (bool adjust : {true, false}) {
    double moved = 0.0, net = 0.0;
    const run_output out =
        run(adjust ? "ADJUST_ELEV\n" : "", erosion_tables(), [&](model_state& s) {
          moved = 0.0;
          for (int c = 1; c <= s.grid.cells; ++c)
            moved += (s.grid.elevation[c] - (20 - c)) * s.grid.dx * s.grid.dx;
          net = 0.0;
          for (int i = 1; i <= 3; ++i)
            net += s.quality.sediment.totals[i].deposited + s.quality.sediment.totals[i].eroded;
        });
    ASSERT_EQ(out.status, 0) << out.text;
    if (adjust) {
      EXPECT_LT(net, 0.0);
      EXPECT_NEAR(moved, net, 1e-9 * std::fabs(net));
    } else {
      EXPECT_EQ(moved, 0.0);
    }
  }
}

// The card's map holds the ground the run ended on, the plane's 20 - c m
// moved by what settled less what was eroded; a map that cannot be opened
// stops the run with its name.
TEST_F(erosion_run, the_adjusted_elevation_map_holds_the_ground_the_run_ended_on) {
  std::vector<double> ground(21, 0.0);
  double net = 0.0;
  const run_output out = run("ADJUST_ELEV adjusted.asc\n", erosion_tables(), [&](model_state& s) {
    ground = s.grid.elevation;
    net = 0.0;
    for (int i = 1; i <= 3; ++i)
      net += s.quality.sediment.totals[i].deposited + s.quality.sediment.totals[i].eroded;
  });
  ASSERT_EQ(out.status, 0) << out.text;
  const auto lines = test_support::lines_of(file("adjusted.asc"));
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[4], "rows:     1");
  EXPECT_EQ(lines[5], "cols:    20");
  std::istringstream row(lines[6]);
  double moved = 0.0;
  for (int c = 1; c <= 20; ++c) {
    double z = 0.0;
    ASSERT_TRUE(row >> z) << c;
    EXPECT_NEAR(z, ground[std::size_t(c)], 5e-7) << c;
    moved += (z - (20 - c)) * 100.0 * 100.0;
  }
  EXPECT_LT(net, 0.0);
  EXPECT_NEAR(moved, net, 0.1);

  const run_output refused = run("ADJUST_ELEV nowhere/adjusted.asc\n");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.text.find("Can't open adjusted elevation map for writing: "),
            std::string::npos)
      << refused.text;
}

// The values of the last record of an ASCII dataset of the 20 cells.
std::vector<double> last_record(const std::string& text) {
  const std::size_t at = text.rfind("TS 1 ");
  std::istringstream in(text.substr(at));
  std::string line;
  std::getline(in, line);
  for (int k = 0; k < 20; ++k) std::getline(in, line);  // activity flags
  std::vector<double> values(20);
  for (double& v : values) in >> v;
  return values;
}

TEST_F(erosion_run, sediment_maps_show_the_flux_net_deposition_and_suspended_load) {
  std::vector<double> flux(21), net(21), susp(21);
  const run_output out = run(
      "MAP_TYPE 1\nMAP_FREQ 60\nMAX_SED_FLUX flux.dat\nNET_SED_VOLUME net.dat\n"
      "VOL_SED_SUSP susp.dat\n",
      erosion_tables(), [&](model_state& s) {
        if ((s.run.pass - 1) % 120 != 0) return;
        const sediment_state& sed = s.quality.sediment;
        for (int c = 1; c <= 20; ++c) {
          flux[c] = sed.ov_qsmax_total[c] * 1e6;  // cm3/s
          net[c] = sed.ov_net_sed[c] * 1000.0 / 1e4;  // mm
          susp[c] = sed.ov_conc[c];
        }
      });
  ASSERT_EQ(out.status, 0) << out.text;
  const struct {
    const char* file;
    const char* header;
    const std::vector<double>& expected;
  } maps[] = {
      {"flux.dat", "OBJID 1017\nND 20\nNC 20\nNAME sediment_flux\nTS 1 0.000000\n", flux},
      {"net.dat", "OBJID 1018\nND 20\nNC 20\nNAME sediment_volume\nTS 1 0.000000\n", net},
      {"susp.dat", "OBJID 1019\nND 20\nNC 20\nNAME suspended_sediment_conc\nTS 1 0.000000\n",
       susp},
  };
  for (const auto& m : maps) {
    const std::string text = file(m.file);
    EXPECT_NE(text.find(m.header), std::string::npos) << m.file << "\n" << text.substr(0, 200);
    EXPECT_NE(text.find("TS 1 300.000000\n"), std::string::npos) << m.file;
    const std::vector<double> values = last_record(text);
    double largest = 0.0;
    for (int c = 1; c <= 20; ++c) {
      EXPECT_NEAR(values[c - 1], m.expected[c], 1e-6) << m.file << " cell " << c;
      largest = std::max(largest, std::fabs(values[c - 1]));
    }
    EXPECT_GT(largest, 0.0) << m.file;
  }
  // The net deposition map is the eroded depth where soil was lost.
  EXPECT_LT(net[10], 0.0);
}

TEST_F(erosion_run, thread_count_leaves_the_sediment_rows_unchanged) {
  run("NUM_THREADS 1\n");
  const std::string one = file("outlet.sed");
  run("NUM_THREADS 8\n");
  EXPECT_EQ(file("outlet.sed"), one);
  EXPECT_FALSE(one.empty());
}

// A grid large enough for the parallel loops and the blocked sums: 40 x 40
// cells of 10 m tilted towards the south-east corner, 50 mm/h for half an
// hour.
TEST(erosion_tilted_plane, thread_count_leaves_the_rows_and_summary_unchanged) {
  temp_dir dir;
  std::vector<double> ones(1600, 1.0), z;
  for (int r = 1; r <= 40; ++r)
    for (int c = 1; c <= 40; ++c) z.push_back(0.2 * (40 - r) + 0.1 * (40 - c));
  dir.write("mask.asc", ascii_grid(40, 40, 10, ones));
  dir.write("soils.idx", ascii_grid(40, 40, 10, ones));
  dir.write("elevation.asc", ascii_grid(40, 40, 10, z));
  dir.write("tables.cmt", erosion_tables());
  const std::string project =
      std::string("VALTOPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elevation.asc\n"
                  "GRIDSIZE 10\nROWS 40\nCOLS 40\nTIMESTEP 10\nTOT_TIME 60\nOUTROW 40\n"
                  "OUTCOL 40\nOUTSLOPE 0.01\nMANNING_N 0.05\nPRECIP_UNIF\nRAIN_INTENSITY 50\n"
                  "RAIN_DURATION 30\nSTART_DATE 2000 6 1\nSTART_TIME 0 0\nMAP_FREQ 60\n"
                  "SUMMARY summary.out\nOUTLET_HYDRO outlet.hyd\n") +
      erosion_cards;
  std::string rows[2], summaries[2];
  for (int k = 0; k < 2; ++k) {
    dir.write("tilted.prj", project + (k == 0 ? "NUM_THREADS 1\n" : "NUM_THREADS 8\n"));
    const run_output out = run_in_process(dir.path(), "tilted.prj");
    ASSERT_EQ(out.status, 0) << out.text;
    rows[k] = test_support::read_file(dir.file("outlet.sed"));
    const std::string summary = test_support::read_file(dir.file("summary.out"));
    summaries[k] = summary.substr(summary.rfind("Overland Sediment Summary"));
  }
  EXPECT_EQ(rows[1], rows[0]);
  EXPECT_EQ(summaries[1], summaries[0]);
  EXPECT_GT(summary_value(summaries[0], "Total sediment 3 routed through outlet"), 0.0);
}

// Formula 4 gives a rate of transport as formula 2 does, so the outlet
// carries the same sediment flux whatever the step: ten 10 m cells at 1 % under 50 mm/h for
// half an hour, one sand class of 0.5 mm and detachment far beyond what the
// flow can carry, so that the outlet face carries its capacity. The flux is
// the mean of the rows of the last five minutes, when the plane is steady.
TEST(erosion_step, the_stream_power_formula_carries_the_same_outlet_flux_at_any_step) {
  temp_dir dir;
  std::vector<double> ones(10, 1.0), z;
  for (int c = 1; c <= 10; ++c) z.push_back(0.1 * (10 - c));
  dir.write("mask.asc", ascii_grid(1, 10, 10, ones));
  dir.write("soils.idx", ascii_grid(1, 10, 10, ones));
  dir.write("elevation.asc", ascii_grid(1, 10, 10, z));
  dir.write("tables.cmt",
            "VALTO_INDEX_MAP_TABLES\nINDEX_MAP soils.idx soils\nSEDIMENTS\nNUM_SED 1\n"
            "DESCRIPTION                             SG  DIAM  BIND  FILE\n" +
                padded("Sand", 40) + "2.65  0.5  0.0  sand.out\n" +
                "SOIL_EROSION_PROPS soils\nNUM_IDS 1\nNUM_SED 1\nID    DESCRIPTION    VALUES\n"
                "1     " + padded("Loam", 80) + "  60  1  1  0  1  1\n");
  double flux[7][3] = {};
  const double steps[] = {1, 2, 4};
  for (const int formula : {2, 4}) {
    for (int k = 0; k < 3; ++k) {
      std::ostringstream project;
      project << "VALTOPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elevation.asc\n"
                 "GRIDSIZE 10\nROWS 1\nCOLS 10\nTIMESTEP " << steps[k]
              << "\nTOT_TIME 30\nOUTROW 1\nOUTCOL 10\nOUTSLOPE 0.01\nMANNING_N 0.05\n"
                 "PRECIP_UNIF\nRAIN_INTENSITY 50\nRAIN_DURATION 30\nSTART_DATE 2000 6 1\n"
                 "START_TIME 0 0\nHYD_FREQ 1\nSUMMARY summary.out\nOUTLET_HYDRO outlet.hyd\n"
                 "SOIL_EROSION " << formula
              << "\nSAND_SIZE 0.0625\nWATER_TEMP 20\nMAPPING_TABLE tables.cmt\n"
                 "OUTLET_SED_FLUX outlet.sed\n";
      dir.write("plane.prj", project.str());
      const run_output out = run_in_process(dir.path(), "plane.prj");
      ASSERT_EQ(out.status, 0) << formula << out.text;
      std::istringstream rows(test_support::read_file(dir.file("outlet.sed")));
      double minutes = 0, rate = 0, sum = 0;
      int count = 0;
      while (rows >> minutes >> rate) {
        if (minutes < 25.0 - 1e-9) continue;
        sum += rate;
        ++count;
      }
      ASSERT_GT(count, 0) << formula;
      flux[formula][k] = sum / count;
    }
    const double one = flux[formula][0];
    EXPECT_GT(one, 0.0) << formula;
    EXPECT_NEAR(flux[formula][1], one, 0.01 * one) << "formula " << formula << " at 2 s";
    EXPECT_NEAR(flux[formula][2], one, 0.01 * one) << "formula " << formula << " at 4 s";
  }
}

TEST_F(erosion_run, formulas_without_a_law_carry_the_unit_discharge_and_still_balance) {
  for (const char* value : {"0", "7", "9"}) {
    double worst = 0.0;
    const run_output out = run(std::string("SOIL_EROSION ") + value + "\n", erosion_tables(),
                               [&](model_state& s) {
                                 for (int i = 1; i <= 3; ++i) {
                                   const class_sums t = sums_of(s, i);
                                   if (-t.eroded > 0)
                                     worst = std::max(worst,
                                                      std::fabs(-t.eroded - t.suspended -
                                                                t.deposited - t.routed) /
                                                          -t.eroded);
                                 }
                               });
    EXPECT_EQ(out.status, 0) << value << out.text;
    EXPECT_LT(worst, 1e-9) << value;
  }
}

TEST_F(erosion_run, bad_sediment_inputs_stop_the_run_with_their_message) {
  struct bad_case {
    const char* label;
    std::string extra;
    std::string tables;
    std::string message;
  };
  const bad_case cases[] = {
      {"no sediments table", "", erosion_tables(false, true),
       "Error: Sediment transport specified but sediments table missing in the .cmt file.\n"},
      {"no erosion table", "", erosion_tables(true, false),
       "Error: Unable to read the soil erosion properties table from mapping table file\n"},
      {"class counts differ", "", erosion_tables(true, true, 2),
       "The number of sediments specified in the SEDIMENTS table is 3 while the number of "
       "sediments \nspecified in the SED_EROS_PROPS table is 2."},
      {"constituent mode", "SOIL_EROSION 12\n", erosion_tables(),
       "Error: the project card SOIL_EROSION has the value 12; sediment carried as constituents"},
  };
  for (const bad_case& c : cases) {
    const run_output out = run(c.extra, c.tables);
    EXPECT_NE(out.status, 0) << c.label;
    EXPECT_NE(out.text.find(c.message), std::string::npos) << c.label << "\n" << out.text;
  }
  // Without OUTLET_SED_FLUX the outlet file the run always writes has no name.
  std::string cards = erosion_cards;
  cards.erase(cards.find("OUTLET_SED_FLUX"));
  const run_output out = run("", erosion_tables(), nullptr, cards);
  EXPECT_NE(out.status, 0);
  const std::size_t card = out.text.find("no card OUTLET_SED_FLUX");
  const std::size_t stop =
      out.text.find("Error: Unable to open outlet sediment hydrograph file.\n  (File: )\n");
  EXPECT_NE(card, std::string::npos) << out.text;
  EXPECT_NE(stop, std::string::npos) << out.text;
  EXPECT_LT(card, stop);
}

}  // namespace
