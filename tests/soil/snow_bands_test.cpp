// Melt parameters of the cells: the elevation bands file (strict bounds,
// the last band winning, its header and rows refused with their messages)
// and the cards with their defaults.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/error_state.h"
#include "input/project_settings.h"
#include "soil/snow_bands.h"
#include "soil/snow_melt.h"
#include "test_support.h"

namespace {

void clear_errors() { error_state = error_record{}; }

constexpr char header[] =
    "Number_Bands:\t3\n"
    "Lower_Elevation\tUpper_Elevation\tMF_Min\tMF_Max\tSCF\tFR_USE\n";

// Six cells at 100, 150, 200, 250, 300 and 400 m.
struct band_cells {
  int n = 6;
  std::vector<double> elevation = {0.0, 100.0, 150.0, 200.0, 250.0, 300.0, 400.0};
  snow_state s;
  test_support::temp_dir dir;
  band_cells() { EXPECT_TRUE(alloc_snow_cells(s, n)); }
  // Reads text as the bands file; the console output it printed.
  std::string read(const std::string& text, bool& ok) {
    const std::string path = dir.write("bands.txt", text);
    clear_errors();
    test_support::stdout_capture cap;
    ok = read_snow_bands(path.c_str(), n, elevation.data(), s);
    return cap.stop();
  }
  snow_params of(int i) const { return {s.mf_max[i], s.mf_min[i], s.fr_use[i], s.scf[i]}; }
};

void expect_params(const snow_params& got, const snow_params& want, const std::string& what) {
  EXPECT_EQ(got.mf_max, want.mf_max) << what;
  EXPECT_EQ(got.mf_min, want.mf_min) << what;
  EXPECT_EQ(got.fr_use, want.fr_use) << what;
  EXPECT_EQ(got.scf, want.scf) << what;
}

TEST(read_snow_bands, cells_strictly_inside_a_band_take_it_and_the_last_band_wins) {
  band_cells b;
  // The header's words may lie across lines; each band is a line.
  bool ok = false;
  b.read("Number_Bands:\n 3\nLower_Elevation Upper_Elevation\n  MF_Min\tMF_Max SCF FR_USE\n"
         "0    200  0.1 1.0 1.1 0.2\n"
         "\n"
         "200  300  0.3 0.9 1.3 0.4   upper valley\n"
         "240  260  0.5 0.7 1.5 0.6\n",
         ok);
  ASSERT_TRUE(ok);
  const snow_params first{1.0, 0.1, 0.2, 1.1}, third{0.7, 0.5, 0.6, 1.5}, defaults{};
  expect_params(b.of(1), first, "100 m");
  expect_params(b.of(2), first, "150 m");
  expect_params(b.of(3), defaults, "200 m: the upper bound of one band, the lower of the next");
  expect_params(b.of(4), third, "250 m: in two bands, the later one");
  expect_params(b.of(5), defaults, "300 m: on the upper bound");
  expect_params(b.of(6), defaults, "400 m: in no band");

  // A file of no bands leaves every cell at the defaults, over what was set.
  b.read("Number_Bands: 0\nLower_Elevation Upper_Elevation MF_Min MF_Max SCF FR_USE\n", ok);
  ASSERT_TRUE(ok);
  for (int i = 1; i <= b.n; ++i) expect_params(b.of(i), defaults, "no bands");
}

TEST(read_snow_bands, a_bad_file_stops_with_its_message) {
  const std::string usage =
      "The Elevation based NWSRFS input file should have the following format: \n\n"
      "Number_Bands:\tint(number of elevation bands) \n"
      "Lower_Elevation\tUpper_Elevation\tMF_Min\tMF_Max\tSCF\tFR_USE \n";
  const std::string bad_header = "Error reading elevation based NWSRFS snow input parameter file: ";
  struct bcase {
    const char* what;
    std::string text;
    std::vector<std::string> expected;
  } cases[] = {
      {"first word in other letter case",
       "number_bands: 1\nLower_Elevation Upper_Elevation MF_Min MF_Max SCF FR_USE\n0 1 2 3 4 5\n",
       {bad_header, usage, "Line 1 holds \"number_bands:\" where \"Number_Bands:\" belongs."}},
      {"count that is no whole number", "Number_Bands: 2.5\n",
       {bad_header, usage, "Line 1 holds \"2.5\" where \"the number of bands\" belongs."}},
      {"negative count", "Number_Bands: -1\n", {bad_header, "\"the number of bands\" belongs"}},
      {"header word misspelt", "Number_Bands: 1\nLower_Elevation Upper_Elevation MF_Min MF_max\n",
       {bad_header, usage, "Line 2 holds \"MF_max\" where \"MF_Max\" belongs."}},
      {"empty file", "", {bad_header, "The file ends where \"Number_Bands:\" belongs."}},
      {"header cut short", "Number_Bands: 1\nLower_Elevation\n",
       {bad_header, "The file ends where \"Upper_Elevation\" belongs."}},
      {"row of five numbers", std::string(header) + "0 100 0.1 1 1\n100 200 0.1 1 1 0\n",
       {"band 1 (line 3) of the elevation based NWSRFS snow input parameter file",
        "holds fewer than six numbers"}},
      {"fewer rows than bands", std::string(header) + "0 100 0.1 1 1 0\n",
       {"ends before band 2 of its 3."}},
      {"word where a number belongs", std::string(header) + "0 100 0.1 1.2x 1 0\n",
       {"band 1 (line 3)", "holds \"1.2x\" where its MF_Max belongs"}},
      {"value that is no finite number", std::string(header) + "0 100 nan 1 1 0\n",
       {"holds \"nan\" where its MF_Min belongs"}},
      {"snow correction factor of 0", std::string(header) + "0 100 0.1 1 0 0\n",
       {"band 1 (line 3)", "gives a snow correction factor (SCF) of 0; it must be above 0."}},
  };
  for (const auto& c : cases) {
    band_cells b;
    bool ok = true;
    const std::string out = b.read(c.text, ok);
    EXPECT_FALSE(ok) << c.what;
    EXPECT_EQ(error_state.stop_flag, 1) << c.what;
    for (const auto& e : c.expected) EXPECT_NE(out.find(e), std::string::npos) << c.what << "\n" << out;
    if (c.expected[0] == bad_header) {
      EXPECT_NE(out.find(bad_header + b.dir.file("bands.txt") + "\n\n" + usage), std::string::npos)
          << c.what;
    }
  }

  band_cells b;
  clear_errors();
  test_support::stdout_capture cap;
  const std::string name = b.dir.file("none.txt");
  EXPECT_FALSE(read_snow_bands(name.c_str(), b.n, b.elevation.data(), b.s));
  EXPECT_NE(cap.stop().find("Cannot open elevation based NWSRFS snow input parameter file: " +
                            name + "\n"),
            std::string::npos);
  EXPECT_EQ(error_state.stop_flag, 1);
  clear_errors();
}

TEST(set_snow_params, cards_give_uniform_values_and_defaults_where_absent) {
  band_cells b;
  project_settings p;
  // Without a melt form the parameters stay as they are.
  b.s.mf_max[1] = 7.0;
  EXPECT_TRUE(set_snow_params(p, b.n, b.elevation.data(), b.s));
  EXPECT_EQ(b.s.mf_max[1], 7.0);

  p.nwsrfs_snow = 1;
  EXPECT_TRUE(set_snow_params(p, b.n, b.elevation.data(), b.s));
  for (int i = 1; i <= b.n; ++i) expect_params(b.of(i), snow_params{1.2, 0.0, 0.0, 1.0}, "defaults");

  // A card of 0 is a value, not an absent card.
  p.nwsrfs_mf_max = 0.0;
  p.nwsrfs_mf_max_given = 1;
  p.nwsrfs_fr_use = 0.3;
  p.nwsrfs_fr_use_given = 1;
  p.nwsrfs_scf = 1.25;
  p.nwsrfs_scf_given = 1;
  EXPECT_TRUE(set_snow_params(p, b.n, b.elevation.data(), b.s));
  for (int i = 1; i <= b.n; ++i) expect_params(b.of(i), snow_params{0.0, 0.0, 0.3, 1.25}, "cards");

  // With the bands file named, the file decides, and the cards are unused.
  p.nwsrfs_elev_snow = b.dir.write("bands.txt", std::string(header) +
                                                    "0 175 0.1 1 1.1 0\n175 350 0.2 2 1.2 0\n"
                                                    "1000 2000 0 0 1 0\n");
  p.nwsrfs_elev_snow_given = 1;
  p.nwsrfs_snow = 0;
  p.eb_nwsrfs_snow = 1;
  EXPECT_TRUE(set_snow_params(p, b.n, b.elevation.data(), b.s));
  expect_params(b.of(1), snow_params{1.0, 0.1, 0.0, 1.1}, "band 1");
  expect_params(b.of(5), snow_params{2.0, 0.2, 0.0, 1.2}, "band 2");
  expect_params(b.of(6), snow_params{}, "no band");

  // A snow correction factor that would divide the rain by 0 is refused.
  p.nwsrfs_elev_snow_given = 0;
  p.nwsrfs_scf = 0.0;
  clear_errors();
  test_support::stdout_capture cap;
  EXPECT_FALSE(set_snow_params(p, b.n, b.elevation.data(), b.s));
  EXPECT_NE(cap.stop().find("NWSRFS_SCF card gives a snow correction factor of 0"),
            std::string::npos);
  EXPECT_EQ(error_state.stop_flag, 1);
  clear_errors();
}

}  // namespace
