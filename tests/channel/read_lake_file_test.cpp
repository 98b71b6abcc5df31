// The overland lake file: what its first line may be, which lines are LAKE
// lines, how lines for the same lake count and overwrite, and every refusal
// with its exact lines and code 4000, a lake number outside the map's lakes
// among them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channel/read_lake_file.h"
#include "core/error_state.h"
#include "core/safe_file.h"
#include "core/text_io.h"
#include "test_support.h"

namespace {

void clear_errors() { error_state = error_record{}; }

struct lake_read {
  bool ok = false;
  std::vector<olake_record> lakes;
  std::string out;  // standard output
  std::string err;  // standard error
};

lake_read read_text(const std::string& text, int lake_count) {
  test_support::temp_dir dir;
  const std::string path = dir.write("lakes.txt", text);
  lake_read r;
  safe_file file;
  EXPECT_TRUE(file.open(path.c_str(), "r"));
  clear_errors();
  std::fflush(stderr);
  testing::internal::CaptureStderr();
  test_support::stdout_capture out;
  r.ok = read_lake_file(file, "lakes.txt", lake_count, r.lakes);
  r.out = out.stop();
  std::fflush(stderr);
  r.err = testing::internal::GetCapturedStderr();
  file.close();
  return r;
}

TEST(read_lake_file, accepted_first_lines_and_lake_lines) {
  struct accepted_case {
    const char* label;
    std::string text;
  };
  const std::string lake = "LAKE 1 9.5 1200\n";
  const accepted_case cases[] = {
      {"the full card", "VALTO_OVERLAND_LAKE_FILE\n" + lake},
      {"a leading part in lower case", "valto\n" + lake},
      {"an empty first line", "\n" + lake},
      {"a blank first line with CR-LF ends", "  \r\n" + std::string("lake 1 9.5 1200\r\n")},
      {"LAKES and other words passed over", "VALTO\nLAKES 1 3.0 5\n# LAKE 1 0 0\n" + lake},
      {"blanks before the word", "VALTO\n \tLake 1 9.5 1200 trailing words\n"},
  };
  for (const accepted_case& c : cases) {
    SCOPED_TRACE(c.label);
    const lake_read r = read_text(c.text, 1);
    ASSERT_TRUE(r.ok) << r.out << r.err;
    EXPECT_EQ(error_state.stop_flag, 0);
    ASSERT_EQ(r.lakes.size(), 2u);
    EXPECT_EQ(r.lakes[1].level, 9.5);
    EXPECT_EQ(r.lakes[1].floor, 9.5);
    EXPECT_EQ(r.lakes[1].volume, 1200.0);
    EXPECT_EQ(r.lakes[0].level, 0.0);
    EXPECT_EQ(r.out, "1   Elev: 9.50   Volume: 1200.00\n");
  }
  clear_errors();
}

TEST(read_lake_file, a_second_line_for_a_lake_counts_and_overwrites_the_first) {
  const lake_read r = read_text("VALTO\nLAKE 1 5 10\nLAKE 2 6 20\nLAKE 2 7.5 30\n", 3);
  ASSERT_TRUE(r.ok) << r.out << r.err;
  ASSERT_EQ(r.lakes.size(), 4u);
  EXPECT_EQ(r.lakes[2].level, 7.5);
  EXPECT_EQ(r.lakes[2].volume, 30.0);
  EXPECT_EQ(r.lakes[3].level, 0.0);
  EXPECT_EQ(r.lakes[3].floor, 0.0);
  EXPECT_EQ(r.lakes[3].volume, 0.0);
  EXPECT_EQ(r.out,
            "1   Elev: 5.00   Volume: 10.00\n2   Elev: 6.00   Volume: 20.00\n"
            "3   Elev: 7.50   Volume: 30.00\n");
  clear_errors();
}

TEST(read_lake_file, every_refusal_prints_its_lines_and_stops) {
  struct refused_case {
    const char* label;
    std::string text;
    int lake_count;
    std::string err;  // exact standard error
    std::string out;  // part of standard output
  };
  const std::string header_lines =
      "The overland lake input data file doesn't start with\n"
      " VALTO_OVERLAND_LAKE_FILE card.\n"
      "The file format is invalid.  Program terminated.\n";
  const std::string premature =
      "Premature end-of-file in the overland lake input data file.\n"
      "No LAKE cards encountered before end of file.\n"
      "Program terminated.\n";
  const std::vector<refused_case> cases = {
      {"a word longer than the card", "VALTO_OVERLAND_LAKE_FILES\nLAKE 1 1 1\n", 1, header_lines,
       ""},
      {"a LAKE line first", "LAKE 1 1 1\nLAKE 1 1 1\n", 1, header_lines, ""},
      {"no LAKE line", "VALTO\n# none\n", 1, premature, ""},
      {"nothing after the first line", "VALTO\n", 1, premature, ""},
      {"an empty file", "", 1, premature, ""},
      {"one line short", "VALTO\nLAKE 1 1 1\n", 2,
       "Incorrect number of LAKE cards in the overland lake input data file.\n"
       "Expected 2 LAKE cards, read 1\nProgram terminated.\n",
       "1   Elev: 1.00   Volume: 1.00\n"},
      {"one line over", "VALTO\nLAKE 1 1 1\nLAKE 1 2 2\n", 1,
       "Incorrect number of LAKE cards in the overland lake input data file.\n"
       "Expected 1 LAKE cards, read 2\nProgram terminated.\n",
       ""},
      {"a lake above the map's", "VALTO\nLAKE 1 1 1\nLAKE 4 1 1\nLAKE 2 1 1\n", 3, "",
       "Error: line 3 of the overland lake input data file lakes.txt is for lake 4; the overland "
       "lake map numbers its lakes 1 to 3.\n"},
      {"lake 0", "VALTO\nLAKE 0 1 1\n", 1, "",
       "Error: line 2 of the overland lake input data file lakes.txt is for lake 0; the overland "
       "lake map numbers its lakes 1 to 1.\n"},
      {"a negative lake", "VALTO\nLAKE -2147483648 1 1\n", 1, "", "is for lake -2147483648;"},
      {"an elevation that is not a number", "VALTO\nLAKE 1 high 1\n", 1, "",
       "Error: line 2 of the overland lake input data file lakes.txt does not hold a LAKE card's "
       "lake number, elevation and volume.\n"},
      {"a missing volume", "VALTO\nLAKE 1 9.5\n", 1, "", "does not hold a LAKE card's"},
      {"a lake number beyond int", "VALTO\nLAKE 99999999999 1 1\n", 1, "",
       "does not hold a LAKE card's"},
      {"a volume that is not finite", "VALTO\nLAKE 1 1 inf\n", 1, "",
       "does not hold a LAKE card's"},
      {"a line too long", "VALTO\n#" + std::string(20000, 'x') + "\nLAKE 1 1 1\n", 1, "",
       "Error: line 2 of the overland lake input data file lakes.txt is longer than 20000 "
       "characters.\n"},
      {"a first line too long", std::string(20001, ' ') + "\nLAKE 1 1 1\n", 1, "",
       "Error: line 1 of the overland lake input data file lakes.txt is longer than 20000 "
       "characters.\n"},
  };
  for (const refused_case& c : cases) {
    SCOPED_TRACE(c.label);
    const lake_read r = read_text(c.text, c.lake_count);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.lakes.empty());
    EXPECT_EQ(error_state.stop_flag, 1);
    EXPECT_EQ(r.err, c.err);
    EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
  }
  clear_errors();
}

// A line of exactly 20000 characters is within the limit.
TEST(read_lake_file, a_line_of_twenty_thousand_characters_is_read) {
  std::string line = "LAKE 1 2.5 3";
  line.resize(20000, ' ');
  const lake_read r = read_text("VALTO\n" + line + "\n", 1);
  ASSERT_TRUE(r.ok) << r.out;
  EXPECT_EQ(r.lakes[1].level, 2.5);
  clear_errors();
}

TEST(is_lake_card, only_the_whole_word_lake_and_the_first_word_leaves_the_line) {
  struct card_case {
    const char* line;
    int result;
    const char* rest;
  };
  const card_case cases[] = {
      {"LAKE 1 2 3", 0, " 1 2 3"}, {"  lake\t3", 0, "\t3"}, {"Lake", 0, ""},
      {"LAKES 1", 1, " 1"},        {"# LAKE 1", 1, " LAKE 1"}, {"", 1, ""},
      {"   ", 1, ""},
  };
  for (const card_case& c : cases) {
    std::string line = c.line;
    EXPECT_EQ(is_lake_card(line), c.result) << c.line;
    EXPECT_EQ(line, c.rest) << c.line;
  }
}

}  // namespace
