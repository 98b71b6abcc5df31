#pragma once
// The soil columns of the Richards method resting on the water table: node
// 1 at the surface, node n the water-table node whose top is the table.
// After each sub-step of the head solve the column is laid again on the new
// table; within a sub-step the column tells the solve what the table stores
// per metre it moves.

#include <vector>

struct groundwater_state;
struct richards_soil;

// Where the column stands.
struct vadose_levels {
  double ground = 0.0;          // m
  double head = 0.0;            // water table, m
  double bottom = 0.0;          // aquifer bottom, m
  double aquifer_delta_z = 0.1; // node thickness below the third soil layer, m
  int initial_nodes = 0;        // the column's node count at set-up
};

// Sizes the work storage of the adjustment to the columns' node arrays and
// keeps each column's node count at set-up; false after a message (4000).
bool size_vadose_work(groundwater_state& gw, const richards_soil& rs, int cells);

// Storage coefficient of cell's table for a sub-step of s seconds under
// sink (m/s, out of the aquifer +), and the number of column nodes the
// table crosses in it. A rising table fills the nodes above it with
// saturated water (and the surface above the column with water alone); a
// column of one or two nodes shortens s to the time of a rise of one node
// thickness, but not below 1 s.
int vadose_substep_storage(const richards_soil& rs, int cell, double ground, double head,
                           double sink, double& s, double& storage);

// Storage coefficient of cell's table after it moved from head_start to
// head: the saturated content of the node above the table for a small move,
// else the thickness-weighted mean over the nodes the move passed.
double layer_weighted_property(const richards_soil& rs, int cell, double ground, double head,
                               double head_start, double aquifer_delta_z);

// Lays cell's column again on the table: nodes of the soil layers down to
// the layer that holds the table, nodes of that layer's thickness down to
// the table, and the water-table node; keeps the water of the nodes that
// stay, spreads or collects the water of nodes that appear or vanish, holds
// contents at saturation and sets the saturated part hydrostatic. yes_exfil
// becomes 1 when the table stands at or above the ground, else 0; released
// is the water that left the column for the aquifer, cm (negative when the
// column took water): the water of the nodes above the table node before
// less after, so that the column and the aquifer book the same water
// whatever the new layout keeps, spreads or caps. old_dz and old_theta are
// work storage of the
// column's length. False, after a message naming the cell (error 4000),
// when the column would need more nodes than its arrays hold or its node
// thickness is not above 0.
bool adjust_vadose_column(richards_soil& rs, int cell, const vadose_levels& at,
                          std::vector<double>& old_dz, std::vector<double>& old_theta,
                          int& yes_exfil, double& released);
