#pragma once
// The outlet watch and the end of an event: the event's peak outflow and
// the peaks at the scored locations, the progress line, and finish_event,
// which completes the event's balances and writes its summary and its row of
// simulated peaks and volumes.

struct model_state;

// Step 21: outlet peak and its date; location peaks of calibration runs.
void track_peak_outflow(model_state& state);

// Step 25: the progress line, in passes where the outlet's process acted.
void print_progress(model_state& state);

// Step 28: acts in the pass whose end-of-event flag is up.
void finish_event(model_state& state);

// Discharges and volumes of the calibration rows in English units use this
// factor, not the progress line's.
constexpr double calib_cfs_factor = 35.32;
