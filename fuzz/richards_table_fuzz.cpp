// The soil table of the Richards columns, read by their set-up as a run
// reads it over a 3 x 3 watershed whose last cell lies outside: the table
// named by SOIL_LAYER_INPUT_FILE (the input's first part) with the soil-type
// map of SOIL_TYPE_MAP (the second part), Brooks-Corey soils with an even
// first byte and Havercamp soils with an odd one.

#include <cmath>
#include <cstdint>

#include "core/error_state.h"
#include "run/model_state.h"
#include "fuzz_support.h"
#include "soil/richards_soil.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("richards_table", argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  fuzz::reset_process_state();
  const auto parts = fuzz::split_parts(data + 1, size - 1, 2);
  fuzz::write_file("soils.tbl", parts[0]);
  fuzz::write_file("soils.asc", parts[1]);

  model_state s;
  fuzz::small_grid(s.grid);
  const int n = s.grid.cells;
  input_state& in = s.input;
  project_settings& settings = in.settings;
  in.inf_richards = 1;
  settings.richards_c_option = data[0] % 2 == 0 ? soil_family_brooks : soil_family_havercamp;
  settings.soil_type_map_given = 1;
  settings.soil_type_map = "soils.asc";
  settings.soil_layer_input_file_given = 1;
  settings.soil_layer_input_file = "soils.tbl";
  if (!in.files.soil_type.open("soils.asc", "r")) return 0;

  init_richards_soil(s);
  if (error_state.stop_flag) return 0;
  fuzz::require(!fuzz::failure_reported(), "columns set up with an error pending");
  // Every cell has a column of the record's length at most.
  const richards_soil& rs = s.soil.richards;
  fuzz::require(rs.numcells.size() == std::size_t(n) + 1, "per-cell node counts of the wrong size");
  for (int i = 1; i <= n; ++i)
    fuzz::require(rs.numcells[std::size_t(i)] >= 1 && rs.numcells[std::size_t(i)] + 2 <= rs.row,
                  "a column longer than the record's rows");
  return 0;
}
