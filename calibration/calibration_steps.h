#pragma once
// Calibration, analyzers and framework exchange: the set-up phases and the
// time-loop step of this subsystem, as the run driver calls them.

struct model_state;

// Set-up phases.
// With the framework, the vegetation model and VUNE_FIRST on: the maps the
// vegetation model left for the first event, bounded as at an event end.
void read_vune_exchange_maps(model_state& state);
// Builds the run's analyzer list from the file, one analyzer a 1DS or 2DS
// line. A file that does not open leaves no analyzers and the run going.
void read_analyzer_file(model_state& state, const char* path);

// Time-loop step 27: at an event end, the framework exchange (when on) and
// the hand-off to finish_event.
void event_end_exchange_step(model_state& state);
