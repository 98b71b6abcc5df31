#pragma once
// Overland face fluxes: Manning's law on the water-surface slope between a
// cell and its right (x) or lower (y) neighbour, with the retention depth
// held back and dike sides closed. A sweep only computes fluxes; the router
// applies them to the depths.

// What a sweep reads besides the depths it is handed. Arrays are per cell
// [0..cells].
struct face_inputs {
  int cells = 0;
  double dx = 0.0;                     // cell size, m
  const double* elevation = nullptr;   // bed elevation, m
  const double* retent_dep = nullptr;  // retention depth, m
  const double* dist_rough = nullptr;  // Manning n, s/m^(1/3)
  const int* dike_mask = nullptr;      // dike side bits, or null when the run has no dikes
};

// Discharge (m3/s) from cell i to its neighbour j through their shared face,
// positive from i to j; j = 0 gives 0 (dike sides are closed by the sweeps,
// which know the side). Water flows out of
// the higher-stage cell by its own depth above its retention depth and its
// own roughness; equal stages give exactly 0.
double face_flux(const face_inputs& in, const double* depth, int i, int j);

// flux[i] for cells 1..cells: the right face (neighbour rightcon[i], closed by
// dike bit 2) or the lower face (belowcon[i], dike bit 4). One static
// parallel loop; each iteration writes only its own cell's entry.
void ov_flux_sweep_x(const face_inputs& in, const double* depth, const int* rightcon, double* flux);
void ov_flux_sweep_y(const face_inputs& in, const double* depth, const int* belowcon, double* flux);

struct model_state;

// The run's dike side bits per cell, or null when the run has no dike map.
const int* active_dike_mask(const model_state& state);

// Side bits of a cell in the dike map.
constexpr int dike_top = 1;
constexpr int dike_right = 2;
constexpr int dike_bottom = 4;
constexpr int dike_left = 8;
