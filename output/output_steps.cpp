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

// Per contaminant whose outputs are asked for, a concentration (code 27)
// and a mass (code 26) link/node writer over its node arrays, named by the
// contaminant's output prefix.
void open_contam_link_files(model_state& state) {
  const contaminant_model& m = state.quality.contam;
  const quality_state& q = state.quality;
  std::vector<std::unique_ptr<linknode_writer>>& writers = state.output.contam_links;
  writers.clear();
  if (!q.chan_contam.on) return;
  const channel_state& chan = state.channel;
  const linknode_network network = channel_linknode_network(chan);
  for (int k = 1; k <= q.chan_contam.constituents; ++k) {
    const std::size_t kk = std::size_t(k);
    if (m.map_flag[kk] != 1 || m.c.constituent_type[kk] != 1) continue;
    const char* prefix = m.output_name[kk].c_str();
    auto conc = std::make_unique<linknode_writer>();
    conc->setup_1d(27, q.chan_node_conc[kk].data(), network);
    conc->open(prefix, ".chan", ".conc", 1.0);
    writers.push_back(std::move(conc));
    auto mass = std::make_unique<linknode_writer>();
    mass->setup_1d(26, q.chan_node_mass[kk].data(), network);
    mass->open(prefix, ".chan", ".mass", 1.0);
    writers.push_back(std::move(mass));
  }
}
