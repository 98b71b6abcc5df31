#pragma once
// Constituent mass attached to the fine suspended sediment of the channels
// and channel lakes: the linear partition that splits a node's (or lake's)
// total mass between its water and its fine classes, the upwind store the
// attached mass moves from across a face, and the step that carries the
// attached mass with the channel sediment and hands the water's share to
// the dissolved routing.

#include "quality/chan_sed_contam_state.h"

struct channel_state;
struct model_state;

// Particle density of a class of specific gravity sg, g/m3 of sediment.
inline double particle_density(double sg) { return sg * 998.2 * 1000.0; }

// Splits for suspended volumes volume[1..fines] (m3) of densities
// density[1..fines] (g/m3) in water m3 of water. False, the split left as
// it was, when the node holds no water (not above 1e-16 m3).
bool partition_node(double kd, const double* density, const double* volume, int fines,
                    double water, sed_partition& split);

// The store a face's attached mass comes from: a node address, a lake, or
// neither (no water on that side).
struct upwind_store {
  int address = -1;
  int lake = 0;
};

// The store whose attached concentration crosses the face below node `node`
// of `link` with sediment flux w (m3/s, downstream +): the upwind node or
// lake. A structure holds nothing: it passes the store on the side the
// water comes from, so the face across it reads the store it debits.
upwind_store attached_upwind(const channel_state& chan, int link, int node, double w);

// Set-up with the channel constituent arrays: sizes the attached rows.
void alloc_chan_sed_contam_arrays(model_state& state);
// Set-up, once the start masses are known: every node's and lake's total
// starts as its dissolved mass.
void init_chan_sed_contam_state(model_state& state);
// Event start: clears the event totals.
void chan_sed_contam_event_start(model_state& state);

// The attached mass the fines of a cell take with them when v m3 of class
// cls leave cell `cell` for node address a: off the cell's total, into the
// node's pending lateral attached mass (or out of the system when the
// channels carry no constituents).
void pass_attached_to_node(model_state& state, int cell, int cls, int a, double v);

// Attached mass of constituent k held by node address a, g.
double node_attached_mass(const model_state& state, int k, int a);
// Attached mass of constituent k in the channels, the lakes (with what
// settled there) and on its way into the nodes, kg.
double channel_attached_mass(const model_state& state, int k);
double lake_attached_mass(const model_state& state, int k);
// Of the lakes' attached mass, what settled with their fines, kg.
double lake_settled_attached_mass(const model_state& state, int k);
double channel_attached_pending(const model_state& state, int k);

// Steps 1 to 5 of one constituent: the attached mass moves with the fines'
// face volumes of the last channel step over dt seconds.
void chan_contam_advect(model_state& state, int k, double dt);
// The node and lake partitions of one constituent, and the release of the
// water's share to the dissolved pending amounts.
void sed_contam_release(model_state& state, int k, double dt);
void sed_contam_cell_mass(model_state& state, int k);
