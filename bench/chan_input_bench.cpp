// Channel input reading: a generated network of 5000 links of 20 points (a
// binary tree), three quarters trapezoid links and one quarter break-point
// links with one cross-section of 1000 levels, and its grid-stream file,
// read as the channel set-up reads them. Prints the set-up time and the
// peak memory of the process.

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench_support.h"
#include "channel/read_chan_input.h"
#include "core/error_state.h"
#include "core/parallel_context.h"
#include "run/model_state.h"
#include "core/text_io.h"

namespace {

constexpr int links = 5000;
constexpr int points = 20;
constexpr int levels = 1000;

// Link l drains into l / 2 (link 1 is the outlet); the outlet must be the
// last link, so link numbers are reversed: file link = links + 1 - l.
int file_link(int l) { return links + 1 - l; }

bool write_network(const std::string& chan_path, const std::string& gst_path) {
  std::FILE* f = std::fopen(chan_path.c_str(), "w");
  if (!f) return false;
  std::fprintf(f, "VALTO_CHAN\nALPHA 1\nBETA 1\nTHETA 1\nLINKS %d\nMAXNODES %d\n", links, points);
  for (int l = 1; l <= links; ++l) {
    int ups[2], n = 0;
    for (int u : {2 * l, 2 * l + 1})
      if (u <= links) ups[n++] = file_link(u);
    std::fprintf(f, "CONNECT %d %d %d", file_link(l), l == 1 ? 0 : file_link(l / 2), n);
    for (int k = 0; k < n; ++k) std::fprintf(f, " %d", ups[k]);
    std::fputc('\n', f);
  }
  for (int fl = 1; fl <= links; ++fl) {
    const bool bp = fl % 4 == 0;
    std::fprintf(f, "LINK %d\nNODES %d\n%s\nDX 100\nMANNINGS_N 0.035\n", fl, points,
                 bp ? "BREAKPOINT" : "TRAPEZOID");
    for (int j = 1; j <= points; ++j) {
      std::fprintf(f, "NODE %d\nELEV %.2f\n", j, 100.0 + fl * 0.01 - j * 0.1);
      if (!bp && j == 1) std::fprintf(f, "XSEC\nBOTTOM_WIDTH 2\nBANKFULL_DEPTH 3\nSIDE_SLOPE 1\n");
      if (bp && j == 1) {
        std::fprintf(f, "NPAIRS 5\nNUM_INTERP %d\n", levels);
        const double w = 4.0;
        std::fprintf(f, "X1 0 3\nX1 %.1f 1\nX1 %.1f 0\nX1 %.1f 1\nX1 %.1f 3\n", w, 2 * w, 3 * w,
                     4 * w);
      }
    }
  }
  std::fclose(f);

  // One stream cell per node: link l's nodes in row l, columns 1..19.
  std::FILE* g = std::fopen(gst_path.c_str(), "w");
  if (!g) return false;
  std::fprintf(g, "GRIDSTREAMFILE\nSTREAMCELLS %d\n", links * (points - 1));
  for (int fl = 1; fl <= links; ++fl)
    for (int j = 1; j < points; ++j)
      std::fprintf(g, "CELLIJ %d %d\nNUMNODES 1\nLINKNODE %d %d 1.0\n", fl, j, fl, j);
  std::fclose(g);
  return true;
}

}  // namespace

int main(int, char** argv) {
  settle_thread_waits(argv);
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("valto_chan_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string chan_path = (dir / "net.chan").string();
  const std::string gst_path = (dir / "net.gst").string();
  if (!write_network(chan_path, gst_path)) {
    std::fprintf(stderr, "cannot write the bench files in %s\n", dir.c_str());
    return 1;
  }
  quiet_flag = 1;  // the reader's notices would swamp the timing

  double best = 1e30;
  int tables = 0;
  for (int repeat = 0; repeat < 3; ++repeat) {
    auto state = std::make_unique<model_state>();
    state->input.explicit_channel = 1;
    state->input.super_quiet = 1;
    grid_state& grid = state->grid;
    grid.rows = links;
    grid.cols = points;
    grid.dx = 100.0;
    grid.mask.allocate_grid(grid.rows, grid.cols);
    for (int r = 1; r <= grid.rows; ++r)
      for (int c = 1; c <= grid.cols; ++c) grid.mask[r][c] = ++grid.cells;
    grid.elevation.assign(std::size_t(grid.cells) + 1, 200.0);
    if (!state->input.files.channel_input.open(chan_path.c_str(), "r") ||
        !state->input.files.stream_cell.open(gst_path.c_str(), "r")) {
      std::fprintf(stderr, "cannot open the bench files\n");
      return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    read_chan_input(*state);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (error_state.stop_flag) {
      std::fprintf(stderr, "the bench network was refused\n");
      return 1;
    }
    best = std::min(best, seconds);
    tables = state->channel.tables;
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("channel input: %d links x %d points, %d break-point tables of %d levels\n", links,
              points, tables, levels);
  std::printf("  set-up time (best of 3): %.3f s\n", best);
  bench::table_row("channel input set-up", best, "s", "read once a run");
  std::printf("  peak memory of the process: %.1f MB\n", usage.ru_maxrss / 1024.0);
  std::filesystem::remove_all(dir);
  return 0;
}
