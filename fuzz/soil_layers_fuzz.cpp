// The soil types of the layered method, read by the soil-map set-up as a
// run reads them over a 3 x 3 watershed whose last cell lies outside: with
// an even first byte the layered soil file (the input's first part) with the
// soil-type map of SOIL_TYPE_MAP (the second part); with an odd one the
// MULTI_LAYER_SOIL table of a mapping table file (the first part) with its
// index map (the second part, a.idx).

#include <cmath>
#include <cstdint>

#include "core/error_state.h"
#include "run/model_state.h"
#include "fuzz_support.h"
#include "input/read_grid_inputs.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("soil_layers", argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  fuzz::reset_process_state();
  const bool from_table = data[0] % 2 == 1;
  const auto parts = fuzz::split_parts(data + 1, size - 1, 2);

  model_state s;
  grid_state& g = s.grid;
  fuzz::small_grid(g);
  const int n = g.cells;
  input_state& in = s.input;
  project_settings& settings = in.settings;
  in.inf_layered_soil = 1;
  if (from_table) {
    fuzz::write_file("tables.cmt", parts[0]);
    fuzz::write_file("a.idx", parts[1]);
    settings.mapping_table_given = 1;
    settings.mapping_table = "tables.cmt";
  } else {
    fuzz::write_file("layers.txt", parts[0]);
    fuzz::write_file("soils.asc", parts[1]);
    settings.soil_type_map_given = 1;
    settings.soil_type_map = "soils.asc";
    settings.soil_layer_input_file_given = 1;
    settings.soil_layer_input_file = "layers.txt";
    if (!in.files.soil_type.open("soils.asc", "r")) return 0;
  }

  read_soil_maps(s);
  if (error_state.stop_flag) return 0;
  fuzz::require(!fuzz::failure_reported(), "soil layers taken with an error pending");
  // Every cell must point at a soil type that was read.
  const soil_state& soil = s.soil;
  const int types = static_cast<int>(soil.soil_types.size()) - 1;
  const std::size_t slots = std::size_t(n) + 1;
  fuzz::require(soil.soiltype.size() == slots && soil.theta_ml.size() == slots,
                "per-cell soil arrays of the wrong size");
  for (int i = 1; i <= n; ++i)
    fuzz::require(soil.soiltype[i] >= 1 && soil.soiltype[i] <= types,
                  "a cell left without a soil type read");
  // Every value taken is a finite number.
  for (int k = 1; k <= types; ++k) {
    const soil_type_record& t = soil.soil_types[k];
    bool finite = std::isfinite(t.d1) && std::isfinite(t.d2);
    for (int layer = 1; layer <= 3; ++layer)
      for (const auto* v : {&t.k, &t.lambda, &t.psi, &t.phi, &t.fc, &t.wp, &t.thr, &t.thi})
        finite = finite && std::isfinite((*v)[layer]);
    fuzz::require(finite, "a soil type value that is no finite number");
  }
  return 0;
}
