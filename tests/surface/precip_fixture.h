#pragma once
// Fixtures of the precipitation tests: the plane20 project with its uniform
// rain replaced by a precipitation file, run in-process, and a record of the
// plane's grid that reads a precipitation file through the set-up and the
// event start without running the time loop.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run/model_state.h"
#include "run/sim_clock.h"
#include "surface/precip_file.h"
#include "surface/surface_steps.h"
#include "surface_run_fixture.h"
#include "test_support.h"

namespace precip_fixture {

using surface_fixture::run_output;

const std::vector<std::string> uniform_cards = {"PRECIP_UNIF", "RAIN_INTENSITY", "RAIN_DURATION"};

// plane20 in dir, its rain from the file rain.gag holding rain; extra cards
// are appended (a later card wins).
inline void write_plane(const test_support::temp_dir& dir, const std::string& rain,
                        const std::string& extra = "") {
  using surface_fixture::fixture_text;
  for (const char* name : {"mask.asc", "elevation.asc"})
    dir.write(name, fixture_text("plane20", name));
  dir.write("rain.gag", rain);
  const std::string project = fixture_text("plane20", "plane20.prj");
  dir.write("plane20.prj", surface_fixture::edit_cards(project, uniform_cards,
                                                       "PRECIP_FILE rain.gag\n" + extra));
}

// plane20 as it stands, under uniform rain of 36 mm/h for four hours.
inline void write_uniform_plane(const test_support::temp_dir& dir) {
  using surface_fixture::fixture_text;
  for (const char* name : {"mask.asc", "elevation.asc", "plane20.prj"})
    dir.write(name, fixture_text("plane20", name));
}

// One event of one gauge at (50, 50) on 1 June 2000, its data lines given
// as "KIND hh mm value" rows.
inline std::string one_gauge_event(const std::vector<std::string>& lines) {
  std::string text = "EVENT plane storm\nNRGAG 1\nNRPDS " + std::to_string(lines.size()) +
                     "\nCOORD 50 50\n";
  for (const std::string& l : lines) {
    const std::size_t blank = l.find(' ');
    text += l.substr(0, blank) + " 2000 6 1" + l.substr(blank) + "\n";
  }
  return text;
}

// A record of the plane's grid (one row of twenty 100 m cells, west edge 0,
// north edge 100) whose precipitation file is rain.gag in the working
// directory; the caller keeps the directory current.
inline void plane_record(model_state& s, bool thiessen = false) {
  std::vector<double> z(20);
  for (int k = 0; k < 20; ++k) z[k] = 19 - k;
  surface_fixture::build_grid(s, 1, 20, 100.0, z, {0.05}, 1, 20, 0.01);
  s.grid.north = 100.0;
  s.grid.south = 0.0;
  s.grid.west = 0.0;
  s.grid.east = 2000.0;
  input_state& in = s.input;
  in.precip_from_file = 1;
  in.precip_file = "rain.gag";
  in.inverse_distance = thiessen ? 0 : 1;
  in.nearest_gauge = thiessen ? 1 : 0;
  ASSERT_TRUE(in.files.precip.open("rain.gag", "r"));
  s.run.tolerance = time_tolerance_days;
  s.run.overland.set_interval(30.0);
}

// Puts the clock at the start of event k, as init_process_clocks and
// initialize_event leave it, and reads the event.
inline void start_event(model_state& s, int k) {
  run_control& run = s.run;
  run.current_time = event_start(run, k);
  run.overland.last = run.current_time;
  run.overland.next = run.current_time + run.overland.interval_d;
  run.next_rain_time = run.current_time;
  read_precip_step(s);
}

// Rate of gauge g in period p once converted, mm/h (value as read before).
inline double value(const model_state& s, int g, int p) {
  const raingage_data& rd = s.surface.raingage;
  return rd.values[std::size_t(g) * rd.value_stride + p];
}

}  // namespace precip_fixture
