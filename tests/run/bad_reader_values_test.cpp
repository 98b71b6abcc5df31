// The program on process files whose values lie outside their physical
// ranges: meteorology, sediment classes and erosion properties,
// constituents and the soil-moisture hot start. Each broken copy of a
// fixture project must stop at set-up with exit status 1 and a message
// naming the file and its line or cell, the value and the range; a sound
// copy must still run.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::padded;
using test_support::read_file;
using test_support::temp_dir;

struct value_case {
  const char* label;
  const char* fixture;  // folder under the fixtures; its project is <fixture>.prj
  std::string cards;    // appended to the project
  // Files written into the copy: (name, text to replace or "", new text);
  // an empty text to replace writes the whole file.
  std::vector<std::tuple<std::string, std::string, std::string>> files;
  std::string message;
  int status = 1;
};

// One row of cols cells 100 m wide, every cell value.
std::string uniform_row(int cols, const std::string& value) {
  std::string text = "north: 100\nsouth: 0\neast: " + std::to_string(100 * cols) +
                     "\nwest: 0\nrows: 1\ncols: " + std::to_string(cols) + "\n";
  for (int c = 0; c < cols; ++c) text += value + (c + 1 < cols ? " " : "\n");
  return text;
}

// A mapping table file of the two soils of the plane: the first ten cells
// soil 1, the rest soil 2.
const std::string two_soils =
    "north: 100\nsouth: 0\neast: 2000\nwest: 0\nrows: 1\ncols: 20\n"
    "1 1 1 1 1 1 1 1 1 1 2 2 2 2 2 2 2 2 2 2\n";

std::string sediment_tables(const std::string& clay, const std::string& rows) {
  return "VALTO_INDEX_MAP_TABLES\nINDEX_MAP soils.idx soils\nSEDIMENTS\nNUM_SED 2\n"
         "DESCRIPTION                             SG  DIAM  BIND  FILE\n" +
         padded("Clay", 40) + clay + "  0.0  clay.out\n" + padded("Sand", 40) +
         "2.65  0.5  0.0  sand.out\nSOIL_EROSION_PROPS soils\nNUM_IDS 2\nNUM_SED 2\n"
         "ID    DESCRIPTION    VALUES\n" +
         rows;
}

std::string erosion_row(int id, const std::string& fractions) {
  return padded(std::to_string(id), 6) + padded("Loam", 80) + "60  2e-5  1  0  1  " + fractions +
         "\n";
}

std::string contaminant_tables(const std::string& precip, const std::string& values) {
  return "VALTO_INDEX_MAP_TABLES\nINDEX_MAP soils.idx \"All\"\nCONTAMINANT_TRANSPORT\n"
         "NUM_CONTAM 1\n\"Tracer\" \"All\" \"\"\nPRECIP_CONC " +
         precip + "\nPARTITION 0\nNUM_IDS 1\nID    DESCRIPTION    VALUES\n1     " +
         padded("Everywhere", 80) + "  " + values + "\n";
}

void run_cases(const std::vector<value_case>& cases) {
  for (const value_case& c : cases) {
    SCOPED_TRACE(c.label);
    temp_dir dir;
    dir.copy_files_of(fs::path(VALTO_FIXTURES_DIR) / c.fixture);
    const std::string project = std::string(c.fixture) + ".prj";
    dir.write(project, read_file((dir.path() / project).string()) + c.cards);
    for (const auto& [name, old_text, new_text] : c.files) {
      if (old_text.empty()) dir.write(name, new_text);
      else ASSERT_TRUE(dir.replace_in(name, old_text, new_text)) << name << ": " << old_text;
    }
    const auto run = test_support::run_program(project, dir.path());
    EXPECT_EQ(run.status, c.status) << run.output.substr(0, 3000);
    EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output.substr(0, 3000);
    if (c.status == 0) {
      EXPECT_EQ(run.output.find("Error"), std::string::npos) << run.output.substr(0, 3000);
    }
  }
}

TEST(bad_reader_values, each_value_out_of_its_range_stops_naming_file_and_line) {
  const std::string erosion =
      "SOIL_EROSION 1\nSAND_SIZE 0.0625\nWATER_TEMP 20\nMAPPING_TABLE tables.cmt\n"
      "OUTLET_SED_FLUX outlet.sed\n";
  const std::string two_rows = erosion_row(1, "0.4  0.6") + erosion_row(2, "0.2  0.8");
  const std::string contaminants = "MAPPING_TABLE tables.cmt\nOV_CON_TRANS\n";
  const std::string hotstart = "READ_SM_HOTSTART moisture.asc\n";
  // clang-format off
  const std::vector<value_case> cases = {
      {"a relative humidity of 500 percent", "lt10", "",
       {{"hmet.zep", "2001 7 14 2 29.92 50 ", "2001 7 14 2 29.92 500 "}},
       "Error: line 3 of the hmet_ZEP file hmet.zep: the relative humidity 500 percent is "
       "outside its range; it must be from 0 to 100 percent."},
      {"an air temperature of 10000", "lt10", "",
       {{"hmet.zep", "2001 7 14 2 29.92 50 0 4 59", "2001 7 14 2 29.92 50 0 4 10000"}},
       "Error: line 3 of the hmet_ZEP file hmet.zep: the air temperature 10000 deg F is outside "
       "its range; it must be from -130 to 140 deg F."},
      {"a negative wind speed", "lt10", "",
       {{"hmet.zep", "2001 7 14 2 29.92 50 0 4 ", "2001 7 14 2 29.92 50 0 -4 "}},
       "Error: line 3 of the hmet_ZEP file hmet.zep: the wind speed -4 knots is outside its "
       "range; it must be 0 or more knots."},
      {"a meteorology hour given twice", "lt10", "",
       {{"hmet.zep", "2001 7 14 2 ", "2001 7 14 1 "}},
       "Error: line 3 of the hmet_ZEP file hmet.zep gives 2001 7 14 hour 1, the same hour as the "
       "hour before it (2001 7 14 hour 1)"},
      {"meteorology hours out of order", "lt10", "",
       {{"hmet.zep", "2001 7 14 2 ", "2001 7 14 0 "}},
       "Error: line 3 of the hmet_ZEP file hmet.zep gives 2001 7 14 hour 0, 1 hour before the "
       "hour before it (2001 7 14 hour 1)"},
      {"meteorology going back a day", "lt10", "",
       {{"hmet.zep", "2001 7 14 2 ", "2001 7 13 2 "}},
       "Error: line 3 of the hmet_ZEP file hmet.zep gives 2001 7 13 hour 2, 23 hours before the "
       "hour before it (2001 7 14 hour 1)"},
      {"a specific gravity of -2.65", "plane20", erosion,
       {{"soils.idx", "", two_soils}, {"tables.cmt", "", sediment_tables("-2.65  0.002", two_rows)}},
       "Error: class 1 of the SEDIMENTS table in the mapping table file tables.cmt (line 6): the "
       "specific gravity -2.65 is outside its range; it must be above 1."},
      {"a negative particle diameter", "plane20", erosion,
       {{"soils.idx", "", two_soils}, {"tables.cmt", "", sediment_tables("2.65  -0.002", two_rows)}},
       "Error: class 1 of the SEDIMENTS table in the mapping table file tables.cmt (line 6): the "
       "particle diameter -0.002 is outside its range; it must be above 0."},
      {"erosion fractions summing to 1.5", "plane20", erosion,
       {{"soils.idx", "", two_soils},
        {"tables.cmt", "",
         sediment_tables("2.65  0.002", erosion_row(1, "0.4  0.6") + erosion_row(2, "0.7  0.8"))}},
       "Error: row 2 of the SOIL_EROSION_PROPS table in the mapping table file tables.cmt (line "
       "13): the fractions of its 2 sediment classes sum to 1.5; they must sum to 1 within "
       "0.001."},
      {"a negative erosion fraction", "plane20", erosion,
       {{"soils.idx", "", two_soils},
        {"tables.cmt", "",
         sediment_tables("2.65  0.002", erosion_row(1, "1.2  -0.2") + erosion_row(2, "0.2  0.8"))}},
       "Error: row 1 of the SOIL_EROSION_PROPS table in the mapping table file tables.cmt (line "
       "12): the fraction 1.2 of sediment class 1 is outside its range; it must be from 0 to 1."},
      {"an erosion id that no cell has", "plane20", erosion,
       {{"soils.idx", "", two_soils},
        {"tables.cmt", "",
         sediment_tables("2.65  0.002", erosion_row(1, "0.4  0.6") + erosion_row(3, "0.2  0.8"))}},
       "Error: cell 11 (row 1, column 11) of the index map soils.idx has the soil id 2, which "
       "has no row in the SOIL_EROSION_PROPS table of the mapping table file tables.cmt, so its "
       "cells would have no erosion properties; the table's id 3 (line 13) is in no cell."},
      {"a negative rain concentration", "plane20", contaminants,
       {{"soils.idx", "", two_soils}, {"tables.cmt", "", contaminant_tables("-2", "0 0 0 0 0 0 0 0")}},
       "Error: the PRECIP_CONC line of constituent 1 of the CONTAMINANT_TRANSPORT table in the "
       "mapping table file tables.cmt (line 6): the value -2 is outside its range; it must be 0 "
       "or more."},
      {"a negative decay rate", "plane20", contaminants,
       {{"soils.idx", "", two_soils}, {"tables.cmt", "", contaminant_tables("2", "0 -0.5 0 0 0 0 0 0")}},
       "Error: row 1 of constituent 1 of the CONTAMINANT_TRANSPORT table in the mapping table "
       "file tables.cmt (line 10): the decay rate -0.5 is outside its range; it must be 0 or "
       "more."},
      {"a negative initial concentration", "plane20", contaminants,
       {{"soils.idx", "", two_soils}, {"tables.cmt", "", contaminant_tables("2", "0 0 0 0 0 -1 0 0")}},
       "file tables.cmt (line 10): the initial surface concentration -1 is outside its range"},
      {"a soil-moisture hot start of 2.5", "lt10", hotstart,
       {{"moisture.asc", "", uniform_row(10, "2.5")}},
       "Error: the soil water content of cell 1 (row 1, column 1) from moisture.asc is 2.5; it "
       "must be from 0 to 1."},
      {"a soil-moisture hot start above the porosity", "lt10", hotstart,
       {{"moisture.asc", "", uniform_row(10, "0.6")}},
       "Error: the soil water content of cell 1 (row 1, column 1) from moisture.asc is 0.6, "
       "above the porosity 0.45 of its soil; it must be from 0 to the porosity."},
      {"a sound soil-moisture hot start", "lt10", hotstart,
       {{"moisture.asc", "", uniform_row(10, "0.45")}},
       "reading soil moisture hotstart map from file: moisture.asc", 0},
  };
  // clang-format on
  run_cases(cases);
}

// The bundled basin with one value of each kind these readers check pushed
// out of its range.
TEST(bad_reader_values, the_basin_example_with_a_value_out_of_range_stops_naming_the_file) {
  const struct {
    const char* project;
    const char* file;
    const char* old_text;
    const char* new_text;
    const char* message;
  } cases[] = {
      {"basin.prj", "hmet.zep", "2001 3 10 1 29.92 90 ", "2001 3 10 1 29.92 500 ",
       "line 2 of the hmet_ZEP file hmet.zep: the relative humidity 500 percent"},
      {"basin.prj", "hmet.zep", "2001 3 10 1 ", "2001 3 10 0 ",
       "line 2 of the hmet_ZEP file hmet.zep gives 2001 3 10 hour 0, the same hour"},
      {"basin.prj", "tables.cmt", "Clay                                    2.65",
       "Clay                                    -2.65",
       "class 1 of the SEDIMENTS table in the mapping table file tables.cmt (line 7): the "
       "specific gravity -2.65"},
      {"basin.prj", "tables.cmt", "0.3  0.4  0.3", "0.3  0.4  0.8",
       "mapping table file tables.cmt (line 14): the fractions of its 3 sediment classes sum to "
       "1.5"},
      {"basin_tracers.prj", "tables.cmt", "PRECIP_CONC 5", "PRECIP_CONC -5",
       "the PRECIP_CONC line of constituent 2 of the CONTAMINANT_TRANSPORT table in the mapping "
       "table file tables.cmt (line 25): the value -5"},
      {"basin_tracers.prj", "tables.cmt", "0 0.864 0", "0 -0.864 0",
       "file tables.cmt (line 29): the decay rate -0.864 is outside its range"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.project) + ": " + c.new_text);
    temp_dir dir;
    dir.copy_files_of(fs::path(VALTO_FIXTURES_DIR) / ".." / ".." / "examples" / "basin");
    ASSERT_TRUE(dir.replace_in(c.file, c.old_text, c.new_text)) << c.old_text;
    const auto run = test_support::run_program(c.project, dir.path());
    EXPECT_EQ(run.status, 1) << run.output.substr(0, 3000);
    EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output.substr(0, 3000);
  }
}

}  // namespace
