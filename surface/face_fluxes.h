#pragma once
// Overland face fluxes: Manning's law on the water-surface slope between a
// cell and its right (x) or lower (y) neighbour, with the retention depth
// held back and dike sides closed. Wetland cells follow a layered law, a
// cell under snow may pass Darcy flow through its pack, and a lake cell
// takes its lake's level as its stage. A sweep only computes fluxes; the
// router applies them to the depths and to the lakes.

struct olake_record;
struct wetland_record;

// What a sweep reads besides the depths it is handed. Arrays are per cell
// [0..cells]; a null pointer switches its process off.
struct face_inputs {
  int cells = 0;
  double dx = 0.0;                     // cell size, m
  const double* elevation = nullptr;   // bed elevation, m
  const double* retent_dep = nullptr;  // retention depth, m
  const double* dist_rough = nullptr;  // Manning n, s/m^(1/3)
  const int* dike_mask = nullptr;      // dike side bits, or null when the run has no dikes
  // Wetlands: type per cell (0 none) and the types' records [0..types]
  const int* wetland_mask = nullptr;
  const wetland_record* wetland_types = nullptr;
  // Snow: Darcy flow through the pack of a cell that holds snow
  const double* snow_we = nullptr;  // snow water equivalent per cell, m; null without snow
  double snow_darcy = 0.0;          // the pack's conductivity K, m/s; 0 off
  double snow_reynolds = 0.0;       // Reynolds number from which Manning takes over; 0 off
  // Overland lakes: lake per cell (oland_lake_new, 0 none) and records [1..]
  const int* olake_cell = nullptr;
  const olake_record* olakes = nullptr;
  // Channel lakes: lake per cell (lake_mask, 0 none) and levels per lake, m
  const int* chan_lake_cell = nullptr;
  const double* chan_lake_elev = nullptr;
};

// The values of a wetland type the face laws use, in model units.
struct wetland_law {
  double d0;  // depth up to which only the linear term acts, m
  double k1;  // conductivity of the linear term at d0, 1/s
  double p;   // depth above d0 over which the blend runs, m
  double k2;  // conductivity of the linear term above d0, 1/s
  double n;   // Manning n above d0, s/m^(1/3)
};
wetland_law wetland_law_of(const wetland_record& type);

// Discharge (m3/s) from cell i to its neighbour j through their shared face,
// positive from i to j; j = 0 gives 0 (dike sides are closed by the sweeps,
// which know the side). Water flows out of the higher-stage cell by its own
// depth above its retention depth and its own roughness; equal stages give
// exactly 0. With overland lakes (or else channel lakes) in the inputs, the
// lake stages and rules apply, and a face between two lake cells gives 0.
double face_flux(const face_inputs& in, const double* depth, int i, int j);

// flux[i] for cells 1..cells: the right face (neighbour rightcon[i], closed by
// dike bit 2) or the lower face (belowcon[i], dike bit 4). Without lakes and
// with channel lakes one static parallel loop, each iteration writing only
// its own cell's entry; with overland lakes one loop in cell order.
void ov_flux_sweep_x(const face_inputs& in, const double* depth, const int* rightcon, double* flux);
void ov_flux_sweep_y(const face_inputs& in, const double* depth, const int* belowcon, double* flux);

struct model_state;

// The run's dike side bits per cell, or null when the run has no dike map.
const int* active_dike_mask(const model_state& state);

// The face inputs of the run record: its grid, roughness and retention,
// dikes, wetlands, snow settings and lakes.
face_inputs face_inputs_of(const model_state& state);

// Side bits of a cell in the dike map.
constexpr int dike_top = 1;
constexpr int dike_right = 2;
constexpr int dike_bottom = 4;
constexpr int dike_left = 8;
