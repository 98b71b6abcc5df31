// The soil-moisture hot start (READ_SM_HOTSTART), read by the grid set-up as
// a run reads it over a 3 x 3 watershed whose last cell lies outside, after
// the soil maps have sized the starting contents of the infiltration method
// the first byte picks: none, Green and Ampt, redistribution or layered. The
// rest of the input is the map.

#include <cmath>
#include <cstdint>
#include <string_view>

#include "core/error_state.h"
#include "run/model_state.h"
#include "fuzz_support.h"
#include "input/read_grid_inputs.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("sm_hotstart", argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  fuzz::reset_process_state();
  fuzz::write_file("moisture.asc",
                   std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));

  model_state s;
  grid_state& g = s.grid;
  fuzz::small_grid(g);
  const int n = g.cells;
  input_state& in = s.input;
  soil_state& soil = s.soil;
  const std::size_t slots = std::size_t(n) + 1;
  switch (data[0] % 4) {
    case 1:
      in.green_ampt = 1;
      soil.initial_theta.assign(slots, 0.2);
      soil.surface_moisture.assign(slots, 0.2);
      break;
    case 2:
      in.inf_redist = 1;
      for (auto* v : {&soil.initial_theta, &soil.surface_moisture, &soil.front_theta,
                      &soil.theta_out})
        v->assign(slots, 0.2);
      break;
    case 3:
      in.inf_layered_soil = 1;
      soil.surface_moisture.assign(slots, 0.2);
      soil.theta_ml.assign(slots, {0.0, 0.2, 0.25, 0.3});
      break;
    default:
      break;
  }
  project_settings& settings = in.settings;
  settings.read_sm_hotstart_given = 1;
  settings.read_sm_hotstart = "moisture.asc";
  if (!in.files.sm_hotstart.open("moisture.asc", "r")) return 0;

  read_soil_moisture_hotstart(s);
  if (error_state.stop_flag) return 0;
  fuzz::require(!fuzz::failure_reported(), "a hot start taken with an error pending");
  // Every starting content of the method holds the cell's value read.
  fuzz::require(soil.surface_moisture.size() == slots, "moisture array of the wrong size");
  for (int i = 1; i <= n; ++i) {
    const double theta = soil.surface_moisture[i];
    fuzz::require(std::isfinite(theta), "a moisture that is no finite number");
    const bool copied = (!in.green_ampt && !in.inf_redist) || soil.initial_theta[i] == theta;
    const bool fronts =
        !in.inf_redist || (soil.front_theta[i] == theta && soil.theta_out[i] == theta);
    const bool layers = !in.inf_layered_soil || soil.theta_ml[i][1] == theta;
    fuzz::require(copied && fronts && layers, "a starting content left behind");
  }
  return 0;
}
