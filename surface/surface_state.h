#pragma once
// The surface subsystem's part of the run record: water on the cells, the
// rain and outflow volumes of the event and of the run, and the overland
// flags other subsystems read.

#include <vector>

struct surface_state {
  int sweep_parity = 1;  // overland sweep direction, 1 or 2, flipped every routed step

  std::vector<double> depth;  // surface water depth per cell [1..cells], m
  std::vector<double> prev_depth;  // depth of the previous overland step per cell, m
  std::vector<double> retent_dep;  // retention (depression storage) depth per cell, m
  std::vector<double> dist_rough;  // overland Manning n per cell, s/m^(1/3)
  std::vector<double> dist_rough_copy;  // the cells' own Manning n while snow roughness is in use
  int snow_manning = 0;            // snow-covered cells take snow_roughness
  double snow_roughness = 0.0;     // Manning n of snow-covered cells, s/m^(1/3)
  std::vector<int> dike_mask;      // dike side bits per cell: 1 top, 2 right, 4 bottom, 8 left
  std::vector<double> icep_stor;   // interception storage capacity per cell, mm
  std::vector<double> icep_coef;   // interception coefficient per cell
  std::vector<double> icep_dep;    // intercepted depth per cell, mm
  std::vector<double> ri_eff;      // rain rate past the canopy per cell, mm/h
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
