// The overland lake map and the wetland cells, read in their places of the
// grid set-up. The lake map's files are opened with the project's other
// files; the wetland table is read from the mapping table file.

#include "input/lake_maps.h"

#include <algorithm>

#include "channel/read_lake_file.h"
#include "run/model_state.h"
#include "input/ascii_grid.h"
#include "input/map_tables.h"
#include "input/process_map_tables.h"
#include "input/read_grid_inputs.h"

namespace {

bool stopped() { return error_state.stop_flag != 0; }

// The lake count is the largest lake number of the map; a negative number
// is no lake and no absence of one either, so it is refused.
bool largest_lake(const std::vector<int>& lakes, int cells, const char* name, int& largest) {
  largest = 0;
  for (int i = 1; i <= cells && i < static_cast<int>(lakes.size()); ++i) {
    if (lakes[i] < 0) {
      raise_message(
          "Error: grid cell %d of the overland lake map %s holds lake number %d; a cell holds 0 "
          "(no lake) or the number of its lake, from 1.\n",
          i, name, lakes[i]);
      return false;
    }
    largest = std::max(largest, lakes[i]);
  }
  return true;
}

// Cell counts and volumes of lakes 1..count from their cells, in cell order.
bool fill_lakes_from_cells(const grid_state& grid, const std::vector<int>& lake_of,
                           std::vector<olake_record>& lakes) {
  for (olake_record& r : lakes) {
    r.cells = 0;
    r.volume = 0.0;
  }
  const double area = grid.dx * grid.dx;  // m2
  for (int i = 1; i <= grid.cells; ++i) {
    const int t = lake_of[i];
    if (t <= 0) continue;
    olake_record& r = lakes[t];
    ++r.cells;
    if (grid.elevation[i] > r.level) {
      raise_message(
          "There is a lake cell in lake %d that is above the initial lake water surface\n"
          "elevation in that lake, which is specified as %f.  This situation is not\n"
          "physically realistic.  Check your lake map.  Program terminated.\n",
          t, r.level);
      return false;
    }
    r.volume += (r.level - grid.elevation[i]) * area;
  }
  return true;
}

// The map, its lake file and the lakes' cells, as read_overland_lake_map
// describes; the files are left for the caller to close.
void read_lakes(model_state& state) {
  const project_settings& s = state.input.settings;
  const grid_state& grid = state.grid;
  surface_state& surface = state.surface;
  input_files& files = state.input.files;
  const char* map_name = s.overland_lake_map.c_str();
  announce_setup(state, "reading overland lake map from file: %s\n", map_name);

  if (!allocate_per_cell(surface.oland_lake_new, grid.cells, "oland_lake_new")) return;
  map_header header;
  read_ascii_map(files.overland_lake_map, map_name, index_map, header, state.grid.mask.table(), {},
                 {}, surface.oland_lake_new, grid.rows, grid.cols);
  if (stopped()) return;
  int count = 0;
  if (!largest_lake(surface.oland_lake_new, grid.cells, map_name, count)) return;
  if (!allocate_per_cell(surface.oland_lake_mask, grid.cells, "oland_lake_mask")) return;
  surface.oland_lake_mask = surface.oland_lake_new;

  std::vector<olake_record> lakes;
  if (!read_lake_file(files.overland_lake_file, s.overland_lake_file.c_str(), count, lakes) ||
      !fill_lakes_from_cells(grid, surface.oland_lake_new, lakes))
    return;

  if (!allocate_zeroed(surface.olake_init_level, std::size_t(count) + 1, "olake_init_level"))
    return;
  double total = 0.0;  // m3
  for (int t = 1; t <= count; ++t) {
    surface.olake_init_level[t] = lakes[t].level;
    total += lakes[t].volume;
  }
  surface.olakes = std::move(lakes);
  surface.olake_count = count;
  surface.olake_initial_volume = total;
  surface.overland_lakes = 1;
}

}  // namespace

void read_wetland_mask(model_state& state) {
  const input_state& in = state.input;
  if (!table_requested(in, table_kind::wetlands)) return;
  surface_state& surface = state.surface;
  if (!allocate_per_cell(surface.wetland_mask, state.grid.cells, "wetland_mask")) return;
  map_table_context context = run_map_table_context(state);
  if (!read_wetland_table(context, surface.wetlands, surface.wetland_types, surface.wetland_mask))
    return;
  announce_setup(state, "Simulating wetlands\n");
}

void read_overland_lake_map(model_state& state) {
  if (!state.input.settings.overland_lake_map_given) return;
  read_lakes(state);
  // Closed on every path: a refused map leaves no file open behind it.
  state.input.files.overland_lake_map.close();
  state.input.files.overland_lake_file.close();
}
