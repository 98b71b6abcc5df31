#pragma once
// Sediment in the channel network: the sand stores of the erodible links
// with their bed change, the suspended fines along every link and through
// the channel lakes, and the set-up of their arrays. The two transport
// routines run once per channel step on the channel step's thread; they
// are linear in nodes x classes and allocate nothing.

#include "quality/chan_sediment_state.h"

struct channel_state;
struct sediment_state;
struct model_state;

// With overland erosion and channel routing: the arrays below, the channel
// cells of the overland erosion and the sediment locations with their
// series. A network without an erodible link stops the run.
void setup_channel_sediment(model_state& state);

// The channel step's sediment, after the routing over dt seconds: the stream
// cells' suspended sediment into their nodes, both transport routines, the
// outlet and location totals, and the lakes' counters folded.
void channel_sediment_step(model_state& state, double dt);

// Sizes every channel and lake sediment array of a run with erodible
// channels (nothing otherwise) and fills each erodible trapezoid node's sand
// store with its erodible layer. False after an allocation failure (4000).
bool alloc_channel_sediment_arrays(model_state& state);

// Flow area (m2) of the break-point node at depth h (m), and its wetted
// perimeter (m) in perimeter, from the node's table.
double sed_depth_table_value(const channel_state& chan, int node, int link, double h,
                             double& perimeter);

// Sand of one channel step of dt seconds: the step's lateral sand into the
// stores, each erodible node's transport capacity by Yang's unit stream
// power formula taken from its store to the next node (or the previous one
// under reversed flow, a lake, or out of the outlet), then the bed of the
// erodible trapezoid nodes from the sand left in store.
void chan_sed_transport(const channel_state& chan, const sediment_state& sed,
                        chan_sediment_state& cs, double dt);

// The erodible trapezoid node's bed elevation (m) for a store of total m3,
// from its initial store and its erodible layer.
double trapezoid_bed(double org_bel, double total, double initial, double dx, double porosity,
                     double bottom, double side_slope, double max_eros);

// Fines of one channel step of dt seconds: the step's lateral fines into the
// nodes, an upwind predictor-corrector of the water volumes the routing
// passed (chan.qp_vol_sed), the node concentrations, and with channel lakes
// settling in the lakes (onto the lake cells' deposit of sed) and their
// balance.
void chan_suspended_sed_transport(const channel_state& chan, sediment_state& sed,
                                  chan_sediment_state& cs, double dt);

// At an event end: every erodible trapezoid node's bed becomes the bed its
// sand left (the depth kept, so the stage moves with the bed); every
// erodible break-point section is drawn again from the sand its node gained
// or lost since it was last drawn (the water area kept, so depth and stage
// follow); and the cross-section properties follow.
void update_erodible_beds(model_state& state);
