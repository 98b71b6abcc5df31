// Grid mapping tables: the table file (the input's first part) with the
// index maps it names (later parts, a.idx and b.idx), read for one table kind
// the way the grid set-up reads it, after the time-series index and the
// check report, against a 3 x 3 watershed with one cell outside.

#include <cstdint>
#include <span>
#include <vector>

#include "core/error_state.h"
#include "core/grid_state.h"
#include "fuzz_support.h"
#include "input/map_tables.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("map_tables", argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  fuzz::reset_process_state();
  fuzz::table_inputs inputs;
  fuzz::write_table_inputs(data, size, inputs);
  map_table_context& context = inputs.context;
  constexpr int cells = fuzz::table_inputs::cells;

  // The check report reads the file once per table kind: run it on one
  // input in eight (by length), so the fuzzer keeps its pace on the rest.
  if (size % 8 == 0) {
    std::vector<int> present(table_kind::last_table + 1, 0);
    check_map_tables("tables.cmt", present, false);
    if (error_state.stop_flag) return 0;
  }

  // Every kind of per-cell table goes through the one generic reader; the
  // first byte picks which, and how many of its columns are wanted.
  const int kind = 1 + data[0] % table_kind::last_table;
  const int per_row = table_values_per_row(kind);
  std::vector<std::vector<double>> columns(7);
  std::vector<std::span<double>> spans;
  for (int k = 0; k < per_row && k < 7; ++k) {
    if (data[0] & (0x80 >> k)) continue;  // a column the caller does not take
    columns[k].assign(cells + 1, 0.0);
    spans.emplace_back(columns[k]);
  }
  std::vector<double> precip_conc(4, 0.0);
  const int constituents = kind == table_kind::contaminants ? 3 : 0;
  const int result = read_map_table(context, kind, spans, constituents, precip_conc);
  fuzz::require(result == 1 || fuzz::failure_reported(), "a refused table without a code");
  return 0;
}
