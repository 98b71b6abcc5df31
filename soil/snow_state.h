#pragma once
// The snow pack of a long-term run: the melt parameters of every cell, the
// pack's water, its heat deficit, its liquid water and the hours of
// precipitation it remembers, and the run's totals of what went into and out
// of it. Every long-term run keeps one, since cold precipitation goes to the
// pack whether or not a melt form is chosen.

#include <array>
#include <vector>

// The four melt parameters: the cards' values, or one elevation band's.
struct snow_params {
  double mf_max = 1.2;  // maximum (21 June) melt factor, mm/deg C per 6 h
  double mf_min = 0.0;  // minimum (21 December) melt factor, mm/deg C per 6 h
  double fr_use = 0.0;  // rain-melt factor, fraction of rain taken into the pack
  double scf = 1.0;     // snow correction factor: gauge catch to snowfall
};

// Hours of precipitation the pack remembers.
constexpr int snow_history_hours = 6;

struct snow_state {
  // Parameters per cell [1..cells]; the defaults of snow_params until the
  // cards or the elevation bands set them
  std::vector<double> mf_max;  // mm/deg C per 6 h
  std::vector<double> mf_min;  // mm/deg C per 6 h
  std::vector<double> fr_use;  // fraction
  std::vector<double> scf;     // factor; above 0

  // Pack per cell [1..cells]
  std::vector<double> swe;           // snow water equivalent, liquid water included, m
  std::vector<double> liquid;        // liquid water held in the pack, mm
  std::vector<double> heat_deficit;  // carried from hour to hour, mm of water
  std::vector<double> ati;           // antecedent temperature index, deg C, never above 0
  std::vector<double> retained;      // outflow held back by the retention, mm
  // Precipitation per cell [1..cells], at the gauge (the snow correction
  // factor taken out)
  std::vector<double> hour_precip;   // gathered towards the current hour, mm
  std::vector<double> hour_clock;    // hours gathered towards the current hour, h
  std::vector<std::array<double, snow_history_hours>> history;  // last six hours, [0] the latest, mm
  std::vector<double> cum_precip;    // sum of the completed hours, mm
  std::vector<int> rain_steps;       // rain steps of the current event
  std::vector<int> rain_on_snow;     // 1: the last call found rain on snow
  std::vector<double> released;      // melt water the last call gave the surface, m
  std::vector<int> snowing;          // 1: the rainfall step's precipitation fell as snow

  // Run totals, m3
  double snowfall_volume = 0.0;  // precipitation the pack took, correction included
  double scf_volume = 0.0;       // of which the snow correction factor added
  double melt_volume = 0.0;      // melt water given to the surface
};
