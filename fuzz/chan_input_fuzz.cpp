// The channel input file (the input's first part) and the grid-stream file
// (its second), read as the channel set-up reads them, against a 3 x 8
// watershed of 100 m cells at ground 20 m.

#include <cstdint>

#include "channel/read_chan_input.h"
#include "core/error_state.h"
#include "run/model_state.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("chan_input", argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::reset_process_state();
  const auto parts = fuzz::split_parts(data, size, 2);
  fuzz::write_file("net.chan", parts[0]);
  fuzz::write_file("net.gst", parts[1]);

  model_state s;
  grid_state& g = s.grid;
  g.rows = 3;
  g.cols = 8;
  g.dx = 100.0;
  g.mask.allocate_grid(g.rows, g.cols);
  int n = 0;
  for (int r = 1; r <= g.rows; ++r)
    for (int c = 1; c <= g.cols; ++c) g.mask[r][c] = ++n;
  g.cells = n;
  g.elevation.assign(n + 1, 20.0);
  input_state& in = s.input;
  in.explicit_channel = 1;
  in.channel_routing = 1;
  if (!in.files.channel_input.open("net.chan", "r") || !in.files.stream_cell.open("net.gst", "r"))
    return 0;
  read_chan_input(s);
  fuzz::require(!in.files.channel_input.is_open() && !in.files.stream_cell.is_open(),
                "the channel files were left open");
  return 0;
}
