// The XY output point file and the inset mask, read as the XY output set-up
// reads them, and the points' interpolation cells found on a 3 x 3
// watershed of 10 m cells whose last cell lies outside.

#include <cstdint>
#include <vector>

#include "core/error_state.h"
#include "core/grid_state.h"
#include "fuzz_support.h"
#include "output/xy_outputs.h"

namespace {
block_2d<int>* mask = nullptr;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("xy_outputs", argc, argv);
  mask = new block_2d<int>;
  fuzz::number_mask(*mask, 3, 3);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::reset_process_state();
  const auto parts = fuzz::split_parts(data, size, 2);
  fuzz::write_file("points.txt", parts[0]);
  fuzz::write_file("inset.asc", parts[1]);

  xy_grid_view grid;
  grid.north = 30.0;
  grid.west = 0.0;
  grid.size = 10.0;
  grid.rows = grid.cols = 3;
  grid.number = mask->table();

  xy_output xy;
  if (!read_xy_point_file("points.txt", xy.points)) {
    fuzz::require(fuzz::failure_reported(), "a refused point file without a code");
    return 0;
  }
  compute_xy_weights(xy.points, grid);
  // The mask's own failures let the run go on, with a message.
  if (read_xy_inset_mask("inset.asc", xy)) {
    add_inset_boundary_sides(xy);
    compute_xy_weights(xy.points, grid);
  }
  const std::vector<double> depth(9, 0.5);
  for (const xy_output_point& p : xy.points) interpolate_xy_point(p, depth.data());
  return 0;
}
