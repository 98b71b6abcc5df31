#pragma once
// Seepage between the channel network and the ground, and between channel
// lakes and the aquifer, at one moment: per grid-stream entry and channel
// node a rate per metre of channel, per lake cell a lake seepage rate.

#include <cstddef>
#include <span>
#include <vector>

struct channel_state;

// Which exchanges the run has.
struct gw_stream_flags {
  int water_table_map = 0;  // a WATER_TABLE map gives the heads
  int groundwater = 0;      // the groundwater model is on
  int stream_exchange = 0;  // stream-aquifer exchange is on
  int lakes = 0;            // the network has channel lakes
  int lake_exchange = 0;    // channel lakes trade with the aquifer
};

// The cells' side of the exchange, per cell [1..cells] unless said.
struct gw_exchange_cells {
  std::span<const double> ground;   // ground elevation, m
  std::span<const double> head;     // water table, m
  std::span<const double> bottom;   // aquifer bottom, m
  std::span<const int> gwbound;     // boundary type (groundwater model only)
  std::span<const double> lake_bed_k;          // lake cells: bed conductivity, m/s
  std::span<const double> lake_bed_thickness;  // per channel lake: bed thickness, cm
};

// Result codes.
constexpr int gw_no_exchange = 0;
constexpr int gw_stream_gains = 1;     // some node gains water from the aquifer
constexpr int gw_stream_exchanges = 2; // water moves, but no node gains

// Sizes entry_rate to the network's grid-stream entries (one rate per
// gst_index), zeroed; false after a message (4000).
bool size_entry_rates(std::vector<double>& entry_rate, const channel_state& chan);

// Top width (m) of node address a of link at flow depth y (m): the
// seepage width of the exchange. A break-point table number outside the
// network's tables stops the run ("Error in section: ..." on the error
// stream, error 4000) and gives -1.
double seepage_width(const channel_state& chan, int link, std::size_t a, double y);

// Fills chan.qriv (m2/s per node address, into the stream +) from the
// grid-stream entries (each entry's rate, m2/s, in entry_rate at its
// gst_index) and, with lake exchange, lake_seep_rate per cell (m2/s, into
// the lake +; the caller multiplies by the interval and dx). dx is the cell
// size, m. Returns a result code, 0 after
// a stop. A node whose exchange is not a number gets 0 with three lines of
// warning and the run goes on.
int gw_stream_exchange(channel_state& chan, const gw_exchange_cells& cells,
                       std::span<double> entry_rate, std::span<double> lake_seep_rate, double dx,
                       const gw_stream_flags& flags);
