// The grids a run leaves when a non-real overland value stops it.

#include "surface/write_nan_maps.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/error_state.h"
#include "core/safe_file.h"
#include "output/map_formats.h"
#include "run/model_state.h"

void write_nan_maps(const model_state& state) {
  const surface_state& sf = state.surface;
  const int n = state.grid.cells;
  if (sf.depth.size() <= std::size_t(n)) return;
  auto finite_at = [n](const std::vector<double>& v, int i) {
    return v.size() <= std::size_t(n) || std::isfinite(v[std::size_t(i)]);
  };
  std::vector<double> bad(std::size_t(n) + 1, 0.0);
  for (int i = 1; i <= n; ++i)
    if (!finite_at(sf.depth, i) || !finite_at(sf.flux_x, i) || !finite_at(sf.flux_y, i))
      bad[std::size_t(i)] = 1.0;
  const struct {
    const char* name;
    const double* values;
  } maps[] = {{"nan_depth.out", sf.depth.data()}, {"nan_cells.out", bad.data()}};
  for (const auto& map : maps) {
    safe_file file;
    if (!file.open(map.name, "w")) {
      const std::string line =
          std::string("Can't open the map of non-real overland depths for writing: ") + map.name +
          "\n";
      print_message(summary_file, line.c_str());
      continue;
    }
    write_nsew_grid(file.stream, run_map_grid(state), map.values);
    file.close();
  }
  print_message(summary_file,
                "The overland depths at the stop are written to nan_depth.out, and the cells "
                "holding a non-real value are marked 1 in nan_cells.out.\n");
}
