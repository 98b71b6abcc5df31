#pragma once
// The simulation clock: the main step and output intervals, the start time
// and every process clock before the first pass, and the move of the clock at
// the top of each pass. Times are Julian days; the current time is always
// step count x dt + start time, never a running sum.

struct model_state;
struct run_control;

// Set-up phase after the option checks: main step, write intervals and the
// site values. Codes 52, 56, 57, 58 stop the run; 55 is a warning.
void setup_time_steps(model_state& state);

// Last set-up phase before the analyzers: origin, start time and every
// process clock; ends with the run flag at 1.
void init_process_clocks(model_state& state);

// Step 1 of every pass: one step on from the second pass, with the calendar
// fields and the day of year.
void advance_clock(model_state& state);

// Gregorian rule: every fourth year, but not the centuries that 400 does not divide.
bool is_leap_year(int year);

// Day of the year, 1 on 1 January.
int day_of_year(int year, int month, int day);

// Start of event k (from 1); 0 when the run has no such event.
double event_start(const run_control& run, int k);
