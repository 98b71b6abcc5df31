// The program on malformed projects: each broken copy of the plane20
// project, beside an untouched one in the same folder, must end with exit
// status 1 and a message naming what is wrong, and never crash or run on;
// the good project must still run afterwards. Then each process's own input
// file, broken in a fixture project that reads it.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "test_support.h"

namespace {

using test_support::read_file;
using test_support::padded;
using test_support::temp_dir;

std::string fixture(const std::string& name) {
  return read_file((std::filesystem::path(VALTO_FIXTURES_DIR) / "plane20" / name).string());
}

// The project's files, edited by each case before they are written.
struct project_files {
  std::string project = fixture("plane20.prj");
  std::string mask = fixture("mask.asc");
  std::string elevation = fixture("elevation.asc");
  std::vector<std::pair<std::string, std::string>> extra;  // further side files

  // Replaces the whole line of the card by text (the card must be there).
  void set_card(const std::string& card, const std::string& text) {
    const std::size_t at = project.find("\n" + card + " ");
    ASSERT_NE(at, std::string::npos) << card;
    const std::size_t end = project.find('\n', at + 1);
    project.replace(at + 1, end - at - 1, text);
  }
  void add_cards(const std::string& text) { project += text; }
};

std::string grid_header(int rows, int cols) {
  return "north: 100\nsouth: 0\neast: 2000\nwest: 0\nrows: " + std::to_string(rows) +
         "\ncols: " + std::to_string(cols) + "\n";
}

struct bad_case {
  const char* label;
  std::function<void(project_files&)> edit;
  std::string message;  // a part of the output the run must print
};

TEST(bad_input_program, every_malformed_project_stops_with_status_1_and_a_message) {
  const std::string twenty_ones = "1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1\n";
  // clang-format off
  const std::vector<bad_case> cases = {
      {"an empty project file", [](project_files& f) { f.project.clear(); },
       "File Does not Appear to be a Valid VALTO/KIRNAB Project file"},
      {"binary junk", [](project_files& f) { f.project = std::string("\x7f" "ELF\x02\x01\x01\0\0\xff\xfe", 11) + "\x01\x02\n"; },
       "File Does not Appear to be a Valid VALTO/KIRNAB Project file"},
      {"a line of fifty thousand characters",
       [](project_files& f) { f.add_cards(std::string(50000, 'x') + "\n"); },
       "Error: line 25 of the project file plane20.prj is longer than 255 characters."},
      {"a truncated elevation grid",
       [&](project_files& f) { f.elevation = grid_header(1, 20) + ""; },
       "Unexpected end of file in file: elevation.asc"},
      {"a mask header that lies about its size",
       [&](project_files& f) { f.mask = grid_header(2, 20) + twenty_ones; },
       "Incorrect number of rows"},
      {"a grid far larger than memory",
       [&](project_files& f) {
         f.set_card("ROWS", "ROWS 2000000000");
         f.set_card("COLS", "COLS 2000000000");
         f.mask = grid_header(2000000000, 2000000000) + twenty_ones;
       },
       "rror"},
      {"a word where a number belongs", [](project_files& f) { f.set_card("GRIDSIZE", "GRIDSIZE ten"); },
       "Error: line 6 of the project file plane20.prj: the value \"ten\" of card GRIDSIZE is not a "
       "finite number."},
      {"an int card beyond the range of an int",
       [](project_files& f) { f.set_card("COLS", "COLS 99999999999"); },
       "Error: line 8 of the project file plane20.prj: the value \"99999999999\" of card COLS is "
       "not a whole number within the range of an int."},
      {"nan in the elevation map",
       [&](project_files& f) {
         f.elevation = grid_header(1, 20) + "19 18 17 nan 15 14 13 12 11 10 9 8 7 6 5 4 3 2 1 0\n";
       },
       "value \"nan\" in row 1, column 4 of map elevation.asc is not a finite number"},
      {"infinity in the elevation map",
       [&](project_files& f) {
         f.elevation = grid_header(1, 20) + "19 18 17 16 15 14 13 12 11 10 9 8 7 6 5 4 3 2 1 inf\n";
       },
       "value \"inf\" in row 1, column 20 of map elevation.asc is not a finite number"},
      {"nan in a roughness map",
       [&](project_files& f) {
         f.set_card("MANNING_N", "ROUGHNESS rough.asc");
         f.extra.push_back({"rough.asc", grid_header(1, 20) +
                                             "0.05 0.05 NaN 0.05 0.05 0.05 0.05 0.05 0.05 0.05 "
                                             "0.05 0.05 0.05 0.05 0.05 0.05 0.05 0.05 0.05 0.05\n"});
       },
       "value \"NaN\" in row 1, column 3 of map rough.asc is not a finite number"},
      {"an outlet outside the grid", [](project_files& f) { f.set_card("OUTCOL", "OUTCOL 21"); },
       "The outlet row and column you specified in the project file are not\ninside the watershed mask."},
      {"a zero time step", [](project_files& f) { f.set_card("TIMESTEP", "TIMESTEP 0"); },
       "the value 0 of card TIMESTEP is outside its range; it must be above 0."},
      {"a negative time step", [](project_files& f) { f.set_card("TIMESTEP", "TIMESTEP -30"); },
       "plane20.prj: the value -30 of card TIMESTEP is outside its range; it must be above 0."},
      {"rain of 1e30 mm/h", [](project_files& f) { f.set_card("RAIN_INTENSITY", "RAIN_INTENSITY 1e30"); },
       "the value 1e+30 of card RAIN_INTENSITY is outside its range; it must be from 0 to 10000."},
      {"a groundwater step of 0", [](project_files& f) { f.add_cards("GW_TIMESTEP 0\n"); },
       "the value 0 of card GW_TIMESTEP is outside its range; it must be above 0."},
      {"a uniform aquifer porosity of 2.5",
       [](project_files& f) { f.add_cards("GW_UNIF_POROSITY 2.5\n"); },
       "the value 2.5 of card GW_UNIF_POROSITY is outside its range; it must be above 0 and at "
       "most 1."},
      {"a missing mask file",
       [](project_files& f) { f.set_card("WATERSHED_MASK", "WATERSHED_MASK absent.asc"); },
       "absent.asc"},
      {"a missing precipitation file",
       [](project_files& f) { f.add_cards("PRECIP_FILE absent.gag\n"); }, "rror"},
      {"a missing elevation file",
       [](project_files& f) { f.set_card("ELEVATION", "ELEVATION absent.asc"); }, "absent.asc"},
      {"a replacement value file of junk",
       [](project_files& f) {
         f.add_cards("REPLACE_PARAMS list.txt\nREPLACE_VALS vals.txt\n");
         f.extra.push_back({"list.txt", "1\n[N] \"%d\"\n"});
         f.extra.push_back({"vals.txt", "\x01\x02zz\n"});
       },
       "is not an integer"},
      {"a time-series file with a non-number",
       [](project_files& f) {
         f.add_cards("TIME_SERIES_FILE s.ts\n");
         f.extra.push_back({"s.ts", "VALTO_TS\nq\nABSOLUTE\n2000 6 1 0 0 one\nEND_TS\n"});
       },
       "s.ts"},
      {"a mask of words", [&](project_files& f) { f.mask = grid_header(1, 20) + "a b c\n"; },
       "mask.asc"},
  };
  // clang-format on
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.label);
    temp_dir dir;
    project_files good;
    project_files bad;
    c.edit(bad);
    for (const auto& [name, text] : bad.extra) dir.write("bad/" + name, text);
    dir.write("bad/plane20.prj", bad.project);
    dir.write("bad/mask.asc", bad.mask);
    dir.write("bad/elevation.asc", bad.elevation);
    dir.write("good/plane20.prj", good.project);
    dir.write("good/mask.asc", good.mask);
    dir.write("good/elevation.asc", good.elevation);

    const auto broken = test_support::run_program("plane20.prj", dir.path() / "bad");
    EXPECT_EQ(broken.status, 1) << broken.output.substr(0, 2000);
    EXPECT_NE(broken.output.find(c.message), std::string::npos) << broken.output.substr(0, 2000);
    const auto fine = test_support::run_program("plane20.prj", dir.path() / "good");
    EXPECT_EQ(fine.status, 0) << fine.output.substr(0, 2000);
  }
}

// A fixture project with one of its process files broken: set-up must stop
// with status 1 and a message that names the file.
struct process_file_case {
  const char* label;
  const char* fixture;  // folder under the fixtures; its project is <fixture>.prj
  std::string cards;    // appended to the project
  // Files written into the copy: (name, text to replace or "", new text);
  // an empty text to replace writes the whole file.
  std::vector<std::tuple<std::string, std::string, std::string>> files;
  std::string message;
  std::string args = "";  // the program's arguments; the project by default
  int status = 1;
};

std::string uniform_row(int value) {
  std::string row = grid_header(1, 20);
  for (int c = 0; c < 20; ++c) row += std::to_string(value) + (c < 19 ? " " : "\n");
  return row;
}

TEST(bad_input_program, every_malformed_process_file_stops_and_names_the_file) {
  const std::string sediments =
      "VALTO_INDEX_MAP_TABLES\nINDEX_MAP soils.idx soils\nSEDIMENTS\nNUM_SED 2\n"
      "DESCRIPTION                             SG  DIAM  BIND  FILE\n" +
      padded("Clay", 40) + "2.65  0.002  0.0  clay.out\n" + padded("Silt", 40) +
      "2.65  fine  0.0  silt.out\n";
  const std::string contaminants =
      "VALTO_INDEX_MAP_TABLES\nINDEX_MAP soils.idx \"All\"\nCONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n"
      "\"Tracer\" \"All\" \"\"\nPRECIP_CONC none\nPARTITION 0\nNUM_IDS 1\n"
      "ID    DESCRIPTION    VALUES\n1     " +
      padded("Everywhere", 80) + "  0 0 0 0 0 0 0 0\n";
  const std::string aquifer =
      "WATER_TABLE table.asc\nGW_SIMULATION\nAQUIFER_BOTTOM bottom.asc\nGW_BOUNDFILE bound.asc\n"
      "GW_UNIF_HYCOND 3600\nGW_UNIF_POROSITY 0.1\nGW_TIMESTEP 3600\nGW_FLUXBOUNDTABLE flux.txt\n";
  // The channel file as a transfer stopped before its first roughness.
  const std::string bank_chan =
      read_file((std::filesystem::path(VALTO_FIXTURES_DIR) / "bank" / "bank.chan").string());
  const std::string bank_cut_short = bank_chan.substr(0, bank_chan.find("MANNINGS_N"));
  // clang-format off
  const std::vector<process_file_case> cases = {
      {"a channel file with a word for a number", "bank", "",
       {{"bank.chan", "ALPHA 1.0", "ALPHA one"}},
       "Error in the channel input file bank.chan, line 4, card ALPHA: \"one\" is not a number."},
      {"a link that drains into itself", "bank", "", {{"bank.chan", "CONNECT 1 0 0", "CONNECT 1 1 0"}},
       "Error in the channel input file bank.chan, line 9, card CONNECT: link 1 drains into itself"},
      {"a second LINKS card", "bank", "", {{"bank.chan", "MAXNODES 11", "LINKS 1"}},
       "Error in the channel input file bank.chan, line 8, card LINKS: a second LINKS card"},
      {"a negative bottom width", "bank", "", {{"bank.chan", "BOTTOM_WIDTH 2", "BOTTOM_WIDTH -2"}},
       "card BOTTOM_WIDTH: the bottom width -2 is outside its range; it must be 0 or more."},
      {"a weir without a crest length", "weirlake", "",
       {{"weirlake.chan", "CREST_LENGTH 5", "CREST_LENGTH five"}},
       "Error in the channel input file weirlake.chan, line 42, card CREST_LENGTH"},
      {"a lake without a top level", "weirlake", "",
       {{"weirlake.chan", "MAXWSE 11.0", "MAXWSE eleven"}},
       "Error in the channel input file weirlake.chan, line 35, card MAXWSE"},
      {"a layered soil line cut short", "plane20",
       "INF_LAYERED_SOIL\nSOIL_TYPE_MAP soils.asc\nSOIL_LAYER_INPUT_FILE layers.txt\n",
       {{"soils.asc", "", uniform_row(1)}, {"layers.txt", "", "1\n0\n1\n1.0 x\n"}},
       "of the layered soil file layers.txt"},
      {"an hour of meteorology with a word in it", "lt10", "",
       {{"hmet.zep", "2001 7 14 2 29.92", "2001 7 14 2 high"}},
       "(File: hmet.zep)"},
      {"a snow band file without its count", "lt10",
       "NWSRFS_SNOW\nNWSRFS_ELEV_SNOW bands.txt\n", {{"bands.txt", "", "number_bands: x\n"}},
       "Error reading elevation based NWSRFS snow input parameter file: bands.txt"},
      {"a Sacramento file without its basin count", "lt5sac", "",
       {{"basin.sac", "", "VALTO_SACRAMENTO\nnum_basins x\n"}},
       "Error: line 2 of the Sacramento parameter file basin.sac"},
      {"a static aquifer flux off the grid", "plane20", aquifer,
       {{"table.asc", "", uniform_row(15)}, {"bottom.asc", "", uniform_row(0)},
        {"bound.asc", "", uniform_row(1)}, {"flux.txt", "", "1\n6 3 -864.0\n"}},
       "Error: line 2 of the static-flux file flux.txt"},
      {"a groundwater boundary code 9", "plane20", aquifer,
       {{"table.asc", "", uniform_row(15)}, {"bottom.asc", "", uniform_row(0)},
        {"bound.asc", "", uniform_row(9)}, {"flux.txt", "", "0\n"}},
       "Error: the groundwater boundary type of cell 1 (row 1, column 1) from bound.asc is 9;"},
      {"an aquifer bottom above the ground", "plane20", aquifer,
       {{"table.asc", "", uniform_row(15)}, {"bottom.asc", "", uniform_row(100)},
        {"bound.asc", "", uniform_row(1)}, {"flux.txt", "", "0\n"}},
       "Error: the aquifer bottom of cell 1 (row 1, column 1) from bottom.asc is 100 m, above "
       "the ground"},
      {"a pipe junction of words", "plane20", "STORM_SEWER net.txt\n",
       {{"net.txt", "", "SJUNC 1 x\n"}}, "(File: net.txt, line 1)"},
      {"an empty storm sewer file", "plane20", "STORM_SEWER net.txt\n", {{"net.txt", "", ""}},
       "Error: the storm sewer file gives 0 SJUNC and 0 CONNECT cards; a network needs at least "
       "two superjunctions and one superlink.\n  (File: net.txt)\n"},
      {"a storm sewer file of binary junk", "plane20", "STORM_SEWER net.txt\n",
       {{"net.txt", "", std::string("\x7f" "ELF\x02\x01\x01\0\0\xff\xfe", 11) + "\n"}},
       "Error: the storm sewer file holds bytes that are not text.\n  (File: net.txt, line 1)\n"},
      {"a duplicated SJUNC card", "plane20", "STORM_SEWER net.txt\n",
       {{"net.txt", "", "SJUNC 1 20 17 1 0 1 1 0 0\nSJUNC 2 10 7 1 888 1 20 0 0\n"
                        "SJUNC 2 10 7 1 888 1 20 0 0\nCONNECT 1 1 2\n"}},
       "Error: superjunction 2 is given a second time; its first card is on line 2.\n  (File: "
       "net.txt, line 3)\n"},
      {"a precipitation rate of 1e30 mm/h", "plane20", "PRECIP_FILE storm.gag\n",
       {{"plane20.prj", "PRECIP_UNIF\nRAIN_INTENSITY   36\nRAIN_DURATION    240\n", ""},
        {"storm.gag", "", "EVENT storm\nNRGAG 1\nNRPDS 2\nCOORD 0 50\n"
                          "RATES 2000 6 1 0 0 1e30\nRATES 2000 6 1 1 0 0\n"}},
       "Error: the rain rate 1e+30 mm/h of gage 1 on line 5 of the precipitation file storm.gag"},
      {"a channel file cut short", "bank", "",
       {{"bank.chan", "", bank_cut_short}},
       "the link has no MANNINGS_N card (is the channel input file bank.chan cut short?)"},
      {"a Manning n of 1e300", "bank", "", {{"bank.chan", "MANNINGS_N 0.035", "MANNINGS_N 1e300"}},
       "Error in the channel input file bank.chan, line 14, card MANNINGS_N: the Manning n 1e+300 of "
       "link 1 is outside its range; it must be above 0 and at most 10."},
      {"an SCE start value outside its bounds", "calib10", "",
       {{"sce.in", "0.15 0.02 0.30", "0.5 0.02 0.30"}},
       "Error: the start value 0.5 of parameter 1 on line 6 of the SCE input file sce.in is outside "
       "its bounds; it must be from 0.02 to 0.3.\n", "-c sce.in"},
      {"a negative observation weight", "calib10", "",
       {{"calib10.obs", "0.269 1 1457.4 1", "0.269 -1 1457.4 1"}},
       "Error: the peak weight -1 of event 1 on line 2 of the observation file calib10.obs is "
       "outside its range; it must be 0 or more.\n", "-c sce.in"},
      {"an observation file with a wrong count", "calib10", "", {{"calib10.obs", "1\n", "2\n"}},
       "Error: the observation file calib10.obs gives 2 events on line 1 but ends at line 2, after 1 "
       "of them.\n", "-c sce.in"},
      {"a Monte Carlo lower bound above its upper", "calib10", "",
       {{"mc.in", "0.02 0.30", "0.30 0.02"}},
       "Error: parameter 1 on line 5 of the Monte Carlo input file mc.in has the lower bound 0.3 "
       "above its upper bound 0.02.\n", "-m3 mc.in"},
      {"a sediment class without its diameter", "plane20",
       "SOIL_EROSION 1\nSAND_SIZE 0.0625\nWATER_TEMP 20\nMAPPING_TABLE tables.cmt\n"
       "OUTLET_SED_FLUX outlet.sed\n",
       {{"soils.idx", "", uniform_row(1)}, {"tables.cmt", "", sediments}},
       "Error: class 2 of the SEDIMENTS table in the mapping table file tables.cmt (line 7)"},
      {"a constituent's rain concentration that is no number", "plane20",
       "MAPPING_TABLE tables.cmt\nOV_CON_TRANS\n",
       {{"soils.idx", "", uniform_row(1)}, {"tables.cmt", "", contaminants}},
       "mapping table file tables.cmt (line 6) needs a number after its keyword."},
      {"an aquatic environment file of an older version", "plane20", "NUTRIENTS\nAQ_ENV aq.env\n",
       {{"aq.env", "", "AQUATIC_ENV_NSM1\nOV_MAP ov.idx\nNUM_IDS 1\nx\n"}},
       "The aquatic environment file specified is: aq.env"},
      {"a nutrient's initial map that is not there", "plane20",
       "NUTRIENTS\nAQ_ENV aq.env\nOV_INIT_DO absent.asc\n",
       {{"ov.idx", "", uniform_row(1)},
        {"aq.env", "", "AQUATIC_ENV_NSM10\nOV_MAP ov.idx\nNUM_IDS 1\nID  PARAMETERS\n1\nDEFAULT\n"}},
       "Error: Unable to open the nutrient file absent.asc"},
      {"a calibration input cut short", "calib10", "", {{"bad.in", "", "calib10.prj\nlist.txt\n"}},
       "Error: the SCE input file bad.in ends at line 3, before its three path lines.", "-c bad.in"},
      // An analyzer file is a report on the run, not an input to it: the run
      // goes on without it, saying so.
      {"an analyzer file that is missing", "plane20", "ANALYZERS none.txt\n", {},
       "Warning: unable to open the analyzer file none.txt; the run goes on without analyzers.",
       "", 0},
  };
  // clang-format on
  for (const process_file_case& c : cases) {
    SCOPED_TRACE(c.label);
    temp_dir dir;
    dir.copy_files_of(std::filesystem::path(VALTO_FIXTURES_DIR) / c.fixture);
    const std::string project = std::string(c.fixture) + ".prj";
    dir.write(project, read_file((dir.path() / project).string()) + c.cards);
    for (const auto& [name, old_text, new_text] : c.files) {
      if (old_text.empty()) dir.write(name, new_text);
      else ASSERT_TRUE(dir.replace_in(name, old_text, new_text)) << name << ": " << old_text;
    }
    const auto run = test_support::run_program(c.args.empty() ? project : c.args, dir.path());
    EXPECT_EQ(run.status, c.status) << run.output.substr(0, 3000);
    EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output.substr(0, 3000);
  }
}

}  // namespace
