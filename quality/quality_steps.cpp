// Set-up phases of the quality subsystem that belong to no one process. The
// grid's constituent steps are in quality/contam_steps.cpp and
// quality/sed_contam_source.cpp, the channels' in quality/channel_contam.cpp
// and quality/chan_sed_contam.cpp.

#include "quality/quality_steps.h"

#include "run/model_state.h"
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
