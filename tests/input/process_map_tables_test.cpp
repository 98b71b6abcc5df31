// The special tables of the mapping table file, read directly: wetlands
// numbered by first appearance with their unit conversions, wells, the
// contaminant lines in their strict order, the erosion table's class count,
// sediment classes, and the Richards and multi-layer soil tables.

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "input/process_map_tables.h"
#include "map_table_fixture.h"
#include "project_test_support.h"

namespace {

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A 3 x 3 grid whose last cell lies outside the watershed: eight cells.
class special_tables : public project_test {
 protected:
  map_table_context context() {
    map_table_context c;
    c.path = "tables.cmt";
    c.mask = mask_.grid.table();
    c.rows = mask_.rows;
    c.cols = mask_.cols;
    c.cells = mask_.cells;
    c.ts_index = &ts_index_;
    c.series = &series_;
    return c;
  }

  void write_tables(const std::string& text) {
    dir_.write("tables.cmt", std::string(grid_table_marker) + "\n" + text);
  }

  // Runs a reader in the project folder; returns standard output.
  template <class Reader>
  std::string run(Reader reader) {
    test_support::scoped_cwd cwd(dir_.path());
    test_support::stdout_capture out;
    reader();
    return out.stop();
  }

  numbered_mask mask_{3, 3, "111 111 110"};
  ts_index_list ts_index_;
  time_series_list series_;
};

// Wetland ids 9, 5 and 12 appear in this order, row by row; the cell outside
// the watershed holds an id no table has.
class wetland_table : public special_tables {
 protected:
  void SetUp() override {
    special_tables::SetUp();
    dir_.write("wet.idx", grid_text(3, 3, "0 9 9\n5 12 0\n9 5 77\n"));
  }

  std::string read(const std::string& rows, int n) {
    write_tables("INDEX_MAP wet.idx wet\nWETLAND_PROPERTIES wet\nNUM_IDS " + std::to_string(n) +
                 "\n" + table_header() + rows);
    mask_values_.assign(mask_.cells + 1, -1);
    return run([&] {
      map_table_context c = context();
      result_ = read_wetland_table(c, wetlands_, records_, mask_values_);
    });
  }

  int wetlands_ = 0;
  std::vector<wetland_record> records_;
  std::vector<int> mask_values_;
  int result_ = -1;
};

TEST_F(wetland_table, wetlands_are_numbered_by_first_appearance_with_their_units_converted) {
  const std::string out = read(table_row(5, "Marsh", "10 20 864 30 8640 0.2 40") +
                                   table_row(9, "Fen", "100 200 8640 300 86400 0.05 400") +
                                   table_row(12, "Bog", "1 2 86.4 3 864 0.5 4"),
                               3);
  ASSERT_EQ(result_, 1) << out;
  EXPECT_EQ(wetlands_, 3);
  // Cells 1..8 in row order: 0 9 9 / 5 12 0 / 9 5.
  EXPECT_EQ(mask_values_, (std::vector<int>{-1, 0, 1, 1, 2, 3, 0, 1, 2}));
  ASSERT_EQ(records_.size(), 4u);
  const std::array<double, 8> fen = {0.1, 0.2, 0.1, 0.3, 1.0, 0.0, 0.05, 0.4};
  const std::array<double, 8> marsh = {0.01, 0.02, 0.01, 0.03, 0.1, 0.0, 0.2, 0.04};
  const std::array<double, 8> bog = {0.001, 0.002, 0.001, 0.003, 0.01, 0.0, 0.5, 0.004};
  const std::array<double, 8>* expected[] = {&fen, &marsh, &bog};
  for (int w = 1; w <= 3; ++w)
    for (int k = 0; k < 8; ++k)
      EXPECT_NEAR(records_[w].value[k], (*expected[w - 1])[k], 1e-15) << w << " " << k;
}

TEST_F(wetland_table, ids_that_do_not_pair_up_are_refused) {
  struct fault_case {
    const char* label;
    std::string rows;
    int n;
    std::string message;
  };
  const fault_case cases[] = {
      {"three ids in the map, two in the table",
       table_row(5, "Marsh", "1 1 1 1 1 1 1") + table_row(12, "Bog", "1 1 1 1 1 1 1"), 2,
       "\nThere is a problem with the wetlands index map.  It contains\n3 ID's, while the "
       "mapping table file contains 2 ID's.\n"},
      {"a table id the map does not hold",
       table_row(5, "Marsh", "1 1 1 1 1 1 1") + table_row(9, "Fen", "1 1 1 1 1 1 1") +
           table_row(13, "Lake", "1 1 1 1 1 1 1"),
       3,
       "Error: wetland id 13 of row 3 of the WETLAND_PROPERTIES table in the mapping table file "
       "tables.cmt is in no cell of the wetland index map wet.idx.\n"},
      {"a map id the table does not hold",
       table_row(5, "Marsh", "1 1 1 1 1 1 1") + table_row(12, "Bog", "1 1 1 1 1 1 1") +
           table_row(12, "Bog again", "1 1 1 1 1 1 1"),
       3,
       "Error: wetland id 9 of the wetland index map wet.idx has no row in the "
       "WETLAND_PROPERTIES table of the mapping table file tables.cmt.\n"},
  };
  for (const fault_case& c : cases) {
    clear_errors();
    const std::string out = read(c.rows, c.n);
    EXPECT_EQ(result_, 0) << c.label;
    EXPECT_EQ(error_state.stop_flag, 1) << c.label;
    EXPECT_TRUE(has(out, c.message)) << c.label << "\n" << out;
    EXPECT_EQ(wetlands_, 0) << c.label;
    EXPECT_EQ(mask_values_, std::vector<int>(9, -1)) << c.label;
  }
}

TEST_F(wetland_table, more_than_300_wetland_ids_is_68) {
  dir_.write("wet.idx", grid_text(3, 3, "301 0 0\n0 0 0\n0 0 0\n"));
  const std::string out = read(table_row(301, "Marsh", "1 1 1 1 1 1 1"), 1);
  EXPECT_EQ(result_, 0);
  EXPECT_TRUE(has(out, "\nThe number of wetland ids specified in the master table file \nis over 300!"))
      << out;
}

TEST_F(special_tables, well_rows_become_wells_with_a_rate_or_a_series) {
  dir_.write("wells.idx", grid_text(3, 3, "0 1 0\n0 0 2\n0 0 0\n"));
  write_tables("INDEX_MAP wells.idx wells\nWELL_TABLE wells\nNUM_IDS 2\n" +
               std::string(table_header()) + table_row(1, "Pumped at a constant rate", "0 2.5 9") +
               table_row(2, "Pumped as series 4", "1 4.7 9"));
  std::vector<gw_well> wells;
  id_grid ids;
  int result = -1;
  const std::string out = run([&] {
    map_table_context c = context();
    result = read_well_table(c, wells, ids);
  });
  ASSERT_EQ(result, 1) << out;
  EXPECT_EQ(ts_index_.built, 1);  // the well rates may name series
  ASSERT_EQ(wells.size(), 2u);
  // The last row is at the head of the list.
  EXPECT_EQ(wells[0].id, 2);
  EXPECT_EQ(wells[0].flag, 1);
  EXPECT_EQ(wells[0].ts_index, 4);
  EXPECT_EQ(wells[0].rate, 0.0);
  EXPECT_EQ(wells[1].id, 1);
  EXPECT_EQ(wells[1].flag, 0);
  EXPECT_EQ(wells[1].ts_index, 0);
  EXPECT_EQ(wells[1].rate, 2.5);
  // The well cells for the groundwater set-up's scan.
  EXPECT_EQ(ids.at(1, 2), 1);
  EXPECT_EQ(ids.at(2, 3), 2);
  EXPECT_EQ(ids.at(1, 1), 0);

  clear_errors();
  write_tables("INDEX_MAP wells.idx wells\n");
  const std::string missing = run([&] {
    map_table_context c = context();
    result = read_well_table(c, wells, ids);
  });
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(has(missing, "no entries found in table WELL_TABLE (NUM_IDS is 0)\n")) << missing;
}

// Two constituents: the first with every line, the second without its
// PRECIP_CONC line, so its first PARTITION line is taken in that place.
TEST_F(special_tables, contaminant_lines_are_taken_strictly_in_order) {
  dir_.write("soils.idx", grid_text(3, 3, "1 1 2\n2 2 1\n1 2 0\n"));
  dir_.write("land.idx", grid_text(3, 3, "3 3 3\n3 3 3\n3 3 3\n"));
  const std::string eight_a = "1 2 3 4 5 6 7 8";
  const std::string eight_b = "10 20 30 40 50 60 70 80";
  write_tables("INDEX_MAP soils.idx \"Soil Map\"\nINDEX_MAP land.idx \"Land\"\n"
               "CONTAMINANT_TRANSPORT\nNUM_CONTAM 2\n"
               "\"Atrazine\" \"Soil Map\" \"atrazine.out\"\nPRECIP_CONC 0.5\nPARTITION 2.0\n"
               "NUM_IDS 2\n" +
               std::string(table_header()) + table_row(1, "Loam", eight_a) +
               table_row(2, "Clay", eight_b) +
               "\"Nitrate in the stream\" \"Land\" \"nitrate.out\"\nPARTITION 3.0\nPARTITION 4.0\n"
               "NUM_IDS 1\n" +
               table_header() + table_row(3, "Everywhere", eight_b));
  std::array<constituent_grid, 8> grids;
  std::array<constituent_grid*, 8> targets{};
  for (int m = 0; m < 8; ++m) targets[m] = &grids[m];
  targets[4] = nullptr;  // a grid the caller does not take
  contaminant_tables tables;
  int result = -1;
  const std::string out = run([&] {
    map_table_context c = context();
    result = read_contam_table(c, targets, tables);
  });
  ASSERT_EQ(result, 1) << out;
  EXPECT_EQ(out,
            "\nReading contaminant table...  2 contaminants found\n"
            "  Checking Atrazine...........................In map soils.idx category 1 has 4 values\n"
            "In map soils.idx category 2 has 4 values\n"
            "found and read index map\n"
            "Error in reading the precip concentration of constituent #2\n"
            "  Checking Nitrate in the stream..............In map land.idx category 3 has 8 values\n"
            "found and read index map\n");
  EXPECT_EQ(tables.count, 2);
  EXPECT_EQ(tables.descriptions[1], "Atrazine");
  EXPECT_EQ(tables.output_names[2], "nitrate.out");
  EXPECT_EQ(tables.index_maps[1], "soils.idx");
  EXPECT_EQ(tables.precip_conc, (std::vector<double>{0.0, 0.5, 0.0}));
  EXPECT_EQ(tables.partition, (std::vector<double>{0.0, 2.0, 4.0}));
  // Cells 1..8: ids 1 1 2 / 2 2 1 / 1 2.
  const int soil_id[9] = {0, 1, 1, 2, 2, 2, 1, 1, 2};
  for (int m = 0; m < 8; ++m) {
    if (m == 4) {
      EXPECT_TRUE(grids[m].empty());
      continue;
    }
    ASSERT_EQ(grids[m].size(), 3u) << m;
    for (int cell = 1; cell <= 8; ++cell) {
      EXPECT_EQ(grids[m][1][cell], soil_id[cell] == 1 ? m + 1 : 10.0 * (m + 1)) << m << " " << cell;
      EXPECT_EQ(grids[m][2][cell], 10.0 * (m + 1)) << m << " " << cell;
    }
  }
}

TEST_F(special_tables, a_contaminant_count_beyond_the_file_is_refused) {
  dir_.write("soils.idx", grid_text(3, 3, "1 1 2\n2 2 1\n1 2 0\n"));
  write_tables("INDEX_MAP soils.idx \"Soil Map\"\nCONTAMINANT_TRANSPORT\nNUM_CONTAM 573564155\n");
  std::array<constituent_grid, 8> grids;
  std::array<constituent_grid*, 8> targets{};
  for (int m = 0; m < 8; ++m) targets[m] = &grids[m];
  contaminant_tables tables;
  int result = -1;
  const std::string out = run([&] {
    map_table_context c = context();
    result = read_contam_table(c, targets, tables);
  });
  EXPECT_EQ(result, 0);
  EXPECT_NE(out.find("Error: NUM_CONTAM 573564155 of the CONTAMINANT_TRANSPORT table in the "
                     "mapping table file"),
            std::string::npos)
      << out;
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_TRUE(grids[0].empty());
}

// A keyword line whose value is no number would otherwise run on with 0.
TEST_F(special_tables, a_rain_concentration_or_partition_that_is_no_number_is_refused) {
  dir_.write("soils.idx", grid_text(3, 3, "1 1 2\n2 2 1\n1 2 0\n"));
  const std::string rows = "NUM_IDS 1\nID    DESCRIPTION    VALUES\n1     Loam" +
                           std::string(76, ' ') + "  1 2 3 4 5 6 7 8\n";
  const struct {
    const char* lines;
    const char* message;
  } cases[] = {
      {"PRECIP_CONC high\nPARTITION 2.0\n",
       "Error: the PRECIP_CONC line of constituent 1 of the CONTAMINANT_TRANSPORT table in the "
       "mapping table file tables.cmt (line 6) needs a number after its keyword.\n"},
      {"PRECIP_CONC 0.5\nPARTITION\n",
       "Error: the PARTITION line of constituent 1 of the CONTAMINANT_TRANSPORT table in the "
       "mapping table file tables.cmt (line 7) needs a number after its keyword.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines);
    error_state = error_record{};
    write_tables("INDEX_MAP soils.idx \"Soil Map\"\nCONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n"
                 "\"Atrazine\" \"Soil Map\" \"atrazine.out\"\n" +
                 std::string(c.lines) + rows);
    std::array<constituent_grid, 8> grids;
    std::array<constituent_grid*, 8> targets{};
    for (int m = 0; m < 8; ++m) targets[m] = &grids[m];
    contaminant_tables tables;
    int result = -1;
    const std::string out = run([&] {
      map_table_context ctx = context();
      result = read_contam_table(ctx, targets, tables);
    });
    EXPECT_EQ(result, 0);
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
    EXPECT_EQ(error_state.stop_flag, 1);
  }
}

TEST_F(special_tables, unmatched_contaminant_maps_each_print_and_end_in_69) {
  const std::string table = "NUM_IDS 1\n" + std::string(table_header()) +
                            table_row(1, "All", "1 2 3 4 5 6 7 8");
  struct contam_case {
    const char* label;
    std::string text;
    int result;
    std::string output;
  };
  const contam_case cases[] = {
      {"two unmatched names",
       "INDEX_MAP soils.idx \"Soil Map\"\nCONTAMINANT_TRANSPORT\nNUM_CONTAM 2\n"
       "\"Lead\" \"Soil map\" \"lead.out\"\nPRECIP_CONC 0\nPARTITION 1\n" + table +
           "\"Zinc\" \"Soil Map \" \"zinc.out\"\nPRECIP_CONC 0\nPARTITION 1\n" + table,
       0,
       "\nReading contaminant table...  2 contaminants found\n"
       "  Checking Lead...............................unable to match index map\n"
       "  Checking Zinc...............................unable to match index map\n"
       "\nError reading the contaminant transport tables in the mapping table file.\n"},
      {"no section", "INDEX_MAP soils.idx \"Soil Map\"\n", 0,
       "\nReading contaminant table...  \nError reading the contaminant transport tables in the "
       "mapping table file.\n"},
      {"no constituents", "CONTAMINANT_TRANSPORT\nNUM_CONTAM 0\n", 0,
       "\nReading contaminant table...  0 contaminants found\n"},
  };
  for (const contam_case& c : cases) {
    clear_errors();
    write_tables(c.text);
    std::array<constituent_grid, 8> grids;
    std::array<constituent_grid*, 8> targets{};
    for (int m = 0; m < 8; ++m) targets[m] = &grids[m];
    contaminant_tables tables;
    int result = -1;
    const std::string out = run([&] {
      map_table_context ctx = context();
      result = read_contam_table(ctx, targets, tables);
    });
    EXPECT_EQ(result, c.result) << c.label;
    EXPECT_EQ(out, c.output) << c.label;
  }
}

class erosion_table : public special_tables {
 protected:
  void SetUp() override {
    special_tables::SetUp();
    dir_.write("soils.idx", grid_text(3, 3, "1 1 2\n2 2 1\n1 2 0\n"));
  }
  std::string tables(int num_sed) {
    return "INDEX_MAP soils.idx soils\nSOIL_EROSION_PROPS soils\nNUM_IDS 2\nNUM_SED " +
           std::to_string(num_sed) + "\n" + table_header() +
           table_row(1, "Loam", "0.1  0.2  1.5  0.3  0.4  0.6  0.4") +
           table_row(2, "Clay", "1.1  1.2  2.5  1.3  1.4  0.25  0.75");
  }
};

TEST_F(erosion_table, rows_fill_the_five_parameters_and_the_parent_soil_fractions) {
  write_tables(tables(2));
  const int cells = mask_.cells;
  std::array<std::vector<double>, 5> params;
  for (std::vector<double>& p : params) p.assign(cells + 1, -1.0);
  std::vector<sed_fraction> fract(std::size_t(cells + 1) * 3, sed_fraction{-1, -1, -1, -1});
  erosion_destinations out;
  for (int k = 0; k < 5; ++k) out.params[k] = params[k];
  out.params[2] = {};  // detach_exp not wanted
  out.sed_fract = fract;
  int result = -1;
  const std::string printed = run([&] {
    map_table_context c = context();
    result = read_erosion_table(c, out, 2);
  });
  ASSERT_EQ(result, 1) << printed;
  const int soil_id[9] = {0, 1, 1, 2, 2, 2, 1, 1, 2};
  const double loam[5] = {0.1, 0.2, 1.5, 0.3, 0.4};
  const double clay[5] = {1.1, 1.2, 2.5, 1.3, 1.4};
  for (int cell = 1; cell <= cells; ++cell) {
    const bool is_loam = soil_id[cell] == 1;
    for (int k = 0; k < 5; ++k)
      EXPECT_EQ(params[k][cell], k == 2 ? -1.0 : (is_loam ? loam[k] : clay[k])) << cell << " " << k;
    EXPECT_EQ(fract[cell * 3 + 1][1], is_loam ? 0.6 : 0.25) << cell;
    EXPECT_EQ(fract[cell * 3 + 2][1], is_loam ? 0.4 : 0.75) << cell;
    EXPECT_EQ(fract[cell * 3 + 1][0], -1.0);  // only the parent-soil element is the table's
    EXPECT_EQ(fract[cell * 3 + 0][1], -1.0);  // class 0 holds totals
  }
}

TEST_F(erosion_table, a_class_count_that_disagrees_is_91_left_for_the_run) {
  write_tables(tables(3));
  erosion_destinations out;
  int result = -1;
  const std::string printed = run([&] {
    map_table_context c = context();
    result = read_erosion_table(c, out, 2);
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(printed, "");
  EXPECT_EQ(error_state.code, 91);
  EXPECT_EQ(error_state.number1, 2);
  EXPECT_EQ(error_state.number2, 3);
  EXPECT_EQ(error_state.stop_flag, 1);
  test_support::stdout_capture reported;
  report_error();
  EXPECT_TRUE(has(reported.stop(),
                  "The number of sediments specified in the SEDIMENTS table is 2 while the number "
                  "of sediments \nspecified in the SED_EROS_PROPS table is 3."));
}

TEST_F(special_tables, sediment_classes_are_read_from_column_41) {
  struct sediment_case {
    const char* label;
    std::string text;
    int classes;
  };
  const std::string header = "DESCRIPTION                             SG  DIAM  BIND  FILE\n";
  const std::string sand = std::string("Sand").append(36, ' ') + "2.65  0.5  0.0  sand.out\n";
  const std::string clay =
      std::string("Clay").append(36, ' ') + "2.60  0.002  0.4  \"clay out.txt\"\n";
  const sediment_case cases[] = {
      {"two classes", "SEDIMENTS\nNUM_SED 2\n" + header + sand + clay, 2},
      {"no classes", "SEDIMENTS\nNUM_SED 0\n" + header, 0},
      {"no section", "ROUGHNESS x\n", 0},
  };
  for (const sediment_case& c : cases) {
    write_tables(c.text);
    sediment_classes classes;
    const std::string out = run([&] { read_sediment_table("tables.cmt", classes); });
    EXPECT_EQ(out, "") << c.label;
    EXPECT_EQ(classes.count, c.classes) << c.label;
    EXPECT_EQ(error_state.stop_flag, 0) << c.label;
  }
  write_tables(cases[0].text);
  sediment_classes classes;
  run([&] { read_sediment_table("tables.cmt", classes); });
  EXPECT_EQ(classes.spec_grav, (std::vector<double>{0.0, 2.65, 2.60}));
  EXPECT_EQ(classes.part_diam, (std::vector<double>{0.0, 0.5, 0.002}));
  EXPECT_EQ(classes.f_bind, (std::vector<double>{0.0, 0.0, 0.4}));
  EXPECT_EQ(classes.output_filename[1], "sand.out");
  EXPECT_EQ(classes.output_filename[2], "clay out.txt");

  write_tables("SEDIMENTS\nNUM_SED 1\n" + header + "Silt   2.65  0.05  0.1  silt.out\n");
  const std::string out = run([&] { read_sediment_table("tables.cmt", classes); });
  EXPECT_TRUE(has(out, "Error: class 1 of the SEDIMENTS table in the mapping table file tables.cmt "
                       "(line 5) cannot be read"))
      << out;
  EXPECT_EQ(classes.count, 0);

  // A count of 37 million over two lines stops at the first missing line,
  // without first reserving rows for every class it names.
  write_tables("SEDIMENTS\nNUM_SED 37186480\n" + header + sand + clay);
  const std::string huge = run([&] { read_sediment_table("tables.cmt", classes); });
  EXPECT_TRUE(has(huge, "Error: class 3 of the SEDIMENTS table in the mapping table file "
                        "tables.cmt (line 6) cannot be read"))
      << huge;
  EXPECT_EQ(classes.count, 0);
}

TEST_F(special_tables, richards_and_layered_soils_read_their_soil_types_then_hand_the_table_on) {
  dir_.write("soils.idx", grid_text(3, 3, "1 1 2\n2 2 1\n1 2 0\n"));
  write_tables("INDEX_MAP soils.idx soils\nRICHARDS_EQN_INFILTRATION_BROOKS soils\nNUM_IDS 2\n"
               "MULTI_LAYER_SOIL soils\nNUM_SOIL_TYPES 2\n");
  std::string name;
  run([&] { find_richards_index_map("tables.cmt", richards_brooks, name); });
  EXPECT_EQ(name, "soils.idx");
  run([&] { find_richards_index_map("tables.cmt", richards_havercamp, name); });
  EXPECT_EQ(name, "");

  // The soil reader finds the file just after the section line.
  std::vector<int> soil_type(mask_.cells + 1, -1);
  std::string next_line;
  const soil_table_reader reader = [&](table_file& table, std::span<const int> types) {
    table.next(next_line);
    return types[3] == 2 ? 42 : 0;
  };
  int result = 0;
  std::string out = run([&] {
    map_table_context c = context();
    result = read_richards_tables(c, richards_brooks, reader, soil_type);
  });
  EXPECT_EQ(result, 42) << out;
  EXPECT_EQ(next_line, "NUM_IDS 2");
  EXPECT_EQ(soil_type, (std::vector<int>{-1, 1, 1, 2, 2, 2, 1, 1, 2}));
  EXPECT_TRUE(has(out, "In map soils.idx category 1 has 4 values\n")) << out;

  out = run([&] {
    map_table_context c = context();
    result = read_multi_layer_soil_table(c, reader, soil_type);
  });
  EXPECT_EQ(result, 42) << out;
  EXPECT_EQ(next_line, "NUM_SOIL_TYPES 2");

  // No Havercamp table: no soil-type map to open.
  bool called = false;
  const soil_table_reader never = [&](table_file&, std::span<const int>) {
    called = true;
    return 0;
  };
  out = run([&] {
    map_table_context c = context();
    result = read_richards_tables(c, richards_havercamp, never, soil_type);
  });
  EXPECT_EQ(result, -1);
  EXPECT_FALSE(called);
  EXPECT_TRUE(has(out,
                  "\nYou are trying to simulate Richardson's Equation soil dynamics but without "
                  "using a valid soil type index map.\nIndex map filename = \n"))
      << out;
}

}  // namespace
