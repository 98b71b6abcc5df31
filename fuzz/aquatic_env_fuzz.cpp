// The aquatic environment file, read as the nutrient set-up reads it up to
// its overland map: header, map names, NUM_IDS and the entries.

#include <cstdint>
#include <string>

#include "core/safe_file.h"
#include "fuzz_support.h"
#include "quality/nsm_model.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("aquatic_env", argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path =
      fuzz::write_file("aq.env", std::string_view(reinterpret_cast<const char*>(data), size));
  fuzz::reset_process_state();
  safe_file file;
  if (!file.open(path.c_str(), "r")) return 0;
  aquatic_env env;
  env.file_name = path;
  const bool read = read_aquatic_env_file(env, file);
  file.close();
  fuzz::require(read != fuzz::failure_reported(),
                "an aquatic environment result that hides its code");
  if (!read) return 0;
  fuzz::require(env.num_ids >= 0 && env.num_ids <= max_aquatic_env_ids, "a count out of range");
  fuzz::require(env.table.size() == std::size_t(env.num_ids) + 1, "a table without room");
  return 0;
}
