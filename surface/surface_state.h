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
  std::vector<double> rain_rate;   // gross rainfall rate per cell, mm/h

  // Overland routing, per cell [1..cells]; entry 0 stays 0, so a face at the
  // grid edge (neighbour 0) passes nothing. Sized with the neighbour tables.
  std::vector<double> flux_x;       // discharge through the right face, m3/s, positive to the right
  std::vector<double> flux_y;       // discharge through the lower face, m3/s, positive downwards
  std::vector<double> vol_x;        // ADE: right-face volume over the step, m3
  std::vector<double> vol_y;        // ADE: lower-face volume over the step, m3
  std::vector<double> depth_change; // depth change of the latest sweep, m
  std::vector<double> depth_pred;   // predictor depths of the predictor-corrector scheme, m
  std::vector<double> flux_copy;    // first-sweep fluxes of the predictor-corrector scheme, m3/s
  std::vector<double> saved_depth;  // ADE: depths at the start of the step, m
  std::vector<double> sweep_depth;  // ADE: depths before the current sweep, m
  std::vector<double> cleared_depth;  // ADE: water given this step to small negative depths set to 0, m
  std::vector<double> block_sums;   // per-block partial sums, added in block order
  std::vector<double> block_sums2;  // a second set, for loops that keep two sums
  std::vector<int> block_flags;     // per-block first bad cell (0 none)
  int ade_calls = 0;               // calls of the ADE router in the run
  double ade_substep = 0.0;        // last ADE sub-step, s
  int ade_check = 0;               // largest depth-check code of the last sub-step, 0 or 1
  long long ade_substeps = 0;      // ADE sub-steps routed in the run, restarted ones included
  int wet = 0;                     // a cell held water at the last overland step
  int flowing = 0;                 // a face carried flow at the last overland step

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
  // Run totals the summaries read; apply_rainfall and the routers add to them.
  double rain_volume = 0.0;          // rain reaching the surface (after interception) over the run, m3
  double interception_volume = 0.0;  // rain held by the canopy over the run, m3
  int rain_steps = 0;                // overland steps with rain
  int rain_started = 0;              // raised at the first step with rain
  double rain_start_minutes = 0.0;   // elapsed minutes of the first step with rain
  double cleanup_volume = 0.0;       // water added by setting negative depths to 0, m3
};
