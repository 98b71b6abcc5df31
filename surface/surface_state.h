#pragma once
// The surface subsystem's part of the run record: water on the cells, the
// rain and outflow volumes of the event and of the run, and the overland
// flags other subsystems read.

#include <array>
#include <cmath>
#include <vector>

#include "surface/cell_connectivity.h"
#include "surface/raingage_data.h"

// A low spot of an overland dike: a crest over which water crosses one side
// of a cell, as weir flow.
struct low_spot {
  int row = 0;                  // grid row of the cell that carries it, from 1
  int column = 0;               // grid column, from 1
  int side = 0;                 // side crossed: 1 top, 2 right, 4 bottom, 8 left
  double width_fraction = 0.0;  // crest width as a fraction of the grid size, 0 to 1.5
  double crest = 0.0;           // crest elevation, m
};

// One wetland type's properties from its WETLAND_PROPERTIES row, in model
// units: values 0, 1, 3 and 7 are depths in m (the table gives mm), values 2
// and 4 rates per second (the table gives them per day), value 6 is taken as
// given and value 5 is left for the wetland routines.
struct wetland_record {
  std::array<double, 8> value{};
};

// The overland steps a router cut in the run, by the sub-step each cut
// left (s): a few lengths at most, since every cut divides the step by a
// fixed number; lengths beyond the table's room join its last entry. The
// step a clock leaves is not exact (a Julian date in days holds some
// 4e-5 s), so lengths within 1e-4 of each other are one.
struct step_cuts {
  static constexpr int room = 12;
  std::array<double, room> to{};
  std::array<long long, room> count{};
  int kinds = 0;
  long long total = 0;

  void add(double s) {
    ++total;
    int k = 0;
    while (k < kinds && std::fabs(to[k] - s) > 1e-4 * s) ++k;
    if (k == kinds) {
      if (kinds == room) k = room - 1;
      else to[kinds++] = s;
    }
    ++count[k];
  }
};

// One overland lake: a set of grid cells under one water level, apart from
// the channel network.
struct olake_record {
  double level = 0.0;   // water-surface elevation, m
  double floor = 0.0;   // the level the lake may not fall below, m
  double volume = 0.0;  // water held, m3
  double dv = 0.0;      // volume change since the last extent update, m3 (+ into the lake)
  int cells = 0;        // cells the lake holds
  double rain = 0.0;    // rain on the lake's cells in the latest overland step, m3
};

struct surface_state {
  int sweep_parity = 1;  // overland sweep direction, 1 or 2, flipped every routed step

  std::vector<double> depth;  // surface water depth per cell [1..cells], m
  std::vector<double> prev_depth;  // depth of the previous overland step per cell, m
  std::vector<double> max_depth;   // largest depth per cell so far, m (FLOOD_GRID only; else empty)
  std::vector<double> retent_dep;  // retention (depression storage) depth per cell, m
  std::vector<double> dist_rough;  // overland Manning n per cell, s/m^(1/3)
  std::vector<double> dist_rough_copy;  // the cells' own Manning n while snow roughness is in use
  int snow_manning = 0;            // snow-covered cells take snow_roughness
  double snow_roughness = 0.0;     // Manning n of snow-covered cells, s/m^(1/3)
  std::vector<int> dike_mask;      // dike side bits per cell: 1 top, 2 right, 4 bottom, 8 left
  std::vector<low_spot> low_spots; // low spots of the dikes in file order [1..lowspot_count]
  int lowspot_count = 0;           // 0 without a low-spot file
  // Overland boundary conditions (OV_BOUNDARY), per cell [1..cells]
  std::vector<int> ov_bdy_type;     // 0 none, 1 free outflow, 2 fixed level, 3 level series,
                                    // 4 inflow series in ft3/s, 5 inflow series in m3/s
  std::vector<double> ov_bdy_param; // type 1 friction slope, type 2 water-surface elevation (m),
                                    // types 3-5 time-series index
  std::vector<double> ov_bdy_value; // the step's slope, elevation (m) or inflow (ft3/s, m3/s)
  std::vector<int> ov_bdy_cells;    // the cells of types 1 to 5, in cell order
  std::vector<double> ov_bdy_moved; // per listed cell: water the step put in (+) or took out, m3
  std::vector<double> icep_stor;   // interception storage capacity per cell, mm
  std::vector<double> icep_coef;   // interception coefficient per cell
  std::vector<double> icep_dep;    // intercepted depth per cell, mm
  std::vector<double> ri_eff;      // rain rate past the canopy per cell, mm/h
  std::vector<double> rain_rate;   // gross rainfall rate per cell, mm/h
  raingage_data raingage;          // the current event's gauge or radar rain input

  // Overland routing, per cell [1..cells]; entry 0 stays 0, so a face at the
  // grid edge (neighbour 0) passes nothing. Sized with the neighbour tables.
  std::vector<double> flux_x;       // discharge through the right face, m3/s, positive to the right
  std::vector<double> flux_y;       // discharge through the lower face, m3/s, positive downwards
  std::vector<double> vol_x;        // ADE: right-face volume over the step, m3
  std::vector<double> vol_y;        // ADE: lower-face volume over the step, m3
  std::vector<double> depth_change; // depth change of the latest sweep, m
  std::vector<double> depth_pred;   // predictor depths of the predictor-corrector scheme, m
  std::vector<double> flux_copy;    // first-sweep fluxes of the predictor-corrector scheme, m3/s
  std::vector<double> saved_depth;  // ADE: depths at the start of the step, m
  std::vector<double> sweep_depth;  // ADE: depths before the current sweep, m
  std::vector<double> cleared_depth;  // ADE: water given this step to small negative depths set to 0, m
  std::vector<double> block_sums;   // per-block partial sums, added in block order
  std::vector<double> block_sums2;  // a second set, for loops that keep two sums
  std::vector<int> block_flags;     // per-block first bad cell (0 none)
  int ade_calls = 0;               // calls of the ADE router in the run
  double ade_substep = 0.0;        // last ADE sub-step, s
  int ade_check = 0;               // largest depth-check code of the last sub-step, 0 or 1
  long long ade_substeps = 0;      // ADE sub-steps routed in the run, restarted ones included
  int ex_parity = 0;               // explicit router: sweep order, 1 y first, 0 x first
  double ex_reduced_substep = 0.0; // explicit router: the cut sub-step, s
  int ex_countdown = 0;            // explicit router: calls that still start with the cut sub-step
  int ex_reset = 0;                // explicit router: the return to the full step is due
  long long ex_substeps = 0;       // explicit router: sub-steps routed, retried ones included
  long long ex_retried = 0;        // explicit router: sub-steps routed again after a cut
  step_cuts ex_cuts;               // explicit router: the run's cuts
  step_cuts ade_cuts;              // ADE router: the run's restarts with a halved sub-step
  grid_order cell_order;           // both routers: the neighbour tables' order, found at set-up
  int wet = 0;                     // a cell held water at the last overland step
  int flowing = 0;                 // a face carried flow at the last overland step

  int ponded_water = 0;       // raised at an event start: cells may hold surface water
  int overland_lakes = 0;     // overland lakes exist (overland-lake flag)
  std::vector<int> oland_lake_mask;    // per cell: overland lake at the start, 0 none
  std::vector<int> oland_lake_new;     // per cell: overland lake now, 0 none
  std::vector<double> olake_init_level;  // per lake: initial water-surface elevation, m
  double olake_initial_volume = 0.0;   // overland lakes at the start, m3
  int olake_count = 0;                 // overland lakes: the largest number of the lake map
  std::vector<olake_record> olakes;    // [1..olake_count]
  int olake_update = 0;                // lake-update flag: the extents are due an update
  double olake_total_volume = 0.0;     // overland lakes at the last extent update, m3
  double olake_inflow_volume = 0.0;    // run: into the overland lakes, m3
  double olake_outflow_volume = 0.0;   // run: out of the overland lakes, m3
  double olake_balance_error = 0.0;    // run: what the extent updates made or lost, m3
  // Extent-update work buffers, sized on the first update
  std::vector<int> olake_boundary, olake_can_g, olake_can_c, olake_can_n;
  std::vector<double> olake_can_key, olake_release_key;
  // Wetlands (a WETLAND_PROPERTIES table in the mapping-table file)
  int wetlands = 0;                        // wetland types
  std::vector<wetland_record> wetland_types;  // [0..wetlands]
  std::vector<int> wetland_mask;           // per cell: wetland type, 0 none
  int starts_wet = 0;         // the event began with more than 1e-6 m3 on the surface
  double melt_seen = 0.0;           // snow melt of the run the overland clock has seen, m3
  double initial_volume = 0.0;      // surface water at the start of the run, m3
  double event_start_volume = 0.0;  // surface water at the event start, m3
  double event_end_volume = 0.0;    // surface water at the event end, m3
  double event_rain_volume = 0.0;   // rain of the event, m3
  double prev_event_rain_volume = 0.0;     // the previous event's, m3
  double event_outflow_volume = 0.0;       // outlet outflow of the event, m3
  double prev_event_outflow_volume = 0.0;  // the previous event's, m3
  double outflow_volume = 0.0;             // outlet outflow of the run, m3
  // The ADE's outlet flow swings between a step that sweeps x first and one
  // that sweeps y first; the reported discharge is the mean over such a pair.
  double last_outlet_volume = 0.0;  // outlet outflow of the routed step before, m3
  double last_outlet_dt = 0.0;      // that step's length, s; 0 when there is none
  // Run totals the summaries read; apply_rainfall and the routers add to them.
  double rain_volume = 0.0;          // rain reaching the surface (after interception) over the run, m3
  double interception_volume = 0.0;  // rain held by the canopy over the run, m3
  double event_start_interception = 0.0;  // interception_volume at the event start, m3
  int rain_steps = 0;                // overland steps with rain
  int rain_started = 0;              // raised at the first step with rain
  double rain_start_minutes = 0.0;   // elapsed minutes of the first step with rain
  double cleanup_volume = 0.0;       // water added by setting negative depths to 0, m3
  double pump_volume = 0.0;          // water pumped off the cells over the run, m3
  double event_pump_volume = 0.0;    // the same over the event, m3
  // Run totals of the overland boundaries (XY depth points among the fixed
  // levels), m3; apply_ov_boundary_flux adds to them.
  double bdy_free_outflow = 0.0;     // out through free-outflow cells
  double bdy_head_inflow = 0.0;      // into fixed-level cells
  double bdy_head_outflow = 0.0;     // out of fixed-level cells
  double bdy_specified_inflow = 0.0; // into specified-inflow cells, less what negative ones took
  double event_bdy_inflow = 0.0;     // this event's boundary gains (head and specified), m3
  double event_bdy_outflow = 0.0;    // this event's boundary losses (slope and head), m3

  // Rain on the lake cells. An overland lake's rain is in its dv and also in
  // rain_volume; a channel lake's goes to its lake_volume and not to
  // rain_volume.
  int olake_rain = 0;                      // rain fell on an overland lake in the latest step
  double olake_rain_volume = 0.0;          // run: rain on overland-lake cells, m3
  double event_olake_rain_volume = 0.0;    // the same over the event, m3
  double chan_lake_rain_volume = 0.0;      // run: rain on channel-lake cells, m3
  double event_chan_lake_rain_volume = 0.0;  // the same over the event, m3
  // Overland water the channel lakes took from or gave to the free cells
  // through their faces (the routers' lake_in_dv and lake_out_dv), m3
  double chan_lake_overland_in = 0.0;        // run: into the channel lakes
  double chan_lake_overland_out = 0.0;       // run: out of them onto the cells
  double event_chan_lake_overland_in = 0.0;  // the same over the event
  double event_chan_lake_overland_out = 0.0;
  // Router scratch of the lake paths, sized once a run
  std::vector<double> ex_saved_lake_elev;    // explicit: lake_elev at the start of the call, m
  std::vector<double> ex_saved_lake_volume;  // explicit: lake_volume at the start of the call, m3
  std::vector<double> ex_saved_lake_in;      // explicit: lake_in_dv at the start of the call, m3
  std::vector<double> ex_saved_lake_out;     // explicit: lake_out_dv at the start of the call, m3
  std::vector<int> lake_cell_list;           // ADE: the step's lake cells in cell order
};
