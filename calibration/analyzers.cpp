#include "calibration/analyzers.h"

#include "core/model_state.h"

void run_analyzers(model_state& state, int stage) { state.calib.analyzers.notify_all(stage); }
