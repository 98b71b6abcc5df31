#pragma once
// The first two set-up phases: read the project file into the run settings,
// derive the run's working fields, and refuse option combinations that
// cannot run together.

struct model_state;

void read_run_parameters(const char* project_file, model_state& state);
void check_project_options(model_state& state);
