// Channel lake extents, evaporation and the lake-aware cell depths of the
// map outputs. The lakes are updated in lake order and each one's cells in
// its search order, so these routines run on the calling thread.

#include "channel/chan_lake_extent.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>

#include "channel/channel_state.h"
#include "core/error_state.h"
#include "run/model_state.h"
#include "core/text_io.h"

namespace {

// A lake never holds a cell under less water than this, m: a rise that ends
// within it of the next cell's ground does not take the cell, and a fall that
// ends within it of the last cell's ground gives the cell back, so that
// round-off does not decide a level that just reaches a cell's ground.
constexpr double level_tolerance = 1e-7;

// Cell number of the k-th cell (1..numpts) of lake's search list.
int listed_cell(const model_state& state, int lake, int k) {
  const channel_state& chan = state.channel;
  const std::size_t at =
      std::size_t(lake) * std::size_t(chan.max_lake_points + 1) + std::size_t(k);
  return state.grid.mask[chan.lake_search_row[at]][chan.lake_search_col[at]];
}

void warn_full_extent(model_state& state, int lake) {
  channel_state& chan = state.channel;
  if (chan.lake_extent_warned) return;
  chan.lake_extent_warned = 1;
  const std::size_t last = std::size_t(lake) * std::size_t(chan.max_lake_points + 1) +
                           std::size_t(chan.numpts[lake]);
  char text[400];
  std::snprintf(text, sizeof text,
                "Warning: Lake #%d has reached your specified maximum areal extent\n"
                "This likely means you should increase the maximum water surface elevation\n"
                "The last grid cell coordinates defined in your input file are: [%d][%d] \n",
                lake, chan.lake_search_row[last], chan.lake_search_col[last]);
  print_message(summary_file, text);
}

}  // namespace

void chan_lake_extent(model_state& state) {
  channel_state& chan = state.channel;
  if (!chan.channel_lakes) return;
  const grid_state& grid = state.grid;
  const double cell_area = grid.dx * grid.dx;  // m2
  double* depth = state.surface.depth.data();
  std::fill(chan.new_flooded_grid.begin(), chan.new_flooded_grid.end(), 0);

  for (int i = 1; i <= chan.lake_count; ++i) {
    const int listed = chan.numpts[i];
    // A lake without listed cells has no surface to move.
    if (listed <= 0) {
      chan.prevlake_volume[i] = chan.lake_volume[i];
      continue;
    }
    double v = chan.lake_volume[i];  // m3
    double z = chan.lake_elev[i];    // m
    double a = chan.lake_area[i];    // m2
    int n = chan.lake_cells[i];
    double dv = v - chan.prevlake_volume[i];  // m3

    if (dv < 0.0) {
      while (n > 0) {
        const int c = listed_cell(state, i, n);
        const double ground = grid.elevation[c];
        const double drop = std::fabs(dv / a);
        if (drop + level_tolerance < z - ground) {
          z -= drop;
          break;
        }
        // The level falls to the last cell's ground: the cell leaves the lake
        // and the rest of the loss is spread over the cells that remain.
        chan.lake_mask[c] = 0;
        chan.new_flooded_grid[c] = -1;
        chan.lake_map_changed = 1;
        msg_printf("Removing cell %d from lake\n", c);
        // The routers hand a lake cell's rain and inflow to its lake, so the
        // cell holds water of its own only where they route it as a free
        // cell (with overland lakes too); that water the balances count as
        // surface water, so the cell keeps it.
        dv += (z - ground) * a;
        z = ground;
        --n;
        a = n * cell_area;
        if (dv >= 0.0) break;
      }
      // A cell given back within the tolerance leaves a little water over:
      // it stays on the cells that remain.
      if (dv > 0.0 && n > 0) z += dv / a;
    } else {
      while (dv > 0.0) {
        if (n >= listed) {
          // No cell is left to take: the level rises over the full extent.
          warn_full_extent(state, i);
          z += dv / a;
          break;
        }
        const int c = listed_cell(state, i, n + 1);
        const double rise = grid.elevation[c] - z;  // up to the next cell's ground, m
        if (rise + level_tolerance > dv / a) {
          z += dv / a;
          break;
        }
        if (chan.lake_mask[c] > 0) {
          raise_message(
              "Your lake has potentially merged with another lake.....\n"
              "Current VALTO formulation is not up for this. Will be soon.\n"
              "VALTO Terminating.\n");
          return;
        }
        chan.lake_mask[c] = i;
        chan.new_flooded_grid[c] = 1;
        chan.lake_map_changed = 1;
        dv -= rise * a;
        // The water standing on the cell joins the lake and leaves the surface.
        const double d = depth[c];  // m
        if (d > 0.0) {
          const double joined = d * cell_area;  // m3
          chan.lake_in_dv[i] += joined;
          v += joined;
          dv += joined;
        }
        msg_printf("Lake %d is taking cell %d with depth %lf\n", i, c, d);
        depth[c] = 0.0;
        ++n;
        a = n * cell_area;
        z += rise;
      }
    }

    chan.lake_volume[i] = chan.prevlake_volume[i] = v;
    chan.lake_area[i] = n * cell_area;
    chan.lake_elev[i] = z;
    chan.lake_cells[i] = n;
  }
}

void chan_lake_evaporation(model_state& state, double air_temp_c, double wind,
                           double rel_humidity) {
  channel_state& chan = state.channel;
  if (!chan.channel_lakes) return;
  // Saturation vapour pressure at the air temperature, hPa.
  const double e_sat = 6.11 * std::exp(17.3 * air_temp_c / (air_temp_c + 273.3));
  for (int i = 1; i <= chan.lake_count; ++i) {
    const double area = chan.lake_area[i];  // m2
    // The mass-transfer coefficient falls slowly with the lake's size, km2;
    // a lake of no area is taken as a square metre.
    const double km2 = std::max(area / 1e6, 1e-6);
    // The wind is run per day in km; the formula gives a depth per day in cm,
    // of which one hour is a 24th, and / 100 turns cm over the area into m3.
    const double evap = std::pow(km2, -0.05) * 1.69e-4 * (wind * 0.001) * 86400.0 *
                        (1.0 - rel_humidity / 100.0) * e_sat / 24.0 * area / 100.0;  // m3
    double& volume = chan.lake_volume[i];
    const double lost = evap < volume ? evap : volume;
    volume = evap < volume ? volume - evap : 0.0;
    chan.cumulative_lake_evap[i] += lost;
    chan.lake_evaporation_volume += lost;
    chan.event_lake_evaporation_volume += lost;
  }
  chan_lake_extent(state);
}

void chan_lake_cell_depths(const model_state& state, double* out_depth) {
  const int cells = state.grid.cells;
  const double* depth = state.surface.depth.data();
  for (int c = 1; c <= cells; ++c) out_depth[c] = depth[c];
  const channel_state& chan = state.channel;
  if (!chan.channel_lakes) return;
  for (int i = 1; i <= chan.lake_count; ++i) {
    for (int k = 1; k <= chan.lake_cells[i]; ++k) {
      const int c = listed_cell(state, i, k);
      out_depth[c] = chan.lake_elev[i] - state.grid.elevation[c];
    }
  }
}
