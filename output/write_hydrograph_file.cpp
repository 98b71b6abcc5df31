// The interface hydrograph file. Its readers expect exactly rows values per
// hydrograph, so an outlet file that ends early leaves its values out but
// keeps the line breaks counted, and a short location file reads as zeros.

#include "output/write_hydrograph_file.h"

#include <cstdio>
#include <new>
#include <vector>

#include "core/text_io.h"

namespace {

// A blank after each value, a line break after every tenth.
void write_value(std::FILE* out, double value, long i) {
  std::fprintf(out, "%11.4lf", value);
  std::fputc(i % 10 == 0 ? '\n' : ' ', out);
}

}  // namespace

void write_hydrograph_file(std::FILE* outlet, std::FILE* out, std::FILE* locations,
                           long start_date, long start_time, long interval, long rows) {
  std::vector<char> line(max_line);
  std::fputs("MERIDAN_TPG_HYDROGRAPH_FILE\n", out);
  int count = 0;  // stream locations
  if (locations != nullptr && read_line(locations, line.data())) next_int(line.data(), count);
  if (count < 0) count = 0;
  std::fprintf(out, "%ld\n%ld\n%ld\n%ld\n%ld\n", long(count), start_date, start_time, interval,
               rows);
  for (int j = 0; j < count; ++j) {
    read_line(locations, line.data());
    std::fprintf(out, "%s\n", line.data());
  }

  for (long i = 1; i <= rows; ++i) {
    if (std::feof(outlet) || !read_line(outlet, line.data())) continue;
    double time = 0.0, q = 0.0;  // minutes (not written), m3/s or cfs
    next_double(line.data(), time);
    next_double(line.data(), q);
    write_value(out, q, i);
  }
  if (count == 0 || rows <= 0) return;

  std::vector<double> table;  // [k][j]: row k of location j
  try {
    table.assign(std::size_t(rows) * std::size_t(count), 0.0);
  } catch (const std::bad_alloc&) {
    std::printf("Error allocating memory for variable %s\n", "hydro_table");
    return;
  }
  for (long k = 0; k < rows; ++k) {
    if (!read_line(locations, line.data())) line[0] = '\0';
    double time = 0.0;
    next_double(line.data(), time);
    for (int j = 0; j < count; ++j) next_double(line.data(), table[std::size_t(k) * count + j]);
  }
  for (int j = 0; j < count; ++j) {
    std::fputc('\n', out);
    for (long k = 1; k <= rows; ++k) write_value(out, table[std::size_t(k - 1) * count + j], k);
  }
}
