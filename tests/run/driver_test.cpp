// The loop engine with doubles in its lists, and the production lists.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "calibration/run_results.h"
#include "run/run_simulation.h"
#include "run/model_state.h"
#include "run/run_loop.h"
#include "core/run_interrupt.h"
#include "core/safe_file.h"
#include "output/output_steps.h"
#include "run_fixture.h"
#include "test_support.h"

namespace {

using run_fixture::recording_analyzer;
using test_support::read_file;
using test_support::scoped_cwd;
using test_support::stdout_capture;
using test_support::temp_dir;

// What the doubles saw, in call order, and what they are told to do.
std::vector<std::string> journal;
int clear_pass = 2;     // step_a clears the run flag in this pass
int fail_pass = 0;      // step_b raises fail_code in this pass (0: never)
int fail_code = 0;
bool add_analyzer = false;
bool make_quiet = false;
std::string summary_path;
std::vector<int> seen_optimize;
std::vector<int> seen_marks;

void setup_first(model_state& s) {
  journal.push_back("setup:first");
  s.run.run_flag = 1;
  if (add_analyzer) s.calib.analyzers.append(new recording_analyzer(journal));
  s.input.super_quiet = make_quiet ? 1 : 0;
  if (!summary_path.empty()) s.output.summary.open(summary_path.c_str(), "w");
}
void setup_fail(model_state&) {
  journal.push_back("setup:fail");
  set_error(3);
}
void setup_last(model_state&) { journal.push_back("setup:last"); }

void step_a(model_state& s) {
  journal.push_back("a@" + std::to_string(s.run.pass));
  if (s.run.pass == clear_pass) s.run.run_flag = 0;
}
void step_b(model_state& s) {
  journal.push_back("b@" + std::to_string(s.run.pass));
  if (s.run.pass == fail_pass) set_error(fail_code);
}
void step_c(model_state& s) { journal.push_back("c@" + std::to_string(s.run.pass)); }
void summary_double(model_state&) { journal.push_back("summary"); }
void close_double(model_state& s) {
  journal.push_back("close");
  close_model_files(s);
}

// The result files of the ending test: the summary and a series written a
// line a pass; interrupt_pass notes a SIGTERM in step a of that pass.
int interrupt_pass = 0;
void open_results(model_state& s) {
  s.output.summary.open("run.sum", "w");
  set_summary_file(&s.output.summary);
  s.output.outlet_hydro.open("series.out", "w");
}
void write_series(model_state& s) {
  if (s.run.pass == interrupt_pass) note_interrupt(SIGTERM);
  std::fprintf(s.output.outlet_hydro.stream, "pass %d\n", s.run.pass);
}
constexpr run_phase writing_steps[] = {
    {"advance_clock", advance_clock}, {"a", step_a}, {"write", write_series}, {"b", step_b}};

void see_optimize(model_state& s) { seen_optimize.push_back(s.input.optimize); }
void clear_optimize(model_state& s) { s.input.optimize = 0; }
void mark_record(model_state& s) {
  seen_marks.push_back(s.run.events_finished + s.surface.sweep_parity * 100);
  s.run.events_finished = 9;
  s.surface.sweep_parity = 2;
}

constexpr run_phase three_steps[] = {
    {"advance_clock", advance_clock}, {"a", step_a}, {"b", step_b}, {"c", step_c}};

class driver : public ::testing::Test {
 protected:
  void SetUp() override {
    journal.clear();
    clear_pass = 2;
    fail_pass = 0;
    fail_code = 0;
    add_analyzer = false;
    make_quiet = false;
    summary_path.clear();
    seen_optimize.clear();
    seen_marks.clear();
    interrupt_pass = 0;
    clear_interrupt();
    run_prefix_flag = 0;
    run_fixture::clear_errors();
  }
  void TearDown() override {
    run_fixture::clear_errors();
    clear_interrupt();
  }

  int run(std::span<const run_phase> setup, std::span<const run_phase> steps,
          run_results* results = nullptr, const char* project = "p.prj") {
    run_lists lists;
    lists.setup = setup;
    lists.steps = steps;
    lists.write_summary = summary_double;
    lists.close_files = close_double;
    scoped_cwd cwd(dir_.path());
    stdout_capture capture;
    int status = run_model(project, results, lists);
    output_ = capture.stop();
    return status;
  }

  std::string timing_file() const { return read_file(dir_.file("out_time.out")); }

  temp_dir dir_;
  std::string output_;
};

std::vector<std::string> names(std::span<const run_phase> list) {
  std::vector<std::string> out;
  for (const run_phase& p : list) out.push_back(p.name);
  return out;
}

TEST_F(driver, passes_run_the_steps_in_list_order_with_analyzer_stages) {
  add_analyzer = true;
  const run_phase setup[] = {{"first", setup_first},
                             {"analyzers", read_analyzers_and_notify},
                             {"last", setup_last}};
  EXPECT_EQ(run(setup, three_steps), 0);
  const std::vector<std::string> expected = {
      "setup:first", "analyzer:8", "setup:last", "a@1", "b@1",     "c@1",         "analyzer:1",
      "a@2",         "b@2",        "c@2",        "analyzer:1", "summary", "analyzer:16", "close"};
  EXPECT_EQ(journal, expected);
  EXPECT_NE(output_.find("total time to init(s):"), std::string::npos);
  EXPECT_NE(output_.find("Running....\n"), std::string::npos);
  EXPECT_NE(output_.find("Run time:"), std::string::npos);
  const std::string timing = timing_file();
  EXPECT_EQ(std::count(timing.begin(), timing.end(), '\n'), 1);
  EXPECT_EQ(timing.rfind("total time (s): ", 0), 0u);
}

// Process 0 of an MPI run deals trials from here while it runs one of its
// own: the work comes after each set-up phase and each whole pass, never
// inside a step, and not once it is taken away.
TEST_F(driver, work_between_passes_comes_after_each_phase_and_pass_only) {
  add_analyzer = true;
  set_between_passes([] { journal.push_back("between"); });
  const run_phase setup[] = {{"first", setup_first}, {"last", setup_last}};
  EXPECT_EQ(run(setup, three_steps), 0);
  const std::vector<std::string> expected = {
      "setup:first", "between", "setup:last", "between", "a@1", "b@1", "c@1", "analyzer:1",
      "between", "a@2", "b@2", "c@2", "analyzer:1", "between", "summary", "analyzer:16", "close"};
  EXPECT_EQ(journal, expected);
  set_between_passes(nullptr);
  journal.clear();
  EXPECT_EQ(run(setup, three_steps), 0);
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "between"), 0);
}

TEST_F(driver, a_warning_lets_the_run_go_on) {
  fail_pass = 1;
  fail_code = 55;
  const run_phase setup[] = {{"first", setup_first}};
  EXPECT_EQ(run(setup, three_steps), 0);
  EXPECT_NE(output_.find("Warning: Write hydrograph time step not specified, defaulting to 1 hour.\n"),
            std::string::npos);
  EXPECT_NE(std::find(journal.begin(), journal.end(), "c@1"), journal.end());
  EXPECT_NE(std::find(journal.begin(), journal.end(), "summary"), journal.end());
}

TEST_F(driver, a_stop_in_a_step_ends_the_run_and_still_closes_and_times_it) {
  add_analyzer = true;
  fail_pass = 2;
  fail_code = 56;
  clear_pass = 5;
  const run_phase setup[] = {{"first", setup_first}};
  EXPECT_EQ(run(setup, three_steps), 1);
  const std::vector<std::string> expected = {"setup:first", "a@1", "b@1", "c@1", "analyzer:1",
                                             "a@2", "b@2", "close"};
  EXPECT_EQ(journal, expected);
  EXPECT_NE(output_.find("Error: Outlet slope not specified.\n"), std::string::npos);
  EXPECT_NE(output_.find("Run time:"), std::string::npos);
  EXPECT_EQ(timing_file().rfind("total time (s): ", 0), 0u);
}

TEST_F(driver, a_stop_in_set_up_skips_every_later_phase_and_the_loop) {
  add_analyzer = true;
  const run_phase setup[] = {{"first", setup_first}, {"fail", setup_fail}, {"last", setup_last}};
  EXPECT_EQ(run(setup, three_steps), 1);
  const std::vector<std::string> expected = {"setup:first", "setup:fail", "close"};
  EXPECT_EQ(journal, expected);
  EXPECT_EQ(output_.find("total time to init"), std::string::npos);
  EXPECT_NE(output_.find("Run time:"), std::string::npos);
  EXPECT_FALSE(timing_file().empty());
}

TEST_F(driver, without_analyzers_a_stopped_run_sends_no_stage) {
  const run_phase setup[] = {{"first", setup_first}, {"fail", setup_fail}};
  EXPECT_EQ(run(setup, three_steps), 1);
  const std::vector<std::string> expected = {"setup:first", "setup:fail", "close"};
  EXPECT_EQ(journal, expected);
}

TEST_F(driver, super_quiet_drops_the_init_and_running_lines_only) {
  for (bool quiet : {false, true}) {
    SetUp();
    make_quiet = quiet;
    summary_path = dir_.file(quiet ? "quiet.sum" : "loud.sum");
    const run_phase setup[] = {{"first", setup_first}};
    EXPECT_EQ(run(setup, three_steps), 0);
    EXPECT_EQ(output_.find("total time to init(s):") == std::string::npos, quiet);
    EXPECT_EQ(output_.find("Running....\n") == std::string::npos, quiet);
    EXPECT_NE(output_.find("Run time:"), std::string::npos);
    EXPECT_EQ(read_file(summary_path), "Running.... \n\n");
  }
}

TEST_F(driver, a_results_record_forces_optimize_on) {
  const run_phase setup[] = {{"first", setup_first},
                             {"seen", see_optimize},
                             {"read", clear_optimize},
                             {"reassert", reassert_trial_optimize},
                             {"seen", see_optimize}};
  run_results record;
  run(setup, three_steps, &record);
  EXPECT_EQ(seen_optimize, (std::vector<int>{1, 1}));
  seen_optimize.clear();
  run(setup, three_steps, nullptr);
  EXPECT_EQ(seen_optimize, (std::vector<int>{0, 0}));
}

TEST_F(driver, each_run_starts_from_a_fresh_record) {
  const run_phase setup[] = {{"first", setup_first}, {"mark", mark_record}};
  run(setup, three_steps);
  run(setup, three_steps);
  // events_finished 0 and the sweep parity at its starting value 1, both times.
  EXPECT_EQ(seen_marks, (std::vector<int>{100, 100}));
  const std::string timing = timing_file();
  EXPECT_EQ(std::count(timing.begin(), timing.end(), '\n'), 2);
}

TEST_F(driver, a_project_name_of_1024_characters_is_refused) {
  const std::string name(1024, 'p');
  const run_phase setup[] = {{"first", setup_first}};
  EXPECT_EQ(run(setup, three_steps, nullptr, name.c_str()), 1);
  EXPECT_NE(output_.find("Error: the project file name is longer than 1023 characters.\n"),
            std::string::npos);
  EXPECT_EQ(journal, (std::vector<std::string>{"close"}));
}

struct ending_case {
  const char* label;
  bool fail_in_setup;
  int fail_pass;       // pass whose step b stops the run (0: none)
  int interrupt_pass;  // pass in which SIGTERM comes in (0: none)
  int status;
  const char* journal_tail;  // the last steps before the summary or the close
  bool partial;              // the files stay under their temporary names
  const char* summary_says;  // in the summary, final or temporary
};

TEST_F(driver, a_run_replaces_its_results_only_when_it_reaches_its_end) {
  const ending_case cases[] = {
      {"a run that ends", false, 0, 0, 0, "b@3", false, "Running...."},
      {"a stop in set-up", true, 0, 0, 1, "setup:fail", false, ""},
      {"a stop in the loop", false, 2, 0, 1, "b@2", true,
       "\nThe run stopped on the error above.\nIts files are left under their names with "
       "\".partial\" added; the files of the previous run are untouched.\n"},
      {"an interrupt in the loop", false, 0, 2, 143, "b@2", true,
       "\nThe run was interrupted (SIGTERM) at the end of step "},
  };
  for (const ending_case& c : cases) {
    SCOPED_TRACE(c.label);
    SetUp();
    clear_pass = 3;
    fail_pass = c.fail_pass;
    fail_code = 56;
    interrupt_pass = c.interrupt_pass;
    // The last run's results, which only a run that ends may replace.
    dir_.write("run.sum", "old summary\n");
    dir_.write("series.out", "old series\n");
    const run_phase ending[] = {{"first", setup_first}, {"open", open_results}};
    const run_phase failing[] = {{"first", setup_first}, {"open", open_results},
                                 {"fail", setup_fail}};
    EXPECT_EQ(run(c.fail_in_setup ? std::span<const run_phase>(failing) : ending, writing_steps),
              c.status);
    const auto at = std::find(journal.begin(), journal.end(), c.journal_tail);
    ASSERT_NE(at, journal.end());
    // A stopped run does not begin the next pass.
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "a@3"), c.status == 0 ? 1 : 0);
    const bool replaced = c.status == 0;
    EXPECT_EQ(read_file(dir_.file("run.sum")) == "old summary\n", !replaced);
    EXPECT_EQ(read_file(dir_.file("series.out")),
              replaced ? "pass 1\npass 2\npass 3\n" : "old series\n");
    EXPECT_EQ(std::filesystem::exists(dir_.file("run.sum.partial")), c.partial);
    EXPECT_EQ(std::filesystem::exists(dir_.file("series.out.partial")), c.partial);
    const std::string summary = read_file(dir_.file(c.partial ? "run.sum.partial" : "run.sum"));
    if (c.summary_says[0]) {
      EXPECT_NE(summary.find(c.summary_says), std::string::npos) << summary;
    }
    if (c.partial) {
      EXPECT_EQ(read_file(dir_.file("series.out.partial")), "pass 1\npass 2\n");
    }
    std::filesystem::remove(dir_.file("run.sum.partial"));
    std::filesystem::remove(dir_.file("series.out.partial"));
  }
}

TEST_F(driver, a_run_after_an_interrupt_is_not_started) {
  note_interrupt(SIGINT);
  const run_phase setup[] = {{"first", setup_first}};
  EXPECT_EQ(run(setup, three_steps), 130);
  EXPECT_TRUE(journal.empty());
  EXPECT_FALSE(std::filesystem::exists(dir_.file("out_time.out")));
}

TEST(production_lists, the_loop_runs_the_thirty_steps_in_their_fixed_order) {
  const std::vector<std::string> expected = {
      "advance_clock",         "read_precip_step",      "initialize_event",
      "update_rain_rates",     "apply_rainfall",        "check_inf_redist_init",
      "longterm_hmet_step",    "update_soil_evap",      "infiltration_step",
      "sacramento_step",       "soil_layer_contam_step", "overland_step",
      "drain_exchange_step",   "sed_contam_source_step", "overland_contam_step",
      "cell_contam_mass_step", "groundwater_step",      "olake_extent_step",
      "channel_step",          "read_chan_point_input", "track_peak_outflow",
      "chan_sed_contam_step",  "contam_decay_step",     "channel_contam_step",
      "print_progress",        "check_end_of_event",    "event_end_exchange_step",
      "finish_event",          "write_timeseries_step", "write_map_step"};
  EXPECT_EQ(names(production_steps()), expected);
}

TEST(production_lists, set_up_phases_come_in_their_fixed_order) {
  const std::vector<std::string> expected = {
      "read_run_parameters",        "reassert_trial_optimize",   "check_project_options",
      "open_project_files",         "write_startup_header",      "setup_time_steps",
      "read_grid_inputs",           "open_map_outputs",          "write_linknode_headers",
      "open_contam_outputs",        "build_cell_connectivity",   "compute_cell_slopes",
      "setup_precip_and_hmet",      "check_overland_step",       "init_cell_states",
      "read_chan_point_sources",    "init_channel_contam_state", "alloc_run_results",
      "read_vune_exchange_maps",    "open_xy_outputs",           "sum_initial_surface_volume",
      "convert_nsm_soil_units",     "init_constituent_state",    "init_process_clocks",
      "shift_relative_time_series", "read_analyzers_and_notify", "print_replace_usage"};
  EXPECT_EQ(names(production_setup_phases()), expected);
}

TEST_F(driver, a_real_run_stopped_in_set_up_returns_failure_and_still_times_itself) {
  temp_dir project_dir;
  const std::string project = project_dir.write("p.prj", "VALTOPROJECT\nPRECIP_UNIF\nRAIN_INTENSITY 10\nRAIN_DURATION 30\n");
  scoped_cwd cwd(project_dir.path());
  stdout_capture capture;
  const int status = run_simulation(project.c_str(), nullptr);
  const std::string out = capture.stop();
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("Error: the project file " + project +
                     " has no WATERSHED_MASK card, which names the watershed mask file.\n"),
            std::string::npos);
  EXPECT_NE(read_file(project_dir.file("out_time.out")).find("total time (s):"), std::string::npos);
}

}  // namespace
