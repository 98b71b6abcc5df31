// Rain from a precipitation file: one-event files of each data kind rain on
// the plane20 fixture exactly as its uniform rain does, card words and dates
// read as the file format has them, periods turned into rates, rain changes
// between steps, and every stop of the reader with its lines.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "core/error_state.h"
#include "core/julian.h"
#include "precip_fixture.h"
#include "surface/precip_file.h"
#include "surface_run_fixture.h"
#include "test_support.h"

namespace {

using namespace precip_fixture;
using surface_fixture::clear_errors;
using surface_fixture::progress_lines;
using surface_fixture::progress_rows;
using surface_fixture::run_in_process;
using test_support::scoped_cwd;
using test_support::stdout_capture;
using test_support::temp_dir;

class precip_run : public testing::Test {
 protected:
  run_output run(const std::string& rain, const std::string& extra = "",
                 const std::function<void(model_state&)>& after_pass = nullptr) {
    write_plane(dir_, rain, extra);
    return run_in_process(dir_.path(), "plane20.prj", after_pass);
  }
  std::string file(const std::string& name) { return test_support::read_file(dir_.file(name)); }

  temp_dir dir_;
};

TEST_F(precip_run, one_event_files_of_each_kind_print_the_uniform_runs_lines_and_row) {
  write_uniform_plane(dir_);
  const run_output uniform = run_in_process(dir_.path(), "plane20.prj");
  ASSERT_EQ(uniform.status, 0) << uniform.text;
  const std::vector<std::string> uniform_lines = progress_lines(uniform.text);
  ASSERT_EQ(uniform_lines.size(), 721u);
  const std::string uniform_row = file("plane_optim.out");

  struct file_case {
    const char* label;
    std::vector<std::string> lines;
  };
  // A GAGES or ACCUM event of m lines rains m - 2 periods; a RATES line's
  // rate holds up to the next line's date.
  const file_case cases[] = {
      {"RATES", {"RATES 0 0 36", "RATES 4 0 0"}},
      {"GAGES", {"GAGES 0 0 0", "GAGES 4 0 144", "GAGES 4 30 0"}},
      {"ACCUM", {"ACCUM 0 0 0", "ACCUM 4 0 144", "ACCUM 4 30 144"}},
  };
  for (const file_case& c : cases) {
    SCOPED_TRACE(c.label);
    const run_output out = run(one_gauge_event(c.lines));
    ASSERT_EQ(out.status, 0) << out.text;
    EXPECT_EQ(progress_lines(out.text), uniform_lines);
    EXPECT_EQ(file("plane_optim.out"), uniform_row);
    EXPECT_NE(out.text.find("reading precip data from file: rain.gag\n"), std::string::npos);
  }
}

double equilibrium_q(const std::string& text) {
  double q = -1.0;
  for (const auto& r : progress_rows(text))
    if (std::fabs(r.minutes - 239.5) < 1e-6) q = r.q;
  return q;
}

TEST_F(precip_run, two_gauges_spread_by_inverse_distance_or_nearest_gauge) {
  // 36 mm/h at the west end and none at x = 1450 m; the nearest-gauge rule
  // gives the eight cells up to x = 750 m (a tie, won by gauge 1) the rain.
  const std::string rain =
      "EVENT two gauges\nNRGAG 2\nNRPDS 2\nCOORD 50 50\nCOORD 1450 50\n"
      "RATES 2000 6 1 0 0 36 0\nRATES 2000 6 1 4 0 0 0\n";
  const run_output idw = run(rain, "RAIN_INV_DISTANCE\n");
  ASSERT_EQ(idw.status, 0) << idw.text;
  EXPECT_DOUBLE_EQ(equilibrium_q(idw.text), 0.77);  // sum of the weighted rates, 0.766 m3/s
  const run_output nearest = run(rain, "RAIN_THIESSEN\n");
  ASSERT_EQ(nearest.status, 0) << nearest.text;
  EXPECT_DOUBLE_EQ(equilibrium_q(nearest.text), 0.80);  // 8 x 1e4 m2 x 1e-5 m/s
}

TEST_F(precip_run, without_long_term_only_the_first_of_several_events_runs) {
  const std::string first = one_gauge_event({"RATES 0 0 36", "RATES 4 0 0"});
  const std::string second =
      "EVENT later\nNRGAG 1\nNRPDS 2\nCOORD 50 50\nRATES 2000 6 2 0 0 10\nRATES 2000 6 2 1 0 0\n";
  const run_output out = run(first + second);
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_NE(out.text.find("End of precipitation input file reached.\n"
                          "Precip. file contains 2 events, simulating first event only\n"
                          "because LONG_TERM project file card not set in project file.\n"),
            std::string::npos)
      << out.text;
  EXPECT_EQ(file("plane_optim.out").rfind("1     2.000", 0), 0u) << file("plane_optim.out");
}

TEST_F(precip_run, replacement_values_are_substituted_in_the_files_lines) {
  dir_.write("params.txt", "1\n[RAIN] \"%4.1lf\"\n");
  dir_.write("vals.txt", "36.0\n");
  const run_output out = run(one_gauge_event({"RATES 0 0 [RAIN]", "RATES 4 0 0"}),
                             "REPLACE_PARAMS params.txt\nREPLACE_VALS vals.txt\n");
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_DOUBLE_EQ(equilibrium_q(out.text), 2.00);
}

// Rain changes whose dates fall between overland steps of 10 minutes rain
// from the first step that begins at or after them; several within one step
// leave the last one's rate.
TEST_F(precip_run, changes_off_the_step_grid_rain_from_the_next_step_on) {
  struct grid_case {
    const char* label;
    std::vector<std::string> lines;
    double volume;  // m3 of rain on the 200000 m2 plane
  };
  const grid_case cases[] = {
      // steps from 0, 10 and 20 minutes: 30 minutes of 36 mm/h
      {"a period ending at 25 minutes", {"RATES 0 0 36", "RATES 0 25 0"}, 3600.0},
      // 36 mm/h for the step from 0, then 12 mm/h (the last of three
      // changes before 10 minutes) for the steps from 10 and 20
      {"three changes within one step",
       {"RATES 0 0 36", "RATES 0 3 72", "RATES 0 6 12", "RATES 0 30 0"},
       (36.0 * 10 + 12.0 * 20) / 60.0 * 200.0},
      // GAGES: 6 mm over 0:00 to 0:15 is 24 mm/h, from the steps at 0 and 10
      {"GAGES ending between steps", {"GAGES 0 0 0", "GAGES 0 15 6", "GAGES 0 40 0"},
       24.0 * 20.0 / 60.0 * 200.0},
  };
  for (const grid_case& c : cases) {
    SCOPED_TRACE(c.label);
    double rain = 0.0;
    const run_output out = run(one_gauge_event(c.lines), "TIMESTEP 600\n",
                               [&](model_state& s) { rain = s.surface.rain_volume; });
    ASSERT_EQ(out.status, 0) << out.text;
    EXPECT_NEAR(rain, c.volume, 1e-6 * c.volume);
  }
}

// Reading one event of the file on a record of the plane's grid.
class precip_read : public testing::Test {
 protected:
  precip_read() : cwd_(dir_.path()) { clear_errors(); }
  ~precip_read() override { clear_errors(); }

  // Counts the events of text and reads the first into s; the output of both.
  std::string read_into(model_state& s, const std::string& text, bool thiessen = false) {
    dir_.write("rain.gag", text);
    plane_record(s, thiessen);
    stdout_capture out;
    setup_precip_and_hmet(s);
    if (!error_state.stop_flag) start_event(s, 1);
    return out.stop();
  }
  std::string read(const std::string& text, bool thiessen = false) {
    return read_into(s_, text, thiessen);
  }
  const raingage_data& rd() const { return s_.surface.raingage; }

  temp_dir dir_;
  scoped_cwd cwd_;
  model_state s_;
};

TEST_F(precip_read, card_words_are_five_letter_tokens_known_by_four) {
  struct word_case {
    const char* label;
    const char* text;
    const char* title;  // of the event read, or null when the reading stops
    const char* message;
  };
  const word_case cases[] = {
      {"any case, words before EVENT skipped, counts in either order",
       "a header line\nEvEnT  storm one  \nnrpds 2 junk nRgAg 1\ncoord 0 50 rest ignored\n"
       "gage 2000 6 1 0 0 0\nGAGES 2000 6 1 1 0 5\n",
       "storm one", nullptr},
      {"EVENTS counts as EVENT; its tail begins the title",
       "EVENTS of June\nNRGAG 1 NRPDS 2\nCOORD 0 50\n"
       "GAGES 2000 6 1 0 0 0\nGAGES 2000 6 1 1 0 5\n",
       "S of June", nullptr},
      {"NRGAGE leaves E as NRGAG's value",
       "EVENT e\nNRGAGE 1\nNRPDS 2\n", nullptr,
       "Error: the NRGAG value \"E\" on line 2 of the precipitation file rain.gag is not a "
       "number.\nCheck the event entitled:\n   e\n\n"},
      {"COORDS leaves S as the x coordinate",
       "EVENT c\nNRGAG 1\nNRPDS 2\nCOORDS 0 50\n", nullptr,
       "Error: the gauge x coordinate \"S\" on line 4 of the precipitation file rain.gag is not a "
       "number.\nCheck the event entitled:\n   c\n\n"},
  };
  for (const word_case& c : cases) {
    SCOPED_TRACE(c.label);
    clear_errors();
    model_state s;
    const std::string text = read_into(s, c.text);
    if (c.title) {
      EXPECT_EQ(error_state.stop_flag, 0) << text;
      EXPECT_STREQ(s.surface.raingage.title, c.title);
      EXPECT_EQ(s.surface.raingage.nrgag, 1);
      EXPECT_DOUBLE_EQ(value(s, 1, 1), 5.0);  // 5 mm in one hour
    } else {
      EXPECT_EQ(error_state.stop_flag, 1);
      EXPECT_EQ(text, c.message);
    }
  }
}

TEST_F(precip_read, periods_take_their_lengths_from_the_julian_dates) {
  struct period_case {
    const char* label;
    const char* lines;  // GAGES lines of one gauge
    int year;           // of the first line
    std::vector<double> rates;  // mm/h of each period
    bool long_period;
  };
  const period_case cases[] = {
      {"a two-digit year is of the 1900s; 1996 is a leap year",
       "GAGES 96 2 28 23 0 0\nGAGES 96 2 29 1 0 10\n", 1996, {5.0}, false},
      {"February of 2000 has 29 days", "GAGES 2000 2 28 0 0 0\nGAGES 2000 3 1 0 0 48\n", 2000,
       {1.0}, true},
      {"February of 1900 has 28 days", "GAGES 0 2 28 0 0 0\nGAGES 0 3 1 0 0 24\n", 1900, {1.0},
       false},
      {"15 January to 20 February is 36 days",
       "GAGES 2001 1 15 0 0 0\nGAGES 2001 2 20 0 0 864\n", 2001, {1.0}, true},
      {"31 January 23:00 to 1 February 01:00 is two hours",
       "GAGES 2001 1 31 23 0 0\nGAGES 2001 2 1 1 0 4\n", 2001, {2.0}, false},
      {"a period of no length rains nothing",
       "GAGES 2000 6 1 0 0 0\nGAGES 2000 6 1 0 0 5\nGAGES 2000 6 1 0 30 3\n", 2000, {0.0, 6.0},
       false},
  };
  for (const period_case& c : cases) {
    SCOPED_TRACE(c.label);
    clear_errors();
    const std::string text = std::string("EVENT p\nNRGAG 1\nNRPDS ") +
                             std::to_string(c.rates.size() + 1) + "\nCOORD 0 50\n" + c.lines;
    model_state s;
    const std::string printed = read_into(s, text);
    ASSERT_EQ(error_state.stop_flag, 0) << printed;
    EXPECT_EQ(s.surface.raingage.start_year, c.year);
    for (std::size_t p = 0; p < c.rates.size(); ++p)
      EXPECT_NEAR(value(s, 1, int(p) + 1), c.rates[p], 1e-12) << p + 1;
    EXPECT_EQ(printed.find("WARNING: you have a long delta t in your precip file\n") !=
                  std::string::npos,
              c.long_period);
  }
}

TEST_F(precip_read, the_event_start_sets_the_clock_fields_and_the_kinds_rates) {
  const std::string printed =
      read("junk\nEVENT accum\nNRPDS 3\nNRGAG 2\nCOORD 0 50\nCOORD 100 50\n"
           "ACCUM 2000 6 1 0 0 0 1\nACCUM 2000 6 1 2 0 4 1\nACCUM 2000 6 1 2 30 5 2\n");
  ASSERT_EQ(error_state.stop_flag, 0) << printed;
  EXPECT_EQ(printed,
            "End of precipitation input file reached.\n"
            "Precip. file contains 1 events, simulating first event only\n"
            "because LONG_TERM project file card not set in project file.\n"
            "reading precip data from file: rain.gag\n");
  const run_control& run = s_.run;
  EXPECT_EQ(run.num_events, 1);
  EXPECT_EQ(run.event_index, 1);
  EXPECT_EQ(run.event_data_flag, 1);
  EXPECT_EQ(run.rain_on, 1);
  const double start = julian_date(2000, 6, 1, 0, 0, 0.0);
  EXPECT_EQ(run.event_start_time, start);
  EXPECT_EQ(run.next_rain_time, start);
  EXPECT_EQ(rd().rain_end, julian_date(2000, 6, 1, 2, 30, 0.0));
  EXPECT_DOUBLE_EQ(value(s_, 1, 1), 2.0);  // 4 mm in 2 h
  EXPECT_DOUBLE_EQ(value(s_, 2, 1), 0.0);
  EXPECT_DOUBLE_EQ(value(s_, 1, 2), 2.0);  // 1 mm in 30 min
  EXPECT_DOUBLE_EQ(value(s_, 2, 2), 2.0);
}

TEST_F(precip_read, one_data_line_rains_no_period) {
  for (const char* kind : {"GAGES", "RATES"}) {
    SCOPED_TRACE(kind);
    clear_errors();
    model_state s;
    read_into(s, std::string("EVENT single\nNRGAG 1\nNRPDS 1\nCOORD 50 50\n") + kind +
                     " 2000 6 1 0 0 12\n");
    stdout_capture out;
    update_rain_rates(s);
    out.stop();
    EXPECT_EQ(error_state.stop_flag, 0);
    EXPECT_EQ(s.run.event_data_flag, 0);  // the event's rain is over at once
    EXPECT_EQ(s.run.rain_active, 0);
    for (int i = 1; i <= 20; ++i) EXPECT_EQ(s.surface.rain_rate[i], 0.0);
  }
}

TEST_F(precip_read, a_rates_event_ends_at_its_last_lines_date) {
  const std::string printed = read(one_gauge_event({"RATES 0 0 36", "RATES 4 0 0"}));
  ASSERT_EQ(error_state.stop_flag, 0) << printed;
  const double end = julian_date(2000, 6, 1, 4, 0, 0.0);
  EXPECT_EQ(rd().nrpds, 3);  // one more than its lines: the last line's rate is not used
  EXPECT_EQ(rd().rain_end, end);
  EXPECT_EQ(line_time(rd(), 3), end);  // the period past the last line ends where it begins
  EXPECT_DOUBLE_EQ(value(s_, 1, 1), 36.0);
  EXPECT_DOUBLE_EQ(value(s_, 1, 2), 0.0);
}

TEST_F(precip_read, the_framework_summary_lists_the_event_starts_and_runs_nothing) {
  std::filesystem::create_directory(dir_.path() / "exchange");
  const std::string first = one_gauge_event({"GAGES 0 0 0", "GAGES 1 0 5"});
  const std::string second =
      "EVENT later\nNRGAG 1\nNRPDS 1\nCOORD 0 0\nRATES 2001 12 31 23 45 1\n";
  dir_.write("rain.gag", first + second);
  plane_record(s_);
  s_.input.qtr = 1;
  s_.input.qtr_event = 1;
  s_.input.qtr_event_num = 0;
  stdout_capture out;
  setup_precip_and_hmet(s_);
  EXPECT_EQ(out.stop(),
            "End of precipitation input file reached.\n"
            "Precip. file contains 2 events.\n"
            "VALTO wrote precipitation data event summary to file: exchange/QTR_PRECIP.SUM\n"
            "No simulations performed.  VALTO terminated.\n\n\n");
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_EQ(test_support::read_file(dir_.file("exchange/QTR_PRECIP.SUM")),
            "2\n2000  6  1  0  0\n2001 12 31 23 45\n");
}

TEST_F(precip_read, bad_files_stop_with_their_messages) {
  const std::string data_error_head =
      "\nERROR:\nThere is a data error in the precipitation file.  This error occurred in the\n";
  const std::string must_correct =
      "This error in your precipitation input file must be corrected before VALTO\n";
  struct bad_case {
    const char* label;
    std::string text;
    std::string message;
  };
  const bad_case cases[] = {
      {"two card kinds in one event",
       "EVENT mixed\nNRGAG 1\nNRPDS 3\nCOORD 0 0\nGAGES 2000 6 1 0 0 0\n"
       "GAGES 2000 6 1 1 0 5\nRATES 2000 6 1 2 0 0\n",
       "\nERROR:\n\nThere is a problem in the precipitation input file.\n"
       "More than one precipitation data card type has been specified.\n"
       "There may only be one of the following card types per event:\n\n"
       "     1) RADAR\n     2) GAGES\n     3) RATES\n\n"
       "Check the precipitation input file.  VALTO exiting\n\n"},
      {"no card kind",
       "EVENT none\nNRGAG 1\nNRPDS 2\nCOORD 0 0\nRAIN 2000 6 1 0 0 0\n",
       "\nERROR:\n\nThere is a problem in the precipitation input file.\n"
       "At least one precipitation data card type must be specified.\n"
       "     1) RADAR\n     2) GAGES\n     3) RATES    4) ACCUM\n\n"
       "Check the precipitation input file.  VALTO exiting\n\n"},
      {"a missing COORD card",
       "EVENT no coords\nNRGAG 2\nNRPDS 2\nCOORD 0 0\nGAGES 2000 6 1 0 0 0 0\n",
       "\nCannot find gage coordinate card in rainfall input file for event entitled:\n"
       "       no coords\n\nCheck rainfall input file format.\n\n"},
      {"dates out of order",
       "EVENT backwards\nNRGAG 1\nNRPDS 2\nCOORD 0 0\n"
       "GAGES 2000 6 1 1 0 0\nGAGES 2000 6 1 0 30 5\n",
       data_error_head + "EVENT titled:\n backwards\n"
           "On line no. 2, the given time of the recorded data is:    2000/6/1 0:30\n"
           "Which is earlier than the date/time on the previous line:  2000/6/1 1:00\n" +
           must_correct + "can continue.  Program exiting on error.\n\n\n"},
      {"an accumulation falling from line 2 to 3",
       "EVENT falling\nNRGAG 1\nNRPDS 3\nCOORD 0 0\nACCUM 2000 6 1 0 0 0\n"
       "ACCUM 2000 6 1 1 0 5\nACCUM 2000 6 1 2 0 4\n",
       data_error_head + "EVENT titled:\n falling\n"
           "On line no. 3, the accumulated precip. for gage number 1 is:  4.00000 mm\n"
           "Which is less than the accumulated precip. on the previous line:  5.00000 mm\n" +
           must_correct +
           "can continue.  Accumulated precip is CUMULATIVE.  The values should increase\n"
           "monotonically.  Program exiting on error.\n\n\n"},
      {"an accumulation falling from line 1 to 2 stops at the conversion",
       "EVENT early fall\nNRGAG 1\nNRPDS 2\nCOORD 0 0\n"
       "ACCUM 2000 6 1 0 0 5\nACCUM 2000 6 1 1 0 4\n",
       "End of precipitation input file reached.\n"
       "Precip. file contains 1 events, simulating first event only\n"
       "because LONG_TERM project file card not set in project file.\n"
       "reading precip data from file: rain.gag\n"
       "You have a negative precip value for gage 1, rain period 1\n"
       "Check your rainfall inputs for event 1 \n\n"},
      {"an unreadable value",
       "EVENT word\nNRGAG 1\nNRPDS 2\nCOORD 0 0\nGAGES 2000 6 1 0 0 0\nGAGES 2000 6 1 1 0 five\n",
       "\n ERROR: \n\n check out gage input for precip record 2\n look at gage 1 \n"
       "Unexpected end of file in rain gage data file.\nCheck the format of the data file.\n"
       "Program terminated.Check rain event 1, event after 0 0 0 \n\n"},
      {"end of file inside an event",
       "EVENT short\nNRGAG 1\nNRPDS 3\nCOORD 0 0\nGAGES 2000 6 1 0 0 0\nGAGES 2000 6 1 1 0 5\n",
       "\n last year 2000 last month 6 last day 1 last hour 1 last minute 0 \n"
       "Unexpected end of file in rain gage data file.\nCheck the format of the data file.\n"
       "Program terminated.Check rain event 1, event after 0 0 0 \n\n"},
      {"a file without an EVENT card", "NRGAG 1\nNRPDS 1\n",
       "Error: the precipitation file rain.gag holds no event: no EVENT card was found.\n\n"},
      {"NRGAG 0 with gauge cards",
       "EVENT no gauges\nNRGAG 0\nNRPDS 1\nGAGES 2000 6 1 0 0\n",
       "\nThere is a problem with your rainfall input file.  The event entitled:\n   no gauges\n"
       "gives NRGAG 0; gauge data need at least one gauge.\n\n"},
      {"counts promising more values than the file holds",
       "EVENT huge\nNRPDS 3\nNRGAG 2147483647\nCOORD 50 50\n",
       "\nThere is a problem with your rainfall input file.  The event entitled:\n   huge\n"
       "gives NRGAG 2147483647 and NRPDS 3, more values than the 48 bytes of rain.gag hold.\n\n"},
      {"a line longer than the line buffer", "EVENT " + std::string(20000, 'x') + "\n",
       "Error: line 1 of the precipitation file rain.gag is longer than 19999 characters.\n\n"},
      {"a date that is no date",
       "EVENT bad day\nNRGAG 1\nNRPDS 1\nCOORD 0 0\nGAGES 2001 2 29 0 0 0\n",
       "Error: the date 2001/2/29 0:00 on line 5 of the precipitation file rain.gag is not a "
       "date.\nCheck the event entitled:\n   bad day\n\n"},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.label);
    clear_errors();
    model_state s;
    EXPECT_EQ(read_into(s, c.text), c.message);
    EXPECT_EQ(error_state.stop_flag, 1);
  }
}

TEST_F(precip_read, rates_outside_their_range_stop_and_unusual_ones_warn_once) {
  const std::string head = "EVENT cloudburst\nNRGAG 2\nNRPDS 3\nCOORD 0 0\nCOORD 50 0\n";
  for (const char* rate : {"1e30", "-2"}) {
    SCOPED_TRACE(rate);
    clear_errors();
    model_state s;
    const std::string printed = read_into(
        s, head + "RATES 2000 6 1 0 0 5 " + rate + "\nRATES 2000 6 1 1 0 0 0\nRATES 2000 6 1 2 0 0 0\n");
    EXPECT_NE(printed.find(std::string("Error: the rain rate ") + (rate[0] == '1' ? "1e+30" : rate) +
                           " mm/h of gage 2 on line 6 of the precipitation file rain.gag (data line 1 "
                           "of the event entitled: cloudburst) is outside its range; it must be "
                           "from 0 to 10000 mm/h.\n"),
              std::string::npos)
        << printed;
    EXPECT_EQ(error_state.stop_flag, 1);
  }
  clear_errors();
  const std::string printed = read(head + "RATES 2000 6 1 0 0 1500 2000\n"
                                          "RATES 2000 6 1 1 0 1200 0\nRATES 2000 6 1 2 0 0 0\n");
  EXPECT_EQ(error_state.stop_flag, 0) << printed;
  const std::string warning =
      "Warning: the rain rate 1500 mm/h of gage 1 on line 6 of the precipitation file rain.gag is "
      "above 1000 mm/h";
  ASSERT_NE(printed.find(warning), std::string::npos) << printed;
  EXPECT_EQ(printed.find("Warning: the rain rate", printed.find(warning) + 1), std::string::npos);
}

TEST(check_gage_hmet_dates, an_event_must_start_inside_the_meteorological_data) {
  // Data from 10 March 1999 06:00 to 20 October 2001 18:00.
  struct date_case {
    int year, month, day, hour;
    const char* message;  // null when the event may run
  };
  const char* dates = "Program terminating.  Check your dates.\n";
  const char* times = "Program terminating.  Check your times and dates.\n";
  const date_case cases[] = {
      {2000, 1, 1, 0, nullptr},
      {1999, 3, 10, 6, nullptr},
      {2001, 10, 20, 18, nullptr},
      {1998, 12, 1, 0, "\nRaingage Data starts in 1998, hydromet data doesn't start until 1999.\n"},
      {2002, 1, 1, 0, "\nRaingage Data starts in 2002, hydromet data ends in 2001.\n"},
      {1999, 2, 28, 0,
       "\nRaingage Data starts in month 2 of 1999 while hmet data starts in\nmonth 3 of 1999\n"},
      {1999, 3, 9, 12,
       "\nRaingage data starts on day 9 of month 3 in year 1999\n"
       "while the hmet data begins on day 10 of month 3 in year 1999\n"},
      {1999, 3, 10, 5,
       "\nRaingage data starts on hour 5 day 10 month 3 in year 1999\n"
       "while the hmet data begins on hour 6 day 10 of month 3 in year 1999\n"},
      {2001, 11, 1, 0,
       "\nRaingage Data starts in month 11 of 2001 while hmet data ends in\nmonth 10 of 2001\n"},
      {2001, 10, 21, 0,
       "\nRaingage data starts on day 21 of month 10 in year 2001\n"
       "while the hmet data ends on day 20 of month 10 in year 2001\n"},
      {2001, 10, 20, 19,
       "\nRaingage data starts on hour 19 day 20 month 10 in year 2001\n"
       "while the hmet data ends on hour 18 day 20 of month 10 in year 2001\n"},
  };
  for (const date_case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.year << "-" << c.month << "-" << c.day << " " << c.hour);
    stdout_capture out;
    const int ok =
        check_gage_hmet_dates(1999, 3, 10, 6, 2001, 10, 20, 18, c.year, c.month, c.day, c.hour);
    const std::string text = out.stop();
    EXPECT_EQ(ok, c.message ? 0 : 1);
    if (c.message) {
      const bool hour_case = std::string(c.message).find("on hour") != std::string::npos;
      EXPECT_EQ(text, std::string(c.message) + (hour_case ? times : dates));
    } else {
      EXPECT_EQ(text, "");
    }
  }
}

}  // namespace
