// Constituents attached to the overland fines, run end to end on plane20
// (twenty 100 m cells at 1 %, 36 mm/h for four hours) eroding clay, silt and
// sand: a tracer that sorbs onto the fines (Kd 2000 L/kg) rides in the rain
// at 2 g/m3 and sits in the Green and Ampt soil layer at 1 mg/kg. Detached
// soil brings its sorbed mass into the water, the fines carry it down the
// plane and out through the outlet, settled fines give it back to the soil;
// dissolved + attached + soil mass balances what came in and went out. Beside
// a channel lake the lake's fines give and take what crosses its shore.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "constituent_fixture.h"
#include "quality/cell_contam_mass.h"
#include "quality/chan_sed_contam.h"
#include "quality/sed_contam_source.h"
#include "quality/sed_contam_state.h"
#include "quality/sediment_state.h"
#include "surface/surface_run_fixture.h"
#include "test_support.h"
#include "quality/sediment_tables.h"

namespace {

using namespace surface_fixture;
using test_support::padded;
using test_support::temp_dir;

// Sediments of 0.002, 0.03 and 0.5 mm (sand from 0.0625 mm) in a loam of
// parent fractions 0.3, 0.4, 0.3, and one constituent over every cell.
std::string tables(double kd) {
  std::string t = sediment_fixture::three_class_loam_tables("INDEX_MAP ids.idx \"All\"\n");
  t += "CONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n\"Tracer\" \"All\" \"\"\n";
  t += "PRECIP_CONC 2\nPARTITION " + std::to_string(kd) + "\nNUM_IDS 1\nID    DESCRIPTION    VALUES\n";
  // dispersion, decay, exchange, soil concentration (mg/kg), groundwater,
  // surface concentration, soil partition (L/kg), greatest concentration
  t += "1     " + padded("Everywhere", 80) + "  0 0 0 1 0 0 10 0\n";
  return t;
}

const char* cards =
    "NUM_THREADS 1\nSOIL_EROSION 1\nSAND_SIZE 0.0625\nWATER_TEMP 20\nMAPPING_TABLE tables.cmt\n"
    "OUTLET_SED_FLUX outlet.sed\n"
    "OV_CON_TRANS\nGREEN_AMPT\nCONDUCTIVITY ks.asc\nCAPILLARY hc.asc\n"
    "POROSITY phi.asc\nMOISTURE theta.asc\n";

// The value printed after label on its line, past the dots of an event row.
double row_value(const std::string& text, const std::string& label) {
  std::size_t at = text.find(label);
  if (at == std::string::npos) return NAN;
  at += label.size();
  while (at < text.size() && (text[at] == ' ' || text[at] == '.')) ++at;
  return std::stod(text.substr(at));
}

// Everything of the tracer the grid holds now, g: dissolved on the cells,
// on their fines, in the soil layer, and what the surface and the sediment
// handed the soil that it has not taken yet.
double held(const model_state& s) {
  const contaminant_model& m = s.quality.contam;
  double g = 0.0;
  for (int j = 1; j <= s.grid.cells; ++j) {
    const std::size_t jj = std::size_t(j);
    g += m.sed.ov_tot_cell_mass[1][jj];  // dissolved and attached between passes
    g += m.c.soil_mass[1].at(j, 1) + m.c.soil_top_mass[1][jj] + m.c.ov_sed_soil_mass[1][jj];
    g += m.sed.ov_sed_release_mass[1][jj];
  }
  return g;
}

class sed_contam_run : public testing::Test {
 protected:
  run_output run(const std::string& extra, double kd = 2000.0,
                 const std::function<void(model_state&)>& after_pass = nullptr,
                 const char* soil = "SOIL_CON_TRANS\n", const std::string& base = cards) {
    for (const char* name : {"mask.asc", "elevation.asc"})
      dir_.write(name, fixture_text("plane20", name));
    write_soil_maps(1, 20, kd);
    dir_.write("plane20.prj",
               edit_cards(fixture_text("plane20", "plane20.prj"), {}, base + (soil + extra)));
    return run_in_process(dir_.path(), "plane20.prj", after_pass);
  }
  std::string file(const std::string& name) { return test_support::read_file(dir_.file(name)); }
  // The index maps, the Green and Ampt soil of every cell and the tables.
  void write_soil_maps(int rows, int cols, double kd) {
    const std::size_t cells = std::size_t(rows * cols);
    for (const char* name : {"soils.idx", "ids.idx"})
      dir_.write(name, ascii_grid(rows, cols, 100, std::vector<double>(cells, 1.0)));
    for (const auto& [name, value] :
         std::vector<std::pair<std::string, double>>{{"ks.asc", 1.09}, {"hc.asc", 11.01},
                                                     {"phi.asc", 0.453}, {"theta.asc", 0.15}})
      dir_.write(name, ascii_grid(rows, cols, 100, std::vector<double>(cells, value)));
    dir_.write("tables.cmt", tables(kd));
  }

  temp_dir dir_;
};

TEST_F(sed_contam_run, dissolved_attached_and_soil_mass_balance_every_pass) {
  double worst = 0.0, attached = 0.0;
  const run_output out = run("SEDIMENT_CONTAM\n", 2000.0, [&](model_state& s) {
    const contaminant_model& m = s.quality.contam;
    const constituent_totals& r = m.run[1];
    double rain = r.ov_precip_mass * 1000.0;
    for (int j = 1; j <= s.grid.cells; ++j) rain += m.c.cell_precip_mass[1][std::size_t(j)];
    const double in = r.global_mass_init * 1000.0 + rain;
    const double out_g = held(s) + r.global_mass_out * 1000.0;
    worst = std::max(worst, std::fabs(in - out_g) / in);
    double a = 0.0;
    for (int j = 1; j <= s.grid.cells; ++j)
      a += m.sed.ov_tot_cell_mass[1][std::size_t(j)] - m.c.ov_contam_mass[1][std::size_t(j)];
    attached = std::max(attached, a);
  });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_LT(worst, 1e-9);
  EXPECT_GT(attached, 1.0);  // grams on the fines at some pass

  const std::string whole = file("summary.out");
  const std::string summary = whole.substr(whole.find("Soil Contaminant Transport Summary \n"));
  const double exiting = summary_value(summary, "Attached exiting watershed");
  EXPECT_GT(exiting, 0.001);
  // The rain's tracer sorbs onto the fines (the water gives it up) and
  // settles with them: the soil gains more than detached soil takes away.
  EXPECT_GT(summary_value(summary, "Sediment eroded(-)/deposited"), 0.0);
  EXPECT_LT(summary_value(summary, "Sediment source"), 0.0);
  EXPECT_FALSE(std::isnan(summary_value(summary, "Attached to susp sediments")));
  EXPECT_NEAR(summary_value(summary, "Soil mass balance error"), 0.0, 1e-4);
  EXPECT_NEAR(summary_value(summary, "Contam mass balance error"), 0.0, 1e-4);
  const std::string global = summary.substr(summary.find("Global Transport Summaries"));
  EXPECT_NEAR(summary_value(global, "Contam mass balance error"), 0.0, 1e-4);
  EXPECT_GE(summary_value(global, "Total mass out of system"),
            summary_value(summary, "Outlet mass flux") + exiting - 0.01);

  // The event summary closes its dissolved balance with the sediment's
  // release and shows what left on the fines.
  const std::string event = whole.substr(0, whole.find("Soil Contaminant Transport Summary \n"));
  EXPECT_NEAR(row_value(event, "Attached exiting outlet"), exiting, 0.01);
  EXPECT_NEAR(row_value(event, "Dissolved mass balance error"), 0.0, 1e-4);
}

TEST_F(sed_contam_run, riding_constituents_leave_the_erosion_as_it_was) {
  // The sediment summary of a run with the tracer on the fines matches the
  // one without, digit for digit, and with Kd 0 nothing attaches.
  const run_output plain = run("");
  ASSERT_EQ(plain.status, 0) << plain.text;
  const std::string without = file("summary.out");
  double attached = 0.0;
  const run_output riding = run("SEDIMENT_CONTAM\n", 0.0, [&](model_state& s) {
    const contaminant_model& m = s.quality.contam;
    for (int j = 1; j <= s.grid.cells; ++j)
      attached = std::max(attached, std::fabs(m.sed.ov_tot_cell_mass[1][std::size_t(j)] -
                                              m.c.ov_contam_mass[1][std::size_t(j)]));
  });
  ASSERT_EQ(riding.status, 0) << riding.text;
  const std::string with = file("summary.out");
  const auto block = [](const std::string& text) {
    const std::size_t at = text.rfind("Overland Sediment Summary\n");
    return text.substr(at, text.find("\n\n", at) - at);
  };
  ASSERT_NE(without.rfind("Overland Sediment Summary\n"), std::string::npos);
  EXPECT_EQ(block(with), block(without));
  EXPECT_EQ(attached, 0.0);
}

TEST_F(sed_contam_run, unsupported_combinations_are_refused_by_name) {
  struct bad_case {
    const char* label;
    std::string extra;
    const char* message;
  };
  const bad_case cases[] = {
      {"without soil layers", "", "add SOIL_CON_TRANS or remove SEDIMENT_CONTAM"},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.label);
    const run_output out = run("SEDIMENT_CONTAM\n" + c.extra, 2000.0, nullptr, "");
    EXPECT_EQ(out.status, 1);
    EXPECT_NE(out.text.find(c.message), std::string::npos) << out.text;
  }
  // Without the erosion or the overland constituents there is nothing to
  // attach: the card is refused, not passed over.
  for (const char* dropped : {"SOIL_EROSION 1\n", "OV_CON_TRANS\n"}) {
    SCOPED_TRACE(dropped);
    std::string base = cards;
    base.erase(base.find(dropped), std::string(dropped).size());
    const run_output out = run("SEDIMENT_CONTAM\n", 2000.0, nullptr, "SOIL_CON_TRANS\n", base);
    EXPECT_EQ(out.status, 1);
    EXPECT_NE(out.text.find("Error: the project card SEDIMENT_CONTAM attaches the overland "
                            "constituents to the eroded soil; it needs OV_CON_TRANS and "
                            "SOIL_EROSION.\n"),
              std::string::npos)
        << out.text;
  }
}

// The bank fixture (a 3 x 10 plane draining over the banks into one link
// of 11 nodes), its channel made erodible, stopped at five hours while the
// link still flows: the tracer the fines carry off the cells rides the
// channel fines, trades with the water and leaves by the outlet.
class sed_contam_bank_run : public sed_contam_run {
 protected:
  run_output bank(const std::string& threads, const std::string& extra = "",
                  const std::string& channel_cards = "CHAN_CON_TRANS\n") {
    for (const char* name : {"mask.asc", "elevation.asc", "bank.gst"})
      dir_.write(name, fixture_text("bank", name));
    dir_.write("bank.chan", sediment_fixture::erodible_channel(fixture_text("bank", "bank.chan")));
    write_soil_maps(3, 10, 2000.0);
    std::string base = cards;
    base.erase(base.find("NUM_THREADS 1\n"), 14);
    dir_.write("bank.prj", edit_cards(fixture_text("bank", "bank.prj"), {"TOT_TIME", "HYD_FREQ"},
                                      "TOT_TIME 300\n" + threads + base +
                                          "SOIL_CON_TRANS\nSEDIMENT_CONTAM\n" + channel_cards +
                                          extra));
    return run_in_process(dir_.path(), "bank.prj");
  }
};

TEST_F(sed_contam_bank_run, the_channel_fines_carry_the_tracer_and_every_balance_closes) {
  const run_output out = bank("NUM_THREADS 1\n");
  ASSERT_EQ(out.status, 0) << out.text;
  const std::string whole = file("summary.out");
  const std::string run_part = whole.substr(whole.rfind("Soil Contaminant Transport Summary \n"));
  const std::string overland = run_part.substr(run_part.find("Overland Transport Summaries"));
  const std::string channel = run_part.substr(run_part.find("Channel Transport Summaries"));
  const std::string global = run_part.substr(run_part.find("Global Transport Summaries"));

  // What the cells' fines took into the stream is what the channel fines got.
  const double entering = summary_value(overland, "Attached entering streams");
  const double lateral = summary_value(channel, "Lateral flow into channels");
  EXPECT_GT(entering, 0.01);
  EXPECT_NEAR(entering, lateral, 0.01);
  EXPECT_EQ(overland.find("Attached exiting watershed"), std::string::npos);

  // Dissolved: initial + from the cells + from the fines = out + final.
  const double exchange = summary_value(channel, "Exchange with sediment");
  EXPECT_NEAR(summary_value(channel, "Exchange with dissolved"), -exchange, 0.01);
  EXPECT_NEAR(summary_value(channel, "Initial Mass in Channels") +
                  summary_value(channel, "Mass gain from overland") + exchange,
              summary_value(channel, "Outlet mass flux") +
                  summary_value(channel, "Final Mass in Channels"),
              0.02);
  // Attached: from the cells = to the water + out on the fines + held.
  const double exiting = summary_value(channel, "Exiting outlet");
  const double suspended = summary_value(channel, "Final suspended");
  EXPECT_GT(exiting, 0.0);
  EXPECT_NEAR(lateral, exchange + exiting + suspended, 0.02);
  EXPECT_NEAR(summary_value(channel, "Dissolved mass balance error"), 0.0, 1e-4);
  EXPECT_NEAR(summary_value(global, "Contam mass balance error"), 0.0, 1e-4);
  EXPECT_NEAR(summary_value(overland, "Contam mass balance error"), 0.0, 1e-4);

  // The event summary books the exchange in its dissolved balance.
  const std::string event = whole.substr(whole.find("Channel Contaminant Transport Summary for"));
  EXPECT_NEAR(row_value(event, "Contam mass balance error"), 0.0, 1e-4);
  EXPECT_NEAR(row_value(event, "Exhange with sediments"), exchange, 0.01);
  // The water and its fines together close as well.
  EXPECT_NEAR(row_value(event, "Total (dissolved+attached)"), 0.0, 1e-4);
}

TEST_F(sed_contam_bank_run, without_channel_constituents_the_attached_mass_leaves_with_the_fines) {
  const run_output out = bank("NUM_THREADS 1\n", "", "");
  ASSERT_EQ(out.status, 0) << out.text;
  const std::string whole = file("summary.out");
  const std::string run_part = whole.substr(whole.rfind("Soil Contaminant Transport Summary \n"));
  EXPECT_EQ(run_part.find("Channel Transport Summaries"), std::string::npos);
  const std::string global = run_part.substr(run_part.find("Global Transport Summaries"));
  EXPECT_GT(summary_value(run_part, "Attached entering streams"), 0.01);
  EXPECT_NEAR(summary_value(global, "Contam mass balance error"), 0.0, 1e-4);
}

TEST_F(sed_contam_bank_run, the_summary_and_the_mass_rows_do_not_depend_on_the_thread_count) {
  dir_.write("hyd.loc", "1\n1 10\n");
  std::string summaries[2], rows[2];
  const char* threads[2] = {"NUM_THREADS 1\n", "NUM_THREADS 3\n"};
  for (int t = 0; t < 2; ++t) {
    const run_output out = bank(threads[t], "HYD_FREQ 10\nIN_HYD_LOCATION hyd.loc\n"
                                            "OUT_HYD_LOCATION hyd.out\nOUT_MASS_LOCATION mass.out\n");
    ASSERT_EQ(out.status, 0) << out.text;
    summaries[t] = summary_without_times(file("summary.out"));
    rows[t] = file("mass.out");
  }
  EXPECT_EQ(summaries[0], summaries[1]);
  EXPECT_EQ(rows[0], rows[1]);
  // Each row: the time, then the node's dissolved and attached mass.
  const std::vector<std::string> lines = test_support::lines_of(rows[0]);
  ASSERT_EQ(lines.size(), 31u);
  double minutes = 0.0, dissolved = 0.0, attached = 0.0;
  ASSERT_EQ(std::sscanf(lines[15].c_str(), "%lf %lf %lf", &minutes, &dissolved, &attached), 3)
      << lines[15];
  EXPECT_EQ(lines[15].size(), 14u + 1u + 2u * 13u) << lines[15];
  EXPECT_GT(dissolved, 0.0);
  EXPECT_GT(attached, 0.0);
}

TEST(sed_contam_carry, a_lake_gives_at_the_concentration_of_the_classs_fine_row) {
  // Class 1 is sand and class 2 the one fine class, first in the lake's fine
  // rows: 0.1 m3 of class 2 leaving lake cell 1 for cell 2 carries the
  // lake's 20 g per m3, 2 g, not whatever stands in the row after it.
  sediment_state sed;
  sed.classes = 2;
  sed.sand = {0, 1, 0};
  sed.ov_sed_vol_qsx.assign(9, 0.0);
  sed.ov_sed_vol_qsy.assign(9, 0.0);
  sed.ov_sed_vol_qsx[sed.at(1, 2)] = 0.1;
  sed_contam_state s;
  s.classes = 2;
  s.ov_tot_cell_mass = {{}, {0.0, 0.0, 10.0}};
  s.ov_sed_contam_conc = {{}, std::vector<double>(9, 0.0)};
  grid_state g;
  g.cells = 2;
  g.rightcon = {0, 2, 0};
  g.belowcon = {0, 0, 0};
  const std::vector<int> lake = {0, 1, 0};
  // Lake 1 at 1 x 2 + position (0 the sum), then lake 2.
  const double lake_conc[5] = {0.0, 0.0, 20.0, 20.0, 500.0};
  const int position[3] = {0, 0, 1};
  double given[2] = {0.0, 0.0};
  std::vector<double> volume(9, 1.0);
  sed_contam_carry(sed, s, g, 1, volume.data(), lake.data(),
                   sed_lake_rows{lake_conc, 2, given, position});
  EXPECT_DOUBLE_EQ(s.ov_tot_cell_mass[1][2], 12.0);
  EXPECT_DOUBLE_EQ(given[1], -2.0);
}

// The weirlake fixture (a 4 x 4 plane whose channel feeds a lake of 4000 m3
// that spills over a weir into the outlet channel), both channels erodible,
// under an hour of 36 mm/h with the tracer in the rain: the fines carry it
// off the land into the channels and across the shore into the lake, whose
// own fines take, settle and pass it on over the weir.
class sed_contam_lake_run : public sed_contam_run {
 protected:
  run_output weirlake(int threads, const std::function<void(model_state&)>& after_pass = nullptr) {
    for (const char* name : {"mask.asc", "elevation.asc", "weirlake.gst"})
      dir_.write(name, fixture_text("weirlake", name));
    dir_.write("points.txt", "NUMPT 1\nPOINT 1 1 2.0 0\nNRPDS 0\n");
    dir_.write("weirlake.chan", sediment_fixture::erodible_channels(
                                    fixture_text("weirlake", "weirlake.chan"), "0.3"));
    write_soil_maps(4, 4, 2000.0);
    std::string base = cards;
    base.erase(base.find("NUM_THREADS 1\n"), 14);
    dir_.write("weirlake.prj",
               edit_cards(fixture_text("weirlake", "weirlake.prj"),
                          {"TOT_TIME", "RAIN_INTENSITY", "RAIN_DURATION"},
                          "TOT_TIME 240\nRAIN_INTENSITY 36\nRAIN_DURATION 60\nNUM_THREADS " +
                              std::to_string(threads) + "\n" + base +
                              "SOIL_CON_TRANS\nSEDIMENT_CONTAM\nCHAN_CON_TRANS\n"));
    return run_in_process(dir_.path(), "weirlake.prj", after_pass);
  }
};

TEST_F(sed_contam_lake_run, the_lake_fines_carry_the_tracer_and_every_balance_closes) {
  // After every pass the lakes' attached mass (suspended, settled and what
  // the cells gave but the lake has not taken) is what came in over the
  // shores and from the channels less what the fines gave the lake water,
  // to the rounding of some tens of grams.
  // A cell the lake takes gives the lake its fines' attached mass at the
  // next pass, so no lake cell keeps any.
  double worst = 0.0, shore = 0.0, released = 0.0, taken_attached = 0.0, kept = 0.0;
  std::vector<int> was_lake;
  const run_output out = weirlake(1, [&](model_state& s) {
    const std::vector<int>& lake_of = s.channel.lake_mask;
    was_lake.resize(lake_of.size(), -1);
    kept = 0.0;
    for (int j = 1; j <= s.grid.cells; ++j) {
      const std::size_t jj = std::size_t(j);
      const double attached =
          s.quality.contam.sed.ov_tot_cell_mass[1][jj] - s.quality.contam.c.ov_contam_mass[1][jj];
      if (lake_of[jj] > 0 && was_lake[jj] == 0) taken_attached = std::max(taken_attached, attached);
      if (lake_of[jj] > 0 && was_lake[jj] > 0) kept = std::max(kept, std::fabs(attached));
      was_lake[jj] = lake_of[jj];
    }
    const chan_sed_contam_totals& t = s.quality.chan_sed_contam.run[1];
    const double came = (t.ov_lake + t.chan_lake - t.lake_release) * 1000.0;
    const double held = lake_attached_mass(s, 1) * 1000.0;
    shore = t.ov_lake * 1000.0;
    released = t.lake_release * 1000.0;
    worst = std::max(worst, std::fabs(came - held));
  });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_GT(shore, 10.0);  // g the cells' fines took into the lake
  EXPECT_GT(std::fabs(released), 10.0);
  EXPECT_LT(worst, 1e-8);  // g
  EXPECT_GT(taken_attached, 0.0);  // on a cell as the lake took it
  EXPECT_EQ(kept, 0.0);

  const std::string whole = file("summary.out");
  const std::string run_part = whole.substr(whole.rfind("Soil Contaminant Transport Summary \n"));
  const std::string overland = run_part.substr(run_part.find("Overland Transport Summaries"));
  const std::string channel = run_part.substr(run_part.find("Channel Transport Summaries"));
  const std::string lake = run_part.substr(run_part.find("Lake Contaminant Transport Summary"));
  const std::string global = run_part.substr(run_part.find("Global Transport Summaries"));
  // Each side books what crosses between them.
  EXPECT_EQ(summary_value(overland, "Attached entering lakes"),
            summary_value(lake, "Overland inflow"));
  EXPECT_EQ(summary_value(channel, "Entering lakes"), summary_value(lake, "Channel inflow"));
  EXPECT_EQ(summary_value(lake, "Exchange with attached"),
            -summary_value(lake, "Exchange with dissolved"));
  EXPECT_NEAR(summary_value(lake, "Overland inflow") + summary_value(lake, "Channel inflow") +
                  summary_value(lake, "Exchange with dissolved"),
              summary_value(lake, "Settled with the fines") +
                  summary_value(lake, "Final suspended"),
              0.02);
  for (const auto& [part, label] :
       std::vector<std::pair<std::string, std::string>>{
           {overland, "Contam mass balance error"}, {channel, "Dissolved mass balance error"},
           {lake, "Contam mass balance error"}, {global, "Contam mass balance error"}}) {
    SCOPED_TRACE(part.substr(0, 60));
    EXPECT_NEAR(summary_value(part, label), 0.0, 1e-4);
  }
  // The event's lake balance takes the fines' exchange too.
  const std::string event = whole.substr(whole.find("Lake Contaminant Transport Summary for"));
  EXPECT_NEAR(row_value(event, "Dissolved mass balance error"), 0.0, 1e-4);
  EXPECT_NEAR(row_value(event, "Exchange with attached"),
              summary_value(lake, "Exchange with attached"), 0.005);
  // The event's channel water and fines together close, the fines that
  // entered the lake counted as gone.
  const std::string event_channel =
      whole.substr(whole.find("Channel Contaminant Transport Summary for"));
  EXPECT_NEAR(row_value(event_channel, "Total (dissolved+attached)"), 0.0, 1e-4);
}

TEST_F(sed_contam_lake_run, the_summaries_do_not_depend_on_the_thread_count) {
  ASSERT_EQ(weirlake(1).status, 0);
  const std::string one = summary_without_times(file("summary.out"));
  ASSERT_EQ(weirlake(3).status, 0);
  EXPECT_EQ(summary_without_times(file("summary.out")), one);
}

TEST(sed_soil_pickup_conc, sorbed_mass_per_volume_of_fine_solids) {
  // 100 g with a fifth dissolved in 0.1 m at porosity 0.4 under a 10 m
  // cell whose parent soil is 70 % fines: 80 g on 0.7 x 0.1 x 100 x 0.6 =
  // 4.2 m3 of fine solids.
  EXPECT_NEAR(sed_soil_pickup_conc(100.0, 0.2, 0.7, 0.1, 0.4, 10.0), 80.0 / 4.2, 1e-12);
  EXPECT_EQ(sed_soil_pickup_conc(100.0, 0.2, 0.0, 0.1, 0.4, 10.0), 0.0);  // no fines
  EXPECT_EQ(sed_soil_pickup_conc(100.0, 0.2, 0.7, 0.1, 1.0, 10.0), 0.0);  // no solids
  EXPECT_EQ(sed_soil_pickup_conc(-5.0, 0.2, 0.7, 0.1, 0.4, 10.0), 0.0);
}

TEST(sed_contam_cell_mass, water_that_cannot_give_up_what_sorbs_leaves_it_with_the_sediment) {
  // The partition gave a cell's fines 10 g, 3 g of them to come from its
  // water, which holds only 1 g by the cell step: the water gives its 1 g
  // and the fines keep 8 g, so nothing is made. A release to the water is
  // taken whole.
  struct release_case {
    const char* label;
    double release, rate, total;
  };
  const release_case cases[] = {
      {"more than the water holds", -3.0, -1.0 / 10.0, 8.0},
      {"a release", 2.5, 2.5 / 10.0, 10.0},
  };
  for (const release_case& r : cases) {
    SCOPED_TRACE(r.label);
    constituent_state c;
    constituent_fixture::size_state(c, 1, 1, 1);
    c.ov_contam_mass[1][1] = 1.0;
    double release[2] = {0.0, r.release}, total[2] = {0.0, 10.0}, released = 0.0;
    const sed_contam_rows rows{release, total, &released};
    EXPECT_DOUBLE_EQ(ov_contam_cell_mass(c, 1, 1, 10.0, contam_intervals{}, false, nullptr, &rows),
                     r.rate);
    EXPECT_EQ(release[1], 0.0);
    EXPECT_DOUBLE_EQ(total[1], r.total);
    EXPECT_DOUBLE_EQ(released, r.rate * 10.0);
    // Fines, water and what the cell step adds to the water hold what the
    // cell and the release held.
    EXPECT_DOUBLE_EQ(total[1] + c.ov_contam_mass[1][1] + r.rate * 10.0, 11.0 + r.release);
  }
}

TEST(sed_contam_carry, a_channel_lakes_fines_give_and_take_across_its_shore) {
  // A row of three cells with one fine class: cell 1 (50 g per m3 of
  // sediment, 100 g) sends 0.1 m3 into lake cell 2, 5 g that the lake gains;
  // across the lake's other face either the lake (20 g/m3) sends 0.1 m3 to
  // cell 3 (30 g/m3, 10 g), 2 g, or cell 3 sends it 0.2 m3, 6 g. The lake
  // cell's own total and volume stay as they are.
  struct face_case {
    const char* label;
    double v;       // m3 across the face from the lake cell to cell 3
    double given;   // g the lake gained over both faces
    double third;   // g on cell 3 after
  };
  const face_case cases[] = {
      {"the lake's fines leave it", 0.1, 5.0 - 2.0, 12.0},
      {"cell 3's fines enter it", -0.2, 5.0 + 6.0, 4.0},
  };
  for (const face_case& t : cases) {
    SCOPED_TRACE(t.label);
    sediment_state sed;
    sed.classes = 1;
    sed.sand = {0, 0};
    sed.ov_sed_vol_qsx.assign(8, 0.0);
    sed.ov_sed_vol_qsy.assign(8, 0.0);
    sed.ov_sed_vol_qsx[sed.at(1, 1)] = 0.1;
    sed.ov_sed_vol_qsx[sed.at(2, 1)] = t.v;
    sed_contam_state s;
    s.classes = 1;
    s.ov_tot_cell_mass = {{}, {0.0, 100.0, 7.0, 10.0}};
    s.ov_sed_contam_conc = {{}, {0.0, 0.0, 0.0, 50.0, 0.0, 99.0, 0.0, 30.0}};
    grid_state g;
    g.cells = 3;
    g.rightcon = {0, 2, 3, 0};
    g.belowcon = {0, 0, 0, 0};
    const std::vector<int> lake = {0, 0, 1, 0};
    const double lake_conc[4] = {0.0, 0.0, 0.0, 20.0};  // lake 1, class 1 at 1 x 2 + 1
    double given[2] = {0.0, 0.0};
    std::vector<double> volume(8, 1.0);
    const int position[2] = {0, 1};
    sed_contam_carry(sed, s, g, 1, volume.data(), lake.data(),
                     sed_lake_rows{lake_conc, 2, given, position});
    EXPECT_DOUBLE_EQ(s.ov_tot_cell_mass[1][1], 95.0);
    EXPECT_DOUBLE_EQ(s.ov_tot_cell_mass[1][2], 7.0);
    EXPECT_DOUBLE_EQ(s.ov_tot_cell_mass[1][3], t.third);
    EXPECT_DOUBLE_EQ(given[1], t.given);
    EXPECT_DOUBLE_EQ(s.ov_tot_cell_mass[1][1] + s.ov_tot_cell_mass[1][3] + given[1], 110.0);
    EXPECT_DOUBLE_EQ(volume[s.at(1, 1)], 0.9);
    EXPECT_DOUBLE_EQ(volume[s.at(2, 1)], 1.0);
    EXPECT_DOUBLE_EQ(volume[s.at(3, 1)], 1.0 + t.v);
  }
}

}  // namespace
