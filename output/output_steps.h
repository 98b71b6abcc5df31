#pragma once
// Outputs and reports: the set-up phases, time-loop steps and end-of-run
// routines of the output subsystem, as the run driver calls them.

struct model_state;

// Set-up phases.
void open_map_outputs(model_state& state);
// Heads the channel's link/node stream files and the location hydrograph
// file, once the channel set-up has read the network and its locations.
void write_linknode_headers(model_state& state);
void setup_contam_map_writers(model_state& state);
void open_contam_link_files(model_state& state);
void open_xy_outputs(model_state& state);

// Time-loop steps.
void write_timeseries_step(model_state& state);
void write_map_step(model_state& state);

// At the end of every event, through the run record's services.
void write_event_summary(model_state& state);

// After the last pass of a run that was not stopped.
void write_summary(model_state& state);

// At the end of every run: every file of the run record is closed, so that
// the outputs are on disk before the record is released. Harmless twice.
void close_model_files(model_state& state);

// A gridded map output is asked for by the project.
bool map_outputs_requested(const model_state& state);
