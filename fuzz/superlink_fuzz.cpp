// The pipe network's readers: an input split at "@@@@" lines into a network
// file and a grid-pipe file, read as set-up reads them (graded and not)
// against the harnesses' 3 x 3 grid; then the location lists read against
// the network the first part made.

#include <cmath>
#include <cstdint>
#include <string>

#include "core/error_state.h"
#include "core/grid_state.h"
#include "core/safe_file.h"
#include "fuzz_support.h"
#include "subsurface/read_superlink_input.h"
#include "subsurface/superlink_setup.h"

namespace {
grid_state* watershed = nullptr;

// Every table the network's cards index is large enough for its counts.
void check_network(const superlink_network& net) {
  fuzz::require(net.n_slink >= 0 && net.n_sjunc >= 0, "negative counts");
  for (int k = 1; k <= net.n_slink; ++k) {
    const int us = net.us_sjunc[std::size_t(k)], ds = net.ds_sjunc[std::size_t(k)];
    fuzz::require(us >= 1 && us <= net.n_sjunc && ds >= 1 && ds <= net.n_sjunc,
                  "a superlink joining no junction");
    const int n = net.superlink_cnodes[std::size_t(k)];
    fuzz::require(n >= 1 && n + 1 <= net.dxc.rows, "computational pipes without room");
    for (int i = 1; i <= n; ++i)
      fuzz::require(net.dxc(i, k) > 0.0 && std::isfinite(net.dxc(i, k)), "a pipe of no length");
  }
  for (int c = 1; c <= net.gpi_cells; ++c)
    for (int e = 1; e <= net.gpi_ncellsingrid[std::size_t(c)]; ++e) {
      fuzz::require(net.gpi_link(c, e) >= 1 && net.gpi_link(c, e) <= net.n_slink && net.gpi_node(c, e) >= 1 &&
                        net.gpi_node(c, e) <= net.nnodes[std::size_t(net.gpi_link(c, e))],
                    "a grid-pipe entry naming no pipe");
    }
}

void read_once(const std::string& network_path, const std::string& gpi_path, int c_opt,
               superlink_network& net) {
  safe_file network, grid_pipe;
  if (!network.open(network_path.c_str(), "r")) return;
  grid_pipe.open(gpi_path.c_str(), "r");
  const grid_state& g = *watershed;
  const int r = read_superlink_input(network, &grid_pipe, c_opt, g.mask, g.rows, g.cols, net);
  fuzz::require((r != 0) == fuzz::failure_reported(), "a network result that hides its code");
  if (r == 0) check_network(net);
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("superlink", argc, argv);
  watershed = new grid_state;
  fuzz::small_grid(*watershed);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto parts = fuzz::split_parts(data, size, 3);
  const std::string network = fuzz::write_file("net.txt", parts[0]);
  const std::string gpi = fuzz::write_file("net.gpi", parts[1]);
  const std::string list = fuzz::write_file("list.txt", parts[2]);
  superlink_network net;
  for (int c_opt : {0, 1}) {
    fuzz::reset_process_state();
    read_once(network, gpi, c_opt, net);
  }
  if (fuzz::failure_reported()) return 0;
  std::vector<int> a, b;
  safe_file f;
  fuzz::reset_process_state();
  if (f.open(list.c_str(), "r")) {
    read_sjunc_list(f, net, a);
    fuzz::require(a.empty() == fuzz::failure_reported(), "a junction list that hides its code");
    for (std::size_t i = 1; i < a.size(); ++i)
      fuzz::require(a[i] >= 1 && a[i] <= net.n_sjunc, "a listed junction the network lacks");
    f.close();
  }
  fuzz::reset_process_state();
  if (f.open(list.c_str(), "r")) {
    read_sl_link_list(f, net, a, b);
    fuzz::require(a.empty() == fuzz::failure_reported(), "a node list that hides its code");
    f.close();
  }
  return 0;
}
