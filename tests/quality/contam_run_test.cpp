// The dissolved constituents run end to end. plane20 (twenty 100 m cells,
// 36 mm/h for four hours: 28800 m3 of rain) carries a conservative tracer of
// 2 g/m3 in its rain, so 57.60 kg come in and leave through the outlet or
// stay on the cells; the "pond" (three flat 100 m cells, two holding 5 cm of
// still water below a 10 cm retention) decays 100 kg at 0.864 per day for
// ten hours to 100 e^-0.36 = 69.77 kg.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "quality/cell_contam_mass.h"
#include "surface/surface_run_fixture.h"
#include "test_support.h"

namespace {

using namespace surface_fixture;
using test_support::padded;
using test_support::temp_dir;

// One constituent over one id: its rain concentration and the eight table
// values (dispersion, decay per day, exchange rate, land mass, groundwater
// concentration, surface concentration, partition, greatest concentration).
std::string contam_tables(const std::string& name, double precip, const std::string& values,
                          const std::string& output = "") {
  std::string t = "VALTO_INDEX_MAP_TABLES\nINDEX_MAP ids.idx \"All\"\n";
  t += "CONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n";
  t += "\"" + name + "\" \"All\" \"" + output + "\"\n";
  std::ostringstream p;
  p << "PRECIP_CONC " << precip << "\nPARTITION 0\nNUM_IDS 1\nID    DESCRIPTION    VALUES\n";
  t += p.str();
  t += "1     " + padded("Everywhere", 80) + "  " + values + "\n";
  return t;
}

// The value printed after label on its line, whatever blanks or dots lead
// to it; NaN when no line holds the label.
double value_after(const std::string& text, const std::string& label) {
  std::size_t at = text.find(label);
  if (at == std::string::npos) return NAN;
  at += label.size();
  while (at < text.size() && (text[at] == ' ' || text[at] == '.')) ++at;
  return std::stod(text.substr(at));
}

// Sums over the cells of constituent 1: the mass on the cells and what rain
// has brought (booked or still gathered), g.
struct tracer_sums {
  double cells = 0.0;
  double rain = 0.0;
};

tracer_sums sums_of(const model_state& s) {
  const contaminant_model& m = s.quality.contam;
  tracer_sums t;
  for (int j = 1; j <= s.grid.cells; ++j) {
    t.cells += m.c.ov_contam_mass[1][std::size_t(j)];
    t.rain += m.c.cell_precip_mass[1][std::size_t(j)];
  }
  t.rain += m.run[1].ov_precip_mass * 1000.0;
  return t;
}

// Share of what came in (the initial mass and the rain) that is neither held
// (held g: on the cells and in or bound for the soil) nor booked as gone out
// or decayed.
double mass_gap(const model_state& s, double held) {
  const constituent_totals& r = s.quality.contam.run[1];
  const double in = r.global_mass_init * 1000.0 + sums_of(s).rain;
  const double out = held + (r.ov_mass_out + r.global_mass_decay) * 1000.0;
  return std::fabs(in - out) / in;
}

class contam_run : public testing::Test {
 protected:
  run_output plane(const std::string& extra, const std::string& tables,
                   const std::function<void(model_state&)>& after_pass = nullptr) {
    for (const char* name : {"mask.asc", "elevation.asc"})
      dir_.write(name, fixture_text("plane20", name));
    dir_.write("ids.idx", ascii_grid(1, 20, 100, std::vector<double>(20, 1.0)));
    dir_.write("tables.cmt", tables);
    dir_.write("plane20.prj", edit_cards(fixture_text("plane20", "plane20.prj"), {},
                                         "NUM_THREADS 1\n" + extra));
    return run_in_process(dir_.path(), "plane20.prj", after_pass);
  }

  // Three flat cells, the outlet dry in the east, no rain.
  run_output pond(const std::string& extra, const std::string& tables,
                  const std::function<void(model_state&)>& after_pass = nullptr) {
    dir_.write("mask.asc", ascii_grid(1, 3, 100, {1, 1, 1}));
    dir_.write("elevation.asc", ascii_grid(1, 3, 100, {0, 0, 0}));
    dir_.write("depth.asc", ascii_grid(1, 3, 100, {0.05, 0.05, 0}));
    dir_.write("ids.idx", ascii_grid(1, 3, 100, {1, 1, 1}));
    dir_.write("rain.gag",
               "EVENT dry\nNRGAG 1\nNRPDS 2\nCOORD 50 50\nGAGES 2000 6 1 0 0 0\n"
               "GAGES 2000 6 1 10 0 0\n");
    dir_.write("tables.cmt", tables);
    dir_.write("pond.prj",
               "VALTOPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elevation.asc\nGRIDSIZE 100\n"
               "ROWS 1\nCOLS 3\nTIMESTEP 10\nTOT_TIME 600\nOUTROW 1\nOUTCOL 3\nOUTSLOPE 0.01\n"
               "MANNING_N 0.05\nRETENTION 100\nOV_INIT_DEPTH depth.asc\nPRECIP_FILE rain.gag\n"
               "HYD_FREQ 10\nSUMMARY summary.out\nOUTLET_HYDRO outlet.hyd\nNUM_THREADS 1\n"
               "MAPPING_TABLE tables.cmt\nOV_CON_TRANS\n" +
                   extra);
    return run_in_process(dir_.path(), "pond.prj", after_pass);
  }
  // plane20-richards: six hours of 2 mm/h on 30 cm loam columns of 1 cm
  // nodes, all of it infiltrating.
  run_output richards(const std::string& extra, const std::string& tables,
                      const std::function<void(model_state&)>& after_pass = nullptr) {
    const char* folder = "plane20-richards";
    for (const char* name : {"mask.asc", "elevation.asc", "soils.asc", "soils.tbl"})
      dir_.write(name, fixture_text(folder, name));
    dir_.write("ids.idx", ascii_grid(1, 20, 100, std::vector<double>(20, 1.0)));
    dir_.write("tables.cmt", tables);
    dir_.write("plane.prj", edit_cards(fixture_text(folder, std::string(folder) + ".prj"), {},
                                       "NUM_THREADS 1\n" + extra));
    return run_in_process(dir_.path(), "plane.prj", after_pass);
  }
  std::string file(const std::string& name) { return test_support::read_file(dir_.file(name)); }
  // The end-of-run soil blocks and what follows them; the event's rows come
  // earlier with the same labels.
  std::string soil_summary() {
    const std::string whole = file("summary.out");
    return whole.substr(whole.find("Soil Contaminant Transport Summary \n"));
  }

  temp_dir dir_;
};

const char* tracer_cards = "MAPPING_TABLE tables.cmt\nOV_CON_TRANS\n";

TEST_F(contam_run, a_tracer_in_the_rain_leaves_or_stays_for_every_scheme) {
  const std::string tables = contam_tables("Tracer", 2.0, "0 0 0 0 0 0 0 0");
  for (int scheme : {1, 2, 3}) {
    SCOPED_TRACE(scheme);
    double worst = 0.0, rain_volume = 0.0, booked = 0.0;
    const run_output out =
        plane(std::string(tracer_cards) + "OVERTYPE " + std::to_string(scheme) + "\n", tables,
              [&](model_state& s) {
                const tracer_sums t = sums_of(s);
                const double taken = s.quality.contam.run[1].ov_mass_out * 1000.0;
                if (t.rain > 0) worst = std::max(worst, std::fabs(t.rain - taken - t.cells) / t.rain);
                rain_volume = s.surface.rain_volume;
                booked = s.quality.contam.run[1].ov_precip_mass * 1000.0;
              });
    ASSERT_EQ(out.status, 0) << out.text;
    EXPECT_LT(worst, 1e-9);
    // The rain loaded is the water the rain step applied at 2 g/m3.
    EXPECT_NEAR(booked, 2.0 * rain_volume, 1e-9 * booked);
    EXPECT_NEAR(rain_volume, 28800.0, 1e-3);
  }
}

TEST_F(contam_run, the_tracer_summaries_close_on_the_rain_it_brought) {
  const run_output out = plane(tracer_cards, contam_tables("Tracer", 2.0, "0 0 0 0 0 0 0 0"));
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_NE(out.text.find("reading contaminant transport table and map from master table file"),
            std::string::npos);
  EXPECT_NE(out.text.find("1 contaminants found"), std::string::npos);
  const std::string summary = file("summary.out");
  EXPECT_NE(summary.find("Overland Constituent Transport Summary for Constituent     1 (Tracer)\n"),
            std::string::npos);
  EXPECT_NE(summary.find("Precipitation mass gain                57.60 \n"), std::string::npos);
  EXPECT_NE(summary.find("Initial Dissolved mass on ov            0.00 \n"), std::string::npos);
  EXPECT_NEAR(summary_value(summary, "Outlet mass flux") +
                  summary_value(summary, "Final Dissolved mass on ov"),
              57.60, 0.01);
  EXPECT_GT(summary_value(summary, "Outlet mass flux"), 50.0);
  EXPECT_NEAR(summary_value(summary, "Contam mass balance error"), 0.0, 1e-4);
  EXPECT_NE(summary.find("Contaminant Transport Global Summary for Contaminant     1 \n"),
            std::string::npos);
  EXPECT_NE(summary.find("Precipitation inputs                   57.60 \n"), std::string::npos);
  EXPECT_NEAR(summary_value(summary, "Total final Mass") +
                  summary_value(summary, "Total mass out of system"),
              57.60, 0.01);
  // The event's balance rows.
  EXPECT_NEAR(value_after(summary, "Precipitation gain"), 57.60, 1e-9);
  EXPECT_NE(summary.find("Precipitation gain ...............................             57.60\n"),
            std::string::npos);
  EXPECT_EQ(value_after(summary, "Negative mass"), 0.0);
  EXPECT_NEAR(value_after(summary, "Dissolved mass balance error"), 0.0, 1e-4);
}

TEST_F(contam_run, the_balances_do_not_depend_on_the_thread_count) {
  std::string sections[2];
  for (int t = 0; t < 2; ++t) {
    const run_output out =
        plane(std::string(tracer_cards) + (t == 0 ? "NUM_THREADS 1\n" : "NUM_THREADS 4\n"),
              contam_tables("Tracer", 2.0, "0.5 0.864 0 0 0 0 0 0"));
    ASSERT_EQ(out.status, 0) << out.text;
    const std::string summary = file("summary.out");
    sections[t] = summary.substr(summary.find("Overland Contaminant Transport Summary"));
    sections[t] = summary_without_times(sections[t]);
  }
  EXPECT_EQ(sections[0], sections[1]);
}

TEST_F(contam_run, still_water_decays_to_the_exponential) {
  const run_output out = pond("", contam_tables("Decaying", 0.0, "0 0.864 0 0 0 100 0 0"));
  ASSERT_EQ(out.status, 0) << out.text;
  const std::string summary = file("summary.out");
  // 100 g/m3 in 2 x 0.05 m x 100 m x 100 m.
  EXPECT_NE(summary.find("Initial Dissolved mass on ov          100.00 \n"), std::string::npos);
  EXPECT_NEAR(summary_value(summary, "Final Dissolved mass on ov"), 69.77, 0.01);
  EXPECT_NEAR(summary_value(summary, "Mass decay loss on overland"), 30.23, 0.01);
  EXPECT_NE(summary.find("Contam mass balance error               0.0000 percent \n"),
            std::string::npos);
}

TEST_F(contam_run, each_cell_step_takes_the_decay_of_its_own_interval) {
  // The still cells lose k a of their mass per step of a = 10 s: after n
  // steps M0 (1 - k a)^n. With a kinetics factor of 3 the decay is gathered
  // over 30 s and taken in shares; the mass lost is the same to within the
  // share's lag.
  const double k = 0.864 / 86400.0;
  for (double factor : {1.0, 3.0}) {
    SCOPED_TRACE(factor);
    std::vector<double> masses;
    const run_output out =
        pond("KINETICS_TIMESTEP_FACTOR " + std::to_string(factor) + "\n",
             contam_tables("Decaying", 0.0, "0 0.864 0 0 0 100 0 0"), [&](model_state& s) {
               masses.push_back(sums_of(s).cells);
             });
    ASSERT_EQ(out.status, 0) << out.text;
    ASSERT_GT(masses.size(), 100u);
    if (factor == 1.0) {
      // The decay starts with the first pass that has an interval to decay
      // over; from there every pass takes its step's share.
      std::size_t first = 0;
      while (first < masses.size() && masses[first] == 1e5) ++first;
      ASSERT_LT(first, 3u);
      for (std::size_t n = first; n < masses.size(); n += 97) {
        const double steps = double(n - first + 1);
        EXPECT_NEAR(masses[n], 1e5 * std::pow(1.0 - k * 10.0, steps), 1e-9 * 1e5) << n;
      }
    } else {
      EXPECT_NEAR(masses.back(), 1e5 * std::exp(-k * 36000.0), 0.01 * 1e5);
    }
  }
}

TEST_F(contam_run, infiltrating_rain_carries_the_tracer_into_the_soil_layer) {
  // Green and Ampt under the plane; the top soil layer reaches to the
  // soil-moisture depth of 0.4 m and starts at 1 mg/kg: per cell
  // 1 x 0.4 m x 100 m x 100 m x 2.65 x (1 - 0.453) = 5798.2 g, 115.96 kg in
  // all. Both waters decay at 0.864 per day.
  for (const auto& [name, value] :
       std::vector<std::pair<std::string, double>>{{"ks.asc", 1.09}, {"hc.asc", 11.01},
                                                   {"phi.asc", 0.453}, {"theta.asc", 0.15}})
    dir_.write(name, ascii_grid(1, 20, 100, std::vector<double>(20, value)));
  const std::string cards = std::string(tracer_cards) +
                            "SOIL_CON_TRANS\nGREEN_AMPT\nCONDUCTIVITY ks.asc\nCAPILLARY hc.asc\n"
                            "POROSITY phi.asc\nMOISTURE theta.asc\n";
  double worst = 0.0, infiltrated = 0.0;
  const run_output out =
      plane(cards, contam_tables("Tracer", 2.0, "0 0.864 0 1 0 0 0 0"), [&](model_state& s) {
        const contaminant_model& m = s.quality.contam;
        const constituent_totals& r = m.run[1];
        double held = sums_of(s).cells;
        for (int j = 1; j <= s.grid.cells; ++j)
          held += m.c.soil_mass[1].at(j, 1) + m.c.soil_top_mass[1][std::size_t(j)];
        worst = std::max(worst, mass_gap(s, held));
        infiltrated = r.ov_infil_mass;
      });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_LT(worst, 1e-9);
  EXPECT_GT(infiltrated, 1.0);
  const std::string summary = soil_summary();
  EXPECT_NE(summary.find("Soil Constituent Transport Summary for Tracer \n"), std::string::npos);
  EXPECT_NEAR(summary_value(summary, "Initial Mass in Soil Column"), 115.96, 0.005);
  EXPECT_NEAR(summary_value(summary, "Mass added by infiltration"), infiltrated, 0.01);
  EXPECT_GT(summary_value(summary, "Soil decay mass"), 0.0);
  EXPECT_NEAR(summary_value(summary, "Soil mass balance error"), 0.0, 1e-4);
  EXPECT_NEAR(summary_value(summary, "Contam mass balance error"), 0.0, 1e-4);
  // The global balance, last in the summary.
  const std::string global = summary.substr(summary.find("Global Transport Summaries"));
  EXPECT_NEAR(summary_value(global, "Contam mass balance error"), 0.0, 1e-4);
}

TEST_F(contam_run, a_redistribution_soil_carries_three_layers_of_its_stores_water) {
  // Mixing, top-layer and soil-moisture depths of 0.1, 0.3 and 0.4 m give
  // layers of 0.1, 0.2 and 0.1 m; the first starts at 1 mg/kg:
  // 20 x 1 x 0.1 m x 1 ha x 2.65 x (1 - 0.453) = 28.99 kg.
  for (const auto& [name, value] : std::vector<std::pair<std::string, double>>{
           {"ks.asc", 1.09}, {"hc.asc", 11.01}, {"phi.asc", 0.453}, {"theta.asc", 0.15},
           {"lambda.asc", 0.25}, {"thr.asc", 0.04}})
    dir_.write(name, ascii_grid(1, 20, 100, std::vector<double>(20, value)));
  const std::string cards = std::string(tracer_cards) +
                            "SOIL_CON_TRANS\nINF_REDIST\nCONDUCTIVITY ks.asc\nCAPILLARY hc.asc\n"
                            "POROSITY phi.asc\nMOISTURE theta.asc\nPORE_INDEX lambda.asc\n"
                            "RESIDUAL_SAT thr.asc\nSOIL_MOIST_DEPTH 0.4\nTOP_LAYER_DEPTH 0.3\n"
                            "MIXING_LAYER_DEPTH 0.1\n";
  double worst = 0.0, worst_theta = 0.0;
  int layers = 0, checked = 0;
  double thickness[4] = {};
  const run_output out =
      plane(cards, contam_tables("Tracer", 2.0, "0 0.864 0 1 0 0 0 0"), [&](model_state& s) {
        const contaminant_model& m = s.quality.contam;
        layers = m.c.soil_layers;
        for (int l = 1; l <= 3; ++l) thickness[l] = m.c.soil_layer_thickness[l];
        double held = sums_of(s).cells;
        for (int j = 1; j <= s.grid.cells; ++j) {
          for (int l = 1; l <= layers; ++l) held += m.c.soil_mass[1].at(j, l);
          held += m.c.soil_top_mass[1][std::size_t(j)];
          // Once the soil-layer step has run, layers 1 and 2 hold the upper
          // store's content and layer 3 the lower one's.
          if (m.c.theta.at(j, 1) == 0.0) continue;
          ++checked;
          const double upper = s.soil.m1[std::size_t(j)] / 30.0;
          const double lower = s.soil.m2[std::size_t(j)] / 10.0;
          worst_theta = std::max({worst_theta, std::fabs(m.c.theta.at(j, 1) - upper),
                                  std::fabs(m.c.theta.at(j, 2) - upper),
                                  std::fabs(m.c.theta.at(j, 3) - lower)});
        }
        worst = std::max(worst, mass_gap(s, held));
      });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_EQ(layers, 3);
  EXPECT_NEAR(thickness[1], 0.1, 1e-12);
  EXPECT_NEAR(thickness[2], 0.2, 1e-12);
  EXPECT_NEAR(thickness[3], 0.1, 1e-12);
  EXPECT_LT(worst, 1e-9);
  EXPECT_LT(worst_theta, 1e-12);
  EXPECT_GT(checked, 1000);
  const std::string summary = soil_summary();
  EXPECT_NEAR(summary_value(summary, "Initial Mass in Soil Column"), 28.99, 0.005);
  EXPECT_NEAR(summary_value(summary, "Soil mass balance error"), 0.0, 1e-4);
}

TEST_F(contam_run, a_layered_soil_splits_its_first_layer_at_the_mixing_depth) {
  // Soil layers of 10 and 30 cm at porosity 0.45 with a mixing depth of
  // 5 cm: constituent layers of 0.05, 0.05 and 0.30 m; the first starts at
  // 1 mg/kg: 20 x 1 x 0.05 m x 1 ha x 2.65 x 0.55 = 14.575 kg.
  const std::string layer = "1.0 0.25 10 0.45 0.30 0.10 0.05 0.25";
  dir_.write("soils.asc", ascii_grid(1, 20, 100, std::vector<double>(20, 1.0)));
  dir_.write("layers.txt", "1\n0\n1\n" + layer + " 10\n" + layer + " 30\n" + layer + "\n");
  const std::string cards = std::string(tracer_cards) +
                            "SOIL_CON_TRANS\nINF_LAYERED_SOIL\nSOIL_TYPE_MAP soils.asc\n"
                            "SOIL_LAYER_INPUT_FILE layers.txt\nMIXING_LAYER_DEPTH 0.05\n";
  double worst = 0.0;
  int layers = 0;
  double thickness[4] = {}, porosity = 0.0;
  const run_output out =
      plane(cards, contam_tables("Tracer", 2.0, "0 0.864 0 1 0 0 0 0"), [&](model_state& s) {
        const contaminant_model& m = s.quality.contam;
        layers = m.geometry.layers[1];
        for (int l = 1; l <= layers; ++l) thickness[l] = m.geometry.thickness.at(1, l);
        porosity = m.geometry.porosity.at(1, 1);
        double held = sums_of(s).cells;
        for (int j = 1; j <= s.grid.cells; ++j) {
          for (int l = 1; l <= layers; ++l) held += m.c.soil_mass[1].at(j, l);
          held += m.c.soil_top_mass[1][std::size_t(j)];
        }
        worst = std::max(worst, mass_gap(s, held));
      });
  ASSERT_EQ(out.status, 0) << out.text;
  ASSERT_EQ(layers, 3);
  EXPECT_NEAR(thickness[1], 0.05, 1e-12);
  EXPECT_NEAR(thickness[2], 0.05, 1e-12);
  EXPECT_NEAR(thickness[3], 0.30, 1e-12);
  EXPECT_DOUBLE_EQ(porosity, 0.45);
  EXPECT_LT(worst, 1e-9);
  const std::string summary = soil_summary();
  EXPECT_NEAR(summary_value(summary, "Initial Mass in Soil Column"), 14.575, 0.006);
  EXPECT_NEAR(summary_value(summary, "Soil mass balance error"), 0.0, 1e-4);
}

TEST_F(contam_run, a_richards_column_carries_the_infiltrated_tracer_in_its_mixing_layer) {
  // One layer over the 10 cm mixing depth, the loam's top ten nodes at a
  // saturated content of 0.463, starting at 1 mg/kg: per cell
  // 1 x 0.1 m x 1 ha x 2.65 x (1 - 0.463) = 1423.05 g, 28.461 kg in all.
  // The 2400 m3 of rain at 2 g/m3 all go into the soil, 4.80 kg more: a
  // conservative tracer leaves 33.261 kg in the layer. A decaying, sorbing
  // one loses its dissolved share at the content the top nodes hold.
  struct tracer_case {
    const char* label;
    const char* values;
    bool conservative;
  };
  const tracer_case cases[] = {{"conservative", "0 0 0 1 0 0 0 0", true},
                               {"decaying and sorbing", "0 0.864 0 1 0 0 0.5 0", false}};
  for (const tracer_case& t : cases) {
    SCOPED_TRACE(t.label);
    double worst = 0.0, worst_theta = 0.0, infiltrated = 0.0, soil = 0.0, waiting = 0.0;
    int checked = 0;
    const run_output out = richards(
        std::string(tracer_cards) + "SOIL_CON_TRANS\nMIXING_LAYER_DEPTH 0.1\n",
        contam_tables("Tracer", 2.0, t.values), [&](model_state& s) {
          const contaminant_model& m = s.quality.contam;
          const constituent_totals& r = m.run[1];
          const richards_soil& rs = s.soil.richards;
          double held = sums_of(s).cells;
          soil = waiting = 0.0;
          for (int j = 1; j <= s.grid.cells; ++j) {
            soil += m.c.soil_mass[1].at(j, 1);
            waiting += m.c.soil_top_mass[1][std::size_t(j)];
            held += m.c.soil_mass[1].at(j, 1) + m.c.soil_top_mass[1][std::size_t(j)];
            if (m.c.theta.at(j, 1) == 0.0) continue;
            // The layer's content is the mean of the top ten 1 cm nodes.
            double top = 0.0;
            for (int n = 1; n <= 10; ++n) top += rs.theta[std::size_t(j) * std::size_t(rs.row) + n];
            worst_theta = std::max(worst_theta, std::fabs(m.c.theta.at(j, 1) - top / 10.0));
            ++checked;
          }
          worst = std::max(worst, mass_gap(s, held));
          infiltrated = r.soil_infil_mass;
        });
    ASSERT_EQ(out.status, 0) << out.text;
    EXPECT_LT(worst, 1e-9);
    EXPECT_GT(checked, 100);
    EXPECT_LT(worst_theta, 1e-12);
    const std::string summary = soil_summary();
    EXPECT_NEAR(summary_value(summary, "Initial Mass in Soil Column"), 28.461, 0.005);
    EXPECT_NEAR(summary_value(summary, "Soil mass balance error"), 0.0, 1e-4);
    EXPECT_NEAR(summary_value(summary, "Contam mass balance error"), 0.0, 1e-4);
    const std::string global = summary.substr(summary.find("Global Transport Summaries"));
    EXPECT_NEAR(summary_value(global, "Contam mass balance error"), 0.0, 1e-4);
    if (t.conservative) {
      // The last step's 3.33 m3 (6.67 g) wait for the layer's next step.
      EXPECT_NEAR(waiting, 6.667, 0.001);
      EXPECT_NEAR(infiltrated + waiting / 1000.0, 4.80, 1e-6);
      EXPECT_NEAR((soil + waiting) / 1000.0, 33.261, 0.0005);
    } else {
      EXPECT_GT(summary_value(summary, "Soil decay mass"), 0.0);
    }
  }
}

TEST_F(contam_run, mass_the_cells_give_the_channels_leaves_the_system) {
  // The bank fixture: rain on a 3 x 10 plane drains over the banks into the
  // channel along its bottom row; without channel constituents what crosses
  // the banks is lost to the stream.
  for (const char* name : {"mask.asc", "elevation.asc", "bank.chan", "bank.gst"})
    dir_.write(name, fixture_text("bank", name));
  dir_.write("ids.idx", ascii_grid(3, 10, 100, std::vector<double>(30, 1.0)));
  dir_.write("tables.cmt", contam_tables("Tracer", 2.0, "0 0 0 0 0 0 0 0"));
  dir_.write("bank.prj", edit_cards(fixture_text("bank", "bank.prj"), {},
                                    std::string("NUM_THREADS 1\n") + tracer_cards));
  const run_output out = run_in_process(dir_.path(), "bank.prj");
  ASSERT_EQ(out.status, 0) << out.text;
  const std::string summary = file("summary.out");
  const double stream = summary_value(summary, "Mass loss to stream");
  EXPECT_GT(stream, 10.0);
  // 2 g/m3 of 36 mm/h for four hours on 30 cells of 1 ha.
  EXPECT_NEAR(summary_value(summary, "Precipitation mass gain"), 86.40, 0.005);
  const std::string global = summary.substr(summary.find("Global Transport Summaries"));
  EXPECT_NEAR(summary_value(global, "Contam mass balance error"), 0.0, 1e-4);
  EXPECT_NEAR(summary_value(global, "Total mass out of system"), stream, 0.005);
}

TEST_F(contam_run, channel_lakes_wait_for_the_channel_constituents) {
  for (const char* name :
       {"mask.asc", "elevation.asc", "weirlake.chan", "weirlake.gst", "points.txt"})
    dir_.write(name, fixture_text("weirlake", name));
  dir_.write("ids.idx", ascii_grid(4, 4, 100, std::vector<double>(16, 1.0)));
  dir_.write("tables.cmt", contam_tables("Tracer", 2.0, "0 0 0 0 0 0 0 0"));
  dir_.write("weirlake.prj", edit_cards(fixture_text("weirlake", "weirlake.prj"), {},
                                        std::string("NUM_THREADS 1\n") + tracer_cards));
  const run_output out = run_in_process(dir_.path(), "weirlake.prj");
  EXPECT_EQ(out.status, 1);
  EXPECT_NE(out.text.find("Error: OV_CON_TRANS with channel lakes needs CHAN_CON_TRANS"),
            std::string::npos)
      << out.text;
}

TEST(step_share, a_gathered_amount_is_taken_a_third_at_a_time_over_three_steps) {
  EXPECT_DOUBLE_EQ(step_share(10.0, 30.0, 9.0), 3.0);
  EXPECT_DOUBLE_EQ(step_share(10.0, 10.4, 9.0), 9.0);
}

TEST_F(contam_run, all_contam_output_writes_a_concentration_and_a_mass_map) {
  const run_output out = plane(std::string(tracer_cards) + "ALL_CONTAM_OUTPUT\nMAP_TYPE 0\n",
                               contam_tables("Tracer", 2.0, "0 0 0 0 0 0 0 0"));
  ASSERT_EQ(out.status, 0) << out.text;
  for (const char* name : {"conc_01.conc.0001.asc", "mass_01.mass.0001.asc"})
    EXPECT_TRUE(std::filesystem::exists(dir_.file(name))) << name;
  // MAP_FREQ 60 over 360 minutes: the start and six more.
  EXPECT_TRUE(std::filesystem::exists(dir_.file("conc_01.conc.0007.asc")));
  EXPECT_FALSE(std::filesystem::exists(dir_.file("conc_01.conc.0008.asc")));
  // Rain at 2 g/m3 on still dry cells: the first map is of the first
  // step's rain, which holds the rain's concentration.
  const std::string first = file("conc_01.conc.0001.asc");
  EXPECT_NE(first.find("2"), std::string::npos) << first;
}

// The constituent concentration dataset holds its header and its end only.
TEST_F(contam_run, the_concentration_dataset_is_opened_and_ended_without_records) {
  const run_output out = plane(std::string(tracer_cards) + "MAP_TYPE 1\nOV_CON_MAP conc.dat\n",
                               contam_tables("Tracer", 2.0, "0 0 0 0 0 0 0 0"));
  ASSERT_EQ(out.status, 0) << out.text;
  const std::string text = file("conc.dat");
  EXPECT_EQ(text.rfind("DATASET\nOBJTYPE grid2d\nBEGSCL\n", 0), 0u) << text;
  EXPECT_NE(text.find("OBJID 1020\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("TS "), std::string::npos) << text;
  EXPECT_EQ(text.substr(text.size() - 6), "ENDDS\n");
}

TEST_F(contam_run, bad_constituent_input_stops_the_run_with_its_message) {
  struct bad_case {
    const char* label;
    std::string cards;
    std::string tables;
    const char* message;
  };
  const std::string good = contam_tables("Tracer", 2.0, "0 0 0 0 0 0 0 0");
  const bad_case cases[] = {
      {"no mapping table", "OV_CON_TRANS\n", good,
       "Error: The number of contaminants is not a positive value."},
      {"a kinetics factor of 0", std::string(tracer_cards) + "KINETICS_TIMESTEP_FACTOR 0\n", good,
       "Error: the project card KINETICS_TIMESTEP_FACTOR has the value 0;"},
      {"an unmatched index map", tracer_cards,
       "VALTO_INDEX_MAP_TABLES\nINDEX_MAP ids.idx \"All\"\nCONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n"
       "\"T\" \"None\" \"\"\nPRECIP_CONC 1\nPARTITION 0\n",
       "Error reading the contaminant transport tables in the mapping table file."},
      {"soil layers without an infiltration method", std::string(tracer_cards) + "SOIL_CON_TRANS\n",
       good,
       "Error: the project card SOIL_CON_TRANS carries constituents in the soil under Green and "
       "Ampt or Richards infiltration"},
      {"a missing index map file", tracer_cards,
       "VALTO_INDEX_MAP_TABLES\nINDEX_MAP gone.idx \"All\"\n" +
           good.substr(good.find("CONTAMINANT_TRANSPORT")),
       "gone.idx"},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.label);
    const run_output out = plane(c.cards, c.tables);
    EXPECT_EQ(out.status, 1);
    EXPECT_NE(out.text.find(c.message), std::string::npos) << out.text;
  }
  EXPECT_NE(plane("OV_CON_TRANS\n", good).text.find("using uniform contaminant transport values\n"),
            std::string::npos);
}

}  // namespace
