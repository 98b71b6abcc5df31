#pragma once
// The channel subsystem's part of the run record: the link/node network the
// other subsystems read, the channel lakes' flags and the hydrograph
// locations. A node's arrays are flat: address = link x (max_nodes + 1) + node.

#include <array>
#include <vector>

// One wetland type's properties from its WETLAND_PROPERTIES row, in model
// units: values 0, 1, 3 and 7 are depths in m (the table gives mm), values 2
// and 4 rates per second (the table gives them per day), value 6 is taken as
// given and value 5 is left for the wetland routines.
struct wetland_record {
  std::array<double, 8> value{};
};

struct channel_state {
  int step_flag = 1;  // channel step flag, cleared by the channel step
  int option = 2;     // channel option, set again by the channel set-up

  int links = 0;             // links of the network, from 1
  int max_nodes = 0;         // largest node count of a link
  std::vector<int> nx;       // node count per link [1..links]
  std::vector<double> qp;    // discharge per node address, m3/s
  std::vector<double> yp;    // water-surface elevation per node address, m
  std::vector<double> bel;   // bed elevation per node address, m
  int channel_lakes = 0;     // the network has channel lakes (channel-lake flag)
  int lake_count = 0;
  int restart_mark = 0;      // channel clock restarts from the current time
  int lakes_start_high = 0;  // a lake's first initial value exceeds its second (lake set-up)
  int lake_start_flag = 0;   // channel flag: raised with the restart mark for such lakes
  int constituents = 0;      // the network carries constituents
  double step_minutes = 0.0; // channel step, minutes
  int hyd_locations = 0;            // IN_HYD_LOCATION locations
  std::vector<int> hyd_loc_link;    // link of location i [1..hyd_locations]
  std::vector<int> hyd_loc_node;    // node of location i

  int node_address(int link, int node) const { return link * (max_nodes + 1) + node; }
};
