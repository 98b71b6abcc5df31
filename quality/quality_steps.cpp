// The quality subsystem's routines not built in this version: each one keeps
// its guard, so that a run without their process passes it, and stops the run
// as not available when its process is switched on. The grid's constituent
// steps are in quality/contam_steps.cpp.

#include "quality/quality_steps.h"

#include "core/model_state.h"
#include "core/not_available.h"

void convert_nsm_soil_units(model_state& state) {
  if (!state.input.nutrients) return;
  raise_not_available("convert_nsm_soil_units");
}

void sed_contam_source_step(model_state& state) {
  if (!state.input.settings.sediment_contam || !state.input.soil_erosion) return;
  raise_not_available("sed_contam_source_step");
}

void chan_sed_contam_step(model_state& state) {
  if (!state.input.settings.sediment_contam || !state.input.channel_routing) return;
  raise_not_available("chan_sed_contam_step");
}
