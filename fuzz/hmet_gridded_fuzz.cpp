// Gridded hydrometeorological hours: the list of hours and two of the
// grids its tokens may name (the input's three parts: the list, then
// g_2008050100_Temp.asc and g_2008050100_WndS.asc), read as a long-term
// run reads them over the harnesses' grid.

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "fuzz_support.h"
#include "hmet_fuzz_run.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("hmet_gridded", argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::reset_process_state();
  const auto parts = fuzz::split_parts(data, size, 3);
  // A part the input does not give leaves no grid of an earlier input behind.
  const char* grids[2] = {"g_2008050100_Temp.asc", "g_2008050100_WndS.asc"};
  for (int k = 0; k < 2; ++k) {
    if (parts[k + 1].empty()) {
      std::remove(grids[k]);
    } else {
      fuzz::write_file(grids[k], parts[k + 1]);
    }
  }
  hmet_fuzz::run(hmet_format::gridded, parts[0]);
  return 0;
}
