#pragma once
// The storm-sewer and tile-drain pipe network: superjunctions (manholes,
// inlets, outlets) joined by superlinks, each a chain of pipes between
// numbered nodes. The reader fills the inputs and sizes everything; the
// step's work storage is sized at its first call of a run and reused, so no
// later call allocates.

#include <cstddef>
#include <vector>

#include "subsurface/junction_solver.h"

// A [row][column] table of one block, both indices from 0 to the last given
// at sizing, zeroed. Pipe tables are indexed [node or pipe][superlink].
template <class T>
struct slink_table {
  int rows = 0;  // last row index
  int cols = 0;  // last column index
  std::vector<T> v;

  void size(int last_row, int last_col) {
    rows = last_row;
    cols = last_col;
    v.assign(std::size_t(last_row + 1) * std::size_t(last_col + 1), T{});
  }
  T& operator()(int i, int k) { return v[std::size_t(i) * std::size_t(cols + 1) + std::size_t(k)]; }
  const T& operator()(int i, int k) const {
    return v[std::size_t(i) * std::size_t(cols + 1) + std::size_t(k)];
  }
  bool empty() const { return v.empty(); }
};

// Inlet types of a superjunction or a node.
namespace inlet {
constexpr int none = 0;
constexpr int max_grates = 9;         // 1..9: that many grate inlets
constexpr int bound_from = 11;        // 11 and above: a fixed-head junction
constexpr int outlet_cell = 888;      // discharges onto its own cell
constexpr int outlet_channel = 999;   // discharges into a channel node
}  // namespace inlet

// Pipe sections.
namespace pipe_section {
constexpr int circular = 1;
constexpr int arch = 2;
constexpr int rectangular = 3;
}  // namespace pipe_section

struct superlink_network {
  // Counts
  int n_slink = 0;       // superlinks (CONNECT cards)
  int n_sjunc = 0;       // superjunctions (SJUNC cards)
  int max_pipes = 0;     // most input pipes in one superlink
  int dim = 0;           // largest count + 2 (+ 2 more when graded)
  int superlink_leaky = 0;  // some pipe takes groundwater

  // Per superlink [1..n_slink]
  std::vector<int> us_sjunc, ds_sjunc;  // superjunctions at its ends
  std::vector<int> nnodes;              // input pipes
  std::vector<int> superlink_cnodes;    // computational pipes
  std::vector<double> us_Zinv, ds_Zinv; // inverts of its end nodes, m

  // Per superjunction [1..n_sjunc]
  std::vector<int> bound;                      // 1: fixed head
  std::vector<int> superjunct_i, superjunct_j; // grid row and column, or channel link and node
  std::vector<double> As_sjunc;                // plan area, m2
  std::vector<double> grate_sidelength_sjunc;  // m
  std::vector<double> grate_dia_sjunc;         // m
  std::vector<double> ground_elev;             // m
  std::vector<double> junc_bottom;             // m
  std::vector<double> sjunc_head;              // water-surface elevation, m
  std::vector<double> Q_junc;                  // inflow, m3/s

  // Per [node or pipe][superlink]; row 0 of inlet_type holds the
  // superjunctions' inlet types by superjunction number.
  slink_table<int> sec_type, inlet_type, superlink_node_i, superlink_node_j;
  slink_table<double> As;                     // node plan area, m2
  slink_table<double> grate_sidelength_node;  // m
  slink_table<double> grate_dia_node;         // m
  slink_table<double> slink_node_Zinv;        // node invert, m
  slink_table<double> slink_node_depth;       // node water depth, m
  slink_table<double> M_n;                    // Manning n, s/m^(1/3)
  slink_table<double> S0;                     // bed slope
  slink_table<double> diameter;               // m
  slink_table<double> width;                  // m
  slink_table<double> node_ground_elev;       // m
  slink_table<double> superlink_pipe_conductivity;  // cm/h
  slink_table<double> drain_spacing;          // m
  slink_table<double> dxc;                    // computational pipe length, m
  slink_table<double> Q_node;                 // node lateral inflow, m3/s
  slink_table<double> dx;                     // input pipe length, m
  slink_table<int> otc_node, otc_pipe;        // computational number of each input node, pipe
  // Per computational pipe, the input pipe that holds it (itself unless
  // graded under SUPERLINK_C_OPT).
  slink_table<int> pipe_input;

  // Grid-pipe lists: cells drained by leaky pipes, [cell entry][k]
  int gpi_cells = 0;                  // PIPECELLS
  int gpi_max_pipes = 0;              // most pipes draining one cell
  std::vector<int> gpi_ncellsingrid;  // pipes draining each listed cell
  slink_table<int> gpi_link, gpi_node, gpi_gnum;
  slink_table<double> gpi_pct;        // share of the pipe in the cell
};

// The network's links to the grid and the channels, made at set-up.
struct superlink_links {
  std::vector<int> superlink_junc_gnum;       // per superjunction, its cell
  slink_table<int> superlink_node_gnum;       // per [node][superlink], its cell (0 none)
  slink_table<double> flow_to_superlink;      // overland flow magnitude at a node's cell, m2/s; row 0 per superjunction
  slink_table<double> superlink_tile_flow;    // groundwater into a pipe node, m3/s
  std::vector<int> superlink_chan_con_node, superlink_chan_con_link;  // outlet's channel node, link
  std::vector<double> superlink_chan_stage;   // channel water surface at an outlet, m
  std::vector<double> superlink_chan_vol;     // delivered to the channel, m3
  std::vector<double> superlink_surface_vol;  // put back on the surface, m3
  std::vector<double> Q_tile_grid;            // per cell, aquifer to tile drains, m3/s
  std::vector<double> vol_tile_grid;          // per cell, since the last groundwater solve, m3
  std::vector<double> tilerecharge_to_gw;     // per cell, m3
};

// Work storage of the step, sized at the first call of a run.
struct superlink_work {
  int ready = 0;  // sized for this network
  // [pipe or node][superlink]
  slink_table<double> Q, ldepth, A, hyd_R, top_width, wet_per, l_veloc, n_veloc, C, Ac;
  // The depth a pipe's section is taken at, m: its upstream node's, less
  // the local loss where the flow enters the pipe through one.
  slink_table<double> pipe_depth;
  slink_table<double> a, b, c, P, D, E, T, U, V, W, O, X, Y, Z;
  // Per superlink: end flows, end relations, end areas and link coefficients
  std::vector<double> Q_u, Q_d;
  std::vector<double> kappa_u, lambda_u, mu_u, kappa_d, lambda_d, mu_d;
  std::vector<double> A_u, A_d;
  std::vector<double> alpha_u, beta_u, gamma_u, alpha_d, beta_d, gamma_d;
  // Per superlink: the water its pipes and nodes hold by their depths at
  // the end of its last call, and what it still owes its downstream end
  // because the linearised continuity took up more (or less) than that
  // change, m3.
  std::vector<double> held, owed;
  std::vector<double> fixed_head;  // per superjunction
  std::vector<double> head_before; // per superjunction, its head before the solve, m
  std::vector<int> junction_link;  // per superjunction, the superlink that pays its debts
  junction_solver solver;          // the junction system and its factors
  std::vector<double> rhs, heads;  // its right-hand side and solution, per superjunction
  // Depths last found by the section routines, kept between calls.
  double yc = 0.0, yn = 0.0;
};

// Network totals and the step's start flags.
struct superlink_totals {
  double superlink_vol_initial = 0.0;  // network volume at the second call, m3
  // The film of the depth floor the pipes hold before any water comes in,
  // m3: the run's books start from it.
  double superlink_vol_start = 0.0;
  double superlink_vol_in = 0.0;       // into the network in the last call, m3
  double superlink_vol_out = 0.0;      // out of the network in the last call, m3
  double superlink_vol_now = 0.0;      // now in the network, m3
  // A fixed-head junction is the world outside the network: what the
  // network drew from or gave to such junctions in the last call, m3.
  double fixed_head_in = 0.0;
  double fixed_head_out = 0.0;
  int superlink_surface_flag = 0;      // an outlet put water on a cell
  int superlink_chan_flag = 0;         // an outlet delivered to a channel
};

// Volumes the drain exchange moved, m3; kept for the run and for the event.
struct drain_totals {
  double gw_to_tile = 0.0;         // groundwater into tile drains
  double overland_to_drains = 0.0; // taken by the grates
  double drains_to_channels = 0.0; // delivered by outlets into channel nodes
  double drains_to_overland = 0.0; // put back on the surface
  double from_fixed_heads = 0.0;   // drawn from fixed-head junctions
  double to_fixed_heads = 0.0;     // given to fixed-head junctions
};

struct superlink_state {
  drain_totals run_totals, event_totals;
  int event_seen = 0;   // the event the event totals belong to
  int tile_result = 0;  // some pipe lay below the water table at the last exchange

  superlink_network net;
  superlink_links links;
  superlink_work work;
  superlink_totals totals;
  int calls = 0;  // calls of the step this run (0 before the first)
  int event_clock = 0;  // the network runs on the event's clock (raised at an event start)
  // Output location lists: superjunctions, and superlink node pairs
  std::vector<int> sjunc;           // [1..count]
  std::vector<int> sl_link, sl_node;  // [1..count]
};
