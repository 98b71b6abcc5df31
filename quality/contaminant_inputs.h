#pragma once
// Set-up of the dissolved constituents: the contaminant table of the
// mapping table file becomes the constituent list with its per-cell
// parameters, the soil layers are laid out, and the per-constituent arrays
// of the steps are sized.

struct model_state;
struct input_state;
struct contaminant_model;

// Reads the contaminant table (or refuses the uniform values no card can
// count), the load map and the soil depths; sizes every array.
void read_contaminant_inputs(model_state& state);

// Sizes every per-constituent array of model for n constituents on cells
// cells with layers soil layers, all zero.
void size_contaminant_arrays(contaminant_model& model, int n, int cells, int layers);

// Switches the constituent model on with the project's transport settings,
// after checking what this version carries; false after the message.
bool start_constituent_model(model_state& state);

// A top-layer or mixing-layer depth not given takes the depth below it
// (Green and Ampt soils).
void set_soil_depths(input_state& in);

// The layers a constituent is carried in under the run's infiltration model.
int constituent_soil_layers(const input_state& in);
