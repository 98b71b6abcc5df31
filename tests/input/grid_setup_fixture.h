#pragma once
// Fixture of the file-opening and grid set-up tests: a project in a
// temporary folder, run in-process through the production set-up phases up
// to a chosen phase, with a hook to change the run record before another.

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "run/run_simulation.h"
#include "run/run_loop.h"
#include "project_test_support.h"

class grid_setup_test : public project_test {
 protected:
  using tweak = std::function<void(model_state&)>;

  // Copies the strip fixture (1 x 10 cells of 10 m) into the project folder
  // and gives its project file's cards, extra appended (a later card wins).
  std::string strip_cards(const std::string& extra = "") {
    const std::filesystem::path from = std::filesystem::path(VALTO_FIXTURES_DIR) / "strip";
    for (const char* name : {"mask.asc", "elevation.asc"})
      dir_.write(name, test_support::read_file((from / name).string()));
    std::string cards = test_support::read_file((from / "strip.prj").string());
    cards = cards.substr(cards.find('\n') + 1);  // the magic line is added by project()
    return cards + extra;
  }

  // An ASCII grid under the header of a grid of rows x cols cells of size
  // metres whose north-west corner is at (0, rows x size).
  std::string write_map(const std::string& name, int rows, int cols, double size,
                        const std::string& values) {
    std::ostringstream text;
    text << "north: " << rows * size << "\nsouth: 0\neast: " << cols * size
         << "\nwest: 0\nrows: " << rows << "\ncols: " << cols << "\n"
         << values;
    return dir_.write(name, text.str());
  }

  // Runs the production set-up phases on the cards up to and including last,
  // leaving at the first phase that stops the run; change runs just before
  // the phase named before. Returns standard output.
  std::string run_setup(const std::string& cards, const std::string& last = "read_grid_inputs",
                        const std::string& before = "", const tweak& change = nullptr) {
    const std::string path = project(cards);
    state_->project_file = path;
    test_support::scoped_cwd cwd(dir_.path());
    test_support::stdout_capture out;
    for (const run_phase& phase : production_setup_phases()) {
      if (change && before == phase.name) change(*state_);
      phase.run(*state_);
      if (run_must_stop()) break;
      if (last == phase.name) break;
    }
    return out.stop();
  }

  bool stopped() const { return error_state.stop_flag != 0; }
  std::string file_text(const std::string& name) {
    return test_support::read_file(dir_.file(name));
  }
  static bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }
};
