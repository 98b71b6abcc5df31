// The aquifer's set-up readers, in the order the grid set-up calls them:
// the water table and its bottom with the soil maps, the rest after them.

#include "subsurface/read_gw_inputs.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

#include "run/model_state.h"
#include "input/ascii_grid.h"
#include "input/cell_ranges.h"
#include "input/map_tables.h"
#include "input/process_map_tables.h"
#include "input/read_grid_inputs.h"
#include "subsurface/gw_solve.h"
#include "subsurface/gw_vadose.h"
#include "subsurface/gw_wells.h"
#include "subsurface/read_gw_files.h"

namespace {

bool stopped() { return error_state.stop_flag != 0; }

// The groundwater arrays, once per run, before the first reader fills them.
bool sized(model_state& state) {
  groundwater_state& gw = state.subsurface.gw;
  if (!gw.gwbound.empty() || state.grid.cells == 0) return true;
  return size_groundwater_state(gw, state.grid);
}

// A set-up notice whose summary line differs from the screen's, each with
// one quoted name.
void announce_named(const model_state& state, const char* screen, const char* summary,
                    const char* name) {
  char on_screen[2 * path_capacity + 128];
  char in_summary[2 * path_capacity + 128];
  std::snprintf(on_screen, sizeof on_screen, screen, name);
  std::snprintf(in_summary, sizeof in_summary, summary, name);
  announce_setup_apart(state, on_screen, in_summary);
}

// The boundary types the format defines: 0 and 1 active cells, 2 fixed
// head, 3 dynamic well, 4 stream, 5 fixed head out of the totals, 6 static
// flux, 7 lake. Any other code is a typing slip that would silently make an
// active cell; false after a message naming the cell.
bool boundary_types_defined(const grid_state& grid, const std::vector<int>& types,
                            const char* source) {
  for (int c = 1; c <= grid.cells; ++c) {
    const int t = types[std::size_t(c)];
    if (t >= 0 && t <= gw_type::lake) continue;
    int row = 0, column = 0;
    cell_position(grid, c, row, column);
    raise_message(
        "Error: the groundwater boundary type of cell %d (row %d, column %d) from %s is %d; "
        "the types are 0 and 1 (active), 2 (fixed head), 3 (dynamic well), 4 (stream), 5 (fixed "
        "head left out of the totals), 6 (static flux) and 7 (lake).\n",
        c, row, column, source, t);
    return false;
  }
  return true;
}

// The boundary type of every cell; false after a report.
bool read_boundary_types(model_state& state) {
  const input_state& in = state.input;
  const project_settings& s = in.settings;
  groundwater_state& gw = state.subsurface.gw;
  grid_state& grid = state.grid;
  if (!s.gw_boundfile_given && table_requested(in, table_kind::groundwater_boundary)) {
    announce_setup_apart(state, "reading the groundwater boundary file from the mapping table\n",
                         "reading groundwater boundary file from the mapping table\n");
    std::vector<double> types;
    if (!allocate_per_cell(types, grid.cells, "groundwater boundary")) return false;
    map_table_context context = run_map_table_context(state);
    const std::span<double> columns[] = {types};
    if (!read_map_table(context, table_kind::groundwater_boundary, columns)) return false;
    for (int c = 1; c <= grid.cells; ++c) {
      const double t = types[std::size_t(c)];
      if (!(t > double(INT_MIN) - 1.0 && t < double(INT_MAX) + 1.0)) {
        raise_message(
            "Error: the GROUNDWATER_BOUNDARY table gives cell %d the boundary type %g, which is "
            "no whole number a type can be.\n",
            c, t);
        return false;
      }
      gw.gwbound[std::size_t(c)] = static_cast<int>(t);
    }
    return boundary_types_defined(grid, gw.gwbound, "the GROUNDWATER_BOUNDARY table");
  }
  if (!s.gw_boundfile_given) {
    raise_error(err_open_file, 0, 0, "groundwater boundary", s.gw_boundfile.c_str());
    return false;
  }
  announce_named(state, "reading the groundwater boundary file: %s\n",
                 "reading groundwater boundary file: %s\n", s.gw_boundfile.c_str());
  block_2d<int> types;
  if (!types.allocate_grid(grid.rows, grid.cols)) {
    raise_message("Error allocating memory for variable %s\n", "gwbound");
    return false;
  }
  safe_file& file = state.input.files.gw_boundary;
  map_header header;
  read_ascii_map(file, s.gw_boundfile.c_str(), integer_grid, header, types.table(), {}, {}, {},
                 grid.rows, grid.cols);
  file.close();
  if (stopped()) return false;
  for (int r = 1; r <= grid.rows; ++r)
    for (int c = 1; c <= grid.cols; ++c)
      if (grid.mask[r][c] != 0) gw.gwbound[std::size_t(grid.mask[r][c])] = types[r][c];
  return boundary_types_defined(grid, gw.gwbound, s.gw_boundfile.c_str());
}

// The wells of the WELL_TABLE table, or else the static-flux file; false
// after a report.
bool read_wells_or_fluxes(model_state& state) {
  const input_state& in = state.input;
  const project_settings& s = in.settings;
  groundwater_state& gw = state.subsurface.gw;
  grid_state& grid = state.grid;
  if (table_requested(in, table_kind::wells)) {
    gw.wells_from_table = 1;
    announce_setup(state, "reading well map from the master table file\n");
    map_table_context context = run_map_table_context(state);
    std::vector<gw_well> table;
    id_grid ids;
    if (!read_well_table(context, table, ids)) return false;
    return scan_well_index_map(ids, grid.mask.table(), grid.rows, grid.cols, table, gw.wells);
  }
  int flux_cells = 0, well_cells = 0;
  for (int c = 1; c <= grid.cells; ++c) {
    flux_cells += gw.gwbound[std::size_t(c)] == gw_type::static_flux;
    well_cells += gw.gwbound[std::size_t(c)] == gw_type::dynamic_well;
  }
  if (flux_cells > 0 || in.params.gw_fluxboundtable_given) {
    safe_file file;
    if (!file.open(s.gw_fluxboundtable.c_str(), "r")) {
      raise_message("Can't open static flux table file: %s\n", s.gw_fluxboundtable.c_str());
      return false;
    }
    const bool read = read_static_flux_file(file, grid.mask.table(), grid.rows, grid.cols,
                                            grid.dx, gw.gw_static_flux);
    file.close();
    if (!read) return false;
  }
  if (well_cells > 0)
    print_message(summary_file,
                  "You can't have a dynamic wells in the groundwater boundary map. You must use "
                  "the\nWELL_TABLE table in the mapping table file\n");
  return true;
}

// Conductivity (cm/h) and porosity of every cell from the first source that
// has them; false after a report.
bool read_conductivity_and_porosity(model_state& state, std::vector<double>& conductivity) {
  input_state& in = state.input;
  const project_settings& s = in.settings;
  groundwater_state& gw = state.subsurface.gw;
  const int cells = state.grid.cells;
  const richards_soil& rs = state.soil.richards;
  // The deepest node of a cell's Richards column, or -1 without columns.
  auto deepest = [&](int c) {
    return in.inf_richards && !rs.numcells.empty()
               ? long(c) * rs.row + rs.numcells[std::size_t(c)]
               : -1L;
  };
  if (!allocate_per_cell(conductivity, cells, "groundwater conductivity")) return false;
  bool porosity_read = false;
  const char* k_source = "GW_HYCOND_MAP";
  if (s.gw_hycond_map_given) {
    announce_named(state, "reading ground water hydraulic conductivity map from file: %s\n",
                   "reading hyd. cond. map from file: %s\n", s.gw_hycond_map.c_str());
    read_cell_map(state, in.files.gw_hycond, s.gw_hycond_map, conductivity);
  } else if (table_requested(in, table_kind::groundwater)) {
    k_source = "the GROUNDWATER table";
    announce_setup_apart(state,
                         "reading ground water hydraulic conductivity map from the master table "
                         "file\n",
                         "reading hyd. cond. map from the master table file\n");
    map_table_context context = run_map_table_context(state);
    const std::span<double> columns[] = {conductivity, gw.gw_porosity};
    if (!read_map_table(context, table_kind::groundwater, columns)) return false;
    porosity_read = true;
  } else if (s.gw_unif_hycond != 0.0) {
    k_source = "GW_UNIF_HYCOND";
    for (int c = 1; c <= cells; ++c) conductivity[std::size_t(c)] = s.gw_unif_hycond;
  } else if (deepest(1) >= 0) {
    k_source = "the Richards soil columns";
    for (int c = 1; c <= cells; ++c) conductivity[std::size_t(c)] = rs.ks[std::size_t(deepest(c))];
  } else {
    raise_error(err_gw_table_mapping);
    return false;
  }
  if (stopped() ||
      !cells_within(state.grid, conductivity, ranges::non_negative, "groundwater conductivity",
                    k_source))
    return false;

  const char* n_source = "GW_POROSITY_MAP";
  if (s.gw_porosity_map_given) {
    announce_setup(state, "reading ground water porosity map from file: %s\n",
                   s.gw_porosity_map.c_str());
    read_cell_map(state, in.files.gw_porosity, s.gw_porosity_map, gw.gw_porosity);
  } else if (porosity_read) {
    n_source = "the GROUNDWATER table";
    announce_setup_apart(state, "reading ground water porosity map from the master table file\n",
                         "reading porosity map from the master table file\n");
  } else if (s.gw_unif_porosity != 0.0) {
    n_source = "GW_UNIF_POROSITY";
    for (int c = 1; c <= cells; ++c) gw.gw_porosity[std::size_t(c)] = s.gw_unif_porosity;
  } else if (deepest(1) >= 0) {
    n_source = "the Richards soil columns";
    for (int c = 1; c <= cells; ++c)
      gw.gw_porosity[std::size_t(c)] = rs.thetas[std::size_t(deepest(c))];
  }
  return !stopped() &&
         cells_within(state.grid, gw.gw_porosity, ranges::porosity, "groundwater porosity",
                      n_source);
}

}  // namespace

void read_water_table_maps(model_state& state) {
  const input_state& in = state.input;
  const project_settings& s = in.settings;
  if (!in.water_table || !sized(state)) return;
  groundwater_state& gw = state.subsurface.gw;
  const grid_state& grid = state.grid;
  announce_setup(state, "reading water table map from file: %s\n", s.water_table.c_str());
  read_cell_map(state, state.input.files.water_table, s.water_table, gw.elevgw);
  if (stopped()) return;
  if (in.gw_simulation) {
    announce_setup(state, "reading aquifer bottom map from file: %s\n", s.aquifer_bottom.c_str());
    read_cell_map(state, state.input.files.aquifer_bottom, s.aquifer_bottom, gw.bottom_elev);
    if (stopped()) return;
  } else if (in.inf_richards) {
    gw.settings.aquifer_delta_z = 0.1;
    for (int c = 1; c <= grid.cells; ++c)
      gw.bottom_elev[std::size_t(c)] = gw.elevgw[std::size_t(c)] - 0.1;
  }
  // A bottom above the ground or above the water table leaves the aquifer a
  // negative thickness, and its volume a negative start; only a bottom just
  // at the ground is taken down to it as before.
  for (int c = 1; c <= grid.cells; ++c) {
    double& bottom = gw.bottom_elev[std::size_t(c)];
    const double ground = grid.elevation[std::size_t(c)];
    const double table = gw.elevgw[std::size_t(c)];
    const bool read = in.gw_simulation;
    int row = 0, column = 0;
    if (read && (bottom > ground || table < bottom)) cell_position(grid, c, row, column);
    if (read && bottom > ground) {
      raise_message(
          "Error: the aquifer bottom of cell %d (row %d, column %d) from %s is %g m, above the "
          "ground at %g m; it must lie below the ground.\n",
          c, row, column, s.aquifer_bottom.c_str(), bottom, ground);
      return;
    }
    if (read && table < bottom) {
      raise_message(
          "Error: the water table of cell %d (row %d, column %d) from %s is %g m, below the "
          "aquifer bottom at %g m; it must lie at or above the bottom.\n",
          c, row, column, s.water_table.c_str(), table, bottom);
      return;
    }
    if (bottom < ground) continue;
    char text[256];
    std::snprintf(text, sizeof text,
                  "Aquifer bottom elevation %lf for cell %d is at or above ground surface "
                  "elevation %lf \n",
                  bottom, c, ground);
    print_message(summary_file, text);
    print_message(summary_file, "Aquifer bottom elevation set to ground elevation \n");
    bottom = ground;
  }
}

void read_gw_inputs(model_state& state) {
  input_state& in = state.input;
  if (!in.gw_simulation || !sized(state)) return;
  groundwater_state& gw = state.subsurface.gw;
  const grid_state& grid = state.grid;
  if (!gw_settings_from(in.settings, gw.settings)) return;
  if (!read_boundary_types(state) || !read_wells_or_fluxes(state)) return;
  std::vector<double> conductivity;  // cm/h
  if (!read_conductivity_and_porosity(state, conductivity)) return;
  for (int c = 1; c <= grid.cells; ++c) {
    const std::size_t i = std::size_t(c);
    gw.gw_kx[i] = conductivity[i] / 100.0 / 3600.0;  // cm/h to m/s
    gw.gw_ky[i] = gw.gw_kx[i];
    gw.gw_dx[i] = grid.dx;
    gw.gw_dy[i] = grid.dx;
    gw.gw_storage[i] = gw.gw_porosity[i];
  }
  if (in.inf_richards && !state.soil.richards.numcells.empty() &&
      !size_vadose_work(gw, state.soil.richards, grid.cells))
    return;
  const project_settings& s = in.settings;
  if (!s.gw_well_level_given) return;
  safe_file& list = in.files.well_location;
  read_well_list_file(list, grid.rows, grid.cols, gw.obs_wells, gw.well_row, gw.well_column);
  list.close();
}
