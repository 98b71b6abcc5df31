#pragma once
// Channel network, structures and lakes: the set-up phase and time-loop
// steps of the channel subsystem, as the run driver calls them.

struct model_state;
struct channel_state;

// Set-up phase.
void read_chan_point_sources(model_state& state);

// Event start and end, called through the run's services.
void channel_event_start(model_state& state);
void channel_event_end(model_state& state);

// Time-loop steps.
void olake_extent_step(model_state& state);
void channel_step(model_state& state);
void read_chan_point_input(model_state& state);

// Adds each lake's inflow and outflow counters to the run and event lake
// totals and clears them.
void fold_lake_counters(channel_state& chan);
