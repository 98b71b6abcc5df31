#pragma once
// Water over the banks between the grid cells and the channel nodes that run
// through them, once per channel step before routing: a bank weir (or, with
// the channel standing above the ground, Manning flow) from a cell into its
// nodes, or from a node back onto its cell under two-way coupling.

struct model_state;

struct lateral_switches {
  int overbank = 0;    // OVERBANK_FLOW: a node standing above its bank may spill onto the cell
  int backwater = 0;   // OVERLAND_BACKWATER: no bank weir while the channel stands above the ground
  int sacramento = 0;  // SACRAMENTO: the accounting's base flow enters the nodes
  double sac_rate = 0.0;  // that base flow, shared by gst_sac_weight, m3/s
};

// The switches of the run (the Sacramento base flow stays 0 until the
// accounting supplies it).
lateral_switches lateral_switches_of(const model_state& state);

// Moves the bank exchange of dt seconds between state.surface.depth and the
// nodes' qlat (m3/s per m of channel), pair by pair of the grid-stream lists
// on the calling thread (several cells can feed one node). Returns the
// volume exchanged, m3, positive into the channels.
double lateral_inflow(model_state& state, const lateral_switches& sw, double dt);

// Flow factor of a weir whose tail water stands at submergence ratio x.
double submergence_factor(double x);
