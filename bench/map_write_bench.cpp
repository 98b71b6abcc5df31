// Map writing speed: a 2000 x 2000 grid whose watershed has ragged edges
// (each row starts and ends at its own column), written as an ASCII grid,
// an ASCII dataset record and a binary dataset record, best of three each.
// ASCII forms are reported in values per second, the binary record in MB/s.

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "core/parallel_context.h"
#include "output/map_formats.h"

namespace {

constexpr int rows = 2000;
constexpr int cols = 2000;

template <class Write>
double best_of_three(const std::string& path, Write write, long& bytes) {
  double best = 1e30;
  for (int repeat = 0; repeat < 3; ++repeat) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return -1.0;
    const auto start = std::chrono::steady_clock::now();
    write(f);
    std::fflush(f);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    bytes = std::ftell(f);
    std::fclose(f);
    if (seconds < best) best = seconds;
  }
  return best;
}

}  // namespace

int main(int, char** argv) {
  settle_thread_waits(argv);
  std::vector<int> cells(std::size_t(rows + 2) * (cols + 2), 0);
  std::vector<int*> mask(rows + 2);
  int n = 0;
  for (int r = 0; r <= rows + 1; ++r) {
    mask[r] = cells.data() + std::size_t(r) * (cols + 2);
    if (r < 1 || r > rows) continue;
    const int first = 1 + (r * 37) % 200;
    const int last = cols - (r * 53) % 250;
    for (int c = first; c <= last; ++c) mask[r][c] = ++n;
  }
  std::vector<double> values(std::size_t(n) + 1);
  for (int k = 1; k <= n; ++k) values[k] = 0.5 + 0.25 * std::sin(k * 0.001);

  map_grid grid;
  grid.mask = mask.data();
  grid.rows = rows;
  grid.cols = cols;
  grid.north = rows * 30.0;
  grid.east = cols * 30.0;
  grid.cell_size = 30.0;

  const std::string path =
      (std::filesystem::temp_directory_path() / ("map_write_bench." + std::to_string(getpid())))
          .string();
  const double total = double(rows) * cols;
  long bytes = 0;

  const double grid_s =
      best_of_three(path, [&](std::FILE* f) { write_ascii_grid(f, grid, values.data()); }, bytes);
  std::printf("ascii grid:     %6.3f s  %7.2f M values/s  (%ld bytes)\n", grid_s,
              total / grid_s / 1e6, bytes);
  // A record writes a flag and a value per cell.
  const double record_s = best_of_three(
      path, [&](std::FILE* f) { write_dataset_record(f, 60.0, grid, values.data(), false); },
      bytes);
  std::printf("ascii record:   %6.3f s  %7.2f M values/s  (%ld bytes)\n", record_s,
              total / record_s / 1e6, bytes);
  const double binary_s = best_of_three(
      path, [&](std::FILE* f) { write_dataset_record(f, 60.0, grid, values.data(), true); },
      bytes);
  std::printf("binary record:  %6.3f s  %7.2f MB/s  %7.2f M values/s  (%ld bytes)\n", binary_s,
              bytes / binary_s / 1e6, total / binary_s / 1e6, bytes);
  bench::table_row("ascii grid map write", total / grid_s, "values/s", "disk and number formatting");
  bench::table_row("binary dataset record write", bytes / binary_s / 1e6, "MB/s", "disk bandwidth");
  std::filesystem::remove(path);
  return grid_s > 0 && record_s > 0 && binary_s > 0 ? 0 : 1;
}
