#pragma once
// Set-up of the dissolved constituents: the contaminant table of the
// mapping table file becomes the constituent list with its per-cell
// parameters, the soil layers are laid out, and the per-constituent arrays
// of the steps are sized.

struct model_state;
struct contaminant_model;

// Reads the contaminant table (or refuses the uniform values no card can
// count), the load map and the soil depths; sizes every array.
void read_contaminant_inputs(model_state& state);

// Sizes every per-constituent array of model for n constituents on cells
// cells with layers soil layers, all zero.
void size_contaminant_arrays(contaminant_model& model, int n, int cells, int layers);
