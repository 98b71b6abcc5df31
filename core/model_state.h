#pragma once
// The record of one run: every setting, array and file of a run lives here
// and is released when the record is destroyed.

#include <string>

#include "input/project_settings.h"

struct model_state {
  std::string project_file;  // path of the project file this run reads
  project_settings settings;
  run_parameters params;
  precip_settings precip;
};
