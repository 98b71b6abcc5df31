// The link/node location lists of the channel set-up (stream hydrograph,
// groundwater flux and sediment locations): a count, then that many
// "link node" pairs, read into the junction network of the test fixtures
// (two head links of four nodes meeting a link of five). A list the reader
// accepts names only nodes of the network; one it refuses says so through
// the error record and leaves no locations.

#include <cstdint>
#include <cstdio>
#include <string>

#include "channel/read_chan_input.h"
#include "channel/setup_channels.h"
#include "core/error_state.h"
#include "run/model_state.h"
#include "fuzz_support.h"
#include "junction_network.h"

namespace {
model_state* network = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("link_node_locations", argc, argv);
  network = fuzz::junction_network();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::reset_process_state();
  const std::string path =
      fuzz::write_file("sed.loc", std::string_view(reinterpret_cast<const char*>(data), size));
  safe_file file;
  if (!file.open(path.c_str(), "r")) return 0;
  int count = -1;
  std::vector<int> link, node;
  const bool ok = read_link_node_list(*network, file, count, link, node);
  fuzz::require(ok != fuzz::failure_reported(), "the result and the error record disagree");
  fuzz::require(!file.is_open(), "the list was left open");
  if (!ok) {
    fuzz::require(count == 0, "a refused list left locations");
    return 0;
  }
  const channel_state& chan = network->channel;
  fuzz::require(
      count >= 0 && link.size() == std::size_t(count) + 1 && node.size() == std::size_t(count) + 1,
      "the lists are not sized by the count");
  for (int i = 1; i <= count; ++i)
    fuzz::require(
        link[i] >= 1 && link[i] <= chan.links && node[i] >= 1 && node[i] <= chan.nx[link[i]],
        "a location names no node of the network");
  return 0;
}
