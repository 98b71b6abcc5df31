// Event start and end tests, peak tracking, the progress line and the end of
// an event with its calibration row and results record.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "calibration/analyzers.h"
#include "calibration/calibration_steps.h"
#include "calibration/run_results.h"
#include "run/event_control.h"
#include "run/model_state.h"
#include "run/progress.h"
#include "run/sim_clock.h"
#include "output/output_steps.h"
#include "run_fixture.h"
#include "test_support.h"

namespace {

using run_fixture::recording_analyzer;
using test_support::read_file;
using test_support::stdout_capture;
using test_support::temp_dir;

constexpr double second = 1.0 / 86400.0;  // days

// A single event of 60 minutes at dt 30 s, clocks set, rain over.
void single_event(model_state& s) {
  run_fixture::clear_errors();
  run_fixture::set_single_event(s, 30, 0, 60);
  setup_time_steps(s);
  init_process_clocks(s);
  run_fixture::make_dry(s);
  advance_clock(s);
}

TEST(initialize_event, acts_only_within_a_hundredth_of_a_second_of_the_start) {
  for (double offset : {0.0, 0.005, -0.005, 0.02, -0.02, 30.0}) {
    SCOPED_TRACE(offset);
    model_state s;
    single_event(s);
    s.run.event_start_time = s.run.current_time + offset * second;
    s.run.q_peak = 4.0;
    stdout_capture capture;
    initialize_event(s);
    const bool acts = std::fabs(offset) < 0.01;
    EXPECT_EQ(capture.stop(), acts ? "Initialized Arrays\nsimulation duration 60 minutes\n" : "");
    EXPECT_EQ(s.run.q_peak, acts ? 0.0 : 4.0);
  }
}

TEST(initialize_event, restarts_the_clocks_and_the_event_sums) {
  model_state s;
  single_event(s);
  s.input.channel_routing = 1;
  s.services.channel_event_start = +[](model_state& st) { st.channel.option = 7; };
  for (int i = 0; i < 40; ++i) advance_clock(s);
  const double t = s.run.current_time;
  s.run.event_start_time = t;
  s.run.infiltration.next = t + 1.0;  // far ahead: pulled back
  s.surface.event_rain_volume = 250.0;
  s.surface.event_outflow_volume = 80.0;
  s.run.event_step = 40;
  s.input.super_quiet = 1;
  stdout_capture capture;
  initialize_event(s);
  EXPECT_EQ(capture.stop(), "");
  const double d = 30 * second;
  EXPECT_EQ(s.run.overland.last, t);
  EXPECT_EQ(s.run.overland.next, t + d);
  EXPECT_EQ(s.run.infiltration.next, t + 2 * d);
  EXPECT_EQ(s.run.channel.last, t);
  EXPECT_EQ(s.run.channel.next, t + d);
  EXPECT_EQ(s.run.event_step, 1);
  EXPECT_EQ(s.surface.event_rain_volume, 0.0);
  EXPECT_EQ(s.surface.prev_event_rain_volume, 250.0);
  EXPECT_EQ(s.surface.prev_event_outflow_volume, 80.0);
  EXPECT_EQ(s.surface.ponded_water, 1);
  EXPECT_EQ(s.channel.option, 7);  // the channel's own event start was called
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST(initialize_event, puts_the_pipe_network_on_the_event_clock) {
  for (int calls : {0, 1, 57}) {
    model_state s;
    single_event(s);
    s.input.settings.storm_sewer_given = 1;
    s.input.super_quiet = 1;
    for (int i = 0; i < 10; ++i) advance_clock(s);
    const double t = s.run.current_time;
    s.run.event_start_time = t;
    s.run.storm_sewer.set_interval(600.0);
    s.run.storm_sewer.next = t + 1.0;
    s.subsurface.superlink.calls = calls;
    initialize_event(s);
    EXPECT_EQ(s.run.storm_sewer.interval_s, 30.0);
    EXPECT_EQ(s.run.storm_sewer.last, t);
    EXPECT_EQ(s.run.storm_sewer.next, t + 30 * second);
    // A run's first call still sizes the network; later events take its volume again.
    EXPECT_EQ(s.subsurface.superlink.calls, calls > 0 ? 1 : 0);
    EXPECT_EQ(s.subsurface.superlink.event_clock, 1);
  }
}

TEST(initialize_event, a_process_without_its_event_start_stops_as_not_available) {
  model_state s;
  single_event(s);
  s.input.channel_routing = 1;
  stdout_capture capture;
  initialize_event(s);
  EXPECT_NE(capture.stop().find("Error: channel_event_start is not available in this version.\n"),
            std::string::npos);
  EXPECT_EQ(error_state.stop_flag, 1);
  run_fixture::clear_errors();
}

TEST(initialize_event, location_slots_hold_the_unset_mark_until_the_event_ends) {
  model_state s;
  single_event(s);
  s.input.optimize = 1;
  s.input.settings.in_hyd_location_given = 1;
  s.channel.hyd_locations = 2;
  s.run.num_events = 3;
  alloc_run_results(s);
  s.calib.loc_peak[1] = 5.0;
  stdout_capture capture;
  initialize_event(s);
  capture.stop();
  EXPECT_EQ(s.results->location_peaks, (std::vector<double>{0.0, -999.99, -999.99, -999.99}));
  EXPECT_EQ(s.results->location_volumes, (std::vector<double>{0.0, -999.99, -999.99, -999.99}));
  EXPECT_EQ(s.calib.loc_peak[1], 0.0);
}

TEST(results_record, two_locations_and_three_events_give_eleven_elements) {
  model_state s;
  s.input.optimize = 1;
  s.channel.hyd_locations = 2;
  s.run.num_events = 3;
  alloc_run_results(s);
  ASSERT_NE(s.results, nullptr);
  EXPECT_EQ(s.results, s.own_results.get());
  EXPECT_EQ(s.results->location_count, 3);
  EXPECT_EQ(s.results->event_count, 3);
  EXPECT_EQ(s.results->peaks.size(), 11u);
  EXPECT_EQ(s.results->volumes.size(), 11u);
  EXPECT_EQ(s.results->index(2, 0), 4);
  EXPECT_EQ(s.results->index(3, 2), 9);

  model_state none;
  alloc_run_results(none);
  EXPECT_EQ(none.results, nullptr);

  model_state sed;
  sed.input.optimize = 1;
  sed.input.optimize_sed = 1;
  sed.quality.sed_locations = 4;
  sed.channel.hyd_locations = 2;
  sed.run.num_events = 1;
  run_results trial;
  sed.results = &trial;
  alloc_run_results(sed);
  EXPECT_EQ(sed.own_results, nullptr);
  EXPECT_EQ(trial.location_count, 5);
  EXPECT_EQ(trial.peaks.size(), 7u);
}

// check_end_of_event: a long-term run in its last of two events, rain over.
void last_long_term_event(model_state& s) {
  run_fixture::clear_errors();
  s.input.long_term = 1;
  s.input.event_min_q = 0.1;
  s.run.num_events = 2;
  s.run.event_starts = {0.0, 100.0, 200.0};
  s.run.event_index = 2;
  s.run.rain_on = 1;
  s.run.run_flag = 1;
  s.run.event_data_flag = 0;
  s.run.current_time = 205.0;
  s.grid.cells = 1;
  s.grid.dx = 10.0;
  s.surface.depth = {0.0, 0.0};
}

struct cutoff_case {
  const char* what;
  double q, peak, rain, gained;
  int water_table;
  double channel_q;
  int run_flag, event_end;
  const char* screen;
};

const char* const fell_below =
    "simulation ended normally; peak flow after last event fell below cutoff value.\n";
const char* const end_of_data = "simulation ended normally; end of data for last event reached\n";

const cutoff_case cutoff_cases[] = {
    {"surface still holds 6 % of the rain", 0.05, 2.0, 1000, 60, 0, 0, 1, 0, ""},
    {"surface holds 4 % of the rain", 0.05, 2.0, 1000, 40, 0, 0, 0, 1, end_of_data},
    {"WATER_TABLE skips the surface test", 0.05, 2.0, 1000, 60, 1, 0, 0, 1, end_of_data},
    {"peak never reached the cutoff", 0.05, 0.05, 0, 0, 0, 0, 0, 1, fell_below},
    {"a channel node still carries more", 0.05, 0.05, 0, 0, 0, 0.3, 1, 0, ""},
    {"discharge above the cutoff goes on", 0.5, 2.0, 1000, 0, 0, 0, 1, 0, ""},
};

TEST(check_end_of_event, the_last_long_term_event_ends_by_the_cutoff_rules) {
  for (const cutoff_case& c : cutoff_cases) {
    SCOPED_TRACE(c.what);
    model_state s;
    last_long_term_event(s);
    s.run.q_out = c.q;
    s.run.q_peak = c.peak;
    s.surface.event_rain_volume = c.rain;
    s.surface.event_start_volume = 10.0;
    s.surface.depth[1] = (10.0 + c.gained) / 100.0;
    s.input.water_table = c.water_table;
    if (c.channel_q > 0) {
      s.input.channel_routing = 1;
      s.channel.links = 2;
      s.channel.max_nodes = 3;
      s.channel.nx = {0, 3, 2};
      s.channel.qp.assign(3 * 4, 0.0);
      s.channel.qp[s.channel.node_address(2, 2)] = c.channel_q;
    }
    std::vector<std::string> log;
    s.calib.analyzers.append(new recording_analyzer(log));
    stdout_capture capture;
    check_end_of_event(s);
    EXPECT_EQ(capture.stop(), c.screen);
    EXPECT_EQ(s.run.run_flag, c.run_flag);
    EXPECT_EQ(s.run.event_end, c.event_end);
    EXPECT_EQ(s.run.exchange_pending, c.event_end);
    EXPECT_EQ(s.run.rain_on, c.event_end ? 0 : 1);
    EXPECT_EQ(log, c.event_end ? std::vector<std::string>{"analyzer:4"} : std::vector<std::string>{});
  }
}

TEST(check_end_of_event, meteorology_running_out_ends_the_last_event) {
  model_state s;
  last_long_term_event(s);
  s.run.q_out = 0.5;
  s.input.water_table = 1;
  s.run.hmet.next = -10.0;
  check_end_of_event(s);
  EXPECT_EQ(s.run.run_flag, 0);
  EXPECT_EQ(s.run.event_end, 1);
}

TEST(check_end_of_event, an_earlier_event_moves_the_clocks_to_the_next_start) {
  model_state s;
  last_long_term_event(s);
  s.run.event_index = 1;
  s.run.current_time = 105.0;
  s.run.q_out = 0.01;
  s.run.overland.set_interval(60.0);
  check_end_of_event(s);
  EXPECT_EQ(s.run.run_flag, 1);
  EXPECT_EQ(s.run.event_end, 1);
  EXPECT_EQ(s.run.overland.next, 200.0);
  EXPECT_DOUBLE_EQ(s.run.overland.last, 200.0 - 60.0 * second);
}

TEST(check_end_of_event, the_last_event_never_reads_past_the_event_starts) {
  model_state s;
  last_long_term_event(s);
  s.run.event_starts = {0.0, 100.0, 200.0};  // exactly N + 1 elements
  s.run.q_out = 0.01;
  s.run.q_peak = 0.01;
  s.run.overland.next = 205.5;
  stdout_capture capture;
  check_end_of_event(s);
  capture.stop();
  EXPECT_EQ(s.run.run_flag, 0);
  EXPECT_EQ(s.run.overland.next, 205.5);  // no next event to move to
}

TEST(check_end_of_event, end_time_ends_the_run_without_stage_4) {
  model_state s;
  last_long_term_event(s);
  s.input.stop_time_flag = 1;
  s.input.stop_time = 204.0;
  std::vector<std::string> log;
  s.calib.analyzers.append(new recording_analyzer(log));
  stdout_capture capture;
  check_end_of_event(s);
  EXPECT_EQ(capture.stop(), "");
  EXPECT_EQ(s.run.run_flag, 0);
  EXPECT_EQ(s.run.event_end, 1);
  EXPECT_TRUE(log.empty());
}

TEST(check_end_of_event, a_single_event_ends_at_origin_plus_tot_time) {
  model_state s;
  single_event(s);
  int passes = 1;
  while (s.run.run_flag == 1 && passes < 1000) {
    check_end_of_event(s);
    if (s.run.run_flag == 1) {
      advance_clock(s);
      ++passes;
    }
  }
  EXPECT_EQ(passes, 121);
  EXPECT_EQ(s.run.event_end, 1);
}

TEST(track_peak_outflow, equal_maxima_keep_the_first_date) {
  model_state s;
  single_event(s);
  const double flows[] = {1.0, 3.0, 2.0, 3.0, 0.5};
  for (double q : flows) {
    s.run.q_out = q;
    track_peak_outflow(s);
    advance_clock(s);
  }
  EXPECT_EQ(s.run.q_peak, 3.0);
  EXPECT_EQ(s.run.peak_date[4], 0);  // minute
  EXPECT_EQ(s.run.peak_date[5], 30);  // second pass: 00:00:30
  EXPECT_EQ(s.run.peak_time, run_fixture::jan_1_2000() + 30 * second);
}

TEST(track_peak_outflow, keeps_each_hydrograph_location_peak_in_calibration_runs) {
  model_state s;
  single_event(s);
  s.input.optimize = 1;
  s.input.channel_routing = 1;
  s.input.settings.in_hyd_location_given = 1;
  s.channel.links = 1;
  s.channel.max_nodes = 2;
  s.channel.nx = {0, 2};
  s.channel.qp.assign(6, 0.0);
  s.channel.hyd_locations = 1;
  s.channel.hyd_loc_link = {0, 1};
  s.channel.hyd_loc_node = {0, 2};
  s.calib.loc_peak = {0.0, 0.0};
  for (double q : {1.5, 4.0, 2.0}) {
    s.channel.qp[s.channel.node_address(1, 2)] = q;
    track_peak_outflow(s);
  }
  EXPECT_EQ(s.calib.loc_peak[1], 4.0);
}

struct progress_case {
  const char* what;
  int quiet, super_quiet, cfs, stream_info, flush;
  const char* screen;
};

const progress_case progress_cases[] = {
    {"cms", 0, 0, 0, 0, 0,
     "event  1 elapsed time     0.50   1/01/2000 00:00:30 Qout=    1.00 cms\n"},
    {"cfs", 0, 0, 1, 0, 0,
     "event  1 elapsed time     0.50   1/01/2000 00:00:30 Qout=      35.3 cfs\n"},
    {"QUIET silences everything", 1, 0, 0, 1, 1, ""},
    {"SUPER_QUIET keeps the stream lines", 0, 1, 0, 1, 1,
     "    ==> Max Yp (N 1, L 2) = 0.700000\n    ==> Min Yp (N 2, L 1) = 0.100000\n"
     "    ==> Max Qp (N 1, L 2) = 3.000000\n    ==> Min Qp (N 1, L 1) = 1.000000\n"},
};

TEST(print_progress, line_formats_and_quiet_settings) {
  for (const progress_case& c : progress_cases) {
    SCOPED_TRACE(c.what);
    model_state s;
    single_event(s);
    advance_clock(s);
    s.run.overland.last = s.run.current_time;  // the overland step has just acted
    s.run.q_out = 1.0;
    s.run.progress_off = c.quiet;
    s.run.qout_cfs = c.cfs;
    s.input.super_quiet = c.super_quiet;
    s.input.stream_info = c.stream_info;
    s.input.flush_buffer = c.flush;
    s.input.flush_lines = 10;
    // Two links; the last one holds the extremes, so a search that left it
    // out would miss them.
    s.channel.links = 2;
    s.channel.max_nodes = 2;
    s.channel.nx = {0, 2, 1};
    s.channel.qp = {0, 0, 0, 0, 1.0, 2.0, 0, 3.0, 0};
    s.channel.bel = {0, 0, 0, 0, 1.0, 1.0, 0, 1.0, 0};
    s.channel.yp = {0, 0, 0, 0, 1.5, 1.1, 0, 1.7, 0};
    stdout_capture capture;
    print_progress(s);
    EXPECT_EQ(capture.stop(), c.screen);
    EXPECT_EQ(s.run.progress_lines, c.quiet ? 0 : c.flush);
  }
}

TEST(print_progress, prints_only_when_the_outlet_process_has_just_acted) {
  model_state s;
  single_event(s);
  s.run.overland.last = s.run.current_time - 30 * second;
  stdout_capture capture;
  print_progress(s);
  EXPECT_EQ(capture.stop(), "");
}

TEST(print_progress, flushes_and_restarts_the_count_at_the_flush_line_count) {
  model_state s;
  single_event(s);
  s.run.overland.last = s.run.current_time;
  s.input.super_quiet = 1;
  s.input.flush_buffer = 1;
  s.input.flush_lines = 3;
  for (int i = 0; i < 7; ++i) print_progress(s);
  EXPECT_EQ(s.run.progress_lines, 1);
}

// finish_event of event 2 of 3 in a calibration run with two locations.
struct calibrated_event {
  temp_dir dir;
  model_state s;
  std::string optim;

  explicit calibrated_event(int cfs) {
    single_event(s);
    s.input.optimize = 1;
    s.input.settings.in_hyd_location_given = 1;
    s.channel.hyd_locations = 2;
    s.run.num_events = 3;
    s.run.qout_cfs = cfs;
    alloc_run_results(s);
    optim = dir.file("valto_optim.out");
    s.calib.optim_out.open(optim.c_str(), "w");
    s.run.event_index = 2;
    s.run.event_end = 1;
    s.run.q_peak = 1.0;
    s.surface.event_outflow_volume = 1000.0;
    s.calib.loc_peak = {0.0, 0.5, 0.25};
    s.calib.loc_volume = {0.0, 300.0, 100.0};
  }
};

TEST(finish_event, writes_the_calibration_row_and_fills_the_results_record) {
  calibrated_event e(0);
  stdout_capture capture;
  finish_event(e.s);
  EXPECT_EQ(capture.stop(), "finished event \n");
  e.s.calib.optim_out.close();
  EXPECT_EQ(read_file(e.optim), "2     1.000        1000.0    0.500         300.0    0.250         100.0\n");
  const run_results& r = *e.s.results;
  EXPECT_EQ(r.peaks[4], 1.0);
  EXPECT_EQ(r.volumes[4], 1000.0);
  EXPECT_EQ(r.peaks[5], 0.5);
  EXPECT_EQ(r.volumes[6], 100.0);
  EXPECT_EQ(r.peaks[1], unset_result);  // event 1 was not scored here
  EXPECT_EQ(r.location_peaks[2], 0.25);
  EXPECT_EQ(e.s.run.event_end, 0);
  EXPECT_EQ(e.s.run.events_finished, 1);
  EXPECT_EQ(e.s.run.event_peak_out, 1.0);

  // The flag is down: a second call in the same pass does nothing.
  stdout_capture again;
  finish_event(e.s);
  EXPECT_EQ(again.stop(), "");
  EXPECT_EQ(e.s.run.events_finished, 1);
}

TEST(finish_event, english_units_use_35_32_in_the_row_and_the_record) {
  calibrated_event e(1);
  stdout_capture capture;
  finish_event(e.s);
  capture.stop();
  e.s.calib.optim_out.close();
  EXPECT_EQ(read_file(e.optim).substr(0, 24), "2    35.32       35320.0");
  EXPECT_DOUBLE_EQ(e.s.results->peaks[4], 35.32);
  EXPECT_DOUBLE_EQ(e.s.results->volumes[4], 35320.0);
}

TEST(finish_event, the_overland_and_channel_lake_warning_prints_once) {
  model_state s;
  single_event(s);
  s.surface.overland_lakes = 1;
  s.channel.channel_lakes = 1;
  s.services.channel_event_end = +[](model_state&) {};
  s.grid.cells = 3;
  s.grid.dx = 10;
  s.surface.depth = {0, 0.1, 0.1, 0.1};
  s.input.super_quiet = 1;
  stdout_capture capture;
  for (int event = 0; event < 2; ++event) {
    s.run.event_end = 1;
    finish_event(s);
  }
  const std::string out = capture.stop();
  EXPECT_EQ(out,
            "You are simulating overland lakes and perennial lakes, not recommended presently. "
            "Contact your VALTO developer for further advice\n\n");
  EXPECT_DOUBLE_EQ(s.surface.event_end_volume, 30.0);
}

TEST(finish_event, the_event_summary_is_written_through_its_service) {
  model_state s;
  single_event(s);
  s.output.summary.open("/dev/null", "w");
  s.input.super_quiet = 1;
  s.run.event_end = 1;
  s.services.write_event_summary = +[](model_state& st) { st.output.event_summary_flag = 5; };
  finish_event(s);
  EXPECT_EQ(s.output.event_summary_flag, 5);
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST(event_end_exchange_step, hands_the_event_end_on_to_finish_event) {
  model_state s;
  event_end_exchange_step(s);
  EXPECT_EQ(s.run.event_end, 0);
  s.run.exchange_pending = 1;
  event_end_exchange_step(s);
  EXPECT_EQ(s.run.exchange_pending, 0);
  EXPECT_EQ(s.run.event_end, 1);
}

int destroyed = 0;

class counted_analyzer : public analyzer {
 public:
  ~counted_analyzer() override { ++destroyed; }
  void notify(int) override {}
};

TEST(analyzer_list, is_destroyed_with_the_record) {
  destroyed = 0;
  {
    model_state s;
    for (int i = 0; i < 3; ++i) s.calib.analyzers.append(new counted_analyzer);
    EXPECT_EQ(s.calib.analyzers.count(), 3);
  }
  EXPECT_EQ(destroyed, 3);
}

TEST(analyzer_list, run_analyzers_tells_every_analyzer_in_list_order) {
  model_state s;
  run_analyzers(s, 8);  // empty list: nothing
  std::vector<std::string> log;
  s.calib.analyzers.append(new recording_analyzer(log));
  s.calib.analyzers.append(new recording_analyzer(log));
  run_analyzers(s, 2);
  EXPECT_EQ(log, (std::vector<std::string>{"analyzer:2", "analyzer:2"}));
}

TEST(close_model_files, closes_every_open_file_and_is_harmless_twice) {
  temp_dir dir;
  model_state s;
  const std::string summary = dir.file("run.sum");
  s.output.summary.open(summary.c_str(), "w");
  s.calib.optim_out.open(dir.file("optim.out").c_str(), "w");
  std::fputs("kept\n", s.output.summary.stream);
  stdout_capture capture;
  close_model_files(s);
  close_model_files(s);
  EXPECT_EQ(capture.stop(), "");
  EXPECT_FALSE(s.output.summary.is_open());
  EXPECT_FALSE(s.calib.optim_out.is_open());
  EXPECT_EQ(read_file(summary), "kept\n");
}

}  // namespace
