#pragma once
// The record of one run: every setting, clock, array and file of a run lives
// here, grouped by subsystem, and is released when the record is destroyed.
// The run driver builds a fresh record for every run, so nothing of one run
// reaches the next but its written files and a trial's results record.
//
// Flag names. Several run flags go by two names in the model's descriptions;
// the field that holds each is fixed here:
//
//   field                       name                  also called
//   run.exchange_pending        "exchange-pending"    "end-of-event" (framework exchange)
//   run.event_end               "end-of-event"        "event-summary"
//   run.rain_on                 "rain-on"             "rainfall-in-progress"
//   run.rain_active             "rain-active"         "rainfall-applied"
//   parallel.run_group          "result-merge flag"   "run-group number"
//
// check_end_of_event raises exchange_pending and event_end; the framework
// exchange step clears exchange_pending and raises event_end; finish_event
// acts on event_end and clears it.

#include <memory>
#include <string>

#include "calibration/calibration_state.h"
#include "calibration/run_results.h"
#include "channel/channel_state.h"
#include "core/grid_state.h"
#include "core/output_set.h"
#include "core/run_control.h"
#include "input/input_state.h"
#include "output/output_state.h"
#include "quality/quality_state.h"
#include "soil/soil_state.h"
#include "subsurface/subsurface_state.h"
#include "surface/surface_state.h"

struct model_state {
  model_state() = default;
  model_state(const model_state&) = delete;
  model_state& operator=(const model_state&) = delete;

  std::string project_file;      // path of the project file this run reads
  run_results* results = nullptr;  // the trial's record, or own_results, or none
  std::unique_ptr<run_results> own_results;  // record created for an OPTIMIZE run
  run_services services;         // subsystem routines the core calls back
  output_set outputs;            // files the run writes, moved into place at its end

  run_control run;
  grid_state grid;
  input_state input;
  surface_state surface;
  channel_state channel;
  soil_state soil;
  subsurface_state subsurface;
  quality_state quality;
  output_state output;
  calibration_state calib;
};
