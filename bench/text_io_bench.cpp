// Tokenising speed: a large numeric text read line by line with read_line
// and taken apart with next_double, as the table and series readers do.

#include <chrono>
#include <cstdio>
#include <vector>

#include "bench_support.h"
#include "core/parallel_context.h"
#include "core/text_io.h"

int main(int, char** argv) {
  settle_thread_waits(argv);
  const int lines = 400000;
  const int values_per_line = 12;
  std::FILE* f = std::tmpfile();
  if (f == nullptr) {
    std::printf("text_io_bench: no temporary file\n");
    return 1;
  }
  for (int i = 0; i < lines; ++i) {
    for (int k = 0; k < values_per_line; ++k)
      std::fprintf(f, "%s%.6f", k == 0 ? "" : (k % 3 == 0 ? ",\t" : " "), i * 0.001 + k * 1.5);
    std::fputc('\n', f);
  }
  long bytes = std::ftell(f);

  std::vector<char> line(max_line);
  double best = 1e30;
  double checksum = 0.0;
  long values = 0;
  for (int repeat = 0; repeat < 3; ++repeat) {
    std::rewind(f);
    checksum = 0.0;
    values = 0;
    int read = 0;
    auto start = std::chrono::steady_clock::now();
    while (read_line(f, line.data())) {
      ++read;
      double v;
      while (next_double(line.data(), v)) {
        checksum += v;
        ++values;
      }
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (read != lines) {
      std::printf("text_io_bench: read %d lines of %d\n", read, lines);
      return 1;
    }
    if (seconds < best) best = seconds;
  }
  std::fclose(f);
  std::printf("tokenising %d lines of %d values (%.1f MB), best of 3: %.3f s\n", lines,
              values_per_line, bytes / 1e6, best);
  std::printf("  %.0f lines/s, %.0f values/s, %.1f MB/s (checksum %.6g over %ld values)\n",
              lines / best, values / best, bytes / 1e6 / best, checksum, values);
  bench::table_row("text tokenising", bytes / 1e6 / best, "MB/s", "disk read speed");
  return 0;
}
