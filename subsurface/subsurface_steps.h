#pragma once
// Groundwater and pipe networks: the time-loop steps of the subsurface
// subsystem, as the run driver calls them.

struct model_state;

void drain_exchange_step(model_state& state);
void groundwater_step(model_state& state);
