#pragma once
// Overland erosion of one overland step and its bookkeeping afterwards.

struct model_state;

// Detaches, carries and settles the sediment of every class over the grid in
// one overland step of dt seconds, after the water has been routed: splash
// and flow detachment per cell, transport across the faces up to the
// capacity (cell order, so sediment may pass several cells in one step),
// the outlet face, and settling. Leaves the class totals of the run and the
// step's volume through the outlet in the sediment record.
void sediment_erosion_transport(model_state& state, double dt);

// After the erosion of a step: the net deposition of every cell and class
// over the run, with ADJUST_ELEV the ground's rise by the step's net
// deposition, and the step's tallies cleared for the next step.
void book_sediment_step(model_state& state);
