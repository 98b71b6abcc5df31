#pragma once
// The Richards method's soil: the soil-type table (three layers per type) and
// the per-cell columns the solver advances. A column holds nodes 1..n below
// the surface slot 0, plus one spare slot; every per-node array is one flat
// block of (cells + 1) rows of `row` doubles, sized per run so that a later
// run with longer columns gets its own room. Heads and thicknesses are in cm,
// conductivities in the table's unit (cm/h).

#include <array>
#include <span>
#include <string>
#include <vector>

#include "core/parallel_team.h"
#include "soil/soil_relations.h"

class table_file;
struct model_state;

// One soil type; layers 1..3, slot 0 unused.
struct richards_soil_type {
  int id = 0;                         // soil-type id of the index map
  std::array<double, 4> ks{};         // saturated conductivity, cm/h
  std::array<double, 4> thetas{};     // saturated content
  std::array<double, 4> thetar{};     // residual content
  std::array<double, 4> thetai{};     // initial content
  std::array<double, 4> thetawp{};    // wilting point
  std::array<double, 4> thetafc{};    // field capacity
  std::array<double, 4> depth{};      // layer depth d, cm
  std::array<double, 4> dz{};         // node thickness, cm
  std::array<double, 4> lam{};        // Brooks-Corey pore-size index
  std::array<double, 4> bp{};         // Brooks-Corey bubbling head, cm, negative
  std::array<double, 4> alpha{};      // Havercamp retention alpha, cm
  std::array<double, 4> beta{};       // Havercamp retention exponent
  std::array<double, 4> ahav{};       // Havercamp conductivity A, cm^B
  std::array<double, 4> bhav{};       // Havercamp conductivity exponent B
  double albedo = 0.0;                // long-term runs: fraction of shortwave reflected
  double veg_height = 0.0;            // long-term runs: vegetation height, m
  double trans_coeff = 0.0;           // long-term runs: canopy transmission coefficient
  double canopy_resist = 0.0;         // long-term runs: canopy resistance, s/m

  int n1 = 0;  // last node of layer 1
  int n2 = 0;  // last node of layer 2
  int n3 = 0;  // last node of the column
};

struct richards_soil {
  int family = soil_family_none;        // RICHARDS_C_OPTION: 1 Brooks-Corey, 2 Havercamp
  int long_term = 0;                    // the table carries the four evapotranspiration values
  std::vector<richards_soil_type> types;  // [0..count-1], in file order
  std::vector<int> soil_type;           // per cell [1..cells]: index into types

  int row = 0;    // doubles per cell of the per-node arrays: largest node count + 2
  int cells = 0;  // cells the per-node arrays hold
  // Per node, cell c's node j at [c * row + j]
  std::vector<double> phead;    // PHEAD pressure head, cm
  std::vector<double> khead;    // KHEAD relative conductivity
  std::vector<double> theta;    // THETA water content
  std::vector<double> watcap;   // WATCAP moisture capacity, 1/cm
  std::vector<double> watflux;  // WATFLUX flux across the node's top, cm/h
  std::vector<double> source;   // SOURCE root uptake, 1/h
  std::vector<double> dz;       // DZ node thickness, cm
  std::vector<double> ks;       // KS saturated conductivity, cm/h
  std::vector<double> thetas;   // THETAS
  std::vector<double> thetar;   // THETAR
  std::vector<double> thetawp;  // THETAWP
  std::vector<double> thetafc;  // THETAFC
  std::vector<double> lam;      // LAM (Brooks-Corey)
  std::vector<double> bp;       // BP bubbling head, cm (Brooks-Corey)
  std::vector<double> thehac;   // thehac content at the threshold head (Brooks-Corey)
  std::vector<double> bchc;     // BChc threshold head, cm (Brooks-Corey)
  std::vector<double> ahav;     // AHAV (Havercamp)
  std::vector<double> bhav;     // BHAV (Havercamp)
  std::vector<double> alpha;    // ALPHA, cm (Havercamp)
  std::vector<double> beta;     // BETA (Havercamp)
  // Per cell [1..cells]
  std::vector<int> numcells;        // node count
  std::vector<double> root_depth;   // m
  std::vector<double> dtr;          // sub-step, h
  std::vector<double> avgks;        // depth-weighted Ks of the soil layers, cm/h
  std::vector<double> totaldz;      // depth of the soil layers, cm
  std::vector<int> bound_type;      // top boundary: 1 flux, 2 head, 3 saturated head
  std::vector<double> inf_rich;     // top flux since the run began, m
  std::vector<double> event_drain;  // drained through the column bottom this event, cm
  std::vector<double> upward;       // last call: evaporated and upward top flux, m
  std::vector<double> elevgw;       // water-table elevation, m
  std::vector<double> gw_flux;      // exchange with the groundwater, cm
  std::vector<double> bottom_elev;  // aquifer bottom, m
  // Columns on a table: the deepest node a column may reach, and the first
  // of the nearly impermeable nodes that close it under the aquifer (0 when
  // it has none)
  std::vector<int> last_node;
  std::vector<int> sealed_from;
  double volchange = 0.0;           // VOLCHANGE change of column water, m3
  double masserror = 0.0;           // MASSERROR, m3
  double root_zone_water = 0.0;     // at the start, m3
  double column_water = 0.0;        // at the start, m3

  // Solver settings, copied from the run settings at set-up
  int k_option = 2;            // internode conductivity: 1 arithmetic, 2 geometric
  double weight = 1.0;         // upper node's weight in the arithmetic mean
  int upper_option = 1;        // surface slot under a head boundary: 2 green_ampt, 3 average
  int iter_max = 1;            // iterations under a flux boundary; 0 skips the solve
  double dtheta_max = 0.0025;  // largest content change per sub-step
  int water_table_bottom = 0;  // columns end on the water table instead of draining freely
  int keep_soil_contents = 0;  // GW_ASSIGN_THETA: on a table the soil layers keep their own contents

  // Per-thread work rows of the solver, each `row` doubles, sized at set-up
  // so the time loop allocates nothing.
  struct work_rows {
    std::vector<double> lower, diag, upper, rhs, kint, head0, theta0, head_iter;
  };
  std::vector<work_rows> work;
  // Columns a thread takes: a column takes some microseconds, and waking the
  // threads for a handful costs more than it saves (far more on a machine
  // busy with other work).
  int parallel_min_columns = columns_per_thread;

  // The event's column balance, m3 (cells with more than one node)
  double event_initial = 0.0;    // column water at the event start
  double event_final = 0.0;      // column water at the event end
  double event_net = 0.0;        // infiltration less direct evaporation
  double event_recharge = 0.0;   // drained through the column bottoms or given to the aquifer
  double event_error = 0.0;      // percent of event_initial
  int event_cells_start = 0;
  int event_cells_end = 0;

  // Cell c's column as the relations take it.
  soil_column column(int c);
};

// Fills n1, n2 and n3 from the layer depths and node thicknesses (the
// remainders dropped; the deepest layer gets one node more, one less with a
// water-table bottom).
void richards_node_counts(richards_soil_type& t, int water_table);

// The node at `at` of the per-node arrays takes the soil values of layer
// `layer` of t: conductivity, contents and the family's parameters (not its
// content or thickness).
void richards_fill_soil(richards_soil& rs, const richards_soil_type& t, std::size_t at,
                        int layer);

// Thickness-weighted harmonic mean of two nodes' conductivities.
double richards_interface_ks(double dz_a, double ks_a, double dz_b, double ks_b);

// Reads the soil table from file: the plain form from its first line, or the
// keyword form of the mapping table (keyword = 1) from just after its section
// line. Fills rs.types and, from the per-cell soil-type ids soil_type
// [1..cells], rs.soil_type and rs.numcells. Returns the row length of the
// per-node arrays (2 with no cells), or -1 after a message naming the file,
// line and soil id (error 4000).
int read_soil_table(table_file& file, int family, int long_term, int keyword,
                    std::span<const int> soil_type, richards_soil& rs);

// Sizes the per-node and per-cell arrays of rs for cells cells of rs.row
// doubles. False after a message and error 4000.
bool alloc_richards_soil(richards_soil& rs, int cells);

// Fills every column with its initial state, adds up the initial water and
// writes the two initial-volume lines to the summary file. Columns without a
// water-table bottom only.
void richards_initial_volumes(model_state& state);

// The Richards soil set-up of a run: the table, the columns and their state.
void init_richards_soil(model_state& state);

// Sizes the solver's work rows for threads threads. False after a message
// and error 4000.
bool alloc_richards_work(richards_soil& rs, int threads);

// Advances the column of every cell over dt seconds: takes the ponded
// surface water in, drains the bottom and books the infiltration. Returns
// the water that left the surface upward (evaporated, or a negative top
// flux), m summed over the cells in cell order. A NaN content or flux stops
// the run naming the cell and node (error 4000).
double richards_solve(model_state& state, double dt);

// The sub-step after one that left remaining h of the call's interval h,
// when the content change allows allowed h.
double richards_next_substep(double remaining, double interval, double allowed);

// Water of cell c's column over its nodes 1..n-1, cm; a column of one node
// (the water table at the surface) holds none.
double richards_cell_water(const richards_soil& rs, int c);

// Water of the columns of cells 1..cells over their nodes 1..n-1, m3 on
// cells of cell_area m2, added in cell order; a column of one node (the
// water table at the surface) holds none. columns, when given, receives the
// number of columns of more than one node.
double richards_column_volume(const richards_soil& rs, int cells, double cell_area,
                              int* columns = nullptr);

// Mean of a per-node value of cell c's column (rs.theta, rs.thetas) over its
// top depth cm, each node weighted by the part of its thickness inside it.
// Only the nodes holding the column's water count (1..n-1); below them a
// column on the water table is saturated and takes its table node's value,
// while under a freely draining one the mean is that of the nodes covered.
double richards_top_mean(const richards_soil& rs, int c, const std::vector<double>& value,
                         double depth);

// The water the columns start the run with: the root-zone water (long-term
// runs, with each cell's initial content the root zone's mean) and the
// column water, written to the summary file as the two initial-volume lines.
void richards_starting_water(model_state& state);

// The soil-moisture hot start of the columns: every node of cell c, surface
// slot included, takes the content theta[c] (held at the node's saturated
// content), its head from it, and the column its properties; then the
// starting water again. A content at or so near a node's residual content
// that it has no finite head: false after a message naming file and cell
// (error 4000).
bool richards_hotstart(model_state& state, std::span<const double> theta, const char* file);

// The event's column balance: at its start the column water and the columns
// counted, the event's drainage and evaporation cleared; at its end the
// final water, the recharge, the net infiltration and the error in percent
// of the starting water (0, with a note in the summary file, when the
// columns hold none). The end reads the event's infiltrated volume.
void start_richards_balance(model_state& state);
void close_richards_balance(model_state& state);
