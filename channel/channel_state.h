#pragma once
// The channel subsystem's part of the run record: the link/node network the
// other subsystems read, its cross-section tables, structures, pumps and
// channel lakes, the grid-stream lists and the hydrograph locations.
//
// Links are numbered 1..links; per-link vectors have links + 1 entries. Node
// arrays are flat: node j of link l sits at l x (max_nodes + 1) + j (the
// channel address of a point input). They hold (links + 2) x (max_nodes + 1)
// entries, so that point max_nodes + 1 of a link (read past the last point of
// a lake or structure link) is a slot of its own and reads 0.

#include <algorithm>
#include <array>
#include <cstddef>
#include <vector>

#include "core/parallel_team.h"
#include "core/safe_file.h"

struct time_series;
struct elev_series;

// Link type bits.
namespace link_bit {
constexpr int subsurface = 1;
constexpr int erodible = 2;
constexpr int trapezoid = 4;
constexpr int breakpoint = 8;
constexpr int two_stage = 16;
constexpr int lake = 32;
constexpr int structure = 64;
constexpr int overtaken = 128;
constexpr int shaped = trapezoid | breakpoint | two_stage;  // links whose points bound nodes
}  // namespace link_bit

// One hydraulic structure element (STRUCTTYPE and the cards below it).
struct struct_element {
  int type = 0;               // 1 weir, 2 sag weir, 3 round, 4 oval, 5 box culvert,
                              // 6 rating curve, 7 scheduled release, 8 rule curve
  double length = 0.0;        // LENGTH or CREST_LENGTH, m
  double up_invert = 0.0;     // UPINVERT or CREST_LOW_ELEV, m
  double down_invert = 0.0;   // DOWNINVERT, m
  double slope = 0.0;         // SLOPE, m/m
  double coeff_forward = 0.0; // INLET_DISCH_COEFF or DISCHARGE_COEFF_FORWARD
  double coeff_reverse = 0.0; // REV_FLOW_DISCH_COEFF or DISCHARGE_COEFF_REVERSE
  double coeff_inlet = 0.0;   // inlet-control coefficient, set before the first step
  double width = 0.0;         // WIDTH, DIAMETER, A_VALUE or STEEP_SLOPE
  double height = 0.0;        // HEIGHT, B_VALUE or SHALLOW_SLOPE
  double crest_low_loc = 0.0; // CREST_LOW_LOC
  double rough_coeff = 0.0;   // ROUGH_COEFF
  const elev_series* es = nullptr;  // rating and rule curves
  const time_series* ts = nullptr;  // scheduled release
};

// The elements of one structure link: first..last (an empty range is
// first 10000, last 0).
struct struct_link_range {
  int count = 0;      // NUMSTRUCTS
  int first = 10000;
  int last = 0;
};

// One PUMPTO card.
struct pump_def {
  int first = 0;        // first integer of the card
  int second = 0;       // second integer (1 when the card's link has type exactly 4)
  int flow_type = 0;    // 0 elevation series (ELEV), 1 time series (TS)
  const time_series* ts = nullptr;
  const elev_series* es = nullptr;
};

struct channel_state {
  int step_flag = 1;  // channel step flag, cleared by the channel step
  int option = 2;     // channel option, set again by the channel set-up

  // Header of the channel input file (stored, not used by the routing)
  double alpha = 0.0, beta = 0.0, theta = 0.0;

  int links = 0;      // links of the network, from 1
  int max_nodes = 0;  // MAXNODES: largest node count of a link
  int max_dep = 0;    // largest upstream count of a CONNECT card

  // Per link [1..links]
  std::vector<int> ltype;      // link type bits
  std::vector<int> ldex;       // own number (trapezoid, break-point, structure), lake number, else 0
  std::vector<int> ndep;       // upstream links, 0 for a head link
  std::vector<int> dslink;     // downstream link, 0 at the outlet
  std::vector<int> uslinks;    // upstream links: [link x (max_dep + 1) + k], k = 1..ndep
  std::vector<int> nx1;        // points given by NODES (2 for a structure link)
  std::vector<int> nx;         // computational nodes
  std::vector<int> og_nx1;     // nx as read
  std::vector<int> bplink;     // running number of an erodible break-point link, else 0
  std::vector<int> interp_list;  // 1: tables interpolated between two cross-sections
  std::vector<int> lake2link;  // lake number of a lake link
  std::vector<double> inv_mannings_n;  // 1 / Manning n, m^(1/3)/s
  std::vector<double> dx;      // node spacing, m
  std::vector<double> link_krb;  // K_RIVER of the link, bed conductivity
  std::vector<double> link_mrb;  // M_RIVER of the link, bed thickness, m

  // Per node address (node_address)
  std::vector<double> bel;     // bed (thalweg) elevation, m
  std::vector<double> yp;      // water-surface elevation (stage), m
  std::vector<double> qp;      // discharge towards the next node, m3/s
  std::vector<double> fr;      // Froude number
  std::vector<double> qp_vol;  // discharge volume, m3
  std::vector<double> qp_vol_sed;
  std::vector<double> bottom;        // trapezoid bottom width, m
  std::vector<double> bankfull_dep;  // bank-full depth, m
  std::vector<double> sslope;        // side slope, horizontal per vertical
  std::vector<double> sslope2;       // side slope above bank-full (two-stage)
  std::vector<double> max_eros;      // largest bed erosion depth, m
  std::vector<double> lnx, lny;      // node coordinates
  std::vector<double> krb, mrb;      // bed conductivity and thickness (stream-aquifer exchange)
  std::vector<int> table_num;        // break-point table of the node
  std::vector<int> got_xsec;         // link type stored by an XSEC card at the node
  std::vector<double> pct_flooded;   // share of the node's cell under a channel lake
  std::vector<const time_series*> stream_pointsource;  // POINTSOURCE series
  std::vector<int> stream_pumps;     // PUMPTO: index into pumps + 1, 0 none
  std::vector<double> yp_max_flood;
  std::vector<double> chan_depth;    // depth, m
  std::vector<double> area;          // flow area, m2
  std::vector<double> area_old;
  std::vector<double> conv;          // conveyance A R^(2/3) / n, m3/s
  std::vector<double> dconv;         // d conveyance / d depth
  std::vector<double> stdummy;
  std::vector<double> topw;          // top width, m
  std::vector<double> qlat;          // lateral inflow per metre of channel, m2/s
  std::vector<double> qriv;          // stream-aquifer exchange, m2/s
  std::vector<int> con_vect;         // grid cell of the node

  // Break-point tables [level][table], stored per table: bp_index(k, t)
  int tables = 0;     // number of tables
  int levels = 0;     // largest NUM_INTERP
  std::vector<double> xarea;  // area below level k, m2
  std::vector<double> xtw;    // top width at level k, m
  std::vector<double> xk;     // conveyance at level k
  std::vector<double> xp;     // wetted perimeter at level k, m
  std::vector<int> numpairs;  // point pairs per table [1..tables]
  std::vector<int> numhts;    // levels per table
  std::vector<double> ht_spc; // level spacing per table, m
  // Erodible break-point links: point tables per [bplink][node][pair]
  int erodible_bp_links = 0;
  int max_pairs = 0;          // largest NPAIRS
  std::vector<double> xbp_lnn, ybp_lnn;
  std::vector<double> max_yp, ch_sand_vol0;  // [bplink][node]
  int xsec_exceeded = 0;      // a node's state lay above its table's top level

  // Structures and pumps
  std::vector<struct_element> elements;       // [1..element count]
  std::vector<struct_link_range> struct_range;  // per link, when a structure link exists
  std::vector<pump_def> pumps;                // PUMPTO cards in file order

  // Channel lakes [1..lake_count]
  int channel_lakes = 0;     // the network has channel lakes (channel-lake flag)
  int lake_count = 0;
  int lake_loss = 0;         // some lake has an MLAKE card
  int max_lake_points = 0;   // largest NUMPTS
  std::vector<int> numpts, lake_cells, calc_loss;
  std::vector<double> minwse, initwse, maxwse, lake_volume, cumulative_lake_evap,
      prevlake_volume, lake_volume_last_chan, lake_area, lake_elev, lake_in_dv, lake_out_dv,
      mlake;
  std::vector<int> lake_search_row, lake_search_col;  // [lake x (max_lake_points + 1) + i]
  std::vector<int> lake_mask;         // per grid cell [1..cells]: lake number, 0 none
  std::vector<int> new_flooded_grid;  // per grid cell
  std::vector<double> lake_source;    // per grid cell, lake losses
  // The network as read, restored when a lake releases links
  std::vector<int> og_ndep, og_dslink, og_ltype, og_uslinks;  // og_uslinks [link x 5 + k], k = 1..4
  int restart_mark = 0;      // channel clock restarts from the current time
  int lakes_start_high = 0;  // a lake's first initial value exceeds its second (lake set-up)
  int lake_start_flag = 0;   // channel flag: raised with the restart mark for such lakes
  // Lake extents, evaporation and pumps
  int lake_extent_warned = 0;      // the maximum-extent warning was printed (once a run)
  int lake_map_changed = 0;        // an extent update took or gave back a cell (lake-map flag)
  double lake_evaporation_volume = 0.0, event_lake_evaporation_volume = 0.0;  // m3
  double lake_inflow_volume = 0.0, event_lake_inflow_volume = 0.0;    // lake_in_dv folded, m3
  double lake_outflow_volume = 0.0, event_lake_outflow_volume = 0.0;  // lake_out_dv folded, m3
  double initial_lake_volume = 0.0;  // channel lakes at the start of the run, m3
  double event_start_lake_volume = 0.0, event_end_lake_volume = 0.0;  // m3

  // Grid-stream lists: stream cell i = 1..stream_cells, entry k = 1..gst_max
  int stream_cells = 0;
  int gst_max = 0;
  std::vector<int> gst_ncellsingrid;  // entries per stream cell
  std::vector<int> gst_link, gst_node, gst_gnum, gst_row, gst_col;  // [gst_index(i, k)]
  std::vector<double> gst_pct, gst_sac_weight, gst_vlat;
  // Per entry, the water its cell's aquifer traded with the node since the
  // channel constituent step last took it (m3, into the stream +); sized
  // only with channel constituents and stream-aquifer exchange.
  std::vector<double> gst_qriv_vol;

  // Location lists
  int hyd_locations = 0;            // IN_HYD_LOCATION locations
  std::vector<int> hyd_loc_link;    // link of location i [1..hyd_locations]
  std::vector<int> hyd_loc_node;    // node of location i
  int gwflux_locations = 0;         // IN_GWFLUX_LOCATION
  std::vector<int> gwflux_link, gwflux_node;
  int cell_locations = 0;           // IN_CELLDEPDIS_LOCATION
  std::vector<int> cell_loc_row, cell_loc_col, cell_loc_number;
  // The ADE's face flows swing between a step that sweeps x first and one
  // that sweeps y first; a listed cell reports the mean over such a pair.
  std::vector<double> cell_loc_qx, cell_loc_qy;  // reported right and lower face flows, m3/s
  std::vector<double> cell_loc_vx, cell_loc_vy;  // volumes of the routed step before, m3
  double cell_loc_dt = 0.0;  // that step's length, s; 0 when there is none
  int cell_loc_pair = 0;     // the reported flows are pair means

  int chan_has_water = 0;    // some node holds water at the start
  int head_links = 0;        // links without upstream links
  int constituents = 0;      // the network carries constituents
  int sediment = 0;          // channel sediment flag
  double step_minutes = 0.0; // channel step, minutes

  // Point inputs (CHAN_POINT_INPUT) and the start-of-run state
  safe_file point_file;             // the point-input file, open for the run
  int point_line = 1;               // line of the point-input file being read
  int points = 0;                   // NUMPT
  int periods = 0;                  // NRPDS
  int blocks_read = 0;              // INPUT blocks read so far
  int next_date[5] = {};            // year, month, day, hour, minute of the next INPUT block
  double next_input_time = 0.0;     // Julian days; 0 when no block is left
  std::vector<int> chan_point_address;  // node address of point i [1..points]
  const time_series* bound_series = nullptr;  // BOUND_TS series of the outlet head boundary
  double initial_volume = 0.0;      // water in the channels at the start of the run, m3
  double event_start_volume = 0.0;  // water in the channels at the event start, m3
  double event_end_volume = 0.0;    // water in the channels at the event end, m3

  int stride() const { return max_nodes + 1; }
  int node_address(int link, int node) const { return link * (max_nodes + 1) + node; }
  std::size_t node_slots() const { return std::size_t(links + 2) * std::size_t(max_nodes + 1); }
  std::size_t bp_index(int level, int table) const {
    return std::size_t(table) * std::size_t(levels + 1) + std::size_t(level);
  }
  std::size_t gst_index(int cell, int entry) const {
    return std::size_t(cell) * std::size_t(gst_max + 1) + std::size_t(entry);
  }
  // Point pair p (1..max_pairs) of node j of erodible break-point link b.
  std::size_t bp_point_index(int b, int node, int pair) const {
    return (std::size_t(b) * std::size_t(max_nodes + 2) + std::size_t(node)) *
               std::size_t(max_pairs + 1) +
           std::size_t(pair);
  }
  // Node j of erodible break-point link b.
  std::size_t bp_node_index(int b, int node) const {
    return std::size_t(b) * std::size_t(max_nodes + 2) + std::size_t(node);
  }
  int upstream(int link, int k) const { return uslinks[std::size_t(link) * (max_dep + 1) + k]; }
  bool is_routed(int link) const {
    const int t = ltype[link];
    if (t & (link_bit::structure | link_bit::lake)) return false;
    return !((t & link_bit::shaped) && (t & link_bit::overtaken));
  }
  // Water held by the routed links: area x dx summed over their nodes, in
  // link and node order, m3.
  double water_volume() const {
    double volume = 0.0;
    for (int l = 1; l <= links; ++l) {
      if (!is_routed(l)) continue;
      for (int j = 1; j <= nx[l]; ++j) volume += area[std::size_t(node_address(l, j))] * dx[l];
    }
    return volume;
  }

  // Water held by the channel lakes, in lake order, m3.
  double lake_water_volume() const {
    double volume = 0.0;
    for (int k = 1; k <= lake_count; ++k) volume += lake_volume[std::size_t(k)];
    return volume;
  }

  // ---- Routing: the channel step, explicit routing and lateral inflow ----
  // Filled by other phases
  int point_input = 0;  // point inputs were read (CHAN_POINT_INPUT file open)
  std::vector<double> point_input_values;  // per node address: inflow of the current period, m3/s
  std::vector<double> sewer_q;  // per node address: pipe-network outlets' inflow this step, m3/s
  int lat_record = 0;                      // keep the per-cell record of the bank exchange
  std::vector<double> cell_lat_volume;  // per grid cell [1..cells]: bank exchange, m3, inflow +
  // Step state
  int active = 0;             // channel-active flag: lateral inflow or lakes can bring water
  int asleep = 0;             // the long-term run put the empty channels to sleep until a wake
  int aquifer_feeds = 0;      // the ground fed some node at the last exchange of the channels
  int dry_steps = 0;          // long-term channel steps in a row without rain and near empty
  int route_result = 0;       // of the last routing call: the exchange's result code, or -1 after a failure
  double q_outlet = 0.0;      // outlet discharge kept after routing, m3/s
  int steps = 0;              // channel steps taken
  int route_calls = 0;        // routing calls
  long long substeps = 0;     // routing sub-steps begun (a halved retry is the same one)
  double last_substep = 0.0;  // length of the last accepted sub-step, s
  double step_outlet_volume = 0.0;        // out through the outlet in the last routing call, m3
  double step_point_source_volume = 0.0;  // POINTSOURCE, FIRST_ORDER_CHAN_Q inflow of that call, m3
  double contam_outlet_volume = 0.0;  // out through the outlet since the constituents took it, m3
  std::vector<double> hyd_loc_volume;     // per hydrograph location, calibration runs, m3
  // Links a thread of the channel loops must have: a network of fewer than
  // twice as many routes on the calling thread, where starting the threads
  // would cost more than the work.
  int parallel_min_links = links_per_thread;
  int link_team() const { return team_for(links, parallel_min_links); }
  // The explicit router's team, for its share of the links in the same
  // proportion to parallel_min_links.
  int route_team() const {
    return team_for(links, std::max(1, parallel_min_links * routed_links_per_thread /
                                           links_per_thread));
  }
  // Run and event totals, m3
  double lateral_volume = 0.0, event_lateral_volume = 0.0;  // bank exchange, inflow +
  double sac_volume = 0.0, event_sac_volume = 0.0;  // Sacramento base flow taken in, m3
  double outlet_volume = 0.0, event_outlet_volume = 0.0;    // out through the outlet
  double point_input_volume = 0.0, event_point_input_volume = 0.0;    // CHAN_POINT_INPUT
  double point_source_volume = 0.0, event_point_source_volume = 0.0;  // POINTSOURCE, first order
  // Stream loss without the groundwater model: through the beds to the
  // ground, and from a water table above the stage into the streams
  double stream_to_ground = 0.0, event_stream_to_ground = 0.0;
  double ground_to_stream = 0.0, event_ground_to_stream = 0.0;
  // Without the groundwater model: per cell, what the streams gained from
  // the ground in the channel step (m3, lost -), booked at its end
  std::vector<double> stream_loss_volume;
  // Routing scratch per node address, sized by the first routing call
  std::vector<double> rt_area_old, rt_qp_old;  // state at the start of the sub-step, m2, m3/s
  std::vector<double> rt_area_iter;            // predictor areas, m2
  std::vector<double> rt_qp_last, rt_qp_iter;  // flows of the pass's start and predictor, m3/s
  std::vector<double> rt_source_q;             // POINTSOURCE series at the call's time, m3/s
  std::vector<double> rt_qriv_old;             // stream-aquifer exchange at the sub-step's start, m2/s
  std::vector<int> status_node;  // 1 while a channel lake holds the node (with channel lakes)
};
