// Stream mapping tables: the table file (the input's first part) and the
// stream maps it names (later parts, a.smp and b.smp), read for one stream
// table kind against a network of three links of 5, 2 and 4 nodes, after the
// check report. The first byte picks the kind.

#include <cstdint>
#include <span>
#include <vector>

#include "core/error_state.h"
#include "fuzz_support.h"
#include "input/stream_map_tables.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("stream_map_tables", argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  fuzz::reset_process_state();
  const auto parts = fuzz::split_parts(data + 1, size - 1, 3);
  fuzz::write_file("streams.cmt", parts[0]);
  fuzz::write_file("a.smp", parts[1]);
  fuzz::write_file("b.smp", parts[2]);

  static const int nx[4] = {0, 5, 2, 4};
  stream_network_view network;
  network.links = 3;
  network.max_nodes = 5;
  network.nx = nx;

  std::vector<int> present(stream_kind::last_table + 1, 0);
  check_stream_mapping_tables("streams.cmt", present);
  if (error_state.stop_flag) return 0;

  const int kind = 1 + data[0] % stream_kind::last_table;
  std::vector<std::vector<double>> columns(4);
  std::vector<std::span<double>> spans;
  for (int k = 0; k < 4; ++k) {
    if (data[0] & (0x80 >> k)) continue;
    columns[k].assign(std::size_t(network.links + 1) * network.stride(), 0.0);
    spans.emplace_back(columns[k]);
  }
  const int result = read_stream_mapping_table("streams.cmt", kind, spans, network);
  fuzz::require(result == 1 || fuzz::failure_reported(), "a refused stream table without a code");
  return 0;
}
