// Whole long-term runs of lt10: ten 100 m cells in a row driven by three July
// days of hourly meteorology with two storms. The hydrograph and "evap_out"
// rows follow the hours, the runs end where the meteorology or the last storm
// ends, every balance closes where the user reads it, and a stop leaves the
// files it wrote complete.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "../surface/surface_run_fixture.h"
#include "soil/frozen_ground.h"
#include "soil_fixture.h"

namespace {

namespace fs = std::filesystem;
using soil_fixture::value_after;
using surface_fixture::run_output;
using test_support::lines_of;
using test_support::read_file;
using test_support::temp_dir;

// lt10 copied into a folder of its own, its files edited before the run.
struct lt10 {
  temp_dir dir;

  lt10() {
    for (const auto& entry : fs::directory_iterator(fs::path(VALTO_FIXTURES_DIR) / "lt10"))
      fs::copy_file(entry.path(), dir.path() / entry.path().filename());
  }
  std::string text(const std::string& name) const { return read_file(dir.file(name)); }
  void write(const std::string& name, const std::string& text) const { dir.write(name, text); }
  // The cards dropped, then extra appended.
  void cards(const std::vector<std::string>& drop, const std::string& extra) const {
    write("lt10.prj", surface_fixture::edit_cards(text("lt10.prj"), drop, extra));
  }
  // The meteorology cut after its first n hours.
  void keep_hours(int n) const {
    const std::vector<std::string> lines = lines_of(text("hmet.zep"));
    std::string kept;
    for (int k = 0; k < n; ++k) kept += lines[std::size_t(k)] + "\n";
    write("hmet.zep", kept);
  }
  // Hour h (from 0 at 14 July 00:00) of the meteorology at deg F.
  void set_temperature(int h, int fahrenheit) const {
    std::vector<std::string> lines = lines_of(text("hmet.zep"));
    int y, mo, d, hr, rh, sky, wind, t;
    double p, dr, gr;
    std::sscanf(lines[std::size_t(h)].c_str(), "%d %d %d %d %lf %d %d %d %d %lf %lf", &y, &mo, &d,
                &hr, &p, &rh, &sky, &wind, &t, &dr, &gr);
    char line[128];
    std::snprintf(line, sizeof line, "%d %d %d %d %.2f %d %d %d %d %.1f %.1f", y, mo, d, hr, p, rh,
                  sky, wind, fahrenheit, dr, gr);
    lines[std::size_t(h)] = line;
    std::string all;
    for (const std::string& l : lines) all += l + "\n";
    write("hmet.zep", all);
  }
  run_output run(const std::function<void(model_state&)>& after_pass = nullptr) const {
    return surface_fixture::run_in_process(dir.path(), "lt10.prj", after_pass);
  }
};

// The decimal-year time of a 2001 hydrograph row: 14 July is day 195.
double decimal_year(int day_of_year, int hour) {
  return 2001.0 + (day_of_year * 1440.0 + hour * 60.0) / 525600.0;
}

// "evap_out" rows as their fields, the header left out.
std::vector<std::vector<std::string>> evap_rows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : lines_of(text)) {
    if (line.rfind("yr/mo/day", 0) == 0) continue;
    std::istringstream in(line);
    std::vector<std::string> fields;
    for (std::string f; in >> f;) fields.push_back(f);
    rows.push_back(fields);
  }
  return rows;
}

std::vector<double> hydrograph_times(const std::string& text) {
  std::vector<double> times;
  std::istringstream in(text);
  double t = 0.0, q = 0.0;
  while (in >> t >> q) times.push_back(t);
  return times;
}

int count_of(const std::string& text, const std::string& part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++n;
  return n;
}

// The three balances of the end-of-run summary, percent.
void expect_balances_close(const std::string& summary, bool simple_soil) {
  EXPECT_LT(std::fabs(value_after(summary, "Overall mass balance error =")), 0.01) << summary;
  EXPECT_LT(std::fabs(value_after(summary, "Mass balance error of surface components =")), 0.01);
  if (simple_soil) {
    EXPECT_LT(std::fabs(value_after(summary, "Simple soil moisture mass balance =")), 0.01);
  }
}

TEST(longterm_run, lt10_runs_its_two_storms_on_the_hours_and_closes_every_balance) {
  lt10 project;
  project.cards({}, "NUM_THREADS 1\n");
  const run_output out = project.run();
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_NE(out.text.find("simulation ended normally; "), std::string::npos);

  // Hydrograph rows from 14 July 00:00, an hour apart, in decimal years.
  const std::string hydrograph = project.text("outlet.hyd");
  EXPECT_EQ(lines_of(hydrograph)[0], "   2001.53424658      0.0000");
  const std::vector<double> times = hydrograph_times(hydrograph);
  ASSERT_GT(times.size(), 58u);
  for (std::size_t k = 1; k < times.size(); ++k)
    EXPECT_NEAR((times[k] - times[k - 1]) * 525600.0, 60.0, 0.01) << k;
  EXPECT_NEAR(times[59], decimal_year(197, 11), 1e-8);

  // One "evap_out" row per hour from 14 July 00:00, each with the hour's
  // record (15 C by night, 25 C by day) and, first, no PET yet.
  const auto rows = evap_rows(project.text("evap_out"));
  ASSERT_EQ(rows.size(), 60u);
  double aet_cm = 0.0;
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const int day = 14 + int(k) / 24, hour = int(k) % 24;
    ASSERT_EQ(rows[k].size(), 11u) << k;
    EXPECT_EQ(rows[k][0], "2001/7/" + std::to_string(day)) << k;
    EXPECT_EQ(rows[k][1], std::to_string(hour) + ":00") << k;
    EXPECT_EQ(std::stod(rows[k][8]), hour >= 6 && hour <= 18 ? 25.0 : 15.0) << k;
    aet_cm += std::stod(rows[k][4]);
  }
  EXPECT_EQ(rows[0][3], "0.000000");
  EXPECT_EQ(rows[6][3], "0.000000");  // the sun was down at 05:00
  EXPECT_GT(std::stod(rows[13][3]), 0.05);

  const std::string summary = project.text("summary.out");
  expect_balances_close(summary, true);
  // Rain = discharge + evapotranspiration + drainage + storage gained.
  const double rain = value_after(summary, "Total amount of precip=");
  EXPECT_EQ(rain, 5000.0);
  const double soil_gain = value_after(summary, "Final volume in soil over simple soil depth") -
                           value_after(summary, "Initial volume in soil over simple soil depth");
  const double surface_gain = value_after(summary, "Final volume on surface=") -
                              value_after(summary, "Initial volume on surface=");
  const double evaporation = value_after(summary, "Total amount of evaporation=");
  const double direct = value_after(summary, "Total direct evaporation=");
  EXPECT_NEAR(value_after(summary, "Total amount of discharge=") + evaporation +
                  value_after(summary, "Total downward flux from unsaturated zone=") +
                  soil_gain + surface_gain,
              rain, 0.05);
  EXPECT_GT(direct, 0.0);
  // The hours' AET (cm/h over the previous hour) add up to the soil's
  // withdrawal until the last hour; the run went one step past it.
  EXPECT_NEAR(aet_cm / 100.0 * 1e5, evaporation - direct, 1.5);

  // Each storm's summary carries the long-term header and closes; the second
  // storm, two days after the first, soaks in like the first.
  EXPECT_EQ(count_of(summary, "VALTO LONG-TERM RUNOFF SIMULATION SUMMARY- EVENT"), 2);
  EXPECT_NE(summary.find("SUMMARY- EVENT 2\n"), std::string::npos);
  EXPECT_EQ(count_of(summary, "Penman-Montieth evapotranspiration was calculated.\n"), 2);
  EXPECT_EQ(count_of(summary, "The following number of hydromet. data points were repaired:0\n"),
            2);
  EXPECT_EQ(count_of(summary, "Hydrometeorology data began on: 07/14/2001 at  0:00\n"
                              "and ended on:                   07/16/2001 at 23:00\n"),
            2);
  const std::size_t second = summary.find("SUMMARY- EVENT 2");
  const std::string event2 = summary.substr(second);
  EXPECT_LT(std::fabs(value_after(summary, "mass conservation error:")), 1e-4);
  EXPECT_LT(std::fabs(value_after(event2, "mass conservation error:")), 1e-4);
  EXPECT_EQ(value_after(event2, "volume of rainfall to overland:"), 1000.0);
  EXPECT_GT(value_after(event2, "volume of infiltrated water:"), 900.0);
  EXPECT_NEAR(value_after(event2, "volume of infiltrated water:") +
                  value_after(event2, "volume of direct evaporation:") +
                  value_after(event2, "volume of discharge:") +
                  value_after(event2, "volume remaining on surface:"),
              1000.0, 0.25);
  EXPECT_EQ(value_after(event2, "number of timesteps with rain:"), 60.0);
  EXPECT_EQ(value_after(event2, "elapsed time when rain began:"), 3480.0);
}

// A soil method of lt10: the cards of the simple soil it drops, and the
// cards and files it brings.
struct soil_method {
  const char* label;
  std::vector<std::string> drop;
  std::string cards;
  std::vector<std::pair<std::string, std::string>> files;
};

const std::vector<std::string> redistribution_cards = {
    "INF_REDIST", "CONDUCTIVITY", "CAPILLARY", "POROSITY", "PORE_INDEX", "RESIDUAL_SAT",
    "MOISTURE"};

soil_method layered_soil() {
  const std::string layer = "1.0 0.25 10 0.45 0.30 0.10 0.05 0.25";
  return {"layered soil", redistribution_cards,
          "INF_LAYERED_SOIL\nSOIL_TYPE_MAP soils.asc\nSOIL_LAYER_INPUT_FILE layers.txt\n",
          {{"layers.txt", "1\n0\n1\n" + layer + " 10\n" + layer + " 30\n" + layer + "\n"}}};
}

// Three layers of loam; the columns take the canopy from their own table.
soil_method richards_columns(const std::string& extra_cards) {
  std::vector<std::string> drop = redistribution_cards;
  for (const char* c : {"ALBEDO", "VHEIGHT", "TCOEFF", "CANOPY", "WILTING_POINT"})
    drop.push_back(c);
  const std::string loam = "1.32 0.463 0.027 0.25 0.10 0.30 10 0.252 11.15 1\n";
  return {"Richards columns", drop,
          "INF_RICHARDS\nRICHARDS_C_OPTION brooks\nSOIL_TYPE_MAP soils.asc\n"
          "SOIL_LAYER_INPUT_FILE soils.tbl\n" + extra_cards,
          {{"soils.tbl", "1\n0\n1 0.23 0.12 1 70\n" + loam + loam + loam}}};
}

// Every soil method of a long-term run closes its balances: the Richards
// columns count the ponded water they evaporate once, and their event
// balance leaves it out of the water that entered them.
TEST(longterm_run, each_soil_method_closes_its_run_and_event_balances) {
  struct method_case {
    soil_method method;
    bool simple_soil;
  };
  const method_case cases[] = {{layered_soil(), true}, {richards_columns(""), false}};
  for (const method_case& c : cases) {
    SCOPED_TRACE(c.method.label);
    lt10 project;
    project.cards(c.method.drop, c.method.cards + "NUM_THREADS 1\n");
    project.write("soils.asc", project.text("mask.asc"));
    for (const auto& [name, text] : c.method.files) project.write(name, text);
    const run_output out = project.run();
    ASSERT_EQ(out.status, 0) << out.text;
    const std::string summary = project.text("summary.out");
    expect_balances_close(summary, c.simple_soil);
    EXPECT_EQ(count_of(summary, "VALTO LONG-TERM RUNOFF SIMULATION SUMMARY- EVENT"), 2);
    const std::string event2 = summary.substr(summary.find("SUMMARY- EVENT 2"));
    EXPECT_LT(std::fabs(value_after(summary, "mass conservation error:")), 1e-4);
    EXPECT_LT(std::fabs(value_after(event2, "mass conservation error:")), 1e-4);
    if (!c.simple_soil) {
      // Each later event starts from columns caught up to it.
      EXPECT_EQ(count_of(summary, "Total evaporation at beginning of event "), 2);
      EXPECT_LT(std::fabs(value_after(summary, "Richard equation mass balance error")), 1e-3);
      EXPECT_LT(std::fabs(value_after(event2, "Richard equation mass balance error")), 1e-3);
    }
  }
}

// Every balance line of a summary with its value (percent): the lines that
// name an error or a mass balance and give it in "percent" or "%"; the
// value is the line's last number.
std::vector<std::pair<std::string, double>> balance_lines(const std::string& summary) {
  std::vector<std::pair<std::string, double>> found;
  for (const std::string& line : lines_of(summary)) {
    const bool named = line.find("error") != std::string::npos ||
                       line.find("mass balance") != std::string::npos;
    const bool percent =
        line.find("percent") != std::string::npos || line.find('%') != std::string::npos;
    if (!named || !percent) continue;
    std::istringstream in(line);
    std::string field, number;
    while (in >> field)
      if (field.find_first_not_of("-+.0123456789") == std::string::npos) number = field;
    if (!number.empty()) found.push_back({line, std::stod(number)});
  }
  return found;
}

// lt10 over a water table 25 cm down, closed all round, its middle cell
// fed 0.1 m3/s: the table rises into the soil and over the ground in the
// first storm and stays there. Whatever the soil, every balance line of
// both events and of the run closes to a millionth of what it balances
// (1e-4 percent): the Richards columns, laid again on the table as it rises
// through them and over the ground, hand the aquifer what they no longer
// hold, and what their own scheme sets from the heads is booked with the
// table.
TEST(longterm_run, a_risen_table_closes_every_balance_line_of_the_events_and_the_run) {
  struct soil_case {
    soil_method method;
    int lines;  // balance lines expected
  };
  const soil_case cases[] = {
      {{"simple soil moisture", {}, "SOIL_MOIST_DEPTH 50\nTOP_LAYER_DEPTH 10\n", {}}, 6},
      {layered_soil(), 6},
      {richards_columns("AQUIFER_DELTA_Z 0.1\n"), 7},
  };
  std::vector<double> table(10), bottom(10);
  for (int c = 0; c < 10; ++c) {
    table[std::size_t(c)] = 9.0 - c - 0.25;
    bottom[std::size_t(c)] = 9.0 - c - 10.0;
  }
  for (const soil_case& c : cases) {
    SCOPED_TRACE(c.method.label);
    lt10 project;
    project.cards(c.method.drop, c.method.cards +
                              "NUM_THREADS 1\nWATER_TABLE table.asc\nGW_SIMULATION\n"
                              "AQUIFER_BOTTOM bottom.asc\nGW_BOUNDFILE bound.asc\n"
                              "GW_UNIF_HYCOND 36\nGW_UNIF_POROSITY 0.2\nGW_TIMESTEP 3600\n"
                              "GW_RELAX_COEFF 1\nGW_LSOR_CON 0.0000001\n"
                              "GW_FLUXBOUNDTABLE flux.txt\n");
    project.write("soils.asc", project.text("mask.asc"));
    project.write("table.asc", surface_fixture::ascii_grid(1, 10, 100.0, table));
    project.write("bottom.asc", surface_fixture::ascii_grid(1, 10, 100.0, bottom));
    project.write("bound.asc", project.text("mask.asc"));
    project.write("flux.txt", "1\n1 5 -8640.0\n");
    for (const auto& [name, text] : c.method.files) project.write(name, text);
    const run_output out = project.run();
    ASSERT_EQ(out.status, 0) << out.text;
    const std::string summary = project.text("summary.out");
    EXPECT_EQ(count_of(summary, "VALTO LONG-TERM RUNOFF SIMULATION SUMMARY- EVENT"), 2);
    // The table stood over the ground.
    EXPECT_GT(value_after(summary, "Total amount of exfiltration="), 100.0);
    const auto lines = balance_lines(summary);
    EXPECT_EQ(static_cast<int>(lines.size()), c.lines) << summary;
    for (const auto& [line, value] : lines) EXPECT_LT(std::fabs(value), 1e-4) << line;
  }
}

TEST(longterm_run, one_and_eight_threads_write_the_same_files) {
  std::string evap[2], hydrograph[2], summary[2];
  for (int k = 0; k < 2; ++k) {
    lt10 project;
    project.cards({}, k == 0 ? "NUM_THREADS 1\n" : "NUM_THREADS 8\n");
    ASSERT_EQ(project.run().status, 0);
    evap[k] = project.text("evap_out");
    hydrograph[k] = project.text("outlet.hyd");
    summary[k] = surface_fixture::summary_without_times(project.text("summary.out"));
  }
  EXPECT_EQ(evap[0], evap[1]);
  EXPECT_EQ(hydrograph[0], hydrograph[1]);
  EXPECT_EQ(summary[0], summary[1]);
}

// The meteorology ends the run where it ends, unless the last storm is still
// running: then only the hourly steps stop and the storm runs out on the
// last hour's rates.
TEST(longterm_run, the_end_of_the_meteorology_ends_the_run_or_only_the_hours) {
  struct end_case {
    const char* label;
    int hours;                 // hours of meteorology kept
    bool ended_by_data;
    const char* last_evap;     // date and hour of the last "evap_out" row
    double last_row_time;      // of the hydrograph
    int events;                // event summaries written
  };
  const end_case cases[] = {
      {"cut after 15 July 23:00", 48, true, "2001/7/15 23:00", decimal_year(197, 0), 1},
      {"cut after 16 July 10:00, in the last storm", 59, false, "2001/7/16 10:00",
       decimal_year(197, 11), 2},
  };
  for (const end_case& c : cases) {
    SCOPED_TRACE(c.label);
    lt10 project;
    project.cards({}, "NUM_THREADS 1\n");
    project.keep_hours(c.hours);
    double hmet_next = 0.0;
    const run_output out = project.run([&](model_state& s) { hmet_next = s.run.hmet.next; });
    ASSERT_EQ(out.status, 0) << out.text;
    const bool message = out.text.find("End of meteorology data reached.  VALTO terminated\n") !=
                         std::string::npos;
    EXPECT_EQ(message, c.ended_by_data);
    EXPECT_EQ(out.text.find("simulation ended normally; ") == std::string::npos, c.ended_by_data);
    if (!c.ended_by_data) {
      EXPECT_EQ(hmet_next, -10.0);
    }
    const auto rows = evap_rows(project.text("evap_out"));
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.back()[0] + " " + rows.back()[1], c.last_evap);
    EXPECT_NEAR(hydrograph_times(project.text("outlet.hyd")).back(), c.last_row_time, 1e-8);
    const std::string summary = project.text("summary.out");
    EXPECT_EQ(count_of(summary, "VALTO LONG-TERM RUNOFF SIMULATION SUMMARY- EVENT"), c.events);
    EXPECT_NE(summary.find("SIMULATION TOTALS"), std::string::npos);
    expect_balances_close(summary, true);
  }
}

// A run stopped by END_TIME in a storm ends between the withdrawal, which
// moves the infiltrated water into the store, and the infiltration of the
// same pass: the water not yet moved is soil water all the same.
TEST(longterm_run, a_run_stopped_in_a_storm_counts_the_water_not_yet_in_the_store) {
  lt10 project;
  project.cards({}, "END_TIME 2001 7 14 14 30\nNUM_THREADS 1\n");
  double pending = 0.0;  // m over the cells
  const run_output out = project.run([&](model_state& s) {
    pending = 0.0;
    for (int i = 1; i <= s.grid.cells; ++i) pending += s.soil.sm_inf[std::size_t(i)];
  });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_GT(pending * 1e4, 10.0);  // m3 still to move, well above the balances' 0.01 %
  const std::string summary = project.text("summary.out");
  // The last pass is the first one past 14:30: 91 minutes of 20 mm/h.
  EXPECT_NEAR(value_after(summary, "Total amount of precip="), 2000.0 * 91.0 / 60.0, 0.01);
  expect_balances_close(summary, true);
}

// A run that starts on 15 July passes over the first day's records at its
// first hour and over the storm of 14 July.
TEST(longterm_run, a_start_date_passes_over_the_earlier_records_and_storms) {
  lt10 project;
  project.cards({}, "START_DATE 2001 7 15\nSTART_TIME 0 0\nNUM_THREADS 1\n");
  int date[4] = {};
  int read_number = 0;
  const run_output out = project.run([&](model_state& s) {
    if (s.run.pass != 1) return;
    const hmet_record& r = s.soil.longterm.hmet;
    date[0] = r.year;
    date[1] = r.month;
    date[2] = r.day;
    date[3] = r.hour;
    read_number = r.read_number;
  });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_EQ(date[2], 15);
  EXPECT_EQ(date[3], 0);
  // 25 hourly reads (calls 2 to 26), the next call 27.
  EXPECT_EQ(read_number, 27);
  const auto rows = evap_rows(project.text("evap_out"));
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0][0] + " " + rows[0][1], "2001/7/15 0:00");
  EXPECT_NEAR(hydrograph_times(project.text("outlet.hyd"))[0], decimal_year(196, 0), 1e-8);
  const std::string summary = project.text("summary.out");
  EXPECT_EQ(summary.find("SUMMARY- EVENT 1"), std::string::npos);
  EXPECT_NE(summary.find("SUMMARY- EVENT 2"), std::string::npos);
  EXPECT_EQ(value_after(summary, "Total amount of precip="), 1000.0);
  expect_balances_close(summary, true);
}

// Input the run refuses, and the processes it does not have yet: each stops
// with status 1 and its message, leaving "evap_out" and the summary written
// up to the stop.
TEST(longterm_run, refused_input_and_missing_processes_stop_with_complete_files) {
  struct stop_case {
    const char* label;
    std::function<void(const lt10&)> edit;
    std::vector<std::string> lines;  // printed, and in the summary
    const char* last_evap;           // the last "evap_out" row, empty for its header alone
  };
  const std::string early_rain =
      "EVENT early\nNRGAG 1\nNRPDS 2\nCOORD 500 50\nRATES 2001 7 13 13 0 20\n"
      "RATES 2001 7 13 15 0 0\n";
  const stop_case cases[] = {
      {"a storm before the meteorology",
       [&](const lt10& p) { p.write("rain.gag", early_rain + p.text("rain.gag")); },
       {"\nRaingage data starts on day 13 of month 7 in year 2001\n"
        "while the hmet data begins on day 14 of month 7 in year 2001\n"
        "Program terminating.  Check your dates.\n",
        "Error: VALTO failed on date check for precip event 1\n"},
       ""},
      {"a start before the meteorology",
       [](const lt10& p) { p.cards({}, "START_DATE 2001 7 13\nSTART_TIME 12 0\n"); },
       {"Error: the start date 2001/07/13 12:00 of START_DATE and START_TIME lies outside the "
        "hydrometeorological data, 2001/07/14 00:00 to 2001/07/16 23:00.\n"},
       ""},
      {"a ZEP line of ten fields",
       [](const lt10& p) {
         std::string zep = p.text("hmet.zep");
         zep.replace(zep.find("2001 7 14 4 29.92 50 0 4 59 0.0 0.0"), 35,
                     "2001 7 14 4 29.92 50 0 4 59 0.0");
         p.write("hmet.zep", zep);
       },
       {"Error: Problem encountered in hmet_ZEP file, line 5, near parameter 11\n"},
       ""},
      {"HMET_ASCII_PET alone",
       [](const lt10& p) { p.cards({"HMET_ZEP"}, "HMET_ASCII_PET hmet.zep\n"); },
       {"the card HMET_ASCII_PET names a file but no layout"},
       ""},
      {"no meteorology card", [](const lt10& p) { p.cards({"HMET_ZEP"}, ""); },
       {"Error: a long-term run reads its hourly meteorology in the layout of one of the cards "
        "HMET_ZEP, HMET_SAMSON, HMET_SURFAWAYS or HMET_ASCII.\n"},
       ""},
      {"a snow bands file that is missing",
       [](const lt10& p) { p.cards({}, "NWSRFS_SNOW\nNWSRFS_ELEV_SNOW nobands.txt\n"); },
       {"Cannot open elevation based NWSRFS snow input parameter file: nobands.txt\n"},
       ""},
      {"an initial snow map with a word in it",
       [](const lt10& p) {
         std::string map = p.text("mask.asc");
         map.replace(map.rfind('1'), 1, "x");
         p.write("swe.asc", map);
         p.cards({}, "INIT_SWE_DEPTH swe.asc\n");
       },
       {"Error: value \"x\" in row 1, column 10 of map swe.asc is not "},
       ""},
      {"a negative initial snow", [](const lt10& p) { p.cards({}, "INIT_SWE_DEPTH -0.1\n"); },
       {"Error: the initial snow water equivalent of grid cell 1 is negative.\n"},
       ""},
      {"a snow roughness below 0", [](const lt10& p) { p.cards({}, "SNOW_ROUGHNESS -0.2\n"); },
       {"Error: SNOW_ROUGHNESS -0.2 is no Manning n: it must be above 0.\n"},
       ""},
  };
  for (const stop_case& c : cases) {
    SCOPED_TRACE(c.label);
    lt10 project;
    project.cards({}, "NUM_THREADS 1\n");
    c.edit(project);
    const run_output out = project.run();
    EXPECT_EQ(out.status, 1) << out.text;
    // A run stopped in its set-up leaves no file; one stopped in its loop
    // leaves its files under their temporary names.
    EXPECT_FALSE(std::filesystem::exists(project.dir.file("summary.out")));
    const bool in_loop = std::filesystem::exists(project.dir.file("summary.out.partial"));
    const std::string summary = in_loop ? project.text("summary.out.partial") : "";
    for (const std::string& line : c.lines) {
      EXPECT_NE(out.text.find(line), std::string::npos) << line << "\n" << out.text;
      if (in_loop) {
        EXPECT_NE(summary.find(line), std::string::npos) << line;
      }
    }
    const auto rows = evap_rows(in_loop ? project.text("evap_out.partial") : "");
    if (*c.last_evap == '\0') {
      EXPECT_TRUE(rows.empty());
    } else {
      ASSERT_FALSE(rows.empty());
      EXPECT_EQ(rows.back()[0] + " " + rows.back()[1], c.last_evap);
    }
  }
}

// lt10 under snow: its first storm falls at 2 C (36 F) on a pack that the
// next day at 8 C (46 F) melts; the second storm rains as before.
struct snow_project : lt10 {
  explicit snow_project(const std::string& cards) {
    this->cards({}, "NWSRFS_SNOW\n" + cards);
    for (int h = 12; h <= 16; ++h) set_temperature(h, 36);
    for (int h = 24; h < 48; ++h) set_temperature(h, 46);
  }
};

// Snow water equivalent of every cell at the last pass, m3 of the 100 m cells.
double pack_volume(const model_state& s) {
  double sum = 0.0;
  for (int i = 1; i <= s.grid.cells; ++i) sum += s.soil.snow.swe[std::size_t(i)];
  return sum * 1e4;
}

// Precipitation = discharge + evaporation + drainage + the gain of the
// surface, soil and snow stores, whatever the snow correction factor adds
// (booked as precipitation) or the pack held at the start, read off the
// summary's own lines to their last digit; the pack's own books too: what
// it held and took less the melt it released is what it holds at the end,
// over the run and over each event.
TEST(longterm_snow, the_pack_lies_melts_and_closes_the_balances) {
  struct snow_case {
    const char* label;
    std::string cards;
    double precipitation;  // 4000 m3 fell as snow
    double snowfall;       // what the pack took of it
    double initial_snow;
  };
  const snow_case cases[] = {
      {"as measured", "NUM_THREADS 1\n", 5000.0, 4000.0, 0.0},
      {"snow correction 1.2", "NUM_THREADS 1\nNWSRFS_SCF 1.2\n", 5800.0, 4800.0, 0.0},
      {"a pack at the start", "NUM_THREADS 1\nINIT_SWE_DEPTH 0.005\n", 5000.0, 4000.0, 500.0},
      {"energy balance", "NUM_THREADS 1\nEB_NWSRFS_SNOW\n", 5000.0, 4000.0, 0.0},
  };
  for (const snow_case& c : cases) {
    SCOPED_TRACE(c.label);
    snow_project project(c.cards);
    double last_pack = -1.0, most = 0.0;
    const run_output out = project.run([&](model_state& s) {
      last_pack = pack_volume(s);
      most = std::max(most, last_pack);
    });
    ASSERT_EQ(out.status, 0) << out.text;
    const std::string summary = project.text("summary.out");
    const std::size_t totals = summary.find("SIMULATION TOTALS");
    ASSERT_NE(totals, std::string::npos);
    const std::string run = summary.substr(totals);
    expect_balances_close(run, true);
    auto line = [&](const char* label) { return value_after(run, label); };
    EXPECT_NEAR(line("Total amount of precip="), c.precipitation, 0.01);
    EXPECT_NEAR(line("Final volume of snow="), last_pack, 0.006);
    EXPECT_EQ(line("Initial volume of snow="), c.initial_snow);
    EXPECT_GT(most, 3500.0);
    // Each printed figure is within 0.005 of its value: eleven of them.
    const double start = line("Initial volume on surface=") + line("Initial volume in channels=") +
                         line("Initial volume in soil over simple soil depth") +
                         line("Initial volume in groundwater=") + line("Initial volume of snow=");
    const double end = line("Final volume on surface=") + line("Final volume in channels=") +
                       line("Final volume in soil over simple soil depth") +
                       line("Final volume in groundwater=") + line("Final volume of snow=");
    EXPECT_NEAR(start + line("Total amount of precip="),
                end + line("Total amount of discharge=") + line("Total amount of evaporation=") +
                    line("Total downward flux from unsaturated zone="),
                0.055);
    const double melt = line("Total snow melt released=");
    EXPECT_GT(melt, 3000.0);
    EXPECT_NEAR(line("Initial volume of snow=") + c.snowfall - melt, line("Final volume of snow="),
                0.02);

    // The first storm's summary finds the pack and warns of it; both close,
    // and the second storm, all rain, only melts the pack.
    const std::size_t second = summary.find("SUMMARY- EVENT 2");
    ASSERT_NE(second, std::string::npos);
    const std::string event1 = summary.substr(0, second);
    const std::string event2 = summary.substr(second, totals - second);
    EXPECT_GT(value_after(event1, "final volume of snow (cu. m):"), 1000.0);
    EXPECT_NE(event1.find("********WARNING - YOU HAVE SNOW ACCUMULATION !!!!!!!!!!!!!!!!\n"),
              std::string::npos);
    EXPECT_LT(std::fabs(value_after(event1, "mass conservation error:")), 1e-4);
    EXPECT_LT(std::fabs(value_after(event2, "mass conservation error:")), 1e-4);
    const double fallen[2] = {c.snowfall, 0.0};
    const std::string* events[2] = {&event1, &event2};
    for (int e = 0; e < 2; ++e) {
      const std::string& t = *events[e];
      EXPECT_NEAR(value_after(t, "initial liquid-equiv. volume of snow:") + fallen[e] -
                      value_after(t, "volume of snow melt released:"),
                  value_after(t, "final volume of snow (cu. m):"), 0.15)
          << "event " << e + 1;
    }
  }
}

TEST(longterm_snow, one_and_eight_threads_write_the_same_files) {
  std::string evap[2], summary[2];
  for (int k = 0; k < 2; ++k) {
    snow_project project(k == 0 ? "NUM_THREADS 1\n" : "NUM_THREADS 8\n");
    ASSERT_EQ(project.run().status, 0);
    evap[k] = project.text("evap_out");
    summary[k] = surface_fixture::summary_without_times(project.text("summary.out"));
  }
  EXPECT_EQ(evap[0], evap[1]);
  EXPECT_EQ(summary[0], summary[1]);
}

// Under a metre of snow with SNOW_NO_INFILTRATE the ground counts as frozen,
// so the storms' rain runs off or stays on the surface rather than soak in;
// without the card the same rain soaks in.
TEST(longterm_snow, snow_that_forbids_infiltration_keeps_the_rain_out_of_the_soil) {
  for (const bool forbid : {true, false}) {
    SCOPED_TRACE(forbid);
    lt10 project;
    project.cards({}, std::string("NUM_THREADS 1\nNWSRFS_SNOW\nINIT_SWE_DEPTH 1.0\n") +
                          (forbid ? "SNOW_NO_INFILTRATE\n" : ""));
    const run_output out = project.run();
    ASSERT_EQ(out.status, 0) << out.text;
    const std::string summary = project.text("summary.out");
    expect_balances_close(summary, true);
    EXPECT_GT(value_after(summary, "Final volume of snow="), 50000.0);
    const double infiltrated = value_after(summary, "Total amount of infiltration=");
    if (forbid) {
      EXPECT_EQ(infiltrated, 0.0);
    } else {
      EXPECT_GT(infiltrated, 1000.0);
    }
  }
}

// The snow water equivalent of the ten cells at each map time, in m: the
// records of an ASCII dataset (ten activity flags, then ten values) or the
// value rows of the per-time grids swe.0001.asc, swe.0002.asc, ...
std::vector<std::vector<double>> swe_dataset_records(const std::string& text) {
  std::vector<std::vector<double>> records;
  const std::vector<std::string> lines = lines_of(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind("TS 1 ", 0) != 0) continue;
    std::vector<double> values;
    for (std::size_t k = i + 11; k < i + 21 && k < lines.size(); ++k)
      values.push_back(std::stod(lines[k]));
    records.push_back(values);
  }
  return records;
}

std::vector<std::vector<double>> swe_grid_records(const fs::path& dir) {
  std::vector<std::vector<double>> records;
  for (int k = 1;; ++k) {
    char name[32];
    std::snprintf(name, sizeof name, "swe.%04d.asc", k);
    if (!fs::exists(dir / name)) break;
    const std::vector<std::string> lines = lines_of(read_file((dir / name).string()));
    std::vector<double> values;
    if (lines.size() == 7) {
      std::istringstream row(lines[6]);
      for (double v; row >> v;) values.push_back(v);
    }
    records.push_back(values);
  }
  return records;
}

// SNOW_SWE_FILE maps the pack at every map time, in both forms: each map
// holds the pack of that pass to the 0.1 mm the grids print, so the map
// times the cell area is the pack volume; the dataset ends once.
TEST(longterm_snow, the_snow_water_equivalent_map_follows_the_pack) {
  for (const bool per_time : {false, true}) {
    SCOPED_TRACE(per_time ? "per-time grids" : "ASCII dataset");
    snow_project project(per_time ? "NUM_THREADS 1\nMAP_TYPE 0\nSNOW_SWE_FILE maps\n"
                                  : "NUM_THREADS 1\nMAP_TYPE 1\nSNOW_SWE_FILE swe.dat\n");
    if (per_time) fs::create_directory(project.dir.path() / "maps");
    std::vector<std::vector<double>> packs;
    const run_output out = project.run([&](model_state& s) {
      if ((s.run.pass - 1) % s.run.map_interval != 0) return;
      std::vector<double> pack;
      for (int i = 1; i <= s.grid.cells; ++i) pack.push_back(s.soil.snow.swe[std::size_t(i)]);
      packs.push_back(pack);
    });
    ASSERT_EQ(out.status, 0) << out.text;
    EXPECT_EQ(out.text.find("snow water equivalent maps"), std::string::npos) << out.text;
    std::vector<std::vector<double>> maps;
    if (per_time) {
      maps = swe_grid_records(project.dir.path() / "maps");
      EXPECT_FALSE(fs::exists(project.dir.path() / "swe.dat"));
    } else {
      const std::string text = project.text("swe.dat");
      EXPECT_EQ(text.rfind("DATASET\nOBJTYPE grid2d\nBEGSCL\nOBJID 1024\nND 10\nNC 10\n"
                           "NAME snow_water_equivalent\n",
                           0),
                0u);
      EXPECT_EQ(count_of(text, "ENDDS\n"), 1);
      EXPECT_EQ(text.substr(text.size() - 6), "ENDDS\n");
      maps = swe_dataset_records(text);
    }
    ASSERT_EQ(maps.size(), packs.size());
    double most = 0.0;
    for (std::size_t k = 0; k < maps.size(); ++k) {
      ASSERT_EQ(maps[k].size(), 10u) << k;
      double map_sum = 0.0, pack_sum = 0.0;
      for (std::size_t c = 0; c < 10; ++c) {
        EXPECT_NEAR(maps[k][c], packs[k][c], 0.5e-4 + 1e-12) << k << " " << c;
        map_sum += maps[k][c];
        pack_sum += packs[k][c];
      }
      EXPECT_NEAR(map_sum * 1e4, pack_sum * 1e4, 5.0) << k;
      most = std::max(most, map_sum * 1e4);
    }
    // The first storm's 4000 m3 lie as snow before the second day melts them.
    EXPECT_GT(most, 3500.0);
    double last = 0.0;
    for (double v : maps.back()) last += v * 1e4;
    EXPECT_LT(last, most);
  }
}

// Under a metre of snow all run, Darcy flow through the packs (K 0.001 m/s)
// holds the storms' water on the slope: less reaches the outlet than by
// Manning's law, and every balance still closes. Snow roughness gives way
// to Darcy flow when both are asked for.
TEST(longterm_snow, darcy_flow_under_the_pack_holds_water_back_and_closes_the_balances) {
  double discharge[2] = {0.0, 0.0};
  for (const bool darcy : {false, true}) {
    SCOPED_TRACE(darcy);
    lt10 project;
    project.cards({}, std::string("NUM_THREADS 1\nNWSRFS_SNOW\nINIT_SWE_DEPTH 1.0\n") +
                          (darcy ? "SNOW_DARCY 0.001\nSNOW_REYNOLDS 500\nSNOW_ROUGHNESS 0.2\n"
                                 : ""));
    const run_output out = project.run();
    ASSERT_EQ(out.status, 0) << out.text;
    const std::string summary = project.text("summary.out");
    expect_balances_close(summary, true);
    discharge[darcy] = value_after(summary, "Total amount of discharge=");
    EXPECT_EQ(out.text.find("Both manning and darcy flow are turned on for when snow is present \n"
                            "Turning off manning flow for when snow is present.  Darcy still "
                            "turned on. \n") != std::string::npos,
              darcy);
  }
  EXPECT_GT(discharge[1], 0.0);
  EXPECT_LT(discharge[1], discharge[0]);
}

// SNOW_TEMP maps the pack's temperature, its antecedent temperature index,
// at every map time as a dataset of its own (id 1060), ended once; the
// records follow the index the melt keeps, which never rises above 0.
TEST(longterm_snow, the_snow_temperature_map_follows_the_pack_index) {
  snow_project project("NUM_THREADS 1\nMAP_TYPE 1\nSNOW_TEMP snowtemp.dat\n");
  for (int h = 17; h < 24; ++h) project.set_temperature(h, 20);  // -6.7 C on the first night
  std::vector<std::vector<double>> indices;
  const run_output out = project.run([&](model_state& s) {
    if ((s.run.pass - 1) % s.run.map_interval != 0) return;
    std::vector<double> ati;
    for (int i = 1; i <= s.grid.cells; ++i) ati.push_back(s.soil.snow.ati[std::size_t(i)]);
    indices.push_back(ati);
  });
  ASSERT_EQ(out.status, 0) << out.text;
  const std::string text = project.text("snowtemp.dat");
  EXPECT_EQ(text.rfind("DATASET\nOBJTYPE grid2d\nBEGSCL\nOBJID 1060\nND 10\nNC 10\n"
                       "NAME Snow_Temperature\n",
                       0),
            0u)
      << text.substr(0, 200);
  EXPECT_EQ(count_of(text, "ENDDS\n"), 1);
  const std::vector<std::vector<double>> maps = swe_dataset_records(text);
  ASSERT_EQ(maps.size(), indices.size());
  double coldest = 0.0;
  for (std::size_t k = 0; k < maps.size(); ++k) {
    ASSERT_EQ(maps[k].size(), 10u) << k;
    for (std::size_t c = 0; c < 10; ++c) {
      EXPECT_NEAR(maps[k][c], indices[k][c], 0.5e-4 + 1e-12) << k << " " << c;
      EXPECT_LE(maps[k][c], 0.0);
      coldest = std::min(coldest, maps[k][c]);
    }
  }
  EXPECT_LT(coldest, 0.0);
}

// With SNOW_ROUGHNESS a cell routes with n 0.2 while it holds snow and with
// its own n (0.05) before and after.
TEST(longterm_snow, snow_roughness_follows_the_pack) {
  snow_project project("NUM_THREADS 1\nSNOW_ROUGHNESS 0.2\n");
  int snowy = 0, bare = 0, wrong = 0;
  const run_output out = project.run([&](model_state& s) {
    for (int i = 1; i <= s.grid.cells; ++i) {
      const bool snow = s.soil.snow.swe[std::size_t(i)] > 0.0;
      (snow ? snowy : bare) += 1;
      if (s.surface.dist_rough[std::size_t(i)] != (snow ? 0.2 : 0.05)) ++wrong;
    }
  });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_GT(snowy, 1000);
  EXPECT_GT(bare, 1000);
  EXPECT_EQ(wrong, 0);
  expect_balances_close(project.text("summary.out"), true);
}

// Precipitation at exactly 5 C (41 F) goes to the pack and still counts as
// precipitation; at 42 F it rains on the surface.
TEST(longterm_snow, precipitation_at_five_degrees_is_snow_and_above_it_rain) {
  for (const int fahrenheit : {41, 42}) {
    SCOPED_TRACE(fahrenheit);
    lt10 project;
    project.cards({}, "NUM_THREADS 1\n");
    for (int h = 12; h <= 16; ++h) project.set_temperature(h, fahrenheit);
    double pack_after_storm = 0.0;
    const run_output out = project.run([&](model_state& s) {
      if (s.run.rain_on && s.run.event_index == 1) pack_after_storm = pack_volume(s);
    });
    ASSERT_EQ(out.status, 0) << out.text;
    const std::string summary = project.text("summary.out");
    EXPECT_EQ(value_after(summary, "Total amount of precip="), 5000.0);
    expect_balances_close(summary, true);
    if (fahrenheit == 41) {
      EXPECT_GT(pack_after_storm, 3000.0);
    } else {
      EXPECT_EQ(pack_after_storm, 0.0);
    }
  }
}

// The frozen-ground index follows the hours: after one hour at -10 C (14 F)
// from a thawed start the hourly row shows what the index gives for it, and
// the soil of a cell above the limit takes no water.
TEST(longterm_snow, an_hour_below_freezing_raises_the_frozen_ground_index) {
  lt10 project;
  project.cards({}, "NUM_THREADS 1\n");
  project.set_temperature(3, 14);
  const run_output out = project.run();
  ASSERT_EQ(out.status, 0) << out.text;
  double index[2] = {0.0, 0.0};
  frozen_ground_inputs in;
  in.cells = 1;
  in.air_temp = -10.0;
  frozen_ground_index(in, index);
  ASSERT_GT(index[1], 0.0);
  const auto rows = evap_rows(project.text("evap_out"));
  ASSERT_GT(rows.size(), 5u);
  EXPECT_EQ(std::stod(rows[3][7]), 0.0);
  EXPECT_NEAR(std::stod(rows[4][7]), index[1], 1e-6);
  expect_balances_close(project.text("summary.out"), true);
}

}  // namespace
