#pragma once
// The grid input set-up: the watershed mask and its cell numbering, the
// elevation and the outlet, the per-cell arrays, and every per-cell map the
// project names, read in one fixed order once the project's files are open.

#include <cstddef>
#include <new>
#include <string>
#include <vector>

#include "core/error_state.h"

struct model_state;
struct input_state;
class safe_file;

// The set-up phase. Each step below runs in turn; the set-up ends at the
// first step that leaves the stop flag set. Readers of processes this
// version does not have keep their place and stop the run as not available
// when the project asks for them.
void read_grid_inputs(model_state& state);

// The steps of the set-up that read or derive surface inputs, in their order.
void read_watershed_mask(model_state& state);  // mask, grid-size check, numbering, "maskmap"
void read_elevation_map(model_state& state);   // cell elevations and the outlet cell
void alloc_overland_arrays(model_state& state);
void read_dike_map(model_state& state);
void read_interception_maps(model_state& state);
void read_retention_map(model_state& state);  // retention depths, m
void read_roughness_map(model_state& state);  // Manning n per cell
void setup_snow_roughness(model_state& state);
void read_cell_location_list(model_state& state);
void read_hotstart_maps(model_state& state);  // starting surface depths

// The steps of the set-up that read the soil inputs (input/soil_maps.cpp).
void read_soil_maps(model_state& state);           // infiltration parameters and initial contents
void read_area_reduction_map(model_state& state);  // factors 1 - map value on the rates
void read_soil_moisture_hotstart(model_state& state);
// Albedo, vegetation height, transmission coefficient, canopy resistance and
// wilting point: the EVAPOTRANSPIRATION table when the mapping table file
// holds it, then in long-term runs the maps their cards name (vegetation
// height, transmission, canopy and wilting point with ET_CALC_PENMAN only).
// Nothing without the table or a long-term run.
void read_et_maps(model_state& state);

// True when the mapping table file is named and holds a table of kind.
bool table_requested(const input_state& in, int kind);

// Reads a real map of the active cells into values (per cell, from 1) and
// closes its file; the reader reports its own errors.
void read_cell_map(model_state& state, safe_file& file, const std::string& name,
                   std::vector<double>& values);

// A set-up notice: always into the summary file, and on the screen unless the
// run is super quiet or this is not process 0.
void announce_setup(const model_state& state, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
// A set-up notice whose line in the summary file differs from the screen's.
void announce_setup_apart(const model_state& state, const char* screen, const char* summary);

// Sizes v to count zeroed elements; on a memory shortage prints "Error
// allocating memory for variable NAME" and raises 4000.
template <class T>
bool allocate_zeroed(std::vector<T>& v, std::size_t count, const char* name) {
  try {
    v.assign(count, T{});
    return true;
  } catch (const std::bad_alloc&) {
    v.clear();
    v.shrink_to_fit();
    raise_message("Error allocating memory for variable %s\n", name);
    return false;
  }
}

// A per-cell array [0..cells], zeroed; none at all when there are no cells.
template <class T>
bool allocate_per_cell(std::vector<T>& v, int cells, const char* name) {
  return allocate_zeroed(v, cells > 0 ? std::size_t(cells) + 1 : 0, name);
}
