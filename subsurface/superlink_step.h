#pragma once
// One implicit step of the pipe network over a coupling interval: grate
// inlets, surcharge and leaky pipes feed the superjunctions; each
// superlink's pipes reduce to two linear relations between its end flows
// and the heads of its two superjunctions; the heads come from one system
// over all superjunctions; depths and flows follow; the outlets deliver.

#include <vector>

#include "subsurface/superlink_state.h"

// Flags of a step.
struct superlink_options {
  int leaky = 0;      // some pipe takes groundwater
  int c_opt = 0;      // SUPERLINK_C_OPT: pipes graded at set-up
  int high_head = 0;  // HIGH_HEAD_RELEASE: surcharge goes back on the surface
};

// Advances sl by dt seconds. call is 0 at the first call of a run: the
// work storage is sized, the heads set and the log "superlink_flows.out"
// created. depth is the per-cell overland depth (m, [0..cells]), read and
// changed; w the cell size (m). inlet_volume receives the water the grates
// took from the surface in the call (m3). Results: 0; -9 when the log
// cannot be created (code 4 raised); -1 when the junction matrix is
// singular (code 134 raised) or a superlink's end flow or depth is no
// number (4000, naming the superlink).
int superlink_step(int call, double w, std::vector<double>& depth, superlink_state& sl,
                   double dt, const superlink_options& opt, double& inlet_volume);

// Sizes the step's work storage for the network and sets its starting
// state, as the first call does; false when memory is short.
bool superlink_start(superlink_state& sl, const superlink_options& opt);

// Water held by the network, m3: what its free superjunctions hold above
// their bottoms and what its superlinks' nodes took up. It is the volume
// the step's continuity keeps, so inflow less outflow over calls equals its
// change; fixed-head junctions hold none of it.
double network_volume(const superlink_state& sl);
