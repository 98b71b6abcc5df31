#pragma once
// Routing one dissolved constituent through the channel network and its
// lakes over one channel constituent interval: upwind advection with the
// water each node passed on (qp_vol), dispersion between neighbouring nodes,
// the net source rate of every node and lake, and the exchange with the
// channel lakes. The interval is cut into Courant-limited sub-steps, each a
// predictor and averaged corrector passes.
//
// Faces belong to the node upstream of them: the face stored at a node is
// what leaves it downstream, and the face below a link's last node is the
// junction face into the first node of its downstream link.

#include <vector>

struct channel_state;

// The per-node and per-lake arrays of one routing call. The caller fills
// conc, mass, disp and source (and the lake rows) and reads the routed
// values back from them; the rest is scratch, sized for the run's network.
struct chan_wq_work {
  // Per node address
  std::vector<double> conc;        // g/m3, in and out
  std::vector<double> mass;        // g, in and out
  std::vector<double> disp;        // dispersion coefficient, m2/s
  std::vector<double> source;      // net source rate, g/s
  std::vector<double> adv, dsp;    // averaged face values: g moved in the sub-step, g/s
  std::vector<double> adv_new, dsp_new;  // the same from the pass in hand
  std::vector<double> est_conc, est_mass;      // estimate of the sub-step's end
  std::vector<double> trial_conc, trial_mass;  // a corrector pass's result
  std::vector<double> area_adt;    // flow area at the sub-step time, m2
  // Per lake
  std::vector<double> lake_conc;    // g/m3, in and out
  std::vector<double> lake_mass;    // g, in and out
  std::vector<double> lake_source;  // net source rate, g/s
  std::vector<double> lake_volume_adt;  // lake volume at the sub-step time, m3
  std::vector<double> lake_inflow;      // g brought by the channels, added to
  std::vector<double> lake_outflow;     // g given to the channels, added to
  std::vector<double> lake_trial;       // g a lake would hold after the sub-step
  double chan_to_lake = 0.0;  // g, added to by each call
  double lake_to_chan = 0.0;  // g, added to by each call
  // Of the last call
  int substeps = 0;  // committed sub-steps
  int passes = 0;    // corrector passes
  int retries = 0;   // sub-steps halved for a negative mass

  // Sizes every array for the network and its lakes; a network larger than
  // the last one sized for gets larger arrays.
  void size(const channel_state& chan);
};

// Routes over dt seconds. False after a failure: the sub-step fell below
// 0.01 s (the message is printed and code 4000 raised).
bool chan_wq_route(const channel_state& chan, chan_wq_work& w, double dt);

// Link classes of the constituent routing.
bool wq_lake_link(const channel_state& chan, int link);
bool wq_structure_link(const channel_state& chan, int link);
