#pragma once
// Dissolved constituents in the channels and channel lakes: the arrays and
// start state set up with the channels, the pending amounts the decay,
// outlet and aquifer takes leave, the channel constituent step that routes
// them, and the hand-over of the cells' bank outflow to the nodes.

struct model_state;
struct chan_contam_state;
struct channel_state;

// Set-up: sizes the channel and lake constituent arrays and opens the
// channel constituent output (with ALL_CONTAM_OUTPUT); called by the channel
// set-up once the network is read.
void alloc_channel_contaminant_arrays(model_state& state);
// Set-up, once the channels' start areas are known: initial concentrations,
// masses, decay rates and dispersion of nodes and lakes, booked as the
// initial channel, lake and global masses.
void init_channel_contam_state(model_state& state);
// Event start: clears the event totals and notes the masses held.
void channel_contam_event_start(model_state& state);

// The interval of the channel constituent step now due, s.
double chan_contam_interval(const model_state& state);

// Pending decay of one constituent over t seconds.
void chan_contam_decay_mass(model_state& state, int k, double t);
// Pending stream-aquifer exchange of one constituent over t seconds.
void chan_gw_contam_exchange(model_state& state, int k, double t);

// The take of a pending amount gathered over interval seconds by a step of
// dt seconds: the whole of it, unless the interval is longer than the step by
// more than half a second, then the share dt / interval.
double pending_take(double pending, double dt, double interval);

// The net source rate (g/s) of node address a of constituent k over dt
// seconds: the pending amounts taken, the step's grams added to step.
struct chan_step_grams {
  double outlet = 0.0, point = 0.0, decay = 0.0, lateral = 0.0, groundwater = 0.0;
  double sed_exchange = 0.0;
  double nsm_gain = 0.0, nsm_loss = 0.0;
  double lake_precip = 0.0, lake_groundwater = 0.0, lake_decay = 0.0, lake_overland = 0.0;
  double lake_exchange = 0.0, lake_sed = 0.0;
};
double node_source_rate(model_state& state, int k, int a, bool outlet, double dt,
                        chan_step_grams& step);
double lake_source_rate(model_state& state, int k, int lake, double dt, chan_step_grams& step);

// The mass the point inputs brought in a routed channel step of dt seconds:
// each point node's concentration x its inflow volume, pending for the
// channel constituent step (a withdrawal pending negative).
void gather_point_source_mass(model_state& state, double dt);

// The bank exchange each grid-stream entry took since last read: its share
// of its cell's outflow. Called as the cells' bank volumes are gathered.
void note_bank_exchange(model_state& state);
// Hands the mass cell j gave the channels in the cell step (grams of
// constituent k) to the cell's nodes, by the shares last noted.
void pass_cell_mass_to_nodes(model_state& state, int k, int j, double grams);

// Water a constituent can be found in at the end: the node and lake masses
// and what is pending on its way into the nodes and lakes, kg.
double channel_contam_mass(const model_state& state, int k);
double lake_contam_mass(const model_state& state, int k);
double channel_pending_mass(const model_state& state, int k);
