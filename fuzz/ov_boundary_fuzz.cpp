// The overland boundary table: the OVERLAND_BOUNDARY table of a mapping
// table file (the input's first part) with its index map (a.idx) and the
// run's time series (the third part, read as the TIME_SERIES_FILE card reads
// it), turned into boundary cells and their values as the grid set-up and
// the overland step do, on a 3 x 3 watershed with one cell outside.

#include <cstdint>

#include "core/error_state.h"
#include "run/model_state.h"
#include "fuzz_support.h"
#include "input/map_tables.h"
#include "input/series.h"
#include "surface/ov_boundary.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("ov_boundary", argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::reset_process_state();
  const auto parts = fuzz::split_parts(data, size, 3);
  fuzz::write_file("tables.cmt", parts[0]);
  fuzz::write_file("a.idx", parts[1]);
  fuzz::write_file("series.ts", parts[2]);

  model_state s;
  fuzz::small_grid(s.grid);
  input_state& in = s.input;
  project_settings& settings = in.settings;
  settings.ov_boundary = 1;
  settings.mapping_table_given = 1;
  settings.mapping_table = "tables.cmt";
  read_time_series_file(settings.ts_list, "series.ts");
  error_state = error_record{};
  in.map_table_present[table_kind::overland_boundary] = 1;

  read_ov_boundary_types(s);
  if (error_state.stop_flag) return 0;
  set_ov_boundary_values(s);
  return 0;
}
