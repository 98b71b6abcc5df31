#pragma once
// The nutrient model's outputs: outlet series per species, overland maps of
// the species and of total nitrogen and phosphorus, link/node files of the
// stream species and the channel totals.

struct model_state;

// With the project's files: the outlet series files of the species asked
// for (".conc" and ".mass"), and a check that the channel totals can be
// written. Error 4 (or 47 in the exchange mode) stops the run.
void open_nutrient_outputs(model_state& state);

// With the map outputs: the overland map writers, and the link/node writers
// once the stream layer exists.
void open_nsm_map_outputs(model_state& state);

// One row "%16.8lf %11.4lf" per species file: time, then the outlet's
// concentration (g/m3) or mass (g).
void write_nsm_hydrograph_rows(model_state& state);

// One record of every nutrient link/node file (masses in kg, totals in g).
void write_nsm_linknode_records(model_state& state);

// The overland maps of one map time, the totals computed first.
void write_nsm_maps(model_state& state);

// The closing records of the species datasets and link/node files.
void end_nsm_datasets(model_state& state);
