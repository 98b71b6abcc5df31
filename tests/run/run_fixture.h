#pragma once
// Run records configured in code for the driver, clock and event tests, and
// a recording analyzer. A "dry event" is one event of a run whose rain is
// over before it starts: no grid, no rain, every process off, so the
// production steps pass by and only the clock, the event tests and the
// outputs of the core act.

#include <string>
#include <vector>

#include "calibration/analyzers.h"
#include "core/error_state.h"
#include "core/julian.h"
#include "run/model_state.h"
#include "run/sim_clock.h"

namespace run_fixture {

inline double jan_1_2000() { return julian_date(2000, 1, 1, 0, 0, 0.0); }

// Settings of a single-event run starting 2000-01-01 00:00, before
// setup_time_steps: TIMESTEP, ST_TIME_STEP (0: none), TOT_TIME in minutes.
inline void set_single_event(model_state& s, double timestep, double st_time_step, int tot_time) {
  run_parameters& p = s.input.params;
  p.timestep = timestep;
  p.st_time_step = st_time_step;
  p.tot_time = tot_time;
  p.hyd_freq = 1.0;
  p.map_freq = 60;
  p.outslope = 0.01;
  p.gridsize = 30.0;
  s.input.event_min_q = 0.1;
  s.run.num_events = 1;
  s.run.event_starts = {0.0, jan_1_2000()};
}

// After init_process_clocks: the event's rain is already over and its start
// is known, as the precipitation step would have left it.
inline void make_dry(model_state& s) {
  s.run.event_data_flag = 3;
  s.run.event_index = 1;
  s.run.event_start_time = event_start(s.run, 1);
}

// Clears the process-wide error record.
inline void clear_errors() { error_state = error_record{}; }

// Records every moment it is told into a shared log.
class recording_analyzer : public analyzer {
 public:
  explicit recording_analyzer(std::vector<std::string>& log) : log_(log) {}
  void notify(int moment) override { log_.push_back("analyzer:" + std::to_string(moment)); }

 private:
  std::vector<std::string>& log_;
};

}  // namespace run_fixture
