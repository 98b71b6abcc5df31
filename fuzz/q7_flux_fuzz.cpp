// The Q7 segment map and its link/node table, read by the set-up as a run
// reads them over a 3 x 3 watershed whose last cell lies outside, then one
// pass of sums and one row, so the arrays the set-up sized are used.

#include <cstdint>
#include <vector>

#include "core/error_state.h"
#include "run/model_state.h"
#include "fuzz_support.h"
#include "output/q7_flux.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("q7_flux", argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::reset_process_state();
  const auto parts = fuzz::split_parts(data, size, 2);
  fuzz::write_file("segments.asc", parts[0]);
  fuzz::write_file("nodes.txt", parts[1]);

  model_state s;
  grid_state& g = s.grid;
  fuzz::small_grid(g);
  const int n = g.cells;
  int q7_on = 1;
  s.input.q7_input_flag = &q7_on;
  project_settings& p = s.input.settings;
  p.q7_fluxes = 1;
  p.q7_segment_map = "segments.asc";
  p.q7_segment_map_given = 1;
  p.q7_nodes_to_segs = "nodes.txt";
  p.q7_nodes_to_segs_given = parts[1].empty() ? 0 : 1;
  p.q7_segment_fluxes = "fluxes.out";
  p.q7_segment_fluxes_given = 1;

  setup_q7_segment_flux(s);
  q7_data& q7 = s.output.q7;
  if (error_state.stop_flag) {
    fuzz::require(fuzz::failure_reported(), "a refused segment set-up without a code");
    free_q7_data(q7);
    return 0;
  }
  // Sums over one pass of a still surface; without channels the table's
  // nodes are not read.
  const std::vector<double> faces(n + 1, 0.25);
  const std::vector<int> none(n + 1, 0);
  accumulate_q7_flux(q7, faces.data(), faces.data(), n, none.data(), none.data(), false, nullptr,
                     1, g.dx);
  write_q7_value(q7, 153.0);
  free_q7_data(q7);
  return 0;
}
