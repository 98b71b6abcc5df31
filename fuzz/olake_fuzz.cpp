// The overland lake map and its lake file, read by the grid set-up as a run
// reads them over a 3 x 3 watershed of 10 m cells whose last cell lies
// outside, then two extent updates of every lake read. The first byte gives
// each lake's volume changes, (byte - 128) x 10 m3 and then a fall of
// (byte mod 64) x 15 m3; the rest holds the map and the lake file, parted by
// a line "@@@@".

#include <cmath>
#include <cstdint>
#include <string_view>
#include <vector>

#include "channel/olake_extent.h"
#include "core/error_state.h"
#include "run/model_state.h"
#include "fuzz_support.h"
#include "input/lake_maps.h"
#include "surface/cell_connectivity.h"

namespace {

// Ground of cells 1..8, m: a hollow with a rim, so that lakes can grow and
// shrink.
constexpr double ground[] = {0.0, 5.0, 4.0, 6.0, 3.0, 2.0, 4.0, 5.0, 6.0};

// The lakes' records, levels, volumes and cells agree with the cells.
void check_lakes(const model_state& s, bool after_update) {
  const surface_state& sf = s.surface;
  const grid_state& g = s.grid;
  fuzz::require(sf.olake_count >= 0 && sf.olakes.size() == std::size_t(sf.olake_count) + 1,
                "lake records of a size other than the lake count + 1");
  std::vector<int> cells(sf.olakes.size(), 0);
  std::vector<double> held(sf.olakes.size(), 0.0);
  for (int i = 1; i <= g.cells; ++i) {
    const int u = sf.oland_lake_new[i];
    fuzz::require(u >= 0 && u <= sf.olake_count, "a cell in a lake that has no record");
    const int first = sf.oland_lake_mask[i];
    fuzz::require(first == 0 || u == first, "a cell of the lake map left its lake");
    if (u == 0) continue;
    ++cells[u];
    held[u] += (sf.olakes[u].level - g.elevation[i]) * g.dx * g.dx;
  }
  for (int u = 1; u <= sf.olake_count; ++u) {
    const olake_record& k = sf.olakes[u];
    fuzz::require(k.cells == cells[u], "a lake's cell count differs from its cells");
    const double scale = 1.0 + std::fabs(held[u]) + std::fabs(k.level) * g.dx * g.dx * k.cells;
    fuzz::require(std::fabs(k.volume - held[u]) <= 1e-9 * scale,
                  "a lake's volume differs from its level over its cells");
    if (!after_update) {
      fuzz::require(k.level == sf.olake_init_level[u] && k.floor == k.level,
                    "a lake that starts off its level or floor");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("olake", argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  fuzz::reset_process_state();
  const auto parts = fuzz::split_parts(data + 1, size - 1, 2);
  fuzz::write_file("lakes.asc", parts[0]);
  fuzz::write_file("lakes.txt", parts[1]);

  model_state s;
  grid_state& g = s.grid;
  fuzz::small_grid(g);
  g.elevation.assign(std::begin(ground), std::end(ground));
  project_settings& settings = s.input.settings;
  settings.overland_lake_map_given = 1;
  settings.overland_lake_map = "lakes.asc";
  settings.overland_lake_file_given = 1;
  settings.overland_lake_file = "lakes.txt";
  if (!s.input.files.overland_lake_map.open("lakes.asc", "r")) return 0;
  if (!s.input.files.overland_lake_file.open("lakes.txt", "r")) return 0;

  read_overland_lake_map(s);
  fuzz::require(!s.input.files.overland_lake_map.is_open() &&
                    !s.input.files.overland_lake_file.is_open(),
                "a lake file left open");
  if (error_state.stop_flag) {
    fuzz::require(s.surface.overland_lakes == 0, "lakes switched on by a refused map");
    return 0;
  }
  fuzz::require(s.surface.overland_lakes == 1, "lakes read but not switched on");
  check_lakes(s, false);

  const std::size_t slots = std::size_t(g.cells) + 1;
  for (std::vector<int>* t : {&g.rightcon, &g.belowcon, &g.abovecon, &g.leftcon})
    t->assign(slots, 0);
  build_neighbor_tables(g.rows, g.cols, g.rightcon, g.belowcon, g.abovecon, g.leftcon,
                        g.mask.table());
  s.surface.depth.assign(slots, 0.01);
  // A first change as the byte gives it, then a fall that may give back
  // what the first one took.
  const double changes[] = {(double(data[0]) - 128.0) * 10.0, -double(data[0] % 64) * 15.0};
  for (double dv : changes) {
    for (olake_record& k : s.surface.olakes) k.dv = dv;
    olake_extent(g, nullptr, s.surface);
    if (error_state.stop_flag) {
      fuzz::require(fuzz::failure_reported(), "a refused update without a code");
      return 0;
    }
    check_lakes(s, true);
  }
  return 0;
}
