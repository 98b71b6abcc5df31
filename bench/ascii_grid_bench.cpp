// ASCII grid reading speed: a 2000 x 2000 map of reals and an index map of
// the same size, every cell active, read with read_ascii_map as the grid
// set-up reads its maps.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "core/error_state.h"
#include "core/grid_state.h"
#include "core/parallel_context.h"
#include "core/safe_file.h"
#include "input/ascii_grid.h"

namespace {

constexpr int rows = 2000;
constexpr int cols = 2000;
constexpr int index_ids = 5;  // ids 1..5, so the category lines stay few

bool write_map(const std::string& path, bool reals) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) return false;
  std::fprintf(f, "north: %d\nsouth: 0\neast: %d\nwest: 0\nrows: %d\ncols: %d\n", rows * 30,
               cols * 30, rows, cols);
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= cols; ++c) {
      if (reals)
        std::fprintf(f, "%.3f ", 250.0 + 0.013 * r - 0.007 * c);
      else
        std::fprintf(f, "%d ", 1 + (r * 7 + c) % index_ids);
    }
    std::fputc('\n', f);
  }
  std::fclose(f);
  return true;
}

// Best time of three reads, s; false when a read failed.
bool time_reads(const std::string& path, int kind, int** mask, double& best, double& checksum) {
  std::vector<double> values(std::size_t(rows) * cols + 1);
  std::vector<int> ids(std::size_t(rows) * cols + 1);
  best = 1e30;
  for (int repeat = 0; repeat < 3; ++repeat) {
    safe_file file;
    if (!file.open(path.c_str(), "r")) return false;
    map_header header;
    const auto start = std::chrono::steady_clock::now();
    read_ascii_map(file, std::filesystem::path(path).filename().c_str(), kind, header, mask, values,
                   {}, ids, rows, cols);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (error_state.stop_flag) return false;
    if (seconds < best) best = seconds;
  }
  checksum = 0.0;
  for (std::size_t k = 1; k < values.size(); ++k) checksum += values[k] + ids[k];
  return true;
}

}  // namespace

int main(int, char** argv) {
  settle_thread_waits(argv);
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("ascii_grid_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string real_path = (dir / "real.asc").string();
  const std::string index_path = (dir / "index.asc").string();
  if (!write_map(real_path, true) || !write_map(index_path, false)) {
    std::printf("ascii_grid_bench: cannot write the maps in %s\n", dir.c_str());
    return 1;
  }

  block_2d<int> mask;
  mask.allocate_grid(rows, cols);
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) mask[r][c] = 1;

  int status = 0;
  const struct {
    const char* label;
    const std::string& path;
    int kind;
  } maps[] = {{"real map", real_path, real_map}, {"index map", index_path, index_map}};
  for (const auto& m : maps) {
    double best = 0.0;
    double checksum = 0.0;
    if (!time_reads(m.path, m.kind, mask.table(), best, checksum)) {
      std::printf("ascii_grid_bench: reading the %s failed\n", m.label);
      status = 1;
      break;
    }
    const double mb = std::filesystem::file_size(m.path) / 1e6;
    std::printf(
        "%s %d x %d (%.1f MB), best of 3: %.3f s, %.1f MB/s, %.1f Mvalues/s (checksum %.6g)\n",
        m.label, rows, cols, mb, best, mb / best, rows * double(cols) / best / 1e6, checksum);
    char what[64];
    std::snprintf(what, sizeof what, "ascii %s read", m.label);
    bench::table_row(what, mb / best, "MB/s", "disk read speed");
  }
  std::filesystem::remove_all(dir);
  return status;
}
