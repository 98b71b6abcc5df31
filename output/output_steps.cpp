// The output subsystem's routines as far as this version has them: each one
// keeps its guard, so that a run that asks for no such output passes it, and
// stops the run as not available when it has something to write.

#include "output/output_steps.h"

#include "core/model_state.h"
#include "core/not_available.h"

void setup_contam_map_writers(model_state&) { raise_not_available("setup_contam_map_writers"); }

void open_contam_link_files(model_state&) { raise_not_available("open_contam_link_files"); }
