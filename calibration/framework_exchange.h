#pragma once
// The exchange with the land-management framework (QTR) and the vegetation
// model (VUNE): maps out at every event end, maps back in, and the clock
// moved on to the next event.

struct model_state;

// Positions of the exchange map names in input_state::vune_files.
enum vune_file_index : int {
  vune_moist_to = 0,
  vune_ksat_to = 1,
  vune_rough_to = 2,
  vune_poros_to = 3,
  vune_moist_from = 7,
  vune_ksat_from = 8,
  vune_rough_from = 9,
};

// At an event end with the framework and the vegetation model on: this
// model's maps and the vegetation file out, the vegetation model's maps
// back (when events remain), then the end of an event-mode run or the jump
// to the next event's start.
void framework_event_end(model_state& state);

// Keeps the values read from the vegetation model within what the model
// can use: moisture between its bounds and the porosity, roughness above 0.
void bound_exchanged_values(model_state& state);
