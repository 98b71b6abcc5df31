#pragma once
// Calibration, analyzers and framework exchange: the set-up phases and the
// time-loop step of this subsystem, as the run driver calls them.

struct model_state;

// Set-up phases.
void read_vune_exchange_maps(model_state& state);
void read_analyzer_file(model_state& state, const char* path);

// Time-loop step 27: at an event end, the framework exchange (when on) and
// the hand-off to finish_event.
void event_end_exchange_step(model_state& state);
