// The SAMSON hourly file: two header lines, then fixed columns per hour, read as a long-term run reads it: the set-up pass, then every
// hour it counted, with orographic temperatures over the harnesses' grid.

#include <cstdint>
#include <string_view>

#include "fuzz_support.h"
#include "hmet_fuzz_run.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("hmet_samson", argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::reset_process_state();
  hmet_fuzz::run(hmet_format::samson, std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
