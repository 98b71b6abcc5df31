#include "core/error_state.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/safe_file.h"
#include "test_support.h"

namespace {

using test_support::read_file;
using test_support::stdout_capture;
using test_support::temp_dir;

// Every test starts from a clean record, no summary file and plain file-name
// resolution (summary files are opened by absolute path), and leaves the
// process-wide values clean.
class error_reporting : public ::testing::Test {
 protected:
  void SetUp() override {
    clear();
    saved_prefix_flag_ = run_prefix_flag;
    run_prefix_flag = 0;
  }
  void TearDown() override {
    clear();
    run_prefix_flag = saved_prefix_flag_;
  }

 private:
  static void clear() {
    error_state = error_record{};
    summary_file = nullptr;
    pause_flag = 0;
  }
  int saved_prefix_flag_ = 0;
};

struct report_case {
  const char* what;
  int code;
  int number1;
  int number2;
  const char* text1;
  const char* text2;
  int stop_before;
  bool summary_open;
  const char* screen;  // everything report_error writes to standard output
  int stop_after;
};

// One case per rule of the reporter: inserted numbers and texts, warnings,
// codes without text, missing final line breaks and user text that looks like
// a format.
const report_case report_cases[] = {
    {"open failure names role and path", 4, 0, 0, "mask", "/data/w/mask.asc", 0, true,
     "\nError: Unable to open mask file.\n  (File: /data/w/mask.asc)\n", 1},
    {"numbers go in without blanks", 12, 7, 5, "", "", 0, true,
     "\nError: The number of X-windows plot ordinates 7 is greater than the dimension of the "
     "array 5\n",
     1},
    {"negative number and a path", 71, -3, 12, "", "soils.asc", 0, true,
     "\nIndex ID exceeds table limit, file: soils.asc [row -3:col 12]\n", 1},
    {"two texts in their own order", 61, 0, 0, "outlet", "depth", 0, true,
     "\nError: Unable to open output data set group depth for writing in the grid outlet of the "
     "PARB file.",
     1},
    {"message ending in a text", 77, 0, 0, "AQUATIC_ENV_NSM10", "env.txt", 0, true,
     "\nError: The header for the aquatic environment file is invalid or does not match \n the "
     "current version. \n The aquatic environment file specified is: env.txt\n The header should "
     "be : AQUATIC_ENV_NSM10",
     1},
    {"quotes inside a message", 85, 0, 0, "", "", 0, true,
     "\nError: Incorrect usage of the RATING_CURVE card. It should be STRUCTTYPE RATING_CURVE "
     "\"elev series name\"\nThe elevation series is missing\n",
     1},
    {"no final line break", 86, 0, 0, "", "", 0, true,
     "\nError: The elevation series for a RATING_CURVE card is not found. Make sure that the "
     "elevation series\n file is in the project file before the channel input file and that the "
     "elevation series is defined.",
     1},
    {"warning clears the stop flag", 55, 0, 0, "", "", 1, true,
     "\nWarning: Write hydrograph time step not specified, defaulting to 1 hour.\n", 0},
    {"warning without a Warning word", 17, 0, 0, "", "", 0, true,
     "\nX-Windows Graphics Warning:\nThe project file specifies X-Windows plotting of soil "
     "surface moisture, but\ndoes not specify an infiltration method card.  This plotting "
     "routine\ncurrently plots soil surface water content when using the Green & Ampt,\nGreen & "
     "Ampt with redistribution or Richards Equation.  Plotting of soil\nsurface water content "
     "disabled.\nYou must include the one of the following cards: INF_REDIST, GREEN_AMPT\nor "
     "INF_RICHARDS to enable plotting of surface water content in an X-window.\n\n",
     0},
    {"own message already printed", 4000, 0, 0, "", "", 0, true, "\n", 1},
    {"code without message", 129, 0, 0, "", "", 0, true, "\n", 1},
    {"code beyond the table", 136, 0, 0, "", "", 0, true, "\n", 1},
    {"nothing pending keeps the flag", 0, 0, 0, "", "", 1, true, "", 1},
    {"negative code writes nothing", -5, 0, 0, "", "", 0, true, "", 0},
    {"summary not yet open", 3, 0, 0, "", "", 0, false,
     "\nError: The specified project file was not found.\n", 1},
    {"user text is never a format", 4, 0, 0, "%s%n", "%d%%%n", 0, true,
     "\nError: Unable to open %s%n file.\n  (File: %d%%%n)\n", 1},
};

TEST_F(error_reporting, report_error_writes_each_message_to_screen_and_summary) {
  temp_dir dir;
  for (const report_case& c : report_cases) {
    SCOPED_TRACE(c.what);
    safe_file summary;
    ASSERT_TRUE(summary.open(dir.file("summary.out").c_str(), "w"));
    summary_file = c.summary_open ? &summary : nullptr;
    error_state = error_record{};
    error_state.code = c.code;
    error_state.number1 = c.number1;
    error_state.number2 = c.number2;
    std::strcpy(error_state.text1, c.text1);
    std::strcpy(error_state.text2, c.text2);
    error_state.stop_flag = c.stop_before;

    stdout_capture capture;
    report_error();
    std::string screen = capture.stop();
    summary.close();

    EXPECT_EQ(screen, c.screen);
    EXPECT_EQ(read_file(dir.file("summary.out")), c.summary_open ? c.screen : "");
    EXPECT_EQ(error_state.code, 0);
    EXPECT_EQ(error_state.stop_flag, c.stop_after);
  }
}

TEST_F(error_reporting, table_holds_135_codes_with_the_eight_warnings) {
  std::set<int> warnings;
  size_t fixed_characters = 0;
  for (int code = 1; code <= 135; ++code) {
    if (is_warning_code(code)) warnings.insert(code);
    const char* text = message_template(code);
    if (code == 129) {
      EXPECT_EQ(text, nullptr);
      continue;
    }
    ASSERT_NE(text, nullptr) << code;
    fixed_characters += std::strlen(text);
  }
  EXPECT_EQ(warnings, (std::set<int>{14, 16, 17, 39, 41, 55, 95, 96}));
  // Sum of the fixed parts of all 134 texts, counted from the table as given.
  EXPECT_EQ(fixed_characters, 17235u);
  EXPECT_STREQ(message_template(28), message_template(29));
  EXPECT_EQ(message_template(0), nullptr);
  EXPECT_EQ(message_template(136), nullptr);
  EXPECT_EQ(message_template(4000), nullptr);
  EXPECT_EQ(err_observed_data_format, 135);
  EXPECT_EQ(warn_hydrograph_step_default, 55);
}

TEST_F(error_reporting, exact_texts_keep_their_spelling_and_spacing) {
  EXPECT_STREQ(message_template(7),
               "Error: You have specified both the Penman Montieth and Deardorff\n"
               "evapo-transpiration calculation methods.  Only one may be \n"
               "specified for long-term simulations.  Select only one method.\n");
  EXPECT_STREQ(message_template(11),
               "Error: You have an error in your input due to one of the following:\n\n"
               " - You have not specified a precipitation card in your project file.\n"
               "   One of either PRECIP_UNIF or PRECIP_FILE must be specified.\n"
               "   The PRECIP_FILE card must be followed by the name of the precipitation\n"
               "   input data file.  If PRECIP_UNIF is specified, then the RAIN_DURATION\n"
               "   and RAIN_INTENSITY cards must also be given, followed by the proper values\n"
               " - You have specified spatially-uniform rainfall with either a zero\n"
               "   rate or duration.  Please check that your rain rate in mm/h or\n"
               "   rain duration in minutes are both non-zero.\n");
  EXPECT_STREQ(message_template(39),
               "Warning: You have specified neither spatially-varied, uniform, or mapping table "
               "porosity for\ngroundwater soil without using both the gw_unif_porosity and\n"
               "gw_porosity_map project file cards. Groundwater porosities will be the.\n"
               "same as those in the last layer of your soil input table.\n");
  EXPECT_STREQ(message_template(68),
               "The number of wetland ids specified in the master table file \n"
               "is over 300!  This is highly unusual.  I'm bombing... in a   \n"
               "dazed and confused state.  So many wetlands!\n");
  // Fields are left out of the template.
  EXPECT_STREQ(message_template(54), "Error: The time step () must be evenly divisible into 60 seconds.\n");
}

TEST_F(error_reporting, only_six_messages_leave_the_line_open) {
  const std::set<int> open_ended = {61, 63, 77, 86, 88, 90};
  for (int code = 1; code <= 135; ++code) {
    if (code == 129) continue;
    error_state = error_record{};
    stdout_capture capture;
    raise_error(code, 1, 2, "T1", "T2");
    std::string screen = capture.stop();
    ASSERT_GT(screen.size(), 1u) << code;
    EXPECT_EQ(screen.back() != '\n', open_ended.count(code) == 1) << code;
    EXPECT_EQ(error_state.stop_flag, is_warning_code(code) ? 0 : 1) << code;
  }
}

TEST_F(error_reporting, terminate_flag_prints_the_notice_and_keeps_the_code) {
  temp_dir dir;
  safe_file summary;
  ASSERT_TRUE(summary.open(dir.file("summary.out").c_str(), "w"));
  summary_file = &summary;
  error_state.terminate_flag = 1;
  stdout_capture capture;
  raise_error(err_time_step_zero);
  EXPECT_EQ(capture.stop(), "\nError: Time step is 0 seconds.\nVALTO Terminated.\n");
  summary.close();
  EXPECT_EQ(read_file(dir.file("summary.out")), "\nError: Time step is 0 seconds.\n");
  EXPECT_EQ(error_state.code, 52);
  EXPECT_EQ(error_state.stop_flag, 1);

  // A warning clears the stop flag first, so the notice is not printed.
  error_state.code = warn_q7_no_segments;
  stdout_capture again;
  report_error();
  EXPECT_EQ(again.stop(), "\nWarning: There are no segments in the Q7 segment map.\n");
  EXPECT_EQ(error_state.code, 0);
}

// Standard input is a pipe holding two characters and standard error a file,
// both restored afterwards; the pause must take exactly one character.
TEST_F(error_reporting, pause_writes_to_standard_error_and_reads_one_character) {
  temp_dir dir;
  int keys[2];
  ASSERT_EQ(pipe(keys), 0);
  ASSERT_EQ(write(keys[1], "xy", 2), 2);
  close(keys[1]);
  std::string err_path = dir.file("stderr.txt");
  std::FILE* err_file = std::fopen(err_path.c_str(), "w");
  ASSERT_NE(err_file, nullptr);

  std::fflush(stderr);
  int saved_in = dup(0);
  int saved_err = dup(2);
  dup2(keys[0], 0);
  dup2(fileno(err_file), 2);
  clearerr(stdin);

  pause_flag = 1;
  error_state.terminate_flag = 1;
  stdout_capture capture;
  raise_error(err_outlet_slope_missing);
  std::string screen = capture.stop();
  int next = std::fgetc(stdin);

  std::fflush(stderr);
  dup2(saved_in, 0);
  dup2(saved_err, 2);
  close(saved_in);
  close(saved_err);
  close(keys[0]);
  clearerr(stdin);
  std::fclose(err_file);

  EXPECT_EQ(screen, "\nError: Outlet slope not specified.\nVALTO Terminated.\n");
  EXPECT_EQ(read_file(err_path), "Program terminated.  Hit any key to continue.\n");
  EXPECT_EQ(next, 'y');
  EXPECT_EQ(error_state.code, 56);
}

TEST_F(error_reporting, raisers_store_cut_texts_and_report_as_their_form_says) {
  // Over-long texts are cut to their fields, never overrun.
  std::string role(200, 'r');
  std::string path(3000, 'p');
  stdout_capture capture;
  raise_error(err_open_file, 0, 0, role.c_str(), path.c_str());
  EXPECT_EQ(capture.stop(), "\nError: Unable to open " + std::string(59, 'r') + " file.\n  (File: " +
                                std::string(1023, 'p') + ")\n");
  EXPECT_EQ(error_state.code, 0);
  EXPECT_EQ(error_state.stop_flag, 1);

  // Form 2 stores and leaves the report to the driver.
  error_state = error_record{};
  stdout_capture quiet;
  set_error(err_map_rows, 0, 0, nullptr, "dem.asc");
  EXPECT_EQ(quiet.stop(), "");
  EXPECT_EQ(error_state.code, 73);
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_STREQ(error_state.text2, "dem.asc");
  stdout_capture driver;
  report_error();
  EXPECT_EQ(driver.stop(), "\nIncorrect number of rows in map: dem.asc\n");

  // A null text leaves its field as the raiser filled it.
  copy_text(error_state.text2, sizeof error_state.text2, "kept.asc");
  stdout_capture kept;
  raise_error(err_map_cols);
  EXPECT_EQ(kept.stop(), "\nIncorrect number of columns in map: kept.asc\n");

  // Form 3: the own message, then the line break of code 4000; a user text
  // is an argument of the code's format, never a format itself.
  temp_dir dir;
  safe_file summary;
  ASSERT_TRUE(summary.open(dir.file("summary.out").c_str(), "w"));
  set_summary_file(&summary);
  error_state = error_record{};
  stdout_capture own;
  raise_message("Error: NaN depth in cell %d of \"%s\"\n", 17, "%n%s");
  EXPECT_EQ(own.stop(), "Error: NaN depth in cell 17 of \"%n%s\"\n\n");
  EXPECT_EQ(error_state.code, 0);
  EXPECT_EQ(error_state.stop_flag, 1);
  stdout_capture plain;
  print_message(summary_file, "50% done %s%n\n");
  EXPECT_EQ(plain.stop(), "50% done %s%n\n");
  summary.close();
  EXPECT_EQ(read_file(dir.file("summary.out")),
            "Error: NaN depth in cell 17 of \"%n%s\"\n\n50% done %s%n\n");
}

TEST_F(error_reporting, summary_reference_is_withdrawn_when_its_file_closes) {
  temp_dir dir;
  {
    safe_file summary;
    ASSERT_TRUE(summary.open(dir.file("a.out").c_str(), "w"));
    set_summary_file(&summary);
    summary.close();
    EXPECT_EQ(summary_file, nullptr);

    ASSERT_TRUE(summary.open(dir.file("b.out").c_str(), "w"));
    set_summary_file(&summary);
    // Another wrapper closing leaves the reference alone.
    safe_file other;
    ASSERT_TRUE(other.open(dir.file("c.out").c_str(), "w"));
    other.close();
    EXPECT_EQ(summary_file, &summary);
  }  // destroyed while open
  EXPECT_EQ(summary_file, nullptr);

  // A later run's report goes to the screen only.
  stdout_capture capture;
  raise_error(err_time_step_over_60);
  EXPECT_EQ(capture.stop(), "\nError: Time step is greater than 60 seconds.\n");
  EXPECT_EQ(read_file(dir.file("b.out")), "");
}

// Worker threads that meet a fatal condition report at once; each report
// must come out whole, its line break right after its own message.
TEST_F(error_reporting, reports_from_worker_threads_do_not_interleave) {
  constexpr int threads = 8;
  constexpr int reports = 25;
  stdout_capture capture;
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t)
    workers.emplace_back([] {
      for (int i = 0; i < reports; ++i) {
        raise_message("Error: Not a number found in the flow of link %d node %d.\n", 12, 3);
        raise_error(err_open_file, 0, 0, "channel", "/some/where/chan.dat");
      }
    });
  for (std::thread& w : workers) w.join();
  std::string screen = capture.stop();

  // Reports of different threads may come in any order, but each one whole.
  const std::string own = "Error: Not a number found in the flow of link 12 node 3.\n\n";
  const std::string numbered = "\nError: Unable to open channel file.\n  (File: /some/where/chan.dat)\n";
  int owns = 0;
  int numbereds = 0;
  size_t at = 0;
  while (at < screen.size()) {
    if (screen.compare(at, own.size(), own) == 0) {
      ++owns;
      at += own.size();
    } else if (screen.compare(at, numbered.size(), numbered) == 0) {
      ++numbereds;
      at += numbered.size();
    } else {
      ADD_FAILURE() << "broken report at character " << at;
      break;
    }
  }
  EXPECT_EQ(owns, threads * reports);
  EXPECT_EQ(numbereds, threads * reports);
  EXPECT_EQ(error_state.code, 0);
  EXPECT_EQ(error_state.stop_flag, 1);
}

// A calibration trial tells with the first error it reported why it failed:
// warnings and the messages after the first do not replace it.
TEST_F(error_reporting, the_first_error_message_is_kept_until_cleared) {
  clear_first_error();
  stdout_capture capture;
  raise_error(warn_xwin_channel_depth, 3, 4);
  EXPECT_STREQ(first_error_message(), "");
  raise_message("Error: NaN depth in cell %d\nof the grid\n", 17);
  raise_error(err_map_rows, 0, 0, nullptr, "dem.asc");
  capture.stop();
  EXPECT_STREQ(first_error_message(), "Error: NaN depth in cell 17");
  clear_first_error();
  EXPECT_STREQ(first_error_message(), "");
  stdout_capture numbered;
  raise_error(err_map_rows, 0, 0, nullptr, "dem.asc");
  numbered.stop();
  EXPECT_STREQ(first_error_message(), "Incorrect number of rows in map: dem.asc");
  clear_first_error();
}

}  // namespace
