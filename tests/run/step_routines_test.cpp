// The production step list on a dry single event, and every routine whose
// process this version lacks: it passes while its switch is off and stops
// the run once its switch is on and its clock has come.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calibration/calibration_steps.h"
#include "channel/channel_steps.h"
#include "run/run_simulation.h"
#include "run/model_state.h"
#include "run/run_loop.h"
#include "core/safe_file.h"
#include "output/output_steps.h"
#include "quality/quality_steps.h"
#include "run_fixture.h"
#include "soil/soil_steps.h"
#include "subsurface/subsurface_steps.h"
#include "surface/surface_steps.h"
#include "test_support.h"

namespace {

using test_support::scoped_cwd;
using test_support::stdout_capture;
using test_support::temp_dir;

struct pass_record {
  int pass;
  int step;
  int events_finished;
  int run_flag;
};

double timestep = 30.0;
double st_time_step = 0.0;
std::vector<pass_record> passes;

void configure(model_state& s) { run_fixture::set_single_event(s, timestep, st_time_step, 60); }
void dry(model_state& s) { run_fixture::make_dry(s); }
void observe(model_state& s) {
  passes.push_back({s.run.pass, s.run.step, s.run.events_finished, s.run.run_flag});
}

constexpr run_phase dry_setup[] = {{"configure", configure},
                                   {"setup_time_steps", setup_time_steps},
                                   {"init_process_clocks", init_process_clocks},
                                   {"dry", dry}};

struct dry_run {
  int status;
  std::string output;
};

// The production steps and summary, with an observer after the last step.
dry_run run_dry_event(double ts, double st) {
  timestep = ts;
  st_time_step = st;
  passes.clear();
  std::vector<run_phase> steps(production_steps().begin(), production_steps().end());
  steps.push_back({"observe", observe});
  run_lists lists = production_lists();
  lists.setup = dry_setup;
  lists.steps = steps;
  temp_dir dir;
  scoped_cwd cwd(dir.path());
  run_fixture::clear_errors();
  run_prefix_flag = 0;
  stdout_capture capture;
  const int status = run_model("dry.prj", nullptr, lists);
  return {status, capture.stop()};
}

int count_of(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(dry_event, a_sixty_minute_event_at_30_s_takes_121_passes_and_ends_once) {
  const dry_run r = run_dry_event(30.0, 0.0);
  EXPECT_EQ(r.status, 0) << r.output;
  ASSERT_EQ(passes.size(), 121u);
  EXPECT_EQ(count_of(r.output, "simulation duration 60 minutes\n"), 1);
  EXPECT_EQ(count_of(r.output, "Initialized Arrays\n"), 1);
  EXPECT_EQ(count_of(r.output, "finished event \n"), 1);
  for (std::size_t i = 0; i < passes.size(); ++i) {
    EXPECT_EQ(passes[i].pass, static_cast<int>(i) + 1);
    // Rows test the step count, 0 in the first pass; maps the pass count.
    EXPECT_EQ(passes[i].step, static_cast<int>(i));
    EXPECT_EQ(passes[i].events_finished, i + 1 == passes.size() ? 1 : 0);
    EXPECT_EQ(passes[i].run_flag, i + 1 == passes.size() ? 0 : 1);
  }
  EXPECT_EQ(count_of(r.output, "event  1 elapsed time"), 121);
}

TEST(dry_event, an_overland_step_of_four_main_steps_prints_31_progress_lines) {
  const dry_run r = run_dry_event(120.0, 30.0);
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(passes.size(), 121u);
  EXPECT_EQ(count_of(r.output, "event  1 elapsed time"), 31);
  EXPECT_NE(r.output.find("event  1 elapsed time     4.00   1/01/2000 00:04:00 Qout=    0.00 cms\n"),
            std::string::npos);
}

struct switch_case {
  const char* name;
  state_routine routine;
  void (*switch_on)(model_state&);
};

// Every clock of a fresh record lies at 0, far from the current time, so a
// process is due only where its case puts its clock at the current time.
const switch_case switch_cases[] = {
    {"check_inf_redist_init", check_inf_redist_init,
     +[](model_state& s) {
       s.input.ov_con_trans = 1;
       s.input.settings.ov_point_source_given = 1;
       s.run.ov_contam_inf.next = s.run.current_time;
     }},
    {"channel_step", channel_step,
     +[](model_state& s) {
       s.input.channel_routing = 1;
       s.run.channel.next = s.run.current_time;
     }},
};

// A record at the first pass of a run, every process off.
void first_pass(model_state& s) {
  s.run.current_time = run_fixture::jan_1_2000();
  s.run.pass = 1;
  s.run.step = 0;
  s.run.hyd_interval = 1;
  s.run.map_interval = 1;
}

TEST(step_routines, each_passes_when_off_and_stops_as_not_available_when_on) {
  for (const switch_case& c : switch_cases) {
    SCOPED_TRACE(c.name);
    {
      run_fixture::clear_errors();
      model_state off;
      first_pass(off);
      stdout_capture capture;
      c.routine(off);
      EXPECT_EQ(capture.stop(), "");
      EXPECT_EQ(error_state.stop_flag, 0);
    }
    {
      run_fixture::clear_errors();
      model_state on;
      first_pass(on);
      c.switch_on(on);
      stdout_capture capture;
      c.routine(on);
      EXPECT_EQ(capture.stop(),
                std::string("Error: ") + c.name + " is not available in this version.\n\n");
      EXPECT_EQ(error_state.stop_flag, 1);
    }
  }
  run_fixture::clear_errors();
}

TEST(step_routines, a_process_switched_on_stops_a_run_of_the_production_list) {
  // A channel routing method other than the explicit one, switched on in code.
  static constexpr run_phase setup[] = {
      {"configure", configure},
      {"switch", +[](model_state& s) { s.input.channel_routing = 1; }},
      {"setup_time_steps", setup_time_steps},
      {"init_process_clocks", init_process_clocks},
      {"dry", dry}};
  timestep = 30.0;
  st_time_step = 0.0;
  run_lists lists = production_lists();
  lists.setup = setup;
  temp_dir dir;
  scoped_cwd cwd(dir.path());
  run_fixture::clear_errors();
  stdout_capture capture;
  EXPECT_EQ(run_model("gw.prj", nullptr, lists), 1);
  const std::string out = capture.stop();
  EXPECT_NE(out.find(" is not available in this version.\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("finished event"), std::string::npos);
  run_fixture::clear_errors();
}

}  // namespace
