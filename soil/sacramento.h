#pragma once
// The lumped Sacramento soil-moisture accounting basin: the water that
// infiltrates anywhere in the watershed feeds one basin of five stores, whose
// outflow returns to the channels as base flow, spread over the grid-stream
// pairs by weights fixed at set-up (by the topographic index of the channel
// cells with TOPO_INDEX, else uniformly along the channels).
//
// The record is held apart from the soil record: it is taken by reference by
// every routine here.

#include <string>
#include <vector>

struct model_state;
struct grid_state;
struct channel_state;
struct text_source;

// The basin's parameters and stores, as the parameter file names them.
// Depths in mm; the three drainage rates are fractions drained per interval.
struct sac_params {
  double uztwm = 0.0;  // upper-zone tension water capacity, mm
  double uzfwm = 0.0;  // upper-zone free water capacity, mm
  double uzk = 0.0;    // upper-zone free water drained as interflow per interval, fraction
  double zperc = 0.0;  // largest percolation over the lower-zone drainage capacity, ratio
  double rexp = 0.0;   // exponent of the percolation curve
  double lztwm = 0.0;  // lower-zone tension water capacity, mm
  double lzfsm = 0.0;  // lower-zone supplementary free water capacity, mm
  double lzfpm = 0.0;  // lower-zone primary free water capacity, mm
  double lzsk = 0.0;   // supplementary free water drained per interval, fraction
  double lzpk = 0.0;   // primary free water drained per interval, fraction
  double pfree = 0.0;  // share of percolation that goes straight to the free stores
  double saved = 0.0;  // lower-zone free water the tension water may not draw on, mm

  double uztwc = 0.0;  // upper-zone tension water, mm (a fraction of uztwm while reading)
  double uzfwc = 0.0;  // upper-zone free water, mm
  double lztwc = 0.0;  // lower-zone tension water, mm
  double lzfsc = 0.0;  // lower-zone supplementary free water, mm
  double lzfpc = 0.0;  // lower-zone primary free water, mm
  double spare = 0.0;  // spare state, kept 0
  double base_flow = 0.0;          // outflow of the last interval, mm
  double lz_drain_capacity = 0.0;  // lzpk lzfpm + lzsk lzfsm, mm per interval
  double residual = 0.0;           // running balance residual, mm
};

struct sacramento_state {
  sac_params params;
  int num_basins = 0;  // as the file gives it; one basin is accounted
  // Contents when the run started, for the event and run balances, mm
  double uztwc0 = 0.0, uzfwc0 = 0.0, lztwc0 = 0.0, lzfsc0 = 0.0, lzfpc0 = 0.0;
  std::vector<double> topo_index;   // per cell [1..cells], with TOPO_INDEX
  std::vector<double> cell_weight;  // per cell [1..cells]: the cell's share, 0 off the channels

  int calls = 0;                // intervals accounted
  double et_demand = 0.0;       // potential evapotranspiration of the interval, mm
  double et_taken = 0.0;        // taken by the basin in the interval, mm
  double input = 0.0;           // infiltration reaching the basin in the interval, mm
  double infiltrated_ref = 0.0; // cumulative infiltrated depth summed over the cells at the last interval, m
  double base_flow_rate = 0.0;  // the interval's outflow over the watershed, m3/s

  // Totals: depths over the basin, mm, and volumes over the watershed, m3
  double event_input = 0.0, run_input = 0.0;
  double event_input_volume = 0.0, run_input_volume = 0.0;
  double event_et = 0.0, run_et = 0.0;
  double event_et_volume = 0.0, run_et_volume = 0.0;
  double event_base_flow = 0.0, run_base_flow = 0.0;
  double event_base_flow_volume = 0.0, run_base_flow_volume = 0.0;
  double run_pet = 0.0;                // potential evapotranspiration offered, mm
  double event_initial_storage = 0.0;  // the five contents at the event's first interval, mm
  double run_initial_storage = 0.0;    // the five contents at the run's first interval, mm
};

// Codes of sacramento_card_code: 0 the header word, 1..16 the parameters in
// the order of sac_params, 17 num_basins, 18 basin, 19 saved, 20 any other
// word or none.
constexpr int sac_card_header = 0;
constexpr int sac_card_num_basins = 17;
constexpr int sac_card_basin = 18;
constexpr int sac_card_saved = 19;
constexpr int sac_card_other = 20;

// Takes the first word (separated by blanks, tabs and newlines) off the front
// of line and returns its code, compared without regard to case.
int sacramento_card_code(std::string& line);

// When the project asks for the Sacramento method: opens the parameter file
// the project names, reads it into sac and keeps the starting contents.
// Failures print their lines and stop the run (code 4000).
void open_sac_params_file(const model_state& state, sacramento_state& sac);

// Reads the open parameter file into sac: the parameters, the contents turned
// from fractions into depths with their bounds, and with topo_index the
// topographic index of every cell. False after a message (code 4000).
bool read_sacramento_input(text_source& file, const grid_state& grid, bool topo_index,
                           sacramento_state& sac);

// The topographic index ln(a / tan b) of every watershed cell [1..cells],
// from the upslope area spread over the lower of the eight neighbours. False
// after a message (code 4000): a DEM whose passes do not finish or a
// negative index.
bool topodex(const grid_state& grid, std::vector<double>& topo_index);

// The share of the base flow each grid-stream pair takes (gst_sac_weight),
// summing to 1, and each channel cell's weight. With topo_index the cells are
// weighted by their topographic index, else alike; within that, by the
// pair's length of channel. Structure and lake links take none. Prints
// "Sac Weights:" unless quiet; failures stop the run (code 4000).
void compute_sac_weights(sacramento_state& sac, channel_state& chan, int cells,
                         bool topo_index);

// One interval of the basin (all depths mm). et comes in as the demand and
// goes out as what the basin gave; input is the infiltration reaching it;
// deep_recharge is set to 0 (the basin loses nothing to deep groundwater).
// The outflow (base flow, interflow and surface excess) is left in
// p.base_flow and the interval's balance residual added to p.residual.
// Returns the number of increments the interval was worked in.
int sacramento_accounting(sac_params& p, double& et, double input, double& deep_recharge);

// The five contents summed, mm.
double sac_storage(const sac_params& p);

// Clears the event totals and takes the contents as the event's start.
void start_sacramento_event(sacramento_state& sac);

// The time-loop work of one Sacramento interval, its clock test aside: the
// hour's potential evapotranspiration pet_cm (cm) and the cumulative
// infiltrated depth summed over the cells (m) feed the basin; the totals
// grow and base_flow_rate (m3/s over the hour) is left for the channels.
// cells is the number of active cells, cell_area the area of one, m2.
void account_sacramento_interval(sacramento_state& sac, double pet_cm, double infiltrated_m,
                                 int cells, double cell_area);
