#pragma once
// The explicit overland scheme (OVERTYPE 1). Every face of a sub-step
// carries Manning's flow per unit width on the water surface slope (a
// wetland cell its layered law), from the depths at the start of the
// sub-step; the changes of both directions are applied together at its end. A face that fails the
// stability tests (celerity, depth change, or a losing cell drawn below
// -1e-4 m) throws the sub-steps of the call away and starts the step again
// with a third of the sub-step, at most five times a call; a cut sub-step
// also starts the next four calls. With channel lakes the faces between free
// cells and lake cells feed the lakes (lake_volume, lake_in_dv, lake_out_dv)
// and a cut puts the lakes back with the depths; with overland lakes alone
// one pass at the full step, without tests, feeds their dv.

struct model_state;

// Routes the surface water over one overland step of dt seconds, applies the
// weir flow over the dike low spots, and drains the outlet cell when channel
// routing is off. Returns the volume (m3) that left through the outlet, 0
// with channel routing on. The sub-step messages go to standard output: the
// "need to split" lines always, the cut and reset lines only with uniform
// rain. The record's per-cell work arrays must be sized (alloc_overland_work).
double explicit_overland_route(model_state& state, double dt);
