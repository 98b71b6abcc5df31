#pragma once
// Event start and end. initialize_event prepares an event in the pass whose
// clock meets its start; check_end_of_event decides every pass whether the
// event, and the run, have ended, and raises the flags the exchange step and
// finish_event act on later in the same pass.

struct model_state;

// Step 3 of the loop: acts only within the tolerance of the event start.
void initialize_event(model_state& state);

// Step 26 of the loop: end-of-event and end-of-run tests.
void check_end_of_event(model_state& state);

// Puts every process on the overland step from the current time, as at an
// event start: the clocks that waited for the next event run again. With
// richards_caught_up the Richards columns have been brought to now.
void restart_process_clocks(model_state& state, bool richards_caught_up);

// Water on the cells outside the lakes: sum of depth x dx^2, m3.
double surface_water_volume(const model_state& state);
