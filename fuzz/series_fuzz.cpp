// The time-series and elevation-series files, and the multi-column series
// block of the XY inputs; every series read is then looked up across its
// range, as the steps look it up. The first byte gives the block's columns.

#include <cstdint>
#include <cstdio>

#include "core/error_state.h"
#include "fuzz_support.h"
#include "input/series.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("series", argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  fuzz::reset_process_state();
  const std::string path =
      fuzz::write_file("s.txt", std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));

  time_series_list ts;
  read_time_series_file(ts, path.c_str());
  shift_relative_series(ts, 2451545.0);
  error_state = error_record{};
  for (const auto& s : ts) {
    if (s->entries() == 0) continue;
    const double first = s->time.front(), last = s->time.back();
    for (double t : {first - 1.0, first, 0.5 * (first + last), last, last + 1.0})
      ts_value(t, s.get());
  }

  elev_series_list es;
  error_state = error_record{};
  es_read_file(es, path.c_str());
  for (const auto& s : es) {
    if (s->entries() == 0) continue;
    const double low = s->elevation.front(), high = s->elevation.back();
    for (double z : {low - 1.0, low, 0.5 * (low + high), high, high + 1.0}) {
      es_value(z, s.get());
      es_step_value(z, s.get());
    }
  }

  error_state = error_record{};
  std::FILE* stream = std::fopen(path.c_str(), "r");
  if (!stream) return 0;
  text_source source{stream, path.c_str(), 0};
  time_series_list block;
  const int columns = data[0] % 6;
  time_series* first = ts_read_block(block, source, columns, "POINT");
  std::fclose(stream);
  fuzz::require(first != nullptr || columns < 1 || fuzz::failure_reported(),
                "a refused block without a code");
  return 0;
}
