#pragma once
// The overland sediment kernels: set-up of the particle classes, the
// transport capacity of a face, the median diameter of a cell's mix, and the
// detachment of soil by rain splash and by flow. Each works on one cell's
// slots of the sediment record, so cells may be worked in parallel.

#include "quality/sediment_state.h"

// Kinematic viscosity of water at temperature deg C (0 below 0), m2/s.
double water_viscosity(double temperature);
// Settling velocity, m/s, of a particle of diameter mm and specific gravity
// in water of viscosity nu (m2/s): Stokes' law up to 0.1 mm, the
// dimensionless-diameter law above.
double fall_velocity(double diameter, double spec_grav, double nu);
// From the class table and the settings: viscosity, densities, fall
// velocities, sand flags (a class at least SAND_SIZE across is sand) and the
// class order with the fine classes first.
void setup_sediment_classes(sediment_state& sed);

// Volume of sediment (m3) that flow of unit discharge q (m2/s) at depth h (m)
// on slope S can carry through a face of width dx (m) in dt (s), by formula
// 1..6; any other formula gives q itself. Formula 1 refreshes the cell's
// suspended and deposited totals and fractions; formula 4 is not scaled by
// the step.
double sediment_transport_capacity(int formula, int cell, double S, double h, double q,
                                   double dt, double dx, sediment_state& sed);
// Median diameter (micrometres) of the cell's mix: its suspended load, else
// its deposit, else its parent soil; the fractions of the source are
// refreshed.
double sediment_d50(int cell, sediment_state& sed);

// The cell's loose deposit over all classes, m3.
double loose_deposit(sediment_state& sed, int cell);
// Lifts amount (m3, below the loose deposit) of the loose deposit into
// suspension in its classes' proportions, tallied in step_eroded.
void lift_loose_deposit(sediment_state& sed, int cell, double loose, double amount);
// Lifts all the loose deposit and soil (m3) of parent soil in the soil's
// mix into suspension, tallied in step_eroded.
void lift_deposit_and_soil(sediment_state& sed, int cell, double soil);

// Splash coefficients a and b of rain of intensity mm/h.
void splash_coefficients(double intensity, double& a, double& b);
// What the splash law takes from the rain alone, worked out once for all the
// cells under one intensity.
struct splash_rain {
  double intensity = 0.0;  // mm/h
  double a = 0.0;          // splash coefficients of the intensity
  double b = 0.0;
  double reach = 0.0;      // depth a drop stirs, m
  double power = 0.0;      // intensity^b
};
splash_rain rain_splash(double intensity);
// Rain on the cell at depth h (m): loose deposit is thrown up first, then
// parent soil (not in a channel cell). Tallies what enters suspension in
// step_eroded.
void splash_detachment(int cell, const splash_rain& rain, double h, double dt, double dx,
                       sediment_state& sed);
// Flow at depth h (m) on slope S picks up loose deposit, then parent soil
// (not in a channel cell), as far as the capacity (m3) is not already met by
// the suspended load. Tallies what enters suspension in step_eroded.
void flow_detachment(int cell, double S, double h, double dt, double dx, double capacity,
                     sediment_state& sed);
