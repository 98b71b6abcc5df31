#pragma once
// Channel lake extents: each lake covers the first lake_cells cells of its
// search list, and its level, area and volume move together. A lake that
// rises takes the next cells of its list (and the surface water on them); a
// lake that falls gives back its last ones.

struct model_state;

// Turns each lake's volume change since the last update (lake_volume -
// prevlake_volume) into a new level, taking and giving back cells in search
// order. Raises lake_map_changed when a cell changes hands; a lake rising
// into a cell another lake holds stops the run (error 4000).
void chan_lake_extent(model_state& state);

// Removes one hour of surface evaporation from every channel lake (air
// temperature in degrees C, wind speed W and relative humidity in % as the
// hourly meteorology delivers them), books it in cumulative_lake_evap and
// lake_evaporation_volume, then updates the extents.
void chan_lake_evaporation(model_state& state, double air_temp_c, double wind, double rel_humidity);

// Cell depths for the map outputs, out_depth[1..cells], m: the surface water
// depth, and on the cells a channel lake covers the lake level above the
// ground.
void chan_lake_cell_depths(const model_state& state, double* out_depth);
