// A radar rainfall grid: its header, the map of a 2 x 3 watershed of 100 m
// cells onto it, and its rates, as an event start and a rain change read
// them.

#include <cstdint>

#include "core/error_state.h"
#include "core/grid_state.h"
#include "fuzz_support.h"
#include "surface/radar_grid.h"
#include "surface/raingage_data.h"

namespace {
grid_state* watershed = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("radar_grid", argc, argv);
  // The watershed never changes, so it is built once.
  watershed = new grid_state;
  grid_state& g = *watershed;
  g.rows = 2;
  g.cols = 3;
  g.dx = 100.0;
  g.mask.allocate_grid(g.rows, g.cols);
  int n = 0;
  for (int r = 1; r <= g.rows; ++r)
    for (int c = 1; c <= g.cols; ++c) g.mask[r][c] = ++n;
  g.cells = n;
  g.north = 200.0;
  g.south = 0.0;
  g.west = 0.0;
  g.east = 300.0;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::reset_process_state();
  fuzz::write_file("r.asc", std::string_view(reinterpret_cast<const char*>(data), size));
  radar_precip radar;
  // The event start maps the cells through the first grid's header (and
  // stops the run when it does not read); each rain change reads a grid.
  setup_radar_grid("r.asc", radar, *watershed);
  if (error_state.stop_flag) return 0;
  if (read_radar_file("r.asc", radar) != 0) {
    fuzz::require(fuzz::failure_reported(), "a refused grid without a message");
    return 0;
  }
  std::vector<double> rate(watershed->cells + 1, 0.0);
  radar_to_cells(radar, rate.data(), watershed->cells);
  return 0;
}
