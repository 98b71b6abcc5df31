// The precipitation file: the start-up counting pass over every event, then
// each event read and converted to rates as the event starts read it, on a
// grid of one row of four 100 m cells. Radar grid files an event lists are
// the input's later parts, named a.asc and b.asc.

#include <algorithm>
#include <cstdint>

#include "core/error_state.h"
#include "run/model_state.h"
#include "run/sim_clock.h"
#include "fuzz_support.h"
#include "surface/surface_steps.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("precip", argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::reset_process_state();
  const auto parts = fuzz::split_parts(data, size, 3);
  fuzz::write_file("rain.gag", parts[0]);
  fuzz::write_file("a.asc", parts[1]);
  fuzz::write_file("b.asc", parts[2]);

  model_state s;
  grid_state& g = s.grid;
  g.rows = 1;
  g.cols = 4;
  g.dx = 100.0;
  g.mask.allocate_grid(g.rows, g.cols);
  for (int c = 1; c <= g.cols; ++c) g.mask[1][c] = c;
  g.cells = 4;
  g.north = 100.0;
  g.south = 0.0;
  g.west = 0.0;
  g.east = 400.0;
  g.elevation.assign(g.cells + 1, 0.0);
  input_state& in = s.input;
  in.precip_from_file = 1;
  in.precip_file = "rain.gag";
  in.nearest_gauge = size % 2;
  in.inverse_distance = 1 - in.nearest_gauge;
  s.run.tolerance = time_tolerance_days;
  if (!in.files.precip.open("rain.gag", "r")) return 0;

  setup_precip_and_hmet(s);
  if (error_state.stop_flag) return 0;
  fuzz::require(error_state.code == 0, "a code left without a stop");
  run_control& run = s.run;
  run.num_events = s.surface.raingage.events_in_file;
  // A few events suffice: each is read by the same routine.
  const int events = std::min(run.num_events, 4);
  for (int k = 1; k <= events && !error_state.stop_flag; ++k) {
    run.event_data_flag = 0;
    run.current_time = event_start(run, k);
    run.next_rain_time = run.current_time;
    read_precip_step(s);
    if (run.event_data_flag == 2) break;
  }
  return 0;
}
