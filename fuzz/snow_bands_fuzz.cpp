// The elevation bands file of the snow melt parameters, read by the
// parameter set-up as a run reads it (NWSRFS_SNOW with NWSRFS_ELEV_SNOW)
// over eight cells whose elevations sit on, between and beyond common band
// bounds. The whole input is the file.

#include <cmath>
#include <cstdint>
#include <string_view>

#include "fuzz_support.h"
#include "input/project_settings.h"
#include "soil/snow_bands.h"
#include "soil/snow_melt.h"

namespace {

constexpr int cells = 8;
constexpr double elevation[cells + 1] = {0.0, -5.0, 0.0, 150.0, 200.0, 1500.0, 2999.5, 1e8, 1e9};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("snow_bands", argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::reset_process_state();
  const std::string path =
      fuzz::write_file("bands.txt", std::string_view(reinterpret_cast<const char*>(data), size));
  project_settings settings;
  settings.nwsrfs_snow = 1;
  settings.nwsrfs_elev_snow_given = 1;
  settings.nwsrfs_elev_snow = path;
  snow_state snow;
  fuzz::require(alloc_snow_cells(snow, cells), "no snow arrays for eight cells");

  const bool ok = set_snow_params(settings, cells, elevation, snow);
  fuzz::require(ok != fuzz::failure_reported(), "success and failure reported together");
  if (!ok) return 0;
  // Every cell holds four finite parameters and a correction factor that
  // the rain may be divided by.
  for (int i = 1; i <= cells; ++i) {
    fuzz::require(std::isfinite(snow.mf_max[i]) && std::isfinite(snow.mf_min[i]) &&
                      std::isfinite(snow.fr_use[i]) && std::isfinite(snow.scf[i]),
                  "a melt parameter that is no finite number");
    fuzz::require(snow.scf[i] > 0.0, "a snow correction factor not above 0");
  }
  return 0;
}
