#pragma once
// The head solve of the aquifer: sinks of every cell, sub-steps where a soil
// column would be crossed too fast, outer passes that refresh the
// transmissivities, and the line successive over-relaxation of the implicit
// five-point system. Set-up sizes the work storage here; the solve itself
// allocates nothing.

#include <span>

#include "subsurface/groundwater_state.h"

struct grid_state;
template <class T>
class block_2d;
struct project_settings;
struct richards_soil;
struct ts_index_entry;

// Sweeps a line solve may take before it is called non-converging.
constexpr int gw_max_sweeps = 10000;
// Outer passes a sub-step may take before the solve stops the run.
constexpr int gw_max_passes = 1000;

// The line solver's settings from the cards. An absent GW_RELAX_COEFF is 1
// (line Gauss-Seidel); a factor outside (0, 2) would leave every sweep
// without change or let it diverge, and a GW_LSOR_CON of 0 or below can
// never be met, so both are refused naming the card (error 4000, false).
bool gw_settings_from(const project_settings& s, gw_settings& out);

// Sizes every per-cell array of gw and the line work for grid (zeroed, the
// storage and the widths left for the reader); false after a message and
// error 4000.
bool size_groundwater_state(groundwater_state& gw, const grid_state& grid);
// The line solver's work storage for cells cells on a grid of rows x cols.
bool size_line_work(gw_line_work& w, int cells, int rows, int cols);

// What the solve takes of the processes around the aquifer. Each switch says
// whether that term of the sinks exists in the run.
struct gw_couplings {
  int channels = 0;       // channels on: gw_stream_vol is a sink
  int lake_exchange = 0;  // channel lakes trading with the aquifer: lake_source is a sink
  int tile_drains = 0;    // pipe network with tile drains: vol_tile_grid is a sink
  richards_soil* richards = nullptr;  // the soil columns resting on the table, or null
  std::span<int> yes_exfil;           // per cell, set by the vadose adjustment (Richards only)
  std::span<const ts_index_entry> ts_index;  // time series of the table's wells
  double now = 0.0;                   // Julian days, for the wells' series
};

// Solves the heads [1..cells] in place by line successive over-relaxation,
// sweeping whole grid lines (mask [0..rows+1][0..cols+1], 0 outside the
// watershed) until a sweep changes no head by tolerance or more: lines along
// rows when orientation is 1, else along columns, first to last when
// direction is 1, else last to first; each line a tridiagonal system whose
// neighbours across the line enter with their heads as they stand. Returns
// the number of sweeps, or -1 after a sweep cap of gw_max_sweeps or a change
// that is not a number (message, error 4000).
int gw_lsor_solve(double* head, double relax, int rows, int cols, const gw_system& system,
                  double tolerance, gw_line_work& work, int direction, int orientation,
                  const block_2d<int>& mask);

// Advances every head over dt seconds. Returns the net sink volume of the
// interval, m3 (negative for a net withdrawal), summed in cell order;
// vadose_total receives the water the soil columns released to the aquifer
// (cm over the cells). A head that is not a number, outer passes or a line
// solve that do not converge stop the run (error 4000) and return 0. An
// interval of 0 s moves nothing: the exchange volumes wait for the next.
double gw_solve(groundwater_state& gw, const grid_state& grid, const gw_couplings& with,
                double dt, double& vadose_total);
