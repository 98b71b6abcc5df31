// Grid mapping tables: the keyword order, the generic reader on one fixture
// file of many sections (each section shows one path or one fault), the check
// report, the time-series index and the strip whose roughness comes from a
// table.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "grid_setup_fixture.h"
#include "input/map_tables.h"
#include "map_table_fixture.h"

namespace {

namespace fs = std::filesystem;

// The grid fixture: a 2 x 3 grid whose last cell lies outside the watershed,
// so that five cells are numbered, and a mapping table file of many sections.
class map_tables : public project_test {
 protected:
  void SetUp() override {
    project_test::SetUp();
    fs::copy(fs::path(VALTO_FIXTURES_DIR) / "map_tables" / "grid", dir_.path());
  }

  map_table_context context(const std::string& path = "tables.cmt") {
    map_table_context c;
    c.path = path;
    c.mask = mask_.grid.table();
    c.rows = mask_.rows;
    c.cols = mask_.cols;
    c.cells = mask_.cells;
    return c;
  }

  // Reads the kind's table into columns of cells + 1 values, each starting at
  // -1 so that a cell left alone shows; returns standard output.
  std::string read(int kind, std::vector<std::vector<double>>& columns, int count,
                   const std::string& path = "tables.cmt") {
    columns.assign(count, std::vector<double>(mask_.cells + 1, -1.0));
    std::vector<std::span<double>> spans(columns.begin(), columns.end());
    map_table_context c = context(path);
    test_support::scoped_cwd cwd(dir_.path());
    test_support::stdout_capture out;
    result_ = read_map_table(c, kind, spans);
    return out.stop();
  }

  numbered_mask mask_{2, 3, "111 110"};
  int result_ = -1;
};

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(map_table_keywords, a_line_takes_the_first_keyword_it_begins_with) {
  struct kind_case {
    const char* line;
    int kind;
  };
  const kind_case cases[] = {
      {"ROUGHNESS landuse", 1},
      {"ROUGHNESS_OF_FLOODPLAIN x", 1},  // any line beginning ROUGHNESS
      {"GROUNDWATER_BOUNDARY map", 18},  // tested before GROUNDWATER
      {"GROUNDWATER map", 17},
      {"GROUNDWATER_TYPES map", 17},
      {"RICHARDS_EQN_INFILTRAIION_HAVERCAMP map", 6},
      {"RICHARDS_EQN_INFILTRATION_BROOKS map", 7},
      {"RICHARDS_EQN_INFILTRATION_HAVERCAMP map", 0},  // the keyword keeps its own spelling
      {"NSM_SOIL_C map", 25},
      {"NSM_C map", 22},
      {"NSM_SOIL_KOC map", 32},
      {"NSM_GW_OTHER map", 30},
      {"DISPERSION_COEF map", 24},
      {"INDEX_MAPS a b", 138},
      {"PRECIP_CONCENTRATION 1", 50000},
      {"PARTITION 0.2", 60000},
      {"NUM_IDS 4", 137},
      {"NUM_CONTAM 2", 139},
      {"NUM_SED 3", 140},
      {"MULTI_LAYER_SOIL map", 201},
      {"SEDIMENT", 0},
      {" ROUGHNESS landuse", 0},  // keywords start the line
      {"roughness landuse", 0},   // and are upper case
      {"", 0},
  };
  for (const kind_case& c : cases) EXPECT_EQ(classify_table_line(c.line), c.kind) << c.line;
  // The ROUGHNESS rule belongs to the callers.
  EXPECT_EQ(map_table_kind("ROUGHNESS landuse"), 0);

  EXPECT_STREQ(map_table_name(1), "ROUGHNESS");
  EXPECT_STREQ(map_table_name(18), "GROUNDWATER_BOUNDARY");
  EXPECT_STREQ(map_table_name(6), "RICHARDS_EQN_INFILTRAIION_HAVERCAMP");
  EXPECT_STREQ(map_table_name(31), "");
  EXPECT_STREQ(map_table_name(32), "");
  EXPECT_STREQ(map_table_name(201), "");
}

TEST_F(map_tables, each_section_of_the_fixture_reads_or_stops_with_its_code) {
  struct read_case {
    const char* label;
    int kind;
    int columns;
    std::vector<std::vector<double>> values;  // per column, cells 1..5; empty when it stops
    std::string output;                       // printed, in order
  };
  const read_case cases[] = {
      {"later row of an id wins, an id missing from the table gives 0", table_kind::roughness, 1,
       {{0.10, 0.07, 0.10, 0.0, 0.07}},
       "In map landuse.idx category 1 has 2 values\n"
       "In map landuse.idx category 2 has 2 values\n"
       "In map landuse.idx category 3 has 1 values\n"},
      {"the later INDEX_MAP line of a name wins", table_kind::interception, 2,
       {{3.0, 3.0, 1.0, 1.0, 3.0}, {0.6, 0.6, 0.2, 0.2, 0.6}},
       "In map soils.idx category 1 has 3 values\nIn map soils.idx category 2 has 2 values\n"},
      {"GROUNDWATER is not the GROUNDWATER_BOUNDARY section", table_kind::groundwater, 2,
       {{0.30, 0.30, 0.45, 0.45, 0.30}, {1e-5, 1e-5, 2e-7, 2e-7, 1e-5}}, ""},
      {"active cells with ids 0 and -1 give 0", table_kind::dispersion, 1,
       {{0.0, 0.5, 0.0, 2.5, 2.5}}, ""},
      {"a name with a trailing blank is not found", table_kind::retention, 1, {},
       "\nProblem reading mapping table file -- no entries found in table RETENTION (NUM_IDS is "
       "0)\n"},
      {"NUM_IDS 0", table_kind::wetlands, 1, {},
       "no entries found in table WETLAND_PROPERTIES (NUM_IDS is 0)\n"},
      {"no section", table_kind::nsm_n, 1, {}, "no entries found in table NSM_N (NUM_IDS is 0)\n"},
      {"an id above the table's largest", table_kind::groundwater_boundary, 1, {},
       "\nIndex ID exceeds table limit, file: over the top.idx [row 2:col 1]\n"},
      {"rows and cols differ", table_kind::evapotranspiration, 4, {},
       "\nIncorrect number of rows and columns in map: rows_and_cols.idx\n"},
      {"rows differ", table_kind::green_ampt, 7, {}, "\nIncorrect number of rows in map: rows.idx\n"},
      {"cols differ", table_kind::initial_moisture, 1, {},
       "\nIncorrect number of columns in map: cols.idx\n"},
      {"the map ends early", table_kind::area_reduction, 1, {},
       "\nUnexpected end of file in file: short.idx\n"},
      {"the index map is missing", table_kind::overland_boundary, 2, {},
       "\nUnable to open index file absent.idx\n"},
  };
  for (const read_case& c : cases) {
    clear_errors();
    std::vector<std::vector<double>> columns;
    const std::string out = read(c.kind, columns, c.columns);
    EXPECT_TRUE(has(out, c.output)) << c.label << "\n" << out;
    if (c.values.empty()) {
      EXPECT_EQ(result_, 0) << c.label;
      EXPECT_EQ(error_state.stop_flag, 1) << c.label;
      for (const std::vector<double>& column : columns)
        EXPECT_EQ(column, std::vector<double>(6, -1.0)) << c.label;
      continue;
    }
    EXPECT_EQ(result_, 1) << c.label;
    EXPECT_EQ(error_state.stop_flag, 0) << c.label << "\n" << out;
    for (int k = 0; k < c.columns; ++k) {
      EXPECT_EQ(columns[k][0], -1.0) << c.label;  // entry 0 is no cell
      for (int cell = 1; cell <= 5; ++cell)
        EXPECT_DOUBLE_EQ(columns[k][cell], c.values[k][cell - 1]) << c.label << " cell " << cell;
    }
  }
  // The fault's numbers stay in the error record.
  clear_errors();
  std::vector<std::vector<double>> columns;
  read(table_kind::groundwater_boundary, columns, 1);
  EXPECT_EQ(error_state.number1, 2);
  EXPECT_EQ(error_state.number2, 1);
}

TEST_F(map_tables, a_missing_file_is_code_64_for_the_reader_and_the_check) {
  std::vector<std::vector<double>> columns;
  std::string out = read(table_kind::roughness, columns, 1, "nowhere.cmt");
  EXPECT_EQ(result_, 0);
  EXPECT_TRUE(has(out, "\nUnable to open Mapping Table file: nowhere.cmt\n")) << out;
  EXPECT_EQ(error_state.stop_flag, 1);

  clear_errors();
  std::array<int, 33> present{};
  present[1] = 7;
  test_support::scoped_cwd cwd(dir_.path());
  test_support::stdout_capture capture;
  check_map_tables("nowhere.cmt", present, false);
  out = capture.stop();
  EXPECT_FALSE(has(out, "Checking")) << out;
  EXPECT_TRUE(has(out, "Unable to open Mapping Table file: nowhere.cmt\n"));
  EXPECT_EQ(present[1], 7);
}

TEST_F(map_tables, the_check_report_gives_every_kind_in_its_order) {
  std::array<int, 33> present{};
  test_support::scoped_cwd cwd(dir_.path());
  test_support::stdout_capture capture;
  check_map_tables("tables.cmt", present, false);
  const std::string out = capture.stop();
  EXPECT_EQ(out,
            "\nChecking 2D grid mapping tables...\n"
            "  Roughness..........................Y\n"
            "  Interception.......................Y\n"
            "  Retention..........................N\n"
            "  G&A Infiltration...................Y\n"
            "  G&A Soil Moisture..................Y\n"
            "  Richards Havercamp.................N\n"
            "  Richards Brooks....................N\n"
            "  Evapotranspiration.................Y\n"
            "  Sediments..........................Y\n"
            "  Sediment Erosion Properties........N\n"
            "  Contaminants.......................N\n"
            "  Wetlands...........................Y\n"
            // The file wrapper's own note on the index map it cannot find.
            "Error getting new filename from absent.idx\n"
            "  Overland Boundary..................N\n"
            "  Groundwater Wells..................N\n"
            "  Groundwater........................Y\n"
            "  Groundwater Boundary...............Y\n"
            "  Area Reduction.....................Y\n"
            "  NSM Nitrogen.......................N\n"
            "  NSM Phosphorus.....................N\n"
            "  NSM Other..........................N\n"
            "  NSM Carbon.........................N\n"
            "  NSM Dispersion.....................Y\n"
            "  NSM Soil Carbon....................N\n"
            "  NSM Soil Nitrogen..................N\n"
            "  NSM Soil Phosphorus................N\n"
            "  NSM Groundwater Nitrogen...........N\n"
            "  NSM Groundwater Phosphorus.........N\n"
            "  NSM Groundwater Other..............N\n"
            "  NSM Soil Km........................N\n"
            "  NSM Soil Koc.......................N\n");
  const std::vector<int> yes = {1, 2, 4, 5, 8, 9, 12, 17, 18, 19, 24};
  for (int kind = 1; kind <= 32; ++kind) {
    const bool expected = std::find(yes.begin(), yes.end(), kind) != yes.end();
    EXPECT_EQ(present[kind], expected ? 1 : 0) << kind;
  }

  // Grids from a PARB dataset have no index maps, so no table with one counts.
  present = {};
  test_support::stdout_capture quiet;
  check_map_tables("tables.cmt", present, true);
  quiet.stop();
  for (int kind = 1; kind <= 32; ++kind) EXPECT_EQ(present[kind], kind == 9 ? 1 : 0) << kind;
}

TEST_F(map_tables, a_row_that_cannot_be_read_stops_naming_the_table_and_the_row) {
  struct row_case {
    const char* label;
    std::string row;
    std::string message;
  };
  const std::string where = "in the mapping table file bad.cmt (line 7)";
  const row_case cases[] = {
      {"a word for a value", table_row(2, "Pasture", "abc"),
       "Error: row 2 of the ROUGHNESS table " + where +
           " cannot be read: it needs a whole-number id in columns 1-6 and 1 numbers from column "
           "87.\n"},
      {"values that start before column 87", "2     Pasture  0.05\n",
       "Error: row 2 of the ROUGHNESS table " + where + " cannot be read"},
      {"no id", table_row(1, "x", "0.05").replace(0, 1, "x"),
       "Error: row 2 of the ROUGHNESS table " + where + " cannot be read"},
      {"an id of 0", table_row(0, "Nothing", "0.05"),
       "Error: row 2 of the ROUGHNESS table " + where +
           " has the id 0; table ids must be 1 or more.\n"},
      {"the file ends", "",
       "Error: the ROUGHNESS table of the mapping table file bad.cmt ends at row 2 of its 2 "
       "rows.\n"},
  };
  for (const row_case& c : cases) {
    clear_errors();
    dir_.write("bad.cmt", "VALTO_INDEX_MAP_TABLES\nINDEX_MAP landuse.idx landuse\n"
                          "ROUGHNESS landuse\nNUM_IDS 2\n" +
                              std::string(table_header()) + table_row(1, "Forest", "0.1") + c.row);
    std::vector<std::vector<double>> columns;
    const std::string out = read(table_kind::roughness, columns, 1, "bad.cmt");
    EXPECT_EQ(result_, 0) << c.label;
    EXPECT_EQ(error_state.stop_flag, 1) << c.label;
    EXPECT_TRUE(has(out, c.message)) << c.label << "\n" << out;
  }
}

// The TIME_SERIES_INDEX table lists series by table id; the first table read
// of a run builds it from that run's series.
class time_series_index : public map_tables {
 protected:
  void SetUp() override {
    map_tables::SetUp();
    dir_.write("ones.idx", grid_text(2, 3, "1 1 1\n1 1 1\n"));
    dir_.write("ts.cmt", "VALTO_INDEX_MAP_TABLES\nINDEX_MAP ones.idx ones\n"
                         "TIME_SERIES_INDEX\nNUM_IDS 4\n" +
                             std::string(table_header()) + "1     inflow\n" +
                             "2     \"dam release\"  (a quoted name)\n" + "3     missing\n" +
                             "1     inflow_late\n" + "ROUGHNESS ones\nNUM_IDS 1\n" +
                             table_header() + table_row(1, "All", "0.04"));
  }

  static time_series* add_series(time_series_list& list, const char* name,
                                 std::vector<double> time, std::vector<double> value) {
    time_series* s = ts_new(list);
    s->name = name;
    s->time = std::move(time);
    s->value = std::move(value);
    return s;
  }

  std::string read_with(ts_index_list& index, const time_series_list& series) {
    map_table_context c = context("ts.cmt");
    c.ts_index = &index;
    c.series = &series;
    std::vector<double> cells(mask_.cells + 1, 0.0);
    const std::span<double> columns[] = {cells};
    test_support::scoped_cwd cwd(dir_.path());
    test_support::stdout_capture out;
    result_ = read_map_table(c, table_kind::roughness, columns);
    return out.stop();
  }
};

TEST_F(time_series_index, the_first_table_read_lists_the_series_and_lookups_interpolate) {
  time_series_list series;
  const time_series* inflow = add_series(series, "inflow", {0.0, 1.0}, {2.0, 4.0});
  add_series(series, "inflow_late", {0.0, 1.0}, {10.0, 30.0});
  const time_series* dam = add_series(series, "dam release", {0.0, 2.0}, {1.0, 1.0});
  ts_index_list index;
  std::string out = read_with(index, series);
  EXPECT_EQ(result_, 1);
  EXPECT_TRUE(has(out,
                  "Adding table to list: inflow... Success!\n"
                  "Adding table to list: dam release... Success!\n"
                  "Adding table to list: missing... Failure, table not found.\n"
                  "Adding table to list: inflow_late... Success!\n"))
      << out;
  ASSERT_EQ(index.entries.size(), 4u);
  EXPECT_EQ(index.entries[0].series, inflow);
  EXPECT_EQ(index.entries[1].series, dam);
  EXPECT_EQ(index.entries[2].series, nullptr);

  // Id 1 is listed twice: the later row holds. Halfway between the times.
  EXPECT_DOUBLE_EQ(ts_value_by_index(index.entries, 1, 0.5), 20.0);
  EXPECT_DOUBLE_EQ(ts_value_by_index(index.entries, 2, 1.0), 1.0);

  // A later read in the same run leaves the list as it is.
  out = read_with(index, series);
  EXPECT_FALSE(has(out, "Adding table")) << out;
  EXPECT_EQ(index.entries.size(), 4u);

  // An id the table does not list stops the run.
  test_support::stdout_capture capture;
  EXPECT_EQ(ts_value_by_index(index.entries, 9, 0.5), 0.0);
  out = capture.stop();
  EXPECT_TRUE(has(out, "The specified time series index is 9, but the \nindex is not found")) << out;
  EXPECT_EQ(error_state.stop_flag, 1);
}

TEST_F(time_series_index, every_run_builds_its_own_index_from_its_own_series) {
  // Two runs one after the other, each with its record and its series.
  std::vector<const time_series*> first_series;
  for (double level : {1.0, 5.0}) {
    auto state = std::make_unique<model_state>();
    time_series_list& series = state->input.settings.ts_list;
    const time_series* inflow = add_series(series, "inflow", {0.0, 1.0}, {level, level});
    add_series(series, "inflow_late", {0.0, 1.0}, {level, level});
    const std::string out = read_with(state->input.ts_index, series);
    EXPECT_TRUE(has(out, "Adding table to list: inflow... Success!\n")) << out;
    EXPECT_EQ(state->input.ts_index.entries[0].series, inflow);
    EXPECT_DOUBLE_EQ(ts_value_by_index(state->input.ts_index.entries, 1, 0.5), level);
    first_series.push_back(inflow);
  }
  EXPECT_NE(first_series[0], first_series[1]);
}

TEST_F(time_series_index, a_file_without_the_table_leaves_the_index_empty_and_silent) {
  time_series_list series;
  ts_index_list index;
  map_table_context c = context("tables.cmt");
  c.ts_index = &index;
  c.series = &series;
  test_support::scoped_cwd cwd(dir_.path());
  test_support::stdout_capture out;
  EXPECT_EQ(read_ts_index_table(c), 1);
  EXPECT_EQ(out.stop(), "");
  EXPECT_EQ(index.built, 1);
  EXPECT_TRUE(index.entries.empty());
}

// The strip of ten cells with its roughness from the table: 0.10 for the six
// forest cells of land use 1, 0.05 for the four pasture cells of land use 2.
class table_strip : public grid_setup_test {
 protected:
  std::string cards() {
    const fs::path from = fs::path(VALTO_FIXTURES_DIR) / "map_tables" / "strip";
    for (const char* name : {"tables.cmt", "landuse.idx"})
      dir_.write(name, test_support::read_file((from / name).string()));
    std::string text = strip_cards();
    const std::size_t at = text.find("MANNING_N");
    text.erase(at, text.find('\n', at) - at + 1);
    return text + "MAPPING_TABLE tables.cmt\n";
  }
};

TEST_F(table_strip, roughness_comes_from_the_table_in_cell_order) {
  const std::string out = run_setup(cards());
  ASSERT_FALSE(stopped()) << out;
  EXPECT_TRUE(has(out,
                  "\nChecking 2D grid mapping tables...\n"
                  "  Roughness..........................Y\n"
                  "  Interception.......................N\n"))
      << out;
  EXPECT_TRUE(has(out, "  NSM Soil Koc.......................N\n"));
  EXPECT_TRUE(has(out,
                  "reading roughness table and map from master table file\n"
                  "In map landuse.idx category 1 has 6 values\n"
                  "In map landuse.idx category 2 has 4 values\n"))
      << out;
  EXPECT_TRUE(has(file_text("summary.out"), "In map landuse.idx category 2 has 4 values\n"));
  EXPECT_EQ(state_->input.map_table_present[table_kind::roughness], 1);
  EXPECT_EQ(state_->input.roughness_map, 1);
  const std::vector<double> expected = {0.0, 0.10, 0.10, 0.10, 0.10, 0.10,
                                        0.10, 0.05, 0.05, 0.05, 0.05};
  EXPECT_EQ(state_->surface.dist_rough, expected);
}

TEST_F(table_strip, a_bare_retention_card_takes_millimetres_from_the_table) {
  std::string table = test_support::read_file(
      (fs::path(VALTO_FIXTURES_DIR) / "map_tables" / "strip" / "tables.cmt").string());
  table += "RETENTION landuse.idx\nNUM_IDS 2\n" + std::string(table_header()) +
           table_row(1, "Forest litter", "5") + table_row(2, "Pasture", "2.5");
  std::string text = cards();
  dir_.write("tables.cmt", table);
  const std::string out = run_setup(text + "RETEN_DEPTH\n");
  ASSERT_FALSE(stopped()) << out;
  EXPECT_TRUE(has(out, "reading retention storage table and map from master table file\n")) << out;
  for (int i = 1; i <= 10; ++i)
    EXPECT_DOUBLE_EQ(state_->surface.retent_dep[i], i <= 6 ? 0.005 : 0.0025) << i;
}

TEST_F(table_strip, interception_takes_both_columns_of_its_table) {
  std::string table = test_support::read_file(
      (fs::path(VALTO_FIXTURES_DIR) / "map_tables" / "strip" / "tables.cmt").string());
  table += "INTERCEPTION landuse.idx\nNUM_IDS 2\n" + std::string(table_header()) +
           table_row(1, "Forest canopy", "3.0  0.8") + table_row(2, "Grass", "1.0  0.3");
  std::string text = cards();
  dir_.write("tables.cmt", table);
  const std::string out = run_setup(text + "INTERCEPTION\n");
  ASSERT_FALSE(stopped()) << out;
  EXPECT_TRUE(has(out, "reading interception storage table and map from master table file\n"))
      << out;
  for (int i = 1; i <= 10; ++i) {
    EXPECT_EQ(state_->surface.icep_stor[i], i <= 6 ? 3.0 : 1.0) << i;
    EXPECT_EQ(state_->surface.icep_coef[i], i <= 6 ? 0.8 : 0.3) << i;
  }
}

TEST_F(table_strip, the_program_prints_the_report_and_the_counts) {
  const std::string text = cards();
  dir_.write("table_strip.prj", "VALTOPROJECT\n" + text);
  const test_support::program_result run = test_support::run_program("table_strip.prj", dir_.path());
  EXPECT_TRUE(has(run.output, "  Roughness..........................Y\n")) << run.output;
  EXPECT_TRUE(has(run.output, "In map landuse.idx category 1 has 6 values\n")) << run.output;
  EXPECT_FALSE(has(run.output, "Overland Manning n=0")) << run.output;
}

}  // namespace
