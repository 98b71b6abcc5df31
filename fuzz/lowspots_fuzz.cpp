// The low-spot file, read and checked against a 3 x 3 watershed of dikes
// whose every cell has a dike on each side, as the grid set-up does.

#include <cstdint>
#include <vector>

#include "core/error_state.h"
#include "core/grid_state.h"
#include "core/safe_file.h"
#include "fuzz_support.h"
#include "surface/lowspots.h"

namespace {
grid_state* watershed = nullptr;
std::vector<int>* dikes = nullptr;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("lowspots", argc, argv);
  watershed = new grid_state;
  grid_state& g = *watershed;
  g.rows = 3;
  g.cols = 3;
  g.dx = 10.0;
  g.mask.allocate_grid(g.rows, g.cols);
  int n = 0;
  for (int r = 1; r <= g.rows; ++r)
    for (int c = 1; c <= g.cols; ++c) g.mask[r][c] = r == 3 && c == 1 ? 0 : ++n;
  g.cells = n;
  g.elevation.assign(n + 1, 1.0);
  dikes = new std::vector<int>(n + 1, 15);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::reset_process_state();
  const std::string path =
      fuzz::write_file("lowspots.txt", std::string_view(reinterpret_cast<const char*>(data), size));
  safe_file file;
  if (!file.open(path.c_str(), "r")) return 0;
  int count = 0;
  std::vector<low_spot> spots;
  if (!read_lowspot_file(file, path.c_str(), count, spots)) {
    fuzz::require(fuzz::failure_reported(), "a refused low-spot file without a code");
    return 0;
  }
  fuzz::require(count >= 1 && spots.size() >= std::size_t(count) + 1, "spots without room");
  if (!check_low_spots(*watershed, *dikes, count, spots, path.c_str())) {
    fuzz::require(fuzz::failure_reported(), "a refused low spot without a code");
    return 0;
  }
  std::vector<double> depth(watershed->cells + 1, 0.5);
  embankment_weir_flow(1.0, watershed->dx, watershed->mask.table(), watershed->elevation.data(),
                       depth.data(), count, spots.data());
  return 0;
}
