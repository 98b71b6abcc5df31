// The constituents' map writers, and the output routines not built in this
// version: those keep their guard, so that a run that asks for no such
// output passes it, and stop the run as not available when it has something
// to write.

#include "output/output_steps.h"

#include <cstdio>
#include <memory>

#include "core/error_state.h"
#include "run/model_state.h"
#include "core/not_available.h"

// Per contaminant whose maps are asked for, a concentration and a mass
// writer over its cell arrays, named by its number; the ids leave room for
// every contaminant of the table.
void setup_contam_map_writers(model_state& state) {
  const contaminant_model& m = state.quality.contam;
  const int count = m.c.constituents;
  std::vector<std::unique_ptr<map_writer>>& writers = state.output.contam_maps;
  writers.clear();
  const map_grid grid = run_map_grid(state);
  const map_format format = run_map_format(state);
  for (int k = 1; k <= count; ++k) {
    const std::size_t kk = std::size_t(k);
    if (m.map_flag[kk] != 1) continue;
    const char* prefix = m.output_name[kk].c_str();
    char name[32];
    auto conc = std::make_unique<map_writer>();
    conc->bind(grid, m.c.ov_contam_conc[kk].data());
    std::snprintf(name, sizeof name, "conc_%02d", k);
    conc->setup(format, prefix, ".conc", ".asc", (k - 1) * count + 5000, name);
    writers.push_back(std::move(conc));
    if (error_state.stop_flag) return;
    auto mass = std::make_unique<map_writer>();
    mass->bind(grid, m.c.ov_contam_mass[kk].data());
    std::snprintf(name, sizeof name, "mass_%02d", k);
    mass->setup(format, prefix, ".mass", ".asc", (k - 1) * count + 5001, name);
    writers.push_back(std::move(mass));
    if (error_state.stop_flag) return;
  }
}

void open_contam_link_files(model_state&) { raise_not_available("open_contam_link_files"); }
