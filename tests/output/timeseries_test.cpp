// The outlet hydrograph rows: when they are written, their layouts, the
// long-term time column and the flush after every row.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "core/error_state.h"
#include "core/julian.h"
#include "run/model_state.h"
#include "core/parallel_context.h"
#include "run/sim_clock.h"
#include "output/output_steps.h"
#include "output/timeseries_rows.h"
#include "test_support.h"

namespace {

using test_support::read_file;
using test_support::temp_dir;

// A record whose clock starts on 2000-01-01 00:00 with the given main step,
// the hydrograph interval derived from HYD_FREQ as set-up derives it.
void configure(model_state& s, double dt, double hyd_freq_minutes) {
  run_parameters& p = s.input.params;
  p.timestep = dt;
  p.hyd_freq = hyd_freq_minutes;
  p.map_freq = 60;
  p.outslope = 0.01;
  p.gridsize = 10.0;
  error_state = error_record{};
  setup_time_steps(s);
  ASSERT_EQ(error_state.stop_flag, 0);
  s.run.start_time = julian_date(2000, 1, 1, 0, 0, 0.0);
  s.run.current_time = s.run.start_time;
}

// Runs passes of the clock and the writer; the outlet discharge of pass k
// (from 1) is k / 1000 m3/s.
void run_passes(model_state& s, int passes) {
  for (int k = 1; k <= passes; ++k) {
    advance_clock(s);
    s.run.q_out = k / 1000.0;
    write_timeseries_step(s);
  }
}

TEST(outlet_hydrograph, hyd_freq_1_with_a_30_s_step_writes_every_second_step_from_step_0) {
  temp_dir dir;
  model_state s;
  configure(s, 30.0, 1.0);
  ASSERT_EQ(s.run.hyd_interval, 2);
  ASSERT_TRUE(s.output.outlet_hydro.open(dir.file("outlet.hyd").c_str(), "w"));
  run_passes(s, 7);  // steps 0..6
  // Rows at steps 0, 2, 4, 6: elapsed 0, 1, 2, 3 minutes, the discharge of
  // passes 1, 3, 5, 7.
  EXPECT_EQ(read_file(dir.file("outlet.hyd")),
            "    0.00     0.001\n"
            "    1.00     0.003\n"
            "    2.00     0.005\n"
            "    3.00     0.007\n");
  EXPECT_EQ(s.output.outlet_rows, 4);
  s.output.outlet_hydro.close();
}

TEST(outlet_hydrograph, an_interval_of_4_steps_writes_steps_0_4_8_12) {
  temp_dir dir;
  model_state s;
  configure(s, 15.0, 1.0);  // 60 s / 15 s = 4 steps
  ASSERT_EQ(s.run.hyd_interval, 4);
  ASSERT_TRUE(s.output.outlet_hydro.open(dir.file("outlet.hyd").c_str(), "w"));
  run_passes(s, 13);
  EXPECT_EQ(read_file(dir.file("outlet.hyd")),
            "    0.00     0.001\n"
            "    1.00     0.005\n"
            "    2.00     0.009\n"
            "    3.00     0.013\n");
  s.output.outlet_hydro.close();
}

TEST(outlet_hydrograph, cfs_rows_and_the_six_digit_twin_on_the_same_time) {
  temp_dir dir;
  model_state s;
  configure(s, 60.0, 1.0);
  s.run.qout_cfs = 1;
  ASSERT_TRUE(s.output.outlet_hydro.open(dir.file("outlet.hyd").c_str(), "w"));
  ASSERT_TRUE(s.output.sig_outlet_hydro.open(dir.file("outlet6.hyd").c_str(), "w"));
  advance_clock(s);
  s.run.q_out = 1.0;
  write_timeseries_step(s);
  advance_clock(s);
  s.run.q_out = 2.0;
  write_timeseries_step(s);
  // 1 m3/s is 35.314667 cfs.
  EXPECT_EQ(read_file(dir.file("outlet.hyd")), "    0.00     35.315\n    1.00     70.629\n");
  EXPECT_EQ(read_file(dir.file("outlet6.hyd")), "    0.00    35.314667\n    1.00    70.629334\n");
  s.output.outlet_hydro.close();
  s.output.sig_outlet_hydro.close();
}

// Every layout of the outlet row, on one time and discharge.
TEST(outlet_hydrograph, row_layouts_by_run_kind_and_units) {
  struct row_case {
    bool long_term, strict, cfs;
    const char* expected;
  };
  const row_case cases[] = {
      {false, false, false, "   12.50     3.142\n"},
      {false, false, true, "   12.50      3.142\n"},
      {false, true, false, "     12.50000000     3.142\n"},
      {false, true, true, "     12.50000000      3.142\n"},
      {true, false, false, "     12.50000000      3.1416\n"},
      {true, true, true, "     12.50000000      3.1416\n"},
  };
  temp_dir dir;
  for (const row_case& c : cases) {
    const std::string path = dir.file("row.txt");
    std::FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    outlet_row_form form;
    form.long_term = c.long_term;
    form.strict_julian = c.strict;
    form.cfs = c.cfs;
    write_outlet_row(f, form, 12.5, 3.14159265);
    std::fclose(f);
    EXPECT_EQ(read_file(path), c.expected) << c.long_term << c.strict << c.cfs;
  }
}

// The decimal year divides by the minutes of a year; every 1900 + 4k counts
// as a leap year, 1900 itself included.
TEST(outlet_hydrograph, long_term_time_column) {
  struct year_case {
    int year, month, day, hour, minute;
    double expected;
  };
  const year_case cases[] = {
      {2000, 1, 1, 0, 0, 2000.0 + 1440.0 / 527040.0},
      {2001, 1, 1, 0, 0, 2001.0 + 1440.0 / 525600.0},
      {1900, 1, 1, 0, 0, 1900.0 + 1440.0 / 527040.0},
      {2003, 3, 2, 6, 30, 2003.0 + (61 * 1440.0 + 390.0) / 525600.0},
      {2004, 12, 31, 23, 59, 2004.0 + (366 * 1440.0 + 1439.0) / 527040.0},
  };
  for (const year_case& c : cases) {
    run_control run;
    run.current_time = julian_date(c.year, c.month, c.day, c.hour, c.minute, 0.0);
    calendar_date(run.current_time, &run.year, &run.month, &run.day, &run.hour, &run.minute,
                  &run.seconds);
    run.day_of_year = day_of_year(run.year, run.month, run.day);
    EXPECT_NEAR(long_term_time(run, false), c.expected, 1e-12) << c.year;
    EXPECT_EQ(long_term_time(run, true), run.current_time);
    outlet_row_form form;
    form.long_term = true;
    EXPECT_NEAR(outlet_row_time(form, run), c.expected, 1e-12);
  }
}

// Each row is on disk as soon as it is written, before the file is closed.
TEST(outlet_hydrograph, every_row_is_flushed) {
  temp_dir dir;
  model_state s;
  configure(s, 60.0, 1.0);
  ASSERT_TRUE(s.output.outlet_hydro.open(dir.file("outlet.hyd").c_str(), "w"));
  ASSERT_TRUE(s.output.sig_outlet_hydro.open(dir.file("outlet6.hyd").c_str(), "w"));
  run_passes(s, 3);
  EXPECT_EQ(read_file(dir.file("outlet.hyd")),
            "    0.00     0.001\n    1.00     0.002\n    2.00     0.003\n");
  EXPECT_EQ(read_file(dir.file("outlet6.hyd")),
            "    0.00     0.001000\n    1.00     0.002000\n    2.00     0.003000\n");
  s.output.outlet_hydro.close();
  s.output.sig_outlet_hydro.close();
}

TEST(outlet_hydrograph, a_partition_other_than_0_writes_nothing) {
  temp_dir dir;
  model_state s;
  configure(s, 60.0, 1.0);
  ASSERT_TRUE(s.output.outlet_hydro.open(dir.file("outlet.hyd").c_str(), "w"));
  parallel.partition_index = 1;
  run_passes(s, 3);
  parallel.partition_index = 0;
  EXPECT_EQ(read_file(dir.file("outlet.hyd")), "");
  EXPECT_EQ(s.output.outlet_rows, 0);
  s.output.outlet_hydro.close();
}

// A one-link network with a stream location at node 2 (2 m3/s, 0.5 m deep)
// and two listed cells: cell 1 with face discharges 3 and 4 m3/s, and a
// location off the watershed (cell 0). Discharges follow QOUT_CFS, depths
// stay in metres, and the cell file drops its depths in cfs.
TEST(location_rows, stream_and_cell_rows_in_metres_and_in_cfs) {
  struct unit_case {
    bool cfs;
    const char* hyd;
    const char* dep;
    const char* cells;
  };
  const unit_case cases[] = {
      {false, "    0.00000000     2.000000 \n", "    0.00000000     0.500000 \n",
       "    0.00000000         0.100000      0.000000              5.000000      0.000000  \n"},
      {true, "    0.00000000    70.629334 \n", "    0.00000000     0.500000 \n",
       "    0.00000000" "     " "        " "  176.573335      0.000000  \n"},
  };
  for (const unit_case& c : cases) {
    SCOPED_TRACE(c.cfs);
    temp_dir dir;
    model_state s;
    configure(s, 60.0, 1.0);
    s.run.qout_cfs = c.cfs;
    channel_state& chan = s.channel;
    chan.links = 1;
    chan.max_nodes = 2;
    chan.qp.assign(chan.node_slots(), 0.0);
    chan.chan_depth.assign(chan.node_slots(), 0.0);
    chan.qp[chan.node_address(1, 2)] = 2.0;
    chan.chan_depth[chan.node_address(1, 2)] = 0.5;
    chan.hyd_locations = 1;
    chan.hyd_loc_link = {0, 1};
    chan.hyd_loc_node = {0, 2};
    chan.cell_locations = 2;
    chan.cell_loc_number = {0, 1, 0};
    s.surface.depth = {0.0, 0.1};
    s.surface.flux_x = {0.0, 3.0};
    s.surface.flux_y = {0.0, -4.0};
    ASSERT_TRUE(s.output.hyd_location.open(dir.file("hyd.out").c_str(), "w"));
    ASSERT_TRUE(s.output.dep_location.open(dir.file("dep.out").c_str(), "w"));
    ASSERT_TRUE(s.output.celldepdis_location.open(dir.file("cells.out").c_str(), "w"));
    advance_clock(s);
    write_timeseries_step(s);
    s.output.hyd_location.close();
    s.output.dep_location.close();
    s.output.celldepdis_location.close();
    EXPECT_EQ(read_file(dir.file("hyd.out")), c.hyd);
    EXPECT_EQ(read_file(dir.file("dep.out")), c.dep);
    EXPECT_EQ(read_file(dir.file("cells.out")), c.cells);
  }
}

// A long-term store at a listed cell reads as two zones: the top zone
// (10 cm of top layer; the first soil layer, 20 cm, of the layered method)
// and the wetted soil down to the front below it. A front inside the top
// zone leaves only the first zone, the second marked 999.99.
TEST(location_rows, long_term_store_reads_as_two_zones_above_the_front) {
  struct zone_case {
    bool layered;
    double front_cm;
    const char* values;
  };
  const zone_case cases[] = {
      // redistribution: the front is the infiltrated depth over the 0.1 it raised
      {false, 30.0, "    0.300000     0.200000     0.000000     0.000000 \n"},
      {false, 5.0, "    0.600000   999.990000     0.000000     0.000000 \n"},
      {true, 25.0, "    0.150000     0.800000     0.000000     0.000000 \n"},
      {true, 20.0, "    0.150000     0.000000     0.000000     0.000000 \n"},
  };
  for (const zone_case& c : cases) {
    SCOPED_TRACE(c.layered ? "layered" : "redistribution");
    SCOPED_TRACE(c.front_cm);
    temp_dir dir;
    model_state s;
    configure(s, 60.0, 1.0);
    s.input.long_term = 1;
    s.input.inf_redist = c.layered ? 0 : 1;
    s.input.inf_layered_soil = c.layered ? 1 : 0;
    s.input.top_layer_depth = 10.0;
    soil_state& soil = s.soil;
    soil.m1 = {0.0, 3.0};  // cm of water
    soil.m2 = {0.0, 4.0};
    soil.initial_theta = {0.0, 0.2};
    soil.front_theta = {0.0, 0.3};
    soil.cum_inf = {0.0, c.front_cm * 0.1 / 100.0};  // m
    soil.wetdep = {0.0, c.front_cm};
    soil.soiltype = {0, 1};
    soil.soil_types.resize(2);
    soil.soil_types[1].d1 = 20.0;
    s.output.theta_cells = 2;
    s.output.theta_cell = {0, 1, 0};  // the second location is off the watershed
    ASSERT_TRUE(s.output.theta_location.open(dir.file("theta.out").c_str(), "w"));
    advance_clock(s);
    write_timeseries_step(s);
    s.output.theta_location.close();
    const std::string row = read_file(dir.file("theta.out"));
    ASSERT_GT(row.size(), 17u) << row;
    EXPECT_EQ(row.substr(17), c.values) << row;
  }
}

}  // namespace
