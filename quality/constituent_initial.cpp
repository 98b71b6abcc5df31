// Initial constituent state: layer geometry and initial masses.

#include "quality/constituent_initial.h"

#include "quality/soil_layer_contam.h"

void redistribution_soil_geometry(int layers, double mixing, double top, double moisture,
                                  double* thickness, double* bottom) {
  thickness[1] = mixing / 100.0;
  bottom[1] = thickness[1];
  if (layers == 2) {
    thickness[2] = (moisture - mixing) / 100.0;
  } else if (layers == 3) {
    thickness[2] = (top - mixing) / 100.0;
    thickness[3] = (moisture - top) / 100.0;
  }
  for (int l = 2; l <= layers; ++l) bottom[l] = bottom[l - 1] + thickness[l];
}

double initial_surface_mass(double depth, double& conc, double dx) {
  if (depth > 1e-16) return depth * conc * dx * dx;
  conc = 0.0;
  return 0.0;
}

double initial_layer_mass(double conc, double thickness, double porosity, double dx) {
  return conc * thickness * dx * dx * soil_particle_density * (1.0 - porosity);
}
