// The special tables of the mapping table file that the generic reader does
// not serve: sediment classes, soil erosion, wells, wetlands and
// contaminants, with their index maps (the input's later parts, a.idx and
// b.idx), against a 3 x 3 watershed with one cell outside. The first byte
// picks the table.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "core/error_state.h"
#include "core/grid_state.h"
#include "fuzz_support.h"
#include "input/process_map_tables.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("process_tables", argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  fuzz::reset_process_state();
  fuzz::table_inputs inputs;
  fuzz::write_table_inputs(data, size, inputs);
  map_table_context& context = inputs.context;
  constexpr int cells = fuzz::table_inputs::cells;

  switch (data[0] % 5) {
    case 0: {
      sediment_classes classes;
      read_sediment_table("tables.cmt", classes);
      break;
    }
    case 1: {
      // The erosion table follows the sediment classes, as in a run.
      sediment_classes classes;
      read_sediment_table("tables.cmt", classes);
      if (error_state.stop_flag) break;
      std::array<std::vector<double>, 5> params;
      erosion_destinations out;
      for (int k = 0; k < 5; ++k) {
        params[k].assign(cells + 1, 0.0);
        out.params[k] = params[k];
      }
      std::vector<sed_fraction> fractions(std::size_t(cells + 1) * (classes.count + 1));
      out.sed_fract = fractions;
      const int result = read_erosion_table(context, out, classes.count);
      fuzz::require(result == 1 || fuzz::failure_reported(), "a refused erosion table without a code");
      break;
    }
    case 2: {
      std::vector<gw_well> wells;
      id_grid ids;
      const int result = read_well_table(context, wells, ids);
      fuzz::require(result == 1 || fuzz::failure_reported(), "a refused well table without a code");
      break;
    }
    case 3: {
      int wetlands = 0;
      std::vector<wetland_record> records;
      std::vector<int> wetland_mask(cells + 1, 0);
      const int result = read_wetland_table(context, wetlands, records, wetland_mask);
      fuzz::require(result == 1 || fuzz::failure_reported(), "a refused wetland table without a code");
      break;
    }
    default: {
      std::array<constituent_grid, 8> grids;
      std::array<constituent_grid*, 8> targets{};
      for (int m = 0; m < 8; ++m) targets[m] = &grids[m];
      contaminant_tables tables;
      read_contam_table(context, targets, tables);
      break;
    }
  }
  return 0;
}
