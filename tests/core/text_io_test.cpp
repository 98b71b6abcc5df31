// Line reading, tokenizers, card words and the quiet-aware printer.

#include "core/text_io.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/safe_file.h"
#include "test_support.h"

namespace {

using test_support::stdout_capture;
using test_support::temp_dir;

// A heap buffer of exactly the size the routine may use, so that the
// sanitizer build sees any write past it.
std::vector<char> buffer_of(const std::string& text, size_t capacity) {
  std::vector<char> buf(capacity, '\0');
  std::memcpy(buf.data(), text.c_str(), text.size() + 1);
  return buf;
}

struct token_case {
  const char* line;
  int result;
  const char* token;
  const char* rest;
};

TEST(next_token, takes_words_and_quoted_phrases_off_the_front) {
  const token_case cases[] = {
      {"  \"a, b c\" 12", 1, "a, b c", "12"},
      {" \t,,\n", 0, "", " \t,,\n"},
      {"", 0, "", ""},
      {"\"\" word", 0, "", "   word"},
      {"a,b\tc", 1, "a", "b\tc"},
      {"one ,\t, two", 1, "one", "two"},
      {"x\"y z", 1, "x\"y", "z"},
      {"\"x\"rest of line", 1, "x", "rest of line"},
      {"\"open phrase, no close", 1, "open phrase, no close", ""},
      // A CR-LF file: the CR ends a word or a name and is no part of it.
      {"name.txt\r", 1, "name.txt", ""},
      {"\"my file.txt\"\r", 1, "my file.txt", ""},
      {"\"my file.txt\r", 1, "my file.txt", ""},
      {"PRECIP_FILE\rrain.gag", 1, "PRECIP_FILE", "rain.gag"},
  };
  for (const token_case& c : cases) {
    SCOPED_TRACE(c.line);
    std::vector<char> line = buffer_of(c.line, max_line);
    std::vector<char> token(token_capacity, 'x');
    EXPECT_EQ(next_token(line.data(), token.data()), c.result);
    EXPECT_STREQ(token.data(), c.token);
    EXPECT_STREQ(line.data(), c.rest);
  }
}

TEST(next_token, over_long_token_is_cut_and_leaves_the_line_whole) {
  for (const std::string& quote : {std::string(), std::string("\"")}) {
    std::string word(300, 'w');
    std::vector<char> line = buffer_of(quote + word + quote + " next", max_line);
    std::vector<char> token(token_capacity);
    ASSERT_EQ(next_token(line.data(), token.data()), 1);
    EXPECT_EQ(std::string(token.data()), std::string(token_capacity - 1, 'w'));
    EXPECT_STREQ(line.data(), "next");
  }
}

TEST(next_value, fields_in_any_mix_of_separators_and_missing_values_read_0) {
  char line[] = "1, 2\t\t3 ,,4\r\n";
  int values[5];
  int results[5];
  for (int i = 0; i < 5; ++i) {
    values[i] = -1;
    results[i] = next_int(line, values[i]);
  }
  const int expected[5] = {1, 2, 3, 4, 0};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(values[i], expected[i]) << i;
    EXPECT_EQ(results[i], i < 4 ? 1 : 0) << i;
  }
}

struct value_case {
  const char* line;
  int result;
  double value;
  const char* rest;
};

TEST(next_value, converts_the_token_head_as_the_formatted_read_does) {
  const value_case doubles[] = {
      {"2.5e3,7", 1, 2500.0, "7"},
      {"  -4.5e-1\r", 1, -0.45, ""},
      {"abc 5", 1, 0.0, "5"},
      {"\"7\" 8", 1, 0.0, "8"},  // quotes mean nothing to the numeric readers
      {"12.5kg 3", 1, 12.5, "3"},
      {"", 0, 0.0, ""},
      {" ,\r\n", 0, 0.0, " ,\r\n"},
      // White space that separates nothing: the conversion meets the end.
      {"\f 5", 0, 0.0, "\f 5"},
  };
  for (const value_case& c : doubles) {
    SCOPED_TRACE(c.line);
    std::vector<char> line = buffer_of(c.line, max_line);
    double value = 99.0;
    EXPECT_EQ(next_double(line.data(), value), c.result);
    EXPECT_DOUBLE_EQ(value, c.value);
    EXPECT_STREQ(line.data(), c.rest);
  }
  const value_case ints[] = {
      {"abc 5", 1, 0, "5"},
      {"3.9 4", 1, 3, "4"},
      {"-17,\t8", 1, -17, "8"},
      {"12abc", 1, 12, ""},
      {"99999999999 1", 1, INT_MAX, "1"},
      {"\t\r\n", 0, 0, "\t\r\n"},
  };
  for (const value_case& c : ints) {
    SCOPED_TRACE(c.line);
    std::vector<char> line = buffer_of(c.line, max_line);
    int value = 99;
    EXPECT_EQ(next_int(line.data(), value), c.result);
    EXPECT_EQ(value, static_cast<int>(c.value));
    EXPECT_STREQ(line.data(), c.rest);
  }
}

TEST(next_value, a_numeric_token_longer_than_a_token_text_converts_whole) {
  std::vector<char> line = buffer_of(std::string(400, '0') + "1.5 2", max_line);
  double value = 0.0;
  ASSERT_EQ(next_double(line.data(), value), 1);
  EXPECT_DOUBLE_EQ(value, 1.5);
  EXPECT_STREQ(line.data(), "2");
}

TEST(card_match, compares_whole_first_tokens_without_regard_to_case) {
  struct {
    std::string a, b;
    int equal;
  } cases[] = {
      {"PRECIP_FILE  c:/data/rain.gag", "precip_file", 1},
      {"PRECIP", "PRECIP_FILE", 0},
      {"PRECIP_FILE", "PRECIP", 0},
      {"TOTAL_TIME\r", "total_time", 1},
      {"\"Quoted Card\" 5", "\"quoted card\"", 1},
      {"\"Quoted Card\" 5", "quoted card", 0},
      {"", "  \t", 1},
      {"word", "", 0},
      {"QUIET" + std::string(5000, ' ') + "tail", "quiet", 1},
      {std::string(3000, 'a'), std::string(3000, 'A'), 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.a.substr(0, 40));
    std::string a = c.a;
    std::string b = c.b;
    EXPECT_EQ(card_match(a.c_str(), b.c_str()), c.equal);
    EXPECT_EQ(a, c.a);  // the arguments are not changed
    EXPECT_EQ(b, c.b);
  }
}

TEST(second_word, points_at_the_second_word_or_the_last_character) {
  struct {
    const char* line;
    int offset;
  } cases[] = {
      {"ROUGHNESS map.asc", 10},
      {"ROUGHNESS", 8},
      {"  A\t\tB C", 5},
      {"A,B C", 4},  // a comma separates no words here
      {"A \n", 2},
      {"", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    std::string text = c.line;
    EXPECT_EQ(second_word(text.data()) - text.data(), c.offset);
  }
}

TEST(split_quoted, moves_the_first_quoted_part_out_and_keeps_from_the_next_quote) {
  char line[] = "\"Lead dissolved\" \"lead_map\" \"lead.out\"";
  char name[64];
  split_quoted(line, name);
  EXPECT_STREQ(name, "\"Lead dissolved\"");
  EXPECT_STREQ(line, "\"lead_map\" \"lead.out\"");
  split_quoted(line, name);
  EXPECT_STREQ(name, "\"lead_map\"");
  EXPECT_STREQ(line, "\"lead.out\"");
  remove_quotes(name);
  EXPECT_STREQ(name, "lead_map");

  char number_line[] = "skip \"only\" 12";
  split_quoted(number_line, name);
  EXPECT_STREQ(name, "\"only\"");
  EXPECT_STREQ(number_line, "");

  // A name field too small for the quoted part gets it cut, quotes kept.
  char long_line[] = "\"abcdefgh\" \"next\"";
  std::vector<char> small(5);
  split_quoted(long_line, small.data(), 5);
  EXPECT_STREQ(small.data(), "\"ab\"");
  EXPECT_STREQ(long_line, "\"next\"");
}

TEST(quote_and_prefix_helpers, edit_in_place) {
  struct {
    const char* in;
    const char* stripped;
    const char* unquoted;
  } cases[] = {
      {"\"abc\"", "abc", "abc"}, {"\"abc", "abc", "abc"},     {"abc\"", "abc", "abc"},
      {"\"\"", "", ""},          {"\"", "", ""},              {"", "", ""},
      {"a\"b", "a\"b", "ab"},    {"\"a\"b\"", "a\"b", "ab"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    std::string s = c.in;
    strip_outer_quotes(s.data());
    EXPECT_STREQ(s.c_str(), c.stripped);
    std::string r = c.in;
    remove_quotes(r.data());
    EXPECT_STREQ(r.c_str(), c.unquoted);
  }
  strip_outer_quotes(nullptr);

  struct {
    const char* in;
    int n;
    int result;
    const char* out;
  } drops[] = {{"abcdef", 2, 0, "cdef"}, {"abc", 3, 0, ""}, {"abc", 50, 0, ""}, {"", 1, -1, ""}};
  for (const auto& d : drops) {
    std::string s = d.in;
    EXPECT_EQ(drop_leading_chars(s.data(), d.n), d.result) << d.in;
    EXPECT_STREQ(s.c_str(), d.out) << d.in;
  }
}

class read_line_file : public ::testing::Test {
 protected:
  std::FILE* open(const std::string& text) {
    stream_ = std::fopen(dir_.write("lines.txt", text).c_str(), "r");
    return stream_;
  }
  void TearDown() override {
    if (stream_) std::fclose(stream_);
  }
  temp_dir dir_;
  std::FILE* stream_ = nullptr;
  std::vector<char> line_ = std::vector<char>(max_line);
};

TEST_F(read_line_file, keeps_a_carriage_return_that_the_tokenizer_then_drops) {
  std::FILE* f = open("VALTOPROJECT\r\nsecond line\n\nno newline at the end");
  const char* expected[] = {"VALTOPROJECT\r", "second line", "", "no newline at the end"};
  for (const char* text : expected) {
    ASSERT_EQ(read_line(f, line_.data()), 1);
    EXPECT_STREQ(line_.data(), text);
  }
  EXPECT_EQ(read_line(f, line_.data()), 0);
  EXPECT_EQ(read_line(f, line_.data()), 0);

  std::vector<char> first = buffer_of(expected[0], max_line);
  char token[token_capacity];
  ASSERT_EQ(next_token(first.data(), token), 1);
  EXPECT_STREQ(token, "VALTOPROJECT");
}

TEST_F(read_line_file, long_line_comes_in_pieces_without_overrun) {
  std::string long_line(25000, 'q');
  std::FILE* f = open(long_line + "\nafter\n");
  ASSERT_EQ(read_line(f, line_.data()), 1);
  EXPECT_EQ(std::strlen(line_.data()), size_t(max_line - 1));
  ASSERT_EQ(read_line(f, line_.data()), 1);
  EXPECT_EQ(std::strlen(line_.data()), size_t(25000 - (max_line - 1)));
  ASSERT_EQ(read_line(f, line_.data()), 1);
  EXPECT_STREQ(line_.data(), "after");
}

TEST_F(read_line_file, empty_file_and_missing_stream_read_as_end) {
  EXPECT_EQ(read_line(open(""), line_.data()), 0);
  EXPECT_STREQ(line_.data(), "");
  EXPECT_EQ(read_line(static_cast<std::FILE*>(nullptr), line_.data()), 0);
}

TEST_F(read_line_file, reads_through_the_wrapper_stream) {
  safe_file file;
  EXPECT_EQ(read_line(file, line_.data()), 0);  // a closed wrapper reads as end of file
  file.stream = std::fopen(dir_.write("wrapped.txt", "ROUGHNESS\tmap.asc\r\n").c_str(), "r");
  file.shadow = file.stream;
  ASSERT_NE(file.stream, nullptr);
  ASSERT_EQ(read_line(file, line_.data()), 1);
  EXPECT_STREQ(line_.data(), "ROUGHNESS\tmap.asc\r");
  EXPECT_EQ(read_line(file, line_.data()), 0);
}

TEST_F(read_line_file, passes_each_line_to_the_active_filter) {
  struct filter_guard {
    ~filter_guard() { active_line_filter = nullptr; }
  } guard;
  // Stands in for the replacement substitution: rewrites "[k]" as "0.35".
  active_line_filter = [](char* line, int capacity) {
    ASSERT_EQ(capacity, max_line);
    std::string s = line;
    size_t at = s.find("[k]");
    if (at != std::string::npos) s.replace(at, 3, "0.35");
    std::snprintf(line, capacity, "%s", s.c_str());
  };
  std::FILE* f = open("KSAT [k] 2\n");
  ASSERT_EQ(read_line(f, line_.data()), 1);
  EXPECT_STREQ(line_.data(), "KSAT 0.35 2");
}

TEST(msg_printf, prints_unless_quiet) {
  struct quiet_guard {
    int saved = quiet_flag;
    ~quiet_guard() { quiet_flag = saved; }
  } guard;
  const char* format = "\nTotal times a value was replaced: %d\n\n";

  quiet_flag = 0;
  stdout_capture loud;
  int printed = msg_printf(format, 7);
  EXPECT_EQ(loud.stop(), "\nTotal times a value was replaced: 7\n\n");
  EXPECT_EQ(printed, 38);

  quiet_flag = 1;
  stdout_capture quiet;
  EXPECT_EQ(msg_printf(format, 7), 0);
  EXPECT_EQ(quiet.stop(), "");
}

TEST(find_cell_number, counts_nonzero_cells_in_row_order) {
  // 3 rows by 4 columns, 1-based; 0 is outside the watershed.
  const int values[3][4] = {{0, 1, 1, 0}, {1, 1, 0, 1}, {0, 9, 1, 1}};
  std::vector<std::vector<int>> cells(4, std::vector<int>(5, 0));
  std::vector<int*> grid(4);
  for (int r = 1; r <= 3; ++r) {
    for (int c = 1; c <= 4; ++c) cells[r][c] = values[r - 1][c - 1];
    grid[r] = cells[r].data();
  }
  const int rows[] = {0, 1, 2, 3, 2};
  const int cols[] = {0, 2, 4, 4, 3};
  int numbers[] = {0, -1, -1, -1, -1};

  stdout_capture capture;
  for (int k = 1; k <= 4; ++k) find_cell_number(grid.data(), 3, 4, rows, cols, numbers, k);
  EXPECT_EQ(capture.stop(), "1  2   1 \n2  4   5 \n3  4   8 \n");
  EXPECT_EQ(numbers[1], 1);
  EXPECT_EQ(numbers[2], 5);
  EXPECT_EQ(numbers[3], 8);
  EXPECT_EQ(numbers[4], -1);  // a cell outside the watershed gets no number
}

}  // namespace
