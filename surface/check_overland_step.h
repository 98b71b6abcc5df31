#pragma once
// The start-up check of the overland time step against the step each
// overland scheme stands on the run's grid under its steady rain.

struct grid_state;
struct model_state;

// The longest overland steps (s) estimated for a grid under a steady rain;
// 0 where no cell drains (a flat grid, or no rain).
struct overland_step_estimate {
  double ade;               // both ADE schemes
  double explicit_substep;  // the explicit scheme's stable sub-step; it cuts a longer step itself
};

// The kinematic wave of the rain at equilibrium: every cell's rain drains
// down its bed to its lower neighbours (and through the outlet), so a cell
// carries the rain of all the cells above it; the depth that passes that
// flow by Manning's law sets the wave's celerity c = 5/3 x velocity, and a
// step is stable while the wave crosses no more than a cell (dx / c).
// dist_rough is per cell [1..cells]; rain_rate in m/s.
overland_step_estimate estimate_overland_steps(const grid_state& grid, const double* dist_rough,
                                               double rain_rate);

// Set-up phase: warns once, on the screen and in the summary, when the
// overland step is above the estimate of the chosen scheme. Changes nothing.
void check_overland_step(model_state& state);
