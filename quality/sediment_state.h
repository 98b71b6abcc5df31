#pragma once
// The overland sediment part of the quality record: the sediment cards, the
// particle classes, the per-cell erosion parameters, the class records of
// every cell and the run totals the summaries read. Volumes are m3 of
// sediment throughout.
//
// Per cell and class arrays are flat: cell c, class j at c x (classes + 1) + j,
// cells 0..cells (cell 0 stands for the world beyond the outlet face), class
// 0 holding the cell's totals.

#include <array>
#include <string>
#include <vector>

#include "core/safe_file.h"

// Fractions of one class in one cell: [1] share of the parent soil, [2] of
// the suspended load, [3] of the deposited layer ([0] unused).
using sed_fraction = std::array<double, 4>;
// Volumes of one class in one cell, m3: [1] eroded (net change of the parent
// soil, negative once soil is detached), [2] suspended, [3] deposited (loose
// sediment on the cell), [4] discharged through the outlet ([0] unused).
using sed_volume = std::array<double, 5>;

namespace sed_element {
constexpr int parent = 1;  // of a fraction record
constexpr int eroded = 1;
constexpr int suspended = 2;
constexpr int deposited = 3;
constexpr int discharged = 4;
}  // namespace sed_element

// Class totals of the run, m3, kept by the erosion step after every call.
struct sed_class_total {
  double eroded = 0.0;     // net change of the parent soil (negative when lost)
  double suspended = 0.0;  // carried by the water now
  double deposited = 0.0;  // lying loose on the cells now
  double routed = 0.0;     // gone through the outlet face
};

struct sediment_state {
  int on = 0;             // SOIL_EROSION given
  int mode = 1;           // 1 by class on the grid, 2 as constituents
  int formula = 0;        // transport-capacity formula, 1..6 (others give the unit discharge)
  int classes = 0;        // NUM_SED
  int record_length = 4;  // values in a class record
  int net_sed_volume = 0; // output flags, 1 when the card is given
  int vol_sed_susp = 0;
  int max_sed_flux = 0;
  int in_sed_loc = 0;
  int outlet_sed_tss = 0;
  int out_tss_loc = 0;
  int adjust_elev = 0;    // ADJUST_ELEV: the ground follows erosion and deposition
  double sand_size = 0.0;     // smallest sand diameter, mm
  double silt_size = 0.0;     // mm
  double clay_size = 0.0;     // mm
  double water_temp = 0.0;    // deg C, 0 for a negative card value
  double sed_porosity = 0.0;  // porosity of deposited sediment
  std::vector<double> spec_grav;          // per class [1..classes], specific gravity
  std::vector<double> part_diam;          // per class, diameter, mm
  std::vector<double> f_bind;             // per class, binding fraction
  std::vector<std::string> class_file;    // per class output name
  std::vector<double> splash_K;           // per cell [1..cells], rain splash coefficient
  std::vector<double> detach_coef;        // per cell, flow detachment coefficient
  std::vector<double> detach_exp;         // per cell, flow detachment exponent
  std::vector<double> detach_crit;        // per cell, critical shear stress, N/m2
  std::vector<double> sed_K;              // per cell, capacity multiplier of formulas 1 and 2
  std::vector<sed_fraction> sed_fract;    // per cell and class

  double viscosity = 0.0;                 // kinematic viscosity of water, m2/s
  std::vector<double> fall_velocity;      // per class, m/s
  std::vector<double> density;            // per class, particle density, g/m3
  std::vector<double> load_factor;        // per class, 1 / ((G - 1)^2 d sqrt(g)) of formula 1, s2/m2.5
  std::vector<int> sand;                  // per class, 1 for a sand class
  std::vector<int> sed_class;             // [1..classes]: the fine classes, then the sand classes
  int fine_count = 0;
  int sand_count = 0;
  std::vector<sed_volume> vol_sed;        // per cell and class
  std::vector<double> qsx;                // per cell, last capacity as upstream cell of its right face, m3
  std::vector<double> qsy;                // per cell, the same for its lower face, m3
  std::vector<int> channel_cells;         // per cell, non-zero where a channel runs
  std::vector<double> step_eroded;        // per cell and class, detached this step, m3
  std::vector<double> step_deposited;     // per cell and class, settled this step, m3
  // Per cell and class, carried across the cell's right (qsx) or lower (qsy)
  // face since the sediment-bound constituents last took them, m3, positive
  // towards that neighbour; sized only when constituents ride on the fines.
  std::vector<double> ov_sed_vol_qsx;
  std::vector<double> ov_sed_vol_qsy;
  std::vector<double> ov_qsvol;           // per cell and class, net deposition over the run, m3
  std::vector<double> ov_qsmax;           // per cell and class, flux out, m3/s (MAX_SED_FLUX)
  std::vector<double> ov_qsmax_total;     // per cell, flux out of every class, m3/s (MAX_SED_FLUX)
  std::vector<double> ov_net_sed;         // per cell, net deposition over the run, m3 (NET_SED_VOLUME)
  std::vector<double> ov_qsconc;          // per cell and class, suspended volume, m3 (VOL_SED_SUSP)
  std::vector<double> ov_conc;            // per cell, suspended volume of every class, m3 (VOL_SED_SUSP)
  std::vector<sed_class_total> totals;    // per class [1..classes]
  double outlet_step_volume = 0.0;        // through the outlet face in the last overland step, m3

  // Work of the erosion step, sized with the run.
  std::vector<double> slope_x;            // per cell, water-surface slope to the right
  std::vector<double> slope_y;            // per cell, water-surface slope downwards
  std::vector<double> outflow;            // per cell, magnitude of the outflows, m3/s
  std::vector<sed_class_total> block_totals;  // per sum block and class
  std::vector<int> block_bad;             // per sum block, 1 when a volume is not a number

  safe_file outlet_file;      // OUTLET_SED_FLUX: outlet sediment hydrograph
  safe_file outlet_tss_file;  // OUTLET_SED_TSS

  // Record of cell c and class j.
  sed_volume& vol(int c, int j) { return vol_sed[std::size_t(c) * (classes + 1) + j]; }
  const sed_volume& vol(int c, int j) const { return vol_sed[std::size_t(c) * (classes + 1) + j]; }
  sed_fraction& fract(int c, int j) { return sed_fract[std::size_t(c) * (classes + 1) + j]; }
  std::size_t at(int c, int j) const { return std::size_t(c) * (classes + 1) + j; }
};
