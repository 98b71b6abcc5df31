// The ASCII grid reader in each of its kinds, against a 3 x 3 grid whose mask
// and the map kind come from the first byte of the input.

#include <cstdint>
#include <span>
#include <vector>

#include "core/error_state.h"
#include "core/grid_state.h"
#include "core/safe_file.h"
#include "fuzz_support.h"
#include "input/ascii_grid.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("ascii_grid", argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  constexpr int rows = 3;
  constexpr int cols = 3;
  const int kind = 1 + (data[0] & 3);
  const int inactive = (data[0] >> 2) % 10;  // one cell out of the watershed, or none
  fuzz::reset_process_state();
  const std::string path = fuzz::write_file(
      "map.asc", std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));

  block_2d<int> grid;
  grid.allocate_grid(rows, cols);
  int active = 0;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c)
      grid[r][c] = (r - 1) * cols + c == inactive ? 0 : ++active;
  std::vector<double> first(active + 1, 0.0), second(active + 1, 0.0);
  std::vector<int> ids(active + 1, 0);

  safe_file file;
  if (!file.open(path.c_str(), "r")) return 0;
  map_header header;
  read_ascii_map(file, path.c_str(), kind, header, grid.table(),
                 kind == real_map ? std::span<double>(first) : std::span<double>(),
                 kind == real_map_second ? std::span<double>(second) : std::span<double>(), ids,
                 rows, cols);
  fuzz::require(error_state.code == 0 || error_state.stop_flag != 0,
                "an error code without the stop flag");
  return 0;
}
