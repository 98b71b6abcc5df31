#pragma once
// What the benchmarks share: the check that two thread counts left the same
// numbers, bit for bit, the tilted plane they run on, the best-of-trials
// timing, the memory-bandwidth bound a hot loop is held against and the rows
// `make bench` gathers for it, and a run of the real driver in a folder of
// its own with its console kept quiet.

#include <omp.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "run/model_state.h"
#include "run/run_loop.h"
#include "surface/cell_connectivity.h"

namespace bench {

// One row of the table `make bench` gathers from every benchmark's output:
// what is measured, the figure, its unit, and what to hold it against (the
// memory-bandwidth bound, an operation count or the figure it must beat).
inline void table_row(const char* what, double figure, const char* unit, const char* reference) {
  std::printf("table\t%s\t%.4g\t%s\t%s\n", what, figure, unit, reference);
}

inline bool same(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// Wall time of one call of f, s.
template <class F>
double seconds_of(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The STREAM triad a = b + 3 c over n doubles an array on the given number
// of threads, best of trials, GB/s: 24 bytes an element, the write
// allocation not counted. The arrays are first touched by the same static
// split that uses them.
inline double triad_gb_s(int threads, long n, int trials) {
  omp_set_num_threads(threads);
  std::unique_ptr<double[]> a(new double[n]), b(new double[n]), c(new double[n]);
  double* pa = a.get();
  double* pb = b.get();
  double* pc = c.get();
#pragma omp parallel for schedule(static)
  for (long i = 0; i < n; ++i) {
    pa[i] = 0.0;
    pb[i] = 1.0;
    pc[i] = 2.0;
  }
  double best = 1e30;
  for (int t = 0; t < trials; ++t) {
    best = std::min(best, seconds_of([&] {
#pragma omp parallel for schedule(static)
      for (long i = 0; i < n; ++i) pa[i] = pb[i] + 3.0 * pc[i];
    }));
  }
  return pa[n / 2] == 7.0 ? 24.0 * n / best / 1e9 : 0.0;
}

// The triad bandwidth at 1 or 8 threads, GB/s: the figure `make bench` had
// the triad benchmark measure first (VALTO_TRIAD_GB_S_1 and _8 in the
// environment), so that every loop is held against the same bound; a bench
// run alone measures a shorter triad of its own.
inline double triad_bound(int threads) {
  const std::string name = "VALTO_TRIAD_GB_S_" + std::to_string(threads);
  if (const char* given = std::getenv(name.c_str())) {
    const double v = std::atof(given);
    if (v > 0.0) return v;
  }
  return triad_gb_s(threads, 1L << 23, 3);
}

// What a hot loop's rows say: its throughput at 1 and 8 threads in items a
// second, the bytes one item moves to and from memory (counted from the
// code, beside each bench), and whether both thread counts left the same
// numbers bit for bit.
struct loop_figures {
  const char* loop;        // e.g. "ADE overland, 1000 x 1000"
  const char* unit;        // items a second, e.g. "cell sub-steps/s"
  double bytes = 0.0;      // B an item
  double bytes_eight = 0.0;  // B an item on 8 threads where a team takes another path, else 0
  double one = 0.0;        // items/s on 1 thread
  double eight = 0.0;      // items/s on 8 threads
  bool identical = false;  // results bit-identical at 1 and 8 threads
  const char* aim_one = nullptr;    // a figure the loop must reach, or null
  const char* aim_eight = nullptr;
};

// Prints the loop's lines and its rows of the table: the throughput at each
// thread count against its bound (triad GB/s / bytes an item) and the
// fraction of the bound reached, the bytes an item, and the speed-up 1 -> 8
// with the bit-for-bit check. The triad figures are taken once.
inline void loop_rows(const loop_figures& f) {
  static const double triad[2] = {triad_bound(1), triad_bound(8)};
  const double rates[2] = {f.one, f.eight};
  const char* aims[2] = {f.aim_one, f.aim_eight};
  const int threads[2] = {1, 8};
  char what[160];
  char reference[200];
  const double bytes[2] = {f.bytes, f.bytes_eight > 0.0 ? f.bytes_eight : f.bytes};
  for (int k = 0; k < 2; ++k) {
    const double bound = triad[k] * 1e9 / bytes[k];
    std::printf("%s, %d thread%s: %.3e %s, bound %.3e (%.1f GB/s / %.0f B), %.2f of it\n", f.loop,
                threads[k], k == 0 ? "" : "s", rates[k], f.unit, bound, triad[k], bytes[k],
                rates[k] / bound);
    std::snprintf(what, sizeof what, "%s, %d thread%s", f.loop, threads[k], k == 0 ? "" : "s");
    std::snprintf(reference, sizeof reference, "bound %.3g: %.2f of it%s%s", bound,
                  rates[k] / bound, aims[k] ? "; aim " : "", aims[k] ? aims[k] : "");
    table_row(what, rates[k], f.unit, reference);
  }
  std::snprintf(what, sizeof what, "%s, bytes an item", f.loop);
  table_row(what, f.bytes, "B", "counted from the code");
  if (bytes[1] != bytes[0]) {
    std::snprintf(what, sizeof what, "%s, bytes an item, 8 threads", f.loop);
    table_row(what, bytes[1], "B", "counted from the code: a team's path");
  }
  const double speed_up = f.one > 0.0 ? f.eight / f.one : 0.0;
  std::printf("%s: speed-up 1 -> 8 %.2f, results %s at 1 and 8 threads\n", f.loop, speed_up,
              f.identical ? "bit-identical" : "DIFFER");
  std::snprintf(what, sizeof what, "%s, speed-up 1 -> 8", f.loop);
  table_row(what, speed_up, "x",
            f.identical ? "results bit-identical at 1 and 8 threads"
                        : "RESULTS DIFFER at 1 and 8 threads");
}

// The machine's load average over 1, 5 and 15 minutes as the kernel tells
// it, for the lines that print a figure: a figure taken on a busy machine
// says less about the code than about the machine.
inline std::string load_average() {
  std::FILE* f = std::fopen("/proc/loadavg", "r");
  double one = 0.0, five = 0.0, fifteen = 0.0;
  const bool read = f != nullptr && std::fscanf(f, "%lf %lf %lf", &one, &five, &fifteen) == 3;
  if (f != nullptr) std::fclose(f);
  if (!read) return "load average unknown";
  char text[64];
  std::snprintf(text, sizeof text, "load average %.2f %.2f %.2f", one, five, fifteen);
  return text;
}

// A rows x cols plane of dx cells falling 2 % to the south and 1 % to the
// east, to the outlet in its south-east corner, under 2 cm of water.
inline std::unique_ptr<model_state> tilted_plane(int rows, int cols, double dx) {
  auto s = std::make_unique<model_state>();
  grid_state& g = s->grid;
  g.rows = rows;
  g.cols = cols;
  g.dx = dx;
  g.mask.allocate_grid(rows, cols);
  const int n = rows * cols;
  g.cells = n;
  g.elevation.assign(n + 1, 0.0);
  int i = 0;
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= cols; ++c) {
      g.mask[r][c] = ++i;
      g.elevation[i] = 0.02 * dx * (rows - r) + 0.01 * dx * (cols - c);
    }
  }
  g.outlet_row = rows;
  g.outlet_col = cols;
  g.outlet_cell = n;
  g.outlet_slope = 0.01;
  for (std::vector<int>* table : {&g.rightcon, &g.belowcon, &g.leftcon, &g.abovecon})
    table->assign(n + 1, 0);
  build_neighbor_tables(rows, cols, g.rightcon, g.belowcon, g.abovecon, g.leftcon, g.mask.table());
  s->surface.depth.assign(n + 1, 0.02);
  s->surface.depth[0] = 0.0;
  return s;
}

// An ASCII grid file of rows x cols cells of dx (m), the values row by row
// from the north, as the project reader takes its maps.
inline void write_grid(const std::filesystem::path& file, int rows, int cols, double dx,
                       const std::vector<double>& values) {
  FILE* f = std::fopen(file.c_str(), "w");
  if (f == nullptr) return;
  std::fprintf(f, "north: %.6f\nsouth: 0\neast: %.6f\nwest: 0\nrows: %d\ncols: %d\n", rows * dx,
               cols * dx, rows, cols);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) std::fprintf(f, "%.10g ", values[std::size_t(r) * cols + c]);
    std::fputc('\n', f);
  }
  std::fclose(f);
}

// A folder of the system's temporary directory for one benchmark process.
inline std::filesystem::path scratch_folder(const char* name) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / (std::string(name) + "_" + std::to_string(getpid()));
  fs::create_directories(dir);
  return dir;
}

// Runs the project file of folder dir by the driver with the given lists,
// from inside that folder and with standard output thrown away, as the
// user's run would write its files there; returns the run's exit status.
inline int run_quietly(const std::filesystem::path& dir, const char* project,
                       const run_lists& lists) {
  namespace fs = std::filesystem;
  const fs::path old = fs::current_path();
  fs::current_path(dir);
  std::fflush(stdout);
  const int saved = dup(1);
  FILE* sink = std::fopen("/dev/null", "w");
  if (sink != nullptr) dup2(fileno(sink), 1);
  const int status = run_model(project, nullptr, lists);
  std::fflush(stdout);
  dup2(saved, 1);
  close(saved);
  if (sink != nullptr) std::fclose(sink);
  fs::current_path(old);
  return status;
}

}  // namespace bench
