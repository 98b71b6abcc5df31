// The bundled examples with one value of each checked kind pushed out of its
// physical range: set-up must stop with status 1 and name the file.

#include <gtest/gtest.h>

#include <filesystem>
#include <cstring>
#include <string>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::temp_dir;

struct range_case {
  const char* example;  // folder under examples/, its project <example>.prj
  const char* file;     // the file edited
  const char* old_text;
  const char* new_text;
  const char* message;  // a part of the output, naming the file
  const char* args = nullptr;  // the program's arguments; <example>.prj by default
};

TEST(example_ranges, each_example_with_a_value_out_of_range_stops_naming_the_file) {
  // clang-format off
  const range_case cases[] = {
      {"valley", "valley.prj", "TIMESTEP         10", "TIMESTEP -30",
       "project file valley.prj: the value -30 of card TIMESTEP is outside its range"},
      {"valley", "valley.prj", "RAIN_INTENSITY   20", "RAIN_INTENSITY 1e30",
       "project file valley.prj: the value 1e+30 of card RAIN_INTENSITY"},
      {"basin", "basin.prj", "GW_UNIF_POROSITY 0.2", "GW_UNIF_POROSITY 2.5",
       "project file basin.prj: the value 2.5 of card GW_UNIF_POROSITY"},
      {"basin", "basin.prj", "GW_TIMESTEP      30", "GW_TIMESTEP 0",
       "project file basin.prj: the value 0 of card GW_TIMESTEP"},
      {"basin", "basin.chan", "BOTTOM_WIDTH 3", "BOTTOM_WIDTH -3",
       "channel input file basin.chan, line 21, card BOTTOM_WIDTH"},
      {"basin", "bound.asc", "1 4 1", "1 9 1", "from bound.asc is 9;"},
      {"basin", "basin.chan", "MANNINGS_N 0.035", "MANNINGS_N 1e300",
       "channel input file basin.chan, line 17, card MANNINGS_N: the Manning n 1e+300"},
      {"basin", "rain.gag", "RATES 2001 3 10 1 0 12", "RATES 2001 3 10 1 0 1e30",
       "on line 7 of the precipitation file rain.gag"},
      {"basin", "basin_sce.in", "2 0.5 6", "7 0.5 6",
       "on line 6 of the SCE input file basin_sce.in is outside its bounds", "-c basin_sce.in"},
      {"basin", "basin_calib.obs", "2\n", "2\n2.0 1 50000.0 -1\n",
       "the volume weight -1 of event 1 on line 2 of the observation file basin_calib.obs",
       "-c basin_sce.in"},
      {"basin", "basin_mc.in", "0.05 1.5", "1.5 0.05",
       "on line 6 of the Monte Carlo input file basin_mc.in has the lower bound 1.5", "-m2 basin_mc.in"},
  };
  // clang-format on
  for (const range_case& c : cases) {
    SCOPED_TRACE(std::string(c.example) + ": " + c.new_text);
    temp_dir dir;
    dir.copy_files_of(fs::path(VALTO_FIXTURES_DIR) / ".." / ".." / "examples" / c.example);
    ASSERT_TRUE(dir.replace_in(c.file, c.old_text, c.new_text)) << c.old_text;
    const auto run =
        test_support::run_program(c.args ? c.args : std::string(c.example) + ".prj", dir.path());
    EXPECT_EQ(run.status, 1) << run.output.substr(0, 3000);
    EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output.substr(0, 3000);
  }
}

}  // namespace
