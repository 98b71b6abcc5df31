// The quality subsystem's routines not built in this version: each one keeps
// its guard, so that a run without their process passes it, and stops the run
// as not available when its process is switched on. The grid's constituent
// steps are in quality/contam_steps.cpp and quality/sed_contam_source.cpp.

#include "quality/quality_steps.h"

#include "run/model_state.h"
#include "core/not_available.h"
#include "quality/nsm_model.h"

// The soil tables give the pools per unit of the table; the loop holds
// them a thousand times larger, as it holds every soil amount.
void convert_nsm_soil_units(model_state& state) {
  if (!state.quality.nsm || !state.quality.contam.soil_transport) return;
  nsm_soil& soil = state.quality.nsm->soil;
  for (int p = 0; p < nsm_soil_pools; ++p) {
    cell_layer_table& amounts = soil.pool(p);
    for (int j = 1; j <= soil.cells; ++j) amounts.at(j, 1) *= 1000.0;
  }
}

void chan_sed_contam_step(model_state& state) {
  if (!state.input.settings.sediment_contam || !state.input.channel_routing) return;
  raise_not_available("chan_sed_contam_step");
}
