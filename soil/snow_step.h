#pragma once
// The run's view of the snow routines: the melt form of the project cards,
// the hour's meteorology and the cells' arrays of one call, gathered the same
// way for the hourly step and the rainfall step.

#include "soil/snow_melt.h"

struct model_state;

snow_options snow_options_of(const model_state& state);

// The current hour's record; per-cell values with gridded input (all four)
// or orographic variation (the temperature).
snow_weather snow_weather_of(const model_state& state);

// A call over dt_s seconds; from the rainfall step (from_hourly false) it is
// a rain step of the event in progress.
snow_call snow_call_of(model_state& state, double dt_s, bool from_hourly);

// Snow water equivalent of every cell, m3, summed in cell order; 0 without a
// pack.
double snow_volume(const model_state& state);
