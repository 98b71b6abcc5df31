#pragma once
// The input subsystem's part of the run record: the settings the project file
// fills and the working fields derived from them before the time loop.

#include "input/project_settings.h"

struct input_state {
  project_settings settings;
  run_parameters params;
  precip_settings precip;
};
