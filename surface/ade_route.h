#pragma once
// ADE overland routing: scheme 2 (adaptive sub-steps) and scheme 3
// (predictor-corrector). One direction at a time: a flux sweep gives every
// cell the discharge through its right or lower face, then each cell's depth
// changes by what enters through its left or upper face less what leaves
// through its right or lower face. With lakes both schemes make one pass at
// the full step and a lake cell's faces with free cells feed its lake:
// an overland lake's dv, or a channel lake's lake_volume with its gross
// lake_in_dv and lake_out_dv (cleared at the start of the call).

struct model_state;

// Returned by the router when its sub-step fell below its floor.
constexpr double ade_route_failed = -1.0;

// Routes the surface water of the run record over one overland step of dt
// seconds by the scheme of OVERTYPE (2 or 3) and drains the outlet cell when
// channel routing is off. Returns the volume (m3) that left through the
// outlet during the step: 0 with channel routing on, with channel lakes or
// for another scheme, ade_route_failed after the sub-step error (code 4000
// raised). The step ends with the weir flow over the dike low spots. The
// record's per-cell work arrays must be sized (alloc_overland_work).
double ade_overland_route(model_state& state, double dt);

// One sweep's depth update over cells 1..cells for a sub-step of s seconds:
// dh = (flux[up[i]] - flux[i]) x s / dx^2 is stored in depth_change and added
// to depth; before holds each cell's depth before the sweep and takes the new
// one. A depth between -1e-5 m and 0 (with s >= 0.001 s) is set to 0 and the
// water so added (m) is added to cleared[i], *cleared_count counting the
// cells. With volume not null, volume[i] gains flux[i] x s (m3). Returns 2
// when a depth stayed negative, else 1 when a cell deeper than 0.01 m
// changed by more than half its depth at s > 0.1 s, else 0.
int ade_depth_check(int cells, double* depth, double* depth_change, double* before,
                    const double* flux, const int* up, double dx, double s, double* volume,
                    double* cleared, int* cleared_count);
