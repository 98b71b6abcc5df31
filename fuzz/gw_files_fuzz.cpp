// The groundwater's count-and-rows side files, each input read both as a
// static-flux file and as an observation-well list, against a 3 x 3 grid
// whose cell (3,3) lies outside the watershed, as the set-up reads them.

#include <cmath>
#include <cstdint>
#include <vector>

#include "core/grid_state.h"
#include "core/safe_file.h"
#include "fuzz_support.h"
#include "subsurface/read_gw_files.h"

namespace {
grid_state* watershed = nullptr;

// The static-flux file: every flux lands in a cell slot, as a number.
void read_fluxes(const std::string& path, const grid_state& g) {
  safe_file file;
  if (!file.open(path.c_str(), "r")) return;
  std::vector<double> flux(std::size_t(g.cells) + 1, 0.0);
  const bool read =
      read_static_flux_file(file, watershed->mask.table(), g.rows, g.cols, g.dx, flux);
  file.close();
  fuzz::require(read != fuzz::failure_reported(), "a static-flux result that hides its code");
  for (double f : flux) fuzz::require(std::isfinite(f), "a static flux that is no number");
}

// The observation-well list: every well on the grid, its count matching.
void read_wells(const std::string& path, const grid_state& g) {
  safe_file file;
  if (!file.open(path.c_str(), "r")) return;
  int count = -1;
  std::vector<int> rows, cols;
  const bool read = read_well_list_file(file, g.rows, g.cols, count, rows, cols);
  file.close();
  fuzz::require(read != fuzz::failure_reported(), "a well-list result that hides its code");
  if (!read) {
    fuzz::require(count == 0, "a refused well list that keeps a count");
    return;
  }
  fuzz::require(count >= 0 && rows.size() == std::size_t(count) + 1 &&
                    cols.size() == std::size_t(count) + 1,
                "wells without room");
  for (int i = 1; i <= count; ++i)
    fuzz::require(rows[i] >= 1 && rows[i] <= g.rows && cols[i] >= 1 && cols[i] <= g.cols,
                  "a well off the grid");
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("gw_files", argc, argv);
  watershed = new grid_state;
  fuzz::small_grid(*watershed);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path =
      fuzz::write_file("gw.txt", std::string_view(reinterpret_cast<const char*>(data), size));
  fuzz::reset_process_state();
  read_fluxes(path, *watershed);
  fuzz::reset_process_state();
  read_wells(path, *watershed);
  return 0;
}
