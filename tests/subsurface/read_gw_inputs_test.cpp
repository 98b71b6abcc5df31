// The aquifer's inputs: the static-flux and observation-well files and their
// refusals, the well cells of the well index map and their rates, and the
// set-up readers over a 3 x 3 grid of 10 m cells whose last cell lies
// outside the watershed (eight cells).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/safe_file.h"
#include "input/map_table_fixture.h"
#include "input/map_tables.h"
#include "input/project_test_support.h"
#include "input/series.h"
#include "subsurface/gw_wells.h"
#include "subsurface/read_gw_files.h"
#include "subsurface/read_gw_inputs.h"

namespace {

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class gw_inputs : public project_test {
 protected:
  void SetUp() override {
    project_test::SetUp();
    grid_state& g = state_->grid;
    g.rows = g.cols = 3;
    g.dx = 10.0;
    g.mask.allocate_grid(3, 3);
    int n = 0;
    for (int r = 1; r <= 3; ++r)
      for (int c = 1; c <= 3; ++c)
        if (r < 3 || c < 3) g.mask[r][c] = ++n;
    g.cells = n;
    g.elevation.assign(9, 40.0);
    in().gw_simulation = 1;
    in().water_table = 1;
    flux_.assign(9, 0.0);
  }

  // Writes text to name in the project folder and hands the open file to
  // read; returns standard output.
  template <class Reader>
  std::string read_file(const char* name, const std::string& text, Reader read) {
    dir_.write(name, text);
    test_support::scoped_cwd cwd(dir_.path());
    safe_file file;
    EXPECT_TRUE(file.open(name, "r"));
    test_support::stdout_capture out;
    ok_ = read(file);
    return out.stop();
  }
  std::string read_flux(const std::string& text) {
    return read_file("flux.txt", text, [&](safe_file& f) {
      return read_static_flux_file(f, state_->grid.mask.table(), 3, 3, 10.0, flux_);
    });
  }
  std::string read_wells(const std::string& text) {
    return read_file("wells.txt", text, [&](safe_file& f) {
      return read_well_list_file(f, 3, 3, count_, rows_, cols_);
    });
  }

  // Opens name of the project folder into file.
  void open(safe_file& file, const std::string& name) {
    test_support::scoped_cwd cwd(dir_.path());
    ASSERT_TRUE(file.open(name.c_str(), "r")) << name;
  }

  // Runs the groundwater set-up readers in the project folder.
  std::string read_inputs() {
    test_support::scoped_cwd cwd(dir_.path());
    test_support::stdout_capture out;
    read_water_table_maps(*state_);
    if (error_state.stop_flag == 0) read_gw_inputs(*state_);
    return out.stop();
  }

  // Water table 20 m, bottom 0, boundary types of the map text, and the
  // uniform conductivity (cm/h) and porosity.
  void standard_maps(const std::string& types) {
    dir_.write("wt.asc", grid_text(3, 3, "20 20 20\n20 20 20\n20 20 20\n"));
    dir_.write("bottom.asc", grid_text(3, 3, "0 0 0\n0 0 0\n0 0 0\n"));
    dir_.write("bound.asc", grid_text(3, 3, types));
    settings().water_table = "wt.asc";
    settings().aquifer_bottom = "bottom.asc";
    settings().gw_boundfile = "bound.asc";
    settings().gw_boundfile_given = 1;
    settings().gw_unif_hycond = 36.0;
    settings().gw_unif_porosity = 0.2;
    open(in().files.water_table, "wt.asc");
    open(in().files.aquifer_bottom, "bottom.asc");
    open(in().files.gw_boundary, "bound.asc");
  }

  groundwater_state& gw() { return state_->subsurface.gw; }

  std::vector<double> flux_;
  bool ok_ = false;
  int count_ = -1;
  std::vector<int> rows_, cols_;
};

TEST_F(gw_inputs, static_fluxes_go_to_their_cells_per_square_metre_and_second) {
  const std::string out = read_flux("3\n\n1 2 -864.0\n2 1 8640\n3 3 77\n");
  ASSERT_TRUE(ok_) << out;
  EXPECT_DOUBLE_EQ(flux_[2], -864.0 / 86400.0 / 100.0);
  EXPECT_DOUBLE_EQ(flux_[4], 0.001);
  // (3, 3) lies outside the watershed: slot 0, which no cell uses.
  EXPECT_DOUBLE_EQ(flux_[0], 77.0 / 86400.0 / 100.0);
  EXPECT_EQ(flux_[1], 0.0);
}

TEST_F(gw_inputs, a_bad_static_flux_file_is_refused_naming_its_line) {
  struct bad_case {
    const char* name;
    std::string text;
    const char* message;
  };
  const bad_case cases[] = {
      {"row off the grid", "2\n1 1 5\n4 1 5\n",
       "Error: line 3 of the static-flux file flux.txt names row 4, column 1, outside the grid "
       "of 3 rows and 3 columns.\n"},
      {"column off the grid", "1\n1 0 5\n", "names row 1, column 0, outside the grid"},
      {"shorter than its count", "3\n1 1 5\n\n2 2 5\n",
       "Error: the static-flux file flux.txt ends at line 4 with 2 of the 3 lines its count "
       "gives.\n"},
      {"a flux that is no number", "1\n1 1 lots\n",
       "Error: line 2 of the static-flux file flux.txt is not \"row column flux\".\n"},
      {"a row that is no whole number", "1\n1.5 1 2\n", "line 2 of the static-flux file"},
      {"a count that is no count", "-2\n", "Error: line 1 of the static-flux file flux.txt "
                                          "does not begin with a count of 0 or more.\n"},
      {"an empty file", "", "does not begin with a count"},
      {"a line too long", "1\n1 1 " + std::string(20001, '1') + "\n",
       "Error: line 2 of the static-flux file flux.txt is longer than 20000 characters.\n"}};
  for (const bad_case& k : cases) {
    clear_errors();
    const std::string out = read_flux(k.text);
    EXPECT_FALSE(ok_) << k.name;
    EXPECT_TRUE(has(out, k.message)) << k.name << ": " << out;
    EXPECT_EQ(error_state.stop_flag, 1) << k.name;
  }
}

TEST_F(gw_inputs, observation_wells_are_read_and_refused_like_the_fluxes) {
  std::string out = read_wells("2\n1 3\n3 2\n");
  ASSERT_TRUE(ok_) << out;
  EXPECT_EQ(count_, 2);
  EXPECT_EQ(rows_, (std::vector<int>{0, 1, 3}));
  EXPECT_EQ(cols_, (std::vector<int>{0, 3, 2}));

  out = read_wells("3\n1 3\n3 2\n");
  EXPECT_FALSE(ok_);
  EXPECT_EQ(count_, 0);
  EXPECT_TRUE(has(out, "Error: the observation-well list wells.txt ends at line 3 with 2 of the 3 "
                       "lines its count gives.\n"))
      << out;
  clear_errors();
  out = read_wells("1\n0 3\n");
  EXPECT_FALSE(ok_);
  EXPECT_TRUE(has(out, "line 2 of the observation-well list wells.txt names row 0, column 3"))
      << out;
}

TEST_F(gw_inputs, each_well_cell_takes_its_table_row_and_the_scan_goes_past_unknown_ids) {
  // The table list, newest first: id 7 twice (the newer wins), id 3.
  std::vector<gw_well> table(3);
  table[0].id = 7, table[0].rate = 0.5;
  table[1].id = 3, table[1].flag = 1, table[1].ts_index = 12;
  table[2].id = 7, table[2].rate = 9.0;
  id_grid ids;
  ASSERT_TRUE(ids.allocate(3, 3));
  ids.at(1, 2) = 7;
  ids.at(2, 1) = 3;
  ids.at(2, 2) = 7;  // a second cell of the same well
  ids.at(2, 3) = 5;  // in no row of the table
  std::vector<gw_well> active;
  test_support::stdout_capture out;
  EXPECT_FALSE(scan_well_index_map(ids, state_->grid.mask.table(), 3, 3, table, active));
  const std::string text = out.stop();
  EXPECT_TRUE(has(text, "Error: A well was found in the index map (cell [2,3]) that \n  was not "
                        "found in the well table.\n"))
      << text;
  EXPECT_TRUE(table.empty());
  // Newest first: the scan's last cell at the head.
  ASSERT_EQ(active.size(), 3u);
  EXPECT_EQ(active[0].cell, 5);
  EXPECT_EQ(active[0].rate, 0.5);
  EXPECT_EQ(active[1].cell, 4);
  EXPECT_EQ(active[1].ts_index, 12);
  EXPECT_EQ(active[2].cell, 2);
  EXPECT_EQ(active[2].rate, 0.5);
}

TEST_F(gw_inputs, well_rates_come_from_the_constant_or_the_series_per_square_metre) {
  time_series series;
  series.time = {10.0, 11.0};
  series.value = {1.0, 3.0};
  const std::vector<ts_index_entry> index{{12, &series}};
  std::vector<gw_well> wells(2);
  wells[0].cell = 2, wells[0].rate = 0.5;
  wells[1].cell = 5, wells[1].flag = 1, wells[1].ts_index = 12;
  std::vector<double> pump(9, 0.0);
  apply_well_rates(wells, pump, 10.5, 10.0, index);
  EXPECT_DOUBLE_EQ(pump[2], 0.005);
  EXPECT_DOUBLE_EQ(pump[5], 0.02);
  EXPECT_EQ(error_state.stop_flag, 0);

  wells[1].ts_index = 13;
  test_support::stdout_capture out;
  apply_well_rates(wells, pump, 10.5, 10.0, index);
  const std::string text = out.stop();
  EXPECT_TRUE(has(text, "The specified time series index is 13, but the \nindex is not found"))
      << text;
  EXPECT_EQ(pump[5], 0.0);
  EXPECT_EQ(error_state.stop_flag, 1);
}

TEST_F(gw_inputs, maps_and_uniform_values_make_the_cells_of_the_aquifer) {
  standard_maps("2 1 1\n1 6 1\n1 1 9\n");
  dir_.write("flux.txt", "1\n2 2 -8640\n");
  settings().gw_fluxboundtable = "flux.txt";
  settings().aquifer_delta_z = 0.5;
  const std::string out = read_inputs();
  ASSERT_EQ(error_state.stop_flag, 0) << out;
  EXPECT_TRUE(has(out, "reading water table map from file: wt.asc\n")) << out;
  EXPECT_TRUE(has(out, "reading the groundwater boundary file: bound.asc\n")) << out;
  const groundwater_state& g = gw();
  EXPECT_EQ(g.gwbound, (std::vector<int>{0, 2, 1, 1, 1, 6, 1, 1, 1}));
  EXPECT_EQ(g.elevgw[8], 20.0);
  EXPECT_DOUBLE_EQ(g.gw_kx[3], 0.0001);  // 36 cm/h
  EXPECT_DOUBLE_EQ(g.gw_ky[3], 0.0001);
  EXPECT_EQ(g.gw_dx[3], 10.0);
  EXPECT_EQ(g.gw_storage[3], 0.2);
  // The type 6 cell reads the static-flux file.
  EXPECT_DOUBLE_EQ(g.gw_static_flux[5], -0.001);
  EXPECT_EQ(g.settings.aquifer_delta_z, 0.5);
  EXPECT_EQ(g.settings.relax, 1.0);
}

// A bottom just at the ground is taken down to it (one above the ground is
// refused, see the groundwater runs).
TEST_F(gw_inputs, a_bottom_at_the_ground_is_set_to_the_ground) {
  standard_maps("1 1 1\n1 1 1\n1 1 1\n");
  dir_.write("bottom.asc", grid_text(3, 3, "0 40 0\n0 0 0\n0 0 50\n"));
  dir_.write("wt.asc", grid_text(3, 3, "60 60 60\n60 60 60\n60 60 60\n"));
  in().files.water_table.close();
  open(in().files.water_table, "wt.asc");
  state_->grid.elevation[8] = 50.0;
  in().files.aquifer_bottom.close();
  open(in().files.aquifer_bottom, "bottom.asc");
  const std::string out = read_inputs();
  ASSERT_EQ(error_state.stop_flag, 0) << out;
  EXPECT_TRUE(has(out, "Aquifer bottom elevation 40.000000 for cell 2 is at or above ground "
                       "surface elevation 40.000000 \nAquifer bottom elevation set to ground "
                       "elevation \n"))
      << out;
  EXPECT_EQ(gw().bottom_elev[2], 40.0);
  EXPECT_EQ(gw().bottom_elev[1], 0.0);
}

TEST_F(gw_inputs, a_run_without_any_conductivity_stops_with_code_126) {
  standard_maps("1 1 1\n1 1 1\n1 1 1\n");
  settings().gw_unif_hycond = 0.0;
  const std::string out = read_inputs();
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_TRUE(has(out, "Error: the mapping table for the groundwater table is not set up "
                       "correctly."))
      << out;
}

TEST_F(gw_inputs, a_static_flux_file_that_will_not_open_stops_the_run) {
  standard_maps("1 6 1\n1 1 1\n1 1 1\n");
  settings().gw_fluxboundtable = "missing.txt";
  const std::string out = read_inputs();
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_TRUE(has(out, "Can't open static flux table file: missing.txt\n")) << out;
}

TEST_F(gw_inputs, dynamic_wells_in_the_boundary_map_are_only_told_off) {
  standard_maps("1 3 1\n1 1 1\n1 1 1\n");
  const std::string out = read_inputs();
  EXPECT_EQ(error_state.stop_flag, 0);
  EXPECT_TRUE(has(out, "You can't have a dynamic wells in the groundwater boundary map. You must "
                       "use the\nWELL_TABLE table in the mapping table file\n"))
      << out;
}

// The mapping table file with a GROUNDWATER_BOUNDARY table (every cell 4)
// and a WELL_TABLE of one well at (1, 2).
void write_mapping_table(test_support::temp_dir& dir) {
  dir.write("gwb.idx", grid_text(3, 3, "1 1 1\n1 1 1\n1 1 1\n"));
  dir.write("well.idx", grid_text(3, 3, "0 1 0\n0 0 0\n0 0 0\n"));
  dir.write("tables.cmt", std::string(grid_table_marker) +
                              "\nINDEX_MAP gwb.idx gwb\nINDEX_MAP well.idx wells\n"
                              "GROUNDWATER_BOUNDARY gwb\nNUM_IDS 1\n" +
                              table_header() + table_row(1, "Stream cells", "4") +
                              "WELL_TABLE wells\nNUM_IDS 1\n" + table_header() +
                              table_row(1, "Pumped", "0 0.25 0"));
}

TEST_F(gw_inputs, the_mapping_table_gives_types_and_wells_unless_a_boundary_file_is_named) {
  write_mapping_table(dir_);
  settings().mapping_table = "tables.cmt";
  settings().mapping_table_given = 1;
  in().map_table_present[table_kind::groundwater_boundary] = 1;
  in().map_table_present[table_kind::wells] = 1;
  standard_maps("1 6 1\n1 1 1\n1 1 1\n");
  // A flux file is named, and a cell is of type 6: with a well table
  // neither is read.
  settings().gw_fluxboundtable = "missing.txt";
  params().gw_fluxboundtable_given = 1;
  std::string out = read_inputs();
  ASSERT_EQ(error_state.stop_flag, 0) << out;
  // GW_BOUNDFILE wins over the table.
  EXPECT_EQ(gw().gwbound[2], 6);
  EXPECT_EQ(gw().wells_from_table, 1);
  ASSERT_EQ(gw().wells.size(), 1u);
  EXPECT_EQ(gw().wells[0].cell, 2);
  EXPECT_EQ(gw().wells[0].rate, 0.25);

  // Without the card the table gives the types.
  state_ = std::make_unique<model_state>();
  SetUp();
  settings().mapping_table = "tables.cmt";
  settings().mapping_table_given = 1;
  in().map_table_present[table_kind::groundwater_boundary] = 1;
  standard_maps("1 1 1\n1 1 1\n1 1 1\n");
  settings().gw_boundfile_given = 0;
  out = read_inputs();
  ASSERT_EQ(error_state.stop_flag, 0) << out;
  EXPECT_TRUE(has(out, "reading the groundwater boundary file from the mapping table\n")) << out;
  EXPECT_EQ(gw().gwbound, (std::vector<int>{0, 4, 4, 4, 4, 4, 4, 4, 4}));
}

TEST_F(gw_inputs, without_a_boundary_file_or_table_the_run_stops) {
  standard_maps("1 1 1\n1 1 1\n1 1 1\n");
  settings().gw_boundfile_given = 0;
  const std::string out = read_inputs();
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_TRUE(has(out, "Error: Unable to open groundwater boundary file.")) << out;
}

TEST_F(gw_inputs, the_observation_wells_come_from_out_well_location) {
  standard_maps("1 1 1\n1 1 1\n1 1 1\n");
  dir_.write("obs.txt", "2\n2 2\n1 3\n");
  settings().gw_well_level_given = 1;
  open(in().files.well_location, "obs.txt");
  const std::string out = read_inputs();
  ASSERT_EQ(error_state.stop_flag, 0) << out;
  EXPECT_EQ(gw().obs_wells, 2);
  EXPECT_EQ(gw().well_row, (std::vector<int>{0, 2, 1}));
  EXPECT_EQ(gw().well_column, (std::vector<int>{0, 2, 3}));
  EXPECT_FALSE(in().files.well_location.is_open());
}

}  // namespace
