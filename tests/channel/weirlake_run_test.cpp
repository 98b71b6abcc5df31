// The weirlake project run whole: a channel feeds a lake in a hollow of the
// grid, which spills over a weir into the outlet channel. With 2 m3/s of
// point inflow the lake rises until the weir passes what comes in:
// (2/3) Cd L sqrt(2g h^3 / 3) = 2 m3/s over a 5 m crest at 10.2 m gives
// h = 0.3803 m, a level of 10.5803 m; the lake then holds its two cells at
// 10.0 m and the cell at 10.5 m it took on the way up.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "../surface/surface_run_fixture.h"
#include "channel/channel_state.h"
#include "test_support.h"

namespace {

using test_support::lines_of;

using namespace surface_fixture;
using test_support::temp_dir;

int count_of(const std::string& text, const std::string& part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++n;
  return n;
}

class weirlake_run : public testing::Test {
 protected:
  // edit_files runs after the fixture is copied, before the run.
  run_output run(const std::string& extra = "",
                 const std::function<void(model_state&)>& after_pass = nullptr,
                 const std::function<void()>& edit_files = nullptr) {
    for (const char* name :
         {"mask.asc", "elevation.asc", "weirlake.chan", "weirlake.gst", "points.txt"})
      dir_.write(name, fixture_text("weirlake", name));
    if (edit_files) edit_files();
    dir_.write("weirlake.prj", edit_cards(fixture_text("weirlake", "weirlake.prj"), {}, extra));
    return run_in_process(dir_.path(), "weirlake.prj", after_pass);
  }
  std::string file(const std::string& name) { return test_support::read_file(dir_.file(name)); }

  temp_dir dir_;
};

TEST_F(weirlake_run, the_lake_rises_until_the_weir_passes_the_inflow) {
  double level = 0.0, volume = 0.0;
  int cells = 0;
  const run_output out = run(
      "DEPTH depth\nMAP_FREQ 360\n",
      [&](model_state& s) {
        level = s.channel.lake_elev[1];
        volume = s.channel.lake_volume[1];
        cells = s.channel.lake_cells[1];
      },
      [&] { std::filesystem::create_directory(dir_.path() / "depth"); });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_NEAR(level, 10.5804, 0.001);
  EXPECT_NEAR(volume, 12412.0, 30.0);
  EXPECT_EQ(cells, 3);
  const std::vector<progress_row> rows = progress_rows(out.text);
  ASSERT_FALSE(rows.empty());
  EXPECT_NEAR(rows.back().q, 2.0, 0.002);

  EXPECT_EQ(count_of(out.text, "Lake 1 is taking cell 10 with depth 0.000000\n"), 1) << out.text;
  EXPECT_EQ(count_of(out.text, "is taking cell"), 1);
  EXPECT_EQ(count_of(out.text, "Removing cell"), 0);

  const std::vector<std::string> lake = lines_of(file("lake.out"));
  ASSERT_EQ(lake.size(), 13u);
  EXPECT_EQ(lake[0], "    0.00000000    10.200   4000.000 ");
  EXPECT_EQ(lake[12].substr(0, 15), "  720.00000000 ");

  const std::string summary = file("summary.out");
  EXPECT_NEAR(summary_value(summary, "Initial volume in perennial lakes"), 4000.0, 1e-9);
  EXPECT_NEAR(summary_value(summary, "Total channel point sources="), 86400.0, 1e-6);
  EXPECT_NEAR(summary_value(summary, "Perennial lake mass bal error m^3="), 0.0, 1.0);
  EXPECT_LT(std::fabs(summary_value(summary, "Overall mass balance error =")), 0.01) << summary;
  EXPECT_NE(summary.find("initial volume in lakes                         4000.0\n"),
            std::string::npos)
      << summary;
  EXPECT_NE(summary.find("volume remaining in lakes"), std::string::npos);
  EXPECT_NE(summary.find("Lakes were simulated.\n"), std::string::npos);

  // The last depth map shows the lake's water over its three cells.
  const std::vector<std::string> map = lines_of(file("depth/depth.0003.asc"));
  ASSERT_EQ(map.size(), 10u);
  std::istringstream row2(map[7]), row3(map[8]);
  double d[8];
  for (int i = 0; i < 4; ++i) row2 >> d[i];
  for (int i = 4; i < 8; ++i) row3 >> d[i];
  EXPECT_NEAR(d[1], level - 10.0, 1e-4);
  EXPECT_NEAR(d[2], level - 10.0, 1e-4);
  EXPECT_NEAR(d[5], level - 10.5, 1e-4);
  EXPECT_NEAR(d[6], 0.0, 1e-4);  // (3,3) at 11.0 m lies above the lake
}

// Four links run on one thread unless told otherwise: the hook lowers the
// threshold after the first pass, so the team routes the lake and the weir.
TEST_F(weirlake_run, output_does_not_change_with_the_thread_count) {
  std::vector<std::string> progress, lakes, summaries;
  for (const char* threads : {"NUM_THREADS 1\n", "NUM_THREADS 8\n"}) {
    const run_output out = run(threads, [](model_state& s) { s.channel.parallel_min_links = 1; });
    ASSERT_EQ(out.status, 0) << out.text;
    std::string lines;
    for (const std::string& line : progress_lines(out.text)) lines += line + "\n";
    progress.push_back(lines);
    lakes.push_back(file("lake.out"));
    summaries.push_back(summary_without_times(file("summary.out")));
  }
  EXPECT_EQ(progress[0], progress[1]);
  EXPECT_EQ(lakes[0], lakes[1]);
  EXPECT_EQ(summaries[0], summaries[1]);
}

// Rain on every cell for two hours: the rain on the lake's cells goes to
// the lake, what runs off the cells around it flows in over its edge, and
// both books close whichever overland scheme moves the water.
TEST_F(weirlake_run, rain_on_and_around_the_lake_keeps_the_books_closed) {
  for (const char* scheme : {"OVERTYPE 1\n", "OVERTYPE 2\n"}) {
    SCOPED_TRACE(scheme);
    const run_output out =
        run(std::string(scheme) + "RAIN_INTENSITY 10.8\nRAIN_DURATION 120\n");
    ASSERT_EQ(out.status, 0) << out.text;
    const std::string summary = file("summary.out");
    EXPECT_NEAR(summary_value(summary, "Perennial lake mass bal error m^3="), 0.0, 1.0) << summary;
    EXPECT_LT(std::fabs(summary_value(summary, "Overall mass balance error =")), 0.01) << summary;
    // 10.8 mm/h for 2 h on the two cells the lake holds from the start.
    EXPECT_GE(summary_value(summary, "Volume precip to lakes="), 2 * 10000 * 0.0216 - 1e-6);
    EXPECT_GT(summary_value(summary, "volume overland to lake:"), 0.0);
  }
}

// Rain on every cell, and a pump drawing 0.01 m3/s off cell 1 from the
// start: the pumped water leaves as a negative overland point source, and
// the books still close.
TEST_F(weirlake_run, pumped_water_is_booked_as_a_negative_point_source) {
  dir_.write("pumped.ts",
             "VALTO_TS\npumped\nABSOLUTE\n2000 6 1 0 0 0.01\n2000 6 2 0 0 0.01\nEND_TS\n");
  std::string chan = fixture_text("weirlake", "weirlake.chan");
  chan.insert(chan.find("LINK 4"), "LINK 1\nNODE 1\nPUMPTO 1 0 TS pumped\n");
  double pumped = 0.0;
  const run_output out =
      run("TIME_SERIES_FILE pumped.ts\nRAIN_INTENSITY 10.8\nRAIN_DURATION 120\n",
          [&](model_state& s) { pumped = s.surface.pump_volume; },
          [&] { dir_.write("weirlake.chan", chan); });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_GT(pumped, 1.0);
  const std::string summary = file("summary.out");
  EXPECT_NEAR(summary_value(summary, "Total overland point sources="), -pumped, 0.01) << summary;
  EXPECT_LT(std::fabs(summary_value(summary, "Overall mass balance error =")), 0.01) << summary;
  EXPECT_NEAR(summary_value(summary, "Perennial lake mass bal error m^3="), 0.0, 1.0);
}

// Every level of the fixture raised by offset m: the grid, the beds, the
// lake's levels and the structure's inverts.
std::string raised_grid(const std::string& grid, double offset) {
  std::istringstream in(grid);
  std::string line, out;
  int header = 6;
  while (std::getline(in, line)) {
    if (header-- > 0) {
      out += line + "\n";
      continue;
    }
    std::istringstream row(line);
    double z = 0.0;
    std::string values;
    while (row >> z) values += (values.empty() ? "" : " ") + std::to_string(z + offset);
    out += values + "\n";
  }
  return out;
}

std::string raised_chan(const std::string& chan, double offset) {
  std::istringstream in(chan);
  std::string line, out;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string word;
    double z = 0.0;
    words >> word;
    if ((word == "ELEV" || word == "MINWSE" || word == "INITWSE" || word == "MAXWSE" ||
         word == "UPINVERT" || word == "DOWNINVERT") &&
        words >> z) {
      char text[64];
      std::snprintf(text, sizeof text, "%s %.17g", word.c_str(), z + offset);
      line = text;
    }
    out += line + "\n";
  }
  return out;
}

// The weir traded for a box culvert of rise 0.6 m with its invert at the
// crest: the lake stands where the box passes the 0.5 m3/s that comes in,
// and the same basin built on another datum holds its lake at the same
// height over the invert, the box calibrated alike.
TEST_F(weirlake_run, a_culvert_holds_its_lake_at_the_same_height_on_any_datum) {
  std::string chan = fixture_text("weirlake", "weirlake.chan");
  const std::string weir = chan.substr(chan.find("STRUCTTYPE WEIR"),
                                       chan.find("LINK 4") - chan.find("STRUCTTYPE WEIR"));
  chan.replace(chan.find(weir), weir.size(),
               "STRUCTTYPE RECT_CULVERT\nWIDTH 0.6\nHEIGHT 1.0\nLENGTH 10\nUPINVERT 10.2\n"
               "DOWNINVERT 10.0\nSLOPE 0.02\nROUGH_COEFF 0.013\nINLET_DISCH_COEFF 0.6\n"
               "REV_FLOW_DISCH_COEFF 0.6\n");
  std::vector<double> heights, coefficients;
  for (const double invert : {0.0, 3.0, 20.2, 1234.5}) {
    SCOPED_TRACE(invert);
    const double offset = invert - 10.2;
    double level = 0.0, coefficient = 0.0;
    const run_output out = run(
        "TOT_TIME 360\n",
        [&](model_state& s) {
          level = s.channel.lake_elev[1];
          coefficient = s.channel.elements[1].coeff_inlet;
        },
        [&] {
          dir_.write("weirlake.chan", raised_chan(chan, offset));
          dir_.write("elevation.asc", raised_grid(fixture_text("weirlake", "elevation.asc"), offset));
          dir_.write("points.txt", "NUMPT 1\nPOINT 1 1 0.5\nNRPDS 0\n");
        });
    ASSERT_EQ(out.status, 0) << out.text;
    heights.push_back(level - invert);
    coefficients.push_back(coefficient);
    EXPECT_NEAR(heights.back(), heights.front(), 1e-6);
    EXPECT_NEAR(coefficients.back(), coefficients.front(), 1e-9);
  }
  // Above 1.49 rises the inlet passes critical flow: the calibration's ratio.
  EXPECT_GT(heights.front(), 0.0);
  EXPECT_NEAR(coefficients.front(), 0.7824, 1e-3);
}

// The lake takes its search cells in list order: a list that falls in
// elevation is warned of by lake and position. (This one starts the lake
// on its first and third cells, so the first rise meets a cell the lake
// already holds and stops the run as a merge.)
TEST_F(weirlake_run, a_lake_list_that_falls_is_warned_by_lake_and_position) {
  std::string chan = fixture_text("weirlake", "weirlake.chan");
  chan.replace(chan.find("2 2 2 3 3 2 3 3"), 15, "2 2 3 2 2 3 3 3");
  const run_output out = run("TOT_TIME 1\n", nullptr, [&] { dir_.write("weirlake.chan", chan); });
  EXPECT_NE(out.text.find("Warning: the search cells of lake 1 fall at position 3: cell (2, 3) "
                          "lies at 10.000 m, below the 10.500 m of the cell before it.\n"),
            std::string::npos)
      << out.text;
  EXPECT_EQ(count_of(out.text, "Warning: the search cells"), 1);
}

// Networks whose lakes and structures would make or lose water stop at
// set-up, as does a pump off the watershed.
TEST_F(weirlake_run, lakes_and_structures_that_would_not_conserve_water_are_refused) {
  struct bad_case {
    std::vector<std::pair<std::string, std::string>> edits;  // channel file: from, to
    const char* message;
  };
  const bad_case cases[] = {
      {{{"CONNECT 2 3 1 1", "CONNECT 2 4 1 1"}, {"CONNECT 4 0 1 3", "CONNECT 4 0 2 3 2"}},
       "Error: lake link 2 of the channel network drains into link 4, which is not a structure "
       "link; a lake empties through a structure.\n"},
      {{{"CONNECT 1 2 0", "CONNECT 1 3 0"}, {"CONNECT 3 4 1 2", "CONNECT 3 4 2 2 1"}},
       "Error: structure link 3 of the channel network has 2 upstream links; a structure takes "
       "the water of one.\n"},
      {{{"LINK 4\n", "LINK 1\nNODE 1\nPUMPTO 17 0 TS pumped\nLINK 4\n"}},
       "Error: pump 1 of the channel input file weirlake.chan draws from cell 17, outside the "
       "watershed's cells 1..16.\n"},
  };
  dir_.write("pumped.ts",
             "VALTO_TS\npumped\nABSOLUTE\n2000 6 1 0 0 0.01\n2000 6 2 0 0 0.01\nEND_TS\n");
  for (const bad_case& k : cases) {
    std::string chan = fixture_text("weirlake", "weirlake.chan");
    for (const auto& [from, to] : k.edits) chan.replace(chan.find(from), from.size(), to);
    const run_output out = run("TIME_SERIES_FILE pumped.ts\n", nullptr,
                               [&] { dir_.write("weirlake.chan", chan); });
    EXPECT_EQ(out.status, 1) << out.text;
    EXPECT_NE(out.text.find(k.message), std::string::npos) << out.text;
  }
}

}  // namespace
