#pragma once
// The saturated aquifer under the grid: its inputs, its per-cell state, the
// exchange volumes other processes leave for it, and the work storage of the
// head solve, all sized once at set-up (size_groundwater_state) so that no
// step allocates. Per-cell vectors hold cells + 1 entries, entry 0 unused.

#include <vector>

#include "core/parallel_team.h"

// Boundary types of the gwbound map; any other value is an active cell.
namespace gw_type {
constexpr int fixed_head = 2;       // head held; its flow to neighbours is booked in gw_flux
constexpr int dynamic_well = 3;     // refused: wells come from the WELL_TABLE table
constexpr int stream = 4;           // the only cells that trade with channel nodes
constexpr int fixed_untotalled = 5; // head held, left out of the totals
constexpr int static_flux = 6;      // takes its rate from the static-flux file
constexpr int lake = 7;             // the only cells that trade with channel lakes
}  // namespace gw_type

inline bool gw_fixed(int type) {
  return type == gw_type::fixed_head || type == gw_type::fixed_untotalled;
}

// A well of the WELL_TABLE table: its table id, and a constant rate or the
// time-series index of its rate. In the active list each entry is one well
// cell, and a table id may stand in several cells.
struct gw_well {
  int id = 0;           // table id (the well index map's id of its cells)
  int flag = 0;         // nonzero: the rate follows the time series ts_index
  double rate = 0.0;    // constant rate, m3/s, positive for withdrawal; 0 with a series
  int ts_index = 0;     // TIME_SERIES_INDEX id, 0 without a series
  int cell = 0;         // active list: the well's cell; 0 in the table list
  int cut_warned = 0;   // the warning of a cut well was given
};

// The line solver's settings, resolved from the project's cards
// (gw_settings_from).
struct gw_settings {
  double relax = 1.0;              // GW_RELAX_COEFF, over-relaxation factor in (0, 2)
  double tolerance = 0.00001;      // GW_LSOR_CON, largest head change of a converged sweep, m
  int line_orientation = 0;        // GW_LSOR_DIR: 1 lines along grid rows, else along columns
  double leakage_rate = 0.0;       // GW_LEAKAGE_RATE, to the deep aquifer, cm/h
  double aquifer_delta_z = 0.1;    // AQUIFER_DELTA_Z, aquifer node under a soil column, m
};

// Ints between the line counts of two sweeps, which threads write in turn:
// one cache line each.
constexpr std::size_t gw_done_stride = 16;

// Work storage of the line solver: the system laid out line by line in
// sweep order, slots 1..cells (slot 0 stands for "no neighbour" and holds a
// head of 0), so that a sweep reads its arrays in order whichever way the
// lines run. Sized at set-up; each solve lays it out afresh.
struct gw_line_work {
  std::vector<int> line_start;       // [1..lines + 1]: first slot of each grid line
  std::vector<int> slot_of;          // per cell, its slot
  std::vector<int> cell;             // per slot, its cell
  std::vector<int> side_a, side_b;   // per slot, the slots beside it: above/left, below/right
  std::vector<double> coef_a, coef_b;  // their coefficients, 1/s
  std::vector<double> base;          // right-hand side of the system, m/s
  std::vector<double> upper;         // coefficient to the next slot of the line, 1/s
  std::vector<double> factor;        // elimination factor of the slot on the line
  std::vector<double> inv_pivot;     // 1 / eliminated diagonal
  std::vector<double> head;          // heads in slot order, m
  std::vector<double> forward;       // per thread, forward-eliminated right-hand side of a line

  // The sweeps run one per thread, each a few lines behind the one before
  // it (see gw_lsor_solve.cpp).
  int parallel_min_slots = aquifer_cells_per_thread;  // slots a thread of the sweeps takes
  int teams = 1;                     // threads the per-thread rows below are sized for
  std::vector<double> saved;         // per thread, the heads a sweep overwrote, m
  std::vector<int> lines_done;       // [0..gw_max_sweeps] x gw_done_stride: lines each sweep has finished
  int sweeps_touched = 0;            // sweeps of the last solve that may have counted lines
  std::vector<double> sweep_largest; // [0..gw_max_sweeps]: largest head change of each sweep, m
  std::vector<int> sweep_not_number; // [0..gw_max_sweeps]: a change of the sweep was no number
  // What the runs' teams were, for the benches that must know a team formed.
  long long solves = 0;              // line solves since set-up
  long long team_solves = 0;         // of them, those whose sweeps ran on a team
  int widest_team = 1;               // most threads the sweeps of a solve were dealt
};

// The five-point system of one pass: per cell the face coefficients toward
// the cell above, left, right and below (1/s), the diagonal and the
// right-hand side (m/s).
struct gw_system {
  std::vector<double> above, left, right, below, diagonal, rhs;
};

// Water volumes the groundwater step books, m3: one record for the run and
// one for the event in hand, each added to once per step from its sums.
struct gw_totals {
  double xy_gain = 0.0;          // put in by the XY head points
  double xy_loss = 0.0;          // taken out by the XY head points
  double stream_to_gw = 0.0;     // from the channels into the aquifer
  double gw_to_stream = 0.0;     // from the aquifer into the channels
  double lake_to_gw = 0.0;       // from channel lakes into the aquifer
  double gw_to_lake = 0.0;       // from the aquifer into channel lakes
  double inputs = 0.0;           // net sink volume of the solves, into the aquifer +
  double recharge_depth = 0.0;   // recharge depths summed over cells and steps, cm
  double recharge = 0.0;         // recharge from the soil, every cell
  double recharge_input = 0.0;   // recharge of the cells the totals count (not type 5)
  double leakage = 0.0;          // to the deep aquifer
  double pumping = 0.0;          // withdrawn by wells and static fluxes (injection -)
  double pumping_asked = 0.0;    // what the wells and static fluxes asked for
  double head_boundary = 0.0;    // flow out of fixed-head cells into the aquifer
  double unsat_to_sat = 0.0;     // released by the soil zone into the aquifer
  double soil_side = 0.0;        // its counterpart on the soil side (the negative)
};

struct groundwater_state {
  gw_settings settings;
  std::vector<double> bottom_elev;    // aquifer bottom, m
  std::vector<int> gwbound;           // boundary type (gw_type)
  std::vector<double> gw_porosity;    // drainable porosity
  std::vector<double> gw_kx, gw_ky;   // hydraulic conductivity, m/s
  std::vector<double> gw_dx, gw_dy;   // cell width in x and y, m
  std::vector<double> gw_static_flux; // static-flux rate, m/s, positive out of the aquifer
  int wells_from_table = 0;           // wells come from the WELL_TABLE table
  std::vector<gw_well> wells;         // active wells, one per well cell, newest first
  int obs_wells = 0;                  // observation wells of OUT_WELL_LOCATION
  std::vector<int> well_row, well_column;  // [1..obs_wells], grid row and column

  std::vector<double> elevgw;         // water-table head, m
  std::vector<double> gw_storage;     // storage coefficient of the solve
  std::vector<double> gw_recharge;    // from the soil since the last step, cm
  std::vector<double> gw_stream_vol;  // stream exchange of the interval, m3, out of the aquifer +
  std::vector<double> lake_source;    // lake exchange of the interval, m3, out of the aquifer +
  std::vector<double> vol_tile_grid;  // taken by tile drains in the interval, m3
  std::vector<double> gw_surface_seep;  // moved onto the ponded surface since the last solve, m
  std::vector<double> gw_drop_vol;    // released by the soil column to the aquifer, cm
  std::vector<double> gw_flux;        // flow out of a fixed-head cell in the last solve, m3
  std::vector<double> gw_sink;        // net sink rate, m/s, out of the aquifer +
  std::vector<double> gw_pump_rate;   // well or static-flux rate of the interval, m/s
  std::vector<double> gw_pump_asked;  // the rate asked of it before any cut, m/s
  std::vector<double> gw_leakage;     // deep leakage rate of the interval, m/s
  std::vector<double> gw_thickness;   // saturated thickness of the pass, m
  std::vector<double> gw_tx, gw_ty;   // transmissivity of the pass, m2/s
  int direction = 1;                  // line sweep order: 1 first to last, 2 last to first
  std::vector<double> gw_head_before; // head before the solve (Green and Ampt soils), m
  std::vector<double> gw_wt_depth;    // depth to the table as last booked (Green and Ampt), cm
  std::vector<double> recharge_cum;   // recharge of the run, cm
  std::vector<double> recharge_cum_map;  // recharge_cum at the last map time, cm
  std::vector<double> recharge_inc;   // recharge since the last map time, cm
  double volume_start = 0.0;          // saturated storage at the start, m3
  double saturated_storage = 0.0;     // saturated storage after the last step, m3
  double stored_over_porosity = 0.0;  // what the solve stored beyond the porosity's share, m3
  double unsat_storage = 0.0;         // Richards columns above the table after the last step, m3
  int any_exfil = 0;                  // a cell's table stood at the ground in the last step
  int overland_started = 0;           // the first exfiltration started the surface clocks
  gw_totals run;                      // totals of the run
  gw_totals event;                    // totals of the event in hand
  int event_seen = 0;                 // event the event totals belong to
  double stream_out_at_event = 0.0;   // stream exchange not yet booked when that event began,
  double stream_into_at_event = 0.0;  // out of and into the aquifer, m3

  // Stream and lake exchange (gw_stream_exchange)
  std::vector<double> entry_rate;     // per grid-stream entry (gst_index), m2/s
  std::vector<double> lake_seep_rate; // per cell, m2/s, into the lake +
  std::vector<double> node_scale;     // per node address, share of a loss the node can give

  // Work storage of the solve
  gw_system system;
  gw_line_work line;
  std::vector<double> head_start;     // head at the start of the sub-step, m
  std::vector<double> head_iter;      // head of the last pass, m
  std::vector<double> sink_volume;    // per cell, the interval's sink, m3, summed in cell order
  std::vector<double> book_a, book_b, book_c;  // per cell, volumes a step books, m3, summed in cell order
  std::vector<double> column_dz, column_theta;  // vadose adjustment: the old column, per node
  std::vector<int> initial_nodes;     // per cell, the soil column's node count at set-up
  int sweeps = 0;                     // line sweeps of the last solve
  int passes = 0;                     // outer passes of the last solve
  // Cells a thread of the aquifer's loops takes: a grid of fewer than twice
  // as many solves on the calling thread, where starting the threads would
  // cost more than the work.
  int parallel_min_cells = aquifer_cells_per_thread;
};
