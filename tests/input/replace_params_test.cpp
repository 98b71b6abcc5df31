// Replacement parameters: the checked formats, the list and value files, the
// substitution of bracketed names with its limits, the reports, and the
// project cards that load them.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "run/run_simulation.h"
#include "core/text_io.h"
#include "input/project_settings.h"
#include "input/replace_params.h"
#include "project_test_support.h"

namespace {

namespace fs = std::filesystem;

class replace_test : public project_test {
 protected:
  void SetUp() override {
    project_test::SetUp();
    reset();
  }
  void TearDown() override {
    reset();
    project_test::TearDown();
  }
  static void reset() {
    end_substitution();
    replacement = replace_state{};
  }

  // Loads a list and the values of the value line in effect; returns the output.
  std::string load(const std::string& list, const std::string& values) {
    const std::string list_path = dir_.write("list.txt", list);
    const std::string value_path = dir_.write("values.txt", values);
    test_support::stdout_capture out;
    EXPECT_EQ(read_replace_params(list_path.c_str()), 0);
    EXPECT_EQ(read_replace_vals(value_path.c_str()), 0);
    return out.stop();
  }

  // The line after substitution through the core's line filter.
  std::string substitute(const std::string& text, std::string* output = nullptr) {
    char line[max_line];
    std::snprintf(line, sizeof line, "%s", text.c_str());
    test_support::stdout_capture out;
    if (active_line_filter != nullptr) active_line_filter(line, max_line);
    if (output != nullptr) *output = out.stop();
    return line;
  }

  // Copies the fixture list and value files into the project folder.
  void copy_fixture_files() {
    const fs::path from = fs::path(VALTO_FIXTURES_DIR) / "side_files";
    fs::copy_file(from / "replace_params.txt", dir_.path() / "params.txt");
    fs::copy_file(from / "replace_vals.txt", dir_.path() / "vals.txt");
  }
};

TEST(replace_format, only_one_conversion_of_a_known_kind_is_accepted) {
  struct format_case {
    const char* format;
    int kind;
  };
  const format_case cases[] = {
      {"%5.3lf", replace_real}, {"%4.2lf", replace_real}, {"%lf", replace_real},
      {"%f", replace_real},     {"%+08.3f", replace_real}, {"%.f", replace_real},
      {"%d", replace_integer},  {"%3d", replace_integer},  {"%-+5d", replace_integer},
      {"%s", replace_text},     {"%-12s", replace_text},   {"%.4s", replace_text},
      // refused: no d, f or s; other conversions; more than one; text around
      {"%n", -1},       {"%d%d", -1},     {"%x", -1},    {"%e", -1},        {"%g", -1},
      {"", -1},         {"abc", -1},      {"%", -1},     {"%%", -1},        {"%5.3lf m", -1},
      {"x%d", -1},      {"%*d", -1},      {"%.*f", -1},  {"%ld", -1},       {"%ls", -1},
      {"%100d", -1},    {"%5.123f", -1},  {"%#d", -1},   {"%08s", -1},      {"%1$d", -1},
      {"%hhd", -1},     {"%s%n", -1},     {"%12345678f", -1},
  };
  for (const format_case& c : cases) EXPECT_EQ(replace_format_kind(c.format), c.kind) << c.format;
}

TEST_F(replace_test, list_lines_give_a_name_and_a_format_or_the_improper_line_message) {
  struct line_case {
    const char* line;
    int result;
    const char* name;
    const char* format;
    const char* output;
  };
  const line_case cases[] = {
      {"[MAN] \"%5.3lf\"", 0, "[MAN]", "%5.3lf", ""},
      {"roughness [A] [MAN] \"%d\"", 0, "[MAN]", "%d", ""},  // the last brackets
      {"[NAME]   %s", 0, "[NAME]", "%s", ""},
      {"MAN \"%5.3lf\"", -1, nullptr, nullptr,
       "Error: Improperly formatted line in the replacement parameter file\nline:MAN \"%5.3lf\"\n"},
      {"[MAN] \"%5.3x\"", -1, nullptr, nullptr,
       "Error: Improperly formatted line in the replacement parameter file\nline:[MAN] "
       "\"%5.3x\"\n---> The format must be a C-style format in quotes, such as \"%4.2lf\"\n"},
      {"[MAN] \"%n\"", -1, nullptr, nullptr,
       "Error: Improperly formatted line in the replacement parameter file\nline:[MAN] "
       "\"%n\"\n---> The format must be a C-style format in quotes, such as \"%4.2lf\"\n"},
      {"[MAN]", -1, nullptr, nullptr,
       "Error: Improperly formatted line in the replacement parameter file\nline:[MAN]\n---> The "
       "format must be a C-style format in quotes, such as \"%4.2lf\"\n"},
      {"[A_NAME_OF_MORE_THAN_27_CHARS] \"%d\"", -1, nullptr, nullptr,
       "Error: Improperly formatted line in the replacement parameter file\nline:[A_NAME_OF_MORE_"
       "THAN_27_CHARS] \"%d\"\n---> A bracketed name holds at most 27 characters\n"},
  };
  for (const line_case& c : cases) {
    reset();
    char line[256];
    std::snprintf(line, sizeof line, "%s", c.line);
    test_support::stdout_capture out;
    EXPECT_EQ(parse_replace_param_line(line), c.result) << c.line;
    EXPECT_EQ(out.stop(), c.output) << c.line;
    if (c.result != 0) {
      EXPECT_TRUE(replacement.params.empty());
      continue;
    }
    ASSERT_EQ(replacement.params.size(), 1u);
    EXPECT_STREQ(replacement.params[0].name, c.name);
    EXPECT_EQ(replacement.params[0].name_length, static_cast<int>(std::strlen(c.name)));
    EXPECT_STREQ(replacement.params[0].format, c.format);
  }
}

TEST_F(replace_test, list_file_faults_are_reported_and_give_minus_one) {
  struct file_case {
    const char* text;  // null: no file
    int result;
    size_t nodes;
    const char* output;
  };
  const file_case cases[] = {
      {nullptr, -1, 0, "Error: unable to open the replace parameter file.\n"},
      {"two\n[A] \"%d\"\n", -1, 0,
       "Error: unable to read the number of parameters in the parameter list file\n"},
      {"3\n[A] \"%d\"\n[B] \"%f\"\n", -1, 2,
       "Error: unexpected end of parameter list file after 2 parameters. Expecting 3\n"},
      {"2\n\n[A] \"%q\"\n[B] \"%f\"\n", 0, 1,
       "Error: Improperly formatted line in the replacement parameter file\nline:[A] "
       "\"%q\"\n---> The format must be a C-style format in quotes, such as \"%4.2lf\"\n"},
  };
  for (const file_case& c : cases) {
    replacement.params.resize(5);  // an earlier list is always freed
    const std::string path = c.text ? dir_.write("list.txt", c.text) : dir_.file("missing.txt");
    test_support::stdout_capture out;
    EXPECT_EQ(read_replace_params(path.c_str()), c.result);
    const std::string text = out.stop();
    EXPECT_NE(text.find(c.output), std::string::npos) << text;
    EXPECT_EQ(replacement.params.size(), c.nodes);
  }
  EXPECT_EQ(error_state.stop_flag, 0);
  EXPECT_EQ(replacement.active, 0);
}

TEST_F(replace_test, the_value_line_is_the_index_line_or_the_last_one) {
  struct line_case {
    int index;
    const char* values;
    double man;
    const char* name;
    int count;
  };
  const line_case cases[] = {
      {0, "0.05 first 1\n0.06 second 2\n", 0.05, "first", 1},
      {1, "0.05 first 1\n0.06 second 2\n", 0.06, "second", 2},
      {2, "0.05 first 1\n0.06 second 2\n", 0.06, "second", 2},  // REPLACE_LINE 3, two lines
      {0, "0.05,\"two words\",7", 0.05, "two words", 7},          // commas; no final newline
      {0, "\n0.06 second 2\n", 0.0, "", 0},                       // an empty line: all zero
      {1, "0.05 first 1\n0.06\n", 0.06, "", 0},                   // missing values read 0
  };
  for (const line_case& c : cases) {
    reset();
    replace_line_index = c.index;
    load("3\n[MAN] \"%5.3lf\"\n[NAME] \"%s\"\n[COUNT] \"%d\"\n", c.values);
    ASSERT_EQ(replacement.params.size(), 3u);
    EXPECT_DOUBLE_EQ(replacement.params[0].real_value, c.man) << c.values;
    EXPECT_STREQ(replacement.params[1].text_value, c.name) << c.values;
    EXPECT_EQ(replacement.params[2].int_value, c.count) << c.values;
    EXPECT_EQ(replacement.active, 1);
    EXPECT_EQ(active_line_filter, &replace_line_params);
  }
}

TEST_F(replace_test, a_bad_value_file_leaves_substitution_and_values_as_they_were) {
  const std::string list = dir_.write("list.txt", "2\n[MAN] \"%5.3lf\"\n[N] \"%d\"\n");
  ASSERT_EQ(read_replace_params(list.c_str()), 0);
  struct value_case {
    const char* values;  // null: no file
    const char* output;
  };
  const value_case cases[] = {
      {nullptr, "Error: unable to open the value file "},
      {"0.05 2.5\n", "Error: the value 2.5 for [N] on line 1 of the value file "},
      {"abc 2\n", "Error: the value abc for [MAN] on line 1 of the value file "},
      {"nan 2\n", "Error: the value nan for [MAN] on line 1"},
  };
  for (const value_case& c : cases) {
    const std::string path = c.values ? dir_.write("v.txt", c.values) : dir_.file("none.txt");
    test_support::stdout_capture out;
    EXPECT_EQ(read_replace_vals(path.c_str()), -1);
    const std::string text = out.stop();
    EXPECT_NE(text.find(c.output), std::string::npos) << text;
    EXPECT_EQ(replacement.active, 0);
    EXPECT_EQ(active_line_filter, nullptr);
    EXPECT_EQ(replacement.params[0].real_value, 0.0);
  }
  // The open failure's message ends without a newline, as the model has always written it.
  test_support::stdout_capture out;
  read_replace_vals(dir_.file("none.txt").c_str());
  EXPECT_EQ(out.stop().back(), 't');
}

TEST_F(replace_test, names_are_replaced_wherever_they_stand_and_counted) {
  load("4\n[MAN] \"%5.3lf\"\n[NAME] \"%s\"\n[COUNT] \"%d\"\n[WRAP] \"%s\"\n",
       "0.05 first 1 <[COUNT]>\n");
  struct line_case {
    const char* in;
    const char* out;
    int count;
    const char* output;
  };
  const line_case cases[] = {
      {"MANNING_N [MAN]", "MANNING_N 0.050", 1, ""},
      {"[MAN] and [MAN]", "0.050 and 0.050", 2, ""},
      {"[NAME][COUNT]", "first1", 2, ""},
      {"no names here", "no names here", 0, ""},
      {"x [NONE] y", "x [NONE] y", 0, "Error: unable to match replace pair: x [NONE] y\n"},
      {"[MAN", "[MAN", 0, "Error: unable to match replace pair: [MAN\n"},
      {"[[MAN]", "[0.050", 1, "Error: unable to match replace pair: [[MAN]\n"},
      // a value holding another name is replaced in its turn
      {"v [WRAP]", "v <1>", 2, ""},
  };
  for (const line_case& c : cases) {
    replacement.count = 0;
    std::string output;
    EXPECT_EQ(substitute(c.in, &output), c.out) << c.in;
    EXPECT_EQ(output, c.output) << c.in;
    EXPECT_EQ(replacement.count, c.count) << c.in;
  }
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST_F(replace_test, a_value_that_holds_its_own_name_stops_instead_of_growing) {
  load("1\n[A] \"%s\"\n", "x[A]\n");
  std::string output;
  EXPECT_EQ(substitute("a [A] b", &output), "a [A] b");
  EXPECT_EQ(output, "Error: the value x[A] of the replacement parameter [A] holds its own name.\n\n");
  EXPECT_EQ(error_state.stop_flag, 1);
  clear_errors();

  // A value that is exactly its own name is left in place: the scan goes on after it.
  reset();
  load("1\n[A] \"%s\"\n", "[A]\n");
  EXPECT_EQ(substitute("a [A] b"), "a [A] b");
  EXPECT_EQ(replacement.count, 1);
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST_F(replace_test, substituted_lines_are_capped_and_never_overrun) {
  // Two names that hold each other grow a line until it reaches its capacity.
  load("2\n[A] \"%s\"\n[B] \"%s\"\n", "a[B] b[A]\n");
  constexpr int capacity = 48;
  char buffer[capacity + 16];
  std::memset(buffer, '#', sizeof buffer);
  std::snprintf(buffer, capacity, "start [A] end");
  test_support::stdout_capture out;
  replace_line_params(buffer, capacity);
  const std::string text = out.stop();
  EXPECT_EQ(text.rfind("Error: replacement values make a line longer than 47 characters; the line "
                       "begins: start abab",
                       0),
            0u)
      << text;
  EXPECT_LE(std::strlen(buffer), static_cast<size_t>(capacity - 1));
  for (int i = capacity; i < capacity + 16; ++i) EXPECT_EQ(buffer[i], '#') << i;
  EXPECT_EQ(error_state.stop_flag, 1);
}

TEST_F(replace_test, reports_show_the_values_and_which_names_were_used) {
  load("3\n[MAN] \"%5.3lf\"\n[NAME] \"%-6s\"\n[COUNT] \"%d\"\n", "0.05 first 1\n");
  substitute("MANNING_N [MAN] [MAN]");
  substitute("[COUNT]");
  const std::string summary_path = dir_.file("summary.txt");
  safe_file summary;
  ASSERT_TRUE(summary.open(summary_path.c_str(), "w"));
  test_support::stdout_capture out;
  print_replace_values(summary);
  print_replace_usage(summary);
  summary.close();
  EXPECT_EQ(out.stop(),
            "\nUsing replacement values:\n"
            " [MAN]          = 0.050\n"
            " [NAME]         = first \n"
            " [COUNT]        = 1\n"
            "\n"
            "\nTotal times a value was replaced: 3\n\n"
            "\nWas replacement value used?:\n"
            " [MAN]          = Yes\n"
            " [NAME]         = No\n"
            " [COUNT]        = Yes\n"
            "\n");
  EXPECT_EQ(test_support::read_file(summary_path),
            "\nUsing replacement values:\n"
            "  [MAN]          = 0.050\n"
            "  [NAME]         = first \n"
            "  [COUNT]        = 1\n"
            "\n"
            "\nTotal times a value was replaced: 3\n\n"
            "\nWas replacement value used?:\n"
            "  [MAN]          = Yes\n"
            "  [NAME]         = No\n"
            "  [COUNT]        = Yes\n"
            "\n");
  EXPECT_EQ(replacement.count, 0);  // the usage report resets it
}

TEST_F(replace_test, project_cards_load_the_values_and_later_lines_are_substituted) {
  copy_fixture_files();
  test_support::scoped_cwd cwd(dir_.path());
  const std::string cards =
      "REPLACE_PARAMS params.txt\nREPLACE_VALS vals.txt\nMANNING_N [MAN]\nRAIN_DURATION [COUNT]\n";
  struct run_case {
    int batch_index;      // the value line a batch run sets before its run
    const char* extra;    // cards before REPLACE_VALS
    double manning_n;
    int duration;
  };
  const run_case cases[] = {
      {0, "", 0.05, 1}, {1, "", 0.06, 2}, {2, "", 0.07, 3},
      {0, "REPLACE_LINE 2\n", 0.06, 2}, {2, "REPLACE_LINE 1\n", 0.05, 1},
  };
  for (const run_case& c : cases) {
    state_ = std::make_unique<model_state>();  // a fresh run record
    replace_line_index = c.batch_index;
    const std::string out = read_cards(std::string(c.extra) + cards);
    EXPECT_EQ(error_state.stop_flag, 0) << out;
    EXPECT_DOUBLE_EQ(settings().manning_n, c.manning_n) << c.batch_index << c.extra;
    EXPECT_EQ(precip().rain_duration, c.duration) << c.batch_index << c.extra;
    EXPECT_EQ(replacement.active, 1);
    EXPECT_EQ(replacement.count, 2);
    EXPECT_EQ(replacement.params[1].used, 0);  // [NAME] never met
    EXPECT_TRUE(settings().unbuilt_cards.empty());
  }
  // Substitution ends with the run's record.
  state_.reset();
  EXPECT_EQ(replacement.active, 0);
  EXPECT_EQ(active_line_filter, nullptr);
  state_ = std::make_unique<model_state>();
}

TEST_F(replace_test, replace_line_below_one_or_after_the_values_is_refused) {
  copy_fixture_files();
  test_support::scoped_cwd cwd(dir_.path());
  struct refusal_case {
    const char* cards;
    const char* message;
  };
  const refusal_case cases[] = {
      {"REPLACE_PARAMS params.txt\nREPLACE_LINE 0\nREPLACE_VALS vals.txt\nMANNING_N [MAN]\n",
       "Error: the project card REPLACE_LINE on line 3 of %s has the value \"0\"; it must be a line "
       "number of the replacement value file, from 1.\n"},
      {"REPLACE_LINE -2\nREPLACE_PARAMS params.txt\nREPLACE_VALS vals.txt\n",
       "Error: the project card REPLACE_LINE on line 2 of %s has the value \"-2\"; it must be a line "
       "number of the replacement value file, from 1.\n"},
      {"REPLACE_LINE two\nREPLACE_PARAMS params.txt\nREPLACE_VALS vals.txt\n",
       "Error: the project card REPLACE_LINE on line 2 of %s has the value \"two\"; it must be a "
       "line number of the replacement value file, from 1.\n"},
      {"REPLACE_PARAMS params.txt\nREPLACE_VALS vals.txt\nREPLACE_LINE 2\nMANNING_N [MAN]\n",
       "Error: the project card REPLACE_LINE on line 4 of %s comes after REPLACE_VALS; it must "
       "come before it.\n"},
  };
  for (const refusal_case& c : cases) {
    state_ = std::make_unique<model_state>();
    replace_line_index = 0;
    const std::string path = project(c.cards);
    char expected[512];
    std::snprintf(expected, sizeof expected, c.message, path.c_str());
    test_support::stdout_capture out;
    read_project_file(path.c_str(), settings(), params(), precip());
    const std::string text = out.stop();
    EXPECT_NE(text.find(expected), std::string::npos) << text;
    EXPECT_EQ(error_state.stop_flag, 1);
    EXPECT_EQ(error_state.stop_flag, 1);
    EXPECT_EQ(settings().manning_n, 0.0);  // the reading stopped at the card
    EXPECT_EQ(replace_line_index, 0);
    if (std::strstr(c.cards, "REPLACE_LINE 2") == nullptr) {
      EXPECT_EQ(replacement.active, 0);
      EXPECT_EQ(active_line_filter, nullptr);
    }
    clear_errors();
    end_substitution();
  }
}

// A whole project: the roughness of every cell comes from the value line, and
// the summary reports the values and their use.
TEST_F(replace_test, a_bracketed_roughness_reaches_every_cell_and_the_summary) {
  const fs::path from = fs::path(VALTO_FIXTURES_DIR) / "side_files" / "replace_run";
  fs::copy(from, dir_.path());
  test_support::scoped_cwd cwd(dir_.path());
  state_->project_file = dir_.file("run.prj");
  replace_line_index = 0;
  test_support::stdout_capture out;
  for (const run_phase& phase : production_setup_phases()) {
    phase.run(*state_);
    if (run_must_stop()) break;
    if (std::string(phase.name) == "read_grid_inputs") break;
  }
  // The end-of-set-up report, as the driver gives it once set-up is complete.
  for (const run_phase& phase : production_setup_phases())
    if (std::string(phase.name) == "print_replace_usage") phase.run(*state_);
  const std::string screen = out.stop();
  ASSERT_EQ(error_state.stop_flag, 0) << screen;

  const std::vector<double>& n = state_->surface.dist_rough;
  ASSERT_EQ(state_->grid.cells, 6);
  ASSERT_GE(n.size(), 7u);
  for (int cell = 1; cell <= 6; ++cell) EXPECT_DOUBLE_EQ(n[cell], 0.05) << cell;

  state_->output.summary.close();
  const std::string summary = test_support::read_file(dir_.file("summary.out"));
  EXPECT_NE(summary.find("\nUsing replacement values:\n  [MAN]          = 0.050\n"
                         "  [UNUSED]       = 1\n\n"),
            std::string::npos)
      << summary;
  EXPECT_NE(summary.find("\nTotal times a value was replaced: 1\n\n\nWas replacement value used?:\n"
                         "  [MAN]          = Yes\n  [UNUSED]       = No\n\n"),
            std::string::npos)
      << summary;
}

TEST_F(replace_test, batch_runs_take_their_own_value_lines_and_prefix_their_files) {
  const fs::path from = fs::path(VALTO_FIXTURES_DIR) / "side_files" / "replace_run";
  fs::copy(from, dir_.path());
  const test_support::program_result result = test_support::run_program("-b3 run.prj", dir_.path());
  EXPECT_EQ(result.status, 0) << result.output;
  const char* expected[] = {"0.050", "0.060", "0.070"};
  for (int run = 0; run < 3; ++run) {
    char name[32];
    std::snprintf(name, sizeof name, "%04d_summary.out", run);
    ASSERT_TRUE(fs::exists(dir_.path() / name)) << name << "\n" << result.output;
    const std::string summary = test_support::read_file(dir_.file(name));
    EXPECT_NE(summary.find(std::string("  [MAN]          = ") + expected[run] + "\n"),
              std::string::npos)
        << name << "\n" << summary;
  }
  EXPECT_FALSE(fs::exists(dir_.path() / "0003_summary.out"));
  EXPECT_FALSE(fs::exists(dir_.path() / "summary.out"));
}

}  // namespace
