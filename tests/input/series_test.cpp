// Time and elevation series: reading their files, the lookups with their held
// ends and hints, relative times moved onto the run's clock, and the lists'
// life with the run.

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "run/run_simulation.h"
#include "core/julian.h"
#include "input/project_settings.h"
#include "input/series.h"
#include "project_test_support.h"

namespace {

namespace fs = std::filesystem;

std::string fixture(const char* name) {
  return (fs::path(VALTO_FIXTURES_DIR) / "side_files" / name).string();
}

double at(int hour, int minute, int day = 1) { return julian_date(2000, 1, day, hour, minute, 0.0); }

// A series built in place, for the lookup rules that need no file.
time_series* make_series(time_series_list& list, const char* name, std::vector<double> time,
                         std::vector<double> value) {
  time_series* s = ts_new(list);
  s->name = name;
  s->time = std::move(time);
  s->value = std::move(value);
  return s;
}

class series_test : public project_test {
 protected:
  // Reads the fixture file of time series into list; returns standard output.
  std::string read_fixture_series() {
    test_support::stdout_capture out;
    read_time_series_file(list_, fixture("series.ts").c_str());
    return out.stop();
  }

  time_series_list list_;
};

TEST_F(series_test, fixture_file_reads_every_block_in_order) {
  const std::string out = read_fixture_series();
  ASSERT_EQ(list_.size(), 6u);
  const char* names[] = {"flow", "stage", "rel", "Q10", "Q", "no_base"};
  for (size_t k = 0; k < list_.size(); ++k) {
    EXPECT_EQ(list_[k]->name, names[k]);
    EXPECT_NE(out.find(std::string("Read time series ") + names[k] + "\n"), std::string::npos);
  }
  EXPECT_NE(out.find("6 time series read from file " + fixture("series.ts") + "\n"),
            std::string::npos);
  // A blank line inside a block is no entry.
  EXPECT_EQ(list_[1]->entries(), 3);
  EXPECT_EQ(list_[2]->relative, 1);
  EXPECT_EQ(list_[0]->relative, 0);
  // Without its time-base line a block loses its first entry to it and is absolute.
  EXPECT_EQ(list_[5]->relative, 0);
  ASSERT_EQ(list_[5]->entries(), 1);
  EXPECT_DOUBLE_EQ(list_[5]->value[0], 9.0);
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST_F(series_test, lookups_interpolate_inside_and_hold_the_ends) {
  read_fixture_series();
  struct lookup_case {
    const char* series;
    double t;
    double expected;
  };
  const lookup_case cases[] = {
      {"flow", at(0, 0), 0.0},        {"flow", at(1, 0), 5.0},   {"flow", at(0, 30), 2.5},
      {"flow", at(0, 15), 1.25},      {"flow", at(23, 0) - 1.0, 0.0},  // the day before
      {"flow", at(2, 0), 5.0},        {"flow", at(0, 0, 9), 5.0},
      // an interior entry's own time gives its own value
      {"stage", at(1, 0), 3.0},       {"stage", at(1, 30), 2.5}, {"stage", at(0, 30), 2.0},
      // a single entry is held at every time
      {"Q10", at(0, 0) - 5.0, 10.0}, {"Q10", at(5, 0), 10.0},
  };
  for (const lookup_case& c : cases) {
    const time_series* s = ts_find(list_, c.series);
    ASSERT_NE(s, nullptr) << c.series;
    // Julian dates near 2.45e6 days resolve about 5e-10 days.
    EXPECT_NEAR(ts_value(c.t, s), c.expected, 1e-6) << c.series << " at " << c.t;
  }
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST_F(series_test, find_takes_the_first_name_that_begins_with_the_one_asked) {
  read_fixture_series();
  EXPECT_EQ(ts_find(list_, "Q"), list_[3].get());  // Q10 comes first; the Q after it is never found
  EXPECT_EQ(ts_find(list_, "Q10"), list_[3].get());
  EXPECT_EQ(ts_find(list_, "st"), list_[1].get());
  EXPECT_EQ(ts_find(list_, "flow_2"), nullptr);
  EXPECT_EQ(ts_find(list_, "nothing"), nullptr);
}

TEST_F(series_test, relative_times_count_from_the_zero_date_until_the_run_shifts_them) {
  read_fixture_series();
  time_series* rel = list_[2].get();
  ASSERT_EQ(rel->entries(), 3);
  EXPECT_NEAR(rel->time[0], 0.0, 1e-12);
  EXPECT_NEAR(rel->time[1], 0.0625, 1e-12);  // 1 h 30 min
  EXPECT_NEAR(rel->time[2], 1.0, 1e-12);

  // The driver's set-up phase adds the run's start, once, to relative series only.
  model_state state;
  state.input.settings.ts_list = std::move(list_);
  state.run.start_time = at(6, 0);
  const run_phase* shift = nullptr;
  for (const run_phase& phase : production_setup_phases())
    if (std::string(phase.name) == "shift_relative_time_series") shift = &phase;
  ASSERT_NE(shift, nullptr);
  shift->run(state);
  shift->run(state);
  const time_series_list& list = state.input.settings.ts_list;
  EXPECT_NEAR(list[2]->time[0], at(6, 0), 1e-9);
  EXPECT_NEAR(list[2]->time[1], at(6, 0) + 0.0625, 1e-9);
  EXPECT_NEAR(list[2]->time[2], at(6, 0) + 1.0, 1e-9);
  EXPECT_NEAR(list[0]->time[0], at(0, 0), 1e-9);  // absolute series stay
  EXPECT_NEAR(ts_value(at(6, 0) + 0.0625 / 2, list[2].get()), 1.5, 1e-6);
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST_F(series_test, absent_or_empty_series_stop_the_run) {
  time_series* empty = make_series(list_, "dry", {}, {});
  {
    test_support::stdout_capture out;
    EXPECT_EQ(ts_value(at(0, 0), ts_find(list_, "missing")), 0.0);
    EXPECT_EQ(out.stop(),
              "Error: attempting to extract a value from a time series that does not exist.\n\n");
  }
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_EQ(error_state.stop_flag, 1);
  clear_errors();
  {
    test_support::stdout_capture out;
    EXPECT_EQ(ts_value(at(0, 0), empty), 0.0);
    EXPECT_EQ(out.stop(),
              "Error: attempting to extract a value from a time series [dry] with no entries.\n\n");
  }
  EXPECT_EQ(error_state.stop_flag, 1);
}

TEST_F(series_test, equal_times_never_divide_by_zero_whatever_the_hint) {
  // A jump at t = 1: the later value holds from that time on.
  const time_series* s = make_series(list_, "jump", {0.0, 1.0, 1.0, 2.0}, {0.0, 10.0, 20.0, 30.0});
  const double order[] = {0.5, 1.0, 1.5, 1.0, 0.25, 1.0, 1.999, 1.0};
  const double expected[] = {5.0, 20.0, 25.0, 20.0, 2.5, 20.0, 29.99, 20.0};
  for (int k = 0; k < 8; ++k) {
    const double v = ts_value(order[k], s);
    EXPECT_TRUE(std::isfinite(v)) << order[k];
    EXPECT_NEAR(v, expected[k], 1e-9) << order[k];
  }
  // Elevation series with a repeated elevation.
  elev_series_list elevations;
  elev_series* e = es_new(elevations);
  e->elevation = {1.0, 2.0, 2.0, 3.0};
  e->value = {0.0, 4.0, 8.0, 12.0};
  EXPECT_NEAR(es_value(2.0, e), 4.0, 1e-12);
  EXPECT_NEAR(es_value(2.5, e), 10.0, 1e-12);
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST_F(series_test, times_that_go_back_give_zero_with_a_message_and_the_run_goes_on) {
  const time_series* s = make_series(list_, "bad", {0.0, 2.0, 1.0, 3.0}, {1.0, 2.0, 3.0, 4.0});
  test_support::stdout_capture out;
  EXPECT_EQ(ts_value(2.5, s), 0.0);
  EXPECT_EQ(out.stop(), "Error: something is really messed up with your time series [bad].\n");
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST_F(series_test, threads_sharing_one_series_get_the_values_of_one_thread) {
  const int n = 10000;
  std::vector<double> time(n), value(n);
  for (int i = 0; i < n; ++i) {
    time[i] = 2451544.5 + i / 24.0;
    value[i] = std::sin(0.01 * i) * 100.0 + 0.001 * i;
  }
  const time_series* s = make_series(list_, "hourly", time, value);
  const int lookups = 40000;
  std::vector<double> when(lookups), serial(lookups), parallel_values(lookups);
  for (int k = 0; k < lookups; ++k) when[k] = time[0] - 1.0 + (n / 24.0 + 2.0) * k / lookups;
  for (int k = 0; k < lookups; ++k) serial[k] = ts_value(when[k], s);
  // Interleaved lookups make the threads pull the hint far back and forth.
#pragma omp parallel for num_threads(8) schedule(static, 1)
  for (int k = 0; k < lookups; ++k) parallel_values[k] = ts_value(when[k], s);
  for (int k = 0; k < lookups; ++k) ASSERT_EQ(parallel_values[k], serial[k]) << k;
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST_F(series_test, index_table_takes_the_later_row_of_a_repeated_id) {
  const time_series* a = make_series(list_, "a", {0.0}, {1.0});
  const time_series* b = make_series(list_, "b", {0.0}, {2.0});
  const ts_index_entry table[] = {{7, a}, {3, a}, {7, b}};
  EXPECT_EQ(ts_value_by_index(table, 7, 0.0), 2.0);
  EXPECT_EQ(ts_value_by_index(table, 3, 0.0), 1.0);
  test_support::stdout_capture out;
  EXPECT_EQ(ts_value_by_index(table, 5, 0.0), 0.0);
  EXPECT_EQ(out.stop(),
            "Error: attempting to extract a value from an unknown time series in the time series "
            "table.    Check the mapping table file (.cmt). The specified time series index is 5, "
            "but the \nindex is not found in the time series index table.\n\n");
  EXPECT_EQ(error_state.stop_flag, 1);
}

TEST_F(series_test, bad_files_are_reported) {
  {
    test_support::stdout_capture out;
    EXPECT_EQ(read_time_series_file(list_, dir_.file("none.ts").c_str()), 0);
    const std::string text = out.stop();
    EXPECT_NE(text.find("Error: Time series file not found [" + dir_.file("none.ts") + "]\n"),
              std::string::npos)
        << text;
  }
  EXPECT_EQ(error_state.stop_flag, 0);  // a lookup of a missing series stops the run later
  const std::string path =
      dir_.write("short.ts", "VALTO_TS\nshort\nABSOLUTE\n2000 1 1 0 0 1.0\n2000 1 1 1\nEND_TS\n");
  {
    test_support::stdout_capture out;
    read_time_series_file(list_, path.c_str());
    EXPECT_NE(out.stop().find("Error: line 5 of the time series file " + path +
                              " does not hold year, month, day, hour, minute and a value "
                              "(series [short]).\n"),
              std::string::npos);
  }
  EXPECT_EQ(error_state.stop_flag, 1);
}

TEST_F(series_test, multi_column_block_gives_one_series_per_column) {
  safe_file file;
  ASSERT_TRUE(file.open(fixture("multi_column.ts").c_str(), "r"));
  text_source source{file.stream, file.path, 0};
  test_support::stdout_capture out;
  const time_series* first = ts_read_block(list_, source, 3, "inflow");
  const std::string text = out.stop();
  ASSERT_EQ(list_.size(), 3u);
  EXPECT_EQ(first, list_[0].get());
  const char* names[] = {"inflow_0000", "inflow_0001", "inflow_0002"};
  for (int k = 0; k < 3; ++k) {
    const time_series& s = *list_[k];
    EXPECT_EQ(s.name, names[k]);
    EXPECT_EQ(s.relative, 0);
    ASSERT_EQ(s.entries(), 3);
    EXPECT_DOUBLE_EQ(s.value[1], 2.0 * std::pow(10.0, k));
    EXPECT_DOUBLE_EQ(s.time[1], at(1, 0));
    EXPECT_DOUBLE_EQ(s.time[2], -1.0);  // its date could not be read
  }
  EXPECT_NE(text.find("Warning: the date on line 3 of"), std::string::npos) << text;
  EXPECT_EQ(source.line_number, 4);  // stopped at END_TS
  EXPECT_EQ(error_state.stop_flag, 0);

  // The base name is cut to 100 characters; a missing column stops the run.
  const std::string path = dir_.write("short_row.ts", "2000 1 1 0 0 1.0\nEND_TS\n");
  safe_file other;
  ASSERT_TRUE(other.open(path.c_str(), "r"));
  text_source short_source{other.stream, other.path, 0};
  test_support::stdout_capture out2;
  EXPECT_EQ(ts_read_block(list_, short_source, 2, std::string(120, 'b').c_str()), nullptr);
  EXPECT_EQ(list_[3]->name, std::string(100, 'b') + "_0000");
  EXPECT_NE(out2.stop().find("holds no number for column 2 of 2"), std::string::npos);
  EXPECT_EQ(error_state.stop_flag, 1);
}

TEST_F(series_test, elevation_series_linear_and_step_lookups_are_clamped) {
  elev_series_list list;
  {
    test_support::stdout_capture out;
    EXPECT_EQ(es_read_file(list, fixture("series.es").c_str()), 2);
    EXPECT_NE(out.stop().find("2 elevation series read from file"), std::string::npos);
  }
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]->name, "pump curve");  // the quoted first token of its line
  const elev_series* curve = es_find(list, "pump");
  ASSERT_EQ(curve, list[0].get());
  struct es_case {
    double z, linear, step;
  };
  const es_case cases[] = {
      {99.0, 0.0, 0.0},  {100.0, 0.0, 0.0}, {100.5, 2.5, 0.0}, {101.0, 5.0, 0.0},
      {102.0, 7.0, 5.0}, {103.0, 9.0, 9.0}, {150.0, 9.0, 9.0},
  };
  for (const es_case& c : cases) {
    EXPECT_NEAR(es_value(c.z, curve), c.linear, 1e-12) << c.z;
    EXPECT_NEAR(es_step_value(c.z, curve), c.step, 1e-12) << c.z;
  }
  EXPECT_EQ(es_value(-10.0, es_find(list, "flat")), 2.0);
  EXPECT_EQ(error_state.stop_flag, 0);

  test_support::stdout_capture out;
  EXPECT_EQ(es_value(1.0, es_find(list, "none")), 0.0);
  EXPECT_EQ(out.stop(),
            "Error: attempting to extract a value from an elevation series that does not exist.\n\n");
  EXPECT_EQ(error_state.stop_flag, 1);
}

TEST_F(series_test, project_cards_read_their_series_at_once_and_each_reading_starts_empty) {
  dir_.write("one.ts", "VALTO_TS\nfirst\nABSOLUTE\n2000 1 1 0 0 1.0\nEND_TS\n");
  dir_.write("two.ts", "VALTO_TS\nsecond\nRELATIVE\n0 0 0 1 0 2.0\nEND_TS\n");
  dir_.write("curve.es", "VALTO_ES\ncurve\n1 2\nEND_ES\n");
  test_support::scoped_cwd cwd(dir_.path());
  const std::string cards =
      "TIME_SERIES_FILE one.ts\nELEV_SERIES_FILE curve.es\nTIME_SERIES_FILE two.ts\n";
  for (int run = 0; run < 2; ++run) {
    const std::string out = read_cards(cards);
    EXPECT_EQ(error_state.stop_flag, 0) << out;
    const time_series_list& list = settings().ts_list;
    ASSERT_EQ(list.size(), 2u) << "run " << run;
    EXPECT_EQ(list[0]->name, "first");
    EXPECT_EQ(list[1]->name, "second");
    EXPECT_EQ(list[1]->relative, 1);
    ASSERT_EQ(settings().es_list.size(), 1u) << "run " << run;
    EXPECT_EQ(settings().unbuilt_cards.size(), 0u);
  }
}

}  // namespace
