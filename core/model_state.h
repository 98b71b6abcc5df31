#pragma once
// The record of one run: every setting, array and file of a run lives here
// and is released when the record is destroyed.

#include <string>

#include "input/input_state.h"

struct model_state {
  std::string project_file;  // path of the project file this run reads
  input_state input;
};
