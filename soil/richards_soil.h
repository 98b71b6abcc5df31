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
  std::vector<int> bound_type;      // lower boundary of the column
  std::vector<int> inf_rich;        // the cell infiltrates this step
  std::vector<double> elevgw;       // water-table elevation, m
  std::vector<double> gw_flux;      // exchange with the groundwater, cm
  std::vector<double> bottom_elev;  // aquifer bottom, m
  double volchange = 0.0;           // VOLCHANGE change of column water, m3
  double masserror = 0.0;           // MASSERROR, m3
  double root_zone_water = 0.0;     // at the start, m3
  double column_water = 0.0;        // at the start, m3

  // Cell c's column as the relations take it.
  soil_column column(int c);
};

// Fills n1, n2 and n3 from the layer depths and node thicknesses (the
// remainders dropped; the deepest layer gets one node more, one less with a
// water-table bottom).
void richards_node_counts(richards_soil_type& t, int water_table);

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
