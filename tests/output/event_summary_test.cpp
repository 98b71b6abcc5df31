// The event runoff summary: the line layout of the constituent balances, the
// event's overland balance, and the whole summary of an event configured in
// code, line by line.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "core/julian.h"
#include "run/model_state.h"
#include "output/event_summary.h"
#include "output/output_steps.h"
#include "output/summary_totals.h"
#include "test_support.h"

namespace {

using test_support::read_file;
using test_support::temp_dir;

std::string summary_line(const char* label, double value, const char* format, int extra = 0) {
  temp_dir dir;
  const std::string path = dir.file("line.txt");
  std::FILE* f = std::fopen(path.c_str(), "w");
  print_summary_line(f, label, value, 50, format, '.', 14, extra);
  std::fclose(f);
  return read_file(path);
}

TEST(print_summary_line, a_short_label_puts_the_point_in_column_66) {
  struct line_case {
    const char* label;
    double value;
    const char* format;
  };
  const line_case cases[] = {
      {"Initial Mass in Soil Column", 12.3456, "%14.2lf"},
      {"Soil mass balance error", -0.5, "%14.4lf"},
      {"Outlet flux", 123456789.0, "%14.2lf"},
      {"", 0.0, "%14.2lf"},
      {"Forty-eight characters of label text, exactly..", 1.0, "%14.2lf"},
  };
  for (const line_case& c : cases) {
    const std::string line = summary_line(c.label, c.value, c.format);
    // Column 66 counted from 1: the first point after the fill.
    EXPECT_EQ(line.find('.', 50), 65u) << line;
    EXPECT_EQ(line.substr(0, std::string(c.label).size() + 1), std::string(c.label) + " ");
    EXPECT_EQ(line.back(), '\n');
  }
  EXPECT_EQ(summary_line("Initial Mass in Soil Column", 12.3456, "%14.2lf"),
            "Initial Mass in Soil Column ......................             12.35\n");
}

TEST(print_summary_line, long_labels_get_no_fill_and_wide_values_one_blank) {
  const std::string label49(49, 'x');
  // The label's blank, then 14 - 11 + 1 blanks before the value's text.
  EXPECT_EQ(summary_line(label49.c_str(), 1.5, "%14.2lf"), label49 + "     " + "          1.50\n");
  const std::string label60(60, 'y');
  EXPECT_EQ(summary_line(label60.c_str(), 1.5, "%14.2lf"), label60 + "     " + "          1.50\n");
  // The point of 1e15 lies at position 16 of its text: one blank only.
  EXPECT_EQ(summary_line("Mass", 1e15, "%14.2lf"),
            "Mass " + std::string(45, '.') + " 1000000000000000.00\n");
  EXPECT_EQ(summary_line("Mass", 2.0, "%14.2lf", 1),
            "Mass " + std::string(45, '.') + "    " + "          2.00\n\n");
}

TEST(event_balance, overland_terms_and_the_no_rain_mark) {
  event_water_totals t;
  t.initial_surface = 50.0;
  t.rain = 950.0;
  t.final_surface = 40.0;
  t.discharge = 959.5;
  event_balance b = overland_event_balance(t);
  EXPECT_DOUBLE_EQ(b.mass_in, 1000.0);
  EXPECT_DOUBLE_EQ(b.mass_out, 999.5);
  EXPECT_DOUBLE_EQ(b.error, 0.0005);

  // Without rain the balance still closes on the water the event had; a
  // balance with nothing in it has no error.
  event_water_totals dry;
  dry.initial_surface = 10.0;
  dry.final_surface = 9.0;
  const event_balance drying = overland_event_balance(dry);
  EXPECT_TRUE(drying.no_rain);
  EXPECT_DOUBLE_EQ(drying.error, 0.1);
  const event_balance empty = overland_event_balance(event_water_totals{});
  EXPECT_TRUE(empty.no_rain);
  EXPECT_EQ(empty.error, 0.0);
}

// A single uniform-rain event: 1000 m3 of rain, 959.5 m3 out at the outlet,
// 40 m3 left on the surface.
struct event_fixture {
  temp_dir dir;
  model_state s;

  event_fixture() {
    input_state& in = s.input;
    in.uniform_rain = 1;
    in.rain_intensity = 10.0;
    in.rain_duration = 30;
    run_control& run = s.run;
    run.dt = 30.0;
    run.map_interval = 120;
    run.hyd_interval = 2;
    run.event_index = 1;
    run.event_start_time = julian_date(2000, 1, 1, 0, 0, 0.0);
    run.event_peak_out = 0.0123;
    run.peak_time = julian_date(2000, 1, 1, 0, 36, 0.0);
    const int peak_date[6] = {2000, 1, 1, 0, 36, 0};
    for (int i = 0; i < 6; ++i) run.peak_date[i] = peak_date[i];
    surface_state& surface = s.surface;
    surface.rain_steps = 60;
    surface.rain_start_minutes = 0.0;
    surface.event_rain_volume = 1000.0;
    surface.event_outflow_volume = 959.5;
    surface.event_end_volume = 40.0;
    s.output.summary.open(dir.file("summary.out").c_str(), "w");
  }

  std::string write() {
    write_event_summary(s);
    s.output.summary.close();
    return read_file(dir.file("summary.out"));
  }
};

const char* const event_header =
    "         VALTO EVENT RUNOFF SIMULATION SUMMARY\n"
    "            Event began on 01/01/2000 at 00:00\n"
    "   With uniform rainfall of   10.0 mm/h for   30.0 minutes.\n\n"
    "elevation and gridsize are in meters\n"
    "timestep                                    30.0 seconds\n"
    "number of timesteps with rain:             60\n"
    "elapsed time when rain began:              -0.50\n \n";

const char* const event_lists =
    "\n THE FOLLOWING INPUTS WERE READ:\n"
    "A TPG Project File was used.\n"
    "Floating point GRASS maps were read.\n"
    "\n THE FOLLOWING PROCESSES WERE SIMULATED:\n"
    "Uniform overland roughness.\n"
    "\n THE FOLLOWING OUTPUT MAPS WERE WRITTEN EVERY 120 TIMESTEP(S):\n"
    "\n THE FOLLOWING ASCII OUTPUT FILES WERE WRITTEN TO EVERY 2 TIMESTEP(S):\n"
    "     hydrograph at the catchment outlet.\n";

TEST(write_event_summary, an_overland_event_prints_every_line_in_order) {
  event_fixture e;
  const std::string expected =
      std::string(event_header) +
      "peak occured on strict Julian date:       2451544.52500000\n"
      "date/time of peak discharge:              1/1/2000  0:36:00\n"
      "Event peak discharge (cubic meters per second):        0.0123\n\n"
      "Note: all volumes in cubic meters.\n"
      "initial volume of overland flow:                   0.0\n"
      "initial liquid-equiv. volume of snow:              0.0\n \n"
      "volume of rainfall to overland:                1000.0\n"
      "volume of interception:                           0.0\n"
      "volume of direct evaporation:                     0.0\n"
      "volume of infiltrated water:                      0.0\n"
      "volume of water exfiltrated:                      0.0\n"
      "volume of discharge:                            959.5\n"
      "volume from overland point sources:               0.0\n"
      "\n"
      "volume remaining on surface:                     40.0\n"
      "final volume of snow (cu. m):                     0.0\n \n"
      "mass conservation error:                          0.050000 percent\n"
      "Note: positive mass conservation error indicates mass was created.\n"
      "Mass input + original mass:           1000.000000 m3\n"
      "Mass output + final mass:             999.500000 m3\n"
      "mass cleanup error from overland:      0.000000 m3\n"
      "\n"
      "THE FOLLOWING WARNINGS ARE GIVEN:\n"
      "No Warnings.\n" +
      event_lists;
  EXPECT_EQ(e.write(), expected);
}

// An event with nothing in its balance has no error and so no warning.
TEST(write_event_summary, an_event_without_rain_notes_it_after_the_mass_lines) {
  event_fixture e;
  e.s.surface.event_rain_volume = 0.0;
  e.s.surface.event_outflow_volume = 0.0;
  e.s.surface.event_end_volume = 0.0;
  e.s.run.event_peak_out = 0.0;
  const std::string text = e.write();
  const std::string expected_mass =
      "mass conservation error:                          0.000000 percent\n"
      "Note: positive mass conservation error indicates mass was created.\n"
      "Mass input + original mass:            0.000000 m3\n"
      "Mass output + final mass:              0.000000 m3\n"
      "mass cleanup error from overland:      0.000000 m3\n"
      "\n"
      "Note: no rainfall was input.\n"
      "THE FOLLOWING WARNINGS ARE GIVEN:\n"
      "No Warnings.\n";
  EXPECT_NE(text.find(expected_mass), std::string::npos) << text;
  EXPECT_EQ(text.find("peak occured"), std::string::npos);
  EXPECT_EQ(text.find("-Mass conservation error (absolute)"), std::string::npos);
}

TEST(write_event_summary, a_negative_error_notes_gained_mass) {
  event_fixture e;
  e.s.surface.event_outflow_volume = 1000.0;  // out 1040 against 1000 in: -4 percent
  const std::string text = e.write();
  EXPECT_NE(text.find("mass conservation error:                         -4.000000 percent\n"
                      "Note: negative mass conservation error indicates mass was gained.\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("-Mass conservation error (absolute)"), std::string::npos);
}

// Water left on the surface above 5 percent of the rain is a warning without
// words of its own: the header stands alone.
TEST(write_event_summary, water_left_on_the_surface_silences_no_warnings) {
  event_fixture e;
  e.s.surface.event_outflow_volume = 949.5;
  e.s.surface.event_end_volume = 50.5;  // 5.05 percent of the rain
  const std::string text = e.write();
  EXPECT_NE(text.find("THE FOLLOWING WARNINGS ARE GIVEN:\n\n THE FOLLOWING INPUTS WERE READ:\n"),
            std::string::npos)
      << text;
}

// A Richards run follows the mass lines with its columns' balance.
TEST(write_event_summary, richards_runs_add_their_column_balance_after_the_mass_lines) {
  event_fixture e;
  e.s.input.inf_richards = 1;
  e.s.soil.event_evaporated = 1.26;
  richards_soil& rs = e.s.soil.richards;
  rs.event_net = 2398.74;
  rs.event_recharge = 95.46;
  rs.event_initial = 18000.0;
  rs.event_final = 20303.29;
  rs.event_error = 0.012345;
  rs.event_cells_start = 20;
  rs.event_cells_end = 19;
  const std::string text = e.write();
  EXPECT_NE(text.find("mass cleanup error from overland:      0.000000 m3\n"
                      "\n"
                      "\n \n Richard's EQ. Computations \n \n"
                      "volume lost due to dir. evap (cu. m):        1.3\n"
                      "net vol infiltrated to soil (cu. m.):     2398.7\n"
                      "vol groundwater recharge (cu. m):           95.5\n"
                      "Initial volume in soils (cu. m.):        18000.0\n"
                      "Final volume in soils (cu. m.):          20303.3\n"
                      "Richard equation mass balance error         0.0123 percent\n"
                      "Number of cells at start of event             20\n"
                      "Number of cells at end of event               19\n"
                      "net volume of infiltration is infiltration minus evaporation\n"
                      "THE FOLLOWING WARNINGS ARE GIVEN:\n"),
            std::string::npos)
      << text;
  event_fixture plain;
  EXPECT_EQ(plain.write().find("Richard's EQ."), std::string::npos);
}

// Lines shown only under their options, each switched on alone.
TEST(write_event_summary, optional_lines_follow_their_options) {
  struct option_case {
    const char* line;
    std::function<void(model_state&)> switch_on;
  };
  const option_case cases[] = {
      {"initial volume in channels:           ",
       [](model_state& s) { s.input.explicit_channel = 1; }},
      {"volume of lateral inflow:            ", [](model_state& s) { s.input.explicit_channel = 1; }},
      {"final volume in channels (cu. m):    ", [](model_state& s) { s.input.explicit_channel = 1; }},
      {"initial volume in sub-surface drains: ",
       [](model_state& s) { s.input.settings.storm_sewer_given = 1; }},
      {"volume of base flow from Sacramento:   ", [](model_state& s) { s.input.sacramento = 1; }},
      {"volume of groundwater recharge:      ", [](model_state& s) { s.input.inf_redist = 1; }},
      {"initial volume in lakes               ", [](model_state& s) { s.channel.channel_lakes = 1; }},
      {"volume of snow melt released:        ",
       [](model_state& s) { s.soil.snow.swe.assign(std::size_t(s.grid.cells) + 1, 0.0); }},
      {"Interception losses.\n", [](model_state& s) { s.input.interception = 1; }},
      {"Distributed overland roughness.\n", [](model_state& s) { s.input.roughness_map = 1; }},
      {"Green & Ampt infiltration.\n", [](model_state& s) { s.input.green_ampt = 1; }},
      {"Uniform retention depth.\n", [](model_state& s) { s.input.retention_depth = 2.0; }},
      {"     hydrographs at selected locations.\n",
       [](model_state& s) { s.input.settings.in_hyd_location_given = 1; }},
      {"     overland flow depth.\n", [](model_state& s) { s.input.settings.depth_given = 1; }},
      {"elevation and gridsize were converted from feet to meters\n",
       [](model_state& s) { s.input.params.units = 1; }},
  };
  for (const option_case& c : cases) {
    event_fixture off;
    EXPECT_EQ(off.write().find(c.line), std::string::npos) << c.line;
    event_fixture on;
    c.switch_on(on.s);
    EXPECT_NE(on.write().find(c.line), std::string::npos) << c.line;
  }
}

// A long-term run heads each event with its number and dates, the source
// and period of its meteorology, the values the reader repaired and the
// evapotranspiration form; the events after the first are set apart by a
// dashed line, and the soil's mean saturation at the event's start and end
// frame its volumes.
TEST(write_event_summary, long_term_events_are_numbered_and_separated) {
  const std::string dashes(78, '-');
  struct header_case {
    int finished;           // events before this one
    const char* format;     // the hydrometeorological card
    bool penman;
    const char* source;     // the source line, empty for none
    const char* et_line;
  };
  const header_case cases[] = {
      {0, "zep", true, "", "Penman-Montieth evapotranspiration was calculated.\n"},
      {2, "samson", false,
       "VALTO used NCDC/SAMSON hydrometeorological data from the SEATTLE station\n",
       "Deardorff bare-soil evaporation was calculated.\n"},
      {1, "surfaways", true, "VALTO used NCDC/Surface Airways hydrometeorological data.\n",
       "Penman-Montieth evapotranspiration was calculated.\n"},
  };
  for (const header_case& c : cases) {
    SCOPED_TRACE(c.format);
    event_fixture e;
    e.s.input.long_term = 1;
    e.s.input.uniform_rain = 0;
    project_settings& p = e.s.input.settings;
    p.hmet_zep_given = std::string(c.format) == "zep";
    p.hmet_samson_given = std::string(c.format) == "samson";
    p.hmet_surfaways_given = std::string(c.format) == "surfaways";
    p.et_calc_penman = c.penman;
    p.et_calc_deardorff = !c.penman;
    hmet_record& record = e.s.soil.longterm.hmet;
    std::snprintf(record.station_name, sizeof record.station_name, "%s", "SEATTLE/TACOMA  WA");
    record.missing_count = 17;
    e.s.run.event_index = c.finished + 1;
    e.s.run.events_finished = c.finished;
    e.s.run.gmt = -5.0;
    e.s.run.current_time = julian_date(2000, 1, 2, 12, 0, 0.0);
    e.s.soil.hmet_start_year = 1999;
    e.s.soil.hmet_start_month = 12;
    e.s.soil.hmet_start_day = 31;
    e.s.soil.hmet_start_hour = 1;
    e.s.soil.hmet_end_year = 2000;
    e.s.soil.hmet_end_month = 2;
    e.s.soil.hmet_end_day = 1;
    e.s.soil.hmet_end_hour = 23;
    e.s.soil.event_initial_moisture = 0.5377;
    e.s.soil.event_final_moisture = 0.7419;
    const std::string text = e.write();
    const std::string head =
        std::string(c.finished ? "\n\n" + dashes + "\n" : "") +
        "       VALTO LONG-TERM RUNOFF SIMULATION SUMMARY- EVENT " +
        std::to_string(c.finished + 1) +
        "\n"
        "Event began on strict Julian date:                    2451544.50000000\n"
        "Event ended on strict Julian date:                    2451546.00000000\n"
        "Event began on 01/01/2000 at 00:00  GMT -5.0 hours.\n\n" +
        c.source +
        "Hydrometeorology data began on: 12/31/1999 at  1:00\n"
        "and ended on:                   02/01/2000 at 23:00\n"
        "The following number of hydromet. data points were repaired:17\n" +
        c.et_line +
        "\n"
        "elevation and gridsize are in meters\n"
        "timestep                                    30.0 seconds\n"
        "initial basin-averaged soil water content: 53.77 percent\n";
    EXPECT_EQ(text.substr(0, head.size()), head);
    EXPECT_NE(text.find("mass cleanup error from overland:      0.000000 m3\n\n"
                        "final basin-averaged soil water content: 74.19 percent\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("VALTO EVENT RUNOFF"), std::string::npos);
  }
}

TEST(write_event_summary, nothing_without_a_summary_file_or_with_its_flag_down) {
  event_fixture e;
  e.s.output.event_summary_flag = 0;
  EXPECT_EQ(e.write(), "");
  model_state closed;
  write_event_summary(closed);  // no file: nothing to do, no crash
}

}  // namespace
