// The interface hydrograph file: its layout from hand-made outlet and
// location files, and whole runs that read back their own outlet and
// location hydrographs at the end.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "../surface/surface_run_fixture.h"
#include "output/write_hydrograph_file.h"
#include "test_support.h"

namespace {

using test_support::lines_of;

using namespace surface_fixture;
using test_support::read_file;
using test_support::temp_dir;

// Outlet rows "t q" with q = 0.5 x row number.
std::string outlet_rows(int rows) {
  std::string text;
  char line[64];
  for (int i = 1; i <= rows; ++i) {
    std::snprintf(line, sizeof line, "%8.2lf %9.3lf\n", i - 1.0, 0.5 * i);
    text += line;
  }
  return text;
}

// Writes the interface file from the given outlet and location texts (no
// location file when locations is null) and returns it.
std::string interface_file(const std::string& outlet, const char* locations, long rows) {
  temp_dir dir;
  dir.write("outlet.hyd", outlet);
  std::FILE* in = std::fopen(dir.file("outlet.hyd").c_str(), "r");
  std::FILE* loc = nullptr;
  if (locations) {
    dir.write("loc.out", locations);
    loc = std::fopen(dir.file("loc.out").c_str(), "r");
  }
  std::FILE* out = std::fopen(dir.file("tpg.hyd").c_str(), "w");
  write_hydrograph_file(in, out, loc, 20000601, 630, 2, rows);
  std::fclose(out);
  std::fclose(in);
  if (loc) std::fclose(loc);
  return read_file(dir.file("tpg.hyd"));
}

TEST(hydrograph_file, outlet_block_breaks_after_every_tenth_value) {
  struct block_case {
    int file_rows;  // rows in the outlet file
    long rows;      // rows the run counted
    const char* tail;
  };
  const block_case cases[] = {
      {10, 10, "     4.5000      5.0000\n"},
      {11, 11, "     5.0000\n     5.5000 "},
      // An outlet file that ends early writes fewer values; the count stands.
      {3, 5, "     1.0000      1.5000 "},
  };
  for (const block_case& c : cases) {
    const std::string text = interface_file(outlet_rows(c.file_rows), nullptr, c.rows);
    const std::string head =
        "MERIDAN_TPG_HYDROGRAPH_FILE\n0\n20000601\n630\n2\n" + std::to_string(c.rows) + "\n";
    ASSERT_EQ(text.rfind(head, 0), 0u) << text;
    const std::string tail(c.tail);
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail) << c.rows;
    EXPECT_EQ(text.size(), head.size() + 12u * std::min<long>(c.file_rows, c.rows)) << c.rows;
  }
}

// Two locations: their descriptions copied, then each location's values on
// a fresh line; the missing value of a short row reads as 0.
TEST(hydrograph_file, location_block_starts_each_location_on_a_fresh_line) {
  const char* locations =
      "2\n3 5\n1 3\n"
      "    0.00000000     1.000000     2.000000 \n"
      "    1.00000000     3.000000 \n";
  EXPECT_EQ(interface_file(outlet_rows(2), locations, 2),
            "MERIDAN_TPG_HYDROGRAPH_FILE\n2\n20000601\n630\n2\n2\n3 5\n1 3\n"
            "     0.5000      1.0000 \n"
            "     1.0000      3.0000 \n"
            "     2.0000      0.0000 ");
}

class interface_run : public testing::Test {
 protected:
  // Copies a fixture folder into the run folder, its project's cards
  // edited, and runs it in-process.
  run_output run(const std::string& folder, const std::vector<std::string>& files,
                 const std::string& extra, const std::vector<std::string>& drop = {}) {
    for (const std::string& name : files) dir_.write(name, fixture_text(folder, name));
    const std::string prj = folder + ".prj";
    dir_.write(prj, edit_cards(fixture_text(folder, prj), drop, extra));
    return run_in_process(dir_.path(), prj);
  }
  std::string file(const std::string& name) { return read_file(dir_.file(name)); }

  temp_dir dir_;
};

// 360 minutes at a 30 s step, a row a minute: 361 rows, each outlet value
// printed again, ten to a line.
TEST_F(interface_run, plane20_writes_its_outlet_hydrograph_again_ten_to_a_line) {
  const std::vector<std::string> files = {"mask.asc", "elevation.asc"};
  const run_output out = run("plane20", files, "TPG_HYDRO tpg.hyd\n");
  ASSERT_EQ(out.status, 0) << out.text;
  const std::vector<std::string> lines = lines_of(file("tpg.hyd"));
  ASSERT_EQ(lines.size(), 6u + 37u);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 6),
            (std::vector<std::string>{"MERIDAN_TPG_HYDROGRAPH_FILE", "0", "20000601", "0", "2",
                                      "361"}));
  std::vector<double> values;
  for (std::size_t i = 6; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const std::size_t count = i + 1 < lines.size() ? 10u : 1u;
    ASSERT_EQ(line.size(), 12u * count - (count == 10u ? 1u : 0u)) << "line " << i;
    for (std::size_t k = 0; k < count; ++k) values.push_back(std::stod(line.substr(12 * k, 11)));
  }
  EXPECT_EQ(file("tpg.hyd").back(), ' ');
  const std::vector<std::string> outlet = lines_of(file("outlet.hyd"));
  ASSERT_EQ(values.size(), outlet.size());
  for (std::size_t i = 0; i < outlet.size(); ++i)
    EXPECT_DOUBLE_EQ(values[i], std::stod(outlet[i].substr(9))) << i;
  EXPECT_GT(values.back(), 0.0);

  const run_output later = run("plane20", files, "TPG_HYDRO tpg.hyd\nSTART_TIME 6 30\n",
                               {"START_TIME"});
  ASSERT_EQ(later.status, 0) << later.text;
  EXPECT_EQ(lines_of(file("tpg.hyd"))[3], "630");
}

// The junction's outlet and head-link locations: the location lines come
// back, and each location's 121 values start on a line of their own.
TEST_F(interface_run, channel_locations_follow_the_outlet_block) {
  dir_.write("points.txt", "NUMPT 2\nPOINT 1 1 2.0\nPOINT 1 2 3.0\nNRPDS 0\n");
  dir_.write("hyd.loc", "2\n3 5\n1 3\n");
  const std::vector<std::string> files = {"mask.asc", "elevation.asc", "junction.chan",
                                          "junction.gst"};
  const run_output out = run("junction", files,
                             "CHAN_POINT_INPUT points.txt\nIN_HYD_LOCATION hyd.loc\n"
                             "OUT_HYD_LOCATION hyd.out\nTPG_HYDRO tpg.hyd\n");
  ASSERT_EQ(out.status, 0) << out.text;
  const std::vector<std::string> lines = lines_of(file("tpg.hyd"));
  ASSERT_EQ(lines.size(), 8u + 3u * 13u);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 8),
            (std::vector<std::string>{"MERIDAN_TPG_HYDROGRAPH_FILE", "2", "20000601", "0", "2",
                                      "121", "3 5", "1 3"}));
  // Each block: twelve full lines and one value with its blank.
  for (int block = 0; block < 3; ++block) {
    EXPECT_EQ(lines[8 + 13 * block + 12].size(), 12u) << block;
    EXPECT_EQ(lines[8 + 13 * block].size(), 119u) << block;
  }
  // Minute 60 (row 61): the outlet carries 5 m3/s, the head link's node 3
  // the 2 m3/s of its point inflow.
  const std::vector<std::string> hyd = lines_of(file("hyd.out"));
  ASSERT_EQ(hyd.size(), 3u + 121u);
  EXPECT_EQ(lines[8 + 13 + 6].substr(0, 11), "     5.0000");
  EXPECT_EQ(lines[8 + 26 + 6].substr(0, 11), "     2.0000");
  EXPECT_EQ(lines[8 + 6].substr(0, 11), "     5.0000");
}

// An interface file that cannot be created, or locations asked for without
// their output file, abort the write with the message; the run ends well.
TEST_F(interface_run, an_unwritable_interface_file_aborts_the_write_only) {
  const std::vector<std::string> files = {"mask.asc", "elevation.asc"};
  const run_output out = run("plane20", files, "TPG_HYDRO nodir/tpg.hyd\n");
  EXPECT_EQ(out.status, 0) << out.text;
  const std::string message =
      "\n\nError: Unable to open files to write the TPG hydrograph file.\n Write aborted.\n";
  EXPECT_NE(out.text.find(message), std::string::npos) << out.text;
  EXPECT_NE(file("summary.out").find(message), std::string::npos);
}

}  // namespace
