// The channel point-input file: its points, periods and every later block
// of values, read as the channel set-up and the channel step read them, into
// the junction network of the test fixtures (two head links of four nodes
// meeting a link of five). The input's length picks 0, 1 or 2 constituent
// columns after each inflow.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "channel/chan_point_input.h"
#include "channel/read_chan_input.h"
#include "core/error_state.h"
#include "run/model_state.h"
#include "fuzz_support.h"
#include "junction_network.h"

namespace {
model_state* network = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("chan_point_input", argc, argv);
  network = fuzz::junction_network();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::reset_process_state();
  const std::string path =
      fuzz::write_file("points.txt", std::string_view(reinterpret_cast<const char*>(data), size));
  // The reader's own record: the points and their values.
  channel_state& chan = network->channel;
  chan.points = 0;
  chan.periods = 0;
  chan.blocks_read = 0;
  chan.chan_point_address.clear();
  chan.point_input_values.assign(chan.node_slots() + 1, 0.0);
  const std::size_t columns = size % 3;
  point_conc_rows conc(columns + 1, std::vector<double>(chan.node_slots() + 1, 0.0));
  point_conc_rows* store = columns ? &conc : nullptr;

  std::FILE* stream = std::fopen(path.c_str(), "r");
  if (!stream) return 0;
  point_input_reader reader(stream, path.c_str());
  point_input_date date;
  int result = read_chan_point_cards(reader, chan, store, date);
  // The step reads one block per period; a few periods reach every path.
  for (int block = 0; result == 1 && block < 8 && !error_state.stop_flag; ++block) {
    ++chan.blocks_read;
    result = read_next_input_block(reader, chan, store, date);
  }
  std::fclose(stream);
  return 0;
}
