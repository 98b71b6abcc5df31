#pragma once
// Runs of the surface tests: a fixture project copied into a temporary
// folder and run in-process through the production set-up and steps, and
// run records built in code on small grids for the routing kernels.
//
// The outlet hydrograph rows and the event and end-of-run summaries belong
// to the output subsystem; these runs leave them out (an empty event summary
// and no row writer), so that they test the routing whatever the writers do.
// The soil subsystem's init_cell_states has nothing to set up in these runs
// (no infiltration, groundwater, lakes or long-term simulation) and is
// stood in for by a phase that stops only when one of those is on.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "run/run_simulation.h"
#include "core/error_state.h"
#include "run/model_state.h"
#include "core/parallel_context.h"
#include "run/run_loop.h"
#include "core/safe_file.h"
#include "core/text_io.h"
#include "input/read_grid_inputs.h"
#include "surface/cell_connectivity.h"
#include "surface/overland_step.h"
#include "surface/surface_steps.h"
#include "test_support.h"

namespace surface_fixture {

inline void clear_errors() { error_state = error_record{}; }

inline std::string fixture_text(const std::string& folder, const std::string& name) {
  return test_support::read_file(
      (std::filesystem::path(VALTO_FIXTURES_DIR) / folder / name).string());
}

// An ASCII grid of rows x cols cells of size metres, north-west corner at
// (0, rows x size), values row by row.
inline std::string ascii_grid(int rows, int cols, double size, const std::vector<double>& values) {
  std::ostringstream text;
  text << "north: " << rows * size << "\nsouth: 0\neast: " << cols * size
       << "\nwest: 0\nrows: " << rows << "\ncols: " << cols << "\n";
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) text << (c ? " " : "") << values[r * cols + c];
    text << "\n";
  }
  return text.str();
}

// The project's lines with every card whose word is in drop removed, and
// extra appended (a later card wins).
inline std::string edit_cards(const std::string& project, const std::vector<std::string>& drop,
                              const std::string& extra = "") {
  std::istringstream in(project);
  std::string out, line;
  while (std::getline(in, line)) {
    std::string word = line.substr(0, line.find_first_of(" \t"));
    if (std::find(drop.begin(), drop.end(), word) != drop.end()) continue;
    out += line + "\n";
  }
  return out + extra;
}

struct run_output {
  int status = -1;
  std::string text;  // standard output of the run
};

// Runs project file name in dir in-process; the thread count, the process-
// wide folders and the error record are put back afterwards. A hook may look
// at the record after each pass.
inline run_output run_in_process(const std::filesystem::path& dir, const std::string& name,
                                 const std::function<void(model_state&)>& after_pass = nullptr) {
  static std::function<void(model_state&)> hook;
  hook = after_pass;
  std::vector<run_phase> steps(production_steps().begin(), production_steps().end());
  if (hook) steps.push_back({"after_pass", +[](model_state& s) { hook(s); }});
  run_lists lists = production_lists();
  lists.steps = steps;

  const int threads = parallel.total_threads;
  char saved_project[path_capacity];
  std::memcpy(saved_project, project_directory, sizeof saved_project);
  project_directory[0] = '\0';
  clear_errors();
  run_output out;
  {
    test_support::scoped_cwd cwd(dir);
    test_support::stdout_capture capture;
    out.status = run_model(name.c_str(), nullptr, lists);
    out.text = capture.stop();
  }
  set_thread_count(threads);
  std::memcpy(project_directory, saved_project, sizeof saved_project);
  clear_errors();
  hook = nullptr;
  return out;
}

// One progress line's elapsed minutes and outlet discharge.
struct progress_row {
  double minutes;
  double q;
};

inline std::vector<progress_row> progress_rows(const std::string& text) {
  std::vector<progress_row> rows;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("event ", 0) != 0) continue;
    const std::size_t at = line.find("elapsed time");
    const std::size_t q = line.find("Qout=");
    if (at == std::string::npos || q == std::string::npos) continue;
    rows.push_back({std::stod(line.substr(at + 12)), std::stod(line.substr(q + 5))});
  }
  return rows;
}

// The number after label on the summary line that holds it, NaN when no
// line holds it.
inline double summary_value(const std::string& text, const std::string& label) {
  const std::size_t at = text.find(label);
  if (at == std::string::npos) return NAN;
  return std::stod(text.substr(at + label.size()));
}

// A summary's lines but those that name run times or the thread count,
// which differ between runs by nature.
inline std::string summary_without_times(const std::string& text) {
  std::istringstream in(text);
  std::string line, kept;
  while (std::getline(in, line))
    if (line.find("ime") == std::string::npos && line.find("hread") == std::string::npos)
      kept += line + "\n";
  return kept;
}

inline std::vector<std::string> progress_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("event ", 0) == 0 && line.find("elapsed time") != std::string::npos)
      lines.push_back(line);
  return lines;
}

// A record whose mask holds the given 0/1 pattern (rows x cols), numbered
// row by row, with elevations per cell and cells of 10 m.
inline void mask_record(model_state& s, int rows, int cols, const std::vector<int>& pattern,
                        const std::vector<double>& elevation) {
  grid_state& g = s.grid;
  g.rows = rows;
  g.cols = cols;
  g.dx = 10.0;
  ASSERT_TRUE(g.mask.allocate_grid(rows, cols));
  int n = 0;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c)
      if (pattern[(r - 1) * cols + c - 1]) g.mask[r][c] = ++n;
  g.cells = n;
  g.elevation = elevation;
}

// A run record of the cells of a rows x cols grid of size metres for which
// in_watershed(row, col) holds, numbered row by row, set up as the grid
// set-up and the connectivity phase leave it: numbered mask, neighbour
// tables and work arrays, with elevations, depths, retention and Manning n
// of 0 for the caller to set. The outlet cell must be in the watershed.
inline void build_masked_grid(model_state& s, int rows, int cols, double size,
                              const std::function<bool(int, int)>& in_watershed, int outlet_row,
                              int outlet_col, double outlet_slope) {
  grid_state& g = s.grid;
  g.rows = rows;
  g.cols = cols;
  g.dx = size;
  ASSERT_TRUE(g.mask.allocate_grid(rows, cols));
  int n = 0;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) g.mask[r][c] = in_watershed(r, c) ? ++n : 0;
  g.cells = n;
  g.area = size * size * n;
  g.outlet_row = outlet_row;
  g.outlet_col = outlet_col;
  g.outlet_cell = g.mask[outlet_row][outlet_col];
  g.outlet_slope = outlet_slope;
  g.elevation.assign(n + 1, 0.0);
  surface_state& sf = s.surface;
  sf.depth.assign(n + 1, 0.0);
  sf.prev_depth.assign(n + 1, 0.0);
  sf.retent_dep.assign(n + 1, 0.0);
  sf.dist_rough.assign(n + 1, 0.0);
  g.rightcon.assign(n + 1, 0);
  g.belowcon.assign(n + 1, 0);
  g.leftcon.assign(n + 1, 0);
  g.abovecon.assign(n + 1, 0);
  build_neighbor_tables(rows, cols, g.rightcon, g.belowcon, g.abovecon, g.leftcon, g.mask.table());
  ASSERT_TRUE(alloc_overland_work(s));
}

// The record of a whole rows x cols grid, every cell in the watershed, with
// the given elevations and Manning n (row by row).
inline void build_grid(model_state& s, int rows, int cols, double size,
                       const std::vector<double>& elevation, const std::vector<double>& roughness,
                       int outlet_row, int outlet_col, double outlet_slope) {
  build_masked_grid(
      s, rows, cols, size, [](int, int) { return true; }, outlet_row, outlet_col, outlet_slope);
  for (int i = 1; i <= s.grid.cells; ++i) {
    s.grid.elevation[i] = elevation[i - 1];
    s.surface.dist_rough[i] = roughness.size() == 1 ? roughness[0] : roughness[i - 1];
  }
}

}  // namespace surface_fixture

namespace surface_fixture {

// Drives apply_rainfall and overland_step by hand, one overland step of dt
// seconds per call, with the clock starting at 0 and the rain given per step.
class step_driver {
 public:
  step_driver(model_state& s, double dt, int scheme) : s_(s), dt_(dt) {
    s_.input.settings.overtype = scheme;
    s_.run.overland.set_interval(dt);
  }

  // One step with rain of rate mm/h on every cell; false when it stopped the run.
  bool step(double rate) {
    run_control& run = s_.run;
    ++k_;
    run.current_time = k_ * dt_ / 86400.0;
    run.overland.last = (k_ - 1) * dt_ / 86400.0;
    run.overland.next = run.current_time;
    run.event_data_flag = 1;
    run.rain_active = rate > 0.0 ? 1 : 0;
    for (int i = 1; i <= s_.grid.cells; ++i) s_.surface.rain_rate[i] = rate;
    apply_rainfall(s_);
    if (error_state.stop_flag) return false;
    overland_step(s_);
    return error_state.stop_flag == 0;
  }

  double minutes() const { return k_ * dt_ / 60.0; }

 private:
  model_state& s_;
  double dt_;
  long k_ = 0;
};

// Water put in (rain, cleared negative depths) less water out (outlet) and
// left on the surface, m3.
inline double balance_residual(model_state& s) {
  const surface_state& sf = s.surface;
  return sf.rain_volume + sf.cleanup_volume - sf.outflow_volume - surface_volume(s);
}

// The tilted V: 50 x 81 cells of 20 m, ground z = 0.4 (50 - r) + |c - 41|,
// n 0.015 on the planes and 0.15 in the channel column 41, outlet at
// (50, 41) with slope 0.02.
inline void build_tilted_v(model_state& s) {
  std::vector<double> z, n;
  for (int r = 1; r <= 50; ++r) {
    for (int c = 1; c <= 81; ++c) {
      z.push_back(0.4 * (50 - r) + std::abs(c - 41));
      n.push_back(c == 41 ? 0.15 : 0.015);
    }
  }
  build_grid(s, 50, 81, 20.0, z, n, 50, 41, 0.02);
}

// The plane20 fixture in memory: one row of twenty 100 m cells, z 19..0,
// n 0.05, outlet in the last cell with slope 0.01.
inline void build_plane20(model_state& s) {
  std::vector<double> z;
  for (int k = 0; k < 20; ++k) z.push_back(19 - k);
  build_grid(s, 1, 20, 100.0, z, {0.05}, 1, 20, 0.01);
}

}  // namespace surface_fixture
