#pragma once
// The overland sediment block of the event and end-of-run summaries.

#include <cstdio>

struct sediment_state;

// Per class the eroded (sign turned), deposited, suspended and routed
// volumes with the class's balance error. The event form says that the
// volumes are the run's, not the event's, and gives the error in percent.
void print_overland_sediment_summary(std::FILE* f, const sediment_state& sed, bool event);
