#pragma once
// The frozen-ground index of long-term runs: degree-days of frost in the
// soil, decaying by the hour and driven by the air temperature, the frost
// term damped by the snow cover. Infiltration by redistribution and by the
// Richards columns skips a cell whose index is above 83.

// The hour's inputs; per-cell arrays [1..cells].
struct frozen_ground_inputs {
  int cells = 0;
  double air_temp = 0.0;                  // the record's, deg C
  const double* cell_air_temp = nullptr;  // deg C; with gridded input or orographic variation
  const double* swe = nullptr;            // snow water equivalent, m; null without a snow pack
  const int* oland_lake = nullptr;        // overland lake number, 0 none; null without overland lakes
  const int* chan_lake = nullptr;         // channel lake number, 0 none; null without channel lakes
  bool snow_no_infiltrate = false;        // SNOW_NO_INFILTRATE: no cell under snow takes water
};

// Index above which the soil takes no water.
constexpr double frozen_ground_limit = 83.0;
// Index of a cell under snow with SNOW_NO_INFILTRATE.
constexpr double snow_frozen_index = 86.0;

// One hour for every cell off the lakes; lake cells, and cells whose own
// temperature is missing that hour (at or below -9990), keep their index.
void frozen_ground_index(const frozen_ground_inputs& in, double* index);
