#pragma once
// Small pipe networks for the superlink tests, read from text through the
// network reader over a strip of 1 x 3 cells.

#include <cstdio>
#include <string>
#include <vector>

#include "core/error_state.h"
#include "core/grid_state.h"
#include "core/safe_file.h"
#include "subsurface/read_superlink_input.h"
#include "subsurface/superlink_state.h"
#include "../surface/surface_run_fixture.h"
#include "test_support.h"

namespace superlink_fixture {

// A mapping-table row: the id in columns 1-6, the description up to
// column 86, the values after it.
inline std::string table_row(const char* id, const char* description, const char* values) {
  char text[200];
  std::snprintf(text, sizeof text, "%-6s%-80s%s\n", id, description, values);
  return text;
}

// The 1 x 3 strip of 10 m cells of the whole-run tests: ground 10, 11 and
// 9.5 m, cell 1 holding its water at 10.1 m by an overland boundary.
inline void write_strip_grids(const test_support::temp_dir& dir) {
  using surface_fixture::ascii_grid;
  dir.write("mask.asc", ascii_grid(1, 3, 10.0, {1, 1, 1}));
  dir.write("elevation.asc", ascii_grid(1, 3, 10.0, {10.0, 11.0, 9.5}));
  dir.write("bdy.idx", ascii_grid(1, 3, 10.0, {2, 1, 1}));
  dir.write("tables.cmt",
            std::string("VALTO_INDEX_MAP_TABLES\nINDEX_MAP bdy.idx bdy\n\n"
                        "OVERLAND_BOUNDARY bdy\nNUM_IDS 2\n") +
                table_row("ID", "DESCRIPTION", "TYPE  VALUE") +
                table_row("1", "No boundary", "0  0") +
                table_row("2", "Fixed level 10.1 m", "2  10.1"));
}

// A full pipe between two fixed heads: junctions at 52.0 and 50.5 m, a
// 0.8 m pipe of n 0.012 falling from 50.4 to 49.6 m over 400 m, laid as the
// given number of equal input pipes.
inline std::string fixed_head_network(int pipes) {
  std::string t =
      "SJUNC 1 60.0 52.0 1.0 11 1 1 0.0 0.0\n"
      "SJUNC 2 60.0 50.5 1.0 11 1 3 0.0 0.0\n"
      "CONNECT 1 1 2\n"
      "SLINK 1 " + std::to_string(pipes) + "\n";
  for (int i = 1; i <= pipes + 1; ++i) {
    const double invert = 50.4 - 0.8 * (i - 1) / pipes;
    t += "NODE " + std::to_string(i) + " 60.0 " + std::to_string(invert) + " 0.0 0 1 " +
         (i == 1 ? "1" : i == pipes + 1 ? "3" : "2") + " 0.0 0.0\n";
  }
  for (int i = 1; i <= pipes; ++i)
    t += "PIPE " + std::to_string(i) + " 1 0.8 0.0 0.002 0.012 " + std::to_string(400.0 / pipes) +
         " 0.0 0.0\n";
  return t;
}

// n junctions in a chain, or n parallel superlinks, or one superlink of n pipes.
inline std::string chain(int junctions, int parallel, int pipes) {
  std::string t;
  for (int j = 1; j <= junctions; ++j)
    t += "SJUNC " + std::to_string(j) + " 60 50 1 0 1 " + std::to_string(1 + j % 3) + " 0 0\n";
  int k = 0;
  auto link = [&](int us, int ds, int n) {
    ++k;
    t += "CONNECT " + std::to_string(k) + " " + std::to_string(us) + " " + std::to_string(ds) + "\n";
    t += "SLINK " + std::to_string(k) + " " + std::to_string(n) + "\n";
    for (int i = 1; i <= n + 1; ++i) t += "NODE " + std::to_string(i) + " 60 50 0 0 0 0 0 0\n";
    for (int i = 1; i <= n; ++i) t += "PIPE " + std::to_string(i) + " 1 0.5 0 0.001 0.013 20 0 0\n";
  };
  for (int j = 1; j < junctions; ++j) link(j, j + 1, 1);
  for (int p = 1; p < parallel; ++p) link(1, 2, 1);
  if (pipes > 1) link(1, 2, pipes);
  return t;
}

// The strip's cell numbers: row 1, columns 1..3 are cells 1..3.
struct strip {
  block_2d<int> mask;
  strip() {
    mask.allocate_grid(1, 3);
    for (int c = 1; c <= 3; ++c) mask[1][c] = c;
  }
};

// Reads network text (and grid-pipe text when given) into net; the
// reader's result. Console output is swallowed into `said`.
inline int read_network(const std::string& text, superlink_network& net, int c_opt = 0,
                        const std::string& gpi = "", std::string* said = nullptr) {
  test_support::temp_dir dir;
  strip s;
  safe_file network, grid_pipe;
  network.open(dir.write("net.txt", text).c_str(), "r");
  if (!gpi.empty()) grid_pipe.open(dir.write("net.gpi", gpi).c_str(), "r");
  test_support::stdout_capture out;
  const int r = read_superlink_input(network, &grid_pipe, c_opt, s.mask, 1, 3, net);
  const std::string text_out = out.stop();
  if (said) *said = text_out;
  return r;
}

}  // namespace superlink_fixture
