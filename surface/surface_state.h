#pragma once
// The surface subsystem's part of the run record: water on the cells, the
// rain and outflow volumes of the event and of the run, and the overland
// flags other subsystems read.

#include <vector>

struct surface_state {
  int sweep_parity = 1;  // overland sweep direction, 1 or 2, flipped every routed step

  std::vector<double> depth;  // surface water depth per cell [1..cells], m
  int ponded_water = 0;       // raised at an event start: cells may hold surface water
  int overland_lakes = 0;     // overland lakes exist (overland-lake flag)
  int starts_wet = 0;         // the event began with more than 1e-6 m3 on the surface
  double initial_volume = 0.0;      // surface water at the start of the run, m3
  double event_start_volume = 0.0;  // surface water at the event start, m3
  double event_end_volume = 0.0;    // surface water at the event end, m3
  double event_rain_volume = 0.0;   // rain of the event, m3
  double prev_event_rain_volume = 0.0;     // the previous event's, m3
  double event_outflow_volume = 0.0;       // outlet outflow of the event, m3
  double prev_event_outflow_volume = 0.0;  // the previous event's, m3
  double outflow_volume = 0.0;             // outlet outflow of the run, m3
};
